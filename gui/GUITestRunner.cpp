#include "gui/GUITestRunner.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleFactory>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidgetItemIterator>

#include <chrono>
#include <cstdio>
#include <optional>

#include "ui_GUITestRunner.h"
#include "platform/Format.h"
#include "platform/LocaleSettings.h"
#include "platform/qt/Forms.h"
#include "platform/qt/QtText.h"
#include "runners/TesselCrashGuard.h"

namespace GUITestRunner {

using TestFramework::IsTestMethod;
using QtText::ToQ;

namespace {

using namespace Detail;
static_assert(kIndexRole == Qt::UserRole && kImageRole == Qt::UserRole + 2, "item data roles");

// Columns of the statistics row: sub-item i is column i + 1.
enum { colTests = 1, colRun, colFailures, colErrors, colOverrides, colTestTime, colTotalTime };

const QColor kGreen(0, 128, 0), kFuchsia(255, 0, 255), kRed(255, 0, 0);

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string FormatElapsed(int64_t ms) {
  if (ms < 0) ms = 0;
  const int64_t h = ms / 3600000, m = ms % 3600000 / 60000, s = ms % 60000 / 1000;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d:%2.2d:%2.2d.%3.3d", static_cast<int>(h), static_cast<int>(m),
                static_cast<int>(s), static_cast<int>(ms % 1000));
  return buf;
}

// Draws each node's run image and check box from the window's own arrays.
// A run changes images tens of thousands of times a second; as item data,
// every change would be a model signal and a layout look-up, many times the
// cost of the test itself. The option set-up is public so that a press can
// be tested against the check box rectangle the style really draws.
class TNodeDelegate : public QStyledItemDelegate {
 public:
  TNodeDelegate(QObject* parent, const std::vector<uint8_t>& run, const std::vector<uint8_t>& state,
                const std::vector<QIcon>& icons)
      : QStyledItemDelegate(parent), FRun(run), FState(state), FIcons(icons) {}

  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    bool ok = false;
    const int i = index.data(kIndexRole).toInt(&ok);
    if (!ok || i < 0 || static_cast<std::size_t>(i) >= FRun.size()) return;
    const auto u = static_cast<std::size_t>(i);
    option->features |= QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasCheckIndicator;
    option->icon = FIcons[std::min<std::size_t>(FRun[u], FIcons.size() - 1)];
    option->decorationSize = QSize(16, 16);
    // 1 disabled, 2 enabled under a disabled parent, 3 enabled.
    option->checkState = FState[u] == stEnabled ? Qt::Checked
                         : FState[u] == stParentDisabled ? Qt::PartiallyChecked
                                                         : Qt::Unchecked;
  }

 private:
  const std::vector<uint8_t>& FRun;
  const std::vector<uint8_t>& FState;
  const std::vector<QIcon>& FIcons;
};

// The result's listener: it owns this forwarder, which goes quiet if the
// window is destroyed while the result still exists.
class TListenerProxy : public TestFramework::ITestListenerX {
 public:
  explicit TListenerProxy(TGUITestRunner* window) : FWindow(window) {}
  void Status(const ITestPtr& t, const std::string& m) override {
    if (FWindow) FWindow->Status(t, m);
  }
  void TestingStarts() override {
    if (FWindow) FWindow->TestingStarts();
  }
  void StartSuite(const ITestPtr& s) override {
    if (FWindow) FWindow->StartSuite(s);
  }
  void StartTest(const ITestPtr& t) override {
    if (FWindow) FWindow->StartTest(t);
  }
  void AddSuccess(const ITestPtr& t) override {
    if (FWindow) FWindow->AddSuccess(t);
  }
  void AddError(TTestFailure& e) override {
    if (FWindow) FWindow->AddError(e);
  }
  void AddFailure(TTestFailure& f) override {
    if (FWindow) FWindow->AddFailure(f);
  }
  void EndTest(const ITestPtr& t) override {
    if (FWindow) FWindow->EndTest(t);
  }
  void EndSuite(const ITestPtr& s) override {
    if (FWindow) FWindow->EndSuite(s);
  }
  void TestingEnds(TTestResult& r) override {
    if (FWindow) FWindow->TestingEnds(r);
  }
  bool ShouldRunTest(const ITestPtr& t) override { return FWindow ? FWindow->ShouldRunTest(t) : false; }

 private:
  QPointer<TGUITestRunner> FWindow;
};

}  // namespace

TBatchUpdate::TBatchUpdate(QTreeWidget* tree)
    : FTree(tree), FWasBlocked(tree->blockSignals(true)), FWasEnabled(tree->updatesEnabled()) {
  FTree->setUpdatesEnabled(false);
}

TBatchUpdate::~TBatchUpdate() {
  FTree->setUpdatesEnabled(FWasEnabled);
  FTree->blockSignals(FWasBlocked);
}

struct TGUITestRunner::TImages {
  std::vector<QIcon> Run, State, Actions;
  QStyle* BarStyle = nullptr;  // Fusion honours the bar colour; owned by the window
  TNodeDelegate* Delegate = nullptr;
  QEventLoop* ModalLoop = nullptr;
  QColor ScoreColor;
};

// ---- creation and destruction ---------------------------------------------

