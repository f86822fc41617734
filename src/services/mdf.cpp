// mdf_Get: reads one section of a module definition file through the INI reader
// and returns its known entries as an XBUF, optionally limited by a filter. While
// the host's debug level is not 0, diagnostics go straight to standard error.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "buffers.h"
#include "host.h"
#include "ini.h"
#include "services_int.h"

namespace vl {
namespace {

// One known key of a module definition section.
struct MdfItem {
  const char *key;   // the file key, as the INI reader delivers it (upper case)
  char type;         // XBUF type letter; '-' for keys read but never stored
  int limit;         // longest accumulated value
  const char *name;  // the XBUF name after "Mdf_"
};

// mdfItems, in the order of the XBUF entries. Two keys may share one XBUF name;
// each keeps its own value and gives its own entry.
constexpr std::array<MdfItem, 13> kMdfItems{{
    {"TITEL", 'X', 60, "title"},
    {"DESCRIPTION", 'X', 60, "title"},
    {"MODUL", 'X', 60, "mod"},
    {"ENTRY", 'N', 1, "entry"},
    {"GRUPPE", 'X', 18, "grp"},
    {"FUNKTIONEN", 'X', 80, "caps"},
    {"FUNCTIONS", 'X', 80, "caps"},
    {"BIB", 'X', 256, "bib"},
    {"SUBS", 'X', 256, "sub"},
    {"REV", 'X', 18, "rev"},
    {"DIALOG", 'X', 80, "dlg"},
    {"DSETS", '-', 256, "dsets"},
    {"TEXT", '-', 1024, "text"},
}};

constexpr const char *kPrefix = "Mdf_";
constexpr int kNameSize = 80;    // name buffer of the entry reader
constexpr int kValueSize = 256;  // value buffer of the entry reader

// The process-wide cache: the values of the section read last and the flags of
// the current call.
struct MdfState {
  std::array<std::optional<std::string>, kMdfItems.size()> values;  // none until read
  std::array<bool, kMdfItems.size()> selected{};                    // chosen by the filter
  bool filterActive = false;                                        // this call has a filter
  std::optional<std::string> cacheSection;                          // section the values are of
  std::string cacheFile;                                            // file they were read from
};

MdfState &MdfCache() {
  static MdfState state;
  return state;
}

void Diagnostic(const char *format, ...) VL_PRINTF(1, 2);
void Diagnostic(const char *format, ...) {
  if (HostDebugLevel == 0) return;
  std::va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
}

// minus the error number, or -1 when none is set.
std::int32_t NegatedErrno() noexcept { return errno != 0 ? -errno : -1; }

void DropCache(MdfState &state) {
  for (auto &value : state.values) value.reset();
  state.cacheSection.reset();
  state.cacheFile.clear();
}

// Selects the rows the filter names: words separated by commas, each with an
// optional "Mdf_" prefix, matched against the XBUF names without regard to case.
void ApplyFilter(MdfState &state, std::string_view filter) {
  state.selected.fill(false);
  state.filterActive = false;
  if (filter.empty() || filter == "*") return;
  state.filterActive = true;
  for (;;) {
    const std::size_t comma = filter.find(',');
    const bool last = comma == std::string_view::npos;
    std::string_view word = filter.substr(0, comma);
    if (word.size() >= 4 && EqualNoCase(word.substr(0, 4), kPrefix)) word.remove_prefix(4);
    if (word.empty() && last) return;
    bool any = false;
    for (std::size_t i = 0; i < kMdfItems.size(); ++i) {
      if (EqualNoCase(kMdfItems[i].name, word)) state.selected[i] = any = true;
    }
    if (!any) Diagnostic("mdf_Get: do_filter: ignored: %s\n", std::string(word).c_str());
    if (last) return;
    filter.remove_prefix(comma + 1);
  }
}

// Appends one entry's value to its row; false (rc set) when the row's storage
// cannot be enlarged.
bool AppendValue(std::optional<std::string> &row, const MdfItem &item, std::string_view value, std::int32_t &rc) {
  const std::size_t oldLength = row ? row->size() : 0;
  const std::size_t newLength = oldLength == 0 ? value.size() : oldLength + 1 + value.size();
  try {
    if (AllocFails()) throw std::bad_alloc();
    if (!row) row.emplace();
    if (oldLength != 0) *row += ',';
    row->append(value);
  } catch (const std::bad_alloc &) {
    errno = ENOMEM;
    rc = NegatedErrno();
    Diagnostic("mdf_Get: do_read: errno = %d, sz = %d\n", ENOMEM, static_cast<int>(newLength + 1));
    return false;
  }
  if (newLength > static_cast<std::size_t>(item.limit)) {
    Diagnostic("mdf_Get: %s exceeds limit of %d (len = %d)\n", item.key, item.limit, static_cast<int>(newLength));
    rc = -1;
  }
  return true;
}

// Reads the section's entries into the rows; rc as mdf_Get reports it.
void ReadSection(MdfState &state, const char *fname, const char *section, std::int32_t &rc) {
  errno = 0;
  const int hdl = IniOpen(fname, section);
  if (hdl == -1) {
    rc = NegatedErrno();
    return;
  }
  char name[kNameSize];
  char value[kValueSize];
  for (;;) {
    errno = 0;
    const IniState read = IniNextEntry(hdl, name, kNameSize, value, kValueSize);
    if (read != kIniReading) {
      // A read error is no end of the section: the values would be incomplete.
      if (read == kIniFailed && rc == 0) rc = NegatedErrno();
      break;
    }
    std::size_t row = 0;
    while (row < kMdfItems.size() && std::strcmp(kMdfItems[row].key, name) != 0) ++row;
    if (row == kMdfItems.size()) {
      Diagnostic("mdf_Get: do_read: ignored: %s (%s)\n", name, value);
      continue;
    }
    if (kMdfItems[row].type == '-') continue;
    if (!AppendValue(state.values[row], kMdfItems[row], value, rc)) break;
  }
  const int closed = IniClose(hdl);
  if (closed != 0 && rc == 0) rc = closed;
}

// Writes the wanted rows that have a value, then the end mark; false when the
// buffer's room does not suffice.
bool WriteXbuf(const MdfState &state, HostString *xbuf) {
  const std::size_t room = xbuf != nullptr && xbuf->bytes != nullptr ? static_cast<std::size_t>(std::max(xbuf->cap, 0)) : 0;
  XbufWriter writer(room > 0 ? xbuf->bytes : nullptr, room);
  for (std::size_t i = 0; i < kMdfItems.size(); ++i) {
    if (!state.values[i] || (state.filterActive && !state.selected[i])) continue;
    if (!writer.Entry(kPrefix, kMdfItems[i].name, kMdfItems[i].type, *state.values[i])) return false;
  }
  // With no room at all not even the end mark fits: that is "does not fit" too.
  if (!writer.End()) return false;
  xbuf->len = static_cast<std::int32_t>(writer.Length());
  return true;
}

}  // namespace

void ResetMdfForTest() {
  MdfState &state = MdfCache();
  DropCache(state);
  state.selected.fill(false);
  state.filterActive = false;
}
VL_STATE_RESET(ResetMdfForTest);

}  // namespace vl

