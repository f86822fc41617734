// Test plan for the INI reader (inifile.cpp):
//   ini_parse.*   line parsing: comments, headers, entries, quoted values
//   ini_stream.*  the line stream: LF and CRLF, no final line end, lines longer
//                 than 1023 bytes, NUL bytes, going back across buffer refills,
//                 memory exhaustion at each allocation of an open
//   ini_find.*    the stream-level readers: section and entry look-up, copying
//   ini_handle.*  the three handles: open, close, the fourth handle, bad handles,
//                 states of the line, section and entry walks, sizes, bad files
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "ini.h"
#include "ini_int.h"
#include "failing_new.h"
#include "testutil.h"

namespace {

using vltest::TempDir;
using vltest::WriteFile;

class IniTest : public vltest::StateTest {
 protected:
  std::string File(const std::string &name, const std::string &bytes) {
    const std::string path = dir / name;
    WriteFile(path, bytes);
    return path;
  }
  TempDir dir;
};

// ---------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------

TEST(ini_parse, entries) {
  struct Case {
    const char *line;
    bool entry;
    const char *name;
    const char *value;
  };
  const Case cases[] = {
      {"  ; x = 1\r\n", true, "; x", "1"},  // only the first column marks a comment
      {"; x = 1\r\n", false, "", ""},
      {"# x = 1\n", false, "", ""},
      {"a = a b ;c\r\n", true, "a", "a b"},
      {"a = \"a b\" ;c\r\n", true, "a", "a b"},
      {"a = \"a;b\"\r\n", true, "a", "a"},  // ";" ends a value inside quotes too
      {"a = '  x  '\r\n", true, "a", "  x  "},
      {"a =   x  \r\n", true, "a", "x"},
      {"a =\r\n", true, "a", ""},
      {"a =", true, "a", ""},
      {"a = 'x\r\n", true, "a", "x"},  // an unclosed quote ends at the line end
      {"a = 'x  ", true, "a", "x  "},  // and keeps its blanks
      {"a=b=c\n", true, "a", "b=c"},
      {" = v\n", true, "", "v"},
      {"\tk\t=\tv\t\n", true, "k", "v"},
      {"k = 'a\"b'\n", true, "k", "a\"b"},
      {"k = \"x\" tail\n", true, "k", "x"},
      {"k = v # c\n", true, "k", "v"},
      {"k = a\rb\n", true, "k", "a"},
      {"k = a~b$c\n", true, "k", "a~b$c"},
      {"[a=b\n", false, "", ""},  // a line starting with "[" is never an entry
      {"no equals sign\n", false, "", ""},
      {"\r\n", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    std::string_view name;
    std::string_view value;
    ASSERT_EQ(vl::IniParseEntry(c.line, name, value), c.entry);
    if (!c.entry) continue;
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(value, c.value);
  }
}

TEST(ini_parse, headers) {
  struct Case {
    const char *line;
    bool header;
    const char *name;
  };
  const Case cases[] = {
      {"[ Main ]\r\n", true, "Main"},
      {"[Main]trailing text\n", true, "Main"},
      {"[a]b]\n", true, "a"},
      {"[ a b ]\n", true, "a b"},
      {"[]\n", true, ""},
      {"[Main\r\n", false, ""},
      {" [Main]\n", false, ""},
      {"x[a]\n", false, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    std::string_view name;
    ASSERT_EQ(vl::IniParseHeader(c.line, name), c.header);
    if (c.header) {
      EXPECT_EQ(name, c.name);
    }
  }
}

TEST(ini_parse, text_ends_at_nul) {
  using namespace std::string_literals;
  EXPECT_EQ(vl::IniLineText("k=ab\0cd\n"s), "k=ab");
  EXPECT_EQ(vl::IniLineText("plain\n"), "plain\n");
  std::string_view name;
  std::string_view value;
  EXPECT_FALSE(vl::IniParseEntry(vl::IniLineText("key\0=v\n"s), name, value));
}

// ---------------------------------------------------------------------------
// The line stream
// ---------------------------------------------------------------------------

std::vector<std::string> AllLines(vl::IniStream &in, std::size_t max = vl::kIniLineMax) {
  std::vector<std::string> lines;
  std::string_view line;
  while (in.NextLine(line, max) == vl::IniStream::kLine) lines.emplace_back(line);
  return lines;
}

TEST_F(IniTest, stream_line_ends) {
  struct Case {
    const char *id;
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"lf", "a\nb\n", {"a\n", "b\n"}},
      {"crlf", "a\r\nb\r\n", {"a\r\n", "b\r\n"}},
      {"no final end", "a\r\nb", {"a\r\n", "b"}},
      {"lone cr stays in the line", "a\rb\n", {"a\rb\n"}},
      {"blank lines", "\n\r\n\n", {"\n", "\r\n", "\n"}},
      {"empty file", "", {}},
      {"nul inside", std::string("a\0b\nc\n", 6), {std::string("a\0b\n", 4), "c\n"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    auto in = vl::IniStream::Open(File("f.ini", c.bytes).c_str());
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(AllLines(*in), c.lines);
  }
}

TEST_F(IniTest, stream_long_line_arrives_in_pieces) {
  const std::string longLine(2500, 'x');
  auto in = vl::IniStream::Open(File("f.ini", longLine + "\r\nnext\n").c_str());
  ASSERT_NE(in, nullptr);
  const auto lines = AllLines(*in);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::string(1023, 'x'));
  EXPECT_EQ(lines[1], std::string(1023, 'x'));
  EXPECT_EQ(lines[2], std::string(454, 'x') + "\r\n");
  EXPECT_EQ(lines[3], "next\n");
}

TEST_F(IniTest, stream_line_start_follows_line_feeds) {
  auto in = vl::IniStream::Open(File("f.ini", std::string(1030, 'x') + "\nz").c_str());
  ASSERT_NE(in, nullptr);
  std::string_view line;
  EXPECT_TRUE(in->AtLineStart());
  ASSERT_EQ(in->NextLine(line), vl::IniStream::kLine);
  EXPECT_FALSE(in->AtLineStart());  // the rest of the line follows
  ASSERT_EQ(in->NextLine(line), vl::IniStream::kLine);
  EXPECT_TRUE(in->AtLineStart());
  ASSERT_EQ(in->NextLine(line), vl::IniStream::kLine);
  EXPECT_EQ(line, "z");
  EXPECT_FALSE(in->AtLineStart());  // no final line end
  EXPECT_EQ(in->NextLine(line), vl::IniStream::kEnd);
}

TEST_F(IniTest, stream_goes_back_across_refills) {
  // Lines that straddle the 64 KiB buffer: every noted place is found again.
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += "line" + std::to_string(i) + "\n";
  auto in = vl::IniStream::Open(File("f.ini", bytes).c_str());
  ASSERT_NE(in, nullptr);
  std::string_view line;
  for (int i = 0; i < 20000; ++i) {
    const auto mark = in->Tell();
    ASSERT_EQ(in->NextLine(line), vl::IniStream::kLine);
    const std::string first(line);
    ASSERT_TRUE(in->Seek(mark));
    ASSERT_EQ(in->NextLine(line), vl::IniStream::kLine);
    ASSERT_EQ(line, first);
    ASSERT_EQ(first, "line" + std::to_string(i) + "\n");
  }
  ASSERT_TRUE(in->Rewind());
  ASSERT_EQ(in->NextLine(line), vl::IniStream::kLine);
  EXPECT_EQ(line, "line0\n");
}

TEST_F(IniTest, stream_reads_lines_longer_than_its_buffer_into_storage) {
  const std::string longLine(200000, 'y');
  auto in = vl::IniStream::Open(File("f.ini", longLine + "\nz\n").c_str());
  ASSERT_NE(in, nullptr);
  std::vector<char> storage(300000);
  std::size_t length = 0;
  ASSERT_EQ(in->NextLineInto(storage.data(), storage.size(), length), vl::IniStream::kLine);
  EXPECT_EQ(std::string(storage.data(), length), longLine + "\n");
  ASSERT_EQ(in->NextLineInto(storage.data(), 1, length), vl::IniStream::kLine);
  EXPECT_EQ(std::string(storage.data(), length), "z");
}

TEST_F(IniTest, stream_refuses_directories_and_missing_files) {
  errno = 0;
  EXPECT_EQ(vl::IniStream::Open(dir.path().c_str()), nullptr);
  EXPECT_EQ(errno, EISDIR);
  errno = 0;
  EXPECT_EQ(vl::IniStream::Open((dir / "missing.ini").c_str()), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(IniTest, stream_without_memory_leaves_no_file_open) {
  const std::string path = File("s.ini", "k=1\n");
  struct Case {
    const char *id;
    long checks;  // allocation checks that pass
    long news;    // allocations through operator new that pass
  };
  const Case cases[] = {
      {"the file", 0, -1},
      {"the stream", 1, -1},
      {"the stream object", -1, 0},
      {"the stream's buffer", -1, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    const std::size_t descriptors = vltest::OpenDescriptors();
    errno = 0;
    std::unique_ptr<vl::IniStream> in;
    vl::FailAllocationsAfter(c.checks);
    {
      vltest::FailingNew failing(c.news);
      in = vl::IniStream::Open(path.c_str());
    }
    vl::FailAllocationsAfter(-1);
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(vltest::OpenDescriptors(), descriptors);
  }
  errno = 0;
  vl::FailAllocationsAfter(0);
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), -1);
  vl::FailAllocationsAfter(-1);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), 0);  // the slot stayed free
}

// ---------------------------------------------------------------------------
// Stream-level readers
// ---------------------------------------------------------------------------

const char kSample[] =
    "top=0\r\n"
    "[ Main ]\r\n"
    "; k=comment\r\n"
    "k = 1\r\n"
    "\r\n"
    "[Next\r\n"  // no "]": ends the section, is no header
    "k = 2\r\n"
    "[other]\r\n"
    "k = 3\r\n";

TEST_F(IniTest, find_entry_stays_in_its_section) {
  struct Case {
    const char *section;
    int sectionFound;
    const char *entry;
    int found;
    const char *value;
  };
  const Case cases[] = {
      {"", 1, "top", 1, "0"},       // the empty section: before the first header
      {"", 1, "k", 0, ""},          // the header ends the search
      {"MAIN", 1, "K", 1, "1"},
      {"main", 1, "; k", 0, ""},    // comments are skipped
      {"next", 0, "k", 0, ""},      // no header without "]"
      {"other", 1, "k", 1, "3"},
  };
  const std::string path = File("f.ini", kSample);
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.entry);
    auto in = vl::IniStream::Open(path.c_str());
    ASSERT_NE(in, nullptr);
    if (*c.section != '\0') {
      ASSERT_EQ(vl::IniFindSection(*in, c.section, nullptr), c.sectionFound);
    }
    std::string value;
    EXPECT_EQ(vl::IniFindEntry(*in, c.entry, value), c.found);
    if (c.found) {
      EXPECT_EQ(value, c.value);
    }
  }
}

