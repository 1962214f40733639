// Small console programs in one: each scenario runs a test tree through the
// text runner, and RunAndCompare.sh checks the whole output against a file in
// expected/. Failure locations end up in those files, so moving a check to
// another line means updating them (TESSEL_UPDATE_GOLDEN=1, then review).
#include <unistd.h>

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "framework/TestFramework.h"
#include "runners/TextTestRunner.h"

using namespace TestFramework;
using TextTestRunner::rxbContinue;
using TextTestRunner::rxbHaltOnFailures;
using TextTestRunner::rxbPause;

namespace {

class C : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(C, TTestCase, "U")
 public:
  TESSEL_TEST(T1) { CheckEquals(4, 2 + 2); }
  TESSEL_TEST(T2) { CheckEquals(5, 2 + 2, "T2"); }
};

class TArithmetic : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TArithmetic, TTestCase, "U")
 public:
  TESSEL_TEST(Add) { CheckEquals(7, 3 + 4); }
  TESSEL_TEST(Subtract) { CheckEquals(-1, 3 - 4); }
  TESSEL_TEST_RUNCOUNT(Repeat, 3) { CheckTrue(++FCalls <= 3); }

 private:
  int FCalls = 0;
};

class TMixed : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TMixed, TTestCase, "U")
 public:
  TESSEL_TEST(FailsEquals) { CheckEquals(std::string("abc"), std::string("abd"), "names"); }
  TESSEL_TEST(Throws) { throw std::runtime_error("disk on fire"); }
  TESSEL_TEST(Passes) { Check(true); }
  TESSEL_TEST(FailsExplicit) { Fail("not implemented yet"); }
  TESSEL_TEST(FailsTrue) { CheckTrue(false, "flag"); }
};

class TBrokenSetUp : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TBrokenSetUp, TTestCase, "U")
 public:
  void SetUp() override { throw std::logic_error("no database"); }
  TESSEL_TEST(Anything) { Check(true); }
};

// Unit name taken from this file's name.
class TFileUnit : public TTestCase {
  TESSEL_TESTCASE(TFileUnit, TTestCase)
 public:
  TESSEL_TEST(Passes) { Check(true); }
};

class TTalking : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TTalking, TTestCase, "U")
 public:
  TESSEL_TEST(OneLine) {
    Status("working");
    Check(true);
  }
  TESSEL_TEST(TwoLines) {
    Status("first");
    Status("second");
    Check(true);
  }
  TESSEL_TEST(ThenFails) {
    Status("about to fail");
    Fail("as planned");
  }
};

class TTalkingSetUp : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TTalkingSetUp, TTestCase, "U")
 public:
  void SetUp() override { Status("setting up"); }
  TESSEL_TEST(Body) { Check(true); }
};

// Stops the run from inside without failing anything.
class TStopper : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TStopper, TTestCase, "U")
 public:
  void RunTest(TTestResult& testResult) override {
    testResult.Stop();
    TTestCase::RunTest(testResult);
  }
  TESSEL_TEST(StopsQuietly) { Check(true); }
  TESSEL_TEST(NeverRuns) { Check(true); }
};

// Sends the rest of the run's output to a device that accepts nothing.
class TLosesOutput : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TLosesOutput, TTestCase, "U")
 public:
  TESSEL_TEST(Before) { Check(true); }
  TESSEL_TEST(Redirect) {
    int full = ::open("/dev/full", O_WRONLY);
    Check(full >= 0 && ::dup2(full, STDOUT_FILENO) >= 0, "redirect to /dev/full");
    ::close(full);
  }
  TESSEL_TEST(After) { Check(true); }
};

// Wraps one test as a decorator does: it announces a suite start without
// being a suite.
class TWrapper : public TAbstractTest {
 public:
  TWrapper(std::string name, ITestPtr inner) : TAbstractTest(std::move(name)), FInner(std::move(inner)) {}
  static const TClass& ClassInfo() noexcept {
    static const TClass info("TWrapper", "U", &TAbstractTest::ClassInfo());
    return info;
  }
  const TClass& ClassType() const noexcept override { return ClassInfo(); }
  int CountTestCases() override { return FInner->CountTestCases(); }
  void RunTest(TTestResult& testResult) override {
    testResult.StartSuite(Self());
    FInner->RunWithFixture(testResult);
    testResult.EndSuite(Self());
  }

 private:
  ITestPtr FInner;
};

template <class T>
ITestPtr Make(const char* method) {
  return std::make_shared<T>(method);
}

