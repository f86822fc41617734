// Test plan for the INI host functions (iniserv.cpp):
//   ini_get.*    ini_GetInt and ini_GetString: values, defaults, cuts by cap
//   ini_set.*    ini_SetString: the file after each kind of write, bad targets,
//                the new content surviving a failed rename or copy, the copy
//                path (room reserved first), failures of the temporary file,
//                a failure line for each, owner and mode kept or traced
//   memory_*     every allocation of a look-up, an open and a write failing in
//                turn: result 2 with its line under I, no file changed or left
//                open, a symbolic link never replaced
//   ini_walk.*   the handle functions through VlCall: lengths, eof, caps
//   ini_trace.*  the category I trace lines of every function
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host.h"
#include "ini_host.h"
#include "failing_new.h"
#include "testutil.h"

namespace {

using vltest::HostBuf;
using vltest::ReadFile;
using vltest::TempDir;
using vltest::TraceCapture;
using vltest::WriteFile;

class IniServ : public vltest::StateTest {
 protected:
  std::string File(const std::string &name, const std::string &bytes) {
    const std::string path = dir / name;
    WriteFile(path, bytes);
    return path;
  }
  // Names in the folder, sorted.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  TempDir dir;
};

const char kSample[] =
    "; settings\r\n"
    "top = 7\r\n"
    "[ Main ]\r\n"
    "name = a b ; comment\r\n"
    "quoted = \"a b\" ; comment\r\n"
    "cut = \"a;b\"\r\n"
    "kept = '  x  '\r\n"
    "bare =   x  \r\n"
    "empty =\r\n"
    "nine = 123456789\r\n"
    "neg =  -42abc\r\n"
    "plus = +17\r\n"
    "word = abc\r\n"
    "huge = 99999999999\r\n"
    "tiny = -99999999999\r\n"
    "spaced = ' 12'\r\n"
    "special = a~b$c\r\n"
    "[other]\r\n"
    "name = other\r\n";

// ---------------------------------------------------------------------------
// Look-up by file name
// ---------------------------------------------------------------------------

TEST_F(IniServ, get_string_values) {
  struct Case {
    const char *section;
    const char *entry;
    const char *expected;
  };
  const Case cases[] = {
      {"main", "name", "a b"},
      {"MAIN", "quoted", "a b"},
      {"main", "cut", "a"},
      {"main", "kept", "  x  "},
      {"main", "bare", "x"},
      {"main", "empty", ""},       // found, even empty: not the default
      {"main", "special", "a~b$c"},
      {"", "top", "7"},            // the empty section is the top of the file
      {"", "name", "def"},
      {"other", "name", "other"},
      {"main", "missing", "def"},
      {"missing", "name", "def"},
  };
  const std::string path = File("s.ini", kSample);
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.entry);
    HostBuf val(1024, "old value");
    EXPECT_EQ(ini_GetString(c.section, c.entry, "def", path.c_str(), &val), 0);
    EXPECT_EQ(val.str(), c.expected);
  }
}

TEST_F(IniServ, get_string_cuts_to_cap) {
  const std::string path = File("s.ini", kSample + std::string("long = ") + std::string(1100, 'v') + "\r\n");
  struct Case {
    const char *section;
    const char *entry;
    int cap;
    std::size_t length;
  };
  const Case cases[] = {
      {"main", "nine", 5, 5},   {"main", "nine", 9, 9},  {"main", "nine", 0, 0}, {"main", "nine", -3, 0},
      {"main", "missing", 2, 2},     // the default is cut too
      {"other", "long", 2000, 1016},  // the value of a 1023-byte piece: 1023 - "long = "
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " cap " + std::to_string(c.cap));
    HostBuf val(std::max(c.cap, 0) + 1, "");
    val.hs.cap = c.cap;
    EXPECT_EQ(ini_GetString(c.section, c.entry, "def", path.c_str(), &val), 0);
    EXPECT_EQ(static_cast<std::size_t>(val.hs.len), c.length);
  }
  HostBuf val(5);
  ASSERT_EQ(ini_GetString("main", "nine", "def", path.c_str(), &val), 0);
  EXPECT_EQ(val.str(), "12345");
}

TEST_F(IniServ, get_string_default_is_cut_to_1023) {
  const std::string def(3000, 'd');
  HostBuf val(4000);
  EXPECT_EQ(ini_GetString("s", "k", def.c_str(), (dir / "missing.ini").c_str(), &val), 0);
  EXPECT_EQ(val.str(), std::string(1023, 'd'));
}

