// Host functions of the packed stream: dll_SendNext hands csdxBuf to the host
// piece by piece; dict_PackBufDX packs a host buffer into it.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "buffers.h"
#include "buffers_host.h"
#include "host.h"

namespace {
// Room a piece needs beyond its head.
constexpr std::size_t kPieceSlack = 20;
}  // namespace

std::int32_t dll_SendNext(HostString *vl, std::int32_t *eof_p) {
  VL_TRACE_ENTRY('D', "dll_SendNext");
  vl::CsdxState &s = vl::csdxBuf();
  if (s.buffer == nullptr) {
    vl::TraceLine('D', 1, "dll_SendNext() failed: csdxBuf is not allocated");
    return vl::kHostFailed;
  }
  // The piece head is the offset of the piece: the bytes already sent, and "~".
  char head[24];
  auto [end, ec] = std::to_chars(head, head + sizeof head - 1, s.sent);
  *end++ = '~';
  const auto headLength = static_cast<std::size_t>(end - head);
  const std::size_t room = vl->bytes != nullptr ? static_cast<std::size_t>(std::max(vl->cap, 0)) : 0;
  if (room < headLength + kPieceSlack) {
    vl::CSDX_Free();
    *eof_p = 1;
    vl::TraceLine('D', 1, "dll_SendNext() failed: string overflow");
    return vl::kHostTooLong;
  }
  const std::size_t n = std::min(s.size - s.sent, room - headLength);
  std::memcpy(vl->bytes, head, headLength);
  std::memcpy(vl->bytes + headLength, s.buffer.get() + s.sent, n);
  vl->len = static_cast<std::int32_t>(headLength + n);
  s.sent += n;
  if (s.sent == s.size) {
    vl::CSDX_Free();
    *eof_p = 1;
  } else {
    *eof_p = 0;
  }
  return vl::kHostOk;
}

std::int32_t dict_PackBufDX(HostString *buf) {
  VL_TRACE_ENTRY('D', "dict_PackBufDX");
  const std::string_view bytes = vl::HostView(buf);
  return vl::ToHostResult(vl::CSDX_PackString(bytes.data(), bytes.size()));
}
