// Test plan for the checks of dialog objects (the golden cases of glosscheck
// show every check message through the program):
//   1. AddDlgObj outcomes the DLG reader never provokes: an attribute without
//      an object path, an attribute before its object, no dictionary, memory
//      running out in each list (table).
//   2. LocateDictObj and RemoveDictObj against a plain walk of the section list
//      that follows the rules word for word, over generated dictionaries with
//      repeated keys, names in mixed case and sections without PATH: the
//      same section every time, and the engine's list and name look-ups intact.
//   3. LocateDictObj's and ListSections' failures.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dict.h"
#include "dlgcheck.h"
#include "format.h"
#include "testutil.h"

namespace {

using vltest::TraceCapture;

class DlgCheck : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    ASSERT_EQ(vl::BuildLocale(), vl::kLocaleOk);
  }
  // Loads `text` as the checked dictionary, its catalog on level 1.
  void Load(const std::string &text) {
    const std::string path = dir / "d.dic";
    vltest::WriteFile(path, text);
    ASSERT_LE(vl::CheckDict("dict_01", path.c_str(), 1), 1);
  }
  vltest::TempDir dir;
};

dlg::DlgValue Number(int n) { return dlg::DlgValue{dlg::kDlgNumber, n, {}}; }

// ---------------------------------------------------------------------------
// 1. AddDlgObj
// ---------------------------------------------------------------------------

TEST_F(DlgCheck, EventsTheReaderNeverMakes) {
  struct Case {
    const char *id;
    bool loaded;         // a dictionary is on level 1
    long failAfter;      // allocation checks that pass before one fails (-1: none fails)
    const char *path;
    const char *className;  // null: DLG SET with the number 5
    int result;
    const char *message;    // the line written, or ""
  };
  const Case cases[] = {
      {"set without object path", true, -1, "cust", nullptr, 1,
       "D1: AddDlgObj(line 7) failed: missing attribute, path='cust'"},
      {"set before its object", true, -1, "cust.fld.w", nullptr, 1,
       "D1: AddDlgObj(line 7) failed: unknown dictionary path 'CU.fld'"},
      {"no dictionary", false, -1, "cust", "Dialog", 1,
       "D1: AddDlgObj(line 7) failed: cannot find dialog name 'cust' in [catalog]"},
      {"no memory for the catalog index", true, 0, "cust.fld", "EditText", 3,
       "D1: AddDlgObj(line 7) failed: heap overflow, path='cust.fld'"},
      {"no memory for the record", true, 1, "cust.fld", "EditText", 3,
       "D1: AddDlgObj(line 7) failed: heap overflow, path='CU.fld'"},
      {"no memory for the radio button list", true, 1, "cust.rb1", "RadioButton", 3,
       "D1: AddFile() failed: heap overflow"},
      {"radio button", true, -1, "cust.rb12", "RadioButton", 0, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    vl::ResetForTest();
    ASSERT_EQ(vl::BuildLocale(), vl::kLocaleOk);
    if (c.loaded) Load("[catalog]\nCU = cust\n");
    TraceCapture capture("D2");
    const dlg::DlgValue five = Number(5);
    vl::FailAllocationsAfter(c.failAfter);
    const int result = glosscheck::AddDlgObj(c.path, c.className != nullptr ? c.className : "",
                                             c.className != nullptr ? nullptr : &five, 7);
    vl::FailAllocationsAfter(-1);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(capture.Joined(), *c.message != '\0' ? std::string(c.message) + "\n" : "");
    EXPECT_EQ(glosscheck::DlgObjCount(), c.result == 0 ? 1u : 0u);
  }
}

// ---------------------------------------------------------------------------
// 2. Sections found through the index, against a walk of the list
// ---------------------------------------------------------------------------

// The first section, walking the list, whose name begins with the path's first
// component and "." and whose PATH is the rest of the path (both in any case).
const vl::DictSection *Walk(const vl::Dict &dict, const std::string &path) {
  const std::size_t dot = path.find('.');
  const std::string head = path.substr(0, dot + 1);
  for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) {
    if (s->section.size() >= head.size() && vl::EqualNoCase(s->section.substr(0, head.size()), head) &&
        vl::EqualNoCase(s->obj.path, path.substr(dot + 1)))
      return s;
  }
  return nullptr;
}

