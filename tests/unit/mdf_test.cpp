// Test plan for the module definition reader (mdf.cpp):
//   mdf.entries      which rows are returned, how values accumulate, the XBUF form
//   mdf.filters      filter words, prefixes, the ignored diagnostics
//   mdf.failures     limits, missing files, no free handle, memory, small buffers
//   mdf.cache        what is answered from the cache and when the file is read again
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "buffers.h"
#include "host.h"
#include "ini.h"
#include "ini_int.h"
#include "services_int.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;
using vltest::TempDir;
using vltest::WriteFile;

class Mdf : public vltest::StateTest {
 protected:
  void SetUp() override {
    StateTest::SetUp();
    HostDebugLevel = 0;
  }
  void TearDown() override {
    HostDebugLevel = 0;
    StateTest::TearDown();
  }
  std::string File(const std::string &name, const std::string &bytes) {
    const std::string path = dir / name;
    WriteFile(path, bytes);
    return path;
  }
  // Calls mdf_Get; the XBUF's bytes (by its length) go to `xbuf`.
  std::int32_t Get(const std::string &fname, const char *section, const char *filter, std::string &xbuf,
                   std::int32_t &rc, int cap = 1024) {
    HostBuf buf(cap, cap >= 3 ? "old" : "");
    rc = 99;
    const std::int32_t result = mdf_Get(fname.c_str(), section, filter, &buf, &rc);
    xbuf = buf.str();
    return result;
  }
  // Runs a call with HostDebugLevel 1 and returns what it wrote on standard error.
  std::string Diagnostics(const std::string &fname, const char *section, const char *filter) {
    HostDebugLevel = 1;
    std::string xbuf;
    std::int32_t rc = 0;
    testing::internal::CaptureStderr();
    Get(fname, section, filter, xbuf, rc);
    HostDebugLevel = 0;
    return testing::internal::GetCapturedStderr();
  }
  TempDir dir;
};

const char kModule[] =
    "[Other]\r\n"
    "TITEL = other title\r\n"
    "[Mod]\r\n"
    "Titel = The title\r\n"
    "DESCRIPTION = described\r\n"
    "MODUL = mod1\r\n"
    "ENTRY = 7\r\n"
    "GRUPPE = grp\r\n"
    "FUNKTIONEN = x\r\n"
    "FUNKTIONEN = y\r\n"
    "FUNCTIONS = z\r\n"
    "DSETS = sets\r\n"
    "TEXT = text\r\n"
    "XYZ = unknown\r\n"
    "DIALOG = a~b$c\r\n";

// The entries of an XBUF as "name=value" texts, read back with the XBUF readers.
std::vector<std::string> Entries(const std::string &xbuf) {
  std::vector<std::string> out;
  std::string_view rest = xbuf;
  while (!rest.empty() && rest != "$") {
    vl::XbufEntry entry;
    const int head = vl::GetEntryHead(rest, entry);
    if (head < 0) return {"<bad head>"};
    rest.remove_prefix(static_cast<std::size_t>(head));
    const long value = vl::GetEntryValue(rest, entry);
    if (value < 0 || static_cast<std::size_t>(value) > rest.size()) return {"<bad value>"};
    out.push_back(std::string(entry.type == vl::kXbufNumeric ? "N " : "X ") + entry.name + "=" +
                  std::string(entry.value, entry.valueLength));
    rest.remove_prefix(static_cast<std::size_t>(value));
  }
  return out;
}

