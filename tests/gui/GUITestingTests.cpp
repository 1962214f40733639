// GUI testing on one small real form, shown on the offscreen platform: what
// the widgets receive, where the focus goes, and the failures and errors
// the operations raise.
#include <QAction>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <functional>
#include <stdexcept>

#include "framework/TestFramework.h"
#include "gui/GUITesting.h"
#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

using namespace TestFramework;
using namespace GUITesting;

namespace {

std::string Mods(Qt::KeyboardModifiers m) {
  std::string s;
  if (m & Qt::ShiftModifier) s += "S";
  if (m & Qt::AltModifier) s += "A";
  if (m & Qt::ControlModifier) s += "C";
  return s.empty() ? "-" : s;
}

std::string KeyName(int key) {
  switch (key) {
    case Qt::Key_Shift: return "Shift";
    case Qt::Key_Alt: return "Alt";
    case Qt::Key_Control: return "Ctrl";
    case Qt::Key_Tab: return "Tab";
    case Qt::Key_Backtab: return "Backtab";
    default: return key >= 0x20 && key < 0x7f ? std::string(1, static_cast<char>(key)) : Platform::Format("%x", key);
  }
}

std::string Escaped(const QString& text) {
  std::string s;
  for (char32_t c : text.toUcs4())
    s += c < 0x20 ? Platform::Format("\\x%02x", c) : QtText::FromQ(QString::fromUcs4(&c, 1));
  return s;
}

// Logs every key event as one line: what the widget saw, and the
// application's modifier state at that moment.
class TKeyPad : public QWidget {
 public:
  std::vector<std::string> Log;
  TKeyPad() { setFocusPolicy(Qt::StrongFocus); }

 protected:
  void keyPressEvent(QKeyEvent* e) override { Note("press", e); }
  void keyReleaseEvent(QKeyEvent* e) override { Note("release", e); }

 private:
  void Note(const char* what, QKeyEvent* e) {
    Log.push_back(std::string(what) + " " + KeyName(e->key()) + " " + Mods(e->modifiers()) + " \"" +
                  Escaped(e->text()) + "\" app=" + Mods(QGuiApplication::keyboardModifiers()));
  }
};

// Counts what reaches a widget: presses with their point, double clicks, key
// presses of one key.
class TCounter : public QObject {
 public:
  int Presses = 0, DoubleClicks = 0, Tabs = 0, Backtabs = 0;
  QPoint LastPress;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::MouseButtonPress) {
      ++Presses;
      LastPress = static_cast<QMouseEvent*>(e)->position().toPoint();
    }
    if (e->type() == QEvent::MouseButtonDblClick) ++DoubleClicks;
    if (e->type() == QEvent::KeyPress) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->key() == Qt::Key_Tab) ++Tabs;
      if (k->key() == Qt::Key_Backtab && k->modifiers() == Qt::ShiftModifier) ++Backtabs;
    }
    return false;
  }
};

// The subject: focusable, disabled, hidden and click-only controls in one
// Tab chain, a label, a duplicate name inside a panel, and a key pad.
class TSubjectForm : public Forms::TForm {
 public:
  QLineEdit* NameEdit;
  QLineEdit* CityEdit;
  QLineEdit* HiddenEdit;
  QSpinBox* CountSpin;
  QPushButton* OkButton;
  QPushButton* OffButton;
  QLineEdit* ClickOnly;
  QLabel* Caption;
  QWidget* InnerDup;
  QWidget* OuterDup;
  TKeyPad* Pad;
  QAction* RunAction;
  int OkClicks = 0, OffClicks = 0, Runs = 0;

