// Counts every heap allocation of the test executable that includes this header, so a test
// can show that a hot path allocates nothing. Include it from exactly one source file: it
// replaces the global allocation functions.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace test_support {
inline std::atomic<long> allocation_count{0};

// The allocations made while `body` runs.
template <class Body>
long allocations_during(Body&& body) {
  const long before = allocation_count.load(std::memory_order_relaxed);
  body();
  return allocation_count.load(std::memory_order_relaxed) - before;
}
}  // namespace test_support

// Out of line, so the compiler never pairs an inlined free() with a new-expression.
[[gnu::noinline]] void* operator new(std::size_t size) {
  test_support::allocation_count.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
