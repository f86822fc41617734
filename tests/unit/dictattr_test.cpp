// Test plan for field definition items (dictattr), linked with the host-free core
// only:
//   1. items.set     one row per item and kind of value: the result, the text the
//                    item then gives, the flag bit, and the trace lines
//   2. items.check   ObCheck by field type: defaults from the locale tables, old
//                    styles rewritten, every failure and warning
//   3. items.copy    ObCopy in its three modes; ObGetIdx and ObGetAlias at their ends
//   4. items.xbuf    a field section packed as an XBUF byte for byte, cut at every
//                    room, and read back; every corrupt buffer XbufObSet meets
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "buffers.h"
#include "dict.h"
#include "format.h"
#include "testutil.h"

namespace {

using vltest::TraceCapture;

using Items = std::vector<std::pair<const char *, const char *>>;

// The text form of one item.
std::string Text(const vl::DictObj &obj, int index) {
  std::string text;
  vl::kDictItems[static_cast<std::size_t>(index)].get(obj, text);
  return text;
}

// Sets items with ObSet; the result of the last one.
int SetAll(vl::DictObj &obj, const Items &items) {
  int result = 0;
  for (const auto &[name, value] : items) {
    std::string copy = value;
    result = vl::ObSet(obj, name, copy, "s");
  }
  return result;
}

class DictItems : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    ASSERT_EQ(vl::BuildLocale(), vl::kLocaleOk);  // the "C" locale's default formats
  }
};

// ---------------------------------------------------------------------------
// 1. Setting items
// ---------------------------------------------------------------------------

struct SetCase {
  const char *id;
  const char *item;
  const char *value;
  int result;
  int readIndex;              // the item whose text is read afterwards
  const char *text;           // its text form
  bool flagged;               // its flag bit is set
  std::vector<std::string> trace;
};

