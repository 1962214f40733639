// testing::UnitTest and its event listeners, and the bridge: a Tessel
// listener that keeps UnitTest's results and calls the event listeners from
// the run loop's events alone (starts and ends of nodes, failure records,
// status lines, times), never from the test objects, so that it works the
// same wherever the tests themselves ran.
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "Internal.h"

namespace testing {

using namespace TestFramework;
using namespace internal;

// ---------------------------------------------------------------------------
// Listeners

TestEventListeners::TestEventListeners() = default;
TestEventListeners::~TestEventListeners() {
  for (TestEventListener* l : listeners_) delete l;
}

void TestEventListeners::Append(TestEventListener* listener) {
  if (listener) listeners_.push_back(listener);
}

TestEventListener* TestEventListeners::Release(TestEventListener* listener) {
  if (listener == default_result_printer_) default_result_printer_ = nullptr;
  if (listener == default_xml_generator_) default_xml_generator_ = nullptr;
  auto it = std::find(listeners_.begin(), listeners_.end(), listener);
  if (it == listeners_.end()) return nullptr;
  listeners_.erase(it);
  return listener;
}

namespace internal {

void UnitTestState::SetDefaultPrinter(TestEventListeners& l, TestEventListener* p) {
  if (l.default_result_printer_ != nullptr) delete l.Release(l.default_result_printer_);
  l.default_result_printer_ = p;
  // The printer goes first: it prints a test's start before any other
  // listener acts, and its end after them.
  if (p) l.listeners_.insert(l.listeners_.begin(), p);
}

void UnitTestState::SetDefaultXmlGenerator(TestEventListeners& l, TestEventListener* p) {
  if (l.default_xml_generator_ != nullptr) delete l.Release(l.default_xml_generator_);
  l.default_xml_generator_ = p;
  if (p) {
    auto at = l.listeners_.begin();
    if (l.default_result_printer_) at = std::find(l.listeners_.begin(), l.listeners_.end(), l.default_result_printer_) + 1;
    l.listeners_.insert(at, p);
  }
}

TimeInMillis NowMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string FullName(const TestInfo& t) { return std::string(t.test_suite_name()) + "." + t.name(); }

}  // namespace internal

// ---------------------------------------------------------------------------
// UnitTest

UnitTest::UnitTest() : state_(&UnitTestState::Get()) {}
UnitTest::~UnitTest() = default;

UnitTest* UnitTest::GetInstance() {
  static auto* instance = new UnitTest();  // outlives the exit of static objects
  return instance;
}

const char* UnitTest::original_working_dir() const { return state_->OriginalWorkingDir.c_str(); }

const TestSuite* UnitTest::current_test_suite() const {
  TRunningContext* ctx = CurrentContext();
  if (ctx && ctx->Info) return state_->SuiteByName.at(ctx->Info->test_suite_name());
  return state_->CurrentSuite;
}

const TestInfo* UnitTest::current_test_info() const {
  TRunningContext* ctx = CurrentContext();
  if (ctx && ctx->Info) return ctx->Info;
  return state_->CurrentTest;
}

int UnitTest::random_seed() const { return state_->RandomSeed; }

namespace {
template <class Pred>
int CountSuites(const std::vector<TestSuite*>& suites, Pred pred) {
  int n = 0;
  for (const TestSuite* s : suites) n += pred(*s) ? 1 : 0;
  return n;
}
template <class Count>
int SumSuites(const std::vector<TestSuite*>& suites, Count count) {
  int n = 0;
  for (const TestSuite* s : suites) n += count(*s);
  return n;
}
}  // namespace

int UnitTest::successful_test_suite_count() const {
  return CountSuites(state_->Suites, [](const TestSuite& s) { return s.should_run() && s.Passed(); });
}
int UnitTest::failed_test_suite_count() const {
  return CountSuites(state_->Suites, [](const TestSuite& s) { return s.should_run() && s.Failed(); });
}
int UnitTest::total_test_suite_count() const { return static_cast<int>(state_->Suites.size()); }
int UnitTest::test_suite_to_run_count() const {
  return CountSuites(state_->Suites, [](const TestSuite& s) { return s.should_run(); });
}
int UnitTest::successful_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.successful_test_count(); });
}
int UnitTest::skipped_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.skipped_test_count(); });
}
int UnitTest::failed_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.failed_test_count(); });
}
int UnitTest::reportable_disabled_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.reportable_disabled_test_count(); });
}
int UnitTest::disabled_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.disabled_test_count(); });
}
int UnitTest::reportable_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.reportable_test_count(); });
}
int UnitTest::total_test_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.total_test_count(); });
}
int UnitTest::test_to_run_count() const {
  return SumSuites(state_->Suites, [](const TestSuite& s) { return s.test_to_run_count(); });
}
TimeInMillis UnitTest::start_timestamp() const { return state_->StartTimestamp; }
TimeInMillis UnitTest::elapsed_time() const { return state_->ElapsedTime; }
bool UnitTest::Failed() const { return failed_test_suite_count() > 0 || ad_hoc_test_result().Failed(); }
const TestSuite* UnitTest::GetTestSuite(int i) const {
  return i < 0 || i >= total_test_suite_count() ? nullptr : state_->Suites[static_cast<size_t>(i)];
}
const TestResult& UnitTest::ad_hoc_test_result() const { return state_->AdHoc; }
TestEventListeners& UnitTest::listeners() { return state_->Listeners; }

