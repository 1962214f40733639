#include "gui/GUITesting.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTimer>
#include <QtTest/qtestkeyboard.h>
#include <QtTest/qtestspontaneevent.h>

#include "platform/Format.h"
#include "platform/UnitSteps.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

namespace GUITesting {

using Platform::Format;
using TestFramework::TClass;

namespace {

int gInitCount = 0;
// Mouse event times: a release is followed by a gap longer than any
// double-click interval, so two clicks never read as a double click.
ulong gMouseTime = 0;
constexpr ulong kClickGap = 10000;
constexpr int kActivationWaitMs = 2000;

std::string NameOf(const QObject* o) { return o ? QtText::FromQ(o->objectName()) : std::string(); }
std::string ClassOf(const QObject* o) { return o ? o->metaObject()->className() : "nil"; }

// A null control, or one the test deleted itself, is an error: a raw pointer
// to a deleted widget is only compared here, never followed.
QWidget* Require(QWidget* control, TSourceLine loc) {
  if (!control) throw EAssertionFailed(sNoControl, loc);
  if (!QApplication::allWidgets().contains(control))
    throw EAssertionFailed(Format(sControlDeleted, TestFramework::PtrToStr(control)), loc);
  return control;
}

// Blanks in the classic sense: every character up to the space.
bool IsBlank(const std::string& s) {
  for (unsigned char c : s)
    if (c > ' ') return false;
  return true;
}

QString UpperAsciiQ(QString s) {
  for (QChar& c : s)
    if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - (u'a' - u'A'));
  return s;
}

// Depth first through the children in their order: a child is tested before
// its own children, and they before the next child.
QWidget* Search(const QObject* parent, const QString& upperName) {
  for (QObject* child : parent->children()) {
    if (child->isWidgetType() && UpperAsciiQ(child->objectName()) == upperName) return static_cast<QWidget*>(child);
    if (QWidget* found = Search(child, upperName)) return found;
  }
  return nullptr;
}

bool CanFocus(const QWidget* w) { return w->isEnabled() && w->isVisible() && w->focusPolicy() != Qt::NoFocus; }

// A spin box or an editable combo box hands its focus to an internal line
// edit; the test speaks of the box, so the focus is reported as the box's.
QWidget* FocusOwner(QWidget* focus) {
  while (focus && focus->parentWidget() && focus->parentWidget()->focusProxy() == focus) focus = focus->parentWidget();
  return focus;
}

Qt::KeyboardModifiers ModifiersOf(TShiftState s) {
  Qt::KeyboardModifiers m;
  if (s.Contains(ssShift)) m |= Qt::ShiftModifier;
  if (s.Contains(ssAlt)) m |= Qt::AltModifier;
  if (s.Contains(ssCtrl)) m |= Qt::ControlModifier;
  return m;
}

// Sends the event as the window system would: spontaneous, through the
// application's notify (which captures the modifier state for
// keyboardModifiers() and gives focus on a press), then raises what a handler
// threw. Qt Test's own senders do the same but warn for every event a widget
// leaves unaccepted (each modifier key, a click on a label) and, for keys,
// send the modifier key events themselves, which would double ours.
void Deliver(QWidget* target, QEvent& e) {
  QSpontaneKeyEvent::setSpontaneous(&e);
  QCoreApplication::instance()->notify(target, &e);
  Forms::RethrowPending();
}

void SendKeyEvent(QWidget* target, bool press, int key, Qt::KeyboardModifiers mods, const QString& text) {
  // A press first goes to the shortcuts, as on a real keyboard (Alt+R for an
  // action, a button's mnemonic); a shortcut that takes it ends the press.
  if (press && qt_sendShortcutOverrideEvent(target, 0, key, mods, text, false)) {
    Forms::RethrowPending();
    return;
  }
  QKeyEvent e(press ? QEvent::KeyPress : QEvent::KeyRelease, key, mods, text);
  Deliver(target, e);
}

void SendMouseEvent(QWidget* target, QEvent::Type type, QPoint at, Qt::MouseButtons held,
                    Qt::KeyboardModifiers mods) {
  QMouseEvent e(type, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton, held, mods,
                QPointingDevice::primaryPointingDevice());
  e.setTimestamp(++gMouseTime);
  Deliver(target, e);
}

// The key a character is typed with: letters as Key_A...Key_Z, the control
// characters as their keys, every other character as its upper-case code
// point, which is how Qt's platforms report a key that types it.
int KeyOfChar(char32_t c) {
  switch (c) {
    case U'\t': return Qt::Key_Tab;
    case U'\r':
    case U'\n': return Qt::Key_Return;
    case U'\b': return Qt::Key_Backspace;
    case 0x1b: return Qt::Key_Escape;
    case 0x7f: return Qt::Key_Delete;
    default: break;
  }
  if (c < 0x20) return Qt::Key_unknown;
  if (c >= U'a' && c <= U'z') return static_cast<int>(c - U'a') + Qt::Key_A;
  if (c < 0x7f) return static_cast<int>(c);
  return static_cast<int>(QChar::toUpper(c));
}

QString TextOf(char32_t c) { return QString::fromUcs4(&c, 1); }

// The text a key types with the held modifiers, as a keyboard gives it:
// Ctrl with a letter gives the control character, Shift an upper-case letter.
QString TextOfKey(int key, TShiftState shift) {
  switch (key) {
    case Qt::Key_Tab: return QStringLiteral("\t");
    case Qt::Key_Return:
    case Qt::Key_Enter: return QStringLiteral("\r");
    case Qt::Key_Backspace: return QStringLiteral("\b");
    case Qt::Key_Escape: return QString(QChar(0x1b));
    case Qt::Key_Delete: return QString(QChar(0x7f));
    default: break;
  }
  if (key >= Qt::Key_A && key <= Qt::Key_Z) {
    if (shift.Contains(ssCtrl)) return QString(QChar(key - Qt::Key_A + 1));
    return QString(QChar(shift.Contains(ssShift) ? key : key - Qt::Key_A + 'a'));
  }
  if (key >= 0x20 && key < 0x7f) return QString(QChar(key));
  if (key >= 0xc0 && key <= 0xde && key != 0xd7)  // Latin-1 letters
    return QString(QChar(shift.Contains(ssShift) ? key : key + 0x20));
  if (key > 0x7f && key < 0x110000) return TextOf(static_cast<char32_t>(key));
  return {};
}

// The character a character-form key stroke types; Ctrl turns a letter into
// its control character as the key form does.
QString TextOfChar(char32_t c, TShiftState shift) {
  int key = KeyOfChar(c);
  if (shift.Contains(ssCtrl) && key >= Qt::Key_A && key <= Qt::Key_Z) return TextOfKey(key, shift);
  return c < 0x20 || c == 0x7f ? TextOfKey(key, shift) : TextOf(c);
}

// A modal dialog that an action opens with exec() waits for an answer that
// no one gives in a headless run: the action would never return. While an
// action runs, this closes such a dialog once it has waited `ms`, and keeps
// what it said so the test can fail with it.
class TModalWatch {
 public:
  explicit TModalWatch(int ms) : FBefore(QApplication::activeModalWidget()), FOuter(gWatch) {
    gWatch = this;
    if (ms <= 0) return;
    FTimer.setInterval(ms);
    QObject::connect(&FTimer, &QTimer::timeout, &FTimer, [this] { CloseWaitingDialog(); });
    FTimer.start();
  }
  ~TModalWatch() { gWatch = FOuter; }
  TModalWatch(const TModalWatch&) = delete;
  TModalWatch& operator=(const TModalWatch&) = delete;

