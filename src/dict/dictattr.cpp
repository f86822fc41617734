// Field definition items: the item table with its set and get handlers, taking
// items into a DictObj, completing and checking it, copying items between
// objects, and a field section as an XBUF. See dict.h.
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstring>

#include "buffers.h"
#include "dict.h"
#include "dict_int.h"
#include "format.h"

namespace vl {
namespace {

bool IsSpace(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool IsLetter(char c) noexcept { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Codes named in the OBJTYPE and FTYP tables, by code - 1.
constexpr std::array<const char *, 8> kObjTypeNames{"ET", "ST", "OF", "CB", "RB", "LB", "MT", "XB"};
constexpr std::array<const char *, 12> kFieldTypeNames{"N", "D", "Z", "M", "K", "T", "U", "CB", "RB", "LB", "MT", "XB"};

// NOTIFY keywords in table order, with their bits.
struct NotifyWord {
  const char *word;
  std::uint32_t bit;
};
constexpr std::array<NotifyWord, 4> kNotifyWords{{
    {"valid", BIT_NOTIFY_VALID},
    {"empty", BIT_NOTIFY_EMPTY},
    {"always", BIT_NOTIFY_ALWAYS},
    {"fsearch", BIT_NOTIFY_FSEARCH},
}};

template <std::size_t N>
std::int32_t CodeOf(const std::array<const char *, N> &names, std::string_view text) noexcept {
  for (std::size_t i = 0; i < N; ++i) {
    if (EqualNoCase(names[i], text)) return static_cast<std::int32_t>(i + 1);
  }
  return 0;
}

}  // namespace

// The leading decimal integer: white space, sign, digits.
std::int32_t LeadingInt(std::string_view s) noexcept {
  std::size_t pos = 0;
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  long long value = 0;
  for (; pos < s.size() && IsDigit(s[pos]); ++pos) {
    value = std::min<long long>(value * 10 + (s[pos] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  return static_cast<std::int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// The leading decimal number: white space, sign, digits with an optional point
// and decimals, an optional exponent.
double LeadingNumber(std::string_view s) noexcept {
  std::size_t pos = 0;
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  const std::size_t start = pos;
  std::size_t digits = 0;
  for (; pos < s.size() && IsDigit(s[pos]); ++pos) ++digits;
  if (pos < s.size() && s[pos] == '.') {
    for (++pos; pos < s.size() && IsDigit(s[pos]); ++pos) ++digits;
  }
  if (digits == 0) return 0;
  bool tinyExponent = false;
  if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
    std::size_t e = pos + 1;
    const bool expNegative = e < s.size() && s[e] == '-';
    if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
    if (e < s.size() && IsDigit(s[e])) {
      while (e < s.size() && IsDigit(s[e])) ++e;
      pos = e;
      tinyExponent = expNegative;
    }
  }
  double value = 0;
  const auto [end, ec] = FromChars(s.data() + start, s.data() + pos, value);
  if (ec == std::errc::result_out_of_range) value = tinyExponent ? 0.0 : DBL_MAX;
  else if (ec != std::errc() || end != s.data() + pos) value = 0;
  return negative ? -value : value;
}

namespace {

// ---------------------------------------------------------------------------
// Set and get handlers
// ---------------------------------------------------------------------------

template <std::string DictObj::*Member>
int SetText(DictObj &obj, std::string *value) {
  std::string &field = obj.*Member;
  if (value == nullptr) {
    std::string().swap(field);
    return -2;
  }
  if (value->empty()) {
    std::string().swap(field);
    return 0;
  }
  field = std::move(*value);
  return 1;
}

template <std::string DictObj::*Member>
void GetText(const DictObj &obj, std::string &text) {
  text = obj.*Member;
}

int SetObjType(DictObj &obj, std::string *value) {
  if (value == nullptr) return -2;
  obj.objType = CodeOf(kObjTypeNames, *value);
  if (obj.objType == 0 && !value->empty()) return -2;
  return 0;
}

void GetObjType(const DictObj &obj, std::string &text) {
  const std::int32_t code = obj.objType;
  text = code >= 1 && code <= static_cast<std::int32_t>(kObjTypeNames.size()) ? kObjTypeNames[code - 1] : "??";
}

int SetFieldType(DictObj &obj, std::string *value) {
  if (value == nullptr) {
    std::string().swap(obj.fldTypeText);
    return -2;
  }
  std::string().swap(obj.fldTypeText);
  obj.fldType = CodeOf(kFieldTypeNames, *value);
  if (obj.fldType != 0 || value->empty()) return 0;
  obj.fldTypeText = std::move(*value);
  return 1;
}

void GetFieldType(const DictObj &obj, std::string &text) {
  const std::int32_t code = obj.fldType;
  if (code == 0) text = obj.fldTypeText;
  else if (code >= 1 && code <= static_cast<std::int32_t>(kFieldTypeNames.size())) text = kFieldTypeNames[code - 1];
  else text = "??";
}

int SetRequired(DictObj &obj, std::string *value) {
  if (value == nullptr) return -2;
  obj.bits &= ~BIT_FREQ;
  if (value->empty() || *value == "0") return 0;
  if (*value == "1") {
    obj.bits |= BIT_FREQ;
    return 0;
  }
  return -2;
}

void GetRequired(const DictObj &obj, std::string &text) { text = (obj.bits & BIT_FREQ) != 0 ? "1" : "0"; }

template <std::int32_t DictObj::*Member>
int SetInt(DictObj &obj, std::string *value) {
  if (value == nullptr) return -2;
  obj.*Member = LeadingInt(*value);
  return 0;
}

template <std::int32_t DictObj::*Member>
void GetInt(const DictObj &obj, std::string &text) {
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, obj.*Member);
  text.assign(digits, end);
}

template <double DictObj::*Member>
int SetNumber(DictObj &obj, std::string *value) {
  if (value == nullptr) return -2;
  obj.*Member = LeadingNumber(*value);
  return 0;
}

template <double DictObj::*Member>
void GetNumber(const DictObj &obj, std::string &text) {
  // As "%.12g" writes it, whatever the process's numeric locale.
  char digits[32];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, obj.*Member, std::chars_format::general, 12);
  text.assign(digits, end);
}

// NOTIFY: words of letters separated by any other characters. Separators only,
// or two or more after the last word, amount to an empty word, which is refused.
int SetNotify(DictObj &obj, std::string *value) {
  if (value == nullptr) return -2;
  obj.bits &= ~BITS_NOTIFY;
  const std::string_view text = *value;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && !IsLetter(text[pos])) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && IsLetter(text[pos])) ++pos;
    const std::string_view word = text.substr(start, pos - start);
    const auto known = std::find_if(kNotifyWords.begin(), kNotifyWords.end(),
                                    [&](const NotifyWord &w) { return EqualNoCase(w.word, word); });
    if (known == kNotifyWords.end()) {
      obj.bits &= ~BITS_NOTIFY;
      return -2;
    }
    obj.bits |= known->bit;
    if (pos < text.size()) ++pos;  // the separator after the word
  }
  return 0;
}

void GetNotify(const DictObj &obj, std::string &text) {
  text.clear();
  for (const NotifyWord &w : kNotifyWords) {
    if ((obj.bits & w.bit) == 0) continue;
    if (!text.empty()) text += ',';
    text += w.word;
  }
}

// A text item: the table row's handlers for a text member.
#define VL_TEXT(member) &SetText<&DictObj::member>, &GetText<&DictObj::member>

}  // namespace

const std::array<DictItem, kItemCount> kDictItems{{
    {"PATH", nullptr, 0x1, 'X', 80, VL_TEXT(path)},
    {"OBJTYPE", nullptr, 0x2, 'X', 2, &SetObjType, &GetObjType},
    {"FTYP", "TYP", 0x4, 'X', 2, &SetFieldType, &GetFieldType},
    {"FVTYP", "VTYP", 0x8, 'X', 8, VL_TEXT(valType)},
    {"FFMT", "FMT", 0x10, 'X', 40, VL_TEXT(fieldFormat)},
    {"FREQ", "REQ", 0x20, 'N', 0, &SetRequired, &GetRequired},
    {"FLEN", "LEN", 0x40, 'N', 0, &SetInt<&DictObj::length>, &GetInt<&DictObj::length>},
    {"FPREC", "PREC", 0x80, 'N', 0, &SetInt<&DictObj::precision>, &GetInt<&DictObj::precision>},
    {"FMIN", "MIN", 0x100, 'N', 0, &SetNumber<&DictObj::minimum>, &GetNumber<&DictObj::minimum>},
    {"FMAX", "MAX", 0x200, 'N', 0, &SetNumber<&DictObj::maximum>, &GetNumber<&DictObj::maximum>},
    {"DEFAULT", "DEFVAL", 0x400, 'X', 80, VL_TEXT(defValue)},
    {"FEMPTY", "EMPTY", 0x800, 'X', 16, VL_TEXT(emptyValue)},
    {"VALID", nullptr, 0x1000, 'X', 100, VL_TEXT(valid)},
    {"FSEARCH", "SEARCH", 0x2000, 'X', 16, VL_TEXT(search)},
    {"FCHECK", "CHECK", 0x4000, 'X', 16, VL_TEXT(check)},
    {"NOTIFY", nullptr, 0x8000, 'X', 0, &SetNotify, &GetNotify},
    {"OUTPUT", nullptr, 0x10000, 'X', 16, VL_TEXT(output)},
    {"LOAD", nullptr, 0x20000, 'X', 16, VL_TEXT(load)},
    {"INIT", nullptr, 0x40000, 'X', 16, VL_TEXT(init)},
    {"ERLAUBT", "VALID", 0x1000, 'X', 100, &SetText<&DictObj::valid>, nullptr},
    {"MODEL", nullptr, 0, 'X', 80, &SetText<&DictObj::model>, nullptr},
}};

#undef VL_TEXT

void ObInit(DictObj &obj) noexcept { obj = DictObj{}; }

void ObFree(DictObj &obj) noexcept {
  std::string().swap(obj.packed);
  for (int i = 0; i < kGettableItems; ++i) (void)kDictItems[static_cast<std::size_t>(i)].set(obj, nullptr);
  std::string().swap(obj.model);
  obj.flags = 0;
}

namespace {

// The item names as views, so that the search by name compares lengths first.
const std::array<std::string_view, kItemCount> &ItemNames() {
  static const std::array<std::string_view, kItemCount> names = [] {
    std::array<std::string_view, kItemCount> views{};
    for (std::size_t i = 0; i < views.size(); ++i) views[i] = kDictItems[i].name;
    return views;
  }();
  return names;
}

}  // namespace

int ObSet(DictObj &obj, const char *name, std::string &value, const char *section) {
  const std::string_view wanted = OrEmpty(name);
  const auto &names = ItemNames();
  // Names come upper case from the reader: try the exact spelling before the case.
  const auto same = [&](std::string_view n) {
    return n.size() == wanted.size() && (n == wanted || EqualNoCase(n, wanted));
  };
  auto row = std::find(names.begin(), names.end(), wanted);
  if (row == names.end()) row = std::find_if(names.begin(), names.end(), same);
  if (row == names.end()) {
    TraceLine('D', 1, "ObSet(%s) failed: unknown item, section '%s'", OrEmpty(name), OrEmpty(section));
    return kReported;
  }
  const int index = static_cast<int>(row - names.begin());
  if (value.empty()) {
    TraceLine('D', 2, "ObSet(%s) warning: empty value, section '%s'", kDictItems[static_cast<std::size_t>(index)].name,
              OrEmpty(section));
  }
  return ObSetIdx(obj, index, value, section);
}

int ObSetIdx(DictObj &obj, int index, std::string &value, const char *section) {
  if (index < 0 || index >= kItemCount) {
    TraceLine('D', 1, "ObSetIdx() failed: invalid index %d, section '%s'", index, OrEmpty(section));
    return kReported;
  }
  const DictItem &item = kDictItems[static_cast<std::size_t>(index)];
  if (item.get == nullptr && item.alias != nullptr) {
    TraceLine('D', 2, "ObSetIdx(%s) warning: old item name, replace with '%s', section '%s'", item.name, item.alias,
              OrEmpty(section));
  }
  if (item.maxLength > 0 && value.size() > item.maxLength) {
    TraceLine('D', 1, "ObSetIdx(%s=%s) failed: maximum length exceeded, section '%s'", item.name, value.c_str(),
              OrEmpty(section));
    return kReported;
  }
  obj.packed.clear();
  const int taken = item.set(obj, &value);
  if (taken == kReported) {
    TraceLine('D', 1, "ObSetIdx(%s=%s) failed: invalid value, section '%s'", item.name, value.c_str(),
              OrEmpty(section));
    return kReported;
  }
  obj.flags |= item.flag;
  return taken;
}

namespace {

// What the check of step 3 chose for a field type: a default format, length and
// precision, each of which may be absent.
struct Defaults {
  bool format = false;
  std::string_view formatText;
  std::string formatOwned;  // a numeric flag string made for this field
  bool length = false;
  int lengthValue = 0;
  bool precision = false;
  int precisionValue = 0;
};

// Old one- and two-letter numeric formats and their flag strings.
struct OldNumFormat {
  const char *old;
  const char *flags;
};
constexpr std::array<OldNumFormat, 7> kOldNumFormats{{
    {"B", "lRBzTPg"}, {"Z", "lRbZTPg"}, {"ZB", "lRBZTPg"}, {"M", "lRbzTPG"},
    {"MB", "lRBzTPG"}, {"L", "LrbzTPg"}, {"LB", "LrBzTPg"},
}};
constexpr const char *kNumDefaultFlags = "lRbzTPg";

// Step 3 for a numeric field. False after a traced failure.
bool CheckNumeric(DictObj &obj, const char *section, Defaults &d) {
  if (!obj.valType.empty() && !EqualNoCase(obj.valType, "I") && !EqualNoCase(obj.valType, "D") &&
      !EqualNoCase(obj.valType, "S") && !EqualNoCase(obj.valType, "L")) {
    TraceLine('D', 1, "ObCheck() failed: FT_N has invalid FVTYP[%s], section '%s'", obj.valType.c_str(), section);
    return false;
  }
  const char *flags = nullptr;
  if (obj.fieldFormat.empty()) {
    flags = kNumDefaultFlags;
  } else {
    for (const OldNumFormat &f : kOldNumFormats) {
      if (obj.fieldFormat == f.old) flags = f.flags;
    }
    if (flags == nullptr) return true;  // already a flag string: left alone
  }
  AllocCheck();
  d.formatOwned = flags;
  if (obj.precision < 0) {
    obj.precision = -obj.precision;
    d.formatOwned[4] = 't';
    TraceLine('D', 2, "ObCheck() warning: negative precision, set to '%d' and change FFMT to '%s', section '%s'",
              obj.precision, d.formatOwned.c_str(), section);
  } else if (!obj.fieldFormat.empty()) {
    TraceLine('D', 2, "ObCheck() warning: old-style FFMT[%s], replace with '%s', section '%s'",
              obj.fieldFormat.c_str(), d.formatOwned.c_str(), section);
  }
  d.format = true;
  d.formatText = d.formatOwned;
  return true;
}

// Step 3 for a date field. False after a traced failure.
bool CheckDate(DictObj &obj, const char *section, Defaults &d) {
  const char *rewrite = EqualNoCase(obj.valType, "JMT") ? "YMD" : EqualNoCase(obj.valType, "JJMT") ? "CYMD" : nullptr;
  if (rewrite != nullptr) {
    TraceLine('D', 2, "ObCheck() warning: old-style FVTYP[%s], replace with '%s', section '%s'", obj.valType.c_str(),
              rewrite, section);
    AllocCheck();
    obj.valType = rewrite;
  }
  const bool ymd = EqualNoCase(obj.valType, "GREG") || EqualNoCase(obj.valType, "YMD");
  const bool cymd = EqualNoCase(obj.valType, "CYMD");
  if (!ymd && !cymd) {
    TraceLine('D', 1, "ObCheck() failed: FT_D has invalid FVTYP[%s], section '%s'", obj.valType.c_str(), section);
    return false;
  }
  if (obj.fieldFormat.empty()) {
    d.format = d.length = true;
    d.formatText = ymd ? Locale().LangInfo.dateFormatYmd.view() : Locale().LangInfo.dateFormatCymd.view();
    d.lengthValue = ymd ? Locale().LangInfo.dateLengthYmd : Locale().LangInfo.dateLengthCymd;
  } else if (cymd) {
    // CYMD takes the long date length whatever its format; a format the field
    // gives is kept, never replaced by the default.
    d.length = true;
    d.lengthValue = Locale().LangInfo.dateLengthCymd;
  }
  return true;
}

// Step 3 for a time field. False after a traced failure.
bool CheckTime(DictObj &obj, const char *section, Defaults &d) {
  const bool hm60 = EqualNoCase(obj.valType, "HM60");
  if (!hm60 && !EqualNoCase(obj.valType, "HM100")) {
    TraceLine('D', 1, "ObCheck() failed: FT_Z has invalid FVTYP[%s], section '%s'", obj.valType.c_str(), section);
    return false;
  }
  if (obj.fieldFormat.empty()) {
    d.format = d.length = true;
    d.lengthValue = Locale().LangInfo.timeLength;
    if (hm60) {
      d.formatText = Locale().LangInfo.timeFormatHm.view();
    } else {
      d.formatText = "lRBzTPg";
      d.precision = true;
      d.precisionValue = Locale().LangInfo.hm100Precision;
    }
  }
  return true;
}

}  // namespace

Status ObCheck(DictObj &obj, const char *section) {
  section = OrEmpty(section);
  obj.packed.clear();
  bool lengthRule = true;  // the LEN warning applies to every field type but K
  try {
    if (obj.path.empty()) {
      TraceLine('D', 1, "ObCheck() failed: missing PATH, section '%s'", section);
      return kReported;
    }
    if (obj.objType == 0) {
      TraceLine('D', 1, "ObCheck() failed: missing OBJTYPE, section '%s'", section);
      return kReported;
    }
    if (obj.objType >= OT_CB && obj.objType <= OT_XB) obj.fldType = obj.objType - OT_CB + FT_CB;

    Defaults d;
    switch (obj.fldType) {
      case FT_NONE:
        if (obj.fldTypeText.empty()) {
          TraceLine('D', 1, "ObCheck() failed: missing FTYP, section '%s'", section);
          return kReported;
        }
        break;
      case FT_N:
        if (!CheckNumeric(obj, section, d)) return kReported;
        break;
      case FT_D:
        if (!CheckDate(obj, section, d)) return kReported;
        break;
      case FT_Z:
        if (!CheckTime(obj, section, d)) return kReported;
        break;
      case FT_M:
        if (obj.fieldFormat.empty()) {
          d.format = d.length = true;
          d.formatText = Locale().LangInfo.monthFormat.view();
          d.lengthValue = Locale().LangInfo.monthLength;
        }
        break;
      case FT_K:
        if (!obj.valType.empty() && !EqualNoCase(obj.valType, "KW")) {
          TraceLine('D', 1, "ObCheck() failed: FT_K has invalid FVTYP[%s], section '%s'", obj.valType.c_str(),
                    section);
          return kReported;
        }
        lengthRule = false;
        break;
      case FT_T:
      case FT_U:
        if (obj.fieldFormat.empty()) {
          d.format = true;
          d.formatText = obj.fldType == FT_T ? "LrcZtuvo" : "LrcZtUvo";
        }
        break;
      default: break;
    }

    if (d.format) {
      AllocCheck();
      obj.fieldFormat.assign(d.formatText);
      obj.flags |= kDictItems[IT_FFMT].flag;
    }
    if (d.length && obj.length == 0) {
      obj.length = d.lengthValue;
      obj.flags |= kDictItems[IT_FLEN].flag;
    }
    if (d.precision && obj.precision == 0) {
      obj.precision = d.precisionValue;
      obj.flags |= kDictItems[IT_FPREC].flag;
    }
  } catch (const std::bad_alloc &) {
    TraceLine('D', 1, "ObCheck() failed: heap overflow, section '%s'", section);
    return kNoMemory;
  }

  char bad = '\0';
  if (!obj.valid.empty() && FmtCheckValid("", obj.valid.c_str(), bad) == kValidSyntaxError) {
    TraceLine('D', 1, "ObCheck() failed: syntax error in VALID '%s', section '%s'", obj.valid.c_str(), section);
    return kReported;
  }
  if (obj.length < 0) {
    TraceLine('D', 1, "ObCheck() failed: negative LEN, section '%s'", section);
    return kReported;
  }
  if (obj.objType >= OT_ET && obj.objType <= OT_OF && lengthRule && obj.length == 0) {
    TraceLine('D', 2, "ObCheck() warning: LEN is zero or undefined, section '%s'", section);
  }
  if (obj.precision < 0) {
    TraceLine('D', 1, "ObCheck() failed: negative PREC, section '%s'", section);
    return kReported;
  }
  return kOk;
}

Status ObCopy(DictObj &target, const DictObj &source, int mode, const char *section) {
  VL_TRACE_ENTRY('D', "ObCopy");
  section = OrEmpty(section);
  std::string text;
  for (int i = 0; i < kGettableItems; ++i) {
    const DictItem &item = kDictItems[static_cast<std::size_t>(i)];
    const bool sourceHas = (source.flags & item.flag) != 0;
    const bool targetHas = (target.flags & item.flag) != 0;
    if ((mode == 1 && !sourceHas) || (mode == 2 && (!sourceHas || targetHas))) continue;
    std::string copy;
    try {
      item.get(source, text);
      AllocCheck();
      copy = text;
    } catch (const std::bad_alloc &) {
      TraceLine('D', 1, "ObCopy() failed: heap overflow (section=%s, item=%s, value=%s)", section, item.name,
                text.c_str());
      return kNoMemory;
    }
    if (ObSetIdx(target, i, copy, section) == kReported) return kReported;
    if (TraceWanted('D', 3)) TraceLine('D', 3, "ObCopy(): item '%s' with value '%s' copied", item.name, text.c_str());
  }
  return kOk;
}

int ObGetIdx(const DictObj &obj, int n, std::string &name, std::string &value, std::string *type) {
  if (n < 0 || n >= kGettableItems) return -1;
  const DictItem &item = kDictItems[static_cast<std::size_t>(n)];
  name = item.name;
  item.get(obj, value);
  if (type != nullptr) type->assign(1, item.type);
  return n;
}

const char *ObGetAlias(int n) {
  if (n < 0 || n >= kGettableItems) {
    TraceLine('D', 1, "ObGetAlias() failed: invalid index");
    return nullptr;
  }
  const DictItem &item = kDictItems[static_cast<std::size_t>(n)];
  return item.alias != nullptr ? item.alias : item.name;
}

// ---------------------------------------------------------------------------
// A field section as an XBUF
// ---------------------------------------------------------------------------

namespace {

// Writes the 19 item entries of a packed field section.
bool PutItems(XbufWriter &writer, const DictObj &obj) {
  std::string text;
  for (int i = 0; i < kGettableItems; ++i) {
    const DictItem &item = kDictItems[static_cast<std::size_t>(i)];
    item.get(obj, text);
    if (!writer.Entry("Dict_", ObGetAlias(i), item.type, text)) return false;
  }
  return true;
}

// The head of the field name's entry, made once.
const std::string &FieldHead() {
  static const std::string head = [] {
    char text[32];
    return std::string(text, static_cast<std::size_t>(std::max(0, PutEntryHead(text, sizeof text, "Dict_", "fld", 'X'))));
  }();
  return head;
}

// The section packed, made at its first pack and kept with its object (a
// dialog's fields are packed again at every walk); null when it cannot be kept.
const std::string *Packed(const DictSection &section, std::string_view field) {
  const DictObj &obj = section.obj;
  if (obj.packedFor == &section && !obj.packed.empty()) return &obj.packed;
  char entries[2048];  // the longest items take less than half of it
  XbufWriter writer(entries, sizeof entries);
  if (!writer.Entries(FieldHead()) || !writer.Value(field) || !PutItems(writer, obj)) return nullptr;
  try {
    AllocCheck();
    obj.packed.assign(entries, writer.Length());
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
  obj.packedFor = &section;
  return &obj.packed;
}

}  // namespace

Status xpack_dict(const DictSection &section, char *buffer, std::size_t room, std::size_t &length) {
  XbufWriter writer(buffer, buffer != nullptr ? room : 0);
  // Packed before: one copy, without reading the section's name.
  const DictObj &obj = section.obj;
  if (obj.packedFor == &section && !obj.packed.empty() && writer.Entries(obj.packed) && writer.End()) {
    length = writer.Length();
    return kOk;
  }
  const std::string_view name = section.section;
  const std::size_t dot = name.find('.');
  const std::string_view field = dot == std::string_view::npos ? name : name.substr(dot + 1);
  bool fits = writer.Entries(FieldHead()) && writer.Value(field);
  if (fits) {
    // The item entries, all of them or none when they are kept.
    const std::string *packed = Packed(section, field);
    fits = packed != nullptr ? writer.Entries(std::string_view(*packed).substr(writer.Length())) : PutItems(writer, obj);
  }
  if (!fits || !writer.End()) {
    TraceLine('D', 1, "xpack_dict() failed: XBUF overflow");
    return kTooSmall;
  }
  length = writer.Length();
  return kOk;
}

namespace {

// True when `text`, the rest of the buffer, is the beginning of an entry head
// that would only end beyond it.
bool HeadRunsPastEnd(std::string_view text) noexcept {
  if (text.empty()) return true;
  const char type = AsciiUpper(text[0]);
  if (type != 'X' && type != 'N') return false;
  std::size_t pos = 1;
  if (pos == text.size()) return true;
  if (!IsLetter(text[pos])) return false;
  while (pos < text.size() && (IsLetter(text[pos]) || IsDigit(text[pos]) || text[pos] == '_')) ++pos;
  if (pos - 1 > kXbufNameMax) return false;
  if (pos == text.size()) return true;
  if (text[pos++] != '~') return false;
  std::size_t digits = 0;
  while (pos < text.size() && IsDigit(text[pos]) && ++digits <= 9) ++pos;
  return pos == text.size() && digits <= 9;
}

// True when `text` holds only the digits of a value's length, cut short.
bool LengthRunsPastEnd(std::string_view text) noexcept {
  return text.size() <= 9 && std::all_of(text.begin(), text.end(), IsDigit);
}

}  // namespace

int ReadXbufEntry(std::string_view all, std::size_t &offset, XbufEntry &entry) {
  const std::string_view rest = all.substr(offset);
  const int head = GetEntryHead(rest, entry);
  if (head < 0) return HeadRunsPastEnd(rest) ? 2 : 1;
  const std::string_view valuePart = rest.substr(static_cast<std::size_t>(head));
  const long value = GetEntryValue(valuePart, entry);
  if (value < 0 || static_cast<std::size_t>(value) > valuePart.size()) {
    return value >= 0 || LengthRunsPastEnd(valuePart) ? 4 : 3;
  }
  offset += static_cast<std::size_t>(head) + static_cast<std::size_t>(value);
  return 0;
}

Status XbufObSet(DictObj &obj, std::string &fieldName, const char *xbuf, std::size_t length) {
  VL_TRACE_ENTRY('D', "XbufObSet");
  fieldName.clear();
  const std::string_view all(xbuf != nullptr ? xbuf : "", xbuf != nullptr ? length : 0);
  if (!all.empty() && all[0] == '$') {
    TraceLine('D', 1, "XbufObSet() failed: field name not specified");
    return kReported;
  }
  int items = 0;
  std::size_t offset = 0;
  XbufEntry entry;
  while (offset < all.size() && all[offset] != '$') {
    const std::size_t at = offset;
    if (const int corrupt = ReadXbufEntry(all, offset, entry); corrupt != 0) {
      TraceLine('D', 1, "XbufObSet() failed: buffer corrupt (%d), offset=%d", corrupt, static_cast<int>(at));
      return kReported;
    }

    const std::size_t underscore = entry.name.find('_');
    const std::string key = underscore == std::string::npos ? entry.name : entry.name.substr(underscore + 1);
    // A text the engine keeps ends at its first NUL byte.
    std::string_view bytes(entry.value, entry.valueLength);
    bytes = bytes.substr(0, bytes.find('\0'));
    int index = -1;
    if (!EqualNoCase(key, "fld")) {
      for (int i = 0; i < kGettableItems && index < 0; ++i) {
        if (EqualNoCase(ObGetAlias(i), key)) index = i;
      }
      if (index < 0) {
        TraceLine('D', 1, "XbufObSet() failed: unknown item '%s'", key.c_str());
        return kReported;
      }
    }
    std::string copy;
    try {
      AllocCheck();
      copy.assign(bytes);
    } catch (const std::bad_alloc &) {
      TraceLine('D', 1, "XbufObSet() failed: heap overflow (item=%s)", key.c_str());
      return kNoMemory;
    }
    if (index < 0) {
      fieldName = std::move(copy);
      continue;
    }
    if (ObSetIdx(obj, index, copy, fieldName.c_str()) == kReported) return kReported;
    ++items;
  }
  if (fieldName.empty()) {
    TraceLine('D', 1, "XbufObSet() failed: field name not specified");
    return kReported;
  }
  if (items == 0) {
    TraceLine('D', 1, "XbufObSet() failed: XBUF seems to be empty");
    return kReported;
  }
  return kOk;
}

}  // namespace vl
