// The process-wide registry: suite paths, the root, clearing, the run entry
// points and the one-line registration macro.
//
// These tests clear and refill the registry while the program's own run is
// going on; that run holds its root, so it is not disturbed.
#include <unistd.h>

#include <string>
#include <vector>

#include "framework/TestFramework.h"
#include "platform/Paths.h"

using namespace TestFramework;

#ifndef TESSEL_EXPECTED_ROOT
#error "TESSEL_EXPECTED_ROOT names the module the framework is linked into"
#endif

namespace {

class TLeaf : public TTestCase {
  TESSEL_TESTCASE(TLeaf, TTestCase)
 public:
  TESSEL_TEST(Works) { Check(true); }
};

class TMacroRegistered : public TTestCase {
  TESSEL_TESTCASE(TMacroRegistered, TTestCase)
 public:
  TESSEL_TEST(First) { Check(true); }
  TESSEL_TEST(Second) { Check(true); }
};

// Registered twice on purpose: duplicates are allowed and run twice.
TESSEL_REGISTER("Registry.Macro", TMacroRegistered);
TESSEL_REGISTER("Registry.Macro", TMacroRegistered);
// Taken right after the registrations above, before any test clears the registry.
const ITestSuitePtr gRootAfterStaticRegistration = RegisteredTests();

ITestPtr Leaf(const std::string& name) { return std::make_shared<TLeaf>(name); }

// "name{child,child}" for suites, "name" for anything else.
std::string Describe(const ITestPtr& t) {
  std::string s = t->GetName();
  if (!Supports<ITestSuite>(t)) return s;
  s += '{';
  bool first = true;
  for (const ITestPtr& child : t->Tests()) {
    if (!first) s += ',';
    first = false;
    s += Describe(child);
  }
  return s + '}';
}

std::string DescribeRegistry() {
  ITestSuitePtr root = RegisteredTests();
  if (!root) return "<none>";
  std::string s;
  for (const ITestPtr& child : root->Tests()) s += (s.empty() ? "" : ",") + Describe(child);
  return s;
}

// Records every listener call as "tag:Operation".
class TRecordingListener : public ITestListenerX {
 public:
  TRecordingListener(std::vector<std::string>& log, std::string tag) : FLog(log), FTag(std::move(tag)) {}
  void Status(const ITestPtr&, const std::string&) override { Add("Status"); }
  void TestingStarts() override { Add("TestingStarts"); }
  void StartTest(const ITestPtr& t) override { Add("StartTest " + t->GetName()); }
  void AddSuccess(const ITestPtr&) override { Add("AddSuccess"); }
  void AddError(TTestFailure&) override { Add("AddError"); }
  void AddFailure(TTestFailure&) override { Add("AddFailure"); }
  void EndTest(const ITestPtr&) override { Add("EndTest"); }
  void TestingEnds(TTestResult&) override { Add("TestingEnds"); }
  bool ShouldRunTest(const ITestPtr&) override { return true; }
  void StartSuite(const ITestPtr&) override { Add("StartSuite"); }
  void EndSuite(const ITestPtr&) override { Add("EndSuite"); }

 private:
  void Add(const std::string& what) { FLog.push_back(FTag + ":" + what); }
  std::vector<std::string>& FLog;
  std::string FTag;
};

class TRegistryTests : public TTestCase {
  TESSEL_TESTCASE(TRegistryTests, TTestCase)
 public:
  void SetUp() override { ClearRegistry(); }
  void TearDown() override { ClearRegistry(); }

  TESSEL_TEST(TestPathsSplitAtDotThenBackslashThenSlash) {
    struct {
      const char* Path;
      const char* Tree;
    } const cases[] = {
        {"", "t"},
        {"A", "A{t}"},
        {"Db.Orders", "Db{Orders{t}}"},
        {"A/B.C", "A/B{C{t}}"},      // a dot wins wherever it stands
        {"A/B\\C", "A/B{C{t}}"},     // then a backslash, before a slash
        {"A\\B/C", "A{B{C{t}}}"},    // the rest is split again
        {"A/B", "A{B{t}}"},
        {"A.", "A{t}"},              // nothing after the dot: into A
        {".A", "{A{t}}"},            // a suite with an empty name on the way
        {"A..B", "A{{B{t}}}"},
        {"A/", "A{t}"},
        {"Sales.Orders.2024", "Sales{Orders{2024{t}}}"},
    };
    for (const auto& c : cases) {
      ClearRegistry();
      RegisterTest(c.Path, Leaf("t"));
      CheckEquals(std::string(c.Tree), DescribeRegistry(), std::string("path \"") + c.Path + "\"");
    }
  }

