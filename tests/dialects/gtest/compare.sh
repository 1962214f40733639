#!/usr/bin/env bash
# Runs the same test source built against GoogleTest and against Tessel's
# dialect with each case's arguments and environment, and compares the two:
# exit code, console output and, for the report cases, the XML and JSON
# documents, which their readers must also take.
#
#   compare.sh GTEST_PROGRAM TESSEL_PROGRAM OUTDIR CASE...
#
# A case is "VAR=value ... -- --arg ...", or "REPORT xml|json -- --arg ...".
# Times, timestamps, addresses, the gtest_main banner and the library's own
# source lines are masked.
set -uo pipefail
real=$1 tessel=$2 out=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
failures=0

# A regular expression's check fails in the library's own source, which
# differs between the two.
mask() {
  sed -E 's/\([0-9]+ ms( total)?\)/(TIME)/; s/0x[0-9a-fA-F]+/0xADDR/g; s/^Running main\(\) from .*/Running main()/' \
    | sed -E 's#[^ "]*(gtest-port\.cc|gtest\\?/src\\?/Assertions\.cpp):[0-9]+#LIBRARY#g' \
    | sed -E 's/(time|timestamp)="[^"]*"/\1="T"/g; s/"(time|timestamp)": "[^"]*"/"\1": "T"/g'
}

n=0
for case in "$@"; do
  n=$((n + 1))
  envs=() args=() report=
  words=($case)
  seen_dashes=
  for w in "${words[@]}"; do
    if [ -z "$seen_dashes" ]; then
      case "$w" in
        --) seen_dashes=1 ;;
        REPORT) report=next ;;
        *) if [ "$report" = next ]; then report=$w; else envs+=("$w"); fi ;;
      esac
    else
      args+=("$w")
    fi
  done
  ra=() rb=()
  if [ -n "$report" ]; then
    ra=("--gtest_output=$report:$out/case$n.gtest.$report")
    rb=("--gtest_output=$report:$out/case$n.tessel.$report")
  fi
  # Run where the programs' relative paths (reports, xml:dir/) land in out.
  (cd "$out" && env "${envs[@]}" "$real" "${args[@]}" "${ra[@]}" > "case$n.gtest.txt" 2>&1); ca=$?
  (cd "$out" && env "${envs[@]}" "$tessel" "${args[@]}" "${rb[@]}" > "case$n.tessel.txt" 2>&1); cb=$?
  if [ "$ca" != "$cb" ]; then
    echo "case $n [$case]: exit code $cb, GoogleTest's is $ca"
    failures=$((failures + 1))
  fi
  if ! diff <(mask < "$out/case$n.gtest.txt") <(mask < "$out/case$n.tessel.txt") > "$out/case$n.diff"; then
    echo "case $n [$case]: the console differs from GoogleTest's (first lines of $out/case$n.diff):"
    head -20 "$out/case$n.diff"
    failures=$((failures + 1))
  fi
  if [ -n "$report" ]; then
    a="$out/case$n.gtest.$report" b="$out/case$n.tessel.$report"
    if ! diff <(mask < "$a") <(mask < "$b") > "$out/case$n.$report.diff"; then
      echo "case $n [$case]: the $report report differs from GoogleTest's (see $out/case$n.$report.diff):"
      head -20 "$out/case$n.$report.diff"
      failures=$((failures + 1))
    fi
    if [ "$report" = xml ] && ! xmllint --noout "$b"; then
      echo "case $n: xmllint rejects $b"
      failures=$((failures + 1))
    fi
    if ! /usr/bin/python3 "$here/read_reports.py" "$report" "$a" "$b"; then
      echo "case $n: the readers see $b differently from $a"
      failures=$((failures + 1))
    fi
  fi
done
echo "$n cases, $failures differences"
[ "$failures" = 0 ]
