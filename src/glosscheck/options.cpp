// glosscheck's options: the command line, the directive line and its words
// (see options.h).
#include "options.h"

#include <new>

#include "common.h"
#include "dlg.h"

namespace glosscheck {
namespace {

constexpr char kCommandLineError[] = "%s: command line error, argument '%c%c'\n";
constexpr char kNoMemoryWord[] = "Failed to allocate argument %d (%s)\n";
constexpr char kNoMemoryVector[] = "Failed to allocate argument vector\n";
constexpr char kWordTooLong[] = "%s: directive line error, word %d is longer than %d characters\n";
constexpr char kDirectiveTooLong[] = "%s: directive line error, line is longer than %d characters\n";
constexpr char kOpenFailed[] = "unable to open file '%s'\n";

// The notice line of the banner.
constexpr char kNotice[] = "Checks dialog dictionaries and DLG dialog files; -q omits this banner.";

constexpr char kUsageHead[] = "\nusage: %s [options] dictfile\n";
constexpr const char *kUsage[] = {
    "\n",
    "       options: -ln           set warning level 'n'\n",
    "                -c dlgmodel   include dialog model file\n",
    "                -d dlgfile    check dialog file\n",
    "                -m dictmodel  include dictionary model file\n",
    "                -i            do not distinct dictionary path upper/lowercase\n",
    "                -q            omit copyright banner\n",
    "                - dictfile    (use if dictfile name begins with '-')\n",
    "\n",
    "       warning level: 1 = fatal errors\n",
    "                      2 = non-fatal warnings\n",
    "\n",
    "   program exit code: 0 = success\n",
    "                      1 = syntax error\n",
    "                      2 = error on file open\n",
    "                      3 = runtime error (heap overflow...)\n",
    "                      4 = commandline syntax error\n",
    "\n",
};

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int CommandLineError(std::FILE *err, char letter) {
  std::fprintf(err, kCommandLineError, kProgramName, '-', letter);
  return kExitCommand;
}

// AddDlg and AddFile: false when memory ran out.
bool AddDlg(Settings &settings, int kind, const std::string &name) {
  if (vl::AllocFails()) return false;
  try {
    settings.dlgFiles.push_back({kind, name});
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

bool AddFile(Settings &settings, const std::string &name) {
  if (vl::AllocFails()) return false;
  try {
    settings.dictModels.push_back(name);
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

// True for a line piece that holds nothing but blanks (a line end cut off).
bool OnlyBlanks(std::string_view piece) {
  for (const char c : piece)
    if (!IsBlank(c)) return false;
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && vl::EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

Settings &RunSettings() {
  static Settings settings;
  return settings;
}

void ResetSettingsForTest() { RunSettings() = Settings{}; }

int ProcessOptions(Settings &settings, std::vector<std::string> &args, OptionSource source, std::FILE *err) {
  const bool directive = source == OptionSource::kDirective;
  std::size_t i = 0;
  while (i < args.size()) {
    std::string &arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      if (arg != "-") {
        ++i;
      } else if (directive) {
        i += 2;  // the next word is skipped
      } else {
        // The next argument is not an option: it stays as it is.
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
        ++i;
      }
      continue;
    }
    if (arg[1] == '-') {
      if (!directive) arg.erase(0, 1);
      ++i;
      continue;
    }

    const char letter = arg[1];
    std::string_view rest = std::string_view(arg).substr(2);
    std::size_t used = 1;  // words taken by the option
    const char lower = vl::AsciiLower(letter);
    if (lower == '?' || lower == 'i' || lower == 'q') {
      if (!rest.empty()) return CommandLineError(err, letter);
      if (lower == '?') {
        PrintUsage(err);
        return kExitCommand;
      }
      if (lower == 'i') settings.ignorePathCase = true;
      if (lower == 'q') settings.bannerOff = true;
    } else if (lower == 'l' || lower == 'c' || lower == 'd' || lower == 'm') {
      if (!rest.empty() && (rest.front() == ':' || rest.front() == '=')) rest.remove_prefix(1);
      std::string value;
      if (!rest.empty()) {
        value = rest;
      } else if (i + 1 < args.size()) {
        value = args[i + 1];
        used = 2;
      } else {
        return CommandLineError(err, letter);
      }
      bool added = true;
      if (lower == 'l') {
        if (value != "1" && value != "2") return CommandLineError(err, letter);
        settings.warnLevel = value[0] - '0';
      } else if (lower == 'c') {
        added = AddDlg(settings, kDialogModel, value);
      } else if (lower == 'd') {
        added = AddDlg(settings, kDialogFile, value);
      } else {
        added = AddFile(settings, value);
      }
      if (!added) return kExitRuntime;
    } else {
      return CommandLineError(err, letter);
    }
    if (directive) {
      i += used;
    } else {
      const auto first = args.begin() + static_cast<std::ptrdiff_t>(i);
      args.erase(first, first + static_cast<std::ptrdiff_t>(used));
    }
  }
  return kExitOk;
}

int split_words(std::string_view text, std::vector<std::string> &words, std::FILE *err) {
  words.clear();
  try {
    if (vl::AllocFails()) throw std::bad_alloc();
    words.reserve(8);
  } catch (const std::bad_alloc &) {
    std::fputs(kNoMemoryVector, err);
    return kExitRuntime;
  }
  std::string word = kProgramName;
  std::size_t i = 0;
  for (;;) {
    if (word.size() > kWordMax) {
      std::fprintf(err, kWordTooLong, kProgramName, static_cast<int>(words.size()), static_cast<int>(kWordMax));
      return kExitCommand;
    }
    try {
      if (vl::AllocFails()) throw std::bad_alloc();
      words.push_back(word);
    } catch (const std::bad_alloc &) {
      std::fprintf(err, kNoMemoryWord, static_cast<int>(words.size()), word.c_str());
      return kExitRuntime;
    }

    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size()) return kExitOk;
    word.clear();
    bool single = false;  // inside '...'
    bool dbl = false;     // inside "..."
    while (i < text.size()) {
      const char c = text[i];
      const char next = i + 1 < text.size() ? text[i + 1] : '\0';
      if (!single && !dbl && IsBlank(c)) break;
      if (c == '\\') {
        // A backslash at the very end stands for itself.
        const bool last = i + 1 == text.size();
        word += last ? c : next;
        i += last ? 1 : 2;
      } else if ((c == '\'' || c == '"') && next == c && i + 1 < text.size()) {
        word += c;
        i += 2;
      } else if (c == '\'') {
        if (!single) dbl = false;
        single = !single;
        ++i;
      } else if (c == '"' && !single) {
        dbl = !dbl;
        ++i;
      } else {
        word += c;
        ++i;
      }
    }
  }
}

int ReadDirectiveLine(const std::string &dictFile, bool &found, std::string &text, std::FILE *err) {
  found = false;
  text.clear();
  dlg::DlgLineReader reader;
  if (!reader.Open(dictFile)) return kExitOpen;
  std::string_view piece;
  while (reader.Next(piece, kDirectiveLineMax)) {
    if (!StartsWithNoCase(piece, kDirectivePrefix)) continue;
    const bool complete = piece.back() == '\n';
    std::string_view more;
    if (!complete && piece.size() == kDirectiveLineMax && reader.Next(more, kDirectiveLineMax) &&
        !OnlyBlanks(more)) {
      std::fprintf(err, kDirectiveTooLong, kProgramName, static_cast<int>(kDirectiveLineMax));
      return kExitCommand;
    }
    piece.remove_prefix(kDirectivePrefix.size());
    if (complete) piece.remove_suffix(1);
    text.assign(piece);
    found = true;
    return kExitOk;
  }
  return reader.failed() ? kExitOpen : kExitOk;
}

int ProcessDirectiveLine(Settings &settings, const std::string &dictFile, std::FILE *err) {
  bool found = false;
  std::string text;
  int status = ReadDirectiveLine(dictFile, found, text, err);
  if (status == kExitOpen) std::fprintf(err, kOpenFailed, dictFile.c_str());
  if (status != kExitOk || !found) return status;
  std::vector<std::string> words;
  status = split_words(text, words, err);
  if (status != kExitOk) return status;
  words.erase(words.begin());
  return ProcessOptions(settings, words, OptionSource::kDirective, err);
}

void PrintUsage(std::FILE *out) {
  std::fprintf(out, kUsageHead, kProgramName);
  for (const char *row : kUsage) std::fputs(row, out);
}

void PrintBanner(std::FILE *out, int warnLevel) {
  std::fprintf(out, "\n%s %s - Dialog Dictionary Syntax Check Utility\n", kProgramName, kVersion);
  std::fprintf(out, "%s\n", kNotice);
  std::fprintf(out, "Warning level = %d\n\n", warnLevel);
}

}  // namespace glosscheck
