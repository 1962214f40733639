#!/usr/bin/env bash
# Tessel's own options on a GoogleTest program: isolation, time limits, the
# crash guard, Tessel's reports and runners, its lists.
#   tessel_options.sh PROGRAM OUTDIR
set -uo pipefail
prog=$1 out=$2
mkdir -p "$out"
cd "$out" || exit 1
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# run NAME CODE [VAR=value...] -- ARGS: runs the program, checks its exit code.
run() {
  local name=$1 code=$2 envs=()
  shift 2
  while [ "$1" != -- ]; do envs+=("$1"); shift; done
  shift
  env "${envs[@]}" timeout 60 "$prog" "$@" > "$name.txt" 2>&1
  local got=$?
  [ "$got" = "$code" ] || fail "$name: exit code $got, wanted $code"
}
has() { grep -qF -- "$2" "$1.txt" || fail "$1: no line with \"$2\" in $out/$1.txt"; }
hasnt() { ! grep -qF -- "$2" "$1.txt" || fail "$1: \"$2\" in $out/$1.txt"; }

# A crash is that test's failure and the run goes on: in a worker process
# (the default), or in a process of its own with --isolate.
for mode in workers isolate; do
  args=()
  [ $mode = isolate ] && args=(--isolate)
  run crash-$mode 1 CRASH=1 -- "${args[@]}" --gtest_output=xml:crash-$mode.xml
  has crash-$mode "[  FAILED  ] Options.Crashes"
  has crash-$mode "signal 11"
  has crash-$mode "[       OK ] Options.AfterTheOthers"
  has crash-$mode "[  FAILED  ] 2 tests, listed below:"
  xmllint --noout crash-$mode.xml || fail "crash-$mode: the report is not well-formed"
done

# In the program's own process the guard finishes the console and the
# report, then the program ends by the signal it got (128 + 11).
run guard-crash 139 CRASH=1 -- --in-process --gtest_output=xml:guard.xml
has guard-crash "[  FAILED  ] Options.Crashes"
has guard-crash "[==========] "
xmllint --noout guard.xml || fail "guard-crash: guard.xml is not well-formed"
grep -q 'name="Crashes"' guard.xml && grep -q 'signal 11' guard.xml || fail "guard-crash: the crash is not in guard.xml"

run exit 1 EXIT=1 --
has exit "[  FAILED  ] Options.Exits"
has exit "[       OK ] Options.AfterTheOthers"
run guard-exit 1 EXIT=1 -- --in-process
has guard-exit "[  FAILED  ] Options.Exits"

# A hang ends at its time limit and the tests after it still run.
start=$(date +%s)
run timeout 1 HANG=1 -- --timeout=2
has timeout "[  FAILED  ] Options.Hangs"
has timeout "time limit"
has timeout "[       OK ] Options.AfterTheOthers"
[ $(( $(date +%s) - start )) -lt 30 ] || fail "timeout: the run took as long as the hang"

# Tessel's reports of the same run hold each failed expectation.
run reports 1 -- --report=nunit:nunit.xml --report=junit:junit.xml
for f in nunit.xml junit.xml; do
  xmllint --noout "$f" || fail "reports: $f is not well-formed"
  grep -q "the first expectation" "$f" && grep -q "the second expectation" "$f" ||
    fail "reports: $f lacks a failed expectation"
done
/usr/bin/python3 - junit.xml <<'PY' || fail "reports: junitparser does not read junit.xml as expected"
import sys
from junitparser import JUnitXml, Failure
failed = {c.name: [r.message or r.text for r in c.result if isinstance(r, Failure)]
          for s in JUnitXml.fromfile(sys.argv[1]) for c in s}
two = [k for k in failed if k.endswith("TwoExpectations")]
assert two and len(failed[two[0]]) >= 1, failed
PY

# Tessel's console runner and lists on the same program.
run text 1 -- --runner=text
hasnt text "[ RUN      ]"
has text "FAILURES!!!"
run list 0 -- --list
has list "Options.Passes"
run listjson 0 -- --list=json
/usr/bin/python3 -c 'import json,sys; d=json.loads(open("listjson.txt").read().split("\n",1)[1]); assert any(n["path"]=="Options.Passes" and n["line"]>0 for n in d)' ||
  fail "listjson: Options.Passes with its line is not in the JSON list"
run listfiltered 0 -- --list --gtest_filter=Death.*
hasnt listfiltered "Options.Passes"
run badtessel 2 -- --runner=nothing
run badgtest 2 -- --gtest_no_such_flag

# Death tests in a worker, in a process of their own, in the program's own process.
for mode in workers isolate in-process; do
  args=(--gtest_filter=Death.*)
  [ $mode != workers ] && args+=(--$mode)
  run death-$mode 0 -- "${args[@]}"
  has death-$mode "[  PASSED  ] 2 tests."
done

# The same seed gives the same order; each repetition takes the next seed.
run shuffle1 1 -- --gtest_shuffle --gtest_random_seed=5 --gtest_repeat=2
run shuffle2 1 -- --gtest_shuffle --gtest_random_seed=5 --gtest_repeat=2
has shuffle1 "Note: Randomizing tests' orders with a seed of 5 ."
has shuffle1 "Note: Randomizing tests' orders with a seed of 6 ."
diff <(grep -F '[ RUN      ]' shuffle1.txt) <(grep -F '[ RUN      ]' shuffle2.txt) > /dev/null ||
  fail "shuffle: one seed gave two orders"
run shuffle3 1 -- --gtest_shuffle --gtest_random_seed=77
diff <(grep -F '[ RUN      ]' shuffle1.txt | head -9) <(grep -F '[ RUN      ]' shuffle3.txt) > /dev/null &&
  fail "shuffle: seeds 5 and 77 gave the same order"

# GTEST_OUTPUT names a folder: the report is named after the program.
rm -rf reports-dir
run outputvar 1 GTEST_OUTPUT=xml:reports-dir/ -- --gtest_filter=Options.*
xmllint --noout "reports-dir/$(basename "$prog").xml" || fail "outputvar: no report in reports-dir/"

# Under Bazel (XML_OUTPUT_FILE, TEST_PREMATURE_EXIT_FILE) the program writes
# GoogleTest's report where Bazel collects it, and only that; the
# premature-exit file is there while the tests run and gone at the end.
rm -f bazel.xml bazel-premature
run bazel 1 XML_OUTPUT_FILE="$out/bazel.xml" TEST_PREMATURE_EXIT_FILE="$out/bazel-premature" -- \
  --gtest_filter=Options.*
/usr/bin/python3 - bazel.xml <<'PY' || fail "bazel: XML_OUTPUT_FILE does not hold GoogleTest's report of the run"
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == "testsuites" and root.get("name") == "AllTests", (root.tag, root.attrib)
names = {c.get("name") for c in root.iter("testcase")}
assert {"Passes", "AfterTheOthers"} <= names, names
PY
[ ! -e bazel-premature ] || fail "bazel: the premature-exit file outlived a run that ended normally"
run bazel-crash 139 CRASH=1 TEST_PREMATURE_EXIT_FILE="$out/bazel-premature" -- --in-process --gtest_filter=Options.*
[ -e bazel-premature ] || fail "bazel-crash: a run ended by a signal removed the premature-exit file"

# The list of tests as a document that cannot be written is an error, not
# a quiet success.
run listunwritable 1 -- --gtest_list_tests --gtest_output=xml:/proc/no-such-dir/list.xml
has listunwritable "Unable to write the report file \"/proc/no-such-dir/list.xml\""
has listunwritable "Options."

echo "$failures failures"
[ "$failures" = 0 ]
