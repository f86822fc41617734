// Test plan for texts in fields (textfmt):
//   1. Flag words from FFMT strings.
//   2. FmtText by table: trimming, cutting, the fill row, alignment, case
//      mapping through the Roman-8 tables, the bounds of the work field.
//   3. FmtText trace lines at their levels.
//   4. FldScanText: the formatted text against the validity class.
//   5. Host functions fmt_Text and scan_Text, also through VlCall.
//   6. Bad input: long texts, bytes 0x80 to 0xFF, control characters.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "format.h"
#include "format_host.h"
#include "format_testutil.h"
#include "host.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;
using vltest::TraceCapture;

class TextFmtTest : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    ASSERT_EQ(dll_SetLocale(""), 0);
  }
};

struct Formatted {
  int fits;
  std::string text;
};

Formatted Fmt(const std::string &text, int len, const char *ffmt) {
  vl::FieldText out;
  out.Assign(std::string(vl::kTextWork, '#'));  // a formatter replaces the whole text
  const int fits = vl::FldFmtText(out, text, len, ffmt);
  return {fits, out.data()};
}

TEST_F(TextFmtTest, FlagWordsFromFfmtStrings) {
  fmttest::ExpectFlagWords(vl::TextFlagWord, {
      {"", 0},
      {nullptr, 0},
      {"RCZTO", vl::FMT_RIGHT | vl::FMT_CENTR | vl::FMT_LBLNK | vl::FMT_TBLNK | vl::FMT_OVFL},
      {"U", vl::FMT_UCASE},
      {"UV", vl::FMT_LCASE},
      {"VU", vl::FMT_UCASE},
      {"RL", 0},
      {"LR", vl::FMT_RIGHT},
      {"rcztuvol", 0},
      {"BGPS", 0},  // number letters do nothing here
  });
}

TEST_F(TextFmtTest, FormatsByTable) {
  const std::string fill279(279, '?');
  const std::string right279 = std::string(278, ' ') + "x";
  struct Case {
    const char *id;
    std::string text;
    int len;
    const char *ffmt;
    std::string expected;
    int fits;
  } cases[] = {
      {"trimmed", "  abc  ", 6, "", "abc", 1},
      {"right", "  abc  ", 6, "R", "   abc", 1},
      {"centred, nothing after", "  abc  ", 6, "C", " abc", 1},
      {"centre wins over right", "  abc  ", 6, "RC", " abc", 1},
      {"leading blanks stay", "  abc  ", 6, "Z", "  abc", 1},
      {"both blanks stay, cut", "  abc  ", 6, "ZT", "  abc ", 1},
      {"trailing blanks stay", "  abc  ", 6, "T", "abc  ", 1},
      {"right with trailing blanks", "  abc  ", 6, "RT", " abc  ", 1},
      {"centre rounds down", "ab", 5, "C", " ab", 1},
      {"cut", "abcdefgh", 5, "", "abcde", 1},
      {"cut, right", "abcdefgh", 5, "R", "abcde", 1},
      {"fill row", "abcdefgh", 5, "O", "?????", 0},
      {"exactly the field under O", "abcdefgh", 8, "O", "abcdefgh", 1},
      {"upper case through the tables", "\xC8x\xDE" "1", 4, "U", "\xA1X\xDE" "1", 1},
      {"lower case", "ABC\xA1", 4, "V", "abc\xC8", 1},
      {"last case letter wins", "aBc", 3, "VU", "ABC", 1},
      {"all blank, right", "    ", 4, "R", "    ", 1},
      {"all blank", "    ", 4, "", "", 1},
      {"all blank, centred", "    ", 5, "C", "  ", 1},
      {"all blank, both kept", "    ", 4, "ZT", "    ", 1},
      {"all blank, leading kept", "    ", 4, "Z", "", 1},
      {"empty text, right", "", 3, "R", "   ", 1},
      {"length 0", "abc", 0, "R", "", 0},
      {"negative length", "abc", -7, "O", "", 0},
      {"widest field", "x", 279, "R", right279, 1},
      {"field beyond the work field", "x", 280, "R", fill279, 0},
      {"INT_MAX, right-aligned", "x", 2147483647, "R", fill279, 0},
      {"INT_MAX, a text that fits the work field", "x", 2147483647, "", "x", 1},
      {"beyond the work field, cut to it", std::string(300, 'y'), 280, "", fill279, 0},
      {"bytes as they are", "\x01\xFF\x7F\t", 4, "R", "\x01\xFF\x7F\t", 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const Formatted got = Fmt(c.text, c.len, c.ffmt);
    EXPECT_EQ("[" + got.text + "]", "[" + c.expected + "]");
    EXPECT_EQ(got.fits, c.fits);
  }
}

TEST_F(TextFmtTest, FillCharacterComesFromTheLocale) {
  fmttest::InstallLocale(fmttest::Conventions{".", "", "", "#", "-"});
  EXPECT_EQ(Fmt("abcdef", 3, "O").text, "###");
  fmttest::InstallLocale(fmttest::Conventions{".", "", "", "\x7f", "-"});
  EXPECT_EQ(Fmt("abcdef", 3, "O").text, "???");
}

TEST_F(TextFmtTest, TraceLinesAtTheirLevels) {
  {
    TraceCapture trace("F3");
    EXPECT_EQ(Fmt("  abc  ", 6, "RCZTUO").text, "??????");
    ASSERT_EQ(trace.lines().size(), 5u);
    EXPECT_EQ(trace.lines()[0].rfind("F3: FldFmtText(): file textfmt.cpp, line ", 0), 0u);
    EXPECT_EQ(trace.lines()[1].rfind("F3: FmtText(): file textfmt.cpp, line ", 0), 0u);
    EXPECT_EQ(trace.lines()[2], "F2: FmtText(txt='  abc  ', len=6)");
    EXPECT_EQ(trace.lines()[3], "F2:   flags: FMT_RIGHT FMT_CENTR FMT_LBLNK FMT_TBLNK FMT_UCASE FMT_OVFL ");
    EXPECT_EQ(trace.lines()[4], "F2:   OVERFLOW");
  }
  {
    TraceCapture trace("F2");
    Fmt("x", 3, "V");
    EXPECT_EQ(trace.Joined(),
              "F2: FmtText(txt='x', len=3)\n"
              "F2:   flags: FMT_LEFT FMT_LCASE \n"
              "F2:   output=[x]\n");
  }
  {
    TraceCapture trace("F1");
    Fmt("abc", 0, "O");
    EXPECT_EQ(trace.Joined(), "");
  }
}

TEST_F(TextFmtTest, ScanChecksTheFormattedText) {
  struct Case {
    const char *in;
    int len;
    const char *ffmt, *valid;
    int code;
    std::string out;
  } cases[] = {
      {" 12", 4, "R", "[0-9]*", 3, " "},
      {"12", 4, "R", "[0-9 ]*", 0, "  12"},
      {"", 4, "R", "[0-9]*", 1, ""},
      {"abc", 5, "U", "[A-Z]*", 0, "ABC"},
      {"abc", 2, "O", "[a-z]*", 3, "?"},
      {"abc", 2, "", "[a-z]*", 0, "ab"},
      {"x", 3, "", "[0-9", 3, ""},
      {"\x01", 3, "", "", 3, "\x01"},
      {"a\xA0", 3, "", nullptr, 3, "\xA0"},
      {"  ", 3, "", "[0-9]*", 0, ""},
      {"JA", 2, "", "JN", 3, "A"},
      {"abc", 0, "", "[0-9]*", 0, ""},
      {"abc", 279, "", "[a-z]*", 0, "abc"},
      {"abc", 280, "", "[a-z]*", 2, ""},  // the work field cannot hold the field
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.in) + " len " + std::to_string(c.len));
    vl::FieldText out;
    out.Assign(std::string(vl::kTextWork, '#'));
    EXPECT_EQ(vl::FldScanText(out, c.in, c.len, c.ffmt, c.valid), c.code);
    EXPECT_EQ(std::string(out.data()), c.out);
  }
  TraceCapture trace("F2");
  vl::FieldText out;
  static_cast<void>(vl::FldScanText(out, "", 3, "", ""));
  EXPECT_EQ(trace.Joined(), "F2:   fld is empty\n");
}

