// SPDX-License-Identifier: MIT
#include "SNOggCodec.h"

#include "SNOggLogger.h"
#include "codecs/SNPacketAssembler.h"
#include "codecs/SNVorbisOgg.h"

#include <string>

namespace Sonorix {

TSNOggAudioCompressor::TSNOggAudioCompressor() : FComments(this, "Comments") {}

TSNOggAudioCompressor::~TSNOggAudioCompressor() = default;

bool TSNOggAudioCompressor::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        // A start without a stop ends the running stream first.
        EndStream();
        FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
        FFormat = LStart->WaveFormat;
        FRestartRequested = false;
        BeginStream();
        FStarted = true;
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        StreamStop();
        FOutputPin.Notify(AOperation);
        return true;
    }
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!TakesBuffers() || !LBuffer->AudioBuffer)
            return false;
        EncodeBuffer(*LBuffer->AudioBuffer);
        return true;
    }
    return FOutputPin.Notify(AOperation);
}

bool TSNOggAudioCompressor::SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    // A writer that begins a new file wants fresh headers. The request
    // arrives while a packet of ours is on its way down, so it is carried
    // out after that packet, in the order of the stream.
    if (OperationAs<TSNOggRestartOperation>(AOperation)) {
        FRestartRequested = true;
        return true;
    }
    return TSNBasicAudioCompressor::SourceDispatch(APin, AOperation);
}

void TSNOggAudioCompressor::StreamStop()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    EndStream();
    FStarted = false;
}

void TSNOggAudioCompressor::SendOggPacket(const void* APacket)
{
    const auto* LPacket = static_cast<const ogg_packet*>(APacket);
    TSNCodecPacketHeader LHeader;
    LHeader.granulepos = LPacket->granulepos;
    LHeader.packetno = LPacket->packetno;
    LHeader.b_o_s = static_cast<int32_t>(LPacket->b_o_s);
    LHeader.e_o_s = static_cast<int32_t>(LPacket->e_o_s);
    SendBlock(MakeCodecPacket(LHeader, LPacket->packet, static_cast<size_t>(LPacket->bytes)));
}

TSNOggAudioDecompressor::TSNOggAudioDecompressor() : FAssembler(std::make_unique<TSNPacketAssembler>()) {}

TSNOggAudioDecompressor::~TSNOggAudioDecompressor() = default;

bool TSNOggAudioDecompressor::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (OperationAs<TPNStartSampleRateOperation>(AOperation) || OperationAs<TPNStartWaveOperation>(AOperation)) {
        if (FStarted)
            StreamStop();
        AudioStreamStart();
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        if (FStarted) {
            StreamStop();
            FOutputPin.SendStop();
        }
        return true;
    }
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!LBuffer->Block || !GetEnabled())
            return false;
        if (!FStarted)
            AudioStreamStart();
        DecodeBlock(*LBuffer->Block);
        return true;
    }
    return FOutputPin.Notify(AOperation);
}

void TSNOggAudioDecompressor::AudioStreamStart()
{
    FStarted = true;
    FOpened = true;
    FAssembler->Reset();
    NewDecoder();
    FOutFormat = FAudioFormat.GetWaveFormat();
    FOutputPin.SendStart(FOutFormat);
}

void TSNOggAudioDecompressor::StreamStop()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    FStarted = false;
    FOpened = false;
    DropDecoder();
    FAssembler->Reset();
}

void TSNOggAudioDecompressor::DecodeBlock(const IDGBlockBuffer& ABlock)
{
    std::string LError;
    if (!FAssembler->Feed(
            static_cast<const uint8_t*>(ABlock.Read()), ABlock.GetSize(),
            [this](const TSNCodecPacketHeader& AHeader, const uint8_t* AData) { HandlePacket(AHeader, AData); },
            LError))
        Error(*this, "could not decode packet", 1, LError);
}

} // namespace Sonorix
