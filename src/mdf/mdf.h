// The module definition file reader behind mdf_Get (host function 46): one
// section of a module definition file, read through the INI reader, returned as
// an XBUF of "Mdf_" entries. The values read last stay in a process-wide cache
// keyed by file name and section, so repeated calls do not read the file again.
#pragma once

namespace vl {

// Drops the cached values (for tests).
void ResetMdfForTest();

}  // namespace vl
