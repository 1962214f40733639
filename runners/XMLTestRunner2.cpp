#include "runners/XMLTestRunner2.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "framework/TesselConsts.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/UnitSteps.h"
#include "runners/TesselCrashGuard.h"
#include "runners/ReportText.h"

namespace XMLTestRunner2 {

using namespace TestFramework;
using Platform::Format;
using ReportText::XmlAttr;

namespace {

constexpr char CRLF[] = "\r\n";

// Seconds with four decimals and always ".", whatever the locale: 1234 ms is 1.2340.
std::string TimeText(const ITestPtr& test) { return ReportText::FixedPoint(test->ElapsedTestTime() / 1000.0, 4); }

}  // namespace

TXMLTestListener::TXMLTestListener() : TXMLTestListener(DEFAULT_FILENAME) {}

TXMLTestListener::TXMLTestListener(std::string outputFile) : FFileName(std::move(outputFile)) {}

void TXMLTestListener::ToConsole(std::string_view text) {
  if (FConsoleOutput) ReportText::ConsoleWrite(text);
}

void TXMLTestListener::FlushConsole() {
  if (FConsoleOutput) ReportText::ConsoleFlush();
}

TXMLTestListener::~TXMLTestListener() {
  // A run that never ended leaves the records it wrote beside the report.
  ReportText::AbandonReportFile(FOutputFile);
}

bool TXMLTestListener::IsExecutableSuite(const ITestPtr& suite) {
  return ReportText::SameText(suite->GetName(), ReportText::ProgramFileName());
}

void TXMLTestListener::writeReport(const std::string& text) {
  if (FOutputFile)
    ReportText::FileWrite(FOutputFile, text + CRLF, FFileName);
  else
    ToConsole(text + CRLF);
}

std::string TXMLTestListener::GetCurrentSuiteName() {
  std::string result;
  for (const std::string& s : FSuiteStack) result = s + "." + result;
  return result;
}

std::string TXMLTestListener::GetCurrentCaseName() {
  ITestSuitePtr root = RegisteredTests();
  return (root ? root->GetName() : std::string()) + "." + GetCurrentSuiteName();
}

std::string TXMLTestListener::Level(int n) { return std::string(n > 0 ? static_cast<size_t>(n) * 3 : 0, ' '); }

std::string TXMLTestListener::text2sgml(const std::string& text) { return ReportText::XmlText(text); }

std::string TXMLTestListener::StringReplaceAll(const std::string& text, const std::string& search,
                                               const std::string& replacement) {
  return ReportText::StringReplaceAll(text, search, replacement);
}

void TXMLTestListener::TestingStarts() {
  startTime = Platform::GetTickCount();
  dtStartTime = Platform::Now();
  if (FOutputFile) ReportText::DiscardReportFile(std::exchange(FOutputFile, nullptr), FTempName);
  // The directory and a new file beside the report are made here, before any
  // test runs, so that a report in a new directory neither stops the run nor
  // is lost at its end. The previous report stays until the new one is whole;
  // this one gets every record once the next one has begun (no record
  // changes after that), so that a killed run leaves them for a person.
  FOutputFile = ReportText::CreateUnfinishedReport(FFileName, FTempName);
  ReportText::FileWrite(FOutputFile, ReportHead(), FFileName);
  FWritten = 0;
  WriteSealedRecords(FTestes.size());
}

std::string TXMLTestListener::ReportHead() {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8"?>)") + CRLF + "<testsuites name=\"" +
         XmlAttr(Platform::ExtractFileName(FFileName)) + "\">" + CRLF + Level(1) + "<testsuite>" + CRLF;
}

std::string TXMLTestListener::ReportTail() { return Level(1) + "</testsuite>" + CRLF + "</testsuites>"; }

void TXMLTestListener::WriteSealedRecords(size_t upTo) {
  if (!FOutputFile) return;
  std::string text;
  for (; FWritten < upTo && FWritten < FTestes.size(); ++FWritten) ProcessarTeste(*FTestes[FWritten], text);
  ReportText::FileWrite(FOutputFile, text, FFileName);
}

