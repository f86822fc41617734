// Host functions of the dictionary engine: opening and closing dictionaries
// (dict_Open 47 to dict_CloseModel 51), dialog ids and aliases (dict_DlgID 52 to
// dict_MapID 56), field access (dict_List 57 to dict_GetByKey 61), updates and
// the listing (dict_Update 62, dict_Dump 63), a whole dictionary packed into the
// CSDX stream (dict_PackDX 64) and the filtered variable lists
// (dict_XbufFilterInit 65 to dict_FilterFree 73). The engine behind them is in
// dictkrnl, dictattr and dictutil.
#include <algorithm>

#include "buffers.h"
#include "dict.h"
#include "dict_host.h"
#include "dict_int.h"
#include "host.h"

std::int32_t dict_Open(const char *id, const char *fname, std::int32_t lvl, std::int32_t *rc_p) {
  std::int32_t rc = rc_p != nullptr ? *rc_p : 0;
  const vl::Status opened = vl::OpenDict(id, fname, lvl, rc);
  if (rc_p != nullptr) *rc_p = rc;
  return vl::ToHostResult(opened);
}

std::int32_t dict_OpenModel(const char *id, const char *fname, std::int32_t *rc_p) {
  return dict_Open(id, fname, -1, rc_p);
}

std::int32_t dict_Close(std::int32_t lvl) {
  vl::CloseDict(lvl);
  return vl::kHostOk;
}

std::int32_t dict_CloseAll() {
  vl::CloseAllDicts();
  return vl::kHostOk;
}

std::int32_t dict_CloseModel(const char *id) { return vl::ToHostResult(vl::CloseModelDict(id)); }

std::int32_t dict_DlgID(const char *dict_id, std::int32_t lvl, std::int32_t idx, HostString *xbuf,
                        std::int32_t *eof_p) {
  *eof_p = 0;
  std::string name;
  std::string id;
  const vl::Status found = vl::GetDlgID(vl::OrEmpty(dict_id), lvl, idx, name, id);
  if (found == vl::kNothing) {
    if (xbuf != nullptr) xbuf->len = 0;
    *eof_p = 1;
    return vl::kHostOk;
  }
  if (found != vl::kOk) return vl::ToHostResult(found);
  const std::size_t room = xbuf != nullptr && xbuf->bytes != nullptr ? static_cast<std::size_t>(std::max(xbuf->cap, 0)) : 0;
  vl::XbufWriter writer(room > 0 ? xbuf->bytes : nullptr, room);
  if (!writer.Entry("Dlg_", "name", 'X', name) || !writer.Entry("Dlg_", "id", 'X', id) || !writer.End()) {
    return vl::kHostTooLong;
  }
  xbuf->len = static_cast<std::int32_t>(writer.Length());
  return vl::kHostOk;
}

std::int32_t dict_GetAlias(const char *dlgID, std::int32_t alias_idx, HostString *aliasID, std::int32_t *eof_p) {
  *eof_p = 0;
  std::string alias;
  switch (vl::GetDlgAlias(vl::OrEmpty(dlgID), alias_idx, alias)) {
    case vl::kOk: return vl::StoreText(aliasID, alias.c_str());
    case vl::kNothing:
      *eof_p = 1;
      return vl::StoreBytes(aliasID, {});
    default: vl::TraceLine('D', 1, "dict_GetAlias() failed"); return vl::kHostFailed;
  }
}

std::int32_t dict_NewAlias(const char *dlgID, HostString *aliasID) {
  std::string alias;
  if (vl::NewDlgAlias(vl::OrEmpty(dlgID), alias) != vl::kOk) {
    vl::TraceLine('D', 1, "dict_NewAlias() failed");
    return vl::kHostFailed;
  }
  return vl::StoreText(aliasID, alias.c_str());
}

std::int32_t dict_DelAlias(const char *aliasID) {
  if (vl::DelDlgAlias(vl::OrEmpty(aliasID)) != vl::kOk) {
    vl::TraceLine('D', 1, "dict_DelAlias() failed");
    return vl::kHostFailed;
  }
  return vl::kHostOk;
}

std::int32_t dict_MapID(const char *handle, HostString *id_p) {
  const std::string *id = vl::MapDlgHandle(vl::OrEmpty(handle));
  if (id == nullptr) {
    vl::TraceLine('D', 1, "dict_MapID() failed: unknown dialog handle '%s'", vl::OrEmpty(handle));
    return vl::kHostFailed;
  }
  return vl::StoreText(id_p, id->c_str());
}

