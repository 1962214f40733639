// The short cuts on the run loop's hot path must give the answers of the
// slow ways they replace: node kinds remembered per class, trace lines
// written past stdio, plain placeholders filled directly, the unit name of
// the last file reused, the supplied monitor shared.
#include <fcntl.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"
#include "platform/Format.h"
#include "runners/ReportText.h"
#include "runners/TextTestRunner.h"

using namespace TestFramework;

namespace {

// Many classes, so that the per-class memory of node kinds must evict and
// tell apart classes whose tables land in the same slot: 200 tables, more
// than a thread's cache holds, and no more (each class is compile time).
template <int K>
class TManyCase : public TTestCase {
 public:
  using TTestCase::TTestCase;
};

template <int K>
class TManySuite : public TTestSuite {
 public:
  using TTestSuite::TTestSuite;
};

constexpr int kKinds = 100;

template <int... K>
void MakeMany(std::vector<ITestPtr>& cases, std::vector<ITestPtr>& suites, std::integer_sequence<int, K...>) {
  // Expanded in array initialisers, not folds: clang counts a fold of 300
  // as 300 levels of nesting and stops at 256.
  const ITestPtr madeCases[] = {std::make_shared<TManyCase<K>>("T" + std::to_string(K))...};
  const ITestPtr madeSuites[] = {std::make_shared<TManySuite<K>>("S" + std::to_string(K))...};
  cases.insert(cases.end(), std::begin(madeCases), std::end(madeCases));
  suites.insert(suites.end(), std::begin(madeSuites), std::end(madeSuites));
}

class TPrinting : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TPrinting, TTestCase, "Shop")
 public:
  TESSEL_TEST(Buffered) {
    std::printf("<text of the test>");  // left in stdout's buffer, not flushed
    Check(true);
  }
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Runs the console runner on suite with standard output going to a file;
// returns what was written.
std::string RunToFile(const ITestPtr& suite, const std::string& path) {
  std::fflush(stdout);
  int saved = ::dup(STDOUT_FILENO);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(fd, STDOUT_FILENO);
  ::close(fd);
  TextTestRunner::RunTest(suite, TextTestRunner::rxbContinue);
  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  return ReadFile(path);
}

ITesselMemLeakMonitorPtr NoMonitor() { return nullptr; }

class TQuiet : public TTestCase {
  TESSEL_TESTCASE(TQuiet, TTestCase)
 public:
  TESSEL_TEST(A) { Check(true); }
  TESSEL_TEST(B) { CheckEquals(1, 2); }
};

class THotPathTests : public TTestCase {
  TESSEL_TESTCASE(THotPathTests, TTestCase)
 public:
  TESSEL_TEST(TestNodeKindsOfManyClassesMatchDynamicCast) {
    std::vector<ITestPtr> cases, suites;
    MakeMany(cases, suites, std::make_integer_sequence<int, kKinds>{});
    auto repeated = std::make_shared<TestExtensions::TRepeatedTest>(cases[0], 2);
    // Twice, interleaved: the second pass answers from memory.
    for (int pass = 0; pass < 2; ++pass)
      for (int k = 0; k < kKinds; ++k) {
        const ITestPtr& c = cases[static_cast<size_t>(k)];
        const ITestPtr& s = suites[static_cast<size_t>(k)];
        CheckTrue(IsTestMethod(c), "case " + std::to_string(k));
        CheckFalse(IsTestMethod(s), "suite " + std::to_string(k));
        CheckFalse(IsDecorator(c), "case " + std::to_string(k));
        CheckTrue(IsDecorator(repeated), "decorator");
        CheckFalse(IsTestMethod(repeated), "decorator");
        CheckSame(dynamic_cast<const TObject*>(c.get()), ObjectOf(c.get()), "case object " + std::to_string(k));
        CheckSame(dynamic_cast<const TObject*>(s.get()), ObjectOf(s.get()), "suite object " + std::to_string(k));
        CheckSame(dynamic_cast<const TObject*>(repeated.get()), ObjectOf(repeated.get()), "decorator object");
      }
    CheckNull(static_cast<const void*>(ObjectOf(nullptr)), "no node");
    // A suite holding one test case counts 1 but is no test method.
    auto one = std::make_shared<TTestSuite>("one", TTestArray{cases[1]});
    CheckFalse(IsTestMethod(one), "suite of one");
  }

