// Test plan for numbers in fields (numfmt):
//   1. Flag words from FFMT strings.
//   2. FmtNum by table: every flag, the overflow retries in their order, grouping
//      (3,3 / 3,2 / a closing CHAR_MAX), the locale's decimal point, thousands
//      separator, minus sign and fill, and their unset forms.
//   3. FmtNum bad input: NaN, infinities, 1e300, -0, huge and negative lengths
//      and precisions.
//   4. FmtNum against snprintf for many random values, widths and precisions.
//   5. FmtNum trace lines at their levels.
//   6. ScanNum by table: every mode and result code, separators, bounds, traces.
//   7. ScanNum against strtod for random texts; doubles read as from_chars reads
//      them, with the library's from_chars and without it.
//   8. FldScanNum: validity classes, value types, the bad character.
//   9. FmtCheckValid: class syntax and checks.
//  10. Host functions chk_Num, fmt_Num and scan_Num, also through VlCall and real
//      locales.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <clocale>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "format.h"
#include "format_host.h"
#include "format_testutil.h"
#include "host.h"
#include "testutil.h"

namespace {

using fmttest::Conventions;
using fmttest::InstallLocale;
using vltest::HostBuf;
using vltest::TraceCapture;

const double kNaN = std::nan("");
const double kInf = HUGE_VAL;

class NumFmtTest : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    InstallLocale(Conventions{});
  }
};

struct Formatted {
  int fits;
  std::string text;
};

Formatted Fmt(double value, int len, int prec, const char *ffmt) {
  vl::FieldText out;
  out.Assign(std::string(vl::kTextWork, '#'));  // a formatter replaces the whole text
  const int fits = vl::FldFmtNum(out, value, len, prec, ffmt);
  return {fits, out.data()};
}

struct FmtCase {
  const char *id;
  double value;
  int len, prec;
  const char *ffmt;
  const char *expected;
  int fits;
};

void RunFmtCases(const Conventions &conventions, const std::vector<FmtCase> &cases) {
  InstallLocale(conventions);
  for (const FmtCase &c : cases) {
    SCOPED_TRACE(c.id);
    const Formatted got = Fmt(c.value, c.len, c.prec, c.ffmt);
    EXPECT_EQ("[" + got.text + "]", "[" + std::string(c.expected) + "]");
    EXPECT_EQ(got.fits, c.fits);
  }
}

// ---------------------------------------------------------------------------
// 1. Flag words
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, FlagWordsFromFfmtStrings) {
  fmttest::ExpectFlagWords(vl::NumFlagWord, {
      {"", 0},
      {nullptr, 0},
      {"lRbzTPg", vl::FMT_RIGHT | vl::FMT_TZERO | vl::FMT_PZERO},
      {"BGLPRSTZ", 0x1000 | 0x100 | 0x80 | 0x40 | 0x20 | 0x10 | 0x1},
      {"RL", 0},
      {"LR", vl::FMT_RIGHT},
      {"bgprstz", 0},
      {"CUVO?9 ", 0},  // text letters do nothing here
      {"S", vl::FMT_RSIGN},
  });
}

// ---------------------------------------------------------------------------
// 2. FmtNum by table
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, GermanConventions) {
  RunFmtCases(fmttest::German(), {
      {"no grouping", 1234.5, 10, 2, "lRbzTPg", "   1234,50", 1},
      {"grouping", 1234.5, 10, 2, "lRbzTPG", "  1.234,50", 1},
      {"two separators and a sign", -1234567.891, 14, 2, "lRbzTPG", " -1.234.567,89", 1},
      {"grouping fills the field", 1234567, 9, 0, "lRbzTPG", "1.234.567", 1},
      {"no room to group: retried without", 1234.5, 6, 1, "lRbzTPG", "1234,5", 1},
      {"sign needs a column: retried without grouping", -1234567, 9, 0, "RG", " -1234567", 1},
      {"sign fits before the groups", -123456, 8, 0, "RG", "-123.456", 1},
      {"leading zeros are room for separators", 1234567, 9, 0, "RZG", "1.234.567", 1},
      {"leading zeros are grouped too", 1234.5, 12, 2, "RZTG", "0.001.234,50", 1},
      {"sign replaces a zero before a separator", -1234.5, 12, 2, "RZTG", " -001.234,50", 1},
      {"left-aligned groups", 1234567.5, 14, 1, "LTG", "1.234.567,5", 1},
      {"zero gets no separators", 0.0, 8, 2, "RPTG", "    0,00", 1},
      {"retries start from the caller's width", -1234.5, 7, 2, "RSTG", "1234,5", 1},
  });
}

TEST_F(NumFmtTest, PointConventions) {
  RunFmtCases(Conventions{}, {
      {"trailing zero removed", 12.5, 7, 2, "RP", "   12.5", 1},
      {"point removed with all decimals", 12.0, 7, 2, "RP", "     12", 1},
      {"zero before the point becomes room", 0.5, 3, 2, "RT", ".50", 1},
      {"retry without FMT_TZERO", 0.5, 3, 2, "lRbzTPg", "0.5", 1},
      {"retry without FMT_PZERO", 0.5, 2, 2, "RP", ".5", 1},
      {"no FMT_PZERO retry at 1 or more", 1.5, 2, 2, "RP", "??", 0},
      {"blank zero", 0.0, 5, 2, "lRBzTPg", "", 1},
      {"zero with its zero", 0.0, 5, 2, "lRbzTPg", " 0.00", 1},
      {"zero without the integer zero", 0.0, 5, 2, "RT", "  .00", 1},
      {"zero vanishes without P and T", 0.0, 5, 2, "R", "     ", 1},
      {"sign replaces the first leading zero", -12.5, 7, 2, "lRbZTPg", "-012.50", 1},
      {"left-aligned negative keeps its sign", -12.5, 7, 2, "LrbzTPg", "-12.50", 1},
      {"FMT_RSIGN drops the sign and a column", -12.5, 7, 2, "lRbzTPgS", " 12.50", 1},
      {"FMT_RSIGN, one column", 5, 1, 0, "RS", "?", 0},
      {"FMT_RSIGN positive", 7, 3, 0, "RS", " 7", 1},
      {"too wide", 123456, 5, 0, "", "?????", 0},
      {"sign cannot be dropped", -0.25, 4, 2, "RT", "????", 0},
      {"value printing as zero loses its sign", -0.004, 5, 2, "lRbzTPg", " 0.00", 1},
      {"negative zero", -0.0, 5, 2, "RTP", " 0.00", 1},
      {"blank zero also for tiny values", -0.001, 5, 2, "RBT", "", 1},
      {"left alignment drops blanks", 1234.5, 10, 2, "T", "1234.50", 1},
      {"left, trailing zero removed", 12.5, 7, 2, "P", "12.5", 1},
      {"leading zeros", 42, 5, 0, "RZ", "00042", 1},
      {"leading zeros left-aligned", 42, 5, 0, "Z", "00042", 1},
      {"leading zeros, trailing zero removed", 3.5, 6, 2, "RZ", "0003.5", 1},
      {"FMT_BZERO leaves other values", 5, 4, 0, "RB", "   5", 1},
      {"negative in leading zeros keeps its sign", -0.5, 4, 2, "RZT", "-0.5", 1},
      {"rounding by the library", 2.675, 6, 2, "RT", "  2.67", 1},
      {"ties to even, as the library rounds", 0.5, 3, 0, "R", "  0", 1},
      {"exactly the field", 99999, 5, 0, "R", "99999", 1},
      {"one more digit", 100000, 5, 0, "R", "?????", 0},
  });
}