  // What the closed dialog said; empty when none had to be closed.
  const std::string& Closed() const { return FClosed; }

  // The action's own pause is no wait for an answer: a dialog the action
  // opened without blocking (open()) may stay up through it.
  class TPaused {
   public:
    TPaused() : FWatch(gWatch) {
      if (FWatch && FWatch->FTimer.isActive()) FWatch->FTimer.stop();
      else FWatch = nullptr;
    }
    ~TPaused() {
      if (FWatch) FWatch->FTimer.start();
    }
    TPaused(const TPaused&) = delete;
    TPaused& operator=(const TPaused&) = delete;

   private:
    TModalWatch* FWatch;
  };

 private:
  void CloseWaitingDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == FBefore) return;
    std::string said = QtText::FromQ(modal->windowTitle());
    if (auto* box = qobject_cast<QMessageBox*>(modal)) said += (said.empty() ? "" : ": ") + QtText::FromQ(box->text());
    if (!FClosed.empty()) FClosed += "; ";
    FClosed += said.empty() ? NameOf(modal) : said;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->done(QDialog::Rejected);
    else
      modal->close();
  }

  static inline TModalWatch* gWatch = nullptr;  // the innermost running action's
  QPointer<QWidget> FBefore;
  TModalWatch* FOuter;
  QTimer FTimer;
  std::string FClosed;
};

