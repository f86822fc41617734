// Test plan for the IDM scanner:
//   1. Rule priorities: longest match, then the earlier rule; keywords against
//      longer words; line-start rules against value rules (table).
//   2. Contexts: file kinds, depth, statement states, comments, skipped
//      statements and their bodies, value rules per state (table).
//   3. Fatal errors with their exit codes and places: nesting, braces, comment
//      ends, unterminated comments and texts, token and slot limits (table).
//   4. Bad input: binary bytes and NUL bytes give no crash and no token.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "panelxlate_testutil.h"

namespace {

using namespace std::string_literals;
using panelxlate::FileKind;
using panelxlate::Token;

const char *TokenName(Token t) {
  static const char *const kNames[] = {"EOF",      "END",   "IMPORT", "INTERFACE", "MODEL", "WINDOW",
                                       "CHILD", "INSTANCE", "CLASS",  "IDENT",     "ATTR",  "VALUE"};
  return kNames[t];
}

// The tokens the scanner passes for `input`, as "NAME" or "NAME(text)" words.
std::string Scan(const std::string &input, FileKind kind = panelxlate::kIdmFile) {
  std::string out;
  panelxlate::LexScanOnly(
      input, kind, "t.idm",
      [](void *context, Token type, const std::string &text) {
        auto &s = *static_cast<std::string *>(context);
        if (!s.empty()) s += ' ';
        s += TokenName(type);
        if (type >= panelxlate::T_INSTANCE) s += "(" + text + ")";
      },
      &out);
  return out;
}

struct Case {
  const char *id;
  std::string input;
  FileKind kind;
  std::string tokens;
};

class ScanTest : public xltest::XlateTest {
 protected:
  void RunTable(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
      SCOPED_TRACE(c.id);
      EXPECT_EQ(Scan(c.input, c.kind), c.tokens);
    }
  }
};

constexpr FileKind K0 = panelxlate::kIdmFile, K1 = panelxlate::kInterfaceFile, K2 = panelxlate::kModuleFile;

TEST_F(ScanTest, RulePriorities) {
  RunTable({
      {"keyword against word of equal length", "model edittext E;", K0, "MODEL CLASS(edittext) IDENT(E) END"},
      {"longer word beats keyword", "modelx edittext E;", K0, "END"},
      {"keyword with leading blanks and tabs", " \t window W;", K0, "WINDOW IDENT(W) END"},
      {"keyword_ is a longer word", "window_ W;", K0, "END"},
      {"interface words without blanks", "interfaceofmodule M \"m.mod\";", K1,
       "INTERFACE IDENT(M) VALUE(m.mod) END"},
      {"interface words with tabs", "interface\tof  module M \"m\";", K1, "INTERFACE IDENT(M) VALUE(m) END"},
      {"interface of modulex: keyword then word", "interface of modulex M \"m\";", K1,
       "INTERFACE IDENT(x) IDENT(M) VALUE(m) END"},
      {"export needs a blank", "exportwindow W;", K2, "END"},
      {"export window", "export  window W;", K2, "WINDOW IDENT(W) END"},
      {"upper-case name at line start is an instance", "Base Inst;", K0, "INSTANCE(Base) IDENT(Inst) END"},
      {"underscore name at line start is an instance", "  _B x;", K0, "INSTANCE(_B) CLASS(x) END"},
      {"digit at line start is a skipped statement", "9 window W;", K0, "END"},
      {"decimal number at line start beats the skipped word", "1.5\nwindow W;", K0, "WINDOW IDENT(W) END"},
      {"word with digits is another name, ignored in a header", "window w2x;", K0, "WINDOW END"},
      {"lower-case name in a header is a class word", "window foo;", K0, "WINDOW CLASS(foo) END"},
      {"name with digits in a header", "window W2_b;", K0, "WINDOW IDENT(W2_b) END"},
      {"text runs to the last quote of its line", "window W {\n .title \"a\" x \"b\";\n}", K0,
       "WINDOW IDENT(W) END ATTR(.title) VALUE(\"a\" x \"b\") END"},
      {"attribute with bracketed parts", "window W {\n .content[2][x] 5;\n}", K0,
       "WINDOW IDENT(W) END ATTR(.content[2][x]) VALUE(5) END"},
      {"unclosed bracket ends the attribute name", "window W {\n .a[1 5;\n}", K0,
       "WINDOW IDENT(W) END ATTR(.a) VALUE(1) VALUE(5) END"},
      {"value rules after an attribute", "window W {\n .a -5;\n .b 1.5;\n .c Red_1;\n .d red2;\n .e true;\n}", K0,
       "WINDOW IDENT(W) END ATTR(.a) VALUE(-5) END ATTR(.b) VALUE(1.5) END ATTR(.c) VALUE(Red_1) END "
       "ATTR(.d) VALUE(red2) END ATTR(.e) VALUE(true) END"},
      {"line comments", "!! window A;\n// window B;\nwindow C; // {\n", K0, "WINDOW IDENT(C) END"},
      {"comment opener inside a line comment", "//* x\nwindow C;", K0, "WINDOW IDENT(C) END"},
  });
}