  TSubjectForm() {
    setObjectName(QStringLiteral("SubjectForm"));
    auto* layout = new QVBoxLayout(this);
    auto* panel = new QGroupBox(this);
    panel->setObjectName(QStringLiteral("Panel"));
    InnerDup = Named(new QLabel(QStringLiteral("inner"), panel), "Dup");
    Caption = Named(new QLabel(QStringLiteral("Subject"), this), "Caption");
    NameEdit = Named(new QLineEdit(this), "NameEdit");
    CityEdit = Named(new QLineEdit(this), "CityEdit");
    CityEdit->setEnabled(false);
    HiddenEdit = Named(new QLineEdit(this), "HiddenEdit");
    CountSpin = Named(new QSpinBox(this), "CountSpin");
    OkButton = Named(new QPushButton(QStringLiteral("OK"), this), "OkButton");
    OffButton = Named(new QPushButton(QStringLiteral("Off"), this), "OffButton");
    OffButton->setEnabled(false);
    ClickOnly = Named(new QLineEdit(this), "ClickOnly");
    ClickOnly->setFocusPolicy(Qt::ClickFocus);
    OuterDup = Named(new QLabel(QStringLiteral("outer"), this), "Dup");
    Pad = Named(new TKeyPad, "Pad");
    for (QWidget* w : std::initializer_list<QWidget*>{panel, Caption, NameEdit, CityEdit, HiddenEdit, CountSpin,
                                                      OkButton, OffButton, ClickOnly, OuterDup, Pad})
      layout->addWidget(w);
    HiddenEdit->hide();
    Pad->setMinimumHeight(20);
    RunAction = new QAction(QStringLiteral("&Run"), this);
    RunAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_R));
    addAction(RunAction);
    connect(RunAction, &QAction::triggered, this, [this] { ++Runs; });
    connect(OkButton, &QPushButton::clicked, this, [this] { ++OkClicks; });
    connect(OffButton, &QPushButton::clicked, this, [this] { ++OffClicks; });
  }

 private:
  template <class W>
  static W* Named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
  }
};

class TGUITestingTests : public TGUITestCase {
  TESSEL_TESTCASE(TGUITestingTests, TGUITestCase)
 public:
  TSubjectForm* Form = nullptr;

  void SetUp() override {
    CheckTrue(Forms::EnsureApplication(), "no application");
    FActionDelay = 0;
    Form = new TSubjectForm;
    FGUI = Form;
    Form->show();
    Form->activateWindow();
    for (int i = 0; i < 100 && QApplication::activeWindow() != Form; ++i) Forms::Sleep(10);
    CheckTrue(QApplication::activeWindow() == Form, "the shown form never became active");
    Form->NameEdit->setFocus();
    Forms::ProcessMessages();
  }

  // "Class: message" of what the call raised ("" for nothing), and " @N"
  // when it was raised at line N instead of the test's own line.
  static std::string Raised(int line, const std::function<void()>& call) {
    try {
      call();
    } catch (const Exception& e) {
      std::string where =
          e.Location().Line == static_cast<uint32_t>(line) ? "" : " @" + std::to_string(e.Location().Line);
      return std::string(e.ClassType().Name) + ": " + e.Message() + where;
    }
    return {};
  }

  TESSEL_TEST(TestFindControlWalksDepthFirstIgnoringCase) {
    CheckTrue(FindControl("okbutton") == Form->OkButton, "case folded");
    CheckTrue(FindControl("dup") == Form->InnerDup, "the panel's child comes before a later sibling");
    CheckTrue(FindControl(Form->OuterDup->parent(), "DUP") == Form->InnerDup, "below a component");
    CheckEquals(std::string("ETestFailure: No control name"), Raised(__LINE__, [&] { FindControl("  \t"); }));
    CheckEquals(std::string("ETestFailure: Control named \"Nope\" not found in SubjectForm"),
                Raised(__LINE__, [&] { Click("Nope"); }));
    Form->hide();
    Forms::ProcessMessages();
    CheckEquals(std::string("ETestFailure: Control named \"OkButton\" not found: there is no active form"),
                Raised(__LINE__, [&] { FindControl("OkButton"); }));
    CheckEquals(std::string("ETestFailure: There is no active form"), Raised(__LINE__, [&] { Hide(); }));
  }

