// glosscheck's directive line: the word splitter (split_words) and the options
// it feeds.
//
// Input: a byte of choices, then the text of a directive line. Checks:
//   - split_words answers 0 or 4 (3 only when memory runs out), word 0 is the
//     program name and no word is longer than kWordMax;
//   - the words, written back with a backslash before every character, split
//     into the same words;
//   - the options of the words are processed into 0 or 4 (with the usage text
//     for -?), the warning level staying 1 or 2.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz.h"
#include "options.h"

namespace {

std::FILE *Sink() {
  static std::FILE *null = std::fopen("/dev/null", "w");
  return null;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  std::vector<std::string> words;
  const int rc = glosscheck::split_words(text, words, Sink());
  FUZZ_CHECK(rc == glosscheck::kExitOk || rc == glosscheck::kExitCommand);
  if (rc != glosscheck::kExitOk) return 0;
  FUZZ_CHECK(!words.empty() && words[0] == glosscheck::kProgramName);
  std::string again;
  bool writable = true;
  for (std::size_t i = 1; i < words.size(); ++i) {
    FUZZ_CHECK(words[i].size() <= glosscheck::kWordMax);
    writable = writable && !words[i].empty();
    if (i > 1) again += ' ';
    for (const char c : words[i]) {
      again += '\\';
      again += c;
    }
  }
  if (writable) {
    std::vector<std::string> back;
    FUZZ_CHECK(glosscheck::split_words(again, back, Sink()) == glosscheck::kExitOk);
    FUZZ_CHECK(back == words);
  }
  glosscheck::ResetSettingsForTest();
  glosscheck::Settings &settings = glosscheck::RunSettings();
  std::vector<std::string> args(words.begin() + 1, words.end());
  const int options = glosscheck::ProcessOptions(settings, args, glosscheck::OptionSource::kDirective, Sink());
  FUZZ_CHECK(options == glosscheck::kExitOk || options == glosscheck::kExitCommand);
  FUZZ_CHECK(settings.warnLevel == 1 || settings.warnLevel == 2);
  glosscheck::ResetSettingsForTest();
  return 0;
}
