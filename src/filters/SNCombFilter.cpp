// SPDX-License-Identifier: MIT
#include "SNCombFilter.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "IPPExtraFunctions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Sonorix {

namespace {

constexpr const char* CCombFeedNames[] = {"cfForward", "cfBack"};

// Rounds to nearest, ties to even (values far below 2^51).
inline double RoundEven(double AValue)
{
    constexpr double LMagic = 6755399441055744.0;
    return (AValue + LMagic) - LMagic;
}

// One sample of each width as a signed value (8-bit: stored - 128), with
// the width's limits.
template <uint32_t ABits>
struct TCombWidth {
    static constexpr uint32_t Bytes = ABits / 8;
    static constexpr double Low = -double(int64_t{1} << (ABits - 1));
    static constexpr double High = double(int64_t{1} << (ABits - 1)) - 1.0;
    static double Load(const uint8_t* p)
    {
        if constexpr (ABits == 8)
            return double(p[0]) - 128.0;
        else if constexpr (ABits == 16) {
            int16_t v;
            std::memcpy(&v, p, 2);
            return v;
        } else if constexpr (ABits == 24)
            return Convert24BitTo32Bit(p);
        else {
            int32_t v;
            std::memcpy(&v, p, 4);
            return v;
        }
    }
    // AValue is integral already.
    static void Store(uint8_t* p, double AValue)
    {
        AValue = std::clamp(AValue, Low, High);
        if constexpr (ABits == 8)
            p[0] = uint8_t(int32_t(AValue) + 128);
        else if constexpr (ABits == 16) {
            const auto v = int16_t(AValue);
            std::memcpy(p, &v, 2);
        } else if constexpr (ABits == 24)
            Convert32BitTo24Bit(int32_t(AValue), p);
        else {
            const auto v = int32_t(AValue);
            std::memcpy(p, &v, 4);
        }
    }
};

// AOut holds the input on entry. Forward: y = x + round(c x[n - D]), added
// with saturation (the scaled echo is rounded first, as a multiply followed
// by a saturating add does). Back: y = round(x + c y[n - D]), saturated.
// x[n - D] and y[n - D] come from AHistory (the last D input or output
// frames, oldest first) while n < D.
template <uint32_t ABits>
void Comb(const uint8_t* AIn, uint8_t* AOut, const uint8_t* AHistory, uint32_t AFrames, uint32_t ADelay,
          uint32_t AStep, uint32_t AChannels, double c, bool AForward)
{
    using W = TCombWidth<ABits>;
    for (uint32_t n = 0; n < AFrames; ++n)
        for (uint32_t ch = 0; ch < AChannels; ++ch) {
            const size_t LOffset = size_t(ch) * W::Bytes;
            const uint8_t* LDelayed;
            if (ADelay == 0)
                LDelayed = AIn + size_t(n) * AStep + LOffset;
            else if (n < ADelay)
                LDelayed = AHistory + size_t(n) * AStep + LOffset;
            else
                LDelayed = (AForward ? AIn : AOut) + size_t(n - ADelay) * AStep + LOffset;
            uint8_t* LTarget = AOut + size_t(n) * AStep + LOffset;
            const double x = W::Load(LTarget);
            const double LEcho = c * W::Load(LDelayed);
            W::Store(LTarget, AForward ? x + RoundEven(LEcho) : RoundEven(x + LEcho));
        }
}

} // namespace

const TEnumInfo TDGCombFeedInfo{"TDGCombFeed", CCombFeedNames};

const TClassDescription& TSNCombFilter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNCombFilter");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(CoefficientProperty, &TSNCombFilter::GetCoefficient, &TSNCombFilter::SetCoefficient),
            DescribeProperty(DelayProperty, &TSNCombFilter::GetDelay, &TSNCombFilter::SetDelay),
            DescribeProperty(FeedProperty, &TSNCombFilter::GetFeed, &TSNCombFilter::SetFeed),
        };
        LClass.Factory = [] { return std::make_shared<TSNCombFilter>(); };
        return LClass;
    }();
    return LDescription;
}

double TSNCombFilter::GetCoefficient() const
{
    return FOutputLock->Getter(FCoefficient);
}

void TSNCombFilter::SetCoefficient(double AValue)
{
    FOutputLock->NotifySetterMin(FCoefficient, AValue, *CoefficientProperty.Min);
}

