// SPDX-License-Identifier: MIT
#include "SNAudioMixer.h"
#include "SNChannelMerger.h"
#include "SNMultiInput.h"

#include "MixingTestHelpers.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// Mono 16-bit samples AFirst, AFirst + 1, ...
ISNAudioBufferPtr Counting(uint32_t AFirst, uint32_t AFrames)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(44100, 16, 1, AFrames);
    for (uint32_t F = 0; F < AFrames; ++F)
        PutSample(*LBuffer, F, 0, static_cast<int32_t>(AFirst + F));
    return LBuffer;
}

} // namespace

TEST(SNSamplesQueueTest, PopTakesWholeBuffersAcrossQueuedPiecesOrNothing)
{
    TSNSamplesQueue LQueue;
    LQueue.Push(Counting(0, 3));
    LQueue.Push(Counting(3, 5));
    LQueue.Push(Counting(8, 2));
    EXPECT_EQ(LQueue.GetCollectedSamples(), 10u);
    for (const uint32_t LFirst : {0u, 4u}) { // 4 frames, then 5
        ISNAudioBufferPtr LTaken = TSNAudioBuffer::CreateSize(44100, 16, 1, 4 + LFirst / 4);
        ASSERT_TRUE(LQueue.Pop(*LTaken));
        for (uint32_t I = 0; I < LTaken->GetSize(); ++I)
            EXPECT_EQ(LTaken->GetItem(I, 0), static_cast<int32_t>(LFirst + I));
    }
    EXPECT_EQ(LQueue.GetCollectedSamples(), 1u);
    // Too few held: nothing is taken.
    ISNAudioBufferPtr LTwo = TSNAudioBuffer::CreateSize(44100, 16, 1, 2);
    EXPECT_FALSE(LQueue.Pop(*LTwo));
    EXPECT_EQ(LQueue.GetCollectedSamples(), 1u);
    LQueue.Push(Counting(10, 1));
    ASSERT_TRUE(LQueue.Pop(*LTwo));
    EXPECT_EQ(LTwo->GetItem(0, 0), 9);
    EXPECT_EQ(LTwo->GetItem(1, 0), 10);
    EXPECT_EQ(LQueue.GetCollectedSamples(), 0u);
    // Into the target's width and channels: 16 to 24 bits shifts left by 8;
    // the mono sample fills both channels.
    LQueue.Push(Counting(1, 4));
    ISNAudioBufferPtr LTarget = TSNAudioBuffer::CreateSize(44100, 24, 2, 4);
    ASSERT_TRUE(LQueue.Pop(*LTarget));
    for (uint32_t F = 0; F < 4; ++F)
        for (uint32_t C = 0; C < 2; ++C)
            EXPECT_EQ(LTarget->GetItem(F, C), static_cast<int32_t>((1 + F) << 8));
}

