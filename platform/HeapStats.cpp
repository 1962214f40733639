#include "platform/HeapStats.h"

#include <malloc.h>

namespace Platform {

int64_t HeapBytesInUse() noexcept {
  struct mallinfo2 mi = mallinfo2();
  return static_cast<int64_t>(mi.uordblks) + static_cast<int64_t>(mi.hblkhd);
}

}  // namespace Platform
