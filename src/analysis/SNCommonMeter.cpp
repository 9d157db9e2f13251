// SPDX-License-Identifier: MIT
#include "SNCommonMeter.h"

#include "CVThreading.h"
#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"
#include "SNDispatcher.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

namespace {
constexpr const char* GValueModeNames[] = {"vmLinear", "vmDecibel"};
constexpr const char* GSynchronizeNames[] = {"stNone", "stSingleBuffer", "stQueue"};
} // namespace

const TEnumInfo TSNValueModeInfo{"TSNValueMode", GValueModeNames};
const TEnumInfo TDGSynchronizeTypeInfo{"TDGSynchronizeType", GSynchronizeNames};

// --- TSNMeterBufferQueue ----------------------------------------------------------

void TSNMeterBufferQueue::Push(ISNAudioBufferPtr ABuffer)
{
    FSamplesInBuffer += ABuffer->GetSize();
    FBufferList.push_back(std::move(ABuffer));
}

void TSNMeterBufferQueue::Pop()
{
    if (FBufferList.empty())
        return;
    FSamplesInBuffer -= FBufferList.front()->GetSize();
    FBufferList.pop_front();
}

bool TSNMeterBufferQueue::GetBuffer(int32_t AIndex, ISNAudioBufferPtr& ABuffer) const
{
    if (AIndex < 0 || AIndex >= GetCount()) {
        ABuffer.reset();
        return false;
    }
    ABuffer = FBufferList[static_cast<size_t>(AIndex)];
    return true;
}

void TSNMeterBufferQueue::Clear()
{
    FSamplesInBuffer = 0;
    FBufferList.clear();
}

// --- TSNCommonMeter ---------------------------------------------------------------

TSNCommonMeter::TSNCommonMeter()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()),
      FOutputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FInputPin(this, "InputPin"),
      FOutputPins(this, "OutputPins", TPNDataType::dtRealValue, TPNPinDirection::pdSource, [this](int) {
          auto LPin = std::make_unique<TPNRealRangedSourcePin>(this, "OutputPins");
          // Requests from downstream (pump negotiation) go upstream.
          LPin->SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
              return FInputPin.Notify(AOperation);
          });
          return LPin;
      })
{
    FInputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return InputDispatch(AOperation); });
    FOutputPins.SetCount(FCountChannels);
}

TSNCommonMeter::~TSNCommonMeter()
{
    FMainThreadNotify.Shutdown();
    FInputPin.DisconnectAll();
    FOutputPins.SetCount(0);
}

const TClassDescription& TSNCommonMeter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNCommonMeter;
        TClassDescription LClass;
        LClass.ClassName = "TSNCommonMeter";
        LClass.Unit = "SNCommonMeter";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &C::GetInputPin).AsPrimary(),
            DescribePinList("OutputPins", "TPNRealRangedSourcePin", &C::GetOutputPins).ResizedBy("CountChannels"),
            DescribeProperty(ModeProperty, &C::GetMode, &C::SetMode),
            DescribeProperty(CountChannelsProperty, &C::GetCountChannels, &C::SetCountChannels),
            DescribeProperty(SynchronizeTypeProperty, &C::GetSynchronizeType, &C::SetSynchronizeType),
            DescribeProperty(PeriodProperty, &C::GetPeriod, &C::SetPeriod),
            DescribeReadOnly("ActiveChannels", "int32", &C::GetActiveChannels),
        };
        LClass.Events = {MeterValueChangeEventInfo()};
        return LClass;
    }();
    return LDescription;
}

TEventInfo MeterValueChangeEventInfo()
{
    return {"OnValueChange", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                auto& LMeter = static_cast<TSNCommonMeter&>(AObject);
                if (!AHandler) {
                    LMeter.SetOnValueChange(nullptr);
                    return;
                }
                LMeter.SetOnValueChange([AHandler](TPersistent& ASender, int32_t AChannel, double AValue, double AMin,
                                                   double AMax) {
                    AHandler(ASender, "OnValueChange",
                             {{"channel", int64_t{AChannel}}, {"value", AValue}, {"min", AMin}, {"max", AMax}});
                });
            }};
}

TSNValueMode TSNCommonMeter::GetMode() const
{
    return FLock->Getter(FMode);
}

void TSNCommonMeter::SetMode(TSNValueMode AValue)
{
    FLock->NotifySetter(FMode, AValue);
}

int32_t TSNCommonMeter::GetCountChannels() const
{
    return FLock->Getter(FCountChannels);
}

void TSNCommonMeter::SetCountChannels(int32_t AValue)
{
    FLock->NotifySetterMinMax(FCountChannels, AValue, static_cast<int32_t>(*CountChannelsProperty.Min),
                              static_cast<int32_t>(*CountChannelsProperty.Max), [this] {
                                  std::lock_guard LListGuard(FOutputPins.GetListLock());
                                  FOutputPins.SetCount(GetCountChannels());
                                  UpdateRunningChannels();
                              });
}

TDGSynchronizeType TSNCommonMeter::GetSynchronizeType() const
{
    return FLock->Getter(FSynchronizeType);
}

