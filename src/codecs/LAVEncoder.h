// SPDX-License-Identifier: MIT
// An audio encoder of libavcodec fed with interleaved integer PCM: picks the
// codec's sample format, rate and channel layout (converting through
// libswresample when the codec does not take the stream's rate or layout),
// stages input to the codec's frame size, keeps the timestamps and hands every
// packet to a sink. Shared by the libav encoder component and the libav file
// writer.
#pragma once

#include "LAVInternal.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include <functional>
#include <string>
#include <vector>

namespace Sonorix::LAV {

class TLAVEncoder {
public:
    using TPacketSink = std::function<void(AVPacket* APacket)>;

    TLAVEncoder() = default;
    ~TLAVEncoder() { Close(); }
    TLAVEncoder(const TLAVEncoder&) = delete;
    TLAVEncoder& operator=(const TLAVEncoder&) = delete;

    // Opens ACodec for the stream format. AOptions are applied before
    // opening. Returns 0 or a libav error code with ADetail saying why.
    // AConversion receives what the codec takes instead of the stream's rate,
    // channel layout or sample format ("" when it takes the stream as it is).
    int Open(const AVCodec* ACodec, const WAVEFORMATEXTENSIBLE& AFormat, int64_t ABitRate, bool AGlobalHeader,
             const std::string& AOptions, std::string& ADetail, std::string& AConversion);
    bool IsOpen() const { return FContext != nullptr; }
    AVCodecContext* GetContext() const { return FContext; }
    // Frames per encoded frame when the codec needs a fixed count, else 0.
    int GetStagingFrames() const { return FStagingFrames; }

    // Encodes AFrames interleaved frames of the open format. Returns 0 or the
    // libav error of the encoder.
    int Write(const uint8_t* AData, int AFrames, const TPacketSink& ASink);
    // Encodes what is staged and drains the encoder.
    int Finish(const TPacketSink& ASink);
    void Close();

private:
    int EncodeFrame(const uint8_t* AData, int AFrames, const TPacketSink& ASink);
    int Receive(const TPacketSink& ASink);
    // The resampling path: converts into FFifo, encodes what fills frames
    // (everything when AFlush).
    int OpenResampler(AVChannelLayout& AInLayout, int AInRate, std::string& ADetail);
    int Resample(const uint8_t* AData, int AFrames, const TPacketSink& ASink);
    int EncodeFifo(bool AFlush, const TPacketSink& ASink);
    void ReserveConverted(int AFrames);
    // FFrame with room for AFrames in the codec's format; then it is sent
    // with the next timestamp and the packets go to ASink.
    int PrepareFrame(int AFrames);
    int SendFrame(const TPacketSink& ASink);

    AVCodecContext* FContext = nullptr;
    AVFrame* FFrame = nullptr;
    AVPacket* FPacket = nullptr;
    unsigned FBits = 16;
    unsigned FBlockAlign = 0;
    int FChannels = 0;
    std::vector<uint8_t> FStaging;
    int FStagingFrames = 0;
    int FStagingFill = 0;
    int64_t FNextPts = 0;
    SwrContext* FResampler = nullptr;
    AVAudioFifo* FFifo = nullptr;
    // Scratch of the resampling path, grown as needed: the input as s32
    // (24-bit streams) and the converted planes.
    std::vector<uint8_t> FWideInput;
    std::vector<uint8_t> FConverted;
    std::vector<uint8_t*> FConvertedPlanes;
    int FConvertedCapacity = 0;
};

} // namespace Sonorix::LAV