TEST(SNSamplesQueueTest, PopAddGivesTheBitsOfPopMultiplyAndAddAtEveryWidth)
{
    std::mt19937 LRandom(5);
    const auto LNoise = [&](unsigned ABits, unsigned AChannels, uint32_t AFrames) {
        ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(44100, ABits, AChannels, AFrames);
        for (size_t i = 0; i < LBuffer->GetByteSize(); ++i)
            LBuffer->ByteWrite()[i] = static_cast<uint8_t>(LRandom());
        return LBuffer;
    };
    for (unsigned LBits : {8u, 16u, 24u, 32u})
        for (double LFactor : {0.5, -1.25, 1.0, std::numeric_limits<double>::infinity(), std::nan("")}) {
            // Pieces cut across the pop, one of another layout than the target's.
            TSNSamplesQueue LFused, LPlain;
            for (const ISNAudioBufferPtr& LPiece : {LNoise(LBits, 2, 3), LNoise(16, 1, 2), LNoise(LBits, 2, 4)}) {
                LFused.Push(TSNAudioBuffer::CreateCopy(*LPiece));
                LPlain.Push(LPiece);
            }
            const ISNAudioBufferPtr LTarget = LNoise(LBits, 2, 7);
            const ISNAudioBufferPtr LExpected = TSNAudioBuffer::CreateCopy(*LTarget);
            ASSERT_TRUE(LFused.PopAdd(*LTarget, LFactor));
            ISNAudioBufferPtr LPopped = TSNAudioBuffer::CreateSize(44100, LBits, 2, 7);
            ASSERT_TRUE(LPlain.Pop(*LPopped));
            LPopped->MultiplyByReal(LFactor);
            LExpected->Add(*LPopped);
            EXPECT_EQ(0, std::memcmp(LTarget->ByteRead(), LExpected->ByteRead(), LTarget->GetByteSize()))
                << LBits << " bits, factor " << LFactor;
            EXPECT_EQ(LFused.GetCollectedSamples(), 2u);
            EXPECT_FALSE(LFused.PopAdd(*LTarget, LFactor)) << "too few held: nothing taken";
            EXPECT_EQ(LFused.GetCollectedSamples(), 2u);
        }
}

TEST(SNSamplesQueueTest, AQueueAtItsLimitTakesOneMoreBufferAndTheNextPushWaitsForAPopOrAClear)
{
    TSNSamplesQueue LQueue;
    ASSERT_EQ(LQueue.GetMaxSamples(), 10000u);
    LQueue.Push(Counting(0, 9999));
    int LCallbacks = 0;
    LQueue.Push(Counting(0, 1024), [&] { ++LCallbacks; });
    EXPECT_EQ(LCallbacks, 0) << "9999 held is not over the limit";
    EXPECT_EQ(LQueue.GetCollectedSamples(), 11023u);
    std::atomic<int> LWaiting{0};
    std::atomic<bool> LDone{false};
    std::thread LProducer([&] {
        LQueue.Push(Counting(0, 10), [&] { ++LWaiting; });
        LDone = true;
    });
    SpinUntil([&] { return LWaiting > 0; });
    EXPECT_FALSE(LDone);
    EXPECT_EQ(LQueue.GetCollectedSamples(), 11023u) << "the waiting push has appended nothing";
    // Taking 1023 brings it to the limit, which is not over it.
    ISNAudioBufferPtr LTake = TSNAudioBuffer::CreateSize(44100, 16, 1, 1023);
    ASSERT_TRUE(LQueue.Pop(*LTake));
    LProducer.join();
    EXPECT_TRUE(LDone);
    EXPECT_EQ(LQueue.GetCollectedSamples(), 10010u);
    // A clear releases a waiting producer too.
    LQueue.SetMaxSamples(10);
    LWaiting = 0;
    std::thread LBlocked([&] { LQueue.Push(Counting(0, 5), [&] { ++LWaiting; }); });
    SpinUntil([&] { return LWaiting > 0; });
    LQueue.Clear();
    LBlocked.join();
    EXPECT_EQ(LQueue.GetCollectedSamples(), 5u);
}

class SNQueuedPinTest : public ::testing::Test {
protected:
    TSNPNQueuedAudioSinkPin& Pin() { return *FMerger.GetAllInputPins()[0]; }
    TSNChannelMerger FMerger;
};

