#!/usr/bin/env bash
# Two builds of pipeline_bench side by side, interleaved in one run: for each round and each
# instruction-set setting (the best the processor has, then held to AVX2, SSSE3 and one-lane
# vectors through LUMIVOR_SIMD), OTHER then THIS. Prints one line per measurement: round,
# setting, which build, benchmark, median milliseconds per 12-megapixel photo. OTHER's harness
# must take the same variable.
# Usage: bench/simd_speed.sh OTHER_BUILD THIS_BUILD [ROUNDS]
set -euo pipefail
other=$1/bench/pipeline_bench
this=$2/bench/pipeline_bench
rounds=${3:-2}
filter='^(OperationsAndCopies|Operations|EnhancePhoto|EnhanceProgressivePhoto)/'
for round in $(seq "$rounds"); do
    for setting in default avx2 ssse3 scalar; do
        for which in other this; do
            program=$other
            [ "$which" = this ] && program=$this
            simd=$setting
            [ "$simd" = default ] && simd=
            LUMIVOR_SIMD=$simd "$program" --benchmark_filter="$filter" --benchmark_repetitions=5 \
                --benchmark_report_aggregates_only=true 2>/dev/null |
                awk -v r="$round" -v s="$setting" -v w="$which" \
                    '/_median/ { sub("/min_time:[0-9.]+_median", "", $1); print r, s, w, $1, $2 }'
        done
    done
done
