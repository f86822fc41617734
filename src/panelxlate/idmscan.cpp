// The IDM scanner (see idmscan.h).
#include "idmscan.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "idmparse.h"
#include "symbol.h"

namespace panelxlate {
namespace {

struct LexState {
  std::vector<std::unique_ptr<LexFile>> stack;  // the innermost file last
};

LexState &Lex() {
  static LexState state;
  return state;
}

LexFile *Current() { return Lex().stack.empty() ? nullptr : Lex().stack.back().get(); }

bool IsLower(unsigned char c) { return c >= 'a' && c <= 'z'; }
bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(unsigned char c) { return IsLower(c) || IsUpper(c); }
bool IsWord(unsigned char c) { return IsAlpha(c) || IsDigit(c) || c == '_'; }

// The rule that wins at a position and the length of its match; `skip` is the
// number of leading blanks of a line-start match.
struct Match {
  int rule;
  std::size_t len;
  std::size_t skip;
};

struct KeywordRule {
  const char *word;
  int rule;
};
constexpr KeywordRule kLineKeywords[] = {{"import", 1}, {"model", 3}, {"window", 5}, {"child", 7}};
constexpr KeywordRule kExportKeywords[] = {{"model", 4}, {"window", 6}, {"child", 8}};

class Matcher {
 public:
  Matcher(const char *p, const char *end) : p_(p), end_(end), best_{*p == '\n' ? 25 : 26, 1, 0} {}

  Match Find(bool lineStart) {
    if (lineStart) LineStartRules();
    const unsigned char c = static_cast<unsigned char>(*p_);
    if (IsLower(c) || c == '_') {
      const char *r = p_;
      while (r < end_ && (IsLower(static_cast<unsigned char>(*r)) || *r == '_')) ++r;
      Consider(12, r);
    }
    if (IsUpper(c) || c == '_') Consider(13, WordEnd(p_));
    if (IsAlpha(c) || c == '_') Consider(16, WordEnd(p_));
    NumberRules();
    const std::size_t avail = static_cast<std::size_t>(end_ - p_);
    if (c == '"' && avail > 1) {
      const char *eol = LineEnd(p_ + 1);
      if (const void *last = memrchr(p_ + 1, '"', static_cast<std::size_t>(eol - (p_ + 1)))) {
        Consider(17, static_cast<const char *>(last) + 1);
      }
    }
    if (c == '{') Consider(18, p_ + 1);
    if (c == '}') Consider(19, p_ + 1);
    if (c == ';') Consider(20, p_ + 1);
    if (avail >= 2) {
      const char d = p_[1];
      if (c == '/' && d == '*') Consider(21, p_ + 2);
      if (c == '*' && d == '/') Consider(22, p_ + 2);
      if (c == '!' && d == '!') Consider(23, LineEnd(p_ + 2));
      if (c == '/' && d == '/') Consider(24, LineEnd(p_ + 2));
    }
    return best_;
  }

 private:
  void Consider(int rule, const char *matchEnd, std::size_t skip = 0) {
    const std::size_t len = static_cast<std::size_t>(matchEnd - p_);
    if (len > best_.len || (len == best_.len && rule < best_.rule)) best_ = {rule, len, skip};
  }
  const char *WordEnd(const char *at) const {
    while (at < end_ && IsWord(static_cast<unsigned char>(*at))) ++at;
    return at;
  }
  const char *Blanks(const char *at) const {
    while (at < end_ && (*at == ' ' || *at == '\t')) ++at;
    return at;
  }
  const char *LineEnd(const char *at) const {
    const void *eol = std::memchr(at, '\n', static_cast<std::size_t>(end_ - at));
    return eol != nullptr ? static_cast<const char *>(eol) : end_;
  }
  bool StartsWith(const char *at, const char *word) const {
    const std::size_t n = std::strlen(word);
    return static_cast<std::size_t>(end_ - at) >= n && std::memcmp(at, word, n) == 0;
  }