std::int32_t mdf_Get(const char *fname, const char *section, const char *filter, HostString *xbuf,
                     std::int32_t *rc_p) {
  vl::MdfState &state = vl::MdfCache();
  fname = vl::OrEmpty(fname);
  section = vl::OrEmpty(section);
  std::int32_t rc = 0;
  if (rc_p != nullptr) *rc_p = 0;
  vl::Diagnostic("mdf_Get: section = %s\n", section);
  vl::ApplyFilter(state, vl::OrEmpty(filter));

  // The cache answers a call for the same section of the same file.
  const bool cached = state.cacheSection && vl::EqualNoCase(*state.cacheSection, section) && state.cacheFile == fname;
  if (!cached) {
    vl::DropCache(state);
    try {
      if (vl::AllocFails()) throw std::bad_alloc();
      state.cacheSection.emplace(section);
      state.cacheFile = fname;
    } catch (const std::bad_alloc &) {
      vl::DropCache(state);
      if (rc_p != nullptr) *rc_p = -ENOMEM;
      return vl::kHostOk;
    }
    vl::ReadSection(state, fname, section, rc);
    if (rc != 0) {
      vl::DropCache(state);
      if (rc_p != nullptr) *rc_p = rc;
      return vl::kHostOk;
    }
  }
  if (!vl::WriteXbuf(state, xbuf)) {
    vl::DropCache(state);
    return vl::kHostTooLong;
  }
  return vl::kHostOk;
}
