#!/usr/bin/env python3
"""Tessel against GoogleTest, Catch2 and doctest on programs of one shape.

Builds, for every framework, programs of 0, N1 and N2 trivial tests (see
gen.py), checks that each reports the expected counts, and then measures in
interleaved rounds (every framework right after the other in each round):

  - run-loop overhead per test, (t(N) - t(0)) / N, for three modes:
    console reporter; XML report; console with every tenth test failing;
  - compile time of one 1,000-test source file (timed compiles, one at a time);
  - stripped binary bytes per test, (size(N2) - size(0)) / N2;
  - peak resident set size at N2.

The programs of 0 and N2 tests are also linked a second time from the same
objects with packed relative relocations (-Wl,-z,pack-relative-relocs), where
the linker has it, and their stripped bytes/test and peak RSS are reported too.

Each figure is the median over the rounds and is also given as a ratio to the
fastest of the three peers in the same run.

Environment: BENCH_FULL=1 runs the full size (N = 10,000 and 30,000),
BENCH_ROUNDS and BENCH_JOBS override the number of rounds and build jobs.
"""
import argparse
import concurrent.futures
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import gen  # noqa: E402

PEERS = ("gtest", "catch2", "doctest")
ALL = ("tessel",) + PEERS
LABEL = {"tessel": "Tessel", "gtest": "GoogleTest", "catch2": "Catch2", "doctest": "doctest"}
CXX = os.environ.get("CXX", "g++")
CXXFLAGS = ["-O2", "-std=c++20"]
MODES = ("console", "xml", "fail")


def log(*a):
    print(*a, file=sys.stderr, flush=True)


def run(cmd, **kw):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)
    if r.returncode != 0:
        log(r.stdout)
        raise SystemExit("bench: command failed: " + " ".join(cmd))
    return r.stdout


# --- what each framework needs ---------------------------------------------------

def available(fw):
    if fw == "tessel":
        return True
    need = {"gtest": ["/usr/include/gtest/gtest.h", "/usr/lib/x86_64-linux-gnu/libgtest.a"],
            "catch2": ["/usr/include/catch2/catch.hpp", "/usr/lib/libCatch2WithMain.a"],
            "doctest": ["/usr/include/doctest/doctest.h"]}[fw]
    return all(os.path.exists(p) for p in need)


def version(fw):
    pkg = {"gtest": "libgtest-dev", "catch2": "catch2", "doctest": "doctest-dev"}.get(fw)
    if not pkg:
        return subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True).stdout.strip() or "?"
    r = subprocess.run(["dpkg-query", "-W", "-f=${Version}", pkg], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, text=True)
    return r.stdout.strip() or "?"


class Builder:
    def __init__(self, out, tessel_lib, jobs):
        self.out = out
        self.tessel_lib = tessel_lib
        self.jobs = jobs
        self.ccache = shutil.which("ccache")
        self.built = set()  # objects compiled in this run

    def include(self, fw):
        return ["-I", ROOT] if fw == "tessel" else []

    def compile_cmd(self, fw, src, obj):
        return [CXX] + CXXFLAGS + self.include(fw) + ["-c", src, "-o", obj]

    def link_cmd(self, fw, objs, exe, extra=()):
        libs = {"tessel": [self.tessel_lib, "-ldl"],
                "gtest": ["-lgtest", "-pthread"],
                "catch2": ["/usr/lib/libCatch2WithMain.a"],
                "doctest": []}[fw]
        return [CXX] + CXXFLAGS + list(extra) + objs + libs + ["-o", exe]

    def obj_path(self, fw, src):
        d = os.path.join(self.out, "obj", fw)
        os.makedirs(d, exist_ok=True)
        return os.path.join(d, os.path.basename(src)[:-4] + ".o")

    def timed_compile(self, fw, src, obj):
        """Compiles without a cache and returns the wall time in seconds."""
        cmd = self.compile_cmd(fw, src, obj)
        t0 = time.perf_counter()
        run(cmd)
        t = time.perf_counter() - t0
        self.built.add(obj)
        return t

    def compile_many(self, jobs):
        """jobs: (fw, src, obj); compiled in parallel, through ccache when present."""
        def one(j):
            fw, src, obj = j
            if obj in self.built:
                return
            cmd = self.compile_cmd(fw, src, obj)
            run(([self.ccache] if self.ccache else []) + cmd)
            self.built.add(obj)
        with concurrent.futures.ThreadPoolExecutor(self.jobs) as ex:
            for f in [ex.submit(one, j) for j in jobs]:
                f.result()


