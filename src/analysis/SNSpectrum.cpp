// SPDX-License-Identifier: MIT
#include "SNSpectrum.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "CVThreading.h"
#include "DGSignalDispatcher.h"
#include "SNDispatcher.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Sonorix {

namespace {
constexpr const char* GNormalizationNames[] = {"fnNone", "fnNormalize", "fnNormalizeSqrt"};
constexpr const char* GdBModeNames[] = {"adbNone", "adbPower", "adbAmplitude"};
} // namespace

const TEnumInfo TDGFourierNormalizationInfo{"TDGFourierNormalization", GNormalizationNames};
const TEnumInfo TSNdBModeInfo{"TSNdBMode", GdBModeNames};

struct TSNSpectrumFFT {
    std::vector<Ipp64fc> Complex;
    IppsFFTSpec_R_64f* Spec = nullptr;

    TSNSpectrumFFT() = default;
    TSNSpectrumFFT(const TSNSpectrumFFT&) = delete;
    TSNSpectrumFFT& operator=(const TSNSpectrumFFT&) = delete;
    ~TSNSpectrumFFT()
    {
        if (Spec)
            ippsFFTFree_R_64f(Spec);
    }
};

TSNSpectrum::TSNSpectrum()
    : TSNCommonSplitter(TPNDataType::dtReal),
      FFrequencyOutputPins(this, "FrequencyOutputPins", TPNDataType::dtRealValue, TPNPinDirection::pdSource,
                           [this](int) {
                               auto LPin = std::make_unique<TPNRealRangedSourcePin>(this, "FrequencyOutputPins");
                               LPin->SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
                                   return SourceDispatch(APin, AOperation);
                               });
                               return LPin;
                           }),
      FFFT(std::make_unique<TSNSpectrumFFT>())
{
    CreateDefaultPins();
    FFrequencyOutputPins.SetCount(GetCountChannels());
}

TSNSpectrum::~TSNSpectrum()
{
    FMainThreadNotify.Shutdown();
    GetOutputPins().SetCount(0);
    FFrequencyOutputPins.SetCount(0);
    FreeState();
}

