"""Reads a report as its consumers do (an NUnit-format file with Python's XML
parser, a suite-path file with junitparser) and checks its test cases.

  report_check.py nunit|junit FILE [--cases N] [--failed NAME=TEXT]... [--passed NAME]...
                  [--absent NAME]...

NAME is a test's name (or the end of its dotted path); --failed: the case
failed or erred with a message containing TEXT; --passed: it ran and passed;
--absent: it has no record; --cases: records of test cases that ran.
"""
import argparse
import sys
import xml.etree.ElementTree as ET


def nunit_cases(path):
    cases = []
    for c in ET.parse(path).getroot().iter("test-case"):
        if c.get("executed") == "False":
            continue
        message = c.find("failure/message")
        cases.append((c.get("name", ""), c.get("result") == "Pass", message.text or "" if message is not None else ""))
    return cases


def junit_cases(path):
    try:
        from junitparser import JUnitXml
    except ImportError:
        sys.exit("FAIL: junitparser is missing; scripts/install-deps.sh test installs python3-junitparser")
    cases = []
    for suite in JUnitXml.fromfile(path):
        for case in suite:
            results = case.result if isinstance(case.result, list) else [case.result]
            texts = [(r.text or "") for r in results if r is not None]
            cases.append((case.name, not texts, "\n".join(texts)))
    return cases


def named(cases, name):
    return [c for c in cases if c[0] == name or c[0].endswith("." + name)]


ap = argparse.ArgumentParser()
ap.add_argument("kind", choices=["nunit", "junit"])
ap.add_argument("file")
ap.add_argument("--cases", type=int)
ap.add_argument("--failed", action="append", default=[])
ap.add_argument("--passed", action="append", default=[])
ap.add_argument("--absent", action="append", default=[])
args = ap.parse_args()

cases = nunit_cases(args.file) if args.kind == "nunit" else junit_cases(args.file)
problems = []
if args.cases is not None and len(cases) != args.cases:
    problems.append(f"{len(cases)} test cases, expected {args.cases}")
for item in args.failed:
    name, _, text = item.partition("=")
    found = named(cases, name)
    if not any(not ok and text in message for _, ok, message in found):
        problems.append(f"{name} did not fail with {text!r}: {[(n, ok, m[:160]) for n, ok, m in found]}")
for name in args.passed:
    found = named(cases, name)
    if not found or not all(ok for _, ok, _ in found):
        problems.append(f"{name} did not pass: {found}")
for name in args.absent:
    if named(cases, name):
        problems.append(f"{name} has a record")

for p in problems:
    print(f"FAIL: {args.kind} reader on {args.file}: {p}")
if not problems:
    print(f"ok: the {args.kind} reader finds what {args.file} should hold ({len(cases)} cases)")
sys.exit(1 if problems else 0)
