// SPDX-License-Identifier: MIT
#include "SNChannelSplitter.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"

#include <cstring>

namespace Sonorix {

TSNChannelSplitter::TSNChannelSplitter() : TSNCommonSplitter(TPNDataType::dtAudio)
{
    CreateDefaultPins();
}

TSNChannelSplitter::~TSNChannelSplitter()
{
    GetOutputPins().SetCount(0);
}

const TClassDescription& TSNChannelSplitter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNChannelSplitter");
        LClass.Parent = &TSNCommonSplitter::ClassDescription();
        LClass.Properties = {
            DescribePinList("OutputPins", "TSNPNAudioSourcePin", &TSNChannelSplitter::GetOutputPins)
                .AsPrimary()
                .ResizedBy("CountChannels"),
        };
        LClass.Factory = [] { return std::make_shared<TSNChannelSplitter>(); };
        return LClass;
    }();
    return LDescription;
}

std::unique_ptr<TPNPin> TSNChannelSplitter::CreateSourcePin(int /*AIndex*/)
{
    auto LPin = std::make_unique<TSNPNAudioSourcePin>(this, "OutputPins");
    LPin->SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
    return LPin;
}

void TSNChannelSplitter::AudioStreamStart(const WAVEFORMATEXTENSIBLE* AWaveFormat)
{
    if (!AWaveFormat)
        return;
    FWaveFormat = *AWaveFormat;
    FStarted = true;
    FOutputFormat = FWaveFormat;
    WAVEFORMATEX& LFormat = FOutputFormat.Format;
    LFormat.nChannels = 1;
    // The mono buffers are as wide as the valid bits need: 24 valid bits in
    // 32 give 24-bit buffers; 20 valid bits in 24, which no buffer holds,
    // stay in 24.
    LFormat.wBitsPerSample = static_cast<uint16_t>(MonoBits());
    LFormat.nBlockAlign = static_cast<uint16_t>(LFormat.wBitsPerSample / 8);
    LFormat.nAvgBytesPerSec = uint32_t{LFormat.nBlockAlign} * LFormat.nSamplesPerSec;
    FOutputFormat.dwChannelMask = 1; // front left
    NotifyOutputPins(std::make_shared<TPNStartWaveOperation>(FOutputFormat));
}

uint32_t TSNChannelSplitter::MonoBits() const
{
    const uint32_t LContainer = FWaveFormat.Format.wBitsPerSample;
    const uint32_t LValid = FWaveFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE
                                ? FWaveFormat.Samples.wValidBitsPerSample
                                : LContainer;
    if (LValid == 0 || LValid >= LContainer)
        return LContainer;
    return (LValid + 7) / 8 * 8;
}

template <unsigned ABytes>
void TSNChannelSplitter::Strip(int32_t AChannel, const ISNAudioBuffer& ABuffer)
{
    const uint32_t LBlockAlign = FWaveFormat.Format.nBlockAlign;
    if (LBlockAlign == 0)
        return;
    const auto LFrames = static_cast<uint32_t>(ABuffer.GetByteSize() / LBlockAlign);
    // The buffer carries the running stream's channel mask.
    const uint32_t LMask = FWaveFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? FWaveFormat.dwChannelMask : 0;
    ISNAudioBufferPtr LMono =
        TSNAudioBuffer::CreateSizeEx(FWaveFormat.Format.nSamplesPerSec, ABytes * 8, 1, LFrames, LMask);
    const uint8_t* LSource = ABuffer.ByteRead() + static_cast<size_t>(FWaveFormat.Format.wBitsPerSample / 8) * AChannel;
    uint8_t* LTarget = LMono->ByteWrite();
    for (uint32_t i = 0; i < LFrames; ++i, LSource += LBlockAlign, LTarget += ABytes)
        std::memcpy(LTarget, LSource, ABytes);
    // Valid bits narrower than the container: their width, keeping the top
    // bits (where a container holds its valid bits).
    if (const uint32_t LBits = MonoBits(); LBits != ABytes * 8) {
        ISNAudioBufferPtr LNarrow =
            TSNAudioBuffer::CreateSizeEx(FWaveFormat.Format.nSamplesPerSec, LBits, 1, LFrames, LMask);
        LMono->CopyTo(0, *LNarrow, 0, LFrames);
        LMono = std::move(LNarrow);
    }
    if (auto* LPin = dynamic_cast<TSNPNAudioSourcePin*>(OutputPin(AChannel)))
        LPin->SendBuffer(std::move(LMono));
}

void TSNChannelSplitter::Strip8Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    Strip<1>(AChannel, *ABuffer);
}

void TSNChannelSplitter::Strip16Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    Strip<2>(AChannel, *ABuffer);
}

void TSNChannelSplitter::Strip24Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    Strip<3>(AChannel, *ABuffer);
}

void TSNChannelSplitter::Strip32Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer)
{
    Strip<4>(AChannel, *ABuffer);
}

namespace SNChannelSplitter {
void RegisterPkg()
{
    RegisterComponents({&TSNChannelSplitter::ClassDescription()});
}
} // namespace SNChannelSplitter

} // namespace Sonorix
