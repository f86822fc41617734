// XBUF entry writers and readers.
#include <charconv>
#include <cstring>

#include "buffers.h"

namespace vl {
namespace {

constexpr std::int32_t kNumberMax = 999999999;  // longest index or length read: nine digits

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads optional decimal digits at `pos` (at most nine); false when more follow.
bool ReadDigits(std::string_view text, std::size_t &pos, std::int32_t &value) {
  value = 0;
  std::size_t digits = 0;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (++digits > 9) return false;
    value = value * 10 + (text[pos++] - '0');
  }
  return value <= kNumberMax;
}

}  // namespace

int PutEntryHeadIdx(char *buffer, std::size_t room, std::string_view prefix, std::string_view name, char type,
                    std::int32_t index) {
  char number[16];
  const auto [end, ec] = std::to_chars(number, number + sizeof number, index);
  const std::size_t digits = static_cast<std::size_t>(end - number);
  const std::size_t length = 1 + prefix.size() + name.size() + 1 + digits + 1;
  if (ec != std::errc() || length + 1 > room) return -1;
  char *p = buffer;
  *p++ = type;
  std::memcpy(p, prefix.data(), prefix.size());
  p += prefix.size();
  for (std::size_t i = 0; i < name.size(); ++i) {
    const bool capital = prefix.empty() && i == 0;
    *p++ = capital ? AsciiUpper(name[i]) : AsciiLower(name[i]);
  }
  *p++ = '~';
  std::memcpy(p, number, digits);
  p += digits;
  *p++ = '~';
  return static_cast<int>(length);
}

int PutEntryHead(char *buffer, std::size_t room, std::string_view prefix, std::string_view name, char type) {
  return PutEntryHeadIdx(buffer, room, prefix, name, type, 0);
}

int PutEntryValue(char *buffer, std::size_t room, std::string_view text) {
  char number[24];
  const auto [end, ec] = std::to_chars(number, number + sizeof number, text.size());
  const std::size_t digits = static_cast<std::size_t>(end - number);
  if (ec != std::errc() || text.size() > room || digits + 1 + text.size() + 1 > room) return -1;
  std::memcpy(buffer, number, digits);
  buffer[digits] = '~';
  std::memcpy(buffer + digits + 1, text.data(), text.size());
  return static_cast<int>(digits + 1 + text.size());
}

int GetEntryHead(std::string_view text, XbufEntry &entry) {
  if (text.empty()) return -1;
  const char type = AsciiUpper(text[0]);
  if (type != 'X' && type != 'N') return -1;
  std::size_t pos = 1;
  const std::size_t nameStart = pos;
  if (pos >= text.size() || !IsLetter(text[pos])) return -1;
  while (pos < text.size() && (IsLetter(text[pos]) || IsDigit(text[pos]) || text[pos] == '_')) ++pos;
  const std::size_t nameLength = pos - nameStart;
  if (nameLength > kXbufNameMax || pos >= text.size() || text[pos] != '~') return -1;
  ++pos;
  std::int32_t index = 0;
  if (!ReadDigits(text, pos, index) || pos >= text.size() || text[pos] != '~') return -1;
  ++pos;
  entry.name = LowerAscii(text.substr(nameStart, nameLength));
  entry.type = type == 'X' ? kXbufText : kXbufNumeric;
  entry.index = index;
  entry.indexed = index != 0;
  return static_cast<int>(pos);
}

long GetEntryValue(std::string_view text, XbufEntry &entry) {
  std::size_t pos = 0;
  std::int32_t length = 0;
  if (!ReadDigits(text, pos, length) || pos >= text.size() || text[pos] != '~') return -1;
  ++pos;
  entry.valueLength = static_cast<std::size_t>(length);
  entry.value = text.data() + pos;
  return static_cast<long>(pos) + length;
}

bool XbufWriter::Head(std::string_view prefix, std::string_view name, char type, std::int32_t index) {
  const int n = PutEntryHeadIdx(buffer_ + used_, room_ - used_, prefix, name, type, index);
  if (n < 0) return false;
  used_ += static_cast<std::size_t>(n);
  return true;
}

bool XbufWriter::Entries(std::string_view entries) {
  if (entries.size() + 1 > room_ - used_) return false;
  std::memcpy(buffer_ + used_, entries.data(), entries.size());
  used_ += entries.size();
  return true;
}

bool XbufWriter::Value(std::string_view text) {
  const int n = PutEntryValue(buffer_ + used_, room_ - used_, text);
  if (n < 0) return false;
  used_ += static_cast<std::size_t>(n);
  return true;
}

bool XbufWriter::End() {
  if (used_ + 1 > room_) return false;
  buffer_[used_++] = '$';
  return true;
}

}  // namespace vl