Environment* AddGlobalTestEnvironment(Environment* env) {
  if (env) UnitTestState::Get().Environments.emplace_back(env);
  return env;
}

// ---------------------------------------------------------------------------
// The bridge

namespace internal {

class TEventBridge : public ITestListenerX {
 public:
  void ProgramStart() { Forward([&](TestEventListener& l) { l.OnTestProgramStart(*UnitTest::GetInstance()); }); }
  void ProgramEnd() { Backward([&](TestEventListener& l) { l.OnTestProgramEnd(*UnitTest::GetInstance()); }); }
  void SetIteration(int iteration, bool first, bool last) {
    FIteration = iteration;
    FFirstWithTests = first;
    FLastWithTests = last;
  }

  void TestingStarts() override {
    UnitTestState& s = UnitTestState::Get();
    // Only results a previous repetition filled: the objects were made before
    // the workers were forked, and a write to their pages here would copy them.
    for (TestSuite* suite : s.Suites) {
      UnitTestState::ClearIfUsed(UnitTestState::ResultOf(*suite));
      for (TestInfo* t : UnitTestState::TestsOf(*suite)) UnitTestState::ClearIfUsed(UnitTestState::ResultOf(*t));
    }
    s.StartTimestamp = NowMillis();
    FStarted = std::chrono::steady_clock::now();
    s.ElapsedTime = 0;
    for (const TestPartResult& part : TakePendingParts()) UnitTestState::AddPart(s.AdHoc, part);
    Forward([&](TestEventListener& l) { l.OnTestIterationStart(*UnitTest::GetInstance(), FIteration); });
  }

  // Tests first: they are nearly every node, and never a suite or the root.
  void StartTest(const ITestPtr& node) override {
    UnitTestState& s = UnitTestState::Get();
    if (TestInfo* info = InfoOfNode(node.get())) {
      EmitDisabledBefore(info);
      s.CurrentTest = info;
      FTestStart = NowMillis();
      Forward([&](TestEventListener& l) { l.OnTestStart(*info); });
    } else if (IsRootNode(node.get())) {
      if (FFirstWithTests)
        Forward([&](TestEventListener& l) { l.OnEnvironmentsSetUpStart(*UnitTest::GetInstance()); });
    } else if (TestSuite* suite = SuiteOfNode(node.get())) {
      s.CurrentSuite = suite;
      FSuiteNode = node.get();
      FNextDisabled = 0;
      FSuiteStart = NowMillis();
      Forward([&](TestEventListener& l) {
        l.OnTestSuiteStart(*suite);
        l.OnTestCaseStart(*suite);
      });
    }
  }

  void StartSuite(const ITestPtr& node) override {
    if (IsRootNode(node.get()) && FFirstWithTests)
      Forward([&](TestEventListener& l) { l.OnEnvironmentsSetUpEnd(*UnitTest::GetInstance()); });
  }

  void EndSuite(const ITestPtr& node) override {
    if (IsRootNode(node.get()) && FLastWithTests)
      Forward([&](TestEventListener& l) { l.OnEnvironmentsTearDownStart(*UnitTest::GetInstance()); });
  }

  void EndTest(const ITestPtr& node) override {
    UnitTestState& s = UnitTestState::Get();
    if (TestInfo* info = InfoOfNode(node.get())) {
      TestResult& r = UnitTestState::ResultOf(*info);
      UnitTestState::SetTimes(r, FTestStart, node->ElapsedTestTime());
      // A listener's failure in OnTestEnd belongs to this test (a leak
      // checker's, say): the node is current while they run.
      TRunningContext ctx;
      ctx.Result = gRunResult;
      ctx.Node = &node;
      ctx.Info = info;
      TRunningScope scope(ctx);
      Backward([&](TestEventListener& l) { l.OnTestEnd(*info); });
      s.CurrentTest = nullptr;
    } else if (IsRootNode(node.get())) {
      if (FLastWithTests)
        Backward([&](TestEventListener& l) { l.OnEnvironmentsTearDownEnd(*UnitTest::GetInstance()); });
    } else if (TestSuite* suite = SuiteOfNode(node.get())) {
      EmitDisabledBefore(nullptr);
      UnitTestState::SetSuiteTimes(*suite, FSuiteStart, node->ElapsedTestTime());
      Backward([&](TestEventListener& l) {
        l.OnTestSuiteEnd(*suite);
        l.OnTestCaseEnd(*suite);
      });
      s.CurrentSuite = nullptr;
      FSuiteNode = nullptr;
    }
  }