void TSNCommonMeter::SetSynchronizeType(TDGSynchronizeType AValue)
{
    FLock->NotifySetter(FSynchronizeType, AValue);
}

uint32_t TSNCommonMeter::GetPeriod() const
{
    return FLock->Getter(FPeriod);
}

void TSNCommonMeter::SetPeriod(uint32_t AValue)
{
    FLock->NotifySetterMinMax(FPeriod, AValue, static_cast<uint32_t>(*PeriodProperty.Min),
                              static_cast<uint32_t>(*PeriodProperty.Max), [this] { SetTimePeriod(); });
}

void TSNCommonMeter::SetOnValueChange(TSNMeterValueChangeEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnValueChange = std::move(AEvent);
}

int32_t TSNCommonMeter::GetActiveChannels() const
{
    return FLock->Getter(FRunningChannelCount);
}

void TSNCommonMeter::UpdateRunningChannels()
{
    // Called with the pin list's lock held.
    TLockAccess LAccess = FLock->WriteLock();
    FRunningChannelCount =
        FStarted ? std::min<int32_t>({FOutputPins.GetCount(), FWaveFormat.Format.nChannels, CSNMaxMeterChannels}) : 0;
}

// --- Input -------------------------------------------------------------------

bool TSNCommonMeter::InputDispatch(const IPNNotifyOperationPtr& AOperation)
{
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        Reset(&LStart->WaveFormat);
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        Stop();
        return true;
    }
    if (auto* LSupplied = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (LSupplied->AudioBuffer)
            ReceiveBuffer(LSupplied->AudioBuffer);
        else if (LSupplied->Block) {
            WAVEFORMATEXTENSIBLE LFormat;
            {
                TLockAccess LAccess = FLock->ReadLock();
                if (!FStarted)
                    return false;
                LFormat = FWaveFormat;
            }
            ISNAudioBufferPtr LBuffer;
            try {
                LBuffer = TSNAudioBuffer::CreateUniversal(LFormat, LSupplied->Block);
            } catch (const std::exception&) {
                return false; // a format no audio buffer can hold: nothing to measure
            }
            ReceiveBuffer(std::move(LBuffer));
        }
        return true;
    }
    return false;
}

void TSNCommonMeter::ReceiveBuffer(ISNAudioBufferPtr ABuffer)
{
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    if (!FStarted)
        return;
    // Buffers of another layout than the announced one are not measured.
    if (ABuffer->GetChannels() != FWaveFormat.Format.nChannels ||
        ABuffer->GetBitsPerSample() != FWaveFormat.Format.wBitsPerSample || ABuffer->GetSize() == 0)
        return;
    FQueue.Push(std::move(ABuffer));
    ProcessQueue();
}

void TSNCommonMeter::Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat)
{
    if (!AWaveFormat)
        return;
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    FWaveFormat = *AWaveFormat;
    const unsigned LBits = FWaveFormat.Format.wBitsPerSample;
    FMax = LBits >= 2 && LBits <= 32 ? std::ldexp(1.0, static_cast<int>(LBits) - 1) - 1.0 : 1.0;
    FQueue.Clear();
    FLastBufferPos = 0;
    FStarted = true;
    FMainThreadNotify.ClearMainThread();
    InitBuffers();
    // The readings form a stream of one value per period on each pin.
    for (int32_t c = 0; c < FOutputPins.GetCount(); ++c)
        FOutputPins[c].Notify(std::make_shared<TPNStartSampleRateOperation>(1000.0 / std::max<uint32_t>(FPeriod, 1)));
}

void TSNCommonMeter::Stop()
{
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    const bool LWasStarted = FStarted;
    FStarted = false;
    FMainThreadNotify.ClearMainThread();
    if (LWasStarted)
        for (int32_t c = 0; c < FOutputPins.GetCount(); ++c)
            FOutputPins[c].Notify(std::make_shared<TPNStopOperation>());
}

int32_t TSNCommonMeter::GetBufferSize()
{
    const int64_t LFrames = int64_t{FPeriod} * FWaveFormat.Format.nSamplesPerSec / 1000;
    return static_cast<int32_t>(std::clamp<int64_t>(LFrames, 1, INT32_MAX / 4));
}

void TSNCommonMeter::InitBuffers()
{
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    UpdateRunningChannels();
    const auto LBytes = static_cast<size_t>(GetBufferSize()) * sizeof(float);
    const size_t LChannels = std::min<size_t>(FWaveFormat.Format.nChannels, CSNMaxMeterChannels);
    FInternalBuffers.clear();
    FWorkFrames = GetBufferSize();
    for (size_t c = 0; c < LChannels; ++c)
        FInternalBuffers.push_back(TDGBlockBuffer::CreateSize(LBytes));
}

void TSNCommonMeter::SetTimePeriod()
{
    // The pin list's lock first, as on the buffer path.
    std::lock_guard LListGuard(FOutputPins.GetListLock());
    TLockAccess LAccess = FLock->WriteLock();
    if (FStarted)
        InitBuffers();
}

