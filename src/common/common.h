// Small helpers every component of the suite uses: the trace line writer and its
// category levels, case-insensitive comparison of names, engine status codes, the
// pattern of process-wide state with its one reset, and the seams through which
// tests pin the clock and the environment and make allocations fail.
#pragma once

#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#define VL_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

namespace vl {

// ---------------------------------------------------------------------------
// Trace lines
//
// Every component reports through TraceLine(category, level, format, ...). A
// line is written when the category is a letter "A" to "Z" whose level in
// traceFlags is not less than the line's level. Levels: 0 listing output that is
// always written, 1 failures, 2 warnings and notes, 3 call trace.
//
// By default a line goes, in one write, as "%c%d: %s\n" to the open trace file or
// else to standard error (the module's trace). A program may bind a writer of its
// own, which then receives the formatted text alone (the checker's messages).
// ---------------------------------------------------------------------------

// Longest formatted text of one line; longer texts are cut to this length.
inline constexpr std::size_t kTraceTextMax = 1023;

// Receives one formatted line that passed the level filter.
using TraceWriter = void (*)(char category, int level, const char *text);

// The trace settings: the state of the trace (trace.cpp).
struct TraceConfig {
  std::array<std::int8_t, 26> flags{};  // level per category letter A..Z, all 0 at start
  std::FILE *file = nullptr;            // open trace file; none: standard error
  TraceWriter writer = nullptr;         // bound writer; none: the "%c%d: %s\n" line
  bool fileWriteFailed = false;         // a write to the open trace file failed (and
                                        // was reported on standard error)
};

namespace detail {
extern constinit TraceConfig traceConfig;  // reached through Trace() only
}  // namespace detail

// The process-wide trace settings (constant-initialised, never constructed).
inline TraceConfig &Trace() noexcept { return detail::traceConfig; }

// True when a line of this category and level would be written. Callers on hot
// paths test it before computing anything for the line.
inline bool TraceWanted(char category, int level) noexcept {
  if (category < 'A' || category > 'Z') return false;
  return Trace().flags[static_cast<unsigned>(category - 'A')] >= level;
}

// Formats and writes one line if TraceWanted(category, level).
void TraceLine(char category, int level, const char *format, ...) VL_PRINTF(3, 4);
void VTraceLine(char category, int level, const char *format, std::va_list args) VL_PRINTF(3, 0);

// Entry line of a traced function: "Name(): file %s, line %d" at level 3, naming the
// source module and line of the call. Nothing is computed while the level is off.
#define VL_TRACE_ENTRY(category, name)                                                                  \
  do {                                                                                                  \
    if (::vl::TraceWanted((category), 3))                                                               \
      ::vl::TraceLine((category), 3, name "(): file %s, line %d", ::vl::SourceModule(__FILE__), __LINE__); \
  } while (0)

// Notes that a write to the open trace file failed with `error`: the first failure
// of a file is reported on standard error ("trace file: write failed: reason"),
// the ones after it are not, so that a full disk costs one line, not one per line.
void TraceFileWriteFailed(int error) noexcept;

// The source module name of a file path: its last component ("dll.cpp").
const char *SourceModule(const char *path) noexcept;

// Sets all levels to 0, closes nothing, unbinds the writer (for tests; the reset
// of the trace state, ResetForTest, also closes the trace file).
void ResetTraceForTest() noexcept;

// ---------------------------------------------------------------------------
// Engine statuses: the internal results of the dictionary engine and its helpers
// (CSDX packing included). A function that returns a Status must have its result
// looked at; the host functions turn it into a host result with ToHostResult
// (host.h), the one mapping between the two.
// ---------------------------------------------------------------------------
enum [[nodiscard]] Status : int {
  kOk = 0,             // success
  kNothing = -1,       // nothing (more) there
  kReported = -2,      // failure, already reported on the trace
  kTooSmall = -3,      // output buffer too small
  kNoMemory = -4,      // memory exhausted
  kCorruptXbuf = -5,   // corrupt XBUF
};

// ---------------------------------------------------------------------------
// Names: sections, items, dictionaries, ids, filters and lists compare without
// regard to case (ASCII letters only; bytes 0x80 and above compare as they are).
// ---------------------------------------------------------------------------
inline char AsciiLower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char AsciiUpper(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool EqualNoCase(std::string_view a, std::string_view b) noexcept;

// Hash and equality of names without regard to case, for unordered containers
// keyed by names; transparent, so that a std::string_view finds a std::string key.
struct NoCaseHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const noexcept;
};
struct NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept { return EqualNoCase(a, b); }
};

