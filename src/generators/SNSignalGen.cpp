// SPDX-License-Identifier: MIT
#include "SNSignalGen.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace Sonorix {

namespace {

constexpr const char* CSignalTypeNames[] = {"atTone", "atTriangle", "atSquare", "atSawToothUp", "atSawToothDown"};

// A double passed to a single-precision argument: values beyond the single
// range saturate instead of being undefined.
float ToSingle(double AValue)
{
    if (AValue > FLT_MAX)
        return FLT_MAX;
    if (AValue < -FLT_MAX)
        return -FLT_MAX;
    return static_cast<float>(AValue);
}

// The saw-tooth's integer steps are 32-bit; a step that leaves the range is
// an error of the stream, never a wrapped value.
[[noreturn]] void Overflow(const char* AWhat, double AValue)
{
    throw EIntOverflow(std::string("Integer overflow in the saw-tooth: ") + AWhat + " = " + FormatReal(AValue) +
                       " does not fit 32 bits");
}

int32_t Checked(int64_t AValue, const char* AWhat)
{
    if (AValue < std::numeric_limits<int32_t>::min() || AValue > std::numeric_limits<int32_t>::max())
        Overflow(AWhat, static_cast<double>(AValue));
    return static_cast<int32_t>(AValue);
}

// Round to nearest, ties to even, into 32 bits.
int32_t CheckedRound(double AValue, const char* AWhat)
{
    const double LRounded = std::nearbyint(AValue);
    if (!(LRounded >= -2147483648.0 && LRounded <= 2147483647.0))
        Overflow(AWhat, AValue);
    return static_cast<int32_t>(LRounded);
}

} // namespace

const TEnumInfo TSNSignalTypeInfo{"TSNSignalType", CSignalTypeNames};

TSNSignalGen::~TSNSignalGen()
{
    StopSource();
}

const TClassDescription& TSNSignalGen::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNSignalGen;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNSignalGen");
        LClass.Parent = &TSNCommonGen::ClassDescription();
        LClass.Properties = {
            DescribeProperty(SignalTypeProperty, &C::GetSignalType, &C::SetSignalType),
            DescribeProperty(PhaseProperty, &C::GetPhase, &C::SetPhase),
            DescribeProperty(AmplitudeProperty, &C::GetAmplitude, &C::SetAmplitude),
            DescribeProperty(FrequencyProperty, &C::GetFrequency, &C::SetFrequency),
            DescribeProperty(AsymmetryProperty, &C::GetAsymmetry, &C::SetAsymmetry),
        };
        LClass.Methods = {TMethodInfo{"FrequencyChangeEvent", [](TPersistent& AObject) -> TPublishedMethod {
            auto* LGen = &static_cast<TSNSignalGen&>(AObject);
            return [LGen](TPNPin& ASender, float AValue, bool AOnConnect) {
                LGen->FrequencyChangeEvent(&ASender, AValue, AOnConnect);
            };
        }}};
        LClass.Factory = [] { return std::make_shared<TSNSignalGen>(); };
        return LClass;
    }();
    return LDescription;
}

// --- Properties --------------------------------------------------------------------

TSNSignalType TSNSignalGen::GetSignalType() const { return FLock->Getter(FSignalType); }
void TSNSignalGen::SetSignalType(TSNSignalType AValue) { FLock->NotifySetter(FSignalType, AValue); }

float TSNSignalGen::GetPhase() const { return FLock->Getter(FPhase); }

void TSNSignalGen::SetPhase(float AValue)
{
    FLock->NotifySetter(FPhase, AValue, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        FIntPhase = FPhase;
    });
}

int32_t TSNSignalGen::GetAmplitude() const { return FLock->Getter(FAmplitude); }

void TSNSignalGen::SetAmplitude(int32_t AValue)
{
    FLock->NotifySetterMinMax(FAmplitude, AValue, static_cast<int32_t>(*AmplitudeProperty.Min),
                              static_cast<int32_t>(*AmplitudeProperty.Max));
}

double TSNSignalGen::GetFrequency() const { return FLock->Getter(FFrequency); }
void TSNSignalGen::SetFrequency(double AValue) { FLock->NotifySetterMin(FFrequency, AValue, *FrequencyProperty.Min); }

double TSNSignalGen::GetAsymmetry() const { return FLock->Getter(FAsymmetry); }

void TSNSignalGen::SetAsymmetry(double AValue)
{
    FLock->NotifySetterMinMax(FAsymmetry, AValue, *AsymmetryProperty.Min, *AsymmetryProperty.Max);
}

float TSNSignalGen::GetCurrentPhase() const { return FLock->Getter(FIntPhase); }

void TSNSignalGen::FrequencyChangeEvent(TPNPin* /*ASender*/, float AValue, bool /*AOnConnect*/)
{
    SetFrequency(AValue);
}

// --- Stream ----------------------------------------------------------------------------

void TSNSignalGen::IntStart()
{
    {
        TLockAccess LAccess = FLock->WriteLock();
        FRampError = 0;
        FIntPhase = FPhase;
    }
    TSNCommonGen::IntStart();
}

void TSNSignalGen::SetRate(double ARate)
{
    FLock->NotifySetterMin(FIntRate, ARate, 0.0, [this] {
        TLockAccess LAccess = FLock->WriteLock();
        UpdateSamplesPerCycle();
    });
}

void TSNSignalGen::UpdateSamplesPerCycle()
{
    // Round(1 / rfreq). A frequency of 0 (an infinite cycle) or a cycle
    // beyond 32 bits leaves no whole-sample cycle: 0, which the saw-tooth
    // takes for silence.
    const double LCycle = 1.0 / (FFrequency / FIntRate);
    const double LRounded = std::nearbyint(LCycle);
    FSamplesPerCycle = LRounded >= 0.0 && LRounded <= 2147483647.0 ? static_cast<int32_t>(LRounded) : 0;
}

