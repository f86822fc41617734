// The overstrike and escape filter: see inkstrip.h.
//
// Each input byte is handled by the first rule that applies:
//   NUL               ends its piece; the rest of the piece is dropped
//   ESC (27)          opens an escape sequence; dropped
//   inside a sequence every byte is dropped; one from 64 to 93 ('@' to ']')
//                     closes the sequence
//   CR (13)           ends the text (in append mode) and goes back to the start
//                     of the line in overstrike mode
//   LF (10)           ends the text (in append mode) and writes the line
//   low 7 bits >= 32  printable: stored at the write position
//   anything else     dropped (tab, backspace, form feed, 128 to 159, ...)
// Stored text ends with a line feed and a NUL; a line is written up to its NUL.
//
// The hot path is text outside a sequence: there a run of plain ASCII bytes is
// found a word at a time and stored in one go, in either mode.
#include "inkstrip.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace inkstrip {
namespace {

constexpr unsigned char kNul = 0;
constexpr unsigned char kLineFeed = 10;
constexpr unsigned char kCarriageReturn = 13;
constexpr unsigned char kEscape = 27;
constexpr unsigned char kSequenceEndFirst = 64;  // '@'
constexpr unsigned char kSequenceEndLast = 93;   // ']'
constexpr unsigned char kBlank = 32;
constexpr unsigned char kLowSevenBits = 0x7F;

void *ReallocBlock(void *block, std::size_t size) { return std::realloc(block, size); }

// True for a byte the printable rule keeps: its low seven bits are 32 or more.
constexpr bool IsPrintable(unsigned char byte) { return (byte & kLowSevenBits) >= kBlank; }

// Returns the first byte in [p, stop) outside 32..126 (stop when there is
// none). Those bytes need no rule but "store and advance" in append mode.
const unsigned char *SkipPlain(const unsigned char *p, const unsigned char *stop) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  while (stop - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    // The high bit of a byte ends up set when the byte is below 32 (it
    // borrows) or 127 and above (it carries, or is set already). Borrows and
    // carries reach only bytes above the first such byte, so that one is exact.
    const std::uint64_t below = (word - kOnes * kBlank) & ~word;
    const std::uint64_t above = (word + kOnes) | word;
    const std::uint64_t hits = (below | above) & kHighBits;
    if (hits != 0) {
      if constexpr (std::endian::native == std::endian::little) return p + std::countr_zero(hits) / 8;
      else return p + std::countl_zero(hits) / 8;
    }
    p += 8;
  }
  while (p < stop && *p >= kBlank && *p < 127) ++p;
  return p;
}

}  // namespace

OverstrikeFilter::OverstrikeFilter(LineSink &sink, Resizer resize)
    : sink_(sink), resize_(resize != nullptr ? resize : &ReallocBlock) {}

OverstrikeFilter::~OverstrikeFilter() { std::free(buf_); }

FilterStatus OverstrikeFilter::Feed(const char *data, std::size_t len) {
  const auto *p = reinterpret_cast<const unsigned char *>(data);
  const unsigned char *const end = p + len;
  while (p < end) {
    // A piece ends after a line feed or after kPieceMax bytes, whichever
    // comes first; the segment handed on never crosses the second limit.
    const std::size_t room = kPieceMax - pieceLen_;
    const unsigned char *const stop = static_cast<std::size_t>(end - p) > room ? p + room : end;
    bool pieceEnded = false;
    const unsigned char *next = FilterSegment(p, stop, &pieceEnded);
    if (next == nullptr) return failure_;
    pieceLen_ += static_cast<std::size_t>(next - p);
    p = next;
    if (pieceEnded || pieceLen_ == kPieceMax) {
      pieceLen_ = 0;
      escape_ = false;
      pieceDead_ = false;
    }
  }
  return FilterStatus::kOk;
}

