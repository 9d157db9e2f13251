// SPDX-License-Identifier: MIT
#include "SNRMSMeter.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "DGSignalDispatcher.h"

#include <cmath>

namespace Sonorix {

const TClassDescription& TSNRMSMeter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNRMSMeter");
        LClass.Parent = &TSNCommonMeter::ClassDescription();
        LClass.Factory = [] { return std::make_shared<TSNRMSMeter>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNRMSMeter::GetMeterValue(TSNChannelReals& AValues)
{
    const int32_t n = GetBufferSize();
    // Grows only when the period does.
    if (FScratch.size() < static_cast<size_t>(n))
        FScratch.resize(static_cast<size_t>(n));
    for (int32_t c = 0; c < RunningChannels(); ++c) {
        const float* LSamples = WorkBuffer(c);
        ippsMul_32f(LSamples, LSamples, FScratch.data(), n);
        Ipp32f LMean = 0;
        ippsMean_32f(FScratch.data(), n, &LMean, ippAlgHintAccurate);
        AValues[static_cast<size_t>(c)] = std::sqrt(static_cast<double>(LMean));
    }
}

namespace SNRMSMeter {
void RegisterPkg()
{
    RegisterComponents({&TSNRMSMeter::ClassDescription()});
}
} // namespace SNRMSMeter

} // namespace Sonorix