uint32_t TSNCombFilter::GetDelay() const
{
    return FOutputLock->Getter(FDelay);
}

void TSNCombFilter::SetDelay(uint32_t AValue)
{
    FOutputLock->NotifySetterMin(FDelay, AValue, uint32_t(*DelayProperty.Min), [this] {
        TLockAccess LAccess = FInputLock->WriteLock();
        FNeedsResize = true;
    });
}

TDGCombFeed TSNCombFilter::GetFeed() const
{
    return FOutputLock->Getter(FFeed);
}

void TSNCombFilter::SetFeed(TDGCombFeed AValue)
{
    FOutputLock->NotifySetter(FFeed, AValue, [this] {
        TLockAccess LAccess = FInputLock->WriteLock();
        FNeedsResize = true;
    });
}

void TSNCombFilter::SetEnabled(bool AValue)
{
    TSNCommonFilter::SetEnabled(AValue);
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FDelayBuffer)
        FDelayBuffer->Zero();
}

void TSNCombFilter::Init(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const uint32_t LDelay = GetDelay();
    FDelayBuffer = CreateHistory(AFormat, LDelay, MaxDelayFrames, "Delay " + std::to_string(LDelay) + " frames");
    FDelayRefused = !FDelayBuffer;
    FNeedsResize = false;
}

void TSNCombFilter::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    TSNCommonFilter::AudioStreamStart(AStartOperation);
    TLockAccess LAccess = FInputLock->WriteLock();
    if (IsHistoryLayout(FWaveFormat))
        Init(FWaveFormat);
    else
        FDelayBuffer.reset();
}


void TSNCombFilter::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                            bool& /*ASendOutputData*/)
{
    // Called with FInputLock held.
    if (!AOutBuffer || AOutBuffer->GetSize() == 0)
        return;
    // A buffer of another layout than the history starts a history of its own.
    if (FNeedsResize || (!FDelayBuffer && !FDelayRefused) ||
        (FDelayBuffer && (FDelayBuffer->GetBitsPerSample() != AInBuffer->GetBitsPerSample() ||
                          FDelayBuffer->GetChannels() != AInBuffer->GetChannels())))
        Init(AInBuffer->GetWaveFormat());
    // A refused delay (reported once): the output keeps the input.
    if (!FDelayBuffer)
        return;
    const uint32_t S = AInBuffer->GetSize();
    const uint32_t D = FDelayBuffer->GetSize();
    const uint32_t LStep = AInBuffer->GetDataStep();
    const uint32_t LChannels = AInBuffer->GetChannels();
    const double c = GetCoefficient();
    const bool LForward = GetFeed() == cfForward;
    const uint8_t* LIn = AInBuffer->ByteRead();
    uint8_t* LOut = AOutBuffer->ByteWrite();
    uint8_t* LHistory = FDelayBuffer->ByteWrite();
    switch (AInBuffer->GetBitsPerSample()) {
    case 8:
        Comb<8>(LIn, LOut, LHistory, S, D, LStep, LChannels, c, LForward);
        break;
    case 16:
        Comb<16>(LIn, LOut, LHistory, S, D, LStep, LChannels, c, LForward);
        break;
    case 24:
        Comb<24>(LIn, LOut, LHistory, S, D, LStep, LChannels, c, LForward);
        break;
    case 32:
        Comb<32>(LIn, LOut, LHistory, S, D, LStep, LChannels, c, LForward);
        break;
    default:
        return;
    }
    // The new history: the last D frames of the old one followed by the
    // input (forward) or the output (back).
    if (D == 0 || S == 0)
        return;
    const uint8_t* LSource = LForward ? LIn : LOut;
    if (S >= D) {
        std::memcpy(LHistory, LSource + size_t(S - D) * LStep, size_t(D) * LStep);
    } else {
        std::memmove(LHistory, LHistory + size_t(S) * LStep, size_t(D - S) * LStep);
        std::memcpy(LHistory + size_t(D - S) * LStep, LSource, size_t(S) * LStep);
    }
}

namespace SNCombFilter {
void RegisterPkg()
{
    RegisterComponents({&TSNCombFilter::ClassDescription()});
}
} // namespace SNCombFilter

} // namespace Sonorix
