// Field formatting and scanning: the locale tables every formatter reads, the
// number formatter and scanner, the text formatter, and the validity class check.
//
// The locale state is four tables: the character classes (LocaleClass), the case
// mappings (LocaleUpper, LocaleLower) and the language information (LangInfo).
// They are produced by packing a locale buffer (BuildLocale, in the CSDX stream)
// and decoding it again (SetClientLocale, GetLocaleInfo). The formatters never ask
// the standard library for names, separators or classes while they work: between
// host calls the process locale is "C", and they substitute the locale's decimal
// point, thousands separator and minus sign themselves.
//
// Texts are bytes; character codes index the tables as unsigned bytes.
#pragma once

#include <array>
#include <cstring>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "common.h"

namespace vl {

// ===========================================================================
// Locale tables
// ===========================================================================

// Class bits of LocaleClass.
inline constexpr std::uint32_t CC_ALNUM = 0x0001;   // letter or digit
inline constexpr std::uint32_t CC_ALPHA = 0x0002;   // letter
inline constexpr std::uint32_t CC_CNTRL = 0x0004;   // control character
inline constexpr std::uint32_t CC_DIGIT = 0x0008;   // decimal digit
inline constexpr std::uint32_t CC_GRAPH = 0x0010;   // visible character
inline constexpr std::uint32_t CC_LOWER = 0x0020;   // lower-case letter
inline constexpr std::uint32_t CC_PRINT = 0x0040;   // printable, blank included
inline constexpr std::uint32_t CC_PUNCT = 0x0080;   // punctuation
inline constexpr std::uint32_t CC_SPACE = 0x0100;   // white space
inline constexpr std::uint32_t CC_UPPER = 0x0200;   // upper-case letter
inline constexpr std::uint32_t CC_XDIGIT = 0x0400;  // hexadecimal digit
inline constexpr std::uint32_t CC_ASCII = 0x0800;   // code below 0x80

// Statuses of the locale build (define_locale, BuildLocale, SetClientLocale,
// setup_locale_from_env). Their values are the host results that dll_SetLocale
// returns as they are.
enum [[nodiscard]] LocaleStatus : int {
  kLocaleOk = 0,
  kLocaleNoMemory = 2,   // memory exhausted
  kLocaleFailed = 19,    // bad definition list, refused locale, or the buffer could not be packed
  kLocaleCorrupt = 204,  // the packed buffer was rejected
};


// Revision of the packed locale buffer's layout.
inline constexpr int LOCALE_REVISION = 1;

// One string field of LangInfo: absent (before the first build, or after a
// corrupt buffer), or a byte string without NUL bytes (possibly empty).
class LangText {
 public:
  LangText() = default;
  explicit LangText(bool present) : present_(present) {}

  bool present() const noexcept { return present_; }
  // The text; an absent field reads as empty.
  const char *c_str() const noexcept { return text_.c_str(); }
  std::string_view view() const noexcept { return text_; }
  std::size_t size() const noexcept { return text_.size(); }
  bool empty() const noexcept { return text_.empty(); }
  // The first byte as a locale character, or 0 when it is not set (absent, empty,
  // or a first byte of 0 or 127).
  char Char() const noexcept {
    const char c = text_.empty() ? '\0' : text_[0];
    return c == '\x7f' ? '\0' : c;
  }

  // A fresh copy of `bytes`, cut at its first NUL byte.
  void Assign(std::string_view bytes);
  void Release() noexcept {
    text_.clear();
    text_.shrink_to_fit();
    present_ = false;
  }