// A window shown for a person is activated by the window manager; with no
// window manager (a bare X server) nobody does, and key strokes and focus
// checks would find no focus. The offscreen platform activates at once.
void Activate(QWidget* window) {
  QPointer<QWidget> alive(window);
  window->activateWindow();
  QDeadlineTimer deadline(kActivationWaitMs);
  while (alive && QApplication::activeWindow() != alive && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    Forms::RethrowPending();
  }
}

const TShiftStateItem kModifierOrder[] = {ssAlt, ssShift, ssCtrl};

int KeyOfModifier(TShiftStateItem i) {
  return i == ssAlt ? Qt::Key_Alt : i == ssShift ? Qt::Key_Shift : Qt::Key_Control;
}

}  // namespace

QWidget* ActiveForm() {
  if (QWidget* w = QApplication::activeWindow(); w && w->isVisible()) return w;
  return Forms::Screen().ActiveForm();
}

int OwnedComponentCount(QObject* form) {
  int count = 0;
  if (!form) return 0;
  for (QObject* child : form->children()) {
    const QString& name = child->objectName();
    if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) ++count;
    count += OwnedComponentCount(child);
  }
  return count;
}

// ---- the test case ---------------------------------------------------------------

TGUITestCase::TGUITestCase(std::string MethodName, int64_t RunCount) : TTestCase(std::move(MethodName), RunCount) {}

TGUITestCase::~TGUITestCase() {
  // Past the application's end there is nothing left to free it with.
  if (FGUI && QCoreApplication::instance()) delete FGUI.data();
}

const TClass& TGUITestCase::ClassInfo() noexcept {
  static const TClass info("TGUITestCase", "GUITesting", &TTestCase::ClassInfo(), nullptr, nullptr);
  return info;
}

void TGUITestCase::TearDown() {
  TTestCase::TearDown();
  FKeyboardState = {};
  if (QWidget* gui = FGUI.data()) {
    FGUI = nullptr;
    delete gui;
  }
}

void TGUITestCase::FailIfClosed(const std::string& closedDialog, TSourceLine loc) {
  if (!closedDialog.empty()) Fail(Format(sModalDialogClosed, closedDialog, FModalWait), loc);
}

void TGUITestCase::Pause() {
  if (FActionDelay <= 0) return;
  TModalWatch::TPaused paused;
  Forms::Sleep(FActionDelay);
}

// ---- finding -----------------------------------------------------------------------

QWidget* TGUITestCase::FindControl(const std::string& name, TSourceLine loc) {
  QWidget* form = ActiveForm();
  if (form || IsBlank(name)) return FindControl(form, name, loc);
  Fail(Format(sControlNotFoundNoForm, name), loc);
  return nullptr;
}

QWidget* TGUITestCase::FindControl(QObject* component, const std::string& name, TSourceLine loc) {
  if (IsBlank(name)) Fail(sNoControlName, loc);
  if (component)
    if (QWidget* found = Search(component, QtText::ToQ(QtText::UpperAscii(name)))) return found;
  if (QWidget* form = ActiveForm())
    Fail(Format(sControlNotFound, name, NameOf(form)), loc);
  else
    Fail(Format(sControlNotFoundNoForm, name), loc);
  return nullptr;
}

QWidget* TGUITestCase::FindParentWinControl(QWidget* control) { return control; }

