// inkstrip: turns printer- and terminal-style text into plain lines.
//
// The filter drops escape sequences and control characters and resolves
// carriage-return overprinting (a line written again over itself, for bold or
// underlined print) into one line in which later characters replace earlier
// ones. Input is taken in pieces of at most 1023 bytes that end at a line feed,
// the way a line reader with a 1024-byte buffer hands them out; an escape
// sequence never outlives its piece, and a NUL byte ends its piece.
//
// This header is the filter core, free of any I/O, so that the program's main
// (main.cpp) stays a thin loop of reads and writes and the tests can drive the
// filter with any split of the input.
#pragma once

#include <cstddef>

namespace inkstrip {

inline constexpr std::size_t kPieceMax = 1023;  // bytes in one input piece at the most
inline constexpr std::size_t kGrowStep = 1024;  // the line buffer grows by this many bytes

// Receives the finished lines, each with its final line feed.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // Takes `len` bytes of one finished line; false stops the filter.
  virtual bool Put(const char *text, std::size_t len) = 0;
};

// What Feed reports.
enum class FilterStatus {
  kOk,          // the bytes were taken
  kNoMemory,    // the line buffer could not be grown (see failedSize)
  kSinkFailed,  // the sink refused a line
};

// Resizes a block, keeping its contents, like std::realloc: nullptr when it cannot.
using Resizer = void *(*)(void *block, std::size_t size);

// The overstrike and escape filter. State lasts for the whole run: the line
// buffer, the write position, append or overstrike mode, the escape flag and
// where the current piece stands.
class OverstrikeFilter {
 public:
  // Finished lines go to `sink`; the line buffer is resized with `resize`
  // (std::realloc when null; tests pass one that fails).
  explicit OverstrikeFilter(LineSink &sink, Resizer resize = nullptr);
  ~OverstrikeFilter();
  OverstrikeFilter(const OverstrikeFilter &) = delete;
  OverstrikeFilter &operator=(const OverstrikeFilter &) = delete;

  // Filters the next `len` bytes of the input. The input may be split
  // anywhere: pieces, escape sequences and lines carry over between calls.
  // After kNoMemory or kSinkFailed the filter must not be fed again.
  FilterStatus Feed(const char *data, std::size_t len);

  // Bytes held by the line buffer: 0 until the first store, then a multiple
  // of kGrowStep just above the longest offset stored so far.
  std::size_t capacity() const { return size_; }
  // The size the line buffer could not be grown to, after kNoMemory.
  std::size_t failedSize() const { return failedSize_; }

 private:
  enum class Mode { kAppend, kOverstrike };

  const unsigned char *FilterSegment(const unsigned char *p, const unsigned char *stop, bool *pieceEnded);
  bool GrowFor(std::size_t offset) { return offset < size_ || Grow(offset); }
  bool Grow(std::size_t offset);
  bool PutRun(const unsigned char *run, std::size_t len);
  bool PutPrintable(unsigned char byte);
  bool EndText();
  bool CarriageReturn();
  bool LineFeed();

  LineSink &sink_;
  Resizer resize_;
  char *buf_ = nullptr;         // the line buffer (owned; released with std::free)
  std::size_t size_ = 0;        // bytes allocated for buf_
  std::size_t pos_ = 0;         // offset where the next character goes
  std::size_t textEnd_ = 0;     // offset of the NUL after the last line feed stored
  Mode mode_ = Mode::kAppend;   // the run starts in append mode
  bool escape_ = false;         // inside an escape sequence
  bool pieceDead_ = false;      // a NUL ended the current piece early
  std::size_t pieceLen_ = 0;    // bytes of the current piece seen so far
  std::size_t failedSize_ = 0;  // size that could not be allocated
  FilterStatus failure_ = FilterStatus::kOk;  // why the filter stopped
};

}  // namespace inkstrip