TEST_F(ScanTest, Contexts) {
  RunTable({
      {"plain keywords are skipped in a module file", "window W { .x 1; }\nmodel edittext E;", K2, "END END END"},
      {"export keywords are skipped in the IDM file", "export window W;", K0, "END"},
      {"import counts in module files, not in interface files", "import M \"m\";", K2,
       "IMPORT IDENT(M) VALUE(m) END"},
      {"import in an interface file", "import M \"m\";", K1, "END"},
      {"interface of module only in an interface file", "interface of module M \"m\";", K0, "END"},
      {"instance only in the IDM file", "Base X;", K2, "END"},
      {"attribute on the header line is ignored", "window W { .title \"x\"; }", K0, "WINDOW IDENT(W) END END"},
      {"body of a skipped statement", "rule R {\n child edittext E;\n .x 1;\n}\nwindow W;", K0,
       "END END END WINDOW IDENT(W) END"},
      {"keyword inside a body is ignored", "window W {\n window V {\n .x 1;\n }\n}", K0,
       "WINDOW IDENT(W) END END END"},
      {"child at depth 0 is ignored", "child edittext E;\nwindow W;", K0, "END WINDOW IDENT(W) END"},
      {"child and attributes in a window", "window W {\n child edittext E {\n  .x 1;\n }\n}", K0,
       "WINDOW IDENT(W) END CHILD CLASS(edittext) IDENT(E) END ATTR(.x) VALUE(1) END"},
      {"export child in a module window", "export window W {\n export child edittext E;\n child edittext F;\n}", K2,
       "WINDOW IDENT(W) END CHILD CLASS(edittext) IDENT(E) END END"},
      {"keyword while a statement is open sets skipped", "window W\nmodel edittext E;", K0, "WINDOW IDENT(W) END"},
      {"instance while a statement is open sets skipped", "window W\nBase X;", K0, "WINDOW IDENT(W) END"},
      {"keywords, names and values are suppressed in comments", "/*\nwindow W;\n*/\nwindow V;", K0,
       "END WINDOW IDENT(V) END"},
      {"nested comments", "/* /* */ window A; */\nwindow B;", K0, "END WINDOW IDENT(B) END"},
      {"names and attributes in a module's comment skip nothing", "/*\n Copyright\n .note\n*/\nexport window W;", K2,
       "WINDOW IDENT(W) END"},
      {"nor in an interface file's comment", "/*\n Widgets\n .note\n*/\ninterface of module M \"m\";", K1,
       "INTERFACE IDENT(M) VALUE(m) END"},
      {"a closing brace inside a comment closes a level", "window W {\n/* } */\n .x 1;", K0,
       "WINDOW IDENT(W) END END"},
      {"a text hides comment marks", "window W {\n .t \"/*\";\n}", K0, "WINDOW IDENT(W) END ATTR(.t) VALUE(\"/*\") END"},
      {"import takes names and a text without quotes", "import Lib \"lib.ifc\" 5;", K0,
       "IMPORT IDENT(Lib) VALUE(lib.ifc) END"},
      {"a second value after an attribute", "window W {\n .x 1 2;\n}", K0,
       "WINDOW IDENT(W) END ATTR(.x) VALUE(1) VALUE(2) END"},
      {"a level opened by an attribute is live", "window W {\n .x 1 {\n  .y 2;\n }\n}", K0,
       "WINDOW IDENT(W) END ATTR(.x) VALUE(1) END ATTR(.y) VALUE(2) END"},
  });
}

