// SPDX-License-Identifier: MIT
#include "SNAudioMixer.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

#include <cmath>

namespace Sonorix {

namespace {
constexpr const char* CWaitTypeNames[] = {"mcwNone", "mcwWaitForData"};
}
const TEnumInfo TDGMixerChannelWaitTypeInfo{"TDGMixerChannelWaitType", CWaitTypeNames};

// --- TSNAudioMixerChannelItem --------------------------------------------------

const TClassDescription& TSNAudioMixerChannelItem::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNAudioMixerChannelItem;
        TClassDescription LClass;
        LClass.ClassName = "TSNAudioMixerChannelItem";
        LClass.Unit = "SNAudioMixer";
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &C::GetInputPin),
            DescribeProperty(CoefficientProperty, &C::GetCoefficient, &C::SetCoefficient),
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeProperty(WaitForDataBeforeProperty, &C::GetWaitForDataBefore, &C::SetWaitForDataBefore),
            DescribeProperty(PrefillIntervalProperty, &C::GetPrefillInterval, &C::SetPrefillInterval),
            DescribeProperty(MaxSamplesProperty, &C::GetMaxSamples, &C::SetMaxSamples),
            DescribeProperty(AllowUnderfeedProperty, &C::GetAllowUnderfeed, &C::SetAllowUnderfeed),
        };
        return LClass;
    }();
    return LDescription;
}

double TSNAudioMixerChannelItem::GetCoefficient() const
{
    return GetLock().Getter(FCoefficient);
}

void TSNAudioMixerChannelItem::SetCoefficient(double AValue)
{
    GetLock().NotifySetter(FCoefficient, AValue);
}

bool TSNAudioMixerChannelItem::GetEnabled() const
{
    return FInputPin->GetEnabled();
}

void TSNAudioMixerChannelItem::SetEnabled(bool AValue)
{
    FInputPin->SetEnabled(AValue);
}

TDGMixerChannelWaitType TSNAudioMixerChannelItem::GetWaitForDataBefore() const
{
    return GetLock().Getter(FWaitForActiveBefore);
}

void TSNAudioMixerChannelItem::SetWaitForDataBefore(TDGMixerChannelWaitType AValue)
{
    GetLock().NotifySetter(FWaitForActiveBefore, AValue);
}

uint32_t TSNAudioMixerChannelItem::GetPrefillInterval() const
{
    return FInputPin->GetPrefillInterval();
}

void TSNAudioMixerChannelItem::SetPrefillInterval(uint32_t AValue)
{
    FInputPin->SetPrefillInterval(AValue);
}

uint32_t TSNAudioMixerChannelItem::GetMaxSamples() const
{
    return FInputPin->GetMaxSamples();
}

void TSNAudioMixerChannelItem::SetMaxSamples(uint32_t AValue)
{
    FInputPin->SetMaxSamples(AValue);
}

bool TSNAudioMixerChannelItem::GetAllowUnderfeed() const
{
    return FInputPin->GetAllowUnderfeed();
}

void TSNAudioMixerChannelItem::SetAllowUnderfeed(bool AValue)
{
    FInputPin->SetAllowUnderfeed(AValue);
}

// --- TSNAudioMixerChannels -----------------------------------------------------

TSNAudioMixerChannels::TSNAudioMixerChannels(TSNAudioMixer& AMixer)
    : TTypedCollection(&AMixer, "Channels"), FMixer(AMixer)
{
}

TSNAudioMixerChannelItem& TSNAudioMixerChannels::Add()
{
    std::lock_guard LList(FMixer.FInputPins.GetListLock());
    auto LAccess = FMixer.LockComponent();
    return TTypedCollection::Add();
}

void TSNAudioMixerChannels::Delete(int AIndex)
{
    std::lock_guard LList(FMixer.FInputPins.GetListLock());
    auto LAccess = FMixer.LockComponent();
    TTypedCollection::Delete(AIndex);
}

void TSNAudioMixerChannels::Move(int ACurIndex, int ANewIndex)
{
    std::lock_guard LList(FMixer.FInputPins.GetListLock());
    auto LAccess = FMixer.LockComponent();
    TTypedCollection::Move(ACurIndex, ANewIndex);
}

