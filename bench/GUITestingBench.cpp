// The cost of one simulated click and one typed character of TGUITestCase
// (FActionDelay = 0) against Qt Test's QTest::mouseClick and QTest::keyClicks
// on the same widgets, in the same run.
//
//   QT_QPA_PLATFORM=offscreen gui_testing_bench [actions per sample] [rounds]
//
// The ways take turns within every round and each figure is the median over
// the rounds, so drift of the machine hits them alike. Text is typed as
// words of 10 characters into a cleared field, as a form is filled in: a
// field thousands of characters long would measure only its own layout.
// A third figure adds one processEvents() after each of Qt Test's actions,
// which is what every simulated action here includes, so that the window
// has reacted (repainted) before the next step.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "gui/GUITesting.h"
#include "platform/qt/Forms.h"

namespace {

class TBenchCase : public GUITesting::TGUITestCase {
 public:
  TBenchCase() : TGUITestCase("Bench") { FActionDelay = 0; }
};

double MicrosPerAction(int actions, const std::function<void()>& run) {
  auto start = std::chrono::steady_clock::now();
  run();
  std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  return took.count() / actions;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int actions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
  std::string why;
  if (!Forms::EnsureApplication(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  Forms::TForm form;
  auto* layout = new QVBoxLayout(&form);
  auto* button = new QPushButton(QStringLiteral("Count"), &form);
  auto* edit = new QLineEdit(&form);
  layout->addWidget(button);
  layout->addWidget(edit);
  long clicks = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
  form.show();
  Forms::ProcessMessages();
  const QPoint middle(button->width() / 2, button->height() / 2);
  const int words = std::max(1, actions / 10);
  const int chars = words * 10;
  const std::string word = "abcdefghij";
  const QString qWord = QString::fromStdString(word);

  TBenchCase test;
  std::vector<double> ourClick, qtClick, qtClickPe, ourChar, qtChar, qtCharPe;
  for (int r = 0; r < rounds; ++r) {
    ourClick.push_back(MicrosPerAction(actions, [&] {
      for (int i = 0; i < actions; ++i) test.Click(button);
    }));
    qtClick.push_back(MicrosPerAction(actions, [&] {
      for (int i = 0; i < actions; ++i) QTest::mouseClick(button, Qt::LeftButton, {}, middle);
    }));
    qtClickPe.push_back(MicrosPerAction(actions, [&] {
      for (int i = 0; i < actions; ++i) {
        QTest::mouseClick(button, Qt::LeftButton, {}, middle);
        QCoreApplication::processEvents();
      }
    }));
    ourChar.push_back(MicrosPerAction(chars, [&] {
      for (int i = 0; i < words; ++i) {
        edit->clear();
        test.EnterTextInto(edit, word);
      }
    }));
    qtChar.push_back(MicrosPerAction(chars, [&] {
      for (int i = 0; i < words; ++i) {
        edit->clear();
        QTest::keyClicks(edit, qWord);
      }
    }));
    qtCharPe.push_back(MicrosPerAction(chars, [&] {
      for (int i = 0; i < words; ++i) {
        edit->clear();
        for (QChar c : qWord) {
          QTest::keyClick(edit, c.toLatin1());
          QCoreApplication::processEvents();
        }
      }
    }));
  }
  if (clicks != 3L * actions * rounds || edit->text() != qWord) {
    std::fprintf(stderr, "expected %ld clicks and \"%s\", got %ld and \"%s\"\n", 3L * actions * rounds, word.c_str(),
                 clicks, edit->text().toStdString().c_str());
    return 1;
  }
  const double oc = Median(ourClick), qc = Median(qtClick), qcp = Median(qtClickPe);
  const double ot = Median(ourChar), qt = Median(qtChar), qtp = Median(qtCharPe);
  std::printf("%d actions per sample, median of %d rounds, microseconds per action\n", actions, rounds);
  std::printf("%-16s %12s %12s %8s %22s %8s\n", "", "TGUITestCase", "Qt Test", "ratio", "Qt Test+processEvents",
              "ratio");
  std::printf("%-16s %12.2f %12.2f %8.2f %22.2f %8.2f\n", "click", oc, qc, oc / qc, qcp, oc / qcp);
  std::printf("%-16s %12.2f %12.2f %8.2f %22.2f %8.2f\n", "typed character", ot, qt, ot / qt, qtp, ot / qtp);
  return 0;
}
