// SPDX-License-Identifier: MIT
#include "SNAudioFormat.h"

#include <gtest/gtest.h>

using namespace Sonorix;

TEST(SNAudioFormatTest, WaveFormatFollowsTheMembersAndEveryChangeNotifiesTheOwnerOnce)
{
    int LChanges = 0;
    TSNAudioFormat LFormat([&] { ++LChanges; });
    WAVEFORMATEXTENSIBLE LWave = LFormat.GetWaveFormat();
    EXPECT_EQ(LWave.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(LWave.Format.nChannels, 2);
    EXPECT_EQ(LWave.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(LWave.Format.wBitsPerSample, 16);
    EXPECT_EQ(LWave.Format.nBlockAlign, 4);
    EXPECT_EQ(LWave.Format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(LWave.Samples.wValidBitsPerSample, 16);
    EXPECT_EQ(LWave.dwChannelMask, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    EXPECT_EQ(LFormat.GetBufferSize(), 1024);

    LFormat.SetCountChannels(6);
    LFormat.SetBits(24);
    LFormat.SetSampleRate(96000);
    LFormat.SetSampleRate(96000); // no change, no notification
    EXPECT_EQ(LChanges, 3);
    LWave = LFormat.GetWaveFormat();
    EXPECT_EQ(LWave.Format.nBlockAlign, 18);
    EXPECT_EQ(LWave.Format.nAvgBytesPerSec, 96000u * 18);
    EXPECT_EQ(LWave.dwChannelMask, 0x3Fu) << "5.1 by default";
    LFormat.SetChannelMask(SPEAKER_FRONT_CENTER);
    EXPECT_EQ(LFormat.GetWaveFormat().dwChannelMask, SPEAKER_FRONT_CENTER);
}

TEST(SNAudioFormatTest, MembersAreClampedAndWidthsRoundedUp)
{
    TSNAudioFormat LFormat;
    LFormat.SetCountChannels(0);
    EXPECT_EQ(LFormat.GetCountChannels(), 1);
    LFormat.SetCountChannels(40);
    EXPECT_EQ(LFormat.GetCountChannels(), 32);
    LFormat.SetBits(12);
    EXPECT_EQ(LFormat.GetBits(), 16);
    LFormat.SetBits(1);
    EXPECT_EQ(LFormat.GetBits(), 8);
    LFormat.SetBits(64);
    EXPECT_EQ(LFormat.GetBits(), 32);
    LFormat.SetSampleRate(-5);
    EXPECT_EQ(LFormat.GetSampleRate(), 1);
    LFormat.SetBufferSize(0);
    EXPECT_EQ(LFormat.GetBufferSize(), 1);
}

TEST(SNAudioFormatTest, OptionalFormsReplaceTheInputOnlyWhenEnabled)
{
    TSNOptionalBasicAudioFormat LOptional;
    const WAVEFORMATEXTENSIBLE LInput = MakeWaveFormat(22050, 8, 1);
    LOptional.SetSampleRate(48000);
    WAVEFORMATEXTENSIBLE LMerged = LOptional.Merge(LInput);
    EXPECT_EQ(LMerged.Format.nSamplesPerSec, 22050u);
    LOptional.SetEnabled(true);
    LMerged = LOptional.Merge(LInput);
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
