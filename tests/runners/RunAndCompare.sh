#!/usr/bin/env bash
# Runs a test program and compares its whole standard output (and standard
# error) byte for byte with expected files. Only what differs from machine to
# machine is masked first: the program's path and directory, the source
# directory in failure locations, the OS description and the time line.
#
# RunAndCompare.sh --program P --source-dir S --work-dir W --name N --exit-code C
#                  [--expected F] [--expected-stderr F] [--input F]
#                  [--stdout-to F] [--contains TEXT]... [-- program args...]
#
# Without --expected the output is not compared; without --expected-stderr
# standard error must stay empty. With TESSEL_UPDATE_GOLDEN=1 in the
# environment the expected files are (re)written from this run instead.
set -u

program= source_dir= work_dir= name= exit_code= expected= expected_stderr=
input=/dev/null stdout_to= contains=()
while (($#)); do
  case "$1" in
    --program) program=$2; shift 2 ;;
    --source-dir) source_dir=$2; shift 2 ;;
    --work-dir) work_dir=$2; shift 2 ;;
    --name) name=$2; shift 2 ;;
    --exit-code) exit_code=$2; shift 2 ;;
    --expected) expected=$2; shift 2 ;;
    --expected-stderr) expected_stderr=$2; shift 2 ;;
    --input) input=$2; shift 2 ;;
    --stdout-to) stdout_to=$2; shift 2 ;;
    --contains) contains+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) echo "RunAndCompare: unknown option $1" >&2; exit 2 ;;
  esac
done
for v in program source_dir work_dir name exit_code; do
  [ -n "${!v}" ] || { echo "RunAndCompare: --${v//_/-} is required" >&2; exit 2; }
done

out="$work_dir/$name.stdout"
err="$work_dir/$name.stderr"
mkdir -p "$work_dir"
rm -f "$out" "$err"
if [ -n "$stdout_to" ]; then
  "$program" "$@" <"$input" >"$stdout_to" 2>"$err"
  rc=$?
  : >"$out"
else
  "$program" "$@" <"$input" >"$out" 2>"$err"
  rc=$?
fi

prog_real=$(realpath "$program")
src_real=$(realpath "$source_dir")
mask() {
  PROG="$prog_real" PROGDIR="$(dirname "$prog_real")/" SRC="$src_real/" SRCGIVEN="${source_dir%/}/" perl -pe '
    s/\Q$ENV{PROG}\E/<PROGRAM>/g;
    s/\Q$ENV{PROGDIR}\E/<PROGRAM_DIR>\//g;
    s/\Q$ENV{SRC}\E/<SRC>\//g;
    s/\Q$ENV{SRCGIVEN}\E/<SRC>\//g;
    s/OSVersion: "[^"\r\n]+"/OSVersion: "<OS>"/g;
    s/Time: \d+:\d\d:\d\d\.\d+/Time: <TIME>/g;
  ' "$1" >"$1.masked"
}
mask "$out"
mask "$err"

status=0
fail() { echo "FAIL [$name]: $*"; status=1; }

if [ "${TESSEL_UPDATE_GOLDEN:-0}" = 1 ]; then
  [ -n "$expected" ] && cp "$out.masked" "$expected" && echo "updated $expected"
  [ -n "$expected_stderr" ] && cp "$err.masked" "$expected_stderr" && echo "updated $expected_stderr"
fi

[ "$rc" = "$exit_code" ] || fail "exit code $rc, expected $exit_code"
if [ -n "$expected" ]; then
  if ! cmp -s "$expected" "$out.masked"; then
    fail "standard output differs from $expected (masked output: $out.masked)"
    diff -u "$expected" "$out.masked" | cat -A | head -80
  fi
fi
if [ -n "$expected_stderr" ]; then
  if ! cmp -s "$expected_stderr" "$err.masked"; then
    fail "standard error differs from $expected_stderr"
    diff -u "$expected_stderr" "$err.masked" | cat -A | head -40
  fi
elif [ -s "$err" ]; then
  fail "unexpected standard error:"
  head -20 "$err"
fi
for text in "${contains[@]+"${contains[@]}"}"; do
  grep -qF -- "$text" "$out" || fail "standard output lacks: $text"
done
[ $status = 0 ] && echo "PASS [$name]"
exit $status
