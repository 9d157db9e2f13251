// SPDX-License-Identifier: MIT
// Buffer arithmetic for the package's own components, beside the methods of
// ISNAudioBuffer.
#pragma once

#include "SNAudioBuffer.h"

namespace Sonorix {

// ADest's frames [ADestOffset, +ACount) += ASource's frames from
// ASourceOffset multiplied by AFactor, with the bits of MultiplyByReal on a
// copy followed by Add, in one pass. Widths and channel counts must match
// (EAssertionFailed); std::out_of_range when a range passes an end.
void AddScaledFrames(const ISNAudioBuffer& ASource, uint32_t ASourceOffset, ISNAudioBuffer& ADest,
                     uint32_t ADestOffset, uint32_t ACount, double AFactor);

} // namespace Sonorix
