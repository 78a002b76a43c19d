// types/alloc.cpp: the allocation seam of the value types (see
// alloc_internal.h).
#include <korvo/types/alloc_internal.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace korvo::types {
namespace {

std::atomic<int> g_failCountdown{0};

// True when the armed countdown reaches this allocation.
bool InjectFailure() {
  int n = g_failCountdown.load(std::memory_order_relaxed);
  while (n > 0) {
    if (g_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
  }
  return false;
}

}  // namespace

unsigned char* AllocateBytes(size_t bytes) {
  if (InjectFailure()) throw std::bad_alloc();
  return new unsigned char[bytes];
}

void* CRuntimeRealloc(void* block, size_t bytes) {
  if (InjectFailure()) return nullptr;
  return block ? std::realloc(block, bytes) : std::malloc(bytes);
}

void TEST_FailAllocation(int nth) { g_failCountdown.store(nth, std::memory_order_relaxed); }

}  // namespace korvo::types