 private:
  std::string text_;
  bool present_ = false;
};

// The language information: names, formats, numeric conventions and the default
// formats of the date, time, week and month fields. The field numbers are the
// order of the LANGINFO section of the packed buffer.
struct LanguageInfo {
  std::array<LangText, 7> dayAbbr;     // 1-7    two-letter day names, Sunday first ("So")
  std::array<LangText, 7> dayName;     // 8-14   full day names, Sunday first ("Sonntag")
  std::array<LangText, 12> monthAbbr;  // 15-26  month abbreviations, January first ("Jan.")
  std::array<LangText, 12> monthName;  // 27-38  full month names ("Januar")
  LangText dateTimeFormat;             // 39     directive %c
  LangText dateFormat;                 // 40     directive %x
  LangText timeFormat;                 // 41     directive %X
  LangText amMarker;                   // 42     directive %p, hours 0-11
  LangText pmMarker;                   // 43     directive %p, hours 12-23
  LangText timeFormat2;                // 44     carried in the buffer only
  LangText decimalPoint{true};         // 45     first byte used
  LangText thousandsSep{true};         // 46     first byte used
  LangText grouping{true};             // 47     group sizes, one byte each, as in localeconv
  LangText overflowFill{true};         // 48     first byte used
  LangText minusSign{true};            // 49     first byte used
  LangText dateFormatYmd;              // 50     default date format, value types GREG and YMD
  int dateLengthYmd = 0;               // 51     its default field length
  LangText dateFormatCymd;             // 52     default date format, value type CYMD
  int dateLengthCymd = 0;              // 53     its default field length
  LangText timeFormatHm;               // 54     default time format, value type HM60
  int timeLength = 0;                  // 55     default time field length (HM60, HM100)
  int hm100Precision = 0;              // 56     default precision, value type HM100
  LangText monthFormat;                // 57     default month format
  int monthLength = 0;                 // 58     its default field length
  LangText weekFormat;                 // 59     default calendar-week format
  int weekLength = 0;                  // 60     its default field length

