// Tessel core: the pool of the nodes' small blocks (see NodePool.h).
#include "framework/NodePool.h"

#include "platform/SoleThread.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace TestFramework::NodePool {
namespace {

constexpr size_t kSizes = kMaxBlock / 16;  // blocks of 16, 32, ... 128 bytes
constexpr size_t kClasses = 2 * kSizes;      // each as kept and as fresh
constexpr size_t kNodeSizes = kMaxNode / 16;
constexpr size_t kChunk = size_t(64) << 10;  // handed out at a time
// Once one kind of blocks or nodes has had kHugeAfter bytes of chunks, its
// next chunks are cut from huge pages of kHuge bytes (see TStream).
constexpr size_t kHuge = size_t(2) << 20;
constexpr size_t kHugeAfter = size_t(64) << 10;

// Where chunks come from. A forked worker writes to the nodes of some
// streams (test objects whose fixtures are their members, and the blocks
// kept) and only reads the others, and the two never share a huge page: the
// worker copies those it writes and shares the others. Fresh blocks stay on
// small pages: a forked process starts them empty, and on a huge page every
// fork (a worker, each test case of --isolate) would clear 2 MiB of them at
// its first write.
enum TStream { kWrittenStream, kReadStream, kFreshStream, kStreams };

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
  // The kept blocks' chunks, each beginning with the one before, and the
  // bytes of chunks each size has had.
  char* LastKept = nullptr;
  size_t KeptGiven[kSizes] = {};
  // The nodes, of every size, in chunks of their own, those a run writes
  // apart from those it only reads; a freed one is reused for a node of its
  // size.
  struct TNodes {
    TFree* Free[kNodeSizes] = {};
    char* Next = nullptr;
    char* End = nullptr;
    char* Last = nullptr;  // the last chunk, which begins with the one before
    size_t Given = 0;      // the bytes of its chunks
  } Nodes[2];
  // The fresh blocks' chunks, listed here: in a forked process their own
  // bytes read as zeros.
  std::vector<char*> FreshChunks;
  // Each stream's huge page that chunks are cut from.
  struct TSlab {
    char* Next = nullptr;
    char* End = nullptr;
  } Slabs[kStreams];
  // The written stream's huge pages, the last one being cut.
  std::vector<char*> WrittenSlabs;
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

// kChunk bytes of memory, wiped in a forked process when fresh.
char* MapSmall(bool fresh) {
  void* chunk = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (chunk == MAP_FAILED) throw std::bad_alloc();
  // A kernel without it (before 4.14) copies the blocks as any memory.
  if (fresh) ::madvise(chunk, kChunk, MADV_WIPEONFORK);
  return static_cast<char*>(chunk);
}

// kHuge bytes aligned to their size, as a huge page must be: mapped twice
// as large, and the rest given back.
char* MapHuge() {
  void* area = ::mmap(nullptr, 2 * kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) throw std::bad_alloc();
  char* from = static_cast<char*>(area);
  char* p = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(from) + kHuge - 1) & ~(uintptr_t(kHuge) - 1));
  if (p > from) ::munmap(from, static_cast<size_t>(p - from));
  if (p + kHuge < from + 2 * kHuge) ::munmap(p + kHuge, static_cast<size_t>(from + 2 * kHuge - (p + kHuge)));
#ifdef MADV_HUGEPAGE
  ::madvise(p, kHuge, MADV_HUGEPAGE);
#endif
  return p;
}

// Lists a mapping of the given bytes, which is unmapped if the list cannot
// grow.
void Remember(std::vector<char*>& list, char* p, size_t bytes) {
  try {
    list.push_back(p);
  } catch (...) {
    ::munmap(p, bytes);
    throw;
  }
}

// A chunk of the stream for a kind of blocks that has had the given bytes
// of chunks: mapped on its own while the kind is small (and for fresh
// blocks), else cut from a transparent huge page, where the kernel gives one.
// On a virtual machine every first touch of a 4 KiB page after a fork costs
// a trip to the hypervisor: a worker's first read of a node it only reads,
// and this process's first write to a node once its workers have ended, as
// when the tree is destroyed. Of a huge page, neither does; a worker copies
// the huge pages it writes whole (CopyInPages). A small tree keeps its small
// pages: a huge one costs clearing 2 MiB, and may cost the kernel a
// compaction to find.
char* TakeChunk(TStream stream, size_t& given) {
  const bool small = stream == kFreshStream || given < kHugeAfter;
  given += kChunk;
  if (small) return MapSmall(stream == kFreshStream);
  TPool::TSlab& slab = Pool().Slabs[stream];
  if (slab.Next == slab.End) {
    char* page = MapHuge();
    if (stream == kWrittenStream) Remember(Pool().WrittenSlabs, page, kHuge);
    slab.Next = page;
    slab.End = page + kHuge;
  }
  char* chunk = slab.Next;
  slab.Next += kChunk;
  return chunk;
}

