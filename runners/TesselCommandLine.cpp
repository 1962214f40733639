#include "runners/TesselCommandLine.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <unordered_set>

#include <sched.h>
#include <signal.h>
#include <sys/stat.h>

#include "platform/Format.h"
#include "platform/Paths.h"
#include "platform/Utf8.h"
#include "runners/NUnitXMLTestRunner.h"
#include "runners/TesselSupervisor.h"
#include "runners/TextTestRunner.h"
#include "runners/XMLTestRunner2.h"

namespace TesselCommandLine {

using namespace TestFramework;
using Platform::Format;

namespace {

TWindowedRunner gWindowedRunner = nullptr;

std::vector<TExtension>& Extensions() {
  static auto* extensions = new std::vector<TExtension>();  // outlives exit
  return *extensions;
}

bool TakenByExtension(const std::string& arg) {
  for (const TExtension& e : Extensions())
    if (e.TakeOption && e.TakeOption(arg)) return true;
  return false;
}

int Cores() {
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return 1;
}

[[noreturn]] void Usage(const std::string& msg) { throw EUsageError(msg); }

const char* Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : nullptr;
}

// Whole decimal number in [min, max]; anything else is a usage error naming the option.
int64_t ParseInt(std::string_view text, std::string_view option, int64_t min, int64_t max) {
  int64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v < min || v > max)
    Usage(
        Format("%s wants a whole number from %d to %d, not \"%s\"", std::string(option), min, max, std::string(text)));
  return v;
}

TRunnerKind ParseRunner(std::string_view name, std::string_view option, bool reportsOnly) {
  if (name == "nunit") return TRunnerKind::NUnit;
  if (name == "junit") return TRunnerKind::JUnit;
  if (!reportsOnly && name == "text") return TRunnerKind::Text;
  if (!reportsOnly && name == "gui") return TRunnerKind::Gui;
  Usage(Format("%s: unknown kind \"%s\" (choose %s)", std::string(option), std::string(name),
               reportsOnly ? "nunit or junit" : "text, nunit, junit or gui"));
}

// "i/n" with 0 <= i < n.
void ParseShard(std::string_view text, TOptions& o) {
  size_t slash = text.find('/');
  if (slash == std::string_view::npos)
    Usage(Format("--shard wants INDEX/COUNT such as 0/4, not \"%s\"", std::string(text)));
  o.ShardCount = static_cast<int>(ParseInt(text.substr(slash + 1), "--shard's count", 1, 1000000));
  o.ShardIndex = static_cast<int>(ParseInt(text.substr(0, slash), "--shard's index", 0, o.ShardCount - 1));
}

void ReadEnvironment(TOptions& o, bool shardGiven) {
  const char* total = Env("TEST_TOTAL_SHARDS");
  const char* index = Env("TEST_SHARD_INDEX");
  if (total && !shardGiven) {
    o.ShardCount = static_cast<int>(ParseInt(total, "TEST_TOTAL_SHARDS", 1, 1000000));
    o.ShardIndex = static_cast<int>(ParseInt(index ? index : "", "TEST_SHARD_INDEX", 0, o.ShardCount - 1));
    if (const char* status = Env("TEST_SHARD_STATUS_FILE")) o.ShardStatusFile = status;
  }
  if (const char* xml = Env("XML_OUTPUT_FILE")) {
    bool asked = std::any_of(o.Reports.begin(), o.Reports.end(),
                             [&](const TReportRequest& r) { return r.Kind == TRunnerKind::JUnit && r.File == xml; });
    if (!asked && !(o.Runner == TRunnerKind::JUnit && o.HasOutput && o.Output == xml))
      o.Reports.push_back({TRunnerKind::JUnit, xml});
  }
  if (const char* premature = Env("TEST_PREMATURE_EXIT_FILE")) o.PrematureExitFile = premature;
}

}  // namespace

