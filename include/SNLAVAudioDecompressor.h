// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "DGBuffers.h"
#include "SNAudioFormat.h"
#include "SNBasicDecompressor.h"
#include "XVLAVSupport.h"

struct AVCodecParserContext;
struct AVPacket;

namespace Sonorix {
SN_API_BEGIN

// Decodes codec packets arriving on InputPin with a libavcodec audio decoder
// and sends integer PCM on OutputPin.
//
// Packets in the codec packet framing from TSNLAVAudioCompressor start with a
// codec header that names the codec and carries its set-up; the decoder is
// opened from it unless AudioCompression.CodecName names one. Unframed bytes
// are taken as a raw elementary stream of the named codec, cut into packets
// by its parser; AudioFormat.SampleRate and Channels are then the stream's
// format for codecs that do not state it. The output width is AudioFormat.Bits;
// every libav sample format (packed or planar, integer or float) is
// interleaved into it. The output start is sent with the first decoded frame,
// when the stream's format is known. A packet that does not decode is dropped
// with its bytes and reported through OnWarning ("could not decode packet");
// decoding goes on with the next one. Without a codec (none named, no header
// packet) packets are dropped without a word.
//
//   TSNLAVAudioDecompressor LDecoder;
//   LEncoder.GetOutputPin().Connect(LDecoder.GetInputPin());
//   LDecoder.GetOutputPin().Connect(LSink.GetInputPin());
class TSNLAVAudioDecompressor : public TSNBasicAudioDecompressor, public TLAVErrorSource {
public:
    TSNLAVAudioDecompressor();
    ~TSNLAVAudioDecompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNLAVAudioDecompression& GetAudioCompression() { return FAudioCompression; }
    TSNAudioFormat& GetAudioFormat() { return FAudioFormat; }

protected:
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    void StreamStop() override;
    // Called with FInputLock held.
    void StartDecompression(double ARate);
    void DoDecompression(const IDGBlockBuffer& AData);

private:
    bool OpenCodec(const std::string& AStreamCodec, uint32_t ARate, uint32_t AChannels, uint32_t AMask,
                   const std::vector<uint8_t>& AExtraData);
    void DecodePacket(const uint8_t* AData, int ASize, int64_t APts);
    void DecodeRaw(const uint8_t* AData, size_t ASize);
    void ReceiveFrames();
    void CloseCodec();

    TSNAudioFormat FAudioFormat;
    TSNLAVAudioDecompression FAudioCompression;
    WAVEFORMATEXTENSIBLE FFormat{};
    AVCodecContext* FAudioCodecCtx = nullptr;
    AVCodecParserContext* FParser = nullptr;
    AVPacket* FPacket = nullptr;
    IDGBlockBufferPtr FPacketBuffer;
    bool FStarted = false;
    bool FStartSent = false;
    double FRate = 0;
    // Encoder priming still to drop (from the codec header).
    int64_t FSkipSamples = 0;
};

namespace SNLAVAudioDecompressor {
void RegisterPkg();
} // namespace SNLAVAudioDecompressor

SN_API_END
} // namespace Sonorix
