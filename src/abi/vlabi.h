/* The module's binary interface: what util exports and what it imports from the
 * host runtime library libvlrt64.so. Plain C, so that hosts written in C can use it. */
#ifndef VL_VLABI_H
#define VL_VLABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One row of VlFuncList: row i describes function number i; an all-zero row ends it. */
typedef struct VlFuncRow {
  const char *name;   /* the function's name */
  uint32_t first_arg; /* index into VlArgList of its first argument */
  uint32_t arg_count; /* number of arguments; 0 for none */
  uint64_t reserved;  /* always 0 */
} VlFuncRow;

/* One row of VlArgList: one per argument of every function, in function order. */
typedef struct VlArgRow {
  const char *name;
  uint64_t type; /* one of the VL_ARG_ codes */
} VlArgRow;

/* Argument type codes; the argument vector holds one pointer per argument. */
enum {
  VL_ARG_INT_IN = 1,   /* int32_t *, read by value */
  VL_ARG_INT_OUT = 2,  /* int32_t *, written */
  VL_ARG_REAL_IN = 4,  /* double *, read by value */
  VL_ARG_REAL_OUT = 5, /* double *, written */
  VL_ARG_TEXT = 7,     /* const char *, NUL-terminated */
  VL_ARG_HSTRING = 8   /* HostString * */
};

/* The host's descriptor of a string variable. */
typedef struct HostString {
  int32_t cap;  /* bytes reserved at bytes: the longest value it can take */
  int32_t len;  /* length of the current value */
  char *bytes;  /* the value, not NUL-terminated */
} HostString;

/* Exported by util. (The module's own definition declares the tables itself.) */
#ifndef VL_DEFINING_FUNCTION_TABLES
extern const VlFuncRow VlFuncList[];
extern const VlArgRow VlArgList[];
#endif
int32_t VlCall(int32_t number, void **argv);

/* Imported by util from the host runtime library. */
int HostMain(void *instance, void *prev_instance, const char *cmdline, int show);
extern int32_t HostDebugLevel;
int32_t HostStrLen(HostString *s);
int32_t HostStrAssign(HostString *target, HostString *source);
/* 1-based; NULL when it cannot, with errno ENOMEM when memory ran out (a heap overflow) */
HostString *HostStrSub(HostString *s, int32_t start, int32_t count);
void HostStrGet(HostString *s, char *buffer);                        /* util passes 1024 bytes */
int32_t HostStrPut(const char *text, HostString *target);

#ifdef __cplusplus
}
#endif

#endif /* VL_VLABI_H */
