// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNSimpleFilter.h"

namespace Sonorix {
SN_API_BEGIN

// A filter core with one corner frequency (low pass, high pass).
class TSNFrequencyFilter : public TSNSimpleFilter {
public:
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // The corner in Hz, at or above 0; a change while running re-designs
    // before the next buffer.
    double GetFrequency() const;
    void SetFrequency(double AValue);

    // SampleRate := max(4 x Frequency, 1), rounded.
    void AutoCalcRate() override;

protected:
    explicit TSNFrequencyFilter(double AFrequency) : FFrequency(AFrequency) {}
    // The design of this kind at Frequency, kept below half the stream's
    // rate (0.49999 x rate). Called with FInputLock held.
    IDGFilterInfoPtr DesignAtFrequency(TDGDesignFilterType ADesign);

private:
    double FFrequency;
};

SN_API_END
} // namespace Sonorix
