// SPDX-License-Identifier: MIT
#include "SNChannelMerger.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

#include <cstring>

namespace Sonorix {

namespace {

// One width's copy: ABytes per sample, each side stepping by its own block
// align.
template <uint32_t ABytes>
void MergeSamples(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget)
{
    // A channel beyond the output (more inputs than output channels) has
    // nowhere to go.
    if (AChannel >= ATarget.GetChannels())
        return;
    const uint32_t LCount = std::min(ASource.GetSize(), ATarget.GetSize());
    const uint32_t LSourceStep = ASource.GetDataStep();
    const uint32_t LTargetStep = ATarget.GetDataStep();
    const uint8_t* LSource = ASource.ByteRead();
    uint8_t* LTarget = ATarget.ByteWrite() + size_t{ABytes} * AChannel;
    for (uint32_t I = 0; I < LCount; ++I, LSource += LSourceStep, LTarget += LTargetStep)
        std::memcpy(LTarget, LSource, ABytes);
}

} // namespace

TSNChannelMerger::TSNChannelMerger()
    : FInputPins(this, "InputPins", TPNDataType::dtAudio, TPNPinDirection::pdSink,
                 [this](int AIndex) { return QueuedPinCreateFunction(AIndex); })
{
    FInputPins.SetOnRemove([this](TPNPin& APin) { QueuedPinDestroyFunction(APin); });
    DoChange();
}

TSNChannelMerger::~TSNChannelMerger()
{
    BeforeDestruction();
    FInputPins.SetCount(0);
}

const TClassDescription& TSNChannelMerger::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNChannelMerger");
        LClass.Parent = &TSNMultiInput::ClassDescription();
        LClass.Properties = {
            DescribePinList("InputPins", "TSNPNQueuedAudioSinkPin", &TSNChannelMerger::GetInputPins)
                .AsPrimary()
                .ResizedBy("AudioFormat.Channels"),
        };
        LClass.Factory = [] { return std::make_shared<TSNChannelMerger>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNChannelMerger::DoChange()
{
    // The pin list's lock comes before the component's.
    FInputPins.SetCount(FAudioFormat.GetCountChannels());
    TSNMultiInput::DoChange();
}

bool TSNChannelMerger::CalculateSendOutput()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    const uint32_t LSize = GetOutputBufferSize();
    ISNAudioBufferPtr LOutput =
        TSNAudioBuffer::CreateSizeEx(FRunningRate, FRunningBits, FRunningChannels, LSize, FRunningChannelMask);
    bool LContributed = false;
    for (size_t I = 0; I < FAllInputPins.size(); ++I) {
        TSNPNQueuedAudioSinkPin* LPin = FAllInputPins[I];
        if (!LPin->IsConnected() || !LPin->FRunning)
            continue;
        const uint32_t LChannels = LPin->FWaveFormat.Format.nChannels;
        // The running mask describes the output's channels; a work buffer
        // of another count takes the usual one.
        ISNAudioBufferPtr LWork = TSNAudioBuffer::CreateSizeEx(
            FRunningRate, FRunningBits, LChannels, LSize, LChannels == FRunningChannels ? FRunningChannelMask : 0);
        if (!LPin->StretchLoadBuffer(*LWork))
            LWork->Zero();
        MergeBuffer(static_cast<uint32_t>(I), *LWork, *LOutput);
        LContributed = true;
    }
    if (!LContributed)
        return false;
    FOutputPin.Notify(MakePooled<TPNSuppliedBufferOperation>(std::move(LOutput)));
    return true;
}

void TSNChannelMerger::MergeBuffer(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    switch (FRunningBits) {
    case 8: Merge8Bits(AChannel, ASource, ATarget); break;
    case 16: Merge16Bits(AChannel, ASource, ATarget); break;
    case 24: Merge24Bits(AChannel, ASource, ATarget); break;
    case 32: Merge32Bits(AChannel, ASource, ATarget); break;
    default: break;
    }
}

void TSNChannelMerger::Merge8Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget)
{
    MergeSamples<1>(AChannel, ASource, ATarget);
}

void TSNChannelMerger::Merge16Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget)
{
    MergeSamples<2>(AChannel, ASource, ATarget);
}

void TSNChannelMerger::Merge24Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget)
{
    MergeSamples<3>(AChannel, ASource, ATarget);
}

void TSNChannelMerger::Merge32Bits(uint32_t AChannel, const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget)
{
    MergeSamples<4>(AChannel, ASource, ATarget);
}

namespace SNChannelMerger {
void RegisterPkg()
{
    RegisterComponents({&TSNChannelMerger::ClassDescription()});
}
} // namespace SNChannelMerger

} // namespace Sonorix
