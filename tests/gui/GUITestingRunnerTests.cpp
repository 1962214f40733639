// The windowed runner driven as a person drives it: press Run, read the
// statistics. Built only where gui/GUITestRunner.h exists, so GUI testing
// and the runner test each other once both are in the tree.
#include <QTreeWidget>

#include "framework/TestFramework.h"
#include "gui/GUITestRunner.h"
#include "gui/GUITesting.h"
#include "platform/Paths.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"

using namespace TestFramework;
using GUITesting::TGUITestCase;

namespace {

// What the runner runs: one pass, one failure. Not registered: only the
// runner below sees it.
class TRunnerSubjectTests : public TTestCase {
  TESSEL_TESTCASE(TRunnerSubjectTests, TTestCase)
 public:
  TESSEL_TEST(TestPasses) { CheckEquals(2, 1 + 1); }
  TESSEL_TEST(TestFails) { CheckEquals(3, 1 + 1, "deliberately"); }
};

class TDriveRunnerTests : public TGUITestCase {
  TESSEL_TESTCASE(TDriveRunnerTests, TGUITestCase)
 public:
  GUITestRunner::TGUITestRunner* Runner = nullptr;

  void SetUp() override {
    std::string why;
    CheckTrue(Forms::EnsureApplication(&why), why);
    FActionDelay = 0;
    Runner = new GUITestRunner::TGUITestRunner;
    FGUI = Runner;
    Runner->SetSuite(TRunnerSubjectTests::Suite());
    Show();
  }

  // Sub-item i of the statistics row (Tests, Run, Failures, Errors, ...),
  // shown in column i + 1 after the row's caption.
  std::string Statistic(int subItem) {
    auto* view = qobject_cast<QTreeWidget*>(FindControl("ResultsView"));
    CheckTrue(view && view->topLevelItemCount() == 1, "one statistics row");
    return QtText::FromQ(view->topLevelItem(0)->text(subItem + 1));
  }

  TESSEL_TEST(TestRunButtonRunsAndCounts) {
    CheckEnabled("ToolButton4");
    Click("ToolButton4");  // the toolbar's Run button
    CheckEquals(std::string("2"), Statistic(0), "tests");
    CheckEquals(std::string("2"), Statistic(1), "run");
    CheckEquals(std::string("1"), Statistic(2), "failures");
    CheckEquals(std::string("0"), Statistic(3), "errors");
    const std::string shot = Platform::ProgramDir() + "gui-testing-runner.png";
    CheckTrue(Runner->grab().save(QtText::ToQ(shot)), "screenshot " + shot);
  }
};
TESSEL_REGISTER("GUITesting.Runner", TDriveRunnerTests);

}  // namespace
