// SPDX-License-Identifier: MIT
#include "SNQueuedSwitch.h"

#include "CVRegistry.h"
#include "SNAudioBuffer.h"
#include "SNCatalogue.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

// --- TSNQueuedInputQueuing ---------------------------------------------------------

const TClassDescription& TSNQueuedInputQueuing::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNQueuedInputQueuing";
        LClass.Unit = "SNQueuedSwitch";
        LClass.Properties = {
            DescribeProperty(EnabledProperty, &TSNQueuedInputQueuing::GetEnabled, &TSNQueuedInputQueuing::SetEnabled),
        };
        return LClass;
    }();
    return LDescription;
}

// --- TSNQueuedInputItem --------------------------------------------------------------

const TClassDescription& TSNQueuedInputItem::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNQueuedInputItem;
        TClassDescription LClass;
        LClass.ClassName = "TSNQueuedInputItem";
        LClass.Unit = "SNQueuedSwitch";
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &C::GetInputPin),
            [] {
                TPropertyInfo LActive =
                    DescribeProperty(TBoolSpec{.Name = "Active", .Default = false}, &C::GetActive, &C::SetActive);
                LActive.Stored = false;
                return LActive;
            }(),
            DescribeObject("Queuing", &C::GetQueuing),
            DescribeProperty(ThresholdMaxProperty, &C::GetThresholdMax, &C::SetThresholdMax),
            DescribeProperty(ThresholdMinProperty, &C::GetThresholdMin, &C::SetThresholdMin),
        };
        return LClass;
    }();
    return LDescription;
}

TSNQueuedSwitch& TSNQueuedInputItem::Switch() const
{
    return *static_cast<TSNQueuedSwitch*>(GetCollection().GetOwner());
}

bool TSNQueuedInputItem::GetActive() const
{
    return GetIndex() == Switch().EffectiveIndex();
}

void TSNQueuedInputItem::SetActive(bool AValue)
{
    if (AValue)
        Switch().SetActiveChannel(*this);
}

int32_t TSNQueuedInputItem::GetThresholdMax() const
{
    return GetLock().Getter(FThresholdMax);
}

void TSNQueuedInputItem::SetThresholdMax(int32_t AValue)
{
    GetLock().NotifySetter(FThresholdMax, AValue);
}

int32_t TSNQueuedInputItem::GetThresholdMin() const
{
    return GetLock().Getter(FThresholdMin);
}

void TSNQueuedInputItem::SetThresholdMin(int32_t AValue)
{
    GetLock().NotifySetter(FThresholdMin, AValue);
}

void TSNQueuedInputItem::SetOnThresholdMax(TSNNotifyEvent AEvent)
{
    TLockAccess LAccess = GetLock().WriteLock();
    FOnThresholdMax = std::move(AEvent);
}

void TSNQueuedInputItem::SetOnThresholdMin(TSNNotifyEvent AEvent)
{
    TLockAccess LAccess = GetLock().WriteLock();
    FOnThresholdMin = std::move(AEvent);
}

