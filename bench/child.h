// Running the programs a benchmark driver compares: one child process at a
// time, with its wall-clock time and its peak resident set size (from wait4).
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace vlbench {

// Runs `argv` with standard input from `stdinPath` (empty: /dev/null) and
// standard output and error on /dev/null. False when it cannot be started or
// waited for; else `status` is its wait status.
inline bool RunChild(const std::vector<std::string> &argv, const std::string &stdinPath, double *seconds,
                     long *peakKb, int *status) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int in = open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    if (in < 0 || out < 0) _exit(126);
    dup2(in, STDIN_FILENO);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  struct rusage usage {};
  if (wait4(pid, status, 0, &usage) != pid) return false;
  *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  *peakKb = usage.ru_maxrss;
  return true;
}

// The size of a file, or -1 when there is none.
inline long long FileSize(const std::string &path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// How a ratio compares with its goal.
inline const char *Verdict(bool met) { return met ? "met" : "NOT MET"; }

// The exit code of a wait status; -1 for a program that did not exit.
inline int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace vlbench