TEST_F(IniServ, get_int_values) {
  struct Case {
    const char *entry;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"nine", 123456789}, {"neg", -42},         {"plus", 17},         {"word", 0},
      {"empty", -5},       // an empty value gives the default
      {"missing", -5},     {"huge", INT32_MAX},  {"tiny", INT32_MIN},  {"spaced", 12},
  };
  const std::string path = File("s.ini", kSample);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.entry);
    std::int32_t val = 99;
    EXPECT_EQ(ini_GetInt("main", c.entry, -5, path.c_str(), &val), 0);
    EXPECT_EQ(val, c.expected);
  }
}

TEST_F(IniServ, get_from_bad_files_gives_the_default) {
  const std::string binary = File("b.bin", std::string("k=\0\xff\xfe\n[s]\n\x01=\x02\n", 13));
  const std::string paths[] = {dir / "missing.ini", dir.path().string(), binary, ""};
  for (const std::string &path : paths) {
    SCOPED_TRACE(path);
    std::int32_t val = 0;
    EXPECT_EQ(ini_GetInt("s", "k", 31, path.c_str(), &val), 0);
    EXPECT_EQ(val, 31);
    HostBuf str(16);
    EXPECT_EQ(ini_GetString("s", "k", "def", path.c_str(), &str), 0);
    EXPECT_EQ(str.str(), "def");
  }
  HostBuf str(16);
  ASSERT_EQ(ini_GetString("", "k", "def", binary.c_str(), &str), 0);
  EXPECT_EQ(str.str(), "");  // the value ends at the NUL
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

TEST_F(IniServ, set_string_files) {
  struct Case {
    const char *id;
    std::string before;  // "-": no file
    const char *section;
    const char *entry;
    const char *value;
    std::string after;
  };
  const std::string longLine = ";" + std::string(1022, 'c') + "[T]\r\n";
  const Case cases[] = {
      {"new file with section", "-", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"new file without section", "-", "", "k", "v", "k=v\r\n"},
      {"insert before the next header", "[S]\r\na=1\r\n[T]\r\nb=2\r\n", "S", "k", "v",
       "[S]\r\na=1\r\nk=v\r\n[T]\r\nb=2\r\n"},
      {"replace keeps the other line ends", "[S]\na=1\nk = old ; c\nz=2\n", "s", "K", "new",
       "[S]\na=1\nK=new\r\nz=2\n"},
      {"only the first duplicate", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "v", "[S]\r\nk=v\r\nk=2\r\n"},
      {"comments are copied", "[S]\r\n;k=1\r\n#k=2\r\nk=3\r\n", "S", "k", "v", "[S]\r\n;k=1\r\n#k=2\r\nk=v\r\n"},
      {"missing section appended", "[S]\r\na=1\r\n", "T", "k", "v", "[S]\r\na=1\r\n\r\n[T]\r\nk=v\r\n"},
      {"missing section, no final line end", "[S]\r\na=1", "T", "k", "v", "[S]\r\na=1\r\n[T]\r\nk=v\r\n"},
      {"end of file without line end", "[S]\r\na=1", "S", "k", "v", "[S]\r\na=1\r\nk=v\r\n"},
      {"header without line end", "[S]", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"empty section name", "a=1\r\n[S]\r\nk=0\r\n", "", "k", "v", "a=1\r\nk=v\r\n[S]\r\nk=0\r\n"},
      {"empty section name, replace", "k=1\r\n[S]\r\n", "", "K", "v", "K=v\r\n[S]\r\n"},
      {"empty file", "", "S", "k", "v", "\r\n[S]\r\nk=v\r\n"},
      {"header name trimmed, any case", "[ s ]\r\n", "S", "k", "v", "[ s ]\r\nk=v\r\n"},
      {"values with ~ and $", "[S]\r\n", "S", "k", "a~b$c", "[S]\r\nk=a~b$c\r\n"},
      {"nul bytes are copied", std::string("[S]\r\nx=\0y\r\n", 11), "S", "k", "v",
       std::string("[S]\r\nx=\0y\r\nk=v\r\n", 16)},
      {"nothing inside a long line", "[S]\r\n" + longLine + "a=1\r\n", "S", "k", "v",
       "[S]\r\n" + longLine + "a=1\r\nk=v\r\n"},
      {"long line before the section", longLine + "[S]\r\n", "S", "k", "v", longLine + "[S]\r\nk=v\r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const std::string path = dir / "set.ini";
    std::filesystem::remove(path);
    if (c.before != "-") WriteFile(path, c.before);
    EXPECT_EQ(ini_SetString(c.section, c.entry, c.value, path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), c.after);
    EXPECT_EQ(Listing(), std::vector<std::string>{"set.ini"});  // no temporary file left
  }
}

TEST_F(IniServ, set_string_then_get_string) {
  const std::string path = File("s.ini", kSample);
  ASSERT_EQ(ini_SetString("other", "added", "new value", path.c_str()), 0);
  ASSERT_EQ(ini_SetString("main", "name", "changed", path.c_str()), 0);
  HostBuf val(64);
  ASSERT_EQ(ini_GetString("other", "added", "", path.c_str(), &val), 0);
  EXPECT_EQ(val.str(), "new value");
  ASSERT_EQ(ini_GetString("main", "name", "", path.c_str(), &val), 0);
  EXPECT_EQ(val.str(), "changed");
  ASSERT_EQ(ini_GetString("main", "special", "", path.c_str(), &val), 0);
  EXPECT_EQ(val.str(), "a~b$c");
}

TEST_F(IniServ, set_string_refuses_bad_targets) {
  const std::string sub = dir / "sub";
  std::filesystem::create_directory(sub);
  EXPECT_EQ(vl::IniWriteEntry(sub.c_str(), "S", "k", "v"), vl::IniWrite::kUnchanged);
  EXPECT_TRUE(std::filesystem::is_directory(sub));
  EXPECT_TRUE(std::filesystem::is_empty(sub));
  EXPECT_EQ(vl::IniWriteEntry((dir / "no/such/folder.ini").c_str(), "S", "k", "v"), vl::IniWrite::kUnchanged);
  // A dangling link is not followed into a new file.
  std::filesystem::create_symlink(dir / "nowhere.ini", dir / "dangling.ini");
  EXPECT_EQ(vl::IniWriteEntry((dir / "dangling.ini").c_str(), "S", "k", "v"), vl::IniWrite::kUnchanged);
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere.ini"));
}

TEST_F(IniServ, set_string_keeps_links_and_modes) {
  const std::string real = File("real.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  std::filesystem::create_symlink(real, dir / "link.ini");
  ASSERT_EQ(vl::IniWriteEntry((dir / "link.ini").c_str(), "S", "k", "2"), vl::IniWrite::kRewritten);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(ReadFile(real), "[S]\r\nk=2\r\n");
  struct stat info {};
  ASSERT_EQ(stat(real.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(IniServ, set_string_read_only_file_is_left_alone) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes any file";
  const std::string path = File("ro.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kUnchanged);
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\n");
  EXPECT_EQ(Listing(), std::vector<std::string>{"ro.ini"});
}

TEST_F(IniServ, set_string_unreadable_file_is_left_alone) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads any file";
  const std::string path = File("locked.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0200), 0);
  EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kUnchanged);
  chmod(path.c_str(), 0600);
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\n");
}

// Provoked failures of the step that puts the new content in place.
int RenameRefused(const char *, const char *) {
  errno = EACCES;
  return -1;
}
int RenameAcrossDevices(const char *, const char *) {
  errno = EXDEV;
  return -1;
}
int TargetRefused(const char *) {
  errno = EROFS;
  return -1;
}
int DiskFull(int, off_t) { return ENOSPC; }
// Lets `writesLeft` writes through and fails the ones after them.
int writesLeft = 0;
ssize_t WriteFailsLater(int fd, const void *bytes, std::size_t size) {
  if (writesLeft-- <= 0) {
    errno = EIO;
    return -1;
  }
  return write(fd, bytes, size);
}

// The temporary file named in a "cannot replace" line of the trace.
std::string KeptTemporary(const std::string &line) {
  const std::string mark = "new content kept in '";
  const std::size_t at = line.find(mark);
  if (at == std::string::npos || line.back() != '\'') return "";
  return line.substr(at + mark.size(), line.size() - at - mark.size() - 1);
}

TEST_F(IniServ, set_string_failed_rename_keeps_the_new_content) {
  const std::string path = File("s.ini", "[S]\r\nk=1\r\n");
  const vl::IniWriteOps ops{.rename = &RenameRefused};
  vl::SetIniWriteOpsForTest(&ops);
  TraceCapture trace("I1");
  EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kKeptTemporary);
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=1\r\n");  // unchanged
  const auto names = Listing();
  ASSERT_EQ(names.size(), 2u);
  const std::string temp = dir / names[1];
  EXPECT_EQ(names[1].rfind("s.ini.", 0), 0u);
  EXPECT_EQ(ReadFile(temp), "[S]\r\nk=2\r\n");
  ASSERT_EQ(trace.lines().size(), 1u);
  EXPECT_EQ(trace.lines()[0], "I1: ini_SetString() failed: cannot replace '" + path +
                                  "' (Permission denied), new content kept in '" + temp + "'");
}

TEST_F(IniServ, set_string_copies_across_devices) {
  const std::string tail = std::string(5000, ';') + "\r\n";
  struct Case {
    const char *id;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"grows", "[S]\r\nk=1\r\n" + tail, "[S]\r\nk=22\r\n" + tail},
      {"shrinks", "[S]\r\nk=" + std::string(900, 'v') + "\r\n" + tail, "[S]\r\nk=22\r\n" + tail},
      {"from empty", "", "\r\n[S]\r\nk=22\r\n"},
  };
  const vl::IniWriteOps ops{.rename = &RenameAcrossDevices};
  vl::SetIniWriteOpsForTest(&ops);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const std::string path = File("s.ini", c.before);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ino_t inode = 0;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    inode = info.st_ino;
    EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "22"), vl::IniWrite::kRewritten);
    EXPECT_EQ(ReadFile(path), c.after);
    EXPECT_EQ(Listing(), std::vector<std::string>{"s.ini"});
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, inode);  // written in place: the same file, with its mode
    EXPECT_EQ(info.st_mode & 07777, 0640u);
  }
}

