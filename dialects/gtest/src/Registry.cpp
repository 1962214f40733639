// Registration of the tests and the Tessel nodes that run them: a test case
// per test, a suite per test suite, and a root that sets the environments up.
#include <map>
#include <typeinfo>
#include <mutex>
#include <unordered_set>

#include "Internal.h"
#include "platform/Clocks.h"
#include "platform/IniFiles.h"

namespace testing {

using namespace TestFramework;
using namespace internal;

// ---------------------------------------------------------------------------
// The API objects

Test::Test() = default;
Test::~Test() = default;
void Test::SetUp() {}
void Test::TearDown() {}

bool Test::HasFatalFailure() {
  TRunningContext* ctx = CurrentContext();
  return ctx && ctx->FatalFailure;
}
bool Test::HasNonfatalFailure() {
  TRunningContext* ctx = CurrentContext();
  return ctx && ctx->NonFatalFailure;
}
bool Test::IsSkipped() {
  TRunningContext* ctx = CurrentContext();
  return ctx && ctx->Skipped && !ctx->FatalFailure && !ctx->NonFatalFailure;
}

TestInfo::TestInfo(std::string suite, std::string name, const char* typeParam, const char* valueParam,
                   const char* file, int line, TestFactoryFn factory)
    : test_suite_name_(std::move(suite)),
      name_(std::move(name)),
      type_param_(typeParam ? typeParam : ""),
      value_param_(valueParam ? valueParam : ""),
      file_(file),
      line_(line),
      factory_(factory) {
  // Its zero bytes are an empty result.
  static_assert(sizeof(TestResult) <= NodePool::kMaxBlock);
  result_ = new (NodePool::AllocateFresh(sizeof(TestResult))) TestResult();
}
TestInfo::~TestInfo() {
  result_->~TestResult();
  NodePool::FreeFresh(result_, sizeof(TestResult));
}

TestSuite::TestSuite(std::string name, const char* typeParam, SetUpTestSuiteFunc setUp,
                     TearDownTestSuiteFunc tearDown)
    : name_(std::move(name)), type_param_(typeParam ? typeParam : ""), set_up_(setUp), tear_down_(tearDown) {
  static_assert(sizeof(TRun) <= NodePool::kMaxBlock);
  run_ = new (NodePool::AllocateFresh(sizeof(TRun))) TRun();
}
TestSuite::~TestSuite() {
  run_->~TRun();
  NodePool::FreeFresh(run_, sizeof(TRun));
}

const TestInfo* TestSuite::GetTestInfo(int i) const {
  return i < 0 || i >= total_test_count() ? nullptr : tests_[static_cast<size_t>(i)];
}

namespace {
template <class Pred>
int CountTests(const std::vector<TestInfo*>& tests, Pred pred) {
  int n = 0;
  for (const TestInfo* t : tests) n += pred(*t) ? 1 : 0;
  return n;
}
}  // namespace

int TestSuite::successful_test_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return t.should_run() && t.result()->Passed(); });
}
int TestSuite::skipped_test_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return t.should_run() && t.result()->Skipped(); });
}
int TestSuite::failed_test_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return t.should_run() && t.result()->Failed(); });
}
int TestSuite::reportable_disabled_test_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return t.is_reportable() && UnitTestState::IsDisabled(t); });
}
int TestSuite::disabled_test_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return UnitTestState::IsDisabled(t); });
}
int TestSuite::reportable_test_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return t.is_reportable(); });
}
int TestSuite::test_to_run_count() const {
  return CountTests(tests_, [](const TestInfo& t) { return t.should_run(); });
}

// ---------------------------------------------------------------------------
// The nodes

namespace internal {

struct TTestNode final : public TTestCase {
  TTestNode(TestInfo* info, const TClass* cls, const void* param)
      : TTestCase(info->name()), Info(info), Class(cls), Param(param) {
    Entry.Name = info->name();
    Entry.Method = nullptr;
    Entry.IsVirtual = false;
    Entry.HasRunCount = false;
    Entry.File = info->file();
    Entry.Line = static_cast<uint32_t>(info->line());
    // Where the test is, for --list=json and the records of a test that
    // crashed; no method is ever called through it.
    fMethod = TTestMethod(this, &Entry);
    fMethodBound = true;
  }
  const TClass& ClassType() const noexcept override { return *Class; }
  void RunTest(TTestResult& result) override;

