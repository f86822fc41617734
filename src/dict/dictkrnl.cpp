// Dictionary management: the records of open dictionaries and dictList, look-ups
// by name, the loaders (OpenDict for the module, CheckDict for the checker, one
// reading code with two behaviours), model inheritance, closing and freeing, and
// a whole dictionary packed into the CSDX stream, derived dictionaries with the
// field updates they serve, and the listing of dict_Dump. See dict.h.
#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "buffers.h"
#include "dict.h"
#include "dict_int.h"
#include "ini.h"

namespace vl {

DictState &Dicts() {
  static DictState state;
  return state;
}

Dict::Dict() : index(std::make_unique<DictIndexes>()) {}
Dict::~Dict() = default;

DictSection &SectionStore::emplace_back() {
  if (blocks_.empty() || blocks_.back().used == blocks_.back().capacity) {
    const std::size_t capacity = blocks_.empty() ? 8 : std::min<std::size_t>(blocks_.back().capacity * 2, 256);
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(Block{std::make_unique<DictSection[]>(capacity), capacity, 0});
  }
  Block &block = blocks_.back();
  ++size_;
  return block.sections[block.used++];
}

void SectionStore::pop_back() noexcept {
  Block &block = blocks_.back();
  block.sections[--block.used] = DictSection{};
  --size_;
}

void SectionStore::clear() noexcept {
  std::vector<Block>().swap(blocks_);
  size_ = 0;
}

// ---------------------------------------------------------------------------
// Building a dictionary
// ---------------------------------------------------------------------------

DictSection &AppendSection(Dict &dict, std::string_view name) {
  AllocCheck();
  DictSection &section = dict.store.emplace_back();
  DictIndexes &index = *dict.index;
  std::string_view newPrefix;  // a prefix this section is the first to have
  bool isNewPrefix = false;
  try {
    AllocCheck();
    section.section = LowerAscii(name);
    // The indexes keep views of the section's own name, which never moves.
    const std::string_view full = section.section;
    const std::size_t dot = full.find('.');
    SameName *dialog = nullptr;
    if (dot == std::string_view::npos) {
      index.sectionWithoutPrefix = true;
    } else {
      bool added = false;
      const std::string_view prefix = full.substr(0, dot);
      dialog = &index.prefixes.FindOrAdd(prefix, [&] { return SameName{&section, &section}; }, &added);
      if (added) newPrefix = prefix;
      isNewPrefix = added;
    }
    bool added = false;
    SameName &same = index.sections.FindOrAdd(full, [&] { return SameName{&section, &section}; }, &added);
    if (!added) {
      same.last->nextSame = &section;
      same.last = &section;
      index.repeatedName = true;
    }
    if (dialog != nullptr && !isNewPrefix) {
      dialog->last->nextInDialog = &section;
      section.prevInDialog = dialog->last;
      dialog->last = &section;
    }
  } catch (...) {
    if (isNewPrefix) index.prefixes.Erase(newPrefix);
    dict.store.pop_back();
    throw;
  }
  if (dict.lastSection != nullptr) dict.lastSection->next = &section;
  else dict.sections = &section;
  dict.lastSection = &section;
  return section;
}

Status RemoveSection(Dict &dict, DictSection &section, DictSection *before) noexcept {
  if (dict.sections == &section) {
    before = nullptr;
  } else if (before == nullptr || before->next != &section) {
    before = dict.sections;
    while (before != nullptr && before->next != &section) before = before->next;
    if (before == nullptr) return kNothing;
  }
  (before != nullptr ? before->next : dict.sections) = section.next;
  if (dict.lastSection == &section) dict.lastSection = before;
  if (dict.cursor == &section) dict.cursor = before;

  // Sections of one name follow nextSame from the first; a repeated name is rare,
  // so the chain is short.
  if (SameName *same = dict.index->sections.Find(section.section)) {
    if (same->first == &section) {
      if (dict.kind == kDictModel && dict.linked) {
        auto &models = Dicts().modelSections;
        if (const auto found = models.find(section.section); found != models.end()) {
          auto &firsts = found->second;
          const auto at = std::find(firsts.begin(), firsts.end(), &section);
          if (at != firsts.end() && section.nextSame != nullptr) *at = section.nextSame;
          else if (at != firsts.end()) firsts.erase(at);
          if (firsts.empty()) models.erase(found);
        }
      }
      if (section.nextSame == nullptr) {
        dict.index->sections.EraseFound(same);
      } else {
        same->first = section.nextSame;
      }
    } else {
      DictSection *earlier = same->first;
      while (earlier != nullptr && earlier->nextSame != &section) earlier = earlier->nextSame;
      if (earlier != nullptr) earlier->nextSame = section.nextSame;
      if (same->last == &section) same->last = earlier;
    }
  }
  // The chain of the section's dialog, and its first and last section.
  const std::string_view name = section.section;
  if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
    if (section.prevInDialog != nullptr) section.prevInDialog->nextInDialog = section.nextInDialog;
    if (section.nextInDialog != nullptr) section.nextInDialog->prevInDialog = section.prevInDialog;
    if (SameName *dialog = dict.index->prefixes.Find(name.substr(0, dot))) {
      if (dialog->first == &section && section.nextInDialog == nullptr) {
        dict.index->prefixes.EraseFound(dialog);
      } else {
        if (dialog->first == &section) dialog->first = section.nextInDialog;
        if (dialog->last == &section) dialog->last = section.prevInDialog;
      }
    }
  }
  section.next = section.nextSame = section.nextInDialog = section.prevInDialog = nullptr;
  ObFree(section.obj);
  return kOk;
}

