// SPDX-License-Identifier: MIT
#include "LAVInternal.h"

#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"
#include "SNDispatcher.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

namespace Sonorix::LAV {

namespace {

// A sample of any integer width aligned to 32 bits (8-bit loses its offset).
inline int32_t ReadAligned(const uint8_t* ASample, unsigned ABits)
{
    switch (ABits) {
    case 8: return static_cast<int32_t>((static_cast<uint32_t>(ASample[0]) - 128u) << 24);
    case 16: {
        int16_t LValue;
        std::memcpy(&LValue, ASample, 2);
        return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int32_t>(LValue)) << 16);
    }
    case 24: return static_cast<int32_t>(static_cast<uint32_t>(Convert24BitTo32Bit(ASample)) << 8);
    default: {
        int32_t LValue;
        std::memcpy(&LValue, ASample, 4);
        return LValue;
    }
    }
}

inline void WriteAligned(int32_t AValue, uint8_t* ASample, unsigned ABits)
{
    switch (ABits) {
    case 8: ASample[0] = static_cast<uint8_t>((AValue >> 24) + 128); break;
    case 16: {
        const auto LValue = static_cast<int16_t>(AValue >> 16);
        std::memcpy(ASample, &LValue, 2);
        break;
    }
    case 24: Convert32BitTo24Bit(AValue >> 8, ASample); break;
    default: std::memcpy(ASample, &AValue, 4); break;
    }
}

// Integer sample formats as aligned 32-bit values.
inline int32_t ReadFormatAligned(const uint8_t* ASample, AVSampleFormat APacked)
{
    switch (APacked) {
    case AV_SAMPLE_FMT_U8: return ReadAligned(ASample, 8);
    case AV_SAMPLE_FMT_S16: return ReadAligned(ASample, 16);
    case AV_SAMPLE_FMT_S32: return ReadAligned(ASample, 32);
    case AV_SAMPLE_FMT_S64: {
        int64_t LValue;
        std::memcpy(&LValue, ASample, 8);
        return static_cast<int32_t>(LValue >> 32);
    }
    default: return 0;
    }
}

inline void WriteFormatAligned(int32_t AValue, uint8_t* ASample, AVSampleFormat APacked)
{
    switch (APacked) {
    case AV_SAMPLE_FMT_U8: WriteAligned(AValue, ASample, 8); break;
    case AV_SAMPLE_FMT_S16: WriteAligned(AValue, ASample, 16); break;
    case AV_SAMPLE_FMT_S32: WriteAligned(AValue, ASample, 32); break;
    case AV_SAMPLE_FMT_S64: {
        const int64_t LValue = static_cast<int64_t>(static_cast<uint64_t>(static_cast<int64_t>(AValue)) << 32);
        std::memcpy(ASample, &LValue, 8);
        break;
    }
    default: break;
    }
}

// Full scale of a width when going from float to integer.
inline float FloatScale(unsigned ABits)
{
    switch (ABits) {
    case 8: return 128.0f;
    case 16: return 32768.0f;
    case 24: return 8388608.0f;
    default: return 2147483647.0f;
    }
}

// Locates sample (frame, channel) of planes in a packed or planar format.
struct TPlaneWalker {
    const uint8_t* const* Data;
    int Channels;
    int Size;
    bool Planar;
    const uint8_t* At(int AFrame, int AChannel) const
    {
        return Planar ? Data[AChannel] + static_cast<size_t>(AFrame) * Size
                      : Data[0] + (static_cast<size_t>(AFrame) * Channels + AChannel) * Size;
    }
    int Step() const { return Planar ? Size : Size * Channels; }
};

} // namespace

bool SameLayout(AVSampleFormat AFormat, unsigned ABits)
{
    return (AFormat == AV_SAMPLE_FMT_U8 && ABits == 8) || (AFormat == AV_SAMPLE_FMT_S16 && ABits == 16) ||
           (AFormat == AV_SAMPLE_FMT_S32 && ABits == 32);
}

