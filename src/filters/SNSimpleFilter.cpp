// SPDX-License-Identifier: MIT
#include "SNSimpleFilter.h"

#include "DGBasicDispatcher.h"
#include "IPPExtraFunctions.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Sonorix {

// One channel's primitive state (which member is set depends on the kind).
struct TSNSimpleFilterState {
    FIRState_64f* FIR = nullptr;
    IIRState_64f* IIR = nullptr;
};

struct TSNSimpleFilterStates {
    std::vector<TSNSimpleFilterState> Channels;
};

namespace {

// Limits first (NaN gives 0), then rounds to nearest with ties to even: adding
// 1.5 * 2^52 pushes the fraction out of any value below 2^51 under the
// default rounding mode.
inline double LimitRound(double AValue, double ALow, double AHigh)
{
    AValue = AValue == AValue ? AValue : 0.0;
    AValue = AValue > ALow ? AValue : ALow;
    AValue = AValue < AHigh ? AValue : AHigh;
    constexpr double LMagic = 6755399441055744.0;
    return (AValue + LMagic) - LMagic;
}

// Reading and writing one sample of each width, with the limits of the core.
struct TWidth8 {
    static constexpr uint32_t Bytes = 1;
    static double Load(const uint8_t* p) { return double(p[0]) - 127.0; }
    static void Store(uint8_t* p, double y) { p[0] = uint8_t(LimitRound(y + 127.0, 0.0, 255.0)); }
};
struct TWidth16 {
    static constexpr uint32_t Bytes = 2;
    static double Load(const uint8_t* p)
    {
        int16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    static void Store(uint8_t* p, double y)
    {
        const auto v = int16_t(LimitRound(y, -32767.0, 32767.0));
        std::memcpy(p, &v, 2);
    }
};
struct TWidth24 {
    static constexpr uint32_t Bytes = 3;
    static double Load(const uint8_t* p) { return Convert24BitTo32Bit(p); }
    static void Store(uint8_t* p, double y) { Convert32BitTo24Bit(int32_t(LimitRound(y, -8388607.0, 8388607.0)), p); }
};
struct TWidth32 {
    static constexpr uint32_t Bytes = 4;
    static double Load(const uint8_t* p)
    {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static void Store(uint8_t* p, double y)
    {
        const auto v = int32_t(LimitRound(y, -2147483647.0, 2147483647.0));
        std::memcpy(p, &v, 4);
    }
};

bool SupportedWidth(uint32_t ABits)
{
    return ABits == 8 || ABits == 16 || ABits == 24 || ABits == 32;
}

// The channel's samples through its state, frame by frame.
template <class TWidth>
void FilterChannels(uint8_t* AData, uint32_t AFrames, uint32_t AChannels, uint32_t AStep, TDGFilterType AType,
                    const std::vector<TSNSimpleFilterState>& AStates, std::vector<double>& AScratch)
{
    // The block path gives bit for bit what the one-sample kernel gives, so
    // it is taken only while that kernel is the portable one.
    const bool LBlock = AType == ftFIR && ippsFIROne_64f == &_px_ippsFIROne_64f && AFrames > 0;
    for (uint32_t c = 0; c < AChannels; ++c) {
        uint8_t* LSample = AData + size_t(c) * TWidth::Bytes;
        if (LBlock) {
            AScratch.resize(AFrames);
            for (uint32_t f = 0; f < AFrames; ++f)
                AScratch[f] = TWidth::Load(LSample + size_t(f) * AStep);
            if (ippsFIR_64f(AScratch.data(), AScratch.data(), int(AFrames), AStates[c].FIR) == ippStsNoErr)
                for (uint32_t f = 0; f < AFrames; ++f)
                    TWidth::Store(LSample + size_t(f) * AStep, AScratch[f]);
            continue;
        }
        for (uint32_t f = 0; f < AFrames; ++f, LSample += AStep) {
            double y = 0.0;
            const double x = TWidth::Load(LSample);
            const IppStatus LStatus = AType == ftFIR ? ippsFIROne_64f(x, &y, AStates[c].FIR)
                                                     : ippsIIROne_64f(x, &y, AStates[c].IIR);
            if (LStatus != ippStsNoErr)
                break;
            TWidth::Store(LSample, y);
        }
    }
}

// The initial delay line of a state that has seen AValue forever: its
// output has settled at the DC gain times AValue. Layouts as the creators
// take them: tapsLen past inputs (FIR), N values (direct form), two per
// section (biquads). Empty when the design has no finite DC gain.
std::vector<double> SettledDelayLine(TDGFilterType AType, const std::vector<double>& ATaps, double AValue)
{
    std::vector<double> LDelay;
    if (AType == ftFIR)
        return std::vector<double>(ATaps.size(), AValue);
    if (AType == ftIIR) {
        const size_t N = ATaps.size() / 2 - 1;
        const double a0 = ATaps[N + 1];
        double LSumB = 0.0, LSumA = 0.0;
        for (size_t k = 0; k <= N; ++k) {
            LSumB += ATaps[k];
            LSumA += ATaps[N + 1 + k];
        }
        if (a0 == 0.0 || LSumA == 0.0)
            return {};
        const double y = LSumB / LSumA * AValue;
        LDelay.assign(N, 0.0);
        // d[i] = sum over k > i of (b_k x - a_k y) / a0.
        double LTail = 0.0;
        for (size_t k = N; k >= 1; --k) {
            LTail += (ATaps[k] * AValue - ATaps[N + 1 + k] * y) / a0;
            LDelay[k - 1] = LTail;
        }
        return LDelay;
    }
    double x = AValue;
    for (size_t s = 0; s + 6 <= ATaps.size(); s += 6) {
        const double* t = ATaps.data() + s;
        const double LDenominator = t[3] + t[4] + t[5];
        if (t[3] == 0.0 || LDenominator == 0.0)
            return {};
        const double y = (t[0] + t[1] + t[2]) / LDenominator * x;
        const double d1 = (t[2] * x - t[5] * y) / t[3];
        const double d0 = (t[1] * x - t[4] * y) / t[3] + d1;
        LDelay.push_back(d0);
        LDelay.push_back(d1);
        x = y;
    }
    return LDelay;
}

} // namespace

TSNSimpleFilter::TSNSimpleFilter() : FStates(std::make_unique<TSNSimpleFilterStates>()) {}

TSNSimpleFilter::~TSNSimpleFilter()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    IntStreamStop();
}

const TClassDescription& TSNSimpleFilter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNSimpleFilter";
        LClass.Unit = "SNSimpleFilter";
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(FilterTypeProperty, &TSNSimpleFilter::GetFilterType, &TSNSimpleFilter::SetFilterType),
            DescribeProperty(WindowTypeProperty, &TSNSimpleFilter::GetWindowType, &TSNSimpleFilter::SetWindowType),
            DescribeProperty(IIRFilterTypeProperty, &TSNSimpleFilter::GetIIRFilterType,
                             &TSNSimpleFilter::SetIIRFilterType),
            DescribeProperty(AlphaProperty, &TSNSimpleFilter::GetAlpha, &TSNSimpleFilter::SetAlpha),
            DescribeProperty(OrderProperty, &TSNSimpleFilter::GetOrder, &TSNSimpleFilter::SetOrder),
        };
        return LClass;
    }();
    return LDescription;
}