TEST_F(DictItems, SetEveryKindOfValue) {
  const std::string path81(81, 'p');
  const std::string path80(80, 'p');
  const std::string notifyLong = "valid" + std::string(200, ',') + "always";
  const SetCase cases[] = {
      {"text", "path", "A.B", 1, vl::IT_PATH, "A.B", true, {}},
      {"text at its limit", "PATH", path80.c_str(), 1, vl::IT_PATH, path80.c_str(), true, {}},
      {"text over its limit", "PATH", path81.c_str(), -2, vl::IT_PATH, "", false,
       {"D1: ObSetIdx(PATH=" + path81 + ") failed: maximum length exceeded, section 's'"}},
      {"empty text", "Path", "", 0, vl::IT_PATH, "", true, {"D2: ObSet(PATH) warning: empty value, section 's'"}},
      {"object type", "objtype", "lb", 0, vl::IT_OBJTYPE, "LB", true, {}},
      {"unknown object type", "OBJTYPE", "XX", -2, vl::IT_OBJTYPE, "??", false,
       {"D1: ObSetIdx(OBJTYPE=XX) failed: invalid value, section 's'"}},
      {"empty object type: none, not ET", "OBJTYPE", "", 0, vl::IT_OBJTYPE, "??", true,
       {"D2: ObSet(OBJTYPE) warning: empty value, section 's'"}},
      {"field type", "FTYP", "cb", 0, vl::IT_FTYP, "CB", true, {}},
      {"field type text", "FTYP", "Q", 1, vl::IT_FTYP, "Q", true, {}},
      {"field type too long", "FTYP", "QQQ", -2, vl::IT_FTYP, "", false,
       {"D1: ObSetIdx(FTYP=QQQ) failed: maximum length exceeded, section 's'"}},
      {"required", "FREQ", "1", 0, vl::IT_FREQ, "1", true, {}},
      {"not required", "FREQ", "0", 0, vl::IT_FREQ, "0", true, {}},
      {"required 2", "FREQ", "2", -2, vl::IT_FREQ, "0", false,
       {"D1: ObSetIdx(FREQ=2) failed: invalid value, section 's'"}},
      {"required empty", "FREQ", "", 0, vl::IT_FREQ, "0", true, {"D2: ObSet(FREQ) warning: empty value, section 's'"}},
      {"length", "FLEN", "12abc", 0, vl::IT_FLEN, "12", true, {}},
      {"length without digits", "FLEN", "abc", 0, vl::IT_FLEN, "0", true, {}},
      {"negative length", "FLEN", " -5", 0, vl::IT_FLEN, "-5", true, {}},
      {"huge length", "FLEN", "99999999999", 0, vl::IT_FLEN, "2147483647", true, {}},
      {"precision", "fprec", "+3", 0, vl::IT_FPREC, "3", true, {}},
      {"minimum", "FMIN", "1.5e3x", 0, vl::IT_FMIN, "1500", true, {}},
      {"minimum fraction", "FMIN", "-0.125", 0, vl::IT_FMIN, "-0.125", true, {}},
      {"maximum twelve digits", "FMAX", "3.14159265358979", 0, vl::IT_FMAX, "3.14159265359", true, {}},
      {"maximum beyond a double", "FMAX", "1e999", 0, vl::IT_FMAX, "1.79769313486e+308", true, {}},
      {"maximum hexadecimal", "FMAX", "0x10", 0, vl::IT_FMAX, "0", true, {}},
      {"maximum without digits", "FMAX", ".e5", 0, vl::IT_FMAX, "0", true, {}},
      {"notify", "NOTIFY", "Valid,ALWAYS", 0, vl::IT_NOTIFY, "valid,always", true, {}},
      {"notify all", "NOTIFY", "fsearch empty valid always", 0, vl::IT_NOTIFY, "valid,empty,always,fsearch", true, {}},
      {"notify one trailing separator", "NOTIFY", "valid,", 0, vl::IT_NOTIFY, "valid", true, {}},
      {"notify leading separators", "NOTIFY", ",,empty", 0, vl::IT_NOTIFY, "empty", true, {}},
      {"notify separators inside", "NOTIFY", "valid,,always", 0, vl::IT_NOTIFY, "valid,always", true, {}},
      {"notify has no limit", "NOTIFY", notifyLong.c_str(), 0, vl::IT_NOTIFY, "valid,always", true, {}},
      {"notify two trailing separators", "NOTIFY", "valid,,", -2, vl::IT_NOTIFY, "", false,
       {"D1: ObSetIdx(NOTIFY=valid,,) failed: invalid value, section 's'"}},
      {"notify separators only", "NOTIFY", ",;", -2, vl::IT_NOTIFY, "", false,
       {"D1: ObSetIdx(NOTIFY=,;) failed: invalid value, section 's'"}},
      {"notify unknown word", "NOTIFY", "valid,often", -2, vl::IT_NOTIFY, "", false,
       {"D1: ObSetIdx(NOTIFY=valid,often) failed: invalid value, section 's'"}},
      {"old name of VALID", "ERLAUBT", "[0-9]*", 1, vl::IT_VALID, "[0-9]*", true,
       {"D2: ObSetIdx(ERLAUBT) warning: old item name, replace with 'VALID', section 's'"}},
      {"model", "MODEL", "m.base", 1, vl::IT_PATH, "", false, {}},
      {"alias is no name", "TYP", "N", -2, vl::IT_FTYP, "", false,
       {"D1: ObSet(TYP) failed: unknown item, section 's'"}},
      {"unknown item", "Colour", "red", -2, vl::IT_PATH, "", false,
       {"D1: ObSet(Colour) failed: unknown item, section 's'"}},
  };
  for (const SetCase &c : cases) {
    SCOPED_TRACE(c.id);
    vl::DictObj obj;
    TraceCapture capture("D2");
    std::string value = c.value;
    EXPECT_EQ(vl::ObSet(obj, c.item, value, "s"), c.result);
    EXPECT_EQ(Text(obj, c.readIndex), c.text);
    EXPECT_EQ((obj.flags & vl::kDictItems[static_cast<std::size_t>(c.readIndex)].flag) != 0, c.flagged);
    EXPECT_EQ(TraceCapture::lines(), c.trace);
    if (c.result == 1) {
      EXPECT_TRUE(value.empty()) << "the object took the text";
    } else {
      EXPECT_EQ(value, c.value) << "the caller keeps the text";
    }
  }
}

