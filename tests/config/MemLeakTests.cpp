// Memory-leak monitoring: the allowed-leak list, the supplied monitors, the
// run loop's protocol around each node, and the measuring monitor.
#include <map>
#include <stdexcept>

#include "ConfigTestSupport.h"
#include "framework/TesselConsts.h"

using namespace TestFramework;
using namespace ConfigTests;

namespace {

// Blocks the tests below leak on purpose, freed once their run is checked.
char* gKept[32];
int gKeptCount = 0;
void Keep(char* p) { gKept[gKeptCount++] = p; }
void ReleaseKept() {
  while (gKeptCount > 0) delete[] gKept[--gKeptCount];
}
char* gOldBlock = nullptr;  // allocated before a run, freed inside it

// Allocations the compiler must not fold away with their delete.
char* volatile gSink;
char* NewBlock(size_t n) {
  gSink = new char[n];
  return gSink;
}
int32_t gSeenAllowance = -1;

// Test cases that the tests below run inside results of their own.
class TMemoryBehaviour : public TTestCase {
  TESSEL_TESTCASE(TMemoryBehaviour, TTestCase)
 public:
  TESSEL_TEST(TestLeaks) { Keep(new char[100]); }
  TESSEL_TEST(TestClean) {
    std::map<std::string, std::vector<int>> m;
    for (int i = 0; i < 200; ++i) m[std::string(i % 40 + 20, 'k') + std::to_string(i)].assign(i, i);
    std::string joined;
    for (const auto& kv : m) joined += kv.first;
    CheckEquals(int64_t{200}, static_cast<int64_t>(m.size()));
    try {
      throw std::runtime_error(joined);
    } catch (const std::exception& e) {
      CheckTrue(std::string(e.what()).size() > 1000);
    }
  }
  // Failures caught inside a passing test leave no memory behind, whether
  // their texts are short, long, or longer than any kept buffer.
  TESSEL_TEST(TestCatchesItsOwnFailures) {
    for (int i = 0; i < 3; ++i) {
      try {
        CheckEquals(1, 2 + i);
      } catch (const ETestFailure&) {
      }
      try {
        CheckEquals(std::string(40, 'a'), std::string(40, 'b'), "forty");
      } catch (const ETestFailure&) {
      }
      try {
        CheckEquals(std::string(400, 'a'), std::string(400, 'b'));
      } catch (const ETestFailure&) {
      }
      try {
        CheckTrue(false, "flag");
      } catch (const ETestFailure&) {
      }
    }
    Check(true);
  }
  TESSEL_TEST_RUNCOUNT(TestCleanRepeated, 3) {
    std::vector<std::string> v(50, std::string(300, 'x'));
    CheckEquals(int64_t{50}, static_cast<int64_t>(v.size()));
  }
  TESSEL_TEST(TestAllowsItsLeak) {
    SetAllowedMemoryLeakSize(200);
    Keep(new char[100]);
  }
  TESSEL_TEST(TestAllowsFromList) {
    SetAllowedLeakArray({50, 500});
    Keep(new char[100]);
  }
  TESSEL_TEST(TestFreesOldMemory) {
    delete[] gOldBlock;
    gOldBlock = nullptr;
  }
  TESSEL_TEST(TestSetsAllowance) { SetAllowedMemoryLeakSize(100); }
  TESSEL_TEST(TestRecordsAllowance) { gSeenAllowance = GetAllowedMemoryLeakSize(); }
  TESSEL_TEST(TestTooManyAllowed) { SetAllowedLeakArray({1, 2, 3, 4}); }
  TESSEL_TEST(TestFails) { CheckEquals(1, 2); }
};

// Set-up and tear-down that leak, or that balance each other.
class TFixtureBehaviour : public TTestCase {
  TESSEL_TESTCASE(TFixtureBehaviour, TTestCase)
 public:
  void SetUp() override {
    FFixture = new char[400];
    if (GetName() == "TestSetUpLeaks") Keep(new char[64]);
  }
  void TearDown() override {
    delete[] FFixture;
    FFixture = nullptr;
    if (GetName() == "TestTearDownLeaks") Keep(new char[64]);
  }
  TESSEL_TEST(TestSetUpLeaks) { FFixture[0] = 1; }
  TESSEL_TEST(TestTearDownLeaks) { FFixture[0] = 1; }
  TESSEL_TEST(TestFixtureBalances) { FFixture[0] = 1; }

