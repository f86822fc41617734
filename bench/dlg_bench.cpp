// Reading generated DLG files of 10,000 and 100,000 objects with dlg_load,
// against reading the same bytes alone (fread in 64 KB blocks). The run ends
// with the time per object of each, their ratio, and the ratio of the time per
// object at 100,000 objects to that at 10,000 (1 for a reader that is linear).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "dlg.h"

namespace {

constexpr int kFieldsPerDialog = 9;  // each dialog object holds nine field objects

// A dialog file of `objects` objects: definitions, dialogs of nine fields with
// plain, indexed and defined attribute values, comments and blank lines.
struct SampleFile {
  std::string path;
  std::size_t bytes = 0;
  long events = 0;  // objects and attributes written

  explicit SampleFile(int objects) {
    std::string pattern = (std::filesystem::temp_directory_path() / "dlg_bench.XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) std::abort();
    close(fd);
    path = pattern;
    std::FILE *out = std::fopen(path.c_str(), "w");
    std::fputs("# generated dialogs\nWIDTH = 20\nTITLE = \"Customer data\"\n\n", out);
    for (int made = 0, dialog = 0; made < objects; ++dialog) {
      std::fprintf(out, "Dialog cust%d {\n  .title = TITLE\n  .w = 60\n", dialog);
      ++made;
      events += 3;
      for (int field = 0; field < kFieldsPerDialog && made < objects; ++field, ++made) {
        std::fprintf(out,
                     "  EditText field_%d {   # field %d\n    .w = WIDTH\n    .maxchars = 0x14\n"
                     "    .content[%d] = \"value %d\"\n    .sensitive = 1\n  }\n",
                     field, field, field, field);
        events += 5;
      }
      std::fputs("}\n\n", out);
    }
    bytes = static_cast<std::size_t>(std::ftell(out));
    std::fclose(out);
  }
  ~SampleFile() { std::remove(path.c_str()); }
};

SampleFile &Sample(int objects) {
  static std::map<int, std::unique_ptr<SampleFile>> samples;
  auto &sample = samples[objects];
  if (!sample) sample = std::make_unique<SampleFile>(objects);
  return *sample;
}

class Counter : public dlg::DlgConsumer {
 public:
  int OnDlgEvent(const dlg::DlgEvent &event) override {
    ++events;
    benchmark::DoNotOptimize(event.path.data());
    return 0;
  }
  long events = 0;
};

void BM_ReadBytes(benchmark::State &state) {
  const SampleFile &sample = Sample(static_cast<int>(state.range(0)));
  auto block = std::make_unique<char[]>(64 * 1024);
  for (auto _ : state) {
    std::FILE *in = std::fopen(sample.path.c_str(), "r");
    std::size_t total = 0;
    for (std::size_t got; (got = std::fread(block.get(), 1, 64 * 1024, in)) > 0;) total += got;
    std::fclose(in);
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.bytes));
}

void BM_DlgLoad(benchmark::State &state) {
  const SampleFile &sample = Sample(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Counter counter;
    if (dlg::dlg_load(sample.path.c_str(), counter) != dlg::kDlgOk || counter.events != sample.events) {
      state.SkipWithError("the generated file was not read completely");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sample.bytes));
}

BENCHMARK(BM_ReadBytes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DlgLoad)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The console output, and each benchmark's time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;  // in the unit of the benchmark (ms)
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double perObject[2] = {0, 0};
  const int sizes[2] = {10000, 100000};
  for (int i = 0; i < 2; ++i) {
    const std::string n = std::to_string(sizes[i]);
    const auto bytes = reporter.times.find("BM_ReadBytes/" + n);
    const auto load = reporter.times.find("BM_DlgLoad/" + n);
    if (bytes == reporter.times.end() || load == reporter.times.end()) continue;
    perObject[i] = load->second * 1e6 / sizes[i];
    std::printf("%6d objects: dlg_load %.1f ns per object, reading the bytes %.1f ns per object, ratio %.2f\n",
                sizes[i], perObject[i], bytes->second * 1e6 / sizes[i], load->second / bytes->second);
  }
  if (perObject[0] > 0 && perObject[1] > 0)
    std::printf("time per object at 100,000 / at 10,000 objects: %.2f\n", perObject[1] / perObject[0]);
  benchmark::Shutdown();
  return 0;
}
