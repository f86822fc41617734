// Test plan for the module frame and the trace:
//   1. dll_SetDebugFlags: flag texts give the per-letter levels (table).
//   2. TraceLine: filter by letter and level; one "%c%d: %s" line; long texts cut.
//   3. Trace files: header, write vs append, unopenable names, a header without
//      memory, a full disk reported once per file.
//   4. VlCall: numbers outside the table, null vectors.
//   5. Host-string helpers: capacity checks.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "buffers_host.h"
#include "dll_host.h"
#include "host.h"
#include "ini_host.h"
#include "failing_new.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;
using vltest::ReadFile;
using vltest::TempDir;

class FrameTest : public vltest::StateTest {};

TEST_F(FrameTest, FlagTextsSetLevels) {
  struct Case {
    const char *fs;
    char letter;
    int level;
  } cases[] = {
      {"", 'D', 0},        {"D", 'D', 1},      {"D", 'F', 0},         {"D12x", 'D', 12},
      {"d3", 'D', 0},      {"D300", 'D', 44},  {"D200", 'D', -56},    {"*1D3", 'D', 3},
      {"*1D3", 'F', 1},    {"D3*1", 'D', 1},   {"*", 'Z', 1},         {"*0", 'A', 0},
      {"D255", 'D', -1},   {"D256", 'D', 0},   {"D-1", 'D', 1},       {"9D", 'D', 1},
      {"DI3N2", 'I', 3},   {"DI3N2", 'D', 1},  {"DI3N2", 'N', 2},     {"Z007", 'Z', 7},
      {"D99999999999999999999999999999999999999", 'D', -1},
      {"A\xff" "3", 'A', 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fs);
    EXPECT_EQ(dll_SetDebugFlags(c.fs, ""), 0);
    EXPECT_EQ(vl::Trace().flags[static_cast<unsigned>(c.letter - 'A')], c.level);
  }
}

TEST_F(FrameTest, NullFlagTextsAndNamesAreEmpty) {
  EXPECT_EQ(dll_SetDebugFlags("D3", ""), 0);
  EXPECT_EQ(dll_SetDebugFlags(nullptr, nullptr), 0);
  EXPECT_EQ(vl::Trace().flags['D' - 'A'], 0);
  EXPECT_EQ(vl::Trace().file, nullptr);
}

