// Test plan for the locale tables (srvlocal and clilocal):
//   1. The "C" buffer: size, header, every section byte for byte or by rule, and
//      the decoded tables (classes against <cctype> for ASCII, the Roman-8 runs and
//      case pairs above it, the German names and the defaults).
//   2. Real locales (de_DE, en_IN.utf8, fr_FR): decimal point, thousands
//      separator and grouping in the buffer and in LangInfo.
//   3. Definition lists: pairs, trailing comma, every failure with its trace line,
//      nothing changed by a failed list, and the process locale "C" after a call.
//   4. The buffer as the CSDX stream: fetched with dll_SendNext, an unsent stream
//      replaced, heap overflow while packing and while decoding.
//   5. SetClientLocale: each bad header; the buffer left as it was.
//   6. GetLocaleInfo: a hand-written body decodes field by field; every corrupt
//      section, truncation at every length, grouping faults, mutations.
//   7. The checker's set-up from the environment and its messages.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <map>
#include <random>
#include <string>

#include "buffers_host.h"
#include "format.h"
#include "format_host.h"
#include "format_int.h"
#include "format_testutil.h"
#include "host.h"
#include "testutil.h"

namespace {

using fmttest::Entry;
using fmttest::LoadStream;
using fmttest::StreamBytes;
using fmttest::WithHeader;
using vltest::HostBuf;
using vltest::TraceCapture;

// The LANGINFO section of the "C" locale, written out from the field table.
const std::string kCLangInfo =
    "2~So2~Mo2~Di2~Mi2~Do2~Fr2~Sa"
    "7~Sonntag6~Montag8~Dienstag8~Mittwoch10~Donnerstag7~Freitag7~Samstag"
    "4~Jan.4~Feb.4~M\xE4rz4~Apr.3~Mai4~Juni4~Juli4~Aug.5~Sept.4~Okt.4~Nov.4~Dez."
    "6~Januar7~Februar4~M\xE4rz5~April3~Mai4~Juni4~Juli6~August9~September7~Oktober8~November8~Dezember"
    "24~%a., %d. %b %Y, %H:%M:%S14~%a., %d. %b %Y8~%H:%M:%S0~0~8~%H:%M:%S"
    "1~.0~0~1~?1~-8~%d.%m.%y8~8~%d.%m.%y10~5~%H:%M5~2~5~%m/%y5~5~%W/%y5~";

std::string ProcessLocale(int category) {
  const char *name = std::setlocale(category, nullptr);
  return name != nullptr ? name : "";
}

class LocaleTest : public vltest::StateTest {};

// ---------------------------------------------------------------------------
// 1. The "C" buffer
// ---------------------------------------------------------------------------

TEST_F(LocaleTest, CBufferHasItsFixedLayout) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string buf = StreamBytes();
  ASSERT_EQ(buf.size(), 2456u);
  EXPECT_EQ(buf.substr(0, 14), "R1~002456~0804");
  EXPECT_EQ(vl::csdxBuf().buffer[buf.size()], '\0');
  EXPECT_EQ(buf.substr(10 + 2048), kCLangInfo);
  for (char c : buf.substr(10, 2048)) ASSERT_TRUE(std::isxdigit(static_cast<unsigned char>(c)) && !std::islower(c));
  EXPECT_EQ(ProcessLocale(LC_ALL), "C");
}

TEST_F(LocaleTest, NullAndEmptyListsBuildTheCLocale) {
  ASSERT_EQ(dll_SetLocale(nullptr), 0);
  EXPECT_EQ(StreamBytes().size(), 2456u);
  EXPECT_STREQ(vl::Locale().LangInfo.decimalPoint.c_str(), ".");
}

TEST_F(LocaleTest, AsciiClassesAgreeWithTheCLibrary) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  for (int c = 0; c < 0x80; ++c) {
    SCOPED_TRACE(c);
    const std::uint32_t m = vl::Locale().LocaleClass[static_cast<std::size_t>(c)];
    EXPECT_EQ((m & vl::CC_ALNUM) != 0, std::isalnum(c) != 0);
    EXPECT_EQ((m & vl::CC_ALPHA) != 0, std::isalpha(c) != 0);
    EXPECT_EQ((m & vl::CC_CNTRL) != 0, std::iscntrl(c) != 0);
    EXPECT_EQ((m & vl::CC_DIGIT) != 0, std::isdigit(c) != 0);
    EXPECT_EQ((m & vl::CC_GRAPH) != 0, std::isgraph(c) != 0);
    EXPECT_EQ((m & vl::CC_LOWER) != 0, std::islower(c) != 0);
    EXPECT_EQ((m & vl::CC_PRINT) != 0, std::isprint(c) != 0);
    EXPECT_EQ((m & vl::CC_PUNCT) != 0, std::ispunct(c) != 0);
    EXPECT_EQ((m & vl::CC_SPACE) != 0, std::isspace(c) != 0);
    EXPECT_EQ((m & vl::CC_UPPER) != 0, std::isupper(c) != 0);
    EXPECT_EQ((m & vl::CC_XDIGIT) != 0, std::isxdigit(c) != 0);
    EXPECT_NE(m & vl::CC_ASCII, 0u);
    EXPECT_EQ(vl::Locale().LocaleUpper[static_cast<std::size_t>(c)], std::toupper(c));
    EXPECT_EQ(vl::Locale().LocaleLower[static_cast<std::size_t>(c)], std::tolower(c));
  }
}