TGUITestRunner::TGUITestRunner(QWidget* parent)
    : QMainWindow(parent), FUi(std::make_unique<Ui::TGUITestRunner>()), FImages(std::make_unique<TImages>()) {
  FUi->setupUi(this);
  Forms::Screen().AddForm(this, /*frameworkWindow=*/true);
  CreateImages();
  BindActions();
  BindMenuItems();
  BuildPropertiesMenu();
  ConnectSignals();

  // Configuration first, so the window opens where it was left.
  try {
    LoadConfiguration();
  } catch (...) {
    HandleException("loading the configuration");
  }
  Platform::FormatSettings().TimeSeparator = ':';
  FUi->GoToNextSelectedTestAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
  FUi->GoToPrevSelectedTestAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));

  ClearTree();
  EnableUI(false);
  ClearStatusMessage();

  FUpdateTimer = new QTimer(this);
  FUpdateTimer->setInterval(200);
  connect(FUpdateTimer, &QTimer::timeout, this, [this] {
    FTimerExpired = true;
    FUpdateTimer->stop();
  });
  Setup();

  // The window starts with leak failures off; only a restored configuration
  // (RestoreSavedAction) can switch them on.
  FUi->FailTestCaseIfMemoryLeakedAction->setChecked(false);
  FUi->FailTestCaseIfMemoryLeakedAction->setEnabled(false);
  FUi->ReportMemoryLeakTypeOnShutdownAction->setChecked(false);
  FUi->ReportMemoryLeakTypeOnShutdownAction->setEnabled(false);
  FUi->IgnoreMemoryLeakInSetUpTearDownAction->setChecked(false);
  FUi->IgnoreMemoryLeakInSetUpTearDownAction->setEnabled(false);
  UpdateActions();
}

TGUITestRunner::~TGUITestRunner() {
  if (FTestResult) FTestResult->Stop();
  FTestResult.reset();
  try {
    AutoSaveConfiguration();
  } catch (...) {
    HandleException("saving the configuration");  // never out of a destructor
  }
  FSuite = nullptr;
  ClearTree();
  FTests.clear();
  // Qt deletes the children after this object's own part is gone: nothing
  // they emit or filter on the way may reach it.
  FUi->TestTree->viewport()->removeEventFilter(this);
  FUi->TestTree->removeEventFilter(this);
  FUi->TestTree->blockSignals(true);
  FUi->FailureListView->blockSignals(true);
  FUi->ErrorMessageRTF->blockSignals(true);
}

void TGUITestRunner::CreateImages() {
  FImages->Run = Detail::RunImages();
  FImages->State = Detail::StateImages();
  FImages->Actions = Detail::ActionsImages();
  setWindowIcon(Detail::WindowIcon());

  FImages->BarStyle = QStyleFactory::create(QStringLiteral("Fusion"));
  if (FImages->BarStyle) {
    FImages->BarStyle->setParent(this);
    FUi->ProgressBar->setStyle(FImages->BarStyle);
    FUi->ScoreBar->setStyle(FImages->BarStyle);
  }
  FUi->TestTree->setIconSize(QSize(16, 16));
  FUi->FailureListView->setIconSize(QSize(16, 16));
  FImages->Delegate = new TNodeDelegate(FUi->TestTree, FRunImage, FStateImage, FImages->Run);
  FUi->TestTree->setItemDelegate(FImages->Delegate);

  FUi->BodyPanel->setContentsMargins(2, 2, 2, 2);
  FUi->BodyPanel->setStretchFactor(0, 1);
  FUi->BodyPanel->setStretchFactor(1, 0);
  FUi->TopPanel->setStretchFactor(0, 1);
  FUi->TopPanel->setStretchFactor(1, 0);
  FUi->BodyPanel->handle(1)->setObjectName(QStringLiteral("ErrorBoxSplitter"));
  FUi->BodyPanel->handle(1)->setCursor(Qt::SizeVerCursor);
  FUi->TopPanel->handle(1)->setObjectName(QStringLiteral("ResultsSplitter"));

  QHeaderView* stats = FUi->ResultsView->header();
  stats->setMinimumSectionSize(10);
  stats->setStretchLastSection(false);
  stats->resizeSection(0, 8);
  // 70 pixels fit a time in the small font the widths were chosen for; the
  // font Qt finds here is often wider, and a time cut to "0:00:0..." says nothing.
  const int timeWidth = FUi->ResultsView->fontMetrics().horizontalAdvance(QStringLiteral("0:00:00.000")) + 12;
  for (int c = 1; c <= 7; ++c) {
    stats->resizeSection(c, std::max(70, timeWidth));
    FUi->ResultsView->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  }
  stats->setSectionResizeMode(colTestTime, QHeaderView::Stretch);

  QHeaderView* failures = FUi->FailureListView->header();
  failures->setMinimumSectionSize(4);  // a restored width of 4 must read back as 4
  failures->resizeSection(0, 120);
  failures->resizeSection(1, 100);
  failures->resizeSection(2, 200);
  failures->setStretchLastSection(true);
}

