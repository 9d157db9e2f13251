// SPDX-License-Identifier: MIT
#include "SNVUMeter.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNMeterDCBlockers.h"

#include <algorithm>
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

TSNVUMeter::TSNVUMeter() : FDCBlockers(std::make_unique<TSNMeterDCBlockers>()) {}

TSNVUMeter::~TSNVUMeter()
{
    TLockAccess LAccess = FLock->WriteLock();
    FreeMeterDCBlockers(FDCBlockers->States);
}

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
    CreateMeterDCBlockers(FDCBlockers->States, *AWaveFormat);
}

void TSNVUMeter::GetMeterValue(TSNChannelReals& AValues)
{
    const int32_t n = GetBufferSize();
    const int32_t LChannels =
        std::min<int32_t>(RunningChannels(), static_cast<int32_t>(FDCBlockers->States.size()));
    for (int32_t c = 0; c < LChannels; ++c) {
        float* x = WorkBuffer(c);
        if (FDCBlockers->States[static_cast<size_t>(c)])
            ippsIIR_32f_I(x, n, FDCBlockers->States[static_cast<size_t>(c)]);
        ippsSqr_32f_I(x, n);
        Ipp32f LSum = 0;
        ippsSum_32f(x, n, &LSum, ippAlgHintAccurate);
        AValues[static_cast<size_t>(c)] = std::sqrt(std::max(0.0, static_cast<double>(LSum)) / n);
    }
}

namespace SNVUMeter {
void RegisterPkg()
{
    RegisterComponents({&TSNVUMeter::ClassDescription()});
}
} // namespace SNVUMeter

} // namespace Sonorix
