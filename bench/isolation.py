#!/usr/bin/env python3
"""What --isolate costs per test, against one process per test.

Builds a Tessel program of N trivial tests (N/10 fixtures of 10 tests, one
integer check each; its main is TesselMain) and times, per test:

  in-process     (t(prog --in-process) - t(empty program --in-process)) / N
  --isolate      (t(prog --isolate) - t(prog --in-process)) / N: the fork, the
                 records and the replay a test case costs on top of running it
  bare fork      fork, _exit and waitpid in a process that has written as
                 much memory as the test program: the floor of any fork per test
  per process    the wall time of `prog --filter=<one test's path>`, as CTest
                 runs a program that tessel_discover_tests listed: a process
                 start, the registration of all N tests and the selection,
                 for each test; the median over a sample of tests

Each figure is the median over the rounds. Standard output goes to /dev/null.

  python3 bench/isolation.py [--sizes 1000,5000] [--rounds 7] [--sample 200]
"""
import argparse
import os
import random
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def build_library(out, jobs):
    build = os.path.join(out, "tessel-O2")
    run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS=-O2",
         "-DTESSEL_WITH_QT=OFF", "-DTESSEL_BUILD_TESTS=OFF"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build, "-j", str(jobs), "--target", "CorvelTest5_static"], stdout=subprocess.DEVNULL)
    return os.path.join(build, "libCorvelTest5.a")


def generate(path, n):
    lines = ['#include "framework/TestFramework.h"', "using namespace TestFramework;", "namespace {"]
    for c in range(n // 10):
        lines.append(f"class TFix{c} : public TTestCase {{ TESSEL_TESTCASE(TFix{c}, TTestCase) int v = 0;")
        lines.append(" public: void SetUp() override { v = 42; }")
        for t in range(10):
            lines.append(f"  TESSEL_TEST(Test{t}) {{ CheckEquals(42, v); }}")
        lines.append("};")
    lines.append("}  // namespace")
    for c in range(n // 10):
        lines.append(f'TESSEL_REGISTER("Bench", TFix{c});')
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def build_program(out, lib, n):
    src = os.path.join(out, f"iso_{n}.cpp")
    exe = os.path.join(out, f"iso_{n}")
    if not os.path.exists(exe):
        generate(src, n)
        run(["g++", "-O2", "-std=c++20", "-I", ROOT, src, os.path.join(ROOT, "runners", "TesselMainEntry.cpp"), lib,
             "-ldl", "-o", exe])
    return exe


FLOOR_SRC = r"""
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>
// fork, _exit and waitpid and nothing else, in a process with as much
// written memory as the test program: what any fork per test costs here.
int main(int argc, char** argv) {
  std::vector<char> memory(std::atoi(argv[1]) * 1024, 1);
  const int n = 1000;
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    pid_t p = fork();
    if (p == 0) _exit(0);
    int status;
    waitpid(p, &status, 0);
  }
  auto t1 = std::chrono::steady_clock::now();
  std::printf("%.1f\n", std::chrono::duration<double, std::micro>(t1 - t0).count() / n + memory[0] * 0);
}
"""


def build_floor(out):
    src = os.path.join(out, "fork_floor.cpp")
    exe = os.path.join(out, "fork_floor")
    with open(src, "w") as f:
        f.write(FLOOR_SRC)
    run(["g++", "-O2", "-std=c++20", src, "-o", exe])
    return exe


def max_rss_kb(cmd):
    r = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                       text=True, check=True)
    return int(r.stderr.strip().splitlines()[-1])


def wall(cmd):
    start = time.perf_counter()
    rc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    elapsed = time.perf_counter() - start
    if rc != 0:
        sys.exit(f"{' '.join(cmd)} exited with {rc}")
    return elapsed


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", default="1000,5000")
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--sample", type=int, default=200, help="tests run one per process, per size and round")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--out", default=os.path.join(ROOT, "build-bench", "isolation"))
    ap.add_argument("--tessel-lib", help="a built libCorvelTest5.a (default: build one with -O2)")
    args = ap.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    lib = args.tessel_lib or build_library(args.out, args.jobs)
    sizes = [int(s) for s in args.sizes.split(",")]
    empty = build_program(args.out, lib, 0)
    programs = {n: build_program(args.out, lib, n) for n in sizes}
    paths = {n: subprocess.run([programs[n], "--list"], capture_output=True, text=True, check=True).stdout.split()
             for n in sizes}
    rng = random.Random(1)
    floor_exe = build_floor(args.out)
    rss = {n: max_rss_kb([programs[n]]) for n in sizes}
    results = {n: {"inproc": [], "isolate": [], "perproc": [], "floor": []} for n in sizes}
    for r in range(args.rounds):
        t0 = wall([empty, "--in-process"])
        for n in sizes:
            exe = programs[n]
            t_plain = wall([exe, "--in-process"])
            t_iso = wall([exe, "--isolate"])
            results[n]["inproc"].append((t_plain - t0) / n * 1e6)
            results[n]["isolate"].append((t_iso - t_plain) / n * 1e6)
            sample = rng.sample(paths[n], min(args.sample, n))
            results[n]["perproc"].append(statistics.median(wall([exe, "--filter=" + p]) for p in sample) * 1e6)
            floor = subprocess.run([floor_exe, str(rss[n])], capture_output=True, text=True, check=True).stdout
            results[n]["floor"].append(float(floor))
        print(f"round {r + 1} of {args.rounds} done", file=sys.stderr)
    print("| N | in-process µs/test | --isolate µs/test (added) | bare fork µs (same RSS) | "
          "one process per test µs/test | per process / --isolate |")
    print("|---|---|---|---|---|---|")
    for n in sizes:
        m = {k: statistics.median(v) for k, v in results[n].items()}
        print(f"| {n:,} | {m['inproc']:.2f} | {m['isolate']:.1f} | {m['floor']:.1f} ({rss[n] / 1024:.1f} MiB) | "
              f"{m['perproc']:.0f} | {m['perproc'] / max(m['isolate'], 1e-9):.1f}x |")


if __name__ == "__main__":
    main(sys.argv[1:])
