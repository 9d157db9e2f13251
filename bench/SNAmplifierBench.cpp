// SPDX-License-Identifier: MIT
// The amplifier through the component framework at every width, beside a
// plain scalar loop over the same samples, and the framework's cost per
// buffer (pins, operation objects, the writable copy).
#include "BenchSupport.h"
#include "PNPins.h"
#include "SNAmplifier.h"
#include "SNCommonFilter.h"
#include "SNSignalGen.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>
#include <cmath>
#include <random>

using namespace Sonorix;
using Sonorix::Bench::TCountingSink;
using Sonorix::Bench::TPumpingSink;

namespace {

ISNAudioBufferPtr NoiseBuffer(unsigned ABits, uint32_t AFrames)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, ABits, 2, AFrames);
    std::mt19937 LRandom(7);
    for (size_t I = 0; I < LBuffer->GetByteSize(); ++I)
        LBuffer->ByteWrite()[I] = static_cast<uint8_t>(LRandom());
    return LBuffer;
}

void AmplifierComponent(benchmark::State& AState)
{
    const auto LBits = static_cast<unsigned>(AState.range(0));
    const auto LFrames = static_cast<uint32_t>(AState.range(1));
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TSNAmplifier LAmplifier;
    TCountingSink LSink;
    LAmplifier.SetCoefficient(0.7);
    LFeed.Connect(LAmplifier.GetInputPin());
    LAmplifier.GetOutputPin().Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, LBits, 2));
    const auto LOperation = std::make_shared<TPNSuppliedBufferOperation>(NoiseBuffer(LBits, LFrames));
    for (auto _ : AState)
        LFeed.Notify(LOperation);
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * LFrames);
}
BENCHMARK(AmplifierComponent)->ArgsProduct({{8, 16, 24, 32}, {1024, 65536}});

// The obvious per-sample loop: read, scale, round, clamp, write.
template <class T>
void ScalarLoop(T* ASamples, size_t ACount, double AFactor, double ALow, double AHigh, double AOffset)
{
    for (size_t I = 0; I < ACount; ++I) {
        const double LValue = std::clamp(std::nearbyint((ASamples[I] - AOffset) * AFactor), ALow, AHigh);
        ASamples[I] = static_cast<T>(LValue + AOffset);
    }
}

void ScalarAmplifier(benchmark::State& AState)
{
    const auto LBits = static_cast<unsigned>(AState.range(0));
    const auto LFrames = static_cast<uint32_t>(AState.range(1));
    ISNAudioBufferPtr LBuffer = NoiseBuffer(LBits, LFrames);
    const size_t LCount = size_t{LFrames} * 2;
    for (auto _ : AState) {
        switch (LBits) {
        case 8:
            ScalarLoop(LBuffer->ByteWrite(), LCount, 0.7, -128, 127, 128);
            break;
        case 16:
            ScalarLoop(static_cast<int16_t*>(LBuffer->Modify()), LCount, 0.7, -32768, 32767, 0);
            break;
        case 24: {
            // Three bytes per sample, sign-extended by hand.
            uint8_t* LBytes = LBuffer->ByteWrite();
            for (size_t I = 0; I < LCount; ++I, LBytes += 3) {
                const int32_t LIn = static_cast<int32_t>((uint32_t{LBytes[0]} << 8) | (uint32_t{LBytes[1]} << 16) |
                                                         (uint32_t{LBytes[2]} << 24)) >> 8;
                const auto LOut =
                    static_cast<int32_t>(std::clamp(std::nearbyint(LIn * 0.7), -8388608.0, 8388607.0));
                LBytes[0] = static_cast<uint8_t>(LOut);
                LBytes[1] = static_cast<uint8_t>(LOut >> 8);
                LBytes[2] = static_cast<uint8_t>(LOut >> 16);
            }
            break;
        }
        default:
            ScalarLoop(static_cast<int32_t*>(LBuffer->Modify()), LCount, 0.7, -2147483648.0, 2147483647.0, 0);
        }
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * LFrames);
}
BENCHMARK(ScalarAmplifier)->ArgsProduct({{8, 16, 24, 32}, {1024, 65536}});

// One 1024-frame 16-bit stereo buffer from the feeding pin to the sink
// behind the amplifier, and the same buffer's MultiplyByReal alone: the
// difference is what the framework costs per buffer.
void OverheadPerBuffer(benchmark::State& AState)
{
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TSNAmplifier LAmplifier;
    TCountingSink LSink;
    LFeed.Connect(LAmplifier.GetInputPin());
    LAmplifier.GetOutputPin().Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, 16, 2));
    const ISNAudioBufferPtr LBuffer = NoiseBuffer(16, 1024);
    for (auto _ : AState)
        LFeed.SendBuffer(LBuffer);
}
BENCHMARK(OverheadPerBuffer);