  TESSEL_TEST(TestSamePathCollectsTestsInRegistrationOrder) {
    RegisterTest("Db.Orders", Leaf("a"));
    RegisterTest("Db.Customers", Leaf("b"));
    RegisterTest("Db/Orders", Leaf("c"));
    RegisterTest("db.Orders", Leaf("d"));  // names are case-sensitive
    RegisterTest(Leaf("e"));
    CheckEquals("Db{Orders{a,c},Customers{b}},db{Orders{d}},e", DescribeRegistry());
  }

  TESSEL_TEST(TestRegisterTestsKeepsArrayOrder) {
    RegisterTests("P", {Leaf("a"), Leaf("b"), Leaf("c")});
    RegisterTests({Leaf("d"), Leaf("e")});
    RegisterTests("Q", {});
    CheckEquals("P{a,b,c},d,e", DescribeRegistry());
  }

  TESSEL_TEST(TestChildWithWantedNameThatIsNoSuiteIsSkipped) {
    RegisterTest(Leaf("Db"));
    RegisterTest("Db", Leaf("t"));
    RegisterTest("Db", Leaf("u"));
    CheckEquals("Db,Db{t,u}", DescribeRegistry());
    const TInterfaceList& children = RegisteredTests()->Tests();
    CheckNull(Supports<ITestSuite>(children.at(0)), "the test case stays a test case");
    CheckNotNull(Supports<ITestSuite>(children.at(1)), "the new child is a suite");
  }

  TESSEL_TEST(TestSameTestRegisteredTwiceRunsTwice) {
    ITestPtr t = Leaf("Works");
    RegisterTest("P", t);
    RegisterTest("P", t);
    auto result = TestFramework::RunRegisteredTests({});
    CheckEquals(2, result->RunCount());
    CheckTrue(result->WasSuccessful());
  }

  TESSEL_TEST(TestEmptyTestIsRejectedAndNothingIsLost) {
    CheckException([] { RegisterTest("A.B", nullptr); }, &ETesselException::ClassInfo());
    CheckEquals("<none>", DescribeRegistry(), "no root made for an empty test");
    CheckException([] { RegisterTest(nullptr); }, &ETesselException::ClassInfo());

    RegisterTest("P", Leaf("a"));
    CheckException([] { RegisterTests("P", {Leaf("b"), nullptr, Leaf("c")}); }, &ETesselException::ClassInfo());
    CheckEquals("P{a,b}", DescribeRegistry(), "registrations before the empty one are kept");
  }

  TESSEL_TEST(TestRegisteringASuiteBelowItselfIsRejected) {
    RegisterTest("Db.Orders", Leaf("a"));
    ITestSuitePtr root = RegisteredTests();
    ITestPtr db = root->Tests().at(0);
    CheckException([&] { RegisterTest("All", root); }, &ETesselException::ClassInfo(), "root under itself");
    CheckException([&] { RegisterTest(root); }, &ETesselException::ClassInfo(), "root directly under itself");
    CheckException([&] { RegisterTest("Db.Orders.More", db); }, &ETesselException::ClassInfo(), "Db under Db");
    auto outer = TestSuite("Outer", {db});
    CheckException([&] { RegisterTest("Db", outer); }, &ETesselException::ClassInfo(), "Db inside what is added");
    CheckEquals("Db{Orders{a}}", DescribeRegistry(), "nothing added by the rejected registrations");
    // The same suite beside itself is no loop: it merely runs twice.
    RegisterTest("Again", db);
    CheckEquals("Db{Orders{a}},Again{Db{Orders{a}}}", DescribeRegistry());
  }

