// glosscheck [options] dictfile: checks a dialog dictionary and, optionally,
// DLG dialog files against it (options.h lists the options).
//
// The run: locale from the environment; options of the command line, then of
// the directive line; banner; dictionary models; the dictionary; dialog model
// files, then dialog files; the checks of the dialog objects; the sections no
// dialog used. The exit code is the highest status of the steps (ExitCode in
// options.h); a status above 1 ends the run at once.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "dlg.h"
#include "format.h"
#include "msg.h"
#include "options.h"

namespace {

using namespace glosscheck;

// Receives the objects and attributes of the DLG files.
// TODO(checks): becomes AddDlgObj, which keeps one record per dialog object
// (dialog objects in dialog mode, model objects in model mode) for
// CheckDlgObjs; until then it counts what it is given.
class DlgObjects final : public dlg::DlgConsumer {
 public:
  void SetModelMode(bool model) { model_ = model; }

  int OnDlgEvent(const dlg::DlgEvent &event) override {
    if (event.kind == dlg::DlgEventKind::kNew) ++(model_ ? models_ : objects_);
    return 0;
  }

  long objects() const { return objects_; }  // objects read from dialog files

 private:
  bool model_ = false;
  long objects_ = 0;
  long models_ = 0;
};

// Reads every entry of the DLG file list of `kind` (steps 10 and 11): 0, or 3
// when a file could not be read to its end.
int ReadDlgFiles(const Settings &settings, int kind, DlgObjects &objects) {
  dlg::DlgOptions options;
  options.sink = [](int level, const char *text) { msg_print('D', level, "%s", text); };
  options.getenv = vl::GetEnv;
  options.allocFails = vl::AllocFails;
  objects.SetModelMode(kind == kDialogModel);
  for (const DlgFileEntry &entry : settings.dlgFiles) {
    if (entry.kind != kind) continue;
    std::printf(kind == kDialogModel ? "--- including dialog model: %s\n" : "--- checking dialog: %s\n",
                entry.name.c_str());
    if (dlg::dlg_load(entry.name.c_str(), objects, options) != dlg::kDlgOk) return kExitRuntime;
  }
  return kExitOk;
}

int Run(int argc, char **argv) {
  // 1. The locale, before the message levels are set.
  const int localeStatus = vl::setup_locale_from_env();
  if (localeStatus != 0) {
    std::fprintf(stderr, "setup_locale_from_env() failed: completion code = %d\n", localeStatus);
    return kExitRuntime;
  }
  msg_bind();

  // 2. to 5. Options, the dictionary file's directive line, message levels.
  Settings &settings = RunSettings();
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  int status = ProcessOptions(settings, args, OptionSource::kCommandLine, stderr);
  if (status != kExitOk) return status;
  if (args.size() != 1) {
    PrintUsage(stderr);
    return kExitOk;
  }
  const std::string dictFile = args.front();
  status = ProcessDirectiveLine(settings, dictFile, stderr);
  if (status != kExitOk) return status;
  msg_levels().fill(static_cast<std::int8_t>(settings.warnLevel));

  // 6. Banner.
  if (!settings.bannerOff) PrintBanner(stderr, settings.warnLevel);

  // 7. Dictionary models; the first one that fails ends the step.
  int modelStatus = kExitOk;
  for (const std::string &model : settings.dictModels) {
    std::printf("--- including dictionary model: %s\n", model.c_str());
    // TODO(engine): modelStatus = CheckDict("model_00", model, -1); if (modelStatus != 0) break;
  }

  // 8. From here on a run status above 1 ends the run.
  int runStatus = kExitOk;
  const auto step = [&runStatus](int stepStatus) {
    if (stepStatus > runStatus) runStatus = stepStatus;
    return runStatus > kExitSyntax;
  };
  bool stop = step(modelStatus);

  // 9. The dictionary, its catalog on dialog level 1.
  if (!stop) {
    std::printf("--- checking dictionary: %s\n", dictFile.c_str());
    // TODO(engine): stop = step(CheckDict("dict_01", dictFile, 1));
  }

  // 10. and 11. Dialog model files, then dialog files.
  DlgObjects objects;
  if (!stop) stop = step(ReadDlgFiles(settings, kDialogModel, objects));
  if (!stop) {
    stop = step(ReadDlgFiles(settings, kDialogFile, objects));
    bool anyModel = false;
    bool anyDialog = false;
    for (const DlgFileEntry &entry : settings.dlgFiles) (entry.kind == kDialogModel ? anyModel : anyDialog) = true;
    if (!stop && anyModel && !anyDialog)
      std::puts("--- warning: no dialog files checked, included dialog models not used");
  }

  // 12. TODO(checks): if (!stop) stop = step(CheckDlgObjs());
  // 13. TODO(checks): if (!stop) ListSections(settings.warnLevel, objects.objects());
  // 14. TODO(engine): CloseAllDicts();
  return runStatus;
}

}  // namespace

int main(int argc, char **argv) {
  int status = kExitRuntime;
  try {
    status = Run(argc, argv);
  } catch (const std::bad_alloc &) {
    std::fprintf(stderr, "%s: heap overflow\n", kProgramName);
    status = kExitRuntime;
  }
  // Messages that did not reach standard output make the run a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "%s: standard output: write failed: %s\n", kProgramName, std::strerror(errno));
    if (status < kExitRuntime) status = kExitRuntime;
  }
  return status;
}
