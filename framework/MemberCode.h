// Tessel core, internal: what a call through a member pointer reaches.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace TestFramework {

// The code a call through member pointer pm on object reaches (resolving a
// virtual function through the object's vtable), or null where unknown.
template <class PM>
const void* CodeTarget(const void* object, PM pm) noexcept {
#if defined(__x86_64__) || defined(__i386__)
  // Itanium C++ ABI: a member pointer is {ptr, adj}; an odd ptr is 1 + the
  // offset of the function in the vtable.
  struct Rep {
    uintptr_t ptr;
    ptrdiff_t adj;
  } r;
  static_assert(sizeof(Rep) == sizeof(PM));
  std::memcpy(&r, &pm, sizeof r);
  if (r.ptr & 1) {
    const char* self = static_cast<const char*>(object) + r.adj;
    const char* vtbl = *reinterpret_cast<const char* const*>(self);
    return *reinterpret_cast<const void* const*>(vtbl + r.ptr - 1);
  }
  return reinterpret_cast<const void*>(r.ptr);
#else
  (void)object;
  (void)pm;
  return nullptr;
#endif
}

}  // namespace TestFramework
