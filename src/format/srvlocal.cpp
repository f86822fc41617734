// The server half of the locale tables: packs the locale buffer into csdxBuf
// (BuildLocale), which the client half then decodes, and sets the checker's
// locale categories from the environment (setup_locale_from_env). The module's
// definition lists (define_locale) are read by its host layer, fmthost.cpp.
//
// Most of the buffer is fixed: the class and case tables describe the HP Roman-8
// character set, and the day and month names are German. Only the decimal point,
// the thousands separator and the grouping come from the standard library's
// numeric conventions at build time.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "buffers.h"
#include "format.h"
#include "format_int.h"

namespace vl {
namespace {

// ---------------------------------------------------------------------------
// The built-in character set tables
// ---------------------------------------------------------------------------

struct ClassRun {
  unsigned first, last;  // code range, both included
  std::uint16_t mask;    // CC_ bits of every code in it
};

constexpr ClassRun kClassRuns[] = {
    {0x00, 0x08, 0x0804}, {0x09, 0x0D, 0x0904}, {0x0E, 0x1F, 0x0804}, {0x20, 0x20, 0x0940},
    {0x21, 0x2F, 0x08D0}, {0x30, 0x39, 0x0C59}, {0x3A, 0x40, 0x08D0}, {0x41, 0x46, 0x0E53},
    {0x47, 0x5A, 0x0A53}, {0x5B, 0x60, 0x08D0}, {0x61, 0x66, 0x0C73}, {0x67, 0x7A, 0x0873},
    {0x7B, 0x7E, 0x08D0}, {0x7F, 0x7F, 0x0804}, {0x80, 0x9F, 0x0004}, {0xA0, 0xA0, 0x0000},
    {0xA1, 0xA7, 0x0253}, {0xA8, 0xAC, 0x00D0}, {0xAD, 0xAE, 0x0253}, {0xAF, 0xB0, 0x00D0},
    {0xB1, 0xB1, 0x0253}, {0xB2, 0xB2, 0x0073}, {0xB3, 0xB3, 0x00D0}, {0xB4, 0xB4, 0x0253},
    {0xB5, 0xB5, 0x0073}, {0xB6, 0xB6, 0x0253}, {0xB7, 0xB7, 0x0073}, {0xB8, 0xBF, 0x00D0},
    {0xC0, 0xCF, 0x0073}, {0xD0, 0xD0, 0x0253}, {0xD1, 0xD1, 0x0073}, {0xD2, 0xD3, 0x0253},
    {0xD4, 0xD7, 0x0073}, {0xD8, 0xD8, 0x0253}, {0xD9, 0xD9, 0x0073}, {0xDA, 0xDC, 0x0253},
    {0xDD, 0xDD, 0x0073}, {0xDE, 0xDE, 0x0273}, {0xDF, 0xE1, 0x0253}, {0xE2, 0xE2, 0x0073},
    {0xE3, 0xE3, 0x0253}, {0xE4, 0xE4, 0x0073}, {0xE5, 0xE9, 0x0253}, {0xEA, 0xEA, 0x0073},
    {0xEB, 0xEB, 0x0253}, {0xEC, 0xEC, 0x0073}, {0xED, 0xEE, 0x0253}, {0xEF, 0xEF, 0x0073},
    {0xF0, 0xF0, 0x0253}, {0xF1, 0xF1, 0x0073}, {0xF2, 0xFE, 0x00D0}, {0xFF, 0xFF, 0x0004},
};

// Case pairs beyond a-z: lower-case code, upper-case code.
struct CasePair {
  unsigned lower, upper;
};

constexpr CasePair kCasePairs[] = {
    {0xB2, 0xB1}, {0xB5, 0xB4}, {0xB7, 0xB6}, {0xC0, 0xA2}, {0xC1, 0xA4}, {0xC2, 0xDF}, {0xC3, 0xAE},
    {0xC4, 0xE0}, {0xC5, 0xDC}, {0xC6, 0xE7}, {0xC7, 0xED}, {0xC8, 0xA1}, {0xC9, 0xA3}, {0xCA, 0xE8},
    {0xCB, 0xAD}, {0xCC, 0xD8}, {0xCD, 0xA5}, {0xCE, 0xDA}, {0xCF, 0xDB}, {0xD1, 0xA6}, {0xD4, 0xD0},
    {0xD5, 0xE5}, {0xD6, 0xD2}, {0xD7, 0xD3}, {0xD9, 0xE6}, {0xDD, 0xA7}, {0xE2, 0xE1}, {0xE4, 0xE3},
    {0xEA, 0xE9}, {0xEC, 0xEB}, {0xEF, 0xEE}, {0xF1, 0xF0},
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

template <std::size_t N>
constexpr void PutHex(std::array<char, N> &hex, std::size_t at, unsigned value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    hex[at + static_cast<std::size_t>(i)] = kHexDigits[value & 0xF];
    value >>= 4;
  }
}

// Section IS: four hex digits per code.
constexpr std::array<char, 1024> MakeClassHex() {
  std::array<char, 1024> hex{};
  for (const ClassRun &run : kClassRuns) {
    for (unsigned code = run.first; code <= run.last; ++code) PutHex(hex, code * 4, run.mask, 4);
  }
  return hex;
}

// Section TOUPPER (toUpper) or TOLOWER: two hex digits per code.
constexpr std::array<char, 512> MakeCaseHex(bool toUpper) {
  std::array<unsigned, 256> map{};
  for (unsigned code = 0; code < 256; ++code) map[code] = code;
  for (unsigned code = 'a'; code <= 'z'; ++code) {
    if (toUpper) map[code] = code - 'a' + 'A';
    else map[code - 'a' + 'A'] = code;
  }
  for (const CasePair &pair : kCasePairs) {
    if (toUpper) map[pair.lower] = pair.upper;
    else map[pair.upper] = pair.lower;
  }
  std::array<char, 512> hex{};
  for (unsigned code = 0; code < 256; ++code) PutHex(hex, code * 2, map[code], 2);
  return hex;
}

constexpr std::array<char, 1024> kClassHex = MakeClassHex();
constexpr std::array<char, 512> kUpperHex = MakeCaseHex(true);
constexpr std::array<char, 512> kLowerHex = MakeCaseHex(false);

// ---------------------------------------------------------------------------
// The built-in language information, in the order of the LANGINFO section
// ---------------------------------------------------------------------------

enum class From { kText, kNumber, kDecimalPoint, kThousandsSep, kGrouping };

struct BuiltField {
  From from;
  const char *text;
  int number;
};

constexpr BuiltField Text(const char *text) { return {From::kText, text, 0}; }
constexpr BuiltField Number(int number) { return {From::kNumber, nullptr, number}; }

constexpr BuiltField kLangInfo[] = {
    // 1-7 two-letter day names, 8-14 full day names, Sunday first
    Text("So"), Text("Mo"), Text("Di"), Text("Mi"), Text("Do"), Text("Fr"), Text("Sa"),
    Text("Sonntag"), Text("Montag"), Text("Dienstag"), Text("Mittwoch"), Text("Donnerstag"), Text("Freitag"),
    Text("Samstag"),
    // 15-26 month abbreviations, 27-38 full month names ("M\xE4rz" is M, a-umlaut, r, z)
    Text("Jan."), Text("Feb."), Text("M\xE4rz"), Text("Apr."), Text("Mai"), Text("Juni"), Text("Juli"),
    Text("Aug."), Text("Sept."), Text("Okt."), Text("Nov."), Text("Dez."),
    Text("Januar"), Text("Februar"), Text("M\xE4rz"), Text("April"), Text("Mai"), Text("Juni"), Text("Juli"),
    Text("August"), Text("September"), Text("Oktober"), Text("November"), Text("Dezember"),
    // 39-44 date-and-time, date and time formats, morning and afternoon markers,
    // second time format
    Text("%a., %d. %b %Y, %H:%M:%S"), Text("%a., %d. %b %Y"), Text("%H:%M:%S"), Text(""), Text(""),
    Text("%H:%M:%S"),
    // 45-49 decimal point, thousands separator, grouping, overflow fill, minus sign
    {From::kDecimalPoint, nullptr, 0}, {From::kThousandsSep, nullptr, 0}, {From::kGrouping, nullptr, 0},
    Text("?"), Text("-"),
    // 50-60 default formats and lengths: dates GREG/YMD and CYMD, time HM60 with
    // the HM100 precision, month, calendar week
    Text("%d.%m.%y"), Number(8), Text("%d.%m.%y"), Number(10), Text("%H:%M"), Number(5), Number(2),
    Text("%m/%y"), Number(5), Text("%W/%y"), Number(5),
};
static_assert(std::size(kLangInfo) == 60);

void PutText(const char *text) { CSDX_PutString(text, std::strlen(text)); }

// The grouping as a string entry of twice its byte count: two upper-case hex
// digits per byte, high nibble first.
void PutGrouping(const char *grouping) {
  const std::size_t n = std::strlen(grouping);
  CSDX_PutNumber(static_cast<long>(2 * n));
  for (std::size_t i = 0; i < n; ++i) {
    const auto byte = static_cast<unsigned char>(grouping[i]);
    const char pair[2] = {kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    CSDX_PutRaw(pair, 2);
  }
}

void PutLangInfo(const std::lconv &conventions) {
  for (const BuiltField &field : kLangInfo) {
    switch (field.from) {
      case From::kText: PutText(field.text); break;
      case From::kNumber: CSDX_PutNumber(field.number); break;
      case From::kDecimalPoint: PutText(conventions.decimal_point); break;
      case From::kThousandsSep: PutText(conventions.thousands_sep); break;
      case From::kGrouping: PutGrouping(conventions.grouping); break;
    }
  }
}

// ---------------------------------------------------------------------------
// Locale categories
// ---------------------------------------------------------------------------

struct Category {
  const char *word;  // type word of a definition list; none for character types
  int category;      // LC_ constant
  const char *name;  // name in the checker's messages
};

// Ends with the invalid row, which stops every search.
constexpr Category kCategories[] = {
    {"LANG", LC_ALL, "LANG"},
    {"COLLATE", LC_COLLATE, "LC_COLLATE"},
    {nullptr, LC_CTYPE, "LC_CTYPE"},
    {"MONETARY", LC_MONETARY, "LC_MONETARY"},
    {"NUMERIC", LC_NUMERIC, "LC_NUMERIC"},
    {"TIME", LC_TIME, "LC_TIME"},
    {"INVALID", kNoLocaleCategory, "LC_INVALID"},
};

const char *CategoryName(int category) {
  const Category *row = kCategories;
  while (row->category != kNoLocaleCategory && row->category != category) ++row;
  return row->name;
}

}  // namespace

int LocaleCategoryOfWord(std::string_view word) noexcept {
  for (const Category &row : kCategories) {
    if (row.category == kNoLocaleCategory) break;
    if (row.word != nullptr && word == row.word) return row.category;
  }
  return kNoLocaleCategory;
}

LocaleStatus BuildLocale() {
  VL_TRACE_ENTRY('D', "BuildLocale");
  const std::lconv *conventions = std::localeconv();
  const Status packed = CSDX_Pack("BuildLocale", [&] {
    CSDX_PutHeader();
    CSDX_PutRaw(kClassHex.data(), kClassHex.size());
    CSDX_PutRaw(kUpperHex.data(), kUpperHex.size());
    CSDX_PutRaw(kLowerHex.data(), kLowerHex.size());
    PutLangInfo(*conventions);
  });
  if (packed == kNoMemory) return kLocaleNoMemory;
  if (packed != kOk) return kLocaleFailed;
  const LocaleStatus status = SetClientLocale();
  if (status != kLocaleOk) CSDX_Reset();
  return status;
}

bool set_locale(int category, const char *value, bool last) {
  if (value == nullptr) value = "";
  errno = 0;
  const bool set = std::setlocale(category, value) != nullptr;
  // A language that could not be loaded for lack of memory is no missing one.
  if (!set && errno == ENOMEM) return false;
  if (!set) {
    if (!Locale().refusalSeen) {
      std::fprintf(stderr, "%s: %s\n", "qorv", "Warning!  The following language(s) are not available:");
      Locale().refusalSeen = true;
    }
    std::fprintf(stderr, "%15s %s=%s\n", "", CategoryName(category), value);
    TraceLine('N', 1, "set_locale(): %s=%s", CategoryName(category), value);
  }
  if (last && Locale().refusalSeen) std::fputs("Continuing processing using default language.\n", stderr);
  return set;
}

LocaleStatus setup_locale_from_env() {
  std::string all, collate, ctype;
  const char *velmlang = GetEnv("VELMLANG");
  if (velmlang != nullptr && *velmlang != '\0') {
    // The "@" part names a collation variant: only collation gets it.
    collate = velmlang;
    all = ctype = collate.substr(0, collate.find('@'));
  } else {
    const char *lang = GetEnv("LANG");
    const char *lcCollate = GetEnv("LC_COLLATE");
    const char *lcCtype = GetEnv("LC_CTYPE");
    all = lang != nullptr ? lang : "C";
    collate = lcCollate != nullptr ? lcCollate : all;
    ctype = lcCtype != nullptr ? lcCtype : all;
  }
  bool noMemory = false;
  const auto set = [&noMemory](int category, const std::string &value, bool last) {
    const bool done = set_locale(category, value.c_str(), last);
    if (!done && errno == ENOMEM) noMemory = true;
    return done;
  };
  set(LC_ALL, all, false);
  const bool collateSet = set(LC_COLLATE, collate, false);
  const bool ctypeSet = set(LC_CTYPE, ctype, true);
  const LocaleStatus status = noMemory ? kLocaleNoMemory : BuildLocale();

  // The checker keeps character types and collation on the user's language.
  std::setlocale(LC_ALL, "C");
  std::setlocale(LC_CTYPE, ctypeSet ? ctype.c_str() : "C");
  std::setlocale(LC_COLLATE, collateSet ? collate.c_str() : "C");
  return status;
}

}  // namespace vl
