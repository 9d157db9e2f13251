// SPDX-License-Identifier: MIT
// Routing components with producers on several threads while their settings
// change from another thread (run under ThreadSanitizer too).
#include "SNBufferQueue.h"
#include "SNQueuedSwitch.h"
#include "SNSwitch.h"

#include "MixingTestHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace Sonorix;
using namespace Sonorix::Test;

constexpr int CBuffers = 60;

TEST(SNRoutingConcurrency, QueuedSwitchWithProducersAndAMovingActiveInputSendsNothingTwice)
{
    TSNQueuedSwitch LSwitch;
    LSwitch.GetInputChannels().SetCount(3);
    TFeeder LFeeders[3];
    TTestCollector LOut;
    for (int T = 0; T < 3; ++T)
        LFeeders[T].Connect(LSwitch.GetInputPins()[T]);
    LSwitch.GetOutputPin().Connect(LOut.GetInputPin());
    std::atomic<int> LEvents{0};
    LSwitch.SetOnSwitch([&](TPersistent&) { ++LEvents; });
    LSwitch.GetInputChannels()[1].SetOnThresholdMax([&](TPersistent&) { ++LEvents; });
    // Three producers while the settings change on another thread.
    std::atomic<bool> LDone{false};
    std::thread LChanger([&] {
        for (int I = 0; !LDone; ++I) {
            LSwitch.SetActiveChannelIndex(I % 4);
            LSwitch.GetInputChannels()[I % 3].GetQueuing().SetEnabled(I % 2 == 0);
            LSwitch.GetInputChannels()[1].SetThresholdMax(I % 7);
            LSwitch.SetPaused(I % 5 == 0);
            if (I % 50 == 0 && LSwitch.GetInputChannels().GetCount() < 6)
                LSwitch.GetInputChannels().Add(); // a new input while the others stream
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> LProducers;
    for (int T = 0; T < 3; ++T)
        LProducers.emplace_back([&, T] {
            LFeeders[T].Start(192000, 16, 1);
            for (int I = 0; I < CBuffers; ++I)
                LFeeders[T].Send(256, T * 1000 + I);
            LFeeders[T].Stop();
        });
    for (std::thread& LThread : LProducers)
        LThread.join();
    LDone = true;
    LChanger.join();
    LSwitch.SetPaused(false);
    LSwitch.StopSource(); // the rest goes out now, then the stop
    const std::vector<int32_t> LValues = Values(LOut);
    EXPECT_EQ(std::set<int32_t>(LValues.begin(), LValues.end()).size(), LValues.size());
    EXPECT_LE(LValues.size(), size_t{3 * CBuffers});
    // The output may have ended and started again between producers: every start has its stop.
    EXPECT_EQ(static_cast<size_t>(LOut.Stops()), LOut.Starts().size());
    EXPECT_FALSE(LSwitch.IsAudioStarted());
}

TEST(SNRoutingConcurrency, SwitchAndBufferQueueWhileEnabledMinAndMaxChange)
{
    TSNSwitch LSwitch;
    TSNBufferQueue LQueue;
    TFeeder LFeeder;
    TTestCollector LOut;
    LFeeder.Connect(LSwitch.GetInputPin());
    LSwitch.GetOutputPin().Connect(LQueue.GetInputPin());
    LQueue.GetOutputPin().Connect(LOut.GetInputPin());
    std::atomic<bool> LStop{false};
    // The main thread serves the queue's posted starts meanwhile.
    std::thread LProducer([&] {
        LFeeder.Start(48000, 16, 2);
        for (int I = 0; I < 10 * CBuffers; ++I)
            LFeeder.Send(64, I);
        LFeeder.Stop();
        LStop = true;
        MainThread().Wake();
    });
    for (int I = 0; !LStop; ++I) {
        LSwitch.SetEnabled(I % 3 != 0);
        LSwitch.SetResetOnEnable(I % 4 == 0);
        LQueue.SetMin(static_cast<uint32_t>(I % 5));
        LQueue.SetMax(static_cast<uint32_t>(I % 40));
        LQueue.SetEnabled(I % 7 != 0);
        MainThread().WaitAndProcess(std::chrono::milliseconds(1));
    }
    LProducer.join();
    MainThread().ProcessMessages();
    // A buffer passes at most once, in order.
    const std::vector<int32_t> LValues = Values(LOut);
    EXPECT_TRUE(std::is_sorted(LValues.begin(), LValues.end()));
    EXPECT_EQ(std::set<int32_t>(LValues.begin(), LValues.end()).size(), LValues.size());
    EXPECT_EQ(LQueue.GetCount(), 0u);
}
