// The windowed runner driven as a user drives it: real window, real tree,
// real runs of passing, failing, raising, disabled and expected-exception
// tests, checked against what the window shows.
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>

#include "RunnerFixture.h"

using namespace RunnerTests;

namespace {

std::string Text(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text().toStdString();
  if (auto* e = qobject_cast<QTextEdit*>(w)) return e->toPlainText().toStdString();
  return {};
}

// Suites that hold a single test.
class TLone : public TTestCase {
  TESSEL_TESTCASE(TLone, TTestCase)
 public:
  TESSEL_TEST(Only) { Check(true); }
};

class TLoneFails : public TTestCase {
  TESSEL_TESTCASE(TLoneFails, TTestCase)
 public:
  TESSEL_TEST(OnlyFails) { Fail("the only test fails"); }
};

// A press and release at the end of the item's first column (past a tree
// node's check box), as a person selects it.
void ClickItem(QTreeWidget* view, QTreeWidgetItem* item) {
  view->scrollToItem(item);
  const QRect r = view->visualRect(view->indexFromItem(item, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 4, r.center().y()));
}

class TGUITestRunnerTests : public TRunnerCase {
  TESSEL_TESTCASE(TGUITestRunnerTests, TRunnerCase)
 public:
  // Every component is found by its documented name, and each action has
  // its documented shortcut: a rename in the form file is a real fault.
  TESSEL_TEST(TestFormHasEveryComponentAndShortcut) {
    TGUITestRunner& w = Window(SampleTree());
    const char* const components[] = {
        "BodyPanel", "ErrorBoxSplitter", "TopPanel", "ResultsSplitter", "TreePanel", "ToolBar1", "SelectAllButton",
        "DeselectAllButton", "SelectFailedButton", "SelectCurrentButton", "DeselectCurrentButton", "ToolButton4",
        "RunSelectedTestButton", "ToolButton5", "lblTestTree", "TestTree", "ResultsPanel", "ProgressPanel",
        "TopProgressPanel", "pnlProgresslabel", "ProgressBar", "ScorePanel", "ScoreLabel", "ScoreBar", "LbProgress",
        "ResultsView", "FailureListView", "ErrorBoxPanel", "ErrorMessageRTF", "MainMenu", "FileMenu",
        "SaveConfigurationItem", "RestoreSavedConfigurationItem", "CloseItem", "TestTreeMenu", "SelectAllItem",
        "DeselectAllItem", "SelectFailedItem", "SelectCurrent1", "DeselectCurrent1", "TestTreeMenuSeparator",
        "CollapseLowestSuiteNodesItem", "ExpandAllItem", "N3", "GoToNextSelectedNode2", "GoToPreviousSelectedNode2",
        "N8", "Copytestnametoclipboard1", "N5", "Runcurrenttest1", "ViewMenu", "AutoSaveItem", "HideErrorBoxItem",
        "AutoChangeFocusItem", "HideTestNodesItem", "SelectTestedNodeItem", "BreakonFailuresItem", "UseRegistryItem",
        "N9", "ShowTestCaseswithRunTimeProperties", "WarnOnFailTestOverride", "N12", "FailIfNoChecksExecuted", "N14",
        "ReportMemoryLeakTypeOnShutdown", "FailTestCaseIfMemoryLeaked", "IgnoreMemoryLeakInSetUpTearDown",
        "ActionsMenu", "RunItem", "RunSelectedTestItem", "StopActionItem", "CopyMessagetoCllipboardItem",
        "pmTestTree", "TestCasePopup", "N11", "SelectCurrent2", "DeselectCurrent2", "N2", "pmiSelectFailed", "N1",
        "pmiSelectAll", "pmiDeselectAll", "TestTreeLocalMenuSeparator", "CollapseLowestSuiteNodes1", "ExpandAll2",
        "N4", "GoToNextSelectedNode1", "GoToPreviousSelectedNode1", "N7", "Copytestnametoclipboard2", "N6",
        "Runcurrenttest2", "ErrorMessagePopup", "CopyFailureMessage", "TestCaseProperty", "TestCaseProperties",
        "N10", "Previous1", "RunSelectedTest1", "Next1", "N13", "FailNoCheckExecutedMenuItem",
        "FailsOnMemoryLeakMenuItem", "AllowedLeakSizeMemuItem", "FailsOnMemoryRecoveryMenuItem",
        "TestCaseIgnoreSetUpTearDownLeaksMenuItem"};
    std::string missing;
    for (const char* name : components)
      if (!w.findChild<QObject*>(QString::fromLatin1(name))) missing += std::string(name) + " ";
    CheckEquals(std::string(), missing, "components not found by name");

    struct TRow {
      const char* Action;
      const char* Caption;
      const char* Shortcut;
    };
    const TRow actions[] = {{"RunAction", "&Run", "Return"},
                            {"ExitAction", "E&xit", "Esc"},
                            {"StopAction", "&Stop", "Return"},
                            {"SelectAllAction", "Select &All", "Ctrl+Alt+A"},
                            {"Alt_R_RunAction", "&Run", "Alt+R"},
                            {"DeselectAllAction", "&Deselect All", "Ctrl+Del"},
                            {"Alt_S_StopAction", "&Stop", "Alt+S"},
                            {"SelectFailedAction", "Select Fai&led", "Ctrl+F"},
                            {"SelectCurrentAction", "Select &Current", "Ctrl+Shift+A"},
                            {"DeselectCurrentAction", "Deselect C&urrent", "Ctrl+Shift+Del"},
                            {"SaveConfigurationAction", "&Save Configuration", "Ctrl+S"},
                            {"AutoSaveAction", "&Auto Save Configuration", ""},
                            {"RestoreSavedAction", "&Restore Saved Configuration", ""},
                            {"ErrorBoxVisibleAction", "&Error Box Visible", ""},
                            {"HideTestNodesAction", "&Hide Test Nodes", "Ctrl+H"},
                            {"HideTestNodesOnOpenAction", "&Hide Test Nodes On Open", ""},
                            {"ExpandAllNodesAction", "Ex&pand All", "Ctrl+P"},
                            {"BreakOnFailuresAction", "&Break on Failures", ""},
                            {"ShowTestedNodeAction", "&Show Tested Node", ""},
                            {"CopyMessageToClipboardAction", "&Copy Error Message to Clipboard", "Ctrl+Shift+C"},
                            {"UseRegistryAction", "UseRegistryAction", ""},
                            {"CopyProcnameToClipboardAction", "Copy testname to clipboard", "Ctrl+Alt+C"},
                            {"RunSelectedTestAction", "Run selected test", "F8"},
                            {"GoToNextSelectedTestAction", "Go To Next Selected Test", "Ctrl+Right"},
                            {"GoToPrevSelectedTestAction", "Go To Previous Selected Test", "Ctrl+Left"},
                            {"FailIfNoChecksExecutedAction", "Fail TestCase if no checks executed", ""},
                            {"FailTestCaseIfMemoryLeakedAction", "Fail TestCase if memory leaked", ""},
                            {"ShowTestCasesWithRunTimePropertiesAction", "Show TestCases with RunTime Properties", ""},
                            {"WarnOnFailTestOverrideAction", "Warn if Fail Test Overridden", ""},
                            {"TestCasePropertiesAction", "TestCase Properties", ""},
                            {"PropertyPopUpAction", "PropertyPopUpAction", ""},
                            {"RunSelectedTestAltAction", "Run Selected Test", ""},
                            {"IgnoreMemoryLeakInSetUpTearDownAction", "Ignore memory leak in SetUp/TearDown", ""},
                            {"ReportMemoryLeakTypeOnShutdownAction", "Report memory leak type on Shutdown", ""},
                            {"CloseItem", "E&xit", "Alt+X"},
                            {"RunItem", "&Run", "F9"},
                            {"StopActionItem", "&Stop", "Ctrl+F2"},
                            {"TestCasePopup", "TestCase Properties", "Ctrl+Shift+T"},
                            {"UseRegistryItem", "Use Registry", ""}};
    std::string wrong;
    for (const TRow& r : actions) {
      QAction* a = w.Action(r.Action);
      const std::string caption = a ? a->text().section(QLatin1Char('\t'), 0, 0).toStdString() : "(none)";
      const std::string shortcut = a ? a->shortcut().toString().toStdString() : "(none)";
      if (caption != r.Caption || shortcut != r.Shortcut)
        wrong += std::string(r.Action) + "=" + caption + "|" + shortcut + " ";
    }
    CheckEquals(std::string(), wrong, "captions and shortcuts");
    CheckEquals(std::string("Tessel: An Xtreme testing framework"), w.windowTitle().toStdString());
    CheckEquals(std::string("Test Hi&erarchy:"), Text(w.findChild<QLabel*>(QStringLiteral("lblTestTree"))));
    CheckFalse(w.Action("CopyMessageToClipboardAction")->isEnabled(), "copy starts disabled");
    CheckEquals(6, static_cast<int>(w.RunImages().size()));
    CheckEquals(4, static_cast<int>(w.StateImages().size()));
    CheckEquals(11, static_cast<int>(w.ActionsImages().size()));
    for (const QIcon& i : w.RunImages()) CheckFalse(i.pixmap(16, 16).isNull(), "run image painted");
    CheckFalse(w.windowIcon().isNull(), "window icon");
    for (const char* name : {"TestTreeMenu", "ViewMenu", "ActionsMenu"}) {
      auto* menu = w.findChild<QMenu*>(QString::fromLatin1(name));
      menu->popup(w.pos());
      Forms::ProcessMessages();
      menu->grab().save(QString::fromStdString(Platform::ProgramDir() + "gui-runner-" + name + ".png"));
      menu->hide();
    }
  }

