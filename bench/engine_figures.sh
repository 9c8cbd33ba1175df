#!/usr/bin/env bash
# The run engine, side by side in one run, on generated photos of mixed sizes:
#  - speed: lumivor-batch with its default number of jobs (one per usable core) and the window's
#    run (driven headless through window-run) against lumivor-batch --jobs 1, ROUNDS rounds taken
#    in turn; every output compared byte for byte with that of --jobs 1;
#  - memory: peak resident memory of --jobs 1 and --jobs 2 over photos of 16, 2, 12, 20, 1 and
#    16 megapixels in that order, in bytes per pixel of the largest photo, against 10 bytes per
#    pixel of it + 50 MB per job.
# Usage: bench/engine_figures.sh [BUILD_DIR] [ROUNDS] [COUNT]
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
count=${3:-24}

work=$(mktemp -d /tmp/lumivor-engine-XXXXXX)
trap 'rm -rf "$work"' EXIT

# make_set FOLDER "W H" ...: one photo per size, named in the given order.
make_set() {
    local folder=$1 i=0 size
    shift
    mkdir -p "$folder" "$work/one"
    for size in "$@"; do
        i=$((i + 1))
        set -- $size
        if [ ! -f "$work/cache_${1}x${2}.jpg" ]; then
            "$build/bench/make-sample-photos" "$work/one" 1 "$1" "$2"
            mv "$work/one/photo_0001.jpg" "$work/cache_${1}x${2}.jpg"
        fi
        cp "$work/cache_${1}x${2}.jpg" "$(printf '%s/photo_%03d.jpg' "$folder" "$i")"
    done
}

seconds() {   # seconds COMMAND...: wall-clock seconds of one run, its output discarded
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

# Speed: 2, 6, 12, 3, 8 and 1 megapixels, over and over.
cycle=("1632 1224" "3000 2000" "4000 3000" "2000 1500" "3264 2448" "1152 864")
sizes=()
for ((i = 0; i < count; i++)); do sizes+=("${cycle[i % ${#cycle[@]}]}"); done
make_set "$work/in" "${sizes[@]}"
megapixels=0
for size in "${sizes[@]}"; do set -- $size; megapixels=$((megapixels + $1 * $2)); done

one=0; many=0; window=0
for ((round = 1; round <= rounds; round++)); do
    for out in one many window; do rm -rf "$work/$out"; mkdir -p "$work/$out"; done
    batch="$build/app/lumivor-batch"
    one=$(echo "$one + $(seconds "$batch" --jobs 1 "$work/in" "$work/one")" | bc -l)
    many=$(echo "$many + $(seconds "$batch" "$work/in" "$work/many")" | bc -l)
    window=$(echo "$window + $(QT_QPA_PLATFORM=offscreen "$build/bench/window-run" \
        "$work/in" "$work/window" 2> /dev/null)" | bc -l)
done
outputs=identical
for f in "$work"/one/*.jpg; do
    for out in many window; do
        cmp -s "$f" "$work/$out/$(basename "$f")" || outputs=DIFFERENT
    done
done
printf '%d photos, %.0f megapixels in all, %d usable cores (nproc), %d rounds\n' \
    "$count" "$(echo "$megapixels / 1000000" | bc -l)" "$(nproc)" "$rounds"
printf -- '--jobs 1: %.2f s   default jobs: %.2f s   window: %.2f s\n' "$one" "$many" "$window"
printf 'default jobs vs --jobs 1: %.2fx (target 1.85)   window vs --jobs 1: %.2fx (target 1.8)\n' \
    "$(echo "$one / $many" | bc -l)" "$(echo "$one / $window" | bc -l)"
printf 'outputs: %s\n' "$outputs"

# Memory.
make_set "$work/mixed" "4608 3456" "1632 1224" "4000 3000" "5472 3648" "1152 864" "4608 3456"
largest=$((5472 * 3648))
mkdir -p "$work/empty" "$work/mixed_out"
peak_kb() {   # peak_kb ARGS...: maximum resident set of one lumivor-batch run, in kB
    /usr/bin/time -f '%M' -o "$work/time" "$build/app/lumivor-batch" "$@" > /dev/null
    cat "$work/time"
}
base=$(peak_kb "$work/empty" "$work/mixed_out")
printf 'mixed 16, 2, 12, 20, 1, 16 MP (largest %d pixels); empty run %d kB\n' "$largest" "$base"
for jobs in 1 2; do
    peak=$(peak_kb --jobs "$jobs" "$work/mixed" "$work/mixed_out")
    limit_kb=$(( (largest * 10 + jobs * 50 * 1024 * 1024) / 1024 ))
    printf -- '--jobs %d: peak %d kB = %.2f bytes per pixel (%.2f over the empty run); ' \
        "$jobs" "$peak" "$(echo "$peak * 1024 / $largest" | bc -l)" \
        "$(echo "($peak - $base) * 1024 / $largest" | bc -l)"
    printf 'limit %d kB: %s\n' "$limit_kb" "$([ "$peak" -le "$limit_kb" ] && echo within || echo OVER)"
done
