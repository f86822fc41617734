// Test plan for field access, filtered lists, derive and update (dictutil,
// dictkrnl, the dict_ host functions), where a table says more than a host
// script; the golden cases dict-access, dict-filters, dict-filters-bad,
// dict-format, dict-update and dict-close-frames show the rest:
//   1. access.now        "$DATE" and "$TIME" by the pinned clock, per field type
//   2. access.names      the names variables are written back under
//   3. access.derive     a copy keeps every value of its source exactly; the update's trace
//   4. access.memory     exhausted memory at every allocation of each operation:
//                        the specified result, and nothing changed by a failure
//   5. access.vectors    lengths that lie, functions without arguments
//   6. access.ahead      entries out of order add what they add one at a time
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "dict.h"
#include "dict_host.h"
#include "dict_int.h"
#include "format_host.h"
#include "testutil.h"
#include "vlabi.h"

namespace {

using vltest::HostBuf;

const char kDictionary[] =
    "[catalog]\nA = AP\n[list]\nL = x\n"
    "[a.date]\nPATH = p\nFTYP = D\nFVTYP = GREG\n"
    "[a.week]\nPATH = p\nFTYP = K\nFVTYP = KW\n"
    "[a.day]\nPATH = p\nFTYP = K\n"
    "[a.hm60]\nPATH = p\nFTYP = Z\nFVTYP = HM60\n"
    "[a.hm100]\nPATH = p\nFTYP = Z\nFVTYP = HM100\n"
    "[a.box]\nPATH = p\nOBJTYPE = CB\nFMIN = 0.1234567890123\nFMAX = 1e300\n";

class Access : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    vltest::WriteFile(dir_ / "a.dic", kDictionary);
    ASSERT_EQ(dll_SetLocale(""), 0);
    Open(1);
  }
  void Open(int level) {
    std::int32_t rc = 0;
    ASSERT_EQ(dict_Open("a", (dir_ / "a.dic").c_str(), level, &rc), 0);
    ASSERT_EQ(rc, 0);
  }
  // The formatted value of field `name` for `value`, through the format filter.
  static std::string Formatted(const std::string &name, const std::string &value) {
    std::int32_t eof = 0;
    EXPECT_EQ(dict_VarFilterInit("D01AP", name.c_str(), value.c_str(), &eof), 0);
    EXPECT_EQ(dict_FilterInit("format"), 0);
    HostBuf xdict(1024), val(64);
    EXPECT_EQ(dict_FilterNext(&xdict, &val, &eof), 0);
    EXPECT_EQ(dict_FilterFree(), 0);
    return val.str();
  }
  vltest::TempDir dir_;
};

// ---------------------------------------------------------------------------
// 1. "$DATE" and "$TIME"
// ---------------------------------------------------------------------------

std::time_t pinned = 0;

