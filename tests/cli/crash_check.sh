#!/usr/bin/env bash
# Runs cli_crash_scenarios as a user would and checks what a crash, an exit
# or a hang leaves: the exit code, the console text and both XML reports,
# which must be well-formed and read as expected by the CI tools of
# tests/xml/consumers.sh.
#
#   crash_check.sh EXE OUT_DIR XML_TEST_DIR
set -uo pipefail
exe=$1 out=$2 xmldir=$3
rm -rf "$out"
mkdir -p "$out"
failed=0

fail() {
  echo "FAIL: $*"
  failed=1
}
ok() { echo "ok: $*"; }

expect_eq() {  # WHAT GOT WANT
  if [ "$2" == "$3" ]; then ok "$1 = $2"; else fail "$1 is $2, expected $3"; fi
}

has() {  # FILE TEXT
  if grep -qF -- "$2" "$1"; then ok "$(basename "$1") has \"$2\""; else fail "$1 lacks \"$2\""; fi
}

hasnt() {  # FILE TEXT
  if grep -qF -- "$2" "$1"; then fail "$1 has \"$2\""; else ok "$(basename "$1") lacks \"$2\""; fi
}

xcount() {  # XPATH FILE
  xmllint --xpath "$1" "$2" 2> /dev/null
}

wellformed() {
  for f in "$@"; do
    if xmllint --noout "$f" 2> "$f.xmllint"; then ok "$(basename "$f") is well-formed"; else fail "$f is not well-formed: $(cat "$f.xmllint")"; fi
  done
}

# run NAME EXPECTED_EXIT ARGS...: console in $out/NAME.txt, reports $out/NAME.nunit.xml and .junit.xml
run() {
  local name=$1 want=$2
  shift 2
  "$exe" --runner=nunit --output="$out/$name.nunit.xml" --report=junit:"$out/$name.junit.xml" "$@" \
    > "$out/$name.txt" 2>&1
  local code=$?
  if [ "$want" == nonzero ]; then
    if [ $code -ne 0 ]; then ok "$name exits with $code"; else fail "$name exits with 0"; fi
  else
    expect_eq "$name exit code" "$code" "$want"
  fi
}

