// util's command line as the stand-in host reads it: the words the user gave,
// the console's options (--help, --version, --list), and the script to run.
//
// The module's start-up hands HostMain its arguments joined by single blanks,
// which loses the bounds of an argument that holds a blank. The stand-in host
// recovers them from the process's own argument list; a host put in its place
// still gets the joined command line, unchanged.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"

namespace vlrt {

// The words of the command line after the program name. When the process's
// arguments (`processArgs`, the program name first) from some position on,
// joined by single blanks, are exactly `cmdline`, those arguments are the
// words, each intact; the earliest such position wins. Otherwise (another
// program called HostMain with a command line of its own) the words are
// `cmdline` split at blanks.
std::vector<std::string> CommandWords(const std::vector<std::string> &processArgs, std::string_view cmdline);

// The process's own arguments, the program name first, as the system keeps
// them (/proc/self/cmdline); empty when they cannot be read. Memory exhausted
// throws std::bad_alloc.
std::vector<std::string> ProcessArguments();

// Does what the words ask: an option, or running the script (standard input
// when there is none or it is "-"). `module` may be null when the module's
// exports were not found; only --list and scripts need it. Messages go to
// `err` prefixed "util: ". Exit code: 0 every line of the script was read (or
// an option did its work), 1 some line could not be read, 2 the command line
// is wrong, the script cannot be opened or the module cannot be used, 3 what
// the run wrote did not all reach `out` (its first failed write is reported,
// see FlushOutput). Memory exhausted throws std::bad_alloc.
int RunCommandLine(const Module *module, const std::vector<std::string> &words, std::FILE *out, std::FILE *err);

}  // namespace vlrt
