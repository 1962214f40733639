// Decorators as nodes: names, counts, configuration sections, repetition and
// one-time set-up around a wrapped test.
#include <algorithm>

#include "ExtensionsTestKit.h"

using namespace TestFramework;
using namespace TestExtensions;
using namespace ExtensionsTestKit;

namespace {

std::vector<std::string> gLog;

class TFive : public TTestCase {
  TESSEL_TESTCASE(TFive, TTestCase)
 public:
  TESSEL_TEST(Test1) { Check(true); }
  TESSEL_TEST(Test2) { Check(true); }
  TESSEL_TEST(Test3) { Check(true); }
  TESSEL_TEST(Test4) { Check(true); }
  TESSEL_TEST(Test5) { Check(true); }
};

class TLogged : public TTestCase {
  TESSEL_TESTCASE(TLogged, TTestCase)
 public:
  void SetUp() override { gLog.push_back("SetUp " + GetName()); }
  void TearDown() override { gLog.push_back("TearDown " + GetName()); }
  TESSEL_TEST(TestA) { gLog.push_back("TestA"); }
  TESSEL_TEST(TestB) { gLog.push_back("TestB"); }
  TESSEL_TEST(TestC) { gLog.push_back("TestC"); }
};

class TLoggingSetup : public TTestSetup {
  TESSEL_DECORATOR_CLASS(TLoggingSetup, TTestSetup)
  bool FailSetUp = false;
  void SetUp() override {
    gLog.push_back("once: SetUp");
    if (FailSetUp) throw std::runtime_error("no connection");
  }
  void TearDown() override { gLog.push_back("once: TearDown"); }
};

// Shows the name the constructor stored, which GetName does not use.
class TStoredName : public TTestDecorator {
  TESSEL_DECORATOR_CLASS(TStoredName, TTestDecorator)
  std::string Stored() const { return FTestName; }
};

class TDecoratorTests : public TTestCase {
  TESSEL_TESTCASE(TDecoratorTests, TTestCase)
 public:
  TESSEL_TEST(TestNamesAndClasses) {
    ITestPtr sum = std::make_shared<TTestCase>("TestSum");
    struct Row {
      ITestPtr node;
      const char* name;
      const char* cls;
      const char* parent;
    } rows[] = {
        {std::make_shared<TTestDecorator>(sum, "Custom"), "(d) TestSum", "TTestDecorator", "TAbstractTest"},
        {std::make_shared<TTestSetup>(sum), "Setup decorator ((d) TestSum)", "TTestSetup", "TTestDecorator"},
        {std::make_shared<TRepeatedTest>(sum, 3), "3 x TestSum", "TRepeatedTest", "TTestDecorator"},
        {std::make_shared<TActiveTest>(sum), "(d) TestSum", "TActiveTest", "TTestDecorator"},
        {std::make_shared<TExceptionTestCase>(sum), "(d) TestSum", "TExceptionTestCase", "TTestDecorator"},
        {std::make_shared<TMemoryTest>(sum), "Test memory of TestSum", "TMemoryTest", "TTestDecorator"},
        {std::make_shared<TTestSetup>(std::make_shared<TRepeatedTest>(sum, 2)), "Setup decorator ((d) 2 x TestSum)",
         "TTestSetup", "TTestDecorator"},
        {std::make_shared<TLoggingSetup>(sum), "Setup decorator ((d) TestSum)", "TLoggingSetup", "TTestSetup"},
    };
    for (const Row& r : rows) {
      CheckEquals(r.name, r.node->GetName(), r.cls);
      CheckEquals(r.cls, r.node->ClassType().Name);
      CheckEquals(r.parent, r.node->ClassType().Parent->Name, r.cls);
      CheckTrue(IsDecorator(r.node) && !IsTestMethod(r.node), r.cls);
      CheckSame(r.node->Tests().at(0).get(), Supports<ITestDecorator>(r.node)->GetTest().get(), r.cls);
      CheckEquals(1, static_cast<int>(r.node->Tests().size()), r.cls);
    }
    CheckEquals("Custom", std::make_shared<TStoredName>(sum, "Custom")->Stored());
    CheckEquals("TestSum", std::make_shared<TStoredName>(sum)->Stored());
    CheckEquals("TestExtensions", TTestSetup::ClassInfo().UnitName);
    CheckEquals("DecoratorTests", TLoggingSetup::ClassInfo().UnitName);
  }

