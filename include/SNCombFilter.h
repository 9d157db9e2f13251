// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonFilter.h"

namespace Sonorix {
SN_API_BEGIN

enum TDGCombFeed { cfForward, cfBack };
extern const TEnumInfo TDGCombFeedInfo;

// Adds to a stream a copy of itself delayed by Delay frames and scaled by
// Coefficient: of the input (cfForward, y[n] = x[n] + c x[n - D]) or of its
// own output (cfBack, y[n] = x[n] + c y[n - D]), channel by channel. The last
// Delay frames are kept between buffers, so any split of a stream into
// buffers gives the same output. Sums saturate at the width's limits.
//
// Pins: InputPin (audio in), OutputPin (audio out).
//
//   TSNCombFilter LComb;
//   LComb.SetDelay(441);                  // 10 ms at 44.1 kHz
//   LComb.SetFeed(cfBack);
class TSNCombFilter : public TSNCommonFilter {
public:
    static constexpr TRealSpec CoefficientProperty{.Name = "Coefficient", .Default = 0.9, .Min = 0.0};
    static constexpr TIntSpec DelayProperty{.Name = "Delay", .Default = 1000, .Min = 0, .TypeName = "Cardinal"};
    // The longest history, 2^23 frames (190 s at 44.1 kHz): each buffer
    // shorter than the delay moves the whole history. A longer Delay keeps
    // its value but is refused at the start (or at the change) with a
    // background error naming this limit, and the stream passes unfiltered.
    static constexpr uint32_t MaxDelayFrames = uint32_t{1} << 23;
    static constexpr TEnumSpec<TDGCombFeed> FeedProperty{.Name = "Feed", .Default = cfForward, .Info = &TDGCombFeedInfo};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // The factor of the delayed signal, at or above 0; applies from the next buffer.
    double GetCoefficient() const;
    void SetCoefficient(double AValue);
    // The delay in frames (at most MaxDelayFrames take effect); a change
    // while running zeroes the history before the next buffer.
    uint32_t GetDelay() const;
    void SetDelay(uint32_t AValue);
    TDGCombFeed GetFeed() const;
    void SetFeed(TDGCombFeed AValue);

    // Re-enabling starts without the echoes of the old history.
    void SetEnabled(bool AValue) override;

protected:
    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;

private:
    // A zeroed history of Delay frames in the format of AFormat. Called with
    // FInputLock held.
    void Init(const WAVEFORMATEXTENSIBLE& AFormat);

    double FCoefficient = CoefficientProperty.Default;
    uint32_t FDelay = static_cast<uint32_t>(DelayProperty.Default);
    ISNAudioBufferPtr FDelayBuffer;
    bool FNeedsResize = false;
    // The running Delay was refused (too long, or no memory); cleared by the
    // next Init.
    bool FDelayRefused = false;
    TDGCombFeed FFeed = FeedProperty.Default;
};

namespace SNCombFilter {
// Registers TSNCombFilter with the component registry.
void RegisterPkg();
} // namespace SNCombFilter

SN_API_END
} // namespace Sonorix
