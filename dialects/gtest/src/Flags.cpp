// GoogleTest's command line and environment, and RUN_ALL_TESTS: selection
// by --gtest_filter, DISABLED_ and the shard variables, the list, repetition
// and order, then the runs on Tessel's command line with Tessel's own options.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "Internal.h"
#include "platform/Paths.h"
#include "runners/TesselCommandLine.h"

namespace testing {

bool FLAGS_gtest_also_run_disabled_tests = false;
bool FLAGS_gtest_break_on_failure = false;
bool FLAGS_gtest_catch_exceptions = true;
std::string FLAGS_gtest_color = "auto";
std::string FLAGS_gtest_death_test_style = "fast";
bool FLAGS_gtest_death_test_use_fork = false;
bool FLAGS_gtest_fail_fast = false;
std::string FLAGS_gtest_filter = "*";
bool FLAGS_gtest_install_failure_signal_handler = false;
std::string FLAGS_gtest_internal_run_death_test;
bool FLAGS_gtest_list_tests = false;
std::string FLAGS_gtest_output;
bool FLAGS_gtest_brief = false;
bool FLAGS_gtest_print_time = true;
int32_t FLAGS_gtest_random_seed = 0;
int32_t FLAGS_gtest_repeat = 1;
bool FLAGS_gtest_recreate_environments_when_repeating = false;
bool FLAGS_gtest_shuffle = false;
int32_t FLAGS_gtest_stack_trace_depth = 100;
std::string FLAGS_gtest_stream_result_to;
bool FLAGS_gtest_throw_on_failure = false;

using namespace TestFramework;
using namespace internal;

namespace internal {

namespace {

bool gHelp = false;

struct TFlag {
  const char* Name;
  enum { Bool, Int, Text } Kind;
  void* Value;
};

const TFlag kFlags[] = {
    {"also_run_disabled_tests", TFlag::Bool, &FLAGS_gtest_also_run_disabled_tests},
    {"break_on_failure", TFlag::Bool, &FLAGS_gtest_break_on_failure},
    {"catch_exceptions", TFlag::Bool, &FLAGS_gtest_catch_exceptions},
    {"color", TFlag::Text, &FLAGS_gtest_color},
    {"death_test_style", TFlag::Text, &FLAGS_gtest_death_test_style},
    {"death_test_use_fork", TFlag::Bool, &FLAGS_gtest_death_test_use_fork},
    {"fail_fast", TFlag::Bool, &FLAGS_gtest_fail_fast},
    {"filter", TFlag::Text, &FLAGS_gtest_filter},
    {"install_failure_signal_handler", TFlag::Bool, &FLAGS_gtest_install_failure_signal_handler},
    {"internal_run_death_test", TFlag::Text, &FLAGS_gtest_internal_run_death_test},
    {"list_tests", TFlag::Bool, &FLAGS_gtest_list_tests},
    {"output", TFlag::Text, &FLAGS_gtest_output},
    {"brief", TFlag::Bool, &FLAGS_gtest_brief},
    {"print_time", TFlag::Bool, &FLAGS_gtest_print_time},
    {"print_utf8", TFlag::Bool, &FLAGS_gtest_print_utf8},
    {"random_seed", TFlag::Int, &FLAGS_gtest_random_seed},
    {"repeat", TFlag::Int, &FLAGS_gtest_repeat},
    {"recreate_environments_when_repeating", TFlag::Bool, &FLAGS_gtest_recreate_environments_when_repeating},
    {"shuffle", TFlag::Bool, &FLAGS_gtest_shuffle},
    {"stack_trace_depth", TFlag::Int, &FLAGS_gtest_stack_trace_depth},
    {"stream_result_to", TFlag::Text, &FLAGS_gtest_stream_result_to},
    {"throw_on_failure", TFlag::Bool, &FLAGS_gtest_throw_on_failure},
};

// Sets a flag from its text; false when the text is no value of its kind.
bool SetFlag(const TFlag& f, const char* value, bool fromEnvironment) {
  switch (f.Kind) {
    case TFlag::Bool:
      // As GoogleTest reads them: "0", "f" and "F" are false, anything else true.
      *static_cast<bool*>(f.Value) = !value ? true : !(std::strcmp(value, "0") == 0 || *value == 'f' || *value == 'F');
      return true;
    case TFlag::Int: {
      if (!value) return false;
      char* end = nullptr;
      errno = 0;
      long v = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
        std::fprintf(stderr, "WARNING: %s %s is expected to be a 32-bit integer, but actually has value \"%s\".\n",
                     fromEnvironment ? "Environment variable" : "Google Test flag", f.Name, value);
        return false;
      }
      *static_cast<int32_t*>(f.Value) = static_cast<int32_t>(v);
      return true;
    }
    case TFlag::Text:
      if (!value) return false;
      *static_cast<std::string*>(f.Value) = value;
      return true;
  }
  return false;
}

void ReadEnvironment() {
  // Bazel names the file it collects the test's XML report from; GTEST_OUTPUT
  // and --gtest_output go before it.
  if (const char* bazel = std::getenv("XML_OUTPUT_FILE"); bazel && *bazel) GTEST_FLAG(output) = std::string("xml:") + bazel;
  if (const char* output = std::getenv("GTEST_OUTPUT")) GTEST_FLAG(output) = output;
  for (const TFlag& f : kFlags) {
    std::string var = "GTEST_";
    for (const char* p = f.Name; *p; ++p) var += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    if (const char* v = std::getenv(var.c_str())) SetFlag(f, v, true);
  }
}

// Tessel's own options that a GoogleTest program takes as well.
bool IsTesselOption(std::string_view arg) {
  static const char* const kNames[] = {"--runner=", "--isolate", "--jobs=", "--timeout=", "--report=", "--output=",
                                       "--list", "--in-process"};
  for (const char* n : kNames) {
    std::string_view name(n);
    if (name.back() == '=' ? arg.rfind(name, 0) == 0 : (arg == name || arg.rfind(std::string(name) + "=", 0) == 0))
      return true;
  }
  return false;
}

// Reads one argument; true when it was ours (a GoogleTest flag or a Tessel option).
bool ParseArgument(const std::string& arg) {
  UnitTestState& s = UnitTestState::Get();
  if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "/?" || arg == "--gtest_help" || arg == "-gtest_help") {
    gHelp = true;
    return true;
  }
  if (IsTesselOption(arg)) {
    s.TesselArgs.push_back(arg);
    return true;
  }
  const char* p = arg.c_str();
  if (std::strncmp(p, "--gtest_", 8) == 0) p += 8;
  else if (std::strncmp(p, "-gtest_", 7) == 0) p += 7;
  else return false;
  const char* eq = std::strchr(p, '=');
  const std::string name = eq ? std::string(p, eq) : std::string(p);
  for (const TFlag& f : kFlags)
    if (name == f.Name) {
      if (!eq && f.Kind != TFlag::Bool) break;  // a value is needed
      if (!SetFlag(f, eq ? eq + 1 : nullptr, false)) s.BadFlags.push_back(arg);
      return true;
    }
  s.BadFlags.push_back(arg);
  return true;
}

template <class Char>
void ParseArguments(int* argc, Char** argv) {
  if (!argc || !argv) return;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    std::string arg;
    for (const Char* c = argv[i]; c && *c; ++c) arg += static_cast<char>(*c);
    if (!ParseArgument(arg)) argv[kept++] = argv[i];
  }
  for (int i = kept; i < *argc; ++i) argv[i] = nullptr;
  *argc = kept;
}

