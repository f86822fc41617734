// Named lists: host functions 23 to 45. Ten slots of ordered byte-string lists,
// each with a current element that the seek and get functions move and the
// insert, replace and delete functions work on.
#include <algorithm>
#include <iterator>
#include <new>

#include "services_int.h"

namespace vl {
namespace {

// Moves of l_Seek and l_Get; any other mode leaves the position.
enum SeekMode : std::int32_t {
  kSeekStay = 0,  // not a mode of the host: what l_SeekCurr and l_GetCurr do
  kSeekFirst = 1,
  kSeekLast = 2,
  kSeekNext = 3,
  kSeekPrev = 4,
};

// The list of a handle, or nullptr when the handle is outside 1 to 10 or its slot is free.
ListRec *FindList(std::int32_t hdl) noexcept {
  if (hdl < 1 || hdl > kListSlots) return nullptr;
  return Lists().slots[static_cast<std::size_t>(hdl - 1)].get();
}

void SetEol(const ListRec &list, std::int32_t *eol) noexcept { SetOut(eol, list.HasCurrent() ? 0 : 1); }

// Copies the current element, if there is one, into `data`: 18 and `data`
// unchanged when the element is longer than its capacity.
std::int32_t Deliver(const ListRec &list, HostString *data) noexcept {
  if (!list.HasCurrent()) return kHostOk;
  return StoreBytes(data, *list.current);
}

// A private copy of a host string's bytes; false when memory is exhausted.
bool CopyData(const HostString *data, std::string &copy) noexcept {
  if (AllocFails()) return false;
  try {
    copy.assign(HostView(data));
  } catch (const std::bad_alloc &) {
    return false;
  }
  return true;
}

// Inserts a copy of `data` before `before`; returns the new element, or end()
// when memory is exhausted (then nothing changed).
std::list<std::string>::iterator InsertCopy(ListRec &list, std::list<std::string>::iterator before,
                                            const HostString *data) noexcept {
  std::string copy;
  if (!CopyData(data, copy)) return list.elements.end();
  try {
    return list.elements.insert(before, std::move(copy));
  } catch (const std::bad_alloc &) {
    return list.elements.end();
  }
}

std::int32_t Move(ListRec &list, std::int32_t mode) noexcept {
  auto &elements = list.elements;
  switch (mode) {
    case kSeekFirst:
      list.current = elements.begin();
      break;
    case kSeekLast:
      list.current = elements.empty() ? elements.end() : std::prev(elements.end());
      break;
    case kSeekNext:
      if (!list.HasCurrent()) return kHostNoCurrent;
      ++list.current;
      break;
    case kSeekPrev:
      if (!list.HasCurrent()) return kHostNoCurrent;
      list.current = list.current == elements.begin() ? elements.end() : std::prev(list.current);
      break;
    default:
      break;
  }
  return kHostOk;
}

// Makes the idx-th element (counting from 1) current, or none when the list is shorter.
std::int32_t MoveToIdx(ListRec &list, std::int32_t idx) noexcept {
  if (idx < 1) return kHostBadList;
  auto &elements = list.elements;
  auto it = elements.begin();
  for (std::int32_t i = 1; i < idx && it != elements.end(); ++i) ++it;
  list.current = it;
  return kHostOk;
}

// The common shape of the seek and get functions: check the handle, move, set
// `eol`, then deliver when asked. The position and `eol` stay moved when the
// delivery does not fit.
template <typename MoveFn>
std::int32_t MoveThen(std::int32_t hdl, std::int32_t *eol, HostString *data, bool deliver, MoveFn move) noexcept {
  ListRec *list = FindList(hdl);
  if (list == nullptr) return kHostBadList;
  if (const std::int32_t rc = move(*list); rc != kHostOk) return rc;
  SetEol(*list, eol);
  return deliver ? Deliver(*list, data) : kHostOk;
}

std::int32_t SeekBy(std::int32_t hdl, std::int32_t mode, std::int32_t *eol, HostString *data, bool deliver) noexcept {
  return MoveThen(hdl, eol, data, deliver, [mode](ListRec &list) { return Move(list, mode); });
}

std::int32_t SeekIdx(std::int32_t hdl, std::int32_t idx, std::int32_t *eol, HostString *data, bool deliver) noexcept {
  return MoveThen(hdl, eol, data, deliver, [idx](ListRec &list) { return MoveToIdx(list, idx); });
}

}  // namespace

ListState &Lists() noexcept {
  static ListState state;
  return state;
}

void ResetListsForTest() noexcept {
  for (auto &slot : Lists().slots) slot.reset();
}
VL_STATE_RESET(ResetListsForTest);

}  // namespace vl

using vl::ListRec;

std::int32_t l_CreateList(std::int32_t *hdl, HostString *name) {
  vl::SetOut(hdl, 0);
  auto &slots = vl::Lists().slots;
  const auto free = std::find(slots.begin(), slots.end(), nullptr);
  if (free == slots.end()) return vl::kHostNoFreeList;
  if (vl::AllocFails()) return vl::kHostListMemory;
  try {
    auto list = std::make_unique<ListRec>();
    // The name is a text: it ends at its first NUL.
    const std::string_view given = vl::HostView(name);
    list->name.assign(given.substr(0, given.find('\0')));
    *free = std::move(list);
  } catch (const std::bad_alloc &) {
    return vl::kHostListMemory;
  }
  vl::SetOut(hdl, static_cast<std::int32_t>(free - slots.begin()) + 1);
  return vl::kHostOk;
}

