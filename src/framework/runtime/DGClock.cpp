// SPDX-License-Identifier: MIT
#include "DGClock.h"

#include "CVExceptionText.h"
#include "CVThreading.h"
#include "SNTypes.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <vector>

namespace Sonorix {

using TDGDuration = std::chrono::duration<int64_t, std::ratio<1, DGTimeUnitsPerSecond>>;

struct TDGClockState {
    TDGClockState(int64_t APeriod, std::function<void()> AOnTick)
        : OnTick(std::move(AOnTick)),
          Period(APeriod)
    {
    }

    const std::function<void()> OnTick;
    std::condition_variable Cond; // The real-time thread sleeps here.
    // Everything below is guarded by the timeline lock.
    int64_t Period;
    int64_t StartTime = 0;
    int64_t Base = 0; // Due time of tick BaseTicks; moves only when the period changes.
    uint64_t BaseTicks = 0;
    uint64_t Ticks = 0;
    int64_t LastDue = 0;
    bool Running = false;
    bool Virtual = false;
    uint64_t Generation = 0; // Bumped by Start and Stop; a thread of an older run must quit.
    uint64_t StartSeq = 0; // Breaks ties between virtual clocks.
    int CallbacksActive = 0;
    std::thread::id CallbackThread;
    uint64_t ErrorCount = 0;
    std::string LastError;

