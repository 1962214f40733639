// What the windowed runner's tests share: small test-case classes that pass,
// fail, raise or expect an exception, a tree built from them, and a window
// whose configuration lives in a directory of the test's own.
#pragma once

#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "framework/TestFramework.h"
#include "gui/GUITestRunner.h"
#include "platform/Paths.h"
#include "platform/qt/Forms.h"

namespace RunnerTests {

using namespace TestFramework;
using GUITestRunner::TGUITestRunner;

// Lets a sample test act on the window while it runs (stop, read a label).
inline std::function<void()>& DuringTest() {
  static std::function<void()> hook;
  return hook;
}

class TPassing : public TTestCase {
  TESSEL_TESTCASE(TPassing, TTestCase)
 public:
  TESSEL_TEST(PassA) { Check(true); }
  TESSEL_TEST(PassB) {
    if (DuringTest()) DuringTest()();
    Check(true);
  }
};

class TMixed : public TTestCase {
  TESSEL_TESTCASE(TMixed, TTestCase)
 public:
  TESSEL_TEST(PassFirst) { Check(true); }
  TESSEL_TEST(Fails) { CheckEquals(std::string("<b>3</b>"), std::string("<4>"), "markup stays text"); }
  TESSEL_TEST(PassLater) { Check(true); }
  TESSEL_TEST(ExpectsRaise) {
    ExpectException<ETestError>();
    throw ETestError("raised as expected");
  }
};

class TErring : public TTestCase {
  TESSEL_TESTCASE(TErring, TTestCase)
 public:
  TESSEL_TEST(Errs) {
    Status("looking at <stock>");
    throw std::runtime_error("broke");
  }
  TESSEL_TEST(ThrowsInt) { throw 42; }
};

// Builds Root{TPassing, TMixed, TErring, Off{TPassing}} with Off disabled.
inline ITestSuitePtr SampleTree() {
  ITestSuitePtr off = TestSuite("Off", {TPassing::Suite()});
  off->SetEnabled(false);
  return TestSuite("Root", {TPassing::Suite(), TMixed::Suite(), TErring::Suite(), off});
}

// The node whose path of names from the root is `path` ("Root/TMixed/Fails").
inline QTreeWidgetItem* Node(TGUITestRunner& w, const std::string& path) {
  auto* tree = w.findChild<QTreeWidget*>(QStringLiteral("TestTree"));
  QTreeWidgetItem* node = nullptr;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const QString name = QString::fromStdString(path.substr(start, end - start));
    QTreeWidgetItem* next = nullptr;
    const int count = node ? node->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count && !next; ++i) {
      QTreeWidgetItem* c = node ? node->child(i) : tree->topLevelItem(i);
      if (c->text(0) == name) next = c;
    }
    if (!next) throw std::runtime_error("no node " + path);
    node = next;
    start = end + 1;
  }
  return node;
}

// A fresh directory for the configuration, and the window's file in it.
class TRunnerCase : public TTestCase {
  TESSEL_TESTCASE(TRunnerCase, TTestCase)
 public:
  void SetUp() override {
    std::string why;
    CheckTrue(Forms::EnsureApplication(&why), why);
    FDir = std::filesystem::temp_directory_path() / ("tessel-gui-" + std::to_string(::getpid()) + "-" + GetName());
    std::filesystem::remove_all(FDir);
    std::filesystem::create_directories(FDir);
    ::setenv("XDG_CONFIG_HOME", (FDir / "config").c_str(), 1);
    TGUITestRunner::ConfigFileOverride() = (FDir / "tessel.ini").string();
    DuringTest() = nullptr;
  }
  void TearDown() override {
    DuringTest() = nullptr;
    delete FWindow.data();
    TGUITestRunner::ConfigFileOverride().clear();
    std::error_code ignored;
    std::filesystem::permissions(FDir, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(FDir, ignored);
  }

 protected:
  TGUITestRunner& Window(ITestPtr suite) {
    delete FWindow.data();
    FWindow = new TGUITestRunner;
    FWindow->SetSuite(std::move(suite));
    FWindow->show();
    FWindow->activateWindow();  // shortcuts reach only the active window
    CheckTrue(QTest::qWaitForWindowActive(FWindow.data(), 5000), "the window never became active");
    Forms::ProcessMessages();
    return *FWindow;
  }
  // The sample tree with Off disabled (opening the window loads the enabled
  // states from the configuration, where nothing is stored yet).
  TGUITestRunner& SampleWindow() {
    TGUITestRunner& w = Window(SampleTree());
    w.SetNodeState(Node(w, "Root/Off"), false);
    return w;
  }
  // Writes what the window shows beside the test program, for a person to look at.
  void Snapshot(const std::string& name) {
    if (FWindow) FWindow->grab().save(QString::fromStdString(Platform::ProgramDir() + name + ".png"));
  }
  std::filesystem::path FDir;
  QPointer<TGUITestRunner> FWindow;
};

}  // namespace RunnerTests
