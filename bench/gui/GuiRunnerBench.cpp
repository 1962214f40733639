// The windowed runner at size: how long a tree of N tests takes to show, what
// a run through the window costs per test against the console runner in the
// same process, and the longest time the window went without processing
// events during the run.
//
//   cmake --build build --target gui_runner_bench
//   QT_QPA_PLATFORM=offscreen build/tests/gui_runner_bench [N=100000] [rounds=3] [autosave]
//
// With "autosave" the window saves its configuration (and the enabled state
// of every test) before each run, as it does by default.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/TestFramework.h"
#include "gui/GUITestRunner.h"
#include "platform/qt/Forms.h"
#include "runners/TextTestRunner.h"

using namespace TestFramework;

namespace {

class TBench : public TTestCase {
  TESSEL_TESTCASE(TBench, TTestCase)
 public:
  void SetUp() override { FValue = 42; }
  TESSEL_TEST(Trivial) { CheckEquals(42, FValue); }

 private:
  int FValue = 0;
};

// N tests in suites of 1,000 under one root.
ITestSuitePtr BuildTree(int n) {
  ITestSuitePtr root = TestSuite("Bench", {});
  for (int s = 0; s * 1000 < n; ++s) {
    TTestArray tests;
    for (int i = s * 1000; i < std::min(n, (s + 1) * 1000); ++i) tests.push_back(TesselFactory<TBench>("Trivial", 1));
    root->AddTest(TestSuite("S" + std::to_string(s), tests));
  }
  return root;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const bool autosave = argc > 3 && std::string(argv[3]) == "autosave";
  std::string why;
  if (!Forms::EnsureApplication(&why)) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 2;
  }
  const auto config = std::filesystem::temp_directory_path() / "tessel-gui-bench.ini";
  std::filesystem::remove(config);
  GUITestRunner::TGUITestRunner::ConfigFileOverride() = config.string();
  ITestSuitePtr tree = BuildTree(n);

  std::vector<double> show, console, window, gaps;
  for (int r = 0; r < rounds; ++r) {
    // Console runner, its output thrown away as in the peers' benchmark.
    std::fflush(stdout);
    const int saved = ::dup(1), null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    auto t = std::chrono::steady_clock::now();
    auto result = TextTestRunner::RunTest(tree, TextTestRunner::rxbContinue);
    console.push_back(Seconds(t));
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(null);
    ::close(saved);
    if (result->RunCount() != n || !result->WasSuccessful()) {
      std::fprintf(stderr, "console run: %d of %d tests, not all passed\n", result->RunCount(), n);
      return 1;
    }

    // The window: built, shown and painted with the whole tree.
    t = std::chrono::steady_clock::now();
    auto* w = new GUITestRunner::TGUITestRunner;
    w->Action("AutoSaveAction")->setChecked(autosave);
    w->SetSuite(tree);
    w->show();
    Forms::ProcessMessages();
    w->repaint();
    show.push_back(Seconds(t));

    t = std::chrono::steady_clock::now();
    w->Action("RunAction")->trigger();
    window.push_back(Seconds(t));
    gaps.push_back(static_cast<double>(w->LongestEventGap()));
    const int failures = w->FailureCount() + w->ErrorCount();
    delete w;
    if (failures != 0) {
      std::fprintf(stderr, "window run: %d failures\n", failures);
      return 1;
    }
  }
  std::filesystem::remove(config);
  const double c = Median(console) / n * 1e6, g = Median(window) / n * 1e6;
  std::printf("tests                         %d (%d rounds, medians%s)\n", n, rounds,
              autosave ? ", configuration saved before each run" : "");
  std::printf("window shows the tree in      %.3f s   (goal: at most 2 s)\n", Median(show));
  std::printf("console runner                %.2f us/test\n", c);
  std::printf("windowed runner               %.2f us/test\n", g);
  std::printf("ratio window / console        %.2f     (goal: at most 3)\n", g / c);
  std::printf("longest gap between events    %.0f ms  (goal: at most 250 ms)\n", Median(gaps));
  return 0;
}
