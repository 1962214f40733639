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


# The check of a regular expression fails in the library's own source, a
# different file on each side.
LIBRARY_CHECK = re.compile(r"[^\s\"]*(gtest-port\.cc|gtest/src/Assertions\.cpp):[0-9]+")


def masked(text):
    return LIBRARY_CHECK.sub("LIBRARY", re.sub(r"0x[0-9a-fA-F]+", "0xADDR", text or ""))


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
    # A list of tests (--gtest_list_tests) has no outcomes.
    view = [("all", doc["tests"], doc.get("failures"), doc.get("disabled"))]
    for suite in doc["testsuites"]:
        view.append(("suite", suite["name"], suite["tests"], suite.get("failures")))
        for case in suite["testsuite"]:
            failures = tuple(masked(f["failure"]) for f in case.get("failures", []))
            view.append(("case", case.get("classname"), case["name"], case.get("status"), case.get("result"),
                         case.get("line"), failures))
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
