// The frame's own host functions (0 to 3): revision, build date, the host's debug
// level and the trace settings. See dll.cpp.
#pragma once

#include <cstdint>

#include "vlabi.h"

extern "C" {
int32_t dll_Revision(HostString *str);
int32_t dll_Compiled(HostString *str);
int32_t dll_Debug(int32_t debug);
int32_t dll_SetDebugFlags(const char *fs, const char *fname);
}  // extern "C"
