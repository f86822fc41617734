// Host variables: host functions 6 to 8. Named byte-string values that live
// across host calls, in a table that grows by 100 entries and reuses the entries
// that v_Unset frees, the lowest first.
//
// A name is matched exactly: every byte, with regard to case, and the whole
// length, so a stored name that merely begins a longer given name is another
// variable. The index from name to entry (open addressing, see VarState) makes a
// look-up cost the same however many variables there are: one probe into a
// compact array, then one comparison of names.
#include <algorithm>
#include <functional>
#include <limits>
#include <new>

#include "services_int.h"

namespace vl {
namespace {

constexpr std::uint64_t kEntryBits = 0xffffffffu;  // the entry part of an index slot
constexpr std::size_t kFirstIndexSize = 256;

std::uint64_t HashName(std::string_view name) noexcept { return std::hash<std::string_view>{}(name); }

std::size_t SlotEntry(std::uint64_t slot) noexcept { return static_cast<std::size_t>((slot & kEntryBits) - 1); }

std::uint64_t MakeSlot(std::uint64_t hash, std::size_t entry) noexcept {
  return (hash & ~kEntryBits) | (static_cast<std::uint64_t>(entry) + 1);
}

// The slot that holds the variable called `name`, or the empty slot where it
// would go. The index must not be empty.
std::size_t Probe(const VarState &vars, std::string_view name, std::uint64_t hash) noexcept {
  const std::size_t mask = vars.slots.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint64_t slot = vars.slots[i];
    if (slot == 0) return i;
    if ((slot & ~kEntryBits) == (hash & ~kEntryBits) && vars.table[SlotEntry(slot)].name == name) return i;
  }
}

// The entry of the variable called `name`, or -1.
long FindEntry(const VarState &vars, std::string_view name, std::uint64_t hash) noexcept {
  if (vars.slots.empty()) return -1;
  const std::uint64_t slot = vars.slots[Probe(vars, name, hash)];
  return slot == 0 ? -1 : static_cast<long>(SlotEntry(slot));
}

// Makes room in the index for one more variable, rebuilding it twice as large
// when it would be more than half full. False when memory is exhausted (then the
// index is unchanged).
bool ReserveSlot(VarState &vars) noexcept {
  if ((vars.used + 1) * 2 <= vars.slots.size()) return true;
  std::vector<std::uint64_t> bigger;
  try {
    bigger.assign(std::max(kFirstIndexSize, vars.slots.size() * 2), 0);
  } catch (const std::bad_alloc &) {
    return false;
  }
  const std::size_t mask = bigger.size() - 1;
  for (std::size_t entry = 0; entry < vars.table.size(); ++entry) {
    const VarEntry &e = vars.table[entry];
    if (!e.used) continue;
    std::size_t i = e.hash & mask;
    while (bigger[i] != 0) i = (i + 1) & mask;
    bigger[i] = MakeSlot(e.hash, entry);
  }
  vars.slots.swap(bigger);
  return true;
}

// Empties slot i and moves later slots of the same probe run back, so that no
// look-up stops short at the hole.
void EraseSlot(VarState &vars, std::size_t i) noexcept {
  const std::size_t mask = vars.slots.size() - 1;
  for (std::size_t j = (i + 1) & mask; vars.slots[j] != 0; j = (j + 1) & mask) {
    const std::size_t home = vars.table[SlotEntry(vars.slots[j])].hash & mask;
    // The slot at j may fill the hole when its home is not between the hole and j.
    if (((j - home) & mask) >= ((j - i) & mask)) {
      vars.slots[i] = vars.slots[j];
      i = j;
    }
  }
  vars.slots[i] = 0;
  --vars.used;
}

// Grows the table by one step of free entries; false when memory is exhausted
// (then nothing changed).
bool GrowTable(VarState &vars) noexcept {
  if (AllocFails()) return false;
  const std::size_t old = vars.table.size();
  const std::size_t grown = old + kVarTableStep;
  if (grown > kEntryBits - 1) return false;  // entry numbers must fit an index slot
  try {
    // The heap's capacity grows geometrically, like the table's, so that growing
    // step by step costs constant time per entry.
    if (vars.freeEntries.capacity() < grown) vars.freeEntries.reserve(std::max(grown, 2 * vars.freeEntries.capacity()));
    vars.table.resize(grown);
  } catch (const std::bad_alloc &) {
    return false;
  }
  for (std::size_t i = old; i < grown; ++i) {
    vars.freeEntries.push_back(i);
    std::push_heap(vars.freeEntries.begin(), vars.freeEntries.end(), std::greater<>{});
  }
  return true;
}

// A private copy of some bytes. `always`: the copy counts as an allocation even
// when empty (a name); otherwise an empty value needs no memory. False when memory
// is exhausted.
bool CopyBytes(std::string_view bytes, std::string &copy, bool always) noexcept {
  if (bytes.empty() && !always) return true;
  if (AllocFails()) return false;
  try {
    copy.assign(bytes);
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

// Makes a new variable in the lowest free entry. Nothing changes when memory is
// exhausted.
std::int32_t NewVariable(VarState &vars, std::string_view name, std::uint64_t hash, std::string_view value) noexcept {
  if (vars.freeEntries.empty() && !GrowTable(vars)) return kHostNoMemory;
  std::string nameCopy;
  std::string valueCopy;
  if (!CopyBytes(name, nameCopy, true) || !CopyBytes(value, valueCopy, false) || !ReserveSlot(vars)) {
    return kHostNoMemory;
  }
  const std::size_t entry = vars.freeEntries.front();
  std::pop_heap(vars.freeEntries.begin(), vars.freeEntries.end(), std::greater<>{});
  vars.freeEntries.pop_back();
  VarEntry &e = vars.table[entry];
  e.used = true;
  e.hash = hash;
  e.name.swap(nameCopy);
  e.value.swap(valueCopy);
  vars.slots[Probe(vars, name, hash)] = MakeSlot(hash, entry);
  ++vars.used;
  return kHostOk;
}

}  // namespace

VarState &Vars() noexcept {
  static VarState state;
  return state;
}

long VarEntryOf(std::string_view name) noexcept { return FindEntry(Vars(), name, HashName(name)); }

void ResetVarsForTest() noexcept { Vars() = VarState{}; }
VL_STATE_RESET(ResetVarsForTest);

}  // namespace vl

std::int32_t v_Set(HostString *name, HostString *value) {
  vl::VarState &vars = vl::Vars();
  const std::string_view key = vl::HostView(name);
  const std::uint64_t hash = vl::HashName(key);
  const long entry = vl::FindEntry(vars, key, hash);
  if (entry < 0) return vl::NewVariable(vars, key, hash, vl::HostView(value));
  // The old value stays when the new one cannot be copied.
  std::string copy;
  if (!vl::CopyBytes(vl::HostView(value), copy, false)) return vl::kHostNoMemory;
  vars.table[static_cast<std::size_t>(entry)].value.swap(copy);
  return vl::kHostOk;
}

std::int32_t v_Unset(HostString *name) {
  vl::VarState &vars = vl::Vars();
  const std::string_view key = vl::HostView(name);
  if (vars.slots.empty()) return vl::kHostOk;
  const std::size_t slot = vl::Probe(vars, key, vl::HashName(key));
  if (vars.slots[slot] == 0) return vl::kHostOk;
  const std::size_t entry = vl::SlotEntry(vars.slots[slot]);
  vl::EraseSlot(vars, slot);
  vl::VarEntry &freed = vars.table[entry];
  freed.used = false;
  freed.hash = 0;
  std::string().swap(freed.name);  // gives the name's and the value's memory back
  std::string().swap(freed.value);
  // The heap's capacity covers the table, so this push does not allocate.
  vars.freeEntries.push_back(entry);
  std::push_heap(vars.freeEntries.begin(), vars.freeEntries.end(), std::greater<>{});
  return vl::kHostOk;
}

std::int32_t v_Get(HostString *name, HostString *value) {
  const vl::VarState &vars = vl::Vars();
  const std::string_view key = vl::HostView(name);
  const long entry = vl::FindEntry(vars, key, vl::HashName(key));
  if (entry < 0) {
    if (value != nullptr) value->len = 0;
    return vl::kHostOk;
  }
  return vl::StoreBytes(value, vars.table[static_cast<std::size_t>(entry)].value);
}
