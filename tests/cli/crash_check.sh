#!/usr/bin/env bash
# Runs cli_crash_scenarios as a user would, with tests that end their
# process in every way a test can, and checks what each run leaves: the exit
# code, the console text, and both reports, well-formed (xmllint) and read by
# their consumers, naming the test, how it ended, and every test after it.
#
#   crash_check.sh EXE OUT_DIR XML_TEST_DIR
set -uo pipefail
source "$(dirname "$0")/check_lib.sh" "$@"

# Every way a test ends its process, and what its record says of it.
declare -A why=(
  [TestSegfault]="signal 11 (SIGSEGV: Segmentation fault)"
  [TestAbort]="signal 6 (SIGABRT: Aborted)"
  [TestTrap]="signal 4 (SIGILL: Illegal instruction)"
  [TestFloatingPoint]="signal 8 (SIGFPE: Floating point exception)"
  [TestBusError]="signal 7 (SIGBUS: Bus error)"
  [TestBrokenPipe]="signal 13 (SIGPIPE: Broken pipe)"
  [TestAlarm]="signal 14 (SIGALRM: Alarm clock)"
  [TestHangUp]="signal 1 (SIGHUP: Hangup)"
  [TestQuit]="signal 3 (SIGQUIT: Quit)"
  [TestUser1]="signal 10 (SIGUSR1: User defined signal 1)"
  [TestCpuLimit]="signal 24 (SIGXCPU: CPU time limit exceeded)"
  [TestVirtualAlarm]="signal 26 (SIGVTALRM: Virtual timer expired)"
  [TestTerminated]="signal 15 (SIGTERM: Terminated)"
  [TestExit0]="The test ended its process (exit status 0) before the test was over"
  [TestExit3]="The test ended its process (exit status 3) before the test was over"
  [TestUnderscoreExit3]="The test ended its process (exit status 3) before the test was over"
  [TestThrowFromDestructor]="signal 6 (SIGABRT: Aborted)"
  [TestStackOverflow]="signal 11 (SIGSEGV: Segmentation fault)"
  [TestThreadStackOverflow]="signal 11 (SIGSEGV: Segmentation fault)"
  [TestThreadSegfault]="signal 11 (SIGSEGV: Segmentation fault)"
  [TestKilled]="signal 9 (SIGKILL: Killed)"
)
deaths=()
for t in "${!why[@]}"; do deaths+=(--failed "$t=${why[$t]}"); done
later=(--passed TestPasses --passed TestAlsoPasses --passed TestChildExits --passed TestChildAborts
       --passed TestChildCrashes --passed TestRunsAfterwards)

# The default run: each death is an error of its own test and the run goes
# on; the children the fork tests make end in their own ways, unseen.
for mode in supervised isolated; do
  extra=()
  [ $mode == isolated ] && extra=(--isolate)
  run "$mode" 1 --timeout=10 --filter=Calm,Death,Fork,Later "${extra[@]}"
  c="$out/$mode.txt" n="$out/$mode.nunit.xml" j="$out/$mode.junit.xml"
  has "$c" "Errors:         21"
  has "$c" "Failures:        1"
  expect_eq "$mode: summaries printed" "$(grep -ac 'Test Results:' "$c")" 1
  wellformed "$n" "$j"
  reads nunit "$n" --cases 28 "${deaths[@]}" "${later[@]}"
  reads junit "$j" --cases 28 "${deaths[@]}" "${later[@]}"
  no_process_left "$mode run"
done
bash "$xmldir/consumers.sh" jenkins-nunit "$out/supervised.nunit.xml" 28 22 0 || fail "Jenkins on the report of deaths"
bash "$xmldir/consumers.sh" github-nunit "$out/supervised.nunit.xml" 28 1 21 0 || fail "GitHub's reader on it"

# In one process (--in-process, what a debugger gets): a death ends the run,
# with the test named and both reports finished before the process ends.
declare -A inproc=(
  [TestSegfault]="The program received signal 11 (SIGSEGV: Segmentation fault) during this test"
  [TestAbort]="signal 6 (SIGABRT"
  [TestBrokenPipe]="signal 13 (SIGPIPE"
  [TestAlarm]="signal 14 (SIGALRM"
  [TestHangUp]="signal 1 (SIGHUP"
  [TestQuit]="signal 3 (SIGQUIT"
  [TestUser1]="signal 10 (SIGUSR1"
  [TestCpuLimit]="signal 24 (SIGXCPU"
  [TestVirtualAlarm]="signal 26 (SIGVTALRM"
  [TestStackOverflow]="signal 11 (SIGSEGV"
  [TestThrowFromDestructor]="signal 6 (SIGABRT"
  [TestExit0]="The test called exit and would have ended the program before the run was over"
)
for t in "${!inproc[@]}"; do
  run "inproc-$t" nonzero --in-process --filter="Calm,Death.*.$t,Later"
  has "$out/inproc-$t.txt" ".$t: ETestCrashed"
  wellformed "$out/inproc-$t.nunit.xml" "$out/inproc-$t.junit.xml"
  for kind in nunit junit; do
    reads $kind "$out/inproc-$t.$kind.xml" --cases 4 --failed "$t=${inproc[$t]}" --passed TestPasses \
      --passed TestAlsoPasses --absent TestRunsAfterwards
  done
done
bash "$xmldir/consumers.sh" jenkins-nunit "$out/inproc-TestAbort.nunit.xml" 4 2 0 || fail "Jenkins on the crash report"

# A child a test forks is no run of its own: its exit and its crash are its own.
run inproc-fork 0 --in-process --filter=Fork,Later
expect_eq "in one process: summaries printed with forking tests" "$(grep -ac 'OK: 4 tests' "$out/inproc-fork.txt")" 1
wellformed "$out/inproc-fork.nunit.xml" "$out/inproc-fork.junit.xml"
reads nunit "$out/inproc-fork.nunit.xml" --cases 4 --passed TestChildExits --passed TestChildAborts \
  --passed TestChildCrashes --passed TestRunsAfterwards

# A crash on another thread while the run's thread is busy with the listeners:
# the reports are finished by one thread only, every time.
torn=0
for i in 1 2 3 4 5 6 7 8 9 10; do
  (SCENARIO_MANY=1 "$exe" --in-process --runner=nunit --output="$out/background-$i.nunit.xml" \
    --report=junit:"$out/background-$i.junit.xml" --filter=Background,Many > "$out/background-$i.txt" 2>&1) 2> /dev/null
  for f in "$out/background-$i.nunit.xml" "$out/background-$i.junit.xml"; do
    xmllint --noout "$f" 2> /dev/null || { torn=$((torn + 1)); echo "not well-formed: $f"; }
  done
  grep -qaF "signal 11 (SIGSEGV" "$out/background-$i.txt" || { torn=$((torn + 1)); echo "no crash record in run $i"; }
done
expect_eq "runs of ten with a torn report or no crash record" $torn 0
# A worker runs a quick test in a microsecond or two: enough of them that
# the run is still going when the background thread crashes.
SCENARIO_MANY=30000 run background 1 --filter=Background,Many,Later
expect_eq "supervised: errors after a crash on another thread" \
  "$(xcount 'count(//test-case[@result="Error"])' "$out/background.nunit.xml")" 1
reads junit "$out/background.junit.xml" --passed TestRunsAfterwards

exit $failed
