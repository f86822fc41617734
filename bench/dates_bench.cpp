// Dates in fields, through VlCall as a host calls them, with the trace off,
// against the C library on the same dates in the same run:
//   fmt_Date   against strftime with the same format   (goal: at most 3x)
//   scan_Date  against strptime with the same format   (goal: at most 3x)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "format.h"
#include "format_host.h"
#include "host.h"

namespace {

constexpr const char *kFormat = "%d.%m.%Y";

// Relative day numbers from 1950 to 2050.
std::vector<std::int32_t> Days() {
  std::mt19937 rng(7);
  std::vector<std::int32_t> days(1024);
  for (auto &d : days) d = static_cast<std::int32_t>(std::uniform_int_distribution<int>(-8000, 28000)(rng));
  return days;
}

std::vector<std::tm> Tms() {
  std::vector<std::tm> tms;
  for (std::int32_t d : Days()) {
    std::tm tm{};
    vl::DateToTm(tm, d, true);
    tms.push_back(tm);
  }
  return tms;
}

std::vector<std::string> Texts() {
  std::vector<std::string> texts;
  for (const std::tm &tm : Tms()) {
    char text[32];
    std::strftime(text, sizeof text, kFormat, &tm);
    texts.push_back(text);
  }
  return texts;
}

void BM_strftime(benchmark::State &state) {
  const auto tms = Tms();
  char text[32];
  std::size_t i = 0;
  for (auto _ : state) {
    std::strftime(text, sizeof text, kFormat, &tms[i++ & 1023]);
    benchmark::DoNotOptimize(text);
  }
}

void BM_fmt_Date(benchmark::State &state) {
  dll_SetLocale("");
  const auto days = Days();
  char bytes[32];
  HostString result{sizeof bytes, 0, bytes};
  std::int32_t value = 0, isGreg = 1, len = 10;
  char format[] = "%d.%m.%Y";
  void *argv[] = {&value, &isGreg, &len, format, &result};
  std::size_t i = 0;
  for (auto _ : state) {
    value = days[i++ & 1023];
    VlCall(79, argv);
    benchmark::DoNotOptimize(bytes);
  }
}

void BM_strptime(benchmark::State &state) {
  const auto texts = Texts();
  std::size_t i = 0;
  for (auto _ : state) {
    std::tm tm{};
    strptime(texts[i++ & 1023].c_str(), kFormat, &tm);
    benchmark::DoNotOptimize(tm);
  }
}

void BM_scan_Date(benchmark::State &state) {
  dll_SetLocale("");
  const auto texts = Texts();
  char outBytes[32];
  HostString out{sizeof outBytes, 0, outBytes};
  std::int32_t result = 0, rc = 0;
  char fvt[] = "GREG", format[] = "%d.%m.%Y", valid[] = "";
  void *argv[] = {nullptr, fvt, format, valid, &result, &out, &rc};
  std::size_t i = 0;
  for (auto _ : state) {
    argv[0] = const_cast<char *>(texts[i++ & 1023].c_str());
    VlCall(80, argv);
    benchmark::DoNotOptimize(result);
  }
}

BENCHMARK(BM_strftime);
BENCHMARK(BM_fmt_Date);
BENCHMARK(BM_strptime);
BENCHMARK(BM_scan_Date);

// Console output, then each function's CPU time per call as a ratio of its baseline.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        cpuNs_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (auto [function, baseline] : {std::pair{"BM_fmt_Date", "BM_strftime"}, {"BM_scan_Date", "BM_strptime"}}) {
      if (cpuNs_.count(function) == 0 || cpuNs_.count(baseline) == 0) continue;
      std::printf("%s / %s: %.2f (goal: at most 3)\n", function, baseline, cpuNs_[function] / cpuNs_[baseline]);
    }
  }

 private:
  std::map<std::string, double> cpuNs_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
