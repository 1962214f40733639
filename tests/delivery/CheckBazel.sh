#!/usr/bin/env bash
# Builds and runs examples/bazel/ with Bazel, offline: the sharded sales
# tests pass, every test case runs in exactly one of the four shards (each
# shard's test.xml read back by junitparser), tests written for GoogleTest
# pass on the dialect in two shards, and the tests that end their program
# early fail their targets.
#
# Usage: CheckBazel.sh <source dir> <work dir>
# Exits 77 (skipped) when Bazel is not installed.
set -euo pipefail
src=$1 work=$2
fail() { echo "FAILED: $*" >&2; exit 1; }
# Debian's python, where python3-junitparser lives (not a python of the user's own).
py=/usr/bin/python3

if ! command -v bazel > /dev/null 2>&1; then
  echo "bazel is not installed: the Bazel example is not run (scripts/install-deps.sh test installs bazel-bootstrap)"
  exit 77
fi

# Bazel's server, output and caches stay under the build tree, and no
# user's or workspace's settings but Debian's own apply. The server ends a
# minute after the last command, and at once when this check ends.
mkdir -p "$work"
startup=(--output_user_root="$work/root" --nohome_rc --max_idle_secs=60)
options=(--symlink_prefix=/ --disk_cache="$work/disk-cache" --nosandbox_debug --jobs=2 --color=no --curses=no
         --noshow_progress)
bazel_in_example() { (cd "$src/examples/bazel" && bazel "${startup[@]}" "$@"); }
trap 'bazel_in_example shutdown > /dev/null 2>&1 || true' EXIT

echo "== bazel test //:sales_tests (4 shards)"
bazel_in_example test //:sales_tests "${options[@]}" --test_output=errors > "$work/sales.log" 2>&1 ||
  { cat "$work/sales.log"; fail "the sharded sales tests did not pass under Bazel"; }
grep -q "//:sales_tests .*PASSED" "$work/sales.log" || { cat "$work/sales.log"; fail "no PASSED line for //:sales_tests"; }
testlogs=$(bazel_in_example info "${options[@]}" bazel-testlogs 2>/dev/null)
bin=$(bazel_in_example info "${options[@]}" bazel-bin 2>/dev/null)

# Every test case of the program, as the program lists it, and as the shards
# report it.
"$bin/sales_tests" --list > "$work/cases.txt"
"$py" - "$work/cases.txt" "$testlogs/sales_tests" <<'EOF'
import collections, sys
from pathlib import Path
import junitparser

cases = Path(sys.argv[1]).read_text().split()
logs = Path(sys.argv[2])
seen = collections.Counter()
for shard in range(1, 5):
    report = logs / f"shard_{shard}_of_4" / "test.xml"
    if not report.exists():
        sys.exit(f"FAILED: shard {shard} wrote no test.xml")
    xml = junitparser.JUnitXml.fromfile(str(report))
    suites = [xml] if isinstance(xml, junitparser.TestSuite) else list(xml)
    ran = [c for s in suites for c in s]
    if not ran:
        sys.exit(f"FAILED: shard {shard} ran no test case")
    for c in ran:
        if c.result:
            sys.exit(f"FAILED: {c.classname}.{c.name} did not pass in shard {shard}")
        # The report files a case under its suite path and the class again:
        # <path up to the class>.<class> and the test's name.
        seen[(c.classname.rsplit(".", 1)[0], c.name)] += 1
    print(f"shard {shard}: {len(ran)} test cases")
listed = collections.Counter(tuple(p.rsplit(".", 1)) for p in cases)
if seen != listed:
    sys.exit(f"FAILED: the shards ran {sorted(seen.items())}, the program lists {sorted(listed)}")
print(f"every one of the {len(cases)} test cases ran in exactly one shard")
EOF

echo "== bazel test //:gtest_style_tests (GoogleTest sources, 2 shards)"
bazel_in_example test //:gtest_style_tests "${options[@]}" --test_output=errors > "$work/gtest.log" 2>&1 ||
  { cat "$work/gtest.log"; fail "the GoogleTest-style tests did not pass under Bazel"; }
"$bin/gtest_style_tests" --gtest_list_tests > "$work/gtest-cases.txt"
"$py" - "$work/gtest-cases.txt" "$testlogs/gtest_style_tests" <<'EOF'
import sys
from pathlib import Path
import junitparser

listed, suite = set(), None
for line in Path(sys.argv[1]).read_text().splitlines():
    if not line.startswith(" "):
        suite = line.split()[0]
    else:
        listed.add(suite + line.split()[0])
seen = []
for shard in (1, 2):
    report = Path(sys.argv[2]) / f"shard_{shard}_of_2" / "test.xml"
    xml = junitparser.JUnitXml.fromfile(str(report))
    # GoogleTest's report, written by the program, not one Bazel made up.
    if xml.name != "AllTests":
        sys.exit(f"FAILED: {report} is not GoogleTest's report (name {xml.name!r})")
    ran = [(s.name, c) for s in xml for c in s]
    if not ran:
        sys.exit(f"FAILED: shard {shard} ran no test")
    for suite_name, c in ran:
        if c.result:
            sys.exit(f"FAILED: {suite_name}.{c.name} did not pass in shard {shard}")
        seen.append(f"{suite_name}.{c.name}")
if sorted(seen) != sorted(listed):
    sys.exit(f"FAILED: the shards ran {sorted(seen)}, the program lists {sorted(listed)}")
print(f"the {len(listed)} GoogleTest-style tests ran once each over 2 shards, reported in GoogleTest's format")
EOF

echo "== bazel test //:exits_early //:exits_early_quietly (they fail on purpose)"
status=0
bazel_in_example test //:exits_early //:exits_early_quietly "${options[@]}" > "$work/exits.log" 2>&1 || status=$?
# Bazel's exit status 3: the build went well and some tests failed.
[ "$status" = 3 ] || { cat "$work/exits.log"; fail "bazel test of the early exits ended with $status, not 3"; }
for target in exits_early exits_early_quietly; do
  grep -q "//:$target .*FAILED" "$work/exits.log" || { cat "$work/exits.log"; fail "//:$target did not fail"; }
  "$py" - "$testlogs/$target/test.xml" <<'EOF'
import sys
import junitparser
xml = junitparser.JUnitXml.fromfile(sys.argv[1])
suites = [xml] if isinstance(xml, junitparser.TestSuite) else list(xml)
# The suite-path report files an error as a failure of its exception's type.
failed = [(c.name, r.type) for s in suites for c in s for r in c.result]
if failed != [("EndsTheProgram", "ETestCrashed")]:
    sys.exit(f"FAILED: {sys.argv[1]} records {failed}, not the crash of EndsTheProgram alone")
EOF
done
[ -e "$testlogs/exits_early/test.exited_prematurely" ] ||
  fail "the program that called exit in one process removed its premature-exit file"
[ ! -e "$testlogs/exits_early_quietly/test.exited_prematurely" ] ||
  fail "a supervised run that recorded a test's _Exit and went on left a premature-exit file"
echo "a test that calls exit in one process fails its target and leaves the premature-exit file; one that calls _Exit fails it in a supervised run, which ends whole"
