// SPDX-License-Identifier: MIT
#include "SNLAVAudioCompressor.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "LAVCodecHeader.h"
#include "LAVEncoder.h"

namespace Sonorix {

TSNLAVAudioCompressor::TSNLAVAudioCompressor() : FEncoder(std::make_unique<LAV::TLAVEncoder>()) {
    LAVInitialize();
}

TSNLAVAudioCompressor::~TSNLAVAudioCompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
    FEncoder->Close();
}

const TClassDescription& TSNLAVAudioCompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLAVAudioCompressor");
        LClass.Parent = &TSNBasicAudioCompressor::ClassDescription();
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {DescribeObject("AudioCompression", &TSNLAVAudioCompressor::GetAudioCompression)};
        LClass.Events = {TLAVErrorSource::DescribeOnError(), TLAVErrorSource::DescribeOnWarning()};
        LClass.Factory = [] { return std::make_shared<TSNLAVAudioCompressor>(); };
        return LClass;
    }();
    return LDescription;
}

bool TSNLAVAudioCompressor::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    // Operations are handled in arrival order on the delivering thread; the
    // input lock serialises them.
    TLockAccess LAccess = FInputLock->WriteLock();
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        BeginAudio(*LStart);
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        StreamStop();
        FOutputPin.Notify(AOperation);
        return true;
    }
    if (OperationAs<TPNSuppliedBufferOperation>(AOperation))
        return IntSingleOperation(AOperation);
    return FOutputPin.Notify(AOperation);
}

bool TSNLAVAudioCompressor::IntSingleBufferOperation(const IPNNotifyOperationPtr& AOperation)
{
    auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation);
    if (!LBuffer->AudioBuffer)
        return false;
    RenderAudio(LBuffer->AudioBuffer);
    return false;
}

void TSNLAVAudioCompressor::BeginAudio(const TPNStartWaveOperation& AStartOperation)
{
    if (FStarted)
        StreamStop();
    FFormat = AStartOperation.WaveFormat;
    const bool LEnabled = GetEnabled();
    if (LEnabled) {
        if (!FAudioCompression.Open(0)) {
            const std::string LName = FAudioCompression.GetCodecName();
            Error(*this, "could not find decoder", static_cast<uint32_t>(-AVERROR_ENCODER_NOT_FOUND),
                  LName.empty() ? "AudioCompression.CodecName is not set"
                                : "'" + LName + "' is not an audio encoder of this libavcodec");
            return;
        }
        std::string LDetail, LConversion;
        // Global header: the codec's set-up travels in the header packet.
        const int LResult = FEncoder->Open(FAudioCompression.GetCodec(), FFormat, FAudioCompression.GetBitRate(),
                                           true, FAudioCompression.GetOptions(), LDetail, LConversion);
        if (LResult < 0) {
            Error(*this, "could not open codec", static_cast<uint32_t>(-LResult), LDetail);
            return;
        }
        if (!LConversion.empty())
            Warning(*this, "converting the stream for the codec", LConversion);
    }
    // The packets' rate: the codec's, which may differ from the input's.
    FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(
        LEnabled ? static_cast<uint32_t>(FEncoder->GetContext()->sample_rate) : 0));
    FPacketNo = 0;
    FHasPending = false;
    FStarted = LEnabled;
    if (FStarted)
        SendHeader();
}

void TSNLAVAudioCompressor::SendHeader()
{
    const AVCodecContext* LContext = FEncoder->GetContext();
    LAV::TLAVCodecHeader LHeader;
    const AVCodecDescriptor* LDescriptor = avcodec_descriptor_get(LContext->codec_id);
    LHeader.CodecName = LDescriptor ? LDescriptor->name : LContext->codec->name;
    LHeader.SampleRate = static_cast<uint32_t>(LContext->sample_rate);
    LHeader.Channels = static_cast<uint32_t>(LContext->ch_layout.nb_channels);
    LHeader.ChannelMask = LAV::MaskFromLayout(LContext->ch_layout);
    LHeader.Bits = FFormat.Format.wBitsPerSample;
    LHeader.FrameSize = LContext->frame_size;
    LHeader.InitialPadding = LContext->initial_padding;
    if (LContext->extradata && LContext->extradata_size > 0)
        LHeader.ExtraData.assign(LContext->extradata, LContext->extradata + LContext->extradata_size);
    const std::vector<uint8_t> LBytes = LAV::WriteCodecHeader(LHeader);
    TSNCodecPacketHeader LFraming;
    LFraming.packetno = FPacketNo++;
    LFraming.b_o_s = 1;
    SendBlock(MakeCodecPacket(LFraming, LBytes.data(), LBytes.size()));
}

void TSNLAVAudioCompressor::SendPacket(const uint8_t* AData, int ASize, int64_t AGranulePos, bool AEndOfStream)
{
    TSNCodecPacketHeader LFraming;
    LFraming.granulepos = AGranulePos;
    LFraming.packetno = FPacketNo++;
    LFraming.e_o_s = AEndOfStream ? 1 : 0;
    SendBlock(MakeCodecPacket(LFraming, AData, static_cast<size_t>(ASize)));
}

void TSNLAVAudioCompressor::QueuePacket(const AVPacket* APacket)
{
    if (FHasPending)
        SendPacket(FPending.data(), static_cast<int>(FPending.size()), FPendingGranule, false);
    FPending.assign(APacket->data, APacket->data + APacket->size);
    FPendingGranule = APacket->pts != AV_NOPTS_VALUE ? APacket->pts + APacket->duration : 0;
    FHasPending = true;
}

void TSNLAVAudioCompressor::RenderAudio(const ISNAudioBufferPtr& ABuffer)
{
    if (!FStarted)
        return;
    ISNAudioBufferPtr LBuffer = ABuffer;
    if (LBuffer->GetBitsPerSample() != FFormat.Format.wBitsPerSample ||
        LBuffer->GetChannels() != FFormat.Format.nChannels) {
        ISNAudioBufferPtr LConverted = TSNAudioBuffer::CreateWaveFormat(FFormat, LBuffer->GetSize());
        LBuffer->CopyTo(0, *LConverted, 0, LBuffer->GetSize());
        LBuffer = LConverted;
    }
    const int LResult = FEncoder->Write(LBuffer->ByteRead(), static_cast<int>(LBuffer->GetSize()),
                                        [this](AVPacket* APacket) { QueuePacket(APacket); });
    if (LResult < 0)
        Error(*this, "could not fill audio frame", static_cast<uint32_t>(-LResult), LAVErrorText(LResult));
}

void TSNLAVAudioCompressor::StreamStop()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (!FStarted)
        return;
    FStarted = false;
    const int LResult = FEncoder->Finish([this](AVPacket* APacket) { QueuePacket(APacket); });
    if (FHasPending) {
        SendPacket(FPending.data(), static_cast<int>(FPending.size()), FPendingGranule, true);
        FHasPending = false;
    }
    FEncoder->Close();
    if (LResult < 0)
        Error(*this, "could not fill audio frame", static_cast<uint32_t>(-LResult), LAVErrorText(LResult));
}

namespace SNLAVAudioCompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNLAVAudioCompressor::ClassDescription()});
}
} // namespace SNLAVAudioCompressor

} // namespace Sonorix
