// Tessel core: the process-wide registry of suites and the run entry points.
#include <algorithm>
#include <cctype>
#include <set>
#include <vector>

#include "framework/TestFramework.h"
#include "packages/CorvelTest5.h"
#include "platform/Paths.h"
#include "platform/UnitSteps.h"

namespace TestFramework {

namespace {

struct TRegistryState {
  ITestSuitePtr Root;
  std::string RegistryKey;
};

// Never destroyed by static destruction: the tree may hold objects of test
// programs whose statics are already gone. FinalizeUnit releases it.
TRegistryState& Registry() {
  CorvelTest5::EnsureStarted();
  static TRegistryState* state = new TRegistryState();
  return *state;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// Name of the file of the module that holds the framework: the shared
// library when linked shared, the program itself when linked static.
std::string FrameworkModuleName() {
  std::string path = Platform::ModulePathOf(reinterpret_cast<const void*>(&FrameworkModuleName));
  if (path.size() > 1024) path.resize(1024);
  if (size_t nul = path.find('\0'); nul != std::string::npos) path.resize(nul);
  return Platform::ExtractFileName(Trim(path));
}

// The first child of suite that is a suite named name, or none.
ITestSuitePtr FindChildSuite(const ITestSuitePtr& suite, const std::string& name) {
  for (const ITestPtr& child : suite->Tests()) {
    auto found = std::dynamic_pointer_cast<ITestSuite>(child);
    if (found && found->GetName() == name) return found;
  }
  return nullptr;
}

// True when tree is, or holds anywhere below it, one of the nodes in chain.
bool HoldsAnyOf(const ITestPtr& tree, const std::vector<const ITest*>& chain, std::set<const ITest*>& seen) {
  if (std::find(chain.begin(), chain.end(), tree.get()) != chain.end()) return true;
  const TInterfaceList& children = tree->Tests();
  // Only nodes with children need remembering: a leaf met twice costs nothing.
  if (children.empty() || !seen.insert(tree.get()).second) return false;
  for (const ITestPtr& child : children)
    if (HoldsAnyOf(child, chain, seen)) return true;
  return false;
}

}  // namespace

void RegisterTest(const std::string& SuitePath, ITestPtr test) {
  if (!test) throw ETesselException("RegisterTest: cannot register an empty test under \"" + SuitePath + "\"");
  TRegistryState& reg = Registry();
  if (!reg.Root) reg.Root = AdoptNode(new TTestSuite(FrameworkModuleName()));

  // Split the path: at the first ".", else the first "\", else the first "/".
  std::vector<std::string> heads;
  for (std::string path = SuitePath; !path.empty();) {
    size_t sep = path.find('.');
    if (sep == std::string::npos) sep = path.find('\\');
    if (sep == std::string::npos) sep = path.find('/');
    heads.push_back(sep == std::string::npos ? path : path.substr(0, sep));
    path = sep == std::string::npos ? std::string() : path.substr(sep + 1);
  }

  // Walk the suites that exist already; a suite placed below itself would
  // make the tree endless, so refuse that before anything changes.
  ITestSuitePtr current = reg.Root;
  std::vector<const ITest*> chain{current.get()};
  size_t depth = 0;
  for (; depth < heads.size(); ++depth) {
    ITestSuitePtr next = FindChildSuite(current, heads[depth]);
    if (!next) break;
    current = next;
    chain.push_back(current.get());
  }
  std::set<const ITest*> seen;
  if (HoldsAnyOf(test, chain, seen))
    throw ETesselException("RegisterTest: \"" + test->GetName() + "\" cannot be registered under \"" + SuitePath +
                           "\" because it holds that suite itself");
  for (; depth < heads.size(); ++depth) {
    auto next = AdoptNode(new TTestSuite(heads[depth]));
    current->AddTest(next);
    current = next;
  }
  current->AddTest(std::move(test));
}

void RegisterTest(ITestPtr test) { RegisterTest(std::string(), std::move(test)); }

void RegisterTests(const std::string& SuitePath, const TTestArray& Tests) {
  for (const ITestPtr& t : Tests) RegisterTest(SuitePath, t);
}

void RegisterTests(const TTestArray& Tests) { RegisterTests(std::string(), Tests); }

ITestSuitePtr RegisteredTests() { return Registry().Root; }

ITestSuitePtr TestSuite(const std::string& AName, const TTestArray& Tests) {
  return AdoptNode(new TTestSuite(AName, Tests));
}

std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::vector<ITestListenerPtr>& listeners) {
  auto result = std::make_unique<TTestResult>();
  for (const ITestListenerPtr& l : listeners) result->AddListener(l);
  if (suite) suite->Run(*result);
  return result;
}

std::unique_ptr<TTestResult> RunRegisteredTests(const std::vector<ITestListenerPtr>& listeners) {
  return RunTest(RegisteredTests(), listeners);
}

void ClearRegistry() { Registry().Root.reset(); }

std::string GetTesselRegistryKey() { return Registry().RegistryKey; }
void SetTesselRegistryKey(const std::string& key) { Registry().RegistryKey = key; }

std::string TestDataDir() { return Platform::ProgramDir(); }

namespace {
int gInitCount = 0;
}

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("TestFramework", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount <= 0) return;
  if (--gInitCount == 0) {
    Platform::NoteUnitStep("TestFramework", Platform::kUnitStop);
    ClearRegistry();
    Registry().RegistryKey.clear();
  }
}

}  // namespace TestFramework