TEST_F(FrameTest, TraceLineFiltersAndFormats) {
  TempDir dir;
  const std::string log = dir / "t.log";
  ASSERT_EQ(dll_SetDebugFlags("D2I3", log.c_str()), 0);
  vl::TraceLine('D', 2, "shown %d", 1);
  vl::TraceLine('D', 3, "hidden call trace");
  vl::TraceLine('F', 1, "hidden other letter");
  vl::TraceLine('F', 0, "level 0 %s", "always");
  vl::TraceLine('d', 0, "lower-case letters write nothing");
  vl::TraceLine('I', 3, "ini_Close(hdl=%d)", 2);
  dll_SetDebugFlags("", "");
  const std::string text = ReadFile(log);
  EXPECT_NE(text.find("\nD2: shown 1\nF0: level 0 always\nI3: ini_Close(hdl=2)\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("hidden"), std::string::npos);
  EXPECT_EQ(text.find("lower-case"), std::string::npos);
}

TEST_F(FrameTest, LongTextsAreCutAt1023Characters) {
  TempDir dir;
  const std::string log = dir / "long.log";
  ASSERT_EQ(dll_SetDebugFlags("D", log.c_str()), 0);
  const std::string huge(5000, 'x');
  vl::TraceLine('D', 1, "%s", huge.c_str());
  dll_SetDebugFlags("", "");
  const std::string text = ReadFile(log);
  const std::string expected = "D1: " + std::string(1023, 'x') + "\n";
  ASSERT_GE(text.size(), expected.size());
  EXPECT_EQ(text.substr(text.size() - expected.size()), expected);
}

std::time_t PinnedClock() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 7;
  t.tm_hour = 0;
  t.tm_min = 39;
  t.tm_sec = 0;
  t.tm_isdst = -1;
  return std::mktime(&t);  // local time, as the header shows it
}

TEST_F(FrameTest, FirstFileIsEmptiedLaterOnesAppended) {
  TempDir dir;
  const std::string log = dir / "trace.log";
  vltest::WriteFile(log, "stale\n");
  vl::SetClockForTest(PinnedClock);
  const std::string header1 = "\n** Mon Dec  7 00:39:00 2026\n   Flags = [D]\n\n";
  const std::string header2 = "\n** Mon Dec  7 00:39:00 2026\n   Flags = [D3 and more]\n\n";

  ASSERT_EQ(dll_SetDebugFlags("D", log.c_str()), 0);
  vl::TraceLine('D', 1, "one");
  ASSERT_EQ(dll_SetDebugFlags("D3 and more", log.c_str()), 0);
  vl::TraceLine('D', 1, "two");
  EXPECT_EQ(ReadFile(log), header1 + "D1: one\n" + header2 + "D1: two\n");

  // After an empty name no file is open, so the next file starts empty again.
  ASSERT_EQ(dll_SetDebugFlags("D", ""), 0);
  ASSERT_EQ(dll_SetDebugFlags("D", log.c_str()), 0);
  EXPECT_EQ(ReadFile(log), header1);
}

TEST_F(FrameTest, UnopenableNameLeavesNoFile) {
  TempDir dir;
  const std::string bad = dir / "missing/x.log";
  ASSERT_EQ(dll_SetDebugFlags("D", bad.c_str()), 0);
  EXPECT_EQ(vl::Trace().file, nullptr);
  EXPECT_EQ(vl::Trace().flags['D' - 'A'], 1);
  ASSERT_EQ(dll_SetDebugFlags("D", dir.path().c_str()), 0);  // a folder
  EXPECT_EQ(vl::Trace().file, nullptr);
}

TEST_F(FrameTest, HeaderAllocatesNothingOnceTheFileIsOpen) {
  TempDir dir;
  const std::string log = dir / "trace.log";
  vl::SetClockForTest(PinnedClock);
  const std::string fs = "D and a flag text longer than any short string";
  void *argv[] = {const_cast<char *>(fs.c_str()), const_cast<char *>(log.c_str())};
  std::int32_t result = -1;
  {
    vltest::FailingNew failing(0);  // every allocation fails
    result = VlCall(3, argv);
  }
  EXPECT_EQ(result, 0);
  ASSERT_NE(vl::Trace().file, nullptr);
  ASSERT_EQ(dll_SetDebugFlags("D", ""), 0);  // closes it
  EXPECT_EQ(ReadFile(log), "\n** Mon Dec  7 00:39:00 2026\n   Flags = [" + fs + "]\n\n");
}

TEST_F(FrameTest, FullTraceFileIsReportedOnce) {
  const std::string report = "trace file: write failed: No space left on device\n";
  testing::internal::CaptureStderr();
  ASSERT_EQ(dll_SetDebugFlags("D", "/dev/full"), 0);  // the header fails
  vl::TraceLine('D', 1, "one");
  vl::TraceLine('D', 1, "two");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), report);
  // Each file named anew reports its own first failure.
  testing::internal::CaptureStderr();
  ASSERT_EQ(dll_SetDebugFlags("D", "/dev/full"), 0);
  vl::TraceLine('D', 1, "three");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), report);
  // Lines that are not wanted write nothing, so nothing more fails.
  testing::internal::CaptureStderr();
  ASSERT_EQ(dll_SetDebugFlags("", "/dev/full"), 0);
  vl::TraceLine('D', 1, "four");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), report);
}

TEST_F(FrameTest, BoundWriterGetsTheTextAlone) {
  vltest::TraceCapture capture("D2");
  vl::TraceLine('D', 2, "ObSet(%s) failed: unknown item, section '%s'", "X", "s");
  vl::TraceLine('D', 3, "not wanted");
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0], "D2: ObSet(X) failed: unknown item, section 's'");
}

