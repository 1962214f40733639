// A program linked with the static CorvelTest5: no library constructor runs
// for it, so the first registration must start the units, in the same order
// as the shared library, before the test is added.
#include <cstdio>
#include <string>

#include "UnitRecorder.h"
#include "framework/TestFramework.h"
#include "packages/PackageFrame.h"

namespace {

class TStaticTests : public TestFramework::TTestCase {
  TESSEL_TESTCASE(TStaticTests, TestFramework::TTestCase)
 public:
  TESSEL_TEST(Nothing) {}
};

TESSEL_REGISTER("Static", TStaticTests);

}  // namespace

int main() {
  const std::string expected = UnitRecorder::StartsOf(*GetPackageInfoTable());
  const std::string got = UnitRecorder::Steps();
  const int registered = TestFramework::RegisteredTests()->CountTestCases();
  const bool ok = got == expected && registered == 1;
  if (!ok) std::printf("-- expected:\n%s-- recorded:\n%s-- registered: %d\n", expected.c_str(), got.c_str(), registered);
  std::printf("static start: %s\n", ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