QWidget* TGUITestCase::GetFocused() {
  QWidget* focus = QApplication::focusWidget();
  if (!focus)
    if (QWidget* form = ActiveForm()) focus = form->focusWidget();
  return FocusOwner(focus);
}

bool TGUITestCase::IsFocused(QWidget* control) { return control && control == GetFocused(); }

// ---- mouse -------------------------------------------------------------------------

void TGUITestCase::ClickLeftMouseButtonOn(QWidget* control, TSourceLine loc) {
  Forms::THoldExceptions hold;
  TModalWatch watch(FModalWait);
  if (QWidget* target = FindParentWinControl(Require(control, loc))) {
    QPointer<QWidget> alive(target);
    const QPoint at(target->width() / 2, target->height() / 2);
    const Qt::KeyboardModifiers mods = ModifiersOf(FKeyboardState);
    SendMouseEvent(target, QEvent::MouseButtonPress, at, Qt::LeftButton, mods);
    if (alive) SendMouseEvent(target, QEvent::MouseButtonRelease, at, Qt::NoButton, mods);
    gMouseTime += kClickGap;
    Pause();
  }
  Forms::ProcessMessages();
  FailIfClosed(watch.Closed(), loc);
}

void TGUITestCase::Click(TSourceLine loc) { Click(GetFocused(), loc); }
void TGUITestCase::Click(const std::string& name, TSourceLine loc) { Click(FindControl(name, loc), loc); }
void TGUITestCase::Click(QWidget* control, TSourceLine loc) {
  if (!control) throw EAssertionFailed(sNoControl, loc);
  ClickLeftMouseButtonOn(control, loc);
}

// ---- keys --------------------------------------------------------------------------

void TGUITestCase::SetKeyboardStateDown(QWidget* control, TShiftState shift) {
  if (control) Require(control, {});
  for (TShiftStateItem item : kModifierOrder)
    if (shift.Contains(item)) {
      FKeyboardState.Include(item);
      if (control) SendKeyEvent(control, true, KeyOfModifier(item), ModifiersOf(FKeyboardState), {});
    }
}

void TGUITestCase::SetKeyboardStateUp(QWidget* control, TShiftState shift) {
  if (control && !QApplication::allWidgets().contains(control)) control = nullptr;  // gone: forget the keys only
  for (TShiftStateItem item : kModifierOrder)
    if (shift.Contains(item)) {
      FKeyboardState.Exclude(item);
      if (control) SendKeyEvent(control, false, KeyOfModifier(item), ModifiersOf(FKeyboardState), {});
    }
}

void TGUITestCase::KeyStroke(QWidget* control, int key, const QString& text, TShiftState shift, TSourceLine loc) {
  Forms::THoldExceptions hold;
  QWidget* target = FindParentWinControl(Require(control, loc));
  if (!target) return;
  QPointer<QWidget> alive(target);
  TModalWatch watch(FModalWait);
  try {
    SetKeyboardStateDown(target, shift);
    SendKeyEvent(target, true, key, ModifiersOf(FKeyboardState), text);
    Forms::ProcessMessages();
    Pause();
    if (alive) SendKeyEvent(target, false, key, ModifiersOf(FKeyboardState), text);
    SetKeyboardStateUp(alive, shift);
  } catch (...) {
    // The keys are not held any longer once the test has failed.
    for (TShiftStateItem item : kModifierOrder)
      if (shift.Contains(item)) FKeyboardState.Exclude(item);
    throw;
  }
  Pause();
  Forms::ProcessMessages();
  FailIfClosed(watch.Closed(), loc);
}

// Keys go to the focused control; with none, to the active window, as a
// person's key stroke would.
void TGUITestCase::EnterKey(Qt::Key key, TShiftState shift, TSourceLine loc) {
  QWidget* target = GetFocused();
  EnterKeyInto(target ? target : ActiveForm(), key, shift, loc);
}

void TGUITestCase::EnterKey(char32_t character, TShiftState shift, TSourceLine loc) {
  QWidget* target = GetFocused();
  EnterKeyInto(target ? target : ActiveForm(), character, shift, loc);
}

