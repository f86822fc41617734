// util's start-up: hands control to the host runtime's main entry with the
// module's own handle and the command line after the program name, and exits
// with what the host returns. When memory runs out before the host is called,
// it says so and exits with 2, as the stand-in host does.
#include <dlfcn.h>

#include <cstdio>
#include <new>
#include <string>

#include "vlabi.h"

int main(int argc, char **argv) {
  std::string cmdline;
  try {
    for (int i = 1; i < argc; ++i) {
      if (i > 1) cmdline += ' ';
      cmdline += argv[i];
    }
  } catch (const std::bad_alloc &) {
    std::fputs("util: not enough memory\n", stderr);
    return 2;
  }
  void *instance = dlopen(nullptr, RTLD_NOW);
  constexpr int kShowDefault = 10;  // show the window in its default way
  return HostMain(instance, nullptr, cmdline.c_str(), kShowDefault);
}