TEST_F(Mdf, entries_in_table_order) {
  const std::string path = File("m.mdf", kModule);
  std::string xbuf;
  std::int32_t rc = 0;
  ASSERT_EQ(Get(path, "mod", "", xbuf, rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(xbuf,
            "XMdf_title~0~9~The title"
            "XMdf_title~0~9~described"
            "XMdf_mod~0~4~mod1"
            "NMdf_entry~0~1~7"
            "XMdf_grp~0~3~grp"
            "XMdf_caps~0~3~x,y"
            "XMdf_caps~0~1~z"
            "XMdf_dlg~0~5~a~b$c"
            "$");
  EXPECT_EQ(Entries(xbuf).back(), "X mdf_dlg=a~b$c");  // read back whole by its length
}

TEST_F(Mdf, empty_values_accumulate) {
  const std::string path = File("m.mdf", "[m]\nTITEL =\nTITEL = a\nMODUL = b\nMODUL =\nREV=\n");
  std::string xbuf;
  std::int32_t rc = 0;
  ASSERT_EQ(Get(path, "m", "", xbuf, rc), 0);
  EXPECT_EQ(Entries(xbuf), (std::vector<std::string>{"X mdf_title=a", "X mdf_mod=b,", "X mdf_rev="}));
}

TEST_F(Mdf, missing_section_gives_only_the_end_mark) {
  const std::string path = File("m.mdf", kModule);
  std::string xbuf;
  std::int32_t rc = 0;
  ASSERT_EQ(Get(path, "nowhere", "", xbuf, rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(xbuf, "$");
}

TEST_F(Mdf, filters) {
  struct Case {
    const char *filter;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"", {"title", "title", "mod", "entry", "grp", "caps", "caps", "dlg"}},
      {"*", {"title", "title", "mod", "entry", "grp", "caps", "caps", "dlg"}},
      {"Mdf_title,GRP", {"title", "title", "grp"}},
      {"grp,mdf_TITLE", {"title", "title", "grp"}},  // table order, not filter order
      {"title,,mod", {"title", "title", "mod"}},
      {"caps,", {"caps", "caps"}},
      {"dlg,Mdf_", {"dlg"}},
      {"dsets,text,xyz", {}},  // known but never returned
      {"*,mod", {"mod"}},      // "*" only alone means everything
      {" mod", {}},            // words are not trimmed
  };
  const std::string path = File("m.mdf", kModule);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.filter);
    std::string xbuf;
    std::int32_t rc = 0;
    ASSERT_EQ(Get(path, "mod", c.filter, xbuf, rc), 0);
    std::vector<std::string> names;
    for (const auto &e : Entries(xbuf)) names.push_back(e.substr(6, e.find('=') - 6));
    EXPECT_EQ(names, c.entries);
  }
}

TEST_F(Mdf, diagnostics) {
  const std::string path = File("m.mdf", kModule);
  EXPECT_EQ(Diagnostics(path, "mod", "title,,mod,Mdf_nope,x,"),
            "mdf_Get: section = mod\n"
            "mdf_Get: do_filter: ignored: \n"
            "mdf_Get: do_filter: ignored: nope\n"
            "mdf_Get: do_filter: ignored: x\n"
            "mdf_Get: do_read: ignored: XYZ (unknown)\n");
  // From the cache: no read, so no read diagnostics.
  EXPECT_EQ(Diagnostics(path, "MOD", ""), "mdf_Get: section = MOD\n");
  std::string xbuf;
  std::int32_t rc = 0;
  testing::internal::CaptureStderr();
  Get(path, "other", "nope", xbuf, rc);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // silent while HostDebugLevel is 0
}

TEST_F(Mdf, limits) {
  const std::string path = File("m.mdf",
                                "[m]\nENTRY = 12\nREV = " + std::string(19, 'r') + "\nTITEL = " +
                                    std::string(30, 't') + "\nTITEL = " + std::string(29, 't') + "\nMODUL = ok\n");
  EXPECT_EQ(Diagnostics(path, "m", ""),
            "mdf_Get: section = m\n"
            "mdf_Get: ENTRY exceeds limit of 1 (len = 2)\n"
            "mdf_Get: REV exceeds limit of 18 (len = 19)\n");
  std::string xbuf;
  std::int32_t rc = 0;
  ASSERT_EQ(Get(path, "m", "", xbuf, rc), 0);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(xbuf, "old");  // untouched
  // 30 + 1 + 29 = 60: exactly the limit of TITEL.
  WriteFile(path, "[m]\nTITEL = " + std::string(30, 't') + "\nTITEL = " + std::string(29, 't') + "\n");
  ASSERT_EQ(Get(path, "m", "", xbuf, rc), 0);  // read again after the failure
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Entries(xbuf), std::vector<std::string>{"X mdf_title=" + std::string(30, 't') + "," +
                                                    std::string(29, 't')});
}

