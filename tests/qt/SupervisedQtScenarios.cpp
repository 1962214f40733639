// Qt applications that tests make, in the worker processes of a supervised
// run: each test makes or meets the application on its worker's main
// thread, and a worker that crashed with a window open is replaced by one
// that makes the application anew.
#include <sys/syscall.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QThread>

#include "framework/TestFramework.h"
#include "platform/qt/Forms.h"

using namespace TestFramework;

namespace {

volatile int* volatile gNowhere = nullptr;

class TQtInWorkers : public TTestCase {
  TESSEL_TESTCASE(TQtInWorkers, TTestCase)
 public:
  TESSEL_TEST(TestWindowShows) { ShowWindow(); }
  TESSEL_TEST(TestCrashesWithAWindow) {
    ShowWindow();
    *gNowhere = 1;
  }
  TESSEL_TEST(TestWindowShowsAgain) { ShowWindow(); }

 private:
  void ShowWindow() {
    std::string why;
    CheckTrue(Forms::EnsureApplication(&why), why);
    CheckEquals(static_cast<int64_t>(::getpid()), static_cast<int64_t>(::syscall(SYS_gettid)), "on the main thread");
    CheckTrue(QThread::currentThread() == qApp->thread(), "on the application's thread");
    QLabel label(QStringLiteral("made in a worker"));
    label.show();
    Forms::ProcessMessages();
    CheckTrue(label.isVisible(), "the window shows");
  }
};

}  // namespace

TESSEL_REGISTER("Qt", TQtInWorkers);
