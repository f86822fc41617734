// The replacement of operator new behind failing_new.h. Every other form of new
// and delete of the standard library goes through these two.
#include "failing_new.h"

#include <cstdlib>
#include <new>

namespace vltest {
namespace {
long passesLeft = -1;  // negative: never fail
bool failOnce = false;
bool failed = false;

bool NextFails() noexcept {
  if (passesLeft < 0) return false;
  if (passesLeft > 0) {
    --passesLeft;
    return false;
  }
  failed = true;
  if (failOnce) passesLeft = -1;
  return true;
}
}  // namespace

void FailNewAfter(long n, bool once) noexcept {
  passesLeft = n;
  failOnce = once;
  failed = false;
}

bool NewFailed() noexcept { return failed; }

}  // namespace vltest

void *operator new(std::size_t size) {
  if (vltest::NextFails()) throw std::bad_alloc();
  if (void *p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
