// SPDX-License-Identifier: MIT
#include "DGDelayValue.h"

#include <cstdint>

namespace Sonorix {

namespace {
constexpr const char* CDelayModeNames[] = {"dmMilliseconds", "dmSamples"};
}

const TEnumInfo TDGDelayModeInfo{"TDGDelayMode", CDelayModeNames};

const TClassDescription& TDGDelayValue::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TDGDelayValue";
        LClass.Unit = "DGDelayValue";
        LClass.Properties = {
            DescribeProperty(ValueProperty, &TDGDelayValue::GetValue, &TDGDelayValue::SetValue),
            DescribeProperty(ModeProperty, &TDGDelayValue::GetMode, &TDGDelayValue::SetMode),
        };
        return LClass;
    }();
    return LDescription;
}

void TDGDelayValue::Assign(const TDGDelayValue& ASource)
{
    SetValue(ASource.GetValue());
    SetMode(ASource.GetMode());
}

int64_t TDGDelayValue::Frames(uint32_t ASampleRate) const
{
    TLockAccess LAccess = FLock.ReadLock();
    if (FMode == dmSamples)
        return FValue;
    // Value * rate stays within 64 bits up to Value = 2^63 / 2^32; beyond
    // that the thousands are taken first (the same quotient), and a result
    // past 64 bits is held at the largest value.
    if (FValue <= INT64_MAX / int64_t{0xFFFFFFFF})
        return FValue * ASampleRate / 1000;
    if (ASampleRate != 0 && FValue / 1000 > INT64_MAX / ASampleRate - 1)
        return INT64_MAX;
    return FValue / 1000 * ASampleRate + FValue % 1000 * ASampleRate / 1000;
}

} // namespace Sonorix
