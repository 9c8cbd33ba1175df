#!/usr/bin/env bash
# How much faster lumivor-batch gets with two jobs: 40 photo-like 3-megapixel
# photos, enhanced with --jobs 1 and --jobs 2 in turn, each timed twice, side by side.
# Usage: bench/jobs_speedup.sh [BUILD_DIR] [COUNT] [WIDTH] [HEIGHT]
set -euo pipefail
build=${1:-build}
count=${2:-40}
width=${3:-2000}
height=${4:-1500}

work=$(mktemp -d /tmp/lumivor-jobs-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out1" "$work/out2"
"$build/bench/make-sample-photos" "$work/in" "$count" "$width" "$height"

seconds() {   # seconds JOBS OUT
    local start end
    start=$(date +%s.%N)
    "$build/app/lumivor-batch" --jobs "$1" "$work/in" "$2" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

one=0; two=0
for round in 1 2; do
    one=$(echo "$one + $(seconds 1 "$work/out1")" | bc -l)
    two=$(echo "$two + $(seconds 2 "$work/out2")" | bc -l)
done
cmp_all=identical
for f in "$work"/out1/*.jpg; do
    cmp -s "$f" "$work/out2/$(basename "$f")" || cmp_all=DIFFERENT
done
printf '%d photos of %dx%d, %d cores\n' "$count" "$width" "$height" "$(nproc)"
printf -- '--jobs 1: %.2f s   --jobs 2: %.2f s   (two rounds each)\n' "$one" "$two"
printf 'speed-up: %.2f   outputs: %s\n' "$(echo "$one / $two" | bc -l)" "$cmp_all"
