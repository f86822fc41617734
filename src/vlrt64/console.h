// The stand-in host runtime's script console: runs host calls, one per line, from
// a script, and prints each result with every out-argument.
//
// Script lines:
//   # comment            (also after a call)
//   echo "text"          prints the text (a text as in argument type 7)
//   name(arg, ...)       calls host function `name` with its arguments in order
//
// Arguments, by the argument's type code in VlArgList:
//   1 integer in    -5, 42, 0x1F, or $var
//   2 integer out   _ (starts as 0), or an integer for its starting value
//   4 real in       3.25, -1e300, nan, inf, or $var
//   5 real out      _ (starts as 0), or a real for its starting value
//   7 text in       "text" with escapes \n \t \r \0 \\ \" \xHH, or $var
//   8 host string   "text", _ or $var, each optionally followed by :capacity
//                   (default capacity: 1024, or the text's length if longer)
// A text (types 7 and 8) may be several quoted texts and $vars written one
// after another; they are joined: $script_dir "/settings.ini".
// After a call its out-arguments (types 2, 5, 8) are remembered under their
// argument names; $name gives the last value remembered under that name.
// Two names are there from the start: $script_dir, the folder of the script
// (so that a script finds its files wherever it is run from), and $tmp_dir, a
// scratch folder made on first use and removed with its files when the script
// ends (so that a script writes nothing where it is run).
#pragma once

#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>
#include <string_view>

#include "vlabi.h"

namespace vlrt {

// What the console knows of the module: its tables and its call entry.
struct Module {
  const VlFuncRow *funcs;
  const VlArgRow *args;
  std::int32_t (*call)(std::int32_t number, void **argv);
};

// Runs every line of `in`; results go to `out`, line errors ("name:line: message")
// to `err`. `scriptDir` is what $script_dir gives. Returns the number of lines
// that could not be read. A failed write to `out` is reported (FlushOutput) and
// the script goes on; the caller sees it in std::ferror(out). Memory exhausted
// outside a line throws std::bad_alloc.
int RunScript(const Module &module, std::istream &in, const std::string &scriptName, std::FILE *out,
              std::FILE *err, const std::string &scriptDir = ".");

// What an argument of type code `type` is called in listings ("integer in",
// "host string", ...); "unknown" for a code the binary interface does not know.
const char *ArgKindName(std::uint64_t type);

// Writes one line per function of the module, "number name(arg: kind, ...)",
// in number order: the function called `name`, or else every function whose
// name begins with `name` (all of them for an empty name). Returns how many
// lines were written.
int ListFunctions(const Module &module, std::string_view name, std::FILE *out);

// Flushes what the console wrote to `out`. The first write to `out` that fails
// (its error flag goes on) is reported on `err` as "util: standard output:
// write failed: reason"; later ones are not. Returns false once `out` failed.
bool FlushOutput(std::FILE *out, std::FILE *err) noexcept;

// Writes bytes as a double-quoted literal with escapes, as results are printed.
std::string Quote(const char *bytes, std::size_t length);

// Frees the host strings that HostStrSub handed out (the console does this after
// every call).
void ReleaseSubstrings() noexcept;

}  // namespace vlrt
