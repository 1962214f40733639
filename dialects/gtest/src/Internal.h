// The dialect's run-time, inside the library: the Tessel nodes that run
// the tests, the state behind testing::UnitTest, and the listener that turns
// the run loop's events into GoogleTest's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/TestFramework.h"
#include "gtest/gtest.h"

namespace testing::internal {

using TestFramework::ITestPtr;
using TestFramework::TTestResult;

// The failure records a test's assertions leave, by kind: the class tells
// the listeners (here and after a replay in another process) which was which.
class EFatalFailure : public TestFramework::ETestFailure {
  TESSEL_EXCEPTION_CLASS(EFatalFailure, ETestFailure)
};
class ENonFatalFailure : public TestFramework::ETestFailure {
  TESSEL_EXCEPTION_CLASS(ENonFatalFailure, ETestFailure)
};

// Status lines that carry what a report needs besides failures. They are
// ordinary status lines, so they travel wherever the run loop's events do,
// and read well in Tessel's own reports.
inline constexpr const char kSkippedAt[] = "Skipped at ";
inline constexpr const char kSucceededAt[] = "Succeeded at ";
inline constexpr const char kProperty[] = "Property ";
std::string LocationText(const char* file, int line);  // "file:line", "file", or "unknown file"
std::string PartStatusLine(TestPartResult::Type type, const char* file, int line, const std::string& message);
std::string PropertyStatusLine(const std::string& key, const std::string& value);
// Reads a status line back; false when it is none of the dialect's.
bool ParsePartStatusLine(const std::string& line, TestPartResult::Type& type, std::string& file, int& line_,
                         std::string& message);
bool ParsePropertyStatusLine(const std::string& line, std::string& key, std::string& value);

// The fixture's members that the run calls.
struct FixtureAccess {
  static void SetUp(Test& t) { t.SetUp(); }
  static void TestBody(Test& t) { t.TestBody(); }
  static void TearDown(Test& t) { t.TearDown(); }
};

// ---------------------------------------------------------------------------
// Where the running code's assertions go: the node that runs and its result.

struct TRunningContext {
  TTestResult* Result = nullptr;
  // The running node's reference, the run's own where it has one (see
  // TRunRef): a copy would write the node's reference count, in pages a
  // worker shares with the supervisor.
  const ITestPtr* Node = nullptr;
  TestInfo* Info = nullptr;  // when the node is a test
  const void* Param = nullptr;
  bool FatalFailure = false;
  bool NonFatalFailure = false;
  bool Skipped = false;
};

// Makes ctx current for as long as it lives.
class TRunningScope {
 public:
  explicit TRunningScope(TRunningContext& ctx);
  ~TRunningScope();
  TRunningScope(const TRunningScope&) = delete;
  TRunningScope& operator=(const TRunningScope&) = delete;

 private:
  TRunningContext* FPrevious;
};
TRunningContext* CurrentContext();

// Reports an assertion's part result; the message is complete but for the
// traces, which are added here.
void ReportPart(TestPartResult::Type type, const char* file, int line, std::string message);
// What a caught exception becomes: "C++ exception with description ..."
void ReportException(const char* where);
// True in a death test's child, where failures go to standard error only.
extern bool gInDeathTestChild;

// ---------------------------------------------------------------------------
// The state behind UnitTest.

struct TTestNode;
struct TSuiteNode;
struct TRootNode;

struct UnitTestState {
  static UnitTestState& Get();

  std::vector<TestSuite*> Suites;  // in registration order
  std::unordered_map<std::string, TestSuite*> SuiteByName;
  TestSuite* LastSuite = nullptr;  // the suite registered to last, and its class description
  TestSuite* LastClassSuite = nullptr;
  const TestFramework::TClass* LastClass = nullptr;
  std::vector<std::unique_ptr<Environment>> Environments;
  TestEventListeners Listeners;
  TestResult AdHoc;
  TimeInMillis StartTimestamp = 0;
  TimeInMillis ElapsedTime = 0;
  int RandomSeed = 0;
  bool Initialized = false;    // InitGoogleTest ran (or the run made up for it)
  bool ParamsRegistered = false;
  std::vector<ParamSuiteBase_*> ParamSuites;
  std::string OriginalWorkingDir;
  // The suite and test whose events the listeners hear now.
  const TestSuite* CurrentSuite = nullptr;
  const TestInfo* CurrentTest = nullptr;
  // Tessel options given on the command line, left for RUN_ALL_TESTS.
  std::vector<std::string> TesselArgs;
  std::vector<std::string> BadFlags;  // --gtest_ options that were not understood
  std::string ProgramPath;
  // Every suite node, and so every test node, for the life of the process,
  // as the suites and tests themselves. They are the dialect's own objects,
  // whose destructors do nothing a program needs at its exit, and destroying
  // them would write every page of the tree: in a supervised run, a
  // copy-on-write fault per page in a process that ran no test.
  std::vector<ITestPtr> KeptNodes;

  TestSuite* SuiteNamed(const std::string& name, const char* typeParam, SetUpTestSuiteFunc setUp,
                        TearDownTestSuiteFunc tearDown);
  TestInfo* AddTest(const std::string& suite, const std::string& name, const char* typeParam,
                    const char* valueParam, const char* file, int line, TestFactoryFn factory,
                    CallableFactoryBase_* callable, SetUpTestSuiteFunc setUp, TearDownTestSuiteFunc tearDown,
                    const void* param);
  void RegisterParamTests();

