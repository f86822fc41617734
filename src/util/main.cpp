// util's start-up: hands control to the host runtime's main entry with the
// module's own handle and the command line after the program name, and exits
// with what the host returns.
#include <dlfcn.h>

#include <string>

#include "vlabi.h"

int main(int argc, char **argv) {
  std::string cmdline;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) cmdline += ' ';
    cmdline += argv[i];
  }
  void *instance = dlopen(nullptr, RTLD_NOW);
  constexpr int kShowDefault = 10;  // show the window in its default way
  return HostMain(instance, nullptr, cmdline.c_str(), kShowDefault);
}
