// The clock, environment and allocation seams, and the reset of every
// component's state.
#include "common.h"

#include <cstdlib>

// The linker's bounds of the section of VL_STATE_RESET entries.
extern "C" {
extern const vl::StateReset __start_vl_state_resets[];
extern const vl::StateReset __stop_vl_state_resets[];
}

namespace vl {
namespace {
using ClockFn = std::time_t (*)();
using EnvFn = const char *(*)(const char *);
constinit ClockFn clockOverride = nullptr;  // none: the real clock
constinit EnvFn envOverride = nullptr;      // none: the real environment
constinit long allocChecksLeft = -1;        // negative: never fail
constinit bool allocCheckFailed = false;    // a check failed since FailAllocationsAfter

void ResetSeams() {
  clockOverride = nullptr;
  envOverride = nullptr;
  allocChecksLeft = -1;
  allocCheckFailed = false;
}
VL_STATE_RESET(ResetSeams);

}  // namespace

void ResetForTest() {
  for (const StateReset *reset = __start_vl_state_resets; reset != __stop_vl_state_resets; ++reset) (*reset)();
}

std::time_t Now() noexcept { return clockOverride != nullptr ? clockOverride() : std::time(nullptr); }

void SetClockForTest(std::time_t (*clock)()) noexcept { clockOverride = clock; }

TimeText TimeText24(std::time_t t) noexcept {
  std::tm local{};
  TimeText text{};
  if (localtime_r(&t, &local) == nullptr ||
      std::strftime(text.data(), text.size(), "%a %b %e %H:%M:%S %Y\n", &local) == 0) {
    CopyCut(text.data(), text.size(), "??? ??? ?? ??:??:?? ????\n");
  }
  return text;
}

const char *GetEnv(const char *name) noexcept {
  return envOverride != nullptr ? envOverride(name) : std::getenv(name);
}

void SetEnvForTest(const char *(*lookup)(const char *)) noexcept { envOverride = lookup; }

bool AllocFails() noexcept {
  if (allocChecksLeft < 0) return false;
  if (allocChecksLeft == 0) return allocCheckFailed = true;
  --allocChecksLeft;
  return false;
}

void FailAllocationsAfter(long n) noexcept {
  allocChecksLeft = n;
  allocCheckFailed = false;
}

bool AllocationFailed() noexcept { return allocCheckFailed; }

}  // namespace vl