void MultiplyOnlyPerBuffer(benchmark::State& AState)
{
    const ISNAudioBufferPtr LBuffer = NoiseBuffer(16, 1024);
    for (auto _ : AState) {
        LBuffer->MultiplyByReal(1.0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(MultiplyOnlyPerBuffer);

} // namespace

namespace {

// A sink that hands every buffer back to the feeder, so an unshared buffer
// goes round without allocation, as a pooled source's would.
class TReturningSink : public TLockComponent {
public:
    TReturningSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation))
                Returned = std::move(LBuffer->AudioBuffer);
            return true;
        });
    }
    TSNPNAudioSinkPin Pin;
    ISNAudioBufferPtr Returned;
};

// A filter without a processing step: what is left is the framework.
class TPassThrough : public TSNCommonFilter {
protected:
    bool ProcessesInPlace() const override { return true; }
};

// The framework's own cost per 1024-frame 16-bit stereo buffer: from the
// feeding pin through a pass-through filter to a sink. Argument 0: the
// buffer is unshared (processed in place); 1: the feeder keeps it, so the
// filter must copy it. Second argument: the buffer pool on (1) or off (0).
void FrameworkPerBuffer(benchmark::State& AState)
{
    const bool LShared = AState.range(0) != 0;
    DGPoolSetEnabled(AState.range(1) != 0);
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TPassThrough LFilter;
    TReturningSink LSink;
    LFeed.Connect(LFilter.GetInputPin());
    LFilter.GetOutputPin().Connect(LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, 16, 2));
    ISNAudioBufferPtr LBuffer = NoiseBuffer(16, 1024);
    for (auto _ : AState) {
        if (LShared) {
            LFeed.SendBuffer(LBuffer);
        } else {
            LFeed.SendBuffer(std::move(LBuffer));
            LBuffer = std::move(LSink.Returned);
        }
    }
    DGPoolSetEnabled(true);
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * 1024);
}
BENCHMARK(FrameworkPerBuffer)->ArgsProduct({{0, 1}, {0, 1}});

// ACount amplifiers of coefficient 1.0001 (so every one does the
// arithmetic) between AFrom and ATo.
std::vector<std::unique_ptr<TSNAmplifier>> ConnectAmplifiers(TPNSourcePin& AFrom, size_t ACount, TPNSinkPin& ATo)
{
    std::vector<std::unique_ptr<TSNAmplifier>> LChain;
    TPNSourcePin* LPrevious = &AFrom;
    for (size_t I = 0; I < ACount; ++I) {
        LChain.push_back(std::make_unique<TSNAmplifier>());
        LChain.back()->SetCoefficient(1.0001);
        LPrevious->Connect(LChain.back()->GetInputPin());
        LPrevious = &LChain.back()->GetOutputPin();
    }
    LPrevious->Connect(ATo);
    return LChain;
}

// A chain of N amplifiers (coefficient 1.0001, so every one does the
// arithmetic) on one unshared 1024-frame 16-bit stereo buffer.
void AmplifierChain(benchmark::State& AState)
{
    const auto LCount = static_cast<size_t>(AState.range(0));
    TCountingSink LSource;
    TSNPNAudioSourcePin LFeed(&LSource, "Feed");
    TReturningSink LSink;
    const auto LChain = ConnectAmplifiers(LFeed, LCount, LSink.Pin);
    LFeed.SendStart(MakeWaveFormat(48000, 16, 2));
    ISNAudioBufferPtr LBuffer = NoiseBuffer(16, 1024);
    for (auto _ : AState) {
        LFeed.SendBuffer(std::move(LBuffer));
        LBuffer = std::move(LSink.Returned);
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * 1024);
}
BENCHMARK(AmplifierChain)->Arg(1)->Arg(10);

} // namespace

namespace {

// Generator (a 1 kHz tone), N amplifiers, sink, stepped by the sink's
// pump: the whole per-buffer path of a source, with the buffer pool on
// (second argument 1) or off (0, every piece from the heap). CPU time per
// buffer of 1024 16-bit stereo frames.
void GeneratorChain(benchmark::State& AState)
{
    const auto LCount = static_cast<size_t>(AState.range(0));
    DGPoolSetEnabled(AState.range(1) != 0);
    TSNSignalGen LGen;
    LGen.SetFrequency(1000);
    LGen.GetAudioFormat().SetBufferSize(1024);
    TPumpingSink LSink;
    const auto LChain = ConnectAmplifiers(LGen.GetOutputPin(), LCount, LSink.Pin);
    LGen.StartSource();
    const auto LTick = std::make_shared<TPNMasterPumpOperation>(&LSink);
    for (auto _ : AState)
        LSink.Pin.Notify(LTick);
    LGen.StopSource();
    DGPoolSetEnabled(true);
    AState.SetItemsProcessed(static_cast<int64_t>(LSink.Frames));
}
BENCHMARK(GeneratorChain)->ArgsProduct({{0, 1, 10}, {0, 1}});

} // namespace
