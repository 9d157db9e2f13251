// SPDX-License-Identifier: MIT
#include "codecs/SNVorbisEncoder.h"

#include <cstring>

namespace Sonorix {

namespace {
// Samples of one width to floats in [-1, 1), one channel column at a time.
// Every scale is a power of two, so each value is the sample rounded once
// to float: the same floats libswresample gives libav's encoders.
template <unsigned Bits>
void Deinterleave(const uint8_t* ASource, uint32_t AFrames, unsigned AChannels, float** ADest)
{
    constexpr unsigned LBytes = Bits / 8;
    const size_t LStep = static_cast<size_t>(LBytes) * AChannels;
    for (unsigned c = 0; c < AChannels; ++c) {
        const uint8_t* LIn = ASource + c * LBytes;
        float* LOut = ADest[c];
        for (uint32_t i = 0; i < AFrames; ++i, LIn += LStep) {
            if constexpr (Bits == 8) {
                LOut[i] = static_cast<float>(static_cast<int>(*LIn) - 128) * (1.0f / 128.0f);
            } else if constexpr (Bits == 16) {
                int16_t s;
                std::memcpy(&s, LIn, 2);
                LOut[i] = static_cast<float>(s) * (1.0f / 32768.0f);
            } else if constexpr (Bits == 24) {
                const int32_t s = static_cast<int32_t>((static_cast<uint32_t>(LIn[0]) << 8) |
                                                       (static_cast<uint32_t>(LIn[1]) << 16) |
                                                       (static_cast<uint32_t>(LIn[2]) << 24)) >>
                                  8;
                LOut[i] = static_cast<float>(s) * (1.0f / 8388608.0f);
            } else {
                int32_t s;
                std::memcpy(&s, LIn, 4);
                LOut[i] = static_cast<float>(s) * (1.0f / 2147483648.0f);
            }
        }
    }
}
} // namespace

TVorbisEncoder::~TVorbisEncoder()
{
    if (FAnalysing) {
        vorbis_block_clear(FBlock.get());
        vorbis_dsp_clear(FDSPState.get());
    }
    if (FInfoReady)
        vorbis_info_clear(&FInfo);
}

int TVorbisEncoder::Open(unsigned AChannels, unsigned ARate, int32_t ABitRate, float AQuality)
{
    vorbis_info_init(&FInfo);
    FInfoReady = true;
    const int LResult =
        ABitRate > 0
            ? vorbis_encode_init(&FInfo, static_cast<long>(AChannels), static_cast<long>(ARate), -1, ABitRate, -1)
            : vorbis_encode_init_vbr(&FInfo, static_cast<long>(AChannels), static_cast<long>(ARate), AQuality);
    if (LResult != 0)
        return LResult;
    FChannels = AChannels;
    FDSPState.reset(static_cast<vorbis_dsp_state*>(DLL_GetDSPStateStruct()));
    FBlock.reset(static_cast<vorbis_block*>(DLL_GetVorbisBlockStruct()));
    FPacket.reset(static_cast<ogg_packet*>(DLL_Getogg_packetStruct()));
    vorbis_analysis_init(FDSPState.get(), &FInfo);
    vorbis_block_init(FDSPState.get(), FBlock.get());
    FAnalysing = true;
    return 0;
}

void TVorbisEncoder::Headers(vorbis_comment& AComment, ogg_packet* (&APackets)[3])
{
    for (int i = 0; i < 3; ++i) {
        if (!FHeaders[i])
            FHeaders[i].reset(static_cast<ogg_packet*>(DLL_Getogg_packetStruct()));
        APackets[i] = FHeaders[i].get();
    }
    vorbis_analysis_headerout(FDSPState.get(), &AComment, APackets[0], APackets[1], APackets[2]);
}

void TVorbisEncoder::Write(const uint8_t* AData, uint32_t AFrames, unsigned ABits)
{
    if (AFrames == 0)
        return;
    float** LArrays = vorbis_analysis_buffer(FDSPState.get(), static_cast<int>(AFrames));
    switch (ABits) {
    case 8: Deinterleave<8>(AData, AFrames, FChannels, LArrays); break;
    case 16: Deinterleave<16>(AData, AFrames, FChannels, LArrays); break;
    case 24: Deinterleave<24>(AData, AFrames, FChannels, LArrays); break;
    case 32: Deinterleave<32>(AData, AFrames, FChannels, LArrays); break;
    default: return;
    }
    vorbis_analysis_wrote(FDSPState.get(), static_cast<int>(AFrames));
}

void TVorbisEncoder::Finish()
{
    vorbis_analysis_wrote(FDSPState.get(), 0);
}

ogg_packet* TVorbisEncoder::NextPacket()
{
    for (;;) {
        if (FBlockPending && vorbis_bitrate_flushpacket(FDSPState.get(), FPacket.get()))
            return FPacket.get();
        FBlockPending = false;
        if (vorbis_analysis_blockout(FDSPState.get(), FBlock.get()) != 1)
            return nullptr;
        vorbis_analysis(FBlock.get(), nullptr);
        vorbis_bitrate_addblock(FBlock.get());
        FBlockPending = true;
    }
}

} // namespace Sonorix
