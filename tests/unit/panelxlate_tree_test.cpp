// Test plan for the object tree, attribute conversion, layout and the writer:
//   1. Attribute conversion: the name table with its class condition, indexed
//      names, configured names and values, the value table (table).
//   2. Text values: trimming, octal escapes and their table, refused texts (table).
//   3. Creation: class keywords and their configuration, hidden objects, models,
//      copies and references, made-up names, fatal errors with their places.
//   4. The two choices: copies keep every stored attribute and the positions;
//      an object's own values win over an intermediate model's.
//   5. Inheritance by "!inherit": ALWAYS, DIFF, NEVER, a bad item.
//   6. Layout and output: positions, borders, auto placement, clipping, defaults,
//      notes (table of scripts and their DLG text).
//   7. Header files: the two substitutions, a missing file.
//   8. Memory exhausted at the places with messages of their own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "panelxlate_testutil.h"

namespace {

using namespace std::string_literals;
using namespace panelxlate;

class TreeTest : public xltest::XlateTest {
 protected:
  xltest::TempDir dir;

  void Configure(const std::string &text) { ASSERT_EQ(xltest::Configure(dir, text), 0); }
  static void Parse(const std::string &script) { LexPushFile(script, kIdmFile, "t.idm"); }
  static std::string Write() {
    std::string out;
    WriteObjects(out);
    return out;
  }
  // Converts a script; the DLG text, or the fatal outcome's message.
  std::string Convert(const std::string &script, std::string *err = nullptr, int *code = nullptr) {
    std::string out;
    const xltest::Outcome outcome = xltest::Capture([&] {
      Parse(script);
      out = Write();
    });
    if (err != nullptr) *err = outcome.err;
    if (code != nullptr) *code = outcome.code;
    return out;
  }
  // The attributes of the first object as "name=value;" words.
  static std::string Attrs(const Object *object) {
    std::string out;
    for (const VarItem &item : object->attrs) out += item.name + "=" + item.value + ";";
    return out;
  }
};

TEST_F(TreeTest, AttributeConversion) {
  Configure(
      "[.bgc]\n!translate=.color\n[.title]\n!translate=\n[.content[]\n!translate=.item[\n"
      "[.visible]\nyes=1\ntrue=T\n");
  struct Case {
    const char *keyword;
    const char *name;
    const char *value;
    std::string stored;  // empty: dropped
  };
  const std::vector<Case> cases = {
      {"edittext", ".sensitive", "true", ".sensitive=1;"},
      {"edittext", ".multiline", "false", ".multiline=0;"},
      {"edittext", ".help", "\"h\"", ".help=\"h\";"},
      {"edittext", ".borderwidth", "2", ".border=2;"},
      {"edittext", ".hsb_visible", "1", ".hsb=1;"},
      {"edittext", ".vsb_visible", "1", ".vsb=1;"},
      {"edittext", ".VlRule", "R1", ".rule=R1;"},
      {"edittext", ".VlKbRule[1]", "K", ".cr=K;"},
      {"edittext", ".VlKbRule[4]", "K", ".f3=K;"},
      {"edittext", ".VlKbRule[10]", "K", ".f9=K;"},
      {"edittext", ".VlKbRule[11]", "K", ""},
      {"pushbutton", ".active", "1", ""},
      {"checkbox", ".active", "true", ".active=1;"},
      {"radiobutton", ".active", "0", ".active=0;"},
      {"edittext", ".maxchars", "8", ".maxchars=8;"},
      {"edittext", ".unknown", "1", ""},
      {"edittext", ".content[x]", "1", ""},
      {"edittext", ".content[2]x", "1", ""},
      {"edittext", ".help[2]", "1", ""},
      // configured: a translated name, a dropped name, a translated base, mapped values
      {"edittext", ".bgc", "red", ".color=red;"},
      {"edittext", ".title", "\"t\"", ""},
      {"edittext", ".content[3]", "\"a\"", ".item[3]=\"a\";"},
      {"edittext", ".visible", "yes", ".visible=1;"},
      {"edittext", ".visible", "true", ".visible=T;"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.keyword) + " " + c.name);
    ResetTree();
    Object *object = ObCreate(ListKind::kObjects, nullptr, "O", c.keyword, false);
    IDM_SetAttr(object, c.name, c.value);
    EXPECT_EQ(Attrs(object), c.stored);
  }
}