TEST_F(DictItems, RefusedValueClearsTheItemAndKeepsItsFlag) {
  vl::DictObj obj;
  ASSERT_EQ(SetAll(obj, {{"OBJTYPE", "CB"}, {"FREQ", "1"}, {"NOTIFY", "valid"}}), 0);
  const std::uint32_t flags = obj.flags;
  EXPECT_EQ(SetAll(obj, {{"OBJTYPE", "ZZ"}}), -2);
  EXPECT_EQ(SetAll(obj, {{"FREQ", "yes"}}), -2);
  EXPECT_EQ(SetAll(obj, {{"NOTIFY", "valid,never"}}), -2);
  EXPECT_EQ(obj.objType, 0);
  EXPECT_EQ(obj.bits, 0u);
  EXPECT_EQ(obj.flags, flags);
  // A text refused for its length leaves the object as it was.
  ASSERT_EQ(SetAll(obj, {{"FEMPTY", "short"}}), 1);
  EXPECT_EQ(SetAll(obj, {{"FEMPTY", "seventeen chars!!"}}), -2);
  EXPECT_EQ(obj.emptyValue, "short");
}

// ---------------------------------------------------------------------------
// 2. Checking an object
// ---------------------------------------------------------------------------

struct CheckCase {
  const char *id;
  Items items;
  int result;
  const char *ffmt;     // FFMT text afterwards
  int length;
  int precision;
  const char *fvtyp;
  const char *ftyp;     // FTYP text afterwards
  std::vector<std::string> trace;  // category D, levels 1 and 2
};

