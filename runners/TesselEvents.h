// The listener protocol between a process that runs tests (a worker) and
// the process that reports them (the supervisor). Every listener event of
// the worker's run becomes a record in memory the two share; the supervisor
// replays the records into a result of its own, whose listeners hear them
// as they would hear a run in their own process: the same calls in the same
// order, with the nodes' times, the failure records and the run count.
//
// A record counts once the writer has published it, so a worker that dies
// in the middle of one loses only that record. The writer publishes with
// one store and wakes the reader (one eventfd write) only when the reader
// has said that it sleeps, which it says only once the records stopped
// coming for a while (see TSupervisedResult::Wait).
//
// What a test prints goes to files the worker's standard output and error
// are redirected to; the records carry the files' offsets where the output
// may have grown (after the steps that run the test's code), so that the
// supervisor copies each piece out just before the event that follows it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "framework/TestFramework.h"

namespace TesselEvents {

using TestFramework::ITestPtr;
using TestFramework::TClass;
using TestFramework::TTestFailure;
using TestFramework::TTestResult;

enum class TKind : uint8_t {
  UnitBegin = 1,  // the worker starts a unit of work (Node: its index)
  UnitEnd,        // and has finished it
  StartTest,
  EndTest,
  StartSuite,
  EndSuite,
  AddSuccess,
  AddFailure,
  AddError,
  Status,
  Question,  // ShouldRunTest was asked inside a unit; Flags say the answer
  Done,      // the worker has no more work and ends
  Fragment,  // a piece of a record too big for a quarter of the ring (RunCount: its length); fMore on all but the last
};

enum TRecordFlags : uint8_t {
  fOutput = 1,  // OutPos and ErrPos follow the head
  fYes = 2,     // a question's answer
  fRemote = 4,  // the node was made in the worker: it is described in the record
  fMore = 8,    // a fragment that more fragments of the same record follow
  // Two records in one, as a passing test case sends them: a StartTest
  // that the question whether the node runs (answered yes) came just
  // before, an EndTest that its AddSuccess came just before with the same
  // times. Each is replayed as the two records were.
  fAsked = 16,
  fPassed = 32,
};

struct TRecordHead {
  uint32_t Size;  // the whole record, a multiple of 8
  TKind Kind;
  uint8_t Flags;
  uint16_t Spare;
  int32_t Node;       // index in the node table (the unit's index for unit records), -1 for none
  uint32_t RunCount;  // test cases the unit counted since its first node started
  int64_t StartTime;  // the node's times when the event happened
  int64_t StopTime;
};
static_assert(sizeof(TRecordHead) == 32);

enum : uint32_t { kWakeAtNext = 1, kWakeWhenFilling = 2 };

// Shared by one writer and one reader; lives at the start of the channel.
// What each side writes often has a cache line of its own: a line both
// write goes back and forth between their CPUs at every record.
struct alignas(64) TControl {
  // Written by the writer.
  std::atomic<uint64_t> Head;  // bytes the writer has published
  // What the writer's run is doing, for the reader's time limits, in one
  // word so that it is read whole: the innermost node it has started (low
  // half; -1: none, -2: one only the writer knows) and the milliseconds
  // after Epoch at which it started that node or last ended one of its
  // children (high half; 0 with no node).
  std::atomic<uint64_t> Active;
  int64_t Epoch;  // steady clock, ns
  // Written by the reader.
  alignas(64) std::atomic<uint64_t> Tail;  // bytes the reader has consumed
  // Seldom written, by either: who sleeps, and how the reader wants to be
  // woken: 0 it does not sleep, kWakeAtNext at the next record,
  // kWakeWhenFilling only once a quarter of the ring waits or the writer
  // runs out of room (a nap while records keep coming).
  alignas(64) std::atomic<uint32_t> ReaderWaiting;
  std::atomic<uint32_t> WriterWaiting;  // a futex word: the writer waits for room
  // A process that ran one test case for the writer (--isolate) got to its end.
  std::atomic<uint32_t> CaseDone;
};

// The shared memory: the control block and a ring mapped twice in a row,
// so that every record is one contiguous piece of memory however it wraps.
class TChannel {
 public:
  // Raises ETesselException when the memory cannot be made. The ring is
  // small so that its pages, once touched, serve the whole run; a record
  // bigger than a quarter of it travels in fragments. Its size is a power
  // of two, at least a page, so that a place in it is a mask away.
  explicit TChannel(size_t ringBytes = size_t(256) << 10);
  ~TChannel();
  TChannel(const TChannel&) = delete;
  TChannel& operator=(const TChannel&) = delete;

