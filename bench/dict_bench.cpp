// The dictionary engine against baselines measured in the same run:
//   - dict_Open of a generated dictionary of 100,000 field sections with five
//     items each (about 10 MB), against reading the same file through the INI
//     reader and keeping a heap copy of every value; and the peak of the heap
//     while it loads, against the file's size;
//   - opening that dictionary on a further level (which checks its catalog and
//     its sections' prefixes again), and look-ups by name (FindSection,
//     FindDlgID, MapDlgHandle), at 100,000 sections against 1,000;
//   - sections inheriting through a chain of 16 models against a chain of 1, and
//     opening dictionaries while 1,000 model dictionaries are open against 1;
//   - a filtered walk of a dialog of 100,000 fields against one of 1,000 (a list
//     of every field, every one fetched with the format filter), per field, and
//     against fmt_Num and fmt_Date through VlCall; the values of every field
//     added from an XBUF to such a list, per field; dict_Get by name and dict_Next at 100,000 sections against 1,000;
//     dict_Update of a dictionary two levels share (a copy) per section at
//     100,000 against 1,000 sections, and a second update (in place) per call.
// The run ends with the ratios (of the medians when the benchmarks are repeated,
// as with --benchmark_repetitions=5, which a busy machine wants).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <map>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "dict.h"
#include "dict_host.h"
#include "format_host.h"
#include "ini.h"
#include "vlabi.h"

// ---------------------------------------------------------------------------
// Heap accounting: every operator new and delete of the process, so that the
// peak of one load can be read.
// ---------------------------------------------------------------------------
namespace {
long long liveBytes = 0;
long long peakBytes = 0;

void *Allocate(std::size_t n) {
  void *p = std::malloc(n != 0 ? n : 1);
  if (p == nullptr) throw std::bad_alloc();
  liveBytes += static_cast<long long>(malloc_usable_size(p));
  if (liveBytes > peakBytes) peakBytes = liveBytes;
  return p;
}

void Release(void *p) noexcept {
  if (p == nullptr) return;
  liveBytes -= static_cast<long long>(malloc_usable_size(p));
  std::free(p);
}
}  // namespace

void *operator new(std::size_t n) { return Allocate(n); }
void *operator new[](std::size_t n) { return Allocate(n); }
void operator delete(void *p) noexcept { Release(p); }
void operator delete[](void *p) noexcept { Release(p); }
void operator delete(void *p, std::size_t) noexcept { Release(p); }
void operator delete[](void *p, std::size_t) noexcept { Release(p); }

namespace {

// ---------------------------------------------------------------------------
// Generated files, written once per run into a scratch folder
// ---------------------------------------------------------------------------

class Files {
 public:
  Files() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dict_bench.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string &name) const { return (dir_ / name).string(); }

  // A dictionary of n field sections with five items each, for a catalog of
  // `handles` handles, the sections of one handle together.
  const std::string &Big(int n, int handles) {
    std::string &path = big_[{n, handles}];
    if (!path.empty()) return path;
    path = Path("big" + std::to_string(n) + "_" + std::to_string(handles) + ".dic");
    std::FILE *out = std::fopen(path.c_str(), "wb");
    std::fprintf(out, "[catalog]\n");
    for (int h = 0; h < handles; ++h) std::fprintf(out, "H%05d = P%05d\n", h, h);
    for (int i = 0; i < n; ++i) {
      std::fprintf(out,
                   "[h%05d.field_%06d]\nPATH = DIALOG.FIELD_%06d\nFTYP = N\nFLEN = 12\nFPREC = 2\n"
                   "DEFAULT = default of %d\n",
                   static_cast<int>(static_cast<long long>(i) * handles / n), i, i, i);
    }
    std::fclose(out);
    return path;
  }

  // Model sections m.c0 -> m.c1 -> ... -> m.c<links-1>, and a dictionary of 1,000
  // sections inheriting from m.c0.
  std::pair<std::string, std::string> Chain(int links) {
    const std::string models = Path("chain" + std::to_string(links) + ".dic");
    std::FILE *out = std::fopen(models.c_str(), "wb");
    for (int i = 0; i < links; ++i) {
      std::fprintf(out, "[m.c%d]\n", i);
      if (i == links - 1) std::fprintf(out, "FTYP = N\nFLEN = 12\nFPREC = 2\n");
      if (i == links / 2) std::fprintf(out, "DEFAULT = from the chain\n");
      if (i + 1 < links) std::fprintf(out, "MODEL = m.c%d\n", i + 1);
    }
    std::fclose(out);
    const std::string dict = Path("inherit" + std::to_string(links) + ".dic");
    out = std::fopen(dict.c_str(), "wb");
    std::fprintf(out, "[catalog]\nA = AP\n");
    for (int i = 0; i < 1000; ++i) std::fprintf(out, "[a.f%04d]\nPATH = F%04d\nMODEL = m.c0\n", i, i);
    std::fclose(out);
    return {models, dict};
  }

