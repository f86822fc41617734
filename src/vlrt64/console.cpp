// The script console: parses call lines by the module's argument table, calls the
// module, and prints results.
#include "console.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

namespace vlrt {
namespace {

constexpr std::int32_t kDefaultCapacity = 1024;
constexpr std::int32_t kMaxCapacity = 1 << 30;

// A remembered out-value: what $name gives.
struct Value {
  enum Kind { kInt, kReal, kBytes } kind = kInt;
  std::int32_t integer = 0;
  double real = 0;
  std::string bytes;
};

// The storage of one argument for one call.
struct Slot {
  std::uint64_t type = 0;
  std::int32_t integer = 0;
  double real = 0;
  std::string text;            // type 7, NUL-terminated by std::string
  std::vector<char> storage;   // type 8: cap bytes (at least one)
  HostString hs{};
};

class Reader {
 public:
  explicit Reader(std::string_view line) : s_(line) {}

  void SkipBlanks() {
    while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\t')) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ >= s_.size() || s_[pos_] == '#';
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  char Peek() {
    SkipBlanks();
    return pos_ < s_.size() ? s_[pos_] : '\0';
  }
  std::string_view Word() {
    SkipBlanks();
    const std::size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
    return s_.substr(start, pos_ - start);
  }
  // A token up to a delimiter of the argument list.
  std::string_view Token() {
    SkipBlanks();
    const std::size_t start = pos_;
    while (pos_ < s_.size() && std::strchr(",):# \t", s_[pos_]) == nullptr) ++pos_;
    return s_.substr(start, pos_ - start);
  }
  // A double-quoted literal with escapes; false with `error` set when malformed.
  bool QuotedText(std::string &out, std::string &error) {
    SkipBlanks();
    if (pos_ >= s_.size() || s_[pos_] != '"') {
      error = "expected a quoted text";
      return false;
    }
    ++pos_;
    out.clear();
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) break;
      const char e = s_[pos_++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'x': {
          int value = 0;
          int digits = 0;
          while (digits < 2 && pos_ < s_.size() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) {
            const char h = s_[pos_++];
            value = value * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (h | 0x20) - 'a' + 10);
            ++digits;
          }
          if (digits == 0) {
            error = "\\x needs hexadecimal digits";
            return false;
          }
          out += static_cast<char>(value);
          break;
        }
        default:
          error = std::string("unknown escape \\") + e;
          return false;
      }
    }
    error = "unterminated text";
    return false;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

std::optional<std::int32_t> ParseInt(std::string_view t) {
  bool negative = false;
  std::string_view digits = t;
  if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  // One sign at most, before any 0x: from_chars would take a second one.
  if (digits.empty() || digits[0] == '-' || digits[0] == '+') return std::nullopt;
  long long value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::optional<double> ParseReal(std::string_view t) {
  if (t.empty() || t.size() > 400) return std::nullopt;
  const std::string text(t);
  char *end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

std::string FormatReal(double value) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

class Console {
 public:
  Console(const Module &module, std::string name, std::FILE *out, std::FILE *err, const std::string &scriptDir)
      : module_(module), name_(std::move(name)), out_(out), err_(err) {
    for (std::int32_t i = 0; module_.funcs[i].name != nullptr; ++i) byName_[module_.funcs[i].name] = i;
    vars_[kScriptDir] = Value{Value::kBytes, 0, 0, scriptDir};
  }
  ~Console() {
    if (tmpDir_.empty()) return;
    // Walking the folder needs memory; it is tried once more before the folder
    // is left behind, named.
    std::error_code ec;
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        ec.clear();
        std::filesystem::remove_all(tmpDir_, ec);
        if (!ec) return;
      } catch (const std::bad_alloc &) {
        ec = std::make_error_code(std::errc::not_enough_memory);
      }
    }
    if (ec == std::errc::not_enough_memory) {
      std::fprintf(err_, "util: not enough memory to remove %s\n", tmpDir_.c_str());
    } else {
      std::fprintf(err_, "util: cannot remove %s: %s\n", tmpDir_.c_str(), std::strerror(ec.value()));
    }
  }
  Console(const Console &) = delete;
  Console &operator=(const Console &) = delete;

  // Runs one line; false when it could not be read. A line whose storage
  // (a large capacity, say) cannot be had fails alone; the script goes on.
  bool Line(std::string_view line, long number) {
    lineNumber_ = number;
    try {
      return Run(line);
    } catch (const std::bad_alloc &) {
      FlushOutput(out_, err_);
      std::fprintf(err_, "%s:%ld: not enough memory for this line\n", name_.c_str(), lineNumber_);
      std::fflush(err_);
      return false;
    }
  }

 private:
  bool Run(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Reader r(line);
    if (r.AtEnd()) return true;
    const std::string name(r.Word());
    if (name.empty()) return Error("expected a function name");
    if (name == "echo") {
      std::string text;
      std::string error;
      if (!ReadText(r, text, error)) return Error(error);
      if (!r.AtEnd()) return Error("unexpected text after the echo");
      std::fwrite(text.data(), 1, text.size(), out_);
      std::fputc('\n', out_);
      FlushOutput(out_, err_);
      return true;
    }
    const auto found = byName_.find(name);
    if (found == byName_.end()) return Error("unknown function '" + name + "'");
    const VlFuncRow &fn = module_.funcs[found->second];
    if (!r.Take('(')) return Error("expected '(' after " + name);

    std::vector<Slot> slots(fn.arg_count);
    for (std::uint32_t a = 0; a < fn.arg_count; ++a) {
      if (a > 0 && !r.Take(',')) {
        if (r.Peek() == ')') return Error(ArgCountError(name, fn.arg_count, a));
        return Error("expected ',' after argument " + std::to_string(a));
      }
      if (a == 0 && r.Peek() == ')') return Error(ArgCountError(name, fn.arg_count, 0));
      const VlArgRow &row = module_.args[fn.first_arg + a];
      std::string error;
      if (!ReadArg(r, row, slots[a], error)) {
        return Error("argument " + std::to_string(a + 1) + " (" + row.name + "): " + error);
      }
    }
    if (!r.Take(')')) {
      if ((fn.arg_count == 0 && !r.AtEnd()) || r.Take(',')) return Error(name + " takes " + std::to_string(fn.arg_count) + " argument" +
                                    (fn.arg_count == 1 ? "" : "s") + ", got more");
      return Error("expected ')'");
    }
    if (!r.AtEnd()) return Error("unexpected text after the call");

    std::vector<void *> argv(fn.arg_count);
    for (std::uint32_t a = 0; a < fn.arg_count; ++a) argv[a] = Pointer(slots[a]);
    const std::int32_t debugBefore = HostDebugLevel;
    const std::int32_t result = module_.call(found->second, fn.arg_count > 0 ? argv.data() : nullptr);
    ReleaseSubstrings();
    Print(fn, slots, result, debugBefore);
    return true;
  }

  static std::string ArgCountError(const std::string &name, std::uint32_t want, std::uint32_t got) {
    return name + " takes " + std::to_string(want) + " argument" + (want == 1 ? "" : "s") + ", got " +
           std::to_string(got);
  }

  bool Error(const std::string &message) {
    FlushOutput(out_, err_);
    std::fprintf(err_, "%s:%ld: %s\n", name_.c_str(), lineNumber_, message.c_str());
    std::fflush(err_);
    return false;
  }

  const Value *Lookup(std::string_view token, std::string &error) {
    const std::string key(token.substr(1));
    auto it = vars_.find(key);
    if (it == vars_.end() && key == kTmpDir) {
      if (!MakeTmpDir(error)) return nullptr;
      it = vars_.emplace(key, Value{Value::kBytes, 0, 0, tmpDir_}).first;
    }
    if (it == vars_.end()) {
      error = "no value remembered as $" + key;
      return nullptr;
    }
    return &it->second;
  }

  // Makes the scratch folder of $tmp_dir in $TMPDIR (or /tmp).
  bool MakeTmpDir(std::string &error) {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/util.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      error = "cannot make a scratch folder in " + pattern.substr(0, pattern.size() - 12) + ": " +
              std::strerror(errno);
      return false;
    }
    tmpDir_ = pattern;
    return true;
  }

