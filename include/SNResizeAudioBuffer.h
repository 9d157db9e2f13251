// SPDX-License-Identifier: MIT
#pragma once

#include "SNAudioBuffer.h"

namespace Sonorix {

// Fills ADest, whose format and frame count are already set, from ASource by
// band-limited resampling to ADest's length: ADest's frame k stands for
// ASource's time k x (source frames / destination frames). Width and channel
// count are converted as well. Equal lengths copy (CopyTo); an empty source
// gives silence.
//
// The buffer is resampled on its own: beyond its two ends the signal is
// taken as silence, and the resampler's delay is removed, so the first and
// last few dozen frames of a loud buffer show the filter's edge response
// (a fade over about 30 frames at the ends; see docs/architecture.md for the
// figures). Streams cut into buffers are better served by the rate change
// (TSNChangeFormat), which carries the resampler's history across buffers.
//
//   auto LOut = TSNAudioBuffer::CreateSize(48000, 16, 2, 1115);
//   ResizeAudioBuffer(*LIn1024Frames, *LOut);
void ResizeAudioBuffer(const ISNAudioBuffer& ASource, ISNAudioBuffer& ADest);

} // namespace Sonorix
