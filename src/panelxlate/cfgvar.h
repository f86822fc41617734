// The configuration file reader.
//
// A configuration file is read line by line into the configuration store
// (var.h):
//
//     # a comment: the first non-blank character is "#"
//     [EditText]            a section header: this section becomes current
//     .w=(10)               an item of the current section: name=value, split at
//     !translate=Field      the first "=", name and value without outer blanks
//
// Empty lines are skipped. A line holds at most 255 characters, its line end
// (a line feed, or a carriage return and a line feed) not counted; a longer line
// is an error unless it is a comment or blank, so that no part of it is read as
// a line of its own. A NUL byte in a line is an error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace panelxlate {

inline constexpr std::size_t kCfgLineMax = 255;  // characters of a configuration line, its end not counted

// Reads one configuration file into the store. Returns 0; 1 for a bad line
// (after the line's message and "CfgRead() failed in line %d, file '%s'"); 2
// after "CfgRead() failed: unable to open file '%s'"; 3 when memory is
// exhausted (after the store's message).
int CfgRead(const std::string &fileName);

// Handles one line (without its line end). Returns 0, 1 (bad line, message
// written) or 3 (memory exhausted, message written).
int CfgLine(std::string_view line);

}  // namespace panelxlate
