// Test plan for dictionaries and dialog levels (dictkrnl, dictutil), linked with
// the host-free core only:
//   1. dict.syntax     repeated catalog and list sections read as one (the rest of
//                      the file syntax is shown by the golden case dict-syntax)
//   2. dict.failures   ways a load fails that the golden cases do not show: rc,
//                      result and trace, and nothing left behind (no dictionary,
//                      no level, no open file)
//   3. dict.models     chains up to the limit, the nearest model winning, reloads
//   4. dict.instances  sharing by id, closing by level
//   5. dict.memory     exhausted memory at every allocation of a load, a re-open,
//                      an alias and the checker's load
//   6. dict.check      the checker's loader: every error of a file in one run
//   7. dict.levels     dialog ids, catalog checks, handles, aliases
//   8. dict.lookup     FindSection and NextSection; sections taken out of a
//                      dictionary, and the indexes against the list meanwhile;
//                      the packed dictionary; the dump of one field
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "buffers.h"
#include "dict.h"
#include "format.h"
#include "ini.h"
#include "ini_int.h"
#include "testutil.h"

namespace {

using vltest::TempDir;
using vltest::TraceCapture;
using vltest::WriteFile;

const char kCatalog[] = "[catalog]\nORD = ORDER\nCUST = CUSTOMER\n";

// A readable account of a dictionary: catalog, lists, and the items of every
// section that are set, with their texts.
std::string Describe(const vl::Dict &dict) {
  std::string out;
  for (const vl::CatalogEntry &c : dict.catalog) out += "C " + c.hdl + "=" + c.pfx + "\n";
  for (const vl::ListEntry &l : dict.lists) out += "L " + l.item + "=" + l.value + "\n";
  std::string text;
  for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) {
    out += "S " + s->section;
    for (int i = 0; i < vl::kGettableItems; ++i) {
      const vl::DictItem &item = vl::kDictItems[static_cast<std::size_t>(i)];
      if ((s->obj.flags & item.flag) == 0) continue;
      item.get(s->obj, text);
      out += std::string(" ") + item.name + "=" + text;
    }
    out += "\n";
  }
  return out;
}

int DictCount() {
  int n = 0;
  for (const vl::Dict *d = vl::FirstDict(); d != nullptr; d = d->next) ++n;
  return n;
}

bool SlotsFree() {
  for (int hdl = 0; hdl < vl::kIniSlots; ++hdl) {
    if (vl::IniHandleState(hdl) != -1) return false;
  }
  return true;
}

// A chain of `links` model sections m.c0 -> m.c1 -> ... (the last names none).
std::string ModelChain(int links, bool closeCycle = false) {
  std::string text;
  for (int i = 0; i < links; ++i) {
    text += "[m.c" + std::to_string(i) + "]\nFLEN = " + std::to_string(i + 1) + "\n";
    if (i + 1 < links) text += "MODEL = m.c" + std::to_string(i + 1) + "\n";
    else if (closeCycle) text += "MODEL = m.c0\n";
  }
  return text;
}

class Dicts : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    ASSERT_EQ(vl::BuildLocale(), vl::kLocaleOk);
  }
  std::string File(const std::string &name, const std::string &bytes) {
    const std::string path = dir / name;
    WriteFile(path, bytes);
    return path;
  }
  // OpenDict with rc starting at 99; the result in `result`.
  std::int32_t Open(const char *id, const std::string &path, std::int32_t level, vl::Status *result = nullptr) {
    std::int32_t rc = 99;
    const vl::Status s = vl::OpenDict(id, path.c_str(), level, rc);
    if (result != nullptr) *result = s;
    return rc;
  }
  TempDir dir;
};

// ---------------------------------------------------------------------------
// 1. File syntax
// ---------------------------------------------------------------------------

TEST_F(Dicts, RepeatedCatalogAndListSectionsReadAsOne) {
  const std::string path = File("repeat.dic",
                                "[catalog]\nA = AP\n[list]\nCOLOURS = red,\nSIZES = S\n"
                                "[a.x]\nPATH=x\nFTYP=T\nFLEN=1\n"
                                "[CATALOG]\nB = BP\n[List]\ncolours = green\nWEIGHTS = kg\nColours = ,blue\n"
                                "[b.y]\nPATH=y\nFTYP=T\nFLEN=1\n");
  ASSERT_EQ(Open("d", path, 2), 0);
  const vl::Dict &dict = *vl::FirstDict();
  EXPECT_EQ(Describe(dict),
            "C A=AP\nC B=BP\n"
            "L COLOURS=red,green,blue\nL SIZES=S\nL WEIGHTS=kg\n"
            "S a.x PATH=x FTYP=T FFMT=LrcZtuvo FLEN=1\n"
            "S b.y PATH=y FTYP=T FFMT=LrcZtuvo FLEN=1\n");
  ASSERT_NE(vl::FindListEntry(dict, "colours"), nullptr);
  EXPECT_EQ(vl::FindListEntry(dict, "colours")->value, "red,green,blue");
  // Both sections' handles are attached, so both prefixes pass the catalog check.
  EXPECT_NE(vl::FindDlgID("D02AP"), nullptr);
  EXPECT_NE(vl::FindDlgID("D02BP"), nullptr);
}

