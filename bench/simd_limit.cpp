#include "bench/simd_limit.h"

#include <hwy/targets.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

void limitSimdTargets()
{
    const char *wanted = std::getenv("LUMIVOR_SIMD");
    if (wanted == nullptr || *wanted == '\0')
        return;
    const struct {
        const char *name;
        std::int64_t target;
    } targets[] = { { "avx2", HWY_AVX2 }, { "sse4", HWY_SSE4 }, { "ssse3", HWY_SSSE3 },
                    { "scalar", HWY_SCALAR } };
    for (const auto &known : targets) {
        if (std::strcmp(wanted, known.name) == 0) {
            // Highway numbers better targets with lower bits: disabling every lower bit leaves
            // the named target as the best one allowed.
            hwy::DisableTargets(known.target - 1);
            std::fprintf(stderr, "vector loops held to %s\n", known.name);
            return;
        }
    }
    std::fprintf(stderr, "LUMIVOR_SIMD: unknown instruction set '%s'\n", wanted);
    std::exit(2);
}

} // namespace bench