TEST_F(LocaleTest, UpperHalfFollowsTheRoman8Runs) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  // Both ends of every run of the upper half.
  const std::map<int, std::uint32_t> masks = {
      {0x80, 0x0004}, {0x9F, 0x0004}, {0xA0, 0x0000}, {0xA1, 0x0253}, {0xA7, 0x0253}, {0xA8, 0x00D0},
      {0xAC, 0x00D0}, {0xAD, 0x0253}, {0xAE, 0x0253}, {0xAF, 0x00D0}, {0xB0, 0x00D0}, {0xB1, 0x0253},
      {0xB2, 0x0073}, {0xB3, 0x00D0}, {0xB4, 0x0253}, {0xB5, 0x0073}, {0xB6, 0x0253}, {0xB7, 0x0073},
      {0xB8, 0x00D0}, {0xBF, 0x00D0}, {0xC0, 0x0073}, {0xCF, 0x0073}, {0xD0, 0x0253}, {0xD1, 0x0073},
      {0xD2, 0x0253}, {0xD3, 0x0253}, {0xD4, 0x0073}, {0xD7, 0x0073}, {0xD8, 0x0253}, {0xD9, 0x0073},
      {0xDA, 0x0253}, {0xDC, 0x0253}, {0xDD, 0x0073}, {0xDE, 0x0273}, {0xDF, 0x0253}, {0xE1, 0x0253},
      {0xE2, 0x0073}, {0xE3, 0x0253}, {0xE4, 0x0073}, {0xE5, 0x0253}, {0xE9, 0x0253}, {0xEA, 0x0073},
      {0xEB, 0x0253}, {0xEC, 0x0073}, {0xED, 0x0253}, {0xEE, 0x0253}, {0xEF, 0x0073}, {0xF0, 0x0253},
      {0xF1, 0x0073}, {0xF2, 0x00D0}, {0xFE, 0x00D0}, {0xFF, 0x0004},
  };
  const std::string is = StreamBytes().substr(10, 1024);
  for (const auto &[code, mask] : masks) {
    SCOPED_TRACE(code);
    EXPECT_EQ(vl::Locale().LocaleClass[static_cast<std::size_t>(code)], mask);
    char hex[5];
    std::snprintf(hex, sizeof hex, "%04X", mask);
    EXPECT_EQ(is.substr(static_cast<std::size_t>(code) * 4, 4), hex);
  }
}

TEST_F(LocaleTest, CasePairsOfTheUpperHalf) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::map<int, int> upper = {
      {0xB2, 0xB1}, {0xB5, 0xB4}, {0xB7, 0xB6}, {0xC0, 0xA2}, {0xC1, 0xA4}, {0xC2, 0xDF}, {0xC3, 0xAE},
      {0xC4, 0xE0}, {0xC5, 0xDC}, {0xC6, 0xE7}, {0xC7, 0xED}, {0xC8, 0xA1}, {0xC9, 0xA3}, {0xCA, 0xE8},
      {0xCB, 0xAD}, {0xCC, 0xD8}, {0xCD, 0xA5}, {0xCE, 0xDA}, {0xCF, 0xDB}, {0xD1, 0xA6}, {0xD4, 0xD0},
      {0xD5, 0xE5}, {0xD6, 0xD2}, {0xD7, 0xD3}, {0xD9, 0xE6}, {0xDD, 0xA7}, {0xE2, 0xE1}, {0xE4, 0xE3},
      {0xEA, 0xE9}, {0xEC, 0xEB}, {0xEF, 0xEE}, {0xF1, 0xF0},
  };
  const std::string buf = StreamBytes();
  for (int code = 0x80; code < 0x100; ++code) {
    SCOPED_TRACE(code);
    const auto it = upper.find(code);
    const int up = it != upper.end() ? it->second : code;
    EXPECT_EQ(vl::Locale().LocaleUpper[static_cast<std::size_t>(code)], up);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", up);
    EXPECT_EQ(buf.substr(10 + 1024 + static_cast<std::size_t>(code) * 2, 2), hex);
    if (up != code) {
      EXPECT_EQ(vl::Locale().LocaleLower[static_cast<std::size_t>(up)], code);
      EXPECT_NE(vl::Locale().LocaleClass[static_cast<std::size_t>(code)] & vl::CC_LOWER, 0u);
      EXPECT_NE(vl::Locale().LocaleClass[static_cast<std::size_t>(up)] & vl::CC_UPPER, 0u);
    }
  }
  // 0xDE is both cases and maps to itself both ways.
  EXPECT_EQ(vl::Locale().LocaleUpper[0xDE], 0xDE);
  EXPECT_EQ(vl::Locale().LocaleLower[0xDE], 0xDE);
}

