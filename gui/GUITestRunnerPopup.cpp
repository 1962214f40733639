// The properties popup: a test case's run-time properties as a menu of
// painted items, those that override the window's options highlighted.
// Each item is a small widget of its own, so no other menu of the program
// changes its look.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWidgetAction>

#include "gui/GUITestRunner.h"
#include "platform/qt/QtText.h"
#include "ui_GUITestRunner.h"

namespace GUITestRunner {
namespace {

enum TItem { itTitle, itPrevious, itRunSelected, itNext, itNoChecks, itMemLeak, itAllowedSize, itMemGain, itIgnoreLeak };

const char kTitle[] = "TestCase Run-Time Applied Properties";

// The fixed texts the clipboard names are cut from.
const char* const kNameSources[] = {" FailsOnNoChecksExecuted  := True ", " FailsOnMemoryLeak        := True ",
                                    " AllowedMemoryLeakSize ", " FailsOnMemoryRecovery    := True ",
                                    " IgnoreSetUpTearDownLeaks := True "};

std::string PropertyName(const std::string& fixedText) {
  const auto first = fixedText.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = fixedText.find_last_not_of(' ');
  const std::string trimmed = fixedText.substr(first, last - first + 1);
  return trimmed.substr(0, trimmed.find(' '));
}

std::string TrueFalse(const char* name, bool value) {
  return std::string(" ") + name + (value ? " := True " : " := False");
}

}  // namespace

class TPropertyItemWidget : public QWidget {
 public:
  TPropertyItemWidget(TGUITestRunner* window, int item, QWidget* parent)
      : QWidget(parent), FWindow(window), FItem(item) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    if (item >= itNoChecks && item != itIgnoreLeak) setToolTip(QStringLiteral("Select to copy Property Name to ClipBoard"));
  }

  QSize sizeHint() const override {
    QFont f = font();
    if (FItem == itTitle) f.setBold(true);
    const QFontMetrics m(f);
    if (FItem == itTitle) return {m.horizontalAdvance(QString::fromLatin1(kTitle)) + 60, m.height() + 4};
    return {m.horizontalAdvance(QtText::ToQ(Text())) + 60, m.height() + 4};
  }

  std::string Text() const {
    switch (FItem) {
      case itTitle: return kTitle;
      case itPrevious: return " Previous";
      case itRunSelected: return " Run Selected Test";
      case itNext: return " Next";
      case itNoChecks: return FWindow->FNoChecksStr;
      case itMemLeak: return FWindow->FMemLeakStr;
      case itAllowedSize: return FWindow->FMemBytesStr;
      case itMemGain: return FWindow->FMemGainStr;
      default: return FWindow->FIgnoreLeakStr;
    }
  }

  bool Highlighted() const {
    return (FItem == itNoChecks && FWindow->FNoCheckExecutedPtyOverridden) ||
           (FItem == itMemLeak && FWindow->FMemLeakDetectedPtyOverridden) ||
           (FItem == itIgnoreLeak && FWindow->FIgnoreSetUpTearDownLeakPtyOverridden);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect r = rect();
    const bool selected = underMouse() && isEnabled();
    const bool active = FItem == itPrevious || FItem == itRunSelected || FItem == itNext;
    const QString text = QtText::ToQ(Text());
    if (active) {
      p.fillRect(r, palette().color(selected ? QPalette::Highlight : QPalette::Window));
      p.setPen(palette().color(!isEnabled() ? QPalette::PlaceholderText
                                            : selected ? QPalette::HighlightedText : QPalette::WindowText));
      DrawText(p, r, text, false);
      return;
    }
    p.fillRect(r, Highlighted() ? QColor(255, 255, 0) : QColor(192, 252, 192));
    p.setPen(selected ? QColor(Qt::black) : palette().color(QPalette::WindowText));
    DrawText(p, r, text, FItem == itTitle);
  }

  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) FWindow->OnPropertyItemClicked(FItem);
  }
  void enterEvent(QEnterEvent*) override { update(); }
  void leaveEvent(QEvent*) override { update(); }

 private:
  // Single line, vertically centred, no mnemonic processing, not clipped;
  // from ":=" on, the text starts at five eighths of the width so the
  // values line up.
  static void DrawText(QPainter& p, const QRect& r, const QString& text, bool centred) {
    const int flags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextDontClip;
    if (centred) {
      QFont f = p.font();
      f.setBold(true);
      p.setFont(f);
      p.drawText(r, flags | Qt::AlignHCenter, text);
      return;
    }
    const int split = text.indexOf(QStringLiteral(":="));
    if (split < 0) {
      p.drawText(r, flags | Qt::AlignLeft, text);
      return;
    }
    p.drawText(r, flags | Qt::AlignLeft, text.left(split));
    QRect right = r;
    right.setLeft(r.left() + r.width() / 8 * 5);
    p.drawText(right, flags | Qt::AlignLeft, text.mid(split));
  }

  TGUITestRunner* FWindow;
  int FItem;
};