std::int32_t dict_PackDX(const char *dlgID, std::int32_t lvl) {
  VL_TRACE_ENTRY('D', "dict_PackDX");
  vl::CSDX_Reset();
  const vl::DlgHandle *handle = vl::FindDlgID(vl::OrEmpty(dlgID));
  if (handle == nullptr) {
    vl::TraceLine('D', 1, "dict_PackDX() failed: unknown dlgID '%s'", vl::OrEmpty(dlgID));
    return vl::kHostFailed;
  }
  return vl::ToHostResult(vl::PackDictDX(*handle->record->dict, lvl));
}

// ---------------------------------------------------------------------------
// Field access
// ---------------------------------------------------------------------------

namespace {

// The dialog that `dlgID` names, or null after "<function>() failed: unknown
// dlgID '%s'".
const vl::DlgHandle *Dialog(const char *function, const char *dlgID) {
  const vl::DlgHandle *handle = vl::FindDlgID(vl::OrEmpty(dlgID));
  if (handle == nullptr) vl::TraceLine('D', 1, "%s() failed: unknown dlgID '%s'", function, vl::OrEmpty(dlgID));
  return handle;
}

// The room of an output buffer.
std::size_t Room(const HostString *s) {
  return s != nullptr && s->bytes != nullptr ? static_cast<std::size_t>(std::max(s->cap, 0)) : 0;
}

// Packs a field section into `xbuf`: 0, or 18 when it does not fit.
std::int32_t PackField(const vl::DictSection &section, HostString *xbuf) {
  std::size_t length = 0;
  if (vl::xpack_dict(section, Room(xbuf) > 0 ? xbuf->bytes : nullptr, Room(xbuf), length) != vl::kOk) {
    return vl::kHostTooLong;
  }
  xbuf->len = static_cast<std::int32_t>(length);
  return vl::kHostOk;
}

// The field `name` of the dialog: its section "<hdl>.<name>", the name joined
// on the stack when it is short, as it nearly always is.
const vl::DictSection *Field(const vl::DlgHandle &handle, const char *name) {
  const std::string_view field = vl::OrEmpty(name);
  const vl::Dict &dict = *handle.record->dict;
  char joined[256];
  if (handle.hdl.size() + 1 + field.size() > sizeof joined) {
    return vl::FindSection(dict, handle.hdl + "." + std::string(field));
  }
  char *end = std::copy(handle.hdl.begin(), handle.hdl.end(), joined);
  *end++ = '.';
  end = std::copy(field.begin(), field.end(), end);
  return vl::FindSection(dict, std::string_view(joined, static_cast<std::size_t>(end - joined)));
}

std::int32_t Empty(HostString *s) {
  if (s != nullptr) s->len = 0;
  return vl::kHostOk;
}

}  // namespace

std::int32_t dict_List(const char *dlgID, const char *item, HostString *buf) {
  const vl::DlgHandle *handle = Dialog("dict_List", dlgID);
  if (handle == nullptr) return vl::kHostFailed;
  const vl::ListEntry *entry = vl::FindListEntry(*handle->record->dict, vl::OrEmpty(item));
  return entry != nullptr ? vl::StoreText(buf, entry->value.c_str()) : Empty(buf);
}

std::int32_t dict_First(const char *dlgID) {
  const vl::DlgHandle *handle = Dialog("dict_First", dlgID);
  if (handle == nullptr) return vl::kHostFailed;
  handle->record->dict->cursor = nullptr;
  return vl::kHostOk;
}

std::int32_t dict_Next(const char *dlgID, HostString *xbuf, std::int32_t *rc_p) {
  const vl::DlgHandle *handle = Dialog("dict_Next", dlgID);
  if (handle == nullptr) return vl::kHostFailed;
  vl::Dict &dict = *handle->record->dict;
  dict.cursor = dict.cursor == nullptr ? vl::FirstDialogSection(dict, handle->hdl)
                                       : vl::NextDialogSection(*dict.cursor, handle->hdl);
  *rc_p = dict.cursor == nullptr ? 1 : 0;
  if (dict.cursor == nullptr) return Empty(xbuf);
  // The section the next call will most likely take.
  if (dict.cursor->nextInDialog != nullptr) vl::PrefetchSection(dict.cursor->nextInDialog, false);
  return PackField(*dict.cursor, xbuf);
}