  // One run of the sample tree, checked node by node, cell by cell.
  TESSEL_TEST(TestRunShowsEveryOutcome) {
    TGUITestRunner& w = SampleWindow();
    w.Action("RunAction")->trigger();
    Snapshot("gui-runner-outcomes");
    struct TRow {
      const char* Path;
      int Image;
    };
    const TRow rows[] = {{"Root", 5},
                         {"Root/TPassing", 2},
                         {"Root/TPassing/PassA", 2},
                         {"Root/TMixed", 4},
                         {"Root/TMixed/PassFirst", 2},
                         {"Root/TMixed/Fails", 4},
                         {"Root/TMixed/PassLater", 2},
                         {"Root/TMixed/ExpectsRaise", 2},
                         {"Root/TErring", 5},
                         {"Root/TErring/Errs", 5},
                         {"Root/TErring/ThrowsInt", 5},
                         {"Root/Off", 0},
                         {"Root/Off/TPassing/PassA", 0}};
    std::string images;
    for (const TRow& r : rows)
      images += std::string(r.Path) + "=" + std::to_string(TGUITestRunner::RunImageOf(Node(w, r.Path))) + " ";
    std::string expected;
    for (const TRow& r : rows) expected += std::string(r.Path) + "=" + std::to_string(r.Image) + " ";
    CheckEquals(expected, images, "run images");
    CheckEquals(1, TGUITestRunner::StateImageOf(Node(w, "Root/Off")), "disabled check");
    CheckEquals(2, TGUITestRunner::StateImageOf(Node(w, "Root/Off/TPassing")), "parent-disabled check");
    CheckEquals(3, TGUITestRunner::StateImageOf(Node(w, "Root/TMixed/Fails")), "enabled check");

    auto* stats = w.findChild<QTreeWidget*>(QStringLiteral("ResultsView"))->topLevelItem(0);
    std::string cells;
    for (int c = 1; c <= 5; ++c) cells += stats->text(c).toStdString() + "|";
    CheckEquals(std::string("8|8|1|2|0|"), cells, "Tests|Run|Failures|Errors|Overrides");
    CheckTrue(stats->text(6).contains(QRegularExpression(QStringLiteral("^\\d+:\\d\\d:\\d\\d\\.\\d\\d\\d$"))),
              "test time h:mm:ss.zzz");
    auto* progress = w.findChild<QProgressBar*>(QStringLiteral("ProgressBar"));
    auto* score = w.findChild<QProgressBar*>(QStringLiteral("ScoreBar"));
    CheckEquals(8, progress->value(), "progress position");
    CheckEquals(5, score->value(), "score position");
    CheckEquals(8, score->maximum(), "score maximum");
    CheckEquals(std::string("62%"), Text(w.findChild<QLabel*>(QStringLiteral("LbProgress"))));
    CheckTrue(w.ScoreBarColor() == QColor(255, 0, 0), "red after an error");
    CheckEquals(1, w.FailureCount());
    CheckEquals(2, w.ErrorCount());

    auto* failures = w.findChild<QTreeWidget*>(QStringLiteral("FailureListView"));
    CheckEquals(3, failures->topLevelItemCount());
    QTreeWidgetItem* f = failures->topLevelItem(0);
    CheckEquals(std::string("Fails|ETestFailure|markup stays text, expected: <<b>3</b>> but was: <<4>>"),
                (f->text(0) + QLatin1Char('|') + f->text(1) + QLatin1Char('|') + f->text(2)).toStdString());
    CheckTrue(f->text(3).contains(QStringLiteral("RunnerFixture.h:")), "location names the file and line");
    CheckEquals(std::string("Errs|std::runtime_error|broke"),
                (failures->topLevelItem(1)->text(0) + QLatin1Char('|') + failures->topLevelItem(1)->text(1) +
                 QLatin1Char('|') + failures->topLevelItem(1)->text(2))
                    .toStdString());
    CheckEquals(std::string("ThrowsInt"), failures->topLevelItem(2)->text(0).toStdString());

    // Selecting the failure shows its text, tags and all, and selects its node.
    failures->setCurrentItem(f);
    auto* box = w.findChild<QTextEdit*>(QStringLiteral("ErrorMessageRTF"));
    const std::string shown = Text(box);
    CheckEquals(std::string("Fails: ETestFailure\nat ") + f->text(3).toStdString() +
                    "\nmarkup stays text, expected: <<b>3</b>> but was: <<4>>",
                shown.substr(0, shown.find("\n\n")));
    CheckTrue(w.findChild<QTreeWidget*>(QStringLiteral("TestTree"))->currentItem() == Node(w, "Root/TMixed/Fails"),
              "the failure's node is selected");
    CheckTrue(w.Action("CopyMessageToClipboardAction")->isEnabled(), "copy enabled with a failure selected");
    w.Action("CopyMessageToClipboardAction")->trigger();
    CheckTrue(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("Fails: ETestFailure")), "copied");
    CheckTrue(box->document()->toHtml().contains(QStringLiteral("#ff00ff")), "a failure's type is fuchsia");
    Snapshot("gui-runner-failure-selected");

