// The INI reader and the entry writer of ini_SetString, on any file.
//
// Input: a byte of buffer sizes, a section, an entry name and a value (each up
// to a NUL), then the file. Checks:
//   - the handle readers keep within the sizes they are given and answer only
//     their documented states, and a walk ends;
//   - every line parses into names and values inside the line, trimmed, a
//     value holding none of its end characters;
//   - writing an entry the file syntax can hold and reading it back with the
//     look-up of ini_GetString gives the value written.
#include <cstring>
#include <string>

#include "common.h"
#include "fuzz_state.h"
#include "ini.h"
#include "ini_host.h"
#include "ini_int.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void WalkHandles(const std::string &path, int nameSize, int valueSize) {
  const int hdl = vl::IniOpen(path.c_str(), nullptr);
  if (hdl < 0) return;
  std::string name(static_cast<std::size_t>(nameSize), 'x');
  std::string value(static_cast<std::size_t>(valueSize), 'x');
  for (int steps = 0;; ++steps) {
    FUZZ_CHECK(steps < 1000000);
    const vl::IniState s = vl::IniNextEntry(hdl, name.data(), nameSize, value.data(), valueSize);
    FUZZ_CHECK(s >= vl::kIniFailed && s <= vl::kIniNextSection);
    if (s == vl::kIniReading) {
      FUZZ_CHECK(std::strlen(name.c_str()) < static_cast<std::size_t>(nameSize));
      FUZZ_CHECK(std::strlen(value.c_str()) < static_cast<std::size_t>(valueSize));
      continue;
    }
    if (s != vl::kIniEnd) break;
    const vl::IniState h = vl::IniNextSection(hdl, name.data(), nameSize);
    FUZZ_CHECK(h >= vl::kIniFailed && h <= vl::kIniEnd);
    if (h != vl::kIniReading) break;
    FUZZ_CHECK(std::strlen(name.c_str()) < static_cast<std::size_t>(nameSize));
  }
  FUZZ_CHECK(vl::IniSeekSection(hdl, nullptr) == vl::kIniReading);
  for (int steps = 0;; ++steps) {
    FUZZ_CHECK(steps < 1000000);
    std::size_t length = 0;
    const vl::IniState s = vl::IniNextLine(hdl, value.data(), valueSize < 2 ? 2 : valueSize, length);
    FUZZ_CHECK(s >= vl::kIniFailed && s <= vl::kIniNextSection);
    if (s != vl::kIniReading) {
      if (s == vl::kIniNextSection && vl::IniNextSection(hdl, name.data(), nameSize) == vl::kIniReading) continue;
      break;
    }
    FUZZ_CHECK(length < static_cast<std::size_t>(valueSize < 2 ? 2 : valueSize));
  }
  FUZZ_CHECK(vl::IniClose(hdl) == 0);
}

void ParseLines(const std::string &path) {
  const auto in = vl::IniStream::Open(path.c_str());
  if (in == nullptr) return;
  std::string_view line;
  while (in->NextLine(line) == vl::IniStream::kLine) {
    FUZZ_CHECK(!line.empty() && line.size() <= vl::kIniLineMax);
    const std::string_view text = vl::IniLineText(line);
    std::string_view name;
    std::string_view value;
    if (vl::IniParseHeader(text, name)) {
      FUZZ_CHECK(Inside(name, text) && name.find(']') == std::string_view::npos);
      FUZZ_CHECK(name.empty() || (!IsSpace(name.front()) && !IsSpace(name.back())));
    }
    if (vl::IniParseEntry(text, name, value)) {
      FUZZ_CHECK(!vl::IniIsComment(text) && text.front() != '[');
      FUZZ_CHECK(Inside(name, text) && Inside(value, text) && name.find('=') == std::string_view::npos);
      FUZZ_CHECK(name.empty() || (!IsSpace(name.front()) && !IsSpace(name.back())));
      FUZZ_CHECK(value.find_first_of("\r\n;#") == std::string_view::npos);
    }
  }
}

// True when the writer's entry line reads back as written: names and value
// without the characters that end or trim them, and the line within one piece.
bool Representable(const std::string &section, const std::string &entry, const std::string &value) {
  const auto trimmed = [](const std::string &s) { return s.empty() || (!IsSpace(s.front()) && !IsSpace(s.back())); };
  if (!trimmed(section) || !trimmed(entry) || !trimmed(value) || entry.empty()) return false;
  if (section.find_first_of("]\r\n") != std::string::npos) return false;
  if (entry.find_first_of("=\r\n") != std::string::npos || entry[0] == '[' || entry[0] == ';' || entry[0] == '#')
    return false;
  if (value.find_first_of("\r\n;#") != std::string::npos) return false;
  if (!value.empty() && (value[0] == '"' || value[0] == '\'')) return false;
  return section.size() + 4 < vl::kIniLineMax && entry.size() + value.size() + 4 < vl::kIniLineMax;
}

// Files whose lines the look-up and the writer see alike: no NUL byte, no line
// longer than a piece (a piece of a long line is not a line of the file).
bool PlainLines(std::string_view file) {
  if (file.find('\0') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start < file.size()) {
    const std::size_t end = file.find('\n', start);
    const std::size_t stop = end == std::string_view::npos ? file.size() : end + 1;
    if (stop - start >= vl::kIniLineMax) return false;
    start = stop;
  }
  return true;
}

void WriteAndReadBack(const std::string &path, std::string_view file, const std::string &section,
                      const std::string &entry, const std::string &value) {
  if (!Representable(section, entry, value) || !PlainLines(file)) return;
  const vl::IniWrite w = vl::IniWriteEntry(path.c_str(), section.c_str(), entry.c_str(), value.c_str());
  FUZZ_CHECK(w == vl::IniWrite::kRewritten);
  const std::string after = vlfuzz::ReadFile(path);
  FUZZ_CHECK(PlainLines(after));
  const auto in = vl::IniStream::Open(path.c_str());
  FUZZ_CHECK(in != nullptr);
  std::string found;
  FUZZ_CHECK(section.empty() || vl::IniFindSection(*in, section, nullptr) == vl::kIniFound);
  FUZZ_CHECK(vl::IniFindEntry(*in, entry, found) == vl::kIniFound);
  FUZZ_CHECK(found == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  vlfuzz::FreshState();
  vlfuzz::Input input(data, size);
  const std::uint8_t sizes = input.Byte();
  const std::string section = input.Text();
  const std::string entry = input.Text();
  const std::string value = input.Text();
  const std::string_view file = input.Rest();
  const std::string path = vlfuzz::ScratchFile("fuzz.ini", file);

  WalkHandles(path, 1 + (sizes & 15) * (sizes & 16 ? 70 : 1), 1 + (sizes >> 5) * (sizes & 16 ? 150 : 1));
  ParseLines(path);
  WriteAndReadBack(path, file, section, entry, value);
  vl::ResetForTest();
  return 0;
}