TEST_F(IniTest, find_section_copies_every_line_read) {
  auto in = vl::IniStream::Open(File("f.ini", kSample).c_str());
  ASSERT_NE(in, nullptr);
  const std::string copyPath = dir / "copy";
  std::FILE *copy = std::fopen(copyPath.c_str(), "wb");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(vl::IniFindSection(*in, "main", copy), 1);
  std::fclose(copy);
  EXPECT_EQ(vltest::ReadFile(copyPath), "top=0\r\n[ Main ]\r\n");
}

TEST_F(IniTest, find_section_reports_a_copy_that_cannot_be_written) {
  auto in = vl::IniStream::Open(File("f.ini", kSample).c_str());
  ASSERT_NE(in, nullptr);
  std::FILE *full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  std::setvbuf(full, nullptr, _IONBF, 0);
  EXPECT_EQ(vl::IniFindSection(*in, "other", full), -1);
  std::fclose(full);
}

TEST_F(IniTest, long_line_pieces_count_as_lines_for_the_readers) {
  // The piece after the first 1023 bytes of a long comment is read as a line.
  const std::string path = File("f.ini", "[s]\n;" + std::string(1022, 'c') + "k=tail\nk2=v\n");
  auto in = vl::IniStream::Open(path.c_str());
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(vl::IniFindSection(*in, "s", nullptr), 1);
  std::string value;
  EXPECT_EQ(vl::IniFindEntry(*in, "k", value), 1);
  EXPECT_EQ(value, "tail");
}