  // A run reads this node but never writes it (the fixture is an object of
  // its own, made for each run): a worker leaves its pages shared.
  static void* operator new(size_t size) { return NodePool::AllocateReadNode(size); }
  static void operator delete(void* p, size_t size) noexcept { NodePool::FreeReadNode(p, size); }

  // In the window a DISABLED_ test starts unticked, as it starts unrun, and
  // a tick the window's configuration keeps for it stays.
  using TTestCase::LoadConfiguration;
  using TTestCase::SaveConfiguration;
  bool StartsTicked() const { return !UnitTestState::IsDisabled(*Info) || GTEST_FLAG(also_run_disabled_tests); }
  void LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) override {
    TTestCase::LoadConfiguration(iniFile, section);
    SetEnabled(iniFile.ReadBool(section, GetName(), StartsTicked()));
  }
  void SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) override {
    TTestCase::SaveConfiguration(iniFile, section);
    if (GetEnabled() && !StartsTicked()) iniFile.WriteBool(section, GetName(), true);
  }

  TestInfo* Info;
  const TClass* Class;
  const void* Param;
  TMethodEntry Entry{nullptr, nullptr, false, false, RunCountAttribute(1), nullptr, 0};
};

struct TSuiteNode : public TTestSuite {
  explicit TSuiteNode(TestSuite* suite) : TTestSuite(suite->name()), Suite(suite) {}
  void RunWithFixture(TTestResult& result) override {
    FResult = &result;
    gRunResult = &result;
    TTestSuite::RunWithFixture(result);
  }
  void SetUp() override;
  void TearDown() override;
  void RunTest(TTestResult& result) override;
  // Runs a one-time set-up or tear-down as the running node; true when it
  // recorded a failure.
  template <class F>
  bool RunSuiteHook(const char* what, F hook);

  TestSuite* Suite;
  TTestResult* FResult = nullptr;
  bool SetUpFailed = false;
  bool SkippedByFailFast = false;
};

struct TRootNode : public TTestSuite {
  TRootNode(const std::string& name, bool setUp, bool tearDown)
      : TTestSuite(name), SetUpEnvironments(setUp), TearDownEnvironments(tearDown) {}
  void RunWithFixture(TTestResult& result) override {
    FResult = &result;
    gRunResult = &result;
    gFailFastTriggered = false;
    TTestSuite::RunWithFixture(result);
  }
  void SetUp() override;
  void TearDown() override;
  void RunTest(TTestResult& result) override;

  bool SetUpEnvironments;
  bool TearDownEnvironments;
  TTestResult* FResult = nullptr;
  bool Fatal = false;
};

TTestResult* gRunResult = nullptr;
bool gFailFastTriggered = false;

namespace {

// Calls f; an exception becomes a fatal failure that names where it came from.
template <class F>
void Guarded(const char* where, F&& f) {
  if (!GTEST_FLAG(catch_exceptions)) return f();
  try {
    f();
  } catch (...) {
    ReportException(where);
  }
}

// One class description per suite, so that Tessel's reports name the suite
// and the file it is declared in.
const TClass* ClassOfSuite(const std::string& suite, const char* file) {
  static std::mutex lock;
  static auto* classes = new std::unordered_map<std::string, std::unique_ptr<TClass>>();
  static auto* names = new std::unordered_set<std::string>();
  std::lock_guard<std::mutex> hold(lock);
  auto it = classes->find(suite);
  if (it != classes->end()) return it->second.get();
  const char* name = names->insert(suite).first->c_str();
  const char* unit = UnitNameFromFile(file ? file : "");
  return classes->emplace(suite, std::make_unique<TClass>(name, unit, &TTestCase::ClassInfo())).first->second.get();
}

}  // namespace

void TTestNode::RunTest(TTestResult& result) {
  gRunResult = &result;
  if (gFailFastTriggered) {
    // A run that stops at its first failure skips the rest, each at its place.
    result.Status(Self(), PartStatusLine(TestPartResult::kSkip, Info->file(), Info->line(), ""));
    return;
  }
  const TRunRef self(&result, *this);
  TRunningContext ctx;
  ctx.Result = &result;
  ctx.Node = &self.Get();
  ctx.Info = Info;
  ctx.Param = Param;
  TRunningScope scope(ctx);
  Test* test = nullptr;
  Guarded("the test fixture's constructor", [&] {
    test = UnitTestState::CreateFixture(*Info);
  });
  if (!test) return;
  if (!ctx.FatalFailure && !ctx.Skipped) {
    Guarded("SetUp()", [&] { FixtureAccess::SetUp(*test); });
    if (!ctx.FatalFailure && !ctx.Skipped) Guarded("the test body", [&] { FixtureAccess::TestBody(*test); });
    Guarded("TearDown()", [&] { FixtureAccess::TearDown(*test); });
  }
  Guarded("the test fixture's destructor", [&] { delete test; });
}

