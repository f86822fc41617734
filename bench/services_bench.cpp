// Benchmarks of the named lists and the host variables, called through VlCall so
// that the dispatch is included.
//
//   lists: n l_Add calls, then a walk of the whole list with l_GetFirst and
//          l_GetNext. The time per element should not grow with n (linear work).
//   vars:  n v_Set calls with distinct names, then n v_Get calls. The time per
//          call should stay flat as n grows (look-ups independent of the count).
//
// After the runs, the reporter prints the ratios of the time per element (or per
// call) at the largest size to that at the smallest size of the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "services_int.h"

namespace {

// Function numbers of the calls used here.
constexpr std::int32_t kVSet = 6;
constexpr std::int32_t kVGet = 8;
constexpr std::int32_t kLCreateList = 23;
constexpr std::int32_t kLDeleteList = 26;
constexpr std::int32_t kLAdd = 28;
constexpr std::int32_t kLGetFirst = 34;
constexpr std::int32_t kLGetNext = 36;

// A host string over storage of its own.
struct HostText {
  explicit HostText(std::string text, std::int32_t cap = 0) : bytes(std::move(text)) {
    if (static_cast<std::size_t>(cap) > bytes.size()) bytes.resize(static_cast<std::size_t>(cap));
    hs = HostString{static_cast<std::int32_t>(bytes.size()), static_cast<std::int32_t>(bytes.size()), bytes.data()};
  }
  std::string bytes;
  HostString hs{};
};

// Counter that shows seconds per unit of work (n units per iteration).
benchmark::Counter PerUnit(double n) {
  return benchmark::Counter(n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ListAddThenWalk(benchmark::State &state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  HostText name("bench");
  HostText element("element value");
  HostText out("", 64);
  std::int32_t walked = 0;
  for (auto _ : state) {
    std::int32_t hdl = 0;
    void *create[] = {&hdl, &name.hs};
    if (VlCall(kLCreateList, create) != 0) state.SkipWithError("l_CreateList failed");
    void *add[] = {&hdl, &element.hs};
    for (std::int32_t i = 0; i < n; ++i) VlCall(kLAdd, add);
    std::int32_t eol = 0;
    void *get[] = {&hdl, &out.hs, &eol};
    walked = 0;
    VlCall(kLGetFirst, get);
    while (eol == 0) {  // set through the vector
      ++walked;
      VlCall(kLGetNext, get);
    }
    state.PauseTiming();
    void *del[] = {&hdl};
    VlCall(kLDeleteList, del);
    state.ResumeTiming();
  }
  if (walked != n) state.SkipWithError("the walk did not see every element");
  state.counters["per_element"] = PerUnit(n);
}
BENCHMARK(BM_ListAddThenWalk)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_VarSetThenGet(benchmark::State &state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<HostText> names;
  names.reserve(n);
  for (std::size_t i = 0; i < n; ++i) names.emplace_back("Variable." + std::to_string(i * 7919));
  HostText value("a value of some length");
  HostText out("", 64);
  for (auto _ : state) {
    state.PauseTiming();
    vl::ResetVarsForTest();
    state.ResumeTiming();
    for (HostText &name : names) {
      void *set[] = {&name.hs, &value.hs};
      VlCall(kVSet, set);
    }
    for (HostText &name : names) {
      void *get[] = {&name.hs, &out.hs};
      VlCall(kVGet, get);
      benchmark::DoNotOptimize(out.hs.len);
    }
  }
  if (out.hs.len != value.hs.len) state.SkipWithError("v_Get did not find the last variable");
  state.counters["per_call"] = PerUnit(2.0 * static_cast<double>(n));
  vl::ResetVarsForTest();
}
BENCHMARK(BM_VarSetThenGet)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Console output, then the ratio of the time per unit at the largest size to that
// at the smallest, per benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      for (const auto &[counter, value] : run.counters) {
        if (counter != "per_element" && counter != "per_call") continue;
        const std::string name = run.run_name.function_name;
        const long size = std::stol(run.run_name.args);
        perUnit_[name][size] = value.value * 1e9;
        units_[name] = counter;
      }
    }
  }

  void PrintRatios() const {
    for (const auto &[name, bySize] : perUnit_) {
      if (bySize.size() < 2) continue;
      const auto &[small, smallNs] = *bySize.begin();
      const auto &[large, largeNs] = *bySize.rbegin();
      std::printf("%s: %.1f ns %s at %ld, %.1f ns at %ld: ratio %.2f\n", name.c_str(), smallNs,
                  units_.at(name).c_str(), small, largeNs, large, largeNs / smallNs);
    }
  }

 private:
  std::map<std::string, std::map<long, double>> perUnit_;
  std::map<std::string, std::string> units_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
