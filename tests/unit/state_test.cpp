// Test plan for the process-wide state:
//   1. ResetForTest returns the state of every component of the module to how the
//      process started, each component's state changed through its own functions.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "buffers.h"
#include "dll_host.h"
#include "format.h"
#include "format_host.h"
#include "ini.h"
#include "ini_int.h"
#include "services_host.h"
#include "services_int.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;
using vltest::TempDir;

std::time_t FixedClock() { return 86400; }
const char *NoEnvironment(const char *) { return "set by the test"; }

TEST(ProcessState, ResetForTestReachesEveryComponent) {
  vl::ResetForTest();
  TempDir dir;
  const std::string ini = dir / "a.ini";
  vltest::WriteFile(ini, "[s]\r\nk=v\r\n");

  ASSERT_EQ(dll_SetDebugFlags("*3", (dir / "trace.log").c_str()), 0);
  ASSERT_EQ(dll_SetLocale(""), 0);  // leaves the locale buffer in csdxBuf
  ASSERT_EQ(dict_Y2kMode(1), 0);
  ASSERT_EQ(vl::IniOpen(ini.c_str(), "s"), 0);
  HostBuf name(4, "L");
  std::int32_t hdl = 0;
  ASSERT_EQ(l_CreateList(&hdl, &name), 0);
  HostBuf var(4, "x"), value(4, "1");
  ASSERT_EQ(v_Set(&var, &value), 0);
  vl::SetClockForTest(FixedClock);
  vl::SetEnvForTest(NoEnvironment);
  vl::FailAllocationsAfter(0);

  vl::ResetForTest();

  struct Row {
    const char *state;
    bool asAtStart;
  } rows[] = {
      {"trace levels", vl::Trace().flags['D' - 'A'] == 0},
      {"trace file", vl::Trace().file == nullptr},
      {"CSDX stream", vl::csdxBuf().buffer == nullptr},
      {"locale tables", vl::Locale().LocaleClass['a'] == 0 && !vl::Locale().LangInfo.dayName[0].present()},
      {"two-digit-year mode", vl::Locale().y2kMode == 0},
      {"INI handles", vl::IniHandleState(0) == vl::kIniFailed},
      {"lists", vl::Lists().slots[0] == nullptr},
      {"host variables", vl::Vars().used == 0},
      {"clock", vl::Now() != FixedClock()},
      {"environment", vl::GetEnv("VL_NO_SUCH_VARIABLE") == nullptr},
      {"allocations", !vl::AllocFails()},
  };
  for (const Row &row : rows) EXPECT_TRUE(row.asAtStart) << row.state;
}

}  // namespace
