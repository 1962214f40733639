// A tree run in a forked process leaves the pages its nodes lie in shared
// with the parent: what a run changes in a node (its times, its flags, its
// status listener) and the nodes' reference counts are kept in pages of
// their own. A supervised run forks its workers after the tree is built, and
// every node page a run wrote would be copied, at a page fault each, in the
// worker and again in the supervisor.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

class TTenChecks : public TTestCase {
  TESSEL_TESTCASE(TTenChecks, TTestCase)
 public:
  TESSEL_TEST(T0) { Check(true); }
  TESSEL_TEST(T1) { CheckEquals(1, 1); }
  TESSEL_TEST(T2) { Check(true); }
  TESSEL_TEST(T3) { Check(true); }
  TESSEL_TEST(T4) { Check(true); }
  TESSEL_TEST(T5) { Check(true); }
  TESSEL_TEST(T6) { Check(true); }
  TESSEL_TEST(T7) { Check(true); }
  TESSEL_TEST(T8) { Check(true); }
  TESSEL_TEST(T9) { CheckFalse(false); }
};

// Nodes of three kinds for the pool: a small one, one with a member aligned
// beyond 16 bytes, and one too large for the pool. Each fills its members
// with a pattern of its own and can tell whether it still holds it.
template <class T>
bool Filled(const T& node, unsigned char seed) {
  for (unsigned char c : node.Data)
    if (c != seed) return false;
  return true;
}

class TSmallNode : public TTestCase {
  TESSEL_TESTCASE(TSmallNode, TTestCase)
 public:
  unsigned char Data[24] = {};
};

class TAlignedNode : public TTestCase {
  TESSEL_TESTCASE(TAlignedNode, TTestCase)
 public:
  alignas(64) unsigned char Data[72] = {};
};

class TLargeNode : public TTestCase {
  TESSEL_TESTCASE(TLargeNode, TTestCase)
 public:
  unsigned char Data[3000] = {};
};

struct TNodes {
  std::vector<TSmallNode*> Small;
  std::vector<TAlignedNode*> Aligned;
  std::vector<TLargeNode*> Large;
  unsigned char Seed = 0;

  void Make(int n) {
    for (int i = 0; i < n; ++i) {
      Small.push_back(new TSmallNode("S"));
      Aligned.push_back(new TAlignedNode("A"));
      Large.push_back(new TLargeNode("L"));
      std::fill(std::begin(Small.back()->Data), std::end(Small.back()->Data), static_cast<unsigned char>(++Seed));
      std::fill(std::begin(Aligned.back()->Data), std::end(Aligned.back()->Data), static_cast<unsigned char>(++Seed));
      std::fill(std::begin(Large.back()->Data), std::end(Large.back()->Data), static_cast<unsigned char>(++Seed));
    }
  }
  // Every other node of each kind.
  void DropHalf() {
    auto drop = [](auto& v) {
      for (size_t i = 0; i < v.size(); ++i)
        if (i % 2) delete v[i], v[i] = nullptr;
      v.erase(std::remove(v.begin(), v.end(), nullptr), v.end());
    };
    drop(Small), drop(Aligned), drop(Large);
  }
  // How many nodes lost their pattern, or their alignment, or their name.
  int Damaged() const {
    int bad = 0;
    for (auto* n : Small) bad += n->GetName() != "S" || !Filled(*n, n->Data[0]);
    for (auto* n : Aligned)
      bad += n->GetName() != "A" || !Filled(*n, n->Data[0]) || reinterpret_cast<uintptr_t>(n->Data) % 64 != 0;
    for (auto* n : Large) bad += n->GetName() != "L" || !Filled(*n, n->Data[0]);
    return bad;
  }
  // Whether two nodes share a pattern (a block handed out twice).
  bool Distinct() const {
    std::set<unsigned char> seen;
    size_t count = 0;
    auto add = [&](const auto& v) {
      for (const auto* n : v) seen.insert(n->Data[0]), ++count;
    };
    add(Small), add(Aligned), add(Large);
    return seen.size() == count;
  }
  ~TNodes() {
    for (auto* n : Small) delete n;
    for (auto* n : Aligned) delete n;
    for (auto* n : Large) delete n;
  }
};

