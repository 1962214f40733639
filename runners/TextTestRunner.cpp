#include "runners/TextTestRunner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <typeinfo>

#include <stdio_ext.h>
#include <unistd.h>

#include "framework/TesselConsts.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/UnitSteps.h"
#include "runners/ReportText.h"
#include "runners/TesselCrashGuard.h"

namespace TextTestRunner {

using namespace TesselConsts;
using Platform::Format;
using TestFramework::TClass;
using TestFramework::TObject;

namespace {

constexpr std::string_view kLineEnd = "\r\n";

[[noreturn]] void ThrowWriteError(int err) {
  std::clearerr(stdout);
  throw TestFramework::EInOutError(Format(sStdOutWriteError, std::strerror(err != 0 ? err : EIO)));
}

// One write to standard output, flushed at once so that the trace shows while
// the run goes on and a broken output is noticed at the write that failed
// (or, while the console is buffered, kept in stdout's buffer).
void WriteStdOut(std::string_view text) {
  if (text.empty()) return;
  if (ReportText::ConsoleBuffered()) {
    std::clearerr(stdout);
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::ferror(stdout)) ThrowWriteError(errno);
    return;
  }
  if (__fpending(stdout) == 0) {
    // Nothing of the program waits in stdout's buffer, so writing the text
    // straight to its descriptor is what fwrite and fflush would do, without
    // copying it through the buffer first. This runs twice per test.
    const int fd = fileno(stdout);
    while (fd >= 0 && !text.empty()) {
      ssize_t n = ::write(fd, text.data(), text.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw TestFramework::EInOutError(Format(sStdOutWriteError, std::strerror(n < 0 ? errno : EIO)));
      text.remove_prefix(static_cast<size_t>(n));
    }
    if (fd >= 0) return;
  }
  std::clearerr(stdout);  // judge this write only, not an earlier one of the program
  errno = 0;
  bool failed = !text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size();
  int err = errno;
  if (!failed && std::fflush(stdout) != 0) {
    failed = true;
    err = errno;
  }
  if (!failed && std::ferror(stdout)) failed = true;
  if (!failed) return;
  ThrowWriteError(err);
}

struct TClassNames {
  std::string Unit;
  std::string Name;
};

// Unit and class name of the object behind a test reference.
TClassNames ClassNamesOf(const ITestPtr& test) {
  if (!test) return {};
  if (const TObject* object = TestFramework::ObjectOf(test.get())) {
    const TClass& c = object->ClassType();
    return {c.UnitName ? c.UnitName : "", c.Name ? c.Name : ""};
  }
  const TestFramework::ITest& node = *test;
  return {"", TestFramework::DemangleTypeName(typeid(node).name())};
}

bool IsSuiteObject(const ITestPtr& test) {
  const TObject* object = TestFramework::ObjectOf(test.get());
  return object && object->ClassType().InheritsFrom(&TestFramework::TTestSuite::ClassInfo());
}

// Appends unit, class and test name joined by "."; the per-test trace lines
// are built this way in one reused buffer instead of a chain of temporaries.
void AppendQualifiedName(std::string& out, const ITestPtr& test) {
  if (const TObject* object = test ? TestFramework::ObjectOf(test.get()) : nullptr) {
    const TClass& c = object->ClassType();
    if (c.UnitName) out += c.UnitName;
    out += '.';
    if (c.Name) out += c.Name;
  } else {
    TClassNames names = ClassNamesOf(test);
    out += names.Unit;
    out += '.';
    out += names.Name;
  }
  out += '.';
  if (test) out += test->GetName();
}

// The buffer the trace lines are built in (they are written and flushed at once).
std::string& TraceLine() {
  thread_local std::string line;
  line.clear();
  return line;
}

// The start block quotes texts on one line each; keep a stray line break in
// a path or an OS description from splitting it.
std::string OneLine(std::string s) {
  std::replace_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return s;
}

std::string FailureItems(TTestResult& r, int count, TTestFailure& (TTestResult::*item)(int)) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    TTestFailure& f = (r.*item)(i);
    ITestPtr failed = f.FailedTest();
    TClassNames names = ClassNamesOf(failed);
    s += Format(sFailedTestDetails, i + 1, names.Unit, names.Name, failed ? failed->GetName() : std::string(),
                f.ThrownExceptionName(), f.LocationInfo(), f.ThrownExceptionMessage());
    s += kLineEnd;
  }
  return s;
}