    // Called with the timeline lock held.
    int64_t NextDue() const { return Base + static_cast<int64_t>(Ticks + 1 - BaseTicks) * Period; }
};

namespace {

struct TTimelineState {
    std::mutex Lock;
    std::condition_variable Cond; // Scheduler, idle and stop waiters.
    std::atomic<TDGTimeMode> Mode{TDGTimeMode::tmRealTime};
    std::atomic<int64_t> VirtualNow{0}; // Written under Lock.
    // Under Lock:
    int64_t PendingWork = 0;
    bool Delivering = false;
    bool SchedulerRunning = false;
    // Each scheduler thread runs for one epoch; a newer one takes over when
    // a tick blocks (TDGTimeline::BeginBlocking), and the older one ends once
    // its tick has returned.
    uint64_t SchedulerEpoch = 0;
    int ResumingTicks = 0; // Blocked ticks waiting to go on; they come first.
    uint64_t NextStartSeq = 0;
    std::vector<std::shared_ptr<TDGClockState>> VirtualClocks;
    std::atomic<uint64_t> MissedDeadlines{0};
};

TTimelineState& Timeline()
{
    // Never destroyed: the detached scheduler and clock threads may outlive
    // static destruction.
    static TTimelineState* const LState = new TTimelineState();
    return *LState;
}

// Set on threads while they run a clock callback.
thread_local bool GInClockCallback = false;
// The clock whose callback this thread runs, the run it belongs to, and
// whether the tick came from the virtual scheduler.
thread_local TDGClockState* GCurrentClock = nullptr;
thread_local uint64_t GCurrentGeneration = 0;
thread_local bool GVirtualTick = false;
thread_local int GBlockingDepth = 0;
// Whether this thread's virtual tick is the one being delivered (G.Delivering).
thread_local bool GHoldsDelivery = false;

void VirtualSchedulerLoop(uint64_t AEpoch);

// Called with the timeline lock held.
void StartScheduler(TTimelineState& G)
{
    G.SchedulerRunning = true;
    // Detached: it ends by itself when the last virtual clock stops or a
    // newer scheduler has taken over.
    std::thread(VirtualSchedulerLoop, ++G.SchedulerEpoch).detach();
}

void NotifyTimeline(TTimelineState& G)
{
    G.Cond.notify_all();
    MainThread().WakeWaiters();
}

// Runs one tick of S. Called with the timeline lock held; releases it around
// the callback.
void DeliverTick(TTimelineState& G, TDGClockState& S, int64_t ADue, std::unique_lock<std::mutex>& ALock,
                 bool AVirtual)
{
    ++S.Ticks;
    S.LastDue = ADue;
    ++S.CallbacksActive;
    S.CallbackThread = std::this_thread::get_id();
    const uint64_t LGeneration = S.Generation;
    ALock.unlock();
    std::string LError;
    bool LFailed = false;
    GInClockCallback = true;
    GCurrentClock = &S;
    GCurrentGeneration = LGeneration;
    GVirtualTick = AVirtual;
    try {
        if (S.OnTick)
            S.OnTick();
    } catch (...) {
        LFailed = true;
        LError = DescribeCurrentException();
        ReportBackgroundError(LError);
    }
    GInClockCallback = false;
    GCurrentClock = nullptr;
    GVirtualTick = false;
    ALock.lock();
    if (LFailed) {
        ++S.ErrorCount;
        S.LastError = std::move(LError);
    }
    --S.CallbacksActive;
    S.CallbackThread = std::thread::id();
    if (AVirtual && GHoldsDelivery)
        G.Delivering = false;
    GHoldsDelivery = false;
    S.Cond.notify_all();
    NotifyTimeline(G);
}

void VirtualSchedulerLoop(uint64_t AEpoch)
{
    TTimelineState& G = Timeline();
    pthread_setname_np(pthread_self(), "DGVirtualClock");
    std::unique_lock LLock(G.Lock);
    for (;;) {
        if (G.SchedulerEpoch != AEpoch)
            return;
        if (G.VirtualClocks.empty()) {
            G.SchedulerRunning = false;
            NotifyTimeline(G);
            return;
        }
        // Time stands still while work is pending.
        // A blocked tick that resumes holds time still as well.
        if (G.PendingWork > 0 || G.Delivering || G.ResumingTicks > 0) {
            G.Cond.wait(LLock);
            continue;
        }
        // A clock whose callback still runs (a blocked tick, or a real-time
        // run that restarted itself in virtual time) gets no tick meanwhile.
        std::shared_ptr<TDGClockState> LClock;
        for (const std::shared_ptr<TDGClockState>& LCandidate : G.VirtualClocks) {
            if (LCandidate->CallbacksActive > 0)
                continue;
            if (!LClock || LCandidate->NextDue() < LClock->NextDue() ||
                (LCandidate->NextDue() == LClock->NextDue() && LCandidate->StartSeq < LClock->StartSeq))
                LClock = LCandidate;
        }
        if (!LClock) {
            G.Cond.wait(LLock);
            continue;
        }
        // Ticks a blocked clock missed come late; time never runs backwards.
        const int64_t LDue = LClock->NextDue();
        G.VirtualNow.store(std::max(LDue, G.VirtualNow.load()));
        G.Delivering = true;
        GHoldsDelivery = true;
        DeliverTick(G, *LClock, LDue, LLock, true);
    }
}

void RealClockLoop(std::shared_ptr<TDGClockState> AState, uint64_t AGeneration)
{
    TTimelineState& G = Timeline();
    TDGClockState& S = *AState;
    pthread_setname_np(pthread_self(), "DGClock");
    std::unique_lock LLock(G.Lock);
    while (S.Running && S.Generation == AGeneration) {
        // A callback of an earlier run that stopped and restarted the clock
        // from inside itself may still be running; ticks never overlap.
        if (S.CallbacksActive > 0) {
            S.Cond.wait(LLock);
            continue;
        }
        const int64_t LDue = S.NextDue();
        if (TDGTimeline::RealNow() < LDue) {
            const std::chrono::steady_clock::time_point LWhen(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(TDGDuration(LDue)));
            S.Cond.wait_until(LLock, LWhen);
            continue; // Re-evaluated: the period may have changed, or Stop come.
        }
        const int64_t LLate = TDGTimeline::RealNow() - LDue;
        if (LLate > S.Period && LLate >= CDGMissedDeadlineSlack)
            G.MissedDeadlines.fetch_add(1, std::memory_order_relaxed);
        DeliverTick(G, S, LDue, LLock, false);
    }
}

} // namespace

// The real-time thread of one run of a clock.
class TDGClockThread {
public:
    TDGClockThread(std::shared_ptr<TDGClockState> AState, uint64_t AGeneration)
        : FThread(RealClockLoop, std::move(AState), AGeneration)
    {
    }
    ~TDGClockThread()
    {
        if (FThread.joinable())
            FThread.join();
    }
    bool IsCurrentThread() const { return FThread.get_id() == std::this_thread::get_id(); }
    void Detach() { FThread.detach(); }

private:
    std::thread FThread;
};

// ---------------------------------------------------------------------------
// TDGTimeline

void TDGTimeline::SetMode(TDGTimeMode AMode) { Timeline().Mode.store(AMode); }

TDGTimeMode TDGTimeline::GetMode() { return Timeline().Mode.load(); }

int64_t TDGTimeline::RealNow()
{
    return std::chrono::duration_cast<TDGDuration>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t TDGTimeline::Now()
{
    TTimelineState& G = Timeline();
    return G.Mode.load() == TDGTimeMode::tmVirtual ? G.VirtualNow.load() : RealNow();
}

bool TDGTimeline::ResetVirtual()
{
    TTimelineState& G = Timeline();
    std::lock_guard LGuard(G.Lock);
    if (!G.VirtualClocks.empty() || G.Delivering)
        return false;
    G.VirtualNow.store(0);
    return true;
}

void TDGTimeline::BeginWork()
{
    TTimelineState& G = Timeline();
    std::lock_guard LGuard(G.Lock);
    ++G.PendingWork;
}

void TDGTimeline::EndWork()
{
    TTimelineState& G = Timeline();
    std::lock_guard LGuard(G.Lock);
    // An unmatched call is ignored rather than raised: it comes from
    // destructors and thread loops, where an exception would end the process.
    if (G.PendingWork <= 0)
        return;
    if (--G.PendingWork == 0)
        NotifyTimeline(G);
}

int64_t TDGTimeline::GetPendingWork()
{
    TTimelineState& G = Timeline();
    std::lock_guard LGuard(G.Lock);
    return G.PendingWork;
}

void TDGTimeline::WaitIdle() { WaitIdle(INFINITE); }

bool TDGTimeline::WaitIdle(std::chrono::milliseconds ATimeout)
{
    if (GInClockCallback)
        throw EAssertionFailed("TDGTimeline::WaitIdle called from a clock callback");
    TTimelineState& G = Timeline();
    std::unique_lock LLock(G.Lock);
    return MainThread().WaitUntil(
        LLock, G.Cond, [&G] { return G.PendingWork == 0 && !G.Delivering && G.VirtualClocks.empty(); },
        ATimeout);
}

void TDGTimeline::BeginBlocking()
{
    if (!GVirtualTick || GBlockingDepth++ > 0)
        return;
    TTimelineState& G = Timeline();
    std::lock_guard LGuard(G.Lock);
    // This thread stops being the scheduler until EndBlocking: a new one
    // delivers the other clocks' ticks meanwhile.
    G.Delivering = false;
    GHoldsDelivery = false;
    StartScheduler(G);
}

void TDGTimeline::EndBlocking()
{
    if (!GVirtualTick || GBlockingDepth == 0 || --GBlockingDepth > 0)
        return;
    TTimelineState& G = Timeline();
    std::unique_lock LLock(G.Lock);
    // Back to one tick at a time: wait for the scheduler's tick in progress,
    // unless this clock was stopped (that tick may be the one waiting for us).
    TDGClockState& S = *GCurrentClock;
    auto LStopped = [&S] { return !S.Running || S.Generation != GCurrentGeneration; };
    ++G.ResumingTicks;
    G.Cond.wait(LLock, [&] { return !G.Delivering || LStopped(); });
    --G.ResumingTicks;
    if (!G.Delivering) {
        G.Delivering = true;
        GHoldsDelivery = true;
    }
}

bool TDGTimeline::CurrentTickStopping()
{
    if (!GCurrentClock)
        return false;
    std::lock_guard LGuard(Timeline().Lock);
    return !GCurrentClock->Running || GCurrentClock->Generation != GCurrentGeneration;
}

uint64_t DGMissedDeadlines()
{
    return Timeline().MissedDeadlines.load(std::memory_order_relaxed);
}

TDGVirtualTimeScope::TDGVirtualTimeScope() : FPrevious(TDGTimeline::GetMode())
{
    TDGTimeline::SetMode(TDGTimeMode::tmVirtual);
    TDGTimeline::ResetVirtual();
}

TDGVirtualTimeScope::~TDGVirtualTimeScope() { TDGTimeline::SetMode(FPrevious); }

// ---------------------------------------------------------------------------
// TDGClockGen

TDGClockGen::TDGClockGen(int64_t APeriod, std::function<void()> AOnTick)
    : FState(std::make_shared<TDGClockState>(std::max<int64_t>(APeriod, 1), std::move(AOnTick)))
{
}

TDGClockGen::~TDGClockGen() { Stop(); }

void TDGClockGen::Start()
{
    TTimelineState& G = Timeline();
    std::lock_guard LGuard(G.Lock);
    TDGClockState& S = *FState;
    if (S.Running)
        return;
    S.Running = true;
    ++S.Generation;
    S.Virtual = G.Mode.load() == TDGTimeMode::tmVirtual;
    S.StartTime = S.Virtual ? G.VirtualNow.load() : TDGTimeline::RealNow();
    S.Base = S.StartTime;
    S.BaseTicks = 0;
    S.Ticks = 0;
    S.LastDue = S.StartTime;
    if (S.Virtual) {
        S.StartSeq = G.NextStartSeq++;
        G.VirtualClocks.push_back(FState);
        if (!G.SchedulerRunning)
            StartScheduler(G);
        G.Cond.notify_all();
    } else {
        // A thread of an earlier run that stopped from its own callback was
        // detached then; this one gets the new generation.
        FThread = std::make_unique<TDGClockThread>(FState, S.Generation);
    }
}

void TDGClockGen::Stop()
{
    TTimelineState& G = Timeline();
    TDGClockState& S = *FState;
    std::unique_ptr<TDGClockThread> LThread;
    std::unique_lock LLock(G.Lock);
    if (S.Running) {
        S.Running = false;
        ++S.Generation;
        if (S.Virtual)
            std::erase(G.VirtualClocks, FState);
        S.Cond.notify_all();
        NotifyTimeline(G);
    }
    LThread = std::move(FThread);
    const bool LFromCallback = S.CallbacksActive > 0 && S.CallbackThread == std::this_thread::get_id();
    if (LFromCallback || (LThread && LThread->IsCurrentThread())) {
        // Our own thread: it finds the generation changed once the callback
        // returns, and the shared state outlives it.
        if (LThread)
            LThread->Detach();
        return;
    }
    // Also when already stopped: a callback that stopped its own clock may
    // still be running, and the caller may be about to destroy what it uses.
    MainThread().WaitUntil(LLock, G.Cond, [&S] { return S.CallbacksActive == 0; });
    LLock.unlock();
    LThread.reset(); // Joins; its loop has seen the new generation.
}

bool TDGClockGen::IsRunning() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->Running;
}

bool TDGClockGen::IsVirtual() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->Virtual;
}

void TDGClockGen::SetPeriod(int64_t APeriod)
{
    TTimelineState& G = Timeline();
    APeriod = std::max<int64_t>(APeriod, 1);
    std::lock_guard LGuard(G.Lock);
    TDGClockState& S = *FState;
    if (S.Period == APeriod)
        return;
    if (S.Running) {
        // Rebased on the current time of the clock's time base, which in
        // virtual time is at least every due time already delivered, so
        // virtual time never runs backwards.
        S.Base = S.Virtual ? G.VirtualNow.load() : TDGTimeline::RealNow();
        S.BaseTicks = S.Ticks;
    }
    S.Period = APeriod;
    S.Cond.notify_all();
    G.Cond.notify_all();
}

int64_t TDGClockGen::GetPeriod() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->Period;
}

uint64_t TDGClockGen::GetTickCount() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->Ticks;
}

int64_t TDGClockGen::GetStartTime() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->StartTime;
}

int64_t TDGClockGen::GetLastDueTime() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->LastDue;
}

std::string TDGClockGen::GetLastError() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->LastError;
}

uint64_t TDGClockGen::GetErrorCount() const
{
    std::lock_guard LGuard(Timeline().Lock);
    return FState->ErrorCount;
}

} // namespace Sonorix