float* TSNCommonMeter::WorkBuffer(int32_t AChannel)
{
    return static_cast<float*>(FInternalBuffers[static_cast<size_t>(AChannel)]->Modify());
}

void TSNCommonMeter::FillInternalBuffers()
{
    const int32_t LNeeded = GetBufferSize();
    int32_t LFilled = 0;
    ISNAudioBufferPtr LBuffer;
    while (LFilled < LNeeded && FQueue.GetBuffer(0, LBuffer)) {
        const auto LSize = static_cast<int32_t>(LBuffer->GetSize());
        if (LSize <= FLastBufferPos) {
            FQueue.Pop();
            FLastBufferPos = 0;
            continue;
        }
        const int32_t LCount = std::min(LSize - FLastBufferPos, LNeeded - LFilled);
        const auto LStep = static_cast<int32_t>(LBuffer->GetDataStep());
        TakeFrames(LBuffer->ByteRead() + static_cast<size_t>(FLastBufferPos) * LStep, LStep, LCount, LFilled);
        FLastBufferPos += LCount;
        LFilled += LCount;
    }
}

void TSNCommonMeter::TakeFrames(const uint8_t* AFrames, int32_t AStep, int32_t ACount, int32_t AFilled)
{
    const int32_t LChannels = std::min<int32_t>(FRunningChannelCount, static_cast<int32_t>(FInternalBuffers.size()));
    const unsigned LBits = FWaveFormat.Format.wBitsPerSample;
    const int32_t LBytes = static_cast<int32_t>(LBits / 8);
    const IppiSize LRoi{1, ACount};
    for (int32_t c = 0; c < LChannels; ++c) {
        const uint8_t* LSource = AFrames + static_cast<size_t>(c) * LBytes;
        float* LTarget = WorkBuffer(c) + AFilled;
        switch (LBits) {
        case 8: ippiConvert_8u32f_C1R(LSource, AStep, LTarget, 4, LRoi); break;
        case 16: ippiConvert_16s32f_C1R(reinterpret_cast<const Ipp16s*>(LSource), AStep, LTarget, 4, LRoi); break;
        case 24: ippiConvert_24s32f_C1R(LSource, AStep, LTarget, 4, LRoi); break;
        case 32: ippiConvert_32s32f_C1R(reinterpret_cast<const Ipp32s*>(LSource), AStep, LTarget, 4, LRoi); break;
        default: break;
        }
    }
}

void TSNCommonMeter::ProcessQueue()
{
    const bool LDecibel = FMode == vmDecibel;
    const double LFloor = -20.0 * std::log10(FMax);
    const double LMin = LDecibel ? LFloor : 0.0;
    const double LMaxValue = LDecibel ? 20.0 * std::log10(2.0 * FMax / FMax) : FMax;
    TSNChannelReals LValues{};
    // A new Period is stored before its change action resizes the work
    // buffers: resize here first if the buffer path got in between.
    if (FWorkFrames != GetBufferSize())
        InitBuffers();
    while (FQueue.GetSamplesInBuffer() > int64_t{GetBufferSize()} + FLastBufferPos) {
        FillInternalBuffers();
        GetMeterValue(LValues);
        if (LDecibel)
            for (int32_t c = 0; c < FRunningChannelCount; ++c)
                LValues[c] = LValues[c] <= 0 ? LFloor : 20.0 * std::log10(2.0 * LValues[c] / FMax);
        Output(LValues, LMin, LMaxValue);
    }
}

void TSNCommonMeter::Output(const TSNChannelReals& AValues, double AMin, double AMax)
{
    // Called with the pin list's lock and FLock held.
    const bool LAtOnce = FSynchronizeType == stNone && FOnValueChange;
    for (int32_t c = 0; c < FRunningChannelCount; ++c) {
        auto* LPin = static_cast<TPNRealRangedSourcePin*>(FOutputPins.GetPin(c));
        if (!LPin || LPin->HoldsValue(AValues[c]))
            continue;
        LPin->SubmitValueRange(AValues[c], AMin, AMax);
        if (LAtOnce)
            FOnValueChange(*this, c, AValues[c], AMin, AMax);
    }
    // With stNone the event has been raised already for the channels that
    // changed; the main-thread path is for the synchronised modes only.
    if (!FOnValueChange || FSynchronizeType == stNone)
        return;
    if (FSynchronizeType == stSingleBuffer)
        FMainThreadNotify.ClearMainThread();
    DeliverOnMainThread(AValues, FRunningChannelCount, AMin, AMax);
}

void TSNCommonMeter::DeliverOnMainThread(const TSNChannelReals& AValues, int32_t ACount, double AMin, double AMax)
{
    FMainThreadNotify.SyncNotify([this, AValues, ACount, AMin, AMax] {
        TSNMeterValueChangeEvent LEvent;
        {
            TLockAccess LAccess = FLock->ReadLock();
            LEvent = FOnValueChange;
        }
        if (!LEvent)
            return;
        for (int32_t c = 0; c < ACount; ++c)
            LEvent(*this, c, AValues[c], AMin, AMax);
    });
}

} // namespace Sonorix
