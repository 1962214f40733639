// A test that ends its process, as code under test sometimes does. Run in
// one process (--in-process), exit is recorded by the program's own guard,
// which fails the program; std::_Exit runs nothing more in that process, and
// only a run whose tests are in worker processes (the default) records it.
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
