// Makes operator new fail in a test binary that links failing_new.cpp, so that a
// test can run a call with its N-th allocation failing, once or from then on,
// and check that it leaks nothing and claims no success.
#pragma once

namespace vltest {

// Lets the next `n` allocations through operator new pass and makes the ones after
// them throw std::bad_alloc (all of them, or only the first with `once`); a
// negative `n` switches failing off.
void FailNewAfter(long n, bool once = false) noexcept;

// True when an allocation was failed since the last FailNewAfter.
bool NewFailed() noexcept;

// Fails operator new as FailNewAfter says while it is alive.
class FailingNew {
 public:
  explicit FailingNew(long n, bool once = false) noexcept { FailNewAfter(n, once); }
  ~FailingNew() { FailNewAfter(-1); }
  FailingNew(const FailingNew &) = delete;
  FailingNew &operator=(const FailingNew &) = delete;
};

}  // namespace vltest
