// SPDX-License-Identifier: MIT
#include "SNLAVAudioLogger.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "LAVEncoder.h"
#include "LAVFileOutput.h"

#include <cstring>

namespace Sonorix {

TSNLAVAudioLogger::TSNLAVAudioLogger() : FEncoder(std::make_unique<LAV::TLAVEncoder>()) {
    LAVInitialize();
}

TSNLAVAudioLogger::~TSNLAVAudioLogger()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FAVFormatContext)
        Release(FHeaderWritten);
}

const TClassDescription& TSNLAVAudioLogger::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLAVAudioLogger");
        LClass.Parent = &TSNCommonLogger::ClassDescription();
        LClass.Properties = {
            DescribeObject("FileFormat", &TSNLAVAudioLogger::GetFileFormat),
            DescribeObject("AudioCompression", &TSNLAVAudioLogger::GetAudioCompression),
        };
        LClass.Events = {TLAVErrorSource::DescribeOnError(), TLAVErrorSource::DescribeOnWarning()};
        LClass.Factory = [] { return std::make_shared<TSNLAVAudioLogger>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNLAVAudioLogger::Fail(const std::string& AMessage, int ACode, const std::string& ADetail)
{
    // What was written so far is completed as far as the container allows.
    Release(FHeaderWritten);
    FLogging = false;
    Error(*this, AMessage, static_cast<uint32_t>(ACode < 0 ? -ACode : ACode), ADetail);
}

void TSNLAVAudioLogger::OpenContext(const std::string& AFileName)
{
    if (FAVFormatContext)
        return;
    const AVOutputFormat* LFormat = FFileFormat.GetFormat(AFileName);
    if (!LFormat) {
        const std::string LName = FFileFormat.GetFormatName();
        Fail("unknown file format", AVERROR_MUXER_NOT_FOUND,
             LName.empty() ? "cannot tell the container from the file name '" + AFileName +
                                 "'; set FileFormat.FormatName"
                           : "'" + LName + "' is not an output format of this libavformat");
        return;
    }
    if (avformat_alloc_output_context2(&FAVFormatContext, LFormat, nullptr, AFileName.c_str()) < 0 ||
        !FAVFormatContext)
        Fail("Could not alloc stream", AVERROR(ENOMEM));
}

void TSNLAVAudioLogger::BeginAudio(const WAVEFORMATEXTENSIBLE& AWaveFormat)
{
    FFormat = AWaveFormat;
    FFileName = GetFileName();
    FHeaderWritten = false;
    OpenContext(FFileName);
    if (!FAVFormatContext)
        return;

    // The container's usual codec; for PCM containers the PCM codec of the
    // stream's own width.
    const AVOutputFormat* LFormat = FAVFormatContext->oformat;
    int LCodecId = LFormat->audio_codec;
    const unsigned LBits = AWaveFormat.Format.wBitsPerSample;
    if (LAV::IsPcmCodec(static_cast<AVCodecID>(LCodecId))) {
        const AVCodecID LWidthCodec = LAV::PcmCodecForWidth(static_cast<AVCodecID>(LCodecId), LBits);
        if (avformat_query_codec(LFormat, LWidthCodec, FF_COMPLIANCE_NORMAL) == 1)
            LCodecId = LWidthCodec;
    }
    if (!FAudioCompression.Open(LCodecId)) {
        const std::string LName = FAudioCompression.GetCodecName();
        Fail("codec not found", AVERROR_ENCODER_NOT_FOUND,
             LName.empty() ? std::string("the ") + LFormat->name + " format has no default audio encoder here"
                           : "'" + LName + "' is not an audio encoder of this libavcodec");
        return;
    }
    const AVCodec* LCodec = FAudioCompression.GetCodec();
    if (avformat_query_codec(LFormat, LCodec->id, FF_COMPLIANCE_NORMAL) == 0) {
        Fail("could not open codec", AVERROR(EINVAL),
             std::string("the ") + LFormat->name + " format cannot hold " + LCodec->name + " audio");
        return;
    }
    FStream = FAudioCompression.OpenStream(FAVFormatContext);
    if (!FStream) {
        Fail("Could not alloc stream", AVERROR(ENOMEM));
        return;
    }
    std::string LDetail, LConversion;
    const int LResult = FEncoder->Open(LCodec, AWaveFormat, FAudioCompression.GetBitRate(),
                                       (LFormat->flags & AVFMT_GLOBALHEADER) != 0, FAudioCompression.GetOptions(),
                                       LDetail, LConversion);
    if (LResult < 0) {
        Fail("could not open codec", LResult, LDetail);
        return;
    }
    if (!LConversion.empty())
        Warning(*this, "converting the stream for the codec", LConversion);
    AVCodecContext* LContext = FEncoder->GetContext();
    avcodec_parameters_from_context(FStream->codecpar, LContext);
    FStream->time_base = LContext->time_base;
    FAudioCompression.ApplySettings(LContext);
    TryWriteHeaders(FFileName);
}

void TSNLAVAudioLogger::TryWriteHeaders(const std::string& AFileName)
{
    if (!(FAVFormatContext->oformat->flags & AVFMT_NOFILE)) {
        if (const std::string LProtocol = LAV::RefusedProtocol(AFileName); !LProtocol.empty()) {
            Fail("Could not open " + AFileName, AVERROR(EPERM),
                 "only local files and pipe: are written, not " + LProtocol + ":");
            return;
        }
        int LResult = 0;
        if (AFileName.starts_with("pipe:")) {
            AVDictionary* LOptions = LAV::LocalOnlyOptions();
            LResult = avio_open2(&FAVFormatContext->pb, AFileName.c_str(), AVIO_FLAG_WRITE, nullptr, &LOptions);
            av_dict_free(&LOptions);
        } else {
            FOutput = std::make_unique<LAV::TLAVFileOutput>();
            LResult = FOutput->Open(AFileName.starts_with("file:") ? AFileName.substr(5) : AFileName,
                                    FAVFormatContext->oformat->name, FEncoder->GetContext()->sample_rate);
            FAVFormatContext->pb = FOutput->Context();
            FAVFormatContext->flags |= AVFMT_FLAG_CUSTOM_IO;
        }
        if (LResult < 0) {
            Fail("Could not open " + AFileName, LResult, LAVErrorText(LResult));
            return;
        }
    }
    // MP4-family files in fragments: a run that ends without the trailer
    // (killed, a full disk) leaves every fragment before it readable.
    AVDictionary* LMuxerOptions = nullptr;
    for (const char* LName : {"mp4", "mov", "ipod", "3gp", "3g2", "psp", "f4v"})
        if (std::strcmp(FAVFormatContext->oformat->name, LName) == 0) {
            av_dict_set(&LMuxerOptions, "movflags", "+empty_moov+default_base_moof", 0);
            av_dict_set(&LMuxerOptions, "frag_duration", "500000", 0);
        }
    const int LResult = avformat_write_header(FAVFormatContext, &LMuxerOptions);
    av_dict_free(&LMuxerOptions);
    if (LResult < 0) {
        Fail("Could not open " + AFileName, LResult, "cannot write the header: " + LAVErrorText(LResult));
        return;
    }
    FHeaderWritten = true;
    // The header goes to the disk at once: a file killed before its first
    // packet still reads.
    if (const int LSynced = FOutput ? FOutput->PacketWritten(0) : 0; LSynced < 0) {
        Fail("Error while writing audio frame", LSynced, "'" + AFileName + "': " + LAVErrorText(LSynced));
        return;
    }
    if (FAVFormatContext->pb && FAVFormatContext->pb->error < 0) {
        const int LError = FAVFormatContext->pb->error;
        Fail("Error while writing audio frame", LError, "'" + AFileName + "': " + LAVErrorText(LError));
    }
}

void TSNLAVAudioLogger::WritePacket(AVPacket* APacket)
{
    APacket->stream_index = FStream->index;
    const AVCodecContext* LContext = FEncoder->GetContext();
    const int64_t LEnd = APacket->pts == AV_NOPTS_VALUE ? 0 : APacket->pts + APacket->duration;
    const int64_t LSamplesEnd = av_rescale_q(LEnd, LContext->time_base, AVRational{1, LContext->sample_rate});
    av_packet_rescale_ts(APacket, LContext->time_base, FStream->time_base);
    int LResult = av_interleaved_write_frame(FAVFormatContext, APacket);
    if (LResult >= 0 && FOutput)
        LResult = FOutput->PacketWritten(LSamplesEnd);
    // Output errors surface in the I/O context, not always in the result.
    if (LResult >= 0 && FAVFormatContext->pb && FAVFormatContext->pb->error < 0)
        LResult = FAVFormatContext->pb->error;
    if (LResult < 0)
        throw LResult;
}

void TSNLAVAudioLogger::RenderAudio(const ISNAudioBufferPtr& AAudioBuffer)
{
    if (!FHeaderWritten || !FEncoder->IsOpen())
        return;
    ISNAudioBufferPtr LBuffer = AAudioBuffer;
    // Buffers in another width or channel count are brought to the stream's.
    if (LBuffer->GetBitsPerSample() != FFormat.Format.wBitsPerSample ||
        LBuffer->GetChannels() != FFormat.Format.nChannels) {
        ISNAudioBufferPtr LConverted = TSNAudioBuffer::CreateWaveFormat(FFormat, LBuffer->GetSize());
        LBuffer->CopyTo(0, *LConverted, 0, LBuffer->GetSize());
        LBuffer = LConverted;
    }
    int LResult = 0;
    try {
        LResult = FEncoder->Write(LBuffer->ByteRead(), static_cast<int>(LBuffer->GetSize()),
                                  [this](AVPacket* APacket) { WritePacket(APacket); });
    } catch (int AWriteError) {
        Fail("Error while writing audio frame", AWriteError, "'" + FFileName + "': " + LAVErrorText(AWriteError));
        return;
    }
    if (LResult < 0)
        Fail("Error while writing audio frame", LResult, "encoding failed: " + LAVErrorText(LResult));
}

void TSNLAVAudioLogger::EndAudio()
{
    if (!FAVFormatContext)
        return;
    if (FHeaderWritten && FEncoder->IsOpen()) {
        int LResult = 0;
        try {
            LResult = FEncoder->Finish([this](AVPacket* APacket) { WritePacket(APacket); });
        } catch (int AWriteError) {
            LResult = AWriteError;
        }
        if (LResult < 0) {
            Fail("Error while writing audio frame", LResult, "'" + FFileName + "': " + LAVErrorText(LResult));
            return;
        }
    }
    if (const int LResult = Release(FHeaderWritten); LResult < 0)
        Error(*this, "Error while writing audio frame", static_cast<uint32_t>(-LResult),
              "'" + FFileName + "': " + LAVErrorText(LResult));
}

int TSNLAVAudioLogger::Release(bool AComplete)
{
    int LResult = 0;
    if (FAVFormatContext) {
        // After a failed write the trailer cannot be written; the file is
        // completed from what reached the disk.
        if (AComplete && FOutput && FOutput->Failed()) {
            FOutput->Salvage();
        } else if (AComplete) {
            LResult = av_write_trailer(FAVFormatContext);
            if (LResult >= 0 && FAVFormatContext->pb && FAVFormatContext->pb->error < 0)
                LResult = FAVFormatContext->pb->error;
        }
        if (FOutput) {
            FAVFormatContext->pb = nullptr;
            if (const int LClosed = FOutput->Close(); LResult >= 0)
                LResult = LClosed;
            FOutput.reset();
        } else if (FAVFormatContext->pb && !(FAVFormatContext->oformat->flags & AVFMT_NOFILE)) {
            avio_flush(FAVFormatContext->pb);
            if (LResult >= 0 && FAVFormatContext->pb->error < 0)
                LResult = FAVFormatContext->pb->error;
            avio_closep(&FAVFormatContext->pb);
        }
        avformat_free_context(FAVFormatContext);
        FAVFormatContext = nullptr;
    }
    FEncoder->Close();
    FAudioCompression.Close();
    FStream = nullptr;
    FHeaderWritten = false;
    return LResult;
}

namespace SNLAVAudioLogger {
void RegisterPkg()
{
    RegisterComponents({&TSNLAVAudioLogger::ClassDescription()});
}
} // namespace SNLAVAudioLogger

} // namespace Sonorix
