/* Preloaded into a program under test (LD_PRELOAD): malloc, and so operator
 * new, fails with ENOMEM for every request of at least VL_FAIL_ALLOC_MIN bytes,
 * so that a failed allocation of a buffer can be seen without exhausting the
 * machine. Without the variable (or with 0) nothing fails. */
#include <errno.h>
#include <stdlib.h>

void *__libc_malloc(size_t size);

static size_t FailFrom(void) {
  static int known;
  static size_t from;
  if (!known) {
    const char *text = getenv("VL_FAIL_ALLOC_MIN");
    from = text != NULL ? (size_t)strtoull(text, NULL, 10) : 0;
    known = 1;
  }
  return from;
}

void *malloc(size_t size) {
  const size_t from = FailFrom();
  if (from != 0 && size >= from) {
    errno = ENOMEM;
    return NULL;
  }
  return __libc_malloc(size);
}
