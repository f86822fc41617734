// Test plan for the calendar core:
//   1. Reference day numbers and relative day numbers.
//   2. Every day from 1 March 1700 to 28 February 2100 against std::chrono's civil
//      calendar: consecutive numbers, round trip, weekday, ISO week and week-year.
//   3. Monday of an ISO week, weeks 0 and 53.
//   4. Values far outside any calendar: no overflow, no crash.
//   5. ScanDate: every accepted form and every failure, with its result code.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>

#include "format.h"
#include "testutil.h"

namespace {

namespace chr = std::chrono;

TEST(CalendarTest, ReferenceDays) {
  EXPECT_EQ(vl::DayNumber(1972, 1, 1), 99287);
  EXPECT_EQ(vl::DayNumber(2000, 1, 1), 109514);
  EXPECT_EQ(vl::DayNumber(1900, 2, 28), 73048);
  EXPECT_EQ(vl::DayNumber(1900, 3, 1), 73049);
  EXPECT_EQ(vl::DayNumber(72, 1, 1), 99287);  // the year rule
  EXPECT_EQ(vl::RelativeDay(1972, 1, 1), 1);
  EXPECT_EQ(vl::RelativeDay(1971, 12, 31), 0);
  EXPECT_EQ(vl::RelativeDay(2026, 12, 7), 20065);
  EXPECT_EQ(vl::RelativeDay(2027, 1, 1), 20090);
  EXPECT_EQ(vl::RelativeDay(1970, 1, 1), -729);
  EXPECT_EQ(vl::DayToDate(20065).wday, 1);  // a Monday
  EXPECT_EQ(vl::DayToDate(1).wday, 6);      // a Saturday
}

TEST(CalendarTest, LeapYears) {
  struct Case {
    long long year;
    bool leap;
  } cases[] = {{2024, true}, {2023, false}, {2000, true}, {1900, false}, {1800, false},
               {2100, false}, {1600, true}, {124, true}, {0, false}, {100, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(vl::IsLeapYear(c.year), c.leap);
  }
}

// ISO week and week-year computed from std::chrono alone.
void IsoWeek(chr::sys_days day, int &week, int &weekYear) {
  const chr::weekday wd{day};
  const int isoWd = wd.iso_encoding();  // 1 = Monday ... 7 = Sunday
  const chr::sys_days thursday = day - chr::days{isoWd - 1} + chr::days{3};
  const chr::year_month_day t{thursday};
  weekYear = static_cast<int>(t.year());
  const chr::sys_days jan1{chr::year_month_day{t.year(), chr::January, chr::day{1}}};
  week = static_cast<int>((thursday - jan1).count() / 7 + 1);
}

TEST(CalendarTest, EveryDayAgainstTheCivilCalendar) {
  const chr::sys_days base{chr::year_month_day{chr::year{1972}, chr::January, chr::day{1}}};
  const chr::sys_days first{chr::year_month_day{chr::year{1700}, chr::March, chr::day{1}}};
  const chr::sys_days last{chr::year_month_day{chr::year{2100}, chr::February, chr::day{28}}};
  int failures = 0;
  for (chr::sys_days d = first; d <= last && failures < 5; d += chr::days{1}) {
    const chr::year_month_day ymd{d};
    const int y = static_cast<int>(ymd.year());
    const int m = static_cast<int>(static_cast<unsigned>(ymd.month()));
    const int dd = static_cast<int>(static_cast<unsigned>(ymd.day()));
    const std::int64_t expected = (d - base).count() + 1;
    const std::int64_t r = vl::RelativeDay(y, m, dd);
    const vl::CalendarDate back = vl::DayToDate(expected);
    const chr::sys_days jan1{chr::year_month_day{ymd.year(), chr::January, chr::day{1}}};
    std::tm tm{};
    tm.tm_year = static_cast<int>(back.year - 1900);
    tm.tm_yday = back.yday;
    tm.tm_wday = back.wday;
    int weekYear = 0;
    const int week = vl::WeekOfYear(tm, weekYear);
    int isoWeek = 0, isoYear = 0;
    IsoWeek(d, isoWeek, isoYear);
    const bool ok = r == expected && back.year == y && back.month == m && back.day == dd &&
                    back.yday == (d - jan1).count() &&
                    back.wday == static_cast<int>(chr::weekday{d}.c_encoding()) && week == isoWeek &&
                    weekYear + 1900 == isoYear;
    if (!ok) {
      ++failures;
      ADD_FAILURE() << y << "-" << m << "-" << dd << ": relative " << r << " (want " << expected << "), back "
                    << back.year << "-" << back.month << "-" << back.day << " yday " << back.yday << " wday "
                    << back.wday << ", week " << week << "/" << weekYear + 1900 << " (want " << isoWeek << "/"
                    << isoYear << ")";
    }
  }
}

// Days no date has get no week, and a %W of them overflows its field (these
// once overflowed the int arithmetic instead).
TEST(CalendarTest, NoWeekForImpossibleDays) {
  struct Case {
    const char *id;
    int year, yday, wday;
  } cases[] = {
      {"day of the year near INT_MAX", 99, INT_MAX - 6, 0}, {"negative day of the year", 99, -1, 3},
      {"weekday 9", 99, 10, 9},                             {"weekday INT_MIN", 99, 10, INT_MIN},
      {"year INT_MAX", INT_MAX, 364, 1},                    {"year INT_MIN", INT_MIN, 0, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    std::tm tm{};
    tm.tm_year = c.year;
    tm.tm_yday = c.yday;
    tm.tm_wday = c.wday;
    int weekYear = 0;
    EXPECT_EQ(vl::WeekOfYear(tm, weekYear), 0);
    vl::FieldText out;
    EXPECT_EQ(vl::FmtDate(out, tm, 7, "%W/%Y"), vl::kFieldOverflow);
    EXPECT_EQ(out.view(), "???????");
  }
}

TEST(CalendarTest, MondayOfIsoWeek) {
  struct Case {
    int year, week;
    int y, m, d;
  } cases[] = {
      {2026, 50, 2026, 12, 7}, {2026, 1, 2025, 12, 29}, {2020, 53, 2020, 12, 28}, {2021, 1, 2021, 1, 4},
      {2023, 1, 2023, 1, 2},   {2015, 1, 2014, 12, 29}, {2026, 0, 2025, 12, 22},  {1900, 50, 1900, 12, 10},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "/" + std::to_string(c.week));
    EXPECT_EQ(vl::MondayOfWeek(c.year, c.week), vl::RelativeDay(c.y, c.m, c.d));
    EXPECT_EQ(vl::DayToDate(vl::MondayOfWeek(c.year, c.week)).wday, 1);
  }
}

TEST(CalendarTest, DateToTmReadsBothEncodings) {
  std::tm tm{};
  tm.tm_hour = 5;
  EXPECT_EQ(vl::DateToTm(tm, 0, true), 0);
  EXPECT_EQ(tm.tm_mday, 0);
  ASSERT_EQ(vl::DateToTm(tm, 20261207, false), 1);
  EXPECT_EQ(tm.tm_year, 126);
  EXPECT_EQ(tm.tm_mon, 11);
  EXPECT_EQ(tm.tm_mday, 7);
  EXPECT_EQ(tm.tm_yday, 340);
  EXPECT_EQ(tm.tm_wday, 1);
  EXPECT_EQ(tm.tm_hour, 5);
  ASSERT_EQ(vl::DateToTm(tm, 261207, false), 1);  // year 26 is 1926
  EXPECT_EQ(tm.tm_year, 26);
  ASSERT_EQ(vl::DateToTm(tm, 20261340, false), 1);  // month 13, day 40 run on
  EXPECT_EQ(tm.tm_year, 127);
  EXPECT_EQ(tm.tm_mon, 1);
  EXPECT_EQ(tm.tm_mday, 9);
}

TEST(CalendarTest, ValuesFarOutsideTheCalendar) {
  for (std::int64_t v : {std::int64_t{INT32_MIN}, std::int64_t{INT32_MAX}, std::int64_t{-1}, std::int64_t{99999999},
                         std::int64_t{-20261207}}) {
    for (bool greg : {true, false}) {
      SCOPED_TRACE(std::to_string(v) + (greg ? " greg" : " ymd"));
      std::tm tm{};
      EXPECT_EQ(vl::DateToTm(tm, v, greg), 1);
      EXPECT_GE(tm.tm_mon, 0);
      EXPECT_LE(tm.tm_mon, 11);
      EXPECT_GE(tm.tm_mday, 1);
      EXPECT_LE(tm.tm_mday, 31);
      EXPECT_GE(tm.tm_wday, 0);
      EXPECT_LE(tm.tm_wday, 6);
      int weekYear = 0;
      const int week = vl::WeekOfYear(tm, weekYear);
      EXPECT_GE(week, 1);
      EXPECT_LE(week, 53);
    }
  }
}

struct ScanCase {
  const char *in;
  const char *format;
  int result;
  int year, month, day;  // expected date when result is 0
};

void CheckScan(const ScanCase &c) {
  SCOPED_TRACE(std::string("[") + c.in + "] with [" + c.format + "]");
  std::tm tm{};
  ASSERT_EQ(vl::ScanDate(tm, c.in, c.format), c.result);
  if (c.result == 0) {
    EXPECT_EQ(tm.tm_year + 1900, c.year);
    EXPECT_EQ(tm.tm_mon + 1, c.month);
    EXPECT_EQ(tm.tm_mday, c.day);
  }
}

TEST(ScanDateTest, AcceptedForms) {
  const ScanCase cases[] = {
      {"07.12.26", "%d.%m.%y", 0, 2026, 12, 7},  {"7/12/26", "%d.%m.%y", 0, 2026, 12, 7},
      {"07 12 26", "%d.%m.%y", 0, 2026, 12, 7},  {"071226", "%d.%m.%y", 0, 2026, 12, 7},
      {"07.12.60", "%d.%m.%y", 0, 1960, 12, 7},  {"01.01.59", "%d.%m.%y", 0, 2059, 1, 1},
      {"29.02.24", "%d.%m.%y", 0, 2024, 2, 29},  {"29.02.2000", "%d.%m.%Y", 0, 2000, 2, 29},
      {"07.12.26", "%d.%m.%Y", 0, 2026, 12, 7},  {"  ,7-12-2026", "%d.%m.%Y", 0, 2026, 12, 7},
      {"12/26", "%m/%y", 0, 2026, 12, 1},        {"50/26", "%W/%y", 0, 2026, 12, 7},
      {"50", "%W", 0, 1900, 12, 10},             {"53/20", "%W/%y", 0, 2020, 12, 28},
      {"07.12.26", "%-2d.%02m.%.2y", 0, 2026, 12, 7}, {"7", "%d%%", 0, 1900, 1, 7},
      {"07.12.26", "%-0d.% m.%-00.1y", 0, 2026, 12, 7},
      {"31.12.99", "%d.%m.%y", 0, 1999, 12, 31},
      // Year 0 is a leap year, and 1900 by the year rule, where the day-number
      // formula gives 29 February the number of 28 February.
      {"29.02.0000", "%d.%m.%Y", 0, 1900, 2, 28}, {"01.03.0000", "%d.%m.%Y", 0, 1900, 3, 1},
  };
  for (const ScanCase &c : cases) CheckScan(c);
}

TEST(ScanDateTest, Failures) {
  const ScanCase cases[] = {
      {"", "%d.%m.%y", 1, 0, 0, 0},          {"07.12.26.", "%d.%m.%y", 13, 0, 0, 0},
      {"31.04.26", "%d.%m.%y", 12, 0, 0, 0}, {"29.02.23", "%d.%m.%y", 12, 0, 0, 0},
      {"30.02.24", "%d.%m.%y", 12, 0, 0, 0}, {"00.12.26", "%d.%m.%y", 12, 0, 0, 0},
      {"32.12.26", "%d.%m.%y", 12, 0, 0, 0}, {"07.13.26", "%d.%m.%y", 12, 0, 0, 0},
      {"07.00.26", "%d.%m.%y", 12, 0, 0, 0}, {"07.12.2", "%d.%m.%y", 12, 0, 0, 0},
      {"07.12.202", "%d.%m.%Y", 12, 0, 0, 0}, {"07.12", "%d.%m.%y", 12, 0, 0, 0},
      {"ab", "%d", 12, 0, 0, 0},             {"07", "%q", 12, 0, 0, 0},
      {"07", "", 13, 0, 0, 0},               {"07x", "%d", 13, 0, 0, 0},
      {"24:00", "%H:%M", 12, 0, 0, 0},       {"23:60", "%H:%M", 12, 0, 0, 0},
      {"10:10:60", "%H:%M:%S", 12, 0, 0, 0}, {"54/26", "%W/%y", 12, 0, 0, 0},
      {"7 ", "%d", 13, 0, 0, 0},             {"07", "%", 12, 0, 0, 0},
      // A directive has at most one "-", then at most one "0" or blank: the next
      // flag character is its letter.
      {"07", "%0-2d", 12, 0, 0, 0},          {"07", "%--d", 12, 0, 0, 0},
      {"07", "%0 d", 12, 0, 0, 0},           {"07", "%-05.2x", 12, 0, 0, 0},
  };
  for (const ScanCase &c : cases) CheckScan(c);
}

TEST(ScanDateTest, TimesAndTraceLines) {
  vltest::TraceCapture trace("F3");
  std::tm tm{};
  ASSERT_EQ(vl::ScanDate(tm, "12:30", "%H:%M"), 0);
  EXPECT_EQ(tm.tm_hour, 12);
  EXPECT_EQ(tm.tm_min, 30);
  EXPECT_EQ(tm.tm_year, 0);  // no year read: 1900
  const std::string lines = trace.Joined();
  EXPECT_NE(lines.find("F2: ScanDate(fld=12:30, fmt=%H:%M)\nF3:   tm_hour=12\nF3:   tm_min=30\n"), std::string::npos)
      << lines;
  trace.lines().clear();
  EXPECT_EQ(vl::ScanDate(tm, "7.", "%d"), 13);
  EXPECT_NE(trace.Joined().find("F2:   could not completely parse input\n"), std::string::npos);
  trace.lines().clear();
  EXPECT_EQ(vl::ScanDate(tm, "", "%d"), 1);
  EXPECT_NE(trace.Joined().find("F2:   fld is empty\n"), std::string::npos);
}

TEST(ScanDateTest, LongAndBinaryInputs) {
  std::tm tm{};
  const std::string digits(100000, '1');
  EXPECT_EQ(vl::ScanDate(tm, digits.c_str(), "%d.%m.%y"), 13);
  const std::string punct(100000, '.');
  EXPECT_EQ(vl::ScanDate(tm, punct.c_str(), "%d"), 12);
  EXPECT_EQ(vl::ScanDate(tm, "\xff\x80\x01", "%d"), 12);
  EXPECT_EQ(vl::ScanDate(tm, nullptr, nullptr), 1);
}

}  // namespace

namespace {

// ScanDate fills a valid date directly; it must agree with DateToTm of the
// date's yyyymmdd value for every valid date, the year rule included.
TEST(ScanDateTest, DirectFillAgreesWithDateToTm) {
  int checked = 0;
  for (int year : {0, 26, 400, 999, 1000, 1582, 1600, 1699, 1700, 1800, 1899, 1900, 1972, 2000, 2024, 2100, 2400, 9999}) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        char text[16];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", day, month, year);
        std::tm scanned{};
        if (vl::ScanDate(scanned, text, "%d.%m.%Y") != 0) continue;
        std::tm expected{};
        vl::DateToTm(expected, static_cast<std::int64_t>(year) * 10000 + month * 100 + day, false);
        ASSERT_EQ(scanned.tm_year, expected.tm_year) << text;
        ASSERT_EQ(scanned.tm_mon, expected.tm_mon) << text;
        ASSERT_EQ(scanned.tm_mday, expected.tm_mday) << text;
        ASSERT_EQ(scanned.tm_yday, expected.tm_yday) << text;
        ASSERT_EQ(scanned.tm_wday, expected.tm_wday) << text;
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 5000);
}

}  // namespace
