// Internals of the formatting component shared by its own files (core and host
// layer); no other component includes this header.
#pragma once

#include <string_view>

namespace vl {

// The LC_ constant of a definition list's type word (LANG, COLLATE, MONETARY,
// NUMERIC, TIME; case counts), or kNoLocaleCategory.
inline constexpr int kNoLocaleCategory = -1;
int LocaleCategoryOfWord(std::string_view word) noexcept;

}  // namespace vl
