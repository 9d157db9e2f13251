// SPDX-License-Identifier: MIT
#include "SNRandomGen.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNDispatcher.h"

namespace Sonorix {

TSNRandomGen::~TSNRandomGen()
{
    StopSource();
}

const TClassDescription& TSNRandomGen::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNRandomGen;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNRandomGen");
        LClass.Parent = &TSNCommonGen::ClassDescription();
        LClass.Properties = {
            DescribeProperty(LowProperty, &C::GetLow, &C::SetLow),
            DescribeProperty(HighProperty, &C::GetHigh, &C::SetHigh),
            DescribeProperty(SeedProperty, &C::GetSeed, &C::SetSeed),
        };
        LClass.Factory = [] { return std::make_shared<TSNRandomGen>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNRandomGen::GetLow() const { return FLock->Getter(FLow); }

void TSNRandomGen::SetLow(int32_t AValue)
{
    FLock->NotifySetter(FLow, AValue, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        if (FLow > FHigh)
            FHigh = FLow;
    });
}

int32_t TSNRandomGen::GetHigh() const { return FLock->Getter(FHigh); }

void TSNRandomGen::SetHigh(int32_t AValue)
{
    FLock->NotifySetter(FHigh, AValue, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        if (FHigh < FLow)
            FLow = FHigh;
    });
}

void TSNRandomGen::FillNoise(int16_t* ASamples, int ACount, uint32_t& AState)
{
    ippsRandUniform_Direct_16s(ASamples, ACount, CheckedInt16("Low", FLow), CheckedInt16("High", FHigh), &AState);
}

namespace SNRandomGen {
void RegisterPkg()
{
    RegisterComponents({&TSNRandomGen::ClassDescription()});
}
} // namespace SNRandomGen

} // namespace Sonorix