TEST_F(DictItems, CheckByFieldType) {
  const CheckCase cases[] = {
      {"N old style", {{"PATH", "p"}, {"FTYP", "N"}, {"FFMT", "ZB"}, {"FLEN", "5"}}, 0, "lRBZTPg", 5, 0, "", "N",
       {"D2: ObCheck() warning: old-style FFMT[ZB], replace with 'lRBZTPg', section 's'"}},
      {"N old style, negative precision", {{"PATH", "p"}, {"FTYP", "N"}, {"FFMT", "ZB"}, {"FLEN", "5"}, {"FPREC", "-2"}},
       0, "lRBZtPg", 5, 2, "", "N",
       {"D2: ObCheck() warning: negative precision, set to '2' and change FFMT to 'lRBZtPg', section 's'"}},
      {"N without format", {{"PATH", "p"}, {"FTYP", "N"}, {"FLEN", "3"}}, 0, "lRbzTPg", 3, 0, "", "N", {}},
      {"N each old style", {{"PATH", "p"}, {"FTYP", "N"}, {"FFMT", "LB"}, {"FLEN", "3"}}, 0, "LrBzTPg", 3, 0, "", "N",
       {"D2: ObCheck() warning: old-style FFMT[LB], replace with 'LrBzTPg', section 's'"}},
      {"N value types", {{"PATH", "p"}, {"FTYP", "N"}, {"FVTYP", "l"}, {"FLEN", "3"}}, 0, "lRbzTPg", 3, 0, "l", "N", {}},
      {"N bad value type", {{"PATH", "p"}, {"FTYP", "N"}, {"FVTYP", "X"}}, -2, "", 0, 0, "X", "N",
       {"D1: ObCheck() failed: FT_N has invalid FVTYP[X], section 's'"}},
      {"N flag string, negative precision", {{"PATH", "p"}, {"FTYP", "N"}, {"FFMT", "RG"}, {"FLEN", "3"}, {"FPREC", "-1"}},
       -2, "RG", 3, -1, "", "N", {"D1: ObCheck() failed: negative PREC, section 's'"}},
      {"D old CYMD", {{"PATH", "p"}, {"FTYP", "D"}, {"FVTYP", "JJMT"}}, 0, "%d.%m.%y", 10, 0, "CYMD", "D",
       {"D2: ObCheck() warning: old-style FVTYP[JJMT], replace with 'CYMD', section 's'"}},
      {"D old YMD", {{"PATH", "p"}, {"FTYP", "D"}, {"FVTYP", "JMT"}, {"FLEN", "6"}}, 0, "%d.%m.%y", 6, 0, "YMD", "D",
       {"D2: ObCheck() warning: old-style FVTYP[JMT], replace with 'YMD', section 's'"}},
      {"D own format", {{"PATH", "p"}, {"FTYP", "D"}, {"FVTYP", "GREG"}, {"FFMT", "%d%m"}}, 0, "%d%m", 0, 0, "GREG", "D",
       {"D2: ObCheck() warning: LEN is zero or undefined, section 's'"}},
      {"D CYMD own format", {{"PATH", "p"}, {"FTYP", "D"}, {"FVTYP", "CYMD"}, {"FFMT", "%Y"}}, 0, "%Y", 10, 0, "CYMD", "D",
       {}},
      {"D CYMD own format and length", {{"PATH", "p"}, {"FTYP", "D"}, {"FVTYP", "CYMD"}, {"FFMT", "%Y"}, {"FLEN", "4"}}, 0,
       "%Y", 4, 0, "CYMD", "D", {}},
      {"D without value type", {{"PATH", "p"}, {"FTYP", "D"}}, -2, "", 0, 0, "", "D",
       {"D1: ObCheck() failed: FT_D has invalid FVTYP[], section 's'"}},
      {"Z HM100", {{"PATH", "p"}, {"FTYP", "Z"}, {"FVTYP", "HM100"}}, 0, "lRBzTPg", 5, 2, "HM100", "Z", {}},
      {"Z HM60", {{"PATH", "p"}, {"FTYP", "Z"}, {"FVTYP", "hm60"}, {"FLEN", "8"}}, 0, "%H:%M", 8, 0, "hm60", "Z", {}},
      {"Z bad value type", {{"PATH", "p"}, {"FTYP", "Z"}, {"FVTYP", "GREG"}}, -2, "", 0, 0, "GREG", "Z",
       {"D1: ObCheck() failed: FT_Z has invalid FVTYP[GREG], section 's'"}},
      {"M", {{"PATH", "p"}, {"FTYP", "M"}}, 0, "%m/%y", 5, 0, "", "M", {}},
      {"K without length", {{"PATH", "p"}, {"FTYP", "K"}, {"FVTYP", "KW"}}, 0, "", 0, 0, "KW", "K", {}},
      {"K bad value type", {{"PATH", "p"}, {"FTYP", "K"}, {"FVTYP", "YMD"}}, -2, "", 0, 0, "YMD", "K",
       {"D1: ObCheck() failed: FT_K has invalid FVTYP[YMD], section 's'"}},
      {"T", {{"PATH", "p"}, {"FTYP", "T"}, {"FLEN", "9"}}, 0, "LrcZtuvo", 9, 0, "", "T", {}},
      {"U", {{"PATH", "p"}, {"FTYP", "U"}, {"FLEN", "9"}}, 0, "LrcZtUvo", 9, 0, "", "U", {}},
      {"LB wins over FTYP", {{"PATH", "p"}, {"OBJTYPE", "LB"}, {"FTYP", "N"}, {"FVTYP", "X"}}, 0, "", 0, 0, "X", "LB", {}},
      {"CB without length", {{"PATH", "p"}, {"OBJTYPE", "CB"}}, 0, "", 0, 0, "", "CB", {}},
      {"field type text", {{"PATH", "p"}, {"FTYP", "Q"}}, 0, "", 0, 0, "", "Q",
       {"D2: ObCheck() warning: LEN is zero or undefined, section 's'"}},
      {"missing PATH", {{"FTYP", "N"}}, -2, "", 0, 0, "", "N", {"D1: ObCheck() failed: missing PATH, section 's'"}},
      {"empty OBJTYPE", {{"PATH", "p"}, {"OBJTYPE", ""}, {"FTYP", "T"}}, -2, "", 0, 0, "", "T",
       {"D1: ObCheck() failed: missing OBJTYPE, section 's'"}},
      {"missing FTYP", {{"PATH", "p"}}, -2, "", 0, 0, "", "", {"D1: ObCheck() failed: missing FTYP, section 's'"}},
      {"VALID syntax", {{"PATH", "p"}, {"FTYP", "T"}, {"FLEN", "2"}, {"VALID", "[0-9]"}}, -2, "LrcZtuvo", 2, 0, "", "T",
       {"D1: ObCheck() failed: syntax error in VALID '[0-9]', section 's'"}},
      {"negative LEN", {{"PATH", "p"}, {"FTYP", "T"}, {"FLEN", "-1"}}, -2, "LrcZtuvo", -1, 0, "", "T",
       {"D1: ObCheck() failed: negative LEN, section 's'"}},
  };
  for (const CheckCase &c : cases) {
    SCOPED_TRACE(c.id);
    vl::DictObj obj;
    SetAll(obj, c.items);
    TraceCapture capture("D2");
    EXPECT_EQ(vl::ObCheck(obj, "s"), c.result);
    EXPECT_EQ(obj.fieldFormat, c.ffmt);
    EXPECT_EQ(obj.length, c.length);
    EXPECT_EQ(obj.precision, c.precision);
    EXPECT_EQ(obj.valType, c.fvtyp);
    EXPECT_EQ(Text(obj, vl::IT_FTYP), c.ftyp);
    EXPECT_EQ(TraceCapture::lines(), c.trace);
  }
}

