// Test plan for the object path helpers and the field description reader
// (host functions 9 to 12):
//   1. u_basename, u_pathname, u_rempath: results and the host string
//      operations used for them, per path (table).
//   2. Host operations that fail: a null substring gives 18 (2, a heap overflow,
//      when the host ran out of memory), a non-zero store result is passed on,
//      and the target is then neither changed nor lowered.
//   3. u_udata: every type letter, missing parts, odd numbers, long and binary
//      texts (table).
//   4. Dispatch through VlCall.
//
// The host string operations are wrapped here: each call is logged, and a test
// can make one of them fail, before the call goes on to the host runtime.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "services_int.h"
#include "testutil.h"

namespace {

std::vector<std::string> &OpLog() {
  static std::vector<std::string> log;
  return log;
}
bool failSub = false;       // HostStrSub answers null
int subErrno = 0;           // ... and sets errno to this when it is not 0
std::int32_t storeRefusal = 0;  // non-zero: HostStrAssign and HostStrPut answer it

template <typename Fn>
Fn Real(const char *name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {
int32_t HostStrLen(HostString *s) {
  OpLog().push_back("Len");
  static const auto real = Real<int32_t (*)(HostString *)>("HostStrLen");
  return real(s);
}
HostString *HostStrSub(HostString *s, int32_t start, int32_t count) {
  OpLog().push_back("Sub(" + std::to_string(start) + "," + std::to_string(count) + ")");
  static const auto real = Real<HostString *(*)(HostString *, int32_t, int32_t)>("HostStrSub");
  if (!failSub) return real(s, start, count);
  if (subErrno != 0) errno = subErrno;
  return nullptr;
}
int32_t HostStrAssign(HostString *target, HostString *source) {
  OpLog().push_back("Assign");
  static const auto real = Real<int32_t (*)(HostString *, HostString *)>("HostStrAssign");
  return storeRefusal != 0 ? storeRefusal : real(target, source);
}
int32_t HostStrPut(const char *text, HostString *target) {
  OpLog().push_back(std::string("Put(") + text + ")");
  static const auto real = Real<int32_t (*)(const char *, HostString *)>("HostStrPut");
  return storeRefusal != 0 ? storeRefusal : real(text, target);
}
}  // extern "C"

namespace {

using vltest::HostBuf;

std::string Joined(const std::vector<std::string> &ops) {
  std::string all;
  for (const std::string &op : ops) all += (all.empty() ? "" : " ") + op;
  return all;
}

class PathsTest : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    OpLog().clear();
  }
  void TearDown() override {
    failSub = false;
    subErrno = 0;
    storeRefusal = 0;
    StateTest::TearDown();
  }
};

using PathFn = std::int32_t (*)(HostString *, HostString *);

// Runs one helper on `path` into a target of capacity 64 that held "OLD".
std::string RunPath(PathFn fn, const std::string &path, std::int32_t *result, std::string *ops) {
  HostBuf in(static_cast<int>(path.size()), path);
  HostBuf out(64, "OLD");
  OpLog().clear();
  *result = fn(&in, &out);
  *ops = Joined(OpLog());
  EXPECT_EQ(in.str(), path);  // the path itself is left as it was
  return out.str();
}

// --- 1. Results and host operations --------------------------------------------

TEST_F(PathsTest, SplitsFollowTheFirstAndLastDot) {
  const std::string binary("A\0B.C\xC4", 6);
  struct Case {
    std::string path;
    std::string base, baseOps;
    std::string head, headOps;
    std::string rest, restOps;
  } cases[] = {
      {"Dlg.Grp.Field", "field", "Len Sub(9,5) Assign", "dlg", "Len Sub(1,3) Assign", "grp.field",
       "Len Sub(5,9) Assign"},
      {"Field", "field", "Len Assign", "", "Len Put()", "", "Len Put()"},
      {"Dlg.", "", "Len Put()", "dlg", "Len Sub(1,3) Assign", "", "Len Put()"},
      {".x", "x", "Len Sub(2,1) Assign", "", "Len Put()", "x", "Len Sub(2,1) Assign"},
      {".", "", "Len Put()", "", "Len Put()", "", "Len Put()"},
      {"", "", "Len Assign", "", "Len Put()", "", "Len Put()"},
      {"a..B", "b", "Len Sub(4,1) Assign", "a", "Len Sub(1,1) Assign", ".b", "Len Sub(3,2) Assign"},
      {"A.B.", "", "Len Put()", "a", "Len Sub(1,1) Assign", "b.", "Len Sub(3,2) Assign"},
      {"~$.X~$", "x~$", "Len Sub(4,3) Assign", "~$", "Len Sub(1,2) Assign", "x~$", "Len Sub(4,3) Assign"},
      // Bytes pass unchanged except the letters; a NUL does not end the path.
      {binary, "c\xC4", "Len Sub(5,2) Assign", std::string("a\0b", 3), "Len Sub(1,3) Assign", "c\xC4",
       "Len Sub(5,2) Assign"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("path \"" + c.path + "\"");
    std::int32_t rc = -1;
    std::string ops;
    EXPECT_EQ(RunPath(u_basename, c.path, &rc, &ops), c.base);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ops, c.baseOps);
    EXPECT_EQ(RunPath(u_pathname, c.path, &rc, &ops), c.head);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ops, c.headOps);
    EXPECT_EQ(RunPath(u_rempath, c.path, &rc, &ops), c.rest);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ops, c.restOps);
  }
}

