// A user's first test program: one class with a passing and a failing test,
// run through the console runner. Exits 0 only when exactly the planned
// failure is reported, so a library that runs nothing does not pass.
#include <cstdio>
#include <memory>

#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"
#include "runners/TextTestRunner.h"

namespace {

class TConsumerTests : public TestFramework::TTestCase {
  TESSEL_TESTCASE(TConsumerTests, TestFramework::TTestCase)
 public:
  TESSEL_TEST(AddsUp) { CheckEquals(4, 2 + 2, "sum"); }
  TESSEL_TEST(FailsOnPurpose) { CheckEquals(5, 2 + 2, "planned"); }
};

// Both macros take a base class written with its namespace.
class TConsumerSetup : public TestExtensions::TTestSetup {
  TESSEL_DECORATOR_CLASS(TConsumerSetup, TestExtensions::TTestSetup)
 public:
  void SetUp() override { ++SetUps; }
  static inline int SetUps = 0;
};

[[maybe_unused]] const bool registered =
    (TestFramework::RegisterTest("Consumer", std::make_shared<TConsumerSetup>(TConsumerTests::Suite())), true);

}  // namespace

int main() {
  auto result = TextTestRunner::RunRegisteredTests(TextTestRunner::rxbContinue);
  const bool asPlanned = result->RunCount() == 2 && result->FailureCount() == 1 && result->ErrorCount() == 0 &&
                         TConsumerSetup::SetUps == 1;
  std::printf("\nconsumer: %s\n", asPlanned ? "as planned" : "NOT as planned");
  return asPlanned ? 0 : 1;
}
