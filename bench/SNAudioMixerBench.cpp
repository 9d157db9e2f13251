// SPDX-License-Identifier: MIT
// The mixer through the component framework: N inputs of 16-bit stereo in
// 1024-frame buffers, each weighted, summed and sent as one output buffer.
// Throughput is output frames per second. The second argument 1 sets the
// output format to the inputs' (stereo); 0 leaves it to the mixer, whose
// output then has the channels of all inputs together, each input adding to
// its first two.
#include "BenchSupport.h"
#include "PNPins.h"
#include "SNAudioMixer.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace Sonorix;
using Sonorix::Bench::TCountingSink;

namespace {

void AudioMixerInputs(benchmark::State& AState)
{
    const auto LInputs = static_cast<int>(AState.range(0));
    constexpr uint32_t CFrames = 1024;
    TSNAudioMixer LMixer;
    LMixer.GetAudioFormat().SetEnabled(AState.range(1) != 0);
    LMixer.GetAudioFormat().SetSampleRate(44100);
    LMixer.GetAudioFormat().SetBits(16);
    LMixer.GetAudioFormat().SetCountChannels(2);
    LMixer.GetAudioFormat().SetBufferSize(CFrames);
    LMixer.GetChannels().SetCount(LInputs);
    TCountingSink LSink;
    LMixer.GetOutputPin().Connect(LSink.Pin);

    TCountingSink LOwner;
    std::vector<std::unique_ptr<TSNPNAudioSourcePin>> LFeeds;
    std::vector<std::shared_ptr<TPNSuppliedBufferOperation>> LOperations;
    std::mt19937 LRandom(11);
    for (int I = 0; I < LInputs; ++I) {
        LMixer.GetChannels()[I].SetCoefficient(1.0 / LInputs);
        LFeeds.push_back(std::make_unique<TSNPNAudioSourcePin>(&LOwner, "Feed"));
        LFeeds.back()->Connect(static_cast<TPNSinkPin&>(LMixer.GetInputPins()[I]));
        ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(44100, 16, 2, CFrames);
        for (size_t B = 0; B < LBuffer->GetByteSize(); ++B)
            LBuffer->ByteWrite()[B] = static_cast<uint8_t>(LRandom());
        LOperations.push_back(std::make_shared<TPNSuppliedBufferOperation>(LBuffer));
    }
    for (auto& LFeed : LFeeds)
        LFeed->SendStart(MakeWaveFormat(44100, 16, 2));
    // Every input's buffer goes in; the last one completes an output buffer.
    for (auto _ : AState)
        for (int I = 0; I < LInputs; ++I)
            LFeeds[static_cast<size_t>(I)]->Notify(LOperations[static_cast<size_t>(I)]);
    if (LSink.Frames != static_cast<uint64_t>(AState.iterations()) * CFrames)
        AState.SkipWithError("the mixer did not send one buffer per round");
    AState.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(LSink.Frames), benchmark::Counter::kIsRate);
    for (auto& LFeed : LFeeds)
        LFeed->DisconnectAll();
}
BENCHMARK(AudioMixerInputs)->Args({2, 1})->Args({8, 1})->Args({32, 1})->Args({2, 0})->Unit(benchmark::kMicrosecond);

} // namespace
