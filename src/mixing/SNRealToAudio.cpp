// SPDX-License-Identifier: MIT
#include "SNRealToAudio.h"

#include "CVRegistry.h"
#include "IPPExtraFunctions.h"
#include "SNAudioBuffer.h"
#include "SNCatalogue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Sonorix {

TSNRealToAudio::TSNRealToAudio()
    : FOutputPin(this, "OutputPin"),
      FInputPins(this, "InputPins", TPNDataType::dtReal, TPNPinDirection::pdSink,
                 [this](int) {
                     auto LPin = std::make_unique<TDGPNQueuedRealSinkPin>(this, "InputPins");
                     LPin->SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
                         return SinkDispatch(APin, AOperation);
                     });
                     return LPin;
                 }),
      FAudioFormat([this] { DoFormatChange(); })
{
    // Requests from downstream go to every input's source.
    FOutputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        bool LResult = false;
        std::lock_guard LList(FInputPins.GetListLock());
        for (int I = 0; I < FInputPins.GetCount(); ++I)
            if (FInputPins[I].IsConnected())
                LResult = FInputPins[I].Notify(AOperation);
        return LResult;
    });
    DoFormatChange();
}

TSNRealToAudio::~TSNRealToAudio()
{
    Stop();
    FOutputPin.DisconnectAll();
    FInputPins.SetCount(0);
}

const TClassDescription& TSNRealToAudio::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNRealToAudio;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNRealToAudio");
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &C::GetOutputPin).AsPrimary(),
            DescribePinList("InputPins", "TDGPNQueuedRealSinkPin", &C::GetInputPins)
                .ResizedBy("AudioFormat.Channels")
                .AsPrimary(),
            DescribeObject("AudioFormat", &C::GetAudioFormat),
            DescribeProperty(NormalizeProperty, &C::GetNormalize, &C::SetNormalize),
        };
        LClass.Factory = [] { return std::make_shared<TSNRealToAudio>(); };
        return LClass;
    }();
    return LDescription;
}

bool TSNRealToAudio::GetNormalize() const
{
    return FLock->Getter(FNormalize);
}

void TSNRealToAudio::SetNormalize(bool AValue)
{
    FLock->NotifySetter(FNormalize, AValue);
}

bool TSNRealToAudio::IsRunning() const
{
    return FLock->Getter(FRunning);
}

TDGPNQueuedRealSinkPin* TSNRealToAudio::InputPin(int AIndex) const
{
    return static_cast<TDGPNQueuedRealSinkPin*>(FInputPins.GetPin(AIndex));
}

// --- Format and rate ---------------------------------------------------------------

