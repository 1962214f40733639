// What the sources of the supervisor unit share: the supervisor's side
// (TesselSupervisor.cpp, TesselSupervisorWorkers.cpp) and the worker's
// (TesselSupervisorWorker.cpp). Not for use outside them.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "runners/TesselEvents.h"
#include "runners/TesselSupervisor.h"

namespace TesselSupervisor::Detail {

struct TUnit {
  int32_t Node;    // in the node table
  bool Predicted;  // the workers run it: it and the suites above it will run
};

// Memory all workers of a run share with the supervisor.
struct TRunControl {
  std::atomic<uint32_t> Stop;  // take no more units
  std::atomic<uint32_t> Hint;  // every unit below this one has been taken
};

// Everything a worker needs, made by the supervisor before it forks.
struct TRunShared {
  const TesselEvents::TNodeTable* Nodes = nullptr;
  const std::vector<TUnit>* Units = nullptr;
  TRunControl* Control = nullptr;
  std::atomic<uint32_t>* Owners = nullptr;  // per unit: 0 while free, else the worker that took it
  TSupervisorOptions Options;
  bool FailsIfNoChecksExecuted = false, FailsIfMemoryLeaked = false, IgnoresMemoryLeakInSetUpTearDown = false;
  pid_t Supervisor = 0;
  int WakeFd = -1;
  // What the program had before the supervisor changed it, for the tests.
  std::vector<int> Signals;
  std::vector<struct sigaction> Dispositions;
  sigset_t Mask{};
};

// One worker process as it starts.
struct TWorkerStart {
  TesselEvents::TChannel* Channel = nullptr;
  uint32_t Id = 0;
  uint32_t StartAt = 0;
  int OutFd = -1, ErrFd = -1;   // its standard output and error (ErrFd -1: one file for both)
  bool Sparse = false;          // the files are kOutputFileSize long: they can be mapped
  std::vector<int> CloseFds;    // the supervisor's descriptors it must not keep
};

// The worker's life after fork; never returns.
[[noreturn]] void WorkerMain(const TRunShared& run, const TWorkerStart& start);

// The worker's output files are this long (sparse), and mapped this far, so
// that it sees where its output has grown without a system call.
inline constexpr uint64_t kOutputFileSize = uint64_t(1) << 40;
inline constexpr uint64_t kOutputMapSize = uint64_t(1) << 34;

// Exit status of a worker that found itself orphaned before it started.
inline constexpr int kOrphanedWorker = 121;

// ---------------------------------------------------------------------------
// The supervisor's side (TesselSupervisor.cpp; its dealings with the worker
// processes in TesselSupervisorWorkers.cpp).

// The output files of one worker, and how much of each is copied out.
struct TOutput {
  int OutFd = -1, ErrFd = -1;
  uint64_t OutCopied = 0, ErrCopied = 0, OutFreed = 0, ErrFreed = 0;
  ~TOutput() {
    if (OutFd >= 0) ::close(OutFd);
    if (ErrFd >= 0) ::close(ErrFd);
  }
};

// Copies a worker's output up to the given offsets, or all of it, into this
// process's standard output and error.
void CopyOutput(TOutput& o, uint64_t outPos, uint64_t errPos);
void CopyAllOutput(TOutput& o);
// How a worker's process ended, for the record of the test it ran.
std::string EndText(int status);
std::string StatusText(int status);
// The keeper: a process that outlives the supervisor, told every worker's
// process group; when its socket closes (at the end of the run, or because
// the supervisor was killed) it ends the groups still on its list.
struct TKeeper {
  int Socket = -1;
  pid_t Pid = -1;
  void* Stack = nullptr;  // of a keeper that shares this process's memory
};
// Without a keeper (no process could be started) the run goes on.
void StartKeeper(TKeeper& keeper);
// Tells the keeper of a process group to end (positive) or not (negative).
void TellKeeper(const TKeeper& keeper, int32_t group);
// Closes its socket, which ends it, and waits for it.
void EndKeeper(TKeeper& keeper);
// fork(), with the child started on the CPU this process runs on, which is
// awake, rather than on an idle one: on a virtual machine, waking an idle
// CPU can take milliseconds. This process gets its CPU mask back at once
// and waits (at most 100 ms) until the child runs, so that the CPU is the
// child's; the child gets the mask back as it starts.
pid_t ForkOnThisCpu();
// The signal that asked the run to stop from outside, 0 while none did.
int StopSignalPending() noexcept;
int64_t NowNanos();

// The supervisor's result: it walks the plain suites itself, as the run
// loop does, and replays each unit of work from the worker that ran it.
class TSupervisedResult final : public TesselEvents::TReplayResult {
 public:
  TSupervisedResult(ITestPtr root, TSupervisorOptions options);
  ~TSupervisedResult() override;

