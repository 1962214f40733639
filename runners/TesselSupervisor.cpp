// The supervisor's side of a supervised run: it forks the workers and a
// keeper, replays the workers' records in the order of the tree, copies
// the tests' output into place, watches the time limits, and records the
// end of every worker that dies.
#include "runners/TesselSupervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <stdio_ext.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <linux/futex.h>
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
#include "runners/ReportText.h"
#include "runners/TesselCrashGuard.h"
#include "runners/TesselSupervisorDetail.h"

namespace TesselSupervisor {

using namespace TestFramework;
using namespace TesselEvents;
using namespace Detail;
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

int64_t NowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
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

// The output files of one worker, and how much of each is copied out.
struct TOutput {
  int OutFd = -1, ErrFd = -1;
  uint64_t OutCopied = 0, ErrCopied = 0, OutFreed = 0, ErrFreed = 0;
  ~TOutput() {
    if (OutFd >= 0) ::close(OutFd);
    if (ErrFd >= 0) ::close(ErrFd);
  }
};

void WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;  // the console is gone: the output with it
    p += w;
    n -= static_cast<size_t>(w);
  }
}

// Copies [done, to) of from to dst, then lets the memory file give back
// what is copied.
void CopyRange(int from, uint64_t& done, uint64_t& freed, uint64_t to, int dst) {
  if (to <= done) return;
  if (__fpending(stdout)) std::fflush(stdout);
  if (__fpending(stderr)) std::fflush(stderr);
  off_t off = static_cast<off_t>(done);
  bool plain = false;
  while (static_cast<uint64_t>(off) < to && !plain) {
    ssize_t n = ::sendfile(dst, from, &off, static_cast<size_t>(to - static_cast<uint64_t>(off)));
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EINVAL || errno == ENOSYS)) plain = true;  // an appending file, for one
    else break;
  }
  char buf[65536];
  while (plain && static_cast<uint64_t>(off) < to) {
    ssize_t n = ::pread(from, buf, std::min<uint64_t>(sizeof buf, to - static_cast<uint64_t>(off)), off);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    WriteAll(dst, buf, static_cast<size_t>(n));
    off += n;
  }
  done = to;
  constexpr uint64_t kFreeStep = uint64_t(1) << 20;
  if (done - freed >= kFreeStep) {
    uint64_t upTo = done / kFreeStep * kFreeStep;
    ::fallocate(from, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(freed),
                static_cast<off_t>(upTo - freed));
    freed = upTo;
  }
}