TEST_F(DlgCheck, IndexFindsWhatAWalkFinds) {
  std::mt19937 random(12);
  const char *names[] = {"a.x", "A.y", "a.z", "b.x", "b.q", "B.X", "a.x"};
  const char *paths[] = {"x", "X", "y", "", "x.y", "X.Y"};
  const char *lookups[] = {"A.x", "a.X", "a.y", "B.x", "b.X.y", "a.x.Y", "c.x", "b.q"};
  int taken = 0;  // sections found and taken out, over all rounds
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    vl::ResetForTest();
    ASSERT_EQ(vl::BuildLocale(), vl::kLocaleOk);
    std::string text = "[catalog]\nA = a\nB = b\n";
    const int sections = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < sections; ++i) {
      text += std::string("[") + names[random() % 7] + "]\nFTYP = T\nFLEN = 1\n";
      const char *path = paths[random() % 6];
      if (*path != '\0') text += std::string("PATH = ") + path + "\n";
    }
    Load(text);
    glosscheck::SetIgnorePathCase(true);
    const vl::Dict &dict = *vl::FirstDict();
    for (int step = 0; step < 60 && dict.sections != nullptr; ++step) {
      const std::string path = lookups[random() % 8];
      const vl::DictSection *expected = Walk(dict, path);
      glosscheck::DictObjPos pos;
      const int found = glosscheck::LocateDictObj(path, pos);
      ASSERT_EQ(found, expected != nullptr ? 0 : -1) << path;
      if (found != 0) continue;
      ASSERT_EQ(pos.section, expected) << path;
      // The engine's list loses exactly that section; the look-ups by name
      // find the others still.
      std::vector<const vl::DictSection *> left;
      for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next)
        if (s != expected) left.push_back(s);
      const std::string name = expected->section;
      glosscheck::RemoveDictObj(pos);
      ++taken;
      std::vector<const vl::DictSection *> now;
      for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) now.push_back(s);
      ASSERT_EQ(now, left);
      const vl::DictSection *byName = vl::FindSection(dict, name);
      for (const vl::DictSection *s : left) {
        if (!vl::EqualNoCase(s->section, name)) continue;
        ASSERT_EQ(byName, s);  // the first one left of that name
        break;
      }
    }
  }
  EXPECT_GT(taken, 100);
}

// ---------------------------------------------------------------------------
// 3. Failures
// ---------------------------------------------------------------------------

TEST_F(DlgCheck, LookupFailures) {
  glosscheck::DictObjPos pos;
  TraceCapture capture("D2");
  EXPECT_EQ(glosscheck::LocateDictObj("CU.fld", pos), -2);
  glosscheck::ListSections(2);
  EXPECT_EQ(glosscheck::LocateDictObj("CU", pos), -2);
  Load("[catalog]\nCU = cust\n");
  EXPECT_EQ(glosscheck::LocateDictObj("CU.fld", pos), -1);  // no sections at all
  Load("[catalog]\nCU = cust\n[cu.fld]\nPATH = fld\nFTYP = T\nFLEN = 1\n");
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(glosscheck::LocateDictObj("CU.fld", pos), -2);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(glosscheck::LocateDictObj("CU.fld", pos), 0);
  EXPECT_EQ(TraceCapture::lines(), (std::vector<std::string>{
                                       "D1: LocateDictObj() failed: current dict not found (internal error)",
                                       "D1: ListSections() failed: current dict not found (internal error)",
                                       "D1: LocateDictObj() failed: invalid path 'CU'",
                                       "D1: LocateDictObj() failed: heap overflow",
                                   }));
}

}  // namespace
