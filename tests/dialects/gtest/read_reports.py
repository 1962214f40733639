#!/usr/bin/env python3
"""Reads a GoogleTest report and the dialect's report of the same run with
the readers CI tools use (junitparser for XML, Python's json for JSON) and
compares what they see: every suite, every test and its outcome, every
failure's text.

    read_reports.py xml|json GTEST_REPORT TESSEL_REPORT
"""
import json
import re
import sys


def masked(text):
    return re.sub(r"0x[0-9a-fA-F]+", "0xADDR", text or "")


def xml_view(path):
    from junitparser import JUnitXml, Failure, Skipped
    view = []
    for suite in JUnitXml.fromfile(path):
        view.append(("suite", suite.name, suite.tests, suite.failures, suite.skipped))
        for case in suite:
            outcomes = []
            for r in case.result:
                kind = "failure" if isinstance(r, Failure) else "skipped" if isinstance(r, Skipped) else type(r).__name__
                outcomes.append((kind, masked(r.message), masked(r.text)))
            view.append(("case", case.classname, case.name, tuple(outcomes)))
    return view


def json_view(path):
    with open(path, encoding="utf-8") as f:
        doc = json.load(f)
    view = [("all", doc["tests"], doc["failures"], doc["disabled"])]
    for suite in doc["testsuites"]:
        view.append(("suite", suite["name"], suite["tests"], suite["failures"]))
        for case in suite["testsuite"]:
            failures = tuple(masked(f["failure"]) for f in case.get("failures", []))
            view.append(("case", case["classname"], case["name"], case["status"], case["result"], failures))
    return view


def main():
    kind, gtest, tessel = sys.argv[1:4]
    read = xml_view if kind == "xml" else json_view
    a, b = read(gtest), read(tessel)
    if a == b:
        return 0
    for x, y in zip(a, b):
        if x != y:
            print("GoogleTest's reader sees:", x)
            print("Tessel's report reads as:", y)
            break
    if len(a) != len(b):
        print("entries: %d in GoogleTest's report, %d in Tessel's" % (len(a), len(b)))
    return 1


sys.exit(main())
