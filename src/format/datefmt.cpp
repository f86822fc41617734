// Dates, times, weeks and months: the day-number calendar, ISO weeks, and the
// directive-driven parser ScanDate.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <initializer_list>
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
constexpr std::int64_t DayNumberOf(std::int64_t year, std::int64_t month, std::int64_t day) {
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

// Day number of relative day 1, 1 January 1972.
constexpr std::int64_t kBaseDay = DayNumberOf(BASE_YEAR, 1, 1);
static_assert(kBaseDay == 99287);

int FloorMod7(std::int64_t v) { return static_cast<int>(((v % 7) + 7) % 7); }

// "%lld" of a value, written backwards into the end of `room`; the text is returned.
std::string_view Decimal(long long value, char (&room)[24]) {
  char *const end = room + sizeof room;
  char *p = end;
  unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                           : static_cast<unsigned long long>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return {p, static_cast<std::size_t>(end - p)};
}

}  // namespace

bool IsLeapYear(long long year) noexcept { return GregorianLeap(ApplyYearRule(year)); }

std::int64_t DayNumber(long long year, long long month, long long day) noexcept {
  return DayNumberOf(ApplyYearRule(year), month, day);
}

std::int64_t RelativeDay(long long year, long long month, long long day) noexcept {
  return DayNumber(year, month, day) - kBaseDay + 1;
}

CalendarDate DayToDate(std::int64_t r) noexcept {
  // Inverts the day number formula itself, so that every day number maps back to
  // the date it came from; the guess is never more than a year off.
  const std::int64_t absolute = r + kBaseDay - 1;
  std::int64_t year = BASE_YEAR + (4 * r) / 1461;
  std::int64_t newYear = DayNumberOf(year, 1, 1);
  while (newYear > absolute) newYear = DayNumberOf(--year, 1, 1);
  for (std::int64_t next = DayNumberOf(year + 1, 1, 1); next <= absolute; next = DayNumberOf(year + 1, 1, 1)) {
    ++year;
    newYear = next;
  }
  // The months as the formula counts them: February has 29 days where it gives
  // it 29 (every fourth year, except where a century correction falls).
  const bool leapFebruary = DayNumberOf(year, 3, 1) - DayNumberOf(year, 2, 1) == 29;
  const int *table = kMonthStart[leapFebruary ? 1 : 0];
  const int dayOfYear = static_cast<int>(absolute - newYear + 1);
  int month = 1;
  while (month < 12 && table[month] < dayOfYear) ++month;
  CalendarDate d{};
  d.year = year;
  d.month = month;
  d.day = dayOfYear - table[month - 1];
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
  weekYear = tm.tm_year;
  // A weekday, day of the year or year that no date has gives no week.
  if (tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_yday < 0 || tm.tm_yday > 365 || tm.tm_year <= INT_MIN + 1 ||
      tm.tm_year >= INT_MAX - 1) {
    return 0;
  }
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

// Characters skipped before a directive's digits: what the standard library
// classes as white space or punctuation in the current locale.
class SkipClass {
 public:
  SkipClass() {
#ifdef __GLIBC__
    table_ = *__ctype_b_loc();  // the table behind isspace and ispunct
#endif
  }
  bool operator()(unsigned char c) const {
#ifdef __GLIBC__
    return (table_[c] & (_ISspace | _ISpunct)) != 0;
#else
    return std::isspace(c) || std::ispunct(c);
#endif
  }

 private:
#ifdef __GLIBC__
  const unsigned short *table_ = nullptr;
#endif
};

// The directives ScanDate reads, and the most digits each takes (0: none).
int ScanDigits(char letter) {
  switch (letter) {
    case 'd':
    case 'm':
    case 'y':
    case 'H':
    case 'M':
    case 'S':
    case 'W': return 2;
    case 'Y': return 4;
    default: return 0;
  }
}

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

int TwoDigitYear(int value) { return value < YEAR_PIVOT ? value + 100 : value; }

}  // namespace