char* MapChunk(TStream stream, size_t& given) {
  char* chunk = TakeChunk(stream, given);
  if (stream == kFreshStream) Remember(Pool().FreshChunks, chunk, kChunk);
  MakeWritable(chunk, kChunk);
  return chunk;
}

// A new chunk whose first 16 bytes link it to the one before: where its
// blocks begin, and end.
char* LinkChunk(TStream stream, size_t& given, char*& last, char*& end) {
  char* chunk = MapChunk(stream, given);
  *reinterpret_cast<char**>(chunk) = last;
  last = chunk;
  end = chunk + kChunk;
  return chunk + 16;
}

char* FreshChunk(char*& end) {
  size_t given = 0;  // on small pages all the same
  char* chunk = MapChunk(kFreshStream, given);
  end = chunk + kChunk;
  return chunk;
}

// A block of the given bytes: a freed one, else the next one of the last
// chunk, else the first of a new one. Under the pool's lock.
template <class F>
void* Carve(TFree*& free, char*& next, char*& end, size_t bytes, F newChunk) {
  if (TFree* f = free) {
    free = f->Next;
    return f;
  }
  // What is left of the last chunk, less than a block, stays unused.
  if (static_cast<size_t>(end - next) < bytes) next = newChunk(end);
  void* p = next;
  next += bytes;
  return p;
}

size_t ClassOf(size_t size) noexcept { return size == 0 ? 0 : (size - 1) / 16; }

void* Take(size_t c) {
  TPool& pool = Pool();
  Platform::TLockUnlessSole<std::mutex> guard(pool.Lock);
  const size_t bytes = (c % kSizes + 1) * 16;
  if (c >= kSizes) return Carve(pool.Free[c], pool.Next[c], pool.End[c], bytes, FreshChunk);
  return Carve(pool.Free[c], pool.Next[c], pool.End[c], bytes,
               [&](char*& end) { return LinkChunk(kWrittenStream, pool.KeptGiven[c], pool.LastKept, end); });
}

void Give(TFree*& list, void* p) noexcept {
  if (!p) return;
  Platform::TLockUnlessSole<std::mutex> guard(Pool().Lock);
  auto* f = static_cast<TFree*>(p);
  f->Next = list;
  list = f;
}

// Where the kernel says the heap (the break's memory) lies.
bool HeapRange(uintptr_t& from, uintptr_t& to) noexcept {
  const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[8192];
  size_t have = 0;
  bool found = false;
  for (;;) {
    const ssize_t n = ::read(fd, buf + have, sizeof buf - 1 - have);
    if (n <= 0) break;
    have += static_cast<size_t>(n);
    buf[have] = 0;
    if (const char* heap = std::strstr(buf, " [heap]\n")) {
      const char* line = heap;
      while (line > buf && line[-1] != '\n') --line;
      char* dash = nullptr;
      from = std::strtoull(line, &dash, 16);
      to = *dash == '-' ? std::strtoull(dash + 1, nullptr, 16) : 0;
      found = to > from;
      break;
    }
    // Keep the last line, which may be cut, for the next read.
    const char* last = std::strrchr(buf, '\n');
    const size_t keep = last ? have - static_cast<size_t>(last + 1 - buf) : 0;
    std::memmove(buf, buf + have - keep, keep);
    have = keep == sizeof buf - 1 ? 0 : keep;
  }
  ::close(fd);
  return found;
}

void PopulateChain(char* last) noexcept {
  for (char* chunk = last; chunk; chunk = *reinterpret_cast<char**>(chunk)) MakeWritable(chunk, kChunk);
}

// Gives this forked process a huge page of its own in place of the shared
// one at page, with its first used bytes copied; false where none is to be
// had. Of a shared huge page, each 4 KiB the process writes would be copied
// on its own, at a trip to the hypervisor each on a virtual machine, and
// every read of the page's other 4 KiB pages would then cost one too.
bool CopyHugePage(char* page, size_t used) noexcept {
  char* copy = nullptr;
  try {
    copy = MapHuge();
  } catch (...) {
    return false;
  }
  std::memcpy(copy, page, used);
  if (::mremap(copy, kHuge, kHuge, MREMAP_MAYMOVE | MREMAP_FIXED, page) != MAP_FAILED) return true;
  ::munmap(copy, kHuge);
  return false;
}

}  // namespace

