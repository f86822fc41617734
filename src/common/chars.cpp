// Reading a double from text the way std::from_chars does, also where the
// standard library has from_chars for integers only.
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common.h"

namespace vl {

std::from_chars_result FromCharsByStrtod(const char *first, const char *last, double &value) noexcept {
  char copy[kFromCharsMax + 1];
  const auto length = std::min(static_cast<std::size_t>(last - first), kFromCharsMax);
  std::memcpy(copy, first, length);
  copy[length] = '\0';
  // strtod takes what from_chars refuses: leading blanks, a "+", hexadecimal.
  if (length == 0 || copy[0] == '+' || (copy[0] >= '\t' && copy[0] <= '\r') || copy[0] == ' ') {
    return {first, std::errc::invalid_argument};
  }
  const char *digits = copy[0] == '-' ? copy + 1 : copy;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    value = copy[0] == '-' ? -0.0 : 0.0;
    return {first + (digits + 1 - copy), std::errc{}};
  }
  // Made once: the "C" locale's point, whatever the process's numeric locale.
  static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
  char *end = nullptr;
  errno = 0;
  const double read = cLocale != locale_t{} ? strtod_l(copy, &end, cLocale) : std::strtod(copy, &end);
  const char *const stop = first + (end - copy);
  if (end == copy) return {first, std::errc::invalid_argument};
  // Beyond the range, or so small that nothing of it is left: from_chars leaves
  // the value alone.
  if (errno == ERANGE && (std::isinf(read) || read == 0)) return {stop, std::errc::result_out_of_range};
  value = read;
  return {stop, std::errc{}};
}

std::from_chars_result FromChars(const char *first, const char *last, double &value) noexcept {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
  return std::from_chars(first, last, value);
#else
  return FromCharsByStrtod(first, last, value);  // a library without from_chars for doubles
#endif
}

}  // namespace vl
