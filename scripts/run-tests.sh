#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under a private X server.
# Each test that needs a database starts its own MariaDB server on loopback.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
cmake --build "$build" -j "$(nproc)"

export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$build"
xvfb-run -a -s "-screen 0 1600x900x24" ctest --output-on-failure -j "${CTEST_JOBS:-2}" "$@"