void InterleaveSamples(const uint8_t* const* AData, AVSampleFormat AFormat, int AChannels, int AFirst, int AFrames,
                       unsigned ABits, uint8_t* ADest)
{
    if (AFrames <= 0 || AChannels <= 0)
        return;
    if (SameLayout(AFormat, ABits)) {
        const size_t LFrameBytes = static_cast<size_t>(AChannels) * (ABits / 8);
        std::memcpy(ADest, AData[0] + static_cast<size_t>(AFirst) * LFrameBytes, static_cast<size_t>(AFrames) * LFrameBytes);
        return;
    }
    const AVSampleFormat LPacked = av_get_packed_sample_fmt(AFormat);
    const TPlaneWalker LWalk{AData, AChannels, av_get_bytes_per_sample(AFormat), av_sample_fmt_is_planar(AFormat) != 0};
    const unsigned LBytes = ABits / 8;
    const int32_t LDestStep = static_cast<int32_t>(LBytes * AChannels);

    if (LPacked == AV_SAMPLE_FMT_FLT || LPacked == AV_SAMPLE_FMT_DBL) {
        // Through a float column per channel and the width's saturating converter.
        std::vector<float> LColumn(static_cast<size_t>(AFrames));
        const float LScale = FloatScale(ABits);
        const IppiSize LRoi{1, AFrames};
        for (int C = 0; C < AChannels; ++C) {
            for (int F = 0; F < AFrames; ++F) {
                const uint8_t* LSample = LWalk.At(AFirst + F, C);
                float LValue;
                if (LPacked == AV_SAMPLE_FMT_FLT) {
                    std::memcpy(&LValue, LSample, 4);
                    LValue *= LScale;
                } else {
                    double LDouble;
                    std::memcpy(&LDouble, LSample, 8);
                    LValue = static_cast<float>(LDouble * LScale);
                }
                LColumn[static_cast<size_t>(F)] = ABits == 8 ? LValue + 128.0f : LValue;
            }
            uint8_t* LDest = ADest + static_cast<size_t>(C) * LBytes;
            switch (ABits) {
            case 8: ippiConvert_32f8u_C1R(LColumn.data(), 4, LDest, LDestStep, LRoi, ippRndNear); break;
            case 16:
                ippiConvert_32f16s_C1R(LColumn.data(), 4, reinterpret_cast<Ipp16s*>(LDest), LDestStep, LRoi, ippRndNear);
                break;
            case 24: ippiConvert_32f24s_C1R(LColumn.data(), 4, LDest, LDestStep, LRoi, ippRndNear); break;
            default:
                ippiConvert_32f32s_C1RSfs(LColumn.data(), 4, reinterpret_cast<Ipp32s*>(LDest), LDestStep, LRoi,
                                          ippRndNear, 0);
                break;
            }
        }
        return;
    }
    for (int F = 0; F < AFrames; ++F) {
        uint8_t* LFrame = ADest + static_cast<size_t>(F) * static_cast<size_t>(LDestStep);
        for (int C = 0; C < AChannels; ++C)
            WriteAligned(ReadFormatAligned(LWalk.At(AFirst + F, C), LPacked), LFrame + C * LBytes, ABits);
    }
}