TEST_F(NumFmtTest, GroupingSizes) {
  RunFmtCases(Conventions{".", ",", "\x03\x02"}, {
      {"3 then 2", 1234567.5, 14, 2, "RG", "   12,34,567.5", 1},
      {"3 then 2, exactly", 123456789, 12, 0, "RG", "12,34,56,789", 1},
      {"short", 999, 5, 0, "RG", "  999", 1},
  });
  RunFmtCases(Conventions{".", ",", "\x03\x7f"}, {
      {"CHAR_MAX ends grouping", 1234567, 10, 0, "RG", "  1234,567", 1},
  });
  RunFmtCases(Conventions{".", ",", "\x04"}, {
      {"groups of 4", 123456789, 12, 0, "RG", " 1,2345,6789", 1},
  });
  RunFmtCases(Conventions{".", "\xA0", "\x03"}, {
      {"one-byte non-breaking space", 1234567.5, 12, 1, "RTG", " 1\xA0" "234\xA0" "567.5", 1},
  });
}

TEST_F(NumFmtTest, UnsetLocaleCharacters) {
  RunFmtCases(Conventions{",", "", "\x03"}, {
      {"no separator: no grouping", 1234.5, 10, 2, "RTG", "   1234,50", 1},
  });
  RunFmtCases(Conventions{",", "\x7f", "\x03"}, {
      {"separator 127 is unset", 1234.5, 10, 2, "RTG", "   1234,50", 1},
  });
  RunFmtCases(Conventions{",", ".", ""}, {
      {"no grouping sizes", 1234.5, 10, 2, "RTG", "   1234,50", 1},
  });
  RunFmtCases(Conventions{"", "", "", "", ""}, {
      {"defaults: point, minus", -1.5, 5, 1, "R", " -1.5", 1},
      {"default fill", 1e6, 3, 0, "R", "???", 0},
  });
  RunFmtCases(Conventions{"\x7f", "", "", "\x7f", "\x7f"}, {
      {"127 is unset: point, minus", -1.5, 5, 1, "R", " -1.5", 1},
      {"127 is unset: fill", 1e6, 3, 0, "R", "???", 0},
  });
  RunFmtCases(Conventions{"*", "", "", "#x", "m"}, {
      {"own point and minus", -1.5, 5, 1, "R", " m1*5", 1},
      {"own fill, first byte", 1e6, 3, 0, "R", "###", 0},
  });
}

// ---------------------------------------------------------------------------
// 3. Bad input
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, BadValuesAndSizesGiveFillRows) {
  const std::string fill255(255, '?');
  RunFmtCases(Conventions{}, {
      {"NaN", kNaN, 5, 2, "RTPG", "?????", 0},
      {"negative NaN", -kNaN, 5, 2, "R", "?????", 0},
      {"infinity", kInf, 5, 2, "R", "?????", 0},
      {"minus infinity", -kInf, 4, 0, "RS", "???", 0},
      {"1e300", 1e300, 10, 2, "RG", "??????????", 0},
      {"largest double", DBL_MAX, 255, 0, "R", fill255.c_str(), 0},
      {"length 0", 1, 0, 0, "R", "", 0},
      {"negative length", 1, -5, 0, "R", "", 0},
      {"INT_MIN length", 1, INT_MIN, 0, "RS", "", 0},
      {"length beyond the work area", 1, 256, 0, "R", fill255.c_str(), 0},
      {"INT_MAX length", 1, INT_MAX, 0, "R", fill255.c_str(), 0},
      {"negative precision", 1, 5, -1, "R", "?????", 0},
      {"precision beyond the work area", 1, 5, 256, "R", "?????", 0},
      {"INT_MAX precision", 1, 5, INT_MAX, "R", "?????", 0},
  });
  const Formatted widest = Fmt(1, 255, 0, "R");
  EXPECT_EQ(widest.fits, 1);
  EXPECT_EQ(widest.text, std::string(254, ' ') + "1");
  const Formatted tiny = Fmt(5e-324, 10, 5, "RTP");
  EXPECT_EQ(tiny.text, "   0.00000");
  const Formatted longest = Fmt(-1e250, 255, 3, "LTG");  // the text needs 255 + more columns
  EXPECT_EQ(longest.fits, 1);
  EXPECT_LE(longest.text.size(), 255u);
}

// ---------------------------------------------------------------------------
// 4. Against snprintf
// ---------------------------------------------------------------------------

// The digits of a number text without sign, separators, leading zeros of the
// integer part and trailing zeros of the decimals; "." stands for the point.
std::string Canonical(const std::string &text, char point, char separator) {
  std::string intPart, decimals;
  bool inDecimals = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') (inDecimals ? decimals : intPart) += c;
    else if (c == point) inDecimals = true;
    else if (c != separator && c != ' ' && c != '-') return "<bad character>";
  }
  intPart.erase(0, intPart.find_first_not_of('0') == std::string::npos ? intPart.size()
                                                                        : intPart.find_first_not_of('0'));
  while (!decimals.empty() && decimals.back() == '0') decimals.pop_back();
  return decimals.empty() ? intPart : intPart + "." + decimals;
}

