// Numbers in fields: FmtNum formats a double into a field of a given length by a
// flag word, ScanNum reads field text back under a check mode and range, and
// FmtCheckValid tests a text against a field's validity class.
//
// FmtNum starts from the standard fixed-point text of the value ("%*.*f": right-
// aligned, "." as decimal point, "-" before the first digit) and only moves,
// removes and replaces its characters: leading zeros or blanks, trailing zeros of
// the decimals, thousands separators, and the locale's minus sign and decimal
// point from LangInfo.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "format.h"
#include "format_int.h"

namespace vl {
namespace {

constexpr int kUnset = -1;

// Room for the fixed-point text of any finite double with up to kNumWork
// decimals (309 integer digits, sign, point), with kNumWork columns of padding
// before it.
constexpr int kPrintRoom = 600;

// The flags of a number's flag word, as the trace names them after FMT_RIGHT or
// FMT_LEFT.
constexpr FlagName kNumFlagNames[] = {
    {FMT_BZERO, "FMT_BZERO"}, {FMT_LZERO, "FMT_LZERO"}, {FMT_TZERO, "FMT_TZERO"},
    {FMT_PZERO, "FMT_PZERO"}, {FMT_GROUP, "FMT_GROUP"}, {FMT_RSIGN, "FMT_RSIGN"},
};

// A value that does not fit: retry without the flags that cost room, in this
// order, each time from the caller's width; at the end, a row of fill characters.
FieldFit Overflow(FieldText &out, double value, int callerLen, int len, int prec, unsigned flags) {
  if ((flags & FMT_GROUP) != 0) return FmtNum(out, value, callerLen, prec, flags & ~FMT_GROUP);
  if ((flags & FMT_TZERO) != 0) return FmtNum(out, value, callerLen, prec, flags & ~FMT_TZERO);
  if ((flags & FMT_PZERO) != 0 && value < 1.0) return FmtNum(out, value, callerLen, prec, flags & ~FMT_PZERO);
  return out.Overflow(std::min(len, kNumWork));
}

// Ranges of the check modes.
struct ModeRange {
  const char *name;
  double low, high;
};
constexpr ModeRange kModes[] = {
    {"FMCHK_NONE", -HUGE_VAL, HUGE_VAL},
    {"FMCHK_INT", -32767.0, 32767.0},
    {"FMCHK_LINT", -2147483647.0, 2147483647.0},
    {"FMCHK_REAL", -999999.0, 999999.0},
    {"FMCHK_LREAL", -HUGE_VAL, HUGE_VAL},
};

// All digits of a number text, read from the right, as one integer while that is
// exact. Divided by a power of ten it is the nearest double to the text, which is
// what the text reads back as.
struct Mantissa {
  static constexpr std::uint64_t kPlaceMax = 1000000000000000000ULL;  // 1e18
  std::uint64_t value = 0;
  std::uint64_t place = 1;
  bool exact = true;

