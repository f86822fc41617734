// Dates, times, weeks and months: the day-number calendar, ISO weeks, and the
// directive-driven parser ScanDate.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "format.h"

namespace vl {
namespace {

// Cumulative days before each month, common and leap years.
constexpr int kMonthStart[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

long long ApplyYearRule(long long year) { return year < 1000 ? 1900 + year : year; }

bool GregorianLeap(long long year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

// The day number formula without the year rule. Years counted from March make
// February the last month, so only one leap rule (every fourth year) is needed;
// the two thresholds supply the Gregorian corrections for 1800 and 1900.
std::int64_t DayNumberOf(std::int64_t year, std::int64_t month, std::int64_t day) {
  if (month <= 2) {
    year -= 1;
    month += 13;
  } else {
    month += 1;
  }
  const std::int64_t n = year / 4 - 621049 + 365 * year + day + (306 * month) / 10;
  if (n < 36523) return n + 2;
  if (n < 73048) return n + 1;
  return n;
}

int FloorMod7(std::int64_t v) { return static_cast<int>(((v % 7) + 7) % 7); }

}  // namespace

bool IsLeapYear(long long year) noexcept { return GregorianLeap(ApplyYearRule(year)); }

std::int64_t DayNumber(long long year, long long month, long long day) noexcept {
  return DayNumberOf(ApplyYearRule(year), month, day);
}

std::int64_t RelativeDay(long long year, long long month, long long day) noexcept {
  return DayNumber(year, month, day) - DayNumberOf(BASE_YEAR, 1, 1) + 1;
}

CalendarDate DayToDate(std::int64_t r) noexcept {
  // Inverts the day number formula itself, so that every day number maps back to
  // the date it came from; the guess is never more than a year off.
  const std::int64_t absolute = r + DayNumberOf(BASE_YEAR, 1, 1) - 1;
  std::int64_t year = BASE_YEAR + (4 * r) / 1461;
  while (DayNumberOf(year, 1, 1) > absolute) --year;
  while (DayNumberOf(year + 1, 1, 1) <= absolute) ++year;
  int month = 12;
  while (month > 1 && DayNumberOf(year, month, 1) > absolute) --month;
  CalendarDate d{};
  d.year = year;
  d.month = month;
  d.day = static_cast<int>(absolute - DayNumberOf(year, month, 1) + 1);
  // The day of the year follows the Gregorian months, as ISO weeks need it.
  d.yday = kMonthStart[GregorianLeap(year) ? 1 : 0][month - 1] + d.day - 1;
  d.wday = FloorMod7(r - 2);
  return d;
}

int DateToTm(std::tm &tm, std::int64_t value, bool isGreg) noexcept {
  if (value == 0) return 0;
  const std::int64_t r = isGreg ? value : RelativeDay(value / 10000, (value / 100) % 100, value % 100);
  const CalendarDate d = DayToDate(r);
  tm.tm_mday = d.day;
  tm.tm_mon = d.month - 1;
  tm.tm_year = static_cast<int>(d.year - 1900);
  tm.tm_wday = d.wday;
  tm.tm_yday = d.yday;
  return 1;
}

int WeekOfYear(const std::tm &tm, int &weekYear) noexcept {
  const int wd = tm.tm_wday == 0 ? 6 : tm.tm_wday - 1;  // Monday-based weekday
  int w = (tm.tm_yday - wd + 7) / 7;
  const int j = FloorMod7(tm.tm_wday - (tm.tm_yday % 7));  // weekday of 1 January
  if (j >= 2 && j <= 4) ++w;
  if (w == 0) {
    std::tm before{};
    before.tm_year = tm.tm_year - 1;
    before.tm_wday = 1;
    before.tm_yday = (IsLeapYear(before.tm_year) ? 366 : 365) - wd + tm.tm_yday;
    return WeekOfYear(before, weekYear);
  }
  if ((IsLeapYear(tm.tm_year) ? 366 : 365) - tm.tm_yday + wd < 4) {
    weekYear = tm.tm_year + 1;
    return 1;
  }
  weekYear = tm.tm_year;
  return w;
}

std::int64_t MondayOfWeek(long long year, long long week) noexcept {
  const std::int64_t r1 = RelativeDay(year, 1, 1);
  const int k = FloorMod7(r1 - 2);
  return r1 + 1 - k + 7 * (k <= 4 ? week - 1 : week);
}

namespace {

bool SkippedBeforeDigits(unsigned char c) { return std::isspace(c) || std::ispunct(c); }

// The directives ScanDate reads: how many digits, where to.
struct ScanDirective {
  char letter;
  int maxDigits;
};
constexpr ScanDirective kScanDirectives[] = {
    {'d', 2}, {'m', 2}, {'y', 2}, {'Y', 4}, {'H', 2}, {'M', 2}, {'S', 2}, {'W', 2},
};

const ScanDirective *FindScanDirective(char letter) {
  for (const ScanDirective &d : kScanDirectives) {
    if (d.letter == letter) return &d;
  }
  return nullptr;
}

int TwoDigitYear(int value) { return value < YEAR_PIVOT ? value + 100 : value; }

}  // namespace

int ScanDate(std::tm &tm, const char *in, const char *format) {
  tm = std::tm{};
  if (in == nullptr) in = "";
  if (format == nullptr) format = "";
  VL_TRACE_ENTRY('F', "ScanDate");
  TraceLine('F', 2, "ScanDate(fld=%s, fmt=%s)", in, format);
  if (*in == '\0') {
    TraceLine('F', 2, "  fld is empty");
    return 1;
  }
  auto invalid = [] {
    TraceLine('F', 2, "  invalid date/time");
    return 12;
  };

  const char *p = in;
  bool haveDay = false;
  bool haveWeek = false;
  int week = 0;
  for (const char *f = format; *f != '\0'; ++f) {
    if (*f != '%') continue;
    ++f;
    if (*f == '%') continue;
    while (*f == '-' || *f == '0' || *f == ' ') ++f;
    while (*f >= '0' && *f <= '9') ++f;
    if (*f == '.') {
      ++f;
      while (*f >= '0' && *f <= '9') ++f;
    }
    const ScanDirective *d = FindScanDirective(*f);
    if (d == nullptr) return 12;

    while (*p != '\0' && SkippedBeforeDigits(static_cast<unsigned char>(*p))) ++p;
    int value = 0;
    int digits = 0;
    while (digits < d->maxDigits && *p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      ++digits;
    }
    if (digits == 0) return invalid();
    switch (d->letter) {
      case 'd':
        tm.tm_mday = value;
        haveDay = true;
        TraceLine('F', 3, "  tm_mday=%d", tm.tm_mday);
        if (value < 1 || value > 31) return invalid();
        break;
      case 'm':
        tm.tm_mon = value - 1;
        TraceLine('F', 3, "  tm_mon=%d", tm.tm_mon);
        if (value < 1 || value > 12) return invalid();
        break;
      case 'y':
        if (digits != 2) return invalid();
        tm.tm_year = TwoDigitYear(value);
        TraceLine('F', 3, "  tm_year=%d", tm.tm_year);
        break;
      case 'Y':
        if (digits == 4) tm.tm_year = value - 1900;
        else if (digits == 2) tm.tm_year = TwoDigitYear(value);
        else return invalid();
        TraceLine('F', 3, "  tm_year=%d", tm.tm_year);
        break;
      case 'H':
        tm.tm_hour = value;
        TraceLine('F', 3, "  tm_hour=%d", tm.tm_hour);
        if (value > 23) return invalid();
        break;
      case 'M':
        tm.tm_min = value;
        TraceLine('F', 3, "  tm_min=%d", tm.tm_min);
        if (value > 59) return invalid();
        break;
      case 'S':
        tm.tm_sec = value;
        TraceLine('F', 3, "  tm_sec=%d", tm.tm_sec);
        if (value > 59) return invalid();
        break;
      case 'W':
        week = value;
        haveWeek = true;
        TraceLine('F', 3, "  week(mon)=%d", week);
        if (value > 53) return invalid();
        break;
    }
  }
  if (*format == '\0' || *p != '\0') {
    TraceLine('F', 2, "  could not completely parse input");
    return 13;
  }

  if (haveWeek) {
    DateToTm(tm, MondayOfWeek(tm.tm_year + 1900, week), true);
    return 0;
  }
  if (!haveDay) tm.tm_mday = 1;
  const int month = tm.tm_mon + 1;
  int longest = 31;
  if (month == 2) longest = IsLeapYear(tm.tm_year) ? 29 : 28;
  else if (month == 4 || month == 6 || month == 9 || month == 11) longest = 30;
  if (tm.tm_mday > longest) return invalid();
  const std::int64_t ymd = (static_cast<std::int64_t>(tm.tm_year + 1900) * 100 + month) * 100 + tm.tm_mday;
  DateToTm(tm, ymd, false);
  return 0;
}

}  // namespace vl

namespace vl {
namespace {

// Nested %c, %x and %X formats deeper than this overflow (a format that names
// itself would otherwise never end).
constexpr int kMaxNesting = 4;

// A directive as written: flags, width and precision, and its letter.
struct Directive {
  bool left = false;      // "-"
  char pad = '\0';        // '0', ' ' or none
  long width = -1;        // -1: none
  long precision = -1;    // -1: none
  char letter = '\0';
  const char *begin = nullptr;  // the "%" in the format
  const char *end = nullptr;    // just past the letter
};

constexpr long kNumberCap = 1L << 20;  // widths and precisions saturate here

// Reads a directive at `f` (just past its "%"); the letter is '\0' at the end of
// the format.
Directive ReadDirective(const char *percent) {
  Directive d;
  d.begin = percent;
  const char *f = percent + 1;
  if (*f == '-') {
    d.left = true;
    ++f;
  }
  if (*f == '0' || *f == ' ') d.pad = *f++;
  if (*f >= '0' && *f <= '9') {
    d.width = 0;
    while (*f >= '0' && *f <= '9') d.width = std::min(d.width * 10 + (*f++ - '0'), kNumberCap);
  }
  if (*f == '.') {
    ++f;
    d.precision = 0;
    while (*f >= '0' && *f <= '9') d.precision = std::min(d.precision * 10 + (*f++ - '0'), kNumberCap);
  }
  d.letter = *f;
  d.end = *f != '\0' ? f + 1 : f;
  return d;
}

bool IsYearLetter(char c) { return c == 'Y' || c == 'y'; }

// Which year directive (1-based ordinal, 0 none) shows the week-year, and the
// week of %W. False when the week is outside 1-53.
bool WeekPrescan(const std::tm &tm, const char *format, int &chosen, int &week, int &weekYear) {
  chosen = 0;
  week = 0;
  weekYear = tm.tm_year;
  int ordinal = 0;
  bool otherSince = false;
  bool afterWeek = false;
  for (const char *f = format; *f != '\0';) {
    if (*f != '%') {
      ++f;
      continue;
    }
    if (f[1] == '%') {
      f += 2;
      continue;
    }
    const Directive d = ReadDirective(f);
    f = d.end;
    if (d.letter == '\0') break;
    if (afterWeek) {
      if (IsYearLetter(d.letter)) chosen = ordinal + 1;
      else if (otherSince) chosen = 0;
      break;
    }
    if (IsYearLetter(d.letter)) {
      chosen = ++ordinal;
      otherSince = false;
    } else if (d.letter == 'W') {
      week = WeekOfYear(tm, weekYear);
      if (week < 1 || week > 53) return false;
      afterWeek = true;
    } else {
      otherSince = true;
    }
  }
  return true;
}

std::string Number(long long value, int width) {
  char text[32];
  std::snprintf(text, sizeof text, "%*lld", width, value);
  return text;
}

int FmtDateNested(std::string &out, const std::tm &tm, int len, const char *format, int depth);

// The text of one conversion, before shaping; false when its field is out of
// range or a nested format fails.
bool Convert(const Directive &d, const std::tm &tm, int remaining, int depth, int ordinal, int chosen, int week,
             int weekYear, std::string &text) {
  auto inRange = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
  switch (d.letter) {
    case 'a':
      if (!inRange(tm.tm_wday, 0, 6)) return false;
      text = LangInfo.dayAbbr[static_cast<std::size_t>(tm.tm_wday)].view();
      return true;
    case 'A':
      if (!inRange(tm.tm_wday, 0, 6)) return false;
      text = LangInfo.dayName[static_cast<std::size_t>(tm.tm_wday)].view();
      return true;
    case 'b':
      if (!inRange(tm.tm_mon, 0, 11)) return false;
      text = LangInfo.monthAbbr[static_cast<std::size_t>(tm.tm_mon)].view();
      return true;
    case 'B':
      if (!inRange(tm.tm_mon, 0, 11)) return false;
      text = LangInfo.monthName[static_cast<std::size_t>(tm.tm_mon)].view();
      return true;
    case 'c':
    case 'x':
    case 'X': {
      const LangText &nested = d.letter == 'c' ? LangInfo.dateTimeFormat
                               : d.letter == 'x' ? LangInfo.dateFormat
                                                 : LangInfo.timeFormat;
      if (depth >= kMaxNesting) return false;
      return FmtDateNested(text, tm, remaining, nested.c_str(), depth + 1) == 1;
    }
    case 'd':
      if (!inRange(tm.tm_mday, 1, 31)) return false;
      text = Number(tm.tm_mday, 2);
      return true;
    case 'H':
      if (!inRange(tm.tm_hour, 0, 23)) return false;
      text = Number(tm.tm_hour, 2);
      return true;
    case 'I':
      if (!inRange(tm.tm_hour, 0, 23)) return false;
      text = Number(tm.tm_hour == 0 ? 12 : tm.tm_hour > 12 ? tm.tm_hour - 12 : tm.tm_hour, 2);
      return true;
    case 'j':
      if (!inRange(tm.tm_yday, 0, 365)) return false;
      text = Number(tm.tm_yday + 1, 3);
      return true;
    case 'm':
      if (!inRange(tm.tm_mon, 0, 11)) return false;
      text = Number(tm.tm_mon + 1, 2);
      return true;
    case 'M':
      if (!inRange(tm.tm_min, 0, 59)) return false;
      text = Number(tm.tm_min, 2);
      return true;
    case 'S':
      if (!inRange(tm.tm_sec, 0, 59)) return false;
      text = Number(tm.tm_sec, 2);
      return true;
    case 'p':
      if (!inRange(tm.tm_hour, 0, 23)) return false;
      text = (tm.tm_hour < 12 ? LangInfo.amMarker : LangInfo.pmMarker).view();
      return true;
    case 'w':
      if (!inRange(tm.tm_wday, 0, 6)) return false;
      text = Number(tm.tm_wday, 0);
      return true;
    case 'W':
      text = Number(week, 2);
      return true;
    case 'Y':
    case 'y': {
      const long long year = ordinal == chosen ? weekYear : tm.tm_year;
      text = d.letter == 'Y' ? Number(year + 1900, 0) : Number((year < 0 ? -year : year) % 100, 2);
      return true;
    }
    default:
      return false;
  }
}

// Applies flags, width and precision to a conversion's text (which, right-aligned
// with a width, starts with `width` pre-filled blanks).
void Shape(const Directive &d, std::string &text) {
  auto skipBlanks = [&text] { text.erase(0, text.find_first_not_of(' ') == std::string::npos ? text.size()
                                                                                               : text.find_first_not_of(' ')); };
  auto zeroFill = [&text] {
    for (char &c : text) {
      if (c != ' ') break;
      c = '0';
    }
  };
  if (!d.left && d.pad == '\0' && d.width < 0 && d.precision < 0) zeroFill();
  if (d.precision >= 0) {
    skipBlanks();
    if (text.size() > static_cast<std::size_t>(d.precision)) text.resize(static_cast<std::size_t>(d.precision));
  }
  if (d.left) skipBlanks();
  if (d.width >= 0) {
    const auto width = static_cast<std::size_t>(d.width);
    if (!d.left) {
      std::size_t drop = 0;
      while (text.size() - drop > width && text[drop] == ' ') ++drop;
      text.erase(0, drop);
    } else if (text.size() < width) {
      text.append(width - text.size(), ' ');
    }
  }
  if (d.pad == '0') zeroFill();
}

int Overflow(std::string &out, int len) {
  out.assign(static_cast<std::size_t>(std::max(len, 0)), OverflowFill());
  TraceLine('F', 2, "  OVERFLOW");
  return 0;
}

int FmtDateNested(std::string &out, const std::tm &tm, int len, const char *format, int depth) {
  if (format == nullptr) format = "";
  VL_TRACE_ENTRY('F', "FmtDate");
  TraceLine('F', 2, "FmtDate(len=%d, fmt=%s)", len, format);
  out.clear();
  int chosen = 0, week = 0, weekYear = 0;
  if (!WeekPrescan(tm, format, chosen, week, weekYear)) return Overflow(out, len);
  if (len < 1) {
    if (*format == '\0') return 1;
    TraceLine('F', 2, "  OVERFLOW");
    return 0;
  }

  long remaining = len;
  int ordinal = 0;
  std::string text;
  for (const char *f = format; *f != '\0';) {
    if (remaining <= 0) return Overflow(out, len);
    if (*f != '%' || f[1] == '%') {
      out += *f;
      f += *f == '%' ? 2 : 1;
      --remaining;
      continue;
    }
    const Directive d = ReadDirective(f);
    f = d.end;
    if (IsYearLetter(d.letter)) ++ordinal;
    if (d.letter == '\0' || std::strchr("aAbBcxXdHIjmMSpwWYy", d.letter) == nullptr) {
      text.assign(d.begin, d.end);  // an unknown directive is copied as written
    } else {
      // A width beyond the room overflows, except right-aligned with a precision,
      // where the precision's blank skipping leaves the width without effect.
      const bool widthCounts = d.width >= 1 && (d.left || d.precision < 0);
      if (widthCounts && d.width > remaining) return Overflow(out, len);
      std::string conversion;
      if (!Convert(d, tm, static_cast<int>(remaining), depth, ordinal, chosen, week, weekYear, conversion)) {
        return Overflow(out, len);
      }
      text.clear();
      if (!d.left && d.width >= 1 && d.precision < 0) text.assign(static_cast<std::size_t>(d.width), ' ');
      text += conversion;
      Shape(d, text);
    }
    if (text.empty()) continue;
    if (static_cast<long>(text.size()) > remaining) return Overflow(out, len);
    out += text;
    remaining -= static_cast<long>(text.size());
  }
  TraceLine('F', 2, "  output=[%s]", out.c_str());
  return 1;
}

}  // namespace

int FmtDate(std::string &out, const std::tm &tm, int len, const char *format) {
  return FmtDateNested(out, tm, len, format, 0);
}

}  // namespace vl