  // Model dictionary k: ten sections m<k>.f0 ... m<k>.f9.
  std::string Model(int k) {
    const std::string path = Path("model" + std::to_string(k) + ".dic");
    if (std::filesystem::exists(path)) return path;
    std::FILE *out = std::fopen(path.c_str(), "wb");
    for (int j = 0; j < 10; ++j) std::fprintf(out, "[m%d.f%d]\nFTYP = T\nFLEN = %d\n", k, j, j + 1);
    std::fclose(out);
    return path;
  }

  // A dialog of n date fields (value type GREG, the locale's format).
  const std::string &Dates(int n) {
    std::string &path = dates_[n];
    if (!path.empty()) return path;
    path = Path("dates" + std::to_string(n) + ".dic");
    std::FILE *out = std::fopen(path.c_str(), "wb");
    std::fprintf(out, "[catalog]\nH00000 = P00000\n");
    for (int i = 0; i < n; ++i) std::fprintf(out, "[h00000.field_%06d]\nPATH = F%06d\nFTYP = D\nFVTYP = GREG\n", i, i);
    std::fclose(out);
    return path;
  }

  // A dictionary of 1,000 sections inheriting from the first model dictionary.
  const std::string &UsesModel0() {
    if (!usesModel0_.empty()) return usesModel0_;
    usesModel0_ = Path("uses0.dic");
    std::FILE *out = std::fopen(usesModel0_.c_str(), "wb");
    std::fprintf(out, "[catalog]\nA = AP\n");
    for (int i = 0; i < 1000; ++i) std::fprintf(out, "[a.f%04d]\nPATH = F%04d\nMODEL = m0.f%d\n", i, i, i % 10);
    std::fclose(out);
    return usesModel0_;
  }

 private:
  std::filesystem::path dir_;
  std::map<std::pair<int, int>, std::string> big_;
  std::map<int, std::string> dates_;
  std::string usesModel0_;
};

Files &Generated() {
  static Files files;
  return files;
}

void Check(std::int32_t result, std::int32_t rc, benchmark::State &state) {
  if (result != 0 || rc != 0) state.SkipWithError("the dictionary did not open");
}

// ---------------------------------------------------------------------------
// Loading 10 MB
// ---------------------------------------------------------------------------

// The 10 MB dictionary: 100,000 sections of 100 dialogs.
const std::string &TenMegabytes() { return Generated().Big(100000, 100); }

void BM_IniReaderBaseline(benchmark::State &state) {
  const std::string &path = TenMegabytes();
  std::vector<std::string> values;
  char section[81];
  char name[81];
  char value[123];
  for (auto _ : state) {
    const int hdl = vl::IniOpen(path.c_str(), "");
    while (vl::IniNextSection(hdl, section, sizeof section) == vl::kIniReading) {
      while (vl::IniNextEntry(hdl, name, sizeof name, value, sizeof value) == vl::kIniReading) values.emplace_back(value);
    }
    vl::IniClose(hdl);
    state.PauseTiming();
    benchmark::DoNotOptimize(values.data());
    std::vector<std::string>().swap(values);
    state.ResumeTiming();
  }
}

void BM_DictOpen(benchmark::State &state) {
  const std::string &path = TenMegabytes();
  for (auto _ : state) {
    std::int32_t rc = 0;
    Check(dict_Open("big", path.c_str(), 1, &rc), rc, state);
    state.PauseTiming();
    dict_CloseAll();
    state.ResumeTiming();
  }
  // The peak of the heap during one more load, and what the dictionary keeps.
  const long long before = liveBytes;
  peakBytes = liveBytes;
  std::int32_t rc = 0;
  Check(dict_Open("big", path.c_str(), 1, &rc), rc, state);
  const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
  state.counters["peak/file"] = static_cast<double>(peakBytes - before) / fileBytes;
  state.counters["kept/file"] = static_cast<double>(liveBytes - before) / fileBytes;
  dict_CloseAll();
}

