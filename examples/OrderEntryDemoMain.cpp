// The order-entry example: drives the order-entry window through its GUI
// tests with the console runner. Without a display it needs
// QT_QPA_PLATFORM=offscreen, which `make demo` sets.
#include <cstdio>
#include <string>

#include "platform/qt/Forms.h"
#include "runners/TextTestRunner.h"

int main() {
  std::string why;
  if (!Forms::EnsureApplication(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  auto result = TextTestRunner::RunRegisteredTests(TextTestRunner::rxbContinue);
  return result->WasSuccessful() ? 0 : 1;
}