ScanResult ScanDate(std::tm &tm, const char *in, const char *format) {
  tm = std::tm{};
  if (in == nullptr) in = "";
  if (format == nullptr) format = "";
  VL_TRACE_ENTRY('F', "ScanDate");
  if (TraceWanted('F', 2)) TraceLine('F', 2, "ScanDate(fld=%s, fmt=%s)", in, format);
  if (*in == '\0') {
    TraceLine('F', 2, "  fld is empty");
    return kScanEmpty;
  }
  auto invalid = [] {
    TraceLine('F', 2, "  invalid date/time");
    return kScanBadDate;
  };

  const char *p = in;
  const SkipClass skipped;
  const bool traceValues = TraceWanted('F', 3);
  bool haveDay = false;
  bool haveWeek = false;
  int week = 0;
  for (const char *f = format; *f != '\0'; ++f) {
    if (*f != '%') continue;
    if (f[1] == '%') {
      ++f;
      continue;
    }
    // Flags, width and precision are skipped, read as ReadDirective reads them
    // (inline here: this loop is the hot path of every date scan).
    ++f;
    if (*f == '-') ++f;
    if (*f == '0' || *f == ' ') ++f;
    while (*f >= '0' && *f <= '9') ++f;
    if (*f == '.') {
      ++f;
      while (*f >= '0' && *f <= '9') ++f;
    }
    const char letter = *f;
    const int maxDigits = ScanDigits(letter);
    if (maxDigits == 0) return kScanBadDate;

    while (*p != '\0' && skipped(static_cast<unsigned char>(*p))) ++p;
    int value = 0;
    int digits = 0;
    while (digits < maxDigits && *p >= '0' && *p <= '9') {
      value = value * 10 + (*p++ - '0');
      ++digits;
    }
    if (digits == 0) return invalid();
    switch (letter) {
      case 'd':
        tm.tm_mday = value;
        haveDay = true;
        if (traceValues) TraceLine('F', 3, "  tm_mday=%d", tm.tm_mday);
        if (value < 1 || value > 31) return invalid();
        break;
      case 'm':
        tm.tm_mon = value - 1;
        if (traceValues) TraceLine('F', 3, "  tm_mon=%d", tm.tm_mon);
        if (value < 1 || value > 12) return invalid();
        break;
      case 'y':
        if (digits != 2) return invalid();
        tm.tm_year = TwoDigitYear(value);
        if (traceValues) TraceLine('F', 3, "  tm_year=%d", tm.tm_year);
        break;
      case 'Y':
        if (digits == 4) tm.tm_year = value - 1900;
        else if (digits == 2) tm.tm_year = TwoDigitYear(value);
        else return invalid();
        if (traceValues) TraceLine('F', 3, "  tm_year=%d", tm.tm_year);
        break;
      case 'H':
        tm.tm_hour = value;
        if (traceValues) TraceLine('F', 3, "  tm_hour=%d", tm.tm_hour);
        if (value > 23) return invalid();
        break;
      case 'M':
        tm.tm_min = value;
        if (traceValues) TraceLine('F', 3, "  tm_min=%d", tm.tm_min);
        if (value > 59) return invalid();
        break;
      case 'S':
        tm.tm_sec = value;
        if (traceValues) TraceLine('F', 3, "  tm_sec=%d", tm.tm_sec);
        if (value > 59) return invalid();
        break;
      case 'W':
        week = value;
        haveWeek = true;
        if (traceValues) TraceLine('F', 3, "  week(mon)=%d", week);
        if (value > 53) return invalid();
        break;
    }
  }
  if (*format == '\0' || *p != '\0') {
    TraceLine('F', 2, "  could not completely parse input");
    return kScanLeftOver;
  }

  if (haveWeek) {
    DateToTm(tm, MondayOfWeek(tm.tm_year + 1900, week), true);
    return kScanOk;
  }
  if (!haveDay) tm.tm_mday = 1;
  const int month = tm.tm_mon + 1;
  int longest = 31;
  if (month == 2) longest = IsLeapYear(tm.tm_year) ? 29 : 28;
  else if (month == 4 || month == 6 || month == 9 || month == 11) longest = 30;
  if (tm.tm_mday > longest) return invalid();
  const long long year = ApplyYearRule(tm.tm_year + 1900LL);
  if (year != tm.tm_year + 1900LL) {
    // A year below 1000 becomes 1900 + year, where the day checked above may not
    // exist (29 February of year 0 is 28 February 1900 to the formula).
    DateToTm(tm, ((tm.tm_year + 1900LL) * 100 + month) * 100 + tm.tm_mday, false);
    return kScanOk;
  }
  // The date is valid, so filling tm from it directly gives what DateToTm of its
  // yyyymmdd value gives, without the day-number round trip.
  tm.tm_yday = kMonthStart[GregorianLeap(year) ? 1 : 0][month - 1] + tm.tm_mday - 1;
  tm.tm_wday = FloorMod7(RelativeDay(year, month, tm.tm_mday) - 2);
  return kScanOk;
}

}  // namespace vl