# Without isolation: the run ends at the crash, but the crashing test is
# recorded as an error and both reports hold every test before it.
declare -A why=(
  [TestSegfault]="signal 11 (SIGSEGV"
  [TestAbort]="signal 6 (SIGABRT"
  [TestExit0]="The test called exit"
  [TestThrowFromDestructor]="signal 6 (SIGABRT"
  [TestStackOverflow]="signal 11 (SIGSEGV"
)
for t in "${!why[@]}"; do
  run "inproc-$t" nonzero --filter="Calm,Crash.*.$t,Later"
  has "$out/inproc-$t.txt" "${why[$t]}"
  has "$out/inproc-$t.txt" ".$t: ETestCrashed"
  wellformed "$out/inproc-$t.nunit.xml" "$out/inproc-$t.junit.xml"
  n="$out/inproc-$t.nunit.xml" j="$out/inproc-$t.junit.xml"
  expect_eq "$t: passing cases in the NUnit report" "$(xcount 'count(//test-case[@result="Pass"])' "$n")" 2
  expect_eq "$t: failing cases in the NUnit report" "$(xcount 'count(//test-case[@result="Failure"])' "$n")" 1
  expect_eq "$t: the crash in the NUnit report" \
    "$(xcount "count(//test-case[@name=\"Crash.TCrashTests.$t\"][@result=\"Error\"])" "$n")" 1
  expect_eq "$t: cases in the suite-path report" "$(xcount 'count(//testcase)' "$j")" 4
  expect_eq "$t: the crash in the suite-path report" \
    "$(xcount "count(//testcase[@name=\"$t\"]/failure[@type=\"ETestCrashed\"])" "$j")" 1
done
/usr/bin/python3 "$xmldir/junit_check.py" "$out/inproc-TestSegfault.junit.xml" --cases 4 --failures 2 \
  --contains "signal 11 (SIGSEGV" --passed TestPasses --passed TestAlsoPasses || fail "junitparser on the crash report"
bash "$xmldir/consumers.sh" jenkins-nunit "$out/inproc-TestAbort.nunit.xml" 4 2 0 || fail "Jenkins on the crash report"

# A limit of its own ends a hang under --isolate without --timeout.
"$exe" --isolate --filter=Crash.*.TestHangWithItsOwnLimit > "$out/own-limit.txt" 2>&1
expect_eq "own limit exit code" $? 1
has "$out/own-limit.txt" "time limit of 1 s"

# The console runner gives the crash its place in its numbered report too.
"$exe" --filter=Calm.*.TestPasses,Crash.*.TestSegfault > "$out/text-crash.txt" 2>&1
code=$?
if [ $code -ne 0 ]; then ok "console run with a crash exits with $code"; else fail "console run with a crash exits with 0"; fi
has "$out/text-crash.txt" "[CrashScenarios] TCrashTests.TestSegfault: ETestCrashed"
has "$out/text-crash.txt" "The program received signal 11 (SIGSEGV: Segmentation fault) during this test"
has "$out/text-crash.txt" "Errors:          1"

# A hang ended by CTest's or Bazel's SIGTERM: the same record.
timeout -s TERM 2 "$exe" --runner=nunit --output="$out/term.nunit.xml" --report=junit:"$out/term.junit.xml" \
  --filter=Calm,Crash.*.TestHang > "$out/term.txt" 2>&1
code=$?
if [ $code -ne 0 ]; then ok "the hung run exits with $code"; else fail "the hung run exits with 0"; fi
has "$out/term.txt" "signal 15 (SIGTERM"
wellformed "$out/term.nunit.xml" "$out/term.junit.xml"

# SIGKILL leaves no chance to finish: the NUnit-format report still holds
# every element up to the hang, and the previous suite-path report is kept
# whole rather than truncated.
printf '<?xml version="1.0"?><testsuites name="previous"/>' > "$out/kill.junit.xml"
timeout -s KILL 2 "$exe" --runner=nunit --output="$out/kill.nunit.xml" --report=junit:"$out/kill.junit.xml" \
  --filter=Calm,Crash.*.TestHang > "$out/kill.txt" 2>&1
has "$out/kill.nunit.xml" 'name="Calm.TCalmTests.TestAlsoPasses" executed="True" success="True"'
has "$out/kill.junit.xml" 'name="previous"'
if ls "$out"/kill.junit.xml.* > /dev/null 2>&1; then
  echo "note: the killed run leaves its unfinished report beside the old one: $(ls "$out"/kill.junit.xml.*)"
fi

# With isolation every way of ending is an error of its own test, and the run goes on.
run isolated 1 --isolate --timeout=2
c="$out/isolated.txt"
has "$c" "The test's process ended with signal 11 (SIGSEGV: Segmentation fault)"
has "$c" "The test's process ended with signal 6 (SIGABRT: Aborted)"
has "$c" "The test ended its process (exit status 0) before the test was over"
has "$c" "The test ran longer than its time limit of 2 s and was stopped"
has "$c" "The test ran longer than its time limit of 1 s and was stopped"
has "$c" "Errors:          7"
has "$c" "Failures:        1"
has "$c" "TAfterTests.TestRunsAfterwards"
wellformed "$out/isolated.nunit.xml" "$out/isolated.junit.xml"
n="$out/isolated.nunit.xml"
expect_eq "isolated: errors in the NUnit report" "$(xcount 'count(//test-case[@result="Error"])' "$n")" 7
expect_eq "isolated: passes in the NUnit report" "$(xcount 'count(//test-case[@result="Pass"])' "$n")" 3
bash "$xmldir/consumers.sh" github-nunit "$n" 11 1 7 0 || fail "GitHub's reader on the isolated report"
/usr/bin/python3 "$xmldir/junit_check.py" "$out/isolated.junit.xml" --cases 11 --failures 8 \
  --contains "time limit of 2 s" --passed TestRunsAfterwards || fail "junitparser on the isolated report"

# Stopped from outside while an isolated test hangs: the test's process goes
# with the run, and the test is recorded.
timeout -s TERM 1 "$exe" --isolate --runner=nunit --output="$out/iso-term.nunit.xml" --filter=Crash.*.TestHang \
  > "$out/iso-term.txt" 2>&1
has "$out/iso-term.txt" "The program received signal 15 (SIGTERM: Terminated) during this test"
wellformed "$out/iso-term.nunit.xml"

# A passing isolated run is a success, with the console text a run in one process gives.
"$exe" --filter=Calm.*.TestPasses,Later --isolate > "$out/iso-pass.txt" 2>&1
expect_eq "isolated passing run exit code" $? 0
"$exe" --filter=Calm.*.TestPasses,Later > "$out/inproc-pass.txt" 2>&1
expect_eq "in-process passing run exit code" $? 0
sed -E 's/[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]+/TIME/' "$out/iso-pass.txt" > "$out/iso-pass.masked"
sed -E 's/[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]+/TIME/' "$out/inproc-pass.txt" > "$out/inproc-pass.masked"
if cmp -s "$out/iso-pass.masked" "$out/inproc-pass.masked"; then
  ok "isolated and in-process console texts agree"
else
  fail "isolated and in-process console texts differ: diff $out/iso-pass.masked $out/inproc-pass.masked"
fi

# Bazel's premature-exit file: made at the start, removed only at a normal end.
TEST_PREMATURE_EXIT_FILE="$out/premature" "$exe" --filter=Later > /dev/null 2>&1
[ -e "$out/premature" ] && fail "the premature-exit file stays after a normal end" || ok "premature-exit file removed"
TEST_PREMATURE_EXIT_FILE="$out/premature" "$exe" --filter=Crash.*.TestExit0 > /dev/null 2>&1
[ -e "$out/premature" ] && ok "premature-exit file left by a test that called exit" ||
  fail "no premature-exit file after a test called exit"

# Shards from Bazel's variables: together the shards list every test once.
"$exe" --list | sort > "$out/all.list"
for i in 0 1 2; do
  TEST_TOTAL_SHARDS=3 TEST_SHARD_INDEX=$i TEST_SHARD_STATUS_FILE="$out/shard$i.status" "$exe" --list
done | sort > "$out/shards.list"
for i in 0 1 2; do
  [ -e "$out/shard$i.status" ] && ok "shard $i touched its status file" || fail "shard $i left no status file"
done
if cmp -s "$out/all.list" "$out/shards.list"; then ok "the shards' lists are the whole list, once each"; else
  fail "the shards' lists differ from the whole list: diff $out/all.list $out/shards.list"
fi
runs=0
for i in 0 1 2 3 4; do
  "$exe" --shard=$i/5 --filter=Calm.*.TestPasses,Calm.*.TestAlsoPasses,Later > "$out/shard$i.txt" 2>&1
  code=$?
  n=$(grep -aoE '^OK: [0-9]+ tests?' "$out/shard$i.txt" | grep -oE '[0-9]+' || echo 0)
  [ $code -eq 0 ] || fail "shard $i of 5 exits with $code"
  runs=$((runs + n))
done
expect_eq "tests run over five shards of three" "$runs" 3

# A printed seed gives the same order again.
"$exe" --shuffle --filter=Calm,Later > "$out/shuffle1.txt" 2>&1
seed=$(grep -aoE 'seed=[0-9]+' "$out/shuffle1.txt" | head -1 | cut -d= -f2)
"$exe" --shuffle --seed="$seed" --filter=Calm,Later > "$out/shuffle2.txt" 2>&1
if [ -n "$seed" ] && diff <(grep -a 'Test' "$out/shuffle1.txt") <(grep -a 'Test' "$out/shuffle2.txt") > /dev/null; then
  ok "--seed=$seed repeats the shuffled order"
else
  fail "--seed=$seed does not repeat the order of $out/shuffle1.txt"
fi

# Mistakes on the command line and empty selections never pass silently.
"$exe" --bogus > "$out/bogus.txt" 2>&1
expect_eq "unknown option exit code" $? 2
has "$out/bogus.txt" 'unknown option "--bogus"'
hasnt "$out/bogus.txt" "Tessel / Testing"
"$exe" --filter='Calm..TCalmTests' > "$out/badpattern.txt" 2>&1
expect_eq "malformed pattern exit code" $? 2
"$exe" --filter=Nothing.Here > "$out/nomatch.txt" 2>&1
expect_eq "empty filter result exit code" $? 1
has "$out/nomatch.txt" 'No test matches the filter "Nothing.Here"'
"$exe" --runner=gui > "$out/gui.txt" 2>&1
expect_eq "--runner=gui without the windowed runner" $? 2
has "$out/gui.txt" "the windowed runner is not built into this program"
"$exe" --runner=nunit --output= > "$out/emptypath.txt" 2>&1
expect_eq "empty report path exit code" $? 2

exit $failed