TEST_F(LocaleTest, LangInfoHoldsTheNamesAndDefaults) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const vl::LanguageInfo &li = vl::Locale().LangInfo;
  EXPECT_EQ(li.dayAbbr[0].view(), "So");
  EXPECT_EQ(li.dayAbbr[6].view(), "Sa");
  EXPECT_EQ(li.dayName[4].view(), "Donnerstag");
  EXPECT_EQ(li.monthAbbr[2].view(), "M\xE4rz");
  EXPECT_EQ(li.monthAbbr[8].view(), "Sept.");
  EXPECT_EQ(li.monthName[11].view(), "Dezember");
  EXPECT_EQ(li.dateTimeFormat.view(), "%a., %d. %b %Y, %H:%M:%S");
  EXPECT_EQ(li.dateFormat.view(), "%a., %d. %b %Y");
  EXPECT_EQ(li.timeFormat.view(), "%H:%M:%S");
  EXPECT_TRUE(li.amMarker.present());
  EXPECT_TRUE(li.pmMarker.empty());
  EXPECT_EQ(li.timeFormat2.view(), "%H:%M:%S");
  EXPECT_EQ(li.decimalPoint.view(), ".");
  EXPECT_TRUE(li.thousandsSep.empty());
  EXPECT_TRUE(li.grouping.empty());
  EXPECT_EQ(vl::OverflowFill(), '?');
  EXPECT_EQ(li.minusSign.Char(), '-');
  EXPECT_EQ(li.dateFormatYmd.view(), "%d.%m.%y");
  EXPECT_EQ(li.dateLengthYmd, 8);
  EXPECT_EQ(li.dateFormatCymd.view(), "%d.%m.%y");
  EXPECT_EQ(li.dateLengthCymd, 10);
  EXPECT_EQ(li.timeFormatHm.view(), "%H:%M");
  EXPECT_EQ(li.timeLength, 5);
  EXPECT_EQ(li.hm100Precision, 2);
  EXPECT_EQ(li.monthFormat.view(), "%m/%y");
  EXPECT_EQ(li.monthLength, 5);
  EXPECT_EQ(li.weekFormat.view(), "%W/%y");
  EXPECT_EQ(li.weekLength, 5);
}

TEST_F(LocaleTest, StateAtLoadIsEmpty) {
  EXPECT_EQ(vl::Locale().LocaleClass['A'], 0u);
  EXPECT_EQ(vl::Locale().LocaleUpper['a'], 0);
  EXPECT_FALSE(vl::Locale().LangInfo.dayAbbr[0].present());
  EXPECT_FALSE(vl::Locale().LangInfo.dateFormatYmd.present());
  EXPECT_TRUE(vl::Locale().LangInfo.decimalPoint.present());  // the shared empty string
  EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.Char(), '\0');
  EXPECT_EQ(vl::OverflowFill(), '?');
}

// ---------------------------------------------------------------------------
// 2. Real locales
// ---------------------------------------------------------------------------

TEST_F(LocaleTest, RealLocalesGiveTheirNumericConventions) {
  struct Case {
    const char *list;
    const char *point;
    const char *thousands;
    const char *grouping;
    const char *section;  // fields 45 to 47 in the buffer
  } cases[] = {
      {"LANG=de_DE", ",", ".", "\x03\x03", "1~,1~.4~0303"},
      {"LANG=en_IN.utf8", ".", ",", "\x03\x02", "1~.1~,4~0302"},
      {"LANG=fr_FR", ",", "\xA0", "\x03", "1~,1~\xA0" "2~03"},
      {"NUMERIC=de_DE", ",", ".", "\x03\x03", "1~,1~.4~0303"},
      {"LANG=de_DE,NUMERIC=C", ".", "", "", "1~.0~0~"},
      {"LANG=C,NUMERIC=de_DE,", ",", ".", "\x03\x03", "1~,1~.4~0303"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.list);
    VL_SKIP_WITHOUT_LOCALES("de_DE", "en_IN.utf8", "fr_FR");
    ASSERT_EQ(dll_SetLocale(c.list), 0);
    EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.view(), c.point);
    EXPECT_EQ(vl::Locale().LangInfo.thousandsSep.view(), c.thousands);
    EXPECT_EQ(vl::Locale().LangInfo.grouping.view(), c.grouping);
    const std::string buf = StreamBytes();
    const std::string expected = std::string(c.section) + "1~?1~-" + fmttest::kDefaultsTail;
    EXPECT_EQ(buf.substr(buf.size() - expected.size()), expected);
    char header[16];
    std::snprintf(header, sizeof header, "R1~%06zu~", buf.size());
    EXPECT_EQ(buf.substr(0, 10), header);
    EXPECT_EQ(ProcessLocale(LC_ALL), "C");
  }
}

