// SPDX-License-Identifier: MIT
#include "SNBandFilter.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

const TClassDescription& TSNBandFilter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBandFilter";
        LClass.Unit = "SNBandFilter";
        LClass.Parent = &TSNSimpleFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(FreqLowProperty, &TSNBandFilter::GetFreqLow, &TSNBandFilter::SetFreqLow),
            DescribeProperty(FreqHighProperty, &TSNBandFilter::GetFreqHigh, &TSNBandFilter::SetFreqHigh),
        };
        return LClass;
    }();
    return LDescription;
}

double TSNBandFilter::GetFreqLow() const
{
    return FOutputLock->Getter(FFreqLow);
}

void TSNBandFilter::SetFreqLow(double AValue)
{
    FOutputLock->NotifySetterMin(FFreqLow, AValue, *FreqLowProperty.Min, [this] { Recalc(); });
}

double TSNBandFilter::GetFreqHigh() const
{
    return FOutputLock->Getter(FFreqHigh);
}

void TSNBandFilter::SetFreqHigh(double AValue)
{
    FOutputLock->NotifySetterMin(FFreqHigh, AValue, *FreqHighProperty.Min, [this] { Recalc(); });
}

void TSNBandFilter::AutoCalcRate()
{
    const double LRate = std::min(std::round(std::max(4.0 * GetFreqHigh(), 1.0)), double(INT32_MAX));
    SetSampleRate(static_cast<int32_t>(LRate));
}

IDGFilterInfoPtr TSNBandFilter::DesignOverBand(TDGDesignFilterType ADesign, bool ALimit)
{
    const double fs = FWaveFormat.Format.nSamplesPerSec;
    double LLow = GetFreqLow();
    double LHigh = GetFreqHigh();
    if (ALimit) {
        if (LHigh / fs >= 0.5)
            LHigh = 0.49999 * fs;
        if (LLow >= LHigh)
            LLow = 0.99999 * LHigh;
    }
    return DGFilterCalc(GetFilterType(), ADesign, GetOrder(), LLow, LHigh, fs, GetWindowType(), GetIIRFilterType(),
                        GetAlpha());
}

} // namespace Sonorix
