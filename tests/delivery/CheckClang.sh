#!/usr/bin/env bash
# Builds the core without Qt with clang in a build folder of its own: every
# library (the core, its main, the package without Qt, the GoogleTest
# dialect) and the tests of the run loop, the command line, the supervised
# runs, the reports, the decorators and the dialect's own program, and runs
# those tests there. The rest of the suite holds no code of the libraries and
# is left to the main build, so that a build from nothing stays short. No
# build type: no optimisation and no debug information, the quickest build.
#
# Usage: CheckClang.sh <source dir> <work dir> [<compiler>...]   (default: clang++)
# Exits 77 (skipped) when the compiler is not installed.
set -euo pipefail
src=$1 work=$2
shift 2
compilers=("$@")
((${#compilers[@]})) || compilers=(clang++)

targets=(tessel_core tessel_core_static tessel_core_main tessel_main CorvelTest5_static tessel_gtest_main
         tessel_gtest_main_static core_tests cli_crash_scenarios cli_unit_tests xml_unit_tests
         extensions_decorators gtest_tessel_options)
tests='^(core_tests|cli_crash|cli_supervisor|cli_options|xml_unit_tests|extensions_decorators|gtest_tessel_options)$|^cli_(unit|suite):'
mkdir -p "$work"
for cxx in "${compilers[@]}"; do
  if ! command -v "$cxx" > /dev/null 2>&1; then
    echo "$cxx is not installed: the core is not built with it (scripts/install-deps.sh test installs clang)"
    exit 77
  fi
  dir=$work/$cxx
  echo "== $cxx ($("$cxx" --version | head -1))"
  start=$SECONDS
  cmake -S "$src" -B "$dir" -DCMAKE_CXX_COMPILER="$(command -v "$cxx")" -DCMAKE_BUILD_TYPE= -DTESSEL_WITH_QT=OFF \
    -DTESSEL_GTEST_COMPARE=OFF \
    > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
  cmake --build "$dir" -j2 --target "${targets[@]}" > "$dir.build.log" 2>&1 ||
    { cat "$dir.build.log"; echo "FAILED: the core does not build with $cxx" >&2; exit 1; }
  if grep -E "warning:" "$dir.build.log"; then
    echo "FAILED: $cxx warns" >&2
    exit 1
  fi
  ctest --test-dir "$dir" -j2 -R "$tests" --output-on-failure > "$dir.test.log" 2>&1 ||
    { cat "$dir.test.log"; echo "FAILED: the core's tests do not pass built with $cxx" >&2; exit 1; }
  echo "$(grep -E "tests passed" "$dir.test.log") ($((SECONDS - start)) s)"
done
