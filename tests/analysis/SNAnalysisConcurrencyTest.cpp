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

// Each analyser is fed 400 buffers of 4-channel audio from a thread of its own
// while its settings change on the main thread, which also delivers events.
TEST(SNAnalysisConcurrency, SettingsChangeWhileAudioFlows)
{
    MainThread().SetMainThread();
    TSNRMSMeter LRms;
    TSNVUMeter LVu;
    TSNSpectrum LSpectrum;
    TSNChannelSplitter LSplitter;
    TRealRecorder LRmsLevel(TPNDataType::dtRealValue), LVuLevel(TPNDataType::dtRealValue),
        LSpectra(TPNDataType::dtReal);
    TTestCollector LFirst;
    LRmsLevel.Listen(LRms.GetOutputPins()[0]);
    LVuLevel.Listen(LVu.GetOutputPins()[0]);
    LSpectra.Listen(LSpectrum.GetOutputPins()[0]);
    static_cast<TPNSourcePin&>(LSplitter.GetOutputPins()[0]).Connect(LFirst.GetInputPin());
    std::atomic<int> LEvents{0};
    LRms.SetOnValueChange([&](TPersistent&, int32_t AChannel, double, double, double) {
        EXPECT_LT(AChannel, 32);
        ++LEvents;
    });
    LSpectrum.SetOnFrequencyResult([&](TPersistent&, int32_t, double, double) { ++LEvents; });
    LVu.SetSynchronizeType(stNone);
    const std::pair<TSNPNAudioSinkPin*, std::function<void(int)>> LCases[] = {
        {&LRms.GetInputPin(),
         [&](int AStep) {
             LRms.SetPeriod(static_cast<uint32_t>(1 + AStep % 17));
             LRms.SetCountChannels(1 + AStep % 6);
             LRms.SetMode(AStep % 2 ? vmDecibel : vmLinear);
             LRms.SetSynchronizeType(AStep % 3 == 0 ? stSingleBuffer : stQueue);
             (void)LRms.GetActiveChannels();
         }},
        {&LSplitter.GetInputPin(),
         [&](int AStep) {
             LSplitter.SetCountChannels(1 + AStep % 5);
             (void)LSplitter.GetActiveChannels();
         }},
        {&LSpectrum.GetInputPin(),
         [&](int AStep) {
             LSpectrum.SetOrder(2 + AStep % 9);
             LSpectrum.SetSamplingWindowStep(static_cast<uint32_t>(AStep % 300));
             LSpectrum.SetCountChannels(1 + AStep % 6);
             LSpectrum.SetSynchronize(AStep % 2 == 0);
             LSpectrum.SetModedB(static_cast<TSNdBMode>(AStep % 3));
         }},
        {&LVu.GetInputPin(), [&](int AStep) {
             // Each new period restarts the meter.
             LVu.SetPeriod(static_cast<uint32_t>(1 + AStep % 23));
             LVu.SetCountChannels(1 + AStep % 4);
         }}};
    const ISNAudioBufferPtr LBuffer =
        MakeSignal(44100, 16, 4, 333, [](uint32_t f, unsigned c) { return 8000 * std::sin(0.05 * f * (c + 1)); });
    for (const auto& [LInput, LChange] : LCases) {
        TFeeder LFeeder;
        LFeeder.Pin.Connect(*LInput);
        LFeeder.Start(LBuffer->GetWaveFormat());
        std::atomic<bool> LDone{false};
        std::thread LAudio([&] {
            for (int i = 0; i < 400; ++i)
                LFeeder.Send(LBuffer);
            LDone = true;
        });
        for (int LStep = 0; !LDone; ++LStep) {
            LChange(LStep);
            MainThread().ProcessMessages();
        }
        LAudio.join();
        MainThread().ProcessMessages(); // before the stop withdraws what is pending
        LFeeder.Stop();
    }
    EXPECT_GT(LEvents.load(), 0);
    EXPECT_FALSE(LRmsLevel.Values().empty()) << "pin 0 is never removed";
    EXPECT_FALSE(LVuLevel.Values().empty());
    EXPECT_FALSE(LSpectra.Buffers().empty());
    EXPECT_EQ(LFirst.Frames(), 400u * 333);
}