// Filters [p, stop), which lies inside one piece. Returns where it stopped:
// just after a line feed (setting *pieceEnded) or at stop; nullptr on failure.
const unsigned char *OverstrikeFilter::FilterSegment(const unsigned char *p, const unsigned char *stop,
                                                     bool *pieceEnded) {
  while (p < stop) {
    if (pieceDead_) {
      const void *lf = std::memchr(p, kLineFeed, static_cast<std::size_t>(stop - p));
      if (lf == nullptr) return stop;
      *pieceEnded = true;
      return static_cast<const unsigned char *>(lf) + 1;
    }
    if (!escape_) {
      const unsigned char *runEnd = SkipPlain(p, stop);
      if (runEnd != p) {
        if (!PutRun(p, static_cast<std::size_t>(runEnd - p))) return nullptr;
        p = runEnd;
        if (p == stop) break;
      }
    }
    const unsigned char byte = *p++;
    if (byte == kNul) {
      pieceDead_ = true;
      continue;
    }
    if (byte == kEscape) {
      escape_ = true;
      continue;
    }
    if (escape_) {
      if (byte >= kSequenceEndFirst && byte <= kSequenceEndLast) escape_ = false;
      if (byte == kLineFeed) {  // swallowed, but it still ends the piece
        *pieceEnded = true;
        return p;
      }
      continue;
    }
    if (byte == kCarriageReturn) {
      if (!CarriageReturn()) return nullptr;
    } else if (byte == kLineFeed) {
      if (!LineFeed()) return nullptr;
      *pieceEnded = true;
      return p;
    } else if (IsPrintable(byte)) {
      if (!PutPrintable(byte)) return nullptr;
    }
  }
  return p;
}

// Grows the line buffer to hold `offset`. Stores move one byte at a time, so
// the buffer is always grown from a store at offset size_: the new size is the
// largest multiple of kGrowStep not above size_ + kGrowStep + 1, one step more.
// A run stored at once grows through the same sizes, step by step.
bool OverstrikeFilter::Grow(std::size_t offset) {
  while (offset >= size_) {
    if (size_ > SIZE_MAX - 2 * kGrowStep) {
      failedSize_ = SIZE_MAX / kGrowStep * kGrowStep;
      failure_ = FilterStatus::kNoMemory;
      return false;
    }
    const std::size_t newSize = (size_ + kGrowStep + 1) / kGrowStep * kGrowStep;
    void *grown = resize_(buf_, newSize);
    if (grown == nullptr) {
      failedSize_ = newSize;
      failure_ = FilterStatus::kNoMemory;
      return false;
    }
    buf_ = static_cast<char *>(grown);
    size_ = newSize;
  }
  return true;
}

// Puts a run of bytes from 32 to 126 as PutPrintable would put them one by
// one: in overstrike mode over the earlier text as far as it goes, then
// appended.
bool OverstrikeFilter::PutRun(const unsigned char *run, std::size_t len) {
  if (mode_ == Mode::kOverstrike) {
    // The earlier text is [0, textEnd_ - 1), followed by its line feed, and
    // holds neither line feeds nor NULs.
    const std::size_t over = std::min(len, textEnd_ - 1 - pos_);
    char *dst = buf_ + pos_;
    for (std::size_t i = 0; i < over; ++i) {
      if (run[i] != kBlank) dst[i] = static_cast<char>(run[i]);  // a blank never erases
    }
    pos_ += over;
    if (over == len) return true;
    mode_ = Mode::kAppend;  // the earlier text ends here: go on appending
    run += over;
    len -= over;
  }
  if (!GrowFor(pos_ + len - 1)) return false;
  std::memcpy(buf_ + pos_, run, len);
  pos_ += len;
  return true;
}

bool OverstrikeFilter::PutPrintable(unsigned char byte) {
  if (mode_ == Mode::kOverstrike) {
    // The position lies inside the text stored before the carriage return,
    // which ends with a line feed and a NUL.
    const char old = buf_[pos_];
    if (old == static_cast<char>(kNul) || old == static_cast<char>(kLineFeed)) {
      mode_ = Mode::kAppend;  // the earlier text ends here: go on appending
    } else {
      if (byte != kBlank) buf_[pos_] = static_cast<char>(byte);  // a blank never erases
      ++pos_;
      return true;
    }
  }
  if (!GrowFor(pos_)) return false;
  buf_[pos_++] = static_cast<char>(byte);
  return true;
}

// Ends the text at the position with a line feed and a NUL; the position stays.
bool OverstrikeFilter::EndText() {
  if (!GrowFor(pos_)) return false;
  buf_[pos_] = static_cast<char>(kLineFeed);
  if (!GrowFor(pos_ + 1)) return false;
  buf_[pos_ + 1] = static_cast<char>(kNul);
  textEnd_ = pos_ + 1;
  return true;
}

bool OverstrikeFilter::CarriageReturn() {
  if (mode_ == Mode::kAppend && !EndText()) return false;
  pos_ = 0;
  mode_ = Mode::kOverstrike;
  return true;
}

bool OverstrikeFilter::LineFeed() {
  if (mode_ == Mode::kAppend && !EndText()) return false;
  if (!sink_.Put(buf_, textEnd_)) {
    failure_ = FilterStatus::kSinkFailed;
    return false;
  }
  pos_ = 0;
  mode_ = Mode::kAppend;
  return true;
}

}  // namespace inkstrip