// 512 for 22050 and 1115 for 48000 into 44100: through the mixer below and in
// SNAudioMixerTest; prefill in SNAudioMixerTest.APrefilledChannelJoinsFiveBuffersLate...
TEST_F(SNQueuedPinTest, NeededSamplesRoundTiesToEvenNeverWrapAndNoNeedFlushes)
{
    TSNPNQueuedAudioSinkPin& LPin = Pin();
    LPin.StartRate(MakeWaveFormat(1000, 16, 1));
    LPin.CalculateSampleCount(4, 8000.0f);
    EXPECT_EQ(LPin.FNeededSamples, 0u) << "0.5 rounds to even";
    LPin.CalculateSampleCount(12, 8000.0f);
    EXPECT_EQ(LPin.FNeededSamples, 2u) << "1.5 rounds to even";
    LPin.CalculateSampleCount(20, 8000.0f);
    EXPECT_EQ(LPin.FNeededSamples, 2u) << "2.5 rounds to even";
    // The product overflows 32 bits: an error, never a wrapped count.
    LPin.StartRate(MakeWaveFormat(48000, 16, 1));
    EXPECT_THROW(LPin.CalculateSampleCount(100000, 44100.0f), EDGException);
    EXPECT_THROW(LPin.CalculateSampleCount(1024, 0.0f), EDGException);
    // A pin that needs nothing is flushed.
    LPin.GetQueue()->Push(Counting(0, 12));
    ISNAudioBufferPtr LTarget = TSNAudioBuffer::CreateSize(44100, 16, 1, 4);
    LPin.FNeededSamples = 0;
    EXPECT_TRUE(LPin.StretchLoadBuffer(*LTarget));
    EXPECT_EQ(LPin.GetCollectedSamples(), 0u);
}

using SNMultiInputTest = TMixerTest;

