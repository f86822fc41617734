// inkstrip [file]: filters the named file, or standard input when there is not
// exactly one argument, to standard output (see inkstrip.h for the filter).
//
// Output: on a terminal each line is written as it is finished; otherwise the
// lines are gathered into large blocks, and what is gathered is written
// whenever a read brings less than a full block (input that arrives slowly is
// passed on as it arrives).
//
// Exit codes: 0 when the whole input was filtered and written; 1 when the file
// cannot be opened or read, a buffer cannot be allocated, or standard output
// cannot be written. Lines finished before a failure stay written. A reader
// that goes away ends the program quietly, as SIGPIPE ends a filter.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "inkstrip.h"

namespace {

constexpr std::size_t kReadBlock = 128 * 1024;   // bytes asked of each read
constexpr std::size_t kWriteBlock = 128 * 1024;  // finished lines gathered per write
constexpr char kStdinName[] = "standard input";

// The program's messages, all on standard error.
void ReportOpenFailed(const char *name, int err) { std::fprintf(stderr, "%s: %s\n", name, std::strerror(err)); }
void ReportNoMemory(std::size_t size) { std::fprintf(stderr, "memory allocation failed (%zu bytes)\n", size); }
void ReportReadFailed(const char *name, int err) {
  std::fprintf(stderr, "%s: read failed: %s\n", name, std::strerror(err));
}
void ReportWriteFailed(int err) { std::fprintf(stderr, "standard output: write failed: %s\n", std::strerror(err)); }

// Ends the program as SIGPIPE ends a filter whose reader has gone: without a
// word, with the status of a process killed by that signal.
[[noreturn]] void EndAsBrokenPipe() {
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigprocmask(SIG_UNBLOCK, &pipeOnly, nullptr);
  raise(SIGPIPE);
  _exit(128 + SIGPIPE);  // not reached
}

// A failed write of standard output: the exit code, or the quiet end when the
// reader has gone.
int WriteFailed(int err) {
  if (err == EPIPE) EndAsBrokenPipe();
  ReportWriteFailed(err);
  return 1;
}

// A buffer of `size` bytes, or null after the message on standard error.
std::unique_ptr<char[]> AllocateBuffer(std::size_t size) {
  std::unique_ptr<char[]> block(new (std::nothrow) char[size]);
  if (block == nullptr) ReportNoMemory(size);
  return block;
}

// Gathers finished lines and writes them to a descriptor in large blocks; a
// line as long as a block goes out directly, so that no second copy of it is
// kept. In line mode every line is written as it comes. After a failed write
// every further Put fails.
class BlockWriter final : public inkstrip::LineSink {
 public:
  // `buf` holds kWriteBlock bytes.
  BlockWriter(int fd, std::unique_ptr<char[]> buf, bool lineMode)
      : fd_(fd), buf_(std::move(buf)), lineMode_(lineMode) {}

  bool Put(const char *text, std::size_t len) override {
    if (lineMode_) return WriteAll(text, len);
    if (len > kWriteBlock - used_) {
      if (!Flush()) return false;
      if (len >= kWriteBlock) return WriteAll(text, len);
    }
    std::memcpy(buf_.get() + used_, text, len);
    used_ += len;
    return true;
  }

  // Writes what is gathered; false after any failed write.
  bool Flush() {
    const std::size_t len = used_;
    used_ = 0;
    return WriteAll(buf_.get(), len);
  }

  int error() const { return error_; }  // errno of the failed write, 0 if none

 private:
  bool WriteAll(const char *p, std::size_t len) {
    if (error_ != 0) return false;
    while (len > 0) {
      const ssize_t written = write(fd_, p, len);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error_ = written < 0 ? errno : EIO;
        return false;
      }
      p += written;
      len -= static_cast<std::size_t>(written);
    }
    return true;
  }

  int fd_;
  std::unique_ptr<char[]> buf_;
  bool lineMode_;
  std::size_t used_ = 0;
  int error_ = 0;
};

// Writes out what is gathered before the program ends on another failure; a
// failed write is reported too, unless it is the reader that has gone.
void FlushBeforeFailure(BlockWriter &out) {
  if (!out.Flush() && out.error() != EPIPE) ReportWriteFailed(out.error());
}

// Filters `fd` (called `name` in messages) to standard output; the exit code.
int FilterStream(int fd, const char *name) {
  const std::unique_ptr<char[]> block = AllocateBuffer(kReadBlock);
  std::unique_ptr<char[]> gathered = block != nullptr ? AllocateBuffer(kWriteBlock) : nullptr;
  if (gathered == nullptr) return 1;
  BlockWriter out(STDOUT_FILENO, std::move(gathered), isatty(STDOUT_FILENO) == 1);
  inkstrip::OverstrikeFilter filter(out);
  for (;;) {
    const ssize_t got = read(fd, block.get(), kReadBlock);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      FlushBeforeFailure(out);
      ReportReadFailed(name, err);
      return 1;
    }
    switch (filter.Feed(block.get(), static_cast<std::size_t>(got))) {
      case inkstrip::FilterStatus::kOk:
        break;
      case inkstrip::FilterStatus::kNoMemory:
        FlushBeforeFailure(out);
        ReportNoMemory(filter.failedSize());
        return 1;
      case inkstrip::FilterStatus::kSinkFailed:
        return WriteFailed(out.error());
    }
    // Less than a block: the input comes slowly, so pass on what is finished.
    if (static_cast<std::size_t>(got) < kReadBlock && !out.Flush()) return WriteFailed(out.error());
  }
  if (!out.Flush()) return WriteFailed(out.error());
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  // A reader that went away shows as EPIPE from write, so that whatever was
  // inherited for SIGPIPE, the program ends the same way (EndAsBrokenPipe).
  std::signal(SIGPIPE, SIG_IGN);

  if (argc != 2) return FilterStream(STDIN_FILENO, kStdinName);  // other arguments are ignored

  const char *name = argv[1];
  const int fd = open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ReportOpenFailed(name, errno);
    return 1;
  }
  const int rc = FilterStream(fd, name);
  close(fd);
  return rc;
}