TEST_F(NumFmtTest, DigitsAgreeWithSnprintf) {
  std::mt19937_64 rng(20260122);
  const char letters[] = "BGLPRSTZ";
  const Conventions conventions[] = {Conventions{".", ",", "\x03"}, fmttest::German(), Conventions{}};
  for (const Conventions &conv : conventions) {
    InstallLocale(conv);
    const char point = conv.point[0];
    const char separator = conv.thousands.empty() ? '\0' : conv.thousands[0];
    for (int round = 0; round < 20000; ++round) {
      const double mantissa = std::uniform_real_distribution<double>(-1.0, 1.0)(rng);
      const int exponent = static_cast<int>(rng() % 16) - 5;
      double value = mantissa * std::pow(10.0, exponent);
      if (rng() % 5 == 0) value = std::round(value);
      const int len = 1 + static_cast<int>(rng() % 24);
      const int prec = static_cast<int>(rng() % 8);
      std::string ffmt;
      for (const char *l = letters; *l != '\0'; ++l) {
        if (rng() % 3 == 0) ffmt += *l;
      }
      const unsigned flags = vl::NumFlagWord(ffmt.c_str());
      const bool rsign = (flags & vl::FMT_RSIGN) != 0;
      const int width = rsign ? len - 1 : len;
      const double shown = rsign ? std::fabs(value) : value;

      char ref[128];
      std::snprintf(ref, sizeof ref, "%.*f", prec, shown);
      const std::string canonicalRef = Canonical(ref, '.', '\0');
      const Formatted got = Fmt(value, len, prec, ffmt.c_str());
      SCOPED_TRACE(std::string(ref) + " len " + std::to_string(len) + " flags " + ffmt + " -> [" + got.text + "]");

      if (got.fits == 0) {
        ASSERT_EQ(got.text, std::string(static_cast<std::size_t>(std::max(rsign && len < 2 ? len : width, 0)), '?'));
        continue;
      }
      if ((flags & vl::FMT_BZERO) != 0 && canonicalRef.empty()) {
        ASSERT_EQ(got.text, "");
        continue;
      }
      ASSERT_EQ(Canonical(got.text, point, separator), canonicalRef);
      const bool negative = ref[0] == '-' && !canonicalRef.empty();
      ASSERT_EQ(got.text.find('-') != std::string::npos, negative);
      if ((flags & vl::FMT_RIGHT) != 0) {
        ASSERT_EQ(got.text.size(), static_cast<std::size_t>(width));
      } else {
        ASSERT_LE(got.text.size(), static_cast<std::size_t>(width));
        ASSERT_TRUE(got.text.empty() || got.text[0] != ' ');
      }
      // With R, T and P alone the text is the library's own, with the locale's point.
      if (flags == (vl::FMT_RIGHT | vl::FMT_TZERO | vl::FMT_PZERO) && !canonicalRef.empty()) {
        char padded[128];
        std::snprintf(padded, sizeof padded, "%*.*f", width, prec, shown);
        std::string expected = padded;
        std::replace(expected.begin(), expected.end(), '.', point);
        if (expected.size() <= static_cast<std::size_t>(width)) {
          ASSERT_EQ(got.text, expected);
        }
      }
    }
  }
}

// ---------------------------------------------------------------------------
// 5. FmtNum trace
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, OverflowRetriesAreTracedInOrder) {
  TraceCapture trace("F2");
  EXPECT_EQ(Fmt(0.5, 1, 2, "RGTP").text, "?");
  EXPECT_EQ(trace.Joined(),
            "F2: FmtNum(val=0.500000000000, len=1, prec=2)\n"
            "F2:   flags: FMT_RIGHT FMT_TZERO FMT_PZERO FMT_GROUP \n"
            "F2: FmtNum(val=0.500000000000, len=1, prec=2)\n"
            "F2:   flags: FMT_RIGHT FMT_TZERO FMT_PZERO \n"
            "F2: FmtNum(val=0.500000000000, len=1, prec=2)\n"
            "F2:   flags: FMT_RIGHT FMT_PZERO \n"
            "F2: FmtNum(val=0.500000000000, len=1, prec=2)\n"
            "F2:   flags: FMT_RIGHT \n"
            "F2:   OVERFLOW\n");
}

TEST_F(NumFmtTest, TraceLinesAtTheirLevels) {
  {
    TraceCapture trace("F3");
    EXPECT_EQ(Fmt(-2.5, 6, 1, "BZTPGS").text, "002.5");
    ASSERT_EQ(trace.lines().size(), 5u);
    EXPECT_EQ(trace.lines()[0].rfind("F3: FldFmtNum(): file numfmt.cpp, line ", 0), 0u);
    EXPECT_EQ(trace.lines()[1].rfind("F3: FmtNum(): file numfmt.cpp, line ", 0), 0u);
    EXPECT_EQ(trace.lines()[2], "F2: FmtNum(val=-2.500000000000, len=6, prec=1)");
    EXPECT_EQ(trace.lines()[3],
              "F2:   flags: FMT_LEFT FMT_BZERO FMT_LZERO FMT_TZERO FMT_PZERO FMT_GROUP FMT_RSIGN ");
    EXPECT_EQ(trace.lines()[4], "F2:   output=[002.5]");
  }
  {
    TraceCapture trace("F1");
    Fmt(1e300, 3, 0, "RGTP");
    EXPECT_EQ(trace.Joined(), "");
  }
}

// ---------------------------------------------------------------------------
// 6. ScanNum by table
// ---------------------------------------------------------------------------

struct ScanCase {
  const char *in;
  int mode, prec;
  double min, max;
  int code;
  double result;
  const char *out;
  char bad;
};