// ---------------------------------------------------------------------------
// 3. Definition lists
// ---------------------------------------------------------------------------

TEST_F(LocaleTest, DefinitionListTracesEachPair) {
  TraceCapture trace("N3D3");
  ASSERT_EQ(dll_SetLocale("LANG=C,NUMERIC=C,"), 0);
  const std::vector<std::string> expected = {
      "N3: define_locale(): str = [LANG=C,NUMERIC=C,]",
      "N2: define_locale(): setlocale(LANG,C)",
      "N2: define_locale(): setlocale(NUMERIC,C)",
  };
  ASSERT_GE(trace.lines().size(), 6u);
  EXPECT_EQ(std::vector<std::string>(trace.lines().begin(), trace.lines().begin() + 3), expected);
  EXPECT_EQ(trace.lines()[3].rfind("D3: BuildLocale(): file srvlocal.cpp, line ", 0), 0u);
  EXPECT_EQ(trace.lines()[4].rfind("D3: SetClientLocale(): file clilocal.cpp, line ", 0), 0u);
  EXPECT_EQ(trace.lines()[5].rfind("D3: GetLocaleInfo(): file clilocal.cpp, line ", 0), 0u);
}

TEST_F(LocaleTest, BadListsFailAndChangeNothing) {
  fmttest::InstallLocale(fmttest::German());
  ASSERT_EQ(vl::CSDX_PackString("unsent", 6), vl::kOk);
  const std::string stream = StreamBytes();
  struct Case {
    const char *list;
    const char *line;
  } cases[] = {
      {"LANG", "N1: define_locale(): Missing '='"},
      {"NUMERIC=C,LANG", "N1: define_locale(): Missing '='"},
      {"CTYPE=C", "N1: define_locale(): Bad type"},
      {"lang=C", "N1: define_locale(): Bad type"},
      {"INVALID=C", "N1: define_locale(): Bad type"},
      {"LANG,NUMERIC=C", "N1: define_locale(): Bad type"},
      {"=C", "N1: define_locale(): Bad type"},
      {"LANG=xx_NOWHERE", "N1: define_locale(): setlocale() failed"},
      {"NUMERIC=C,TIME=no such locale", "N1: define_locale(): setlocale() failed"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.list);
    TraceCapture trace("N1");
    EXPECT_EQ(dll_SetLocale(c.list), 19);
    EXPECT_EQ(trace.Joined(), std::string(c.line) + "\n");
    EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.view(), ",");
    EXPECT_EQ(vl::Locale().LangInfo.grouping.view(), "\x03");
    EXPECT_EQ(StreamBytes(), stream);
    EXPECT_EQ(ProcessLocale(LC_ALL), "C");
  }
}

TEST_F(LocaleTest, AcceptedPairsBeforeAFailureLeaveNoTrace) {
  VL_SKIP_WITHOUT_LOCALES("de_DE");
  ASSERT_EQ(dll_SetLocale(""), 0);
  EXPECT_EQ(dll_SetLocale("NUMERIC=de_DE,BAD=x"), 19);
  EXPECT_EQ(ProcessLocale(LC_NUMERIC), "C");
  EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.view(), ".");
  ASSERT_EQ(dll_SetLocale("LANG=de_DE"), 0);
  EXPECT_EQ(ProcessLocale(LC_ALL), "C");
  EXPECT_EQ(ProcessLocale(LC_CTYPE), "C");
  EXPECT_EQ(ProcessLocale(LC_COLLATE), "C");
}

// ---------------------------------------------------------------------------
// 4. The buffer as the CSDX stream
// ---------------------------------------------------------------------------

TEST_F(LocaleTest, BufferIsFetchedWithSendNext) {
  ASSERT_EQ(vl::CSDX_PackString("an unsent dictionary", 20), vl::kOk);
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string built = StreamBytes();
  std::string joined;
  HostBuf piece(1000);
  std::int32_t eof = 0;
  int pieces = 0;
  while (eof == 0 && pieces < 10) {
    ASSERT_EQ(dll_SendNext(&piece, &eof), 0);
    const std::string got = piece.str();
    const std::size_t tilde = got.find('~');
    ASSERT_NE(tilde, std::string::npos);
    EXPECT_EQ(std::stoul(got.substr(0, tilde)), joined.size());
    joined += got.substr(tilde + 1);
    ++pieces;
  }
  EXPECT_EQ(pieces, 3);
  EXPECT_EQ(joined, built);
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);
}

