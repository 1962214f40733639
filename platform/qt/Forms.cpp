#include "platform/qt/Forms.h"

#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

#include "platform/qt/QtText.h"

namespace Forms {
namespace {

int gHoldDepth = 0;
std::exception_ptr gPending;

std::string DemangledCurrentType() {
  std::type_info* t = abi::__cxa_current_exception_type();
  if (!t) return "unknown";
  int status = 0;
  char* name = abi::__cxa_demangle(t->name(), nullptr, nullptr, &status);
  std::string out = status == 0 && name ? name : t->name();
  std::free(name);
  return out;
}

std::string CurrentMessage() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}


// Watches the registered forms for activation and showing, so the screen
// knows the last active form even where activeWindow() stays null.
class TActivationFilter : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)
      if (auto* w = qobject_cast<QWidget*>(watched); w && w->isWindow()) Screen().NoteActivated(w);
    return false;
  }
};

TActivationFilter& ActivationFilter() {
  static TActivationFilter* filter = new TActivationFilter;  // lives as long as the process
  return *filter;
}

// The offscreen platform warns on every window it shows that it cannot pass
// size hints on; headless test runs would print that line for each test.
bool gQuietInstalled = false;
QtMessageHandler gPreviousHandler = nullptr;

void QuietPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && message == QLatin1String("This plugin does not support propagateSizeHints()")) return;
  if (gPreviousHandler)
    gPreviousHandler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  if (!gQuietInstalled) {
    gPreviousHandler = qInstallMessageHandler(QuietPlatformNoise);
    gQuietInstalled = true;
  }
}
TApplication::~TApplication() = default;

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (gHoldDepth > 0) {
      if (!gPending) gPending = std::current_exception();
    } else {
      std::string cls = DemangledCurrentType(), msg = CurrentMessage();
      if (OnException)
        OnException(cls, msg);
      else
        std::fprintf(stderr, "Tessel: exception in an event handler: %s: %s\n", cls.c_str(), msg.c_str());
    }
    return false;
  }
}

QWidget* TApplication::MainForm() const {
  if (FMainForm) return FMainForm;
  return Screen().FormCount() > 0 ? Screen().Form(0) : nullptr;
}

TApplication* TApplication::Instance() { return dynamic_cast<TApplication*>(QCoreApplication::instance()); }

bool EnsureApplication(std::string* why) {
  if (QCoreApplication::instance()) return true;
  std::string platform = std::getenv("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
  bool needsX = platform.empty() || platform.rfind("xcb", 0) == 0;
  bool needsWayland = platform.rfind("wayland", 0) == 0;
  const char* display = std::getenv(needsWayland ? "WAYLAND_DISPLAY" : "DISPLAY");
  bool hasDisplay = display && *display;
  if (platform.empty() && !hasDisplay) {
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    hasDisplay = wl && *wl;
  }
  if ((needsX || needsWayland) && !hasDisplay) {
    if (why)
      *why = "No display to show the window on: set DISPLAY, or QT_QPA_PLATFORM=offscreen to run headless.";
    return false;
  }
  static int argc = 1;
  static char name[] = "tessel";
  static char* argv[] = {name, nullptr};
  new TApplication(argc, argv);  // lives until the process ends, like a program's own
  return true;
}

THoldExceptions::THoldExceptions() { ++gHoldDepth; }
THoldExceptions::~THoldExceptions() { --gHoldDepth; }

void RethrowPending() {
  if (gPending) {
    std::exception_ptr e = gPending;
    gPending = nullptr;
    std::rethrow_exception(e);
  }
}

void ClearPending() { gPending = nullptr; }

void ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  RethrowPending();
}

void HandleMessage() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ProcessMessages();
}

void Sleep(int ms) {
  if (ms > 0 && QCoreApplication::instance()) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  }
  ProcessMessages();
}

// ---- the screen ------------------------------------------------------------

