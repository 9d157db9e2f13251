// SPDX-License-Identifier: MIT
// Buffers per second through the routing components, beside the amplifier
// (the cheapest filter) as the baseline cost of one buffer through a
// component: 1024 frames of 16-bit stereo per buffer.
#include "BenchSupport.h"
#include "CVThreading.h"
#include "SNAmplifier.h"
#include "SNBufferQueue.h"
#include "SNQueuedSwitch.h"
#include "SNRealToAudio.h"
#include "SNSwitch.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

using namespace Sonorix;
using Sonorix::Bench::TCountingSink;

namespace {

constexpr uint32_t CFrames = 1024;

// A counting sink whose count other threads may read.
class TAtomicSink : public TLockComponent {
public:
    TAtomicSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (OperationAs<TPNSuppliedBufferOperation>(AOperation))
                ++Buffers;
            return true;
        });
    }
    TSNPNAudioSinkPin Pin;
    std::atomic<uint64_t> Buffers{0};
};

std::shared_ptr<TPNSuppliedBufferOperation> Buffer()
{
    return std::make_shared<TPNSuppliedBufferOperation>(TSNAudioBuffer::CreateSize(48000, 16, 2, CFrames));
}

template <class TComponent>
void Through(benchmark::State& AState, TComponent& AComponent, TPNSinkPin& AInput, TPNSourcePin& AOutput)
{
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TCountingSink LSink;
    LFeed.Connect(AInput);
    AOutput.Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, 16, 2));
    const auto LOperation = Buffer();
    for (auto _ : AState)
        LFeed.Notify(LOperation);
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()));
    (void)AComponent;
}

void Amplifier(benchmark::State& AState)
{
    TSNAmplifier LAmplifier;
    LAmplifier.SetCoefficient(0.7);
    Through(AState, LAmplifier, LAmplifier.GetInputPin(), LAmplifier.GetOutputPin());
}
BENCHMARK(Amplifier);

void SwitchEnabled(benchmark::State& AState)
{
    TSNSwitch LSwitch;
    Through(AState, LSwitch, LSwitch.GetInputPin(), LSwitch.GetOutputPin());
}
BENCHMARK(SwitchEnabled);

void SwitchDisabled(benchmark::State& AState)
{
    TSNSwitch LSwitch;
    LSwitch.SetEnabled(false);
    Through(AState, LSwitch, LSwitch.GetInputPin(), LSwitch.GetOutputPin());
}
BENCHMARK(SwitchDisabled);

void BufferQueueDisabled(benchmark::State& AState)
{
    TSNBufferQueue LQueue;
    LQueue.SetEnabled(false);
    Through(AState, LQueue, LQueue.GetInputPin(), LQueue.GetOutputPin());
}
BENCHMARK(BufferQueueDisabled);

// Enabled: queued on the delivering thread, sent by the queue's thread;
// timed until the last buffer has arrived downstream.
void BufferQueueEnabled(benchmark::State& AState)
{
    TSNBufferQueue LQueue;
    LQueue.SetMax(0xFFFFFFFF);
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TAtomicSink LSink;
    LFeed.Connect(LQueue.GetInputPin());
    LQueue.GetOutputPin().Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, 16, 2));
    const auto LOperation = Buffer();
    LFeed.Notify(LOperation);
    MainThread().ProcessMessages(); // the held-back start
    uint64_t LSent = 1;
    for (auto _ : AState) {
        LFeed.Notify(LOperation);
        ++LSent;
    }
    while (LSink.Buffers.load() < LSent - LQueue.GetCount())
        std::this_thread::yield();
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()));
}
BENCHMARK(BufferQueueEnabled)->UseRealTime();

// One buffer in, then wait until the clock thread has sent it: the
// hand-over cost of the queued switch per buffer.
void QueuedSwitchRoundTrip(benchmark::State& AState)
{
    TSNQueuedSwitch LSwitch;
    LSwitch.GetInputChannels().SetCount(2);
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TAtomicSink LSink;
    LFeed.Connect(static_cast<TPNSinkPin&>(LSwitch.GetInputPins()[0]));
    LSwitch.GetOutputPin().Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, 16, 2));
    const auto LOperation = Buffer();
    uint64_t LSent = 0;
    for (auto _ : AState) {
        LFeed.Notify(LOperation);
        ++LSent;
        while (LSink.Buffers.load() < LSent)
            std::this_thread::yield();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()));
    LFeed.SendStop();
}
BENCHMARK(QueuedSwitchRoundTrip)->UseRealTime();

// Two real inputs of 1024 values each make one 16-bit stereo buffer.
void RealToAudio(benchmark::State& AState)
{
    TSNRealToAudio LConverter;
    LConverter.GetAudioFormat().SetCountChannels(2);
    TDGPNRealRangedSourcePin LLeft(nullptr, "Left"), LRight(nullptr, "Right");
    TCountingSink LSink;
    LLeft.Connect(static_cast<TPNSinkPin&>(LConverter.GetInputPins()[0]));
    LRight.Connect(static_cast<TPNSinkPin&>(LConverter.GetInputPins()[1]));
    LConverter.GetOutputPin().Connect(LSink.Pin);
    LConverter.SetNormalize(true);
    LLeft.SendStart(48000);
    LRight.SendStart(48000);
    IDGRealBufferPtr LValues = TDGRealBuffer::CreateSize(CFrames);
    for (uint32_t I = 0; I < CFrames; ++I)
        LValues->SetItem(I, std::sin(I * 0.01) * 0.5);
    for (auto _ : AState) {
        LLeft.SubmitBuffer(LValues);
        LRight.SubmitBuffer(LValues);
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()));
}
BENCHMARK(RealToAudio);

} // namespace
