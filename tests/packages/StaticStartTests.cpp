// A program linked with the static CorvelTest5: no library constructor runs
// for it, so the first registration must start the units, in the same order
// as the shared library, before the test is added; and the program's end
// stops them backwards.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

#include "UnitRecorder.h"
#include "framework/TestFramework.h"

namespace {

class TStaticTests : public TestFramework::TTestCase {
  TESSEL_TESTCASE(TStaticTests, TestFramework::TTestCase)
 public:
  TESSEL_TEST(Nothing) {}
};

TESSEL_REGISTER("Static", TStaticTests);

// Nothing here names a symbol of the package unit: a program that did would
// pull it in, and its constructor would hide a registry that starts nothing.
using UnitRecorder::kUnitOrder;
// Units in every build; the others start only when they are linked in.
const char* const kCoreUnits[] = {"TesselConsts",       "TestFramework",  "TestExtensions", "TextTestRunner",
                                  "NUnitXMLTestRunner", "XMLTestRunner2", "CorvelTest5"};

bool Recorded(const std::string& steps, const char* unit) {
  return steps.find(std::string(unit) + " start\n") != std::string::npos;
}

// The steps a copy of this program takes while it ends.
std::string StepsAtExitOfChild() {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    UnitRecorder::gPipe = fds[1];
    std::exit(0);
  }
  close(fds[1]);
  std::string got = UnitRecorder::ReadToEnd(fds[0]);
  close(fds[0]);
  waitpid(child, nullptr, 0);
  return got;
}

}  // namespace

int main() {
  const std::string got = UnitRecorder::Steps();
  std::string expected;
  for (const char* unit : kUnitOrder)
    if (Recorded(got, unit)) expected += std::string(unit) + " start\n";
  for (const char* unit : kCoreUnits)
    if (!Recorded(got, unit)) expected += std::string(unit) + " start (missing)\n";
  const int registered = TestFramework::RegisteredTests()->CountTestCases();

  std::string expectedStops;
  for (size_t i = std::size(kUnitOrder); i-- > 0;)
    if (Recorded(got, kUnitOrder[i])) expectedStops += std::string(kUnitOrder[i]) + " stop\n";
  const std::string stops = StepsAtExitOfChild();

  const bool ok = got == expected && registered == 1 && stops == expectedStops;
  if (!ok)
    std::printf("-- expected:\n%s-- recorded:\n%s-- registered: %d\n-- expected at exit:\n%s-- recorded at exit:\n%s",
                expected.c_str(), got.c_str(), registered, expectedStops.c_str(), stops.c_str());
  std::printf("static start: %s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
