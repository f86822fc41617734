// Symbols and file name mapping (see symbol.h).
#include "symbol.h"

#include <sys/stat.h>

#include <cstdlib>

#include "msg.h"
#include "var.h"

namespace panelxlate {
namespace {

VarList &Symbols() {
  static VarList symbols;
  return symbols;
}

}  // namespace

std::FILE *OpenForReading(const std::string &name) {
  std::FILE *file = std::fopen(name.c_str(), "r");
  if (file == nullptr) return nullptr;
  struct stat st {};
  if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

int SymbolAdd(std::string_view text) {
  if (text.size() > kSymbolMax) {
    msg_print('S', 1, "SymbolAdd() failed: symbol too long");
    return 1;
  }
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    msg_print('S', 1, "SymbolAdd() failed: syntax error");
    return 1;
  }
  return VarSet(Symbols(), text.substr(0, eq), text.substr(eq + 1)) == nullptr ? 1 : 0;
}

std::string SymbolFindFile(const std::string &name) {
  const std::size_t colon = name.find(':');
  if (colon == std::string::npos || colon == 0 || colon > kSymbolMax) return name;
  const std::string symbol = name.substr(0, colon);
  std::string_view value;
  if (const VarItem *defined = Symbols().Find(symbol)) {
    value = defined->value;  // a symbol defined empty still hides the environment variable
  } else if (const char *env = std::getenv(symbol.c_str())) {
    value = env;
  } else {
    return name;
  }
  value = value.substr(0, kSymbolMax);
  const std::string_view rest = std::string_view(name).substr(colon + 1);
  for (;;) {
    const std::size_t end = value.find(':');
    std::string candidate(value.substr(0, end));
    candidate += '/';
    candidate += rest;
    if (std::FILE *file = OpenForReading(candidate)) {
      std::fclose(file);
      return candidate;
    }
    if (end == std::string_view::npos) return name;
    value.remove_prefix(end + 1);
  }
}

void ResetSymbols() { Symbols() = VarList{}; }

}  // namespace panelxlate