TEST_F(SNMultiInputTest, WithoutAudioFormatTheOutputTakesTheHighestRateTheWidestSamplesAndTheChannelSum)
{
    Wire(2);
    Feeder(0).Start(44100, 16, 2);
    EXPECT_FALSE(FMixer.IsRunning()) << "input 1 is connected and enabled: it is waited for";
    EXPECT_GE(Feeder(1).Queries.load(), 1);
    EXPECT_TRUE(FCollector.Starts().empty());
    Feeder(1).Start(22050, 8, 1);
    ASSERT_TRUE(FMixer.IsRunning());
    ASSERT_EQ(FCollector.Starts().size(), 1u);
    const WAVEFORMATEXTENSIBLE LFormat = FCollector.Starts()[0];
    EXPECT_EQ(LFormat.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(LFormat.Format.wBitsPerSample, 16u);
    EXPECT_EQ(LFormat.Format.nChannels, 3u);
    EXPECT_EQ(Pin(0).FNeededSamples, 1024u);
    EXPECT_EQ(Pin(1).FNeededSamples, 512u);
    Feeder(0).Send(1024);
    EXPECT_EQ(Buffers().size(), 0u);
    Feeder(1).Send(512);
    ASSERT_EQ(Buffers().size(), 1u);
    const ISNAudioBuffer& LOut = *Buffers()[0];
    EXPECT_EQ(LOut.GetSize(), 1024u);
    // The mono input adds into every channel. At half the rate it gives
    // output frame F its frame round(F / 2) (ties to even, 511 at most),
    // widened from unsigned 8 bits; the stereo input has no third channel.
    for (const auto& [F, LSlow] : {std::pair{0u, 0u}, {1u, 0u}, {3u, 2u}, {5u, 2u}, {700u, 350u}, {1023u, 511u}}) {
        const int64_t LMono = (int64_t{TTestSource::ExpectedSample(LSlow, 0, 1, 8)} - 128) * 256;
        for (unsigned C = 0; C < 3; ++C) {
            const int64_t LStereo = C < 2 ? TTestSource::ExpectedSample(F, C, 2, 16) : 0;
            EXPECT_EQ(LOut.GetItem(F, C), std::clamp<int64_t>(LStereo + LMono, -32768, 32767)) << F << " " << C;
        }
    }
}

TEST_F(SNMultiInputTest, ALateJoinerIsDelayedUntilItHoldsAFullBuffer)
{
    Wire(2);
    // An input whose upstream answers ignore is not waited for, and is delayed.
    Feeder(1).AnswerIgnore = true;
    Feeder(0).Start(44100, 16, 1);
    ASSERT_TRUE(FMixer.IsRunning());
    EXPECT_TRUE(Pin(1).FIgnored);
    EXPECT_TRUE(Pin(1).FDelayed);
    Feeder(0).Send(1024, 100);
    ASSERT_EQ(Buffers().size(), 1u);
    Feeder(1).Start(44100, 16, 1);
    EXPECT_TRUE(Pin(1).FDelayed);
    EXPECT_FALSE(Pin(1).FIgnored);
    Feeder(1).Send(512, 7);
    Feeder(0).Send(1024, 100);
    ASSERT_EQ(Buffers().size(), 2u) << "the delayed input does not hold output back";
    EXPECT_EQ(FCollector.Buffers()[1]->GetItem(0, 0), 100) << "nor does it contribute yet";
    Feeder(1).Send(512, 7);
    Feeder(0).Send(1024, 100);
    ASSERT_EQ(Buffers().size(), 3u);
    EXPECT_FALSE(Pin(1).FDelayed);
    EXPECT_EQ(FCollector.Buffers()[2]->GetItem(0, 0), 107) << "caught up: both inputs add";
    Feeder(0).Send(1024, 100);
    EXPECT_EQ(Buffers().size(), 3u) << "now it is waited for";
}

TEST_F(SNMultiInputTest, AFullQueueForcesOutputPastAnInputOnlyIfItIsAllowedToUnderfeed)
{
    Wire(2);
    FMixer.GetChannels()[1].SetAllowUnderfeed(true);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(44100, 16, 1);
    for (int I = 0; I < 9; ++I)
        Feeder(0).Send(1024, 5);
    EXPECT_EQ(Buffers().size(), 0u) << "9216 queued: not full, and input 1 is short";
    Feeder(0).Send(1024, 5);
    ASSERT_EQ(Buffers().size(), 1u) << "10240 queued: full, so output goes on with silence for input 1";
    EXPECT_EQ(FCollector.Buffers()[0]->GetItem(1023, 0), 5);
    EXPECT_EQ(Pin(0).GetCollectedSamples(), 9216u);
    Feeder(0).Send(1024, 5);
    EXPECT_EQ(Buffers().size(), 2u);
    // Without underfeed a full queue still waits for the short input.
    Channel(1).SetAllowUnderfeed(false);
    Feeder(0).Send(1024, 5);
    EXPECT_EQ(Buffers().size(), 2u) << "10240 queued";
    Feeder(1).Send(3 * 1024, 1);
    EXPECT_EQ(Buffers().size(), 5u);
}

TEST_F(SNMultiInputTest, OneSendAttemptMakesAtMost301Buffers)
{
    Wire(2);
    FMixer.GetChannels()[0].SetMaxSamples(1000000);
    FMixer.GetChannels()[1].SetMaxSamples(1000000);
    Feeder(0).Start(8000, 16, 1);
    Feeder(1).Start(8000, 16, 1);
    SetPropertyText(FMixer, "AudioFormat.BufferSize", "16");
    // AudioFormat changes while running only recount the inputs' needs.
    EXPECT_EQ(Pin(0).FNeededSamples, 16u);
    Feeder(0).Send(400 * 16, 1);
    EXPECT_EQ(Buffers().size(), 0u);
    Feeder(1).Send(400 * 16, 1);
    EXPECT_EQ(Buffers().size(), 301u);
    Feeder(1).Send(1, 1);
    EXPECT_EQ(Buffers().size(), 400u);
}

TEST_F(SNMultiInputTest, APausedInputIsPassedOverAndResumedOneIsWaitedForAgain)
{
    Wire(2);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(44100, 16, 1);
    Feeder(1).Notify(std::make_shared<TPNDGPauseOperation>());
    EXPECT_TRUE(Pin(1).FIgnored);
    Feeder(0).Send(1024, 3);
    ASSERT_EQ(Buffers().size(), 1u);
    EXPECT_EQ(FCollector.Buffers()[0]->GetItem(0, 0), 3);
    Feeder(1).Notify(std::make_shared<TPNDGResumeOperation>());
    Feeder(0).Send(1024, 3);
    EXPECT_EQ(Buffers().size(), 1u) << "resumed: waited for again";
    Feeder(1).Send(1024, 4);
    ASSERT_EQ(Buffers().size(), 2u);
    EXPECT_EQ(FCollector.Buffers()[1]->GetItem(0, 0), 7);
}

TEST_F(SNMultiInputTest, BuffersBeforeAnyStartAreRefusedAndBadFormatsAreNotStarted)
{
    Wire(1);
    ISNAudioBufferPtr LEarly = TSNAudioBuffer::CreateSize(44100, 16, 1, 64);
    Feeder(0).SendBuffer(LEarly);
    EXPECT_EQ(Pin(0).GetCollectedSamples(), 0u);
    std::string LError;
    SetBackgroundErrorHandler([&](const std::string& AMessage) { LError = AMessage; });
    WAVEFORMATEXTENSIBLE LBad = MakeWaveFormat(44100, 16, 1);
    LBad.Format.nChannels = 0;
    Feeder(0).Notify(std::make_shared<TPNStartWaveOperation>(LBad));
    SetBackgroundErrorHandler(nullptr);
    EXPECT_FALSE(FMixer.IsRunning());
    EXPECT_NE(LError.find("refused"), std::string::npos) << LError;
}

TEST_F(SNMultiInputTest, TheMergerStopsWhenEveryInputHasStoppedAndSendsOneStop)
{
    TSNChannelMerger LMerger;
    TFeeder LA, LB;
    LA.Connect(LMerger.GetInputPins()[0]);
    LB.Connect(LMerger.GetInputPins()[1]);
    LMerger.GetOutputPin().Connect(FCollector.GetInputPin());
    LA.Start(44100, 16, 1);
    LB.Start(44100, 16, 1);
    LA.Stop();
    EXPECT_TRUE(LMerger.IsRunning());
    EXPECT_EQ(FCollector.Stops(), 0);
    LB.Send(1024, 5);
    // A stopped input is passed over: the other goes on, its channel silent.
    ASSERT_EQ(FCollector.Buffers().size(), 1u);
    EXPECT_EQ(FCollector.Buffers()[0]->GetItem(0, 0), 0);
    EXPECT_EQ(FCollector.Buffers()[0]->GetItem(0, 1), 5);
    LB.Stop();
    EXPECT_FALSE(LMerger.IsRunning());
    EXPECT_EQ(FCollector.Stops(), 1);
    LA.Send(1024, 1);
    EXPECT_EQ(FCollector.Buffers().size(), 1u) << "nothing after the stop";
}

TEST_F(SNMultiInputTest, MasterPumpTicksFromDownstreamReachEachInputAtItsRate)
{
    Wire(2);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(22050, 16, 1);
    for (int I = 0; I < 4; ++I)
        FCollector.GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>());
    EXPECT_EQ(Feeder(0).MasterPumps.load(), 4);
    EXPECT_EQ(Feeder(1).MasterPumps.load(), 2) << "half the output rate: every second tick";
    // Twice the output rate: two per tick; rate 0 passes every tick.
    Pin(1).StartRate(MakeWaveFormat(88200, 16, 1));
    EXPECT_EQ(Pin(1).MasterPumpCount(44100), 2);
    EXPECT_EQ(Pin(1).MasterPumpCount(0), 1);
    // A start request with no input connected turns into a pump request downstream.
    TSNAudioMixer LAlone;
    TTestCollector LCollector;
    LAlone.GetOutputPin().Connect(LCollector.GetInputPin());
    LCollector.GetInputPin().Notify(std::make_shared<TPNStartOperation>());
    ASSERT_FALSE(LCollector.Log().empty());
    EXPECT_EQ(LCollector.Log().back(), "TPNPumpRequestOperation");
}
