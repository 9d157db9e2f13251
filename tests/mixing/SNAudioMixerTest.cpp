// SPDX-License-Identifier: MIT
#include "SNAudioMixer.h"

#include "CVCollection.h"
#include "DGClock.h"
#include "MixingTestHelpers.h"

#include <gtest/gtest.h>

#include <random>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

using SNAudioMixerTest = TMixerTest;

// Clocked sources into a mixer with one channel each, and a collector.
void WireSources(TSNAudioMixer& AMixer, std::initializer_list<TTestSource*> ASources, TTestCollector& ACollector)
{
    AMixer.GetChannels().SetCount(static_cast<int>(ASources.size()));
    int I = 0;
    for (TTestSource* LSource : ASources)
        LSource->GetOutputPin().Connect(static_cast<TPNSinkPin&>(AMixer.GetInputPins()[I++]));
    AMixer.GetOutputPin().Connect(ACollector.GetInputPin());
}

} // namespace

TEST_F(SNAudioMixerTest, AddingRemovingAndMovingChannelsKeepsThePinsInChannelOrder)
{
    TTypedCollection<TSNAudioMixerChannelItem>& LChannels = FMixer.GetChannels();
    SetPropertyText(FMixer, "Channels.Count", "3");
    SetPropertyText(FMixer, "Channels[2].MaxSamples", "2048");
    EXPECT_EQ(Channel(2).GetInputPin().GetMaxSamples(), 2048u);
    EXPECT_EQ(LChannels[2].GetDisplayPath(), "TSNAudioMixer.Channels[2]");
    std::vector<TPNPin*> LPins;
    for (int I = 0; I < 3; ++I)
        LPins.push_back(&Channel(I).GetInputPin());
    auto CheckOrder = [&](std::vector<TPNPin*> AExpected) {
        ASSERT_EQ(FMixer.GetInputPins().GetCount(), static_cast<int>(AExpected.size()));
        const auto LAll = FMixer.GetAllInputPins();
        ASSERT_EQ(LAll.size(), AExpected.size());
        for (size_t I = 0; I < AExpected.size(); ++I) {
            EXPECT_EQ(&FMixer.GetInputPins()[static_cast<int>(I)], AExpected[I]) << I;
            EXPECT_EQ(&Channel(static_cast<int>(I)).GetInputPin(), AExpected[I]) << I;
            EXPECT_EQ(LAll[I], AExpected[I]) << I;
            EXPECT_EQ(AExpected[I]->GetName(), "InputPins[" + std::to_string(I) + "]");
        }
    };
    CheckOrder(LPins);
    Channel(2).SetIndex(0);
    CheckOrder({LPins[2], LPins[0], LPins[1]});
    LChannels.Move(0, 2);
    CheckOrder({LPins[0], LPins[1], LPins[2]});
    TFeeder LFeeder;
    LFeeder.Connect(*LPins[1]);
    LChannels.Delete(1);
    CheckOrder({LPins[0], LPins[2]});
    EXPECT_FALSE(LFeeder.Pin().IsConnected()) << "a removed channel's pin is disconnected";
    LChannels.Add();
    EXPECT_EQ(FMixer.GetInputPins().GetCount(), 3);
    LChannels.Move(0, 99); // a target beyond the end is the last place
    EXPECT_EQ(&Channel(2).GetInputPin(), LPins[0]);
    LChannels.Delete(5); // an index beyond the count is ignored
    EXPECT_EQ(LChannels.GetCount(), 3);
    EXPECT_THROW(LChannels.Items(3), std::out_of_range);
}

TEST_F(SNAudioMixerTest, TwoInputsWeightedByAHalfGiveTheirAverage)
{
    Wire(2);
    Channel(0).SetCoefficient(0.5);
    Channel(1).SetCoefficient(0.5);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(44100, 16, 1);
    Feeder(0).Send(1024, 20000);
    Feeder(1).Send(1024, 10000);
    Feeder(0).Send(1024, 32767);
    Feeder(1).Send(1024, 32767);
    const auto LBuffers = Buffers();
    ASSERT_EQ(LBuffers.size(), 2u);
    EXPECT_EQ(LBuffers[0]->GetItem(0, 0), 15000);
    EXPECT_EQ(LBuffers[0]->GetItem(1023, 0), 15000);
    // 16383.5 each rounds to even (16384): their sum saturates.
    EXPECT_EQ(LBuffers[1]->GetItem(0, 0), 32767);
}

