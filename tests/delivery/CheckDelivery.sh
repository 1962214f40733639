#!/usr/bin/env bash
# Builds a small outside project against Tessel every way a project takes it
# in: find_package from an installation (everything, and the core alone),
# find_package from the build tree, add_subdirectory, FetchContent and
# pkg-config; and a GoogleTest project through the gtest component. Each
# route's programs run their tests, and CTest runs the tests that discovery
# found: their number and their results are checked.
#
# Usage: CheckDelivery.sh <source dir> <build dir> <work dir> <with Qt ON|OFF>
set -euo pipefail
src=$1 build=$2 work=$3 withQt=$4
consumer=$src/tests/delivery/consumer
prefix=$work/prefix
mkdir -p "$work"

step() { printf '\n== %s\n' "$*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }
# (grep -q stops reading early: fed from a pipe, pipefail would see the
# writer die of SIGPIPE and fail the check now and then, so it reads strings.)

# Programs linked through the targets carry packed relative relocations when
# the linker made them for the library itself.
packs=$(readelf -dW "$build/libTesselCore.so" | grep -c "(RELR)" || true)
check_packed() {  # program, label
  [ "$packs" = 0 ] && return
  grep -q "(RELR)" <<< "$(readelf -dW "$1")" || fail "the $2 consumer has no packed relative relocations"
}
run_consumer() {  # program, label
  local out
  if ! out=$("$1" 2>&1); then
    printf '%s\n' "$out"
    fail "the $2 consumer did not run its tests as planned"
  fi
  grep -q "consumer: as planned" <<< "$out" || { printf '%s\n' "$out"; fail "$2 printed no verdict"; }
  echo "$2 consumer: as planned"
}
# A program that only wants unit tests needs neither Qt nor the host's
# libraries, directly or through the library it links.
check_no_qt() {  # program, label
  local needed libs
  needed=$(readelf -dW "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')
  libs=$(ldd "$1")
  if grep -qE "Qt6|corvel|TesselPlatformQt|CorvelTest5" <<< "$needed$libs"; then
    printf 'NEEDED: %s\n%s\n' "$needed" "$libs"
    fail "the $2 consumer needs Qt or the whole package"
  fi
  echo "$2 consumer needs: $needed"
}
# CTest runs every discovered test; each discovered program has one test
# that fails on purpose. <build dir> <discovered programs> <label>
check_ctest() {
  local dir=$1 programs=$2 label=$3 out total failed passed
  total=$((programs * 3)) failed=$programs
  passed=$(( ((total - failed) * 100 + total / 2) / total ))  # rounded, as CTest prints it
  out=$(ctest --test-dir "$dir" 2>&1) && fail "ctest passed the $label consumer's failing tests: $out"
  grep -q "^$passed% tests passed, $failed tests failed out of $total\$" <<< "$out" ||
    { printf '%s\n' "$out"; fail "the $label consumer's CTest tests are not the $total discovered ones with $failed failing"; }
  grep -q "NOT_BUILT\|NOT_DISCOVERED" <<< "$out" && { printf '%s\n' "$out"; fail "$label: discovery did not run"; }
  [ "$(grep -c 'FailsOnPurpose \.*\*\*\*Failed' <<< "$out")" = "$programs" ] ||
    { printf '%s\n' "$out"; fail "$label: not the planned tests failed"; }
  echo "$label: $total tests discovered, $failed failing as planned"
}
configure() {  # build dir, cmake arguments...
  local dir=$1
  shift
  cmake -S "$consumer" -B "$dir" "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; fail "cannot configure $dir"; }
}
build_all() {  # build dir
  # A build folder kept from an earlier run relinks its programs, so that
  # discovery runs again rather than leaving the tests it found then.
  (cd "$1" && rm -f consumer consumer_static consumer_cli consumer_core consumer_core_cli ./*_tests.cmake)
  cmake --build "$1" -j2 > "$1.log" 2>&1 || { cat "$1.log"; fail "cannot build $1"; }
}

step "install into $prefix"
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
expected=(lib/libTesselCore.so lib/libTesselCore.a lib/libCorvelTest5.so lib/libCorvelTest5.a
          lib/libCorvelRichEditControl5.so lib/cmake/Tessel/TesselConfig.cmake lib/pkgconfig/tessel.pc
          lib/pkgconfig/tessel-main.pc include/tessel/framework/TestFramework.h)
[ "$withQt" = ON ] && expected+=(lib/pkgconfig/tessel-qt.pc include/tessel/gui/GUITesting.h lib/libcorvel5.so)
for f in "${expected[@]}"; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done

step "find_package(Tessel) from the installation"
rm -rf "$work/package"
configure "$work/package" -DCMAKE_PREFIX_PATH="$prefix"
build_all "$work/package"
run_consumer "$work/package/consumer" "find_package (shared)"
run_consumer "$work/package/consumer_static" "find_package (static)"
run_consumer "$work/package/consumer_core" "find_package (core)"
check_packed "$work/package/consumer" "find_package (shared)"
check_packed "$work/package/consumer_static" "find_package (static)"
check_packed "$work/package/consumer_core" "find_package (core)"
out=$("$work/package/consumer_cli" --list 2>&1) || true
grep -q "Consumer.Cli.TCliConsumerTests.Subtracts" <<< "$out" || { printf '%s\n' "$out"; fail "the installed main does not list the tests"; }
check_ctest "$work/package" 2 "find_package"
# The installed program uses the installed library, not the build tree's.
grep -q "$prefix/lib/libCorvelTest5.so" <<< "$(ldd "$work/package/consumer")" ||
  { ldd "$work/package/consumer"; fail "consumer does not load the installed library"; }

step "find_package(Tessel COMPONENTS core) from the installation"
rm -rf "$work/package-core"
configure "$work/package-core" -DCMAKE_PREFIX_PATH="$prefix" -DTESSEL_CONSUMER_PARTS=core
build_all "$work/package-core"
! grep -q "^Qt6_DIR" "$work/package-core/CMakeCache.txt" || fail "find_package(Tessel COMPONENTS core) looked for Qt"
run_consumer "$work/package-core/consumer_core" "core component"
check_no_qt "$work/package-core/consumer_core" "core component"
check_no_qt "$work/package-core/consumer_core_cli" "core component's main"
check_ctest "$work/package-core" 1 "core component"
# A component the installation lacks is refused by name.
mkdir -p "$work/missing"
printf '%s\n' 'cmake_minimum_required(VERSION 3.25)' 'project(Missing LANGUAGES NONE)' \
  'find_package(Tessel REQUIRED COMPONENTS core windows)' > "$work/missing/CMakeLists.txt"
out=$(cmake -S "$work/missing" -B "$work/missing/build" -DCMAKE_PREFIX_PATH="$prefix" 2>&1) &&
  fail "find_package accepted a component that is not installed"
grep -q 'Tessel has no component "windows" here (installed: core, CorvelTest5' <<< "$out" ||
  { printf '%s\n' "$out"; fail "a missing component is not named"; }
echo "a missing component is refused by name"

step "find_package(Tessel COMPONENTS gtest): a GoogleTest project with CMake's discovery"
[ -e "$prefix/include/tessel/dialects/gtest/include/gtest/gtest.h" ] || fail "the GoogleTest headers were not installed"
rm -rf "$work/gtest-package"
cmake -S "$src/tests/delivery/gtest-consumer" -B "$work/gtest-package" -DCMAKE_PREFIX_PATH="$prefix" \
  > "$work/gtest-package.configure.log" 2>&1 || { cat "$work/gtest-package.configure.log"; fail "cannot configure the GoogleTest consumer"; }
cmake --build "$work/gtest-package" -j2 > "$work/gtest-package.log" 2>&1 ||
  { cat "$work/gtest-package.log"; fail "cannot build the GoogleTest consumer"; }
out=$(ctest --test-dir "$work/gtest-package" 2>&1) && fail "ctest passed the GoogleTest consumer's failing test: $out"
grep -q "^75% tests passed, 1 tests failed out of 4\$" <<< "$out" && grep -q "Consumer.FailsOnPurpose .*\*\*\*Failed" <<< "$out" ||
  { printf '%s\n' "$out"; fail "gtest_discover_tests did not find the GoogleTest consumer's 4 tests with 1 failing"; }
echo "GoogleTest consumer: 4 tests discovered by gtest_discover_tests, 1 failing as planned"

step "find_package(Tessel) from the build tree"
rm -rf "$work/buildtree"
configure "$work/buildtree" -DTessel_DIR="$build"
build_all "$work/buildtree"
run_consumer "$work/buildtree/consumer" "build tree (shared)"
check_ctest "$work/buildtree" 2 "build tree"
grep -q "$build/libCorvelTest5.so" <<< "$(ldd "$work/buildtree/consumer")" ||
  { ldd "$work/buildtree/consumer"; fail "the build tree's consumer does not load the build tree's library"; }

step "add_subdirectory of the source tree"
# Kept between runs, so a second run only checks. No build type: no
# optimisation or debug information, the quickest build of the library (and
# one that ccache finds again from any checkout).
configure "$work/subdirectory" -DTESSEL_CONSUMER_MODE=subdirectory -DTESSEL_SOURCE_DIR="$src" \
  -DCMAKE_BUILD_TYPE= -DTESSEL_WITH_QT="$withQt"
build_all "$work/subdirectory"
[ ! -e "$work/subdirectory/tessel/tests" ] || fail "a subproject build configured Tessel's own tests"
run_consumer "$work/subdirectory/consumer" "add_subdirectory (shared)"
run_consumer "$work/subdirectory/consumer_static" "add_subdirectory (static)"
run_consumer "$work/subdirectory/consumer_core" "add_subdirectory (core)"
check_packed "$work/subdirectory/consumer_static" "add_subdirectory (static)"
check_ctest "$work/subdirectory" 2 "add_subdirectory"

step "FetchContent, unit tests only"
# Qt may be on the machine: a project that links the core alone builds no
# more than the core.
configure "$work/fetch" -DTESSEL_CONSUMER_MODE=fetch -DTESSEL_SOURCE_DIR="$src" -DCMAKE_BUILD_TYPE= \
  -DTESSEL_CONSUMER_PARTS=core
build_all "$work/fetch"
built=$(find "$work/fetch/_deps" -name '*.so' -printf '%f ' | sort)
[ "$built" = "libTesselCore.so " ] || fail "FetchContent of the core built more than the core: $built"
run_consumer "$work/fetch/consumer_core" "FetchContent (core)"
check_no_qt "$work/fetch/consumer_core_cli" "FetchContent (core main)"
check_ctest "$work/fetch" 1 "FetchContent"

step "pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
for pc in tessel tessel-main $([ "$withQt" = ON ] && echo tessel-qt); do
  flags=$(pkg-config --cflags --libs "$pc")
  [[ "$flags" != *..* ]] || fail "$pc.pc gives paths that are not normalised: $flags"
  [[ "$flags" == *"-I$prefix/include/tessel"* ]] || fail "$pc.pc does not give the installed headers: $flags"
done
flags=$(pkg-config --cflags --libs tessel)
[[ "$flags" != *Qt* ]] || fail "tessel.pc pulls Qt flags: $flags"
read -r -a flags <<< "$flags"
c++ -o "$work/pkgconfig-core" "$consumer/ConsumerTests.cpp" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
run_consumer "$work/pkgconfig-core" "pkg-config (tessel)"
check_no_qt "$work/pkgconfig-core" "pkg-config (tessel)"
read -r -a flags <<< "$(pkg-config --cflags --libs tessel-main)"
c++ -o "$work/pkgconfig-main" "$consumer/CliConsumerTests.cpp" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
out=$("$work/pkgconfig-main" --filter='*.AddsUp,*.Subtracts' 2>&1) || { printf '%s\n' "$out"; fail "the tessel-main program did not pass"; }
echo "pkg-config (tessel-main): its own command line, as planned"
if [ "$withQt" = ON ]; then
  read -r -a flags <<< "$(pkg-config --cflags --libs tessel-qt)"
  c++ -o "$work/pkgconfig-qt" "$consumer/ConsumerTests.cpp" "${flags[@]}" -Wl,-rpath,"$prefix/lib"
  run_consumer "$work/pkgconfig-qt" "pkg-config (tessel-qt)"
fi