template <class F>
bool TSuiteNode::RunSuiteHook(const char* what, F hook) {
  const TRunRef self(FResult, *this);
  TRunningContext ctx;
  ctx.Result = FResult;
  ctx.Node = &self.Get();
  TRunningScope scope(ctx);
  Guarded(what, hook);
  return ctx.FatalFailure || ctx.NonFatalFailure;
}

void TSuiteNode::SetUp() {
  SetUpFailed = false;
  SkippedByFailFast = gFailFastTriggered;
  SetUpTestSuiteFunc setUp = UnitTestState::SetUpOf(*Suite);
  if (!setUp || SkippedByFailFast) return;
  SetUpFailed = RunSuiteHook("SetUpTestSuite()", setUp);
}

void TSuiteNode::RunTest(TTestResult& result) {
  ITestPtr self = Self();
  result.StartSuite(self);
  // By index: a test may add tests to its suite while it runs.
  for (size_t i = 0; i < FTests.size(); ++i) {
    if (result.ShouldStop()) break;
    const ITestPtr& t = FTests[i];
    TestInfo* info = InfoOfNode(t.get());
    if (!info || !(SetUpFailed || SkippedByFailFast)) {
      t->RunWithFixture(result);
      continue;
    }
    // A suite whose one-time set-up failed, or a run that stops at its first
    // failure, skips the tests, each at its own place.
    if (!result.ShouldRunTest(t)) continue;
    result.IncRunTests();
    result.StartTest(t);
    result.Status(t, PartStatusLine(TestPartResult::kSkip, info->file(), info->line(), ""));
    result.AddSuccess(t);
    result.EndTest(t);
  }
  result.EndSuite(self);
}

void TSuiteNode::TearDown() {
  TearDownTestSuiteFunc tearDown = UnitTestState::TearDownOf(*Suite);
  if (!tearDown || SkippedByFailFast) return;
  RunSuiteHook("TearDownTestSuite()", tearDown);
}

void TRootNode::SetUp() {
  if (!SetUpEnvironments) return;
  const TRunRef self(FResult, *this);
  TRunningContext ctx;
  ctx.Result = FResult;
  ctx.Node = &self.Get();
  TRunningScope scope(ctx);
  for (auto& env : UnitTestState::Get().Environments) {
    Guarded("SetUp()", [&] { env->SetUp(); });
    if (ctx.FatalFailure) break;
  }
  Fatal = ctx.FatalFailure;
}

void TRootNode::RunTest(TTestResult& result) {
  // A fatal failure while the environments were set up leaves every test out.
  if (!Fatal) return TTestSuite::RunTest(result);
  ITestPtr self = Self();
  result.StartSuite(self);
  result.EndSuite(self);
}

void TRootNode::TearDown() {
  if (!TearDownEnvironments) return;
  const TRunRef self(FResult, *this);
  TRunningContext ctx;
  ctx.Result = FResult;
  ctx.Node = &self.Get();
  TRunningScope scope(ctx);
  auto& envs = UnitTestState::Get().Environments;
  for (auto it = envs.rbegin(); it != envs.rend(); ++it) Guarded("TearDown()", [&] { (*it)->TearDown(); });
}

void SetRootEnvironments(TTestSuite& root, bool setUp, bool tearDown) {
  if (auto* r = dynamic_cast<TRootNode*>(&root)) {
    r->SetUpEnvironments = setUp;
    r->TearDownEnvironments = tearDown;
    r->Fatal = false;
  }
  gFailFastTriggered = false;
}

ITestPtr NodeOfTest(const TestInfo& t) {
  auto* node = static_cast<TTestNode*>(UnitTestState::NodeOf(t));
  return node ? node->Self() : nullptr;
}

// Asked several times for every test of a run: the exact type is compared,
// since nothing derives from TTestNode, which a dynamic_cast would walk the
// hierarchy for.
TestInfo* InfoOfNode(const ITest* node) {
  if (!node || typeid(*node) != typeid(TTestNode)) return nullptr;
  return static_cast<const TTestNode*>(node)->Info;
}