TOptions ParseOptions(const std::vector<std::string>& args) {
  TOptions o;
  bool shardGiven = false;
  for (const std::string& arg : args) {
    std::string_view a = arg;
    size_t eq = a.find('=');
    std::string_view name = a.substr(0, eq);
    std::string_view value = eq == std::string_view::npos ? std::string_view() : a.substr(eq + 1);
    bool hasValue = eq != std::string_view::npos;
    auto needValue = [&] {
      if (!hasValue || value.empty()) Usage(Format("%s needs a value: %s=...", std::string(name), std::string(name)));
    };
    auto noValue = [&] {
      if (hasValue) Usage(Format("%s takes no value", std::string(name)));
    };
    if (name == "--help" || name == "-h") {
      noValue();
      o.Help = true;
    } else if (name == "--list") {
      if (!hasValue)
        o.List = TListKind::Lines;
      else if (value == "json")
        o.List = TListKind::Json;
      else
        Usage(Format("--list takes no value or \"json\", not \"%s\"", std::string(value)));
    } else if (name == "--filter") {
      needValue();
      o.Filters.emplace_back(value);
    } else if (name == "--runner") {
      needValue();
      o.Runner = ParseRunner(value, name, false);
    } else if (name == "--output") {
      needValue();
      o.Output = value;
      o.HasOutput = true;
    } else if (name == "--report") {
      needValue();
      size_t colon = value.find(':');
      if (colon == std::string_view::npos || colon + 1 == value.size())
        Usage(Format("--report wants KIND:FILE such as nunit:report.xml, not \"%s\"", std::string(value)));
      o.Reports.push_back({ParseRunner(value.substr(0, colon), name, true), std::string(value.substr(colon + 1))});
    } else if (name == "--repeat") {
      needValue();
      o.Repeat = static_cast<int>(ParseInt(value, name, 1, 1000000));
    } else if (name == "--shuffle") {
      noValue();
      o.Shuffle = true;
    } else if (name == "--seed") {
      needValue();
      o.Seed = static_cast<uint64_t>(ParseInt(value, name, 0, INT64_MAX));
      o.HasSeed = true;
    } else if (name == "--shard") {
      needValue();
      ParseShard(value, o);
      shardGiven = true;
    } else if (name == "--isolate") {
      noValue();
      o.Isolate = o.Supervised = true;
    } else if (name == "--timeout") {
      needValue();
      o.Timeout = static_cast<double>(ParseInt(value, name, 1, 86400));
      o.Supervised = true;
    } else if (name == "--jobs") {
      needValue();
      o.Jobs = value == "auto" ? Cores() : static_cast<int>(ParseInt(value, "--jobs (or auto)", 1, 1024));
      o.Supervised = true;
    } else if (name == "--in-process") {
      noValue();
      o.InProcess = true;
    } else if (!TakenByExtension(arg)) {
      Usage(Format("unknown option \"%s\"", arg));
    }
  }
  if (o.HasSeed && !o.Shuffle) Usage("--seed is used only with --shuffle");
  if (o.InProcess && o.Supervised)
    Usage("--in-process runs every test in this process: --jobs, --isolate and --timeout need worker processes");
  if (o.HasOutput && o.Runner == TRunnerKind::Gui) Usage("--output does not apply to --runner=gui");
  ReadEnvironment(o, shardGiven);
  for (const TReportRequest& r : o.Reports)
    if (o.HasOutput && r.File == o.Output) Usage(Format("\"%s\" is named for two reports", r.File));
  return o;
}

namespace {

struct TFileToWrite {
  std::string Option;  // as the user gave it
  std::string Path;
};

// The identity of the file a path names, whether it exists yet or not: the
// absolute path with links and "." and ".." resolved as far as it exists.
std::string FileIdentity(const std::string& path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  return ec ? path : p.lexically_normal().string();
}

}  // namespace

