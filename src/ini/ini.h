// The INI reader: sectioned settings files read line by line, with three
// process-wide handles shared by the INI host functions, the dictionary loader
// and the module definition reader. The checker program builds the same reader
// without any host function (those, and the writer of ini_SetString, are in
// ini_host.h). The line parsing and the line stream behind the handles are in
// ini_int.h.
//
// File syntax, as read. A file is opened without text-mode translation and read
// in lines of at most kIniLineMax bytes; a longer line arrives as several lines.
// The line feed, and a carriage return before it, belong to the line's text; a
// NUL byte ends the text that the parsers see (the rest of that piece is skipped).
//   - comment: the first byte is ";" or "#" (only the first column counts);
//   - section header: the first byte is "[" and the line holds a "]"; the name runs
//     from after "[" to the first "]", white space after "[" and before "]" removed;
//     where a reader walks one section, any line starting with "[" ends it;
//   - entry: any other line holding "="; the name is the text before the first "="
//     trimmed of white space; the value starts after "=" and its leading white
//     space; a leading double or single quote is skipped and ends the value again;
//     a value also ends at a carriage return, a line feed, ";" or "#" (inside
//     quotes too); an unquoted value loses its trailing white space;
//   - anything else is ignored by the entry and section readers.
// Names compare without regard to case; entries before the first header belong to
// the empty section.
#pragma once

#include <cstddef>

namespace vl {

// Longest line (piece of a line) that the section and entry readers see.
inline constexpr std::size_t kIniLineMax = 1023;

// Number of handles (0, 1 and 2).
inline constexpr int kIniSlots = 3;

// State of a handle, also the result of the handle operations and of the
// section and entry readers.
enum [[nodiscard]] IniState : int {
  kIniFailed = -1,       // the last operation failed (bad handle, bad size, read error)
  kIniReading = 0,       // reading
  kIniEnd = 1,           // end of file, end of the section, or section not found
  kIniNextSection = 2,   // IniNextLine stopped at the next section header
};

// ---------------------------------------------------------------------------
// Handles: the three process-wide slots
// ---------------------------------------------------------------------------

// Takes the lowest free slot and opens the file; with a section name, reads up to
// that section (state 1 and positioned at the end when it is missing). Returns
// the handle, or -1 with errno set: 28 (ENOSPC) when no slot is free, else the
// open's own error. Sets the table up on first use.
int IniOpen(const char *fname, const char *section);

// Closes a handle: 0, also for a free slot; -1 with errno 22 (EINVAL) for a handle
// outside 0 to 2 or a table that is not set up; -1 with the error of the close
// when closing the file failed (the slot is freed all the same).
int IniClose(int hdl);

// Closes every handle and returns the table to its not-set-up condition.
void IniCloseAll();

// Goes back to the start of the file; with a name, reads up to that section.
// Returns kIniReading (found, or no name), kIniEnd (not found) or kIniFailed (bad
// handle, errno 22).
IniState IniSeekSection(int hdl, const char *section);

// Reads the next line of the current section into `buffer` (at most size - 1
// bytes, line end included, NUL-terminated) and stores its length. Comment and
// blank lines are delivered too; at a line starting with "[" the line stays unread
// and the state becomes 2. When the state is not 0 it is returned without reading.
// Returns kIniReading (line read), kIniEnd (end of file), kIniNextSection, or
// kIniFailed (bad handle or a size below 2, errno 22; or a read error).
IniState IniNextLine(int hdl, char *buffer, int size, std::size_t &length);

// Reads up to the next section header (whatever the state); see IniReadSection.
// kIniFailed also for a bad handle or a size below 1 (errno 22).
IniState IniNextSection(int hdl, char *buffer, int size);

// Reads the next entry (whatever the state); see IniReadEntry. kIniFailed also for
// a bad handle or a size below 1 (errno 22).
IniState IniNextEntry(int hdl, char *name, int nameSize, char *value, int valueSize);

// Closes every handle and clears the table (the reader's reset, for tests).
void ResetIniForTest();

}  // namespace vl
