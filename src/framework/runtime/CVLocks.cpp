// SPDX-License-Identifier: MIT
#include "CVLocks.h"

namespace Sonorix {

void TBasicLockChangeNotifyLock::ChangeNotify()
{
    // Copy first: a listener may add or remove listeners.
    std::vector<TNotification> LListeners;
    {
        std::lock_guard LGuard(FListenersMutex);
        LListeners.reserve(FListeners.size());
        for (auto& [LHandle, LNotification] : FListeners)
            LListeners.push_back(LNotification);
    }
    for (auto& LNotification : LListeners)
        LNotification();
}

int TBasicLockChangeNotifyLock::AddChangeNotification(TNotification ANotification)
{
    std::lock_guard LGuard(FListenersMutex);
    FListeners.emplace_back(FNextHandle, std::move(ANotification));
    return FNextHandle++;
}

void TBasicLockChangeNotifyLock::RemoveChangeNotification(int AHandle)
{
    std::lock_guard LGuard(FListenersMutex);
    std::erase_if(FListeners, [AHandle](const auto& AEntry) { return AEntry.first == AHandle; });
}

} // namespace Sonorix
