// Tessel core: the pool of the nodes' small blocks (see NodePool.h).
#include "framework/NodePool.h"

#include <pthread.h>
#include <sys/mman.h>

#include <mutex>

namespace TestFramework::NodePool {
namespace {

constexpr size_t kSizes = kMaxBlock / 16;  // blocks of 16, 32, 48 and 64 bytes
constexpr size_t kClasses = 2 * kSizes;      // each as kept and as fresh
constexpr size_t kChunk = size_t(64) << 10;  // mapped at a time

struct TFree {
  TFree* Next;
};

// Each size its own chunks, so that the blocks a run writes (a node's run
// state) are not spread among those it may not (its reference counts).
struct TPool {
  std::mutex Lock;
  TFree* Free[kClasses] = {};
  char* Next[kClasses] = {};  // the rest of each size's last chunk
  char* End[kClasses] = {};
  char* LastKept = nullptr;  // the kept blocks' last chunk; each begins with the one before
};

TPool& Pool() {
  // Never destroyed: nodes may outlive every static object.
  static TPool* pool = [] {
    auto* p = new TPool;
    // A process forked while another thread holds the lock gets it free.
    ::pthread_atfork([] { Pool().Lock.lock(); }, [] { Pool().Lock.unlock(); }, [] { Pool().Lock.unlock(); });
    return p;
  }();
  return *pool;
}

size_t ClassOf(size_t size) noexcept { return size == 0 ? 0 : (size - 1) / 16; }

void* Take(size_t c) {
  TPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.Lock);
  if (TFree* f = pool.Free[c]) {
    pool.Free[c] = f->Next;
    return f;
  }
  const size_t bytes = (c % kSizes + 1) * 16;
  if (static_cast<size_t>(pool.End[c] - pool.Next[c]) < bytes) {
    void* chunk = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (chunk == MAP_FAILED) throw std::bad_alloc();
    // A kernel without it (before 4.14) copies the blocks as any memory.
    if (c >= kSizes) ::madvise(chunk, kChunk, MADV_WIPEONFORK);
    pool.Next[c] = static_cast<char*>(chunk);
    pool.End[c] = pool.Next[c] + kChunk;  // what is left of the last one, less than a block, stays unused
    if (c < kSizes) {
      *reinterpret_cast<char**>(chunk) = pool.LastKept;
      pool.LastKept = pool.Next[c];
      pool.Next[c] += 16;
    }
  }
  void* p = pool.Next[c];
  pool.Next[c] += bytes;
  return p;
}

void Give(void* p, size_t c) noexcept {
  if (!p) return;
  TPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.Lock);
  auto* f = static_cast<TFree*>(p);
  f->Next = pool.Free[c];
  pool.Free[c] = f;
}

}  // namespace

void* Allocate(size_t size) {
  if (size > kMaxBlock) throw std::bad_alloc();
  return Take(ClassOf(size));
}

void Free(void* p, size_t size) noexcept { Give(p, ClassOf(size)); }

void TakeBackPages() noexcept {
  TPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.Lock);
#ifdef MADV_POPULATE_WRITE
  for (char* chunk = pool.LastKept; chunk; chunk = *reinterpret_cast<char**>(chunk))
    ::madvise(chunk, kChunk, MADV_POPULATE_WRITE);
#endif
}

void* AllocateFresh(size_t size) {
  if (size > kMaxBlock) throw std::bad_alloc();
  return Take(kSizes + ClassOf(size));
}

// In a process forked since the block was made, the free list behind it may
// read as zeros: it then ends there, and the blocks after it are not reused.
void FreeFresh(void* p, size_t size) noexcept { Give(p, kSizes + ClassOf(size)); }

}  // namespace TestFramework::NodePool
