// Field formatting and scanning.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "common.h"

namespace vl {

// ---------------------------------------------------------------------------
// Calendar (datefmt). Day numbers count days on the Gregorian calendar from
// 1 March 1700 to 28 February 2100; relative day numbers count from
// 1 January 1972, which is relative day 1 (a Saturday); 0 means no date.
// Year rule of every calendar routine: a year below 1000 is read as 1900 + year,
// so a tm_year (years since 1900) may be given wherever a year is.
// ---------------------------------------------------------------------------

// LangInfo field 1-60 as text, or nullptr when absent.
const char *LangText(int field);

inline constexpr int BASE_YEAR = 1972;  // relative day 1 is 1 January of this year
inline constexpr int YEAR_PIVOT = 60;   // two-digit years 00-59 are 20yy, 60-99 are 19yy

// Gregorian leap year, after the year rule.
bool IsLeapYear(long long year) noexcept;

// Day number of a date (month 1-12); 1 January 1972 is 99287. Dates outside
// 1 March 1700 - 28 February 2100 follow the same formula without further
// century corrections. Month and day are not validated.
std::int64_t DayNumber(long long year, long long month, long long day) noexcept;

// Relative day number of a date: DayNumber minus that of 1 January 1972, plus 1.
std::int64_t RelativeDay(long long year, long long month, long long day) noexcept;

// A relative day number taken apart.
struct CalendarDate {
  long long year;  // full year
  int month;       // 1-12
  int day;         // 1-31
  int yday;        // 0-based day of the year
  int wday;        // 0 = Sunday ... 6 = Saturday
};
CalendarDate DayToDate(std::int64_t relativeDay) noexcept;

// Fills tm_mday, tm_mon, tm_year, tm_wday and tm_yday (the time fields are left
// alone) from a relative day number (isGreg) or from yyyymmdd (a year part below
// 1000 follows the year rule); month 13 or day 40 run on into later dates.
// Value 0 leaves tm untouched and returns 0; otherwise returns 1.
int DateToTm(std::tm &tm, std::int64_t value, bool isGreg) noexcept;

// ISO 8601 week (1-53) of the date in tm (tm_year, tm_yday, tm_wday); weekYear
// receives the year the week belongs to, in tm_year form.
int WeekOfYear(const std::tm &tm, int &weekYear) noexcept;

// Relative day number of the Monday of ISO week `week` of `year` (week 0 is the
// week before week 1).
std::int64_t MondayOfWeek(long long year, long long week) noexcept;

// Formats tm by `format` into a field of `len` characters: returns 1 and the
// text, or 0 and `len` copies of the overflow fill when the text does not fit,
// a value is out of range, or a nested format fails. Directives: %a %A %b %B %c
// %x %X %d %H %I %j %m %M %S %p %w %W %Y %y, each optionally with "-", "0" or
// blank, a width and a precision; other letters are copied as written.
int FmtDate(std::string &out, const std::tm &tm, int len, const char *format);

// Parses `in` by the directives of `format` (%d %m %y %Y %H %M %S %W) into tm.
// Returns 0 parsed, 1 input empty, 12 invalid date or time, 13 input left over or
// empty format.
int ScanDate(std::tm &tm, const char *in, const char *format);

}  // namespace vl