// ---------------------------------------------------------------------------
// 2. Failed loads
// ---------------------------------------------------------------------------

struct FailCase {
  const char *id;
  std::string models;  // a model dictionary opened first (empty: none)
  std::string file;
  std::int32_t level;
  std::int32_t rc;
  vl::Status result;
  std::vector<std::string> trace;  // category D, levels 1 and 2
};

TEST_F(Dicts, FailedLoadsLeaveNothingBehind) {
  const std::string longItem = std::string(2000, 'x') + "=1\n";
  const FailCase cases[] = {
      {"no section at all", "", "PATH = p\n", 1, 1, vl::kOk, {}},
      {"unknown item", "", std::string(kCatalog) + "[ord.a]\nCOLOUR=red\n", 1, 1, vl::kOk,
       {"D1: ObSet(COLOUR) failed: unknown item, section 'ord.a'"}},
      {"a long line read in pieces", "", std::string(kCatalog) + "[ord.a]\nPATH=p\n" + longItem, 1, 1, vl::kOk,
       {"D1: ObSet(" + std::string(80, 'X') + ") failed: unknown item, section 'ord.a'"}},
      {"chain of 3,000 models", ModelChain(3000), std::string(kCatalog) + "[ord.a]\nPATH=p\nFTYP=T\nMODEL=m.c0\n", 1, 1,
       vl::kOk, {"D1: InheritObject() failed: inheritance nesting too deep or recursive, section 'ord.a'"}},
      {"sections without catalog handles", "",
       std::string(kCatalog) + "[nodot]\nPATH=p\nFTYP=T\nFLEN=1\n[ord.a]\nPATH=p\nFTYP=T\nFLEN=1\n"
                               "[inv.b]\nPATH=p\nFTYP=T\nFLEN=1\n",
       2, 1, vl::kReported,
       {"D1: AddDlgLevel() failed: missing prefix in section 'nodot'",
        "D1: AddDlgLevel() failed: prefix 'inv' not found in catalog, section 'inv.b'"}},
      {"empty item name", "", std::string(kCatalog) + "[ord.a]\nPATH=p\n = x\n", 1, 1, vl::kOk,
       {"D1: ObSet() failed: unknown item, section 'ord.a'"}},
      {"empty section name", "", std::string(kCatalog) + "[ ]\nPATH=p\nFTYP=T\nFLEN=1\n", 2, 1, vl::kReported,
       {"D1: AddDlgLevel() failed: missing prefix in section ''"}},
  };
  for (const FailCase &c : cases) {
    SCOPED_TRACE(c.id);
    vl::ResetForTest();
    ASSERT_EQ(vl::BuildLocale(), vl::kLocaleOk);
    int models = 0;
    if (!c.models.empty()) {
      ASSERT_EQ(Open("models", File("models.dic", c.models), -1), 0);
      models = 1;
    }
    const std::string path = File("case.dic", c.file);
    TraceCapture capture("D2");
    vl::Status result = vl::kOk;
    EXPECT_EQ(Open("d", path, c.level, &result), c.rc);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(TraceCapture::lines(), c.trace);
    EXPECT_EQ(DictCount(), models);
    EXPECT_EQ(vl::DlgLevelCount(), 0u);
    EXPECT_TRUE(SlotsFree());
  }
}

TEST_F(Dicts, FilesThatCannotBeRead) {
  EXPECT_EQ(Open("d", dir / "missing.dic", 1), -ENOENT);
  EXPECT_EQ(Open("d", dir.path().string(), 1), -EISDIR);
  // A fourth file while the reader's three slots are taken.
  const std::string path = File("d.dic", std::string(kCatalog) + "[ord.a]\nPATH=p\nFTYP=T\nFLEN=1\n");
  for (int i = 0; i < vl::kIniSlots; ++i) ASSERT_EQ(vl::IniOpen(path.c_str(), ""), i);
  EXPECT_EQ(Open("d", path, 1), -ENOSPC);
  EXPECT_EQ(DictCount(), 0);
  for (int i = 0; i < vl::kIniSlots; ++i) EXPECT_EQ(vl::IniHandleState(i), 0) << "the host's handles stay open";
  vl::IniCloseAll();
  EXPECT_EQ(Open("d", path, 1), 0);
}

// ---------------------------------------------------------------------------
// 3. Models
// ---------------------------------------------------------------------------