  TControl& Control() const noexcept { return *FControl; }
  char* Ring() const noexcept { return FRing; }
  // Makes the ring's pages present in both of this process's mappings of
  // it, in one call each rather than a fault per page: the maker calls it,
  // and so does a forked process, which inherits the mappings without them.
  void MapPages() const noexcept;
  size_t RingSize() const noexcept { return FRingSize; }
  // Where the byte at stream offset pos is; the record there runs on
  // unbroken into the second mapping.
  char* At(uint64_t pos) const noexcept { return FRing + (pos & (FRingSize - 1)); }

 private:
  TControl* FControl = nullptr;
  char* FRing = nullptr;
  size_t FRingSize = 0;
};

// The nodes both sides know, numbered the same way in both: the tree as it
// was when the workers were forked.
class TNodeTable {
 public:
  explicit TNodeTable(const ITestPtr& root);
  int32_t IndexOf(const TestFramework::ITest* node) const;  // -1 when unknown
  const ITestPtr* Ref(const TestFramework::ITest* node) const;  // null when unknown
  const ITestPtr& Node(int32_t index) const { return (*FNodes)[static_cast<size_t>(index)]; }
  size_t Size() const noexcept { return FNodes->size(); }
  // A reference to a node of the table that shares the table's hold on all
  // of them rather than the node's own: a copy writes the table's count,
  // not the node's, whose page a forked process shares. The node's own
  // reference when it is not in the table.
  ITestPtr Alias(const ITestPtr& node) const;

 private:
  std::shared_ptr<std::vector<ITestPtr>> FNodes = std::make_shared<std::vector<ITestPtr>>();
  // By address, for IndexOf: half the memory of a hash map, which a forked
  // process would copy page by page when it touches it.
  std::vector<std::pair<const TestFramework::ITest*, int32_t>> FIndex;
  // A run asks for the node it asked for last, or the one after it in the
  // tree: those two are looked at before the search.
  mutable size_t FLast = 0;
};

// The worker's side: a listener of the worker's result that writes every
// event into the channel. outFd and errFd are the descriptors whose offsets
// place the test's output (errFd -1 when both streams go to one file).
//
// Reading an offset is a system call, which would cost more than a passing
// test: when the files are sparse and mapped here (SetOutputMaps), a look at
// the byte where the output ended tells whether anything was written since,
// and the offsets are read only then. (Output that begins with NUL bytes is
// thus placed at the next output, at the latest when the unit ends.)
class TEventWriter : public TestFramework::ITestListenerX {
 public:
  TEventWriter(TChannel& channel, const TNodeTable& nodes, int wakeFd, int outFd, int errFd);

  // The worker's result, for its run count; set before the first unit.
  void SetResult(TTestResult* result) noexcept { FResult = result; }
  void UnitBegin(int32_t unit, const ITestPtr& root, int32_t rootIndex);
  void UnitEnd(int32_t unit);
  void Question(const ITestPtr& node, bool answer);
  void Done();
  // Writes nothing while silent: this process is a child a test forked.
  void SetSilent(bool silent) noexcept;
  // Sends the record held back for the next one (see SendSmall), before this
  // process ends or forks, or where the next record will be another's.
  void Flush();
  // After another process (a test case's own, under --isolate) wrote to the
  // channel: takes its records as written.
  void Resync() noexcept;
  // The output files mapped (size bytes each; null: not mapped).
  void SetOutputMaps(const char* out, const char* err, uint64_t size) noexcept;
  // Drops StartTest and EndTest of this node (its parent sends them).
  void SetQuietNode(const TestFramework::ITest* node) noexcept { FQuietNode = node; }

  void Status(const ITestPtr& test, const std::string& Msg) override;
  void TestingStarts() override {}
  void StartTest(const ITestPtr& test) override;
  void AddSuccess(const ITestPtr& test) override;
  void AddError(TTestFailure& error) override;
  void AddFailure(TTestFailure& failure) override;
  void EndTest(const ITestPtr& test) override;
  void StartSuite(const ITestPtr& suite) override;
  void EndSuite(const ITestPtr& suite) override;
  void TestingEnds(TTestResult&) override {}
  bool ShouldRunTest(const ITestPtr&) override { return true; }

 private:
  void Node(TKind kind, const ITestPtr& node, bool output);
  void Failure(TKind kind, TTestFailure& f);
  void Begin(TKind kind, const ITestPtr& node, bool output);
  void Num(uint64_t v);
  void Text(std::string_view s);
  void Publish();
  struct TSmallRecord {
    TRecordHead Head;
    uint64_t Out[2];  // the output places, when Head.Flags has fOutput
  };
  void NodeAt(TKind kind, const ITestPtr& node, int32_t index, bool output, uint8_t flags = 0);
  void SmallHead(TSmallRecord& r, TKind kind, const ITestPtr& node, int32_t index, bool output);
  void SendSmall(TSmallRecord& r);
  void PutSmall(TSmallRecord& r);
  void SendOwn(TKind kind, int32_t number, bool output);
  void Put(const char* data, uint32_t size);
  void PutWhole(const std::string& record);
  void Wake(TControl& c);
  int32_t IndexOf(const ITestPtr& node) const;
  void Heartbeat(int32_t node);
  bool OutputCheckpoint(bool force = false);
  bool Grew(const char* map, uint64_t pos) const noexcept;

