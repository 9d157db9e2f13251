// SPDX-License-Identifier: MIT
#include "SNPCMConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#ifdef SONORIX_HAVE_FFMPEG
#include "SNSwresample.h"
#endif

namespace Sonorix {

namespace {

bool SupportedFormat(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const WAVEFORMATEX& F = AFormat.Format;
    const bool LPcm = F.wFormatTag == WAVE_FORMAT_PCM ||
                      (F.wFormatTag == WAVE_FORMAT_EXTENSIBLE && AFormat.SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
    const bool LWidth = F.wBitsPerSample == 8 || F.wBitsPerSample == 16 || F.wBitsPerSample == 24 ||
                        F.wBitsPerSample == 32;
    return LPcm && LWidth && F.nChannels >= 1 && F.nChannels <= 32 && F.nSamplesPerSec >= 1 &&
           F.nSamplesPerSec <= 1536000;
}

uint32_t FrameBytes(const WAVEFORMATEXTENSIBLE& AFormat)
{
    return uint32_t(AFormat.Format.nChannels) * (AFormat.Format.wBitsPerSample / 8u);
}

uint32_t MaskOf(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const uint32_t LMask = AFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? AFormat.dwChannelMask : 0;
    // A mask that names another number of speakers than there are channels
    // is not used.
    if (LMask != 0 && uint32_t(__builtin_popcount(LMask)) == AFormat.Format.nChannels)
        return LMask;
    return DefaultChannelMask(AFormat.Format.nChannels);
}

WAVEFORMATEXTENSIBLE Complete(const WAVEFORMATEXTENSIBLE& AFormat)
{
    WAVEFORMATEXTENSIBLE LFormat = AFormat;
    LFormat.Format.nBlockAlign = static_cast<uint16_t>(FrameBytes(AFormat));
    LFormat.Format.nAvgBytesPerSec = LFormat.Format.nSamplesPerSec * LFormat.Format.nBlockAlign;
    LFormat.dwChannelMask = MaskOf(AFormat);
    return LFormat;
}

} // namespace

#ifdef SONORIX_HAVE_FFMPEG

namespace {

// The resampler's filter: taps per phase, 2^phase shift phases (linearly
// interpolated), cutoff as a fraction of the lower Nyquist frequency, Kaiser
// window. Chosen by measurement (SNPCMConverterTest prints the figures).
constexpr int CFilterSize = 128;
constexpr int CPhaseShift = 10;
constexpr double CCutoff = 0.95;
constexpr double CKaiserBeta = 10.0;

// Going down, libswresample widens the filter by the rate ratio, and its bank
// holds taps x (phases + 1) coefficients, each computed at set-up: at 1024
// phases a 130:1 ratio (a header claiming 1 MHz, say) costs a second and
// 70 MB. Beyond this many coefficients (a 15:1 ratio at full phases) the
// phases are halved until the bank fits; linear interpolation between
// phases covers the rest.
constexpr double CMaxBankCoefficients = 2.0e6;

int PhaseShiftFor(uint32_t AInRate, uint32_t AOutRate)
{
    const double LFactor = std::min(double(AOutRate) * CCutoff / double(AInRate), 1.0);
    const double LTaps = std::ceil(CFilterSize / LFactor);
    int LShift = CPhaseShift;
    while (LShift > 0 && LTaps * double((1 << LShift) + 1) > CMaxBankCoefficients)
        --LShift;
    return LShift;
}

AVSampleFormat SampleFormat(uint32_t ABits)
{
    switch (ABits) {
    case 8:
        return AV_SAMPLE_FMT_U8;
    case 16:
        return AV_SAMPLE_FMT_S16;
    default:
        return AV_SAMPLE_FMT_S32; // 24-bit samples travel as the top of 32
    }
}

} // namespace

struct TSNPCMConverter::TImpl {
    SwrContext* Swr = nullptr;
    uint32_t InBits = 0, OutBits = 0, InChannels = 0, OutChannels = 0;
    // 24-bit samples widened to 32 on the way in and out.
    std::vector<int32_t> InWide, OutWide;