namespace {
// The suite behind each suite node, plain or not.
std::unordered_map<const ITest*, TestSuite*>& SuiteNodes() {
  static auto* nodes = new std::unordered_map<const ITest*, TestSuite*>();
  return *nodes;
}
}  // namespace

TestSuite* SuiteOfNode(const ITest* node) {
  auto& nodes = SuiteNodes();
  auto it = nodes.find(node);
  return it == nodes.end() ? nullptr : it->second;
}

namespace {
const ITest* gRoot = nullptr;  // the root of the run, made by MakeRootNode
}

bool IsRootNode(const ITest* node) { return node && node == gRoot; }

bool WillRunNode(const ITestPtr& node) {
  if (TestInfo* info = InfoOfNode(node.get())) return info->should_run();
  if (TestSuite* suite = SuiteOfNode(node.get())) return suite->should_run();
  return IsRootNode(node.get()) || node->GetEnabled();
}

std::shared_ptr<TTestSuite> MakeRootNode(const std::string& name, bool setUpEnvironments, bool tearDownEnvironments) {
  // Without environments the root is a plain suite, so that a run in worker
  // processes may hand each suite to a worker of its own; with them it is
  // one piece of work, set up once.
  std::shared_ptr<TTestSuite> root;
  if (UnitTestState::Get().Environments.empty())
    root = AdoptNode(new TTestSuite(name));
  else
    root = AdoptNode(new TRootNode(name, setUpEnvironments, tearDownEnvironments));
  for (TestSuite* s : UnitTestState::Get().Suites) {
    auto* node = static_cast<TTestSuite*>(UnitTestState::NodeOf(*s));
    if (node) root->AddTest(node->Self());
  }
  gRoot = root.get();
  return root;
}

// ---------------------------------------------------------------------------
// Registration

UnitTestState& UnitTestState::Get() {
  static auto* state = new UnitTestState();  // outlives the exit of static objects that may report
  return *state;
}

TestSuite* UnitTestState::SuiteNamed(const std::string& name, const char* typeParam, SetUpTestSuiteFunc setUp,
                                     TearDownTestSuiteFunc tearDown) {
  // A suite's tests are registered one after the other.
  if (LastSuite && name == LastSuite->name()) return LastSuite;
  auto it = SuiteByName.find(name);
  if (it != SuiteByName.end()) return LastSuite = it->second;
  auto* suite = new TestSuite(name, typeParam, setUp, tearDown);
  // A suite with a one-time set-up or tear-down is one piece of work that
  // runs whole in one process; any other is a plain suite, whose tests a run
  // in worker processes may hand out one by one.
  std::shared_ptr<TTestSuite> node;
  if (setUp || tearDown)
    node = AdoptNode(new TSuiteNode(suite));
  else
    node = AdoptNode(new TTestSuite(suite->name()));
  suite->node_ = node.get();
  SuiteNodes().emplace(node.get(), suite);
  // The registry holds the node; the suite object and the node live as long
  // as the program.
  TestFramework::RegisterTest(node);
  KeptNodes.push_back(node);
  Suites.push_back(suite);
  SuiteByName.emplace(name, suite);
  return LastSuite = suite;
}

TestInfo* UnitTestState::AddTest(const std::string& suite, const std::string& name, const char* typeParam,
                                 const char* valueParam, const char* file, int line, TestFactoryFn factory,
                                 CallableFactoryBase_* callable, SetUpTestSuiteFunc setUp,
                                 TearDownTestSuiteFunc tearDown, const void* param) {
  TestSuite* s = SuiteNamed(suite, typeParam, setUp, tearDown);
  // Beside its node, for the life of the program as in GoogleTest; its
  // result is kept apart (see TestInfo).
  void* block = NodePool::AllocateReadNode(sizeof(TestInfo));
  TestInfo* info;
  try {
    info = new (block) TestInfo(suite, name, typeParam, valueParam, file, line, factory);
  } catch (...) {
    NodePool::FreeReadNode(block, sizeof(TestInfo));
    throw;
  }
  info->callable_ = callable;
  // The suite's class description, once per suite.
  if (s != LastClassSuite) {
    LastClassSuite = s;
    LastClass = ClassOfSuite(suite, file);
  }
  // Adopted, as every test case is: its reference counts go to the node pool.
  TTestCasePtr node = AdoptTestCase(new TTestNode(info, LastClass, param));
  info->node_ = static_cast<TTestNode*>(node.get());
  static_cast<TTestSuite*>(s->node_)->AddTest(node);
  s->tests_.push_back(info);
  return info;
}

