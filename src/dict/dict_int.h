// Internals of the dictionary engine shared by its source modules: the indexes
// by name and the process-wide state (dictList and the dialog level stack).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dict.h"

namespace vl {

// Throws std::bad_alloc when the allocation seam says an allocation fails, so that
// tests reach every memory failure of the engine.
inline void AllocCheck() {
  if (AllocFails()) throw std::bad_alloc();
}

// An index of values by name (without regard to case): open addressing with
// linear probing, each slot keeping its name's hash, so that a look-up reads one
// slot and the name of a value whose hash matches, and growing the table never
// reads a name again. KeyOf gives a stored value's name.
template <typename Value, typename KeyOf>
class NameIndex {
 public:
  // The value stored under `key`, or null.
  Value *Find(std::string_view key) noexcept {
    const std::size_t i = SlotOf(key);
    return i != kNone ? &slots_[i].value : nullptr;
  }
  const Value *Find(std::string_view key) const noexcept { return const_cast<NameIndex *>(this)->Find(key); }

  // The value stored under `key`; when there is none, the one `make()` returns is
  // stored first (`added` tells which). May throw std::bad_alloc, leaving the
  // index as it was. A pointer to a value is good until the next FindOrAdd.
  template <typename Make>
  Value &FindOrAdd(std::string_view key, Make &&make, bool *added = nullptr) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    const std::uint64_t hash = NoCaseHash{}(key);
    std::size_t i = Home(hash);
    for (; slots_[i].used; i = (i + 1) & Mask()) {
      if (slots_[i].hash == hash && EqualNoCase(KeyOf{}(slots_[i].value), key)) {
        if (added != nullptr) *added = false;
        return slots_[i].value;
      }
    }
    slots_[i].value = make();
    slots_[i].hash = hash;
    slots_[i].used = true;
    ++count_;
    if (added != nullptr) *added = true;
    return slots_[i].value;
  }

  // Removes the value stored under `key`, if any.
  void Erase(std::string_view key) noexcept { EraseSlot(SlotOf(key)); }
  // Removes a value that Find returned, without looking its name up again.
  void EraseFound(Value *value) noexcept {
    const auto offset = reinterpret_cast<const char *>(value) - reinterpret_cast<const char *>(slots_.data());
    EraseSlot(static_cast<std::size_t>(offset) / sizeof(Slot));
  }

  void Clear() noexcept {
    std::vector<Slot>().swap(slots_);
    count_ = 0;
  }
  std::size_t size() const noexcept { return count_; }

  // Calls f(value) for every stored value.
  template <typename F>
  void ForEach(F &&f) const {
    for (const Slot &slot : slots_) {
      if (slot.used) f(slot.value);
    }
  }

 private:
  struct Slot {
    std::uint64_t hash = 0;
    bool used = false;
    Value value{};
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void EraseSlot(std::size_t hole) noexcept {
    if (hole == kNone) return;
    // Later slots of the same run move up into the hole unless their home lies
    // between the hole and them.
    for (std::size_t j = (hole + 1) & Mask(); slots_[j].used; j = (j + 1) & Mask()) {
      const std::size_t home = Home(slots_[j].hash);
      if (((j - home) & Mask()) >= ((j - hole) & Mask())) {
        slots_[hole] = std::move(slots_[j]);
        hole = j;
      }
    }
    slots_[hole] = Slot{};
    --count_;
  }

  std::size_t SlotOf(std::string_view key) const noexcept {
    if (slots_.empty()) return kNone;
    const std::uint64_t hash = NoCaseHash{}(key);
    for (std::size_t i = Home(hash);; i = (i + 1) & Mask()) {
      const Slot &slot = slots_[i];
      if (!slot.used) return kNone;
      if (slot.hash == hash && EqualNoCase(KeyOf{}(slot.value), key)) return i;
    }
  }
  std::size_t Mask() const noexcept { return slots_.size() - 1; }
  std::size_t Home(std::uint64_t hash) const noexcept {
    return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> 32) & Mask();
  }
  void Grow() {
    AllocCheck();
    std::vector<Slot> bigger(slots_.empty() ? 16 : slots_.size() * 2);
    std::swap(slots_, bigger);
    for (Slot &slot : bigger) {
      if (!slot.used) continue;
      std::size_t i = Home(slot.hash);
      while (slots_[i].used) i = (i + 1) & Mask();
      slots_[i] = std::move(slot);
    }
  }