def build_tessel_library(out, jobs):
    bdir = os.path.join(out, "tessel-build")
    run(["cmake", "-S", ROOT, "-B", bdir, "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG",
         "-DTESSEL_BUILD_TESTS=OFF", "-DTESSEL_WITH_QT=OFF"])
    run(["cmake", "--build", bdir, "-j", str(jobs), "--target", "CorvelTest5_static"])
    return os.path.join(bdir, "libCorvelTest5.a")


PACKED = ["-Wl,-z,pack-relative-relocs"]


def linker_packs(workdir):
    """Whether the linker takes -z pack-relative-relocs (binutils 2.38 on)."""
    src = os.path.join(workdir, "packs.cpp")
    with open(src, "w") as f:
        f.write("int main() { return 0; }\n")
    r = subprocess.run([CXX] + PACKED + ["-Wl,--fatal-warnings", src, "-o", src[:-4]],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode == 0


# --- running one program ------------------------------------------------------------

def mode_args(fw, mode, report):
    if mode != "xml":
        return []
    return {"tessel": ["xml", report],
            "gtest": ["--gtest_output=xml:" + report],
            "catch2": ["-r", "junit", "-o", report],
            "doctest": ["--reporters=junit", "--out=" + report]}[fw]


def spawn(exe, args, fail, stdout_path):
    """Runs exe once; returns (seconds, exit status)."""
    env = dict(os.environ)
    env.pop("BENCH_FAIL", None)
    if fail:
        env["BENCH_FAIL"] = "1"
    actions = [(os.POSIX_SPAWN_OPEN, 1, stdout_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
               (os.POSIX_SPAWN_DUP2, 1, 2)]
    t0 = time.perf_counter()
    pid = os.posix_spawn(exe, [exe] + args, env, file_actions=actions)
    _, status = os.waitpid(pid, 0)
    t = time.perf_counter() - t0
    return t, os.waitstatus_to_exitcode(status)


def peak_rss(exe, workdir):
    """Peak RSS in KiB of one console run. The child of a Python process starts
    out with Python's own peak, so the run goes through GNU time instead."""
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    out = os.path.join(workdir, "rss.txt")
    with open(os.devnull, "w") as null:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out, exe], stdout=null, stderr=null)
    with open(out) as f:
        return int(f.read().split()[-1])


# Summary lines of each framework's console reporter: (run, failed).
CONSOLE_COUNTS = {
    "tessel": lambda s: (_int(r"OK: (\d+) tests", s), 0) if "OK: " in s else
    (_int(r"Run:\s+(\d+)", s), _int(r"Failures:\s+(\d+)", s) + _int(r"Errors:\s+(\d+)", s)),
    "gtest": lambda s: (_int(r"\[==========\] (\d+) tests? from", s), _int(r"\[  FAILED  \] (\d+) tests?,", s, 0)),
    "catch2": lambda s: (_int(r"in (\d+) test cases?\)", s), 0) if "All tests passed" in s else
    (_int(r"test cases: *(\d+)", s), _int(r"test cases:[^\n]*?(\d+) failed", s, 0)),
    "doctest": lambda s: (_int(r"test cases: *(\d+)", s), _int(r"test cases:[^\n]*?(\d+) failed", s, 0)),
}
XML_COUNTS = {
    "tessel": lambda s: (_int(r'<stat name="tests" value="(\d+)"', s), _int(r'<stat name="failures" value="(\d+)"', s)),
    "gtest": lambda s: (_int(r'<testsuites tests="(\d+)"', s), _int(r'<testsuites [^>]*failures="(\d+)"', s)),
    "catch2": lambda s: (_int(r'<testsuite [^>]*tests="(\d+)"', s), _int(r'<testsuite [^>]*failures="(\d+)"', s)),
    "doctest": lambda s: (_int(r'<testsuite [^>]*tests="(\d+)"', s), _int(r'<testsuite [^>]*failures="(\d+)"', s)),
}