  // For the bridge, which fills the results from the run's events.
  static TestResult& ResultOf(TestInfo& t) { return *t.result_; }
  static TestResult& ResultOf(TestSuite& s) { return s.run_->AdHoc; }
  static void AddPart(TestResult& r, const TestPartResult& part) { r.parts_.push_back(part); }
  static void AddProperty(TestResult& r, const TestProperty& p);
  static void SetTimes(TestResult& r, TimeInMillis start, TimeInMillis elapsed) {
    r.start_timestamp_ = start;
    r.elapsed_time_ = elapsed;
  }
  static void ClearIfUsed(TestResult& r) {
    if (!r.parts_.empty() || !r.properties_.empty() || r.elapsed_time_ || r.start_timestamp_) r = TestResult();
  }
  static void SetSuiteTimes(TestSuite& s, TimeInMillis start, TimeInMillis elapsed) {
    s.run_->Start = start;
    s.run_->Elapsed = elapsed;
  }
  static std::vector<TestInfo*>& TestsOf(TestSuite& s) { return s.tests_; }
  static const std::vector<TestInfo*>& TestsOf(const TestSuite& s) { return s.tests_; }
  static Test* CreateFixture(const TestInfo& t) { return t.callable_ ? t.callable_->Create() : t.factory_(); }
  static void* NodeOf(const TestInfo& t) { return t.node_; }
  static void* NodeOf(const TestSuite& s) { return s.node_; }
  static void SetSelection(TestInfo& t, bool disabled, bool matches, bool otherShard, bool shouldRun) {
    t.is_disabled_ = disabled;
    t.matches_filter_ = matches;
    t.is_in_another_shard_ = otherShard;
    t.should_run_ = shouldRun;
  }
  static bool IsDisabled(const TestInfo& t) { return t.is_disabled_; }
  static bool MatchesFilter(const TestInfo& t) { return t.matches_filter_; }
  static void SetShouldRun(TestSuite& s, bool run) { s.should_run_ = run; }
  static SetUpTestSuiteFunc SetUpOf(const TestSuite& s) { return s.set_up_; }
  static TearDownTestSuiteFunc TearDownOf(const TestSuite& s) { return s.tear_down_; }
  static std::vector<TestEventListener*>& ListenersOf(TestEventListeners& l) { return l.listeners_; }
  static void SetDefaultPrinter(TestEventListeners& l, TestEventListener* p);
  static void SetDefaultXmlGenerator(TestEventListeners& l, TestEventListener* p);
};

// The result of the run that is going on (the root node keeps it).
extern TTestResult* gRunResult;
// --gtest_fail_fast: a test failed, the rest of the run is skipped.
extern bool gFailFastTriggered;
// Part results reported where no node could take them (before the run).
std::vector<TestPartResult> TakePendingParts();

// The Tessel nodes of the tree.
ITestPtr NodeOfTest(const TestInfo& t);
TestInfo* InfoOfNode(const TestFramework::ITest* node);
TestSuite* SuiteOfNode(const TestFramework::ITest* node);
bool IsRootNode(const TestFramework::ITest* node);
// What the selection made of GoogleTest's filter, DISABLED_ and the shards
// says of a node.
bool WillRunNode(const ITestPtr& node);
// A root over the registered suites that sets the environments up and down.
std::shared_ptr<TestFramework::TTestSuite> MakeRootNode(const std::string& name, bool setUpEnvironments,
                                                         bool tearDownEnvironments);
void SetRootEnvironments(TestFramework::TTestSuite& root, bool setUp, bool tearDown);
// After the flags are read: the parameterised tests and the default listeners.
void PostFlagParsingInit();

// The listener that runs the event listeners from the run loop's events.
class TEventBridge;
std::shared_ptr<TEventBridge> MakeEventBridge();
void BridgeProgramStart(TEventBridge& bridge);
void BridgeProgramEnd(TEventBridge& bridge);
void BridgeSetIteration(TEventBridge& bridge, int iteration, bool firstWithTests, bool lastWithTests);
TestFramework::ITestListenerPtr AsListener(const std::shared_ptr<TEventBridge>& bridge);

// The default listeners.
TestEventListener* NewPrettyPrinter();
TestEventListener* NewBriefPrinter();
TestEventListener* NewXmlPrinter(const std::string& path);
TestEventListener* NewJsonPrinter(const std::string& path);
// --gtest_list_tests with --gtest_output: the list as an XML or JSON
// document; false when it could not be written (the reason printed).
bool WriteTestList(const std::string& kind, const std::string& path);

// Milliseconds since the epoch, as GoogleTest's timestamps.
TimeInMillis NowMillis();
// "Suite.Test" as the filter and the reports spell it.
std::string FullName(const TestInfo& t);
// The console printer flushes after each test's start line and each suite's
// lines when the tests run in this process, so that what a test writes to
// stderr follows them; a supervised run copies the tests' output only after
// flushing the printer's.
extern bool gFlushEachTest;
// Whether stdout gets colours (--gtest_color and the terminal).
bool ShouldUseColor();
// Whether the filter in GoogleTest's syntax chooses the full name.
bool FilterMatches(const std::string& filter, const std::string& fullName);
// The demangled name of a type.
std::string DemangledName(const char* mangled);

}  // namespace testing::internal
