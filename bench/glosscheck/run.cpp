// The glosscheck benchmark: in one run, checks generated dictionaries with
// their DLG files at 10,000 and 100,000 sections and dialog objects, and runs
// the two parts of the check alone on the larger input (the dictionary loaded
// by the checker's loader; the DLG files read without checks), then compares
//   - the whole run with the two parts alone (goal: at most 3),
//   - the time per object at 100,000 with that at 10,000 (goal: at most 2),
//   - glosscheck's peak memory with the size of its input (goal: under 10).
//
//   glosscheck_bench --glosscheck BIN --parts BIN --gen BIN --dir DIR
//                    [--reps N] [--small N] [--large N]
//
// Every program writes to /dev/null; its time is the best wall-clock time of N
// runs (the runs alternate), its peak resident set size comes from wait4.
// Inputs are generated into DIR/<N>/ once and reused.
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

constexpr int kDlgFiles = 10;  // DLG files the generator writes

struct Options {
  std::string glosscheck, parts, gen, dir;
  int reps = 5;
  unsigned long small = 10000, large = 100000;
};

std::string Folder(const Options &opt, unsigned long n) { return opt.dir + "/" + std::to_string(n); }

std::vector<std::string> DlgFiles(const Options &opt, unsigned long n) {
  std::vector<std::string> files;
  for (int i = 0; i < kDlgFiles; ++i) files.push_back(Folder(opt, n) + "/dialogs-" + std::to_string(i) + ".dlg");
  return files;
}

// The dictionary and the DLG files together.
long long InputSize(const Options &opt, unsigned long n) {
  long long total = FileSize(Folder(opt, n) + "/dict.dic");
  for (const std::string &f : DlgFiles(opt, n)) total += FileSize(f);
  return total;
}

// Generates the input of `n` sections and objects unless it is there already.
bool Generate(const Options &opt, unsigned long n) {
  const std::string folder = Folder(opt, n);
  if (FileSize(DlgFiles(opt, n).back()) >= 0) return true;
  std::printf("generating %s ...\n", folder.c_str());
  std::fflush(stdout);
  mkdir(folder.c_str(), 0777);
  double seconds = 0;
  long peakKb = 0;
  int status = 0;
  return RunChild({opt.gen, folder, std::to_string(n)}, "", &seconds, &peakKb, &status) && status == 0;
}

// glosscheck -q -d <each DLG file> <dictionary>
std::vector<std::string> CheckCommand(const Options &opt, unsigned long n) {
  std::vector<std::string> argv = {opt.glosscheck, "-q"};
  for (const std::string &f : DlgFiles(opt, n)) {
    argv.push_back("-d");
    argv.push_back(f);
  }
  argv.push_back(Folder(opt, n) + "/dict.dic");
  return argv;
}

bool ParseOptions(int argc, char **argv, Options *opt) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--glosscheck") opt->glosscheck = value;
    else if (name == "--parts") opt->parts = value;
    else if (name == "--gen") opt->gen = value;
    else if (name == "--dir") opt->dir = value;
    else if (name == "--reps") opt->reps = std::atoi(value.c_str());
    else if (name == "--small") opt->small = std::strtoul(value.c_str(), nullptr, 10);
    else if (name == "--large") opt->large = std::strtoul(value.c_str(), nullptr, 10);
    else return false;
  }
  return argc % 2 == 1 && !opt->glosscheck.empty() && !opt->parts.empty() && !opt->gen.empty() &&
         !opt->dir.empty() && opt->reps > 0 && opt->small >= 10 && opt->large >= 10;
}

}  // namespace

int main(int argc, char **argv) {
  Options opt;
  if (!ParseOptions(argc, argv, &opt)) {
    std::fprintf(stderr,
                 "usage: glosscheck_bench --glosscheck BIN --parts BIN --gen BIN --dir DIR\n"
                 "                        [--reps N] [--small N] [--large N]\n");
    return 2;
  }
  mkdir(opt.dir.c_str(), 0777);
  if (!Generate(opt, opt.small) || !Generate(opt, opt.large)) {
    std::fprintf(stderr, "glosscheck_bench: cannot generate the input in %s\n", opt.dir.c_str());
    return 1;
  }

  struct Command {
    const char *label;
    std::vector<std::string> argv;
    long long inputBytes;
  };
  std::vector<std::string> readDlg = {opt.parts, "dlg"};
  for (const std::string &f : DlgFiles(opt, opt.large)) readDlg.push_back(f);
  const std::string largeDict = Folder(opt, opt.large) + "/dict.dic";
  const std::vector<Command> commands = {
      {"dictionary alone, large", {opt.parts, "dict", largeDict}, FileSize(largeDict)},
      {"DLG files alone, large", readDlg, InputSize(opt, opt.large) - FileSize(largeDict)},
      {"glosscheck, small", CheckCommand(opt, opt.small), InputSize(opt, opt.small)},
      {"glosscheck, large", CheckCommand(opt, opt.large), InputSize(opt, opt.large)},
  };
  struct Measure {
    double seconds = 0;
    long peakKb = 0;
    int status = 0;
  };
  std::vector<Measure> results(commands.size());
  for (int rep = 0; rep < opt.reps; ++rep) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      double seconds = 0;
      long peakKb = 0;
      if (!RunChild(commands[i].argv, "", &seconds, &peakKb, &results[i].status)) {
        std::fprintf(stderr, "glosscheck_bench: cannot run %s\n", commands[i].label);
        return 1;
      }
      if (rep == 0 || seconds < results[i].seconds) results[i].seconds = seconds;
      if (peakKb > results[i].peakKb) results[i].peakKb = peakKb;
    }
  }

  std::printf("\nglosscheck benchmark: generated dictionaries and DLG files, %lu and %lu sections and objects, "
              "best of %d runs\n",
              opt.small, opt.large, opt.reps);
  std::printf("  %-26s %10s %14s %14s  %s\n", "program", "seconds", "input bytes", "peak RSS KB", "exit");
  for (std::size_t i = 0; i < commands.size(); ++i) {
    std::printf("  %-26s %10.4f %14lld %14ld  %d\n", commands[i].label, results[i].seconds, commands[i].inputBytes,
                results[i].peakKb, ExitCode(results[i].status));
  }
  const Measure &dict = results[0], &dlg = results[1], &smallRun = results[2], &largeRun = results[3];
  const double vsParts = largeRun.seconds / (dict.seconds + dlg.seconds);
  const double growth = (largeRun.seconds / static_cast<double>(opt.large)) /
                        (smallRun.seconds / static_cast<double>(opt.small));
  const double memory = static_cast<double>(largeRun.peakKb) * 1024.0 / static_cast<double>(commands[3].inputBytes);
  const double dictMemory = static_cast<double>(dict.peakKb) * 1024.0 / static_cast<double>(commands[0].inputBytes);
  std::printf("\nratios (in this run)\n");
  std::printf("  whole run / (dictionary alone + DLG files alone)  %8.2f   goal: at most 3   %s\n", vsParts,
              Verdict(vsParts <= 3.0));
  std::printf("  time per object at %lu / at %lu             %8.2f   goal: at most 2   %s\n", opt.large, opt.small,
              growth, Verdict(growth <= 2.0));
  std::printf("  peak memory / input size                          %8.2f   goal: under 10    %s\n", memory,
              Verdict(memory < 10.0));
  std::printf("  (the dictionary alone / its size                  %8.2f)\n", dictMemory);
  return 0;
}