bool TSNQueuedInputItem::AudioSinkDispatch(const IPNNotifyOperationPtr& AOperation)
{
    TSNQueuedSwitch& LSwitch = Switch();
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        size_t LCount;
        int32_t LIndex;
        bool LQueued = false;
        {
            // Under the collection's lock, so a change of the active input
            // (which clears the queues of inputs without Queuing) never
            // leaves a buffer behind in such a queue.
            TLockAccess LAccess = GetLock().WriteLock();
            LIndex = GetIndex();
            if (LIndex == LSwitch.EffectiveIndex() || FQueuing.GetEnabled()) {
                ISNAudioBufferPtr LAudio = LBuffer->AudioBuffer;
                if (!LAudio && LBuffer->Block && FWaveFormat.Format.nChannels > 0) {
                    try {
                        LAudio = TSNAudioBuffer::CreateUniversal(FWaveFormat, LBuffer->Block);
                    } catch (const std::exception&) {
                    }
                }
                if (LAudio) {
                    FAudioSyncQueue.Append(LBuffer->AudioBuffer ? AOperation
                                                                : MakePooled<TPNSuppliedBufferOperation>(LAudio));
                    LQueued = true;
                }
            }
            LCount = FAudioSyncQueue.Count();
        }
        if (LQueued)
            LSwitch.AudioBufferAdded();
        if (static_cast<int64_t>(LCount) > GetThresholdMax()) {
            TLockAccess LAccess = LSwitch.FLock->WriteLock();
            TSNNotifyEvent LEvent;
            {
                TLockAccess LItemAccess = GetLock().ReadLock();
                LEvent = FOnThresholdMax;
            }
            if (LEvent)
                LEvent(LSwitch);
            if (LSwitch.FThresholdListener)
                LSwitch.FThresholdListener(true, LIndex, LCount);
        }
        return LQueued;
    }
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        {
            TLockAccess LAccess = GetLock().WriteLock();
            FWaveFormat = LStart->WaveFormat;
        }
        LSwitch.ChannelAudioStart(*this, *LStart);
        FAudioIsActive = true;
        LSwitch.StartPump();
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        // The output ends only when no input is left active.
        FAudioIsActive = false;
        LSwitch.ChannelAudioStop();
        return true;
    }
    if (OperationAs<TPNDGResumeOperation>(AOperation)) {
        LSwitch.ResumeAudio();
        FAudioIsActive = true;
        return true;
    }
    if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation)) {
        LSwitch.RequestPump();
        if (!(LRequest->PumpType == ptHardware || (LRequest->PumpType == ptMaster && LRequest->Priority >= FPumpPriority))) {
            // The switch pumps its sources: the input claims the strongest role.
            LRequest->Claim(this, ptHardware, FPumpPriority);
            FIsPump = true;
        }
        return true;
    }
    if (OperationAs<TPNStartPumpOperation>(AOperation)) {
        LSwitch.StartPump();
        return true;
    }
    return false;
}

// --- TSNQueuedInputs ----------------------------------------------------------------

TSNQueuedInputs::TSNQueuedInputs(TSNQueuedSwitch& ASwitch) : TTypedCollection(&ASwitch, "InputChannels"), FSwitch(ASwitch)
{
}

TSNQueuedInputItem& TSNQueuedInputs::Add()
{
    std::lock_guard LList(FSwitch.FInputPins.GetListLock());
    TLockAccess LAccess = FSwitch.FLock->WriteLock();
    return TTypedCollection::Add();
}

void TSNQueuedInputs::Delete(int AIndex)
{
    std::lock_guard LList(FSwitch.FInputPins.GetListLock());
    TLockAccess LAccess = FSwitch.FLock->WriteLock();
    TTypedCollection::Delete(AIndex);
    // Keep the active index inside the items.
    FSwitch.SetActiveChannelIndex(FSwitch.FActiveChannelIndex.load());
}

void TSNQueuedInputs::Move(int ACurIndex, int ANewIndex)
{
    std::lock_guard LList(FSwitch.FInputPins.GetListLock());
    TLockAccess LAccess = FSwitch.FLock->WriteLock();
    TTypedCollection::Move(ACurIndex, ANewIndex);
}

void TSNQueuedInputs::Added(TSNQueuedInputItem& AItem)
{
    AItem.FInputPin = &static_cast<TSNPNAudioSinkPin&>(FSwitch.FInputPins.Add());
    AItem.FInputPin->SetDispatch(
        [&AItem](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return AItem.AudioSinkDispatch(AOperation); });
}

void TSNQueuedInputs::Removing(TSNQueuedInputItem& AItem, int /*AIndex*/)
{
    AItem.Flush();
    AItem.FInputPin->SetDispatch(nullptr);
    FSwitch.FInputPins.Delete(FSwitch.FInputPins.IndexOf(AItem.FInputPin));
    AItem.FInputPin = nullptr;
}

void TSNQueuedInputs::Moved(int ACurIndex, int ANewIndex)
{
    FSwitch.FInputPins.Move(ACurIndex, ANewIndex);
}

// --- TSNQueuedSwitch ----------------------------------------------------------------

TSNQueuedSwitch::TSNQueuedSwitch()
    : FOutputPin(this, "OutputPin"),
      FInputPins(this, "InputPins", TPNDataType::dtAudio, TPNPinDirection::pdSink,
                 [this](int) { return std::make_unique<TSNPNAudioSinkPin>(this, "InputPins"); }),
      FInputChannels(*this)
{
    FOutputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return SourceDispatch(AOperation); });
    if (!GetDesignMode())
        FClockThread = std::make_unique<TProcessingThread>([this] { ClockWork(); });
}

