// SPDX-License-Identifier: MIT
#include "SNAudioFormat.h"

#include <gtest/gtest.h>

using namespace Sonorix;

TEST(SNAudioFormatTest, WaveFormatFollowsTheMembersWidthsRoundUpAndEveryChangeNotifiesOnce)
{
    int LChanges = 0;
    TSNAudioFormat LFormat([&] { ++LChanges; });
    EXPECT_EQ(LFormat.GetWaveFormat().dwChannelMask, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    LFormat.SetCountChannels(6);
    LFormat.SetBits(24);
    LFormat.SetSampleRate(96000);
    LFormat.SetSampleRate(96000); // no change, no notification
    EXPECT_EQ(LChanges, 3);
    const WAVEFORMATEXTENSIBLE LWave = LFormat.GetWaveFormat();
    EXPECT_EQ(LWave.Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(LWave.Format.nBlockAlign, 18);
    EXPECT_EQ(LWave.Format.nAvgBytesPerSec, 96000u * 18);
    EXPECT_EQ(LWave.dwChannelMask, 0x3Fu) << "5.1 by default";
    LFormat.SetChannelMask(SPEAKER_FRONT_CENTER);
    EXPECT_EQ(LFormat.GetWaveFormat().dwChannelMask, SPEAKER_FRONT_CENTER);
    for (const auto& [LAsked, LGot] : {std::pair{12, 16}, {1, 8}, {17, 24}, {64, 32}}) {
        LFormat.SetBits(LAsked);
        EXPECT_EQ(LFormat.GetBits(), LGot) << LAsked;
    }
}

TEST(SNAudioFormatTest, OptionalFormsReplaceTheInputOnlyWhenEnabled)
{
    TSNOptionalBasicAudioFormat LOptional;
    const WAVEFORMATEXTENSIBLE LInput = MakeWaveFormat(22050, 8, 1);
    LOptional.SetSampleRate(48000);
    EXPECT_EQ(LOptional.Merge(LInput).Format.nSamplesPerSec, 22050u);
    LOptional.SetEnabled(true);
    const WAVEFORMATEXTENSIBLE LMerged = LOptional.Merge(LInput);
    EXPECT_EQ(LMerged.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(LMerged.Format.nChannels, 2);
    TSNOptionalAudioFormat LWithSize;
    TSNAudioFormat LSource;
    LSource.SetBufferSize(441);
    LSource.SetWaveFormat(MakeWaveFormat(8000, 32, 3));
    LWithSize.Assign(LSource);
    EXPECT_EQ(LWithSize.GetBufferSize(), 441);
    EXPECT_EQ(LWithSize.GetBits(), 32);
    EXPECT_EQ(LWithSize.GetCountChannels(), 3);
    EXPECT_FALSE(LWithSize.GetEnabled());
}
