#!/usr/bin/env bash
# Measures the program beside its floors and prints one table (see bench/README.md).
# Builds into build-bench/ with the benchmark programs, starts its own MariaDB and HTTP
# servers on loopback and its own X server with a window manager. Not part of the test run.
#
# usage: bench/run.sh [--runs N] [--plays N] [--no-plays] [--seed N] [--baseline DIR]
# BENCH_BUILD_DIR (build-bench) and BENCH_DB_PORT (33071, the database port built into
# the measured program; the benchmark's delay relay listens there) may be set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$here/build-bench}
db_port=${BENCH_DB_PORT:-33071}
db_name=orvybench
db_password=OrvyBench202   # twelve characters, like the deployed one

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVY_BUILD_TESTS=ON \
    -DORVY_BUILD_BENCH=ON -DORVY_DB_HOST=127.0.0.1 -DORVY_DB_PORT="$db_port" -DORVY_DB_NAME="$db_name" \
    -DORVY_DB_PASSWORD="$db_password" "${launcher[@]}" >"$build/cmake.log" 2>&1 \
    || { cat "$build/cmake.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target OrvyClassBench bench_floor bench_floor_fetch bench_floor_list \
    bench_floor_view bench_floor_lateview bench_lateview orvy_bench

"$here/demo/make-media.sh" "$build/bench-media"

tmp=$build/bench-tmp
rm -rf "$tmp"
mkdir -p "$tmp"
export ORVY_TEST_TMP=$tmp
# On a shared machine the measured processes get a head start when we may give it.
nice=()
if [ "$(id -u)" = 0 ]; then
    nice=(nice -n -10)
fi
"${nice[@]}" "$here/tests/support/xsession.sh" --wm -- "$build/bench/orvy_bench" --bin "$build/bench" \
    --source "$here" --media "$build/bench-media" --db-port "$db_port" --db-name "$db_name" \
    --db-password "$db_password" --tmp "$tmp" "$@" | tee "$build/bench-table.md"
