// The clock, environment and allocation seams.
#include "common.h"

#include <cstdlib>

namespace vl {
namespace {
using ClockFn = std::time_t (*)();
using EnvFn = const char *(*)(const char *);
constinit ClockFn clockOverride = nullptr;
constinit EnvFn envOverride = nullptr;
constinit long allocChecksLeft = -1;  // negative: never fail
}  // namespace

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