// ---------------------------------------------------------------------------
// A further level and look-ups, at 1,000 and 100,000 sections
// ---------------------------------------------------------------------------

// Opening the dictionary of n sections (100 dialogs) on a further level: its
// first re-open, which checks the catalog and the sections' prefixes again;
// closing level 2 makes the next one a first re-open too.
void BM_OpenFurtherLevel(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const std::string &path = Generated().Big(n, 100);
  std::int32_t rc = 0;
  Check(dict_Open("big", path.c_str(), 1, &rc), rc, state);
  for (auto _ : state) {
    Check(dict_Open("big", path.c_str(), 2, &rc), rc, state);
    dict_Close(2);
  }
  dict_CloseAll();
}

// Look-ups of random names among n sections and n / 10 catalog handles.
void BM_LookupByName(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const std::string &path = Generated().Big(n, n / 10);
  std::int32_t rc = 0;
  Check(dict_Open("big", path.c_str(), 1, &rc), rc, state);
  const vl::Dict &dict = *vl::FindDict("big", vl::kDictOrdinary);
  std::mt19937 random(7);
  std::vector<std::string> sections, ids, handles;
  for (int k = 0; k < 4096; ++k) {
    const int i = static_cast<int>(random() % static_cast<unsigned>(n));
    char text[64];
    std::snprintf(text, sizeof text, "H%05d.FIELD_%06d", i / 10, i);
    sections.emplace_back(text);
    std::snprintf(text, sizeof text, "d01p%05d", i / 10);
    ids.emplace_back(text);
    std::snprintf(text, sizeof text, "h%05d", i / 10);
    handles.emplace_back(text);
  }
  std::size_t k = 0;
  for (auto _ : state) {
    const std::size_t at = k++ & 4095;
    benchmark::DoNotOptimize(vl::FindSection(dict, sections[at]));
    benchmark::DoNotOptimize(vl::FindDlgID(ids[at]));
    benchmark::DoNotOptimize(vl::MapDlgHandle(handles[at]));
  }
  if (vl::FindSection(dict, sections[0]) == nullptr || vl::FindDlgID(ids[0]) == nullptr) {
    state.SkipWithError("a look-up found nothing");
  }
  dict_CloseAll();
}

// ---------------------------------------------------------------------------
// Models
// ---------------------------------------------------------------------------