// --- Properties --------------------------------------------------------------

TDGFilterType TSNSimpleFilter::GetFilterType() const
{
    return FOutputLock->Getter(FFilterType);
}

void TSNSimpleFilter::SetFilterType(TDGFilterType AValue)
{
    FOutputLock->NotifySetter(FFilterType, AValue, [this] { Init(); });
}

TDGWindowType TSNSimpleFilter::GetWindowType() const
{
    return FOutputLock->Getter(FWindowType);
}

void TSNSimpleFilter::SetWindowType(TDGWindowType AValue)
{
    FOutputLock->NotifySetter(FWindowType, AValue, [this] { Init(); });
}

TDGIIRFilterType TSNSimpleFilter::GetIIRFilterType() const
{
    return FOutputLock->Getter(FIIRFilterType);
}

void TSNSimpleFilter::SetIIRFilterType(TDGIIRFilterType AValue)
{
    FOutputLock->NotifySetter(FIIRFilterType, AValue, [this] { Init(); });
}

double TSNSimpleFilter::GetAlpha() const
{
    return FOutputLock->Getter(FAlpha);
}

void TSNSimpleFilter::SetAlpha(double AValue)
{
    FOutputLock->NotifySetter(FAlpha, AValue, [this] { Recalc(); });
}

int32_t TSNSimpleFilter::GetOrder() const
{
    return FOutputLock->Getter(FOrder);
}

