// Dispatch entry of the function table (private to the frame).
#pragma once

#include <cstdint>

namespace vl {

// Calls one host function with the host's argument vector.
using Invoker = std::int32_t (*)(void **argv);

// The implementation of a function number, or nullptr when the number names none.
Invoker FindInvoker(std::int32_t number) noexcept;

}  // namespace vl