std::string CheckReportPaths(const TOptions& o) {
  std::vector<TFileToWrite> files;
  if (o.Runner == TRunnerKind::NUnit || o.Runner == TRunnerKind::JUnit) {
    const char* kind = o.Runner == TRunnerKind::NUnit ? "nunit" : "junit";
    const std::string file = o.HasOutput ? o.Output
                             : o.Runner == TRunnerKind::NUnit ? NUnitXMLTestRunner::DEFAULT_FILENAME
                                                              : XMLTestRunner2::DEFAULT_FILENAME;
    files.push_back({o.HasOutput ? "--output=" + file : std::string("--runner=") + kind + " (its default file)", file});
  } else if (o.Runner == TRunnerKind::Text && o.HasOutput) {
    files.push_back({"--output=" + o.Output, o.Output});
  }
  const char* bazel = Env("XML_OUTPUT_FILE");
  for (const TReportRequest& r : o.Reports)
    files.push_back({r.Kind == TRunnerKind::JUnit && bazel && r.File == bazel
                         ? "XML_OUTPUT_FILE=" + r.File
                         : Format("--report=%s:%s", r.Kind == TRunnerKind::NUnit ? "nunit" : "junit", r.File),
                     r.File});
  std::vector<std::string> seen;
  for (const TFileToWrite& f : files) {
    struct stat st {};
    if (f.Path.back() == '/' || (::stat(f.Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
      return Format("%s: \"%s\" is a folder; name the report's file, such as \"%s\"", f.Option, f.Path,
                    (f.Path.back() == '/' ? f.Path : f.Path + "/") + "report.xml");
    seen.push_back(FileIdentity(f.Path));
    for (size_t i = 0; i + 1 < seen.size(); ++i)
      if (seen[i] == seen.back())
        return Format("%s and %s name one file (%s): each report needs a file of its own", files[i].Option, f.Option,
                      seen.back());
  }
  return {};
}

namespace {
std::string ExtensionHelp() {
  std::string help;
  for (const TExtension& e : Extensions())
    if (!e.Help.empty()) help += "\n" + e.Help + (e.Help.back() == '\n' ? "" : "\n");
  return help;
}
}  // namespace

std::string HelpText(std::string_view program) {
  std::string p(program);
  return "Usage: " + p +
         " [options]\n"
         "Runs the tests of this program.\n"
         "\n"
         "  --list               print the suite path of every test case, one a line\n"
         "  --list=json          print every node (path, class, file, line, enabled, run count) as JSON\n"
         "  --filter=PATTERNS    run only the tests whose dotted suite path, or a path above it,\n"
         "                       matches one of the comma-separated globs (* any text, ? one\n"
         "                       character); a pattern starting with - excludes; may be repeated\n"
         "  --runner=KIND        text (the default), nunit, junit (suite-path report) or gui\n"
         "  --output=FILE        the runner's report file; for text, where the console text goes\n"
         "  --report=KIND:FILE   also write a nunit or junit report of the same run; may be repeated\n"
         "  --repeat=N           run up to N times, stopping after the first unsuccessful run\n"
         "  --shuffle            run the tests of every suite in a random order (the seed is printed)\n"
         "  --seed=N             the order of --shuffle, to reproduce a run\n"
         "  --shard=I/N          run only shard I (from 0) of N; every test case is in one shard\n"
         "  --jobs=N|auto        run the tests in N worker processes side by side (auto: one per\n"
         "                       core); the reports keep the order of the tests all the same\n"
         "  --isolate            run each test case in a process of its own\n"
         "  --timeout=SECONDS    end a test case, or a suite's set-up or tear-down, that runs\n"
         "                       longer, with every process it started, as an error of that test\n"
         "  --in-process         run the tests in this process, as under a debugger (the default\n"
         "                       when one is attached): a crash then ends the run\n"
         "  --help               this text\n"
         "\n"
         "Environment: TEST_TOTAL_SHARDS and TEST_SHARD_INDEX shard the run (and TEST_SHARD_STATUS_FILE\n"
         "is touched), XML_OUTPUT_FILE adds a junit report, TEST_PREMATURE_EXIT_FILE is made at the\n"
         "start and removed at a normal end, as Bazel expects.\n"
         "\n"
         "Tests run in worker processes: one that crashes, calls exit or is killed is recorded as an\n"
         "error of that test and the run goes on; what a test prints keeps its place in the output.\n"
         "\n"
         "Exit code: 0 when every test passed, 1 when a test failed, crashed or none matched the\n"
         "filter, 2 for a mistake on the command line.\n" +
         ExtensionHelp();
}

// ---------------------------------------------------------------------------
// Filter

bool GlobMatch(std::string_view pattern, std::string_view text) noexcept {
  // Iterative, with one backtrack point: linear in practice, never exponential.
  size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

TPathFilter::TPathFilter(const std::vector<std::string>& patternLists) {
  for (const std::string& list : patternLists) {
    size_t start = 0;
    while (true) {
      size_t comma = list.find(',', start);
      std::string pattern = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      bool exclude = !pattern.empty() && pattern[0] == '-';
      std::string body = exclude ? pattern.substr(1) : pattern;
      if (body.empty()) Usage(Format("--filter=%s: an empty pattern", list));
      if (body.front() == '.' || body.back() == '.' || body.find("..") != std::string::npos)
        Usage(Format("--filter=%s: \"%s\" has an empty name between dots", list, pattern));
      (exclude ? FExclude : FInclude).push_back(std::move(body));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
}

bool TPathFilter::AnyMatches(const std::vector<std::string>& patterns, std::string_view path) {
  for (const std::string& p : patterns) {
    // The path and every path above it: "Core" chooses all of Core's tests.
    for (std::string_view prefix = path;;) {
      if (GlobMatch(p, prefix)) return true;
      size_t dot = prefix.rfind('.');
      if (dot == std::string_view::npos) break;
      prefix = prefix.substr(0, dot);
    }
  }
  return false;
}

bool TPathFilter::Chooses(std::string_view path) const {
  if (!FInclude.empty() && !AnyMatches(FInclude, path)) return false;
  return !AnyMatches(FExclude, path);
}

// ---------------------------------------------------------------------------
// The tree

namespace {

bool IsCaseNode(const ITestPtr& node) {
  return IsTestMethod(node) || (node->Tests().empty() && !Supports<ITestSuite>(node));
}

void Walk(const ITestPtr& node, const std::string& path, int depth, std::vector<TNodeInfo>& out) {
  for (const ITestPtr& child : node->Tests()) {
    if (!child) continue;
    std::string childPath = path.empty() ? child->GetName() : path + "." + child->GetName();
    out.push_back({child, childPath, depth, IsCaseNode(child)});
    Walk(child, childPath, depth + 1, out);
  }
}

// JSON text is UTF-8: a byte that is not part of a valid sequence becomes
// U+FFFD, as readers that decode leniently show it; a NUL and the other
// control characters travel as escapes.
void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = 0;
    const size_t n = c < 0x80 ? 1 : Platform::DecodeUtf8(s, i, cp);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += Format("\\u%4.4x", static_cast<int>(c));
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
  }
  out += '"';
}

// A --filter pattern that chooses the node by its path, also where the path
// cannot travel as it is: a byte a command line or JSON cannot carry (NUL,
// invalid UTF-8), and a character with a meaning in patterns ("," between
// patterns, "*", a leading "-"), each stands as "?", one byte.
std::string FilterFor(std::string_view path) {
  std::string out;
  for (size_t i = 0; i < path.size();) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    char32_t cp = 0;
    const size_t n = c < 0x80 ? 1 : Platform::DecodeUtf8(path, i, cp);
    if (n == 0 || c == 0 || c == ',' || c == '*' || (i == 0 && c == '-')) {
      out += '?';
      ++i;
    } else {
      out.append(path.substr(i, n));
      i += n;
    }
  }
  return out;
}

// Where a test method is declared; a suite takes its first case's file.
std::pair<std::string, uint32_t> SourceOf(const ITestPtr& node) {
  if (auto* tc = dynamic_cast<TTestCase*>(node.get())) {
    if (const TMethodEntry* e = tc->Method().Entry(); e && e->File) return {e->File, e->Line};
    return {};
  }
  for (const ITestPtr& child : node->Tests())
    if (child) {
      auto [file, line] = SourceOf(child);
      if (!file.empty()) return {file, 0};
    }
  return {};
}

class TSelectionListener : public ITestListener {
 public:
  TSelectionListener(ITestPtr root, const std::vector<TNodeInfo>& chosen) : FRoot(std::move(root)) {
    for (const TNodeInfo& n : chosen) FChosen.insert(n.Node.get());
  }
  void Status(const ITestPtr&, const std::string&) override {}
  void TestingStarts() override {}
  void StartTest(const ITestPtr&) override {}
  void AddSuccess(const ITestPtr&) override {}
  void AddError(TTestFailure&) override {}
  void AddFailure(TTestFailure&) override {}
  void EndTest(const ITestPtr&) override {}
  void TestingEnds(TTestResult&) override {}
  // The root is not in the list; everything the run reaches below it is.
  bool ShouldRunTest(const ITestPtr& test) override { return test == FRoot || FChosen.contains(test.get()); }

 private:
  ITestPtr FRoot;
  std::unordered_set<const ITest*> FChosen;
};

}  // namespace

namespace {

// The test cases of the chosen nodes below node, and how many of them are
// enabled (a case under a disabled suite is not), as CountTestCases and
// CountEnabledTestCases count the whole tree.
void CountChosen(const ITestPtr& node, const std::unordered_set<const ITest*>& chosen, bool enabled,
                 NUnitXMLTestRunner::TCaseCounts& counts) {
  for (const ITestPtr& child : node->Tests()) {
    if (!child || !chosen.contains(child.get())) continue;
    if (IsCaseNode(child)) {
      counts.Total += child->CountTestCases();
      if (enabled) counts.Enabled += child->CountEnabledTestCases();
    } else {
      CountChosen(child, chosen, enabled && child->GetEnabled(), counts);
    }
  }
}

}  // namespace

std::vector<TNodeInfo> ListNodes(const ITestPtr& root) {
  std::vector<TNodeInfo> out;
  if (root) Walk(root, {}, 1, out);
  return out;
}

std::vector<TNodeInfo> SelectNodes(const std::vector<TNodeInfo>& nodes, const TPathFilter& filter, int shardIndex,
                                   int shardCount) {
  std::vector<bool> keep(nodes.size(), false);
  int caseNumber = 0;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!nodes[i].IsCase || !filter.Chooses(nodes[i].Path)) continue;
    if (caseNumber++ % shardCount != shardIndex) continue;
    keep[i] = true;
    // The suites above it: the nearest earlier node of each smaller depth.
    int depth = nodes[i].Depth;
    for (size_t j = i; j-- > 0 && depth > 1;) {
      if (nodes[j].Depth < depth) {
        keep[j] = true;
        depth = nodes[j].Depth;
      }
    }
  }
  std::vector<TNodeInfo> out;
  for (size_t i = 0; i < nodes.size(); ++i)
    if (keep[i]) out.push_back(nodes[i]);
  return out;
}

std::string ListLines(const std::vector<TNodeInfo>& nodes) {
  std::string out;
  for (const TNodeInfo& n : nodes)
    if (n.IsCase) out += n.Path + "\n";
  return out;
}

std::string ListJson(const std::vector<TNodeInfo>& nodes) {
  std::string out = "[\n";
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TNodeInfo& n = nodes[i];
    auto [file, line] = SourceOf(n.Node);
    out += "  {\"path\": ";
    AppendJsonString(out, n.Path);
    out += ", \"filter\": ";
    AppendJsonString(out, FilterFor(n.Path));
    out += ", \"name\": ";
    AppendJsonString(out, n.Node->GetName());
    out += ", \"kind\": ";
    out += n.IsCase ? "\"case\"" : IsDecorator(n.Node) ? "\"decorator\"" : "\"suite\"";
    out += ", \"class\": ";
    AppendJsonString(out, n.Node->ClassType().Name);
    out += ", \"file\": ";
    AppendJsonString(out, file);
    out += ", \"line\": " + std::to_string(line);
    out += ", \"enabled\": ";
    out += n.Node->GetEnabled() ? "true" : "false";
    out += ", \"runCount\": " + std::to_string(n.Node->GetRunCount());
    out += i + 1 < nodes.size() ? "},\n" : "}\n";
  }
  return out + "]\n";
}