TEST_F(Dicts, ModelChains) {
  ASSERT_EQ(Open("models", File("m.dic", ModelChain(16) + "[m.t]\nFTYP=T\nFLEN=7\nDEFAULT=model\n"
                                                         "[m.x]\nFLEN=4\nMODEL=m.y\n[m.y]\nFTYP=T\nFLEN=5\nMODEL=m.z\n"
                                                         "[m.z]\nFLEN=6\nDEFAULT=far\n"),
                 -1),
            0);
  const std::string path = File("d.dic", std::string(kCatalog) +
                                             "[ord.a]\nPATH=p\nFTYP=T\nMODEL=m.c0\n"
                                             "[ord.b]\nPATH=p\nFTYP=N\nDEFAULT=own\nMODEL=M.T\n"
                                             "[ord.c]\nPATH=p\nMODEL=m.x\n");
  TraceCapture capture("D2");
  ASSERT_EQ(Open("d", path, 1), 0);
  EXPECT_TRUE(TraceCapture::lines().empty());
  const vl::Dict &dict = *vl::FindDict("d", vl::kDictOrdinary);
  // Sixteen models applied; the nearest one's FLEN wins; MODEL is not kept.
  EXPECT_EQ(vl::FindSection(dict, "ord.a")->obj.length, 1);
  EXPECT_EQ(vl::FindSection(dict, "ord.a")->obj.model, "");
  // The section's own items win over its model's.
  const vl::DictObj &b = vl::FindSection(dict, "ord.b")->obj;
  EXPECT_EQ(b.fldType, vl::FT_N);
  EXPECT_EQ(b.defValue, "own");
  EXPECT_EQ(b.length, 7);
  // A chain of three models is applied whole, the nearest model's item winning.
  const vl::DictObj &c = vl::FindSection(dict, "ord.c")->obj;
  EXPECT_EQ(c.length, 4);
  EXPECT_EQ(c.fldType, vl::FT_T);
  EXPECT_EQ(c.defValue, "far");
  // A model dictionary keeps its MODEL items and is neither inherited into nor checked.
  EXPECT_EQ(vl::FindSection(*vl::FindDict("models", vl::kDictModel), "m.c0")->obj.model, "m.c1");
}

TEST_F(Dicts, ReopenedModelIsReloaded) {
  const std::string models = File("m.dic", "[m.t]\nFTYP=T\nFLEN=7\n");
  ASSERT_EQ(Open("models", models, -1), 0);
  ASSERT_EQ(Open("d", File("d.dic", std::string(kCatalog) + "[ord.a]\nPATH=p\nMODEL=m.t\n"), 1), 0);
  WriteFile(models, "[m.t]\nFTYP=N\nFLEN=9\n");
  TraceCapture capture("D2");
  ASSERT_EQ(Open("MODELS", models, -5), 0);
  EXPECT_EQ(TraceCapture::lines(), std::vector<std::string>{"D2: OpenDict() warning: model dictionary 'MODELS' reopened"});
  EXPECT_EQ(DictCount(), 2);
  EXPECT_EQ(vl::FindSection(*vl::FindDict("models", vl::kDictModel), "m.t")->obj.length, 9);
  // What the ordinary dictionary copied stays.
  EXPECT_EQ(vl::FindSection(*vl::FindDict("d", vl::kDictOrdinary), "ord.a")->obj.length, 7);
  // An ordinary and a model dictionary may share an id.
  ASSERT_EQ(Open("d", models, -1), 0);
  EXPECT_EQ(DictCount(), 3);
}

// ---------------------------------------------------------------------------
// 4. Instances and closing
// ---------------------------------------------------------------------------

TEST_F(Dicts, SharedDictionaryIsReadOnceAndFreedWithItsLastLevel) {
  const std::string path = File("d.dic", std::string(kCatalog) + "[ord.a]\nPATH=p\nFTYP=T\nFLEN=1\n");
  ASSERT_EQ(Open("d", path, 1), 0);
  std::remove(path.c_str());  // not read again
  TraceCapture capture("D3");
  ASSERT_EQ(Open("D", path, 2), 0);
  EXPECT_EQ(TraceCapture::lines().back(), "D3: OpenDict(): id = d, instance_cnt = 2");
  ASSERT_EQ(Open("d", path, 2), 0);
  vl::Dict *dict = vl::FirstDict();
  EXPECT_EQ(dict->instance_cnt, 3);
  EXPECT_EQ(vl::DlgLevelCount(), 3u);

  vl::CloseDict(2);
  EXPECT_EQ(dict->instance_cnt, 1);
  EXPECT_EQ(vl::DlgLevelCount(), 1u);
  vl::CloseDict(1);
  EXPECT_EQ(DictCount(), 0);
}

TEST_F(Dicts, ClosingEveryLevelDropsEveryInstance) {
  const std::string a = File("a.dic", "[catalog]\nA=AP\n");
  const std::string b = File("b.dic", "[catalog]\nB=BP\n");
  ASSERT_EQ(Open("a", a, 1), 0);
  ASSERT_EQ(Open("b", b, 2), 0);
  ASSERT_EQ(Open("a", a, 3), 0);
  vl::CloseDict(-1);
  EXPECT_EQ(vl::DlgLevelCount(), 0u);
  EXPECT_EQ(DictCount(), 0) << "no dictionary stays without a level";

  TraceCapture capture("D2");
  vl::CloseDict(4);
  vl::CloseDict(-1);
  EXPECT_EQ(TraceCapture::lines(), (std::vector<std::string>{"D2: GetDlgDict() note: list is empty",
                                                             "D2: GetDlgDict() note: list is empty"}));
  ASSERT_EQ(Open("a", a, 1), 0);
  TraceCapture::lines().clear();
  vl::CloseDict(4);
  EXPECT_EQ(TraceCapture::lines(), std::vector<std::string>{"D1: GetDlgDict() failed: level 4 does not exist"});
  EXPECT_EQ(DictCount(), 1);
}

// ---------------------------------------------------------------------------
// 5. Exhausted memory
// ---------------------------------------------------------------------------