void RunScanCases(const std::vector<ScanCase> &cases) {
  for (const ScanCase &c : cases) {
    SCOPED_TRACE(std::string("[") + c.in + "] mode " + std::to_string(c.mode) + " prec " + std::to_string(c.prec));
    double result = 99;
    std::string out = "junk";
    char bad = 'j';
    EXPECT_EQ(vl::ScanNum(result, out, c.in, c.prec, c.min, c.max, c.mode, bad), c.code);
    EXPECT_EQ(result, c.result);
    if (c.result == 0) {
      EXPECT_FALSE(std::signbit(result));
    }
    EXPECT_EQ(out, c.out);
    EXPECT_EQ(bad, c.bad);
  }
}

constexpr int kNone = vl::FMCHK_NONE, kInt = vl::FMCHK_INT, kLint = vl::FMCHK_LINT, kReal = vl::FMCHK_REAL,
              kLreal = vl::FMCHK_LREAL;

TEST_F(NumFmtTest, ScanModesAndCodes) {
  RunScanCases({
      {"32767", kInt, 0, 0, 0, 0, 32767, "32767", 0},
      {"32768", kInt, 0, 0, 0, 9, 0, "", 0},
      {"-32767", kInt, 0, 0, 0, 0, -32767, "-32767", 0},
      {"-32768", kInt, 0, 0, 0, 8, 0, "", 0},
      {"1.5", kInt, 2, 0, 0, 7, 0, "", 0},
      {"12.00", kInt, 2, 0, 0, 0, 12, "12", 0},
      {"- 5", kInt, 0, 0, 0, 4, 0, "", '-'},
      {"5 5", kNone, 0, 0, 0, 4, 0, "", '5'},
      {"5-", kInt, 0, 0, 0, 5, 0, "", '-'},
      {"--5", kInt, 0, 0, 0, 5, 0, "", '-'},
      {"-", kNone, 0, 0, 0, 5, 0, "", '-'},
      {"1+2", kInt, 0, 0, 0, 0, 12, "12", 0},
      {"+5", kNone, 0, 0, 0, 0, 5, "5", 0},
      {" 5 ", kNone, 0, 0, 0, 0, 5, "5", 0},
      {"-5", kNone, 0, 0, 0, 0, -5, "-5", 0},
      {"1x", kNone, 0, 0, 0, 3, 0, "", 'x'},
      {"1,234", kInt, 0, 0, 0, 3, 0, "", ','},
      {"1\t2", kNone, 0, 0, 0, 3, 0, "", '\t'},
      {"1.2.3", kLreal, 2, 0, 0, 6, 0, "", 0},
      {"", kNone, 2, 0, 0, 1, 0, "", 0},
      {"   ", kNone, 2, 0, 0, 0, 0, "", 0},
      {"0", kNone, 0, 0, 0, 0, 0, "", 0},
      {"-0", kNone, 0, 0, 0, 0, 0, "", 0},
      {"-.", kNone, 2, 0, 0, 0, 0, "", 0},
      {".5", kNone, 1, 0, 0, 0, 0.5, "0.5", 0},
      {"5.", kNone, 0, 0, 0, 0, 5, "5", 0},
      {"2147483647", kLint, 0, 0, 0, 0, 2147483647, "2147483647", 0},
      {"2147483648", kLint, 0, 0, 0, 9, 0, "", 0},
      {"-2147483648", kLint, 0, 0, 0, 8, 0, "", 0},
      {"999999", kReal, 0, 0, 0, 0, 999999, "999999", 0},
      {"1000000", kReal, 0, 0, 0, 9, 0, "", 0},
      {"-999999.5", kReal, 1, 0, 0, 8, 0, "", 0},
      {"99999999999", kLreal, 0, 0, 0, 0, 99999999999.0, "99999999999", 0},
      {"1.234", kNone, 2, 0, 0, 0, 1.23, "1.23", 0},
      // The value is B + A / (place of A) in doubles: 4 + 0.565 lies below 4.565
      // and 7 + 0.935 above 7.935, so they round down and up.
      {"4.565", kLreal, 2, 0, 0, 0, 4.56, "4.56", 0},
      {"7.935", kLreal, 2, 0, 0, 0, 7.94, "7.94", 0},
      {"4.565", kLreal, 3, 4.565, 10, 10, 0, "", 0},
      {"12.50", kNone, 2, 0, 0, 0, 12.5, "12.5", 0},
      {"12.5", kNone, 0, 0, 0, 7, 0, "", 0},
      {"5", kNone, 0, 1, 10, 0, 5, "5", 0},
      {"0.5", kNone, 1, 1, 10, 10, 0, "", 0},
      {"11", kNone, 0, 1, 10, 11, 0, "", 0},
      {"5", kNone, 0, 1, 0, 11, 0, "", 0},
      {"0", kNone, 0, 1, 0, 10, 0, "", 0},
      {"-3", kNone, 0, -5, 0, 0, -3, "-3", 0},
      {"7", kNone, 0, 0, 0, 0, 7, "7", 0},
      {"5", 5, 0, 0, 0, 2, 0, "", 0},
      {"5", -1, 0, 0, 0, 2, 0, "", 0},
      {"5", kNone, -1, 0, 0, 2, 0, "", 0},
      {"5", kNone, 256, 0, 0, 2, 0, "", 0},
      {"5", kInt, -1, 0, 0, 2, 0, "", 0},
  });
}

TEST_F(NumFmtTest, ScanWithLocaleSeparators) {
  InstallLocale(fmttest::German());
  RunScanCases({
      {"1.234,5", kLreal, 2, 0, 0, 0, 1234.5, "1234.5", 0},
      {"1.234.567", kLreal, 2, 0, 0, 0, 1234567, "1234567", 0},
      {"1.234", kLreal, 2, 0, 0, 0, 1.23, "1.23", 0},
      {"1.234", kLreal, 0, 0, 0, 0, 1234, "1234", 0},
      {"1.234", kInt, 2, 0, 0, 0, 1234, "1234", 0},
      {"1,5", kLreal, 0, 0, 0, 7, 0, "", 0},
      {"1,5", kLreal, 1, 0, 0, 0, 1.5, "1.5", 0},
      {"1.234,5", kLreal, 0, 0, 0, 7, 0, "", 0},
      {"1,234,5", kLreal, 2, 0, 0, 6, 0, "", 0},
      {"1.2.3", kLreal, 2, 0, 0, 0, 123, "123", 0},
      {"1.2.3,4", kLreal, 2, 0, 0, 0, 123.4, "123.4", 0},
  });
  InstallLocale(Conventions{",", " ", "\x03", "?", "m"});
  RunScanCases({
      {"m5", kNone, 0, 0, 0, 0, -5, "-5", 0},
      {"-5", kNone, 0, 0, 0, 0, -5, "-5", 0},
      {"5m", kNone, 0, 0, 0, 5, 0, "", 'm'},
      {"1 234", kNone, 0, 0, 0, 4, 0, "", '1'},  // a blank is white space first
  });
}

