// SPDX-License-Identifier: MIT
// One stream of Vorbis analysis through the wrapper library: interleaved
// integer samples in, Vorbis packets out. TSNVorbisCompressor and the
// logger's Ogg Vorbis writer both encode through it.
#pragma once

#include "codecs/SNVorbisOgg.h"

#include <cstdint>
#include <memory>

namespace Sonorix {

class TVorbisEncoder {
public:
    TVorbisEncoder() = default;
    TVorbisEncoder(const TVorbisEncoder&) = delete;
    TVorbisEncoder& operator=(const TVorbisEncoder&) = delete;
    ~TVorbisEncoder();

    // Variable bit rate at AQuality (-0.1 to 1), or managed around ABitRate
    // bit/s when it is above 0. 0, or the library's error code when it
    // refuses the stream.
    int Open(unsigned AChannels, unsigned ARate, int32_t ABitRate, float AQuality);
    // The three header packets, valid until the next call.
    void Headers(vorbis_comment& AComment, ogg_packet* (&APackets)[3]);
    // AFrames interleaved frames of ABits-bit samples (8 unsigned, 16, 24 or
    // 32 signed); the packets they complete come from NextPacket.
    void Write(const uint8_t* AData, uint32_t AFrames, unsigned ABits);
    // Ends the stream: the packets left, the last one marked e_o_s, come from
    // NextPacket.
    void Finish();
    // The next complete packet (valid until the next call), or null.
    ogg_packet* NextPacket();

private:
    vorbis_info FInfo{};
    std::unique_ptr<vorbis_dsp_state, TVorbisStructFree> FDSPState;
    std::unique_ptr<vorbis_block, TVorbisStructFree> FBlock;
    std::unique_ptr<ogg_packet, TVorbisStructFree> FPacket;
    std::unique_ptr<ogg_packet, TVorbisStructFree> FHeaders[3];
    unsigned FChannels = 0;
    bool FInfoReady = false;
    bool FAnalysing = false;
    // A block was analysed and may still hold packets.
    bool FBlockPending = false;
};

} // namespace Sonorix
