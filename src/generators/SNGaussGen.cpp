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

void TSNGaussGen::FillNoise(int16_t* ASamples, int ACount, uint32_t& AState)
{
    ippsRandGauss_Direct_16s(ASamples, ACount, CheckedInt16("Mean", FMean), CheckedInt16("StdDev", FStdDev), &AState);
}

namespace SNGaussGen {
void RegisterPkg()
{
    RegisterComponents({&TSNGaussGen::ClassDescription()});
}
} // namespace SNGaussGen

} // namespace Sonorix