ITestListenerPtr SelectionListener(const ITestPtr& root, const std::vector<TNodeInfo>& chosen) {
  return std::make_shared<TSelectionListener>(root, chosen);
}

TShuffle::TShuffle(const ITestPtr& root, uint64_t seed) {
  std::mt19937_64 random(seed);
  std::vector<ITest*> stack{root.get()};
  while (!stack.empty()) {
    ITest* node = stack.back();
    stack.pop_back();
    // The list is the node's own: Tests() hands out the suite's member.
    auto& tests = const_cast<TInterfaceList&>(node->Tests());
    if (tests.size() > 1) {
      FSaved.emplace_back(&tests, tests);
      std::shuffle(tests.begin(), tests.end(), random);
    }
    for (const ITestPtr& t : tests)
      if (t) stack.push_back(t.get());
  }
}

TShuffle::~TShuffle() {
  for (auto& [list, order] : FSaved) *list = std::move(order);
}

void SetWindowedRunner(TWindowedRunner runner) noexcept { gWindowedRunner = runner; }

// ---------------------------------------------------------------------------
// Running

namespace {

ITestListenerPtr MakeReport(TRunnerKind kind, const std::string& file, bool console) {
  if (kind == TRunnerKind::NUnit) {
    auto l = std::make_shared<NUnitXMLTestRunner::TXMLTestListener>(file);
    l->SetConsoleOutput(console);
    return l;
  }
  auto l = std::make_shared<XMLTestRunner2::TXMLTestListener>(file);
  l->SetConsoleOutput(console);
  return l;
}

std::unique_ptr<TTestResult> NewResult(const TOptions& o, const ITestPtr& root, const ITestListenerPtr& selection) {
  if (o.InProcess) return std::make_unique<TTestResult>();
  TesselSupervisor::TSupervisorOptions s;
  s.Jobs = o.Jobs;
  s.Isolate = o.Isolate;
  const double limit = o.Timeout;
  s.TimeLimit = [limit](const ITestPtr& node) { return node ? TestTimeout(node, limit) : limit; };
  // What the listeners of this run will answer: the enabled flag (or what
  // an extension puts in its place) and the selection, which asks nothing else.
  std::function<bool(const ITestPtr&)> enabled;
  for (const TExtension& e : Extensions())
    if (e.WillRun) enabled = e.WillRun;
  s.WillRun = [enabled, selection](const ITestPtr& node) {
    return (enabled ? enabled(node) : node->GetEnabled()) && (!selection || selection->ShouldRunTest(node));
  };
  return TesselSupervisor::NewSupervisedResult(root, std::move(s));
}

}  // namespace

