// The checks of dialog objects against the dictionary (see dlgcheck.h).
#include "dlgcheck.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common.h"
#include "dict.h"
#include "msg.h"

namespace glosscheck {
namespace {

// ---------------------------------------------------------------------------
// Messages (letter D; level 1 fatal, level 2 warning)
// ---------------------------------------------------------------------------
constexpr char kMissingAttribute[] = "AddDlgObj(line %d) failed: missing attribute, path='%s'";
constexpr char kUnknownClass[] = "AddDlgObj(line %d) failed: unknown class name '%s', path='%s'";
constexpr char kUnknownModel[] = "AddDlgObj(line %d) failed: unknown model '%s', path='%s'";
constexpr char kUnknownDialog[] = "AddDlgObj(line %d) failed: cannot find dialog name '%s' in [catalog]";
constexpr char kRadioListOverflow[] = "AddFile() failed: heap overflow";
constexpr char kMissingIndex[] = "AddDlgObj(line %d) failed: missing RadioButton index, path='%s'";
constexpr char kInvalidIndex[] = "AddDlgObj(line %d) failed: invalid RadioButton index, path='%s'";
constexpr char kPathTooLong[] = "AddDlgObj(line %d) failed: path longer than %d characters, path='%.*s...'";
constexpr char kUnknownPath[] = "AddDlgObj(line %d) failed: unknown dictionary path '%s'";
constexpr char kObjectOverflow[] = "AddDlgObj(line %d) failed: heap overflow, path='%s'";
constexpr char kInvalidType[] = "SetDlgObj(line %d) failed: invalid variable type for attribute '.%s', path='%s'";

constexpr char kInvalidPath[] = "LocateDictObj() failed: invalid path '%s'";
constexpr char kNoCurrentDict[] = "LocateDictObj() failed: current dict not found (internal error)";
constexpr char kNoPathItem[] = "LocateDictObj() failed: unknown item 'PATH' (internal error)";
constexpr char kIndexOverflow[] = "LocateDictObj() failed: heap overflow";
constexpr char kCaseMismatch[] =
    "LocateDictObj() warning: case mismatch in path '%s', replace with '%s' in dictionary section '%s'";

constexpr char kNotFound[] = "CheckDlgObjs(line %d) warning: object '%s' not found in dictionary, class=%s";
constexpr char kTypeMismatch[] = "CheckObjType() failed: OBJTYPE mismatch in section '%s', replace with '%s'";
constexpr char kOfSensitive[] =
    "CheckDlgObjs(line %d) warning: OBJTYPE=OF in section '%s', so .sensitive should be set to '0' (object='%s')";
constexpr char kMtMultiline[] =
    "CheckDlgObjs(line %d) failed: OBJTYPE=MT in section '%s', so .multiline must be set to '1' (object='%s')";
constexpr char kMaxcharsLess[] =
    "CheckDlgObjs(line %d) failed: .maxchars is less than LEN in section '%s' (object='%s', .maxchars=%d, LEN=%d)";
constexpr char kMaxcharsMore[] =
    "CheckDlgObjs(line %d) warning: .maxchars is more than LEN in section '%s' (object='%s', .maxchars=%d, LEN=%d)";
constexpr char kRule[] = "CheckDlgObjs(line %d) warning: .rule has nonstandard value '%d', should be set to '998' (object='%s')";
constexpr char kMinRange[] = "CheckDlgObjs() failed: MIN must have a value between %d and %d (section='%s')";
constexpr char kWidth[] = "CheckDlgObjs(line %d) warning: .w is %s than LEN in section '%s' (object='%s', .w=%d, LEN=%d)";

constexpr char kListNoCurrentDict[] = "ListSections() failed: current dict not found (internal error)";
constexpr char kListHead[] = "--- the following dictionary sections are not referenced:";
constexpr char kListLine[] = "    %s";

constexpr std::int32_t kStandardRule = 998;  // the .rule an ET field should have

// The class table: names compared without regard to case.
struct ClassRow {
  const char *name;
  DlgClass code;
};
constexpr ClassRow kClasses[] = {
    {"EditText", kClassEditText}, {"StaticText", kClassStaticText}, {"CheckBox", kClassCheckBox},
    {"RadioButton", kClassRadioButton}, {"ListBox", kClassListBox}, {"Window", kClassNone},
    {"Dialog", kClassNone},       {"PushButton", kClassNone},       {"GroupBox", kClassNone},
};

const ClassRow *FindClass(std::string_view name) {
  for (const ClassRow &row : kClasses)
    if (vl::EqualNoCase(row.name, name)) return &row;
  return nullptr;
}

// The class table's name for a code; "??" for none.
const char *ClassName(std::int32_t code) {
  for (const ClassRow &row : kClasses)
    if (row.code == code && code != kClassNone) return row.name;
  return "??";
}

// ---------------------------------------------------------------------------
// Records and lists
// ---------------------------------------------------------------------------

// Empties a container and gives its memory back. A map is emptied first: its
// keys may view texts that are gone already (a dictionary closed before), and
// swapping a map that still holds nodes reads a key.
template <typename Container>
void Release(Container &c) {
  c.clear();
  Container().swap(c);
}

// One dialog object (a radio button group shares one).
struct DialogObject {
  std::string path;           // dictionary form in dialog mode; as read in model mode
  std::int32_t classCode = kClassNone;
  std::int32_t line = 0;      // DLG line of the first DLG NEW
  std::int32_t minIndex = -1; // smallest radio button index seen (-1: none)
  std::int32_t maxIndex = -1; // largest radio button index seen
  std::int32_t w = 0;         // .w
  std::int32_t maxchars = 0;  // .maxchars
  std::int32_t multiline = 0; // .multiline
  std::int32_t sensitive = 1; // .sensitive
  std::int32_t rule = 0;      // .rule
};

// Records in creation order, found by path without regard to case.
class ObjectList {
 public:
  DialogObject *Find(std::string_view path) {
    const auto found = byPath_.find(path);
    return found != byPath_.end() ? found->second : nullptr;
  }
  // May throw std::bad_alloc, leaving the list as it was.
  DialogObject &Append(std::string_view path, std::int32_t classCode, std::int32_t line) {
    if (vl::AllocFails()) throw std::bad_alloc();
    DialogObject &record = records_.emplace_back();
    try {
      record.path.assign(path);
      record.classCode = classCode;
      record.line = line;
      byPath_.emplace(record.path, &record);
    } catch (...) {
      records_.pop_back();
      throw;
    }
    return record;
  }
  const std::deque<DialogObject> &records() const { return records_; }
  void Clear() {
    Release(byPath_);
    Release(records_);
  }

