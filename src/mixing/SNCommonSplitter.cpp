// SPDX-License-Identifier: MIT
#include "SNCommonSplitter.h"

#include "IPPExtraFunctions.h"

#include <algorithm>
#include <cstring>

namespace Sonorix {

namespace {

// Stored sample to its signed value: 8-bit samples are unsigned around 128.
template <unsigned ABits>
double SampleAt(const uint8_t* ASample)
{
    if constexpr (ABits == 8)
        return static_cast<double>(int32_t{*ASample} - 128);
    else if constexpr (ABits == 16) {
        int16_t LValue;
        std::memcpy(&LValue, ASample, 2);
        return LValue;
    } else if constexpr (ABits == 24)
        return Convert24BitTo32Bit(ASample);
    else {
        int32_t LValue;
        std::memcpy(&LValue, ASample, 4);
        return LValue;
    }
}

template <unsigned ABits>
void ExtractChannel(const ISNAudioBuffer& ABuffer, int32_t AChannel, double AScale, double* ADst)
{
    const uint32_t LFrames = ABuffer.GetSize();
    const uint32_t LStep = ABuffer.GetDataStep();
    const uint8_t* LSource = ABuffer.ByteRead() + static_cast<size_t>(AChannel) * (ABits / 8);
    for (uint32_t i = 0; i < LFrames; ++i, LSource += LStep)
        ADst[i] = SampleAt<ABits>(LSource) * AScale;
}

} // namespace

TSNBasicCommonSplitter::TSNBasicCommonSplitter(TPNDataType AOutputType)
    : FInputPin(this, "InputPin"),
      FOutputPins(this, "OutputPins", AOutputType, TPNPinDirection::pdSource,
                  [this](int AIndex) { return CreateSourcePin(AIndex); })
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SinkDispatch(APin, AOperation);
    });
}

TSNBasicCommonSplitter::~TSNBasicCommonSplitter()
{
    FInputPin.DisconnectAll();
}

const TClassDescription& TSNBasicCommonSplitter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicCommonSplitter";
        LClass.Unit = "SNCommonSplitter";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &TSNBasicCommonSplitter::GetInputPin).AsPrimary(),
        };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNBasicCommonSplitter::GetActiveChannels() const
{
    std::lock_guard LListGuard(const_cast<TPNPinList&>(FOutputPins).GetListLock());
    TLockAccess LAccess = FLock->ReadLock();
    if (!FStarted)
        return 0;
    return std::min<int32_t>(FOutputPins.GetCount(), FWaveFormat.Format.nChannels);
}

bool TSNBasicCommonSplitter::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        std::lock_guard LListGuard(FOutputPins.GetListLock());
        TLockAccess LAccess = FLock->WriteLock();
        AudioStreamStart(&LStart->WaveFormat);
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        std::lock_guard LListGuard(FOutputPins.GetListLock());
        Stop();
        return true;
    }
    if (auto* LSupplied = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        ISNAudioBufferPtr LBuffer = LSupplied->AudioBuffer;
        if (!LBuffer && LSupplied->Block) {
            TLockAccess LAccess = FLock->ReadLock();
            if (!FStarted)
                return false;
            try {
                LBuffer = TSNAudioBuffer::CreateUniversal(FWaveFormat, LSupplied->Block);
            } catch (const std::exception&) {
                return false; // a format no audio buffer can hold: nothing to split
            }
        }
        if (LBuffer)
            ProcessBuffer(LBuffer);
        return true;
    }
    // Pump requests and the like pass through to every output.
    NotifyOutputPins(AOperation);
    return true;
}

bool TSNBasicCommonSplitter::SourceDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    return FInputPin.Notify(AOperation);
}

void TSNBasicCommonSplitter::AudioStreamStart(const WAVEFORMATEXTENSIBLE* AWaveFormat)
{
    if (!AWaveFormat)
        return;
    FWaveFormat = *AWaveFormat;
    FStarted = true;
    // A copy: make_shared would bind a reference to the packed (misaligned) field.
    const double LRate = FWaveFormat.Format.nSamplesPerSec;
    NotifyOutputPins(std::make_shared<TPNStartSampleRateOperation>(LRate));
}

void TSNBasicCommonSplitter::Stop()
{
    {
        TLockAccess LAccess = FLock->WriteLock();
        FStarted = false;
    }
    NotifyOutputPins(std::make_shared<TPNStopOperation>());
}

