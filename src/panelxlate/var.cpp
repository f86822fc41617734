// The item store and the configuration store (see var.h).
#include "var.h"

#include <new>

#include "msg.h"

namespace panelxlate {
namespace {

struct VarState {
  std::vector<std::unique_ptr<Section>> sections;  // in order of first appearance
  TextMap<Section *> byName;                       // section name -> section
  Section *current = nullptr;                      // CurrSection of the configuration reader
  std::uint64_t version = 0;                       // raised by every change of the store

  // FindSectionWithItem: value -> first section, per item name, for `version`.
  TextMap<TextMap<Section *>> byItemValue;
  std::uint64_t byItemValueVersion = 0;

  // The walk cursor (CurrVar): the list and the position of the next candidate.
  const VarList *walkList = nullptr;
  std::size_t walkPos = 0;
};

VarState &Store() {
  static VarState state;
  return state;
}

// The first non-empty item from position `pos` on; moves the cursor past it.
const VarItem *WalkFrom(const VarList &list, std::size_t pos) {
  VarState &s = Store();
  for (; pos < list.size(); ++pos) {
    if (!list[pos].value.empty()) {
      s.walkList = &list;
      s.walkPos = pos + 1;
      return &list[pos];
    }
  }
  s.walkList = nullptr;
  return nullptr;
}

}  // namespace

VarList &VarList::operator=(const VarList &other) {
  if (this != &other) {
    items_ = other.items_;
    index_.reset();
  }
  return *this;
}

std::size_t VarList::IndexOf(std::string_view name) const {
  if (items_.size() <= kIndexFrom) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].name == name) return i;
    }
    return items_.size();
  }
  if (!index_ || index_->size() != items_.size()) {
    auto index = std::make_unique<TextMap<std::size_t>>();
    index->reserve(items_.size() * 2);
    for (std::size_t i = 0; i < items_.size(); ++i) index->emplace(items_[i].name, i);
    index_ = std::move(index);
  }
  const auto it = index_->find(name);
  return it == index_->end() ? items_.size() : it->second;
}

VarItem *VarList::Find(std::string_view name) {
  const std::size_t i = IndexOf(name);
  return i < items_.size() ? &items_[i] : nullptr;
}

const VarItem *VarList::Find(std::string_view name) const {
  const std::size_t i = IndexOf(name);
  return i < items_.size() ? &items_[i] : nullptr;
}

const std::string *VarList::Value(std::string_view name) const {
  const VarItem *item = Find(name);
  return item != nullptr && !item->value.empty() ? &item->value : nullptr;
}

VarItem *VarSet(VarList &list, std::string_view name, std::string_view value) {
  int stage = 3;  // what is being allocated: 1 the new item, 2 its name, 3 its value
  try {
    if (VarItem *item = list.Find(name)) {
      CheckAlloc("VarSet(3)");
      item->value.assign(value);
      return item;
    }
    VarItem fresh;
    stage = 2;
    CheckAlloc("VarSet(2)");
    fresh.name.assign(name);
    stage = 3;
    CheckAlloc("VarSet(3)");
    fresh.value.assign(value);
    stage = 1;
    CheckAlloc("VarSet(1)");
    list.items_.push_back(std::move(fresh));
    if (list.index_) list.index_->emplace(list.items_.back().name, list.items_.size() - 1);
  } catch (const std::bad_alloc &) {
    if (stage == 1) list.index_.reset();  // rebuilt on the next search
    msg_print('V', 1, "VarSet() failed: heap overflow (%d)", stage);
    return nullptr;
  }
  return &list.items_.back();
}

const VarItem *VarFirst(const VarList &list) { return WalkFrom(list, 0); }

const VarItem *VarNext() {
  VarState &s = Store();
  if (s.walkList == nullptr) {
    msg_print('V', 1, "VarNext() failed: CurrVar not set");
    return nullptr;
  }
  return WalkFrom(*s.walkList, s.walkPos);
}

Section *FindSection(std::string_view name) {
  const VarState &s = Store();
  const auto it = s.byName.find(name);
  return it == s.byName.end() ? nullptr : it->second;
}

Section *AddSection(std::string_view name) {
  if (Section *section = FindSection(name)) return section;
  VarState &s = Store();
  auto section = std::make_unique<Section>();
  section->name.assign(name);
  s.sections.push_back(std::move(section));
  try {
    s.byName.emplace(s.sections.back()->name, s.sections.back().get());
  } catch (const std::bad_alloc &) {
    s.sections.pop_back();
    throw;
  }
  ++s.version;
  return s.sections.back().get();
}

VarItem *SectionSet(Section &section, std::string_view name, std::string_view value) {
  ++Store().version;
  return VarSet(section.items, name, value);
}

const VarItem *CfgItem(std::string_view section, std::string_view item) {
  const Section *found = FindSection(section);
  return found == nullptr ? nullptr : found->items.Find(item);
}

Section *FindSectionWithItem(std::string_view item, std::string_view value) {
  VarState &s = Store();
  if (s.byItemValueVersion != s.version) {
    s.byItemValue.clear();
    s.byItemValueVersion = s.version;
  }
  auto it = s.byItemValue.find(item);
  if (it == s.byItemValue.end()) {
    TextMap<Section *> index;
    for (const auto &section : s.sections) {
      if (const VarItem *found = section->items.Find(item)) index.emplace(found->value, section.get());
    }
    it = s.byItemValue.emplace(std::string(item), std::move(index)).first;
  }
  const auto hit = it->second.find(value);
  return hit == it->second.end() ? nullptr : hit->second;
}

Section *CurrentSection() { return Store().current; }
void SetCurrentSection(Section *section) { Store().current = section; }

void ResetVarStore() { Store() = VarState{}; }

}  // namespace panelxlate