  TESSEL_TEST(TestClickPressesAtTheMiddleOnceAndSkipsDisabledButtons) {
    TCounter counter;
    Form->OkButton->installEventFilter(&counter);
    Form->OkButton->resize(81, 31);
    Click("OkButton");
    Click(Form->OkButton);
    CheckEquals(2, Form->OkClicks, "one clicked signal per click");
    CheckEquals(0, counter.DoubleClicks, "two clicks are no double click");
    CheckTrue(counter.LastPress == QPoint(40, 15), "pressed at (width div 2, height div 2)");
    Click("OffButton");
    CheckEquals(0, Form->OffClicks, "a disabled button does nothing");
    CheckEquals(std::string("ETestFailure: Expected control OffButton to be enabled"),
                Raised(__LINE__, [&] { CheckEnabled("OffButton"); }));
    SetFocus("OkButton");
    Click();
    CheckEquals(3, Form->OkClicks, "Click() clicks the focused control");
  }

  TESSEL_TEST(TestKeyStrokesCarryTheHeldModifiersAndText) {
    std::vector<std::string>& log = Form->Pad->Log;
    EnterKeyInto(Form->Pad, Qt::Key_A, {ssShift});
    EnterKeyInto(Form->Pad, Qt::Key_C, {ssCtrl});
    EnterKeyInto(Form->Pad, U'x', {ssAlt, ssShift, ssCtrl});
    EnterKeyInto(Form->Pad, U'é');
    // Qt reports a modifier key's own event with that modifier toggled; the
    // application's state (app=) is the one slots read.
    const std::vector<std::string> expected = {
        "press Shift - \"\" app=S",        "press A S \"A\" app=S",       "release A S \"A\" app=S",
        "release Shift S \"\" app=-",      "press Ctrl - \"\" app=C",     "press C C \"\\x03\" app=C",
        "release C C \"\\x03\" app=C",     "release Ctrl C \"\" app=-",   "press Alt - \"\" app=A",
        "press Shift A \"\" app=SA",       "press Ctrl SA \"\" app=SAC",  "press X SAC \"\\x18\" app=SAC",
        "release X SAC \"\\x18\" app=SAC", "release Alt SAC \"\" app=SC", "release Shift SC \"\" app=C",
        "release Ctrl C \"\" app=-",       "press c9 - \"é\" app=-",      "release c9 - \"é\" app=-"};
    CheckEquals(Join(expected), Join(log));
    CheckTrue(KeyboardState().Empty(), "nothing held afterwards");
    EnterKeyInto(Form->Pad, Qt::Key_R, {ssAlt});
    CheckEquals(1, Form->Runs, "Alt+R reaches the form's action");

    SetKeyboardStateDown(nullptr, {ssCtrl});
    TCounter counter;
    Form->OkButton->installEventFilter(&counter);
    QObject::connect(Form->OkButton, &QPushButton::clicked, Form,
                     [&] { log.push_back("clicked " + Mods(QGuiApplication::keyboardModifiers())); });
    Click("OkButton");
    SetKeyboardStateUp(nullptr, {ssCtrl});
    CheckEquals(std::string("clicked C"), log.back(), "a held key reaches a click's slot");
  }

  TESSEL_TEST(TestTypingSendsEveryCodePoint) {
    EnterTextInto("NameEdit", "ação€𝄞 ok");
    CheckEquals(std::string("ação€𝄞 ok"), QtText::FromQ(Form->NameEdit->text()));
    Form->Pad->setFocus();
    EnterText("𝄞a");
    CheckEquals(4, static_cast<int>(Form->Pad->Log.size()), "one press and release per code point");
    CheckEquals(std::string("press 1d11e - \"𝄞\" app=-"), Form->Pad->Log[0]);
    EnterTextInto("CountSpin", "7");
    CheckEquals(70, Form->CountSpin->value(), "typed in front of the 0, as a person would");
    EnterKeyInto("CountSpin", Qt::Key_A, {ssCtrl});
    EnterTextInto("CountSpin", "7");
    CheckEquals(7, Form->CountSpin->value(), "Ctrl+A, then typed over");
  }

