// SPDX-License-Identifier: MIT
#include "SNLowPass.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

namespace Sonorix {

const TClassDescription& TSNLowPass::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLowPass");
        LClass.Parent = &TSNFrequencyFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(FrequencyProperty, &TSNLowPass::GetFrequency, &TSNLowPass::SetFrequency),
        };
        LClass.Factory = [] { return std::make_shared<TSNLowPass>(); };
        return LClass;
    }();
    return LDescription;
}

IDGFilterInfoPtr TSNLowPass::GetFilterInfo()
{
    return DesignAtFrequency(dfLowPass);
}

namespace SNLowPass {
void RegisterPkg()
{
    RegisterComponents({&TSNLowPass::ClassDescription()});
}
} // namespace SNLowPass

} // namespace Sonorix
