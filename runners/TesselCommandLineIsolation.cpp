// The command line's protection against tests that end their process: a
// child process per test case (--isolate), and without it a guard that
// finishes the run when a fatal signal or exit would end it half-written.
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include "platform/Clocks.h"
#include "platform/Format.h"
#include "runners/TesselCommandLine.h"

namespace TesselCommandLine {

using namespace TestFramework;
using Platform::Format;

namespace {

bool gInChild = false;             // this process runs one isolated test case
volatile pid_t gRunningChild = 0;  // the isolated test case running now, if any

// Per-method limits, by class and method name.
std::map<std::pair<const TClass*, std::string>, double>& Timeouts() {
  static auto* timeouts = new std::map<std::pair<const TClass*, std::string>, double>();  // outlives exit
  return *timeouts;
}

// ---------------------------------------------------------------------------
// The child's records, written into memory shared with the parent: a kind
// byte, a 32-bit length and the fields (64-bit numbers, length-prefixed
// texts). A record counts once Used covers it, so a crash in the middle of
// writing one leaves the ones before it intact. Shared memory rather than a
// pipe: the parent then wakes once per test, when the child ends.

enum TRecordKind : char { rkSuccess = 'P', rkFailure = 'F', rkError = 'E', rkStatus = 'S', rkDone = 'D' };

struct TChannel {
  uint64_t Used;
  char Data[1];
};
constexpr size_t kChannelSize = size_t(16) << 20;  // reserved, not committed: pages come as they are written
constexpr size_t kChannelRoom = kChannelSize - offsetof(TChannel, Data);

class TWriter {
 public:
  explicit TWriter(TChannel* channel) : FChannel(channel) {}
  void Num(uint64_t v) { FData.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void Text(std::string_view s) {
    Num(s.size());
    FData.append(s);
  }
  // Room left for a record's fields.
  size_t Room() const { return kChannelRoom - FChannel->Used - 5 - FData.size(); }
  void Send(char kind) {
    uint64_t used = FChannel->Used;
    if (kChannelRoom - used < 5 + FData.size()) {  // a record that can never fit is dropped
      FData.clear();
      return;
    }
    char* p = FChannel->Data + used;
    p[0] = kind;
    uint32_t n = static_cast<uint32_t>(FData.size());
    std::memcpy(p + 1, &n, sizeof n);
    std::memcpy(p + 5, FData.data(), FData.size());
    __atomic_store_n(&FChannel->Used, used + 5 + FData.size(), __ATOMIC_RELEASE);
    FData.clear();
  }

 private:
  TChannel* FChannel;
  std::string FData;
};

class TReader {
 public:
  TReader(const char* p, size_t n) : FPos(p), FEnd(p + n) {}
  bool Num(uint64_t& v) {
    if (static_cast<size_t>(FEnd - FPos) < sizeof v) return false;
    std::memcpy(&v, FPos, sizeof v);
    FPos += sizeof v;
    return true;
  }
  bool Text(std::string& s) {
    uint64_t n = 0;
    if (!Num(n) || n > static_cast<uint64_t>(FEnd - FPos)) return false;
    s.assign(FPos, n);
    FPos += n;
    return true;
  }

 private:
  const char* FPos;
  const char* FEnd;
};

// Listens to the test case in the child and sends what the parent replays.
class TChildReporter : public ITestListener {
 public:
  explicit TChildReporter(TChannel* channel) : FOut(channel) {}
  void Status(const ITestPtr&, const std::string& Msg) override {
    FOut.Text(Msg);
    FOut.Send(rkStatus);
  }
  void TestingStarts() override {}
  void StartTest(const ITestPtr&) override {}
  void AddSuccess(const ITestPtr&) override { FOut.Send(rkSuccess); }
  void AddError(TTestFailure& e) override { Send(e, rkError); }
  void AddFailure(TTestFailure& f) override { Send(f, rkFailure); }
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult&) override {}
  bool ShouldRunTest(const ITestPtr&) override { return true; }

  void Done(const ITestPtr& test) {
    FOut.Num(static_cast<uint64_t>(test->GetStartTime()));
    FOut.Num(static_cast<uint64_t>(test->GetStopTime()));
    FOut.Send(rkDone);
  }

