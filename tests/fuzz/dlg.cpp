// The DLG reader (dlg_load) on any dialog file with one include file.
//
// Input: an include file (up to a NUL), then the dialog file; the dialog file
// reaches the include file as "inc.dlg" beside it, or as "$D/inc.dlg". Checks:
//   - the status is one of the six, and the failure report is written once
//     exactly when reading failed, with a reason within its bound;
//   - every event is well formed: levels from 1 to MAX_DEPTH, an object's path
//     the path of the object around it and its name, an attribute's full name
//     its object's path, its name and its index, names within kDlgPathMax.
#include <cstring>
#include <string>
#include <vector>

#include "dlg.h"
#include "fuzz.h"

namespace {

class Checker : public dlg::DlgConsumer {
 public:
  explicit Checker(int refuseAt) : refuseAt_(refuseAt) {}
  int OnDlgEvent(const dlg::DlgEvent &e) override {
    FUZZ_CHECK(e.level >= 1 && e.level <= dlg::MAX_DEPTH);
    FUZZ_CHECK(e.path.size() <= dlg::kDlgPathMax && e.line >= 1 && !e.file.empty());
    if (e.kind == dlg::DlgEventKind::kNew) {
      FUZZ_CHECK(e.value == nullptr && !e.className.empty() && e.objectPath == e.path && e.attribute.empty());
      FUZZ_CHECK(static_cast<std::size_t>(e.level) <= open_.size() + 1);
      open_.resize(static_cast<std::size_t>(e.level - 1));
      if (e.level > 1) {
        const std::string &outer = open_.back();
        FUZZ_CHECK(e.path.size() > outer.size() + 1 && e.path.substr(0, outer.size()) == outer &&
                   e.path[outer.size()] == '.');
      }
      FUZZ_CHECK(!e.path.empty() && e.path.back() != '.');
      open_.emplace_back(e.path);
    } else {
      FUZZ_CHECK(e.value != nullptr && e.className.empty() && !e.attribute.empty());
      FUZZ_CHECK(e.value->kind == dlg::kDlgText || e.value->kind == dlg::kDlgNumber);
      FUZZ_CHECK(static_cast<std::size_t>(e.level) <= open_.size() && open_[e.level - 1] == e.objectPath);
      std::string full = std::string(e.objectPath) + "." + std::string(e.attribute);
      if (e.indexed) full += "[" + std::to_string(e.index) + "]";
      FUZZ_CHECK(e.path == full);
    }
    return ++events_ == refuseAt_ ? 3 : 0;
  }

 private:
  std::vector<std::string> open_;  // paths of the objects open at each level
  int events_ = 0;
  int refuseAt_;
};

struct Report {
  std::vector<std::string> lines;
};

const char *Env(const char *name) {
  if (std::strcmp(name, "D") == 0) return vlfuzz::ScratchDir().c_str();
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::Input in(data, size);
  const int refuseAt = in.Byte();
  vlfuzz::ScratchFile("inc.dlg", in.Text(1 << 16));
  const std::string path = vlfuzz::ScratchFile("fuzz.dlg", in.Rest());

  Report report;
  dlg::DlgOptions options;
  options.sink = [&report](int level, const char *text) {
    FUZZ_CHECK(level == 1);
    report.lines.emplace_back(text);
  };
  options.getenv = &Env;
  Checker checker(refuseAt);
  dlg::DlgResult result;
  const int status = dlg::dlg_load(path.c_str(), checker, options, &result);
  FUZZ_CHECK(status >= dlg::kDlgOk && status <= dlg::kDlgNoMemory && status == result.status);
  FUZZ_CHECK(result.reason.size() <= dlg::kDlgReasonMax);
  if (status == dlg::kDlgOk) {
    FUZZ_CHECK(report.lines.empty() && result.reason.empty());
  } else {
    FUZZ_CHECK(report.lines.size() == 2 && report.lines[0].rfind("dlg_load() failed in line ", 0) == 0 &&
               report.lines[1].rfind("reason: ", 0) == 0);
    FUZZ_CHECK(status != dlg::kDlgNoMemory);
  }
  return 0;
}
