// Texts in fields: FmtText trims, cuts or fills, aligns and maps the case of a
// text by a flag word; FldScanText formats field input and checks the formatted
// text against the field's validity class.
#include <cstring>

#include "format.h"
#include "format_int.h"

namespace vl {
namespace {

// The flags of a text's flag word, as the trace names them after FMT_RIGHT or
// FMT_LEFT.
constexpr FlagName kTextFlagNames[] = {
    {FMT_CENTR, "FMT_CENTR"}, {FMT_LBLNK, "FMT_LBLNK"}, {FMT_TBLNK, "FMT_TBLNK"},
    {FMT_UCASE, "FMT_UCASE"}, {FMT_LCASE, "FMT_LCASE"}, {FMT_OVFL, "FMT_OVFL"},
};

}  // namespace

unsigned TextFlagWord(const char *ffmt) noexcept {
  unsigned flags = 0;
  for (const char *p = OrEmpty(ffmt); *p != '\0'; ++p) {
    switch (*p) {
      case 'C': flags |= FMT_CENTR; break;
      case 'L': flags &= ~FMT_RIGHT; break;
      case 'O': flags |= FMT_OVFL; break;
      case 'R': flags |= FMT_RIGHT; break;
      case 'T': flags |= FMT_TBLNK; break;
      case 'U': flags = (flags | FMT_UCASE) & ~FMT_LCASE; break;
      case 'V': flags = (flags | FMT_LCASE) & ~FMT_UCASE; break;
      case 'Z': flags |= FMT_LBLNK; break;
      default: break;  // lower-case letters name flags that are off
    }
  }
  return flags;
}

FieldFit FmtText(FieldText &out, std::string_view text, int len, unsigned flags) {
  VL_TRACE_ENTRY('F', "FmtText");
  TraceLine('F', 2, "FmtText(txt='%.*s', len=%d)", static_cast<int>(text.size()), text.data(), len);
  TraceFlagNames(flags, kTextFlagNames);

  // The kept part, without leading and trailing blanks unless they stay.
  std::size_t start = 0, end = text.size();
  if ((flags & FMT_LBLNK) == 0) {
    while (start < end && text[start] == ' ') ++start;
  }
  if ((flags & FMT_TBLNK) == 0) {
    while (end > start && text[end - 1] == ' ') --end;
  }
  std::size_t n = end - start;

  if (len < 1) return out.Overflow(0);
  const auto width = static_cast<std::size_t>(len);
  if (n > width) {
    if ((flags & FMT_OVFL) != 0) return out.Overflow(len);
    n = width;
  }

  // Blanks go on the left only; nothing is added on the right.
  std::size_t pad = 0;
  if ((flags & FMT_CENTR) != 0) {
    pad = (width - n) / 2;
  } else if ((flags & FMT_RIGHT) != 0) {
    pad = width - n;
  }
  // A field longer than the work field keeps its text when the text fits there.
  if (pad + n > FieldText::kCapacity) return out.Overflow(kTextWork);
  char *dst = out.Resize(pad + n);
  std::memset(dst, ' ', pad);
  dst += pad;
  const char *src = text.data() + start;
  if ((flags & FMT_UCASE) != 0) {
    const auto &upper = Locale().LocaleUpper;
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(upper[static_cast<unsigned char>(src[i])]);
  } else if ((flags & FMT_LCASE) != 0) {
    const auto &lower = Locale().LocaleLower;
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(lower[static_cast<unsigned char>(src[i])]);
  } else {
    std::memcpy(dst, src, n);
  }
  TraceLine('F', 2, "  output=[%s]", out.c_str());
  return kFieldFits;
}

FieldFit FldFmtText(FieldText &out, std::string_view text, int len, const char *ffmt) {
  VL_TRACE_ENTRY('F', "FldFmtText");
  return FmtText(out, text, len, TextFlagWord(ffmt));
}

ScanResult FldScanText(FieldText &out, std::string_view in, int len, const char *ffmt, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanText");
  out.Clear();
  if (len > kTextWork) {
    // A field the work field cannot hold cannot be scanned (its text could come
    // back as a fill row).
    TraceLine('F', 1, "FldScanText() failed: len=%d exceeds the work field of %d characters", len, kTextWork);
    return kScanCallError;
  }
  if (in.empty()) {
    TraceLine('F', 2, "  fld is empty");
    return kScanEmpty;
  }
  FldFmtText(out, in, len, ffmt);
  // The formatted text is checked: alignment blanks, fill characters and case
  // changes take part.
  char bad = '\0';
  if (FmtCheckValid(out.c_str(), valid, bad) == kValidAllowed) return kScanOk;
  out.Assign(std::string_view(&bad, bad != '\0' ? 1 : 0));  // none after a class syntax error
  return kScanBadChar;
}

}  // namespace vl