  bool ReadInt(Reader &r, std::int32_t &out, std::string &error) {
    const std::string_view t = r.Token();
    if (!t.empty() && t[0] == '$') {
      const Value *v = Lookup(t, error);
      if (v == nullptr) return false;
      if (v->kind != Value::kInt) return error = "$" + std::string(t.substr(1)) + " is not an integer", false;
      out = v->integer;
      return true;
    }
    const auto value = ParseInt(t);
    if (!value) return error = "bad integer '" + std::string(t) + "'", false;
    out = *value;
    return true;
  }

  bool ReadReal(Reader &r, double &out, std::string &error) {
    const std::string_view t = r.Token();
    if (!t.empty() && t[0] == '$') {
      const Value *v = Lookup(t, error);
      if (v == nullptr) return false;
      if (v->kind == Value::kReal) out = v->real;
      else if (v->kind == Value::kInt) out = v->integer;
      else return error = "$" + std::string(t.substr(1)) + " is not a number", false;
      return true;
    }
    const auto value = ParseReal(t);
    if (!value) return error = "bad real '" + std::string(t) + "'", false;
    out = *value;
    return true;
  }

  // A text: quoted texts and $names one after another, joined.
  bool ReadText(Reader &r, std::string &out, std::string &error) {
    out.clear();
    std::string part;
    do {
      if (!ReadTextPart(r, part, error)) return false;
      out += part;
    } while (r.Peek() == '"' || r.Peek() == '$');
    return true;
  }

