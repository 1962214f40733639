// Names and report paths as users give them, and the memory and window a
// program leaves: names no INI file can hold, names that listings must
// carry (a NUL, invalid UTF-8, quotes, ";", brackets, "$", "\"), report
// paths that are folders or one file twice, a filtered NUnit header, the
// static dialog chain under valgrind, and a saved window of 50000 pixels.
#include <sys/stat.h>

#include <QFile>
#include <QImage>
#include <cstdio>
#include <functional>

#include "framework/TestFramework.h"
#include "platform/IniFiles.h"
#include "platform/Utf8.h"
#include "runners/XMLTestRunner2.h"
#include "tests/hostile/HostileNames.h"
#include "tests/hostile/Support.h"

using namespace TestFramework;
using namespace Hostile;

namespace {

const char* const kPython = "/usr/bin/python3";

class TQuietCase : public TAbstractTest {
 public:
  using TAbstractTest::TAbstractTest;
  void RunTest(TTestResult&) override { ++Runs; }
  static inline int Runs = 0;
};

std::string Trimmed(std::string s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

// The name as JSON carries it: each byte outside a valid UTF-8 sequence as U+FFFD.
std::string AsJsonText(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size();) {
    char32_t cp = 0;
    size_t n = static_cast<unsigned char>(name[i]) < 0x80 ? 1 : Platform::DecodeUtf8(name, i, cp);
    out += n ? name.substr(i, n) : "\xEF\xBF\xBD";
    i += n ? n : 1;
  }
  return out;
}

class TNameTests : public TTestCase {
  TESSEL_TESTCASE(TNameTests, TTestCase)
 public:
  // Tests whose names an INI file cannot hold lose their own settings,
  // nobody else's, and are named once each.
  TESSEL_TEST(TestConfigurationKeepsWhatItCan) {
    const std::string file = FreshFolder("config") + "/tessel.ini";
    auto build = [] {
      auto bad = TestSuite("Su\nite", {std::make_shared<TQuietCase>("Inner"), std::make_shared<TQuietCase>("Other")});
      return TestSuite("Root", {std::make_shared<TQuietCase>("Normal"), std::make_shared<TQuietCase>("a=b"),
                                std::make_shared<TQuietCase>("[bracket"), std::make_shared<TQuietCase>(";semi"),
                                std::make_shared<TQuietCase>("#hash"), bad, std::make_shared<TQuietCase>("Last")});
    };
    ITestSuitePtr tree = build();
    std::function<void(const ITestPtr&)> untick = [&](const ITestPtr& t) {
      t->SetEnabled(false);
      t->SetRunCount(3);
      for (const ITestPtr& c : t->Tests()) untick(c);
    };
    for (const ITestPtr& t : tree->Tests()) untick(t);
    std::vector<std::string> names;
    std::string message;
    try {
      tree->SaveConfiguration(file, false, true);
    } catch (const Platform::EIniNamesNotKept& e) {
      names = e.Names();
      message = e.what();
    }
    CheckEquals(std::string("a=b|[bracket|;semi|#hash|Su\nite"), Joined(names),
                "each name left out, once");
    CheckTrue(Contains(message, "\"Su\\nite\"") && Contains(message, file) && Contains(message, "Everything else"),
              "one message naming them: " + message);
    ITestSuitePtr back = build();
    back->LoadConfiguration(file, false, true);
    for (const ITestPtr& t : back->Tests()) {
      const std::string name = t->GetName();
      const bool kept = name == "Normal" || name == "Last";
      CheckEquals(!kept, t->GetEnabled(), name + ": enabled state");
      CheckEquals(kept ? 3 : 1, t->GetRunCount(), name + ": run count");
    }
  }

