// The console listener's texts and its handling of a standard output that
// fails, checked inside one process (whole runs are compared in the golden
// tests next to this file).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "framework/TestFramework.h"
#include "runners/TextTestRunner.h"

using namespace TestFramework;
using TextTestRunner::TTextTestListener;

namespace {

class TSubject : public TTestCase {
  TESSEL_TESTCASE_IN_UNIT(TSubject, TTestCase, "Shop")
 public:
  TESSEL_TEST(Pay) { Check(true); }
};

// Gives the tests access to the listener's indentation.
class TOpenListener : public TTextTestListener {
 public:
  void SetIndent(int32_t level) { IndentLevel = level; }
};

// Points standard output (the descriptor, under stdio) at a file or device
// for as long as it lives.
class TStdOutRedirect {
 public:
  explicit TStdOutRedirect(const std::string& path) {
    std::fflush(stdout);
    FSaved = ::dup(STDOUT_FILENO);
    To(path);
  }
  ~TStdOutRedirect() {
    std::fflush(stdout);
    std::clearerr(stdout);
    ::dup2(FSaved, STDOUT_FILENO);
    ::close(FSaved);
  }
  void To(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      ::dup2(fd, STDOUT_FILENO);
      ::close(fd);
    }
  }

 private:
  int FSaved = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string TempPath(const char* tag) {
  return "/tmp/tessel-listener-" + std::to_string(::getpid()) + "-" + tag + ".txt";
}

// A result holding the given numbers of errors and failures of TSubject.Pay.
std::unique_ptr<TTestResult> ResultWith(int errors, int failures) {
  auto r = std::make_unique<TTestResult>();
  ITestPtr t = std::make_shared<TSubject>("Pay");
  TCodeLocation at;
  at.File = "shop/PayTests.cpp";
  at.Line = 42;
  for (int i = 0; i < errors; ++i) {
    TExceptionInfo e;
    e.Class = &ETestError::ClassInfo();
    e.ClassName = "ETestError";
    e.Message = "error " + std::to_string(i + 1);
    r->AddError(t, e, TCodeLocation{}, "SetUp FAILED: ");
  }
  for (int i = 0; i < failures; ++i) r->AddFailure(t, at, "failure " + std::to_string(i + 1));
  return r;
}

class TTextListenerTests : public TTestCase {
  TESSEL_TESTCASE(TTextListenerTests, TTestCase)
 public:
  TESSEL_TEST(TestTruncateString) {
    auto l = std::make_shared<TTextTestListener>();
    struct {
      const char* Text;
      int Length;
      const char* Expected;
    } const cases[] = {
        {"abcdef", 3, "abc..."}, {"abcdef", 6, "abcdef"}, {"abcdef", 10, "abcdef"},
        {"abcdef", 0, "..."},    {"", 0, ""},             {"abcdef", -1, "abcdef"},
    };
    for (const auto& c : cases)
      CheckEquals(c.Expected, l->TruncateString(c.Text, c.Length), c.Text + std::string("/") +
                                                                       std::to_string(c.Length));
  }

  TESSEL_TEST(TestPrefixCharsFollowIndentLevel) {
    auto l = std::make_shared<TOpenListener>();
    const struct {
      int Level;
      const char* Prefix;
    } cases[] = {{0, ""}, {1, " "}, {4, "    "}, {-2, ""}};
    for (const auto& c : cases) {
      l->SetIndent(c.Level);
      CheckEquals(c.Prefix, l->PrefixChars(), "level " + std::to_string(c.Level));
    }
  }

  TESSEL_TEST(TestTimeLine) {
    const struct {
      double Ms;
      const char* Line;
    } cases[] = {
        {0, "Time: 0:00:00.0"},         {1005, "Time: 0:00:01.5"},       {59999, "Time: 0:00:59.999"},
        {3723004, "Time: 1:02:03.4"},   {36000250, "Time: 10:00:00.250"},
    };
    for (const auto& c : cases)
      CheckEquals(c.Line, TextTestRunner::FormatRunTime(c.Ms / 86400000.0), std::to_string(c.Ms));
  }

  TESSEL_TEST(TestHeaderOfSuccessfulAndFailedRuns) {
    auto l = std::make_shared<TTextTestListener>();
    CheckEquals("\r\nOK: 0 tests\r\n", l->PrintHeader(*ResultWith(0, 0)));
    CheckEquals(
        "\r\nFAILURES!!!\r\nTest Results:\r\n"
        "Run:             0\r\nFailures:        2\r\nErrors:          1\r\n",
        l->PrintHeader(*ResultWith(1, 2)));
    auto stopped = ResultWith(0, 0);
    stopped->Stop();
    CheckEquals(
        "\r\nFAILURES!!!\r\nTest Results:\r\n"
        "Run:             0\r\nFailures:        0\r\nErrors:          0\r\n",
        l->PrintHeader(*stopped), "a stopped run is not successful");
  }

