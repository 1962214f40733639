// A test that ends the whole program, as code under test sometimes does.
// With exit, Tessel records the test's error and fails the program; with
// std::_Exit nothing runs in the process any more, and only a test case run
// in a process of its own (--isolate) is recorded as ended early.
#include <cstdlib>

#include "framework/TestFramework.h"

namespace {

class TExitsEarlyTests : public TestFramework::TTestCase {
  TESSEL_TESTCASE(TExitsEarlyTests, TestFramework::TTestCase)
 public:
  TESSEL_TEST(Passes) { CheckEquals(4, 2 + 2, "sum"); }
  TESSEL_TEST(EndsTheProgram) {
#ifdef TESSEL_EXAMPLE_QUIET_EXIT
    std::_Exit(0);
#else
    std::exit(0);
#endif
  }
  TESSEL_TEST(NeverRuns) { CheckEquals(0, 2 - 2, "difference"); }
};

TESSEL_REGISTER("ExitsEarly", TExitsEarlyTests);

}  // namespace
