// The run loop: call orders, failure records, stopping, listeners.
#include <stdexcept>

#include "core/RecordingListener.h"
#include "framework/TesselConsts.h"

using namespace TestFramework;
using namespace TesselTests;
using Lines = std::vector<std::string>;

namespace {

// A fixture steered by one mode text, so that each scenario runs the same tree.
class TSteered : public TTestCase {
  TESSEL_TESTCASE(TSteered, TTestCase)
 public:
  static inline std::string Mode;
  static inline int Calls = 0;
  void SetUp() override {
    if (Mode == "setup") throw std::runtime_error("no db");
  }
  void TearDown() override {
    if (Mode == "teardown") throw std::runtime_error("leaked");
  }
  TESSEL_TEST(T) {
    ++Calls;
    if (Mode == "fail") Fail("bad");
    if (Mode == "error") throw std::logic_error("oops");
    if (Mode == "int") throw 42;
    if (Mode == "own") throw ETestError("framework said no");
    if (Mode == "status") Status("halfway");
    Check(true);
  }
};

class TStopper : public TTestCase {
  TESSEL_TESTCASE(TStopper, TTestCase)
 public:
  TESSEL_TEST(T1) { Check(true); }
  TESSEL_TEST(T2) { StopTests("enough"); }
  TESSEL_TEST(T3) { Check(true); }
};

// Replaces RunTest and watches what the inherited one passes on.
class TWrapped : public TSteered {
  TESSEL_TESTCASE(TWrapped, TSteered)
 public:
  static inline std::vector<std::string> Seen;
  static inline bool Swallow = false;
  void RunTest(TTestResult& testResult) override {
    try {
      TSteered::RunTest(testResult);
      Seen.push_back("returned");
    } catch (const Exception& e) {
      Seen.push_back(e.ClassType().Name + std::string(":") + e.Message());
      if (!Swallow) throw;
    } catch (const std::exception& e) {
      Seen.push_back(std::string("std:") + e.what());
      if (!Swallow) throw;
    }
  }
};

// Records failures and carries on, as expectations that are not assertions do.
class TContinuing : public TTestCase {
  TESSEL_TESTCASE(TContinuing, TTestCase)
 public:
  static inline int After = 0;
  void RunTest(TTestResult& r) override {
    for (const char* msg : {"first", "second"})
      r.AddFailureAndContinue(Self(), TExceptionInfo{&ETestFailure::ClassInfo(), "ETestFailure", msg, {}}, {});
    ++After;
  }
};

// A suite whose set-up records a failure of its own and goes on.
class TContinuingSuite : public TTestSuite {
 public:
  using TTestSuite::TTestSuite;
  void RunWithFixture(TTestResult& r) override {
    FResult = &r;
    TTestSuite::RunWithFixture(r);
  }
  void SetUp() override {
    FResult->AddFailureAndContinue(Self(), TExceptionInfo{&ETestFailure::ClassInfo(), "ETestFailure", "suite", {}}, {});
  }
  TTestResult* FResult = nullptr;
};

class TLong : public TTestCase {
  TESSEL_TESTCASE(TLong, TTestCase)
 public:
  static inline std::string Msg;
  TESSEL_TEST(T) { CheckEquals(std::string("a"), std::string("b"), Msg); }
};

Lines RunRecorded(const ITestPtr& root, bool withSuites, TTestResult* useResult = nullptr) {
  Lines log;
  ITestListenerPtr l = withSuites ? ITestListenerPtr(std::make_shared<TRecordingListenerX>(&log))
                                  : ITestListenerPtr(std::make_shared<TRecordingListener>(&log));
  std::unique_ptr<TTestResult> own;
  TTestResult* r = useResult;
  if (!r) {
    own = std::make_unique<TTestResult>();
    r = own.get();
  }
  r->AddListener(l);
  root->Run(*r);
  return log;
}

Lines Around(const Lines& inner, bool withSuites) {
  Lines l = {"TestingStarts", "ShouldRunTest(R)", "ShouldRunTest(R)", "StartTest(R)"};
  if (withSuites) l.push_back("StartSuite(R)");
  l.insert(l.end(), {"ShouldRunTest(T)", "ShouldRunTest(T)", "ShouldRunTest(T)", "StartTest(T)"});
  l.insert(l.end(), inner.begin(), inner.end());
  l.push_back("EndTest(T)");
  if (withSuites) l.push_back("EndSuite(R)");
  l.insert(l.end(), {"AddSuccess(R)", "EndTest(R)", "TestingEnds"});
  return l;
}

class TRunLoopTests : public TTestCase {
  TESSEL_TESTCASE(TRunLoopTests, TTestCase)
 public:
  void CheckLines(const Lines& expected, const Lines& actual, Loc loc = Loc::current()) {
    CheckEquals(Joined(expected), Joined(actual), "call order", loc);
  }
  ITestPtr Tree() { return TestSuite("R", {std::make_shared<TSteered>("T")}); }

