// The IDM scanner: a hand-written scanner with per-file context state.
//
// IDM scripts hold far more than a DLG file can express. The scanner decides,
// by the context of each brace level, which words matter: keywords at the
// start of a line open the statements that build objects (model, window,
// child, an instance's model name, an attribute), and names and values count
// only after such a keyword; every other statement is marked skipped together
// with its body. The tokens that count go to the grammar (idmparse.h).
//
// At each position the rule with the longest match wins, and among matches of
// the same length the earlier rule. "Line start" is the start of a line with
// any blanks and tabs that follow, which belong to the match.
//
//   1 import            line start   keyword (files of kind 0 and 2)
//   2 interface of module  line start, blanks or tabs (or nothing) between
//                                    keyword (kind 1)
//   3 model   4 export model         keyword (kind 0 / kind 2)
//   5 window  6 export window        keyword (kind 0 / kind 2)
//   7 child   8 export child         nested keyword (kind 0 / kind 2)
//   9 [A-Z_][A-Za-z0-9_]*            line start: instance of a model
//  10 .[A-Za-z_][A-Za-z0-9_]* followed by [...] parts   line start: attribute
//  11 [a-z0-9][A-Za-z0-9_]*          line start: a statement that is skipped
//  12 [a-z_]+   13 [A-Z_][A-Za-z0-9_]*   14 -?[0-9]+   15 -?[0-9]+.[0-9]+
//  16 [A-Za-z_][A-Za-z0-9_]*   17 "..." to the last double quote of the line
//                                    values
//  18 {   19 }   20 ;   21 /*   22 */   23 !! and   24 // to the line end
//  25 line end   26 any other character (ignored)
//
// Braces and semicolons count everywhere, even inside /* */ comments.
//
// Beyond those rules the scanner refuses, as fatal errors with file and line:
// a token longer than 8191 characters (exit 2); a name or value longer than
// the 255 characters of a text slot, or holding a NUL byte (exit 1); a
// double quote without a closing one on its line where a value counts (exit
// 1); a file that ends inside a /* comment or an open brace (exit 1); a module
// or interface file that ends inside a statement (exit 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "msg.h"

namespace panelxlate {

struct Object;

// Tokens passed to the grammar.
enum Token : int {
  T_EOF = 0,     // the end of the outermost file
  T_END,         // "{" or ";"
  T_IMPORT,      // import
  T_INTERFACE,   // interface of module
  T_MODEL,       // model, export model
  T_WINDOW,      // window, export window
  T_CHILD,       // child, export child
  T_INSTANCE,    // a model name at the start of a top-level statement (text)
  T_CLASS,       // a class keyword (text)
  T_IDENT,       // an object, model or module name (text)
  T_ATTR,        // an attribute name (text)
  T_VALUE,       // an attribute value or a module file name (text)
};

// Kinds of input file.
enum FileKind : std::int32_t {
  kIdmFile = 0,        // the IDM file named on the command line
  kInterfaceFile = 1,  // a module interface file
  kModuleFile = 2,     // a module file
};

// Statement states of a brace level.
enum LevelState : std::int32_t {
  kStatementStart = 0,   // at the start of a statement
  kSkipped = 1,          // inside a statement that is skipped
  kAfterModel = 3,       // after model (or export model)
  kAfterWindow = 4,      // after window (or export window)
  kAfterChild = 5,       // after child (or export child)
  kAfterInstance = 6,    // after a model name that starts an instance statement
  kAfterAttribute = 7,   // after an attribute name
  kAfterImport = 8,      // after import
  kAfterInterface = 9,   // after interface of module
};

// Limits.
inline constexpr std::int32_t kDepthMax = 9;          // brace levels 0 to 9
inline constexpr int kSlotCount = 4;                  // text slots per file
inline constexpr std::size_t kSlotMax = 255;          // characters of a text slot
inline constexpr std::size_t kTokenMax = 8191;        // characters of a token
inline constexpr std::size_t kInputMax = 256u << 20;  // bytes of an input file

struct LexLevel {
  std::int32_t state = kStatementStart;
  Object *object = nullptr;   // the current object of this level
  std::int32_t openLine = 0;  // line of the "{" that opened it
};

// One input file on the stack; the innermost is the current input.
struct LexFile {
  std::string data;                  // the whole file
  std::size_t pos = 0;               // where the scanner stands
  std::int32_t kind = kIdmFile;
  std::int32_t line = 1;             // the scan line
  std::int32_t depth = 0;            // brace nesting depth, 0 to kDepthMax
  std::int32_t commentDepth = 0;     // open /* comments
  std::int32_t commentLine = 0;      // line where the outermost open comment began
  std::int32_t slotsUsed = 0;        // filled text slots
  LexLevel levels[kDepthMax + 1];
  char slots[kSlotCount][kSlotMax + 1];  // names and values for the grammar, in order
  std::uint16_t slotLen[kSlotCount] = {};
  std::string name;                  // the file's name as opened, for messages
};

struct LexToken {
  Token type = T_EOF;
  int slot = -1;       // the text slot of a token with a text
  bool brace = false;  // a T_END from "{"
};

// Reads a whole input file into its input buffer; false when it cannot be
// opened or read (a folder included). A file larger than kInputMax bytes, or a
// buffer that memory cannot hold, is fatal (exit 2): "file '%s' is larger than
// %zu bytes", "heap overflow, input buffer of file '%s'".
bool ReadInputFile(const std::string &name, std::string *data);

// Pushes an input file. When the stack was empty it runs the grammar over the
// whole input (the file and every module it imports), empties the stack and
// returns the grammar's result (0); otherwise the new file becomes the current
// input and the result is 0. Memory exhausted: fatal "LexPushFile() failed:
// heap overflow" (3).
int LexPushFile(std::string data, std::int32_t kind, const std::string &name);

// Closes the current file; the enclosing one becomes current again with its
// line and state. Fatal "LexPopFile() failed: stack underflow" (3) when the
// stack is empty.
void LexPopFile();

// The next token for the grammar. `statementOpen` tells that the grammar is
// inside a statement, which must not run past the end of a module file.
LexToken LexNext(bool statementOpen);

// The text of a token's slot, and the release of all slots of the current file.
std::string LexSlotText(int slot);
void LexReleaseSlots();

// The current object of the level at which the scanner stands.
Object *LexCurrentObject();
void LexSetCurrentObject(Object *object);

// The current input file and its scan line, or none.
Location LexLocation();

// Runs the scanner alone over `data` as a file of `kind` (no grammar, no
// imports), hands each token with its text to `onToken` when given, and
// returns the number of tokens it passed; for benchmarks and tests.
using TokenSink = void (*)(void *context, Token type, const std::string &text);
std::size_t LexScanOnly(std::string data, std::int32_t kind, const std::string &name, TokenSink onToken = nullptr,
                        void *context = nullptr);

// Empties the file stack (for tests).
void ResetLexer();

}  // namespace panelxlate
