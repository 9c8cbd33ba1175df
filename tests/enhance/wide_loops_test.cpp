#include "enhance/wide_loops.h"

#include <gtest/gtest.h>

namespace {

// The switches the tests and benchmarks use to pick each kind of loop: AVX2 off means no wide
// loops at all, AVX-512 off leaves AVX2 as it is, and nothing is enabled that the processor lacks.
TEST(WideLoops, SwitchesPickEachKindOfLoop)
{
    struct Restore {
        ~Restore()
        {
            enhance::allowAvx2(true);
            enhance::allowAvx512(true);
        }
    } restore;

    EXPECT_TRUE(!enhance::avx512Supported() || enhance::avx2Supported());
    EXPECT_TRUE(!enhance::avx512VbmiSupported() || enhance::avx512Supported());

    enhance::allowAvx2(false);
    enhance::allowAvx512(true);
    EXPECT_FALSE(enhance::avx2Enabled());
    EXPECT_FALSE(enhance::avx512Enabled());
    EXPECT_FALSE(enhance::avx512VbmiEnabled());

    enhance::allowAvx2(true);
    enhance::allowAvx512(false);
    EXPECT_EQ(enhance::avx2Enabled(), enhance::avx2Supported());
    EXPECT_FALSE(enhance::avx512Enabled());
    EXPECT_FALSE(enhance::avx512VbmiEnabled());

    enhance::allowAvx512(true);
    EXPECT_EQ(enhance::avx2Enabled(), enhance::avx2Supported());
    EXPECT_EQ(enhance::avx512Enabled(), enhance::avx512Supported());
    EXPECT_EQ(enhance::avx512VbmiEnabled(), enhance::avx512VbmiSupported());
}

} // namespace
