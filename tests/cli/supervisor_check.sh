#!/usr/bin/env bash
# What a supervised run promises beyond recording the deaths of tests: time
# limits over everything a worker does, kills from outside, no process left
# behind, reports that are always whole, the tests' output in its place, and
# runs side by side that report what a serial run reports.
#
#   supervisor_check.sh EXE OUT_DIR XML_TEST_DIR
set -uo pipefail
source "$(dirname "$0")/check_lib.sh" "$@"

# Time limits: --timeout, a test's own limit, a suite's one-time set-up that
# never ends and a test that starts a helper and hangs are each an error of
# their own node, and the run goes on.
run limits 1 --timeout=2 --filter=Calm,Hang.*.TestHangs,Hang.*.TestHangsWithItsOwnLimit,Hang.*.TestStartsHelperAndHangs,HangingSetup,Later
limited=(--failed "TestHangs=The test ran longer than its time limit of 2 s and was stopped"
         --failed "TestHangsWithItsOwnLimit=time limit of 1 s"
         --failed "TestStartsHelperAndHangs=time limit of 2 s"
         --failed "Setup decorator ((d) TUnderHangingSetup)=time limit of 2 s"
         --absent TestNeverRuns --passed TestPasses --passed TestRunsAfterwards)
wellformed "$out/limits.nunit.xml" "$out/limits.junit.xml"
reads nunit "$out/limits.nunit.xml" "${limited[@]}"
reads junit "$out/limits.junit.xml" "${limited[@]}"
has "$out/limits.txt" "ETestTimedOut"
no_process_left "time limits"
run own-limit 1 --filter=Hang.*.TestHangsWithItsOwnLimit,Later
reads nunit "$out/own-limit.nunit.xml" --failed "TestHangsWithItsOwnLimit=time limit of 1 s" --passed TestRunsAfterwards

# A helper that outlives its test keeps no pipe open: the run ends with its limit.
start=$SECONDS
"$exe" --timeout=2 --filter=Hang.*.TestStartsHelperAndHangs,Later 2>&1 | cat > "$out/pipe.txt"
took=$((SECONDS - start))
if [ $took -lt 20 ]; then ok "prog --timeout=2 | cat ends after ${took} s"; else fail "prog --timeout=2 | cat took ${took} s"; fi
has "$out/pipe.txt" "time limit of 2 s"
no_process_left "a helper left by a test that timed out"

# Runs in a row each start and end a keeper of their own.
"$exe" --repeat=3 --filter=Calm.*.TestPasses,Calm.*.TestAlsoPasses > "$out/repeat.txt" 2>&1 && ok "three runs in a row pass" ||
  fail "three runs in a row: exit status $?"
no_process_left "three runs in a row"

# A worker killed from outside: its test is recorded, and a new worker goes on.
rm -f "$out/worker.pid"
(SCENARIO_PID_FILE="$out/worker.pid" "$exe" --runner=nunit --output="$out/worker-kill.nunit.xml" \
  --report=junit:"$out/worker-kill.junit.xml" --filter=Calm,Hang.*.TestWaitsToBeKilled,Later \
  > "$out/worker-kill.txt" 2>&1) &
runner=$!
if wait_for 20 test -s "$out/worker.pid"; then kill -KILL "$(cat "$out/worker.pid")"; else fail "no worker wrote its pid"; fi
wait $runner
expect_eq "a run with a worker killed from outside exits with" $? 1
for kind in nunit junit; do
  reads $kind "$out/worker-kill.$kind.xml" --failed "TestWaitsToBeKilled=signal 9 (SIGKILL: Killed)" \
    --passed TestAlsoPasses --passed TestRunsAfterwards
done
no_process_left "a worker killed from outside"

# The runner killed with SIGKILL (a CI job's time limit): its workers and
# the helper of the test that hangs go with it, the previous reports stay
# whole, and the unfinished ones beside them hold the records so far.
printf '<?xml version="1.0"?><test-results name="previous"/>' > "$out/killed.nunit.xml"
printf '<?xml version="1.0"?><testsuites name="previous"/>' > "$out/killed.junit.xml"
cp "$out/killed.nunit.xml" "$out/previous.nunit.xml"
cp "$out/killed.junit.xml" "$out/previous.junit.xml"
"$exe" --runner=nunit --output="$out/killed.nunit.xml" --report=junit:"$out/killed.junit.xml" \
  --filter=Calm,Hang.*.TestStartsHelperAndHangs,Later > "$out/killed.txt" 2>&1 &
runner=$!
recorded() { grep -qa 'Calm.TCalmTests.TestAlsoPasses' "$out/killed.nunit.xml.unfinished" 2> /dev/null &&
  grep -qa 'TestAlsoPasses' "$out/killed.junit.xml.unfinished" 2> /dev/null && pgrep -x tsl-helper > /dev/null; }