TEST_F(TreeTest, TextValues) {
  struct Case {
    std::string value;
    std::string stored;  // empty: fatal "illegal text value (%s)"
  };
  const std::vector<Case> cases = {
      {"\"  a b  \"", "\"a b\""},
      {"\"\t\n a \t  \"", "\"a \t\""},
      {"\"\\344\\304\\337\\366\"", "\"\xCC\xD8\xDE\xCE\""},
      {"\"\\101\\351\"", "\"A\xE9\""},
      {"\"a\\n\\12\"", "\"a\\n\\12\""},
      {"\"\"", "\"\""},
      {"\"a\"b\"", ""},
      {"\"a\\042b\"", ""},
      {"\"\\000\"", ""},
      {"\"\\400\"", ""},
      {"\"\\189\"", ""},
      {"\"abc", ""},
      {"\"", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.value);
    ResetTree();
    Object *object = ObCreate(ListKind::kObjects, nullptr, "O", "statictext", false);
    const xltest::Outcome outcome = xltest::Capture([&] { IDM_SetAttr(object, ".text", c.value); });
    if (c.stored.empty()) {
      EXPECT_EQ(outcome.code, 1);
      EXPECT_EQ(outcome.err, "\nillegal text value (" + c.value + ")\n");
    } else {
      EXPECT_EQ(outcome.code, -1);
      EXPECT_EQ(Attrs(object), ".text=" + c.stored + ";");
    }
  }
}

TEST_F(TreeTest, Creation) {
  Configure("[combobox]\n!translate=ListBox\n[spinbox]\n!translate=\n[Gone]\n!translate=\n[Old]\n!translate=New\n");
  Parse(
      "window;\nwindow W {\n child image I;\n child combobox C;\n child spinbox S;\n child edittext Gone {\n"
      "  child edittext Inner;\n }\n child edittext Old;\n child edittext Twin;\n child edittext Twin;\n}\n");
  const Object *auto1 = FirstObject();
  EXPECT_EQ(auto1->name, "AutoObj1");
  EXPECT_EQ(auto1->classId, kDialog);
  std::string children;
  for (const Object *c = auto1->next->firstChild; c != nullptr; c = c->next) {
    children += c->name + ":" + std::to_string(c->classId) + (c->hidden ? "h " : " ");
  }
  EXPECT_EQ(children, "I:6 C:5 S:0h Gone:3h New:3 Twin:3 Twin:3 ");
  EXPECT_EQ(Write(),
            "Dialog AutoObj1 {\n}\n\nDialog W {\n\n PushButton I {\n }\n\n ListBox C {\n }\n\n EditText New {\n }\n\n"
            " EditText Twin {\n }\n\n EditText Twin {\n }\n}\n");
}

TEST_F(TreeTest, CreationErrors) {
  struct Case {
    std::string script;
    int code;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"window W {\n child combobox C;\n}", 1, "\nunknown classname 'combobox'\nfile 't.idm', line 2\n"},
      {"\nNoSuch X;", 3, "\nunknown model 'NoSuch'\nfile 't.idm', line 2\n"},
      {"window foo;", 1, "\nsyntax error\nfile 't.idm', line 1\n"},
      {"window W {\n .x 1 2;\n}", 1, "\nsyntax error\nfile 't.idm', line 2\n"},
      {"window W", 1, "\nsyntax error\nfile 't.idm', line 1\n"},
      // A statement may not run on past the end of a module file into the file that imports it.
      {"import M \"" + dir.Write("m.ifc", "interface of module M \"" + dir / "m.mod" + "\";\n") + "\";\n;\n", 1,
       "\nsyntax error\nfile '" + dir.Write("m.mod", "export model edittext E\n") + "', line 2\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.script);
    ResetTree();
    std::string err;
    int code = 0;
    Convert(c.script, &err, &code);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(err, c.err);
  }
}

TEST_F(TreeTest, CopiesKeepEveryAttributeAndThePositions) {
  const std::string out = Convert(
      "model edittext Base {\n .borderwidth 2;\n .content[1] \"l\";\n .VlRule R;\n .VlKbRule[1] K;\n .xleft 5;\n"
      " .width 11;\n child statictext Label { .x 1; }\n child statictext Label2;\n}\n"
      "model Base Derived {\n .help \"d\";\n}\nDerived D;\n");
  EXPECT_EQ(out,
            "EditText D {\n .w = 10\n .x = 5\n .border = 2\n .line[1] = \"l\"\n .rule = R\n .cr = K\n"
            " .help = \"d\"\n\n StaticText Label {\n }\n\n StaticText Label2 {\n }\n}\n");
}

TEST_F(TreeTest, ModelHoldingItsOwnInstanceIsCopiedOnce) {
  const std::string out = Convert("model window M {\n child edittext A;\n child M Self;\n}\nM X;\n");
  EXPECT_EQ(out, "Dialog X {\n\n EditText A {\n }\n\n Dialog Self {\n\n  EditText A {\n  }\n }\n}\n");
}