// Reads and drops one line of standard input (up to its line feed or the end).
void ReadOneLine() {
  int c;
  do {
    c = std::fgetc(stdin);
  } while (c != EOF && c != '\n');
}

int gInitCount = 0;

}  // namespace

// ---------------------------------------------------------------------------
// TTextTestListener

TTextTestListener::TTextTestListener() = default;
TTextTestListener::~TTextTestListener() = default;

void TTextTestListener::Write(std::string_view text) { WriteStdOut(text); }

void TTextTestListener::WriteLn(std::string_view text) {
  std::string line(text);
  line += kLineEnd;
  WriteStdOut(line);
}

void TTextTestListener::AddSuccess(const ITestPtr& test) {
  if (!IsSuiteObject(test)) Write(".");
}

void TTextTestListener::AddError(TTestFailure& error) {
  ++FErrorCount;
  std::string& line = TraceLine();
  line += "Error: ";
  AppendQualifiedName(line, error.FailedTest());
  line += kLineEnd;
  WriteStdOut(line);
}

void TTextTestListener::AddFailure(TTestFailure& failure) {
  ++FFailureCount;
  std::string& line = TraceLine();
  line += "Failure: ";
  AppendQualifiedName(line, failure.FailedTest());
  line += kLineEnd;
  WriteStdOut(line);
}

bool TTextTestListener::ShouldRunTest(const ITestPtr& test) { return test && test->GetEnabled(); }

void TTextTestListener::StartSuite(const ITestPtr& suite) {
  std::string line(kLineEnd);
  line += PrefixChars();
  if (IsSuiteObject(suite))
    line += "StartSuite(" + suite->GetName() + ")(" + std::to_string(suite->CountTestCases()) + ") <";
  else
    line += "(" + (suite ? suite->GetName() : std::string()) + ")";
  Write(line);
  ++IndentLevel;
}

void TTextTestListener::EndSuite(const ITestPtr& suite) {
  --IndentLevel;
  Write(std::string(kLineEnd) + PrefixChars() + "> EndSuite(" + (suite ? suite->GetName() : std::string()) + ")");
}

void TTextTestListener::StartTest(const ITestPtr& test) {
  std::string& line = TraceLine();
  line += kLineEnd;
  if (IndentLevel > 0) line.append(static_cast<size_t>(IndentLevel), ' ');  // PrefixChars
  AppendQualifiedName(line, test);
  line += ' ';
  Write(line);
}

void TTextTestListener::EndTest(const ITestPtr&) {}

void TTextTestListener::TestingStarts() {
  FFailureCount = 0;
  FErrorCount = 0;
  std::string block(kLineEnd);
  block += "Executing: \"" + OneLine(Platform::ProgramPath()) + "\"" + std::string(kLineEnd);
  block += "DataFiles: \"" + OneLine(TestFramework::TestDataDir()) + "\"" + std::string(kLineEnd);
  block += "OSVersion: \"" + OneLine(Platform::OSDescription()) + "\"" + std::string(kLineEnd);
  block += kLineEnd;
  block += sTesselTesting;
  block += kLineEnd;
  Write(block);
  startTime = Platform::Now();
}

void TTextTestListener::TestingEnds(TTestResult& testResult) {
  endTime = Platform::Now();
  runTime = endTime - startTime;
  WriteLn();
  WriteLn(FormatRunTime(runTime));
  WriteLn(Report(testResult));
  WriteLn();
}

std::string TTextTestListener::PrintErrors(TTestResult& r) {
  const int n = r.ErrorCount();
  if (n == 0) return {};
  return Format(n == 1 ? sPrintError : sPrintErrors, n) + std::string(kLineEnd) + PrintErrorItems(r) +
         std::string(kLineEnd);
}