bool RunOnce(const TOptions& o, const ITestPtr& root, const ITestListenerPtr& selection,
             const std::vector<ITestListenerPtr>& listeners, bool ownConsole, int& stopSignal) {
  std::unique_ptr<TTestResult> result = NewResult(o, root, selection);
  std::optional<TesselCrashGuard::TCrashGuard> guard;
  if (o.InProcess) guard.emplace(*result);
  if (selection) result->AddListener(selection);
  for (const ITestListenerPtr& l : listeners) result->AddListener(l);
  bool keepRunner = !ownConsole;
  for (const TExtension& e : Extensions())
    if (e.AddListeners) e.AddListeners(*result, keepRunner);
  if (keepRunner) {
    switch (o.Runner) {
      case TRunnerKind::Text:
        result->AddListener(std::make_shared<TextTestRunner::TTextTestListener>());
        break;
      case TRunnerKind::NUnit:
        result->AddListener(MakeReport(o.Runner, o.HasOutput ? o.Output : NUnitXMLTestRunner::DEFAULT_FILENAME, true));
        break;
      default:
        result->AddListener(MakeReport(o.Runner, o.HasOutput ? o.Output : XMLTestRunner2::DEFAULT_FILENAME, true));
        break;
    }
  }
  for (const TReportRequest& r : o.Reports) result->AddListener(MakeReport(r.Kind, r.File, false));
  if (guard) guard->Seal();
  NUnitXMLTestRunner::RootSuite() = root;
  try {
    root->Run(*result);
  } catch (...) {
    guard.reset();
    TExceptionInfo info = DescribeCurrentException();
    std::fflush(stdout);
    std::fprintf(stderr, "The run ended early: %s: %s\n", info.ClassName.c_str(), info.Message.c_str());
    stopSignal = TesselSupervisor::StoppingSignal(*result);
    return false;
  }
  stopSignal = TesselSupervisor::StoppingSignal(*result);
  return result->WasSuccessful();
}

