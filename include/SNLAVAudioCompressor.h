// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNBasicCompressor.h"
#include "XVLAVSupport.h"

#include <memory>
#include <vector>

struct AVPacket;

namespace Sonorix {
SN_API_BEGIN

namespace LAV {
class TLAVEncoder;
}

// Encodes the audio arriving on InputPin with a libavcodec audio encoder
// chosen by AudioCompression.CodecName ("flac", "libvorbis", "libmp3lame",
// "aac", "libopus", ...), and sends the packets in the codec packet framing
// on OutputPin.
//
// The stream begins with a TPNStartSampleRateOperation and a codec header
// packet (b_o_s set; it names the codec and carries rate, channels, speaker
// mask, width and the codec's global header), which TSNLAVAudioDecompressor
// reads. Each following packet has granulepos = its end in samples; the last
// one, sent when the stop drains the encoder, has e_o_s set.
//
//   TSNLAVAudioCompressor LEncoder;
//   LEncoder.GetAudioCompression().SetCodecName("flac");
//   LSource.GetOutputPin().Connect(LEncoder.GetInputPin());
class TSNLAVAudioCompressor : public TSNBasicAudioCompressor, public TLAVErrorSource {
public:
    TSNLAVAudioCompressor();
    ~TSNLAVAudioCompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNLAVAudioCompression& GetAudioCompression() { return FAudioCompression; }

protected:
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    bool IntSingleBufferOperation(const IPNNotifyOperationPtr& AOperation) override;
    void StreamStop() override;
    // Called with FInputLock held.
    void BeginAudio(const TPNStartWaveOperation& AStartOperation);
    void RenderAudio(const ISNAudioBufferPtr& ABuffer);

private:
    void SendPacket(const uint8_t* AData, int ASize, int64_t AGranulePos, bool AEndOfStream);
    void QueuePacket(const AVPacket* APacket);
    void SendHeader();

    TSNLAVAudioCompression FAudioCompression;
    WAVEFORMATEXTENSIBLE FFormat{};
    bool FStarted = false;
    std::unique_ptr<LAV::TLAVEncoder> FEncoder;
    int64_t FPacketNo = 0;
    // The newest packet is held back until the next one, so the last gets e_o_s.
    std::vector<uint8_t> FPending;
    int64_t FPendingGranule = 0;
    bool FHasPending = false;
};

namespace SNLAVAudioCompressor {
void RegisterPkg();
} // namespace SNLAVAudioCompressor

SN_API_END
} // namespace Sonorix
