// Test cases that end their process in every way a test can, beside cases
// that pass, fail, print, fork, hang and start helpers. Run through the
// Tessel::main entry point by crash_check.sh and supervisor_check.sh, with
// --filter choosing the cases.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>

#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"
#include "runners/TesselCommandLine.h"

using namespace TestFramework;

namespace {

volatile int* volatile gNowhere = nullptr;

// Deep enough to overflow any stack; the volatile buffer keeps every frame.
int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  return depth > 0 ? Recurse(depth + 1) + frame[0] : 0;
}

struct TThrowsOnDestruction {
  ~TThrowsOnDestruction() noexcept(false) { throw std::runtime_error("thrown by a destructor"); }
};

// A process that stays until it is killed, named so that the checks can count it.
void StartHelper() {
  if (::fork() == 0) {
    ::prctl(PR_SET_NAME, "tsl-helper");
    for (;;) ::pause();
  }
}

void Burn(std::chrono::microseconds cpu) {
  timespec start{}, now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  volatile uint64_t x = 0;
  do {
    for (int i = 0; i < 1000; ++i) x = x * 31 + 7;
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  } while ((now.tv_sec - start.tv_sec) * 1000000 + (now.tv_nsec - start.tv_nsec) / 1000 < cpu.count());
}

class TCalmTests : public TTestCase {
  TESSEL_TESTCASE(TCalmTests, TTestCase)
 public:
  TESSEL_TEST(TestPasses) { CheckEquals(2, 1 + 1); }
  TESSEL_TEST(TestFails) { CheckEquals(3, 1 + 1, "sum"); }
  TESSEL_TEST(TestAlsoPasses) { Check(true); }
};

// Output of every kind a test makes: it must keep its place among the runner's lines.
class TPrintTests : public TTestCase {
  TESSEL_TESTCASE(TPrintTests, TTestCase)
 public:
  void SetUp() override { std::printf("set-up of %s\n", GetName().c_str()); }
  TESSEL_TEST(TestPrintf) {
    std::printf("printf line\n");
    Status("a status line");
    std::printf("printf after the status\n");
    Check(true);
  }
  TESSEL_TEST(TestCout) {
    std::cout << "cout line" << std::endl;
    std::cout << "cout without a line end";
    Check(true);
  }
  TESSEL_TEST(TestWrite) {
    static const char text[] = "write(1) line\n";
    Check(::write(1, text, sizeof text - 1) > 0);
  }
  TESSEL_TEST(TestStderr) {
    std::fprintf(stderr, "stderr line\n");
    static const char text[] = "write(2) line\n";
    Check(::write(2, text, sizeof text - 1) > 0);
  }
  TESSEL_TEST(TestPrintsAndFails) {
    std::printf("before the failure\n");
    Fail("failed after printing");
  }
  void TearDown() override { std::printf("tear-down of %s\n", GetName().c_str()); }
};

// Every way a test ends its process. The names say which.
class TDeathTests : public TTestCase {
  TESSEL_TESTCASE(TDeathTests, TTestCase)
 public:
  TESSEL_TEST(TestSegfault) { *gNowhere = 1; }
  TESSEL_TEST(TestAbort) { std::abort(); }
  TESSEL_TEST(TestTrap) { __builtin_trap(); }
  TESSEL_TEST(TestFloatingPoint) { ::raise(SIGFPE); }
  TESSEL_TEST(TestBusError) {
    // A mapping past the end of its file.
    FILE* f = std::tmpfile();
    Check(f != nullptr);
    auto* p = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, ::fileno(f), 0));
    Check(p != MAP_FAILED);
    Check(p[0] == 1);
  }
  TESSEL_TEST(TestBrokenPipe) {
    int sv[2];
    Check(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) == 0);
    ::close(sv[1]);
    for (;;) ::write(sv[0], "x", 1);  // the reader is gone: SIGPIPE
  }
  TESSEL_TEST(TestAlarm) {
    ::ualarm(1000, 0);
    for (;;) ::pause();
  }
  TESSEL_TEST(TestHangUp) { ::kill(::getpid(), SIGHUP); }
  TESSEL_TEST(TestQuit) { ::kill(::getpid(), SIGQUIT); }
  TESSEL_TEST(TestUser1) { ::kill(::getpid(), SIGUSR1); }
  TESSEL_TEST(TestCpuLimit) { ::kill(::getpid(), SIGXCPU); }
  TESSEL_TEST(TestVirtualAlarm) {
    itimerval t{};
    t.it_value.tv_usec = 1000;
    ::setitimer(ITIMER_VIRTUAL, &t, nullptr);
    for (uint64_t x = 0;; ++x) asm volatile("" : "+r"(x));  // CPU time until the timer fires
  }
  TESSEL_TEST(TestTerminated) { ::kill(::getpid(), SIGTERM); }
  TESSEL_TEST(TestExit0) { std::exit(0); }
  TESSEL_TEST(TestExit3) { std::exit(3); }
  TESSEL_TEST(TestUnderscoreExit3) { ::_exit(3); }
  TESSEL_TEST(TestThrowFromDestructor) {
    // A second exception while the first unwinds: std::terminate.
    TThrowsOnDestruction t;
    throw std::logic_error("first");
  }
  TESSEL_TEST(TestStackOverflow) { Check(Recurse(1) != 0); }
  TESSEL_TEST(TestThreadStackOverflow) {
    std::thread t([] { Recurse(1); });
    t.join();
  }
  TESSEL_TEST(TestThreadSegfault) {
    std::thread t([] { *gNowhere = 2; });
    t.join();
  }
  TESSEL_TEST(TestKilled) { ::kill(::getpid(), SIGKILL); }
};