TSNQueuedSwitch::~TSNQueuedSwitch()
{
    FClockGen.Stop();
    if (FClockThread)
        FClockThread->Release();
    {
        TLockAccess LAccess = FLock->WriteLock();
        if (FAudioStarted.exchange(false))
            FOutputPin.SendStop();
    }
    FOutputPin.DisconnectAll();
    for (int I = 0; I < FInputPins.GetCount(); ++I)
        FInputPins[I].DisconnectAll();
    FInputChannels.Clear();
}

const TClassDescription& TSNQueuedSwitch::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNQueuedSwitch;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNQueuedSwitch");
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribeCollection("InputChannels", &C::GetInputChannels).WithEditorEntry("Edit &Input Channels ..."),
            DescribeProperty(ActiveChannelIndexProperty, &C::GetActiveChannelIndex, &C::SetActiveChannelIndex),
            DescribeProperty(PausedProperty, &C::GetPaused, &C::SetPaused),
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &C::GetOutputPin).AsPrimary(),
            DescribePinList("InputPins", "TSNPNAudioSinkPin", &C::GetInputPins).ResizedBy("InputChannels"),
        };
        // Both threshold events of every input come through one listener.
        const auto LBindThresholds = [](TPersistent& AObject, TGenericEventHandler AHandler) {
            auto& LSwitch = static_cast<C&>(AObject);
            if (!AHandler)
                return LSwitch.SetThresholdListener(nullptr);
            LSwitch.SetThresholdListener([AHandler, &LSwitch](bool AMax, int32_t AChannel, size_t ACount) {
                AHandler(LSwitch, AMax ? "OnThresholdMax" : "OnThresholdMin",
                         {{"channel", int64_t{AChannel}}, {"count", static_cast<int64_t>(ACount)}});
            });
        };
        LClass.Events = {
            TEventInfo{"OnSwitch",
                       [](TPersistent& AObject, TGenericEventHandler AHandler) {
                           auto& LSwitch = static_cast<C&>(AObject);
                           if (!AHandler)
                               return LSwitch.SetOnSwitch(nullptr);
                           LSwitch.SetOnSwitch([AHandler, &LSwitch](TPersistent& ASender) {
                               AHandler(ASender, "OnSwitch",
                                        {{"channel", int64_t{LSwitch.GetActiveChannelIndex()}}});
                           });
                       }},
            TEventInfo{"OnThresholdMin", LBindThresholds},
            TEventInfo{"OnThresholdMax", LBindThresholds},
        };
        LClass.Factory = [] { return std::make_shared<TSNQueuedSwitch>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNQueuedSwitch::GetActiveChannelIndex() const
{
    return FActiveChannelIndex.load();
}

void TSNQueuedSwitch::SetActiveChannelIndex(int32_t AValue)
{
    TLockAccess LAccess = FLock->WriteLock();
    TLockAccess LItems = FInputChannels.GetLock().WriteLock();
    const int32_t LCount = FInputChannels.GetCount();
    // Without items the index is kept for the items to come, so the order in
    // which a stored form or pipeline text sets the two does not matter.
    if (LCount > 0 && AValue >= LCount)
        AValue = LCount - 1;
    else if (AValue < 0)
        AValue = 0;
    FActiveChannelIndex = AValue;
    for (int32_t I = 0; I < LCount; ++I) {
        TSNQueuedInputItem& LItem = FInputChannels[I];
        if (I != AValue && !LItem.FQueuing.GetEnabled())
            LItem.Flush();
    }
    LItems.Release();
    LAccess.Release();
    if (FClockThread)
        FClockThread->WakeUp();
}

void TSNQueuedSwitch::SetActiveChannel(TSNQueuedInputItem& AItem)
{
    SetActiveChannelIndex(AItem.GetIndex());
}

int32_t TSNQueuedSwitch::EffectiveIndex() const
{
    return std::min(FActiveChannelIndex.load(), FInputChannels.GetCount() - 1);
}

bool TSNQueuedSwitch::GetPaused() const
{
    return FPaused.load();
}

void TSNQueuedSwitch::SetPaused(bool AValue)
{
    FPaused = AValue;
}

void TSNQueuedSwitch::SetOnSwitch(TSNNotifyEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnSwitch = std::move(AEvent);
}

void TSNQueuedSwitch::SetThresholdListener(TThresholdListener AListener)
{
    TLockAccess LAccess = FLock->WriteLock();
    FThresholdListener = std::move(AListener);
}

// --- Stream -------------------------------------------------------------------------

void TSNQueuedSwitch::ChannelAudioStart(TSNQueuedInputItem& /*AItem*/, const TPNStartWaveOperation& AStart)
{
    TLockAccess LAccess = FLock->WriteLock();
    FRunningWaveFormat = AStart.WaveFormat;
    FStopPending = false;
    if (FAudioStarted)
        return; // the output keeps the first stream's format
    // Pump negotiation before the start, so the own clock is known when
    // pumping begins.
    RequestPump();
    FOutputPin.Notify(std::make_shared<TPNStartWaveOperation>(AStart.WaveFormat, AStart.StartFlag));
    FAudioStarted = true;
    FAudioResumed = false;
    FAudioRequest = true;
}

void TSNQueuedSwitch::ChannelAudioStop()
{
    TLockAccess LAccess = FLock->WriteLock();
    TryEndOutput();
    if (FClockThread)
        FClockThread->WakeUp();
}

void TSNQueuedSwitch::TryEndOutput()
{
    // Called with FLock held.
    if (!FAudioStarted)
        return;
    for (int I = 0; I < FInputChannels.GetCount(); ++I)
        if (FInputChannels[I].FAudioIsActive)
            return;
    // What is queued still goes out (from the clock thread) before the stop.
    if (PendingCount() > 0) {
        FStopPending = true;
        return;
    }
    FStopPending = false;
    FAudioStarted = false;
    FAudioResumed = false;
    FPumpStarted = false;
    FIsPump = false;
    for (int I = 0; I < FInputChannels.GetCount(); ++I)
        FInputChannels[I].FIsPump = false;
    FClockGen.Stop();
    FOutputPin.SendStop();
}

size_t TSNQueuedSwitch::PendingCount() const
{
    size_t LCount = 0;
    for (int I = 0; I < FInputChannels.GetCount(); ++I)
        LCount += FInputChannels[I].GetQueuedCount();
    return LCount;
}

void TSNQueuedSwitch::StartPump()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FAudioStarted && FOutputPin.IsConnected())
        return; // the start wave comes first
    if (!FPumpStarted) {
        FOutputPin.Notify(std::make_shared<TPNStartPumpOperation>(FMasterPump));
        CreateTimer();
    }
    FPumpStarted = true;
    // Pumped inputs get their first tick now.
    if (FClockThread)
        FClockThread->WakeUp();
}