TEST_F(IniTest, copying_finds_headers_only_at_line_starts) {
  const std::string path = File("f.ini", ";" + std::string(1022, 'c') + "[s]\n[s]\nk=1\n");
  auto in = vl::IniStream::Open(path.c_str());
  ASSERT_NE(in, nullptr);
  const std::string copyPath = dir / "copy";
  std::FILE *copy = std::fopen(copyPath.c_str(), "wb");
  ASSERT_EQ(vl::IniFindSection(*in, "s", copy), 1);
  std::fclose(copy);
  EXPECT_EQ(vltest::ReadFile(copyPath), ";" + std::string(1022, 'c') + "[s]\n[s]\n");
}

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------

TEST_F(IniTest, handle_fourth_open_fails_with_no_space) {
  const std::string path = File("f.ini", kSample);
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), 0);
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), 1);
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), 2);
  errno = 0;
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), -1);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(vl::IniClose(1), 0);
  EXPECT_EQ(vl::IniOpen(path.c_str(), ""), 1);  // the lowest free slot
}

TEST_F(IniTest, handle_open_failures_leave_the_slot_free) {
  errno = 0;
  EXPECT_EQ(vl::IniOpen((dir / "missing.ini").c_str(), ""), -1);
  EXPECT_EQ(errno, ENOENT);
  errno = 0;
  EXPECT_EQ(vl::IniOpen(dir.path().c_str(), ""), -1);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(vl::IniOpen(File("f.ini", kSample).c_str(), ""), 0);
}