const char kHelp[] =
    "This program contains tests written using Google Test. You can use the\n"
    "following command line flags to control its behavior:\n"
    "\n"
    "Test Selection:\n"
    "  --gtest_list_tests\n"
    "      List the names of all tests instead of running them. The name of\n"
    "      TEST(Foo, Bar) is \"Foo.Bar\".\n"
    "  --gtest_filter=POSITIVE_PATTERNS[-NEGATIVE_PATTERNS]\n"
    "      Run only the tests whose name matches one of the positive patterns but\n"
    "      none of the negative patterns. '?' matches any single character; '*'\n"
    "      matches any substring; ':' separates two patterns.\n"
    "  --gtest_also_run_disabled_tests\n"
    "      Run all disabled tests too.\n"
    "\n"
    "Test Execution:\n"
    "  --gtest_repeat=[COUNT]\n"
    "      Run the tests repeatedly; use a negative count to repeat forever.\n"
    "  --gtest_shuffle\n"
    "      Randomize tests' orders on every iteration.\n"
    "  --gtest_random_seed=[NUMBER]\n"
    "      Random number seed to use for shuffling test orders (between 1 and\n"
    "      99999, or 0 to use a seed based on the current time).\n"
    "  --gtest_recreate_environments_when_repeating\n"
    "      Sets up and tears down the global test environment on each repeat\n"
    "      of the test.\n"
    "\n"
    "Test Output:\n"
    "  --gtest_color=(yes|no|auto)\n"
    "      Enable/disable colored output. The default is auto.\n"
    "  --gtest_brief=1\n"
    "      Only print test failures.\n"
    "  --gtest_print_time=0\n"
    "      Don't print the elapsed time of each test.\n"
    "  --gtest_output=(json|xml)[:DIRECTORY_PATH/|:FILE_PATH]\n"
    "      Generate a JSON or XML report in the given directory or with the given\n"
    "      file name. FILE_PATH defaults to test_detail.xml.\n"
    "\n"
    "Assertion Behavior:\n"
    "  --gtest_death_test_style=(fast|threadsafe)\n"
    "      Death tests fork in either style here; the child runs the statement only.\n"
    "  --gtest_fail_fast\n"
    "      Stop at the first failed test: the tests after it are skipped.\n"
    "  --gtest_catch_exceptions=0\n"
    "      Do not report exceptions as test failures; Tessel's run loop records\n"
    "      them as errors.\n"
    "\n"
    "Tessel's options (on the same program):\n"
    "  --runner=text|nunit|junit|gui\n"
    "      Tessel's console runner, one of its report runners, or its window.\n"
    "  --report=nunit:FILE, --report=junit:FILE\n"
    "      Also write Tessel's NUnit-format or suite-path JUnit report.\n"
    "  --isolate\n"
    "      Run each test in a process of its own.\n"
    "  --jobs=N|auto\n"
    "      Run the suites in N worker processes side by side.\n"
    "  --timeout=SECONDS\n"
    "      End a test that runs longer, as its failure.\n"
    "  --in-process\n"
    "      Run the tests in this process (chosen when a debugger is attached).\n"
    "  --list, --list=json\n"
    "      Tessel's list of the selected tests.\n"
    "\n"
    "Test programs of Tessel's GoogleTest dialect. Exit code: 0 when every test\n"
    "passed, 1 when one failed, 2 for an option that was not understood.\n";