TEST_F(DictItems, CheckSetsTheFlagsOfTheDefaultsItTook) {
  vl::DictObj obj;
  SetAll(obj, {{"PATH", "p"}, {"FTYP", "D"}, {"FVTYP", "JJMT"}});
  const std::uint32_t before = obj.flags;
  ASSERT_EQ(vl::ObCheck(obj, "s"), 0);
  EXPECT_EQ(obj.flags & ~before, vl::kDictItems[vl::IT_FFMT].flag | vl::kDictItems[vl::IT_FLEN].flag);

  // Without a locale the default month format is empty: FFMT stays absent but flagged.
  vl::ResetLocaleForTest();
  vl::DictObj bare;
  SetAll(bare, {{"PATH", "p"}, {"FTYP", "M"}});
  ASSERT_EQ(vl::ObCheck(bare, "s"), 0);
  EXPECT_EQ(bare.fieldFormat, "");
  EXPECT_NE(bare.flags & vl::kDictItems[vl::IT_FFMT].flag, 0u);
}

TEST_F(DictItems, CheckReportsMemoryExhaustion) {
  vl::DictObj obj;
  SetAll(obj, {{"PATH", "p"}, {"FTYP", "T"}, {"FLEN", "3"}});
  TraceCapture capture("D1");
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(vl::ObCheck(obj, "s"), vl::kNoMemory);
  EXPECT_EQ(TraceCapture::lines(), std::vector<std::string>{"D1: ObCheck() failed: heap overflow, section 's'"});
}

// ---------------------------------------------------------------------------
// 3. Copying and enumerating
// ---------------------------------------------------------------------------

TEST_F(DictItems, CopyModes) {
  vl::DictObj source;
  SetAll(source, {{"PATH", "from"}, {"FTYP", "N"}, {"FLEN", "12"}, {"NOTIFY", "empty"}});
  vl::DictObj base;
  SetAll(base, {{"PATH", "own"}, {"FLEN", "3"}});

  vl::DictObj present = base;  // mode 1: what the source has, overwriting
  ASSERT_EQ(vl::ObCopy(present, source, 1, "m"), 0);
  EXPECT_EQ(present.path, "from");
  EXPECT_EQ(present.length, 12);
  EXPECT_EQ(present.bits, vl::BIT_NOTIFY_EMPTY);
  EXPECT_EQ(present.flags, source.flags | base.flags);

  vl::DictObj inherited = base;  // mode 2: only what the target lacks
  ASSERT_EQ(vl::ObCopy(inherited, source, 2, "m"), 0);
  EXPECT_EQ(inherited.path, "own");
  EXPECT_EQ(inherited.length, 3);
  EXPECT_EQ(inherited.fldType, vl::FT_N);
  EXPECT_EQ(inherited.bits, vl::BIT_NOTIFY_EMPTY);

  vl::DictObj all = base;  // any other mode: every gettable item
  ASSERT_EQ(vl::ObCopy(all, source, 0, "m"), 0);
  EXPECT_EQ(all.flags & 0x7FFFFu, 0x7FFFFu);
  EXPECT_EQ(all.path, "from");
  EXPECT_EQ(all.fieldFormat, "");
}