TEST_F(IniServ, set_string_failed_copy_keeps_the_new_content) {
  struct Case {
    const char *id;
    vl::IniWriteOps ops;
    const char *reason;
    bool targetUnchanged;  // the failure came before the target was touched
  };
  const Case cases[] = {
      {"disk full", {.rename = &RenameAcrossDevices, .reserve = &DiskFull}, "No space left on device", true},
      {"target refused", {.rename = &RenameAcrossDevices, .openTarget = &TargetRefused}, "Read-only file system",
       true},
      {"write fails part-way", {.rename = &RenameAcrossDevices, .write = &WriteFailsLater}, "Input/output error",
       false},
  };
  const std::string before = "[S]\r\nk=1\r\n" + std::string(3000, ';') + "\r\n";
  const std::string after = "[S]\r\nk=2\r\n" + std::string(3000, ';') + "\r\n";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    for (const auto &name : Listing()) std::filesystem::remove(dir / name);
    const std::string path = File("s.ini", before);
    vl::SetIniWriteOpsForTest(&c.ops);
    writesLeft = 1;  // the first block is written, the second fails
    TraceCapture trace("I1");
    EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kKeptTemporary);
    const auto names = Listing();
    ASSERT_EQ(names.size(), 2u);
    const std::string temp = dir / names[1];
    EXPECT_EQ(ReadFile(temp), after);
    if (c.targetUnchanged) {
      EXPECT_EQ(ReadFile(path), before);
    }
    ASSERT_EQ(trace.lines().size(), 1u);
    EXPECT_EQ(trace.lines()[0], "I1: ini_SetString() failed: cannot replace '" + path + "' (" + c.reason +
                                    "), new content kept in '" + temp + "'");
  }
}