  TESSEL_TEST(TestCallOrderPerOutcome) {
    struct Case {
      const char* mode;
      Lines inner;
    };
    const Case cases[] = {
        {"", {"AddSuccess(T)"}},
        {"setup", {"AddError(T,std::runtime_error,SetUp FAILED: no db)"}},
        {"fail", {"AddFailure(T,ETestFailure,bad)"}},
        {"error", {"AddError(T,std::logic_error,oops)"}},
        {"teardown", {"AddError(T,std::runtime_error,TearDown FAILED: leaked)", "AddSuccess(T)"}},
        {"status", {"Status(T,halfway)", "AddSuccess(T)"}},
    };
    for (const Case& c : cases)
      for (bool withSuites : {true, false}) {
        TSteered::Mode = c.mode;
        CheckLines(Around(c.inner, withSuites), RunRecorded(Tree(), withSuites));
      }
    TSteered::Mode.clear();
  }

  // A node that recorded a failure and went on gets no success, its suite
  // still does, and a suite's own such failure denies only the suite's.
  TESSEL_TEST(TestFailuresThatLetTheNodeGoOn) {
    TContinuing::After = 0;
    TTestResult r;
    Lines log = RunRecorded(TestSuite("R", {std::make_shared<TContinuing>("T")}), true, &r);
    CheckLines(Around({"AddFailure(T,ETestFailure,first)", "AddFailure(T,ETestFailure,second)"}, true), log);
    CheckEquals(1, TContinuing::After, "the node went on after its failures");
    CheckEquals(2, r.FailureCount());
    CheckFalse(r.WasSuccessful());

    auto suite = std::make_shared<TContinuingSuite>("R");
    suite->AddTest(std::make_shared<TSteered>("T"));
    Lines suiteLog = RunRecorded(suite, true);
    CheckLines({"TestingStarts", "ShouldRunTest(R)", "ShouldRunTest(R)", "StartTest(R)",
                "AddFailure(R,ETestFailure,suite)", "StartSuite(R)", "ShouldRunTest(T)", "ShouldRunTest(T)",
                "ShouldRunTest(T)", "StartTest(T)", "AddSuccess(T)", "EndTest(T)", "EndSuite(R)", "EndTest(R)",
                "TestingEnds"},
               suiteLog);
  }

  TESSEL_TEST(TestSetUpFailureSkipsBodyButRunsTearDown) {
    TSteered::Mode = "setup";
    TSteered::Calls = 0;
    TTestResult r;
    RunRecorded(Tree(), true, &r);
    TSteered::Mode.clear();
    CheckEquals(0, TSteered::Calls, "body must not run");
    CheckEquals(1, r.ErrorCount());
    CheckEquals(0, r.FailureCount());
    CheckEquals(std::string("SetUp FAILED: no db"), r.GetError(0).ThrownExceptionMessage());
  }