def _int(pattern, text, default=None):
    m = re.search(pattern, text)
    if not m:
        if default is not None:
            return default
        raise ValueError("no match for " + pattern)
    return int(m.group(1))


def check_program(fw, exe, n, workdir):
    """Runs exe in every mode and checks exit status and the reported counts."""
    problems = []
    for mode in MODES:
        out = os.path.join(workdir, "%s-%d-%s.out" % (fw, n, mode))
        report = os.path.join(workdir, "%s-%d.xml" % (fw, n))
        if os.path.exists(report):
            os.remove(report)
        fail = mode == "fail"
        _, code = spawn(exe, mode_args(fw, mode, report), fail, out)
        want_failed = n // gen.PER_FIXTURE if fail else 0
        if (code != 0) != (want_failed > 0):
            problems.append("%s N=%d %s: exit status %d" % (fw, n, mode, code))
        if n == 0:
            continue
        try:
            if mode == "xml":
                with open(report, encoding="utf-8", errors="replace") as f:
                    got = XML_COUNTS[fw](f.read())
            else:
                with open(out, encoding="utf-8", errors="replace") as f:
                    got = CONSOLE_COUNTS[fw](f.read())
        except (OSError, ValueError) as e:
            problems.append("%s N=%d %s: no counts (%s)" % (fw, n, mode, e))
            continue
        if got != (n, want_failed):
            problems.append("%s N=%d %s: reported %d run / %d failed, expected %d / %d"
                            % (fw, n, mode, got[0], got[1], n, want_failed))
    return problems


# --- the measurement ---------------------------------------------------------------------

def median(xs):
    return statistics.median(xs) if xs else float("nan")


