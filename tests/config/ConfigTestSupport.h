// Helpers shared by the configuration and memory-monitor tests: a scratch
// directory, whole-file reads and writes, and a listener that records what
// the run loop announced.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/TestFramework.h"

namespace ConfigTests {

// A fresh directory under $TMPDIR (or /tmp), removed with everything in it.
class TScratchDir {
 public:
  TScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tessel-config-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a scratch directory from " + tmpl);
    FPath = tmpl;
  }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FPath, ec);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << text;
}

inline bool FileExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

// Names of the entries of a directory, sorted.
inline std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Points the registry store at a scratch directory for the life of the guard.
class TRegistryHome {
 public:
  explicit TRegistryHome(const std::string& dir) : FOldKey(TestFramework::GetTesselRegistryKey()) {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
      FOld = old;
      FHadOld = true;
    }
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  }
  ~TRegistryHome() {
    if (FHadOld) setenv("XDG_CONFIG_HOME", FOld.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    TestFramework::SetTesselRegistryKey(FOldKey);
  }

 private:
  std::string FOld, FOldKey;
  bool FHadOld = false;
};

// Records the run loop's announcements as "Event:TestName" lines.
class TRecordingListener : public TestFramework::ITestListener {
 public:
  std::vector<std::string> Events;
  std::vector<std::string> Messages;     // of failures and errors, in order
  std::vector<std::string> Classes;      // exception class names, in order
  std::vector<std::string> Locations;    // LocationInfo of each failure and error

  void Status(const TestFramework::ITestPtr&, const std::string&) override {}
  void TestingStarts() override {}
  void StartTest(const TestFramework::ITestPtr& t) override { Events.push_back("Start:" + t->GetName()); }
  void AddSuccess(const TestFramework::ITestPtr& t) override { Events.push_back("Success:" + t->GetName()); }
  void AddError(TestFramework::TTestFailure& e) override { Record("Error:", e); }
  void AddFailure(TestFramework::TTestFailure& f) override { Record("Failure:", f); }
  void EndTest(const TestFramework::ITestPtr& t) override { Events.push_back("End:" + t->GetName()); }
  void TestingEnds(TestFramework::TTestResult&) override {}
  bool ShouldRunTest(const TestFramework::ITestPtr& t) override { return t->GetEnabled(); }

  std::string Joined() const {
    std::string s;
    for (const std::string& e : Events) s += (s.empty() ? "" : " ") + e;
    return s;
  }

 private:
  void Record(const char* kind, TestFramework::TTestFailure& f) {
    Events.push_back(kind + f.FailedTest()->GetName());
    Messages.push_back(f.ThrownExceptionMessage());
    Classes.push_back(f.ThrownExceptionName());
    Locations.push_back(f.LocationInfo());
  }
};

}  // namespace ConfigTests
