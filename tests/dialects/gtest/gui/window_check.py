#!/usr/bin/env python3
"""A GoogleTest program in Tessel's window, held against GoogleTest's report.

    window_check.py GTEST_PROGRAM TESSEL_PROGRAM OUTDIR

The source built against GoogleTest writes its XML report: the suites and
tests it ran or skipped, and each failed expectation's file, line and text.
The same source built on the dialect starts with --runner=gui; the driver
linked into it runs the tests in the window and writes down what the window
shows. Every suite and test of the report must be in the window's tree
(ticked, the disabled one not), and the failure list must hold the report's
failures in their order, each with its text and its file and line; a tick
given to the disabled test must survive the window's configuration.
"""
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

real, tessel, out = sys.argv[1:4]
os.makedirs(out, exist_ok=True)
problems = []

report = os.path.join(out, "gtest.xml")
ref = subprocess.run([real, "--gtest_output=xml:" + report], stdout=subprocess.DEVNULL, timeout=60)
if ref.returncode != 1:
    problems.append("GoogleTest's build ended with %d, not 1" % ref.returncode)

seen_path = os.path.join(out, "window.txt")
png = os.path.join(out, "gtest-window.png")
for p in (seen_path, png):
    if os.path.exists(p):
        os.remove(p)
env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TESSEL_WINDOW_SEEN=seen_path, TESSEL_WINDOW_PNG=png)
run = subprocess.run([tessel, "--runner=gui"], env=env, capture_output=True, text=True, timeout=90)
if run.returncode != 1:
    problems.append("--runner=gui ended with %d, not 1 (tests failed): %s" % (run.returncode, run.stderr.strip()))
if not os.path.exists(seen_path):
    sys.exit("FAILED: the window was never driven (no %s); stderr: %s" % (seen_path, run.stderr))

nodes, failures, fields = {}, [], {}
with open(seen_path, encoding="utf-8") as f:
    for line in f.read().splitlines():
        kind, *rest = line.split("\t")
        if kind == "node":
            nodes[tuple(rest[0].split(" > "))] = rest[1]
        elif kind == "failure":
            failures.append(rest)
        else:
            fields[kind] = rest

# Suites and tests: GoogleTest's names, ticked unless disabled.
expected_failures = []
for suite in ET.parse(report).getroot().iter("testsuite"):
    for case in suite.iter("testcase"):
        path = next((p for p in nodes if p[-2:] == (suite.get("name"), case.get("name"))), None)
        if path is None:
            problems.append("no %s.%s in the tree" % (suite.get("name"), case.get("name")))
            continue
        want = "unticked" if case.get("name").startswith("DISABLED_") else "ticked"
        if nodes[path] != want:
            problems.append("%s is %s, not %s" % (" > ".join(path), nodes[path], want))
        for failure in case.iter("failure"):
            where, _, text = failure.get("message").partition("\n")
            expected_failures.append((case.get("name"), text, where))

if len(failures) != len(expected_failures):
    problems.append("the failure list holds %d entries, GoogleTest's report %d" % (len(failures), len(expected_failures)))
for got, (name, text, where) in zip(failures, expected_failures):
    test, _kind, message, location = got
    message = message.replace("\\n", "\n")
    if test != name or message != text or not location.startswith(where):
        problems.append("failure list: %r, wanted %r" % (got, (name, text, where)))

box = fields.get("errorbox", [""])[0].replace("\\n", "\n")
if not expected_failures or expected_failures[0][1] not in box:
    problems.append("the error box does not show the first failure: %r" % box)
if fields.get("counts") != [str(len(expected_failures)), "0"]:
    problems.append("window counts %s, wanted %d failures and no error" % (fields.get("counts"), len(expected_failures)))
if fields.get("picture") != ["saved"] or not os.path.getsize(png):
    problems.append("no picture at %s" % png)

if fields.get("reloaded") != ["DISABLED_Unticked", "ticked"]:
    problems.append("the tick of the disabled test did not survive the configuration: %s" % fields.get("reloaded"))

for p in problems:
    print("FAILED:", p)
print("%d tree nodes, %d failures shown; picture %s" % (len(nodes), len(failures), png))
sys.exit(1 if problems else 0)