namespace vl {
namespace {

// Nested %c, %x and %X formats deeper than this overflow (a format that names
// itself would otherwise never end).
constexpr int kMaxNesting = 4;

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

FieldFit FmtDateNested(FieldText &out, const std::tm &tm, int len, const char *format, int depth);

// A conversion's text before shaping: `blanks` leading blanks, then `core` (which
// does not start with a blank). Numbers are written into `digits`; names point
// into LangInfo; nested formats into `nested`.
struct Conversion {
  int blanks = 0;
  std::string_view core;
  char digits[24];
  FieldText nested;

  // "%*lld": right-aligned in `width` places, never cut.
  void Number(long long value, int width) {
    core = Decimal(value, digits);
    blanks = std::max(width - static_cast<int>(core.size()), 0);
  }
  void Text(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    blanks = static_cast<int>(first == std::string_view::npos ? text.size() : first);
    core = text.substr(static_cast<std::size_t>(blanks));
  }
};

enum class Converted { kOk, kOverflow, kUnknown };

// The text of one conversion; kOverflow when its field is out of range or a
// nested format fails, kUnknown for a letter that is no directive.
Converted Convert(const Directive &d, const std::tm &tm, int remaining, int depth, int ordinal, int chosen, int week,
                  int weekYear, Conversion &c) {
  const LanguageInfo &info = Locale().LangInfo;
  auto inRange = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
  auto number = [&c](bool ok, long long value, int width) {
    if (!ok) return Converted::kOverflow;
    c.Number(value, width);
    return Converted::kOk;
  };
  auto text = [&c](bool ok, auto &&field) {
    if (!ok) return Converted::kOverflow;
    c.Text(field().view());
    return Converted::kOk;
  };
  const auto wday = static_cast<std::size_t>(tm.tm_wday);
  const auto mon = static_cast<std::size_t>(tm.tm_mon);
  switch (d.letter) {
    case 'a': return text(inRange(tm.tm_wday, 0, 6), [&]() -> const LangText & { return info.dayAbbr[wday]; });
    case 'A': return text(inRange(tm.tm_wday, 0, 6), [&]() -> const LangText & { return info.dayName[wday]; });
    case 'b': return text(inRange(tm.tm_mon, 0, 11), [&]() -> const LangText & { return info.monthAbbr[mon]; });
    case 'B': return text(inRange(tm.tm_mon, 0, 11), [&]() -> const LangText & { return info.monthName[mon]; });
    case 'p':
      return text(inRange(tm.tm_hour, 0, 23),
                  [&]() -> const LangText & { return tm.tm_hour < 12 ? info.amMarker : info.pmMarker; });
    case 'c':
    case 'x':
    case 'X': {
      const LangText &nested = d.letter == 'c'   ? info.dateTimeFormat
                               : d.letter == 'x' ? info.dateFormat
                                                 : info.timeFormat;
      if (depth >= kMaxNesting || FmtDateNested(c.nested, tm, remaining, nested.c_str(), depth + 1) != kFieldFits) {
        return Converted::kOverflow;
      }
      c.Text(c.nested.view());
      return Converted::kOk;
    }
    case 'd': return number(inRange(tm.tm_mday, 1, 31), tm.tm_mday, 2);
    case 'H': return number(inRange(tm.tm_hour, 0, 23), tm.tm_hour, 2);
    case 'I':
      return number(inRange(tm.tm_hour, 0, 23), tm.tm_hour == 0 ? 12 : tm.tm_hour > 12 ? tm.tm_hour - 12 : tm.tm_hour,
                    2);
    case 'j': return number(inRange(tm.tm_yday, 0, 365), tm.tm_yday + 1LL, 3);
    case 'm': return number(inRange(tm.tm_mon, 0, 11), tm.tm_mon + 1LL, 2);
    case 'M': return number(inRange(tm.tm_min, 0, 59), tm.tm_min, 2);
    case 'S': return number(inRange(tm.tm_sec, 0, 59), tm.tm_sec, 2);
    case 'w': return number(inRange(tm.tm_wday, 0, 6), tm.tm_wday, 0);
    case 'W': return number(true, week, 2);
    case 'Y':
    case 'y': {
      const long long year = ordinal == chosen ? weekYear : tm.tm_year;
      if (d.letter == 'Y') return number(true, year + 1900, 0);
      return number(true, (year < 0 ? -year : year) % 100, 2);
    }
    default: return Converted::kUnknown;
  }
}

// The shaped text of a directive: `lead` leading characters (`leadChar`), the
// core, then `trail` trailing blanks.
struct Shaped {
  long lead = 0;
  char leadChar = ' ';
  std::string_view core;
  long trail = 0;
  long size() const { return lead + static_cast<long>(core.size()) + trail; }
};

// Applies flags, width and precision to a conversion: right-aligned with a
// width, the conversion stands after `width` pre-filled blanks.
Shaped Shape(const Directive &d, const Conversion &c) {
  Shaped s;
  s.core = c.core;
  s.lead = c.blanks;
  if (!d.left && d.width >= 1 && d.precision < 0) s.lead += d.width;
  if (!d.left && d.pad == '\0' && d.width < 0 && d.precision < 0) s.leadChar = '0';
  if (d.precision >= 0) {
    // The blanks are skipped first, then the text is cut.
    s.lead = 0;
    if (static_cast<long>(s.core.size()) > d.precision) s.core = s.core.substr(0, static_cast<std::size_t>(d.precision));
  }
  if (d.left) s.lead = 0;
  if (d.width >= 0) {
    if (!d.left) {
      const long excess = s.size() - d.width;
      if (excess > 0) s.lead -= std::min(excess, s.lead);
    } else if (s.size() < d.width) {
      s.trail = d.width - s.size();
    }
  }
  if (d.pad == '0') {
    s.leadChar = '0';
    // With nothing but blanks, the trailing ones lead too.
    if (s.core.empty()) {
      s.lead += s.trail;
      s.trail = 0;
    }
  }
  return s;
}

FieldFit FmtDateNested(FieldText &out, const std::tm &tm, int len, const char *format, int depth) {
  if (format == nullptr) format = "";
  VL_TRACE_ENTRY('F', "FmtDate");
  TraceLine('F', 2, "FmtDate(len=%d, fmt=%s)", len, format);
  out.Clear();
  int chosen = 0, week = 0, weekYear = 0;
  if (!WeekPrescan(tm, format, chosen, week, weekYear)) return out.Overflow(len);
  if (len < 1) return *format == '\0' ? kFieldFits : out.Overflow(0);

  // The text never leaves the work field, whatever the field's length.
  long remaining = std::min<long>(len, static_cast<long>(FieldText::kCapacity));
  int ordinal = 0;
  Conversion conversion;
  for (const char *f = format; *f != '\0';) {
    if (remaining <= 0) return out.Overflow(len);
    if (*f != '%' || f[1] == '%') {
      out.Append(1, *f);
      f += *f == '%' ? 2 : 1;
      --remaining;
      continue;
    }
    const Directive d = ReadDirective(f);
    f = d.end;
    if (IsYearLetter(d.letter)) ++ordinal;
    // A width beyond the room overflows at the fit test below, after the
    // conversion: an unknown letter is copied as written, whatever its width.
    const Converted result =
        d.letter == '\0' ? Converted::kUnknown
                         : Convert(d, tm, static_cast<int>(remaining), depth, ordinal, chosen, week, weekYear, conversion);
    if (result == Converted::kOverflow) return out.Overflow(len);
    if (result == Converted::kUnknown) {
      // An unknown directive is copied as written.
      const auto written = static_cast<long>(d.end - d.begin);
      if (written > remaining) return out.Overflow(len);
      out.Append(std::string_view(d.begin, static_cast<std::size_t>(written)));
      remaining -= written;
      continue;
    }
    const Shaped shaped = Shape(d, conversion);
    if (shaped.size() == 0) continue;
    if (shaped.size() > remaining) return out.Overflow(len);
    out.Append(static_cast<std::size_t>(shaped.lead), shaped.leadChar);
    out.Append(shaped.core);
    out.Append(static_cast<std::size_t>(shaped.trail), ' ');
    remaining -= shaped.size();
  }
  TraceLine('F', 2, "  output=[%s]", out.c_str());
  return kFieldFits;
}

}  // namespace

FieldFit FmtDate(FieldText &out, const std::tm &tm, int len, const char *format) {
  return FmtDateNested(out, tm, len, format, 0);
}

}  // namespace vl

