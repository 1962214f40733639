// A runner that writes the outcome of a run as an XML file in NUnit's result
// layout while the run goes on, with a compact trace and a report on the
// console.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/TestFramework.h"
#include "platform/Clocks.h"

namespace NUnitXMLTestRunner {

using TestFramework::ITestPtr;
using TestFramework::TTestFailure;
using TestFramework::TTestResult;

inline constexpr char DEFAULT_FILENAME[] = "tessel-report.xml";

class TXMLTestListener : public TestFramework::ITestListenerX {
 public:
  // Writes DEFAULT_FILENAME in the current directory.
  TXMLTestListener();
  explicit TXMLTestListener(std::string outputFile);
  ~TXMLTestListener() override;
  TXMLTestListener(const TXMLTestListener&) = delete;
  TXMLTestListener& operator=(const TXMLTestListener&) = delete;

  virtual std::string PrintErrors(TTestResult& r);
  virtual std::string PrintFailures(TTestResult& r);
  virtual std::string PrintHeader(TTestResult& r);
  virtual std::string PrintFailureItems(TTestResult& r);
  virtual std::string PrintErrorItems(TTestResult& r);
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

  // One line (CR LF added) to the report while it is open, else to the console.
  void writeReport(const std::string& str);
  std::string Report(TTestResult& r);
  void Status(const ITestPtr& test, const std::string& Msg) override;
  void Warning(const ITestPtr& test, const std::string& Msg);
  // The open suites, outermost first, each followed by "."; empty when none.
  std::string GetCurrentSuiteName();
  // The innermost open suite, or empty.
  std::string GetNameSuite();
  bool HasInfoOrWarnings();
  void WriteInfoAndWarnings();
  // Text escaped for XML element content.
  static std::string text2sgml(const std::string& text);
  static std::string StringReplaceAll(const std::string& text, const std::string& search,
                                      const std::string& replacement);

  static std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::string& outputFile);
  static std::unique_ptr<TTestResult> RunRegisteredTests(const std::string& outputFile);

  const std::string& FileName() const noexcept { return FFileName; }
  // Off for a report added to another runner's run: then only the file is written.
  void SetConsoleOutput(bool Value) noexcept { FConsoleOutput = Value; }

 protected:
  std::FILE* FOutputFile = nullptr;  // owned; open from TestingStarts to TestingEnds
  std::string FFileName;
  uint32_t startTime = 0;
  Platform::TDateTime dtStartTime = 0;
  std::vector<std::string> FSuiteStack;  // innermost at index 0
  std::vector<std::string> FInfoList;
  std::vector<std::string> FWarningList;

 private:
  bool FConsoleOutput = true;
  std::string FUnfinishedName;  // the report while it is written, beside FFileName
  void ToConsole(std::string_view text);
  void FlushConsole();
  void WriteFailingCase(TTestFailure& failure, const char* result);
  void CloseReport();
  void FlushReport();
};

// The suite of the current run, for the counts in the report header.
ITestPtr& RootSuite();

std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::string& outputFile);
std::unique_ptr<TTestResult> RunRegisteredTests(const std::string& outputFile);

void InitializeUnit();
void FinalizeUnit();

}  // namespace NUnitXMLTestRunner