def machine():
    model = "?"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem = "?"
    try:
        with open("/proc/meminfo") as f:
            kb = int(f.readline().split()[1])
            mem = "%.1f GiB" % (kb / 1024 / 1024)
    except (OSError, ValueError, IndexError):
        pass
    return {"nproc": os.cpu_count(), "cpu": model, "memory": mem, "kernel": platform.release(),
            "compiler": run([CXX, "--version"]).splitlines()[0]}


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    full = os.environ.get("BENCH_FULL", "") not in ("", "0")
    ap.add_argument("--sizes", default="10000,30000" if full else "2000,5000",
                    help="N1,N2: the two program sizes (multiples of 10)")
    ap.add_argument("--rounds", type=int, default=int(os.environ.get("BENCH_ROUNDS", "15")))
    ap.add_argument("--compile-rounds", type=int, default=5,
                    help="timed compiles of a 1,000-test file per framework (0: none)")
    ap.add_argument("--jobs", type=int, default=int(os.environ.get("BENCH_JOBS", "2")))
    ap.add_argument("--out", default=os.path.join(ROOT, "build-bench"))
    ap.add_argument("--tessel-lib", help="a built libCorvelTest5.a (default: build one with -O2)")
    ap.add_argument("--frameworks", default="all", help="comma list, or 'all', or 'available'")
    ap.add_argument("--smoke", action="store_true",
                    help="tiny size (N=100), one round: builds, runs and checks counts only")
    a = ap.parse_args(argv)

    if a.smoke:
        sizes, a.rounds, a.compile_rounds = [100], 1, 0
    else:
        sizes = [int(x) for x in a.sizes.split(",")]
    if any(n <= 0 or n % gen.PER_FIXTURE for n in sizes):
        raise SystemExit("bench: sizes must be positive multiples of %d" % gen.PER_FIXTURE)
    skipped = []
    if a.frameworks == "all":
        fws = list(ALL)
    elif a.frameworks == "available":
        fws = [f for f in ALL if available(f)]
        skipped = [f for f in ALL if f not in fws]
    else:
        fws = [f for f in a.frameworks.split(",") if f]
    missing = [f for f in fws if f not in ALL or not available(f)]
    if missing:
        raise SystemExit("bench: not available: %s (run scripts/install-deps.sh bench)" % ", ".join(missing))

    out = os.path.abspath(a.out)
    os.makedirs(out, exist_ok=True)
    rundir = os.path.join(out, "run")
    os.makedirs(rundir, exist_ok=True)
    started = time.time()
    nmax = max(sizes)
    all_n = [0] + sorted(sizes)

    tessel_lib = a.tessel_lib
    if "tessel" in fws and not tessel_lib:
        log("building the Tessel library (-O2)...")
        tessel_lib = build_tessel_library(out, a.jobs)
    b = Builder(out, tessel_lib and os.path.abspath(tessel_lib), a.jobs)

    # Sources: one set per framework, the biggest program's files.
    srcs = {}
    for fw in fws:
        files = []
        for n in sorted(sizes, reverse=True):
            files += [p for p in gen.generate(fw, n, os.path.join(out, "src", fw)) if p not in files]
        srcs[fw] = files
    chunk_files = {fw: srcs[fw][1:] for fw in fws}

    # Timed compiles of 1,000-test files, one at a time, frameworks interleaved;
    # their objects are the programs' objects where the file is one of them.
    compile_s = {fw: [] for fw in fws}
    full_chunks = [i for i, (_, size) in enumerate(gen.chunks(nmax)) if size == gen.CHUNK]
    for r in range(a.compile_rounds if full_chunks else 0):
        order = fws[r % len(fws):] + fws[:r % len(fws)]
        for fw in order:
            src = chunk_files[fw][full_chunks[r % len(full_chunks)]]
            obj = b.obj_path(fw, src) if r < len(full_chunks) else os.path.join(out, "obj", "scratch.o")
            t = b.timed_compile(fw, src, obj)
            compile_s[fw].append(t)
            log("compile round %d %-8s %6.1f s" % (r + 1, fw, t))

    log("building the remaining objects (%d jobs)..." % a.jobs)
    b.compile_many([(fw, s, b.obj_path(fw, s)) for fw in fws for s in srcs[fw]])

    exes = {}
    packed = {}  # fw, n -> the same program linked with packed relative relocations
    packs = linker_packs(rundir)
    if not packs:
        log("the linker has no -z pack-relative-relocs: the packed link is left out")
    link_jobs = []
    for fw in fws:
        main_obj = b.obj_path(fw, srcs[fw][0])
        for n in all_n:
            objs = [main_obj] + [b.obj_path(fw, os.path.join(out, "src", fw, gen.file_name(k, size)))
                                 for k, size in gen.chunks(n)]
            exe = os.path.join(out, "bin", "%s_%d" % (fw, n))
            exes[fw, n] = exe
            link_jobs.append((b.link_cmd(fw, objs, exe), exe))
            if packs and n in (0, nmax):
                packed[fw, n] = exe + "_packed"
                link_jobs.append((b.link_cmd(fw, objs, packed[fw, n], PACKED), packed[fw, n]))
    os.makedirs(os.path.join(out, "bin"), exist_ok=True)
    with concurrent.futures.ThreadPoolExecutor(a.jobs) as ex:
        for f in [ex.submit(run, cmd) for cmd, _ in link_jobs]:
            f.result()

    log("checking that every program reports the expected counts...")
    problems = []
    for fw in fws:
        for n in all_n:
            problems += check_program(fw, exes[fw, n], n, rundir)
        if packs:
            problems += check_program(fw, packed[fw, nmax], nmax, rundir)
    if problems:
        for p in problems:
            log("  " + p)
        raise SystemExit("bench: %d program(s) misbehaved" % len(problems))

    # Stripped sizes.
    stripped = {}
    for fw in fws:
        for n in (0, nmax):
            s = exes[fw, n] + ".stripped"
            run(["strip", "-o", s, exes[fw, n]])
            stripped[fw, n] = os.path.getsize(s)
            if packs:
                s = packed[fw, n] + ".stripped"
                run(["strip", "-o", s, packed[fw, n]])
                stripped[fw, n, "packed"] = os.path.getsize(s)

    # Interleaved timing rounds.
    times = {}   # (fw, mode, n) -> [seconds]
    rss = {fw: [] for fw in fws}
    rss_packed = {fw: [] for fw in fws}
    sink = os.devnull
    for r in range(a.rounds):
        for mode in MODES:
            for n in all_n:
                order = fws[r % len(fws):] + fws[:r % len(fws)]
                for fw in order:
                    report = os.path.join(rundir, fw + ".xml")
                    t, _ = spawn(exes[fw, n], mode_args(fw, mode, report), mode == "fail", sink)
                    times.setdefault((fw, mode, n), []).append(t)
        for fw in fws[r % len(fws):] + fws[:r % len(fws)]:
            rss[fw].append(peak_rss(exes[fw, nmax], rundir))
            if packs:
                rss_packed[fw].append(peak_rss(packed[fw, nmax], rundir))
        log("round %d/%d done" % (r + 1, a.rounds))

    res = {"sizes": sorted(sizes), "rounds": a.rounds, "compile_rounds": a.compile_rounds,
           "machine": machine(), "date": time.strftime("%Y-%m-%d %H:%M %Z"),
           "versions": {fw: version(fw) for fw in fws}, "figures": {}}
    for fw in fws:
        fig = {}
        for mode in MODES:
            for n in sorted(sizes):
                per_round = [(tn - t0) / n * 1e6 for tn, t0 in zip(times[fw, mode, n], times[fw, mode, 0])]
                fig["%s@%d" % (mode, n)] = median(per_round)
        fig["compile_s"] = median(compile_s[fw])
        fig["bytes_per_test"] = (stripped[fw, nmax] - stripped[fw, 0]) / nmax
        fig["rss_mib"] = median(rss[fw]) / 1024
        if packs:
            fig["packed_bytes_per_test"] = (stripped[fw, nmax, "packed"] - stripped[fw, 0, "packed"]) / nmax
            fig["packed_rss_mib"] = median(rss_packed[fw]) / 1024
        res["figures"][fw] = fig
    res["elapsed_s"] = time.time() - started
    with open(os.path.join(out, "results.json"), "w") as f:
        json.dump(res, f, indent=1)
    table = render(res, fws)
    with open(os.path.join(out, "results.md"), "w") as f:
        f.write(table)
    print(table)
    log("results in %s (%.0f s)" % (out, res["elapsed_s"]))
    if skipped:
        log("bench: not installed, left out: %s (scripts/install-deps.sh bench)" % ", ".join(skipped))
        sys.exit(77)


