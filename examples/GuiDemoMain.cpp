// The example tests in the windowed runner: `make gui-demo` opens the window
// on the same suites as `make demo`; press Enter (or F9) to run them.
//
// With no display it says what to set in one line and exits with status 2.
#include <cstdio>

#include "framework/TestFramework.h"
#include "gui/GUITestRunner.h"

int main() {
  try {
    GUITestRunner::RunRegisteredTests();
    return 0;
  } catch (const TestFramework::Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 2;
  }
}
