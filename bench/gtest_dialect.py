#!/usr/bin/env python3
"""GoogleTest programs on GoogleTest and on Tessel's GoogleTest dialect.

The very same sources (gen.py's GoogleTest programs: N/10 fixtures of 10
TEST_F tests, one ASSERT_EQ each, every tenth failing with BENCH_FAIL=1) are
built against Debian's GoogleTest (libgtest.a) and against the dialect
(Tessel::gtest_static, -O2), and measured side by side in interleaved rounds:

  - passing: (t(N) - t(0)) / N of the console run, stdout to /dev/null;
  - 10 % failing: the same with BENCH_FAIL=1;
  - compile: g++ -O2 -c of one 1,000-test file, no cache, one at a time;
  - stripped bytes per test: (size(N) - size(0)) / N;
  - with --instructions, the instructions per test that valgrind's callgrind
    counts, (I(N) - I(0)) / N, passing and 10 % failing, the dialect in its
    program's own process (--in-process: callgrind counts a forked worker's
    instructions from the program's start, so workers cannot be summed). The
    count does not move with the machine's load, as times do.

Before anything is timed each program runs once in each mode and must report
the expected numbers of tests and failures in GoogleTest's summary lines.

    python3 bench/gtest_dialect.py [--sizes 2000,5000] [--rounds 9] [--smoke] [--instructions]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import gen  # noqa: E402
from bench import CONSOLE_COUNTS, log, machine, run, spawn  # noqa: E402

CXX = os.environ.get("CXX", "g++")
CXXFLAGS = ["-O2", "-std=c++20"]
KINDS = ("gtest", "dialect")
LABEL = {"gtest": "GoogleTest", "dialect": "Tessel's dialect"}


def build_dialect(out, jobs):
    bdir = os.path.join(out, "tessel-build")
    run(["cmake", "-S", ROOT, "-B", bdir, "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG",
         "-DTESSEL_BUILD_TESTS=OFF", "-DTESSEL_BUILD_EXAMPLES=OFF", "-DTESSEL_WITH_QT=OFF"])
    run(["cmake", "--build", bdir, "-j", str(jobs), "--target", "tessel_gtest_static"])
    return [os.path.join(bdir, "dialects", "gtest", "libtessel_gtest_static.a"), os.path.join(bdir, "libCorvelTest5.a")]


class Programs:
    def __init__(self, out, dialect_libs, jobs):
        self.out, self.libs, self.jobs = out, dialect_libs, jobs
        self.ccache = shutil.which("ccache")
        self.headers_mtime = None

    def compile_cmd(self, kind, src, obj):
        inc = ["-isystem", os.path.join(ROOT, "dialects", "gtest", "include")] if kind == "dialect" else []
        return [CXX] + CXXFLAGS + inc + ["-c", src, "-o", obj]

    def newest_input(self, kind, src):
        """When the source or, for the dialect, a header it may include last changed."""
        t = os.path.getmtime(src)
        if kind == "dialect":
            if self.headers_mtime is None:
                inc = os.path.join(ROOT, "dialects", "gtest", "include")
                self.headers_mtime = max((os.path.getmtime(os.path.join(d, f))
                                          for d, _, files in os.walk(inc) for f in files), default=0)
            t = max(t, self.headers_mtime)
        return t

    def obj(self, kind, src):
        d = os.path.join(self.out, "obj", kind)
        os.makedirs(d, exist_ok=True)
        return os.path.join(d, os.path.basename(src)[:-4] + ".o")

    def build(self, n):
        """Both programs of n tests; returns {kind: executable}."""
        # One source folder for every size: file k is the same in every
        # program that has it, so its objects are made once.
        src_dir = os.path.join(self.out, "src")
        sources = gen.generate("gtest", n, src_dir)
        exes = {}
        for kind in KINDS:
            objs = []
            for src in sources:
                o = self.obj(kind, src)
                # Made again when the dialect's headers changed since: the
                # tests' code is compiled from them.
                if not os.path.exists(o) or os.path.getmtime(o) < self.newest_input(kind, src):
                    run(([self.ccache] if self.ccache else []) + self.compile_cmd(kind, src, o))
                objs.append(o)
            exe = os.path.join(self.out, "%s-%d" % (kind, n))
            libs = ["-lgtest", "-pthread"] if kind == "gtest" else self.libs + ["-ldl"]
            run([CXX] + CXXFLAGS + objs + libs + ["-o", exe])
            exes[kind] = exe
        return exes


def stripped_size(exe):
    s = exe + ".stripped"
    run(["strip", "-o", s, exe])
    return os.path.getsize(s)


def check(kind, exe, n, workdir):
    problems = []
    for fail in (False, True):
        out = os.path.join(workdir, "%s-%d-%s.out" % (kind, n, "fail" if fail else "pass"))
        _, code = spawn(exe, [], fail, out)
        want_failed = n // gen.PER_FIXTURE if fail else 0
        if (code != 0) != (want_failed > 0):
            problems.append("%s N=%d: exit status %d" % (kind, n, code))
        if n:
            with open(out, encoding="utf-8", errors="replace") as f:
                got = CONSOLE_COUNTS["gtest"](f.read())
            if got != (n, want_failed):
                problems.append("%s N=%d: reported %s, expected %s" % (kind, n, got, (n, want_failed)))
    return problems


def instructions(exe, args, fail, workdir):
    """Instructions of one run of exe under callgrind."""
    out = os.path.join(workdir, "callgrind.out")
    env = dict(os.environ)
    env.pop("BENCH_FAIL", None)
    if fail:
        env["BENCH_FAIL"] = "1"
    r = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, exe] + args, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    os.remove(out)
    for line in r.stderr.splitlines():
        if "Collected :" in line:
            return int(line.split(":")[-1])
    raise SystemExit("bench: callgrind counted nothing for " + exe + ": " + r.stderr[-300:])


def instruction_table(exes, sizes, workdir):
    args = {"gtest": [], "dialect": ["--in-process"]}
    lines = ["| instructions per test (callgrind) | " + " | ".join("passing N=%d | 10 %% failing N=%d" % (n, n)
                                                               for n in sizes) + " |",
             "|---|" + "---|" * (2 * len(sizes))]
    counts = {(k, n, m): instructions(exes[n][k], args[k], m == "fail", workdir)
              for k in KINDS for n in [0] + sizes for m in ("pass", "fail")}
    for k in KINDS:
        cells = []
        for n in sizes:
            for m in ("pass", "fail"):
                per = (counts[(k, n, m)] - counts[(k, 0, m)]) / n
                base = (counts[("gtest", n, m)] - counts[("gtest", 0, m)]) / n
                cells.append("%.0f (%.2f)" % (per, per / base))
        lines.append("| %s%s | %s |" % (LABEL[k], ", `--in-process`" if k == "dialect" else "", " | ".join(cells)))
    return "\n".join(lines)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sizes", default="2000,5000")
    ap.add_argument("--rounds", type=int, default=9)
    ap.add_argument("--compile-rounds", type=int, default=3)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--out", default=os.path.join(ROOT, "build-bench-gtest"))
    ap.add_argument("--dialect-libs", help="libtessel_gtest_static.a,libCorvelTest5.a of an -O2 build")
    ap.add_argument("--smoke", action="store_true", help="N=100, one round, no compile timing: counts only")
    ap.add_argument("--instructions", action="store_true", help="also count instructions per test with callgrind")
    a = ap.parse_args(argv)
    sizes = [100] if a.smoke else [int(x) for x in a.sizes.split(",")]
    if a.smoke:
        a.rounds, a.compile_rounds = 1, 0
    os.makedirs(a.out, exist_ok=True)
    libs = a.dialect_libs.split(",") if a.dialect_libs else build_dialect(a.out, a.jobs)
    progs = Programs(a.out, libs, a.jobs)
    exes = {n: progs.build(n) for n in [0] + sizes}
    problems = []
    for n, pair in exes.items():
        for kind, exe in pair.items():
            problems += check(kind, exe, n, a.out)
    if problems:
        raise SystemExit("bench: " + "; ".join(problems))
    log("bench: every program reports the expected counts")
    if a.smoke:
        print("smoke: %s built and checked at N=%d" % (" and ".join(LABEL[k] for k in KINDS), sizes[0]))
        return 0

    times = {(k, n, m): [] for k in KINDS for n in [0] + sizes for m in ("pass", "fail")}
    null = os.devnull
    for r in range(a.rounds):
        order = KINDS if r % 2 == 0 else tuple(reversed(KINDS))
        for n in [0] + sizes:
            for m in ("pass", "fail"):
                for k in order:
                    t, _ = spawn(exes[n][k], [], m == "fail", null)
                    times[(k, n, m)].append(t)
        log("bench: round %d of %d" % (r + 1, a.rounds))
    compile_src = os.path.join(a.out, "src", gen.file_name(0, gen.CHUNK))
    compiles = {k: [] for k in KINDS}
    if os.path.exists(compile_src):
        for r in range(a.compile_rounds):
            for k in (KINDS if r % 2 == 0 else tuple(reversed(KINDS))):
                t0 = time.perf_counter()
                run(progs.compile_cmd(k, compile_src, os.path.join(a.out, "timed-%s.o" % k)))
                compiles[k].append(time.perf_counter() - t0)

    def per_test(k, n, m):
        base = statistics.median(times[(k, 0, m)])
        return (statistics.median(times[(k, n, m)]) - base) / n * 1e6

    def spread(k, n, m):
        base = statistics.median(times[(k, 0, m)])
        xs = sorted((t - base) / n * 1e6 for t in times[(k, n, m)])
        return xs[len(xs) // 4], xs[(3 * len(xs)) // 4]

    n2 = max(sizes)
    size0 = {k: stripped_size(exes[0][k]) for k in KINDS}
    bytes_per = {k: (stripped_size(exes[n2][k]) - size0[k]) / n2 for k in KINDS}
    m = machine()
    lines = ["| | " + " | ".join("passing µs/test N=%d | 10 %% failing µs/test N=%d" % (n, n) for n in sizes) +
             " | compile 1,000-test file s | stripped bytes/test |",
             "|---|" + "---|" * (2 * len(sizes) + 2)]
    for k in KINDS:
        cells = []
        for n in sizes:
            for mode in ("pass", "fail"):
                v = per_test(k, n, mode)
                g = per_test("gtest", n, mode)
                lo, hi = spread(k, n, mode)
                cells.append("%.2f (%.2f; %.2f–%.2f)" % (v, v / g, lo, hi))
        c = statistics.median(compiles[k]) if compiles[k] else float("nan")
        cg = statistics.median(compiles["gtest"]) if compiles["gtest"] else float("nan")
        cells.append("%.1f (%.2f)" % (c, c / cg))
        cells.append("%.0f (%.2f)" % (bytes_per[k], bytes_per[k] / bytes_per["gtest"]))
        lines.append("| %s | %s |" % (LABEL[k], " | ".join(cells)))
    # What a whole run takes: per test is what a run at N costs over one at 0,
    # so a cost every run of tests has (a worker's fork) counts in it.
    lines.append("")
    lines.append("| whole run, passing, ms | " + " | ".join("N=%d" % n for n in [0] + sizes) + " |")
    lines.append("|---|" + "---|" * (len(sizes) + 1))
    for k in KINDS:
        lines.append("| %s | %s |" % (LABEL[k], " | ".join("%.2f" % (statistics.median(times[(k, n, "pass")]) * 1e3)
                                                         for n in [0] + sizes)))
    lines.append("")
    lines.append("Medians of %d interleaved rounds (ratio to GoogleTest; interquartile range); %d timed compiles. "
                 "%s, %s cores, %s, %s." % (a.rounds, a.compile_rounds, m["cpu"], m["nproc"], m["memory"],
                                             m["compiler"]))
    if a.instructions:
        lines += ["", instruction_table(exes, sizes, a.out)]
    text = "\n".join(lines)
    print(text)
    with open(os.path.join(a.out, "results.md"), "w") as f:
        f.write(text + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
