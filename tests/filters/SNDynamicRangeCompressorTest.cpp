// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNDynamicRangeCompressor.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// Loud and quiet stretches, so the detector attacks and releases.
TSamples Program(uint32_t ABits, uint32_t AChannels, size_t AFrames, uint32_t ASeed)
{
    TSamples LValues = RandomSamples(ABits, AChannels, AFrames, ASeed);
    const int64_t LMid = ABits == 8 ? 128 : 0;
    for (size_t i = 0; i < LValues.size(); ++i)
        if ((i / AChannels / 300) % 3 == 1)
            LValues[i] = int32_t(LMid + (LValues[i] - LMid) / 64);
    return LValues;
}

} // namespace

TEST(SNDynamicRangeCompressorTest, HandWorkedFramesAndPropertyBounds)
{
    // A first frame of 16384: 12.6364 dB over -20 dB, smoothed to 4.6073 dB,
    // gain 0.67178, 0.5 x 0.67178 x 32768 = 11006.9 -> 11006.
    TFilterChain<TSNDynamicRangeCompressor> LChain;
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Send({16384}), TSamples{11006});

    TSNDynamicRangeCompressor& D = LChain.Filter;
    const std::vector<std::pair<double, double>> LRatios{{2, 4}, {4, 4}, {5, 8}, {12, 12}, {15, 20}, {30, 30}};
    for (auto [LSet, LStored] : LRatios) {
        D.SetCompressRatio(LSet);
        EXPECT_EQ(D.GetCompressRatio(), LStored) << LSet;
    }
    D.SetAllIn(true);
    EXPECT_EQ(D.GetCompressRatio(), 20.0);

    // With MixCoefficient 0 the output is the input, whatever else is set.
    D.SetMixCoefficient(0.0);
    D.SetGain(25.0);
    const TSamples LInput = Program(16, 1, 2000, 3);
    EXPECT_EQ(LChain.Send(LInput), LInput);
}

TEST(SNDynamicRangeCompressorTest, LoudStretchesAreLoweredAndAMakeUpGainSaturates)
{
    // 8-bit streams are measured on their stored (unsigned) values: only
    // split invariance is checked for them.
    for (uint32_t LBits : {16u, 24u, 32u}) {
        SCOPED_TRACE(LBits);
        TFilterChain<TSNDynamicRangeCompressor> LChain;
        LChain.Start(44100, LBits, 2);
        const TSamples LIn = Program(LBits, 2, 3000, LBits);
        const TSamples LOut = LChain.Send(LIn);
        ASSERT_EQ(LOut.size(), LIn.size());
        // The loud stretch after the attack (frames 600..900) comes out lower.
        double LInLevel = 0, LOutLevel = 0;
        for (size_t i = 2 * 700; i < 2 * 900; ++i) {
            LInLevel += std::abs(double(LIn[i]));
            LOutLevel += std::abs(double(LOut[i]));
        }
        EXPECT_LT(LOutLevel, 0.8 * LInLevel);
        // Threshold at full scale and 25 dB of make-up gain: loud frames are
        // limited at the width's ends, never wrapped.
        LChain.Filter.SetThreshold(0);
        LChain.Filter.SetGain(25);
        const TSamples LLoud = LChain.Send(LIn);
        EXPECT_NE(std::count(LLoud.begin(), LLoud.end(), int32_t(HighestStored(LBits))), 0);
        EXPECT_NE(std::count(LLoud.begin(), LLoud.end(), int32_t(LowestStored(LBits))), 0);
        for (size_t i = 0; i < LLoud.size(); ++i)
            ASSERT_TRUE(LIn[i] <= 100 || LLoud[i] > 0) << i;
    }
}
