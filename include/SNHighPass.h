// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNFrequencyFilter.h"

namespace Sonorix {
SN_API_BEGIN

// Passes the frequencies above Frequency and stops the frequencies below it, with a
// windowed FIR (FilterType ftFIR, Order taps, WindowType) or an IIR design
// (ftIIR or ftBiquadIIR, an IIRFilterType prototype of order Order).
//
// Pins: InputPin (audio in), OutputPin (audio out).
//
//   TSNHighPass LFilter;
//   LFilter.SetFrequency(1000.0);
//   LFilter.SetOrder(101);
class TSNHighPass : public TSNFrequencyFilter {
public:
    static constexpr TRealSpec FrequencyProperty{
        .Name = "Frequency", .Default = 3500.0, .Min = 0.0, .DesignMin = 0.0, .DesignMax = 500000000.0};

    TSNHighPass() : TSNFrequencyFilter(FrequencyProperty.Default) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    IDGFilterInfoPtr GetFilterInfo() override;
};

namespace SNHighPass {
// Registers TSNHighPass with the component registry.
void RegisterPkg();
} // namespace SNHighPass

SN_API_END
} // namespace Sonorix