TEST_F(IniTest, handle_close_rules) {
  errno = 0;
  EXPECT_EQ(vl::IniClose(0), -1);  // table not set up yet
  EXPECT_EQ(errno, EINVAL);
  ASSERT_EQ(vl::IniOpen(File("f.ini", kSample).c_str(), ""), 0);
  EXPECT_EQ(vl::IniClose(2), 0);   // a free slot
  EXPECT_EQ(vl::IniClose(0), 0);
  EXPECT_EQ(vl::IniClose(0), 0);   // already free
  for (int bad : {-1, 3, 1000}) {
    SCOPED_TRACE(bad);
    errno = 0;
    EXPECT_EQ(vl::IniClose(bad), -1);
    EXPECT_EQ(errno, EINVAL);
  }
  vl::IniCloseAll();
  EXPECT_EQ(vl::IniClose(0), -1);  // the table is no longer set up
}

TEST_F(IniTest, handle_operations_on_bad_handles) {
  char buf[64];
  char value[64];
  std::size_t length = 0;
  ASSERT_EQ(vl::IniOpen(File("f.ini", kSample).c_str(), ""), 0);
  for (int bad : {-1, 1, 3}) {
    SCOPED_TRACE(bad);
    errno = 0;
    EXPECT_EQ(vl::IniSeekSection(bad, "main"), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(vl::IniNextLine(bad, buf, sizeof buf, length), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(vl::IniNextSection(bad, buf, sizeof buf), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(vl::IniNextEntry(bad, buf, sizeof buf, value, sizeof value), -1);
    EXPECT_EQ(errno, EINVAL);
  }
}

TEST_F(IniTest, handle_line_walk_stops_at_the_next_header) {
  const int h = vl::IniOpen(File("f.ini", "[a]\r\n; c\r\n\r\nk=1\r\n[b]\r\nk=2\r\n").c_str(), "A");
  ASSERT_EQ(h, 0);
  char buf[64];
  std::size_t length = 0;
  const char *expected[] = {"; c\r\n", "\r\n", "k=1\r\n"};
  for (const char *line : expected) {
    ASSERT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 0);
    EXPECT_EQ(std::string(buf, length), line);
  }
  EXPECT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 2);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 2);  // stays until the state is set anew
  char value[64];
  EXPECT_EQ(vl::IniNextEntry(h, buf, sizeof buf, value, sizeof value), 1);  // the header stays unread
  EXPECT_EQ(vl::IniNextSection(h, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "B");
  ASSERT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 0);
  EXPECT_EQ(std::string(buf, length), "k=2\r\n");
  EXPECT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 1);
  EXPECT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 1);
}

