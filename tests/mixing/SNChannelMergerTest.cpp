// SPDX-License-Identifier: MIT
#include "SNChannelMerger.h"

#include "MixingTestHelpers.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

class SNChannelMergerWidthTest : public ::testing::TestWithParam<unsigned> {};

TEST_P(SNChannelMergerWidthTest, InputIFillsChannelIWithItsFirstChannelAndAnUnconnectedInputLeavesSilence)
{
    const unsigned LBits = GetParam();
    TSNChannelMerger LMerger;
    LMerger.GetAudioFormat().SetEnabled(true);
    LMerger.GetAudioFormat().SetCountChannels(3);
    LMerger.GetAudioFormat().SetBits(static_cast<int32_t>(LBits));
    LMerger.GetAudioFormat().SetBufferSize(64);
    TTestCollector LCollector;
    LMerger.GetOutputPin().Connect(LCollector.GetInputPin());
    TFeeder LA, LC;
    LA.Connect(LMerger.GetInputPins()[0]);
    LC.Connect(LMerger.GetInputPins()[2]);
    LA.Start(44100, LBits, 2);
    LC.Start(44100, LBits, 1);
    // Input 2 started after the output did: it is delayed until it holds a
    // buffer's worth, so its data comes first here.
    LC.Send(64);
    EXPECT_TRUE(LCollector.Buffers().empty()) << "input 0 is waited for";
    LA.Send(64);
    ASSERT_EQ(LCollector.Buffers().size(), 1u);
    const ISNAudioBuffer& LOut = *LCollector.Buffers()[0];
    ASSERT_EQ(LOut.GetChannels(), 3u);
    ASSERT_EQ(LOut.GetBitsPerSample(), LBits);
    const int32_t LSilence = LBits == 8 ? 128 : 0;
    for (uint32_t F = 0; F < 64; ++F) {
        // A stereo input gives only its left channel.
        EXPECT_EQ(LOut.GetItem(F, 0), TTestSource::ExpectedSample(F, 0, 2, LBits)) << F;
        EXPECT_EQ(LOut.GetItem(F, 1), LSilence) << F;
        EXPECT_EQ(LOut.GetItem(F, 2), TTestSource::ExpectedSample(F, 0, 1, LBits)) << F;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SNChannelMergerWidthTest, ::testing::Values(8u, 16u, 24u, 32u));

TEST(SNChannelMergerTest, EveryConnectedInputTakesPartWhicheverStartsFirst)
{
    // Mono and stereo inputs, with the inputs' format and with a preset one;
    // input 0 starts and sends its first buffer before input 1 starts.
    for (const unsigned LInChannels : {1u, 2u})
        for (const int LPreset : {0, 2}) {
            SCOPED_TRACE(testing::Message() << LInChannels << " channels in, preset " << LPreset);
            TSNChannelMerger LMerger;
            if (LPreset > 0) {
                LMerger.GetAudioFormat().SetEnabled(true);
                LMerger.GetAudioFormat().SetCountChannels(LPreset);
            }
            TTestCollector LCollector;
            LMerger.GetOutputPin().Connect(LCollector.GetInputPin());
            TFeeder LA, LB;
            LA.Connect(LMerger.GetInputPins()[0]);
            LB.Connect(LMerger.GetInputPins()[1]);
            LA.Start(44100, 16, LInChannels);
            LA.Send(1024, 11);
            EXPECT_TRUE(LCollector.Buffers().empty()) << "input 1 has not delivered yet";
            LB.Start(44100, 16, LInChannels);
            LB.Send(1024, 22);
            ASSERT_EQ(LCollector.Starts().size(), 1u);
            const unsigned LOutChannels = LCollector.Starts()[0].Format.nChannels;
            EXPECT_EQ(LOutChannels, LPreset > 0 ? 2u : 2 * LInChannels) << "the sum of the inputs' channels";
            ASSERT_EQ(LCollector.Buffers().size(), 1u);
            const ISNAudioBuffer& LOut = *LCollector.Buffers()[0];
            for (uint32_t F = 0; F < 1024; F += 100) {
                EXPECT_EQ(LOut.GetItem(F, 0), 11) << F;
                EXPECT_EQ(LOut.GetItem(F, 1), 22) << F;
                for (unsigned C = 2; C < LOutChannels; ++C)
                    EXPECT_EQ(LOut.GetItem(F, C), 0);
            }
        }
}
