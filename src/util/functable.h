// Dispatch entry of the function table (private to the frame).
#pragma once

#include <cstdint>

namespace vl {

// Calls one host function with the host's argument vector.
using Invoker = std::int32_t (*)(void **argv);

// The implementation of a function number, or nullptr when the number names none.
Invoker FindInvoker(std::int32_t number) noexcept;

// The trace category under which a function writes its own messages ('I' for the
// ini_ functions, 'F' for fmt_, scan_ and chk_, else 'D'); VlCall reports the
// failures it catches under it.
char TraceCategory(std::int32_t number) noexcept;

}  // namespace vl
