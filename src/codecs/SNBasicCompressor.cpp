// SPDX-License-Identifier: MIT
#include "SNBasicCompressor.h"

#include "SNCodecThread.h"

#include <cstring>

namespace Sonorix {

IDGBlockBufferPtr MakeCodecPacket(const TSNCodecPacketHeader& AHeader, const void* AData, size_t ABytes)
{
    IDGBlockBufferPtr LBlock = TDGBlockBuffer::CreateSize(sizeof(TSNCodecPacketHeader) + ABytes);
    TSNCodecPacketHeader LHeader = AHeader;
    LHeader.bytes = static_cast<int32_t>(ABytes);
    auto* LBytes = static_cast<uint8_t*>(LBlock->Write());
    std::memcpy(LBytes, &LHeader, sizeof(LHeader));
    if (ABytes)
        std::memcpy(LBytes + sizeof(LHeader), AData, ABytes);
    return LBlock;
}

bool ParseCodecPacket(const IDGBlockBuffer& ABlock, TSNCodecPacketHeader& AHeader, const uint8_t*& AData)
{
    if (ABlock.GetSize() < sizeof(TSNCodecPacketHeader))
        return false;
    std::memcpy(&AHeader, ABlock.Read(), sizeof(AHeader));
    if (AHeader.bytes < 0 || static_cast<size_t>(AHeader.bytes) != ABlock.GetSize() - sizeof(TSNCodecPacketHeader))
        return false;
    AData = static_cast<const uint8_t*>(ABlock.Read()) + sizeof(TSNCodecPacketHeader);
    return true;
}

// --- TSNBasicCompressor ----------------------------------------------------------

TSNBasicCompressor::TSNBasicCompressor()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FOutputPin(this, "OutputPin"),
      FThreading([this] { FCodecThread->ThreadingChanged(); }),
      FCodecThread(std::make_unique<TSNCodecThread>(
          FThreading, [this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) { SinkDispatch(APin, AOperation); }))
{
    FOutputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
}

TSNBasicCompressor::~TSNBasicCompressor()
{
    ReleaseProcessing();
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNBasicCompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicCompressor";
        LClass.Unit = "SNBasicCompressor";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TDGPNBinarySourcePin", &TSNBasicCompressor::GetOutputPin).AsPrimary(),
            DescribeProperty(EnabledProperty, &TSNBasicCompressor::GetEnabled, &TSNBasicCompressor::SetEnabled),
            DescribeObject("Threading", &TSNBasicCompressor::GetThreading),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNBasicCompressor::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNBasicCompressor::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue);
}

bool TSNBasicCompressor::DispatchInput(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    if (FCodecThread->IsOn() && !GetDesignMode() && !OperationAs<TPNPumpRequestOperation>(AOperation) &&
        !OperationAs<TPNQueryStreamOperation>(AOperation) && FCodecThread->Post(APin, AOperation))
        return true;
    return SinkDispatch(APin, AOperation);
}

void TSNBasicCompressor::ReleaseProcessing()
{
    FCodecThread->Release();
}

bool TSNBasicCompressor::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    return IntSingleOperation(AOperation);
}

bool TSNBasicCompressor::SourceDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& /*AOperation*/)
{
    return false;
}

bool TSNBasicCompressor::IntSingleOperation(const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNSuppliedBufferOperation>(AOperation))
        return IntSingleBufferOperation(AOperation);
    if (OperationAs<TPNStopOperation>(AOperation)) {
        StreamStop();
        return true;
    }
    return FOutputPin.Notify(AOperation);
}

bool TSNBasicCompressor::IntSingleBufferOperation(const IPNNotifyOperationPtr& /*AOperation*/)
{
    return false;
}

void TSNBasicCompressor::StreamStop() {}

bool TSNBasicCompressor::SendData(const void* AData, size_t ABytes)
{
    IDGBlockBufferPtr LBlock = TDGBlockBuffer::CreateSize(ABytes);
    if (ABytes)
        std::memcpy(LBlock->Write(), AData, ABytes);
    return SendBlock(std::move(LBlock));
}

bool TSNBasicCompressor::SendBlock(IDGBlockBufferPtr ABlock)
{
    return FOutputPin.Notify(MakePooled<TPNSuppliedBufferOperation>(std::move(ABlock)));
}

// --- TSNBasicAudioCompressor -----------------------------------------------------

TSNBasicAudioCompressor::TSNBasicAudioCompressor() : FInputPin(this, "InputPin")
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return DispatchInput(APin, AOperation);
    });
}

TSNBasicAudioCompressor::~TSNBasicAudioCompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
}

const TClassDescription& TSNBasicAudioCompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicAudioCompressor";
        LClass.Unit = "SNBasicCompressor";
        LClass.Parent = &TSNBasicCompressor::ClassDescription();
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &TSNBasicAudioCompressor::GetInputPin).AsPrimary(),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNBasicAudioCompressor::SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    if (!FInputPin.IsConnected()) {
        if (OperationAs<TPNQueryStreamOperation>(AOperation))
            return FOutputPin.Notify(std::make_shared<TPNIgnoreStreamOperation>());
        return TSNBasicCompressor::SourceDispatch(APin, AOperation);
    }
    return FInputPin.Notify(AOperation);
}

bool TSNBasicAudioCompressor::IntSingleOperation(const IPNNotifyOperationPtr& AOperation)
{
    return TSNBasicCompressor::IntSingleOperation(AOperation);
}

} // namespace Sonorix
