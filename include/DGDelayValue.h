// SPDX-License-Identifier: MIT
// A delay given in milliseconds or in sample frames, as a nested settings
// object of the components that delay a stream.
#pragma once

#include "SNExport.h"

#include "CVLocks.h"
#include "CVPersistent.h"

#include <cstdint>
#include <functional>

namespace Sonorix {
SN_API_BEGIN

enum TDGDelayMode { dmMilliseconds, dmSamples };
extern const TEnumInfo TDGDelayModeInfo;

// Value (at or above 0) and Mode. AOnChange runs after a member changed, on
// the setter's thread, without the object's lock held.
//
//   LDelay.GetDelayValue().SetMode(dmSamples);
//   LDelay.GetDelayValue().SetValue(480);                 // 10 ms at 48 kHz
class TDGDelayValue : public TPersistent {
public:
    static constexpr TIntSpec ValueProperty{.Name = "Value", .Default = 100, .Min = 0, .TypeName = "int64"};
    static constexpr TEnumSpec<TDGDelayMode> ModeProperty{
        .Name = "Mode", .Default = dmMilliseconds, .Info = &TDGDelayModeInfo};

    explicit TDGDelayValue(std::function<void()> AOnChange = {}) : FOnChange(std::move(AOnChange)) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int64_t GetValue() const { return FLock.Getter(FValue); }
    void SetValue(int64_t AValue) { FLock.NotifySetterMin(FValue, AValue, int64_t{0}, [this] { Changed(); }); }
    TDGDelayMode GetMode() const { return FLock.Getter(FMode); }
    void SetMode(TDGDelayMode AValue) { FLock.NotifySetter(FMode, AValue, [this] { Changed(); }); }
    // Copies Value and Mode.
    void Assign(const TDGDelayValue& ASource);

    // The delay in frames at ASampleRate: Value * rate div 1000 in
    // milliseconds mode (64-bit integer arithmetic), Value in samples mode.
    int64_t Frames(uint32_t ASampleRate) const;

private:
    void Changed()
    {
        if (FOnChange)
            FOnChange();
    }

    mutable TBasicLockChangeNotifyLock FLock;
    std::function<void()> FOnChange;
    int64_t FValue = ValueProperty.Default;
    TDGDelayMode FMode = ModeProperty.Default;
};

SN_API_END
} // namespace Sonorix
