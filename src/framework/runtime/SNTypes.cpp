// SPDX-License-Identifier: MIT
#include "SNTypes.h"

namespace Sonorix {

uint32_t DefaultChannelMask(unsigned AChannels)
{
    constexpr uint32_t FL = SPEAKER_FRONT_LEFT;
    constexpr uint32_t FR = SPEAKER_FRONT_RIGHT;
    constexpr uint32_t FC = SPEAKER_FRONT_CENTER;
    constexpr uint32_t LFE = SPEAKER_LOW_FREQUENCY;
    constexpr uint32_t BL = SPEAKER_BACK_LEFT;
    constexpr uint32_t BR = SPEAKER_BACK_RIGHT;
    switch (AChannels) {
    case 0: return 0;
    case 1: return FC;
    case 2: return FL | FR;
    case 3: return FL | FR | FC;
    case 4: return FL | FR | BL | BR;
    case 5: return FL | FR | FC | BL | BR;
    case 6: return FL | FR | FC | LFE | BL | BR;
    default:
        // No common layout beyond 5.1: take the positions in mask order.
        return AChannels >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << AChannels) - 1;
    }
}

WAVEFORMATEXTENSIBLE MakeWaveFormat(uint32_t ASampleRate, unsigned ABits, unsigned AChannels, uint32_t AChannelMask)
{
    WAVEFORMATEXTENSIBLE LFormat{};
    const uint32_t LBlockAlign = AChannels * ((ABits + 7) / 8);
    LFormat.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    LFormat.Format.nChannels = static_cast<uint16_t>(AChannels);
    LFormat.Format.nSamplesPerSec = ASampleRate;
    LFormat.Format.nAvgBytesPerSec = static_cast<uint32_t>(uint64_t{ASampleRate} * LBlockAlign);
    LFormat.Format.nBlockAlign = static_cast<uint16_t>(LBlockAlign);
    LFormat.Format.wBitsPerSample = static_cast<uint16_t>(ABits);
    LFormat.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    LFormat.Samples.wValidBitsPerSample = static_cast<uint16_t>(ABits);
    LFormat.dwChannelMask = AChannelMask != 0 ? AChannelMask : DefaultChannelMask(AChannels);
    LFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return LFormat;
}

std::string DescribeWaveFormat(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const unsigned LChannels = AFormat.Format.nChannels;
    return std::to_string(AFormat.Format.nSamplesPerSec) + " Hz, " + std::to_string(AFormat.Format.wBitsPerSample) +
           " bits, " + std::to_string(LChannels) + (LChannels == 1 ? " channel" : " channels");
}

} // namespace Sonorix
