// The application, the screen's ordered lists of forms and data modules, and
// the class list of things that can be made by name.
//
// These are process singletons. They live only in this library
// (libTesselPlatformQt.so), so the framework, the business units and the
// host's packages all see one screen and one class list.
#pragma once

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <exception>
#include <functional>
#include <utility>
#include <string>
#include <vector>

namespace Forms {

// The application object. Qt's event dispatch runs through C frames (glib)
// and cannot carry C++ exceptions, so notify() catches everything. While a
// test holds exceptions (THoldExceptions), the first one is kept as pending
// and the next ProcessMessages() rethrows it into the test; otherwise it goes
// to OnException (default: one line on stderr, never a dialog).
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  bool notify(QObject* receiver, QEvent* event) override;

  // The first form made through CreateForm, or else the first form registered
  // with the screen: Qt has no main window of its own.
  QWidget* MainForm() const;
  template <class T, class... A>
  T* CreateForm(A&&... args) {
    T* form = new T(std::forward<A>(args)...);
    if (!FMainForm) FMainForm = form;
    return form;
  }

  std::function<void(const std::string& className, const std::string& message)> OnException;

  // The running TApplication, or null (none made yet, or a foreign QApplication).
  static TApplication* Instance();

 private:
  friend class THoldExceptions;
  friend void ProcessMessages();
  QPointer<QWidget> FMainForm;
};

// Makes a TApplication when no QCoreApplication exists yet, so the entry
// points work from a plain main(). Returns false when there is no display to
// show windows on; `why` then says what to do. Never creates a second one.
bool EnsureApplication(std::string* why = nullptr);

// While one of these lives, exceptions escaping event handlers are held as
// pending instead of being reported, so the running test sees them.
class THoldExceptions {
 public:
  THoldExceptions();
  ~THoldExceptions();
  THoldExceptions(const THoldExceptions&) = delete;
  THoldExceptions& operator=(const THoldExceptions&) = delete;
};

// Rethrows (and clears) the exception an event handler left pending, if any.
void RethrowPending();
// Drops a pending exception without raising it (a test that already failed).
void ClearPending();

// All pending events, then the pending exception, if any, is rethrown.
void ProcessMessages();
// Waits for and handles at least one event, then as ProcessMessages.
void HandleMessage();
// A pause during which the windows keep reacting: a local event loop quit by
// a timer. Unlike QTest::qWait it does not flush deferred deletes, which
// could delete a window whose slot is still on the stack.
void Sleep(int ms);

// The screen: forms and data modules in the order they were made. A form
// registers in its constructor and unregisters in its destructor, so a form
// Qt has already deleted never lingers in the list.
class TScreen {
 public:
  int FormCount() const;
  QWidget* Form(int index) const;
  int DataModuleCount() const;
  QObject* DataModule(int index) const;

  // QApplication::activeWindow() when it is a registered form, else the last
  // form that was activated or shown (activeWindow() stays null on headless
  // platforms until events are processed, and for good without a window
  // manager). Null when there is none.
  QWidget* ActiveForm() const;
  // The focus widget of the application, or of the active form.
  QWidget* ActiveControl() const;

  // A framework window (the test runner) is listed but never freed by a
  // tear-down that frees the application's forms.
  void AddForm(QWidget* form, bool frameworkWindow = false);
  void RemoveForm(QWidget* form);
  bool IsFrameworkWindow(QWidget* form) const;
  void AddDataModule(QObject* module);
  void RemoveDataModule(QObject* module);

  // Called by the screen's event filter; public for the filter only.
  void NoteActivated(QWidget* form);

 private:
  struct TEntry {
    QPointer<QWidget> Form;
    bool Framework;
  };
  std::vector<TEntry> FForms;
  std::vector<QPointer<QObject>> FDataModules;
  QPointer<QWidget> FLastActive;
  void Compact();
};

TScreen& Screen();

// A form of the application: a top-level QWidget listed on the screen.
class TForm : public QWidget {
  Q_OBJECT
 public:
  explicit TForm(QWidget* parent = nullptr);
  ~TForm() override;
};

// A data module: a non-visual container, owned by a form or by nobody.
class TDataModule : public QObject {
  Q_OBJECT
 public:
  explicit TDataModule(QObject* owner = nullptr);
  ~TDataModule() override;
};

// Things that can be made by name, in registration order. Packages fill it
// from static registrars when they are loaded.
enum class TClassKind { Form, DataModule, Other };

struct TClassInfo {
  std::string Name;
  TClassKind Kind;
  std::function<QObject*(QWidget* owner)> Create;
};

class TClassList {
 public:
  // Registering a name twice replaces the factory in place (a package loaded
  // again); the order stays that of the first registration.
  void Register(TClassInfo info);
  void Unregister(const std::string& name);
  int Count() const { return static_cast<int>(FClasses.size()); }
  const TClassInfo& Item(int index) const { return FClasses.at(static_cast<std::size_t>(index)); }
  // Case-insensitive (ASCII) look-up; null when the name is not registered.
  const TClassInfo* Find(const std::string& name) const;

 private:
  std::vector<TClassInfo> FClasses;
};

TClassList& ClassList();

}  // namespace Forms
