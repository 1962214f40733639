// Supervised runs against runs in one process: the listeners must hear the
// same calls in the same order, whatever runs where, for every kind of tree.
// And the channel the records travel through: where its ring wraps, how a
// writer wakes its reader, and the table that numbers the nodes for both.
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <stdexcept>

#include "extensions/TestExtensions.h"
#include "framework/TestFramework.h"
#include "runners/TesselEvents.h"
#include "runners/TesselSupervisor.h"
#include "runners/TesselSupervisorDetail.h"

using namespace TestFramework;

namespace {

// Every listener call, ShouldRunTest included, as a line.
class TCallLog : public ITestListenerX {
 public:
  std::ostringstream Lines;
  TTestResult* Result = nullptr;
  void Status(const ITestPtr& t, const std::string& m) override { Lines << "status " << t->GetName() << ": " << m << "\n"; }
  void TestingStarts() override { Lines << "starts\n"; }
  void StartTest(const ITestPtr& t) override { Lines << "start " << t->GetName() << "\n"; }
  void AddSuccess(const ITestPtr& t) override { Lines << "pass " << t->GetName() << "\n"; }
  void AddError(TTestFailure& e) override { Add("error", e); }
  void AddFailure(TTestFailure& f) override { Add("failure", f); }
  void EndTest(const ITestPtr& t) override { Lines << "end " << t->GetName() << " run=" << Result->RunCount() << "\n"; }
  void StartSuite(const ITestPtr& s) override { Lines << "suite " << s->GetName() << "\n"; }
  void EndSuite(const ITestPtr& s) override { Lines << "end suite " << s->GetName() << "\n"; }
  void TestingEnds(TTestResult& r) override {
    Lines << "ends run=" << r.RunCount() << " failures=" << r.FailureCount() << " errors=" << r.ErrorCount()
          << " stopped=" << r.WasStopped() << "\n";
  }
  bool ShouldRunTest(const ITestPtr& t) override {
    Lines << "ask " << t->GetName() << "\n";
    return t->GetEnabled();
  }

