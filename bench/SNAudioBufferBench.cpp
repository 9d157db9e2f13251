// SPDX-License-Identifier: MIT
// MultiplyByReal of the audio buffer at each width against the plain
// per-sample loop (std::lround and std::clamp) over the same stereo data.
// Items are frames.
#include "SNAudioBuffer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace {

using namespace Sonorix;

// The factor and its inverse take turns so that the data keeps its spread
// over the iterations instead of saturating or decaying to silence.
constexpr double CFactors[2] = {0.75, 1.0 / 0.75};

ISNAudioBufferPtr MakeNoise(uint32_t ABits, uint32_t AFrames)
{
    auto LBuffer = TSNAudioBuffer::CreateSize(48000, ABits, 2, AFrames);
    std::mt19937 LRandom(12345);
    uint8_t* LBytes = LBuffer->ByteWrite();
    for (size_t i = 0; i < LBuffer->GetByteSize(); ++i)
        LBytes[i] = static_cast<uint8_t>(LRandom());
    return LBuffer;
}

void BM_MultiplyByReal(benchmark::State& AState)
{
    const auto LBits = static_cast<uint32_t>(AState.range(0));
    const auto LFrames = static_cast<uint32_t>(AState.range(1));
    const auto LBuffer = MakeNoise(LBits, LFrames);
    size_t LTurn = 0;
    for (auto _ : AState) {
        LBuffer->MultiplyByReal(CFactors[LTurn++ & 1]);
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * LFrames);
}

template <uint32_t ABits>
void ScalarMultiply(uint8_t* AData, size_t ASamples, double AFactor)
{
    constexpr long CMin = ABits == 8 ? -128 : -(1L << (ABits - 1));
    constexpr long CMax = ABits == 8 ? 127 : (1L << (ABits - 1)) - 1;
    for (size_t i = 0; i < ASamples; ++i) {
        uint8_t* LSample = AData + i * (ABits / 8);
        int32_t LValue;
        if constexpr (ABits == 8) {
            LValue = *LSample - 128;
        } else if constexpr (ABits == 16) {
            int16_t LShort;
            std::memcpy(&LShort, LSample, 2);
            LValue = LShort;
        } else if constexpr (ABits == 24) {
            LValue = static_cast<int32_t>((uint32_t{LSample[0]} | uint32_t{LSample[1]} << 8 |
                                           uint32_t{LSample[2]} << 16) << 8) >> 8;
        } else {
            std::memcpy(&LValue, LSample, 4);
        }
        const long LResult = std::clamp(std::lround(LValue * AFactor), CMin, CMax);
        if constexpr (ABits == 8) {
            *LSample = static_cast<uint8_t>(LResult + 128);
        } else if constexpr (ABits == 16) {
            const auto LShort = static_cast<int16_t>(LResult);
            std::memcpy(LSample, &LShort, 2);
        } else if constexpr (ABits == 24) {
            LSample[0] = static_cast<uint8_t>(LResult);
            LSample[1] = static_cast<uint8_t>(LResult >> 8);
            LSample[2] = static_cast<uint8_t>(LResult >> 16);
        } else {
            const auto LInt = static_cast<int32_t>(LResult);
            std::memcpy(LSample, &LInt, 4);
        }
    }
}

void BM_ScalarLoop(benchmark::State& AState)
{
    const auto LBits = static_cast<uint32_t>(AState.range(0));
    const auto LFrames = static_cast<uint32_t>(AState.range(1));
    const auto LBuffer = MakeNoise(LBits, LFrames);
    const size_t LSamples = size_t{LFrames} * 2;
    auto* LData = LBuffer->ByteWrite();
    auto LLoop = LBits == 8 ? ScalarMultiply<8> : LBits == 16 ? ScalarMultiply<16>
                                               : LBits == 24 ? ScalarMultiply<24>
                                                             : ScalarMultiply<32>;
    size_t LTurn = 0;
    for (auto _ : AState) {
        LLoop(LData, LSamples, CFactors[LTurn++ & 1]);
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * LFrames);
}

BENCHMARK(BM_MultiplyByReal)->ArgNames({"bits", "frames"})->ArgsProduct({{8, 16, 24, 32}, {1024, 65536}});
BENCHMARK(BM_ScalarLoop)->ArgNames({"bits", "frames"})->ArgsProduct({{8, 16, 24, 32}, {1024, 65536}});

} // namespace
