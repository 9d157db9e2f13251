// SPDX-License-Identifier: MIT
#include "SNDynamicRangeCompressor.h"

#include "CVRegistry.h"
#include "IPPExtraFunctions.h"
#include "SNCatalogue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Sonorix {

namespace {

// dB to natural-log factor, ln 10 / 20, as the detector has always stored it.
constexpr double CDbToLog = 0.11512925464970228;
// 20 / ln 10: natural log to dB.
constexpr double CLogToDb = 8.685889638065037;
constexpr double COverScale = 2.08136898;

// Working value from a stored sample and back. Results beyond the width are
// limited to it (never wrapped); 8, 16 and 32 bits truncate toward zero,
// 24 bits round to nearest.
struct TWidth8 {
    static constexpr uint32_t Bytes = 1;
    static double Load(const uint8_t* p) { return p[0] / 256.0; }
    static void Store(uint8_t* p, double y) { p[0] = uint8_t(std::clamp(std::trunc(y * 256.0), 0.0, 255.0)); }
};
struct TWidth16 {
    static constexpr uint32_t Bytes = 2;
    static double Load(const uint8_t* p)
    {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v / 32768.0;
    }
    static void Store(uint8_t* p, double y)
    {
        const auto v = int16_t(std::clamp(std::trunc(y * 32768.0), -32768.0, 32767.0));
        std::memcpy(p, &v, 2);
    }
};
struct TWidth24 {
    static constexpr uint32_t Bytes = 3;
    static double Load(const uint8_t* p) { return Convert24BitTo32Bit(p) / 8388608.0; }
    static void Store(uint8_t* p, double y)
    {
        Convert32BitTo24Bit(int32_t(std::clamp(std::nearbyint(y * 8388608.0), -8388608.0, 8388607.0)), p);
    }
};
struct TWidth32 {
    static constexpr uint32_t Bytes = 4;
    static double Load(const uint8_t* p)
    {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v / 2147483648.0;
    }
    static void Store(uint8_t* p, double y)
    {
        const auto v = int32_t(std::clamp(std::trunc(y * 2147483648.0), -2147483648.0, 2147483647.0));
        std::memcpy(p, &v, 4);
    }
};

double SnapRatio(double AValue)
{
    for (double LStep : {4.0, 8.0, 12.0, 20.0})
        if (AValue <= LStep)
            return LStep;
    return AValue;
}

} // namespace

TSNDynamicRangeCompressor::TSNDynamicRangeCompressor()
{
    Recalc();
}

const TClassDescription& TSNDynamicRangeCompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNDynamicRangeCompressor;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNDynamicRangeCompressor");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(ThresholdProperty, &C::GetThreshold, &C::SetThreshold),
            DescribeProperty(GainProperty, &C::GetGain, &C::SetGain),
            DescribeProperty(CompressRatioProperty, &C::GetCompressRatio, &C::SetCompressRatio),
            DescribeProperty(AttackProperty, &C::GetAttack, &C::SetAttack),
            DescribeProperty(ReleaseProperty, &C::GetRelease, &C::SetRelease),
            DescribeProperty(MixCoefficientProperty, &C::GetMixCoefficient, &C::SetMixCoefficient),
        };
        LClass.Factory = [] { return std::make_shared<TSNDynamicRangeCompressor>(); };
        return LClass;
    }();
    return LDescription;
}

// --- Properties --------------------------------------------------------------

namespace {
// A NaN from code (property text never parses to one) keeps the old value.
bool Usable(double AValue)
{
    return !std::isnan(AValue);
}
} // namespace

double TSNDynamicRangeCompressor::GetThreshold() const
{
    return FOutputLock->Getter(FThresholdDB);
}

void TSNDynamicRangeCompressor::SetThreshold(double AValue)
{
    if (Usable(AValue))
        FOutputLock->NotifySetterMinMax(FThresholdDB, AValue, *ThresholdProperty.Min, *ThresholdProperty.Max,
                                        [this] { Recalc(); });
}

double TSNDynamicRangeCompressor::GetGain() const
{
    return FOutputLock->Getter(FGainDB);
}

void TSNDynamicRangeCompressor::SetGain(double AValue)
{
    if (Usable(AValue))
        FOutputLock->NotifySetterMinMax(FGainDB, AValue, *GainProperty.Min, *GainProperty.Max, [this] { Recalc(); });
}

double TSNDynamicRangeCompressor::GetCompressRatio() const
{
    return FOutputLock->Getter(FCompressRatio);
}