void TGUITestRunner::BindActions() {
  const auto actions = findChildren<QAction*>();
  for (QAction* a : actions) {
    const QVariant image = a->property("imageIndex");
    if (!image.isValid()) continue;
    const int i = image.toInt();
    if (i >= 0 && i < static_cast<int>(FImages->Actions.size())) a->setIcon(FImages->Actions[static_cast<std::size_t>(i)]);
    if (!a->toolTip().isEmpty()) a->setStatusTip(a->toolTip());
    // Every action belongs to the window, so its shortcut works even where
    // no menu or button shows it (Alt_R_RunAction, Alt_S_StopAction).
    addAction(a);
  }
  // Enter runs or stops: only one of the two is enabled at a time, so the
  // shared shortcut is never ambiguous. Both Return and the keypad's Enter.
  for (QAction* a : {FUi->RunAction, FUi->StopAction})
    a->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});

  const std::pair<QAction*, const char*> buttons[] = {
      {FUi->SelectAllAction, "SelectAllButton"},         {FUi->DeselectAllAction, "DeselectAllButton"},
      {FUi->SelectFailedAction, "SelectFailedButton"},   {FUi->SelectCurrentAction, "SelectCurrentButton"},
      {FUi->DeselectCurrentAction, "DeselectCurrentButton"}, {FUi->RunAction, "ToolButton4"},
      {FUi->RunSelectedTestAction, "RunSelectedTestButton"}, {FUi->StopAction, "ToolButton5"}};
  for (const auto& [action, name] : buttons)
    if (QWidget* b = FUi->ToolBar1->widgetForAction(action)) b->setObjectName(QString::fromLatin1(name));

  auto* exclusive = new QActionGroup(this);
  exclusive->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  exclusive->addAction(FUi->ShowTestCasesWithRunTimePropertiesAction);
  exclusive->addAction(FUi->WarnOnFailTestOverrideAction);
}

// A menu item is an action of its own that mirrors the action it is bound
// to: one QAction cannot show another shortcut in each place it appears.
void TGUITestRunner::BindMenuItems() {
  const auto items = findChildren<QAction*>();
  for (QAction* item : items) {
    if (item->property("separator").toBool()) {
      item->setSeparator(true);
      continue;
    }
    const QString boundName = item->property("boundAction").toString();
    if (boundName.isEmpty()) continue;
    QAction* bound = findChild<QAction*>(boundName);
    if (!bound) continue;
    const bool ownText = !item->text().isEmpty();
    const bool ownShortcut = !item->shortcut().isEmpty();
    if (ownShortcut) addAction(item);
    auto mirror = [item, bound, ownText, ownShortcut] {
      QString text = ownText ? item->text() : bound->text();
      if (!ownText) {
        // Show the bound action's shortcut without owning it: two enabled
        // actions with one shortcut would make it ambiguous.
        if (!ownShortcut && !bound->shortcut().isEmpty())
          text += QLatin1Char('\t') + bound->shortcut().toString(QKeySequence::NativeText);
      }
      if (!ownText || item->text().isEmpty()) item->setText(text);
      item->setIcon(bound->icon());
      item->setToolTip(bound->toolTip());
      item->setStatusTip(bound->statusTip());
      item->setEnabled(bound->isEnabled());
      item->setCheckable(bound->isCheckable());
      item->setChecked(bound->isChecked());
    };
    mirror();
    connect(bound, &QAction::changed, item, mirror);
    connect(item, &QAction::triggered, bound, [bound, item] {
      // Qt toggled the item already; the bound action toggles itself, and
      // its change is mirrored back.
      if (bound->isCheckable()) item->setChecked(bound->isChecked());
      bound->trigger();
    });
  }
}

