// The seven host runtime operations that the module imports, and HostMain, which
// finds the module's exports and runs the script console.
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cmdline.h"
#include "console.h"

#define VLRT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// A refused store or assignment: the value does not fit the target's capacity.
constexpr std::int32_t kNoFit = 18;

// Host strings handed out by HostStrSub; owned here until the console releases them.
struct Substring {
  HostString string{};
  std::vector<char> bytes;
};
std::vector<std::unique_ptr<Substring>> &Substrings() {
  static std::vector<std::unique_ptr<Substring>> pool;
  return pool;
}

std::size_t ValueLength(const HostString *s) {
  if (s == nullptr || s->bytes == nullptr || s->len <= 0) return 0;
  return static_cast<std::size_t>(s->len);
}

}  // namespace

extern "C" {
__attribute__((visibility("default"))) std::int32_t HostDebugLevel = 0;
}

VLRT_EXPORT std::int32_t HostStrLen(HostString *s) { return static_cast<std::int32_t>(ValueLength(s)); }

VLRT_EXPORT std::int32_t HostStrAssign(HostString *target, HostString *source) {
  const std::size_t n = ValueLength(source);
  if (target == nullptr || static_cast<long long>(n) > target->cap) return kNoFit;
  if (n > 0) std::memmove(target->bytes, source->bytes, n);
  target->len = static_cast<std::int32_t>(n);
  return 0;
}

VLRT_EXPORT HostString *HostStrSub(HostString *s, std::int32_t start, std::int32_t count) {
  if (s == nullptr || start < 1 || count < 0) return nullptr;
  const std::size_t len = ValueLength(s);
  const auto first = static_cast<std::size_t>(start) - 1;
  if (first > len || static_cast<std::size_t>(count) > len - first) return nullptr;
  try {
    auto sub = std::make_unique<Substring>();
    sub->bytes.assign(s->bytes + first, s->bytes + first + count);
    sub->bytes.push_back('\0');
    sub->string = HostString{count, count, sub->bytes.data()};
    Substrings().push_back(std::move(sub));
    return &Substrings().back()->string;
  } catch (...) {
    errno = ENOMEM;  // the module tells memory exhaustion from a range it cannot make
    return nullptr;
  }
}

VLRT_EXPORT void HostStrGet(HostString *s, char *buffer) {
  // The module passes 1024 bytes: the value is cut to 1023 and terminated.
  const std::size_t n = std::min<std::size_t>(ValueLength(s), 1023);
  if (n > 0) std::memcpy(buffer, s->bytes, n);
  buffer[n] = '\0';
}

VLRT_EXPORT std::int32_t HostStrPut(const char *text, HostString *target) {
  const std::size_t n = text != nullptr ? std::strlen(text) : 0;
  if (target == nullptr || static_cast<long long>(n) > target->cap) return kNoFit;
  if (n > 0) std::memcpy(target->bytes, text, n);
  target->len = static_cast<std::int32_t>(n);
  return 0;
}

namespace vlrt {
void ReleaseSubstrings() noexcept { Substrings().clear(); }
}  // namespace vlrt

// The console of the stand-in host: runs the script or the option that util's
// command line names (see cmdline.h). Exit code: 0 every line was read, 1 some
// line could not be read, 2 the command line is wrong, the script cannot be
// opened, the module's exports cannot be found, or memory ran out outside a line.
VLRT_EXPORT int HostMain(void *instance, void *, const char *cmdline, int) {
  vlrt::Module module{};
  module.funcs = static_cast<const VlFuncRow *>(dlsym(instance, "VlFuncList"));
  module.args = static_cast<const VlArgRow *>(dlsym(instance, "VlArgList"));
  module.call = reinterpret_cast<std::int32_t (*)(std::int32_t, void **)>(dlsym(instance, "VlCall"));
  const bool found = module.funcs != nullptr && module.args != nullptr && module.call != nullptr;
  try {
    const auto words = vlrt::CommandWords(vlrt::ProcessArguments(), cmdline != nullptr ? cmdline : "");
    return vlrt::RunCommandLine(found ? &module : nullptr, words, stdout, stderr);
  } catch (const std::bad_alloc &) {
    std::fflush(stdout);
    std::fprintf(stderr, "util: not enough memory\n");
    return 2;
  }
}
