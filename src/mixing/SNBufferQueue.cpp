// SPDX-License-Identifier: MIT
#include "SNBufferQueue.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

#include <cmath>

namespace Sonorix {

TSNBufferQueue::TSNBufferQueue()
{
    if (!GetDesignMode())
        FProcessingThread = std::make_unique<TProcessingThread>([this] { NewThreadFrame(); });
}

TSNBufferQueue::~TSNBufferQueue()
{
    *FAlive = false;
    FClockGen.Stop();
    if (FProcessingThread)
        FProcessingThread->Release();
    GetInputPin().DisconnectAll();
    GetOutputPin().DisconnectAll();
}

const TClassDescription& TSNBufferQueue::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNBufferQueue");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(MinProperty, &TSNBufferQueue::GetMin, &TSNBufferQueue::SetMin),
            DescribeProperty(MaxProperty, &TSNBufferQueue::GetMax, &TSNBufferQueue::SetMax),
            DescribeObject("MasterPumping", &TSNBufferQueue::GetMasterPumping),
        };
        LClass.Factory = [] { return std::make_shared<TSNBufferQueue>(); };
        return LClass;
    }();
    return LDescription;
}

uint32_t TSNBufferQueue::GetMin() const
{
    return FLock->Getter(FMin);
}

void TSNBufferQueue::SetMin(uint32_t AValue)
{
    FLock->NotifySetter(FMin, AValue);
}

uint32_t TSNBufferQueue::GetMax() const
{
    return FLock->Getter(FMax);
}

void TSNBufferQueue::SetMax(uint32_t AValue)
{
    FLock->NotifySetter(FMax, AValue);
}

// --- Input -------------------------------------------------------------------

bool TSNBufferQueue::Enqueue(const TPNSuppliedBufferOperation& ABuffer)
{
    ISNAudioBufferPtr LBuffer = ABuffer.AudioBuffer;
    if (!LBuffer && ABuffer.Block) {
        WAVEFORMATEXTENSIBLE LFormat;
        {
            TLockAccess LAccess = FInputLock->ReadLock();
            LFormat = FWaveFormat;
        }
        try {
            LBuffer = TSNAudioBuffer::CreateUniversal(LFormat, ABuffer.Block);
        } catch (const std::exception&) {
            return false; // no stream format that could hold it
        }
    }
    if (!LBuffer)
        return false;
    if (FSyncQueue.Count() >= GetMax()) {
        ++FDropped;
        return false;
    }
    FSyncQueue.Append(MakePooled<TPNSuppliedBufferOperation>(std::move(LBuffer)));
    return true;
}

void TSNBufferQueue::ScheduleStart()
{
    {
        TLockAccess LAccess = FInputLock->WriteLock();
        if (FStartSent || !FRunning)
            return;
        FStartSent = true;
    }
    // Virtual time stands still until the main thread has sent the start,
    // so a fast source does not overfill the queue meanwhile.
    TDGTimeline::BeginWork();
    MainThread().Execute([this, LAlive = FAlive, LStream = FStream.load()] {
        if (*LAlive)
            MainThreadStart(LStream);
        TDGTimeline::EndWork();
    });
}

bool TSNBufferQueue::EnqueueWhileEnabled(const IPNNotifyOperationPtr& AOperation)
{
    std::lock_guard LGate(FEnqueueMutex);
    if (!GetEnabled())
        return false;
    Enqueue(*OperationAs<TPNSuppliedBufferOperation>(AOperation));
    return true;
}

bool TSNBufferQueue::BufferOperation(const IPNNotifyOperationPtr& AOperation)
{
    if (!EnqueueWhileEnabled(AOperation)) {
        // Serialised with the queue's sends, which stop once it is disabled,
        // so a passing buffer never overtakes a queued one.
        std::lock_guard LSend(FSendMutex);
        return TSNCommonFilter::BufferOperation(AOperation);
    }
    ScheduleStart();
    if (FStarted && !FIsPump && FProcessingThread)
        FProcessingThread->WakeUp();
    return false;
}

bool TSNBufferQueue::IntSingleOperation(const IPNNotifyOperationPtr& AOperation)
{
    // On the filter's own thread the start also waits for more than Min
    // queued buffers, and the source is pumped meanwhile.
    if (CanInline() || !OperationAs<TPNSuppliedBufferOperation>(AOperation) || !EnqueueWhileEnabled(AOperation))
        return TSNCommonFilter::IntSingleOperation(AOperation);
    bool LStartSent;
    {
        TLockAccess LAccess = FInputLock->ReadLock();
        LStartSent = FStartSent;
    }
    if (!LStartSent) {
        if (FSyncQueue.Count() > GetMin())
            ScheduleStart();
        else
            Clock();
    }
    if (!FIsPump && FStarted && FProcessingThread)
        FProcessingThread->WakeUp();
    return false;
}

void TSNBufferQueue::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    // Called with FInputLock held.
    ++FStream;
    FSyncQueue.Clear();
    if (!GetEnabled()) {
        TSNCommonFilter::AudioStreamStart(AStartOperation);
        FStarted = true;
        return;
    }
    // Held back until data is there.
    FWaveFormat = AStartOperation.WaveFormat;
    FStartSent = false;
    FStarted = false;
}

