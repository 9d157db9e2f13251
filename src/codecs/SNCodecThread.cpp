// SPDX-License-Identifier: MIT
#include "SNCodecThread.h"

#include "DGClock.h"

namespace Sonorix {

TSNCodecThread::TSNCodecThread(TDGThreading& AThreading, TProcess AProcess)
    : FThreading(AThreading),
      FProcess(std::move(AProcess)),
      FOn(AThreading.GetEnabled())
{
}

TSNCodecThread::~TSNCodecThread() { Release(); }

bool TSNCodecThread::Post(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    // Read without a lock on every buffer; read again where a switch-off
    // stops the thread, so that no new thread starts while the old queue is
    // handed to the setter's thread.
    if (!FOn.load(std::memory_order_acquire))
        return false;
    std::lock_guard LThreadGuard(FThreadMutex);
    if (!FOn.load(std::memory_order_acquire))
        return false;
    {
        std::lock_guard LGuard(FMutex);
        if (FReleased)
            return false;
        const bool LControl = !OperationAs<TPNSuppliedBufferOperation>(AOperation);
        FQueue.push_back({&APin, AOperation, LControl});
        FControls += LControl;
        UpdateHold();
    }
    FCond.notify_all();
    if (!FThread) {
        FThread = std::make_unique<TProcessingThread>(
            [this, LGeneration = FGeneration] { Loop(LGeneration); }, FThreading.GetPriority());
        FThread->WakeUp();
    }
    return true;
}

size_t TSNCodecThread::GetQueued() const
{
    std::lock_guard LGuard(FMutex);
    return FQueue.size();
}

void TSNCodecThread::UpdateHold()
{
    // Once full, the queue holds time until it has drained to a quarter, so
    // that the clocks and the thread take turns in runs, not per buffer.
    const size_t LCount = FQueue.size();
    const bool LHold = FControls > 0 || LCount >= CLagLimit || (FHolding && LCount > CLagLimit / 4);
    if (LHold == FHolding)
        return;
    FHolding = LHold;
    if (LHold)
        TDGTimeline::BeginWork();
    else
        TDGTimeline::EndWork();
}

bool TSNCodecThread::Front(TItem& AItem, const uint64_t* AGeneration)
{
    std::unique_lock LLock(FMutex);
    if (AGeneration)
        FCond.wait(LLock,
                   [&] { return *AGeneration != FGeneration || FReleased || (!FQueue.empty() && !FBusy); });
    if (FQueue.empty() || FBusy || FReleased || (AGeneration && *AGeneration != FGeneration))
        return false;
    FBusy = true;
    AItem = FQueue.front();
    return true;
}

void TSNCodecThread::Done(const TItem& AItem)
{
    {
        std::lock_guard LGuard(FMutex);
        FBusy = false;
        // Unless Release dropped the queue meanwhile.
        if (!FQueue.empty() && FQueue.front().Operation == AItem.Operation) {
            FControls -= AItem.Control;
            FQueue.pop_front();
            UpdateHold();
        }
    }
    FCond.notify_all();
}

void TSNCodecThread::Process(const TItem& AItem)
{
    // The item stays counted while it is processed, so that virtual time
    // cannot move on between a stop's arrival and its processing. A failure
    // is reported as the delivering thread's caller would have seen it; the
    // operations after it are processed all the same.
    try {
        FProcess(*AItem.Pin, AItem.Operation);
    } catch (const std::exception& E) {
        ReportBackgroundError(E.what());
    } catch (...) {
        ReportBackgroundError("unknown exception");
    }
    Done(AItem);
}

void TSNCodecThread::Loop(uint64_t AGeneration)
{
    // One wake-up starts this run, which lasts as long as the thread: the
    // queue itself tells virtual time when to wait (UpdateHold), so the
    // wake-up's announcement is given back now and taken again at the end,
    // where the processing thread gives it back for good.
    TDGTimeline::EndWork();
    TItem LItem;
    while (Front(LItem, &AGeneration))
        Process(LItem);
    TDGTimeline::BeginWork();
}

void TSNCodecThread::Drain()
{
    TItem LItem;
    while (Front(LItem, nullptr))
        Process(LItem);
}

std::unique_ptr<TProcessingThread> TSNCodecThread::StopThread()
{
    {
        std::lock_guard LGuard(FMutex);
        ++FGeneration;
    }
    FCond.notify_all();
    return std::move(FThread);
}

void TSNCodecThread::ThreadingChanged()
{
    FOn.store(FThreading.GetEnabled(), std::memory_order_release);
    std::unique_ptr<TProcessingThread> LOld;
    {
        std::lock_guard LThreadGuard(FThreadMutex);
        if (!FThread)
            return;
        if (FThreading.GetEnabled()) {
            FThread->SetPriority(FThreading.GetPriority());
            return;
        }
        LOld = StopThread();
    }
    // Switched off: the thread ends after the item in hand (waited for
    // without our locks: that item may call upstream, which sends to us);
    // what is still queued is processed here, before new operations come in
    // inline.
    LOld->Release();
    Drain();
}

void TSNCodecThread::Release()
{
    std::unique_ptr<TProcessingThread> LOld;
    {
        std::lock_guard LThreadGuard(FThreadMutex);
        {
            std::lock_guard LGuard(FMutex);
            FReleased = true;
        }
        LOld = StopThread();
    }
    if (LOld)
        LOld->Release();
    std::lock_guard LGuard(FMutex);
    FQueue.clear();
    FControls = 0;
    UpdateHold();
}

} // namespace Sonorix
