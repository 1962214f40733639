// A program whose tests fail in known ways. CTest compares its whole output
// with core/expected/known_failures.txt, so a run loop that stopped
// recording failures could not pass the suite vacuously.
#include <stdexcept>

#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

class TKnown : public TTestCase {
  TESSEL_TESTCASE(TKnown, TTestCase)
 public:
  TESSEL_TEST(TestPasses) { CheckEquals(4, 2 + 2); }
  TESSEL_TEST(TestFails) { CheckEquals(std::string("total"), std::string("subtotal"), "label"); }
  TESSEL_TEST(TestRaises) { throw std::runtime_error("disk full"); }
  TESSEL_TEST(TestEmpty) {}
  TESSEL_TEST(TestMissingException) {
    ExpectException<std::out_of_range>();
    Check(true);
  }
};

class TBrokenFixture : public TTestCase {
  TESSEL_TESTCASE(TBrokenFixture, TTestCase)
 public:
  void SetUp() override { throw std::logic_error("no connection"); }
  TESSEL_TEST(TestNeverRuns) { Check(false, "must not run"); }
};

TESSEL_REGISTER("Known", TKnown);
TESSEL_REGISTER("Known", TBrokenFixture);

}  // namespace