TEST_F(FrameTest, EntryLinesNameTheSourceModule) {
  vltest::TraceCapture capture("D3");
  VL_TRACE_ENTRY('D', "dll_SendNext");
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].rfind("D3: dll_SendNext(): file frame_test.cpp, line ", 0), 0u) << capture.lines()[0];
}

TEST_F(FrameTest, NumbersOutsideTheTableTouchNothing) {
  void **poison = reinterpret_cast<void **>(std::uintptr_t{1});
  for (int number : {89, 93, -1, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(VlCall(number, poison), -1);
  }
}

TEST_F(FrameTest, FrameFunctionsThroughVlCall) {
  HostBuf str(16);
  void *argv[] = {&str};
  EXPECT_EQ(VlCall(0, argv), 0);
  EXPECT_EQ(str.str(), "3.14");
  EXPECT_EQ(VlCall(1, argv), 0);
  EXPECT_EQ(str.str().size(), 11u);
  EXPECT_EQ(str.str(), __DATE__);

  std::int32_t debug = 9;
  void *argv2[] = {&debug};
  EXPECT_EQ(VlCall(2, argv2), 0);
  EXPECT_EQ(HostDebugLevel, 9);
  debug = 0;
  EXPECT_EQ(VlCall(2, argv2), 0);
  EXPECT_EQ(HostDebugLevel, 0);
}

TEST_F(FrameTest, TableRowsAgreeWithArguments) {
  std::uint32_t next = 0;
  int rows = 0;
  for (; VlFuncList[rows].name != nullptr; ++rows) {
    EXPECT_EQ(VlFuncList[rows].first_arg, next) << VlFuncList[rows].name;
    EXPECT_EQ(VlFuncList[rows].reserved, 0u);
    for (std::uint32_t a = 0; a < VlFuncList[rows].arg_count; ++a) {
      const auto type = VlArgList[next + a].type;
      EXPECT_TRUE(type == 1 || type == 2 || type == 4 || type == 5 || type == 7 || type == 8);
    }
    next += VlFuncList[rows].arg_count;
  }
  EXPECT_EQ(rows, 89);
  EXPECT_EQ(VlFuncList[89].first_arg, 0u);
  EXPECT_EQ(VlFuncList[89].arg_count, 0u);
}

TEST_F(FrameTest, StoreBytesChecksCapacity) {
  struct Case {
    int cap;
    std::string value;
    std::int32_t result;
    std::string after;
  } cases[] = {
      {4, "abcd", 0, "abcd"}, {4, "abcde", 18, "old"}, {0, "", 0, ""}, {0, "a", 18, "old"}, {10, "a\0b~$", 0, "a"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.value);
    HostBuf s(std::max(c.cap, 3), "old");
    s.hs.cap = c.cap;
    EXPECT_EQ(vl::StoreBytes(&s, c.value), c.result);
    EXPECT_EQ(s.str(), c.after);
  }
  EXPECT_EQ(vl::StoreBytes(nullptr, "x"), 19);
}

TEST_F(FrameTest, HostViewGuardsBadDescriptors) {
  char bytes[] = "abcdef";
  HostString ok{6, 3, bytes};
  EXPECT_EQ(vl::HostView(&ok), "abc");
  HostString over{2, 5, bytes};
  EXPECT_EQ(vl::HostView(&over), "ab");
  HostString negative{6, -4, bytes};
  EXPECT_EQ(vl::HostView(&negative), "");
  HostString null{6, 3, nullptr};
  EXPECT_EQ(vl::HostView(&null), "");
  EXPECT_EQ(vl::HostView(nullptr), "");
}

TEST_F(FrameTest, EngineStatusesMapToHostResults) {
  EXPECT_EQ(vl::ToHostResult(vl::kOk), 0);
  EXPECT_EQ(vl::ToHostResult(vl::kTooSmall), 18);
  EXPECT_EQ(vl::ToHostResult(vl::kNoMemory), 2);
  EXPECT_EQ(vl::ToHostResult(vl::kCorruptXbuf), 204);
  EXPECT_EQ(vl::ToHostResult(vl::kReported), 19);
  EXPECT_EQ(vl::ToHostResult(vl::kNothing), 19);
}

}  // namespace
