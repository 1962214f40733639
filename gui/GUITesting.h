// Test cases that drive a real window of the program under test the way a
// person would: find its controls by name, click them, press keys and type,
// show and hide them, move the focus with Tab, and check focus, enabled state
// and visibility.
//
//   class TOrderWindowTests : public GUITesting::TGUITestCase {
//     TESSEL_TESTCASE(TOrderWindowTests, GUITesting::TGUITestCase)
//    public:
//     void SetUp() override {
//       FActionDelay = 0;
//       FGUI = new TOrderWindow;  // freed by TearDown
//       Show();
//     }
//     TESSEL_TEST(TestTypeAndAdd) {
//       EnterTextInto("Customer", "Acme");
//       Tab(1);
//       CheckFocused("ItemEdit");
//       Click("AddButton");
//     }
//   };
//
// Every action goes to the widget as real spontaneous Qt input events, so the
// widget's own handlers (and shortcuts) run exactly as for a person, and is
// followed by processing the pending events and a pause of FActionDelay ms.
// The program needs a QApplication (Forms::EnsureApplication makes one);
// without a display, run it with QT_QPA_PLATFORM=offscreen, which gives the
// shown window the focus and activation these operations rely on. Show()
// activates the window it shows, so a bare X server (Xvfb) works as well.
//
// Failures of the checks are the test's failures, at the test's own line.
// A missing control (null, or deleted by the test itself) is an error
// (EAssertionFailed), and so is an exception raised by an event handler of
// the window while an action runs.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "framework/TestFramework.h"

namespace GUITesting {

using TestFramework::TSourceLine;

// Raised for a step that has nothing to act on: it ends the test as an error.
using TestFramework::Exception;
class EAssertionFailed : public Exception { TESSEL_EXCEPTION_CLASS(EAssertionFailed, Exception) };

// Modifier keys held during a simulated action.
enum TShiftStateItem : uint8_t { ssShift, ssAlt, ssCtrl };

class TShiftState {
 public:
  constexpr TShiftState() noexcept = default;
  constexpr TShiftState(std::initializer_list<TShiftStateItem> items) noexcept {
    for (TShiftStateItem i : items) Include(i);
  }
  constexpr bool Contains(TShiftStateItem i) const noexcept { return (FBits & Bit(i)) != 0; }
  constexpr void Include(TShiftStateItem i) noexcept { FBits = static_cast<uint8_t>(FBits | Bit(i)); }
  constexpr void Exclude(TShiftStateItem i) noexcept { FBits = static_cast<uint8_t>(FBits & ~Bit(i)); }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr bool operator==(const TShiftState&) const noexcept = default;

 private:
  static constexpr uint8_t Bit(TShiftStateItem i) noexcept { return static_cast<uint8_t>(1u << i); }
  uint8_t FBits = 0;
};

// The texts of the failures and errors raised here.
inline constexpr char sNoControlName[] = "No control name";
inline constexpr char sControlNotFound[] = "Control named \"%s\" not found in %s";
inline constexpr char sControlNotFoundNoForm[] = "Control named \"%s\" not found: there is no active form";
inline constexpr char sNoActiveForm[] = "There is no active form";
inline constexpr char sNoControl[] = "No control";
inline constexpr char sControlDeleted[] =
    "Control $%s no longer exists: it was deleted before this step";
inline constexpr char sNotWinControl[] = "Expected a TWinControl, but %s is a %s";
inline constexpr char sCannotFocusNamed[] = "Control %s:%s cannot focus";
inline constexpr char sCannotFocus[] = "Control %s cannot focus";
inline constexpr char sCouldNotTab[] = "Could not Tab to control \"%s\"";
inline constexpr char sExpectedFocus[] = "Expected control %s to have focus, but %s had it.";
inline constexpr char sExpectedFocusNone[] = "Expected control %s to have focus";
inline constexpr char sExpectedEnabled[] = "Expected control %s to be enabled";
inline constexpr char sExpectedVisible[] = "Expected control %s to be visible";
inline constexpr char sVisibilityRefused[] = "Control %s stayed %s";
inline constexpr char sModalDialogClosed[] =
    "Modal dialog \"%s\" was still waiting for an answer after %d ms; it was closed";

class TGUITestCase : public TestFramework::TTestCase {
 public:
  explicit TGUITestCase(std::string MethodName, int64_t RunCount = 1);
  ~TGUITestCase() override;
  static const TestFramework::TClass& ClassInfo() noexcept;
  const TestFramework::TClass& ClassType() const noexcept override { return ClassInfo(); }

  void TearDown() override;

  // Finding controls: the first widget, in a depth-first walk of the
  // children in their order, whose object name equals `name` regardless of
  // ASCII case. The first form searches below the active form.
  QWidget* FindControl(const std::string& name, TSourceLine loc = TSourceLine::current());
  QWidget* FindControl(QObject* component, const std::string& name, TSourceLine loc = TSourceLine::current());
  // Every widget takes its own input, so this is the control itself.
  QWidget* FindParentWinControl(QWidget* control);
  // The focused control; a control's internal editor (a spin box's line
  // edit) stands for the control that delegates its focus to it.
  QWidget* GetFocused();
  bool IsFocused(QWidget* control);