 private:
  std::deque<DialogObject> records_;  // never moves a record, so byPath_ may view their paths
  std::unordered_map<std::string_view, DialogObject *, vl::NoCaseHash, vl::NoCaseEqual> byPath_;
};

// The sections of the current dictionary, in dictionary order, and the first
// section still there for each "<prefix>.<PATH>", where prefix is the section
// name up to its first "." (an object path in dictionary form is such a key).
// Sections leave the list through RemoveDictObj; their neighbours are kept
// here, so that the engine unlinks them without walking its list.
class SectionIndex {
 public:
  static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

  const vl::Dict *dict() const { return dict_; }

  // Indexes every section of `dict`; `pathItem` is the row of the PATH item.
  // May throw std::bad_alloc (the index is then empty).
  void Build(const vl::Dict &dict, const vl::DictItem &pathItem) {
    Clear();
    try {
      if (vl::AllocFails()) throw std::bad_alloc();
      std::size_t count = 0;
      std::size_t keyBytes = 0;
      std::string path;
      for (const vl::DictSection *s = dict.sections; s != nullptr; s = s->next) {
        ++count;
        pathItem.get(s->obj, path);
        keyBytes += s->section.size() + path.size();
      }
      if (count >= kNone) throw std::bad_alloc();
      keys_.reserve(keyBytes);  // the keys never move: first_ views them
      order_.reserve(count);
      nextSame_.reserve(count);
      first_.reserve(count);
      for (vl::DictSection *s = dict.sections; s != nullptr; s = s->next) {
        const auto slot = static_cast<std::uint32_t>(order_.size());
        order_.push_back(s);
        nextSame_.push_back(kNone);
        pathItem.get(s->obj, path);
        if (!KeyOf(*s, path)) continue;  // no object path leads to it
        const std::size_t start = keys_.size();
        keys_.append(path);
        const std::string_view key(keys_.data() + start, keys_.size() - start);
        const auto [at, added] = first_.emplace(key, Chain{slot, slot});
        if (!added) {
          nextSame_[at->second.last] = slot;
          at->second.last = slot;
        }
      }
      prev_.resize(count);
      next_.resize(count);
      for (std::uint32_t i = 0; i < count; ++i) {
        prev_[i] = i == 0 ? kNone : i - 1;
        next_[i] = i + 1 == count ? kNone : i + 1;
      }
      dict_ = &dict;
    } catch (...) {
      Clear();
      throw;
    }
  }

