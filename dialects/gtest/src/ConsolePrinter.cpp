// The console output in GoogleTest's layout: the default printer and the
// brief one (--gtest_brief), both fed by the event listener calls only.
#include <unistd.h>

#include <strings.h>

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Internal.h"

namespace testing::internal {

bool gFlushEachTest = true;

namespace {

enum class TColor { Default, Red, Green, Yellow };

bool UseColor() {
  static const bool use = ShouldUseColor();
  return use;
}

const char* ColorCode(TColor color) {
  return color == TColor::Red ? "\033[0;31m" : color == TColor::Green ? "\033[0;32m" : "\033[0;33m";
}

void ColoredPrintf(TColor color, const char* fmt, ...) {
  const bool use = UseColor();
  va_list args;
  va_start(args, fmt);
  if (use && color != TColor::Default)
    std::printf("\033[0;3%cm", color == TColor::Red ? '1' : color == TColor::Green ? '2' : '3');
  std::vprintf(fmt, args);
  if (use && color != TColor::Default) std::printf("\033[m");
  va_end(args);
}

std::string Count(int n, const char* singular, const char* plural) {
  return std::to_string(n) + " " + (n == 1 ? singular : plural);
}
std::string Tests(int n) { return Count(n, "test", "tests"); }
std::string Suites(int n) { return Count(n, "test suite", "test suites"); }

void PrintComment(const TestInfo& t) {
  const char* type = t.type_param();
  const char* value = t.value_param();
  if (!type && !value) return;
  std::printf(", where ");
  if (type) std::printf("TypeParam = %s", type);
  if (type && value) std::printf(" and ");
  if (value) std::printf("GetParam() = %s", value);
}

void PrintPart(const TestPartResult& part) {
  if (part.type() == TestPartResult::kSuccess) return;
  const char* file = part.file_name();
  std::string where = !file ? "unknown file:" : part.line_number() < 0 ? std::string(file) + ":"
                                                                        : LocationText(file, part.line_number()) + ":";
  std::printf("%s %s%s\n", where.c_str(), part.type() == TestPartResult::kSkip ? "Skipped\n" : "Failure\n",
              part.message());
  // Before what the test writes next. A supervisor places the tests' output
  // itself, after its own lines so far.
  if (gFlushEachTest) std::fflush(stdout);
}

void PrintTime(TimeInMillis ms) {
  if (GTEST_FLAG(print_time)) std::printf(" (%lld ms)", static_cast<long long>(ms));
}

// The lines every test writes, put together without a format and written
// in one call: in a run of many small tests they are most of what the
// console costs.
class TLine {
 public:
  TLine() = default;
  TLine(const TLine&) = delete;
  TLine& operator=(const TLine&) = delete;
  TLine& Tag(TColor color, const char* tag) {
    const bool use = UseColor();
    if (use) Put(ColorCode(color));
    Put(tag);
    if (use) Put("\033[m");
    return *this;
  }
  TLine& Put(const char* text) { return Put(text, std::strlen(text)); }
  TLine& Name(const TestInfo& t) { return Put(t.test_suite_name()).Put(".", 1).Put(t.name()); }
  TLine& Time(TimeInMillis ms) {
    if (!GTEST_FLAG(print_time)) return *this;
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(ms)).ptr;
    return Put(" (", 2).Put(digits, static_cast<size_t>(end - digits)).Put(" ms)", 4);
  }
  void End() {
    Put("\n", 1);
    std::fwrite(FBuffer, 1, FUsed, stdout);
  }