void TSNAudioMixerChannels::Added(TSNAudioMixerChannelItem& AItem)
{
    TLockAccess LAccess = FMixer.FInputLock->WriteLock();
    AItem.FInputPin = &static_cast<TSNPNQueuedAudioSinkPin&>(FMixer.FInputPins.Add());
    AItem.FInputPin->SetEnabled(TSNAudioMixerChannelItem::EnabledProperty.Default);
}

void TSNAudioMixerChannels::Removing(TSNAudioMixerChannelItem& AItem, int /*AIndex*/)
{
    TLockAccess LAccess = FMixer.FInputLock->WriteLock();
    // The list's remove hook takes the pin out of the queued-pin list.
    FMixer.FInputPins.Delete(FMixer.FInputPins.IndexOf(AItem.FInputPin));
    AItem.FInputPin = nullptr;
}

void TSNAudioMixerChannels::Moved(int ACurIndex, int ANewIndex)
{
    TLockAccess LAccess = FMixer.FInputLock->WriteLock();
    FMixer.FInputPins.Move(ACurIndex, ANewIndex);
    // Pin i belongs to channel i in the queued-pin list as well.
    auto& LPins = FMixer.FAllInputPins;
    TSNPNQueuedAudioSinkPin* LPin = LPins[static_cast<size_t>(ACurIndex)];
    LPins.erase(LPins.begin() + ACurIndex);
    LPins.insert(LPins.begin() + ANewIndex, LPin);
}

// --- TSNAudioMixer -------------------------------------------------------------

TSNAudioMixer::TSNAudioMixer()
    : FInputPins(this, "InputPins", TPNDataType::dtAudio, TPNPinDirection::pdSink,
                 [this](int AIndex) { return QueuedPinCreateFunction(AIndex); }),
      FChannels(*this)
{
    FInputPins.SetOnRemove([this](TPNPin& APin) { QueuedPinDestroyFunction(APin); });
}

TSNAudioMixer::~TSNAudioMixer()
{
    BeforeDestruction();
    FChannels.Clear();
}

const TClassDescription& TSNAudioMixer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNAudioMixer");
        LClass.Parent = &TSNMultiInput::ClassDescription();
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribePinList("InputPins", "TSNPNQueuedAudioSinkPin", &TSNAudioMixer::GetInputPins)
                .AsPrimary()
                .ResizedBy("Channels"),
            DescribeCollection("Channels", &TSNAudioMixer::GetChannels).WithEditorEntry("Edit C&hannels ..."),
            DescribeProperty(PumpPriorityProperty, &TSNAudioMixer::GetPumpPriority, &TSNAudioMixer::SetPumpPriority),
        };
        LClass.Factory = [] { return std::make_shared<TSNAudioMixer>(); };
        return LClass;
    }();
    return LDescription;
}

uint32_t TSNAudioMixer::GetPumpPriority() const
{
    return FLock->Getter(FPumpPriority);
}

void TSNAudioMixer::SetPumpPriority(uint32_t AValue)
{
    FLock->NotifySetter(FPumpPriority, AValue);
}

bool TSNAudioMixer::HasOwnClock() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FClockGen != nullptr;
}

void TSNAudioMixer::Stop()
{
    {
        auto LAccess = LockComponent();
        FDontSendOutput = true;
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
            LPin->Stop();
        IntStop();
    }
    ReleaseRetiredThreads();
}

void TSNAudioMixer::IntStop()
{
    auto LAccess = LockComponent();
    // A tick may be waiting for the lock held here: the clock is stopped
    // once the lock is given up.
    if (FClockGen)
        FRetiredClocks.push_back(std::move(FClockGen));
    TSNMultiInput::IntStop();
}

void TSNAudioMixer::ReleaseRetiredThreads()
{
    std::vector<std::unique_ptr<TDGClockGen>> LClocks;
    {
        TLockAccess LAccess = FInputLock->WriteLock();
        LClocks = std::move(FRetiredClocks);
        FRetiredClocks.clear();
    }
    for (auto& LClock : LClocks)
        LClock->Stop();
    TSNMultiInput::ReleaseRetiredThreads();
}

void TSNAudioMixer::MainTrySend()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    // While the mixer clocks itself, arriving data never triggers output.
    if (!FClockGen)
        TSNMultiInput::MainTrySend();
}

