// Host functions whose family is not built yet. Each answers 19 after the level-1
// trace line "%s() failed: not available". A family that is built removes its
// lines here and implements the functions in its own component, declared in that
// component's *_host.h.
#include "dict_host.h"
#include "host.h"

namespace {

std::int32_t NotAvailable(const char *function) noexcept {
  vl::TraceLine('D', 1, "%s() failed: not available", function);
  return vl::kHostFailed;
}

}  // namespace

#define VL_PENDING(name, ...) \
  std::int32_t name(__VA_ARGS__) { return NotAvailable(#name); }

VL_PENDING(dict_List, const char *, const char *, HostString *)
VL_PENDING(dict_First, const char *)
VL_PENDING(dict_Next, const char *, HostString *, int32_t *)
VL_PENDING(dict_Get, const char *, const char *, HostString *)
VL_PENDING(dict_GetByKey, const char *, const char *, const char *, HostString *)
VL_PENDING(dict_Update, const char *, HostString *)
VL_PENDING(dict_Dump, const char *, const char *)
VL_PENDING(dict_XbufFilterInit, const char *, HostString *, int32_t *)
VL_PENDING(dict_XbufFilterAdd, const char *, HostString *)
VL_PENDING(dict_ListFilterInit, const char *, const char *, int32_t *)
VL_PENDING(dict_VarFilterInit, const char *, const char *, const char *, int32_t *)
VL_PENDING(dict_FilterInit, const char *)
VL_PENDING(dict_FilterNext, HostString *, HostString *, int32_t *)
VL_PENDING(dict_FilterSetValue, const char *)
VL_PENDING(dict_FilterToXbuf, HostString *)
VL_PENDING(dict_FilterFree)