TEST_F(LocaleTest, HeapOverflowWhilePacking) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  TraceCapture trace("D1");
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(dll_SetLocale(""), 2);
  EXPECT_EQ(trace.Joined(), "D1: BuildLocale() failed: heap overflow\n");
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);
  EXPECT_EQ(ProcessLocale(LC_ALL), "C");
  EXPECT_EQ(vl::Locale().LangInfo.dayAbbr[0].view(), "So");  // the tables stay
}

TEST_F(LocaleTest, HeapOverflowWhileDecoding) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  TraceCapture trace("D1");
  vl::FailAllocationsAfter(3);  // the buffer, then three strings
  EXPECT_EQ(dll_SetLocale(""), 2);
  EXPECT_EQ(trace.Joined(), "D1: GetLocaleInfo() failed: heap overflow [LANGINFO]\n");
  EXPECT_EQ(vl::csdxBuf().buffer, nullptr);
  EXPECT_FALSE(vl::Locale().LangInfo.dayAbbr[0].present());
  EXPECT_FALSE(vl::Locale().LangInfo.decimalPoint.present());
  EXPECT_FALSE(vl::Locale().LangInfo.weekFormat.present());
}

// ---------------------------------------------------------------------------
// 5. SetClientLocale
// ---------------------------------------------------------------------------

TEST_F(LocaleTest, BadHeadersAreRejected) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string good = StreamBytes();
  const std::string body = good.substr(10);
  struct Case {
    std::string buffer;
    const char *line;
  } cases[] = {
      {"R2~002456~" + body, "D1: SetClientLocale(): revision conflict (current=1, received=2)"},
      {"R~002456~" + body, "D1: SetClientLocale(): revision conflict (current=1, received=0)"},
      {"X1~002456~" + body, "D1: SetClientLocale(): missing revision number"},
      {"~R1~002456~" + body, "D1: CSDX_ReadToSep(): invalid entry [~R1~002456~0804"},
      {"R1", "D1: CSDX_ReadToSep(): invalid entry [R1]"},
      {"", "D1: CSDX_ReadToSep(): invalid entry []"},
      {"R1~", "D1: CSDX_ReadToSep(): invalid entry []\nD1: SetClientLocale(): cannot read total size"},
      {"R1~~", "D1: CSDX_ReadToSep(): invalid entry [~]\nD1: SetClientLocale(): cannot read total size"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    LoadStream(c.buffer);
    TraceCapture trace("D1");
    EXPECT_EQ(vl::SetClientLocale(), 204);
    EXPECT_EQ(trace.Joined().substr(0, std::strlen(c.line)), c.line);
  }
  TraceCapture trace("D1");
  vl::CSDX_Reset();
  EXPECT_EQ(vl::SetClientLocale(), 204);
  EXPECT_EQ(trace.Joined(), "D1: CSDX_ReadToSep(): nextEntry == NULL\n");
}

TEST_F(LocaleTest, HeaderIsPutBackAfterReading) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string good = StreamBytes();
  LoadStream(good);
  ASSERT_EQ(vl::SetClientLocale(), 0);
  EXPECT_EQ(StreamBytes(), good);
  LoadStream("R7~" + good.substr(3));
  ASSERT_EQ(vl::SetClientLocale(), 204);
  EXPECT_EQ(StreamBytes(), "R7~" + good.substr(3));
}

TEST_F(LocaleTest, TotalSizeBoundsTheBody) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string good = StreamBytes();
  // A size beyond the buffer reads no further than the buffer: the body is whole.
  LoadStream("R1~999999~" + good.substr(10));
  EXPECT_EQ(vl::SetClientLocale(), 0);
  // A size short of the body cuts LANGINFO.
  TraceCapture trace("D1");
  LoadStream("R1~002455~" + good.substr(10));
  EXPECT_EQ(vl::SetClientLocale(), 204);
  EXPECT_EQ(trace.Joined(), "D1: GetLocaleInfo() failed: buffer is corrupt [LANGINFO]\n");
  // A size that does not even cover the header.
  trace.lines().clear();
  LoadStream("R1~000003~" + good.substr(10));
  EXPECT_EQ(vl::SetClientLocale(), 204);
  EXPECT_EQ(trace.Joined(), "D1: GetLocaleInfo() failed: buffer is corrupt [IS]\n");
}

