// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonMeter.h"

#include <memory>

namespace Sonorix {
SN_API_BEGIN

struct TSNMeterDCBlockers;

// Volume-unit meter: the RMS of each period after a 20 Hz DC blocker, so a
// constant offset reads towards 0. Values and modes as TSNRMSMeter.
//
// Pins: InputPin (audio in), OutputPins (one level per channel).
//
//   TSNVUMeter LMeter;
//   LMeter.SetMode(vmDecibel);
//   LSource.GetOutputPin().Connect(LMeter.GetInputPin());
class TSNVUMeter : public TSNCommonMeter {
public:
    TSNVUMeter();
    ~TSNVUMeter() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    void Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat) override;
    void GetMeterValue(TSNChannelReals& AValues) override;

private:
    std::unique_ptr<TSNMeterDCBlockers> FDCBlockers;
};

namespace SNVUMeter {
// Registers TSNVUMeter with the component registry.
void RegisterPkg();
} // namespace SNVUMeter

SN_API_END
} // namespace Sonorix
