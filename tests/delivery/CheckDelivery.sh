#!/usr/bin/env bash
# Installs the built library into a fresh prefix and builds a small outside
# project against it three ways: find_package(Tessel), add_subdirectory of
# the source tree, and pkg-config. Each consumer program must run its tests.
#
# Usage: CheckDelivery.sh <source dir> <build dir> <work dir> <with Qt ON|OFF>
set -euo pipefail
src=$1 build=$2 work=$3 withQt=$4
consumer=$src/tests/delivery/consumer
prefix=$work/prefix
mkdir -p "$work"

step() { printf '\n== %s\n' "$*"; }
# Programs linked through the targets carry packed relative relocations when
# the linker made them for the library itself.
packs=$(readelf -dW "$build/libCorvelTest5.so" | grep -c "(RELR)" || true)
check_packed() {  # program, label
  [ "$packs" = 0 ] && return
  grep -q "(RELR)" <<< "$(readelf -dW "$1")" || { echo "FAILED: the $2 consumer has no packed relative relocations" >&2; exit 1; }
}
run_consumer() {  # program, label
  local out
  if ! out=$("$1" 2>&1); then
    printf '%s\n' "$out"
    echo "FAILED: the $2 consumer did not run its tests as planned" >&2
    exit 1
  fi
  grep -q "consumer: as planned" <<< "$out" || { printf '%s\n' "$out"; echo "FAILED: $2 printed no verdict" >&2; exit 1; }
  echo "$2 consumer: as planned"
}

step "install into $prefix"
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
for f in lib/libCorvelTest5.so lib/libCorvelTest5.a lib/libCorvelRichEditControl5.so lib/cmake/Tessel/TesselConfig.cmake \
         lib/pkgconfig/tessel.pc include/tessel/framework/TestFramework.h; do
  [ -e "$prefix/$f" ] || { echo "FAILED: $f was not installed" >&2; exit 1; }
done

step "find_package(Tessel)"
rm -rf "$work/package"
cmake -S "$consumer" -B "$work/package" -DCMAKE_PREFIX_PATH="$prefix" -DTESSEL_CONSUMER_MODE=package > /dev/null
cmake --build "$work/package" -j2 > "$work/package.log" 2>&1 || { cat "$work/package.log"; exit 1; }
run_consumer "$work/package/consumer" "find_package (shared)"
run_consumer "$work/package/consumer_static" "find_package (static)"
check_packed "$work/package/consumer" "find_package (shared)"
check_packed "$work/package/consumer_static" "find_package (static)"
# The installed main and discovery: one CTest test per test case, all passing.
out=$("$work/package/consumer_cli" --list 2>&1) || true
grep -q "Consumer.Cli.TCliConsumerTests.Subtracts" <<< "$out" ||
  { "$work/package/consumer_cli" --list; echo "FAILED: the installed main does not list the tests" >&2; exit 1; }
out=$(ctest --test-dir "$work/package" 2>&1) || true
grep -q "100% tests passed, 0 tests failed out of 2" <<< "$out" ||
  { printf '%s\n' "$out"; echo "FAILED: the installed discovery did not add and pass both tests" >&2; exit 1; }
echo "installed main and test discovery: as planned"
# The installed program must use the installed library, not the build tree's.
# (grep -q stops reading early: fed from a pipe, pipefail would see the
# writer die of SIGPIPE and fail the check now and then.)
grep -q "$prefix/lib/libCorvelTest5.so" <<< "$(ldd "$work/package/consumer")" ||
  { ldd "$work/package/consumer"; echo "FAILED: consumer does not load the installed library" >&2; exit 1; }

step "add_subdirectory of the source tree"
# Kept between runs, so a second run only checks. No build type: no
# optimisation or debug information, the quickest build of the library (and
# one that ccache finds again from any checkout).
cmake -S "$consumer" -B "$work/subdirectory" -DTESSEL_CONSUMER_MODE=subdirectory -DTESSEL_SOURCE_DIR="$src" \
  -DCMAKE_BUILD_TYPE= -DTESSEL_WITH_QT="$withQt" > /dev/null
cmake --build "$work/subdirectory" -j2 --target consumer consumer_static > "$work/subdirectory.log" 2>&1 ||
  { cat "$work/subdirectory.log"; exit 1; }
[ ! -e "$work/subdirectory/tessel/tests" ] || { echo "FAILED: a subproject build configured Tessel's own tests" >&2; exit 1; }
run_consumer "$work/subdirectory/consumer" "add_subdirectory (shared)"
run_consumer "$work/subdirectory/consumer_static" "add_subdirectory (static)"
check_packed "$work/subdirectory/consumer_static" "add_subdirectory (static)"

step "pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
read -r -a flags <<< "$(pkg-config --cflags --libs tessel)"
c++ -o "$work/pkgconfig-consumer" "$consumer/ConsumerTests.cpp" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
run_consumer "$work/pkgconfig-consumer" "pkg-config"
