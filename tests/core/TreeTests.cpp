// The test tree: method tables, suites built from classes, run counts,
// expected exceptions, the empty-test and no-checks rules.
#include <stdexcept>

#include "core/RecordingListener.h"

using namespace TestFramework;
using namespace TesselTests;

namespace {

class TBaseTests : public TTestCase {
  TESSEL_TESTCASE(TBaseTests, TTestCase)
 public:
  TESSEL_TEST(TestPlain) { Check(true); }
  TESSEL_VIRTUAL_TEST(TestVirtual) { Check(true); }
  TESSEL_TEST_RUNCOUNT(TestCounted, 2) { Check(true); }
  TESSEL_TEST(TestBaseOnly) { Check(true); }
};

class TDerivedTests : public TBaseTests {
  TESSEL_TESTCASE(TDerivedTests, TBaseTests)
 public:
  TESSEL_TEST(TestOwn) { Check(true); }
  TESSEL_OVERRIDE_TEST(TestVirtual) { Check(true); }
  TESSEL_TEST(TestPlain) { Check(true); }              // hides the base's: listed twice
  TESSEL_TEST_RUNCOUNT(TestCounted, 5) { Check(true); }  // the ancestor's attribute wins
};

class TNoTests : public TTestCase {
  TESSEL_TESTCASE(TNoTests, TTestCase)
};

// Test-case behaviour, each method a scenario run through an inner result.
class TBehaviour : public TTestCase {
  TESSEL_TESTCASE(TBehaviour, TTestCase)
 public:
  static inline int Calls = 0;
  TESSEL_TEST_RUNCOUNT(Thrice, 3) {
    ++Calls;
    Check(true);
  }
  TESSEL_TEST_RUNCOUNT(Never, 0) {
    ++Calls;
    Check(true);
  }
  TESSEL_TEST(NoChecks) { ++Calls; }
  TESSEL_TEST(Empty) {}
  TESSEL_TEST(ExpectedCame) {
    ExpectException<std::runtime_error>();
    throw std::runtime_error("came");
  }
  TESSEL_TEST(ExpectedDescendantCame) {
    ExpectException<std::logic_error>();
    throw std::out_of_range("child");
  }
  TESSEL_TEST(ExpectedOwnDescendant) {
    ExpectException<ETesselException>();
    throw ETestError("child");
  }
  TESSEL_TEST(ExpectedMissing) {
    ExpectException<std::runtime_error>();
    Check(true);
  }
  TESSEL_TEST(ExpectedWrong) {
    ExpectException<std::runtime_error>();
    throw std::logic_error("other");
  }
  TESSEL_TEST(ExpectedFailureNotSwallowed) {
    ExpectException<ETestFailure>();
    CheckEquals(1, 2);
  }
  TESSEL_TEST(ExpectTwice) {
    ExpectException<std::runtime_error>();
    ExpectException<std::logic_error>();
  }
  TESSEL_TEST_RUNCOUNT(ExpectedStopsRepetitions, 3) {
    ++Calls;
    ExpectException<std::runtime_error>();
    throw std::runtime_error("first");
  }
  TESSEL_TEST(DeclaredOutside);
};

void TBehaviour::DeclaredOutside() { CheckEquals(2, 1 + 1); }

class TTreeTests : public TTestCase {
  TESSEL_TESTCASE(TTreeTests, TTestCase)
 public:
  std::string Names(TTestCaseClass cls) {
    TMethodEnumerator e(cls);
    std::string s;
    for (int i = 0; i < e.MethodCount(); ++i) s += e.NameOfMethod(i) + " ";
    return s;
  }

  // Runs one method of TBehaviour; returns the record text, or "passed".
  std::string RunOne(const std::string& method, bool failsOnNoChecks = false) {
    TTestResult r;
    r.FailsIfNoChecksExecuted = failsOnNoChecks;
    ITestSuitePtr suite = TBehaviour::Suite();  // built from the class, so attributes apply
    for (const ITestPtr& t : suite->Tests())
      if (t->GetName() == method) t->Run(r);
    if (r.FailureCount()) return "failure: " + r.GetFailure(0).ThrownExceptionMessage();
    if (r.ErrorCount()) return "error: " + r.GetError(0).ThrownExceptionName();
    return "passed";
  }

  TESSEL_TEST(TestEnumerationOrderAndDuplicates) {
    CheckEquals(std::string("TestPlain TestVirtual TestCounted TestBaseOnly "), Names(&TBaseTests::ClassInfo()));
    CheckEquals(std::string("TestOwn TestVirtual TestPlain TestCounted TestPlain TestCounted TestBaseOnly "),
                Names(&TDerivedTests::ClassInfo()));
    CheckEquals(std::string(), Names(&TNoTests::ClassInfo()));
    CheckEquals(std::string(), Names(nullptr));
  }

