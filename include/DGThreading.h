// SPDX-License-Identifier: MIT
// The Threading settings of a component: whether it processes on a thread
// of its own, and at which priority.
#pragma once

#include "SNExport.h"

#include "CVLocks.h"
#include "CVPersistent.h"
#include "CVThreading.h"

#include <atomic>
#include <functional>

namespace Sonorix {
SN_API_BEGIN

extern const TEnumInfo TDGThreadPriorityInfo;

class TDGThreading : public TPersistent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = false};
    static constexpr TEnumSpec<TDGThreadPriority> PriorityProperty{
        .Name = "Priority", .Default = tpNormal, .Info = &TDGThreadPriorityInfo};

    // AOnChange runs after a member changed, on the setter's thread.
    explicit TDGThreading(std::function<void()> AOnChange = {}) : FOnChange(std::move(AOnChange)) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // Read per buffer by the component, so lock-free.
    bool GetEnabled() const { return FEnabled.load(std::memory_order_acquire); }
    void SetEnabled(bool AValue)
    {
        if (FEnabled.exchange(AValue, std::memory_order_acq_rel) == AValue)
            return;
        FLock.ChangeNotify();
        Changed();
    }
    TDGThreadPriority GetPriority() const { return FLock.Getter(FPriority); }
    void SetPriority(TDGThreadPriority AValue) { FLock.NotifySetter(FPriority, AValue, [this] { Changed(); }); }
    void Assign(const TDGThreading& ASource)
    {
        SetEnabled(ASource.GetEnabled());
        SetPriority(ASource.GetPriority());
    }

private:
    void Changed()
    {
        if (FOnChange)
            FOnChange();
    }

    mutable TBasicLockChangeNotifyLock FLock;
    std::function<void()> FOnChange;
    std::atomic<bool> FEnabled{EnabledProperty.Default};
    TDGThreadPriority FPriority = PriorityProperty.Default;
};

SN_API_END
} // namespace Sonorix
