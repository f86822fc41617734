// Texts in fields: FmtText trims, cuts or fills, aligns and maps the case of a
// text by a flag word; FldScanText formats field input and checks the formatted
// text against the field's validity class.
#include <algorithm>
#include <cstring>

#include "format.h"

namespace vl {
namespace {

void TraceTextFlags(unsigned flags) {
  if (!TraceWanted('F', 2)) return;
  std::string names = (flags & FMT_RIGHT) != 0 ? "FMT_RIGHT " : "FMT_LEFT ";
  if ((flags & FMT_CENTR) != 0) names += "FMT_CENTR ";
  if ((flags & FMT_LBLNK) != 0) names += "FMT_LBLNK ";
  if ((flags & FMT_TBLNK) != 0) names += "FMT_TBLNK ";
  if ((flags & FMT_UCASE) != 0) names += "FMT_UCASE ";
  if ((flags & FMT_LCASE) != 0) names += "FMT_LCASE ";
  if ((flags & FMT_OVFL) != 0) names += "FMT_OVFL ";
  TraceLine('F', 2, "  flags: %s", names.c_str());
}

FieldFit Fill(TextField &out, int count) {
  const auto n = static_cast<std::size_t>(std::clamp(count, 0, kTextWork));
  std::memset(out.data(), OverflowFill(), n);
  out[n] = '\0';
  TraceLine('F', 2, "  OVERFLOW");
  return kFieldOverflow;
}

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

FieldFit FmtText(TextField &out, std::string_view text, int len, unsigned flags) {
  VL_TRACE_ENTRY('F', "FmtText");
  TraceLine('F', 2, "FmtText(txt='%.*s', len=%d)", static_cast<int>(text.size()), text.data(), len);
  TraceTextFlags(flags);

  // The kept part, without leading and trailing blanks unless they stay.
  std::size_t start = 0, end = text.size();
  if ((flags & FMT_LBLNK) == 0) {
    while (start < end && text[start] == ' ') ++start;
  }
  if ((flags & FMT_TBLNK) == 0) {
    while (end > start && text[end - 1] == ' ') --end;
  }
  std::size_t n = end - start;

  if (len < 1) {
    out[0] = '\0';
    TraceLine('F', 2, "  OVERFLOW");
    return kFieldOverflow;
  }
  const auto width = static_cast<std::size_t>(len);
  if (n > width) {
    if ((flags & FMT_OVFL) != 0) return Fill(out, len);
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
  if (pad + n > static_cast<std::size_t>(kTextWork)) return Fill(out, kTextWork);
  std::memset(out.data(), ' ', pad);
  char *dst = out.data() + pad;
  const char *src = text.data() + start;
  if ((flags & FMT_UCASE) != 0) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(LocaleUpper[static_cast<unsigned char>(src[i])]);
  } else if ((flags & FMT_LCASE) != 0) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<char>(LocaleLower[static_cast<unsigned char>(src[i])]);
  } else {
    std::memcpy(dst, src, n);
  }
  dst[n] = '\0';
  TraceLine('F', 2, "  output=[%s]", out.data());
  return kFieldFits;
}

FieldFit FldFmtText(TextField &out, std::string_view text, int len, const char *ffmt) {
  VL_TRACE_ENTRY('F', "FldFmtText");
  return FmtText(out, text, len, TextFlagWord(ffmt));
}

ScanResult FldScanText(TextField &out, std::string_view in, int len, const char *ffmt, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanText");
  out[0] = '\0';
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
  if (FmtCheckValid(out.data(), valid, bad) == kValidAllowed) return kScanOk;
  out[0] = bad;
  out[1] = '\0';
  return kScanBadChar;
}

}  // namespace vl