  TESSEL_TEST(TestExceptionsOfAnyType) {
    struct Case {
      const char* mode;
      const char* cls;
      const char* msg;
    };
    const Case cases[] = {
        {"int", "int", "42"},
        {"error", "std::logic_error", "oops"},
        {"own", "ETestError", "framework said no"},
    };
    for (const Case& c : cases) {
      TSteered::Mode = c.mode;
      TTestResult r;
      Tree()->Run(r);
      CheckEquals(1, r.ErrorCount(), c.mode);
      CheckEquals(std::string(c.cls), r.GetError(0).ThrownExceptionName(), c.mode);
      CheckEquals(std::string(c.msg), r.GetError(0).ThrownExceptionMessage(), c.mode);
    }
    TSteered::Mode.clear();
  }

  TESSEL_TEST(TestStopInTheMiddleOfASuite) {
    ITestPtr root = TestSuite("R", {TStopper::Suite()});
    TTestResult r;
    Lines log = RunRecorded(root, true, &r);
    Lines expected = {"TestingStarts",
                      "ShouldRunTest(R)",
                      "ShouldRunTest(R)",
                      "StartTest(R)",
                      "StartSuite(R)",
                      "ShouldRunTest(TStopper)",
                      "ShouldRunTest(TStopper)",
                      "StartTest(TStopper)",
                      "StartSuite(TStopper)",
                      "ShouldRunTest(T1)",
                      "ShouldRunTest(T1)",
                      "ShouldRunTest(T1)",
                      "StartTest(T1)",
                      "AddSuccess(T1)",
                      "EndTest(T1)",
                      "ShouldRunTest(T2)",
                      "ShouldRunTest(T2)",
                      "ShouldRunTest(T2)",
                      "StartTest(T2)",
                      "AddFailure(T2,EStopTestsFailure,enough)",
                      "EndTest(T2)",
                      "EndSuite(TStopper)",
                      "AddSuccess(TStopper)",
                      "EndTest(TStopper)",
                      "EndSuite(R)",
                      "AddSuccess(R)",
                      "EndTest(R)",
                      "TestingEnds"};
    CheckLines(expected, log);
    CheckTrue(r.WasStopped());
    CheckFalse(r.WasSuccessful());
    CheckEquals(2, r.RunCount());
    CheckEquals(1, r.FailureCount());
  }

  TESSEL_TEST(TestStopFromAListenerEndsTheRun) {
    struct TStopAfterFirst : TRecordingListener {
      TTestResult* Result = nullptr;
      using TRecordingListener::TRecordingListener;
      void EndTest(const ITestPtr& t) override {
        TRecordingListener::EndTest(t);
        if (t->GetName() == "T1") Result->Stop();
      }
    };
    Lines log;
    auto l = std::make_shared<TStopAfterFirst>(&log);
    TTestResult r;
    l->Result = &r;
    r.AddListener(l);
    TStopper::Suite()->Run(r);
    CheckEquals(1, r.RunCount());
    CheckTrue(r.WasStopped());
    CheckFalse(r.WasSuccessful(), "a stopped run is not successful even without failures");
    CheckEquals(0, r.FailureCount() + r.ErrorCount());
  }

  TESSEL_TEST(TestListenerThatThrowsIsRecordedOnTheEnclosingSuite) {
    Lines log;
    auto l = std::make_shared<TRecordingListenerX>(&log);
    l->ThrowAt = "AddSuccess(T1)";
    TTestResult r;
    r.AddListener(l);
    ITestPtr root = TestSuite("R", {std::make_shared<TStopper>("T1"), std::make_shared<TStopper>("T3")});
    root->Run(r);
    Lines expected = {"TestingStarts",    "ShouldRunTest(R)", "ShouldRunTest(R)", "StartTest(R)",
                      "StartSuite(R)",    "ShouldRunTest(T1)", "ShouldRunTest(T1)", "ShouldRunTest(T1)",
                      "StartTest(T1)",    "AddSuccess(T1)",   "EndTest(T1)",
                      "AddError(R,std::runtime_error,listener broke at AddSuccess(T1))",
                      "EndTest(R)",       "TestingEnds"};
    CheckLines(expected, log);
    CheckEquals(1, r.ErrorCount());
  }