TEST_F(Dicts, MemoryRunsOutAtEveryAllocationOfALoad) {
  const std::string modelFile = File("m.dic", ModelChain(3) + "[m.n]\nFTYP=N\nFVTYP=D\nFLEN=5\n");
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    vl::FailAllocationsAfter(n);
    const std::int32_t rc = Open("models", modelFile, -1);
    vl::FailAllocationsAfter(-1);
    if (rc == 0) break;
    ASSERT_EQ(rc, -ENOMEM);
    ASSERT_EQ(DictCount(), 0);
    ASSERT_LT(n, 1000);
  }
  const std::string path = File("d.dic",
                                "[catalog]\nORD=ORDER\nCUST=CUSTOMER\n[list]\nA=1\nA=2\nB=3\n"
                                "[ord.a]\nPATH=p\nFTYP=T\nMODEL=m.c0\n[ord.b]\nPATH=q\nMODEL=m.n\n"
                                "[cust.c]\nPATH=r\nFTYP=D\nFVTYP=JJMT\n[ord.a]\nPATH=again\nFTYP=K\n");
  const vl::Dict *models = vl::FirstDict();
  int failures = 0;
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    vl::FailAllocationsAfter(n);
    const std::int32_t rc = Open("d", path, 1);
    vl::FailAllocationsAfter(-1);
    if (rc == 0) break;
    ++failures;
    ASSERT_EQ(rc, -ENOMEM);
    ASSERT_EQ(vl::FirstDict(), models);
    ASSERT_EQ(models->next, nullptr);
    ASSERT_EQ(vl::DlgLevelCount(), 0u);
    ASSERT_TRUE(SlotsFree());
    ASSERT_LT(n, 1000);
  }
  EXPECT_GT(failures, 20);
  EXPECT_EQ(DictCount(), 2);
  EXPECT_EQ(vl::FindSection(*vl::FirstDict(), "ord.b")->obj.length, 5);

  // Attaching the open dictionary to a further level.
  for (long n = 0;; ++n) {
    vl::FailAllocationsAfter(n);
    const std::int32_t rc = Open("d", path, 2);
    vl::FailAllocationsAfter(-1);
    if (rc == 0) break;
    ASSERT_EQ(rc, -ENOMEM);
    ASSERT_EQ(vl::DlgLevelCount(), 1u);
    ASSERT_EQ(vl::FirstDict()->instance_cnt, 1);
    ASSERT_EQ(vl::FindDlgID("D02ORDER"), nullptr);
  }
  EXPECT_EQ(vl::FirstDict()->instance_cnt, 2);

  // A new alias.
  std::string alias;
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(vl::NewDlgAlias("D02ORDER", alias), vl::kNoMemory);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(vl::GetDlgAlias("D02ORDER", 1, alias), vl::kNothing);
  EXPECT_EQ(vl::NewDlgAlias("D02ORDER", alias), vl::kOk);
  EXPECT_EQ(alias, "D02ORDER_1");
}

TEST_F(Dicts, MemoryRunsOutInTheCheckersLoad) {
  const std::string path = File("d.dic", std::string(kCatalog) + "[ord.a]\nPATH=p\nFTYP=Q\n[list]\nX=1\n");
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    TraceCapture capture("D1");
    vl::FailAllocationsAfter(n);
    const int status = vl::CheckDict("dict_01", path.c_str(), 1);
    vl::FailAllocationsAfter(-1);
    if (status != 3) {
      EXPECT_EQ(status, 0);
      break;
    }
    ASSERT_EQ(DictCount(), 0);
    ASSERT_EQ(vl::DlgLevelCount(), 0u);
    ASSERT_TRUE(SlotsFree());
    ASSERT_FALSE(TraceCapture::lines().empty());
    ASSERT_LT(n, 1000);
  }
  EXPECT_EQ(DictCount(), 1);
}

// ---------------------------------------------------------------------------
// 6. The checker's loader
// ---------------------------------------------------------------------------

TEST_F(Dicts, CheckerReportsEveryErrorOfAFile) {
  ASSERT_EQ(vl::CheckDict("model_00", File("m.dic", "[m.t]\nFTYP=T\nFLEN=3\n").c_str(), -1), 0);
  const std::string path = File("d.dic", std::string(kCatalog) +
                                             "[xx]\n"
                                             "[ord.a]\nPATH=p\nFREQ=2\nFTYP=T\nFLEN=1\n"
                                             "[ord.b]\nPATH=p\nMODEL=m.none\n"
                                             "[ord.c]\nFTYP=T\n"
                                             "[ord.d]\nPATH=p\nMODEL=m.t\n");
  TraceCapture capture("D2");
  EXPECT_EQ(vl::CheckDict("dict_01", path.c_str(), 1), 1);
  EXPECT_EQ(TraceCapture::lines(),
            (std::vector<std::string>{"D2: CheckDict() warning: obsolete section 'XX'",
                                      "D1: ObSetIdx(FREQ=2) failed: invalid value, section 'ord.a'",
                                      "D1: InheritObject() failed: unknown model 'm.none', section 'ord.b'",
                                      "D1: ObCheck() failed: missing PATH, section 'ord.c'"}));
  // Kept and linked, every section in it; the model section was applied.
  EXPECT_EQ(DictCount(), 2);
  const vl::Dict &dict = *vl::FirstDict();
  EXPECT_EQ(dict.id, "dict_01");
  EXPECT_EQ(vl::FindSection(dict, "ord.d")->obj.length, 3);
  EXPECT_NE(vl::FindSection(dict, "ord.c"), nullptr);
  EXPECT_NE(vl::FindDlgID("D01ORDER"), nullptr);
}

