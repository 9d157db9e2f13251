// SPDX-License-Identifier: MIT
// A component's own clock, which may be stopped from its own tick.
#pragma once

#include "SNExport.h"

#include "DGClock.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// Holds at most one running TDGClockGen. Stop may be called from the clock's
// own tick (a stream that ends inside a tick): the stopped clock is then
// destroyed later, at the next Start or with the slot, never inside its
// callback. Any thread.
//
//   TDGClockSlot FClock;
//   FClock.Start(232200, [this] { Pump(); });   // no effect while one runs
//   FClock.Stop();
class TDGClockSlot {
public:
    TDGClockSlot() = default;
    ~TDGClockSlot() { Stop(); }
    TDGClockSlot(const TDGClockSlot&) = delete;
    TDGClockSlot& operator=(const TDGClockSlot&) = delete;

    // Starts a clock of APeriod (100 ns units) unless one runs.
    void Start(int64_t APeriod, std::function<void()> AOnTick)
    {
        std::lock_guard LGuard(FMutex);
        FRetired.clear();
        if (FClock)
            return;
        FClock = std::make_unique<TDGClockGen>(APeriod, std::move(AOnTick));
        FClock->Start();
    }
    void Stop()
    {
        std::unique_ptr<TDGClockGen> LClock;
        {
            std::lock_guard LGuard(FMutex);
            LClock = std::move(FClock);
        }
        if (!LClock)
            return;
        LClock->Stop();
        std::lock_guard LGuard(FMutex);
        FRetired.push_back(std::move(LClock));
    }

private:
    std::mutex FMutex;
    std::unique_ptr<TDGClockGen> FClock;
    std::vector<std::unique_ptr<TDGClockGen>> FRetired;
};

SN_API_END
} // namespace Sonorix
