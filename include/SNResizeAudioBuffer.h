// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNAudioBuffer.h"

namespace Sonorix {
SN_API_BEGIN

// Fills ADest, whose format and frame count are already set, from ASource by
// band-limited resampling to ADest's length: ADest's frame k stands for
// ASource's time k x (source frames / destination frames). Width and channel
// count are converted as well. Equal lengths copy (CopyTo); an empty source
// gives silence.
//
// The buffer is resampled on its own, and the resampler's delay is removed.
// Beyond its two ends the signal is taken as mirrored around the first and
// last frame, so a steady signal stays steady up to both ends; a signal that
// starts or stops abruptly shows the filter's ringing within about 64 frames
// of the ends. Shrinking so far that the filter is longer than the buffer
// averages the source frames each destination frame covers. The rate change
// (TSNChangeFormat) resizes each buffer of a stream this way.
//
//   auto LOut = TSNAudioBuffer::CreateSize(48000, 16, 2, 1115);
//   ResizeAudioBuffer(*LIn1024Frames, *LOut);
void ResizeAudioBuffer(const ISNAudioBuffer& ASource, ISNAudioBuffer& ADest);

SN_API_END
} // namespace Sonorix
