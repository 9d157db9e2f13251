// SPDX-License-Identifier: MIT
#include "SNBasicCommonPlayer.h"

#include "CVThreading.h"

namespace Sonorix {

TSNBasicCommonPlayer::TSNBasicCommonPlayer()
    : FOutputPin(this, "OutputPin"), FClock(std::make_unique<TDGClockGen>(FPumpInterval, [this] { Tick(); }))
{
    FOutputPin.SetDispatch([](TPNPin&, const IPNNotifyOperationPtr&) { return false; });
}

TSNBasicCommonPlayer::~TSNBasicCommonPlayer()
{
    // Descendants close their file in their own destructor; the clock must
    // be stopped before that, so they call StopSource there too.
    FClock->Stop();
    FPositionNotify.Shutdown();
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNBasicCommonPlayer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNBasicCommonPlayer;
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicCommonPlayer";
        LClass.Unit = "SNBasicCommonPlayer";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &C::GetOutputPin).AsPrimary(),
            DescribeProperty(FileNameProperty, &C::GetFileName, &C::SetFileName),
            DescribeProperty(LoopProperty, &C::GetLoop, &C::SetLoop),
            DescribeProperty(PausedProperty, &C::GetPaused, &C::SetPaused),
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeProperty(BufferSizeProperty, &C::GetBufferSize, &C::SetBufferSize),
            DescribeReadOnly("SamplesCount", "int64", &C::GetSamplesCount),
            DescribeReadOnly("CurrentSample", "int64", &C::GetCurrentSample),
            DescribeReadOnly("CurrentTime", "int64", &C::Get_CurrentTime),
            DescribeReadOnly("DurationTime", "int64", &C::GetDurationTime),
        };
        LClass.Events = {
            {"OnPosition", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                 auto& LPlayer = static_cast<C&>(AObject);
                 if (!AHandler) {
                     LPlayer.SetOnPosition(nullptr);
                     return;
                 }
                 LPlayer.SetOnPosition([AHandler](TPersistent& ASender, int64_t ASample, int64_t ACount) {
                     AHandler(ASender, "OnPosition", {{"sample", ASample}, {"samples", ACount}});
                 });
             }},
        };
        return LClass;
    }();
    return LDescription;
}

std::string TSNBasicCommonPlayer::GetFileName() const
{
    return FLock->Getter(FFileName);
}

void TSNBasicCommonPlayer::SetFileName(const std::string& AValue)
{
    FLock->NotifySetter(FFileName, AValue, [this] {
        if (!FRunning)
            Close();
    });
}

bool TSNBasicCommonPlayer::GetLoop() const
{
    return FLock->Getter(FLoop);
}

void TSNBasicCommonPlayer::SetLoop(bool AValue)
{
    FLock->NotifySetter(FLoop, AValue);
}

bool TSNBasicCommonPlayer::GetPaused() const
{
    return FLock->Getter(FPaused);
}

void TSNBasicCommonPlayer::SetPaused(bool AValue)
{
    FLock->NotifySetter(FPaused, AValue);
}

bool TSNBasicCommonPlayer::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNBasicCommonPlayer::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue);
}

int32_t TSNBasicCommonPlayer::GetBufferSize() const
{
    return FLock->Getter(FBufferSize);
}

void TSNBasicCommonPlayer::SetBufferSize(int32_t AValue)
{
    FLock->NotifySetterMinMax(FBufferSize, AValue, static_cast<int32_t>(*BufferSizeProperty.Min),
                              static_cast<int32_t>(*BufferSizeProperty.Max));
}

bool TSNBasicCommonPlayer::Open()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FOpen)
        FOpen = IntOpen();
    return FOpen;
}

void TSNBasicCommonPlayer::Close()
{
    StopSource();
    TLockAccess LAccess = FLock->WriteLock();
    if (FOpen) {
        IntClose();
        FOpen = false;
    }
}

void TSNBasicCommonPlayer::StartSource()
{
    if (FRunning)
        return;
    // Time stands still until the first buffer is out, so a runner's other
    // clocks see the stream started at audio time 0.
    TDGWorkScope LHold;
    {
        TLockAccess LAccess = FLock->WriteLock();
        if (!GetEnabled() || !Open())
            return;
        FEnded = false;
        FRunning = true;
        IntStart();
        Tick();
    }
    if (!FRunning)
        return;
    // One clock for the player's life: StopSource may run on any thread
    // while a start is under way, and never sees the clock replaced.
    FClock->SetPeriod(FPumpInterval);
    FClock->Start();
}

void TSNBasicCommonPlayer::Tick()
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FRunning || FPaused)
        return;
    IntPump();
    NotifyPosition();
}

void TSNBasicCommonPlayer::SetOnPosition(TSNPlayerPositionEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnPosition = AEvent ? std::make_shared<const TSNPlayerPositionEvent>(std::move(AEvent)) : nullptr;
    if (!FOnPosition)
        FPositionNotify.ClearMainThread();
}

void TSNBasicCommonPlayer::NotifyPosition()
{
    // Called with FLock held.
    if (!FOnPosition)
        return;
    const int64_t LSample = GetCurrentSample();
    const int64_t LCount = GetSamplesCount();
    // Only the latest position matters to a display.
    FPositionNotify.ClearMainThread();
    FPositionNotify.SyncNotify([this, LHandler = FOnPosition, LSample, LCount] { (*LHandler)(*this, LSample, LCount); });
}

void TSNBasicCommonPlayer::EndOfFile(bool ACanLoop)
{
    // Called with FLock held, from a tick.
    if (ACanLoop && GetLoop()) {
        Restart();
        return;
    }
    FEnded = true;
    FinishStream();
}

void TSNBasicCommonPlayer::Restart()
{
    SetCurrentSample(0);
}

void TSNBasicCommonPlayer::FinishStream()
{
    FClock->Stop();
    if (FRunning.exchange(false))
        FOutputPin.SendStop();
    MainThread().Wake();
}

void TSNBasicCommonPlayer::StopSource()
{
    // Not under FLock: a running tick holds it and Stop waits for the tick.
    FClock->Stop();
    TLockAccess LAccess = FLock->WriteLock();
    FinishStream();
}

int64_t TSNBasicCommonPlayer::GetSamplesCount()
{
    return 0;
}

int64_t TSNBasicCommonPlayer::GetCurrentSample()
{
    return 0;
}

void TSNBasicCommonPlayer::SetCurrentSample(int64_t /*AValue*/) {}

int64_t TSNBasicCommonPlayer::Get_CurrentTime()
{
    const uint32_t LRate = GetSampleRate();
    return LRate ? GetCurrentSample() * DGTimeUnitsPerSecond / LRate : 0;
}

void TSNBasicCommonPlayer::Set_CurrentTime(int64_t AValue)
{
    const uint32_t LRate = GetSampleRate();
    if (LRate)
        SetCurrentSample(AValue * LRate / DGTimeUnitsPerSecond);
}

int64_t TSNBasicCommonPlayer::GetDurationTime()
{
    const uint32_t LRate = GetSampleRate();
    return LRate ? GetSamplesCount() * DGTimeUnitsPerSecond / LRate : 0;
}

} // namespace Sonorix