TEST_F(TreeTest, ModelsThatDoubleEachOtherStopAtTheObjectLimit) {
  SetObjectLimitForTest(100);
  std::string script = "model window M0 {\n child edittext E;\n}\n";
  for (int i = 1; i <= 8; ++i) {
    const std::string prev = "M" + std::to_string(i - 1);
    script += "model window M" + std::to_string(i) + " {\n child " + prev + " A;\n child " + prev + " B;\n}\n";
  }
  std::string err;
  int code = 0;
  Convert(script, &err, &code);
  EXPECT_EQ(code, 3);
  EXPECT_EQ(err, "\ntoo many objects, limit is 100\nfile 't.idm', line 21\n");
}

TEST_F(TreeTest, InheritanceFromConfiguredModels) {
  Configure(
      "[MyEdit]\n!translate=DlgEdit\n[.maxchars]\n!inherit=DIFF\n[.title]\n!inherit=always\n[.help]\n"
      "!inherit=NEVER\n");
  const std::string out = Convert(
      "model edittext MyEdit {\n .maxchars 10;\n .title \"t\";\n .help \"h\";\n .xleft 4;\n}\n"
      "model MyEdit Mid {\n .maxchars 20;\n .text \"mid\";\n}\n"
      "MyEdit I1 {\n .maxchars 10;\n .help \"x\";\n}\n"
      "Mid I2 {\n .maxchars 10;\n}\n"
      "Mid I3 {\n .text \"own\";\n .maxchars 30;\n}\n"
      "window P {\n .help \"p\";\n}\n");
  // I1: DIFF removes its equal .maxchars, ALWAYS adds .title, NEVER removes .help.
  // I2 and I3: the object's own values win over the intermediate model Mid's.
  // P, based on no model, loses its .help too.
  EXPECT_EQ(out,
            "DlgEdit I1 {\n .x = 4\n .title = \"t\"\n}\n\n"
            "DlgEdit I2 {\n .x = 4\n .title = \"t\"\n .text = \"mid\"\n}\n\n"
            "DlgEdit I3 {\n .x = 4\n .text = \"own\"\n .maxchars = 30\n .title = \"t\"\n}\n\n"
            "Dialog P {\n}\n");
}

TEST_F(TreeTest, BadInheritItemNamesTheObject) {
  Configure("[.title]\n!inherit=SOMETIMES\n");
  std::string err;
  int code = 0;
  Convert("window A;\n\nwindow B {\n .title \"b\";\n}\n", &err, &code);
  EXPECT_EQ(code, 1);
  EXPECT_EQ(err,
            "\nInheritAttrs() failed: invalid configuration '!inherit=SOMETIMES' in section [.title]\n"
            "file 't.idm', line 3\n");
}

