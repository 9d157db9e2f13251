// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CMMasterPumping.h"
#include "CVThreading.h"
#include "DGClock.h"
#include "SNOggCodec.h"

#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

class TSNPacketAssembler;

// Decodes the Vorbis packets arriving on InputPin (codec packet framing;
// packets may be cut across input buffers) and sends audio in the format of
// AudioFormat (channels, bits, rate, mask) through OutputPin, in buffers of
// AudioFormat.BufferSize frames; the end of the stream (e_o_s) sends the
// last, shorter buffer. The decoded stream is converted as needed: channels
// from Vorbis order to the speaker-mask order, other rates and channel
// counts through a resampler. A packet with b_o_s begins a new stream (its
// three headers follow). Refused headers and a stream without them are
// reported through OnError.
//
// With MasterPumping enabled the decoder claims the pump role in the pump
// negotiation (as a hardware pump) and, once the stream's headers are in,
// pulls packets from upstream with a clock of its own: one tick per output
// buffer (999 x BufferSize / SampleRate ms, a little fast so that the output
// never starves), each tick pulling packets until audio came out.
//
//   TSNVorbisDecompressor LDecoder;
//   LDecoder.GetAudioFormat().SetSampleRate(48000);
//   LPlayer.GetOutputPin().Connect(LDecoder.GetInputPin());
class TSNVorbisDecompressor : public TSNOggAudioDecompressor {
public:
    TSNVorbisDecompressor();
    ~TSNVorbisDecompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TCMDefaultEnabledMasterPumping& GetMasterPumping() { return FMasterPumping; }
    // Whether this decoder won the pump role of the running stream, and its
    // clock's period in milliseconds (set by the stream's headers).
    bool GetIsPump() const { return FIsPump; }
    int64_t GetFrameDelay();

    // The decoded stream (0 before its first header), under the lock.
    uint16_t GetChannelCount();
    uint32_t GetSampleRate();
    // Play-out time of the audio sent, in 100-nanosecond units.
    int64_t VCGetCurrentTime();
    std::string GetVendor();
    int GetCommentCount();
    // The i-th user comment ("NAME=value"); empty outside 0 .. count - 1.
    std::string GetComments(int AIndex);

protected:
    // Pump negotiation, then the stream's operations as every Ogg decoder.
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    void NewDecoder() override;
    void DropDecoder() override;
    void HandlePacket(const TSNCodecPacketHeader& AHeader, const uint8_t* AData) override;
    // Pulls again when a block gave no audio.
    void DecodeBlock(const IDGBlockBuffer& ABlock) override;

private:
    struct TDecoder;
    // Called with FInputLock held.
    void ProcessHeader(const TSNCodecPacketHeader& AHeader, const uint8_t* AData);
    void ProcessSample(const TSNCodecPacketHeader& AHeader, const uint8_t* AData);
    void EmitPcm(float** APcm, int AFrames);
    void SendFinal(bool APartial);
    void CreateTimer();
    void StopTimer();
    // On FPumpNotifyThread: pulls one packet buffer from upstream.
    void IntPump();

    int64_t FCurrentTime = 0;
    std::unique_ptr<TDecoder> FDecoder;
    TCMDefaultEnabledMasterPumping FMasterPumping;
    std::atomic<bool> FIsPump{false};
    // Output buffer duration in milliseconds: the clock's period.
    int64_t FFrameDelay = 0;
    // Output buffers sent since the start; RenderAudio pulls again when a
    // packet gave none.
    uint64_t FBuffersSent = 0;
    // Started when the decoder first becomes its chain's pump.
    std::unique_ptr<TProcessingThread> FPumpNotifyThread;
    std::unique_ptr<TDGClockGen> FClockGen;
};

namespace SNVorbisDecompressor {
void RegisterPkg();
} // namespace SNVorbisDecompressor

SN_API_END
} // namespace Sonorix
