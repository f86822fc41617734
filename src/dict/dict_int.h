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

// Asks the processor to fetch the cache line at `p` ahead of a read that will
// need it; only a hint. It and the functions that call it are always inlined:
// a call that only prefetches counts as free of effects, and would be dropped.
#if defined(__GNUC__) || defined(__clang__)
#define VL_PREFETCHING [[gnu::always_inline]] inline
VL_PREFETCHING void PrefetchLine(const void *p) noexcept { __builtin_prefetch(p); }
#else
#define VL_PREFETCHING inline
inline void PrefetchLine(const void *) noexcept {}
#endif

// Prefetches the first bytes of a section, that a walk reads (its name, its
// links and its packed form) and, with `items`, also the leading items of its
// object (type, format, length, precision) that the format filter reads: for
// the section a walk will come to next.
VL_PREFETCHING void PrefetchSection(const DictSection *section, bool items) noexcept {
  const char *bytes = reinterpret_cast<const char *>(section);
  const char *end = items ? reinterpret_cast<const char *>(&section->obj.minimum)
                          : reinterpret_cast<const char *>(&section->obj.flags);
  for (; bytes < end; bytes += 64) PrefetchLine(bytes);
  PrefetchLine(end - 1);
}

// The first bytes of an indexed name kept in its slot, so that comparing a short
// name reads nothing else; a longer name is compared through KeyOf.
template <std::size_t N>
struct NameHead {
  char bytes[N];
};
template <>
struct NameHead<0> {};

// An index of values by name (without regard to case): open addressing with
// linear probing, each slot holding its value, a 32-bit tag of its name's hash,
// the name's length and, with kHead > 0, a name of at most kHead bytes; so that
// a look-up reads the slots from the home slot on and nothing else but for a
// longer name, which KeyOf gives from the value. Growing reads no name again.
template <typename Value, typename KeyOf, std::size_t kHead = 0>
class NameIndex {
 public:
  // The value stored under `key`, or null.
  Value *Find(std::string_view key) noexcept { return Find(key, Tag(key)); }
  const Value *Find(std::string_view key) const noexcept { return const_cast<NameIndex *>(this)->Find(key); }

  // The same with the key's tag made once by Tag, for a caller that prefetches
  // the home slot first, so that look-ups of many keys overlap their cache
  // misses.
  static std::uint32_t Tag(std::string_view key) noexcept {
    const std::uint64_t hash = NoCaseHash{}(key);
    return static_cast<std::uint32_t>(hash ^ (hash >> 32));
  }
  Value *Find(std::string_view key, std::uint32_t tag) noexcept {
    const std::size_t i = SlotOf(key, tag);
    return i != kNone ? &slots_[i].value : nullptr;
  }
  VL_PREFETCHING void PrefetchSlot(std::uint32_t tag) const noexcept {
    if (slots_.empty()) return;
    const Slot &slot = slots_[Home(tag)];
    PrefetchLine(&slot);
    PrefetchLine(reinterpret_cast<const char *>(&slot + 1) - 1);
  }