void* Allocate(size_t size) {
  if (size > kMaxBlock) throw std::bad_alloc();
  return Take(ClassOf(size));
}

void Free(void* p, size_t size) noexcept { Give(Pool().Free[ClassOf(size)], p); }

void* AllocateFresh(size_t size) {
  if (size > kMaxBlock) throw std::bad_alloc();
  return Take(kSizes + ClassOf(size));
}

// In a process forked since the block was made, the free list behind it may
// read as zeros: it then ends there, and the blocks after it are not reused.
void FreeFresh(void* p, size_t size) noexcept { Give(Pool().Free[kSizes + ClassOf(size)], p); }

namespace {
void* TakeNode(size_t size, int kind) {
  if (size > kMaxNode) return ::operator new(size);
  TPool& pool = Pool();
  Platform::TLockUnlessSole<std::mutex> guard(pool.Lock);
  TPool::TNodes& nodes = pool.Nodes[kind];
  const size_t c = ClassOf(size);
  return Carve(nodes.Free[c], nodes.Next, nodes.End, (c + 1) * 16,
               [&](char*& end) {
                 return LinkChunk(kind == 0 ? kWrittenStream : kReadStream, nodes.Given, nodes.Last, end);
               });
}

void GiveNode(void* p, size_t size, int kind) noexcept {
  if (size > kMaxNode) ::operator delete(p);
  else Give(Pool().Nodes[kind].Free[ClassOf(size)], p);
}
}  // namespace

void* AllocateNode(size_t size) { return TakeNode(size, 0); }
void FreeNode(void* p, size_t size) noexcept { GiveNode(p, size, 0); }
void* AllocateReadNode(size_t size) { return TakeNode(size, 1); }
void FreeReadNode(void* p, size_t size) noexcept { GiveNode(p, size, 1); }

void MakeWritable(const void* p, size_t bytes) noexcept {
#ifdef MADV_POPULATE_WRITE
  static const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
  const uintptr_t from = reinterpret_cast<uintptr_t>(p) / page * page;
  const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes + page - 1) / page * page;
  if (bytes) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)bytes;
#endif
}

void TakeBackPages() noexcept {
  // The suites' lists and the method tables are on the heap.
  uintptr_t from = 0, to = 0;
  if (HeapRange(from, to) && to - from <= (size_t(256) << 20))
    MakeWritable(reinterpret_cast<const void*>(from), to - from);
  TPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.Lock);
  PopulateChain(pool.LastKept);
  for (const TPool::TNodes& nodes : pool.Nodes) PopulateChain(nodes.Last);
}

void CopyInPages(bool wholePages) noexcept {
  TPool& pool = Pool();
  std::lock_guard<std::mutex> guard(pool.Lock);
  // The written nodes' chunks a page at a time, but a huge page that holds
  // enough of them whole, with the kept blocks that share it: copying 2 MiB
  // costs about what 512 KiB of pages one by one do.
  constexpr size_t kWholeFrom = (size_t(512) << 10) / kChunk;
  std::vector<size_t> onPage;
  try {
    onPage.resize(pool.WrittenSlabs.size());
  } catch (...) {
    onPage.clear();  // each chunk a page at a time, then
  }
  auto slabOf = [&pool](const char* chunk) {
    const uintptr_t page = reinterpret_cast<uintptr_t>(chunk) & ~(uintptr_t(kHuge) - 1);
    return static_cast<size_t>(std::find(pool.WrittenSlabs.begin(), pool.WrittenSlabs.end(),
                                         reinterpret_cast<char*>(page)) - pool.WrittenSlabs.begin());
  };
  for (char* chunk = pool.Nodes[0].Last; chunk; chunk = *reinterpret_cast<char**>(chunk))
    if (const size_t k = slabOf(chunk); k < onPage.size()) ++onPage[k];
  const TPool::TSlab& cut = pool.Slabs[kWrittenStream];
  for (size_t k = 0; k < onPage.size(); ++k) {
    char* page = pool.WrittenSlabs[k];
    const size_t used = cut.End == page + kHuge ? static_cast<size_t>(cut.Next - page) : kHuge;
    // From here on, whether the page was copied whole.
    onPage[k] = wholePages && onPage[k] >= kWholeFrom && CopyHugePage(page, used);
  }
  for (char* chunk = pool.Nodes[0].Last; chunk; chunk = *reinterpret_cast<char**>(chunk))
    if (const size_t k = slabOf(chunk); k >= onPage.size() || !onPage[k]) MakeWritable(chunk, kChunk);
  for (char* chunk : pool.FreshChunks) MakeWritable(chunk, kChunk);
}

}  // namespace TestFramework::NodePool