void TSNQueuedSwitch::RequestPump()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (FAudioStarted)
        return;
    auto LRequest = std::make_shared<TPNPumpRequestOperation>(this, ptMaster, FPumpPriority, 1.0);
    FOutputPin.Notify(LRequest);
    FIsPump = LRequest->PumpObject == this;
    FMasterPump = LRequest->PumpObject;
}

void TSNQueuedSwitch::CreateTimer()
{
    // Called with FLock held.
    if (!FIsPump)
        return;
    const double LRate = std::max<double>(FRunningWaveFormat.Format.nSamplesPerSec, 1.0);
    const auto LPeriod = std::max<int64_t>(std::llround(9999999.0 / (LRate / 1024.0)), 1);
    FClockGen.Start(LPeriod, [this] { Clock(); });
}

void TSNQueuedSwitch::Clock()
{
    if (!FPaused && FClockThread)
        FClockThread->WakeUp();
}

void TSNQueuedSwitch::AudioBufferAdded()
{
    if (FAudioRequest && FClockThread)
        FClockThread->WakeUp();
}

void TSNQueuedSwitch::ClockWork()
{
    SubmitFrame();
    std::vector<TPNPin*> LPumped;
    {
        TLockAccess LAccess = FLock->WriteLock();
        if (!FAudioStarted)
            return;
        TLockAccess LItems = FInputChannels.GetLock().ReadLock();
        for (int I = 0; I < FInputChannels.GetCount(); ++I)
            if (FInputChannels[I].FIsPump)
                LPumped.push_back(FInputChannels[I].FInputPin);
    }
    // No lock is held while the sources answer.
    for (TPNPin* LPin : LPumped)
        LPin->Notify(std::make_shared<TPNMasterPumpOperation>(this));
    FAudioRequest = true;
}

