// The INI reader: line parsing, the buffered line stream, the stream-level
// readers and the three process-wide handles. See ini.h.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

#include "common.h"
#include "ini_int.h"

namespace vl {
namespace {

// White space as the C locale's isspace knows it.
bool IsSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view s) noexcept {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Copies `src` upper-cased and cut to size - 1 bytes, NUL-terminated (size >= 1).
void CopyUpper(char *dst, std::size_t size, std::string_view src) noexcept {
  const std::size_t n = CopyCut(dst, size, src);
  for (std::size_t i = 0; i < n; ++i) dst[i] = AsciiUpper(dst[i]);
}

// One slot of the handle table.
struct IniSlot {
  std::unique_ptr<IniStream> stream;  // the open file; none: the slot is free
  IniState state = kIniReading;       // state of the handle
};

// The process-wide handle table iniSlots, the state of the reader.
struct IniTable {
  bool setUp = false;                      // set up by the first IniOpen
  std::array<IniSlot, kIniSlots> slots{};  // handles 0, 1 and 2
};

IniTable &iniSlots() {
  static IniTable table;
  return table;
}

// The slot of an open handle, or null with errno 22.
IniSlot *OpenSlot(int hdl) {
  IniTable &table = iniSlots();
  if (!table.setUp || hdl < 0 || hdl >= kIniSlots || table.slots[static_cast<std::size_t>(hdl)].stream == nullptr) {
    errno = EINVAL;
    return nullptr;
  }
  return &table.slots[static_cast<std::size_t>(hdl)];
}

// A handle's state after looking for its section: reading it, at the end of the
// file when it is missing, or failed.
IniState StateAfterFind(IniFound found) noexcept {
  switch (found) {
    case kIniFound: return kIniReading;
    case kIniNotFound: return kIniEnd;
    default: return kIniFailed;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Line parsing
// ---------------------------------------------------------------------------

std::string_view IniLineText(std::string_view line) noexcept {
  const std::size_t nul = line.find('\0');
  return nul == std::string_view::npos ? line : line.substr(0, nul);
}

bool IniIsComment(std::string_view text) noexcept {
  return !text.empty() && (text.front() == ';' || text.front() == '#');
}

bool IniParseHeader(std::string_view text, std::string_view &name) noexcept {
  if (text.empty() || text.front() != '[') return false;
  const std::size_t close = text.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(text.substr(1, close - 1));
  return true;
}

bool IniParseEntry(std::string_view text, std::string_view &name, std::string_view &value) noexcept {
  if (text.empty() || text.front() == '[' || IniIsComment(text)) return false;
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos) return false;
  name = Trim(text.substr(0, eq));
  std::size_t start = eq + 1;
  while (start < text.size() && IsSpace(text[start])) ++start;
  char quote = '\0';
  if (start < text.size() && (text[start] == '"' || text[start] == '\'')) quote = text[start++];
  std::size_t end = start;
  while (end < text.size()) {
    const char c = text[end];
    if (c == '\r' || c == '\n' || c == ';' || c == '#' || (quote != '\0' && c == quote)) break;
    ++end;
  }
  value = text.substr(start, end - start);
  if (quote == '\0') {
    while (!value.empty() && IsSpace(value.back())) value.remove_suffix(1);
  }
  return true;
}

// ---------------------------------------------------------------------------
// IniStream
// ---------------------------------------------------------------------------

std::unique_ptr<IniStream> IniStream::Open(const char *path) {
  // The file's stdio record is allocated too: the allocation seam fails it as
  // fopen fails without memory.
  if (AllocFails()) {
    errno = ENOMEM;
    return nullptr;
  }
  FilePtr file(std::fopen(OrEmpty(path), "rb"));
  if (file == nullptr) return nullptr;
  struct stat info {};
  if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return nullptr;
  }
  // The stream buffers on its own: stdio reads straight into that buffer.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  try {
    if (AllocFails()) throw std::bad_alloc();
    return std::unique_ptr<IniStream>(new IniStream(std::move(file)));
  } catch (const std::bad_alloc &) {
    errno = ENOMEM;  // the file is closed with its owner
    return nullptr;
  }
}

IniStream::IniStream(FilePtr file) : file_(std::move(file)), buffer_(kBufferSize) {}

int IniStream::Close() {
  std::FILE *file = file_.release();
  return file != nullptr ? std::fclose(file) : 0;
}

bool IniStream::Fill() {
  if (file_ == nullptr || eof_ || error_) return false;
  if (begin_ > 0) {
    // Keep the unread bytes at the front, so that a line is contiguous.
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    bufferOffset_ += static_cast<long long>(begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) return true;
  const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_.get());
  end_ += got;
  if (got == 0) {
    if (std::ferror(file_.get())) error_ = true;
    else eof_ = true;
    return false;
  }
  return true;
}

IniStream::Read IniStream::NextLine(std::string_view &line, std::size_t max) {
  max = std::clamp<std::size_t>(max, 1, kBufferSize);
  std::size_t scanned = 0;  // bytes after begin_ known to hold no line feed
  for (;;) {
    const std::size_t avail = end_ - begin_;
    const std::size_t limit = std::min(avail, max);
    const char *start = buffer_.data() + begin_;
    const void *lf = scanned < limit ? std::memchr(start + scanned, '\n', limit - scanned) : nullptr;
    std::size_t length = 0;
    if (lf != nullptr) {
      length = static_cast<std::size_t>(static_cast<const char *>(lf) - start) + 1;
    } else if (avail >= max) {
      length = max;
    } else {
      scanned = limit;
      if (Fill()) continue;
      if (error_) return kError;
      if (avail == 0) return kEnd;
      length = avail;  // the last line, without a line end
    }
    line = std::string_view(buffer_.data() + begin_, length);
    begin_ += length;
    lineStart_ = line.back() == '\n';
    return kLine;
  }
}

IniStream::Read IniStream::NextLineInto(char *dst, std::size_t max, std::size_t &length) {
  length = 0;
  while (length < max) {
    std::string_view piece;
    const Read r = NextLine(piece, std::min(max - length, kBufferSize));
    if (r == kError) return kError;
    if (r == kEnd) break;
    std::memcpy(dst + length, piece.data(), piece.size());
    length += piece.size();
    if (piece.back() == '\n') break;
  }
  if (length > 0) return kLine;
  return kEnd;
}

IniStream::Mark IniStream::Tell() const noexcept {
  return Mark{bufferOffset_ + static_cast<long long>(begin_), lineStart_};
}

bool IniStream::Seek(const Mark &mark) {
  if (file_ == nullptr) {
    errno = EBADF;
    return false;
  }
  const long long end = bufferOffset_ + static_cast<long long>(end_);
  if (mark.offset >= bufferOffset_ && mark.offset <= end) {
    // Every place noted before a line read is still in the buffer.
    begin_ = static_cast<std::size_t>(mark.offset - bufferOffset_);
  } else {
    if (fseeko(file_.get(), static_cast<off_t>(mark.offset), SEEK_SET) != 0) return false;
    std::clearerr(file_.get());
    bufferOffset_ = mark.offset;
    begin_ = end_ = 0;
    eof_ = error_ = false;
  }
  lineStart_ = mark.lineStart;
  return true;
}

// ---------------------------------------------------------------------------
// Stream-level readers
// ---------------------------------------------------------------------------

IniFound IniFindSection(IniStream &in, std::string_view name, std::FILE *copy) {
  for (;;) {
    const bool lineStart = in.AtLineStart();
    std::string_view line;
    const IniStream::Read r = in.NextLine(line);
    if (r == IniStream::kEnd) return kIniNotFound;
    if (r == IniStream::kError) return kIniFindFailed;
    if (copy != nullptr && std::fwrite(line.data(), 1, line.size(), copy) != line.size()) return kIniFindFailed;
    std::string_view header;
    if ((copy == nullptr || lineStart) && IniParseHeader(IniLineText(line), header) && EqualNoCase(header, name)) {
      return kIniFound;
    }
  }
}

IniFound IniFindEntry(IniStream &in, std::string_view name, std::string &value) {
  for (;;) {
    std::string_view line;
    const IniStream::Read r = in.NextLine(line);
    if (r == IniStream::kEnd) return kIniNotFound;
    if (r == IniStream::kError) return kIniFindFailed;
    const std::string_view text = IniLineText(line);
    if (!text.empty() && text.front() == '[') return kIniNotFound;
    std::string_view entryName;
    std::string_view entryValue;
    if (IniParseEntry(text, entryName, entryValue) && EqualNoCase(entryName, name)) {
      value.assign(entryValue);
      return kIniFound;
    }
  }
}

IniState IniReadEntry(IniStream &in, char *name, std::size_t nameSize, char *value, std::size_t valueSize) {
  for (;;) {
    const IniStream::Mark before = in.Tell();
    std::string_view line;
    const IniStream::Read r = in.NextLine(line);
    if (r == IniStream::kEnd) return kIniEnd;
    if (r == IniStream::kError) return kIniFailed;
    const std::string_view text = IniLineText(line);
    if (!text.empty() && text.front() == '[') {
      // The header stays unread for the next section read.
      return in.Seek(before) ? kIniEnd : kIniFailed;
    }
    std::string_view entryName;
    std::string_view entryValue;
    if (IniParseEntry(text, entryName, entryValue)) {
      CopyUpper(name, nameSize, entryName);
      CopyCut(value, valueSize, entryValue);
      return kIniReading;
    }
  }
}

IniState IniReadSection(IniStream &in, char *buffer, std::size_t size) {
  for (;;) {
    std::string_view line;
    const IniStream::Read r = in.NextLine(line);
    if (r == IniStream::kEnd) return kIniEnd;
    if (r == IniStream::kError) return kIniFailed;
    std::string_view name;
    if (IniParseHeader(IniLineText(line), name)) {
      CopyUpper(buffer, size, name);
      return kIniReading;
    }
  }
}

// ---------------------------------------------------------------------------
// Handles
// ---------------------------------------------------------------------------

int IniOpen(const char *fname, const char *section) {
  IniTable &table = iniSlots();
  table.setUp = true;
  IniSlot *slot = nullptr;
  for (IniSlot &candidate : table.slots) {
    if (candidate.stream == nullptr) {
      slot = &candidate;
      break;
    }
  }
  if (slot == nullptr) {
    errno = ENOSPC;
    return -1;
  }
  slot->stream = IniStream::Open(fname);
  if (slot->stream == nullptr) return -1;
  slot->state = kIniReading;
  if (section != nullptr && *section != '\0') {
    slot->state = StateAfterFind(IniFindSection(*slot->stream, section, nullptr));
  }
  return static_cast<int>(slot - table.slots.data());
}

int IniClose(int hdl) {
  IniTable &table = iniSlots();
  if (!table.setUp || hdl < 0 || hdl >= kIniSlots) {
    errno = EINVAL;
    return -1;
  }
  IniSlot &slot = table.slots[static_cast<std::size_t>(hdl)];
  if (slot.stream == nullptr) return 0;
  const int closed = slot.stream->Close();
  slot.stream.reset();
  slot.state = kIniReading;
  return closed == 0 ? 0 : -1;
}

void IniCloseAll() {
  IniTable &table = iniSlots();
  for (IniSlot &slot : table.slots) {
    slot.stream.reset();
    slot.state = kIniReading;
  }
  table.setUp = false;
}

IniState IniSeekSection(int hdl, const char *section) {
  IniSlot *slot = OpenSlot(hdl);
  if (slot == nullptr) return kIniFailed;
  if (!slot->stream->Rewind()) return slot->state = kIniFailed;
  slot->state = kIniReading;
  if (section != nullptr && *section != '\0') {
    slot->state = StateAfterFind(IniFindSection(*slot->stream, section, nullptr));
  }
  return slot->state;
}

IniState IniNextLine(int hdl, char *buffer, int size, std::size_t &length) {
  length = 0;
  IniSlot *slot = OpenSlot(hdl);
  if (slot == nullptr) return kIniFailed;
  if (slot->state != kIniReading) return slot->state;
  // Room for no byte at all: reading could never move on.
  if (size < 2 || buffer == nullptr) {
    errno = EINVAL;
    return kIniFailed;
  }
  IniStream &in = *slot->stream;
  const IniStream::Mark before = in.Tell();
  const IniStream::Read r = in.NextLineInto(buffer, static_cast<std::size_t>(size) - 1, length);
  if (r == IniStream::kError) {
    length = 0;
    return slot->state = kIniFailed;
  }
  if (r == IniStream::kEnd) {
    buffer[0] = '\0';
    return slot->state = kIniEnd;
  }
  if (buffer[0] == '[') {
    length = 0;
    buffer[0] = '\0';
    return slot->state = in.Seek(before) ? kIniNextSection : kIniFailed;
  }
  buffer[length] = '\0';
  return slot->state = kIniReading;
}

IniState IniNextSection(int hdl, char *buffer, int size) {
  IniSlot *slot = OpenSlot(hdl);
  if (slot == nullptr) return kIniFailed;
  if (size < 1 || buffer == nullptr) {
    errno = EINVAL;
    return kIniFailed;
  }
  return slot->state = IniReadSection(*slot->stream, buffer, static_cast<std::size_t>(size));
}

IniState IniNextEntry(int hdl, char *name, int nameSize, char *value, int valueSize) {
  IniSlot *slot = OpenSlot(hdl);
  if (slot == nullptr) return kIniFailed;
  if (nameSize < 1 || valueSize < 1 || name == nullptr || value == nullptr) {
    errno = EINVAL;
    return kIniFailed;
  }
  return slot->state = IniReadEntry(*slot->stream, name, static_cast<std::size_t>(nameSize), value,
                                    static_cast<std::size_t>(valueSize));
}

IniState IniHandleState(int hdl) noexcept {
  const IniTable &table = iniSlots();
  if (!table.setUp || hdl < 0 || hdl >= kIniSlots || table.slots[static_cast<std::size_t>(hdl)].stream == nullptr) {
    return kIniFailed;
  }
  return table.slots[static_cast<std::size_t>(hdl)].state;
}

void ResetIniForTest() { IniCloseAll(); }
VL_STATE_RESET(ResetIniForTest);

}  // namespace vl
