// SPDX-License-Identifier: MIT
#include "CVThreading.h"

#include "CVExceptionText.h"
#include "DGClock.h"
#include "SNTypes.h"

#include <exception>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace Sonorix {

namespace {

bool IsInfinite(std::chrono::milliseconds ATimeout)
{
    // Beyond a year we would only risk overflowing the clock arithmetic.
    return ATimeout < std::chrono::milliseconds::zero() || ATimeout >= std::chrono::hours(24 * 365);
}

// Niceness per priority. An unprivileged user may only raise niceness, so
// the higher priorities (and any lowering back) simply fail and are ignored.
int NiceOf(TDGThreadPriority APriority)
{
    switch (APriority) {
    case tpIdle:
        return 19;
    case tpLowest:
        return 10;
    case tpLower:
        return 5;
    case tpNormal:
        return 0;
    case tpHigher:
        return -5;
    case tpHighest:
        return -10;
    case tpTimeCritical:
        return -20;
    }
    return 0;
}

void ApplyPriority(pid_t ATid, TDGThreadPriority APriority)
{
    // On Linux PRIO_PROCESS with a thread id affects that thread only.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(ATid), NiceOf(APriority));
}

// Binds the main thread while the library is being loaded.
[[maybe_unused]] const bool GMainThreadBound = (MainThread(), true);

} // namespace

// ---------------------------------------------------------------------------
// TEvent

TEvent::TEvent(bool AManualReset, bool AInitialState) : FManualReset(AManualReset), FSignaled(AInitialState)
{
}

void TEvent::SetEvent()
{
    {
        std::lock_guard LGuard(FLock);
        FSignaled = true;
    }
    if (FManualReset)
        FCond.notify_all();
    else
        FCond.notify_one();
}