void TGUITestRunner::ConnectSignals() {
  auto on = [this](QAction* a, void (TGUITestRunner::*handler)(), const char* where) {
    connect(a, &QAction::triggered, this, [this, handler, where] { Guarded(where, [&] { (this->*handler)(); }); });
  };
  on(FUi->RunAction, &TGUITestRunner::OnRun, "RunAction");
  on(FUi->Alt_R_RunAction, &TGUITestRunner::OnRun, "RunAction");
  on(FUi->StopAction, &TGUITestRunner::OnStop, "StopAction");
  on(FUi->Alt_S_StopAction, &TGUITestRunner::OnStop, "StopAction");
  on(FUi->ExitAction, &TGUITestRunner::OnExit, "ExitAction");
  on(FUi->SelectAllAction, &TGUITestRunner::OnSelectAll, "SelectAllAction");
  on(FUi->DeselectAllAction, &TGUITestRunner::OnDeselectAll, "DeselectAllAction");
  on(FUi->SelectFailedAction, &TGUITestRunner::OnSelectFailed, "SelectFailedAction");
  on(FUi->SelectCurrentAction, &TGUITestRunner::OnSelectCurrent, "SelectCurrentAction");
  on(FUi->DeselectCurrentAction, &TGUITestRunner::OnDeselectCurrent, "DeselectCurrentAction");
  on(FUi->HideTestNodesAction, &TGUITestRunner::OnHideTestNodes, "HideTestNodesAction");
  on(FUi->ExpandAllNodesAction, &TGUITestRunner::OnExpandAllNodes, "ExpandAllNodesAction");
  on(FUi->CopyProcnameToClipboardAction, &TGUITestRunner::OnCopyProcname, "CopyProcnameToClipboardAction");
  on(FUi->CopyMessageToClipboardAction, &TGUITestRunner::OnCopyMessage, "CopyMessageToClipboardAction");
  on(FUi->RunSelectedTestAction, &TGUITestRunner::OnRunSelectedTest, "RunSelectedTestAction");
  on(FUi->RunSelectedTestAltAction, &TGUITestRunner::OnRunSelectedTest, "RunSelectedTestAltAction");
  on(FUi->TestCasePropertiesAction, &TGUITestRunner::OnTestCaseProperties, "TestCasePropertiesAction");
  on(FUi->ErrorBoxVisibleAction, &TGUITestRunner::OnErrorBoxVisible, "ErrorBoxVisibleAction");
  on(FUi->FailTestCaseIfMemoryLeakedAction, &TGUITestRunner::OnFailTestCaseIfMemoryLeaked,
     "FailTestCaseIfMemoryLeakedAction");
  on(FUi->AutoSaveAction, &TGUITestRunner::OnAutoSave, "AutoSaveAction");
  on(FUi->SaveConfigurationAction, &TGUITestRunner::SaveConfiguration, "SaveConfigurationAction");
  on(FUi->RestoreSavedAction, &TGUITestRunner::LoadConfiguration, "RestoreSavedAction");
  connect(FUi->GoToNextSelectedTestAction, &QAction::triggered, this,
          [this] { Guarded("GoToNextSelectedTestAction", [&] { OnGoToSelectedTest(true); }); });
  connect(FUi->GoToPrevSelectedTestAction, &QAction::triggered, this,
          [this] { Guarded("GoToPrevSelectedTestAction", [&] { OnGoToSelectedTest(false); }); });

  connect(FUi->TestTree, &QTreeWidget::currentItemChanged, this,
          [this] { Guarded("TestTree", [&] { OnTreeChange(); }); });
  connect(FUi->TestTree, &QTreeWidget::itemClicked, this, [this] { Guarded("TestTree", [&] { OnTreeClick(); }); });
  connect(FUi->TestTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    UpdateActions();
    FUi->pmTestTree->popup(FUi->TestTree->viewport()->mapToGlobal(p));
  });
  connect(FUi->ErrorMessageRTF, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    UpdateActions();
    FUi->ErrorMessagePopup->popup(FUi->ErrorMessageRTF->mapToGlobal(p));
  });
  connect(FUi->FailureListView, &QTreeWidget::itemSelectionChanged, this,
          [this] { Guarded("FailureListView", [&] { OnFailureSelectionChanged(); }); });
  for (QMenu* m : {FUi->FileMenu, FUi->TestTreeMenu, FUi->ViewMenu, FUi->ActionsMenu, FUi->pmTestTree,
                   FUi->ErrorMessagePopup})
    connect(m, &QMenu::aboutToShow, this, &TGUITestRunner::UpdateActions);
  FUi->TestTree->viewport()->installEventFilter(this);
  FUi->TestTree->installEventFilter(this);
}

QAction* TGUITestRunner::Action(const char* name) const { return findChild<QAction*>(QString::fromLatin1(name)); }
const std::vector<QIcon>& TGUITestRunner::RunImages() const { return FImages->Run; }
const std::vector<QIcon>& TGUITestRunner::StateImages() const { return FImages->State; }
const std::vector<QIcon>& TGUITestRunner::ActionsImages() const { return FImages->Actions; }
QColor TGUITestRunner::ScoreBarColor() const { return FImages->ScoreColor; }
QMenu* TGUITestRunner::PropertiesMenu() const { return FUi->TestCaseProperty; }

void TGUITestRunner::HandleException(const char* where) {
  const auto info = TestFramework::DescribeCurrentException();
  if (auto* app = Forms::TApplication::Instance(); app && app->OnException) {
    app->OnException(info.ClassName, info.Message);
    return;
  }
  std::fprintf(stderr, "Tessel: %s: %s: %s\n", where, info.ClassName.c_str(), info.Message.c_str());
}

// ---- display ---------------------------------------------------------------

void TGUITestRunner::Setup() {
  FUi->FailureListView->clear();
  FUi->ResultsView->clear();
  auto* stats = new QTreeWidgetItem(FUi->ResultsView);
  for (int c = colTests; c <= colTotalTime; ++c) stats->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  ResetProgress();
  Repaint(this);
  if (FSuite) {
    const int count = FSuite->CountEnabledTestCases();
    stats->setText(colTests, QString::number(count));
    FScoreMax = count;
  } else {
    FScoreMax = 10000;
  }
  SetBarMaximum(FUi->ProgressBar, FScoreMax);
  SetBarMaximum(FUi->ScoreBar, FScoreMax);
  std::fill(FRunImage.begin(), FRunImage.end(), static_cast<uint8_t>(imgNone));
  FUi->TestTree->viewport()->update();
  UpdateTestTreeState();
}

void TGUITestRunner::SetBarMaximum(QProgressBar* bar, int maximum) {
  // A range of 0..0 shows a busy animation; the label still uses FScoreMax.
  bar->setRange(0, maximum > 0 ? maximum : 1);
}

void TGUITestRunner::ResetProgress() {
  SetScoreBarColor(QColor());
  FUi->ScoreBar->setValue(0);
  FUi->ProgressBar->setValue(0);
  FUi->LbProgress->setText(QString());
}

void TGUITestRunner::SetScoreBarColor(const QColor& color) {
  FImages->ScoreColor = color;
  QPalette palette = FUi->ScoreBar->parentWidget()->palette();
  if (color.isValid()) palette.setColor(QPalette::Highlight, color);
  FUi->ScoreBar->setPalette(palette);
}

