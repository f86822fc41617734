// The object tree, attribute conversion, layout and the DLG writer (see
// panelxlate.h).
#include "panelxlate.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <new>
#include <unordered_set>

#include "idmscan.h"
#include "symbol.h"

namespace panelxlate {
namespace {

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------
struct KeywordRow {
  const char *keyword;
  const char *dlgClass;
};
constexpr KeywordRow kKeywords[] = {
    {"checkbox", "CheckBox"},       {"edittext", "EditText"},   {"groupbox", "GroupBox"},
    {"image", "PushButton"},        {"listbox", "ListBox"},     {"pushbutton", "PushButton"},
    {"radiobutton", "RadioButton"}, {"statictext", "StaticText"}, {"window", "Dialog"},
};

// DLG class names by number (index 0 unused).
constexpr const char *kClassNames[] = {nullptr,    "CheckBox",   "Dialog",      "EditText",  "GroupBox",
                                       "ListBox",  "PushButton", "RadioButton", "StaticText"};

constexpr const char *kPositionNames[kPositionCount] = {".xleft",   ".xright", ".xauto",  ".ytop",
                                                        ".ybottom", ".yauto",  ".width", ".height"};

// Configuration names of positions, applied at output.
struct ConfigPositionRow {
  const char *name;
  Position target;
};
constexpr ConfigPositionRow kConfigPositions[] = {
    {".x", kXLeft},   {".xleft", kXLeft},     {".xright", kXRight}, {".xauto", kXAuto},
    {".y", kYTop},    {".ytop", kYTop},       {".ybottom", kYBottom}, {".yauto", kYAuto},
    {".w", kWidth},   {".width", kWidth},     {".h", kHeight},      {".height", kHeight},
};

// Attribute conversion: IDM name, DLG name (empty keeps the IDM name), and
// whether the row holds only for CheckBox and RadioButton.
struct ConversionRow {
  const char *idm;
  const char *dlg;
  bool onlyToggles;
};
constexpr ConversionRow kConversions[] = {
    {".help", "", false},         {".title", "", false},          {".text", "", false},
    {".content", "", false},      {".content[", ".line[", false}, {".maxchars", "", false},
    {".borderwidth", ".border", false}, {".visible", "", false},  {".sensitive", "", false},
    {".active", "", true},        {".activeline", "", false},     {".multiline", "", false},
    {".hsb_visible", ".hsb", false}, {".vsb_visible", ".vsb", false}, {".VlRule", ".rule", false},
    {".VlKbRule[1]", ".cr", false}, {".VlKbRule[2]", ".f1", false}, {".VlKbRule[3]", ".f2", false},
    {".VlKbRule[4]", ".f3", false}, {".VlKbRule[5]", ".f4", false}, {".VlKbRule[6]", ".f5", false},
    {".VlKbRule[7]", ".f6", false}, {".VlKbRule[8]", ".f7", false}, {".VlKbRule[9]", ".f8", false},
    {".VlKbRule[10]", ".f9", false},
};

// Octal escapes in texts: code read, code stored (the umlauts and sharp s of
// ISO 8859-1 to their HP Roman-8 codes).
constexpr unsigned char kEscapeCodes[][2] = {{0xC4, 0xD8}, {0xD6, 0xDA}, {0xDC, 0xDB}, {0xE4, 0xCC},
                                              {0xF6, 0xCE}, {0xFC, 0xCF}, {0xDF, 0xDE}};

constexpr int kScreenWidth = 80;   // frame of top-level objects
constexpr std::size_t kDlgLineMax = 255;  // characters of a line a DLG reader takes
constexpr int kScreenHeight = 24;

const ConversionRow *FindConversion(std::string_view name) {
  static const TextMap<const ConversionRow *> table = [] {
    TextMap<const ConversionRow *> map;
    for (const ConversionRow &row : kConversions) map.emplace(row.idm, &row);
    return map;
  }();
  const auto it = table.find(name);
  return it == table.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------
// State
// ---------------------------------------------------------------------------
struct TreeState {
  std::deque<Object> records;          // every model, object and copy; addresses stay put
  Object *modelsFirst = nullptr, *modelsLast = nullptr;
  Object *objectsFirst = nullptr, *objectsLast = nullptr;
  TextMap<Object *> models;            // name -> first record of that name in the model tree, depth first
  std::unordered_set<std::string, TextHash, std::equal_to<>> modules;  // imported module names
  std::vector<std::string> fileNames;  // definition places of the records
  TextMap<std::uint32_t> fileIndex;
  std::uint32_t objectLimit = kObjectMax;
  long autoObj = 0;                    // made-up names so far
  std::uint32_t seq = 0;               // creation numbers so far
  const Object *writing = nullptr;     // the object being written, for the place of fatal errors
};

TreeState &Tree() {
  static TreeState state;
  return state;
}

std::int32_t Clamp32(long long v) {
  return static_cast<std::int32_t>(std::clamp<long long>(v, std::numeric_limits<std::int32_t>::min(),
                                                         std::numeric_limits<std::int32_t>::max()));
}

// The leading decimal number of a text (after blanks, with a sign), clamped to
// 32 bits; 0 when there is none.
std::int32_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = std::min<long long>(v * 10 + (text[i] - '0'), 1LL << 40);
  }
  return Clamp32(negative ? -v : v);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The last model of an object's chain (the model that has no model of its own).
const Object *LastModel(const Object *object) {
  while (object->model != nullptr) object = object->model;
  return object;
}

// The value of a non-empty attribute of the object, else of the nearest model
// along its chain that has it.
const std::string *ChainValue(const Object *object, std::string_view name) {
  for (; object != nullptr; object = object->model) {
    if (const std::string *value = object->attrs.Value(name)) return value;
  }
  return nullptr;
}

// True when `a` comes before `b` in a depth-first walk of their tree.
bool DepthFirstBefore(const Object *a, const Object *b) {
  std::vector<const Object *> pa, pb;
  for (; a != nullptr; a = a->parent) pa.push_back(a);
  for (; b != nullptr; b = b->parent) pb.push_back(b);
  std::reverse(pa.begin(), pa.end());
  std::reverse(pb.begin(), pb.end());
  std::size_t i = 0;
  while (i < pa.size() && i < pb.size() && pa[i] == pb[i]) ++i;
  if (i == pa.size()) return true;  // a is b or one of its ancestors
  if (i == pb.size()) return false;
  return pa[i]->seq < pb[i]->seq;  // siblings follow each other in creation order
}

// Notes a record of the model tree for look-ups by name.
void IndexModel(Object *object) {
  auto [it, added] = Tree().models.try_emplace(object->name, object);
  if (!added && DepthFirstBefore(object, it->second)) it->second = object;
}

Object *FindModel(std::string_view name) {
  const auto it = Tree().models.find(name);
  return it == Tree().models.end() ? nullptr : it->second;
}

std::uint32_t FileIndex(const char *file) {
  if (file == nullptr) return 0;
  TreeState &t = Tree();
  const auto it = t.fileIndex.find(std::string_view(file));
  if (it != t.fileIndex.end()) return it->second;
  t.fileNames.emplace_back(file);
  t.fileIndex.emplace(file, static_cast<std::uint32_t>(t.fileNames.size() - 1));
  return static_cast<std::uint32_t>(t.fileNames.size() - 1);
}

// A new record with the next creation number; `what` names the allocation in
// the heap overflow message.
Object *NewRecord(const char *what) {
  TreeState &t = Tree();
  if (t.records.size() >= t.objectLimit) Fatal(kExitRuntime, "too many objects, limit is %u", t.objectLimit);
  try {
    CheckAlloc(what);
    t.records.emplace_back();
  } catch (const std::bad_alloc &) {
    Fatal(kExitRuntime, "heap overflow, %s", what);
  }
  Object *object = &t.records.back();
  object->seq = ++t.seq;
  return object;
}

void SetName(Object *object, std::string_view name, const char *what) {
  try {
    CheckAlloc(what);
    object->name.assign(name);
  } catch (const std::bad_alloc &) {
    Fatal(kExitRuntime, "heap overflow, %s", what);
  }
}

// Links a record below `parent` after its last child, or at the end of a list.
void Link(Object *object, Object *parent, Object *&first, Object *&last) {
  object->parent = parent;
  Object *&head = parent != nullptr ? parent->firstChild : first;
  Object *&tail = parent != nullptr ? parent->lastChild : last;
  if (tail == nullptr) {
    head = object;
  } else {
    tail->next = object;
  }
  tail = object;
}

void SetAttrValue(Object *object, std::string_view name, std::string_view value) {
  if (VarSet(object->attrs, name, value) == nullptr) {
    const std::string text(name);
    Fatal(kExitRuntime, "IDM_SetAttr(%s) failed: heap overflow", text.c_str());
  }
}

// IDM numbers are decimal; in a DLG file a leading 0 makes a number octal and a
// number has no fraction. So that the value means what it meant, an integer
// loses its leading zeros ("09" becomes 9, "-007" -7) and a number with a
// fraction is written as a text ("1.5" becomes "\"1.5\""). Other values stay.
std::string DlgNumber(std::string_view value) {
  const bool negative = !value.empty() && value.front() == '-';
  const std::string_view digits = value.substr(negative ? 1 : 0);
  const std::size_t point = digits.find('.');
  const auto allDigits = [](std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (point != std::string_view::npos) {
    if (!allDigits(digits.substr(0, point)) || !allDigits(digits.substr(point + 1))) return std::string(value);
    return "\"" + std::string(value) + "\"";
  }
  if (!allDigits(digits)) return std::string(value);
  const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
  const std::string_view kept = digits.substr(first);
  return (negative && kept != "0" ? "-" : "") + std::string(kept);
}

// The converted text of a value that begins with a double quote: the inner
// text without its leading blanks and trailing spaces, octal escapes replaced,
// quoted again. Fatal "illegal text value (%s)" for a text that is not closed,
// an escape that is not three octal digits of a code from 1 to 255, and a
// double quote inside the text (a DLG text cannot hold one).
std::string ConvertText(std::string_view value) {
  const std::string original(value);
  if (value.size() < 2 || value.back() != '"') Fatal(kExitSyntax, "illegal text value (%s)", original.c_str());
  std::string_view inner = value.substr(1, value.size() - 2);
  while (!inner.empty() && (inner.front() == ' ' || (inner.front() >= '\t' && inner.front() <= '\r'))) {
    inner.remove_prefix(1);
  }
  while (!inner.empty() && inner.back() == ' ') inner.remove_suffix(1);
  std::string text = "\"";
  for (std::size_t i = 0; i < inner.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(inner[i]);
    if (c == '"') Fatal(kExitSyntax, "illegal text value (%s)", original.c_str());
    if (c == '\\' && i + 3 < inner.size()) {
      const std::string_view digits = inner.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '9'; })) {
        int code = 0;
        for (char d : digits) {
          if (d > '7') Fatal(kExitSyntax, "illegal text value (%s)", original.c_str());
          code = code * 8 + (d - '0');
        }
        if (code == 0 || code > 255) Fatal(kExitSyntax, "illegal text value (%s)", original.c_str());
        c = static_cast<unsigned char>(code);
        for (const auto &row : kEscapeCodes) {
          if (row[0] == c) c = row[1];
        }
        if (c == '"') Fatal(kExitSyntax, "illegal text value (%s)", original.c_str());
        i += 3;
      }
    }
    text.push_back(static_cast<char>(c));
  }
  text.push_back('"');
  return text;
}

