// Shared helpers of the decorator tests: a listener that writes every call it
// hears as one line, a small in-memory configuration store, and subject tests
// that are run inside the tests (never registered themselves).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"
#include "platform/IniFiles.h"

namespace ExtensionsTestKit {

using namespace TestFramework;

inline std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

class TRecordingListener : public ITestListenerX {
 public:
  std::vector<std::string> Log;
  // When set, stops this result as the wrapped test named StopAtName starts for the StopAtCount-th time.
  TTestResult* StopResult = nullptr;
  std::string StopAtName;
  int StopAtCount = 0;

  void Status(const ITestPtr& t, const std::string& m) override { Log.push_back("Status(" + t->GetName() + ") " + m); }
  void TestingStarts() override { Log.push_back("TestingStarts"); }
  void StartTest(const ITestPtr& t) override {
    Log.push_back("StartTest(" + t->GetName() + ")");
    if (StopResult && t->GetName() == StopAtName && --StopAtCount == 0) StopResult->Stop();
  }
  void AddSuccess(const ITestPtr& t) override { Log.push_back("AddSuccess(" + t->GetName() + ")"); }
  void AddError(TTestFailure& e) override { Log.push_back(Line("AddError", e)); }
  void AddFailure(TTestFailure& f) override { Log.push_back(Line("AddFailure", f)); }
  void EndTest(const ITestPtr& t) override { Log.push_back("EndTest(" + t->GetName() + ")"); }
  void TestingEnds(TTestResult&) override { Log.push_back("TestingEnds"); }
  bool ShouldRunTest(const ITestPtr& t) override {
    Log.push_back("ShouldRunTest(" + t->GetName() + ")");
    return true;
  }
  void StartSuite(const ITestPtr& s) override { Log.push_back("StartSuite(" + s->GetName() + ")"); }
  void EndSuite(const ITestPtr& s) override { Log.push_back("EndSuite(" + s->GetName() + ")"); }

 private:
  static std::string Line(const char* kind, TTestFailure& f) {
    return std::string(kind) + "(" + f.FailedTest()->GetName() + ") " + f.ThrownExceptionName() + ": " +
           f.ThrownExceptionMessage();
  }
};

// A result with a recording listener; runs test as its root when one is given.
struct TRecordedRun {
  std::shared_ptr<TRecordingListener> Listener = std::make_shared<TRecordingListener>();
  TTestResult Result;
  explicit TRecordedRun(const ITestPtr& test = nullptr) {
    Result.AddListener(Listener);
    if (test) Result.RunSuite(test);
  }
  std::string Log() const { return Join(Listener->Log); }
};

// Configuration store over a map; section and key names compare as given
// (the tests use one spelling throughout).
class TMapIniFile : public Platform::TCustomIniFile {
 public:
  std::map<std::pair<std::string, std::string>, std::string> Values;
  TMapIniFile() : TCustomIniFile("memory") {}
  std::string ReadString(const std::string& S, const std::string& K, const std::string& D) override {
    auto it = Values.find({S, K});
    return it == Values.end() ? D : it->second;
  }
  void WriteString(const std::string& S, const std::string& K, const std::string& V) override { Values[{S, K}] = V; }
  void DeleteKey(const std::string& S, const std::string& K) override { Values.erase({S, K}); }
  void EraseSection(const std::string& S) override {
    std::erase_if(Values, [&](const auto& kv) { return kv.first.first == S; });
  }
  std::vector<std::string> ReadSection(const std::string& S) override {
    std::vector<std::string> keys;
    for (const auto& kv : Values)
      if (kv.first.first == S) keys.push_back(kv.first.second);
    return keys;
  }
  std::vector<std::string> ReadSections() override {
    std::vector<std::string> sections;
    for (const auto& kv : Values)
      if (sections.empty() || sections.back() != kv.first.first) sections.push_back(kv.first.first);
    return sections;
  }
  void UpdateFile() override {}
  // "[section] key=value" lines in map order.
  std::string Dump() const {
    std::string s;
    for (const auto& kv : Values) s += "[" + kv.first.first + "] " + kv.first.second + "=" + kv.second + "\n";
    return s;
  }
};

// Subject tests. Calls counts the invocations of each method across a test.
class TSubject : public TTestCase {
  TESSEL_TESTCASE(TSubject, TTestCase)
 public:
  static inline std::map<std::string, int> Calls;
  static inline int StopOnCall = 0;  // TestStopping stops the run on this call
  TESSEL_TEST(TestPass) { Check(++Calls["TestPass"] > 0); }
  TESSEL_TEST(TestFail) {
    ++Calls["TestFail"];
    Fail("always fails");
  }
  TESSEL_TEST(TestError) {
    ++Calls["TestError"];
    throw std::runtime_error("broken");
  }
  TESSEL_TEST(TestStopping) {
    if (++Calls["TestStopping"] == StopOnCall) StopTests("enough");
    Check(true);
  }
};

inline ITestPtr Subject(const char* method) {
  TSubject::Calls.clear();
  return std::make_shared<TSubject>(method);
}

}  // namespace ExtensionsTestKit
