// The XML runners' text helpers and the behaviour of both listeners inside
// real runs whose reports are read back from disk.
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "framework/TestFramework.h"
#include "platform/LocaleSettings.h"
#include "platform/Paths.h"
#include "runners/NUnitXMLTestRunner.h"
#include "runners/ReportText.h"
#include "runners/XMLTestRunner2.h"

using namespace TestFramework;

namespace {

const std::string kOut = XML_UNIT_OUT_DIR;

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Restores the locale settings a test changed.
struct TLocaleGuard {
  Platform::TFormatSettings saved = Platform::FormatSettings();
  ~TLocaleGuard() { Platform::FormatSettings() = saved; }
};

NUnitXMLTestRunner::TXMLTestListener* gNUnitListener = nullptr;

class TPathTests : public TTestCase {
  TESSEL_TESTCASE(TPathTests, TTestCase)
 public:
  TESSEL_TEST(TestA) { Check(true); }
  TESSEL_TEST(TestB) { Check(true); }
  TESSEL_TEST(TestWarns) {
    gNUnitListener->Warning(Self(), "careful & slow");
    Status("working");
    Check(true);
  }
  TESSEL_TEST(TestTwoFailures) { Fail("first"); }
  void TearDown() override {
    if (FTestName == "TestTwoFailures") throw std::runtime_error("second");
  }
};

// A wrapper node whose own tear-down fails after the wrapped test passed.
class TFailingDecorator : public TAbstractTestOf<ITestDecorator> {
 public:
  explicit TFailingDecorator(ITestPtr test) : TAbstractTestOf("(d) " + test->GetName()), FTests{std::move(test)} {}
  ITestPtr GetTest() override { return FTests.front(); }
  const TInterfaceList& Tests() override { return FTests; }
  int CountTestCases() override { return FTests.front()->CountTestCases(); }
  int CountEnabledTestCases() override { return FTests.front()->CountEnabledTestCases(); }
  void RunTest(TTestResult& r) override { FTests.front()->RunWithFixture(r); }
  void TearDown() override { throw std::runtime_error("decorator cleanup"); }

 private:
  TInterfaceList FTests;
};

ITestPtr Path(const std::string& method) { return std::make_shared<TPathTests>(method); }

std::shared_ptr<XMLTestRunner2::TXMLTestListener> RunSuitePath(const ITestPtr& tree, const std::string& file) {
  auto listener = std::make_shared<XMLTestRunner2::TXMLTestListener>(file);
  TestFramework::RunTest(tree, {listener});
  return listener;
}

}  // namespace

class TReportTextTests : public TTestCase {
  TESSEL_TESTCASE(TReportTextTests, TTestCase)
 public:
  TESSEL_TEST(TestStringReplaceAllAlwaysEnds) {
    struct {
      const char *text, *search, *replacement, *expected;
    } rows[] = {
        {"abc", "", "x", "abc"},             // empty search: unchanged
        {"aaa", "a", "aa", "aaaaaa"},        // replacement holds the search text
        {"a&b&", "&", "&amp;", "a&amp;b&amp;"},
        {"aab", "ab", "b", "ab"},            // replaced text is not scanned again
        {"", "a", "b", ""},
        {"<<", "<", "", ""},
    };
    for (const auto& r : rows)
      CheckEquals(std::string(r.expected), ReportText::StringReplaceAll(r.text, r.search, r.replacement), r.text);
  }

  TESSEL_TEST(TestMarkupIsEscaped) {
    CheckEquals("&amp;&lt;&gt;\"'", ReportText::XmlText("&<>\"'"));
    CheckEquals("&amp;&lt;&gt;&quot;&#39;", ReportText::XmlAttr("&<>\"'"));
    CheckEquals("&amp;amp; [[-xy-amp--]]", ReportText::XmlText("&amp; [[-xy-amp--]]"));
  }

