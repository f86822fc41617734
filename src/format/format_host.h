// The host functions of the formatting component (util only): dll_SetLocale (4),
// dict_Y2kMode (75), chk_Num (76), fmt_Num (77), scan_Num (78), fmt_Date to
// scan_Month (79-86), fmt_Text (87), scan_Text (88), and the operations behind
// them that only the module has. See fmthost.cpp.
#pragma once

#include <cstdint>

#include "format.h"
#include "vlabi.h"

namespace vl {

// Parses a locale definition "TYPE=value,TYPE=value,...", sets those categories,
// builds the locale tables, and sets the process locale back to "C".
// Type words: LANG (all categories), COLLATE, MONETARY, NUMERIC, TIME; case counts.
// Returns kLocaleOk, kLocaleFailed (bad list or refused locale; tables and buffer
// unchanged), kLocaleNoMemory or kLocaleCorrupt (built buffer rejected).
LocaleStatus define_locale(const char *str);

// Ends a host scanner: sets rc from the scan result (ScanHostRc); for kScanOk and
// kScanBadChar stores `text` into `out` with HostStrPut and returns the store's
// result; for kScanCallError returns 19; otherwise leaves `out` as it was and
// returns 0.
std::int32_t FinishScan(int code, const char *text, HostString *out, std::int32_t *rc);

}  // namespace vl

extern "C" {
int32_t dll_SetLocale(const char *str);
int32_t dict_Y2kMode(int32_t mode);
int32_t chk_Num(const char *v_type, HostString *str, double *res, int32_t *rc);
int32_t fmt_Num(double pval, int32_t plen, int32_t pprec, const char *pflags, HostString *result);
int32_t scan_Num(const char *in, const char *pfvt, int32_t pprec, double pmin, double pmax, const char *pvalid,
                 double *result, HostString *out, int32_t *rc);
int32_t fmt_Date(int32_t pval, int32_t isGreg, int32_t plen, const char *pfmt, HostString *result);
int32_t scan_Date(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result,
                  HostString *out, int32_t *rc);
int32_t fmt_Time(int32_t pval, int32_t plen, const char *pfmt, HostString *result);
int32_t scan_Time(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result,
                  HostString *out, int32_t *rc);
int32_t fmt_Week(int32_t pval, int32_t plen, const char *vtyp, const char *pfmt, HostString *result);
int32_t scan_Week(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result,
                  HostString *out, int32_t *rc);
int32_t fmt_Month(int32_t pval, int32_t plen, const char *pfmt, HostString *result);
int32_t scan_Month(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result,
                   HostString *out, int32_t *rc);
int32_t fmt_Text(const char *pval, int32_t plen, const char *pflags, HostString *result);
int32_t scan_Text(const char *in, int32_t plen, const char *pflags, const char *pvalid, HostString *out,
                  int32_t *rc);
}  // extern "C"
