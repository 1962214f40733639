// Tessel core: the measuring memory monitor.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "framework/TesselConsts.h"
#include "framework/TestFramework.h"
#include "platform/Format.h"
#include "platform/HeapStats.h"

namespace TestFramework {

namespace {

// How many freed blocks of one size glibc's per-thread cache keeps: 7
// unless the program was started with another glibc.malloc.tcache_count.
size_t CachedBlocksPerSize() {
  static const size_t count = [] {
    long n = 7;
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    const char* key = "glibc.malloc.tcache_count=";
    if (const char* at = tunables ? std::strstr(tunables, key) : nullptr)
      n = std::strtol(at + std::strlen(key), nullptr, 10);
    return static_cast<size_t>(std::clamp(n, 0L, 1024L));
  }();
  return count;
}

// glibc keeps a few freed blocks of each small size in a per-thread cache and
// counts them as in use. Allocating and freeing more blocks than it keeps, for
// every size it serves, leaves that cache full before each reading, so two
// readings see the same cached bytes and differ only by what is really in use.
void SettleThreadCache() {
  constexpr size_t kSizes = 64;  // the cached sizes: 24 bytes and up, in 16-byte steps
  // Twice as many and more: a block may come out of a larger free one and so
  // land in the next size's cache when freed.
  const size_t perSize = CachedBlocksPerSize() * 2 + 2;
  // Made once and kept, so that it is in use at every reading alike.
  static std::vector<void*>* blocks = new std::vector<void*>(kSizes * perSize);
  void* volatile* slots = blocks->data();
  for (size_t s = 0; s < kSizes; ++s)
    for (size_t i = 0; i < perSize; ++i) slots[s * perSize + i] = std::malloc(24 + 16 * s);
  for (size_t i = 0; i < blocks->size(); ++i) {
    std::free(slots[i]);
    slots[i] = nullptr;
  }
}

int32_t Clamp(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

bool IsLeak(int32_t change, bool failOnRecovery) { return change > 0 || (failOnRecovery && change < 0); }

bool Tolerates(int32_t allowed, int32_t change) {
  return change == allowed || (allowed > 0 && change > 0 && change <= allowed) ||
         (allowed < 0 && change < 0 && change >= allowed);
}

ITesselMemLeakMonitorPtr NewMeasuringMonitor() { return std::make_shared<TMeasuringMemLeakMonitor>(); }

}  // namespace

int64_t TMeasuringMemLeakMonitor::MeasureHeap() {
  SettleThreadCache();
  return Platform::HeapBytesInUse();
}

TMeasuringMemLeakMonitor::TMeasuringMemLeakMonitor() : FBaseline(MeasureHeap()) {}

int32_t TMeasuringMemLeakMonitor::Change() { return Clamp(MeasureHeap() - FBaseline); }

void TMeasuringMemLeakMonitor::MarkMemInUse() { FBaseline = MeasureHeap(); }

bool TMeasuringMemLeakMonitor::MemLeakDetected(int32_t& LeakSize) {
  LeakSize = Change();
  return LeakSize > 0;
}

bool TMeasuringMemLeakMonitor::MemLeakDetected(int32_t AllowedLeakSize, bool FailOnMemoryRecovery,
                                               int32_t& LeakSize) {
  LeakSize = Change();
  return IsLeak(LeakSize, FailOnMemoryRecovery) && !Tolerates(AllowedLeakSize, LeakSize);
}

bool TMeasuringMemLeakMonitor::MemLeakDetected(const TListIterator& AllowedValuesGetter, bool FailOnMemoryRecovery,
                                               int32_t& LeakIndex, int32_t& LeakSize) {
  LeakSize = Change();
  LeakIndex = 0;
  if (!IsLeak(LeakSize, FailOnMemoryRecovery)) return false;
  // The four allowed values in turn; the first that tolerates the change wins.
  for (int32_t i = 0; i < 4; ++i) {
    int32_t allowed = AllowedValuesGetter();
    if (allowed != 0 && Tolerates(allowed, LeakSize)) {
      LeakIndex = i;
      return false;
    }
  }
  return true;
}

bool TMeasuringMemLeakMonitor::GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestProcChangedMem,
                                               std::string& ErrorMsg) {
  ErrorMsg.clear();
  if (!IsLeak(TestProcChangedMem, FailOnMemoryRecovery)) return true;
  ErrorMsg = TestProcChangedMem > 0 ? Platform::Format(TesselConsts::sMemoryLeakedInBody, TestProcChangedMem)
                                    : Platform::Format(TesselConsts::sMemoryRecoveredInBody, -TestProcChangedMem);
  return false;
}

bool TMeasuringMemLeakMonitor::GetMemoryUseMsg(bool FailOnMemoryRecovery, int32_t TestSetupChangedMem,
                                               int32_t TestProcChangedMem, int32_t TestTearDownChangedMem,
                                               int32_t TestCaseChangedMem, std::string& ErrorMsg) {
  ErrorMsg.clear();
  if (!IsLeak(TestCaseChangedMem, FailOnMemoryRecovery)) return true;
  // Which phase kept the memory. The body's own reading is unambiguous; set-up
  // and tear-down are not when set-up allocates a fixture that tear-down
  // frees, so then both are named.
  const int64_t sign = TestCaseChangedMem > 0 ? 1 : -1;
  const int64_t setUp = sign * TestSetupChangedMem, body = sign * TestProcChangedMem,
                tearDown = sign * TestTearDownChangedMem;
  const char* phase = TesselConsts::sPhaseWholeTest;
  if (body > 0) phase = TesselConsts::sPhaseBody;
  else if (setUp > 0 && tearDown > 0) phase = TesselConsts::sPhaseSetUpAndTearDown;
  else if (setUp > 0) phase = tearDown == 0 ? TesselConsts::sPhaseSetUp : TesselConsts::sPhaseSetUpOrTearDown;
  else if (tearDown > 0) phase = TesselConsts::sPhaseTearDown;
  ErrorMsg = Platform::Format(sign > 0 ? TesselConsts::sMemoryLeakedIn : TesselConsts::sMemoryRecoveredIn,
                              sign * TestCaseChangedMem, phase, TestSetupChangedMem, TestProcChangedMem,
                              TestTearDownChangedMem);
  return false;
}

ITesselMemLeakMonitorPtr MeasuringMemLeakMonitor() { return NewMeasuringMonitor(); }

void UseMeasuringMemLeakMonitor(bool on) {
  if (!on) {
    SetMemLeakMonitorFactory(nullptr);
    return;
  }
  // Let the run-time library build what it builds on first use (stream
  // locale facets, the exception machinery) now rather than inside the first test.
  {
    std::ostringstream warm;
    warm << 1 << ' ' << 1.5 << std::string(40, 'x');
    try {
      throw std::runtime_error(warm.str());
    } catch (const std::exception&) {
      DescribeCurrentException();
    }
  }
  SettleThreadCache();
  SetMemLeakMonitorFactory(&NewMeasuringMonitor);
}

bool UsesMeasuringMemLeakMonitor() noexcept { return GetMemLeakMonitorFactory() == &NewMeasuringMonitor; }

}  // namespace TestFramework