wait_for 20 recorded || fail "the unfinished reports never got the records before the hang"
kill -KILL $runner
wait $runner 2> /dev/null
no_process_left "the runner killed with SIGKILL"
cmp -s "$out/killed.nunit.xml" "$out/previous.nunit.xml" && ok "the previous NUnit-format report is whole" ||
  fail "the previous NUnit-format report changed"
cmp -s "$out/killed.junit.xml" "$out/previous.junit.xml" && ok "the previous suite-path report is whole" ||
  fail "the previous suite-path report changed"
has "$out/killed.nunit.xml.unfinished" 'name="Calm.TCalmTests.TestFails" executed="True" success="False"'

# Stopped by CTest's or Bazel's SIGTERM: the test that hangs is recorded,
# both reports are finished, the program ends by the signal, and Bazel's
# premature-exit file stays.
(TEST_PREMATURE_EXIT_FILE="$out/premature" timeout -s TERM 2 "$exe" --runner=nunit --output="$out/term.nunit.xml" \
  --report=junit:"$out/term.junit.xml" --filter=Calm,Hang.*.TestStartsHelperAndHangs,Later > "$out/term.txt" 2>&1)
code=$?
if [ $code -ne 0 ]; then ok "the stopped run exits with $code"; else fail "the stopped run exits with 0"; fi
has "$out/term.txt" "The program received signal 15 (SIGTERM: Terminated) during this test"
wellformed "$out/term.nunit.xml" "$out/term.junit.xml"
reads junit "$out/term.junit.xml" --failed "TestStartsHelperAndHangs=signal 15 (SIGTERM" --absent TestRunsAfterwards
[ -e "$out/premature" ] && ok "premature-exit file left by a stopped run" || fail "no premature-exit file after SIGTERM"
no_process_left "a run stopped with SIGTERM"
TEST_PREMATURE_EXIT_FILE="$out/premature" "$exe" --filter=Later > /dev/null 2>&1
[ -e "$out/premature" ] && fail "the premature-exit file stays after a normal end" || ok "premature-exit file removed"

# What the tests print keeps its place among the runner's lines, whichever
# way they run, as in a run in one process.
for mode in in-process supervised jobs isolate isolate-jobs; do
  case $mode in
    in-process) extra=(--in-process) ;;
    supervised) extra=() ;;
    jobs) extra=(--jobs=2) ;;
    isolate) extra=(--isolate) ;;
    isolate-jobs) extra=(--isolate --jobs=2) ;;
  esac
  "$exe" --filter=Calm,Print,Later "${extra[@]}" > "$out/print-$mode.txt" 2>&1
  mask "$out/print-$mode.txt" > "$out/print-$mode.masked"
  "$exe" --filter=Print "${extra[@]}" > "$out/print-$mode.out" 2> "$out/print-$mode.err"
  mask "$out/print-$mode.out" > "$out/print-$mode.out.masked"
done
has "$out/print-in-process.txt" "StartSuite(TPrintTests)(5) <"
has "$out/print-in-process.txt" "write(2) line"
for mode in supervised jobs isolate isolate-jobs; do
  for f in print-MODE.masked print-MODE.out.masked print-MODE.err; do
    a="$out/${f/MODE/in-process}" b="$out/${f/MODE/$mode}"
    cmp -s "$a" "$b" && ok "$mode: $(basename "$b") as in one process" || fail "$mode: output differs: diff $a $b"
  done
done

# A console that takes nothing: a supervised run, whose lines wait in a
# buffer until it waits for its workers, ends with the error as a run in one
# process does.
for mode in in-process supervised; do
  extra=()
  [ $mode == in-process ] && extra=(--in-process)
  "$exe" --filter=Calm,Later "${extra[@]}" > /dev/full 2> "$out/full-$mode.err"
  expect_eq "$mode, console full: exit code" "$?" 1
  has "$out/full-$mode.err" "EInOutError: Cannot write to standard output: No space left on device"
done

# Side by side: the same reports and console text as the serial run, once
# times are masked.
run serial 1 --filter=Calm,Print,Burn,Fork,Later
run side-by-side 1 --jobs=2 --filter=Calm,Print,Burn,Fork,Later
for f in txt nunit.xml junit.xml; do
  mask "$out/serial.$f" > "$out/serial.$f.masked"
  mask "$out/side-by-side.$f" > "$out/side-by-side.$f.masked"
  cmp -s "$out/serial.$f.masked" "$out/side-by-side.$f.masked" && ok "--jobs=2: the $f of the serial run" ||
    fail "--jobs=2 differs from the serial run: diff $out/serial.$f.masked $out/side-by-side.$f.masked"
done
wellformed "$out/side-by-side.nunit.xml" "$out/side-by-side.junit.xml"
no_process_left "runs side by side"

exit $failed