TEST_F(SNAudioMixerTest, ADisabledChannelAddsNothingWhileItsQueueStillDrains)
{
    Wire(2);
    Channel(1).SetEnabled(false);
    // A disabled input is not waited for at the start: started first, it
    // waits for input 0 with the others and is not delayed.
    Feeder(1).Start(44100, 16, 1);
    EXPECT_FALSE(FMixer.IsRunning());
    Feeder(0).Start(44100, 16, 1);
    for (int I = 0; I < 3; ++I) {
        Feeder(0).Send(1024, 100);
        Feeder(1).Send(1024, 55);
    }
    const auto LBuffers = Buffers();
    ASSERT_EQ(LBuffers.size(), 3u);
    for (const auto& LBuffer : LBuffers)
        EXPECT_EQ(LBuffer->GetItem(512, 0), 100);
    EXPECT_EQ(Channel(1).GetInputPin().GetCollectedSamples(), 0u);
    // Disabled as the first contributor: silence in its place.
    Channel(0).SetEnabled(false);
    Channel(1).SetEnabled(true);
    Feeder(0).Send(1024, 100);
    Feeder(1).Send(1024, 55);
    ASSERT_EQ(Buffers().size(), 4u);
    EXPECT_EQ(Buffers()[3]->GetItem(0, 0), 55);
}

TEST_F(SNAudioMixerTest, AChannelThatWaitsForDataHoldsOutputBackAndItsStopEndsOutputUntilTheNextStart)
{
    Wire(2);
    Channel(1).SetWaitForDataBefore(mcwWaitForData);
    Channel(1).SetAllowUnderfeed(true);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(44100, 16, 1);
    for (int I = 0; I < 10; ++I)
        Feeder(0).Send(1024, 1);
    EXPECT_EQ(Buffers().size(), 0u) << "input 0 is full, but input 1 has never delivered";
    Feeder(1).Send(1024, 2);
    ASSERT_EQ(Buffers().size(), 1u);
    EXPECT_EQ(Buffers()[0]->GetItem(0, 0), 3);
    Feeder(1).Stop();
    Feeder(0).Send(1024, 1);
    EXPECT_EQ(Buffers().size(), 1u) << "output stops with the waited-for stream";
    EXPECT_TRUE(FMixer.IsRunning()) << "a stopped input does not stop the mixer";
    EXPECT_EQ(FCollector.Stops(), 0);
    Feeder(1).Start(44100, 16, 1);
    Feeder(1).Send(1024, 2);
    EXPECT_EQ(Buffers().size(), 2u);
}

// The end of the stream sends what the queues hold, the last buffer shorter;
// an input that stops while another goes on loses its tail.
TEST_F(SNAudioMixerTest, TheEndOfTheStreamSendsWhatTheQueuesHoldAsALastShorterBuffer)
{
    Wire(2);
    Feeder(0).Start(44100, 16, 2);
    Feeder(1).Start(44100, 16, 2);
    for (int I = 0; I < 3; ++I) {
        Feeder(0).Send(700, 100);
        Feeder(1).Send(700, 10);
    }
    Feeder(0).Stop(); // The two end together, in either order.
    EXPECT_EQ(FCollector.Frames(), 2048u);
    Feeder(1).Stop();
    ASSERT_EQ(FCollector.Frames(), 2100u);
    ASSERT_EQ(Buffers().back()->GetChannels(), 4u);
    EXPECT_EQ(Buffers().back()->GetSize(), 52u);
    EXPECT_EQ(Buffers().back()->GetItem(51, 0), 110);
    Feeder(0).Start(44100, 16, 2);
    Feeder(1).Start(44100, 16, 2);
    Feeder(0).Send(1500, 100);
    Feeder(0).Stop();
    for (int I = 0; I < 3; ++I)
        Feeder(1).Send(1000, 10);
    Feeder(1).Stop();
    const auto LBuffers = Buffers();
    EXPECT_EQ(FCollector.Frames(), 5100u);
    for (size_t I = 3; I < LBuffers.size(); ++I)
        EXPECT_EQ(LBuffers[I]->GetItem(0, 0), 10) << I;
}

