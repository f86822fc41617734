// DLG dialog files: the reader `dlg_load`, its tokenizer and its line reader.
//
// A DLG file describes dialogs as a tree of named objects, each with a class and
// with attribute assignments:
//
//     # a comment                      (where a token would begin, # ends the line)
//     WIDTH = 20                       definition: later values "WIDTH" read 20
//     include "?$HOME/common.dlg"      another file, read here; "?": optional
//     Dialog cust {                    object: class, object name, "{"
//       .title = "Customer"            attribute of the innermost open object
//       EditText fld { .w = WIDTH  .content[2] = "x" }
//     }
//
// Objects have paths ("cust.fld"), attributes full names ("cust.fld.w",
// "cust.fld.content[2]"). The reader knows nothing of dictionaries: it hands
// every object (DLG NEW) and every attribute (DLG SET) to a consumer, in file
// order. It depends on the C++ standard library alone, so that the checker and
// the converter's tests (which read back the files the converter writes) share it.
//
// Lines are read in pieces of at most 255 bytes, each ending after a line feed
// or where the 255 bytes are full; every piece counts as a line. Bytes are bytes:
// letters and digits are those of the current C locale's character classes, NUL
// and other control bytes are single-character tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dlg {

// ---------------------------------------------------------------------------
// Tokens. The codes appear in reasons ("unexpected token 0x%02x"); every other
// character is a token of its own whose code is the byte's value (0x00 to 0xff).
// ---------------------------------------------------------------------------
inline constexpr int DLG_TOK_END = -1;         // end of the current file
inline constexpr int DLG_TOK_ERROR = 0x100;    // quoted text without closing quote ("Missing quote")
inline constexpr int DLG_TOK_VALUE = 0x101;    // a number or a quoted text
inline constexpr int DLG_TOK_NAME = 0x102;     // a name without "."
inline constexpr int DLG_TOK_DOTNAME = 0x103;  // a name with at least one "."

// ---------------------------------------------------------------------------
// Limits
// ---------------------------------------------------------------------------
inline constexpr std::size_t kDlgLineMax = 255;       // bytes in one line piece
inline constexpr int MAX_DEPTH = 8;                   // objects open at once
inline constexpr int DLG_MAX_INCLUDE = 2;             // include files open below the dialog file
inline constexpr std::size_t kDlgEnvNameMax = 79;     // characters of NAME in $NAME
inline constexpr std::size_t kDlgPathMax = 1023;      // object path or full attribute name
inline constexpr std::size_t kDlgFileNameMax = 1023;  // include file name, prefixed and expanded
inline constexpr std::size_t kDlgReasonMax = 255;     // characters of a stored reason

// ---------------------------------------------------------------------------
// Statuses of dlg_load
// ---------------------------------------------------------------------------
enum DlgStatus : int {
  kDlgOk = 0,        // read completely
  kDlgRefused = 1,   // the consumer refused an event (it returned 3 or more)
  kDlgNoFile = 2,    // the dialog file or a mandatory include file cannot be opened or read
  kDlgSyntax = 3,    // syntax error
  kDlgTooDeep = 4,   // objects nested deeper than MAX_DEPTH
  kDlgNoMemory = 5,  // memory exhausted
};

// The value of a DLG_TOK_VALUE token and of a definition.
inline constexpr std::int32_t kDlgText = 1;
inline constexpr std::int32_t kDlgNumber = 2;
struct DlgValue {
  std::int32_t kind = 0;    // kDlgText or kDlgNumber
  std::int32_t number = 0;  // the number, when kind is kDlgNumber (clamped to 32 bits)
  std::string text;         // the text without its quotes, when kind is kDlgText
};

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------
enum class DlgEventKind {
  kNew,  // DLG NEW: an object begins (made after its "{")
  kSet,  // DLG SET: an attribute is assigned (made after its value)
};

