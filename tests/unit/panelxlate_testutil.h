// Helpers of the panelxlate unit tests: a clean converter state per test, a
// scratch folder, and fatal errors caught with their exit code and message.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "cfgvar.h"
#include "idmscan.h"
#include "msg.h"
#include "panelxlate.h"
#include "symbol.h"
#include "var.h"

namespace xltest {

// Every test starts with an empty store, symbol table, tree and file stack.
class XlateTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    panelxlate::ResetVarStore();
    panelxlate::ResetSymbols();
    panelxlate::ResetTree();
    panelxlate::ResetLexer();
    panelxlate::msg_setlevels(1);
    panelxlate::SetProgress(false);
    panelxlate::g_allocFails = nullptr;
  }
};

// What a call wrote to standard error and the exit code of a fatal error (-1
// when it returned normally).
struct Outcome {
  int code = -1;
  std::string err;
};

inline Outcome Capture(const std::function<void()> &call) {
  Outcome outcome;
  ::testing::internal::CaptureStderr();
  try {
    call();
  } catch (const panelxlate::FatalExit &fatal) {
    outcome.code = fatal.code;
  }
  outcome.err = ::testing::internal::GetCapturedStderr();
  return outcome;
}

// A scratch folder removed when the object goes.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "xltest.XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::string operator/(const std::string &name) const { return (path_ / name).string(); }
  std::string Write(const std::string &name, const std::string &bytes) const {
    std::filesystem::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return *this / name;
  }

 private:
  std::filesystem::path path_;
};

// Reads configuration lines given as one text.
inline int Configure(const TempDir &dir, const std::string &text, const std::string &name = "test.cfg") {
  return panelxlate::CfgRead(dir.Write(name, text));
}

}  // namespace xltest