void TSNAudioMixer::CalculateRate()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    FCalculatedRate = FRunningRate;
    TSNMultiInput::CalculateRate();
    FDontSendOutput = false;
    if (FRunning)
        CreateTimer();
}

void TSNAudioMixer::CreateTimer()
{
    // Called with FInputLock held.
    if (!FIsPump || FClockGen || FRunningRate == 0)
        return;
    const double LPeriod = std::nearbyint(double(GetOutputBufferSize()) * 9999999.0 / double(FRunningRate));
    FClockGen = std::make_unique<TDGClockGen>(std::max<int64_t>(static_cast<int64_t>(LPeriod), 1),
                                              [this] { ClockTick(); });
    FClockGen->Start();
}

void TSNAudioMixer::ClockTick()
{
    auto LAccess = LockComponent();
    const TTrySendResult LResult = IntTrySend();
    // With no input to wait for (all paused or ignored), the clock keeps the
    // output going; the buffer is silent.
    if (FRunning && LResult.Sent == 0 && LResult.NothingCounted)
        CalculateSendOutput();
}

bool TSNAudioMixer::GetShouldStop()
{
    TLockAccess LInput = FInputLock->WriteLock();
    TLockAccess LChannels = FChannels.GetLock().ReadLock();
    bool LStop = false;
    for (int I = 0; I < FChannels.GetCount(); ++I) {
        const TSNAudioMixerChannelItem& LItem = FChannels[I];
        if (LItem.FWaitForActiveBefore == mcwWaitForData && LItem.FInputPin && !LItem.FInputPin->FStreaming)
            LStop = true;
    }
    FDontSendOutput = LStop;
    return LStop;
}

