// Internals of the dictionary engine shared by its source modules: the indexes
// by name and the process-wide state (dictList and the dialog level stack).
#pragma once

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dict.h"

namespace vl {

// Look-ups of one dictionary by name. Keys view texts owned by the records.
struct DictIndexes {
  // The first and the last field section of each name; the ones between follow
  // DictSection::nextSame from the first.
  struct SameName {
    DictSection *first;
    DictSection *last;
  };
  std::unordered_map<std::string_view, SameName, NoCaseHash, NoCaseEqual> sections;
  // List entries by item.
  std::unordered_map<std::string_view, ListEntry *, NoCaseHash, NoCaseEqual> lists;
};

// The handles of one level number (the records of one level that lie together on
// the stack), by catalog handle; each vector in creation order, so the handle a
// search meets first is at its back.
struct LevelGroup {
  std::int32_t level = 0;
  std::size_t records = 0;  // level records in the group
  std::unordered_map<std::string, std::vector<DlgHandle *>, NoCaseHash, NoCaseEqual> handles;
};

// The engine's process-wide state.
struct DictState {
  Dict *dictList = nullptr;                          // open dictionaries, newest first
  std::vector<std::unique_ptr<DlgLevel>> dlgLevels;  // the level stack, bottom first
  std::vector<LevelGroup> groups;                    // one per level number on the stack, bottom first
  // Every handle by each of its ids (dialog id and aliases), with repeats when a
  // handle holds the same text twice; the one a search meets first has the
  // highest seq.
  std::unordered_map<std::string, std::vector<DlgHandle *>, NoCaseHash, NoCaseEqual> ids;
  std::uint64_t handleSeq = 0;                       // seq of the last handle made
  // The linked model dictionaries that have a field section of each name, in the
  // order they were linked: the last one is the nearest to the head of dictList,
  // the one inheritance takes.
  std::unordered_map<std::string, std::vector<Dict *>, NoCaseHash, NoCaseEqual> modelSections;
};
DictState &dictState();

// Throws std::bad_alloc when the allocation seam says an allocation fails, so that
// tests reach every memory failure of the engine.
inline void AllocCheck() {
  if (AllocFails()) throw std::bad_alloc();
}

// Drops a level record's handles from the id index (dictutil).
void ForgetHandleIds(DlgHandle &handle);

}  // namespace vl
