// The tree of tests: nodes built from the suite, run images that rise to
// the ancestors, check boxes that follow the enabled flags, and the commands
// that tick, untick and move through the tree.
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include "gui/GUITestRunner.h"
#include "platform/qt/QtText.h"
#include "ui_GUITestRunner.h"

namespace GUITestRunner {

using namespace Detail;
using QtText::ToQ;
using TestFramework::IsTestMethod;

// ---- the suite and the tree -----------------------------------------------

void TGUITestRunner::SetSuite(ITestPtr value) {
  FSuite = std::move(value);
  if (FSuite) {
    bool loaded = false;
    try {
      LoadSuiteConfiguration();
      loaded = true;
    } catch (...) {
      HandleException("loading the tests' configuration");
    }
    EnableUI(true);
    InitTree();
    if (loaded) RememberStoredStates();
  } else {
    EnableUI(false);
    ClearTree();
  }
  UpdateActions();
}

void TGUITestRunner::ClearTree() {
  for (const ITestPtr& t : FTests)
    if (t->GetGUIObject() == static_cast<void*>(FNodes[static_cast<std::size_t>(&t - FTests.data())]))
      t->SetGUIObject(nullptr);
  {
    QSignalBlocker block(FUi->TestTree);
    FUi->TestTree->clear();
  }
  FTests.clear();
  FNodes.clear();
  FStartedNodes.clear();
  FLastStarted = nullptr;
  FIndexOf.clear();
  FRunImage.clear();
  FStateImage.clear();
}

void TGUITestRunner::FillTree() {
  ClearTree();
  if (!FSuite) return;
  // Built detached and inserted once: a model signal per node would make a
  // large tree slow to open.
  auto makeNode = [&](const ITestPtr& test, QTreeWidgetItem* parent) {
    auto* node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem;
    const int index = static_cast<int>(FTests.size());
    node->setText(0, ToQ(test->GetName()));
    node->setData(0, kIndexRole, index);
    FTests.push_back(test);
    FNodes.push_back(node);
    FIndexOf.emplace(test.get(), index);
    test->SetGUIObject(node);
    return node;
  };
  struct TFrame {
    QTreeWidgetItem* Node;
    const TestFramework::TInterfaceList* Children;
    std::size_t Next;
  };
  QTreeWidgetItem* root = makeNode(FSuite, nullptr);
  std::vector<TFrame> stack{{root, &FSuite->Tests(), 0}};
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (top.Next >= top.Children->size()) {
      stack.pop_back();
      continue;
    }
    const ITestPtr& child = (*top.Children)[top.Next++];
    QTreeWidgetItem* node = makeNode(child, top.Node);
    stack.push_back({node, &child->Tests(), 0});
  }
  FRunImage.assign(FTests.size(), imgNone);
  FStateImage.assign(FTests.size(), 0);
  QSignalBlocker block(FUi->TestTree);
  FUi->TestTree->addTopLevelItem(root);
}

void TGUITestRunner::InitTree() {
  FillTree();  // clears FTests, after telling the old tests to forget their nodes
  Setup();
  if (FUi->HideTestNodesOnOpenAction->isChecked())
    OnHideTestNodes();
  else
    OnExpandAllNodes();
  if (!FNodes.empty()) SelectNode(FNodes.front());
}

QTreeWidgetItem* TGUITestRunner::NodeOf(const ITestPtr& test) const {
  if (!test) return nullptr;
  auto it = FIndexOf.find(test.get());
  return it == FIndexOf.end() ? nullptr : FNodes[static_cast<std::size_t>(it->second)];
}

ITestPtr TGUITestRunner::TestOf(const QTreeWidgetItem* node) const {
  if (!node) return nullptr;
  bool ok = false;
  const int i = node->data(0, kIndexRole).toInt(&ok);
  return ok && i >= 0 && i < static_cast<int>(FTests.size()) ? FTests[static_cast<std::size_t>(i)] : nullptr;
}

int TGUITestRunner::RunImageOf(const QTreeWidgetItem* node) {
  auto* w = node && node->treeWidget() ? qobject_cast<TGUITestRunner*>(node->treeWidget()->window()) : nullptr;
  if (!w) return -1;
  const int i = node->data(0, kIndexRole).toInt();
  return i >= 0 && i < static_cast<int>(w->FRunImage.size()) ? w->FRunImage[static_cast<std::size_t>(i)]
                                                                     : -1;
}

int TGUITestRunner::StateImageOf(const QTreeWidgetItem* node) {
  auto* w = node && node->treeWidget() ? qobject_cast<TGUITestRunner*>(node->treeWidget()->window()) : nullptr;
  if (!w) return -1;
  const int i = node->data(0, kIndexRole).toInt();
  return i >= 0 && i < static_cast<int>(w->FStateImage.size())
             ? w->FStateImage[static_cast<std::size_t>(i)]
             : -1;
}

QTreeWidgetItem* TGUITestRunner::SelectedNode() const { return FUi->TestTree->currentItem(); }
ITestPtr TGUITestRunner::SelectedTest() const { return TestOf(SelectedNode()); }

