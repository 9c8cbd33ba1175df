#!/usr/bin/env bash
# The whole photo against its codec floor (reading, decoding, encoding with the same settings and
# writing, without the enhancement) and against its bound (the floor coding the enhanced picture,
# the most the whole can reach), and the peak memory of each, for a baseline and a progressive
# 12-megapixel photo and a baseline and a progressive 48-megapixel one; with the vector loops at
# their best and held to one-lane vectors, as on a processor without SSSE3 (LUMIVOR_SIMD=scalar).
# Every round runs both settings in turn, and photo-figures alternates floor, bound and whole
# within each; so a busy machine slows them alike. Other builds named after ROUNDS (another
# commit's, with its own photo-figures) take their turns in every round too. Prints every run's
# lines, then per build, setting and photo the medians over the rounds: milliseconds of thread
# time, floor / whole, floor / bound, peak bytes per pixel.
# Usage: bench/photo_figures.sh [BUILD_DIR] [ROUNDS] [OTHER_BUILD_DIR...]
set -euo pipefail
build=${1:-build}
rounds=${2:-3}
builds=("$build" "${@:3}")

work=$(mktemp -d /tmp/lumivor-figures-XXXXXX)
trap 'rm -rf "$work"' EXIT
photos=()
for photo in "12mp-baseline 4000 3000" "12mp-progressive 4000 3000 progressive" \
             "48mp-baseline 8000 6000" "48mp-progressive 8000 6000 progressive"; do
    set -- $photo
    mkdir -p "$work/$1"
    "$build/bench/make-sample-photos" "$work/$1" 1 "$2" "$3" ${4:-}
    mv "$work/$1/photo_0001.jpg" "$work/$1.jpg"
    photos+=("$work/$1.jpg")
done

for round in $(seq "$rounds"); do
    for setting in default scalar; do
        for which in "${builds[@]}"; do
            simd=$setting
            [ "$simd" = default ] && simd=
            LUMIVOR_SIMD=$simd "$which/bench/photo-figures" --rounds 3 "${photos[@]}" 2>/dev/null |
                sed "s|^|$round $which:$setting |"
        done
    done
done | tee "$work/lines"

echo
echo "medians over $rounds rounds: build:setting, photo, floor ms, whole ms, floor/whole, floor/bound, peak B/px floor, whole"
sort -s -k2,2 -k3,3 "$work/lines" | awk '
    function median(list,   n, values, i, j, t) {
        n = split(list, values, " ")
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && values[j - 1] + 0 > values[j] + 0; j--) {
                t = values[j]; values[j] = values[j - 1]; values[j - 1] = t
            }
        return n % 2 ? values[(n + 1) / 2] : (values[n / 2] + values[n / 2 + 1]) / 2
    }
    # Each value follows its label; an older build prints no floor/bound, shown as "-".
    { key = $2 " " $3; peak = 0
      for (f = 4; f < NF; f++) {
          if ($f == "peak") peak = 1
          else if ($f == "floor" && !peak) floor[key] = floor[key] " " $(f + 1)
          else if ($f == "whole" && !peak) whole[key] = whole[key] " " $(f + 1)
          else if ($f == "floor/whole") ratio[key] = ratio[key] " " $(f + 1)
          else if ($f == "floor/bound") bound[key] = bound[key] " " $(f + 1)
          else if ($f == "floor" && peak) pf[key] = pf[key] " " $(f + 1)
          else if ($f == "whole" && peak) pw[key] = pw[key] " " $(f + 1)
      }
      if (!(key in seen)) { seen[key] = 1; order[++n] = key } }
    END { for (i = 1; i <= n; i++) { k = order[i]
        printf "%-30s %-22s %8.1f %8.1f %7.3f %7s %6.2f %6.2f\n", substr(k, 1, index(k, " ") - 1),
            substr(k, index(k, " ") + 1), median(floor[k]), median(whole[k]), median(ratio[k]),
            k in bound ? sprintf("%.3f", median(bound[k])) : "-", median(pf[k]), median(pw[k]) } }'