  TESSEL_TEST(TestSuiteFromAClass) {
    ITestSuitePtr suite = TDerivedTests::Suite();
    CheckEquals(std::string("TDerivedTests"), suite->GetName());
    CheckEquals(7, suite->CountTestCases());
    // Attributes: the last one met wins, and ancestors are met after the class itself.
    for (const ITestPtr& t : suite->Tests())
      if (t->GetName() == "TestCounted") CheckEquals(2, t->GetRunCount(), "ancestor's RunCount");
    CheckEquals(0, TNoTests::Suite()->CountTestCases());
    CheckEquals(std::string("TNoTests"), TNoTests::Suite()->GetName());
  }

  TESSEL_TEST(TestSuiteCounts) {
    ITestSuitePtr suite = TBaseTests::Suite();
    suite->Tests()[0]->SetEnabled(false);
    CheckEquals(4, suite->CountTestCases());
    CheckEquals(3, suite->CountEnabledTestCases());
    suite->SetEnabled(false);
    CheckEquals(0, suite->CountEnabledTestCases(), "a disabled suite counts no enabled cases");
    CheckTrue(IsTestMethod(suite->Tests()[0]));
    CheckFalse(IsTestMethod(suite));
    CheckFalse(IsDecorator(suite));
  }

  TESSEL_TEST(TestRunCounts) {
    TBehaviour::Calls = 0;
    CheckEquals(std::string("passed"), RunOne("Thrice"));
    CheckEquals(3, TBehaviour::Calls);
    TTestResult r;
    auto t = std::make_shared<TBehaviour>("Thrice", 3);
    t->Run(r);
    CheckEquals(1, r.RunCount(), "repetitions count as one test");
    TBehaviour::Calls = 0;
    CheckEquals(std::string("passed"), RunOne("Never"));
    CheckEquals(0, TBehaviour::Calls);
    CheckEquals(std::string("failure: No checks executed in TestCase"), RunOne("Never", true));
  }

  TESSEL_TEST(TestNoChecksAndEmptyRules) {
    CheckEquals(std::string("passed"), RunOne("NoChecks"));
    CheckEquals(std::string("failure: No checks executed in TestCase"), RunOne("NoChecks", true));
    CheckEquals(std::string("failure: Empty test"), RunOne("Empty"));
    CheckEquals(std::string("passed"), RunOne("DeclaredOutside", true));
  }

  TESSEL_TEST(TestExpectedExceptions) {
    struct Case {
      const char* method;
      const char* outcome;
    };
    const Case cases[] = {
        {"ExpectedCame", "passed"},
        {"ExpectedDescendantCame", "passed"},
        {"ExpectedOwnDescendant", "passed"},
        {"ExpectedMissing", "failure: Expected exception \"std::runtime_error\" but there was none. "},
        {"ExpectedWrong", "failure: unexpected exception, expected: <std::runtime_error> but was: <std::logic_error>"},
        {"ExpectedFailureNotSwallowed", "failure: expected: <1> but was: <2>"},
        {"ExpectTwice", "failure: Expected exception \"std::runtime_error\" but there was none. "},
    };
    for (const Case& c : cases) CheckEquals(std::string(c.outcome), RunOne(c.method), c.method);
    CheckEquals(std::string("passed"), RunOne("ExpectedCame", true), "expected exception counts without checks");
    TBehaviour::Calls = 0;
    CheckEquals(std::string("passed"), RunOne("ExpectedStopsRepetitions"));
    CheckEquals(1, TBehaviour::Calls, "the expected exception ends the repetitions");
  }

  TESSEL_TEST(TestAllowedLeakList) {
    auto t = std::make_shared<TBehaviour>("Thrice");
    t->SetAllowedLeakArray({7, 8, 9});
    CheckEquals(0, t->GetAllowedMemoryLeakSize() - 7, "entry 1 when entry 0 is 0");
    TListIterator it = t->GetAllowedLeaksIterator();
    std::vector<int32_t> seen;
    for (int i = 0; i < 6; ++i) seen.push_back(it());
    CheckTrue(seen == std::vector<int32_t>({0, 7, 8, 9, 0, 0}));
    t->SetAllowedLeakArray({5});
    it = t->GetAllowedLeaksIterator();
    it();
    CheckEquals(5, it());
    CheckEquals(0, it(), "shorter arrays clear the rest");
    bool failed = false;
    try {
      t->SetAllowedLeakArray({1, 2, 3, 4});
    } catch (const ETestFailure&) {
      failed = true;
    }
    CheckTrue(failed);
    CheckEquals(5, t->GetAllowedMemoryLeakSize(), "a rejected array leaves the list alone");
  }
};

TESSEL_REGISTER("Core.Tree", TTreeTests);

}  // namespace
