// SPDX-License-Identifier: MIT
#include "SNFrequencyFilter.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

const TClassDescription& TSNFrequencyFilter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNFrequencyFilter";
        LClass.Unit = "SNFrequencyFilter";
        LClass.Parent = &TSNSimpleFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        return LClass;
    }();
    return LDescription;
}

double TSNFrequencyFilter::GetFrequency() const
{
    return FOutputLock->Getter(FFrequency);
}

void TSNFrequencyFilter::SetFrequency(double AValue)
{
    FOutputLock->NotifySetterMin(FFrequency, AValue, 0.0, [this] { Recalc(); });
}

void TSNFrequencyFilter::AutoCalcRate()
{
    const double LRate = std::min(std::round(std::max(4.0 * GetFrequency(), 1.0)), double(INT32_MAX));
    SetSampleRate(static_cast<int32_t>(LRate));
}

IDGFilterInfoPtr TSNFrequencyFilter::DesignAtFrequency(TDGDesignFilterType ADesign)
{
    const double fs = FWaveFormat.Format.nSamplesPerSec;
    double f = GetFrequency();
    if (f / fs >= 0.5)
        f = 0.49999 * fs;
    return DGFilterCalc(GetFilterType(), ADesign, GetOrder(), f, -1.0, fs, GetWindowType(), GetIIRFilterType(),
                        GetAlpha());
}

} // namespace Sonorix