  // Makes every string field absent.
  void ReleaseTexts() noexcept;
};

// The state of the formatting component: the four locale tables every formatter
// and scanner reads, what the checker's locale set-up remembers during one run,
// and the two-digit-year mode of the date fields. Reached through Locale(); its
// reset is in clilocal.cpp.
struct LocaleState {
  std::array<std::uint32_t, 256> LocaleClass{};  // class bits by code; all 0 until a build
  std::array<unsigned char, 256> LocaleUpper{};  // upper-case mapping; all 0 until a build
  std::array<unsigned char, 256> LocaleLower{};  // lower-case mapping; all 0 until a build
  LanguageInfo LangInfo;                         // language information
  bool refusalSeen = false;                      // set_locale: a category was refused this run
  int y2kMode = 0;                               // dict_Y2kMode: 0 (YMD stored yymmdd, all else with
                                                 // four-digit years), 1 (all two-digit years),
                                                 // 2 (all four-digit years)
};

// The process-wide locale state, created empty on first use (its reset is in
// clilocal.cpp). Compilers that can constant-initialise its strings do so and
// need no guard on the way in; others build it on the first call.
inline LocaleState &Locale() noexcept {
  static LocaleState state;
  return state;
}

// The overflow fill character: the first byte of LangInfo field 48, else '?'.
inline char OverflowFill() noexcept {
  const char c = Locale().LangInfo.overflowFill.Char();
  return c != '\0' ? c : '?';
}

// Empties the locale state as at load (for tests; ResetForTest runs it).
void ResetLocaleForTest();

// Packs the locale buffer into csdxBuf from the process's current locale (the
// built-in tables and names, decimal point, thousands separator and grouping from
// localeconv) and installs it with SetClientLocale. On success the buffer stays in
// csdxBuf, positioned at its start, for dll_SendNext. Returns kLocaleOk,
// kLocaleFailed (the buffer could not be packed), kLocaleNoMemory or kLocaleCorrupt.
LocaleStatus BuildLocale();

// Checks the header of csdxBuf (revision, total size) and decodes its body into the
// four tables. Returns kLocaleOk, kLocaleCorrupt (bad header or corrupt body) or
// kLocaleNoMemory.
LocaleStatus SetClientLocale();

// The checker's locale set-up from VELMLANG, or LANG, LC_COLLATE and LC_CTYPE:
// sets the categories (reporting refused ones on standard error), builds the
// tables, then keeps only the character-type and collation categories on the
// user's language. Returns BuildLocale's status.
LocaleStatus setup_locale_from_env();

// Sets one category (LC_ALL, LC_COLLATE, LC_CTYPE, ...) for the checker; a refusal
// is reported on standard error (with the warning header on the run's first one)
// and on the trace. `last` ends the set-up: after a refusal during the run it
// writes "Continuing processing using default language.". True when set.
bool set_locale(int category, const char *value, bool last);

// ===========================================================================
// Flags, check modes and scan results
// ===========================================================================

// Format flag word of numbers (FFMT letters B G L P R S T Z).
inline constexpr unsigned FMT_RIGHT = 0x0001;  // R sets, L clears: right-aligned; clear is FMT_LEFT
inline constexpr unsigned FMT_BZERO = 0x0010;  // B: a zero value gives empty text
inline constexpr unsigned FMT_LZERO = 0x0020;  // Z: leading positions "0" instead of blanks
inline constexpr unsigned FMT_TZERO = 0x0040;  // T: trailing zeros of the decimals stay
inline constexpr unsigned FMT_PZERO = 0x0080;  // P: the zero before the point of a value below 1 stays
inline constexpr unsigned FMT_GROUP = 0x0100;  // G: thousands separators
inline constexpr unsigned FMT_RSIGN = 0x1000;  // S: one column narrower, absolute value, no sign

// Format flag word of texts (FFMT letters C L O R T U V Z); bit 0x0001 is FMT_RIGHT.
inline constexpr unsigned FMT_CENTR = 0x0002;  // C: centred, wins over FMT_RIGHT
inline constexpr unsigned FMT_LBLNK = 0x0004;  // Z: leading blanks stay
inline constexpr unsigned FMT_TBLNK = 0x0008;  // T: trailing blanks stay
inline constexpr unsigned FMT_UCASE = 0x0200;  // U: upper case (clears FMT_LCASE)
inline constexpr unsigned FMT_LCASE = 0x0400;  // V: lower case (clears FMT_UCASE)
inline constexpr unsigned FMT_OVFL = 0x0800;   // O: too long a text becomes a fill row

// Flag words from FFMT strings; only the flag letters in upper case act, every
// other character is ignored; null counts as empty.
unsigned NumFlagWord(const char *ffmt) noexcept;
unsigned TextFlagWord(const char *ffmt) noexcept;

// Check modes of ScanNum: the range enforced and whether decimals are allowed.
enum CheckMode : int {
  FMCHK_NONE = 0,   // no range; PREC decimals
  FMCHK_INT = 1,    // -32767 to 32767; no decimals
  FMCHK_LINT = 2,   // -2147483647 to 2147483647; no decimals
  FMCHK_REAL = 3,   // -999999 to 999999; PREC decimals
  FMCHK_LREAL = 4,  // no range; PREC decimals
};

// The check mode a value type (FVTYP) selects: the whole text compared, ASCII case
// ignored, with I, D, S and L; anything else (or null) FMCHK_NONE.
CheckMode CheckModeOf(const char *fvtyp) noexcept;

// Results of every field scanner, and what the host's rc becomes for each.
enum [[nodiscard]] ScanResult : int {
  kScanOk = 0,          // accepted                                  rc 0, out := normalised text
  kScanEmpty = 1,       // field empty                               rc -1
  kScanCallError = 2,   // bad mode, negative precision               rc 0, call result 19
  kScanBadChar = 3,     // invalid character                         rc 3, out := the character
  kScanAfterBlank = 4,  // character after embedded white space      rc 1
  kScanSign = 5,        // sign misplaced                            rc 1
  kScanPoint = 6,       // decimal point misplaced                   rc 1
  kScanDecimals = 7,    // decimals where PREC is 0                  rc 1
  kScanTooLow = 8,      // below the range of the mode               rc 1
  kScanTooHigh = 9,     // above the range of the mode               rc 1
  kScanBelowMin = 10,   // below MIN                                 rc 2
  kScanAboveMax = 11,   // above MAX                                 rc 2
  kScanBadDate = 12,    // invalid date or time                      rc 1
  kScanLeftOver = 13,   // input left over after the format           rc 1
};

// The rc the host receives from a scanner (and from chk_Num).
enum ScanRc : int {
  kRcAccepted = 0,    // the input was accepted
  kRcEmpty = -1,      // the field was empty
  kRcInvalid = 1,     // the input is not a valid value
  kRcOutOfRange = 2,  // the value is outside MIN and MAX (chk_Num: outside its type)
  kRcBadChar = 3,     // a character the validity class refuses
};

// The host's rc for a scan result: the one mapping of the table above.
ScanRc ScanHostRc(int code) noexcept;

// ===========================================================================
// Field text: what every field formatter writes (field.cpp)
// ===========================================================================

// Characters of a text work field, the longest text a formatted field holds.
inline constexpr int kTextWork = 279;

// Whether a field formatter's text fits its field. A value that does not fit is
// shown as a row of the overflow fill character.
enum FieldFit : int {
  kFieldOverflow = 0,  // the text is a row of fill characters (or empty)
  kFieldFits = 1,      // the text shows the value
};

// The text of one formatted field: at most kTextWork bytes, always followed by a
// NUL. Formatters write it through these operations only; Overflow is the one
// place where a value that does not fit becomes a row of fill characters.
class FieldText {
 public:
  static constexpr std::size_t kCapacity = kTextWork;