  TESSEL_TEST(TestClearRegistryThenFreshRoot) {
    ITestPtr a = Leaf("a");
    RegisterTest("P", a);
    ITestSuitePtr first = RegisteredTests();
    ClearRegistry();
    CheckNull(RegisteredTests(), "nothing registered after clearing");
    RegisterTest("Q", Leaf("b"));
    ITestSuitePtr second = RegisteredTests();
    CheckNotNull(second);
    CheckFalse(first == second, "a new root");
    CheckEquals("Q{b}", DescribeRegistry());
    CheckEquals(first->GetName(), second->GetName());
    CheckEquals("P{a}", Describe(first->Tests().at(0)), "a holder of the old root keeps its tree");
  }

  TESSEL_TEST(TestRootIsNamedAfterTheFrameworkModule) {
    RegisterTest(Leaf("t"));
    CheckEquals(std::string(TESSEL_EXPECTED_ROOT), RegisteredTests()->GetName());
    CheckEquals(std::string(TESSEL_EXPECTED_ROOT), gRootAfterStaticRegistration->GetName());
  }

  TESSEL_TEST(TestStaticRegistrationRanBeforeMain) {
    CheckNotNull(gRootAfterStaticRegistration);
    ITestPtr registry = gRootAfterStaticRegistration->Tests().at(0);
    CheckEquals("Registry", registry->GetName());
    CheckEquals("Macro{TMacroRegistered{First,Second},TMacroRegistered{First,Second}}",
                Describe(registry->Tests().at(0)));
  }

  TESSEL_TEST(TestRunTestWithNoSuiteLeavesResultUntouched) {
    std::vector<std::string> log;
    auto result = TestFramework::RunTest(nullptr, {std::make_shared<TRecordingListener>(log, "1")});
    CheckEquals(0, result->RunCount());
    CheckEquals(0, result->FailureCount() + result->ErrorCount());
    CheckTrue(log.empty(), "no listener call");
    auto fromEmpty = TestFramework::RunRegisteredTests({std::make_shared<TRecordingListener>(log, "2")});
    CheckEquals(0, fromEmpty->RunCount());
    CheckTrue(log.empty(), "no listener call for an empty registry");
  }

  TESSEL_TEST(TestRunRegisteredTestsRunsTheRootWithListenersInOrder) {
    RegisterTests("P", {Leaf("Works"), Leaf("Works")});
    std::vector<std::string> log;
    auto result = TestFramework::RunRegisteredTests(
        {std::make_shared<TRecordingListener>(log, "1"), std::make_shared<TRecordingListener>(log, "2")});
    CheckEquals(2, result->RunCount());
    CheckTrue(log.size() > 4);
    CheckEquals("1:TestingStarts", log.at(0));
    CheckEquals("2:TestingStarts", log.at(1));
    CheckEquals("1:StartTest " + RegisteredTests()->GetName(), log.at(2), "the root is run");
    CheckEquals("1:TestingEnds", log.at(log.size() - 2));
    CheckEquals("2:TestingEnds", log.at(log.size() - 1));
  }

  TESSEL_TEST(TestSuiteIsBuiltButNotRegistered) {
    ITestSuitePtr s = TestSuite("X", {Leaf("a"), Leaf("b")});
    CheckEquals("X{a,b}", Describe(s));
    CheckNull(RegisteredTests());
  }

  TESSEL_TEST(TestDataDirIsTheProgramsDirectory) {
    std::string dir = TestDataDir();
    CheckTrue(!dir.empty() && dir.back() == '/', "ends with a separator: " + dir);
    std::string self = dir + Platform::ExtractFileName(Platform::ProgramPath());
    CheckEquals(0, ::access(self.c_str(), X_OK), "the program lies in " + dir);
  }

  TESSEL_TEST(TestRegistryKeyPrefix) {
    std::string saved = GetTesselRegistryKey();
    SetTesselRegistryKey("Software/Tessel/Tests");
    CheckEquals("Software/Tessel/Tests", GetTesselRegistryKey());
    SetTesselRegistryKey(saved);
    CheckEquals(saved, GetTesselRegistryKey());
  }
};

TESSEL_REGISTER("Registry", TRegistryTests);

}  // namespace
