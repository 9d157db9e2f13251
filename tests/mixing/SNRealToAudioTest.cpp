// SPDX-License-Identifier: MIT
#include "SNRealToAudio.h"

#include "TestComponents.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

IDGRealBufferPtr Reals(std::vector<double> AValues)
{
    IDGRealBufferPtr LBuffer = TDGRealBuffer::CreateSize(static_cast<uint32_t>(AValues.size()));
    std::copy(AValues.begin(), AValues.end(), LBuffer->Modify());
    return LBuffer;
}

std::vector<int32_t> Channel(const ISNAudioBuffer& ABuffer, uint32_t AChannel)
{
    std::vector<int32_t> LValues;
    for (uint32_t F = 0; F < ABuffer.GetSize(); ++F)
        LValues.push_back(ABuffer.GetItem(F, AChannel));
    return LValues;
}

} // namespace

TEST(SNRealToAudioTest, ValuesBecomeSamplesWithRoundingAndSaturation)
{
    EXPECT_EQ(TSNRealToAudio::ConvertValue(0.5, 16, true), 16384);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(-1.0, 16, true), -32768);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(1.0, 16, true), 32767);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(0.0, 8, true), 127);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(-1.0, 8, true), 0);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(1000.4, 16, false), 1000);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(2.5, 16, false), 2);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(-0.5, 24, true), -4194304);
    EXPECT_EQ(TSNRealToAudio::ConvertValue(1.0, 32, true), 2147483647);
}

TEST(SNRealToAudioTest, RateOfTheFastestInputStretchedSlowerInputsSilentFreePinsAndTheFinalFlush)
{
    TSNRealToAudio LConverter;
    LConverter.GetAudioFormat().SetCountChannels(3);
    LConverter.GetAudioFormat().SetBufferSize(4);
    ASSERT_EQ(LConverter.GetInputPins().GetCount(), 3);
    TDGPNRealRangedSourcePin LSlow(nullptr, "Slow"), LFast(nullptr, "Fast");
    TTestCollector LOut;
    LSlow.Connect(static_cast<TPNSinkPin&>(LConverter.GetInputPins()[0]));
    LFast.Connect(static_cast<TPNSinkPin&>(LConverter.GetInputPins()[1]));
    LConverter.GetOutputPin().Connect(LOut.GetInputPin());
    LSlow.SendStart(1000);
    EXPECT_TRUE(LOut.Starts().empty()); // waits for every connected input
    LFast.SendStart(2000);
    ASSERT_EQ(LOut.Starts().size(), 1u);
    EXPECT_EQ(LOut.Starts()[0].Format.nSamplesPerSec, 2000u);
    EXPECT_EQ(LOut.Starts()[0].Format.nChannels, 3u);
    // Sent in odd pieces: the output does not depend on how values arrive.
    LFast.SubmitBuffer(Reals({10, 20, 30}));
    LSlow.SubmitBuffer(Reals({1}));
    EXPECT_TRUE(LOut.Buffers().empty());
    LSlow.SubmitBuffer(Reals({2, 3}));
    LFast.SubmitBuffer(Reals({40, 50, 60, 70}));
    ASSERT_EQ(LOut.Buffers().size(), 1u);
    const ISNAudioBuffer& LFirst = *LOut.Buffers()[0];
    // Two slow values fill four frames: positions 0, 0.5, 1, 1.5 round to 0, 0, 1, 2 -> 1.
    EXPECT_EQ(Channel(LFirst, 0), (std::vector<int32_t>{1, 1, 2, 2}));
    EXPECT_EQ(Channel(LFirst, 1), (std::vector<int32_t>{10, 20, 30, 40}));
    EXPECT_EQ(Channel(LFirst, 2), (std::vector<int32_t>{0, 0, 0, 0}));
    // At the end the shortest remainder at the output rate (fast: 3; slow: 3, 4, 5 = 6)
    // goes out in a shorter buffer; the slow input gives round(1.5) = 2 values to it.
    LSlow.SubmitBuffer(Reals({4, 5}));
    LSlow.SendStop();
    EXPECT_EQ(LOut.Stops(), 0);
    LFast.SendStop();
    ASSERT_EQ(LOut.Buffers().size(), 2u);
    EXPECT_EQ(Channel(*LOut.Buffers()[1], 1), (std::vector<int32_t>{50, 60, 70}));
    EXPECT_EQ(Channel(*LOut.Buffers()[1], 0), (std::vector<int32_t>{3, 4, 4}));
    EXPECT_EQ(LOut.Stops(), 1);
}
