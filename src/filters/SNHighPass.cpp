// SPDX-License-Identifier: MIT
#include "SNHighPass.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

namespace Sonorix {

const TClassDescription& TSNHighPass::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNHighPass");
        LClass.Parent = &TSNFrequencyFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(FrequencyProperty, &TSNHighPass::GetFrequency, &TSNHighPass::SetFrequency),
        };
        LClass.Factory = [] { return std::make_shared<TSNHighPass>(); };
        return LClass;
    }();
    return LDescription;
}

IDGFilterInfoPtr TSNHighPass::GetFilterInfo()
{
    return DesignAtFrequency(dfHighPass);
}

namespace SNHighPass {
void RegisterPkg()
{
    RegisterComponents({&TSNHighPass::ClassDescription()});
}
} // namespace SNHighPass

} // namespace Sonorix
