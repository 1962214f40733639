// A listener that logs every call it receives as one line, so that tests can
// compare whole call sequences. TRecordingListenerX also hears suites.
#pragma once
#include <string>
#include <vector>

#include "framework/TestFramework.h"

namespace TesselTests {

using namespace TestFramework;

class TRecordingListener : public virtual ITestListener {
 public:
  explicit TRecordingListener(std::vector<std::string>* log = nullptr, std::string tag = {})
      : FLog(log ? log : &FOwnLog), FTag(std::move(tag)) {}

  std::vector<std::string>& Log() { return *FLog; }
  // Names for which ShouldRunTest answers false.
  std::vector<std::string> Veto;
  // Name of the call ("StartTest:T1", "TestingStarts", ...) at which to throw.
  std::string ThrowAt;

  void Status(const ITestPtr& test, const std::string& Msg) override { Add("Status(" + test->GetName() + "," + Msg + ")"); }
  void TestingStarts() override { Add("TestingStarts"); }
  void StartTest(const ITestPtr& test) override { Add("StartTest(" + test->GetName() + ")"); }
  void AddSuccess(const ITestPtr& test) override { Add("AddSuccess(" + test->GetName() + ")"); }
  void AddError(TTestFailure& error) override {
    Add("AddError(" + error.FailedTest()->GetName() + "," + error.ThrownExceptionName() + "," +
        error.ThrownExceptionMessage() + ")");
  }
  void AddFailure(TTestFailure& failure) override {
    Add("AddFailure(" + failure.FailedTest()->GetName() + "," + failure.ThrownExceptionName() + "," +
        failure.ThrownExceptionMessage() + ")");
  }
  void EndTest(const ITestPtr& test) override { Add("EndTest(" + test->GetName() + ")"); }
  void TestingEnds(TTestResult&) override { Add("TestingEnds"); }
  bool ShouldRunTest(const ITestPtr& test) override {
    const std::string name = test->GetName();
    Add("ShouldRunTest(" + name + ")");
    for (const std::string& v : Veto)
      if (v == name) return false;
    return true;
  }

 protected:
  void Add(const std::string& line) {
    FLog->push_back(FTag + line);
    if (!ThrowAt.empty() && line.rfind(ThrowAt, 0) == 0) throw std::runtime_error("listener broke at " + line);
  }

 private:
  std::vector<std::string> FOwnLog;
  std::vector<std::string>* FLog;
  std::string FTag;
};

class TRecordingListenerX : public TRecordingListener, public ITestListenerX {
 public:
  using TRecordingListener::TRecordingListener;
  void StartSuite(const ITestPtr& suite) override { Add("StartSuite(" + suite->GetName() + ")"); }
  void EndSuite(const ITestPtr& suite) override { Add("EndSuite(" + suite->GetName() + ")"); }
};

// Joins log lines for readable failure messages.
inline std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

}  // namespace TesselTests