std::int32_t l_Name(std::int32_t hdl, HostString *name) {
  const ListRec *list = vl::FindList(hdl);
  if (list == nullptr) return vl::kHostBadList;
  return vl::StoreBytes(name, list->name);
}

std::int32_t l_HdlByName(const char *name, std::int32_t *hdl) {
  const std::string_view wanted = vl::OrEmpty(name);
  const auto &slots = vl::Lists().slots;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (slots[i] != nullptr && vl::EqualNoCase(slots[i]->name, wanted)) {
      vl::SetOut(hdl, static_cast<std::int32_t>(i) + 1);
      return vl::kHostOk;
    }
  }
  vl::SetOut(hdl, 0);
  return vl::kHostOk;
}

std::int32_t l_DeleteList(std::int32_t *hdl) {
  if (hdl == nullptr || vl::FindList(*hdl) == nullptr) return vl::kHostBadList;
  vl::Lists().slots[static_cast<std::size_t>(*hdl - 1)].reset();
  *hdl = 0;
  return vl::kHostOk;
}

std::int32_t l_DeleteAll(void) {
  vl::ResetListsForTest();
  return vl::kHostOk;
}

std::int32_t l_Add(std::int32_t hdl, HostString *data) {
  ListRec *list = vl::FindList(hdl);
  if (list == nullptr) return vl::kHostBadList;
  const auto added = vl::InsertCopy(*list, list->elements.end(), data);
  return added != list->elements.end() ? vl::kHostOk : vl::kHostListMemory;
}

std::int32_t l_Ins(std::int32_t hdl, HostString *data) {
  ListRec *list = vl::FindList(hdl);
  if (list == nullptr) return vl::kHostBadList;
  if (!list->HasCurrent()) return vl::kHostNoCurrent;
  const auto inserted = vl::InsertCopy(*list, list->current, data);
  if (inserted == list->elements.end()) return vl::kHostListMemory;
  list->current = inserted;
  return vl::kHostOk;
}

std::int32_t l_Set(std::int32_t hdl, HostString *data) {
  ListRec *list = vl::FindList(hdl);
  if (list == nullptr) return vl::kHostBadList;
  if (!list->HasCurrent()) return vl::kHostNoCurrent;
  // An empty value needs no copy; otherwise the old bytes stay until the copy is made.
  std::string copy;
  if (!vl::HostView(data).empty() && !vl::CopyData(data, copy)) return vl::kHostListMemory;
  list->current->swap(copy);
  return vl::kHostOk;
}

std::int32_t l_Del(std::int32_t hdl, std::int32_t *eol) {
  ListRec *list = vl::FindList(hdl);
  if (list == nullptr) return vl::kHostBadList;
  if (!list->HasCurrent()) return vl::kHostNoCurrent;
  list->current = list->elements.erase(list->current);
  vl::SetEol(*list, eol);
  return vl::kHostOk;
}

std::int32_t l_Get(std::int32_t hdl, std::int32_t mode, HostString *data, std::int32_t *eol) {
  return vl::SeekBy(hdl, mode, eol, data, true);
}
std::int32_t l_GetCurr(std::int32_t hdl, HostString *data, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekStay, eol, data, true);
}
std::int32_t l_GetFirst(std::int32_t hdl, HostString *data, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekFirst, eol, data, true);
}
std::int32_t l_GetLast(std::int32_t hdl, HostString *data, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekLast, eol, data, true);
}
std::int32_t l_GetNext(std::int32_t hdl, HostString *data, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekNext, eol, data, true);
}
std::int32_t l_GetPrev(std::int32_t hdl, HostString *data, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekPrev, eol, data, true);
}
std::int32_t l_GetIdx(std::int32_t hdl, std::int32_t idx, HostString *data, std::int32_t *eol) {
  return vl::SeekIdx(hdl, idx, eol, data, true);
}

std::int32_t l_Seek(std::int32_t hdl, std::int32_t mode, std::int32_t *eol) {
  return vl::SeekBy(hdl, mode, eol, nullptr, false);
}
std::int32_t l_SeekCurr(std::int32_t hdl, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekStay, eol, nullptr, false);
}
std::int32_t l_SeekFirst(std::int32_t hdl, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekFirst, eol, nullptr, false);
}
std::int32_t l_SeekLast(std::int32_t hdl, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekLast, eol, nullptr, false);
}
std::int32_t l_SeekNext(std::int32_t hdl, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekNext, eol, nullptr, false);
}
std::int32_t l_SeekPrev(std::int32_t hdl, std::int32_t *eol) {
  return vl::SeekBy(hdl, vl::kSeekPrev, eol, nullptr, false);
}
std::int32_t l_SeekIdx(std::int32_t hdl, std::int32_t idx, std::int32_t *eol) {
  return vl::SeekIdx(hdl, idx, eol, nullptr, false);
}