// The DLG name of an IDM attribute name for an object of class `classId`, or
// false when the assignment is dropped.
bool ConvertName(std::string_view name, std::int32_t classId, std::string *dlgName) {
  if (const VarItem *translate = CfgItem(name, "!translate")) {
    if (translate->value.empty()) return false;
    *dlgName = translate->value;
    return true;
  }
  const bool toggle = classId == kCheckBox || classId == kRadioButton;
  if (const ConversionRow *row = FindConversion(name)) {
    if (row->onlyToggles && !toggle) return false;
    dlgName->assign(*row->dlg != '\0' ? std::string_view(row->dlg) : name);
    return true;
  }
  // An indexed name: base "[" digits "]" and nothing after.
  const std::size_t open = name.find('[');
  if (open == std::string_view::npos || open + 2 >= name.size() || name.back() != ']') return false;
  const std::string_view digits = name.substr(open + 1, name.size() - open - 2);
  if (!std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '9'; })) return false;
  const std::string_view base = name.substr(0, open + 1);
  if (const VarItem *translate = CfgItem(base, "!translate")) {
    if (translate->value.empty()) return false;
    *dlgName = translate->value;
  } else if (const ConversionRow *row = FindConversion(base)) {
    if (row->onlyToggles && !toggle) return false;
    dlgName->assign(*row->dlg != '\0' ? std::string_view(row->dlg) : base);
  } else {
    return false;
  }
  dlgName->append(DlgNumber(digits));  // the index keeps its value, as a number does
  dlgName->push_back(']');
  return true;
}

