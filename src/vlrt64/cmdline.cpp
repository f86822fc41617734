// util's command line in the stand-in host: see cmdline.h.
#include "cmdline.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <new>

#ifndef VL_VERSION
#error "VL_VERSION (the suite's version) must be defined by the build"
#endif

namespace vlrt {
namespace {

constexpr char kProgram[] = "util";

constexpr char kUsage[] = "Usage: util [SCRIPT | -]\n"
                          "       util --list [NAME]\n"
                          "       util --help | --version\n";

constexpr char kHelp[] =
    "Runs host calls, one a line, from SCRIPT (standard input when it is missing\n"
    "or '-') through the module, and prints each call's result and out-arguments.\n"
    "\n"
    "  --list [NAME]  list the module's functions with their arguments: the one\n"
    "                 called NAME, or those whose names begin with NAME\n"
    "  --help         show this text\n"
    "  --version      show the version\n"
    "  --             end of options: the next word is the script\n"
    "\n"
    "Script lines:\n"
    "  # comment             also after a call; blank lines are skipped\n"
    "  echo \"text\"           prints the text\n"
    "  name(arg, ...)        calls host function name, arguments in --list order\n"
    "Arguments, by kind:\n"
    "  integer in    42, -7, 0x1F or $name\n"
    "  integer out   _ (starts as 0), or an integer as its starting value\n"
    "  real in       3.25, -1e300, nan, inf or $name\n"
    "  real out      _ (starts as 0), or a real as its starting value\n"
    "  text in       \"text\" (escapes \\n \\t \\r \\0 \\\\ \\\" \\xHH) or $name\n"
    "  host string   \"text\", _ (empty) or $name, optionally :capacity (1024)\n"
    "Texts and $names written one after another are joined: $script_dir \"/a.ini\".\n"
    "$name is the last value of an out-argument called name; $script_dir is the\n"
    "script's folder; $tmp_dir is a scratch folder removed when the script ends.\n"
    "\n"
    "Exit status: 0 every line was read, 1 some line could not be read,\n"
    "2 the script cannot be opened, the command line is wrong or memory ran out,\n"
    "3 standard output could not be written.\n"
    "See util(1) for more.\n";

int UsageError(std::FILE *err, const std::string &message) {
  std::fprintf(err, "%s: %s\nTry '%s --help' for more information.\n", kProgram, message.c_str(), kProgram);
  return 2;
}

bool HaveModule(const Module *module, std::FILE *err) {
  if (module != nullptr) return true;
  std::fprintf(err, "%s: the module does not export VlCall, VlFuncList and VlArgList\n", kProgram);
  return false;
}

int RunScriptFile(const Module &module, const std::string &script, std::FILE *out, std::FILE *err) {
  std::error_code ec;
  if (std::filesystem::is_directory(script, ec)) {
    std::fprintf(err, "%s: cannot open script '%s': %s\n", kProgram, script.c_str(), std::strerror(EISDIR));
    return 2;
  }
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    if (errno == ENOMEM) throw std::bad_alloc();  // no missing script: "not enough memory"
    std::fprintf(err, "%s: cannot open script '%s': %s\n", kProgram, script.c_str(), std::strerror(errno));
    return 2;
  }
  const std::filesystem::path parent = std::filesystem::path(script).parent_path();
  const std::string dir = parent.empty() ? std::string(".") : parent.string();
  return RunScript(module, in, script, out, err, dir) == 0 ? 0 : 1;
}

}  // namespace

std::vector<std::string> CommandWords(const std::vector<std::string> &processArgs, std::string_view cmdline) {
  for (std::size_t first = 1; first <= processArgs.size(); ++first) {
    std::string joined;
    for (std::size_t i = first; i < processArgs.size(); ++i) {
      if (i > first) joined += ' ';
      joined += processArgs[i];
    }
    if (joined == cmdline) return {processArgs.begin() + static_cast<std::ptrdiff_t>(first), processArgs.end()};
  }
  std::vector<std::string> words;
  std::size_t pos = 0;
  while ((pos = cmdline.find_first_not_of(' ', pos)) != std::string_view::npos) {
    const std::size_t end = std::min(cmdline.find(' ', pos), cmdline.size());
    words.emplace_back(cmdline.substr(pos, end - pos));
    pos = end;
  }
  return words;
}

std::vector<std::string> ProcessArguments() {
  errno = 0;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  // Without memory for the stream the words would be split at blanks instead.
  if (!in && errno == ENOMEM) throw std::bad_alloc();
  const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::string> args;
  std::size_t start = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] != '\0') continue;
    args.push_back(all.substr(start, i - start));
    start = i + 1;
  }
  return args;
}

namespace {

int Run(const Module *module, const std::vector<std::string> &words, std::FILE *out, std::FILE *err) {
  // The first word says what to do; words beyond those it takes are a mistake.
  const auto extra = [&](std::size_t taken) {
    if (words.size() <= taken) return false;
    UsageError(err, "unexpected argument '" + words[taken] + "'");
    return true;
  };
  const std::string first = words.empty() ? "" : words[0];
  if (first == "--help") {
    if (extra(1)) return 2;
    std::fputs(kUsage, out);
    std::fputs(kHelp, out);
    return 0;
  }
  if (first == "--version") {
    if (extra(1)) return 2;
    std::fprintf(out, "%s (vlsuite) %s\n", kProgram, VL_VERSION);
    return 0;
  }
  if (first == "--list") {
    if (extra(2) || !HaveModule(module, err)) return 2;
    const std::string name = words.size() > 1 ? words[1] : "";
    if (ListFunctions(*module, name, out) > 0) return 0;
    std::fprintf(err, "%s: no function is called '%s' or has a name beginning with it\n", kProgram, name.c_str());
    return 2;
  }
  std::size_t script = 0;  // where the script's name is
  if (first == "--") {
    script = 1;
  } else if (first.size() > 1 && first[0] == '-') {
    return UsageError(err, "unknown option '" + first + "'");
  }
  if (extra(script + 1) || !HaveModule(module, err)) return 2;
  if (words.size() <= script || words[script] == "-") {
    return RunScript(*module, std::cin, "<stdin>", out, err) == 0 ? 0 : 1;
  }
  return RunScriptFile(*module, words[script], out, err);
}

}  // namespace

int RunCommandLine(const Module *module, const std::vector<std::string> &words, std::FILE *out, std::FILE *err) {
  const int rc = Run(module, words, out, err);
  // Output that did not reach standard output makes a run that did its work fail.
  if (!FlushOutput(out, err) && rc < 2) return 3;
  return rc;
}

}  // namespace vlrt
