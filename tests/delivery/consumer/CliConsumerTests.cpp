// Tests with no main: Tessel's main gives the program its command line. One
// test fails on purpose, so a discovery whose tests pass whatever the program
// says does not pass the delivery check.
#include "framework/TestFramework.h"

namespace {

class TCliConsumerTests : public TestFramework::TTestCase {
  TESSEL_TESTCASE(TCliConsumerTests, TestFramework::TTestCase)
 public:
  TESSEL_TEST(AddsUp) { CheckEquals(4, 2 + 2, "sum"); }
  TESSEL_TEST(Subtracts) { CheckEquals(0, 2 - 2, "difference"); }
  TESSEL_TEST(FailsOnPurpose) { CheckEquals(5, 2 + 2, "planned"); }
};

TESSEL_REGISTER("Consumer.Cli", TCliConsumerTests);

}  // namespace
