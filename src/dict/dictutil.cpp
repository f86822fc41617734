// Dialog levels, handles and aliases: the level stack, the catalog check that
// attaches a dictionary to a level, and the dialog ids and aliases that lead back
// to a dictionary and a catalog handle; the frames of variable lists with their
// filters. See dict.h.
//
// Every search goes from the top of the stack down and takes the handles of a
// record newest first. A handle made later therefore always comes first, so the
// indexes keep every candidate and a search takes the one with the highest seq.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "dict.h"
#include "dict_int.h"
#include "format.h"

namespace vl {
namespace {

// Grows a vector's capacity (geometrically) so that one more element fits.
template <typename Vector>
void RoomForOneMore(Vector &v) {
  if (v.size() == v.capacity()) v.reserve(std::max<std::size_t>(8, v.capacity() * 2));
}

// The handle of a list that a search meets first: the one made last.
DlgHandle *Newest(const std::vector<DlgHandle *> &handles) noexcept {
  DlgHandle *best = nullptr;
  for (DlgHandle *h : handles) {
    if (best == nullptr || h->seq > best->seq) best = h;
  }
  return best;
}

// Removes one occurrence of `handle` from the list of `key`, dropping the list
// with its last handle.
void Unindex(HandleIndex &index, std::string_view key, DlgHandle *handle) noexcept {
  HandleList *list = index.Find(key);
  if (list == nullptr) return;
  const auto at = std::find(list->all.rbegin(), list->all.rend(), handle);
  if (at == list->all.rend()) return;
  list->all.erase(std::next(at).base());
  if (list->all.empty()) index.EraseFound(list);
  else list->best = Newest(list->all);
}

// Adds `handle` under `key`; may throw std::bad_alloc with nothing changed.
void Index(HandleIndex &index, std::string_view key, DlgHandle *handle) {
  AllocCheck();
  bool added = false;
  HandleList &list = index.FindOrAdd(key, [&] { return HandleList{std::string(key), nullptr, {}}; }, &added);
  try {
    list.all.push_back(handle);
  } catch (...) {
    if (added) index.Erase(key);
    throw;
  }
  if (list.best == nullptr || handle->seq > list.best->seq) list.best = handle;
}

// The handle a search meets first among those indexed under `id` that `match`
// accepts.
template <typename Match>
DlgHandle *FirstHandle(std::string_view id, Match &&match) noexcept {
  const HandleList *list = Dicts().ids.Find(id);
  if (list == nullptr) return nullptr;
  if (match(*list->best)) return list->best;
  DlgHandle *first = nullptr;
  for (DlgHandle *h : list->all) {
    if ((first == nullptr || h->seq > first->seq) && match(*h)) first = h;
  }
  return first;
}

// The handle whose dialog id (ids[0]) is `id`.
DlgHandle *HandleOfDialogId(std::string_view id) noexcept {
  return FirstHandle(id, [&](const DlgHandle &h) { return EqualNoCase(h.ids[0], id); });
}

// Pops the top record with its handles.
void PopTopRecord() noexcept {
  DictState &state = Dicts();
  DlgLevel &record = *state.dlgLevels.back();
  LevelGroup &group = state.groups.back();
  for (auto h = record.handles.rbegin(); h != record.handles.rend(); ++h) {
    Unindex(group.handles, h->hdl, &*h);
    ForgetHandleIds(*h);
  }
  state.dlgLevels.pop_back();
  if (--group.records == 0) state.groups.pop_back();
}

// Why making a handle failed: its record (1) or its texts (2).
struct HandleOverflow {
  int part;
};

// Makes the handle of one catalog entry in the top record.
void AddDlgHandle(DlgLevel &record, LevelGroup &group, const CatalogEntry &entry) {
  DictState &state = Dicts();
  DlgHandle *handle = nullptr;
  try {
    AllocCheck();
    handle = &record.handles.emplace_back();
  } catch (const std::bad_alloc &) {
    throw HandleOverflow{1};
  }
  try {
    char head[16];
    const int headLength = std::snprintf(head, sizeof head, "D%02d", static_cast<int>(record.level));
    AllocCheck();
    handle->hdl = entry.hdl;
    handle->ids[0].reserve(static_cast<std::size_t>(headLength) + entry.pfx.size());
    handle->ids[0].assign(head, static_cast<std::size_t>(headLength)).append(entry.pfx);
    handle->prefixAt = static_cast<std::size_t>(headLength);
    handle->record = &record;
    handle->seq = ++state.handleSeq;
    Index(group.handles, handle->hdl, handle);
    try {
      Index(state.ids, handle->ids[0], handle);
    } catch (...) {
      Unindex(group.handles, handle->hdl, handle);
      throw;
    }
  } catch (const std::bad_alloc &) {
    record.handles.pop_back();
    throw HandleOverflow{2};
  }
}

// Checks that every field section's prefix names a handle of the top level. The
// distinct prefixes answer when they are all known; otherwise every section is
// walked, so that each bad one is reported in file order.
bool SectionPrefixesKnown(const Dict &dict, const LevelGroup &group) {
  if (!dict.index->sectionWithoutPrefix) {
    bool all = true;
    dict.index->prefixes.ForEach(
        [&](const SameName &dialog) { all = all && group.handles.Find(PrefixKey{}(dialog)) != nullptr; });
    if (all) return true;
  }
  bool known = true;
  std::string_view lastKnown;  // the fields of one dialog usually follow one another
  bool anyKnown = false;
  for (const DictSection *s = dict.sections; s != nullptr; s = s->next) {
    const std::size_t dot = s->section.find('.');
    if (dot == std::string::npos) {
      TraceLine('D', 1, "AddDlgLevel() failed: missing prefix in section '%s'", s->section.c_str());
      known = false;
      continue;
    }
    const std::string_view prefix = std::string_view(s->section).substr(0, dot);
    if (anyKnown && prefix == lastKnown) continue;
    if (group.handles.Find(prefix) != nullptr) {
      lastKnown = prefix;
      anyKnown = true;
    } else {
      TraceLine('D', 1, "AddDlgLevel() failed: prefix '%.*s' not found in catalog, section '%s'",
                static_cast<int>(prefix.size()), prefix.data(), s->section.c_str());
      known = false;
    }
  }
  return known;
}

// The level records are searched from `level` up: a negative level means the
// top's. False, with the note or failure traced, when there is nothing to search.
bool SearchFrom(const char *function, std::int32_t &level) {
  const DictState &state = Dicts();
  if (state.dlgLevels.empty()) {
    TraceLine('D', 2, "%s() note: list is empty", function);
    return false;
  }
  const std::int32_t top = state.dlgLevels.back()->level;
  if (level < 0) level = top;
  if (level > top) {
    TraceLine('D', 1, "%s() failed: level %d does not exist", function, level);
    return false;
  }
  return true;
}

}  // namespace

void ForgetHandleIds(DlgHandle &handle) {
  DictState &state = Dicts();
  for (std::int32_t k = 0; k < handle.id_cnt; ++k) Unindex(state.ids, handle.ids[static_cast<std::size_t>(k)], &handle);
}

Status AddDlgLevel(Dict &dict, std::int32_t level) {
  VL_TRACE_ENTRY('D', "AddDlgLevel");
  TraceLine('D', 3, "AddDlgLevel(level=%d)", level);
  DictState &state = Dicts();
  if (!state.dlgLevels.empty() && level < state.dlgLevels.back()->level) {
    TraceLine('D', 1, "AddDlgLevel() failed: level is out of phase");
    return kReported;
  }
  try {
    AllocCheck();
    auto record = std::make_unique<DlgLevel>();
    record->dict = &dict;
    record->level = level;
    // Room first, so that pushing the record and its group cannot fail half-way.
    RoomForOneMore(state.dlgLevels);
    RoomForOneMore(state.groups);
    if (state.groups.empty() || state.groups.back().level != level) state.groups.emplace_back().level = level;
    ++state.groups.back().records;
    state.dlgLevels.push_back(std::move(record));
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "AddDlgLevel() failed: heap overflow");
    return kNoMemory;
  }
  DlgLevel &record = *state.dlgLevels.back();
  LevelGroup &group = state.groups.back();

