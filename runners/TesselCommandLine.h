// The command line of a test program: one entry point that lists the tests,
// selects them, picks the runner and its reports, repeats, shuffles, shards,
// and runs the tests in worker processes, side by side when asked.
//
//   int main(int argc, char* argv[]) { return TesselMain(argc, argv); }
//
// (or link the Tessel::main target and write no main at all). `--help` lists
// every option. The exit code is 0 only for a successful run, 1 for a run
// with failures, errors or no test matching the filter, and 2 for a mistake
// on the command line, which never starts a run.
//
// The tests run in worker processes (TesselSupervisor): this process writes
// the console text and the reports and runs no test, so a test that crashes,
// calls exit or _exit, overflows its stack in any thread or is killed is
// recorded as an error of its own and the run goes on with the next test.
// --isolate gives every test case a process of its own, --jobs=N runs N
// workers side by side (the reports keep the order of the tree), and
// --timeout ends a test case, or a suite's set-up or tear-down, that runs
// too long, with every process it started. With --in-process (chosen by
// itself when a debugger is attached, so that breakpoints work) the tests
// run in this process under TesselCrashGuard: a crash then ends the run,
// with the test that crashed recorded and every report finished.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/TestFramework.h"
#include "runners/TesselCrashGuard.h"

namespace TesselCommandLine {

using TestFramework::ETesselException;
using TestFramework::ITestListenerPtr;
using TestFramework::ITestPtr;
using TestFramework::TTestResult;

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A mistake on the command line; the message says which.
class EUsageError : public ETesselException {
  TESSEL_EXCEPTION_CLASS(EUsageError, ETesselException)
};
// A test case that ended its process: a fatal signal, exit, or a time limit.
using TesselCrashGuard::ETestCrashed;
using TesselCrashGuard::ETestTimedOut;

enum class TRunnerKind { Text, NUnit, JUnit, Gui };
enum class TListKind { None, Lines, Json };

struct TReportRequest {
  TRunnerKind Kind;
  std::string File;
};

struct TOptions {
  bool Help = false;
  TListKind List = TListKind::None;
  std::vector<std::string> Filters;  // globs over suite paths; "-" starts an exclusion
  TRunnerKind Runner = TRunnerKind::Text;
  std::string Output;  // the runner's report, or the console text of the text runner
  bool HasOutput = false;
  std::vector<TReportRequest> Reports;  // more reports of the same run, written quietly
  int Repeat = 1;
  bool Shuffle = false;
  bool HasSeed = false;
  uint64_t Seed = 0;
  int ShardIndex = 0;
  int ShardCount = 1;
  std::string ShardStatusFile;  // touched when the shard is known (Bazel asks for it)
  bool Isolate = false;
  int Jobs = 1;
  bool InProcess = false;
  bool Supervised = false;  // --isolate, --jobs or --timeout asked for workers
  double Timeout = 0;       // seconds; 0 is none
  std::string PrematureExitFile;
};

// Reads the arguments (without the program name) and the variables Bazel
// sets (TEST_TOTAL_SHARDS, TEST_SHARD_INDEX, TEST_SHARD_STATUS_FILE,
// XML_OUTPUT_FILE, TEST_PREMATURE_EXIT_FILE). Raises EUsageError.
TOptions ParseOptions(const std::vector<std::string>& args);
std::string HelpText(std::string_view program);
// Why the files the run is to write cannot be written as asked, found
// before any test runs: a path that is a folder, or two of them (reports,
// or the console text of --output) naming one file, however spelled
// ("r.xml" and "./r.xml", a link and its target). Empty when they can.
std::string CheckReportPaths(const TOptions& o);

// "*" any run of characters (dots too), "?" one character.
bool GlobMatch(std::string_view pattern, std::string_view text) noexcept;

// The patterns of --filter: a node is chosen when a pattern without "-"
// matches its path or a path above it (all are, when there is none), and no
// exclusion matches either. Raises EUsageError for a malformed pattern.
class TPathFilter {
 public:
  TPathFilter() = default;
  explicit TPathFilter(const std::vector<std::string>& patternLists);
  bool Chooses(std::string_view path) const;
  bool Empty() const noexcept { return FInclude.empty() && FExclude.empty(); }