    // An error, in red, with the status lines its test wrote.
    failures->setCurrentItem(failures->topLevelItem(1));
    const std::string error = Text(box);
    CheckTrue(error.rfind("Errs: std::runtime_error\nat ", 0) == 0, error);
    CheckTrue(error.find("\nbroke\n\n\nStatus Messages\nlooking at <stock>") != std::string::npos, error);
    CheckTrue(box->document()->toHtml().contains(QStringLiteral("#ff0000")), "an error's type is red");
  }

  // The score bar's colour after each order of failures and errors.
  TESSEL_TEST(TestScoreColourFollowsTheWorstOutcome) {
    struct TRow {
      ITestPtr Suite;
      QColor Colour;
      const char* Case;
    };
    const TRow rows[] = {
        {TestSuite("S", {TMixed::Suite(), TErring::Suite()}), QColor(255, 0, 0), "failure then error"},
        {TestSuite("S", {TErring::Suite(), TMixed::Suite()}), QColor(255, 0, 0), "error then failure"},
        {TestSuite("S", {TMixed::Suite()}), QColor(255, 0, 255), "failure only"},
        {TestSuite("S", {TPassing::Suite()}), QColor(0, 128, 0), "all passed"},
    };
    for (const TRow& r : rows) {
      TGUITestRunner& w = Window(r.Suite);
      w.Action("RunAction")->trigger();
      CheckTrue(w.ScoreBarColor() == r.Colour, r.Case);
    }
  }

