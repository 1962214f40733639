// The window's own settings in section "GUITestRunner Config": placement,
// panel heights, column widths and option switches, in the INI file beside
// the program or, with UseRegistry on, in the per-user registry store. The
// registry switch itself always stays in the INI file.
#include <sys/stat.h>

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QWindow>
#include <QSplitter>
#include <QStatusBar>
#include <algorithm>
#include <cstdio>
#include <functional>

#include "gui/GUITestRunner.h"
#include "platform/IniFiles.h"
#include "platform/Paths.h"
#include "platform/qt/QtText.h"
#include "ui_GUITestRunner.h"

namespace GUITestRunner {
namespace {

const std::string kSection = "GUITestRunner Config";

// Placement values a store can hold but no screen can show are ignored, so a
// damaged file cannot open the window off in the void or zero-sized.
constexpr int kMaxCoordinate = 100000;
bool Plausible(int v, int lo, int hi) { return v >= lo && v <= hi; }

struct TOption {
  const char* Key;
  const char* Action;
};
// Loading order; saving puts SelectTestedNode before WarnOnFailTestOverride.
const TOption kOptions[] = {
    {"HideTestNodesOnOpen", "HideTestNodesOnOpenAction"},
    {"BreakOnFailures", "BreakOnFailuresAction"},
    {"FailOnNoChecksExecuted", "FailIfNoChecksExecutedAction"},
    {"FailOnMemoryLeaked", "FailTestCaseIfMemoryLeakedAction"},
    {"IgnoreSetUpTearDownLeaks", "IgnoreMemoryLeakInSetUpTearDownAction"},
    {"ReportMemoryLeakTypes", "ReportMemoryLeakTypeOnShutdownAction"},
    {"WarnOnFailTestOverride", "WarnOnFailTestOverrideAction"},
    {"SelectTestedNode", "ShowTestedNodeAction"},
};
const int kSaveOrder[] = {0, 1, 2, 3, 4, 5, 7, 6};

std::string ColumnKey(int i) { return "FailureList.ColumnWidth[" + std::to_string(i) + "]"; }

// A saved placement fitted to the screens there are now, as a window manager
// would: on the screen it overlaps most (or the primary one), no larger than
// its free area and inside it. A window of 50000 by 50000 pixels cannot even
// be painted, and one left on a screen since unplugged cannot be reached.
// The frame, once the window has one, is fitted too.
QRect FitToScreens(const QRect& wanted, const QMargins& frame) {
  QScreen* best = QGuiApplication::primaryScreen();
  qint64 bestArea = 0;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect common = screen->availableGeometry().intersected(wanted);
    const qint64 area = qint64{common.width()} * common.height();
    if (area > bestArea) {
      best = screen;
      bestArea = area;
    }
  }
  if (!best) return wanted;
  const QRect free = best->availableGeometry().marginsRemoved(frame);
  const QSize size = wanted.size().boundedTo(free.size());
  const int left = std::clamp(wanted.left(), free.left(), free.left() + free.width() - size.width());
  const int top = std::clamp(wanted.top(), free.top(), free.top() + free.height() - size.height());
  return QRect(QPoint(left, top), size);
}

}  // namespace

std::string& TGUITestRunner::ConfigFileOverride() {
  static std::string fileName;
  return fileName;
}

std::string TGUITestRunner::IniFileName() const {
  return ConfigFileOverride().empty() ? Platform::ProgramDir() + "tessel.ini" : ConfigFileOverride();
}

std::unique_ptr<TestFramework::TCustomIniFile> TGUITestRunner::GetIniFile(const std::string& fileName) const {
  return TestFramework::OpenConfigStore(fileName, FUi->UseRegistryAction->isChecked(), false);
}

void TGUITestRunner::LoadRegistryAction() {
  Platform::TIniFile ini(IniFileName());
  FUi->UseRegistryAction->setChecked(ini.ReadBool(kSection, "UseRegistry", FUi->UseRegistryAction->isChecked()));
}

void TGUITestRunner::SaveRegistryAction() {
  Platform::TIniFile ini(IniFileName());
  ini.WriteBool(kSection, "UseRegistry", FUi->UseRegistryAction->isChecked());
}