TEST_F(LocaleTest, TotalSizeIsSixDigits) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string body = StreamBytes().substr(10);
  // Only the six digits the packer writes are a size: a huge negative number once
  // overflowed the subtraction of the header's length.
  const char *const sizes[] = {"-9223372036854775808", "-000001", "2456", "0002456", " 02456", "+02456",
                               "00245x", "0x0998"};
  for (const char *size : sizes) {
    SCOPED_TRACE(size);
    const std::string buffer = "R1~" + std::string(size) + "~" + body;
    LoadStream(buffer);
    TraceCapture trace("D1");
    EXPECT_EQ(vl::SetClientLocale(), 204);
    EXPECT_EQ(trace.Joined(), "D1: SetClientLocale(): cannot read total size\n");
    EXPECT_EQ(StreamBytes(), buffer);  // the "~" put back
  }
  LoadStream("R1~002456~" + body);
  EXPECT_EQ(vl::SetClientLocale(), 0);
}

// ---------------------------------------------------------------------------
// 6. GetLocaleInfo
// ---------------------------------------------------------------------------

// A body whose every string field i (1-60) is "f<i>" and every integer field i.
std::string HandWrittenBody(const std::string &groupingHex) {
  std::string body;
  for (int code = 0; code < 256; ++code) body += code == 'A' ? "0e53" : "0040";
  for (int code = 0; code < 256; ++code) body += code == 'q' ? "51" : "3f";
  for (int code = 0; code < 256; ++code) body += code == 'Q' ? "71" : "2A";
  for (int field = 1; field <= 60; ++field) {
    if (field == 51 || field == 53 || field == 55 || field == 56 || field == 58 || field == 60) {
      body += std::to_string(field) + "~";
    } else if (field == 47) {
      body += Entry(groupingHex);
    } else {
      body += Entry("f" + std::to_string(field));
    }
  }
  return body;
}

TEST_F(LocaleTest, HandWrittenBodyDecodesFieldByField) {
  const std::string body = HandWrittenBody("0302");
  ASSERT_EQ(vl::GetLocaleInfo(body.data(), static_cast<long>(body.size())), 0);
  EXPECT_EQ(vl::Locale().LocaleClass['A'], 0x0E53u);
  EXPECT_EQ(vl::Locale().LocaleClass['B'], 0x0040u);
  EXPECT_EQ(vl::Locale().LocaleUpper['q'], 'Q');
  EXPECT_EQ(vl::Locale().LocaleUpper['r'], '?');
  EXPECT_EQ(vl::Locale().LocaleLower['Q'], 'q');
  EXPECT_EQ(vl::Locale().LocaleLower['R'], '*');
  const vl::LanguageInfo &li = vl::Locale().LangInfo;
  EXPECT_EQ(li.dayAbbr[0].view(), "f1");
  EXPECT_EQ(li.dayName[0].view(), "f8");
  EXPECT_EQ(li.monthAbbr[0].view(), "f15");
  EXPECT_EQ(li.monthName[0].view(), "f27");
  EXPECT_EQ(li.monthName[11].view(), "f38");
  EXPECT_EQ(li.dateTimeFormat.view(), "f39");
  EXPECT_EQ(li.dateFormat.view(), "f40");
  EXPECT_EQ(li.timeFormat.view(), "f41");
  EXPECT_EQ(li.amMarker.view(), "f42");
  EXPECT_EQ(li.pmMarker.view(), "f43");
  EXPECT_EQ(li.timeFormat2.view(), "f44");
  EXPECT_EQ(li.decimalPoint.view(), "f45");
  EXPECT_EQ(li.thousandsSep.view(), "f46");
  EXPECT_EQ(li.grouping.view(), "\x03\x02");
  EXPECT_EQ(li.overflowFill.view(), "f48");
  EXPECT_EQ(li.minusSign.view(), "f49");
  EXPECT_EQ(li.dateFormatYmd.view(), "f50");
  EXPECT_EQ(li.dateLengthYmd, 51);
  EXPECT_EQ(li.dateFormatCymd.view(), "f52");
  EXPECT_EQ(li.dateLengthCymd, 53);
  EXPECT_EQ(li.timeFormatHm.view(), "f54");
  EXPECT_EQ(li.timeLength, 55);
  EXPECT_EQ(li.hm100Precision, 56);
  EXPECT_EQ(li.monthFormat.view(), "f57");
  EXPECT_EQ(li.monthLength, 58);
  EXPECT_EQ(li.weekFormat.view(), "f59");
  EXPECT_EQ(li.weekLength, 60);
}

TEST_F(LocaleTest, LangInfoNumbersAndCounts) {
  // "~" alone reads as 0; a NUL byte ends a string; an empty string is present.
  std::string body = HandWrittenBody("");
  const std::size_t at = 2048;
  body.replace(at, 4, "~");  // field 1 "2~f1" becomes an empty string
  ASSERT_EQ(vl::GetLocaleInfo(body.data(), static_cast<long>(body.size())), 0);
  EXPECT_TRUE(vl::Locale().LangInfo.dayAbbr[0].present());
  EXPECT_TRUE(vl::Locale().LangInfo.dayAbbr[0].empty());
  EXPECT_TRUE(vl::Locale().LangInfo.grouping.empty());

  std::string withNul = HandWrittenBody("");
  withNul.replace(at, 4, std::string("2~a\0", 4));
  ASSERT_EQ(vl::GetLocaleInfo(withNul.data(), static_cast<long>(withNul.size())), 0);
  EXPECT_EQ(vl::Locale().LangInfo.dayAbbr[0].view(), "a");
}

