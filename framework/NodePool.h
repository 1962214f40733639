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
//
// On a virtual machine, even a page a forked process only reads costs a
// trip to the hypervisor at its first touch, as does a write-protected page
// the parent writes once its children have ended. The nodes of a large tree
// therefore lie on transparent huge pages, which cost one such trip each.
#pragma once

#include <cstddef>
#include <new>

namespace TestFramework::NodePool {

// Up to kMaxBlock bytes, aligned to 16. Never fails but as operator new
// does (std::bad_alloc). The pages come from mmap, not from the heap, so
// that the heap figures the memory monitors read do not see them.
inline constexpr size_t kMaxBlock = 128;
void* Allocate(size_t size);
void Free(void* p, size_t size) noexcept;

// The same, for state whose zero bytes are its empty value: a process forked
// afterwards sees these blocks as zeros (MADV_WIPEONFORK), so that it starts
// from empty state and this process keeps its pages to itself.
void* AllocateFresh(size_t size);
void FreeFresh(void* p, size_t size) noexcept;

// Whole nodes (the test objects themselves: see TAbstractTestBase's
// operator new), up to kMaxNode bytes, aligned to 16, one after another in
// the order they are made, in pages of their own. Larger ones come from
// ::operator new.
inline constexpr size_t kMaxNode = 1024;
void* AllocateNode(size_t size);
void FreeNode(void* p, size_t size) noexcept;
// The same for nodes a run reads but does not write (a forked worker does
// not copy their pages in: see CopyInPages).
void* AllocateReadNode(size_t size);
void FreeReadNode(void* p, size_t size) noexcept;

// Makes the pages of [p, p + bytes) present and writable in one call
// (MADV_POPULATE_WRITE) rather than at a fault per page: on a virtual
// machine each fault is a trip to the hypervisor. Every chunk of the pool
// is made so when it is mapped. Nothing happens where the kernel cannot do
// it (before Linux 5.14).
void MakeWritable(const void* p, size_t bytes) noexcept;

// For a process whose forked children, with which it shared its pages, have
// all ended: the pages are its own again but still write-protected, and
// destroying the tree would fault once at the first write to each. Makes
// those of the pool and of the heap (up to 256 MiB of it) writable again,
// in one call per chunk.
void TakeBackPages() noexcept;

// For a forked process that is about to run the tests: copies the pages of
// the nodes a run writes (a test writes its fixture's members into its node,
// and each page would otherwise be copied at a fault of its own), in one
// call per chunk, or a huge page that holds many of them whole, onto a huge
// page of this process's own; and makes the fresh blocks' pages, which the
// fork left empty, present again. A process that forks a process for each
// test instead (wholePages false) copies no huge page whole: each of those
// processes would split it at its first write, at a cost per 4 KiB page.
void CopyInPages(bool wholePages = true) noexcept;

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
