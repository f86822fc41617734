// Helpers of the formatting tests: loading bytes as the CSDX stream, and
// installing locale tables with any decimal point, thousands separator,
// grouping, fill and minus sign without a system locale.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <string>

#include "buffers.h"
#include "format.h"

namespace vl {
// Field texts in failure messages of the tests.
inline void PrintTo(const FieldText &text, std::ostream *os) { *os << '"' << text.view() << '"'; }
}  // namespace vl

namespace fmttest {

// The last 54 bytes of the LANGINFO section: fields 50 to 60.
inline const std::string kDefaultsTail = "8~%d.%m.%y8~8~%d.%m.%y10~5~%H:%M5~2~5~%m/%y5~5~%W/%y5~";

// Makes `bytes` the CSDX stream, with the NUL that follows every stream.
inline void LoadStream(const std::string &bytes) {
  vl::CSDX_Reset();
  vl::CsdxState &s = vl::csdxBuf();
  s.buffer.reset(new char[bytes.size() + 1]);
  std::memcpy(s.buffer.get(), bytes.data(), bytes.size());
  s.buffer[bytes.size()] = '\0';
  s.size = bytes.size();
}

// The bytes of the current stream (empty when there is none).
inline std::string StreamBytes() {
  const vl::CsdxState &s = vl::csdxBuf();
  return s.buffer == nullptr ? std::string() : std::string(s.buffer.get(), s.size);
}

// A string entry of the LANGINFO section.
inline std::string Entry(const std::string &text) { return std::to_string(text.size()) + "~" + text; }

// A whole packed buffer around a body: "R1~", the total size as six digits, "~".
inline std::string WithHeader(const std::string &body) {
  char size[16];
  std::snprintf(size, sizeof size, "%06zu~", body.size() + 10);
  return "R1~" + std::string(size) + body;
}

// Numeric conventions of a locale buffer.
struct Conventions {
  std::string point = ".";
  std::string thousands;
  std::string grouping;  // group sizes, one byte each
  std::string fill = "?";
  std::string minus = "-";
};

// The packed buffer of the "C" locale with fields 45 to 49 replaced.
inline std::string LocaleBufferWith(const Conventions &c) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(vl::BuildLocale(), 0);
  const std::string built = StreamBytes();
  // The C locale's fields 45-49 are "1~.0~0~1~?1~-" (13 bytes) before the tail.
  const std::string fixed = built.substr(10, built.size() - 10 - 13 - kDefaultsTail.size());
  std::string hexGrouping;
  for (unsigned char b : c.grouping) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", b);
    hexGrouping += pair;
  }
  return WithHeader(fixed + Entry(c.point) + Entry(c.thousands) + Entry(hexGrouping) + Entry(c.fill) +
                    Entry(c.minus) + kDefaultsTail);
}

// Installs locale tables with the given conventions through the client half.
inline void InstallLocale(const Conventions &c) {
  LoadStream(LocaleBufferWith(c));
  ASSERT_EQ(vl::SetClientLocale(), 0);
  vl::CSDX_Reset();
}

// One row of a flag word table: an FFMT string and the word it gives.
struct FlagCase {
  const char *ffmt;
  unsigned flags;
};

inline void ExpectFlagWords(unsigned (*word)(const char *) noexcept, std::initializer_list<FlagCase> cases) {
  for (const FlagCase &c : cases) {
    SCOPED_TRACE(c.ffmt != nullptr ? c.ffmt : "(null)");
    EXPECT_EQ(word(c.ffmt), c.flags);
  }
}

// "," as decimal point, "." as thousands separator, groups of 3.
inline Conventions German() { return {",", ".", "\x03", "?", "-"}; }

}  // namespace fmttest
