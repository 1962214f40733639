#include "extensions/TestExtensions.h"

#include <limits>
#include <memory>

#include "framework/TesselConsts.h"
#include "platform/Format.h"
#include "platform/HeapStats.h"
#include "platform/UnitSteps.h"

namespace TestExtensions {

using Platform::Format;
using TestFramework::ETesselException;
using TestFramework::TAbstractTestOf;
using TestFramework::TCustomIniFile;

namespace {
// Checked before anything reads the wrapped test's name.
ITestPtr Wrappable(ITestPtr ATest) {
  if (!ATest) throw ETesselException("A decorator needs a test to wrap; the test given is empty");
  return ATest;
}

int gInitCount = 0;
}  // namespace

// ---------------------------------------------------------------------------
// TTestDecorator

TTestDecorator::TTestDecorator(ITestPtr ATest, std::string AName)
    : TAbstractTestOf(std::string()), FTest(Wrappable(std::move(ATest))), FTests{FTest} {
  FTestName = AName.empty() ? FTest->GetName() : std::move(AName);
}

const TClass& TTestDecorator::ClassInfo() noexcept {
  static const TClass info("TTestDecorator", "TestExtensions", &TestFramework::TAbstractTest::ClassInfo());
  return info;
}

ITestPtr TTestDecorator::GetTest() { return FTest; }
const TInterfaceList& TTestDecorator::Tests() { return FTests; }
void TTestDecorator::RunTest(TTestResult& testResult) { FTest->RunWithFixture(testResult); }
std::string TTestDecorator::GetName() { return Format("(d) %s", FTest->GetName()); }
int TTestDecorator::CountTestCases() { return GetEnabled() ? FTest->CountTestCases() : 0; }
int TTestDecorator::CountEnabledTestCases() { return GetEnabled() ? FTest->CountEnabledTestCases() : 0; }

void TTestDecorator::LoadConfiguration(TCustomIniFile& iniFile, const std::string& section) {
  TAbstractTestOf::LoadConfiguration(iniFile, section);
  const std::string sub = section + "." + GetName();
  for (const ITestPtr& t : Tests()) t->LoadConfiguration(iniFile, sub);
}

void TTestDecorator::SaveConfiguration(TCustomIniFile& iniFile, const std::string& section) {
  TAbstractTestOf::SaveConfiguration(iniFile, section);
  const std::string sub = section + "." + GetName();
  for (const ITestPtr& t : Tests()) t->SaveConfiguration(iniFile, sub);
}

// ---------------------------------------------------------------------------
// TTestSetup

const TClass& TTestSetup::ClassInfo() noexcept {
  static const TClass info("TTestSetup", "TestExtensions", &TTestDecorator::ClassInfo());
  return info;
}

std::string TTestSetup::GetName() { return Format(TesselConsts::sSetupDecorator, TTestDecorator::GetName()); }

// ---------------------------------------------------------------------------
// TRepeatedTest

TRepeatedTest::TRepeatedTest(ITestPtr ATest, int32_t Iterations, std::string AName)
    : TTestDecorator(std::move(ATest), std::move(AName)), FTimesRepeat(Iterations) {}

const TClass& TRepeatedTest::ClassInfo() noexcept {
  static const TClass info("TRepeatedTest", "TestExtensions", &TTestDecorator::ClassInfo());
  return info;
}

std::string TRepeatedTest::GetName() { return Format("%d x %s", FTimesRepeat, FTest->GetName()); }

// A negative repetition count runs nothing, so it counts nothing either
// (rather than a negative number of test cases).
int TRepeatedTest::CountTestCases() {
  return FTimesRepeat > 0 ? TTestDecorator::CountTestCases() * FTimesRepeat : 0;
}

int TRepeatedTest::CountEnabledTestCases() {
  return FTimesRepeat > 0 ? TTestDecorator::CountEnabledTestCases() * FTimesRepeat : 0;
}

void TRepeatedTest::RunTest(TTestResult& testResult) {
  const int errors0 = testResult.ErrorCount();
  const int failures0 = testResult.FailureCount();
  for (int32_t i = 0; i < FTimesRepeat; ++i) {
    if (testResult.ShouldStop()) break;
    if (FHaltOnError && (testResult.ErrorCount() > errors0 || testResult.FailureCount() > failures0)) break;
    TTestDecorator::RunTest(testResult);
  }
}

// ---------------------------------------------------------------------------
// TActiveTest, TExceptionTestCase

const TClass& TActiveTest::ClassInfo() noexcept {
  static const TClass info("TActiveTest", "TestExtensions", &TTestDecorator::ClassInfo());
  return info;
}

const TClass& TExceptionTestCase::ClassInfo() noexcept {
  static const TClass info("TExceptionTestCase", "TestExtensions", &TTestDecorator::ClassInfo());
  return info;
}

// ---------------------------------------------------------------------------
// TMemoryTest

const TClass& TMemoryTest::ClassInfo() noexcept {
  static const TClass info("TMemoryTest", "TestExtensions", &TTestDecorator::ClassInfo());
  return info;
}

std::string TMemoryTest::GetName() { return Format(TesselConsts::sTestMemory, FTest->GetName()); }

int64_t TMemoryTest::MemoryAllocated() {
  return TestFramework::GetMemLeakMonitorFactory() ? Platform::HeapBytesInUse() : 0;
}

void TMemoryTest::RunTest(TTestResult& testResult) {
  // Freed on every path, also when the wrapped run raises.
  auto quiet = std::make_unique<TTestResult>();
  const int64_t before = MemoryAllocated();
  FTest->RunWithFixture(*quiet);
  const int64_t change = MemoryAllocated() - before;
  if (quiet->WasSuccessful()) {
    // Saturate rather than wrap: a change beyond 32 bits must not read as 0.
    constexpr int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    const int32_t delta = static_cast<int32_t>(change < lo ? lo : change > hi ? hi : change);
    CheckEquals(int32_t{0}, delta, Format(TesselConsts::sMemoryChanged, change));
  } else {
    TTestDecorator::RunTest(testResult);
  }
}

// ---------------------------------------------------------------------------

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("TestExtensions", Platform::kUnitStart);
}
void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("TestExtensions", Platform::kUnitStop);
}

}  // namespace TestExtensions