// A name too long for a temporary name beside it: the new content goes through
// the system's temporary folder and is then written over the file in place (also
// as root, who may write into any folder).
TEST_F(IniServ, set_string_without_a_temporary_file_beside_the_target) {
  const std::string path = File(std::string(250, 'n'), "[S]\r\nk=1\r\n");
  EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kRewritten);
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=2\r\n");
  EXPECT_EQ(Listing().size(), 1u);

  // A full disk leaves the file as it was; the new content is kept aside.
  const vl::IniWriteOps ops{.reserve = &DiskFull};
  vl::SetIniWriteOpsForTest(&ops);
  TraceCapture trace("I1");
  EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "3"), vl::IniWrite::kKeptTemporary);
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=2\r\n");
  ASSERT_EQ(trace.lines().size(), 1u);
  const std::string temp = KeptTemporary(trace.lines()[0]);
  EXPECT_EQ(trace.lines()[0], "I1: ini_SetString() failed: cannot replace '" + path +
                                  "' (No space left on device), new content kept in '" + temp + "'");
  EXPECT_EQ(std::filesystem::path(temp).parent_path(), std::filesystem::temp_directory_path());
  EXPECT_EQ(ReadFile(temp), "[S]\r\nk=3\r\n");
  std::filesystem::remove(temp);
}

// Streams for the temporary file that fail: on a full disk, or none at all.
std::FILE *TempOnFullDisk(int fd) {
  close(fd);
  return std::fopen("/dev/full", "wb");
}
std::FILE *TempRefused(int fd) {
  close(fd);
  errno = EMFILE;
  return nullptr;
}

