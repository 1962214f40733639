// A test program that switches the measuring memory monitor on with one call
// and runs a leaking and a clean test with leak checks on. With the argument
// --default-monitors it keeps the supplied monitors instead.
#include <cstdio>
#include <cstring>

#include "framework/TestFramework.h"

using namespace TestFramework;

namespace {

char* gLeaked[8];
int gLeakedCount = 0;

class TLeakDemo : public TTestCase {
  TESSEL_TESTCASE(TLeakDemo, TTestCase)
 public:
  TESSEL_TEST(TestLeaks) {
    gLeaked[gLeakedCount++] = new char[64];
    Check(true);
  }
  TESSEL_TEST(TestClean) {
    std::string s(500, 'x');
    CheckEquals(size_t{500}, s.size());
  }
};

TESSEL_REGISTER("Demo", TLeakDemo);

class TPrinter : public ITestListener {
 public:
  void Status(const ITestPtr&, const std::string&) override {}
  void TestingStarts() override { std::printf("start\n"); }
  void StartTest(const ITestPtr&) override {}
  void AddSuccess(const ITestPtr& t) override {
    if (IsTestMethod(t)) std::printf("PASS %s\n", t->GetName().c_str());
  }
  void AddError(TTestFailure& e) override { Print("ERROR", e); }
  void AddFailure(TTestFailure& f) override { Print("FAIL", f); }
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult&) override {}
  bool ShouldRunTest(const ITestPtr& t) override { return t->GetEnabled(); }

 private:
  static void Print(const char* kind, TTestFailure& f) {
    std::printf("%s %s: [%s] %s\n", kind, f.FailedTest()->GetName().c_str(), f.ThrownExceptionName().c_str(),
                f.ThrownExceptionMessage().c_str());
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (!(argc > 1 && std::strcmp(argv[1], "--default-monitors") == 0)) UseMeasuringMemLeakMonitor(true);
  TTestResult result;
  result.FailsIfMemoryLeaked = true;
  result.AddListener(std::make_shared<TPrinter>());
  RegisteredTests()->Run(result);
  while (gLeakedCount > 0) delete[] gLeaked[--gLeakedCount];
  return result.WasSuccessful() ? 0 : 1;
}