void TGUITestRunner::EnableUI(bool enable) {
  for (QAction* a : {FUi->SelectAllAction, FUi->DeselectAllAction, FUi->SelectFailedAction, FUi->SelectCurrentAction,
                     FUi->DeselectCurrentAction, FUi->HideTestNodesAction, FUi->ExpandAllNodesAction})
    a->setEnabled(enable);
}

void TGUITestRunner::UpdateActions() {
  const bool idle = !FRunning;
  const bool canRun = idle && FSuite && FSuite->CountEnabledTestCases() > 0;
  FUi->RunAction->setEnabled(canRun);
  FUi->Alt_R_RunAction->setEnabled(canRun);
  const bool canStop = FRunning && FTestResult != nullptr;
  FUi->StopAction->setEnabled(canStop);
  FUi->Alt_S_StopAction->setEnabled(canStop);
  QTreeWidgetItem* failure = FUi->FailureListView->currentItem();
  FUi->CopyMessageToClipboardAction->setEnabled(failure && failure->isSelected());
  const ITestPtr test = SelectedTest();
  const bool isMethod = test && IsTestMethod(test);
  FUi->CopyProcnameToClipboardAction->setEnabled(isMethod);
  FUi->TestCasePropertiesAction->setEnabled(isMethod);
  // Not during a run: its Setup would wipe the running run's display.
  FUi->RunSelectedTestAction->setEnabled(idle && test && test->CountTestCases() == 1);
  FUi->RunSelectedTestAltAction->setEnabled(idle && test && test->CountTestCases() == 1);
}

void TGUITestRunner::Repaint(QWidget* widget) {
  if (widget->isVisible()) widget->repaint();
}

void TGUITestRunner::ProcessEvents() {
  // Straight to Qt: a pending exception of a test's own event handler stays
  // pending for that test instead of surfacing in the window's listener.
  const int64_t now = NowMs();
  if (FLastEvents != 0 && FRunning) FLongestEventGap = std::max(FLongestEventGap, now - FLastEvents);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  FLastEvents = NowMs();
}

bool TGUITestRunner::RefreshDue() const {
  return FForceRefresh || FTimerExpired || NowMs() - FLastEvents >= 200;
}

// During a run the display is redrawn, and events are processed, when the
// 200 ms timer has fired, at the start and at the end of the run; a clock
// check stands in for the timer, which fires only while events are
// processed. Redrawing after every 16th test, or at the end of every suite,
// would cost many times more than the tests themselves in a large tree.
void TGUITestRunner::UpdateStatus(bool fullUpdate) {
  if (FUi->ResultsView->topLevelItemCount() == 0) return;
  QTreeWidgetItem* stats = FUi->ResultsView->topLevelItem(0);
  if (fullUpdate) {
    // Enabled states cannot change during a run: counted once per run.
    if (!FRunning || !FCountKnown) FTotalTestsCount = FSuite ? FSuite->CountEnabledTestCases() : 0;
    FCountKnown = FRunning;
    const QString tests = FSuite ? QString::number(FTotalTestsCount) : QString();
    if (stats->text(colTests) != tests) stats->setText(colTests, tests);
  }
  if (FTestResult) {
    if (!RefreshDue()) return;
    const int run = FTestResult->RunCount();
    const int failures = FTestResult->FailureCount(), errors = FTestResult->ErrorCount();
    stats->setText(colRun, QString::number(run));
    stats->setText(colFailures, QString::number(failures));
    stats->setText(colErrors, QString::number(errors));
    stats->setText(colOverrides, QString::number(FTestResult->OverRides()));
    stats->setText(colTestTime, ToQ(FormatElapsed(FTestResult->TotalTime())));
    stats->setText(colTotalTime, ToQ(FormatElapsed(std::max<int64_t>(FTestResult->TotalTime(), FTotalTime))));
    // A test with a body failure and a tear-down error counts twice; the
    // bar never goes below empty.
    const int score = std::max(0, run - failures - errors);
    FUi->ScoreBar->setValue(std::min(score, FUi->ScoreBar->maximum()));
    FUi->ProgressBar->setValue(std::min(run, FUi->ProgressBar->maximum()));
    QString label;
    if (run == 0 && FSuite && FSuite->CountEnabledTestCases() == 0)
      label = QStringLiteral("100%");
    else
      label = QString::number(FScoreMax > 0 ? static_cast<int64_t>(score) * 100 / FScoreMax : 100) + QLatin1Char('%');
    FUi->LbProgress->setText(label);
    if (FTimerExpired && run < FTotalTestsCount) {
      FTimerExpired = false;
      FUpdateTimer->start();
    }
    ShowStartedNodes();
    FUi->TestTree->viewport()->update();
    Repaint(FUi->ResultsPanel);
    ProcessEvents();
    return;
  }
  const QString tests = stats->text(colTests);
  if (tests.isEmpty() || tests == QLatin1String("0") || tests != stats->text(colRun)) {
    for (int c = colRun; c <= colTotalTime; ++c) stats->setText(c, QString());
  } else if (const ITestPtr test = SelectedTest()) {
    const int64_t elapsed = test->ElapsedTestTime();
    stats->setText(colTestTime, ToQ(FormatElapsed(elapsed)));
    stats->setText(colTotalTime, ToQ(FormatElapsed(std::max<int64_t>(elapsed, FTotalTime))));
  }
  ResetProgress();
  if (fullUpdate) {
    Repaint(this);
    ProcessEvents();
  }
}

