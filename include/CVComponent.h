// SPDX-License-Identifier: MIT
// Root class of every component.
#pragma once

#include "SNExport.h"

#include "CVLocks.h"
#include "CVPersistent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// OnError of the components that report run-time failures: sender, message,
// code, and whether the handler dealt with it.
using TDGErrorEvent =
    std::function<void(TPersistent& ASender, const std::string& AMessage, uint32_t ACode, bool& AHandled)>;

// A component: published properties, pins, a name, a design-mode flag and
// the change-notifying lock FLock that guards its state.
//
// Components are neither copied nor moved: their pins point back at them.
class TLockComponent : public TPersistent {
public:
    TLockComponent();
    ~TLockComponent() override;
    TLockComponent(const TLockComponent&) = delete;
    TLockComponent& operator=(const TLockComponent&) = delete;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    std::string GetDisplayPath() const override;

    const std::string& GetName() const { return FName; }
    void SetName(std::string AName) { FName = std::move(AName); }

    // In design mode a component keeps its settings but starts no threads.
    bool GetDesignMode() const { return FDesignMode; }
    void SetDesignMode(bool ADesignMode) { FDesignMode = ADesignMode; }

    IChangeNotifyLock& GetLock() { return *FLock; }

protected:
    std::shared_ptr<TBasicLockChangeNotifyLock> FLock;

private:
    std::string FName;
    bool FDesignMode = false;
};

using TLockComponentPtr = std::shared_ptr<TLockComponent>;

SN_API_END
} // namespace Sonorix
