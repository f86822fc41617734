// The DLG reader: line pieces, tokens, statements, include files and
// definitions (see dlg.h for the format).
#include "dlg.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <new>
#include <unordered_map>

namespace dlg {
namespace {

constexpr std::size_t kReadBlock = 64 * 1024;  // bytes read ahead by the line reader

// The reasons, each stored with its status.
constexpr char kOpenDialog[] = "%.80s: Unable to open dialog file";
constexpr char kOpenInclude[] = "%.80s: Unable to open include file";
constexpr char kReadDialog[] = "%.80s: Unable to read dialog file";
constexpr char kReadInclude[] = "%.80s: Unable to read include file";
constexpr char kMissingQuote[] = "Missing quote";
constexpr char kMissingBrace[] = "Missing '}', level = %d";
constexpr char kExtraBrace[] = "Extra '}'";
constexpr char kNotInside[] = "Not inside object";
constexpr char kIdentExpected[] = "Identifier expected: unexpected token 0x%02x";
constexpr char kObjNameExpected[] = "Object name expected: unexpected token 0x%02x";
constexpr char kBraceExpected[] = "'{' Expected";
constexpr char kAttrExpected[] = "Attribute expected";
constexpr char kIndexExpected[] = "Attribute index expected";
constexpr char kBracketExpected[] = "']' Expected";
constexpr char kEqualExpected[] = "'=' Expected";
constexpr char kValueExpected[] = "Attribute value expected";
constexpr char kNotDefined[] = "%s: Attribute value not defined";
constexpr char kDefineValueExpected[] = "define: attribute value expected";
constexpr char kIncludeNameExpected[] = "include: File name expected";
constexpr char kIncludeTooDeep[] = "Include: File nesting too deep";
constexpr char kBadEnv[] = "%.20s: Bad environment variable";
constexpr char kEnvUndefined[] = "%s: Environment variable not defined";
constexpr char kIncludeNameTooLong[] = "%.80s: Include file name too long";
constexpr char kPathTooLong[] = "Object path too long, limit is %d characters";
constexpr char kTooDeep[] = "Nesting to deep, MAX_DEPTH is %d";
constexpr char kNoIdentMemory[] = "Unable to allocate identifier";
constexpr char kNoTableMemory[] = "define: Unable to allocate table";
constexpr char kNoStringMemory[] = "define: Unable to allocate string value";
constexpr char kNoMemory[] = "heap overflow";
constexpr char kNewFailed[] = "DLG NEW \"%s\",\"%s\" failed";
constexpr char kSetFailed[] = "DLG SET \"%s\",... failed";

// Space, tab, line feed, carriage return, vertical tab and form feed.
bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAsciiAlnum(unsigned char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
int DigitValue(unsigned char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// The current locale's letters, name characters and lower case, taken once per
// reading so that the tokenizer does not call into the locale per byte.
class CharTable {
 public:
  CharTable() {
    for (int c = 0; c < 256; ++c) {
      if (std::isalpha(c) != 0) class_[c] |= kLetter;
      if (std::isalnum(c) != 0 || c == '_' || c == '.') class_[c] |= kNameChar;
      lower_[c] = static_cast<char>(std::tolower(c));
    }
  }
  bool IsLetter(char c) const { return (class_[static_cast<unsigned char>(c)] & kLetter) != 0; }
  bool IsNameChar(char c) const { return (class_[static_cast<unsigned char>(c)] & kNameChar) != 0; }
  char Lower(char c) const { return lower_[static_cast<unsigned char>(c)]; }

  // Names compare without regard to case, by the locale's case rules.
  void FoldInto(std::string &key, std::string_view name) const {
    key.resize(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) key[i] = Lower(name[i]);
  }
  // The keyword "include" in any mix of upper and lower case.
  bool IsIncludeKeyword(std::string_view name) const {
    constexpr std::string_view kKeyword = "include";
    if (name.size() != kKeyword.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
      if (Lower(name[i]) != kKeyword[i]) return false;
    return true;
  }

 private:
  static constexpr unsigned char kLetter = 1;
  static constexpr unsigned char kNameChar = 2;
  std::array<unsigned char, 256> class_{};
  std::array<char, 256> lower_{};
};

// One reading of a dialog file with its include files.
class Reader {
 public:
  Reader(DlgConsumer &consumer, const DlgOptions &options) : consumer_(consumer), options_(options) {}

  int Load(const char *fname);

  int line() const { return line_; }
  const std::string &reason() const { return reason_; }
  std::string currentFile() const { return files_.empty() ? dialogFile_ : files_.back()->name; }

 private:
  // A file being read: the dialog file first, then the open include files. An
  // include file keeps where the including file stood.
  struct OpenFile {
    DlgLineReader reader;
    std::string name;
    int savedLine = 0;              // line number of the including file
    std::string_view savedPiece;    // its current piece (in its own reader's buffer)
    std::size_t savedScan = 0;      // and the scan position in it
  };

  int dlg_scan();
  int dlg_token();
  bool ReadLine();
  int ScanNumber();
  int ScanText();
  int Attribute();
  int Include();
  int NameStatement();
  int Definition();
  int dlg_expand_env(std::string_view name, std::string &out);
  void dlg_pop_include();
  bool AppendPath(std::string_view name);
  const DlgValue *Lookup(std::string_view name);
  bool AllocFails() const { return options_.allocFails != nullptr && options_.allocFails(); }
  int Fail(int status, const char *format, ...) __attribute__((format(printf, 3, 4)));

  DlgConsumer &consumer_;
  const DlgOptions &options_;
  const CharTable chars_;

  std::string dialogFile_;                        // the name given to dlg_load
  std::string dir_;                               // its folder, up to and including the last "/"
  std::vector<std::unique_ptr<OpenFile>> files_;  // [0] the dialog file, then the includes
  int line_ = 0;                                  // line number in the current file
  std::string_view piece_;                        // the current line piece
  std::size_t scan_ = 0;                          // scan position in piece_

  int level_ = 0;                                 // open objects (0: outside all)
  std::string path_;                              // object path, then ".attribute[index]"
  std::array<std::size_t, MAX_DEPTH + 1> pathEnd_{};  // where each level's path ends

  std::unordered_map<std::string, DlgValue> defs_;  // definitions by folded name; the first stays
  std::string key_;                                 // scratch for folded names

  DlgValue tokValue_;           // the value of the last DLG_TOK_VALUE
  std::string tokName_;         // the text of the last name
  int tokFailStatus_ = 0;       // status for DLG_TOK_ERROR (missing quote, read error)
  std::string className_;       // first name of a statement
  std::string reason_;
};

int Reader::Fail(int status, const char *format, ...) {
  char text[kDlgReasonMax + 1];
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  reason_ = text;
  return status;
}

int Reader::Load(const char *fname) {
  dialogFile_ = fname != nullptr ? fname : "";
  const std::size_t slash = dialogFile_.rfind('/');
  dir_ = slash == std::string::npos ? std::string() : dialogFile_.substr(0, slash + 1);
  path_.reserve(kDlgPathMax + 16);

  auto file = std::make_unique<OpenFile>();
  file->name = dialogFile_;
  if (!file->reader.Open(dialogFile_)) return Fail(kDlgNoFile, kOpenDialog, dialogFile_.c_str());
  files_.push_back(std::move(file));
  return dlg_scan();
}

// Reads the next piece of the current file; false at its end or on a read
// error (then tokFailStatus_ and the reason are set).
bool Reader::ReadLine() {
  OpenFile &file = *files_.back();
  if (!file.reader.Next(piece_)) {
    piece_ = {};
    scan_ = 0;
    if (file.reader.failed()) {
      tokFailStatus_ = Fail(kDlgNoFile, files_.size() == 1 ? kReadDialog : kReadInclude, file.name.c_str());
    }
    return false;
  }
  ++line_;
  scan_ = 0;
  return true;
}

int Reader::dlg_token() {
  for (;;) {
    while (scan_ < piece_.size() && IsBlank(static_cast<unsigned char>(piece_[scan_]))) ++scan_;
    if (scan_ < piece_.size() && piece_[scan_] != '#') break;
    if (!ReadLine()) return tokFailStatus_ != 0 ? DLG_TOK_ERROR : DLG_TOK_END;
  }
  const auto c = static_cast<unsigned char>(piece_[scan_]);
  if (IsDigit(c) || c == '-') return ScanNumber();
  if (c == '"') return ScanText();
  if (chars_.IsLetter(static_cast<char>(c))) {
    const std::size_t start = scan_;
    bool dotted = false;
    while (scan_ < piece_.size() && chars_.IsNameChar(piece_[scan_])) {
      dotted = dotted || piece_[scan_] == '.';
      ++scan_;
    }
    tokName_.assign(piece_.substr(start, scan_ - start));
    return dotted ? DLG_TOK_DOTNAME : DLG_TOK_NAME;
  }
  ++scan_;
  return c;
}

// An optional "-", then digits: hexadecimal after "0x", octal after a leading
// "0", decimal otherwise. Values beyond 32 bits are clamped to the nearest limit.
// A "-" always begins a number: without digits after it, the number is 0.
int Reader::ScanNumber() {
  const bool negative = piece_[scan_] == '-';
  if (negative) ++scan_;
  int base = 10;
  if (scan_ < piece_.size() && piece_[scan_] == '0') {
    const bool hex = scan_ + 2 < piece_.size() && (piece_[scan_ + 1] == 'x' || piece_[scan_ + 1] == 'X') &&
                     DigitValue(static_cast<unsigned char>(piece_[scan_ + 2])) < 16;
    if (hex) {
      base = 16;
      scan_ += 2;
    } else {
      base = 8;
    }
  }
  constexpr std::uint64_t kCap = std::uint64_t{1} << 32;  // beyond every 32-bit value
  std::uint64_t magnitude = 0;
  while (scan_ < piece_.size()) {
    const int digit = DigitValue(static_cast<unsigned char>(piece_[scan_]));
    if (digit >= base) break;
    magnitude = std::min(magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit), kCap);
    ++scan_;
  }
  std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  value = std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX);
  tokValue_.kind = kDlgNumber;
  tokValue_.number = static_cast<std::int32_t>(value);
  tokValue_.text.clear();
  return DLG_TOK_VALUE;
}

// A quoted text runs to the next double quote on the same line piece.
int Reader::ScanText() {
  const std::size_t close = piece_.find('"', scan_ + 1);
  if (close == std::string_view::npos) {
    scan_ = piece_.size();
    tokFailStatus_ = Fail(kDlgSyntax, kMissingQuote);
    return DLG_TOK_ERROR;
  }
  tokValue_.kind = kDlgText;
  tokValue_.number = 0;
  tokValue_.text.assign(piece_.substr(scan_ + 1, close - scan_ - 1));
  scan_ = close + 1;
  return DLG_TOK_VALUE;
}

// Appends "." and `name` to the path; false when that would pass kDlgPathMax.
bool Reader::AppendPath(std::string_view name) {
  if (path_.size() + (path_.empty() ? 0 : 1) + name.size() > kDlgPathMax) return false;
  if (!path_.empty()) path_ += '.';
  path_ += name;
  return true;
}

const DlgValue *Reader::Lookup(std::string_view name) {
  chars_.FoldInto(key_, name);
  const auto found = defs_.find(key_);
  return found != defs_.end() ? &found->second : nullptr;
}

int Reader::dlg_scan() {
  for (;;) {
    const int tok = dlg_token();
    if (tok == DLG_TOK_ERROR) return tokFailStatus_;
    if (tok == DLG_TOK_END) {
      if (files_.size() > 1) {
        dlg_pop_include();
        continue;
      }
      return level_ == 0 ? kDlgOk : Fail(kDlgSyntax, kMissingBrace, level_);
    }
    int status = kDlgOk;
    if (tok == '}') {
      if (level_ == 0) return Fail(kDlgSyntax, kExtraBrace);
      --level_;
      path_.resize(pathEnd_[level_]);
    } else if (tok == '.') {
      status = Attribute();
    } else if (tok != DLG_TOK_NAME && tok != DLG_TOK_DOTNAME) {
      return Fail(kDlgSyntax, kIdentExpected, tok);
    } else if (tok == DLG_TOK_NAME && chars_.IsIncludeKeyword(tokName_)) {
      status = Include();
    } else {
      status = NameStatement();
    }
    if (status != kDlgOk) return status;
  }
}

// "." attribute-name ["[" number "]"] "=" value
int Reader::Attribute() {
  if (level_ == 0) return Fail(kDlgSyntax, kNotInside);
  int tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  if (tok != DLG_TOK_NAME) return Fail(kDlgSyntax, kAttrExpected);
  path_.resize(pathEnd_[level_]);
  const std::size_t attrStart = path_.size() + 1;
  const std::size_t attrLen = tokName_.size();
  if (!AppendPath(tokName_)) return Fail(kDlgSyntax, kPathTooLong, static_cast<int>(kDlgPathMax));

  bool indexed = false;
  std::int32_t index = 0;
  tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  if (tok == '[') {
    tok = dlg_token();
    if (tok == DLG_TOK_ERROR) return tokFailStatus_;
    if (tok != DLG_TOK_VALUE || tokValue_.kind != kDlgNumber) return Fail(kDlgSyntax, kIndexExpected);
    indexed = true;
    index = tokValue_.number;
    char text[16] = "[";
    char *end = std::to_chars(text + 1, text + sizeof text - 1, index).ptr;
    *end++ = ']';
    const std::size_t len = static_cast<std::size_t>(end - text);
    if (path_.size() + len > kDlgPathMax) return Fail(kDlgSyntax, kPathTooLong, static_cast<int>(kDlgPathMax));
    path_.append(text, len);
    tok = dlg_token();
    if (tok == DLG_TOK_ERROR) return tokFailStatus_;
    if (tok != ']') return Fail(kDlgSyntax, kBracketExpected);
    tok = dlg_token();
    if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  }
  if (tok != '=') return Fail(kDlgSyntax, kEqualExpected);

  tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  const DlgValue *value = nullptr;
  if (tok == DLG_TOK_NAME) {
    value = Lookup(tokName_);
    if (value == nullptr) return Fail(kDlgSyntax, kNotDefined, tokName_.c_str());
  } else if (tok == DLG_TOK_VALUE) {
    value = &tokValue_;
  } else {
    return Fail(kDlgSyntax, kValueExpected);
  }

  const std::string_view path = path_;
  const DlgEvent event{DlgEventKind::kSet,
                       path,
                       {},
                       value,
                       path.substr(0, pathEnd_[level_]),
                       path.substr(attrStart, attrLen),
                       indexed,
                       index,
                       level_,
                       line_,
                       files_.back()->name};
  if (consumer_.OnDlgEvent(event) >= 3) return Fail(kDlgRefused, kSetFailed, path_.c_str());
  return kDlgOk;
}

// Replaces each $NAME in `name` by the value of the environment variable NAME
// (the longest run of ASCII letters and digits after the "$"). Values are not
// scanned again. Returns 0, or 3 with the reason stored.
int Reader::dlg_expand_env(std::string_view name, std::string &out) {
  out.clear();
  std::size_t pos = 0;
  for (;;) {
    const std::size_t dollar = name.find('$', pos);
    out.append(name.substr(pos, dollar == std::string_view::npos ? std::string_view::npos : dollar - pos));
    if (dollar == std::string_view::npos) return kDlgOk;
    std::size_t end = dollar + 1;
    while (end < name.size() && IsAsciiAlnum(static_cast<unsigned char>(name[end]))) ++end;
    const std::string var(name.substr(dollar + 1, end - dollar - 1));
    if (var.empty()) return Fail(kDlgSyntax, kBadEnv, std::string(name.substr(dollar)).c_str());
    if (var.size() > kDlgEnvNameMax) return Fail(kDlgSyntax, kBadEnv, var.c_str());
    const char *value = options_.getenv != nullptr ? options_.getenv(var.c_str()) : std::getenv(var.c_str());
    if (value == nullptr) return Fail(kDlgSyntax, kEnvUndefined, var.c_str());
    out += value;
    pos = end;
  }
}

// include "[?]file"
int Reader::Include() {
  const int tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  if (tok != DLG_TOK_VALUE || tokValue_.kind != kDlgText) return Fail(kDlgSyntax, kIncludeNameExpected);
  std::string_view name = tokValue_.text;
  const bool optional = !name.empty() && name.front() == '?';
  if (optional) name.remove_prefix(1);

  // A name that begins with neither "/" nor "$" is found beside the dialog file
  // (also when an include file names it). The prefix is added after $NAME is
  // expanded, so that a "$" in the dialog file's folder name stays as it is.
  const bool relative = name.empty() || (name.front() != '/' && name.front() != '$');
  std::string expanded;
  int status = dlg_expand_env(name, expanded);
  std::string full = relative ? dir_ + expanded : expanded;
  if (status == kDlgOk && full.size() > kDlgFileNameMax) status = Fail(kDlgSyntax, kIncludeNameTooLong, full.c_str());
  if (status != kDlgOk) return optional ? kDlgOk : status;

  if (files_.size() > DLG_MAX_INCLUDE) return Fail(kDlgSyntax, kIncludeTooDeep);
  auto file = std::make_unique<OpenFile>();
  file->name = std::move(full);
  if (!file->reader.Open(file->name)) {
    // The line reported is that of the include statement.
    return optional ? kDlgOk : Fail(kDlgNoFile, kOpenInclude, file->name.c_str());
  }
  // The rest of the including line is read after the include file.
  file->savedLine = line_;
  file->savedPiece = piece_;
  file->savedScan = scan_;
  files_.push_back(std::move(file));
  line_ = 0;
  piece_ = {};
  scan_ = 0;
  return kDlgOk;
}

void Reader::dlg_pop_include() {
  const std::unique_ptr<OpenFile> file = std::move(files_.back());
  files_.pop_back();
  line_ = file->savedLine;
  piece_ = file->savedPiece;
  scan_ = file->savedScan;
}

// A statement that begins with a name other than "include": a definition
// (name "=" value) or an object (class-name object-name "{").
int Reader::NameStatement() {
  if (AllocFails()) return Fail(kDlgNoMemory, kNoIdentMemory);
  try {
    className_ = tokName_;
  } catch (const std::bad_alloc &) {
    return Fail(kDlgNoMemory, kNoIdentMemory);
  }
  int tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  if (tok == '=') return Definition();
  if (tok != DLG_TOK_NAME) return Fail(kDlgSyntax, kObjNameExpected, tok);

  if (level_ == 0) {
    path_.clear();
  } else {
    if (level_ >= MAX_DEPTH) return Fail(kDlgTooDeep, kTooDeep, MAX_DEPTH);
    path_.resize(pathEnd_[level_]);
  }
  if (!AppendPath(tokName_)) return Fail(kDlgSyntax, kPathTooLong, static_cast<int>(kDlgPathMax));
  ++level_;
  pathEnd_[level_] = path_.size();

  tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  if (tok != '{') return Fail(kDlgSyntax, kBraceExpected);

  const std::string_view path = path_;
  const DlgEvent event{DlgEventKind::kNew, path, className_, nullptr, path, {}, false, 0, level_, line_,
                       files_.back()->name};
  if (consumer_.OnDlgEvent(event) >= 3) return Fail(kDlgRefused, kNewFailed, path_.c_str(), className_.c_str());
  return kDlgOk;
}

// name "=" value, with the name in className_. The first definition of a name
// stays in force; a later one is checked but has no effect.
int Reader::Definition() {
  const int tok = dlg_token();
  if (tok == DLG_TOK_ERROR) return tokFailStatus_;
  chars_.FoldInto(key_, className_);
  const bool known = defs_.count(key_) != 0;
  if (!known && AllocFails()) return Fail(kDlgNoMemory, kNoTableMemory);

  const DlgValue *value = nullptr;
  if (tok == DLG_TOK_NAME) {
    value = Lookup(tokName_);
    if (value == nullptr) return Fail(kDlgSyntax, kNotDefined, tokName_.c_str());
  } else if (tok == DLG_TOK_VALUE) {
    value = &tokValue_;
  } else {
    return Fail(kDlgSyntax, kDefineValueExpected);
  }
  if (known) return kDlgOk;

  DlgValue copy;
  copy.kind = value->kind;
  copy.number = value->number;
  if (value->kind == kDlgText) {
    if (AllocFails()) return Fail(kDlgNoMemory, kNoStringMemory);
    try {
      copy.text = value->text;
    } catch (const std::bad_alloc &) {
      return Fail(kDlgNoMemory, kNoStringMemory);
    }
  }
  try {
    chars_.FoldInto(key_, className_);
    defs_.emplace(key_, std::move(copy));
  } catch (const std::bad_alloc &) {
    return Fail(kDlgNoMemory, kNoTableMemory);
  }
  return kDlgOk;
}

}  // namespace

// ---------------------------------------------------------------------------
// DlgLineReader
// ---------------------------------------------------------------------------

DlgLineReader::DlgLineReader() = default;

DlgLineReader::~DlgLineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool DlgLineReader::Open(std::string_view fname) {
  if (fname.find('\0') != std::string_view::npos) {
    errno = ENOENT;
    return false;
  }
  const std::string name(fname);
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) {
    errno = EISDIR;
    return false;
  }
  file_ = std::fopen(name.c_str(), "r");
  if (file_ == nullptr) return false;
  buf_.reset(new char[kReadBlock]);  // left uninitialised: Refill writes before any read
  return true;
}

bool DlgLineReader::Refill() {
  const std::size_t kept = end_ - pos_;
  std::memmove(buf_.get(), buf_.get() + pos_, kept);
  pos_ = 0;
  end_ = kept;
  const std::size_t got = std::fread(buf_.get() + end_, 1, kReadBlock - end_, file_);
  end_ += got;
  if (got == 0) {
    eof_ = true;
    failed_ = std::ferror(file_) != 0;
  }
  return got != 0;
}

bool DlgLineReader::Next(std::string_view &piece, std::size_t max) {
  if (file_ == nullptr || failed_) return false;
  max = std::clamp<std::size_t>(max, 1, kDlgLineMax);
  for (;;) {
    const std::size_t avail = end_ - pos_;
    const char *start = buf_.get() + pos_;
    const void *lineFeed = std::memchr(start, '\n', std::min(avail, max));
    std::size_t len = 0;
    if (lineFeed != nullptr) {
      len = static_cast<std::size_t>(static_cast<const char *>(lineFeed) - start) + 1;
    } else if (avail >= max) {
      len = max;
    } else if (eof_ || !Refill()) {
      if (failed_ || avail == 0) return false;
      len = avail;  // the last line, without a line feed
    } else {
      continue;
    }
    piece = std::string_view(buf_.get() + pos_, len);
    pos_ += len;
    return true;
  }
}

// ---------------------------------------------------------------------------
// dlg_load
// ---------------------------------------------------------------------------

int dlg_load(const char *fname, DlgConsumer &consumer, const DlgOptions &options, DlgResult *result) {
  int status = kDlgOk;
  int line = 0;
  std::string reason;
  std::string file;
  try {
    Reader reader(consumer, options);
    try {
      status = reader.Load(fname);
    } catch (const std::bad_alloc &) {
      status = kDlgNoMemory;
      reason = kNoMemory;
    }
    line = reader.line();
    // A skipped optional include leaves its reason behind; it is no failure.
    if (reason.empty() && status != kDlgOk) reason = reader.reason();
    file = reader.currentFile();
  } catch (const std::bad_alloc &) {
    status = kDlgNoMemory;
    reason = kNoMemory;
  }
  if (status != kDlgOk && options.sink) {
    char text[kDlgReasonMax + 64];
    std::snprintf(text, sizeof text, "dlg_load() failed in line %d:", line);
    options.sink(1, text);
    std::snprintf(text, sizeof text, "reason: %s", reason.empty() ? "unknown" : reason.c_str());
    options.sink(1, text);
  }
  if (result != nullptr) {
    result->status = status;
    result->line = line;
    result->reason = std::move(reason);
    result->file = std::move(file);
  }
  return status;
}

}  // namespace dlg