// ---- the message box -------------------------------------------------------

void TGUITestRunner::ClearStatusMessage() {
  if (!FUi->ErrorMessageRTF->document()->isEmpty()) FUi->ErrorMessageRTF->clear();
}

// Text goes in only as plain text with explicit attributes: a message such
// as "expected: <b>3</b>" must show its tags, not bold text.
void TGUITestRunner::AppendLine(const std::string& text, bool bold) {
  QTextCursor cursor(FUi->ErrorMessageRTF->document());
  cursor.movePosition(QTextCursor::End);
  if (!FUi->ErrorMessageRTF->document()->isEmpty()) cursor.insertBlock();
  QTextCharFormat format;
  format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
  cursor.insertText(ToQ(text), format);
}

void TGUITestRunner::DisplayFailureMessage(int row) {
  QTreeWidgetItem* item = FUi->FailureListView->topLevelItem(row);
  if (!item) return;
  const int nodeIndex = item->data(0, kFailureNodeRole).toInt();
  if (nodeIndex >= 0 && nodeIndex < static_cast<int>(FNodes.size())) {
    FSyncingSelection = true;
    SelectNode(FNodes[static_cast<std::size_t>(nodeIndex)]);
    FSyncingSelection = false;
  }
  QTextEdit* box = FUi->ErrorMessageRTF;
  box->clear();
  QTextCursor cursor(box->document());
  const double baseSize = font().pointSizeF() > 0 ? font().pointSizeF() : 9;
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  bold.setFontPointSize(baseSize);
  QTextCharFormat plain;
  plain.setFontWeight(QFont::Normal);
  plain.setFontPointSize(baseSize);
  plain.setForeground(palette().color(QPalette::Text));
  cursor.insertText(item->text(0) + QStringLiteral(": "), bold);
  QTextCharFormat kind = bold;
  kind.setForeground(item->data(0, kImageRole).toInt() < imgError ? kFuchsia : kRed);
  cursor.insertText(item->text(1), kind);
  cursor.insertBlock();
  cursor.insertText(QStringLiteral("at ") + item->text(3), plain);
  if (!item->text(2).isEmpty()) {
    cursor.insertBlock();
    QTextCharFormat large = plain;
    large.setFontPointSize(12);
    cursor.insertText(item->text(2), large);
  }
  const ITestPtr test = SelectedTest();
  const std::string status = test ? test->GetStatus() : std::string();
  if (!status.empty()) {
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.insertText(QStringLiteral("Status Messages"), bold);
    cursor.insertBlock();
    cursor.insertText(ToQ(status), plain);
  }
  const QString trace = item->data(0, kStackTraceRole).toString();
  if (!trace.isEmpty()) {
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.insertBlock(QTextBlockFormat(), plain);
    cursor.insertText(QStringLiteral("StackTrace"), bold);
    cursor.insertBlock();
    cursor.insertText(trace, plain);
  }
}

void TGUITestRunner::AddFailureItem(TTestFailure& failure, int image) {
  auto* item = new QTreeWidgetItem;
  const ITestPtr test = failure.FailedTest();
  item->setText(0, ToQ(test ? test->GetName() : std::string()));
  item->setText(1, ToQ(failure.ThrownExceptionName()));
  item->setText(2, ToQ(failure.ThrownExceptionMessage()));
  item->setText(3, ToQ(failure.LocationInfo() + " " + failure.AddressInfo()));
  item->setData(0, kStackTraceRole, ToQ(failure.StackTrace()));
  item->setData(0, kImageRole, image);
  item->setIcon(0, FImages->Run[static_cast<std::size_t>(image)]);
  QTreeWidgetItem* node = NodeOf(test);
  item->setData(0, kFailureNodeRole, node ? node->data(0, kIndexRole).toInt() : -1);
  FUi->FailureListView->addTopLevelItem(item);
  for (QTreeWidgetItem* n = node; n; n = n->parent()) n->setExpanded(true);
}

// ---- listener --------------------------------------------------------------

void TGUITestRunner::TestingStarts() {
  FTotalTime = 0;
  FLongestEventGap = 0;
  FLastEvents = 0;
  FCountKnown = false;
  FForceRefresh = true;
  UpdateStatus(true);
  FForceRefresh = false;
  SetScoreBarColor(kGreen);
  // Started here, not only once it has fired: otherwise it never starts and
  // a run of slow tests is redrawn only when a suite ends.
  FTimerExpired = false;
  FUpdateTimer->start();
}

void TGUITestRunner::StartSuite(const ITestPtr&) {}

void TGUITestRunner::StartTest(const ITestPtr& test) {
  QTreeWidgetItem* node = NodeOf(test);
  if (node) SetTreeNodeImage(node, imgRunning);
  // Remembered now, brought into view at the next redraw: scrolling the tree
  // for every test would cost more than the tests themselves, and a test
  // that starts between two redraws must still end up shown.
  if (node && FUi->ShowTestedNodeAction->isChecked()) {
    if (FStartedNodes.empty() || FStartedNodes.back()->parent() != node->parent()) FStartedNodes.push_back(node);
    FLastStarted = node;
  }
  ClearStatusMessage();
  UpdateStatus(false);
}

