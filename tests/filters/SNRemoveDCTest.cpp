// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNRemoveDC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

using TRemoveDCChain = TFilterChain<TSNRemoveDC>;

// y[n] = x[n-1] - x[n-2] + p y[n-1] over the whole signal, in double, on
// the stored values (8 bits: y + 128 written back).
TSamples NaiveRemoveDC(const TSamples& AIn, uint32_t ABits, uint32_t AChannels, double ARate)
{
    const double p = 1.0 - 40.0 * std::numbers::pi / ARate;
    const double LLow = double(LowestStored(ABits)), LHigh = double(HighestStored(ABits));
    TSamples LOut(AIn.size());
    for (uint32_t c = 0; c < AChannels; ++c) {
        double x1 = 0.0, x2 = 0.0, y1 = 0.0;
        for (size_t f = 0; f < AIn.size() / AChannels; ++f) {
            const double y = x1 - x2 + p * y1;
            const double LStored = std::nearbyint(ABits == 8 ? y + 128.0 : y);
            LOut[f * AChannels + c] = static_cast<int32_t>(std::clamp(LStored, LLow, LHigh));
            x2 = x1;
            x1 = AIn[f * AChannels + c] - (ABits == 8 ? 128.0 : 0.0);
            y1 = y;
        }
    }
    return LOut;
}

class SNRemoveDCWidthTest : public ::testing::TestWithParam<uint32_t> {};

} // namespace

TEST(SNRemoveDCTest, AConstantDecaysWithThePoleAfterOneSampleOfDelay)
{
    TRemoveDCChain LChain;
    LChain.Start(44100, 16, 1);
    const TSamples LOut = LChain.Send(TSamples(2000, 1000));
    ASSERT_EQ(LOut.size(), 2000u);
    EXPECT_EQ(LOut[0], 0) << "one sample of delay";
    const double p = 1.0 - 40.0 * std::numbers::pi / 44100.0;
    EXPECT_NEAR(p, 0.997150, 1e-6);
    for (size_t n = 1; n < LOut.size(); n += 97)
        EXPECT_NEAR(LOut[n], 1000.0 * std::pow(p, double(n - 1)), 1.0) << n;
    EXPECT_LE(std::abs(LOut.back()), 5);
}

TEST(SNRemoveDCTest, AToneOf1kHzPassesWithOneSampleOfDelay)
{
    TRemoveDCChain LChain;
    LChain.Start(44100, 16, 2);
    TSamples LIn(2 * 4410);
    for (size_t f = 0; f < 4410; ++f)
        LIn[2 * f] = LIn[2 * f + 1] =
            static_cast<int32_t>(std::nearbyint(10000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * f / 44100.0)));
    const TSamples LOut = LChain.Send(LIn);
    ASSERT_EQ(LOut.size(), LIn.size());
    // The pole turns the phase by about (1 - p) / w = 0.02 rad at 1 kHz.
    double LIn2 = 0.0, LOut2 = 0.0;
    for (size_t f = 2000; f < 4410; ++f) {
        ASSERT_NEAR(LOut[2 * f], LIn[2 * (f - 1)], 10000.0 * 0.025) << f;
        ASSERT_EQ(LOut[2 * f], LOut[2 * f + 1]);
        LIn2 += double(LIn[2 * (f - 1)]) * LIn[2 * (f - 1)];
        LOut2 += double(LOut[2 * f]) * LOut[2 * f];
    }
    EXPECT_NEAR(std::sqrt(LOut2 / LIn2), 1.0, 0.002) << "the level is kept";
}

TEST_P(SNRemoveDCWidthTest, MatchesTheRecurrenceWhateverTheSplit)
{
    const uint32_t LBits = GetParam();
    // Single precision inside: within a few parts per million of full scale.
    const double LTolerance = std::max(1.0, 4e-6 * double(HighestStored(LBits) - LowestStored(LBits)));
    const TSamples LIn = RandomSamples(LBits, 2, 5000, 12, 0.3);
    const TSamples LExpected = NaiveRemoveDC(LIn, LBits, 2, 48000.0);
    TSamples LFirst;
    for (uint32_t LSeed : {1u, 2u}) {
        TRemoveDCChain LChain;
        LChain.Start(48000, LBits, 2);
        const TSamples LOut = LChain.SendSplit(LIn, RandomSplit(5000, LSeed, LSeed == 1 ? 11 : 2000));
        ASSERT_EQ(LOut.size(), LExpected.size());
        for (size_t i = 0; i < LOut.size(); ++i)
            ASSERT_NEAR(LOut[i], LExpected[i], LTolerance) << "sample " << i;
        if (LFirst.empty())
            LFirst = LOut;
        else
            EXPECT_EQ(LOut, LFirst) << "two splits, two results";
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SNRemoveDCWidthTest, ::testing::Values(8u, 16u, 24u, 32u),
                         [](const auto& AInfo) { return std::to_string(AInfo.param) + "bit"; });

TEST(SNRemoveDCTest, EightBitsSettleOnSilenceAndAStartForgetsTheLastStream)
{
    TRemoveDCChain LChain;
    LChain.Start(8000, 8, 1);
    const TSamples LOut = LChain.Send(TSamples(3000, 200));
    EXPECT_EQ(LOut[0], 128);
    EXPECT_EQ(LOut[1], 200) << "a step of 72 above silence";
    EXPECT_EQ(LOut[2], 199);
    EXPECT_EQ(LOut.back(), 128);
    LChain.Feed.SendStop();
    LChain.Start(8000, 8, 1);
    EXPECT_EQ(LChain.Send(TSamples(3, 128)), (TSamples{128, 128, 128})) << "zero history after a start";
}
