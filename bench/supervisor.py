#!/usr/bin/env python3
"""Supervised runs against runs in one process, and against the peers, side by
side in one run.

Builds, with the bench's generator (gen.py), programs of 0 and N trivial tests
for Tessel and the peers (GoogleTest, Catch2, doctest), and links Tessel's test
objects twice: with the runners' entry functions (a run in one process, the
programs `make bench` measures) and with TesselMain (a supervised run: the tests
run in a worker process, the reports are written by the process that started
it). Then, in interleaved rounds (the starting program rotates):

  console µs/test      (t(N) - t(0)) / N with each program's console reporter
  XML µs/test          the same with a report written to a file (Tessel: the
                       NUnit-format runner; the peers: their JUnit reporters)
  supervised / in one process
                       TesselMain's figure over the entry functions'
  --isolate µs/test    (t(TesselMain --isolate) - t(TesselMain --in-process)) / N:
                       what a process per test case costs on top of running it,
                       beside a bare fork, _exit and waitpid in a process that has
                       written as much memory (bench/isolation.py's floor)
  --jobs=2             the wall time of a TesselMain program of B tests that each
                       burn 2 ms of CPU, run serially, over its time with --jobs=2

Every program must report the expected counts first, and the reports of the
burning program run with --jobs=2 must equal the serial run's once times are
masked. Each figure is the median over the rounds; ratios in brackets are to
the fastest peer of the same run. Standard output and error go to /dev/null.

  python3 bench/supervisor.py [--size 5000] [--rounds 9] [--burn 200] [--frameworks ...]
  python3 bench/supervisor.py --smoke     # N = 100, one round: builds, runs and checks only
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import bench  # noqa: E402
import gen  # noqa: E402
import isolation  # noqa: E402

SUPERVISED_MAIN = r'''#include <cstdlib>
#include "runners/TesselCommandLine.h"
@FAIL_SWITCH@
int main(int argc, char** argv) { return TesselMain(argc, argv); }
'''

BURN_SOURCE = r'''#include <time.h>
#include "framework/TestFramework.h"
#include "runners/TesselCommandLine.h"
using namespace TestFramework;
namespace {
// 2 ms of this thread's CPU time.
void Burn() {
  timespec a{}, b{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
  volatile unsigned x = 0;
  do {
    for (int i = 0; i < 1000; ++i) x = x * 31u + 7u;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
  } while ((b.tv_sec - a.tv_sec) * 1000000000L + (b.tv_nsec - a.tv_nsec) < 2000000L);
}
@CLASSES@
}  // namespace
@REGISTER@
int main(int argc, char** argv) { return TesselMain(argc, argv); }
'''


def burn_source(n):
    classes, register = [], []
    for c in range(n // gen.PER_FIXTURE):
        tests = " ".join("TESSEL_TEST(Test%d) { Burn(); Check(true); }" % t for t in range(gen.PER_FIXTURE))
        classes.append("class TBurn%d : public TTestCase { TESSEL_TESTCASE(TBurn%d, TTestCase) public: %s };"
                       % (c, c, tests))
        register.append('TESSEL_REGISTER("Burn", TBurn%d);' % c)
    return BURN_SOURCE.replace("@CLASSES@", "\n".join(classes)).replace("@REGISTER@", "\n".join(register))


def wall(exe, args, env=None):
    t0 = time.perf_counter()
    r = subprocess.run([exe] + args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return time.perf_counter() - t0, r.returncode


def masked(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    text = re.sub(r'(time|date)="[^"]*"', r'\1="X"', text)
    text = re.sub(r'name="(started-at|finished-at|runtime)" value="[^"]*"', r'name="\1" value="X"', text)
    return re.sub(r'<testsuites name="[^"]*"', '<testsuites name="X"', text)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--size", type=int, default=5000, help="N, a multiple of 10")
    ap.add_argument("--rounds", type=int, default=9)
    ap.add_argument("--burn", type=int, default=200, help="tests of 2 ms each in the --jobs program")
    ap.add_argument("--jobs", type=int, default=2, help="build jobs")
    ap.add_argument("--out", default=os.path.join(ROOT, "build-bench", "supervisor"))
    ap.add_argument("--tessel-lib", help="a built libCorvelTest5.a (default: build one with -O2)")
    ap.add_argument("--frameworks", default="available", help="comma list of peers, 'available' or 'none'")
    ap.add_argument("--smoke", action="store_true", help="N = 100, one round, 20 burning tests: checks only")
    a = ap.parse_args(argv)
    if a.smoke:
        a.size, a.rounds, a.burn = 100, 1, 20
    if a.size <= 0 or a.size % gen.PER_FIXTURE or a.burn % gen.PER_FIXTURE:
        raise SystemExit("supervisor.py: sizes must be positive multiples of %d" % gen.PER_FIXTURE)
    if a.frameworks == "none":
        peers = []
    elif a.frameworks == "available":
        peers = [f for f in bench.PEERS if bench.available(f)]
    else:
        peers = [f for f in a.frameworks.split(",") if f]
    missing = [f for f in peers if f not in bench.PEERS or not bench.available(f)]
    if missing:
        raise SystemExit("supervisor.py: not available: %s (scripts/install-deps.sh bench)" % ", ".join(missing))

    out = os.path.abspath(a.out)
    for d in ("bin", "run"):
        os.makedirs(os.path.join(out, d), exist_ok=True)
    rundir = os.path.join(out, "run")
    lib = a.tessel_lib or bench.build_tessel_library(out, a.jobs)
    b = bench.Builder(out, os.path.abspath(lib), a.jobs)
    n = a.size

    # Sources and objects: the bench's, and the supervised main and the burning program.
    srcs = {fw: gen.generate(fw, n, os.path.join(out, "src", fw)) for fw in ["tessel"] + peers}
    smain = os.path.join(out, "src", "tessel", "supervised_main.cpp")
    gen.write_if_changed(smain, SUPERVISED_MAIN.replace("@FAIL_SWITCH@", gen.FAIL_SWITCH))
    burn = os.path.join(out, "src", "tessel", "burn_%d.cpp" % a.burn)
    gen.write_if_changed(burn, burn_source(a.burn))
    jobs = [(fw, s, b.obj_path(fw, s)) for fw in srcs for s in srcs[fw]]
    jobs += [("tessel", smain, b.obj_path("tessel", smain)), ("tessel", burn, b.obj_path("tessel", burn))]
    bench.log("building %d objects..." % len(jobs))
    b.compile_many(jobs)

    exes = {}
    for fw in srcs:
        main_obj = b.obj_path(fw, srcs[fw][0])
        for size in (0, n):
            objs = [main_obj] + [b.obj_path(fw, s) for s in srcs[fw][1:]][: len(gen.chunks(size))]
            exes[fw, size] = os.path.join(out, "bin", "%s_%d" % (fw, size))
            bench.run(b.link_cmd(fw, objs, exes[fw, size]))
            if fw == "tessel":
                exes["supervised", size] = os.path.join(out, "bin", "supervised_%d" % size)
                objs[0] = b.obj_path("tessel", smain)
                bench.run(b.link_cmd("tessel", objs, exes["supervised", size]))
    floor = isolation.build_floor(os.path.join(out, "bin"))
    rss_kb = isolation.max_rss_kb([exes["supervised", n], "--in-process"])
    exes["burn"] = os.path.join(out, "bin", "burn_%d" % a.burn)
    bench.run(b.link_cmd("tessel", [b.obj_path("tessel", burn)], exes["burn"]))

    # Before anything is timed: the counts, and the side-by-side reports.
    bench.log("checking the programs...")
    problems = []
    for fw in srcs:
        for size in (0, n):
            problems += bench.check_program(fw, exes[fw, size], size, rundir)
    args = {"console": [], "xml": ["--runner=nunit", "--output=" + os.path.join(rundir, "s.xml")]}
    for mode in ("console", "xml"):
        for extra in ([], ["--isolate"], ["--in-process"]):
            _, code = wall(exes["supervised", n], args[mode] + extra)
            if code != 0:
                problems.append("supervised %s %s: exit status %d" % (mode, " ".join(extra), code))
    with open(os.path.join(rundir, "s.xml"), encoding="utf-8", errors="replace") as f:
        if bench.XML_COUNTS["tessel"](f.read()) != (n, 0):
            problems.append("supervised: the report does not count %d tests" % n)
    reports = {}
    for name, extra in (("serial", []), ("jobs2", ["--jobs=2"])):
        nunit, junit = os.path.join(rundir, name + ".nunit.xml"), os.path.join(rundir, name + ".junit.xml")
        _, code = wall(exes["burn"], ["--runner=nunit", "--output=" + nunit, "--report=junit:" + junit] + extra)
        if code != 0:
            problems.append("burn %s: exit status %d" % (name, code))
        reports[name] = (masked(nunit), masked(junit))
    if reports["serial"] != reports["jobs2"]:
        problems.append("the reports of --jobs=2 differ from the serial run's, times masked")
    if problems:
        for p in problems:
            bench.log("  " + p)
        raise SystemExit("supervisor.py: %d program(s) misbehaved" % len(problems))
    if a.smoke:
        print("supervisor.py: every program reports its counts; --jobs=2 reports equal the serial run's")
        return

    # The rounds.
    fws = ["tessel", "supervised"] + peers
    modes = {"console": lambda fw: [], "xml": lambda fw: (
        ["--runner=nunit", "--output=" + os.path.join(rundir, "r.xml")] if fw == "supervised"
        else bench.mode_args(fw, "xml", os.path.join(rundir, "r.xml")))}
    times = {}
    started = time.time()
    loads = []
    for r in range(a.rounds):
        loads.append(os.getloadavg()[0])
        for mode, margs in modes.items():
            for size in (0, n):
                for fw in fws[r % len(fws):] + fws[:r % len(fws)]:
                    times.setdefault((fw, mode, size), []).append(wall(exes[fw, size], margs(fw))[0])
        for extra in (["--isolate"], ["--in-process"]):
            times.setdefault(("isolate", extra[0]), []).append(wall(exes["supervised", n], extra)[0])
        for extra in ([], ["--jobs=2"]):
            times.setdefault(("burn", len(extra)), []).append(wall(exes["burn"], extra)[0])
        fork = subprocess.run([floor, str(rss_kb)], capture_output=True, text=True, check=True).stdout
        times.setdefault("fork", []).append(float(fork))
        bench.log("round %d/%d done" % (r + 1, a.rounds))

    per_test = {}
    for fw in fws:
        for mode in modes:
            rounds = [(t1 - t0) / n * 1e6 for t1, t0 in zip(times[fw, mode, n], times[fw, mode, 0])]
            per_test[fw, mode] = (statistics.median(rounds), min(rounds), max(rounds))
    iso = [(i - p) / n * 1e6 for i, p in zip(times["isolate", "--isolate"], times["isolate", "--in-process"])]
    speed = [s / j for s, j in zip(times["burn", 0], times["burn", 1])]
    ratio = [(s1 - s0) / (e1 - e0) for s1, s0, e1, e0 in
             zip(times["supervised", "console", n], times["supervised", "console", 0], times["tessel", "console", n],
                 times["tessel", "console", 0])]

    label = dict(bench.LABEL, tessel="Tessel, in one process (entry functions)", supervised="Tessel, TesselMain (supervised)")
    lines = ["| N = %s | console µs/test | XML µs/test |" % "{:,}".format(n), "|---|---|---|"]
    for fw in fws:
        cells = []
        for mode in modes:
            v = per_test[fw, mode][0]
            best = min((per_test[p, mode][0] for p in peers), default=0)
            cells.append("%.2f" % v + (" (%.2f)" % (v / best) if best > 0 else ""))
        lines.append("| %s | %s |" % (label[fw], " | ".join(cells)))
    # Per test is what a run at N costs over one at 0: a cost every run has
    # (the worker's fork, the keeper) cancels only where the run at 0 has it too.
    lines += ["", "| whole run, console, ms | N = 0 | N = %s |" % "{:,}".format(n), "|---|---|---|"]
    for fw in fws:
        lines.append("| %s | %.2f | %.2f |" % (label[fw], statistics.median(times[fw, "console", 0]) * 1e3,
                                             statistics.median(times[fw, "console", n]) * 1e3))
    m = bench.machine()
    lines += ["",
              "| figure | median | range over the rounds |", "|---|---|---|",
              "| supervised / in one process, console, per test | %.2f | %.2f to %.2f |"
              % (statistics.median(ratio), min(ratio), max(ratio)),
              "| `--isolate` µs/test over `--in-process` | %.0f | %.0f to %.0f |" % (statistics.median(iso), min(iso), max(iso)),
              "| bare fork, `_exit`, `waitpid` µs (%.1f MiB written) | %.0f | %.0f to %.0f |" % (
                  rss_kb / 1024, statistics.median(times["fork"]), min(times["fork"]), max(times["fork"])),
              "| `--jobs=2` speed-up, %d tests of 2 ms | %.2f | %.2f to %.2f |" % (a.burn, statistics.median(speed),
                                                                                min(speed), max(speed)),
              "",
              "%d rounds, load average %.1f to %.1f; %s, %s cores, %s, %s, %s; %.0f s." % (
                  a.rounds, min(loads), max(loads), m["cpu"], m["nproc"], m["memory"], m["compiler"],
                  time.strftime("%Y-%m-%d %H:%M %Z"), time.time() - started)]
    table = "\n".join(lines) + "\n"
    with open(os.path.join(out, "results.md"), "w") as f:
        f.write(table)
    print(table)


if __name__ == "__main__":
    main(sys.argv[1:])