void TXMLTestListener::StartSuite(const ITestPtr& suite) {
  if (IsExecutableSuite(suite)) return;
  FSuiteStack.insert(FSuiteStack.begin(), suite->GetName());
}

void TXMLTestListener::EndSuite(const ITestPtr& suite) {
  if (IsExecutableSuite(suite) || FSuiteStack.empty()) return;
  FSuiteStack.erase(FSuiteStack.begin());
}

void TXMLTestListener::StartTest(const ITestPtr& test) {
  // Suites and decorators are not test cases: the tests they hold get the
  // records, and their own failures get records of their own.
  if (Supports<ITestSuite>(test) || IsDecorator(test)) return;
  WriteSealedRecords(FTestes.size());
  auto record = std::make_unique<TLocalTestResult>();
  record->SetName(test->GetName());
  record->SetClasse(GetCurrentSuiteName() + test->ClassType().Name);
  FTesteAtual = record.get();
  FNoAtual = test.get();
  FTestes.push_back(std::move(record));
}

void TXMLTestListener::AddSuccess(const ITestPtr& test) {
  if (FTesteAtual && test.get() == FNoAtual) FTesteAtual->SetTime(TimeText(test));
}

void TXMLTestListener::RecordFailure(TTestFailure& failure, const char* headerFmt, const char* lineFmt) {
  ITestPtr test = failure.FailedTest();
  std::string name = test ? test->GetName() : std::string();
  uint32_t ms = test ? test->ElapsedTestTime() : 0;
  ToConsole(Format(headerFmt, GetCurrentCaseName() + name, FloatToStr(ms / 1000.0)) + CRLF);
  ToConsole(Format(lineFmt, failure.ThrownExceptionName(), failure.ThrownExceptionMessage()) + CRLF);
  FlushConsole();

  // A failure of a suite's or decorator's own set-up or tear-down belongs to
  // that node, not to the test case that happened to start last.
  if (!FTesteAtual || test.get() != FNoAtual) {
    WriteSealedRecords(FTestes.size());
    auto record = std::make_unique<TLocalTestResult>();
    record->SetName(name);
    record->SetClasse(GetCurrentSuiteName() + name);
    FTesteAtual = record.get();
    FNoAtual = test.get();
    FTestes.push_back(std::move(record));
  }
  if (FTesteAtual->FailureTipe().empty() && FTesteAtual->FailureText().empty()) {
    FTesteAtual->SetFailureTipe(failure.ThrownExceptionName());
    FTesteAtual->SetFailureText(failure.ThrownExceptionMessage());
  } else {
    // A second failure of the same node (its tear-down after its body) is
    // added to the first, which stays the cause shown.
    FTesteAtual->SetFailureText(FTesteAtual->FailureText() + CRLF + "[" + failure.ThrownExceptionName() + "] " +
                                failure.ThrownExceptionMessage());
  }
  FTesteAtual->SetTime(ReportText::FixedPoint(ms / 1000.0, 4));
}

void TXMLTestListener::AddFailure(TTestFailure& failure) {
  RecordFailure(failure, TesselConsts::sXmlFalhaNoTeste, TesselConsts::sXmlFalha);
}

void TXMLTestListener::AddError(TTestFailure& error) {
  RecordFailure(error, TesselConsts::sXmlErroNoTeste, TesselConsts::sXmlErro);
}

void TXMLTestListener::EndTest(const ITestPtr&) { ReportText::FlushReportIfDue(FOutputFile, FFileName); }

bool TXMLTestListener::ShouldRunTest(const ITestPtr& test) { return test->GetEnabled(); }

void TXMLTestListener::Status(const ITestPtr&, const std::string&) {}

void TXMLTestListener::Warning(const ITestPtr&, const std::string&) {}