TEST_F(Dicts, CheckerStatuses) {
  TraceCapture capture("D1");
  EXPECT_EQ(vl::CheckDict("dict_01", (dir / "none.dic").c_str(), 1), 2);
  EXPECT_EQ(TraceCapture::lines().back(), "D1: CheckDict() failed: cannot open file '" + dir / "none.dic" + "'");
  // Without sections: an empty dictionary, attached to its level.
  EXPECT_EQ(vl::CheckDict("dict_01", File("e.dic", "; nothing\n").c_str(), 1), 0);
  EXPECT_EQ(DictCount(), 1);
  EXPECT_EQ(vl::DlgLevelCount(), 1u);
  // Every call makes a record of its own, also under the same id.
  EXPECT_EQ(vl::CheckDict("dict_01", File("e.dic", "; nothing\n").c_str(), 1), 0);
  EXPECT_EQ(DictCount(), 2);
  // A level rule that fails frees the record.
  EXPECT_EQ(vl::CheckDict("dict_02", File("p.dic", "[catalog]\nA=AP\n[b.x]\nPATH=p\nFTYP=T\nFLEN=1\n").c_str(), 1), 3);
  EXPECT_EQ(vl::CheckDict("dict_02", File("p.dic", "[catalog]\nA=AP\n").c_str(), 0), 3);
  EXPECT_EQ(DictCount(), 2);
  EXPECT_TRUE(SlotsFree());
}

// ---------------------------------------------------------------------------
// 7. Dialog levels, handles and aliases
// ---------------------------------------------------------------------------

std::vector<std::string> DialogIds(const char *dictId, std::int32_t level) {
  std::vector<std::string> ids;
  std::string name, id;
  for (std::int32_t n = 0; vl::GetDlgID(dictId, level, n, name, id) == vl::kOk; ++n) ids.push_back(name + "=" + id);
  return ids;
}

TEST_F(Dicts, DialogIdsNewestHandleFirst) {
  const std::string ab = File("ab.dic", "[catalog]\nA=AP\nB=BP\n[a.x]\nPATH=p\nFTYP=T\nFLEN=1\n");
  const std::string c = File("c.dic", "[catalog]\nC=CP\n");
  ASSERT_EQ(Open("ab", ab, 2), 0);
  EXPECT_EQ(DialogIds("ab", 2), (std::vector<std::string>{"BP=D02BP", "AP=D02AP"}));
  ASSERT_EQ(Open("c", c, 2), 0);
  ASSERT_EQ(Open("ab", ab, 3), 0);
  EXPECT_EQ(DialogIds("", 2), (std::vector<std::string>{"BP=D03BP", "AP=D03AP", "CP=D02CP", "BP=D02BP", "AP=D02AP"}));
  EXPECT_EQ(DialogIds("AB", -1), (std::vector<std::string>{"BP=D03BP", "AP=D03AP"}));
  EXPECT_EQ(DialogIds("c", 0), std::vector<std::string>{"CP=D02CP"});
  {
    // A negative index finds nothing, yet every record searched is examined.
    TraceCapture capture("D3");
    std::string name, id;
    EXPECT_EQ(vl::GetDlgID("c", 2, -1, name, id), vl::kNothing);
    EXPECT_EQ(TraceCapture::lines(), (std::vector<std::string>{
                                         "D3: GetDlgID(): level 2, dict_id 'c', record of dict 'ab'",
                                         "D3: GetDlgID(): level 2, dict_id 'c', record of dict 'c'",
                                         "D3: GetDlgID(): level 2, dict_id 'c', record of dict 'ab'"}));
  }
  // Beyond level 99 the name is still the prefix.
  ASSERT_EQ(Open("c", c, 100), 0);
  EXPECT_EQ(DialogIds("c", 100), std::vector<std::string>{"CP=D100CP"});
  EXPECT_TRUE(DialogIds("", 101).empty());
}

TEST_F(Dicts, LevelRules) {
  const std::string a = File("a.dic", "[catalog]\nA=AP\n[a.x]\nPATH=p\nFTYP=T\nFLEN=1\n");
  // Sections of b name the handle that a put on the same level.
  const std::string b = File("b.dic", "[catalog]\nB=BP\n[a.y]\nPATH=p\nFTYP=T\nFLEN=1\n");
  ASSERT_EQ(Open("a", a, 2), 0);
  ASSERT_EQ(Open("b", b, 2), 0);
  TraceCapture capture("D1");
  vl::Status result = vl::kOk;
  EXPECT_EQ(Open("a", a, 1, &result), 99) << "rc stays as it was";
  EXPECT_EQ(result, vl::kReported);
  EXPECT_EQ(TraceCapture::lines(), std::vector<std::string>{"D1: AddDlgLevel() failed: level is out of phase"});

  // c's check fails where a's records lie: only c's new record goes.
  vl::CloseDict(2);
  ASSERT_EQ(Open("a", a, 2), 0);
  const std::string c = File("c.dic", "[catalog]\nC=CP\n[z.y]\nPATH=p\nFTYP=T\nFLEN=1\n");
  EXPECT_EQ(Open("c", c, 2, &result), 1);
  EXPECT_EQ(result, vl::kReported);
  EXPECT_EQ(vl::DlgLevelCount(), 1u);
  EXPECT_NE(vl::FindDlgID("D02AP"), nullptr) << "the other dictionary's level record stays";
  EXPECT_EQ(vl::FindDlgID("D02CP"), nullptr);
  EXPECT_NE(vl::MapDlgHandle("a"), nullptr);
}

