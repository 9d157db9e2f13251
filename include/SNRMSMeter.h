// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonMeter.h"

#include <vector>

namespace Sonorix {
SN_API_BEGIN

// Plain RMS level per channel over each period: sqrt(mean of x^2), in sample
// units (full scale 2^(bits-1) - 1), or in dB relative to half full scale in
// vmDecibel mode (a full-scale square wave reads +6.02 dB).
//
// Pins: InputPin (audio in), OutputPins (one level per channel).
//
//   TSNRMSMeter LMeter;
//   LMeter.SetMode(vmDecibel);
//   LMeter.SetOnValueChange([](TPersistent&, int32_t C, double V, double, double) { Show(C, V); });
class TSNRMSMeter : public TSNCommonMeter {
public:
    TSNRMSMeter() = default;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    void GetMeterValue(TSNChannelReals& AValues) override;

private:
    std::vector<float> FScratch;
};

namespace SNRMSMeter {
// Registers TSNRMSMeter with the component registry.
void RegisterPkg();
} // namespace SNRMSMeter

SN_API_END
} // namespace Sonorix
