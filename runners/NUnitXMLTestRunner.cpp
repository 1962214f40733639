#include "runners/NUnitXMLTestRunner.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "framework/TesselConsts.h"
#include "platform/Format.h"
#include "platform/UnitSteps.h"
#include "runners/TesselCrashGuard.h"
#include "runners/ReportText.h"

namespace NUnitXMLTestRunner {

using namespace TestFramework;
using Platform::Format;
using ReportText::XmlAttr;
using ReportText::XmlText;

namespace {

constexpr char CRLF[] = "\r\n";
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// Lives until FinalizeUnit: the tree it holds may belong to a program whose
// statics are gone by the time static destruction would release it.
ITestPtr* gRootSuite = nullptr;
int gInitCount = 0;

bool IsRootSuite(const ITestPtr& suite) {
  return ReportText::SameText(suite->GetName(), ReportText::ProgramFileName());
}

// Elapsed time of a node in seconds, as every reader of the format expects.
std::string SecondsText(const ITestPtr& test) { return ReportText::FixedPoint(test->ElapsedTestTime() / 1000.0, 4); }

}  // namespace

ITestPtr& RootSuite() {
  if (!gRootSuite) gRootSuite = new ITestPtr();
  return *gRootSuite;
}

void InitializeUnit() {
  if (gInitCount++ > 0) return;
  Platform::NoteUnitStep("NUnitXMLTestRunner", Platform::kUnitStart);
  RootSuite();
}

void FinalizeUnit() {
  if (gInitCount <= 0 || --gInitCount > 0) return;
  Platform::NoteUnitStep("NUnitXMLTestRunner", Platform::kUnitStop);
  if (gRootSuite) gRootSuite->reset();
}

TXMLTestListener::TXMLTestListener() : TXMLTestListener(DEFAULT_FILENAME) {}

TXMLTestListener::TXMLTestListener(std::string outputFile) : FFileName(std::move(outputFile)) {}

void TXMLTestListener::ToConsole(std::string_view text) {
  if (FConsoleOutput) ReportText::ConsoleWrite(text);
}

void TXMLTestListener::FlushConsole() {
  if (FConsoleOutput) ReportText::ConsoleFlush();
}

TXMLTestListener::~TXMLTestListener() {
  // A run that never ended leaves what it wrote beside the report.
  ReportText::AbandonReportFile(FOutputFile);
}

void TXMLTestListener::CloseReport() {
  std::FILE* f = FOutputFile;
  FOutputFile = nullptr;
  ReportText::CommitReportFile(f, FUnfinishedName, FFileName);
}

void TXMLTestListener::writeReport(const std::string& str) {
  if (FOutputFile) {
    // Two buffered writes, not a copy of the line with its end appended.
    ReportText::FileWrite(FOutputFile, str, FFileName);
    ReportText::FileWrite(FOutputFile, CRLF, FFileName);
  } else {
    std::string line = str + CRLF;
    ToConsole(line);
    ToConsole(CRLF);
  }
}

std::string TXMLTestListener::GetCurrentSuiteName() {
  std::string result;
  for (const std::string& s : FSuiteStack) result = s + "." + result;
  return result;
}

std::string TXMLTestListener::GetNameSuite() { return FSuiteStack.empty() ? std::string() : FSuiteStack.front(); }

bool TXMLTestListener::HasInfoOrWarnings() { return !FInfoList.empty() || !FWarningList.empty(); }

void TXMLTestListener::WriteInfoAndWarnings() {
  for (const std::string& s : FInfoList) writeReport("<status>" + XmlText(s) + "</status>");
  for (const std::string& s : FWarningList) writeReport("<warning>" + XmlText(s) + "</warning>");
}

std::string TXMLTestListener::text2sgml(const std::string& text) { return XmlText(text); }

std::string TXMLTestListener::StringReplaceAll(const std::string& text, const std::string& search,
                                               const std::string& replacement) {
  return ReportText::StringReplaceAll(text, search, replacement);
}

void TXMLTestListener::TestingStarts() {
  startTime = Platform::GetTickCount();
  dtStartTime = Platform::Now();
  ToConsole(CRLF);
  ToConsole(TesselConsts::sTesselTesting);
  ToConsole(CRLF);
  FlushConsole();

  if (FOutputFile) ReportText::AbandonReportFile(std::exchange(FOutputFile, nullptr));
  // The report is written beside the previous one, which stays whole until
  // this one is complete.
  FOutputFile = ReportText::CreateUnfinishedReport(FFileName, FUnfinishedName);
  ReportText::FileWrite(FOutputFile, kUtf8Bom, FFileName);
  int total = 0, notRun = 0;
  if (const ITestPtr& root = RootSuite()) {
    total = root->CountTestCases();
    notRun = total - root->CountEnabledTestCases();
  }
  writeReport(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes" ?>)");
  writeReport(Format(R"(<test-results total="%d" notrun="%d" date="%s" time="%s" >)", total, notRun,
                     XmlAttr(ReportText::DateToStr(dtStartTime)), XmlAttr(ReportText::TimeToStr(dtStartTime))));
  writeReport(Format(R"(<application name="%s" />)", XmlAttr(ReportText::ProgramFileName())));
}

bool TXMLTestListener::ShouldRunTest(const ITestPtr& test) {
  bool enabled = test->GetEnabled();
  if (!enabled)
    writeReport(Format(R"(<test-case name="%s%s" executed="False"/>)", XmlAttr(GetCurrentSuiteName()),
                       XmlAttr(test->GetName())));
  return enabled;
}

void TXMLTestListener::StartSuite(const ITestPtr& suite) {
  if (IsRootSuite(suite)) return;
  writeReport(Format(R"(<test-suite name="%s">)", XmlAttr(GetCurrentSuiteName() + suite->GetName())));
  writeReport("<results>");
  FSuiteStack.insert(FSuiteStack.begin(), suite->GetName());
}

void TXMLTestListener::EndSuite(const ITestPtr& suite) {
  if (IsRootSuite(suite)) return;
  writeReport("</results>");
  writeReport("</test-suite>");
  if (!FSuiteStack.empty()) FSuiteStack.erase(FSuiteStack.begin());
  FlushReport();
}

void TXMLTestListener::FlushReport() {
  // Whole elements reach the unfinished file on a clock, so that a run that
  // is killed leaves what it recorded without paying a write for every test.
  ReportText::FlushReportIfDue(FOutputFile, FFileName);
}

void TXMLTestListener::StartTest(const ITestPtr&) {
  FInfoList.clear();
  FWarningList.clear();
  ToConsole(".");
  FlushConsole();
}

void TXMLTestListener::EndTest(const ITestPtr&) { FlushReport(); }

void TXMLTestListener::AddSuccess(const ITestPtr& test) {
  if (!test->Tests().empty()) return;
  bool more = HasInfoOrWarnings();
  // <test-case name="%s%s" executed="%s" success="True" time="%s" result="Pass" %s
  // built in reused buffers: this runs for every passing test.
  thread_local std::string suite, line;
  suite.clear();
  for (size_t i = FSuiteStack.size(); i-- > 0;) (suite += FSuiteStack[i]) += '.';  // GetCurrentSuiteName
  const std::string name = test->GetName();
  line.assign(R"(<test-case name=")");
  ReportText::AppendXmlAttr(line, suite);
  ReportText::AppendXmlAttr(line, name);
  line += R"(" executed=")";
  line += BoolToStr(test->GetEnabled());
  line += R"(" success="True" time=")";
  ReportText::AppendFixedPoint(line, test->ElapsedTestTime() / 1000.0, 4);  // SecondsText
  line += R"(" result="Pass" )";
  line += more ? ">" : "/>";
  writeReport(line);
  if (more) {
    WriteInfoAndWarnings();
    writeReport("</test-case>");
  }
  line.clear();
  if (!FSuiteStack.empty()) line += FSuiteStack.front();  // GetNameSuite
  line += '.';
  line += name;
  line += CRLF;
  ToConsole(line);
}