void TGUITestRunner::BuildPropertiesMenu() {
  QMenu* menu = FUi->TestCaseProperty;
  struct TEntry {
    const char* Name;
    int Item;  // -1: separator
    const char* Caption;
  };
  const TEntry entries[] = {{"TestCaseProperties", itTitle, "TestCase Run-Time Applied Properties "},
                            {"N10", -1, "-"},
                            {"Previous1", itPrevious, "Previous"},
                            {"RunSelectedTest1", itRunSelected, "Run Selected Test"},
                            {"Next1", itNext, "Next"},
                            {"N13", -1, "-"},
                            {"FailNoCheckExecutedMenuItem", itNoChecks, "TestCase FailsIfNoChecksExecuted"},
                            {"FailsOnMemoryLeakMenuItem", itMemLeak, "TestCase FailsOnMemoryLeak"},
                            {"AllowedLeakSizeMemuItem", itAllowedSize, "TestCase AllowedMemoryLeakSize"},
                            {"FailsOnMemoryRecoveryMenuItem", itMemGain, "TestCase FailsOnMemoryRecovery"},
                            {"TestCaseIgnoreSetUpTearDownLeaksMenuItem", itIgnoreLeak, "TestCase IgnoreSetUpTearDownLeaks"}};
  for (const TEntry& e : entries) {
    if (e.Item < 0) {
      QAction* sep = menu->addSeparator();
      sep->setObjectName(QString::fromLatin1(e.Name));
      continue;
    }
    auto* action = new QWidgetAction(menu);
    action->setObjectName(QString::fromLatin1(e.Name));
    action->setText(QString::fromLatin1(e.Caption));
    auto* widget = new TPropertyItemWidget(this, e.Item, menu);
    widget->setObjectName(QString::fromLatin1(e.Name) + QStringLiteral("Widget"));
    action->setDefaultWidget(widget);
    menu->addAction(action);
    if (e.Item == itRunSelected) {
      QAction* bound = FUi->RunSelectedTestAltAction;
      auto mirror = [action, widget, bound] {
        action->setEnabled(bound->isEnabled());
        widget->setEnabled(bound->isEnabled());
      };
      connect(bound, &QAction::changed, action, mirror);
      mirror();
    }
  }
}

void TGUITestRunner::PreparePropertiesPopup(const ITestPtr& test) {
  const bool failIfNoChecks = FUi->FailIfNoChecksExecutedAction->isChecked();
  const bool failIfLeaked = FUi->FailTestCaseIfMemoryLeakedAction->isChecked();
  const bool ignoreLeaks = FUi->IgnoreMemoryLeakInSetUpTearDownAction->isChecked();
  FNoChecksStr = TrueFalse("FailsOnNoChecksExecuted ", test->GetFailsOnNoChecksExecuted());
  FNoCheckExecutedPtyOverridden = failIfNoChecks && !test->GetFailsOnNoChecksExecuted();
  FMemLeakStr = TrueFalse("FailsOnMemoryLeak       ", test->GetFailsOnMemoryLeak());
  FMemLeakDetectedPtyOverridden = failIfLeaked && !test->GetFailsOnMemoryLeak();
  FMemGainStr = TrueFalse("FailsOnMemoryRecovery   ", test->GetFailsOnMemoryLeak() && test->GetFailsOnMemoryRecovery());
  const bool ignores = test->GetIgnoreSetUpTearDownLeaks() && test->GetFailsOnMemoryLeak();
  FIgnoreLeakStr = TrueFalse("IgnoreSetUpTearDownLeaks", ignores);
  FIgnoreSetUpTearDownLeakPtyOverridden = ignores && !ignoreLeaks;
  FBytes = ":= " + std::to_string(test->GetAllowedMemoryLeakSize()) + " Bytes";
  FMemBytesStr = " AllowedMemoryLeakSize " + FBytes;
}

void TGUITestRunner::PopupPropertiesMenu() {
  QMenu* menu = FUi->TestCaseProperty;
  for (QWidget* w : menu->findChildren<TPropertyItemWidget*>()) {
    w->updateGeometry();
    w->update();
  }
  menu->adjustSize();
  menu->popup(pos() + QPoint(FPopupX, FPopupY));  // a window's pos() is in screen coordinates
}

void TGUITestRunner::OnTestCaseProperties() {
  const ITestPtr test = SelectedTest();
  if (!test || !TestFramework::IsTestMethod(test)) return;
  PreparePropertiesPopup(test);
  PopupPropertiesMenu();
}

void TGUITestRunner::OnPropertyItemClicked(int item) {
  QMenu* menu = FUi->TestCaseProperty;
  if (item >= itNoChecks) {
    QGuiApplication::clipboard()->setText(QtText::ToQ(PropertyName(kNameSources[item - itNoChecks])));
    menu->hide();
    return;
  }
  if (item == itTitle) return;
  menu->hide();
  Guarded("TestCaseProperty", [&] {
    if (item == itPrevious) OnGoToSelectedTest(false);
    if (item == itNext) OnGoToSelectedTest(true);
    if (item == itRunSelected && FUi->RunSelectedTestAltAction->isEnabled()) OnRunSelectedTest();
    OnTestCaseProperties();
  });
}

}  // namespace GUITestRunner
