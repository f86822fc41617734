// Test plan for FmtDate:
//   1. Every directive on 7 December 2026 and on a time of day.
//   2. Flags, widths and precisions.
//   3. The week pre-scan: which year directive shows the week-year.
//   4. Overflow: no room, out-of-range fields, widths of many digits, nesting.
#include <gtest/gtest.h>

#include <climits>

#include "format.h"
#include "format_host.h"
#include "format_testutil.h"
#include "host.h"
#include "testutil.h"


namespace {

// The built-in language information (German names and formats) of the "C" locale.
class FmtDateTest : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    ASSERT_EQ(vl::define_locale(""), 0);
  }
};

std::tm Date(int y, int m, int d, int hour = 0, int min = 0, int sec = 0) {
  std::tm tm{};
  vl::DateToTm(tm, vl::RelativeDay(y, m, d), true);
  tm.tm_hour = hour;
  tm.tm_min = min;
  tm.tm_sec = sec;
  return tm;
}

struct Case {
  const char *format;
  int len;
  const char *expected;
  int result;
};

void Check(const std::tm &tm, const Case &c) {
  SCOPED_TRACE(std::string("[") + c.format + "] len " + std::to_string(c.len));
  vl::FieldText out;
  EXPECT_EQ(vl::FmtDate(out, tm, c.len, c.format), c.result);
  EXPECT_EQ(out, c.expected);
}

TEST_F(FmtDateTest, Directives) {
  const std::tm tm = Date(2026, 12, 7, 13, 5, 9);
  const Case cases[] = {
      {"%d.%m.%y", 8, "07.12.26", 1},
      {"%a., %d. %b %Y", 40, "Mo., 07. Dez. 2026", 1},
      {"%A", 20, "Montag", 1},
      {"%B", 20, "Dezember", 1},
      {"%j", 3, "341", 1},
      {"%W/%y", 5, "50/26", 1},
      {"%H:%M:%S", 8, "13:05:09", 1},
      {"%I%p", 10, "01", 1},
      {"%w", 1, "1", 1},
      {"%Y", 4, "2026", 1},
      {"%x", 40, "Mo., 07. Dez. 2026", 1},
      {"%X", 8, "13:05:09", 1},
      {"%c", 40, "Mo., 07. Dez. 2026, 13:05:09", 1},
      {"100%%", 4, "100%", 1},
      {"%q%d", 8, "%q07", 1},
      {"%-3q", 8, "%-3q", 1},
      {"end%", 8, "end%", 1},
      {"", 5, "", 1},
  };
  for (const Case &c : cases) Check(tm, c);
}

TEST_F(FmtDateTest, FlagsWidthsAndPrecisions) {
  const std::tm tm = Date(2026, 3, 7);
  const Case cases[] = {
      {"%d", 5, "07", 1},     {"%-d", 5, "7", 1},      {"%5d", 5, "    7", 1}, {"%05d", 5, "00007", 1},
      {"%-5d", 5, "7    ", 1}, {"% d", 5, " 7", 1},    {"%1d", 5, "7", 1},    {"%.3B", 5, "M\xe4r", 1},
      {"%.1d", 5, "7", 1},    {"%-.2A", 5, "Sa", 1},   {"%8B", 8, "    M\xe4rz", 1}, {"%-8b|", 9, "M\xe4rz    |", 1},
      {"%j", 3, "066", 1},    {"%2j", 3, "66", 1},    {"%9.1d", 3, "7", 1},   {"%0.2y", 2, "26", 1},
  };
  for (const Case &c : cases) Check(tm, c);
  const std::tm hour0 = Date(2026, 3, 7, 0);
  Check(hour0, {"%I", 2, "12", 1});
  const std::tm hour12 = Date(2026, 3, 7, 12);
  Check(hour12, {"%I", 2, "12", 1});
}

TEST_F(FmtDateTest, WeekYearGoesToTheChosenYearDirective) {
  Check(Date(2027, 1, 1), {"%W/%y", 5, "53/26", 1});
  Check(Date(2027, 1, 1), {"%d.%m.%Y", 10, "01.01.2027", 1});
  Check(Date(2024, 12, 30), {"%W/%Y", 7, "01/2025", 1});
  Check(Date(2024, 12, 30), {"%Y-%W", 7, "2025-01", 1});       // the year directive before %W
  Check(Date(2024, 12, 30), {"%Y %m %W %d", 13, "2024 12 01 30", 1});  // another directive since the year
  Check(Date(2024, 12, 30), {"%Y %m %W", 10, "2025 12 01", 1});         // the format ends first
  Check(Date(2024, 12, 30), {"%Y %W %y", 10, "2024 01 25", 1});        // the year after %W
}

