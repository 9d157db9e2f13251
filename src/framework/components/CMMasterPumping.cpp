// SPDX-License-Identifier: MIT
#include "CMMasterPumping.h"

namespace Sonorix {

const TClassDescription& TCMDefaultEnabledMasterPumping::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TCMDefaultEnabledMasterPumping;
        TClassDescription LClass;
        LClass.ClassName = "TCMDefaultEnabledMasterPumping";
        LClass.Unit = "CMMasterPumping";
        LClass.Properties = {
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeProperty(PriorityProperty, &C::GetPriority, &C::SetPriority),
        };
        return LClass;
    }();
    return LDescription;
}

bool TCMDefaultEnabledMasterPumping::GetEnabled() const { return FLock.Getter(FEnabled); }
void TCMDefaultEnabledMasterPumping::SetEnabled(bool AValue) { FLock.NotifySetter(FEnabled, AValue); }
uint32_t TCMDefaultEnabledMasterPumping::GetPriority() const { return FLock.Getter(FPriority); }
void TCMDefaultEnabledMasterPumping::SetPriority(uint32_t AValue) { FLock.NotifySetter(FPriority, AValue); }

} // namespace Sonorix