  TESSEL_TEST(TestWhatXmlCannotCarryIsReplaced) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct {
      std::string in, out;
    } rows[] = {
        {"a\x01z", "a z"},
        {"\x0c\x1f\x0b", "   "},                              // form feed is no XML character either
        {"\t\n\r", "\t\n\r"},
        {"\x7f", "\x7f"},
        {"\xEF\xBF\xBE\xEF\xBF\xBF", "  "},                   // U+FFFE, U+FFFF
        {"\xC3\xA9 \xF0\x9F\x98\x80", "\xC3\xA9 \xF0\x9F\x98\x80"},
        {"\xff", fffd},
        {"x\xC3", "x" + fffd},                                // cut sequence
        {"\xC0\xAF", fffd + fffd},                            // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd},                 // encoded surrogate
        {"\xE2\x82z", fffd + "z"},                            // one mark for one broken sequence
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},      // above U+10FFFF
    };
    for (const auto& r : rows) CheckEquals(r.out, ReportText::XmlSafe(r.in), r.in);
    CheckEquals("a &amp; " + fffd, ReportText::XmlText("a\x02& \xfe"));
  }

  TESSEL_TEST(TestNumbersInReportsIgnoreTheLocale) {
    TLocaleGuard guard;
    Platform::FormatSettings().DecimalSeparator = ',';
    CheckEquals("3.0000", ReportText::FixedPoint(3000 / 1000.0, 4));
    CheckEquals("1.234", ReportText::FixedPoint(1.234, 3));
    CheckEquals("3,0000", ReportText::LocaleFixedPoint(3.0, 4));
  }

  TESSEL_TEST(TestDateTimeTextsFollowTheLocale) {
    TLocaleGuard guard;
    Platform::TDateTime t = Platform::EncodeDateTime(2026, 12, 7, 3, 4, 5, 0);
    CheckEquals("07/12/2026 03:04:05", ReportText::DateTimeToStr(t));
    Platform::FormatSettings().ShortDateFormat = "yyyy/m/d";
    Platform::FormatSettings().DateSeparator = '-';
    Platform::FormatSettings().LongTimeFormat = "h:nn:ss";
    Platform::FormatSettings().TimeSeparator = '.';
    CheckEquals("2026-12-7", ReportText::DateToStr(t));
    CheckEquals("3.04.05", ReportText::TimeToStr(t));
  }
};

class TNUnitReportTests : public TTestCase {
  TESSEL_TESTCASE(TNUnitReportTests, TTestCase)
 public:
  TESSEL_TEST(TestSuiteNamedLikeTheProgramIsTheRoot) {
    std::string file = kOut + "/root/nunit.xml";
    ITestPtr root = TestSuite(Upper(ReportText::ProgramFileName()), {Path("TestA")});
    NUnitXMLTestRunner::RunTest(root, file);
    std::string xml = ReadFile(file);
    CheckFalse(Contains(xml, "<test-suite"), xml);
    Check(Contains(xml, "<test-case name=\"TestA\" executed=\"True\""), xml);
  }

  TESSEL_TEST(TestHeaderCountsNeedTheEntryPoint) {
    std::string file = kOut + "/counts/nunit.xml";
    ITestPtr disabled = Path("TestB");
    disabled->SetEnabled(false);
    ITestPtr suite = TestSuite("S", {Path("TestA"), disabled});
    NUnitXMLTestRunner::RunTest(suite, file);
    Check(Contains(ReadFile(file), "<test-results total=\"2\" notrun=\"1\""));
    NUnitXMLTestRunner::RootSuite().reset();
    TestFramework::RunTest(suite, {std::make_shared<NUnitXMLTestRunner::TXMLTestListener>(file)});
    Check(Contains(ReadFile(file), "<test-results total=\"0\" notrun=\"0\""));
  }

  TESSEL_TEST(TestStatusAndWarningLinesStayInsideThePassingElement) {
    std::string file = kOut + "/warn/nunit.xml";
    auto listener = std::make_shared<NUnitXMLTestRunner::TXMLTestListener>(file);
    gNUnitListener = listener.get();
    TestFramework::RunTest(TestSuite("S", {Path("TestWarns")}), {listener});
    gNUnitListener = nullptr;
    std::string xml = ReadFile(file);
    size_t begin = xml.find("<test-case");
    size_t end = xml.find("</test-case>\r\n", begin) + 14;
    CheckEquals(
        "<test-case name=\"S.TestWarns\" executed=\"True\" success=\"True\" time=\"0.0000\" result=\"Pass\" >\r\n"
        "<status>STATUS: S.TestWarns: working</status>\r\n"
        "<warning>WARNING: S.TestWarns: careful &amp; slow</warning>\r\n"
        "</test-case>\r\n",
        xml.substr(begin, end - begin));
  }