  FieldText() noexcept { bytes_[0] = '\0'; }

  const char *c_str() const noexcept { return bytes_.data(); }
  const char *data() const noexcept { return bytes_.data(); }
  std::string_view view() const noexcept { return {bytes_.data(), length_}; }
  std::size_t size() const noexcept { return length_; }
  bool empty() const noexcept { return length_ == 0; }

  void Clear() noexcept { Resize(0); }
  // Makes the text `n` bytes long (at most kCapacity) and returns where they
  // start, for the caller to write them.
  char *Resize(std::size_t n) noexcept {
    length_ = n < kCapacity ? n : kCapacity;
    bytes_[length_] = '\0';
    return bytes_.data();
  }
  // Replace or extend the text; what goes beyond kCapacity is cut.
  void Assign(std::string_view text) noexcept {
    length_ = 0;
    Append(text);
  }
  void Append(std::string_view text) noexcept {
    const std::size_t n = text.size() < kCapacity - length_ ? text.size() : kCapacity - length_;
    if (n != 0) std::memcpy(bytes_.data() + length_, text.data(), n);
    Resize(length_ + n);
  }
  void Append(std::size_t count, char c) noexcept {
    const std::size_t n = count < kCapacity - length_ ? count : kCapacity - length_;
    if (n == 0) return;
    std::memset(bytes_.data() + length_, c, n);
    Resize(length_ + n);
  }

  // The overflow: `count` copies of the overflow fill character (none for a
  // count below 1, kCapacity at the most), the trace line "  OVERFLOW" (F2), and
  // kFieldOverflow for the formatter to return.
  FieldFit Overflow(int count) noexcept;

  friend bool operator==(const FieldText &text, std::string_view other) noexcept { return text.view() == other; }