TEST_F(NumFmtTest, ScanBoundsTheWorkArea) {
  const std::string ones(255, '1');
  double result = 0;
  std::string out;
  char bad = 0;
  ASSERT_EQ(vl::ScanNum(result, out, ones, 2, 0, 0, kNone, bad), 0);
  EXPECT_GT(result, 1.1e254);
  EXPECT_EQ(out.size(), 255u);
  TraceCapture trace("F1");
  EXPECT_EQ(vl::ScanNum(result, out, ones + "1", 2, 0, 0, kNone, bad), 2);
  EXPECT_EQ(trace.Joined(), "F1: ScanNum() failed: fld longer than 255 characters\n");
  const std::string longDecimals = "0." + std::string(250, '0') + "1";
  ASSERT_EQ(vl::ScanNum(result, out, longDecimals, 255, 0, 0, kNone, bad), 0);
  EXPECT_GT(result, 0);
  EXPECT_EQ(out.rfind("0.000", 0), 0u);
  const std::string nines(255, '9');
  ASSERT_EQ(vl::ScanNum(result, out, nines, 255, 0, 0, kLreal, bad), 0);
  EXPECT_GE(out.size(), 255u);  // about 1e255, with no decimals left
  EXPECT_LE(out.size(), 256u);
}

TEST_F(NumFmtTest, ScanTraceLines) {
  struct Case {
    const char *in;
    int mode, prec;
    double min, max;
    const char *line;
  } cases[] = {
      {"- 5", kInt, 0, 0, 0, "F2:   fld[0]: invalid character '-' following white space"},
      {"--5", kInt, 0, 0, 0, "F2:   fld[0]: invalid character '-' following sign"},
      {"5-", kInt, 0, 0, 0, "F2:   fld[1]: invalid sign position"},
      {"1.2.3", kLreal, 2, 0, 0, "F2:   fld[1]: invalid decimal point position"},
      {"1x", kNone, 0, 0, 0, "F2:   fld[1]: invalid character 'x'"},
      {"1.5", kInt, 0, 0, 0, "F2:   illegal post decimal digits"},
      {"32768", kInt, 0, 0, 0, "F2:   value out of range (too high)"},
      {"-32768", kInt, 0, 0, 0, "F2:   value out of range (too low)"},
      {"", kReal, 0, 0, 0, "F2:   fld is empty"},
      {"0", kLint, 0, 1, 10, "F2:   value lower than minimum"},
      {"11", kNone, 0, 1, 10, "F2:   value higher than maximum"},
      {"12.50", kNone, 2, 0, 0, "F2:   output=[12.5]"},
      {"0", kNone, 2, 0, 0, "F2:   output=[]"},
      {"5", 7, 0, 0, 0, "F1: ScanNum() failed: invalid mode [7]"},
      {"5", kNone, -3, 0, 0, "F1: ScanNum() failed: prec=-3 (negative)"},
      {"5", kNone, 300, 0, 0, "F1: ScanNum() failed: prec=300 (too large)"},
  };
  const char *modeLines[] = {"F2:   mode = FMCHK_NONE", "F2:   mode = FMCHK_INT", "F2:   mode = FMCHK_LINT",
                             "F2:   mode = FMCHK_REAL", "F2:   mode = FMCHK_LREAL"};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    TraceCapture trace("F2");
    double result = 0;
    std::string out;
    char bad = 0;
    static_cast<void>(vl::ScanNum(result, out, c.in, c.prec, c.min, c.max, c.mode, bad));
    ASSERT_GE(trace.lines().size(), 2u);
    EXPECT_EQ(trace.lines().front(), std::string("F2: ScanNum(") + c.in + ")");
    EXPECT_EQ(trace.lines().back(), c.line);
    if (c.mode >= 0 && c.mode <= 4) EXPECT_EQ(trace.lines()[1], modeLines[c.mode]);
    else EXPECT_EQ(trace.lines().size(), 2u);
  }
}

// ---------------------------------------------------------------------------
// 7. Against strtod
// ---------------------------------------------------------------------------

// The normalised text of a value: "%.*f" without trailing zeros or a bare point.
std::string Normalised(double value, int prec) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", prec, value);
  std::string s = text;
  if (prec > 0) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

TEST_F(NumFmtTest, ScanAgreesWithStrtod) {
  std::mt19937_64 rng(99);
  for (int round = 0; round < 30000; ++round) {
    const int prec = static_cast<int>(rng() % 9);
    const int intDigits = 1 + static_cast<int>(rng() % 18);
    const int decimals = static_cast<int>(rng() % (prec + 1));
    std::string text = rng() % 2 == 0 ? "-" : "";
    for (int i = 0; i < intDigits; ++i) text += static_cast<char>('0' + rng() % (i == 0 && rng() % 2 ? 2 : 10));
    if (decimals > 0 || rng() % 4 == 0) text += '.';
    for (int i = 0; i < decimals; ++i) text += static_cast<char>('0' + rng() % 10);
    SCOPED_TRACE(text + " prec " + std::to_string(prec));

    double result = 0;
    std::string out;
    char bad = 0;
    ASSERT_EQ(vl::ScanNum(result, out, text, prec, 0, 0, kLreal, bad), 0);
    const double expected = std::strtod(text.c_str(), nullptr);
    // The result is always what the normalised text reads back as.
    ASSERT_EQ(result, out.empty() ? 0.0 : std::strtod(out.c_str(), nullptr));
    if (out.find('.') != std::string::npos) {
      ASSERT_NE(out.back(), '0');
    }
    if (intDigits + decimals <= 15) {
      // Up to 15 digits the integer part and the decimals are exact doubles, and
      // the value is the integer part plus the decimals over their place: within
      // a unit in the last place of the nearest double to the text.
      const std::size_t from = text[0] == '-' ? 1 : 0;
      const std::size_t point = std::min(text.find('.'), text.size());
      const std::string decimalDigits = point < text.size() ? text.substr(point + 1) : "";
      double value = std::strtod(text.substr(from, point - from).c_str(), nullptr);
      if (!decimalDigits.empty()) {
        const double place = std::pow(10.0, static_cast<double>(decimalDigits.size()));
        value += std::strtod(decimalDigits.c_str(), nullptr) / place;
      }
      if (from == 1) value = -value;
      ASSERT_LE(std::fabs(value - expected), std::fabs(std::nextafter(expected, 0.0) - expected));
      const std::string normalised = Normalised(value, prec);
      ASSERT_EQ(out, std::strtod(normalised.c_str(), nullptr) == 0 ? "" : normalised);
    }
  }
}

