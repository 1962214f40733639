// A package like the host's own: it requires CorvelTest5 and one package that
// is nowhere to be found, so loading it must fail as a whole.
#include "framework/TestFramework.h"

int AbsentPackageFunction();

extern "C" [[gnu::visibility("default")]] int NeedsAbsentPackage() {
  return AbsentPackageFunction() + TestFramework::RegisteredTests()->CountTestCases();
}
