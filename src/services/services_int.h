// The module's utility services: the ten named lists (host functions 23 to 45,
// lists.cpp), the host variables (functions 6 to 8, hostvars.cpp), the object
// path helpers and field description reader (functions 9 to 12, paths.cpp), and
// the module definition file reader (function 46, mdf.cpp). Only the last writes
// diagnostics.
//
// The host functions themselves are declared in services_host.h; this private
// header holds the process-wide state they keep (each struct beside its accessor
// and reset, which ResetForTest runs), so that tests can look into it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host.h"
#include "services_host.h"

namespace vl {

// Writes an integer or real out-argument; a null pointer is skipped.
inline void SetOut(std::int32_t *out, std::int32_t value) noexcept {
  if (out != nullptr) *out = value;
}
inline void SetOut(double *out, double value) noexcept {
  if (out != nullptr) *out = value;
}

// ---------------------------------------------------------------------------
// Named lists
//
// Up to ten lists of byte strings, addressed by handle (slot number plus one,
// 1 to 10; 0 means no list). Each list has a name, its elements in order and a
// current element, which may be none ("end of list": eol 1).
// ---------------------------------------------------------------------------

inline constexpr int kListSlots = 10;

struct ListRec {
  ListRec() = default;
  ListRec(const ListRec &) = delete;  // `current` points into this record's own elements
  ListRec &operator=(const ListRec &) = delete;

  std::string name;                       // the name given at creation, up to its first NUL
  std::list<std::string> elements;        // the elements in order; any bytes, any length
  std::list<std::string>::iterator current = elements.end();  // end(): no current element

  bool HasCurrent() const noexcept { return current != elements.end(); }
};

struct ListState {
  std::array<std::unique_ptr<ListRec>, kListSlots> slots;  // empty slot: no list
};

// The process-wide lists (created empty on first use).
ListState &Lists() noexcept;

// Frees every list (the lists' reset; l_DeleteAll does the same for the host).
void ResetListsForTest() noexcept;

// ---------------------------------------------------------------------------
// Host variables
//
// Named byte-string values kept across host calls. Names are matched exactly,
// byte for byte and with regard to case. The variables live in a table of
// entries that grows by 100 free entries at a time and never shrinks; a new
// variable takes the lowest free entry, so an entry freed by v_Unset is reused.
// An index from name to entry keeps look-ups independent of the table's size.
// ---------------------------------------------------------------------------

inline constexpr std::size_t kVarTableStep = 100;

struct VarEntry {
  bool used = false;        // false: the entry is free
  std::uint64_t hash = 0;   // hash of the name, kept for rebuilding the index
  std::string name;         // the variable's name, all its bytes
  std::string value;        // the value's bytes; empty for length 0
};

struct VarState {
  std::vector<VarEntry> table;  // the entries; grown by kVarTableStep, never shrunk
  // The free entries' numbers as a min-heap (lowest on top). Its capacity always
  // covers the whole table, so freeing an entry never allocates.
  std::vector<std::size_t> freeEntries;
  // The index: open addressing with linear probing over a power-of-two array that
  // is at most half full. A slot holds the entry number plus one in its low 32
  // bits (0: an empty slot) and the high 32 bits of the name's hash above them.
  std::vector<std::uint64_t> slots;
  std::size_t used = 0;  // variables in the table (filled slots)
};

// The process-wide host variables (created empty on first use).
VarState &Vars() noexcept;

// The entry that holds the variable of this name, or -1 when there is none.
long VarEntryOf(std::string_view name) noexcept;

// Removes every variable and the table itself (the variables' reset, for tests
// and benchmarks).
void ResetVarsForTest() noexcept;

// ---------------------------------------------------------------------------
// Module definition files
//
// mdf_Get reads one section of a module definition file through the INI reader
// and returns it as an XBUF of "Mdf_" entries. The values read last stay in a
// process-wide cache keyed by file name and section, so repeated calls do not
// read the file again.
// ---------------------------------------------------------------------------

// Drops the cached values (the cache's reset, for tests).
void ResetMdfForTest();

}  // namespace vl
