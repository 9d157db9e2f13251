// SPDX-License-Identifier: MIT
#include "CVThreading.h"
#include "FilterTestChain.h"
#include "SNCombFilter.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

using TCombChain = TFilterChain<TSNCombFilter>;

TEST(SNCombFilterTest, ForwardAndBackEchoesOfASingleImpulseAndZeroDelayScales)
{
    for (TDGCombFeed LFeed : {cfForward, cfBack}) {
        SCOPED_TRACE(LFeed);
        TCombChain LChain;
        LChain.Filter.SetDelay(3);
        LChain.Filter.SetCoefficient(0.5);
        LChain.Filter.SetFeed(LFeed);
        LChain.Start(44100, 16, 1);
        EXPECT_EQ(LChain.SendSplit({100, 0, 0, 0, 0, 0, 0}, {2, 2, 3}),
                  (TSamples{100, 0, 0, 50, 0, 0, LFeed == cfBack ? 25 : 0}));
        // No delay: a scale by 1 + coefficient, saturated.
        TCombChain LZero;
        LZero.Filter.SetDelay(0);
        LZero.Filter.SetCoefficient(0.5);
        LZero.Filter.SetFeed(LFeed);
        LZero.Start(44100, 16, 2);
        EXPECT_EQ(LZero.Send({100, -200, 4, 30000}), (TSamples{150, -300, 6, 32767}));
    }
}

TEST(SNCombFilterTest, ADelayChangeOrReenablingDropsTheOldEchoes)
{
    TCombChain LChain;
    LChain.Filter.SetDelay(4);
    LChain.Filter.SetCoefficient(1.0);
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Send({1000, 0}), (TSamples{1000, 0}));
    LChain.Filter.SetDelay(2);
    EXPECT_EQ(LChain.Send({0, 0, 0, 0}), (TSamples{0, 0, 0, 0})) << "the history was rebuilt, zeroed";
    EXPECT_EQ(LChain.Send({7, 0, 0, 7}), (TSamples{7, 0, 7, 7}));
    LChain.Filter.SetEnabled(false);
    LChain.Filter.SetEnabled(true);
    EXPECT_EQ(LChain.Send({0, 0, 0}), (TSamples{0, 0, 0})) << "re-enabling starts without echoes";
}

TEST(SNCombFilterTest, FeedBackSaturates)
{
    TCombChain LChain;
    LChain.Filter.SetDelay(1);
    LChain.Filter.SetCoefficient(10.0);
    LChain.Filter.SetFeed(cfBack);
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Send({20000, 20000, -20000, 0}), (TSamples{20000, 32767, 32767, 32767}));
}

TEST(SNCombFilterTest, ADelayBeyondTheLongestHistoryIsRefusedNotShortened)
{
    std::vector<std::string> LErrors;
    SetBackgroundErrorHandler([&](const std::string& AMessage) { LErrors.push_back(AMessage); });
    TCombChain LChain;
    LChain.Filter.SetCoefficient(0.5);
    LChain.Filter.SetDelay(TSNCombFilter::MaxDelayFrames + 1);
    EXPECT_EQ(LChain.Filter.GetDelay(), TSNCombFilter::MaxDelayFrames + 1) << "kept as set";
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Send({100, 0, 0}), (TSamples{100, 0, 0})) << "passed unfiltered";
    EXPECT_EQ(LChain.Send({100, 0, 0}), (TSamples{100, 0, 0}));
    ASSERT_EQ(LErrors.size(), 1u) << "reported once";
    EXPECT_NE(LErrors[0].find(": Delay 8388609 frames is longer than the longest history, 8388608 frames (190 s at "
                              "44.1 kHz); the stream passes unchanged"),
              std::string::npos)
        << LErrors[0];
    // The longest history is taken, and a short delay filters again.
    LChain.Filter.SetDelay(TSNCombFilter::MaxDelayFrames);
    EXPECT_EQ(LChain.Send({100, 0}), (TSamples{100, 0}));
    LChain.Filter.SetDelay(1);
    EXPECT_EQ(LChain.Send({100, 0, 0}), (TSamples{100, 50, 0}));
    SetBackgroundErrorHandler(nullptr);
    EXPECT_EQ(LErrors.size(), 1u);
}