// Reading a double as from_chars does, with the library's from_chars and with
// the fallback through strtod for libraries without it: the same value, the same
// end and the same error for each text, and "." under any numeric locale.
TEST_F(NumFmtTest, DoublesReadAsFromCharsReadsThem) {
  struct Case {
    std::string text;
    double value;         // 99 when the value is left alone
    std::size_t used;     // bytes read
    std::errc error;
  };
  const std::errc ok{};
  const std::errc bad = std::errc::invalid_argument;
  const std::errc range = std::errc::result_out_of_range;
  const Case cases[] = {
      {"0", 0.0, 1, ok},
      {"-0", -0.0, 2, ok},
      {"1.5", 1.5, 3, ok},
      {"0.1", 0.1, 3, ok},
      {"-2.675", -2.675, 6, ok},
      {"9007199254740993", 9007199254740992.0, 16, ok},  // halfway: to the even neighbour
      {"123456789.123456789", 123456789.123456789, 19, ok},
      {"1e-21", 1e-21, 5, ok},
      {"2.5E3x", 2500.0, 5, ok},
      {"7e", 7.0, 1, ok},       // an exponent without digits is not read
      {"12,5", 12.0, 2, ok},    // the point is "." in every locale
      {"0x1p3", 0.0, 1, ok},    // no hexadecimal: the 0 alone
      {"-0x10", -0.0, 2, ok},
      {"inf", HUGE_VAL, 3, ok},
      {"17976931348623157" + std::string(292, '0'), DBL_MAX, 309, ok},
      {"1e400", 99, 5, range},
      {"-1e400", 99, 6, range},
      {"1e-400", 99, 6, range},
      {"", 99, 0, bad},
      {"+1", 99, 0, bad},
      {" 1", 99, 0, bad},
      {".", 99, 0, bad},
      {"-", 99, 0, bad},
      {"x1", 99, 0, bad},
  };
  const bool german = vltest::HaveLocale("de_DE");
  using Reader = std::from_chars_result (*)(const char *, const char *, double &) noexcept;
  for (const Case &c : cases) {
    for (const Reader read : {Reader{&vl::FromChars}, Reader{&vl::FromCharsByStrtod}}) {
      for (const bool inGerman : {false, true}) {
        if (inGerman && !german) continue;
        SCOPED_TRACE(c.text.substr(0, 30) + (read == &vl::FromChars ? " library" : " strtod") +
                     (inGerman ? " de_DE" : ""));
        if (inGerman) std::setlocale(LC_NUMERIC, "de_DE");  // a decimal comma
        double value = 99;
        const auto [end, error] = read(c.text.data(), c.text.data() + c.text.size(), value);
        std::setlocale(LC_NUMERIC, "C");
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(std::signbit(value), std::signbit(c.value));
        EXPECT_EQ(static_cast<std::size_t>(end - c.text.data()), c.used);
        EXPECT_EQ(error, c.error);
      }
    }
  }
  // Only the given bytes are read, not what follows them.
  double value = 0;
  const char digits[] = "12345";
  EXPECT_EQ(vl::FromCharsByStrtod(digits, digits + 2, value).ptr, digits + 2);
  EXPECT_EQ(value, 12.0);
}

// ---------------------------------------------------------------------------
// 8. FldScanNum
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, FieldScanChecksClassAndValueType) {
  struct Case {
    const char *in, *fvtyp;
    int prec;
    const char *valid;
    int code;
    double result;
    const char *out;
  } cases[] = {
      {"12a", "", 0, "[0-9]*", 3, 0, "a"},
      {"12", "", 0, "[0-9", 3, 0, ""},
      {"1\n", "", 0, nullptr, 3, 0, "\n"},
      {"40000", "i", 0, "", 9, 0, ""},
      {"40000", "IX", 0, "", 0, 40000, "40000"},
      {"40000", nullptr, 0, nullptr, 0, 40000, "40000"},
      {"1000000", "s", 0, "", 9, 0, ""},
      {"3000000000", "d", 0, "", 9, 0, ""},
      {"3000000000", "l", 0, "", 0, 3e9, "3000000000"},
      {"1.25", "L", 1, "[0-9.]*", 0, 1.2, "1.2"},
      {"5 5", "", 0, "", 4, 0, "5"},
      {"1.2.3", "L", 2, "", 6, 0, ""},
      {"x", "", 0, "x", 3, 0, "x"},
      {"", "", 0, "", 1, 0, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    double result = 99;
    std::string out = "junk";
    EXPECT_EQ(vl::FldScanNum(result, out, c.in, c.fvtyp, c.prec, 0, 0, c.valid), c.code);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.out);
  }
}

