// The command line's parts inside one process: options, patterns, shards,
// selection and order, the reports' behaviour when a run ends early, and
// the isolating result over real child processes.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "framework/TesselConsts.h"
#include "framework/TestFramework.h"
#include "runners/NUnitXMLTestRunner.h"
#include "runners/TesselCommandLine.h"
#include "runners/XMLTestRunner2.h"

using namespace TestFramework;
using namespace TesselCommandLine;

namespace {

const std::string kOut = CLI_UNIT_OUT_DIR;

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines) s += l + "\n";
  return s;
}

// Message of the EUsageError that f raises, or "(none)".
template <class F>
std::string UsageMessage(F f) {
  try {
    f();
  } catch (const EUsageError& e) {
    return e.Message();
  }
  return "(none)";
}

// Sets an environment variable for one scope.
struct TEnvGuard {
  std::string Name;
  TEnvGuard(const char* name, const char* value) : Name(name) { ::setenv(name, value, 1); }
  ~TEnvGuard() { ::unsetenv(Name.c_str()); }
};

// Every listener call of a run as a line.
class TRecorder : public ITestListener {
 public:
  std::vector<std::string> Lines;
  void Status(const ITestPtr& t, const std::string& m) override { Lines.push_back("status " + t->GetName() + " " + m); }
  void TestingStarts() override {}
  void StartTest(const ITestPtr& t) override {
    if (IsTestMethod(t)) Lines.push_back("start " + t->GetName());
  }
  void AddSuccess(const ITestPtr& t) override {
    if (IsTestMethod(t)) Lines.push_back("pass " + t->GetName());
  }
  void AddError(TTestFailure& e) override { Add("error", e); }
  void AddFailure(TTestFailure& f) override { Add("failure", f); }
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult&) override {}
  bool ShouldRunTest(const ITestPtr&) override { return true; }

 private:
  void Add(const char* kind, TTestFailure& f) {
    std::string where = f.LocationInfo();
    where = where.substr(where.rfind('/') + 1);
    Lines.push_back(std::string(kind) + " " + f.FailedTest()->GetName() + " [" + f.ThrownExceptionName() + "] " +
                    f.ThrownExceptionMessage() + " @" + where);
  }
};

volatile int* volatile gNowhere = nullptr;

class TChildTests : public TTestCase {
  TESSEL_TESTCASE(TChildTests, TTestCase)
 public:
  static constexpr int kPassesLine = __LINE__ + 1;
  TESSEL_TEST(TestPasses) { Check(true); }
  TESSEL_TEST(TestSegfaults) { *gNowhere = 1; }
  TESSEL_TEST(TestReports) {
    Status("half way");
    CheckEquals(1, 2, "count");
  }
  TESSEL_TEST(TestStops) { throw EStopTestsFailure("stop here"); }
  TESSEL_TEST(TestNeverRuns) { Check(true); }
};

std::string gPeekFile, gPeekSeen;

class TPeekTests : public TTestCase {
  TESSEL_TESTCASE(TPeekTests, TTestCase)
 public:
  TESSEL_TEST(TestPeek) {
    gPeekSeen = ReadFile(gPeekFile);
    Check(true);
  }
};

class TLeaves : public TTestCase {
  TESSEL_TESTCASE(TLeaves, TTestCase)
 public:
  TESSEL_TEST(a1) { Check(true); }
  TESSEL_TEST(a2) { Check(true); }
  TESSEL_TEST(a3) { Check(true); }
  TESSEL_TEST(b1) { Check(true); }
  TESSEL_TEST(b2) { Check(true); }
  TESSEL_TEST(b3) { Check(true); }
  TESSEL_TEST(s1) { Check(true); }
  TESSEL_TEST(s2) { Check(true); }
  TESSEL_TEST(s3) { Check(true); }
  TESSEL_TEST(s4) { Check(true); }
  TESSEL_TEST(s5) { Check(true); }
  TESSEL_TEST(s6) { Check(true); }
};

ITestPtr Leaf(const std::string& name) { return std::make_shared<TLeaves>(name); }

// Three suites, one of them nested, twelve cases in all.
ITestSuitePtr SampleTree() {
  auto root = TestSuite("root", {});
  auto a = TestSuite("A", {Leaf("a1"), Leaf("a2"), Leaf("a3")});
  auto b = TestSuite("B", {TestSuite("Inner", {Leaf("b1"), Leaf("b2")}), Leaf("b3")});
  auto slow = TestSuite("Slow", {Leaf("s1"), Leaf("s2"), Leaf("s3"), Leaf("s4"), Leaf("s5"), Leaf("s6")});
  root->AddTest(a);
  root->AddTest(b);
  root->AddTest(slow);
  return root;
}