 private:
  static bool AnyMatches(const std::vector<std::string>& patterns, std::string_view path);
  std::vector<std::string> FInclude;
  std::vector<std::string> FExclude;
};

// One node of the tree below the root, in run order.
struct TNodeInfo {
  ITestPtr Node;
  std::string Path;  // names from below the root, joined with "."
  int Depth = 0;     // 1 for the root's children
  bool IsCase = false;
};

std::vector<TNodeInfo> ListNodes(const ITestPtr& root);
// Nodes whose cases pass the filter and fall in the shard (cases numbered in
// run order, case k in shard k mod count), with the suites above them.
std::vector<TNodeInfo> SelectNodes(const std::vector<TNodeInfo>& nodes, const TPathFilter& filter, int shardIndex,
                                   int shardCount);
std::string ListLines(const std::vector<TNodeInfo>& nodes);
std::string ListJson(const std::vector<TNodeInfo>& nodes);

// A listener that lets only the chosen nodes run, so that every listener
// sees the same run.
ITestListenerPtr SelectionListener(const ITestPtr& root, const std::vector<TNodeInfo>& chosen);

// Puts the children of every suite in an order drawn from seed while it
// lives; its end puts them back.
class TShuffle {
 public:
  TShuffle(const ITestPtr& root, uint64_t seed);
  ~TShuffle();
  TShuffle(const TShuffle&) = delete;
  TShuffle& operator=(const TShuffle&) = delete;

 private:
  std::vector<std::pair<TestFramework::TInterfaceList*, TestFramework::TInterfaceList>> FSaved;
};

// A time limit of its own for one test method, in place of the limit of
// --timeout; see TESSEL_TIMEOUT.
void SetTestTimeout(const TestFramework::TClass& testClass, const std::string& method, double seconds);
double TestTimeout(const TestFramework::ITestPtr& test, double otherwise);

// True when a debugger (any tracer) is attached to this process.
bool DebuggerAttached();

// What a layer above the command line (a test dialect with console output,
// reports and options of its own) adds to it. The listeners it adds hear
// every event of the run, replayed from the workers as the runners' are.
struct TExtension {
  // Takes an argument the command line does not know; true when it did.
  std::function<bool(const std::string& arg)> TakeOption;
  std::string Help;  // lines for --help
  // Adds listeners to the result of every run, after the command line's own;
  // clearing keepRunner leaves out the listener of --runner.
  std::function<void(TTestResult& result, bool& keepRunner)> AddListeners;
  // Whether a node runs, where the extension's listeners decide that by
  // something else than its enabled flag (null: the flag).
  std::function<bool(const ITestPtr&)> WillRun;
};
void AddExtension(TExtension extension);

// The windowed runner, when a library that provides it is linked in and has
// set it; selection is null when every test is to run.
using TWindowedRunner = int (*)(int argc, char* argv[], const ITestPtr& root, const ITestListenerPtr& selection);
void SetWindowedRunner(TWindowedRunner runner) noexcept;

// Runs root (the registry's root when empty) as the command line asks.
int Run(int argc, char* argv[], ITestPtr root = nullptr);

// One run of root in the workers, the isolation, time limits and reports
// that o asks for, for a layer above with a command line of its own (which
// lists, selects, orders and repeats itself). listeners follow selection
// (which may be null); with ownConsole they stand in for the console
// runner that o.Runner names. True when the run was successful.
// A signal that stopped the run from outside is left in stopSignal.
bool RunOnce(const TOptions& o, const ITestPtr& root, const ITestListenerPtr& selection,
             const std::vector<ITestListenerPtr>& listeners, bool ownConsole, int& stopSignal);
// The windowed runner that a linked library set, or null.
TWindowedRunner WindowedRunner() noexcept;

void InitializeUnit();
void FinalizeUnit();

}  // namespace TesselCommandLine

// The entry point of a test program; see above.
int TesselMain(int argc, char* argv[]);

// A time limit for one test method, beside the class:
//   TESSEL_TIMEOUT(TCustomerTests, TestImport, 30);
#define TESSEL_TIMEOUT(Cls, Method, seconds)                                    \
  [[maybe_unused]] static const bool TESSEL_CAT_(tesselTimeout_, __COUNTER__) = \
      (::TesselCommandLine::SetTestTimeout(Cls::ClassInfo(), #Method, seconds), true)