bool TSNQueuedSwitch::SubmitFrame()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FAudioStarted)
        return false;
    const int32_t LCount = FInputChannels.GetCount();
    // Each input is looked at once at most: with nothing to send and nothing
    // active the walk ends instead of going round for ever.
    for (int32_t LVisited = 0; LVisited <= LCount; ++LVisited) {
        const int32_t LIndex = EffectiveIndex();
        if (LIndex < 0)
            return false;
        TSNQueuedInputItem& LItem = FInputChannels[LIndex];
        if (IPNNotifyOperationPtr LOperation = LItem.FAudioSyncQueue.ExtractFirst()) {
            const size_t LLeft = LItem.FAudioSyncQueue.Count();
            if (static_cast<int64_t>(LLeft) < LItem.GetThresholdMin()) {
                TSNNotifyEvent LEvent;
                {
                    TLockAccess LItemAccess = LItem.GetLock().ReadLock();
                    LEvent = LItem.FOnThresholdMin;
                }
                if (LEvent)
                    LEvent(*this);
                if (FThresholdListener)
                    FThresholdListener(false, LIndex, LLeft);
            }
            FOutputPin.Notify(LOperation);
            FAudioRequest = false;
            return true;
        }
        if (LItem.FAudioIsActive)
            break; // wait for its data
        if (PendingCount() == 0)
            break; // nothing anywhere: stay on this input
        // Move on to the next input, wrapping to the first.
        if (LIndex < LCount - 1)
            FActiveChannelIndex = LIndex + 1;
        else if (LIndex == 0)
            break;
        else
            FActiveChannelIndex = 0;
        if (FOnSwitch)
            FOnSwitch(*this);
    }
    if (FStopPending)
        TryEndOutput();
    return false;
}

void TSNQueuedSwitch::ResumeAudio()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (FAudioResumed)
        return;
    FAudioResumed = true;
    FPaused = false;
    FOutputPin.Notify(std::make_shared<TPNDGResumeOperation>());
}

void TSNQueuedSwitch::MasterPump()
{
    if (FIsPump)
        return;
    std::vector<TPNPin*> LPins;
    {
        TLockAccess LAccess = FLock->WriteLock();
        TLockAccess LItems = FInputChannels.GetLock().ReadLock();
        for (int I = 0; I < FInputChannels.GetCount(); ++I)
            if (FInputChannels[I].GetQueuedCount() < 100)
                LPins.push_back(FInputChannels[I].FInputPin);
    }
    for (TPNPin* LPin : LPins)
        LPin->Notify(std::make_shared<TPNMasterPumpOperation>(this));
    if (FClockThread)
        FClockThread->WakeUp();
}

bool TSNQueuedSwitch::SourceDispatch(const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNMasterPumpOperation>(AOperation)) {
        MasterPump();
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        Stop();
        return true;
    }
    if (OperationAs<TPNStartSampleRateOperation>(AOperation)) {
        bool LResult = false;
        for (int I = 0; I < FInputPins.GetCount(); ++I)
            LResult = FInputPins[I].Notify(AOperation);
        return LResult;
    }
    return false;
}

void TSNQueuedSwitch::Stop()
{
    for (int I = 0; I < FInputPins.GetCount(); ++I)
        FInputPins[I].Notify(std::make_shared<TPNStopOperation>());
}

void TSNQueuedSwitch::StopSource()
{
    // Every input counts as ended; what is queued goes out in playlist order.
    FClockGen.Stop();
    {
        TLockAccess LItems = FInputChannels.GetLock().ReadLock();
        for (int I = 0; I < FInputChannels.GetCount(); ++I)
            FInputChannels[I].FAudioIsActive = false;
    }
    while (SubmitFrame()) {
    }
    TLockAccess LAccess = FLock->WriteLock();
    TryEndOutput();
}

namespace SNQueuedSwitch {
void RegisterPkg()
{
    RegisterComponents({&TSNQueuedSwitch::ClassDescription()});
}
} // namespace SNQueuedSwitch

} // namespace Sonorix
