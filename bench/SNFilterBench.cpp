// SPDX-License-Identifier: MIT
// The FIR and IIR filter core through the component (16-bit, mono and
// stereo), beside a plain direct-form loop over the same samples with the
// same taps.
#include "BenchSupport.h"
#include "PNPins.h"
#include "SNLowPass.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace Sonorix;
using Sonorix::Bench::TCountingSink;

namespace {

constexpr uint32_t CFrames = 4096;

ISNAudioBufferPtr NoiseBuffer(uint32_t AChannels)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(44100, 16, AChannels, CFrames);
    std::mt19937 LRandom(7);
    auto* LSamples = static_cast<int16_t*>(LBuffer->Modify());
    for (size_t i = 0; i < size_t(CFrames) * AChannels; ++i)
        LSamples[i] = static_cast<int16_t>(int(LRandom() % 40000) - 20000);
    return LBuffer;
}

// range(0): kind (0 FIR, 1 IIR direct form, 2 biquads), range(1): order,
// range(2): channels.
void FilterComponent(benchmark::State& AState)
{
    const auto LType = static_cast<TDGFilterType>(AState.range(0));
    const auto LOrder = static_cast<int32_t>(AState.range(1));
    const auto LChannels = static_cast<uint32_t>(AState.range(2));
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TSNLowPass LFilter;
    TCountingSink LSink;
    LFilter.SetFilterType(LType);
    LFilter.SetIIRFilterType(iirButterworth);
    LFilter.SetOrder(LOrder);
    LFilter.SetFrequency(1000.0);
    LFeed.Connect(LFilter.GetInputPin());
    LFilter.GetOutputPin().Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(44100, 16, LChannels));
    const auto LOperation = std::make_shared<TPNSuppliedBufferOperation>(NoiseBuffer(LChannels));
    for (auto _ : AState)
        LFeed.Notify(LOperation);
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CFrames);
}
BENCHMARK(FilterComponent)
    ->ArgNames({"kind", "order", "channels"})
    ->ArgsProduct({{0}, {41, 101}, {1, 2}})
    ->ArgsProduct({{1, 2}, {4, 8}, {1, 2}});

// The textbook loops: a direct-form FIR over a circular history and a
// direct-form II transposed IIR, per channel, in double, rounding and
// clamping each sample.
void DirectFormFIR(benchmark::State& AState)
{
    const auto LOrder = static_cast<int32_t>(AState.range(0));
    const auto LChannels = static_cast<uint32_t>(AState.range(1));
    const std::vector<double> h =
        DGFilterCalc(ftFIR, dfLowPass, LOrder, 1000.0, -1.0, 44100.0, wtHamming, iirBessel, 1.0)->GetTaps();
    const ISNAudioBufferPtr LSource = NoiseBuffer(LChannels);
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateCopy(*LSource);
    std::vector<std::vector<double>> LHistory(LChannels, std::vector<double>(h.size(), 0.0));
    std::vector<size_t> LPosition(LChannels, 0);
    for (auto _ : AState) {
        const auto* LIn = static_cast<const int16_t*>(LSource->Read());
        auto* LOut = static_cast<int16_t*>(LBuffer->Modify());
        for (uint32_t c = 0; c < LChannels; ++c) {
            std::vector<double>& LRing = LHistory[c];
            size_t& p = LPosition[c];
            const size_t n = h.size();
            for (uint32_t f = 0; f < CFrames; ++f) {
                LRing[p] = LIn[f * LChannels + c];
                double LSum = 0.0;
                size_t LIndex = p;
                for (size_t k = 0; k < n; ++k) {
                    LSum += h[k] * LRing[LIndex];
                    LIndex = LIndex == 0 ? n - 1 : LIndex - 1;
                }
                p = p + 1 == n ? 0 : p + 1;
                LOut[f * LChannels + c] = static_cast<int16_t>(std::clamp(std::nearbyint(LSum), -32767.0, 32767.0));
            }
        }
        benchmark::DoNotOptimize(LBuffer->ByteRead());
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CFrames);
}
BENCHMARK(DirectFormFIR)->ArgNames({"order", "channels"})->ArgsProduct({{41, 101}, {1, 2}});

void DirectFormIIR(benchmark::State& AState)
{
    const auto LOrder = static_cast<int32_t>(AState.range(0));
    const auto LChannels = static_cast<uint32_t>(AState.range(1));
    const std::vector<double> t =
        DGFilterCalc(ftIIR, dfLowPass, LOrder, 1000.0, -1.0, 44100.0, wtHamming, iirButterworth, 1.0)->GetTaps();
    const size_t N = t.size() / 2 - 1;
    const ISNAudioBufferPtr LSource = NoiseBuffer(LChannels);
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateCopy(*LSource);
    std::vector<std::vector<double>> d(LChannels, std::vector<double>(N + 1, 0.0));
    for (auto _ : AState) {
        const auto* LIn = static_cast<const int16_t*>(LSource->Read());
        auto* LOut = static_cast<int16_t*>(LBuffer->Modify());
        for (uint32_t c = 0; c < LChannels; ++c)
            for (uint32_t f = 0; f < CFrames; ++f) {
                const double x = LIn[f * LChannels + c];
                const double y = t[0] * x + d[c][0];
                for (size_t i = 0; i < N; ++i)
                    d[c][i] = t[i + 1] * x - t[N + 2 + i] * y + d[c][i + 1];
                LOut[f * LChannels + c] = static_cast<int16_t>(std::clamp(std::nearbyint(y), -32767.0, 32767.0));
            }
        benchmark::DoNotOptimize(LBuffer->ByteRead());
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CFrames);
}
BENCHMARK(DirectFormIIR)->ArgNames({"order", "channels"})->ArgsProduct({{4, 8}, {1, 2}});

} // namespace