// ---------------------------------------------------------------------------
// 9. FmtCheckValid
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, ValidityClasses) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  struct Case {
    const char *text, *valid;
    int result;
    char bad;
  } cases[] = {
      {"123", "[0-9]*", 1, 0},
      {"12a", "[0-9]*", 0, 'a'},
      {"1\n2", "[0-9]*", 0, '\n'},
      {"\n", "", 0, '\n'},
      {"any text!", "", 1, 0},
      {"any text!", nullptr, 1, 0},
      {"a\xA0", "", 0, '\xA0'},         // 0xA0 is not printable
      {"\x7f", "", 0, '\x7f'},
      {"\xC8\xA1", "[A-Z]*", 0, '\xC8'},   // 0xC8 is lower case
      {"\xA1\xDE", "[A-Z]*", 1, 0},        // accented upper case, and 0xDE
      {"\xC8\xDE", "[a-z]*", 1, 0},
      {"[", "[0-9]", -1, 0},
      {"", "[0-9]", -1, 0},
      {"", "[9-0]*", -1, 0},
      {"", "[0-9]*x", -1, 0},
      {"", "[0-9", -1, 0},
      {"", "[", -1, 0},
      {"", "[^", -1, 0},
      {"", "[]", -1, 0},
      {"", "[]*", -1, 0},
      {"", "[0-9]**", -1, 0},
      {"", "[0-9]*", 1, 0},
      {"5", "[^0-9]*", 0, '5'},
      {"ab;", "[^;]*", 0, ';'},
      {"ab", "[^;]*", 1, 0},
      {"]x]", "[]x]*", 1, 0},
      {"y", "[]x]*", 0, 'y'},
      {"]", "[^]x]*", 0, ']'},
      {"a-", "[a-]*", 1, 0},
      {"-", "[-a]*", 1, 0},
      {"b", "[a-]*", 0, 'b'},
      {"+", "[+-/]*", 1, 0},           // not a range: + and / are not letters or digits
      {",", "[+-/]*", 0, ','},
      {"C", "[B-D]*", 1, 0},
      {"\xA1", "[B-Z]*", 0, '\xA1'},    // other ranges are code ranges
      {"5", "[0-9A-F]*", 1, 0},
      {"JN", "JN", 1, 0},
      {"J[", "J[", 1, 0},
      {"X", "JN", 0, 'X'},
      {"AZ az 09", "[A-Za-z0-9 ]*", 1, 0},
      {"a_b", "[A-Za-z0-9 ]*", 0, '_'},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.text) + " in " + (c.valid != nullptr ? c.valid : "(null)"));
    char bad = 'j';
    EXPECT_EQ(vl::FmtCheckValid(c.text, c.valid, bad), c.result);
    EXPECT_EQ(bad, c.bad);
  }
}

TEST_F(NumFmtTest, ValidityTraceLines) {
  ASSERT_EQ(dll_SetLocale(""), 0);
  char bad = 0;
  {
    TraceCapture trace("F1");
    EXPECT_EQ(vl::FmtCheckValid("1", "[9-0]*", bad), -1);
    EXPECT_EQ(trace.Joined(), "F1: FmtCheckValid() failed: syntax error in character class '[9-0]*'\n");
  }
  {
    TraceCapture trace("F3");
    EXPECT_EQ(vl::FmtCheckValid("1\x01", "[0-9]*", bad), 0);
    EXPECT_EQ(trace.lines().back(), "F3: FmtCheckValid(): non-printable character 01");
    EXPECT_EQ(vl::FmtCheckValid("1a", "[0-9]*", bad), 0);
    EXPECT_EQ(trace.lines().back(), "F3: FmtCheckValid(): invalid character a");
  }
}

// ---------------------------------------------------------------------------
// 10. Host functions
// ---------------------------------------------------------------------------

TEST_F(NumFmtTest, ChkNum) {
  struct Case {
    const char *type, *in;
    std::int32_t result, rc;
    double res;
    const char *str;
  } cases[] = {
      {"I", " 1 234 ", 0, 0, 1234, "1234"},
      {"I", "12,5", 0, 2, 12.5, ""},
      {"", "", 0, -1, 0, ""},
      {"x", "   ", 0, -1, 0, ""},
      {"L", "1e3", 0, 0, 1000, "1000"},
      {"", "abc", 0, 1, 0, ""},
      {"", "12abc", 0, 1, 12, ""},
      {"", "1/3", 0, 1, 1, ""},
      {"", "nan", 0, 1, 0, ""},
      {"", "inf", 0, 1, 0, ""},
      {"L", "1e999", 0, 1, 0, ""},
      {"D", "2147483647", 0, 0, 2147483647, "2147483647"},
      {"D", "2147483648", 0, 2, 2147483648.0, ""},
      {"D", "-2147483647", 0, 0, -2147483647, "-2147483647"},
      {"D", "1.5", 0, 2, 1.5, ""},
      {"I", "-32768", 0, 2, -32768, ""},
      {"I", "-32767", 0, 0, -32767, "-32767"},
      {"S", "999999.5", 0, 2, 999999.5, ""},
      {"S", "-999999", 0, 0, -999999, "-999999"},
      {"S", "0,25", 0, 0, 0.25, "0.25"},
      {"L", "0.1", 0, 0, 0.1, "0.1"},
      {"L", "123456789012345", 0, 0, 123456789012345.0, "1.23456789012e+14"},
      {"Ix", "7", 0, 0, 7, "7"},
      {"i", "7", 19, 99, 7, ""},
      {"X", "7", 19, 99, 7, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.type) + " [" + c.in + "]");
    HostBuf str(100, c.in);
    double res = -1;
    std::int32_t rc = 99;
    EXPECT_EQ(chk_Num(c.type, &str, &res, &rc), c.result);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(res, c.res);
    EXPECT_EQ(str.str(), c.str);
  }
}

