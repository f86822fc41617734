// The INI host functions (13 to 22): value look-up and writing by file name, and
// the handle-based walk over the shared reader. Every call writes its level-3
// trace line of category I.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "host.h"
#include "ini_host.h"
#include "ini_int.h"

namespace vl {
namespace {

// Longest value a look-up delivers (its 1024-byte buffer).
constexpr std::size_t kValueMax = 1023;

// Block size of the copy over the target.
constexpr std::size_t kCopyBlock = 1024;

// ---------------------------------------------------------------------------
// The file operations of the writer
// ---------------------------------------------------------------------------

std::FILE *OpenTempStream(int fd) {
  // The stream's stdio record is allocated: the seam fails it as fdopen would.
  std::FILE *file = AllocFails() ? (errno = ENOMEM, nullptr) : fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return file;
}

int OpenTarget(const char *path) { return open(path, O_WRONLY | O_CLOEXEC); }

// Room for `size` bytes, taken before the file is written over: preallocated
// where the file system can (the file's size and content stay as they are), else
// the free space must cover what the file grows by.
int ReserveSpace(int fd, off_t size) {
  if (size == 0) return 0;
#ifdef FALLOC_FL_KEEP_SIZE
  int reserved = 0;
  while ((reserved = fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size)) != 0 && errno == EINTR) {
  }
  if (reserved == 0) return 0;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
#endif
  struct stat info {};
  struct statvfs space {};
  if (fstat(fd, &info) != 0 || fstatvfs(fd, &space) != 0) return errno;
  if (size <= info.st_size) return 0;
  // One block more for the partly used last block of the file.
  const auto growth = static_cast<unsigned long long>(size - info.st_size) + space.f_frsize;
  const auto available = static_cast<unsigned long long>(space.f_bavail) * space.f_frsize;
  return growth <= available ? 0 : ENOSPC;
}

constexpr IniWriteOps kRealOps{&std::rename, &OpenTempStream, &OpenTarget, &ReserveSpace, &::write, &::fchown,
                               &::fchmod};
constinit IniWriteOps writeOps = kRealOps;

// ---------------------------------------------------------------------------
// Looking up
// ---------------------------------------------------------------------------

// Looks an entry up by file, section and name; true with its value when found. A
// file that is missing or cannot be read holds no entry; one that cannot be
// opened for lack of memory is a heap overflow (std::bad_alloc).
bool LookUpValue(const char *fname, const char *section, const char *entry, std::string &value) {
  const auto in = IniStream::Open(fname);
  if (in == nullptr) {
    if (errno == ENOMEM) throw std::bad_alloc();
    return false;
  }
  if (*section != '\0' && IniFindSection(*in, section, nullptr) != kIniFound) return false;
  if (IniFindEntry(*in, entry, value) != kIniFound) return false;
  if (value.size() > kValueMax) value.resize(kValueMax);
  return true;
}

// The value as a decimal integer: leading white space, an optional sign, digits up
// to the first other character; no digits give 0. Beyond the 32-bit range the
// nearest limit.
std::int32_t ValueAsInt(std::string_view s) noexcept {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long magnitude = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    magnitude = std::min<long long>(magnitude * 10 + (s[i] - '0'), 1LL << 32);
  }
  const long long v = negative ? -magnitude : magnitude;
  return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// ---------------------------------------------------------------------------
// Writing an entry
// ---------------------------------------------------------------------------

// A failure of the writer: its level-1 line, "ini_SetString() failed: <what>
// '<file>' (<reason>)".
IniWrite Failed(const char *what, const char *file, int error) {
  TraceLine('I', 1, "ini_SetString() failed: %s '%s' (%s)", what, file, std::strerror(error));
  return IniWrite::kUnchanged;
}

// An attribute of the file that the rewritten file does not keep (level 2).
void NotKept(const char *what, const char *file, int error) {
  TraceLine('I', 2, "ini_SetString() warning: cannot keep the %s of '%s' (%s)", what, file, std::strerror(error));
}

struct FreeDeleter {
  void operator()(char *p) const noexcept { std::free(p); }
};

// The file a name stands for, through symbolic links, into `path`; the name itself
// when no such file exists (it is then created under that name). False with errno
// set when the name cannot be resolved; memory exhaustion throws std::bad_alloc,
// so that a link is never taken for the file it points to.
bool ResolvePath(const char *fname, std::string &path) {
  errno = 0;
  const std::unique_ptr<char, FreeDeleter> real(AllocFails() ? (errno = ENOMEM, nullptr) : realpath(fname, nullptr));
  if (real == nullptr) {
    if (errno == ENOMEM) throw std::bad_alloc();
    if (errno != ENOENT) return false;
    path = fname;
    return true;
  }
  path = real.get();
  return true;
}

// The new content while it is written: a temporary file, beside the target when
// its folder allows, else in the system's temporary folder. Unless kept, it is
// removed when the object goes, whatever way the writer leaves.
class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile &) = delete;
  TempFile &operator=(const TempFile &) = delete;
  ~TempFile() { Discard(); }

  // False with errno set when no temporary file can be made; memory exhaustion
  // throws std::bad_alloc.
  bool Create(const std::string &target) {
    if (Make(target + ".XXXXXX")) {
      besideTarget_ = true;
      return true;
    }
    if (errno == ENOMEM) throw std::bad_alloc();
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec);
    if (ec) {
      errno = ec.value();
      return false;
    }
    if (Make((dir / "ini.XXXXXX").string())) return true;
    if (errno == ENOMEM) throw std::bad_alloc();
    return false;
  }

  // Flushes the content to the disk and closes the stream; false (errno set) on
  // any failure.
  bool Finish() {
    bool ok = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    int error = errno;
    if (std::fclose(file_) != 0 && ok) ok = false, error = errno;
    file_ = nullptr;
    errno = error;
    return ok;
  }

  // Keeps the file (renamed into place, or holding content that must not be lost).
  void Keep() noexcept { path_.clear(); }

  // Closes and removes the file.
  void Discard() noexcept {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
  }

  std::FILE *stream() const noexcept { return file_; }
  const std::string &path() const noexcept { return path_; }
  bool besideTarget() const noexcept { return besideTarget_; }

 private:
  bool Make(std::string pattern) {
    const int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return false;
    path_ = std::move(pattern);
    file_ = writeOps.openTemp(fd);
    if (file_ == nullptr) {
      const int error = errno;
      Discard();
      errno = error;
      return false;
    }
    return true;
  }

  std::string path_;            // empty: no file (or one that is kept)
  std::FILE *file_ = nullptr;   // open while the content is written
  bool besideTarget_ = false;   // in the target's folder: it can be renamed over it
};

