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

#include "dict.h"
#include "dlg.h"
#include "dlgcheck.h"
#include "format.h"
#include "msg.h"
#include "options.h"

namespace {

using namespace glosscheck;

// Reads every entry of the DLG file list of `kind` (steps 10 and 11) into the
// dialog object or dialog model list: 0, or 3 when a file could not be read to
// its end.
int ReadDlgFiles(const Settings &settings, int kind) {
  dlg::DlgOptions options;
  options.sink = [](int level, const char *text) { msg_print('D', level, "%s", text); };
  options.getenv = vl::GetEnv;
  options.allocFails = vl::AllocFails;
  SetDlgReadMode(kind == kDialogModel ? DlgReadMode::kModel : DlgReadMode::kDialog);
  DlgObjCollector objects;
  for (const DlgFileEntry &entry : settings.dlgFiles) {
    if (entry.kind != kind) continue;
    std::printf(kind == kDialogModel ? "--- including dialog model: %s\n" : "--- checking dialog: %s\n",
                entry.name.c_str());
    if (dlg::dlg_load(entry.name.c_str(), objects, options) != dlg::kDlgOk) return kExitRuntime;
  }
  return kExitOk;
}

// Steps 7 to 13, once the settings are fixed: the dictionary models, the
// dictionary, the DLG files and the checks. Returns the run status.
int CheckAll(const Settings &settings, const std::string &dictFile) {
  // 7. Dictionary models, all under one id; the first one that fails ends the step.
  char modelId[16];
  std::snprintf(modelId, sizeof modelId, "model_%02d", 0);
  int modelStatus = kExitOk;
  for (const std::string &model : settings.dictModels) {
    std::printf("--- including dictionary model: %s\n", model.c_str());
    modelStatus = vl::CheckDict(modelId, model.c_str(), -1);
    if (modelStatus != kExitOk) break;
  }

  // 8. From here on a run status above 1 ends the run.
  int runStatus = kExitOk;
  const auto step = [&runStatus](int stepStatus) {
    if (stepStatus > runStatus) runStatus = stepStatus;
    return runStatus > kExitSyntax;
  };
  if (step(modelStatus)) return runStatus;

  // 9. The dictionary, its catalog on dialog level 1.
  std::printf("--- checking dictionary: %s\n", dictFile.c_str());
  if (step(vl::CheckDict("dict_01", dictFile.c_str(), 1))) return runStatus;

  // 10. and 11. Dialog model files, then dialog files.
  SetIgnorePathCase(settings.ignorePathCase);
  if (step(ReadDlgFiles(settings, kDialogModel))) return runStatus;
  if (step(ReadDlgFiles(settings, kDialogFile))) return runStatus;
  bool anyModel = false;
  bool anyDialog = false;
  for (const DlgFileEntry &entry : settings.dlgFiles) (entry.kind == kDialogModel ? anyModel : anyDialog) = true;
  if (anyModel && !anyDialog) std::puts("--- warning: no dialog files checked, included dialog models not used");

  // 12. The dialog objects against their sections; 13. the sections left.
  if (step(CheckDlgObjs())) return runStatus;
  ListSections(settings.warnLevel);
  return runStatus;
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

  // 7. to 13., then 14.: every dictionary closed and the lists freed.
  const int runStatus = CheckAll(settings, dictFile);
  vl::CloseAllDicts();
  FreeDlgObjs();
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
