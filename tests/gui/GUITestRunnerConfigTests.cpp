// The windowed runner's stored settings and its properties popup: what is
// saved comes back, damaged or unwritable stores cost nothing, and the
// popup shows a test case's run-time properties line for line.
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QWidgetAction>
#include <fstream>
#include <sstream>

#include "RunnerFixture.h"
#include "platform/IniFiles.h"

using namespace RunnerTests;

namespace {

const std::string kSection = "GUITestRunner Config";

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// A test case that switches off, for itself, a check the runner asks for.
class TOverriding : public TTestCase {
  TESSEL_TESTCASE(TOverriding, TTestCase)
 public:
  void SetUp() override { SetFailsOnNoChecksExecuted(false); }
  TESSEL_TEST(NoChecksOnPurpose) {
    volatile int done = 1;  // a body, but no check
    (void)done;
  }
  TESSEL_TEST(Checks) { Check(true); }
};

int ColumnWidth(TGUITestRunner& w, int i) {
  return w.findChild<QTreeWidget*>(QStringLiteral("FailureListView"))->header()->sectionSize(i);
}

class TGUITestRunnerConfigTests : public TRunnerCase {
  TESSEL_TESTCASE(TGUITestRunnerConfigTests, TRunnerCase)
 public:
  // Save, change, load: every option, the placement, a column width and the
  // tests' enabled states come back; a stored width of 0 comes back as 4.
  TESSEL_TEST(TestSavedConfigurationComesBack) {
    TGUITestRunner& w = SampleWindow();
    const char* const flipped[] = {"BreakOnFailuresAction", "FailIfNoChecksExecutedAction",
                                   "HideTestNodesOnOpenAction", "WarnOnFailTestOverrideAction",
                                   "ShowTestedNodeAction", "ErrorBoxVisibleAction"};
    for (const char* a : flipped) w.Action(a)->trigger();
    w.move(123, 45);
    w.resize(610, 520);
    w.findChild<QTreeWidget*>(QStringLiteral("FailureListView"))->header()->resizeSection(1, 77);
    w.SetNodeState(Node(w, "Root/TMixed/Fails"), false);
    w.Action("SaveConfigurationAction")->trigger();
    delete FWindow.data();

    TGUITestRunner& again = Window(SampleTree());
    std::string states;
    for (const char* a : flipped) states += std::string(a) + "=" + (again.Action(a)->isChecked() ? "1 " : "0 ");
    CheckEquals(std::string("BreakOnFailuresAction=1 FailIfNoChecksExecutedAction=1 HideTestNodesOnOpenAction=1 "
                            "WarnOnFailTestOverrideAction=1 ShowTestedNodeAction=0 ErrorBoxVisibleAction=0 "),
                states);
    CheckTrue(again.pos() == QPoint(123, 45), "position");
    CheckTrue(again.size() == QSize(610, 520), "size");
    CheckEquals(77, ColumnWidth(again, 1));
    CheckFalse(again.TestOf(Node(again, "Root/Off"))->GetEnabled(), "disabled suite stored");
    CheckFalse(again.TestOf(Node(again, "Root/TMixed/Fails"))->GetEnabled(), "disabled test stored");
    CheckEquals(1, GUITestRunner::TGUITestRunner::StateImageOf(Node(again, "Root/TMixed/Fails")));
    CheckFalse(again.findChild<QWidget*>(QStringLiteral("ErrorBoxPanel"))->isVisible(), "message box hidden");

    // Edited by hand: options the window switched off at start come back
    // only through Restore, and a width of 0 becomes 4.
    {
      Platform::TIniFile ini(TGUITestRunner::ConfigFileOverride());
      ini.WriteInteger(kSection, "FailureList.ColumnWidth[2]", 0);
      ini.WriteBool(kSection, "FailOnMemoryLeaked", true);
    }
    CheckFalse(again.Action("FailTestCaseIfMemoryLeakedAction")->isChecked(), "off at start");
    again.Action("RestoreSavedAction")->trigger();
    CheckEquals(4, ColumnWidth(again, 2));
    CheckTrue(again.Action("FailTestCaseIfMemoryLeakedAction")->isChecked(), "restored");

    // Maximised: the flag is stored, the last normal placement stays.
    again.showMaximized();
    Forms::ProcessMessages();
    again.Action("SaveConfigurationAction")->trigger();
    Platform::TIniFile ini(TGUITestRunner::ConfigFileOverride());
    CheckTrue(ini.ReadBool(kSection, "Maximized", false), "maximised stored");
    CheckEquals(610, ini.ReadInteger(kSection, "Width", 0), "normal width kept");
    Snapshot("gui-runner-config-restored");
  }

