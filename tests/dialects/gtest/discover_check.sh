#!/usr/bin/env bash
# CMake's own gtest_discover_tests on a program built against GoogleTest and
# on the same source built against the dialect, run by "ctest -j2": the two
# must give the same tests with the same results.
#   discover_check.sh GTEST_PROGRAM TESSEL_PROGRAM OUTDIR
set -uo pipefail
real=$1 tessel=$2 out=$3
rm -rf "$out" && mkdir -p "$out/project" || exit 1
cat > "$out/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(discovery NONE)
enable_testing()
include(GoogleTest)
foreach(kind gtest tessel)
  add_executable(\${kind} IMPORTED)
endforeach()
set_target_properties(gtest PROPERTIES IMPORTED_LOCATION "$real")
set_target_properties(tessel PROPERTIES IMPORTED_LOCATION "$tessel")
gtest_discover_tests(gtest TEST_PREFIX "gtest:" DISCOVERY_MODE PRE_TEST)
gtest_discover_tests(tessel TEST_PREFIX "tessel:" DISCOVERY_MODE PRE_TEST)
CMAKE
cmake -S "$out/project" -B "$out/build" > "$out/configure.txt" 2>&1 || { cat "$out/configure.txt"; exit 1; }
(cd "$out/build" && ctest -j2 --output-junit "$out/ctest.xml" > "$out/ctest.txt" 2>&1)
/usr/bin/python3 - "$out/ctest.xml" <<'PY'
import sys
import xml.etree.ElementTree as ET
results = {"gtest": {}, "tessel": {}}
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    kind, _, name = case.get("name").partition(":")
    results[kind][name] = case.get("status")
gtest, tessel = results["gtest"], results["tessel"]
if not gtest:
    sys.exit("ctest ran no test of the GoogleTest build")
bad = 0
for name in sorted(set(gtest) | set(tessel)):
    if gtest.get(name) != tessel.get(name):
        print("%s: %s under GoogleTest, %s under Tessel" % (name, gtest.get(name), tessel.get(name)))
        bad += 1
kinds = sorted(set(gtest.values()))
print("%d tests discovered in each build (%s), %d differ" % (len(gtest), ", ".join(kinds), bad))
sys.exit(1 if bad else 0)
PY