// Holds a reference to every node for the run, as the supervisor's and the
// workers' results do, and hands it to the run loop.
class TTableResult : public TTestResult {
 public:
  explicit TTableResult(const ITestPtr& root) {
    Collect(root);
    std::sort(FNodes.begin(), FNodes.end(), [](const ITestPtr& a, const ITestPtr& b) { return a.get() < b.get(); });
  }
  const ITestPtr* StableRef(const ITest* node) override {
    auto it = std::lower_bound(FNodes.begin(), FNodes.end(), node,
                               [](const ITestPtr& a, const ITest* b) { return a.get() < b; });
    return it != FNodes.end() && it->get() == node ? &*it : nullptr;
  }
  const std::vector<ITestPtr>& Nodes() const { return FNodes; }

 private:
  void Collect(const ITestPtr& node) {
    FNodes.push_back(node);
    for (const ITestPtr& child : node->Tests()) Collect(child);
  }
  std::vector<ITestPtr> FNodes;
};

// Whether the page at p is this process's alone (a copy made since the fork)
// rather than still shared with the parent; -1 when the kernel does not say.
int Exclusive(int pagemap, const void* p) {
  const uint64_t page = reinterpret_cast<uintptr_t>(p) / static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  uint64_t entry = 0;
  if (::pread(pagemap, &entry, sizeof entry, static_cast<off_t>(page * sizeof entry)) != sizeof entry) return -1;
  if (!(entry >> 63 & 1)) return -1;  // not present
  return static_cast<int>(entry >> 56 & 1);
}

// The first page frame of the 2 MiB at p when one huge page holds them all
// (present, contiguous and aligned frames); 0 when it does not, or when the
// kernel hides the frames from this process.
uint64_t HugeFrameAt(const void* p) {
  const int pagemap = ::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
  if (pagemap < 0) return 0;
  constexpr size_t kPages = 512;
  uint64_t entries[kPages] = {};
  const uint64_t first = (reinterpret_cast<uintptr_t>(p) & ~((uintptr_t(2) << 20) - 1)) / 4096;
  const bool read = ::pread(pagemap, entries, sizeof entries, static_cast<off_t>(first * 8)) == sizeof entries;
  ::close(pagemap);
  const uint64_t frame = entries[0] & ((uint64_t(1) << 55) - 1);
  if (!read || frame == 0 || frame % kPages != 0) return 0;
  for (size_t i = 0; i < kPages; ++i)
    if (!(entries[i] >> 63 & 1) || (entries[i] & ((uint64_t(1) << 55) - 1)) != frame + i) return 0;
  return frame;
}

// What the child wrote to the pipe before it ended, up to size bytes.
ssize_t ReadAll(int fd, void* data, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, static_cast<char*>(data) + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

// Runs body in a forked child, which writes its figures to the descriptor
// it is given; how many bytes of them arrived in got, -1 without a pipe.
template <class F>
ssize_t InForkedChild(void* got, size_t size, F body) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    body(fds[1]);
    ::_exit(0);
  }
  ::close(fds[1]);
  const ssize_t n = ReadAll(fds[0], got, size);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return n;
}

// The kernel's flags of the mapping that holds p ("hg" advised for huge
// pages, "wf" wiped on fork, ...), and where the mapping begins; empty when
// /proc does not say.
std::string MappingFlags(const void* p, uintptr_t* start = nullptr) {
  const int fd = ::open("/proc/self/smaps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string text;
  char buf[65536];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  ::close(fd);
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  bool inside = false;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.rfind("VmFlags:", 0) == 0) {
      if (inside) return line.substr(8) + " ";
      continue;
    }
    char* dash = nullptr;
    const uintptr_t from = std::strtoull(line.c_str(), &dash, 16);
    if (*dash == '-' && line.find(' ') != std::string::npos) {
      const uintptr_t to = std::strtoull(dash + 1, nullptr, 16);
      inside = from <= a && a < to;
      if (inside && start) *start = from;
    }
  }
  return {};
}