  // The slot of the first section left whose key is `path`, or kNone.
  std::uint32_t Find(std::string_view path) {
    const auto found = first_.find(path);
    if (found == first_.end()) return kNone;
    found_ = &found->second;
    return found_->first;
  }
  vl::DictSection *Section(std::uint32_t slot) const { return order_[slot]; }

  // Takes the section of `slot` out of the dictionary and the index.
  void Remove(vl::Dict &dict, std::uint32_t slot, const vl::DictItem &pathItem) {
    if (found_ != nullptr && found_->first == slot) {  // what Find gave last: the usual case
      found_->first = nextSame_[slot];
    } else {
      std::string key;
      pathItem.get(order_[slot]->obj, key);
      const auto found = KeyOf(*order_[slot], key) ? first_.find(key) : first_.end();
      if (found != first_.end() && found->second.first == slot) found->second.first = nextSame_[slot];
    }
    found_ = nullptr;
    const std::uint32_t before = prev_[slot];
    (void)vl::RemoveSection(dict, *order_[slot], before != kNone ? order_[before] : nullptr);
    if (before != kNone) next_[before] = next_[slot];
    if (next_[slot] != kNone) prev_[next_[slot]] = before;
  }

  void Clear() {
    dict_ = nullptr;
    found_ = nullptr;
    Release(first_);
    Release(keys_);
    for (auto *v : {&prev_, &next_, &nextSame_}) Release(*v);
    Release(order_);
  }

 private:
  // Turns the PATH text of `section` into its key "<prefix>.<PATH>"; false
  // when the section has no prefix or no PATH.
  static bool KeyOf(const vl::DictSection &section, std::string &path) {
    const std::size_t dot = section.section.find('.');
    if (dot == std::string::npos || path.empty()) return false;
    path.insert(0, section.section, 0, dot + 1);
    return true;
  }

