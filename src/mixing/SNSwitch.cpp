// SPDX-License-Identifier: MIT
#include "SNSwitch.h"

#include "CVRegistry.h"
#include "SNAudioBuffer.h"
#include "SNCatalogue.h"

namespace Sonorix {

TSNSwitch::TSNSwitch() : FInputPin(this, "InputPin"), FOutputPin(this, "OutputPin")
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SinkDispatch(APin, AOperation);
    });
    // Requests and master-pump ticks from downstream go upstream in either state.
    FOutputPin.SetDispatch(
        [this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return FInputPin.Notify(AOperation); });
}

TSNSwitch::~TSNSwitch()
{
    FInputPin.DisconnectAll();
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNSwitch::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNSwitch");
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &TSNSwitch::GetInputPin).AsPrimary(),
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &TSNSwitch::GetOutputPin).AsPrimary(),
            DescribeProperty(EnabledProperty, &TSNSwitch::GetEnabled, &TSNSwitch::SetEnabled),
            DescribeProperty(ResetOnEnableProperty, &TSNSwitch::GetResetOnEnable, &TSNSwitch::SetResetOnEnable),
        };
        LClass.Factory = [] { return std::make_shared<TSNSwitch>(); };
        return LClass;
    }();
    return LDescription;
}

bool TSNSwitch::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNSwitch::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue, [this] { Enabled(); });
}

bool TSNSwitch::GetResetOnEnable() const
{
    return FLock->Getter(FResetOnEnable);
}

void TSNSwitch::SetResetOnEnable(bool AValue)
{
    FLock->NotifySetter(FResetOnEnable, AValue);
}

void TSNSwitch::Enabled()
{
    WAVEFORMATEXTENSIBLE LFormat;
    {
        TLockAccess LAccess = FLock->WriteLock();
        if (!FEnabled || !FHasFormat || !(FResetOnEnable || FStartOperationIsCached))
            return;
        FStartOperationIsCached = false;
        LFormat = FAudioFormat;
    }
    // As if the start had just arrived: it goes out followed by a resume.
    SinkDispatch(FInputPin, std::make_shared<TPNStartWaveOperation>(LFormat));
}

bool TSNSwitch::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        {
            TLockAccess LAccess = FLock->WriteLock();
            FAudioFormat = LStart->WaveFormat;
            FHasFormat = true;
            FStartOperationIsCached = !FEnabled;
            if (!FEnabled)
                return false;
        }
        const bool LResult = FOutputPin.Notify(AOperation);
        FOutputPin.Notify(std::make_shared<TPNDGResumeOperation>());
        return LResult;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        {
            // A stopped stream has nothing to start again.
            TLockAccess LAccess = FLock->WriteLock();
            FHasFormat = false;
            FStartOperationIsCached = false;
        }
        return FOutputPin.Notify(AOperation);
    }
    if (OperationAs<TPNStartPumpOperation>(AOperation))
        return FOutputPin.Notify(AOperation);
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!GetEnabled())
            return false;
        if (LBuffer->AudioBuffer)
            return FOutputPin.Notify(AOperation);
        if (!LBuffer->Block)
            return false;
        WAVEFORMATEXTENSIBLE LFormat;
        {
            TLockAccess LAccess = FLock->ReadLock();
            if (!FHasFormat)
                return false;
            LFormat = FAudioFormat;
        }
        return FOutputPin.SendBuffer(TSNAudioBuffer::CreateUniversal(LFormat, LBuffer->Block));
    }
    if (OperationAs<TPNPumpRequestOperation>(AOperation)) {
        FOutputPin.Notify(AOperation);
        return false;
    }
    // Pause, resume, queries and the like pass through.
    return FOutputPin.Notify(AOperation);
}

namespace SNSwitch {
void RegisterPkg()
{
    RegisterComponents({&TSNSwitch::ClassDescription()});
}
} // namespace SNSwitch

} // namespace Sonorix
