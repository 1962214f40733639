// The command line's protection against tests that end their process: a
// child process per test case (--isolate), and without it a guard that
// finishes the run when a fatal signal or exit would end it half-written.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/Clocks.h"
#include "platform/Format.h"
#include "runners/TesselCommandLine.h"

namespace TesselCommandLine {

using namespace TestFramework;
using Platform::Format;

namespace {

bool gInChild = false;  // this process runs one isolated test case

// ---------------------------------------------------------------------------
// The child's records, sent through a pipe: a kind byte, a 32-bit length and
// the fields (64-bit numbers, length-prefixed texts).

enum TRecordKind : char { rkSuccess = 'P', rkFailure = 'F', rkError = 'E', rkStatus = 'S', rkDone = 'D' };

class TWriter {
 public:
  void Num(uint64_t v) { FData.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void Text(std::string_view s) {
    Num(s.size());
    FData.append(s);
  }
  // Everything or nothing useful: a short write means the parent is gone.
  void Send(int fd, char kind) {
    std::string frame(1, kind);
    uint32_t n = static_cast<uint32_t>(FData.size());
    frame.append(reinterpret_cast<const char*>(&n), sizeof n);
    frame += FData;
    FData.clear();
    for (size_t off = 0; off < frame.size();) {
      ssize_t w = ::write(fd, frame.data() + off, frame.size() - off);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ::_exit(kExitFailure);
      off += static_cast<size_t>(w);
    }
  }

 private:
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
  explicit TChildReporter(int fd) : FFd(fd) {}
  void Status(const ITestPtr&, const std::string& Msg) override {
    FOut.Text(Msg);
    FOut.Send(FFd, rkStatus);
  }
  void TestingStarts() override {}
  void StartTest(const ITestPtr&) override {}
  void AddSuccess(const ITestPtr&) override { FOut.Send(FFd, rkSuccess); }
  void AddError(TTestFailure& e) override { Send(e, rkError); }
  void AddFailure(TTestFailure& f) override { Send(f, rkFailure); }
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult&) override {}
  bool ShouldRunTest(const ITestPtr&) override { return true; }

  void Done(const ITestPtr& test) {
    FOut.Num(static_cast<uint64_t>(test->GetStartTime()));
    FOut.Num(static_cast<uint64_t>(test->GetStopTime()));
    FOut.Send(FFd, rkDone);
  }

 private:
  void Send(TTestFailure& f, char kind) {
    // The class pointer stays valid in the parent: a forked child has the
    // same image at the same addresses. The texts are copied.
    TCodeLocation loc = f.ThrownExceptionAddress();
    FOut.Num(reinterpret_cast<uintptr_t>(f.ThrownExceptionClass()));
    FOut.Text(f.ThrownExceptionName());
    FOut.Text(f.ThrownExceptionMessage());
    FOut.Text(loc.File ? loc.File : "");
    FOut.Text(loc.Function ? loc.Function : "");
    FOut.Num(loc.Line);
    FOut.Num(reinterpret_cast<uintptr_t>(loc.Address));
    FOut.Send(FFd, kind);
  }
  int FFd;
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
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return RecordEnd(test, Format("Cannot make a pipe for the test's process: %s", std::strerror(errno)));
    // Whatever is buffered would otherwise be written twice, by both processes.
    std::fflush(nullptr);
    const int64_t started = Platform::QueryPerformanceCounter();
    pid_t pid = ::fork();
    if (pid < 0) {
      int err = errno;
      ::close(fds[0]);
      ::close(fds[1]);
      return RecordEnd(test, Format("Cannot start a process for the test: %s", std::strerror(err)));
    }
    if (pid == 0) {
      ::close(fds[0]);
      RunHere(test, fds[1]);
    }
    ::close(fds[1]);
    std::string data;
    bool timedOut = Collect(fds[0], pid, data);
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    Replay(test, data, started, timedOut, status);
  }

  [[noreturn]] void RunHere(const ITestPtr& test, int fd) {
    gInChild = true;
    RestoreFatalSignals();
    auto reporter = std::make_shared<TChildReporter>(fd);
    TTestResult child;
    child.FailsIfNoChecksExecuted = FailsIfNoChecksExecuted;
    child.FailsIfMemoryLeaked = FailsIfMemoryLeaked;
    child.IgnoresMemoryLeakInSetUpTearDown = IgnoresMemoryLeakInSetUpTearDown;
    child.AddListener(reporter);
    try {
      child.Run(test);
    } catch (...) {
      // A listener's exception: the parent's listeners never see it, so
      // nothing is lost but the child's own records, already sent.
    }
    reporter->Done(test);
    std::fflush(nullptr);
    ::_exit(0);
  }

  // Reads until the child closes its end; true when the limit ended it.
  bool Collect(int fd, pid_t pid, std::string& data) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(FTimeout));
    char buf[65536];
    while (true) {
      int wait = 100;  // also notices a child that left a grandchild holding the pipe
      if (FTimeout > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
          ::kill(pid, SIGKILL);
          return true;
        }
        wait = static_cast<int>(std::min<int64_t>(left, wait));
      }
      pollfd p{fd, POLLIN, 0};
      int r = ::poll(&p, 1, wait);
      if (r < 0 && errno != EINTR) return false;
      if (r > 0) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) return false;
        if (n > 0) data.append(buf, static_cast<size_t>(n));
        if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
        continue;
      }
      if (r == 0) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
          // Gone, and nothing more within the wait: what a grandchild might
          // still hold open is not the test's record.
          p.revents = 0;
          if (::poll(&p, 1, 0) <= 0) return false;
        }
      }
    }
  }

  void Replay(const ITestPtr& test, const std::string& data, int64_t started, bool timedOut, int status) {
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
      RecordEnd(test, Format("The test ran longer than its time limit of %s s and was stopped", FloatToStr(FTimeout)),
                &ETestTimedOut::ClassInfo());
    else if (WIFSIGNALED(status))
      RecordEnd(test, "The test's process ended with " + SignalText(WTERMSIG(status)));
    else if (WIFEXITED(status))
      RecordEnd(test, Format("The test ended its process (exit status %d) before the test was over", WEXITSTATUS(status)));
    else
      RecordEnd(test, "The test's process ended before the test was over");
  }

  void ReplayFailure(const ITestPtr& test, TReader& in, bool isFailure) {
    uint64_t cls = 0, line = 0, address = 0;
    std::string name, message, file, function;
    if (!in.Num(cls) || !in.Text(name) || !in.Text(message) || !in.Text(file) || !in.Text(function) ||
        !in.Num(line) || !in.Num(address))
      return;
    TCodeLocation loc;
    // The texts live as long as this result, like the static texts they copy.
    if (!file.empty()) loc.File = FTexts.emplace_back(std::move(file)).c_str();
    if (!function.empty()) loc.Function = FTexts.emplace_back(std::move(function)).c_str();
    loc.Line = static_cast<uint32_t>(line);
    loc.Address = reinterpret_cast<const void*>(static_cast<uintptr_t>(address));
    const TClass* klass = reinterpret_cast<const TClass*>(static_cast<uintptr_t>(cls));
    auto record = std::make_unique<TTestFailure>(test, TExceptionInfo{klass, name, message, loc}, loc, std::string_view{});
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
  std::deque<std::string> FTexts;
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
  RestoreFatalSignals();
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
  struct sigaction sa{};
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
