// SPDX-License-Identifier: MIT
#include "SNBandStop.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

namespace Sonorix {

const TClassDescription& TSNBandStop::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNBandStop");
        LClass.Parent = &TSNBandFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Factory = [] { return std::make_shared<TSNBandStop>(); };
        return LClass;
    }();
    return LDescription;
}

IDGFilterInfoPtr TSNBandStop::GetFilterInfo()
{
    // In design mode the stored edges reach the design as they are.
    return DesignOverBand(dfBandStop, !GetDesignMode());
}

namespace SNBandStop {
void RegisterPkg()
{
    RegisterComponents({&TSNBandStop::ClassDescription()});
}
} // namespace SNBandStop

} // namespace Sonorix
