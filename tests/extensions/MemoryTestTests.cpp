// The memory decorator: what the listeners hear, and the heap comparison with
// the meter off, with a scripted meter and with the real heap meter.
#include <cstdlib>
#include <initializer_list>

#include "ExtensionsTestKit.h"

using namespace TestFramework;
using namespace TestExtensions;
using namespace ExtensionsTestKit;

namespace {

// Switches the heap meter on for one scope by installing a monitor factory.
struct TMeterOn {
  TMemLeakMonitorFactory previous = GetMemLeakMonitorFactory();
  TMeterOn() {
    SetMemLeakMonitorFactory([]() -> ITesselMemLeakMonitorPtr { return std::make_shared<TTesselMemLeakMonitor>(); });
  }
  ~TMeterOn() { SetMemLeakMonitorFactory(previous); }
};

// Reads its values from a script, one per call.
class TScriptedMeter : public TMemoryTest {
 public:
  TScriptedMeter(ITestPtr test, std::initializer_list<int64_t> readings)
      : TMemoryTest(std::move(test)), FReadings(readings) {}
  int64_t MemoryAllocated() override { return FReadings.at(FNext++); }

 private:
  std::vector<int64_t> FReadings;
  size_t FNext = 0;
};

class TLeaky : public TTestCase {
  TESSEL_TESTCASE(TLeaky, TTestCase)
 public:
  static inline std::vector<std::unique_ptr<char[]>> Kept;
  TESSEL_TEST(TestLeak) {
    Kept.push_back(std::make_unique<char[]>(1 << 20));
    Check(Kept.back() != nullptr);
  }
};

std::string Around(const std::string& name, const std::string& inner, bool decoratorPasses = true) {
  return "TestingStarts\nShouldRunTest(" + name + ")\nShouldRunTest(" + name + ")\nStartTest(" + name + ")\n" + inner +
         (decoratorPasses ? "AddSuccess(" + name + ")\n" : "") + "EndTest(" + name + ")\nTestingEnds\n";
}

class TMemoryTestTests : public TTestCase {
  TESSEL_TESTCASE(TMemoryTestTests, TTestCase)
 public:
  TESSEL_TEST(TestWhatTheListenersHear) {
    struct Row {
      const char* method;
      const char* record;  // what the second, reported run of the wrapped test records
      int calls, runCount;
    } rows[] = {
        {"TestPass", nullptr, 1, 0},
        {"TestFail", "AddFailure(TestFail) ETestFailure: always fails", 2, 1},
        {"TestError", "AddError(TestError) std::runtime_error: broken", 2, 1},
    };
    for (const Row& r : rows) {
      TRecordedRun run(std::make_shared<TMemoryTest>(Subject(r.method)));
      std::string m = r.method, inner;
      if (r.record)
        inner = "ShouldRunTest(" + m + ")\nShouldRunTest(" + m + ")\nShouldRunTest(" + m + ")\nStartTest(" + m +
                ")\n" + r.record + "\nEndTest(" + m + ")\n";
      CheckEquals(Around("Test memory of " + m, inner), run.Log(), m);
      CheckEquals(r.calls, TSubject::Calls[m], m);
      CheckEquals(r.runCount, run.Result.RunCount(), m);
    }
  }

  TESSEL_TEST(TestWithoutMeterNothingIsMeasured) {
    CheckTrue(GetMemLeakMonitorFactory() == nullptr, "the meter is off by default");
    auto memory = std::make_shared<TMemoryTest>(std::make_shared<TLeaky>("TestLeak"));
    CheckEquals(int64_t{0}, memory->MemoryAllocated());
    TTestResult result;
    result.RunSuite(memory);
    CheckTrue(result.WasSuccessful(), "a leak goes unnoticed without a meter");
    TMeterOn on;
    CheckTrue(memory->MemoryAllocated() > 0);
  }

  TESSEL_TEST(TestChangeReportedByTheMeter) {
    struct Row {
      int64_t before, after;
      const char* failure;  // nullptr: the decorator passes
    } rows[] = {
        {1000, 1000, nullptr},
        {0, 16, "Memory use changed by 16 bytes, expected: <0> but was: <16>"},
        {100, 0, "Memory use changed by -100 bytes, expected: <0> but was: <-100>"},
        {0, 5000000000, "Memory use changed by 5000000000 bytes, expected: <0> but was: <2147483647>"},
    };
    for (const Row& r : rows) {
      TRecordedRun run(std::make_shared<TScriptedMeter>(Subject("TestPass"), std::initializer_list<int64_t>{r.before, r.after}));
      std::string name = "Test memory of TestPass";
      std::string inner = r.failure ? "AddFailure(" + name + ") ETestFailure: " + r.failure + "\n" : "";
      CheckEquals(Around(name, inner, !r.failure), run.Log());
    }
  }

  TESSEL_TEST(TestMeasuredLeakFails) {
    TMeterOn on;
    TLeaky::Kept.reserve(16);
    TRecordedRun run(std::make_shared<TMemoryTest>(std::make_shared<TLeaky>("TestLeak")));
    CheckEquals(1, run.Result.FailureCount());
    std::string msg = run.Result.GetFailure(0).ThrownExceptionMessage();
    const char prefix[] = "Memory use changed by ";
    CheckEquals(prefix, msg.substr(0, sizeof prefix - 1));
    long long bytes = std::atoll(msg.c_str() + sizeof prefix - 1);
    CheckTrue(bytes >= (1 << 20) && bytes < (1 << 20) + 65536, msg);
    std::string n = std::to_string(bytes), name = "Test memory of TestLeak";
    CheckEquals(Around(name,
                       "AddFailure(" + name + ") ETestFailure: Memory use changed by " + n +
                           " bytes, expected: <0> but was: <" + n + ">\n",
                       false),
                run.Log());
  }

  TESSEL_TEST(TestMeasuredCleanTestPasses) {
    TMeterOn on;
    ITestPtr pass = Subject("TestPass");
    // The first run of a test makes one-time allocations (method lookup,
    // allocator caches) that stay; they are not the test's leak.
    TTestResult warmUp;
    pass->RunWithFixture(warmUp);
    for (int i = 0; i < 3; ++i) {
      TRecordedRun run(std::make_shared<TMemoryTest>(pass));
      CheckEquals(Around("Test memory of TestPass", ""), run.Log());
    }
  }
};

TESSEL_REGISTER("Extensions", TMemoryTestTests);

}  // namespace