  TESSEL_TEST(TestReportDirectoryIsCreated) {
    std::string file = kOut + "/new-nunit/a/b/nunit.xml";
    NUnitXMLTestRunner::RunTest(TestSuite("S", {Path("TestA")}), file);
    Check(Contains(ReadFile(file), "</test-results>"));
  }
};

class TSuitePathReportTests : public TTestCase {
  TESSEL_TESTCASE(TSuitePathReportTests, TTestCase)
 public:
  TESSEL_TEST(TestPathsFollowTheOpenSuites) {
    ITestPtr c = TestSuite("C", {Path("TestA")});
    ITestPtr b = TestSuite("B", {c, Path("TestB")});
    ITestPtr program = TestSuite(Upper(ReportText::ProgramFileName()), {TestSuite("A", {b})});
    auto listener = RunSuitePath(program, kOut + "/paths/report.xml");
    const auto& records = listener->Testes();
    CheckEquals(2, static_cast<int>(records.size()));
    CheckEquals("A.B.C.TPathTests", records[0]->Classe());
    CheckEquals("A.B.TPathTests", records[1]->Classe());
    CheckEquals("TestB", records[1]->Name());
  }

  TESSEL_TEST(TestDecoratorFailureGetsItsOwnRecord) {
    ITestPtr tree = TestSuite("S", {std::make_shared<TFailingDecorator>(Path("TestA"))});
    auto listener = RunSuitePath(tree, kOut + "/decorator/report.xml");
    const auto& records = listener->Testes();
    CheckEquals(2, static_cast<int>(records.size()));
    CheckEquals("TestA", records[0]->Name());
    CheckEquals("", records[0]->FailureText(), "the wrapped test passed");
    CheckEquals("(d) TestA", records[1]->Name());
    CheckEquals("S.(d) TestA", records[1]->Classe());
    CheckEquals("std::runtime_error", records[1]->FailureTipe());
    CheckEquals("TearDown FAILED: decorator cleanup", records[1]->FailureText());
  }

  TESSEL_TEST(TestSecondFailureOfATestKeepsTheFirst) {
    auto listener = RunSuitePath(TestSuite("S", {Path("TestTwoFailures")}), kOut + "/two/report.xml");
    const auto& records = listener->Testes();
    CheckEquals(1, static_cast<int>(records.size()));
    CheckEquals("ETestFailure", records[0]->FailureTipe());
    CheckEquals("first\r\n[std::runtime_error] TearDown FAILED: second", records[0]->FailureText());
  }

  TESSEL_TEST(TestDisabledTestGetsNoRecord) {
    ITestPtr disabled = Path("TestB");
    disabled->SetEnabled(false);
    auto listener = RunSuitePath(TestSuite("S", {Path("TestA"), disabled}), kOut + "/disabled/report.xml");
    CheckEquals(1, static_cast<int>(listener->Testes().size()));
    CheckEquals("TestA", listener->Testes()[0]->Name());
  }

  TESSEL_TEST(TestReportDirectoryIsCreatedBeforeTheRun) {
    std::string file = kOut + "/new-suitepath/a/b/tessel-report.xml";
    XMLTestRunner2::RunTest(TestSuite("S", {Path("TestA")}), file);
    Check(Contains(ReadFile(file), "<testcase classname=\"S.TPathTests\" name=\"TestA\" time=\"0.0000\"/>"));
  }

  TESSEL_TEST(TestUnwritableReportRaisesNamingThePath) {
    std::string blocker = kOut + "/blocker";
    Platform::ForceDirectories(kOut);
    std::ofstream(blocker) << "a file, not a folder";
    std::string file = blocker + "/tessel-report.xml";
    try {
      XMLTestRunner2::RunTest(TestSuite("S", {Path("TestA")}), file);
      Fail("no error for " + file);
    } catch (const EInOutError& e) {
      Check(Contains(e.Message(), "\"" + file + "\""), e.Message());
    }
  }
};

TESSEL_REGISTER("XML", TReportTextTests);
TESSEL_REGISTER("XML", TNUnitReportTests);
TESSEL_REGISTER("XML", TSuitePathReportTests);