TEST_F(TreeTest, Layout) {
  struct Case {
    const char *id;
    std::string config;
    std::string script;
    std::string out;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"stretched edit field in a dialog", "",
       "window W {\n .width 40;\n child edittext E {\n  .xauto 0;\n  .xleft 2;\n  .xright 1;\n }\n}",
       "Dialog W {\n .w = 40\n\n EditText E {\n  .w = 35\n  .x = 3\n }\n}\n", ""},
      {"button aligned right by its natural width", "",
       "window W {\n .width 40;\n child pushbutton OK {\n  .text \"OK\";\n  .xauto -1;\n  .xright 1;\n }\n}",
       "Dialog W {\n .w = 40\n\n PushButton OK {\n  .x = 34\n  .text = \"OK\"\n }\n}\n", ""},
      {"top-level window moved into the screen", "", "window W {\n .xleft 70;\n .width 20;\n}",
       "Dialog W {\n .w = 20\n .x = 60\n}\n", ""},
      {"top-level window wider than the screen", "", "window W {\n .xleft 70;\n .width 100;\n}",
       "Dialog W {\n .w = 80\n .x = 0\n}\n", ""},
      {"edit field width", "",
       "window W {\n child edittext A { \n  .width 10;\n }\n child edittext B {\n  .width 10;\n  .maxchars 5;\n }\n}",
       "Dialog W {\n\n EditText A {\n  .w = 9\n }\n\n EditText B {\n  .w = 5\n  .maxchars = 5\n }\n}\n", ""},
      {"xleft -1 stays", "", "window W {\n .width 30;\n .height 9;\n child statictext S {\n  .xleft -1;\n  .ytop 2;\n }\n}",
       "Dialog W {\n .w = 30\n .h = 9\n\n StaticText S {\n  .x = -1\n  .y = 3\n }\n}\n", ""},
      {"width and height from right and bottom", "",
       "window W {\n child checkbox C {\n  .xleft 2;\n  .xright 9;\n  .ytop 1;\n  .ybottom 3;\n  .height 0;\n }\n}",
       "Dialog W {\n\n CheckBox C {\n  .h = 3\n  .x = 3\n  .y = 2\n }\n}\n", ""},
      {"configured default and plain widths", "[EditText]\n.w=(10)\n[StaticText]\n.w=10\n.y=(4)\n",
       "window W {\n child edittext E;\n child statictext S {\n  .ytop 1;\n }\n}",
       "Dialog W {\n\n EditText E {\n }\n\n StaticText S {\n  .w = 10\n  .y = 2\n }\n}\n", ""},
      {"a group box border of 0 shifts nothing", "",
       "window W {\n child groupbox G {\n  .borderwidth 0;\n  child statictext S {\n   .xleft 1;\n  }\n }\n"
       " child groupbox H {\n  child statictext T {\n   .xleft 1;\n  }\n }\n}",
       "Dialog W {\n\n GroupBox G {\n  .border = 0\n\n  StaticText S {\n   .x = 1\n  }\n }\n\n"
       " GroupBox H {\n\n  StaticText T {\n   .x = 2\n  }\n }\n}\n", ""},
      {"auto placement without a frame", "",
       "window W {\n .xauto 0;\n child statictext S {\n  .yauto -1;\n }\n}",
       "Dialog W {\n\n StaticText S {\n }\n}\n",
       "ObFixup(W) note: cannot calc position depending on .xauto=0, object has no parent\n"
       "ObFixup(S) note: cannot calc position depending on .yauto=-1, .height of parent object undefined\n"},
      {"a configured default width counts for the layout", "[EditText]\n.w=(10)\n",
       "window W {\n .width 30;\n child edittext E {\n  .xauto -1;\n }\n}",
       "Dialog W {\n .w = 30\n\n EditText E {\n  .x = 20\n }\n}\n", ""},
      {"only rules, event handlers and comments", "",
       "rule void R {\n child edittext E;\n}\non dialog start\n{\n .title \"x\";\n}\n/* window W; */\n!! window V;\n", "",
       ""},
      {"a lower-case name with digits is no object name", "", "window w2 {\n .title \"t\";\n}",
       "Dialog AutoObj1 {\n .title = \"t\"\n}\n", ""},
      {"bottom alignment inside a dialog", "",
       "window W {\n .height 10;\n .width 20;\n child pushbutton B {\n  .yauto -1;\n  .ybottom 1;\n }\n}",
       "Dialog W {\n .w = 20\n .h = 10\n\n PushButton B {\n  .y = 7\n }\n}\n", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ResetTree();
    ResetVarStore();
    if (!c.config.empty()) Configure(c.config);
    std::string err;
    EXPECT_EQ(Convert(c.script, &err), c.out);
    EXPECT_EQ(err, c.err);
  }
}

TEST_F(TreeTest, HeaderFiles) {
  setenv("TZ", "UTC", 1);
  tzset();
  const std::string header = dir.Write("h.dlg", "# %FILE% of %DATE%, 100% %FILE\nN = 5\n");
  std::string out;
  ASSERT_EQ(CopyHeaders(out, {header, header}, "", 0), 0);
  const std::string once = "# (Standard Output) of Thu Jan  1 00:00:00 1970, 100% %FILE\nN = 5\n";
  EXPECT_EQ(out, once + once);
  out.clear();
  ASSERT_EQ(CopyHeaders(out, {header}, "x.dlg", 0), 0);
  EXPECT_EQ(out.substr(0, 8), "# x.dlg ");
  int rc = 0;
  const xltest::Outcome outcome = xltest::Capture([&] { rc = CopyHeaders(out, {dir / "none.dlg"}, "", 0); });
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(outcome.err, "unable to open file\n");
}

TEST_F(TreeTest, MemoryExhausted) {
  struct Case {
    const char *where;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"ObCreate(1)", "\nheap overflow, ObCreate(1)\nfile 't.idm', line 1\n"},
      {"ObCreate(2)", "\nheap overflow, ObCreate(2)\nfile 't.idm', line 1\n"},
      {"ObCpyChildren(1)", "\nheap overflow, ObCpyChildren(1)\nfile 't.idm', line 4\n"},
      {"NewModule", "\nNewModule(Lib) failed: heap overflow\nfile 't.idm', line 2\n"},
      {"VarSet(3)", "VarSet() failed: heap overflow (3)\n\nIDM_SetAttr(.title) failed: heap overflow\n"
                    "file 't.idm', line 2\n"},
  };
  static const char *failing;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.where);
    ResetTree();
    failing = c.where;
    g_allocFails = [](const char *at) { return std::string(at) == failing; };
    const std::string script = c.where == "VarSet(3)"s ? "model window M {\n .title \"t\";\n}"
                               : c.where == "NewModule"s ? "\nimport Lib \"lib.ifc\";"
                                                         : "model window M {\n child edittext E;\n}\nM X;";
    std::string err;
    int code = 0;
    Convert(script, &err, &code);
    g_allocFails = nullptr;
    EXPECT_EQ(code, 3);
    EXPECT_EQ(err, c.err);
  }
}

}  // namespace
