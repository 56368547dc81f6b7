#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Each test runs on a private X
# server, and each test that needs a database starts its own MariaDB server on loopback.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
cmake --build "$build" -j "$(nproc)"

cd "$build"
ctest --output-on-failure -j "${CTEST_JOBS:-2}" "$@"