struct FatalCase {
  const char *id;
  std::string input;
  FileKind kind;
  int code;
  std::string err;
};

TEST_F(ScanTest, FatalErrors) {
  const std::string longName(8192, 'a');
  const std::vector<FatalCase> cases = {
      {"ten nested braces", "x {{{{{{{{{\n{", K0, 1, "\nopening brace nesting too deep\nfile 't.idm', line 2\n"},
      {"closing brace at depth 0", "\n}", K0, 1, "\nunexpected closing brace\nfile 't.idm', line 2\n"},
      {"end of a comment that is not open", "a */", K0, 1, "\nunexpected end-of-comment token\nfile 't.idm', line 1\n"},
      {"comment open at the end", "/*\n\nx", K0, 1, "\nunterminated comment, opened in line 1\nfile 't.idm', line 3\n"},
      {"brace open at the end", "window W {\n {\n}\n", K2, 1,
       "\nunexpected end of file, brace opened in line 1 not closed\nfile 't.idm', line 4\n"},
      {"token of 8192 characters", "x " + longName, K0, 2, "\ntoken too large, exceeds YYLMAX\nfile 't.idm', line 1\n"},
      {"line comment of 8192 characters", "//" + std::string(8190, 'c'), K0, 2,
       "\ntoken too large, exceeds YYLMAX\nfile 't.idm', line 1\n"},
      {"value longer than a slot", "window W {\n .t \"" + std::string(254, 'v') + "\";\n}", K0, 1,
       "\nname or value too long, more than 255 characters\nfile 't.idm', line 2\n"},
      {"NUL byte in a text", "window W {\n .t \"a\0b\";\n}"s, K0, 1,
       "\nNUL character in name or value\nfile 't.idm', line 2\n"},
      {"unterminated text after an attribute", "window W {\n .t \"abc;\n}", K0, 1,
       "\ntext without closing double quote\nfile 't.idm', line 2\n"},
  };
  for (const FatalCase &c : cases) {
    SCOPED_TRACE(c.id);
    const xltest::Outcome outcome = xltest::Capture([&] { Scan(c.input, c.kind); });
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.err, c.err);
  }
}

TEST_F(ScanTest, LimitsThatHold) {
  // Nine levels, a 255-character value, a token of 8191 characters.
  EXPECT_EQ(Scan("x {{{{{{{{{}}}}}}}}}"), "END END END END END END END END END");
  const std::string value = "\"" + std::string(253, 'v') + "\"";
  EXPECT_EQ(Scan("window W {\n .t " + value + ";\n}"), "WINDOW IDENT(W) END ATTR(.t) VALUE(" + value + ") END");
  EXPECT_EQ(Scan("x " + std::string(8191, 'a')), "");
  // A lone double quote outside a value context is just a character.
  EXPECT_EQ(Scan("rule \"x {\n}"), "END");
}

TEST_F(ScanTest, BinaryInputNeitherCrashesNorPassesTokens) {
  std::mt19937 random(7);
  std::string bytes(1 << 16, '\0');
  for (char &b : bytes) {
    b = static_cast<char>(random());
    if (b == '{' || b == '}' || b == ';' || b == '*' || b == '\n' || b == '"') b = '\0';
  }
  EXPECT_EQ(Scan(bytes), "");
  EXPECT_EQ(Scan(std::string(1000, '\0') + "\nwindow W;"), "WINDOW IDENT(W) END");
}

}  // namespace