TEST_F(LocaleTest, CorruptBodiesNameTheirSection) {
  const std::string good = HandWrittenBody("03");
  auto with = [&](std::size_t at, const std::string &bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  const std::size_t lang = 2048;
  struct Case {
    const char *id;
    std::string body;
    int status;
    const char *line;
  } cases[] = {
      {"non-hex in IS", with(3, "g"), 1, "D1: GetLocaleInfo() failed: buffer is corrupt [IS]"},
      {"blank in IS", with(1020, " "), 1, "D1: GetLocaleInfo() failed: buffer is corrupt [IS]"},
      {"non-hex in TOUPPER", with(1024 + 511, "x"), 1, "D1: GetLocaleInfo() failed: buffer is corrupt [TOUPPER]"},
      {"non-hex in TOLOWER", with(1536, "~"), 1, "D1: GetLocaleInfo() failed: buffer is corrupt [TOLOWER]"},
      {"letter in a count", with(lang, "x"), 1, "D1: GetLocaleInfo() failed: buffer is corrupt [LANGINFO]"},
      {"count beyond the body", good.substr(0, good.size() - 8) + "9~f5960~", 1,
       "D1: GetLocaleInfo() failed: buffer is corrupt [LANGINFO]"},
      {"ten-digit count", good.substr(0, lang) + "1234567890~", 1,
       "D1: GetLocaleInfo() failed: buffer is corrupt [LANGINFO]"},
      {"cut in LANGINFO", good.substr(0, good.size() - 1), 1,
       "D1: GetLocaleInfo() failed: buffer is corrupt [LANGINFO]"},
      {"odd grouping", HandWrittenBody("030"), 2, "D1: GetLocaleInfo() failed: heap overflow [LANGINFO]"},
      {"bad grouping digit", HandWrittenBody("0g"), 2, "D1: GetLocaleInfo() failed: heap overflow [LANGINFO]"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    ASSERT_EQ(dll_SetLocale(""), 0);
    TraceCapture trace("D1");
    EXPECT_EQ(vl::GetLocaleInfo(c.body.data(), static_cast<long>(c.body.size())), c.status);
    EXPECT_EQ(trace.Joined(), std::string(c.line) + "\n");
    EXPECT_FALSE(vl::Locale().LangInfo.dayAbbr[0].present());
    EXPECT_FALSE(vl::Locale().LangInfo.decimalPoint.present());
    EXPECT_FALSE(vl::Locale().LangInfo.minusSign.present());
    EXPECT_EQ(vl::OverflowFill(), '?');
  }
}

TEST_F(LocaleTest, EntriesDecodedBeforeACorruptSectionStay) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  std::string body = HandWrittenBody("03");
  body[1536] = 'z';  // TOLOWER
  EXPECT_EQ(vl::GetLocaleInfo(body.data(), static_cast<long>(body.size())), 1);
  EXPECT_EQ(vl::Locale().LocaleClass['B'], 0x0040u);  // from the new IS
  EXPECT_EQ(vl::Locale().LocaleUpper['r'], '?');      // from the new TOUPPER
  EXPECT_EQ(vl::Locale().LocaleLower['B'], 'b');      // the old TOLOWER
}

TEST_F(LocaleTest, EveryTruncationIsCorrupt) {
  const std::string body = HandWrittenBody("0303");
  for (std::size_t n = 0; n < body.size(); ++n) {
    // Each prefix lives in a buffer of its own size, so a read past it is caught.
    std::vector<char> prefix(body.begin(), body.begin() + static_cast<long>(n));
    ASSERT_EQ(vl::GetLocaleInfo(prefix.data(), static_cast<long>(n)), 1) << n;
  }
  EXPECT_EQ(vl::GetLocaleInfo(body.data(), -5), 1);
  EXPECT_EQ(vl::GetLocaleInfo(body.data(), static_cast<long>(body.size())), 0);
}

TEST_F(LocaleTest, MutatedBuffersNeverCrash) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  const std::string good = StreamBytes();
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string buf = good;
    const int changes = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < changes; ++i) buf[rng() % buf.size()] = static_cast<char>(rng() % 256);
    if (rng() % 3 == 0) buf.resize(rng() % buf.size());
    LoadStream(buf);
    const int status = vl::SetClientLocale();
    ASSERT_TRUE(status == 0 || status == 2 || status == 204) << status;
  }
}

// ---------------------------------------------------------------------------
// 7. The checker's set-up from the environment
// ---------------------------------------------------------------------------