void TSNRealToAudio::DoFormatChange()
{
    std::lock_guard LList(FInputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    FInputPins.SetCount(FAudioFormat.GetCountChannels());
    CalculateRateInt();
}

void TSNRealToAudio::CalculateRateInt()
{
    // Called with FLock held.
    FCalculatedRate = 0;
    bool LAllRunning = true;
    for (int I = 0; I < FInputPins.GetCount(); ++I) {
        TDGPNQueuedRealSinkPin* LPin = InputPin(I);
        if (!LPin->IsConnected())
            continue;
        if (LPin->IsRunning())
            FCalculatedRate = std::max(FCalculatedRate, LPin->GetRate());
        else
            LAllRunning = false;
    }
    if (!LAllRunning || FCalculatedRate <= 0)
        return;
    const auto LSize = static_cast<uint32_t>(FAudioFormat.GetBufferSize());
    for (int I = 0; I < FInputPins.GetCount(); ++I)
        if (TDGPNQueuedRealSinkPin* LPin = InputPin(I); LPin->IsConnected() && LPin->IsRunning())
            LPin->CalculateSampleCount(LSize, static_cast<float>(FCalculatedRate));
}

void TSNRealToAudio::CalculateRate()
{
    std::lock_guard LList(FInputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    CalculateRateInt();
    if (FRunning || FCalculatedRate <= 0)
        return;
    for (int I = 0; I < FInputPins.GetCount(); ++I)
        if (InputPin(I)->IsConnected() && !InputPin(I)->IsRunning())
            return;
    const auto LRate = static_cast<int32_t>(std::nearbyint(FCalculatedRate));
    if (FAudioFormat.GetSampleRate() != LRate)
        FAudioFormat.SetSampleRate(LRate); // runs DoFormatChange again: same pins, same counts
    FRunningFormat = FAudioFormat.GetWaveFormat();
    FWork = TDGRealBuffer::CreateSize(static_cast<uint32_t>(FAudioFormat.GetBufferSize()));
    FRunning = true;
    FOutputPin.SendStart(FRunningFormat);
}

// --- Input ------------------------------------------------------------------------

bool TSNRealToAudio::SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    auto& LPin = static_cast<TDGPNQueuedRealSinkPin&>(APin);
    if (auto* LStart = OperationAs<TPNStartSampleRateOperation>(AOperation)) {
        LPin.StartRate(LStart->SampleRate);
        CalculateRate();
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        LPin.PrepareStop();
        TryStop();
        return true;
    }
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        IDGRealBufferPtr LReals = LBuffer->Reals;
        if (!LReals && LBuffer->Block)
            LReals = TDGRealBuffer::CreateUniversal(LBuffer->Block);
        if (!LReals || !LPin.IsRunning())
            return false;
        LPin.AddBuffer(std::move(LReals));
        TrySend();
        return true;
    }
    if (auto* LValue = OperationAs<TPNRealValueOperation>(AOperation)) {
        // A reading is one value of the stream.
        if (!LPin.IsRunning())
            return false;
        IDGRealBufferPtr LOne = TDGRealBuffer::CreateSize(1);
        LOne->SetItem(0, LValue->Value);
        LPin.AddBuffer(std::move(LOne));
        TrySend();
        return true;
    }
    if (OperationAs<TPNRealRangeOperation>(AOperation))
        return true;
    return FOutputPin.Notify(AOperation);
}

