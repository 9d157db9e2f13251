// SPDX-License-Identifier: MIT
#include "SNRateChange.h"

#include "SNResizeAudioBuffer.h"

#include <cmath>
#include <cstring>

namespace Sonorix {

namespace {

// One channel's column copied into every AStep-th frame of the destination
// (a one-element-wide image copy of the sample width).
void CopyColumn(const uint8_t* ASource, size_t ASourceStep, uint8_t* ADest, size_t ADestStep, uint32_t ARows,
                uint32_t ABytes)
{
    for (uint32_t r = 0; r < ARows; ++r, ASource += ASourceStep, ADest += ADestStep)
        std::memcpy(ADest, ASource, ABytes);
}

} // namespace

TSNChangeFormat::TSNChangeFormat(TOnBuffer AOnBuffer) : FOnBuffer(std::move(AOnBuffer)) {}

TSNChangeFormat::~TSNChangeFormat() = default;

void TSNChangeFormat::Reset()
{
    FOutputBufferPos = 0;
}

ISNAudioBufferPtr& TSNChangeFormat::Scratch(const ISNAudioBuffer& ABuffer, uint32_t ARate, uint32_t AFrames)
{
    // Made anew only when the layout changes; its capacity grows to the
    // largest buffer seen and then stays.
    if (!FConverted || FConverted->GetChannels() != ABuffer.GetChannels() ||
        FConverted->GetBitsPerSample() != ABuffer.GetBitsPerSample() || FConverted->GetSamplesPerSecond() != ARate ||
        FConverted->GetChannelMask() != ABuffer.GetChannelMask())
        FConverted = TSNAudioBuffer::CreateSizeEx(ARate, ABuffer.GetBitsPerSample(), ABuffer.GetChannels(), 0,
                                                  ABuffer.GetChannelMask());
    FConverted->Resize(AFrames);
    return FConverted;
}

ISNAudioBufferPtr TSNChangeFormat::Repeat(const ISNAudioBuffer& ABuffer, uint32_t AFactor)
{
    const uint32_t S = ABuffer.GetSize();
    const uint32_t LBits = ABuffer.GetBitsPerSample();
    SNAssert(LBits == 8 || LBits == 16 || LBits == 24 || LBits == 32, "BitWidth is incorrect");
    const uint64_t N = uint64_t(S) * AFactor;
    if (N > UINT32_MAX)
        return nullptr;
    ISNAudioBufferPtr& C = Scratch(ABuffer, FOutputFormat.Format.nSamplesPerSec, uint32_t(N));
    const uint32_t LBytes = LBits / 8;
    const size_t LStep = ABuffer.GetDataStep();
    for (uint32_t k = 0; k < AFactor; ++k)
        for (uint32_t c = 0; c < ABuffer.GetChannels(); ++c)
            CopyColumn(ABuffer.ByteRead() + size_t(c) * LBytes, LStep,
                       C->ByteWrite() + size_t(k) * LStep + size_t(c) * LBytes, LStep * AFactor, S, LBytes);
    return C;
}

ISNAudioBufferPtr TSNChangeFormat::Resample(const ISNAudioBuffer& ABuffer, uint32_t AOutputRate)
{
    // Round(frames x ratio), ties to even (the default rounding mode).
    const double LFrames =
        std::nearbyint(double(ABuffer.GetSize()) * double(AOutputRate) / double(ABuffer.GetSamplesPerSecond()));
    if (LFrames > double(UINT32_MAX))
        return nullptr;
    ISNAudioBufferPtr& LConverted = Scratch(ABuffer, AOutputRate, static_cast<uint32_t>(LFrames));
    ResizeAudioBuffer(ABuffer, *LConverted);
    return LConverted;
}

ISNAudioBufferPtr TSNChangeFormat::Convert(const ISNAudioBufferPtr& ABuffer)
{
    const uint32_t LInRate = ABuffer->GetSamplesPerSecond();
    const uint32_t LOutRate = FOutputFormat.Format.nSamplesPerSec;
    if (LInRate == LOutRate || LInRate == 0 || LOutRate == 0)
        return ABuffer;
    if (LOutRate % LInRate == 0)
        return Repeat(*ABuffer, LOutRate / LInRate);
    return Resample(*ABuffer, LOutRate);
}

void TSNChangeFormat::Process(const ISNAudioBufferPtr& ABuffer, ISNAudioBufferPtr& AOutput)
{
    if (!ABuffer)
        return;
    const ISNAudioBufferPtr C = Convert(ABuffer);
    if (!C)
        return;
    if (FAutoSizeBuffer) {
        AOutput = TSNAudioBuffer::CreateSizeEx(FOutputFormat.Format.nSamplesPerSec, FOutputFormat.Format.wBitsPerSample,
                                               FOutputFormat.Format.nChannels, C->GetSize(),
                                               FOutputFormat.dwChannelMask);
        FOutputBufferPos = 0;
    }
    if (!AOutput || AOutput->GetSize() == 0)
        return;
    uint32_t LPos = 0;
    uint32_t LRemaining = C->GetSize();
    while (LRemaining > 0) {
        const uint32_t k = std::min(AOutput->GetSize() - FOutputBufferPos, C->GetSize() - LPos);
        C->CopyTo(LPos, *AOutput, FOutputBufferPos, k);
        FOutputBufferPos += k;
        LPos += k;
        LRemaining -= k;
        if (FOutputBufferPos == AOutput->GetSize()) {
            if (FOnBuffer)
                FOnBuffer(AOutput);
            FOutputBufferPos = 0;
        }
    }
}

} // namespace Sonorix
