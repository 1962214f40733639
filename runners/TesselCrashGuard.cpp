#include "runners/TesselCrashGuard.h"

#include <linux/membarrier.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/Format.h"

namespace TesselCrashGuard {

using namespace TestFramework;
using Platform::Format;

std::string SignalText(int sig) {
  const char* abbrev = ::sigabbrev_np(sig);
  const char* desc = ::strsignal(sig);
  if (!abbrev && sig >= SIGRTMIN && sig <= SIGRTMAX) return Format("signal %d (SIGRTMIN+%d: %s)", sig, sig - SIGRTMIN, desc ? desc : "real-time signal");
  return Format("signal %d (SIG%s: %s)", sig, abbrev ? abbrev : "?", desc ? desc : "unknown");
}

std::vector<int> TerminatingSignals() {
  std::vector<int> out;
  for (int sig = 1; sig < 32; ++sig) {
    switch (sig) {
      case SIGKILL: case SIGSTOP:                                    // cannot be caught
      case SIGCHLD: case SIGCONT: case SIGURG: case SIGWINCH:        // ignored by default
      case SIGTSTP: case SIGTTIN: case SIGTTOU:                      // stop the process
        continue;
      default:
        out.push_back(sig);
    }
  }
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) out.push_back(sig);
  return out;
}

namespace {

// What the guard knows of the run: the started tests and suites, innermost
// last, so that it can end them as the run loop would have.
struct TOpen {
  ITestPtr Node;
  bool IsSuite;
};

struct TGuardState {
  TTestResult* Result = nullptr;
  std::vector<TOpen> Open;
  bool Started = false;
  bool Ended = false;
  pid_t Pid = 0;     // the process that armed the guard
  pid_t RunTid = 0;  // the thread that runs the tests and calls the listeners
  std::vector<int> Signals;                 // the ones the guard installed its handler for
  std::vector<struct sigaction> Previous;   // what they had before, in the same order
};

TGuardState gState;
bool gAtExitRegistered = false;
std::atomic<int> gFinisher{0};  // the thread finishing the run, 0 while none is
std::atomic<int> gInCall{0};    // the run's thread is inside a listener call
bool gCheapFences = false;      // the finisher can make the run's thread fence for it

pid_t Tid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

[[noreturn]] void Park() {
  for (;;) ::pause();
}

// The run's thread publishes that it enters or leaves a listener call and
// then looks whether another thread wants to finish the run. The finisher
// does the opposite (request, then look), so one of them always sees the
// other. With membarrier the finisher makes the run's thread's fence happen
// for it, and the run's thread pays only a compiler barrier per call.
void RunThreadFence() {
  if (gCheapFences)
    std::atomic_signal_fence(std::memory_order_seq_cst);
  else
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

void MarkCall(int inCall) {
  gInCall.store(inCall, std::memory_order_relaxed);
  RunThreadFence();
  int finisher = gFinisher.load(std::memory_order_relaxed);
  // The finisher itself calls the listeners to end the run: it goes on.
  if (finisher != 0 && finisher != Tid()) Park();
}

void OnExit();

class THead : public ITestListenerX {
 public:
  void Status(const ITestPtr&, const std::string&) override { MarkCall(1); }
  void TestingStarts() override {
    MarkCall(1);
    gState.Started = true;
  }
  void StartTest(const ITestPtr& test) override {
    MarkCall(1);
    gState.Open.push_back({test, false});
    // Registered once the run has started rather than before: exit destroys
    // the statics made after the handler first, and the listeners make theirs
    // (the program's name, for one) when the run starts.
    if (!gAtExitRegistered) gAtExitRegistered = std::atexit(OnExit) == 0;
  }
  void AddSuccess(const ITestPtr&) override { MarkCall(1); }
  void AddError(TTestFailure&) override { MarkCall(1); }
  void AddFailure(TTestFailure&) override { MarkCall(1); }
  void EndTest(const ITestPtr&) override {
    MarkCall(1);
    Pop(false);
  }
  void StartSuite(const ITestPtr& suite) override {
    MarkCall(1);
    gState.Open.push_back({suite, true});
  }
  void EndSuite(const ITestPtr&) override {
    MarkCall(1);
    Pop(true);
  }
  void TestingEnds(TTestResult&) override {
    MarkCall(1);
    gState.Ended = true;
  }
  // A question writes at most one whole element (a disabled test's line), so
  // it needs no protection, and asking stops at the first "no": the tail
  // would not hear the end of it.
  bool ShouldRunTest(const ITestPtr&) override { return true; }

 private:
  static void Pop(bool suite) {
    // Ends may come unpaired when a listener threw; drop through to the match.
    while (!gState.Open.empty()) {
      bool match = gState.Open.back().IsSuite == suite;
      gState.Open.pop_back();
      if (match) break;
    }
  }
};

class TTail : public ITestListenerX {
 public:
  void Status(const ITestPtr&, const std::string&) override { MarkCall(0); }
  void TestingStarts() override { MarkCall(0); }
  void StartTest(const ITestPtr&) override { MarkCall(0); }
  void AddSuccess(const ITestPtr&) override { MarkCall(0); }
  void AddError(TTestFailure&) override { MarkCall(0); }
  void AddFailure(TTestFailure&) override { MarkCall(0); }
  void EndTest(const ITestPtr&) override { MarkCall(0); }
  void StartSuite(const ITestPtr&) override { MarkCall(0); }
  void EndSuite(const ITestPtr&) override { MarkCall(0); }
  void TestingEnds(TTestResult&) override { MarkCall(0); }
  bool ShouldRunTest(const ITestPtr&) override { return true; }
};

// Takes the right to finish the run for this thread. Another thread that
// already has it will end the process: this one waits for that. When this
// thread is not the run's, it waits (a few seconds at most) until the run's
// thread is out of the listener call it may be in, and keeps it out.
void TakeFinish() {
  const int me = Tid();
  int expected = 0;
  if (!gFinisher.compare_exchange_strong(expected, me)) {
    if (expected != me) Park();
    return;  // this thread again: a second fault while finishing
  }
  if (me == gState.RunTid) return;
  if (gCheapFences) ::syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
  for (int i = 0; i < 5000 && gInCall.load(); ++i) {
    timespec ms{0, 1000000};
    ::nanosleep(&ms, nullptr);
  }
}

// Records the innermost started test as an error and ends the run. Not
// async-signal-safe: after a crash, a report with the test that crashed is
// worth the risk, and a second fault in this thread ends the process with
// the default action.
void FinishRun(const std::string& why) {
  TTestResult* result = gState.Result;
  gState.Result = nullptr;
  if (!result || gState.Ended) return;
  auto guarded = [](auto&& f) {
    try {
      f();
    } catch (...) {
    }
  };
  ITestPtr culprit = gState.Open.empty() ? nullptr : gState.Open.back().Node;
  if (culprit) {
    guarded([&] {
      result->AddError(culprit, TExceptionInfo{&ETestCrashed::ClassInfo(), ETestCrashed::ClassInfo().Name, why, {}},
                       result->FMethodPtr);
    });
  }
  while (!gState.Open.empty()) {
    TOpen open = gState.Open.back();
    size_t before = gState.Open.size();
    guarded([&] { open.IsSuite ? result->EndSuite(open.Node) : result->EndTest(open.Node); });
    if (gState.Open.size() == before) gState.Open.pop_back();  // a listener before the guard threw
  }
  if (gState.Started) guarded([&] { result->TestingEnds(); });
  std::fflush(nullptr);
}

void OnSignal(int sig);

void RestoreSignals() {
  for (size_t i = 0; i < gState.Signals.size(); ++i) {
    struct sigaction now {};
    // A handler the program installed during the run stays.
    if (::sigaction(gState.Signals[i], nullptr, &now) == 0 && (now.sa_flags & SA_SIGINFO) == 0 &&
        now.sa_handler == OnSignal)
      ::sigaction(gState.Signals[i], &gState.Previous[i], nullptr);
  }
  gState.Signals.clear();
  gState.Previous.clear();
}

void OnSignal(int sig) {
  if (::getpid() != gState.Pid || !gState.Result) {
    // A child of a test, or a signal after the run: what the default does.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  TakeFinish();
  if (gState.Result) FinishRun("The program received " + SignalText(sig) + " during this test");
  ::signal(sig, SIG_DFL);
  ::raise(sig);  // delivered when the handler returns
}

void OnExit() {
  if (::getpid() != gState.Pid || !gState.Result) return;
  TakeFinish();
  FinishRun("The test called exit and would have ended the program before the run was over");
  // exit's own status may say success; an unfinished run is not one.
  ::_exit(1);
}

void InstallSignals() {
  // A stack of its own: a stack overflow leaves none to run the handler on.
  static void* altStack = nullptr;
  constexpr size_t kAltStackSize = 1 << 20;
  if (!altStack) {
    void* p = ::mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    altStack = p == MAP_FAILED ? nullptr : p;
  }
  if (altStack) {
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = kAltStackSize;
    ::sigaltstack(&ss, nullptr);
  }
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int sig : TerminatingSignals()) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) != 0) continue;
    // Only where the program left the default: its own handlers and the
    // signals it ignores keep their meaning.
    if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
    if (::sigaction(sig, &sa, nullptr) != 0) continue;
    gState.Signals.push_back(sig);
    gState.Previous.push_back(old);
  }
}

}  // namespace