  TESSEL_TEST(TestTraceWaitsForTextTheTestLeftInStdoutsBuffer) {
    std::string out = RunToFile(TPrinting::Suite(), "hot_path_trace.txt");
    // The test's text comes before the "." of its success, as with fwrite and fflush.
    CheckTrue(out.find("Shop.TPrinting.Buffered <text of the test>.") != std::string::npos, out);
  }

  TESSEL_TEST(TestPlainPlaceholdersAreFilledAsSnprintfWould) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%s|%" PRId64 "|%" PRId64 "|%s", "ab", int64_t{-5}, int64_t{INT64_MIN}, "");
    CheckEquals(std::string(buf), Platform::Format("%s|%d|%i|%s", "ab", -5, INT64_MIN, std::string()));
    // Unsigned values through %d read as signed, as before.
    CheckEquals(std::string("-1"), Platform::Format("%d", UINT64_MAX));
    struct {
      std::string Got, Want;
    } rows[] = {
        {Platform::Format("%5d|%-3s|%.2s", 42, "a", "xyz"), "   42|a  |xy"},
        {Platform::Format("%s", 7), "7"},
        {Platform::Format("%d", "text"), "0"},
        {Platform::Format("100%% %s", "sure"), "100% sure"},
        {Platform::Format("%s and %s", "one"), "one and "},
        {Platform::Format("%3d) [%s]", 1, "Unit"), "  1) [Unit]"},
        {Platform::Format("%3d|%3d|%2d|%3s", 12345, -5, uint64_t{7}, "ab"), "12345| -5| 7| ab"},
        {Platform::Format("%03d|%-3d|%12d|%2.2d|%3.1d", 7, 7, INT64_MIN, 5, 12), "007|7  |-9223372036854775808|05| 12"},
    };
    for (auto& r : rows) CheckEquals(r.Want, r.Got);
  }

  TESSEL_TEST(TestUnitNameFollowsTheContentOfAReusedBuffer) {
    char path[64];
    std::strcpy(path, "src/orders/Orders.cpp");
    CheckEquals(std::string("Orders"), std::string(UnitNameFromFile(path)));
    CheckEquals(std::string("Orders"), std::string(UnitNameFromFile(path)), "again");
    std::strcpy(path, "src/stock/Stock.Tests.cpp");
    CheckEquals(std::string("Stock"), std::string(UnitNameFromFile(path)), "same buffer, other file");
    CheckEquals(std::string(""), std::string(UnitNameFromFile(nullptr)), "no file");
  }

  TESSEL_TEST(TestFactoryWithoutMonitorFallsBackToTheSuppliedOne) {
    TMemLeakMonitorFactory old = GetMemLeakMonitorFactory();
    SetMemLeakMonitorFactory(&NoMonitor);
    TTestResult r;
    r.FailsIfMemoryLeaked = true;
    TQuiet::Suite()->Run(r);
    SetMemLeakMonitorFactory(old);
    CheckEquals(2, r.RunCount());
    CheckEquals(1, r.FailureCount());
    CheckEquals(std::string("expected: <1> but was: <2>"), r.GetFailure(0).ThrownExceptionMessage());
    CheckEquals(0, r.ErrorCount());
  }

  TESSEL_TEST(TestEscapingAppendsAndKeepsEveryRule) {
    std::string attr = "name=";
    ReportText::AppendXmlAttr(attr, "a&b<c>\"d'e\x01" "f\xC3\xA9g\xFFh");
    CheckEquals(std::string("name=a&amp;b&lt;c&gt;&quot;d&#39;e f\xC3\xA9g\xEF\xBF\xBDh"), attr);
    std::string text = "<m>";
    ReportText::AppendXmlText(text, "\"q\" & 'p'");
    CheckEquals(std::string("<m>\"q\" &amp; 'p'"), text);
    CheckEquals(ReportText::XmlAttr("plain text"), std::string("plain text"));
    std::string fixed = "t=";
    ReportText::AppendFixedPoint(fixed, 0.0125, 4);
    CheckEquals(std::string("t=0.0125"), fixed);
  }

  TESSEL_TEST(TestSuiteHoldingTheTargetTwoLevelsDownIsRefused) {
    auto target = std::make_shared<TTestSuite>("HotPathTarget");
    RegisterTest(target);
    auto middle = std::make_shared<TTestSuite>("Middle", TTestArray{TQuiet::Suite(), target});
    auto outer = std::make_shared<TTestSuite>("Outer", TTestArray{middle});
    CheckException([&] { RegisterTest("HotPathTarget", outer); }, &ETesselException::ClassInfo());
  }
};

TESSEL_REGISTER("HotPath", THotPathTests);

}  // namespace
