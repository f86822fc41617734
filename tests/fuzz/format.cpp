// The field formatters and scanners: numbers, texts, validity classes, dates,
// times, weeks and months, and the date format directives.
//
// Input: a byte that picks the routine, its arguments, then the text or format.
// Checks:
//   - results from each routine's documented set, and texts that keep within
//     their field (the field's length, or the work field);
//   - a number formatted into a field that fits scans back to itself, rounded
//     to the field's decimals;
//   - a date formatted as day, month and year scans back to the same day.
#include <cmath>
#include <cstring>
#include <string>

#include "common.h"
#include "format.h"
#include "fuzz_state.h"

namespace {

bool IsScanResult(int r) { return r >= vl::kScanOk && r <= vl::kScanLeftOver; }

// A field text of a formatter: within `len` (or the work field) and terminated.
void CheckField(const vl::FieldText &out, int len, std::size_t work) {
  FUZZ_CHECK(out.c_str()[out.size()] == '\0');
  FUZZ_CHECK(out.size() <= work);
  if (len >= 0 && static_cast<std::size_t>(len) <= work) FUZZ_CHECK(out.size() <= static_cast<std::size_t>(len));
  if (len < 1) FUZZ_CHECK(out.empty());
}

void Numbers(vlfuzz::Input &in) {
  const double value = in.Real();
  const int len = static_cast<int>(in.Range(-2, vl::kNumWork + 2));
  const int prec = static_cast<int>(in.Range(-2, 20));
  const std::string ffmt = in.Text(12);
  vl::FieldText out;
  const vl::FieldFit fit = vl::FldFmtNum(out, value, len, prec, ffmt.c_str());
  FUZZ_CHECK(fit == vl::kFieldFits || fit == vl::kFieldOverflow);
  CheckField(out, len, vl::kNumWork);
  if (fit == vl::kFieldOverflow) {
    FUZZ_CHECK(out.view().find_first_not_of(vl::OverflowFill()) == std::string_view::npos);
    return;
  }
  // Back again: the scanner reads what the formatter wrote (signs and zero
  // suppression aside), as the value rounded to the field's decimals.
  const unsigned flags = vl::NumFlagWord(ffmt.c_str());
  if ((flags & (vl::FMT_RSIGN | vl::FMT_BZERO)) != 0 || prec < 0 || prec > 9 || !(std::fabs(value) < 1e12)) return;
  double back = 0;
  std::string normal;
  char bad = 0;
  const vl::ScanResult r = vl::ScanNum(back, normal, out.view(), prec, 0, 0, vl::FMCHK_NONE, bad);
  const double unit = std::pow(10.0, -prec);
  // A value that rounds to 0 may be written as nothing at all.
  FUZZ_CHECK(r == vl::kScanOk || (r == vl::kScanEmpty && std::fabs(value) <= unit / 2));
  FUZZ_CHECK(std::fabs(back - value) <= unit / 2 + std::fabs(value) * 1e-12);
}

void NumberScan(vlfuzz::Input &in) {
  const int prec = static_cast<int>(in.Range(-1, 12));
  const int mode = static_cast<int>(in.Range(-1, 5));
  const bool bounded = in.Bool();
  const double min = bounded ? static_cast<double>(in.Range(-100000, 100000)) : 0;
  const double max = bounded ? min + static_cast<double>(in.Range(0, 200000)) : 0;
  const std::string valid = in.Text(24);
  const std::string fvtyp = in.Text(4);
  const std::string text(in.Rest());
  double result = 0;
  std::string out;
  char bad = 0;
  const vl::ScanResult r = vl::ScanNum(result, out, text, prec, min, max, mode, bad);
  FUZZ_CHECK(IsScanResult(r) && r != vl::kScanBadDate && r != vl::kScanLeftOver);
  FUZZ_CHECK(out.size() <= vl::kNumWork);
  if (r == vl::kScanOk) {
    if (min != 0 || max != 0) FUZZ_CHECK(result >= min && result <= max);
    if (mode == vl::FMCHK_INT) FUZZ_CHECK(std::fabs(result) <= 32767 && result == std::trunc(result));
    if (mode == vl::FMCHK_LINT) FUZZ_CHECK(std::fabs(result) <= 2147483647.0 && result == std::trunc(result));
    if (mode == vl::FMCHK_REAL) FUZZ_CHECK(std::fabs(result) <= 999999);
    if (prec == 0) FUZZ_CHECK(result == std::trunc(result));
  } else {
    FUZZ_CHECK(result == 0);
  }
  if (r < vl::kScanBadChar || r > vl::kScanSign) FUZZ_CHECK(bad == 0);
  const vl::ScanResult f = vl::FldScanNum(result, out, text, fvtyp.c_str(), prec, min, max, valid.c_str());
  FUZZ_CHECK(IsScanResult(f));
  if (f != vl::kScanOk) FUZZ_CHECK(out.size() <= 1);
}

void Texts(vlfuzz::Input &in) {
  const int len = static_cast<int>(in.Range(-2, vl::kTextWork + 40));
  const std::string ffmt = in.Text(12);
  const std::string valid = in.Text(40);
  const std::string text(in.Rest());
  vl::FieldText out;
  const vl::FieldFit fit = vl::FldFmtText(out, text, len, ffmt.c_str());
  FUZZ_CHECK(fit == vl::kFieldFits || fit == vl::kFieldOverflow);
  CheckField(out, len, vl::kTextWork);
  char bad = 0;
  const vl::ValidCheck v = vl::FmtCheckValid(text, valid.c_str(), bad);
  FUZZ_CHECK(v == vl::kValidSyntaxError || v == vl::kValidRefused || v == vl::kValidAllowed);
  if (v == vl::kValidRefused) FUZZ_CHECK(text.find(bad) != std::string::npos);
  if (v == vl::kValidSyntaxError) FUZZ_CHECK(bad == 0);
  const vl::ScanResult r = vl::FldScanText(out, text, len, ffmt.c_str(), valid.c_str());
  FUZZ_CHECK(r == vl::kScanOk || r == vl::kScanEmpty || r == vl::kScanCallError || r == vl::kScanBadChar);
  if (r == vl::kScanBadChar) FUZZ_CHECK(out.size() <= 1);
  FUZZ_CHECK(out.size() <= vl::kTextWork && out.c_str()[out.size()] == '\0');
}

void DateFormat(vlfuzz::Input &in) {
  std::tm tm{};
  tm.tm_sec = static_cast<int>(in.Bits(4));
  tm.tm_min = static_cast<int>(in.Bits(4));
  tm.tm_hour = static_cast<int>(in.Bits(4));
  tm.tm_mday = static_cast<int>(in.Bits(4));
  tm.tm_mon = static_cast<int>(in.Bits(4));
  tm.tm_year = static_cast<int>(in.Bits(4));
  tm.tm_wday = static_cast<int>(in.Bits(4));
  tm.tm_yday = static_cast<int>(in.Bits(4));
  const int len = static_cast<int>(in.Range(-2, vl::kTextWork + 40));
  // Field values reach the formatters as the host's 32-bit integers.
  const std::int64_t value = static_cast<std::int32_t>(in.Bits(4));
  const std::string format(in.Rest());
  vl::FieldText out;
  const vl::FieldFit fit = vl::FmtDate(out, tm, len, format.c_str());
  FUZZ_CHECK(fit == vl::kFieldFits || fit == vl::kFieldOverflow);
  CheckField(out, len, vl::kTextWork);
  const vl::FieldFit fits[] = {
      vl::FldFmtDate(out, value, (len & 1) != 0, len, format.c_str()),
      vl::FldFmtTime(out, value, len, format.c_str()),
      vl::FldFmtWeek(out, value, len, "KW", format.c_str()),
      vl::FldFmtMonth(out, value, len, format.c_str()),
  };
  for (const vl::FieldFit f : fits) FUZZ_CHECK(f == vl::kFieldFits || f == vl::kFieldOverflow);
  CheckField(out, len, vl::kTextWork);
}

void DateScan(vlfuzz::Input &in) {
  static const char *const kTypes[] = {"GREG", "YMD", "CYMD", "HM60", "HM100", "KW", "", "x"};
  const char *fvtyp = kTypes[in.Byte() & 7];
  const std::string format = in.Text(32);
  const std::string valid = in.Text(24);
  const std::string text = in.Text(400);
  std::tm tm{};
  const vl::ScanResult r = vl::ScanDate(tm, text.c_str(), format.c_str());
  FUZZ_CHECK(r == vl::kScanOk || r == vl::kScanEmpty || r == vl::kScanBadDate || r == vl::kScanLeftOver);
  using Scanner = vl::ScanResult (*)(std::int32_t &, std::string &, const char *, const char *, const char *,
                                     const char *);
  const Scanner scanners[] = {&vl::FldScanDate, &vl::FldScanTime, &vl::FldScanWeek, &vl::FldScanMonth};
  for (const Scanner scan : scanners) {
    std::int32_t result = 0;
    std::string out;
    const vl::ScanResult s = scan(result, out, text.c_str(), fvtyp, format.c_str(), valid.c_str());
    FUZZ_CHECK(IsScanResult(s));
    if (s == vl::kScanOk) FUZZ_CHECK(out == std::to_string(result));
    else if (s == vl::kScanBadChar) FUZZ_CHECK(out.size() <= 1);
    else FUZZ_CHECK(result == 0 && out.empty());
  }
}

// A relative day formatted as day, month and four-digit year scans back.
void DateRoundTrip(vlfuzz::Input &in) {
  const auto day = static_cast<std::int32_t>(in.Range(1, 46000));  // 1972 to about 2097
  static const char *const kFormats[] = {"%d.%m.%Y", "%Y%m%d", "%m/%d/%Y", "%d-%m-%Y"};
  const char *format = kFormats[in.Byte() & 3];
  vl::FieldText out;
  FUZZ_CHECK(vl::FldFmtDate(out, day, true, 10, format) == vl::kFieldFits);
  std::int32_t back = 0;
  std::string text;
  FUZZ_CHECK(vl::FldScanDate(back, text, out.c_str(), "GREG", format, "") == vl::kScanOk);
  FUZZ_CHECK(back == day);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::FreshStateWithLocale();
  vlfuzz::Input in(data, size);
  const std::uint8_t pick = in.Byte();
  vl::Locale().y2kMode = (pick >> 4) % 3;
  switch (pick & 7) {
    case 0: Numbers(in); break;
    case 1: NumberScan(in); break;
    case 2: Texts(in); break;
    case 3: DateFormat(in); break;
    case 4: DateScan(in); break;
    case 5: DateRoundTrip(in); break;
    default: Numbers(in); break;
  }
  return 0;
}
