"""Reads a JUnit-style report with junitparser, as CI servers that use it do,
and checks the test cases and failures it finds.

  junit_check.py FILE --cases N --failures N [--message TEXT]... [--contains TEXT]...
                 [--passed NAME]... [--min-length N]

--message: some failure's text is exactly TEXT (surrounding blanks ignored);
--contains: some failure's text contains TEXT; --passed: the case NAME has no
failure; --min-length: the longest failure text has at least N characters.
"""
import argparse
import sys

try:
    from junitparser import JUnitXml
except ImportError:
    print("FAIL: junitparser is missing; scripts/install-deps.sh test installs python3-junitparser")
    sys.exit(1)

ap = argparse.ArgumentParser()
ap.add_argument("file")
ap.add_argument("--cases", type=int, required=True)
ap.add_argument("--failures", type=int, required=True)
ap.add_argument("--message", action="append", default=[])
ap.add_argument("--contains", action="append", default=[])
ap.add_argument("--passed", action="append", default=[])
ap.add_argument("--min-length", type=int, default=0)
args = ap.parse_args()

xml = JUnitXml.fromfile(args.file)
cases = [case for suite in xml for case in suite]
texts = {}
for case in cases:
    results = case.result if isinstance(case.result, list) else [case.result]
    texts[case.name] = [(r.text or "").strip() for r in results if r is not None]
failure_texts = [t for ts in texts.values() for t in ts]

problems = []
if len(cases) != args.cases:
    problems.append(f"{len(cases)} test cases, expected {args.cases}")
failed = sum(1 for ts in texts.values() if ts)
if failed != args.failures:
    problems.append(f"{failed} failed test cases, expected {args.failures}")
for m in args.message:
    if m not in failure_texts:
        problems.append(f"no failure reads {m!r}; failures: {[t[:200] for t in failure_texts]}")
for m in args.contains:
    if not any(m in t for t in failure_texts):
        problems.append(f"no failure contains {m!r}")
for name in args.passed:
    if name not in texts:
        problems.append(f"no test case named {name!r}")
    elif texts[name]:
        problems.append(f"{name!r} is shown as failed: {texts[name]}")
longest = max((len(t) for t in failure_texts), default=0)
if longest < args.min_length:
    problems.append(f"longest failure text has {longest} characters, expected at least {args.min_length}")

for p in problems:
    print("FAIL: junitparser:", p)
if not problems:
    print(f"ok: junitparser reads {len(cases)} test cases, {failed} failed")
sys.exit(1 if problems else 0)
