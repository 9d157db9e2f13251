// SPDX-License-Identifier: MIT
// Meters and the spectrum through the component framework: frames per
// second of 16-bit stereo pushed into the component's input pin.
#include "PNPins.h"
#include "SNPPMMeter.h"
#include "SNRMSMeter.h"
#include "SNSpectrum.h"
#include "SNVUMeter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace Sonorix;

namespace {

class TBenchOwner : public TLockComponent {};

ISNAudioBufferPtr NoiseStereo(uint32_t AFrames)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(44100, 16, 2, AFrames);
    std::mt19937 LRandom(7);
    for (size_t I = 0; I < LBuffer->GetByteSize(); ++I)
        LBuffer->ByteWrite()[I] = static_cast<uint8_t>(LRandom());
    return LBuffer;
}

// Sends 1024-frame buffers into AInput; every output is left unconnected,
// as in a pipeline whose values nobody reads but the meter's own pins.
void Push(benchmark::State& AState, TPNSinkPin& AInput)
{
    TBenchOwner LOwner;
    TSNPNAudioSourcePin LFeed(&LOwner, "Feed");
    LFeed.Connect(AInput);
    const ISNAudioBufferPtr LBuffer = NoiseStereo(1024);
    LFeed.SendStart(LBuffer->GetWaveFormat());
    const auto LOperation = std::make_shared<TPNSuppliedBufferOperation>(LBuffer);
    for (auto _ : AState)
        LFeed.Notify(LOperation);
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * 1024);
    LFeed.SendStop();
    LFeed.Disconnect(static_cast<TPNSinkPin&>(AInput));
}

template <class TMeter>
void Meter(benchmark::State& AState)
{
    TMeter LMeter;
    LMeter.SetPeriod(static_cast<uint32_t>(AState.range(0)));
    LMeter.SetSynchronizeType(stNone);
    Push(AState, LMeter.GetInputPin());
}
BENCHMARK(Meter<TSNRMSMeter>)->Arg(10)->Arg(100);
BENCHMARK(Meter<TSNVUMeter>)->Arg(10)->Arg(100);
BENCHMARK(Meter<TSNPPMMeter>)->Arg(10)->Arg(100);

// Order, and step 0 (block) or a quarter of the window (overlapped by 75 %).
void Spectrum(benchmark::State& AState)
{
    TSNSpectrum LSpectrum;
    const auto LOrder = static_cast<int32_t>(AState.range(0));
    LSpectrum.SetOrder(LOrder);
    LSpectrum.SetSamplingWindowStep(AState.range(1) ? (1u << LOrder) / 4 : 0);
    LSpectrum.SetSynchronize(false);
    // Someone must listen, or the channel is skipped.
    TBenchOwner LOwner;
    std::vector<std::unique_ptr<TPNSinkPin>> LSinks;
    for (int c = 0; c < 2; ++c) {
        LSinks.push_back(std::make_unique<TPNSinkPin>(&LOwner, "In", TPNDataType::dtReal));
        LSinks.back()->SetDispatch([](TPNPin&, const IPNNotifyOperationPtr&) { return true; });
        static_cast<TPNSourcePin&>(LSpectrum.GetOutputPins()[c]).Connect(*LSinks.back());
    }
    Push(AState, LSpectrum.GetInputPin());
    AState.counters["windows/s"] = benchmark::Counter(
        static_cast<double>(AState.iterations()) * 1024 / (AState.range(1) ? (1 << LOrder) / 4 : (1 << LOrder)),
        benchmark::Counter::kIsRate);
}
BENCHMARK(Spectrum)->ArgsProduct({{8, 10, 12}, {0, 1}});

} // namespace