  // States saved once are saved again whenever they, or the file, changed:
  // an unchanged tree is not rewritten before every run, but nothing is lost.
  TESSEL_TEST(TestStatesSavedAgainAfterAnyChange) {
    TGUITestRunner& w = SampleWindow();
    w.Action("SaveConfigurationAction")->trigger();
    Platform::TIniFile ini(TGUITestRunner::ConfigFileOverride());
    CheckFalse(ini.ReadBool("Tests.Root", "Off", true), "stored");
    ini.DeleteKey("Tests.Root", "Off");  // someone edits the file
    w.Action("RunAction")->trigger();     // auto-save before the run
    CheckFalse(ini.ReadBool("Tests.Root", "Off", true), "the edited file gets the states again");
    w.SetNodeState(Node(w, "Root/TMixed/Fails"), false);
    w.Action("RunAction")->trigger();
    CheckFalse(ini.ReadBool("Tests.Root.TMixed", "Fails", true), "a changed state is saved");
    w.SetNodeState(Node(w, "Root/TMixed/Fails"), true);
    w.Action("SaveConfigurationAction")->trigger();
    CheckFalse(ini.ValueExists("Tests.Root.TMixed", "Fails"), "and changed back");
  }

  // A damaged section falls back to the defaults, keeps the window on
  // screen and loses nothing else in the file.
  TESSEL_TEST(TestGarbageSectionFallsBackToDefaults) {
    {
      std::ofstream f(FDir / "tessel.ini", std::ios::binary);
      f << "[GUITestRunner Config]\r\nLeft=abc\r\nTop=\x01\x02\r\nWidth=-5\r\nHeight=99999999999\r\n"
           "Maximized=yes\r\nResultsPanel.Height=-100\r\nErrorMessage.Height=\xff\xfe\r\n"
           "FailureList.ColumnWidth[0]=zz\r\nBreakOnFailures=maybe\r\nSelectTestedNode=\r\nPopupX=1e9\r\n"
           "=== not a key ===\r\n[Tests.Root]\r\nTMixed=0\r\n";
    }
    TGUITestRunner& w = Window(SampleTree());
    CheckFalse(w.Action("BreakOnFailuresAction")->isChecked(), "default off");
    CheckTrue(w.Action("ShowTestedNodeAction")->isChecked(), "default on");
    CheckTrue(w.width() >= 100 && w.width() < 5000 && w.height() >= 100 && w.height() < 5000, "plausible size");
    CheckFalse(w.isMaximized(), "not maximised");
    CheckEquals(350, w.PopupX(), "popup offset default");
    CheckEquals(120, ColumnWidth(w, 0), "column default");
    CheckFalse(w.TestOf(Node(w, "Root/TMixed"))->GetEnabled(), "the tests' own section still read");
    w.Action("RunAction")->trigger();
    CheckEquals(6, w.findChild<QTreeWidget*>(QStringLiteral("ResultsView"))->topLevelItem(0)->text(2).toInt(),
                "runs the enabled tests");
  }

  // Registry mode: the INI file holds the switch and nothing else, the rest
  // goes to the per-user store, and it comes back from there.
  TESSEL_TEST(TestRegistryModeKeepsOnlyTheSwitchInTheIni) {
    TGUITestRunner& w = SampleWindow();
    w.Action("UseRegistryAction")->trigger();
    w.Action("BreakOnFailuresAction")->trigger();
    w.Action("SaveConfigurationAction")->trigger();
    std::string ini = ReadFile(FDir / "tessel.ini");
    std::erase(ini, '\r');
    CheckEquals(std::string("[GUITestRunner Config]\nUseRegistry=1\n"), ini);
    Platform::TRegistryIniFile store(GetTesselRegistryKey() + TGUITestRunner::ConfigFileOverride());
    CheckTrue(store.ReadBool(kSection, "BreakOnFailures", false), "options in the registry store");
    CheckTrue(store.ValueExists(kSection, "Width"), "placement in the registry store");
    CheckTrue(store.ValueExists("Tests.Root", "Off"), "tests' states in the registry store");
    delete FWindow.data();
    TGUITestRunner& again = Window(SampleTree());
    CheckTrue(again.Action("UseRegistryAction")->isChecked() && again.Action("BreakOnFailuresAction")->isChecked(),
              "read back from the registry store");
    CheckFalse(again.TestOf(Node(again, "Root/Off"))->GetEnabled());
  }

  // An unwritable configuration: the auto-save before the run fails with a
  // message naming the file, and the run goes on and is recorded in full.
  TESSEL_TEST(TestUnwritableConfigurationLosesNothing) {
    { std::ofstream(FDir / "file"); }
    TGUITestRunner::ConfigFileOverride() = (FDir / "file" / "tessel.ini").string();  // a file is no directory
    TGUITestRunner& w = Window(TestSuite("S", {TMixed::Suite()}));
    std::vector<std::string> reported;
    Forms::TApplication::Instance()->OnException = [&](const std::string&, const std::string& m) {
      reported.push_back(m);
    };
    w.Action("RunAction")->trigger();
    Forms::TApplication::Instance()->OnException = nullptr;
    CheckEquals(1, static_cast<int>(reported.size()), "one clear message");
    CheckTrue(reported[0].find((FDir / "file").string()) != std::string::npos, "it names the file: " + reported[0]);
    CheckEquals(1, w.FailureCount(), "the run was recorded");
    CheckEquals(std::string("4"),
                w.findChild<QTreeWidget*>(QStringLiteral("ResultsView"))->topLevelItem(0)->text(2).toStdString());
  }

