// A first look at Tessel: two suites run through a result with a listener
// that prints each step.
#include <cstdio>
#include <stdexcept>

#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

int Sum(int a, int b) { return a + b; }

class TArithmeticTests : public TTestCase {
  TESSEL_TESTCASE(TArithmeticTests, TTestCase)
 public:
  TESSEL_TEST(TestSum) { CheckEquals(3, Sum(1, 2), "sum"); }
  TESSEL_TEST_RUNCOUNT(TestRepeated, 3) { CheckTrue(Sum(2, 2) == 4); }
  TESSEL_TEST(TestBadIndex) {
    ExpectException<std::out_of_range>();
    std::string("abc").at(10);
  }
};

class TDeliberateProblems : public TTestCase {
  TESSEL_TESTCASE(TDeliberateProblems, TTestCase)
 public:
  TESSEL_TEST(TestShowsAFailure) { CheckEquals(4, Sum(2, 3), "deliberate failure"); }
  TESSEL_TEST(TestShowsAnError) { throw std::runtime_error("deliberate error"); }
};

class TPrinter : public ITestListenerX {
 public:
  void Status(const ITestPtr& t, const std::string& m) override { std::printf("  %s: %s\n", t->GetName().c_str(), m.c_str()); }
  void TestingStarts() override { std::puts("Testing starts"); }
  void StartSuite(const ITestPtr& s) override { std::printf("suite %s\n", s->GetName().c_str()); }
  void EndSuite(const ITestPtr&) override {}
  void StartTest(const ITestPtr&) override {}
  void AddSuccess(const ITestPtr& t) override {
    if (IsTestMethod(t)) std::printf("  ok      %s\n", t->GetName().c_str());
  }
  void AddFailure(TTestFailure& f) override { Print("FAILURE", f); }
  void AddError(TTestFailure& f) override { Print("ERROR", f); }
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult& r) override {
    std::printf("Run %d, failures %d, errors %d\n", r.RunCount(), r.FailureCount(), r.ErrorCount());
  }
  bool ShouldRunTest(const ITestPtr& t) override { return t->GetEnabled(); }

 private:
  static void Print(const char* kind, TTestFailure& f) {
    std::printf("  %-7s %s: [%s] %s\n", kind, f.FailedTest()->GetName().c_str(), f.ThrownExceptionName().c_str(),
                f.ThrownExceptionMessage().c_str());
  }
};

}  // namespace

int main() {
  ITestSuitePtr all = TestSuite("Demo", {TArithmeticTests::Suite(), TDeliberateProblems::Suite()});
  std::unique_ptr<TTestResult> result = RunTest(all, {std::make_shared<TPrinter>()});
  std::puts("(The failure and the error above are deliberate.)");
  return 0;
}
