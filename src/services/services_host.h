// The host functions of the module's utility services (util only): host
// variables (6-8), the field description reader and object path helpers (9-12),
// named lists (23-45) and module definition files (46).
#pragma once

#include <cstdint>

#include "vlabi.h"

extern "C" {
// Host variables and path helpers (6-12)
int32_t v_Set(HostString *name, HostString *value);
int32_t v_Unset(HostString *name);
int32_t v_Get(HostString *name, HostString *value);
int32_t u_udata(HostString *Udata, HostString *Feldtyp, int32_t *Fld_length, int32_t *Fld_nk, int32_t *Numtyp,
                int32_t *Mussfeld, double *Numvon, double *Numbis, int32_t *rc);
int32_t u_basename(HostString *ObjPath, HostString *BaseObj);
int32_t u_pathname(HostString *ObjPath, HostString *Path);
int32_t u_rempath(HostString *ObjPath, HostString *Path);
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
}  // extern "C"