void TSNSignalGen::Generate(ISNAudioBufferPtr& ASignal, bool& /*APopulated*/, bool& /*AFinished*/)
{
    const uint32_t LCount = ASignal->GetSize();
    const size_t LBytes = size_t{2} * LCount;
    if (!FBlock || FBlock->GetSize() != LBytes)
        FBlock = TDGBlockBuffer::CreateSize(LBytes);
    auto* LBlock = static_cast<Ipp16s*>(FBlock->Write());
    const auto LLength = static_cast<int32_t>(LCount);
    {
        TLockAccess LAccess = FLock->WriteLock();
        const double LRFreq = FFrequency / FIntRate;
        UpdateSamplesPerCycle();
        const auto LMagnitude = static_cast<Ipp16s>(FAmplitude);
        switch (FSignalType) {
        case atTone:
            if (ippsTone_Direct_16s(LBlock, LLength, LMagnitude, ToSingle(LRFreq), &FIntPhase, ippAlgHintNone) !=
                ippStsNoErr)
                std::memset(LBlock, 0, LBytes);
            break;
        case atTriangle:
            if (ippsTriangle_Direct_16s(LBlock, LLength, LMagnitude, ToSingle(LRFreq), ToSingle(FAsymmetry),
                                        &FIntPhase) != ippStsNoErr)
                std::memset(LBlock, 0, LBytes);
            break;
        case atSquare:
            ippsSquare_Direct_16s(LBlock, LLength, static_cast<Ipp16s>(std::abs(FAmplitude)), ToSingle(LRFreq),
                                  ToSingle(FAsymmetry), &FIntPhase);
            break;
        case atSawToothUp:
            orvel_SawTooth_16s(LBlock, LLength, std::abs(FAmplitude), LRFreq, FIntPhase);
            break;
        case atSawToothDown:
            orvel_SawTooth_16s(LBlock, LLength, -std::abs(FAmplitude), LRFreq, FIntPhase);
            break;
        }
    }
    PopulateAudio(FBlock, ASignal);
}

// Called with FLock held.
void TSNSignalGen::orvel_SawTooth_16s(int16_t* ADst, int32_t ALen, int32_t APeak, double AFreq, float& APhase)
{
    if (ALen <= 0)
        return;
    const int32_t N = FSamplesPerCycle;
    // No whole-sample cycle (a frequency of 0, or one so high or so low that
    // the cycle is not a positive 32-bit count): silence, phase kept.
    if (N < 1 || !(AFreq > 0.0)) {
        std::memset(ADst, 0, size_t{2} * static_cast<size_t>(ALen));
        return;
    }
    const double LSlope = 2.0 * APeak / N;
    const auto LTop = static_cast<int16_t>(std::floor(static_cast<double>(APeak)));
    // Ramps clipped to the buffer: the first segment may ask for more.
    const auto LRamp = [&](int32_t AFirst, int64_t ACount, double AOffset) {
        ACount = std::min<int64_t>(ACount, int64_t{ALen} - AFirst);
        if (AFirst >= 0 && ACount > 0)
            ippsVectorRamp_16s(ADst + AFirst, static_cast<int>(ACount), ToSingle(AOffset), ToSingle(LSlope));
    };

    const int32_t LK0 = CheckedRound(APhase * 0.5 / SNPi / AFreq, "cycle position");
    int32_t LM = Checked(int64_t{N} - LK0, "segment length");
    bool LInside = false;
    if (int64_t{LM} + 1 > ALen) {
        LM = ALen - 1;
        LInside = true;
    }
    FRampError += N - 1.0 / AFreq;

    int32_t LWritten = 0;
    if (LK0 > 0 || LInside) {
        int32_t LD = 0;
        if (std::abs(FRampError) >= 1.0) {
            LD = CheckedRound(std::trunc(FRampError), "ramp error");
            FRampError -= LD;
        }
        LM = Checked(int64_t{LM} + LD, "segment length");
        LRamp(0, int64_t{LM} + 1, Checked(int64_t{LK0} - LD, "segment start") * LSlope - APeak);
        if (!LInside && LM >= 0 && LM < ALen)
            ADst[LM] = LTop;
        LWritten = static_cast<int32_t>(std::clamp<int64_t>(int64_t{LM} + 1, 0, ALen));
    }

    const int64_t LCycle = int64_t{N} + 1;
    const int64_t LCycles = (ALen - LWritten) / LCycle;
    for (int64_t I = 0; I < LCycles; ++I) {
        LRamp(LWritten, LCycle, -APeak);
        ADst[LWritten + N] = LTop;
        LWritten += static_cast<int32_t>(LCycle);
    }

    if (!LInside) {
        const int32_t LRest = ALen - LWritten;
        LRamp(LWritten, LRest, -APeak);
        APhase = ToSingle(LRest * 2 * SNPi / N);
    } else {
        // The first segment came out a sample short (a negative correction):
        // the sample it left is held at the last value rather than left over
        // from the previous buffer.
        if (LWritten == 0)
            ADst[LWritten++] = 0;
        for (int32_t I = LWritten; I < ALen; ++I)
            ADst[I] = ADst[I - 1];
        APhase = ToSingle(Checked(int64_t{LK0} + ALen, "cycle position") * 2 * SNPi / N);
    }
}

namespace SNSignalGen {
void RegisterPkg()
{
    RegisterComponents({&TSNSignalGen::ClassDescription()});
}
} // namespace SNSignalGen

} // namespace Sonorix