// How an attribute passes from the last model of a chain.
enum class InheritMode { kNone, kAlways, kDiff, kNever };

InheritMode InheritModeOf(const std::string &attribute) {
  const VarItem *item = CfgItem(attribute, "!inherit");
  if (item == nullptr || item->value.empty()) return InheritMode::kNone;
  if (EqualNoCase(item->value, "ALWAYS")) return InheritMode::kAlways;
  if (EqualNoCase(item->value, "DIFF")) return InheritMode::kDiff;
  if (EqualNoCase(item->value, "NEVER")) return InheritMode::kNever;
  Fatal(kExitSyntax, "InheritAttrs() failed: invalid configuration '%s=%s' in section [%s]", "!inherit",
        item->value.c_str(), attribute.c_str());
}

// The natural width of an object: from its text or its length.
std::int32_t NaturalWidth(Object *object) {
  if (object->naturalKnown) return object->naturalWidth;
  long long width = 0;
  const std::int32_t c = object->classId;
  if (c == kCheckBox || c == kRadioButton || c == kPushButton || c == kStaticText) {
    long long len = 0;
    if (const std::string *text = ChainValue(object, ".text")) {
      len = static_cast<long long>(text->size());
      if (text->front() == '"') len -= 2;
      len -= std::count(text->begin(), text->end(), '&');
    }
    width = len + (c == kPushButton ? 2 : c == kStaticText ? 0 : 4);
  } else if (c == kEditText) {
    if (const std::string *maxchars = ChainValue(object, ".maxchars")) width = LeadingNumber(*maxchars);
  }
  object->naturalWidth = Clamp32(width);
  object->naturalKnown = true;
  return object->naturalWidth;
}

