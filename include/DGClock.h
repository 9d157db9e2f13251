// SPDX-License-Identifier: MIT
// The timeline (real or virtual time) and the clock generator that pumps
// components at a fixed period.
#pragma once

#include "SNExport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// Times and periods are int64 counts of 100 ns.
inline constexpr int64_t DGTimeUnitsPerSecond = 10'000'000;

enum class TDGTimeMode { tmRealTime, tmVirtual };

// Process-wide time base.
//
// In real time Now() follows the steady clock. In virtual time Now() starts
// at 0 and moves only when the virtual scheduler delivers a clock tick; the
// next tick is delivered as soon as the previous one has returned and no work
// is pending (BeginWork/EndWork), so file-to-file work runs as fast as the
// machine allows and gives the same results as in real time.
class TDGTimeline {
public:
    TDGTimeline() = delete;

    // The mode applies to clocks started afterwards; running clocks keep
    // theirs. Default: real time.
    static void SetMode(TDGTimeMode AMode);
    static TDGTimeMode GetMode();
    // Real time: the steady clock. Virtual: the due time of the last tick.
    static int64_t Now();
    static int64_t RealNow();
    // Sets virtual now to 0. Refused (false) while a virtual clock runs.
    static bool ResetVirtual();

    // Announce work that has become pending (BeginWork) and that has been
    // done (EndWork). While the count is above zero no virtual tick is
    // delivered, so a runner may also hold time still while it wires up and
    // starts several clocks (see TDGWorkScope). Any thread. An EndWork
    // without a matching BeginWork is ignored.
    static void BeginWork();
    static void EndWork();
    static int64_t GetPendingWork();

    // Blocks until no work is pending, no virtual tick is being delivered and
    // no virtual clock runs (while one runs, time simply advances). Real-time
    // clocks are not waited for. On the main thread queued main-thread work
    // keeps running meanwhile. Must not be called from a clock callback or
    // from processing-thread work (EAssertionFailed for the former; the
    // latter would wait for itself). The timed form returns false on timeout.
    static void WaitIdle();
    static bool WaitIdle(std::chrono::milliseconds ATimeout);

    // Around a wait inside a virtual clock's callback for something only
    // another clock's tick can bring (room in a queue that a self-clocked
    // consumer drains): the other clocks' ticks go on meanwhile, and the
    // waiting tick resumes as the only one delivered. Nested calls count;
    // elsewhere (real time, other threads) they do nothing.
    static void BeginBlocking();
    static void EndBlocking();
    // Inside a clock callback: whether the clock was stopped from elsewhere
    // since this tick began (a wait inside the tick should give up).
    // Outside one: false.
    static bool CurrentTickStopping();
};

// Marks a wait inside a clock callback (BeginBlocking .. EndBlocking).
class TDGBlockingScope {
public:
    TDGBlockingScope() { TDGTimeline::BeginBlocking(); }
    ~TDGBlockingScope() { TDGTimeline::EndBlocking(); }
    TDGBlockingScope(const TDGBlockingScope&) = delete;
    TDGBlockingScope& operator=(const TDGBlockingScope&) = delete;
};

// Holds virtual time still for its lifetime (BeginWork .. EndWork).
class TDGWorkScope {
public:
    TDGWorkScope() { TDGTimeline::BeginWork(); }
    ~TDGWorkScope() { TDGTimeline::EndWork(); }
    TDGWorkScope(const TDGWorkScope&) = delete;
    TDGWorkScope& operator=(const TDGWorkScope&) = delete;
};

// Virtual time for a test: switches to virtual time and resets it to 0,
// restores the previous mode on destruction.
class TDGVirtualTimeScope {
public:
    TDGVirtualTimeScope();
    ~TDGVirtualTimeScope();
    TDGVirtualTimeScope(const TDGVirtualTimeScope&) = delete;
    TDGVirtualTimeScope& operator=(const TDGVirtualTimeScope&) = delete;

private:
    TDGTimeMode FPrevious;
};

struct TDGClockState;
class TDGClockThread;

// Calls a function once per period. Tick k after Start (k = 1, 2, ...) is due
// at start + k * period; due times are absolute, so there is no drift, and a
// real-time clock that falls behind delivers its late ticks at once instead of
// skipping them.
//
// The time mode at Start decides where ticks come from: in real time a thread
// of the clock's own (TDGClockThread); in virtual time the one process-wide
// virtual scheduler, which delivers the ticks of all virtual clocks in
// due-time order (ties in the order the clocks were started) on its thread.
// Ticks of one clock never overlap.
//
//   TDGClockGen FClock(9999999LL * 1024 / 44100, [this] { Pump(); });
//   FClock.Start();
class TDGClockGen {
public:
    // APeriod in 100 ns, at least 1. AOnTick runs on the clock's thread.
    // Exceptions it throws are caught and kept (GetLastError).
    TDGClockGen(int64_t APeriod, std::function<void()> AOnTick);
    // Stops the clock.
    ~TDGClockGen();
    TDGClockGen(const TDGClockGen&) = delete;
    TDGClockGen& operator=(const TDGClockGen&) = delete;

    // Any thread; no effect while running. Resets the tick count.
    void Start();
    // Any thread. From the clock's own callback it returns at once and no
    // further tick follows the current one. From elsewhere it returns once a
    // running callback has returned, so no callback runs after it (on the
    // main thread queued main-thread work keeps running meanwhile).
    void Stop();
    bool IsRunning() const;
    // Whether the current (or last) run is in virtual time.
    bool IsVirtual() const;

    // At least 1. While running, the next tick is due one new period after
    // the current time.
    void SetPeriod(int64_t APeriod);
    int64_t GetPeriod() const;
    // Ticks delivered since Start; inside the callback this tick's number.
    uint64_t GetTickCount() const;
    // Time of Start, and due time of the last tick delivered (inside the
    // callback: of this tick), in the clock's time base.
    int64_t GetStartTime() const;
    int64_t GetLastDueTime() const;

    std::string GetLastError() const;
    uint64_t GetErrorCount() const;

private:
    std::shared_ptr<TDGClockState> FState;
    std::unique_ptr<TDGClockThread> FThread; // Guarded by the timeline lock.
};

// Real-time ticks that came too late since the process started: later than
// one period after their due time (the next one was due already) and at
// least CDGMissedDeadlineSlack (100-ns units) late. Virtual time misses none.
uint64_t DGMissedDeadlines();
inline constexpr int64_t CDGMissedDeadlineSlack = 100'000; // 10 ms

SN_API_END
} // namespace Sonorix
