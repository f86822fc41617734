// The inkstrip benchmark: in one run, times inkstrip against three baselines
// on the same generated printer-style text (cat; an fgets/fputs copy loop with
// a 1024-byte buffer; col -b) and measures peak memory, then filters one very
// long line to check that the line buffer grows only as far as the line needs.
//
//   inkstrip_bench --inkstrip BIN --fgets BIN --gen BIN --dir DIR
//                  [--reps N] [--megabytes M] [--seed S] [--line-megabytes L]
//
// Every program writes to /dev/null; its time is the best wall-clock time of N
// runs (the runs of the four alternate), its peak resident set size comes from
// wait4. Inputs are generated into DIR once and reused.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../child.h"

namespace {

using vlbench::FileSize;
using vlbench::RunChild;
using vlbench::Verdict;

struct Options {
  std::string inkstrip, fgets, gen, dir;
  int reps = 3;
  unsigned long megabytes = 200, seed = 1, lineMegabytes = 300;
};

struct Command {
  std::string label;
  std::vector<std::string> argv;
  std::string stdinPath;  // empty: /dev/null
};

struct Measure {
  double seconds = 0;  // best wall-clock time
  long peakKb = 0;     // largest peak resident set size
  int status = 0;      // last wait status
};

bool Exists(const std::string &path) { return FileSize(path) >= 0; }

// Runs one command with standard output and error on /dev/null.
bool RunOnce(const Command &cmd, double *seconds, long *peakKb, int *status) {
  return RunChild(cmd.argv, cmd.stdinPath, seconds, peakKb, status);
}

// Generates `path` with the generator's arguments unless it is there already.
bool Generate(const Options &opt, const std::string &path, const std::vector<std::string> &genArgs) {
  if (Exists(path)) return true;
  std::printf("generating %s ...\n", path.c_str());
  std::fflush(stdout);
  const std::string partial = path + ".part";
  Command gen{"gen", {opt.gen}, ""};
  for (const std::string &a : genArgs) gen.argv.push_back(a == "@" ? partial : a);
  double seconds = 0;
  long peakKb = 0;
  int status = 0;
  if (!RunOnce(gen, &seconds, &peakKb, &status) || status != 0) return false;
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

bool ParseOptions(int argc, char **argv, Options *opt) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--inkstrip") opt->inkstrip = value;
    else if (name == "--fgets") opt->fgets = value;
    else if (name == "--gen") opt->gen = value;
    else if (name == "--dir") opt->dir = value;
    else if (name == "--reps") opt->reps = std::atoi(value.c_str());
    else if (name == "--megabytes") opt->megabytes = std::strtoul(value.c_str(), nullptr, 10);
    else if (name == "--seed") opt->seed = std::strtoul(value.c_str(), nullptr, 10);
    else if (name == "--line-megabytes") opt->lineMegabytes = std::strtoul(value.c_str(), nullptr, 10);
    else return false;
  }
  return argc % 2 == 1 && !opt->inkstrip.empty() && !opt->fgets.empty() && !opt->gen.empty() &&
         !opt->dir.empty() && opt->reps > 0 && opt->megabytes > 0;
}

}  // namespace