void TScreen::Compact() {
  std::erase_if(FForms, [](const TEntry& e) { return e.Form.isNull(); });
  std::erase_if(FDataModules, [](const QPointer<QObject>& m) { return m.isNull(); });
}

int TScreen::FormCount() const {
  const_cast<TScreen*>(this)->Compact();
  return static_cast<int>(FForms.size());
}

QWidget* TScreen::Form(int index) const {
  const_cast<TScreen*>(this)->Compact();
  return index >= 0 && index < static_cast<int>(FForms.size()) ? FForms[static_cast<std::size_t>(index)].Form.data()
                                                                  : nullptr;
}

int TScreen::DataModuleCount() const {
  const_cast<TScreen*>(this)->Compact();
  return static_cast<int>(FDataModules.size());
}

QObject* TScreen::DataModule(int index) const {
  const_cast<TScreen*>(this)->Compact();
  return index >= 0 && index < static_cast<int>(FDataModules.size())
             ? FDataModules[static_cast<std::size_t>(index)].data()
             : nullptr;
}

QWidget* TScreen::ActiveForm() const {
  QWidget* active = QApplication::activeWindow();
  for (const auto& e : FForms)
    if (active && e.Form == active) return active;
  if (FLastActive && !FLastActive->isHidden()) return FLastActive;
  return nullptr;
}

QWidget* TScreen::ActiveControl() const {
  if (QWidget* w = QApplication::focusWidget()) return w;
  QWidget* form = ActiveForm();
  return form ? form->focusWidget() : nullptr;
}

void TScreen::AddForm(QWidget* form, bool frameworkWindow) {
  if (!form) return;
  for (auto& e : FForms)
    if (e.Form == form) {
      e.Framework = e.Framework || frameworkWindow;
      return;
    }
  FForms.push_back({form, frameworkWindow});
  form->installEventFilter(&ActivationFilter());
}

void TScreen::RemoveForm(QWidget* form) {
  std::erase_if(FForms, [form](const TEntry& e) { return e.Form == form || e.Form.isNull(); });
  if (FLastActive == form) FLastActive = nullptr;
}

bool TScreen::IsFrameworkWindow(QWidget* form) const {
  for (const auto& e : FForms)
    if (e.Form == form) return e.Framework;
  return false;
}

void TScreen::AddDataModule(QObject* module) {
  if (module) FDataModules.emplace_back(module);
}

void TScreen::RemoveDataModule(QObject* module) {
  std::erase_if(FDataModules, [module](const QPointer<QObject>& m) { return m == module || m.isNull(); });
}

void TScreen::NoteActivated(QWidget* form) {
  for (const auto& e : FForms)
    if (e.Form == form) FLastActive = form;
}

TScreen& Screen() {
  static TScreen screen;
  return screen;
}

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window) { Screen().AddForm(this); }
TForm::~TForm() { Screen().RemoveForm(this); }

TDataModule::TDataModule(QObject* owner) : QObject(owner) { Screen().AddDataModule(this); }
TDataModule::~TDataModule() { Screen().RemoveDataModule(this); }

// ---- the class list ----------------------------------------------------------

void TClassList::Register(TClassInfo info) {
  for (auto& c : FClasses)
    if (QtText::UpperAscii(c.Name) == QtText::UpperAscii(info.Name)) {
      c = std::move(info);
      return;
    }
  FClasses.push_back(std::move(info));
}

void TClassList::Unregister(const std::string& name) {
  std::string key = QtText::UpperAscii(name);
  std::erase_if(FClasses, [&](const TClassInfo& c) { return QtText::UpperAscii(c.Name) == key; });
}

const TClassInfo* TClassList::Find(const std::string& name) const {
  std::string key = QtText::UpperAscii(name);
  for (const auto& c : FClasses)
    if (QtText::UpperAscii(c.Name) == key) return &c;
  return nullptr;
}

TClassList& ClassList() {
  static TClassList list;
  return list;
}

}  // namespace Forms
