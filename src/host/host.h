// util's frame: host result codes, helpers that read and write the host's
// strings, the frame's own state, and the declarations of all 89 host functions.
// Each host function is implemented by the component of its family; VlCall
// dispatches to them through the function table (functable.cpp).
#pragma once

#include <cstdint>
#include <string_view>

#include "common.h"
#include "vlabi.h"

namespace vl {

// Results of host functions (the value VlCall returns).
enum HostResult : std::int32_t {
  kHostOk = 0,             // success
  kHostNoFunction = -1,    // the function number names no function
  kHostNoMemory = 2,       // memory exhausted
  kHostTooLong = 18,       // an output value does not fit its HostString
  kHostFailed = 19,        // failure reported on the trace
  kHostCorrupt = 204,      // corrupt packed buffer
  kHostNoFreeList = 2000,  // list errors: no free list,
  kHostListMemory = 2001,  //   memory exhausted,
  kHostBadList = 2002,     //   bad handle,
  kHostNoCurrent = 2003,   //   no current element
};

// Maps an engine status to a host result: 0 -> 0, -3 -> 18, -4 -> 2, -5 -> 204,
// anything else -> 19.
std::int32_t ToHostResult(int status) noexcept;

// The current value of a host string as bytes; empty for a null string, a null
// data pointer or a negative length; a length beyond cap counts only cap bytes.
std::string_view HostView(const HostString *s) noexcept;

// Stores bytes as the new value: 18 and the string unchanged when they exceed cap.
std::int32_t StoreBytes(HostString *s, std::string_view value) noexcept;

// Stores a NUL-terminated text through the host's HostStrPut and returns its result.
std::int32_t StoreText(HostString *s, const char *text) noexcept;

// Trace line and result of a host function whose family is not built yet.
std::int32_t NotAvailable(const char *function) noexcept;

// The module revision stored by dll_Revision.
inline constexpr const char *kRevision = "3.14";

}  // namespace vl

