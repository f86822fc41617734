// Dialog levels, handles and aliases: the level stack, the catalog check that
// attaches a dictionary to a level, and the dialog ids and aliases that lead back
// to a dictionary and a catalog handle. See dict.h.
//
// Every search goes from the top of the stack down and takes the handles of a
// record newest first. A handle made later therefore always comes first, so the
// indexes keep every candidate and a search takes the one with the highest seq.
#include <algorithm>
#include <cstdio>

#include "dict.h"
#include "dict_int.h"

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
    dict.index->prefixes.ForEach([&](std::string_view prefix) { all = all && group.handles.Find(prefix) != nullptr; });
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
  if (n < 0) return kNothing;
  auto left = static_cast<std::size_t>(n);
  for (auto r = state.dlgLevels.rbegin(); r != state.dlgLevels.rend() && (*r)->level >= level; ++r) {
    const DlgLevel &record = **r;
    if (TraceWanted('D', 3)) {
      TraceLine('D', 3, "GetDlgID(): level %d, dict_id '%.*s', record of dict '%s'", level,
                static_cast<int>(dict_id.size()), dict_id.data(), record.dict->id.c_str());
    }
    if (!dict_id.empty() && !EqualNoCase(record.dict->id, dict_id)) continue;
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

}  // namespace vl
