// The panelxlate benchmark: in one run, converts generated IDM scripts of
// 5,000 and 50,000 objects (ten attributes each) and runs the scanner alone
// over the larger one, then compares
//   - the time per object at 50,000 with that at 5,000 (goal: at most 2),
//   - the whole conversion with the scanner alone (goal: at most 5),
//   - the converter's peak memory with the size of its input (goal: under 10).
//
//   panelxlate_bench --panelxlate BIN --scan BIN --gen BIN --dir DIR
//                    [--reps N] [--small N] [--large N]
//
// Every program writes to /dev/null; its time is the best wall-clock time of N
// runs (the runs alternate), its peak resident set size comes from wait4.
// Inputs are generated into DIR once and reused.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../child.h"

namespace {

using vlbench::ExitCode;
using vlbench::FileSize;
using vlbench::RunChild;
using vlbench::Verdict;

struct Options {
  std::string panelxlate, scan, gen, dir;
  int reps = 5;
  unsigned long small = 5000, large = 50000;
};

struct Measure {
  double seconds = 0;  // best wall-clock time
  long peakKb = 0;     // largest peak resident set size
  int status = 0;      // last wait status
};

// Generates the script of `objects` objects unless it is there already.
bool Generate(const Options &opt, const std::string &path, unsigned long objects) {
  if (FileSize(path) >= 0) return true;
  std::printf("generating %s ...\n", path.c_str());
  std::fflush(stdout);
  const std::string partial = path + ".part";
  double seconds = 0;
  long peakKb = 0;
  int status = 0;
  if (!RunChild({opt.gen, partial, std::to_string(objects)}, "", &seconds, &peakKb, &status) || status != 0) return false;
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

bool ParseOptions(int argc, char **argv, Options *opt) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--panelxlate") opt->panelxlate = value;
    else if (name == "--scan") opt->scan = value;
    else if (name == "--gen") opt->gen = value;
    else if (name == "--dir") opt->dir = value;
    else if (name == "--reps") opt->reps = std::atoi(value.c_str());
    else if (name == "--small") opt->small = std::strtoul(value.c_str(), nullptr, 10);
    else if (name == "--large") opt->large = std::strtoul(value.c_str(), nullptr, 10);
    else return false;
  }
  return argc % 2 == 1 && !opt->panelxlate.empty() && !opt->scan.empty() && !opt->gen.empty() &&
         !opt->dir.empty() && opt->reps > 0 && opt->small > 0 && opt->large > 0;
}

}  // namespace

int main(int argc, char **argv) {
  Options opt;
  if (!ParseOptions(argc, argv, &opt)) {
    std::fprintf(stderr,
                 "usage: panelxlate_bench --panelxlate BIN --scan BIN --gen BIN --dir DIR\n"
                 "                        [--reps N] [--small N] [--large N]\n");
    return 2;
  }
  mkdir(opt.dir.c_str(), 0777);
  const std::string small = opt.dir + "/objects-" + std::to_string(opt.small) + ".idm";
  const std::string large = opt.dir + "/objects-" + std::to_string(opt.large) + ".idm";
  const std::string empty = opt.dir + "/empty.idm";
  if (!Generate(opt, small, opt.small) || !Generate(opt, large, opt.large) || !Generate(opt, empty, 0)) {
    std::fprintf(stderr, "panelxlate_bench: cannot generate the input in %s\n", opt.dir.c_str());
    return 1;
  }

  struct Command {
    const char *label;
    std::vector<std::string> argv;
  };
  const std::vector<Command> commands = {
      {"scanner alone, large", {opt.scan, large}},
      {"panelxlate, small", {opt.panelxlate, "-q", "-o", "/dev/null", small}},
      {"panelxlate, large", {opt.panelxlate, "-q", "-o", "/dev/null", large}},
      {"panelxlate, empty", {opt.panelxlate, "-q", "-o", "/dev/null", empty}},
  };
  std::vector<Measure> results(commands.size());
  for (int rep = 0; rep < opt.reps; ++rep) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      double seconds = 0;
      long peakKb = 0;
      if (!RunChild(commands[i].argv, "", &seconds, &peakKb, &results[i].status)) {
        std::fprintf(stderr, "panelxlate_bench: cannot run %s\n", commands[i].label);
        return 1;
      }
      if (rep == 0 || seconds < results[i].seconds) results[i].seconds = seconds;
      if (peakKb > results[i].peakKb) results[i].peakKb = peakKb;
    }
  }

  std::printf("\npanelxlate benchmark: generated scripts, ten attributes per object, best of %d runs\n", opt.reps);
  std::printf("  %-24s %10s %14s %14s  %s\n", "program", "seconds", "input bytes", "peak RSS KB", "exit");
  const long long sizes[] = {FileSize(large), FileSize(small), FileSize(large), FileSize(empty)};
  for (std::size_t i = 0; i < commands.size(); ++i) {
    std::printf("  %-24s %10.4f %14lld %14ld  %d\n", commands[i].label, results[i].seconds, sizes[i],
                results[i].peakKb, ExitCode(results[i].status));
  }
  const Measure &scan = results[0], &smallRun = results[1], &largeRun = results[2], &emptyRun = results[3];
  const double perSmall = smallRun.seconds / static_cast<double>(opt.small);
  const double perLarge = largeRun.seconds / static_cast<double>(opt.large);
  const double growth = perLarge / perSmall;
  const double vsScan = largeRun.seconds / scan.seconds;
  const double memory = static_cast<double>(largeRun.peakKb) * 1024.0 / static_cast<double>(FileSize(large));
  const double memoryBeyond =
      static_cast<double>(largeRun.peakKb - emptyRun.peakKb) * 1024.0 / static_cast<double>(FileSize(large));
  std::printf("\nratios (in this run)\n");
  std::printf("  time per object at %lu / at %lu       %8.2f   goal: at most 2     %s\n", opt.large, opt.small, growth,
              Verdict(growth <= 2.0));
  std::printf("  conversion time / scanner alone         %8.2f   goal: at most 5     %s\n", vsScan,
              Verdict(vsScan <= 5.0));
  std::printf("  peak memory / input size                %8.2f   goal: under 10      %s\n", memory,
              Verdict(memory < 10.0));
  std::printf("  (beyond the run on an empty script      %8.2f)\n", memoryBeyond);
  return 0;
}
