// The baselines of the glosscheck benchmark, each one part of the checker's run
// alone, after the same locale set-up:
//
//   glosscheck_parts dict FILE        loads FILE with the checker's loader
//   glosscheck_parts dlg FILE...      reads the DLG files, counting their events
//
// The exit code is the loader's status, or the first DLG status that is not 0.
#include <cstdio>
#include <cstring>

#include "dict.h"
#include "dlg.h"
#include "format.h"

namespace {

class Counter final : public dlg::DlgConsumer {
 public:
  int OnDlgEvent(const dlg::DlgEvent &) override {
    ++events;
    return 0;
  }
  long events = 0;
};

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3 || (std::strcmp(argv[1], "dict") != 0 && std::strcmp(argv[1], "dlg") != 0)) {
    std::fprintf(stderr, "usage: glosscheck_parts dict FILE | dlg FILE...\n");
    return 4;
  }
  if (vl::setup_locale_from_env() != 0) return 3;
  if (std::strcmp(argv[1], "dict") == 0) return vl::CheckDict("dict_01", argv[2], 1);
  Counter counter;
  for (int i = 2; i < argc; ++i) {
    const int status = dlg::dlg_load(argv[i], counter);
    if (status != dlg::kDlgOk) return status;
  }
  std::printf("%ld events\n", counter.events);
  return 0;
}
