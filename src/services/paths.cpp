// Object path helpers (host functions 10 to 12) and the field description reader
// u_udata (function 9). An object path is a text of components separated by "."
// (dialog.group.field). These functions reach the host's strings only through
// the host runtime's operations (HostStrLen, HostStrSub, HostStrAssign,
// HostStrGet, HostStrPut). Upper and lower case follow the runtime's current
// character classification.
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "services_int.h"

namespace vl {
namespace {

// The text buffer that u_udata hands to HostStrGet.
constexpr std::size_t kUdataBuffer = 1024;
// A field description has at most ten fields; the last keeps any further commas.
constexpr std::size_t kUdataFields = 10;
constexpr std::string_view kUdataStart = "feld:";

// Length of a path and the positions (counting from 1) of its first and last
// ".", 0 when it has none.
struct PathDots {
  std::int32_t n = 0;
  std::int32_t first = 0;
  std::int32_t last = 0;
};

PathDots FindDots(HostString *path) noexcept {
  PathDots dots;
  dots.n = std::max(HostStrLen(path), 0);
  const std::string_view bytes = HostView(path).substr(0, static_cast<std::size_t>(dots.n));
  const std::size_t first = bytes.find('.');
  if (first != std::string_view::npos) {
    dots.first = static_cast<std::int32_t>(first) + 1;
    dots.last = static_cast<std::int32_t>(bytes.rfind('.')) + 1;
  }
  return dots;
}

// Gives `target` the `count` characters of `path` from position `start`; 18 when
// the host cannot make that substring. A host that could not make it for lack of
// memory says so with errno ENOMEM: that is a heap overflow (std::bad_alloc).
std::int32_t AssignPart(HostString *path, std::int32_t start, std::int32_t count, HostString *target) {
  errno = 0;
  HostString *part = HostStrSub(path, start, count);
  if (part == nullptr) {
    if (errno == ENOMEM) throw std::bad_alloc();
    return kHostTooLong;
  }
  return HostStrAssign(target, part);
}

std::int32_t StoreEmpty(HostString *target) noexcept { return HostStrPut("", target); }

char Lower(char c) noexcept { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
char Upper(char c) noexcept { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Turns the value of a host string to lower case, in place in the host's storage.
void LowerInPlace(HostString *s) noexcept {
  if (s == nullptr || s->bytes == nullptr) return;
  const std::int32_t len = std::clamp(s->len, 0, std::max(s->cap, 0));
  std::transform(s->bytes, s->bytes + len, s->bytes, Lower);
}

// The end of every path helper: a non-zero store result is passed on as it is;
// otherwise the result is turned to lower case.
std::int32_t LowerResult(std::int32_t rc, HostString *target) noexcept {
  if (rc != kHostOk) return rc;
  LowerInPlace(target);
  return kHostOk;
}

// The standard decimal conversion: leading blanks, optional sign, digits up to
// the first other character; none gives 0. Numbers beyond 32 bits are held at
// the nearest limit.
std::int32_t ReadInt(const std::string &text) noexcept {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

double ReadReal(const std::string &text) noexcept { return std::strtod(text.c_str(), nullptr); }

bool IsRequired(const std::string &field) noexcept { return !field.empty() && field[0] == 'm'; }

// Splits a description at commas into at most kUdataFields fields.
std::array<std::string, kUdataFields> SplitFields(std::string_view description) {
  std::array<std::string, kUdataFields> fields;
  for (std::size_t i = 0; i < kUdataFields; ++i) {
    const std::size_t comma = description.find(',');
    if (i + 1 == kUdataFields || comma == std::string_view::npos) {
      fields[i] = description;
      break;
    }
    fields[i] = description.substr(0, comma);
    description.remove_prefix(comma + 1);
  }
  return fields;
}

// What u_udata hands back besides `Feldtyp` and `rc`.
struct FieldInfo {
  std::int32_t length = 0;    // Fld_length
  std::int32_t decimals = 0;  // Fld_nk
  std::int32_t numtyp = 0;    // Numtyp
  std::int32_t required = 0;  // Mussfeld
  double from = 0.0;          // Numvon
  double to = 0.0;            // Numbis
};

// The settings a field description gives, by the type letter of its first field.
FieldInfo ReadFieldInfo(const std::array<std::string, kUdataFields> &fields, char type) {
  FieldInfo info;
  switch (type) {
    case 'A': case 'J': case 'U': case 'D': case 'K': case 'M':
      info.length = ReadInt(fields[1]);
      info.required = IsRequired(fields[2]) ? 1 : 0;
      if (type == 'D') info.numtyp = 4;
      if (type == 'K' || type == 'M') info.numtyp = 7;
      break;
    case 'N':
      info.length = ReadInt(fields[1]);
      info.decimals = ReadInt(fields[2]);
      info.numtyp = ReadInt(fields[3]);
      // The lower bound's first character is a comparison sign (">5").
      info.from = fields[4].empty() ? 0.0 : ReadReal(fields[4].substr(1));
      info.to = ReadReal(fields[5]);
      info.required = IsRequired(fields[6]) ? 1 : 0;
      break;
    default:
      break;
  }
  return info;
}

}  // namespace
}  // namespace vl


std::int32_t u_basename(HostString *ObjPath, HostString *BaseObj) {
  const vl::PathDots dots = vl::FindDots(ObjPath);
  std::int32_t rc;
  if (dots.n == 0 || dots.last == 0) {
    rc = HostStrAssign(BaseObj, ObjPath);
  } else if (dots.last == dots.n) {
    rc = vl::StoreEmpty(BaseObj);
  } else {
    rc = vl::AssignPart(ObjPath, dots.last + 1, dots.n - dots.last, BaseObj);
  }
  return vl::LowerResult(rc, BaseObj);
}

std::int32_t u_pathname(HostString *ObjPath, HostString *Path) {
  const vl::PathDots dots = vl::FindDots(ObjPath);
  std::int32_t rc;
  if (dots.n == 0 || dots.first <= 1) {
    rc = vl::StoreEmpty(Path);
  } else {
    rc = vl::AssignPart(ObjPath, 1, dots.first - 1, Path);
  }
  return vl::LowerResult(rc, Path);
}

std::int32_t u_rempath(HostString *ObjPath, HostString *Path) {
  const vl::PathDots dots = vl::FindDots(ObjPath);
  std::int32_t rc;
  // A path whose first "." is its last character has nothing after it.
  if (dots.n == 0 || dots.first == 0 || dots.first == dots.n) {
    rc = vl::StoreEmpty(Path);
  } else {
    rc = vl::AssignPart(ObjPath, dots.first + 1, dots.n - dots.first, Path);
  }
  return vl::LowerResult(rc, Path);
}

std::int32_t u_udata(HostString *Udata, HostString *Feldtyp, std::int32_t *Fld_length, std::int32_t *Fld_nk,
                     std::int32_t *Numtyp, std::int32_t *Mussfeld, double *Numvon, double *Numbis, std::int32_t *rc) {
  HostStrPut("", Feldtyp);
  vl::SetOut(Fld_length, 0);
  vl::SetOut(Fld_nk, 0);
  vl::SetOut(Numtyp, 0);
  vl::SetOut(Mussfeld, 0);
  vl::SetOut(Numvon, 0.0);
  vl::SetOut(Numbis, 0.0);

  vl::LowerInPlace(Udata);
  std::array<char, vl::kUdataBuffer> buffer{};
  HostStrGet(Udata, buffer.data());
  buffer.back() = '\0';
  const std::string_view text(buffer.data());

  const std::size_t start = text.find(vl::kUdataStart);
  if (start == std::string_view::npos) {
    vl::SetOut(rc, 0);
    return vl::kHostOk;
  }
  const std::size_t begin = start + vl::kUdataStart.size();
  const std::size_t end = text.find(';', begin);
  if (end == std::string_view::npos) {
    vl::SetOut(rc, -1);
    return vl::kHostOk;
  }

  std::array<std::string, vl::kUdataFields> fields = vl::SplitFields(text.substr(begin, end - begin));
  std::transform(fields[0].begin(), fields[0].end(), fields[0].begin(), vl::Upper);
  HostStrPut(fields[0].c_str(), Feldtyp);  // its result does not count

  const vl::FieldInfo info = vl::ReadFieldInfo(fields, fields[0].empty() ? '\0' : fields[0][0]);
  vl::SetOut(Fld_length, info.length);
  vl::SetOut(Fld_nk, info.decimals);
  vl::SetOut(Numtyp, info.numtyp);
  vl::SetOut(Mussfeld, info.required);
  vl::SetOut(Numvon, info.from);
  vl::SetOut(Numbis, info.to);
  vl::SetOut(rc, 1);
  return vl::kHostOk;
}
