// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNOggCodec.h"

#include <atomic>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

// Encodes the PCM arriving on InputPin (8, 16, 24 or 32 bits, 1 to 255
// channels) into Vorbis packets, sent one per buffer in the codec packet
// framing through OutputPin: the three header packets at the stream's start
// (the first with b_o_s), then the audio packets; at the stop the encoder is
// drained and the last packet carries e_o_s. Quality (-0.1 .. 1.0) selects
// VBR quality mode; a non-zero BitRate (bits per second) selects managed
// average bit-rate mode instead. Comments go into the comment header with
// their "%" codes expanded. An Ogg writer downstream may ask for a restart
// (a new file): the current stream is drained and a new one begins with
// fresh headers before the next buffer is encoded.
//
//   TSNVorbisCompressor LEncoder;
//   LEncoder.SetQuality(0.4);
//   LGen.GetOutputPin().Connect(LEncoder.GetInputPin());
class TSNVorbisCompressor : public TSNOggAudioCompressor {
public:
    static constexpr TRealSpec QualityProperty{
        .Name = "Quality", .Default = 0.1, .Min = -0.1, .Max = 1.0, .DesignMin = -0.1, .DesignMax = 1.0};
    static constexpr TIntSpec BitRateProperty{
        .Name = "BitRate", .Default = 0, .Min = 0, .Max = 2000000, .DesignMin = 0, .DesignMax = 500000};

    TSNVorbisCompressor();
    ~TSNVorbisCompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // Both take effect at the next stream start or restart.
    double GetQuality() const;
    void SetQuality(double AValue);
    int32_t GetBitRate() const;
    void SetBitRate(int32_t AValue);

protected:
    void BeginStream() override;
    void EndStream() override;
    // A restart asked for by the writer is carried out before the buffer.
    void EncodeBuffer(const ISNAudioBuffer& ABuffer) override;

private:
    struct TEncoder;
    // Called with FInputLock held.
    void RenderAudio(const ISNAudioBuffer& ABuffer);
    void DrainPackets();

    double FQuality = QualityProperty.Default;
    int32_t FBitRate = static_cast<int32_t>(BitRateProperty.Default);
    std::unique_ptr<TEncoder> FEncoder;
};

namespace SNVorbisCompressor {
void RegisterPkg();
} // namespace SNVorbisCompressor

SN_API_END
} // namespace Sonorix
