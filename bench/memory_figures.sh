#!/usr/bin/env bash
# Memory figures of lumivor-batch:
#  - peak resident memory for one photo of 12 and of 48 megapixels, in bytes per pixel, over
#    the baseline of a run over an empty folder (target: at most what the memory gate counts,
#    5 bytes per pixel for a baseline photo and 10 for a progressive one, + 50 MB);
#  - resident memory after 20 and after COUNT small photos of one folder run (target: growth
#    within 10 %).
# Usage: bench/memory_figures.sh [BUILD_DIR] [COUNT]
set -euo pipefail
build=${1:-build}
count=${2:-2000}

work=$(mktemp -d /tmp/lumivor-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT

peak_kb() {   # peak_kb SOURCE DEST: maximum resident set of one lumivor-batch run, in kB
    # One job: the figures are per photo, and two photos show whether one outlives its turn.
    /usr/bin/time -f '%M' -o "$work/time" "$build/app/lumivor-batch" --jobs 1 "$1" "$2" > /dev/null
    cat "$work/time"
}

mkdir -p "$work/empty" "$work/out"
base=$(peak_kb "$work/empty" "$work/out")
printf 'empty run: %d kB\n' "$base"
# A progressive source and its progressive output each hold a whole picture of coefficients.
# Two photos in one run show whether the previous photo is still held while the next is read.
for size in "1 4000 3000" "1 4000 3000 progressive" "1 8000 6000" "1 8000 6000 progressive" \
            "2 8000 6000 progressive"; do
    set -- $size
    rm -rf "$work/one" && mkdir -p "$work/one"
    "$build/bench/make-sample-photos" "$work/one" "$1" "$2" "$3" ${4:-}
    pixels=$(( $2 * $3 ))
    peak=$(peak_kb "$work/one" "$work/out")
    per_pixel=5
    [ "${4:-}" = progressive ] && per_pixel=10
    limit_kb=$(( (pixels * per_pixel + 50 * 1024 * 1024) / 1024 ))
    printf '%d x %dx%d %-11s (%d MP): peak %d kB, %.2f bytes per pixel over the empty run; limit %d kB: %s\n' \
        "$1" "$2" "$3" "${4:-baseline}" $(( pixels / 1000000 )) "$peak" \
        "$(echo "($peak - $base) * 1024 / $pixels" | bc -l)" "$limit_kb" \
        "$([ $(( peak - base )) -le "$limit_kb" ] && echo within || echo OVER)"
done

mkdir -p "$work/many"
"$build/bench/make-sample-photos" "$work/many" "$count" 320 240
"$build/bench/memory-over-run" "$work/many"