  TESSEL_TEST(TestListenerThrowingWhileAFailureIsRecorded) {
    // The test's own failure or error is recorded first; the listener's
    // exception then goes to the enclosing suite, as from any other call.
    struct Case {
      const char* mode;
      const char* at;
      const char* record;
    } cases[] = {{"fail", "AddFailure(T", "AddFailure(T,ETestFailure,bad)"},
                 {"error", "AddError(T", "AddError(T,std::logic_error,oops)"},
                 {"int", "AddError(T", "AddError(T,int,42)"}};
    for (const Case& c : cases) {
      TSteered::Mode = c.mode;
      Lines log;
      auto l = std::make_shared<TRecordingListenerX>(&log);
      l->ThrowAt = c.at;
      TTestResult r;
      r.AddListener(l);
      Tree()->Run(r);
      TSteered::Mode.clear();
      Lines expected = {"TestingStarts",    "ShouldRunTest(R)", "ShouldRunTest(R)", "StartTest(R)",
                        "StartSuite(R)",    "ShouldRunTest(T)", "ShouldRunTest(T)", "ShouldRunTest(T)",
                        "StartTest(T)",     c.record,           "EndTest(T)",
                        std::string("AddError(R,std::runtime_error,listener broke at ") + c.record + ")",
                        "EndTest(R)",       "TestingEnds"};
      CheckLines(expected, log);
      CheckEquals(c.mode == std::string("fail") ? 1 : 2, r.ErrorCount(), c.mode);
      CheckEquals(c.mode == std::string("fail") ? 1 : 0, r.FailureCount(), c.mode);
    }
  }

  TESSEL_TEST(TestReplacedRunTestSeesWhatThePlainOnePassesOn) {
    // A class that replaces RunTest and calls the inherited one sees every
    // exception leave it, and decides: passed on it is recorded as usual,
    // swallowed the test passes.
    for (bool swallow : {false, true}) {
      for (std::string mode : {"fail", "error", ""}) {
        TSteered::Mode = mode;
        TWrapped::Seen.clear();
        TWrapped::Swallow = swallow;
        Lines log = RunRecorded(TestSuite("R", {std::make_shared<TWrapped>("T")}), false);
        TSteered::Mode.clear();
        std::string tag = mode + (swallow ? " swallowed" : " passed on");
        if (mode == "fail") {
          CheckEquals("ETestFailure:bad\n", Joined(TWrapped::Seen), tag);
          CheckLines(Around({swallow ? "AddSuccess(T)" : "AddFailure(T,ETestFailure,bad)"}, false), log);
        } else if (mode == "error") {
          CheckEquals("std:oops\n", Joined(TWrapped::Seen), tag);
          CheckLines(Around({swallow ? "AddSuccess(T)" : "AddError(T,std::logic_error,oops)"}, false), log);
        } else {
          CheckEquals("returned\n", Joined(TWrapped::Seen), tag);
          CheckLines(Around({"AddSuccess(T)"}, false), log);
        }
      }
    }
  }

  TESSEL_TEST(TestListenerThrowingInTestingStartsReachesTheCaller) {
    auto l = std::make_shared<TRecordingListener>();
    l->ThrowAt = "TestingStarts";
    bool raised = false;
    try {
      TestFramework::RunTest(Tree(), {l});
    } catch (const std::runtime_error&) {
      raised = true;
    }
    CheckTrue(raised);
    CheckEquals(1, static_cast<int>(l->Log().size()), "nothing after TestingStarts");
  }

  TESSEL_TEST(TestVetoSkipsANode) {
    Lines log;
    auto l = std::make_shared<TRecordingListener>(&log);
    l->Veto = {"T2"};
    TTestResult r;
    r.AddListener(l);
    TStopper::Suite()->Run(r);  // T2 would stop the run, but it is vetoed
    CheckEquals(2, r.RunCount());
    CheckTrue(r.WasSuccessful());
  }