void AppendCatalog(Dict &dict, std::string_view hdl, std::string_view pfx) {
  AllocCheck();
  dict.catalog.push_back(CatalogEntry{std::string(hdl), std::string(pfx)});
}

void AppendListValue(Dict &dict, std::string_view item, std::string_view value) {
  AllocCheck();
  if (ListEntry **found = dict.index->lists.Find(item)) {
    (*found)->value.append(value);
    return;
  }
  ListEntry &entry = dict.lists.emplace_back(ListEntry{std::string(item), std::string(value)});
  try {
    dict.index->lists.FindOrAdd(entry.item, [&] { return &entry; });
  } catch (...) {
    dict.lists.pop_back();
    throw;
  }
}

const ListEntry *FindListEntry(const Dict &dict, std::string_view item) {
  const ListEntry *const *found = dict.index->lists.Find(item);
  return found != nullptr ? *found : nullptr;
}

// ---------------------------------------------------------------------------
// dictList and look-ups
// ---------------------------------------------------------------------------

Dict *FirstDict() noexcept { return Dicts().dictList; }

namespace {

// Drops a dictionary from the index by id and, for a model dictionary, from the
// index of model sections (also one that was indexed only in part).
void UnindexDict(const Dict &dict) noexcept {
  DictState &state = Dicts();
  if (DictsWithId *same = state.byId.Find(dict.id)) {
    const auto at = std::find(same->dicts.rbegin(), same->dicts.rend(), &dict);
    if (at != same->dicts.rend()) same->dicts.erase(std::next(at).base());
    if (same->dicts.empty()) state.byId.EraseFound(same);
  }
  if (dict.kind != kDictModel) return;
  auto &models = state.modelSections;
  dict.index->sections.ForEach([&](const SameName &same) {
    const auto found = models.find(same.first->section);
    if (found == models.end()) return;
    auto &sections = found->second;
    const auto at = std::find(sections.rbegin(), sections.rend(), same.first);
    if (at != sections.rend()) sections.erase(std::next(at).base());
    if (sections.empty()) models.erase(found);
  });
}

// Adds a dictionary about to be linked to the index by id and, for a model
// dictionary, to the index of model sections. May throw std::bad_alloc;
// UnindexDict then undoes what was done.
void IndexDict(Dict &dict) {
  DictState &state = Dicts();
  AllocCheck();
  bool added = false;
  DictsWithId &same = state.byId.FindOrAdd(dict.id, [&] { return DictsWithId{dict.id, {}}; }, &added);
  try {
    same.dicts.push_back(&dict);
  } catch (...) {
    if (added) state.byId.Erase(dict.id);
    throw;
  }
  if (dict.kind != kDictModel) return;
  auto &models = state.modelSections;
  dict.index->sections.ForEach([&](const SameName &section) {
    AllocCheck();
    const std::string &name = section.first->section;
    auto found = models.find(name);
    if (found == models.end()) found = models.emplace(name, std::vector<DictSection *>{}).first;
    found->second.push_back(section.first);
  });
}

}  // namespace

Status LinkDict(std::unique_ptr<Dict> &dict) {
  try {
    IndexDict(*dict);
  } catch (const std::bad_alloc &) {
    UnindexDict(*dict);
    return kNoMemory;
  }
  DictState &state = Dicts();
  Dict *d = dict.release();
  d->prev = nullptr;
  d->next = state.dictList;
  if (state.dictList != nullptr) state.dictList->prev = d;
  state.dictList = d;
  d->linked = true;
  return kOk;
}