void TSNSimpleFilter::SetOrder(int32_t AValue)
{
    FOutputLock->NotifySetterMin(FOrder, AValue, static_cast<int32_t>(*OrderProperty.Min), [this] { Recalc(); });
}

int32_t TSNSimpleFilter::GetSampleRate() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return static_cast<int32_t>(std::min<uint32_t>(FWaveFormat.Format.nSamplesPerSec, INT32_MAX));
}

void TSNSimpleFilter::SetSampleRate(int32_t AValue)
{
    {
        TLockAccess LAccess = FInputLock->WriteLock();
        FWaveFormat.Format.nSamplesPerSec = static_cast<uint32_t>(std::max(AValue, 0));
        FWaveFormat.Format.nAvgBytesPerSec = FWaveFormat.Format.nSamplesPerSec * FWaveFormat.Format.nBlockAlign;
    }
    Init();
}

int32_t TSNSimpleFilter::GetTapsCount() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return static_cast<int32_t>(FTaps.size());
}

double TSNSimpleFilter::GetTaps(int32_t AIndex) const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= FTaps.size())
        throw std::out_of_range("tap " + std::to_string(AIndex) + " of " + std::to_string(FTaps.size()));
    return FTaps[static_cast<size_t>(AIndex)];
}

// --- Design and states -------------------------------------------------------

void TSNSimpleFilter::IntInit(std::vector<double>& ATaps)
{
    const IDGFilterInfoPtr LInfo = GetFilterInfo();
    ATaps = LInfo ? LInfo->GetTaps() : std::vector<double>{};
}

void TSNSimpleFilter::Recalc()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FOpened)
        FNeedsRecalc = true;
}

void TSNSimpleFilter::IntStreamStop()
{
    // Called with FInputLock held.
    if (!FOpened)
        return;
    FOpened = false;
    for (TSNSimpleFilterState& LState : FStates->Channels) {
        switch (FRunningFilterType) {
        case ftFIR:
            if (LState.FIR)
                ippsFIRFree_64f(LState.FIR);
            break;
        case ftIIR:
        case ftBiquadIIR:
            if (LState.IIR)
                ippsIIRFree_64f(LState.IIR);
            break;
        default:
            SNAssert(false, "Unkonwn filter type");
        }
        LState = {};
    }
}

void TSNSimpleFilter::Init()
{
    Init(false);
}

