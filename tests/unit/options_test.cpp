// Test plan for glosscheck's options and message output:
//   1. split_words: blanks, backslashes, quote pairs and quoted modes, quotes
//      left open, the 255-character word (table).
//   2. Command-line options: letters in either case, the three forms of a
//      value, "-" and "--", errors with their message and status (table).
//   3. Directive-line options: nothing removed, other words ignored, "-" skips.
//   4. Memory: adding to a list, the word vector and a word.
//   5. The directive line in the dictionary file: prefix in any case, the first
//      one only, line ends, lines longer than one piece, files that cannot be read.
//   6. msg_print and the engine's trace lines share the levels and the output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "msg.h"
#include "options.h"
#include "testutil.h"

namespace {

using glosscheck::OptionSource;
using glosscheck::Settings;

// What a FILE * written by the code under test received.
class Captured {
 public:
  Captured() : file_(std::tmpfile()) {}
  ~Captured() { std::fclose(file_); }
  std::FILE *get() { return file_; }
  std::string text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string out;
    for (int c; (c = std::fgetc(file_)) != EOF;) out += static_cast<char>(c);
    return out;
  }

 private:
  std::FILE *file_;
};

std::string Usage() {
  Captured out;
  glosscheck::PrintUsage(out.get());
  return out.text();
}

// The settings as one line: level, flags, DLG files, dictionary models.
std::string Describe(const Settings &s) {
  std::string text = "l" + std::to_string(s.warnLevel);
  if (s.bannerOff) text += " q";
  if (s.ignorePathCase) text += " i";
  for (const auto &entry : s.dlgFiles) text += (entry.kind == glosscheck::kDialogModel ? " c:" : " d:") + entry.name;
  for (const auto &model : s.dictModels) text += " m:" + model;
  return text;
}

// 1. split_words -------------------------------------------------------------

// Every suite starts and ends with the process-wide state reset.
using SplitWords = vltest::StateTest;
using ProcessOptions = vltest::StateTest;
using DirectiveLine = vltest::StateTest;
using MsgPrint = vltest::StateTest;

TEST_F(SplitWords, Table) {
  struct Row {
    const char *id;
    std::string text;
    std::vector<std::string> words;  // after word 0, the program name
  };
  const std::vector<Row> rows = {
      {"empty", "", {}},
      {"blanks only", " \t ", {}},
      {"words", "-l2 -d a.dlg", {"-l2", "-d", "a.dlg"}},
      {"runs of blanks and tabs", "  a \t b  ", {"a", "b"}},
      {"carriage return is a blank", "-q\r", {"-q"}},
      {"single quotes", "'a b' c", {"a b", "c"}},
      {"double quotes", "\"a b\" c", {"a b", "c"}},
      {"quotes inside a word", "a'b c'd", {"ab cd"}},
      {"backslash", "a\\ b \\'c", {"a b", "'c"}},
      {"backslash at the very end", "a\\", {"a\\"}},
      {"backslash inside quotes", "\"a\\\"b\"", {"a\"b"}},
      {"two single quotes", "it''s", {"it's"}},
      {"two double quotes", "say\"\"hi", {"say\"hi"}},
      {"two single quotes inside single quotes", "'it''s here'", {"it's here"}},
      {"two single quotes inside double quotes", "\"a''b\"", {"a'b"}},
      {"two double quotes inside single quotes", "'a\"\"b'", {"a\"b"}},
      {"double quote inside single quotes", "'a\"b c'", {"a\"b c"}},
      {"single quote ends double-quoted mode", "\"a'b c'd e\"f g", {"ab cd", "ef g"}},
      {"a pair alone gives one quote", "\"\" ''", {"\"", "'"}},
      {"single quote left open", "'a b", {"a b"}},
      {"double quote left open", "x \"a b ", {"x", "a b "}},
      {"word of 255 characters", std::string(255, 'w'), {std::string(255, 'w')}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.id);
    Captured err;
    std::vector<std::string> words;
    ASSERT_EQ(glosscheck::split_words(row.text, words, err.get()), 0);
    std::vector<std::string> expected{"glosscheck"};
    expected.insert(expected.end(), row.words.begin(), row.words.end());
    EXPECT_EQ(words, expected);
    EXPECT_EQ(err.text(), "");
  }
}

TEST_F(SplitWords, WordLongerThan255Characters) {
  Captured err;
  std::vector<std::string> words;
  EXPECT_EQ(glosscheck::split_words("-q " + std::string(256, 'w'), words, err.get()), 4);
  EXPECT_EQ(err.text(), "glosscheck: directive line error, word 2 is longer than 255 characters\n");
}

// 2. and 3. Options ----------------------------------------------------------------

struct OptionCase {
  const char *id;
  std::vector<std::string> args;
  int status;
  std::string settings;                // Describe() after processing
  std::vector<std::string> remaining;  // the arguments left (command line)
  std::string err;                     // what went to standard error
};

