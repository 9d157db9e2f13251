// SPDX-License-Identifier: MIT
#include "DGDelayValue.h"

#include <gtest/gtest.h>

#include <cstdint>

using namespace Sonorix;

TEST(DGDelayValueTest, FramesTruncateNeverOverflowAndChangesAreAnnouncedOnce)
{
    int LChanges = 0;
    TDGDelayValue LDelay([&] { ++LChanges; });
    EXPECT_EQ(LDelay.GetMode(), dmMilliseconds);
    LDelay.SetValue(100);
    EXPECT_EQ(LChanges, 0) << "the default value is no change";
    LDelay.SetValue(500);
    EXPECT_EQ(LDelay.Frames(44100), 22050);
    LDelay.SetValue(1);
    EXPECT_EQ(LDelay.Frames(22050), 22) << "22.05 frames truncate";
    EXPECT_EQ(LChanges, 2);
    LDelay.SetValue(INT64_MAX);
    EXPECT_EQ(LDelay.Frames(192000), INT64_MAX);
    LDelay.SetValue(INT64_MAX / 1000);
    EXPECT_GT(LDelay.Frames(1000), 0);
    LDelay.SetValue(3'000'000'000'000'000);
    EXPECT_EQ(LDelay.Frames(2000), 6'000'000'000'000'000);
    LDelay.SetValue(-5);
    EXPECT_EQ(LDelay.GetValue(), 0) << "negative values are stored as 0";
    TDGDelayValue LOther;
    LOther.SetValue(12);
    LOther.SetMode(dmSamples);
    EXPECT_EQ(LOther.Frames(44100), 12) << "samples mode ignores the rate";
    LChanges = 0;
    LDelay.Assign(LOther);
    EXPECT_EQ(LDelay.GetValue(), 12);
    EXPECT_EQ(LDelay.GetMode(), dmSamples);
    EXPECT_EQ(LChanges, 2);
}