std::int32_t dict_Get(const char *dlgID, const char *name, HostString *xbuf) {
  const vl::DlgHandle *handle = Dialog("dict_Get", dlgID);
  if (handle == nullptr) return vl::kHostFailed;
  const vl::DictSection *section = Field(*handle, name);
  return section == nullptr ? Empty(xbuf) : PackField(*section, xbuf);
}

std::int32_t dict_GetByKey(const char *dlgID, const char *key_item, const char *key_value, HostString *xbuf) {
  const vl::DlgHandle *handle = Dialog("dict_GetByKey", dlgID);
  if (handle == nullptr) return vl::kHostFailed;
  const vl::Dict &dict = *handle->record->dict;
  const vl::DictSection *section = vl::FirstDialogSection(dict, handle->hdl);
  if (section == nullptr) return Empty(xbuf);
  // The item by its name, not its alias.
  int item = 0;
  while (item < vl::kGettableItems && !vl::EqualNoCase(vl::kDictItems[item].name, vl::OrEmpty(key_item))) ++item;
  if (item == vl::kGettableItems) return vl::kHostFailed;
  std::string text;
  for (; section != nullptr; section = vl::NextDialogSection(*section, handle->hdl)) {
    vl::kDictItems[item].get(section->obj, text);
    if (vl::EqualNoCase(text, vl::OrEmpty(key_value))) return PackField(*section, xbuf);
  }
  return Empty(xbuf);
}

std::int32_t dict_Update(const char *dlgID, HostString *Xdict) {
  return vl::UpdateDict(dlgID, vl::HostView(Xdict)) == vl::kOk ? vl::kHostOk : vl::kHostFailed;
}

std::int32_t dict_Dump(const char *dlgID, const char *fldName) {
  vl::DumpDict(dlgID, fldName);
  return vl::kHostOk;
}

// ---------------------------------------------------------------------------
// Filtered variable lists
// ---------------------------------------------------------------------------

namespace {

// The host result of a filter function. Where the function has eof_p, reaching
// nothing (the end, or no variable added) sets it to 1 and is no failure.
std::int32_t FilterResult(vl::Status status, std::int32_t *eof_p = nullptr) {
  if (eof_p != nullptr) {
    *eof_p = status == vl::kNothing ? 1 : 0;
    if (status == vl::kNothing) return vl::kHostOk;
  }
  return vl::ToHostResult(status);
}

}  // namespace

std::int32_t dict_XbufFilterInit(const char *dlgID, HostString *xbuf, std::int32_t *eof_p) {
  return FilterResult(vl::VarInitXBUF(dlgID, vl::HostView(xbuf)), eof_p);
}

std::int32_t dict_XbufFilterAdd(const char *dlgID, HostString *xbuf) {
  return FilterResult(vl::VarUpdateXBUF(dlgID, vl::HostView(xbuf)));
}

std::int32_t dict_ListFilterInit(const char *dlgID, const char *list, std::int32_t *eof_p) {
  return FilterResult(vl::VarInitLIST(dlgID, list), eof_p);
}

std::int32_t dict_VarFilterInit(const char *dlgID, const char *name, const char *val, std::int32_t *eof_p) {
  return FilterResult(vl::VarInitONE(dlgID, name, val), eof_p);
}

std::int32_t dict_FilterInit(const char *filterName) { return FilterResult(vl::VarInitAccess(filterName)); }

std::int32_t dict_FilterNext(HostString *xdict, HostString *val, std::int32_t *eof_p) {
  *eof_p = 0;
  const vl::Status next = vl::VarGetNext();
  if (next != vl::kOk) return FilterResult(next, eof_p);
  std::string_view value;
  const vl::DictSection *section = vl::VarCurrSection();
  if (section == nullptr || !vl::VarCurrValue(value)) return vl::kHostFailed;
  if (vl::StoreBytes(val, value) != vl::kHostOk) {
    vl::TraceLine('D', 1, "dict_FilterNext() failed: string overflow (val)");
    return vl::kHostTooLong;
  }
  return PackField(*section, xdict);
}

std::int32_t dict_FilterSetValue(const char *newValue) {
  return FilterResult(vl::VarSetCurrValue(vl::OrEmpty(newValue)));
}

std::int32_t dict_FilterToXbuf(HostString *xbuf) {
  std::size_t length = 0;
  const vl::Status written = vl::VarWriteXBUF(Room(xbuf) > 0 ? xbuf->bytes : nullptr, Room(xbuf), length);
  if (written == vl::kOk) xbuf->len = static_cast<std::int32_t>(length);
  return FilterResult(written);
}

std::int32_t dict_FilterFree() { return FilterResult(vl::VarFree()); }
