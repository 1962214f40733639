// The supervisor's side of a supervised run: it forks the workers and a
// keeper, replays the workers' records in the order of the tree, and ends
// the units their workers died in as the run loop would have.
#include "runners/TesselSupervisor.h"

#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <typeinfo>
#include <utility>

#include "extensions/TestExtensions.h"
#include "platform/Format.h"
#include "runners/TesselCrashGuard.h"
#include "runners/TesselSupervisorDetail.h"
#include "runners/ReportText.h"

namespace TesselSupervisor::Detail {

using namespace TestFramework;
using namespace TesselEvents;
using Platform::Format;
using TesselCrashGuard::ETestCrashed;
using TesselCrashGuard::ETestTimedOut;
using TesselCrashGuard::SignalText;

namespace {

volatile sig_atomic_t gStopSignal = 0;
pid_t gSupervisorPid = 0;
int gWakeFd = -1;

// From outside (a CI job's SIGTERM, Ctrl-C): the run ends in order, with
// the running tests recorded, and the reports are finished.
void OnStopSignal(int sig) {
  if (::getpid() != gSupervisorPid) {  // a worker that has not yet put the program's handlers back
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  if (!gStopSignal) gStopSignal = sig;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(gWakeFd, &one, sizeof one);
}

// The signals the supervisor ends the run in order for: every one whose
// default would end it, but the faults of its own code (those end it as
// they would any program) and a console that went away.
bool IsStopSignal(int sig) {
  switch (sig) {
    case SIGSEGV: case SIGBUS: case SIGFPE: case SIGILL: case SIGTRAP: case SIGSYS: case SIGABRT: case SIGPIPE:
      return false;
    default:
      return true;
  }
}


// The classes the workers' records name most: made here before the fork,
// so that both processes have them at the same addresses.
void MakeClasses() {
  TObject::ClassInfo();
  Exception::ClassInfo();
  EAbort::ClassInfo();
  ETestFailure::ClassInfo();
  EStopTestsFailure::ClassInfo();
  EPostTestFailure::ClassInfo();
  ETesselException::ClassInfo();
  ETestError::ClassInfo();
  EBreakingTestFailure::ClassInfo();
  EInOutError::ClassInfo();
  ETestCrashed::ClassInfo();
  ETestTimedOut::ClassInfo();
  TAbstractTest::ClassInfo();
  TTestCase::ClassInfo();
  TTestSuite::ClassInfo();
  TestExtensions::TTestDecorator::ClassInfo();
  TestExtensions::TTestSetup::ClassInfo();
}

bool IsPlainSuite(const ITestPtr& node) {
  const ITest& n = *node;
  return typeid(n) == typeid(TTestSuite);
}
TExceptionInfo Crash(std::string message, const TClass* cls = &ETestCrashed::ClassInfo()) {
  return TExceptionInfo{cls, cls->Name, std::move(message), {}};
}
}  // namespace

int StopSignalPending() noexcept { return gStopSignal; }

int64_t NowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// ---------------------------------------------------------------------------

TSupervisedResult::TSupervisedResult(ITestPtr root, TSupervisorOptions options)
    : TReplayResult(root), FRootNode(std::move(root)), FOptions(std::move(options)) {
  if (FOptions.Jobs < 1) FOptions.Jobs = 1;
}

TSupervisedResult::~TSupervisedResult() { Shutdown(); }

bool TSupervisedResult::WillRun(const ITestPtr& node) const {
  return FOptions.WillRun ? FOptions.WillRun(node) : node->GetEnabled();
}

void TSupervisedResult::CollectUnits(const ITestPtr& node, bool willRun) {
  if (!node) return;
  willRun = willRun && WillRun(node);
  if (IsPlainSuite(node)) {
    for (const ITestPtr& child : node->Tests()) CollectUnits(child, willRun);
    return;
  }
  const int32_t index = FNodes.IndexOf(node.get());
  FIsUnit[static_cast<size_t>(index)] = 1;
  FUnits.push_back({index, willRun});
}

void TSupervisedResult::Start() {
  if (FStarted) throw ETesselException("A supervised result runs its tree once; make a new one for another run");
  FStarted = true;
  MakeClasses();
  FIsUnit.assign(FNodes.Size(), 0);
  FLimits.assign(FNodes.Size(), -1);
  CollectUnits(FRootNode, true);
  FState.resize(FUnits.size());
  // What a run does once per node, done here before the fork: done in a
  // worker, it would write pages both processes then copy.
  for (size_t i = 0; i < FNodes.Size(); ++i) PrepareToRun(*FNodes.Node(static_cast<int32_t>(i)));

  FControlBytes = sizeof(TRunControl) + FUnits.size() * sizeof(std::atomic<uint32_t>) + 64;
  FControlMap = ::mmap(nullptr, FControlBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (FControlMap == MAP_FAILED) {
    FControlMap = nullptr;
    throw ETesselException(Format("Cannot share memory with the tests' processes: %s", std::strerror(errno)));
  }
  FShared.Control = new (FControlMap) TRunControl();
  FShared.Owners = reinterpret_cast<std::atomic<uint32_t>*>(static_cast<char*>(FControlMap) + 64);
  FWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (FWakeFd < 0) throw ETesselException(Format("Cannot make an event descriptor: %s", std::strerror(errno)));

  struct stat out {}, err {};
  FMerged = ::fstat(STDOUT_FILENO, &out) == 0 && ::fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
            out.st_ino == err.st_ino;

  // The signals: what the program had goes to the workers; here children
  // must be waited for, and a stop from outside ends the run in order.
  gSupervisorPid = ::getpid();
  gWakeFd = FWakeFd;
  gStopSignal = 0;
  ::sigprocmask(SIG_SETMASK, nullptr, &FShared.Mask);
  auto keep = [&](int sig, const struct sigaction& now) {
    FShared.Signals.push_back(sig);
    FShared.Dispositions.push_back(now);
  };
  struct sigaction dfl {}, stop {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  struct sigaction now {};
  if (::sigaction(SIGCHLD, nullptr, &now) == 0) {
    keep(SIGCHLD, now);
    ::sigaction(SIGCHLD, &dfl, nullptr);
  }
  for (int sig : TesselCrashGuard::TerminatingSignals()) {
    if (!IsStopSignal(sig) || ::sigaction(sig, nullptr, &now) != 0) continue;
    if ((now.sa_flags & SA_SIGINFO) || now.sa_handler != SIG_DFL) continue;
    keep(sig, now);
    ::sigaction(sig, &stop, nullptr);
  }

  FShared.Nodes = &FNodes;
  FShared.Units = &FUnits;
  FShared.Options = FOptions;
  FShared.FailsIfNoChecksExecuted = FailsIfNoChecksExecuted;
  FShared.FailsIfMemoryLeaked = FailsIfMemoryLeaked;
  FShared.IgnoresMemoryLeakInSetUpTearDown = IgnoresMemoryLeakInSetUpTearDown;
  FShared.Supervisor = gSupervisorPid;
  FShared.WakeFd = FWakeFd;

  std::fflush(nullptr);
  size_t predicted = static_cast<size_t>(std::count_if(FUnits.begin(), FUnits.end(), [](const TUnit& u) { return u.Predicted; }));
  for (size_t i = 0; i < std::min(predicted, static_cast<size_t>(FOptions.Jobs)); ++i)
    if (!Fork(0)) break;
}

void TSupervisedResult::Tell(int32_t v) {
  // The keeper starts with the first worker: with none there is nothing to
  // keep. The worker is forked first, so that the tests start sooner; one
  // that loses this process before the keeper is there ends by its death
  // signal, still starting, before its first test, so no helper of a test
  // is left behind.
  if (v > 0 && !FKeeperTried) {
    FKeeperTried = true;
    StartKeeper(FKeeper);
  }
  TellKeeper(FKeeper, v);
}

TSupervisedResult::TWorker* TSupervisedResult::Fork(uint32_t startAt) {
  auto w = std::make_unique<TWorker>();
  w->Id = FNextId++;
  try {
    w->Channel = std::make_unique<TChannel>();
  } catch (const Exception& e) {
    FForkError = e.Message();
    return nullptr;
  }
  w->Output = std::make_shared<TOutput>();
  w->Output->OutFd = ::memfd_create("tessel-stdout", MFD_CLOEXEC);
  if (!FMerged) w->Output->ErrFd = ::memfd_create("tessel-stderr", MFD_CLOEXEC);
  bool sparse = true;
  for (int fd : {w->Output->OutFd, w->Output->ErrFd})
    if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(kOutputFileSize)) != 0) sparse = false;
  if (w->Output->OutFd < 0 || (!FMerged && w->Output->ErrFd < 0)) {
    FForkError = Format("Cannot make a file for the tests' output: %s", std::strerror(errno));
    return nullptr;
  }
  TWorkerStart start;
  start.Channel = w->Channel.get();
  start.Id = w->Id;
  start.StartAt = startAt;
  start.OutFd = w->Output->OutFd;
  start.ErrFd = w->Output->ErrFd;
  start.Sparse = sparse;
  if (FKeeper.Socket >= 0) start.CloseFds.push_back(FKeeper.Socket);
  for (const auto& other : FWorkers) {
    if (other->PidFd >= 0) start.CloseFds.push_back(other->PidFd);
    if (other->Output->OutFd >= 0) start.CloseFds.push_back(other->Output->OutFd);
    if (other->Output->ErrFd >= 0) start.CloseFds.push_back(other->Output->ErrFd);
  }
  sigset_t all, old;
  sigfillset(&all);
  ::sigprocmask(SIG_BLOCK, &all, &old);
  // Whatever is buffered would otherwise be written twice, by both processes.
  std::fflush(nullptr);
  pid_t pid = ForkOnThisCpu();
  if (pid == 0) WorkerMain(FShared, start);
  int err = errno;
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  if (pid < 0) {
    FForkError = Format("Cannot start a process for the tests: %s", std::strerror(err));
    return nullptr;
  }
  ::setpgid(pid, pid);  // the worker does it too: whichever comes first
  Tell(pid);
  w->Pid = pid;
  w->PidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  FWorkers.push_back(std::move(w));
  return FWorkers.back().get();
}

// The worker's life in one place: its records say where its work stands,
// its process's end says it will do no more, and a worker that has ended
// and whose records are all read is gone.
void TSupervisedResult::Step(TWorker& w, TStep step, int32_t unit) {
  switch (step) {
    case TStep::UnitBegin:
      w.Stream = TWorker::InUnit;
      w.Unit = unit;
      FState[static_cast<size_t>(unit)].Begun = true;
      break;
    case TStep::UnitEnd:
      if (w.Unit >= 0) FState[static_cast<size_t>(w.Unit)].Ended = true;
      w.LastUnit = w.Unit;
      w.Unit = -1;
      w.Stream = TWorker::Idle;
      break;
    case TStep::Done:
      w.Stream = TWorker::Finished;
      break;
    case TStep::Died:
      w.Alive = false;
      break;
    case TStep::Drained:
      // Not alive, and nothing left to read: what its end means.
      if (w.Stream == TWorker::InUnit) {
        TUnitState& u = FState[static_cast<size_t>(w.Unit)];
        u.Ended = true;
        if (w.TimedOutAfter > 0) {
          FCrashes[static_cast<size_t>(w.Unit)] =
              Format("The test ran longer than its time limit of %s s and was stopped", FloatToStr(w.TimedOutAfter));
          u.TimedOut = true;
        } else {
          FCrashes[static_cast<size_t>(w.Unit)] = EndText(w.Status);
        }
        if (static_cast<int32_t>(w.Unit) == FReplaying) CopyAllOutput(*w.Output);
      } else if (w.Stream == TWorker::Idle && !(FInterrupted || FFinished)) {
        std::string after = w.LastUnit >= 0 ? " after " + FNodes.Node(FUnits[static_cast<size_t>(w.LastUnit)].Node)->GetName() + " was over" : "";
        FPending.push_back("The tests' process ended with " + StatusText(w.Status) + after +
                           " and before another test started (a thread or a process a test left running?)");
      } else if (w.Stream == TWorker::Finished && !(WIFEXITED(w.Status) && WEXITSTATUS(w.Status) == 0) && !FInterrupted) {
        FLate.push_back("The tests' process ended with " + StatusText(w.Status) +
                        " after its last test (in a static destructor or an exit handler)");
      }
      w.Stream = TWorker::Finished;
      w.Unit = -1;
      w.Gone = true;
      break;
  }
}


// ---------------------------------------------------------------------------
// The run

void TSupervisedResult::TestingStarts() {
  Start();
  // A line per test, each its own write, costs more than the tests: the
  // lines wait in stdout's buffer until a test's output is copied after
  // them, the buffer is full, or this process waits for the workers.
  ReportText::SetConsoleBuffered(true);
  TTestResult::TestingStarts();
}

void TSupervisedResult::Run(const ITestPtr& test) {
  const int32_t index = test ? FNodes.IndexOf(test.get()) : -1;
  if (index < 0 || !FIsUnit[static_cast<size_t>(index)]) return TTestResult::Run(test);
  size_t k = FCursor;
  while (k < FUnits.size() && FUnits[k].Node != index) ++k;
  if (k == FUnits.size()) return;  // reached again out of the tree's order: it ran where it belongs
  // Units the walk passed by will not be replayed: their records are dropped.
  for (size_t j = FCursor; j < k; ++j)
    if (FState[j].State == TUnitState::Waiting) FState[j].State = TUnitState::Skipped;
  FCursor = k + 1;
  if (ShouldStop() || !ShouldRunTest(test)) {
    FState[k].State = TUnitState::Skipped;
    return;
  }
  ReplayUnit(k);
}

void TSupervisedResult::ReplayUnit(size_t k) {
  RecordPending();
  std::erase_if(FWorkers, [](const auto& w) { return w->Gone; });
  const ITestPtr& node = FNodes.Node(FUnits[k].Node);
  TUnitState& u = FState[k];
  if (!FUnits[k].Predicted) {
    // The workers passed it over when the run started (disabled, or not chosen).
    StartTest(node);
    AddError(node, Crash("This test was not run: it was disabled or not chosen when the run started, and a listener "
                         "chose it afterwards", &ETestError::ClassInfo()), {});
    EndTest(node);
    u.State = TUnitState::Done;
    return;
  }
  u.State = TUnitState::Live;
  FReplaying = static_cast<int32_t>(k);
  SetRunBase(RunCount());
  const size_t depth = OpenNodes().size();
  try {
    while (!u.Ended && !FInterrupted) {
      if (StopSignalPending()) {
        Interrupt();
        break;
      }
      Replace();
      bool progress = false;
      for (size_t i = 0; i < FWorkers.size(); ++i) progress = Drain(*FWorkers[i]) || progress;
      if (progress) {
        // Busy replaying: the limits of the other workers are still watched.
        const int64_t now = NowNanos();
        if (now >= FNextDeadlineCheck) {
          int64_t next = INT64_MAX;
          CheckDeadlines(now, next);
          FNextDeadlineCheck = now + 10 * 1000 * 1000;
        }
      }
      if (u.Ended || FInterrupted || progress) continue;
      if (FShared.Owners[k].load() == 0 && (LiveWorkers() == 0 || FUnclaimedFrom <= k)) {
        // Nobody is left to take it: a worker of its own, or its error.
        if (Fork(static_cast<uint32_t>(k))) continue;
        u.Ended = true;
        FCrashes[k] = FForkError;
        break;
      }
      Wait(0);
    }
    if (FInterrupted) {
      if (TWorker* owner = OwnerOf(k)) Drain(*owner);
      EndOpenNodes(depth, Crash("The program received " + SignalText(FStopSignal) + " during this test"), node);
    } else if (auto crash = FCrashes.find(k); crash != FCrashes.end()) {
      EndOpenNodes(depth, Crash(crash->second, u.TimedOut ? &ETestTimedOut::ClassInfo() : &ETestCrashed::ClassInfo()),
                   node);
      FCrashes.erase(crash);
    }
  } catch (...) {
    // A listener raised: the rest of the unit is not replayed, and the
    // exception goes on as it would from the unit's own run.
    u.State = TUnitState::Skipped;
    FReplaying = -1;
    UnwindOpenNodes(depth);
    throw;
  }
  u.State = TUnitState::Done;
  FReplaying = -1;
}

void TSupervisedResult::RecordPending() {
  for (const std::string& msg : FPending) {
    ITestPtr at = OpenNodes().empty() ? FRootNode : OpenNodes().back().Node();
    try {
      AddError(at, Crash(msg), {});
    } catch (...) {
    }
  }
  FPending.clear();
}

void TSupervisedResult::Interrupt() {
  FInterrupted = true;
  FStopSignal = gStopSignal;
  FShared.Control->Stop.store(1);
  for (const auto& w : FWorkers) StopWorker(*w);
  Stop();
}

void TSupervisedResult::TestingEnds() {
  if (FStarted && !FFinished) FinishWorkers();
  // The summary is written as a run in one process writes it; the lines
  // before it go first.
  ReportText::SetConsoleBuffered(false);
  std::fflush(stdout);
  // The method tables were made before the fork; freed at exit, each page
  // they lie in would fault once more in this process.
  if (FStarted) TClass::KeepTablesAtExit();
  TTestResult::TestingEnds();
}

void TSupervisedResult::FinishWorkers() {
  FFinished = true;
  for (TUnitState& u : FState)
    if (u.State == TUnitState::Waiting) u.State = TUnitState::Skipped;
  FShared.Control->Stop.store(1);
  if (!FInterrupted) {
    // A worker still in a unit runs what nobody will replay.
    for (const auto& w : FWorkers)
      if (w->Alive && static_cast<uint32_t>(w->Channel->Control().Active.load()) != 0xFFFFFFFFu) StopWorker(*w);
    // The others end themselves, with what the program does at its end.
    const double limit = std::max(60.0, FOptions.TimeLimit ? FOptions.TimeLimit(nullptr) : 0.0);
    const int64_t deadline = NowNanos() + static_cast<int64_t>(limit * 1e9);
    for (;;) {
      for (size_t i = 0; i < FWorkers.size(); ++i) Drain(*FWorkers[i]);
      if (std::none_of(FWorkers.begin(), FWorkers.end(), [](const auto& w) { return w->Alive; })) break;
      if (StopSignalPending()) {
        Interrupt();
        break;
      }
      if (NowNanos() >= deadline) {
        for (const auto& w : FWorkers)
          if (w->Alive) {
            FLate.push_back(Format("The tests' process did not end within %d s after its last test", static_cast<int64_t>(limit)));
            StopWorker(*w);
          }
        break;
      }
      Wait(deadline);
    }
  }
  for (size_t i = 0; i < FWorkers.size(); ++i) {
    TWorker& w = *FWorkers[i];
    if (!w.Alive) continue;
    StopWorker(w);
    int status = 0;
    while (::waitpid(w.Pid, &status, 0) < 0 && errno == EINTR) {
    }
    Reap(w, status);
  }
  for (size_t i = 0; i < FWorkers.size(); ++i) Drain(*FWorkers[i]);
  RecordPending();
  for (const std::string& msg : FLate) {
    try {
      AddError(FRootNode, Crash(msg), {});
    } catch (...) {
    }
  }
  FLate.clear();
  Shutdown();
  // The workers and the keeper have ended.
  NodePool::TakeBackPages();
}

void TSupervisedResult::Shutdown() noexcept {
  ReportText::SetConsoleBuffered(false);
  std::fflush(stdout);
  for (const auto& w : FWorkers) {
    if (!w->Alive) continue;
    ::kill(-w->Pid, SIGKILL);
    int status;
    while (::waitpid(w->Pid, &status, 0) < 0 && errno == EINTR) {
    }
    w->Alive = false;
    if (w->PidFd >= 0) ::close(w->PidFd);
    w->PidFd = -1;
  }
  FWorkers.clear();
  EndKeeper(FKeeper);  // there is nothing left for it to end
  for (size_t i = 0; i < FShared.Signals.size(); ++i) {
    struct sigaction now {};
    if (::sigaction(FShared.Signals[i], nullptr, &now) != 0) continue;
    if (FShared.Signals[i] == SIGCHLD || now.sa_handler == OnStopSignal)
      ::sigaction(FShared.Signals[i], &FShared.Dispositions[i], nullptr);
  }
  FShared.Signals.clear();
  FShared.Dispositions.clear();
  if (FWakeFd >= 0) ::close(FWakeFd);
  FWakeFd = -1;
  gWakeFd = -1;
  if (FControlMap) ::munmap(FControlMap, FControlBytes);
  FControlMap = nullptr;
}

}  // namespace TesselSupervisor::Detail

namespace TesselSupervisor {

std::unique_ptr<TTestResult> NewSupervisedResult(ITestPtr root, TSupervisorOptions options) {
  return std::make_unique<Detail::TSupervisedResult>(std::move(root), std::move(options));
}

int StoppingSignal(const TTestResult& result) noexcept {
  auto* s = dynamic_cast<const Detail::TSupervisedResult*>(&result);
  return s ? s->StopSignal() : 0;
}
}  // namespace TesselSupervisor