  // A dictionary's first attachment (and its first re-open) checks its catalog.
  const bool firstUse = dict.kind == kDictOrdinary && dict.instance_cnt == 1;
  bool failed = false;
  try {
    for (const CatalogEntry &entry : dict.catalog) {
      if (firstUse && entry.hdl.empty()) {
        TraceLine('D', 1, "AddDlgLevel() failed: missing catalog handle");
        failed = true;
      } else if (firstUse && entry.pfx.empty()) {
        TraceLine('D', 1, "AddDlgLevel() failed: missing catalog prefix [%s=]", entry.hdl.c_str());
        failed = true;
      }
      AddDlgHandle(record, group, entry);
    }
  } catch (const HandleOverflow &overflow) {
    TraceLine('D', 1, "AddDlgHandle() failed: heap overflow (%d)", overflow.part);
    PopTopRecord();
    return kNoMemory;
  }
  if (firstUse && !SectionPrefixesKnown(dict, group)) failed = true;
  if (failed) {
    // Only the record made here goes: records that other dictionaries put on
    // the same level stay with their handles.
    PopTopRecord();
    return kReported;
  }
  return kOk;
}

void FreeDlgLevel(std::int32_t level) {
  DictState &state = Dicts();
  while (!state.dlgLevels.empty() && (level < 0 || state.dlgLevels.back()->level >= level)) PopTopRecord();
}

std::size_t DlgLevelCount() noexcept { return Dicts().dlgLevels.size(); }

Dict *GetDlgDict(std::int32_t level, std::size_t n) {
  if (!SearchFrom("GetDlgDict", level)) return nullptr;
  const DictState &state = Dicts();
  for (auto r = state.dlgLevels.rbegin(); r != state.dlgLevels.rend() && (*r)->level >= level; ++r) {
    if (n-- == 0) return (*r)->dict;
  }
  return nullptr;
}

