// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "PNPins.h"

namespace Sonorix {
SN_API_BEGIN

// An on/off gate in one audio stream.
//
// Pins: InputPin (audio in), OutputPin (audio out). Enabled, it passes every
// operation unchanged; disabled, it drops the buffers but still passes stops
// and pump traffic, and holds a stream start back until it is enabled again
// (then the start goes out with a resume). ResetOnEnable sends a fresh start
// and resume at every enabling.
//
//   TSNSwitch LGate;
//   LSource.GetOutputPin().Connect(LGate.GetInputPin());
//   LGate.SetEnabled(false);                       // mute by dropping buffers
class TSNSwitch : public TLockComponent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};
    static constexpr TBoolSpec ResetOnEnableProperty{.Name = "ResetOnEnable", .Default = false};

    TSNSwitch();
    ~TSNSwitch() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    bool GetEnabled() const;
    // Any thread; enabling sends a held-back start (or, with ResetOnEnable,
    // a fresh one) on the calling thread.
    void SetEnabled(bool AValue);
    bool GetResetOnEnable() const;
    void SetResetOnEnable(bool AValue);

protected:
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);

private:
    void Enabled();

    TSNPNAudioSinkPin FInputPin;
    TSNPNAudioSourcePin FOutputPin;
    bool FEnabled = EnabledProperty.Default;
    bool FResetOnEnable = ResetOnEnableProperty.Default;
    // Guarded by FLock.
    bool FStartOperationIsCached = false;
    bool FHasFormat = false;
    WAVEFORMATEXTENSIBLE FAudioFormat{};
};

namespace SNSwitch {
// Registers TSNSwitch with the component registry.
void RegisterPkg();
} // namespace SNSwitch

SN_API_END
} // namespace Sonorix
