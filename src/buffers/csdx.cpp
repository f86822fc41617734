// The CSDX stream: two-pass packing into csdxBuf, and reading fields back.
#include <charconv>
#include <cstdio>
#include <cstring>
#include <new>

#include "buffers.h"

namespace vl {

CsdxState &csdxBuf() {
  static CsdxState state;
  return state;
}

void CSDX_Reset() noexcept { csdxBuf() = CsdxState{}; }
VL_STATE_RESET(CSDX_Reset);

void CSDX_Free() noexcept {
  CsdxState &s = csdxBuf();
  s.buffer.reset();
  s.size = s.position = s.sent = 0;
  s.counting = false;
}

void CSDX_PutRaw(const char *data, std::size_t length) {
  CsdxState &s = csdxBuf();
  if (!s.counting && s.buffer != nullptr && length > 0) {
    // A second pass that puts more than the first counted is cut at the end; the
    // pack then fails on the length check instead of overrunning the buffer.
    const std::size_t room = s.size - std::min(s.position, s.size);
    const std::size_t n = std::min(length, room);
    if (n > 0) std::memcpy(s.buffer.get() + std::min(s.position, s.size), data, n);  // data may be null when n is 0
  }
  s.position += length;
}

void CSDX_PutNumber(long value) {
  char text[24];
  auto [end, ec] = std::to_chars(text, text + sizeof text - 1, value);
  *end++ = '~';
  CSDX_PutRaw(text, static_cast<std::size_t>(end - text));
}

void CSDX_PutString(const char *data, std::size_t length) {
  CSDX_PutNumber(static_cast<long>(length));
  CSDX_PutRaw(data, length);
}

void CSDX_PutHeader() {
  char text[kCsdxHeaderLength + 1];
  const std::size_t total = std::min(csdxBuf().size, kCsdxMaxLength);
  std::snprintf(text, sizeof text, "R%d%c%06zu%c", 1, '~', total, '~');
  CSDX_PutRaw(text, kCsdxHeaderLength);
}

namespace csdx_detail {

Status BeginWritePass(const char *operation) {
  CsdxState &s = csdxBuf();
  const std::size_t size = s.position;
  s.counting = false;
  s.position = 0;
  if (size > kCsdxMaxLength) {
    TraceLine('D', 1, "%s() failed: packed stream of %zu bytes exceeds %zu", operation, size, kCsdxMaxLength);
    CSDX_Reset();
    return kReported;
  }
  if (AllocFails()) {
    TraceLine('D', 1, "%s() failed: heap overflow", operation);
    CSDX_Reset();
    return kNoMemory;
  }
  // One byte more than counted: a NUL after the stream, so that its fields can be
  // read back in place (CSDX_ReadToSep stops there).
  s.buffer.reset(new (std::nothrow) char[size + 1]);
  if (s.buffer == nullptr) {
    TraceLine('D', 1, "%s() failed: heap overflow", operation);
    CSDX_Reset();
    return kNoMemory;
  }
  s.buffer[size] = '\0';
  s.size = size;
  return kOk;
}

Status FinishWritePass(const char *operation) {
  CsdxState &s = csdxBuf();
  if (s.position != s.size) {
    TraceLine('D', 1, "%s() failed: packing passes differ (%zu, %zu bytes)", operation, s.size, s.position);
    CSDX_Reset();
    return kReported;
  }
  s.position = 0;
  s.sent = 0;
  return kOk;
}

}  // namespace csdx_detail

Status CSDX_PackString(const char *data, std::size_t length) {
  VL_TRACE_ENTRY('D', "CSDX_PackString");
  return CSDX_Pack("CSDX_PackString", [&] {
    CSDX_PutHeader();
    CSDX_PutRaw(data, length);
  });
}

std::size_t CSDX_ReadToSep(CsdxCursor &cursor) {
  if (cursor.next == nullptr) {
    TraceLine('D', 1, "CSDX_ReadToSep(): nextEntry == NULL");
    return 0;
  }
  char *start = cursor.next;
  char *sep = start;
  while (*sep != '\0' && *sep != '~') ++sep;
  cursor.field = start;
  if (sep == start || *sep != '~') {
    TraceLine('D', 1, "CSDX_ReadToSep(): invalid entry [%s]", start);
    *sep = '\0';
    cursor.next = nullptr;
    return 0;
  }
  *sep = '\0';
  cursor.next = sep + 1;
  return static_cast<std::size_t>(sep - start) + 1;
}

}  // namespace vl