  TESSEL_TEST(TestTabStepsOverDisabledAndHiddenControls) {
    TCounter counter;
    qApp->installEventFilter(&counter);
    Tab(1);
    CheckFocused("CountSpin");  // past the disabled and the hidden edit; the box, not its inner edit
    CheckTrue(IsFocused(Form->CountSpin), "IsFocused");
    Tab(2);
    CheckFocused("Pad");  // past the disabled button and the click-only edit
    Tab(-2);
    CheckFocused("CountSpin");
    qApp->removeEventFilter(&counter);
    CheckEquals(3, counter.Tabs, "Tab(1) and Tab(2): three strokes");
    CheckEquals(2, counter.Backtabs, "Tab(-2): two Shift+Backtab strokes");
    CheckEquals(std::string("ETestFailure: Expected control OkButton to have focus, but CountSpin had it."),
                Raised(__LINE__, [&] { CheckFocused("OkButton"); }));
    CheckEquals(std::string("ETestFailure: Control QLabel cannot focus"),
                Raised(__LINE__, [&] { CheckFocused("Caption"); }));
  }

  TESSEL_TEST(TestCheckTabToStopsAtTheBound) {
    CheckTabTo("OkButton");
    CheckFocused(Form->OkButton);
    CheckEquals(std::string("ETestFailure: Control CityEdit:QLineEdit cannot focus"),
                Raised(__LINE__, [&] { CheckTabTo("CityEdit"); }));
    TCounter counter;
    qApp->installEventFilter(&counter);
    CheckEquals(std::string("ETestFailure: Could not Tab to control \"ClickOnly\""),
                Raised(__LINE__, [&] { CheckTabTo("ClickOnly"); }));
    qApp->removeEventFilter(&counter);
    CheckEquals(OwnedComponentCount(Form), counter.Tabs, "as many strokes as the form has components");
    CheckEquals(12, OwnedComponentCount(Form), "named components, Qt's inner parts left out");
  }

  TESSEL_TEST(TestShowHideAndVisibleUseTheControlsOwnFlag) {
    CheckEquals(std::string("ETestFailure: Expected control HiddenEdit to be visible"),
                Raised(__LINE__, [&] { CheckVisible("HiddenEdit"); }));
    Show("HiddenEdit", true);
    CheckVisible(Form->HiddenEdit);
    Hide(Form->HiddenEdit);
    CheckTrue(Form->HiddenEdit->isHidden(), "hidden again");
    Form->hide();
    Show(Form->OkButton, true);  // on a hidden form: its own flag, not the form's
    CheckVisible(Form->OkButton);
    Form->show();
    Forms::ProcessMessages();
    Hide();
    CheckTrue(Form->isHidden(), "Hide() hides the active form");
    CheckEquals(std::string("ETestFailure: Expected control SubjectForm to be visible"),
                Raised(__LINE__, [&] { CheckVisible(); }));
  }

  TESSEL_TEST(TestMissingOrDeletedControlIsAnErrorNotACrash) {
    QWidget* none = nullptr;
    CheckEquals(std::string("EAssertionFailed: No control"), Raised(__LINE__, [&] { Click(none); }));
    CheckEquals(std::string("EAssertionFailed: No control"), Raised(__LINE__, [&] { CheckFocused(none); }));
    QWidget* edit = FindControl("NameEdit");
    delete edit;
    const std::string gone =
        "EAssertionFailed: Control $" + PtrToStr(edit) + " no longer exists: it was deleted before this step";
    CheckEquals(gone, Raised(__LINE__, [&] { CheckEnabled(edit); }));
    CheckEquals(gone, Raised(__LINE__, [&] { EnterTextInto(edit, "x"); }));
  }

