// types/alloc_internal.h: the allocation seam of the value types, so that
// tests can make an allocation fail and check the documented recovery.
// Private to the library and its tests.
#pragma once

#include <cstddef>

namespace korvo::types {

// The byte array's blocks: new[] of `bytes` (std::bad_alloc on failure).
unsigned char* AllocateBytes(size_t bytes);
// The C runtime heap, for blocks handed to callers: null on failure.
void* CRuntimeRealloc(void* block, size_t bytes);

// Makes the nth allocation through the functions above fail, counting from
// the next one (1); 0 disarms. Process-wide.
void TEST_FailAllocation(int nth);

}  // namespace korvo::types