TCrashGuard::TCrashGuard(TTestResult& result) : FResult(result) {
  // A run inside a test of a guarded run: the outer guard records a crash
  // against the test that started the inner run.
  if (gState.Result) return;
  FActive = true;
  static const bool cheap = ::syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
  gCheapFences = cheap;
  gState.Open.clear();
  gState.Started = gState.Ended = false;
  gState.Pid = ::getpid();
  gState.RunTid = Tid();
  gFinisher.store(0);
  gInCall.store(0);
  result.AddListener(std::make_shared<THead>());
  gState.Result = &result;
  InstallSignals();
}

void TCrashGuard::Seal() {
  if (!FActive || FSealed) return;
  FResult.AddListener(std::make_shared<TTail>());
  FSealed = true;
}

TCrashGuard::~TCrashGuard() {
  if (!FActive) return;
  RestoreSignals();
  gState.Result = nullptr;
  gState.Open.clear();
}

std::unique_ptr<TTestResult> RunGuarded(ITestPtr suite, const std::vector<ITestListenerPtr>& listeners) {
  auto result = std::make_unique<TTestResult>();
  {
    TCrashGuard guard(*result);
    for (const ITestListenerPtr& l : listeners) result->AddListener(l);
    guard.Seal();
    if (suite) suite->Run(*result);
  }
  return result;
}

}  // namespace TesselCrashGuard