std::map<std::string, std::string> &Env() {
  static std::map<std::string, std::string> env;
  return env;
}

const char *LookUp(const char *name) {
  const auto it = Env().find(name);
  return it != Env().end() ? it->second.c_str() : nullptr;
}

class EnvLocaleTest : public LocaleTest {
 protected:
  void SetUp() override {
    LocaleTest::SetUp();
    Env().clear();
    vl::SetEnvForTest(LookUp);
  }
  // Runs the set-up and returns its status; `err` gets standard error.
  int Run(std::string &err) {
    testing::internal::CaptureStderr();
    const int status = vl::setup_locale_from_env();
    err = testing::internal::GetCapturedStderr();
    return status;
  }
};

TEST_F(EnvLocaleTest, NoVariablesMeansC) {
  std::string err;
  EXPECT_EQ(Run(err), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.view(), ".");
  EXPECT_EQ(ProcessLocale(LC_ALL), "C");
}

TEST_F(EnvLocaleTest, VelmlangWithVariantGoesToCollationOnly) {
  VL_SKIP_WITHOUT_LOCALES("de_DE");
  Env()["VELMLANG"] = "de_DE@nosuchvariant";
  Env()["LANG"] = "fr_FR";  // not used when VELMLANG is set
  TraceCapture trace("N1");
  std::string err;
  EXPECT_EQ(Run(err), 0);
  EXPECT_EQ(err,
            "qorv: Warning!  The following language(s) are not available:\n"
            "                LC_COLLATE=de_DE@nosuchvariant\n"
            "Continuing processing using default language.\n");
  EXPECT_EQ(trace.Joined(), "N1: set_locale(): LC_COLLATE=de_DE@nosuchvariant\n");
  EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.view(), ",");
  EXPECT_EQ(ProcessLocale(LC_NUMERIC), "C");
  EXPECT_EQ(ProcessLocale(LC_CTYPE), "de_DE");
  EXPECT_EQ(ProcessLocale(LC_COLLATE), "C");
}

TEST_F(EnvLocaleTest, TwoRefusalsShareOneHeader) {
  VL_SKIP_WITHOUT_LOCALES("de_DE");
  Env()["LANG"] = "de_DE";
  Env()["LC_COLLATE"] = "xx_BAD";
  Env()["LC_CTYPE"] = "yy_BAD";
  std::string err;
  EXPECT_EQ(Run(err), 0);
  EXPECT_EQ(err,
            "qorv: Warning!  The following language(s) are not available:\n"
            "                LC_COLLATE=xx_BAD\n"
            "                LC_CTYPE=yy_BAD\n"
            "Continuing processing using default language.\n");
  EXPECT_EQ(vl::Locale().LangInfo.thousandsSep.view(), ".");
  EXPECT_EQ(ProcessLocale(LC_CTYPE), "C");
  EXPECT_EQ(ProcessLocale(LC_COLLATE), "C");
}

TEST_F(EnvLocaleTest, LangIsTheBaseOfUnsetCategories) {
  VL_SKIP_WITHOUT_LOCALES("de_DE", "fr_FR");
  Env()["LANG"] = "de_DE";
  Env()["LC_CTYPE"] = "fr_FR";
  std::string err;
  EXPECT_EQ(Run(err), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(ProcessLocale(LC_CTYPE), "fr_FR");
  EXPECT_EQ(ProcessLocale(LC_COLLATE), "de_DE");
  EXPECT_EQ(ProcessLocale(LC_NUMERIC), "C");
  EXPECT_EQ(ProcessLocale(LC_TIME), "C");
}

TEST_F(EnvLocaleTest, EmptyVelmlangCountsAsUnsetAndARefusedLangIsReported) {
  Env()["VELMLANG"] = "";
  Env()["LANG"] = "zz_NONE";
  std::string err;
  EXPECT_EQ(Run(err), 0);
  EXPECT_EQ(err,
            "qorv: Warning!  The following language(s) are not available:\n"
            "                LANG=zz_NONE\n"
            "                LC_COLLATE=zz_NONE\n"
            "                LC_CTYPE=zz_NONE\n"
            "Continuing processing using default language.\n");
  EXPECT_EQ(vl::Locale().LangInfo.decimalPoint.view(), ".");
}

TEST_F(EnvLocaleTest, SetLocaleWritesTheHeaderOncePerRun) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(vl::set_locale(LC_TIME, "bad1", false));
  EXPECT_TRUE(vl::set_locale(LC_MONETARY, "C", false));
  EXPECT_FALSE(vl::set_locale(LC_NUMERIC, "bad2", false));
  EXPECT_TRUE(vl::set_locale(LC_CTYPE, "C", true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "qorv: Warning!  The following language(s) are not available:\n"
            "                LC_TIME=bad1\n"
            "                LC_NUMERIC=bad2\n"
            "Continuing processing using default language.\n");
}

}  // namespace
