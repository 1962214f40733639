// Entry point of the framework's own test programs: runs every registered
// test and exits with the number of failures and errors.
#include <cstdio>

#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {
class TReportListener : public ITestListener {
 public:
  void Status(const ITestPtr&, const std::string&) override {}
  void TestingStarts() override {}
  void StartTest(const ITestPtr&) override {}
  void AddSuccess(const ITestPtr&) override {}
  void AddError(TTestFailure& e) override { Print("ERROR", e); }
  void AddFailure(TTestFailure& f) override { Print("FAILURE", f); }
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult& r) override {
    std::printf("%d passed, %d failed\n", r.RunCount() - CountFailedTests(r), CountFailedTests(r));
  }
  bool ShouldRunTest(const ITestPtr& test) override { return test->GetEnabled(); }

 private:
  static int CountFailedTests(TTestResult& r) { return r.FailureCount() + r.ErrorCount(); }
  static void Print(const char* kind, TTestFailure& f) {
    std::printf("%s %s [%s] at %s\n  %s\n", kind, f.FailedTest()->GetName().c_str(), f.ThrownExceptionName().c_str(),
                f.LocationInfo().c_str(), f.ThrownExceptionMessage().c_str());
  }
};
}  // namespace

int main() {
  auto result = RunRegisteredTests({std::make_shared<TReportListener>()});
  return result->FailureCount() + result->ErrorCount() == 0 && !result->WasStopped() ? 0 : 1;
}
