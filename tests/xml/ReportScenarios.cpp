// Runs the two XML report runners over fixed test trees, so that their
// reports and console output can be compared with expected files and read
// by the tools of CI servers.
//
//   xml_report_scenarios MODE OUTDIR   writes OUTDIR/MODE/nunit.xml,
//                                      OUTDIR/MODE/tessel-report.xml and
//                                      the console output to standard output
#include <cstdio>
#include <stdexcept>
#include <string>

#include "framework/TestFramework.h"
#include "platform/LocaleSettings.h"
#include "platform/Paths.h"
#include "runners/NUnitXMLTestRunner.h"
#include "runners/XMLTestRunner2.h"

using namespace TestFramework;

namespace {

// Elapsed times are fixed per test, so that every run writes the same report.
uint32_t FixedMs(const std::string& name) {
  if (name == "TestOne") return 15;
  if (name == "TestTwo") return 2;
  if (name == "TestSlow") return 3000;
  if (name == "TestRaises") return 1234;
  return 0;
}

class TTimedCase : public TTestCase {
  TESSEL_TESTCASE(TTimedCase, TTestCase)
 public:
  uint32_t ElapsedTestTime() override { return FixedMs(FTestName); }
};

class TTimedSuite : public TTestSuite {
 public:
  using TTestSuite::TTestSuite;
  uint32_t ElapsedTestTime() override { return 0; }
};

class TSampleTests : public TTimedCase {
  TESSEL_TESTCASE(TSampleTests, TTimedCase)
 public:
  TESSEL_TEST(T1) { Check(true); }
  TESSEL_TEST(T2) { CheckEquals(1, 2); }
};

class TCustomerTests : public TTimedCase {
  TESSEL_TESTCASE(TCustomerTests, TTimedCase)
 public:
  TESSEL_TEST(TestOne) { Check(true); }
  TESSEL_TEST(TestTwo) { CheckEquals(1, 2); }
};

class TBillingTests : public TTimedCase {
  TESSEL_TESTCASE(TBillingTests, TTimedCase)
 public:
  TESSEL_TEST(TestPasses) {
    Status("connected to \"db\"");
    Status("cache <warm> & ready");
    Check(true);
  }
  TESSEL_TEST(TestFails) { CheckEquals(std::string("Smith & Sons"), std::string("Smith"), "names"); }
  TESSEL_TEST(TestRaises) { throw std::runtime_error("disk \"full\" & <gone>"); }
  TESSEL_TEST(TestDisabled) { Check(true); }
};

class TNestedTests : public TTimedCase {
  TESSEL_TESTCASE(TNestedTests, TTimedCase)
 public:
  TESSEL_TEST(TestDeep) { Check(true); }
  TESSEL_TEST(TestSlow) { Check(true); }
};

class TFixtureTests : public TTimedCase {
  TESSEL_TESTCASE(TFixtureTests, TTimedCase)
 public:
  TESSEL_TEST(TestNeverRuns) { Check(true); }
  TESSEL_TEST(TestBeforeTearDown) { Check(true); }
};

class TBrokenSetUpSuite : public TTimedSuite {
 public:
  using TTimedSuite::TTimedSuite;
  void SetUp() override { throw ETestError("no database"); }
};

class TBrokenTearDownSuite : public TTimedSuite {
 public:
  using TTimedSuite::TTimedSuite;
  void TearDown() override { throw std::runtime_error("cannot drop the schema"); }
};

class TRateTests : public TTimedCase {
  TESSEL_TESTCASE(TRateTests, TTimedCase)
 public:
  TESSEL_TEST(TestPass) { Check(true); }
  TESSEL_TEST(TestFail) { Fail("broken"); }
  TESSEL_TEST(TestError) { throw ETestError("boom"); }
};

// Names and messages full of what XML cannot take as it is.
const std::string kHostile =
    "&<>\"' &amp; \x01\x08\x0c\x1b\x7f \xff\xc3 \xed\xa0\x80 \xef\xbf\xbe \xf4\x90\x80\x80 ]]>";

class THostileTests : public TTimedCase {
  TESSEL_TESTCASE(THostileTests, TTimedCase)
 public:
  std::string GetName() override { return FTestName + " " + kHostile; }
  TESSEL_TEST(TestPasses) {
    Status("status " + kHostile);
    Check(true);
  }
  TESSEL_TEST(TestMarkup) { Fail("expected: <\"Smith & Sons\"> but was: <'Smith'> <b>bold</b>"); }
  TESSEL_TEST(TestControls) { Fail("controls \x01\x02\x0b\x0c\x1f tab\tline\ncr\r end"); }
  TESSEL_TEST(TestBadUtf8) { throw std::runtime_error("bytes \xff\xfe\xc0\xaf\xed\xb0\x80\xe2\x82 end"); }
  TESSEL_TEST(TestHuge) {
    std::string big;
    big.reserve(1100000);
    while (big.size() < 1048576) big += "huge & <message> \"quoted\" \x01\xff ";
    Fail(big);
  }
};

ITestPtr FindChild(const ITestPtr& parent, const std::string& name) {
  for (const ITestPtr& t : parent->Tests())
    if (t->GetName() == name) return t;
  throw std::runtime_error("no test named " + name);
}

void RunBoth(const std::string& dir) {
  NUnitXMLTestRunner::RunRegisteredTests(dir + "/nunit.xml");
  XMLTestRunner2::RunRegisteredTests(dir + "/tessel-report.xml");
}

int Run(const std::string& mode, const std::string& dir) {
  if (mode == "nunit-sample") {
    ITestPtr a = TestSuite("A", {std::make_shared<TSampleTests>("T1"), std::make_shared<TSampleTests>("T2")});
    NUnitXMLTestRunner::RunTest(a, dir + "/nunit.xml");
  } else if (mode == "suitepath-sample") {
    Platform::FormatSettings().DecimalSeparator = ',';
    RegisterTests("A.B", {std::make_shared<TCustomerTests>("TestOne"), std::make_shared<TCustomerTests>("TestTwo")});
    XMLTestRunner2::RunRegisteredTests(dir + "/tessel-report.xml");
  } else if (mode == "mixed") {
    // Numbers in the reports must not follow the locale; the console does.
    Platform::FormatSettings().DecimalSeparator = ',';
    ITestSuitePtr billing = TBillingTests::Suite();
    FindChild(billing, "TestDisabled")->SetEnabled(false);
    RegisterTest("Mixed", billing);
    RegisterTest("Mixed.Nested", TNestedTests::Suite());
    RegisterTest("Mixed", std::make_shared<TBrokenSetUpSuite>(
                              "BrokenSetUp", TTestArray{std::make_shared<TFixtureTests>("TestNeverRuns")}));
    RegisterTest("Mixed", std::make_shared<TBrokenTearDownSuite>(
                              "BrokenTearDown", TTestArray{std::make_shared<TFixtureTests>("TestBeforeTearDown")}));
    RunBoth(dir);
  } else if (mode == "empty") {
    RegisterTest(std::make_shared<TTestSuite>("Empty"));
    RunBoth(dir);
  } else if (mode == "rate33") {
    RegisterTest("Rates", TRateTests::Suite());
    RunBoth(dir);
  } else if (mode == "hostile") {
    ITestSuitePtr outer = std::make_shared<TTestSuite>("Suite " + kHostile);
    outer->AddTest(THostileTests::Suite());
    RegisterTest(outer);
    RunBoth(dir);
  } else if (mode == "badpath") {
    // A report path below a plain file can never be created.
    std::string blocker = dir + "/blocker";
    if (std::FILE* f = std::fopen(blocker.c_str(), "w")) std::fclose(f);
    RegisterTest("A", TSampleTests::Suite());
    for (int runner = 0; runner < 2; ++runner) {
      try {
        if (runner == 0)
          NUnitXMLTestRunner::RunRegisteredTests(blocker + "/sub/nunit.xml");
        else
          XMLTestRunner2::RunRegisteredTests(blocker + "/sub/tessel-report.xml");
        std::printf("no error raised\r\n");
        return 1;
      } catch (const Exception& e) {
        std::printf("caught %s: %s\r\n", e.ClassType().Name, e.Message().c_str());
      }
    }
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s MODE OUTDIR\n", argv[0]);
    return 2;
  }
  std::string mode = argv[1];
  std::string dir = std::string(argv[2]) + "/" + mode;
  if (!Platform::ForceDirectories(dir)) {
    std::fprintf(stderr, "cannot create %s\n", dir.c_str());
    return 2;
  }
  try {
    int rc = Run(mode, dir);
    std::fflush(stdout);
    return rc;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "unexpected exception: %s\n", e.what());
    return 3;
  }
}