TEST_F(Access, NowByThePinnedClock) {
  const char *tz = std::getenv("TZ");
  const std::string oldTz = tz != nullptr ? tz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  vl::SetClockForTest([] { return pinned; });
  struct Case {
    std::time_t now;
    const char *field;
    const char *value;
    const char *shown;
  } cases[] = {
      {1796646610, "date", "$DATE", "07.12.26"},   // Monday 7 December 2026, 12:30:10
      {1796646610, "date", "$date", "07.12.26"},
      {1796646610, "week", "$DATE", "50/26"},      // the week format for KW
      {1796646610, "day", "$Date", "07.12.26"},    // the date format otherwise
      {1796646610, "hm60", "$TIME", "12:30"},      // 1250 hundredths
      {1796646610, "hm100", "$time", "12.50"},
      {1796648380, "hm60", "$TIME", "12:59"},      // 12:59:40: 1299 hundredths
      {1796648380, "hm100", "$TIME", "12.99"},
      {1796646610, "date", "$DATEX", ""},          // not the keyword: the integer 0, no date
      {1796646610, "hm60", "$NOW", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.field) + " " + c.value);
    pinned = c.now;
    EXPECT_EQ(Formatted(c.field, c.value), c.shown);
  }
  if (tz != nullptr) setenv("TZ", oldTz.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

// ---------------------------------------------------------------------------
// 2. Names written back
// ---------------------------------------------------------------------------

TEST_F(Access, RealNames) {
  struct Case {
    const char *section;
    int result;
    const char *name;
    std::int32_t index;
  } cases[] = {
      {"a.amount__2", 0, "amount", 2},
      {"a.amount__0017", 0, "amount", 17},
      {"a.x__5", 0, "x", 5},
      {"a.__5", 0, "__5", 0},                      // nothing before the "__"
      {"a.amount_2", 0, "amount_2", 0},
      {"a.amount__", 0, "amount__", 0},
      {"a.amount__999999999", 0, "amount", 999999999},
      {"a.amount__1234567890", 0, "amount__1234567890", 0},  // beyond what a reader takes back
      {"a.b.c__3", 0, "b.c", 3},
      {"nodot", -2, "", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.section);
    vl::DictSection section;
    section.section = c.section;
    std::string name;
    std::int32_t index = -1;
    EXPECT_EQ(vl::VarRealName(section, name, index), c.result);
    if (c.result == 0) {
      EXPECT_EQ(name, c.name);
      EXPECT_EQ(index, c.index);
    }
  }
}

// ---------------------------------------------------------------------------
// 3. Derived copies
// ---------------------------------------------------------------------------

TEST_F(Access, CopyKeepsEveryValue) {
  Open(2);
  vl::Dict &source = *vl::FindDict("a", vl::kDictOrdinary);
  vl::Dict *copy = vl::DeriveDict(source);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy, &source);
  EXPECT_EQ(copy->kind, vl::kDictDerived);
  EXPECT_EQ(copy->instance_cnt, 1);
  EXPECT_EQ(source.instance_cnt, 1);
  EXPECT_EQ(vl::FirstDict(), copy);
  ASSERT_NE(vl::FindListEntry(*copy, "l"), nullptr);
  EXPECT_EQ(vl::FindListEntry(*copy, "l")->value, "x");
  ASSERT_EQ(copy->catalog.size(), 1u);
  const vl::DictSection *s = source.sections;
  const vl::DictSection *c = copy->sections;
  for (; s != nullptr && c != nullptr; s = s->next, c = c->next) {
    SCOPED_TRACE(s->section);
    EXPECT_EQ(c->section, s->section);
    EXPECT_EQ(c->obj.flags, s->obj.flags);
    // The values themselves, not their 12-digit text forms; and the field type
    // that OBJTYPE forced.
    EXPECT_EQ(c->obj.minimum, s->obj.minimum);
    EXPECT_EQ(c->obj.maximum, s->obj.maximum);
    EXPECT_EQ(c->obj.fldType, s->obj.fldType);
    EXPECT_EQ(c->obj.fieldFormat, s->obj.fieldFormat);
    EXPECT_EQ(vl::FirstDialogSection(*copy, "A") != nullptr, true);
  }
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(c, nullptr);
}

TEST_F(Access, UpdateTracesTheSectionNameItLooksFor) {
  HostBuf update(256, "XDict_fld~0~3~BOXNDict_max~0~1~9$");
  vltest::TraceCapture capture("D3");
  EXPECT_EQ(dict_Update("D01AP", &update), 0);
  const std::vector<std::string> &lines = vltest::TraceCapture::lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "D3: UpdateDict(): updating section 'A.BOX'"), lines.end());
}

// ---------------------------------------------------------------------------
// 4. Exhausted memory
// ---------------------------------------------------------------------------

// Everything a host sees of the dictionaries and the lists.
std::string State() {
  std::string out;
  std::string name, value;
  for (const vl::Dict *d = vl::FirstDict(); d != nullptr; d = d->next) {
    out += d->id + " kind " + std::to_string(d->kind) + " count " + std::to_string(d->instance_cnt) + "\n";
    for (const vl::DictSection *s = d->sections; s != nullptr; s = s->next) {
      for (int i = 0; vl::ObGetIdx(s->obj, i, name, value) >= 0; ++i) out += " " + name + "=" + value;
      out += "\n";
    }
  }
  for (int level = 1; level <= 2; ++level) {
    const vl::Dict *d = vl::GetDlgDict(level, 0);
    out += "level " + std::to_string(level) + ": " + (d != nullptr ? d->id + std::to_string(d->kind) : "-") + "\n";
  }
  HostBuf xbuf(4096);
  out += "depth " + std::to_string(vl::VarDepth()) + " list " + std::to_string(dict_FilterToXbuf(&xbuf)) + " " +
         xbuf.str() + "\n";
  return out;
}

