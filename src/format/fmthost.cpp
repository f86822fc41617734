// Host functions of the locale tables and of number, text, date, time, week and
// month fields: dll_SetLocale (4) with its definition lists (define_locale),
// dict_Y2kMode (75), chk_Num (76), fmt_Num (77), scan_Num (78), fmt_Date to
// scan_Month (79-86), fmt_Text (87) and scan_Text (88).
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "format_host.h"
#include "format_int.h"
#include "host.h"

namespace vl {
namespace {

// Sets each category of a definition list: "TYPE=value" pairs separated by ",".
// Returns kLocaleOk, or kLocaleFailed after the trace line of the pair that failed;
// memory exhausted (in the C library's setlocale too) throws std::bad_alloc.
LocaleStatus SetCategories(std::string_view list) {
  while (!list.empty()) {
    const std::size_t eq = list.find('=');
    if (eq == std::string_view::npos) {
      TraceLine('N', 1, "define_locale(): Missing '='");
      return kLocaleFailed;
    }
    const std::string_view type = list.substr(0, eq);
    const std::size_t comma = list.find(',', eq + 1);
    const std::string value(list.substr(eq + 1, comma == std::string_view::npos ? list.npos : comma - eq - 1));
    const int category = LocaleCategoryOfWord(type);
    if (category == kNoLocaleCategory) {
      TraceLine('N', 1, "define_locale(): Bad type");
      return kLocaleFailed;
    }
    TraceLine('N', 2, "define_locale(): setlocale(%.*s,%s)", static_cast<int>(type.size()), type.data(),
              value.c_str());
    errno = 0;
    if (std::setlocale(category, value.c_str()) == nullptr) {
      TraceLine('N', 1, "define_locale(): setlocale() failed");
      // A locale that could not be loaded for lack of memory is no refused one.
      if (errno == ENOMEM) throw std::bad_alloc();
      return kLocaleFailed;
    }
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
  }
  return kLocaleOk;
}

// Between calls the process's locale is "C", whatever happened during a call.
void BackToC() {
  std::setlocale(LC_ALL, "C");
  std::setlocale(LC_CTYPE, "C");
  std::setlocale(LC_COLLATE, "C");
}

}  // namespace

LocaleStatus define_locale(const char *str) {
  if (str == nullptr) str = "";
  TraceLine('N', 3, "define_locale(): str = [%s]", str);
  LocaleStatus status = kLocaleOk;
  try {
    status = SetCategories(str);
    if (status == kLocaleOk) status = BuildLocale();
  } catch (const std::bad_alloc &) {
    status = kLocaleNoMemory;
  }
  BackToC();
  return status;
}

std::int32_t FinishScan(int code, const char *text, HostString *out, std::int32_t *rc) {
  *rc = ScanHostRc(code);
  switch (code) {
    case kScanOk:
    case kScanBadChar: return StoreText(out, text);
    case kScanCallError: return kHostFailed;
    default: return kHostOk;
  }
}

}  // namespace vl

namespace {

// Longest number text chk_Num converts, blanks removed.
constexpr std::size_t kCheckedNumberMax = 79;

}  // namespace

// The locale statuses are host results already.
static_assert(int{vl::kLocaleOk} == vl::kHostOk && int{vl::kLocaleNoMemory} == vl::kHostNoMemory &&
              int{vl::kLocaleFailed} == vl::kHostFailed && int{vl::kLocaleCorrupt} == vl::kHostCorrupt);

std::int32_t dll_SetLocale(const char *str) { return vl::define_locale(str); }

std::int32_t chk_Num(const char *v_type, HostString *str, double *res, std::int32_t *rc) {
  // Blanks go, and "," counts as the decimal point.
  char number[kCheckedNumberMax + 1];
  std::size_t n = 0;
  for (const char c : vl::HostView(str)) {
    if (c == ' ') continue;
    if (n == kCheckedNumberMax) {
      vl::TraceLine('F', 1, "chk_Num() failed: string overflow");
      return vl::kHostTooLong;
    }
    number[n++] = c == ',' ? '.' : c;
  }
  number[n] = '\0';
  *res = 0;
  if (str != nullptr) str->len = 0;
  if (n == 0) {
    *rc = vl::kRcEmpty;
    return vl::kHostOk;
  }

  char *end = nullptr;
  const double value = std::strtod(number, &end);
  // A text that is not wholly a finite number is refused (NUL bytes end it early).
  if (end == number || end != number + n || !std::isfinite(value)) {
    if (std::isfinite(value)) *res = value;
    *rc = vl::kRcInvalid;
    return vl::kHostOk;
  }
  *res = value;

  bool accepted = true;
  const bool whole = value == std::trunc(value);
  switch (v_type != nullptr ? v_type[0] : '\0') {
    case '\0':
    case 'L': break;
    case 'D': accepted = whole && std::fabs(value) <= 2147483647.0; break;
    case 'I': accepted = whole && std::fabs(value) <= 32767.0; break;
    case 'S': accepted = std::fabs(value) <= 999999.0; break;
    default:
      vl::TraceLine('F', 1, "chk_Num() failed: bad type [%s]", v_type);
      return vl::kHostFailed;
  }
  if (!accepted) {
    *rc = vl::kRcOutOfRange;
    return vl::kHostOk;
  }
  *rc = vl::kRcAccepted;
  char text[32];
  std::snprintf(text, sizeof text, "%.12g", value);
  return vl::StoreText(str, text);
}

