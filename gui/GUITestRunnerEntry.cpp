// The entry points: a window made through the application object, shown
// modally, modeless or unattended; with no display, a message instead of
// the abort Qt would end the process with.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gui/GUITestRunner.h"
#include "platform/UnitSteps.h"
#include "platform/qt/Forms.h"
#include "runners/TesselCommandLine.h"

namespace GUITestRunner {

namespace {

// Qt ends the process when it cannot open the X display it was told to use;
// a local display whose server is gone is found here first, so the caller
// gets a message instead.
bool LocalDisplayReachable(std::string* why) {
  if (QCoreApplication::instance()) return true;
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::string(platform).rfind("xcb", 0) != 0) return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return true;  // EnsureApplication explains this case
  const std::string d = display;
  const auto colon = d.rfind(':');
  const std::string host = colon == std::string::npos ? d : d.substr(0, colon);
  if (colon == std::string::npos || !(host.empty() || host == "unix")) return true;  // remote: Qt says
  const std::string number = d.substr(colon + 1, d.find('.', colon) - colon - 1);
  const std::string path = "/tmp/.X11-unix/X" + number;
  for (bool abstract : {false, true}) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;  // abstract names start with a NUL byte
    std::memcpy(addr.sun_path + offset, path.data(), std::min(path.size(), sizeof addr.sun_path - 1 - offset));
    const auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0;
    ::close(fd);
    if (ok) return true;
  }
  if (why)
    *why = "Cannot reach the display \"" + d + "\": set DISPLAY to a running X server, or QT_QPA_PLATFORM=offscreen to run headless.";
  return false;
}

void RequireApplication() {
  std::string why;
  if (!LocalDisplayReachable(&why) || !Forms::EnsureApplication(&why)) throw TestFramework::ETesselException(why);
}

TGUITestRunner* MakeWindow() {
  RequireApplication();
  if (auto* app = Forms::TApplication::Instance()) return app->CreateForm<TGUITestRunner>();
  return new TGUITestRunner;
}

// `--runner=gui` of the command line: the window on the chosen tree until it
// is closed; the exit status says whether the last run was successful.
int RunFromCommandLine(int, char*[], const ITestPtr& root, const TestFramework::ITestListenerPtr& selection) {
  if (selection) {
    std::fprintf(stderr,
                 "Tessel: --filter and --shard do not apply to the windowed runner: tick the tests to run in its "
                 "tree instead\n");
    return 2;
  }
  try {
    std::unique_ptr<TGUITestRunner> window(MakeWindow());
    window->SetSuite(root);
    window->ShowModal();
    return window->ErrorCount() + window->FailureCount() == 0 ? 0 : 1;
  } catch (const TestFramework::Exception& e) {
    std::fprintf(stderr, "%s\n", e.Message().c_str());
    return 2;
  }
}

int gInitCount = 0;

}  // namespace

void InitializeUnit() {
  if (gInitCount++ > 0) return;
  TesselCommandLine::SetWindowedRunner(&RunFromCommandLine);
  Platform::NoteUnitStep("GUITestRunner", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount == 0 || --gInitCount > 0) return;
  TesselCommandLine::SetWindowedRunner(nullptr);
  Platform::NoteUnitStep("GUITestRunner", Platform::kUnitStop);
}

void RunTest(ITestPtr test) {
  std::unique_ptr<TGUITestRunner> window(MakeWindow());
  window->SetSuite(test);
  if (test) window->ShowModal();
}

TGUITestRunner* RunTestModeless(ITestPtr test) {
  TGUITestRunner* window = MakeWindow();
  window->SetSuite(std::move(test));
  window->show();
  return window;
}

void RunRegisteredTests() { RunTest(TestFramework::RegisteredTests()); }

void TGUITestRunner::RunTest(ITestPtr test) {
  std::unique_ptr<TGUITestRunner> window(MakeWindow());
  window->SetSuite(std::move(test));
  window->ShowModal();
}

void TGUITestRunner::RunRegisteredTests() { TGUITestRunner::RunTest(TestFramework::RegisteredTests()); }
TGUITestRunner* RunRegisteredTestsModeless() { return RunTestModeless(TestFramework::RegisteredTests()); }

int RunRegisteredTestsModelessUnattended() {
  std::unique_ptr<TGUITestRunner> window(MakeWindow());
  window->SetSuite(TestFramework::RegisteredTests());
  window->show();
  // The run is synchronous inside RunAction; the loop only ends a run that
  // something else started. Waiting for this window's own run, not for the
  // main window's Run command, ends even when no test is enabled.
  window->Action("RunAction")->trigger();
  while (window->Running()) {
    try {
      Forms::HandleMessage();
    } catch (...) {
      const auto info = TestFramework::DescribeCurrentException();
      std::fprintf(stderr, "Tessel: %s: %s\n", info.ClassName.c_str(), info.Message.c_str());
    }
  }
  return window->ErrorCount() + window->FailureCount();
}

}  // namespace GUITestRunner