  void TestingStarts() override;
  void TestingEnds() override;
  void Run(const ITestPtr& test) override;
  int StopSignal() const noexcept { return FStopSignal; }

 private:
  // One worker process, from its fork until its records are all read.
  struct TWorker {
    // Where its records stand, as far as they are read, and whether the
    // process still runs: the two together are the worker's state.
    enum TStream { Idle, InUnit, Finished } Stream = Idle;
    bool Alive = true;
    uint32_t Id = 0;
    pid_t Pid = -1;
    int PidFd = -1;
    std::unique_ptr<TesselEvents::TChannel> Channel;
    std::shared_ptr<TOutput> Output;
    int32_t Unit = -1;      // the unit its read records are in
    int32_t LastUnit = -1;  // the last one they ended
    int Status = 0;         // once it is not alive
    double TimedOutAfter = 0;
    bool Parked = false;    // its next record begins a unit the replay has not reached
    uint64_t KnownHead = 0; // the writer's Head as last read: read again once reached
    bool Gone = false;      // not alive and every record read
    std::string Pieces;     // a record that comes in fragments, so far
  };
  enum class TStep { UnitBegin, UnitEnd, Done, Died, Drained };

  struct TUnitState {
    enum : uint8_t { Waiting, Live, Done, Skipped } State = Waiting;
    bool Begun = false;  // a worker's records began it
    bool Ended = false;
    bool TimedOut = false;
  };

  void Start();
  void CollectUnits(const ITestPtr& node, bool willRun);
  bool WillRun(const ITestPtr& node) const;
  TWorker* Fork(uint32_t startAt);
  void Step(TWorker& w, TStep step, int32_t unit = -1);
  void ReplayUnit(size_t k);
  bool Drain(TWorker& w);
  void Process(TWorker& w, const TesselEvents::TReplayResult::TRecord& rec);
  void Wait(int64_t until);
  void Reap(TWorker& w, int status);
  void CheckDeadlines(int64_t now, int64_t& next);
  double LimitOf(int32_t node);
  void StopWorker(TWorker& w);
  TWorker* OwnerOf(size_t k);
  size_t LiveWorkers() const;
  void ReleaseClaims(TWorker& w);
  void Replace();
  void RecordPending();
  void Interrupt();
  void FinishWorkers();
  void Shutdown() noexcept;
  void Tell(int32_t v);

  ITestPtr FRootNode;
  TSupervisorOptions FOptions;
  std::vector<TUnit> FUnits;
  std::vector<TUnitState> FState;
  std::unordered_map<size_t, std::string> FCrashes;  // by unit: how its worker ended while it ran
  std::vector<uint8_t> FIsUnit;     // by node index
  std::vector<double> FLimits;      // by node index; negative: not looked up yet
  std::vector<std::unique_ptr<TWorker>> FWorkers;
  TRunShared FShared;
  void* FControlMap = nullptr;
  size_t FControlBytes = 0;
  int FWakeFd = -1;
  TKeeper FKeeper;
  bool FKeeperTried = false;
  bool FMerged = false;  // standard output and error are one file
  uint32_t FNextId = 1;
  size_t FCursor = 0;
  int32_t FReplaying = -1;
  bool FStarted = false, FFinished = false, FInterrupted = false;
  int FStopSignal = 0;
  std::string FForkError;
  size_t FUnclaimedFrom = SIZE_MAX;  // units from here may have nobody to take them
  size_t FReplaceFrom = SIZE_MAX;    // a worker died: a new one goes on from here
  int64_t FNextDeadlineCheck = 0;
  int64_t FLastRecords = 0;  // when records were last read
  int64_t FLastFlush = 0;    // when the console lines were last written out before a nap
  std::vector<std::string> FPending;  // deaths between units, for the innermost open node
  std::vector<std::string> FLate;     // deaths after the last unit, for the root
};

}  // namespace TesselSupervisor::Detail
