// What every library of host functions uses at the binary interface: the host
// result codes, the one mapping from engine statuses to them, and the helpers
// that read and write the host's strings. Host-free cores never include this
// header (they do not link the host runtime); each component declares its own
// host functions in its *_host.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "common.h"
#include "vlabi.h"

namespace vl {

// Results of host functions (the value VlCall returns).
enum HostResult : std::int32_t {
  kHostOk = 0,             // success
  kHostNoFunction = -1,    // the function number names no function
  kHostNoMemory = 2,       // memory exhausted
  kHostTooLong = 18,       // an output value does not fit its HostString
  kHostFailed = 19,        // failure reported on the trace
  kHostCorrupt = 204,      // corrupt packed buffer
  kHostNoFreeList = 2000,  // list errors: no free list,
  kHostListMemory = 2001,  //   memory exhausted,
  kHostBadList = 2002,     //   bad handle,
  kHostNoCurrent = 2003,   //   no current element
};

// Maps an engine status to a host result: kOk -> 0, kTooSmall -> 18, kNoMemory
// -> 2, kCorruptXbuf -> 204, anything else (kNothing, kReported) -> 19.
HostResult ToHostResult(Status status) noexcept;

// The current value of a host string as bytes; empty for a null string, a null
// data pointer or a negative length; a length beyond cap counts only cap bytes.
std::string_view HostView(const HostString *s) noexcept;

// Stores bytes as the new value: 18 and the string unchanged when they exceed cap.
std::int32_t StoreBytes(HostString *s, std::string_view value) noexcept;

// Stores a NUL-terminated text through the host's HostStrPut and returns its result.
std::int32_t StoreText(HostString *s, const char *text) noexcept;

}  // namespace vl
