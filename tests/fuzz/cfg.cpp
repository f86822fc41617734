// panelxlate's configuration reader, line by line and as a file.
//
// Input: the configuration file. Checks:
//   - CfgLine answers 0, 1 or 3 (3 only when memory runs out, which it does
//     not here), and CfgRead 0, 1 or 2;
//   - an item line it took is in the current section afterwards with the value
//     written (name and value without their outer blanks).
#include <string>

#include "cfgvar.h"
#include "fuzz.h"
#include "msg.h"
#include "var.h"

namespace {

// Blanks: the blank and the C locale's white space from tab to carriage return.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  panelxlate::ResetVarStore();
  panelxlate::msg_setlevels(0);
  const std::string_view file(reinterpret_cast<const char *>(data), size);
  std::size_t start = 0;
  while (start < file.size()) {
    const std::size_t end = std::min(file.find('\n', start), file.size());
    const std::string_view line = file.substr(start, end - start);
    start = end + 1;
    const int rc = panelxlate::CfgLine(line);
    FUZZ_CHECK(rc == 0 || rc == 1);
    const std::size_t eq = line.find('=');
    const std::string_view name = Trim(line.substr(0, eq));
    if (rc != 0 || eq == std::string_view::npos || name.empty() || name.front() == '#') continue;
    const panelxlate::Section *current = panelxlate::CurrentSection();
    FUZZ_CHECK(current != nullptr);
    const panelxlate::VarItem *item = current->items.Find(name);
    FUZZ_CHECK(item != nullptr && item->value == Trim(line.substr(eq + 1)));
  }
  panelxlate::ResetVarStore();
  const int rc = panelxlate::CfgRead(vlfuzz::ScratchFile("fuzz.cfg", file));
  FUZZ_CHECK(rc == 0 || rc == 1);
  panelxlate::ResetVarStore();
  return 0;
}
