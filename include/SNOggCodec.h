// SPDX-License-Identifier: MIT
// Bases of the encoders and decoders whose packets carry the Ogg packet
// fields (Vorbis, Speex): what their streams have in common.
#pragma once

#include "SNExport.h"

#include "SNAudioFormat.h"
#include "SNBasicCompressor.h"
#include "SNBasicDecompressor.h"
#include "SNOggComments.h"
#include "XVLAVSupport.h"

#include <atomic>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

class TSNPacketAssembler;

// An encoder: a start ends the running stream and begins a new one (a
// start of rate 0 goes downstream before the header packets), a stop ends
// it with its last packet marked e_o_s. A writer's restart request (a new
// file) is noted and carried out by the descendant at its next boundary, so
// the stream keeps its order. Everything runs under FInputLock.
class TSNOggAudioCompressor : public TSNBasicAudioCompressor {
public:
    TSNOggAudioCompressor();
    ~TSNOggAudioCompressor() override;

    TSNOggCommentItems& GetComments() { return FComments; }
    void SetComments(const TSNOggCommentItems& AValue) { FComments.Assign(AValue); }

protected:
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    void StreamStop() override;

    // Called with FInputLock held. BeginStream opens the encoder for FFormat
    // and sends the header packets (nothing while disabled); EndStream
    // drains and closes it (nothing without one).
    virtual void BeginStream() = 0;
    virtual void EndStream() = 0;
    virtual void EncodeBuffer(const ISNAudioBuffer& ABuffer) = 0;
    // Whether a buffer is taken: by default between a start and a stop.
    virtual bool TakesBuffers() const { return FStarted; }
    // Sends one ogg_packet in the codec packet framing.
    void SendOggPacket(const void* APacket);

    TSNOggCommentItems FComments;
    WAVEFORMATEXTENSIBLE FFormat{};
    bool FStarted = false;
    std::atomic<bool> FRestartRequested{false};
};

// A decoder: framed packets, cut anywhere across blocks, are assembled and
// handed to HandlePacket; the output start has AudioFormat's format and is
// sent when the stream starts (or with its first block).
class TSNOggAudioDecompressor : public TSNBasicAudioDecompressor, public TLAVErrorSource {
public:
    TSNOggAudioDecompressor();
    ~TSNOggAudioDecompressor() override;

    TSNAudioFormat& GetAudioFormat() { return FAudioFormat; }

protected:
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    void StreamStop() override;

    // Called with FInputLock held: a fresh decoder for a new stream, and the
    // end of the current one.
    virtual void NewDecoder() = 0;
    virtual void DropDecoder() = 0;
    virtual void HandlePacket(const TSNCodecPacketHeader& AHeader, const uint8_t* AData) = 0;
    // One block of framed packets; by default assembled into HandlePacket.
    virtual void DecodeBlock(const IDGBlockBuffer& ABlock);
    void AudioStreamStart();

    TSNAudioFormat FAudioFormat;
    WAVEFORMATEXTENSIBLE FOutFormat{};
    bool FStarted = false;
    std::unique_ptr<TSNPacketAssembler> FAssembler;
};

SN_API_END
} // namespace Sonorix
