// SPDX-License-Identifier: MIT
// Locks, events, processing threads and the main-thread executor that every
// component builds on.
#pragma once

#include "SNExport.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Sonorix {
SN_API_BEGIN

// A timeout that never expires. Negative timeouts, and any longer than a
// year, are treated the same way.
// Errors that escape work on a processing thread, a clock tick or posted
// main-thread work are caught where they happen (the process goes on) and
// handed to this handler, on the thread that caught them. An application or
// runner sets it to learn that a component failed while running.
using TBackgroundErrorHandler = std::function<void(const std::string& AMessage)>;
void SetBackgroundErrorHandler(TBackgroundErrorHandler AHandler);
// Called by the runtime's catch sites; any thread.
void ReportBackgroundError(const std::string& AMessage);

inline constexpr std::chrono::milliseconds INFINITE = std::chrono::milliseconds::max();

// A re-entrant lock: the thread that holds it may enter again and must leave
// as often as it entered. Also meets Lockable, so std::lock_guard,
// std::unique_lock and std::scoped_lock work with it.
//
//   TCriticalSection FLock;
//   std::lock_guard LGuard(FLock);
class TCriticalSection {
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }
    bool TryEnter() { return FMutex.try_lock(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    std::recursive_mutex FMutex;
};

enum TWaitResult { wrSignaled, wrTimeout };

// A manual- or auto-reset event. An auto-reset event releases one waiter per
// SetEvent and is reset by the wait that consumes it; a manual-reset event
// stays signalled, releasing every waiter, until ResetEvent.
class TEvent {
public:
    explicit TEvent(bool AManualReset = false, bool AInitialState = false);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    // Any thread. ATimeout 0 polls.
    TWaitResult WaitFor(std::chrono::milliseconds ATimeout = INFINITE);
    bool IsManualReset() const { return FManualReset; }

private:
    const bool FManualReset;
    std::mutex FLock;
    std::condition_variable FCond;
    bool FSignaled;
};

enum TDGThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

struct TProcessingThreadState;

// A thread that runs a work function once per wake-up. Wake-ups that arrive
// before the work starts coalesce into one run; a wake-up while the work runs
// causes exactly one more run. Pending work is announced to TDGTimeline
// (BeginWork/EndWork), so virtual time waits for it.
//
//   TProcessingThread FThread([this] { ProcessQueue(); }, tpHigher);
//   FThread.WakeUp();   // from any thread, e.g. after queueing a buffer
class TProcessingThread {
public:
    // AWork runs on the processing thread. Exceptions it throws are caught
    // and kept (GetLastError); the thread keeps serving wake-ups.
    explicit TProcessingThread(std::function<void()> AWork, TDGThreadPriority APriority = tpNormal);
    // Releases the thread.
    ~TProcessingThread();
    TProcessingThread(const TProcessingThread&) = delete;
    TProcessingThread& operator=(const TProcessingThread&) = delete;

    // Any thread, including the work itself. Ignored once released.
    void WakeUp();
    // Any thread. Best effort: the niceness the user may set is applied at
    // once, anything else is silently left as it is.
    void SetPriority(TDGThreadPriority APriority);
    TDGThreadPriority GetPriority() const;
    // Stops the thread; pending wake-ups are dropped, a running work call
    // completes. From another thread: returns after the thread has ended
    // (on the main thread, posted main-thread work keeps running meanwhile).
    // From the work itself: returns at once and the thread ends after the
    // current run. Idempotent.
    void Release();
    bool IsReleased() const;
    // True on the processing thread itself.
    bool IsCurrentThread() const;

    // Completed runs of the work function.
    uint64_t GetRunCount() const;
    // Message of the last exception the work threw ("" when none) and how
    // many it threw.
    std::string GetLastError() const;
    uint64_t GetErrorCount() const;

private:
    std::shared_ptr<TProcessingThreadState> FState;
    std::thread FThread; // Guarded by FState->Lock.
};

class TMainThreadExecute;

// The process-wide main-thread executor. The main thread is the thread that
// called this first; the library calls it while it is being loaded, so that
// is normally the process's main thread.
TMainThreadExecute& MainThread();

// Runs work on the main thread. The main thread is whoever drains the queue
// with ProcessMessages or WaitAndProcess: the application's event loop, the
// command-line tool or a test.
//
//   MainThread().Execute([this] { DoStopOnMainThread(); });   // any thread
//   MainThread().ProcessMessages();                            // main thread
class TMainThreadExecute {
public:
    TMainThreadExecute(const TMainThreadExecute&) = delete;
    TMainThreadExecute& operator=(const TMainThreadExecute&) = delete;

    // Any thread. Queues AWork and returns at once. Exceptions it throws when
    // run are caught and kept (GetLastError).
    void Execute(std::function<void()> AWork);
    // Any thread. On the main thread runs AWork inline; elsewhere queues it
    // and blocks until the main thread has run it. Exceptions thrown by AWork
    // are rethrown here.
    void ExecuteAndWait(std::function<void()> AWork);

    // Main thread only (EAssertionFailed otherwise). Runs queued work,
    // including work queued by the work it runs, until the queue is empty.
    // Returns the number of items run.
    std::size_t ProcessMessages();
    // Main thread only. Blocks until work is queued, Wake is called or
    // ATimeout passes, then drains like ProcessMessages.
    std::size_t WaitAndProcess(std::chrono::milliseconds ATimeout);
    // Any thread. Ends the current (or the next) WaitAndProcess early.
    void Wake();

    bool IsMainThread() const;
    // Makes the calling thread the main thread.
    void SetMainThread();
    std::size_t GetPendingCount() const;

    std::string GetLastError() const;
    uint64_t GetErrorCount() const;

    // Blocks until APred() holds; APred is evaluated with ALock held. On the
    // main thread queued work keeps being run while waiting, so a thread that
    // is itself awaiting the main thread can finish. Whoever makes APred true
    // calls ACond.notify_all() and then WakeWaiters(). Returns false when
    // ATimeout passed first.
    bool WaitUntil(std::unique_lock<std::mutex>& ALock, std::condition_variable& ACond,
                   const std::function<bool()>& APred, std::chrono::milliseconds ATimeout = INFINITE);
    // Any thread. Wakes a main thread blocked in WaitUntil; cheap when none is.
    void WakeWaiters();

private:
    friend TMainThreadExecute& MainThread();
    TMainThreadExecute();

    std::size_t WaitAndProcessImpl(std::chrono::milliseconds ATimeout, bool AInternal);
    void CheckMainThread(const char* AWhat) const;

    mutable std::mutex FLock;
    std::condition_variable FCond;
    std::deque<std::function<void()>> FQueue;
    bool FWakeRequested = false; // Wake(): for WaitAndProcess.
    bool FWaiterWake = false; // WakeWaiters(): for WaitUntil only.
    std::atomic<std::thread::id> FMainThread;
    std::atomic<int> FBlockedWaiters{0};
    std::string FLastError;
    uint64_t FErrorCount = 0;
};

SN_API_END
} // namespace Sonorix