 private:
  char* FFixture = nullptr;
};

struct TOutcome {
  std::string Events;
  std::vector<std::string> Messages, Classes, Locations;
  bool IgnoredFlag = false;
};

TOutcome RunOne(const ITestPtr& test, bool failsIfLeaked, bool ignoreSetUpTearDown = false,
                bool initialIgnoredFlag = false) {
  TTestResult result;
  result.FailsIfMemoryLeaked = failsIfLeaked;
  result.IgnoresMemoryLeakInSetUpTearDown = ignoreSetUpTearDown;
  result.MemoryLeakIgnoredInSetupOrTearDown = initialIgnoredFlag;
  auto listener = std::make_shared<TRecordingListener>();
  listener->Events.reserve(64);
  result.AddListener(listener);
  test->Run(result);
  TOutcome o;
  o.Events = listener->Joined();
  o.Messages = listener->Messages;
  o.Classes = listener->Classes;
  o.Locations = listener->Locations;
  o.IgnoredFlag = result.MemoryLeakIgnoredInSetupOrTearDown;
  return o;
}

// Restores the run loop's monitor choice however a test ends.
struct TMonitorChoiceGuard {
  TMemLeakMonitorFactory Old = GetMemLeakMonitorFactory();
  ~TMonitorChoiceGuard() {
    SetMemLeakMonitorFactory(Old);
    ReleaseKept();
  }
};

std::shared_ptr<TMemoryBehaviour> Behaviour(const char* name) { return std::make_shared<TMemoryBehaviour>(name); }

// N of a monitor message "<lead>N<tail>...", or -1 when it has another form.
// Block sizes vary with the allocator's state, so tests check a range.
int64_t BytesIn(const std::string& msg, const std::string& lead, const std::string& tail) {
  if (msg.compare(0, lead.size(), lead) != 0) return -1;
  size_t end = lead.size();
  while (end < msg.size() && msg[end] >= '0' && msg[end] <= '9') ++end;
  if (end == lead.size() || msg.compare(end, tail.size(), tail) != 0) return -1;
  return std::stoll(msg.substr(lead.size(), end - lead.size()));
}

bool Within(int64_t v, int64_t lo, int64_t hi) { return v >= lo && v <= hi; }

std::vector<int32_t> Drain(const TListIterator& it, int n) {
  std::vector<int32_t> v;
  for (int i = 0; i < n; ++i) v.push_back(it());
  return v;
}

// ---------------------------------------------------------------------------

class TAllowedLeakTests : public TTestCase {
  TESSEL_TESTCASE(TAllowedLeakTests, TTestCase)
 public:
  TESSEL_TEST(TestIteratorYieldsFourEntriesThenZero) {
    auto t = Behaviour("TestClean");
    CheckTrue(Drain(t->GetAllowedLeaksIterator(), 5) == std::vector<int32_t>{0, 0, 0, 0, 0}, "all zero at creation");
    t->SetAllowedMemoryLeakSize(5);
    t->SetAllowedLeakArray({10, 20, 30});
    TListIterator it = t->GetAllowedLeaksIterator();
    CheckTrue(Drain(it, 7) == std::vector<int32_t>{5, 10, 20, 30, 0, 0, 0});
    t->SetAllowedLeakArray({7});
    CheckTrue(Drain(t->GetAllowedLeaksIterator(), 5) == std::vector<int32_t>{5, 7, 0, 0, 0}, "shorter list: zeros");
    CheckEquals(5, t->GetAllowedLeaksIterator()(), "a new iterator starts again");
  }