// The death-test pattern: a child the test forks ends in some way while
// the test waits for it; the test and the run go on.
class TForkTests : public TTestCase {
  TESSEL_TESTCASE(TForkTests, TTestCase)
 public:
  TESSEL_TEST(TestChildExits) { CheckEquals(7, Child([] { std::exit(7); }), "exit status"); }
  TESSEL_TEST(TestChildAborts) { CheckEquals(128 + SIGABRT, Child([] { std::abort(); }), "signal"); }
  TESSEL_TEST(TestChildCrashes) { CheckEquals(128 + SIGSEGV, Child([] { *gNowhere = 3; }), "signal"); }

 private:
  // The child's exit status, or 128 + its signal.
  template <class F>
  int Child(F f) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
      f();
      ::_exit(99);
    }
    int status = 0;
    CheckEquals(pid, ::waitpid(pid, &status, 0), "waitpid");
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

class THangTests : public TTestCase {
  TESSEL_TESTCASE(THangTests, TTestCase)
 public:
  TESSEL_TEST(TestHangs) {
    for (;;) ::pause();
  }
  TESSEL_TEST(TestHangsWithItsOwnLimit) {
    for (;;) ::pause();
  }
  TESSEL_TEST(TestStartsHelperAndHangs) {
    StartHelper();
    for (;;) ::pause();
  }
  // For a kill from outside: the test's process id goes to $SCENARIO_PID_FILE.
  TESSEL_TEST(TestWaitsToBeKilled) {
    if (const char* file = std::getenv("SCENARIO_PID_FILE")) {
      std::string pid = std::to_string(::getpid());
      int fd = ::open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
      Check(fd >= 0 && ::write(fd, pid.data(), pid.size()) > 0 && ::close(fd) == 0, file);
    }
    for (;;) ::pause();
  }
};

// A suite whose one-time set-up never ends.
class THangingSetup : public TestExtensions::TTestSetup {
  TESSEL_DECORATOR_CLASS(THangingSetup, TestExtensions::TTestSetup)
  void SetUp() override {
    for (;;) ::pause();
  }
};

class TUnderHangingSetup : public TTestCase {
  TESSEL_TESTCASE(TUnderHangingSetup, TTestCase)
 public:
  TESSEL_TEST(TestNeverRuns) { Check(true); }
};

// A crash on another thread while the run's thread goes on through many
// tests and writes the reports.
class TBackgroundCrash : public TTestCase {
  TESSEL_TESTCASE(TBackgroundCrash, TTestCase)
 public:
  TESSEL_TEST(TestCrashesLater) {
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      *gNowhere = 4;
    }).detach();
    Check(true);
  }
};

class TQuick : public TTestCase {
  TESSEL_TESTCASE(TQuick, TTestCase)
 public:
  TESSEL_TEST(TestQuick) { CheckEquals(1, 1); }
};

// Tests that each burn 2 ms of CPU, for runs side by side.
class TBurnTests : public TTestCase {
  TESSEL_TESTCASE(TBurnTests, TTestCase)
 public:
  TESSEL_TEST(TestBurn1) { Burn(std::chrono::microseconds(2000)); }
  TESSEL_TEST(TestBurn2) { Burn(std::chrono::microseconds(2000)); }
  TESSEL_TEST(TestBurn3) { Burn(std::chrono::microseconds(2000)); }
  TESSEL_TEST(TestBurn4) { Burn(std::chrono::microseconds(2000)); }
  TESSEL_TEST(TestBurnFails) {
    Burn(std::chrono::microseconds(2000));
    CheckEquals(1, 2, "burnt");
  }
};

class TAfterTests : public TTestCase {
  TESSEL_TESTCASE(TAfterTests, TTestCase)
 public:
  TESSEL_TEST(TestRunsAfterwards) { Check(true); }
};

// SCENARIO_MANY=N cases (3,000 at least): enough that a run outlasts the
// background thread's crash, however fast its worker runs them.
ITestPtr ManyQuickTests() {
  TTestArray tests;
  const int count = std::max(3000, std::atoi(std::getenv("SCENARIO_MANY")));
  for (int i = 0; i < count; ++i) tests.push_back(std::make_shared<TQuick>("TestQuick"));
  return TestSuite("TQuick", tests);
}

}  // namespace

TESSEL_TIMEOUT(THangTests, TestHangsWithItsOwnLimit, 1);

TESSEL_REGISTER("Calm", TCalmTests);
TESSEL_REGISTER("Print", TPrintTests);
TESSEL_REGISTER("Death", TDeathTests);
TESSEL_REGISTER("Fork", TForkTests);
TESSEL_REGISTER("Hang", THangTests);
[[maybe_unused]] static const bool gHangingSetup =
    (RegisterTest("HangingSetup", std::make_shared<THangingSetup>(TUnderHangingSetup::Suite())), true);
TESSEL_REGISTER("Background", TBackgroundCrash);
// Only when asked: three thousand cases of one name would crowd every listing.
[[maybe_unused]] static const bool gMany =
    std::getenv("SCENARIO_MANY") && (RegisterTest("Many", ManyQuickTests()), true);
TESSEL_REGISTER("Burn", TBurnTests);
TESSEL_REGISTER("Later", TAfterTests);
