// SPDX-License-Identifier: MIT
#include "SNBasicDecompressor.h"

#include "SNCodecThread.h"

namespace Sonorix {

TSNBasicDecompressor::TSNBasicDecompressor()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FInputPin(this, "InputPin"),
      FThreading([this] { FCodecThread->ThreadingChanged(); }),
      FCodecThread(std::make_unique<TSNCodecThread>(
          FThreading, [this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) { SinkDispatch(APin, AOperation); }))
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return DispatchInput(APin, AOperation);
    });
}

TSNBasicDecompressor::~TSNBasicDecompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
}

const TClassDescription& TSNBasicDecompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicDecompressor";
        LClass.Unit = "SNBasicDecompressor";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("InputPin", "TDGPNBinarySinkPin", &TSNBasicDecompressor::GetInputPin).AsPrimary(),
            DescribeProperty(EnabledProperty, &TSNBasicDecompressor::GetEnabled, &TSNBasicDecompressor::SetEnabled),
            DescribeObject("Threading", &TSNBasicDecompressor::GetThreading),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNBasicDecompressor::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNBasicDecompressor::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue);
}

bool TSNBasicDecompressor::DispatchInput(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    if (FCodecThread->IsOn() && !GetDesignMode() && !OperationAs<TPNPumpRequestOperation>(AOperation) &&
        !OperationAs<TPNQueryStreamOperation>(AOperation) && FCodecThread->Post(APin, AOperation))
        return true;
    return SinkDispatch(APin, AOperation);
}

void TSNBasicDecompressor::ReleaseProcessing()
{
    FCodecThread->Release();
}

size_t TSNBasicDecompressor::QueuedOperations() const
{
    return FCodecThread->GetQueued();
}

bool TSNBasicDecompressor::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNStopOperation>(AOperation)) {
        StreamStop();
        return true;
    }
    return false;
}

bool TSNBasicDecompressor::SourceDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& /*AOperation*/)
{
    return false;
}

void TSNBasicDecompressor::StreamStop() {}

// --- TSNBasicAudioDecompressor ---------------------------------------------------

TSNBasicAudioDecompressor::TSNBasicAudioDecompressor() : FOutputPin(this, "OutputPin")
{
    FOutputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
}

TSNBasicAudioDecompressor::~TSNBasicAudioDecompressor()
{
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNBasicAudioDecompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicAudioDecompressor";
        LClass.Unit = "SNBasicDecompressor";
        LClass.Parent = &TSNBasicDecompressor::ClassDescription();
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &TSNBasicAudioDecompressor::GetOutputPin).AsPrimary(),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNBasicAudioDecompressor::SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    if (!FInputPin.IsConnected()) {
        if (OperationAs<TPNQueryStreamOperation>(AOperation))
            return FOutputPin.Notify(std::make_shared<TPNIgnoreStreamOperation>());
        return TSNBasicDecompressor::SourceDispatch(APin, AOperation);
    }
    if (auto* LPump = OperationAs<TPNMasterPumpOperation>(AOperation)) {
        FDataPumped = false;
        bool LResult = FInputPin.Notify(AOperation);
        // Keep pulling packets until audio came out or the stream closed. A
        // source that answers false has nothing more to give. Queued packets
        // come out later, on the processing thread: the queue bounds the pull.
        while (LResult && !FDataPumped && FOpened && QueuedOperations() < TSNCodecThread::CLagLimit)
            LResult = FInputPin.Notify(std::make_shared<TPNMasterPumpOperation>(LPump->Source));
        return LResult;
    }
    return FInputPin.Notify(AOperation);
}

} // namespace Sonorix
