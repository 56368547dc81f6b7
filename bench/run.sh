#!/usr/bin/env bash
# Measures the program beside its floors and prints one table (see the README's
# "Benchmarks" section). Builds into build-bench/ with the benchmark programs, starts
# its own MariaDB and HTTP servers on loopback and its own X server with a window
# manager. Not part of the test run.
#
# usage: bench/run.sh [--runs N] [--plays N]
# BENCH_BUILD_DIR (build-bench) and BENCH_DB_PORT (33071, the database port built into
# the measured program; the benchmark's delay relay listens there) may be set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$here/build-bench}
db_port=${BENCH_DB_PORT:-33071}
db_name=orvybench
db_password=OrvyBench202   # twelve characters, like the deployed one

mkdir -p "$build"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVY_BUILD_TESTS=ON \
    -DORVY_BUILD_BENCH=ON -DORVY_DB_HOST=127.0.0.1 -DORVY_DB_PORT="$db_port" -DORVY_DB_NAME="$db_name" \
    -DORVY_DB_PASSWORD="$db_password" >"$build/cmake.log" 2>&1 || { cat "$build/cmake.log" >&2; exit 1; }
cmake --build "$build" -j "$(nproc)" --target OrvyClassBench bench_floor_bare bench_floor_engine \
    bench_floor_view bench_floor_lateview bench_lateview orvy_bench

"$here/demo/make-media.sh" "$build/bench-media"

tmp=$build/bench-tmp
rm -rf "$tmp"
mkdir -p "$tmp"
export ORVY_TEST_TMP=$tmp
"$here/tests/support/xsession.sh" --wm -- "$build/bench/orvy_bench" --bin "$build/bench" --source "$here" \
    --media "$build/bench-media" --db-port "$db_port" --db-name "$db_name" --db-password "$db_password" \
    --tmp "$tmp" "$@" | tee "$build/bench-table.md"