TWindowedRunner WindowedRunner() noexcept { return gWindowedRunner; }

namespace {

int Fail(const std::string& program, const std::string& msg, int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", program.c_str(), msg.c_str());
  if (code == kExitUsage) std::fprintf(stderr, "Try \"%s --help\".\n", program.c_str());
  return code;
}

bool TouchFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  return f && std::fclose(f) == 0;
}

}  // namespace

int Run(int argc, char* argv[], ITestPtr root) {
  std::string program = argc > 0 && argv[0] ? Platform::ExtractFileName(argv[0]) : "tessel";
  TOptions o;
  try {
    o = ParseOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + std::max(argc, 1)));
  } catch (const EUsageError& e) {
    return Fail(program, e.Message(), kExitUsage);
  }
  if (o.Help) {
    std::fputs(HelpText(program).c_str(), stdout);
    return kExitSuccess;
  }
  if (!root) root = RegisteredTests();
  if (!root) root = TestSuite(program, {});

  // The selection is made before any order is shuffled, so that the shards
  // of one tree stay the same whatever the seed.
  TPathFilter filter;
  try {
    filter = TPathFilter(o.Filters);
  } catch (const EUsageError& e) {
    return Fail(program, e.Message(), kExitUsage);
  }
  const bool selecting = !filter.Empty() || o.ShardCount > 1;
  // The list of nodes with their paths costs about what running that many
  // trivial tests does: made only for a selection or a listing.
  std::vector<TNodeInfo> nodes, chosen;
  if (selecting || o.List != TListKind::None) {
    nodes = ListNodes(root);
    chosen = selecting ? SelectNodes(nodes, filter, o.ShardIndex, o.ShardCount) : nodes;
  }
  if (!o.ShardStatusFile.empty() && !TouchFile(o.ShardStatusFile))
    return Fail(program,
                Format("Cannot write the shard status file \"%s\": %s", o.ShardStatusFile, std::strerror(errno)),
                kExitFailure);
  // An empty shard is no mistake (more shards than tests); an empty filter is.
  if (!filter.Empty() && SelectNodes(nodes, filter, 0, 1).empty()) {
    std::string patterns;
    for (const std::string& f : o.Filters) patterns += (patterns.empty() ? "" : " ") + f;
    return Fail(program, Format("No test matches the filter \"%s\"; --list shows the suite paths", patterns),
                kExitFailure);
  }
  if (o.List != TListKind::None) {
    // Written by length: a name may hold a NUL.
    const std::string listing = o.List == TListKind::Lines ? ListLines(chosen) : ListJson(chosen);
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    return kExitSuccess;
  }

  if (std::string why = CheckReportPaths(o); !why.empty()) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s\n", program.c_str(), why.c_str());
    return kExitUsage;
  }
  ITestListenerPtr selection = selecting ? SelectionListener(root, chosen) : nullptr;
  // The report's header describes the tests this run chose.
  NUnitXMLTestRunner::TCaseCounts counts;
  if (selecting) {
    std::unordered_set<const ITest*> set;
    for (const TNodeInfo& n : chosen) set.insert(n.Node.get());
    counts.Total = 0;
    CountChosen(root, set, root->GetEnabled(), counts);
  }
  NUnitXMLTestRunner::SelectedCases() = counts;
  if (o.Runner == TRunnerKind::Gui) {
    if (!gWindowedRunner)
      return Fail(program,
                  "the windowed runner is not built into this program (link Tessel's windowed runner "
                  "library, or choose --runner=text, nunit or junit)",
                  kExitUsage);
    return gWindowedRunner(argc, argv, root, selection);
  }
  if (o.Runner == TRunnerKind::Text && o.HasOutput && !std::freopen(o.Output.c_str(), "wb", stdout))
    return Fail(program, Format("Cannot write the console text to \"%s\": %s", o.Output, std::strerror(errno)),
                kExitFailure);
  if (!o.PrematureExitFile.empty() && !TouchFile(o.PrematureExitFile))
    return Fail(program,
                Format("Cannot make the premature-exit file \"%s\": %s", o.PrematureExitFile, std::strerror(errno)),
                kExitFailure);

  if (!o.InProcess && !o.Supervised && DebuggerAttached()) {
    // Breakpoints in the tests are hit only where the tests run.
    o.InProcess = true;
    std::fprintf(stderr, "%s: a debugger is attached: the tests run in this process (--in-process)\n",
                 program.c_str());
  }
  bool success = true;
  int stopSignal = 0;
  // Kept to 63 bits, so that the printed seed is one --seed takes back.
  std::random_device device;
  const uint64_t drawn = (uint64_t{device()} << 32 | device()) ^
                         static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const uint64_t seed = o.HasSeed ? o.Seed : drawn & INT64_MAX;
  if (o.Shuffle) {
    std::printf("Shuffle seed: %llu (repeat this order with --shuffle --seed=%llu)\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
    std::fflush(stdout);
  }
  for (int i = 0; i < o.Repeat && success && !stopSignal; ++i) {
    if (o.Repeat > 1) {
      std::printf("Repetition %d of %d\n", i + 1, o.Repeat);
      std::fflush(stdout);
    }
    std::unique_ptr<TShuffle> order;
    if (o.Shuffle) order = std::make_unique<TShuffle>(root, seed + static_cast<uint64_t>(i));
    success = RunOnce(o, root, selection, {}, false, stopSignal);
  }
  std::fflush(nullptr);
  if (stopSignal) {
    // Stopped from outside: the reports are finished, and the program ends
    // the way the signal would have ended it (the premature-exit file stays).
    ::signal(stopSignal, SIG_DFL);
    ::raise(stopSignal);
  }
  if (!o.PrematureExitFile.empty()) std::remove(o.PrematureExitFile.c_str());
  NUnitXMLTestRunner::SelectedCases() = {};
  std::fflush(stdout);
  return success ? kExitSuccess : kExitFailure;
}

