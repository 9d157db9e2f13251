// SPDX-License-Identifier: MIT
#include "SNLAVAudioDecompressor.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "LAVCodecHeader.h"
#include "LAVInternal.h"
#include "SNBasicCompressor.h"

#include <algorithm>
#include <cstring>

namespace Sonorix {

namespace {
// Unframed bytes waiting for the parser are bounded; a stream that never
// yields a packet in this much data is not one of the codec's.
constexpr size_t CMaxPendingBytes = size_t{1} << 20;
} // namespace

TSNLAVAudioDecompressor::TSNLAVAudioDecompressor() : FPacketBuffer(TDGBlockBuffer::CreateSize(0)) {
    LAVInitialize();
}

TSNLAVAudioDecompressor::~TSNLAVAudioDecompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
    TLockAccess LAccess = FInputLock->WriteLock();
    CloseCodec();
}

const TClassDescription& TSNLAVAudioDecompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLAVAudioDecompressor");
        LClass.Parent = &TSNBasicAudioDecompressor::ClassDescription();
        LClass.Properties = {
            DescribeObject("AudioCompression", &TSNLAVAudioDecompressor::GetAudioCompression),
            DescribeObject("AudioFormat", &TSNLAVAudioDecompressor::GetAudioFormat),
        };
        LClass.Events = {TLAVErrorSource::DescribeOnError(), TLAVErrorSource::DescribeOnWarning()};
        LClass.Factory = [] { return std::make_shared<TSNLAVAudioDecompressor>(); };
        return LClass;
    }();
    return LDescription;
}

bool TSNLAVAudioDecompressor::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (auto* LRate = OperationAs<TPNStartSampleRateOperation>(AOperation)) {
        StartDecompression(LRate->SampleRate);
        return true;
    }
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        StartDecompression(LStart->WaveFormat.Format.nSamplesPerSec);
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        StreamStop();
        return true;
    }
    if (auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!LBuffer->Block || !GetEnabled())
            return false;
        if (!FStarted)
            StartDecompression(0);
        DoDecompression(*LBuffer->Block);
        return true;
    }
    return false;
}

void TSNLAVAudioDecompressor::StartDecompression(double ARate)
{
    if (FStarted)
        return;
    FStarted = true;
    FOpened = true;
    FStartSent = false;
    FRate = ARate;
    FPacketBuffer->Resize(0);
    // A named codec opens at once; otherwise the header packet names it.
    if (!FAudioCompression.GetCodecName().empty()) {
        const uint32_t LRate = ARate > 0 ? static_cast<uint32_t>(ARate) : static_cast<uint32_t>(FAudioFormat.GetSampleRate());
        OpenCodec({}, LRate, static_cast<uint32_t>(FAudioFormat.GetCountChannels()), FAudioFormat.GetChannelMask(), {});
    }
}