 private:
  void Add(const char* kind, TTestFailure& f) {
    std::string where = f.LocationInfo();
    where = where.substr(where.rfind('/') + 1);
    const TClass* c = f.ThrownExceptionClass();
    Lines << kind << " " << f.FailedTest()->GetName() << " [" << f.ThrownExceptionName() << "/"
          << (c && c->InheritsFrom(&ETestFailure::ClassInfo()) ? "failure" : "other") << "] "
          << f.ThrownExceptionMessage() << " @" << where << "\n";
  }
};

// Exception classes nothing makes before a test raises them, so that the
// supervisor meets them first in a worker's records.
class EOwnFailure : public ETestFailure {
  TESSEL_EXCEPTION_CLASS(EOwnFailure, ETestFailure)
};
class EOwnStop : public EStopTestsFailure {
  TESSEL_EXCEPTION_CLASS(EOwnStop, EStopTestsFailure)
};

class TKinds : public TTestCase {
  TESSEL_TESTCASE(TKinds, TTestCase)
 public:
  TESSEL_TEST(TestPasses) { Check(true); }
  TESSEL_TEST(TestFails) { CheckEquals(1, 2, "count"); }
  TESSEL_TEST(TestRaises) { throw std::runtime_error("not a failure"); }
  TESSEL_TEST(TestTalks) {
    Status("first");
    Status("second");
    Check(true);
  }
  TESSEL_TEST(TestOwnFailure) { throw EOwnFailure("of its own kind"); }
  TESSEL_TEST(TestOwnStop) { throw EOwnStop("stops the run"); }
  // Bigger than the channel's ring: it travels in pieces.
  TESSEL_TEST(TestLongMessage) { Fail(std::string(1 << 20, 'm') + "and its end"); }
  TESSEL_TEST(TestGrows);
};

// A test that adds a test to the suite it runs in, which runs it next.
void TKinds::TestGrows() {
  if (auto* suite = dynamic_cast<TTestSuite*>(static_cast<ITest*>(GetGUIObject()))) {
    SetGUIObject(nullptr);
    suite->AddTest(std::make_shared<TKinds>("TestPasses"));
  }
  Check(true);
}

class TFaultyFixture : public TTestCase {
  TESSEL_TESTCASE(TFaultyFixture, TTestCase)
 public:
  void SetUp() override {
    if (GetName() == "TestSetUpFails") throw std::logic_error("no fixture");
  }
  void TearDown() override {
    if (GetName() == "TestTearDownFails") throw std::logic_error("no clean-up");
  }
  TESSEL_TEST(TestSetUpFails) { Check(true); }
  TESSEL_TEST(TestTearDownFails) { Check(true); }
};

class TOnce : public TestExtensions::TTestSetup {
  TESSEL_DECORATOR_CLASS(TOnce, TestExtensions::TTestSetup)
  void SetUp() override { std::printf("once\n"); }
};

ITestPtr Case(const char* name) { return std::make_shared<TKinds>(name); }

ITestPtr Tree(const std::string& kind) {
  auto root = TestSuite("root", {});
  if (kind == "plain") {
    auto disabled = Case("TestPasses");
    disabled->SetEnabled(false);
    root->AddTest(TestSuite("A", {Case("TestPasses"), Case("TestFails"), Case("TestRaises"), Case("TestTalks")}));
    root->AddTest(TestSuite("B", {disabled, Case("TestOwnFailure"), TFaultyFixture::Suite(), Case("TestLongMessage")}));
  } else if (kind == "decorated") {
    auto inner = TestSuite("Inner", {Case("TestPasses"), Case("TestFails"), Case("TestTalks")});
    auto off = Case("TestRaises");
    off->SetEnabled(false);
    inner->AddTest(off);
    root->AddTest(Case("TestPasses"));
    root->AddTest(std::make_shared<TOnce>(inner));
    root->AddTest(std::make_shared<TestExtensions::TRepeatedTest>(Case("TestFails"), 3));
    root->AddTest(Case("TestTalks"));
  } else if (kind == "stop") {
    root->AddTest(TestSuite("A", {Case("TestPasses"), Case("TestOwnStop"), Case("TestPasses")}));
    root->AddTest(TestSuite("B", {Case("TestPasses")}));
  } else if (kind == "growing") {
    auto suite = std::make_shared<TTestSuite>("Grows");
    auto grows = Case("TestGrows");
    grows->SetGUIObject(static_cast<ITest*>(suite.get()));
    suite->AddTest(grows);
    root->AddTest(std::make_shared<TOnce>(suite));
    root->AddTest(Case("TestPasses"));
  }
  return root;
}

std::string RunAndLog(const std::string& kind, std::unique_ptr<TTestResult> (*make)(const ITestPtr&, int), int how) {
  ITestPtr root = Tree(kind);
  std::unique_ptr<TTestResult> result = make(root, how);
  auto log = std::make_shared<TCallLog>();
  log->Result = result.get();
  result->AddListener(log);
  std::fflush(stdout);
  root->Run(*result);
  return log->Lines.str();
}

std::unique_ptr<TTestResult> InProcess(const ITestPtr&, int) { return std::make_unique<TTestResult>(); }

std::unique_ptr<TTestResult> Supervised(const ITestPtr& root, int how) {
  TesselSupervisor::TSupervisorOptions o;
  o.Jobs = how & 1 ? 2 : 1;
  o.Isolate = (how & 2) != 0;
  return TesselSupervisor::NewSupervisedResult(root, o);
}

class TSupervisorTests : public TTestCase {
  TESSEL_TESTCASE(TSupervisorTests, TTestCase)
 public:
  // Supervised first: the exception classes of the trees are then made in a
  // worker before this process ever makes them.
  TESSEL_TEST(TestListenersHearTheRunInOneProcess) {
    for (const char* kind : {"plain", "decorated", "stop", "growing"}) {
      std::string supervised[4];
      for (int how = 0; how < 4; ++how) supervised[how] = RunAndLog(kind, Supervised, how);
      const std::string inProcess = RunAndLog(kind, InProcess, 0);
      static const char* const ways[] = {"one worker", "two workers", "isolated", "isolated, two workers"};
      for (int how = 0; how < 4; ++how) {
        // An isolated test grows the tree of its own process only.
        if (std::string(kind) == "growing" && (how & 2)) continue;
        CheckEquals(inProcess, supervised[how], std::string(kind) + " tree, " + ways[how]);
      }
    }
  }

