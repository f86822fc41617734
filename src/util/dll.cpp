// The host call interface: VlCall dispatch, the frame's own functions
// (dll_Revision, dll_Compiled, dll_Debug) and the trace settings
// (dll_SetDebugFlags).
#include <cerrno>
#include <cstdio>
#include <new>

#include "dll_host.h"
#include "functable.h"
#include "host.h"

namespace {

// The module revision stored by dll_Revision.
constexpr const char *kRevision = "3.14";

// The trace file's stdio buffer: line-buffered, 512 bytes, for the file's lifetime.
char traceFileBuffer[512];

// Digits after a flag letter give its level; only the low 8 bits of the number
// count, read as a signed 8-bit value.
std::int8_t ParseLevel(const char *&p) noexcept {
  if (*p < '0' || *p > '9') return 1;
  unsigned value = 0;  // wraps modulo 2^32, which keeps the low 8 bits exact
  while (*p >= '0' && *p <= '9') value = value * 10u + static_cast<unsigned>(*p++ - '0');
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xffu));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t VlCall(std::int32_t number, void **argv) {
  const vl::Invoker invoke = vl::FindInvoker(number);
  if (invoke == nullptr) return vl::kHostNoFunction;
  try {
    return invoke(argv);
  } catch (const std::bad_alloc &) {
    vl::TraceLine(vl::TraceCategory(number), 1, "%s() failed: heap overflow", VlFuncList[number].name);
    return vl::kHostNoMemory;
  } catch (...) {
    vl::TraceLine(vl::TraceCategory(number), 1, "%s() failed: internal error", VlFuncList[number].name);
    return vl::kHostFailed;
  }
}

std::int32_t dll_Revision(HostString *str) { return vl::StoreText(str, kRevision); }

// The build date in the compiler's form, "Jan 22 2026".
std::int32_t dll_Compiled(HostString *str) { return vl::StoreText(str, __DATE__); }

std::int32_t dll_Debug(std::int32_t debug) {
  HostDebugLevel = debug;
  return vl::kHostOk;
}

std::int32_t dll_SetDebugFlags(const char *fs, const char *fname) {
  vl::TraceConfig &trace = vl::Trace();
  trace.flags.fill(0);
  for (const char *p = vl::OrEmpty(fs); *p != '\0';) {
    const char taken = *p++;
    const std::int8_t level = ParseLevel(p);
    if (taken >= 'A' && taken <= 'Z') {
      trace.flags[static_cast<unsigned>(taken - 'A')] = level;
    } else if (taken == '*') {
      trace.flags.fill(level);
    }
  }

  // A file named while another is open is appended to; otherwise it starts empty.
  const bool append = trace.file != nullptr;
  if (trace.file != nullptr) {
    std::fclose(trace.file);
    trace.file = nullptr;
  }
  if (fname == nullptr || *fname == '\0') return vl::kHostOk;

  std::FILE *file = std::fopen(fname, append ? "a" : "w");
  if (file == nullptr) {
    std::perror(fname);
    return vl::kHostOk;
  }
  // From here on nothing is allocated: the file is the trace file whatever happens.
  trace.file = file;
  trace.fileWriteFailed = false;
  std::setvbuf(file, traceFileBuffer, _IOLBF, sizeof traceFileBuffer);
  if (std::fprintf(file, "\n** %s", vl::TimeText24(vl::Now()).data()) < 0 ||
      std::fprintf(file, "   Flags = [%s]\n\n", vl::OrEmpty(fs)) < 0) {
    vl::TraceFileWriteFailed(errno);
  }
  return vl::kHostOk;
}