// The section that configures a model or object of that name: the one whose
// "!translate" item renamed something to it, else the one of that name.
const Section *ConfigSectionOf(std::string_view name) {
  if (const Section *section = FindSectionWithItem("!translate", name)) return section;
  return FindSection(name);
}

void ApplyConfigSection(Object *object, const Section *section) {
  if (section == nullptr) return;
  for (const VarItem *item = VarFirst(section->items); item != nullptr; item = VarNext()) {
    if (item->name.empty() || item->name.front() != '.') continue;
    const ConfigPositionRow *row = nullptr;
    for (const ConfigPositionRow &r : kConfigPositions) {
      if (item->name == r.name) row = &r;
    }
    if (row != nullptr) {
      SetPosition(object, row->target, item->value);
    } else {
      SetAttrValue(object, item->name, item->value);
    }
  }
}

// Configuration attributes at output: the class's section, the sections of the
// models from the last of the chain to the object's own, the object's section;
// later sections win.
void ApplyConfigAttrs(Object *object) {
  ApplyConfigSection(object, FindSection(ObIDToClass(object->classId)));
  std::vector<const Object *> chain;
  for (const Object *m = object->model; m != nullptr; m = m->model) chain.push_back(m);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) ApplyConfigSection(object, ConfigSectionOf((*it)->name));
  ApplyConfigSection(object, ConfigSectionOf(object->name));
}

// Writes one DLG statement of three tokens on a line of its own. A DLG reader
// takes lines of at most 255 characters, so a statement that would be longer
// (a long text, deep indentation) is written one token a line instead, which
// the format allows; every token fits a line.
void AppendStatement(std::string &out, int indent, std::string_view first, std::string_view second,
                     std::string_view third) {
  const std::size_t len = static_cast<std::size_t>(indent) + first.size() + second.size() + third.size() + 2;
  if (len <= kDlgLineMax) {
    out.append(static_cast<std::size_t>(indent), ' ');
    out += first;
    out += ' ';
    out += second;
    out += ' ';
    out += third;
  } else {
    out += first;
    out += '\n';
    out += second;
    out += '\n';
    out += third;
  }
  out += '\n';
}

