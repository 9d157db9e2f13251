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

uint32_t TSNRandomGen::GetSeed() const { return FLock->Getter(FSeed); }

void TSNRandomGen::SetSeed(uint32_t AValue)
{
    FLock->NotifySetter(FSeed, AValue, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        FStateSeed = FSeed;
    });
}

void TSNRandomGen::StartStream(int32_t ABufferSize)
{
    TSNCommonGen::StartStream(ABufferSize);
    TLockAccess LAccess = FLock->WriteLock();
    FStateSeed = FSeed;
}

void TSNRandomGen::Generate(ISNAudioBufferPtr& ASignal, bool& /*APopulated*/, bool& /*AFinished*/)
{
    {
        TLockAccess LAccess = FLock->WriteLock();
        const Ipp16s LLow = CheckedInt16("Low", FLow);
        const Ipp16s LHigh = CheckedInt16("High", FHigh);
        ippsRandUniform_Direct_16s(static_cast<Ipp16s*>(FBlock->Write()), static_cast<int>(FBlock->GetSize() / 2),
                                   LLow, LHigh, &FStateSeed);
    }
    PopulateAudio(FBlock, ASignal);
}

namespace SNRandomGen {
void RegisterPkg()
{
    RegisterComponents({&TSNRandomGen::ClassDescription()});
}
} // namespace SNRandomGen

} // namespace Sonorix