void TSNDynamicRangeCompressor::SetCompressRatio(double AValue)
{
    if (!Usable(AValue))
        return;
    const double LSnapped = SnapRatio(AValue);
    if (LSnapped == 20.0 && AValue > 12.0) {
        TLockAccess LAccess = FOutputLock->WriteLock();
        FRunningAllIn = true;
    }
    FOutputLock->NotifySetter(FCompressRatio, LSnapped, [this] { Recalc(); });
}

double TSNDynamicRangeCompressor::GetAttack() const
{
    return FOutputLock->Getter(FAttackMicroSec);
}

void TSNDynamicRangeCompressor::SetAttack(double AValue)
{
    if (Usable(AValue))
        FOutputLock->NotifySetterMinMax(FAttackMicroSec, AValue, *AttackProperty.Min, *AttackProperty.Max,
                                        [this] { Recalc(); });
}

double TSNDynamicRangeCompressor::GetRelease() const
{
    return FOutputLock->Getter(FReleaseMilliSec);
}

void TSNDynamicRangeCompressor::SetRelease(double AValue)
{
    if (Usable(AValue))
        FOutputLock->NotifySetterMinMax(FReleaseMilliSec, AValue, *ReleaseProperty.Min, *ReleaseProperty.Max,
                                        [this] { Recalc(); });
}

double TSNDynamicRangeCompressor::GetMixCoefficient() const
{
    return FOutputLock->Getter(FMixCoefficient);
}

void TSNDynamicRangeCompressor::SetMixCoefficient(double AValue)
{
    if (Usable(AValue))
        FOutputLock->NotifySetterMinMax(FMixCoefficient, AValue, *MixCoefficientProperty.Min,
                                        *MixCoefficientProperty.Max, [this] { Recalc(); });
}

void TSNDynamicRangeCompressor::SetAllIn(bool AValue)
{
    {
        TLockAccess LAccess = FOutputLock->WriteLock();
        FAllIn = AValue;
        FRunningAllIn = AValue;
    }
    SetCompressRatio(AValue ? 20.0 : GetCompressRatio());
    Recalc();
}

bool TSNDynamicRangeCompressor::GetAllIn() const
{
    return FOutputLock->Getter(FAllIn);
}

// --- Coefficients ------------------------------------------------------------

void TSNDynamicRangeCompressor::Recalc()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (!IsRunning())
        return;
    const double LFs = FWaveFormat.Format.nSamplesPerSec;
    TLockAccess LProperties = FOutputLock->ReadLock();
    FAttackSec = FAttackMicroSec * 0.000001;
    FReleaseSec = FReleaseMilliSec * 0.001;
    FMixFraction = FMixCoefficient;
    FRunningRatio = FCompressRatio;
    if (FAllIn) {
        FAllin2 = 1.0;
        FCratio = 20.0;
    } else {
        FAllin2 = 0.0;
        FCratio = FCompressRatio;
    }
    FCthresh = FThresholdDB;
    FCthreshv = std::exp(FThresholdDB * CDbToLog);
    FGainv = std::exp(FGainDB * CDbToLog);
    FAtCoef = std::exp(-1.0 / (LFs * FAttackSec));
    FRelCoef = std::exp(-1.0 / (LFs * FReleaseSec));
}

void TSNDynamicRangeCompressor::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    TSNCommonFilter::AudioStreamStart(AStartOperation);
    TLockAccess LAccess = FInputLock->WriteLock();
    const double LFs = FWaveFormat.Format.nSamplesPerSec;
    FRatAtCoef = std::exp(-1.0 / (LFs * 0.00001));
    FRatRelCoef = std::exp(-1.0 / (LFs * 0.5));
    Recalc();
    // Every channel gets its working value, however many there are.
    FCompressArr.assign(std::max<uint32_t>(AStartOperation.WaveFormat.Format.nChannels, 1), 0.0);
}

// --- Processing ----------------------------------------------------------------

namespace {

// The detector's state and coefficients as locals of the frame loop, so the
// compiler keeps them in registers.
struct TDetector {
    double Rundb, Overdb, RunRatio, AveRatio, RunAve, Cratio;
    double AtCoef, RelCoef, RatAtCoef, RatRelCoef, Allin2, Ratio, Cthreshv;

