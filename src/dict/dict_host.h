// Host functions of the dialog dictionaries (47 to 73), in dict.cpp: opening and
// closing (47 to 51), dialog ids and aliases (52 to 56), field access (57 to 61),
// dict_Update and dict_Dump (62, 63), dict_PackDX (64) and the filtered variable
// lists (65 to 73). dict_PackBufDX (74) is in buffers_host.h.
#pragma once

#include <cstdint>

#include "vlabi.h"

extern "C" {
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
}  // extern "C"