// A filter pattern list (":"-separated globs) against a name.
bool PatternsMatch(std::string_view patterns, std::string_view name) {
  size_t start = 0;
  while (true) {
    size_t colon = patterns.find(':', start);
    std::string_view p = patterns.substr(start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
    if (TesselCommandLine::GlobMatch(p, name)) return true;
    if (colon == std::string_view::npos) return false;
    start = colon + 1;
  }
}

bool HasPrefix(const char* s, const char* prefix) { return std::strncmp(s, prefix, std::strlen(prefix)) == 0; }

// Decides which tests run; returns how many will.
int Select(int shardIndex, int shardCount) {
  UnitTestState& s = UnitTestState::Get();
  int runnable = 0, selected = 0;
  const bool everyName = GTEST_FLAG(filter) == "*";  // no name to build and match
  for (TestSuite* suite : s.Suites) {
    bool any = false;
    for (TestInfo* t : UnitTestState::TestsOf(*suite)) {
      const bool disabled = HasPrefix(t->test_suite_name(), "DISABLED_") || HasPrefix(t->name(), "DISABLED_");
      const bool matches = everyName || FilterMatches(GTEST_FLAG(filter), FullName(*t));
      const bool isRunnable = (GTEST_FLAG(also_run_disabled_tests) || !disabled) && matches;
      // Every test has a shard, the count of runnable tests before it: a
      // disabled test is reported in one shard only.
      const bool otherShard = shardCount > 1 && runnable % shardCount != shardIndex;
      const bool run = isRunnable && !otherShard;
      runnable += isRunnable ? 1 : 0;
      UnitTestState::SetSelection(*t, disabled, matches, otherShard, run);
      if (auto node = NodeOfTest(*t)) node->SetEnabled(!disabled || GTEST_FLAG(also_run_disabled_tests));
      any = any || run;
      selected += run ? 1 : 0;
    }
    UnitTestState::SetShouldRun(*suite, any);
  }
  return selected;
}

void ListTests() {
  for (TestSuite* suite : UnitTestState::Get().Suites) {
    bool printed = false;
    for (TestInfo* t : UnitTestState::TestsOf(*suite)) {
      if (!UnitTestState::MatchesFilter(*t)) continue;
      if (!printed) {
        printed = true;
        std::printf("%s.", suite->name());
        if (suite->type_param()) std::printf("  # TypeParam = %s", suite->type_param());
        std::printf("\n");
      }
      std::printf("  %s", t->name());
      if (t->value_param()) std::printf("  # GetParam() = %s", t->value_param());
      std::printf("\n");
    }
  }
  std::fflush(stdout);
}

// GTEST_TOTAL_SHARDS and GTEST_SHARD_INDEX; false (with the reason printed)
// when they make no sense.
bool ReadShards(int& index, int& count) {
  index = 0;
  count = 1;
  const char* total = std::getenv("GTEST_TOTAL_SHARDS");
  const char* shard = std::getenv("GTEST_SHARD_INDEX");
  if (!total && !shard) return true;
  auto parse = [](const char* v, int& out) {
    if (!v || !*v) return false;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    if (*end != '\0' || n < INT32_MIN || n > INT32_MAX) return false;
    out = static_cast<int>(n);
    return true;
  };
  int t = -1, i = -1;
  const bool okTotal = parse(total, t), okIndex = parse(shard, i);
  if (!total || !shard) {
    // GoogleTest shards only when both are set.
    return true;
  }
  if (!okTotal || !okIndex || t < 1 || i < 0 || i >= t) {
    std::printf(
        "Invalid environment variables: we require 0 <= GTEST_SHARD_INDEX < GTEST_TOTAL_SHARDS, but you have "
        "GTEST_SHARD_INDEX=%s, GTEST_TOTAL_SHARDS=%s.\n",
        shard, total);
    std::fflush(stdout);
    return false;
  }
  index = i;
  count = t;
  return true;
}

std::string OutputPath(const std::string& option, const char* extension) {
  size_t colon = option.find(':');
  std::string path = colon == std::string::npos ? std::string() : option.substr(colon + 1);
  if (path.empty()) return std::string("test_detail.") + extension;
  if (path.back() == '/') {
    std::string program = Platform::ExtractFileName(UnitTestState::Get().ProgramPath);
    if (program.empty()) program = "test_detail";
    return path + program + "." + extension;
  }
  return path;
}

int SeedFromFlag(int32_t flag) {
  constexpr int kMaxSeed = 99999;
  unsigned raw = flag == 0 ? static_cast<unsigned>(NowMillis() % kMaxSeed) : static_cast<unsigned>(flag);
  int seed = static_cast<int>((raw - 1u) % kMaxSeed) + 1;
  return seed;
}

int NextSeed(int seed) { return seed >= 99999 ? 1 : seed + 1; }

}  // namespace

