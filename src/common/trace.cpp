// The trace line writer shared by the module and the programs.
#include "common.h"

#include <cerrno>
#include <cstring>

namespace vl {

namespace detail {
constinit TraceConfig traceConfig{};
}  // namespace detail

namespace {

// The reset of the trace state: the trace file is closed too.
void ResetTrace() {
  TraceConfig &trace = Trace();
  if (trace.file != nullptr) std::fclose(trace.file);
  trace = TraceConfig{};
}
VL_STATE_RESET(ResetTrace);

}  // namespace

void VTraceLine(char category, int level, const char *format, std::va_list args) {
  if (!TraceWanted(category, level)) return;
  // Texts longer than kTraceTextMax are cut: the line never overruns its buffer.
  char text[kTraceTextMax + 1];
  std::vsnprintf(text, sizeof text, format, args);
  const TraceConfig &trace = Trace();
  if (trace.writer != nullptr) {
    trace.writer(category, level, text);
    return;
  }
  if (trace.file == nullptr) {
    std::fprintf(stderr, "%c%d: %s\n", category, level, text);
    return;
  }
  if (std::fprintf(trace.file, "%c%d: %s\n", category, level, text) < 0) TraceFileWriteFailed(errno);
}

void TraceFileWriteFailed(int error) noexcept {
  TraceConfig &trace = Trace();
  if (trace.fileWriteFailed) return;
  trace.fileWriteFailed = true;
  std::fprintf(stderr, "trace file: write failed: %s\n", std::strerror(error));
}

void TraceLine(char category, int level, const char *format, ...) {
  if (!TraceWanted(category, level)) return;
  std::va_list args;
  va_start(args, format);
  VTraceLine(category, level, format, args);
  va_end(args);
}

const char *SourceModule(const char *path) noexcept {
  const char *slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

void ResetTraceForTest() noexcept {
  Trace().flags.fill(0);
  Trace().writer = nullptr;
}

}  // namespace vl
