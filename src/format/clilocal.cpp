// The client half of the locale tables: checks the header of the packed locale
// buffer in csdxBuf and decodes its body into LocaleClass, LocaleUpper,
// LocaleLower and Locale().LangInfo.
//
// Body layout (no separators between sections):
//   IS        256 x 4 hex digits, the class mask of each code, code 0 first
//   TOUPPER   256 x 2 hex digits
//   TOLOWER   256 x 2 hex digits
//   LANGINFO  60 fields: strings as "<count>~<bytes>", integers as "<value>~", the
//             grouping as "<2 x count>~" and two hex digits per byte
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <new>

#include "buffers.h"
#include "format.h"
#include "format_int.h"

namespace vl {
namespace {

// One field of LangInfo in the order of the LANGINFO section: a string, an
// integer, or the grouping (a string written as hex pairs).
struct LangField {
  LangText *text = nullptr;
  int *number = nullptr;
  bool grouping = false;
};

std::array<LangField, 60> LangFields(LanguageInfo &info) {
  std::array<LangField, 60> fields{};
  std::size_t i = 0;
  auto text = [&](LangText &t) { fields[i++] = LangField{&t, nullptr, false}; };
  auto number = [&](int &n) { fields[i++] = LangField{nullptr, &n, false}; };
  for (LangText &t : info.dayAbbr) text(t);
  for (LangText &t : info.dayName) text(t);
  for (LangText &t : info.monthAbbr) text(t);
  for (LangText &t : info.monthName) text(t);
  text(info.dateTimeFormat);
  text(info.dateFormat);
  text(info.timeFormat);
  text(info.amMarker);
  text(info.pmMarker);
  text(info.timeFormat2);
  text(info.decimalPoint);
  text(info.thousandsSep);
  fields[i++] = LangField{&info.grouping, nullptr, true};
  text(info.overflowFill);
  text(info.minusSign);
  text(info.dateFormatYmd);
  number(info.dateLengthYmd);
  text(info.dateFormatCymd);
  number(info.dateLengthCymd);
  text(info.timeFormatHm);
  number(info.timeLength);
  number(info.hm100Precision);
  text(info.monthFormat);
  number(info.monthLength);
  text(info.weekFormat);
  number(info.weekLength);
  return fields;
}

// Longest decimal number the LANGINFO reader takes: a count or value with more
// digits cannot belong to a sound buffer.
constexpr int kMaxNumberDigits = 9;

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads `digits` hex digits at `p`, most significant first; -1 on a bad digit.
long HexValue(const char *p, int digits) noexcept {
  long value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigit(p[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// Walks the body with the remaining length.
class BodyReader {
 public:
  BodyReader(const char *body, long length) : p_(body), left_(length > 0 ? length : 0) {}

  // Fills a table from `digits` hex digits per entry.
  template <typename Table>
  bool HexTable(Table &table, int digits) {
    for (auto &entry : table) {
      if (left_ < digits) return false;
      const long value = HexValue(p_, digits);
      if (value < 0) return false;
      entry = static_cast<typename Table::value_type>(value);
      p_ += digits;
      left_ -= digits;
    }
    return true;
  }

  // Decimal digits up to "~", which is consumed; "~" alone reads as 0.
  bool Number(long &value) {
    value = 0;
    int digits = 0;
    while (left_ > 0 && *p_ >= '0' && *p_ <= '9') {
      if (++digits > kMaxNumberDigits) return false;
      value = value * 10 + (*p_ - '0');
      ++p_;
      --left_;
    }
    if (left_ == 0 || *p_ != '~') return false;
    ++p_;
    --left_;
    return true;
  }

  // The next `count` bytes, if that many remain.
  bool Bytes(long count, std::string_view &bytes) {
    if (count > left_) return false;
    bytes = {p_, static_cast<std::size_t>(count)};
    p_ += count;
    left_ -= count;
    return true;
  }

 private:
  const char *p_;
  long left_;
};

LocaleInfoStatus Corrupt(const char *section) {
  TraceLine('D', 1, "GetLocaleInfo() failed: buffer is corrupt [%s]", section);
  Locale().LangInfo.ReleaseTexts();
  return kLocaleInfoCorrupt;
}

LocaleInfoStatus Exhausted(const char *section) {
  TraceLine('D', 1, "GetLocaleInfo() failed: heap overflow [%s]", section);
  Locale().LangInfo.ReleaseTexts();
  return kLocaleInfoNoMemory;
}

// The total size of a header: the six decimal digits the packer writes, nothing
// else (no sign, no blank, no seventh digit); -1 for any other text.
constexpr std::size_t kTotalSizeDigits = 6;
long TotalSize(std::string_view text) noexcept {
  if (text.size() != kTotalSizeDigits) return -1;
  long total = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return -1;
    total = total * 10 + (c - '0');
  }
  return total;
}

// Grouping bytes from their hex pairs; false on an odd count or a bad digit.
bool DecodeGrouping(std::string_view hex, std::string &bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const long value = HexValue(hex.data() + i, 2);
    if (value < 0) return false;
    bytes.push_back(static_cast<char>(value));
  }
  return true;
}

}  // namespace

void LangText::Assign(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  text_.assign(bytes.substr(0, nul));
  present_ = true;
}

void LanguageInfo::ReleaseTexts() noexcept {
  for (const LangField &field : LangFields(*this)) {
    if (field.text != nullptr) field.text->Release();
  }
}

void ResetLocaleForTest() {
  Locale() = LocaleState{};
  std::setlocale(LC_ALL, "C");  // as the process starts, and as it is between host calls
}
VL_STATE_RESET(ResetLocaleForTest);

LocaleInfoStatus GetLocaleInfo(const char *body, long length) {
  VL_TRACE_ENTRY('D', "GetLocaleInfo");
  BodyReader reader(body, length);
  LocaleState &locale = Locale();
  if (!reader.HexTable(locale.LocaleClass, 4)) return Corrupt("IS");
  if (!reader.HexTable(locale.LocaleUpper, 2)) return Corrupt("TOUPPER");
  if (!reader.HexTable(locale.LocaleLower, 2)) return Corrupt("TOLOWER");

  std::string grouping;
  for (const LangField &field : LangFields(locale.LangInfo)) {
    long number = 0;
    if (!reader.Number(number)) return Corrupt("LANGINFO");
    if (field.number != nullptr) {
      *field.number = static_cast<int>(number);
      continue;
    }
    std::string_view bytes;
    if (!reader.Bytes(number, bytes)) return Corrupt("LANGINFO");
    if (AllocFails()) return Exhausted("LANGINFO");
    try {
      if (field.grouping) {
        if (!DecodeGrouping(bytes, grouping)) return Exhausted("LANGINFO");
        bytes = grouping;
      }
      field.text->Assign(bytes);
    } catch (const std::bad_alloc &) {
      return Exhausted("LANGINFO");
    }
  }
  return kLocaleInfoDecoded;
}

LocaleStatus SetClientLocale() {
  VL_TRACE_ENTRY('D', "SetClientLocale");
  CsdxState &stream = csdxBuf();
  char *const start = stream.buffer.get();
  CsdxCursor cursor{nullptr, start};

  // The header entries are read in place; each "~" the reader replaced is put back
  // so that the buffer the host fetches stays as it was built.
  const std::size_t revisionLength = CSDX_ReadToSep(cursor);
  if (revisionLength == 0) return kLocaleCorrupt;
  char *const revision = cursor.field;
  auto restore = [](char *field, std::size_t length) { field[length - 1] = '~'; };
  if (revision[0] != 'R') {
    restore(revision, revisionLength);
    TraceLine('D', 1, "SetClientLocale(): missing revision number");
    return kLocaleCorrupt;
  }
  const long received = std::strtol(revision + 1, nullptr, 10);
  restore(revision, revisionLength);
  if (received != LOCALE_REVISION) {
    TraceLine('D', 1, "SetClientLocale(): revision conflict (current=%d, received=%ld)", LOCALE_REVISION, received);
    return kLocaleCorrupt;
  }

  const std::size_t sizeLength = CSDX_ReadToSep(cursor);
  long total = -1;
  if (sizeLength != 0) {
    total = TotalSize(std::string_view(cursor.field, sizeLength - 1));
    restore(cursor.field, sizeLength);
  }
  if (total < 0) {
    TraceLine('D', 1, "SetClientLocale(): cannot read total size");
    return kLocaleCorrupt;
  }

  // The body is what the total size leaves after the two header entries, but never
  // more than the buffer holds.
  const auto offset = static_cast<long>(cursor.next - start);
  long length = total - static_cast<long>(revisionLength + sizeLength);
  length = std::max(0L, std::min(length, static_cast<long>(stream.size) - offset));
  switch (GetLocaleInfo(cursor.next, length)) {
    case kLocaleInfoDecoded: return kLocaleOk;
    case kLocaleInfoNoMemory: return kLocaleNoMemory;
    default: return kLocaleCorrupt;
  }
}

}  // namespace vl