const TClassDescription& TSNSpectrum::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNSpectrum;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNSpectrum");
        LClass.Parent = &TSNCommonSplitter::ClassDescription();
        LClass.Properties = {
            DescribeProperty(OrderProperty, &C::GetOrder, &C::SetOrder),
            DescribeProperty(SamplingWindowStepProperty, &C::GetSamplingWindowStep, &C::SetSamplingWindowStep),
            DescribeProperty(NormalizationProperty, &C::GetNormalization, &C::SetNormalization),
            DescribeProperty(ModedBProperty, &C::GetModedB, &C::SetModedB),
            DescribeProperty(SynchronizeProperty, &C::GetSynchronize, &C::SetSynchronize),
            DescribePinList("FrequencyOutputPins", "TPNRealRangedSourcePin", &C::GetFrequencyOutputPins)
                .ResizedBy("CountChannels"),
            DescribePinList("OutputPins", "TDGPNRealRangedSourcePin", &C::GetOutputPins)
                .AsPrimary()
                .ResizedBy("CountChannels"),
        };
        LClass.Events = {{"OnFrequencyResult", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                              auto& LSpectrum = static_cast<C&>(AObject);
                              if (!AHandler) {
                                  LSpectrum.SetOnFrequencyResult(nullptr);
                                  return;
                              }
                              LSpectrum.SetOnFrequencyResult([AHandler](TPersistent& ASender, int32_t AChannel,
                                                                        double AFrequency, double AMaxFrequency) {
                                  AHandler(ASender, "OnFrequencyResult",
                                           {{"channel", int64_t{AChannel}},
                                            {"frequency", AFrequency},
                                            {"max_frequency", AMaxFrequency}});
                              });
                          }},
                         {"OnError", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                              auto& LSpectrum = static_cast<C&>(AObject);
                              if (!AHandler) {
                                  LSpectrum.SetOnError(nullptr);
                                  return;
                              }
                              LSpectrum.SetOnError([AHandler](TPersistent& ASender, const std::string& AMessage,
                                                              uint32_t ACode, bool& /*AHandled*/) {
                                  AHandler(ASender, "OnError", {{"message", AMessage}, {"code", int64_t{ACode}}});
                              });
                          }}};
        LClass.Factory = [] { return std::make_shared<TSNSpectrum>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNSpectrum::GetOrder() const
{
    return FLock->Getter(FOrder);
}

void TSNSpectrum::SetOrder(int32_t AValue)
{
    FLock->NotifySetterMinMax(FOrder, AValue, static_cast<int32_t>(*OrderProperty.Min),
                              static_cast<int32_t>(*OrderProperty.Max));
}

uint32_t TSNSpectrum::GetSamplingWindowStep() const
{
    return FLock->Getter(FSamplingWindowStep);
}

void TSNSpectrum::SetSamplingWindowStep(uint32_t AValue)
{
    FLock->NotifySetter(FSamplingWindowStep, AValue);
}

TDGFourierNormalization TSNSpectrum::GetNormalization() const
{
    return FLock->Getter(FNormalize);
}

void TSNSpectrum::SetNormalization(TDGFourierNormalization AValue)
{
    FLock->NotifySetter(FNormalize, AValue);
}

TSNdBMode TSNSpectrum::GetModedB() const
{
    return FLock->Getter(FModedB);
}

void TSNSpectrum::SetModedB(TSNdBMode AValue)
{
    FLock->NotifySetter(FModedB, AValue);
}

bool TSNSpectrum::GetSynchronize() const
{
    return FLock->Getter(FSynchronize);
}

void TSNSpectrum::SetSynchronize(bool AValue)
{
    FLock->NotifySetter(FSynchronize, AValue);
}

void TSNSpectrum::SetOnFrequencyResult(TSNFrequencyEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnFrequencyResult = std::move(AEvent);
}

void TSNSpectrum::SetCountChannels(int32_t AValue)
{
    // Both lists under the spectrum list's lock, the order the buffer path
    // takes them in.
    std::lock_guard LListGuard(GetOutputPins().GetListLock());
    TSNCommonSplitter::SetCountChannels(AValue);
    FFrequencyOutputPins.SetCount(GetCountChannels());
}

std::unique_ptr<TPNPin> TSNSpectrum::CreateSourcePin(int /*AIndex*/)
{
    auto LPin = std::make_unique<TDGPNRealRangedSourcePin>(this, "OutputPins");
    LPin->SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
    return LPin;
}

bool TSNSpectrum::HasChannelEvent(int32_t AChannel)
{
    if (FOnFrequencyResult || TSNCommonSplitter::HasChannelEvent(AChannel))
        return true;
    const TPNPin* LPin = FFrequencyOutputPins.GetPin(AChannel);
    return LPin && LPin->IsConnected();
}

void TSNSpectrum::FreeState()
{
    if (FFFT->Spec)
        ippsFFTFree_R_64f(FFFT->Spec);
    FFFT->Spec = nullptr;
}

void TSNSpectrum::IntInit()
{
    TLockAccess LAccess = FLock->WriteLock();
    FreeState();
    int32_t LFlag = IPP_FFT_NODIV_BY_ANY;
    if (FNormalize == fnNormalize)
        LFlag = IPP_FFT_DIV_FWD_BY_N;
    else if (FNormalize == fnNormalizeSqrt)
        LFlag = IPP_FFT_DIV_BY_SQRTN;
    FRunningOrder = FOrder;
    if (FRunningOrder > CMaxRunningOrder) {
        Error("Order " + std::to_string(FRunningOrder) + " asks for windows of " +
                  std::to_string(uint64_t{1} << FRunningOrder) + " samples; at most Order " +
                  std::to_string(CMaxRunningOrder) + " (" + std::to_string(uint64_t{1} << CMaxRunningOrder) +
                  " samples) is supported: no spectra for this stream",
              static_cast<uint32_t>(-ippStsFftOrderErr));
        return;
    }
    if (const IppStatus LStatus = ippsFFTInitAlloc_R_64f(&FFFT->Spec, FRunningOrder, LFlag, ippAlgHintAccurate);
        LStatus != ippStsNoErr) {
        FFFT->Spec = nullptr;
        Error("cannot make the FFT of Order " + std::to_string(FRunningOrder) + " (status " +
                  std::to_string(LStatus) + "): no spectra for this stream",
              static_cast<uint32_t>(-LStatus));
    }
}

void TSNSpectrum::Error(const std::string& AMessage, uint32_t ACode)
{
    TDGErrorEvent LHandler = FLock->Getter(FOnError);
    bool LHandled = false;
    if (LHandler)
        LHandler(*this, AMessage, ACode, LHandled);
    if (!LHandled)
        ReportBackgroundError(GetDisplayPath() + ": " + AMessage);
}

void TSNSpectrum::SetOnError(TDGErrorEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnError = std::move(AEvent);
}

void TSNSpectrum::AudioStreamStart(const WAVEFORMATEXTENSIBLE* AWaveFormat)
{
    // Called with the pin list's lock and FLock held.
    if (!AWaveFormat)
        return;
    FWaveFormat = *AWaveFormat;
    FStarted = true;
    FMainThreadNotify.ClearMainThread();
    const double LRate = FWaveFormat.Format.nSamplesPerSec;
    NotifyOutputPins(std::make_shared<TPNStartSpectrumOperation>(LRate));
    NotifyOutputPins(std::make_shared<TPNRealRangeOperation>(
        0.0, std::ldexp(1.0, FWaveFormat.Format.wBitsPerSample) / (FOrder - 1)));
    IntInit();
    const size_t LChannels = FWaveFormat.Format.nChannels;
    FMaxFrequency = LRate / 2;
    FFFTBuffers.assign(LChannels, nullptr);
    FBufferLastEndPos.assign(LChannels, 0);
    FSkipSamples.assign(LChannels, 0);
    FFrequencies.assign(LChannels, 0.0);
    FFFT->Complex.clear();
    if (!FFFT->Spec)
        return;
    const auto LLength = uint32_t{1} << FRunningOrder;
    FFFT->Complex.resize(LLength);
    for (size_t c = 0; c < LChannels; ++c)
        FFFTBuffers[c] = TDGRealBuffer::CreateSize(LLength);
}

void TSNSpectrum::Stop()
{
    {
        TLockAccess LAccess = FLock->WriteLock();
        FreeState();
    }
    TSNCommonSplitter::Stop();
}

void TSNSpectrum::SplitBuffer(int32_t AChannel, const IDGRealBufferPtr& ABuffer)
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FFFT->Spec || AChannel < 0 || static_cast<size_t>(AChannel) >= FFFTBuffers.size())
        return;
    const auto c = static_cast<size_t>(AChannel);
    const uint32_t N = uint32_t{1} << FRunningOrder;
    const uint32_t S = FSamplingWindowStep;
    double* LWindow = FFFTBuffers[c]->Modify();
    const double* LInput = ABuffer->Read();
    const uint32_t M = ABuffer->GetSize();
    uint32_t LDone = 0;
    while (LDone < M) {
        if (FSkipSamples[c] > 0) {
            const uint32_t LSkip = std::min(FSkipSamples[c], M - LDone);
            FSkipSamples[c] -= LSkip;
            LDone += LSkip;
            continue;
        }
        const uint32_t LCount = std::min(N - FBufferLastEndPos[c], M - LDone);
        std::copy_n(LInput + LDone, LCount, LWindow + FBufferLastEndPos[c]);
        FBufferLastEndPos[c] += LCount;
        LDone += LCount;
        if (FBufferLastEndPos[c] < N)
            break;
        ProcessFFT(AChannel);
        if (S > 0 && S < N) {
            // The next window shares N - S samples with this one: shift them
            // to its front and wait for S new ones.
            ippsMove_64f(LWindow + S, LWindow, static_cast<int32_t>(N - S));
            FBufferLastEndPos[c] = N - S;
        } else {
            FBufferLastEndPos[c] = 0;
            FSkipSamples[c] = S > N ? S - N : 0;
        }
    }
}

