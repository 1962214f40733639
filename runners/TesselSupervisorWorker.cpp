// The worker's side of a supervised run: a process forked from the
// supervisor before it ran any test, so that the tests meet the program's
// static state as a run in one process would. It takes units of work from
// the queue the workers share, runs each on its main thread, and writes
// every event into its channel.
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Clocks.h"
#include "platform/Format.h"
#include "runners/TesselCrashGuard.h"
#include "runners/TesselSupervisorDetail.h"

extern "C" {
[[gnu::weak]] void __gcov_dump();
[[gnu::weak]] int __llvm_profile_write_file();
[[gnu::weak]] void __lsan_do_leak_check();
}

namespace TesselSupervisor {

namespace {
bool gInWorker = false;
}

bool InWorker() noexcept { return gInWorker; }

namespace Detail {

using namespace TestFramework;
using Platform::Format;
using TesselCrashGuard::ETestCrashed;
using TesselCrashGuard::SignalText;
using TesselEvents::TControl;
using TesselEvents::TEventWriter;

namespace {

TEventWriter* gWriter = nullptr;
bool gForked = false;  // this process is a child that a test forked

// A child a test forks (the death-test pattern, a helper) shares the
// channel: it must never write to it, whatever it does.
void OnForkInChild() {
  gForked = true;
  if (gWriter) gWriter->SetSilent(true);
}

std::string EndText(int status) {
  if (WIFSIGNALED(status)) return "The test's process ended with " + SignalText(WTERMSIG(status));
  if (WIFEXITED(status))
    return Format("The test ended its process (exit status %d) before the test was over", WEXITSTATUS(status));
  return "The test's process ended before the test was over";
}

// The end of a worker that ran out of work. The program's exit handlers and
// static destructors are for its end, in the supervisor: run in every worker
// they would do their work once per worker (one removing a folder the tests
// share while another worker still uses it, say). What the tools that watch
// the tests write at exit is written here, though: coverage counts, profiles,
// and leak reports, which end the process with their own status.
[[noreturn]] void EndProcess(bool checkLeaks = true) {
  if (__gcov_dump) __gcov_dump();
  if (__llvm_profile_write_file) __llvm_profile_write_file();
  if (checkLeaks && __lsan_do_leak_check) __lsan_do_leak_check();
  ::_exit(0);
}

class TWorkerResult : public TTestResult {
 public:
  TWorkerResult(const TRunShared& run, TEventWriter& writer, TControl& control)
      : FRun(run), FWriter(writer), FControl(control) {}

  void SetUnitRoot(const ITest* root) noexcept { FRoot = root; }

  // The node table's reference: the run loop takes none of its own, whose
  // count it would write into pages this process shares with the supervisor.
  const ITestPtr* StableRef(const ITest* node) override { return FRun.Nodes->Ref(node); }
  ITestPtr FailureRef(const ITestPtr& test) override { return FRun.Nodes->Alias(test); }
  // The supervisor's listeners decide in the supervisor; here the answer
  // they are expected to give, and the question goes to them (except the
  // unit's own, which the supervisor asked before the unit was replayed).
  bool ShouldRunTest(const ITestPtr& test) override {
    if (test.get() == FAsked) return true;
    const bool yes = FRun.Options.WillRun ? FRun.Options.WillRun(test) : test->GetEnabled();
    if (test.get() != FRoot) FWriter.Question(test, yes);
    return yes;
  }

  void Run(const ITestPtr& test) override {
    if (!FRun.Options.Isolate || !IsTestMethod(test)) return TTestResult::Run(test);
    RunInOwnProcess(test);
  }

 private:
  // What the run loop does for a test case, with set-up, body and tear-down
  // in a process of their own; its end is this process's to record.
  void RunInOwnProcess(const ITestPtr& test) {
    if (ShouldStop() || !ShouldRunTest(test)) return;
    StartTest(test);
    try {
      FControl.CaseDone.store(0);
      std::fflush(nullptr);
      FWriter.Flush();  // the test's process writes after this one's records
      const int64_t started = Platform::QueryPerformanceCounter();
      pid_t pid = ::fork();
      if (pid == 0) RunHere(test);
      if (pid < 0) {
        RecordEnd(test, Format("Cannot start a process for the test: %s", std::strerror(errno)));
      } else {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        FWriter.Resync();
        const bool done = FControl.CaseDone.load() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (!done) {
          test->SetStartTime(started);
          test->SetStopTime(Platform::QueryPerformanceCounter());
          RecordEnd(test, EndText(status));
        }
      }
    } catch (...) {
      EndTest(test);
      throw;
    }
    EndTest(test);
  }

  [[noreturn]] void RunHere(const ITestPtr& test) {
    gForked = false;  // this fork is the worker's own
    FWriter.SetSilent(false);
    FWriter.SetQuietNode(test.get());
    FAsked = test.get();
    try {
      TTestResult::Run(test);
    } catch (...) {
      // Only the writer listens here, and it raises nothing.
    }
    std::fflush(nullptr);
    FWriter.Flush();
    FControl.CaseDone.store(1);
    EndProcess(false);  // one test case's process: its leaks would be told once per test
  }

