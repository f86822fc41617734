// Test plan for the configuration reader, the item store and symbols:
//   1. Configuration lines: items, headers, comments, blanks and line ends, the
//      bad lines with their messages and results (table).
//   2. Lines beyond 255 characters and NUL bytes: comments pass, items fail.
//   3. Several files add to one store; later values replace earlier ones in place.
//   4. The item store: replace in place, removed items, walks, VarNext without a walk.
//   5. Symbols: definitions and their errors; file name mapping through symbols
//      and environment variables, folder order, names left unchanged (table).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "panelxlate_testutil.h"

namespace {

using namespace std::string_literals;
using namespace panelxlate;

class CfgTest : public xltest::XlateTest {
 protected:
  xltest::TempDir dir;

  // Reads `text` as test.cfg; the result and what went to standard error.
  std::pair<int, std::string> Read(const std::string &text) {
    int rc = -1;
    const xltest::Outcome outcome = xltest::Capture([&] { rc = xltest::Configure(dir, text); });
    return {rc, outcome.err};
  }

  // The items of a section as "name=value;" words.
  static std::string Items(const char *section) {
    std::string out;
    if (const Section *s = FindSection(section)) {
      for (const VarItem &item : s->items) out += item.name + "=" + item.value + ";";
    }
    return out;
  }
};

TEST_F(CfgTest, Lines) {
  struct Case {
    const char *id;
    std::string text;
    int rc;
    std::string err;
    std::string items;  // of section [S]
  };
  const std::string failedIn = "CfgRead() failed in line ";
  const std::vector<Case> cases = {
      {"items are trimmed and split at the first =", "[S]\n  .w = (10) \n a=b=c\n.e=\n", 0, "",
       ".w=(10);a=b=c;.e=;"},
      {"comments, blank lines, CR line ends", "# c=d\n\n   \n[S]\r\n  # x\r\nk=v\r\n=ignored\n", 0, "", "k=v;"},
      {"an item before any header", "\n.w=1\n", 1,
       "CfgLine() failed: CurrSection not set\n" + failedIn + "2, file '" + dir / "test.cfg" + "'\n", ""},
      {"a word alone", "[S]\nword\n", 1,
       "CfgLine() failed: invalid token 'word'\n" + failedIn + "2, file '" + dir / "test.cfg" + "'\n", ""},
      {"a header without its bracket", "[S\n", 1,
       "CfgLine() failed: invalid token '[S'\n" + failedIn + "1, file '" + dir / "test.cfg" + "'\n", ""},
      {"an item line of 256 characters", "[S]\nk=" + std::string(254, 'v') + "\n", 1,
       "CfgLine() failed: line longer than 255 characters\n" + failedIn + "2, file '" + dir / "test.cfg" + "'\n",
       ""},
      {"an item line of 255 characters", "[S]\nk=" + std::string(253, 'v') + "\n", 0, "",
       "k=" + std::string(253, 'v') + ";"},
      {"an item line of 255 characters and a CR LF line end", "[S]\r\nk=" + std::string(253, 'v') + "\r\n", 0, "",
       "k=" + std::string(253, 'v') + ";"},
      {"a comment of any length with any bytes", "# " + std::string(100000, 'x') + "=y\0\n[S]\nk=v"s, 0, "",
       "k=v;"},
      {"a NUL byte in an item line", "[S]\nk=v\0w\n"s, 1,
       "CfgLine() failed: NUL character in line\n" + failedIn + "2, file '" + dir / "test.cfg" + "'\n", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ResetVarStore();
    const auto [rc, err] = Read(c.text);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(err, c.err);
    EXPECT_EQ(Items("S"), c.items);
  }
}

TEST_F(CfgTest, MissingFile) {
  int rc = 0;
  const xltest::Outcome outcome = xltest::Capture([&] { rc = CfgRead(dir / "absent.cfg"); });
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(outcome.err, "CfgRead() failed: unable to open file '" + dir / "absent.cfg" + "'\n");
  const std::string folder = dir.Write("sub/x", "") + "/..";
  xltest::Capture([&] { EXPECT_EQ(CfgRead(folder), 2); });  // a folder cannot be read
}

TEST_F(CfgTest, FilesAddToOneStore) {
  ASSERT_EQ(xltest::Configure(dir, "[EditText]\n.w=(10)\n.h=1\n[Other]\nx=1\n", "a.cfg"), 0);
  // The current section carries over to the next file.
  ASSERT_EQ(xltest::Configure(dir, "y=2\n[EditText]\n.h=3\n.x=4\n", "b.cfg"), 0);
  EXPECT_EQ(Items("EditText"), ".w=(10);.h=3;.x=4;");
  EXPECT_EQ(Items("Other"), "x=1;y=2;");
  EXPECT_EQ(CfgItem("Other", "y")->value, "2");
  EXPECT_EQ(CfgItem("other", "y"), nullptr);  // names are compared exactly
}

TEST_F(CfgTest, FindSectionWithItem) {
  ASSERT_EQ(xltest::Configure(dir, "[A]\n!translate=X\n[B]\n!translate=X\n[C]\n!translate=Y\n"), 0);
  EXPECT_EQ(FindSectionWithItem("!translate", "X")->name, "A");
  EXPECT_EQ(FindSectionWithItem("!translate", "Y")->name, "C");
  EXPECT_EQ(FindSectionWithItem("!translate", "Z"), nullptr);
  ASSERT_EQ(xltest::Configure(dir, "[D]\n!translate=Z\n", "more.cfg"), 0);  // the look-up follows changes
  EXPECT_EQ(FindSectionWithItem("!translate", "Z")->name, "D");
}

TEST_F(CfgTest, ItemStore) {
  VarList list;
  for (int i = 0; i < 40; ++i) VarSet(list, "n" + std::to_string(i), "v");  // beyond the indexed size
  VarSet(list, "n3", "");
  VarSet(list, "n5", "again");
  EXPECT_EQ(list.size(), 40u);
  EXPECT_EQ(list[5].value, "again");
  EXPECT_EQ(list.Value("n3"), nullptr);
  ASSERT_NE(list.Find("n3"), nullptr);
  VarSet(list, "n3", "back");
  EXPECT_EQ(list[3].value, "back");  // filled in place

  VarList small;
  VarSet(small, "a", "1");
  VarSet(small, "b", "");
  VarSet(small, "c", "3");
  std::string walked;
  for (const VarItem *item = VarFirst(small); item != nullptr; item = VarNext()) walked += item->name;
  EXPECT_EQ(walked, "ac");
  const xltest::Outcome outcome = xltest::Capture([] { EXPECT_EQ(VarNext(), nullptr); });
  EXPECT_EQ(outcome.err, "VarNext() failed: CurrVar not set\n");
}

TEST_F(CfgTest, ItemStoreOutOfMemory) {
  for (const char *where : {"VarSet(1)", "VarSet(2)", "VarSet(3)"}) {
    SCOPED_TRACE(where);
    static const char *failing;
    failing = where;
    g_allocFails = [](const char *at) { return std::string(at) == failing; };
    VarList list;
    const xltest::Outcome outcome = xltest::Capture([&] { EXPECT_EQ(VarSet(list, "a", "b"), nullptr); });
    EXPECT_EQ(outcome.err, "VarSet() failed: heap overflow (" + std::string(where + 7, 1) + ")\n");
    g_allocFails = nullptr;
  }
}

TEST_F(CfgTest, SymbolDefinitions) {
  struct Case {
    std::string text;
    int rc;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"IDMLIB=a:b", 0, ""},
      {"EMPTY=", 0, ""},
      {"NOEQUALS", 1, "SymbolAdd() failed: syntax error\n"},
      {"L=" + std::string(1021, 'x'), 0, ""},
      {"L=" + std::string(1022, 'x'), 1, "SymbolAdd() failed: symbol too long\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    int rc = -1;
    const xltest::Outcome outcome = xltest::Capture([&] { rc = SymbolAdd(c.text); });
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(outcome.err, c.err);
  }
}

TEST_F(CfgTest, FileNameMapping) {
  dir.Write("a/x.mod", "");
  dir.Write("b/x.mod", "");
  dir.Write("b/y.mod", "");
  dir.Write("e/z.mod", "");
  ASSERT_EQ(SymbolAdd("IDMLIB=" + dir / "a" + ":" + dir / "b"), 0);
  ASSERT_EQ(SymbolAdd("SPACED=" + dir / "a" + " "), 0);  // values are not trimmed
  setenv("XLTEST_ENVLIB", (dir / "e").c_str(), 1);
  setenv("IDMLIB", "/nonexistent", 1);  // the symbol table comes first
  ASSERT_EQ(SymbolAdd("XLTEST_EMPTY="), 0);  // defined empty: the environment is not asked
  setenv("XLTEST_EMPTY", (dir / "e").c_str(), 1);
  struct Case {
    std::string name;
    std::string mapped;
  };
  const std::vector<Case> cases = {
      {"IDMLIB:x.mod", dir / "a/x.mod"},
      {"IDMLIB:y.mod", dir / "b/y.mod"},
      {"IDMLIB:none.mod", "IDMLIB:none.mod"},
      {"XLTEST_ENVLIB:z.mod", dir / "e/z.mod"},
      {"XLTEST_EMPTY:z.mod", "XLTEST_EMPTY:z.mod"},
      {"SPACED:x.mod", "SPACED:x.mod"},
      {"C:x.mod", "C:x.mod"},
      {":x.mod", ":x.mod"},
      {"plain.mod", "plain.mod"},
      {"IDMLIB:a:b", "IDMLIB:a:b"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SymbolFindFile(c.name), c.mapped);
  }
  unsetenv("XLTEST_ENVLIB");
  unsetenv("XLTEST_EMPTY");
  unsetenv("IDMLIB");
}

}  // namespace
