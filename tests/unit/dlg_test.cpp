// Test plan for the DLG reader (dlg_load):
//   1. Statuses and reasons: one row per reason, with the status and the line
//      reported, including the limits (nesting, includes, path length, names of
//      environment variables) and files that cannot be opened or read (table).
//   2. Events: objects, attributes, values, definitions, includes and line
//      numbers, as the consumer sees them (table).
//   3. The fields of an event: object path, attribute, index, level, file.
//   4. The consumer: a refused event stops the reading; earlier events stay.
//   5. Memory: each allocation with a reason of its own fails in turn.
//   6. The failure report written to the sink.
//   7. The line reader: pieces, line feeds, NUL bytes, the last line.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dlg.h"
#include "testutil.h"

namespace {

using dlg::dlg_load;
using dlg::DlgEvent;
using dlg::DlgEventKind;

// Keeps every event as one line of text; refuses event number `refuseAt` (1-based).
class Recorder : public dlg::DlgConsumer {
 public:
  int OnDlgEvent(const DlgEvent &e) override {
    std::string line;
    if (e.kind == DlgEventKind::kNew) {
      line = "N " + std::string(e.path) + " " + std::string(e.className);
    } else {
      line = "S " + std::string(e.path) + "=";
      line += e.value->kind == dlg::kDlgNumber ? std::to_string(e.value->number) : "\"" + e.value->text + "\"";
    }
    line += " " + std::to_string(e.line);
    events.push_back(line);
    details.push_back(std::string(e.objectPath) + "|" + std::string(e.attribute) + "|" +
                      (e.indexed ? std::to_string(e.index) : "-") + "|" + std::to_string(e.level) + "|" +
                      std::filesystem::path(std::string(e.file)).filename().string());
    return static_cast<int>(events.size()) == refuseAt ? refuseWith : 0;
  }
  std::vector<std::string> events;
  std::vector<std::string> details;  // objectPath|attribute|index|level|file name
  int refuseAt = 0;
  int refuseWith = 3;
};

// An absolute file name of 1023 characters.
const std::string name1023 = "/" + std::string(200, 'n') + "/" + std::string(200, 'n') + "/" + std::string(200, 'n') +
                             "/" + std::string(200, 'n') + "/" + std::string(218, 'n');

// The environment of include names: INC is the scratch folder's "sub" folder.
std::string incDir;
const char *TestEnv(const char *name) {
  if (std::string(name) == "INC") return incDir.c_str();
  if (std::string(name) == "EMPTY") return "";
  if (std::string(name) == "LONG") return name1023.c_str();
  return nullptr;
}

// A set of files in a scratch folder; the dialog file is "main.dlg".
struct Files {
  std::vector<std::pair<std::string, std::string>> files;
};

struct Loaded {
  int status;
  dlg::DlgResult result;
  std::vector<std::string> events;
  std::string dir;
};

Loaded Load(const Files &input, const std::string &main = "main.dlg", dlg::DlgOptions options = {}) {
  vltest::TempDir dir;
  std::filesystem::create_directory(dir.path() / "sub");
  incDir = dir / "sub";
  for (const auto &[name, bytes] : input.files) vltest::WriteFile(dir / name, bytes);
  if (options.getenv == nullptr) options.getenv = TestEnv;
  Recorder recorder;
  Loaded out;
  out.status = dlg_load((dir / main).c_str(), recorder, options, &out.result);
  out.events = recorder.events;
  out.dir = dir.path().string() + "/";
  return out;
}

// "{dir}" in an expected reason stands for the scratch folder with its "/".
std::string Expand(std::string text, const std::string &dir) {
  const std::size_t at = text.find("{dir}");
  if (at != std::string::npos) text.replace(at, 5, dir);
  return text;
}

std::string Repeat(const std::string &s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// Objects nested `depth` deep, one per line.
std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "Dialog o" + std::to_string(i) + " {\n";
  for (int i = 0; i < depth; ++i) text += "}\n";
  return text;
}

// 1. Statuses and reasons ------------------------------------------------------

struct StatusCase {
  const char *id;
  Files files;
  int status;
  int line;
  std::string reason;  // "{dir}" stands for the scratch folder
};

TEST(DlgLoad, StatusesAndReasons) {
  // Five objects whose path has 1023 characters (4 * 204 + 203 and 4 dots), one per line.
  const std::string n204 = "n" + Repeat("x", 203);
  const std::string longPath = Repeat("D " + n204 + " {\n", 4) + "D " + n204.substr(0, 203) + " {\n";
  const std::string shorterPath = Repeat("D " + n204 + " {\n", 4) + "D " + n204.substr(0, 199) + " {\n";
  const std::vector<StatusCase> cases = {
      {"comments and blank lines only", {{{"main.dlg", "# one\n\n   # two\n\t\n"}}}, 0, 4, ""},
      {"empty file", {{{"main.dlg", ""}}}, 0, 0, ""},
      {"missing dialog file", {}, 2, 0, "{dir}main.dlg: Unable to open dialog file"},
      {"missing quote", {{{"main.dlg", "Dialog d {\n  .t = \"abc\n}\n"}}}, 3, 2, "Missing quote"},
      {"quote open in an include name", {{{"main.dlg", "include \"a.dlg\n"}}}, 3, 1, "Missing quote"},
      {"object left open", {{{"main.dlg", "Dialog d {\n.w = 1\n"}}}, 3, 2, "Missing '}', level = 1"},
      {"two objects left open", {{{"main.dlg", "Dialog d { Edit e {"}}}, 3, 1, "Missing '}', level = 2"},
      {"extra brace", {{{"main.dlg", "# c\nDialog d { }\n}\n"}}}, 3, 3, "Extra '}'"},
      {"attribute outside objects", {{{"main.dlg", "\n.w = 1\n"}}}, 3, 2, "Not inside object"},
      {"brace where a statement begins", {{{"main.dlg", "{"}}}, 3, 1, "Identifier expected: unexpected token 0x7b"},
      {"number where a statement begins", {{{"main.dlg", "5"}}}, 3, 1, "Identifier expected: unexpected token 0x101"},
      {"NUL byte", {{{"main.dlg", std::string("Dialog d {}\n\0", 13)}}}, 3, 2,
       "Identifier expected: unexpected token 0x00"},
      {"byte 0xff", {{{"main.dlg", "\xff"}}}, 3, 1, "Identifier expected: unexpected token 0xff"},
      {"octal number followed by 9", {{{"main.dlg", "D d { .g = 019 }"}}}, 3, 1,
       "Identifier expected: unexpected token 0x101"},
      {"plus sign", {{{"main.dlg", "+5"}}}, 3, 1, "Identifier expected: unexpected token 0x2b"},
      {"lone minus", {{{"main.dlg", "- Dialog d { }"}}}, 3, 1, "Identifier expected: unexpected token 0x101"},
      {"dotted object name", {{{"main.dlg", "Dialog a.b {"}}}, 3, 1, "Object name expected: unexpected token 0x103"},
      {"object without name", {{{"main.dlg", "Dialog {"}}}, 3, 1, "Object name expected: unexpected token 0x7b"},
      {"statement cut by the end", {{{"main.dlg", "Dialog"}}}, 3, 1,
       "Object name expected: unexpected token 0xffffffff"},
      {"brace missing", {{{"main.dlg", "Dialog d\n}"}}}, 3, 2, "'{' Expected"},
      {"dotted attribute name", {{{"main.dlg", "Dialog d { .a.b = 1 }"}}}, 3, 1, "Attribute expected"},
      {"text as index", {{{"main.dlg", "Dialog d { .x[\"1\"] = 1 }"}}}, 3, 1, "Attribute index expected"},
      {"name as index", {{{"main.dlg", "N = 1 Dialog d { .x[N] = 1 }"}}}, 3, 1, "Attribute index expected"},
      {"index not closed", {{{"main.dlg", "Dialog d { .x[1 = 2 }"}}}, 3, 1, "']' Expected"},
      {"equal sign missing", {{{"main.dlg", "Dialog d {\n.x\n5 }"}}}, 3, 3, "'=' Expected"},
      {"equal sign missing after index", {{{"main.dlg", "Dialog d { .x[1] 5 }"}}}, 3, 1, "'=' Expected"},
      {"brace as value", {{{"main.dlg", "Dialog d { .x = { }"}}}, 3, 1, "Attribute value expected"},
      {"dotted name as value", {{{"main.dlg", "A.B = 1 Dialog d { .x = A.B }"}}}, 3, 1, "Attribute value expected"},
      {"undefined name as value", {{{"main.dlg", "Dialog d {\n .x = M }"}}}, 3, 2, "M: Attribute value not defined"},
      {"undefined name in a definition", {{{"main.dlg", "N = M"}}}, 3, 1, "M: Attribute value not defined"},
      {"brace in a definition", {{{"main.dlg", "N = {"}}}, 3, 1, "define: attribute value expected"},
      {"redefinition still checked", {{{"main.dlg", "N = 1\nN = M"}}}, 3, 2, "M: Attribute value not defined"},
      {"include without name", {{{"main.dlg", "include 5"}}}, 3, 1, "include: File name expected"},
      {"include in capitals is a keyword", {{{"main.dlg", "INCLUDE = 5"}}}, 3, 1, "include: File name expected"},
      {"missing include", {{{"main.dlg", "# c\ninclude \"none.dlg\"\n"}}}, 2, 2, "{dir}none.dlg: Unable to open include file"},
      {"folder as include", {{{"main.dlg", "include \"sub\""}}}, 2, 1, "{dir}sub: Unable to open include file"},
      {"empty include name", {{{"main.dlg", "include \"\""}}}, 2, 1, "{dir}: Unable to open include file"},
      {"missing include below an include",
       {{{"main.dlg", "include \"a.dlg\""}, {"a.dlg", "\n\ninclude \"none.dlg\""}}}, 2, 3,
       "{dir}none.dlg: Unable to open include file"},
      {"two includes deep are read",
       {{{"main.dlg", "include \"a.dlg\""}, {"a.dlg", "include \"b.dlg\""}, {"b.dlg", "Dialog d {}"}}}, 0, 1, ""},
      {"three includes deep",
       {{{"main.dlg", "include \"a.dlg\""}, {"a.dlg", "include \"b.dlg\""}, {"b.dlg", "\ninclude \"c.dlg\""},
         {"c.dlg", ""}}},
       3, 2, "Include: File nesting too deep"},
      {"a file that includes itself", {{{"main.dlg", "# self\ninclude \"main.dlg\"\n"}}}, 3, 2,
       "Include: File nesting too deep"},
      {"two files that include each other",
       {{{"main.dlg", "include \"a.dlg\""}, {"a.dlg", "include \"main.dlg\""}}}, 3, 1,
       "Include: File nesting too deep"},
      {"optional missing include", {{{"main.dlg", "include \"?none.dlg\"\nDialog d {}"}}}, 0, 2, ""},
      {"optional include is read", {{{"main.dlg", "include \"?a.dlg\""}, {"a.dlg", "Dialog d {"}}}, 3, 1,
       "Missing '}', level = 1"},
      {"environment variable", {{{"main.dlg", "include \"$INC/a.dlg\""}, {"sub/a.dlg", "}"}}}, 3, 1, "Extra '}'"},
      {"environment variable inside the name", {{{"main.dlg", "include \"x$EMPTY.dlg\""}, {"x.dlg", "}"}}}, 3, 1,
       "Extra '}'"},
      {"dollar without a name", {{{"main.dlg", "include \"$/a.dlg\""}}}, 3, 1, "$/a.dlg: Bad environment variable"},
      {"underscore ends the name", {{{"main.dlg", "include \"a$_X.dlg\""}}}, 3, 1,
       "$_X.dlg: Bad environment variable"},
      {"variable name of 79 characters", {{{"main.dlg", "include \"$" + Repeat("V", 79) + "\""}}}, 3, 1,
       Repeat("V", 79) + ": Environment variable not defined"},
      {"variable name of 80 characters", {{{"main.dlg", "include \"$A" + Repeat("V", 79) + "\""}}}, 3, 1,
       "A" + Repeat("V", 19) + ": Bad environment variable"},
      {"undefined variable", {{{"main.dlg", "include \"$NOPE/a.dlg\""}}}, 3, 1, "NOPE: Environment variable not defined"},
      {"optional include with an undefined variable", {{{"main.dlg", "include \"?$NOPE/a.dlg\" Dialog d {}"}}}, 0, 1,
       ""},
      {"include name of 1023 characters is tried", {{{"main.dlg", "include \"$LONG\""}}}, 2, 1,
       "/" + Repeat("n", 79) + ": Unable to open include file"},
      {"include name longer than 1023 characters",
       {{{"main.dlg", "\ninclude \"$LONG/x\""}}}, 3, 2,
       "/" + Repeat("n", 79) + ": Include file name too long"},
      {"optional include name too long", {{{"main.dlg", "include \"?$LONG/x\""}}}, 0, 1, ""},
      {"eight objects nested", {{{"main.dlg", Nested(8)}}}, 0, 16, ""},
      {"nine objects nested", {{{"main.dlg", Nested(9)}}}, 4, 9, "Nesting to deep, MAX_DEPTH is 8"},
      {"object path of 1023 characters", {{{"main.dlg", longPath + "}}}}}"}}}, 0, 6, ""},
      {"object path longer than 1023 characters", {{{"main.dlg", longPath + "D x {"}}}, 3, 6,
       "Object path too long, limit is 1023 characters"},
      {"attribute name beyond 1023 characters", {{{"main.dlg", longPath + ".w = 1"}}}, 3, 6,
       "Object path too long, limit is 1023 characters"},
      {"attribute name of 1023 characters", {{{"main.dlg", shorterPath + ".w = 1 }}}}}"}}}, 0, 6, ""},
      {"index beyond 1023 characters", {{{"main.dlg", shorterPath + ".w[1] = 1"}}}, 3, 6,
       "Object path too long, limit is 1023 characters"},
  };
  for (const StatusCase &c : cases) {
    SCOPED_TRACE(c.id);
    const Loaded got = Load(c.files);
    EXPECT_EQ(got.status, c.status);
    EXPECT_EQ(got.result.status, c.status);
    EXPECT_EQ(got.result.line, c.line);
    EXPECT_EQ(got.result.reason, Expand(c.reason, got.dir));
  }
}

TEST(DlgLoad, FolderAsDialogFile) {
  const Loaded got = Load({}, "sub");
  EXPECT_EQ(got.status, dlg::kDlgNoFile);
  EXPECT_EQ(got.result.reason, got.dir + "sub: Unable to open dialog file");
}

TEST(DlgLoad, ReadErrorIsAFileError) {
  // Reading this file fails at its first byte.
  Recorder recorder;
  dlg::DlgResult result;
  EXPECT_EQ(dlg_load("/proc/self/mem", recorder, {}, &result), dlg::kDlgNoFile);
  EXPECT_EQ(result.reason, "/proc/self/mem: Unable to read dialog file");
}

// 2. Events ------------------------------------------------------------------

struct EventCase {
  const char *id;
  Files files;
  std::vector<std::string> events;
};

TEST(DlgLoad, Events) {
  const std::vector<EventCase> cases = {
      {"comments and blank lines only", {{{"main.dlg", "# one\n\n   # two .w = 1\n\t\n"}}}, {}},
      {"object and attributes",
       {{{"main.dlg", "Dialog cust {\n  .w = 20\n  .title = \"Customer\"\n}\n"}}},
       {"N cust Dialog 1", "S cust.w=20 2", "S cust.title=\"Customer\" 3"}},
      {"nested objects and paths",
       {{{"main.dlg", "Dialog cust {\n EditText fld {\n  .w = 1\n }\n .h = 2\n}\nDialog two { .x = 3 }\n"}}},
       {"N cust Dialog 1", "N cust.fld EditText 2", "S cust.fld.w=1 3", "S cust.h=2 5", "N two Dialog 7",
        "S two.x=3 7"}},
      {"indexed attributes",
       {{{"main.dlg", "Dialog cust { EditText fld { .content[2] = \"x\" .content[-1] = 0x10 .w = 4 } }"}}},
       {"N cust Dialog 1", "N cust.fld EditText 1", "S cust.fld.content[2]=\"x\" 1",
        "S cust.fld.content[-1]=16 1", "S cust.fld.w=4 1"}},
      {"numbers",
       {{{"main.dlg", "D d { .a = 0x10 .b = 010 .c = -5 .d = 0 .e = 0XfF .f = -0x10 }"}}},
       {"N d D 1", "S d.a=16 1", "S d.b=8 1", "S d.c=-5 1", "S d.d=0 1", "S d.e=255 1", "S d.f=-16 1"}},
      {"a minus begins a number, 0 without digits",
       {{{"main.dlg", "D d { .a = - .b = -\n.c = -Edit f { } }"}}},
       {"N d D 1", "S d.a=0 1", "S d.b=0 1", "S d.c=0 2", "N d.f Edit 2"}},
      {"numbers clamped to 32 bits",
       {{{"main.dlg", "D d { .a = 2147483647 .b = 2147483648 .c = -2147483648 .d = -99999999999999999999 "
                      ".e = 0xffffffffffffffffff }"}}},
       {"N d D 1", "S d.a=2147483647 1", "S d.b=2147483647 1", "S d.c=-2147483648 1", "S d.d=-2147483648 1",
        "S d.e=2147483647 1"}},
      {"texts", {{{"main.dlg", "D d { .a = \"# not a comment\" .b = \"\" .c=\"x y\"}# a comment\n"}}},
       {"N d D 1", "S d.a=\"# not a comment\" 1", "S d.b=\"\" 1", "S d.c=\"x y\" 1"}},
      {"definitions: the first stays, names ignore case",
       {{{"main.dlg", "N = 5\nN = 6\nn = 7\nT = \"t\"\nU = T\nX.Y = 1\nD d { .a = N .b = n .c = U }"}}},
       {"N d D 7", "S d.a=5 7", "S d.b=5 7", "S d.c=\"t\" 7"}},
      {"a definition copies the value it names",
       {{{"main.dlg", "A = 1\nB = A\nD d { .b = B }"}}},
       {"N d D 3", "S d.b=1 3"}},
      {"dotted class names and tokens spread over lines",
       {{{"main.dlg", "my.Model\n  m\n  {\n  .\n  w\n  =\n  3\n  }"}}},
       {"N m my.Model 3", "S m.w=3 7"}},
      {"a number followed by a name", {{{"main.dlg", "D d{.w=12abc q{}}"}}}, {"N d D 1", "S d.w=12 1", "N d.q abc 1"}},
      {"blanks of every kind", {{{"main.dlg", "D\td\v{\f.w\r=\r1\r\n}\r\n"}}}, {"N d D 1", "S d.w=1 1"}},
      {"include files keep their own lines",
       {{{"main.dlg", "Dialog cust {\ninclude \"a.dlg\" .after = 1\n.last = 2\n}"},
         {"a.dlg", "# a\n\nEditText fld { .w = 9 }\n"}}},
       {"N cust Dialog 1", "N cust.fld EditText 3", "S cust.fld.w=9 3", "S cust.after=1 2", "S cust.last=2 3"}},
      {"includes nested in includes are found beside the dialog file",
       {{{"main.dlg", "include \"sub/a.dlg\""}, {"sub/a.dlg", "include \"b.dlg\""}, {"b.dlg", "D top {}"}}},
       {"N top D 1"}},
      {"an object begun in an include ends in the dialog file",
       {{{"main.dlg", "include \"a.dlg\"\n.w = 1\n}"}, {"a.dlg", "Dialog d {"}}},
       {"N d Dialog 1", "S d.w=1 2"}},
      {"definitions of an include stay for the dialog file",
       {{{"main.dlg", "include \"a.dlg\"\nD d { .w = W }"}, {"a.dlg", "W = 40"}}},
       {"N d D 2", "S d.w=40 2"}},
      {"a line of 300 characters counts as two",
       {{{"main.dlg", "D d {" + std::string(295, ' ') + "\n.w = 1 }"}}},
       {"N d D 1", "S d.w=1 3"}},
      {"a line of 255 characters and its line feed count as two",
       {{{"main.dlg", "D d {" + std::string(250, ' ') + "\n.w = 1 }"}}},
       {"N d D 1", "S d.w=1 3"}},
      {"a line of 254 characters and its line feed count as one",
       {{{"main.dlg", "D d {" + std::string(249, ' ') + "\n.w = 1 }"}}},
       {"N d D 1", "S d.w=1 2"}},
  };
  for (const EventCase &c : cases) {
    SCOPED_TRACE(c.id);
    const Loaded got = Load(c.files);
    EXPECT_EQ(got.status, 0) << got.result.reason;
    EXPECT_EQ(got.events, c.events);
  }
}

TEST(DlgLoad, EventsBeforeAFailureStay) {
  const Loaded got = Load({{{"main.dlg", "D d {\n.w = 1\n.x = M\n.y = 2 }"}}});
  EXPECT_EQ(got.status, dlg::kDlgSyntax);
  EXPECT_EQ(got.events, (std::vector<std::string>{"N d D 1", "S d.w=1 2"}));
}

TEST(DlgLoad, NothingIsKeptBetweenCalls) {
  vltest::TempDir dir;
  vltest::WriteFile(dir / "a.dlg", "N = 1\nD d {");
  vltest::WriteFile(dir / "b.dlg", "D e { .w = N }");
  Recorder recorder;
  dlg::DlgResult result;
  EXPECT_EQ(dlg_load((dir / "a.dlg").c_str(), recorder), dlg::kDlgSyntax);
  EXPECT_EQ(dlg_load((dir / "b.dlg").c_str(), recorder, {}, &result), dlg::kDlgSyntax);
  EXPECT_EQ(result.reason, "N: Attribute value not defined");
  EXPECT_EQ(recorder.events.back(), "N e D 1");  // level 0 again: the path is "e"
}

// 3. The fields of an event ------------------------------------------------------

TEST(DlgLoad, EventFields) {
  vltest::TempDir dir;
  vltest::WriteFile(dir / "main.dlg", "Dialog cust {\n include \"a.dlg\"\n .h[3] = 1\n}");
  vltest::WriteFile(dir / "a.dlg", "EditText fld { .content[2] = \"x\" }");
  Recorder recorder;
  ASSERT_EQ(dlg_load((dir / "main.dlg").c_str(), recorder), dlg::kDlgOk);
  EXPECT_EQ(recorder.details, (std::vector<std::string>{
                                  "cust||-|1|main.dlg",
                                  "cust.fld||-|2|a.dlg",
                                  "cust.fld|content|2|2|a.dlg",
                                  "cust|h|3|1|main.dlg",
                              }));
}

// 4. The consumer --------------------------------------------------------------

TEST(DlgLoad, ConsumerStatuses) {
  struct Row {
    int refuseAt;
    int refuseWith;
    int status;
    const char *reason;
    std::size_t events;
  };
  const Row rows[] = {
      {1, 1, 0, "", 4},  {2, 2, 0, "", 4},
      {1, 3, 1, "DLG NEW \"cust\",\"Dialog\" failed", 1},
      {2, 3, 1, "DLG SET \"cust.w\",... failed", 2},
      {3, 99, 1, "DLG NEW \"cust.fld\",\"Edit\" failed", 3},
      {4, 3, 1, "DLG SET \"cust.fld.content[7]\",... failed", 4},
  };
  vltest::TempDir dir;
  vltest::WriteFile(dir / "main.dlg", "Dialog cust {\n.w = 1\nEdit fld {\n.content[7] = 2 } }");
  for (const Row &row : rows) {
    SCOPED_TRACE(row.reason);
    Recorder recorder;
    recorder.refuseAt = row.refuseAt;
    recorder.refuseWith = row.refuseWith;
    dlg::DlgResult result;
    EXPECT_EQ(dlg_load((dir / "main.dlg").c_str(), recorder, {}, &result), row.status);
    EXPECT_EQ(result.reason, row.reason);
    EXPECT_EQ(recorder.events.size(), row.events);
  }
}

// 5. Memory ----------------------------------------------------------------

long allocChecksLeft = -1;
bool CountedAllocFails() { return allocChecksLeft >= 0 && allocChecksLeft-- == 0; }

TEST(DlgLoad, MemoryExhausted) {
  // Checks in order: the identifier "T", the table for T, the text of T, the
  // identifier "Dialog"; a definition of a known name asks for no table.
  const char *reasons[] = {"Unable to allocate identifier", "define: Unable to allocate table",
                           "define: Unable to allocate string value", "Unable to allocate identifier"};
  dlg::DlgOptions options;
  options.allocFails = CountedAllocFails;
  for (long n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    allocChecksLeft = n;
    const Loaded got = Load({{{"main.dlg", "T = \"t\"\nDialog d { .w = T }"}}}, "main.dlg", options);
    EXPECT_EQ(got.status, dlg::kDlgNoMemory);
    EXPECT_EQ(got.result.reason, reasons[n]);
  }
  allocChecksLeft = -1;
}

// 6. The failure report ------------------------------------------------------------

TEST(DlgLoad, FailureReport) {
  std::vector<std::string> lines;
  dlg::DlgOptions options;
  options.sink = [&lines](int level, const char *text) { lines.push_back(std::to_string(level) + " " + text); };
  Load({{{"main.dlg", "\n\nD d {"}}}, "main.dlg", options);
  EXPECT_EQ(lines, (std::vector<std::string>{"1 dlg_load() failed in line 3:", "1 reason: Missing '}', level = 1"}));
  lines.clear();
  Load({{{"main.dlg", "D d {}"}}}, "main.dlg", options);
  EXPECT_TRUE(lines.empty());
}

// 7. The line reader ----------------------------------------------------------------

TEST(DlgLineReader, Pieces) {
  struct Row {
    const char *id;
    std::string bytes;
    std::size_t max;
    std::vector<std::string> pieces;
  };
  const std::vector<Row> rows = {
      {"lines", "ab\ncd\n", 255, {"ab\n", "cd\n"}},
      {"last line without line feed", "ab\ncd", 255, {"ab\n", "cd"}},
      {"empty lines", "\n\n", 255, {"\n", "\n"}},
      {"empty file", "", 255, {}},
      {"cut at max", "abcdefg\n", 3, {"abc", "def", "g\n"}},
      {"line feed just after max", "abc\n", 3, {"abc", "\n"}},
      {"NUL bytes are kept", std::string("a\0b\n", 4), 255, {std::string("a\0b\n", 4)}},
      {"carriage returns are kept", "a\r\n", 255, {"a\r\n"}},
      {"long line across read blocks", std::string(200000, 'x') + "\nz", 255, {}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.id);
    vltest::TempDir dir;
    vltest::WriteFile(dir / "f", row.bytes);
    dlg::DlgLineReader reader;
    ASSERT_TRUE(reader.Open(dir / "f"));
    std::vector<std::string> pieces;
    std::string all;
    std::string_view piece;
    while (reader.Next(piece, row.max)) {
      pieces.emplace_back(piece);
      all += piece;
      EXPECT_LE(piece.size(), row.max);
    }
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(all, row.bytes);
    if (!row.pieces.empty() || row.bytes.empty()) {
      EXPECT_EQ(pieces, row.pieces);
    }
  }
}

TEST(DlgLineReader, OpenRefuses) {
  vltest::TempDir dir;
  dlg::DlgLineReader reader;
  EXPECT_FALSE(reader.Open(dir.path().string()));
  EXPECT_FALSE(reader.Open(dir / "missing"));
  EXPECT_FALSE(reader.Open(std::string("a\0b", 3)));
}

}  // namespace