void BM_InheritChain(benchmark::State &state) {
  const int links = static_cast<int>(state.range(0));
  const auto [models, dict] = Generated().Chain(links);
  std::int32_t rc = 0;
  Check(dict_OpenModel("chain", models.c_str(), &rc), rc, state);
  for (auto _ : state) {
    Check(dict_Open("uses", dict.c_str(), 1, &rc), rc, state);
    dict_Close(1);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  dict_CloseAll();
}

// Opening the 1,000-section dictionary that inherits from the oldest of m open
// model dictionaries.
void BM_InheritAmongModels(benchmark::State &state) {
  const int m = static_cast<int>(state.range(0));
  std::int32_t rc = 0;
  for (int k = 0; k < m; ++k) {
    const std::string id = "model" + std::to_string(k);
    Check(dict_OpenModel(id.c_str(), Generated().Model(k).c_str(), &rc), rc, state);
  }
  const std::string &path = Generated().UsesModel0();
  for (auto _ : state) {
    Check(dict_Open("uses", path.c_str(), 1, &rc), rc, state);
    dict_Close(1);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
  dict_CloseAll();
}

// Opening model dictionaries, per dictionary, until m are open.
void BM_OpenModels(benchmark::State &state) {
  const int m = static_cast<int>(state.range(0));
  std::vector<std::string> files, ids;
  for (int k = 0; k < m; ++k) {
    files.push_back(Generated().Model(k));
    ids.push_back("model" + std::to_string(k));
  }
  for (auto _ : state) {
    std::int32_t rc = 0;
    for (int k = 0; k < m; ++k) Check(dict_OpenModel(ids[k].c_str(), files[k].c_str(), &rc), rc, state);
    state.PauseTiming();
    dict_CloseAll();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * m);
}

// ---------------------------------------------------------------------------
// Field access, filters and updates
// ---------------------------------------------------------------------------

// A host string over a buffer of its own.
struct HostBuffer {
  explicit HostBuffer(std::size_t cap, const std::string &value = "") : bytes(std::max(cap, value.size()) + 1) {
    value.copy(bytes.data(), value.size());
    hs = HostString{static_cast<std::int32_t>(bytes.size() - 1), static_cast<std::int32_t>(value.size()), bytes.data()};
  }
  std::vector<char> bytes;
  HostString hs;
};

// An XBUF with a value for each of n fields, in the order of the dictionary or
// shuffled.
std::string ValuesXbuf(int n, bool dates, bool shuffled = false) {
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  if (shuffled) std::shuffle(order.begin(), order.end(), std::mt19937(5));
  std::string xbuf;
  char entry[64];
  for (const int i : order) {
    const std::string value = dates ? std::to_string(20065 + i % 400) : std::to_string(i) + ".25";
    std::snprintf(entry, sizeof entry, "Nfield_%06d~0~%zu~%s", i, value.size(), value.c_str());
    xbuf += entry;
  }
  return xbuf + "$";
}

// A dialog of n fields open on level 1, with an XBUF of a value for each.
struct WalkSetup {
  WalkSetup(benchmark::State &state, bool dates, bool shuffled = false)
      : n(static_cast<int>(state.range(0))), values(0, ValuesXbuf(n, dates, shuffled)) {
    dll_SetLocale("");
    std::int32_t rc = 0;
    Check(dict_Open("walk", (dates ? Generated().Dates(n) : Generated().Big(n, 1)).c_str(), 1, &rc), rc, state);
  }
  ~WalkSetup() { dict_CloseAll(); }
  // A list of every field, with their values.
  bool List() {
    std::int32_t eof = 0;
    return dict_ListFilterInit("D01P00000", "*", &eof) == 0 && dict_XbufFilterAdd("D01P00000", &values.hs) == 0;
  }
  // A walk with the format filter (dict_FilterNext through VlCall); the fields it took.
  long Walk() {
    if (dict_FilterInit("format") != 0) return 0;
    std::int32_t eof = 0;
    void *next[] = {&xdict.hs, &val.hs, &eof};
    long walked = 0;
    while (VlCall(70, next) == 0 && eof == 0) ++walked;
    return walked;
  }
  int n;
  HostBuffer values;
  HostBuffer xdict{2048};
  HostBuffer val{256};
};

// Per field: dict_ListFilterInit "*" and a full walk with the format filter (the
// values added by dict_XbufFilterAdd in between are not timed). The first walk
// of a dialog packs every field definition once; the timed walks find them packed.
void FilterWalk(benchmark::State &state, bool dates) {
  WalkSetup setup(state, dates);
  if (!setup.List() || setup.Walk() != setup.n) state.SkipWithError("the first walk failed");
  dict_FilterFree();
  for (auto _ : state) {
    std::int32_t eof = 0;
    dict_ListFilterInit("D01P00000", "*", &eof);
    state.PauseTiming();
    dict_XbufFilterAdd("D01P00000", &setup.values.hs);
    state.ResumeTiming();
    if (setup.Walk() != setup.n) state.SkipWithError("the walk did not take every field");
    state.PauseTiming();
    dict_FilterFree();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * setup.n);
}
void BM_FilterWalkNumbers(benchmark::State &state) { FilterWalk(state, false); }
void BM_FilterWalkDates(benchmark::State &state) { FilterWalk(state, true); }

// Per field: dict_XbufFilterAdd of a value for every field to the list of every
// field, which finds each field's section and variable again; the values in the
// order of the dictionary (the next section and variable are tried first), or
// shuffled (every look-up by name and by section).
void FilterAdd(benchmark::State &state, bool shuffled) {
  WalkSetup setup(state, false, shuffled);
  for (auto _ : state) {
    state.PauseTiming();
    std::int32_t eof = 0;
    dict_ListFilterInit("D01P00000", "*", &eof);
    state.ResumeTiming();
    if (dict_XbufFilterAdd("D01P00000", &setup.values.hs) != 0) state.SkipWithError("the values were not added");
    state.PauseTiming();
    dict_FilterFree();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * setup.n);
}
void BM_FilterAdd(benchmark::State &state) { FilterAdd(state, false); }
void BM_FilterAddShuffled(benchmark::State &state) { FilterAdd(state, true); }

// The formatting of one such field by the host's own call.
void BM_FmtNumVlCall(benchmark::State &state) {
  double value = 1234.25;
  std::int32_t len = 12, prec = 2;
  char flags[] = "lRbzTPg";
  HostBuffer result(256);
  void *argv[] = {&value, &len, &prec, flags, &result.hs};
  for (auto _ : state) benchmark::DoNotOptimize(VlCall(77, argv));
  state.SetItemsProcessed(state.iterations());
}

void BM_FmtDateVlCall(benchmark::State &state) {
  dll_SetLocale("");
  std::int32_t rc = 0;
  Check(dict_Open("walk", Generated().Dates(1000).c_str(), 1, &rc), rc, state);
  const vl::DictObj &field = vl::FindDict("walk", vl::kDictOrdinary)->sections->obj;
  std::int32_t value = 20065, greg = 1, len = field.length;
  std::string format = field.fieldFormat;
  HostBuffer result(256);
  void *argv[] = {&value, &greg, &len, format.data(), &result.hs};
  for (auto _ : state) benchmark::DoNotOptimize(VlCall(79, argv));
  state.SetItemsProcessed(state.iterations());
  dict_CloseAll();
}

// dict_Get of random field names, and dict_Next walking the dialog, among n
// sections of one dialog.
void BM_DictGet(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  std::int32_t rc = 0;
  Check(dict_Open("get", Generated().Big(n, 1).c_str(), 1, &rc), rc, state);
  std::mt19937 random(11);
  std::vector<std::string> names;
  for (int k = 0; k < 4096; ++k) names.push_back("FIELD_" + std::to_string(1000000 + random() % n).substr(1));
  HostBuffer xbuf(2048);
  std::size_t k = 0;
  for (auto _ : state) {
    if (dict_Get("D01P00000", names[k++ & 4095].c_str(), &xbuf.hs) != 0 || xbuf.hs.len == 0) {
      state.SkipWithError("dict_Get found nothing");
      break;
    }
  }
  dict_CloseAll();
}

void BM_DictNext(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  std::int32_t rc = 0;
  Check(dict_Open("next", Generated().Big(n, 1).c_str(), 1, &rc), rc, state);
  HostBuffer xbuf(2048);
  for (auto _ : state) benchmark::DoNotOptimize(dict_Next("D01P00000", &xbuf.hs, &rc));
  dict_CloseAll();
}

// An update that sets one item of one field, through level 2 of a dictionary
// that levels 1 and 2 share.
std::string LengthUpdate(int length) {
  const std::string value = std::to_string(length);
  return "XDict_fld~0~12~field_000000NDict_len~0~" + std::to_string(value.size()) + "~" + value + "$";
}

// The copy, per section.
void BM_UpdateShared(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const std::string &path = Generated().Big(n, 1);
  std::int32_t rc = 0;
  Check(dict_Open("shared", path.c_str(), 1, &rc), rc, state);
  Check(dict_Open("shared", path.c_str(), 2, &rc), rc, state);
  HostBuffer update(0, LengthUpdate(20));
  for (auto _ : state) {
    if (dict_Update("D02P00000", &update.hs) != 0) state.SkipWithError("the update failed");
    state.PauseTiming();
    dict_Close(2);
    Check(dict_Open("shared", path.c_str(), 2, &rc), rc, state);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
  dict_CloseAll();
}

// Updates through the level that has its copy already: in place, per call.
void BM_UpdateInPlace(benchmark::State &state) {
  const int n = static_cast<int>(state.range(0));
  const std::string &path = Generated().Big(n, 1);
  std::int32_t rc = 0;
  Check(dict_Open("shared", path.c_str(), 1, &rc), rc, state);
  Check(dict_Open("shared", path.c_str(), 2, &rc), rc, state);
  HostBuffer first(0, LengthUpdate(20));
  HostBuffer again(0, LengthUpdate(21));
  if (dict_Update("D02P00000", &first.hs) != 0) state.SkipWithError("the first update failed");
  for (auto _ : state) {
    if (dict_Update("D02P00000", &again.hs) != 0) state.SkipWithError("the update failed");
  }
  dict_CloseAll();
}

BENCHMARK(BM_IniReaderBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DictOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFurtherLevel)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LookupByName)->Arg(1000)->Arg(100000);
BENCHMARK(BM_InheritChain)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InheritAmongModels)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenModels)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FilterWalkNumbers)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterWalkDates)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAdd)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAddShuffled)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FmtNumVlCall);
BENCHMARK(BM_FmtDateVlCall);
BENCHMARK(BM_DictGet)->Arg(1000)->Arg(100000);
BENCHMARK(BM_DictNext)->Arg(1000)->Arg(100000);
BENCHMARK(BM_UpdateShared)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateInPlace)->Arg(1000)->Arg(100000);