void TGUITestRunner::ShowStartedNodes() {
  if (!FLastStarted) return;
  for (QTreeWidgetItem* node : FStartedNodes)
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
      if (!p->isExpanded()) p->setExpanded(true);
  FStartedNodes.clear();
  FUi->TestTree->scrollToItem(FLastStarted);
  FLastStarted = nullptr;
}

void TGUITestRunner::AddSuccess(const ITestPtr& test) {
  QTreeWidgetItem* node = NodeOf(test);
  if (!IsTestMethod(test)) {
    if (!node) return;
    // A suite's outcome is that of the tests below it, which have raised its
    // image already. One that still shows the running image ran none of
    // them (all unticked, or a run cut short): it must not look passed.
    const auto i = static_cast<std::size_t>(node->data(0, kIndexRole).toInt());
    if (node->childCount() > 0 && FRunImage[i] <= imgRunning)
      FRunImage[i] = imgNone;
    else
      SetTreeNodeImage(node, imgRun);
    return;
  }
  const bool failIfNoChecks = FUi->FailIfNoChecksExecutedAction->isChecked();
  const bool failIfLeaked = FUi->FailTestCaseIfMemoryLeakedAction->isChecked();
  const bool ignoreSetUpLeaks = FUi->IgnoreMemoryLeakInSetUpTearDownAction->isChecked();
  const bool overridden = (failIfNoChecks && !test->GetFailsOnNoChecksExecuted()) ||
                          (failIfLeaked && !test->GetFailsOnMemoryLeak()) ||
                          (failIfLeaked && test->GetIgnoreSetUpTearDownLeaks() && !ignoreSetUpLeaks);
  const bool hasRunTimeProperties = (test->GetFailsOnNoChecksExecuted() && !failIfNoChecks) ||
                                    (test->GetFailsOnMemoryLeak() && !failIfLeaked) ||
                                    (failIfLeaked && test->GetIgnoreSetUpTearDownLeaks()) ||
                                    test->GetAllowedMemoryLeakSize() != 0;
  if (overridden && FTestResult) FTestResult->SetOverRides(FTestResult->OverRides() + 1);
  const bool flagged = (FUi->WarnOnFailTestOverrideAction->isChecked() && overridden) ||
                       (FUi->ShowTestCasesWithRunTimePropertiesAction->isChecked() && hasRunTimeProperties);
  if (node) SetTreeNodeImage(node, flagged ? imgHasProps : imgRun);
}

void TGUITestRunner::AddFailure(TTestFailure& failure) {
  AddFailureItem(failure, imgFailed);
  if (FTestResult && FTestResult->ErrorCount() == 0) SetScoreBarColor(kFuchsia);
  if (QTreeWidgetItem* node = NodeOf(failure.FailedTest())) SetTreeNodeImage(node, imgFailed);
  UpdateStatus(false);
}

void TGUITestRunner::AddError(TTestFailure& failure) {
  AddFailureItem(failure, imgError);
  SetScoreBarColor(kRed);
  if (QTreeWidgetItem* node = NodeOf(failure.FailedTest())) SetTreeNodeImage(node, imgError);
  UpdateStatus(false);
}

void TGUITestRunner::EndTest(const ITestPtr&) { UpdateStatus(false); }
void TGUITestRunner::EndSuite(const ITestPtr& suite) {
  // The end of the whole run is always shown in full.
  FForceRefresh = FTestResult && suite == FTestResult->RootTest();
  UpdateStatus(true);
  FForceRefresh = false;
}
void TGUITestRunner::TestingEnds(TTestResult& testResult) { FTotalTime = testResult.TotalTime(); }

bool TGUITestRunner::ShouldRunTest(const ITestPtr& test) {
  if (FSelectedTests) {
    for (const ITestPtr& t : *FSelectedTests)
      if (t == test) return true;
    return false;
  }
  return test->GetEnabled();
}

void TGUITestRunner::Status(const ITestPtr& test, const std::string& message) {
  if (FUi->ErrorMessageRTF->document()->isEmpty()) AppendLine((test ? test->GetName() : std::string()) + ":");
  AppendLine(message);
  Repaint(FUi->ErrorMessageRTF);
}

void TGUITestRunner::Warning(const ITestPtr& test, const std::string& message) { Status(test, message); }

// ---- running ---------------------------------------------------------------

