/* A host runtime written from the binary interface alone, in C. Put in place of
 * libvlrt64.so (with LD_PRELOAD or LD_LIBRARY_PATH), it walks util's exported
 * tables, prints every row, and drives the frame functions, so that the test can
 * compare what any host would see with the expected listing. Its stores refuse a
 * value that does not fit with the distinctive result 77. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vlabi.h"

#define REFUSED 77

int32_t HostDebugLevel = 0;

int32_t HostStrLen(HostString *s) { return s->len; }

int32_t HostStrAssign(HostString *target, HostString *source) {
  if (source->len > target->cap) return REFUSED;
  memmove(target->bytes, source->bytes, (size_t)source->len);
  target->len = source->len;
  return 0;
}

HostString *HostStrSub(HostString *s, int32_t start, int32_t count) {
  static HostString sub;
  if (start < 1 || count < 0 || start - 1 + count > s->len) return NULL;
  sub.cap = count;
  sub.len = count;
  sub.bytes = s->bytes + start - 1;
  return &sub;
}

void HostStrGet(HostString *s, char *buffer) {
  int32_t n = s->len < 1023 ? s->len : 1023;
  memcpy(buffer, s->bytes, (size_t)n);
  buffer[n] = '\0';
}

int32_t HostStrPut(const char *text, HostString *target) {
  size_t n = strlen(text);
  if (n > (size_t)target->cap) return REFUSED;
  memcpy(target->bytes, text, n);
  target->len = (int32_t)n;
  return 0;
}

static int32_t (*call)(int32_t, void **);

static int32_t find(const VlFuncRow *funcs, const char *name) {
  for (int32_t i = 0; funcs[i].name != NULL; ++i)
    if (strcmp(funcs[i].name, name) == 0) return i;
  fprintf(stderr, "althost: no function %s\n", name);
  exit(3);
}

int HostMain(void *instance, void *prev, const char *cmdline, int show) {
  const VlFuncRow *funcs = (const VlFuncRow *)dlsym(instance, "VlFuncList");
  const VlArgRow *args = (const VlArgRow *)dlsym(instance, "VlArgList");
  call = (int32_t(*)(int32_t, void **))dlsym(instance, "VlCall");
  if (funcs == NULL || args == NULL || call == NULL) {
    printf("exports missing\n");
    return 3;
  }
  printf("HostMain prev=%s cmdline=[%s] show=%d\n", prev == NULL ? "null" : "set", cmdline, show);

  /* The tables, row by row. */
  int32_t i = 0;
  uint32_t total = 0;
  for (; funcs[i].name != NULL; ++i) {
    printf("%d %s first=%u count=%u", i, funcs[i].name, funcs[i].first_arg, funcs[i].arg_count);
    for (uint32_t a = 0; a < funcs[i].arg_count; ++a) {
      const VlArgRow *row = &args[funcs[i].first_arg + a];
      printf(" %s:%llu", row->name, (unsigned long long)row->type);
    }
    if (funcs[i].reserved != 0) printf(" reserved=%llu", (unsigned long long)funcs[i].reserved);
    printf("\n");
    total += funcs[i].arg_count;
  }
  printf("end first=%u count=%u total_args=%u\n", funcs[i].first_arg, funcs[i].arg_count, total);

  /* Numbers outside the table: -1, and the vector is never read. */
  void **poison = (void **)(uintptr_t)1;
  printf("VlCall(89)=%d VlCall(93)=%d VlCall(-1)=%d VlCall(INT32_MIN)=%d\n", call(89, poison),
         call(93, poison), call(-1, poison), call(INT32_MIN, poison));

  /* Functions without arguments are called with a null vector. */
  const char *noargs[] = {"ini_CloseAll", "l_DeleteAll", "dict_CloseAll", "dict_FilterFree"};
  for (size_t k = 0; k < sizeof noargs / sizeof noargs[0]; ++k) {
    call(find(funcs, noargs[k]), NULL);
    printf("%s with a null vector returned\n", noargs[k]);
  }

  /* dll_Revision passes the host's store result on, also a refusal. */
  char bytes[16] = "zz";
  HostString str = {2, 2, bytes};
  void *argv1[] = {&str};
  int32_t rc = call(find(funcs, "dll_Revision"), argv1);
  printf("dll_Revision cap 2: %d len=%d value=%.*s\n", rc, str.len, str.len, str.bytes);
  str.cap = 16;
  rc = call(find(funcs, "dll_Revision"), argv1);
  printf("dll_Revision cap 16: %d value=%.*s\n", rc, str.len, str.bytes);
  str.cap = 10;
  rc = call(find(funcs, "dll_Compiled"), argv1);
  printf("dll_Compiled cap 10: %d\n", rc);

  /* dll_Debug writes the host's debug level. */
  int32_t level = 42;
  void *argv2[] = {&level};
  rc = call(find(funcs, "dll_Debug"), argv2);
  printf("dll_Debug(42): %d HostDebugLevel=%d\n", rc, HostDebugLevel);

  /* The trace: flags, standard error, a trace file. */
  const char *flagsets[] = {"D", "D12x", "d3", "D300", "D200", "*1D0", ""};
  for (size_t k = 0; k < sizeof flagsets / sizeof flagsets[0]; ++k) {
    char empty[1] = "";
    void *argv3[] = {(void *)(uintptr_t)flagsets[k], empty};
    rc = call(find(funcs, "dll_SetDebugFlags"), argv3);
    fprintf(stderr, "flags [%s] set: %d\n", flagsets[k], rc);
    char dlg[] = "dlg", fld[] = "fld";
    void *argv4[] = {dlg, fld};
    call(find(funcs, "dict_Dump"), argv4);
  }
  return 5;
}
