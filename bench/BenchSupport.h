// SPDX-License-Identifier: MIT
// Pieces shared by the benchmark programs.
#pragma once

#include "CVComponent.h"
#include "CVPlainClass.h"
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

// Claims the pump role and counts what arrives: a tick sent upstream from
// Pin makes the source send one buffer on the caller's thread.
class TPumpingSink : public TLockComponent {
public:
    TPumpingSink() : Pin(this, "InputPin")
    {
        Pin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation))
                LRequest->Claim(this, ptMaster, 0);
            else if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation))
                Frames += LBuffer->AudioBuffer->GetSize();
            return true;
        });
    }
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TPumpingSink">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin Pin;
    uint64_t Frames = 0;
};

} // namespace Sonorix::Bench