TEST_F(Dicts, MappingHandlesSearchesTheTopLevelOnly) {
  ASSERT_EQ(Open("a", File("a.dic", "[catalog]\nA=AP\nK=K1\n"), 1), 0);
  ASSERT_EQ(Open("b", File("b.dic", "[catalog]\nB=BP\nK=K2\nK=K3\n"), 2), 0);
  ASSERT_NE(vl::MapDlgHandle("k"), nullptr);
  EXPECT_EQ(*vl::MapDlgHandle("k"), "D02K3") << "the handle made last comes first";
  EXPECT_EQ(*vl::MapDlgHandle("B"), "D02BP");
  EXPECT_EQ(vl::MapDlgHandle("A"), nullptr);
  vl::CloseDict(2);
  EXPECT_EQ(*vl::MapDlgHandle("K"), "D01K1");
}

TEST_F(Dicts, AliasesLeadToTheirDialog) {
  ASSERT_EQ(Open("d", File("d.dic", "[catalog]\nA=AP\nB=BP\n"), 2), 0);
  std::string alias;
  for (int i = 1; i <= 9; ++i) ASSERT_EQ(vl::NewDlgAlias("d02ap", alias), vl::kOk);
  EXPECT_EQ(alias, "d02ap_9") << "made from the id as given";
  const vl::DlgHandle *handle = vl::FindDlgID("D02AP");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->hdl, "A");
  EXPECT_EQ(vl::FindDlgID("D02AP_9"), handle);
  EXPECT_EQ(vl::NewDlgAlias("D02AP_1", alias), vl::kReported) << "an alias is no dialog id";

  // After a deletion the next alias repeats a name in use; each copy goes on its own.
  EXPECT_EQ(vl::DelDlgAlias("D02AP_2"), vl::kOk);
  EXPECT_EQ(vl::NewDlgAlias("D02AP", alias), vl::kOk);
  EXPECT_EQ(alias, "D02AP_9");
  EXPECT_EQ(vl::DelDlgAlias("d02ap_9"), vl::kOk);
  EXPECT_EQ(vl::FindDlgID("D02AP_9"), handle) << "the other copy stays";
  EXPECT_EQ(vl::DelDlgAlias("D02AP_9"), vl::kOk);
  EXPECT_EQ(vl::DelDlgAlias("D02AP_9"), vl::kReported);
  EXPECT_EQ(vl::FindDlgID("D02AP_9"), nullptr);
  vl::CloseDict(2);
  EXPECT_EQ(vl::FindDlgID("D02AP_1"), nullptr) << "aliases go with their level";
}

TEST_F(Dicts, IdsOfTheTopmostLevelAreFoundFirst) {
  // Two dictionaries whose prefixes give the same dialog id on one level.
  ASSERT_EQ(Open("a", File("a.dic", "[catalog]\nA=X\n"), 1), 0);
  ASSERT_EQ(Open("b", File("b.dic", "[catalog]\nB=X\n"), 1), 0);
  ASSERT_NE(vl::FindDlgID("D01X"), nullptr);
  EXPECT_EQ(vl::FindDlgID("D01X")->record->dict->id, "b");
  std::string alias;
  ASSERT_EQ(vl::NewDlgAlias("D01X", alias), vl::kOk);
  EXPECT_EQ(vl::FindDlgID("D01X_1")->hdl, "B");
}

// ---------------------------------------------------------------------------
// 8. Look-ups and the packed dictionary
// ---------------------------------------------------------------------------