// The channel sum without AudioFormat: SNMultiInputTest.
TEST_F(SNAudioMixerTest, WithAudioFormatTheOutputTakesItsChannelsAndWaitsForNoInput)
{
    Wire(2);
    FMixer.GetAudioFormat().SetEnabled(true);
    Feeder(0).Start(44100, 16, 2);
    EXPECT_TRUE(FMixer.IsRunning()) << "with AudioFormat enabled no input is waited for";
    Feeder(1).Start(44100, 16, 2);
    EXPECT_EQ(FCollector.Starts().at(0).Format.nChannels, 2u);
}

TEST_F(SNAudioMixerTest, AnInputAt48000IntoA44100OutputGives1115SamplesPerBufferStretchedTo1024)
{
    Wire(1);
    FMixer.GetAudioFormat().SetEnabled(true);
    FMixer.GetAudioFormat().SetCountChannels(1);
    Feeder(0).Start(48000, 16, 1);
    ASSERT_EQ(Channel(0).GetInputPin().FNeededSamples, 1115u);
    Feeder(0).Send(1114);
    EXPECT_EQ(Buffers().size(), 0u);
    Feeder(0).Send(1);
    ASSERT_EQ(Buffers().size(), 1u);
    const ISNAudioBuffer& LOut = *Buffers()[0];
    ASSERT_EQ(LOut.GetSize(), 1024u);
    EXPECT_EQ(LOut.GetSamplesPerSecond(), 44100u);
    // Frame i reads input frame round(i x 1115 / 1024), ties to even: 512 x
    // 1115 / 1024 = 557.5 reads 558, 1023 reads 1113.9 -> 1114.
    const std::pair<uint32_t, int32_t> LReads[] = {{0, 0}, {1, 1}, {11, 12}, {512, 558}, {1023, 1114}};
    for (const auto& [LFrame, LInput] : LReads)
        EXPECT_EQ(LOut.GetItem(LFrame, 0), LInput) << LFrame;
}

TEST_F(SNAudioMixerTest, PumpNegotiationStrongerDownstreamClaimTravelsUpstream)
{
    Wire(1);
    FMixer.SetPumpPriority(7);
    // A downstream claim of type 3 wins and goes upstream.
    TFeeder LClaimer;
    TSNPNAudioSinkPin LClaimPin(&LClaimer, "In");
    LClaimPin.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        if (auto* LPump = OperationAs<TPNPumpRequestOperation>(AOperation))
            LPump->Claim(&LClaimer, ptHardware, 1);
        return true;
    });
    FMixer.GetOutputPin().Disconnect(FCollector.GetInputPin());
    FMixer.GetOutputPin().Connect(LClaimPin);
    auto LRequest = std::make_shared<TPNPumpRequestOperation>(&Feeder(0), ptSoftware, 0);
    Feeder(0).Notify(LRequest);
    EXPECT_EQ(LRequest->PumpObject, &LClaimer);
    EXPECT_EQ(LRequest->PumpType, ptHardware);
    FMixer.GetOutputPin().Disconnect(LClaimPin);
}

TEST_F(SNAudioMixerTest, WithThreadingTheBuffersAreMadeOnTheMixersOwnThread)
{
    TDGVirtualTimeScope LTime;
    Wire(2);
    FMixer.GetThreading().SetEnabled(true);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(44100, 16, 1);
    const std::thread::id LCaller = std::this_thread::get_id();
    std::atomic<int> LOnCaller{0};
    TSNPNAudioSinkPin LProbe(&FCollector, "Probe");
    LProbe.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr&) {
        LOnCaller += std::this_thread::get_id() == LCaller;
        return true;
    });
    FMixer.GetOutputPin().Connect(LProbe);
    for (int I = 0; I < 5; ++I) {
        Feeder(0).Send(1024, 1);
        Feeder(1).Send(1024, 2);
    }
    // The processing thread's pending work holds virtual time: idle means done.
    TDGTimeline::WaitIdle();
    EXPECT_EQ(Buffers().size(), 5u);
    EXPECT_EQ(LOnCaller, 0);
    FMixer.GetOutputPin().Disconnect(LProbe);
}