void TSNSimpleFilter::Init(bool AFreshStart)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    IntStreamStop();
    IntInit(FTaps);
    const TDGFilterType LType = GetFilterType();
    const uint32_t LChannels = FWaveFormat.Format.nChannels;
    const uint32_t LBits = FWaveFormat.Format.wBitsPerSample;
    FRunningFilterType = LType;
    // Nothing to build before a stream (or for a width the core passes on):
    // the taps alone serve TapsCount and Taps.
    if (LChannels < 1 || LChannels > 32 || !SupportedWidth(LBits) || FTaps.empty() ||
        (LType != ftFIR && FTaps.size() < 2)) {
        FNeedsRecalc = false;
        return;
    }
    const uint32_t LHistory = static_cast<uint32_t>(FTaps.size() / 2);
    const bool LKeep = !AFreshStart && FDelayBuffer && FDelayBuffer->GetChannels() == LChannels &&
                       FDelayBuffer->GetBitsPerSample() == LBits;
    // A re-design in a running stream starts each state as if the oldest
    // retained frame had always been there, then runs the retained frames
    // through it (priming), so the output goes on where it was.
    const ISNAudioBufferPtr LOrdered = LKeep ? OrderedHistory() : nullptr;
    FStates->Channels.assign(LChannels, TSNSimpleFilterState{});
    const int LCount = static_cast<int>(FTaps.size());
    for (uint32_t c = 0; c < LChannels; ++c) {
        TSNSimpleFilterState& LState = FStates->Channels[c];
        std::vector<double> LDelay;
        if (LOrdered && LOrdered->GetSize() > 0) {
            const int32_t LStored = LOrdered->GetItem(0, c);
            LDelay = SettledDelayLine(LType, FTaps, LBits == 8 ? LStored - 127.0 : double(LStored));
        }
        const double* LDelayLine = LDelay.empty() ? nullptr : LDelay.data();
        IppStatus LStatus = ippStsNoErr;
        switch (LType) {
        case ftFIR:
            LStatus = ippsFIRInitAlloc_64f(&LState.FIR, FTaps.data(), LCount, LDelayLine);
            break;
        case ftIIR:
            LStatus = ippsIIRInitAlloc_64f(&LState.IIR, FTaps.data(), LCount / 2 - 1, LDelayLine);
            break;
        case ftBiquadIIR:
            LStatus = ippsIIRInitAlloc_BiQuad_64f(&LState.IIR, FTaps.data(), LCount / 6, LDelayLine);
            break;
        default:
            SNAssert(false, "Unkonwn filter type");
        }
        if (LStatus != ippStsNoErr) {
            // A design the primitives refuse: the stream passes unfiltered.
            FOpened = true;
            IntStreamStop();
            FNeedsRecalc = false;
            return;
        }
    }
    FOpened = true;
    FNeedsRecalc = false;
    if (LKeep) {
        Prime(*LOrdered, LHistory);
    } else {
        FDelayBuffer = TSNAudioBuffer::CreateSizeEx(FWaveFormat.Format.nSamplesPerSec, LBits, LChannels, LHistory,
                                                    FWaveFormat.dwChannelMask);
        FDelayBuffer->Zero();
        FDelayBufferFilledSize = 0;
    }
}

ISNAudioBufferPtr TSNSimpleFilter::OrderedHistory() const
{
    // Called with FInputLock held.
    const uint32_t D = FDelayBuffer->GetSize();
    const uint32_t P = static_cast<uint32_t>(FDelayBufferFilledSize) % std::max(D, 1u);
    // [P, D) arrived before [0, P).
    ISNAudioBufferPtr LOrdered = TSNAudioBuffer::CreateSizeEx(
        FDelayBuffer->GetSamplesPerSecond(), FDelayBuffer->GetBitsPerSample(), FDelayBuffer->GetChannels(), D,
        FDelayBuffer->GetChannelMask());
    if (D > P)
        FDelayBuffer->CopyTo(P, *LOrdered, 0, D - P);
    if (P > 0)
        FDelayBuffer->CopyTo(0, *LOrdered, D - P, P);
    return LOrdered;
}

void TSNSimpleFilter::Prime(const ISNAudioBuffer& AOrdered, uint32_t ANewLength)
{
    // Called with FInputLock held. The primed output is dropped.
    const uint32_t D = AOrdered.GetSize();
    FDelayOutputBuffer = TSNAudioBuffer::CreateCopy(AOrdered);
    FilterBuffer(*FDelayOutputBuffer);
    // The new history: the newest ANewLength frames, oldest first (older
    // frames that were never kept are silence), next write at 0.
    ISNAudioBufferPtr LHistory = TSNAudioBuffer::CreateSizeEx(
        AOrdered.GetSamplesPerSecond(), AOrdered.GetBitsPerSample(), AOrdered.GetChannels(), ANewLength,
        AOrdered.GetChannelMask());
    LHistory->Zero();
    const uint32_t LCount = std::min(D, ANewLength);
    if (LCount > 0)
        AOrdered.CopyTo(D - LCount, *LHistory, ANewLength - LCount, LCount);
    FDelayBuffer = LHistory;
    FDelayBufferFilledSize = 0;
}

