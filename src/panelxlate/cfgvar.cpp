// The configuration file reader (see cfgvar.h).
#include "cfgvar.h"

#include <cstdio>
#include <new>

#include "msg.h"
#include "symbol.h"
#include "var.h"

namespace panelxlate {
namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// One physical line as read: its first kCfgLineMax characters, and what the
// rest would have changed.
struct RawLine {
  std::string text;
  bool tooLong = false;     // more than kCfgLineMax characters before the line end
  bool nul = false;         // a NUL byte anywhere in the line
  bool sawNonBlank = false; // the line is not blank (a NUL byte is not a blank)
  char firstNonBlank = 0;   // its first non-blank character
};

// Reads the next line; false at the end of the file (nothing read).
bool ReadLine(std::FILE *file, RawLine *line) {
  line->text.clear();
  line->tooLong = line->nul = line->sawNonBlank = false;
  line->firstNonBlank = 0;
  bool any = false;
  int c;
  while ((c = getc_unlocked(file)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == '\r') {  // a carriage return before the line feed is part of the line end
      const int next = getc_unlocked(file);
      if (next == '\n') break;
      if (next != EOF) ungetc(next, file);
    }
    const char ch = static_cast<char>(c);
    if (ch == '\0') line->nul = true;
    if (!line->sawNonBlank && !IsBlank(ch)) {
      line->sawNonBlank = true;
      line->firstNonBlank = ch;
    }
    if (line->text.size() < kCfgLineMax) {
      line->text.push_back(ch);
    } else {
      line->tooLong = true;
    }
  }
  return any;
}

}  // namespace

int CfgLine(std::string_view line) {
  std::string_view name = line;
  std::string_view value;
  const std::size_t eq = line.find('=');
  const bool hasValue = eq != std::string_view::npos;
  if (hasValue) {
    name = line.substr(0, eq);
    value = Trim(line.substr(eq + 1));
  }
  name = Trim(name);
  if (name.empty() || name.front() == '#') return 0;

  if (hasValue) {
    Section *current = CurrentSection();
    if (current == nullptr) {
      msg_print('V', 1, "CfgLine() failed: CurrSection not set");
      return 1;
    }
    return SectionSet(*current, name, value) == nullptr ? 3 : 0;
  }
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
    std::string sectionName;
    try {
      CheckAlloc("CfgLine(2)");
      sectionName.assign(name.substr(1, name.size() - 2));
    } catch (const std::bad_alloc &) {
      msg_print('V', 1, "CfgLine() failed: heap overflow (2)");
      return 3;
    }
    try {
      CheckAlloc("CfgLine(1)");
      SetCurrentSection(AddSection(sectionName));
    } catch (const std::bad_alloc &) {
      msg_print('V', 1, "CfgLine() failed: heap overflow (1)");
      return 3;
    }
    return 0;
  }
  const std::string token(name);
  msg_print('V', 1, "CfgLine() failed: invalid token '%s'", token.c_str());
  return 1;
}

int CfgRead(const std::string &fileName) {
  std::FILE *file = OpenForReading(fileName);
  if (file == nullptr) {
    msg_print('V', 1, "CfgRead() failed: unable to open file '%s'", fileName.c_str());
    return 2;
  }
  RawLine line;
  int lineNo = 0;
  int rc = 0;
  try {
    while (rc == 0 && ReadLine(file, &line)) {
      ++lineNo;
      // Blank and comment lines may be of any length and hold any bytes.
      const bool ignorable = !line.sawNonBlank || line.firstNonBlank == '#';
      if (line.nul && !ignorable) {
        msg_print('V', 1, "CfgLine() failed: NUL character in line");
        rc = 1;
      } else if (line.tooLong && !ignorable) {
        msg_print('V', 1, "CfgLine() failed: line longer than %d characters", static_cast<int>(kCfgLineMax));
        rc = 1;
      } else {
        rc = CfgLine(line.text);
      }
    }
  } catch (const std::bad_alloc &) {
    msg_print('V', 1, "CfgLine() failed: heap overflow (1)");
    rc = 3;
  }
  if (rc == 0 && std::ferror(file)) {
    msg_print('V', 1, "CfgRead() failed: unable to read file '%s'", fileName.c_str());
    rc = 2;
  }
  if (rc != 0 && rc != 2) msg_print('V', 1, "CfgRead() failed in line %d, file '%s'", lineNo, fileName.c_str());
  std::fclose(file);
  return rc;
}

}  // namespace panelxlate
