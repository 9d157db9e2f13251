// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNRemoveDC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Sonorix;
using namespace Sonorix::Test;

using TRemoveDCChain = TFilterChain<TSNRemoveDC>;

TEST(SNRemoveDCTest, AConstantDecaysWithThePoleAfterOneSampleOfDelay)
{
    TRemoveDCChain LChain;
    LChain.Start(44100, 16, 1);
    const TSamples LOut = LChain.Send(TSamples(2000, 1000));
    ASSERT_EQ(LOut.size(), 2000u);
    EXPECT_EQ(LOut[0], 0) << "one sample of delay";
    const double p = 1.0 - 40.0 * std::numbers::pi / 44100.0;
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
