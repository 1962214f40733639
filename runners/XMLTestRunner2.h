// A runner that files every test case under the path of its suites, prints
// a short Portuguese account on the console and writes a JUnit-style XML
// report when the run ends.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/TestFramework.h"
#include "platform/Clocks.h"

namespace XMLTestRunner2 {

using TestFramework::ITest;
using TestFramework::ITestPtr;
using TestFramework::TTestFailure;
using TestFramework::TTestResult;

inline constexpr char DEFAULT_FILENAME[] = "tessel-report.xml";

// What the report keeps of one test case (or of a suite-level failure).
class TLocalTestResult {
 public:
  void SetName(const std::string& Value) { FName = Value; }
  void SetFailureTipe(const std::string& Value) { FFailureTipe = Value; }
  void SetClasse(const std::string& Value) { FClasse = Value; }
  void SetFailureText(const std::string& Value) { FFailureText = Value; }
  void SetTime(const std::string& Value) { FTime = Value; }
  const std::string& Name() const noexcept { return FName; }
  const std::string& FailureTipe() const noexcept { return FFailureTipe; }
  const std::string& Classe() const noexcept { return FClasse; }
  const std::string& FailureText() const noexcept { return FFailureText; }
  const std::string& Time() const noexcept { return FTime; }

 private:
  std::string FName;
  std::string FFailureTipe;
  std::string FClasse;
  std::string FFailureText;
  std::string FTime;
};

class TXMLTestListener : public TestFramework::ITestListenerX {
 public:
  // Writes DEFAULT_FILENAME in the current directory.
  TXMLTestListener();
  explicit TXMLTestListener(std::string outputFile);
  ~TXMLTestListener() override;
  TXMLTestListener(const TXMLTestListener&) = delete;
  TXMLTestListener& operator=(const TXMLTestListener&) = delete;

  void TestingStarts() override;
  void StartSuite(const ITestPtr& suite) override;
  void StartTest(const ITestPtr& test) override;
  void AddSuccess(const ITestPtr& test) override;
  void AddError(TTestFailure& error) override;
  void AddFailure(TTestFailure& failure) override;
  void EndTest(const ITestPtr& test) override;
  void EndSuite(const ITestPtr& suite) override;
  void TestingEnds(TTestResult& testResult) override;
  bool ShouldRunTest(const ITestPtr& test) override;
  void Status(const ITestPtr& test, const std::string& Msg) override;
  void Warning(const ITestPtr& test, const std::string& Msg);

  // One line (CR LF added) to the report file while it is open, else to the console.
  void writeReport(const std::string& text);
  // The open suites, outermost first, each followed by "."; empty when none.
  std::string GetCurrentSuiteName();
  // Name of the registry's root, ".", then GetCurrentSuiteName.
  std::string GetCurrentCaseName();
  static std::string Level(int n);
  // Appends the lines of one record to stream.
  void ProcessarTeste(const TLocalTestResult& record, std::string& stream);
  // Text escaped for XML element content.
  static std::string text2sgml(const std::string& text);
  static std::string StringReplaceAll(const std::string& text, const std::string& search,
                                      const std::string& replacement);

  static std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::string& outputFile);
  static std::unique_ptr<TTestResult> RunRegisteredTests(const std::string& outputFile);

  const std::string& FileName() const noexcept { return FFileName; }
  // Off for a report added to another runner's run: then only the file is written.
  void SetConsoleOutput(bool Value) noexcept { FConsoleOutput = Value; }
  const std::vector<std::unique_ptr<TLocalTestResult>>& Testes() const noexcept { return FTestes; }
  // The complete report for the records gathered so far.
  std::string BuildReport();

 protected:
  std::FILE* FOutputFile = nullptr;  // owned; open from TestingStarts to TestingEnds
  std::string FFileName;
  std::string FTempName;  // the new report while it is written, beside FFileName
  size_t FWritten = 0;    // records already in that file
  uint32_t startTime = 0;
  Platform::TDateTime dtStartTime = 0;
  std::vector<std::string> FSuiteStack;      // innermost at index 0
  TLocalTestResult* FTesteAtual = nullptr;   // record of the node FNoAtual, not owned
  std::vector<std::unique_ptr<TLocalTestResult>> FTestes;

 private:
  bool FConsoleOutput = true;
  void ToConsole(std::string_view text);
  void FlushConsole();
  // The node FTesteAtual belongs to; only compared, never dereferenced.
  const ITest* FNoAtual = nullptr;
  void RecordFailure(TTestFailure& failure, const char* headerFmt, const char* lineFmt);
  std::string ReportHead();
  std::string ReportTail();
  // Writes the records before upTo that are not in the file yet.
  void WriteSealedRecords(size_t upTo);
  bool IsExecutableSuite(const ITestPtr& suite);
};

std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::string& outputFile);
std::unique_ptr<TTestResult> RunRegisteredTests(const std::string& outputFile);

// The unit keeps no state between runs; these keep the package's start-up order uniform.
void InitializeUnit();
void FinalizeUnit();

}  // namespace XMLTestRunner2