  // Stop from inside a running test, and Exit during a run: the run ends
  // at once, cleanly, and the window can run again.
  TESSEL_TEST(TestStopAndExitDuringARun) {
    TGUITestRunner& w = Window(TestSuite("S", {TPassing::Suite(), TMixed::Suite()}));
    bool stopEnabled = false, runEnabled = true, selectedEnabled = true;
    DuringTest() = [&] {
      stopEnabled = w.Action("StopAction")->isEnabled();
      runEnabled = w.Action("RunAction")->isEnabled();
      selectedEnabled = w.Action("RunSelectedTestAction")->isEnabled();
      w.Action("StopAction")->trigger();
    };
    w.Action("RunAction")->trigger();
    CheckTrue(stopEnabled && !runEnabled && !selectedEnabled, "during a run only Stop is available");
    CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "S/TMixed/PassFirst")), "nothing ran after the stop");
    CheckFalse(w.Running(), "run over");
    CheckTrue(w.Action("RunAction")->isEnabled() && !w.Action("StopAction")->isEnabled(), "commands back");

    // Keyboard: Enter runs when idle (Stop is disabled, so it is not ambiguous).
    DuringTest() = [&] { w.Action("ExitAction")->trigger(); };
    QTest::keyClick(w.findChild<QTreeWidget*>(QStringLiteral("TestTree")), Qt::Key_Return);
    CheckFalse(w.isVisible(), "Exit closed the window");
    CheckEquals(static_cast<int>(GUITestRunner::mrCancel), w.ModalResult());
    CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "S/TMixed/Fails")), "Exit stopped the run");
    CheckEquals(2, TGUITestRunner::RunImageOf(Node(w, "S/TPassing/PassB")), "Enter started it");
  }

  TESSEL_TEST(TestRunSelectedRunsOnlyThatTest) {
    TGUITestRunner& w = Window(SampleTree());
    auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
    tree->setCurrentItem(Node(w, "Root/TMixed"));
    CheckFalse(w.Action("RunSelectedTestAction")->isEnabled(), "not on a suite of several tests");
    tree->setCurrentItem(Node(w, "Root/Off/TPassing/PassB"));
    CheckTrue(w.Action("RunSelectedTestAction")->isEnabled(), "on one test, disabled or not");
    // Nothing of the tree is enabled for this test, yet it runs and the label starts at 100%.
    w.Action("DeselectAllAction")->trigger();
    std::string labelAtStart;
    DuringTest() = [&] { labelAtStart = Text(w.findChild<QLabel*>(QStringLiteral("LbProgress"))); };
    QTest::keyClick(tree, Qt::Key_F8);
    CheckEquals(std::string("100%"), labelAtStart);
    CheckEquals(2, TGUITestRunner::RunImageOf(Node(w, "Root/Off/TPassing/PassB")), "the selected test ran");
    CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "Root/Off/TPassing/PassA")), "its sibling did not");
    CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "Root/TMixed/Fails")), "nor the rest");
    CheckEquals(1, w.findChild<QProgressBar*>(QStringLiteral("ProgressBar"))->maximum());
  }

  // Run Selected on a suite of one test runs that test, however deep it
  // sits; a suite none of whose tests ran never looks passed.
  TESSEL_TEST(TestRunSelectedOnASuiteRunsWhatItHolds) {
    struct TRow {
      const char* Selected;
      const char* TestNode;
      int Image;  // of the selected node and of the test
      const char* Label;
    };
    const TRow rows[] = {
        {"Root/Wrapper/TLone", "Root/Wrapper/TLone/Only", 2, "100%"},
        {"Root/Wrapper", "Root/Wrapper/TLone/Only", 2, "100%"},
        {"Root/Wrapper/TLone/Only", "Root/Wrapper/TLone/Only", 2, "100%"},
        {"Root/TLoneFails", "Root/TLoneFails/OnlyFails", 4, "0%"},
    };
    for (const TRow& r : rows) {
      TGUITestRunner& w =
          Window(TestSuite("Root", {TPassing::Suite(), TestSuite("Wrapper", {TLone::Suite()}), TLoneFails::Suite()}));
      auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
      ClickItem(tree, Node(w, r.Selected));
      CheckTrue(w.Action("RunSelectedTestAction")->isEnabled(), std::string(r.Selected) + ": available");
      QTest::keyClick(tree, Qt::Key_F8);
      CheckEquals(r.Image, TGUITestRunner::RunImageOf(Node(w, r.TestNode)), std::string(r.Selected) + ": the test ran");
      CheckEquals(r.Image, TGUITestRunner::RunImageOf(Node(w, r.Selected)), r.Selected);
      CheckEquals(r.Image, TGUITestRunner::RunImageOf(Node(w, "Root")), std::string(r.Selected) + ": root");
      CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "Root/TPassing/PassA")), std::string(r.Selected) + ": others");
      CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "Root/TPassing")), std::string(r.Selected) + ": others");
      auto* stats = w.findChild<QTreeWidget*>(QStringLiteral("ResultsView"))->topLevelItem(0);
      CheckEquals(std::string("1"), stats->text(2).toStdString(), std::string(r.Selected) + ": Run");
      CheckEquals(std::string(r.Label), Text(w.findChild<QLabel*>(QStringLiteral("LbProgress"))), r.Selected);
      if (r.Selected == std::string("Root/Wrapper")) Snapshot("gui-runner-run-selected-suite");
    }

    // A whole run with both tests of a ticked suite unticked: that suite
    // ran none of them.
    TGUITestRunner& w = SampleWindow();
    w.SetNodeState(Node(w, "Root/TPassing/PassA"), false);
    w.SetNodeState(Node(w, "Root/TPassing/PassB"), false);
    w.Action("RunAction")->trigger();
    CheckEquals(0, TGUITestRunner::RunImageOf(Node(w, "Root/TPassing")), "no test of it ran");
    CheckEquals(2, TGUITestRunner::RunImageOf(Node(w, "Root/TMixed/PassFirst")), "the others did");
  }

  // The message box describes the selected failure only: moving the
  // selection away from it, by mouse or key, empties the box.
  TESSEL_TEST(TestMessageBoxFollowsTheFailureSelection) {
    TGUITestRunner& w = SampleWindow();
    w.Action("RunAction")->trigger();
    auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
    auto* failures = w.findChild<QTreeWidget*>(QStringLiteral("FailureListView"));
    auto* box = w.findChild<QTextEdit*>(QStringLiteral("ErrorMessageRTF"));
    struct TRow {
      const char* How;
      std::function<void()> SelectFailure;
      std::function<void()> MoveAway;
    };
    const TRow rows[] = {
        {"list, then a passing test", [&] { ClickItem(failures, failures->topLevelItem(0)); },
         [&] { ClickItem(tree, Node(w, "Root/TPassing/PassA")); }},
        {"list, then a suite", [&] { ClickItem(failures, failures->topLevelItem(1)); },
         [&] { ClickItem(tree, Node(w, "Root/TMixed")); }},
        {"tree node, then a passing test", [&] { ClickItem(tree, Node(w, "Root/TMixed/Fails")); },
         [&] { ClickItem(tree, Node(w, "Root/TMixed/PassLater")); }},
        {"tree node, then the Down key", [&] { ClickItem(tree, Node(w, "Root/TMixed/Fails")); },
         [&] { QTest::keyClick(tree, Qt::Key_Down); }},
        {"tree node, then the root", [&] { ClickItem(tree, Node(w, "Root/TErring/Errs")); },
         [&] { ClickItem(tree, Node(w, "Root")); }},
    };
    for (const TRow& r : rows) {
      r.SelectFailure();
      CheckFalse(box->toPlainText().isEmpty(), std::string(r.How) + ": the failure is shown");
      CheckTrue(w.Action("CopyMessageToClipboardAction")->isEnabled(), std::string(r.How) + ": copy available");
      r.MoveAway();
      CheckEquals(std::string(), Text(box), std::string(r.How) + ": the box is empty");
      CheckTrue(failures->selectedItems().isEmpty(), std::string(r.How) + ": no failure selected");
      CheckFalse(w.Action("CopyMessageToClipboardAction")->isEnabled(), std::string(r.How) + ": copy unavailable");
    }
    Snapshot("gui-runner-failure-deselected");
    ClickItem(tree, Node(w, "Root/TErring/ThrowsInt"));
    CheckTrue(Text(box).rfind("ThrowsInt: ", 0) == 0, "a failure's node selected again shows it");
  }

  // With Hide Test Nodes and Show Tested Node on, every suite one of whose
  // tests started is open after the run, though the whole run fits between
  // two redraws; with the option off they stay as they were.
  TESSEL_TEST(TestShowTestedNodeOpensEverySuiteThatRan) {
    struct TRow {
      bool Show;
      bool PassingOpen;  // suites whose tests all passed
    };
    const TRow rows[] = {{true, true}, {false, false}};
    for (const TRow& r : rows) {
      ITestSuitePtr off = TestSuite("Off", {TPassing::Suite()});
      TGUITestRunner& w = Window(TestSuite(
          "Root", {TPassing::Suite(), TestSuite("Group", {TPassing::Suite(), TLone::Suite()}), TMixed::Suite(), off}));
      w.SetNodeState(Node(w, "Root/Off"), false);
      QAction* show = w.Action("ShowTestedNodeAction");
      if (show->isChecked() != r.Show) show->trigger();
      w.Action("HideTestNodesAction")->trigger();
      const char* const passing[] = {"Root/TPassing", "Root/Group/TPassing", "Root/Group/TLone"};
      for (const char* p : passing) CheckFalse(Node(w, p)->isExpanded(), std::string(p) + " closed before the run");
      w.Action("RunAction")->trigger();
      const std::string row = r.Show ? "shown: " : "not shown: ";
      for (const char* p : passing) CheckEquals(r.PassingOpen, Node(w, p)->isExpanded(), row + p);
      CheckTrue(Node(w, "Root/TMixed")->isExpanded(), row + "a failure opens its suite either way");
      CheckFalse(Node(w, "Root/Off/TPassing")->isExpanded(), row + "tests that never started stay hidden");
      if (r.Show) {
        w.resize(w.width(), 900);  // tall enough for the whole tree in the picture
        Forms::ProcessMessages();
        Snapshot("gui-runner-show-tested-node");
      }
    }
  }

  // Ticking with the keyboard and the mouse goes through the tree's rules:
  // enabling a test enables its disabled ancestors, not its siblings.
  TESSEL_TEST(TestTickingWithKeyboardAndMouse) {
    TGUITestRunner& w = SampleWindow();
    auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
    QTreeWidgetItem* passA = Node(w, "Root/TPassing/PassA");
    tree->setCurrentItem(passA);
    QTest::keyClick(tree, Qt::Key_Space);
    CheckFalse(w.TestOf(passA)->GetEnabled(), "Space unticks");
    CheckEquals(1, TGUITestRunner::StateImageOf(passA));
    QTest::keyClick(tree, Qt::Key_Space);
    CheckTrue(w.TestOf(passA)->GetEnabled(), "Space ticks again");

    // Inside the disabled suite Off: both tests, then tick one by a click on its box.
    QTreeWidgetItem* offA = Node(w, "Root/Off/TPassing/PassA");
    QTreeWidgetItem* offB = Node(w, "Root/Off/TPassing/PassB");
    w.SetNodeState(offA, false);
    w.SetNodeState(offB, false);
    tree->scrollToItem(offB);
    const QRect box = w.StateImageRect(offB);
    CheckFalse(box.isEmpty(), "the node has a check box");
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(box.center()));
    CheckTrue(w.TestOf(offB)->GetEnabled(), "a click on the box ticks");
    CheckTrue(w.TestOf(Node(w, "Root/Off"))->GetEnabled(), "the disabled ancestor is enabled");
    CheckEquals(3, TGUITestRunner::StateImageOf(offB));
    CheckEquals(3, TGUITestRunner::StateImageOf(Node(w, "Root/Off")));
    CheckEquals(1, TGUITestRunner::StateImageOf(offA), "the sibling stays unticked");
    const QRect item = tree->visualItemRect(offA);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(item.right() - 4, item.center().y()));
    CheckFalse(w.TestOf(offA)->GetEnabled(), "a click on the name only selects");
    CheckTrue(tree->currentItem() == offA, "and it does select");
    Snapshot("gui-runner-ticked");

    w.Action("SelectFailedAction")->trigger();  // no failures yet: everything off
    CheckEquals(0, w.Suite()->CountEnabledTestCases());
    CheckFalse(w.Action("RunAction")->isEnabled(), "nothing to run");
    w.Action("SelectAllAction")->trigger();
    CheckEquals(w.Suite()->CountTestCases(), w.Suite()->CountEnabledTestCases());
  }

  // Moving through the tree: only enabled test cases are stops; hiding test
  // nodes leaves open only suites that hold suites; copying takes the name.
  TESSEL_TEST(TestTreeNavigation) {
    TGUITestRunner& w = SampleWindow();
    auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
    w.SetNodeState(Node(w, "Root/TMixed/PassLater"), false);
    tree->setCurrentItem(Node(w, "Root/TMixed/Fails"));
    w.Action("GoToNextSelectedTestAction")->trigger();
    CheckTrue(tree->currentItem() == Node(w, "Root/TMixed/ExpectsRaise"), "the disabled test is skipped");
    w.Action("GoToNextSelectedTestAction")->trigger();
    CheckTrue(tree->currentItem() == Node(w, "Root/TErring/Errs"), "suites are skipped");
    w.SetNodeState(Node(w, "Root/Off/TPassing/PassA"), false);
    w.SetNodeState(Node(w, "Root/Off/TPassing/PassB"), false);
    tree->setCurrentItem(Node(w, "Root/TErring/ThrowsInt"));
    w.Action("GoToNextSelectedTestAction")->trigger();
    CheckTrue(tree->currentItem() == Node(w, "Root/TErring/ThrowsInt"), "nothing enabled after it: stays");
    w.Action("GoToPrevSelectedTestAction")->trigger();
    CheckTrue(tree->currentItem() == Node(w, "Root/TErring/Errs"), "backwards");
    QTest::keyClick(tree, Qt::Key_Left, Qt::ControlModifier);
    CheckTrue(tree->currentItem() == Node(w, "Root/TMixed/ExpectsRaise"), "Ctrl+Left");

    w.Action("CopyProcnameToClipboardAction")->trigger();
    CheckEquals(std::string("ExpectsRaise"), QGuiApplication::clipboard()->text().toStdString());
    tree->setCurrentItem(Node(w, "Root/TMixed"));
    CheckFalse(w.Action("CopyProcnameToClipboardAction")->isEnabled(), "not for a suite");

    w.Action("HideTestNodesAction")->trigger();
    CheckTrue(Node(w, "Root")->isExpanded() && Node(w, "Root/Off")->isExpanded(), "suites of suites stay open");
    CheckFalse(Node(w, "Root/TMixed")->isExpanded() || Node(w, "Root/Off/TPassing")->isExpanded(),
               "suites of test cases close");
    CheckTrue(tree->currentItem() == Node(w, "Root"), "the first node selected");
    w.Action("ExpandAllNodesAction")->trigger();
    CheckTrue(Node(w, "Root/Off/TPassing")->isExpanded(), "all open again");
  }

  // The tree can be replaced; the old tests no longer point at freed nodes,
  // and names with markup or invalid UTF-8 show as text.
  TESSEL_TEST(TestSuiteReplacedAndOddNames) {
    ITestSuitePtr first = SampleTree();
    TGUITestRunner& w = Window(first);
    CheckTrue(first->GetGUIObject() != nullptr, "nodes known to their tests");
    ITestSuitePtr odd = TestSuite("<b>bold</b> \xff name", {TMixed::Suite()});
    w.SetSuite(odd);
    CheckNull(first->GetGUIObject(), "the old tree's tests forget their nodes");
    w.Action("RunAction")->trigger();
    auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
    CheckTrue(tree->topLevelItem(0)->text(0).startsWith(QStringLiteral("<b>bold</b> ")), "markup shown as text");
    w.Status(w.Suite(), "status <i>line</i>");
    CheckTrue(w.findChild<QTextEdit*>(QStringLiteral("ErrorMessageRTF"))
                  ->toPlainText()
                  .endsWith(QStringLiteral("status <i>line</i>")),
              "status lines are text");
    w.SetSuite(nullptr);
    CheckNull(odd->GetGUIObject());
    CheckFalse(w.Action("SelectAllAction")->isEnabled(), "no suite, no tree commands");
  }

  // The modal entry point returns when the window is closed, and does not
  // show a window for no tests at all.
  TESSEL_TEST(TestModalEntryPointReturnsOnExit) {
    int shown = 0;
    QTimer closer;  // the window processes events while it is being built, so wait until it shows
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
      for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* runner = qobject_cast<TGUITestRunner*>(top); runner && runner->isVisible()) {
          closer.stop();
          ++shown;
          CheckTrue(runner->isModal(), "shown modally");
          runner->Action("RunAction")->trigger();
          runner->Action("ExitAction")->trigger();
        }
    });
    closer.start();
    GUITestRunner::RunTest(TestSuite("S", {TPassing::Suite()}));
    CheckEquals(1, shown, "one window shown");
    GUITestRunner::RunTest(nullptr);  // returns at once
    for (QWidget* top : QApplication::topLevelWidgets())
      CheckNull(qobject_cast<TGUITestRunner*>(top), "every window freed");
  }

  // A run that raises out of the run loop still ends cleanly: counts kept,
  // commands back, the error handed to the application's handler.
  TESSEL_TEST(TestRunThatRaisesEndsCleanly) {
    class TBrokenSuite : public TTestSuite {
     public:
      using TTestSuite::TTestSuite;
      void Run(TTestResult& result) override {
        TTestSuite::Run(result);
        throw std::runtime_error("suite broke after its run");
      }
    };
    auto broken = std::make_shared<TBrokenSuite>("Broken");
    broken->AddTest(TMixed::Suite());
    TGUITestRunner& w = Window(broken);
    std::string reported;
    Forms::TApplication::Instance()->OnException = [&](const std::string& c, const std::string& m) {
      reported = c + ": " + m;
    };
    w.Action("RunAction")->trigger();
    Forms::TApplication::Instance()->OnException = nullptr;
    CheckEquals(std::string("std::runtime_error: suite broke after its run"), reported);
    CheckFalse(w.Running(), "not running");
    CheckEquals(1, w.FailureCount(), "counts of the run kept");
    CheckTrue(w.Action("RunAction")->isEnabled(), "Run available again");
    CheckTrue(w.Action("SelectAllAction")->isEnabled(), "tree commands back");
  }
};

TESSEL_REGISTER("GUITestRunner", TGUITestRunnerTests);

}  // namespace