bool TSNLAVAudioDecompressor::OpenCodec(const std::string& AStreamCodec, uint32_t ARate, uint32_t AChannels,
                                        uint32_t AMask, const std::vector<uint8_t>& AExtraData)
{
    CloseCodec();
    int LId = AV_CODEC_ID_NONE;
    if (!AStreamCodec.empty())
        if (const AVCodecDescriptor* LDescriptor = avcodec_descriptor_get_by_name(AStreamCodec.c_str()))
            LId = LDescriptor->id;
    if (!FAudioCompression.Open(LId)) {
        const std::string LName = FAudioCompression.GetCodecName();
        Error(*this, "could not open codec", static_cast<uint32_t>(-AVERROR_DECODER_NOT_FOUND),
              !LName.empty() ? "'" + LName + "' is not an audio decoder of this libavcodec"
                             : "no decoder for the stream's codec '" + AStreamCodec + "'");
        return false;
    }
    const AVCodec* LCodec = FAudioCompression.GetCodec();
    AVCodecContext* LContext = avcodec_alloc_context3(LCodec);
    if (!LContext) {
        Error(*this, "Can't allocate frame", static_cast<uint32_t>(-AVERROR(ENOMEM)));
        return false;
    }
    LContext->sample_rate = static_cast<int>(ARate);
    LAV::LayoutFromMask(LContext->ch_layout, AMask, AChannels);
    LContext->pkt_timebase = AVRational{1, static_cast<int>(ARate ? ARate : 1)};
    if (!AExtraData.empty()) {
        LContext->extradata = static_cast<uint8_t*>(av_mallocz(AExtraData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (LContext->extradata) {
            std::memcpy(LContext->extradata, AExtraData.data(), AExtraData.size());
            LContext->extradata_size = static_cast<int>(AExtraData.size());
        }
    }
    std::string LDetail = FAudioCompression.Apply(LContext);
    int LResult = LDetail.empty() ? 0 : AVERROR(EINVAL);
    if (LResult == 0)
        LAVLockExecute([&] { LResult = avcodec_open2(LContext, LCodec, nullptr); });
    if (LResult < 0) {
        if (LDetail.empty())
            LDetail = std::string("the ") + LCodec->name + " decoder refused the stream: " + LAVErrorText(LResult);
        LAVLockExecute([&] { avcodec_free_context(&LContext); });
        Error(*this, "could not open codec", static_cast<uint32_t>(-LResult), LDetail);
        return false;
    }
    FAudioCodecCtx = LContext;
    FAudioCompression.ApplySettings(LContext);
    FPacket = av_packet_alloc();
    if (!FAudioCompression.GetFrame() || !FPacket) {
        CloseCodec();
        Error(*this, "Can't allocate frame", static_cast<uint32_t>(-AVERROR(ENOMEM)));
        return false;
    }
    return true;
}

void TSNLAVAudioDecompressor::DoDecompression(const IDGBlockBuffer& AData)
{
    TSNCodecPacketHeader LHeader;
    const uint8_t* LPayload = nullptr;
    if (ParseCodecPacket(AData, LHeader, LPayload)) {
        LAV::TLAVCodecHeader LCodecHeader;
        if (LHeader.b_o_s && LAV::ReadCodecHeader(LPayload, static_cast<size_t>(LHeader.bytes), LCodecHeader)) {
            FStartSent = false;
            FSkipSamples = LCodecHeader.InitialPadding > 0 ? LCodecHeader.InitialPadding : 0;
            OpenCodec(LCodecHeader.CodecName, LCodecHeader.SampleRate, LCodecHeader.Channels,
                      LCodecHeader.ChannelMask, LCodecHeader.ExtraData);
            return;
        }
        // No codec named and no header: nothing to decode with.
        if (!FAudioCodecCtx)
            return;
        DecodePacket(LPayload, LHeader.bytes, AV_NOPTS_VALUE);
        if (LHeader.e_o_s) {
            // The last packet: what the decoder still holds comes out now.
            avcodec_send_packet(FAudioCodecCtx, nullptr);
            ReceiveFrames();
            avcodec_flush_buffers(FAudioCodecCtx);
        }
        return;
    }
    DecodeRaw(static_cast<const uint8_t*>(AData.Read()), AData.GetSize());
}

void TSNLAVAudioDecompressor::DecodeRaw(const uint8_t* AData, size_t ASize)
{
    if (!FAudioCodecCtx)
        return;
    // An empty block adds nothing (and has no bytes to point at).
    if (ASize == 0)
        return;
    if (!FParser)
        FParser = av_parser_init(FAudioCodecCtx->codec_id);
    if (!FParser) {
        DecodePacket(AData, static_cast<int>(ASize), AV_NOPTS_VALUE);
        return;
    }
    // Undecoded bytes carry over to the next buffer.
    const size_t LOld = FPacketBuffer->GetSize();
    if (LOld + ASize > CMaxPendingBytes) {
        FPacketBuffer->Resize(0);
        DropPacket(*this, "more than 1 MiB of raw data without a packet of the " +
                   std::string(FAudioCodecCtx->codec->name) + " codec; the pending bytes are dropped");
        return;
    }
    // Parsers read ahead of the bytes they are given: zeroed padding behind
    // them while they work.
    FPacketBuffer->Resize(LOld + ASize + AV_INPUT_BUFFER_PADDING_SIZE);
    auto* LPending = static_cast<uint8_t*>(FPacketBuffer->Modify());
    std::memcpy(LPending + LOld, AData, ASize);
    std::memset(LPending + LOld + ASize, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    const uint8_t* LBytes = LPending;
    size_t LLeft = LOld + ASize;
    size_t LUsed = 0;
    while (LLeft > 0) {
        uint8_t* LOut = nullptr;
        int LOutSize = 0;
        const int LConsumed = av_parser_parse2(FParser, FAudioCodecCtx, &LOut, &LOutSize, LBytes + LUsed,
                                               static_cast<int>(LLeft), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (LConsumed < 0)
            break;
        LUsed += static_cast<size_t>(LConsumed);
        LLeft -= static_cast<size_t>(LConsumed);
        if (LOutSize > 0)
            DecodePacket(LOut, LOutSize, AV_NOPTS_VALUE);
        if (LConsumed == 0 && LOutSize == 0)
            break;
    }
    // The parser keeps what it has consumed but not yet emitted itself.
    std::memmove(LPending, LBytes + LUsed, LLeft);
    FPacketBuffer->Resize(LLeft);
}

void TSNLAVAudioDecompressor::DecodePacket(const uint8_t* AData, int ASize, int64_t APts)
{
    if (ASize <= 0)
        return;
    av_packet_unref(FPacket);
    if (av_new_packet(FPacket, ASize) < 0)
        return;
    std::memcpy(FPacket->data, AData, static_cast<size_t>(ASize));
    FPacket->pts = APts;
    int LResult = avcodec_send_packet(FAudioCodecCtx, FPacket);
    if (LResult == AVERROR(EAGAIN)) {
        ReceiveFrames();
        LResult = avcodec_send_packet(FAudioCodecCtx, FPacket);
    }
    if (LResult < 0 && LResult != AVERROR_EOF) {
        // The packet costs itself only: decoding goes on with the next one.
        DropPacket(*this, std::string("the ") + FAudioCodecCtx->codec->name + " decoder refused a packet of " +
                   std::to_string(ASize) + " bytes: " + LAVErrorText(LResult) + "; it is dropped");
        return;
    }
    ReceiveFrames();
}

void TSNLAVAudioDecompressor::ReceiveFrames()
{
    AVFrame* LFrame = FAudioCompression.GetFrame();
    while (true) {
        if (const int LResult = avcodec_receive_frame(FAudioCodecCtx, LFrame); LResult < 0) {
            // Decoders that decode on receiving report a bad packet here.
            if (LResult != AVERROR(EAGAIN) && LResult != AVERROR_EOF)
                DropPacket(*this, std::string("the ") + FAudioCodecCtx->codec->name +
                           " decoder could not decode a packet: " + LAVErrorText(LResult) + "; it is dropped");
            return;
        }
        const int LChannels = LFrame->ch_layout.nb_channels;
        if (LChannels <= 0 || LChannels > 32 || LFrame->sample_rate <= 0 || LFrame->nb_samples <= 0) {
            av_frame_unref(LFrame);
            continue;
        }
        const WAVEFORMATEXTENSIBLE LFormat =
            MakeWaveFormat(static_cast<uint32_t>(LFrame->sample_rate), static_cast<unsigned>(FAudioFormat.GetBits()),
                           static_cast<unsigned>(LChannels), LAV::MaskFromLayout(LFrame->ch_layout));
        if (!FStartSent || LFormat.Format.nChannels != FFormat.Format.nChannels ||
            LFormat.Format.nSamplesPerSec != FFormat.Format.nSamplesPerSec ||
            LFormat.Format.wBitsPerSample != FFormat.Format.wBitsPerSample) {
            FFormat = LFormat;
            FStartSent = true;
            FOutputPin.SendStart(FFormat);
        }
        // The encoder's priming is not part of the stream.
        const int LSkip = static_cast<int>(std::min<int64_t>(FSkipSamples, LFrame->nb_samples));
        FSkipSamples -= LSkip;
        if (LSkip == LFrame->nb_samples) {
            av_frame_unref(LFrame);
            continue;
        }
        ISNAudioBufferPtr LBuffer =
            TSNAudioBuffer::CreateWaveFormat(FFormat, static_cast<uint32_t>(LFrame->nb_samples - LSkip));
        LAV::InterleaveSamples(LFrame->extended_data, static_cast<AVSampleFormat>(LFrame->format), LChannels, LSkip,
                               LFrame->nb_samples - LSkip, FFormat.Format.wBitsPerSample, LBuffer->ByteWrite());
        av_frame_unref(LFrame);
        FDataPumped = true;
        FOutputPin.SendBuffer(std::move(LBuffer));
    }
}

void TSNLAVAudioDecompressor::CloseCodec()
{
    if (FParser) {
        av_parser_close(FParser);
        FParser = nullptr;
    }
    av_packet_free(&FPacket);
    FAudioCompression.Close();
    if (FAudioCodecCtx)
        LAVLockExecute([this] { avcodec_free_context(&FAudioCodecCtx); });
    FPacketBuffer->Resize(0);
}

void TSNLAVAudioDecompressor::StreamStop()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (!FStarted)
        return;
    if (FAudioCodecCtx) {
        // Whatever the decoder holds back is delivered before the stop.
        avcodec_send_packet(FAudioCodecCtx, nullptr);
        ReceiveFrames();
    }
    FStarted = false;
    FOpened = false;
    CloseCodec();
    if (FStartSent)
        FOutputPin.SendStop();
    FStartSent = false;
}

namespace SNLAVAudioDecompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNLAVAudioDecompressor::ClassDescription()});
}
} // namespace SNLAVAudioDecompressor

} // namespace Sonorix
