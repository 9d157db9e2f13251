// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNSimpleFilter.h"

namespace Sonorix {
SN_API_BEGIN

// A filter core with a band from FreqLow to FreqHigh (band pass, band stop).
class TSNBandFilter : public TSNSimpleFilter {
public:
    static constexpr TRealSpec FreqLowProperty{.Name = "FreqLow", .Default = 1500.0, .Min = 0.0};
    static constexpr TRealSpec FreqHighProperty{.Name = "FreqHigh", .Default = 3500.0, .Min = 0.0};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // The band's edges in Hz, at or above 0; a change while running
    // re-designs before the next buffer.
    double GetFreqLow() const;
    void SetFreqLow(double AValue);
    double GetFreqHigh() const;
    void SetFreqHigh(double AValue);

    // SampleRate := max(4 x FreqHigh, 1), rounded.
    void AutoCalcRate() override;

protected:
    // The design of this kind over the band: the upper edge kept below half
    // the stream's rate (0.49999 x rate), the lower edge below the upper one
    // (0.99999 x upper), unless ALimit is false. Called with FInputLock held.
    IDGFilterInfoPtr DesignOverBand(TDGDesignFilterType ADesign, bool ALimit);

private:
    double FFreqLow = FreqLowProperty.Default;
    double FFreqHigh = FreqHighProperty.Default;
};

SN_API_END
} // namespace Sonorix