TEST(SNAudioMixerClockTest, ASelfClockedMixerSendsSilentBuffersAtItsClockRateWhileEveryInputIsPaused)
{
    TDGVirtualTimeScope LTime;
    TTestSource LA, LB;
    for (TTestSource* LSource : {&LA, &LB}) {
        LSource->GetAudioFormat().SetCountChannels(1);
        LSource->SetPumpRequest(true);
    }
    TSNAudioMixer LMixer;
    TTestCollector LCollector;
    WireSources(LMixer, {&LA, &LB}, LCollector);
    std::unique_ptr<TDGClockGen> LPause, LEnd;
    {
        TDGWorkScope LHold;
        LA.StartSource();
        LB.StartSource();
        EXPECT_TRUE(LMixer.HasOwnClock());
        EXPECT_EQ(LA.GetPumpObject(), &LA) << "the mixer pumps itself and leaves upstream claims alone";
        LPause = std::make_unique<TDGClockGen>(DGTimeUnitsPerSecond, [&] {
            LPause->Stop();
            LA.SetPaused(true);
            LB.SetPaused(true);
        });
        LEnd = std::make_unique<TDGClockGen>(2 * DGTimeUnitsPerSecond, [&] {
            LEnd->Stop();
            LMixer.Stop();
            LA.StopSource();
            LB.StopSource();
        });
        LPause->Start();
        LEnd->Start();
    }
    TDGTimeline::WaitIdle();
    // Period 1024 x 9999999 / 44100 = 232200. Tick 1 finds the sources'
    // buffers of 0 s and 0.0232199 s; ticks 2 to 43 one each; ticks 44 to 86
    // (up to 2 s) find both inputs paused and send silence.
    const auto LBuffers = LCollector.Buffers();
    ASSERT_EQ(LBuffers.size(), 44u + 43u);
    for (size_t K = 0; K < LBuffers.size(); ++K)
        for (uint32_t I = 0; I < 1024; I += 101) {
            const int64_t LExpected = K < 44 ? 2 * int64_t{TTestSource::ExpectedSample(K * 1024 + I, 0, 1, 16)} : 0;
            ASSERT_EQ(LBuffers[K]->GetItem(I, 0), std::clamp<int64_t>(LExpected, -32768, 32767)) << "buffer " << K << " frame " << I;
        }
    EXPECT_EQ(LCollector.Stops(), 1);
    EXPECT_FALSE(LMixer.HasOwnClock());
}

// Each producer k writes an odd count (2 (n mod 64) + 1) into byte k of a
// 32-bit sample. Coefficients 1 and 2 keep every byte apart, and the count
// read back from each byte of output frame j must be j mod 64: no frame of
// any input lost, repeated or moved. Without AudioFormat the output waits
// for all four inputs to start, so none is delayed.
TEST_F(SNAudioMixerTest, FourProducersWhileChannelsAreAddedRemovedAndReweighted)
{
    constexpr int CProducers = 4;
    constexpr uint32_t CChunk = 256, CFrames = 200 * 1024;
    Wire(CProducers);
    std::atomic<int> LRunning{CProducers};
    std::vector<std::thread> LThreads;
    for (int K = 0; K < CProducers; ++K)
        LThreads.emplace_back([&, K] {
            Feeder(K).Start(44100, 32, 1);
            for (uint32_t LFirst = 0; LFirst < CFrames; LFirst += CChunk) {
                ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(44100, 32, 1, CChunk);
                for (uint32_t F = 0; F < CChunk; ++F)
                    PutSample(*LBuffer, F, 0, static_cast<int32_t>((2 * ((LFirst + F) % 64) + 1) << (8 * K)));
                Feeder(K).SendBuffer(LBuffer);
            }
            --LRunning;
        });
    std::mt19937 LRandom(1234);
    TSNAudioMixerChannels& LChannels = FMixer.GetChannels();
    while (LRunning > 0) {
        const int LCount = LChannels.GetCount();
        const int LPick = static_cast<int>(LRandom() % 5);
        if (LPick == 0 && LCount < 12)
            LChannels.Add().SetCoefficient(3.0);
        else if (LPick == 1 && LCount > CProducers)
            LChannels.Delete(CProducers + static_cast<int>(LRandom() % (LCount - CProducers)));
        else if (LPick == 2 && LCount > CProducers + 1)
            LChannels.Move(CProducers, LCount - 1);
        else if (LPick > 2) // The top byte stays at 1 so the sum keeps its sign bit clear.
            LChannels[static_cast<int>(LRandom() % (CProducers - 1))].SetCoefficient(1.0 + LRandom() % 2);
        std::this_thread::yield();
    }
    for (auto& LThread : LThreads)
        LThread.join();
    const auto LBuffers = Buffers();
    ASSERT_EQ(LBuffers.size(), CFrames / 1024);
    uint64_t LFrame = 0;
    for (const auto& LBuffer : LBuffers)
        for (uint32_t I = 0; I < LBuffer->GetSize(); ++I, ++LFrame)
            for (int K = 0; K < CProducers; ++K) {
                uint32_t LByte = (static_cast<uint32_t>(LBuffer->GetItem(I, 0)) >> (8 * K)) & 0xFF;
                if ((LByte & 1) == 0)
                    LByte >>= 1; // weighted by 2
                ASSERT_EQ(LByte, 2 * (LFrame % 64) + 1) << "frame " << LFrame << " producer " << K;
            }
}