  // Rules 1 to 11, which match only at the start of a line.
  void LineStartRules() {
    const char *q = Blanks(p_);
    const std::size_t skip = static_cast<std::size_t>(q - p_);
    if (q == end_) return;
    const unsigned char d = static_cast<unsigned char>(*q);
    if (d == '.' && q + 1 < end_ && (IsAlpha(static_cast<unsigned char>(q[1])) || q[1] == '_')) {
      const char *r = WordEnd(q + 2);
      while (r < end_ && *r == '[') {
        const char *s = r + 1;
        while (s < end_ && *s != ']' && *s != '\n') ++s;
        if (s == end_ || *s != ']') break;
        r = s + 1;
      }
      Consider(10, r, skip);
    }
    if (!IsWord(d)) return;
    const char *wordEnd = WordEnd(q);
    if (IsUpper(d) || d == '_') Consider(9, wordEnd, skip);
    if (IsLower(d) || IsDigit(d)) Consider(11, wordEnd, skip);
    if (!IsLower(d)) return;
    for (const KeywordRule &k : kLineKeywords) {
      if (StartsWith(q, k.word)) Consider(k.rule, q + std::strlen(k.word), skip);
    }
    if (StartsWith(q, "interface")) {
      const char *r = Blanks(q + 9);
      if (StartsWith(r, "of")) {
        r = Blanks(r + 2);
        if (StartsWith(r, "module")) Consider(2, r + 6, skip);
      }
    }
    if (StartsWith(q, "export")) {
      const char *r = Blanks(q + 6);
      if (r > q + 6) {
        for (const KeywordRule &k : kExportKeywords) {
          if (StartsWith(r, k.word)) Consider(k.rule, r + std::strlen(k.word), skip);
        }
      }
    }
  }

  // Rules 14 and 15: -?[0-9]+ and -?[0-9]+.[0-9]+
  void NumberRules() {
    const char *r = p_;
    if (*r == '-') ++r;
    const char *digits = r;
    while (r < end_ && IsDigit(static_cast<unsigned char>(*r))) ++r;
    if (r == digits) return;
    Consider(14, r);
    if (r + 1 < end_ && *r == '.' && IsDigit(static_cast<unsigned char>(r[1]))) {
      const char *s = r + 1;
      while (s < end_ && IsDigit(static_cast<unsigned char>(*s))) ++s;
      Consider(15, s);
    }
  }