TEST_F(IniServ, set_string_failed_temporary_file_is_traced) {
  struct Case {
    const char *id;
    std::FILE *(*openTemp)(int);
    std::size_t fileBytes;  // beyond the stdio buffer, a write fails while copying
    std::string line;       // the trace line, "<temp>" standing for the temporary file
  };
  const std::string path = dir / "s.ini";
  const Case cases[] = {
      {"flush on a full disk", &TempOnFullDisk, 10,
       "I1: ini_SetString() failed: cannot write '<temp>' (No space left on device)"},
      {"write on a full disk", &TempOnFullDisk, 100000,
       "I1: ini_SetString() failed: cannot write '<temp>' (No space left on device)"},
      {"no stream", &TempRefused, 10,
       "I1: ini_SetString() failed: cannot create a temporary file for '" + path + "' (Too many open files)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const std::string before = "[S]\r\nk=1\r\n" + std::string(c.fileBytes, ';');
    WriteFile(path, before);
    const vl::IniWriteOps ops{.openTemp = c.openTemp};
    vl::SetIniWriteOpsForTest(&ops);
    TraceCapture trace("I1");
    EXPECT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kUnchanged);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(Listing(), std::vector<std::string>{"s.ini"});  // the temporary file is gone
    ASSERT_EQ(trace.lines().size(), 1u);
    std::string line = c.line;
    if (const std::size_t at = line.find("<temp>"); at != std::string::npos) {
      const std::size_t quote = trace.lines()[0].find('\'');
      const std::string temp = trace.lines()[0].substr(quote + 1, trace.lines()[0].find('\'', quote + 1) - quote - 1);
      EXPECT_EQ(temp.rfind(path + ".", 0), 0u) << temp;
      line.replace(at, 6, temp);
    }
    EXPECT_EQ(trace.lines()[0], line);
  }
}

TEST_F(IniServ, set_string_failures_are_traced) {
  const std::string sub = dir / "sub";
  std::filesystem::create_directory(sub);
  std::filesystem::create_symlink(dir / "nowhere.ini", dir / "dangling.ini");
  std::filesystem::create_symlink(dir / "loop.ini", dir / "loop.ini");
  struct Case {
    std::string fname;
    std::string line;
  };
  const Case cases[] = {
      {sub, "I1: ini_SetString() failed: cannot open '" + sub + "' (Is a directory)"},
      {dir / "no/such/folder.ini",
       "I1: ini_SetString() failed: cannot create '" + (dir / "no/such/folder.ini") + "' (No such file or directory)"},
      // A dangling link is not followed into a new file.
      {dir / "dangling.ini",
       "I1: ini_SetString() failed: cannot create '" + (dir / "dangling.ini") + "' (File exists)"},
      {dir / "loop.ini",
       "I1: ini_SetString() failed: cannot open '" + (dir / "loop.ini") + "' (Too many levels of symbolic links)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fname);
    TraceCapture trace("I1");
    EXPECT_EQ(ini_SetString("S", "k", "v", c.fname.c_str()), 0);
    EXPECT_EQ(trace.Joined(), c.line + "\n");
  }
  EXPECT_TRUE(std::filesystem::is_empty(sub));
  EXPECT_FALSE(std::filesystem::exists(dir / "nowhere.ini"));
}

// Root may give a file away: the rewritten file keeps owner, group and mode.
TEST_F(IniServ, set_string_keeps_the_owner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  const std::string path = File("s.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 02640), 0);
  ASSERT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kRewritten);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 4322u);
  EXPECT_EQ(info.st_mode & 07777, 02640u);
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=2\r\n");
}

int ChownRefused(int, uid_t, gid_t) {
  errno = EPERM;
  return -1;
}
int ChmodRefused(int, mode_t) {
  errno = EPERM;
  return -1;
}

TEST_F(IniServ, set_string_traces_what_it_cannot_keep) {
  const std::string path = File("s.ini", "[S]\r\nk=1\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  const vl::IniWriteOps noMode{.chmod = &ChmodRefused};
  vl::SetIniWriteOpsForTest(&noMode);
  TraceCapture trace("I2");
  ASSERT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "2"), vl::IniWrite::kRewritten);
  EXPECT_EQ(trace.Joined(), "I2: ini_SetString() warning: cannot keep the mode of '" + path +
                                "' (Operation not permitted)\n");
  EXPECT_EQ(ReadFile(path), "[S]\r\nk=2\r\n");

  if (geteuid() != 0) GTEST_SKIP() << "only root may make a file of another user";
  ASSERT_EQ(chown(path.c_str(), 4321, 4322), 0);
  ASSERT_EQ(chmod(path.c_str(), 04644), 0);
  const vl::IniWriteOps noOwner{.chown = &ChownRefused};
  vl::SetIniWriteOpsForTest(&noOwner);
  trace.lines().clear();
  ASSERT_EQ(vl::IniWriteEntry(path.c_str(), "S", "k", "3"), vl::IniWrite::kRewritten);
  EXPECT_EQ(trace.Joined(), "I2: ini_SetString() warning: cannot keep the owner of '" + path +
                                "' (Operation not permitted)\n");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);  // no set-user-ID bit for the new owner
}