Status GetDlgID(std::string_view dict_id, std::int32_t level, std::int32_t n, std::string &name, std::string &id) {
  if (!SearchFrom("GetDlgID", level)) return kNothing;
  const DictState &state = Dicts();
  auto left = static_cast<std::size_t>(std::max(n, 0));
  for (auto r = state.dlgLevels.rbegin(); r != state.dlgLevels.rend() && (*r)->level >= level; ++r) {
    const DlgLevel &record = **r;
    if (TraceWanted('D', 3)) {
      TraceLine('D', 3, "GetDlgID(): level %d, dict_id '%.*s', record of dict '%s'", level,
                static_cast<int>(dict_id.size()), dict_id.data(), record.dict->id.c_str());
    }
    if (!dict_id.empty() && !EqualNoCase(record.dict->id, dict_id)) continue;
    if (n < 0) continue;  // no handle has a negative index; every record is still examined
    if (left >= record.handles.size()) {
      left -= record.handles.size();
      continue;
    }
    // Handles are searched newest first.
    const DlgHandle &handle = record.handles[record.handles.size() - 1 - left];
    try {
      id = handle.ids[0];
      name = handle.ids[0].substr(std::min(handle.prefixAt, handle.ids[0].size()));
    } catch (const std::bad_alloc &) {
      return kNoMemory;
    }
    return kOk;
  }
  return kNothing;
}

DlgHandle *FindDlgID(std::string_view id) noexcept {
  const HandleList *list = Dicts().ids.Find(id);
  return list != nullptr ? list->best : nullptr;
}

const std::string *MapDlgHandle(std::string_view hdl) noexcept {
  const DictState &state = Dicts();
  if (state.groups.empty()) return nullptr;
  const HandleList *list = state.groups.back().handles.Find(hdl);
  return list != nullptr ? &list->best->ids[0] : nullptr;
}

Status NewDlgAlias(std::string_view id, std::string &alias) {
  if (TraceWanted('D', 3)) TraceLine('D', 3, "NewDlgAlias(id = %.*s)", static_cast<int>(id.size()), id.data());
  DlgHandle *handle = HandleOfDialogId(id);
  if (handle == nullptr) {
    TraceLine('D', 1, "NewDlgAlias(): DlgID %.*s not found", static_cast<int>(id.size()), id.data());
    return kReported;
  }
  if (handle->id_cnt >= MAX_ID_CNT) {
    TraceLine('D', 1, "NewDlgAlias(): MAX_ID_CNT = %d", MAX_ID_CNT);
    return kNothing;
  }
  try {
    AllocCheck();
    std::string text(id);
    text += '_';
    text += std::to_string(handle->id_cnt);
    alias = text;
    Index(Dicts().ids, text, handle);
    handle->ids[static_cast<std::size_t>(handle->id_cnt++)] = std::move(text);
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "NewDlgAlias(): Memory allocation failed");
    return kNoMemory;
  }
  TraceLine('D', 3, "NewDlgAlias(): alias = %s", alias.c_str());
  return kOk;
}

Status GetDlgAlias(std::string_view id, std::int32_t n, std::string &alias) {
  const DlgHandle *handle = HandleOfDialogId(id);
  if (handle == nullptr) {
    TraceLine('D', 1, "GetDlgAlias(): DlgID %.*s does not exist", static_cast<int>(id.size()), id.data());
    return kReported;
  }
  if (n < 1 || n >= handle->id_cnt) {
    TraceLine('D', 2, "GetDlgAlias(): id_cnt = %d", handle->id_cnt);
    return kNothing;
  }
  try {
    alias = handle->ids[static_cast<std::size_t>(n)];
  } catch (const std::bad_alloc &) {
    return kNoMemory;
  }
  TraceLine('D', 3, "GetDlgAlias(): alias = %s", alias.c_str());
  return kOk;
}

Status DelDlgAlias(std::string_view aliasID) {
  if (TraceWanted('D', 3)) {
    TraceLine('D', 3, "DelDlgAlias(aliasID = %.*s)", static_cast<int>(aliasID.size()), aliasID.data());
  }
  const auto isAlias = [&](const DlgHandle &h) {
    for (std::int32_t k = 1; k < h.id_cnt; ++k) {
      if (EqualNoCase(h.ids[static_cast<std::size_t>(k)], aliasID)) return true;
    }
    return false;
  };
  DlgHandle *handle = FirstHandle(aliasID, isAlias);
  if (handle == nullptr) {
    TraceLine('D', 1, "DelDlgAlias(): aliasID %.*s not found", static_cast<int>(aliasID.size()), aliasID.data());
    return kReported;
  }
  std::int32_t k = 1;
  while (!EqualNoCase(handle->ids[static_cast<std::size_t>(k)], aliasID)) ++k;
  Unindex(Dicts().ids, handle->ids[static_cast<std::size_t>(k)], handle);
  for (; k + 1 < handle->id_cnt; ++k) {
    handle->ids[static_cast<std::size_t>(k)] = std::move(handle->ids[static_cast<std::size_t>(k + 1)]);
  }
  std::string().swap(handle->ids[static_cast<std::size_t>(--handle->id_cnt)]);
  return kOk;
}

// ---------------------------------------------------------------------------
// Variable frames
// ---------------------------------------------------------------------------

// Created on first use: clang cannot constant-initialise the strings of
// libstdc++'s std::string (compilers that can still do so need no guard).
VarStackState &VarStack() {
  static VarStackState stack;
  return stack;
}

void ResetVarStackForTest() {
  VarStackState &stack = VarStack();
  stack.current = VarFrame{};
  for (VarFrame &frame : stack.saved) frame = VarFrame{};
  stack.depth = 0;
}
VL_STATE_RESET(ResetVarStackForTest);

