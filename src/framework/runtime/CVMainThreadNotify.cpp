// SPDX-License-Identifier: MIT
#include "CVMainThreadNotify.h"

#include "CVThreading.h"

#include <cstdint>
#include <mutex>

namespace Sonorix {

struct TSNMainThreadNotify::TState {
    // Guards the counters; never held while a notification runs.
    std::mutex Mutex;
    uint64_t Posted = 0;
    uint64_t Cleared = 0;
    bool Alive = true;
    // Held while a notification runs, so that Shutdown waits for it.
    std::recursive_mutex DeliveryMutex;
};

TSNMainThreadNotify::TSNMainThreadNotify() : FState(std::make_shared<TState>()) {}

TSNMainThreadNotify::~TSNMainThreadNotify()
{
    Shutdown();
}

void TSNMainThreadNotify::ClearMainThread()
{
    std::lock_guard LGuard(FState->Mutex);
    FState->Cleared = FState->Posted;
}

void TSNMainThreadNotify::SyncNotify(std::function<void()> AWork)
{
    uint64_t LNumber;
    {
        std::lock_guard LGuard(FState->Mutex);
        if (!FState->Alive)
            return;
        LNumber = ++FState->Posted;
    }
    MainThread().Execute([LState = FState, LNumber, LWork = std::move(AWork)] {
        std::lock_guard LDelivery(LState->DeliveryMutex);
        {
            std::lock_guard LGuard(LState->Mutex);
            if (!LState->Alive || LNumber <= LState->Cleared)
                return;
        }
        LWork();
    });
}

void TSNMainThreadNotify::Shutdown()
{
    std::lock_guard LDelivery(FState->DeliveryMutex);
    std::lock_guard LGuard(FState->Mutex);
    FState->Alive = false;
    FState->Cleared = FState->Posted;
}

} // namespace Sonorix
