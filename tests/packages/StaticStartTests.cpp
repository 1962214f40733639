// A program linked with the static CorvelTest5: no library constructor runs
// for it, so the first registration must start the units, in the same order
// as the shared library, before the test is added.
#include <cstdio>
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
const char* const kUnitOrder[] = {"TesselConsts",   "TestFramework",  "GUITesting",         "GUITestRunner",
                                  "TestExtensions", "TextTestRunner", "NUnitXMLTestRunner", "vUtilTestMini",
                                  "vUtilTest",      "vUtilTeste",     "XMLTestRunner2",     "CorvelTest5"};
// Units in every build; the others start only when they are linked in.
const char* const kCoreUnits[] = {"TesselConsts",       "TestFramework",  "TestExtensions", "TextTestRunner",
                                  "NUnitXMLTestRunner", "XMLTestRunner2", "CorvelTest5"};

bool Recorded(const std::string& steps, const char* unit) {
  return steps.find(std::string(unit) + " start\n") != std::string::npos;
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
  const bool ok = got == expected && registered == 1;
  if (!ok)
    std::printf("-- expected:\n%s-- recorded:\n%s-- registered: %d\n", expected.c_str(), got.c_str(), registered);
  std::printf("static start: %s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