  // The value stored under `key`; when there is none, the one `make()` returns is
  // stored first (`added` tells which). May throw std::bad_alloc, leaving the
  // index as it was. A pointer to a value is good until the next FindOrAdd or
  // erase.
  template <typename Make>
  Value &FindOrAdd(std::string_view key, Make &&make, bool *added = nullptr) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow(slots_.empty() ? 16 : slots_.size() * 2);
    const std::uint32_t tag = Tag(key);
    std::size_t i = Home(tag);
    for (; slots_[i].length != kFree; i = (i + 1) & Mask()) {
      if (slots_[i].tag == tag && Matches(slots_[i], key)) {
        if (added != nullptr) *added = false;
        return slots_[i].value;
      }
    }
    Slot &slot = slots_[i];
    slot.value = make();
    slot.tag = tag;
    slot.length = static_cast<std::uint32_t>(std::min<std::size_t>(key.size(), kFree - 1));
    if constexpr (kHead > 0) {
      if (key.size() <= kHead) key.copy(slot.head.bytes, key.size());
    }
    ++count_;
    if (added != nullptr) *added = true;
    return slot.value;
  }

  // Room for `n` values without growing; may throw std::bad_alloc, leaving the
  // index as it was.
  void Reserve(std::size_t n) {
    std::size_t size = 16;
    while (n * 4 > size * 3) size *= 2;
    if (size > slots_.size()) Grow(size);
  }

  // Removes the value stored under `key`, if any.
  void Erase(std::string_view key) noexcept { EraseSlot(SlotOf(key, Tag(key))); }
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
      if (slot.length != kFree) f(slot.value);
    }
  }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX;  // the length of an unused slot
  struct Slot {
    Value value{};
    std::uint32_t tag = 0;
    std::uint32_t length = kFree;
    [[no_unique_address]] NameHead<kHead> head;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  bool Matches(const Slot &slot, std::string_view key) const noexcept {
    if (slot.length != key.size()) return false;
    if constexpr (kHead > 0) {
      if (key.size() <= kHead) return EqualNoCase(std::string_view(slot.head.bytes, key.size()), key);
    }
    return EqualNoCase(KeyOf{}(slot.value), key);
  }
  std::size_t SlotOf(std::string_view key, std::uint32_t tag) const noexcept {
    if (slots_.empty()) return kNone;
    for (std::size_t i = Home(tag);; i = (i + 1) & Mask()) {
      const Slot &slot = slots_[i];
      if (slot.length == kFree) return kNone;
      if (slot.tag == tag && Matches(slot, key)) return i;
    }
  }
  std::size_t Mask() const noexcept { return slots_.size() - 1; }
  // Fibonacci hashing of the tag: the top bits of its product.
  std::size_t Home(std::uint32_t tag) const noexcept {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(tag) * 0x9E3779B97F4A7C15ull) >> 32) & Mask();
  }

  void EraseSlot(std::size_t hole) noexcept {
    if (hole == kNone) return;
    // Later slots of the same run move up into the hole unless their home lies
    // between the hole and them.
    for (std::size_t j = (hole + 1) & Mask(); slots_[j].length != kFree; j = (j + 1) & Mask()) {
      const std::size_t home = Home(slots_[j].tag);
      if (((j - home) & Mask()) >= ((j - hole) & Mask())) {
        slots_[hole] = std::move(slots_[j]);
        hole = j;
      }
    }
    slots_[hole] = Slot{};
    --count_;
  }

  // Makes `size` slots (a power of two) and moves the values into them.
  void Grow(std::size_t size) {
    AllocCheck();
    std::vector<Slot> bigger(size);
    std::swap(slots_, bigger);
    for (Slot &slot : bigger) {
      if (slot.length == kFree) continue;
      std::size_t i = Home(slot.tag);
      while (slots_[i].length != kFree) i = (i + 1) & Mask();
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
};
// The name of the sections, and the prefix (the part before the first ".") of
// the sections of one dialog.
struct SectionNameKey {
  std::string_view operator()(const SameName &s) const noexcept { return s.first->section; }
};
struct PrefixKey {
  std::string_view operator()(const SameName &s) const noexcept {
    const std::string_view name = s.first->section;
    return name.substr(0, name.find('.'));
  }
};
struct ListEntryKey {
  std::string_view operator()(const ListEntry *e) const noexcept { return e->item; }
};

// Names of field sections and list items are kept in their index slots up to
// this length: one slot of 48 bytes for a section name.
inline constexpr std::size_t kIndexedHead = 24;

// Look-ups of one dictionary by name.
struct DictIndexes {
  NameIndex<SameName, SectionNameKey, kIndexedHead> sections;
  NameIndex<ListEntry *, ListEntryKey, kIndexedHead> lists;
  // The distinct prefixes (the part before the first ".") of the field sections,
  // each with the first and last section of its dialog chain: for the catalog
  // check and the walks of one dialog.
  NameIndex<SameName, PrefixKey, kIndexedHead> prefixes;
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
// linear probing over a power-of-two table at most three quarters full. A slot
// holds a variable's place and a 32-bit tag of its section's address (whose top
// bits are the home slot), so that a look-up reads only the variable whose tag
// matches: the variable it looks for.
class SectionVars {
 public:
  // The variable of `section` in `vars`, or kNoVar.
  std::size_t Find(const DictSection *section, const std::vector<Var> &vars) const noexcept {
    if (slots_.empty()) return kNoVar;
    const std::uint32_t tag = Tag(section);
    for (std::size_t i = Home(tag);; i = (i + 1) & Mask()) {
      const Slot &slot = slots_[i];
      if (slot.var == kFree) return kNoVar;
      if (slot.tag == tag && vars[slot.var].section == section) return slot.var;
    }
  }
  // Prefetches the home slot of `section`; then (that slot read) the variable
  // of the first slot with its tag.
  VL_PREFETCHING void PrefetchSlot(const DictSection *section) const noexcept {
    if (!slots_.empty()) PrefetchLine(&slots_[Home(Tag(section))]);
  }
  VL_PREFETCHING void PrefetchVar(const DictSection *section, const std::vector<Var> &vars) const noexcept {
    if (slots_.empty()) return;
    const std::uint32_t tag = Tag(section);
    for (std::size_t i = Home(tag);; i = (i + 1) & Mask()) {
      if (slots_[i].var == kFree) return;
      if (slots_[i].tag == tag) return PrefetchLine(&vars[slots_[i].var]);
    }
  }
  // Records variable `var` (of `vars`) for its section unless the section has
  // one; may throw std::bad_alloc, leaving the table as it was.
  void Add(std::size_t var, const std::vector<Var> &vars) {
    if (var >= kFree) throw std::bad_alloc();
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow(std::max<std::size_t>(16, slots_.size() * 2));
    const DictSection *section = vars[var].section;
    const std::uint32_t tag = Tag(section);
    std::size_t i = Home(tag);
    for (; slots_[i].var != kFree; i = (i + 1) & Mask()) {
      if (slots_[i].tag == tag && vars[slots_[i].var].section == section) return;
    }
    slots_[i] = Slot{static_cast<std::uint32_t>(var), tag};
    ++count_;
  }
  void Reserve(std::size_t n) {
    std::size_t size = 16;
    while (n * 4 > size * 3) size *= 2;
    if (size > slots_.size()) Grow(size);
  }

 private:
  static constexpr std::uint32_t kFree = UINT32_MAX;
  struct Slot {
    std::uint32_t var = kFree;
    std::uint32_t tag = 0;
  };
  static std::uint32_t Tag(const DictSection *section) noexcept {
    return static_cast<std::uint32_t>((reinterpret_cast<std::uintptr_t>(section) * 0x9E3779B97F4A7C15ull) >> 32);
  }
  std::size_t Mask() const noexcept { return slots_.size() - 1; }
  std::size_t Home(std::uint32_t tag) const noexcept { return static_cast<std::size_t>(tag >> shift_); }
  void Grow(std::size_t size) {
    AllocCheck();
    if (size * 3 / 4 >= kFree) throw std::bad_alloc();
    std::vector<Slot> bigger(size);
    std::swap(slots_, bigger);
    shift_ = 32;
    for (std::size_t s = size; s > 1; s >>= 1) --shift_;
    for (const Slot &slot : bigger) {
      if (slot.var == kFree) continue;
      std::size_t i = Home(slot.tag);
      while (slots_[i].var != kFree) i = (i + 1) & Mask();
      slots_[i] = slot;
    }
  }
  std::vector<Slot> slots_;
  std::size_t count_ = 0;
  int shift_ = 32;  // 32 - log2(slots): the tag's top bits give the home slot
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