// Prepares and writes the header line and attribute lines of one object.
void OpenObject(std::string &out, Object *object, int depth, bool *first) {
  Tree().writing = object;
  InheritAttrs(object);
  ApplyConfigAttrs(object);
  ObFixup(object);
  const char *className = object->model != nullptr ? LastModel(object)->name.c_str() : ObIDToClass(object->classId);
  if (!*first) out += '\n';
  *first = false;
  AppendStatement(out, depth, className, object->name, "{");
  const int inner = depth + 1;
  static constexpr struct {
    Position p;
    const char *name;
  } kWritten[] = {{kWidth, ".w"}, {kHeight, ".h"}, {kXLeft, ".x"}, {kYTop, ".y"}};
  for (const auto &w : kWritten) {
    if (!object->Has(w.p) || object->IsDefault(w.p)) continue;
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, object->pos[w.p]);
    AppendStatement(out, inner, w.name, "=", std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
  }
  for (const VarItem &attr : object->attrs) {
    if (!attr.value.empty()) AppendStatement(out, inner, attr.name, "=", attr.value);
  }
  Tree().writing = nullptr;
}

// Writes every visible object depth first, without recursion.
void WriteTrees(std::string &out) {
  struct Frame {
    Object *object;
    int depth;
    Object *nextChild;
  };
  std::vector<Frame> stack;
  bool first = true;
  for (Object *top = Tree().objectsFirst; top != nullptr; top = top->next) {
    if (top->hidden) continue;
    OpenObject(out, top, 0, &first);
    stack.push_back({top, 0, top->firstChild});
    while (!stack.empty()) {
      Frame &frame = stack.back();
      if (frame.nextChild != nullptr) {
        Object *child = frame.nextChild;
        frame.nextChild = child->next;
        if (child->hidden) continue;
        const int depth = frame.depth + 1;
        OpenObject(out, child, depth, &first);
        stack.push_back({child, depth, child->firstChild});
      } else {
        out.append(static_cast<std::size_t>(frame.depth), ' ');
        out += "}\n";
        stack.pop_back();
      }
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------
Location CurrentLocation() {
  const TreeState &t = Tree();
  if (t.writing != nullptr && t.writing->file < t.fileNames.size()) {
    return {t.fileNames[t.writing->file].c_str(), t.writing->line};
  }
  return LexLocation();
}

int NewModule(std::string_view name) {
  TreeState &t = Tree();
  if (t.modules.find(name) != t.modules.end()) return 0;
  try {
    CheckAlloc("NewModule");
    t.modules.emplace(name);
  } catch (const std::bad_alloc &) {
    const std::string text(name);
    Fatal(kExitRuntime, "NewModule(%s) failed: heap overflow", text.c_str());
  }
  return 1;
}

Object *ObCreate(ListKind list, Object *parent, std::string_view name, std::string_view cls, bool isRef) {
  TreeState &t = Tree();
  bool hidden = false;
  std::string_view objectName = name;
  if (const VarItem *translate = CfgItem(name, "!translate")) {
    if (translate->value.empty()) {
      hidden = true;
    } else {
      objectName = translate->value;
    }
  }

  Object *found = nullptr;  // the model of a model-based object
  bool copy = false;
  std::int32_t classId = kNoClass;
  if (isRef) {
    std::string_view modelName = cls;
    bool replaced = false;
    if (const VarItem *translate = CfgItem(cls, "!translate"); translate != nullptr && !translate->value.empty()) {
      modelName = translate->value;
      replaced = true;
    }
    found = FindModel(modelName);
    if (found == nullptr) {
      const std::string text(modelName);
      Fatal(kExitRuntime, "unknown model '%s'", text.c_str());
    }
    copy = found->model == nullptr && !replaced;
    hidden = hidden || found->hidden;
    classId = LastModel(found)->classId;
  } else {
    std::string_view className = cls;
    for (const KeywordRow &row : kKeywords) {
      if (cls == row.keyword) className = row.dlgClass;
    }
    if (!className.empty()) {
      if (const VarItem *translate = CfgItem(className, "!translate")) className = translate->value;
    }
    if (className.empty()) {
      hidden = true;
    } else {
      classId = ClassNumber(className);
      if (classId == kNoClass) {
        const std::string text(className);
        Fatal(kExitSyntax, "unknown classname '%s'", text.c_str());
      }
    }
  }

  Object *object = NewRecord("ObCreate(1)");
  SetName(object, objectName, "ObCreate(2)");
  object->hidden = hidden;
  object->classId = classId;
  const Location here = LexLocation();
  object->file = FileIndex(here.file);
  object->line = here.line;
  if (found != nullptr) {
    if (copy) {
      try {
        CheckAlloc("ObCreate(2)");
        object->attrs = found->attrs;
      } catch (const std::bad_alloc &) {
        Fatal(kExitRuntime, "heap overflow, ObCreate(2)");
      }
      object->posSet = found->posSet;
      object->posDefault = found->posDefault;
      std::copy(std::begin(found->pos), std::end(found->pos), std::begin(object->pos));
    } else {
      object->model = found;
    }
  }
  if (list == ListKind::kModels && parent == nullptr) {
    Link(object, nullptr, t.modelsFirst, t.modelsLast);
  } else {
    Link(object, parent, t.objectsFirst, t.objectsLast);
  }
  object->inModelTree = parent != nullptr ? parent->inModelTree : list == ListKind::kModels;
  if (object->inModelTree) IndexModel(object);
  if (found != nullptr) ObCpyChildren(object, found);
  return object;
}

void ObCpyChildren(Object *target, const Object *source) {
  const std::uint32_t limit = target->seq;
  struct Job {
    Object *to;
    const Object *from;
  };
  std::vector<Job> jobs{{target, source}};
  while (!jobs.empty()) {
    const Job job = jobs.back();
    jobs.pop_back();
    for (const Object *child = job.from->firstChild; child != nullptr; child = child->next) {
      if (child->seq >= limit) continue;  // made by this copy or after the target
      Object *copy = NewRecord("ObCpyChildren(1)");
      try {
        CheckAlloc("ObCpyChildren(2)");
        copy->name = child->name;
        copy->attrs = child->attrs;
        jobs.push_back({copy, child});
      } catch (const std::bad_alloc &) {
        Fatal(kExitRuntime, "heap overflow, ObCpyChildren(2)");
      }
      copy->model = child->model;
      copy->classId = child->classId;
      copy->hidden = child->hidden;
      copy->naturalKnown = child->naturalKnown;
      copy->naturalWidth = child->naturalWidth;
      copy->posSet = child->posSet;
      copy->posDefault = child->posDefault;
      std::copy(std::begin(child->pos), std::end(child->pos), std::begin(copy->pos));
      copy->file = child->file;
      copy->line = child->line;
      Object *unusedFirst = nullptr, *unusedLast = nullptr;
      Link(copy, job.to, unusedFirst, unusedLast);
      copy->inModelTree = job.to->inModelTree;
      if (copy->inModelTree) IndexModel(copy);
    }
  }
}

// ---------------------------------------------------------------------------
// Attributes
// ---------------------------------------------------------------------------
void SetPosition(Object *object, Position p, std::string_view value) {
  const std::uint8_t bit = static_cast<std::uint8_t>(1u << p);
  if (!value.empty() && value.front() == '(') {
    if (object->Has(p)) return;
    object->posDefault |= bit;
    value.remove_prefix(1);
  } else {
    object->posDefault &= static_cast<std::uint8_t>(~bit);
  }
  if (value.empty()) {
    object->posSet &= static_cast<std::uint8_t>(~bit);
    return;
  }
  object->pos[p] = LeadingNumber(value);
  object->posSet |= bit;
}

void IDM_SetAttr(Object *object, std::string_view name, std::string_view value) {
  for (int p = 0; p < kPositionCount; ++p) {
    if (name == kPositionNames[p]) {
      SetPosition(object, static_cast<Position>(p), value);
      return;
    }
  }
  std::string dlgName;
  if (!ConvertName(name, object->classId, &dlgName)) return;
  std::string text;
  if (!value.empty() && value.front() == '"') {
    text = ConvertText(value);
    value = text;
  }
  if (const Section *section = FindSection(dlgName)) {
    if (const VarItem *mapped = section->items.Find(value)) {
      SetAttrValue(object, dlgName, mapped->value);
      return;
    }
  }
  if (value == "true") {
    value = "1";
  } else if (value == "false") {
    value = "0";
  } else if (text.empty()) {
    text = DlgNumber(value);
    value = text;
  }
  SetAttrValue(object, dlgName, value);
}

void InheritAttrs(Object *object) {
  if (object->model != nullptr) {
    for (int p = 0; p < kPositionCount; ++p) {
      const Position pos = static_cast<Position>(p);
      if (object->Has(pos)) continue;
      for (const Object *m = object->model; m != nullptr; m = m->model) {
        if (m->Has(pos)) {
          object->pos[p] = m->pos[p];
          object->posSet |= static_cast<std::uint8_t>(1u << p);
          break;
        }
      }
    }
    // The object's own values, by position in its list (items are only appended).
    const std::size_t ownCount = object->attrs.size();
    std::vector<bool> own(ownCount);
    for (std::size_t i = 0; i < ownCount; ++i) own[i] = !object->attrs[i].value.empty();
    auto isOwn = [&](const std::string &name) {
      const VarItem *item = object->attrs.Find(name);
      if (item == nullptr) return false;
      const std::size_t i = static_cast<std::size_t>(item - &object->attrs[0]);
      return i < ownCount && own[i];
    };

    std::vector<const Object *> chain;
    for (const Object *m = object->model; m != nullptr; m = m->model) chain.push_back(m);
    for (const VarItem &attr : chain.back()->attrs) {
      if (attr.value.empty()) continue;
      VarItem *mine = object->attrs.Find(attr.name);
      const bool has = mine != nullptr && !mine->value.empty();
      switch (InheritModeOf(attr.name)) {
        case InheritMode::kAlways:
          if (!has) SetAttrValue(object, attr.name, attr.value);
          break;
        case InheritMode::kDiff:
          if (has && mine->value == attr.value) mine->value.clear();
          break;
        case InheritMode::kNever:
          if (has) mine->value.clear();
          break;
        case InheritMode::kNone:
          break;
      }
    }
    // Intermediate models, from the farthest to the nearest.
    for (std::size_t i = chain.size() - 1; i-- > 0;) {
      for (const VarItem &attr : chain[i]->attrs) {
        if (!attr.value.empty() && !isOwn(attr.name)) SetAttrValue(object, attr.name, attr.value);
      }
    }
  }
  for (VarItem &attr : object->attrs) {
    if (!attr.value.empty() && InheritModeOf(attr.name) == InheritMode::kNever) attr.value.clear();
  }
}

// ---------------------------------------------------------------------------
// Layout and output
// ---------------------------------------------------------------------------
const char *ObIDToClass(std::int32_t classId) {
  if (classId < kCheckBox || classId > kStaticText) {
    Fatal(kExitRuntime, "ObIDToClass() failed: unknown classID '%d'", static_cast<int>(classId));
  }
  return kClassNames[classId];
}

std::int32_t ClassNumber(std::string_view className) {
  for (std::int32_t id = kCheckBox; id <= kStaticText; ++id) {
    if (EqualNoCase(className, kClassNames[id])) return id;
  }
  return kNoClass;
}

void ObFixup(Object *object) {
  const Object *parent = object->parent;
  long long b = 0;  // border of the parent's frame
  if (parent != nullptr) {
    if (parent->classId == kDialog) {
      b = 1;
    } else if (parent->classId == kGroupBox) {
      const std::string *border = ChainValue(parent, ".border");
      b = border == nullptr || LeadingNumber(*border) != 0 ? 1 : 0;
    }
  }
  std::int32_t *pos = object->pos;
  const bool xMinus = pos[kXLeft] == -1;
  const bool yMinus = pos[kYTop] == -1;
  long long x = xMinus ? 0 : pos[kXLeft];
  long long y = yMinus ? 0 : pos[kYTop];
  bool xSet = object->Has(kXLeft), ySet = object->Has(kYTop);
  bool wSet = object->Has(kWidth), hSet = object->Has(kHeight);

  long long w;
  if (wSet) {
    w = pos[kWidth];
    if (object->classId == kEditText) {
      const std::string *maxchars = ChainValue(object, ".maxchars");
      w = maxchars != nullptr ? std::min<long long>(w, LeadingNumber(*maxchars)) : w - 1;
    }
  } else if (xSet && object->Has(kXRight) && !object->Has(kXAuto)) {
    w = pos[kXRight] - x + 1;
  } else {
    w = NaturalWidth(object);
  }
  long long h;
  if (hSet && pos[kHeight] != 0) {
    h = pos[kHeight];
  } else if (ySet && object->Has(kYBottom) && !object->Has(kYAuto)) {
    h = pos[kYBottom] - y + 1;
  } else {
    h = 1;
  }

  // Auto placement along one axis: 0 stretches the size to the parent's less
  // the margins, a negative value moves the start to the far edge.
  auto place = [&](Position autoPos, Position farMargin, Position parentSize, const char *axis, const char *size,
                   long long *start, bool *startSet, long long *len, bool *lenSet) {
    if (!object->Has(autoPos)) return;
    const int value = pos[autoPos];
    if (parent == nullptr) {
      msg_print('C', 1, "ObFixup(%s) note: cannot calc position depending on .%s=%d, object has no parent",
                object->name.c_str(), axis, value);
    } else if (!parent->Has(parentSize)) {
      msg_print('C', 1, "ObFixup(%s) note: cannot calc position depending on .%s=%d, .%s of parent object undefined",
                object->name.c_str(), axis, value, size);
    } else if (value == 0) {
      *len = parent->pos[parentSize] - 2 * b - pos[farMargin] - *start;
      *lenSet = true;
    } else if (value < 0) {
      *start = parent->pos[parentSize] - 2 * b - pos[farMargin] - *len;
      *startSet = true;
    }
  };
  place(kXAuto, kXRight, kWidth, "xauto", "width", &x, &xSet, &w, &wSet);
  place(kYAuto, kYBottom, kHeight, "yauto", "height", &y, &ySet, &h, &hSet);
  if (b != 0) {
    if (xSet) x += 1;
    if (ySet) y += 1;
  }
  auto store = [object](Position p, bool set, long long v) {
    if (!set) return;
    object->pos[p] = Clamp32(v);
    object->posSet |= static_cast<std::uint8_t>(1u << p);
  };
  store(kXLeft, xSet, x);
  store(kYTop, ySet, y);
  store(kWidth, wSet, w);
  store(kHeight, hSet, h);

  long long frameW = kScreenWidth, frameH = kScreenHeight;
  bool clip = true;
  if (parent != nullptr) {
    clip = parent->Has(kWidth) && parent->Has(kHeight) && parent->pos[kWidth] != 0 && parent->pos[kHeight] != 0;
    frameW = parent->pos[kWidth];
    frameH = parent->pos[kHeight];
  }
  if (clip) {
    auto fit = [object, b](Position start, Position size, long long frame) {
      if (!object->Has(start) || !object->Has(size)) return;
      long long s = object->pos[start];
      long long len = object->pos[size];
      if (s + len <= frame) return;
      s = frame - len;
      if (s < b) {
        s = b;
        len = frame - 2 * b;
      }
      object->pos[start] = Clamp32(s);
      object->pos[size] = Clamp32(len);
    };
    fit(kXLeft, kWidth, frameW);
    fit(kYTop, kHeight, frameH);
  }
  if (xMinus) pos[kXLeft] = -1;
  if (yMinus) pos[kYTop] = -1;
}

int CopyHeaders(std::string &out, const std::vector<std::string> &headers, const std::string &outputName,
                std::time_t now) {
  for (const std::string &header : headers) {
    const std::string mapped = SymbolFindFile(header);
    Progress("including header file: '%s'\n", mapped.c_str());
    std::string text;
    std::FILE *file = OpenForReading(mapped);
    bool ok = file != nullptr;
    if (ok) {
      char block[65536];
      std::size_t got;
      while ((got = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, got);
      ok = !std::ferror(file);
      std::fclose(file);
    }
    if (!ok) {
      std::fputs("unable to open file\n", stderr);
      return kExitOpen;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '%' && text.compare(i + 1, 5, "FILE%") == 0) {
        out += outputName.empty() ? "(Standard Output)" : outputName;
        i += 5;
      } else if (text[i] == '%' && text.compare(i + 1, 5, "DATE%") == 0) {
        char date[64] = "";
        struct tm local {};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-y2k"  // the locale's own date and time form is wanted
        if (localtime_r(&now, &local) != nullptr) std::strftime(date, sizeof date, "%c", &local);
#pragma GCC diagnostic pop
        out += date;
        i += 5;
      } else {
        out += text[i];
      }
    }
  }
  return kExitOk;
}

void WriteObjects(std::string &out) {
  try {
    WriteTrees(out);
  } catch (const std::bad_alloc &) {
    Fatal(kExitRuntime, "heap overflow");  // with the place of the object being written
  }
}

void SetObjectLimitForTest(std::uint32_t limit) { Tree().objectLimit = limit; }

Object *FirstObject() { return Tree().objectsFirst; }
Object *FirstModel() { return Tree().modelsFirst; }

std::string MakeUpName() { return "AutoObj" + std::to_string(++Tree().autoObj); }

void ResetTree() { Tree() = TreeState{}; }

}  // namespace panelxlate
