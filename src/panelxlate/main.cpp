// panelxlate [options] idmfile: converts an IDM dialog script into a DLG dialog
// file. The run: options, banner, configuration files, the script with its
// modules, the output (header files, then the objects).
//
// Exit codes: 0 success; 1 syntax error (script, class name, text value,
// "!inherit" item, configuration line, -d definition); 2 a configuration, IDM,
// output or header file cannot be opened, a token or an input file too large
// for its buffer; 3 runtime error (memory, module
// files, unknown model or class number, the output cannot be written); 4
// command-line error (also -? and a missing or extra IDM file argument).
//
// The output is built in memory and written only when it is complete. A named
// output file is written into a temporary file beside it, which is renamed to
// the name only when everything was written, so that a failed run leaves an
// existing file as it was and no partial file behind. An output that is not a
// regular file (a device such as /dev/full, a pipe) is written directly.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cfgvar.h"
#include "idmscan.h"
#include "msg.h"
#include "panelxlate.h"
#include "symbol.h"

namespace panelxlate {
namespace {

constexpr char kNotice[] = "Converts IDM dialog scripts into DLG dialog files; -q omits this banner.";
constexpr char kBanner[] = "\n%s %s - .idm to .dlg file conversion utility\n";
constexpr char kCommandLineError[] = "%s: command line error, argument '%c%c'\n";
constexpr char kNameTooLong[] = "%s: command line error, output file name longer than %d characters\n";
constexpr char kOpenFailed[] = "unable to open file\n";
constexpr char kWriteFailed[] = "unable to write file '%s': %s\n";
constexpr char kStandardOutput[] = "(Standard Output)";
constexpr std::size_t kOutputNameMax = 4095;  // characters of an output file name

constexpr const char *kUsage[] = {
    "\n",
    "options:\n",
    "  -c configfile    include configuration file\n",
    "  -d symbol=value  define symbol, e.g. -d IDMLIB=dir1:dir2:...\n",
    "  -h headerfile    include header file into output\n",
    "  -o outputfile    write output to file (default is stdout)\n",
    "  -q               omit copyright banner\n",
    "  - idmfile        (use if idmfile name begins with '-')\n",
    "\n",
    "program exit code:\n",
    "  0 = success\n",
    "  1 = syntax error\n",
    "  2 = error on file open\n",
    "  3 = runtime error (heap overflow...)\n",
    "  4 = commandline syntax error\n",
    "\n",
};

struct Settings {
  std::vector<std::string> configs;  // -c, in order
  std::vector<std::string> headers;  // -h, in order
  std::string output;                // -o; empty: standard output
  bool quiet = false;                // -q
};

void PrintBanner() {
  std::fprintf(stderr, kBanner, kProgramName, kVersion);
  std::fprintf(stderr, "%s\n", kNotice);
}

void PrintUsage() {
  PrintBanner();
  std::fprintf(stderr, "\nusage: %s [options] idmfile\n", kProgramName);
  for (const char *row : kUsage) std::fputs(row, stderr);
}

int CommandLineError(char letter) {
  std::fprintf(stderr, kCommandLineError, kProgramName, '-', letter);
  return kExitCommand;
}

int AddFile(std::vector<std::string> &list, const std::string &name) {
  try {
    CheckAlloc("AddFile");
    list.push_back(name);
  } catch (const std::bad_alloc &) {
    msg_print('C', 1, "AddFile(%s) failed: heap overflow", name.c_str());
    return kExitRuntime;
  }
  return kExitOk;
}

// Processes and removes the options among `args`; the other arguments stay in
// order. Returns 0 or the status that ends the run.
int ProcessOptions(std::vector<std::string> &args, Settings &settings) {
  std::size_t i = 0;
  while (i < args.size()) {
    std::string &arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      if (arg == "-") args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));  // the next one is no option
      ++i;
      continue;
    }
    if (arg[1] == '-') {  // "--name" is the argument "-name"
      arg.erase(0, 1);
      ++i;
      continue;
    }
    const char letter = arg[1];
    const char lower = letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter + 32) : letter;
    std::string_view rest = std::string_view(arg).substr(2);
    std::size_t used = 1;
    if (lower == '?' || lower == 'q') {
      if (!rest.empty()) return CommandLineError(letter);
      if (lower == '?') {
        PrintUsage();
        return kExitCommand;
      }
      settings.quiet = true;
    } else if (lower == 'c' || lower == 'd' || lower == 'h' || lower == 'o') {
      if (!rest.empty() && (rest.front() == ':' || rest.front() == '=')) rest.remove_prefix(1);
      std::string value;
      if (!rest.empty()) {
        value = rest;
      } else if (i + 1 < args.size()) {
        value = args[i + 1];
        used = 2;
      } else {
        return CommandLineError(letter);
      }
      int rc = kExitOk;
      if (lower == 'c') {
        rc = AddFile(settings.configs, value);
      } else if (lower == 'h') {
        rc = AddFile(settings.headers, value);
      } else if (lower == 'd') {
        rc = SymbolAdd(value) == 0 ? kExitOk : kExitSyntax;
      } else if (value.size() > kOutputNameMax) {
        std::fprintf(stderr, kNameTooLong, kProgramName, static_cast<int>(kOutputNameMax));
        rc = kExitCommand;
      } else {
        settings.output = value;
      }
      if (rc != kExitOk) return rc;
    } else {
      return CommandLineError(letter);
    }
    const auto first = args.begin() + static_cast<std::ptrdiff_t>(i);
    args.erase(first, first + static_cast<std::ptrdiff_t>(used));
  }
  return kExitOk;
}

