// Internals of the formatting component shared by its own files (core and host
// layer); no other component includes this header.
#pragma once

#include <span>
#include <string_view>

#include "common.h"

namespace vl {

// The LC_ constant of a definition list's type word (LANG, COLLATE, MONETARY,
// NUMERIC, TIME; case counts), or kNoLocaleCategory.
inline constexpr int kNoLocaleCategory = -1;
int LocaleCategoryOfWord(std::string_view word) noexcept;

// Statuses of GetLocaleInfo, which decodes the body of a packed locale buffer.
enum [[nodiscard]] LocaleInfoStatus : int {
  kLocaleInfoDecoded = 0,
  kLocaleInfoCorrupt = 1,   // a section is corrupt: every LangInfo string becomes absent
  kLocaleInfoNoMemory = 2,  // memory exhausted or a bad grouping: the same
};

// Decodes the sections IS, TOUPPER, TOLOWER and LANGINFO of a packed buffer's body
// (`length` bytes at `body`) into the locale tables; SetClientLocale's decoder.
LocaleInfoStatus GetLocaleInfo(const char *body, long length);

// One flag of a format flag word and its name on the trace.
struct FlagName {
  unsigned flag;
  const char *name;
};

// The F2 trace line "  flags: " with "FMT_RIGHT " or "FMT_LEFT ", then the name
// and a blank of each flag of `names` that is set, in the table's order.
void WriteFlagNames(unsigned flags, std::span<const FlagName> names);
inline void TraceFlagNames(unsigned flags, std::span<const FlagName> names) {
  if (TraceWanted('F', 2)) WriteFlagNames(flags, names);
}

}  // namespace vl
