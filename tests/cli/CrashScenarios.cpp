// Test cases that end their process in every way a test can, beside cases
// that pass and fail normally. Run through the Tessel::main entry point by
// cli_crash_check.sh, with and without --isolate, and with --filter choosing
// the way to crash.
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

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

class TCalmTests : public TTestCase {
  TESSEL_TESTCASE(TCalmTests, TTestCase)
 public:
  TESSEL_TEST(TestPasses) { CheckEquals(2, 1 + 1); }
  TESSEL_TEST(TestFails) { CheckEquals(3, 1 + 1, "sum"); }
  TESSEL_TEST(TestAlsoPasses) { Check(true); }
};

class TCrashTests : public TTestCase {
  TESSEL_TESTCASE(TCrashTests, TTestCase)
 public:
  TESSEL_TEST(TestSegfault) { *gNowhere = 1; }
  TESSEL_TEST(TestAbort) { std::abort(); }
  TESSEL_TEST(TestExit0) { std::exit(0); }
  TESSEL_TEST(TestHang) {
    for (;;) ::pause();
  }
  TESSEL_TEST(TestHangWithItsOwnLimit) {
    for (;;) ::pause();
  }
  TESSEL_TEST(TestThrowFromDestructor) {
    // A second exception while the first unwinds: std::terminate.
    TThrowsOnDestruction t;
    throw std::logic_error("first");
  }
  TESSEL_TEST(TestStackOverflow) { Check(Recurse(1) != 0); }
};

class TAfterTests : public TTestCase {
  TESSEL_TESTCASE(TAfterTests, TTestCase)
 public:
  TESSEL_TEST(TestRunsAfterwards) { Check(true); }
};

}  // namespace

TESSEL_TIMEOUT(TCrashTests, TestHangWithItsOwnLimit, 1);

TESSEL_REGISTER("Calm", TCalmTests);
TESSEL_REGISTER("Crash", TCrashTests);
TESSEL_REGISTER("Later", TAfterTests);