 private:
  TLine& Put(const char* text, size_t n) {
    if (FUsed + n > sizeof FBuffer) {
      // A long name: what is gathered goes first.
      std::fwrite(FBuffer, 1, FUsed, stdout);
      FUsed = 0;
      if (n > sizeof FBuffer) {
        std::fwrite(text, 1, n, stdout);
        return *this;
      }
    }
    std::memcpy(FBuffer + FUsed, text, n);
    FUsed += n;
    return *this;
  }
  char FBuffer[256];
  size_t FUsed = 0;
};

class TPrettyPrinter : public TestEventListener {
 public:
  void OnTestProgramStart(const UnitTest&) override {}
  void OnTestIterationStart(const UnitTest& unit, int iteration) override {
    if (GTEST_FLAG(repeat) != 1) std::printf("\nRepeating all tests (iteration %d) . . .\n\n", iteration + 1);
    if (GTEST_FLAG(filter) != "*") ColoredPrintf(TColor::Yellow, "Note: %s filter = %s\n", "Google Test", GTEST_FLAG(filter).c_str());
    const char* total = std::getenv("GTEST_TOTAL_SHARDS");
    const char* index = std::getenv("GTEST_SHARD_INDEX");
    if (total && index && std::atoi(total) > 1)
      ColoredPrintf(TColor::Yellow, "Note: This is test shard %d of %s.\n", std::atoi(index) + 1, total);
    if (GTEST_FLAG(shuffle))
      ColoredPrintf(TColor::Yellow, "Note: Randomizing tests' orders with a seed of %d .\n", unit.random_seed());
    ColoredPrintf(TColor::Green, "[==========] ");
    std::printf("Running %s from %s.\n", Tests(unit.test_to_run_count()).c_str(),
                Suites(unit.test_suite_to_run_count()).c_str());
    std::fflush(stdout);
  }
  void OnEnvironmentsSetUpStart(const UnitTest&) override {
    ColoredPrintf(TColor::Green, "[----------] ");
    std::printf("Global test environment set-up.\n");
    std::fflush(stdout);
  }
  void OnEnvironmentsSetUpEnd(const UnitTest&) override {}
  void OnTestSuiteStart(const TestSuite& suite) override {
    ColoredPrintf(TColor::Green, "[----------] ");
    std::printf("%s from %s", Tests(suite.test_to_run_count()).c_str(), suite.name());
    if (suite.type_param()) std::printf(", where TypeParam = %s", suite.type_param());
    std::printf("\n");
    if (gFlushEachTest) std::fflush(stdout);
  }
  void OnTestStart(const TestInfo& t) override {
    TLine().Tag(TColor::Green, "[ RUN      ] ").Name(t).End();
    // At most one write a test: what the test prints itself follows this
    // line, and the end line goes out with the next test's start.
    if (gFlushEachTest) std::fflush(stdout);
  }
  void OnTestDisabled(const TestInfo& t) override {
    ColoredPrintf(TColor::Yellow, "[ DISABLED ] ");
    std::printf("%s.%s\n", t.test_suite_name(), t.name());
  }
  void OnTestPartResult(const TestPartResult& part) override { PrintPart(part); }
  void OnTestEnd(const TestInfo& t) override {
    const TestResult& r = *t.result();
    if (r.Passed()) {
      TLine().Tag(TColor::Green, "[       OK ] ").Name(t).Time(r.elapsed_time()).End();
      return;
    }
    if (r.Skipped())
      ColoredPrintf(TColor::Green, "[  SKIPPED ] ");
    else
      ColoredPrintf(TColor::Red, "[  FAILED  ] ");
    std::printf("%s.%s", t.test_suite_name(), t.name());
    if (r.Failed()) PrintComment(t);
    PrintTime(r.elapsed_time());
    std::printf("\n");
  }
  void OnTestSuiteEnd(const TestSuite& suite) override {
    if (!GTEST_FLAG(print_time)) return;
    ColoredPrintf(TColor::Green, "[----------] ");
    std::printf("%s from %s (%lld ms total)\n\n", Tests(suite.test_to_run_count()).c_str(), suite.name(),
                static_cast<long long>(suite.elapsed_time()));
    if (gFlushEachTest) std::fflush(stdout);
  }
  void OnEnvironmentsTearDownStart(const UnitTest&) override {
    ColoredPrintf(TColor::Green, "[----------] ");
    std::printf("Global test environment tear-down\n");
    std::fflush(stdout);
  }
  void OnEnvironmentsTearDownEnd(const UnitTest&) override {}
  void OnTestIterationEnd(const UnitTest& unit, int) override {
    ColoredPrintf(TColor::Green, "[==========] ");
    std::printf("%s from %s ran.", Tests(unit.test_to_run_count()).c_str(),
                Suites(unit.test_suite_to_run_count()).c_str());
    if (GTEST_FLAG(print_time)) std::printf(" (%lld ms total)", static_cast<long long>(unit.elapsed_time()));
    std::printf("\n");
    ColoredPrintf(TColor::Green, "[  PASSED  ] ");
    std::printf("%s.\n", Tests(unit.successful_test_count()).c_str());
    const int skipped = unit.skipped_test_count();
    if (skipped > 0) {
      ColoredPrintf(TColor::Green, "[  SKIPPED ] ");
      std::printf("%s, listed below:\n", Tests(skipped).c_str());
      ForEachTest(unit, [](const TestInfo& t) {
        if (!t.should_run() || !t.result()->Skipped()) return;
        ColoredPrintf(TColor::Green, "[  SKIPPED ] ");
        std::printf("%s.%s\n", t.test_suite_name(), t.name());
      });
    }
    if (!unit.Passed()) {
      const int failed = unit.failed_test_count();
      ColoredPrintf(TColor::Red, "[  FAILED  ] ");
      std::printf("%s, listed below:\n", Tests(failed).c_str());
      ForEachTest(unit, [](const TestInfo& t) {
        if (!t.should_run() || !t.result()->Failed()) return;
        ColoredPrintf(TColor::Red, "[  FAILED  ] ");
        std::printf("%s.%s", t.test_suite_name(), t.name());
        PrintComment(t);
        std::printf("\n");
      });
      std::printf("\n%2d FAILED %s\n", failed, failed == 1 ? "TEST" : "TESTS");
      int suiteFailures = 0;
      for (int i = 0; i < unit.total_test_suite_count(); ++i) {
        const TestSuite& s = *unit.GetTestSuite(i);
        if (!s.should_run() || !s.ad_hoc_test_result().Failed()) continue;
        ColoredPrintf(TColor::Red, "[  FAILED  ] ");
        std::printf("%s: SetUpTestSuite or TearDownTestSuite\n", s.name());
        ++suiteFailures;
      }
      if (suiteFailures > 0)
        std::printf("\n%2d FAILED TEST %s\n", suiteFailures, suiteFailures == 1 ? "SUITE" : "SUITES");
    }
    const int disabled = unit.reportable_disabled_test_count();
    if (disabled && !GTEST_FLAG(also_run_disabled_tests)) {
      if (unit.Passed()) std::printf("\n");
      ColoredPrintf(TColor::Yellow, "  YOU HAVE %d DISABLED %s\n\n", disabled, disabled == 1 ? "TEST" : "TESTS");
    }
    std::fflush(stdout);
  }
  void OnTestProgramEnd(const UnitTest&) override {}

