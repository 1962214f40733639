#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when missing.
# Usage: scripts/install-deps.sh [build|test|bench]
set -euo pipefail
what=${1:-build}

pkgs=(g++ cmake make ccache)
# Qt 6 Widgets, SQL and its drivers, the embedded Firebird engine and its tools,
# FreeTDS for SQL Server, fonts for screenshots, and Xvfb for tests that need
# a real X server. TESSEL_WITH_QT=OFF builds need none of them.
if [ "${TESSEL_WITH_QT:-ON}" != OFF ]; then
  pkgs+=(qt6-base-dev qt6-base-dev-tools libgl-dev libvulkan-dev libqt6sql6-sqlite libqt6sql6-ibase
         libqt6sql6-odbc firebird3.0-server-core firebird3.0-utils unixodbc tdsodbc
         fonts-dejavu-core xvfb xauth)
fi
case "$what" in
  # clang builds the core a second time, Bazel runs examples/bazel/, valgrind
  # watches a program's exit.
  test) pkgs+=(libxml2-utils xsltproc python3-junitparser pkg-config valgrind clang bazel-bootstrap) ;;
  bench) pkgs+=(python3 time libgtest-dev catch2 doctest-dev) ;;
esac
# The GoogleTest dialect's tests compare its texts with GoogleTest's own.
if [ "$what" = test ]; then pkgs+=(libgtest-dev libgmock-dev googletest); fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The XML report tests also read the suite-path report with npm's junit2json,
# installed into tests/xml/node_modules (ignored by git).
if [ "$what" = test ]; then
  xml_tools="$(cd "$(dirname "$0")/.." && pwd)/tests/xml"
  if [ ! -e "$xml_tools/node_modules/.bin/junit2json" ]; then
    if ! command -v npm > /dev/null 2>&1; then
      echo "Installing missing packages: nodejs npm"
      $SUDO apt-get update -qq
      $SUDO apt-get install -y -qq --no-install-recommends nodejs npm
    fi
    echo "Installing junit2json@4.0.0 into $xml_tools/node_modules"
    npm install --no-save --no-package-lock --no-audit --no-fund --prefix "$xml_tools" junit2json@4.0.0
  fi
fi
