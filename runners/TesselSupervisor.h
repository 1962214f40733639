// Supervised runs: the process that owns the reports runs no test. It forks
// worker processes that run the tests and send every listener event back
// (TesselEvents); its result replays them into its listeners, so every
// listener, the runners' and any a program adds, hears the run as if it
// happened in this process. The supervisor is the only process that writes
// to the console and to the report files.
//
//   auto result = TesselSupervisor::NewSupervisedResult(root, {.Jobs = 2});
//   result->AddListener(std::make_shared<TextTestRunner::TTextTestListener>());
//   root->Run(*result);
//
// Units of work are test cases, and whole subtrees below a node with a
// set-up of its own (a decorator such as TTestSetup, or any suite class
// other than TTestSuite), which stay on one worker. A worker runs unit after
// unit until it dies; when it dies in any way (a signal, exit, _exit, a stack
// overflow in any thread, SIGKILL from outside or from the OOM killer), the
// test it was in is recorded as ETestCrashed with the signal or status,
// every node it had started is ended as the run loop would end it, and a new
// worker goes on from the next unit.
//
// What the tests print stays in order with the runners' lines: the workers'
// standard output and error are files whose offsets the events carry, and
// the supervisor copies each piece out just before the event after it.
//
// Workers are in process groups of their own and die with the supervisor;
// a small keeper process ends their groups (helpers the tests started) when
// the supervisor is killed, so nothing is left behind. A unit that passes
// its time limit is ended with its whole group.
#pragma once

#include <functional>
#include <memory>

#include "framework/TestFramework.h"

namespace TesselSupervisor {

using TestFramework::ITestPtr;
using TestFramework::TTestResult;

struct TSupervisorOptions {
  // Workers side by side, each taking units in order from one queue; the
  // replay keeps the order of the tree whatever order they finish in.
  int Jobs = 1;
  // A process of its own for every test case (forked by the worker).
  bool Isolate = false;
  // The limit in seconds of a node's steps (a test case, a suite's set-up or
  // tear-down); 0 or a null function: none.
  std::function<double(const ITestPtr&)> TimeLimit;
  // What the workers answer when the run loop asks whether a node runs (the
  // listeners are asked again in this process, in order, for what they do
  // when asked). Null: the node's enabled flag.
  std::function<bool(const ITestPtr&)> WillRun;
};

// A result whose units of work run in worker processes; root is the node
// that will be run with it (the tree is taken as it is when the run starts).
std::unique_ptr<TTestResult> NewSupervisedResult(ITestPtr root, TSupervisorOptions options);

// The signal that stopped a supervised run from outside (SIGTERM, SIGINT, ...)
// once the reports were finished, or 0. The caller ends the process with it.
int StoppingSignal(const TTestResult& result) noexcept;

// True in a worker process (and in the processes a worker forks).
bool InWorker() noexcept;

}  // namespace TesselSupervisor