TEST_F(DictItems, CopyStopsAtExhaustedMemory) {
  vl::DictObj source;
  SetAll(source, {{"PATH", "from"}, {"FLEN", "12"}});
  vl::DictObj partial;
  TraceCapture capture("D1");
  vl::FailAllocationsAfter(1);
  EXPECT_EQ(vl::ObCopy(partial, source, 1, "m"), vl::kNoMemory);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(partial.path, "from") << "items copied before the failure stay";
  EXPECT_EQ(partial.length, 0);
  EXPECT_EQ(TraceCapture::lines().back(), "D1: ObCopy() failed: heap overflow (section=m, item=FLEN, value=12)");
}

TEST_F(DictItems, EnumerationEnds) {
  vl::DictObj obj;
  SetAll(obj, {{"FMAX", "2.5"}});
  std::string name, value, type;
  EXPECT_EQ(vl::ObGetIdx(obj, 9, name, value, &type), 9);
  EXPECT_EQ(name + "=" + value + ":" + type, "FMAX=2.5:N");
  EXPECT_EQ(vl::ObGetIdx(obj, 18, name, value), 18);
  EXPECT_EQ(name, "INIT");
  EXPECT_EQ(vl::ObGetIdx(obj, 19, name, value), -1);
  EXPECT_EQ(vl::ObGetIdx(obj, -1, name, value), -1);

  TraceCapture capture("D1");
  EXPECT_STREQ(vl::ObGetAlias(2), "TYP");
  EXPECT_STREQ(vl::ObGetAlias(0), "PATH");
  EXPECT_EQ(vl::ObGetAlias(19), nullptr);
  EXPECT_EQ(TraceCapture::lines(), std::vector<std::string>{"D1: ObGetAlias() failed: invalid index"});
}

// ---------------------------------------------------------------------------
// 4. A field section as an XBUF
// ---------------------------------------------------------------------------

vl::DictSection AmountSection() {
  vl::DictSection section;
  section.section = "ord.amount";
  SetAll(section.obj, {{"PATH", "ORDER.AMOUNT"}, {"FTYP", "N"}, {"FLEN", "10"}, {"NOTIFY", "valid"}});
  return section;
}

const std::string kPackedAmount =
    "XDict_fld~0~6~amount"
    "XDict_path~0~12~ORDER.AMOUNT"
    "XDict_objtype~0~2~ET"
    "XDict_typ~0~1~N"
    "XDict_vtyp~0~0~"
    "XDict_fmt~0~0~"
    "NDict_req~0~1~0"
    "NDict_len~0~2~10"
    "NDict_prec~0~1~0"
    "NDict_min~0~1~0"
    "NDict_max~0~1~0"
    "XDict_defval~0~0~"
    "XDict_empty~0~0~"
    "XDict_valid~0~0~"
    "XDict_search~0~0~"
    "XDict_check~0~0~"
    "XDict_notify~0~5~valid"
    "XDict_output~0~0~"
    "XDict_load~0~0~"
    "XDict_init~0~0~"
    "$";

TEST_F(DictItems, PackedFieldSection) {
  const vl::DictSection section = AmountSection();
  std::string buffer(400, '\0');
  std::size_t length = 0;
  ASSERT_EQ(vl::xpack_dict(section, buffer.data(), buffer.size(), length), vl::kOk);
  EXPECT_EQ(buffer.substr(0, length), kPackedAmount);

  // Any smaller room fails without writing beyond it.
  TraceCapture capture("D1");
  for (std::size_t room = 0; room < kPackedAmount.size(); ++room) {
    std::string cut(room + 8, '#');
    std::size_t unchanged = 77;
    ASSERT_EQ(vl::xpack_dict(section, cut.data(), room, unchanged), vl::kTooSmall) << room;
    EXPECT_EQ(unchanged, 77u);
    EXPECT_EQ(cut.substr(room), std::string(8, '#')) << room;
  }
  EXPECT_EQ(TraceCapture::lines().back(), "D1: xpack_dict() failed: XBUF overflow");
}