TEST_F(NumFmtTest, ChkNumBoundsAndOddInput) {
  TraceCapture trace("F1");
  HostBuf longest(100, std::string(79, '1') + "   ");
  double res = 0;
  std::int32_t rc = 99;
  EXPECT_EQ(chk_Num("L", &longest, &res, &rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(longest.str(), "1.11111111111e+78");

  HostBuf tooLong(100, std::string(80, '2'));
  res = 7.5;
  rc = 99;
  EXPECT_EQ(chk_Num("L", &tooLong, &res, &rc), 18);
  EXPECT_EQ(tooLong.str(), std::string(80, '2'));
  EXPECT_EQ(res, 7.5);
  EXPECT_EQ(rc, 99);
  EXPECT_EQ(trace.Joined(), "F1: chk_Num() failed: string overflow\n");

  HostBuf withNul(10, std::string("1\0" "2", 3));
  EXPECT_EQ(chk_Num("", &withNul, &res, &rc), 0);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(res, 1);

  HostBuf small(3, "1e4");
  EXPECT_EQ(chk_Num("L", &small, &res, &rc), 18);  // the host refuses "10000"
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(res, 10000);

  trace.lines().clear();
  HostBuf seven(10, "7");
  EXPECT_EQ(chk_Num("q", &seven, &res, &rc), 19);
  EXPECT_EQ(trace.Joined(), "F1: chk_Num() failed: bad type [q]\n");
}

TEST_F(NumFmtTest, FmtNumStoresThroughTheHost) {
  InstallLocale(fmttest::German());
  HostBuf result(20, "old");
  EXPECT_EQ(fmt_Num(1234.5, 10, 2, "lRbzTPG", &result), 0);
  EXPECT_EQ(result.str(), "  1.234,50");
  EXPECT_EQ(fmt_Num(1e9, 4, 0, "", &result), 0);  // the fit is not reported
  EXPECT_EQ(result.str(), "????");
  HostBuf tight(5, "old");
  EXPECT_EQ(fmt_Num(1234.5, 10, 2, "RTG", &tight), 18);
  EXPECT_EQ(tight.str(), "old");
  // Through the binary interface, as a host calls it.
  double value = -0.25;
  std::int32_t len = 6, prec = 2;
  HostBuf out(20);
  void *args[] = {&value, &len, &prec, const_cast<char *>("RT"), &out};
  EXPECT_EQ(VlCall(77, args), 0);
  EXPECT_EQ(out.str(), "  -,25");
}

TEST_F(NumFmtTest, ScanNumMapsCodesToRcAndOut) {
  struct Case {
    const char *in, *fvtyp;
    int prec;
    double min, max;
    const char *valid;
    std::int32_t result, rc;
    double value;
    const char *out;
  } cases[] = {
      {"12.50", "", 2, 0, 0, "", 0, 0, 12.5, "12.5"},
      {"0", "", 2, 0, 0, "", 0, 0, 0, ""},
      {"", "", 2, 0, 0, "", 0, -1, 0, "keep"},
      {"5", "", -1, 0, 0, "", 19, 0, 0, "keep"},
      {"1x", "", 0, 0, 0, "", 0, 3, 0, "x"},
      {"12a", "", 0, 0, 0, "[0-9]*", 0, 3, 0, "a"},
      {"12", "", 0, 0, 0, "[0-9", 0, 3, 0, ""},
      {"- 5", "", 0, 0, 0, "", 0, 1, 0, "keep"},
      {"5-", "", 0, 0, 0, "", 0, 1, 0, "keep"},
      {"1.2.3", "L", 2, 0, 0, "", 0, 1, 0, "keep"},
      {"1.5", "I", 2, 0, 0, "", 0, 1, 0, "keep"},
      {"-40000", "I", 0, 0, 0, "", 0, 1, 0, "keep"},
      {"40000", "I", 0, 0, 0, "", 0, 1, 0, "keep"},
      {"0", "", 0, 1, 10, "", 0, 2, 0, "keep"},
      {"11", "", 0, 1, 10, "", 0, 2, 0, "keep"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    double value = 99;
    HostBuf out(20, "keep");
    std::int32_t rc = 99;
    EXPECT_EQ(scan_Num(c.in, c.fvtyp, c.prec, c.min, c.max, c.valid, &value, &out, &rc), c.result);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(out.str(), c.out);
  }
  HostBuf small(2, "ab");
  double value = 0;
  std::int32_t rc = 99;
  EXPECT_EQ(scan_Num("12345", "", 0, 0, 0, "", &value, &small, &rc), 18);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(value, 12345);
  EXPECT_EQ(small.str(), "ab");
}

TEST_F(NumFmtTest, HostRcOfEveryScanCode) {
  const int expected[] = {0, -1, 0, 3, 1, 1, 1, 1, 1, 1, 2, 2, 1, 1};
  for (int code = 0; code <= 13; ++code) EXPECT_EQ(vl::ScanHostRc(code), expected[code]) << code;
  HostBuf out(10, "keep");
  std::int32_t rc = 0;
  EXPECT_EQ(vl::FinishScan(12, "x", &out, &rc), 0);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(vl::FinishScan(13, "x", &out, &rc), 0);
  EXPECT_EQ(out.str(), "keep");
}

TEST_F(NumFmtTest, RealLocalesThroughTheHost) {
  VL_SKIP_WITHOUT_LOCALES("de_DE", "en_IN.utf8", "fr_FR");
  ASSERT_EQ(dll_SetLocale("LANG=de_DE"), 0);
  HostBuf out(40);
  EXPECT_EQ(fmt_Num(-1234567.891, 14, 2, "lRbzTPG", &out), 0);
  EXPECT_EQ(out.str(), " -1.234.567,89");
  double value = 0;
  std::int32_t rc = 0;
  EXPECT_EQ(scan_Num("-1.234.567,89", "L", 2, 0, 0, "", &value, &out, &rc), 0);
  EXPECT_EQ(value, -1234567.89);
  EXPECT_EQ(out.str(), "-1234567.89");
  ASSERT_EQ(dll_SetLocale("LANG=en_IN.utf8"), 0);
  EXPECT_EQ(fmt_Num(123456789, 12, 0, "RG", &out), 0);
  EXPECT_EQ(out.str(), "12,34,56,789");
  EXPECT_EQ(scan_Num("12,34,56,789", "L", 0, 0, 0, "", &value, &out, &rc), 0);
  EXPECT_EQ(value, 123456789);
  ASSERT_EQ(dll_SetLocale("LANG=fr_FR"), 0);
  EXPECT_EQ(fmt_Num(1234.5, 9, 2, "RTG", &out), 0);
  EXPECT_EQ(out.str(), " 1\xA0" "234,50");
  // The separator is not printable in the built-in class table: typed into a
  // field it is refused.
  EXPECT_EQ(scan_Num("1\xA0" "234,50", "L", 2, 0, 0, "", &value, &out, &rc), 0);
  EXPECT_EQ(rc, 3);
  EXPECT_EQ(out.str(), "\xA0");
  EXPECT_EQ(scan_Num("1234,50", "L", 2, 0, 0, "", &value, &out, &rc), 0);
  EXPECT_EQ(value, 1234.5);
}

}  // namespace