 private:
  void Send(TTestFailure& f, char kind) {
    // The class pointer stays valid in the parent: a forked child has the
    // same image at the same addresses. The texts are copied.
    TCodeLocation loc = f.ThrownExceptionAddress();
    std::string file = loc.File ? loc.File : "", function = loc.Function ? loc.Function : "";
    std::string name = f.ThrownExceptionName(), message = f.ThrownExceptionMessage();
    FOut.Num(reinterpret_cast<uintptr_t>(f.ThrownExceptionClass()));
    FOut.Text(name);
    // A message too long for what is left of the channel is cut, not lost.
    size_t fixed = 7 * sizeof(uint64_t) + name.size() + file.size() + function.size() + 64;
    size_t room = FOut.Room() > fixed ? FOut.Room() - fixed : 0;
    if (message.size() > room) {
      std::string note = Format(" [cut: the message had %d bytes]", static_cast<int64_t>(message.size()));
      message.resize(room > note.size() ? room - note.size() : 0);
      message += note;
    }
    FOut.Text(message);
    FOut.Text(file);
    FOut.Text(function);
    FOut.Num(loc.Line);
    FOut.Num(reinterpret_cast<uintptr_t>(loc.Address));
    FOut.Send(kind);
  }
  TWriter FOut;
};

std::string SignalText(int sig) {
  const char* abbrev = ::sigabbrev_np(sig);
  const char* desc = ::strsignal(sig);
  return Format("signal %d (SIG%s: %s)", sig, abbrev ? abbrev : "?", desc ? desc : "unknown");
}

void RestoreFatalSignals();

// ---------------------------------------------------------------------------
// A result that forks for every test case.

class TIsolatingResult : public TTestResult {
 public:
  explicit TIsolatingResult(double timeoutSeconds) : FTimeout(timeoutSeconds) {}

  void Run(const ITestPtr& test) override {
    if (!IsTestMethod(test)) return TTestResult::Run(test);
    if (ShouldStop() || !ShouldRunTest(test)) return;
    StartTest(test);
    try {
      RunInChild(test);
    } catch (...) {
      EndTest(test);
      throw;
    }
    EndTest(test);
  }