// --- Stream --------------------------------------------------------------------

void TSNSimpleFilter::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    TSNCommonFilter::AudioStreamStart(AStartOperation);
    TLockAccess LAccess = FInputLock->WriteLock();
    // A re-design still pending from the previous stream is dropped: a start
    // begins with a fresh design and a zeroed history.
    FNeedsRecalc = false;
    Init(true);
}

void TSNSimpleFilter::StreamStop()
{
    TSNCommonFilter::StreamStop();
    TLockAccess LAccess = FInputLock->WriteLock();
    IntStreamStop();
}

void TSNSimpleFilter::KeepHistory(const ISNAudioBuffer& AInBuffer)
{
    // Called with FInputLock held.
    const uint32_t S = AInBuffer.GetSize();
    const uint32_t D = FDelayBuffer ? FDelayBuffer->GetSize() : 0;
    if (D == 0 || S == 0)
        return;
    const uint32_t P = static_cast<uint32_t>(FDelayBufferFilledSize);
    if (S > D) {
        AInBuffer.CopyTo(S - D, *FDelayBuffer, 0, D);
        FDelayBufferFilledSize = static_cast<int32_t>(D);
    } else if (P + S > D) {
        AInBuffer.CopyTo(0, *FDelayBuffer, P, D - P);
        AInBuffer.CopyTo(D - P, *FDelayBuffer, 0, S - (D - P));
        FDelayBufferFilledSize = static_cast<int32_t>(S - (D - P));
    } else {
        AInBuffer.CopyTo(0, *FDelayBuffer, P, S);
        FDelayBufferFilledSize = static_cast<int32_t>(P + S);
    }
}

void TSNSimpleFilter::FilterBuffer(ISNAudioBuffer& ABuffer)
{
    // Called with FInputLock held.
    const std::vector<TSNSimpleFilterState>& LStates = FStates->Channels;
    const uint32_t LChannels = std::min<uint32_t>(ABuffer.GetChannels(), static_cast<uint32_t>(LStates.size()));
    const uint32_t LFrames = ABuffer.GetSize();
    const uint32_t LStep = ABuffer.GetDataStep();
    if (LFrames == 0 || LChannels == 0)
        return;
    SNAssert(FRunningFilterType == ftFIR || FRunningFilterType == ftIIR || FRunningFilterType == ftBiquadIIR,
             "Unkonwn filter type");
    uint8_t* LData = ABuffer.ByteWrite();
    switch (ABuffer.GetBitsPerSample()) {
    case 8:
        FilterChannels<TWidth8>(LData, LFrames, LChannels, LStep, FRunningFilterType, LStates, FScratch);
        break;
    case 16:
        FilterChannels<TWidth16>(LData, LFrames, LChannels, LStep, FRunningFilterType, LStates, FScratch);
        break;
    case 24:
        FilterChannels<TWidth24>(LData, LFrames, LChannels, LStep, FRunningFilterType, LStates, FScratch);
        break;
    case 32:
        FilterChannels<TWidth32>(LData, LFrames, LChannels, LStep, FRunningFilterType, LStates, FScratch);
        break;
    default:
        break;
    }
}

void TSNSimpleFilter::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                              bool& /*ASendOutputData*/)
{
    // Called with FInputLock held. AOutBuffer arrives as a copy of the input:
    // it is filtered in place, so the sender's buffer is never touched.
    if (FNeedsRecalc)
        Init(false);
    if (!FOpened || !AOutBuffer || AOutBuffer->GetBitsPerSample() != FWaveFormat.Format.wBitsPerSample)
        return;
    KeepHistory(*AInBuffer);
    FilterBuffer(*AOutBuffer);
}

} // namespace Sonorix