def render(res, fws):
    sizes = res["sizes"]
    cols = []
    for mode, title in (("console", "console"), ("xml", "XML"), ("fail", "10 % failing")):
        for n in sizes:
            cols.append(("%s@%d" % (mode, n), "%s µs/test N=%s" % (title, "{:,}".format(n)), "%.2f"))
    cols += [("compile_s", "compile 1,000-test file s", "%.1f"),
             ("bytes_per_test", "stripped bytes/test", "%.0f"),
             ("rss_mib", "peak RSS MiB N=%s" % "{:,}".format(max(sizes)), "%.1f")]
    if all("packed_rss_mib" in res["figures"][fw] for fw in fws):
        cols += [("packed_bytes_per_test", "packed: stripped bytes/test", "%.0f"),
                 ("packed_rss_mib", "packed: peak RSS MiB N=%s" % "{:,}".format(max(sizes)), "%.1f")]
    peers = [fw for fw in fws if fw != "tessel"]
    lines = ["| | " + " | ".join(c[1] for c in cols) + " |", "|---" * (len(cols) + 1) + "|"]
    for fw in fws:
        cells = []
        for key, _, fmt in cols:
            v = res["figures"][fw][key]
            best = min((res["figures"][p][key] for p in peers), default=None)
            ratio = " (%.2f)" % (v / best) if best and best > 0 and v == v else ""
            cells.append((fmt % v if v == v else "–") + ratio)
        lines.append("| %s %s | %s |" % (LABEL[fw], res["versions"][fw], " | ".join(cells)))
    m = res["machine"]
    lines.append("")
    packed_note = ("; packed: the same objects linked with -Wl,-z,pack-relative-relocs"
                   if any(c[0] == "packed_rss_mib" for c in cols) else "")
    lines.append("Ratios in brackets: to the fastest peer in the same run%s. %d timing rounds, %d timed compiles; "
                 "%s, %s cores, %s, %s, %s." % (packed_note, res["rounds"], res["compile_rounds"], m["cpu"], m["nproc"],
                                                 m["memory"], m["compiler"], res["date"]))
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    main(sys.argv[1:])
