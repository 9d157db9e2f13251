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

// The coefficient is guarded by the lock the processing step holds, so the
// step reads it without taking another.
double TSNAmplifier::GetCoefficient() const
{
    return FInputLock->Getter(FCoefficient);
}

void TSNAmplifier::SetCoefficient(double AValue)
{
    FInputLock->NotifySetterMin(FCoefficient, AValue, *CoefficientProperty.Min);
}

void TSNAmplifier::FilterInternalOperation(const ISNAudioBufferPtr& /*AInBuffer*/, ISNAudioBufferPtr& AOutBuffer,
                                           bool& /*ASendOutputData*/)
{
    // AOutBuffer holds the input already (a copy, or the input itself).
    // FInputLock is held: one value for the whole buffer.
    AOutBuffer->MultiplyByReal(FCoefficient);
}

namespace SNAmplifier {
void RegisterPkg()
{
    RegisterComponents({&TSNAmplifier::ClassDescription()});
}
} // namespace SNAmplifier

} // namespace Sonorix
