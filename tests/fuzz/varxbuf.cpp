// The dictionary's XBUF-driven variable lists and updates: VarInitXBUF,
// VarUpdateXBUF, VarInitLIST and VarInitONE with their walks and filters,
// VarWriteXBUF, and UpdateDict, over a dictionary of every field type.
//
// Input: a byte of choices, a filter name, a field name and a value (each up
// to a NUL), then the XBUF or list. Checks:
//   - statuses from each function's documented set; frames nest no deeper than
//     kVarStackDepth and free back to none;
//   - a walk ends; the list written back is an XBUF within its room, ended by
//     "$", that starts a list which writes back the same;
//   - an update that fails leaves the dictionary as it was, and a dictionary
//     updated or not still packs.
#include <cstring>
#include <string>

#include "buffers.h"
#include "common.h"
#include "dict.h"
#include "format.h"
#include "fuzz_state.h"

namespace {

constexpr char kDictionary[] =
    "[catalog]\nF = FORM\n"
    "[f.amount]\nPATH = F.AMOUNT\nFTYP = N\nFLEN = 8\nFPREC = 2\nFMIN = -500\nFMAX = 99999\n"
    "[f.amount__2]\nPATH = F.AMOUNT2\nFTYP = N\nFLEN = 8\nFPREC = 2\n"
    "[f.since]\nPATH = F.SINCE\nFTYP = D\nFVTYP = GREG\nDEFAULT = $DATE\n"
    "[f.at]\nPATH = F.AT\nFTYP = Z\nFVTYP = HM60\nOUTPUT = shown\n"
    "[f.week]\nPATH = F.WEEK\nFTYP = K\nFVTYP = KW\nINIT = x\n"
    "[f.month]\nPATH = F.MONTH\nFTYP = M\nLOAD = y\n"
    "[f.count]\nPATH = F.COUNT\nFTYP = N\nFVTYP = I\nFLEN = 3\nDEFAULT = 0\nVALID = [0-9]*\n"
    "[f.note]\nPATH = F.NOTE\nFTYP = T\nFLEN = 20\nFFMT = U\nOUTPUT = shown\nDEFAULT = $USER\n";
constexpr char kDlgID[] = "D01FORM";

bool IsStatus(vl::Status s) { return s >= vl::kCorruptXbuf && s <= vl::kOk; }

// Walks the current list with `filter`, giving the second variable taken
// `value` when there is one, and writes the list back; returns the XBUF. The
// walk ends within `most` steps (a list holds at most one variable for each
// byte of its XBUF, or each field of the dictionary).
std::string WalkAndWrite(const std::string &filter, const std::string *value, std::size_t most) {
  const vl::Status access = vl::VarInitAccess(filter.c_str());
  FUZZ_CHECK(access == vl::kOk || access == vl::kReported);
  if (access == vl::kOk) {
    for (int steps = 0;; ++steps) {
      FUZZ_CHECK(static_cast<std::size_t>(steps) <= most);
      const vl::Status next = vl::VarGetNext();
      FUZZ_CHECK(IsStatus(next));
      if (next != vl::kOk) break;
      FUZZ_CHECK(vl::VarCurrSection() != nullptr);
      if (steps == 1 && value != nullptr) FUZZ_CHECK(IsStatus(vl::VarSetCurrValue(*value)));
    }
  }
  std::string xbuf(8192, '\0');
  std::size_t length = 0;
  const vl::Status written = vl::VarWriteXBUF(xbuf.data(), xbuf.size(), length);
  FUZZ_CHECK(written == vl::kOk || written == vl::kTooSmall || written == vl::kReported);
  if (written != vl::kOk) return "";
  FUZZ_CHECK(length >= 1 && length <= xbuf.size() && xbuf[length - 1] == '$');
  return xbuf.substr(0, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const std::string path = vlfuzz::ScratchFile("form.dic", kDictionary);
  vlfuzz::FreshStateWithLocale();
  std::int32_t rc = 7;
  FUZZ_CHECK(vl::OpenDict("form", path.c_str(), 1, rc) == vl::kOk && rc == 0);

  vlfuzz::Input in(data, size);
  const std::uint8_t choice = in.Byte();
  const std::string filter = in.Text(16);
  const std::string name = in.Text(100);
  const std::string value = in.Text(300);
  const std::string rest(in.Rest());

  vl::Status init = vl::kOk;
  switch (choice & 3) {
    case 0: init = vl::VarInitXBUF(kDlgID, rest); break;
    case 1: init = vl::VarInitLIST(kDlgID, rest.c_str()); break;
    case 2: init = vl::VarInitONE(kDlgID, name.c_str(), value.c_str()); break;
    default:
      init = vl::VarInitLIST(kDlgID, "*");
      if (init == vl::kOk) FUZZ_CHECK(IsStatus(vl::VarUpdateXBUF(kDlgID, rest)));
      break;
  }
  FUZZ_CHECK(IsStatus(init) && init != vl::kTooSmall);
  FUZZ_CHECK(vl::VarDepth() == (init == vl::kOk ? 1 : 0));
  if (init == vl::kOk) {
    const std::string first = WalkAndWrite(filter, &value, rest.size() + 16);
    if (!first.empty()) {
      // The list written back starts a list that writes back the same.
      FUZZ_CHECK(vl::VarInitXBUF(kDlgID, first) == vl::kOk);
      FUZZ_CHECK(vl::VarDepth() == 2);
      FUZZ_CHECK(WalkAndWrite("", nullptr, first.size() + 16) == first);
      FUZZ_CHECK(vl::VarFree() == vl::kOk);
    }
    FUZZ_CHECK(vl::VarFree() == vl::kOk);
  }
  FUZZ_CHECK(vl::VarDepth() == 0);

  if (choice & 4) {
    const vl::Dict *before = vl::FindDict("form", vl::kDictOrdinary);
    FUZZ_CHECK(before != nullptr);
    FUZZ_CHECK(vl::PackDictDX(*before, 1) == vl::kOk);
    const std::string packed(vl::csdxBuf().buffer.get(), vl::csdxBuf().size);
    const vl::Status update = vl::UpdateDict(kDlgID, rest);
    FUZZ_CHECK(update == vl::kOk || update == vl::kReported);
    const vl::Dict *after = vl::GetDlgDict(1, 0);
    FUZZ_CHECK(after != nullptr);
    FUZZ_CHECK(vl::PackDictDX(*after, 1) == vl::kOk);
    if (update != vl::kOk) {
      FUZZ_CHECK(after == before && std::string(vl::csdxBuf().buffer.get(), vl::csdxBuf().size) == packed);
    }
  }
  vl::ResetForTest();
  return 0;
}