// A text argument the host left out reads as empty.
inline const char *OrEmpty(const char *s) noexcept { return s != nullptr ? s : ""; }
// <0, 0 or >0 like strcmp, comparing lower-cased bytes as unsigned.
int CompareNoCase(std::string_view a, std::string_view b) noexcept;
std::string LowerAscii(std::string_view s);

// Copies at most size-1 bytes of src and a NUL into dst (size > 0); returns the
// number of bytes copied.
std::size_t CopyCut(char *dst, std::size_t size, std::string_view src) noexcept;

// ---------------------------------------------------------------------------
// Numbers: a double read from text as std::from_chars reads it (general notation,
// no leading blank or "+", the point always "."), also with a standard library
// whose from_chars takes integers only; FromChars is from_chars where the library
// has it for doubles, else FromCharsByStrtod: strtod under the "C" locale on a
// NUL-terminated copy of at most kFromCharsMax bytes, with from_chars' results
// (result_out_of_range, the value untouched, for a number beyond the range or
// one too small to leave anything; "0x" reads as the 0).
// ---------------------------------------------------------------------------
inline constexpr std::size_t kFromCharsMax = 1023;
std::from_chars_result FromChars(const char *first, const char *last, double &value) noexcept;
std::from_chars_result FromCharsByStrtod(const char *first, const char *last, double &value) noexcept;

// ---------------------------------------------------------------------------
// Process-wide state
//
// Each component keeps its process-wide state in one struct whose fields are
// commented where it is defined, reached through one accessor: Trace() (the trace
// settings), csdxBuf() (the CSDX stream), Locale() (the locale tables and the
// two-digit-year mode), the INI slots (private to the INI reader), Lists(),
// Vars() and the module definition cache. The accessor either returns a
// constant-initialised object or creates it on first use; no static has a
// constructor that does work. The file that defines the state also defines its
// reset, which returns it to how the process started, and registers that reset
// with VL_STATE_RESET. Internals that other components need not see go into the
// component's private header (<component>_int.h), which tests may include.
//
// ResetForTest() runs the reset of every component linked into the program;
// every test fixture runs it before and after each test. New state follows the
// same pattern: the dictionary engine's dictList with its level stack, and the
// frame stack, each get a struct, an accessor and a registered reset.
// ---------------------------------------------------------------------------

using StateReset = void (*)();

// Registers `reset` (a function without arguments) with ResetForTest. Write it at
// namespace scope in the file that defines the state. Each registration is a
// constant-initialised pointer that the linker collects into one section, so
// nothing runs at start-up and a program holds the resets of exactly the
// components it links.
#define VL_STATE_RESET(reset) VL_STATE_RESET_AT(reset, __LINE__)
#define VL_STATE_RESET_AT(reset, line) VL_STATE_RESET_ENTRY(reset, line)
#define VL_STATE_RESET_ENTRY(reset, line) \
  [[gnu::used, gnu::section("vl_state_resets")]] static ::vl::StateReset vlStateReset##line = &(reset)

// Returns the state of every component in the program to how the process
// started: closes the trace file and the INI handles, frees the CSDX stream, the
// lists, the host variables and the caches, empties the locale tables, and takes
// back what tests pinned through the seams below.
void ResetForTest();

// ---------------------------------------------------------------------------
// Seams for tests: the clock, the environment and allocation failure.
// ---------------------------------------------------------------------------

// Current time; a test may pin it with SetClockForTest.
std::time_t Now() noexcept;
void SetClockForTest(std::time_t (*clock)()) noexcept;  // nullptr: the real clock

// Local time in the standard 24-character form with its line feed
// ("Mon Dec  7 00:39:00 2026\n"), NUL-terminated, as written into trace and file
// headers. Allocates nothing, so that a header can be written once its file is open.
using TimeText = std::array<char, 64>;
TimeText TimeText24(std::time_t t) noexcept;

// Environment variable, or nullptr; a test may substitute the look-up.
const char *GetEnv(const char *name) noexcept;
void SetEnvForTest(const char *(*lookup)(const char *name)) noexcept;  // nullptr: real

// Allocation seam. Code whose memory exhaustion has a documented outcome calls
// AllocFails() before it allocates and treats true like std::bad_alloc.
// FailAllocationsAfter(n) lets the next n checks pass and fails the ones after;
// a negative n switches failing off.
bool AllocFails() noexcept;
void FailAllocationsAfter(long n) noexcept;
// True when a check failed since the last FailAllocationsAfter (for tests that
// fail each allocation of a call in turn, until none fails).
bool AllocationFailed() noexcept;

}  // namespace vl
