// Small blocks that the nodes of a test tree change while it runs (their
// run state and their reference counts), packed together in pages of their
// own rather than spread over the nodes.
//
// A supervised run forks its workers after the tree is built, so every page
// the tree lies in is shared, copy-on-write, between the processes. Each
// first write to such a page costs a fault and a page copy in the process
// that writes it. With what a run writes into each node kept apart in dense
// pages, a run of 5,000 tests writes a few dozen of them, not every page of
// the tree, and the pages the nodes themselves lie in stay shared.
#pragma once

#include <cstddef>
#include <new>

namespace TestFramework::NodePool {

// Up to kMaxBlock bytes, aligned to 16. Never fails but as operator new
// does (std::bad_alloc). The pages come from mmap, not from the heap, so
// that the heap figures the memory monitors read do not see them.
inline constexpr size_t kMaxBlock = 64;
void* Allocate(size_t size);
void Free(void* p, size_t size) noexcept;

// The same, for state whose zero bytes are its empty value: a process forked
// afterwards sees these blocks as zeros (MADV_WIPEONFORK), so that it starts
// from empty state and this process keeps its pages to itself.
void* AllocateFresh(size_t size);
void FreeFresh(void* p, size_t size) noexcept;

// Makes the pages of the kept blocks writable again in one call per chunk
// (MADV_POPULATE_WRITE), for a process whose forked children, with which
// it shared them, have all ended: each page would otherwise fault once at
// its first write. Nothing happens where the kernel cannot do it.
void TakeBackPages() noexcept;

// For the control block of a node's shared_ptr:
//   std::shared_ptr<T>(node, std::default_delete<T>(), NodePool::TAllocator<T>())
template <class T>
struct TAllocator {
  using value_type = T;
  TAllocator() noexcept = default;
  template <class U>
  TAllocator(const TAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n * sizeof(T) > kMaxBlock) return static_cast<T*>(::operator new(n * sizeof(T)));
    return static_cast<T*>(Allocate(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept {
    if (n * sizeof(T) > kMaxBlock) ::operator delete(p);
    else Free(p, n * sizeof(T));
  }
  template <class U>
  bool operator==(const TAllocator<U>&) const noexcept { return true; }
};

}  // namespace TestFramework::NodePool
