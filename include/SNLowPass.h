// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNFrequencyFilter.h"

namespace Sonorix {
SN_API_BEGIN

// Passes the frequencies below Frequency and stops the frequencies above it, with a
// windowed FIR (FilterType ftFIR, Order taps, WindowType) or an IIR design
// (ftIIR or ftBiquadIIR, an IIRFilterType prototype of order Order).
//
// Pins: InputPin (audio in), OutputPin (audio out).
//
//   TSNLowPass LFilter;
//   LFilter.SetFrequency(1000.0);
//   LFilter.SetOrder(101);
class TSNLowPass : public TSNFrequencyFilter {
public:
    static constexpr TRealSpec FrequencyProperty{
        .Name = "Frequency", .Default = 1500.0, .Min = 0.0, .DesignMin = 0.0, .DesignMax = 500000000.0};

    TSNLowPass() : TSNFrequencyFilter(FrequencyProperty.Default) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    IDGFilterInfoPtr GetFilterInfo() override;
};

namespace SNLowPass {
// Registers TSNLowPass with the component registry.
void RegisterPkg();
} // namespace SNLowPass

SN_API_END
} // namespace Sonorix