TEST_F(FmtDateTest, Overflow) {
  const std::tm tm = Date(2026, 12, 7);
  const Case cases[] = {
      {"%d.%m.%y", 5, "?????", 0},  {"%d.", 2, "??", 0},        {"%d", 0, "", 0},
      {"", 0, "", 1},               {"%A", 5, "?????", 0},       {"%99999999999999d", 4, "????", 0},
      {"%-6d", 5, "?????", 0},      {"%c", 10, "??????????", 0}, {"abc", 2, "??", 0},
      // An unknown letter is copied as written, whatever its width says.
      {"%9q", 5, "%9q", 1},         {"%-99999q", 8, "%-99999q", 1}, {"%9q", 2, "??", 0},
  };
  for (const Case &c : cases) Check(tm, c);

  std::tm bad = tm;
  bad.tm_mon = 99;
  Check(bad, {"%m", 5, "?????", 0});
  Check(bad, {"%b", 5, "?????", 0});
  bad = tm;
  bad.tm_hour = 24;
  Check(bad, {"%H", 2, "??", 0});
  bad = tm;
  bad.tm_mday = INT_MIN;
  Check(bad, {"%d", 2, "??", 0});
}

TEST_F(FmtDateTest, TraceLines) {
  vltest::TraceCapture trace("F2");
  vl::FieldText out;
  vl::FmtDate(out, Date(2026, 12, 7), 8, "%d.%m.%y");
  vl::FmtDate(out, Date(2026, 12, 7), 2, "%d.%m.%y");
  EXPECT_EQ(trace.Joined(),
            "F2: FmtDate(len=8, fmt=%d.%m.%y)\nF2:   output=[07.12.26]\n"
            "F2: FmtDate(len=2, fmt=%d.%m.%y)\nF2:   OVERFLOW\n");
}

}  // namespace