void TGUITestRunner::LoadFormPlacement() {
  auto store = GetIniFile(IniFileName());
  const QPoint p = pos();
  const QSize s = size();
  const int left = store->ReadInteger(kSection, "Left", p.x());
  const int top = store->ReadInteger(kSection, "Top", p.y());
  const int width = store->ReadInteger(kSection, "Width", s.width());
  const int height = store->ReadInteger(kSection, "Height", s.height());
  QRect placement(p, s);
  if (Plausible(left, -kMaxCoordinate, kMaxCoordinate) && Plausible(top, -kMaxCoordinate, kMaxCoordinate))
    placement.moveTo(left, top);
  if (Plausible(width, 100, kMaxCoordinate) && Plausible(height, 100, kMaxCoordinate)) placement.setSize({width, height});
  placement = FitToScreens(placement, windowHandle() ? windowHandle()->frameMargins() : QMargins());
  move(placement.topLeft());
  resize(placement.size());
  if (store->ReadBool(kSection, "Maximized", false)) setWindowState(windowState() | Qt::WindowMaximized);
}

void TGUITestRunner::SaveFormPlacement() {
  auto store = GetIniFile(IniFileName());
  store->WriteBool(kSection, "AutoSave", FUi->AutoSaveAction->isChecked());
  if (!isMaximized()) {
    store->WriteInteger(kSection, "Left", pos().x());
    store->WriteInteger(kSection, "Top", pos().y());
    store->WriteInteger(kSection, "Width", width());
    store->WriteInteger(kSection, "Height", height());
  }
  store->WriteBool(kSection, "Maximized", isMaximized());
  store->UpdateFile();
}

void TGUITestRunner::LoadSuiteConfiguration() {
  if (FSuite) FSuite->LoadConfiguration(IniFileName(), FUi->UseRegistryAction->isChecked(), true);
  FStoredStates = 0;  // known again once the tree is built (RememberStoredStates)
}

void TGUITestRunner::RememberStoredStates() {
  FStoredStates = FSuite ? StoredStatesKey() : 0;
}

// What the suite's stored states depend on: every test's enabled flag and
// run count, and the INI file as it stands on disk. Saving the same states
// into the same unchanged file again writes nothing new, and for a large
// tree costs as much as the run itself (the auto-save before every run).
// The registry store has no single time stamp, so it is always written.
uint64_t TGUITestRunner::StoredStatesKey() const {
  if (FUi->UseRegistryAction->isChecked()) return 0;
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](uint64_t v) {
    h ^= v;
    h *= 1099511628211ull;
  };
  for (const ITestPtr& t : FTests) {
    mix(t->GetEnabled() ? 1 : 2);
    mix(static_cast<uint32_t>(t->GetRunCount()));
  }
  const std::string file = IniFileName();
  mix(std::hash<std::string>{}(file));
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return 0;  // no file yet: write it
  mix(static_cast<uint64_t>(st.st_mtim.tv_sec));
  mix(static_cast<uint64_t>(st.st_mtim.tv_nsec));
  mix(static_cast<uint64_t>(st.st_size));
  mix(static_cast<uint64_t>(st.st_ino));
  return h == 0 ? 1 : h;
}

void TGUITestRunner::LoadConfiguration() {
  LoadRegistryAction();
  LoadFormPlacement();
  LoadSuiteConfiguration();
  auto store = GetIniFile(IniFileName());
  FUi->AutoSaveAction->setChecked(store->ReadBool(kSection, "AutoSave", FUi->AutoSaveAction->isChecked()));
  const int results = store->ReadInteger(kSection, "ResultsPanel.Height", ResultsPanelHeight());
  const int errors = store->ReadInteger(kSection, "ErrorMessage.Height", ErrorBoxHeight());
  SetPanelHeights(Plausible(results, 0, kMaxCoordinate) ? results : ResultsPanelHeight(),
                  Plausible(errors, 0, kMaxCoordinate) ? errors : ErrorBoxHeight());
  FUi->ErrorBoxVisibleAction->setChecked(
      store->ReadBool(kSection, "ErrorMessage.Visible", FUi->ErrorBoxVisibleAction->isChecked()));
  FUi->ErrorBoxPanel->setVisible(FUi->ErrorBoxVisibleAction->isChecked());
  QHeaderView* header = FUi->FailureListView->header();
  for (int i = 0; i < 4; ++i) {
    const int width = store->ReadInteger(kSection, ColumnKey(i), header->sectionSize(i));
    header->resizeSection(i, std::clamp(width, 4, kMaxCoordinate));
  }
  for (const TOption& o : kOptions) {
    QAction* a = Action(o.Action);
    a->setChecked(store->ReadBool(kSection, o.Key, a->isChecked()));
  }
  FPopupX = store->ReadInteger(kSection, "PopupX", 350);
  FPopupY = store->ReadInteger(kSection, "PopupY", 30);
  if (FSuite) {
    UpdateTestTreeState();
    RememberStoredStates();
  }
}