  void RecordEnd(const ITestPtr& test, const std::string& msg) {
    TCodeLocation where = FMethodPtr;
    if (auto* tc = dynamic_cast<TTestCase*>(test.get())) where = tc->Method().Location();
    AddError(test, TExceptionInfo{&ETestCrashed::ClassInfo(), ETestCrashed::ClassInfo().Name, msg, {}}, where);
  }

  const TRunShared& FRun;
  TEventWriter& FWriter;
  TControl& FControl;
  const ITest* FRoot = nullptr;
  const ITest* FAsked = nullptr;
};

// The next unit this worker takes, from next on; -1 when none is left.
int32_t Claim(const TRunShared& run, uint32_t id, uint32_t& next) {
  const std::vector<TUnit>& units = *run.Units;
  for (uint32_t k = next; k < units.size(); ++k) {
    if (run.Control->Stop.load(std::memory_order_relaxed)) break;
    if (!units[k].Predicted) continue;
    uint32_t free = 0;
    if (run.Owners[k].load(std::memory_order_relaxed) == 0 && run.Owners[k].compare_exchange_strong(free, id)) {
      next = k + 1;
      return static_cast<int32_t>(k);
    }
  }
  next = static_cast<uint32_t>(units.size());
  return -1;
}

// The output files, seen from here: see TEventWriter::SetOutputMaps.
const char* MapOutput(int fd) {
  if (fd < 0) return nullptr;
  void* p = ::mmap(nullptr, kOutputMapSize, PROT_READ, MAP_SHARED | MAP_NORESERVE, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<const char*>(p);
}

void SetUpProcess(const TRunShared& run, const TWorkerStart& start, const char*& outMap, const char*& errMap) {
  gInWorker = true;
  // A supervisor can itself run in a worker (a test of a supervised run):
  // what that worker knew of its own forks is not this process's.
  gForked = false;
  gWriter = nullptr;
  // Dies with the supervisor; if it died before this line, no signal will come.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != run.Supervisor) ::_exit(kOrphanedWorker);
  ::setpgid(0, 0);
  for (size_t i = 0; i < run.Signals.size(); ++i) ::sigaction(run.Signals[i], &run.Dispositions[i], nullptr);
  for (int fd : start.CloseFds) ::close(fd);
  if (start.Sparse) {
    outMap = MapOutput(start.OutFd);
    errMap = MapOutput(start.ErrFd);
  }
  ::dup2(start.OutFd, STDOUT_FILENO);
  ::dup2(start.ErrFd >= 0 ? start.ErrFd : start.OutFd, STDERR_FILENO);
  if (start.OutFd > STDERR_FILENO) ::close(start.OutFd);
  if (start.ErrFd > STDERR_FILENO) ::close(start.ErrFd);
  // A process group of its own is never the terminal's foreground one: a
  // test that read the terminal would be stopped for good.
  if (::isatty(STDIN_FILENO)) {
    int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::close(null);
    }
  }
  ::pthread_atfork(nullptr, nullptr, &OnForkInChild);
  ::sigprocmask(SIG_SETMASK, &run.Mask, nullptr);
  TestFramework::NodePool::CopyInPages(!run.Options.Isolate);
  start.Channel->MapPages();
}

}  // namespace

void WorkerMain(const TRunShared& run, const TWorkerStart& start) {
  const char *outMap = nullptr, *errMap = nullptr;
  SetUpProcess(run, start, outMap, errMap);
  TEventWriter writer(*start.Channel, *run.Nodes, run.WakeFd, STDOUT_FILENO, start.ErrFd >= 0 ? STDERR_FILENO : -1);
  writer.SetOutputMaps(outMap, errMap, kOutputMapSize);
  gWriter = &writer;
  TWorkerResult result(run, writer, start.Channel->Control());
  writer.SetResult(&result);
  // The writer lives on this stack until the process ends.
  result.AddListener(std::shared_ptr<TEventWriter>(std::shared_ptr<TEventWriter>(), &writer));
  result.FailsIfNoChecksExecuted = run.FailsIfNoChecksExecuted;
  result.FailsIfMemoryLeaked = run.FailsIfMemoryLeaked;
  result.IgnoresMemoryLeakInSetUpTearDown = run.IgnoresMemoryLeakInSetUpTearDown;
  const std::vector<TUnit>& units = *run.Units;
  uint32_t next = start.StartAt;
  for (int32_t k; (k = Claim(run, start.Id, next)) >= 0;) {
    const ITestPtr& node = run.Nodes->Node(units[static_cast<size_t>(k)].Node);
    result.SetUnitRoot(node.get());
    writer.UnitBegin(k, node, units[static_cast<size_t>(k)].Node);
    try {
      node->RunWithFixture(result);
    } catch (...) {
      // The run loop keeps the tests' exceptions; one that gets here comes
      // from a node class of the program's own: it is that node's error.
      TExceptionInfo info = DescribeCurrentException();
      result.AddError(node, info, info.Location);
    }
    // A child a test forked that came back here ends without a word.
    if (gForked) ::_exit(0);
    writer.UnitEnd(k);
    if (result.ShouldStop()) break;
  }
  writer.Done();
  std::fflush(nullptr);
  EndProcess();
}

}  // namespace Detail
}  // namespace TesselSupervisor