  TESSEL_TEST(TestEmptyWrappedTestIsRefused) {
    int refused = 0;
    auto attempt = [&](auto make) {
      try {
        make();
      } catch (const ETesselException&) {
        ++refused;
      }
    };
    attempt([] { std::make_shared<TTestDecorator>(nullptr); });
    attempt([] { std::make_shared<TTestSetup>(nullptr, "named"); });
    attempt([] { std::make_shared<TRepeatedTest>(nullptr, 3); });
    attempt([] { std::make_shared<TMemoryTest>(nullptr); });
    CheckEquals(4, refused);
  }

  TESSEL_TEST(TestCounts) {
    ITestPtr five = TFive::Suite();
    auto plain = std::make_shared<TTestDecorator>(five);
    auto thrice = std::make_shared<TRepeatedTest>(five, 3);
    CheckEquals(5, plain->CountTestCases());
    CheckEquals(15, thrice->CountTestCases());
    CheckEquals(10, std::make_shared<TRepeatedTest>(std::make_shared<TTestSetup>(five), 2)->CountTestCases());
    CheckEquals(0, std::make_shared<TRepeatedTest>(five, 0)->CountTestCases());
    CheckEquals(0, std::make_shared<TRepeatedTest>(five, -2)->CountEnabledTestCases());
    five->Tests()[0]->SetEnabled(false);
    CheckEquals(15, thrice->CountTestCases());
    CheckEquals(12, thrice->CountEnabledTestCases());
    plain->SetEnabled(false);
    thrice->SetEnabled(false);
    CheckEquals(0, plain->CountTestCases() + plain->CountEnabledTestCases());
    CheckEquals(0, thrice->CountTestCases() + thrice->CountEnabledTestCases());
  }

  TESSEL_TEST(TestRepetitionsAreAnnouncedAndCounted) {
    TRecordedRun run(std::make_shared<TRepeatedTest>(Subject("TestPass"), 2));
    std::string wrapped = "ShouldRunTest(TestPass)\nShouldRunTest(TestPass)\nShouldRunTest(TestPass)\n"
                          "StartTest(TestPass)\nAddSuccess(TestPass)\nEndTest(TestPass)\n";
    CheckEquals("TestingStarts\nShouldRunTest(2 x TestPass)\nShouldRunTest(2 x TestPass)\nStartTest(2 x TestPass)\n" +
                    wrapped + wrapped + "AddSuccess(2 x TestPass)\nEndTest(2 x TestPass)\nTestingEnds\n",
                run.Log());
    CheckEquals(2, run.Result.RunCount());
    CheckEquals(2, TSubject::Calls["TestPass"]);

    TRecordedRun none(std::make_shared<TRepeatedTest>(Subject("TestPass"), 0));
    CheckEquals("TestingStarts\nShouldRunTest(0 x TestPass)\nShouldRunTest(0 x TestPass)\nStartTest(0 x TestPass)\n"
                "AddSuccess(0 x TestPass)\nEndTest(0 x TestPass)\nTestingEnds\n",
                none.Log());
    CheckEquals(0, none.Result.RunCount());
    CheckEquals(0, TSubject::Calls["TestPass"]);
  }