int main(int argc, char **argv) {
  Options opt;
  if (!ParseOptions(argc, argv, &opt)) {
    std::fprintf(stderr,
                 "usage: inkstrip_bench --inkstrip BIN --fgets BIN --gen BIN --dir DIR\n"
                 "                      [--reps N] [--megabytes M] [--seed S] [--line-megabytes L]\n");
    return 2;
  }
  mkdir(opt.dir.c_str(), 0777);
  const std::string text = opt.dir + "/print-" + std::to_string(opt.megabytes) + "M-s" + std::to_string(opt.seed) + ".txt";
  const std::string line = opt.dir + "/one-line-" + std::to_string(opt.lineMegabytes) + "M.txt";
  if (!Generate(opt, text, {"@", std::to_string(opt.megabytes), std::to_string(opt.seed)}) ||
      (opt.lineMegabytes > 0 && !Generate(opt, line, {"--one-line", "@", std::to_string(opt.lineMegabytes)}))) {
    std::fprintf(stderr, "inkstrip_bench: cannot generate the input in %s\n", opt.dir.c_str());
    return 1;
  }

  const std::vector<Command> commands = {
      {"cat", {"cat", text}, ""},
      {"fgets/fputs", {opt.fgets, text}, ""},
      {"inkstrip", {opt.inkstrip, text}, ""},
      {"col -b", {"col", "-b"}, text},
  };
  std::vector<Measure> results(commands.size());
  for (int rep = 0; rep < opt.reps; ++rep) {
    for (std::size_t i = 0; i < commands.size(); ++i) {
      double seconds = 0;
      long peakKb = 0;
      if (!RunOnce(commands[i], &seconds, &peakKb, &results[i].status)) {
        std::fprintf(stderr, "inkstrip_bench: cannot run %s\n", commands[i].label.c_str());
        return 1;
      }
      if (rep == 0 || seconds < results[i].seconds) results[i].seconds = seconds;
      if (peakKb > results[i].peakKb) results[i].peakKb = peakKb;
    }
  }
  // The baseline of inkstrip's memory: the same program on an empty input.
  Measure empty;
  double seconds = 0;
  if (!RunOnce({"empty", {opt.inkstrip, "/dev/null"}, ""}, &seconds, &empty.peakKb, &empty.status)) return 1;

  const double mb = static_cast<double>(opt.megabytes);
  std::printf("\ninkstrip benchmark: %lu MB of printer-style text (seed %lu), best of %d runs\n", opt.megabytes,
              opt.seed, opt.reps);
  std::printf("  %-12s %10s %10s %14s  %s\n", "program", "seconds", "MB/s", "peak RSS KB", "exit");
  for (std::size_t i = 0; i < commands.size(); ++i) {
    const Measure &m = results[i];
    const int exitCode = WIFEXITED(m.status) ? WEXITSTATUS(m.status) : -1;
    std::printf("  %-12s %10.3f %10.1f %14ld  %d%s\n", commands[i].label.c_str(), m.seconds, mb / m.seconds, m.peakKb,
                exitCode, exitCode == 127 ? " (not found)" : "");
  }
  const Measure &cat = results[0], &fgets = results[1], &ink = results[2], &col = results[3];
  const double vsFgets = ink.seconds / fgets.seconds, vsCol = col.seconds / ink.seconds;
  const long beyondKb = ink.peakKb - empty.peakKb;
  std::printf("\nratios (in this run)\n");
  std::printf("  inkstrip time / cat time                %8.2f\n", ink.seconds / cat.seconds);
  std::printf("  inkstrip time / fgets-fputs time        %8.2f   goal: at most 2      %s\n", vsFgets,
              Verdict(vsFgets <= 2.0));
  std::printf("  inkstrip throughput / col -b throughput %8.1f   goal: at least 30    %s\n", vsCol,
              Verdict(vsCol >= 30.0));
  std::printf("memory\n");
  std::printf("  inkstrip on an empty input              %8ld KB\n", empty.peakKb);
  std::printf("  inkstrip peak beyond that               %8ld KB   goal: under 1024 KB %s\n", beyondKb,
              Verdict(beyondKb < 1024));

  if (opt.lineMegabytes > 0) {
    Measure one;
    if (!RunOnce({"one line", {opt.inkstrip, line}, ""}, &one.seconds, &one.peakKb, &one.status)) return 1;
    // The line's text takes offsets 0 to len - 1, its line feed len and the NUL
    // len + 1; the buffer ends at the next multiple of 1024 above that.
    const unsigned long long len = opt.lineMegabytes * 1000000ULL;
    const unsigned long long bufferKb = ((len + 1) / 1024 + 1);
    const long long growthKb = one.peakKb - empty.peakKb;
    const long long offKb = growthKb - static_cast<long long>(bufferKb);
    std::printf("one line of %lu MB\n", opt.lineMegabytes);
    std::printf("  seconds %.3f, exit %d\n", one.seconds, WIFEXITED(one.status) ? WEXITSTATUS(one.status) : -1);
    std::printf("  peak beyond the empty run               %8lld KB\n", growthKb);
    std::printf("  line buffer by the growth rule          %8llu KB   difference %lld KB (goal: under 1024) %s\n",
                bufferKb, offKb, Verdict(offKb > -1024 && offKb < 1024));
  }
  return 0;
}