void TXMLTestListener::WriteFailingCase(TTestFailure& failure, const char* result) {
  ITestPtr test = failure.FailedTest();
  writeReport(Format(R"(<test-case name="%s%s" executed="%s" success="False" time="%s" result="%s">)",
                     XmlAttr(GetCurrentSuiteName()), XmlAttr(test->GetName()), BoolToStr(test->GetEnabled()),
                     SecondsText(test), result));
  writeReport(Format(R"(<failure name="%s" location="%s">)", XmlAttr(failure.ThrownExceptionName()),
                     XmlAttr(failure.LocationInfo())));
  writeReport("<message>" + XmlText(failure.ThrownExceptionMessage()) + "</message>");
  writeReport("</failure>");
  WriteInfoAndWarnings();
  writeReport("</test-case>");
}

void TXMLTestListener::AddFailure(TTestFailure& failure) {
  WriteFailingCase(failure, "Failure");
  ToConsole("F");
  FlushConsole();
}

void TXMLTestListener::AddError(TTestFailure& error) {
  WriteFailingCase(error, "Error");
  ToConsole("E");
  FlushConsole();
}

void TXMLTestListener::Status(const ITestPtr& test, const std::string& Msg) {
  FInfoList.push_back(Format(TesselConsts::sXmlStatus, GetNameSuite(), test ? test->GetName() : "", Msg));
}

