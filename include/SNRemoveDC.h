// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "DGBuffers.h"
#include "SNCommonFilter.h"

#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

struct TSNRemoveDCStates;

// Removes the constant (DC) part of every channel with a fixed one-pole
// high pass whose corner lies near 20 Hz:
//   y[n] = x[n-1] - x[n-2] + (1 - 40 pi / fs) y[n-1]
// (one sample of delay). 8-bit samples are filtered around 128, the
// stream's silence, and written back around it. No properties.
//
// Pins: InputPin (audio in), OutputPin (audio out).
//
//   TSNRemoveDC LRemoveDC;
//   LSource.GetOutputPin().Connect(LRemoveDC.GetInputPin());
//   LRemoveDC.GetOutputPin().Connect(LSink.GetInputPin());
class TSNRemoveDC : public TSNCommonFilter {
public:
    TSNRemoveDC();
    ~TSNRemoveDC() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

protected:
    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;
    bool ProcessesInPlace() const override { return true; }

private:
    // Called with FInputLock held.
    void FreeStates();

    // One DC blocker per channel.
    std::unique_ptr<TSNRemoveDCStates> FStates;
    IDGBlockBufferPtr FDCBuffer;
};

namespace SNRemoveDC {
// Registers TSNRemoveDC with the component registry.
void RegisterPkg();
} // namespace SNRemoveDC

SN_API_END
} // namespace Sonorix
