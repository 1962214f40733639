// What the supervisor and its workers share, between the two sources of
// the unit (TesselSupervisor.cpp, the supervisor's side; TesselSupervisorWorker.cpp,
// the worker's). Not for use outside them.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "runners/TesselEvents.h"
#include "runners/TesselSupervisor.h"

namespace TesselSupervisor::Detail {

struct TUnit {
  ITestPtr Node;
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
  std::vector<int> CloseFds;    // the supervisor's descriptors it must not keep
};

// The worker's life after fork; never returns.
[[noreturn]] void WorkerMain(const TRunShared& run, const TWorkerStart& start);

// Exit status of a worker that found itself orphaned before it started.
inline constexpr int kOrphanedWorker = 121;

}  // namespace TesselSupervisor::Detail