bool FilterMatches(const std::string& filter, const std::string& fullName) {
  size_t dash = filter.find('-');
  std::string_view positive = std::string_view(filter).substr(0, dash);
  std::string_view negative = dash == std::string::npos ? std::string_view() : std::string_view(filter).substr(dash + 1);
  if (positive.empty()) positive = "*";
  return PatternsMatch(positive, fullName) && !(dash != std::string::npos && PatternsMatch(negative, fullName));
}

void PostFlagParsingInit() {
  UnitTestState& s = UnitTestState::Get();
  if (s.Initialized) return;
  s.Initialized = true;
  char cwd[4096];
  if (::getcwd(cwd, sizeof cwd)) s.OriginalWorkingDir = cwd;
  s.RegisterParamTests();
  // Made before any process is forked, so that every process has them at the
  // same addresses when a record that names them crosses over.
  EFatalFailure::ClassInfo();
  ENonFatalFailure::ClassInfo();
  // The default listeners exist from here on, so that a program can
  // release or replace them before RUN_ALL_TESTS.
  UnitTestState::SetDefaultPrinter(s.Listeners, GTEST_FLAG(brief) ? NewBriefPrinter() : NewPrettyPrinter());
  const std::string& output = GTEST_FLAG(output);
  if (!output.empty()) {
    const std::string kind = output.substr(0, output.find(':'));
    if (kind == "xml")
      UnitTestState::SetDefaultXmlGenerator(s.Listeners, NewXmlPrinter(OutputPath(output, "xml")));
    else if (kind == "json")
      UnitTestState::SetDefaultXmlGenerator(s.Listeners, NewJsonPrinter(OutputPath(output, "json")));
    else
      std::fprintf(stderr, "WARNING: unrecognized output format \"%s\" ignored.\n", kind.c_str());
  }
}

}  // namespace internal

