// The INI reader: sectioned settings files read line by line, with three
// process-wide handles shared by the INI host functions, the dictionary loader
// and the module definition reader. The checker program builds the same reader
// without any host function (those, and the writer of ini_SetString, are in
// ini_host.h).
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
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// Longest line (piece of a line) that the section and entry readers see.
inline constexpr std::size_t kIniLineMax = 1023;

// Number of handles (0, 1 and 2).
inline constexpr int kIniSlots = 3;

// State of a handle, also the result of most handle operations.
enum IniState : int {
  kIniFailed = -1,       // the last operation failed (bad handle, bad size, read error)
  kIniReading = 0,       // reading
  kIniEnd = 1,           // end of file, end of the section, or section not found
  kIniNextSection = 2,   // IniNextLine stopped at the next section header
};

// ---------------------------------------------------------------------------
// Line parsing
// ---------------------------------------------------------------------------

// The text the parsers see of a line: the bytes before its first NUL.
std::string_view IniLineText(std::string_view line) noexcept;

// True for a comment line (";" or "#" in the first column).
bool IniIsComment(std::string_view text) noexcept;

// True when the line is a section header ("[" first and a "]" in the line); the
// trimmed name is stored in `name`.
bool IniParseHeader(std::string_view text, std::string_view &name) noexcept;

// True when the line is an entry (not a comment, not starting with "[", holding
// "="); the trimmed name and the value are stored.
bool IniParseEntry(std::string_view text, std::string_view &name, std::string_view &value) noexcept;

// ---------------------------------------------------------------------------
// IniStream: a file read in lines
// ---------------------------------------------------------------------------

// A file opened for reading in binary mode, read through a buffer of its own so
// that every line comes with its exact length (NUL bytes included) and a position
// can be noted and gone back to.
class IniStream {
 public:
  enum Read { kLine, kEnd, kError };

  // A place in the file to come back to.
  struct Mark {
    long long offset = 0;     // bytes from the start of the file
    bool lineStart = true;    // the place is the start of a line of the file
  };

  // Opens `path` for reading; null with errno set when it cannot be opened. A
  // directory is refused with EISDIR.
  static std::unique_ptr<IniStream> Open(const char *path);

  ~IniStream();
  IniStream(const IniStream &) = delete;
  IniStream &operator=(const IniStream &) = delete;

  // Reads the next line of at most `max` bytes (1 to kBufferSize; line end
  // included). `line` views the stream's buffer until the next call.
  Read NextLine(std::string_view &line, std::size_t max = kIniLineMax);

  // Reads the next line of at most `max` bytes (any size, at least 1) into `dst`,
  // which must hold `max` bytes; `length` is set to the bytes stored.
  Read NextLineInto(char *dst, std::size_t max, std::size_t &length);

  Mark Tell() const noexcept;
  // Goes to a noted place; false (errno set) when the file cannot be positioned.
  bool Seek(const Mark &mark);
  bool Rewind() { return Seek(Mark{}); }

  // True when the next line read starts a line of the file (the last one read
  // ended with a line feed, or nothing was read yet).
  bool AtLineStart() const noexcept { return lineStart_; }

  // Closes the file; the fclose result (0, or EOF with errno set).
  int Close();

  // Size of the read buffer, the longest line NextLine can deliver.
  static constexpr std::size_t kBufferSize = 64 * 1024;

 private:
  explicit IniStream(std::FILE *file);
  // Reads more bytes behind the buffered ones; false at the end of the file or on
  // a read error (error_ set).
  bool Fill();

  std::FILE *file_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;        // next unread byte in buffer_
  std::size_t end_ = 0;          // end of the buffered bytes
  long long bufferOffset_ = 0;   // file offset of buffer_[0]
  bool eof_ = false;             // the last read met the end of the file
  bool error_ = false;           // a read failed
  bool lineStart_ = true;
};

// ---------------------------------------------------------------------------
// Stream-level readers
// ---------------------------------------------------------------------------

// Reads lines up to the header of section `name` (compared without regard to
// case) and stays behind it. With a copy stream, every line read, the matching
// header included, is written to it, and only a header at the start of a line of
// the file counts (so that a writer never lands inside a long line).
// Returns 1 found, 0 end of file, -1 a line could not be read or written.
int IniFindSection(IniStream &in, std::string_view name, std::FILE *copy);

// Reads the current section for entry `name`: comments are skipped, a line
// starting with "[" ends the search. Returns 1 with the value in `value`, 0 not
// found in the current section, -1 a read error.
int IniFindEntry(IniStream &in, std::string_view name, std::string &value);

// Reads the next entry of the current section: the name, upper-cased and cut to
// nameSize - 1 bytes, and the value, cut to valueSize - 1 bytes, NUL-terminated.
// At a line starting with "[" it goes back before that line. Returns 0 entry read,
// 1 end of the section or file, -1 a read error. Sizes must be at least 1.
int IniReadEntry(IniStream &in, char *name, std::size_t nameSize, char *value, std::size_t valueSize);

// Reads lines up to the next section header; its name, upper-cased and cut to
// size - 1 bytes, goes into `buffer`. Returns 0 found, 1 end of file, -1 a read
// error. `size` must be at least 1.
int IniReadSection(IniStream &in, char *buffer, std::size_t size);

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
// Returns 0 found or no name, 1 not found, -1 bad handle (errno 22).
int IniSeekSection(int hdl, const char *section);

// Reads the next line of the current section into `buffer` (at most size - 1
// bytes, line end included, NUL-terminated) and stores its length. Comment and
// blank lines are delivered too; at a line starting with "[" the line stays unread
// and the state becomes 2. When the state is not 0 it is returned without reading.
// Returns 0 line read, 1 end of file, 2 next section reached, -1 bad handle or a
// size below 2 (errno 22) or a read error.
int IniNextLine(int hdl, char *buffer, int size, std::size_t &length);

// Reads up to the next section header (whatever the state); see IniReadSection.
// Returns 0, 1, or -1 for a bad handle or a size below 1 (errno 22).
int IniNextSection(int hdl, char *buffer, int size);

// Reads the next entry (whatever the state); see IniReadEntry. Returns 0, 1, or -1
// for a bad handle or a size below 1 (errno 22).
int IniNextEntry(int hdl, char *name, int nameSize, char *value, int valueSize);

// The state of a handle, or -1 for a bad handle (for tests and diagnostics).
int IniHandleState(int hdl) noexcept;

// Closes every handle and clears the table (for tests).
void ResetIniForTest();

}  // namespace vl
