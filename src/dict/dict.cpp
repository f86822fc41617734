// Host functions of the dictionary engine: opening and closing dictionaries
// (dict_Open 47 to dict_CloseModel 51), dialog ids and aliases (dict_DlgID 52 to
// dict_MapID 56) and a whole dictionary packed into the CSDX stream (dict_PackDX
// 64). The engine behind them is in dictkrnl, dictattr and dictutil.
#include <algorithm>

#include "buffers.h"
#include "dict.h"
#include "dict_host.h"
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