void InitGoogleTest(int* argc, char** argv) {
  UnitTestState& s = UnitTestState::Get();
  if (argc && argv && *argc > 0 && argv[0]) s.ProgramPath = argv[0];
  if (!s.Initialized) ReadEnvironment();
  ParseArguments(argc, argv);
  PostFlagParsingInit();
}

void InitGoogleTest(int* argc, wchar_t** argv) {
  UnitTestState& s = UnitTestState::Get();
  if (!s.Initialized) ReadEnvironment();
  ParseArguments(argc, argv);
  PostFlagParsingInit();
}

void InitGoogleTest() {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  InitGoogleTest(&argc, argv);
}

int UnitTest::Run() {
  UnitTestState& s = *state_;
  if (!s.Initialized) {
    std::printf(
        "\nIMPORTANT NOTICE - DO NOT IGNORE:\n"
        "This test program did NOT call testing::InitGoogleTest() before calling RUN_ALL_TESTS(). This is INVALID. "
        "The test program's command line is not read.\n\n");
    ReadEnvironment();
    PostFlagParsingInit();
  }
  const std::string program = s.ProgramPath.empty() ? "test" : Platform::ExtractFileName(s.ProgramPath);
  if (gHelp) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (!s.BadFlags.empty()) {
    std::fflush(stdout);
    std::fputs(kHelp, stdout);
    for (const std::string& f : s.BadFlags)
      std::fprintf(stderr, "%s: the option \"%s\" is not understood (see above)\n", program.c_str(), f.c_str());
    return TesselCommandLine::kExitUsage;
  }
  TesselCommandLine::TOptions o;
  bool runnerGiven = false;
  try {
    o = TesselCommandLine::ParseOptions(s.TesselArgs);
  } catch (const TesselCommandLine::EUsageError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program.c_str(), e.Message().c_str());
    return TesselCommandLine::kExitUsage;
  }
  for (const std::string& a : s.TesselArgs) runnerGiven = runnerGiven || a.rfind("--runner=", 0) == 0;
  // Tessel's command line adds its suite-path report at XML_OUTPUT_FILE; a
  // GoogleTest program writes GoogleTest's report there, and one file takes
  // one report.
  if (const char* bazel = std::getenv("XML_OUTPUT_FILE"); bazel && GTEST_FLAG(output) == std::string("xml:") + bazel) {
    const std::string asked = std::string("--report=junit:") + bazel;
    if (std::find(s.TesselArgs.begin(), s.TesselArgs.end(), asked) == s.TesselArgs.end())
      std::erase_if(o.Reports, [&](const TesselCommandLine::TReportRequest& r) { return r.File == bazel; });
  }
  // Event listeners of the program's own watch the process that runs the
  // tests (a leak checker reads its counters there): such a program runs its
  // tests in its own process, under the crash guard, unless workers were
  // asked for.
  for (TestEventListener* l : UnitTestState::ListenersOf(s.Listeners))
    if (l != s.Listeners.default_result_printer() && l != s.Listeners.default_xml_generator() && !o.Supervised)
      o.InProcess = true;

  int shardIndex = 0, shardCount = 1;
  if (!ReadShards(shardIndex, shardCount)) return 1;
  const int selected = Select(shardIndex, shardCount);
  if (GTEST_FLAG(list_tests)) {
    ListTests();
    const std::string& output = GTEST_FLAG(output);
    const std::string kind = output.substr(0, output.find(':'));
    if ((kind == "xml" || kind == "json") && !WriteTestList(kind, OutputPath(output, kind.c_str()))) return 1;
    return 0;
  }
  if (const char* status = std::getenv("GTEST_SHARD_STATUS_FILE"); status && *status && shardCount > 1) {
    if (std::FILE* f = std::fopen(status, "w")) std::fclose(f);
  }

  auto rootNode = MakeRootNode(TestFramework::RegisteredTests() ? TestFramework::RegisteredTests()->GetName() : program,
                               selected > 0, selected > 0);
  ITestPtr root = rootNode;
  // Disabled tests are disabled nodes; only a list, a filter or a shard
  // needs the nodes chosen, which costs a walk of the tree with every path.
  const bool narrowed = GTEST_FLAG(filter) != "*" || shardCount > 1;
  std::vector<TesselCommandLine::TNodeInfo> chosen;
  if (narrowed || o.List != TesselCommandLine::TListKind::None) {
    for (const TesselCommandLine::TNodeInfo& n : TesselCommandLine::ListNodes(root)) {
      if (TestInfo* info = InfoOfNode(n.Node.get())) {
        if (info->should_run()) chosen.push_back(n);
      } else if (TestSuite* suite = SuiteOfNode(n.Node.get())) {
        if (suite->should_run()) chosen.push_back(n);
      }
    }
  }
  if (o.List != TesselCommandLine::TListKind::None) {
    std::fputs(o.List == TesselCommandLine::TListKind::Json ? TesselCommandLine::ListJson(chosen).c_str()
                                                            : TesselCommandLine::ListLines(chosen).c_str(),
               stdout);
    return 0;
  }
  // Only a filter or a shard needs a selection, which asks of every node.
  ITestListenerPtr selection = narrowed ? TesselCommandLine::SelectionListener(root, chosen) : nullptr;
  if (o.Runner == TesselCommandLine::TRunnerKind::Gui) {
    TesselCommandLine::TWindowedRunner gui = TesselCommandLine::WindowedRunner();
    if (!gui) {
      std::fprintf(stderr,
                   "%s: the windowed runner is not built into this program (link Tessel's windowed runner library)\n",
                   program.c_str());
      return TesselCommandLine::kExitUsage;
    }
    // The window chooses by its check boxes (disabled tests start unticked).
    std::vector<char*> args{s.ProgramPath.empty() ? const_cast<char*>("test") : s.ProgramPath.data(), nullptr};
    return gui(1, args.data(), root, selection);
  }

  // A Tessel runner asked for takes the console from GoogleTest's printer.
  if (runnerGiven && s.Listeners.default_result_printer()) delete s.Listeners.Release(s.Listeners.default_result_printer());

  gFlushEachTest = o.InProcess || ::isatty(STDOUT_FILENO);
  // Workers ask the same of every node as the listeners here do.
  static const bool extended = [] {
    TesselCommandLine::TExtension e;
    e.WillRun = &WillRunNode;
    TesselCommandLine::AddExtension(std::move(e));
    return true;
  }();
  (void)extended;
  // There while the tests run, gone at a normal end: a runner that finds it
  // knows the program ended early (Bazel's TEST_PREMATURE_EXIT_FILE).
  if (!o.PrematureExitFile.empty()) {
    if (std::FILE* f = std::fopen(o.PrematureExitFile.c_str(), "w")) std::fclose(f);
  }
  auto bridge = MakeEventBridge();
  BridgeProgramStart(*bridge);
  bool passed = true;
  const int repeat = GTEST_FLAG(repeat);
  const bool forever = repeat < 0;
  s.RandomSeed = GTEST_FLAG(shuffle) ? SeedFromFlag(GTEST_FLAG(random_seed)) : 0;
  for (int i = 0; forever || i < repeat; ++i) {
    const bool last = !forever && i == repeat - 1;
    const bool recreate = GTEST_FLAG(recreate_environments_when_repeating);
    const bool first = i == 0 || recreate;
    SetRootEnvironments(*rootNode, selected > 0 && first, selected > 0 && (last || recreate));
    BridgeSetIteration(*bridge, i, selected > 0 && first, selected > 0 && (last || recreate));
    std::unique_ptr<TesselCommandLine::TShuffle> order;
    if (GTEST_FLAG(shuffle)) order = std::make_unique<TesselCommandLine::TShuffle>(root, static_cast<uint64_t>(s.RandomSeed));
    int stopSignal = 0;
    const bool ran = TesselCommandLine::RunOnce(o, root, selection, {AsListener(bridge)}, !runnerGiven, stopSignal);
    passed = ran && UnitTest::GetInstance()->Passed() && passed;
    if (stopSignal) {
      // Stopped from outside: the reports are finished; end as the signal would have.
      std::fflush(nullptr);
      ::signal(stopSignal, SIG_DFL);
      ::raise(stopSignal);
    }
    if (GTEST_FLAG(shuffle)) s.RandomSeed = NextSeed(s.RandomSeed);
  }
  BridgeProgramEnd(*bridge);
  std::fflush(stdout);
  if (!o.PrematureExitFile.empty()) std::remove(o.PrematureExitFile.c_str());
  return passed ? 0 : 1;
}

}  // namespace testing
