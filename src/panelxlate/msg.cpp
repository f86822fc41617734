// panelxlate's message output and fatal errors (see msg.h).
#include "msg.h"

#include <cstdarg>
#include <cstdio>
#include <new>

namespace panelxlate {
namespace {

constexpr std::size_t kMessageMax = 4096;  // bytes of one formatted message, its NUL included

struct MsgState {
  int levels[26] = {};   // msg_levels: one level per letter A to Z
  bool progress = true;  // progress lines on (off with -q)
};

MsgState &Msg() {
  static MsgState state;
  return state;
}

}  // namespace

bool (*g_allocFails)(const char *where) = nullptr;

void CheckAlloc(const char *where) {
  if (g_allocFails != nullptr && g_allocFails(where)) throw std::bad_alloc();
}

void msg_setlevels(int level) {
  for (int &l : Msg().levels) l = level;
}

void msg_print(char letter, int level, const char *format, ...) {
  if (letter < 'A' || letter > 'Z' || Msg().levels[letter - 'A'] < level) return;
  char text[kMessageMax];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::fprintf(stderr, "%s\n", text);
}

void SetProgress(bool on) { Msg().progress = on; }

void Progress(const char *format, ...) {
  if (!Msg().progress) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

void Fatal(int code, const char *format, ...) {
  char text[kMessageMax];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  const Location where = CurrentLocation();
  if (where.file != nullptr) {
    std::fprintf(stderr, "\n%s\nfile '%s', line %d\n", text, where.file, static_cast<int>(where.line));
  } else {
    std::fprintf(stderr, "\n%s\n", text);
  }
  throw FatalExit{code};
}

}  // namespace panelxlate