void DeinterleaveSamples(const uint8_t* ASrc, unsigned ABits, int AChannels, int AFrames, AVSampleFormat AFormat,
                         uint8_t* const* ADest, int ADestOffset)
{
    if (AFrames <= 0 || AChannels <= 0)
        return;
    if (SameLayout(AFormat, ABits)) {
        const size_t LFrameBytes = static_cast<size_t>(AChannels) * (ABits / 8);
        std::memcpy(ADest[0] + static_cast<size_t>(ADestOffset) * LFrameBytes, ASrc,
                    static_cast<size_t>(AFrames) * LFrameBytes);
        return;
    }
    const AVSampleFormat LPacked = av_get_packed_sample_fmt(AFormat);
    const TPlaneWalker LWalk{ADest, AChannels, av_get_bytes_per_sample(AFormat), av_sample_fmt_is_planar(AFormat) != 0};
    const unsigned LBytes = ABits / 8;
    const int32_t LSrcStep = static_cast<int32_t>(LBytes * AChannels);

    if (LPacked == AV_SAMPLE_FMT_FLT && ABits <= 24) {
        // Up to 24 bits a sample is exact in float and the scale is a power
        // of two, so float(sample) x scale is the column path's value to the
        // bit. Fixed-frame encoders come here for every frame (64 frames for
        // libvorbis): a loop without set-up or allocation.
        const size_t LDestStep = LWalk.Planar ? 1 : static_cast<size_t>(AChannels);
        for (int C = 0; C < AChannels; ++C) {
            float* LDest = reinterpret_cast<float*>(const_cast<uint8_t*>(LWalk.At(ADestOffset, C)));
            const uint8_t* LSrc = ASrc + static_cast<size_t>(C) * LBytes;
            switch (ABits) {
            case 8:
                for (int F = 0; F < AFrames; ++F, LSrc += LSrcStep)
                    LDest[F * LDestStep] = static_cast<float>(int(LSrc[0]) - 128) * (1.0f / 128.0f);
                break;
            case 16:
                for (int F = 0; F < AFrames; ++F, LSrc += LSrcStep) {
                    int16_t LValue;
                    std::memcpy(&LValue, LSrc, 2);
                    LDest[F * LDestStep] = static_cast<float>(LValue) * (1.0f / 32768.0f);
                }
                break;
            default:
                for (int F = 0; F < AFrames; ++F, LSrc += LSrcStep)
                    LDest[F * LDestStep] = static_cast<float>(Convert24BitTo32Bit(LSrc)) * (1.0f / 8388608.0f);
                break;
            }
        }
        return;
    }
    if (LPacked == AV_SAMPLE_FMT_FLT || LPacked == AV_SAMPLE_FMT_DBL) {
        std::vector<float> LColumn(static_cast<size_t>(AFrames));
        const IppiSize LRoi{1, AFrames};
        const double LScale = ABits == 32 ? 1.0 / 2147483648.0 : 1.0 / static_cast<double>(1u << (ABits - 1));
        for (int C = 0; C < AChannels; ++C) {
            const uint8_t* LSrc = ASrc + static_cast<size_t>(C) * LBytes;
            switch (ABits) {
            case 8: ippiConvert_8u32f_C1R(LSrc, LSrcStep, LColumn.data(), 4, LRoi); break;
            case 16: ippiConvert_16s32f_C1R(reinterpret_cast<const Ipp16s*>(LSrc), LSrcStep, LColumn.data(), 4, LRoi); break;
            case 24: ippiConvert_24s32f_C1R(LSrc, LSrcStep, LColumn.data(), 4, LRoi); break;
            default: ippiConvert_32s32f_C1R(reinterpret_cast<const Ipp32s*>(LSrc), LSrcStep, LColumn.data(), 4, LRoi); break;
            }
            for (int F = 0; F < AFrames; ++F) {
                double LValue = LColumn[static_cast<size_t>(F)];
                if (ABits == 8)
                    LValue -= 128.0;
                LValue *= LScale;
                uint8_t* LDest = const_cast<uint8_t*>(LWalk.At(ADestOffset + F, C));
                if (LPacked == AV_SAMPLE_FMT_FLT) {
                    const auto LFloat = static_cast<float>(LValue);
                    std::memcpy(LDest, &LFloat, 4);
                } else {
                    std::memcpy(LDest, &LValue, 8);
                }
            }
        }
        return;
    }
    for (int F = 0; F < AFrames; ++F) {
        const uint8_t* LFrame = ASrc + static_cast<size_t>(F) * static_cast<size_t>(LSrcStep);
        for (int C = 0; C < AChannels; ++C)
            WriteFormatAligned(ReadAligned(LFrame + C * LBytes, ABits),
                               const_cast<uint8_t*>(LWalk.At(ADestOffset + F, C)), LPacked);
    }
}