  void Add(int digit) {
    if (!exact) return;
    if (place > kPlaceMax) {
      exact = digit == 0;  // leading zeros change nothing
      return;
    }
    value += static_cast<std::uint64_t>(digit) * place;
    place *= 10;
  }
};

constexpr std::uint64_t kPow10Int[] = {1ULL,
                                       10ULL,
                                       100ULL,
                                       1000ULL,
                                       10000ULL,
                                       100000ULL,
                                       1000000ULL,
                                       10000000ULL,
                                       100000000ULL,
                                       1000000000ULL,
                                       10000000000ULL,
                                       100000000000ULL,
                                       1000000000000ULL,
                                       10000000000000ULL,
                                       100000000000000ULL,
                                       1000000000000000ULL};
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::uint64_t kTwoTo52 = 1ULL << 52;
constexpr std::uint64_t kTwoTo50 = 1ULL << 50;

// The normalised text of a value computed as B + A / (place of A) from the digits
// `digits` / 10^`fraction`, when printing it with `decimals` (at least `fraction`)
// decimals gives back those digits: the value scaled to `decimals` decimals is an
// integer below 2^50, so the two roundings of the computation (at most one unit in
// the last place together) stay below a quarter of a unit of the last decimal.
// False otherwise.
bool ExactText(std::uint64_t digits, int fraction, int decimals, bool negative, std::string &out) {
  const int extra = decimals - fraction;
  if (extra < 0 || extra >= static_cast<int>(std::size(kPow10Int)) ||
      digits > (kTwoTo50 - 1) / kPow10Int[extra]) {
    return false;
  }
  out.clear();
  if (digits == 0) return true;
  char text[24];
  const auto printed = std::to_chars(text, text + sizeof text, digits);
  std::string_view all(text, static_cast<std::size_t>(printed.ptr - text));
  std::string padded;
  if (all.size() <= static_cast<std::size_t>(fraction)) {
    padded.assign(static_cast<std::size_t>(fraction) + 1 - all.size(), '0');
    padded.append(all);
    all = padded;
  }
  std::string_view integer = all.substr(0, all.size() - static_cast<std::size_t>(fraction));
  std::string_view decimalsPart = all.substr(integer.size());
  while (!decimalsPart.empty() && decimalsPart.back() == '0') decimalsPart.remove_suffix(1);
  if (negative) out += '-';
  out.append(integer);
  if (!decimalsPart.empty()) {
    out += '.';
    out.append(decimalsPart);
  }
  return true;
}

// Builds the allowed table of a validity class that is not empty; false on a
// syntax error.
bool BuildClass(std::string_view cls, std::array<bool, 256> &allowed) {
  if (cls[0] != '[') {
    allowed.fill(false);
    for (const char c : cls) allowed[static_cast<unsigned char>(c)] = true;
    return true;
  }
  std::size_t i = 1;
  const bool negate = i < cls.size() && cls[i] == '^';
  if (negate) ++i;
  allowed.fill(negate);
  const bool member = !negate;
  if (i < cls.size() && cls[i] == ']') {
    allowed[']'] = member;
    ++i;
  }
  for (;;) {
    if (i >= cls.size()) return false;  // ends before its "]"
    const auto x = static_cast<unsigned char>(cls[i]);
    if (x == ']') break;
    if (i + 2 < cls.size() && cls[i + 1] == '-') {
      const auto y = static_cast<unsigned char>(cls[i + 2]);
      const auto &classes = Locale().LocaleClass;
      if ((classes[x] & CC_ALNUM) != 0 && (classes[y] & CC_ALNUM) != 0) {
        if (x > y) return false;  // a range that runs downwards
        // A-Z and a-z take every letter of that case, accented ones included.
        const std::uint32_t letters = (x == 'A' && y == 'Z') ? CC_UPPER : (x == 'a' && y == 'z') ? CC_LOWER : 0;
        for (unsigned code = 0; code < 256; ++code) {
          const bool in = letters != 0 ? (classes[code] & letters) != 0 : (code >= x && code <= y);
          if (in) allowed[code] = member;
        }
        i += 3;
        continue;
      }
    }
    allowed[x] = member;
    ++i;
  }
  return i + 2 == cls.size() && cls[i + 1] == '*';
}

}  // namespace

unsigned NumFlagWord(const char *ffmt) noexcept {
  unsigned flags = 0;
  for (const char *p = OrEmpty(ffmt); *p != '\0'; ++p) {
    switch (*p) {
      case 'B': flags |= FMT_BZERO; break;
      case 'G': flags |= FMT_GROUP; break;
      case 'L': flags &= ~FMT_RIGHT; break;
      case 'P': flags |= FMT_PZERO; break;
      case 'R': flags |= FMT_RIGHT; break;
      case 'S': flags |= FMT_RSIGN; break;
      case 'T': flags |= FMT_TZERO; break;
      case 'Z': flags |= FMT_LZERO; break;
      default: break;  // lower-case letters name flags that are off
    }
  }
  return flags;
}

CheckMode CheckModeOf(const char *fvtyp) noexcept {
  const std::string_view type = OrEmpty(fvtyp);
  if (EqualNoCase(type, "I")) return FMCHK_INT;
  if (EqualNoCase(type, "D")) return FMCHK_LINT;
  if (EqualNoCase(type, "S")) return FMCHK_REAL;
  if (EqualNoCase(type, "L")) return FMCHK_LREAL;
  return FMCHK_NONE;
}

ScanRc ScanHostRc(int code) noexcept {
  switch (code) {
    case kScanOk: return kRcAccepted;
    case kScanEmpty: return kRcEmpty;
    case kScanCallError: return kRcAccepted;  // the call itself fails
    case kScanBadChar: return kRcBadChar;
    case kScanBelowMin:
    case kScanAboveMax: return kRcOutOfRange;
    default: return kRcInvalid;
  }
}

FieldFit FmtNum(FieldText &out, double value, int len, int prec, unsigned flags) {
  VL_TRACE_ENTRY('F', "FmtNum");
  const LanguageInfo &info = Locale().LangInfo;
  TraceLine('F', 2, "FmtNum(val=%.12f, len=%d, prec=%d)", value, len, prec);
  TraceFlagNames(flags, kNumFlagNames);
  const int callerLen = len;
  auto overflow = [&] { return Overflow(out, value, callerLen, len, prec, flags); };

  if ((flags & FMT_RSIGN) != 0) {
    if (len < 2) return overflow();
    value = std::fabs(value);
    --len;
  }
  if (len < 1 || prec < 0 || len > kNumWork || prec > kNumWork || !std::isfinite(value)) return overflow();

  // The fixed-point text, right-aligned in len columns.
  char buffer[kNumWork + kPrintRoom];
  char *const digits = buffer + kNumWork;
  const auto printed = std::to_chars(digits, buffer + sizeof buffer, value, std::chars_format::fixed, prec);
  if (printed.ec != std::errc{}) return overflow();
  const int printedLength = static_cast<int>(printed.ptr - digits);
  const int pad = std::max(0, len - printedLength);
  char *text = digits - pad;
  std::memset(text, ' ', static_cast<std::size_t>(pad));
  int n = pad + printedLength;

  // Walk the text: find the first significant character, the point, the sign and
  // the trailing run of zeros in the decimals.
  const bool lzero = (flags & FMT_LZERO) != 0;
  int first = kUnset, point = kUnset, zerosFrom = kUnset, sign = kUnset;
  bool allZero = true;
  for (int i = 0; i < n; ++i) {
    switch (text[i]) {
      case ' ':
        if (lzero) {
          text[i] = '0';
          if (first == kUnset) first = i;
        }
        break;
      case '-':
        sign = i;
        if (lzero) {
          text[i] = '0';
          if (first == kUnset) first = i;
        } else {
          text[i] = ' ';
        }
        break;
      case '.':
        if (allZero && !lzero && (flags & FMT_PZERO) == 0 && i > 0) {
          text[i - 1] = ' ';  // the single zero of the integer part
          first = i;
        }
        point = zerosFrom = i;
        break;
      case '0':
        if (point != kUnset) {
          if (zerosFrom == kUnset) zerosFrom = i;
        } else if (first == kUnset) {
          first = i;
        }
        break;
      default:
        allZero = false;
        zerosFrom = kUnset;
        if (first == kUnset) first = i;
        break;
    }
  }

  // Remove the trailing zeros (and a point with nothing left behind it) by
  // shifting the text to the right.
  if ((flags & FMT_TZERO) == 0 && zerosFrom != kUnset) {
    const int d = n - zerosFrom;
    std::memmove(text + d, text, static_cast<std::size_t>(zerosFrom));
    std::memset(text, lzero ? '0' : ' ', static_cast<std::size_t>(d));
    first = lzero ? 0 : first + d;
    if (sign != kUnset) sign += d;
    if (point != kUnset) point = point == zerosFrom ? kUnset : point + d;
  }

  // Wider than the field: drop leading columns that hold nothing. A value that
  // prints as non-zero never loses its sign this way, also under FMT_LZERO.
  if (n > len) {
    const int k = n - len;
    const bool signDropped = sign != kUnset && sign < k;
    bool mayGo;
    if (lzero) {
      mayGo = std::all_of(text, text + k + 1, [](char c) { return c == '0'; }) && !(signDropped && !allZero);
    } else {
      mayGo = !signDropped && first >= k;
    }
    if (!mayGo) return overflow();
    text += k;
    n = len;
    first = lzero ? 0 : first - k;
    if (sign != kUnset) sign = sign >= k ? sign - k : kUnset;
    if (point != kUnset) point -= k;
  }

  if (allZero) {
    if ((flags & FMT_BZERO) != 0) {
      out.Clear();
      return kFieldFits;
    }
    // A value that prints as zero gets neither separators nor a sign.
  } else {
    const char separator = info.thousandsSep.Char();
    const std::string_view grouping = info.grouping.view();
    if ((flags & FMT_GROUP) != 0 && separator != '\0' && !grouping.empty()) {
      std::size_t group = 0;
      int boundary = (point != kUnset ? point : n) - static_cast<unsigned char>(grouping[0]);
      while (boundary > first) {
        if (first == 0) {
          // A leading zero (under FMT_LZERO) is room; otherwise there is none.
          if (text[0] != '0') return FmtNum(out, value, callerLen, prec, flags & ~FMT_GROUP);
          first = 1;
          continue;
        }
        std::memmove(text + first - 1, text + first, static_cast<std::size_t>(boundary - first));
        text[boundary - 1] = separator;
        --first;
        if (group + 1 < grouping.size()) ++group;  // the last size repeats
        boundary = boundary - 1 - static_cast<unsigned char>(grouping[group]);
      }
    }

    // The sign goes directly before the first significant character.
    if (sign != kUnset) {
      if (first == 0) {
        if (text[0] != '0') return overflow();
        first = 1;
        if (n > 1 && separator != '\0' && text[1] == separator) {
          text[0] = ' ';
          first = 2;
        }
      }
      const char minus = info.minusSign.Char();
      text[first - 1] = minus != '\0' ? minus : '-';
    }
  }

  if (point != kUnset) {
    const char decimal = info.decimalPoint.Char();
    text[point] = decimal != '\0' ? decimal : '.';
  }

  int from = 0;
  if ((flags & FMT_RIGHT) == 0) {
    while (from < n && text[from] == ' ') ++from;
  }
  out.Assign(std::string_view(text + from, static_cast<std::size_t>(n - from)));
  TraceLine('F', 2, "  output=[%s]", out.c_str());
  return kFieldFits;
}

FieldFit FldFmtNum(FieldText &out, double value, int len, int prec, const char *ffmt) {
  VL_TRACE_ENTRY('F', "FldFmtNum");
  return FmtNum(out, value, len, prec, NumFlagWord(ffmt));
}

ScanResult ScanNum(double &result, std::string &out, std::string_view in, int prec, double min, double max,
                   int mode, char &bad) {
  result = 0;
  out.clear();
  bad = '\0';
  VL_TRACE_ENTRY('F', "ScanNum");
  TraceLine('F', 2, "ScanNum(%.*s)", static_cast<int>(in.size()), in.data());
  if (mode < FMCHK_NONE || mode > FMCHK_LREAL) {
    TraceLine('F', 1, "ScanNum() failed: invalid mode [%d]", mode);
    return kScanCallError;
  }
  const ModeRange &range = kModes[mode];
  TraceLine('F', 2, "  mode = %s", range.name);
  if (prec < 0) {
    TraceLine('F', 1, "ScanNum() failed: prec=%d (negative)", prec);
    return kScanCallError;
  }
  if (prec > kNumWork) {
    TraceLine('F', 1, "ScanNum() failed: prec=%d (too large)", prec);
    return kScanCallError;
  }
  if (in.size() > static_cast<std::size_t>(kNumWork)) {
    TraceLine('F', 1, "ScanNum() failed: fld longer than %d characters", kNumWork);
    return kScanCallError;
  }
  const int decimals = (mode == FMCHK_INT || mode == FMCHK_LINT) ? 0 : prec;
  if (in.empty()) {
    TraceLine('F', 2, "  fld is empty");
    return kScanEmpty;
  }

  const LanguageInfo &info = Locale().LangInfo;
  const char minus = info.minusSign.Char();
  const char thousands = info.thousandsSep.Char();
  // The decimal characters: "." and the locale's point until one of them has been
  // met, then only that one; none once a thousands separator has been taken.
  char point1 = '.';
  char point2 = info.decimalPoint.Char();
  bool decimalsOpen = true;

  // Read from the last character to the first: a holds the digits met so far, b
  // those met after a decimal point (the integer part).
  double a = 0, placeA = 1, b = 0, placeB = 1;
  Mantissa mantissa;
  int aDigits = 0;
  bool inB = false, digitSeen = false, blankAfterDigit = false, signSeen = false;
  for (int p = static_cast<int>(in.size()) - 1; p >= 0; --p) {
    const char c = in[static_cast<std::size_t>(p)];
    if (c == ' ') {
      if (digitSeen) blankAfterDigit = true;
      continue;
    }
    if (blankAfterDigit) {
      TraceLine('F', 2, "  fld[%d]: invalid character '%c' following white space", p, c);
      bad = c;
      return kScanAfterBlank;
    }
    if (signSeen) {
      TraceLine('F', 2, "  fld[%d]: invalid character '%c' following sign", p, c);
      bad = c;
      return kScanSign;
    }
    if (c >= '0' && c <= '9') {
      if (inB) {
        b += (c - '0') * placeB;
        placeB *= 10;
      } else {
        a += (c - '0') * placeA;
        placeA *= 10;
        ++aDigits;
      }
      mantissa.Add(c - '0');
      digitSeen = true;
      continue;
    }
    if (c == '-' || (minus != '\0' && c == minus)) {
      if (!digitSeen) {
        TraceLine('F', 2, "  fld[%d]: invalid sign position", p);
        bad = c;
        return kScanSign;
      }
      signSeen = true;
      continue;
    }
    const bool decimal = decimalsOpen && (c == point1 || (point2 != '\0' && c == point2));
    if (decimal && !inB) {
      if (c == thousands && decimals == 0) {
        decimalsOpen = false;  // a thousands separator
      } else {
        inB = true;
        point1 = point2 = c;
      }
      digitSeen = true;
      continue;
    }
    if (decimal) {
      if (c != thousands) {
        TraceLine('F', 2, "  fld[%d]: invalid decimal point position", p);
        return kScanPoint;
      }
      // The earlier one was a thousands separator too.
      a += b * placeA;
      placeA *= placeB;
      b = 0;
      placeB = 1;
      inB = false;
      decimalsOpen = false;
      continue;
    }
    if ((thousands != '\0' && c == thousands) || c == '+') continue;
    TraceLine('F', 2, "  fld[%d]: invalid character '%c'", p, c);
    bad = c;
    return kScanBadChar;
  }

  if (inB && a != 0 && decimals == 0) {
    TraceLine('F', 2, "  illegal post decimal digits");
    return kScanDecimals;
  }
  // A holds the decimals when a point was met. The value is computed in doubles as
  // B + A / (place of A), so an input with more decimals than kept rounds as that
  // sum does (4.565 to 4.56, 7.935 to 7.94), and MIN and MAX compare with it.
  double value = inB ? b + a / placeA : a;
  if (signSeen) value = -value;

  if (value < range.low) {
    TraceLine('F', 2, "  value out of range (too low)");
    return kScanTooLow;
  }
  if (value > range.high) {
    TraceLine('F', 2, "  value out of range (too high)");
    return kScanTooHigh;
  }
  if (min != 0 || max != 0) {
    if (value < min) {
      TraceLine('F', 2, "  value lower than minimum");
      return kScanBelowMin;
    }
    if (value > max) {
      TraceLine('F', 2, "  value higher than maximum");
      return kScanAboveMax;
    }
  }

  // The normalised text: the value with the working number of decimals, without
  // trailing zeros; the result is what that text reads back as. When that text is
  // the input's own digits, they read back as their nearest double.
  const int fraction = inB ? aDigits : 0;
  const bool exact = mantissa.exact && mantissa.value < 2 * kTwoTo52 && fraction < static_cast<int>(std::size(kPow10));
  if (exact && ExactText(mantissa.value, fraction, decimals, signSeen, out)) {
    const double back = static_cast<double>(mantissa.value) / kPow10[fraction];
    result = (signSeen ? -back : back) + 0.0;  // a negative zero reads as zero
    TraceLine('F', 2, "  output=[%s]", out.c_str());
    return kScanOk;
  }
  char text[kPrintRoom];
  const auto printed = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  auto length = static_cast<std::size_t>(printed.ptr - text);
  if (decimals > 0) {
    while (length > 0 && text[length - 1] == '0') --length;
    if (length > 0 && text[length - 1] == '.') --length;
  }
  double back = 0;
  FromChars(text, text + length, back);
  result = back + 0.0;  // a negative zero reads as zero
  if (back != 0) out.assign(text, length);
  TraceLine('F', 2, "  output=[%s]", out.c_str());
  return kScanOk;
}

ScanResult FldScanNum(double &result, std::string &out, std::string_view in, const char *fvtyp, int prec,
                      double min, double max, const char *valid) {
  VL_TRACE_ENTRY('F', "FldScanNum");
  result = 0;
  out.clear();
  char bad = '\0';
  if (FmtCheckValid(in, valid, bad) != kValidAllowed) {
    if (bad != '\0') out.assign(1, bad);
    return kScanBadChar;
  }
  const ScanResult code = ScanNum(result, out, in, prec, min, max, CheckModeOf(fvtyp), bad);
  if (code != kScanOk) {
    out.clear();
    if (bad != '\0') out.assign(1, bad);
  }
  return code;
}

ValidCheck FmtCheckValid(std::string_view text, const char *valid, char &bad) {
  VL_TRACE_ENTRY('F', "FmtCheckValid");
  bad = '\0';
  const std::string_view cls = OrEmpty(valid);
  std::array<bool, 256> allowed;
  if (!cls.empty() && !BuildClass(cls, allowed)) {
    TraceLine('F', 1, "FmtCheckValid() failed: syntax error in character class '%s'", valid);
    return kValidSyntaxError;
  }
  const auto &classes = Locale().LocaleClass;
  for (const char c : text) {
    const auto code = static_cast<unsigned char>(c);
    if ((classes[code] & CC_PRINT) == 0) {
      TraceLine('F', 3, "FmtCheckValid(): non-printable character %02x", code);
      bad = c;
      return kValidRefused;
    }
    if (!cls.empty() && !allowed[code]) {
      TraceLine('F', 3, "FmtCheckValid(): invalid character %c", c);
      bad = c;
      return kValidRefused;
    }
  }
  return kValidAllowed;
}

}  // namespace vl