TEST_F(PathsTest, LongPathsSplitWhole) {
  const std::string first(70000, 'F');
  const std::string last(70000, 'L');
  const std::string path = first + "." + last;
  HostBuf in(static_cast<int>(path.size()), path);
  HostBuf out(70000);
  EXPECT_EQ(u_basename(&in, &out), 0);
  EXPECT_EQ(out.str(), std::string(70000, 'l'));
  EXPECT_EQ(u_pathname(&in, &out), 0);
  EXPECT_EQ(out.str(), std::string(70000, 'f'));
  HostBuf small(69999, "KEEP");
  EXPECT_EQ(u_rempath(&in, &small), 18);
  EXPECT_EQ(small.str(), "KEEP");
}

// --- 2. Failing host operations ------------------------------------------------------

TEST_F(PathsTest, FailedStoresArePassedOnAndNothingIsLowered) {
  struct Case {
    const char *what;
    PathFn fn;
    const char *path;
    bool nullSub;
    std::int32_t refusal;
    std::int32_t result;
  } cases[] = {
      {"basename, no substring", u_basename, "A.B", true, 0, 18},
      {"pathname, no substring", u_pathname, "A.B", true, 0, 18},
      {"rempath, no substring", u_rempath, "A.B", true, 0, 18},
      {"basename, assign refused", u_basename, "A.B", false, 7, 7},
      {"basename whole, assign refused", u_basename, "AB", false, 7, 7},
      {"basename empty, put refused", u_basename, "A.", false, 9, 9},
      {"pathname empty, put refused", u_pathname, "AB", false, 9, 9},
      {"rempath, assign refused", u_rempath, "A.B", false, -3, -3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    failSub = c.nullSub;
    storeRefusal = c.refusal;
    HostBuf in(8, c.path);
    HostBuf out(8, "KEEP");
    EXPECT_EQ(c.fn(&in, &out), c.result);
    EXPECT_EQ(out.str(), "KEEP");
  }
}

TEST_F(PathsTest, SubstringWithoutMemoryIsAHeapOverflow) {
  struct Case {
    std::int32_t number;  // function number for VlCall
    int error;            // errno of the failed HostStrSub
    std::int32_t result;
    const char *trace;
  } cases[] = {
      {10, ENOMEM, 2, "D1: u_basename() failed: heap overflow\n"},
      {11, ENOMEM, 2, "D1: u_pathname() failed: heap overflow\n"},
      {12, ENOMEM, 2, "D1: u_rempath() failed: heap overflow\n"},
      {10, 0, 18, ""},       // no reason given: does not fit
      {12, ERANGE, 18, ""},  // any other reason: does not fit
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + " errno " + std::to_string(c.error));
    failSub = true;
    subErrno = c.error;
    errno = ENOMEM;  // left over from before the call: not taken for the host's answer
    HostBuf in(8, "A.B");
    HostBuf out(8, "KEEP");
    void *args[] = {&in, &out};
    vltest::TraceCapture trace("D1");
    EXPECT_EQ(VlCall(c.number, args), c.result);
    EXPECT_EQ(trace.Joined(), c.trace);
    EXPECT_EQ(out.str(), "KEEP");
  }
}

TEST_F(PathsTest, ResultLongerThanTargetIsRefusedByTheHost) {
  HostBuf in(12, "DLG.LONGNAME");
  HostBuf out(3, "ABC");
  EXPECT_EQ(u_basename(&in, &out), 18);
  EXPECT_EQ(out.str(), "ABC");
  HostBuf fits(3, "ABC");
  EXPECT_EQ(u_pathname(&in, &fits), 0);
  EXPECT_EQ(fits.str(), "dlg");
}

// --- 3. u_udata ------------------------------------------------------------------------

struct UdataResult {
  std::string feldtyp;
  std::int32_t length, decimals, numtyp, required;
  double from, to;
  std::int32_t rc;
  bool operator==(const UdataResult &) const = default;
};

std::ostream &operator<<(std::ostream &os, const UdataResult &r) {
  return os << "{" << r.feldtyp << " len=" << r.length << " nk=" << r.decimals << " numtyp=" << r.numtyp
            << " muss=" << r.required << " von=" << r.from << " bis=" << r.to << " rc=" << r.rc << "}";
}

// Runs u_udata on `udata` with every out-argument starting at junk.
UdataResult RunUdata(HostBuf &udata, int feldtypCap = 32) {
  HostBuf feldtyp(feldtypCap, std::string(static_cast<std::size_t>(feldtypCap), '?'));
  UdataResult r{"", 11, 12, 13, 14, 1.5, 2.5, 15};
  EXPECT_EQ(u_udata(&udata, &feldtyp, &r.length, &r.decimals, &r.numtyp, &r.required, &r.from, &r.to, &r.rc), 0);
  r.feldtyp = feldtyp.str();
  return r;
}

