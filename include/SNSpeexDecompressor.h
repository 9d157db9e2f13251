// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNOggCodec.h"

#include <memory>

namespace Sonorix {
SN_API_BEGIN

class TSNPacketAssembler;

// Decodes the Ogg Speex packets arriving on InputPin (codec packet framing;
// packets may be cut across input buffers): the first packet is the Speex
// header (rate, mode, channels, frames per packet), the second the comments,
// then audio packets of FramesPerPacket frames each. Sends audio in the
// format of AudioFormat (channels, bits, rate, mask) through OutputPin in
// buffers of AudioFormat.BufferSize frames, converting from the decoded
// 16-bit stream as needed; the end of the stream (e_o_s) sends the last,
// shorter buffer. The encoder delay at the start and the padding at the end
// are cut as the granule positions say, as the reference decoder does. A
// frame that does not decode ends its packet. A header that is not a Speex
// header, or names an unknown mode or channel count, is reported through
// OnError and the stream gives no audio.
//
//   TSNSpeexDecompressor LDecoder;
//   LDecoder.GetAudioFormat().SetSampleRate(16000);
//   LPlayer.GetOutputPin().Connect(LDecoder.GetInputPin());
class TSNSpeexDecompressor : public TSNOggAudioDecompressor {
public:
    TSNSpeexDecompressor();
    ~TSNSpeexDecompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // The decoded stream (0 before its header), under the lock.
    uint16_t GetChannelCount();
    uint32_t GetSampleRate();

protected:
    void NewDecoder() override;
    void DropDecoder() override;
    void HandlePacket(const TSNCodecPacketHeader& AHeader, const uint8_t* AData) override;

private:
    struct TDecoder;
    // Called with FInputLock held.
    void ProcessHeader(const TSNCodecPacketHeader& AHeader, const uint8_t* AData);
    void ProcessSample(const TSNCodecPacketHeader& AHeader, const uint8_t* AData);
    void Deliver(const int16_t* AFrames, uint32_t ACount);
    void Emit(const uint8_t* ABytes, uint32_t AFrames);
    void Convert(const int16_t* AFrame, uint32_t AFrames, bool ADrain);
    void SendFinal();

    std::unique_ptr<TDecoder> FDecoder;
};

namespace SNSpeexDecompressor {
void RegisterPkg();
} // namespace SNSpeexDecompressor

SN_API_END
} // namespace Sonorix
