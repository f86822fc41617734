/* Preloaded into a program under test (LD_PRELOAD) to make malloc, calloc,
 * realloc and operator new fail (ENOMEM, std::bad_alloc) as the environment says:
 *
 *   VL_FAIL_ALLOC_MIN=bytes  every request of at least that many bytes fails
 *                            (a buffer that cannot be had, without exhausting
 *                            the machine)
 *   VL_FAIL_ALLOC_AT=n       the n-th allocation (counted from 1) fails, and
 *   VL_FAIL_ALLOC_ONCE=1     only that one; without it every one after it too
 *   VL_FAIL_ALLOC_LOG=file   the count of allocations is written there at exit,
 *                            and "failed n" as soon as the n-th one failed (so
 *                            that a loop over n knows when a run went through
 *                            without a failure)
 *   VL_FAIL_ALLOC_TRACE=1    the n-th failure writes the call stack to standard
 *                            error (to see where a run went wrong)
 *
 * Allocations are counted from the moment the library's initialiser runs, after
 * those of the C and C++ runtimes, so that a run fails in the program's own
 * work. Without the variables nothing fails. The real allocator is the next one
 * after this library: the C library's, or the sanitizers' when the program is
 * built with them (then ASAN_OPTIONS must hold verify_asan_link_order=0, as this
 * library comes before their runtime). operator new and delete are defined here
 * on malloc and free, so that the sanitizers' own operator new, which does not
 * go through malloc, does not pass the count by. */
#include <dlfcn.h>
#include <execinfo.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <new>

static void *(*next_malloc)(size_t);
static void *(*next_calloc)(size_t, size_t);
static void *(*next_realloc)(void *, size_t);

static int counting;      /* the initialiser ran: settings read, counting on */
static size_t fail_min;   /* VL_FAIL_ALLOC_MIN; 0: none */
static long fail_at;      /* VL_FAIL_ALLOC_AT; 0: none */
static int fail_once;     /* VL_FAIL_ALLOC_ONCE */
static long count;        /* allocations counted so far */
static int failed;        /* an allocation was failed by count */
static const char *log_path;
static int trace;         /* VL_FAIL_ALLOC_TRACE */

/* While the real functions are looked up, the look-up's own allocations come
 * from here (never freed: the look-up keeps them). */
static char arena[1024];
static size_t arena_used;
static int resolving;

namespace {

void *FromArena(size_t size) {
  size = (size + 15) & ~static_cast<size_t>(15);
  if (size > sizeof arena - arena_used) return NULL;
  void *p = arena + arena_used;
  arena_used += size;
  return p;
}

void Resolve() {
  if (next_malloc != NULL || resolving) return;
  resolving = 1;
  next_calloc = reinterpret_cast<void *(*)(size_t, size_t)>(dlsym(RTLD_NEXT, "calloc"));
  next_realloc = reinterpret_cast<void *(*)(void *, size_t)>(dlsym(RTLD_NEXT, "realloc"));
  next_malloc = reinterpret_cast<void *(*)(size_t)>(dlsym(RTLD_NEXT, "malloc"));
  resolving = 0;
}

void Log(const char *text) {
  if (log_path == NULL) return;
  const int fd = open(log_path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, text, strlen(text));
  (void)written;
  close(fd);
}

/* True when this request is to fail. */
int Fails(size_t size) {
  if (!counting) return 0;
  if (fail_min != 0 && size >= fail_min) return 1;
  ++count;
  if (fail_at == 0 || count < fail_at || (fail_once && count > fail_at)) return 0;
  if (!failed) {
    failed = 1;
    char line[48];
    snprintf(line, sizeof line, "failed %ld\n", count);  /* formats without allocating */
    Log(line);
    if (trace) {
      void *frames[32];
      backtrace_symbols_fd(frames, backtrace(frames, 32), 2);
    }
  }
  return 1;
}

long Number(const char *name) {
  const char *text = getenv(name);
  return text != NULL ? strtol(text, NULL, 10) : 0;
}

__attribute__((constructor)) void Start() {
  Resolve();
  fail_min = static_cast<size_t>(Number("VL_FAIL_ALLOC_MIN"));
  fail_at = Number("VL_FAIL_ALLOC_AT");
  fail_once = Number("VL_FAIL_ALLOC_ONCE") != 0;
  log_path = getenv("VL_FAIL_ALLOC_LOG");
  trace = Number("VL_FAIL_ALLOC_TRACE") != 0;
  if (trace) {
    void *frame;
    backtrace(&frame, 1);  /* loads what backtrace needs before any failure */
  }
  counting = 1;
}

__attribute__((destructor)) void Stop() {

  char line[48];
  snprintf(line, sizeof line, "count %ld\n", count);
  counting = 0;
  Log(line);
}

}  // namespace

extern "C" void *malloc(size_t size) {
  Resolve();
  if (next_malloc == NULL) return FromArena(size);
  if (Fails(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_malloc(size);
}

extern "C" void *calloc(size_t n, size_t size) {
  Resolve();
  if (next_calloc == NULL) return FromArena(n * size);  /* arena bytes are zero */
  if (Fails(n * size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_calloc(n, size);
}

extern "C" void *realloc(void *block, size_t size) {
  Resolve();
  if (size != 0 && Fails(size)) {
    errno = ENOMEM;
    return NULL;
  }
  return next_realloc(block, size);
}

// operator new and delete on malloc and free: a failed malloc is std::bad_alloc.
void *operator new(size_t size) {
  if (void *p = malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](size_t size) { return operator new(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept { return malloc(size != 0 ? size : 1); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return malloc(size != 0 ? size : 1); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { free(p); }
