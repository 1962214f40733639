// The windowed runner as its users open it, on the tessel.ini beside this
// program: it runs its tests, paints itself into the PNG named by its first
// argument and prints where it stands and on which screen; then it unticks
// every test, two of whose names no INI file can hold, saves, paints itself
// again ("-saved.png") and prints what its status line says.
#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QLabel>
#include <cstdio>

#include "gui/GUITestRunner.h"

using namespace TestFramework;

namespace {

class TQuietCase : public TAbstractTest {
 public:
  using TAbstractTest::TAbstractTest;
  void RunTest(TTestResult&) override {}
};

[[maybe_unused]] const bool kRegistered = [] {
  RegisterTest(TestSuite("Janela", {std::make_shared<TQuietCase>("Normal"), std::make_shared<TQuietCase>("a=b"),
                                    std::make_shared<TQuietCase>("line\nbreak")}));
  return true;
}();

void Untick(const ITestPtr& node) {
  node->SetEnabled(false);
  for (const ITestPtr& child : node->Tests()) Untick(child);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 2) return 2;
  std::unique_ptr<GUITestRunner::TGUITestRunner> window(GUITestRunner::RunRegisteredTestsModeless());
  window->Action("RunAction")->trigger();
  QApplication::processEvents();
  window->grab().save(QString::fromLocal8Bit(argv[1]));
  const QRect g = window->geometry(), f = window->frameGeometry(), s = window->screen()->availableGeometry();
  std::printf("window %d %d %d %d\nscreen %d %d %d %d\nframe %d %d\n", g.x(), g.y(), g.width(), g.height(), s.x(),
              s.y(), s.width(), s.height(), f.width(), f.height());
  for (const ITestPtr& suite : RegisteredTests()->Tests()) Untick(suite);
  window->Action("SaveConfigurationAction")->trigger();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  QString saved = QString::fromLocal8Bit(argv[1]);
  window->grab().save(saved.left(saved.size() - 4) + QStringLiteral("-saved.png"));
  const QLabel* note = window->findChild<QLabel*>(QStringLiteral("ConfigurationNote"));
  std::printf("status %s\n", note && note->isVisible() ? note->text().toStdString().c_str() : "");
  std::fflush(stdout);
  return 0;
}
