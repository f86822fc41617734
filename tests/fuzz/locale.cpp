// The locale buffer decoder (SetClientLocale) on any stream, and the
// formatters working with whatever tables it accepted.
//
// Input: the bytes of the packed stream. Checks:
//   - the status is one of kLocaleOk, kLocaleNoMemory and kLocaleCorrupt;
//   - a stream it accepts is left as it was, for the host to fetch (one it
//     refuses is discarded by its caller);
//   - the decoded texts hold no NUL byte, and numbers and dates formatted with
//     the decoded tables (odd separators, groupings, names and nested formats
//     included) keep within their fields.
#include <cstring>
#include <string>

#include "buffers.h"
#include "common.h"
#include "format.h"
#include "fuzz_state.h"

namespace {

void CheckText(const vl::LangText &text) { FUZZ_CHECK(text.view().find('\0') == std::string_view::npos); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::FreshState();
  vl::CsdxState &stream = vl::csdxBuf();
  stream.buffer.reset(new char[size + 1]);
  if (size != 0) std::memcpy(stream.buffer.get(), data, size);
  stream.buffer[size] = '\0';
  stream.size = size;

  const vl::LocaleStatus status = vl::SetClientLocale();
  FUZZ_CHECK(status == vl::kLocaleOk || status == vl::kLocaleNoMemory || status == vl::kLocaleCorrupt);
  if (status == vl::kLocaleOk) {
    FUZZ_CHECK(size == 0 || std::memcmp(stream.buffer.get(), data, size) == 0);
    const vl::LanguageInfo &info = vl::Locale().LangInfo;
    for (const auto &t : info.dayAbbr) CheckText(t);
    for (const auto &t : info.dayName) CheckText(t);
    for (const auto &t : info.monthAbbr) CheckText(t);
    for (const auto &t : info.monthName) CheckText(t);
    for (const vl::LangText *t : {&info.dateTimeFormat, &info.dateFormat, &info.timeFormat, &info.decimalPoint,
                                  &info.thousandsSep, &info.grouping, &info.dateFormatYmd, &info.weekFormat}) {
      CheckText(*t);
    }
    static const char *const kFormats[] = {"%c", "%x %X", "%A %a %B %b %p", "%-5.3A|%05d|%W"};
    std::tm tm{};
    tm.tm_year = 99;
    tm.tm_mon = static_cast<int>(size % 12);
    tm.tm_mday = 1 + static_cast<int>(size % 28);
    tm.tm_wday = static_cast<int>(size % 7);
    tm.tm_hour = static_cast<int>(size % 24);
    for (const char *format : kFormats) {
      for (const int len : {0, 7, 40, vl::kTextWork, vl::kTextWork + 10}) {
        vl::FieldText out;
        const vl::FieldFit fit = vl::FmtDate(out, tm, len, format);
        FUZZ_CHECK(fit == vl::kFieldFits || fit == vl::kFieldOverflow);
        FUZZ_CHECK(out.size() <= static_cast<std::size_t>(len < vl::kTextWork ? len : vl::kTextWork));
      }
    }
    for (const double value : {0.0, -1234567.891, 1e15, 0.004}) {
      for (const int len : {1, 12, 40, vl::kNumWork}) {
        vl::FieldText out;
        const vl::FieldFit fit = vl::FldFmtNum(out, value, len, 3, "RGT");
        FUZZ_CHECK(fit == vl::kFieldFits || fit == vl::kFieldOverflow);
        FUZZ_CHECK(out.size() <= static_cast<std::size_t>(len));
      }
    }
  }
  vl::ResetForTest();
  return 0;
}
