// SPDX-License-Identifier: MIT
#pragma once

#include "SNCommonMeter.h"
#include "SNDispatcher.h"

#include <vector>

namespace Sonorix {

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
    TSNVUMeter() = default;
    ~TSNVUMeter() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    void Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat) override;
    void GetMeterValue(TSNChannelReals& AValues) override;

private:
    std::vector<IIRState_32f*> FStates;
};

// The DC blocker of the VU and PPM meters: y[k] = x[k-1] - x[k-2] + p y[k-1]
// with p = 1 - 2 pi 20 / fs, one state per channel of AWaveFormat. AStates'
// previous states are freed first.
void CreateMeterDCBlockers(std::vector<IIRState_32f*>& AStates, const WAVEFORMATEXTENSIBLE& AWaveFormat);
void FreeMeterDCBlockers(std::vector<IIRState_32f*>& AStates);

namespace SNVUMeter {
// Registers TSNVUMeter with the component registry.
void RegisterPkg();
} // namespace SNVUMeter

} // namespace Sonorix
