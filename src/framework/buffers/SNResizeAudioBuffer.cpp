// SPDX-License-Identifier: MIT
#include "SNResizeAudioBuffer.h"

#include "SNPCMConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace Sonorix {

namespace {

// For shrinking so far that the resampler's filter is longer than the
// buffer (it then gives nothing): each destination frame is the mean of the
// source frames it covers.
void AverageFrames(const ISNAudioBuffer& ASource, ISNAudioBuffer& ADest)
{
    const uint32_t S = ASource.GetSize(), D = ADest.GetSize(), LChannels = ADest.GetChannels();
    ISNAudioBufferPtr LWide = TSNAudioBuffer::CreateSize(ADest.GetSamplesPerSecond(), 32, LChannels, S);
    ASource.CopyTo(0, *LWide, 0, S);
    ISNAudioBufferPtr LMeans = TSNAudioBuffer::CreateSize(ADest.GetSamplesPerSecond(), 32, LChannels, D);
    auto* LOut = static_cast<int32_t*>(LMeans->Modify());
    for (uint32_t k = 0; k < D; ++k) {
        const uint32_t LFirst = uint32_t(uint64_t(k) * S / D);
        const uint32_t LEnd = std::max(LFirst + 1, uint32_t(uint64_t(k + 1) * S / D));
        for (uint32_t c = 0; c < LChannels; ++c) {
            int64_t LSum = 0;
            for (uint32_t f = LFirst; f < LEnd; ++f)
                LSum += LWide->GetItem(f, c);
            LOut[size_t(k) * LChannels + c] = int32_t(LSum / int64_t(LEnd - LFirst));
        }
    }
    LMeans->CopyTo(0, ADest, 0, D);
}

// The converter of the last call on this thread, reset and used again while
// the formats stay the same: opening one builds its filter bank, which costs
// far more than resampling a buffer.
struct TLastConverter {
    WAVEFORMATEXTENSIBLE In{}, Out{};
    std::unique_ptr<TSNPCMConverter> Converter;
};
thread_local TLastConverter GLast;

} // namespace

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
    if (LIn.Format.nSamplesPerSec > 1536000 || LOut.Format.nSamplesPerSec > 1536000) {
        // Long lengths without a small common measure: the same ratio on
        // rates the converter takes (relative error below 1e-6).
        const double LScale = 1536000.0 / double(std::max(S, D));
        LIn.Format.nSamplesPerSec = std::max(1u, static_cast<uint32_t>(std::lround(S * LScale)));
        LOut.Format.nSamplesPerSec = std::max(1u, static_cast<uint32_t>(std::lround(D * LScale)));
    }
    uint32_t LDone = 0;
    if (GLast.Converter && std::memcmp(&GLast.In, &LIn, sizeof LIn) == 0 &&
        std::memcmp(&GLast.Out, &LOut, sizeof LOut) == 0) {
        GLast.Converter->Reset();
    } else {
        GLast.Converter.reset();
        if (PCMStreamOpen(GLast.Converter, LIn, LOut, ACM_STREAMOPENF_NONREALTIME) == MMSYSERR_NOERROR) {
            GLast.In = LIn;
            GLast.Out = LOut;
        }
    }
    if (GLast.Converter)
        LDone = GLast.Converter->ConvertFrames(ASource.ByteRead(), S, ADest.ByteWrite(), D, true);
    if (LDone == 0) {
        AverageFrames(ASource, ADest);
        return;
    }
    // A frame short at the end (rounding of the resampler's count): the last
    // one is held.
    for (uint32_t f = LDone; f > 0 && f < D; ++f)
        ADest.CopyTo(f - 1, ADest, f, 1);
}

} // namespace Sonorix
