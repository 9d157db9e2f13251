// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNBandFilter.h"

namespace Sonorix {
SN_API_BEGIN

// Stops the band from FreqLow to FreqHigh and passes the frequencies outside it,
// with a windowed FIR (FilterType ftFIR, Order taps, WindowType) or an IIR
// design (ftIIR or ftBiquadIIR, an IIRFilterType prototype of order Order,
// so a filter of order 2 x Order).
//
// Pins: InputPin (audio in), OutputPin (audio out).
//
//   TSNBandStop LFilter;
//   LFilter.SetFreqLow(300.0);
//   LFilter.SetFreqHigh(3400.0);
class TSNBandStop : public TSNBandFilter {
public:
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    IDGFilterInfoPtr GetFilterInfo() override;
};

namespace SNBandStop {
// Registers TSNBandStop with the component registry.
void RegisterPkg();
} // namespace SNBandStop

SN_API_END
} // namespace Sonorix
