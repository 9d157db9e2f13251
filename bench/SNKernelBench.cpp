// SPDX-License-Identifier: MIT
// The buffer kernels (MultiplyByReal, add, silence, width conversion) and the
// meter kernels beside tight loops doing the same arithmetic, at every width.
// This file is built with -O3 -march=native -ffp-contract=off, so the "Tight"
// loops are what the compiler makes of the plain loop for this very machine;
// the "Ours" rows call the library's kernels as the audio buffer does.
#include "DGSignalDispatcher.h"
#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"
#include "SNDispatcher.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace Sonorix;

namespace {

constexpr int CSamples = 2048; // 1024 stereo frames

std::vector<uint8_t> Noise(size_t ABytes, unsigned ASeed)
{
    std::vector<uint8_t> LBytes(ABytes);
    std::mt19937 LRandom(ASeed);
    for (uint8_t& LByte : LBytes)
        LByte = static_cast<uint8_t>(LRandom());
    return LBytes;
}

int32_t Load(const uint8_t* AData, int ABits, int i)
{
    switch (ABits) {
    case 8: return AData[i];
    case 16: { int16_t v; std::memcpy(&v, AData + 2 * i, 2); return v; }
    case 24: return static_cast<int32_t>((uint32_t{AData[3 * i]} << 8) | (uint32_t{AData[3 * i + 1]} << 16) |
                                         (uint32_t{AData[3 * i + 2]} << 24)) >> 8;
    default: { int32_t v; std::memcpy(&v, AData + 4 * i, 4); return v; }
    }
}

void Store(uint8_t* AData, int ABits, int i, int32_t AValue)
{
    switch (ABits) {
    case 8: AData[i] = static_cast<uint8_t>(AValue); break;
    case 16: { const auto v = static_cast<int16_t>(AValue); std::memcpy(AData + 2 * i, &v, 2); break; }
    case 24:
        AData[3 * i] = static_cast<uint8_t>(AValue);
        AData[3 * i + 1] = static_cast<uint8_t>(AValue >> 8);
        AData[3 * i + 2] = static_cast<uint8_t>(AValue >> 16);
        break;
    default: std::memcpy(AData + 4 * i, &AValue, 4);
    }
}

// The tight loops, instantiated per width so that the switch folds away.
template <int ABits>
void TightMultiply(uint8_t* AData, double AFactor)
{
    constexpr int32_t LOffset = ABits == 8 ? 128 : 0;
    constexpr double LLow = ABits == 8 ? -128.0 : -static_cast<double>(int64_t{1} << (ABits - 1));
    constexpr double LHigh = ABits == 8 ? 127.0 : static_cast<double>((int64_t{1} << (ABits - 1)) - 1);
    for (int i = 0; i < CSamples; ++i) {
        double v = (static_cast<double>(Load(AData, ABits, i)) - LOffset) * AFactor;
        v = (v + 6755399441055744.0) - 6755399441055744.0;
        v = v == v ? v : 0.0;
        v = v > LLow ? v : LLow;
        v = v < LHigh ? v : LHigh;
        Store(AData, ABits, i, static_cast<int32_t>(v) + LOffset);
    }
}

template <int ABits>
void TightAdd(const uint8_t* ASrc, uint8_t* ADst)
{
    constexpr int64_t LOffset = ABits == 8 ? 128 : 0;
    constexpr int64_t LLow = ABits == 8 ? 0 : -(int64_t{1} << (ABits - 1));
    constexpr int64_t LHigh = ABits == 8 ? 255 : (int64_t{1} << (ABits - 1)) - 1;
    using TWide = std::conditional_t<(ABits == 32), int64_t, int32_t>;
    for (int i = 0; i < CSamples; ++i) {
        TWide v = TWide{Load(ASrc, ABits, i)} + TWide{Load(ADst, ABits, i)} - TWide{LOffset};
        v = v < LLow ? LLow : v;
        v = v > LHigh ? LHigh : v;
        Store(ADst, ABits, i, static_cast<int32_t>(v));
    }
}

template <int ABits>
void TightSilence(uint8_t* ADst)
{
    for (int i = 0; i < CSamples; ++i)
        Store(ADst, ABits, i, ABits == 8 ? 128 : 0);
}

template <int ASrcBits, int ADstBits>
void TightConvert(const uint8_t* ASrc, uint8_t* ADst)
{
    constexpr int32_t LSrcOffset = ASrcBits == 8 ? 128 : 0;
    constexpr int32_t LDstOffset = ADstBits == 8 ? 128 : 0;
    for (int i = 0; i < CSamples; ++i) {
        const auto LFull = static_cast<int32_t>(static_cast<uint32_t>(Load(ASrc, ASrcBits, i) - LSrcOffset)
                                                << (32 - ASrcBits));
        Store(ADst, ADstBits, i, (LFull >> (32 - ADstBits)) + LDstOffset);
    }
}

template <class F>
void ByWidth(int ABits, F&& AFn)
{
    switch (ABits) {
    case 8: AFn(std::integral_constant<int, 8>{}); break;
    case 16: AFn(std::integral_constant<int, 16>{}); break;
    case 24: AFn(std::integral_constant<int, 24>{}); break;
    default: AFn(std::integral_constant<int, 32>{});
    }
}

// Argument 0: the width; argument 1: 0 for ours, 1 for the tight loop.
void Multiply(benchmark::State& AState)
{
    const int LBits = static_cast<int>(AState.range(0));
    const bool LTight = AState.range(1) != 0;
    std::vector<uint8_t> LData = Noise(size_t{CSamples} * 4, 1);
    const int LStep = CSamples * LBits / 8;
    for (auto _ : AState) {
        // Coefficient 1.0 keeps the data in range for the next pass.
        if (LTight) {
            ByWidth(LBits, [&](auto W) { TightMultiply<W>(LData.data(), 1.0); });
        } else {
            switch (LBits) {
            case 8: MultiplyByReal8uI(1.0, LData.data(), LStep, {CSamples, 1}); break;
            case 16: MultiplyByReal16sI(1.0, reinterpret_cast<Ipp16s*>(LData.data()), LStep, {CSamples, 1}); break;
            case 24: MultiplyByReal24sI(1.0, LData.data(), LStep, {CSamples, 1}); break;
            default: MultiplyByReal32sI(1.0, reinterpret_cast<Ipp32s*>(LData.data()), LStep, {CSamples, 1});
            }
        }
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CSamples);
}
BENCHMARK(Multiply)->ArgsProduct({{8, 16, 24, 32}, {0, 1}});

void Add(benchmark::State& AState)
{
    const int LBits = static_cast<int>(AState.range(0));
    const bool LTight = AState.range(1) != 0;
    const std::vector<uint8_t> LSrc = Noise(size_t{CSamples} * 4, 2);
    std::vector<uint8_t> LData = Noise(size_t{CSamples} * 4, 3);
    const int LStep = CSamples * LBits / 8;
    for (auto _ : AState) {
        if (LTight) {
            ByWidth(LBits, [&](auto W) { TightAdd<W>(LSrc.data(), LData.data()); });
        } else {
            switch (LBits) {
            case 8: AddOffset8uI(LSrc.data(), LStep, LData.data(), LStep, {CSamples, 1}); break;
            case 16:
                ippiAdd_16s_C1IRSfs(reinterpret_cast<const Ipp16s*>(LSrc.data()), LStep,
                                    reinterpret_cast<Ipp16s*>(LData.data()), LStep, {CSamples, 1}, 0);
                break;
            case 24: ippiAdd_24s_C1IRSfs(LSrc.data(), LStep, LData.data(), LStep, {CSamples, 1}, 0); break;
            default:
                ippiAdd_32s_C1IRSfs(reinterpret_cast<const Ipp32s*>(LSrc.data()), LStep,
                                    reinterpret_cast<Ipp32s*>(LData.data()), LStep, {CSamples, 1}, 0);
            }
        }
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CSamples);
}
BENCHMARK(Add)->ArgsProduct({{8, 16, 24, 32}, {0, 1}});

// The mixer's kernel: ADst := saturate(ADst + saturate(round(ASrc * factor))).
template <int ABits>
void TightAddProduct(const uint8_t* ASrc, uint8_t* ADst, double AFactor)
{
    constexpr int32_t LOffset = ABits == 8 ? 128 : 0;
    constexpr double LLow = ABits == 8 ? -128.0 : -static_cast<double>(int64_t{1} << (ABits - 1));
    constexpr double LHigh = ABits == 8 ? 127.0 : static_cast<double>((int64_t{1} << (ABits - 1)) - 1);
    for (int i = 0; i < CSamples; ++i) {
        double p = (static_cast<double>(Load(ASrc, ABits, i)) - LOffset) * AFactor;
        p = (p + 6755399441055744.0) - 6755399441055744.0;
        p = p > LLow ? p : LLow;
        p = p < LHigh ? p : LHigh;
        double v = p + (static_cast<double>(Load(ADst, ABits, i)) - LOffset);
        v = v > LLow ? v : LLow;
        v = v < LHigh ? v : LHigh;
        Store(ADst, ABits, i, static_cast<int32_t>(v) + LOffset);
    }
}

// Coefficient 0.5 onto a buffer that a pass of the factor -0.5 restores
// (the values stay in range, so every pass does the same work).
void AddProduct(benchmark::State& AState)
{
    const int LBits = static_cast<int>(AState.range(0));
    const bool LTight = AState.range(1) != 0;
    const std::vector<uint8_t> LSrc = Noise(size_t{CSamples} * 4, 2);
    std::vector<uint8_t> LData(size_t{CSamples} * 4, LBits == 8 ? 128 : 0);
    const int LStep = CSamples * LBits / 8;
    double LFactor = 0.5;
    for (auto _ : AState) {
        if (LTight) {
            ByWidth(LBits, [&](auto W) { TightAddProduct<W>(LSrc.data(), LData.data(), LFactor); });
        } else {
            switch (LBits) {
            case 8: AddProductOfReal8uI(LFactor, LSrc.data(), LStep, LData.data(), LStep, {CSamples, 1}); break;
            case 16:
                AddProductOfReal16sI(LFactor, reinterpret_cast<const Ipp16s*>(LSrc.data()), LStep,
                                     reinterpret_cast<Ipp16s*>(LData.data()), LStep, {CSamples, 1});
                break;
            case 24: AddProductOfReal24sI(LFactor, LSrc.data(), LStep, LData.data(), LStep, {CSamples, 1}); break;
            default:
                AddProductOfReal32sI(LFactor, reinterpret_cast<const Ipp32s*>(LSrc.data()), LStep,
                                     reinterpret_cast<Ipp32s*>(LData.data()), LStep, {CSamples, 1});
            }
        }
        LFactor = -LFactor;
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CSamples);
}
BENCHMARK(AddProduct)->ArgsProduct({{8, 16, 24, 32}, {0, 1}});

void Silence(benchmark::State& AState)
{
    const int LBits = static_cast<int>(AState.range(0));
    const bool LTight = AState.range(1) != 0;
    std::vector<uint8_t> LData(size_t{CSamples} * 4);
    const int LStep = CSamples * LBits / 8;
    for (auto _ : AState) {
        if (LTight) {
            ByWidth(LBits, [&](auto W) { TightSilence<W>(LData.data()); });
        } else {
            switch (LBits) {
            case 8: ippiSet_8u_C1R(128, LData.data(), LStep, {CSamples, 1}); break;
            case 16: ippiSet_16s_C1R(0, reinterpret_cast<Ipp16s*>(LData.data()), LStep, {CSamples, 1}); break;
            case 24: ippiSet_24s_C1R(0, LData.data(), LStep, {CSamples, 1}); break;
            default: ippiSet_32s_C1R(0, reinterpret_cast<Ipp32s*>(LData.data()), LStep, {CSamples, 1});
            }
        }
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CSamples);
}
BENCHMARK(Silence)->ArgsProduct({{8, 16, 24, 32}, {0, 1}});

// Arguments: source width, destination width, ours (0) or tight (1).
void ConvertWidth(benchmark::State& AState)
{
    const int LSrcBits = static_cast<int>(AState.range(0));
    const int LDstBits = static_cast<int>(AState.range(1));
    const bool LTight = AState.range(2) != 0;
    const std::vector<uint8_t> LSrc = Noise(size_t{CSamples} * 4, 4);
    std::vector<uint8_t> LDst(size_t{CSamples} * 4);
    for (auto _ : AState) {
        if (LTight)
            ByWidth(LSrcBits, [&](auto S) {
                ByWidth(LDstBits, [&](auto D) { TightConvert<S, D>(LSrc.data(), LDst.data()); });
            });
        else
            ConvertSampleWidth(LSrc.data(), LSrcBits, LDst.data(), LDstBits, CSamples);
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * CSamples);
}
BENCHMARK(ConvertWidth)->ArgsProduct({{8, 16, 24, 32}, {8, 16, 24, 32}, {0, 1}});

// The meters' arithmetic on one channel's 1024 values: the RMS meter's
// squares and accurate mean (four partial sums in double), the VU meter's
// in-place squares and two-lane sum.
void MeterKernels(benchmark::State& AState)
{
    const bool LTight = AState.range(0) != 0;
    constexpr int n = 1024;
    std::vector<float> LIn(n), LWork(n);
    std::mt19937 LRandom(5);
    for (float& LValue : LIn)
        LValue = static_cast<float>(static_cast<int16_t>(LRandom())) / 32768.0f;
    float LMean = 0, LSum = 0;
    for (auto _ : AState) {
        if (LTight) {
            double LParts[4] = {0, 0, 0, 0};
            for (int i = 0; i < n; i += 4)
                for (int k = 0; k < 4; ++k)
                    LParts[k] += static_cast<double>(LIn[i + k] * LIn[i + k]);
            LMean = static_cast<float>((LParts[0] + LParts[1] + LParts[2] + LParts[3]) / n);
            for (int i = 0; i < n; ++i)
                LWork[i] = LIn[i] * LIn[i];
            double LA = 0, LB = 0;
            for (int i = 0; i < n; i += 2) {
                LA += LWork[i];
                LB += LWork[i + 1];
            }
            LSum = static_cast<float>(LA + LB);
        } else {
            ippsMul_32f(LIn.data(), LIn.data(), LWork.data(), n);
            ippsMean_32f(LWork.data(), n, &LMean, ippAlgHintAccurate);
            std::memcpy(LWork.data(), LIn.data(), sizeof(float) * n);
            ippsSqr_32f_I(LWork.data(), n);
            ippsSum_32f(LWork.data(), n, &LSum, ippAlgHintAccurate);
        }
        benchmark::DoNotOptimize(LMean);
        benchmark::DoNotOptimize(LSum);
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations()) * n);
}
BENCHMARK(MeterKernels)->Arg(0)->Arg(1);

} // namespace
