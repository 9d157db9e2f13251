// SPDX-License-Identifier: MIT
// Encoder bases: TSNBasicCompressor (a binary packet output) and
// TSNBasicAudioCompressor (adds the audio input), and the codec packet
// framing shared by encoders, decoders and packet writers.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "DGBuffers.h"
#include "DGThreading.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

// The 28-byte header before each codec packet (little-endian, packed).
#pragma pack(push, 1)
struct TSNCodecPacketHeader {
    int32_t bytes = 0;
    int64_t granulepos = 0;
    int64_t packetno = 0;
    int32_t b_o_s = 0;
    int32_t e_o_s = 0;
};
#pragma pack(pop)
static_assert(sizeof(TSNCodecPacketHeader) == 28);

// One packet in the framing: header then ABytes of AData.
IDGBlockBufferPtr MakeCodecPacket(const TSNCodecPacketHeader& AHeader, const void* AData, size_t ABytes);
// Reads the header of a framed packet; false when ABlock is not one (too
// short, or a length that does not match the block).
bool ParseCodecPacket(const IDGBlockBuffer& ABlock, TSNCodecPacketHeader& AHeader, const uint8_t*& AData);

class TSNCodecThread;

// Base of every encoder: a binary output pin (packets), Enabled and
// Threading. What arrives at the output from downstream goes to
// SourceDispatch. With Threading enabled, what arrives at the input is
// processed on a thread of the encoder's own, in arrival order.
class TSNBasicCompressor : public TLockComponent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    TSNBasicCompressor();
    ~TSNBasicCompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGPNBinarySourcePin& GetOutputPin() { return FOutputPin; }
    bool GetEnabled() const;
    virtual void SetEnabled(bool AValue);
    TDGThreading& GetThreading() { return FThreading; }
    void SetThreading(const TDGThreading& AValue) { FThreading.Assign(AValue); }

protected:
    // Entry of the input pin: SinkDispatch on the delivering thread, or
    // queued for the processing thread. Pump requests and stream queries,
    // whose answers the sender reads, are always answered at once.
    bool DispatchInput(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Ends the processing thread; each encoder calls it first thing in its
    // destructor, before the state that SinkDispatch touches goes.
    void ReleaseProcessing();
    // Operations arriving at the encoder's input.
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Operations arriving at the output pin from downstream; by default
    // unanswered.
    virtual bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    virtual bool IntSingleOperation(const IPNNotifyOperationPtr& AOperation);
    virtual bool IntSingleBufferOperation(const IPNNotifyOperationPtr& AOperation);
    virtual void StreamStop();
    // Wraps bytes in a block buffer and submits it on the output pin.
    bool SendData(const void* AData, size_t ABytes);
    bool SendBlock(IDGBlockBufferPtr ABlock);

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    TDGPNBinarySourcePin FOutputPin;

private:
    bool FEnabled = EnabledProperty.Default;
    TDGThreading FThreading;
    std::unique_ptr<TSNCodecThread> FCodecThread;
};

// Adds the audio input pin and routes what comes from downstream up through
// it: with nothing connected, a stream query is answered with an ignore.
class TSNBasicAudioCompressor : public TSNBasicCompressor {
public:
    TSNBasicAudioCompressor();
    ~TSNBasicAudioCompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }

protected:
    bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    bool IntSingleOperation(const IPNNotifyOperationPtr& AOperation) override;

    TSNPNAudioSinkPin FInputPin;
};

SN_API_END
} // namespace Sonorix