void TXMLTestListener::ProcessarTeste(const TLocalTestResult& record, std::string& stream) {
  std::string head = Level(2) + "<testcase classname=\"" + XmlAttr(record.Classe()) + "\" name=\"" +
                     XmlAttr(record.Name()) + "\" time=\"" + XmlAttr(record.Time()) + "\"";
  if (record.FailureTipe().empty() && record.FailureText().empty()) {
    stream += head + "/>" + CRLF;
    return;
  }
  stream += head + ">" + CRLF;
  stream += Level(3) + "<failure type=\"" + XmlAttr(record.FailureTipe()) + "\"> " + CRLF;
  stream += text2sgml(record.FailureText()) + CRLF;
  stream += Level(3) + "</failure>" + CRLF;
  stream += Level(2) + "</testcase>" + CRLF;
}

std::string TXMLTestListener::BuildReport() {
  std::string xml = ReportHead();
  for (const auto& record : FTestes) ProcessarTeste(*record, xml);
  return xml + ReportTail();
}

void TXMLTestListener::TestingEnds(TTestResult& testResult) {
  uint32_t elapsedMs = Platform::GetTickCount() - startTime;  // wraps like the counter
  int64_t runs = testResult.RunCount();
  int64_t failures = testResult.FailureCount();
  int64_t errors = testResult.ErrorCount();
  int64_t rate = runs < 1 ? 100 : (runs - failures - errors) * 100 / runs;

  ToConsole(CRLF);
  ToConsole(Format(TesselConsts::sXmlTotalDeTestes, runs) + CRLF);
  ToConsole(Format(TesselConsts::sXmlFalhas, failures) + CRLF);
  ToConsole(Format(TesselConsts::sXmlErros, errors) + CRLF);
  ToConsole(Format(TesselConsts::sXmlTaxaDeSucesso, rate) + CRLF);
  ToConsole(Format(TesselConsts::sXmlInicio, ReportText::DateTimeToStr(dtStartTime)) + CRLF);
  ToConsole(Format(TesselConsts::sXmlTermino, ReportText::DateTimeToStr(Platform::Now())) + CRLF);
  ToConsole(Format(TesselConsts::sXmlTempoDeExecucao, FloatToStr(elapsedMs / 1000.0)) + CRLF);
  FlushConsole();

  ToConsole(Format(TesselConsts::sXmlSalvandoRelatorio, FFileName) + CRLF);
  FlushConsole();
  // What is not in the file yet, and the end; then it replaces the report.
  std::FILE* f = FOutputFile;
  try {
    if (!f) {
      f = ReportText::CreateUnfinishedReport(FFileName, FTempName);
      FOutputFile = f;
      ReportText::FileWrite(f, ReportHead(), FFileName);
      FWritten = 0;
    }
    WriteSealedRecords(FTestes.size());
    ReportText::FileWrite(f, ReportTail(), FFileName);
  } catch (...) {
    // Whatever reached the unfinished file stays there for a person.
    FOutputFile = nullptr;
    ReportText::AbandonReportFile(f);
    throw;
  }
  FOutputFile = nullptr;
  ReportText::CommitReportFile(f, FTempName, FFileName);
}

std::unique_ptr<TTestResult> TXMLTestListener::RunTest(ITestPtr suite, const std::string& outputFile) {
  return TesselCrashGuard::RunGuarded(std::move(suite), {std::make_shared<TXMLTestListener>(outputFile)});
}

std::unique_ptr<TTestResult> TXMLTestListener::RunRegisteredTests(const std::string& outputFile) {
  return RunTest(RegisteredTests(), outputFile);
}

std::unique_ptr<TTestResult> RunTest(ITestPtr suite, const std::string& outputFile) {
  return TXMLTestListener::RunTest(std::move(suite), outputFile);
}

std::unique_ptr<TTestResult> RunRegisteredTests(const std::string& outputFile) {
  return TXMLTestListener::RunRegisteredTests(outputFile);
}

namespace {
int gInitCount = 0;
}

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("XMLTestRunner2", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("XMLTestRunner2", Platform::kUnitStop);
}

}  // namespace XMLTestRunner2