  const char *p_;
  const char *end_;
  Match best_;
};

// A position is live when no comment is open, no level up to the current one
// is skipped, and (inside braces) the enclosing level is after a keyword.
bool Live(const LexFile &f) {
  if (f.commentDepth > 0) return false;
  for (std::int32_t d = 0; d <= f.depth; ++d) {
    if (f.levels[d].state == kSkipped) return false;
  }
  return f.depth == 0 || f.levels[f.depth - 1].state >= kAfterModel;
}

// Puts a text into the next free slot of the file and returns the slot.
int Store(LexFile &f, const char *text, std::size_t len) {
  if (len > kSlotMax) Fatal(kExitSyntax, "name or value too long, more than %d characters", static_cast<int>(kSlotMax));
  if (std::memchr(text, '\0', len) != nullptr) Fatal(kExitSyntax, "NUL character in name or value");
  if (f.slotsUsed >= kSlotCount) Fatal(kExitOpen, "text slots exhausted (internal error)");
  const int slot = f.slotsUsed++;
  std::memcpy(f.slots[slot], text, len);
  f.slots[slot][len] = '\0';
  f.slotLen[slot] = static_cast<std::uint16_t>(len);
  return slot;
}

constexpr LexToken kNone{T_EOF, -1};  // the rule passes nothing

// Rules 1 to 6: `allowed` tells whether the keyword counts in a file of this kind.
LexToken Keyword(LexFile &f, bool allowed, LevelState state, Token token) {
  std::int32_t &s = f.levels[f.depth].state;
  const bool inComment = f.commentDepth > 0;
  if (!allowed) {
    if (!inComment) s = kSkipped;
    return kNone;
  }
  if (inComment || f.depth >= 1) return kNone;
  if (s != kStatementStart) {
    s = kSkipped;
    return kNone;
  }
  s = state;
  return {token, -1};
}

// Rules 7 and 8.
LexToken Nested(LexFile &f, bool allowed) {
  std::int32_t &s = f.levels[f.depth].state;
  const bool inComment = f.commentDepth > 0;
  if (allowed && (inComment || f.depth == 0)) return kNone;
  if (allowed && s == kStatementStart && Live(f)) {
    s = kAfterChild;
    return {T_CHILD, -1};
  }
  if (!inComment) s = kSkipped;
  return kNone;
}

// Rules 12 to 17.
LexToken Value(LexFile &f, int rule, const char *text, std::size_t len) {
  const std::int32_t s = f.levels[f.depth].state;
  if (s < kAfterModel || !Live(f)) return kNone;
  switch (s) {
    case kAfterAttribute:
      return {T_VALUE, Store(f, text, len)};
    case kAfterImport:
    case kAfterInterface:
      if (rule == 12 || rule == 13) return {T_IDENT, Store(f, text, len)};
      if (rule == 17) return {T_VALUE, Store(f, text + 1, len - 2)};
      return kNone;
    default:  // after model, window, child or an instance's model name
      if (rule == 12) return {T_CLASS, Store(f, text, len)};
      if (rule == 13) return {T_IDENT, Store(f, text, len)};
      return kNone;
  }
}

// The action of the rule that matched `text`.
LexToken Act(LexFile &f, const Match &m, const char *text) {
  std::int32_t &s = f.levels[f.depth].state;
  const bool inComment = f.commentDepth > 0;
  const bool kind0 = f.kind == kIdmFile, kind1 = f.kind == kInterfaceFile, kind2 = f.kind == kModuleFile;
  switch (m.rule) {
    case 1: return Keyword(f, kind0 || kind2, kAfterImport, T_IMPORT);
    case 2: return Keyword(f, kind1, kAfterInterface, T_INTERFACE);
    case 3: return Keyword(f, kind0, kAfterModel, T_MODEL);
    case 4: return Keyword(f, kind2, kAfterModel, T_MODEL);
    case 5: return Keyword(f, kind0, kAfterWindow, T_WINDOW);
    case 6: return Keyword(f, kind2, kAfterWindow, T_WINDOW);
    case 7: return Nested(f, kind0);
    case 8: return Nested(f, kind2);
    case 9:  // a model name that starts an instance statement
      if (inComment) return kNone;
      if (!kind0) {
        s = kSkipped;
      } else if (f.depth == 0) {
        if (s != kStatementStart) {
          s = kSkipped;
        } else {
          s = kAfterInstance;
          return {T_INSTANCE, Store(f, text + m.skip, m.len - m.skip)};
        }
      }
      return kNone;
    case 10:  // an attribute name
      if (!kind1 && f.depth >= 1 && s == kStatementStart && Live(f)) {
        s = kAfterAttribute;
        return {T_ATTR, Store(f, text + m.skip, m.len - m.skip)};
      }
      if (!inComment) s = kSkipped;
      return kNone;
    case 11:  // any other statement is skipped
      if (!inComment) s = kSkipped;
      return kNone;
    case 12: case 13: case 14: case 15: case 16: case 17:
      return Value(f, m.rule, text, m.len);
    case 18:
      if (f.depth >= kDepthMax) Fatal(kExitSyntax, "opening brace nesting too deep");
      ++f.depth;
      f.levels[f.depth] = {kStatementStart, f.levels[f.depth - 1].object, f.line};
      return {T_END, -1, true};
    case 19:
      if (f.depth == 0) Fatal(kExitSyntax, "unexpected closing brace");
      --f.depth;
      f.levels[f.depth].state = kStatementStart;
      return kNone;
    case 20:
      s = kStatementStart;
      return {T_END, -1};
    case 21:
      if (f.commentDepth++ == 0) f.commentLine = f.line;
      return kNone;
    case 22:
      if (--f.commentDepth < 0) Fatal(kExitSyntax, "unexpected end-of-comment token");
      return kNone;
    case 25:
      ++f.line;
      return kNone;
    case 26:
      // A double quote with no other on its line, where a value counts.
      if (*text == '"' && s >= kAfterAttribute && Live(f)) Fatal(kExitSyntax, "text without closing double quote");
      return kNone;
    default:  // line comments
      return kNone;
  }
}

// Checks made at the end of a file.
void EndOfFile(const LexFile &f, bool statementOpen) {
  if (f.commentDepth > 0) Fatal(kExitSyntax, "unterminated comment, opened in line %d", static_cast<int>(f.commentLine));
  if (f.depth > 0) {
    Fatal(kExitSyntax, "unexpected end of file, brace opened in line %d not closed",
          static_cast<int>(f.levels[1].openLine));
  }
  if (statementOpen && Lex().stack.size() > 1) Fatal(kExitSyntax, "syntax error");
}

// Empties the stack when the outermost file is done, however it ends.
struct StackGuard {
  ~StackGuard() { Lex().stack.clear(); }
};

}  // namespace

bool ReadInputFile(const std::string &name, std::string *data) {
  data->clear();
  std::FILE *file = OpenForReading(name);
  if (file == nullptr) return false;
  bool tooLarge = false;
  try {
    struct stat st {};
    if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
      tooLarge = static_cast<unsigned long long>(st.st_size) > kInputMax;
      if (!tooLarge) data->reserve(static_cast<std::size_t>(st.st_size));
    }
    char block[65536];
    std::size_t got;
    while (!tooLarge && (got = std::fread(block, 1, sizeof block, file)) > 0) {
      tooLarge = data->size() + got > kInputMax;
      if (!tooLarge) data->append(block, got);
    }
  } catch (const std::bad_alloc &) {
    std::fclose(file);
    data->clear();
    data->shrink_to_fit();
    Fatal(kExitOpen, "heap overflow, input buffer of file '%s'", name.c_str());
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (tooLarge) Fatal(kExitOpen, "file '%s' is larger than %zu bytes", name.c_str(), kInputMax);
  return !failed;
}

int LexPushFile(std::string data, std::int32_t kind, const std::string &name) {
  LexState &lex = Lex();
  const bool outermost = lex.stack.empty();
  try {
    CheckAlloc("LexPushFile");
    auto file = std::make_unique<LexFile>();
    file->data = std::move(data);
    file->kind = kind;
    file->name = name;
    lex.stack.push_back(std::move(file));
  } catch (const std::bad_alloc &) {
    Fatal(kExitRuntime, "LexPushFile() failed: heap overflow");
  }
  if (!outermost) return 0;
  StackGuard guard;
  try {
    return IdmParse();
  } catch (const std::bad_alloc &) {
    Fatal(kExitRuntime, "heap overflow");
  }
}

void LexPopFile() {
  if (Lex().stack.empty()) Fatal(kExitRuntime, "LexPopFile() failed: stack underflow");
  Lex().stack.pop_back();
}

LexToken LexNext(bool statementOpen) {
  for (;;) {
    LexFile *f = Current();
    if (f == nullptr) return kNone;
    if (f->pos >= f->data.size()) {
      EndOfFile(*f, statementOpen);
      if (Lex().stack.size() == 1) return kNone;
      LexPopFile();
      continue;
    }
    const char *base = f->data.data();
    const char *p = base + f->pos;
    const bool lineStart = f->pos == 0 || p[-1] == '\n';
    const Match m = Matcher(p, base + f->data.size()).Find(lineStart);
    if (m.len > kTokenMax) Fatal(kExitOpen, "token too large, exceeds YYLMAX");
    f->pos += m.len;
    const LexToken token = Act(*f, m, p);
    if (token.type != T_EOF) return token;
  }
}

std::string LexSlotText(int slot) {
  const LexFile *f = Current();
  return std::string(f->slots[slot], f->slotLen[slot]);
}

void LexReleaseSlots() {
  if (LexFile *f = Current()) f->slotsUsed = 0;
}

Object *LexCurrentObject() {
  const LexFile *f = Current();
  return f != nullptr ? f->levels[f->depth].object : nullptr;
}

void LexSetCurrentObject(Object *object) {
  if (LexFile *f = Current()) f->levels[f->depth].object = object;
}

Location LexLocation() {
  const LexFile *f = Current();
  if (f == nullptr) return {};
  return {f->name.c_str(), f->line};
}

std::size_t LexScanOnly(std::string data, std::int32_t kind, const std::string &name, TokenSink onToken,
                        void *context) {
  Lex().stack.clear();
  auto file = std::make_unique<LexFile>();
  file->data = std::move(data);
  file->kind = kind;
  file->name = name;
  Lex().stack.push_back(std::move(file));
  StackGuard guard;
  std::size_t tokens = 0;
  for (LexToken token = LexNext(false); token.type != T_EOF; token = LexNext(false)) {
    ++tokens;
    if (onToken != nullptr) onToken(context, token.type, token.slot >= 0 ? LexSlotText(token.slot) : std::string());
    LexReleaseSlots();
  }
  return tokens;
}

void ResetLexer() { Lex().stack.clear(); }

}  // namespace panelxlate