  TESSEL_TEST(TestBlockingModalDialogIsClosedAndFailsTheTest) {
    FModalWait = 100;
    bool returned = false;
    QObject::connect(Form->OkButton, &QPushButton::clicked, Form, [&] {
      QMessageBox box(QMessageBox::Warning, QStringLiteral("Delete"), QStringLiteral("Delete everything?"),
                      QMessageBox::Yes | QMessageBox::No, Form);
      box.exec();
      returned = true;
    });
    CheckEquals(std::string("ETestFailure: Modal dialog \"Delete: Delete everything?\" was still waiting for an answer "
                            "after 100 ms; it was closed"),
                Raised(__LINE__, [&] { Click("OkButton"); }));
    CheckTrue(returned, "the slot went on after the dialog");
    CheckTrue(QApplication::activeModalWidget() == nullptr, "no dialog left");
  }

  TESSEL_TEST(TestDialogOpenedWithoutBlockingOutlastsThePause) {
    FModalWait = 50;
    FActionDelay = 200;
    QObject::connect(Form->OkButton, &QPushButton::clicked, Form, [this] {
      auto* box = new QMessageBox(QMessageBox::Question, QStringLiteral("Sure?"), QStringLiteral("Sure?"),
                                  QMessageBox::Yes | QMessageBox::No, Form);
      box->setObjectName(QStringLiteral("Question"));
      box->open();
    });
    Click("OkButton");
    QWidget* modal = QApplication::activeModalWidget();
    CheckEquals(std::string("Question"), modal ? QtText::FromQ(modal->objectName()) : std::string(), "still up");
  }

  TESSEL_TEST(TestScreenshot) {
    EnterTextInto("NameEdit", "ação");
    const std::string path = Platform::ProgramDir() + "gui-testing-subject.png";
    CheckTrue(Form->grab().save(QtText::ToQ(path)), "screenshot written to " + path);
  }

  static std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
  }
};
TESSEL_REGISTER("GUITesting", TGUITestingTests);

// ---- what the run loop makes of it ---------------------------------------------------

QPointer<QWidget> gInnerGUI;
int gFailLine = 0;

class TInnerGUITests : public TGUITestCase {
  TESSEL_TESTCASE(TInnerGUITests, TGUITestCase)
 public:
  void SetUp() override {
    FActionDelay = 0;
    auto* form = new TSubjectForm;
    QObject::connect(form->OkButton, &QPushButton::clicked, form, [] { throw std::runtime_error("slot threw"); });
    FGUI = gInnerGUI = form;
    form->show();
  }
  TESSEL_TEST(TestFails) {
    gFailLine = __LINE__ + 1;
    CheckEnabled("CityEdit");
  }
  TESSEL_TEST(TestSlotThrows) { Click("OkButton"); }
};

class TGUITestCaseRunTests : public TTestCase {
  TESSEL_TESTCASE(TGUITestCaseRunTests, TTestCase)
 public:
  TESSEL_TEST(TestFailuresAndHandlerErrorsAreRecordedAndTheWindowFreed) {
    CheckTrue(Forms::EnsureApplication(), "no application");
    auto result = TInnerGUITests::Suite()->Run();
    CheckEquals(1, result->FailureCount());
    CheckEquals(1, result->ErrorCount());
    TTestFailure& f = result->GetFailure(0);
    CheckEquals(std::string("Expected control CityEdit to be enabled"), f.ThrownExceptionMessage());
    CheckEquals(std::string("GUITestingTests.cpp:") + std::to_string(gFailLine),
                f.LocationInfo().substr(f.LocationInfo().rfind('/') + 1), "the failure points at the test's line");
    CheckEquals(std::string("slot threw"), result->GetError(0).ThrownExceptionMessage());
    CheckTrue(gInnerGUI.isNull(), "tear-down freed the window of the failing test");
  }
};
TESSEL_REGISTER("GUITesting", TGUITestCaseRunTests);

}  // namespace