AVSampleFormat ChooseSampleFormat(const AVCodec* ACodec, unsigned ABits)
{
    if (!ACodec || !ACodec->sample_fmts)
        return AV_SAMPLE_FMT_S16;
    // Preference per width: no loss first, then float, then narrower.
    static constexpr AVSampleFormat C8[] = {AV_SAMPLE_FMT_U8, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_FLT,
                                            AV_SAMPLE_FMT_DBL, AV_SAMPLE_FMT_S64};
    static constexpr AVSampleFormat C16[] = {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_DBL,
                                             AV_SAMPLE_FMT_S64, AV_SAMPLE_FMT_U8};
    static constexpr AVSampleFormat C32[] = {AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S64, AV_SAMPLE_FMT_DBL, AV_SAMPLE_FMT_FLT,
                                             AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_U8};
    const AVSampleFormat* LOrder = ABits <= 8 ? C8 : (ABits <= 16 ? C16 : C32);
    for (int I = 0; I < 6; ++I)
        for (const AVSampleFormat* LFormat = ACodec->sample_fmts; *LFormat != AV_SAMPLE_FMT_NONE; ++LFormat)
            if (av_get_packed_sample_fmt(*LFormat) == LOrder[I])
                return *LFormat;
    return ACodec->sample_fmts[0];
}

unsigned NaturalBits(AVSampleFormat AFormat, int ABitsPerRawSample)
{
    switch (av_get_packed_sample_fmt(AFormat)) {
    case AV_SAMPLE_FMT_U8: return 8;
    case AV_SAMPLE_FMT_S16: return 16;
    case AV_SAMPLE_FMT_S32: return ABitsPerRawSample > 0 && ABitsPerRawSample <= 24 ? 24 : 32;
    default: return 32;
    }
}

uint32_t MaskFromLayout(const AVChannelLayout& ALayout)
{
    if (ALayout.order == AV_CHANNEL_ORDER_NATIVE && ALayout.u.mask != 0 && ALayout.u.mask <= 0xFFFFFFFFull)
        return static_cast<uint32_t>(ALayout.u.mask);
    return DefaultChannelMask(static_cast<unsigned>(std::max(ALayout.nb_channels, 1)));
}

bool IsPcmCodec(AVCodecID AId)
{
    return AId >= AV_CODEC_ID_PCM_S16LE && AId < AV_CODEC_ID_ADPCM_IMA_QT;
}

AVCodecID PcmCodecForWidth(AVCodecID AModel, unsigned ABits)
{
    const AVCodecDescriptor* LDescriptor = avcodec_descriptor_get(AModel);
    const std::string LName = LDescriptor ? LDescriptor->name : "";
    const bool LBigEndian = LName.size() > 2 && LName.compare(LName.size() - 2, 2, "be") == 0;
    switch (ABits) {
    case 8:
        // WAV keeps 8-bit samples unsigned; the big-endian containers signed.
        return LBigEndian || AModel == AV_CODEC_ID_PCM_S8 ? AV_CODEC_ID_PCM_S8 : AV_CODEC_ID_PCM_U8;
    case 16: return LBigEndian ? AV_CODEC_ID_PCM_S16BE : AV_CODEC_ID_PCM_S16LE;
    case 24: return LBigEndian ? AV_CODEC_ID_PCM_S24BE : AV_CODEC_ID_PCM_S24LE;
    default: return LBigEndian ? AV_CODEC_ID_PCM_S32BE : AV_CODEC_ID_PCM_S32LE;
    }
}

AVDictionary* LocalOnlyOptions()
{
    AVDictionary* LOptions = nullptr;
    av_dict_set(&LOptions, "protocol_whitelist", "file,pipe", 0);
    return LOptions;
}

std::string RefusedProtocol(const std::string& AName)
{
    const char* LProtocol = avio_find_protocol_name(AName.c_str());
    if (!LProtocol)
        return {};
    const std::string LName = LProtocol;
    return LName == "file" || LName == "pipe" ? std::string() : LName;
}

} // namespace Sonorix::LAV
