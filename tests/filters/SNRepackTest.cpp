// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNRepack.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

TSamples Collected(const TFilterChain<TSNRepack>& AChain)
{
    TSamples LOut;
    for (const auto& LBuffer : AChain.Collector.Buffers())
        AppendSamples(LOut, *LBuffer);
    return LOut;
}

} // namespace

TEST(SNRepackTest, FixedSizeBuffersOf441FrameInputsAndBufferSizeAtTheNextStart)
{
    TFilterChain<TSNRepack> LChain;
    LChain.Start(44100, 16, 2);
    const TSamples LInput = RandomSamples(16, 2, 441 * 10, 1);
    std::vector<size_t> LCounts;
    for (size_t i = 0; i < 10; ++i) {
        LChain.Feed.SendBuffer(MakeBuffer(44100, 16, 2, LInput, 441 * i, 441));
        LCounts.push_back(LChain.Collector.Buffers().size());
    }
    // 1024 = 441 + 441 + 142: outputs after the 3rd, 5th, 7th and 10th buffer.
    EXPECT_EQ(LCounts, (std::vector<size_t>{0, 0, 1, 1, 2, 2, 3, 3, 3, 4}));
    const TSamples LOut = Collected(LChain);
    EXPECT_EQ(LOut, TSamples(LInput.begin(), LInput.begin() + 4 * 1024 * 2));
    for (const auto& LBuffer : LChain.Collector.Buffers())
        EXPECT_EQ(LBuffer->GetSize(), 1024u);
    EXPECT_NE(LChain.Collector.Buffers()[0], LChain.Collector.Buffers()[1]) << "each output is a copy";

    LChain.Filter.SetBufferSize(100);
    LChain.Feed.SendBuffer(MakeBuffer(44100, 16, 2, LInput, 0, 1000));
    EXPECT_EQ(LChain.Collector.Buffers().back()->GetSize(), 1024u) << "BufferSize waits for the next start";
    LChain.Feed.SendStop();
    LChain.Start(44100, 16, 2);
    LChain.Feed.SendBuffer(MakeBuffer(44100, 16, 2, LInput, 0, 250));
    EXPECT_EQ(LChain.Collector.Buffers().back()->GetSize(), 100u);
}

TEST(SNRepackTest, EqualFormatsKeepEverySampleWhateverTheInputSizes)
{
    for (bool LAutoSize : {false, true})
        for (uint32_t LBits : {8u, 24u}) {
            SCOPED_TRACE(std::to_string(LBits) + (LAutoSize ? " bits, auto size" : " bits"));
            TFilterChain<TSNRepack> LChain;
            LChain.Filter.SetAutoSizeBuffer(LAutoSize);
            LChain.Filter.SetBufferSize(333);
            LChain.Start(48000, LBits, 3);
            const TSamples LInput = RandomSamples(LBits, 3, 333 * 12, LBits);
            const std::vector<size_t> LSplit = RandomSplit(333 * 12, LBits, 900);
            LChain.SendSplit(LInput, LSplit);
            EXPECT_EQ(Collected(LChain), LInput);
            EXPECT_EQ(LChain.Collector.Buffers().size(), LAutoSize ? LSplit.size() : 12u);
        }
}

TEST(SNRepackTest, FormatChangeDoublesSamplesAndResamplesNonWholeRatios)
{
    // 22050 -> 44100, 16 -> 24 bits: every frame twice, widened.
    TFilterChain<TSNRepack> LChain;
    LChain.Filter.GetAudioFormat().SetEnabled(true);
    LChain.Filter.GetAudioFormat().SetSampleRate(44100);
    LChain.Filter.GetAudioFormat().SetBits(24);
    LChain.Filter.GetAudioFormat().SetCountChannels(1);
    LChain.Filter.SetBufferSize(100);
    LChain.Start(22050, 16, 1);
    ASSERT_EQ(LChain.Collector.Starts().size(), 1u);
    EXPECT_EQ(LChain.Collector.Starts()[0].Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(LChain.Collector.Starts()[0].Format.wBitsPerSample, 24u);
    const TSamples LInput = RandomSamples(16, 1, 500, 9);
    LChain.SendSplit(LInput, {77, 3, 220, 200});
    TSamples LExpected;
    for (int32_t v : LInput)
        LExpected.insert(LExpected.end(), {v * 256, v * 256});
    EXPECT_EQ(Collected(LChain), LExpected);

    // 44100 -> 48000 in 441-frame buffers: full 1024-frame buffers at the
    // new rate; each input buffer gives Round(441 x 48000 / 44100) = 480 frames.
    TFilterChain<TSNRepack> LResample;
    LResample.Filter.GetAudioFormat().SetEnabled(true);
    LResample.Filter.GetAudioFormat().SetSampleRate(48000);
    LResample.Start(44100, 16, 2);
    LResample.SendSplit(RandomSamples(16, 2, 441 * 100, 4, 0.5), std::vector<size_t>(100, 441));
    for (const auto& LBuffer : LResample.Collector.Buffers())
        EXPECT_EQ(LBuffer->GetSize(), 1024u);
    EXPECT_EQ(LResample.Collector.Buffers().size(), 46u) << "100 x 480 = 48000 frames hold 46 full buffers";
}