  // Mouse
  void ClickLeftMouseButtonOn(QWidget* control, TSourceLine loc = TSourceLine::current());
  void Click(TSourceLine loc = TSourceLine::current());
  void Click(const std::string& name, TSourceLine loc = TSourceLine::current());
  void Click(QWidget* control, TSourceLine loc = TSourceLine::current());

  // Keys. The character forms map the character to its key (letters to
  // Key_A...Key_Z) and send the character itself as the key's text.
  void EnterKey(Qt::Key key, TShiftState shift = {}, TSourceLine loc = TSourceLine::current());
  void EnterKey(char32_t character, TShiftState shift = {}, TSourceLine loc = TSourceLine::current());
  void EnterKeyInto(QWidget* control, Qt::Key key, TShiftState shift = {}, TSourceLine loc = TSourceLine::current());
  void EnterKeyInto(QWidget* control, char32_t character, TShiftState shift = {},
                    TSourceLine loc = TSourceLine::current());
  void EnterKeyInto(const std::string& name, Qt::Key key, TShiftState shift = {},
                    TSourceLine loc = TSourceLine::current());
  void EnterKeyInto(const std::string& name, char32_t character, TShiftState shift = {},
                    TSourceLine loc = TSourceLine::current());
  // Typing: one key press and release per code point of the UTF-8 text.
  void EnterText(const std::string& text, TSourceLine loc = TSourceLine::current());
  void EnterTextInto(QWidget* control, const std::string& text, TSourceLine loc = TSourceLine::current());
  void EnterTextInto(const std::string& name, const std::string& text, TSourceLine loc = TSourceLine::current());

  // Showing and hiding
  void Show(bool visible = true, TSourceLine loc = TSourceLine::current());
  void Show(const std::string& name, bool visible = true, TSourceLine loc = TSourceLine::current());
  void Show(QWidget* control, bool visible = true, TSourceLine loc = TSourceLine::current());
  void Hide(TSourceLine loc = TSourceLine::current());
  void Hide(const std::string& name, TSourceLine loc = TSourceLine::current());
  void Hide(QWidget* control, TSourceLine loc = TSourceLine::current());

  // Moves the focus |count| times, backwards when count < 0.
  void Tab(int count = 1, TSourceLine loc = TSourceLine::current());

  // The modifier keys held from now on (Down) or no longer (Up); every
  // simulated event carries the held ones. The control, when given, gets the
  // modifier keys' own press and release events.
  void SetKeyboardStateDown(QWidget* control, TShiftState shift);
  void SetKeyboardStateUp(QWidget* control, TShiftState shift);
  TShiftState KeyboardState() const noexcept { return FKeyboardState; }

  void SetFocus(QWidget* control, TSourceLine loc = TSourceLine::current());
  void SetFocus(const std::string& name, TSourceLine loc = TSourceLine::current());
  void CheckTabTo(QWidget* control, TSourceLine loc = TSourceLine::current());
  void CheckTabTo(const std::string& name, TSourceLine loc = TSourceLine::current());
  void CheckFocused(QWidget* control, TSourceLine loc = TSourceLine::current());
  void CheckFocused(const std::string& name, TSourceLine loc = TSourceLine::current());
  void CheckEnabled(QWidget* control, TSourceLine loc = TSourceLine::current());
  void CheckEnabled(const std::string& name, TSourceLine loc = TSourceLine::current());
  void CheckVisible(QWidget* control, TSourceLine loc = TSourceLine::current());
  void CheckVisible(const std::string& name, TSourceLine loc = TSourceLine::current());
  void CheckVisible(TSourceLine loc = TSourceLine::current());

 protected:
  QPointer<QWidget> FGUI;    // the window under test, owned: freed by TearDown
  int32_t FActionDelay = 100;  // ms of pause after each simulated action
  // A modal dialog that a click or key stroke opens with exec() (and so
  // blocks the action) is closed after this many ms and the test fails with
  // its text, instead of waiting for ever in a headless run; 0 waits for ever.
  // Answer such a dialog from a QTimer started before the action.
  int32_t FModalWait = 5000;

 private:
  TShiftState FKeyboardState;

  void Pause();
  void FailIfClosed(const std::string& closedDialog, TSourceLine loc);
  void KeyStroke(QWidget* control, int key, const QString& text, TShiftState shift, TSourceLine loc);
};

// The active form: the active window (a message box shown by the form
// included), else the form the screen saw activated last; null when none.
QWidget* ActiveForm();

// The number of designed components below a form: descendants with an object
// name, leaving out Qt's own internal parts ("qt_..."), which are not there
// to be reached by Tab.
int OwnedComponentCount(QObject* form);

void InitializeUnit();
void FinalizeUnit();

}  // namespace GUITesting