namespace {
// Per-method limits, by class and method name.
std::map<std::pair<const TClass*, std::string>, double>& Timeouts() {
  static auto* timeouts = new std::map<std::pair<const TClass*, std::string>, double>();  // outlives exit
  return *timeouts;
}
}  // namespace

void SetTestTimeout(const TClass& testClass, const std::string& method, double seconds) {
  if (!(seconds > 0)) throw ETesselException(Format("The time limit of %s.%s must be above 0", testClass.Name, method));
  Timeouts()[{&testClass, method}] = seconds;
}

double TestTimeout(const ITestPtr& test, double otherwise) {
  auto& timeouts = Timeouts();
  if (timeouts.empty() || !test) return otherwise;
  // The class that declared the method or any class above it.
  for (const TClass* c = &test->ClassType(); c; c = c->Parent) {
    auto it = timeouts.find({c, test->GetName()});
    if (it != timeouts.end()) return it->second;
  }
  return otherwise;
}

bool DebuggerAttached() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("TracerPid:", 0) == 0) return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
  return false;
}

void AddExtension(TExtension extension) { Extensions().push_back(std::move(extension)); }

void InitializeUnit() {}
void FinalizeUnit() {}

}  // namespace TesselCommandLine

int TesselMain(int argc, char* argv[]) { return TesselCommandLine::Run(argc, argv); }