// Gives the temporary file beside the target the target's owner and mode, and
// traces what cannot be kept. The owner goes first: changing it clears the
// set-user-ID and set-group-ID bits, which the mode then restores.
void KeepOwnerAndMode(const TempFile &temp, const std::string &target, const struct stat &info) {
  const int fd = fileno(temp.stream());
  struct stat now {};
  mode_t mode = info.st_mode & 07777;
  if (fstat(fd, &now) == 0 && (now.st_uid != info.st_uid || now.st_gid != info.st_gid) &&
      writeOps.chown(fd, info.st_uid, info.st_gid) != 0) {
    const int error = errno;
    // One who may not give a file away may still keep its group.
    if (now.st_gid != info.st_gid) (void)writeOps.chown(fd, static_cast<uid_t>(-1), info.st_gid);
    NotKept("owner", target.c_str(), error);
    // No set-ID bits on a file of another owner than the one they were set for.
    mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  }
  if (writeOps.chmod(fd, mode) != 0) NotKept("mode", target.c_str(), errno);
}

bool Put(std::FILE *out, std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

bool PutEntry(std::FILE *out, const char *entry, const char *value) {
  return std::fprintf(out, "%s=%s\r\n", entry, value) >= 0;
}

// Copies the rest of the input unchanged; false on a read or write failure.
bool CopyRest(IniStream &in, std::FILE *out) {
  for (;;) {
    std::string_view piece;
    const IniStream::Read r = in.NextLine(piece, IniStream::kBufferSize);
    if (r == IniStream::kEnd) return true;
    if (r == IniStream::kError || !Put(out, piece)) return false;
  }
}

// Copies the input into `out` with the entry replaced or added. Nothing is put
// inside a line: only lines that start a line of the file are headers or entries
// here, and an entry added at the end of a file whose last line has no line end
// gets its own line.
bool CopyWithEntry(IniStream &in, std::FILE *out, const char *section, const char *entry, const char *value) {
  if (*section != '\0') {
    const IniFound found = IniFindSection(in, section, out);
    if (found == kIniFindFailed) return false;
    if (found == kIniNotFound) {
      return std::fprintf(out, "\r\n[%s]\r\n", section) >= 0 && PutEntry(out, entry, value);
    }
  }
  for (;;) {
    const bool lineStart = in.AtLineStart();
    std::string_view line;
    const IniStream::Read r = in.NextLine(line);
    if (r == IniStream::kError) return false;
    if (r == IniStream::kEnd) return (lineStart || Put(out, "\r\n")) && PutEntry(out, entry, value);
    const std::string_view text = IniLineText(line);
    std::string_view name;
    std::string_view current;
    if (lineStart && !text.empty() && text.front() == '[') {
      return PutEntry(out, entry, value) && Put(out, line) && CopyRest(in, out);
    }
    if (lineStart && IniParseEntry(text, name, current) && EqualNoCase(name, entry)) {
      return PutEntry(out, entry, value) && CopyRest(in, out);
    }
    if (!Put(out, line)) return false;
  }
}

// Creates a missing file with the section header (if any) and the entry.
IniWrite CreateWithEntry(const std::string &target, const char *section, const char *entry, const char *value) {
  std::FILE *out = AllocFails() ? (errno = ENOMEM, nullptr) : std::fopen(target.c_str(), "wbx");
  if (out == nullptr) {
    if (errno == ENOMEM) throw std::bad_alloc();
    return Failed("cannot create", target.c_str(), errno);
  }
  bool ok = *section == '\0' || std::fprintf(out, "[%s]\r\n", section) >= 0;
  ok = ok && PutEntry(out, entry, value) && std::fflush(out) == 0;
  int error = errno;
  if (std::fclose(out) != 0 && ok) ok = false, error = errno;
  if (!ok) {
    // A partial file would stand for content nobody wrote.
    unlink(target.c_str());
    return Failed("cannot write", target.c_str(), error);
  }
  return IniWrite::kCreated;
}

IniWrite KeepTemporary(const std::string &target, TempFile &temp, int error) {
  TraceLine('I', 1, "ini_SetString() failed: cannot replace '%s' (%s), new content kept in '%s'", target.c_str(),
            std::strerror(error), temp.path().c_str());
  temp.Keep();
  return IniWrite::kKeptTemporary;
}

// Closes a descriptor when the object goes.
struct Descriptor {
  explicit Descriptor(int descriptor) noexcept : fd(descriptor) {}
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
  // Closes now; false (errno set) when the close fails.
  bool Close() {
    const int old = fd;
    fd = -1;
    return close(old) == 0;
  }
  int fd;
};

// Writes all of `size` bytes; false with errno set on failure.
bool WriteAll(int fd, const char *bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = writeOps.write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Writes the new content, complete in its temporary file, over the target in
// place, for when it cannot be renamed over it. Room for all of it is made first,
// so that a full disk leaves the target as it was; the temporary file goes only
// once the target holds the whole content on the disk. The target keeps its
// owner, mode and links.
IniWrite CopyOver(const std::string &target, TempFile &temp) {
  Descriptor from{open(temp.path().c_str(), O_RDONLY | O_CLOEXEC)};
  if (from.fd < 0) return KeepTemporary(target, temp, errno);
  struct stat info {};
  if (fstat(from.fd, &info) != 0) return KeepTemporary(target, temp, errno);
  Descriptor to{writeOps.openTarget(target.c_str())};
  if (to.fd < 0) return KeepTemporary(target, temp, errno);
  if (const int error = writeOps.reserve(to.fd, info.st_size); error != 0) return KeepTemporary(target, temp, error);
  char block[kCopyBlock];
  for (;;) {
    const ssize_t n = read(from.fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return KeepTemporary(target, temp, errno);
    if (n == 0) break;
    if (!WriteAll(to.fd, block, static_cast<std::size_t>(n))) return KeepTemporary(target, temp, errno);
  }
  if (ftruncate(to.fd, info.st_size) != 0 || fsync(to.fd) != 0 || !to.Close()) {
    return KeepTemporary(target, temp, errno);
  }
  return IniWrite::kRewritten;  // the temporary file goes with `temp`
}

}  // namespace

IniWrite IniWriteEntry(const char *fname, const char *section, const char *entry, const char *value) {
  fname = OrEmpty(fname);
  section = OrEmpty(section);
  entry = OrEmpty(entry);
  value = OrEmpty(value);
  std::string target;
  if (!ResolvePath(fname, target)) return Failed("cannot open", fname, errno);
  const auto in = IniStream::Open(target.c_str());
  if (in == nullptr) {
    if (errno == ENOMEM) throw std::bad_alloc();
    if (errno == ENOENT) return CreateWithEntry(target, section, entry, value);
    return Failed("cannot open", target.c_str(), errno);
  }
  // A file its owner made read-only stays as it is, though a rename could replace it.
  if (access(target.c_str(), W_OK) != 0) return Failed("cannot write", target.c_str(), errno);
  struct stat info {};
  if (stat(target.c_str(), &info) != 0) return Failed("cannot open", target.c_str(), errno);

  TempFile temp;
  if (!temp.Create(target)) return Failed("cannot create a temporary file for", target.c_str(), errno);
  if (temp.besideTarget()) KeepOwnerAndMode(temp, target, info);
  if (!CopyWithEntry(*in, temp.stream(), section, entry, value)) {
    const int error = errno;
    if (std::ferror(temp.stream())) return Failed("cannot write", temp.path().c_str(), error);
    return Failed("cannot read", target.c_str(), error);
  }
  in->Close();
  if (!temp.Finish()) return Failed("cannot write", temp.path().c_str(), errno);
  if (!temp.besideTarget()) return CopyOver(target, temp);
  // The rename replaces the target in one step: it never exists half written.
  if (writeOps.rename(temp.path().c_str(), target.c_str()) == 0) {
    temp.Keep();
    return IniWrite::kRewritten;
  }
  if (errno == EXDEV) return CopyOver(target, temp);
  return KeepTemporary(target, temp, errno);
}

void SetIniWriteOpsForTest(const IniWriteOps *ops) noexcept {
  writeOps = kRealOps;
  if (ops == nullptr) return;
  if (ops->rename != nullptr) writeOps.rename = ops->rename;
  if (ops->openTemp != nullptr) writeOps.openTemp = ops->openTemp;
  if (ops->openTarget != nullptr) writeOps.openTarget = ops->openTarget;
  if (ops->reserve != nullptr) writeOps.reserve = ops->reserve;
  if (ops->write != nullptr) writeOps.write = ops->write;
  if (ops->chown != nullptr) writeOps.chown = ops->chown;
  if (ops->chmod != nullptr) writeOps.chmod = ops->chmod;
}

namespace {
void ResetIniWriteOps() { SetIniWriteOpsForTest(nullptr); }
VL_STATE_RESET(ResetIniWriteOps);
}  // namespace

}  // namespace vl

// ---------------------------------------------------------------------------
// Host functions
// ---------------------------------------------------------------------------

using vl::OrEmpty;
using vl::TraceLine;

std::int32_t ini_GetInt(const char *section, const char *entry, std::int32_t def, const char *fname,
                        std::int32_t *val_p) {
  section = OrEmpty(section);
  entry = OrEmpty(entry);
  fname = OrEmpty(fname);
  TraceLine('I', 3, "ini_GetInt(section=\"%s\",entry=\"%s\",def=%d,fname=\"%s\")", section, entry, def, fname);
  std::string value;
  std::int32_t result = def;
  if (vl::LookUpValue(fname, section, entry, value) && !value.empty()) result = vl::ValueAsInt(value);
  if (val_p != nullptr) *val_p = result;
  TraceLine('I', 3, "ini_GetInt: %d", result);
  return vl::kHostOk;
}

std::int32_t ini_GetString(const char *section, const char *entry, const char *def, const char *fname,
                           HostString *val) {
  section = OrEmpty(section);
  entry = OrEmpty(entry);
  def = OrEmpty(def);
  fname = OrEmpty(fname);
  TraceLine('I', 3, "ini_GetString(section=\"%s\",entry=\"%s\",def=\"%s\",fname=\"%s\")", section, entry, def,
            fname);
  std::string value;
  const std::string_view result = vl::LookUpValue(fname, section, entry, value) ? std::string_view(value)
                                                                                 : std::string_view(def);
  if (val == nullptr) return vl::kHostOk;
  const std::size_t room = std::min<std::size_t>(static_cast<std::size_t>(std::max(val->cap, 0)), vl::kValueMax);
  const std::size_t n = val->bytes != nullptr ? std::min(result.size(), room) : 0;
  if (n > 0) std::memcpy(val->bytes, result.data(), n);
  val->len = static_cast<std::int32_t>(n);
  TraceLine('I', 3, "ini_GetString: \"%*.*s\"", static_cast<int>(n), static_cast<int>(n),
            n > 0 ? val->bytes : "");
  return vl::kHostOk;
}

std::int32_t ini_SetString(const char *section, const char *entry, const char *val, const char *fname) {
  TraceLine('I', 3, "ini_SetString(section=\"%s\",entry=\"%s\",val=\"%s\",fname=\"%s\")", OrEmpty(section),
            OrEmpty(entry), OrEmpty(val), OrEmpty(fname));
  vl::IniWriteEntry(fname, section, entry, val);  // memory exhaustion throws: a heap overflow
  return vl::kHostOk;
}

std::int32_t ini_Open(const char *fname, const char *section, std::int32_t *hdl) {
  fname = OrEmpty(fname);
  section = OrEmpty(section);
  TraceLine('I', 3, "ini_Open(fname=\"%s\",section=\"%s\")", fname, section);
  errno = 0;
  std::int32_t handle = vl::IniOpen(fname, section);
  if (handle == -1) handle = errno != 0 ? -errno : -1;
  if (hdl != nullptr) *hdl = handle;
  TraceLine('I', 3, "ini_Open: hdl = %d", handle);
  // A file that could not be opened for lack of memory is a heap overflow.
  if (handle == -ENOMEM) throw std::bad_alloc();
  return vl::kHostOk;
}

std::int32_t ini_Close(std::int32_t hdl, std::int32_t *rc) {
  TraceLine('I', 3, "ini_Close(hdl=%d)", hdl);
  const std::int32_t result = vl::IniClose(hdl);
  if (rc != nullptr) *rc = result;
  return vl::kHostOk;
}

std::int32_t ini_CloseAll() {
  TraceLine('I', 3, "ini_CloseAll()");
  vl::IniCloseAll();
  return vl::kHostOk;
}

std::int32_t ini_FindSection(std::int32_t hdl, const char *section, std::int32_t *eof) {
  section = OrEmpty(section);
  TraceLine('I', 3, "ini_FindSection(hdl=%d,section=\"%s\")", hdl, section);
  const std::int32_t result = vl::IniSeekSection(hdl, section);
  if (eof != nullptr) *eof = result;
  TraceLine('I', 3, "ini_FindSection: eof = %d", result);
  return vl::kHostOk;
}

std::int32_t ini_NextLine(std::int32_t hdl, HostString *buf, std::int32_t *eof) {
  TraceLine('I', 3, "ini_NextLine(hdl=%d)", hdl);
  std::size_t length = 0;
  std::int32_t result = vl::kIniFailed;
  if (buf != nullptr) {
    buf->len = 0;
    result = vl::IniNextLine(hdl, buf->bytes, buf->cap, length);
    // The host receives the line as a text: a NUL ends it.
    if (result == vl::kIniReading) buf->len = static_cast<std::int32_t>(std::strlen(buf->bytes));
  } else {
    result = vl::IniNextLine(hdl, nullptr, 0, length);
  }
  if (eof != nullptr) *eof = result;
  if (result == vl::kIniReading) TraceLine('I', 3, "ini_NextLine: buf = \"%s\"", buf->bytes);
  else TraceLine('I', 3, "ini_NextLine: eof = %d", result);
  return vl::kHostOk;
}

std::int32_t ini_NextSection(std::int32_t hdl, HostString *buf, std::int32_t *eof) {
  TraceLine('I', 3, "ini_NextSection(hdl=%d)", hdl);
  std::int32_t result = vl::kIniFailed;
  if (buf != nullptr) {
    buf->len = 0;
    result = vl::IniNextSection(hdl, buf->bytes, buf->cap);
    if (result == vl::kIniReading) buf->len = static_cast<std::int32_t>(std::strlen(buf->bytes));
  } else {
    result = vl::IniNextSection(hdl, nullptr, 0);
  }
  if (eof != nullptr) *eof = result;
  if (result == vl::kIniReading) TraceLine('I', 3, "ini_NextSection: buf = \"%s\"", buf->bytes);
  else TraceLine('I', 3, "ini_NextSection: eof = %d", result);
  return vl::kHostOk;
}

std::int32_t ini_NextEntry(std::int32_t hdl, HostString *item, HostString *value, std::int32_t *eof) {
  TraceLine('I', 3, "ini_NextEntry(hdl=%d)", hdl);
  std::int32_t result = vl::kIniFailed;
  if (item != nullptr && value != nullptr) {
    item->len = 0;
    value->len = 0;
    result = vl::IniNextEntry(hdl, item->bytes, item->cap, value->bytes, value->cap);
    if (result == vl::kIniReading) {
      item->len = static_cast<std::int32_t>(std::strlen(item->bytes));
      value->len = static_cast<std::int32_t>(std::strlen(value->bytes));
    }
  } else {
    result = vl::IniNextEntry(hdl, nullptr, 0, nullptr, 0);
  }
  if (eof != nullptr) *eof = result;
  if (result == vl::kIniReading) {
    TraceLine('I', 3, "ini_NextEntry: item = \"%s\", value = \"%s\"", item->bytes, value->bytes);
  } else {
    TraceLine('I', 3, "ini_NextEntry: eof = %d", result);
  }
  return vl::kHostOk;
}
