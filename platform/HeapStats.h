// Heap bytes in use, from the allocator's own statistics (glibc mallinfo2).
#pragma once
#include <cstdint>

namespace Platform {
// Bytes currently allocated through malloc/new (in-use chunks, including
// memory-mapped ones).
int64_t HeapBytesInUse() noexcept;
}  // namespace Platform