namespace {

// Test plan for the field values:
//   5. FldScanWeek's date mark and its trace lines.
//   6. Scanning results out of the 32-bit range.
//   7. Field lengths beyond the work field.
class DateFieldTest : public FmtDateTest {};

TEST_F(DateFieldTest, WeekScannerMarksDatesAndTraces) {
  vltest::TraceCapture trace("F3");
  std::int32_t result = 0;
  std::string out;
  ASSERT_EQ(vl::FldScanWeek(result, out, "07.12.26", "YMD", "", ""), 0);
  EXPECT_EQ(result, 20261207);
  ASSERT_EQ(vl::FldScanWeek(result, out, "50/26", "YMD", "", ""), 0);
  EXPECT_EQ(result, 202650);
  std::string lines;
  for (const std::string &l : trace.lines()) {
    if (l.rfind("F3: flg=", 0) == 0 || l.rfind("F3: tm_year=", 0) == 0) lines += l + "\n";
  }
  EXPECT_EQ(lines,
            "F3: flg=1, fvt=YMD\nF3: tm_year=126 tm_mon=11 tm_mday=7\n"
            "F3: flg=0, fvt=YMD\nF3: tm_year=126 tm_mon=11 tm_mday=7\n");
}

TEST_F(DateFieldTest, ScansNeverOverflowTheResult) {
  std::int32_t result = 7;
  std::string out;
  EXPECT_EQ(vl::FldScanTime(result, out, "99999999999", "HM100", "", ""), vl::kScanTooHigh);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(vl::FldScanTime(result, out, "-99999999999", "HM100", "", ""), vl::kScanTooLow);
  EXPECT_EQ(vl::FldScanTime(result, out, "21474836.47", "HM100", "", ""), vl::kScanOk);
  EXPECT_EQ(result, 2147483647);
  EXPECT_EQ(vl::FldScanDate(result, out, "31.12.9999", "GREG", "%d.%m.%Y", ""), vl::kScanOk);
  EXPECT_EQ(result, vl::RelativeDay(9999, 12, 31));
}

// A field longer than the work field keeps a text that fits there; a longer text
// is a row of fill characters as long as the work field.
TEST_F(DateFieldTest, LongFieldsKeepATextThatFitsTheWorkField) {
  vl::FieldText out;
  EXPECT_EQ(vl::FldFmtDate(out, 20065, true, vl::kTextWork, "%d"), 1);
  EXPECT_EQ(out, "07");
  EXPECT_EQ(vl::FldFmtDate(out, 20065, true, vl::kTextWork + 1, "%d"), 1);
  EXPECT_EQ(out, "07");
  EXPECT_EQ(vl::FldFmtMonth(out, 202612, 1 << 30, "%m"), 1);
  EXPECT_EQ(out, "12");
  const std::string fits(vl::kTextWork - 2, '-');
  EXPECT_EQ(vl::FldFmtDate(out, 20065, true, 1 << 30, (fits + "%d").c_str()), 1);
  EXPECT_EQ(out, fits + "07");
  EXPECT_EQ(vl::FldFmtDate(out, 20065, true, 1 << 30, (fits + "x%d").c_str()), 0);
  EXPECT_EQ(out, std::string(vl::kTextWork, '?'));
  EXPECT_EQ(vl::FldFmtTime(out, 45000, INT_MAX, "%-999999H"), 0);
  EXPECT_EQ(out, std::string(vl::kTextWork, '?'));
  // An empty format writes nothing, so no length makes it overflow.
  EXPECT_EQ(vl::FldFmtMonth(out, 202612, vl::kTextWork + 1, ""), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(vl::FldFmtTime(out, 45000, 1 << 30, nullptr), 1);
  EXPECT_EQ(out, "");
}

// An empty format is still run through FmtDate, with its trace lines; a value of 0
// is not.
TEST_F(DateFieldTest, EmptyDateFormatRunsTheFormatter) {
  vltest::TraceCapture trace("F2");
  vl::FieldText out;
  out.Assign("x");
  EXPECT_EQ(vl::FldFmtDate(out, 20065, true, 8, ""), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(vl::FldFmtDate(out, 20261207, false, 8, nullptr), 1);
  EXPECT_EQ(vl::FldFmtDate(out, 0, true, 8, "%d"), 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(trace.Joined(),
            "F2: FmtDate(len=8, fmt=)\nF2:   output=[]\n"
            "F2: FmtDate(len=8, fmt=)\nF2:   output=[]\n");
}

// A month value is year * 100 + month, both parts taken with the value's sign; the
// text shows day 1 of that month, which runs on by the day-number formula when the
// month is outside 1-12. Year -2026 is -126 by the year rule; its month -12 is
// March-based month 1 of year -127, one day before 1 December -128.
TEST_F(DateFieldTest, MonthValuesShowTheFirstDayOfTheirMonth) {
  const struct {
    std::int64_t value;
    const char *expected;
  } cases[] = {
      {202612, "01.12.2026"}, {2612, "01.12.1926"},  {202600, "01.12.2025"}, {202613, "01.01.2027"},
      {-7301, "01.11.1826"},  {-7300, "01.12.1826"}, {-202612, "30.11.-128"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    vl::FieldText out;
    EXPECT_EQ(vl::FldFmtMonth(out, c.value, 20, "%d.%m.%Y"), 1);
    EXPECT_EQ(out, c.expected);
  }
}

TEST_F(DateFieldTest, Y2kModeTracesItsEntryAndKeepsTheModeOnAFailure) {
  vltest::TraceCapture trace("F3");
  EXPECT_EQ(dict_Y2kMode(1), vl::kHostOk);
  EXPECT_EQ(dict_Y2kMode(3), vl::kHostFailed);
  EXPECT_EQ(dict_Y2kMode(INT32_MIN), vl::kHostFailed);
  EXPECT_EQ(vl::Locale().y2kMode, 1);
  const auto &lines = trace.lines();
  ASSERT_EQ(lines.size(), 5u) << trace.Joined();
  for (std::size_t i : {0u, 1u, 3u}) EXPECT_EQ(lines[i].rfind("F3: dict_Y2kMode(): file ", 0), 0u) << lines[i];
  EXPECT_EQ(lines[2], "F1: dict_Y2kMode() failed: mode 3 is not 0, 1 or 2");
  EXPECT_EQ(lines[4], "F1: dict_Y2kMode() failed: mode -2147483648 is not 0, 1 or 2");
}

TEST_F(DateFieldTest, WeekDefaultsComeFromTheLocale) {
  vl::FieldText out;
  vl::FldFmtWeek(out, 202650, 0, "KW", nullptr);
  EXPECT_EQ(out, "50/26");
  vl::FldFmtWeek(out, 202650, 4, "KW", "");  // a given length stays
  EXPECT_EQ(out, "????");
  vl::Locale().y2kMode = 1;
  vl::FldFmtWeek(out, 9950, 0, "KW", "");  // below 100000: a week in mode 1, of 1999
  EXPECT_EQ(out, "50/99");
  vl::FldFmtWeek(out, 100101, 0, "YMD", "");  // a date in mode 1
  EXPECT_EQ(out, "01.01.10");
}

}  // namespace