  TESSEL_TEST(TestTooManyValuesFailAndKeepTheList) {
    auto t = Behaviour("TestClean");
    t->SetAllowedLeakArray({10, 20, 30});
    bool raised = false;
    try {
      t->SetAllowedLeakArray({1, 2, 3, 4});
    } catch (const ETestFailure& e) {
      raised = true;
      CheckEquals("Too many values in for AllowedLeakArray. Limit = 3", e.Message());
      CheckFalse(e.Location().IsKnown(), "no location");
    }
    CheckTrue(raised, "four values must fail");
    CheckTrue(Drain(t->GetAllowedLeaksIterator(), 4) == std::vector<int32_t>{0, 10, 20, 30});

    TOutcome o = RunOne(Behaviour("TestTooManyAllowed"), false);
    CheckEquals("Start:TestTooManyAllowed Failure:TestTooManyAllowed End:TestTooManyAllowed", o.Events);
    CheckEquals("Too many values in for AllowedLeakArray. Limit = 3", o.Messages.at(0));
  }

  TESSEL_TEST(TestAllowedSizeIsTheFirstNonZeroEntry) {
    auto t = Behaviour("TestClean");
    CheckEquals(0, t->GetAllowedMemoryLeakSize());
    t->SetAllowedLeakArray({0, 9});
    CheckEquals(9, t->GetAllowedMemoryLeakSize());
    t->SetAllowedMemoryLeakSize(4);
    CheckEquals(4, t->GetAllowedMemoryLeakSize());
  }

  TESSEL_TEST(TestEachRunClearsOnlyTheAllowedSize) {
    auto t = Behaviour("TestRecordsAllowance");
    t->SetAllowedMemoryLeakSize(50);
    t->SetAllowedLeakArray({60});
    RunOne(t, true);
    CheckEquals(60, gSeenAllowance, "entry 0 cleared, entry 1 kept");
    CheckTrue(Drain(t->GetAllowedLeaksIterator(), 4) == std::vector<int32_t>{0, 60, 0, 0});
  }
};

// ---------------------------------------------------------------------------

// A monitor that logs each call and answers from a script, for checking the
// order in which the run loop consults its monitors.
struct TScript {
  bool CaseLeak = false;
  int32_t CaseChange = 0;
  int32_t StepChange = 0;
  bool Passes = true;
};
TScript gScript;
std::vector<std::string> gMonitorLog;
int gMonitorsMade = 0;

class TScriptedMonitor : public ITesselMemLeakMonitor {
 public:
  explicit TScriptedMonitor(std::string role) : FRole(std::move(role)) { Log("new"); }
  bool MemLeakDetected(int32_t& LeakSize) override {
    Log("Detected");
    LeakSize = FRole == "step" ? gScript.StepChange : 0;
    return false;
  }
  bool MemLeakDetected(int32_t, bool, int32_t& LeakSize) override {
    Log("DetectedAllowed");
    LeakSize = 0;
    return false;
  }
  bool MemLeakDetected(const TListIterator& getter, bool, int32_t& LeakIndex, int32_t& LeakSize) override {
    Log("DetectedList(" + std::to_string(getter()) + ")");
    LeakIndex = 0;
    LeakSize = gScript.CaseChange;
    return gScript.CaseLeak;
  }
  bool GetMemoryUseMsg(bool, int32_t, std::string& ErrorMsg) override {
    Log("UseMsg");
    ErrorMsg.clear();
    return true;
  }
  bool GetMemoryUseMsg(bool, int32_t s, int32_t p, int32_t t, int32_t c, std::string& ErrorMsg) override {
    Log("UseMsg(" + std::to_string(s) + "," + std::to_string(p) + "," + std::to_string(t) + "," + std::to_string(c) +
        ")");
    ErrorMsg = gScript.Passes ? "" : "scripted memory failure";
    return gScript.Passes;
  }
  void MarkMemInUse() override { Log("Mark"); }

