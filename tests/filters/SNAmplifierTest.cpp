// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNAmplifier.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace Sonorix;
using namespace Sonorix::Test;

using TAmplifierChain = TFilterChain<TSNAmplifier>;

TEST(SNAmplifierTest, ScalesEveryWidthAroundSilenceWithSaturation)
{
    // Channel 0: Min, Min + 1, Mid - 3, Mid, Mid + 3, Max - 1, Max, Mid + 101;
    // channel 1 holds them backwards. The kernels' own tests cover rounding.
    for (const uint32_t LBits : {8u, 16u, 24u, 32u}) {
        const int64_t LMid = LBits == 8 ? 128 : 0, LMin = LowestStored(LBits), LMax = HighestStored(LBits);
        const std::pair<double, std::vector<int64_t>> LCases[] = {
            {1.0, {LMin, LMin + 1, LMid - 3, LMid, LMid + 3, LMax - 1, LMax, LMid + 101}},
            {0.0, {LMid, LMid, LMid, LMid, LMid, LMid, LMid, LMid}},
            {2.0, {LMin, LMin, LMid - 6, LMid, LMid + 6, LMax, LMax, std::min(LMid + 202, LMax)}},
        };
        TSamples LIn;
        for (size_t F = 0; F < 8; ++F)
            LIn.insert(LIn.end(), {int32_t(LCases[0].second[F]), int32_t(LCases[0].second[7 - F])});
        for (const auto& [LFactor, LExpected] : LCases) {
            SCOPED_TRACE(testing::Message() << LBits << " bits, factor " << LFactor);
            TAmplifierChain LChain;
            LChain.Filter.SetCoefficient(LFactor);
            LChain.Start(44100, LBits, 2);
            TSamples LWanted;
            for (size_t F = 0; F < 8; ++F)
                LWanted.insert(LWanted.end(), {int32_t(LExpected[F]), int32_t(LExpected[7 - F])});
            EXPECT_EQ(LChain.Send(LIn), LWanted);
        }
    }
}

TEST(SNAmplifierTest, ACoefficientChangeNeverSplitsABuffer)
{
    // A setter thread flips the coefficient while buffers are scaled on the
    // filter's own thread: every output buffer must be uniform.
    TAmplifierChain LChain;
    LChain.Filter.GetThreading().SetEnabled(true);
    // One of the two values from the start, whenever the setter first runs.
    LChain.Filter.SetCoefficient(2.0);
    std::atomic<bool> LDone{false};
    std::thread LSetter([&] {
        for (int I = 0; !LDone; ++I)
            LChain.Filter.SetCoefficient(I % 2 ? 0.5 : 2.0);
    });
    constexpr uint32_t CFrames = 4096;
    for (int I = 0; I < 300; ++I) {
        ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, 16, 1, CFrames);
        std::fill_n(static_cast<int16_t*>(LBuffer->Modify()), CFrames, int16_t{1000});
        LChain.Feed.SendBuffer(LBuffer);
    }
    TDGTimeline::WaitIdle();
    LDone = true;
    LSetter.join();
    const auto LBuffers = LChain.Collector.Buffers();
    ASSERT_EQ(LBuffers.size(), 300u);
    for (const auto& LBuffer : LBuffers) {
        const int32_t LFirst = LBuffer->GetItem(0, 0);
        ASSERT_TRUE(LFirst == 500 || LFirst == 2000) << LFirst;
        for (uint32_t F = 1; F < CFrames; ++F)
            ASSERT_EQ(LBuffer->GetItem(F, 0), LFirst) << "a buffer was scaled with two values";
    }
}

TEST(SNAmplifierTest, ScalesAnUnsharedBufferInPlaceAndCopiesAHeldOne)
{
    constexpr uint32_t CFrames = 257;
    const auto LRamp = [] {
        ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, 16, 2, CFrames);
        for (uint32_t F = 0; F < CFrames; ++F)
            for (uint32_t C = 0; C < 2; ++C)
                PutSample(*LBuffer, F, C, static_cast<int32_t>(F * 4 + C) - 500);
        return LBuffer;
    };
    const auto LExpectScaled = [&](const ISNAudioBuffer& ABuffer, int32_t AFactor) {
        for (uint32_t F = 0; F < CFrames; ++F)
            for (uint32_t C = 0; C < 2; ++C)
                ASSERT_EQ(ABuffer.GetItem(F, C), (static_cast<int32_t>(F * 4 + C) - 500) * AFactor) << F;
    };

    // A chain of two passes the one unshared buffer through both; a buffer
    // the sender keeps, or whose samples a view shares, is copied. (Two
    // threaded amplifiers fed by one pin: the buffer pool's test.)
    TAmplifierChain LChain;
    LChain.Filter.SetCoefficient(2.0);
    TSNAmplifier LSecond;
    LSecond.SetCoefficient(3.0);
    LChain.Filter.GetOutputPin().Disconnect(LChain.Collector.GetInputPin());
    LChain.Filter.GetOutputPin().Connect(LSecond.GetInputPin());
    LSecond.GetOutputPin().Connect(LChain.Collector.GetInputPin());
    ISNAudioBufferPtr LFresh = LRamp();
    const ISNAudioBuffer* LFreshObject = LFresh.get();
    LChain.Feed.SendBuffer(std::move(LFresh));
    EXPECT_EQ(LChain.Collector.Buffers().back().get(), LFreshObject);
    LExpectScaled(*LChain.Collector.Buffers().back(), 6);
    const ISNAudioBufferPtr LKept = LRamp();
    LChain.Feed.SendBuffer(LKept);
    EXPECT_NE(LChain.Collector.Buffers().back(), LKept);
    LExpectScaled(*LKept, 1);
    IDGBlockBufferPtr LBlock = TDGBlockBuffer::CreateSize(LKept->GetByteSize());
    std::memcpy(LBlock->Write(), LKept->ByteRead(), LKept->GetByteSize());
    LChain.Feed.SendBuffer(TSNAudioBuffer::CreateUniversal(LKept->GetWaveFormat(), LBlock));
    LExpectScaled(*TSNAudioBuffer::CreateUniversal(LKept->GetWaveFormat(), LBlock), 1);
    LExpectScaled(*LChain.Collector.Buffers().back(), 6);
}