  std::vector<Slot> slots_;  // a power of two of them, at most three quarters used
  std::size_t count_ = 0;
};

// The first and the last field section of one name; the ones between follow
// DictSection::nextSame from the first.
struct SameName {
  DictSection *first = nullptr;
  DictSection *last = nullptr;
  std::string_view name;  // the first section's name, read without reading the section
};
struct SameNameKey {
  std::string_view operator()(const SameName &s) const noexcept { return s.name; }
};
struct ListEntryKey {
  std::string_view operator()(const ListEntry *e) const noexcept { return e->item; }
};

// Look-ups of one dictionary by name.
struct DictIndexes {
  NameIndex<SameName, SameNameKey> sections;
  NameIndex<ListEntry *, ListEntryKey> lists;
  // The distinct prefixes (the part before the first ".") of the field sections,
  // each with the first and last section of its dialog chain, viewing the name
  // of the first: for the catalog check and the walks of one dialog.
  NameIndex<SameName, SameNameKey> prefixes;
  bool sectionWithoutPrefix = false;  // some field section's name has no "."
  bool repeatedName = false;          // two field sections have the same name
};

// The handles indexed under one name (a catalog handle, or a dialog id or alias),
// with repeats when a handle holds the same alias twice; a search meets `best`,
// the one made last, first.
struct HandleList {
  std::string name;
  DlgHandle *best = nullptr;
  std::vector<DlgHandle *> all;
};
struct HandleListKey {
  std::string_view operator()(const HandleList &l) const noexcept { return l.name; }
};
using HandleIndex = NameIndex<HandleList, HandleListKey>;

// The dictionaries of one id, in the order they were linked.
struct DictsWithId {
  std::string id;
  std::vector<Dict *> dicts;
};
struct DictsWithIdKey {
  std::string_view operator()(const DictsWithId &d) const noexcept { return d.id; }
};

// The handles of one level number (the records of one level that lie together on
// the stack), by catalog handle.
struct LevelGroup {
  std::int32_t level = 0;
  std::size_t records = 0;  // level records in the group
  HandleIndex handles;
};

// The engine's process-wide state: the open dictionaries and the dialog level
// stack, with their indexes. Reached through Dicts() only; ResetDictForTest
// (registered with VL_STATE_RESET) returns it to how the process started.
struct DictState {
  Dict *dictList = nullptr;                          // open dictionaries, newest first
  NameIndex<DictsWithId, DictsWithIdKey> byId;       // the linked dictionaries by id
  std::vector<std::unique_ptr<DlgLevel>> dlgLevels;  // the level stack, bottom first
  std::vector<LevelGroup> groups;                    // one per level number on the stack, bottom first
  HandleIndex ids;                                   // every handle by each of its ids
  std::uint64_t handleSeq = 0;                       // seq of the last handle made
  // The first field section of each name in each linked model dictionary, in the
  // order the dictionaries were linked: the last one is in the dictionary nearest
  // to the head of dictList, the one inheritance takes.
  std::unordered_map<std::string, std::vector<DictSection *>, NoCaseHash, NoCaseEqual> modelSections;
};
DictState &Dicts();  // created on first use

// Drops a level record's handles from the id index (dictutil).
void ForgetHandleIds(DlgHandle &handle);

// The leading decimal integer of a text (0 when there is none), held within the
// range of a 32-bit integer; the leading decimal number, with a magnitude beyond
// a double's range held at its largest value (dictattr).
std::int32_t LeadingInt(std::string_view s) noexcept;
double LeadingNumber(std::string_view s) noexcept;