ITestPtr Disabled(ITestPtr t) {
  t->SetEnabled(false);
  return t;
}

int Outcome(TTestResult& r) { return r.WasSuccessful() ? 0 : 1; }

void SayReturned(TTestResult& r) {
  std::printf("main: the runner returned (run %d, failures %d, errors %d)\r\n", r.RunCount(), r.FailureCount(),
              r.ErrorCount());
}

ITestPtr SampleSuite() { return TestSuite("S", {Make<C>("T1"), Make<C>("T2")}); }
ITestPtr AllPassSuite() { return TArithmetic::Suite(); }

const std::map<std::string, std::function<int()>>& Scenarios() {
  static const std::map<std::string, std::function<int()>> scenarios = {
      {"sample", [] { return Outcome(*TextTestRunner::RunTest(SampleSuite(), rxbContinue)); }},
      {"allpass", [] { return Outcome(*TextTestRunner::RunTest(AllPassSuite(), rxbContinue)); }},
      {"zero",
       [] {
         auto suite = TestSuite("Zero", {TestSuite("Empty", {}), Disabled(Make<TArithmetic>("Add")),
                                         Disabled(Make<C>("T2"))});
         return Outcome(*TextTestRunner::RunTest(suite, rxbContinue));
       }},
      {"errors",
       [] {
         auto suite = TestSuite("Mixed", {TMixed::Suite(), TBrokenSetUp::Suite()});
         auto result = TextTestRunner::RunTest(suite, rxbHaltOnFailures);
         SayReturned(*result);  // not reached: the run was not successful
         return 0;
       }},
      {"nested",
       [] {
         RegisterTest("Sales.Orders", TArithmetic::Suite());
         RegisterTest("Sales/Invoices", TFileUnit::Suite());
         RegisterTest("Stock", std::make_shared<TWrapper>("Guarded", Make<TArithmetic>("Add")));
         return Outcome(*TextTestRunner::RunRegisteredTests(rxbContinue));
       }},
      {"twolevels",
       [] {
         auto suite = TestSuite("Outer", {C::Suite()});
         return Outcome(*TextTestRunner::TTextTestListener::RunTest(suite, rxbContinue));
       }},
      {"status",
       [] {
         auto suite = TestSuite("Chatty", {TTalking::Suite(), TTalkingSetUp::Suite()});
         return Outcome(*TextTestRunner::RunTest(suite, rxbContinue));
       }},
      {"pause",
       [] {
         auto result = TextTestRunner::RunTest(AllPassSuite(), rxbPause);
         SayReturned(*result);
         // Whatever the prompt did not consume is still there.
         char line[256];
         while (std::fgets(line, sizeof line, stdin)) std::printf("main: left on input: %s", line);
         return Outcome(*result);
       }},
      {"haltok",
       [] {
         RegisterTest("Numbers", TArithmetic::Suite());
         auto result = TextTestRunner::TTextTestListener::RunRegisteredTests(rxbHaltOnFailures);
         SayReturned(*result);
         return Outcome(*result);
       }},
      {"stopped",
       [] {
         auto result = TextTestRunner::RunTest(TStopper::Suite(), rxbHaltOnFailures);
         SayReturned(*result);  // not reached: a stopped run is not successful
         return 0;
       }},
      {"many",
       [] {
         // 256 failures: an exit status keeps only 8 bits.
         ITestPtr failing = Make<C>("T2");
         TTestArray tests(256, failing);
         TextTestRunner::RunTest(TestSuite("Many", tests), rxbHaltOnFailures);
         return 0;
       }},
      {"none",
       [] {
         auto fromNone = TextTestRunner::RunTest(nullptr, rxbHaltOnFailures);
         SayReturned(*fromNone);
         auto fromEmptyRegistry = TextTestRunner::RunRegisteredTests(rxbHaltOnFailures);
         SayReturned(*fromEmptyRegistry);
         return 0;
       }},
      {"losesoutput",
       [] {
         auto suite = TestSuite("Output", {TLosesOutput::Suite()});
         return Outcome(*TextTestRunner::RunTest(suite, rxbContinue));
       }},
  };
  return scenarios;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = argc > 1 ? argv[1] : "";
  auto it = Scenarios().find(name);
  if (it == Scenarios().end()) {
    std::fprintf(stderr, "unknown scenario \"%s\"\n", name.c_str());
    return 2;
  }
  try {
    return it->second();
  } catch (const TestFramework::Exception& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassType().Name, e.Message().c_str());
    return 3;
  }
}