 private:
  void Log(const std::string& what) { gMonitorLog.push_back(FRole + ":" + what); }
  std::string FRole;
};

ITesselMemLeakMonitorPtr MakeScriptedMonitor() {
  return std::make_shared<TScriptedMonitor>(gMonitorsMade++ % 2 == 0 ? "step" : "case");
}

std::string TakeMonitorLog() {
  std::string s;
  for (const std::string& e : gMonitorLog) s += (s.empty() ? "" : " ") + e;
  gMonitorLog.clear();
  gMonitorsMade = 0;
  return s;
}

class TProtocolTests : public TTestCase {
  TESSEL_TESTCASE(TProtocolTests, TTestCase)
 public:
  TESSEL_TEST(TestSuppliedMonitorsMeasureNothing) {
    int32_t size = 5, index = 5;
    CheckFalse(TMemLeakMonitor().MemLeakDetected(size));
    CheckEquals(0, size);
    IMemLeakMonitorPtr m = MemLeakMonitor();
    CheckTrue(std::dynamic_pointer_cast<TMemLeakMonitor>(m) != nullptr);

    TTesselMemLeakMonitor tm;
    size = 5;
    CheckFalse(tm.MemLeakDetected(0, true, size));
    CheckEquals(0, size);
    CheckTrue(tm.MemLeakDetected(100, false, size), "a non-zero allowed size counts");
    auto t = Behaviour("TestClean");
    size = 5;
    CheckFalse(tm.MemLeakDetected(t->GetAllowedLeaksIterator(), false, index, size));
    CheckEquals(0, size);
    CheckEquals(0, index);
    t->SetAllowedMemoryLeakSize(7);
    t->SetAllowedLeakArray({8});
    TListIterator it = t->GetAllowedLeaksIterator();
    CheckTrue(tm.MemLeakDetected(it, false, index, size));
    CheckEquals(8, it(), "the monitor asked for exactly one value");
    std::string msg = "stale";
    CheckTrue(tm.GetMemoryUseMsg(true, 12, msg));
    CheckEquals("", msg);
    msg = "stale";
    CheckTrue(tm.GetMemoryUseMsg(true, 1, 2, 3, 4, msg));
    CheckEquals("", msg);
    tm.MarkMemInUse();
  }

  TESSEL_TEST(TestOutcomesWithSuppliedMonitors) {
    struct {
      const char* Test;
      bool FailsIfLeaked, Ignore, InitialFlag, ExpectedFlag;
    } const rows[] = {
        {"TestSetsAllowance", true, true, false, true},    // the one way the flag becomes true
        {"TestSetsAllowance", true, false, false, false},  // not ignoring: the monitor's message passes
        {"TestSetsAllowance", false, true, true, true},    // leak checks off: the flag is not written
        {"TestSetsAllowance", false, true, false, false},
        {"TestClean", true, true, true, false},  // no allowed size: no leak
    };
    TMonitorChoiceGuard guard;
    SetMemLeakMonitorFactory(nullptr);
    for (const auto& row : rows) {
      TOutcome o = RunOne(Behaviour(row.Test), row.FailsIfLeaked, row.Ignore, row.InitialFlag);
      std::string what = std::string(row.Test) + (row.FailsIfLeaked ? " leak-checked" : "") +
                         (row.Ignore ? " ignoring" : "") + (row.InitialFlag ? " flag-set" : "");
      CheckEquals("Start:" + std::string(row.Test) + " Success:" + row.Test + " End:" + row.Test, o.Events, what);
      CheckEquals(row.ExpectedFlag, o.IgnoredFlag, what);
    }

    // A suite goes straight to success; the flag its child set survives it.
    auto suite = std::make_shared<TTestSuite>("S");
    suite->AddTest(Behaviour("TestSetsAllowance"));
    TOutcome o = RunOne(suite, true, true);
    CheckEquals("Start:S Start:TestSetsAllowance Success:TestSetsAllowance End:TestSetsAllowance Success:S End:S",
                o.Events);
    CheckTrue(o.IgnoredFlag);

    o = RunOne(Behaviour("TestFails"), true, true);
    CheckEquals("Start:TestFails Failure:TestFails End:TestFails", o.Events, "a failing body gets no success");
  }

