// SPDX-License-Identifier: MIT
// The DC blocker of the VU and PPM meters, kept out of their public headers.
#pragma once

#include "SNAudioFormat.h"
#include "SNDispatcher.h"

#include <vector>

namespace Sonorix {

// y[k] = x[k-1] - x[k-2] + p y[k-1] with p = 1 - 2 pi 20 / fs, one state per
// channel of AWaveFormat. AStates' previous states are freed first.
void CreateMeterDCBlockers(std::vector<IIRState_32f*>& AStates, const WAVEFORMATEXTENSIBLE& AWaveFormat);
void FreeMeterDCBlockers(std::vector<IIRState_32f*>& AStates);

// The meters' handle on their filter states.
struct TSNMeterDCBlockers {
    std::vector<IIRState_32f*> States;

    TSNMeterDCBlockers() = default;
    TSNMeterDCBlockers(const TSNMeterDCBlockers&) = delete;
    TSNMeterDCBlockers& operator=(const TSNMeterDCBlockers&) = delete;
    ~TSNMeterDCBlockers() { FreeMeterDCBlockers(States); }
};

} // namespace Sonorix
