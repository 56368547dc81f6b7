#!/usr/bin/env bash
# CI fuzz smoke run: builds the libFuzzer targets (fuzz/) with clang in build-fuzz and
# runs each on its seed corpus for ORVY_FUZZ_SECONDS (default 60). A crash, a
# sanitizer report, a time-out or a memory overrun fails the run; the input that
# caused it is kept in build-fuzz/findings/ (turn it into a regression test).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

seconds=${ORVY_FUZZ_SECONDS:-60}
targets=(pngdecoder integer playerpage)
build=build-fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DORVY_BUILD_TESTS=OFF -DORVY_BUILD_FUZZ=ON
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings"
summary=()
status=0
for t in "${targets[@]}"; do
    # New inputs go to a scratch corpus; the checked-in seeds are only read.
    work="$build/corpus/$t"
    mkdir -p "$work"
    log="$build/fuzz_$t.log"
    echo "== fuzz_$t: ${seconds} s"
    # AddressSanitizer keeps freed memory in quarantine (256 MB by default) and the
    # resident size only grows with it: a smaller quarantine keeps a run on many small
    # strings inside the limit, which is then about leaks, not the sanitizer's own
    # bookkeeping. A single allocation is capped lower still.
    if ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=64 \
        "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$build/findings/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
        tail -n 60 "$log"
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    summary+=("fuzz_$t: $result, ${runs:-?} runs in ${seconds} s")
done
printf '%s\n' "${summary[@]}"
exit "$status"