int VarDepth() noexcept { return VarStack().depth; }

void DropFrameVars(const Dict &dict) noexcept {
  VarStackState &stack = VarStack();
  for (int level = 0; level <= stack.depth; ++level) {
    VarFrame &frame = level == stack.depth ? stack.current : stack.saved[static_cast<std::size_t>(level)];
    if (std::find(frame.dicts.begin(), frame.dicts.end(), &dict) == frame.dicts.end()) continue;
    TraceLine('D', 2, "FreeDict(id='%s') warning: filter frame at level %d emptied", dict.id.c_str(), level);
    frame = VarFrame{};
  }
}

Status VarPush() {
  VarStackState &stack = VarStack();
  if (stack.depth == kVarStackDepth) {
    TraceLine('D', 1, "VarPush() failed: stack overflow, level=%d", stack.depth);
    return kNoMemory;
  }
  stack.saved[static_cast<std::size_t>(stack.depth++)] = std::move(stack.current);
  stack.current = VarFrame{};
  TraceLine('D', 3, "VarPush(): stack level = %d", stack.depth);
  return kOk;
}

Status VarPop() {
  VarStackState &stack = VarStack();
  if (stack.depth == 0) {
    TraceLine('D', 1, "VarPop() failed: stack underflow, level=%d", stack.depth);
    return kReported;
  }
  VarFrame &saved = stack.saved[static_cast<std::size_t>(--stack.depth)];
  stack.current = std::move(saved);
  saved = VarFrame{};
  TraceLine('D', 3, "VarPop(): stack level = %d", stack.depth);
  return kOk;
}

Status VarFree() {
  VarStack().current = VarFrame{};
  return VarPop();
}

namespace {

// The field section `name` of `dict` for AddVar. While the entries come in the
// order of the dictionary, the dialog's section after the one found last is
// tried first: it is the first of its name when no name repeats.
DictSection *FindField(VarFrame &frame, const Dict &dict, std::string_view hdl, std::string_view name) {
  DictSection *next = !frame.inOrder        ? nullptr
                      : frame.foundIn == &dict ? frame.found->nextInDialog
                                               : FirstDialogSection(dict, hdl);
  if (next != nullptr && !dict.index->repeatedName && EqualNoCase(next->section, name)) return next;
  frame.inOrder = false;
  return FindSection(dict, name);
}

// The first variable of `section` in the frame's list, or kNoVar. While the
// entries come in the order of a list that holds each section once, the
// variable after the one set last is tried first; otherwise the index of the
// list's sections answers, built at its first use. May throw std::bad_alloc.
std::size_t FindVar(VarFrame &frame, const DictSection *section) {
  const std::size_t next = frame.updated < frame.varList.size() ? frame.updated : 0;
  if (frame.inOrder && frame.distinct && next < frame.varList.size() && frame.varList[next].section == section) {
    return next;
  }
  frame.inOrder = false;
  if (!frame.indexed) {
    frame.bySection.Reserve(frame.varList.size() + 1);
    for (std::size_t i = 0; i < frame.varList.size(); ++i) frame.bySection.Add(i, frame.varList);
    frame.indexed = true;
  }
  return frame.bySection.Find(section, frame.varList);
}

// AddVar, where `found`, when not null, holds the section of the entry's name
// (or null: none) as FindField would find it, looked up ahead by the caller.
Status AddVarFound(const Dict &dict, const XbufEntry &entry, DictSection *section, std::string_view hdl, int mode,
                   DictSection *const *found) {
  VarStackState &stack = VarStack();
  VarFrame &frame = stack.current;
  const bool byName = section == nullptr;
  const char *field = nullptr;  // the field name, for the trace
  if (!byName) {
    field = section->section.c_str() + std::min(hdl.size() + 1, section->section.size());
  } else {
    // The section looked for: the field name behind the handle and a dot.
    std::string &name = stack.sectionName;
    try {
      AllocCheck();
      name.assign(hdl).append(1, '.').append(entry.name);
      if (entry.indexed) name.append("__").append(std::to_string(entry.index));
    } catch (const std::bad_alloc &) {
      TraceLine('D', 1, "AddVar(%s) failed: heap overflow (1)", entry.name.c_str());
      return kNoMemory;
    }
    field = name.c_str() + hdl.size() + 1;
    section = found != nullptr ? *found : FindField(frame, dict, hdl, name);
    if (section == nullptr) {
      TraceLine('D', 3, "AddVar(%s): not found in dict", field);
      return kOk;
    }
  }

  std::size_t at = kNoVar;
  try {
    if (mode == 1) at = FindVar(frame, section);
    if (at == kNoVar) {
      AllocCheck();
      if (std::find(frame.dicts.begin(), frame.dicts.end(), &dict) == frame.dicts.end()) frame.dicts.push_back(&dict);
      frame.varList.push_back(Var{section, {}});
      if (frame.indexed) {
        try {
          frame.bySection.Add(frame.varList.size() - 1, frame.varList);
        } catch (...) {
          frame.varList.pop_back();
          throw;
        }
      }
      // A name may come twice; a section found by FindVar, or walked, once.
      if (mode != 1 && byName) frame.distinct = false;
    }
  } catch (const std::bad_alloc &) {
    // An index that could not be completed is built again at its next use.
    frame.bySection = SectionVars{};
    frame.indexed = false;
    TraceLine('D', 1, "AddVar(%s) failed: heap overflow (1)", field);
    return kNoMemory;
  }
  const bool reused = at != kNoVar;
  if (!reused) at = frame.varList.size() - 1;

  Var &var = frame.varList[at];
  try {
    AllocCheck();
    var.value.assign(entry.value != nullptr ? entry.value : "", entry.value != nullptr ? entry.valueLength : 0);
  } catch (const std::bad_alloc &) {
    std::string().swap(var.value);
    TraceLine('D', 1, "AddVar(%s) failed: heap overflow (2)", field);
    return kNoMemory;
  }
  frame.updated = at + 1;
  frame.foundIn = &dict;
  frame.found = section;
  TraceLine('D', 3, "AddVar(%s): %s", field, reused ? "value replaced" : "added to list");
  return kOk;
}

}  // namespace

