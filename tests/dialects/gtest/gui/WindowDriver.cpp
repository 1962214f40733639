// Drives Tessel's window from inside a program started with --runner=gui,
// as a person would: once the window is up it presses Run, selects the
// first failure, then writes what the window shows (the tree with its check
// boxes, the failure list, the error box) to a text file and the window to
// a PNG; last it ticks the disabled test, saves and reads the configuration
// again, and closes the window.
//
// The paths come from TESSEL_WINDOW_SEEN (the text) and TESSEL_WINDOW_PNG.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "gui/GUITestRunner.h"

namespace {

std::string Text(const QString& s) { return s.toStdString(); }

void Walk(std::ofstream& out, QTreeWidgetItem* node, const std::string& path) {
  const std::string here = path.empty() ? Text(node->text(0)) : path + " > " + Text(node->text(0));
  // The check box is the node's state image, drawn by the tree's delegate.
  const int state = GUITestRunner::TGUITestRunner::StateImageOf(node);
  out << "node\t" << here << '\t' << (state == GUITestRunner::stEnabled ? "ticked" : "unticked") << '\n';
  for (int i = 0; i < node->childCount(); ++i) Walk(out, node->child(i), here);
}

// Multi-line texts are kept on one line, their breaks written as \n.
std::string OneLine(const QString& s) {
  std::string out;
  for (char c : Text(s)) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

void Drive() {
  GUITestRunner::TGUITestRunner* window = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* runner = qobject_cast<GUITestRunner::TGUITestRunner*>(w); runner && runner->isVisible()) window = runner;
  if (!window) {
    QTimer::singleShot(20, &Drive);
    return;
  }
  window->resize(900, 860);
  window->Action("RunAction")->trigger();
  while (window->Running()) QCoreApplication::processEvents();
  auto* failures = window->findChild<QTreeWidget*>(QStringLiteral("FailureListView"));
  if (failures->topLevelItemCount() > 0) failures->setCurrentItem(failures->topLevelItem(0));
  QCoreApplication::processEvents();

  std::ofstream out(std::getenv("TESSEL_WINDOW_SEEN"));
  auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("TestTree"));
  for (int i = 0; i < tree->topLevelItemCount(); ++i) Walk(out, tree->topLevelItem(i), "");
  for (int i = 0; i < failures->topLevelItemCount(); ++i) {
    QTreeWidgetItem* f = failures->topLevelItem(i);
    out << "failure\t" << Text(f->text(0)) << '\t' << Text(f->text(1)) << '\t' << OneLine(f->text(2)) << '\t'
        << Text(f->text(3).trimmed()) << '\n';
  }
  out << "errorbox\t" << OneLine(window->findChild<QTextEdit*>(QStringLiteral("ErrorMessageRTF"))->toPlainText())
      << '\n';
  out << "counts\t" << window->FailureCount() << '\t' << window->ErrorCount() << '\n';
  out << "picture\t" << (window->grab().save(QString::fromLocal8Bit(std::getenv("TESSEL_WINDOW_PNG"))) ? "saved" : "not saved")
      << '\n';

  // A DISABLED_ test the user ticks stays ticked when the window reads its
  // configuration again, though it starts unticked.
  QTreeWidgetItem* disabled = nullptr;
  for (QTreeWidgetItem* at = tree->topLevelItemCount() ? tree->topLevelItem(0) : nullptr; at && !disabled;
       at = tree->itemBelow(at))
    if (at->text(0).startsWith(QStringLiteral("DISABLED_"))) disabled = at;
  if (disabled) {
    window->SetNodeState(disabled, true);
    window->SaveConfiguration();
    window->TestOf(disabled)->SetEnabled(false);
    window->LoadSuiteConfiguration();
    out << "reloaded\t" << Text(disabled->text(0)) << '\t'
        << (window->TestOf(disabled)->GetEnabled() ? "ticked" : "unticked") << '\n';
  }
  out.close();
  window->Action("AutoSaveAction")->setChecked(false);
  window->close();
}

// Runs once the program's QApplication exists, which the windowed runner
// makes before its window: the window then reads a configuration of its own,
// so no tick or size from an earlier run carries over.
void Start() {
  const char* seen = std::getenv("TESSEL_WINDOW_SEEN");
  if (!seen || !std::getenv("TESSEL_WINDOW_PNG")) return;
  const std::string config = std::string(seen) + ".ini";
  std::remove(config.c_str());
  GUITestRunner::TGUITestRunner::ConfigFileOverride() = config;
  QTimer::singleShot(0, &Drive);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
