#!/usr/bin/env bash
# The run engine, side by side in one run, on generated photos of mixed sizes:
#  - speed: lumivor-batch with its default number of jobs (one per usable core) and the window's
#    run (driven headless through window-run) against lumivor-batch --jobs 1, ROUNDS rounds taken
#    in turn; every output compared byte for byte with that of --jobs 1. The cores each kept busy
#    show how much of the machine the run had: on a shared machine the others' load caps it;
#  - memory: peak resident memory of --jobs 1 and --jobs 2 over photos of 16, 2, 12, 20, 1 and
#    16 megapixels in that order, in bytes per pixel of the largest photo, against 10 bytes per
#    pixel of it + 50 MB per job.
# Usage: bench/engine_figures.sh [BUILD_DIR] [ROUNDS] [COUNT]
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
count=${3:-48}

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

# timed NAME COMMAND...: runs it, output discarded, and adds "NAME WALL CPU" to $work/times, CPU
# being the user and system seconds of all its threads. A window-run prints its own wall time,
# which leaves out starting Qt.
timed() {
    local name=$1 output
    shift
    output=$(/usr/bin/time -f '%e %U %S' -o "$work/time" "$@" 2> /dev/null | tail -n 1)
    read -r wall user system < "$work/time"
    [[ $output =~ ^[0-9.]+$ ]] && wall=$output
    echo "$name $wall $(echo "$user + $system" | bc -l)" >> "$work/times"
}

# Speed: 2, 6, 12, 3, 8 and 1 megapixels, over and over.
cycle=("1632 1224" "3000 2000" "4000 3000" "2000 1500" "3264 2448" "1152 864")
sizes=()
for ((i = 0; i < count; i++)); do sizes+=("${cycle[i % ${#cycle[@]}]}"); done
make_set "$work/in" "${sizes[@]}"
megapixels=0
for size in "${sizes[@]}"; do set -- $size; megapixels=$((megapixels + $1 * $2)); done

: > "$work/times"
for ((round = 1; round <= rounds; round++)); do
    for out in one many window; do rm -rf "$work/$out"; mkdir -p "$work/$out"; done
    timed one "$build/app/lumivor-batch" --jobs 1 "$work/in" "$work/one"
    timed many "$build/app/lumivor-batch" "$work/in" "$work/many"
    QT_QPA_PLATFORM=offscreen timed window "$build/bench/window-run" "$work/in" "$work/window"
done
outputs=identical
for f in "$work"/one/*.jpg; do
    for out in many window; do
        cmp -s "$f" "$work/$out/$(basename "$f")" || outputs=DIFFERENT
    done
done
# Per variant: total wall time, best round, and the cores its threads kept busy on average.
read -r one one_best one_cores many many_best many_cores window window_best window_cores < <(
    awk '{ wall[$1] += $2; cpu[$1] += $3; if (!($1 in best) || $2 < best[$1]) best[$1] = $2 }
         END { for (k in wall) total[k] = wall[k]
               printf "%s %s %.2f %s %s %.2f %s %s %.2f\n",
                   total["one"], best["one"], cpu["one"] / total["one"],
                   total["many"], best["many"], cpu["many"] / total["many"],
                   total["window"], best["window"], cpu["window"] / total["window"] }' \
        "$work/times")
printf '%d photos, %.0f megapixels in all, %d usable cores (nproc), %d rounds\n' \
    "$count" "$(echo "$megapixels / 1000000" | bc -l)" "$(nproc)" "$rounds"
printf -- '--jobs 1:     %6.2f s (best round %.2f s), %.2f cores busy\n' "$one" "$one_best" \
    "$one_cores"
printf 'default jobs: %6.2f s (best round %.2f s), %.2f cores busy\n' "$many" "$many_best" \
    "$many_cores"
printf 'window:       %6.2f s (best round %.2f s), %.2f cores busy\n' "$window" "$window_best" \
    "$window_cores"
printf 'default jobs vs --jobs 1: %.2fx, best rounds %.2fx (target 1.85)\n' \
    "$(echo "$one / $many" | bc -l)" "$(echo "$one_best / $many_best" | bc -l)"
printf 'window vs --jobs 1:       %.2fx, best rounds %.2fx (target 1.8)\n' \
    "$(echo "$one / $window" | bc -l)" "$(echo "$one_best / $window_best" | bc -l)"
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
    verdict=$([ "$peak" -le "$limit_kb" ] && echo within || echo OVER)
    printf 'limit %d kB: %s\n' "$limit_kb" "$verdict"
done