// A producer blocked on a full queue (1024 and 2048 held are not over the
// limit; the third push waits) is released when the output drains, or by a stop.
TEST_F(SNAudioMixerTest, AProducerBlockedOnAFullQueueIsReleasedByOutputOrByAStop)
{
    for (const bool LStop : {false, true}) {
        SCOPED_TRACE(LStop ? "stop" : "output");
        TSNAudioMixer LMixer;
        LMixer.GetChannels().SetCount(2);
        LMixer.GetChannels()[0].SetMaxSamples(2000);
        TTestCollector LCollector;
        LMixer.GetOutputPin().Connect(LCollector.GetInputPin());
        TFeeder LA, LB;
        LA.Connect(LMixer.GetInputPins()[0]);
        LB.Connect(LMixer.GetInputPins()[1]);
        LA.Start(44100, 16, 1);
        LB.Start(44100, 16, 1);
        std::atomic<int> LSent{0};
        std::thread LProducer([&] {
            for (int I = 0; I < 3; ++I, ++LSent)
                LA.Send(1024, 1);
        });
        TSNPNQueuedAudioSinkPin& LPin = LMixer.GetChannels()[0].GetInputPin();
        SpinUntil([&] { return LSent == 2 && LPin.GetCollectedSamples() == 2048; });
        EXPECT_EQ(LSent, 2);
        if (LStop)
            LMixer.Stop();
        else
            LB.Send(1024, 2);
        LProducer.join();
        EXPECT_EQ(LSent, 3);
        EXPECT_EQ(LMixer.IsRunning(), !LStop);
        EXPECT_EQ(LCollector.Buffers().empty(), LStop);
    }
}

// A prefilled channel is left out of the first outputs while its queue fills
// (100 ms at 44100 Hz: 4410 samples, five 1024-frame outputs), then joins
// from its first sample, five buffers behind: nothing is dropped.
TEST_F(SNAudioMixerTest, APrefilledChannelJoinsFiveBuffersLateWithNothingDropped)
{
    Wire(2);
    Channel(1).SetPrefillInterval(100);
    Feeder(0).Start(44100, 16, 1);
    Feeder(1).Start(44100, 16, 1);
    for (int I = 0; I < 9; ++I) {
        Feeder(0).Send(1024, 100);
        Feeder(1).Send(1024, I + 1);
    }
    const auto LBuffers = Buffers();
    ASSERT_EQ(LBuffers.size(), 9u);
    for (int I = 0; I < 9; ++I) {
        const int32_t LExpected = I < 5 ? 100 : 100 + (I - 4);
        EXPECT_EQ(LBuffers[static_cast<size_t>(I)]->GetItem(0, 0), LExpected) << "output " << I;
        EXPECT_EQ(LBuffers[static_cast<size_t>(I)]->GetItem(1023, 0), LExpected) << "output " << I;
    }
    // Five buffers of channel 1 are still queued: the delay, not a loss.
    EXPECT_EQ(Channel(1).GetInputPin().GetCollectedSamples(), 5u * 1024);
}