TEST_F(Mdf, open_failures) {
  std::string xbuf;
  std::int32_t rc = 0;
  ASSERT_EQ(Get(dir / "missing.mdf", "m", "", xbuf, rc), 0);
  EXPECT_EQ(rc, -ENOENT);
  EXPECT_EQ(xbuf, "old");
  ASSERT_EQ(Get(dir.path().string(), "m", "", xbuf, rc), 0);
  EXPECT_EQ(rc, -EISDIR);
  const std::string path = File("m.mdf", kModule);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(vl::IniOpen(path.c_str(), ""), i);
  ASSERT_EQ(Get(path, "mod", "", xbuf, rc), 0);
  EXPECT_EQ(rc, -ENOSPC);
  vl::IniClose(1);
  ASSERT_EQ(Get(path, "mod", "", xbuf, rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(vl::IniHandleState(1), -1);  // the reader gave its handle back
}

TEST_F(Mdf, memory_exhausted) {
  const std::string path = File("m.mdf", kModule);
  std::string xbuf;
  std::int32_t rc = 0;
  vl::FailAllocationsAfter(0);  // the copy of the section name
  ASSERT_EQ(Get(path, "mod", "", xbuf, rc), 0);
  EXPECT_EQ(rc, -ENOMEM);
  vl::FailAllocationsAfter(4);  // the third value (after the section name, the file and its stream)
  HostDebugLevel = 1;
  testing::internal::CaptureStderr();
  ASSERT_EQ(Get(path, "mod", "", xbuf, rc), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  HostDebugLevel = 0;
  EXPECT_EQ(rc, -ENOMEM);
  EXPECT_EQ(xbuf, "old");
  EXPECT_NE(err.find("mdf_Get: do_read: errno = 12, sz = 10\n"), std::string::npos) << err;  // "described"
  vl::FailAllocationsAfter(-1);
  ASSERT_EQ(Get(path, "mod", "", xbuf, rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(Entries(xbuf).size(), 8u);
}

TEST_F(Mdf, buffer_too_small) {
  const std::string path = File("m.mdf", kModule);
  struct Case {
    const char *section;
    int cap;
    std::int32_t result;
  };
  const std::string full = "XMdf_title~0~9~The title$";
  const Case cases[] = {
      {"mod", 10, 18},                                     // not even the first entry
      {"mod", static_cast<int>(full.size()) - 1, 18},      // the entry without its spare byte
      {"nowhere", 0, 18},                                  // no room for the end mark
      {"nowhere", 1, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.cap));
    std::string xbuf;
    std::int32_t rc = 0;
    EXPECT_EQ(Get(path, c.section, "title", xbuf, rc, c.cap), c.result);
    EXPECT_EQ(rc, 0);
  }
  std::string xbuf;
  std::int32_t rc = 0;
  // Two title rows: the first with its spare byte fits, the second does not.
  EXPECT_EQ(Get(path, "mod", "title", xbuf, rc, static_cast<int>(full.size())), 18);
  EXPECT_EQ(xbuf.size(), 3u);  // the length is kept (the bytes may be overwritten)
}

TEST_F(Mdf, cache) {
  const std::string path = File("m.mdf", "[m]\nMODUL = first\n");
  const std::string other = File("o.mdf", "[m]\nMODUL = other file\n");
  std::string xbuf;
  std::int32_t rc = 0;
  ASSERT_EQ(Get(path, "m", "", xbuf, rc), 0);
  WriteFile(path, "[m]\nMODUL = second\n[n]\nMODUL = n\n");
  ASSERT_EQ(Get(path, "M", "", xbuf, rc), 0);  // same section: from the cache
  EXPECT_EQ(Entries(xbuf), std::vector<std::string>{"X mdf_mod=first"});
  ASSERT_EQ(Get(other, "m", "", xbuf, rc), 0);  // another file is read
  EXPECT_EQ(Entries(xbuf), std::vector<std::string>{"X mdf_mod=other file"});
  ASSERT_EQ(Get(path, "n", "", xbuf, rc), 0);
  ASSERT_EQ(Get(path, "m", "", xbuf, rc), 0);  // another section dropped the cache
  EXPECT_EQ(Entries(xbuf), std::vector<std::string>{"X mdf_mod=second"});
  WriteFile(path, "[m]\nMODUL = third\n");
  EXPECT_EQ(Get(path, "m", "", xbuf, rc, 5), 18);  // a buffer too small drops it too
  ASSERT_EQ(Get(path, "m", "", xbuf, rc), 0);
  EXPECT_EQ(Entries(xbuf), std::vector<std::string>{"X mdf_mod=third"});
}

TEST_F(Mdf, through_vlcall) {
  const std::string path = File("m.mdf", kModule);
  HostBuf xbuf(64);
  std::int32_t rc = 99;
  void *args[] = {const_cast<char *>(path.c_str()), const_cast<char *>("Mod"), const_cast<char *>("mod"), &xbuf, &rc};
  ASSERT_EQ(VlCall(46, args), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(xbuf.str(), "XMdf_mod~0~4~mod1$");
}

}  // namespace
