// SPDX-License-Identifier: MIT
#include "SNCommonLogger.h"

#include "DGClock.h"

namespace Sonorix {

TSNCommonLogger::TSNCommonLogger()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FInputPin(this, "InputPin")
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SinkDispatch(APin, AOperation);
    });
}

TSNCommonLogger::~TSNCommonLogger()
{
    FInputPin.DisconnectAll();
}

const TClassDescription& TSNCommonLogger::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNCommonLogger";
        LClass.Unit = "SNCommonLogger";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &TSNCommonLogger::GetInputPin).AsPrimary(),
            DescribeProperty(FileNameProperty, &TSNCommonLogger::GetFileName, &TSNCommonLogger::SetFileName),
            DescribeProperty(EnabledProperty, &TSNCommonLogger::GetEnabled, &TSNCommonLogger::SetEnabled),
        };
        return LClass;
    }();
    return LDescription;
}

std::string TSNCommonLogger::GetFileName() const
{
    return FLock->Getter(FFileName);
}

void TSNCommonLogger::SetFileName(const std::string& AValue)
{
    FLock->NotifySetter(FFileName, AValue);
}

bool TSNCommonLogger::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNCommonLogger::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue);
}

bool TSNCommonLogger::IsLogging() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FLogging;
}

int64_t TSNCommonLogger::GetLoggedTime() const
{
    const uint32_t LRate = FLoggedRate;
    return LRate ? FLoggedFrames * DGTimeUnitsPerSecond / LRate : 0;
}

bool TSNCommonLogger::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        // A new start without a stop in between ends the file first.
        if (FLogging) {
            FLogging = false;
            EndAudio();
        }
        if (!GetEnabled())
            return true;
        FLogging = true;
        FLoggedFrames = 0;
        FLoggedRate = LStart->WaveFormat.Format.nSamplesPerSec;
        try {
            BeginAudio(LStart->WaveFormat);
        } catch (...) {
            FLogging = false;
            throw;
        }
        return true;
    }
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!FLogging || !LBuffer->AudioBuffer)
            return false;
        RenderAudio(LBuffer->AudioBuffer);
        FLoggedFrames += LBuffer->AudioBuffer->GetSize();
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        if (FLogging) {
            FLogging = false;
            EndAudio();
        }
        return true;
    }
    return false;
}

} // namespace Sonorix