namespace {

// Takes a record out of dictList and its indexes; the caller owns it again.
std::unique_ptr<Dict> UnlinkDict(Dict &dict) noexcept {
  UnindexDict(dict);
  DictState &state = Dicts();
  if (dict.prev != nullptr) dict.prev->next = dict.next;
  else state.dictList = dict.next;
  if (dict.next != nullptr) dict.next->prev = dict.prev;
  dict.next = dict.prev = nullptr;
  dict.linked = false;
  return std::unique_ptr<Dict>(&dict);
}

// True when the first n characters of `a` and `b` agree as strncasecmp compares
// them: a text shorter than n ends with its terminator.
bool EqualPrefixNoCase(std::string_view a, std::string_view b, std::size_t n) noexcept {
  if (a.size() < n || b.size() < n) return a.size() == b.size() && EqualNoCase(a, b);
  return EqualNoCase(a.substr(0, n), b.substr(0, n));
}

}  // namespace

Dict *FindDict(std::string_view id, DictKind kind) noexcept {
  // The dictionaries with that id in the order they were linked: the last is the
  // nearest to the head of dictList.
  const DictsWithId *same = Dicts().byId.Find(id);
  if (same == nullptr) return nullptr;
  for (auto d = same->dicts.rbegin(); d != same->dicts.rend(); ++d) {
    if ((*d)->kind == kind) return *d;
  }
  return nullptr;
}

namespace {

// True when `name` begins with `hdl` and "." (any case).
bool InDialog(std::string_view name, std::string_view hdl) noexcept {
  return name.size() > hdl.size() && name[hdl.size()] == '.' && EqualNoCase(name.substr(0, hdl.size()), hdl);
}

}  // namespace

DictSection *FirstDialogSection(const Dict &dict, std::string_view hdl) noexcept {
  if (hdl.find('.') == std::string_view::npos) {
    const SameName *dialog = dict.index->prefixes.Find(hdl);
    return dialog != nullptr ? dialog->first : nullptr;
  }
  // A handle with a "." is no section's prefix: the names are compared.
  DictSection *s = dict.sections;
  while (s != nullptr && !InDialog(s->section, hdl)) s = s->next;
  return s;
}

DictSection *NextDialogSection(const DictSection &section, std::string_view hdl) noexcept {
  if (hdl.find('.') == std::string_view::npos && InDialog(section.section, hdl)) return section.nextInDialog;
  // After a section of another dialog (the cursor of another walk), or for a
  // handle with a ".", the sections that follow in file order are compared.
  DictSection *s = section.next;
  while (s != nullptr && !InDialog(s->section, hdl)) s = s->next;
  return s;
}

DictSection *FindSection(const Dict &dict, std::string_view name, std::size_t n) noexcept {
  if (name.empty()) return dict.sections;
  if (n == 0 || n > name.size()) {
    const SameName *found = dict.index->sections.Find(name);
    return found != nullptr ? found->first : nullptr;
  }
  for (DictSection *s = dict.sections; s != nullptr; s = s->next) {
    if (EqualPrefixNoCase(s->section, name, n)) return s;
  }
  return nullptr;
}