class TSharedPagesTests : public TTestCase {
  TESSEL_TESTCASE(TSharedPagesTests, TTestCase)
 public:
  TESSEL_TEST(TestARunInAForkedProcessWritesNoNodePage) {
    auto root = std::make_shared<TTestSuite>("Root");
    for (int i = 0; i < 40; ++i) root->AddTest(TTenChecks::Suite());
    TTableResult result(root);
    // As the supervisor does before it forks.
    for (const ITestPtr& n : result.Nodes()) PrepareToRun(*n);
    // The pages the test cases lie in, first and last byte.
    std::set<const char*> pages;
    const uintptr_t size = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto pageOf = [size](const char* p) {
      return reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) / size * size);
    };
    for (const ITestPtr& n : result.Nodes())
      if (dynamic_cast<TTenChecks*>(n.get())) {
        auto* start = static_cast<const char*>(dynamic_cast<const void*>(n.get()));
        pages.insert(pageOf(start));
        pages.insert(pageOf(start + sizeof(TTenChecks) - 1));
      }

    int32_t got[4] = {};
    const ssize_t n = InForkedChild(got, sizeof got, [&](int fd) {
      int32_t out[4] = {-1, -1, -1, -1};
      const int pagemap = ::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
      if (pagemap >= 0) {
        root->Run(result);
        out[0] = result.RunCount();
        out[1] = result.FailureCount() + result.ErrorCount();
        out[2] = 0;
        for (const char* p : pages) {
          const int e = Exclusive(pagemap, p);
          if (e < 0) {
            out[2] = -1;
            break;
          }
          out[2] += e;
        }
        // The reading itself: a page written now is this process's own.
        *const_cast<volatile char*>(*pages.begin()) = **pages.begin();
        out[3] = Exclusive(pagemap, *pages.begin());
      }
      [[maybe_unused]] ssize_t w = ::write(fd, out, sizeof out);
    });
    CheckEquals(static_cast<int64_t>(sizeof got), static_cast<int64_t>(n), "the child's figures");
    if (got[2] < 0 || got[3] != 1) {
      Status("this kernel does not tell whether a page is shared: not measured");
      return;
    }
    CheckEquals(400, got[0], "tests run in the child");
    CheckEquals(0, got[1], "failures and errors in the child");
    // A few pages may hold other memory the run wrote; before the run state
    // was kept apart, every one of them was copied.
    Check(got[2] * 10 <= static_cast<int32_t>(pages.size()),
          "node pages the run wrote: " + std::to_string(got[2]) + " of " + std::to_string(pages.size()));
  }

  // Nodes come from the pool, freed ones are reused for nodes of their
  // size, and a forked process that copies the pool's pages in, as a
  // worker does, finds every node as its parent left it.
  TESSEL_TEST(TestPooledNodesSurviveReuseAndAForkedCopy) {
    TNodes nodes;
    nodes.Make(40);
    nodes.DropHalf();
    nodes.Make(40);  // into the blocks the dropped ones left
    CheckEquals(0, nodes.Damaged(), "nodes damaged by reuse");
    Check(nodes.Distinct(), "a block was handed out twice");

    int32_t got[2] = {-1, -1};
    const ssize_t n = InForkedChild(got, sizeof got, [&](int fd) {
      NodePool::CopyInPages();
      int32_t out[2] = {nodes.Damaged(), -1};
      const int pagemap = ::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
      // Only a kernel that can populate pages (5.14 on) copies them in.
      void* probe = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (pagemap >= 0 && probe != MAP_FAILED && ::madvise(probe, 4096, 23 /* MADV_POPULATE_WRITE */) == 0)
        out[1] = Exclusive(pagemap, nodes.Small.front());
      [[maybe_unused]] ssize_t w = ::write(fd, out, sizeof out);
    });
    CheckEquals(static_cast<int64_t>(sizeof got), static_cast<int64_t>(n), "the child's figures");
    CheckEquals(0, got[0], "nodes damaged in the child");
    // Copied in already, before anything in the child wrote to it.
    if (got[1] >= 0) CheckEquals(1, got[1], "the node's page is the child's own");
  }

  // The pool skips its lock while the process has one thread. Threads that
  // take and give back blocks and nodes all at once must still each get
  // blocks of their own: a block handed to two of them is written by both.
  TESSEL_TEST(TestThreadsTakingFromThePoolAtOnceEachGetBlocksOfTheirOwn) {
    constexpr int kThreads = 4, kRounds = 40, kEach = 500;
    std::atomic<int> ready{0};
    std::atomic<int> damaged{0};
    auto work = [&](int id) {
      ready.fetch_add(1);
      while (ready.load() < kThreads) {
      }
      std::vector<uint64_t*> mine;
      mine.reserve(2 * kEach);
      for (int r = 0; r < kRounds; ++r) {
        for (int i = 0; i < kEach; ++i) {
          mine.push_back(static_cast<uint64_t*>(NodePool::Allocate(32)));
          mine.push_back(static_cast<uint64_t*>(NodePool::AllocateNode(48)));
        }
        for (uint64_t* p : mine) *p = static_cast<uint64_t>(id) << 32 | static_cast<uint32_t>(r);
        for (uint64_t* p : mine)
          if (*p != (static_cast<uint64_t>(id) << 32 | static_cast<uint32_t>(r))) damaged.fetch_add(1);
        for (size_t i = 0; i < mine.size(); ++i) {
          if (i % 2 == 0) NodePool::Free(mine[i], 32);
          else NodePool::FreeNode(mine[i], 48);
        }
        mine.clear();
      }
    };
    std::vector<std::thread> threads;
    for (int id = 1; id <= kThreads; ++id) threads.emplace_back(work, id);
    for (std::thread& t : threads) t.join();
    CheckEquals(0, damaged.load(), "blocks another thread was given too");
  }

  // Past their first 64 KiB, the nodes a worker writes and those it only
  // reads come from huge pages, each of their own. A forked child that
  // copies its pages in has the written ones on huge pages of its own, and
  // nodes read there as their parent left them. Fresh blocks stay on small
  // pages and read as zeros in the child.
  TESSEL_TEST(TestALargePoolLiesOnHugePagesOfItsKindThatAForkedWorkerCopiesWhole) {
    constexpr int kBlocks = 6000;  // 1.5 MiB of each kind at 256 bytes
    std::vector<unsigned char*> written, read, fresh;
    for (int i = 0; i < kBlocks; ++i) {
      written.push_back(static_cast<unsigned char*>(NodePool::AllocateNode(256)));
      read.push_back(static_cast<unsigned char*>(NodePool::AllocateReadNode(256)));
      fresh.push_back(static_cast<unsigned char*>(NodePool::AllocateFresh(128)));
      std::fill_n(written.back(), 256, static_cast<unsigned char>(i));
      std::fill_n(read.back(), 256, static_cast<unsigned char>(i + 1));
      std::fill_n(fresh.back(), 128, static_cast<unsigned char>(i + 2));
    }
    struct TFree {
      std::vector<unsigned char*>&w, &r, &f;
      ~TFree() {
        for (auto* p : w) NodePool::FreeNode(p, 256);
        for (auto* p : r) NodePool::FreeReadNode(p, 256);
        for (auto* p : f) NodePool::FreeFresh(p, 128);
      }
    } freeAll{written, read, fresh};
    auto intact = [&] {
      int bad = 0;
      for (int i = 0; i < kBlocks; ++i) {
        bad += written[i][0] != static_cast<unsigned char>(i) || written[i][255] != static_cast<unsigned char>(i);
        bad += read[i][0] != static_cast<unsigned char>(i + 1) || read[i][255] != static_cast<unsigned char>(i + 1);
      }
      return bad;
    };

    uintptr_t bases[3] = {};
    const std::string flags[3] = {MappingFlags(written.back(), &bases[0]), MappingFlags(read.back(), &bases[1]),
                                  MappingFlags(fresh.back(), &bases[2])};
    if (flags[0].empty()) {
      Status("/proc/self/smaps is not readable: the mappings are not checked");
    } else {
      // Where the kernel has transparent huge pages at all.
      if (::access("/sys/kernel/mm/transparent_hugepage/enabled", F_OK) == 0)
        for (int k = 0; k < 2; ++k)
          Check(flags[k].find(" hg ") != std::string::npos, "advised for huge pages:" + flags[k]);
      Check(flags[2].find(" hg ") == std::string::npos, "fresh blocks on small pages:" + flags[2]);
      for (int k = 0; k < 2; ++k) CheckEquals(int64_t(0), int64_t(bases[k] % (uintptr_t(2) << 20)), "aligned to 2 MiB");
      auto hugePage = [](const void* p) { return reinterpret_cast<uintptr_t>(p) >> 21; };
      Check(hugePage(written.back()) != hugePage(read.back()), "each kind on huge pages of its own");
      Check(flags[2].find(" wf ") != std::string::npos, "fresh blocks are wiped on fork:" + flags[2]);
      Check(flags[1].find(" wf ") == std::string::npos, "nodes are not wiped on fork:" + flags[1]);
    }

    // Zero where this process cannot see page frames or has no huge page.
    const uint64_t parentFrame = HugeFrameAt(written[kBlocks / 2]);
    int32_t got[4] = {-1, -1, -1, -1};
    const ssize_t n = InForkedChild(got, sizeof got, [&](int fd) {
      NodePool::CopyInPages();
      const uint64_t frame = HugeFrameAt(written[kBlocks / 2]);
      int32_t out[4] = {intact(), 0, 0, frame == 0 ? 0 : frame == parentFrame ? 2 : 1};
      for (unsigned char* p : fresh) out[1] += std::count(p, p + 128, 0) != 128;
      // And the child's writes stay its own.
      for (unsigned char* p : written) p[7] = 0xEE;
      for (unsigned char* p : fresh) p[7] = 0xEE;
      for (int i = 0; i < kBlocks; ++i) out[2] += written[i][7] != 0xEE || fresh[i][7] != 0xEE;
      [[maybe_unused]] ssize_t w = ::write(fd, out, sizeof out);
    });
    CheckEquals(static_cast<int64_t>(sizeof got), static_cast<int64_t>(n), "the child's figures");
    CheckEquals(0, got[0], "nodes the child found changed");
    CheckEquals(0, got[1], "fresh blocks the child found not empty");
    CheckEquals(0, got[2], "the child's own writes lost");
    if (parentFrame != 0) CheckEquals(1, got[3], "the written nodes on a huge page of the child's own, 1; shared, 2");
    else Status("no huge page, or its frames are hidden: the child's copy of it is not checked");
    // The parent's pages, taken back, are as they were.
    NodePool::TakeBackPages();
    CheckEquals(0, intact(), "nodes changed in the parent");
    int freshChanged = 0;
    for (int i = 0; i < kBlocks; ++i) freshChanged += fresh[i][7] != static_cast<unsigned char>(i + 2);
    CheckEquals(0, freshChanged, "fresh blocks changed in the parent");
  }

  // The run state a forked child starts from is a new node's, whatever the
  // parent's runs left in it: the child does not copy those pages.
  TESSEL_TEST(TestAForkedChildSeesTheRunStateOfANewNode) {
    auto suite = TTenChecks::Suite();
    TTestResult result;
    suite->Run(result);
    const ITestPtr test = suite->Tests().front();
    Check(test->GetStartTime() != 0 && test->GetStopTime() != 0, "the parent's run left its times");
    auto fresh = std::make_shared<TTenChecks>("T0");
    int64_t got[4] = {-1, -1, -1, -1};
    const ssize_t n = InForkedChild(got, sizeof got, [&](int fd) {
      const int64_t seen[] = {test->GetStartTime() - fresh->GetStartTime(), test->GetStopTime() - fresh->GetStopTime(),
                              int64_t(test->GetTestMethodInvoked()) - int64_t(fresh->GetTestMethodInvoked())};
      [[maybe_unused]] ssize_t w = ::write(fd, seen, sizeof seen);
      // And the child's own run works from there.
      TTestResult again;
      suite->Run(again);
      const int64_t ran = again.RunCount() * 100 + again.FailureCount() + again.ErrorCount();
      w = ::write(fd, &ran, sizeof ran);
    });
    CheckEquals(static_cast<int64_t>(sizeof got), static_cast<int64_t>(n), "the child's figures");
    CheckEquals(int64_t(0), got[0], "start time");
    CheckEquals(int64_t(0), got[1], "stop time");
    CheckEquals(int64_t(0), got[2], "method invoked");
    CheckEquals(int64_t(1000), got[3], "the child's run: 10 tests, no failures");
  }
};

TESSEL_REGISTER("Core.SharedPages", TSharedPagesTests);

}  // namespace
