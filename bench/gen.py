#!/usr/bin/env python3
"""Writes benchmark test programs of one shape for four test frameworks.

A program of N tests is N/10 fixture classes of 10 tests each. Every fixture
sets an integer member to 42 before each test, and every test makes one
integer equality check on it. The tenth test of each fixture compares with
bench_last, which the program's main sets to 43 when the environment variable
BENCH_FAIL is set: the same binary then has every tenth test failing.

The tests are spread over source files of at most CHUNK tests, so that file k
is the same in every program that has it and a bigger program reuses the
objects of a smaller one.

    gen.py FRAMEWORK N OUTDIR     writes OUTDIR/t_K.cpp... and OUTDIR/main.cpp
"""
import argparse
import os
import sys

FRAMEWORKS = ("tessel", "gtest", "catch2", "doctest")
CHUNK = 1000          # tests per source file
PER_FIXTURE = 10      # tests per fixture class


def chunks(n):
    """(index, number of tests) of every source file of an n-test program."""
    out = []
    k = 0
    while k * CHUNK < n:
        out.append((k, min(CHUNK, n - k * CHUNK)))
        k += 1
    return out


def file_name(k, size):
    return "t_%03d_%d.cpp" % (k, size)


# --- one source file per framework ------------------------------------------

def _tessel(k, size):
    out = ['#include "framework/TestFramework.h"',
           "using namespace TestFramework;",
           "extern int bench_last;", ""]
    for f in range(size // PER_FIXTURE):
        cls = "TFixture%d" % (k * CHUNK // PER_FIXTURE + f)
        out.append("class %s : public TTestCase {" % cls)
        out.append("  TESSEL_TESTCASE(%s, TTestCase)" % cls)
        out.append(" public:")
        out.append("  int value = 0;")
        out.append("  void SetUp() override { value = 42; }")
        for t in range(PER_FIXTURE):
            want = "bench_last" if t == PER_FIXTURE - 1 else "42"
            out.append("  TESSEL_TEST(Test%d) { CheckEquals(%s, value); }" % (t, want))
        out.append("};")
        out.append('TESSEL_REGISTER("", %s);' % cls)
        out.append("")
    return out


def _gtest(k, size):
    out = ["#include <gtest/gtest.h>", "extern int bench_last;", ""]
    for f in range(size // PER_FIXTURE):
        cls = "Fixture%d" % (k * CHUNK // PER_FIXTURE + f)
        out.append("class %s : public ::testing::Test {" % cls)
        out.append(" protected:")
        out.append("  int value = 0;")
        out.append("  void SetUp() override { value = 42; }")
        out.append("};")
        for t in range(PER_FIXTURE):
            want = "bench_last" if t == PER_FIXTURE - 1 else "42"
            out.append("TEST_F(%s, Test%d) { ASSERT_EQ(%s, value); }" % (cls, t, want))
        out.append("")
    return out


def _catch2(k, size):
    out = ["#include <catch2/catch.hpp>", "extern int bench_last;", ""]
    for f in range(size // PER_FIXTURE):
        cls = "Fixture%d" % (k * CHUNK // PER_FIXTURE + f)
        out.append("struct %s {" % cls)
        out.append("  int value = 0;")
        out.append("  %s() { value = 42; }" % cls)
        out.append("};")
        for t in range(PER_FIXTURE):
            want = "bench_last" if t == PER_FIXTURE - 1 else "42"
            out.append('TEST_CASE_METHOD(%s, "%s.Test%d") { REQUIRE(value == %s); }' % (cls, cls, t, want))
        out.append("")
    return out


def _doctest(k, size):
    out = ["#include <doctest/doctest.h>", "extern int bench_last;", ""]
    for f in range(size // PER_FIXTURE):
        cls = "Fixture%d" % (k * CHUNK // PER_FIXTURE + f)
        out.append("struct %s {" % cls)
        out.append("  int value = 0;")
        out.append("  %s() { value = 42; }" % cls)
        out.append("};")
        for t in range(PER_FIXTURE):
            want = "bench_last" if t == PER_FIXTURE - 1 else "42"
            out.append('TEST_CASE_FIXTURE(%s, "%s.Test%d") { REQUIRE(value == %s); }' % (cls, cls, t, want))
        out.append("")
    return out


SOURCES = {"tessel": _tessel, "gtest": _gtest, "catch2": _catch2, "doctest": _doctest}

# --- main programs ------------------------------------------------------------

FAIL_SWITCH = 'int bench_last = std::getenv("BENCH_FAIL") ? 43 : 42;'

MAINS = {
    # argv[1]: "console" (default) or "xml"; argv[2]: the report file.
    "tessel": r'''#include <cstdlib>
#include <cstring>
#include "runners/NUnitXMLTestRunner.h"
#include "runners/TextTestRunner.h"
@FAIL_SWITCH@
int main(int argc, char** argv) {
  auto r = argc > 2 && std::strcmp(argv[1], "xml") == 0
               ? NUnitXMLTestRunner::RunRegisteredTests(argv[2])
               : TextTestRunner::RunRegisteredTests(TextTestRunner::rxbContinue);
  return r->WasSuccessful() ? 0 : 1;
}
''',
    "gtest": r'''#include <cstdlib>
#include <gtest/gtest.h>
@FAIL_SWITCH@
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
''',
    # Catch2's main comes from Debian's libCatch2WithMain.a.
    "catch2": "#include <cstdlib>\n@FAIL_SWITCH@\n",
    "doctest": "#include <cstdlib>\n#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN\n#include <doctest/doctest.h>\n@FAIL_SWITCH@\n",
}


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def generate(framework, n, outdir):
    """Writes the sources of an n-test program; returns their paths, main first."""
    if n % PER_FIXTURE:
        raise SystemExit("gen.py: N must be a multiple of %d" % PER_FIXTURE)
    os.makedirs(outdir, exist_ok=True)
    paths = [os.path.join(outdir, "main.cpp")]
    write_if_changed(paths[0], MAINS[framework].replace("@FAIL_SWITCH@", FAIL_SWITCH))
    for k, size in chunks(n):
        p = os.path.join(outdir, file_name(k, size))
        write_if_changed(p, "\n".join(SOURCES[framework](k, size)) + "\n")
        paths.append(p)
    return paths


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("framework", choices=FRAMEWORKS)
    ap.add_argument("n", type=int)
    ap.add_argument("outdir")
    a = ap.parse_args(argv)
    for p in generate(a.framework, a.n, a.outdir):
        print(p)


if __name__ == "__main__":
    main(sys.argv[1:])