  // Options read at run time: overridden tests are counted and flagged.
  TESSEL_TEST(TestOverriddenTestsAreCountedAndFlagged) {
    TGUITestRunner& w = Window(TestSuite("S", {TOverriding::Suite()}));
    w.Action("FailIfNoChecksExecutedAction")->trigger();
    w.Action("WarnOnFailTestOverrideAction")->trigger();
    w.Action("ShowTestCasesWithRunTimePropertiesAction")->trigger();
    CheckFalse(w.Action("WarnOnFailTestOverrideAction")->isChecked(), "the two options exclude each other");
    w.Action("WarnOnFailTestOverrideAction")->trigger();
    w.Action("RunAction")->trigger();
    CheckEquals(std::string("2"),
                w.findChild<QTreeWidget*>(QStringLiteral("ResultsView"))->topLevelItem(0)->text(5).toStdString());
    CheckEquals(3, TGUITestRunner::RunImageOf(Node(w, "S/TOverriding/NoChecksOnPurpose")), "flagged image");
    CheckEquals(0, w.FailureCount(), "the test's own setting wins");
    CheckEquals(3, TGUITestRunner::RunImageOf(Node(w, "S")), "rises to the root");
  }

  // The popup's lines, its highlights, its place and what its items do.
  TESSEL_TEST(TestPropertiesPopup) {
    TGUITestRunner& w = SampleWindow();
    auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
    tree->setCurrentItem(Node(w, "Root/TMixed"));
    CheckFalse(w.Action("TestCasePopup")->isEnabled(), "no popup for a suite");
    w.Action("TestCasePropertiesAction")->trigger();
    CheckFalse(w.PropertiesMenu()->isVisible(), "nothing shown for a suite");

    ITestPtr fails = w.TestOf(Node(w, "Root/TMixed/Fails"));
    fails->SetFailsOnMemoryLeak(false);
    fails->SetFailsOnMemoryRecovery(true);  // shown False: it does not fail on leaks
    fails->SetIgnoreSetUpTearDownLeaks(true);
    w.Action("FailIfNoChecksExecutedAction")->trigger();
    tree->setCurrentItem(Node(w, "Root/TMixed/Fails"));
    CheckTrue(w.Action("TestCasePopup")->isEnabled(), "available on a test case");
    w.Action("TestCasePropertiesAction")->trigger();
    QMenu* menu = w.PropertiesMenu();
    CheckTrue(menu->isVisible(), "shown");
    CheckTrue(menu->pos() == w.pos() + QPoint(350, 30), "at the stored offset");
    CheckEquals(std::string(" FailsOnNoChecksExecuted  := False|"
                            " FailsOnMemoryLeak        := False|"
                            " AllowedMemoryLeakSize := 0 Bytes|"
                            " FailsOnMemoryRecovery    := False|"
                            " IgnoreSetUpTearDownLeaks := False"),
                w.NoChecksStr() + "|" + w.MemLeakStr() + "|" + w.MemBytesStr() + "|" + w.MemGainStr() + "|" +
                    w.IgnoreLeakStr());
    CheckTrue(w.NoCheckExecutedPtyOverridden(), "highlighted: the option is on, the test's is off");
    CheckFalse(w.MemLeakDetectedPtyOverridden() || w.IgnoreSetUpTearDownLeakPtyOverridden());
    w.PropertiesMenu()->grab().save(QString::fromStdString(Platform::ProgramDir() + "gui-runner-popup.png"));

    auto click = [&](const char* item) {
      auto* widget = menu->findChild<QWidget*>(QString::fromLatin1(item) + QStringLiteral("Widget"));
      if (!widget) throw std::runtime_error(std::string("no item ") + item);
      QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
    };
    click("FailsOnMemoryLeakMenuItem");
    CheckEquals(std::string("FailsOnMemoryLeak"), QGuiApplication::clipboard()->text().toStdString());
    CheckFalse(menu->isVisible(), "closed after copying");
    w.Action("TestCasePropertiesAction")->trigger();
    click("AllowedLeakSizeMemuItem");
    CheckEquals(std::string("AllowedMemoryLeakSize"), QGuiApplication::clipboard()->text().toStdString());

    w.Action("TestCasePropertiesAction")->trigger();
    click("Next1");
    CheckTrue(tree->currentItem() == Node(w, "Root/TMixed/PassLater"), "Next moves to the next test case");
    CheckTrue(menu->isVisible(), "and opens the popup again");
    click("Previous1");
    CheckTrue(tree->currentItem() == Node(w, "Root/TMixed/Fails"), "Previous moves back");
    menu->hide();
  }
};

TESSEL_REGISTER("GUITestRunnerConfig", TGUITestRunnerConfigTests);

}  // namespace