// ---------------------------------------------------------------------------
// Memory exhaustion: every call fails with a heap overflow (result 2 and its
// line under category I), leaves no file open and changes no file.
// ---------------------------------------------------------------------------

std::int32_t Call(std::int32_t number, std::vector<void *> args) { return VlCall(number, args.data()); }

// Runs `call` (which must allocate nothing itself) with its n-th allocation
// failing, for n = 0, 1, ... until none fails: through the allocation seam (that
// one and every one after it) and through operator new (that one alone). A run in
// which an allocation failed must answer 2 with `line` alone on the trace; every
// run passes `check`(failed), after which no descriptor is left open.
template <typename CallFn, typename CheckFn>
void EachAllocationFailing(const std::string &line, CallFn call, CheckFn check) {
  for (long n = 0; n < 1000; ++n) {
    bool anyFailed = false;
    for (const bool seam : {true, false}) {
      SCOPED_TRACE((seam ? "allocation check " : "operator new ") + std::to_string(n));
      const std::size_t descriptors = vltest::OpenDescriptors();
      TraceCapture trace("I1");
      trace.lines().reserve(8);
      std::int32_t result = 0;
      bool failed = false;
      if (seam) {
        vl::FailAllocationsAfter(n);
        result = call();
        failed = vl::AllocationFailed();
        vl::FailAllocationsAfter(-1);
      } else {
        vltest::FailNewAfter(n, true);
        result = call();
        failed = vltest::NewFailed();
        vltest::FailNewAfter(-1);
      }
      EXPECT_EQ(result, failed ? 2 : 0);
      EXPECT_EQ(trace.Joined(), failed ? line + "\n" : "");
      check(failed);
      EXPECT_EQ(vltest::OpenDescriptors(), descriptors);
      if (testing::Test::HasFailure()) return;
      anyFailed = anyFailed || failed;
    }
    if (!anyFailed) return;
  }
  FAIL() << "the call never ran without a failed allocation";
}

TEST_F(IniServ, memory_exhausted_in_look_ups_and_opens) {
  const std::string path = File("s.ini", kSample);
  char *const section = const_cast<char *>("main");
  char *const fname = const_cast<char *>(path.c_str());
  HostBuf val(64, "old");
  void *getString[] = {section, const_cast<char *>("name"), const_cast<char *>("def"), fname, &val};
  EachAllocationFailing(
      "I1: ini_GetString() failed: heap overflow", [&] { return VlCall(14, getString); },
      [&](bool failed) { EXPECT_EQ(val.str(), failed ? "old" : "a b"); });
  std::int32_t def = 5;
  std::int32_t number = 0;
  void *getInt[] = {section, const_cast<char *>("nine"), &def, fname, &number};
  EachAllocationFailing(
      "I1: ini_GetInt() failed: heap overflow", [&] { return VlCall(13, getInt); },
      [&](bool failed) { EXPECT_EQ(number, failed ? 0 : 123456789); });
  std::int32_t hdl = 9;
  void *open[] = {fname, section, &hdl};
  EachAllocationFailing(
      "I1: ini_Open() failed: heap overflow", [&] { return VlCall(16, open); },
      [&](bool failed) {
        EXPECT_EQ(hdl, failed ? -ENOMEM : 0);
        ini_CloseAll();
      });
}

