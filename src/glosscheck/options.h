// glosscheck's run settings and file lists, and the processing of its options
// from the command line and from the directive line of the dictionary file.
//
//   glosscheck [options] dictfile
//     -ln           warning level n (1 or 2)
//     -c dlgmodel   dialog model file       -d dlgfile    dialog file to check
//     -m dictmodel  dictionary model file   -i            ignore path case
//     -q            no banner               -?            usage, exit 4
//     -             the next argument is not an option
//
// Option letters match in either case; a value follows the letter directly,
// after ":" or "=", or as the next argument. An argument beginning with "--" is
// an ordinary argument without its first "-".
//
// The dictionary file may carry more options in its first line that begins
// with "#!glosscheck " (in any case): the directive line. Its words are
// processed after the command line's, with the same options.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace glosscheck {

inline constexpr char kProgramName[] = "glosscheck";
inline constexpr char kVersion[] = "V 3.14";
inline constexpr std::string_view kDirectivePrefix = "#!glosscheck ";
inline constexpr std::size_t kDirectiveLineMax = 255;  // bytes in one line piece of the dictionary file
inline constexpr std::size_t kWordMax = 255;           // characters in one directive word

// Exit codes of the run.
enum ExitCode : int {
  kExitOk = 0,        // success
  kExitSyntax = 1,    // a dictionary, model or dialog object with errors
  kExitOpen = 2,      // the dictionary file or a dictionary model cannot be opened
  kExitRuntime = 3,   // memory exhausted, locale set-up, DLG reading, internal failure
  kExitCommand = 4,   // invalid option or value (command line or directive line), and -?
};

// Kinds of the DLG file list.
enum DlgFileKind : int {
  kDialogFile = 0,   // -d: a dialog file to check
  kDialogModel = 1,  // -c: a dialog model file
};

struct DlgFileEntry {
  int kind;          // DlgFileKind
  std::string name;
};

struct Settings {
  int warnLevel = 1;                     // 1 fatal errors, 2 also warnings (-l)
  bool bannerOff = false;                // -q
  bool ignorePathCase = false;           // -i: no warning for case differences in PATH items
  std::vector<DlgFileEntry> dlgFiles;    // -c and -d, in the order given (AddDlg)
  std::vector<std::string> dictModels;   // -m, in the order given (AddFile)
};

// The run's settings (process-wide), and their reset for tests.
Settings &RunSettings();
void ResetSettingsForTest();

// Where a list of words comes from.
enum class OptionSource {
  kCommandLine,  // options and their values are removed; the other arguments stay in order
  kDirective,    // nothing is removed; other words are ignored; "-" skips the next word
};

// Processes the options among `args` (without the program name) into
// `settings`. Returns 0; 3 when memory ran out while adding to a list (no
// message); or 4 after "%s: command line error, argument '%c%c'\n" on `err`
// for an unknown letter, a missing value, a level other than 1 or 2, or text
// after a letter that takes no value, and after the usage text for -?.
[[nodiscard]] int ProcessOptions(Settings &settings, std::vector<std::string> &args, OptionSource source,
                                 std::FILE *err);

// Splits `text` into `words`, word 0 being the program name. Words are
// separated by blanks outside quotes; a backslash takes the next character
// literally; '' and "" give one quote, in or out of quotes; '...' and "..."
// quote (a double quote inside single quotes is literal; a single quote ends
// double-quoted mode and starts single-quoted mode). Quotes left open end with
// the text. Returns 0; 3 after "Failed to allocate argument %d (%s)" or "Failed
// to allocate argument vector" on `err`; 4 after a message on `err` for a word
// longer than kWordMax characters.
[[nodiscard]] int split_words(std::string_view text, std::vector<std::string> &words, std::FILE *err);

// Looks for the directive line of `dictFile`, reading it in pieces of at most
// kDirectiveLineMax bytes. Returns 0 with found and text (after the prefix,
// without the line end); 2 when the file cannot be opened or read (a folder
// included; memory exhausted throws std::bad_alloc); 4 after a message on `err` when the directive line goes on beyond
// its first piece with more than blanks, so that no option of it is lost unnoticed.
[[nodiscard]] int ReadDirectiveLine(const std::string &dictFile, bool &found, std::string &text, std::FILE *err);

// Finds, splits and processes the directive line of `dictFile` (step 4 of the
// run). Returns 0; 2 after "unable to open file '%s'\n" on `err`; or the status
// of ReadDirectiveLine, split_words or ProcessOptions.
[[nodiscard]] int ProcessDirectiveLine(Settings &settings, const std::string &dictFile, std::FILE *err);

// The usage text, and the banner with the warning level.
void PrintUsage(std::FILE *out);
void PrintBanner(std::FILE *out, int warnLevel);

}  // namespace glosscheck
