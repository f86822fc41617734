// Reading and writing the host's strings, and the common result mapping.
#include <algorithm>
#include <cstring>

#include "host.h"

namespace vl {

HostResult ToHostResult(Status status) noexcept {
  switch (status) {
    case kOk: return kHostOk;
    case kTooSmall: return kHostTooLong;
    case kNoMemory: return kHostNoMemory;
    case kCorruptXbuf: return kHostCorrupt;
    default: return kHostFailed;
  }
}

std::string_view HostView(const HostString *s) noexcept {
  if (s == nullptr || s->bytes == nullptr || s->len <= 0 || s->cap <= 0) return {};
  return {s->bytes, static_cast<std::size_t>(std::min(s->len, s->cap))};
}

std::int32_t StoreBytes(HostString *s, std::string_view value) noexcept {
  if (s == nullptr) return kHostFailed;
  if (value.size() > static_cast<std::size_t>(std::max(s->cap, 0))) return kHostTooLong;
  if (!value.empty()) {
    if (s->bytes == nullptr) return kHostTooLong;
    std::memmove(s->bytes, value.data(), value.size());
  }
  s->len = static_cast<std::int32_t>(value.size());
  return kHostOk;
}

std::int32_t StoreText(HostString *s, const char *text) noexcept { return HostStrPut(text, s); }

}  // namespace vl
