// The protection of a run inside the test program's own process (the
// runners' entry functions, the windowed runner, `--in-process`): when a
// test ends the process by a signal or by exit, the running test is
// recorded as an error, every node that was started is ended as the run
// loop would have, every report is finished, and only then does the
// process end (with the same signal, or with exit code 1).
//
//   auto result = std::make_unique<TTestResult>();
//   TesselCrashGuard::TCrashGuard guard(*result);  // its listener comes first
//   result->AddListener(myListener);
//   guard.Seal();                                  // and one more comes last
//   suite->Run(*result);
//
// The guard takes every signal whose default action ends the process,
// where the program left that default in place, and it acts only in the
// process that armed it: a child a test forks exits and crashes on its own.
// A crash on another thread waits until the run's thread has finished the
// listener call it is in, so that no report is written by two threads.
// What it cannot catch: _exit, SIGKILL, and a stack overflow on a thread
// other than the one that armed it (that thread has no stack left for the
// handler). Runs under TesselMain without --in-process catch those too.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/TestFramework.h"

namespace TesselCrashGuard {

using TestFramework::ETesselException;
using TestFramework::ITestListenerPtr;
using TestFramework::ITestPtr;
using TestFramework::TTestResult;

// A test case that ended its process: a fatal signal, exit, or a time limit.
class ETestCrashed : public ETesselException {
  TESSEL_EXCEPTION_CLASS(ETestCrashed, ETesselException)
};
class ETestTimedOut : public ETestCrashed {
  TESSEL_EXCEPTION_CLASS(ETestTimedOut, ETestCrashed)
};

// "signal 11 (SIGSEGV: Segmentation fault)".
std::string SignalText(int sig);
// The signals whose default action ends a process (real-time ones included).
std::vector<int> TerminatingSignals();

class TCrashGuard {
 public:
  // Only one guard is armed at a time: one made while another is armed (a
  // run started by a test of a guarded run) does nothing.
  explicit TCrashGuard(TTestResult& result);
  ~TCrashGuard();
  TCrashGuard(const TCrashGuard&) = delete;
  TCrashGuard& operator=(const TCrashGuard&) = delete;
  // Adds the guard's last listener; call it after every other listener is added.
  void Seal();

 private:
  TTestResult& FResult;
  bool FActive = false;
  bool FSealed = false;
};

// TestFramework::RunTest with the guard armed around the run.
std::unique_ptr<TTestResult> RunGuarded(ITestPtr suite, const std::vector<ITestListenerPtr>& listeners);

}  // namespace TesselCrashGuard