// One event. The views are valid during the call only.
struct DlgEvent {
  DlgEventKind kind;
  std::string_view path;        // NEW: the object path ("cust.fld"); SET: the full attribute
                                // name ("cust.fld.w", "cust.fld.content[2]")
  std::string_view className;   // NEW: the class name as written; SET: empty
  const DlgValue *value;        // SET: the value; NEW: nullptr
  std::string_view objectPath;  // the path of the object (NEW: equal to path)
  std::string_view attribute;   // SET: the attribute name without its index; NEW: empty
  bool indexed;                 // SET: the attribute was written with "[index]"
  std::int32_t index;           // SET, indexed: the index
  int level;                    // nesting level of the object, 1 for a top-level object
  int line;                     // current line of `file` (that of the "{" or of the value)
  std::string_view file;        // the file being read: the dialog file or an include file
};

// Receives the events of dlg_load.
class DlgConsumer {
 public:
  virtual ~DlgConsumer() = default;
  // 0, 1 or 2: reading goes on (the consumer has reported any problem itself);
  // 3 or more: reading stops with kDlgRefused.
  virtual int OnDlgEvent(const DlgEvent &event) = 0;
};

// Where dlg_load writes its failure report: "dlg_load() failed in line %d:" and
// "reason: %s", each a separate text at level 1.
using DlgMessageSink = std::function<void(int level, const char *text)>;

struct DlgOptions {
  DlgMessageSink sink;                               // none: the report is not written
  const char *(*getenv)(const char *name) = nullptr;  // $NAME in include names; none: std::getenv
  // Test seam: asked before each allocation whose failure has a reason of its
  // own (identifier, definitions table, definition text); true fails it.
  bool (*allocFails)() = nullptr;
};

// What dlg_load found, for callers that want more than the status.
struct DlgResult {
  int status = kDlgOk;
  int line = 0;        // line of the failure, in `file`
  std::string reason;  // the stored reason; empty after kDlgOk
  std::string file;    // the file being read when reading stopped
};

// Reads the dialog file `fname` with its include files and hands every object
// and attribute to `consumer`. Returns a DlgStatus. On a status other than
// kDlgOk it writes the failure report to options.sink. Events already made are
// not taken back. Nothing is kept between calls.
//
// Beyond the format's rules: an include file whose name contains a NUL byte, a
// folder, or a file that cannot be read to its end counts as one that cannot be
// opened ("...: Unable to read ... file" for a read error); an object path or
// attribute name longer than kDlgPathMax gives kDlgSyntax ("Object path too
// long, limit is %d characters"); an include name longer than kDlgFileNameMax
// after prefixing and expansion is treated like a bad environment variable
// ("%.80s: Include file name too long"); memory exhausted anywhere else gives
// kDlgNoMemory with "heap overflow".
[[nodiscard]] int dlg_load(const char *fname, DlgConsumer &consumer, const DlgOptions &options = {},
                           DlgResult *result = nullptr);

// ---------------------------------------------------------------------------
// The line reader, also used for other line-based files of the programs.
// ---------------------------------------------------------------------------
class DlgLineReader {
 public:
  DlgLineReader();
  ~DlgLineReader();
  DlgLineReader(const DlgLineReader &) = delete;
  DlgLineReader &operator=(const DlgLineReader &) = delete;

  // Opens `fname` for reading; false (errno set) when it cannot be opened, is a
  // folder, or the name holds a NUL byte. Memory exhausted (the C library's
  // included) throws std::bad_alloc.
  [[nodiscard]] bool Open(std::string_view fname);

  // The next piece of at most `max` bytes (1 to kDlgLineMax): up to and
  // including a line feed, or `max` bytes when no line feed comes earlier. False
  // at the end of the file and after a read error (see failed()). The view stays
  // valid until the next call.
  [[nodiscard]] bool Next(std::string_view &piece, std::size_t max = kDlgLineMax);

  bool failed() const { return failed_; }  // a read error ended the file

 private:
  bool Refill();

  std::FILE *file_ = nullptr;
  std::unique_ptr<char[]> buf_;  // bytes read ahead
  std::size_t pos_ = 0;          // first byte not handed out
  std::size_t end_ = 0;          // end of the bytes read
  bool eof_ = false;             // no more bytes to read
  bool failed_ = false;
};

}  // namespace dlg