// The console output, and each benchmark's CPU time per item (per iteration
// where it counts no items) and counters, for the ratios. CPU time, because wall
// time on a shared machine mostly measures the wait for a core.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    // With repetitions, the medians.
    for (const Run &run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string name = run.run_name.str();
      const auto items = run.counters.find("items_per_second");
      times[name] =
          items != run.counters.end() && items->second.value > 0 ? 1.0 / items->second.value : run.GetAdjustedCPUTime();
      for (const auto &[counterName, counter] : run.counters) counters[name + ":" + counterName] = counter.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  double Ratio(const std::string &a, const std::string &b) const {
    const auto x = times.find(a);
    const auto y = times.find(b);
    return x != times.end() && y != times.end() && y->second > 0 ? x->second / y->second : -1;
  }
  std::map<std::string, double> times;
  std::map<std::string, double> counters;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("ratio dict_Open (100,000 sections) / INI reader keeping every value: %.2f (goal <= 2)\n",
              reporter.Ratio("BM_DictOpen", "BM_IniReaderBaseline"));
  std::printf("heap peak while loading / file size: %.2f (goal < 10); kept after loading: %.2f\n",
              reporter.counters["BM_DictOpen:peak/file"], reporter.counters["BM_DictOpen:kept/file"]);
  std::printf("ratio dict_Open on a further level, 100,000 / 1,000 sections: %.2f (goal <= 2)\n",
              reporter.Ratio("BM_OpenFurtherLevel/100000", "BM_OpenFurtherLevel/1000"));
  std::printf("ratio look-ups by name, 100,000 / 1,000 sections: %.2f (goal <= 2)\n",
              reporter.Ratio("BM_LookupByName/100000", "BM_LookupByName/1000"));
  std::printf("ratio inheriting section, chain of 16 / chain of 1: %.2f\n",
              reporter.Ratio("BM_InheritChain/16", "BM_InheritChain/1"));
  std::printf("ratio inheriting section, 1,000 / 1 model dictionaries open: %.2f\n",
              reporter.Ratio("BM_InheritAmongModels/1000", "BM_InheritAmongModels/1"));
  std::printf("ratio opening a model dictionary, 1,000 / 10 of them: %.2f\n",
              reporter.Ratio("BM_OpenModels/1000", "BM_OpenModels/10"));
  std::printf("ratio filtered walk per field, 100,000 / 1,000 fields: numbers %.2f, dates %.2f (goal <= 2)\n",
              reporter.Ratio("BM_FilterWalkNumbers/100000", "BM_FilterWalkNumbers/1000"),
              reporter.Ratio("BM_FilterWalkDates/100000", "BM_FilterWalkDates/1000"));
  std::printf("ratio values added to a list per field, 100,000 / 1,000 fields: in order %.2f, shuffled %.2f "
              "(goal <= 2)\n",
              reporter.Ratio("BM_FilterAdd/100000", "BM_FilterAdd/1000"),
              reporter.Ratio("BM_FilterAddShuffled/100000", "BM_FilterAddShuffled/1000"));
  std::printf("ratio filtered walk per field / the field's fmt_ call through VlCall: numbers %.2f, dates %.2f "
              "(goal <= 3)\n",
              reporter.Ratio("BM_FilterWalkNumbers/100000", "BM_FmtNumVlCall"),
              reporter.Ratio("BM_FilterWalkDates/100000", "BM_FmtDateVlCall"));
  std::printf("ratio dict_Get by name, 100,000 / 1,000 sections: %.2f (goal <= 2)\n",
              reporter.Ratio("BM_DictGet/100000", "BM_DictGet/1000"));
  std::printf("ratio dict_Next, 100,000 / 1,000 sections: %.2f (goal <= 2)\n",
              reporter.Ratio("BM_DictNext/100000", "BM_DictNext/1000"));
  std::printf("ratio dict_Update copying a shared dictionary, per section, 100,000 / 1,000 sections: %.2f "
              "(goal <= 2: linear)\n",
              reporter.Ratio("BM_UpdateShared/100000", "BM_UpdateShared/1000"));
  std::printf("ratio dict_Update in place (the second through a level), per call, 100,000 / 1,000 sections: %.2f "
              "(no copy: about 1)\n",
              reporter.Ratio("BM_UpdateInPlace/100000", "BM_UpdateInPlace/1000"));
  benchmark::Shutdown();
  return 0;
}
