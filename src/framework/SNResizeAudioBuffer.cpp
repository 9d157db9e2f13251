// SPDX-License-Identifier: MIT
#include "SNResizeAudioBuffer.h"

#include "SNPCMConverter.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace Sonorix {

void ResizeAudioBuffer(const ISNAudioBuffer& ASource, ISNAudioBuffer& ADest)
{
    const uint32_t S = ASource.GetSize();
    const uint32_t D = ADest.GetSize();
    if (D == 0)
        return;
    if (S == D) {
        ASource.CopyTo(0, ADest, 0, S);
        return;
    }
    ADest.Zero();
    if (S == 0)
        return;
    // The lengths, reduced, are the two rates: the result spans the source.
    const uint32_t LCommon = std::gcd(S, D);
    WAVEFORMATEXTENSIBLE LIn = ASource.GetWaveFormat();
    WAVEFORMATEXTENSIBLE LOut = ADest.GetWaveFormat();
    LIn.Format.nSamplesPerSec = S / LCommon;
    LOut.Format.nSamplesPerSec = D / LCommon;
    std::unique_ptr<TSNPCMConverter> LConverter;
    if (LIn.Format.nSamplesPerSec > 1536000 || LOut.Format.nSamplesPerSec > 1536000) {
        // Long lengths without a small common measure: the same ratio on
        // rates the converter takes (relative error below 1e-6).
        const double LScale = 1536000.0 / double(std::max(S, D));
        LIn.Format.nSamplesPerSec = std::max(1u, static_cast<uint32_t>(std::lround(S * LScale)));
        LOut.Format.nSamplesPerSec = std::max(1u, static_cast<uint32_t>(std::lround(D * LScale)));
    }
    if (PCMStreamOpen(LConverter, LIn, LOut, ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR)
        return;
    const uint32_t LDone = LConverter->ConvertFrames(ASource.ByteRead(), S, ADest.ByteWrite(), D, true);
    // A frame short at the end (rounding of the resampler's count): the last
    // one is held.
    for (uint32_t f = LDone; f > 0 && f < D; ++f)
        ADest.CopyTo(f - 1, ADest, f, 1);
}

} // namespace Sonorix