  TESSEL_TEST(TestRecordsCrossTheRingsEnd) {
    // A small ring that the records wrap around many times, one failure
    // record (with its texts and class chain) at a time.
    TesselEvents::TChannel channel(4096);
    ITestPtr root = TestSuite("root", {Case("TestFails")});
    TesselEvents::TNodeTable nodes(root);
    TesselEvents::TEventWriter writer(channel, nodes, -1, 1, -1);
    TesselEvents::TReplayResult replay(root);
    auto log = std::make_shared<TCallLog>();
    log->Result = &replay;
    replay.AddListener(log);
    const ITestPtr test = root->Tests()[0];
    TesselEvents::TControl& c = channel.Control();
    std::string expected;
    for (int i = 0; i < 200; ++i) {
      std::string message(static_cast<size_t>(i * 37 % 600), static_cast<char>('a' + i % 26));
      TTestFailure f(test, TExceptionInfo{&EOwnFailure::ClassInfo(), "EOwnFailure", message, {}}, {}, {});
      writer.AddFailure(f);
      TesselEvents::TReplayResult::TRecord rec;
      const uint64_t tail = c.Tail.load();
      Check(TesselEvents::TReplayResult::Parse(
                std::string_view(channel.Ring() + tail % channel.RingSize(), c.Head.load() - tail), rec),
            "record " + std::to_string(i) + " reads back");
      replay.Replay(rec);
      c.Tail.store(tail + rec.Head->Size);
      expected += "failure TestFails [EOwnFailure/failure] " + message + " @\n";
    }
    Check(c.Head.load() > 10 * channel.RingSize(), "the ring wrapped many times");
    CheckEquals(expected, log->Lines.str());
  }

  TESSEL_TEST(TestAWriterWakesItsReaderAsAsked) {
    // Nobody reads this ring: the writer sees the reader's wish and the
    // bytes that wait, and wakes it through the descriptor.
    TesselEvents::TChannel channel(1 << 16);
    ITestPtr root = TestSuite("root", {Case("TestPasses")});
    TesselEvents::TNodeTable nodes(root);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    Check(wake >= 0, "an event descriptor");
    TesselEvents::TEventWriter writer(channel, nodes, wake, -1, -1);
    TesselEvents::TControl& c = channel.Control();
    const ITestPtr test = root->Tests()[0];
    auto woken = [wake] {
      uint64_t n = 0;
      return ::read(wake, &n, sizeof n) == static_cast<ssize_t>(sizeof n);
    };
    writer.EndTest(test);
    Check(!woken(), "a reader that does not sleep is not woken");
    c.ReaderWaiting.store(TesselEvents::kWakeAtNext);
    writer.EndTest(test);
    Check(woken() && c.ReaderWaiting.load() == 0, "woken at the next record, as asked");
    writer.EndTest(test);
    Check(!woken(), "once woken, not again");
    // A nap: woken only once a quarter of the ring waits, by the record that
    // makes it so.
    c.ReaderWaiting.store(TesselEvents::kWakeWhenFilling);
    const uint64_t quarter = channel.RingSize() / 4;
    int records = 0;
    while (c.Head.load() - c.Tail.load() < quarter) {
      Check(!woken(), "no wake below a quarter, " + std::to_string(records) + " records");
      writer.EndTest(test);
      ++records;
    }
    Check(records > 100 && woken() && c.ReaderWaiting.load() == 0, "woken once a quarter waits");
    // The reader caught up; the next nap counts from where it is.
    c.Tail.store(c.Head.load());
    c.ReaderWaiting.store(TesselEvents::kWakeWhenFilling);
    writer.EndTest(test);
    Check(!woken(), "a nap after the reader caught up is not cut short");
    ::close(wake);
  }

  TESSEL_TEST(TestAReplayedFailureHoldsItsTestThroughTheTable) {
    // Its test's own reference count stays as it was (in a supervisor, its
    // page is shared with the workers), and the failure keeps the test
    // alive for as long as it lives, result and tree gone.
    ITestPtr root = TestSuite("root", {Case("TestFails")});
    ITestPtr test = root->Tests()[0];
    auto replay = std::make_unique<TesselEvents::TReplayResult>(root);
    const long counted = test.use_count();
    const TExceptionInfo e{&EOwnFailure::ClassInfo(), "EOwnFailure", "no", {}};
    for (int i = 0; i < 3; ++i) replay->AddFailure(test, e, {});
    replay->AddError(test, e, {});
    ITestPtr kept = replay->GetFailure(2).FailedTest();
    CheckEquals(int64_t(counted), int64_t(test.use_count()), "the test's own count");
    Check(kept.get() == test.get() && replay->GetError(0).FailedTest().get() == test.get(), "the failures' test");
    std::weak_ptr<ITest> node = test;
    test.reset();
    root.reset();
    replay.reset();
    Check(!node.expired() && kept->GetName() == "TestFails", "the test outlives its tree while a failure holds it");
    kept.reset();
    Check(node.expired(), "and goes with the last of them");
    // A node the table does not have is held by its own count.
    ITestPtr stranger = Case("TestPasses");
    TesselEvents::TReplayResult other(TestSuite("root", {}));
    other.AddFailure(stranger, e, {});
    CheckEquals(int64_t(2), int64_t(stranger.use_count()), "a stranger's failure holds it itself");
  }