void TSNBufferQueue::MainThreadStart(uint64_t AStream)
{
    {
        std::lock_guard LSend(FSendMutex);
        TLockAccess LAccess = FInputLock->WriteLock();
        if (AStream != FStream || !FRunning || FStarted)
            return;
        GetOutputPin().SendStart(FWaveFormat);
        FStarted = true;
    }
    // As the pump, only the own clock sends: the output keeps its pace from
    // the first buffer on, whenever the main thread got round to the start.
    if (FProcessingThread && !FIsPump)
        FProcessingThread->WakeUp();
}

void TSNBufferQueue::StreamStop()
{
    FClockGen.Stop();
    {
        // What is queued still goes out, after the start if that is pending,
        // and before the stop.
        std::lock_guard LSend(FSendMutex);
        TLockAccess LAccess = FInputLock->WriteLock();
        ++FStream;
        if (FStartSent && !FStarted && FSyncQueue.Count() > 0) {
            GetOutputPin().SendStart(FWaveFormat);
            FStarted = true;
        }
        if (FStarted)
            while (SendOne()) {
            }
        FSyncQueue.Clear();
        FStarted = false;
        FIsPump = false;
        FMasterPump = nullptr;
        if (!FStartSent && GetEnabled()) {
            // The start never went out: neither does the stop.
            FRunning = false;
            return;
        }
    }
    TSNCommonFilter::StreamStop();
}

void TSNBufferQueue::EnabledChanged()
{
    if (GetEnabled())
        return;
    std::lock_guard LSend(FSendMutex);
    std::lock_guard LGate(FEnqueueMutex);
    TLockAccess LAccess = FInputLock->WriteLock();
    // A start held back goes out now that buffers pass straight through.
    if (FRunning && !FStarted) {
        FStartSent = true;
        FStarted = true;
        GetOutputPin().SendStart(FWaveFormat);
    }
    FSyncQueue.Clear();
}

// --- Sending -------------------------------------------------------------------

bool TSNBufferQueue::SendOne()
{
    std::lock_guard LSend(FSendMutex);
    if (!FStarted || !GetEnabled())
        return false;
    IPNNotifyOperationPtr LOperation = FSyncQueue.ExtractFirst();
    if (!LOperation)
        return false;
    OutputPinsNotify(LOperation);
    return true;
}

void TSNBufferQueue::NewThreadFrame()
{
    if (!FStarted)
        return;
    const int64_t LMin = GetMin();
    for (int I = 0; I < CFrameBuffers; ++I) {
        if (!SendOne())
            break;
        if (FIsPump && static_cast<int64_t>(FSyncQueue.Count()) < LMin - 2)
            break;
    }
}

void TSNBufferQueue::Pump()
{
    if (FMasterPump.load())
        return;
    SendOne();
    Clock();
}

void TSNBufferQueue::Clock()
{
    const uint32_t LMin = GetMin();
    for (int I = 0; I < CFrameBuffers && FSyncQueue.Count() < uint64_t{LMin} + 1; ++I)
        GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>(this));
}

// --- Output side and pump negotiation -------------------------------------------

bool TSNBufferQueue::SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNMasterPumpOperation>(AOperation)) {
        if (!GetEnabled())
            return GetInputPin().Notify(AOperation);
        SendOne();
        Clock();
        return true;
    }
    if (OperationAs<TPNQueryStreamOperation>(AOperation) && !CanStart()) {
        // A downstream multi-input component need not wait for this start.
        APin.Notify(std::make_shared<TPNIgnoreStreamOperation>());
        return true;
    }
    return TSNCommonFilter::SourceDispatch(APin, AOperation);
}

bool TSNBufferQueue::CanStart()
{
    return !GetEnabled();
}

bool TSNBufferQueue::PumpRequest(const IPNNotifyOperationPtr& AOperation)
{
    auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation);
    if (!FMasterPumping.GetEnabled() || !GetEnabled())
        return TSNCommonFilter::PumpRequest(AOperation);
    const uint32_t LPriority = FMasterPumping.GetPriority();
    if (LRequest->PumpType == ptHardware || (LRequest->PumpType == ptMaster && LRequest->Priority >= LPriority))
        return TSNCommonFilter::PumpRequest(AOperation);
    LRequest->Claim(this, ptMaster, LPriority);
    const bool LResult = TSNCommonFilter::PumpRequest(AOperation);
    FMasterPump = LRequest->PumpObject != this ? LRequest->PumpObject : nullptr;
    // Upstream sees this queue as the pump either way: it answers the
    // source's ticks from its queue.
    LRequest->Claim(this, ptMaster, LPriority);
    return LResult;
}

bool TSNBufferQueue::StartPump(const IPNNotifyOperationPtr& AOperation)
{
    const bool LResult = TSNCommonFilter::StartPump(AOperation);
    FIsPump = OperationAs<TPNStartPumpOperation>(AOperation)->PumpObject == this && !FMasterPump.load();
    if (!FIsPump || !GetEnabled())
        return LResult;
    // The clock starts with the pump role, not with the output's start: the
    // source sends nothing until it is pumped, and the first buffer is what
    // lets the start go out.
    double LRate;
    {
        TLockAccess LAccess = FInputLock->ReadLock();
        LRate = std::max<double>(FWaveFormat.Format.nSamplesPerSec, 1.0);
    }
    const auto LPeriod = std::max<int64_t>(std::llround(9999999.0 / (LRate / 1024.0)), 1);
    FClockGen.Start(LPeriod, [this] { Pump(); });
    return LResult;
}

namespace SNBufferQueue {
void RegisterPkg()
{
    RegisterComponents({&TSNBufferQueue::ClassDescription()});
}
} // namespace SNBufferQueue

} // namespace Sonorix