  TESSEL_TEST(TestHaltOnError) {
    struct Row {
      const char* method;
      bool halt;
      int runs, failures, errors;
    } rows[] = {
        {"TestFail", true, 1, 1, 0},  {"TestFail", false, 5, 5, 0}, {"TestError", true, 1, 0, 1},
        {"TestError", false, 5, 0, 5}, {"TestPass", true, 5, 0, 0},
    };
    for (const Row& r : rows) {
      auto repeated = std::make_shared<TRepeatedTest>(Subject(r.method), 5);
      repeated->SetHaltOnError(r.halt);
      TTestResult result;
      result.RunSuite(repeated);
      std::string what = std::string(r.method) + (r.halt ? " halting" : " not halting");
      CheckEquals(r.runs, result.RunCount(), what);
      CheckEquals(r.runs, TSubject::Calls[r.method], what);
      CheckEquals(r.failures, result.FailureCount(), what);
      CheckEquals(r.errors, result.ErrorCount(), what);
    }
  }

  TESSEL_TEST(TestHaltOnErrorIgnoresEarlierFailures) {
    auto repeated = std::make_shared<TRepeatedTest>(std::make_shared<TSubject>("TestPass"), 3);
    repeated->SetHaltOnError(true);
    TSubject::Calls.clear();
    TTestResult result;
    ITestPtr earlier[] = {std::make_shared<TSubject>("TestFail"), std::make_shared<TSubject>("TestError")};
    result.RunSuite(TestSuite("Mixed", {earlier[0], earlier[1], repeated}));
    CheckEquals(5, result.RunCount());
    CheckEquals(3, TSubject::Calls["TestPass"]);
  }

  TESSEL_TEST(TestStopEndsTheRepetitions) {
    TSubject::StopOnCall = 2;
    TRecordedRun stopping(std::make_shared<TRepeatedTest>(Subject("TestStopping"), 5));
    TSubject::StopOnCall = 0;
    CheckEquals(2, stopping.Result.RunCount());
    CheckEquals(1, stopping.Result.FailureCount());
    CheckEquals("EStopTestsFailure", stopping.Result.GetFailure(0).ThrownExceptionName());
    CheckTrue(stopping.Result.WasStopped());

    // A listener stops the run while the third repetition starts; that one still finishes.
    TRecordedRun listened;
    listened.Listener->StopResult = &listened.Result;
    listened.Listener->StopAtName = "TestPass";
    listened.Listener->StopAtCount = 3;
    listened.Result.RunSuite(std::make_shared<TRepeatedTest>(Subject("TestPass"), 5));
    CheckEquals(3, listened.Result.RunCount());
    CheckEquals(3, TSubject::Calls["TestPass"]);
    CheckEquals(3, static_cast<int>(std::count(listened.Listener->Log.begin(), listened.Listener->Log.end(),
                                               "AddSuccess(TestPass)")));
    CheckTrue(listened.Result.WasStopped() && !listened.Result.WasSuccessful());
  }

  TESSEL_TEST(TestOneTimeSetUpAroundASuiteOfThree) {
    gLog.clear();
    TTestResult result;
    result.RunSuite(std::make_shared<TLoggingSetup>(TLogged::Suite()));
    CheckEquals("once: SetUp\nSetUp TestA\nTestA\nTearDown TestA\nSetUp TestB\nTestB\nTearDown TestB\n"
                "SetUp TestC\nTestC\nTearDown TestC\nonce: TearDown\n",
                Join(gLog));
    CheckEquals(3, result.RunCount());
    CheckTrue(result.WasSuccessful());

    // A failing one-time set-up is the decorator's error; nothing inside starts, tear-down still runs.
    gLog.clear();
    auto failing = std::make_shared<TLoggingSetup>(TLogged::Suite());
    failing->FailSetUp = true;
    TTestResult broken;
    broken.RunSuite(failing);
    CheckEquals("once: SetUp\nonce: TearDown\n", Join(gLog));
    CheckEquals(0, broken.RunCount());
    CheckEquals(1, broken.ErrorCount());
    CheckEquals("Setup decorator ((d) TLogged)", broken.GetError(0).FailedTest()->GetName());
    CheckEquals("SetUp FAILED: no connection", broken.GetError(0).ThrownExceptionMessage());
  }

