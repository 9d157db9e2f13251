// SPDX-License-Identifier: MIT
// The change-notifying lock every component guards its state with, and the
// locked setters and getters that property code goes through.
#pragma once

#include "SNExport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// Holds a lock until it goes out of scope (or Release is called).
class TLockAccess {
public:
    TLockAccess() = default;
    explicit TLockAccess(std::recursive_mutex& AMutex) : FLock(AMutex) {}
    void Release()
    {
        if (FLock.owns_lock())
            FLock.unlock();
    }
    bool OwnsLock() const { return FLock.owns_lock(); }

private:
    std::unique_lock<std::recursive_mutex> FLock;
};

// A lock that is re-entrant for the thread holding it and that announces
// changes to a list of listeners. Read and write access are both exclusive:
// guarded sections are short and a reader/writer split buys nothing here.
class IChangeNotifyLock {
public:
    using TNotification = std::function<void()>;

    virtual ~IChangeNotifyLock() = default;
    [[nodiscard]] virtual TLockAccess ReadLock() = 0;
    [[nodiscard]] virtual TLockAccess WriteLock() = 0;
    [[nodiscard]] virtual TLockAccess GetAccess() = 0;
    // Calls every listener, on the calling thread, without the lock held.
    virtual void ChangeNotify() = 0;
    // Returns a handle for RemoveChangeNotification.
    virtual int AddChangeNotification(TNotification ANotification) = 0;
    virtual void RemoveChangeNotification(int AHandle) = 0;
};

class TBasicLockChangeNotifyLock : public IChangeNotifyLock {
public:
    TLockAccess ReadLock() override { return TLockAccess(FMutex); }
    TLockAccess WriteLock() override { return TLockAccess(FMutex); }
    TLockAccess GetAccess() override { return TLockAccess(FMutex); }
    void ChangeNotify() override;
    int AddChangeNotification(TNotification ANotification) override;
    void RemoveChangeNotification(int AHandle) override;

    // Stores AValue under the lock; when it differs from the old value,
    // announces the change and runs AChange (after the lock is released).
    // Returns whether the value changed. A NaN is ignored.
    template <class T, class F = std::nullptr_t>
    bool NotifySetter(T& AField, T AValue, F&& AChange = nullptr)
    {
        if constexpr (std::is_floating_point_v<T>) {
            if (std::isnan(AValue))
                return false;
        }
        {
            TLockAccess LAccess = WriteLock();
            if (AField == AValue)
                return false;
            AField = std::move(AValue);
        }
        ChangeNotify();
        if constexpr (!std::is_same_v<std::decay_t<F>, std::nullptr_t>)
            AChange();
        return true;
    }

    // The same, keeping the value at or above AMin.
    template <class T, class F = std::nullptr_t>
    bool NotifySetterMin(T& AField, T AValue, T AMin, F&& AChange = nullptr)
    {
        return NotifySetter(AField, AValue < AMin ? AMin : AValue, std::forward<F>(AChange));
    }

    // The same, keeping the value within AMin .. AMax.
    template <class T, class F = std::nullptr_t>
    bool NotifySetterMinMax(T& AField, T AValue, T AMin, T AMax, F&& AChange = nullptr)
    {
        if (AValue < AMin)
            AValue = AMin;
        else if (AMax < AValue)
            AValue = AMax;
        return NotifySetter(AField, AValue, std::forward<F>(AChange));
    }

    // Reads a field under the lock.
    template <class T>
    T Getter(const T& AField)
    {
        TLockAccess LAccess = ReadLock();
        return AField;
    }

private:
    std::recursive_mutex FMutex;
    std::mutex FListenersMutex;
    std::vector<std::pair<int, TNotification>> FListeners;
    int FNextHandle = 1;
};

SN_API_END
} // namespace Sonorix