TEST_F(IniServ, memory_exhausted_in_set_string) {
  const std::string before = "[S]\r\nk=1\r\n";
  const std::string real = File("real.ini", before);
  std::filesystem::create_symlink(real, dir / "link.ini");
  const std::string link = dir / "link.ini";
  const std::string missing = dir / "new.ini";
  struct Case {
    const char *id;
    std::string fname;
    std::string after;  // of real.ini, or of new.ini when it is made
  };
  const Case cases[] = {
      {"file", real, "[S]\r\nk=2\r\n"},
      // A link whose file cannot be resolved for lack of memory is not replaced.
      {"symbolic link", link, "[S]\r\nk=2\r\n"},
      {"missing file", missing, "[S]\r\nk=2\r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    void *args[] = {const_cast<char *>("S"), const_cast<char *>("k"), const_cast<char *>("2"),
                    const_cast<char *>(c.fname.c_str())};
    const std::vector<std::string> listing = Listing();
    EachAllocationFailing(
        "I1: ini_SetString() failed: heap overflow", [&] { return VlCall(15, args); },
        [&](bool failed) {
          EXPECT_TRUE(std::filesystem::is_symlink(link));
          if (failed) {
            EXPECT_EQ(Listing(), listing);  // nothing made, nothing left behind
            EXPECT_EQ(ReadFile(real), before);
            return;
          }
          EXPECT_EQ(ReadFile(c.fname == missing ? missing : real), c.after);
          WriteFile(real, before);
          std::filesystem::remove(missing);
        });
  }
}

// ---------------------------------------------------------------------------
// The handle functions through VlCall
// ---------------------------------------------------------------------------

TEST_F(IniServ, walk_through_vlcall) {
  const std::string path = File("s.ini", kSample);
  std::int32_t hdl = 9;
  ASSERT_EQ(Call(16, {const_cast<char *>(path.c_str()), const_cast<char *>("main"), &hdl}), 0);  // ini_Open
  EXPECT_EQ(hdl, 0);
  HostBuf buf(64, "stale");
  std::int32_t eof = 9;
  ASSERT_EQ(Call(20, {&hdl, &buf, &eof}), 0);  // ini_NextLine
  EXPECT_EQ(eof, 0);
  EXPECT_EQ(buf.str(), "name = a b ; comment\r\n");
  HostBuf item(3);
  HostBuf value(64);
  ASSERT_EQ(Call(22, {&hdl, &item, &value, &eof}), 0);  // ini_NextEntry
  EXPECT_EQ(eof, 0);
  EXPECT_EQ(item.str(), "QU");  // cut to cap - 1
  EXPECT_EQ(value.str(), "a b");
  ASSERT_EQ(Call(21, {&hdl, &buf, &eof}), 0);  // ini_NextSection
  EXPECT_EQ(buf.str(), "OTHER");
  ASSERT_EQ(Call(19, {&hdl, const_cast<char *>("nowhere"), &eof}), 0);  // ini_FindSection
  EXPECT_EQ(eof, 1);
  ASSERT_EQ(Call(20, {&hdl, &buf, &eof}), 0);
  EXPECT_EQ(eof, 1);
  EXPECT_EQ(buf.hs.len, 0);
  std::int32_t rc = 9;
  ASSERT_EQ(Call(17, {&hdl, &rc}), 0);  // ini_Close
  EXPECT_EQ(rc, 0);
  ASSERT_EQ(Call(20, {&hdl, &buf, &eof}), 0);
  EXPECT_EQ(eof, -1);
  EXPECT_EQ(VlCall(18, nullptr), 0);  // ini_CloseAll reads no argument
}

TEST_F(IniServ, walk_line_with_a_nul_is_the_text_before_it) {
  // A line is delivered as a text: its length is that of the text before a NUL.
  const std::string path = File("n.ini", std::string("[s]\nk=ab\0cd\n\0x\nlast\n", 20));
  std::int32_t hdl = 9;
  ASSERT_EQ(ini_Open(path.c_str(), "s", &hdl), 0);
  HostBuf buf(64, "stale");
  std::int32_t eof = 9;
  const char *expected[] = {"k=ab", "", "last\n"};
  for (const char *line : expected) {
    SCOPED_TRACE(line);
    ASSERT_EQ(ini_NextLine(hdl, &buf, &eof), 0);
    EXPECT_EQ(eof, 0);
    EXPECT_EQ(buf.str(), line);
  }
  ASSERT_EQ(ini_NextLine(hdl, &buf, &eof), 0);
  EXPECT_EQ(eof, 1);
}

TEST_F(IniServ, walk_caps_of_zero) {
  const std::string path = File("s.ini", kSample);
  std::int32_t hdl = 0;
  ASSERT_EQ(ini_Open(path.c_str(), "main", &hdl), 0);
  HostBuf empty(0, "");
  empty.hs.len = 3;  // every function sets the length first
  HostBuf big(64);
  std::int32_t eof = 9;
  ASSERT_EQ(ini_NextLine(hdl, &empty, &eof), 0);
  EXPECT_EQ(eof, -1);
  EXPECT_EQ(empty.hs.len, 0);
  ASSERT_EQ(ini_NextSection(hdl, &empty, &eof), 0);
  EXPECT_EQ(eof, -1);
  ASSERT_EQ(ini_NextEntry(hdl, &empty, &big, &eof), 0);
  EXPECT_EQ(eof, -1);
  ASSERT_EQ(ini_NextEntry(hdl, &big, &empty, &eof), 0);
  EXPECT_EQ(eof, -1);
  // Nothing was read: the walk goes on where it was.
  ASSERT_EQ(ini_NextEntry(hdl, &big, &big, &eof), 0);
  EXPECT_EQ(eof, 0);
  HostBuf name(64);
  ASSERT_EQ(ini_NextEntry(hdl, &name, &big, &eof), 0);
  EXPECT_EQ(name.str(), "QUOTED");
}