  bool ReadTextPart(Reader &r, std::string &out, std::string &error) {
    if (r.Peek() == '$') {
      const Value *v = Lookup(r.Token(), error);
      if (v == nullptr) return false;
      if (v->kind == Value::kBytes) out = v->bytes;
      else if (v->kind == Value::kInt) out = std::to_string(v->integer);
      else out = FormatReal(v->real);
      return true;
    }
    return r.QuotedText(out, error);
  }

  bool ReadArg(Reader &r, const VlArgRow &row, Slot &slot, std::string &error) {
    slot.type = row.type;
    switch (row.type) {
      case VL_ARG_INT_IN:
        return ReadInt(r, slot.integer, error);
      case VL_ARG_INT_OUT:
        if (r.Peek() == '_') return r.Token() == "_" || (error = "bad placeholder", false);
        return ReadInt(r, slot.integer, error);
      case VL_ARG_REAL_IN:
        return ReadReal(r, slot.real, error);
      case VL_ARG_REAL_OUT:
        if (r.Peek() == '_') return r.Token() == "_" || (error = "bad placeholder", false);
        return ReadReal(r, slot.real, error);
      case VL_ARG_TEXT:
        return ReadText(r, slot.text, error);
      case VL_ARG_HSTRING: {
        std::string value;
        if (r.Peek() == '_') {
          if (r.Token() != "_") return error = "bad placeholder", false;
        } else if (!ReadText(r, value, error)) {
          return false;
        }
        std::int32_t cap = std::max<std::int32_t>(kDefaultCapacity, static_cast<std::int32_t>(
                                                                         std::min<std::size_t>(value.size(), kMaxCapacity)));
        if (r.Take(':')) {
          const auto given = ParseInt(r.Token());
          if (!given || *given < 0 || *given > kMaxCapacity) return error = "bad capacity", false;
          cap = *given;
        }
        if (value.size() > static_cast<std::size_t>(cap)) return error = "text longer than its capacity", false;
        slot.storage.assign(static_cast<std::size_t>(cap) + 1, '\0');
        std::memcpy(slot.storage.data(), value.data(), value.size());
        slot.hs = HostString{cap, static_cast<std::int32_t>(value.size()), slot.storage.data()};
        return true;
      }
      default:
        return error = "unknown argument type " + std::to_string(row.type), false;
    }
  }

  static void *Pointer(Slot &slot) {
    switch (slot.type) {
      case VL_ARG_INT_IN:
      case VL_ARG_INT_OUT: return &slot.integer;
      case VL_ARG_REAL_IN:
      case VL_ARG_REAL_OUT: return &slot.real;
      case VL_ARG_TEXT: return slot.text.data();
      default: return &slot.hs;
    }
  }

  void Print(const VlFuncRow &fn, const std::vector<Slot> &slots, std::int32_t result, std::int32_t debugBefore) {
    std::string line = std::string(fn.name) + " -> " + std::to_string(result);
    for (std::uint32_t a = 0; a < fn.arg_count; ++a) {
      const Slot &slot = slots[a];
      const char *argName = module_.args[fn.first_arg + a].name;
      Value value;
      switch (slot.type) {
        case VL_ARG_INT_OUT:
          value.kind = Value::kInt;
          value.integer = slot.integer;
          line += std::string(" ") + argName + "=" + std::to_string(slot.integer);
          break;
        case VL_ARG_REAL_OUT:
          value.kind = Value::kReal;
          value.real = slot.real;
          line += std::string(" ") + argName + "=" + FormatReal(slot.real);
          break;
        case VL_ARG_HSTRING: {
          const std::int32_t len = std::clamp(slot.hs.len, 0, slot.hs.cap);
          value.kind = Value::kBytes;
          value.bytes.assign(slot.hs.bytes, static_cast<std::size_t>(len));
          line += std::string(" ") + argName + "=" + Quote(value.bytes.data(), value.bytes.size());
          if (slot.hs.len != len) line += "(len=" + std::to_string(slot.hs.len) + ")";
          break;
        }
        default:
          continue;
      }
      vars_[argName] = std::move(value);
    }
    if (HostDebugLevel != debugBefore) line += " HostDebugLevel=" + std::to_string(HostDebugLevel);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
    FlushOutput(out_, err_);
  }