void TSNRealToAudio::TrySend()
{
    std::lock_guard LList(FInputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    // One buffer per round while every connected input holds enough.
    while (FRunning) {
        bool LAny = false;
        for (int I = 0; I < FInputPins.GetCount(); ++I) {
            if (!InputPin(I)->IsConnected())
                continue;
            if (!InputPin(I)->IsReady() || InputPin(I)->GetNeededSamples() == 0)
                return;
            LAny = true;
        }
        if (!LAny)
            return;
        CalculateSendOutput(0);
    }
}

// --- Output -----------------------------------------------------------------------

void TSNRealToAudio::CalculateSendOutput(uint32_t ASize)
{
    // Called with the pin list's lock and FLock held.
    if (!FRunning)
        return;
    const uint32_t LSize = ASize ? ASize : static_cast<uint32_t>(FAudioFormat.GetBufferSize());
    ISNAudioBufferPtr LOutput = TSNAudioBuffer::CreateWaveFormat(FRunningFormat, LSize);
    if (!FWork || FWork->GetSize() != LSize)
        FWork = TDGRealBuffer::CreateSize(LSize);
    FWork->Zero();
    const bool LNormalize = FNormalize;
    const int LChannels = std::min<int>(FInputPins.GetCount(), FRunningFormat.Format.nChannels);
    for (int I = 0; I < LChannels; ++I) {
        TDGPNQueuedRealSinkPin* LPin = InputPin(I);
        if (!LPin->IsConnected())
            FWork->Zero();
        else
            LPin->StretchLoadBuffer(*FWork); // a failed load leaves the previous channel's values
        MergeBuffer(static_cast<uint32_t>(I), *FWork, *LOutput, LNormalize);
    }
    FOutputPin.SendBuffer(std::move(LOutput));
}

int32_t TSNRealToAudio::ConvertValue(double AValue, unsigned ABits, bool ANormalize)
{
    const double LScale = std::ldexp(1.0, static_cast<int>(ABits) - 1);
    double LValue = std::nearbyint(ANormalize ? AValue * LScale : AValue);
    if (std::isnan(LValue))
        LValue = 0;
    if (ABits == 8)
        return static_cast<int32_t>(std::clamp(LValue + 127.0, 0.0, 255.0));
    return static_cast<int32_t>(std::clamp(LValue, -LScale, LScale - 1.0));
}

namespace {

template <unsigned TBits>
void MergeWidth(uint32_t AChannel, const IDGRealBuffer& AReals, ISNAudioBuffer& AOutput, bool ANormalize)
{
    constexpr unsigned LBytes = TBits / 8;
    const uint32_t LStep = AOutput.GetDataStep();
    const uint32_t LCount = std::min(AReals.GetSize(), AOutput.GetSize());
    uint8_t* LOut = static_cast<uint8_t*>(AOutput.ByteWrite()) + LBytes * AChannel;
    const double* LIn = AReals.Read();
    for (uint32_t I = 0; I < LCount; ++I, LOut += LStep) {
        const int32_t LSample = TSNRealToAudio::ConvertValue(LIn[I], TBits, ANormalize);
        if constexpr (TBits == 8)
            *LOut = static_cast<uint8_t>(LSample);
        else if constexpr (TBits == 16) {
            const auto LValue = static_cast<int16_t>(LSample);
            std::memcpy(LOut, &LValue, 2);
        } else if constexpr (TBits == 24)
            Convert32BitTo24Bit(LSample, LOut);
        else
            std::memcpy(LOut, &LSample, 4);
    }
}

} // namespace

void TSNRealToAudio::MergeBuffer(uint32_t AChannel, const IDGRealBuffer& AReals, ISNAudioBuffer& AOutput,
                                 bool ANormalize)
{
    switch (AOutput.GetBitsPerSample()) {
    case 8: MergeWidth<8>(AChannel, AReals, AOutput, ANormalize); break;
    case 16: MergeWidth<16>(AChannel, AReals, AOutput, ANormalize); break;
    case 24: MergeWidth<24>(AChannel, AReals, AOutput, ANormalize); break;
    case 32: MergeWidth<32>(AChannel, AReals, AOutput, ANormalize); break;
    default: break;
    }
}

// --- Stop -------------------------------------------------------------------------

void TSNRealToAudio::TryStop()
{
    std::lock_guard LList(FInputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    if (!FRunning)
        return;
    uint32_t LRemainder = UINT32_MAX;
    bool LAnyStopping = false;
    for (int I = 0; I < FInputPins.GetCount(); ++I) {
        TDGPNQueuedRealSinkPin* LPin = InputPin(I);
        if (LPin->IsRunning() && !LPin->IsStopping() && LPin->IsConnected())
            return; // an input still streams
        if (LPin->IsStopping()) {
            LAnyStopping = true;
            LRemainder = std::min(LRemainder, LPin->GetSizeForRate(FRunningFormat.Format.nSamplesPerSec));
        }
    }
    // The remainder goes out in one shorter buffer, then the stop.
    if (LAnyStopping && LRemainder > 0 && LRemainder != UINT32_MAX) {
        for (int I = 0; I < FInputPins.GetCount(); ++I)
            if (InputPin(I)->IsStopping())
                InputPin(I)->CalculateSampleCount(LRemainder, FRunningFormat.Format.nSamplesPerSec);
        CalculateSendOutput(LRemainder);
    }
    for (int I = 0; I < FInputPins.GetCount(); ++I)
        if (InputPin(I)->IsStopping())
            InputPin(I)->Stop();
    Stop();
}

void TSNRealToAudio::Stop()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FRunning)
        return;
    FRunning = false;
    FOutputPin.SendStop();
}

namespace SNRealToAudio {
void RegisterPkg()
{
    RegisterComponents({&TSNRealToAudio::ClassDescription()});
}
} // namespace SNRealToAudio

} // namespace Sonorix