void TXMLTestListener::Warning(const ITestPtr& test, const std::string& Msg) {
  FWarningList.push_back(Format(TesselConsts::sXmlWarning, GetNameSuite(), test ? test->GetName() : "", Msg));
}

void TXMLTestListener::TestingEnds(TTestResult& testResult) {
  uint32_t elapsedMs = Platform::GetTickCount() - startTime;  // wraps like the counter
  int64_t runs = testResult.RunCount();
  int64_t failures = testResult.FailureCount();
  int64_t errors = testResult.ErrorCount();
  int64_t rate = runs < 1 ? 100 : (runs - failures - errors) * 100 / runs;
  Platform::TDateTime now = Platform::Now();

  std::string stats;
  stats += "<statistics>";
  stats += Format("\r\n<stat name=\"tests\" value=\"%d\" />", runs);
  stats += Format("\r\n<stat name=\"failures\" value=\"%d\" />", failures);
  stats += Format("\r\n<stat name=\"errors\" value=\"%d\" />", errors);
  stats += Format("\r\n<stat name=\"success-rate\" value=\"%d%%\" />", rate);
  stats += "\r\n<stat name=\"started-at\" value=\"" + XmlAttr(ReportText::DateTimeToStr(dtStartTime)) + "\" />";
  stats += "\r\n<stat name=\"finished-at\" value=\"" + XmlAttr(ReportText::DateTimeToStr(now)) + "\" />";
  stats += "\r\n<stat name=\"runtime\" value=\"" + ReportText::FixedPoint(elapsedMs / 1000.0, 3) + "\"/>";
  stats += "\r\n</statistics>";
  stats += "\r\n</test-results>";
  // Suites the run left without ending them (a listener threw) are closed,
  // so that the report stays well-formed.
  for (; !FSuiteStack.empty(); FSuiteStack.erase(FSuiteStack.begin())) {
    writeReport("</results>");
    writeReport("</test-suite>");
  }
  writeReport(stats);
  if (FOutputFile) CloseReport();

  int h = 0, m = 0, s = 0, ms = 0;
  Platform::DecodeTime(now - dtStartTime, h, m, s, ms);
  ToConsole(CRLF);
  ToConsole(Format(TesselConsts::sDecodeTime, h, m, s, ms) + CRLF);
  ToConsole(Report(testResult) + CRLF);
  ToConsole(CRLF);
  FlushConsole();
}

std::string TXMLTestListener::Report(TTestResult& r) { return PrintHeader(r) + PrintErrors(r) + PrintFailures(r); }

std::string TXMLTestListener::PrintHeader(TTestResult& r) {
  if (r.WasSuccessful()) return CRLF + Format(TesselConsts::sTestResultsOk, r.RunCount()) + CRLF;
  return std::string(CRLF) + TesselConsts::sTestResultsFailures + CRLF + TesselConsts::sTestResults + CRLF +
         Format(TesselConsts::sRunCount, r.RunCount()) + CRLF + Format(TesselConsts::sFailureCount, r.FailureCount()) +
         CRLF + Format(TesselConsts::sErrorsCount, r.ErrorCount()) + CRLF;
}

std::string TXMLTestListener::PrintErrors(TTestResult& r) {
  int n = r.ErrorCount();
  if (n == 0) return {};
  return Format(n == 1 ? TesselConsts::sPrintError : TesselConsts::sPrintErrors, n) + CRLF + PrintErrorItems(r) + CRLF;
}

std::string TXMLTestListener::PrintFailures(TTestResult& r) {
  int n = r.FailureCount();
  if (n == 0) return {};
  return Format(n == 1 ? TesselConsts::sPrintFailure : TesselConsts::sPrintFailures, n) + CRLF +
         PrintFailureItems(r) + CRLF;
}

namespace {
std::string FailureItem(int index, const std::string& suite, TTestFailure& f) {
  ITestPtr test = f.FailedTest();
  return Format(TesselConsts::sXmlFailedTestDetails, index, suite, test ? test->GetName() : "",
                f.ThrownExceptionName(), f.LocationInfo(), f.ThrownExceptionMessage()) +
         CRLF;
}
}  // namespace

std::string TXMLTestListener::PrintErrorItems(TTestResult& r) {
  std::string s;
  for (int i = 0; i < r.ErrorCount(); ++i) s += FailureItem(i + 1, GetNameSuite(), r.Errors(i));
  return s;
}

std::string TXMLTestListener::PrintFailureItems(TTestResult& r) {
  std::string s;
  for (int i = 0; i < r.FailureCount(); ++i) s += FailureItem(i + 1, GetNameSuite(), r.Failures(i));
  return s;
}

std::unique_ptr<TTestResult> TXMLTestListener::RunTest(ITestPtr suite, const std::string& outputFile) {
  RootSuite() = suite;
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

}  // namespace NUnitXMLTestRunner