 private:
  void RunInChild(const ITestPtr& test) {
    if (!FChannel) {
      void* p =
          ::mmap(nullptr, kChannelSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      if (p == MAP_FAILED)
        return RecordEnd(test, Format("Cannot share memory with the test's process: %s", std::strerror(errno)));
      FChannel = static_cast<TChannel*>(p);
    }
    FChannel->Used = 0;
    // Whatever is buffered would otherwise be written twice, by both processes.
    std::fflush(nullptr);
    const int64_t started = Platform::QueryPerformanceCounter();
    pid_t pid = ::fork();
    if (pid < 0) return RecordEnd(test, Format("Cannot start a process for the test: %s", std::strerror(errno)));
    if (pid == 0) RunHere(test);
    gRunningChild = pid;
    const double limit = TestTimeout(test, FTimeout);
    bool timedOut = limit > 0 && WaitWithLimit(pid, limit);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    gRunningChild = 0;
    std::string_view data(FChannel->Data, __atomic_load_n(&FChannel->Used, __ATOMIC_ACQUIRE));
    Replay(test, data, started, timedOut, limit, status);
  }

  [[noreturn]] void RunHere(const ITestPtr& test) {
    gInChild = true;
    auto reporter = std::make_shared<TChildReporter>(FChannel);
    TTestResult child;
    child.FailsIfNoChecksExecuted = FailsIfNoChecksExecuted;
    child.FailsIfMemoryLeaked = FailsIfMemoryLeaked;
    child.IgnoresMemoryLeakInSetUpTearDown = IgnoresMemoryLeakInSetUpTearDown;
    child.AddListener(reporter);
    try {
      child.Run(test);
    } catch (...) {
      // A listener's exception: the parent's listeners never see it, so
      // nothing is lost but the child's own records, already written.
    }
    reporter->Done(test);
    std::fflush(nullptr);
    ::_exit(0);
  }

  // Waits for the child's end at most limit seconds; true when it had to
  // be killed. The child is not reaped here.
  bool WaitWithLimit(pid_t pid, double limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit));
    int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    while (true) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        ::kill(pid, SIGKILL);
        if (pidfd >= 0) ::close(pidfd);
        return true;
      }
      if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left, INT32_MAX)));
        if (r > 0) break;
      } else {
        // Kernels before 5.3 have no pidfd: look every millisecond.
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
          break;
        ::usleep(1000);
      }
    }
    if (pidfd >= 0) ::close(pidfd);
    return false;
  }

  void Replay(const ITestPtr& test, std::string_view data, int64_t started, bool timedOut, double limit, int status) {
    bool done = false, passed = false;
    size_t pos = 0;
    while (data.size() - pos >= 5) {
      char kind = data[pos];
      uint32_t n = 0;
      std::memcpy(&n, data.data() + pos + 1, sizeof n);
      if (data.size() - pos - 5 < n) break;  // cut off by the end of the process
      TReader in(data.data() + pos + 5, n);
      pos += 5 + n;
      if (kind == rkSuccess) {
        passed = true;
      } else if (kind == rkStatus) {
        std::string msg;
        if (in.Text(msg)) Status(test, msg);
      } else if (kind == rkDone) {
        uint64_t start = 0, stop = 0;
        if (in.Num(start) && in.Num(stop)) {
          test->SetStartTime(static_cast<int64_t>(start));
          test->SetStopTime(static_cast<int64_t>(stop));
        }
        done = true;
      } else if (kind == rkFailure || kind == rkError) {
        ReplayFailure(test, in, kind == rkFailure);
      }
    }
    if (done && !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      if (passed) AddSuccess(test);
      return;
    }
    test->SetStartTime(started);
    test->SetStopTime(Platform::QueryPerformanceCounter());
    if (timedOut)
      RecordEnd(test, Format("The test ran longer than its time limit of %s s and was stopped", FloatToStr(limit)),
                &ETestTimedOut::ClassInfo());
    else if (WIFSIGNALED(status))
      RecordEnd(test, "The test's process ended with " + SignalText(WTERMSIG(status)));
    else if (WIFEXITED(status))
      RecordEnd(test,
                Format("The test ended its process (exit status %d) before the test was over", WEXITSTATUS(status)));
    else
      RecordEnd(test, "The test's process ended before the test was over");
  }

  void ReplayFailure(const ITestPtr& test, TReader& in, bool isFailure) {
    uint64_t cls = 0, line = 0, address = 0;
    std::string name, message, file, function;
    if (!in.Num(cls) || !in.Text(name) || !in.Text(message) || !in.Text(file) || !in.Text(function) || !in.Num(line) ||
        !in.Num(address))
      return;
    TCodeLocation loc;
    // The texts live as long as this result, like the static texts they copy.
    if (!file.empty()) loc.File = FTexts.emplace_back(std::move(file)).c_str();
    if (!function.empty()) loc.Function = FTexts.emplace_back(std::move(function)).c_str();
    loc.Line = static_cast<uint32_t>(line);
    loc.Address = reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
    const TClass* klass = reinterpret_cast<const TClass*>(static_cast<uintptr_t>(cls));
    auto record =
        std::make_unique<TTestFailure>(test, TExceptionInfo{klass, name, message, loc}, loc, std::string_view{});
    TTestFailure& f = *record;
    (isFailure ? FFailures : FErrors).push_back(std::move(record));
    for (const auto& l : FListeners) isFailure ? l->AddFailure(f) : l->AddError(f);
    if (klass && klass->InheritsFrom(&EStopTestsFailure::ClassInfo())) Stop();
  }

  void RecordEnd(const ITestPtr& test, const std::string& msg, const TClass* klass = &ETestCrashed::ClassInfo()) {
    // The child knew where the test method is; here it is looked up again.
    TCodeLocation where = FMethodPtr;
    if (auto* tc = dynamic_cast<TTestCase*>(test.get())) where = tc->Method().Location();
    AddError(test, TExceptionInfo{klass, klass->Name, msg, {}}, where);
  }

  double FTimeout;
  TChannel* FChannel = nullptr;  // mapped on first use, for the result's life
  std::deque<std::string> FTexts;

 public:
  ~TIsolatingResult() override {
    if (FChannel) ::munmap(FChannel, kChannelSize);
  }
};

// ---------------------------------------------------------------------------
// The guard of a run in this process.

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTERM, SIGINT};

// What the guard knows of the run: the started tests and suites, innermost
// last, so that it can end them as the run loop would have.
class TRunTracker : public ITestListenerX {
 public:
  void Status(const ITestPtr&, const std::string&) override {}
  void TestingStarts() override { FStarted = true; }
  void StartTest(const ITestPtr& test) override;
  void AddSuccess(const ITestPtr&) override {}
  void AddError(TTestFailure&) override {}
  void AddFailure(TTestFailure&) override {}
  void EndTest(const ITestPtr&) override { Pop(false); }
  void StartSuite(const ITestPtr& suite) override { FOpen.push_back({suite, true}); }
  void EndSuite(const ITestPtr&) override { Pop(true); }
  void TestingEnds(TTestResult&) override { FEnded = true; }
  bool ShouldRunTest(const ITestPtr&) override { return true; }

  struct TOpen {
    ITestPtr Node;
    bool IsSuite;
  };
  std::vector<TOpen> FOpen;
  bool FStarted = false;
  bool FEnded = false;

 private:
  void Pop(bool suite) {
    // Ends may come unpaired when a listener threw; drop through to the match.
    while (!FOpen.empty()) {
      bool match = FOpen.back().IsSuite == suite;
      FOpen.pop_back();
      if (match) break;
    }
  }
};

TTestResult* gGuardedResult = nullptr;
bool gAtExitRegistered = false;
void OnExit();