namespace {

// Suites named by GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST.
std::unordered_set<std::string>& AllowedUninstantiated() {
  static auto* names = new std::unordered_set<std::string>();
  return *names;
}

// Typed suites by name (in name order, as they are checked), where their
// REGISTER_TYPED_TEST_SUITE_P is and whether an instantiation names them.
struct TTypedSuiteRecord {
  const char* File = "";
  int Line = 0;
  bool Instantiated = false;
};
std::map<std::string, TTypedSuiteRecord>& TypedSuites() {
  static auto* suites = new std::map<std::string, TTypedSuiteRecord>();
  return *suites;
}

// The test that says a suite gives no test: it fails where the suite is.
class TVerificationTest : public Test {
 public:
  TVerificationTest(const char* file, int line, std::string message)
      : FFile(file), FLine(line), FMessage(std::move(message)) {}
  void TestBody() override { ReportPart(TestPartResult::kNonFatalFailure, FFile, FLine, FMessage); }

 private:
  const char* FFile;
  int FLine;
  std::string FMessage;
};

void AddVerificationTest(bool typed, const std::string& name, const char* file, int line, std::string message) {
  message += "\n\nTo suppress this error for this test suite, insert the following line (in a non-header) in the "
             "namespace it is defined in:\n\nGTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(" +
             name + ");";
  const std::string kind = typed ? "UninstantiatedTypeParameterizedTestSuite<" : "UninstantiatedParameterizedTestSuite<";
  auto factory = [file, line, message] { return static_cast<Test*>(new TVerificationTest(file, line, message)); };
  RegisterCallableTest_("GoogleTestVerification", (kind + name + ">").c_str(), nullptr, nullptr, file, line,
                        new CallableFactory_<decltype(factory)>(std::move(factory)), nullptr, nullptr);
}

}  // namespace

bool AllowUninstantiated_(const char* suite) {
  AllowedUninstantiated().insert(suite);
  return true;
}

void UninstantiatedParamSuite_(const std::string& suite, const char* file, int line, bool hasTests) {
  if (AllowedUninstantiated().count(suite)) return;
  std::string message = "Parameterized test suite " + suite;
  if (hasTests)
    message +=
        " is defined via TEST_P, but never instantiated. None of the test cases will run. Either no "
        "INSTANTIATE_TEST_SUITE_P is provided or the only ones provided expand to nothing.\n\nIdeally, TEST_P "
        "definitions should only ever be included as part of binaries that intend to use them. (As opposed to, for "
        "example, being placed in a library that may be linked in to get other utilities.)";
  else
    message +=
        " is instantiated via INSTANTIATE_TEST_SUITE_P, but no tests are defined via TEST_P . No test cases will "
        "run.\n\nIdeally, INSTANTIATE_TEST_SUITE_P should only ever be invoked from code that always depend on code "
        "that provides TEST_P. Failing to do so is often an indication of dead code, e.g. the last TEST_P was "
        "removed but the rest got left behind.";
  AddVerificationTest(false, suite, file, line, std::move(message));
}

void RegisteredTypedSuite_(const char* suite, const char* file, int line) {
  TTypedSuiteRecord& r = TypedSuites()[suite];
  r.File = file;
  r.Line = line;
}

void InstantiatedTypedSuite_(const char* suite) { TypedSuites()[suite].Instantiated = true; }

void UnitTestState::RegisterParamTests() {
  if (ParamsRegistered) return;
  ParamsRegistered = true;
  for (ParamSuiteBase_* s : ParamSuites) s->RegisterTests();
  // Then the typed suites that no INSTANTIATE_TYPED_TEST_SUITE_P named.
  for (const auto& [name, r] : TypedSuites()) {
    if (r.Instantiated || AllowedUninstantiated().count(name)) continue;
    AddVerificationTest(true, name, r.File, r.Line,
                        "Type parameterized test suite " + name +
                            " is defined via REGISTER_TYPED_TEST_SUITE_P, but never instantiated via "
                            "INSTANTIATE_TYPED_TEST_SUITE_P. None of the test cases will run.\n\nIdeally, "
                            "TYPED_TEST_P definitions should only ever be included as part of binaries that intend "
                            "to use them. (As opposed to, for example, being placed in a library that may be linked "
                            "in to get other utilities.)");
  }
}