void TGUITestRunner::SelectNode(QTreeWidgetItem* node) {
  if (!node) return;
  FUi->TestTree->setCurrentItem(node);
}

void TGUITestRunner::MakeNodeVisible(QTreeWidgetItem* node) {
  if (!node) return;
  for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
    if (!p->isExpanded()) p->setExpanded(true);
  FUi->TestTree->scrollToItem(node);
}

void TGUITestRunner::SetTreeNodeImage(QTreeWidgetItem* node, int image) {
  // A node's run image only rises during a run, so a suite shows the worst
  // outcome below it; the running image stays on the test's own node.
  for (QTreeWidgetItem* n = node; n; n = n->parent()) {
    const auto i = static_cast<std::size_t>(n->data(0, kIndexRole).toInt());
    if (FRunImage[i] < image) FRunImage[i] = static_cast<uint8_t>(image);
    if (image == imgRunning) break;
  }
}

void TGUITestRunner::UpdateNodeImage(QTreeWidgetItem* node) {
  const ITestPtr test = TestOf(node);
  if (!test) return;
  int state = stEnabled;
  if (!test->GetEnabled())
    state = stDisabled;
  else if (QTreeWidgetItem* p = node->parent(); p) {
    const int parentState = FStateImage[static_cast<std::size_t>(p->data(0, kIndexRole).toInt())];
    if (parentState == stDisabled || parentState == stParentDisabled) state = stParentDisabled;
  }
  const auto i = static_cast<std::size_t>(node->data(0, kIndexRole).toInt());
  if (FStateImage[i] == state) return;
  FStateImage[i] = static_cast<uint8_t>(state);
  // Drawn by the delegate as a check box. The items are not user-checkable,
  // so Qt never toggles them behind SetNodeState's back.
  FUi->TestTree->viewport()->update();
}

void TGUITestRunner::UpdateNodeState(QTreeWidgetItem* node) {
  if (!node) return;
  std::vector<QTreeWidgetItem*> stack{node};
  while (!stack.empty()) {
    QTreeWidgetItem* n = stack.back();
    stack.pop_back();
    UpdateNodeImage(n);
    for (int c = n->childCount() - 1; c >= 0; --c) stack.push_back(n->child(c));
  }
}

void TGUITestRunner::UpdateTestTreeState() {
  if (FUi->TestTree->topLevelItemCount() == 0) return;
  TBatchUpdate batch(FUi->TestTree);
  for (int i = 0; i < FUi->TestTree->topLevelItemCount(); ++i) UpdateNodeState(FUi->TestTree->topLevelItem(i));
}

void TGUITestRunner::SetNodeState(QTreeWidgetItem* node, bool enabled) {
  const ITestPtr test = TestOf(node);
  if (!test) return;
  test->SetEnabled(enabled);
  QTreeWidgetItem* highest = node;
  if (enabled) {
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) {
      const ITestPtr pt = TestOf(p);
      if (pt && !pt->GetEnabled()) {
        pt->SetEnabled(true);
        UpdateNodeImage(p);
        highest = p;
      }
    }
  }
  TBatchUpdate batch(FUi->TestTree);
  UpdateNodeState(highest);
}

void TGUITestRunner::SwitchNodeState(QTreeWidgetItem* node) {
  if (const ITestPtr test = TestOf(node)) SetNodeState(node, !test->GetEnabled());
}

namespace {
bool EnableTest(const ITestPtr& test) {
  test->SetEnabled(true);
  return true;
}
bool DisableTest(const ITestPtr& test) {
  test->SetEnabled(false);
  return true;
}
}  // namespace

void TGUITestRunner::ApplyToTests(QTreeWidgetItem* root, TTestFunc func) {
  if (!root) return;
  {
    TBatchUpdate batch(FUi->TestTree);
    std::vector<QTreeWidgetItem*> stack{root};
    while (!stack.empty()) {
      QTreeWidgetItem* n = stack.back();
      stack.pop_back();
      const ITestPtr t = TestOf(n);
      if (!t || !func(t)) continue;
      for (int c = n->childCount() - 1; c >= 0; --c) stack.push_back(n->child(c));
    }
  }
  UpdateTestTreeState();
}


// ---- tree actions ----------------------------------------------------------

void TGUITestRunner::OnSelectAll() {
  if (FNodes.empty()) return;
  ApplyToTests(FNodes.front(), EnableTest);
  UpdateStatus(true);
  UpdateActions();
}

void TGUITestRunner::OnDeselectAll() {
  if (FNodes.empty()) return;
  ApplyToTests(FNodes.front(), DisableTest);
  UpdateStatus(true);
  UpdateActions();
}

void TGUITestRunner::OnSelectFailed() {
  if (FNodes.empty()) return;
  ApplyToTests(FNodes.front(), DisableTest);
  for (int i = 0; i < FUi->FailureListView->topLevelItemCount(); ++i) {
    const int n = FUi->FailureListView->topLevelItem(i)->data(0, kFailureNodeRole).toInt();
    if (n >= 0 && n < static_cast<int>(FNodes.size())) SetNodeState(FNodes[static_cast<std::size_t>(n)], true);
  }
  UpdateStatus(true);
  UpdateActions();
}