TEST_F(IniTest, handle_line_walk_sizes) {
  const int h = vl::IniOpen(File("f.ini", "abcdefghij\nk\n").c_str(), "");
  ASSERT_EQ(h, 0);
  char buf[16];
  std::size_t length = 0;
  // Room for no byte could never move on.
  for (int size : {-5, 0, 1}) {
    SCOPED_TRACE(size);
    errno = 0;
    EXPECT_EQ(vl::IniNextLine(h, buf, size, length), -1);
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_EQ(vl::IniHandleState(h), 0);  // a refused size changes no state
  // A line longer than the room arrives in pieces of size - 1 bytes.
  const char *pieces[] = {"abcd", "efgh", "ij\n", "k\n"};
  for (const char *piece : pieces) {
    ASSERT_EQ(vl::IniNextLine(h, buf, 5, length), 0);
    EXPECT_EQ(std::string(buf, length), piece);
    EXPECT_EQ(buf[length], '\0');
  }
  EXPECT_EQ(vl::IniNextLine(h, buf, 5, length), 1);
}

TEST_F(IniTest, handle_line_walk_delivers_nul_bytes) {
  const int h = vl::IniOpen(File("f.ini", std::string("a\0b\n", 4)).c_str(), "");
  char buf[16];
  std::size_t length = 0;
  ASSERT_EQ(vl::IniNextLine(h, buf, sizeof buf, length), 0);
  EXPECT_EQ(std::string(buf, length), std::string("a\0b\n", 4));
}

TEST_F(IniTest, handle_section_walk) {
  const int h = vl::IniOpen(File("f.ini", kSample).c_str(), "");
  char buf[8];
  ASSERT_EQ(vl::IniNextSection(h, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "MAIN");
  ASSERT_EQ(vl::IniNextSection(h, buf, 3), 0);
  EXPECT_STREQ(buf, "OT");  // cut to size - 1
  EXPECT_EQ(vl::IniNextSection(h, buf, sizeof buf), 1);
  errno = 0;
  EXPECT_EQ(vl::IniNextSection(h, buf, 0), -1);
  EXPECT_EQ(errno, EINVAL);
  ASSERT_EQ(vl::IniSeekSection(h, ""), 0);
  ASSERT_EQ(vl::IniNextSection(h, buf, 1), 0);
  EXPECT_STREQ(buf, "");
}

TEST_F(IniTest, handle_entry_walk) {
  const int h = vl::IniOpen(File("f.ini", kSample).c_str(), "");
  char name[8];
  char value[4];
  // Entries before the first header belong to the empty section.
  ASSERT_EQ(vl::IniNextEntry(h, name, sizeof name, value, sizeof value), 0);
  EXPECT_STREQ(name, "TOP");
  EXPECT_STREQ(value, "0");
  EXPECT_EQ(vl::IniNextEntry(h, name, sizeof name, value, sizeof value), 1);
  ASSERT_EQ(vl::IniSeekSection(h, "main"), 0);
  ASSERT_EQ(vl::IniNextEntry(h, name, sizeof name, value, sizeof value), 0);
  EXPECT_STREQ(name, "K");
  EXPECT_EQ(vl::IniNextEntry(h, name, sizeof name, value, sizeof value), 1);  // at "[Next"
  ASSERT_EQ(vl::IniSeekSection(h, "other"), 0);
  ASSERT_EQ(vl::IniNextEntry(h, name, 1, value, 1), 0);  // cut to nothing
  EXPECT_STREQ(name, "");
  EXPECT_STREQ(value, "");
  errno = 0;
  EXPECT_EQ(vl::IniNextEntry(h, name, 0, value, 4), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vl::IniSeekSection(h, "nowhere"), 1);
  EXPECT_EQ(vl::IniNextEntry(h, name, sizeof name, value, sizeof value), 1);
}

TEST_F(IniTest, handle_open_at_a_missing_section) {
  const int h = vl::IniOpen(File("f.ini", kSample).c_str(), "nowhere");
  ASSERT_EQ(h, 0);
  EXPECT_EQ(vl::IniHandleState(h), 1);
  char name[8];
  char value[8];
  EXPECT_EQ(vl::IniNextEntry(h, name, sizeof name, value, sizeof value), 1);
  EXPECT_EQ(vl::IniClose(h), 0);
}

TEST_F(IniTest, handle_binary_file_is_walked_to_its_end) {
  std::string bytes;
  unsigned seed = 7;
  for (int i = 0; i < 200000; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes += static_cast<char>(seed >> 16);
  }
  const std::string path = File("f.bin", bytes);
  const int h = vl::IniOpen(path.c_str(), "");
  ASSERT_EQ(h, 0);
  char name[80];
  char value[256];
  int steps = 0;
  while (steps < 1000000) {
    const int r = vl::IniNextEntry(h, name, sizeof name, value, sizeof value);
    ++steps;
    if (r == 1 && vl::IniNextSection(h, name, sizeof name) == 1) break;
    ASSERT_NE(r, -1);
  }
  EXPECT_LT(steps, 1000000);
  // The line stream delivers every byte of it.
  auto in = vl::IniStream::Open(path.c_str());
  std::size_t total = 0;
  for (const auto &line : AllLines(*in)) total += line.size();
  EXPECT_EQ(total, bytes.size());
}

}  // namespace