  TESSEL_TEST(TestMonitorsAreConsultedInOrder) {
    TMonitorChoiceGuard guard;
    SetMemLeakMonitorFactory(&MakeScriptedMonitor);
    TakeMonitorLog();
    gScript = {};
    const std::string head = "step:new case:new case:Detected step:Mark ";

    RunOne(Behaviour("TestClean"), false);
    CheckEquals(head + "step:Mark step:Detected", TakeMonitorLog(), "leak checks off");

    RunOne(Behaviour("TestClean"), true);
    CheckEquals(head + "step:Detected step:Mark step:Detected case:DetectedList(0)", TakeMonitorLog(), "no leak");

    gScript = {true, 77, 0, true};
    auto t = Behaviour("TestClean");
    TOutcome o = RunOne(t, true);
    CheckEquals(head + "step:Detected step:Mark step:Detected case:DetectedList(0) case:UseMsg(0,0,0,77)",
                TakeMonitorLog());
    CheckEquals("Start:TestClean Success:TestClean End:TestClean", o.Events);
    CheckEquals(77, t->GetAllowedMemoryLeakSize(), "a passing change becomes the allowed size");

    gScript = {true, 77, 5, false};
    o = RunOne(Behaviour("TestClean"), true);
    CheckEquals(head + "step:Detected step:Mark step:Detected case:DetectedList(0) case:UseMsg(0,5,5,77)",
                TakeMonitorLog());
    CheckEquals("Start:TestClean Failure:TestClean End:TestClean", o.Events, "the memory failure replaces success");
    CheckEquals("EPostTestFailure", o.Classes.at(0));
    CheckEquals("scripted memory failure", o.Messages.at(0));
    CheckTrue(o.Locations.at(0).find("MemLeakTests.cpp:") != std::string::npos, "at the test method");

    gScript = {true, 77, 0, false};
    o = RunOne(Behaviour("TestClean"), true, true);
    CheckEquals(head + "step:Detected step:Mark step:Detected case:DetectedList(0)", TakeMonitorLog(),
                "ignored in set-up or tear-down: no message asked for");
    CheckTrue(o.IgnoredFlag);
    CheckEquals("Start:TestClean Success:TestClean End:TestClean", o.Events);

    gScript = {};
    RunOne(Behaviour("TestFails"), true);
    CheckEquals(head + "step:Detected step:Mark step:Detected", TakeMonitorLog(), "a failed body: no verdict");
  }
};

// ---------------------------------------------------------------------------

class TMeasuringMonitorTests : public TTestCase {
  TESSEL_TESTCASE(TMeasuringMonitorTests, TTestCase)
 public:
  TESSEL_TEST(TestReadingsDoNotDriftWithoutLeaks) {
    TMeasuringMemLeakMonitor m;
    for (int round = 0; round < 50; ++round) {
      {
        std::vector<std::string> churn;
        for (int i = 0; i < round * 7; ++i) churn.emplace_back(static_cast<size_t>(i * 13 % 2000), 'c');
      }
      int32_t change = -1;
      CheckFalse(m.MemLeakDetected(change), "round " + std::to_string(round));
      CheckEquals(0, change, "round " + std::to_string(round));
    }
    char* block = NewBlock(100);
    int32_t change = 0;
    CheckTrue(m.MemLeakDetected(change));
    CheckTrue(Within(change, 100, 144), "a 100-byte block, with the allocator's overhead");
    m.MarkMemInUse();
    delete[] block;
    CheckFalse(m.MemLeakDetected(change));
    CheckTrue(change <= -100, "freeing shows as a negative change");
  }

  TESSEL_TEST(TestAllowedValueRules) {
    auto t = Behaviour("TestClean");  // made before the baseline: it stays allocated
    TMeasuringMemLeakMonitor m;
    char* block = NewBlock(100);
    int32_t c = 0, size = 0, index = -1;
    m.MemLeakDetected(c);
    struct {
      int32_t Allowed;
      bool Leak;
    } const rows[] = {{0, true}, {c, false}, {c + 50, false}, {c - 1, true}, {-c, true}};
    for (const auto& row : rows) {
      CheckEquals(row.Leak, m.MemLeakDetected(row.Allowed, false, size), "allowed " + std::to_string(row.Allowed));
      CheckEquals(c, size);
    }
    t->SetAllowedLeakArray({1, c + 8});
    CheckFalse(m.MemLeakDetected(t->GetAllowedLeaksIterator(), false, index, size));
    CheckEquals(2, index, "tolerated by the third entry");
    t->SetAllowedLeakArray({1, 2});
    CheckTrue(m.MemLeakDetected(t->GetAllowedLeaksIterator(), false, index, size));
    delete[] block;
    m.MarkMemInUse();
    block = NewBlock(100);
    TMeasuringMemLeakMonitor after;
    delete[] block;
    CheckFalse(after.MemLeakDetected(0, false, size), "recovery is no leak by default");
    CheckTrue(after.MemLeakDetected(0, true, size), "unless asked for");
    CheckFalse(after.MemLeakDetected(-c, true, size), "a negative allowed value tolerates it");
  }

