#!/usr/bin/env bash
# The command line's selection, order and mistakes, as a user meets them:
# shards from Bazel's variables, a shuffled order repeated from its seed,
# and mistakes that never start a run.
#
#   options_check.sh EXE OUT_DIR XML_TEST_DIR
set -uo pipefail
source "$(dirname "$0")/check_lib.sh" "$@"

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
"$exe" --shuffle --filter=Calm,Print,Later > "$out/shuffle1.txt" 2>&1
seed=$(grep -aoE 'seed=[0-9]+' "$out/shuffle1.txt" | head -1 | cut -d= -f2)
"$exe" --shuffle --seed="$seed" --filter=Calm,Print,Later > "$out/shuffle2.txt" 2>&1
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
"$exe" --in-process --jobs=2 > "$out/conflict.txt" 2>&1
expect_eq "--in-process with --jobs exit code" $? 2
has "$out/conflict.txt" "--in-process runs every test in this process"
"$exe" --filter=Nothing.Here > "$out/nomatch.txt" 2>&1
expect_eq "empty filter result exit code" $? 1
has "$out/nomatch.txt" 'No test matches the filter "Nothing.Here"'
"$exe" --runner=gui > "$out/gui.txt" 2>&1
expect_eq "--runner=gui without the windowed runner" $? 2
has "$out/gui.txt" "the windowed runner is not built into this program"
"$exe" --runner=nunit --output= > "$out/emptypath.txt" 2>&1
expect_eq "empty report path exit code" $? 2

exit $failed