Status AddVar(const Dict &dict, const XbufEntry &entry, DictSection *section, std::string_view hdl, int mode) {
  return AddVarFound(dict, entry, section, hdl, mode, nullptr);
}

namespace {

// Entries of an XBUF read ahead, once they come out of the dictionary's order:
// each entry's section, and its variable in the list, lies anywhere in memory,
// so the look-ups of a group of entries are made together, each step
// prefetching what the next one reads, and their cache misses overlap instead of
// following one another. The variables are then added one by one, as AddVar
// adds them.
constexpr std::size_t kReadAhead = 16;
constexpr std::size_t kAheadNameMax = 192;  // a longer name is looked up by AddVar

struct AheadEntry {
  XbufEntry entry;
  char name[kAheadNameMax];    // the section looked for, as AddVar names it
  std::size_t nameLength = 0;  // 0: not looked up ahead
  std::uint32_t tag = 0;
  DictSection *section = nullptr;
};

// Writes the section name AddVar looks for into `ahead.name`; false when it
// does not fit.
bool AheadName(AheadEntry &ahead, std::string_view hdl) {
  char index[16];
  std::size_t indexLength = 0;
  if (ahead.entry.indexed) {
    const auto [end, ec] = std::to_chars(index, index + sizeof index, ahead.entry.index);
    indexLength = static_cast<std::size_t>(end - index);
  }
  const std::string_view field = ahead.entry.name;
  const std::size_t length = hdl.size() + 1 + field.size() + (ahead.entry.indexed ? 2 + indexLength : 0);
  if (length > kAheadNameMax) return false;
  char *out = ahead.name;
  out = std::copy(hdl.begin(), hdl.end(), out);
  *out++ = '.';
  out = std::copy(field.begin(), field.end(), out);
  if (ahead.entry.indexed) {
    *out++ = '_';
    *out++ = '_';
    out = std::copy(index, index + indexLength, out);
  }
  ahead.nameLength = length;
  return true;
}

// Adds the variables of the entries from `offset` to the end of the XBUF, the
// frame's entries being out of order: VarXBUF's loop, reading ahead.
Status AddReadingAhead(const Dict &dict, std::string_view hdl, std::string_view xbuf, std::size_t offset, int mode) {
  VarFrame &frame = VarStack().current;
  auto &sections = dict.index->sections;
  std::array<AheadEntry, kReadAhead> ahead;
  for (;;) {
    std::size_t count = 0;
    int corrupt = 0;
    std::size_t corruptAt = 0;
    while (count < kReadAhead && offset < xbuf.size() && xbuf[offset] != '$') {
      AheadEntry &a = ahead[count];
      corruptAt = offset;
      if ((corrupt = ReadXbufEntry(xbuf, offset, a.entry)) != 0) break;
      a.nameLength = 0;
      if (AheadName(a, hdl)) {
        a.tag = sections.Tag(std::string_view(a.name, a.nameLength));
        sections.PrefetchSlot(a.tag);
      }
      ++count;
    }
    const bool byIndex = mode == 1 && frame.indexed;
    for (std::size_t i = 0; i < count; ++i) {
      AheadEntry &a = ahead[i];
      if (a.nameLength == 0) continue;
      const SameName *same = sections.Find(std::string_view(a.name, a.nameLength), a.tag);
      a.section = same != nullptr ? same->first : nullptr;
      if (byIndex && a.section != nullptr) frame.bySection.PrefetchSlot(a.section);
    }
    for (std::size_t i = 0; byIndex && i < count; ++i) {
      if (ahead[i].section != nullptr) frame.bySection.PrefetchVar(ahead[i].section, frame.varList);
    }
    for (std::size_t i = 0; i < count; ++i) {
      AheadEntry &a = ahead[i];
      const Status added = AddVarFound(dict, a.entry, nullptr, hdl, mode, a.nameLength != 0 ? &a.section : nullptr);
      if (added != kOk) return added;
    }
    if (corrupt != 0) {
      TraceLine('D', 1, "VarXBUF(): buffer corrupt (%d), offset=%d", corrupt, static_cast<int>(corruptAt));
      return kCorruptXbuf;
    }
    if (count < kReadAhead) return kOk;
  }
}

// The dialog that `dlgID` names, for `function`'s message when it is unknown.
const DlgHandle *ResolveDlgID(const char *function, const char *dlgID) {
  const DlgHandle *handle = FindDlgID(OrEmpty(dlgID));
  if (handle == nullptr) TraceLine('D', 1, "%s(): unknown dlgID [%s]", function, OrEmpty(dlgID));
  return handle;
}

}  // namespace

