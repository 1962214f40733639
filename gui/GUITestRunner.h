// The windowed runner: one window that shows the tree of tests with check
// boxes, runs all, the selected or the ticked tests through a TTestResult on
// the window's own thread, and shows progress, score, statistics, the list of
// failures and the full text of the selected one.
//
//   int main() {
//     GUITestRunner::RunRegisteredTests();  // shows the window until it is closed
//   }
//
// The entry points make the application object when there is none yet. With
// no display to show a window on they raise TestFramework::ETesselException
// whose message says what to set; nothing else is touched.
//
// The components of the window come from GUITestRunner.ui; each carries its
// documented name as objectName, so findChild<QObject*>("RunAction") finds it.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/TestFramework.h"

class QAction;
class QIcon;
class QMenu;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QProgressBar;
class QColor;
class QRect;

namespace Ui {
class TGUITestRunner;
}

namespace GUITestRunner {

using TestFramework::ITestPtr;
using TestFramework::TTestFailure;
using TestFramework::TTestResult;

// Walks the tree: returns whether to go on into the node's children.
using TTestFunc = bool (*)(const ITestPtr& test);

// Run images (index into RunImages).
enum TRunImage { imgNone = 0, imgRunning = 1, imgRun = 2, imgHasProps = 3, imgFailed = 4, imgError = 5 };
// State images (index into StateImages), drawn as the node's check box.
enum TStateImage { stDisabled = 1, stParentDisabled = 2, stEnabled = 3 };

// The modal result of a closed window.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };

class TGUITestRunner : public QMainWindow, public TestFramework::ITestListenerX {
  Q_OBJECT

 public:
  explicit TGUITestRunner(QWidget* parent = nullptr);
  ~TGUITestRunner() override;

  ITestPtr Suite() const { return FSuite; }
  void SetSuite(ITestPtr value);

  // Listener operations, called by the result during a run.
  void TestingStarts() override;
  void StartSuite(const ITestPtr& suite) override;
  void StartTest(const ITestPtr& test) override;
  void AddSuccess(const ITestPtr& test) override;
  void AddError(TTestFailure& failure) override;
  void AddFailure(TTestFailure& failure) override;
  void EndTest(const ITestPtr& test) override;
  void EndSuite(const ITestPtr& suite) override;
  void TestingEnds(TTestResult& testResult) override;
  bool ShouldRunTest(const ITestPtr& test) override;
  void Status(const ITestPtr& test, const std::string& message) override;
  void Warning(const ITestPtr& test, const std::string& message);

  // Make a window, set the suite (nil or not), show it modally, free it.
  static void RunTest(ITestPtr test);
  static void RunRegisteredTests();

  // Shows the window and handles events until it is closed; returns the
  // modal result (mrCancel after ExitAction).
  int ShowModal();
  int ModalResult() const noexcept { return FModalResult; }
  bool Running() const noexcept { return FRunning; }
  int ErrorCount() const noexcept { return FErrorCount; }
  int FailureCount() const noexcept { return FFailureCount; }
  int64_t TotalTime() const noexcept { return FTotalTime; }
  // The result of the run in progress, or null.
  TTestResult* TestResult() const noexcept { return FTestResult.get(); }

  // The action, menu or widget with the given component name, or null.
  QAction* Action(const char* name) const;

  // Image lists: 4 state images, 6 run images, 11 action images.
  const std::vector<QIcon>& RunImages() const;
  const std::vector<QIcon>& StateImages() const;
  const std::vector<QIcon>& ActionsImages() const;

  // Tree nodes: the node of a test (null when it is not in the tree), the
  // test of a node, and the node's run and state image indexes.
  QTreeWidgetItem* NodeOf(const ITestPtr& test) const;
  ITestPtr TestOf(const QTreeWidgetItem* node) const;
  static int RunImageOf(const QTreeWidgetItem* node);
  static int StateImageOf(const QTreeWidgetItem* node);
  // Where the node's check box is drawn, in the tree viewport's coordinates
  // (a left press there ticks or unticks the node).
  QRect StateImageRect(QTreeWidgetItem* node) const;
  // The score bar's colour (invalid while it has its parent's colour).
  QColor ScoreBarColor() const;

