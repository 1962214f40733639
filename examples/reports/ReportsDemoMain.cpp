// The reports example: one suite of each kind of the legacy business unit,
// headless, through the console runner (`make demo` sets
// QT_QPA_PLATFORM=offscreen).
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Reports.h"
#include "platform/LocaleSettings.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"
#include "runners/TextTestRunner.h"

int main() {
  std::string why;
  if (!Forms::EnsureApplication(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  QTemporaryDir dir;
  const std::string folder = QtText::FromQ(dir.path()) + "/";
  setenv("TESSEL_DADOS", (folder + "dados").c_str(), 1);  // the test user's settings live there
  setenv("TMPDIR", folder.c_str(), 1);                    // and the scenarios written for the developer
  // The expected report lines were recorded with "." decimals (and so ","
  // between fields); a locale with "," decimals would export "Ana;14,5".
  Platform::FormatSettings().DecimalSeparator = '.';
  try {
    Reports::Preparar(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cannot prepare the sales database: %s\n", e.what());
    return 2;
  }
  auto result = TextTestRunner::RunRegisteredTests(TextTestRunner::rxbContinue);
  Reports::Encerrar();
  return result->WasSuccessful() ? 0 : 1;
}
