// SPDX-License-Identifier: MIT
#include "SNPPMMeter.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNMeterDCBlockers.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

TSNPPMMeter::TSNPPMMeter() : FDCBlockers(std::make_unique<TSNMeterDCBlockers>()) {}

TSNPPMMeter::~TSNPPMMeter()
{
    TLockAccess LAccess = FLock->WriteLock();
    FreeMeterDCBlockers(FDCBlockers->States);
}

const TClassDescription& TSNPPMMeter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNPPMMeter");
        LClass.Parent = &TSNCommonMeter::ClassDescription();
        LClass.Properties = {
            DescribeProperty(HalfLifeProperty, &TSNPPMMeter::GetHalfLife, &TSNPPMMeter::SetHalfLife),
        };
        LClass.Factory = [] { return std::make_shared<TSNPPMMeter>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNPPMMeter::GetHalfLife() const
{
    return FLock->Getter(FHalfLife);
}

void TSNPPMMeter::SetHalfLife(int32_t AValue)
{
    FLock->NotifySetter(FHalfLife, AValue);
}

void TSNPPMMeter::Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat)
{
    if (!AWaveFormat)
        return;
    TSNCommonMeter::Reset(AWaveFormat);
    TLockAccess LAccess = FLock->WriteLock();
    CreateMeterDCBlockers(FDCBlockers->States, *AWaveFormat);
}

void TSNPPMMeter::GetMeterValue(TSNChannelReals& AValues)
{
    const int32_t n = GetBufferSize();
    const double N = static_cast<double>(FWaveFormat.Format.nSamplesPerSec) * FHalfLife / 1000.0;
    const int32_t LChannels =
        std::min<int32_t>(RunningChannels(), static_cast<int32_t>(FDCBlockers->States.size()));
    for (int32_t c = 0; c < LChannels; ++c) {
        float* x = WorkBuffer(c);
        if (FDCBlockers->States[static_cast<size_t>(c)])
            ippsIIR_32f_I(x, n, FDCBlockers->States[static_cast<size_t>(c)]);
        double L = FValues[static_cast<size_t>(c)];
        for (int32_t i = 0; i < n; ++i) {
            const double LRelease = L / N;
            const double a = std::abs(static_cast<double>(x[i]));
            if (std::isinf(a))
                L = 0;
            else if (a > L)
                L = a;
            else if (L > 0.005)
                L = std::max(L - LRelease, a);
            else
                L = 0;
            // Where the arithmetic leaves the finite numbers (a HalfLife of 0
            // or below, a NaN sample) the level restarts from 0.
            if (!std::isfinite(L))
                L = 0;
        }
        FValues[static_cast<size_t>(c)] = L;
    }
    AValues = FValues;
}

namespace SNPPMMeter {
void RegisterPkg()
{
    RegisterComponents({&TSNPPMMeter::ClassDescription()});
}
} // namespace SNPPMMeter

} // namespace Sonorix
