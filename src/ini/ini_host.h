// The INI host functions (13 to 22) and the entry writer behind ini_SetString:
// util only; the shared reader they use is in ini.h. See iniserv.cpp.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "ini.h"
#include "vlabi.h"

namespace vl {

// ---------------------------------------------------------------------------
// Writing an entry (ini_SetString)
// ---------------------------------------------------------------------------

// What writing one entry did. The host is told none of it; every failure is
// traced (category I, level 1).
enum class IniWrite {
  kCreated,          // the file did not exist and was created with the entry
  kRewritten,        // the file was rewritten with the entry
  kUnchanged,        // the file could not be read, created or copied: left as it was
  kKeptTemporary,    // the new content could not be put in place and was kept in a
                     // temporary file, named on the trace
};

// Writes `entry` = `value` into section `section` (empty: before the first
// header) of file `fname`. The file is copied into a new file beside it with the
// entry replaced or added, which takes the file's owner (where permitted) and mode
// and then replaces the file in one rename; so the file is either unchanged or
// fully rewritten, and a symbolic link stays a link to the rewritten file. Where
// no file can be made beside it, or the rename would cross devices, the new
// content goes to the system's temporary folder and is then written over the file
// in place, once room for all of it was made (a full disk leaves the file as it
// was). Memory exhaustion throws std::bad_alloc, with nothing written.
IniWrite IniWriteEntry(const char *fname, const char *section, const char *entry, const char *value);

// The file operations of IniWriteEntry that tests replace to provoke failures. A
// null member stands for the real operation.
struct IniWriteOps {
  int (*rename)(const char *from, const char *to) = nullptr;  // as std::rename
  std::FILE *(*openTemp)(int fd) = nullptr;  // the stream the new content is written
                                             // through, as fdopen(fd, "wb"); closes
                                             // fd when it fails
  int (*openTarget)(const char *path) = nullptr;  // opens the target for writing in
                                                  // place, without truncating it: a
                                                  // descriptor, or -1 with errno
  int (*reserve)(int fd, off_t size) = nullptr;   // makes room for `size` bytes in the
                                                  // file: 0, or an error number
  ssize_t (*write)(int fd, const void *bytes, std::size_t size) = nullptr;  // as write(2)
  int (*chown)(int fd, uid_t owner, gid_t group) = nullptr;                 // as fchown
  int (*chmod)(int fd, mode_t mode) = nullptr;                              // as fchmod
};
// Null restores the real operations.
void SetIniWriteOpsForTest(const IniWriteOps *ops) noexcept;

}  // namespace vl

extern "C" {
int32_t ini_GetInt(const char *section, const char *entry, int32_t def, const char *fname, int32_t *val_p);
int32_t ini_GetString(const char *section, const char *entry, const char *def, const char *fname, HostString *val);
int32_t ini_SetString(const char *section, const char *entry, const char *val, const char *fname);
int32_t ini_Open(const char *fname, const char *section, int32_t *hdl);
int32_t ini_Close(int32_t hdl, int32_t *rc);
int32_t ini_CloseAll(void);
int32_t ini_FindSection(int32_t hdl, const char *section, int32_t *eof);
int32_t ini_NextLine(int32_t hdl, HostString *buf, int32_t *eof);
int32_t ini_NextSection(int32_t hdl, HostString *buf, int32_t *eof);
int32_t ini_NextEntry(int32_t hdl, HostString *item, HostString *value, int32_t *eof);
}  // extern "C"