Status VarXBUF(const char *dlgID, std::string_view xbuf, int mode) {
  const DlgHandle *handle = ResolveDlgID("VarXBUF", dlgID);
  if (handle == nullptr) return kReported;
  const Dict &dict = *handle->record->dict;
  VarFrame &frame = VarStack().current;
  frame.inOrder = true;
  frame.updated = 0;
  frame.foundIn = nullptr;
  std::size_t offset = 0;
  XbufEntry entry;
  try {
    while (offset < xbuf.size() && xbuf[offset] != '$') {
      if (!frame.inOrder) {
        if (const Status added = AddReadingAhead(dict, handle->hdl, xbuf, offset, mode); added != kOk) return added;
        break;
      }
      const std::size_t at = offset;
      if (const int corrupt = ReadXbufEntry(xbuf, offset, entry); corrupt != 0) {
        TraceLine('D', 1, "VarXBUF(): buffer corrupt (%d), offset=%d", corrupt, static_cast<int>(at));
        return kCorruptXbuf;
      }
      if (const Status added = AddVar(dict, entry, nullptr, handle->hdl, mode); added != kOk) return added;
    }
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "VarXBUF() failed: heap overflow");
    return kNoMemory;
  }
  if (VarStack().current.varList.empty()) {
    TraceLine('D', 2, "VarXBUF() warning: no variable added");
    return kNothing;
  }
  return kOk;
}

namespace {

// Pushes a frame and fills it with `fill`. A failure frees the new frame again;
// a list left empty is popped, with "<function>() warning: no variable added"
// unless `fill` said so itself (kNothing), and gives kNothing.
template <typename Fill>
Status InitFrame(const char *function, Fill &&fill) {
  if (const Status pushed = VarPush(); pushed != kOk) return pushed;
  Status filled = kOk;
  try {
    filled = fill();
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "%s() failed: heap overflow", function);
    filled = kNoMemory;
  }
  if (filled != kOk && filled != kNothing) {
    (void)VarFree();
    return filled;
  }
  if (!VarStack().current.varList.empty()) return kOk;
  (void)VarPop();
  if (filled == kOk) TraceLine('D', 2, "%s() warning: no variable added", function);
  return kNothing;
}

}  // namespace

Status VarInitXBUF(const char *dlgID, std::string_view xbuf) {
  return InitFrame("VarInitXBUF", [&] { return VarXBUF(dlgID, xbuf, 0); });
}

Status VarUpdateXBUF(const char *dlgID, std::string_view xbuf) { return VarXBUF(dlgID, xbuf, 1); }

namespace {

// An entry that names a field without a value.
XbufEntry NameEntry(std::string_view name) {
  XbufEntry entry;
  AllocCheck();
  entry.name.assign(name);
  entry.type = kXbufText;
  return entry;
}

// Fills the new frame of VarInitLIST: kOk, or a failure after its trace line.
Status ListVars(const Dict &dict, std::string_view hdl, std::string_view list) {
  if (list == "*") {
    const XbufEntry noValue;
    for (DictSection *s = FirstDialogSection(dict, hdl); s != nullptr; s = NextDialogSection(*s, hdl)) {
      if (s->section.size() - hdl.size() - 1 > kFieldNameMax) {
        TraceLine('D', 1, "VarInitLIST(): field name too long, section [%s]", s->section.c_str());
        return kReported;
      }
      if (const Status added = AddVar(dict, noValue, s, hdl, 0); added != kOk) return added;
    }
    return kOk;
  }
  std::size_t i = 0;
  for (;;) {
    const std::size_t start = i;
    while (i < list.size() && list[i] != ',' && list[i] != '$') {
      if (i - start == kFieldNameMax) {
        TraceLine('D', 1, "VarInitLIST(): field name too long, offset=%d", static_cast<int>(i));
        return kReported;
      }
      ++i;
    }
    const std::string_view name = list.substr(start, i - start);
    if (i < list.size() && list[i] == '$' && ++i < list.size() && list[i] != ',') {
      TraceLine('D', 1, "VarInitLIST(): buffer corrupt, offset=%d", static_cast<int>(i));
      return kReported;
    }
    if (!name.empty()) {
      if (const Status added = AddVar(dict, NameEntry(name), nullptr, hdl, 0); added != kOk) return added;
    }
    if (i >= list.size()) return kOk;
    ++i;  // the ","
  }
}

}  // namespace

Status VarInitLIST(const char *dlgID, const char *list) {
  const DlgHandle *handle = ResolveDlgID("VarInitLIST", dlgID);
  if (handle == nullptr) return kReported;
  return InitFrame("VarInitLIST", [&] { return ListVars(*handle->record->dict, handle->hdl, OrEmpty(list)); });
}

