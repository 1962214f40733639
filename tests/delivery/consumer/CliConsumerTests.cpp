// Tests with no main: Tessel::main gives the program its command line.
#include "framework/TestFramework.h"

namespace {

class TCliConsumerTests : public TestFramework::TTestCase {
  TESSEL_TESTCASE(TCliConsumerTests, TestFramework::TTestCase)
 public:
  TESSEL_TEST(AddsUp) { CheckEquals(4, 2 + 2, "sum"); }
  TESSEL_TEST(Subtracts) { CheckEquals(0, 2 - 2, "difference"); }
};

TESSEL_REGISTER("Consumer.Cli", TCliConsumerTests);

}  // namespace
