// Console runner: prints a running trace of the test tree to standard output
// (a line per suite start and end, a line per test with "." or the failure)
// and, at the end, the elapsed time and a numbered report of errors and
// failures. Lines end with CR LF.
//
//   int main() {
//     auto result = TextTestRunner::RunRegisteredTests(TextTestRunner::rxbHaltOnFailures);
//     return 0;
//   }
//
// Every write is checked: when standard output cannot be written the listener
// raises TestFramework::EInOutError, which the run loop treats like any other
// exception from a listener; it normally leaves the entry point, so a program
// that may run with a broken standard output catches it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/TestFramework.h"
#include "platform/Clocks.h"

namespace TextTestRunner {

using TestFramework::ITestPtr;
using TestFramework::TTestFailure;
using TestFramework::TTestResult;

// What the entry points do once the run is over.
enum TRunnerExitBehavior {
  rxbContinue,       // return the result
  rxbPause,          // ask for the return key, then return the result
  rxbHaltOnFailures  // end the process when the run was not successful
};

class TTextTestListener : public TestFramework::ITestListenerX {
 public:
  TTextTestListener();
  ~TTextTestListener() override;

  void AddSuccess(const ITestPtr& test) override;
  void AddError(TTestFailure& error) override;
  void AddFailure(TTestFailure& failure) override;
  bool ShouldRunTest(const ITestPtr& test) override;
  void StartSuite(const ITestPtr& suite) override;
  void EndSuite(const ITestPtr& suite) override;
  void StartTest(const ITestPtr& test) override;
  void EndTest(const ITestPtr& test) override;
  void TestingStarts() override;
  void TestingEnds(TTestResult& testResult) override;
  virtual std::string PrintErrors(TTestResult& r);
  virtual std::string PrintFailures(TTestResult& r);
  virtual std::string PrintHeader(TTestResult& r);
  virtual std::string PrintFailureItems(TTestResult& r);
  virtual std::string PrintErrorItems(TTestResult& r);
  // The first `len` characters and "..." when text is longer, else text.
  virtual std::string TruncateString(const std::string& text, int len);

  // A status line of a test: "name: Msg" and a line end.
  void Status(const ITestPtr& test, const std::string& Msg) override;
  void Warning(const ITestPtr& test, const std::string& Msg);
  std::string Report(TTestResult& r);
  std::string PrefixChars();

  int32_t FailureCount() const noexcept { return FFailureCount; }
  int32_t ErrorCount() const noexcept { return FErrorCount; }

  // Runs suite with a new listener of this kind; see TRunnerExitBehavior.
  static std::unique_ptr<TTestResult> RunTest(ITestPtr suite, TRunnerExitBehavior exitBehavior = rxbContinue);
  static std::unique_ptr<TTestResult> RunRegisteredTests(TRunnerExitBehavior exitBehavior = rxbContinue);

 protected:
  // Writes to standard output and flushes; raises EInOutError on failure.
  void Write(std::string_view text);
  void WriteLn(std::string_view text = {});

  int32_t FFailureCount = 0;
  int32_t FErrorCount = 0;
  Platform::TDateTime startTime = 0;
  Platform::TDateTime endTime = 0;
  Platform::TDateTime runTime = 0;
  int32_t IndentLevel = 0;
};

std::unique_ptr<TTestResult> RunTest(ITestPtr suite, TRunnerExitBehavior exitBehavior = rxbContinue);
std::unique_ptr<TTestResult> RunRegisteredTests(TRunnerExitBehavior exitBehavior = rxbContinue);

// The time line of the end block for a run time (days and fraction).
std::string FormatRunTime(Platform::TDateTime runTime);
// Exit code under rxbHaltOnFailures: errors plus failures, at least 1 for an
// unsuccessful run and at most 255, so that no failed run exits with 0.
int HaltExitCode(TTestResult& r);

void InitializeUnit();
void FinalizeUnit();

}  // namespace TextTestRunner