  TESSEL_TEST(TestNoListenersRunsDisabledTestsToo) {
    auto suite = TStopper::Suite();
    suite->Tests()[0]->SetEnabled(false);
    TTestResult r;
    suite->Run(r);
    CheckEquals(2, r.RunCount(), "T1 and T2; T2 stops the run");
    CheckEquals(2, suite->CountEnabledTestCases());
    CheckEquals(3, suite->CountTestCases());
  }

  TESSEL_TEST(TestTwoRunsOnOneResultAddUp) {
    TSteered::Mode = "fail";
    TTestResult r;
    ITestPtr root = Tree();
    root->Run(r);
    root->Run(r);
    TSteered::Mode.clear();
    CheckEquals(2, r.RunCount());
    CheckEquals(2, r.FailureCount());
  }

  TESSEL_TEST(TestRunWithoutArgumentReturnsAResult) {
    auto t = std::make_shared<TSteered>("T");
    t->SetFailsOnNoChecksExecuted(true);
    std::unique_ptr<TTestResult> r = t->Run();
    CheckEquals(1, r->RunCount());
    CheckTrue(r->FailsIfNoChecksExecuted, "options travel from the test to the new result");
    CheckTrue(r->WasSuccessful());
  }

  TESSEL_TEST(TestStatusLinesAccumulateOverRuns) {
    auto t = std::make_shared<TSteered>("T");
    TSteered::Mode = "status";
    t->Run();
    t->Run();
    TSteered::Mode.clear();
    CheckEquals(std::string("halfway\r\nhalfway\r\n"), t->GetStatus());
  }

  TESSEL_TEST(TestRecordsWithoutLocation) {
    TTestResult r;
    ITestPtr t = std::make_shared<TSteered>("T");
    TTestFailure& f = r.AddFailure(t, TCodeLocation{}, "memory");
    CheckEquals(std::string("n/a"), f.AddressInfo());
    CheckEquals(std::string(), f.LocationInfo());
    CheckEquals(std::string(), f.StackTrace());
    CheckEquals(std::string("EPostTestFailure"), f.ThrownExceptionName());
  }

  TESSEL_TEST(TestFailureRecordKeepsTheCallersLine) {
    TSteered::Mode = "fail";
    TTestResult r;
    Tree()->Run(r);
    TSteered::Mode.clear();
    std::string where = r.GetFailure(0).LocationInfo();
    Check(where.find("RunLoopTests.cpp:") != std::string::npos, where);
  }

  TESSEL_TEST(TestElapsedTime) {
    auto t = std::make_shared<TSteered>("T");
    CheckEquals(0u, t->ElapsedTestTime(), "never started");
    t->SetStartTime(1000);
    t->SetStopTime(1000 + 2'500'000'000LL);  // nanosecond ticks
    CheckEquals(2500u, t->ElapsedTestTime());
  }

  TESSEL_TEST(TestBadInputGivesClearErrors) {
    auto suite = std::make_shared<TTestSuite>("S");
    CheckException([&] { suite->AddTest(nullptr); }, ExceptionClassOf<ETesselException>());
    TTestResult r;
    CheckException([&] { r.AddListener(nullptr); }, ExceptionClassOf<ETesselException>());
    CheckEquals(std::string("TObject"), std::make_shared<TTestSuite>()->GetName());
  }

  TESSEL_TEST(TestUnknownMethodIsAnError) {
    TTestResult r;
    std::make_shared<TSteered>("NoSuchMethod")->Run(r);
    CheckEquals(1, r.ErrorCount());
    CheckEquals(std::string("ETestError"), r.GetError(0).ThrownExceptionName());
    CheckEquals(std::string("No test method named \"NoSuchMethod\" in class TSteered"),
                r.GetError(0).ThrownExceptionMessage());
  }

  TESSEL_TEST(TestMessagesOfAnyLength) {
    const std::string huge(1 << 20, 'x');
    TTestResult r;
    TLong::Msg = huge;
    TLong::Suite()->Run(r);
    CheckEquals(static_cast<uint64_t>(huge.size() + 28), r.GetFailure(0).ThrownExceptionMessage().size());
  }
};

TESSEL_REGISTER("Core.RunLoop", TRunLoopTests);

}  // namespace
