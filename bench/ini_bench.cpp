// Looking up the last entry of a 10 MB INI file with ini_GetString, against the
// floor of a plain fgets loop over the same file. Both read the file from the
// page cache; the run ends with the ratio of the two times.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host.h"
#include "ini_host.h"

namespace {

constexpr std::size_t kFileBytes = 10 * 1024 * 1024;

// A file of sections with twenty entries each, comments and blank lines, written
// once per run; the last entry of the last section is what is looked up.
struct SampleFile {
  std::string path;
  std::string lastSection;
  std::string lastEntry;

  SampleFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ini_bench.XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    path = pattern;
    std::FILE *out = std::fopen(path.c_str(), "wb");
    std::size_t written = 0;
    for (int section = 0; written < kFileBytes; ++section) {
      lastSection = "section_" + std::to_string(section);
      written += static_cast<std::size_t>(std::fprintf(out, "[%s]\r\n; settings of part %d\r\n", lastSection.c_str(), section));
      for (int entry = 0; entry < 20; ++entry) {
        lastEntry = "key_" + std::to_string(entry);
        written += static_cast<std::size_t>(
            std::fprintf(out, "%s = value of entry %d in section %d, with some text\r\n", lastEntry.c_str(), entry, section));
      }
      written += static_cast<std::size_t>(std::fprintf(out, "\r\n"));
    }
    std::fclose(out);
  }
  ~SampleFile() { std::remove(path.c_str()); }
};

SampleFile &Sample() {
  static SampleFile sample;
  return sample;
}

void BM_FgetsFloor(benchmark::State &state) {
  const SampleFile &sample = Sample();
  char line[1024];
  for (auto _ : state) {
    std::FILE *in = std::fopen(sample.path.c_str(), "rb");
    std::size_t lines = 0;
    while (std::fgets(line, sizeof line, in) != nullptr) ++lines;
    std::fclose(in);
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

void BM_IniGetStringLast(benchmark::State &state) {
  const SampleFile &sample = Sample();
  std::vector<char> bytes(1024);
  HostString val{1024, 0, bytes.data()};
  for (auto _ : state) {
    ini_GetString(sample.lastSection.c_str(), sample.lastEntry.c_str(), "", sample.path.c_str(), &val);
    benchmark::DoNotOptimize(val.len);
  }
  if (val.len == 0) state.SkipWithError("the last entry was not found");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}

BENCHMARK(BM_FgetsFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniGetStringLast)->Unit(benchmark::kMillisecond);

// The console output, and each benchmark's time per iteration for the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto floor = reporter.times.find("BM_FgetsFloor");
  const auto lookup = reporter.times.find("BM_IniGetStringLast");
  if (floor != reporter.times.end() && lookup != reporter.times.end() && floor->second > 0) {
    std::printf("ratio ini_GetString (last entry of 10 MB) / fgets floor: %.2f\n", lookup->second / floor->second);
  }
  benchmark::Shutdown();
  return 0;
}
