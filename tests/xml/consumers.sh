#!/usr/bin/env bash
# Reads our XML reports with the tools CI servers use, and checks what they
# make of them. A missing tool is a failure: `scripts/install-deps.sh test`
# (run by `make test`) installs every one of them.
#
#   consumers.sh generate EXE OUT_DIR MODE...     (the reports the checks read)
#   consumers.sh wellformed FILE...
#   consumers.sh jenkins-nunit FILE CASES FAILURES SKIPPED
#   consumers.sh github-nunit FILE CASES FAILURES ERRORS SKIPPED
#   consumers.sh junitparser FILE CHECK-ARGS...     (see junit_check.py)
#   consumers.sh junit2json JUNIT2JSON FILE CHECK-ARGS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

need() {
  command -v "$1" > /dev/null 2>&1 && return
  echo "FAIL: '$1' is missing; scripts/install-deps.sh test installs it"
  exit 1
}

count() {  # XPATH FILE
  xmllint --xpath "$1" "$2"
}

expect() {  # WHAT GOT WANT
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1 is $2, expected $3"
    failed=1
  else
    echo "ok: $1 = $2"
  fi
}

failed=0
check=$1
shift
case "$check" in
  generate)
    exe=$1 out=$2
    shift 2
    rm -rf "$out"
    mkdir -p "$out"
    for mode in "$@"; do
      "$exe" "$mode" "$out" > "$out/$mode.console"
      echo "ok: $mode reports written to $out/$mode"
    done
    ;;
  wellformed)
    need xmllint
    for f in "$@"; do
      xmllint --noout "$f"
      echo "ok: $f is well-formed"
    done
    ;;
  jenkins-nunit)
    need xmllint
    need xsltproc
    file=$1
    out="$file.jenkins-junit.xml"
    xsltproc "$here/consumers/jenkins-nunit-to-junit.xsl" "$file" > "$out"
    xmllint --noout --schema "$here/consumers/jenkins-junit-10.xsd" "$out"
    expect "test cases" "$(count 'count(//testcase)' "$out")" "$2"
    expect "failed test cases" "$(count 'count(//testcase[failure])' "$out")" "$3"
    expect "skipped test cases" "$(count 'count(//testcase[skipped])' "$out")" "$4"
    ;;
  github-nunit)
    need xmllint
    need xsltproc
    file=$1
    out="$file.github-junit.xml"
    xsltproc "$here/consumers/github-nunit3-to-junit.xslt" "$file" > "$out"
    xmllint --noout "$out"
    expect "test cases" "$(count 'count(//testcase)' "$out")" "$2"
    expect "failures" "$(count 'count(//testcase[failure])' "$out")" "$3"
    expect "errors" "$(count 'count(//testcase[error])' "$out")" "$4"
    expect "skipped" "$(count 'count(//testcase[skipped])' "$out")" "$5"
    ;;
  junitparser)
    # Debian's python, where python3-junitparser lives (not a python of the user's own).
    py=/usr/bin/python3
    [ -x "$py" ] || { need python3; py=python3; }
    "$py" "$here/junit_check.py" "$@" || failed=1
    ;;
  junit2json)
    need node
    tool=$1
    shift
    if [ ! -e "$tool" ]; then
      echo "FAIL: junit2json is missing at $tool; scripts/install-deps.sh test installs it"
      exit 1
    fi
    node "$here/junit2json_check.mjs" "$tool" "$@" || failed=1
    ;;
  *)
    echo "unknown check $check"
    exit 2
    ;;
esac
exit "$failed"