void TSNSpectrum::SingleFFT(int32_t /*AChannel*/, const double* ASource)
{
    Ipp64fc* LDestination = FFFT->Complex.data();
    const auto LLength = static_cast<int32_t>(FFFT->Complex.size());
    TLockAccess LAccess = FLock->WriteLock();
    // The CCS result (bins 0 .. N/2) fills the front of the complex array;
    // the conjugate completion writes the mirrored upper half.
    ippsFFTFwd_RToCCS_64f(ASource, reinterpret_cast<Ipp64f*>(LDestination), FFFT->Spec, nullptr);
    ippsConjCcs_64fc_I(LDestination, LLength);
}

void TSNSpectrum::ProcessFFT(int32_t AChannel)
{
    // Called with FLock held (and the output pin list's lock).
    const auto c = static_cast<size_t>(AChannel);
    const auto L = static_cast<int32_t>(FFFT->Complex.size());
    SingleFFT(AChannel, FFFTBuffers[c]->Read());
    const auto LBins = static_cast<uint32_t>(L / 2);
    IDGRealBufferPtr LSpectrum = TDGRealBuffer::CreateSize(LBins);
    double* LValues = LSpectrum->Modify();
    ippsMagnitude_64fc(FFFT->Complex.data(), LValues, static_cast<int32_t>(LBins));
    LValues[0] = 0;
    if (FModedB != adbNone) {
        const double LFactor = FModedB == adbPower ? 10.0 : 20.0;
        for (uint32_t k = 1; k < LBins; ++k)
            LValues[k] = LValues[k] > 0 ? LFactor * std::log10(LValues[k]) : std::numeric_limits<double>::lowest();
    }
    if (auto* LPin = static_cast<TDGPNRealRangedSourcePin*>(OutputPin(AChannel)))
        LPin->SubmitBuffer(LSpectrum);

    auto* LFrequencyPin = static_cast<TPNRealRangedSourcePin*>(FFrequencyOutputPins.GetPin(AChannel));
    if (!FOnFrequencyResult && !(LFrequencyPin && LFrequencyPin->IsConnected())) {
        FFrequencies[c] = 0;
        return;
    }
    uint32_t LPeak = 0;
    for (uint32_t k = 1; k < LBins; ++k)
        if (LValues[k] > LValues[LPeak])
            LPeak = k;
    FMaxFrequency = FWaveFormat.Format.nSamplesPerSec / 2.0;
    FFrequencies[c] = LPeak * FMaxFrequency / LBins;
    if (FOnFrequencyResult) {
        if (!FSynchronize)
            FOnFrequencyResult(*this, AChannel, FFrequencies[c], FMaxFrequency);
        else
            FMainThreadNotify.SyncNotify([this, LFrequencies = FFrequencies, LMax = FMaxFrequency] {
                TSNFrequencyEvent LEvent;
                {
                    TLockAccess LAccess = FLock->ReadLock();
                    LEvent = FOnFrequencyResult;
                }
                if (!LEvent)
                    return;
                for (size_t i = 0; i < LFrequencies.size(); ++i)
                    LEvent(*this, static_cast<int32_t>(i), LFrequencies[i], LMax);
            });
    }
    if (LFrequencyPin)
        LFrequencyPin->SubmitValueRange(FFrequencies[c], 0.0, FMaxFrequency);
}

namespace SNSpectrum {
void RegisterPkg()
{
    RegisterComponents({&TSNSpectrum::ClassDescription()});
}
} // namespace SNSpectrum

} // namespace Sonorix
