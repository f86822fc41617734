// Case-insensitive names and bounded copies.
#include "common.h"

#include <algorithm>
#include <cstring>

namespace vl {

bool EqualNoCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::size_t NoCaseHash::operator()(std::string_view s) const noexcept {
  // FNV-1a over the lower-cased bytes.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : s) {
    hash ^= static_cast<unsigned char>(AsciiLower(c));
    hash *= 1099511628211ull;
  }
  return static_cast<std::size_t>(hash);
}

int CompareNoCase(std::string_view a, std::string_view b) noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char &c : out) c = AsciiLower(c);
  return out;
}

std::size_t CopyCut(char *dst, std::size_t size, std::string_view src) noexcept {
  if (size == 0) return 0;
  const std::size_t n = std::min(size - 1, src.size());
  std::memcpy(dst, src.data(), n);
  dst[n] = '\0';
  return n;
}

}  // namespace vl
