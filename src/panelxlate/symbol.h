// Symbols and file name mapping.
//
// A symbol (option -d name=value) names a list of folders separated by ":".
// A file name of the form symbol:name is looked up in those folders in order;
// the symbol's value comes from the symbol table, else from the environment
// variable of that name; a symbol defined with an empty value still counts (its
// one folder is empty, so symbol:name is looked up as /name). Every file the
// converter opens by a name from the command line, a script or a configuration
// goes through SymbolFindFile.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace panelxlate {

inline constexpr std::size_t kSymbolMax = 1023;  // characters of a definition, of a symbol, of a value

// Defines a symbol from "name=value" (the part before the first "=" is the
// name, the rest the value, neither trimmed). Returns 0, or 1 after "SymbolAdd()
// failed: symbol too long" (a text of 1024 characters or more), "SymbolAdd()
// failed: syntax error" (no "=") or a message of the item store.
int SymbolAdd(std::string_view text);

// The name under which the file `name` is to be opened: for symbol:rest, the
// first folder of the symbol's list (its first 1023 characters) that holds a
// readable file "folder/rest"; otherwise `name` unchanged (no ":", a leading
// ":", an unknown symbol, or no folder holds the file). Never fails.
std::string SymbolFindFile(const std::string &name);

// Opens a file for reading as the converter does everywhere: like fopen "r",
// except that a folder counts as a file that cannot be opened.
std::FILE *OpenForReading(const std::string &name);

// Empties the symbol table (for tests).
void ResetSymbols();

}  // namespace panelxlate
