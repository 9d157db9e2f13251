// SPDX-License-Identifier: MIT
#include "SNBandPass.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

namespace Sonorix {

const TClassDescription& TSNBandPass::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNBandPass");
        LClass.Parent = &TSNBandFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Factory = [] { return std::make_shared<TSNBandPass>(); };
        return LClass;
    }();
    return LDescription;
}

IDGFilterInfoPtr TSNBandPass::GetFilterInfo()
{
    return DesignOverBand(dfBandPass, true);
}

namespace SNBandPass {
void RegisterPkg()
{
    RegisterComponents({&TSNBandPass::ClassDescription()});
}
} // namespace SNBandPass

} // namespace Sonorix