  TESSEL_TEST(TestMessagesNameBytesAndPhase) {
    struct {
      bool FailOnRecovery;
      int32_t SetUp, Body, TearDown, Whole;
      bool Passes;
      const char* Message;
    } const rows[] = {
        {false, 0, 48, 0, 48, false,
         "Memory leak of 48 bytes in the test body (set-up: 0, test body: 48, tear-down: 0 bytes)"},
        {false, 32, 0, 0, 32, false,
         "Memory leak of 32 bytes in set-up (set-up: 32, test body: 0, tear-down: 0 bytes)"},
        {false, 0, 0, 64, 64, false,
         "Memory leak of 64 bytes in tear-down (set-up: 0, test body: 0, tear-down: 64 bytes)"},
        {false, 16, 0, 64, 80, false,
         "Memory leak of 80 bytes in set-up and tear-down (set-up: 16, test body: 0, tear-down: 64 bytes)"},
        {false, 416, 0, -336, 80, false,
         "Memory leak of 80 bytes in set-up or tear-down (set-up: 416, test body: 0, tear-down: -336 bytes)"},
        {false, 416, 40, -416, 40, false,
         "Memory leak of 40 bytes in the test body (set-up: 416, test body: 40, tear-down: -416 bytes)"},
        {false, 0, 0, 0, 16, false,
         "Memory leak of 16 bytes in the test (set-up: 0, test body: 0, tear-down: 0 bytes)"},
        {false, 0, -32, 0, -32, true, ""},
        {true, 0, -32, 0, -32, false,
         "32 bytes more freed than allocated in the test body (set-up: 0, test body: -32, tear-down: 0 bytes)"},
        {true, 0, 0, 0, 0, true, ""},
    };
    TMeasuringMemLeakMonitor m;
    for (const auto& row : rows) {
      std::string msg = "stale";
      CheckEquals(row.Passes, m.GetMemoryUseMsg(row.FailOnRecovery, row.SetUp, row.Body, row.TearDown, row.Whole, msg));
      CheckEquals(row.Message, msg);
    }
    std::string msg;
    CheckFalse(m.GetMemoryUseMsg(false, 48, msg));
    CheckEquals("Memory leak of 48 bytes in the test body", msg);
    CheckTrue(m.GetMemoryUseMsg(false, -8, msg));
    CheckFalse(m.GetMemoryUseMsg(true, -8, msg));
    CheckEquals("8 bytes more freed than allocated in the test body", msg);
  }

  TESSEL_TEST(TestLeakingTestFailsOnlyUnderTheMeasuringMonitor) {
    TMonitorChoiceGuard guard;
    SetMemLeakMonitorFactory(nullptr);
    TOutcome o = RunOne(Behaviour("TestLeaks"), true);
    CheckEquals("Start:TestLeaks Success:TestLeaks End:TestLeaks", o.Events, "default monitors");

    UseMeasuringMemLeakMonitor(true);
    CheckTrue(UsesMeasuringMemLeakMonitor());
    o = RunOne(Behaviour("TestLeaks"), false);
    CheckEquals("Start:TestLeaks Success:TestLeaks End:TestLeaks", o.Events, "leak checks off");
    o = RunOne(Behaviour("TestLeaks"), true);
    CheckEquals("Start:TestLeaks Failure:TestLeaks End:TestLeaks", o.Events, "measuring");
    CheckEquals("EPostTestFailure", o.Classes.at(0));
    const std::string& msg = o.Messages.at(0);
    const int64_t bytes = BytesIn(msg, "Memory leak of ", " bytes in the test body (set-up: 0, test body: ");
    CheckTrue(Within(bytes, 100, 144), msg);
    CheckTrue(msg.find("test body: " + std::to_string(bytes) + ", tear-down: 0 bytes)") != std::string::npos, msg);
    CheckTrue(o.Locations.at(0).find("MemLeakTests.cpp:") != std::string::npos, o.Locations.at(0));
    UseMeasuringMemLeakMonitor(false);
    CheckFalse(UsesMeasuringMemLeakMonitor());
  }

