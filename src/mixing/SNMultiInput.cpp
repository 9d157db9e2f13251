// SPDX-License-Identifier: MIT
#include "SNMultiInput.h"

#include "SNMultiInputFormat.h"

namespace Sonorix {

using MultiInput::ValidBits;

// --- TSNMultiInput -------------------------------------------------------------

TSNMultiInput::TSNMultiInput() : FOutputPin(this, "OutputPin"), FAudioFormat([this] { DoChange(); })
{
    FOutputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
}

TSNMultiInput::~TSNMultiInput()
{
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNMultiInput::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNMultiInput";
        LClass.Unit = "SNMultiInput";
        LClass.Parent = &TSNBasicMultiInput::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &TSNMultiInput::GetOutputPin).AsPrimary(),
            DescribeObject("AudioFormat", &TSNMultiInput::GetAudioFormat),
        };
        return LClass;
    }();
    return LDescription;
}

uint32_t TSNMultiInput::GetOutputBufferSize()
{
    return static_cast<uint32_t>(FAudioFormat.GetBufferSize());
}

bool TSNMultiInput::OutputsNotify(const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNStartWaveOperation>(AOperation)) {
        TLockAccess LAccess = FInputLock->WriteLock();
        FStartSent = true;
    }
    return FOutputPin.Notify(AOperation);
}

void TSNMultiInput::UsePresetCalculateRate()
{
    TSNBasicMultiInput::UsePresetCalculateRate();
    if (!FAudioFormat.GetEnabled())
        return;
    FCalculatedRate = FAudioFormat.GetSampleRate();
    FRateCalculated = true;
    FRunningChannels = static_cast<uint32_t>(FAudioFormat.GetCountChannels());
    FRunningBits = ValidBits(static_cast<uint32_t>(FAudioFormat.GetBits()));
    FRunningChannelMask = FAudioFormat.GetChannelMask();
}

void TSNMultiInput::IntStop()
{
    TComponentAccess LAccess = LockComponent();
    TSNBasicMultiInput::IntStop();
    // A stop goes out only for a start that went out.
    if (FStartSent) {
        FStartSent = false;
        FOutputPin.Notify(std::make_shared<TPNStopOperation>());
    }
}

bool TSNMultiInput::GetCanStart()
{
    return true;
}

void TSNMultiInput::DoChange()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FRunning && !FInCalculateRate)
        CalculateRate();
}

void TSNMultiInput::BeforeDestruction()
{
    {
        TComponentAccess LAccess = LockComponent();
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins) {
            LPin->DisconnectAll();
            LPin->Flush();
        }
        IntStop();
    }
    ReleaseRetiredThreads();
}

} // namespace Sonorix