uint64_t FileSize(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

void CopyOutput(TOutput& o, uint64_t outPos, uint64_t errPos) {
  CopyRange(o.OutFd, o.OutCopied, o.OutFreed, outPos, STDOUT_FILENO);
  if (o.ErrFd >= 0) CopyRange(o.ErrFd, o.ErrCopied, o.ErrFreed, errPos, STDERR_FILENO);
}

// Everything a worker that ended has written.
void CopyAllOutput(TOutput& o) { CopyOutput(o, FileSize(o.OutFd), o.ErrFd >= 0 ? FileSize(o.ErrFd) : 0); }

std::string EndText(int status) {
  if (WIFSIGNALED(status)) return "The test's process ended with " + SignalText(WTERMSIG(status));
  if (WIFEXITED(status))
    return Format("The test ended its process (exit status %d) before the test was over", WEXITSTATUS(status));
  return "The test's process ended before the test was over";
}

std::string StatusText(int status) {
  if (WIFSIGNALED(status)) return SignalText(WTERMSIG(status));
  return Format("exit status %d", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

TExceptionInfo Crash(std::string message, const TClass* cls = &ETestCrashed::ClassInfo()) {
  return TExceptionInfo{cls, cls->Name, std::move(message), {}};
}

// ---------------------------------------------------------------------------
// The keeper: a process of its own that outlives the supervisor. It is told
// every worker's process group and, when the supervisor's end of their
// socket closes (normally or because it was killed), ends the groups still
// on its list.

pid_t StartKeeper(int& socketFd) {
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return -1;
  pid_t pid = ::fork();
  if (pid != 0) {
    ::close(sv[1]);
    if (pid < 0) {
      ::close(sv[0]);
      return -1;
    }
    socketFd = sv[0];
    return pid;
  }
  ::setpgid(0, 0);  // out of reach of a signal to the supervisor's group
  if (sv[1] != 3) {
    ::dup2(sv[1], 3);
    ::close(sv[1]);
  }
  ::syscall(SYS_close_range, 4u, ~0u, 0u);
  for (int fd = 0; fd < 3; ++fd) ::close(fd);
  pid_t groups[4096];
  size_t count = 0;
  for (;;) {
    int32_t v = 0;
    ssize_t n = ::recv(3, &v, sizeof v, MSG_WAITALL);
    if (n < 0 && errno == EINTR) continue;
    if (n != sizeof v) break;
    if (v > 0 && count < std::size(groups)) groups[count++] = v;
    for (size_t i = 0; v < 0 && i < count; ++i)
      if (groups[i] == -v) groups[i] = groups[--count];
  }
  for (size_t i = 0; i < count; ++i) ::kill(-groups[i], SIGKILL);
  ::_exit(0);
}

}  // namespace

// ---------------------------------------------------------------------------

class TSupervisedResult final : public TReplayResult {
 public:
  TSupervisedResult(ITestPtr root, TSupervisorOptions options);
  ~TSupervisedResult() override;

  void TestingStarts() override;
  void TestingEnds() override;
  void Run(const ITestPtr& test) override;
  int StopSignal() const noexcept { return FStopSignal; }

 private:
  // One worker process, from its fork until its records are all read.
  struct TWorker {
    // Where its records stand, as far as they are read, and whether the
    // process still runs: the two together are the worker's state.
    enum TStream { Idle, InUnit, Finished } Stream = Idle;
    bool Alive = true;
    uint32_t Id = 0;
    pid_t Pid = -1;
    int PidFd = -1;
    std::unique_ptr<TChannel> Channel;
    std::shared_ptr<TOutput> Output;
    int32_t Unit = -1;      // the unit its read records are in
    int32_t LastUnit = -1;  // the last one they ended
    int Status = 0;         // once it is not alive
    double TimedOutAfter = 0;
    bool Parked = false;    // its next record begins a unit the replay has not reached
    bool Gone = false;      // not alive and every record read
  };
  enum class TStep { UnitBegin, UnitEnd, Done, Died, Drained };

  struct TUnitState {
    enum : uint8_t { Waiting, Live, Done, Skipped } State = Waiting;
    bool Begun = false;  // a worker's records began it
    bool Ended = false;
    std::string Crash;  // how its worker ended while it ran
    bool TimedOut = false;
  };

  void Start();
  void CollectUnits(const ITestPtr& node, bool willRun);
  bool WillRun(const ITestPtr& node) const;
  TWorker* Fork(uint32_t startAt);
  void Step(TWorker& w, TStep step, int32_t unit = -1);
  void ReplayUnit(size_t k);
  bool Drain(TWorker& w);
  void Wait(int64_t until);
  void Reap(TWorker& w, int status);
  void CheckDeadlines(int64_t now, int64_t& next);
  double LimitOf(int32_t node);
  void StopWorker(TWorker& w);
  TWorker* OwnerOf(size_t k);
  size_t LiveWorkers() const;
  void ReleaseClaims(TWorker& w);
  void Replace();
  void RecordPending();
  void Interrupt();
  void FinishWorkers();
  void Shutdown() noexcept;
  void Tell(int32_t v);

  ITestPtr FRootNode;
  TSupervisorOptions FOptions;
  std::vector<TUnit> FUnits;
  std::vector<TUnitState> FState;
  std::vector<uint8_t> FIsUnit;     // by node index
  std::vector<double> FLimits;      // by node index; negative: not looked up yet
  std::vector<std::unique_ptr<TWorker>> FWorkers;
  TRunShared FShared;
  void* FControlMap = nullptr;
  size_t FControlBytes = 0;
  int FWakeFd = -1;
  int FKeeper = -1;
  pid_t FKeeperPid = -1;
  bool FMerged = false;  // standard output and error are one file
  uint32_t FNextId = 1;
  size_t FCursor = 0;
  int32_t FReplaying = -1;
  bool FStarted = false, FFinished = false, FInterrupted = false;
  int FStopSignal = 0;
  std::string FForkError;
  size_t FUnclaimedFrom = SIZE_MAX;  // units from here may have nobody to take them
  size_t FReplaceFrom = SIZE_MAX;    // a worker died: a new one goes on from here
  int64_t FNextDeadlineCheck = 0;
  std::vector<std::string> FPending;  // deaths between units, for the innermost open node
  std::vector<std::string> FLate;     // deaths after the last unit, for the root
  std::vector<struct sigaction> FOwnPrevious;
};

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
  FIsUnit[static_cast<size_t>(FNodes.IndexOf(node.get()))] = 1;
  FUnits.push_back({node, willRun});
}

void TSupervisedResult::Start() {
  if (FStarted) throw ETesselException("A supervised result runs its tree once; make a new one for another run");
  FStarted = true;
  MakeClasses();
  FIsUnit.assign(FNodes.Size(), 0);
  FLimits.assign(FNodes.Size(), -1);
  CollectUnits(FRootNode, true);
  FState.resize(FUnits.size());

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
  FKeeperPid = StartKeeper(FKeeper);
  size_t predicted = static_cast<size_t>(std::count_if(FUnits.begin(), FUnits.end(), [](const TUnit& u) { return u.Predicted; }));
  for (size_t i = 0; i < std::min(predicted, static_cast<size_t>(FOptions.Jobs)); ++i)
    if (!Fork(0)) break;
}

void TSupervisedResult::Tell(int32_t v) {
  if (FKeeper >= 0) ::send(FKeeper, &v, sizeof v, MSG_NOSIGNAL);
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
  if (FKeeper >= 0) start.CloseFds.push_back(FKeeper);
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
  pid_t pid = ::fork();
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
          u.Crash = Format("The test ran longer than its time limit of %s s and was stopped",
                           FloatToStr(w.TimedOutAfter));
          u.TimedOut = true;
        } else {
          u.Crash = EndText(w.Status);
        }
        if (static_cast<int32_t>(w.Unit) == FReplaying) CopyAllOutput(*w.Output);
      } else if (w.Stream == TWorker::Idle && !(FInterrupted || FFinished)) {
        std::string after = w.LastUnit >= 0 ? " after " + FUnits[static_cast<size_t>(w.LastUnit)].Node->GetName() + " was over" : "";
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
// Reading the workers' records

bool TSupervisedResult::Drain(TWorker& w) {
  if (w.Gone) return false;
  TControl& c = w.Channel->Control();
  const uint64_t head = c.Head.load(std::memory_order_acquire);
  uint64_t tail = c.Tail.load(std::memory_order_relaxed);
  const size_t ring = w.Channel->RingSize();
  bool consumed = false;
  w.Parked = false;
  while (tail < head && !w.Parked) {
    TRecord rec;
    const char* at = w.Channel->Ring() + tail % ring;
    const TRecordHead* h = nullptr;
    bool valid = TReplayResult::Parse(std::string_view(at, static_cast<size_t>(head - tail)), rec);
    if (valid) {
      h = rec.Head;
      const bool unitRecord = h->Kind == TKind::UnitBegin || h->Kind == TKind::UnitEnd;
      valid = !unitRecord || (h->Node >= 0 && static_cast<size_t>(h->Node) < FUnits.size());
    }
    if (!valid) {
      // Records no reader can follow: this worker's stream ends here.
      StopWorker(w);
      c.Tail.store(head, std::memory_order_release);
      tail = head;
      break;
    }
    if (h->Kind == TKind::UnitBegin) {
      const int32_t k = h->Node;
      if (k != FReplaying && FState[static_cast<size_t>(k)].State != TUnitState::Skipped) {
        w.Parked = true;  // a unit the replay has not reached: its records wait in the ring
        break;
      }
      Step(w, TStep::UnitBegin, k);
    }
    // The record stays where it is until it has been replayed; then the
    // writer may use its room again, also when a listener raised.
    const uint64_t next = tail + h->Size;
    struct TCommit {
      TControl& C;
      uint64_t Next;
      ~TCommit() {
        C.Tail.store(Next, std::memory_order_release);
        if (C.WriterWaiting.load(std::memory_order_relaxed) && C.WriterWaiting.exchange(0))
          ::syscall(SYS_futex, &C.WriterWaiting, FUTEX_WAKE, 1, nullptr, nullptr, 0);
      }
    } commit{c, next};
    tail = next;
    consumed = true;
    const bool live = w.Unit >= 0 && w.Unit == FReplaying;
    switch (h->Kind) {
      case TKind::UnitBegin:
        break;
      case TKind::UnitEnd:
        if (live && (h->Flags & fOutput)) CopyOutput(*w.Output, rec.OutPos, rec.ErrPos);
        Step(w, TStep::UnitEnd);
        break;
      case TKind::Done:
        Step(w, TStep::Done);
        break;
      default:
        if (live) {
          if (h->Flags & fOutput) CopyOutput(*w.Output, rec.OutPos, rec.ErrPos);
          Replay(rec);
        }
        break;
    }
    if (gStopSignal) break;
  }
  if (!w.Alive && !w.Parked && tail == head && !w.Gone) Step(w, TStep::Drained);
  return consumed;
}

void TSupervisedResult::StopWorker(TWorker& w) {
  if (w.Alive && w.Pid > 0) ::kill(-w.Pid, SIGKILL);
}

TSupervisedResult::TWorker* TSupervisedResult::OwnerOf(size_t k) {
  const uint32_t id = FShared.Owners[k].load(std::memory_order_acquire);
  if (id == 0) return nullptr;
  for (const auto& w : FWorkers)
    if (w->Id == id) return w.get();
  return nullptr;
}

size_t TSupervisedResult::LiveWorkers() const {
  return static_cast<size_t>(std::count_if(FWorkers.begin(), FWorkers.end(), [](const auto& w) {
    return w->Alive && w->Stream != TWorker::Finished;
  }));
}

double TSupervisedResult::LimitOf(int32_t node) {
  if (!FOptions.TimeLimit) return 0;
  if (node < 0 || static_cast<size_t>(node) >= FLimits.size()) return FOptions.TimeLimit(nullptr);
  double& limit = FLimits[static_cast<size_t>(node)];
  if (limit < 0) limit = FOptions.TimeLimit(FNodes.Node(node));
  return limit;
}

// A worker that runs a step longer than its limit is ended with its group.
void TSupervisedResult::CheckDeadlines(int64_t now, int64_t& next) {
  for (const auto& w : FWorkers) {
    if (!w->Alive || w->TimedOutAfter > 0) continue;
    const TControl& c = w->Channel->Control();
    const uint64_t active = c.Active.load(std::memory_order_relaxed);
    const int32_t node = static_cast<int32_t>(static_cast<uint32_t>(active));
    if (node == -1) continue;
    const double limit = LimitOf(node);
    if (limit <= 0) continue;
    const int64_t since = c.Epoch + static_cast<int64_t>(active >> 32) * 1000000;
    const int64_t deadline = since + static_cast<int64_t>(limit * 1e9);
    if (now < deadline) {
      next = std::min(next, deadline);
      continue;
    }
    w->TimedOutAfter = limit;
    StopWorker(*w);
  }
}

void TSupervisedResult::Wait(int64_t until) {
  auto hasData = [this] {
    for (const auto& w : FWorkers) {
      if (w->Gone || w->Parked) continue;
      const TControl& c = w->Channel->Control();
      if (c.Head.load(std::memory_order_acquire) != c.Tail.load(std::memory_order_relaxed)) return true;
    }
    return false;
  };
  // A worker running quick tests publishes again within microseconds: a
  // short spin saves the sleep and the wake-up.
  for (int i = 0; i < 2000; ++i) {
    if (hasData() || gStopSignal) return;
    __builtin_ia32_pause();
  }
  for (const auto& w : FWorkers)
    if (w->Alive && !w->Parked) w->Channel->Control().ReaderWaiting.store(1, std::memory_order_seq_cst);
  auto awake = [this] {
    for (const auto& w : FWorkers)
      if (w->Alive) w->Channel->Control().ReaderWaiting.store(0, std::memory_order_relaxed);
  };
  if (hasData() || gStopSignal) return awake();

  int64_t now = NowNanos();
  int64_t next = until > 0 ? until : INT64_MAX;
  CheckDeadlines(now, next);
  const int flushIn = ReportText::FlushOpenReports();  // what the reports hold reaches their files
  std::vector<pollfd> fds{{FWakeFd, POLLIN, 0}};
  std::vector<TWorker*> polled;
  bool blind = false;  // a worker without a pidfd: look for its end now and then
  for (const auto& w : FWorkers) {
    if (!w->Alive) continue;
    if (w->PidFd >= 0) {
      fds.push_back({w->PidFd, POLLIN, 0});
      polled.push_back(w.get());
    } else {
      blind = true;
    }
  }
  int64_t timeoutMs = next == INT64_MAX ? -1 : std::max<int64_t>(0, (next - now + 999999) / 1000000);
  if (flushIn >= 0 && (timeoutMs < 0 || flushIn < timeoutMs)) timeoutMs = flushIn;
  if (blind && (timeoutMs < 0 || timeoutMs > 10)) timeoutMs = 10;
  int r = ::poll(fds.data(), fds.size(), static_cast<int>(std::min<int64_t>(timeoutMs, INT32_MAX)));
  awake();
  if (r > 0 && (fds[0].revents & POLLIN)) {
    uint64_t v;
    [[maybe_unused]] ssize_t n = ::read(FWakeFd, &v, sizeof v);
  }
  for (size_t i = 0; i < FWorkers.size(); ++i) {
    TWorker& w = *FWorkers[i];
    int status = 0;
    if (w.Alive && ::waitpid(w.Pid, &status, WNOHANG) == w.Pid) Reap(w, status);
  }
  CheckDeadlines(NowNanos(), next);
}

// The end of a worker's process: its helpers go with it, the units it had
// taken but not begun go back to the queue, and a new worker carries on.
void TSupervisedResult::Reap(TWorker& w, int status) {
  w.Status = status;
  Step(w, TStep::Died);
  if (w.PidFd >= 0) ::close(w.PidFd);
  w.PidFd = -1;
  ::kill(-w.Pid, SIGKILL);
  Tell(-w.Pid);
  ReleaseClaims(w);
}

void TSupervisedResult::ReleaseClaims(TWorker& w) {
  // The units its unread records begin are its, whatever else happened.
  std::vector<uint8_t> begun(FUnits.size(), 0);
  const TControl& c = w.Channel->Control();
  const uint64_t head = c.Head.load(std::memory_order_acquire);
  for (uint64_t at = c.Tail.load(); at < head;) {
    TRecord rec;
    if (!TReplayResult::Parse(std::string_view(w.Channel->Ring() + at % w.Channel->RingSize(), head - at), rec)) break;
    if (rec.Head->Kind == TKind::UnitBegin && rec.Head->Node >= 0 && static_cast<size_t>(rec.Head->Node) < FUnits.size())
      begun[static_cast<size_t>(rec.Head->Node)] = 1;
    at += rec.Head->Size;
  }
  size_t firstFree = SIZE_MAX;
  for (size_t k = 0; k < FUnits.size(); ++k) {
    uint32_t id = FShared.Owners[k].load();
    if (id == w.Id && !FState[k].Begun && !begun[k]) {
      FShared.Owners[k].store(0);  // taken at the moment it died: not run
      id = 0;
    }
    if (id == 0 && firstFree == SIZE_MAX && FUnits[k].Predicted && FState[k].State != TUnitState::Skipped)
      firstFree = k;
  }
  // A new worker carries on from there, once the caller is done with the list of workers.
  if (firstFree != SIZE_MAX) FReplaceFrom = std::min(FReplaceFrom, firstFree);
}

void TSupervisedResult::Replace() {
  const size_t from = std::exchange(FReplaceFrom, SIZE_MAX);
  if (from == SIZE_MAX || FInterrupted || FFinished || FStop) return;
  if (LiveWorkers() >= static_cast<size_t>(FOptions.Jobs)) return;
  if (!Fork(static_cast<uint32_t>(from))) FUnclaimedFrom = std::min(FUnclaimedFrom, from);
}

// ---------------------------------------------------------------------------
// The run

void TSupervisedResult::TestingStarts() {
  Start();
  TTestResult::TestingStarts();
}

void TSupervisedResult::Run(const ITestPtr& test) {
  const int32_t index = test ? FNodes.IndexOf(test.get()) : -1;
  if (index < 0 || !FIsUnit[static_cast<size_t>(index)]) return TTestResult::Run(test);
  size_t k = FCursor;
  while (k < FUnits.size() && FUnits[k].Node.get() != test.get()) ++k;
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
  const ITestPtr node = FUnits[k].Node;
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
      if (gStopSignal) {
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
        u.Crash = FForkError;
        break;
      }
      Wait(0);
    }
    if (FInterrupted) {
      if (TWorker* owner = OwnerOf(k)) Drain(*owner);
      EndOpenNodes(depth, Crash("The program received " + SignalText(FStopSignal) + " during this test"), node);
    } else if (!u.Crash.empty()) {
      EndOpenNodes(depth, Crash(u.Crash, u.TimedOut ? &ETestTimedOut::ClassInfo() : &ETestCrashed::ClassInfo()), node);
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
    ITestPtr at = OpenNodes().empty() ? FRootNode : OpenNodes().back().Node;
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
      if (gStopSignal) {
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
}

void TSupervisedResult::Shutdown() noexcept {
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
  if (FKeeper >= 0) {
    ::close(FKeeper);  // the keeper ends: there is nothing left for it to end
    FKeeper = -1;
    int status;
    while (FKeeperPid > 0 && ::waitpid(FKeeperPid, &status, 0) < 0 && errno == EINTR) {
    }
    FKeeperPid = -1;
  }
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

std::unique_ptr<TTestResult> NewSupervisedResult(ITestPtr root, TSupervisorOptions options) {
  return std::make_unique<TSupervisedResult>(std::move(root), std::move(options));
}

int StoppingSignal(const TTestResult& result) noexcept {
  auto* s = dynamic_cast<const TSupervisedResult*>(&result);
  return s ? s->StopSignal() : 0;
}
}  // namespace TesselSupervisor
