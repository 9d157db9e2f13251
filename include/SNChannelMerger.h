// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNMultiInput.h"

namespace Sonorix {
SN_API_BEGIN

// Builds one multi-channel stream from several: input pin i feeds output
// channel i with its first channel. The number of inputs follows
// AudioFormat's channel count; rates and widths are aligned by the
// multi-input base, and samples are copied unchanged. Every connected input
// takes part: the output starts once each has started (its channel count
// counts towards the output's), and no buffer goes out before each holds
// its share, so the channels stay aligned whichever input starts first.
//
// Pins: InputPins[i] (audio in), OutputPin (audio out).
//
//   TSNChannelMerger LMerger;                      // two inputs
//   LLeft.GetOutputPin().Connect(static_cast<TPNSinkPin&>(LMerger.GetInputPins()[0]));
//   LRight.GetOutputPin().Connect(static_cast<TPNSinkPin&>(LMerger.GetInputPins()[1]));
class TSNChannelMerger : public TSNMultiInput {
public:
    TSNChannelMerger();
    ~TSNChannelMerger() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TPNPinList& GetInputPins() { return FInputPins; }

protected:
    void DoChange() override;
    bool PassTroughMasterPump() override { return true; }
    bool WaitsForConnectedInputs() const override { return true; }
    bool CalculateSendOutput() override;
    // Copies the first channel of ASource into channel AChannel of ATarget,
    // frame by frame, in the running width. Called with FInputLock held.
    void MergeBuffer(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget);
    void Merge8Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget);
    void Merge16Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget);
    void Merge24Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget);
    void Merge32Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget);

private:
    TPNPinList FInputPins;
};

namespace SNChannelMerger {
// Registers TSNChannelMerger with the component registry.
void RegisterPkg();
} // namespace SNChannelMerger

SN_API_END
} // namespace Sonorix