  // --list prints every path whole, NUL included; --list=json is JSON that
  // Python reads, invalid bytes replaced; each node's filter runs it alone.
  TESSEL_TEST(TestListingsCarryEveryName) {
    const std::string folder = FreshFolder("listing");
    TRun lines = RunProgram({HOSTILE_NAMES, "--list"}, {}, folder, folder);
    std::string expected;
    for (const std::string& p : HostileNames::CasePaths()) expected += p + "\n";
    CheckEquals(HostileNames::Hex(expected), HostileNames::Hex(lines.Out), "--list, byte for byte");

    TRun json = RunProgram({HOSTILE_NAMES, "--list=json"}, {}, folder, folder);
    WriteFile(folder + "/list.json", json.Out);
    TRun read = RunProgram({kPython, "-c",
                            "import json,sys\n"
                            "for n in json.load(open(sys.argv[1], encoding='utf-8')):\n"
                            "  if n['kind'] == 'case': print(n['path'].encode().hex(), n['filter'].encode().hex())\n",
                            folder + "/list.json"},
                           {}, folder, FreshFolder("listing/python"));
    CheckEquals(0, read.Status, "Python's json reads it: " + read.Err);
    std::vector<std::string> got = Lines(read.Out);
    const std::vector<std::string> paths = HostileNames::CasePaths();
    CheckEquals(static_cast<int>(paths.size()), static_cast<int>(got.size()), "every case listed");
    for (size_t i = 0; i < paths.size() && i < got.size(); ++i) {
      const std::string where = "case " + std::to_string(i) + " (" + HostileNames::Hex(paths[i]) + ")";
      CheckEquals(HostileNames::Hex(AsJsonText(paths[i])), got[i].substr(0, got[i].find(' ')), where + ": its path");
      const std::string filter = FromHex(got[i].substr(got[i].find(' ') + 1));
      const std::string log = folder + "/ran.txt";
      fs::remove(log);
      TRun one = RunProgram({HOSTILE_NAMES, "--filter=" + filter}, {"HOSTILE_RAN_LOG=" + log}, folder, folder);
      CheckEquals(0, one.Status, where + ": runs\n" + one.Out + one.Err);
      CheckEquals(HostileNames::Hex(paths[i]) + "\n", ReadFile(log), where + ": its filter runs it alone");
    }
  }

 private:
  static std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : "|") + x;
    return s;
  }
  static std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
  }
};

// ---------------------------------------------------------------------------

class TReportPathTests : public TTestCase {
  TESSEL_TESTCASE(TReportPathTests, TTestCase)
 public:
  // A report path that is a folder, or two reports naming one file however
  // spelled: refused before any test runs, exit 2, one line naming both.
  TESSEL_TEST(TestRefusedBeforeAnyTest) {
    struct TRow {
      std::vector<std::string> Args;
      std::vector<std::string> Env;
      const char* Expect;
    } rows[] = {
        {{"--report=junit:out"}, {}, "--report=junit:out: \"out\" is a folder"},
        {{"--runner=junit", "--output=out"}, {}, "--output=out: \"out\" is a folder"},
        {{"--runner=nunit", "--output=fresh/"}, {}, "is a folder"},
        {{"--report=junit:r.xml", "--report=nunit:r.xml"}, {}, "--report=junit:r.xml and --report=nunit:r.xml name one file"},
        {{"--runner=junit", "--output=./r.xml", "--report=junit:r.xml"}, {}, "--output=./r.xml and --report=junit:r.xml"},
        {{"--report=nunit:out/../r.xml", "--report=junit:r.xml"}, {}, "name one file"},
        {{"--report=nunit:link.xml", "--report=junit:r.xml"}, {}, "name one file"},
        {{"--output=r.xml", "--report=junit:./r.xml"}, {}, "--output=r.xml and --report=junit:./r.xml"},
        {{"--report=nunit:./r.xml"}, {"XML_OUTPUT_FILE=r.xml"}, "--report=nunit:./r.xml and XML_OUTPUT_FILE=r.xml"},
        {{"--runner=nunit"}, {"XML_OUTPUT_FILE=tessel-report.xml"},
         "--runner=nunit (its default file) and XML_OUTPUT_FILE=tessel-report.xml name one file"},
    };
    for (const TRow& row : rows) {
      const std::string folder = FreshFolder("reports");
      fs::create_directory(folder + "/out");
      WriteFile(folder + "/r.xml", "kept");
      fs::create_symlink("r.xml", folder + "/link.xml");
      std::vector<std::string> args = {HOSTILE_NAMES};
      args.insert(args.end(), row.Args.begin(), row.Args.end());
      std::vector<std::string> env = row.Env;
      env.push_back("HOSTILE_RAN_LOG=" + folder + "/ran.txt");
      TRun run = RunProgram(args, env, folder, FreshFolder("reports-out"));
      const std::string where = Joined(row.Args) + ": ";
      CheckEquals(2, run.Status, where + "exit 2\n" + run.Out + run.Err);
      CheckTrue(Contains(run.Err, row.Expect), where + run.Err);
      CheckEquals(1, static_cast<int>(Lines(run.Err).size()), where + "one line: " + run.Err);
      CheckFalse(fs::exists(folder + "/ran.txt"), where + "no test ran");
      CheckEquals(std::string("kept"), ReadFile(folder + "/r.xml"), where + "nothing replaced");
    }
    // Two files of their own: both written and well-formed.
    const std::string folder = FreshFolder("reports");
    TRun run = RunProgram({HOSTILE_NAMES, "--report=junit:j.xml", "--report=nunit:n.xml"}, {}, folder, folder);
    CheckEquals(0, run.Status, run.Err);
    TRun lint = RunProgram({"/usr/bin/xmllint", "--noout", folder + "/j.xml", folder + "/n.xml"}, {}, folder,
                           FreshFolder("reports-out"));
    CheckEquals(0, lint.Status, "xmllint reads both: " + lint.Err);
  }

