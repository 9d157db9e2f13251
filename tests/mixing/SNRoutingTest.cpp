// SPDX-License-Identifier: MIT
// The routing components: switch, queued switch, buffer queue.
#include "SNBufferQueue.h"
#include "SNQueuedSwitch.h"
#include "SNSwitch.h"

#include "DGClock.h"
#include "MixingTestHelpers.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

constexpr uint32_t CFrames = 1024;

std::vector<int32_t> Range(int32_t AFirst, int32_t ACount)
{
    std::vector<int32_t> LValues;
    for (int32_t I = 0; I < ACount; ++I)
        LValues.push_back(AFirst + I);
    return LValues;
}

} // namespace

TEST(SNSwitchTest, HoldsTheStartBackDropsWhileDisabledAndPassesStops)
{
    TFeeder LFeeder;
    TSNSwitch LSwitch;
    TTestCollector LOut;
    LFeeder.Connect(LSwitch.GetInputPin());
    LSwitch.GetOutputPin().Connect(LOut.GetInputPin());
    LSwitch.SetEnabled(false);
    LFeeder.Start(44100, 16, 1);
    LFeeder.Send(CFrames, 1);
    EXPECT_TRUE(LOut.Log().empty());
    LSwitch.SetEnabled(true);
    LFeeder.Send(CFrames, 2);
    EXPECT_EQ(LOut.Log(), (std::vector<std::string>{"TPNStartWaveOperation", "TPNDGResumeOperation",
                                                    "TPNSuppliedBufferOperation"}));
    EXPECT_EQ(Values(LOut), std::vector<int32_t>{2});
    // Off and on again without ResetOnEnable and without a new start: nothing extra.
    LSwitch.SetEnabled(false);
    LFeeder.Send(CFrames, 3);
    LSwitch.SetEnabled(true);
    EXPECT_EQ(LOut.Log().size(), 3u);
    // With ResetOnEnable every enabling starts afresh with the stream's format.
    LSwitch.SetResetOnEnable(true);
    LSwitch.SetEnabled(false);
    LSwitch.SetEnabled(true);
    ASSERT_EQ(LOut.Starts().size(), 2u);
    EXPECT_EQ(LOut.Starts()[1].Format.nSamplesPerSec, 44100u);
    // A stop passes while disabled.
    LSwitch.SetEnabled(false);
    LFeeder.Stop();
    EXPECT_EQ(LOut.Stops(), 1);
    EXPECT_EQ(Values(LOut), std::vector<int32_t>{2});
}

