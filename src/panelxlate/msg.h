// panelxlate's message output, fatal errors and the allocation test seam.
//
// Diagnostics go to standard error through msg_print(letter, level, format):
// a message is written, with a line end, when the level set for its letter is
// at least the message's level. The run sets every letter to 1, so level-1
// messages appear and level-2 and level-3 traces do not. Letters: C conversion,
// V configuration and item store, S symbols.
//
// A fatal error writes a line end, the message and "\nfile '%s', line %d\n"
// with the place it concerns (the current input while a script is read, the
// place an object was defined while it is written), and ends the run with its
// exit code by throwing FatalExit, which the run catches at the top.
#pragma once

#include <cstdint>
#include <string>

namespace panelxlate {

inline constexpr char kProgramName[] = "panelxlate";
inline constexpr char kVersion[] = "V 3.14";

// Exit codes of the run.
enum ExitCode : int {
  kExitOk = 0,       // success
  kExitSyntax = 1,   // IDM syntax, class names, text values, configuration lines, -d definitions
  kExitOpen = 2,     // a configuration, IDM, output or header file cannot be opened
  kExitRuntime = 3,  // memory, module files, unknown models and class numbers, output not written
  kExitCommand = 4,  // invalid options, a missing or extra IDM file argument, -?
};

// Sets the level of every letter A to Z.
void msg_setlevels(int level);

// Writes the formatted text and a line end to standard error when the level of
// `letter` is at least `level`. Texts longer than 4095 bytes are cut there.
void msg_print(char letter, int level, const char *format, ...) __attribute__((format(printf, 3, 4)));

// Progress lines ("reading idmfile: '%s'\n" and the like) go to standard error
// unless they are switched off (option -q).
void SetProgress(bool on);
void Progress(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Thrown by Fatal once its message is written; the run ends with `code`.
struct FatalExit {
  int code;
};

// The place a fatal error concerns: a file name and a line, or none.
struct Location {
  const char *file = nullptr;
  std::int32_t line = 0;
};
// The place of the current work, as the scanner and the writer know it.
Location CurrentLocation();

// Writes "\n", the message and the location (or "\n" alone when there is
// none) to standard error and throws FatalExit{code}.
[[noreturn]] void Fatal(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Test seam for the allocations whose failure has a message of its own: when
// set and it returns true for `where` (such as "ObCreate(1)"), CheckAlloc
// throws std::bad_alloc as a failed allocation would.
extern bool (*g_allocFails)(const char *where);
void CheckAlloc(const char *where);

}  // namespace panelxlate