  TESSEL_TEST(TestDecoratorsNestInSuites) {
    auto inner = std::make_shared<TRepeatedTest>(Subject("TestPass"), 2);
    TRecordedRun run(TestSuite("Root", {std::make_shared<TTestSetup>(inner)}));
    const auto& log = run.Listener->Log;
    std::vector<std::string> starts;
    for (const std::string& l : log)
      if (l.rfind("StartTest(", 0) == 0 || l.rfind("StartSuite(", 0) == 0) starts.push_back(l);
    CheckEquals("StartTest(Root)\nStartSuite(Root)\nStartTest(Setup decorator ((d) 2 x TestPass))\n"
                "StartTest(2 x TestPass)\nStartTest(TestPass)\nStartTest(TestPass)\n",
                Join(starts));
    CheckEquals(2, run.Result.RunCount());
  }

  TESSEL_TEST(TestConfigurationSections) {
    ITestPtr sum = std::make_shared<TTestCase>("TestSum");
    auto setup = std::make_shared<TTestSetup>(sum);
    TMapIniFile ini;
    ini.WriteString("S.Setup decorator ((d) TestSum)", "Stale", "1");  // other keys survive
    sum->SetEnabled(false);
    sum->SetRunCount(4);
    setup->SetEnabled(false);
    setup->SaveConfiguration(ini, "S");
    CheckEquals("[S] Setup decorator ((d) TestSum)=0\n[S.Setup decorator ((d) TestSum)] Stale=1\n"
                "[S.Setup decorator ((d) TestSum)] TestSum=0\n[S.Setup decorator ((d) TestSum)] TestSum.RunCount=4\n",
                ini.Dump());

    sum->SetEnabled(true);
    sum->SetRunCount(1);
    setup->SetEnabled(true);
    setup->LoadConfiguration(ini, "S");
    CheckFalse(setup->GetEnabled() || sum->GetEnabled());
    CheckEquals(4, sum->GetRunCount());

    // Back at the defaults, saving removes the keys again.
    sum->SetEnabled(true);
    sum->SetRunCount(1);
    setup->SetEnabled(true);
    setup->SaveConfiguration(ini, "S");
    CheckEquals("[S.Setup decorator ((d) TestSum)] Stale=1\n", ini.Dump());

    TMapIniFile tree;
    auto five = TFive::Suite();
    five->Tests()[4]->SetEnabled(false);
    TestSuite("All", {std::make_shared<TRepeatedTest>(five, 3)})->SaveConfiguration(tree, "Tests");
    CheckEquals("[Tests.All.3 x TFive.TFive] Test5=0\n", tree.Dump());
  }

  TESSEL_TEST(TestMemoryErrorAndTypeSet) {
    CheckEquals("EMemoryError", EMemoryError::ClassInfo().Name);
    CheckEquals("TestExtensions", EMemoryError::ClassInfo().UnitName);
    CheckTrue(EMemoryError::ClassInfo().InheritsFrom(&ETestFailure::ClassInfo()));
    TMemoryTestTypesSet set{mttMemoryTestBeforeNormalTest, mttMemoryTestAfterNormalTest};
    CheckEquals(2, set.Count());
    CheckFalse(set.Contains(mttExecuteNormalTest));
    set.Include(mttExecuteNormalTest).Exclude(mttMemoryTestBeforeNormalTest);
    CheckTrue(set == TMemoryTestTypesSet{mttExecuteNormalTest, mttMemoryTestAfterNormalTest});
    CheckTrue((set - TMemoryTestTypesSet{mttExecuteNormalTest, mttMemoryTestAfterNormalTest}).Empty());
    CheckTrue(set * TMemoryTestTypesSet{mttExecuteNormalTest} == TMemoryTestTypesSet{mttExecuteNormalTest});
    CheckEquals(3, (set + TMemoryTestTypesSet{mttMemoryTestBeforeNormalTest}).Count());
  }
};

TESSEL_REGISTER("Extensions", TDecoratorTests);

}  // namespace