void RunOptions(const std::vector<OptionCase> &cases, OptionSource source) {
  for (const OptionCase &c : cases) {
    SCOPED_TRACE(c.id);
    Settings settings;
    std::vector<std::string> args = c.args;
    Captured err;
    EXPECT_EQ(glosscheck::ProcessOptions(settings, args, source, err.get()), c.status);
    if (c.status == 0) {
      EXPECT_EQ(Describe(settings), c.settings);
      if (source == OptionSource::kCommandLine) {
        EXPECT_EQ(args, c.remaining);
      }
    }
    if (source == OptionSource::kDirective) {
      EXPECT_EQ(args, c.args);
    }
    EXPECT_EQ(err.text(), c.err);
  }
}

std::string Error(char letter) { return std::string("glosscheck: command line error, argument '-") + letter + "'\n"; }

TEST_F(ProcessOptions, CommandLine) {
  RunOptions(
      {
          {"no options", {"dict"}, 0, "l1", {"dict"}, ""},
          {"warning level", {"-l2", "dict"}, 0, "l2", {"dict"}, ""},
          {"letter in capitals", {"-L2", "-Q", "-I", "dict"}, 0, "l2 q i", {"dict"}, ""},
          {"value as next argument", {"-l", "2", "dict"}, 0, "l2", {"dict"}, ""},
          {"value after a colon", {"-l:2"}, 0, "l2", {}, ""},
          {"value after an equal sign", {"-l=2", "-l1"}, 0, "l1", {}, ""},
          {"dialog model, four ways", {"-c=a.dlg", "-c", "b.dlg", "-cc.dlg", "-c:d.dlg"}, 0,
           "l1 c:a.dlg c:b.dlg c:c.dlg c:d.dlg", {}, ""},
          {"an empty value after the sign takes the next", {"-d=", "x.dlg"}, 0, "l1 d:x.dlg", {}, ""},
          {"the next argument is a value even with a dash", {"-d", "-x.dlg"}, 0, "l1 d:-x.dlg", {}, ""},
          {"lists keep their order", {"-d", "x", "-c", "y", "-m", "m1", "-D", "z", "-M", "m2"}, 0,
           "l1 d:x c:y d:z m:m1 m:m2", {}, ""},
          {"arguments keep their order", {"a", "-q", "b", "-i", "c"}, 0, "l1 q i", {"a", "b", "c"}, ""},
          {"dash: the next argument is no option", {"-", "-dict", "-q"}, 0, "l1 q", {"-dict"}, ""},
          {"dash before a double dash", {"-", "--x"}, 0, "l1", {"--x"}, ""},
          {"dash at the end", {"dict", "-"}, 0, "l1", {"dict"}, ""},
          {"double dash drops one dash", {"--dict", "--"}, 0, "l1", {"-dict", "-"}, ""},
          {"level 3", {"-l3", "dict"}, 4, "", {}, Error('l')},
          {"level 0", {"-L0"}, 4, "", {}, Error('L')},
          {"level 22", {"-l22"}, 4, "", {}, Error('l')},
          {"level as a word", {"-l", "two"}, 4, "", {}, Error('l')},
          {"level missing", {"-l"}, 4, "", {}, Error('l')},
          {"value missing", {"dict", "-c"}, 4, "", {}, Error('c')},
          {"value missing after the sign", {"-m="}, 4, "", {}, Error('m')},
          {"unknown letter", {"-x"}, 4, "", {}, Error('x')},
          {"unknown letter in capitals", {"-X", "-q"}, 4, "", {}, Error('X')},
          {"text after a flag", {"-qi"}, 4, "", {}, Error('q')},
          {"usage", {"-q", "-?", "-x"}, 4, "", {}, Usage()},
      },
      OptionSource::kCommandLine);
}

TEST_F(ProcessOptions, DirectiveLine) {
  RunOptions(
      {
          {"options", {"-l2", "-d", "a.dlg", "-c:m.dlg"}, 0, "l2 d:a.dlg c:m.dlg", {}, ""},
          {"other words are ignored", {"word", "-q", "--i"}, 0, "l1 q", {}, ""},
          {"dash skips the next word", {"-", "-q", "-i"}, 0, "l1 i", {}, ""},
          {"dash at the end", {"-i", "-"}, 0, "l1 i", {}, ""},
          {"unknown letter", {"-q", "-z"}, 4, "", {}, Error('z')},
          {"usage", {"-?"}, 4, "", {}, Usage()},
      },
      OptionSource::kDirective);
}

// 4. Memory ------------------------------------------------------------------

TEST_F(ProcessOptions, MemoryExhausted) {
  for (const char *letter : {"-c", "-d", "-m"}) {
    SCOPED_TRACE(letter);
    Settings settings;
    std::vector<std::string> args{"-q", letter, "a"};
    Captured err;
    vl::FailAllocationsAfter(0);
    EXPECT_EQ(glosscheck::ProcessOptions(settings, args, OptionSource::kCommandLine, err.get()), 3);
    vl::FailAllocationsAfter(-1);
    EXPECT_EQ(err.text(), "");
  }
}