std::int32_t fmt_Num(double pval, std::int32_t plen, std::int32_t pprec, const char *pflags, HostString *result) {
  vl::FieldText field;
  vl::FldFmtNum(field, pval, plen, pprec, pflags);
  return vl::StoreText(result, field.c_str());
}

std::int32_t scan_Num(const char *in, const char *pfvt, std::int32_t pprec, double pmin, double pmax,
                      const char *pvalid, double *result, HostString *out, std::int32_t *rc) {
  double value = 0;
  std::string text;
  const vl::ScanResult code = vl::FldScanNum(value, text, vl::OrEmpty(in), pfvt, pprec, pmin, pmax, pvalid);
  *result = value;
  return vl::FinishScan(code, text.c_str(), out, rc);
}

std::int32_t fmt_Text(const char *pval, std::int32_t plen, const char *pflags, HostString *result) {
  vl::FieldText field;
  vl::FldFmtText(field, vl::OrEmpty(pval), plen, pflags);
  return vl::StoreText(result, field.c_str());
}

std::int32_t scan_Text(const char *in, std::int32_t plen, const char *pflags, const char *pvalid, HostString *out,
                       std::int32_t *rc) {
  vl::FieldText field;
  const vl::ScanResult code = vl::FldScanText(field, vl::OrEmpty(in), plen, pflags, pvalid);
  return vl::FinishScan(code, field.c_str(), out, rc);
}

namespace {

// A date, time, week or month scanner through the host: result, out and rc by the
// scan result.
using DateScanner = vl::ScanResult (*)(std::int32_t &, std::string &, const char *, const char *, const char *,
                                       const char *);

std::int32_t HostDateScan(DateScanner scan, const char *in, const char *pfvt, const char *pfmt, const char *pvalid,
                          std::int32_t *result, HostString *out, std::int32_t *rc) {
  std::int32_t value = 0;
  std::string text;
  const vl::ScanResult code = scan(value, text, in, pfvt, pfmt, pvalid);
  *result = value;
  return vl::FinishScan(code, text.c_str(), out, rc);
}

// A date, time, week or month formatter through the host: the field text stored
// into result.
template <typename Format>
std::int32_t HostDateFormat(HostString *result, Format &&format) {
  vl::FieldText text;
  format(text);
  return vl::StoreText(result, text.c_str());
}

}  // namespace

std::int32_t dict_Y2kMode(std::int32_t mode) {
  VL_TRACE_ENTRY('F', "dict_Y2kMode");
  if (mode < 0 || mode > 2) {
    vl::TraceLine('F', 1, "dict_Y2kMode() failed: mode %d is not 0, 1 or 2", mode);
    return vl::kHostFailed;
  }
  vl::Locale().y2kMode = mode;
  return vl::kHostOk;
}

std::int32_t fmt_Date(std::int32_t pval, std::int32_t isGreg, std::int32_t plen, const char *pfmt,
                      HostString *result) {
  return HostDateFormat(result, [&](vl::FieldText &text) { vl::FldFmtDate(text, pval, isGreg != 0, plen, pfmt); });
}

std::int32_t scan_Date(const char *in, const char *pfvt, const char *pfmt, const char *pvalid,
                       std::int32_t *result, HostString *out, std::int32_t *rc) {
  return HostDateScan(vl::FldScanDate, in, pfvt, pfmt, pvalid, result, out, rc);
}

std::int32_t fmt_Time(std::int32_t pval, std::int32_t plen, const char *pfmt, HostString *result) {
  return HostDateFormat(result, [&](vl::FieldText &text) { vl::FldFmtTime(text, pval, plen, pfmt); });
}

std::int32_t scan_Time(const char *in, const char *pfvt, const char *pfmt, const char *pvalid,
                       std::int32_t *result, HostString *out, std::int32_t *rc) {
  return HostDateScan(vl::FldScanTime, in, pfvt, pfmt, pvalid, result, out, rc);
}

std::int32_t fmt_Week(std::int32_t pval, std::int32_t plen, const char *vtyp, const char *pfmt,
                      HostString *result) {
  return HostDateFormat(result, [&](vl::FieldText &text) { vl::FldFmtWeek(text, pval, plen, vtyp, pfmt); });
}

std::int32_t scan_Week(const char *in, const char *pfvt, const char *pfmt, const char *pvalid,
                       std::int32_t *result, HostString *out, std::int32_t *rc) {
  return HostDateScan(vl::FldScanWeek, in, pfvt, pfmt, pvalid, result, out, rc);
}

std::int32_t fmt_Month(std::int32_t pval, std::int32_t plen, const char *pfmt, HostString *result) {
  return HostDateFormat(result, [&](vl::FieldText &text) { vl::FldFmtMonth(text, pval, plen, pfmt); });
}

std::int32_t scan_Month(const char *in, const char *pfvt, const char *pfmt, const char *pvalid,
                        std::int32_t *result, HostString *out, std::int32_t *rc) {
  return HostDateScan(vl::FldScanMonth, in, pfvt, pfmt, pvalid, result, out, rc);
}