void TGUITestCase::EnterKeyInto(QWidget* control, Qt::Key key, TShiftState shift, TSourceLine loc) {
  KeyStroke(control, key, TextOfKey(key, shift), shift, loc);
}

void TGUITestCase::EnterKeyInto(QWidget* control, char32_t character, TShiftState shift, TSourceLine loc) {
  KeyStroke(control, KeyOfChar(character), TextOfChar(character, shift), shift, loc);
}

void TGUITestCase::EnterKeyInto(const std::string& name, Qt::Key key, TShiftState shift, TSourceLine loc) {
  EnterKeyInto(FindControl(name, loc), key, shift, loc);
}

void TGUITestCase::EnterKeyInto(const std::string& name, char32_t character, TShiftState shift, TSourceLine loc) {
  EnterKeyInto(FindControl(name, loc), character, shift, loc);
}

void TGUITestCase::EnterText(const std::string& text, TSourceLine loc) {
  QWidget* target = GetFocused();
  EnterTextInto(target ? target : ActiveForm(), text, loc);
}

void TGUITestCase::EnterTextInto(QWidget* control, const std::string& text, TSourceLine loc) {
  Forms::THoldExceptions hold;
  QWidget* target = FindParentWinControl(Require(control, loc));
  if (!target) return;
  QPointer<QWidget> alive(target);
  TModalWatch watch(FModalWait);
  const Qt::KeyboardModifiers mods = ModifiersOf(FKeyboardState);
  const QList<uint> codePoints = QtText::ToQ(text).toUcs4();
  for (uint c : codePoints) {
    if (!alive) break;  // the window closed itself: the rest has nowhere to go
    const char32_t ch = static_cast<char32_t>(c);
    const int key = KeyOfChar(ch);
    const QString typed = ch < 0x20 || ch == 0x7f ? TextOfKey(key, FKeyboardState) : TextOf(ch);
    SendKeyEvent(target, true, key, mods, typed);
    if (alive) SendKeyEvent(target, false, key, mods, typed);
    Forms::ProcessMessages();
    Pause();
  }
  FailIfClosed(watch.Closed(), loc);
}

void TGUITestCase::EnterTextInto(const std::string& name, const std::string& text, TSourceLine loc) {
  EnterTextInto(FindControl(name, loc), text, loc);
}

// ---- showing and hiding -------------------------------------------------------------

void TGUITestCase::Show(bool visible, TSourceLine loc) { Show(FGUI.data(), visible, loc); }

void TGUITestCase::Show(const std::string& name, bool visible, TSourceLine loc) {
  Show(FindControl(name, loc), visible, loc);
}

void TGUITestCase::Show(QWidget* control, bool visible, TSourceLine loc) {
  Forms::THoldExceptions hold;
  QPointer<QWidget> alive(Require(control, loc));
  const std::string name = NameOf(control);
  control->setVisible(visible);
  // The control's own flag: a control on a form not shown yet is still "shown".
  if (alive && alive->isHidden() == visible)
    throw EAssertionFailed(Format(sVisibilityRefused, name, visible ? "hidden" : "visible"), loc);
  if (visible && alive && alive->isWindow()) Activate(alive);
  Forms::ProcessMessages();
  Pause();
}

void TGUITestCase::Hide(TSourceLine loc) {
  Forms::THoldExceptions hold;
  QWidget* form = ActiveForm();
  if (!form) {
    Fail(sNoActiveForm, loc);
    return;
  }
  form->setVisible(false);
  Forms::ProcessMessages();
}

void TGUITestCase::Hide(const std::string& name, TSourceLine loc) { Show(name, false, loc); }
void TGUITestCase::Hide(QWidget* control, TSourceLine loc) { Show(control, false, loc); }

// ---- focus -----------------------------------------------------------------------------

void TGUITestCase::Tab(int count, TSourceLine loc) {
  const bool backwards = count < 0;
  for (int i = 0, n = backwards ? -count : count; i < n; ++i)
    if (backwards)
      EnterKey(Qt::Key_Backtab, {ssShift}, loc);
    else
      EnterKey(Qt::Key_Tab, {}, loc);
  Forms::THoldExceptions hold;
  Forms::ProcessMessages();
  Pause();
}

