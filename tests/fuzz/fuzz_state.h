// What the targets over the host functions' cores share: the process state
// made fresh for each input, with every trace line (all categories at level 3)
// checked against its bound, and the locale tables built once and put back.
#pragma once

#include "common.h"
#include "format.h"
#include "fuzz.h"

namespace vlfuzz {

inline void CheckTraceLine(char category, int level, const char *text) {
  CheckTraceText(category, level, text, vl::kTraceTextMax);
}

inline void FreshState() {
  vl::ResetForTest();
  for (auto &level : vl::Trace().flags) level = 3;
  vl::Trace().writer = &CheckTraceLine;
}

// FreshState with the default locale tables, built by the first call only.
inline void FreshStateWithLocale() {
  static const vl::LocaleState built = [] {
    vl::ResetForTest();
    FUZZ_CHECK(vl::BuildLocale() == vl::kLocaleOk);
    return vl::Locale();
  }();
  FreshState();
  vl::Locale() = built;
}

}  // namespace vlfuzz