 private:
  template <class F>
  static void ForEachTest(const UnitTest& unit, F f) {
    for (int i = 0; i < unit.total_test_suite_count(); ++i) {
      const TestSuite& s = *unit.GetTestSuite(i);
      if (!s.should_run()) continue;
      for (int j = 0; j < s.total_test_count(); ++j) f(*s.GetTestInfo(j));
    }
  }
};

class TBriefPrinter : public EmptyTestEventListener {
 public:
  void OnTestPartResult(const TestPartResult& part) override { PrintPart(part); }
  void OnTestEnd(const TestInfo& t) override {
    if (!t.result()->Failed()) return;
    ColoredPrintf(TColor::Red, "[  FAILED  ] ");
    std::printf("%s.%s", t.test_suite_name(), t.name());
    PrintComment(t);
    PrintTime(t.result()->elapsed_time());
    std::printf("\n");
    std::fflush(stdout);
  }
  void OnTestIterationEnd(const UnitTest& unit, int) override {
    ColoredPrintf(TColor::Green, "[==========] ");
    std::printf("%s from %s ran.", Tests(unit.test_to_run_count()).c_str(),
                Suites(unit.test_suite_to_run_count()).c_str());
    if (GTEST_FLAG(print_time)) std::printf(" (%lld ms total)", static_cast<long long>(unit.elapsed_time()));
    std::printf("\n");
    ColoredPrintf(TColor::Green, "[  PASSED  ] ");
    std::printf("%s.\n", Tests(unit.successful_test_count()).c_str());
    if (int skipped = unit.skipped_test_count(); skipped > 0) {
      ColoredPrintf(TColor::Green, "[  SKIPPED ] ");
      std::printf("%s.\n", Tests(skipped).c_str());
    }
    const int disabled = unit.reportable_disabled_test_count();
    if (disabled && !GTEST_FLAG(also_run_disabled_tests)) {
      if (unit.Passed()) std::printf("\n");
      ColoredPrintf(TColor::Yellow, "  YOU HAVE %d DISABLED %s\n\n", disabled, disabled == 1 ? "TEST" : "TESTS");
    }
    std::fflush(stdout);
  }
};

}  // namespace

bool ShouldUseColor() {
  const std::string& c = GTEST_FLAG(color);
  auto is = [&](const char* v) { return strcasecmp(c.c_str(), v) == 0; };
  if (is("yes") || is("true") || is("t") || c == "1") return true;
  if (!is("auto")) return false;
  const char* term = std::getenv("TERM");
  const std::string t = term ? term : "";
  const bool colorTerm = t == "xterm" || t == "xterm-color" || t == "xterm-kitty" || t == "screen" ||
                         t == "tmux" || t == "rxvt-unicode" || t == "linux" || t == "cygwin" ||
                         t.find("256color") != std::string::npos;
  return colorTerm && ::isatty(STDOUT_FILENO);
}

TestEventListener* NewPrettyPrinter() { return new TPrettyPrinter(); }
TestEventListener* NewBriefPrinter() { return new TBriefPrinter(); }

}  // namespace testing::internal
