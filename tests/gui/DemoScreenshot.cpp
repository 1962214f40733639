// Runs the example program's suites in the window, the way a person would
// after `make gui-demo`, and writes what the window shows to a PNG: the
// picture in the README is this program's output. Fails unless the run
// ended with exactly the examples' one failure and one error, shown in the
// failure list and, for the selected failure, in the message box.
//
//   gui_runner_demo_screenshot [output.png]
#include <QApplication>
#include <QTextEdit>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <string>

#include "framework/TestFramework.h"
#include "gui/GUITestRunner.h"
#include "platform/Paths.h"
#include "platform/qt/Forms.h"

int main(int argc, char** argv) {
  std::string why;
  if (!Forms::EnsureApplication(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  const std::string out = argc > 1 ? argv[1] : Platform::ProgramDir() + "gui-runner-demo.png";
  const auto config = std::filesystem::temp_directory_path() / "tessel-gui-demo-screenshot.ini";
  std::filesystem::remove(config);
  GUITestRunner::TGUITestRunner::ConfigFileOverride() = config.string();

  auto* window = new GUITestRunner::TGUITestRunner;
  window->resize(760, 640);
  window->SetSuite(TestFramework::RegisteredTests());
  window->show();
  Forms::ProcessMessages();
  window->Action("RunAction")->trigger();

  auto* failures = window->findChild<QTreeWidget*>(QStringLiteral("FailureListView"));
  if (failures->topLevelItemCount() > 0) failures->setCurrentItem(failures->topLevelItem(0));
  Forms::ProcessMessages();
  const bool asPlanned = window->FailureCount() == 1 && window->ErrorCount() == 1 &&
                         failures->topLevelItemCount() == 2 &&
                         !window->findChild<QTextEdit*>(QStringLiteral("ErrorMessageRTF"))->toPlainText().isEmpty();
  const bool saved = window->grab().save(QString::fromStdString(out));
  std::printf("%s: %d failure(s), %d error(s); picture %s %s\n", asPlanned ? "as planned" : "NOT as planned",
              window->FailureCount(), window->ErrorCount(), saved ? "written to" : "NOT written to", out.c_str());
  window->Action("AutoSaveAction")->setChecked(false);
  delete window;

  // The same suites unattended: the count of failures and errors comes back.
  const int problems = GUITestRunner::RunRegisteredTestsModelessUnattended();
  std::printf("unattended run: %d failure(s) and error(s)%s\n", problems, problems == 2 ? "" : ", NOT 2");
  std::filesystem::remove(config);
  return asPlanned && saved && problems == 2 ? 0 : 1;
}