  TESSEL_TEST(TestAWorkerForkedOnThisCpuMayRunOnAnyOfThem) {
    // Its start is on this process's CPU, but neither process keeps that
    // pin: workers kept on one CPU would run one at a time. From all of the
    // machine's CPUs, whatever this process was given (by the very worker
    // start that is tested here, say).
    cpu_set_t given, before, after, child;
    CPU_ZERO(&before);
    CPU_ZERO(&child);
    Check(::sched_getaffinity(0, sizeof given, &given) == 0, "this process's CPUs");
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < online && i < CPU_SETSIZE; ++i) CPU_SET(static_cast<int>(i), &before);
    struct TGiveBack {
      cpu_set_t& Mask;
      ~TGiveBack() { ::sched_setaffinity(0, sizeof Mask, &Mask); }
    } giveBack{given};
    // What the kernel grants of them (a container may allow fewer).
    if (::sched_setaffinity(0, sizeof before, &before) != 0 || ::sched_getaffinity(0, sizeof before, &before) != 0 ||
        CPU_COUNT(&before) < 2) {
      Status("fewer than two CPUs to run on: not checked");
      return;
    }
    int fds[2];
    Check(::pipe(fds) == 0, "a pipe");
    const pid_t pid = TesselSupervisor::Detail::ForkOnThisCpu();
    if (pid == 0) {
      cpu_set_t mine;
      if (::sched_getaffinity(0, sizeof mine, &mine) == 0) {
        [[maybe_unused]] ssize_t w = ::write(fds[1], &mine, sizeof mine);
      }
      ::_exit(0);
    }
    Check(pid > 0, "a child");
    ::close(fds[1]);
    const ssize_t n = ::read(fds[0], &child, sizeof child);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Check(::sched_getaffinity(0, sizeof after, &after) == 0 && CPU_EQUAL(&before, &after), "this process's CPUs after");
    Check(n == static_cast<ssize_t>(sizeof child) && CPU_EQUAL(&before, &child),
          "the child's CPUs: " + std::to_string(CPU_COUNT(&child)) + " of " + std::to_string(CPU_COUNT(&before)));
  }

  TESSEL_TEST(TestTheNodeTableNumbersEveryNodeOnce) {
    // A node in two places, and nodes asked for in the tree's order, against
    // it, and at random: each number leads back to its node.
    ITestPtr twice = Case("TestFails");
    ITestPtr root = TestSuite("root", {TestSuite("A", {Case("TestPasses"), twice, Case("TestTalks")}),
                                       TestSuite("B", {twice, Case("TestRaises")}), Case("TestPasses")});
    TesselEvents::TNodeTable nodes(root);
    std::vector<ITest*> order;
    std::vector<ITest*> pending{root.get()};
    while (!pending.empty()) {
      ITest* n = pending.back();
      pending.pop_back();
      if (std::find(order.begin(), order.end(), n) == order.end()) order.push_back(n);
      const TInterfaceList& children = n->Tests();
      for (size_t i = children.size(); i-- > 0;) pending.push_back(children[i].get());
    }
    CheckEquals(static_cast<int64_t>(order.size()), static_cast<int64_t>(nodes.Size()), "one number per node");
    auto all = [&](const std::vector<ITest*>& asked, const std::string& how) {
      for (ITest* n : asked) {
        const int32_t i = nodes.IndexOf(n);
        Check(i >= 0 && nodes.Node(i).get() == n, how + ": " + n->GetName());
        Check(nodes.Ref(n) == &nodes.Node(i), how + ": the table's own reference");
      }
    };
    all(order, "in the tree's order");
    all(std::vector<ITest*>(order.rbegin(), order.rend()), "against it");
    std::vector<ITest*> shuffled = order;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    all(shuffled, "at random");
    ITestPtr stranger = Case("TestPasses");
    CheckEquals(-1, nodes.IndexOf(stranger.get()), "a node the table does not have");
    Check(nodes.Ref(stranger.get()) == nullptr, "no reference for it");
  }
};

}  // namespace

TESSEL_REGISTER("Supervisor", TSupervisorTests);