std::string TTextTestListener::PrintFailures(TTestResult& r) {
  const int n = r.FailureCount();
  if (n == 0) return {};
  return Format(n == 1 ? sPrintFailure : sPrintFailures, n) + std::string(kLineEnd) + PrintFailureItems(r) +
         std::string(kLineEnd);
}

std::string TTextTestListener::PrintHeader(TTestResult& r) {
  std::string s(kLineEnd);
  if (r.WasSuccessful()) {
    s += Format(sTestResultsOk, r.RunCount());
    s += kLineEnd;
    return s;
  }
  for (const std::string& line :
       {std::string(sTestResultsFailures), std::string(sTestResults), Format(sRunCount, r.RunCount()),
        Format(sFailureCount, r.FailureCount()), Format(sErrorsCount, r.ErrorCount())}) {
    s += line;
    s += kLineEnd;
  }
  return s;
}

std::string TTextTestListener::PrintFailureItems(TTestResult& r) {
  return FailureItems(r, r.FailureCount(), &TTestResult::GetFailure);
}

std::string TTextTestListener::PrintErrorItems(TTestResult& r) {
  return FailureItems(r, r.ErrorCount(), &TTestResult::GetError);
}

std::string TTextTestListener::TruncateString(const std::string& text, int len) {
  if (len >= 0 && static_cast<size_t>(len) < text.size()) return text.substr(0, static_cast<size_t>(len)) + "...";
  return text;
}

void TTextTestListener::Status(const ITestPtr& test, const std::string& Msg) {
  WriteLn(Format("%s: %s", test ? test->GetName() : std::string(), Msg));
}

void TTextTestListener::Warning(const ITestPtr& test, const std::string& Msg) { Status(test, Msg); }

std::string TTextTestListener::Report(TTestResult& r) { return PrintHeader(r) + PrintErrors(r) + PrintFailures(r); }

std::string TTextTestListener::PrefixChars() { return std::string(IndentLevel > 0 ? IndentLevel : 0, ' '); }

std::unique_ptr<TTestResult> TTextTestListener::RunTest(ITestPtr suite, TRunnerExitBehavior exitBehavior) {
  auto listener = std::make_shared<TTextTestListener>();
  // The result holds the listener from here on.
  std::unique_ptr<TTestResult> result = TesselCrashGuard::RunGuarded(std::move(suite), {listener});
  switch (exitBehavior) {
    case rxbContinue:
      break;
    case rxbPause:
      try {
        WriteStdOut(std::string(sPressReturn) + std::string(kLineEnd));
        ReadOneLine();
      } catch (...) {
        // No console to ask (closed or broken output or input): go on.
      }
      break;
    case rxbHaltOnFailures:
      if (!result->WasSuccessful()) {
        std::fflush(stdout);
        std::exit(HaltExitCode(*result));
      }
      break;
  }
  return result;
}

std::unique_ptr<TTestResult> TTextTestListener::RunRegisteredTests(TRunnerExitBehavior exitBehavior) {
  return RunTest(TestFramework::RegisteredTests(), exitBehavior);
}

// ---------------------------------------------------------------------------
// Unit functions

std::unique_ptr<TTestResult> RunTest(ITestPtr suite, TRunnerExitBehavior exitBehavior) {
  return TTextTestListener::RunTest(std::move(suite), exitBehavior);
}

std::unique_ptr<TTestResult> RunRegisteredTests(TRunnerExitBehavior exitBehavior) {
  return TTextTestListener::RunRegisteredTests(exitBehavior);
}

std::string FormatRunTime(Platform::TDateTime runTime) {
  int hour = 0, minute = 0, second = 0, ms = 0;
  Platform::DecodeTime(runTime, hour, minute, second, ms);
  return Format(sDecodeTime, hour, minute, second, ms);
}

int HaltExitCode(TTestResult& r) {
  if (r.WasSuccessful()) return 0;
  // Exit statuses keep 8 bits: 256 failures must not read as success.
  return std::clamp(r.ErrorCount() + r.FailureCount(), 1, 255);
}

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("TextTestRunner", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("TextTestRunner", Platform::kUnitStop);
}

}  // namespace TextTestRunner