TEST_F(PathsTest, UdataReadsTheFieldDescription) {
  struct Case {
    std::string udata;
    UdataResult want;
  } cases[] = {
      {"xx FELD:N,10,2,1,>5,999,M; yy", {"N", 10, 2, 1, 1, 5.0, 999.0, 1}},
      {"feld:a,20", {"", 0, 0, 0, 0, 0, 0, -1}},
      {"no description here;", {"", 0, 0, 0, 0, 0, 0, 0}},
      {"x;feld:a,3", {"", 0, 0, 0, 0, 0, 0, -1}},
      {"feld:A,30,m;", {"A", 30, 0, 0, 1, 0, 0, 1}},
      {"feld:j,5,x;", {"J", 5, 0, 0, 0, 0, 0, 1}},
      {"feld:U,7,Muss;", {"U", 7, 0, 0, 1, 0, 0, 1}},
      {"feld:D,10,m;", {"D", 10, 0, 4, 1, 0, 0, 1}},
      {"feld:K,4;", {"K", 4, 0, 7, 0, 0, 0, 1}},
      {"feld:m,8,M;", {"M", 8, 0, 7, 1, 0, 0, 1}},
      {"feld:X,9,m,1,>2,3,m;", {"X", 0, 0, 0, 0, 0, 0, 1}},
      {"feld:;", {"", 0, 0, 0, 0, 0, 0, 1}},
      {"feld:abc,12;", {"ABC", 12, 0, 0, 0, 0, 0, 1}},
      {"feld:N, 12 ,-3,x,<-1.5e2,  2.5;", {"N", 12, -3, 0, 0, -150.0, 2.5, 1}},
      {"feld:N,99999999999,-99999999999,1,,;", {"N", INT32_MAX, INT32_MIN, 1, 0, 0, 0, 1}},
      {"feld:N,1,2,3,>4,5,m,8,9,10,11,12;", {"N", 1, 2, 3, 1, 4.0, 5.0, 1}},
      {"feld:a,1;feld:b,2;", {"A", 1, 0, 0, 0, 0, 0, 1}},
      {"FeLd:~$,5;", {"~$", 0, 0, 0, 0, 0, 0, 1}},
      // The text ends at a NUL byte.
      {std::string("ab\0feld:a,1;", 12), {"", 0, 0, 0, 0, 0, 0, 0}},
      {std::string("feld:a,7;\0feld:b", 16), {"A", 7, 0, 0, 0, 0, 0, 1}},
      // Only the first 1023 bytes are read.
      {std::string(1014, 'x') + "feld:a,1;", {"A", 1, 0, 0, 0, 0, 0, 1}},
      {std::string(1016, 'x') + "feld:a,1;", {"", 0, 0, 0, 0, 0, 0, -1}},
      {std::string(1100, 'x') + "feld:a,1;", {"", 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("udata \"" + c.udata.substr(0, 40) + "\"");
    HostBuf udata(static_cast<int>(c.udata.size()), c.udata);
    EXPECT_EQ(RunUdata(udata), c.want);
  }
}

TEST_F(PathsTest, UdataTurnsTheHostTextToLowerCase) {
  const std::string text("Xx FELD:A,5;\0\xC4Z", 16);
  HostBuf udata(static_cast<int>(text.size()), text);
  RunUdata(udata);
  EXPECT_EQ(udata.str(), std::string("xx feld:a,5;\0\xC4z", 16));
}

TEST_F(PathsTest, UdataIgnoresARefusedTypeStore) {
  HostBuf udata(16, "feld:A,5,m;");
  const UdataResult r = RunUdata(udata, 0);
  EXPECT_EQ(r, (UdataResult{"", 5, 0, 0, 1, 0, 0, 1}));
}

// --- 4. Dispatch ---------------------------------------------------------------------

TEST_F(PathsTest, FunctionsAreReachedThroughVlCall) {
  HostBuf path(13, "Dlg.Grp.Field");
  HostBuf out(16);
  void *args[] = {&path, &out};
  EXPECT_EQ(VlCall(10, args), 0);
  EXPECT_EQ(out.str(), "field");
  EXPECT_EQ(VlCall(11, args), 0);
  EXPECT_EQ(out.str(), "dlg");
  EXPECT_EQ(VlCall(12, args), 0);
  EXPECT_EQ(out.str(), "grp.field");

  HostBuf udata(16, "feld:K,4;");
  HostBuf feldtyp(4);
  std::int32_t length = 0, decimals = 0, numtyp = 0, required = 0, rc = 0;
  double from = 0, to = 0;
  void *udataArgs[] = {&udata, &feldtyp, &length, &decimals, &numtyp, &required, &from, &to, &rc};
  EXPECT_EQ(VlCall(9, udataArgs), 0);
  EXPECT_EQ(feldtyp.str(), "K");
  EXPECT_EQ(numtyp, 7);
  EXPECT_EQ(rc, 1);
}

}  // namespace
