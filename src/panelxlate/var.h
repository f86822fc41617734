// The item store: ordered lists of (name, value) texts, and the configuration
// store made of them.
//
// An item list keeps its items in the order of their first assignment; setting
// a name again replaces the value in place. An item whose value is empty counts
// as removed: walks skip it, look-ups still find it, and setting the name again
// fills it in place. Names are compared exactly.
//
// The configuration store is one process-wide list of sections, in the order
// of their first appearance, each with an item list. All configuration files of
// a run add to it; configuration look-ups ("item X of section S") go through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace panelxlate {

struct VarItem {
  std::string name;
  std::string value;  // empty: the item counts as removed
};

// Hash and equality that let maps keyed by std::string be searched with a
// std::string_view.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

class VarList {
 public:
  VarList() = default;
  VarList(const VarList &other) : items_(other.items_) {}
  VarList &operator=(const VarList &other);
  VarList(VarList &&) noexcept = default;
  VarList &operator=(VarList &&) noexcept = default;

  // The item of that name (removed ones included), or null.
  VarItem *Find(std::string_view name);
  const VarItem *Find(std::string_view name) const;
  // The value of a non-empty item of that name, or null.
  const std::string *Value(std::string_view name) const;

  std::size_t size() const { return items_.size(); }
  VarItem &operator[](std::size_t i) { return items_[i]; }
  const VarItem &operator[](std::size_t i) const { return items_[i]; }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  friend VarItem *VarSet(VarList &list, std::string_view name, std::string_view value);

  // Lists longer than this are searched through a hash index built on demand.
  static constexpr std::size_t kIndexFrom = 12;

  std::size_t IndexOf(std::string_view name) const;  // size() when absent

  std::vector<VarItem> items_;
  mutable std::unique_ptr<TextMap<std::size_t>> index_;  // name -> position, for long lists
};

// Sets `name` to `value` in `list` (in place when the name is there, else as a
// new item at the end) and returns the item, valid until the list changes.
// When memory is exhausted it writes "VarSet() failed: heap overflow (1)",
// "(2)" or "(3)" (for the new item, its name, its value) and returns null.
VarItem *VarSet(VarList &list, std::string_view name, std::string_view value);

// Item walks with one process-wide cursor: VarFirst starts at the first
// non-empty item of a list; VarNext returns the next non-empty item, or null at
// the end, which also ends the walk. VarNext without a walk writes "VarNext()
// failed: CurrVar not set" and returns null.
const VarItem *VarFirst(const VarList &list);
const VarItem *VarNext();

// ---------------------------------------------------------------------------
// The configuration store
// ---------------------------------------------------------------------------
struct Section {
  std::string name;  // compared exactly
  VarList items;
};

// The section of that name, or null.
Section *FindSection(std::string_view name);
// The section of that name, created at the end of the section list when new.
// Throws std::bad_alloc when memory is exhausted.
Section *AddSection(std::string_view name);
// Sets an item of a section (VarSet; null after its message).
VarItem *SectionSet(Section &section, std::string_view name, std::string_view value);
// Item `item` of section `section` (removed ones included), or null.
const VarItem *CfgItem(std::string_view section, std::string_view item);
// The first section, in section order, whose item `item` has the value `value`.
Section *FindSectionWithItem(std::string_view item, std::string_view value);

// The section that configuration lines without a header go to; none before the
// first header, carried over from one configuration file to the next.
Section *CurrentSection();
void SetCurrentSection(Section *section);

// Empties the store and ends any walk (for tests).
void ResetVarStore();

}  // namespace panelxlate
