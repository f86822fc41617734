// The two text encodings in which the engine exchanges data with the host:
//
// XBUF: a series of typed, named, length-prefixed entries ended by "$":
//     <X|N><name>~<index>~<length>~<value bytes>  ...  $
// The value is taken by its length, so it may hold any byte, "~" and "$" included.
//
// CSDX: a stream of "~"-terminated fields built into the one process-wide buffer
// csdxBuf in two passes (count, then allocate exactly once and copy), and handed
// to the host piece by piece by dll_SendNext. It starts with the record header
// "R1~" and the total length as six digits and "~", so a stream holds at most
// 999,999 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common.h"

namespace vl {

// ---------------------------------------------------------------------------
// XBUF
// ---------------------------------------------------------------------------

inline constexpr std::size_t kXbufNameMax = 79;  // longest entry name

enum XbufType : int { kXbufText = 1, kXbufNumeric = 2 };  // entry types X and N

// One entry as read back.
struct XbufEntry {
  std::string name;               // lower case
  int type = 0;                   // kXbufText or kXbufNumeric
  std::int32_t index = 0;         // 0 when not indexed
  bool indexed = false;           // index is not 0
  std::size_t valueLength = 0;    // bytes of the value
  const char *value = nullptr;    // start of the value inside the buffer read
};

// Writers. Each writes at the start of `buffer`, whose room is `room` bytes, and
// returns the bytes written, or -1 (nothing written) when they would not leave at
// least one byte to spare for the end mark.
//
// The entry name is `prefix` in its own case followed by `name` in lower case, or,
// without a prefix, `name` with its first letter in upper case and the rest in
// lower case. The type letter is 'X' or 'N'.
int PutEntryHead(char *buffer, std::size_t room, std::string_view prefix, std::string_view name, char type);
int PutEntryHeadIdx(char *buffer, std::size_t room, std::string_view prefix, std::string_view name, char type,
                    std::int32_t index);
int PutEntryValue(char *buffer, std::size_t room, std::string_view text);

// Readers. `text` is the rest of the buffer from the entry on; nothing beyond it
// is read.
// GetEntryHead: type letter, name, "~", optional index digits, "~". Returns the
// bytes read, or -1 when the head is malformed (unknown type letter, a name that is
// not a letter followed by up to 78 letters, digits or "_", a missing "~", an index
// beyond 999,999,999).
int GetEntryHead(std::string_view text, XbufEntry &entry);
// GetEntryValue: length digits (none: 0), "~", then the value. Returns the bytes
// the value part takes (digits, "~" and the value) or -1 when malformed. The
// value may run beyond `text`: callers compare the result with what is left
// before they use entry.value.
long GetEntryValue(std::string_view text, XbufEntry &entry);

// Writes entries one after another into a host buffer of a fixed room. Each put
// returns false when the entry does not fit (then the buffer holds what was
// written so far, without an end mark).
class XbufWriter {
 public:
  XbufWriter(char *buffer, std::size_t room) : buffer_(buffer), room_(room) {}
  bool Head(std::string_view prefix, std::string_view name, char type, std::int32_t index = 0);
  // Writes entries that another writer made, as they are (nothing of them when
  // they do not fit with the spare byte).
  bool Entries(std::string_view entries);
  bool Value(std::string_view text);
  bool Entry(std::string_view prefix, std::string_view name, char type, std::string_view text,
             std::int32_t index = 0) {
    return Head(prefix, name, type, index) && Value(text);
  }
  // Writes the end mark "$" into the spare byte; false when there is no room.
  bool End();
  std::size_t Length() const { return used_; }

 private:
  char *buffer_;
  std::size_t room_;
  std::size_t used_ = 0;
};

// ---------------------------------------------------------------------------
// CSDX
// ---------------------------------------------------------------------------

inline constexpr std::size_t kCsdxMaxLength = 999999;  // what six header digits can hold
inline constexpr std::size_t kCsdxHeaderLength = 10;   // "R1~" + six digits + "~"

// csdxBuf: the one process-wide CSDX stream, the state of this component.
struct CsdxState {
  std::unique_ptr<char[]> buffer;  // the stream and a NUL after it; null when there is none
  std::size_t size = 0;            // counted (and allocated) length
  std::size_t position = 0;        // write position while packing
  std::size_t sent = 0;            // bytes already handed to the host
  bool counting = false;           // first pass: puts only add their length
};
CsdxState &csdxBuf();

// Frees the stream and clears all state (the component's reset).
void CSDX_Reset() noexcept;
void CSDX_Free() noexcept;

// Puts, for use inside a series run by CSDX_Pack.
void CSDX_PutNumber(long value);                     // "%ld~"
void CSDX_PutString(const char *data, std::size_t length);  // length as a number, then the bytes
inline void CSDX_PutString(std::string_view s) { CSDX_PutString(s.data(), s.size()); }
void CSDX_PutRaw(const char *data, std::size_t length);     // the bytes as they are
inline void CSDX_PutMarker(char marker) { CSDX_PutRaw(&marker, 1); }
void CSDX_PutHeader();                               // "R1~" and the total as "%06d~"

// Runs `series` (a callable that makes the puts) twice: first counting, then,
// with csdxBuf allocated once at exactly the counted size, writing. Discards any
// earlier stream first. `operation` names the caller in failure lines.
// Returns kOk, kNoMemory after "<operation>() failed: heap overflow", or kReported
// when the stream would exceed 999,999 bytes or the two passes differed.
template <typename Series>
Status CSDX_Pack(const char *operation, Series &&series);

// Packs a record header and the bytes of `data` as they are.
Status CSDX_PackString(const char *data, std::size_t length);

// Reading CSDX text in place. The cursor's next position walks a writable,
// NUL-terminated text; each call takes the field up to the next "~".
struct CsdxCursor {
  char *field = nullptr;  // the field just read, NUL-terminated in place
  char *next = nullptr;   // where the next field starts; null at the end or after an error
};
// Returns the field's length plus one, or 0 with a trace line when there is no
// next position, the field is empty or no "~" follows it.
std::size_t CSDX_ReadToSep(CsdxCursor &cursor);

// Internals of CSDX_Pack.
namespace csdx_detail {
Status BeginWritePass(const char *operation);
Status FinishWritePass(const char *operation);
}  // namespace csdx_detail

template <typename Series>
Status CSDX_Pack(const char *operation, Series &&series) {
  CSDX_Reset();
  csdxBuf().counting = true;
  series();
  if (const Status s = csdx_detail::BeginWritePass(operation); s != kOk) return s;
  series();
  return csdx_detail::FinishWritePass(operation);
}

}  // namespace vl
