// Helpers shared by the unit tests: the fixture that resets the process-wide
// state, temporary folders, whole-file reads, trace capture and host strings with
// their own storage.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "common.h"
#include "vlabi.h"

namespace vltest {

// The fixture of every suite that touches process-wide state: each test starts
// and ends with the state of every component as at start-up.
class StateTest : public ::testing::Test {
 protected:
  void SetUp() override { vl::ResetForTest(); }
  void TearDown() override { vl::ResetForTest(); }
};

// Tests that need a generated locale (de_DE, en_IN.utf8, fr_FR) skip when it is
// missing, naming it; README.md ("Test locales") says how to generate them.
inline bool HaveLocale(const char *name) {
  const bool have = std::setlocale(LC_ALL, name) != nullptr;
  std::setlocale(LC_ALL, "C");
  return have;
}
inline std::string MissingLocales(std::initializer_list<const char *> names) {
  std::string missing;
  for (const char *name : names) {
    if (!HaveLocale(name)) missing += (missing.empty() ? "" : " ") + std::string(name);
  }
  return missing;
}
#define VL_SKIP_WITHOUT_LOCALES(...)                                                       \
  if (const std::string vlMissing = ::vltest::MissingLocales({__VA_ARGS__}); !vlMissing.empty()) \
  GTEST_SKIP() << "locale not installed: " << vlMissing << " (README.md, \"Test locales\", says how to generate it)"

// A scratch folder removed when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vltest.XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string operator/(const std::string &name) const { return (path_ / name).string(); }
  const std::filesystem::path &path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// The number of open file descriptors of the process (to see that a call leaves
// none open behind it).
inline std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// Collects trace lines through a bound writer as "%c%d: %s" texts, while alive.
class TraceCapture {
 public:
  explicit TraceCapture(const char *flags = "*3") {
    lines().clear();
    vl::Trace().writer = [](char category, int level, const char *text) {
      lines().push_back(std::string(1, category) + std::to_string(level) + ": " + text);
    };
    SetFlags(flags);
  }
  ~TraceCapture() { vl::ResetTraceForTest(); }
  static void SetFlags(const char *flags) {
    vl::Trace().flags.fill(0);
    for (const char *p = flags; *p != '\0'; ++p) {
      int level = 1;
      if (p[1] >= '0' && p[1] <= '9') level = p[1] - '0';
      if (*p == '*') vl::Trace().flags.fill(static_cast<std::int8_t>(level));
      else if (*p >= 'A' && *p <= 'Z') vl::Trace().flags[*p - 'A'] = static_cast<std::int8_t>(level);
      if (p[1] >= '0' && p[1] <= '9') ++p;
    }
  }
  static std::vector<std::string> &lines() {
    static std::vector<std::string> captured;
    return captured;
  }
  std::string Joined() const {
    std::string all;
    for (const auto &l : lines()) all += l + "\n";
    return all;
  }
};

// A host string with its own storage.
struct HostBuf {
  explicit HostBuf(int cap, const std::string &value = "") : storage(static_cast<std::size_t>(cap) + 1, '\0') {
    value.copy(storage.data(), value.size());
    hs = HostString{cap, static_cast<int32_t>(value.size()), storage.data()};
  }
  std::string str() const { return std::string(hs.bytes, static_cast<std::size_t>(hs.len)); }
  HostString *operator&() { return &hs; }
  std::vector<char> storage;
  HostString hs;
};

}  // namespace vltest