std::vector<std::string> CasePaths(const std::vector<TNodeInfo>& nodes) {
  std::vector<std::string> out;
  for (const TNodeInfo& n : nodes)
    if (n.IsCase) out.push_back(n.Path);
  return out;
}

class TCommandLineTests : public TTestCase {
  TESSEL_TESTCASE(TCommandLineTests, TTestCase)
 public:
  TESSEL_TEST(TestGlob) {
    struct Row {
      const char* pattern;
      const char* text;
      bool match;
    } rows[] = {
        {"A.*", "A.B.c", true},
        {"A.*", "A", false},
        {"*", "", true},
        {"*.Test?", "S.TestA", true},
        {"*.Test?", "S.TestAB", false},
        {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},
        {"**x", "abx", true},
        {"A.B", "A.BC", false},
        // Backtracking stays linear: this used to be the slow case of naive globbing.
        {"*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
    };
    for (const Row& r : rows)
      CheckEquals(r.match, GlobMatch(r.pattern, r.text), std::string(r.pattern) + " on " + r.text);
  }

  TESSEL_TEST(TestFilterPatterns) {
    TPathFilter f({"A,B.Inner", "-*.a2"});
    struct Row {
      const char* path;
      bool chosen;
    } rows[] = {{"A.a1", true}, {"A.a2", false}, {"B.Inner.b1", true}, {"B.b3", false}, {"Slow.s1", false}};
    for (const Row& r : rows) CheckEquals(r.chosen, f.Chooses(r.path), r.path);
    // Decorators name themselves with blanks and brackets: those are names, not syntax.
    CheckTrue(TPathFilter({"S.3 x Setup decorator ((d) T)"}).Chooses("S.3 x Setup decorator ((d) T).T.t1"), "blanks");
    TPathFilter onlyExclusions({"-Slow"});
    Check(onlyExclusions.Chooses("A.a1") && !onlyExclusions.Chooses("Slow.s1"), "exclusions alone");

    struct Bad {
      const char* list;
      const char* says;
    } bad[] = {{"A,,B", "an empty pattern"},
               {"-", "an empty pattern"},
               {"A..B", "an empty name between dots"},
               {"A.", "an empty name between dots"},
               {"-.x", "an empty name between dots"}};
    for (const Bad& b : bad) {
      std::string msg = UsageMessage([&] { TPathFilter({b.list}); });
      Check(msg.find(b.says) != std::string::npos && msg.find(b.list) != std::string::npos,
            std::string(b.list) + " gave: " + msg);
    }
  }

  TESSEL_TEST(TestOptionErrors) {
    struct Row {
      std::vector<std::string> args;
      const char* says;
    } rows[] = {
        {{"--frobnicate"}, "unknown option \"--frobnicate\""},
        {{"-x"}, "unknown option \"-x\""},
        {{"--repeat=0"}, "--repeat wants a whole number from 1 to 1000000, not \"0\""},
        {{"--repeat=3x"}, "not \"3x\""},
        {{"--filter"}, "--filter needs a value"},
        {{"--filter="}, "--filter needs a value"},
        {{"--runner=html"}, "--runner: unknown kind \"html\" (choose text, nunit, junit or gui)"},
        {{"--report=text:a.txt"}, "--report: unknown kind \"text\" (choose nunit or junit)"},
        {{"--report=nunit"}, "--report wants KIND:FILE"},
        {{"--shard=4/4"}, "--shard's index wants a whole number from 0 to 3"},
        {{"--shard=1"}, "--shard wants INDEX/COUNT"},
        {{"--seed=5"}, "--seed is used only with --shuffle"},
        {{"--isolate=yes"}, "--isolate takes no value"},
        {{"--list=xml"}, "--list takes no value or \"json\""},
        {{"--jobs=0"}, "--jobs (or auto) wants a whole number from 1 to 1024, not \"0\""},
        {{"--jobs=many"}, "not \"many\""},
        {{"--in-process", "--timeout=3"}, "--in-process runs every test in this process"},
        {{"--isolate", "--in-process"}, "--in-process runs every test in this process"},
        {{"--runner=nunit", "--output=a.xml", "--report=junit:a.xml"}, "\"a.xml\" is named for two reports"},
    };
    for (const Row& r : rows) {
      std::string msg = UsageMessage([&] { ParseOptions(r.args); });
      Check(msg.find(r.says) != std::string::npos, r.args[0] + " gave: " + msg);
    }
  }

  TESSEL_TEST(TestOptionsAndEnvironment) {
    TOptions o =
        ParseOptions({"--filter=A", "--filter=-B", "--runner=junit", "--output=out.xml", "--report=nunit:n.xml",
                      "--repeat=3", "--shuffle", "--seed=42", "--shard=1/3", "--timeout=5"});
    CheckEquals(std::string("A|-B"), o.Filters.at(0) + "|" + o.Filters.at(1));
    Check(o.Runner == TRunnerKind::JUnit && o.Output == "out.xml" && o.Reports.size() == 1, "runner and reports");
    Check(o.Repeat == 3 && o.Shuffle && o.HasSeed && o.Seed == 42, "repeat and order");
    Check(o.ShardIndex == 1 && o.ShardCount == 3 && !o.Isolate && o.Supervised && o.Timeout == 5,
          "shard, and --timeout needs workers only");
    Check(ParseOptions({"--jobs=auto"}).Jobs >= 1, "--jobs=auto is the number of cores");

    TEnvGuard total("TEST_TOTAL_SHARDS", "4"), index("TEST_SHARD_INDEX", "2"),
        status("TEST_SHARD_STATUS_FILE", "/tmp/status"), xml("XML_OUTPUT_FILE", "/tmp/bazel.xml");
    TOptions bazel = ParseOptions({});
    Check(bazel.ShardIndex == 2 && bazel.ShardCount == 4 && bazel.ShardStatusFile == "/tmp/status", "Bazel's shard");
    Check(bazel.Reports.size() == 1 && bazel.Reports[0].Kind == TRunnerKind::JUnit &&
              bazel.Reports[0].File == "/tmp/bazel.xml",
          "XML_OUTPUT_FILE adds a junit report");
    TOptions mine = ParseOptions({"--shard=0/2", "--runner=junit", "--output=/tmp/bazel.xml"});
    Check(mine.ShardCount == 2 && mine.Reports.empty(), "the command line wins, and one report per file");
    TEnvGuard badIndex("TEST_SHARD_INDEX", "4");
    Check(UsageMessage([] { ParseOptions({}); }).find("TEST_SHARD_INDEX") != std::string::npos,
          "an index past the shards is an error");
  }

  TESSEL_TEST(TestShardsPartitionTheTree) {
    ITestSuitePtr root = SampleTree();
    std::vector<TNodeInfo> nodes = ListNodes(root);
    std::vector<std::string> all = CasePaths(nodes);
    CheckEquals(12, static_cast<int>(all.size()), "cases in the sample");
    for (int n = 1; n <= 13; ++n) {
      std::multiset<std::string> seen;
      for (int i = 0; i < n; ++i) {
        std::vector<TNodeInfo> shard = SelectNodes(nodes, TPathFilter(), i, n);
        std::set<std::string> paths;
        for (const TNodeInfo& s : shard) paths.insert(s.Path);
        for (const TNodeInfo& s : shard) {
          if (s.IsCase) seen.insert(s.Path);
          // Every chosen node's suite is chosen too, or the run never reaches it.
          size_t dot = s.Path.rfind('.');
          if (dot != std::string::npos)
            Check(paths.contains(s.Path.substr(0, dot)), s.Path + " without its suite in shard " + std::to_string(i));
        }
      }
      CheckEquals(Join(all), Join(std::vector<std::string>(seen.begin(), seen.end())),
                  "each case in exactly one of " + std::to_string(n) + " shards");
    }
    CheckEquals(std::string("B.Inner.b1\nB.Inner.b2\n"),
                ListLines(SelectNodes(nodes, TPathFilter({"B.*", "-B.b3"}), 0, 1)), "filter");
  }

  TESSEL_TEST(TestSelectionGovernsTheRun) {
    ITestSuitePtr root = SampleTree();
    std::vector<TNodeInfo> chosen = SelectNodes(ListNodes(root), TPathFilter({"A.a2,Slow.s6"}), 0, 1);
    auto recorder = std::make_shared<TRecorder>();
    auto selection = SelectionListener(root, chosen);
    TTestResult result;
    result.AddListener(selection);
    result.AddListener(recorder);
    // The root itself is not in the list; the run must still enter it.
    root->Run(result);
    CheckEquals(std::string("start a2\npass a2\nstart s6\npass s6\n"), Join(recorder->Lines));
    CheckEquals(2, result.RunCount(), "run count");
  }

  TESSEL_TEST(TestShuffleIsReproducibleAndUndone) {
    ITestSuitePtr root = SampleTree();
    std::string before = ListLines(ListNodes(root));
    std::string first, second;
    {
      TShuffle s(root, 7);
      first = ListLines(ListNodes(root));
    }
    CheckEquals(before, ListLines(ListNodes(root)), "order restored");
    {
      TShuffle s(root, 7);
      second = ListLines(ListNodes(root));
    }
    CheckEquals(first, second, "same seed, same order");
    Check(first != before, "seed 7 changes the order of twelve cases");
  }

  TESSEL_TEST(TestListJson) {
    ITestSuitePtr root = TestSuite("root", {});
    auto quoted = TestSuite("say \"hi\"\\", {});
    quoted->AddSuite(TChildTests::Suite());
    root->AddTest(quoted);
    std::string json = ListJson(ListNodes(root));
    Check(json.find(R"({"path": "say \"hi\"\\", "name": "say \"hi\"\\", "kind": "suite")") != std::string::npos,
          "names escaped: " + json.substr(0, 200));
    std::string line = std::to_string(TChildTests::kPassesLine);
    Check(json.find(R"("kind": "case", "class": "TChildTests", "file": ")") != std::string::npos &&
              json.find("CommandLineTests.cpp\", \"line\": " + line + ", \"enabled\": true, \"runCount\": 1") !=
                  std::string::npos,
          "a case's class, file and line: " + json);
  }

  TESSEL_TEST(TestEmptyReportPathIsAnError) {
    for (bool nunit : {true, false}) {
      ITestListenerPtr l;
      if (nunit)
        l = std::make_shared<NUnitXMLTestRunner::TXMLTestListener>("");
      else
        l = std::make_shared<XMLTestRunner2::TXMLTestListener>("");
      try {
        TestFramework::RunTest(TestSuite("s", {Leaf("a1")}), {l});
        Fail(nunit ? "NUnit: no error" : "suite-path: no error");
      } catch (const EInOutError& e) {
        CheckEquals(std::string(TesselConsts::sXmlEmptyReportPath), e.Message());
      }
    }
  }

  TESSEL_TEST(TestNUnitReportClosedAfterThrowingListener) {
    const std::string file = kOut + "/thrown/nunit.xml";
    // The run loop leaves the suites without ending them when a listener
    // throws; the report must still close every element it opened.
    class TThrower : public TRecorder {
     public:
      void StartTest(const ITestPtr& t) override {
        if (t->GetName() == "b1") throw std::runtime_error("listener broke");
      }
    };
    auto nunit = std::make_shared<NUnitXMLTestRunner::TXMLTestListener>(file);
    nunit->SetConsoleOutput(false);
    // The suite around b1 records the listener's exception as its error.
    auto result = TestFramework::RunTest(SampleTree(), {nunit, std::make_shared<TThrower>()});
    CheckEquals(1, result->ErrorCount(), "the listener's exception");
    std::string xml = ReadFile(file);
    CheckEquals(Occurrences(xml, "<test-suite "), Occurrences(xml, "</test-suite>"), "suites closed: " + xml);
    CheckEquals(Occurrences(xml, "<results>"), Occurrences(xml, "</results>"), "results closed");
    Check(xml.ends_with("</test-results>\r\n"), "the report ends");
    Check(xml.find("A.a3\" executed=\"True\" success=\"True\"") != std::string::npos, "what ran before is kept");
  }

  TESSEL_TEST(TestSuitePathReportReplacedWhenComplete) {
    const std::string dir = kOut + "/replace";
    const std::string file = dir + "/report.xml";
    std::filesystem::create_directories(dir);
    std::ofstream(file) << "previous";
    gPeekFile = file;
    auto l = std::make_shared<XMLTestRunner2::TXMLTestListener>(file);
    l->SetConsoleOutput(false);
    TestFramework::RunTest(TPeekTests::Suite(), {l});
    CheckEquals(std::string("previous"), gPeekSeen, "the old report stays while the run goes on");
    Check(ReadFile(file).find("<testsuites") != std::string::npos, "then the new one replaces it");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
    CheckEquals(1, files, "no file left beside it");
  }
};

}  // namespace

TESSEL_REGISTER("CommandLine", TCommandLineTests);
