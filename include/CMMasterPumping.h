// SPDX-License-Identifier: MIT
// The pump-claim settings of a component that can drive a chain with a
// clock of its own.
#pragma once

#include "SNExport.h"

#include "CVLocks.h"
#include "CVPersistent.h"

#include <cstdint>

namespace Sonorix {
SN_API_BEGIN

// Published as MasterPumping. Enabled: the owner claims the pump role at
// stream start (a downstream component may still claim it more strongly);
// Priority: the strength of that claim among claims of the same pump type.
// Read at the next pump negotiation; a change does not renegotiate a running
// stream.
class TCMDefaultEnabledMasterPumping : public TPersistent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};
    static constexpr TIntSpec PriorityProperty{
        .Name = "Priority", .Default = 0, .Min = 0, .Max = 0xFFFFFFFF, .DesignMin = 0, .DesignMax = 10000,
        .TypeName = "uint32"};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    uint32_t GetPriority() const;
    void SetPriority(uint32_t AValue);

private:
    mutable TBasicLockChangeNotifyLock FLock;
    bool FEnabled = EnabledProperty.Default;
    uint32_t FPriority = static_cast<uint32_t>(PriorityProperty.Default);
};

SN_API_END
} // namespace Sonorix
