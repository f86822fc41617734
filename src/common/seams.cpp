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

void ResetSeams() {
  clockOverride = nullptr;
  envOverride = nullptr;
  allocChecksLeft = -1;
}
VL_STATE_RESET(ResetSeams);

}  // namespace

void ResetForTest() {
  for (const StateReset *reset = __start_vl_state_resets; reset != __stop_vl_state_resets; ++reset) (*reset)();
}

std::time_t Now() noexcept { return clockOverride != nullptr ? clockOverride() : std::time(nullptr); }

void SetClockForTest(std::time_t (*clock)()) noexcept { clockOverride = clock; }

std::string TimeText24(std::time_t t) {
  std::tm local{};
  char text[64];
  if (localtime_r(&t, &local) == nullptr ||
      std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &local) == 0) {
    return "??? ??? ?? ??:??:?? ????\n";
  }
  return text;
}

const char *GetEnv(const char *name) noexcept {
  return envOverride != nullptr ? envOverride(name) : std::getenv(name);
}

void SetEnvForTest(const char *(*lookup)(const char *)) noexcept { envOverride = lookup; }

bool AllocFails() noexcept {
  if (allocChecksLeft < 0) return false;
  if (allocChecksLeft == 0) return true;
  --allocChecksLeft;
  return false;
}

void FailAllocationsAfter(long n) noexcept { allocChecksLeft = n; }

}  // namespace vl
