// SPDX-License-Identifier: MIT
// Format rules shared by the multi-input base and the mixer family.
#pragma once

#include "SNAudioFormat.h"

#include <cstdint>

namespace Sonorix::MultiInput {

// Widths the audio buffer knows; others are taken as the next one up.
inline uint32_t ValidBits(uint32_t ABits)
{
    if (ABits <= 8)
        return 8;
    if (ABits <= 16)
        return 16;
    if (ABits <= 24)
        return 24;
    return 32;
}

inline constexpr uint32_t CMaxChannels = 32;

inline bool UsableFormat(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const WAVEFORMATEX& LFormat = AFormat.Format;
    return LFormat.nChannels >= 1 && LFormat.nChannels <= CMaxChannels && LFormat.nSamplesPerSec > 0 &&
           (LFormat.wBitsPerSample == 8 || LFormat.wBitsPerSample == 16 || LFormat.wBitsPerSample == 24 ||
            LFormat.wBitsPerSample == 32);
}

} // namespace Sonorix::MultiInput
