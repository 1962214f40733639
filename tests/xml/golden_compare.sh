#!/usr/bin/env bash
# Runs the scenario program in one mode and compares its console output and
# reports byte for byte with the expected files, after masking what changes
# from run to run: dates, times, the program name, source locations and the
# output folder.
#   golden_compare.sh EXE MODE OUT_DIR EXPECTED_DIR [--update]
set -euo pipefail
export LC_ALL=C
exe=$1 mode=$2 out=$3 expected=$4 update=${5:-}
run_dir="$out/$mode"
rm -rf "$run_dir"
mkdir -p "$run_dir"
rc=0
"$exe" "$mode" "$out" > "$run_dir/console.txt" 2> "$run_dir/stderr.txt" || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "FAIL: $exe $mode ended with $rc"
  cat "$run_dir/stderr.txt" "$run_dir/console.txt"
  exit 1
fi

# Literal in an extended regular expression: a build folder may be called clang++.
quote() { printf '%s' "$1" | sed 's/[][\.*^$|+?(){}]/\\&/g'; }
program=$(quote "$(basename "$exe")")
outq=$(quote "$out")
CR=$'\r'

mask() {
  sed -E \
    -e "s|$outq|{out}|g" \
    -e "s|$program|{program}|g" \
    -e 's|date="[^"]*" time="[^"]*" >|date="{date}" time="{time}" >|' \
    -e 's|location="[^"]+"|location="{location}"|' \
    -e 's|"(started-at\|finished-at)" value="[^"]*"|"\1" value="{datetime}"|' \
    -e 's|"runtime" value="[0-9]+\.[0-9]{3}"|"runtime" value="{seconds}"|' \
    -e 's|Time: [0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]+|Time: {elapsed}|' \
    -e "s|^     at [^$CR]+|     at {location}|" \
    -e "s#^(Início|Término): [^$CR]+#\\1: {datetime}#" \
    -e 's#^Tempo de execução: [0-9]+([.,][0-9]+)? s#Tempo de execução: {seconds} s#' \
    "$1"
}

failed=0
for want in "$expected/$mode"/*; do
  name=$(basename "$want")
  got="$run_dir/$name"
  if [ ! -f "$got" ]; then
    echo "FAIL: $name was not written"
    failed=1
    continue
  fi
  mask "$got" > "$got.masked"
  if [ "$update" = --update ]; then
    cp "$got.masked" "$want"
  elif ! cmp -s "$want" "$got.masked"; then
    echo "FAIL: $name differs from $want (masked output: $got.masked)"
    diff <(cat -A "$want") <(cat -A "$got.masked") | head -40 || true
    failed=1
  fi
done
[ "$failed" -eq 0 ] && echo "$mode: console and reports as expected"
exit "$failed"