  // The suite-path runner refuses a folder when the run starts, as the
  // NUnit-format runner does, not after every test has run.
  TESSEL_TEST(TestSuitePathRunnerRefusesAFolderFirst) {
    const std::string folder = FreshFolder("junit-folder");
    TQuietCase::Runs = 0;
    auto suite = TestSuite("S", {std::make_shared<TQuietCase>("T")});
    std::string error = "(no error)";
    try {
      XMLTestRunner2::RunTest(suite, folder);
    } catch (const std::exception& e) {
      error = e.what();
    }
    CheckEquals(0, TQuietCase::Runs, "no test ran; the run said: " + error);
  }

  // With --filter the NUnit header counts the tests the run chose.
  TESSEL_TEST(TestNUnitHeaderCountsTheSelection) {
    const std::string folder = FreshFolder("nunit-total");
    TRun run = RunProgram({HOSTILE_NAMES, "--runner=nunit", "--output=n.xml", "--filter=Plain.One,Plain.T*"}, {},
                          folder, folder);
    CheckEquals(0, run.Status, run.Out + run.Err);
    TRun total = RunProgram({"/usr/bin/xmllint", "--xpath", "string(/test-results/@total)", folder + "/n.xml"}, {},
                            folder, FreshFolder("nunit-total-out"));
    CheckEquals(std::string("3"), Trimmed(total.Out), "total: " + total.Err);
    TRun ran = RunProgram({"/usr/bin/xmllint", "--xpath", "count(//test-case[@executed='True'])", folder + "/n.xml"},
                          {}, folder, FreshFolder("nunit-total-out"));
    CheckEquals(std::string("3"), Trimmed(ran.Out), "the cases in the report");
  }

 private:
  static std::string Joined(const std::vector<std::string>& v) {
    std::string s;
    for (const std::string& x : v) s += (s.empty() ? "" : " ") + x;
    return s;
  }
};

// ---------------------------------------------------------------------------