    // The excess of a frame whose largest magnitude is APeak.
    double Excess(double APeak)
    {
        RunAve = APeak * APeak;
        const double LDet = std::sqrt(std::max(RunAve, 0.0));
        if (LDet == 0.0)
            return COverScale * CLogToDb;
        // At or below the threshold the logarithm is not positive and the
        // excess is 0 either way.
        return LDet > Cthreshv ? std::max(COverScale * std::log10(LDet / Cthreshv) * CLogToDb, 0.0) : 0.0;
    }
    // The smoothing step; returns the exponent of the frame's gain reduction.
    double Step(double AOver)
    {
        if (AOver - Rundb > 5.0)
            AveRatio = 4.0;
        if (AOver > Rundb) {
            Rundb = AOver + AtCoef * (Rundb - AOver);
            RunRatio = AveRatio + RatAtCoef * (RunRatio - AveRatio);
        } else {
            Rundb = AOver + RelCoef * (Rundb - AOver);
            RunRatio = AveRatio + RatRelCoef * (RunRatio - AveRatio);
        }
        Overdb = Rundb;
        AveRatio = RunRatio;
        Cratio = Allin2 != 0.0 ? 12.0 + AveRatio : Ratio;
        return -Overdb * (Cratio - 1.0) / Cratio * CDbToLog;
    }
};

} // namespace

template <class TWidth>
void TSNDynamicRangeCompressor::ProcessFrames(const uint8_t* AIn, uint8_t* AOut, size_t AFrames, uint32_t AChannels)
{
    // Three passes over the buffer, each frame's arithmetic as in one pass:
    // the logarithms (independent of each other), the smoothing (the only
    // dependency between frames), then the gains and the samples, so the
    // processor overlaps the library calls.
    if (FFrameValues.size() < AFrames)
        FFrameValues.resize(AFrames);
    double* LValue = FFrameValues.data();
    TDetector D{FRundb,  FOverdb,     FRunRatio, FAveRatio, FRunAve,       FCratio,  FAtCoef,
                FRelCoef, FRatAtCoef, FRatRelCoef, FAllin2, FRunningRatio, FCthreshv};
    const size_t LStep = size_t(AChannels) * TWidth::Bytes;
    const uint8_t* LIn = AIn;
    for (size_t f = 0; f < AFrames; ++f, LIn += LStep) {
        double LPeak = 0.0;
        for (uint32_t c = 0; c < AChannels; ++c)
            LPeak = std::max(LPeak, std::fabs(TWidth::Load(LIn + c * TWidth::Bytes)));
        LValue[f] = D.Excess(LPeak);
    }
    for (size_t f = 0; f < AFrames; ++f)
        LValue[f] = D.Step(LValue[f]);
    FRundb = D.Rundb, FOverdb = D.Overdb, FRunRatio = D.RunRatio, FAveRatio = D.AveRatio, FRunAve = D.RunAve;
    FCratio = D.Cratio;
    double* x = FCompressArr.data();
    const double LGainv = FGainv, LMix = FMixFraction;
    for (size_t f = 0; f < AFrames; ++f, AIn += LStep, AOut += LStep) {
        const double LGr = std::exp(LValue[f]);
        for (uint32_t c = 0; c < AChannels; ++c)
            x[c] = TWidth::Load(AIn + c * TWidth::Bytes);
        for (uint32_t c = 0; c < AChannels; ++c)
            TWidth::Store(AOut + c * TWidth::Bytes, x[c] * LGr * LGainv * LMix + (1.0 - LMix) * x[c]);
    }
}

void TSNDynamicRangeCompressor::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer,
                                                        ISNAudioBufferPtr& AOutBuffer, bool& /*ASendOutputData*/)
{
    // Called with FInputLock held; AOutBuffer is a writable copy of the input.
    const uint32_t LChannels = AInBuffer->GetChannels();
    const uint32_t LStep = AInBuffer->GetDataStep();
    if (LChannels == 0 || LStep == 0 || !AOutBuffer)
        return;
    const size_t LFrames = AInBuffer->GetByteSize() / LStep;
    if (FCompressArr.size() < LChannels)
        FCompressArr.resize(LChannels);
    const uint8_t* LIn = AInBuffer->ByteRead();
    uint8_t* LOut = AOutBuffer->ByteWrite();
    switch (AInBuffer->GetBitsPerSample()) {
    case 8:
        ProcessFrames<TWidth8>(LIn, LOut, LFrames, LChannels);
        break;
    case 16:
        ProcessFrames<TWidth16>(LIn, LOut, LFrames, LChannels);
        break;
    case 24:
        ProcessFrames<TWidth24>(LIn, LOut, LFrames, LChannels);
        break;
    case 32:
        ProcessFrames<TWidth32>(LIn, LOut, LFrames, LChannels);
        break;
    default:
        break;
    }
}

namespace SNDynamicRangeCompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNDynamicRangeCompressor::ClassDescription()});
}
} // namespace SNDynamicRangeCompressor

} // namespace Sonorix
