// SPDX-License-Identifier: MIT
// Properties change while audio flows on another thread: run under the
// thread sanitizer (cmake --preset tsan) to check the locking.
#include "SNChannelSplitter.h"
#include "SNRMSMeter.h"
#include "SNSpectrum.h"
#include "SNVUMeter.h"
#include "AnalysisTestKit.h"
#include "CVThreading.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// Feeds ABuffers buffers of 4-channel audio from a thread of its own while
// AChange runs on this (the main) thread until the feeding is done.
void FeedWhileChanging(TFeeder& AFeeder, int ABuffers, const std::function<void(int)>& AChange)
{
    ISNAudioBufferPtr LBuffer = MakeSignal(44100, 16, 4, 333, [](uint32_t f, unsigned c) {
        return 8000 * std::sin(0.05 * f * (c + 1));
    });
    AFeeder.Start(LBuffer->GetWaveFormat());
    std::atomic<bool> LDone{false};
    std::thread LAudio([&] {
        for (int i = 0; i < ABuffers; ++i)
            AFeeder.Send(LBuffer);
        LDone = true;
    });
    for (int LStep = 0; !LDone; ++LStep) {
        AChange(LStep);
        MainThread().ProcessMessages();
    }
    LAudio.join();
    // Deliver what is pending before the stop withdraws it.
    MainThread().ProcessMessages();
    AFeeder.Stop();
}

} // namespace

TEST(SNAnalysisConcurrency, MeterPeriodAndChannelCountChangeWhileAudioFlows)
{
    MainThread().SetMainThread();
    TFeeder LFeeder;
    TSNRMSMeter LMeter;
    TRealRecorder LLevel(TPNDataType::dtRealValue);
    LFeeder.Pin.Connect(LMeter.GetInputPin());
    LLevel.Listen(LMeter.GetOutputPins()[0]);
    std::atomic<int> LEvents{0};
    LMeter.SetSynchronizeType(stQueue);
    LMeter.SetOnValueChange([&](TPersistent&, int32_t AChannel, double, double, double) {
        EXPECT_LT(AChannel, 32);
        ++LEvents;
    });
    FeedWhileChanging(LFeeder, 400, [&](int AStep) {
        LMeter.SetPeriod(static_cast<uint32_t>(1 + AStep % 17));
        LMeter.SetCountChannels(1 + AStep % 6);
        LMeter.SetMode(AStep % 2 ? vmDecibel : vmLinear);
        LMeter.SetSynchronizeType(AStep % 3 == 0 ? stSingleBuffer : stQueue);
        (void)LMeter.GetActiveChannels();
    });
    EXPECT_GT(LEvents.load(), 0);
    EXPECT_FALSE(LLevel.Values().empty()) << "pin 0 is never removed";
}

TEST(SNAnalysisConcurrency, SplitterOutputsComeAndGoWhileAudioFlows)
{
    TFeeder LFeeder;
    TSNChannelSplitter LSplitter;
    LFeeder.Pin.Connect(LSplitter.GetInputPin());
    TTestCollector LFirst;
    static_cast<TPNSourcePin&>(LSplitter.GetOutputPins()[0]).Connect(LFirst.GetInputPin());
    FeedWhileChanging(LFeeder, 400, [&](int AStep) {
        LSplitter.SetCountChannels(1 + AStep % 5);
        (void)LSplitter.GetActiveChannels();
    });
    EXPECT_EQ(LFirst.Frames(), 400u * 333);
}

TEST(SNAnalysisConcurrency, SpectrumOrderStepAndChannelCountChangeWhileAudioFlows)
{
    MainThread().SetMainThread();
    TFeeder LFeeder;
    TSNSpectrum LSpectrum;
    TRealRecorder LFirst(TPNDataType::dtReal);
    LFeeder.Pin.Connect(LSpectrum.GetInputPin());
    LFirst.Listen(LSpectrum.GetOutputPins()[0]);
    std::atomic<int> LResults{0};
    LSpectrum.SetOnFrequencyResult([&](TPersistent&, int32_t, double, double) { ++LResults; });
    FeedWhileChanging(LFeeder, 400, [&](int AStep) {
        LSpectrum.SetOrder(2 + AStep % 9);
        LSpectrum.SetSamplingWindowStep(static_cast<uint32_t>(AStep % 300));
        LSpectrum.SetCountChannels(1 + AStep % 6);
        LSpectrum.SetSynchronize(AStep % 2 == 0);
        LSpectrum.SetModedB(static_cast<TSNdBMode>(AStep % 3));
    });
    EXPECT_FALSE(LFirst.Buffers().empty());
}

TEST(SNAnalysisConcurrency, VUMeterRestartsWhileItsPeriodChanges)
{
    TFeeder LFeeder;
    TSNVUMeter LMeter;
    TRealRecorder LLevel(TPNDataType::dtRealValue);
    LFeeder.Pin.Connect(LMeter.GetInputPin());
    LLevel.Listen(LMeter.GetOutputPins()[0]);
    LMeter.SetSynchronizeType(stNone);
    FeedWhileChanging(LFeeder, 300, [&](int AStep) {
        LMeter.SetPeriod(static_cast<uint32_t>(1 + AStep % 23));
        LMeter.SetCountChannels(1 + AStep % 4);
    });
    EXPECT_FALSE(LLevel.Values().empty());
}