void TGUITestRunner::SaveConfiguration() {
  const bool useRegistry = FUi->UseRegistryAction->isChecked();
  // Tests whose names the file cannot hold lose their ticks, not everyone
  // else's: the rest is saved and the window says which ones, once.
  std::string notKept;
  bool suiteSaved = false;
  if (FSuite && (FStoredStates == 0 || StoredStatesKey() != FStoredStates)) {
    suiteSaved = true;
    try {
      FSuite->SaveConfiguration(IniFileName(), useRegistry, true);
    } catch (const Platform::EIniNamesNotKept& e) {
      notKept = e.what();
    }
  }
  FStoredStates = 0;
  SaveFormPlacement();
  if (useRegistry) std::remove(IniFileName().c_str());  // the INI keeps only the switch
  SaveRegistryAction();
  auto store = GetIniFile(IniFileName());
  store->WriteInteger(kSection, "ResultsPanel.Height", ResultsPanelHeight());
  store->WriteInteger(kSection, "ErrorMessage.Height", ErrorBoxHeight());
  store->WriteBool(kSection, "ErrorMessage.Visible", FUi->ErrorBoxVisibleAction->isChecked());
  QHeaderView* header = FUi->FailureListView->header();
  for (int i = 0; i < 4; ++i) store->WriteInteger(kSection, ColumnKey(i), header->sectionSize(i));
  for (int i : kSaveOrder) store->WriteBool(kSection, kOptions[i].Key, Action(kOptions[i].Action)->isChecked());
  store->WriteInteger(kSection, "PopupX", FPopupX);
  store->WriteInteger(kSection, "PopupY", FPopupY);
  store->UpdateFile();
  store.reset();
  RememberStoredStates();
  if (suiteSaved) ShowConfigurationNote(notKept);
}

// In the window's status line, wrapped to be read whole, where it stays
// until a save keeps everything.
void TGUITestRunner::ShowConfigurationNote(const std::string& note) {
  QLabel* label = findChild<QLabel*>(QStringLiteral("ConfigurationNote"));
  if (note.empty()) {
    if (label) statusBar()->hide();
    return;
  }
  if (!label) {
    label = new QLabel(statusBar());
    label->setObjectName(QStringLiteral("ConfigurationNote"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    statusBar()->addWidget(label, 1);
  }
  label->setText(QtText::ToQ(note));
  statusBar()->show();
}

void TGUITestRunner::AutoSaveConfiguration() {
  if (FUi->AutoSaveAction->isChecked()) SaveConfiguration();
}

// Heights are the panels' own (kept while a panel is hidden); before the
// window is first shown the splitters would redistribute them, so they wait.
int TGUITestRunner::ResultsPanelHeight() const {
  return FPanelsShown ? FUi->ResultsPanel->height() : FResultsPanelHeight;
}

int TGUITestRunner::ErrorBoxHeight() const { return FPanelsShown ? FUi->ErrorBoxPanel->height() : FErrorBoxHeight; }

void TGUITestRunner::SetPanelHeights(int results, int errors) {
  FResultsPanelHeight = results;
  FErrorBoxHeight = errors;
  if (FPanelsShown) ApplyPanelHeights();
}

void TGUITestRunner::ApplyPanelHeights() {
  const QMargins m = FUi->BodyPanel->contentsMargins();
  const int body = FUi->BodyPanel->height() - m.top() - m.bottom();
  FUi->BodyPanel->setSizes({std::max(1, body - FErrorBoxHeight), FErrorBoxHeight});
  const int top = std::max(1, body - FErrorBoxHeight - FUi->BodyPanel->handleWidth());
  FUi->TopPanel->setSizes({std::max(1, top - FResultsPanelHeight - FUi->TopPanel->handleWidth()), FResultsPanelHeight});
}

}  // namespace GUITestRunner
