#!/usr/bin/env bash
# What one nginx serves of the lessons' videos from the page cache, alone ("origin") and
# through the caching server in front of it ("cached", the slice cache of
# deploy/videos/cache.conf), both started by scripts/video-serve.sh on loopback. wrk
# (ranges.lua) plays learners fetching ranges as the engine does. Prints the tables of
# bench/README.md, "Videos". Not part of the test run.
#
# usage: bench/video/run.sh [--quick] [--runs N]
#   --quick   short runs, for a check that everything works (numbers not comparable)
#   --runs N  each measurement N times (default 3); the table shows the median
# VIDEO_BENCH_DIR (/tmp/orvy-video-bench: open to nginx's workers when run as root) and
# VIDEO_BENCH_WORKERS (nginx's worker processes, default 1: one core) may be set.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
dir=${VIDEO_BENCH_DIR:-/tmp/orvy-video-bench}
workers=${VIDEO_BENCH_WORKERS:-1}
quick=0 runs=3
while (($#)); do
    case $1 in
    --quick) quick=1 runs=1 ;;
    --runs) runs=${2:?--runs needs a count} && shift ;;
    *) echo "usage: $0 [--quick] [--runs N]" >&2 && exit 2 ;;
    esac
    shift
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "--runs needs a count from 1" >&2 && exit 2; }

say() { echo "video-bench: $*" >&2; }
die() {
    echo "video-bench: FAILED: $*" >&2
    exit 1
}
command -v wrk >/dev/null || die "wrk is missing; run scripts/install-deps.sh"
command -v curl >/dev/null || die "curl is missing"

# Saturating runs: this many learners asking without a pause, each run this long.
busy_learners=64
busy_seconds=10
# Paced runs: this many learners, each asking for its next range every 4 s on average.
paced_learners=1000
paced_seconds=20
pause_ms=4000
files=4
file_mb=64
if ((quick)); then
    busy_seconds=2 paced_seconds=5 paced_learners=100
fi
# Each learner's connection takes a descriptor in wrk and in each nginx.
ulimit -n "$(ulimit -Hn)"

serve=$here/scripts/video-serve.sh
cleanup() {
    local rc=$?
    "$serve" stop "$dir/run" >/dev/null 2>&1 || true
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$dir/media"
chmod 755 "$dir" "$dir/media"
# The bytes of a lesson do not matter to the server: random data of a lesson's size.
for i in $(seq "$files"); do
    f=$dir/media/lesson$i.mp4
    [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" = $((file_mb << 20)) ] ||
        head -c $((file_mb << 20)) /dev/urandom >"$f"
done
chmod 644 "$dir"/media/*
size=$((file_mb << 20))

# Runs wrk once; prints "requests/s MB/s p50_ms p99_ms errors".
measure() { # url, chunk, first, pause ms, learners, seconds
    local out
    out=$(wrk -t1 -c"$5" -d"$6"s --timeout 10s -s "$here/bench/video/ranges.lua" "$1" -- \
        "$2" "$3" "$size" "$files" "$4" "$5" 2>&1) || die "wrk: $out"
    echo "$out" | awk '/^RESULT/ {
        for (i = 2; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        s = v["duration_us"] / 1e6
        printf "%.0f %.1f %.1f %.1f %d\n", v["requests"] / s, v["bytes"] / s / 1e6, v["p50_us"] / 1000, v["p99_us"] / 1000, v["errors"] }'
}
# The median of a column over the runs' lines.
median() { # column
    sort -n -k"$1" | awk -v c="$1" '{ a[NR] = $c } END { print a[int((NR + 1) / 2)] }'
}

echo "Videos: one nginx ($workers worker), ranges from the page cache; median of $runs runs"
echo "$(nproc) cores, $(date -u +%Y-%m-%d), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf "%-7s %-9s %-10s %-10s %-9s %-9s %-8s %-s\n" set-up learner range "answers/s" "MB/s" "p99 ms" errors "learners at this rate"
for tier in origin cached; do
    "$serve" stop "$dir/run" >/dev/null 2>&1 || true
    VIDEO_SERVE_PORT=auto VIDEO_SERVE_WORKERS=$workers "$serve" start "$tier" "$dir/media" "$dir/run" 2>/dev/null ||
        die "the $tier set-up did not start"
    url=$(grep '^url=' "$dir/run/videos.env" | cut -d= -f2)
    # A range must come back as a range, and the files once whole (so that they are in
    # the page cache, and in the caching server's slices).
    code=$(curl -s -o /dev/null -w '%{http_code}' -r 0-99 "$url/lesson1.mp4")
    [ "$code" = 206 ] || die "$tier: a range came back as $code"
    for i in $(seq "$files"); do curl -s -o /dev/null "$url/lesson$i.mp4"; done
    for rate in 0.5 1 2.5; do
        # Each range holds 4 s of video, the first one 10 s.
        chunk=$(awk -v r="$rate" 'BEGIN { printf "%d", r * 1e6 / 8 * 4 }')
        first=$(awk -v r="$rate" 'BEGIN { printf "%d", r * 1e6 / 8 * 10 }')
        lines=""
        for _ in $(seq "$runs"); do lines+=$(measure "$url" "$chunk" "$first" 0 "$busy_learners" "$busy_seconds")$'\n'; done
        rps=$(printf %s "$lines" | median 1)
        mbs=$(printf %s "$lines" | median 2)
        p99=$(printf %s "$lines" | median 4)
        errors=$(printf %s "$lines" | awk '{ e += $5 } END { print e + 0 }')
        learners=$(awk -v m="$mbs" -v r="$rate" 'BEGIN { printf "%d", m * 8 / r }')
        printf "%-7s %-9s %-10s %-10s %-9s %-9s %-8s %-s\n" "$tier" "$rate Mb/s" "$((chunk / 1000)) kB" "$rps" "$mbs" "$p99" "$errors" "$learners"
    done
done
echo
echo "Paced: $paced_learners learners, each asking for 4 s of video every 2 to 6 s (4 on average), for $paced_seconds s"
printf "%-7s %-9s %-10s %-9s %-9s %-9s %-s\n" set-up learner "answers/s" "MB/s" "p50 ms" "p99 ms" errors
for tier in origin cached; do
    "$serve" stop "$dir/run" >/dev/null 2>&1 || true
    VIDEO_SERVE_PORT=auto VIDEO_SERVE_WORKERS=$workers "$serve" start "$tier" "$dir/media" "$dir/run" 2>/dev/null ||
        die "the $tier set-up did not start"
    url=$(grep '^url=' "$dir/run/videos.env" | cut -d= -f2)
    for i in $(seq "$files"); do curl -s -o /dev/null "$url/lesson$i.mp4"; done
    for rate in 0.5 1 2.5; do
        chunk=$(awk -v r="$rate" 'BEGIN { printf "%d", r * 1e6 / 8 * 4 }')
        first=$(awk -v r="$rate" 'BEGIN { printf "%d", r * 1e6 / 8 * 10 }')
        read -r rps mbs p50 p99 errors < <(measure "$url" "$chunk" "$first" "$pause_ms" "$paced_learners" "$paced_seconds")
        printf "%-7s %-9s %-10s %-9s %-9s %-9s %-s\n" "$tier" "$rate Mb/s" "$rps" "$mbs" "$p50" "$p99" "$errors"
    done
done