TEST_F(IniServ, open_reports_negated_error_numbers) {
  const std::string path = File("s.ini", kSample);
  struct Case {
    std::string fname;
    std::int32_t hdl;
  };
  const Case cases[] = {
      {path, 0}, {path, 1}, {path, 2}, {path, -ENOSPC},
      {(dir / "missing.ini"), -ENOSPC},  // no free slot comes first
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.hdl);
    std::int32_t hdl = 99;
    ASSERT_EQ(ini_Open(c.fname.c_str(), "", &hdl), 0);
    EXPECT_EQ(hdl, c.hdl);
  }
  ini_CloseAll();
  std::int32_t hdl = 99;
  ASSERT_EQ(ini_Open((dir / "missing.ini").c_str(), "", &hdl), 0);
  EXPECT_EQ(hdl, -ENOENT);
  ASSERT_EQ(ini_Open(dir.path().c_str(), "", &hdl), 0);
  EXPECT_EQ(hdl, -EISDIR);
}

// ---------------------------------------------------------------------------
// Trace lines
// ---------------------------------------------------------------------------

TEST_F(IniServ, trace_lines) {
  const std::string path = File("t.ini", "[S]\r\nk = v\r\n;c\r\n");
  TraceCapture trace("I3");
  std::int32_t val = 0;
  std::int32_t hdl = 0;
  std::int32_t eof = 0;
  std::int32_t rc = 0;
  HostBuf buf(64);
  HostBuf value(64);
  ini_GetInt("S", "k", 5, path.c_str(), &val);
  ini_GetString("S", "k", "d", path.c_str(), &buf);
  ini_SetString("S", "n", "1", path.c_str());
  ini_Open(path.c_str(), "S", &hdl);
  ini_FindSection(hdl, "S", &eof);
  ini_NextLine(hdl, &buf, &eof);
  ini_NextEntry(hdl, &buf, &value, &eof);
  ini_NextEntry(hdl, &buf, &value, &eof);
  ini_NextSection(hdl, &buf, &eof);
  ini_FindSection(hdl, "", &eof);
  ini_NextSection(hdl, &buf, &eof);
  ini_NextLine(hdl, &buf, &eof);
  ini_Close(hdl, &rc);
  ini_CloseAll();
  const std::string f = path;
  const std::vector<std::string> expected = {
      "I3: ini_GetInt(section=\"S\",entry=\"k\",def=5,fname=\"" + f + "\")",
      "I3: ini_GetInt: 0",
      "I3: ini_GetString(section=\"S\",entry=\"k\",def=\"d\",fname=\"" + f + "\")",
      "I3: ini_GetString: \"v\"",
      "I3: ini_SetString(section=\"S\",entry=\"n\",val=\"1\",fname=\"" + f + "\")",
      "I3: ini_Open(fname=\"" + f + "\",section=\"S\")",
      "I3: ini_Open: hdl = 0",
      "I3: ini_FindSection(hdl=0,section=\"S\")",
      "I3: ini_FindSection: eof = 0",
      "I3: ini_NextLine(hdl=0)",
      "I3: ini_NextLine: buf = \"k = v\r\n\"",
      "I3: ini_NextEntry(hdl=0)",
      "I3: ini_NextEntry: item = \"N\", value = \"1\"",
      "I3: ini_NextEntry(hdl=0)",
      "I3: ini_NextEntry: eof = 1",
      "I3: ini_NextSection(hdl=0)",
      "I3: ini_NextSection: eof = 1",
      "I3: ini_FindSection(hdl=0,section=\"\")",
      "I3: ini_FindSection: eof = 0",
      "I3: ini_NextSection(hdl=0)",
      "I3: ini_NextSection: buf = \"S\"",
      "I3: ini_NextLine(hdl=0)",
      "I3: ini_NextLine: buf = \"k = v\r\n\"",
      "I3: ini_Close(hdl=0)",
      "I3: ini_CloseAll()",
  };
  EXPECT_EQ(trace.lines(), expected);
}

}  // namespace
