#!/usr/bin/env bash
# CI: scale-out. Installs what is missing, builds the scale-out test in a folder of its
# own (SCALE_BUILD_DIR, default build-scale/: the option that turns the test on stays out
# of the tests' build/) and runs it: the window against HAProxy in front of
# a primary with two replicas and in front of a three-node Galera cluster
# (scripts/scale-out.sh), the node it is on killed or frozen between two course choices;
# then a few hundred learners (the load tool's learner code) arriving and choosing courses
# through the Galera set while one node is frozen for 20 s, or killed and started again:
# not one of them may get an error.
# Then a short run of the load tool (bench/load/run.sh --quick in build-load/), so that the
# tool and its scenarios keep working; its numbers are not kept.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${SCALE_BUILD_DIR:-$here/build-scale}

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DORVY_SCALE_TESTS=ON
cmake --build "$build" -j "$(nproc)" --target tst_scaleout
(cd "$build" && ctest --output-on-failure -R '^tst_scaleout$')
"$here/bench/load/run.sh" --quick
