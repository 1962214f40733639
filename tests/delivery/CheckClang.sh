#!/usr/bin/env bash
# Builds the core without Qt with clang in a build folder of its own and runs
# the core's tests there (not the delivery checks, which build the library
# again, nor the benchmark's smoke run, nor the GoogleTest dialect's
# side-by-side comparisons with GoogleTest: its own program runs). No build
# type: no optimisation and no debug information, the quickest build.
#
# Usage: CheckClang.sh <source dir> <work dir> [<compiler>...]   (default: clang++)
# Exits 77 (skipped) when the compiler is not installed.
set -euo pipefail
src=$1 work=$2
shift 2
compilers=("$@")
((${#compilers[@]})) || compilers=(clang++)

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
  cmake --build "$dir" -j2 > "$dir.build.log" 2>&1 ||
    { cat "$dir.build.log"; echo "FAILED: the core does not build with $cxx" >&2; exit 1; }
  if grep -E "warning:" "$dir.build.log"; then
    echo "FAILED: $cxx warns" >&2
    exit 1
  fi
  ctest --test-dir "$dir" -j2 -E '^(delivery_|bench_smoke$)' --output-on-failure > "$dir.test.log" 2>&1 ||
    { cat "$dir.test.log"; echo "FAILED: the core's tests do not pass built with $cxx" >&2; exit 1; }
  echo "$(grep -E "tests passed" "$dir.test.log") ($((SECONDS - start)) s)"
done