TEST_F(SplitWords, MemoryExhausted) {
  struct Row {
    long passing;
    const char *err;
  };
  const Row rows[] = {
      {0, "Failed to allocate argument vector\n"},
      {1, "Failed to allocate argument 0 (glosscheck)\n"},
      {3, "Failed to allocate argument 2 (b c)\n"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.err);
    Captured err;
    std::vector<std::string> words;
    vl::FailAllocationsAfter(row.passing);
    EXPECT_EQ(glosscheck::split_words("a 'b c' d", words, err.get()), 3);
    vl::FailAllocationsAfter(-1);
    EXPECT_EQ(err.text(), row.err);
  }
}

// 5. The directive line --------------------------------------------------------

TEST_F(DirectiveLine, InTheDictionaryFile) {
  struct Row {
    const char *id;
    std::string bytes;
    int status;
    bool found;
    std::string text;
  };
  const std::string long255 = "#!glosscheck " + std::string(242, 'x');  // a line of 255 characters
  const std::vector<Row> rows = {
      {"first line", "#!glosscheck -l2 -d a.dlg\n[catalog]\n", 0, true, "-l2 -d a.dlg"},
      {"prefix in capitals", "[catalog]\n#!GlossCheck -q\n", 0, true, "-q"},
      {"only the first counts", "#!glosscheck -q\n#!glosscheck -x\n", 0, true, "-q"},
      {"no blank after the name", "#!glosscheck\n#!glosscheck-q\n", 0, false, ""},
      {"a blank before the prefix", " #!glosscheck -q\n", 0, false, ""},
      {"tab instead of the blank", "#!glosscheck\t-q\n", 0, false, ""},
      {"no line end", "#!glosscheck -i", 0, true, "-i"},
      {"carriage return stays", "#!glosscheck -i\r\n", 0, true, "-i\r"},
      {"empty directive", "#!glosscheck \n", 0, true, ""},
      {"none", "[catalog]\nCU = cust\n", 0, false, ""},
      {"255 characters and the line end", long255 + "\n", 0, true, std::string(242, 'x')},
      {"255 characters, blanks and the line end", long255 + " \r\n", 0, true, std::string(242, 'x')},
      {"longer than 255 characters", long255 + "y\n", 4, false, ""},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.id);
    vltest::TempDir dir;
    vltest::WriteFile(dir / "d.dic", row.bytes);
    Captured err;
    bool found = false;
    std::string text;
    EXPECT_EQ(glosscheck::ReadDirectiveLine(dir / "d.dic", found, text, err.get()), row.status);
    EXPECT_EQ(found, row.found);
    EXPECT_EQ(text, row.text);
    EXPECT_EQ(err.text(), row.status == 4 ? "glosscheck: directive line error, line is longer than 255 characters\n" : "");
  }
}

TEST_F(DirectiveLine, FileThatCannotBeRead) {
  vltest::TempDir dir;
  for (const std::string &name : {dir / "missing.dic", dir.path().string()}) {
    SCOPED_TRACE(name);
    Settings settings;
    Captured err;
    EXPECT_EQ(glosscheck::ProcessDirectiveLine(settings, name, err.get()), 2);
    EXPECT_EQ(err.text(), "unable to open file '" + name + "'\n");
  }
}

TEST_F(DirectiveLine, ProcessedAfterTheCommandLine) {
  vltest::TempDir dir;
  vltest::WriteFile(dir / "d.dic", "#!glosscheck -l2 -d 'my dialog.dlg' - -q\n");
  Settings settings;
  std::vector<std::string> args{"-l1", "-d", "a.dlg", dir / "d.dic"};
  Captured err;
  ASSERT_EQ(glosscheck::ProcessOptions(settings, args, OptionSource::kCommandLine, err.get()), 0);
  ASSERT_EQ(glosscheck::ProcessDirectiveLine(settings, args[0], err.get()), 0);
  EXPECT_EQ(Describe(settings), "l2 d:a.dlg d:my dialog.dlg");
}

// 6. Messages ------------------------------------------------------------------

TEST_F(MsgPrint, SharesLevelsAndOutputWithTheTrace) {
  vltest::TempDir dir;
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  ASSERT_TRUE(std::freopen((dir / "out").c_str(), "w", stdout) != nullptr);
  glosscheck::msg_bind();
  glosscheck::msg_levels().fill(1);
  glosscheck::msg_print('D', 1, "fatal %d", 1);
  glosscheck::msg_print('D', 2, "warning");
  vl::TraceLine('N', 1, "engine %s", "failure");
  vl::TraceLine('D', 3, "call trace");
  glosscheck::msg_levels().fill(2);
  glosscheck::msg_print('D', 2, "warning at level 2");
  glosscheck::msg_print('d', 0, "not a letter");
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  vl::ResetTraceForTest();
  EXPECT_EQ(vltest::ReadFile(dir / "out"), "fatal 1\nengine failure\nwarning at level 2\n");
}

}  // namespace