class TMemoryAndWindowTests : public TTestCase {
  TESSEL_TESTCASE(TMemoryAndWindowTests, TTestCase)
 public:
  // A program with a vUtilTest case ends clean under valgrind, linked
  // static (its dialog chain's statics go before the registry's cases) and
  // shared.
  TESSEL_TEST(TestDialogChainAtExitUnderValgrind) {
    for (const char* program : {HOSTILE_BUSINESS_STATIC, HOSTILE_BUSINESS}) {
      const std::string folder = FreshFolder("valgrind");
      TRun run = RunProgram({"/usr/bin/valgrind", "--error-exitcode=97", "--leak-check=no", program,
                             "--filter=Negocio"},
                            {"TMPDIR=" + folder}, folder, folder, 600);
      CheckEquals(1, run.Status, std::string(program) + ": the test fails as written, valgrind finds nothing\n" +
                                     run.Err.substr(run.Err.size() > 3000 ? run.Err.size() - 3000 : 0));
      CheckTrue(Contains(run.Err, "ERROR SUMMARY: 0 errors"), std::string(program) + ": no invalid read or write");
    }
  }

  // A saved placement larger than any screen, and far off it, is fitted to
  // the screen there is; the window paints.
  TESSEL_TEST(TestHugeSavedPlacementIsFitted) {
    const std::string ini = std::string(HOSTILE_WINDOW_DIR) + "/tessel.ini";
    WriteFile(ini, "[GUITestRunner Config]\r\nLeft=-40000\r\nTop=90000\r\nWidth=50000\r\nHeight=50000\r\n");
    const std::string png = std::string(HOSTILE_WORK_DIR) + "/window-fitted.png";
    fs::remove(png);
    TRun run = RunProgram({HOSTILE_WINDOW, png}, {"QT_QPA_PLATFORM=offscreen"}, HOSTILE_WINDOW_DIR,
                          FreshFolder("window"));
    CheckEquals(0, run.Status, "no crash\n" + run.Out + run.Err);
    int x = 0, y = 0, w = 0, h = 0, sx = 0, sy = 0, sw = 0, sh = 0, fw = 0, fh = 0;
    CheckEquals(10, std::sscanf(run.Out.c_str(), "window %d %d %d %d\nscreen %d %d %d %d\nframe %d %d", &x, &y, &w, &h,
                                &sx, &sy, &sw, &sh, &fw, &fh),
                run.Out);
    // The saved size is the inside's; the frame around it is the window
    // system's, not known before the window first shows.
    CheckTrue(x >= sx && y >= sy && w <= sw && h <= sh && x < sx + sw && y < sy + sh, "on the screen: " + run.Out);
    CheckTrue(fw <= sw + 16 && fh <= sh + 16, "no larger than the screen, but for the frame: " + run.Out);
    QImage shot(QString::fromStdString(png));
    CheckTrue(!shot.isNull() && shot.width() <= sw, "painted: " + png);
  }

  // Names no INI file can hold cost only their own ticks; the window's
  // placement and options are saved, and its status line names them.
  TESSEL_TEST(TestWindowSavesAroundUnstorableNames) {
    const std::string ini = std::string(HOSTILE_WINDOW_DIR) + "/tessel.ini";
    fs::remove(ini);
    TRun run = RunProgram({HOSTILE_WINDOW, std::string(HOSTILE_WORK_DIR) + "/window-names.png"},
                          {"QT_QPA_PLATFORM=offscreen"}, HOSTILE_WINDOW_DIR, FreshFolder("window"));
    CheckEquals(0, run.Status, run.Out + run.Err);
    const std::string status = run.Out.substr(run.Out.find("status ") + 7);
    CheckTrue(Contains(status, "\"Janela.a=b\"") && Contains(status, "\"Janela.line\\nbreak\""),
              "the status line names both: " + status);
    CheckFalse(Contains(run.Err, "would not read back"), "not left to stderr: " + run.Err);
    Platform::TMemIniFile saved(ini);
    CheckFalse(saved.ReadBool("Tests.libCorvelTest5.so.Janela", "Normal", true), "the other test's tick kept");
    CheckTrue(saved.ValueExists("GUITestRunner Config", "Width"), "the placement kept");
    CheckTrue(saved.ValueExists("GUITestRunner Config", "BreakOnFailures"), "the options kept");
  }
};

}  // namespace

TESSEL_REGISTER("Hostile.Names", TNameTests);
TESSEL_REGISTER("Hostile.Reports", TReportPathTests);
TESSEL_REGISTER("Hostile.MemoryAndWindow", TMemoryAndWindowTests);