 private:
  std::array<char, kCapacity + 1> bytes_;
  std::size_t length_ = 0;
};

// The field names before FieldText served every formatter.
using NumField = FieldText;
using TextField = FieldText;

// ===========================================================================
// Numbers (numfmt)
// ===========================================================================

// Characters of the number work area: longer fields, precisions and input texts
// are outside what a field can hold.
inline constexpr int kNumWork = 255;

// Formats `value` into a field of `len` columns with `prec` decimals. Returns
// kFieldFits with the text in `out` (at most len characters), or kFieldOverflow
// when the value does not fit and `out` is a row of the overflow fill (len
// characters, at most kNumWork; empty when len < 1). Non-finite values, len or
// prec above kNumWork never fit.
FieldFit FmtNum(FieldText &out, double value, int len, int prec, unsigned flags);
FieldFit FldFmtNum(FieldText &out, double value, int len, int prec, const char *ffmt);

// Scans field text under a check mode and bounds (min and max both 0: none).
// `result` gets the value (0 unless accepted), `out` the normalised text (empty
// for a zero value), `bad` the offending character for codes 3 to 5 (else 0).
// An input longer than kNumWork characters, or a precision above it, is a call
// error (2).
ScanResult ScanNum(double &result, std::string &out, std::string_view in, int prec, double min, double max,
                   int mode, char &bad);
// Checks the validity class, maps the value type to a check mode and scans; on
// every non-zero code `out` is the bad character as a one-character text (empty
// when there is none).
ScanResult FldScanNum(double &result, std::string &out, std::string_view in, const char *fvtyp, int prec,
                      double min, double max, const char *valid);

// Results of FmtCheckValid.
enum [[nodiscard]] ValidCheck : int {
  kValidSyntaxError = -1,  // the class is malformed; `bad` is 0
  kValidRefused = 0,       // a character is non-printable or not in the class; `bad` is set to it
  kValidAllowed = 1,       // every character is allowed
};

// Checks every character of `text` against the validity class `valid` (empty or
// null: every printable character).
ValidCheck FmtCheckValid(std::string_view text, const char *valid, char &bad);

// ===========================================================================
// Texts (textfmt)
// ===========================================================================

// Formats `text` into a field of `len` columns. Returns kFieldFits with the text,
// or kFieldOverflow with a fill row (too long a text under FMT_OVFL, or a result longer than the
// kTextWork characters of the work field, which gives kTextWork fill characters)
// or an empty text (len < 1).
FieldFit FmtText(FieldText &out, std::string_view text, int len, unsigned flags);
FieldFit FldFmtText(FieldText &out, std::string_view text, int len, const char *ffmt);

// Formats `in` and checks the formatted text against the validity class. Returns
// kScanOk (out: the formatted text), kScanEmpty, kScanCallError (a field longer
// than the work field, traced) or kScanBadChar (out: the refused character, empty
// after a class syntax error).
ScanResult FldScanText(FieldText &out, std::string_view in, int len, const char *ffmt, const char *valid);

// ===========================================================================
// Dates, times, weeks and months (datefmt)
//
// Day numbers count days on the Gregorian calendar from
// 1 March 1700 to 28 February 2100; relative day numbers count from
// 1 January 1972, which is relative day 1 (a Saturday); 0 means no date.
// Year rule of every calendar routine: a year below 1000 is read as 1900 + year,
// so a tm_year (years since 1900) may be given wherever a year is.
// ===========================================================================

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

// Formats tm by `format` into a field of `len` characters: returns kFieldFits and
// the text, or kFieldOverflow and `len` copies of the overflow fill when the text
// does not fit, a value is out of range, or a nested format fails. A field longer
// than the work field keeps a text that fits there; a longer text overflows as a
// row of kTextWork fill characters. Directives: %a %A %b %B %c %x %X %d %H %I %j
// %m %M %S %p %w %W %Y %y, each optionally with "-", "0" or blank, a width and a
// precision; other letters are copied as written.
FieldFit FmtDate(FieldText &out, const std::tm &tm, int len, const char *format);

// Parses `in` by the directives of `format` (%d %m %y %Y %H %M %S %W) into tm.
// Returns kScanOk, kScanEmpty (input empty), kScanBadDate (invalid date or time,
// or a directive it does not read) or kScanLeftOver (input left over, or an empty
// format).
ScanResult ScanDate(std::tm &tm, const char *in, const char *format);

// ---------------------------------------------------------------------------
// Date, time, week and month field values. Value types (FVTYP, compared as whole
// texts without regard to ASCII case; null counts as empty):
//   GREG   relative day number            YMD   yymmdd or yyyymmdd by the mode
//   CYMD   yyyymmdd (yymmdd in mode 1)    HM60  hundredths of an hour, as hh:mm
//   HM100  hundredths of an hour, as a decimal number of hours
//   KW     yyyyww (yyww in mode 1)        months: yyyymm (yymm in mode 1)
// On output a year part below 1000 means 1900 + year.
// ---------------------------------------------------------------------------

// The two-digit-year mode is Locale().y2kMode.

// Field formatters: text in out ("" for value 0). A field longer than the
// kTextWork characters of the work field keeps a text that fits there; a longer
// text overflows as a row of kTextWork fill characters. They return FmtDate's
// result (kFieldFits for an empty value).
FieldFit FldFmtDate(FieldText &out, std::int64_t value, bool isGreg, int len, const char *format);
FieldFit FldFmtTime(FieldText &out, std::int64_t seconds, int len, const char *format);
FieldFit FldFmtWeek(FieldText &out, std::int64_t value, int len, const char *fvtyp, const char *format);
FieldFit FldFmtMonth(FieldText &out, std::int64_t value, int len, const char *format);

// Field scanners: a scan result; on kScanOk, result is the value and out its
// decimal text; on kScanBadChar, out is the refused character (empty after a class
// syntax error); otherwise result is 0 and out empty.
ScanResult FldScanDate(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                       const char *format, const char *valid);
ScanResult FldScanTime(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                       const char *format, const char *valid);
ScanResult FldScanWeek(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                       const char *format, const char *valid);
ScanResult FldScanMonth(std::int32_t &result, std::string &out, const char *in, const char *fvtyp,
                        const char *format, const char *valid);

}  // namespace vl
