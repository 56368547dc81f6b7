#!/usr/bin/env bash
# CI stage: builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (ORVY_WITH_ASAN) in its own folder and runs the whole test suite under them. Any
# report stops the test that caused it, and so fails the run, unless it lies wholly in
# a third-party library listed, with the reason, in tests/sanitizers/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${ASAN_BUILD_DIR:-$here/build-asan}
supp=$here/tests/sanitizers

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVY_WITH_ASAN=ON
cmake --build "$build" -j "$(nproc)"

# halt_on_error: the first report ends the test with a failure, UBSan's included.
# new_delete_type_mismatch=0: the browser engine frees some of its own objects with the
# wrong size (seen in WebContentsAdapter's destructor); ASan cannot suppress this check
# for one library, so it is off for all.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:new_delete_type_mismatch=0:verify_asan_link_order=0:suppressions=$supp/asan.supp"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
# Mesa's software OpenGL driver, which the browser engine loads at start-up, is unloaded
# before the leak check, and then its one leak could not be named (see lsan.supp).
# Loaded in advance it stays mapped; verify_asan_link_order=0 above allows that.
dri=$(ls /usr/lib/*/dri/swrast_dri.so 2>/dev/null | head -n1 || true)
if [ -n "$dri" ]; then
    export LD_PRELOAD="$dri${LD_PRELOAD:+:$LD_PRELOAD}"
fi

start=$(date +%s)
cd "$build"
status=0
ctest --output-on-failure -j "${CTEST_JOBS:-2}" "$@" || status=$?
echo "sanitizer run: tests took $(($(date +%s) - start)) s"
exit "$status"
