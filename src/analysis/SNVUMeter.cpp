// SPDX-License-Identifier: MIT
#include "SNVUMeter.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNSampleAccess.h"
#include "IPPExtraFunctions.h"
#include "SNMeterDCBlockers.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace Sonorix {

void FreeMeterDCBlockers(std::vector<IIRState_32f*>& AStates)
{
    for (IIRState_32f* LState : AStates)
        if (LState)
            ippsIIRFree_32f(LState);
    AStates.clear();
}

void CreateMeterDCBlockers(std::vector<IIRState_32f*>& AStates, const WAVEFORMATEXTENSIBLE& AWaveFormat)
{
    FreeMeterDCBlockers(AStates);
    const double LRate = AWaveFormat.Format.nSamplesPerSec;
    if (LRate <= 0)
        return;
    // b0, b1, b2, a0, a1, a2; 125.66... = 2 pi 20 Hz.
    const Ipp32f LTaps[6] = {0.0f, -1.0f, 1.0f, -1.0f, static_cast<Ipp32f>(1.0 - 125.66370614359172 / LRate), 0.0f};
    const size_t LChannels = std::min<size_t>(AWaveFormat.Format.nChannels, CSNMaxMeterChannels);
    AStates.assign(LChannels, nullptr);
    for (IIRState_32f*& LState : AStates)
        if (ippsIIRInitAlloc_32f(&LState, LTaps, 2, nullptr) != ippStsNoErr)
            LState = nullptr;
}

// The DC blocker y[k] = x[k-1] - x[k-2] + p y[k-1] of each channel and the
// sum of its squares over the period, in double precision. The channels'
// recurrences are independent, so one frame's run side by side.
struct TSNVUMeterState {
    double Pole = 0;
    std::array<double, CSNMaxMeterChannels> X1{}, X2{}, Y{}, Sum{};
};

namespace {

// AChannels <= N; with N a small constant the state lives in registers.
template <class TWidth, int32_t N>
void RunBlockers(TSNVUMeterState& AState, const uint8_t* AFrames, int32_t AStep, int32_t ACount, int32_t AChannels)
{
    std::array<double, N> x1, x2, y1, LSum;
    for (int32_t c = 0; c < AChannels; ++c) {
        x1[c] = AState.X1[c];
        x2[c] = AState.X2[c];
        y1[c] = AState.Y[c];
        LSum[c] = AState.Sum[c];
    }
    const double p = AState.Pole;
    for (int32_t f = 0; f < ACount; ++f, AFrames += AStep)
        for (int32_t c = 0; c < AChannels; ++c) {
            const double y = x1[c] - x2[c] + p * y1[c];
            LSum[c] += y * y;
            x2[c] = x1[c];
            x1[c] = ReadSample<TWidth>(AFrames, size_t(c));
            y1[c] = y;
        }
    for (int32_t c = 0; c < AChannels; ++c) {
        AState.X1[c] = x1[c];
        AState.X2[c] = x2[c];
        AState.Y[c] = y1[c];
        AState.Sum[c] = LSum[c];
    }
}

template <class TWidth>
void RunBlockers(TSNVUMeterState& AState, const uint8_t* AFrames, int32_t AStep, int32_t ACount, int32_t AChannels)
{
    switch (AChannels) {
    case 1: RunBlockers<TWidth, 1>(AState, AFrames, AStep, ACount, 1); break;
    case 2: RunBlockers<TWidth, 2>(AState, AFrames, AStep, ACount, 2); break;
    default: RunBlockers<TWidth, CSNMaxMeterChannels>(AState, AFrames, AStep, ACount, AChannels); break;
    }
}

} // namespace

TSNVUMeter::TSNVUMeter() : FState(std::make_unique<TSNVUMeterState>()) {}

TSNVUMeter::~TSNVUMeter() = default;

const TClassDescription& TSNVUMeter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNVUMeter");
        LClass.Parent = &TSNCommonMeter::ClassDescription();
        LClass.Factory = [] { return std::make_shared<TSNVUMeter>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNVUMeter::Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat)
{
    if (!AWaveFormat)
        return;
    TSNCommonMeter::Reset(AWaveFormat);
    TLockAccess LAccess = FLock->WriteLock();
    *FState = {};
    // 125.66... = 2 pi 20 Hz.
    const double LRate = AWaveFormat->Format.nSamplesPerSec;
    FState->Pole = LRate > 0 ? 1.0 - 125.66370614359172 / LRate : 0.0;
}

void TSNVUMeter::TakeFrames(const uint8_t* AFrames, int32_t AStep, int32_t ACount, int32_t)
{
    const int32_t LChannels = std::min(RunningChannels(), CSNMaxMeterChannels);
    if (LChannels <= 0)
        return;
    switch (FWaveFormat.Format.wBitsPerSample) {
    case 8: RunBlockers<TSNSampleWidth<8>>(*FState, AFrames, AStep, ACount, LChannels); break;
    case 16: RunBlockers<TSNSampleWidth<16>>(*FState, AFrames, AStep, ACount, LChannels); break;
    case 24: RunBlockers<TSNSampleWidth<24>>(*FState, AFrames, AStep, ACount, LChannels); break;
    case 32: RunBlockers<TSNSampleWidth<32>>(*FState, AFrames, AStep, ACount, LChannels); break;
    default: break;
    }
}

void TSNVUMeter::GetMeterValue(TSNChannelReals& AValues)
{
    const double n = GetBufferSize();
    for (int32_t c = 0; c < RunningChannels(); ++c)
        AValues[static_cast<size_t>(c)] = std::sqrt(FState->Sum[static_cast<size_t>(c)] / n);
    FState->Sum.fill(0.0);
}

namespace SNVUMeter {
void RegisterPkg()
{
    RegisterComponents({&TSNVUMeter::ClassDescription()});
}
} // namespace SNVUMeter

} // namespace Sonorix