void TGUITestRunner::OnSelectCurrent() {
  QTreeWidgetItem* node = SelectedNode();
  if (!node) return;
  ApplyToTests(node, EnableTest);
  SetNodeState(node, true);
  UpdateStatus(true);
  UpdateActions();
}

void TGUITestRunner::OnDeselectCurrent() {
  QTreeWidgetItem* node = SelectedNode();
  if (!node) return;
  ApplyToTests(node, DisableTest);
  UpdateStatus(true);
  UpdateActions();
}

void TGUITestRunner::OnHideTestNodes() {
  if (FNodes.empty()) return;
  {
    TBatchUpdate batch(FUi->TestTree);
    // Only suites that contain suites stay open.
    for (QTreeWidgetItem* n : FNodes) {
      if (n->childCount() == 0) continue;
      bool childHasChildren = false;
      for (int c = 0; c < n->childCount() && !childHasChildren; ++c) childHasChildren = n->child(c)->childCount() > 0;
      n->setExpanded(childHasChildren);
    }
  }
  SelectNode(FNodes.front());
  MakeNodeVisible(FNodes.front());
}

void TGUITestRunner::OnExpandAllNodes() {
  FUi->TestTree->expandAll();
  if (QTreeWidgetItem* node = SelectedNode())
    MakeNodeVisible(node);
  else if (!FNodes.empty())
    SelectNode(FNodes.front());
}

void TGUITestRunner::OnGoToSelectedTest(bool forward) {
  QTreeWidgetItem* node = SelectedNode();
  if (!node) return;
  QTreeWidgetItemIterator it(node);
  for (forward ? ++it : --it; *it; forward ? ++it : --it) {
    const ITestPtr t = TestOf(*it);
    if (t && t->GetEnabled() && IsTestMethod(t)) {
      SelectNode(*it);
      MakeNodeVisible(*it);
      return;
    }
  }
}

void TGUITestRunner::OnCopyProcname() {
  // From the test, not the item: invalid UTF-8 in a name would come back
  // from the item altered.
  const ITestPtr test = SelectedTest();
  if (test && IsTestMethod(test)) QGuiApplication::clipboard()->setText(ToQ(test->GetName()));
}


void TGUITestRunner::OnTreeChange() {
  QTreeWidgetItem* node = SelectedNode();
  if (!FSyncingSelection) {
    // Unguarded: the list's own handler must see the deselection to empty
    // the message box, or the box goes on describing the old failure.
    FUi->FailureListView->clearSelection();
    FSyncingSelection = true;
    for (int i = 0; node && i < FUi->FailureListView->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = FUi->FailureListView->topLevelItem(i);
      if (item->data(0, kFailureNodeRole).toInt() == node->data(0, kIndexRole).toInt()) {
        FUi->FailureListView->setCurrentItem(item);
        DisplayFailureMessage(i);
        break;
      }
    }
    FSyncingSelection = false;
  }
  UpdateActions();
  if (!FRunning) UpdateStatus(true);
}

void TGUITestRunner::OnTreeClick() {
  if (FRunning) return;
  if (FPressOnState) {
    FPressOnState = false;
    if (FPressNode >= 0 && FPressNode < static_cast<int>(FNodes.size()))
      SwitchNodeState(FNodes[static_cast<std::size_t>(FPressNode)]);
  }
  OnTreeChange();
}

void TGUITestRunner::OnFailureSelectionChanged() {
  if (FSyncingSelection) return;
  QTreeWidgetItem* item = FUi->FailureListView->currentItem();
  FSyncingSelection = true;
  if (item && item->isSelected())
    DisplayFailureMessage(FUi->FailureListView->indexOfTopLevelItem(item));
  else
    ClearStatusMessage();
  FSyncingSelection = false;
  UpdateActions();
}


bool TGUITestRunner::eventFilter(QObject* watched, QEvent* event) {
  QTreeWidget* tree = FUi->TestTree;
  if (watched == tree->viewport() && event->type() == QEvent::MouseButtonPress) {
    auto* me = static_cast<QMouseEvent*>(event);
    QTreeWidgetItem* item = tree->itemAt(me->position().toPoint());
    FPressOnState = false;
    if (item && me->button() == Qt::LeftButton) {
      FPressOnState = StateImageRect(item).contains(me->position().toPoint());
      FPressNode = item->data(0, kIndexRole).toInt();
    } else if (item && me->button() == Qt::RightButton) {
      tree->setCurrentItem(item);  // so the pop-up menu acts on it
    }
  } else if (watched == tree && event->type() == QEvent::KeyPress &&
             static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
    if (!FRunning)
      if (QTreeWidgetItem* node = SelectedNode()) {
        Guarded("TestTree", [&] {
          SwitchNodeState(node);
          UpdateStatus(true);
          UpdateActions();
        });
      }
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace GUITestRunner
