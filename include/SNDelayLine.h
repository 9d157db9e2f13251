// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "DGDelayValue.h"
#include "SNCommonFilter.h"

namespace Sonorix {
SN_API_BEGIN

// Delays a stream by DelayValue (milliseconds or frames). Every output buffer
// has the length of its input and holds the input of D frames earlier; the
// first D frames after a start are silence. A change of DelayValue while
// running resizes the history before the next buffer: growing repeats the
// last held frame, shrinking drops the newest held frames.
//
// Pins: InputPin (audio in), OutputPin (audio out).
//
//   TSNDelayLine LDelay;
//   LDelay.GetDelayValue().SetMode(dmSamples);
//   LDelay.GetDelayValue().SetValue(4800);
class TSNDelayLine : public TSNCommonFilter {
public:
    // The longest history, 2^23 frames (190 s at 44.1 kHz): each buffer
    // shorter than the delay moves the whole history. A longer delay is
    // refused (at the start or at the change) with a background error naming
    // this limit, and the stream passes undelayed.
    static constexpr int64_t MaxDelayFrames = int64_t{1} << 23;

    TSNDelayLine();

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGDelayValue& GetDelayValue() { return FDelayValue; }
    // Copies Value and Mode.
    void SetDelayValue(const TDGDelayValue& AValue) { FDelayValue.Assign(AValue); }
    // The delay of the running stream in frames.
    int64_t GetSamplesDelay() const;

    // Disabling zeroes the history: re-enabling starts with silence.
    void SetEnabled(bool AValue) override;

protected:
    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;

private:
    // The following are called with FInputLock held.
    void CalculateDelay();
    void Resize();
    void Init(const WAVEFORMATEXTENSIBLE& AFormat);

    TDGDelayValue FDelayValue;
    int64_t FSamplesDelay = 0;
    ISNAudioBufferPtr FDelayBuffer;
    bool FNeedsResize = false;
};

namespace SNDelayLine {
// Registers TSNDelayLine with the component registry.
void RegisterPkg();
} // namespace SNDelayLine

SN_API_END
} // namespace Sonorix
