// SPDX-License-Identifier: MIT
#include "DGThreading.h"

namespace Sonorix {

namespace {
constexpr const char* CThreadPriorityNames[] = {"tpIdle",   "tpLowest",  "tpLower",       "tpNormal",
                                                "tpHigher", "tpHighest", "tpTimeCritical"};
}

const TEnumInfo TDGThreadPriorityInfo{"TDGThreadPriority", CThreadPriorityNames};

const TClassDescription& TDGThreading::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TDGThreading";
        LClass.Unit = "DGThreading";
        LClass.Properties = {
            DescribeProperty(EnabledProperty, &TDGThreading::GetEnabled, &TDGThreading::SetEnabled),
            DescribeProperty(PriorityProperty, &TDGThreading::GetPriority, &TDGThreading::SetPriority),
        };
        return LClass;
    }();
    return LDescription;
}

} // namespace Sonorix
