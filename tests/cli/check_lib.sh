# What the command-line checks share: results, reports read by their
# consumers, and the processes a run leaves behind.
#
#   source check_lib.sh EXE OUT_DIR XML_TEST_DIR
exe=$1 out=$2 xmldir=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
rm -rf "$out"
mkdir -p "$out"
failed=0

fail() {
  echo "FAIL: $*"
  failed=1
}
ok() { echo "ok: $*"; }

expect_eq() {  # WHAT GOT WANT
  if [ "$2" == "$3" ]; then ok "$1 = $2"; else fail "$1 is $2, expected $3"; fi
}

has() {  # FILE TEXT
  if grep -qaF -- "$2" "$1"; then ok "$(basename "$1") has \"$2\""; else fail "$1 lacks \"$2\""; fi
}

hasnt() {  # FILE TEXT
  if grep -qaF -- "$2" "$1"; then fail "$1 has \"$2\""; else ok "$(basename "$1") lacks \"$2\""; fi
}

xcount() {  # XPATH FILE
  xmllint --xpath "$1" "$2" 2> /dev/null
}

wellformed() {
  for f in "$@"; do
    if xmllint --noout "$f" 2> "$f.xmllint"; then ok "$(basename "$f") is well-formed"; else fail "$f is not well-formed: $(head -c 300 "$f.xmllint")"; fi
  done
}

# reads KIND FILE CHECK-ARGS...: the report as its consumers read it (report_check.py)
reads() {
  /usr/bin/python3 "$here/report_check.py" "$@" || failed=1
}

# run NAME EXPECTED_EXIT ARGS...: console in $out/NAME.txt, reports $out/NAME.nunit.xml and .junit.xml
run() {
  local name=$1 want=$2
  shift 2
  # In a subshell of its own, whose notes of deaths by signal go nowhere.
  ("$exe" --runner=nunit --output="$out/$name.nunit.xml" --report=junit:"$out/$name.junit.xml" "$@" \
    > "$out/$name.txt" 2>&1) 2> /dev/null
  local code=$?
  if [ "$want" == nonzero ]; then
    if [ $code -ne 0 ]; then ok "$name exits with $code"; else fail "$name exits with 0"; fi
  else
    expect_eq "$name exit code" "$code" "$want"
  fi
}

# The processes of this program and the helpers its tests start, wherever they went.
procs() {
  pgrep -f -- "^$exe( |\$)"
  pgrep -x tsl-helper
}
left() { procs | wc -l; }

# until_gone SECONDS: waits for every one of them to end; false when some stay.
until_gone() {
  local deadline=$((SECONDS + $1))
  while [ "$(left)" -gt 0 ]; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
  return 0
}

# no_process_left WHAT: none of them is left within a few seconds.
no_process_left() {
  if until_gone 5; then ok "$1: no process left"; else fail "$1: processes left: $(ps -o pid,pgid,comm,args -p "$(procs | paste -sd,)")"; fi
}

# wait_for SECONDS COMMAND...: runs COMMAND until it succeeds; false at the deadline.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
}

# Times and dates out of console texts and reports, so that two runs compare.
mask() {
  sed -E -e 's/[0-9]+:[0-9]{2}:[0-9]{2}\.[0-9]+/TIME/g' -e 's/(time|date|value)="[^"]*"/\1="X"/g' \
    -e 's/[0-9]{1,2}\/[0-9]{1,2}\/[0-9]{2,4}/DATE/g' -e 's/tempo="[0-9.,]*/tempo="X/g' \
    -e 's/<testsuites name="[^"]*"/<testsuites name="X"/' -e 's/(Início|Término|Tempo de execução): .*/\1: X/' "$1"
}