  // Configuration (section "GUITestRunner Config").
  //
  // The file is tessel.ini beside the program unless ConfigFileOverride
  // names another (tests and tools that must not touch the program's own).
  static std::string& ConfigFileOverride();
  virtual std::string IniFileName() const;
  std::unique_ptr<TestFramework::TCustomIniFile> GetIniFile(const std::string& fileName) const;
  void LoadRegistryAction();
  void SaveRegistryAction();
  void LoadFormPlacement();
  void SaveFormPlacement();
  void LoadSuiteConfiguration();
  void LoadConfiguration();
  void SaveConfiguration();
  void AutoSaveConfiguration();
  int PopupX() const noexcept { return FPopupX; }
  int PopupY() const noexcept { return FPopupY; }

  // Properties popup texts (valid after the popup was prepared).
  const std::string& NoChecksStr() const noexcept { return FNoChecksStr; }
  const std::string& MemLeakStr() const noexcept { return FMemLeakStr; }
  const std::string& MemGainStr() const noexcept { return FMemGainStr; }
  const std::string& MemBytesStr() const noexcept { return FMemBytesStr; }
  const std::string& IgnoreLeakStr() const noexcept { return FIgnoreLeakStr; }
  bool NoCheckExecutedPtyOverridden() const noexcept { return FNoCheckExecutedPtyOverridden; }
  bool MemLeakDetectedPtyOverridden() const noexcept { return FMemLeakDetectedPtyOverridden; }
  bool IgnoreSetUpTearDownLeakPtyOverridden() const noexcept { return FIgnoreSetUpTearDownLeakPtyOverridden; }
  QMenu* PropertiesMenu() const;

  // Tree operations used by the actions (public so that host programs can
  // drive the window as a user would).
  void SetNodeState(QTreeWidgetItem* node, bool enabled);
  void SwitchNodeState(QTreeWidgetItem* node);
  void UpdateStatus(bool fullUpdate);
  // Recomputes the enabled state of the actions that depend on the run,
  // the selection and the tree (what the toolkit's idle handlers did).
  void UpdateActions();
  // The longest time (ms) between two event-processing passes of the last
  // run; the window is only responsive while this stays short.
  int64_t LongestEventGap() const noexcept { return FLongestEventGap; }

 protected:
  virtual void InitTree();
  void Setup();
  void EnableUI(bool enable);
  void RunTheTest(const ITestPtr& test);
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TPropertyItemWidget;
  struct TImages;
  std::unique_ptr<Ui::TGUITestRunner> FUi;
  std::unique_ptr<TImages> FImages;

  bool FNoCheckExecutedPtyOverridden = false;
  bool FMemLeakDetectedPtyOverridden = false;
  bool FIgnoreSetUpTearDownLeakPtyOverridden = false;
  int32_t FPopupY = 30;
  int32_t FPopupX = 350;
  ITestPtr FSuite;
  std::unique_ptr<TTestResult> FTestResult;
  bool FRunning = false;
  std::vector<ITestPtr> FTests;
  std::unique_ptr<std::vector<ITestPtr>> FSelectedTests;
  int64_t FTotalTime = 0;
  std::string FNoChecksStr, FMemLeakStr, FMemGainStr, FMemBytesStr, FIgnoreLeakStr, FBytes;
  int32_t FErrorCount = 0;
  int32_t FFailureCount = 0;
  QTimer* FUpdateTimer = nullptr;  // owned by the window (Qt parent)
  bool FTimerExpired = false;
  int32_t FTotalTestsCount = 0;

  // Qt side of the tree: node of each entry of FTests, and the way back.
  std::vector<QTreeWidgetItem*> FNodes;
  std::unordered_map<const TestFramework::ITest*, int> FIndexOf;
  // Run and state image of each node, parallel to FTests; the tree's
  // delegate draws them from here.
  std::vector<uint8_t> FRunImage;
  std::vector<uint8_t> FStateImage;
  bool FSyncingSelection = false;  // the tree and the failure list follow each other
  uint64_t FStoredStates = 0;      // StoredStatesKey() after the last save; 0: unknown
  uint64_t StoredStatesKey() const;
  void RememberStoredStates();
  int FModalResult = mrNone;
  int FScoreMax = 0;     // the bars' maximum as counted; the widgets get at least 1
  bool FPressOnState = false;  // the last left press hit a node's check box
  int FPressNode = -1;         // ... of this node
  int64_t FLastEvents = 0;     // ms clock at the last event processing
  int64_t FLongestEventGap = 0;
  bool FPanelsShown = false;
  bool FCountKnown = false;    // FTotalTestsCount holds for the run in progress
  bool FForceRefresh = false;  // the next status refresh redraws whatever the clock says
  bool RefreshDue() const;
  // Show Tested Node: nodes of tests started since the last redraw, one per
  // run of siblings (their parents are what must open), and the latest one.
  std::vector<QTreeWidgetItem*> FStartedNodes;
  QTreeWidgetItem* FLastStarted = nullptr;
  void ShowStartedNodes();
  int FResultsPanelHeight = 174;
  int FErrorBoxHeight = 75;

