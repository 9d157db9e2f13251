// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonFilter.h"

#include <vector>

namespace Sonorix {
SN_API_BEGIN

// Lowers the level of a stream above Threshold. The peak of each frame (the
// loudest channel) is followed in decibels with attack and release
// smoothing; the smoothed excess over the threshold becomes a gain reduction
// by CompressRatio, Gain is applied to the compressed signal, and
// MixCoefficient mixes it with the dry signal.
//
// Pins: InputPin (audio in), OutputPin (audio out). Every width (8, 16, 24,
// 32 bits) and any channel count is processed; results beyond a width's
// range are limited to it, never wrapped. 8-bit samples are read without
// removing their offset (128 reads as 0.5), as the detector always did.
// The detector state carries over from buffer to buffer and from stream to
// stream.
//
//   TSNDynamicRangeCompressor LCompressor;
//   LCompressor.SetThreshold(-30.0);
//   LCompressor.SetCompressRatio(8.0);
class TSNDynamicRangeCompressor : public TSNCommonFilter {
public:
    static constexpr TRealSpec ThresholdProperty{.Name = "Threshold", .Default = -20.0, .Min = -60.0, .Max = 0.0};
    static constexpr TRealSpec GainProperty{.Name = "Gain", .Default = 0.0, .Min = -25.0, .Max = 25.0};
    // Snapped upward to 4, 8, 12 or 20; values above 20 are kept.
    static constexpr TRealSpec CompressRatioProperty{.Name = "CompressRatio", .Default = 4.0, .Min = 4.0};
    static constexpr TRealSpec AttackProperty{.Name = "Attack", .Default = 50.0, .Min = 50.0, .Max = 2500.0};
    static constexpr TRealSpec ReleaseProperty{.Name = "Release", .Default = 250.0, .Min = 50.0, .Max = 2500.0};
    static constexpr TRealSpec MixCoefficientProperty{
        .Name = "MixCoefficient", .Default = 1.0, .Min = 0.0, .Max = 1.0};

    TSNDynamicRangeCompressor();

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // dB, -60 .. 0.
    double GetThreshold() const;
    void SetThreshold(double AValue);
    // Make-up gain of the compressed signal, dB, -25 .. 25.
    double GetGain() const;
    void SetGain(double AValue);
    double GetCompressRatio() const;
    void SetCompressRatio(double AValue);
    // Microseconds, 50 .. 2500.
    double GetAttack() const;
    void SetAttack(double AValue);
    // Milliseconds, 50 .. 2500.
    double GetRelease() const;
    void SetRelease(double AValue);
    // Fraction of the compressed signal in the output, 0 .. 1.
    double GetMixCoefficient() const;
    void SetMixCoefficient(double AValue);

    // All-in mode: the ratio follows the detector (12 + a smoothed 4);
    // switching it on sets CompressRatio to 20.
    void SetAllIn(bool AValue);
    bool GetAllIn() const;

protected:
    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;
    bool ProcessesInPlace() const override { return true; }

private:
    // Coefficients from the properties; only while a stream runs.
    void Recalc();
    template <class TWidth>
    void ProcessFrames(const uint8_t* AIn, uint8_t* AOut, size_t AFrames, uint32_t AChannels);

    // Property values, guarded by FOutputLock.
    double FThresholdDB = ThresholdProperty.Default;
    double FGainDB = GainProperty.Default;
    double FCompressRatio = CompressRatioProperty.Default;
    double FAttackMicroSec = AttackProperty.Default;
    double FReleaseMilliSec = ReleaseProperty.Default;
    double FMixCoefficient = MixCoefficientProperty.Default;
    bool FAllIn = false;
    bool FRunningAllIn = false;

    // Coefficients and detector state, guarded by FInputLock (Recalc takes
    // it, so a buffer is processed with one set of coefficients).
    double FAttackSec = 0.0, FReleaseSec = 0.0, FMixFraction = 1.0;
    double FCratio = 4.0;
    double FRunningRatio = 4.0;
    double FRundb = 0.0, FOverdb = 0.0;
    double FRatAtCoef = 0.0, FRatRelCoef = 0.0;
    double FAtCoef = 0.0, FRelCoef = 0.0;
    double FAveRatio = 0.0, FRunRatio = 0.0;
    double FRunAve = 0.0;
    double FAllin2 = 0.0;
    double FCthresh = 0.0, FCthreshv = 1.0;
    double FGainv = 1.0;
    std::vector<double> FCompressArr;
    // Per-frame excess, then gain exponent, of the buffer being processed.
    std::vector<double> FFrameValues;
};

namespace SNDynamicRangeCompressor {
// Registers TSNDynamicRangeCompressor with the component registry.
void RegisterPkg();
} // namespace SNDynamicRangeCompressor

SN_API_END
} // namespace Sonorix
