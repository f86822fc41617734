// Host functions of the packed stream: dll_SendNext (5) hands csdxBuf to the host
// piece by piece; dict_PackBufDX (74) packs a host buffer into it. See sendnext.cpp.
#pragma once

#include <cstdint>

#include "vlabi.h"

extern "C" {
int32_t dll_SendNext(HostString *vl, int32_t *eof_p);
int32_t dict_PackBufDX(HostString *buf);
}  // extern "C"
