// Internals of the INI reader, shared by its own files (the reader and the host
// functions); other components use the handles of ini.h.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ini.h"

namespace vl {

// Results of the finders IniFindSection and IniFindEntry.
enum [[nodiscard]] IniFound : int {
  kIniFindFailed = -1,  // a line could not be read (or written to the copy stream)
  kIniNotFound = 0,     // end of the file, or of the current section
  kIniFound = 1,        // found
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
  // directory is refused with EISDIR; memory exhaustion (for the file or for the
  // stream) gives ENOMEM, and nothing stays open.
  static std::unique_ptr<IniStream> Open(const char *path);

  ~IniStream() = default;
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
  struct Closer {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
  };
  using FilePtr = std::unique_ptr<std::FILE, Closer>;

  // Takes the file over; should the buffer not be allocated, the file is closed.
  explicit IniStream(FilePtr file);
  // Reads more bytes behind the buffered ones; false at the end of the file or on
  // a read error (error_ set).
  bool Fill();

  FilePtr file_;                 // declared before buffer_: closed if buffer_ fails
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
// Returns kIniFound (positioned after the header line), kIniNotFound (end of
// file) or kIniFindFailed (a line could not be read or written).
IniFound IniFindSection(IniStream &in, std::string_view name, std::FILE *copy);

// Reads the current section for entry `name`: comments are skipped, a line
// starting with "[" ends the search. Returns kIniFound with the value in `value`,
// kIniNotFound (not in the current section) or kIniFindFailed (a read error).
IniFound IniFindEntry(IniStream &in, std::string_view name, std::string &value);

// Reads the next entry of the current section: the name, upper-cased and cut to
// nameSize - 1 bytes, and the value, cut to valueSize - 1 bytes, NUL-terminated.
// At a line starting with "[" it goes back before that line. Returns kIniReading
// (entry read), kIniEnd (end of the section or file) or kIniFailed (a read error).
// Sizes must be at least 1.
IniState IniReadEntry(IniStream &in, char *name, std::size_t nameSize, char *value, std::size_t valueSize);

// Reads lines up to the next section header; its name, upper-cased and cut to
// size - 1 bytes, goes into `buffer`. Returns kIniReading (found), kIniEnd (end of
// file) or kIniFailed (a read error). `size` must be at least 1.
IniState IniReadSection(IniStream &in, char *buffer, std::size_t size);

// The state of a handle, or kIniFailed for a bad handle (for tests and diagnostics).
IniState IniHandleState(int hdl) noexcept;

}  // namespace vl
