// The INI host functions (13 to 22): value look-up and writing by file name, and
// the handle-based walk over the shared reader. Every call writes its level-3
// trace line of category I.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "host.h"
#include "ini_host.h"
#include "ini_int.h"

namespace vl {
namespace {

// Longest value a look-up delivers (its 1024-byte buffer).
constexpr std::size_t kValueMax = 1023;

// Block size of the copy across devices.
constexpr std::size_t kCopyBlock = 1024;

std::FILE *CreateTarget(const char *path) { return std::fopen(path, "wb"); }

constexpr IniWriteOps kRealOps{&std::rename, &CreateTarget};
constinit const IniWriteOps *writeOps = &kRealOps;

// Looks an entry up by file, section and name; true with its value when found.
bool LookUpValue(const char *fname, const char *section, const char *entry, std::string &value) {
  const auto in = IniStream::Open(fname);
  if (in == nullptr) return false;
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

// The file a name stands for, through symbolic links; the name itself when it
// cannot be resolved (a missing file).
std::string ResolvedPath(const char *fname) {
  char *real = realpath(fname, nullptr);
  if (real == nullptr) return fname;
  std::string path(real);
  std::free(real);
  return path;
}

// The new content while it is written: a temporary file, beside the target when
// its folder allows, else in the system's temporary folder.
struct TempFile {
  std::string path;
  std::FILE *file = nullptr;
  bool besideTarget = false;

  bool Create(const std::string &target, mode_t mode) {
    if (Make(target + ".XXXXXX")) {
      besideTarget = true;
    } else {
      std::error_code ec;
      const auto dir = std::filesystem::temp_directory_path(ec);
      if (ec || !Make((dir / "ini.XXXXXX").string())) return false;
    }
    fchmod(fileno(file), mode & 07777);
    return true;
  }
  // Flushes the content to the disk and closes the file; false on any failure.
  bool Finish() {
    bool ok = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    file = nullptr;
    return ok;
  }
  // Abandons the new content.
  void Discard() {
    if (file != nullptr) std::fclose(file);
    file = nullptr;
    std::remove(path.c_str());
  }

 private:
  bool Make(std::string pattern) {
    const int fd = mkstemp(pattern.data());
    if (fd < 0) return false;
    file = fdopen(fd, "wb");
    if (file == nullptr) {
      close(fd);
      std::remove(pattern.c_str());
      return false;
    }
    path = std::move(pattern);
    return true;
  }
};

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
IniWrite CreateWithEntry(const char *fname, const char *section, const char *entry, const char *value) {
  std::FILE *out = std::fopen(fname, "wbx");
  if (out == nullptr) return IniWrite::kUnchanged;
  bool ok = *section == '\0' || std::fprintf(out, "[%s]\r\n", section) >= 0;
  ok = ok && PutEntry(out, entry, value);
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    // A partial file would stand for content nobody wrote.
    std::remove(fname);
    return IniWrite::kUnchanged;
  }
  return IniWrite::kCreated;
}

IniWrite KeepTemporary(const std::string &target, const std::string &temp, int error) {
  TraceLine('I', 1, "ini_SetString() failed: cannot replace '%s' (%s), new content kept in '%s'", target.c_str(),
            std::strerror(error), temp.c_str());
  return IniWrite::kKeptTemporary;
}

// Copies the new content over the target in blocks and removes the temporary
// file; when that fails the temporary file stays.
IniWrite CopyOver(const std::string &target, const std::string &temp) {
  std::FILE *from = std::fopen(temp.c_str(), "rb");
  if (from == nullptr) return KeepTemporary(target, temp, errno);
  std::FILE *to = writeOps->createTarget(target.c_str());
  if (to == nullptr) {
    const int error = errno;
    std::fclose(from);
    return KeepTemporary(target, temp, error);
  }
  char block[kCopyBlock];
  bool ok = true;
  int error = 0;
  for (std::size_t n; ok && (n = std::fread(block, 1, sizeof block, from)) > 0;) {
    ok = std::fwrite(block, 1, n, to) == n;
  }
  ok = ok && !std::ferror(from);
  if (!ok) error = errno;
  if (std::fflush(to) != 0 || fsync(fileno(to)) != 0) ok = false, error = errno;
  if (std::fclose(to) != 0 && ok) ok = false, error = errno;
  std::fclose(from);
  if (!ok) return KeepTemporary(target, temp, error);
  std::remove(temp.c_str());
  return IniWrite::kRewritten;
}

}  // namespace

IniWrite IniWriteEntry(const char *fname, const char *section, const char *entry, const char *value) {
  fname = OrEmpty(fname);
  section = OrEmpty(section);
  entry = OrEmpty(entry);
  value = OrEmpty(value);
  const std::string target = ResolvedPath(fname);
  const auto in = IniStream::Open(target.c_str());
  if (in == nullptr) {
    return errno == ENOENT ? CreateWithEntry(target.c_str(), section, entry, value) : IniWrite::kUnchanged;
  }
  // A file its owner made read-only stays as it is, though a rename could replace it.
  if (access(target.c_str(), W_OK) != 0) return IniWrite::kUnchanged;
  struct stat info {};
  const mode_t mode = stat(target.c_str(), &info) == 0 ? info.st_mode : 0644;
  TempFile temp;
  if (!temp.Create(target, mode)) return IniWrite::kUnchanged;
  const bool copied = CopyWithEntry(*in, temp.file, section, entry, value);
  in->Close();
  if (!copied || !temp.Finish()) {
    temp.Discard();
    return IniWrite::kUnchanged;
  }
  if (!temp.besideTarget) return CopyOver(target, temp.path);
  // The rename replaces the target in one step: it never exists half written.
  if (writeOps->rename(temp.path.c_str(), target.c_str()) == 0) return IniWrite::kRewritten;
  if (errno == EXDEV) return CopyOver(target, temp.path);
  return KeepTemporary(target, temp.path, errno);
}

void SetIniWriteOpsForTest(const IniWriteOps *ops) noexcept { writeOps = ops != nullptr ? ops : &kRealOps; }

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
  vl::IniWriteEntry(fname, section, entry, val);
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