bool TSNBasicCommonSplitter::HasChannelEvent(int32_t AChannel)
{
    const TPNPin* LPin = OutputPin(AChannel);
    return LPin && LPin->IsConnected();
}

bool TSNBasicCommonSplitter::GetNormalize()
{
    return false;
}

void TSNBasicCommonSplitter::Strip8Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    SplitBuffer(AChannel, ChannelToReals(AChannel, *ABuffer));
}

void TSNBasicCommonSplitter::Strip16Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    SplitBuffer(AChannel, ChannelToReals(AChannel, *ABuffer));
}

void TSNBasicCommonSplitter::Strip24Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    SplitBuffer(AChannel, ChannelToReals(AChannel, *ABuffer));
}

void TSNBasicCommonSplitter::Strip32Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    SplitBuffer(AChannel, ChannelToReals(AChannel, *ABuffer));
}

void TSNBasicCommonSplitter::SplitBuffer(int32_t /*AChannel*/, const IDGRealBufferPtr& /*ABuffer*/) {}

void TSNBasicCommonSplitter::SetCountChannels(int32_t AValue)
{
    FOutputPins.SetCount(std::clamp<int32_t>(AValue, 1, 32));
}

IDGRealBufferPtr TSNBasicCommonSplitter::ChannelToReals(int32_t AChannel, const ISNAudioBuffer& ABuffer)
{
    const uint32_t LBits = ABuffer.GetBitsPerSample();
    const double LScale = GetNormalize() ? 1.0 / static_cast<double>(int64_t{1} << (LBits - 1)) : 1.0;
    IDGRealBufferPtr LReals = TDGRealBuffer::CreateSize(ABuffer.GetSize());
    double* LDst = LReals->Modify();
    switch (LBits) {
    case 8: ExtractChannel<8>(ABuffer, AChannel, LScale, LDst); break;
    case 16: ExtractChannel<16>(ABuffer, AChannel, LScale, LDst); break;
    case 24: ExtractChannel<24>(ABuffer, AChannel, LScale, LDst); break;
    case 32: ExtractChannel<32>(ABuffer, AChannel, LScale, LDst); break;
    default: break;
    }
    return LReals;
}

void TSNBasicCommonSplitter::NotifyOutputPins(const IPNNotifyOperationPtr& AOperation)
{
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    for (int i = 0, n = FOutputPins.GetCount(); i < n; ++i)
        FOutputPins[i].Notify(AOperation);
}

void TSNBasicCommonSplitter::ProcessBuffer(const ISNAudioBufferPtr& ABuffer)
{
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    if (!FStarted)
        return;
    // A buffer of another layout than the announced one would be read
    // beyond its frames: it is dropped.
    if (ABuffer->GetChannels() != FWaveFormat.Format.nChannels ||
        ABuffer->GetBitsPerSample() != FWaveFormat.Format.wBitsPerSample)
        return;
    const int32_t LChannels = std::min<int32_t>(FOutputPins.GetCount(), FWaveFormat.Format.nChannels);
    for (int32_t c = 0; c < LChannels; ++c) {
        if (!HasChannelEvent(c))
            continue;
        switch (FWaveFormat.Format.wBitsPerSample) {
        case 8: Strip8Bits(c, ABuffer); break;
        case 16: Strip16Bits(c, ABuffer); break;
        case 24: Strip24Bits(c, ABuffer); break;
        case 32: Strip32Bits(c, ABuffer); break;
        default: return;
        }
    }
}

// --- TSNCommonSplitter ---------------------------------------------------------

const TClassDescription& TSNCommonSplitter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNCommonSplitter";
        LClass.Unit = "SNCommonSplitter";
        LClass.Parent = &TSNBasicCommonSplitter::ClassDescription();
        LClass.Properties = {
            DescribeProperty(CountChannelsProperty, &TSNCommonSplitter::GetCountChannels,
                             &TSNCommonSplitter::SetCountChannels),
        };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNCommonSplitter::GetCountChannels() const
{
    return FLock->Getter(FCountChannels);
}

void TSNCommonSplitter::SetCountChannels(int32_t AValue)
{
    FLock->NotifySetterMinMax(FCountChannels, AValue, static_cast<int32_t>(*CountChannelsProperty.Min),
                              static_cast<int32_t>(*CountChannelsProperty.Max),
                              [this] { TSNBasicCommonSplitter::SetCountChannels(GetCountChannels()); });
}

void TSNCommonSplitter::CreateDefaultPins()
{
    TSNBasicCommonSplitter::SetCountChannels(GetCountChannels());
}

} // namespace Sonorix
