// A tree run in a forked process leaves the pages its nodes lie in shared
// with the parent: what a run changes in a node (its times, its flags, its
// status listener) and the nodes' reference counts are kept in pages of
// their own. A supervised run forks its workers after the tree is built, and
// every node page a run wrote would be copied, at a page fault each, in the
// worker and again in the supervisor.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <set>
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

    int fds[2];
    CheckEquals(0, ::pipe(fds));
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
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
      [[maybe_unused]] ssize_t n = ::write(fds[1], out, sizeof out);
      ::_exit(0);
    }
    ::close(fds[1]);
    int32_t got[4] = {};
    const ssize_t n = ReadAll(fds[0], got, sizeof got);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
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

  // The run state a forked child starts from is a new node's, whatever the
  // parent's runs left in it: the child does not copy those pages.
  TESSEL_TEST(TestAForkedChildSeesTheRunStateOfANewNode) {
    auto suite = TTenChecks::Suite();
    TTestResult result;
    suite->Run(result);
    const ITestPtr test = suite->Tests().front();
    Check(test->GetStartTime() != 0 && test->GetStopTime() != 0, "the parent's run left its times");
    auto fresh = std::make_shared<TTenChecks>("T0");
    int fds[2];
    CheckEquals(0, ::pipe(fds));
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      const int64_t seen[] = {test->GetStartTime() - fresh->GetStartTime(), test->GetStopTime() - fresh->GetStopTime(),
                              int64_t(test->GetTestMethodInvoked()) - int64_t(fresh->GetTestMethodInvoked())};
      [[maybe_unused]] ssize_t n = ::write(fds[1], seen, sizeof seen);
      // And the child's own run works from there.
      TTestResult again;
      suite->Run(again);
      const int64_t ran = again.RunCount() * 100 + again.FailureCount() + again.ErrorCount();
      n = ::write(fds[1], &ran, sizeof ran);
      ::_exit(0);
    }
    ::close(fds[1]);
    int64_t got[4] = {-1, -1, -1, -1};
    const ssize_t n = ReadAll(fds[0], got, sizeof got);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    CheckEquals(static_cast<int64_t>(sizeof got), static_cast<int64_t>(n), "the child's figures");
    CheckEquals(int64_t(0), got[0], "start time");
    CheckEquals(int64_t(0), got[1], "stop time");
    CheckEquals(int64_t(0), got[2], "method invoked");
    CheckEquals(int64_t(1000), got[3], "the child's run: 10 tests, no failures");
  }
};

TESSEL_REGISTER("Core.SharedPages", TSharedPagesTests);

}  // namespace