  TESSEL_TEST(TestSectionHeadingsAndItems) {
    auto l = std::make_shared<TTextTestListener>();
    auto none = ResultWith(0, 0);
    CheckEquals("", l->PrintErrors(*none));
    CheckEquals("", l->PrintFailures(*none));

    auto one = ResultWith(1, 1);
    CheckEquals(
        "There was 1 error:\r\n"
        "  1) [Shop] TSubject.Pay: ETestError\r\n"
        "     at \r\n"
        "      \"SetUp FAILED: error 1\"\r\n"
        "\r\n",
        l->PrintErrors(*one));
    CheckEquals(
        "There was 1 failure:\r\n"
        "  1) [Shop] TSubject.Pay: EPostTestFailure\r\n"
        "     at shop/PayTests.cpp:42\r\n"
        "      \"failure 1\"\r\n"
        "\r\n",
        l->PrintFailures(*one));
    CheckEquals(l->PrintHeader(*one) + l->PrintErrors(*one) + l->PrintFailures(*one), l->Report(*one),
                "header, then errors, then failures");

    auto two = ResultWith(2, 3);
    std::string errors = l->PrintErrors(*two);
    CheckEquals(0u, errors.find("There were 2 errors:\r\n  1) "), errors);
    CheckTrue(errors.find("\r\n  2) [Shop] TSubject.Pay: ETestError\r\n") != std::string::npos, errors);
    CheckEquals(0u, l->PrintFailures(*two).find("There were 3 failures:\r\n"));
  }

  TESSEL_TEST(TestItemNumbersAreRightAlignedInThreeColumns) {
    auto l = std::make_shared<TTextTestListener>();
    std::string items = l->PrintFailureItems(*ResultWith(0, 1000));
    for (const char* number : {"\r\n  9) [", "\r\n 10) [", "\r\n 99) [", "\r\n100) [", "\r\n1000) ["})
      CheckTrue(items.find(number) != std::string::npos, number);
    CheckEquals(0u, items.find("  1) ["));
  }

  TESSEL_TEST(TestShouldRunTestAnswersTheEnabledFlag) {
    auto l = std::make_shared<TTextTestListener>();
    ITestPtr t = std::make_shared<TSubject>("Pay");
    CheckTrue(l->ShouldRunTest(t));
    t->SetEnabled(false);
    CheckFalse(l->ShouldRunTest(t));
  }

  TESSEL_TEST(TestCountersCountWhatTheListenerWasTold) {
    std::string path = TempPath("counters");
    ::unlink(path.c_str());
    auto l = std::make_shared<TTextTestListener>();
    auto suite = TestSuite("S", {std::make_shared<TSubject>("Pay"), std::make_shared<TSubject>("Missing")});
    std::unique_ptr<TTestResult> result;
    {
      TStdOutRedirect out(path);
      result = TestFramework::RunTest(suite, {l});
      l->AddFailure(result->GetError(0));  // one more than the result holds
    }
    ::unlink(path.c_str());
    CheckEquals(1, result->ErrorCount(), "no method named Missing");
    CheckEquals(1, l->ErrorCount());
    CheckEquals(1, l->FailureCount());
    {
      TStdOutRedirect out("/dev/null");
      l->TestingStarts();
    }
    CheckEquals(0, l->ErrorCount() + l->FailureCount(), "a new run starts from zero");
  }

  TESSEL_TEST(TestFailedWriteRaisesInOutErrorAndLaterWritesWork) {
    std::string path = TempPath("writes");
    ::unlink(path.c_str());
    auto l = std::make_shared<TTextTestListener>();
    ITestPtr t = std::make_shared<TSubject>("Pay");
    std::string message;
    {
      TStdOutRedirect out(path);
      l->Status(t, "before");
      out.To("/dev/full");
      try {
        l->Status(t, "lost");
      } catch (const EInOutError& e) {
        message = e.Message();
      }
      try {
        l->TestingStarts();
      } catch (const EInOutError&) {
        message += " / again";
      }
      out.To(path);
      l->Status(t, "after");
    }
    std::string written = ReadFile(path);
    ::unlink(path.c_str());
    CheckEquals("Cannot write to standard output: No space left on device / again", message);
    CheckEquals("Pay: before\r\nPay: after\r\n", written, "nothing of the failed writes comes out later");
  }
};

TESSEL_REGISTER("Runners.Text", TTextListenerTests);

}  // namespace