// Writes all of `text` to a descriptor; false with errno set when it cannot.
bool WriteAll(int fd, const std::string &text) {
  const char *p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = write(fd, p, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    p += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// The named output file: a temporary file beside the target, renamed to it
// by Commit; removed when the run ends without Commit.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile &) = delete;
  OutputFile &operator=(const OutputFile &) = delete;
  ~OutputFile() {
    if (fd_ >= 0) close(fd_);
    if (!temp_.empty()) unlink(temp_.c_str());
  }

  // Creates the file (or its temporary file); false when it cannot.
  bool Open(const std::string &name) {
    std::string target = name;
    struct stat st {};
    if (lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      // Replace the file the link leads to, not the link.
      char *real = realpath(name.c_str(), nullptr);
      // Without memory to resolve it the link would be replaced by a file.
      if (real == nullptr && errno == ENOMEM) throw std::bad_alloc();
      if (real != nullptr) {
        const std::unique_ptr<char, decltype(&std::free)> owned(real, &std::free);
        target = real;
      }
    }
    bool direct = false;
    mode_t mode = 0;
    if (stat(target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return false;
      if (!S_ISREG(st.st_mode)) {
        direct = true;
      } else {
        if (access(target.c_str(), W_OK) != 0) return false;
        mode = st.st_mode & 07777;
      }
    } else if (lstat(target.c_str(), &st) == 0) {
      direct = true;  // a link that leads nowhere: open creates what it names
    } else {
      const mode_t mask = umask(0);
      umask(mask);
      mode = 0666 & ~mask;
    }
    if (direct) {
      fd_ = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
      return fd_ >= 0;
    }
    const std::size_t slash = target.rfind('/');
    std::string temp = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    temp += ".panelxlate-XXXXXX";
    fd_ = mkostemp(temp.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    temp_ = std::move(temp);  // allocates nothing: the file is removed whatever comes
    target_ = target;
    if (fchmod(fd_, mode) != 0) return false;
    return true;
  }

  bool Write(const std::string &text) { return WriteAll(fd_, text); }

  // Closes the file and puts it in place; false with errno set when it cannot.
  bool Commit() {
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) return false;
    if (temp_.empty()) return true;
    if (rename(temp_.c_str(), target_.c_str()) != 0) return false;
    temp_.clear();
    return true;
  }

 private:
  int fd_ = -1;
  std::string temp_;    // the temporary file while it is not renamed
  std::string target_;  // the file it becomes
};

int Run(int argc, char **argv) {
  msg_setlevels(1);
  Settings settings;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (const int rc = ProcessOptions(args, settings); rc != kExitOk) return rc;
  if (args.size() != 1) {
    PrintUsage();
    return kExitCommand;
  }
  SetProgress(!settings.quiet);
  if (!settings.quiet) PrintBanner();
  std::setlocale(LC_TIME, "");  // the date of header files follows the user's locale

  for (const std::string &config : settings.configs) {
    const std::string mapped = SymbolFindFile(config);
    Progress("including configuration file: '%s'\n", mapped.c_str());
    if (const int rc = CfgRead(mapped); rc != kExitOk) return rc;
  }

  const std::string idmFile = SymbolFindFile(args[0]);
  Progress("reading idmfile: '%s'\n", idmFile.c_str());
  std::string script;
  if (!ReadInputFile(idmFile, &script)) {
    std::fputs(kOpenFailed, stderr);
    return kExitOpen;
  }
  LexPushFile(std::move(script), kIdmFile, idmFile);

  OutputFile file;
  if (!settings.output.empty()) {
    Progress("writing output file: '%s'\n", settings.output.c_str());
    if (!file.Open(settings.output)) {
      std::fputs(kOpenFailed, stderr);
      return kExitOpen;
    }
  }
  std::string text;
  if (CopyHeaders(text, settings.headers, settings.output, std::time(nullptr)) != kExitOk) return kExitOpen;
  WriteObjects(text);

  const bool written = settings.output.empty() ? WriteAll(STDOUT_FILENO, text) : file.Write(text) && file.Commit();
  if (!written) {
    const int err = errno;
    std::fprintf(stderr, kWriteFailed, settings.output.empty() ? kStandardOutput : settings.output.c_str(),
                 std::strerror(err));
    return kExitRuntime;
  }
  return kExitOk;
}

}  // namespace
}  // namespace panelxlate

int main(int argc, char **argv) {
  // A reader that went away shows as EPIPE from write and is reported like any
  // other failed write.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return panelxlate::Run(argc, argv);
  } catch (const panelxlate::FatalExit &fatal) {
    return fatal.code;
  } catch (const std::bad_alloc &) {
    std::fputs("\nheap overflow\n", stderr);
    return panelxlate::kExitRuntime;
  }
}
