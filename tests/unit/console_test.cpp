// Test plan for the stand-in host's script console:
//   1. Every argument kind is parsed and passed as the binary interface says.
//   2. Out-arguments are printed and remembered for $name.
//   3. Lines that cannot be read are reported with their number; the rest run.
//   4. Quoting of result bytes.
//   5. The host string operations.
//   6. Texts joined from parts; $script_dir and $tmp_dir.
//   7. util's command line: the words recovered intact; the function listing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <sstream>
#include <vector>

#include "cmdline.h"
#include "console.h"
#include "testutil.h"

// Allocations larger than this fail, so that a test can run out of memory.
static std::size_t failAllocationsAbove = SIZE_MAX;

void *operator new(std::size_t size) {
  if (size > failAllocationsAbove) throw std::bad_alloc();
  if (void *block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}
// Not inlined, so that the compiler does not take free() of a block from new for a mismatch.
[[gnu::noinline]] void operator delete(void *block) noexcept { std::free(block); }
[[gnu::noinline]] void operator delete(void *block, std::size_t) noexcept { std::free(block); }

namespace {

// A fake module: two functions whose calls are recorded.
constexpr VlFuncRow kFuncs[] = {
    {"f_All", 0, 6, 0},
    {"f_None", 6, 0, 0},
    {"f_Out", 6, 3, 0},
    {nullptr, 0, 0, 0},
};
constexpr VlArgRow kArgs[] = {
    {"i", 1}, {"o", 2}, {"r", 4}, {"ro", 5}, {"t", 7}, {"s", 8},
    {"n", 2}, {"buf", 8}, {"x", 5},
};

struct Recorded {
  std::int32_t number = -2;
  bool nullVector = false;
  std::int32_t i = 0, oBefore = 0;
  double r = 0, roBefore = 0;
  std::string t;
  std::string s;
  std::int32_t sCap = 0;
} rec;

std::int32_t FakeCall(std::int32_t number, void **argv) {
  rec = Recorded{};
  rec.number = number;
  rec.nullVector = argv == nullptr;
  if (number == 0) {
    rec.i = *static_cast<std::int32_t *>(argv[0]);
    rec.oBefore = *static_cast<std::int32_t *>(argv[1]);
    *static_cast<std::int32_t *>(argv[1]) = rec.i + 1;
    rec.r = *static_cast<double *>(argv[2]);
    rec.roBefore = *static_cast<double *>(argv[3]);
    *static_cast<double *>(argv[3]) = 0.5;
    rec.t = static_cast<const char *>(argv[4]);
    auto *s = static_cast<HostString *>(argv[5]);
    rec.s.assign(s->bytes, static_cast<std::size_t>(s->len));
    rec.sCap = s->cap;
    return 7;
  }
  if (number == 2) {
    *static_cast<std::int32_t *>(argv[0]) = 42;
    HostStrPut("a\"b\\c\n\x01\xff", static_cast<HostString *>(argv[1]));
    *static_cast<double *>(argv[2]) = -1.25;
  }
  return 0;
}

struct ScriptRun {
  std::string out, err;
  int failures = 0;
};

ScriptRun RunText(const std::string &script, const std::string &scriptDir = ".") {
  const vlrt::Module module{kFuncs, kArgs, FakeCall};
  std::FILE *out = std::tmpfile();
  std::FILE *err = std::tmpfile();
  std::istringstream in(script);
  ScriptRun run;
  run.failures = vlrt::RunScript(module, in, "s.vls", out, err, scriptDir);
  for (auto [file, text] : {std::pair{out, &run.out}, std::pair{err, &run.err}}) {
    std::rewind(file);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text->append(buf, n);
    std::fclose(file);
  }
  return run;
}

TEST(ConsoleTest, EveryArgumentKind) {
  const ScriptRun run = RunText("f_All(-0x10, 5, 2.5e3, -7, \"a\\tb\\x41\\\"\", \"xyz\":8)\n");
  EXPECT_EQ(run.failures, 0) << run.err;
  EXPECT_EQ(rec.number, 0);
  EXPECT_EQ(rec.i, -16);
  EXPECT_EQ(rec.oBefore, 5);
  EXPECT_EQ(rec.r, 2500.0);
  EXPECT_EQ(rec.roBefore, -7.0);
  EXPECT_EQ(rec.t, "a\tbA\"");
  EXPECT_EQ(rec.s, "xyz");
  EXPECT_EQ(rec.sCap, 8);
  EXPECT_EQ(run.out, "f_All -> 7 o=-15 ro=0.5 s=\"xyz\"\n");
}

TEST(ConsoleTest, SpecialRealsAndDefaultCapacity) {
  ScriptRun run = RunText("f_All(0, _, nan, _, \"\", _)\n");
  EXPECT_TRUE(std::isnan(rec.r));
  EXPECT_EQ(rec.sCap, 1024);
  run = RunText("f_All(0, _, -inf, _, \"\", \"" + std::string(2000, 'q') + "\")\n");
  EXPECT_EQ(run.failures, 0);
  EXPECT_TRUE(std::isinf(rec.r) && rec.r < 0);
  EXPECT_EQ(rec.sCap, 2000);
}

TEST(ConsoleTest, NoArgumentsMeansNullVector) {
  const ScriptRun run = RunText("  f_None()   # trailing comment\n");
  EXPECT_EQ(run.failures, 0) << run.err;
  EXPECT_TRUE(rec.nullVector);
  EXPECT_EQ(run.out, "f_None -> 0\n");
}

TEST(ConsoleTest, OutValuesAreQuotedAndRemembered) {
  const ScriptRun run = RunText("f_Out(_, _, _)\nf_All($n, _, $x, _, $buf, $n:4)\n");
  EXPECT_EQ(run.failures, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "f_Out -> 0 n=42 buf=\"a\\\"b\\\\c\\n\\x01\\xFF\" x=-1.25");
  EXPECT_EQ(rec.i, 42);
  EXPECT_EQ(rec.r, -1.25);
  EXPECT_EQ(rec.t, "a\"b\\c\n\x01\xff");
  EXPECT_EQ(rec.s, "42");
  EXPECT_EQ(rec.sCap, 4);
}

TEST(ConsoleTest, BadLinesAreReportedWithTheirNumbers) {
  struct Case {
    const char *line;
    const char *message;
  } cases[] = {
      {"nope()", "unknown function 'nope'"},
      {"f_All(1, _, 1, _, \"t\")", "f_All takes 6 arguments, got 5"},
      {"f_None(1)", "f_None takes 0 arguments, got more"},
      {"f_All(1.5, _, 1, _, \"t\", _)", "argument 1 (i): bad integer '1.5'"},
      {"f_All(2147483648, _, 1, _, \"t\", _)", "argument 1 (i): bad integer '2147483648'"},
      {"f_All(--5, _, 1, _, \"t\", _)", "argument 1 (i): bad integer '--5'"},
      {"f_All(+-5, _, 1, _, \"t\", _)", "argument 1 (i): bad integer '+-5'"},
      {"f_All(0x-5, _, 1, _, \"t\", _)", "argument 1 (i): bad integer '0x-5'"},
      {"f_All(1, -+2, 1, _, \"t\", _)", "argument 2 (o): bad integer '-+2'"},
      {"f_All(1, _, 1, _, \"t\", _:--3)", "argument 6 (s): bad capacity"},
      {"f_All(1, _, x, _, \"t\", _)", "argument 3 (r): bad real 'x'"},
      {"f_All(1, _, 1, _, t, _)", "argument 5 (t): expected a quoted text"},
      {"f_All(1, _, 1, _, \"t\", \"long\":3)", "argument 6 (s): text longer than its capacity"},
      {"f_All(1, _, 1, _, \"t\", _:x)", "argument 6 (s): bad capacity"},
      {"f_All(1, _, 1, _, \"t\", _", "expected ')'"},
      {"f_None() extra", "unexpected text after the call"},
      {"f_None", "expected '(' after f_None"},
      {"\"x\"", "expected a function name"},
      {"echo", "expected a quoted text"},
      {"echo plain words", "expected a quoted text"},
      {"f_All($missing, _, 1, _, \"t\", _)", "argument 1 (i): no value remembered as $missing"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.line);
    const ScriptRun run = RunText(std::string("# first\n\n") + c.line + "\nf_None()\n");
    EXPECT_EQ(run.failures, 1);
    EXPECT_EQ(run.err, std::string("s.vls:3: ") + c.message + "\n");
    EXPECT_EQ(run.out, "f_None -> 0\n");
  }
}

TEST(ConsoleTest, LongAndBinaryLinesDoNotBreakIt) {
  std::string junk(100000, 'a');
  junk += "\x00\xff(\"";
  const ScriptRun run = RunText(junk + "\r\nf_None()\r\n");
  EXPECT_EQ(run.failures, 1);
  EXPECT_EQ(run.out, "f_None -> 0\n");
}

TEST(ConsoleTest, ALineBeyond64MegabytesIsSkipped) {
  const std::string huge((64u << 20) + 1, 'x');
  const ScriptRun run = RunText("f_None()\n" + huge + "\nf_None()\n");
  EXPECT_EQ(run.failures, 1);
  EXPECT_EQ(run.err, "s.vls:2: line longer than 67108864 bytes\n");
  EXPECT_EQ(run.out, "f_None -> 0\nf_None -> 0\n");
}

TEST(ConsoleTest, StorageThatCannotBeHadFailsTheLineOnly) {
  failAllocationsAbove = 1 << 20;
  const ScriptRun run = RunText("# first\n\nf_All(1, _, 1, _, \"t\", _:2000000)\nf_None()\n");
  failAllocationsAbove = SIZE_MAX;
  EXPECT_EQ(run.failures, 1);
  EXPECT_EQ(run.err, "s.vls:3: not enough memory for this line\n");
  EXPECT_EQ(run.out, "f_None -> 0\n");
}

TEST(ConsoleTest, QuoteEscapesEveryNonPrintableByte) {
  EXPECT_EQ(vlrt::Quote("plain ~$", 8), "\"plain ~$\"");
  EXPECT_EQ(vlrt::Quote("\0\x7f\r\t", 4), "\"\\x00\\x7F\\r\\t\"");
}

TEST(HostOpsTest, StoreAssignSubAndGet) {
  vltest::HostBuf target(3, "old");
  EXPECT_NE(HostStrPut("toolong", &target), 0);
  EXPECT_EQ(target.str(), "old");
  EXPECT_EQ(HostStrPut("ab", &target), 0);
  EXPECT_EQ(target.str(), "ab");
  EXPECT_EQ(HostStrLen(&target), 2);

  vltest::HostBuf source(10, "0123456789");
  EXPECT_NE(HostStrAssign(&target, &source), 0);
  HostString *sub = HostStrSub(&source, 3, 3);
  ASSERT_NE(sub, nullptr);
  EXPECT_EQ(std::string(sub->bytes, 3), "234");
  EXPECT_EQ(HostStrAssign(&target, sub), 0);
  EXPECT_EQ(target.str(), "234");
  EXPECT_EQ(HostStrSub(&source, 0, 1), nullptr);
  EXPECT_EQ(HostStrSub(&source, 8, 4), nullptr);
  EXPECT_NE(HostStrSub(&source, 11, 0), nullptr);
  EXPECT_EQ(HostStrSub(nullptr, 1, 0), nullptr);
  vlrt::ReleaseSubstrings();

  std::string big(3000, 'z');
  vltest::HostBuf large(3000, big);
  char buffer[1024];
  HostStrGet(&large, buffer);
  EXPECT_EQ(std::strlen(buffer), 1023u);
}

TEST(ConsoleTest, TextsAreJoinedFromTheirParts) {
  struct Case {
    const char *args;  // the text argument and the host string of f_All
    const char *text;
    const char *hostString;
  } cases[] = {
      {R"("a" "b", "c")", "ab", "c"},
      {R"($script_dir "/x.ini", $script_dir)", "some dir/x.ini", "some dir"},
      {R"("n=" $n "/" $x, "[" $n "]":5)", "n=42/-1.25", "[42]"},
      {R"("" "", _)", "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.args);
    const ScriptRun run = RunText(std::string("f_Out(_, _, _)\nf_All(0, _, 0, _, ") + c.args + ")\n", "some dir");
    EXPECT_EQ(run.failures, 0) << run.err;
    EXPECT_EQ(rec.t, c.text);
    EXPECT_EQ(rec.s, c.hostString);
  }
  const ScriptRun echo = RunText("echo \"dir: \" $script_dir\necho $nothing\n", "d");
  EXPECT_EQ(echo.out, "dir: d\n");
  EXPECT_EQ(echo.err, "s.vls:2: no value remembered as $nothing\n");
}

TEST(ConsoleTest, TmpDirIsMadeOnFirstUseAndRemovedAtTheEnd) {
  namespace fs = std::filesystem;
  ScriptRun run = RunText("f_None()\n");
  const ScriptRun used = RunText("f_All(0, _, 0, _, $tmp_dir, $tmp_dir)\nf_All(0, _, 0, _, $tmp_dir \"/f\", _)\n");
  EXPECT_EQ(used.failures, 0) << used.err;
  const fs::path file = rec.t;
  EXPECT_EQ(file.filename(), "f");
  EXPECT_EQ(file.parent_path().filename().string().substr(0, 5), "util.");
  EXPECT_FALSE(fs::exists(file.parent_path()));

  // The folder is there while the script runs, with what the script put in it.
  struct Writer {
    static std::int32_t Call(std::int32_t, void **argv) {
      std::FILE *f = std::fopen(static_cast<const char *>(argv[4]), "w");
      if (f == nullptr) return 1;
      std::fclose(f);
      return 0;
    }
  };
  const vlrt::Module module{kFuncs, kArgs, Writer::Call};
  std::istringstream in("f_All(0, _, 0, _, $tmp_dir \"/written\", $tmp_dir)\n");
  std::FILE *out = std::tmpfile();
  EXPECT_EQ(vlrt::RunScript(module, in, "w.vls", out, stderr), 0);
  std::rewind(out);
  char line[512] = "";
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  std::fclose(out);
  EXPECT_EQ(std::string(line).substr(0, 10), "f_All -> 0") << line;
  const std::string printed = line;
  const std::size_t at = printed.find("s=\"");
  ASSERT_NE(at, std::string::npos);
  const std::string dir = printed.substr(at + 3, printed.rfind('"') - at - 3);
  EXPECT_FALSE(fs::exists(dir)) << dir;
}

TEST(CommandLineTest, WordsAreRecoveredIntact) {
  using Words = std::vector<std::string>;
  struct Case {
    const char *id;
    Words processArgs;
    const char *cmdline;
    Words words;
  } cases[] = {
      {"a blank inside", {"util", "my script.vls"}, "my script.vls", {"my script.vls"}},
      {"two words", {"util", "a", "b"}, "a b", {"a", "b"}},
      {"no arguments", {"util"}, "", {}},
      {"an empty argument", {"util", ""}, "", {""}},
      {"the same word twice", {"util", "x", "x"}, "x x", {"x", "x"}},
      {"started by a loader", {"/lib/ld.so", "bin/util", "s p.vls"}, "s p.vls", {"s p.vls"}},
      {"bytes kept", {"util", "\xff \t\x01"}, "\xff \t\x01", {"\xff \t\x01"}},
      {"another command line: split at blanks", {"util", "a b"}, "  x  y ", {"x", "y"}},
      {"no process arguments", {}, "one two", {"one", "two"}},
      {"no process arguments, nothing given", {}, "", {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(vlrt::CommandWords(c.processArgs, c.cmdline), c.words);
  }
  const Words own = vlrt::ProcessArguments();
  ASSERT_FALSE(own.empty());
  EXPECT_NE(own[0].find("console_test"), std::string::npos) << own[0];
}

TEST(CommandLineTest, ListsFunctionsByNameOrBeginning) {
  constexpr VlFuncRow kListed[] = {
      {"l_Get", 0, 2, 0}, {"l_GetFirst", 2, 0, 0}, {"x_Odd", 2, 1, 0}, {nullptr, 0, 0, 0},
  };
  constexpr VlArgRow kListedArgs[] = {{"hdl", 1}, {"data", 8}, {"what", 3}};
  const vlrt::Module module{kListed, kListedArgs, FakeCall};
  struct Case {
    const char *name;
    int count;
    const char *text;
  } cases[] = {
      {"", 3, " 0 l_Get(hdl: integer in, data: host string)\n 1 l_GetFirst()\n 2 x_Odd(what: unknown)\n"},
      {"l_Get", 1, " 0 l_Get(hdl: integer in, data: host string)\n"},
      {"l_GetF", 1, " 1 l_GetFirst()\n"},
      {"l_", 2, " 0 l_Get(hdl: integer in, data: host string)\n 1 l_GetFirst()\n"},
      {"L_GET", 0, ""},
      {"l_GetFirstX", 0, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::FILE *out = std::tmpfile();
    EXPECT_EQ(vlrt::ListFunctions(module, c.name, out), c.count);
    std::rewind(out);
    std::string text;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) text.append(buf, n);
    std::fclose(out);
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