  void AddFailure(TTestFailure& failure) override { Record(failure); }
  void AddError(TTestFailure& error) override { Record(error); }
  void AddSuccess(const ITestPtr&) override {}

  void Status(const ITestPtr& node, const std::string& msg) override {
    TestPartResult::Type type;
    std::string file, message, key, value;
    int line = -1;
    if (ParsePartStatusLine(msg, type, file, line, message)) {
      Add(node, TestPartResult(type, file.c_str(), line, message.c_str()));
    } else if (ParsePropertyStatusLine(msg, key, value)) {
      UnitTestState::AddProperty(ResultFor(node), TestProperty(key, value));
    }
  }

  void TestingEnds(TTestResult&) override {
    UnitTestState& s = UnitTestState::Get();
    s.ElapsedTime = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - FStarted)
                        .count();
    s.CurrentSuite = nullptr;
    s.CurrentTest = nullptr;
    Backward([&](TestEventListener& l) { l.OnTestIterationEnd(*UnitTest::GetInstance(), FIteration); });
  }

  bool ShouldRunTest(const ITestPtr& node) override { return WillRunNode(node); }

 private:
  template <class F>
  void Forward(F&& f) {
    auto& ls = UnitTestState::ListenersOf(UnitTestState::Get().Listeners);
    for (size_t i = 0; i < ls.size(); ++i) f(*ls[i]);
  }
  template <class F>
  void Backward(F&& f) {
    auto& ls = UnitTestState::ListenersOf(UnitTestState::Get().Listeners);
    for (size_t i = ls.size(); i-- > 0;) f(*ls[i]);
  }

  TestResult& ResultFor(const ITestPtr& node) {
    if (TestInfo* info = InfoOfNode(node.get())) return UnitTestState::ResultOf(*info);
    if (TestSuite* suite = SuiteOfNode(node.get())) return UnitTestState::ResultOf(*suite);
    return UnitTestState::Get().AdHoc;
  }

  void Add(const ITestPtr& node, const TestPartResult& part) {
    UnitTestState::AddPart(ResultFor(node), part);
    Forward([&](TestEventListener& l) { l.OnTestPartResult(part); });
  }

  void Record(TTestFailure& f) {
    const TClass* cls = f.ThrownExceptionClass();
    const bool nonFatal = cls && cls->InheritsFrom(&ENonFatalFailure::ClassInfo());
    TCodeLocation loc = f.ThrownExceptionAddress();
    std::string message = f.ThrownExceptionMessage();
    // Records of Tessel's own (a crash, a time limit) say what they are.
    if (!cls || !(cls->InheritsFrom(&EFatalFailure::ClassInfo()) || nonFatal))
      message = f.ThrownExceptionName() + ": " + message;
    Add(f.FailedTest(), TestPartResult(nonFatal ? TestPartResult::kNonFatalFailure : TestPartResult::kFatalFailure,
                                       loc.HasSource() ? loc.File : nullptr, loc.HasSource() ? int(loc.Line) : -1,
                                       message.c_str()));
  }

  // The disabled tests of the current suite up to the next test to run
  // (all the rest when there is none), in the suite's run order.
  void EmitDisabledBefore(const TestInfo* next) {
    const TestSuite* suite = UnitTestState::Get().CurrentSuite;
    if (!suite) return;
    if (!FSuiteNode) return;
    const TInterfaceList& children = FSuiteNode->Tests();
    for (; FNextDisabled < children.size(); ++FNextDisabled) {
      TestInfo* info = InfoOfNode(children[FNextDisabled].get());
      if (!info) continue;
      if (info == next) {
        ++FNextDisabled;
        return;
      }
      if (UnitTestState::IsDisabled(*info) && UnitTestState::MatchesFilter(*info) && !info->should_run())
        Forward([&](TestEventListener& l) { l.OnTestDisabled(*info); });
    }
  }

  int FIteration = 0;
  ITest* FSuiteNode = nullptr;  // the suite started last
  bool FFirstWithTests = true;
  bool FLastWithTests = true;
  size_t FNextDisabled = 0;
  TimeInMillis FSuiteStart = 0;
  TimeInMillis FTestStart = 0;
  std::chrono::steady_clock::time_point FStarted;
};

std::shared_ptr<TEventBridge> MakeEventBridge() { return std::make_shared<TEventBridge>(); }
void BridgeProgramStart(TEventBridge& bridge) { bridge.ProgramStart(); }
void BridgeProgramEnd(TEventBridge& bridge) { bridge.ProgramEnd(); }
void BridgeSetIteration(TEventBridge& bridge, int iteration, bool first, bool last) {
  bridge.SetIteration(iteration, first, last);
}
ITestListenerPtr AsListener(const std::shared_ptr<TEventBridge>& bridge) { return bridge; }

}  // namespace internal
}  // namespace testing