void TRunTracker::StartTest(const ITestPtr& test) {
  FOpen.push_back({test, false});
  // Registered once the run has started rather than before: exit destroys
  // the statics made after the handler first, and the listeners make theirs
  // (the program's name, for one) when the run starts.
  if (!gAtExitRegistered) gAtExitRegistered = std::atexit(OnExit) == 0;
}

std::shared_ptr<TRunTracker> gTracker;
struct sigaction gPrevious[std::size(kFatalSignals)];
bool gHandlersInstalled = false;
volatile sig_atomic_t gFinishing = 0;

// Records the innermost started test as an error and ends the run. Not
// async-signal-safe: after a crash, a report with the test that crashed is
// worth the risk, and a second fault ends the process with the default action.
void FinishRun(const std::string& why) {
  TTestResult* result = gGuardedResult;
  std::shared_ptr<TRunTracker> tracker = gTracker;
  gGuardedResult = nullptr;
  if (!result || !tracker || tracker->FEnded) return;
  auto guarded = [](auto&& f) {
    try {
      f();
    } catch (...) {
    }
  };
  ITestPtr culprit;
  for (auto it = tracker->FOpen.rbegin(); it != tracker->FOpen.rend() && !culprit; ++it) culprit = it->Node;
  if (culprit) {
    guarded([&] {
      result->AddError(culprit, TExceptionInfo{&ETestCrashed::ClassInfo(), ETestCrashed::ClassInfo().Name, why, {}},
                       result->FMethodPtr);
    });
  }
  while (!tracker->FOpen.empty()) {
    TRunTracker::TOpen open = tracker->FOpen.back();
    size_t before = tracker->FOpen.size();
    guarded([&] { open.IsSuite ? result->EndSuite(open.Node) : result->EndTest(open.Node); });
    if (tracker->FOpen.size() == before) tracker->FOpen.pop_back();  // a listener before the tracker threw
  }
  if (tracker->FStarted) guarded([&] { result->TestingEnds(); });
  std::fflush(nullptr);
}

void OnFatalSignal(int sig) {
  if (gInChild) {
    // The parent records it from the child's status.
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  RestoreFatalSignals();
  // A run stopped from outside (SIGTERM, SIGINT) takes its running test with it.
  if (gRunningChild > 0) ::kill(gRunningChild, SIGKILL);
  if (!gFinishing) {
    gFinishing = 1;
    FinishRun("The program received " + SignalText(sig) + " during this test");
  }
  ::raise(sig);
}

void OnExit() {
  if (gInChild || !gGuardedResult || gFinishing) return;
  gFinishing = 1;
  RestoreFatalSignals();
  FinishRun("The test called exit and would have ended the program before the run was over");
  // exit's own status may say success; an unfinished run is not one.
  ::_exit(kExitFailure);
}

void InstallFatalSignals() {
  if (gHandlersInstalled) return;
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
  sa.sa_handler = OnFatalSignal;
  sa.sa_flags = SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (size_t i = 0; i < std::size(kFatalSignals); ++i) ::sigaction(kFatalSignals[i], &sa, &gPrevious[i]);
  gHandlersInstalled = true;
}

void RestoreFatalSignals() {
  if (!gHandlersInstalled) return;
  gHandlersInstalled = false;
  for (size_t i = 0; i < std::size(kFatalSignals); ++i) ::sigaction(kFatalSignals[i], &gPrevious[i], nullptr);
}

}  // namespace

void SetTestTimeout(const TClass& testClass, const std::string& method, double seconds) {
  if (!(seconds > 0)) throw ETesselException(Format("The time limit of %s.%s must be above 0", testClass.Name, method));
  Timeouts()[{&testClass, method}] = seconds;
}

double TestTimeout(const ITestPtr& test, double otherwise) {
  auto& timeouts = Timeouts();
  if (timeouts.empty()) return otherwise;
  // The class that declared the method or any class above it.
  for (const TClass* c = &test->ClassType(); c; c = c->Parent) {
    auto it = timeouts.find({c, test->GetName()});
    if (it != timeouts.end()) return it->second;
  }
  return otherwise;
}

std::unique_ptr<TTestResult> NewIsolatingResult(double timeoutSeconds) {
  return std::make_unique<TIsolatingResult>(timeoutSeconds);
}

ITestListenerPtr ArmCrashGuard(TTestResult& result) {
  gTracker = std::make_shared<TRunTracker>();
  gGuardedResult = &result;
  gFinishing = 0;
  InstallFatalSignals();
  return gTracker;
}

void DisarmCrashGuard() noexcept {
  RestoreFatalSignals();
  gGuardedResult = nullptr;
  gTracker.reset();
}

}  // namespace TesselCommandLine
