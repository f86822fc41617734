// glosscheck's message output (see msg.h).
#include "msg.h"

#include <cstdio>

namespace glosscheck {
namespace {

void WriteMessage(char /*letter*/, int /*level*/, const char *text) {
  std::fputs(text, stdout);
  std::fputc('\n', stdout);
}

}  // namespace

void msg_bind() noexcept { vl::Trace().writer = WriteMessage; }

void msg_print(char letter, int level, const char *format, ...) {
  if (!vl::TraceWanted(letter, level)) return;
  std::va_list args;
  va_start(args, format);
  vl::VTraceLine(letter, level, format, args);
  va_end(args);
}

}  // namespace glosscheck
