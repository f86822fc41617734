// The text of a formatted field: writing it, the overflow fill, and the names of
// format flags on the trace.
#include <algorithm>
#include <cstring>
#include <string>

#include "format.h"
#include "format_int.h"

namespace vl {

FieldFit FieldText::Overflow(int count) noexcept {
  const auto n = static_cast<std::size_t>(std::clamp(count, 0, static_cast<int>(kCapacity)));
  std::memset(Resize(n), OverflowFill(), n);
  TraceLine('F', 2, "  OVERFLOW");
  return kFieldOverflow;
}

void WriteFlagNames(unsigned flags, std::span<const FlagName> names) {
  std::string text = (flags & FMT_RIGHT) != 0 ? "FMT_RIGHT " : "FMT_LEFT ";
  for (const FlagName &row : names) {
    if ((flags & row.flag) != 0) text.append(row.name).append(" ");
  }
  TraceLine('F', 2, "  flags: %s", text.c_str());
}

}  // namespace vl