DictSection *NextSection(const DictSection *section, std::string_view name, std::size_t n) noexcept {
  if (section == nullptr) return nullptr;
  if (name.empty()) return section->next;
  const bool exact = n == 0 || n > name.size();
  if (exact && EqualNoCase(section->section, name)) return section->nextSame;
  for (DictSection *s = section->next; s != nullptr; s = s->next) {
    if (exact ? EqualNoCase(s->section, name) : EqualPrefixNoCase(s->section, name, n)) return s;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Freeing and closing
// ---------------------------------------------------------------------------

bool FreeDict(Dict &dict) {
  TraceLine('D', 3, "FreeDict(id='%s') instance=%d", dict.id.c_str(), dict.instance_cnt);
  if (dict.instance_cnt-- != 1) {
    TraceLine('D', 3, "FreeDict(): instance_cnt decremented (%d)", dict.instance_cnt);
    return false;
  }
  DropFrameVars(dict);
  if (dict.linked) UnindexDict(dict);
  std::string().swap(dict.id);
  dict.cursor = nullptr;
  for (DictSection *s = dict.sections; s != nullptr; s = s->next) ObFree(s->obj);
  dict.index->sections.Clear();
  dict.index->lists.Clear();
  dict.index->prefixes.Clear();
  dict.index->sectionWithoutPrefix = false;
  dict.index->repeatedName = false;
  dict.sections = dict.lastSection = nullptr;
  dict.store.clear();
  std::deque<CatalogEntry>().swap(dict.catalog);
  std::deque<ListEntry>().swap(dict.lists);
  TraceLine('D', 3, "FreeDict(): dictionary freed");
  return true;
}

void RemoveDict(Dict *dict) {
  if (dict == nullptr) return;
  TraceLine('D', 3, "RemoveDict(id='%s')", dict->id.c_str());
  if (!FreeDict(*dict)) return;
  if (dict->linked) UnlinkDict(*dict);  // the returned owner deletes the record
  else delete dict;
}

void CloseDict(std::int32_t level) {
  TraceLine('D', 3, "CloseDict(level=%d)", level);
  // One instance per level record that is closed; a negative level closes them all.
  const std::int32_t from = level < 0 ? 0 : level;
  for (std::size_t n = 0;; ++n) {
    Dict *dict = GetDlgDict(from, n);
    if (dict == nullptr) break;
    RemoveDict(dict);
  }
  FreeDlgLevel(level);
}

void CloseAllDicts() {
  for (Dict *d = Dicts().dictList; d != nullptr;) {
    Dict *next = d->next;
    d->instance_cnt = 1;
    RemoveDict(d);
    d = next;
  }
  FreeDlgLevel(-1);
}

Status CloseModelDict(const char *id) {
  Dict *model = FindDict(OrEmpty(id), kDictModel);
  if (model == nullptr) {
    TraceLine('D', 1, "dict_CloseModel() failed: unknown dictID '%s'", OrEmpty(id));
    return kReported;
  }
  model->instance_cnt = 1;
  RemoveDict(model);
  return kOk;
}

void ResetDictForTest() {
  DictState &state = Dicts();
  state.dlgLevels.clear();
  state.groups.clear();
  state.ids.Clear();
  state.handleSeq = 0;
  state.modelSections.clear();
  state.byId.Clear();
  while (state.dictList != nullptr) UnlinkDict(*state.dictList);
}
VL_STATE_RESET(ResetDictForTest);

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

namespace {

// Sizes of the reader's buffers: the text and its terminator.
constexpr std::size_t kSectionNameSize = 81;  // 80 characters of a section name
constexpr std::size_t kItemNameSize = 81;     // 80 characters of an item name
constexpr std::size_t kValueSize = 123;       // 122 characters of a value

// Applied model sections at most, along one chain of MODEL items.
constexpr int kModelDepth = 16;

// minus the error number, or -1 when none is set.
std::int32_t NegatedErrno(int error) noexcept { return error != 0 ? -error : -1; }

// How inheriting from the models came out.
enum class Inherit { kDone, kRefused, kCopyFailed, kNoMemory };

// The first model section of that name, searching the model dictionaries of
// dictList from its head.
const DictSection *FindModelSection(std::string_view name) noexcept {
  const auto &models = Dicts().modelSections;
  const auto found = models.find(name);
  return found != models.end() ? found->second.back() : nullptr;
}

// Copies into the section's object every item its models have and it lacks; the
// nearest model wins. At most kModelDepth model sections are applied.
Inherit InheritObject(DictSection &section) {
  VL_TRACE_ENTRY('D', "InheritObject");
  std::string modelName = std::move(section.obj.model);
  section.obj.model.clear();
  for (int depth = 0;;) {
    const DictSection *model = FindModelSection(modelName);
    if (model == nullptr) {
      TraceLine('D', 1, "InheritObject() failed: unknown model '%s', section '%s'", modelName.c_str(),
                section.section.c_str());
      return Inherit::kRefused;
    }
    const Status copied = ObCopy(section.obj, model->obj, 2, modelName.c_str());
    if (copied == kNoMemory) return Inherit::kNoMemory;
    if (copied != kOk) return Inherit::kCopyFailed;
    TraceLine('D', 3, "InheritObject(): attributes inherited from '%s', section '%s'", modelName.c_str(),
              section.section.c_str());
    if (model->obj.model.empty()) return Inherit::kDone;
    if (++depth >= kModelDepth) {
      TraceLine('D', 1, "InheritObject() failed: inheritance nesting too deep or recursive, section '%s'",
                section.section.c_str());
      return Inherit::kRefused;
    }
    AllocCheck();
    modelName = model->obj.model;
  }
}

// How reading a file came out.
enum class Read {
  kDone,        // every section read (content errors of the checker are counted)
  kContent,     // an item, the inheritance or the check failed (module: the load stops)
  kCopyFailed,  // a model's item was refused by the section's object
  kNoMemory,    // memory ran out (traced where it happened)
  kReadError,   // the file could not be read (errno kept)
};

// One load: the module's or the checker's behaviour over the same reading code.
struct Load {
  bool check;                   // the checker's loader: report every error and go on
  const char *op;               // "OpenDict" or "CheckDict", in messages
  const char *id;
  DictKind kind;
  std::unique_ptr<Dict> dict;   // created at the first section that is not obsolete
  bool contentErrors = false;   // the checker met an error in the file's content
  int readError = 0;            // errno of a failed read

  void CreateRecord() {
    AllocCheck();
    auto record = std::make_unique<Dict>();
    AllocCheck();
    record->id = id;
    record->kind = kind;
    dict = std::move(record);
  }

  // A content failure: the module stops, the checker notes it and goes on.
  bool Stop() {
    contentErrors = true;
    return !check;
  }

  // Reads the entries of the current section, handing each to `take`, which
  // returns kDone to go on.
  template <typename Take>
  Read Entries(int hdl, Take &&take) {
    char name[kItemNameSize];
    char value[kValueSize];
    for (;;) {
      errno = 0;
      const int r = IniNextEntry(hdl, name, sizeof name, value, sizeof value);
      if (r == kIniEnd) return Read::kDone;
      if (r != kIniReading) {
        readError = errno;
        return Read::kReadError;
      }
      const Read taken = take(name, value);
      if (taken != Read::kDone) return taken;
    }
  }

  Read FieldSection(int hdl, std::string_view name) {
    DictSection &section = AppendSection(*dict, name);
    const Read items = Entries(hdl, [&](const char *item, const char *value) {
      AllocCheck();
      std::string copy(value);
      if (ObSet(section.obj, item, copy, section.section.c_str()) == kReported && Stop()) return Read::kContent;
      return Read::kDone;
    });
    if (items != Read::kDone || kind != kDictOrdinary) return items;
    if (!section.obj.model.empty()) {
      switch (InheritObject(section)) {
        case Inherit::kDone: break;
        case Inherit::kRefused: return Stop() ? Read::kContent : Read::kDone;  // not checked
        case Inherit::kCopyFailed: return check ? Read::kCopyFailed : Read::kContent;
        case Inherit::kNoMemory: return Read::kNoMemory;
      }
    }
    const Status checked = ObCheck(section.obj, section.section.c_str());
    if (checked == kNoMemory) return Read::kNoMemory;
    if (checked != kOk && Stop()) return Read::kContent;
    return Read::kDone;
  }

  Read Sections(int hdl) {
    char name[kSectionNameSize];
    for (;;) {
      errno = 0;
      const int r = IniNextSection(hdl, name, sizeof name);
      if (r == kIniEnd) return Read::kDone;
      if (r != kIniReading) {
        readError = errno;
        return Read::kReadError;
      }
      const std::string_view kindName = name;  // upper case from the reader
      if (kindName == "XX") {
        TraceLine('D', 2, "%s() warning: obsolete section '%s'", op, name);
        continue;
      }
      if (dict == nullptr) CreateRecord();
      Read read = Read::kDone;
      if (kindName == "CATALOG") {
        read = Entries(hdl, [&](const char *item, const char *value) {
          AppendCatalog(*dict, item, value);
          return Read::kDone;
        });
      } else if (kindName == "LIST") {
        read = Entries(hdl, [&](const char *item, const char *value) {
          AppendListValue(*dict, item, value);
          return Read::kDone;
        });
      } else {
        read = FieldSection(hdl, kindName);
      }
      if (read != Read::kDone) return read;
    }
  }

  // Reads the whole file; memory running out in the engine's own allocations ends
  // it like an inner "heap overflow".
  Read File(int hdl) {
    try {
      return Sections(hdl);
    } catch (const std::bad_alloc &) {
      return Read::kNoMemory;
    }
  }

  // Frees a record that was never linked.
  void Drop() {
    if (dict == nullptr) return;
    FreeDict(*dict);
    dict.reset();
  }
};

// Closes a reader handle when the load ends, whichever way.
struct HandleGuard {
  int hdl;
  ~HandleGuard() {
    if (hdl >= 0) (void)IniClose(hdl);
  }
};

// Opens the file in a reader slot; -1 with errno set when it cannot be.
int OpenFile(const char *fname) {
  errno = 0;
  try {
    return IniOpen(fname, "");
  } catch (const std::bad_alloc &) {
    errno = ENOMEM;
    return -1;
  }
}

}  // namespace

Status OpenDict(const char *id, const char *fname, std::int32_t level, std::int32_t &rc) {
  id = OrEmpty(id);
  fname = OrEmpty(fname);
  const DictKind kind = level < 0 ? kDictModel : kDictOrdinary;
  if (kind == kDictModel) TraceLine('D', 3, "OpenDict(): id='%s' (model dictionary)", id);
  else TraceLine('D', 3, "OpenDict(): id='%s', level=%ld", id, static_cast<long>(level));

  if (Dict *open = FindDict(id, kind)) {
    if (kind == kDictOrdinary) {
      const Status attached = AddDlgLevel(*open, level);
      if (attached == kNoMemory) {
        rc = NegatedErrno(ENOMEM);
        return kOk;
      }
      if (attached != kOk) return kReported;
      ++open->instance_cnt;
      rc = 0;
      TraceLine('D', 3, "OpenDict(): id = %s, instance_cnt = %d", open->id.c_str(), open->instance_cnt);
      return kOk;
    }
    TraceLine('D', 2, "OpenDict() warning: model dictionary '%s' reopened", id);
    open->instance_cnt = 1;
    RemoveDict(open);
  }

  const HandleGuard file{OpenFile(fname)};
  if (file.hdl < 0) {
    rc = NegatedErrno(errno);
    return kOk;
  }
  Load load{false, "OpenDict", id, kind, nullptr};
  switch (load.File(file.hdl)) {
    case Read::kDone: break;
    case Read::kContent:
    case Read::kCopyFailed:
      load.Drop();
      rc = 1;
      return kOk;
    case Read::kNoMemory:
      TraceLine('D', 1, "OpenDict() failed: heap overflow");
      load.Drop();
      rc = NegatedErrno(ENOMEM);
      return kOk;
    case Read::kReadError:
      load.Drop();
      rc = NegatedErrno(load.readError);
      return kOk;
  }
  if (load.dict == nullptr) {  // only obsolete sections, or none at all
    rc = 1;
    return kOk;
  }
  Dict &dict = *load.dict;
  if (LinkDict(load.dict) != kOk) {
    TraceLine('D', 1, "OpenDict() failed: heap overflow");
    load.Drop();
    rc = NegatedErrno(ENOMEM);
    return kOk;
  }
  if (kind == kDictOrdinary) {
    const Status attached = AddDlgLevel(dict, level);
    if (attached != kOk) {
      load.dict = UnlinkDict(dict);
      load.Drop();
      rc = attached == kNoMemory ? NegatedErrno(ENOMEM) : 1;
      return attached == kNoMemory ? kOk : kReported;
    }
  }
  rc = 0;
  return kOk;
}

int CheckDict(const char *id, const char *fname, std::int32_t level) {
  id = OrEmpty(id);
  fname = OrEmpty(fname);
  const DictKind kind = level < 0 ? kDictModel : kDictOrdinary;
  TraceLine('D', 3, "CheckDict(): id='%s', level=%ld", id, static_cast<long>(level));

  const HandleGuard file{OpenFile(fname)};
  if (file.hdl < 0) {
    // A file that could not be opened for lack of memory is no missing file.
    if (errno == ENOMEM) {
      TraceLine('D', 1, "CheckDict() failed: heap overflow");
      return 3;
    }
    TraceLine('D', 1, "CheckDict() failed: cannot open file '%s'", fname);
    return 2;
  }
  Load load{true, "CheckDict", id, kind, nullptr};
  Read read = load.File(file.hdl);
  if (read == Read::kDone && load.dict == nullptr) {
    // A file without sections still yields a dictionary.
    try {
      load.CreateRecord();
    } catch (const std::bad_alloc &) {
      read = Read::kNoMemory;
    }
  }
  switch (read) {
    case Read::kDone:
    case Read::kContent: break;
    case Read::kCopyFailed:
      load.Drop();
      return 3;
    case Read::kNoMemory:
      TraceLine('D', 1, "CheckDict() failed: heap overflow");
      load.Drop();
      return 3;
    case Read::kReadError:
      TraceLine('D', 1, "CheckDict() failed: cannot read file '%s'", fname);
      load.Drop();
      return 2;
  }
  Dict &dict = *load.dict;
  if (LinkDict(load.dict) != kOk) {
    TraceLine('D', 1, "CheckDict() failed: heap overflow");
    load.Drop();
    return 3;
  }
  if (kind == kDictOrdinary && AddDlgLevel(dict, level) != kOk) {
    load.dict = UnlinkDict(dict);
    load.Drop();
    return 3;
  }
  return load.contentErrors ? 1 : 0;
}

// ---------------------------------------------------------------------------
// A whole dictionary as a CSDX stream
// ---------------------------------------------------------------------------

Status PackDictDX(const Dict &dict, long level) {
  std::string text;
  const auto series = [&] {
    CSDX_PutHeader();
    CSDX_PutMarker('D');
    CSDX_PutString(dict.id);
    CSDX_PutNumber(dict.instance_cnt);
    CSDX_PutNumber(level);
    if (dict.instance_cnt != 1) return;  // a shared dictionary: its header only
    for (const CatalogEntry &c : dict.catalog) {
      CSDX_PutMarker('C');
      CSDX_PutString(c.hdl);
      CSDX_PutString(c.pfx);
    }
    for (const DictSection *s = dict.sections; s != nullptr; s = s->next) {
      CSDX_PutMarker('S');
      CSDX_PutString(s->section);
      for (int i = 0; i < kGettableItems; ++i) {
        const DictItem &item = kDictItems[static_cast<std::size_t>(i)];
        item.get(s->obj, text);
        if (text.empty() || (item.type == 'N' && text == "0")) continue;
        CSDX_PutMarker('I');
        CSDX_PutString(item.name);
        CSDX_PutString(text);
      }
    }
  };
  try {
    return CSDX_Pack("dict_PackDX", series);
  } catch (const std::bad_alloc &) {
    CSDX_Reset();
    TraceLine('D', 1, "dict_PackDX() failed: heap overflow");
    return kNoMemory;
  }
}

// ---------------------------------------------------------------------------
// Derive, update and dump
// ---------------------------------------------------------------------------

Dict *DeriveDict(Dict &dict) {
  VL_TRACE_ENTRY('D', "DeriveDict");
  TraceLine('D', 3, "DeriveDict(id='%s')", dict.id.c_str());
  if (dict.instance_cnt == 1) {
    dict.kind = kDictDerived;
    TraceLine('D', 3, "DeriveDict(): original dict derived (instance_cnt=1)");
    return &dict;
  }
  std::unique_ptr<Dict> copy;
  const char *part = "dict";  // what is being copied, for the message
  try {
    AllocCheck();
    copy = std::make_unique<Dict>();
    copy->kind = kDictDerived;
    part = "dict->id";
    AllocCheck();
    copy->id = dict.id;
    for (const CatalogEntry &c : dict.catalog) {
      part = "catalog";
      AllocCheck();
      CatalogEntry &entry = copy->catalog.emplace_back();
      part = "catalog->hdl";
      AllocCheck();
      entry.hdl = c.hdl;
      part = "catalog->pfx";
      AllocCheck();
      entry.pfx = c.pfx;
    }
    part = "item";
    copy->index->lists.Reserve(dict.index->lists.size());
    for (const ListEntry &l : dict.lists) {
      part = "item";
      AllocCheck();
      ListEntry &entry = copy->lists.emplace_back();
      part = "item->item";
      AllocCheck();
      entry.item = l.item;
      part = "item->value";
      AllocCheck();
      entry.value = l.value;
      part = "item";
      copy->index->lists.FindOrAdd(entry.item, [&] { return &entry; });
    }
    // The indexes at their full size at once: growing them would move every
    // entry again and again.
    part = "section";
    copy->index->sections.Reserve(dict.index->sections.size());
    copy->index->prefixes.Reserve(dict.index->prefixes.size());
    for (const DictSection *s = dict.sections; s != nullptr; s = s->next) {
      part = "section";
      AllocCheck();
      part = "section->section";
      DictSection &section = AppendSection(*copy, s->section);
      if (ObCopy(section.obj, s->obj, 1, s->section.c_str()) != kOk) {
        FreeDict(*copy);
        return nullptr;
      }
      // The text forms round FMIN and FMAX to 12 digits, and a field type that
      // OBJTYPE forced has no FTYP item: the copy takes the values themselves.
      section.obj.minimum = s->obj.minimum;
      section.obj.maximum = s->obj.maximum;
      section.obj.fldType = s->obj.fldType;
    }
    part = "dict";
    Dict *made = copy.get();
    if (LinkDict(copy) != kOk) throw std::bad_alloc();
    TraceLine('D', 3, "DeriveDict(): original dict copied (instance_cnt=%d)", dict.instance_cnt);
    --dict.instance_cnt;
    return made;
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "DeriveDict() failed: heap overflow (%s)", part);
    if (copy != nullptr) FreeDict(*copy);
    return nullptr;
  }
}

Status UpdateDict(const char *dlgID, std::string_view xdict) {
  dlgID = OrEmpty(dlgID);
  TraceLine('D', 3, "UpdateDict(dlgID='%s')", dlgID);
  DlgHandle *handle = FindDlgID(dlgID);
  if (handle == nullptr) {
    TraceLine('D', 1, "UpdateDict() failed: dialog ID '%s' not found", dlgID);
    return kReported;
  }
  DlgLevel &record = *handle->record;
  DictObj update;
  std::string field;
  if (XbufObSet(update, field, xdict.data(), xdict.size()) != kOk) return kReported;
  std::string name;
  try {
    AllocCheck();
    name.append(handle->hdl).append(1, '.').append(field);
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "UpdateDict() failed: heap overflow");
    return kReported;
  }

  Dict &source = *record.dict;
  const DictKind kindBefore = source.kind;
  Dict *target = DeriveDict(source);
  if (target == nullptr) return kReported;
  const bool copied = target != &source;
  // Undoes the derive: the copy goes and gives its instance back, or the
  // dictionary derived in place gets its kind back.
  const auto undo = [&] {
    if (copied) {
      RemoveDict(target);
      ++source.instance_cnt;
    } else {
      source.kind = kindBefore;
    }
    return kReported;
  };

  DictSection *section = FindSection(*target, name);
  if (section == nullptr) {
    TraceLine('D', 1, "UpdateDict() failed: unknown section '%s'", name.c_str());
    return undo();
  }
  TraceLine('D', 3, "UpdateDict(): updating section '%s'", name.c_str());
  // A section changed in place is restored from this copy when the change fails.
  DictObj before;
  if (!copied) {
    try {
      AllocCheck();
      before = section->obj;
    } catch (const std::bad_alloc &) {
      TraceLine('D', 1, "UpdateDict() failed: heap overflow");
      return undo();
    }
  }
  Status changed = ObCopy(section->obj, update, 1, section->section.c_str());
  if (changed == kOk) changed = ObCheck(section->obj, section->section.c_str());
  if (changed != kOk) {
    if (!copied) section->obj = std::move(before);
    return undo();
  }
  record.dict = target;
  return kOk;
}

