// SPDX-License-Identifier: MIT
#include "SNChannelSplitter.h"
#include "../analysis/AnalysisTestKit.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

class SNChannelSplitterTest : public ::testing::TestWithParam<unsigned> {};

struct TSplitterRig {
    TFeeder Feeder;
    TSNChannelSplitter Splitter;
    std::vector<std::unique_ptr<TTestCollector>> Outputs;

    explicit TSplitterRig(int AOutputs)
    {
        Splitter.SetCountChannels(AOutputs);
        Feeder.Pin.Connect(Splitter.GetInputPin());
        for (int i = 0; i < AOutputs; ++i) {
            Outputs.push_back(std::make_unique<TTestCollector>());
            static_cast<TPNSourcePin&>(Splitter.GetOutputPins()[i]).Connect(Outputs.back()->GetInputPin());
        }
    }
};

} // namespace

TEST_P(SNChannelSplitterTest, EachOutputCarriesItsChannelUnchangedAsMono)
{
    const unsigned LBits = GetParam();
    const unsigned LChannels = 3;
    TSplitterRig LRig(3);
    ISNAudioBufferPtr LInput = TSNAudioBuffer::CreateSize(48000, LBits, LChannels, 500);
    for (uint32_t f = 0; f < 500; ++f)
        for (unsigned c = 0; c < LChannels; ++c)
            PutSample(*LInput, f, c, TTestSource::ExpectedSample(f, c, LChannels, LBits));
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.SendPart(*LInput, 0, 123);
    LRig.Feeder.SendPart(*LInput, 123, 377);
    LRig.Feeder.Stop();
    for (unsigned c = 0; c < LChannels; ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const TTestCollector& LOut = *LRig.Outputs[c];
        ASSERT_EQ(LOut.Starts().size(), 1u);
        const WAVEFORMATEXTENSIBLE LFormat = LOut.Starts()[0];
        EXPECT_EQ(LFormat.Format.nChannels, 1);
        EXPECT_EQ(LFormat.Format.wBitsPerSample, LBits);
        EXPECT_EQ(LFormat.Format.nAvgBytesPerSec, LBits / 8 * 48000);
        EXPECT_EQ(LFormat.dwChannelMask, 1u);
        ASSERT_EQ(LOut.Buffers().size(), 2u);
        EXPECT_EQ(LOut.Stops(), 1);
        uint32_t LFrame = 0;
        for (const ISNAudioBufferPtr& LBuffer : LOut.Buffers()) {
            ASSERT_EQ(LBuffer->GetChannels(), 1u);
            ASSERT_EQ(LBuffer->GetChannelMask(), LInput->GetWaveFormat().dwChannelMask) << "the stream's mask";
            for (uint32_t f = 0; f < LBuffer->GetSize(); ++f, ++LFrame)
                ASSERT_EQ(LBuffer->GetItem(f, 0), LInput->GetItem(LFrame, c)) << "frame " << LFrame;
        }
        EXPECT_EQ(LFrame, 500u);
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SNChannelSplitterTest, ::testing::Values(8u, 16u, 24u, 32u));

TEST(SNChannelSplitter, PartialFramesIdlePinsAndLayoutsNoBufferHoldsSplitNothingAndThrowNothing)
{
    TSplitterRig LRig(4);
    // 4096 bytes of 24-bit stereo hold 682 frames and a part of one.
    LRig.Feeder.Start(TSNAudioBuffer::CreateSize(44100, 24, 2, 1)->GetWaveFormat());
    LRig.Feeder.Pin.Notify(std::make_shared<TPNSuppliedBufferOperation>(TDGBlockBuffer::CreateSize(4096)));
    EXPECT_EQ(LRig.Outputs[1]->Buffers().at(0)->GetSize(), 682u);
    EXPECT_EQ(LRig.Splitter.GetActiveChannels(), 2);
    EXPECT_TRUE(LRig.Outputs[2]->Buffers().empty()) << "pins beyond the stream's channels stay idle";
    LRig.Splitter.SetCountChannels(1);
    EXPECT_EQ(LRig.Splitter.GetActiveChannels(), 1);
    // Buffers of another layout, empty ones, and a width no buffer holds.
    WAVEFORMATEXTENSIBLE LFormat = TSNAudioBuffer::CreateSize(44100, 16, 2, 1)->GetWaveFormat();
    LRig.Feeder.Start(LFormat);
    LRig.Feeder.Send(TSNAudioBuffer::CreateSize(44100, 24, 1, 10));
    LRig.Feeder.Send(TSNAudioBuffer::CreateSize(44100, 16, 2, 0));
    LFormat.Format.wBitsPerSample = 20;
    LRig.Feeder.Start(LFormat);
    EXPECT_NO_THROW(LRig.Feeder.Pin.Notify(std::make_shared<TPNSuppliedBufferOperation>(TDGBlockBuffer::CreateSize(4096))));
    EXPECT_NO_THROW(LRig.Feeder.Send(TSNAudioBuffer::CreateSize(44100, 16, 2, 100)));
    EXPECT_EQ(LRig.Outputs[0]->Frames(), 682u);
}

TEST(SNChannelSplitter, ValidBitsNarrowerThanTheContainerGiveBuffersOfTheirWidth)
{
    TSplitterRig LRig(2);
    WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(48000, 32, 2, 0x3);
    LFormat.Samples.wValidBitsPerSample = 24;
    LRig.Feeder.Start(LFormat);
    ISNAudioBufferPtr LInput = TSNAudioBuffer::CreateWaveFormat(LFormat, 3);
    for (uint32_t f = 0; f < 3; ++f)
        for (uint32_t c = 0; c < 2; ++c)
            PutSample(*LInput, f, c, static_cast<int32_t>((f + 1) * (c == 0 ? 0x10000 : -0x20000) * 256));
    LRig.Feeder.Send(LInput);
    for (uint32_t c = 0; c < 2; ++c) {
        const WAVEFORMATEXTENSIBLE LStart = LRig.Outputs[c]->Starts().at(0);
        EXPECT_EQ(LStart.Format.wBitsPerSample, 24);
        EXPECT_EQ(LStart.Format.nBlockAlign, 3);
        const ISNAudioBuffer& LMono = *LRig.Outputs[c]->Buffers().at(0);
        ASSERT_EQ(LMono.GetBitsPerSample(), 24u);
        EXPECT_EQ(LMono.GetChannelMask(), 0x3u);
        for (uint32_t f = 0; f < 3; ++f)
            EXPECT_EQ(LMono.GetItem(f, 0), static_cast<int32_t>((f + 1) * (c == 0 ? 0x10000 : -0x20000))) << f;
    }
}