TEST_F(Access, ExhaustedMemoryGivesTheSpecifiedResult) {
  Open(2);
  struct Case {
    const char *name;
    std::function<void()> before;        // with memory
    std::function<std::int32_t()> call;  // with memory failing after n checks
    std::int32_t failure;                // its result when memory ran out
    bool unchanged;                      // a failure leaves State() as it was
  };
  std::int32_t eof = 0;
  HostBuf values(256, "Xhm60~0~4~1250Xdate~0~5~20065Xbox~0~1~1$");
  HostBuf shuffled(256, "Xbox~0~1~2Xhm60~0~4~1200Xnone~0~1~3$");
  HostBuf update(256, "XDict_fld~0~3~boxXDict_path~0~3~newNDict_max~0~1~9$");
  HostBuf again(256, "XDict_fld~0~3~boxXDict_path~0~5~againNDict_max~0~1~7$");
  HostBuf xdict(1024), val(64);
  const Case cases[] = {
      {"XBUF list", nullptr, [&] { return dict_XbufFilterInit("D02AP", &values, &eof); }, 2, true},
      {"every field", nullptr, [&] { return dict_ListFilterInit("D02AP", "*", &eof); }, 2, true},
      {"named fields", nullptr, [&] { return dict_ListFilterInit("D02AP", "box,date", &eof); }, 2, true},
      {"one field", nullptr, [&] { return dict_VarFilterInit("D02AP", "box", "1", &eof); }, 2, true},
      {"values added", [&] { dict_XbufFilterInit("D02AP", &values, &eof); },
       [&] { return dict_XbufFilterAdd("D02AP", &shuffled); }, 2, false},
      {"a walk", [&] { dict_XbufFilterInit("D02AP", &values, &eof), dict_FilterInit("format"); },
       [&] { return dict_FilterNext(&xdict, &val, &eof); }, 2, false},
      {"a new value", [&] { dict_VarFilterInit("D02AP", "box", "1", &eof), dict_FilterInit(""), dict_FilterNext(&xdict, &val, &eof); },
       [&] { return dict_FilterSetValue("a value longer than a short string's room"); }, 2, false},
      {"the list back", [&] { dict_XbufFilterInit("D02AP", &values, &eof); },
       [&] { return dict_FilterToXbuf(&xdict); }, 2, true},
      {"a packed field", nullptr, [&] { return dict_Get("D02AP", "box", &xdict); }, 0, true},
      {"an update with a copy", nullptr, [&] { return dict_Update("D02AP", &update); }, 19, true},
      {"an update in place", [&] { dict_Close(2), Open(2), dict_Update("D02AP", &update); },
       [&] { return dict_Update("D02AP", &again); }, 19, true},
  };
  for (const Case &c : cases) {
    int failed = 0;
    for (long n = 0; n < 400; ++n) {
      SCOPED_TRACE(std::string(c.name) + " failing after " + std::to_string(n));
      while (vl::VarDepth() > 0) dict_FilterFree();
      if (c.before) c.before();
      const std::string before = State();
      vl::FailAllocationsAfter(n);
      const std::int32_t result = c.call();
      vl::FailAllocationsAfter(-1);
      ASSERT_TRUE(result == 0 || result == c.failure) << result;
      if (result == 0) continue;
      ++failed;
      if (c.unchanged) {
        EXPECT_EQ(State(), before);
      }
    }
    EXPECT_EQ(failed > 0, c.failure != 0) << c.name;
  }
  // The last runs had memory enough: every operation did its work.
  EXPECT_EQ(vl::FindDict("a", vl::kDictOrdinary)->instance_cnt, 1);
  EXPECT_EQ(vl::GetDlgDict(2, 0)->kind, vl::kDictDerived);
}