// ---------------------------------------------------------------------------
// Field values
// ---------------------------------------------------------------------------

namespace vl {
namespace {

bool IsType(const char *fvtyp, std::string_view name) { return EqualNoCase(OrEmpty(fvtyp), name); }

int TwoDigits(int tmYear) { return (tmYear < 0 ? -tmYear : tmYear) % 100; }

// FmtDate into a host work field: a field longer than the work field keeps a text
// that fits there, and a longer text overflows as a row of fill characters as long
// as the work field.
FieldFit FormatField(FieldText &out, const std::tm &tm, int len, const char *format) {
  return FmtDate(out, tm, std::min(len, kTextWork), format);
}

// The date part of a scanned tm as yyyymmdd or yymmdd.
std::int64_t DateValue(const std::tm &tm, bool twoDigitYear) {
  const std::int64_t year = twoDigitYear ? TwoDigits(tm.tm_year) : tm.tm_year + 1900LL;
  return year * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

// Checks the input against the validity class: kScanOk, or kScanBadChar with out
// set to the refused character (empty after a class syntax error).
ScanResult CheckValid(std::string &out, const char *in, const char *valid) {
  char bad = '\0';
  if (FmtCheckValid(OrEmpty(in), valid, bad) == kValidAllowed) return kScanOk;
  out = bad != '\0' ? std::string(1, bad) : std::string();
  return kScanBadChar;
}

// ScanDate with the given format, then with each fallback in turn; returns the
// code of the last attempt. `fallbacksUsed` counts the fallbacks tried.
ScanResult ScanWithFallbacks(std::tm &tm, const char *in, const char *format,
                             std::initializer_list<const char *> fallbacks, int *fallbacksUsed = nullptr) {
  ScanResult code = ScanDate(tm, in, format);
  if (code == kScanOk || code == kScanEmpty) return code;
  int used = 0;
  for (const char *f : fallbacks) {
    ++used;
    if (fallbacksUsed != nullptr) *fallbacksUsed = used;
    code = ScanDate(tm, in, f);
    if (code == kScanOk) break;
  }
  return code;
}

ScanResult Accept(std::int32_t &result, std::string &out, std::int64_t value) {
  if (value > INT32_MAX) return kScanTooHigh;
  if (value < INT32_MIN) return kScanTooLow;
  result = static_cast<std::int32_t>(value);
  char text[24];
  out = Decimal(value, text);
  return kScanOk;
}

}  // namespace

FieldFit FldFmtDate(FieldText &out, std::int64_t value, bool isGreg, int len, const char *format) {
  VL_TRACE_ENTRY('F', "FldFmtDate");
  out.Clear();
  if (value == 0) return kFieldFits;
  std::tm tm{};
  DateToTm(tm, value, isGreg);
  return FormatField(out, tm, len, OrEmpty(format));  // an empty format gives empty text
}

FieldFit FldFmtTime(FieldText &out, std::int64_t seconds, int len, const char *format) {
  VL_TRACE_ENTRY('F', "FldFmtTime");
  out.Clear();
  if (seconds == 0) return kFieldFits;
  std::tm tm{};
  tm.tm_sec = static_cast<int>(seconds % 60);
  tm.tm_min = static_cast<int>(((seconds + 30) / 60) % 60);  // rounded to the nearest minute
  tm.tm_hour = static_cast<int>((seconds / 3600) % 24);
  tm.tm_yday = static_cast<int>(std::clamp<std::int64_t>(seconds / 86400, INT_MIN, INT_MAX));
  return FormatField(out, tm, len, OrEmpty(format));
}

FieldFit FldFmtWeek(FieldText &out, std::int64_t value, int len, const char *fvtyp, const char *format) {
  VL_TRACE_ENTRY('F', "FldFmtWeek");
  const LanguageInfo &info = Locale().LangInfo;
  out.Clear();
  if (value == 0) return kFieldFits;
  const bool isDate = value >= (Locale().y2kMode == 1 ? 100000 : 10000000);
  const bool kw = IsType(fvtyp, "KW");
  std::string fmt = OrEmpty(format);
  if (fmt.empty()) {
    const bool weekFormat = !isDate || kw;
    fmt = weekFormat ? info.weekFormat.c_str() : info.dateFormatYmd.c_str();
    if (len == 0) len = weekFormat ? info.weekLength : info.dateLengthYmd;
  }
  std::tm tm{};
  if (isDate) DateToTm(tm, value, false);
  else DateToTm(tm, MondayOfWeek(value / 100, value % 100), true);
  return FormatField(out, tm, len, fmt.c_str());
}

FieldFit FldFmtMonth(FieldText &out, std::int64_t value, int len, const char *format) {
  VL_TRACE_ENTRY('F', "FldFmtMonth");
  out.Clear();
  if (value == 0) return kFieldFits;
  std::tm tm{};
  // The first day of month value % 100 of year value / 100, taken apart as they
  // are: a yyyymmdd value built from them would mix the parts of a negative value.
  DateToTm(tm, RelativeDay(value / 100, value % 100, 1), true);
  return FormatField(out, tm, len, OrEmpty(format));
}

ScanResult FldScanDate(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                       const char *format, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanDate");
  const LanguageInfo &info = Locale().LangInfo;
  result = 0;
  out.clear();
  if (const ScanResult bad = CheckValid(out, in, valid); bad != kScanOk) return bad;
  std::tm tm{};
  const ScanResult code = ScanWithFallbacks(
      tm, OrEmpty(in), OrEmpty(format),
      {info.weekFormat.c_str(), info.dateFormatYmd.c_str(), info.dateFormatCymd.c_str()});
  if (code != kScanOk) return code;
  if (IsType(fvtyp, "GREG")) return Accept(result, out, RelativeDay(tm.tm_year + 1900LL, tm.tm_mon + 1, tm.tm_mday));
  const int mode = Locale().y2kMode;
  const bool twoDigits = mode == 1 || (mode == 0 && IsType(fvtyp, "YMD"));
  return Accept(result, out, DateValue(tm, twoDigits));
}

ScanResult FldScanTime(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                       const char *format, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanTime");
  const LanguageInfo &info = Locale().LangInfo;
  result = 0;
  out.clear();
  if (const ScanResult bad = CheckValid(out, in, valid); bad != kScanOk) return bad;
  if (IsType(fvtyp, "HM60")) {
    std::tm tm{};
    const ScanResult code = ScanWithFallbacks(tm, OrEmpty(in), OrEmpty(format), {info.timeFormatHm.c_str()});
    if (code != kScanOk) return code;
    return Accept(result, out, tm.tm_hour * 100 + (tm.tm_min * 100 + 30) / 60);
  }
  double number = 0;
  std::string normalised;
  char bad = '\0';
  const ScanResult code = ScanNum(number, normalised, OrEmpty(in), 2, 0, 0, FMCHK_NONE, bad);
  if (code != kScanOk) return code;
  const double hundredths = std::trunc((number + 0.005) * 100);
  if (!(hundredths <= INT32_MAX)) return kScanTooHigh;
  if (!(hundredths >= INT32_MIN)) return kScanTooLow;
  return Accept(result, out, static_cast<std::int64_t>(hundredths));
}

ScanResult FldScanWeek(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                       const char *format, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanWeek");
  const LanguageInfo &info = Locale().LangInfo;
  result = 0;
  out.clear();
  if (const ScanResult bad = CheckValid(out, in, valid); bad != kScanOk) return bad;
  std::tm tm{};
  int fallbacks = 0;
  const ScanResult code = ScanWithFallbacks(
      tm, OrEmpty(in), OrEmpty(format),
      {info.weekFormat.c_str(), info.dateFormatYmd.c_str(), info.dateFormatCymd.c_str()}, &fallbacks);
  if (code != kScanOk) return code;
  const bool markedDate = fallbacks >= 2;  // read by the date or the century date format
  TraceLine('F', 3, "flg=%d, fvt=%s", markedDate ? 1 : 0, OrEmpty(fvtyp));
  TraceLine('F', 3, "tm_year=%d tm_mon=%d tm_mday=%d", tm.tm_year, tm.tm_mon, tm.tm_mday);
  const bool twoDigits = Locale().y2kMode == 1;
  if (markedDate && !IsType(fvtyp, "KW")) return Accept(result, out, DateValue(tm, twoDigits));
  int weekYear = 0;
  const int week = WeekOfYear(tm, weekYear);
  const std::int64_t year = twoDigits ? TwoDigits(weekYear) : weekYear + 1900LL;
  return Accept(result, out, year * 100 + week);
}

ScanResult FldScanMonth(std::int32_t &result, std::string &out, const char *in, const char *,
                        const char *format, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanMonth");
  result = 0;
  out.clear();
  if (const ScanResult bad = CheckValid(out, in, valid); bad != kScanOk) return bad;
  std::tm tm{};
  const ScanResult code = ScanWithFallbacks(tm, OrEmpty(in), OrEmpty(format), {Locale().LangInfo.monthFormat.c_str()});
  if (code != kScanOk) return code;
  const std::int64_t year = Locale().y2kMode == 1 ? TwoDigits(tm.tm_year) : tm.tm_year + 1900LL;
  return Accept(result, out, year * 100 + tm.tm_mon + 1);
}

}  // namespace vl
