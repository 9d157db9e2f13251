// SPDX-License-Identifier: MIT
#include "SNGaussGen.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNDispatcher.h"

namespace Sonorix {

TSNGaussGen::~TSNGaussGen()
{
    StopSource();
}

const TClassDescription& TSNGaussGen::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNGaussGen;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNGaussGen");
        LClass.Parent = &TSNCommonGen::ClassDescription();
        LClass.Properties = {
            DescribeProperty(MeanProperty, &C::GetMean, &C::SetMean),
            DescribeProperty(StdDevProperty, &C::GetStdDev, &C::SetStdDev),
            DescribeProperty(SeedProperty, &C::GetSeed, &C::SetSeed),
        };
        LClass.Factory = [] { return std::make_shared<TSNGaussGen>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNGaussGen::GetMean() const { return FLock->Getter(FMean); }
void TSNGaussGen::SetMean(int32_t AValue) { FLock->NotifySetter(FMean, AValue); }
int32_t TSNGaussGen::GetStdDev() const { return FLock->Getter(FStdDev); }
void TSNGaussGen::SetStdDev(int32_t AValue) { FLock->NotifySetter(FStdDev, AValue); }

uint32_t TSNGaussGen::GetSeed() const { return FLock->Getter(FSeed); }

void TSNGaussGen::SetSeed(uint32_t AValue)
{
    FLock->NotifySetter(FSeed, AValue, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        FStateSeed = FSeed;
    });
}

void TSNGaussGen::StartStream(int32_t ABufferSize)
{
    TSNCommonGen::StartStream(ABufferSize);
    TLockAccess LAccess = FLock->WriteLock();
    FStateSeed = FSeed;
}

void TSNGaussGen::Generate(ISNAudioBufferPtr& ASignal, bool& /*APopulated*/, bool& /*AFinished*/)
{
    {
        TLockAccess LAccess = FLock->WriteLock();
        const Ipp16s LMean = CheckedInt16("Mean", FMean);
        const Ipp16s LStdDev = CheckedInt16("StdDev", FStdDev);
        ippsRandGauss_Direct_16s(static_cast<Ipp16s*>(FBlock->Write()), static_cast<int>(FBlock->GetSize() / 2),
                                 LMean, LStdDev, &FStateSeed);
    }
    PopulateAudio(FBlock, ASignal);
}

namespace SNGaussGen {
void RegisterPkg()
{
    RegisterComponents({&TSNGaussGen::ClassDescription()});
}
} // namespace SNGaussGen

} // namespace Sonorix