  int ResultsPanelHeight() const;
  int ErrorBoxHeight() const;
  void SetPanelHeights(int results, int errors);
  void ApplyPanelHeights();

  void CreateImages();
  void BindActions();
  void BindMenuItems();
  void ConnectSignals();
  void BuildPropertiesMenu();

  void FillTree();
  void ClearTree();
  void SetTreeNodeImage(QTreeWidgetItem* node, int image);
  void UpdateNodeImage(QTreeWidgetItem* node);
  void UpdateNodeState(QTreeWidgetItem* node);
  void UpdateTestTreeState();
  void ApplyToTests(QTreeWidgetItem* root, TTestFunc func);
  QTreeWidgetItem* SelectedNode() const;
  ITestPtr SelectedTest() const;
  void MakeNodeVisible(QTreeWidgetItem* node);
  void SelectNode(QTreeWidgetItem* node);

  void ResetProgress();
  void SetScoreBarColor(const QColor& color);
  void SetBarMaximum(QProgressBar* bar, int maximum);
  void ClearStatusMessage();
  void ShowConfigurationNote(const std::string& note);  // empty: none
  void AppendLine(const std::string& text, bool bold = false);
  void DisplayFailureMessage(int row);
  void AddFailureItem(TTestFailure& failure, int image);
  void ProcessEvents();
  void Repaint(QWidget* widget);
  void HandleException(const char* where);

  // Action handlers.
  void OnRun();
  void OnStop();
  void OnExit();
  void OnSelectAll();
  void OnDeselectAll();
  void OnSelectFailed();
  void OnSelectCurrent();
  void OnDeselectCurrent();
  void OnHideTestNodes();
  void OnExpandAllNodes();
  void OnGoToSelectedTest(bool forward);
  void OnCopyProcname();
  void OnCopyMessage();
  void OnRunSelectedTest();
  void OnTestCaseProperties();
  void OnErrorBoxVisible();
  void OnFailTestCaseIfMemoryLeaked();
  void OnAutoSave();
  void OnExclusiveOption(QAction* toggled);
  void OnTreeChange();
  void OnTreeClick();
  void OnFailureSelectionChanged();
  // Wraps an action handler: store and window errors go to HandleException
  // instead of through Qt's event dispatch.
  template <class F>
  void Guarded(const char* where, F&& handler) {
    try {
      handler();
    } catch (...) {
      HandleException(where);
    }
  }

  // Properties popup (GUITestRunnerPopup.cpp).
  void PreparePropertiesPopup(const ITestPtr& test);
  void PopupPropertiesMenu();
  void OnPropertyItemClicked(int item);
};

// Entry points. All make the window through the application object, so the
// first one made becomes the application's main window.
void RunTest(ITestPtr test);
TGUITestRunner* RunTestModeless(ITestPtr test);
void RunRegisteredTests();
TGUITestRunner* RunRegisteredTestsModeless();
// Runs every registered test in a shown window, waits for the run to end,
// and returns the number of errors plus failures.
int RunRegisteredTestsModelessUnattended();

void InitializeUnit();
void FinalizeUnit();

namespace Detail {
// Item data of the tree nodes and the failure list.
constexpr int kIndexRole = 0x0100;        // Qt::UserRole; tree node: index in FTests
constexpr int kFailureNodeRole = 0x0100;  // failure item: index of the failed test's node
constexpr int kStackTraceRole = 0x0101;
constexpr int kImageRole = 0x0102;

// Tree-wide changes: no repaint and no change signals until the end.
class TBatchUpdate {
 public:
  explicit TBatchUpdate(QTreeWidget* tree);
  ~TBatchUpdate();
  TBatchUpdate(const TBatchUpdate&) = delete;
  TBatchUpdate& operator=(const TBatchUpdate&) = delete;

 private:
  QTreeWidget* FTree;
  bool FWasBlocked;
  bool FWasEnabled;
};

// The artwork, painted when the window is made (never before the
// application exists: a pixmap needs it).
std::vector<QIcon> RunImages();
std::vector<QIcon> StateImages();
std::vector<QIcon> ActionsImages();
QIcon WindowIcon();
}  // namespace Detail

}  // namespace GUITestRunner