Status VarInitONE(const char *dlgID, const char *name, const char *value) {
  const DlgHandle *handle = ResolveDlgID("VarInitONE", dlgID);
  if (handle == nullptr) return kReported;
  const std::string_view field = OrEmpty(name);
  // The name goes into an entry of at most kFieldNameMax characters.
  if (field.size() > kFieldNameMax) {
    TraceLine('D', 1, "VarInitONE(): field name too long [%s]", OrEmpty(name));
    return kReported;
  }
  return InitFrame("VarInitONE", [&] {
    XbufEntry entry = NameEntry(field);
    entry.value = OrEmpty(value);
    entry.valueLength = std::strlen(entry.value);
    return AddVar(*handle->record->dict, entry, nullptr, handle->hdl, 0);
  });
}

// ---------------------------------------------------------------------------
// Filters and the walk
// ---------------------------------------------------------------------------

namespace {

// Today's local date and time by the clock seam.
std::tm LocalNow() {
  const std::time_t now = Now();
  std::tm tm{};
  localtime_r(&now, &tm);
  tm.tm_isdst = 0;
  return tm;
}

// The integer part of a bound, held within the range of a 32-bit integer.
std::int64_t BoundInt(double bound) noexcept {
  if (!(bound == bound)) return 0;
  return static_cast<std::int64_t>(std::clamp(bound, -2147483648.0, 2147483647.0));
}

// The value's text formatted by its field's definition into `out`; false when
// the field type leaves the value as it is.
bool FormatValue(const DictObj &obj, std::string_view value, FieldText &out) {
  const char *format = obj.fieldFormat.c_str();
  const int len = obj.length;
  switch (obj.fldType) {
    case FT_N: FldFmtNum(out, LeadingNumber(value), len, obj.precision, format); return true;
    case FT_D:
      if (EqualNoCase(value, "$DATE")) FmtDate(out, LocalNow(), len, format);
      else FldFmtDate(out, LeadingInt(value), EqualNoCase(obj.valType, "GREG"), len, format);
      return true;
    case FT_Z: {
      std::int64_t hundredths = 0;
      if (EqualNoCase(value, "$TIME")) {
        const std::tm now = LocalNow();
        hundredths = now.tm_hour * 100 + (now.tm_min * 100 + 50) / 60;
      } else {
        hundredths = LeadingInt(value);
      }
      if (EqualNoCase(obj.valType, "HM60")) FldFmtTime(out, hundredths * 36, len, format);
      else FldFmtNum(out, static_cast<double>(hundredths) / 100, len, obj.precision, format);
      return true;
    }
    case FT_M: FldFmtMonth(out, LeadingInt(value), len, format); return true;
    case FT_K:
      if (!EqualNoCase(value, "$DATE")) {
        FldFmtWeek(out, LeadingInt(value), len, obj.valType.c_str(), format);
      } else if (obj.fieldFormat.empty()) {
        const LanguageInfo &info = Locale().LangInfo;
        const bool week = EqualNoCase(obj.valType, "KW");
        const int defaultLen = week ? info.weekLength : info.dateLengthYmd;
        FmtDate(out, LocalNow(), len != 0 ? len : defaultLen, week ? info.weekFormat.c_str() : info.dateFormatYmd.c_str());
      } else {
        FmtDate(out, LocalNow(), len, format);
      }
      return true;
    case FT_T:
    case FT_U: FldFmtText(out, value, len, format); return true;
    case FT_CB:
    case FT_RB:
    case FT_LB: {
      std::int64_t n = LeadingInt(value);
      const std::int64_t minimum = BoundInt(obj.minimum);
      const std::int64_t maximum = BoundInt(obj.maximum);
      if (obj.fldType != FT_CB) n = std::max(n, minimum);
      if (obj.fldType == FT_LB) n = n - minimum + 1;
      if (obj.fldType != FT_CB && obj.maximum != 0) n = std::min(n, maximum);
      char digits[24];
      const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, n);
      out.Assign(std::string_view(digits, static_cast<std::size_t>(end - digits)));
      return true;
    }
    default: return false;  // XB keeps its value; MT and unknown types are left alone
  }
}

int FormatFilter(Var &var) {
  FieldText text;
  if (!FormatValue(var.section->obj, var.value, text)) return kOk;
  return VarSetCurrValue(text.view());
}

int FmtHookFilter(Var &var) { return var.section->obj.fldType == FT_NONE ? 0 : 2; }

int DefHookFilter(Var &var) {
  if (const Status set = VarSetCurrValue(var.section->obj.defValue); set != kOk) return set;
  return !var.section->obj.defValue.empty() && var.section->obj.defValue[0] == '$' ? 0 : 2;
}

int OutHookFilter(Var &var) { return var.section->obj.output.empty() ? 2 : 0; }
int LoadHookFilter(Var &var) { return var.section->obj.load.empty() ? 2 : 0; }
int InitHookFilter(Var &var) { return var.section->obj.init.empty() ? 2 : 0; }

struct NamedFilter {
  const char *name;
  VarFilter filter;
};
constexpr std::array<NamedFilter, 6> kFilters{{
    {"format", &FormatFilter},
    {"fmt_hook", &FmtHookFilter},
    {"def_hook", &DefHookFilter},
    {"out_hook", &OutHookFilter},
    {"load_hook", &LoadHookFilter},
    {"init_hook", &InitHookFilter},
}};

