// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonMeter.h"

#include <memory>

namespace Sonorix {
SN_API_BEGIN

struct TSNMeterDCBlockers;
struct TSNVUMeterState;

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
    void TakeFrames(const uint8_t* AFrames, int32_t AStep, int32_t ACount, int32_t AFilled) override;
    void GetMeterValue(TSNChannelReals& AValues) override;

private:
    std::unique_ptr<TSNVUMeterState> FState;
};

namespace SNVUMeter {
// Registers TSNVUMeter with the component registry.
void RegisterPkg();
} // namespace SNVUMeter

SN_API_END
} // namespace Sonorix
