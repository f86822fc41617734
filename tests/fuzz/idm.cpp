// panelxlate's IDM scanner and grammar, with a configuration and an imported
// module, through to the DLG text it writes.
//
// Input: configuration lines, a module interface file and a module file (each
// up to a NUL; a script reaches them as "IDMLIB:m.ifc" and "IDMLIB:m.mod"),
// then the IDM script. Checks:
//   - a run ends normally or with a fatal error of exit code 1, 2 or 3 (3 only
//     for memory, a missing module or an unknown model or class number);
//   - what a run without a configuration writes, the DLG reader reads back
//     without a failure (names used as values defined in front of it, as a
//     header file of the user's would), unless it holds what IDM allows and
//     DLG does not (a name that begins with "_" or the value include, nesting
//     deeper than 8).
#include <cctype>
#include <string>

#include "cfgvar.h"
#include "dlg.h"
#include "fuzz.h"
#include "idmscan.h"
#include "msg.h"
#include "panelxlate.h"
#include "symbol.h"
#include "var.h"

namespace {

class Ignore : public dlg::DlgConsumer {
 public:
  int OnDlgEvent(const dlg::DlgEvent &) override { return 0; }
};

void Reset() {
  panelxlate::ResetVarStore();
  panelxlate::ResetSymbols();
  panelxlate::ResetTree();
  panelxlate::ResetLexer();
  panelxlate::msg_setlevels(0);
  panelxlate::SetProgress(false);
}

// Whether the written text is one that no DLG reader takes whatever header
// files come with it, though the converter writes it as it should: a name that
// begins with "_" (IDM names may, DLG names may not), or objects nested deeper
// than the reader's 8 (a script's braces and the instances of models with
// children nest deeper).
bool BeyondDlg(const std::string &text) {
  bool quoted = false;
  char before = '\n';
  int depth = 0;
  for (const char c : text) {
    if (c == '"' && before != '\\') quoted = !quoted;
    if (c == '\n') quoted = false;
    if (!quoted && c == '_' && (before == ' ' || before == '\t' || before == '\n' || before == '=')) return true;
    if (!quoted && c == '{' && ++depth > 8) return true;
    if (!quoted && c == '}') --depth;
    before = c;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  Reset();
  vlfuzz::Input in(data, size);
  const std::string config = in.Text(4096);
  vlfuzz::ScratchFile("m.ifc", in.Text(1 << 16));
  vlfuzz::ScratchFile("m.mod", in.Text(1 << 16));
  const std::string script(in.Rest());
  FUZZ_CHECK(panelxlate::SymbolAdd("IDMLIB=" + vlfuzz::ScratchDir()) == 0);
  std::size_t start = 0;
  while (start < config.size()) {
    const std::size_t end = std::min(config.find('\n', start), config.size());
    if (panelxlate::CfgLine(std::string_view(config).substr(start, end - start)) != 0) return Reset(), 0;
    start = end + 1;
  }
  std::string text;
  try {
    panelxlate::LexPushFile(script, panelxlate::kIdmFile, "fuzz.idm");
    panelxlate::WriteObjects(text);
  } catch (const panelxlate::FatalExit &fatal) {
    FUZZ_CHECK(fatal.code >= panelxlate::kExitSyntax && fatal.code <= panelxlate::kExitRuntime);
    Reset();
    return 0;
  }
  // A configuration may rename objects and set attributes to any text, which
  // the output then holds as it is: only a conversion without one must read back.
  if (!config.empty() || BeyondDlg(text)) return Reset(), 0;
  // Names the output uses as values are defined by header files the user
  // gives; here every name written after a "=" is defined in front of the text
  // (one token a line, as the writer writes long statements).
  std::string defined;
  for (std::size_t eq = text.find('='); eq != std::string::npos; eq = text.find('=', eq + 1)) {
    std::size_t at = text.find_first_not_of(" \t\n", eq + 1);
    if (at == std::string::npos || !(std::isalpha(static_cast<unsigned char>(text[at])) || text[at] == '_')) continue;
    std::size_t end = at;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    const std::string name = text.substr(at, end - at);
    // "include" begins a statement of DLG: no file can define it as a value.
    if (name == "include") return Reset(), 0;
    defined += name + "\n=\n1\n";
  }
  Ignore ignore;
  dlg::DlgResult result;
  const std::string out = vlfuzz::ScratchFile("out.dlg", defined + text);
  const int status = dlg::dlg_load(out.c_str(), ignore, {}, &result);
  if (status != dlg::kDlgOk) {
    std::fprintf(stderr, "DLG reader: %s (line %d)\n--- written:\n%s", result.reason.c_str(), result.line,
                 text.c_str());
  }
  FUZZ_CHECK(status == dlg::kDlgOk);
  Reset();
  return 0;
}