  TChannel& FChannel;
  const TNodeTable& FNodes;
  int FWakeFd, FOutFd, FErrFd;
  const char* FOutMap = nullptr;
  const char* FErrMap = nullptr;
  uint64_t FMapSize = 0;
  uint64_t FOutPos = 0, FErrPos = 0;  // the offsets last sent
  TTestResult* FResult = nullptr;
  std::string FRecord;     // the record being built
  TSmallRecord FHeld{};    // a record the next one may take into itself, while FHolding
  bool FHolding = false;
  uint64_t FHead = 0;      // written, as this process knows it
  uint64_t FRoomUntil = 0; // Head may grow up to here without looking at Tail
  const TestFramework::ITest* FUnitRoot = nullptr;
  int32_t FUnitRootIndex = -1;
  const TestFramework::ITest* FQuietNode = nullptr;
  int64_t FRunBase = -1;
  bool FNeedOutput = false;  // the test's code may have run since the last offsets
  bool FSilent = false;
  std::vector<int32_t> FOpen;  // started nodes, for the heartbeat
};

// The supervisor's side: a result that replays records into its listeners.
class TReplayResult : public TTestResult {
 public:
  // The nodes are root's tree as it is now.
  explicit TReplayResult(const ITestPtr& root) : FNodes(root) {}

  // What a record is. Unit records and Done are the caller's to act on.
  struct TRecord {
    const TRecordHead* Head;
    uint64_t OutPos = 0, ErrPos = 0;
    std::string_view Payload;
  };
  static bool Parse(std::string_view bytes, TRecord& rec);
  // Replays one node record into this result's listeners. A listener's
  // exception passes on. Of a record that is two (fAsked), the question
  // goes first, through ReplayQuestion, before the output that came before
  // the record is placed.
  void Replay(const TRecord& rec);
  void ReplayQuestion(const TRecord& rec);

  // The nodes this result's run has started and not ended, innermost last.
  struct TOpen {
    const ITestPtr* Ref;  // the node table's reference, when the node is in it
    ITestPtr Own;         // else one of its own
    bool IsSuite;
    int64_t Since;        // when it started here (performance counter)
    bool Timed = false;   // a record after its start brought its own start time
    const ITestPtr& Node() const noexcept { return Ref ? *Ref : Own; }
  };
  const std::vector<TOpen>& OpenNodes() const noexcept { return FOpen; }
  // Records error against the innermost open node above depth (or, when
  // none is, against fallback), then ends every open node above depth as
  // the run loop would have: EndSuite for a suite, then EndTest.
  void EndOpenNodes(size_t depth, const TestFramework::TExceptionInfo& error, const ITestPtr& fallback);
  // What an exception passing the open nodes above depth does: EndTest for
  // each, and nothing for the suites it leaves.
  void UnwindOpenNodes(size_t depth);
  // The run count of the unit being replayed starts from here.
  void SetRunBase(int32_t base) noexcept { FRunBase = base; }

  void StartTest(const ITestPtr& test) override;
  void EndTest(const ITestPtr& test) override;
  void StartSuite(const ITestPtr& suite) override;
  void EndSuite(const ITestPtr& suite) override;
  const ITestPtr* StableRef(const TestFramework::ITest* node) override;
  ITestPtr FailureRef(const ITestPtr& test) override;

 protected:
  const TNodeTable FNodes;

 private:
  const ITestPtr* NodeOf(const TRecord& rec, std::string_view& payload);
  const TClass* ReadClassChain(std::string_view& payload);
  void ReplayFailure(const ITestPtr& node, std::string_view payload, bool isFailure);
  void Pop(bool suite);
  void Push(const ITestPtr& node, bool suite);

  std::vector<TOpen> FOpen;
  int32_t FRunBase = 0;
  std::deque<std::string> FTexts;                          // texts the failure records point at
  std::deque<std::unique_ptr<TClass>> FShadowClasses;      // classes the worker made after the fork
  std::unordered_map<uint64_t, const TClass*> FClassCache;
  std::unordered_map<uint64_t, ITestPtr> FRemoteNodes;     // nodes the worker made, by its address
};

}  // namespace TesselEvents