TEST(SNQueuedSwitchTest, PlaylistSendsEveryQueuedBufferOnceInOrderAndDropsUnqueuedInputs)
{
    TDGVirtualTimeScope LVirtual;
    TSNQueuedSwitch LSwitch;
    LSwitch.GetInputChannels().SetCount(3);
    LSwitch.GetInputChannels()[1].GetQueuing().SetEnabled(true);
    LSwitch.GetInputChannels()[1].SetThresholdMax(2);
    LSwitch.GetInputChannels()[1].SetThresholdMin(2);
    std::vector<std::string> LEvents;
    int LSwitches = 0;
    LSwitch.SetOnSwitch([&](TPersistent& ASender) {
        EXPECT_EQ(&ASender, &LSwitch);
        ++LSwitches;
    });
    LSwitch.SetThresholdListener([&](bool AMax, int32_t AChannel, size_t ACount) {
        if (AChannel == 1)
            LEvents.push_back((AMax ? "max " : "min ") + std::to_string(ACount));
    });
    TFeeder LA, LB, LC;
    TTestCollector LOut;
    LA.Connect(LSwitch.GetInputPins()[0]);
    LB.Connect(LSwitch.GetInputPins()[1]);
    LC.Connect(LSwitch.GetInputPins()[2]);
    LSwitch.GetOutputPin().Connect(LOut.GetInputPin());
    {
        TDGWorkScope LHold;
        LA.Start(44100, 16, 1);
        LB.Start(48000, 16, 1); // a later start keeps the first format
        LC.Start(44100, 16, 1);
        for (int32_t I = 0; I < 4; ++I) {
            LA.Send(CFrames, 1000 + I);
            LB.Send(CFrames, 2000 + I);
            LC.Send(CFrames, 3000 + I); // not active, no queuing: dropped
        }
        // Input 1 waits while input 0 plays.
        EXPECT_EQ(LSwitch.GetInputChannels()[1].GetQueuedCount(), 4u);
        EXPECT_EQ(LSwitch.GetInputChannels()[2].GetQueuedCount(), 0u);
        LB.Send(CFrames, 2004);
        LA.Stop();
        LC.Stop();
        LB.Stop();
    }
    TDGTimeline::WaitIdle();
    std::vector<int32_t> LExpected = Range(1000, 4);
    for (int32_t V : Range(2000, 5))
        LExpected.push_back(V);
    EXPECT_EQ(Values(LOut), LExpected);
    ASSERT_EQ(LOut.Starts().size(), 1u);
    EXPECT_EQ(LOut.Starts()[0].Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(LOut.Stops(), 1);
    EXPECT_EQ(LSwitches, 1);
    EXPECT_EQ(LSwitch.GetActiveChannelIndex(), 1);
    EXPECT_EQ(LEvents, (std::vector<std::string>{"max 3", "max 4", "max 5", "min 1", "min 0"}));
    EXPECT_FALSE(LSwitch.IsAudioStarted());
}

TEST(SNQueuedSwitchTest, TheActiveIndexIsClampedAndNoWalkRunsForEverOnItsOwnClock)
{
    TDGVirtualTimeScope LVirtual;
    TSNQueuedSwitch LSwitch;
    LSwitch.SetActiveChannelIndex(-4);
    EXPECT_EQ(LSwitch.GetActiveChannelIndex(), 0);
    LSwitch.GetInputChannels().SetCount(3);
    LSwitch.SetActiveChannelIndex(5);
    EXPECT_EQ(LSwitch.GetActiveChannelIndex(), 2) << "clamped into the items";
    EXPECT_TRUE(LSwitch.GetInputChannels()[2].GetActive());
    LSwitch.GetInputChannels()[0].SetActive(true);
    EXPECT_EQ(LSwitch.GetActiveChannelIndex(), 0);
    LSwitch.GetInputChannels().SetCount(2);
    TFeeder LA;
    TTestCollector LOut;
    LA.Connect(LSwitch.GetInputPins()[1]);
    LSwitch.GetOutputPin().Connect(LOut.GetInputPin());
    int LSwitches = 0;
    LSwitch.SetOnSwitch([&](TPersistent&) { ++LSwitches; });
    {
        TDGWorkScope LHold;
        LA.Start(48000, 16, 2);
        // Input 1 is not active and queues nothing: its buffers are dropped
        // and input 0 (never started) has nothing either.
        LA.Send(CFrames, 7);
        EXPECT_TRUE(LSwitch.IsPump());
        LA.Stop();
    }
    TDGTimeline::WaitIdle();
    EXPECT_TRUE(Values(LOut).empty());
    EXPECT_EQ(LOut.Stops(), 1);
    EXPECT_EQ(LSwitches, 0);
    LSwitch.GetInputChannels().SetCount(0);
    EXPECT_EQ(LSwitch.GetInputPins().GetCount(), 0);
}

TEST(SNBufferQueueTest, DropsAboveMaxSendsElevenPerFrameAndFlushesAtTheStop)
{
    TDGVirtualTimeScope LVirtual;
    TFeeder LFeeder;
    TSNBufferQueue LQueue;
    TTestCollector LOut;
    LFeeder.Connect(LQueue.GetInputPin());
    LQueue.GetOutputPin().Connect(LOut.GetInputPin());
    LFeeder.Start(44100, 16, 1);
    for (int32_t I = 0; I < 35; ++I)
        LFeeder.Send(CFrames, I);
    // The start waits for the main thread; meanwhile the 31st and later are dropped.
    EXPECT_TRUE(LOut.Log().empty());
    EXPECT_EQ(LQueue.GetCount(), 30u);
    EXPECT_EQ(LQueue.GetDroppedCount(), 5u);
    TDGTimeline::WaitIdle(); // runs the posted start
    ASSERT_EQ(LOut.Starts().size(), 1u);
    EXPECT_EQ(Values(LOut), Range(0, TSNBufferQueue::CFrameBuffers));
    LFeeder.Send(CFrames, 100);
    TDGTimeline::WaitIdle();
    EXPECT_EQ(Values(LOut).size(), 22u);
    LFeeder.Stop();
    std::vector<int32_t> LExpected = Range(0, 30);
    LExpected.push_back(100);
    EXPECT_EQ(Values(LOut), LExpected);
    EXPECT_EQ(LOut.Stops(), 1);
    EXPECT_EQ(LQueue.GetCount(), 0u);
}

TEST(SNBufferQueueTest, ThreadedPathWaitsForMoreThanMinAndPumpsMeanwhile)
{
    TDGVirtualTimeScope LVirtual;
    TFeeder LFeeder;
    TSNBufferQueue LQueue;
    TTestCollector LOut;
    LQueue.GetThreading().SetEnabled(true);
    LQueue.SetMin(5);
    LFeeder.Connect(LQueue.GetInputPin());
    LQueue.GetOutputPin().Connect(LOut.GetInputPin());
    LFeeder.Start(44100, 16, 1);
    for (int32_t I = 0; I < 5; ++I)
        LFeeder.Send(CFrames, I);
    TDGTimeline::WaitIdle();
    EXPECT_TRUE(LOut.Starts().empty());
    EXPECT_GT(LFeeder.MasterPumps.load(), 0);
    LFeeder.Send(CFrames, 5);
    TDGTimeline::WaitIdle();
    ASSERT_EQ(LOut.Starts().size(), 1u);
    EXPECT_EQ(Values(LOut), Range(0, 6));
    LFeeder.Stop();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LOut.Stops(), 1);
}

TEST(SNBufferQueueTest, DisabledPassesThroughAndDisablingSendsTheHeldStart)
{
    TFeeder LFeeder;
    TSNBufferQueue LQueue;
    TTestCollector LOut;
    LFeeder.Connect(LQueue.GetInputPin());
    LQueue.GetOutputPin().Connect(LOut.GetInputPin());
    LFeeder.Start(44100, 16, 1);
    LFeeder.Send(CFrames, 1);
    EXPECT_TRUE(LOut.Log().empty());
    // A downstream multi-input component is told not to wait for this stream.
    auto LQuery = std::make_shared<TPNQueryStreamOperation>();
    LOut.GetInputPin().Notify(LQuery);
    EXPECT_EQ(LOut.Log(), std::vector<std::string>{"TPNIgnoreStreamOperation"});
    LQueue.SetEnabled(false);
    EXPECT_EQ(LOut.Starts().size(), 1u);
    EXPECT_EQ(LQueue.GetCount(), 0u); // disabling discards what is queued
    LFeeder.Send(CFrames, 2);
    EXPECT_EQ(Values(LOut), std::vector<int32_t>{2});
    LFeeder.Stop();
    EXPECT_EQ(LOut.Stops(), 1);
    MainThread().ProcessMessages(); // the posted start of the first buffer finds the stream gone
    EXPECT_EQ(LOut.Starts().size(), 1u);
}
