// The example program: runs every registered test through the console
// runner, then again through the two XML report runners, which leave their
// reports beside the program.
//
// The suite Demo.DeliberateProblems fails on purpose (one failure, one
// error), so this program ends successfully when those two are the only
// problems and unsuccessfully when anything else went wrong.
#include <cstdio>
#include <string>

#include "framework/TestFramework.h"
#include "platform/Paths.h"
#include "runners/NUnitXMLTestRunner.h"
#include "runners/TextTestRunner.h"
#include "runners/XMLTestRunner2.h"

namespace {

bool IsDeliberate(TestFramework::TTestFailure& f) {
  auto* object = dynamic_cast<TestFramework::TObject*>(f.FailedTest().get());
  return object && std::string(object->ClassType().Name) == "TDeliberateProblems";
}

}  // namespace

int main() {
  try {
    auto result = TextTestRunner::RunRegisteredTests(TextTestRunner::rxbContinue);
    int unexpected = 0;
    for (int i = 0; i < result->FailureCount(); ++i) unexpected += IsDeliberate(result->GetFailure(i)) ? 0 : 1;
    for (int i = 0; i < result->ErrorCount(); ++i) unexpected += IsDeliberate(result->GetError(i)) ? 0 : 1;
    const bool asPlanned = unexpected == 0 && result->FailureCount() == 1 && result->ErrorCount() == 1;

    const std::string dir = Platform::ProgramDir();
    std::printf("\nThe same tests again, written as XML reports:\n");
    NUnitXMLTestRunner::RunRegisteredTests(dir + "tessel-nunit.xml");
    XMLTestRunner2::RunRegisteredTests(dir + "tessel-report.xml");
    std::printf("\nNUnit-format report:           %stessel-nunit.xml\n", dir.c_str());
    std::printf("Suite-path (JUnit-style) report: %stessel-report.xml\n\n", dir.c_str());
    if (asPlanned) {
      std::printf(
          "Demo finished as planned: the one failure and the one error above come from the suite\n"
          "Demo.DeliberateProblems (examples/DeliberateProblems.cpp), which goes wrong on purpose\n"
          "to show both report sections. All other tests passed, so the demo ends successfully.\n");
      return 0;
    }
    std::printf("Demo finished with %d unexpected problem(s) besides the deliberate ones.\n", unexpected);
    return 1;
  } catch (const TestFramework::Exception& e) {
    std::fprintf(stderr, "%s: %s\n", e.ClassType().Name, e.Message().c_str());
    return 1;
  }
}
