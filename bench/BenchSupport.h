// SPDX-License-Identifier: MIT
// Pieces shared by the benchmark programs.
#pragma once

#include "CVComponent.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <cstdint>

namespace Sonorix::Bench {

// An audio sink that counts the frames arriving, nothing more.
class TCountingSink : public TLockComponent {
public:
    TCountingSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation))
                Frames += LBuffer->AudioBuffer->GetSize();
            return true;
        });
    }
    TSNPNAudioSinkPin Pin;
    uint64_t Frames = 0;
};

} // namespace Sonorix::Bench