void TGUITestRunner::RunTheTest(const ITestPtr& test) {
  if (!test) return;
  if (FRunning) {
    // Starting a run while one goes on only stops it.
    if (FTestResult) FTestResult->Stop();
    return;
  }
  FRunning = true;
  FUi->RunAction->setEnabled(false);
  FUi->Alt_R_RunAction->setEnabled(false);
  FUi->CopyMessageToClipboardAction->setEnabled(false);
  EnableUI(false);
  try {
    AutoSaveConfiguration();
  } catch (...) {
    HandleException("saving the configuration before the run");  // the run goes on
  }
  FTestResult.reset();
  ClearStatusMessage();
  FStartedNodes.clear();
  FLastStarted = nullptr;
  FTestResult = std::make_unique<TTestResult>();
  // A test that crashes or calls exit still gets its record and its end.
  std::optional<TesselCrashGuard::TCrashGuard> guard(std::in_place, *FTestResult);
  FTestResult->AddListener(std::make_shared<TListenerProxy>(this));
  guard->Seal();
  FTestResult->BreakOnFailures = FUi->BreakOnFailuresAction->isChecked();
  FTestResult->FailsIfNoChecksExecuted = FUi->FailIfNoChecksExecutedAction->isChecked();
  FTestResult->FailsIfMemoryLeaked = FUi->FailTestCaseIfMemoryLeakedAction->isChecked();
  FTestResult->IgnoresMemoryLeakInSetUpTearDown = FUi->IgnoreMemoryLeakInSetUpTearDownAction->isChecked();
  UpdateActions();
  std::exception_ptr raised;
  try {
    test->Run(*FTestResult);
  } catch (...) {
    raised = std::current_exception();
  }
  guard.reset();
  FErrorCount = FTestResult->ErrorCount();
  FFailureCount = FTestResult->FailureCount();
  // The counters of the finished run, however quickly or however it ended:
  // they are otherwise redrawn only when the redraw interval is due.
  FForceRefresh = true;
  UpdateStatus(true);
  FForceRefresh = false;
  ShowStartedNodes();  // a run that raised skipped its last redraw
  FTestResult.reset();
  FRunning = false;
  FUpdateTimer->stop();
  FTimerExpired = false;
  EnableUI(true);
  UpdateActions();
  if (raised) std::rethrow_exception(raised);
}

void TGUITestRunner::OnRun() {
  if (!FSuite) return;
  Setup();
  RunTheTest(FSuite);
}

void TGUITestRunner::OnStop() {
  if (FTestResult) FTestResult->Stop();
}

void TGUITestRunner::OnExit() {
  if (FTestResult) FTestResult->Stop();
  FModalResult = mrCancel;
  close();
}

void TGUITestRunner::OnRunSelectedTest() {
  QTreeWidgetItem* node = SelectedNode();
  if (!node || FRunning) return;
  Setup();
  FSelectedTests = std::make_unique<std::vector<ITestPtr>>();
  for (QTreeWidgetItem* n = node->parent(); n; n = n->parent())
    if (const ITestPtr t = TestOf(n)) FSelectedTests->push_back(t);
  // The selected node and everything it holds: a suite of one test runs
  // that test, not only its own set-up and tear-down.
  std::vector<ITestPtr> pending;
  if (const ITestPtr t = TestOf(node)) pending.push_back(t);
  while (!pending.empty()) {
    ITestPtr t = std::move(pending.back());
    pending.pop_back();
    for (const ITestPtr& child : t->Tests()) pending.push_back(child);
    FSelectedTests->push_back(std::move(t));
  }
  FScoreMax = 1;
  SetBarMaximum(FUi->ProgressBar, 1);
  SetBarMaximum(FUi->ScoreBar, 1);
  struct TClear {
    std::unique_ptr<std::vector<ITestPtr>>& P;
    ~TClear() { P.reset(); }
  } clear{FSelectedTests};
  RunTheTest(FSuite);
}

int TGUITestRunner::ShowModal() {
  FModalResult = mrNone;
  setWindowModality(Qt::ApplicationModal);
  show();
  QEventLoop loop;
  FImages->ModalLoop = &loop;
  if (isVisible()) loop.exec();
  FImages->ModalLoop = nullptr;
  setWindowModality(Qt::NonModal);
  return FModalResult;
}

void TGUITestRunner::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!FPanelsShown) {
    FPanelsShown = true;
    ApplyPanelHeights();
  }
}

void TGUITestRunner::closeEvent(QCloseEvent* event) {
  // A hidden window must not go on running tests.
  if (FTestResult) FTestResult->Stop();
  if (FModalResult == mrNone) FModalResult = mrCancel;
  if (FImages->ModalLoop) FImages->ModalLoop->quit();
  event->accept();
}

void TGUITestRunner::OnCopyMessage() {
  FUi->ErrorMessageRTF->selectAll();
  FUi->ErrorMessageRTF->copy();
}

void TGUITestRunner::OnErrorBoxVisible() {
  const bool visible = FUi->ErrorBoxVisibleAction->isChecked();
  FUi->ErrorBoxPanel->setVisible(visible);  // the splitter handle goes with it
  Repaint(this);
}

void TGUITestRunner::OnFailTestCaseIfMemoryLeaked() {
  const bool on = FUi->FailTestCaseIfMemoryLeakedAction->isChecked();
  FUi->IgnoreMemoryLeakInSetUpTearDownAction->setEnabled(on);
  if (!on) FUi->IgnoreMemoryLeakInSetUpTearDownAction->setChecked(false);
}

void TGUITestRunner::OnAutoSave() {
  if (FUi->AutoSaveAction->isChecked()) SaveConfiguration();
}

QRect TGUITestRunner::StateImageRect(QTreeWidgetItem* node) const {
  QTreeWidget* tree = FUi->TestTree;
  if (!node || node->treeWidget() != tree) return {};
  QStyleOptionViewItem option;
  option.initFrom(tree);
  const QModelIndex index = tree->indexFromItem(node);
  option.rect = tree->visualRect(index);
  FImages->Delegate->initStyleOption(&option, index);
  return tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
}

}  // namespace GUITestRunner