// The current variable, or null after "<function>(): currVar not set".
Var *CurrentVar(const char *function) {
  VarFrame &frame = VarStack().current;
  if (frame.currVar != kNoVar) return &frame.varList[frame.currVar];
  TraceLine('D', 1, "%s(): currVar not set", function);
  return nullptr;
}

}  // namespace

Status VarInitAccess(const char *filterName) {
  filterName = OrEmpty(filterName);
  TraceLine('D', 3, "VarInitAccess(filterName='%s')", filterName);
  VarFrame &frame = VarStack().current;
  frame.currVar = frame.nextVar = kNoVar;
  frame.pastEnd = false;
  if (*filterName != '\0') {
    const auto found = std::find_if(kFilters.begin(), kFilters.end(),
                                    [&](const NamedFilter &f) { return EqualNoCase(f.name, filterName); });
    if (found == kFilters.end()) {
      TraceLine('D', 1, "VarInitAccess(): filter '%s' not found", filterName);
      return kReported;
    }
    frame.filter = found->filter;
    TraceLine('D', 3, "VarInitAccess(): filter '%s' enabled", filterName);
  } else {
    frame.filter = nullptr;
    TraceLine('D', 3, "VarInitAccess(): filter disabled");
  }
  if (!frame.varList.empty()) frame.currVar = frame.nextVar = 0;
  return kOk;
}

Status VarGetNext() {
  VarFrame &frame = VarStack().current;
  if (frame.pastEnd) return kNothing;
  if (frame.currVar == kNoVar) {
    TraceLine('D', 1, "VarGetNext(): currVar not set");
    return kReported;
  }
  for (;;) {
    frame.currVar = frame.nextVar;
    if (frame.currVar == kNoVar) {
      frame.pastEnd = true;
      return kNothing;
    }
    frame.nextVar = frame.currVar + 1 < frame.varList.size() ? frame.currVar + 1 : kNoVar;
    // The section of the variable after it, read by the next call.
    if (frame.nextVar != kNoVar) PrefetchSection(frame.varList[frame.nextVar].section, frame.filter != nullptr);
    if (frame.filter == nullptr) return kOk;
    const int taken = frame.filter(frame.varList[frame.currVar]);
    if (taken == 0) return kOk;
    if (taken != 2) {
      (void)VarFree();
      return static_cast<Status>(taken);
    }
  }
}

const DictSection *VarCurrSection() {
  const Var *var = CurrentVar("VarCurrSection");
  return var != nullptr ? var->section : nullptr;
}

bool VarCurrValue(std::string_view &value) {
  const Var *var = CurrentVar("VarCurrValue");
  if (var == nullptr) return false;
  value = var->value;
  return true;
}

Status VarSetCurrValue(std::string_view text) {
  if (TraceWanted('D', 3)) TraceLine('D', 3, "VarSetCurrValue(%.*s)", static_cast<int>(text.size()), text.data());
  Var *var = CurrentVar("VarSetCurrValue");
  if (var == nullptr) return kReported;
  try {
    AllocCheck();
    var->value.assign(text);  // in place, also when `text` views the value itself
  } catch (const std::bad_alloc &) {
    std::string().swap(var->value);
    TraceLine('D', 1, "VarSetCurrValue(%s) failed: heap overflow", var->section->section.c_str());
    return kNoMemory;
  }
  return kOk;
}

Status VarRealName(const DictSection &section, std::string &name, std::int32_t &index) {
  const std::size_t dot = section.section.find('.');
  if (dot == std::string::npos) {
    TraceLine('D', 1, "VarRealName(): invalid section name [%s]", section.section.c_str());
    return kReported;
  }
  std::string_view field = std::string_view(section.section).substr(dot + 1);
  index = 0;
  std::size_t digits = field.size();
  while (digits > 0 && field[digits - 1] >= '0' && field[digits - 1] <= '9') --digits;
  // Nine digits at most: an index the XBUF readers take back.
  if (digits < field.size() && field.size() - digits <= 9 && digits >= 3 && field.substr(digits - 2, 2) == "__") {
    for (std::size_t i = digits; i < field.size(); ++i) index = index * 10 + (field[i] - '0');
    field = field.substr(0, digits - 2);
  }
  AllocCheck();
  name.assign(field);
  return kOk;
}

Status VarWriteXBUF(char *xbuf, std::size_t room, std::size_t &length) {
  length = 0;
  XbufWriter writer(xbuf, xbuf != nullptr ? room : 0);
  std::string name;
  std::int32_t index = 0;
  for (const Var &var : VarStack().current.varList) {
    try {
      if (VarRealName(*var.section, name, index) != kOk) return kReported;
    } catch (const std::bad_alloc &) {
      TraceLine('D', 1, "VarWriteXBUF() failed: heap overflow");
      return kNoMemory;
    }
    const std::int32_t type = var.section->obj.fldType;
    const bool numeric = (type >= FT_N && type <= FT_K) || (type >= FT_CB && type <= FT_LB);
    if (!writer.Head("", name, numeric ? 'N' : 'X', index) || !writer.Value(var.value)) return kTooSmall;
  }
  if (!writer.End()) return kTooSmall;
  length = writer.Length();
  return kOk;
}

}  // namespace vl