void TSNAudioMixer::InputStopped(TSNPNQueuedAudioSinkPin& APin)
{
    // Called with FInputLock held. A stop among inputs that go on keeps the
    // queue only until the next buffer is mixed from the others (inputs that
    // end together end in any order); the stop of the last one ends the
    // stream: what every queue still holds goes out.
    APin.Stop(true);
    for (const TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
        if (LPin->IsConnected() && LPin->FRunning && LPin->FStreaming)
            return;
    SendRemainder();
    for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
        LPin->Flush();
}

void TSNAudioMixer::SendRemainder()
{
    auto LAccess = LockComponent();
    if (!FRunning || FDontSendOutput || FRunningChannels == 0 || !GetCanStart())
        return;
    const uint32_t LSize = GetOutputBufferSize();
    TLockAccess LChannels = FChannels.GetLock().ReadLock();
    for (;;) {
        ISNAudioBufferPtr LOutput =
            TSNAudioBuffer::CreateSizeEx(FRunningRate, FRunningBits, FRunningChannels, LSize, FRunningChannelMask);
        ISNAudioBufferPtr LWork =
            TSNAudioBuffer::CreateSizeEx(FRunningRate, FRunningBits, FRunningChannels, LSize, FRunningChannelMask);
        LOutput->Zero();
        uint32_t LFrames = 0;
        for (size_t I = 0; I < FAllInputPins.size(); ++I) {
            TSNPNQueuedAudioSinkPin* LPin = FAllInputPins[I];
            if (LPin->FDelayed || !LPin->IsConnected() || !LPin->FRunning)
                continue;
            LFrames = std::max(LFrames, LPin->LoadRemainder(*LWork));
            const TSNAudioMixerChannelItem& LItem = FChannels[static_cast<int>(I)];
            if (!LPin->GetEnabled())
                continue;
            if (LItem.FCoefficient != 1.0)
                LWork->MultiplyByReal(LItem.FCoefficient);
            LOutput->Add(*LWork);
        }
        if (LFrames == 0)
            return;
        if (LFrames < LSize)
            LOutput->Resize(LFrames);
        FOutputPin.Notify(MakePooled<TPNSuppliedBufferOperation>(std::move(LOutput)));
        if (LFrames < LSize)
            return;
    }
}

bool TSNAudioMixer::GetCanStart()
{
    if (!TSNMultiInput::GetCanStart())
        return false;
    TLockAccess LInput = FInputLock->ReadLock();
    TLockAccess LOutput = FOutputLock->ReadLock();
    TLockAccess LChannels = FChannels.GetLock().ReadLock();
    for (int I = 0; I < FChannels.GetCount(); ++I) {
        const TSNAudioMixerChannelItem& LItem = FChannels[I];
        const TSNPNQueuedAudioSinkPin* LPin = LItem.FInputPin;
        if (LPin && LPin->GetEnabled() && LItem.FWaitForActiveBefore == mcwWaitForData && !LPin->FDataAdded)
            return false;
    }
    return true;
}

bool TSNAudioMixer::CalculateSendOutput()
{
    auto LAccess = LockComponent();
    const uint32_t LSize = GetOutputBufferSize();
    ISNAudioBufferPtr LOutput =
        TSNAudioBuffer::CreateSizeEx(FRunningRate, FRunningBits, FRunningChannels, LSize, FRunningChannelMask);
    // For inputs that need a stretch only.
    ISNAudioBufferPtr LWork;
    if (!GetCanStart())
        return false;

    bool LFirst = true;
    bool LSilent = true;
    {
        TLockAccess LChannels = FChannels.GetLock().ReadLock();
        if (FDontSendOutput) {
            LOutput->Zero();
        } else {
            for (size_t I = 0; I < FAllInputPins.size(); ++I) {
                TSNPNQueuedAudioSinkPin* LPin = FAllInputPins[I];
                if (LPin->FDelayed || !LPin->IsConnected() || !LPin->FRunning)
                    continue;
                // An input that stopped while others go on: its tail is dropped.
                if (!LPin->FStreaming)
                    LPin->Flush();
                const bool LEnabled = LPin->GetEnabled();
                const double LCoefficient = FChannels[static_cast<int>(I)].FCoefficient;
                // A disabled channel's data is still taken, so its queue
                // never fills up.
                if (LFirst && LEnabled) {
                    // Added to the output's silence: the scaled input itself.
                    if (LPin->StretchAddBuffer(*LOutput, LCoefficient, LWork))
                        LSilent = false;
                    LFirst = false;
                } else if (LFirst) {
                    if (LPin->StretchLoadBuffer(*LOutput))
                        LSilent = false;
                    LOutput->Zero();
                    LFirst = false;
                } else if (LEnabled) {
                    LPin->StretchAddBuffer(*LOutput, LCoefficient, LWork);
                } else {
                    if (!LWork)
                        LWork = TSNAudioBuffer::CreateSizeEx(FRunningRate, FRunningBits, FRunningChannels, LSize,
                                                             FRunningChannelMask);
                    LPin->StretchLoadBuffer(*LWork);
                }
            }
        }
        if (LFirst) {
            // Nothing contributed: silence when every input is ignored (or
            // there is none), else no buffer at all.
            LFirst = false;
            for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
                if (!LPin->FIgnored)
                    LFirst = true;
            if (!LFirst) {
                LOutput->Zero();
                LSilent = true;
            }
        }
    }
    if (LFirst)
        return false;
    LAccess.Output.Release();
    LAccess.Input.Release();
    FOutputPin.Notify(MakePooled<TPNSuppliedBufferOperation>(std::move(LOutput)));
    return !LSilent;
}

void TSNAudioMixer::MasterPumpRequest(const IPNNotifyOperationPtr& AOperation)
{
    auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation);
    auto LOwn = std::make_shared<TPNPumpRequestOperation>(this, TPNPumpType(2), GetPumpPriority(), 1.0);
    FOutputPin.Notify(LOwn);
    TLockAccess LAccess = FInputLock->WriteLock();
    if (LOwn->PumpObject == this) {
        FIsPump = true;
        return;
    }
    FIsPump = false;
    FMasterPump = LOwn->PumpObject;
    // The stronger claim travels on upstream.
    if (LOwn->PumpType > LRequest->PumpType ||
        (LOwn->PumpType == LRequest->PumpType && LOwn->Priority > LRequest->Priority))
        LRequest->Claim(LOwn->PumpObject, LOwn->PumpType, LOwn->Priority);
}

namespace SNAudioMixer {
void RegisterPkg()
{
    RegisterComponents({&TSNAudioMixer::ClassDescription()});
}
} // namespace SNAudioMixer

} // namespace Sonorix
