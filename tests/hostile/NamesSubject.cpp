// A test program whose suites and tests bear the names a careless world
// gives them: quotes, backslashes, ";", brackets, "$", blanks, a NUL,
// invalid UTF-8, "=", a line break. It takes its main from Tessel::main.
// Each test that runs appends its path, in hex, to $HOSTILE_RAN_LOG, so the
// caller sees exactly which ones a selection ran.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/TestFramework.h"
#include "tests/hostile/HostileNames.h"

using namespace TestFramework;

namespace {

class TNamedCase : public TAbstractTest {
 public:
  TNamedCase(std::string name, std::string path) : TAbstractTest(std::move(name)), FPath(std::move(path)) {}
  void RunTest(TTestResult&) override {
    if (const char* log = std::getenv("HOSTILE_RAN_LOG"))
      if (std::FILE* f = std::fopen(log, "ab")) {
        std::fputs((HostileNames::Hex(FPath) + "\n").c_str(), f);
        std::fclose(f);
      }
  }

 private:
  std::string FPath;
};

[[maybe_unused]] const bool kRegistered = [] {
  for (const HostileNames::TSuiteOfNames& s : HostileNames::Suites()) {
    ITestSuitePtr suite = TestSuite(s.Name, {});
    for (const std::string& name : s.Cases) suite->AddTest(std::make_shared<TNamedCase>(name, s.Name + "." + name));
    RegisterTest(suite);
  }
  return true;
}();

}  // namespace