TestInfo* RegisterTest_(const char* suite, const char* name, const char* file, int line, TestFactoryFn factory,
                        SetUpTestSuiteFunc setUp, TearDownTestSuiteFunc tearDown, const char* typeParam,
                        const char* valueParam) {
  return UnitTestState::Get().AddTest(suite, name, typeParam, valueParam, file, line, factory, nullptr, setUp,
                                      tearDown, nullptr);
}

TestInfo* RegisterCallableTest_(const char* suite, const char* name, const char* typeParam, const char* valueParam,
                                const char* file, int line, CallableFactoryBase_* factory, SetUpTestSuiteFunc setUp,
                                TearDownTestSuiteFunc tearDown) {
  return UnitTestState::Get().AddTest(suite, name, typeParam, valueParam, file, line, nullptr, factory, setUp,
                                      tearDown, nullptr);
}

TestInfo* RegisterParamTest_(const std::string& suite, const std::string& name, const char* file, int line,
                             TestFactoryFn factory, SetUpTestSuiteFunc setUp, TearDownTestSuiteFunc tearDown,
                             const std::string& valueParam, const void* param) {
  return UnitTestState::Get().AddTest(suite, name, nullptr, valueParam.c_str(), file, line, factory, nullptr, setUp,
                                      tearDown, param);
}

void AddParamSuite_(ParamSuiteBase_* suite) { UnitTestState::Get().ParamSuites.push_back(suite); }

void CheckParamName_(const std::string& name, const std::string& suite, const char* file, int line, bool duplicate) {
  bool valid = !name.empty();
  for (char c : name) valid = valid && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  if (valid && !duplicate) return;
  std::fflush(stdout);
  if (!valid)
    std::fprintf(stderr, "[FATAL] %s:%d: Parameterized test name '%s' is invalid, in %s line %d\n", file, line,
                 name.c_str(), file, line);
  else
    std::fprintf(stderr, "[FATAL] %s:%d: Duplicate parameterized test name '%s', in %s line %d (suite %s)\n", file,
                 line, name.c_str(), file, line, suite.c_str());
  std::abort();
}

const void* CurrentParam_() {
  TRunningContext* ctx = CurrentContext();
  return ctx ? ctx->Param : nullptr;
}

std::string TypedSuiteName_(const char* prefix, const char* suite, const std::string& typeName) {
  std::string out = prefix && *prefix ? std::string(prefix) + "/" : std::string();
  return out + suite + "/" + typeName;
}

bool TypedTestSuitePState::AddTestName(const char* file, int line, const char* suite, const char* test) {
  if (registered_) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: Test %s must be defined before REGISTER_TYPED_TEST_SUITE_P(%s, ...).\n", file,
                 line, test, suite);
    std::abort();
  }
  defined_.push_back({test, file, line});
  return true;
}

std::vector<std::string> SplitTestNames_(const char* names) {
  std::vector<std::string> out;
  std::string current;
  for (const char* p = names;; ++p) {
    if (*p == ',' || *p == '\0') {
      size_t b = current.find_first_not_of(" \t\n");
      size_t e = current.find_last_not_of(" \t\n");
      out.push_back(b == std::string::npos ? std::string() : current.substr(b, e - b + 1));
      current.clear();
      if (*p == '\0') break;
    } else {
      current += *p;
    }
  }
  return out;
}

const char* TypedTestSuitePState::VerifyRegisteredTestNames(const char* suite, const char* file, int line,
                                                            const char* names) {
  registered_ = true;
  RegisteredTypedSuite_(suite, file, line);
  std::string problems;
  std::vector<std::string> listed = SplitTestNames_(names);
  std::unordered_set<std::string> seen;
  for (const std::string& n : listed) {
    bool known = false;
    for (const Defined& d : defined_) known = known || d.name == n;
    if (!known) problems += "No test named " + n + " can be found in this test suite.\n";
    if (!seen.insert(n).second) problems += "Test " + n + " is listed more than once.\n";
  }
  for (const Defined& d : defined_)
    if (!seen.count(d.name))
      problems += "You forgot to list test " + d.name + ".\n";
  if (!problems.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%d: %s (suite %s)\n", file, line, problems.c_str(), suite);
    std::abort();
  }
  return names;
}

const char* TypedTestSuitePState::FileOf(const std::string& test) const {
  for (const Defined& d : defined_)
    if (d.name == test) return d.file;
  return "";
}

int TypedTestSuitePState::LineOf(const std::string& test) const {
  for (const Defined& d : defined_)
    if (d.name == test) return d.line;
  return 0;
}

}  // namespace internal
}  // namespace testing
