// SPDX-License-Identifier: MIT
#include "SNAmplifier.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

namespace Sonorix {

const TClassDescription& TSNAmplifier::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNAmplifier");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(CoefficientProperty, &TSNAmplifier::GetCoefficient, &TSNAmplifier::SetCoefficient),
        };
        LClass.Factory = [] { return std::make_shared<TSNAmplifier>(); };
        return LClass;
    }();
    return LDescription;
}

double TSNAmplifier::GetCoefficient() const
{
    return FOutputLock->Getter(FCoefficient);
}

void TSNAmplifier::SetCoefficient(double AValue)
{
    FOutputLock->NotifySetterMin(FCoefficient, AValue, *CoefficientProperty.Min);
}

void TSNAmplifier::FilterInternalOperation(const ISNAudioBufferPtr& /*AInBuffer*/, ISNAudioBufferPtr& AOutBuffer,
                                           bool& /*ASendOutputData*/)
{
    // AOutBuffer holds the input already (a copy, or the input itself).
    // One read per buffer, so a buffer is never scaled with two values.
    AOutBuffer->MultiplyByReal(GetCoefficient());
}

namespace SNAmplifier {
void RegisterPkg()
{
    RegisterComponents({&TSNAmplifier::ClassDescription()});
}
} // namespace SNAmplifier

} // namespace Sonorix
