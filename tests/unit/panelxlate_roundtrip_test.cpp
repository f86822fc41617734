// Test plan for the round trip: what panelxlate writes, the DLG reader reads
// back with the same objects, classes, attributes and values.
//   1. A converted script with a header of definitions: every object and
//      attribute arrives as written, texts with their bytes, names through the
//      header's definitions, indexed attributes, nesting, copies of models.
//   2. Statements longer than a DLG line (a text of 253 characters, a long
//      name deep inside) are still read whole.
//   3. IDM numbers and attribute indexes keep their value: leading zeros go (a
//      DLG number with one is octal), a number with a fraction becomes a text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dlg.h"
#include "panelxlate_testutil.h"

namespace {

using namespace panelxlate;

// Collects the reader's events as "NEW path class" and "SET name=value" lines.
class Events : public dlg::DlgConsumer {
 public:
  int OnDlgEvent(const dlg::DlgEvent &event) override {
    if (event.kind == dlg::DlgEventKind::kNew) {
      lines.push_back("NEW " + std::string(event.path) + " " + std::string(event.className));
    } else {
      const dlg::DlgValue &v = *event.value;
      lines.push_back("SET " + std::string(event.path) + "=" +
                      (v.kind == dlg::kDlgText ? "\"" + v.text + "\"" : std::to_string(v.number)));
    }
    return 0;
  }
  std::vector<std::string> lines;
};

class RoundTripTest : public xltest::XlateTest {
 protected:
  // Converts `idm` (after the `headers` copied in front), writes the DLG text
  // and reads it back; the reader's events, or a failure with its reason.
  std::vector<std::string> ReadBack(const std::string &idm, const std::vector<std::string> &headers = {}) {
    LexPushFile(idm, kIdmFile, "t.idm");
    std::string text;
    EXPECT_EQ(CopyHeaders(text, headers, "out.dlg", 0), 0);
    WriteObjects(text);
    const std::string file = dir.Write("out.dlg", text);
    Events events;
    dlg::DlgResult result;
    EXPECT_EQ(dlg::dlg_load(file.c_str(), events, {}, &result), dlg::kDlgOk) << result.reason << "\n" << text;
    return events.lines;
  }
  xltest::TempDir dir;
};

TEST_F(RoundTripTest, TheReaderReadsWhatTheWriterWrites) {
  const std::string header = dir.Write("defs.dlg", "# definitions\nConfirm = 1\n");
  const std::vector<std::string> lines = ReadBack(
      "model pushbutton OkButton {\n .text \"&OK # now\";\n .VlKbRule[1] Confirm;\n}\n"
      "window Order {\n .width 40;\n .height 10;\n .title \"Bestellung \\344\";\n"
      " child groupbox Box {\n  .xleft 1;\n  .ytop 1;\n  .width 20;\n  .height 5;\n"
      "  child edittext Qty {\n   .xleft -1;\n   .content[2] \"zwei\";\n   .maxchars 5;\n  }\n }\n"
      " child OkButton Ok;\n}\n",
      {header});
  const std::vector<std::string> expected = {
      "NEW Order Dialog",
      "SET Order.w=40",
      "SET Order.h=10",
      "SET Order.title=\"Bestellung \xCC\"",
      "NEW Order.Box GroupBox",
      "SET Order.Box.w=20",
      "SET Order.Box.h=5",
      "SET Order.Box.x=2",
      "SET Order.Box.y=2",
      "NEW Order.Box.Qty EditText",
      "SET Order.Box.Qty.x=-1",
      "SET Order.Box.Qty.line[2]=\"zwei\"",
      "SET Order.Box.Qty.maxchars=5",
      "NEW Order.Ok PushButton",
      "SET Order.Ok.text=\"&OK # now\"",
      "SET Order.Ok.cr=1",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(RoundTripTest, StatementsLongerThanALineAreReadWhole) {
  const std::string text(253, 't');
  const std::string name = "N" + std::string(254, 'n');
  const std::vector<std::string> lines = ReadBack("window W {\n .help \"" + text + "\";\n child edittext " + name +
                                                  " {\n  .help \"" + text + "\";\n }\n}\n");
  const std::vector<std::string> expected = {
      "NEW W Dialog",
      "SET W.help=\"" + text + "\"",
      "NEW W." + name + " EditText",
      "SET W." + name + ".help=\"" + text + "\"",
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(RoundTripTest, NumbersKeepTheirValue) {
  const std::vector<std::string> lines = ReadBack(
      "window W {\n child edittext E {\n  .maxchars 09;\n  .help -007;\n  .content[2] 010;\n"
      "  .text 1.50;\n  .visible 0;\n  .content[010] 1;\n  .content[09] 2;\n  .content[00] 3;\n }\n}\n");
  const std::vector<std::string> expected = {
      "NEW W Dialog",         "NEW W.E EditText",        "SET W.E.maxchars=9",      "SET W.E.help=-7",
      "SET W.E.line[2]=10",   "SET W.E.text=\"1.50\"",   "SET W.E.visible=0",         "SET W.E.line[10]=1",
      "SET W.E.line[9]=2",    "SET W.E.line[0]=3",
  };
  EXPECT_EQ(lines, expected);
}

}  // namespace