  struct Chain {
    std::uint32_t first;  // the first section left with the key (kNone: none)
    std::uint32_t last;   // the last one indexed (while building)
  };
  const vl::Dict *dict_ = nullptr;            // the dictionary indexed; none: not built
  Chain *found_ = nullptr;                    // the chain Find found last
  std::vector<vl::DictSection *> order_;      // every section, in dictionary order
  std::vector<std::uint32_t> prev_, next_;    // neighbours still in the list
  std::vector<std::uint32_t> nextSame_;       // the next slot with the same key
  std::string keys_;                          // the keys, one after the other
  std::unordered_map<std::string_view, Chain, vl::NoCaseHash, vl::NoCaseEqual> first_;
};

// The state of the checks: the reading mode, the lists, and the indexes of the
// current dictionary's catalog and sections.
struct DlgCheckState {
  DlgReadMode mode = DlgReadMode::kDialog;
  bool ignorePathCase = false;
  ObjectList objects;                          // dialog object list (dialog mode)
  ObjectList models;                           // dialog model list (model mode)
  std::unordered_set<std::string> radioButtons;  // object paths of radio buttons, index included
  // The object of the last event: the attributes of an object follow it, so
  // they are found without a look-up. No record: nothing is known.
  struct {
    std::string path;            // the object path as read
    DialogObject *record = nullptr;
    std::int32_t index = -1;     // its radio button index (-1: none)
  } last;
  const vl::Dict *catalogOf = nullptr;         // the dictionary `catalog` was made for
  std::unordered_map<std::string_view, const vl::CatalogEntry *, vl::NoCaseHash, vl::NoCaseEqual> catalog;
  SectionIndex sections;
};

DlgCheckState &State() {
  static DlgCheckState state;
  return state;
}

// The current dictionary: that of the top dialog level, or null.
vl::Dict *CurrentDict() { return vl::DlgLevelCount() != 0 ? vl::GetDlgDict(-1, 0) : nullptr; }

// The row of the PATH item in the item table, or null.
const vl::DictItem *PathItem() {
  static const vl::DictItem *const row = [] {
    for (const vl::DictItem &item : vl::kDictItems)
      if (item.get != nullptr && vl::EqualNoCase(item.name, "PATH")) return &item;
    return static_cast<const vl::DictItem *>(nullptr);
  }();
  return row;
}

// The catalog entry whose dialog prefix is `name`, the first one in file order.
const vl::CatalogEntry *FindDialog(DlgCheckState &st, std::string_view name) {
  const vl::Dict *dict = CurrentDict();
  if (dict == nullptr) return nullptr;
  if (st.catalogOf != dict) {
    st.catalog.clear();  // its keys may view the catalog of a dictionary that is gone
    st.catalogOf = nullptr;
    if (vl::AllocFails()) throw std::bad_alloc();
    for (const vl::CatalogEntry &entry : dict->catalog) st.catalog.emplace(entry.pfx, &entry);
    st.catalogOf = dict;
  }
  const auto found = st.catalog.find(name);
  return found != st.catalog.end() ? found->second : nullptr;
}

// The radio button index: the run of decimal digits that ends `path`. False
// when there are none (`missing`) or they pass the 32-bit range.
bool SplitIndex(std::string &path, std::int32_t &index, bool &missing) {
  std::size_t start = path.size();
  while (start > 0 && path[start - 1] >= '0' && path[start - 1] <= '9') --start;
  missing = start == path.size();
  if (missing) return false;
  std::int64_t value = 0;
  for (std::size_t i = start; i < path.size(); ++i) {
    value = value * 10 + (path[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  index = static_cast<std::int32_t>(value);
  path.resize(start);
  return true;
}

// The record field an attribute sets, or null for an attribute not checked.
std::int32_t *AttributeField(DialogObject &record, std::string_view attribute) {
  if (vl::EqualNoCase(attribute, "w")) return &record.w;
  if (vl::EqualNoCase(attribute, "maxchars")) return &record.maxchars;
  if (vl::EqualNoCase(attribute, "multiline")) return &record.multiline;
  if (vl::EqualNoCase(attribute, "sensitive")) return &record.sensitive;
  if (vl::EqualNoCase(attribute, "rule")) return &record.rule;
  return nullptr;
}

// 7. A radio button index widens the group's range.
void WidenRange(DialogObject &record, std::int32_t index) {
  if (index < 0) return;
  if (record.minIndex < 0) {
    record.minIndex = record.maxIndex = index;
  } else {
    record.minIndex = std::min(record.minIndex, index);
    record.maxIndex = std::max(record.maxIndex, index);
  }
}

// printf arguments of a view.
std::string Text(std::string_view s) { return std::string(s); }

// 7. and 9. of a DLG SET: the attributes the checks use take numbers; the
// others are ignored. `path` is the full attribute name as read.
int SetAttribute(DialogObject &record, std::int32_t index, std::string_view attribute, std::string_view path,
                 const dlg::DlgValue &value, int line) {
  WidenRange(record, index);
  std::int32_t *field = AttributeField(record, attribute);
  if (field == nullptr) return 0;
  if (value.kind != dlg::kDlgNumber) {
    msg_print('D', 1, kInvalidType, line, Text(attribute).c_str(), Text(path).c_str());
    return 1;
  }
  *field = value.number;
  return 0;
}

// AddDlgObj's steps; may throw std::bad_alloc.
int AddEvent(DlgCheckState &st, std::string_view path, std::string_view className, const dlg::DlgValue *value,
             int line) {
  const bool isSet = value != nullptr;
  const bool dialogMode = st.mode == DlgReadMode::kDialog;

  // 1. A DLG SET names an attribute after the object path.
  std::string_view objectPath = path;
  std::string_view attribute;
  if (isSet) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) {
      msg_print('D', 1, kMissingAttribute, line, Text(path).c_str());
      return 1;
    }
    objectPath = path.substr(0, dot);
    attribute = path.substr(dot + 1);
  }

  // The attributes of the object of the last event.
  if (isSet && st.last.record != nullptr && st.last.path == objectPath) {
    return SetAttribute(*st.last.record, st.last.index, attribute, path, *value, line);
  }
  st.last.record = nullptr;

  // 2. The class of a DLG NEW: the class table, else (dialog mode) a model.
  std::int32_t classCode = kClassNone;
  const DialogObject *model = nullptr;
  if (!isSet) {
    if (const ClassRow *row = FindClass(className)) {
      classCode = row->code;
    } else if (!dialogMode) {
      msg_print('D', 1, kUnknownClass, line, Text(className).c_str(), Text(path).c_str());
    } else if ((model = st.models.Find(className)) != nullptr) {
      classCode = model->classCode;
    } else {
      msg_print('D', 1, kUnknownModel, line, Text(className).c_str(), Text(path).c_str());
    }
  }

  // 3. and 4. The list, and in dialog mode the dictionary form of the path.
  ObjectList &list = dialogMode ? st.objects : st.models;
  std::string key(objectPath);
  std::int32_t index = -1;
  if (dialogMode) {
    const std::string_view dialogName = path.substr(0, path.find('.'));
    const vl::CatalogEntry *entry = FindDialog(st, dialogName);
    if (entry == nullptr) {
      if (dialogName.size() == path.size()) msg_print('D', 1, kUnknownDialog, line, Text(dialogName).c_str());
      return 1;
    }
    key.replace(0, dialogName.size(), entry->hdl);

    bool radio = false;
    if (isSet) {
      radio = st.radioButtons.count(key) != 0;
    } else if (classCode == kClassRadioButton) {
      radio = true;
      try {
        if (vl::AllocFails()) throw std::bad_alloc();
        st.radioButtons.insert(key);
      } catch (const std::bad_alloc &) {
        msg_print('D', 1, kRadioListOverflow);
        return 3;
      }
    }
    if (radio) {
      bool missing = false;
      if (!SplitIndex(key, index, missing)) {
        if (!isSet) msg_print('D', 1, missing ? kMissingIndex : kInvalidIndex, line, Text(path).c_str());
        return 1;
      }
    }
  }

  // Beyond the record's path: refused whole, never cut (the DLG NEW reports it,
  // the object's attributes follow it silently).
  if (key.size() > kDlgObjPathMax) {
    if (!isSet) {
      msg_print('D', 1, kPathTooLong, line, static_cast<int>(kDlgObjPathMax), static_cast<int>(kDlgObjPathMax),
                key.c_str());
    }
    return 1;
  }

  // 5. and 6. The record: found, or made by a DLG NEW.
  DialogObject *record = list.Find(key);
  if (record == nullptr) {
    if (isSet) {
      msg_print('D', 1, kUnknownPath, line, key.c_str());
      return 1;
    }
    try {
      record = &list.Append(key, classCode, line);
    } catch (const std::bad_alloc &) {
      msg_print('D', 1, kObjectOverflow, line, key.c_str());
      return 3;
    }
    if (model != nullptr) {
      record->w = model->w;
      record->maxchars = model->maxchars;
      record->multiline = model->multiline;
      record->sensitive = model->sensitive;
      record->rule = model->rule;
    }
  }

  // An object that is no radio button but whose path names one read before:
  // its attributes are radio button events, so they take the long way.
  const bool shortcut = isSet || !dialogMode || classCode == kClassRadioButton || st.radioButtons.empty() ||
                        st.radioButtons.count(key) == 0;
  st.last.path.assign(objectPath);
  st.last.record = shortcut ? record : nullptr;
  st.last.index = index;
  if (!isSet) {
    WidenRange(*record, index);
    return 0;
  }
  return SetAttribute(*record, index, attribute, path, *value, line);
}

// Checks one record against its section; 0, or 1 when a check failed.
int CheckObject(const DialogObject &rec, const vl::DictSection &section, const char *objName) {
  const vl::DictObj &obj = section.obj;
  const char *name = section.section.c_str();
  const bool notWeek = obj.fldType != vl::FT_K;
  const std::int32_t len = obj.length;
  const int line = rec.line;
  int result = 0;
  const auto mismatch = [&](const char *expected) {
    msg_print('D', 1, kTypeMismatch, name, expected);
    result = 1;
  };
  switch (rec.classCode) {
    case kClassEditText: {
      bool sizeChecks = true;
      if (rec.multiline != 0) {
        if (obj.objType != vl::OT_MT) mismatch("MT");
        sizeChecks = false;
      } else if (obj.objType == vl::OT_OF) {
        if (rec.sensitive != 0) msg_print('D', 2, kOfSensitive, line, name, objName);
      } else if (obj.objType == vl::OT_MT) {
        msg_print('D', 1, kMtMultiline, line, name, objName);
        result = 1;
        sizeChecks = false;
      } else if (obj.objType != vl::OT_ET) {
        mismatch("ET");
      }
      if (sizeChecks && notWeek && rec.maxchars > 0) {
        if (rec.maxchars < len) {
          msg_print('D', 1, kMaxcharsLess, line, name, objName, rec.maxchars, len);
          result = 1;
        } else if (rec.maxchars > len) {
          msg_print('D', 2, kMaxcharsMore, line, name, objName, rec.maxchars, len);
        }
      }
      if (obj.objType == vl::OT_ET && rec.rule != kStandardRule) msg_print('D', 2, kRule, line, rec.rule, objName);
      break;
    }
    case kClassStaticText:
      if (obj.objType != vl::OT_ST) mismatch("ST");
      break;
    case kClassCheckBox:
      if (obj.objType != vl::OT_CB) mismatch("CB");
      break;
    case kClassRadioButton: {
      if (obj.objType != vl::OT_RB) mismatch("RB");
      const double min = std::trunc(obj.minimum);
      if (!(min >= rec.minIndex && min <= rec.maxIndex)) {
        msg_print('D', 1, kMinRange, rec.minIndex, rec.maxIndex, name);
        result = 1;
      }
      break;
    }
    case kClassListBox:
      if (obj.objType != vl::OT_LB) mismatch("LB");
      break;
    default:
      break;
  }
  const bool widthCheck = rec.classCode == kClassStaticText ||
                          (rec.classCode == kClassEditText && rec.multiline == 0 && obj.objType != vl::OT_MT);
  if (widthCheck && notWeek && rec.w != len) {
    msg_print('D', 2, kWidth, line, rec.w > len ? "more" : "less", name, objName, rec.w, len);
  }
  return result;
}

void ResetDlgObjs() { FreeDlgObjs(); }
VL_STATE_RESET(ResetDlgObjs);

}  // namespace

void SetDlgReadMode(DlgReadMode mode) {
  State().mode = mode;
  State().last.record = nullptr;
}

void SetIgnorePathCase(bool ignore) { State().ignorePathCase = ignore; }

int AddDlgObj(std::string_view path, std::string_view className, const dlg::DlgValue *value, int line) {
  try {
    return AddEvent(State(), path, className, value, line);
  } catch (const std::bad_alloc &) {
    msg_print('D', 1, kObjectOverflow, line, Text(path).c_str());
    return 3;
  }
}

int DlgObjCollector::OnDlgEvent(const dlg::DlgEvent &event) {
  return AddDlgObj(event.path, event.className, event.value, event.line);
}

int LocateDictObj(std::string_view path, DictObjPos &pos) {
  DlgCheckState &st = State();
  const std::size_t dot = path.find('.');
  if (dot == std::string_view::npos) {
    msg_print('D', 1, kInvalidPath, Text(path).c_str());
    return -2;
  }
  const vl::Dict *dict = CurrentDict();
  if (dict == nullptr) {
    msg_print('D', 1, kNoCurrentDict);
    return -2;
  }
  if (dict->sections == nullptr) return -1;
  const vl::DictItem *pathItem = PathItem();
  if (pathItem == nullptr) {
    msg_print('D', 1, kNoPathItem);
    return -2;
  }
  if (st.sections.dict() != dict) {
    try {
      st.sections.Build(*dict, *pathItem);
    } catch (const std::bad_alloc &) {
      msg_print('D', 1, kIndexOverflow);
      return -2;
    }
  }
  const std::uint32_t slot = st.sections.Find(path);
  if (slot == SectionIndex::kNone) return -1;
  vl::DictSection *section = st.sections.Section(slot);
  const std::string_view rest = path.substr(dot + 1);
  if (!st.ignorePathCase && section->obj.path != rest) {
    msg_print('D', 2, kCaseMismatch, section->obj.path.c_str(), Text(rest).c_str(), section->section.c_str());
  }
  pos.section = section;
  pos.slot = slot;
  return 0;
}

void RemoveDictObj(const DictObjPos &pos) {
  DlgCheckState &st = State();
  vl::Dict *dict = CurrentDict();
  if (dict == nullptr || dict != st.sections.dict() || PathItem() == nullptr) return;
  st.sections.Remove(*dict, static_cast<std::uint32_t>(pos.slot), *PathItem());
}

int CheckDlgObjs() {
  int result = 0;
  for (const DialogObject &rec : State().objects.records()) {
    if (rec.classCode == kClassNone) continue;
    const char *objName = rec.path.c_str() + (rec.path.rfind('.') + 1);  // the whole path without "."
    DictObjPos pos;
    const int found = LocateDictObj(rec.path, pos);
    if (found == -2) return 3;
    if (found == -1) {
      if (rec.classCode != kClassStaticText) msg_print('D', 2, kNotFound, rec.line, objName, ClassName(rec.classCode));
      continue;
    }
    const int checked = CheckObject(rec, *pos.section, objName);
    RemoveDictObj(pos);
    result = std::max(result, checked);
  }
  return result;
}

std::size_t DlgObjCount() { return State().objects.records().size(); }

void ListSections(int warnLevel) {
  const vl::Dict *dict = CurrentDict();
  if (dict == nullptr) {
    msg_print('D', 1, kListNoCurrentDict);
    return;
  }
  if (warnLevel != 2 || DlgObjCount() == 0 || dict->sections == nullptr) return;
  msg_print('D', 1, kListHead);
  for (const vl::DictSection *s = dict->sections; s != nullptr; s = s->next) msg_print('D', 1, kListLine, s->section.c_str());
}

void FreeDlgObjs() {
  DlgCheckState &st = State();
  st.mode = DlgReadMode::kDialog;
  st.ignorePathCase = false;
  st.last.record = nullptr;
  st.objects.Clear();
  st.models.Clear();
  Release(st.radioButtons);
  st.catalogOf = nullptr;
  Release(st.catalog);
  st.sections.Clear();
}

}  // namespace glosscheck
