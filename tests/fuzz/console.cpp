// The script console's line reader (RunScript) over a small module of its own.
//
// Input: the script. The module has a function of every argument kind, which
// checks what the console hands it and writes out-values back. Checks:
//   - texts arrive terminated, host strings with a length within their
//     capacity and room for it;
//   - RunScript counts at most one failure a line, and writes one line on
//     standard error for each, naming the script and a line that exists.
#include <stdio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "console.h"
#include "fuzz.h"

namespace {

const VlArgRow kArgs[] = {
    {"n", VL_ARG_INT_IN}, {"rc", VL_ARG_INT_OUT}, {"x", VL_ARG_REAL_IN}, {"y", VL_ARG_REAL_OUT},
    {"t", VL_ARG_TEXT},   {"s", VL_ARG_HSTRING},  {"s", VL_ARG_HSTRING},
};
const VlFuncRow kFuncs[] = {
    {"f_all", 0, 6, 0},
    {"f_none", 0, 0, 0},
    {"f_str", 6, 1, 0},
    {nullptr, 0, 0, 0},
};

std::int32_t Call(std::int32_t number, void **argv) {
  const VlFuncRow &fn = kFuncs[number];
  FUZZ_CHECK(number >= 0 && number < 3 && (fn.arg_count == 0 || argv != nullptr));
  std::int32_t result = number;
  for (std::uint32_t a = 0; a < fn.arg_count; ++a) {
    const VlArgRow &row = kArgs[fn.first_arg + a];
    switch (row.type) {
      case VL_ARG_INT_IN: result += *static_cast<std::int32_t *>(argv[a]) & 3; break;
      case VL_ARG_INT_OUT: *static_cast<std::int32_t *>(argv[a]) += 1; break;
      case VL_ARG_REAL_IN: break;
      case VL_ARG_REAL_OUT: *static_cast<double *>(argv[a]) *= 2; break;
      case VL_ARG_TEXT: result += static_cast<std::int32_t>(std::strlen(static_cast<const char *>(argv[a])) & 3); break;
      case VL_ARG_HSTRING: {
        auto *hs = static_cast<HostString *>(argv[a]);
        FUZZ_CHECK(hs->cap >= 0 && hs->len >= 0 && hs->len <= hs->cap && hs->bytes != nullptr);
        // Writes the whole capacity: an echo of the value, then "#".
        for (std::int32_t i = hs->len; i < hs->cap; ++i) hs->bytes[i] = '#';
        hs->len = hs->cap;
        break;
      }
      default: FUZZ_CHECK(false);
    }
  }
  return result;
}

std::size_t Lines(const std::string &text) {
  std::size_t n = 0;
  for (const char c : text) n += c == '\n';
  return n;
}

// The largest capacity a host string written after ":" asks for (decimal or
// 0x hexadecimal, as the console reads it). Capacities up to the console's
// 1 GiB only cost time and memory here (the module fills each one), so the
// target leaves those above 1 MB to the unit tests.
std::uint64_t LargestCapacity(const std::string &script) {
  std::uint64_t largest = 0;
  for (std::size_t colon = script.find(':'); colon != std::string::npos; colon = script.find(':', colon + 1)) {
    std::size_t i = colon + 1;
    while (i < script.size() && (script[i] == ' ' || script[i] == '\t')) ++i;
    if (i < script.size() && script[i] == '+') ++i;
    int base = 10;
    if (i + 2 < script.size() && script[i] == '0' && (script[i + 1] == 'x' || script[i + 1] == 'X')) {
      base = 16;
      i += 2;
    }
    std::uint64_t value = 0;
    for (; i < script.size(); ++i) {
      const char c = script[i];
      const int digit = c >= '0' && c <= '9'                ? c - '0'
                        : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                             : -1;
      if (digit < 0) break;
      value = std::min<std::uint64_t>(value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit),
                                      std::uint64_t{1} << 40);
    }
    largest = std::max(largest, value);
  }
  return largest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string script(reinterpret_cast<const char *>(data), size);
  if (LargestCapacity(script) > (std::uint64_t{1} << 20)) return -1;  // libFuzzer: not kept in the corpus
  const vlrt::Module module{kFuncs, kArgs, &Call};
  char *outText = nullptr;
  char *errText = nullptr;
  std::size_t outSize = 0;
  std::size_t errSize = 0;
  std::FILE *out = open_memstream(&outText, &outSize);
  std::FILE *err = open_memstream(&errText, &errSize);
  FUZZ_CHECK(out != nullptr && err != nullptr);
  std::istringstream in(script);
  const int failures = vlrt::RunScript(module, in, "fuzz.vls", out, err, "/nonexistent");
  std::fclose(out);
  std::fclose(err);
  const std::string outs(outText, outSize);
  const std::string errs(errText, errSize);
  std::free(outText);
  std::free(errText);
  const std::size_t lines = Lines(script) + (script.empty() || script.back() == '\n' ? 0 : 1);
  FUZZ_CHECK(failures >= 0 && static_cast<std::size_t>(failures) <= lines);
  FUZZ_CHECK(Lines(errs) == static_cast<std::size_t>(failures));
  std::size_t start = 0;
  while (start < errs.size()) {
    const std::size_t end = errs.find('\n', start);
    FUZZ_CHECK(errs.compare(start, 9, "fuzz.vls:") == 0);
    const long line = std::strtol(errs.c_str() + start + 9, nullptr, 10);
    FUZZ_CHECK(line >= 1 && static_cast<std::size_t>(line) <= lines);
    start = end + 1;
  }
  return 0;
}