namespace {

// One line of the listing: category D, level 0.
void DumpLine(const char *format, ...) VL_PRINTF(1, 2);
void DumpLine(const char *format, ...) {
  std::va_list args;
  va_start(args, format);
  VTraceLine('D', 0, format, args);
  va_end(args);
}

void DumpItems(const DictObj &obj) {
  std::string text;
  for (int i = 0; i < kGettableItems; ++i) {
    const DictItem &item = kDictItems[static_cast<std::size_t>(i)];
    item.get(obj, text);
    DumpLine("  %-16.16s [%s]", item.name, text.c_str());
  }
}

// The listing of one dictionary: all its sections, or those named `section`.
void DumpOne(const Dict &dict, const std::string *section) {
  static constexpr const char *kKindSuffix[] = {"", " (derived)", " (model dictionary)"};
  DumpLine("%s", "");
  if (section == nullptr) DumpLine("Dump of dict=%s, all sections:", dict.id.c_str());
  else DumpLine("Dump of dict=%s, section [%s]:", dict.id.c_str(), section->c_str());
  DumpLine("instance_cnt=%d%s", dict.instance_cnt, kKindSuffix[dict.kind]);
  if (section == nullptr) {
    if (dict.sections == nullptr) DumpLine(" this dictionary does not contain any sections");
    for (const DictSection *s = dict.sections; s != nullptr; s = s->next) {
      DumpLine(" section [%s]", s->section.c_str());
      DumpItems(s->obj);
    }
  } else {
    const DictSection *s = FindSection(dict, *section);
    if (s == nullptr) DumpLine(" section [%s] not found", section->c_str());
    for (; s != nullptr; s = s->nextSame) DumpItems(s->obj);
  }
  DumpLine("%s", "");
}

}  // namespace

void DumpDict(const char *dlgID, const char *fldName) {
  dlgID = OrEmpty(dlgID);
  fldName = OrEmpty(fldName);
  if (*dlgID == '\0') {
    if (*fldName != '\0') {
      TraceLine('D', 1, "DumpDict() failed: missing dlgID, cannot resolve field name");
      return;
    }
    if (FirstDict() == nullptr) DumpLine("DumpDict(): no dictionaries available");
    for (const Dict *d = FirstDict(); d != nullptr; d = d->next) DumpOne(*d, nullptr);
    return;
  }
  const DlgHandle *handle = FindDlgID(dlgID);
  if (handle == nullptr) {
    TraceLine('D', 1, "DumpDict() failed: unknown dlgID '%s'", dlgID);
    return;
  }
  if (*fldName == '\0') {
    DumpOne(*handle->record->dict, nullptr);
    return;
  }
  const std::string section = handle->hdl + "." + fldName;
  DumpOne(*handle->record->dict, &section);
}

}  // namespace vl