  static constexpr char kScriptDir[] = "script_dir";
  static constexpr char kTmpDir[] = "tmp_dir";

  const Module &module_;
  std::string name_;
  std::FILE *out_;
  std::FILE *err_;
  long lineNumber_ = 0;
  std::map<std::string, std::int32_t, std::less<>> byName_;
  std::map<std::string, Value, std::less<>> vars_;
  std::string tmpDir_;  // the scratch folder of $tmp_dir once made
};

}  // namespace

bool FlushOutput(std::FILE *out, std::FILE *err) noexcept {
  // The error flag is on already when an earlier write failed: that one was reported.
  const bool failedBefore = std::ferror(out) != 0;
  if (std::fflush(out) == 0 && std::ferror(out) == 0) return true;
  if (!failedBefore) {
    const int error = errno;
    std::fprintf(err, "util: standard output: write failed: %s\n", std::strerror(error));
    std::fflush(err);
  }
  return false;
}

std::string Quote(const char *bytes, std::size_t length) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      default:
        if (c >= 0x20 && c < 0x7f) {
          out += static_cast<char>(c);
        } else {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        }
    }
  }
  out += '"';
  return out;
}

namespace {

// Longest script line the console reads; the rest of a longer line is skipped.
constexpr std::size_t kMaxLine = 64u << 20;

// std::getline with a bound: a line beyond kMaxLine bytes sets `tooLong` and is
// read to its end without being kept, so no input can exhaust memory.
bool ReadLine(std::istream &in, std::string &line, bool &tooLong) {
  line.clear();
  tooLong = false;
  std::streambuf *buf = in.rdbuf();
  bool any = false;
  for (;;) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return any;
    }
    any = true;
    if (c == '\n') return true;
    if (line.size() < kMaxLine) {
      line += static_cast<char>(c);
    } else {
      tooLong = true;
    }
  }
}

}  // namespace

int RunScript(const Module &module, std::istream &in, const std::string &scriptName, std::FILE *out,
              std::FILE *err, const std::string &scriptDir) {
  Console console(module, scriptName, out, err, scriptDir);
  int failures = 0;
  long number = 0;
  std::string line;
  bool tooLong = false;
  while (ReadLine(in, line, tooLong)) {
    ++number;
    if (tooLong) {
      FlushOutput(out, err);
      std::fprintf(err, "%s:%ld: line longer than %zu bytes\n", scriptName.c_str(), number, kMaxLine);
      ++failures;
      continue;
    }
    if (!console.Line(line, number)) ++failures;
  }
  if (in.bad()) {
    std::fprintf(err, "%s: read error after line %ld\n", scriptName.c_str(), number);
    ++failures;
  }
  return failures;
}

const char *ArgKindName(std::uint64_t type) {
  switch (type) {
    case VL_ARG_INT_IN: return "integer in";
    case VL_ARG_INT_OUT: return "integer out";
    case VL_ARG_REAL_IN: return "real in";
    case VL_ARG_REAL_OUT: return "real out";
    case VL_ARG_TEXT: return "text in";
    case VL_ARG_HSTRING: return "host string";
    default: return "unknown";
  }
}

int ListFunctions(const Module &module, std::string_view name, std::FILE *out) {
  bool exact = false;
  for (std::int32_t i = 0; module.funcs[i].name != nullptr; ++i) exact = exact || name == module.funcs[i].name;
  int listed = 0;
  for (std::int32_t i = 0; module.funcs[i].name != nullptr; ++i) {
    const VlFuncRow &fn = module.funcs[i];
    const std::string_view fnName = fn.name;
    if (exact ? fnName != name : !fnName.starts_with(name)) continue;
    std::string line = (i < 10 ? " " : "") + std::to_string(i) + " " + fn.name + "(";
    for (std::uint32_t a = 0; a < fn.arg_count; ++a) {
      const VlArgRow &row = module.args[fn.first_arg + a];
      if (a > 0) line += ", ";
      line += std::string(row.name) + ": " + ArgKindName(row.type);
    }
    line += ")\n";
    std::fwrite(line.data(), 1, line.size(), out);
    ++listed;
  }
  return listed;
}

}  // namespace vlrt