// Reads the entry at `offset` of the XBUF `all` as XbufObSet reads entries.
// Returns 0 with `offset` moved past the entry, or how it is corrupt: 1 a
// malformed head, 2 a head that runs past the end, 3 a malformed value length,
// 4 a value that runs past the end (dictattr).
int ReadXbufEntry(std::string_view all, std::size_t &offset, XbufEntry &entry);

// ---------------------------------------------------------------------------
// Variable frames (dictutil)
// ---------------------------------------------------------------------------

inline constexpr std::size_t kNoVar = static_cast<std::size_t>(-1);

// One variable: a field section and its value.
struct Var {
  DictSection *section = nullptr;  // not owned
  std::string value;               // empty: no value
};

// A filter takes the current variable (0), skips it (2) or fails the walk.
using VarFilter = int (*)(Var &var);

// The first variable of each section in a frame's list: open addressing with
// linear probing over a power-of-two table at most half full.
class SectionVars {
 public:
  // The variable of `section`, or kNoVar.
  std::size_t Find(const DictSection *section) const noexcept {
    if (slots_.empty()) return kNoVar;
    for (std::size_t i = Home(section);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i].section == section) return slots_[i].var;
      if (slots_[i].section == nullptr) return kNoVar;
    }
  }
  // Records `var` for `section` unless it has one; may throw std::bad_alloc,
  // leaving the table as it was.
  void Add(const DictSection *section, std::size_t var) {
    if ((count_ + 1) * 2 > slots_.size()) Grow(std::max<std::size_t>(16, slots_.size() * 2));
    std::size_t i = Home(section);
    while (slots_[i].section != nullptr && slots_[i].section != section) i = (i + 1) & (slots_.size() - 1);
    if (slots_[i].section != nullptr) return;
    slots_[i] = Slot{section, var};
    ++count_;
  }
  void Reserve(std::size_t n) {
    std::size_t size = 16;
    while (size < n * 2) size *= 2;
    if (size > slots_.size()) Grow(size);
  }

 private:
  struct Slot {
    const DictSection *section = nullptr;
    std::size_t var = 0;
  };
  std::size_t Home(const DictSection *section) const noexcept {
    return static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(section) * 0x9E3779B97F4A7C15ull) >> 32) &
           (slots_.size() - 1);
  }
  void Grow(std::size_t size) {
    AllocCheck();
    std::vector<Slot> bigger(size);
    std::swap(slots_, bigger);
    for (const Slot &slot : bigger) {
      if (slot.section == nullptr) continue;
      std::size_t i = Home(slot.section);
      while (slots_[i].section != nullptr) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = slot;
    }
  }
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

// One frame of variable access.
struct VarFrame {
  std::vector<Var> varList;          // in the order added
  std::size_t currVar = kNoVar;      // the current variable
  std::size_t nextVar = kNoVar;      // the one after it
  VarFilter filter = nullptr;        // the enabled filter, or none
  bool pastEnd = false;              // the walk has reported its end
  std::vector<const Dict *> dicts;   // the dictionaries its variables point into
  // The first variable of each section, built when a list is first updated.
  SectionVars bySection;
  bool indexed = false;
  // Where AddVar looks first, while the entries of an XBUF come in order (then
  // the look-ups by name and by section are saved): the variable after the one
  // it set last, and the section after the one it found last, in its dictionary.
  bool inOrder = true;
  bool distinct = true;  // no section has two variables (no name was added twice)
  std::size_t updated = 0;
  const Dict *foundIn = nullptr;
  const DictSection *found = nullptr;
};

// The frame stack: the current frame and the saved ones. Reached through
// VarStack() only; ResetVarStackForTest (registered with VL_STATE_RESET)
// returns it to how the process started.
struct VarStackState {
  VarFrame current;
  std::array<VarFrame, kVarStackDepth> saved;
  int depth = 0;            // saved frames
  std::string sectionName;  // AddVar's look-up, kept for its room
};
VarStackState &VarStack();  // created empty on first use
void ResetVarStackForTest();

// Empties every frame that holds a variable of `dict`, whose sections are about
// to be freed, with a warning on the trace.
void DropFrameVars(const Dict &dict) noexcept;

}  // namespace vl
