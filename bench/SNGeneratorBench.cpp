// SPDX-License-Identifier: MIT
// Generators stepped by a downstream master pump: one buffer per tick, the
// whole step (output buffer, primitive, PopulateAudio, send) counted.
#include "BenchSupport.h"
#include "SNGaussGen.h"
#include "SNRandomGen.h"
#include "SNSignalGen.h"

#include <benchmark/benchmark.h>

using namespace Sonorix;
using Sonorix::Bench::TPumpingSink;

namespace {

template <class TGen>
void Step(benchmark::State& AState, TGen& AGen)
{
    const auto LBits = static_cast<int32_t>(AState.range(0));
    const auto LFrames = static_cast<int32_t>(AState.range(1));
    AGen.GetAudioFormat().SetBits(LBits);
    AGen.GetAudioFormat().SetBufferSize(LFrames);
    TPumpingSink LSink;
    AGen.GetOutputPin().Connect(LSink.Pin);
    AGen.StartSource();
    const auto LTick = std::make_shared<TPNMasterPumpOperation>(&LSink);
    for (auto _ : AState)
        LSink.Pin.Notify(LTick);
    AGen.StopSource();
    if (LSink.Frames != static_cast<uint64_t>(AState.iterations()) * static_cast<uint64_t>(LFrames))
        AState.SkipWithError("a tick did not produce one buffer");
    AState.SetItemsProcessed(static_cast<int64_t>(LSink.Frames));
}

void SignalGen(benchmark::State& AState, TSNSignalType AType)
{
    TSNSignalGen LGen;
    LGen.SetSignalType(AType);
    LGen.SetFrequency(1000);
    Step(AState, LGen);
}

void RandomGen(benchmark::State& AState)
{
    TSNRandomGen LGen;
    Step(AState, LGen);
}

void GaussGen(benchmark::State& AState)
{
    TSNGaussGen LGen;
    Step(AState, LGen);
}

} // namespace

BENCHMARK_CAPTURE(SignalGen, Tone, atTone)->ArgsProduct({{16, 24}, {1024}});
BENCHMARK_CAPTURE(SignalGen, Triangle, atTriangle)->ArgsProduct({{16}, {1024}});
BENCHMARK_CAPTURE(SignalGen, Square, atSquare)->ArgsProduct({{16}, {1024}});
BENCHMARK_CAPTURE(SignalGen, SawTooth, atSawToothUp)->ArgsProduct({{16}, {1024}});
BENCHMARK(RandomGen)->ArgsProduct({{16}, {1024}});
BENCHMARK(GaussGen)->ArgsProduct({{16}, {1024}});