    ~TImpl()
    {
        if (Swr)
            Swresample()->swr_free(&Swr);
    }

    // Resampling through libswresample's own polyphase filter, set for
    // products below -90 dBFS at 0.45 fs (see docs/architecture.md).
    static SwrContext* Create(const WAVEFORMATEXTENSIBLE& ASource, const WAVEFORMATEXTENSIBLE& ADest)
    {
        const TSwresample* S = Swresample();
        if (!S)
            return nullptr;
        AVChannelLayout LIn{}, LOut{};
        S->av_channel_layout_from_mask(&LIn, MaskOf(ASource));
        S->av_channel_layout_from_mask(&LOut, MaskOf(ADest));
        SwrContext* LSwr = nullptr;
        const int LResult = S->swr_alloc_set_opts2(
            &LSwr, &LOut, SampleFormat(ADest.Format.wBitsPerSample), int(ADest.Format.nSamplesPerSec), &LIn,
            SampleFormat(ASource.Format.wBitsPerSample), int(ASource.Format.nSamplesPerSec), 0, nullptr);
        S->av_channel_layout_uninit(&LIn);
        S->av_channel_layout_uninit(&LOut);
        if (LResult < 0 || !LSwr)
            return nullptr;
        const bool LWide = ASource.Format.wBitsPerSample == 32 || ADest.Format.wBitsPerSample == 32;
        S->av_opt_set_sample_fmt(LSwr, "internal_sample_fmt", LWide ? AV_SAMPLE_FMT_DBLP : AV_SAMPLE_FMT_FLTP, 0);
        S->av_opt_set_int(LSwr, "resampler", SWR_ENGINE_SWR, 0);
        S->av_opt_set_int(LSwr, "filter_size", CFilterSize, 0);
        S->av_opt_set_int(LSwr, "phase_shift",
                          PhaseShiftFor(ASource.Format.nSamplesPerSec, ADest.Format.nSamplesPerSec), 0);
        S->av_opt_set_int(LSwr, "linear_interp", 1, 0);
        S->av_opt_set_double(LSwr, "cutoff", CCutoff, 0);
        S->av_opt_set_double(LSwr, "kaiser_beta", CKaiserBeta, 0);
        if (S->swr_init(LSwr) < 0)
            S->swr_free(&LSwr);
        return LSwr;
    }
};

TSNPCMConverter::TSNPCMConverter(std::unique_ptr<TImpl> AImpl) : FImpl(std::move(AImpl)) {}

TSNPCMConverter::~TSNPCMConverter() = default;

uint32_t PCMStreamOpen(std::unique_ptr<TSNPCMConverter>& AStream, const WAVEFORMATEXTENSIBLE& ASource,
                       const WAVEFORMATEXTENSIBLE& ADest, uint32_t AFlags)
{
    if ((AFlags & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) != 0)
        return MMSYSERR_INVALFLAG;
    if (!SupportedFormat(ASource) || !SupportedFormat(ADest))
        return ACMERR_NOTPOSSIBLE;
    auto LImpl = std::make_unique<TSNPCMConverter::TImpl>();
    LImpl->Swr = TSNPCMConverter::TImpl::Create(ASource, ADest);
    if (!LImpl->Swr)
        return ACMERR_NOTPOSSIBLE;
    if (AFlags & ACM_STREAMOPENF_QUERY)
        return MMSYSERR_NOERROR;
    LImpl->InBits = ASource.Format.wBitsPerSample;
    LImpl->OutBits = ADest.Format.wBitsPerSample;
    LImpl->InChannels = ASource.Format.nChannels;
    LImpl->OutChannels = ADest.Format.nChannels;
    AStream.reset(new TSNPCMConverter(std::move(LImpl)));
    AStream->FSource = Complete(ASource);
    AStream->FDest = Complete(ADest);
    return MMSYSERR_NOERROR;
}

uint64_t TSNPCMConverter::MaxOutputFrames(uint64_t AFrames) const
{
    AFrames = std::min<uint64_t>(AFrames, std::numeric_limits<int>::max());
    const int LResult = Swresample()->swr_get_out_samples(FImpl->Swr, int(AFrames));
    return LResult < 0 ? 0 : uint64_t(LResult);
}

void TSNPCMConverter::Reset()
{
    Swresample()->swr_init(FImpl->Swr);
}

uint32_t TSNPCMConverter::ConvertFrames(const uint8_t* ASource, uint32_t AFrames, uint8_t* ADest, uint32_t ACapacity,
                                        bool ADrain)
{
    TImpl& I = *FImpl;
    const uint8_t* LIn = ASource;
    if (I.InBits == 24 && AFrames > 0) {
        const size_t LCount = size_t(AFrames) * I.InChannels;
        if (I.InWide.size() < LCount)
            I.InWide.resize(LCount);
        for (size_t k = 0; k < LCount; ++k) {
            const uint8_t* p = ASource + 3 * k;
            I.InWide[k] = int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
        }
        LIn = reinterpret_cast<const uint8_t*>(I.InWide.data());
    }
    uint8_t* LOut = ADest;
    if (I.OutBits == 24) {
        const size_t LCount = size_t(ACapacity) * I.OutChannels;
        if (I.OutWide.size() < LCount)
            I.OutWide.resize(LCount);
        LOut = reinterpret_cast<uint8_t*>(I.OutWide.data());
    }
    int LDone = 0;
    const int LCapacity = int(std::min<uint32_t>(ACapacity, std::numeric_limits<int>::max()));
    if (AFrames > 0) {
        const uint8_t* LInPlanes[1] = {LIn};
        uint8_t* LOutPlanes[1] = {LOut};
        LDone = std::max(0, Swresample()->swr_convert(I.Swr, LOutPlanes, LCapacity, LInPlanes, int(AFrames)));
    }
    if (ADrain && LDone < LCapacity) {
        uint8_t* LOutPlanes[1] = {LOut + size_t(LDone) * (I.OutBits == 24 ? 4 : I.OutBits / 8) * I.OutChannels};
        LDone += std::max(0, Swresample()->swr_convert(I.Swr, LOutPlanes, LCapacity - LDone, nullptr, 0));
    }
    if (I.OutBits == 24) {
        const size_t LCount = size_t(LDone) * I.OutChannels;
        for (size_t k = 0; k < LCount; ++k) {
            // Rounded to nearest, limited to 24 bits.
            const int64_t v = std::min<int64_t>((int64_t(I.OutWide[k]) + 128) >> 8, 8388607);
            uint8_t* p = ADest + 3 * k;
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v >> 16);
        }
    }
    return uint32_t(LDone);
}

#else // no libswresample: the converter is not available

struct TSNPCMConverter::TImpl {};
TSNPCMConverter::TSNPCMConverter(std::unique_ptr<TImpl> AImpl) : FImpl(std::move(AImpl)) {}
TSNPCMConverter::~TSNPCMConverter() = default;
uint32_t PCMStreamOpen(std::unique_ptr<TSNPCMConverter>&, const WAVEFORMATEXTENSIBLE& ASource,
                       const WAVEFORMATEXTENSIBLE& ADest, uint32_t AFlags)
{
    if ((AFlags & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) != 0)
        return MMSYSERR_INVALFLAG;
    (void)ASource;
    (void)ADest;
    return ACMERR_NOTPOSSIBLE;
}
uint64_t TSNPCMConverter::MaxOutputFrames(uint64_t) const { return 0; }
void TSNPCMConverter::Reset() {}
uint32_t TSNPCMConverter::ConvertFrames(const uint8_t*, uint32_t, uint8_t*, uint32_t, bool) { return 0; }

#endif

uint32_t PCMStreamOpen(std::unique_ptr<TSNPCMConverter>& AStream, const WAVEFORMATEX& ASource,
                       const WAVEFORMATEX& ADest, uint32_t AFlags)
{
    WAVEFORMATEXTENSIBLE LSource{}, LDest{};
    LSource.Format = ASource;
    LDest.Format = ADest;
    // A bare header carries no mask: the usual one of the channel count.
    if (ASource.wFormatTag == WAVE_FORMAT_EXTENSIBLE || ADest.wFormatTag == WAVE_FORMAT_EXTENSIBLE)
        return ACMERR_NOTPOSSIBLE;
    return PCMStreamOpen(AStream, LSource, LDest, AFlags);
}

uint32_t PCMStreamSize(const TSNPCMConverter* AStream, uint32_t ALength, uint32_t& AResult, uint32_t AFlags)
{
    if (!AStream)
        return MMSYSERR_INVALHANDLE;
    if (AFlags != ACM_STREAMSIZEF_SOURCE && AFlags != ACM_STREAMSIZEF_DESTINATION)
        return MMSYSERR_INVALFLAG;
    if (ALength == 0)
        return MMSYSERR_INVALPARAM;
    const uint64_t LInAlign = FrameBytes(AStream->GetSourceFormat());
    const uint64_t LOutAlign = FrameBytes(AStream->GetDestFormat());
    uint64_t LResult = 0;
    if (AFlags == ACM_STREAMSIZEF_SOURCE) {
        LResult = AStream->MaxOutputFrames(ALength / LInAlign) * LOutAlign;
    } else {
        const uint64_t LOutFrames = (ALength + LOutAlign - 1) / LOutAlign;
        const uint64_t LInRate = AStream->GetSourceFormat().Format.nSamplesPerSec;
        const uint64_t LOutRate = AStream->GetDestFormat().Format.nSamplesPerSec;
        LResult = (LOutFrames * LInRate + LOutRate - 1) / LOutRate * LInAlign;
    }
    if (LResult == 0 || LResult > std::numeric_limits<uint32_t>::max())
        return ACMERR_NOTPOSSIBLE;
    AResult = static_cast<uint32_t>(LResult);
    return MMSYSERR_NOERROR;
}

uint32_t PCMStreamPrepareHeader(const TSNPCMConverter* AStream, TSNPCMStreamHeader& AHeader)
{
    if (!AStream)
        return MMSYSERR_INVALHANDLE;
    if (!AHeader.Source || !AHeader.Dest)
        return MMSYSERR_INVALPARAM;
    AHeader.Prepared = true;
    return MMSYSERR_NOERROR;
}

uint32_t PCMStreamUnprepareHeader(const TSNPCMConverter* AStream, TSNPCMStreamHeader& AHeader)
{
    if (!AStream)
        return MMSYSERR_INVALHANDLE;
    if (!AHeader.Prepared)
        return ACMERR_UNPREPARED;
    AHeader.Prepared = false;
    return MMSYSERR_NOERROR;
}

uint32_t PCMStreamConvert(TSNPCMConverter* AStream, TSNPCMStreamHeader& AHeader, uint32_t AFlags)
{
    if (!AStream)
        return MMSYSERR_INVALHANDLE;
    if ((AFlags & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END)) != 0)
        return MMSYSERR_INVALFLAG;
    if (!AHeader.Prepared)
        return ACMERR_UNPREPARED;
    if (AFlags & ACM_STREAMCONVERTF_START)
        AStream->Reset();
    const uint32_t LInAlign = FrameBytes(AStream->GetSourceFormat());
    const uint32_t LOutAlign = FrameBytes(AStream->GetDestFormat());
    const uint32_t LFrames = AHeader.SourceLength / LInAlign;
    const uint32_t LOut = AStream->ConvertFrames(AHeader.Source, LFrames, AHeader.Dest, AHeader.DestLength / LOutAlign,
                                                 (AFlags & ACM_STREAMCONVERTF_END) != 0);
    AHeader.SourceLengthUsed = LFrames * LInAlign;
    AHeader.DestLengthUsed = LOut * LOutAlign;
    return MMSYSERR_NOERROR;
}

} // namespace Sonorix