// The 89 host functions, by number. Argument kinds follow their types: int32_t is
// integer in (1), int32_t * integer out (2), double real in (4), double * real out
// (5), const char * text in (7), HostString * host string (8).
extern "C" {
// Frame (0-2) and trace (3)
int32_t dll_Revision(HostString *str);
int32_t dll_Compiled(HostString *str);
int32_t dll_Debug(int32_t debug);
int32_t dll_SetDebugFlags(const char *fs, const char *fname);
// Locale (4) and the packed buffer reader (5)
int32_t dll_SetLocale(const char *str);
int32_t dll_SendNext(HostString *vl, int32_t *eof_p);
// Host variables and path helpers (6-12)
int32_t v_Set(HostString *name, HostString *value);
int32_t v_Unset(HostString *name);
int32_t v_Get(HostString *name, HostString *value);
int32_t u_udata(HostString *Udata, HostString *Feldtyp, int32_t *Fld_length, int32_t *Fld_nk, int32_t *Numtyp, int32_t *Mussfeld, double *Numvon, double *Numbis, int32_t *rc);
int32_t u_basename(HostString *ObjPath, HostString *BaseObj);
int32_t u_pathname(HostString *ObjPath, HostString *Path);
int32_t u_rempath(HostString *ObjPath, HostString *Path);
// INI files (13-22)
int32_t ini_GetInt(const char *section, const char *entry, int32_t def, const char *fname, int32_t *val_p);
int32_t ini_GetString(const char *section, const char *entry, const char *def, const char *fname, HostString *val);
int32_t ini_SetString(const char *section, const char *entry, const char *val, const char *fname);
int32_t ini_Open(const char *fname, const char *section, int32_t *hdl);
int32_t ini_Close(int32_t hdl, int32_t *rc);
int32_t ini_CloseAll(void);
int32_t ini_FindSection(int32_t hdl, const char *section, int32_t *eof);
int32_t ini_NextLine(int32_t hdl, HostString *buf, int32_t *eof);
int32_t ini_NextSection(int32_t hdl, HostString *buf, int32_t *eof);
int32_t ini_NextEntry(int32_t hdl, HostString *item, HostString *value, int32_t *eof);
// Named lists (23-45)
int32_t l_CreateList(int32_t *hdl, HostString *name);
int32_t l_Name(int32_t hdl, HostString *name);
int32_t l_HdlByName(const char *name, int32_t *hdl);
int32_t l_DeleteList(int32_t *hdl);
int32_t l_DeleteAll(void);
int32_t l_Add(int32_t hdl, HostString *data);
int32_t l_Ins(int32_t hdl, HostString *data);
int32_t l_Set(int32_t hdl, HostString *data);
int32_t l_Del(int32_t hdl, int32_t *eol);
int32_t l_Get(int32_t hdl, int32_t mode, HostString *data, int32_t *eol);
int32_t l_GetCurr(int32_t hdl, HostString *data, int32_t *eol);
int32_t l_GetFirst(int32_t hdl, HostString *data, int32_t *eol);
int32_t l_GetLast(int32_t hdl, HostString *data, int32_t *eol);
int32_t l_GetNext(int32_t hdl, HostString *data, int32_t *eol);
int32_t l_GetPrev(int32_t hdl, HostString *data, int32_t *eol);
int32_t l_GetIdx(int32_t hdl, int32_t idx, HostString *data, int32_t *eol);
int32_t l_Seek(int32_t hdl, int32_t mode, int32_t *eol);
int32_t l_SeekCurr(int32_t hdl, int32_t *eol);
int32_t l_SeekFirst(int32_t hdl, int32_t *eol);
int32_t l_SeekLast(int32_t hdl, int32_t *eol);
int32_t l_SeekNext(int32_t hdl, int32_t *eol);
int32_t l_SeekPrev(int32_t hdl, int32_t *eol);
int32_t l_SeekIdx(int32_t hdl, int32_t idx, int32_t *eol);
// Module definition files (46)
int32_t mdf_Get(const char *fname, const char *section, const char *filter, HostString *xbuf, int32_t *rc_p);
// Dialog dictionaries (47-74)
int32_t dict_Open(const char *id, const char *fname, int32_t lvl, int32_t *rc_p);
int32_t dict_OpenModel(const char *id, const char *fname, int32_t *rc_p);
int32_t dict_Close(int32_t lvl);
int32_t dict_CloseAll(void);
int32_t dict_CloseModel(const char *id);
int32_t dict_DlgID(const char *dict_id, int32_t lvl, int32_t idx, HostString *xbuf, int32_t *eof_p);
int32_t dict_GetAlias(const char *dlgID, int32_t alias_idx, HostString *aliasID, int32_t *eof_p);
int32_t dict_NewAlias(const char *dlgID, HostString *aliasID);
int32_t dict_DelAlias(const char *aliasID);
int32_t dict_MapID(const char *handle, HostString *id_p);
int32_t dict_List(const char *dlgID, const char *item, HostString *buf);
int32_t dict_First(const char *dlgID);
int32_t dict_Next(const char *dlgID, HostString *xbuf, int32_t *rc_p);
int32_t dict_Get(const char *dlgID, const char *name, HostString *xbuf);
int32_t dict_GetByKey(const char *dlgID, const char *key_item, const char *key_value, HostString *xbuf);
int32_t dict_Update(const char *dlgID, HostString *Xdict);
int32_t dict_Dump(const char *dlgID, const char *fldName);
int32_t dict_PackDX(const char *dlgID, int32_t lvl);
int32_t dict_XbufFilterInit(const char *dlgID, HostString *xbuf, int32_t *eof_p);
int32_t dict_XbufFilterAdd(const char *dlgID, HostString *xbuf);
int32_t dict_ListFilterInit(const char *dlgID, const char *list, int32_t *eof_p);
int32_t dict_VarFilterInit(const char *dlgID, const char *name, const char *val, int32_t *eof_p);
int32_t dict_FilterInit(const char *filterName);
int32_t dict_FilterNext(HostString *xdict, HostString *val, int32_t *eof_p);
int32_t dict_FilterSetValue(const char *newValue);
int32_t dict_FilterToXbuf(HostString *xbuf);
int32_t dict_FilterFree(void);
int32_t dict_PackBufDX(HostString *buf);
// Field formatting and scanning (75-88)
int32_t dict_Y2kMode(int32_t mode);
int32_t chk_Num(const char *v_type, HostString *str, double *res, int32_t *rc);
int32_t fmt_Num(double pval, int32_t plen, int32_t pprec, const char *pflags, HostString *result);
int32_t scan_Num(const char *in, const char *pfvt, int32_t pprec, double pmin, double pmax, const char *pvalid, double *result, HostString *out, int32_t *rc);
int32_t fmt_Date(int32_t pval, int32_t isGreg, int32_t plen, const char *pfmt, HostString *result);
int32_t scan_Date(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result, HostString *out, int32_t *rc);
int32_t fmt_Time(int32_t pval, int32_t plen, const char *pfmt, HostString *result);
int32_t scan_Time(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result, HostString *out, int32_t *rc);
int32_t fmt_Week(int32_t pval, int32_t plen, const char *vtyp, const char *pfmt, HostString *result);
int32_t scan_Week(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result, HostString *out, int32_t *rc);
int32_t fmt_Month(int32_t pval, int32_t plen, const char *pfmt, HostString *result);
int32_t scan_Month(const char *in, const char *pfvt, const char *pfmt, const char *pvalid, int32_t *result, HostString *out, int32_t *rc);
int32_t fmt_Text(const char *pval, int32_t plen, const char *pflags, HostString *result);
int32_t scan_Text(const char *in, int32_t plen, const char *pflags, const char *pvalid, HostString *out, int32_t *rc);
}  // extern "C"