TEST_F(TextFmtTest, HostFunctions) {
  HostBuf result(10, "old");
  EXPECT_EQ(fmt_Text("  abc  ", 6, "R", &result), 0);
  EXPECT_EQ(result.str(), "   abc");
  EXPECT_EQ(fmt_Text("abcdefgh", 5, "O", &result), 0);  // the fit is not reported
  EXPECT_EQ(result.str(), "?????");
  HostBuf tight(3, "old");
  EXPECT_EQ(fmt_Text("  abc  ", 6, "R", &tight), 18);
  EXPECT_EQ(tight.str(), "old");

  struct Case {
    const char *in;
    int len;
    const char *ffmt, *valid;
    std::int32_t rc;
    const char *out;
  } cases[] = {
      {" 12", 4, "R", "[0-9]*", 3, " "},
      {"12", 4, "R", "[0-9 ]*", 0, "  12"},
      {"", 4, "R", "[0-9]*", -1, "keep"},
      {"x", 3, "", "[0-9", 3, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    HostBuf out(10, "keep");
    std::int32_t rc = 99;
    EXPECT_EQ(scan_Text(c.in, c.len, c.ffmt, c.valid, &out, &rc), 0);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(out.str(), c.out);
  }

  // Through the binary interface, as a host calls it.
  std::int32_t len = 4, rc = 99;
  HostBuf out(10, "keep");
  void *args[] = {const_cast<char *>("ab"), &len, const_cast<char *>("RU"), const_cast<char *>("[A-Z ]*"), &out, &rc};
  EXPECT_EQ(VlCall(88, args), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out.str(), "  AB");
  HostBuf small(2, "ab");
  void *fmtArgs[] = {const_cast<char *>("abc"), &len, const_cast<char *>("R"), &small};
  EXPECT_EQ(VlCall(87, fmtArgs), 18);
}

TEST_F(TextFmtTest, LongAndBinaryTextsStayInTheField) {
  std::mt19937 rng(5);
  const char *flagSets[] = {"", "R", "C", "ZT", "RZTO", "CU", "V", "O"};
  for (int round = 0; round < 200; ++round) {
    std::string text(round == 0 ? 1000000 : rng() % 20000, ' ');
    for (char &c : text) {
      if (rng() % 3 != 0) c = static_cast<char>(1 + rng() % 255);
    }
    const int len = static_cast<int>(rng() % 400) - 50;
    for (const char *ffmt : flagSets) {
      vl::FieldText out;
      const int fits = vl::FldFmtText(out, text, len, ffmt);
      const std::size_t n = std::char_traits<char>::length(out.data());
      ASSERT_LE(n, static_cast<std::size_t>(vl::kTextWork));
      if (len >= 1 && len <= vl::kTextWork) {
        ASSERT_LE(n, static_cast<std::size_t>(len));
      }
      ASSERT_TRUE(fits == 0 || fits == 1);
      static_cast<void>(vl::FldScanText(out, text, len, ffmt, "[^\x01-\x1f]*"));
    }
  }
}

}  // namespace