TEST_F(Dicts, SectionLookups) {
  ASSERT_EQ(Open("d", File("d.dic", "[catalog]\nORD=O\nOR=P\n"
                                    "[ord.a]\nPATH=1\nFTYP=T\nFLEN=1\n[or.b]\nPATH=2\nFTYP=T\nFLEN=1\n"
                                    "[ORD.A]\nPATH=3\nFTYP=T\nFLEN=1\n[ord.ab]\nPATH=4\nFTYP=T\nFLEN=1\n"),
                 1),
            0);
  const vl::Dict &dict = *vl::FirstDict();
  const auto path = [](const vl::DictSection *s) { return s != nullptr ? s->obj.path : std::string("none"); };
  EXPECT_EQ(path(vl::FindSection(dict, "")), "1");
  EXPECT_EQ(path(vl::FindSection(dict, "Ord.A")), "1");
  EXPECT_EQ(path(vl::NextSection(vl::FindSection(dict, "ord.a"), "ord.a")), "3");
  EXPECT_EQ(path(vl::NextSection(vl::FindSection(dict, "or.b"), "ord.a")), "3");
  EXPECT_EQ(path(vl::NextSection(vl::NextSection(vl::FindSection(dict, "ord.a"), "ord.a"), "ord.a")), "none");
  EXPECT_EQ(path(vl::FindSection(dict, "ord.x")), "none");
  // With a count: a prefix of that many characters; a count beyond the name asks
  // for the whole name.
  EXPECT_EQ(path(vl::FindSection(dict, "or.", 3)), "2");
  EXPECT_EQ(path(vl::FindSection(dict, "ord.", 4)), "1");
  EXPECT_EQ(path(vl::NextSection(vl::FindSection(dict, "ord.a"), "ord.", 4)), "3");
  const vl::DictSection *third = vl::NextSection(vl::FindSection(dict, "ord.a"), "ORD.A");
  EXPECT_EQ(path(vl::NextSection(third, "ord.", 4)), "4");
  EXPECT_EQ(path(vl::FindSection(dict, "ord.ab", 5)), "1");
  EXPECT_EQ(path(vl::FindSection(dict, "ord.ab", 7)), "4");
  EXPECT_EQ(path(vl::NextSection(vl::FindSection(dict, "ord.a"), "")), "2");
}

// The PATH of every section in list order, and what the look-ups by name find.
std::string Order(const vl::Dict &dict) {
  std::string out;
  for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) out += s->obj.path;
  return out;
}
// The paths of dialog A's chain of sections ("?" for one taken out).
std::string DialogOrder(const vl::Dict &dict) {
  std::string out;
  for (const vl::DictSection *s = vl::FirstDialogSection(dict, "A"); s != nullptr; s = vl::NextDialogSection(*s, "A")) {
    out += s->obj.path.empty() ? "?" : s->obj.path;
  }
  return out;
}
std::string Sections(const vl::Dict &dict) {
  std::string out = Order(dict) + " a.x:";
  for (const vl::DictSection *s = vl::FindSection(dict, "a.x"); s != nullptr; s = vl::NextSection(s, "a.x")) {
    out += s->obj.path;
  }
  return out + " last:" + (dict.lastSection != nullptr ? dict.lastSection->obj.path : std::string("-"));
}

TEST_F(Dicts, RemovedSectionsLeaveTheListAndTheIndex) {
  std::string text = "[catalog]\nA=AP\n";
  for (const char *section : {"a.x]\nPATH=1", "a.y]\nPATH=2", "A.X]\nPATH=3", "a.z]\nPATH=4"})
    text += std::string("[") + section + "\nFTYP=T\nFLEN=1\n";
  const std::string path = File("d.dic", text);
  struct Case {
    const char *remove;  // PATHs of the sections taken out, in order
    const char *after;   // Sections() then
  };
  const Case cases[] = {
      {"1", "234 a.x:3 last:4"}, {"3", "124 a.x:1 last:4"},  {"4", "123 a.x:13 last:3"},
      {"13", "24 a.x: last:4"},  {"2", "134 a.x:13 last:4"}, {"4321", " a.x: last:-"},
  };
  // How the section before the one taken out is given: right, left out, wrong.
  for (const int hint : {0, 1, 2}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(std::string(c.remove) + " hint " + std::to_string(hint));
      vl::CloseAllDicts();
      ASSERT_EQ(Open("d", path, 1), 0);
      vl::Dict &dict = *vl::FirstDict();
      for (const char *p = c.remove; *p != '\0'; ++p) {
        vl::DictSection *before = nullptr;
        vl::DictSection *section = dict.sections;
        while (section->obj.path != std::string(1, *p)) before = std::exchange(section, section->next);
        dict.cursor = section;
        const std::array<vl::DictSection *, 3> hints = {before, nullptr, section};
        ASSERT_EQ(vl::RemoveSection(dict, *section, hints[static_cast<std::size_t>(hint)]), vl::kOk);
        EXPECT_EQ(dict.cursor, before);  // a walk goes on with the section after it
        EXPECT_EQ(vl::RemoveSection(dict, *section), vl::kNothing);
      }
      EXPECT_EQ(Sections(dict), c.after);
      EXPECT_EQ(DialogOrder(dict), Order(dict));
      // A section appended later follows the last one left, in the dialog too.
      const std::string order = Order(dict);
      vl::AppendSection(dict, "a.x").obj.path = "5";
      EXPECT_EQ(Order(dict), order + "5");
      EXPECT_EQ(DialogOrder(dict), order + "5");
    }
  }
}

