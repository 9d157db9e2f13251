// SPDX-License-Identifier: MIT
#include "CVRegistry.h"
#include "CVThreading.h"
#include "FilterTestChain.h"
#include "SNDelayLine.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

using TDelayChain = TFilterChain<TSNDelayLine>;

void InSamples(TSNDelayLine& AFilter, int64_t AFrames)
{
    AFilter.GetDelayValue().SetMode(dmSamples);
    AFilter.GetDelayValue().SetValue(AFrames);
}

} // namespace

TEST(SNDelayLineTest, MillisecondsUseTheStreamRateWithIntegerDivision)
{
    TDelayChain LShort;
    LShort.Filter.GetDelayValue().SetValue(1);
    LShort.Start(22050, 16, 1);
    EXPECT_EQ(LShort.Filter.GetSamplesDelay(), 22);
    TSamples LExpected(22, 0);
    LExpected.resize(30, 9);
    EXPECT_EQ(LShort.Send(TSamples(30, 9)), LExpected);
    // A change while running applies at once.
    LShort.Filter.GetDelayValue().SetValue(2);
    EXPECT_EQ(LShort.Filter.GetSamplesDelay(), 44);
}

// D frames earlier, then grown and shrunk (across buffers: SplitInvarianceTest).
TEST(SNDelayLineTest, GrowingHoldsTheLastSampleAndShrinkingDropsTheNewest)
{
    TDelayChain LChain;
    InSamples(LChain.Filter, 2);
    LChain.Start(44100, 16, 2);
    EXPECT_EQ(LChain.Send({1, -1, 2, -2, 3, -3}), (TSamples{0, 0, 0, 0, 1, -1}));
    LChain.Filter.GetDelayValue().SetValue(4);
    EXPECT_EQ(LChain.Send({4, -4, 5, -5, 6, -6, 7, -7}), (TSamples{2, -2, 3, -3, 3, -3, 3, -3}));
    EXPECT_EQ(LChain.Send({8, -8, 9, -9}), (TSamples{4, -4, 5, -5}));
    // Four frames held (6, 7, 8, 9); keeping the oldest one drops 7, 8, 9.
    LChain.Filter.GetDelayValue().SetValue(1);
    EXPECT_EQ(LChain.Send({10, -10, 11, -11}), (TSamples{6, -6, 10, -10}));
}

TEST(SNDelayLineTest, DisablingSilencesTheHistoryAndTheValueReadsByName)
{
    TDelayChain LChain;
    SetPropertyText(LChain.Filter, "DelayValue.Mode", "dmSamples");
    SetPropertyText(LChain.Filter, "DelayValue.Value", "3");
    LChain.Start(44100, 8, 1);
    EXPECT_EQ(LChain.Send({200, 201, 202, 203}), (TSamples{128, 128, 128, 200}));
    LChain.Filter.SetEnabled(false);
    EXPECT_EQ(LChain.Send({10, 11}), (TSamples{10, 11})) << "disabled: passed unchanged";
    LChain.Filter.SetEnabled(true);
    EXPECT_EQ(LChain.Send({1, 2, 3, 4}), (TSamples{128, 128, 128, 1})) << "8-bit silence after re-enabling";
}

TEST(SNDelayLineTest, ADelayBeyondTheLongestHistoryIsRefusedNotShortened)
{
    std::vector<std::string> LErrors;
    SetBackgroundErrorHandler([&](const std::string& AMessage) { LErrors.push_back(AMessage); });
    TDelayChain LChain;
    LChain.Filter.GetDelayValue().SetValue(INT64_MAX);
    LChain.Start(192000, 32, 2);
    EXPECT_EQ(LChain.Filter.GetSamplesDelay(), 0);
    EXPECT_EQ(LChain.Send({1, 2}), (TSamples{1, 2})) << "passed undelayed";
    ASSERT_EQ(LErrors.size(), 1u);
    EXPECT_NE(LErrors[0].find(" ms at 192000 Hz) is longer than the longest history, 8388608 frames (190 s at "
                              "44.1 kHz); the stream passes unchanged"),
              std::string::npos)
        << LErrors[0];
    // The longest history itself is taken.
    LChain.Filter.GetDelayValue().SetValue(1000);
    LChain.Filter.GetDelayValue().SetMode(dmSamples);
    LChain.Filter.GetDelayValue().SetValue(TSNDelayLine::MaxDelayFrames);
    EXPECT_EQ(LChain.Filter.GetSamplesDelay(), TSNDelayLine::MaxDelayFrames);
    EXPECT_EQ(LChain.Send({1, 2}), (TSamples{0, 0}));
    SetBackgroundErrorHandler(nullptr);
    EXPECT_EQ(LErrors.size(), 1u);
}