void TGUITestCase::SetFocus(QWidget* control, TSourceLine loc) {
  Forms::THoldExceptions hold;
  Require(control, loc);
  if (!FindParentWinControl(control)) Fail(Format(sNotWinControl, NameOf(control), ClassOf(control)), loc);
  if (!CanFocus(control)) Fail(Format(sCannotFocusNamed, NameOf(control), ClassOf(control)), loc);
  if (control->window() != QApplication::activeWindow()) control->window()->activateWindow();
  control->setFocus(Qt::OtherFocusReason);
  Forms::ProcessMessages();
}

void TGUITestCase::SetFocus(const std::string& name, TSourceLine loc) { SetFocus(FindControl(name, loc), loc); }

void TGUITestCase::CheckTabTo(QWidget* control, TSourceLine loc) {
  Require(control, loc);
  if (!FindParentWinControl(control)) Fail(Format(sNotWinControl, NameOf(control), ClassOf(control)), loc);
  if (!CanFocus(control)) Fail(Format(sCannotFocusNamed, NameOf(control), ClassOf(control)), loc);
  QWidget* form = ActiveForm();
  if (!form) {
    Fail(sNoActiveForm, loc);
    return;
  }
  const int bound = OwnedComponentCount(form);
  QPointer<QWidget> alive(control);
  for (int i = 0; i < bound && alive; ++i) {
    if (IsFocused(control)) return;
    Tab(1, loc);
  }
  // The last stroke may be the one that arrives: look once more, without
  // another stroke, rather than fail a control that has the focus.
  if (alive && IsFocused(control)) return;
  Fail(Format(sCouldNotTab, alive ? NameOf(control) : std::string()), loc);
}

void TGUITestCase::CheckTabTo(const std::string& name, TSourceLine loc) { CheckTabTo(FindControl(name, loc), loc); }

void TGUITestCase::CheckFocused(QWidget* control, TSourceLine loc) {
  Require(control, loc);
  if (!FindParentWinControl(control)) Fail(Format(sNotWinControl, NameOf(control), ClassOf(control)), loc);
  if (!CanFocus(control)) Fail(Format(sCannotFocus, ClassOf(control)), loc);
  // The form's own focus widget: it is kept while the form is not active,
  // where hasFocus() would say false.
  QWidget* form = control->window();
  QWidget* focused = form != control ? FocusOwner(form->focusWidget()) : GetFocused();
  if (focused == control) return;
  if (focused)
    Fail(Format(sExpectedFocus, NameOf(control), NameOf(focused)), loc);
  else
    Fail(Format(sExpectedFocusNone, NameOf(control)), loc);
}

void TGUITestCase::CheckFocused(const std::string& name, TSourceLine loc) {
  CheckFocused(FindControl(name, loc), loc);
}

// ---- state checks --------------------------------------------------------------------

// Enabled and visible are the control's own flags, as set on it: a control
// inside a disabled or hidden panel keeps them.
void TGUITestCase::CheckEnabled(QWidget* control, TSourceLine loc) {
  if (Require(control, loc)->testAttribute(Qt::WA_ForceDisabled)) Fail(Format(sExpectedEnabled, NameOf(control)), loc);
}

void TGUITestCase::CheckEnabled(const std::string& name, TSourceLine loc) {
  CheckEnabled(FindControl(name, loc), loc);
}

void TGUITestCase::CheckVisible(QWidget* control, TSourceLine loc) {
  if (Require(control, loc)->isHidden()) Fail(Format(sExpectedVisible, NameOf(control)), loc);
}

void TGUITestCase::CheckVisible(const std::string& name, TSourceLine loc) {
  CheckVisible(FindControl(name, loc), loc);
}

void TGUITestCase::CheckVisible(TSourceLine loc) { CheckVisible(FGUI.data(), loc); }

void InitializeUnit() {
  if (gInitCount++ == 0) Platform::NoteUnitStep("GUITesting", Platform::kUnitStart);
}

void FinalizeUnit() {
  if (gInitCount > 0 && --gInitCount == 0) Platform::NoteUnitStep("GUITesting", Platform::kUnitStop);
}

}  // namespace GUITesting