// ---------------------------------------------------------------------------
// 5. Vectors
// ---------------------------------------------------------------------------

TEST_F(Access, LengthsThatLie) {
  std::int32_t eof = 0;
  // A length beyond the room counts only the room: the entry is cut short.
  char bytes[] = "Xbox~0~1~1$";
  HostString beyond{6, 500, bytes};
  EXPECT_EQ(dict_XbufFilterInit("D01AP", &beyond, &eof), 204);
  HostString negative{11, -3, bytes};
  EXPECT_EQ(dict_XbufFilterInit("D01AP", &negative, &eof), 0);
  EXPECT_EQ(eof, 1);
  HostString null{11, 11, nullptr};
  EXPECT_EQ(dict_Update("D01AP", &null), 19);
  EXPECT_EQ(vl::VarDepth(), 0);
}

TEST_F(Access, FunctionsWithoutArgumentsReadNoVector) {
  EXPECT_EQ(VlCall(73, nullptr), 19);  // dict_FilterFree: no list started
  EXPECT_EQ(VlCall(50, nullptr), 0);   // dict_CloseAll
  EXPECT_EQ(vl::FirstDict(), nullptr);
}

// ---------------------------------------------------------------------------
// 6. Entries out of order
// ---------------------------------------------------------------------------

// What an XBUF adds to a new list (mode 0) or to the list of every field (mode
// 1), given whole or one entry at a time: the list written back, the result,
// and the trace.
std::string Added(int mode, const std::vector<std::string> &xbufs) {
  std::int32_t eof = 0;
  if (mode == 0) EXPECT_EQ(vl::VarPush(), vl::kOk);
  else EXPECT_EQ(dict_ListFilterInit("D01AP", "*", &eof), 0);
  vltest::TraceCapture capture("D3");
  std::string out;
  for (const std::string &xbuf : xbufs) out += std::to_string(vl::VarXBUF("D01AP", xbuf, mode)) + " ";
  char list[4096];
  std::size_t length = 0;
  EXPECT_EQ(vl::VarWriteXBUF(list, sizeof list, length), vl::kOk);
  out += std::string(list, length) + "\n" + capture.Joined();
  EXPECT_EQ(vl::VarFree(), vl::kOk);
  return out;
}

// Once the entries come out of the dictionary's order they are looked up ahead,
// sixteen at a time: they add what they add one at a time, with repeated
// fields, unknown and indexed ones, and up to a corrupt entry.
TEST_F(Access, EntriesOutOfOrderAddWhatTheyAddOneAtATime) {
  const char *fields[] = {"box", "hm60", "nothing", "date", "box", "week", "hm100", "day"};
  std::vector<std::string> entries;
  std::string whole;
  for (int i = 0; i < 40; ++i) {
    const std::string value = std::to_string(i);
    const std::string index = i % 9 == 4 ? "2" : "0";  // box__2 and the like: no such field
    entries.push_back("X" + std::string(fields[(i * 5) % 8]) + "~" + index + "~" + std::to_string(value.size()) + "~" +
                      value + "$");
    whole += entries.back().substr(0, entries.back().size() - 1);
  }
  const std::string corrupt = "Xbad~0~x~1$";
  for (const int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    std::vector<std::string> one = entries;
    std::string expected = Added(mode, one);
    expected.replace(0, 2 * one.size(), "0 ");  // one result for the whole
    EXPECT_EQ(Added(mode, {whole + "$"}), expected);

    one.push_back(corrupt);
    expected = Added(mode, one);
    const std::string cut = "D1: VarXBUF(): buffer corrupt (3), offset=";
    ASSERT_NE(expected.find(cut + "0\n"), std::string::npos);
    expected.replace(expected.find(cut + "0\n"), cut.size() + 2, cut + std::to_string(whole.size()) + "\n");
    expected.replace(0, 2 * entries.size() + 3, "-5 ");
    EXPECT_EQ(Added(mode, {whole + corrupt}), expected);
  }
}

}  // namespace