TEST_F(DictItems, PackedSectionReadsBack) {
  const vl::DictSection section = AmountSection();
  vl::DictObj copy;
  std::string field;
  ASSERT_EQ(vl::XbufObSet(copy, field, kPackedAmount.data(), kPackedAmount.size()), 0);
  EXPECT_EQ(field, "amount");
  for (int i = 0; i < vl::kGettableItems; ++i) EXPECT_EQ(Text(copy, i), Text(section.obj, i)) << i;

  // Entries named with their item alias, with or without a prefix, in any case.
  vl::DictObj some;
  const std::string xbuf = "Nlen~~2~10XDICT_FLD~~1~xXDict_typ~~1~T$";
  ASSERT_EQ(vl::XbufObSet(some, field, xbuf.data(), xbuf.size()), 0);
  EXPECT_EQ(field, "x");
  EXPECT_EQ(some.length, 10);
  EXPECT_EQ(some.fldType, vl::FT_T);
  // A value holding "~", "$" or a NUL byte is taken by its length, up to the NUL.
  const std::string odd = std::string("XDict_fld~0~1~fXDict_defval~0~5~a~$\0b$", 38);
  ASSERT_EQ(vl::XbufObSet(some, field, odd.data(), odd.size()), 0);
  EXPECT_EQ(some.defValue, "a~$");
}

TEST_F(DictItems, CorruptPackedSections) {
  const struct {
    const char *id;
    std::string xbuf;
    std::size_t length;  // bytes given; npos: all
    std::string message;
  } cases[] = {
      {"head without its second tilde", "XDict_len~10$", std::string::npos,
       "D1: XbufObSet() failed: buffer corrupt (1), offset=0"},
      {"bad type letter", "XDict_fld~0~1~fQDict_len~0~1~1$", std::string::npos,
       "D1: XbufObSet() failed: buffer corrupt (1), offset=15"},
      {"head cut by the length", "XDict_fld~0~1~fXDict_len~0~1~1$", 20,
       "D1: XbufObSet() failed: buffer corrupt (2), offset=15"},
      {"value without its tilde", "XDict_fld~0~1x~f$", std::string::npos,
       "D1: XbufObSet() failed: buffer corrupt (3), offset=0"},
      {"value length lies", "XDict_fld~0~99~f$", std::string::npos,
       "D1: XbufObSet() failed: buffer corrupt (4), offset=0"},
      {"value length cut", "XDict_fld~0~1", std::string::npos, "D1: XbufObSet() failed: buffer corrupt (4), offset=0"},
      {"item by its name, not its alias", "XDict_fld~0~1~fNDict_flen~0~1~1$", std::string::npos,
       "D1: XbufObSet() failed: unknown item 'flen'"},
      {"item refused", "XDict_fld~0~1~fXDict_objtype~0~2~QQ$", std::string::npos,
       "D1: ObSetIdx(OBJTYPE=QQ) failed: invalid value, section 'f'"},
      {"no field name", "XDict_len~0~1~1$", std::string::npos, "D1: XbufObSet() failed: field name not specified"},
      {"end mark first", "$", std::string::npos, "D1: XbufObSet() failed: field name not specified"},
      {"nothing at all", "", std::string::npos, "D1: XbufObSet() failed: field name not specified"},
      {"no item", "XDict_fld~0~1~f$", std::string::npos, "D1: XbufObSet() failed: XBUF seems to be empty"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.id);
    vl::DictObj obj;
    std::string field;
    TraceCapture capture("D1");
    const std::size_t length = c.length == std::string::npos ? c.xbuf.size() : c.length;
    EXPECT_EQ(vl::XbufObSet(obj, field, c.xbuf.data(), length), vl::kReported);
    ASSERT_FALSE(TraceCapture::lines().empty());
    EXPECT_EQ(TraceCapture::lines().back(), c.message);
  }
}

}  // namespace