// The indexes by name against a walk of the list, while sections are taken out
// in a scrambled order and others are added: each name (any case) finds the
// sections left with it in list order, each prefix the sections left of its
// dialog in list order. Names repeat, some are longer than an index keeps with
// its entries.
TEST_F(Dicts, IndexesAgreeWithTheListWhileSectionsComeAndGo) {
  vl::Dict dict;
  std::vector<vl::DictSection *> made;
  const auto append = [&] {
    const int i = static_cast<int>(made.size());
    const std::string prefix = "p" + std::string(static_cast<std::size_t>(i % 7), 'x');
    const std::string field = (i % 5 == 0 ? "a_field_name_longer_than_the_index_keeps_" : "f") + std::to_string(i % 10);
    vl::DictSection &section = vl::AppendSection(dict, prefix + "." + field);
    section.obj.path = std::to_string(i);
    made.push_back(&section);
  };
  using Sections = std::vector<const vl::DictSection *>;
  const auto agree = [&] {
    std::map<std::string, Sections> byName, byPrefix;
    for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) {
      byName[s->section].push_back(s);
      byPrefix[s->section.substr(0, s->section.find('.'))].push_back(s);
    }
    for (const vl::DictSection *s : made) {  // every name made, left or not
      std::string upper = s->section;
      for (char &c : upper) c = vl::AsciiUpper(c);
      Sections found;
      for (const vl::DictSection *f = vl::FindSection(dict, upper); f != nullptr; f = vl::NextSection(f, upper)) {
        found.push_back(f);
      }
      if (found != byName[s->section]) return "name " + s->section;
      const std::string prefix = upper.substr(0, upper.find('.'));
      Sections dialog;
      for (const vl::DictSection *f = vl::FirstDialogSection(dict, prefix); f != nullptr;
           f = vl::NextDialogSection(*f, prefix)) {
        dialog.push_back(f);
      }
      if (dialog != byPrefix[s->section.substr(0, prefix.size())]) return "prefix " + prefix;
    }
    return std::string();
  };
  for (int i = 0; i < 160; ++i) append();
  std::vector<vl::DictSection *> order = made;
  std::shuffle(order.begin(), order.end(), std::mt19937(3));
  ASSERT_EQ(agree(), "");
  for (std::size_t k = 0; k < order.size(); ++k) {
    SCOPED_TRACE(order[k]->obj.path);
    ASSERT_EQ(vl::RemoveSection(dict, *order[k]), vl::kOk);
    if (k % 4 == 0) append();
    ASSERT_EQ(agree(), "");
  }
}

TEST_F(Dicts, RemovedModelSectionIsNoLongerInherited) {
  ASSERT_EQ(Open("m", File("m.dic", "[m.t]\nFLEN=3\n[m.t]\nFLEN=5\n"), -1), 0);
  const std::string dict = File("d.dic", "[catalog]\nA=AP\n[a.f]\nPATH=f\nFTYP=T\nMODEL=m.t\n");
  vl::Dict &model = *vl::FindDict("m", vl::kDictModel);
  ASSERT_EQ(vl::RemoveSection(model, *model.sections), vl::kOk);
  ASSERT_EQ(Open("d", dict, 1), 0);
  EXPECT_EQ(vl::FindDict("d", vl::kDictOrdinary)->sections->obj.length, 5);
  vl::CloseDict(1);
  TraceCapture capture("D1");
  ASSERT_EQ(vl::RemoveSection(model, *model.sections), vl::kOk);
  EXPECT_EQ(Open("d", dict, 1), 1);
  EXPECT_EQ(TraceCapture::lines(),
            std::vector<std::string>{"D1: InheritObject() failed: unknown model 'm.t', section 'a.f'"});
}

TEST_F(Dicts, DumpShowsItemTextsInFull) {
  const std::string path40(40, 'p');
  ASSERT_EQ(Open("d", File("d.dic", "[catalog]\nA=AP\n[a.x]\nPATH=" + path40 + "\nFTYP=T\nFLEN=1\n"), 1), 0);
  TraceCapture capture("D1");
  vl::DumpDict("D01AP", "X");
  const std::vector<std::string> &lines = TraceCapture::lines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[1], "D0: Dump of dict=d, section [A.X]:");
  EXPECT_EQ(lines[3], "D0:   PATH             [" + path40 + "]");
}

std::string Stream() {
  const vl::CsdxState &s = vl::csdxBuf();
  return s.buffer != nullptr ? std::string(s.buffer.get(), s.size) : "(none)";
}

TEST_F(Dicts, PackedDictionary) {
  const std::string path = File("d.dic", "[catalog]\nA=AP\n[a.x]\nPATH=p\nFTYP=N\nFLEN=10\nFMIN=0.5\nFREQ=0\n");
  ASSERT_EQ(Open("d", path, 1), 0);
  ASSERT_EQ(vl::PackDictDX(*vl::FirstDict(), 7), vl::kOk);
  EXPECT_EQ(Stream(),
            "R1~000105~D1~d1~7~C1~A2~APS3~a.xI4~PATH1~pI7~OBJTYPE2~ETI4~FTYP1~NI4~FFMT7~lRbzTPgI4~FLEN2~10I4~FMIN3~0.5");
  // A shared dictionary: its header only.
  ASSERT_EQ(Open("d", path, 2), 0);
  ASSERT_EQ(vl::PackDictDX(*vl::FirstDict(), 2), vl::kOk);
  EXPECT_EQ(Stream(), "R1~000018~D1~d2~2~");

  TraceCapture capture("D1");
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(vl::PackDictDX(*vl::FirstDict(), 2), vl::kNoMemory);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(Stream(), "(none)");
  EXPECT_EQ(TraceCapture::lines(), std::vector<std::string>{"D1: dict_PackDX() failed: heap overflow"});
}

}  // namespace