void TEvent::ResetEvent()
{
    std::lock_guard LGuard(FLock);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(std::chrono::milliseconds ATimeout)
{
    std::unique_lock LLock(FLock);
    auto LSignaled = [this] { return FSignaled; };
    if (IsInfinite(ATimeout))
        FCond.wait(LLock, LSignaled);
    else if (!FCond.wait_for(LLock, ATimeout, LSignaled))
        return wrTimeout;
    if (!FManualReset)
        FSignaled = false;
    return wrSignaled;
}

// ---------------------------------------------------------------------------
// TProcessingThread

struct TProcessingThreadState {
    explicit TProcessingThreadState(std::function<void()> AWork, TDGThreadPriority APriority)
        : Work(std::move(AWork)),
          Priority(APriority)
    {
    }

    const std::function<void()> Work;
    std::mutex Lock;
    std::condition_variable Cond;
    // Under Lock:
    TDGThreadPriority Priority;
    bool Pending = false; // One BeginWork is outstanding for it.
    bool Terminated = false;
    bool Finished = false; // The loop has ended; the thread no longer runs work.
    std::thread::id ThreadId;
    pid_t Tid = 0;
    uint64_t RunCount = 0;
    uint64_t ErrorCount = 0;
    std::string LastError;
};

namespace {

void ProcessingLoop(const std::shared_ptr<TProcessingThreadState>& AState)
{
    TProcessingThreadState& S = *AState;
    pthread_setname_np(pthread_self(), "DGProcessing");
    std::unique_lock LLock(S.Lock);
    S.Tid = gettid();
    if (S.Priority != tpNormal)
        ApplyPriority(S.Tid, S.Priority);
    for (;;) {
        S.Cond.wait(LLock, [&S] { return S.Pending || S.Terminated; });
        if (S.Terminated)
            break;
        S.Pending = false;
        LLock.unlock();
        std::string LError;
        bool LFailed = false;
        try {
            if (S.Work)
                S.Work();
        } catch (...) {
            LFailed = true;
            LError = DescribeCurrentException();
            ReportBackgroundError(LError);
        }
        LLock.lock();
        ++S.RunCount;
        if (LFailed) {
            ++S.ErrorCount;
            S.LastError = std::move(LError);
        }
        // Ends the BeginWork of the wake-up this run consumed; one that came
        // in during the run has its own, so the count cannot touch zero
        // between the two runs.
        TDGTimeline::EndWork();
    }
    S.Finished = true;
    S.Cond.notify_all();
    LLock.unlock();
    MainThread().WakeWaiters();
}

} // namespace

TProcessingThread::TProcessingThread(std::function<void()> AWork, TDGThreadPriority APriority)
    : FState(std::make_shared<TProcessingThreadState>(std::move(AWork), APriority))
{
    std::lock_guard LGuard(FState->Lock);
    FThread = std::thread(ProcessingLoop, FState);
    FState->ThreadId = FThread.get_id();
}

TProcessingThread::~TProcessingThread() { Release(); }

void TProcessingThread::WakeUp()
{
    std::lock_guard LGuard(FState->Lock);
    if (FState->Terminated || FState->Pending)
        return;
    FState->Pending = true;
    TDGTimeline::BeginWork();
    FState->Cond.notify_all();
}

void TProcessingThread::SetPriority(TDGThreadPriority APriority)
{
    std::lock_guard LGuard(FState->Lock);
    FState->Priority = APriority;
    // Checked under the lock so the thread id cannot have been reused.
    if (FState->Tid != 0 && !FState->Finished)
        ApplyPriority(FState->Tid, APriority);
}

TDGThreadPriority TProcessingThread::GetPriority() const
{
    std::lock_guard LGuard(FState->Lock);
    return FState->Priority;
}

void TProcessingThread::Release()
{
    TProcessingThreadState& S = *FState;
    std::thread LThread;
    const bool LSelf = std::this_thread::get_id() == S.ThreadId;
    {
        std::lock_guard LGuard(S.Lock);
        if (!S.Terminated) {
            S.Terminated = true;
            if (S.Pending) {
                S.Pending = false;
                TDGTimeline::EndWork();
            }
            S.Cond.notify_all();
        }
        LThread = std::move(FThread);
    }
    if (LSelf) {
        // The loop sees Terminated after this run; the shared state keeps
        // everything it touches alive however long we are gone by then.
        if (LThread.joinable())
            LThread.detach();
        return;
    }
    {
        std::unique_lock LLock(S.Lock);
        MainThread().WaitUntil(LLock, S.Cond, [&S] { return S.Finished; });
    }
    if (LThread.joinable())
        LThread.join();
}

bool TProcessingThread::IsReleased() const
{
    std::lock_guard LGuard(FState->Lock);
    return FState->Terminated;
}

bool TProcessingThread::IsCurrentThread() const
{
    // ThreadId is written once, before any other thread can see this object.
    return std::this_thread::get_id() == FState->ThreadId;
}

uint64_t TProcessingThread::GetRunCount() const
{
    std::lock_guard LGuard(FState->Lock);
    return FState->RunCount;
}

std::string TProcessingThread::GetLastError() const
{
    std::lock_guard LGuard(FState->Lock);
    return FState->LastError;
}

uint64_t TProcessingThread::GetErrorCount() const
{
    std::lock_guard LGuard(FState->Lock);
    return FState->ErrorCount;
}

// ---------------------------------------------------------------------------
// TMainThreadExecute

TMainThreadExecute& MainThread()
{
    // Never destroyed: threads may still post while the process exits.
    static TMainThreadExecute* const LInstance = new TMainThreadExecute();
    return *LInstance;
}

TMainThreadExecute::TMainThreadExecute() : FMainThread(std::this_thread::get_id()) {}

void TMainThreadExecute::Execute(std::function<void()> AWork)
{
    {
        std::lock_guard LGuard(FLock);
        FQueue.push_back(std::move(AWork));
    }
    FCond.notify_all();
}

void TMainThreadExecute::ExecuteAndWait(std::function<void()> AWork)
{
    if (IsMainThread()) {
        AWork();
        return;
    }
    struct TAwaited {
        std::mutex Lock;
        std::condition_variable Cond;
        bool Done = false;
        std::exception_ptr Error;
    };
    auto LAwaited = std::make_shared<TAwaited>();
    Execute([LAwaited, LWork = std::move(AWork)] {
        std::exception_ptr LError;
        try {
            LWork();
        } catch (...) {
            LError = std::current_exception();
        }
        // Handed over under the lock and never touched here again, so the
        // exception object ends its life on the waiting thread.
        {
            std::lock_guard LGuard(LAwaited->Lock);
            LAwaited->Error = std::move(LError);
            LAwaited->Done = true;
        }
        LAwaited->Cond.notify_all();
    });
    std::exception_ptr LError;
    {
        std::unique_lock LLock(LAwaited->Lock);
        LAwaited->Cond.wait(LLock, [&] { return LAwaited->Done; });
        LError = std::move(LAwaited->Error);
    }
    if (LError)
        std::rethrow_exception(LError);
}

void TMainThreadExecute::CheckMainThread(const char* AWhat) const
{
    if (!IsMainThread())
        throw EAssertionFailed(std::string("TMainThreadExecute::") + AWhat +
                               " called on a thread that is not the main thread");
}

std::size_t TMainThreadExecute::ProcessMessages()
{
    CheckMainThread("ProcessMessages");
    std::size_t LCount = 0;
    for (;;) {
        std::function<void()> LWork;
        {
            std::lock_guard LGuard(FLock);
            if (FQueue.empty())
                break;
            LWork = std::move(FQueue.front());
            FQueue.pop_front();
        }
        try {
            if (LWork)
                LWork();
        } catch (...) {
            std::string LError = DescribeCurrentException();
            ReportBackgroundError(LError);
            std::lock_guard LGuard(FLock);
            FLastError = std::move(LError);
            ++FErrorCount;
        }
        ++LCount;
    }
    return LCount;
}

std::size_t TMainThreadExecute::WaitAndProcessImpl(std::chrono::milliseconds ATimeout, bool AInternal)
{
    CheckMainThread("WaitAndProcess");
    {
        std::unique_lock LLock(FLock);
        bool& LFlag = AInternal ? FWaiterWake : FWakeRequested;
        auto LReady = [this, &LFlag] { return !FQueue.empty() || LFlag; };
        if (IsInfinite(ATimeout))
            FCond.wait(LLock, LReady);
        else
            FCond.wait_for(LLock, ATimeout, LReady);
        LFlag = false;
    }
    return ProcessMessages();
}

std::size_t TMainThreadExecute::WaitAndProcess(std::chrono::milliseconds ATimeout)
{
    return WaitAndProcessImpl(ATimeout, false);
}

void TMainThreadExecute::Wake()
{
    {
        std::lock_guard LGuard(FLock);
        FWakeRequested = true;
    }
    FCond.notify_all();
}

bool TMainThreadExecute::IsMainThread() const { return FMainThread.load() == std::this_thread::get_id(); }

void TMainThreadExecute::SetMainThread() { FMainThread.store(std::this_thread::get_id()); }

std::size_t TMainThreadExecute::GetPendingCount() const
{
    std::lock_guard LGuard(FLock);
    return FQueue.size();
}

std::string TMainThreadExecute::GetLastError() const
{
    std::lock_guard LGuard(FLock);
    return FLastError;
}

uint64_t TMainThreadExecute::GetErrorCount() const
{
    std::lock_guard LGuard(FLock);
    return FErrorCount;
}

bool TMainThreadExecute::WaitUntil(std::unique_lock<std::mutex>& ALock, std::condition_variable& ACond,
                                   const std::function<bool()>& APred, std::chrono::milliseconds ATimeout)
{
    const bool LInfinite = IsInfinite(ATimeout);
    const auto LDeadline =
        std::chrono::steady_clock::now() + (LInfinite ? std::chrono::milliseconds(0) : ATimeout);
    if (!IsMainThread()) {
        if (LInfinite) {
            ACond.wait(ALock, APred);
            return true;
        }
        return ACond.wait_until(ALock, LDeadline, APred);
    }
    while (!APred()) {
        std::chrono::milliseconds LRemaining = INFINITE;
        if (!LInfinite) {
            const auto LNow = std::chrono::steady_clock::now();
            if (LNow >= LDeadline)
                return false;
            LRemaining = std::chrono::ceil<std::chrono::milliseconds>(LDeadline - LNow);
        }
        // Incremented with ALock held: whoever changes the predicate's state
        // after our check sees it and wakes us, so no wake-up is lost.
        FBlockedWaiters.fetch_add(1);
        ALock.unlock();
        struct TRelock {
            std::unique_lock<std::mutex>& Lock;
            std::atomic<int>& Count;
            ~TRelock()
            {
                Lock.lock();
                Count.fetch_sub(1);
            }
        } LRelock{ALock, FBlockedWaiters};
        WaitAndProcessImpl(LRemaining, true);
    }
    return true;
}

void TMainThreadExecute::WakeWaiters()
{
    if (FBlockedWaiters.load() == 0)
        return;
    {
        std::lock_guard LGuard(FLock);
        FWaiterWake = true;
    }
    FCond.notify_all();
}

namespace {
std::mutex GBackgroundErrorMutex;
TBackgroundErrorHandler GBackgroundErrorHandler;
} // namespace

void SetBackgroundErrorHandler(TBackgroundErrorHandler AHandler)
{
    std::lock_guard LGuard(GBackgroundErrorMutex);
    GBackgroundErrorHandler = std::move(AHandler);
}

void ReportBackgroundError(const std::string& AMessage)
{
    TBackgroundErrorHandler LHandler;
    {
        std::lock_guard LGuard(GBackgroundErrorMutex);
        LHandler = GBackgroundErrorHandler;
    }
    if (LHandler)
        LHandler(AMessage);
}

} // namespace Sonorix
