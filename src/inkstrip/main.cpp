// inkstrip [file]: filters the named file, or standard input when there is not
// exactly one argument, to standard output (see inkstrip.h for the filter).
//
// Exit codes: 0 when the whole input was filtered and written; 1 when the file
// cannot be opened or read, the line buffer cannot be grown, or standard output
// cannot be written. Lines finished before a failure stay written.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

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

// Gathers finished lines and writes them to a descriptor in large blocks; a
// line as long as a block goes out directly, so that no second copy of it is
// kept. After a failed write every further Put fails.
class BlockWriter final : public inkstrip::LineSink {
 public:
  explicit BlockWriter(int fd) : fd_(fd), buf_(std::make_unique_for_overwrite<char[]>(kWriteBlock)) {}

  bool Put(const char *text, std::size_t len) override {
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
  std::size_t used_ = 0;
  int error_ = 0;
};

// Filters `fd` (called `name` in messages) to standard output; the exit code.
int FilterStream(int fd, const char *name) {
  BlockWriter out(STDOUT_FILENO);
  inkstrip::OverstrikeFilter filter(out);
  auto block = std::make_unique_for_overwrite<char[]>(kReadBlock);
  for (;;) {
    const ssize_t got = read(fd, block.get(), kReadBlock);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      if (!out.Flush()) ReportWriteFailed(out.error());
      ReportReadFailed(name, err);
      return 1;
    }
    switch (filter.Feed(block.get(), static_cast<std::size_t>(got))) {
      case inkstrip::FilterStatus::kOk:
        break;
      case inkstrip::FilterStatus::kNoMemory:
        if (!out.Flush()) ReportWriteFailed(out.error());
        ReportNoMemory(filter.failedSize());
        return 1;
      case inkstrip::FilterStatus::kSinkFailed:
        ReportWriteFailed(out.error());
        return 1;
    }
  }
  if (!out.Flush()) {
    ReportWriteFailed(out.error());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  // A reader that went away shows as EPIPE from write and is reported like
  // any other failed write, instead of ending the program silently.
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
