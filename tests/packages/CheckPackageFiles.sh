#!/usr/bin/env bash
# What the package files say about themselves without being loaded: the
# description section, the dependencies, the exports.
# Usage: CheckPackageFiles.sh <libCorvelTest5.so> <libCorvelRichEditControl5.so>
set -euo pipefail
corvelTest5=$1 richEdit=$2
fail() { echo "FAILED: $*" >&2; exit 1; }

description=$(readelf -p .corvel.package "$corvelTest5" 2>&1)
for key in "package=CorvelTest5" "units=CorvelTest5 TestFramework TesselConsts" "requires=libc libstdc++" \
           "options=" "target=x86_64-linux-gnu"; do
  grep -qF "$key" <<< "$description" || fail "CorvelTest5's description lacks \"$key\": $description"
done
description=$(readelf -p .corvel.package "$richEdit" 2>&1)
for key in "package=CorvelRichEditControl5" "units=CorvelRichEditControl5" \
           "requires=CorvelDevExpress5 corvelreport5" "target=x86_64-linux-gnu"; do
  grep -qF "$key" <<< "$description" || fail "CorvelRichEditControl5's description lacks \"$key\": $description"
done

# The companion needs the C and C++ run-time at most: no CorvelTest5, no Qt,
# and none of the packages its description names.
needed=$(readelf -dW "$richEdit" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in $needed; do
  case $lib in
    libc.so.6|libstdc++.so.6|libm.so.6|libgcc_s.so.1|ld-linux-x86-64.so.2) ;;
    *) fail "CorvelRichEditControl5 needs $lib" ;;
  esac
done
exports=$(nm -D --defined-only "$richEdit" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "Finalize GetPackageInfoTable Initialize " ] || fail "CorvelRichEditControl5 exports: $exports"

for lib in "$corvelTest5" "$richEdit"; do
  defined=$(nm -D --defined-only "$lib")
  for sym in Initialize Finalize GetPackageInfoTable; do
    grep -qE " T $sym\$" <<< "$defined" || fail "$lib does not export $sym"
  done
done
# CorvelTest5 exports the units' public names, not the standard library's
# template instances it contains.
defined=$(nm -D --defined-only "$corvelTest5" | awk '{print $3}')
leaked=$(grep -E '^_Z(N|NK|ZN|ZNK|GVZN|GVZNK|TI|TS|TV|TIN|TSN|TVN)?(St|9__gnu_cxx)' <<< "$defined" | head -3 || true)
[ -z "$leaked" ] || fail "CorvelTest5 exports standard-library instances: $leaked"
for sym in _ZN13TestFramework12RegisterTestESt10shared_ptrINS_5ITestEE _ZTVN13TestFramework9TTestCaseE \
           _ZN14TextTestRunner18RunRegisteredTestsENS_19TRunnerExitBehaviorE; do
  grep -qx "$sym" <<< "$defined" || fail "CorvelTest5 does not export $(c++filt "$sym")"
done

echo "package files: OK (companion needs: ${needed:-nothing})"