  TESSEL_TEST(TestCleanTestsPassUnderTheMeasuringMonitor) {
    TMonitorChoiceGuard guard;
    UseMeasuringMemLeakMonitor(true);
    auto suite = std::make_shared<TTestSuite>("Clean");
    for (const char* name : {"TestClean", "TestCatchesItsOwnFailures", "TestCleanRepeated", "TestSetsAllowance",
                             "TestClean", "TestCatchesItsOwnFailures"})
      suite->AddTest(Behaviour(name));
    suite->AddTest(std::make_shared<TFixtureBehaviour>("TestFixtureBalances"));
    TOutcome o = RunOne(suite, true);
    CheckEquals(size_t{0}, o.Messages.size(), o.Messages.empty() ? "" : o.Messages.front());
  }

  TESSEL_TEST(TestFixtureLeaksAreNamedOrIgnored) {
    TMonitorChoiceGuard guard;
    UseMeasuringMemLeakMonitor(true);
    TOutcome o = RunOne(std::make_shared<TFixtureBehaviour>("TestSetUpLeaks"), true);
    CheckEquals(size_t{1}, o.Messages.size());
    CheckTrue(Within(BytesIn(o.Messages.at(0), "Memory leak of ", " bytes in set-up or tear-down ("), 64, 112),
              o.Messages.at(0));
    o = RunOne(std::make_shared<TFixtureBehaviour>("TestTearDownLeaks"), true);
    CheckTrue(Within(BytesIn(o.Messages.at(0), "Memory leak of ", " bytes in set-up or tear-down ("), 64, 112),
              o.Messages.at(0));
    o = RunOne(std::make_shared<TFixtureBehaviour>("TestSetUpLeaks"), true, true);
    CheckEquals(size_t{0}, o.Messages.size(), "ignored in set-up and tear-down");
    CheckTrue(o.IgnoredFlag);
    o = RunOne(Behaviour("TestLeaks"), true, true);
    CheckEquals(size_t{1}, o.Messages.size(), "a leak in the body is never ignored");
    CheckFalse(o.IgnoredFlag);
  }

  TESSEL_TEST(TestAllowancesAndRecovery) {
    TMonitorChoiceGuard guard;
    UseMeasuringMemLeakMonitor(true);
    auto t = Behaviour("TestAllowsItsLeak");
    TOutcome o = RunOne(t, true);
    CheckEquals("Start:TestAllowsItsLeak Success:TestAllowsItsLeak End:TestAllowsItsLeak", o.Events);
    CheckTrue(Within(t->GetAllowedMemoryLeakSize(), 100, 200), "the measured change is kept as the allowed size");
    o = RunOne(Behaviour("TestAllowsFromList"), true);
    CheckEquals(size_t{0}, o.Messages.size());
    auto tooSmall = Behaviour("TestLeaks");
    tooSmall->SetAllowedLeakArray({50});
    o = RunOne(tooSmall, true);
    CheckEquals(size_t{1}, o.Messages.size());

    gOldBlock = new char[200];
    o = RunOne(Behaviour("TestFreesOldMemory"), true);
    CheckEquals(size_t{0}, o.Messages.size(), "freeing older memory passes by default");
    gOldBlock = new char[200];
    auto strict = Behaviour("TestFreesOldMemory");
    strict->SetFailsOnMemoryRecovery(true);
    o = RunOne(strict, true);
    CheckEquals(size_t{1}, o.Messages.size());
    CheckTrue(Within(BytesIn(o.Messages.at(0), "", " bytes more freed than allocated in the test body"), 200, 256),
              o.Messages.at(0));
  }
};

TESSEL_REGISTER("Memory", TAllowedLeakTests);
TESSEL_REGISTER("Memory", TProtocolTests);
TESSEL_REGISTER("Memory", TMeasuringMonitorTests);

}  // namespace
