// SPDX-License-Identifier: MIT
// The logger's libav writer: every container and codec that libav writes.
// TSNLAVAudioLogger (package library) reaches it through
// SonorixOpenLAVLoggerSink when a file is not plain PCM WAV.
#include "LAVEncoder.h"
#include "LAVFileOutput.h"
#include "LAVInternal.h"
#include "SNLoggerSink.h"
#include "XVLAVSupport.h"

#include <cstring>

namespace Sonorix::LAV {

namespace {

class TLAVLoggerSink final : public ISNLoggerSink {
public:
    TLAVLoggerSink() { LAVInitialize(); }
    ~TLAVLoggerSink() override { Release(FHeaderWritten); }
    // True with the header written; else AFailure says why.
    bool Open(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure);
    bool Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure) override;
    bool Finish(TSNLoggerFailure& AFailure) override;

private:
    bool OpenContext(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure);
    bool WriteHeaders(TSNLoggerFailure& AFailure);
    void WritePacket(AVPacket* APacket);
    // Releases everything; writes the trailer when AComplete.
    int Release(bool AComplete);
    bool Fail(TSNLoggerFailure& AFailure, const std::string& AMessage, int ACode, const std::string& ADetail = {});

    AVFormatContext* FAVFormatContext = nullptr;
    TLAVEncoder FEncoder;
    TSNLAVAudioCompression* FCompression = nullptr;
    // The local file, when the output is one (not a pipe).
    std::unique_ptr<TLAVFileOutput> FOutput;
    AVStream* FStream = nullptr;
    bool FHeaderWritten = false;
    std::string FFileName;
};

bool TLAVLoggerSink::Fail(TSNLoggerFailure& AFailure, const std::string& AMessage, int ACode,
                          const std::string& ADetail)
{
    // What was written so far is completed as far as the container allows.
    Release(FHeaderWritten);
    AFailure = {AMessage, ACode, ADetail};
    return false;
}

bool TLAVLoggerSink::OpenContext(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure)
{
    const AVOutputFormat* LFormat = ARequest.FileFormat->GetFormat(FFileName);
    if (!LFormat) {
        const std::string LName = ARequest.FileFormat->GetFormatName();
        return Fail(AFailure, "unknown file format", AVERROR_MUXER_NOT_FOUND,
                    LName.empty() ? "cannot tell the container from the file name '" + FFileName +
                                        "'; set FileFormat.FormatName"
                                  : "'" + LName + "' is not an output format of this libavformat");
    }
    if (avformat_alloc_output_context2(&FAVFormatContext, LFormat, nullptr, FFileName.c_str()) < 0 ||
        !FAVFormatContext)
        return Fail(AFailure, "Could not alloc stream", AVERROR(ENOMEM));
    return true;
}

bool TLAVLoggerSink::Open(TSNLoggerOpenRequest& ARequest, TSNLoggerFailure& AFailure)
{
    FFileName = ARequest.FileName;
    FCompression = ARequest.Compression;
    if (!OpenContext(ARequest, AFailure))
        return false;
    const WAVEFORMATEXTENSIBLE& LWaveFormat = ARequest.Format;

    // The container's usual codec; for PCM containers the PCM codec of the
    // stream's own width.
    const AVOutputFormat* LFormat = FAVFormatContext->oformat;
    int LCodecId = LFormat->audio_codec;
    const unsigned LBits = LWaveFormat.Format.wBitsPerSample;
    if (IsPcmCodec(static_cast<AVCodecID>(LCodecId))) {
        const AVCodecID LWidthCodec = PcmCodecForWidth(static_cast<AVCodecID>(LCodecId), LBits);
        if (avformat_query_codec(LFormat, LWidthCodec, FF_COMPLIANCE_NORMAL) == 1)
            LCodecId = LWidthCodec;
    }
    if (!FCompression->Open(LCodecId)) {
        const std::string LName = FCompression->GetCodecName();
        return Fail(AFailure, "codec not found", AVERROR_ENCODER_NOT_FOUND,
                    LName.empty() ? std::string("the ") + LFormat->name + " format has no default audio encoder here"
                                  : "'" + LName + "' is not an audio encoder of this libavcodec");
    }
    const AVCodec* LCodec = FCompression->GetCodec();
    if (avformat_query_codec(LFormat, LCodec->id, FF_COMPLIANCE_NORMAL) == 0)
        return Fail(AFailure, "could not open codec", AVERROR(EINVAL),
                    std::string("the ") + LFormat->name + " format cannot hold " + LCodec->name + " audio");
    FStream = FCompression->OpenStream(FAVFormatContext);
    if (!FStream)
        return Fail(AFailure, "Could not alloc stream", AVERROR(ENOMEM));
    std::string LDetail, LConversion;
    const int LResult = FEncoder.Open(LCodec, LWaveFormat, FCompression->GetBitRate(),
                                      (LFormat->flags & AVFMT_GLOBALHEADER) != 0, FCompression->GetOptions(),
                                      LDetail, LConversion);
    if (LResult < 0)
        return Fail(AFailure, "could not open codec", LResult, LDetail);
    if (!LConversion.empty()) {
        ARequest.Warning = "converting the stream for the codec";
        ARequest.WarningDetail = LConversion;
    }
    AVCodecContext* LContext = FEncoder.GetContext();
    avcodec_parameters_from_context(FStream->codecpar, LContext);
    FStream->time_base = LContext->time_base;
    return WriteHeaders(AFailure);
}

bool TLAVLoggerSink::WriteHeaders(TSNLoggerFailure& AFailure)
{
    if (!(FAVFormatContext->oformat->flags & AVFMT_NOFILE)) {
        if (const std::string LProtocol = RefusedProtocol(FFileName); !LProtocol.empty())
            return Fail(AFailure, "Could not open " + FFileName, AVERROR(EPERM),
                        "only local files and pipe: are written, not " + LProtocol + ":");
        int LResult = 0;
        if (FFileName.starts_with("pipe:")) {
            AVDictionary* LOptions = LocalOnlyOptions();
            LResult = avio_open2(&FAVFormatContext->pb, FFileName.c_str(), AVIO_FLAG_WRITE, nullptr, &LOptions);
            av_dict_free(&LOptions);
        } else {
            FOutput = std::make_unique<TLAVFileOutput>();
            LResult = FOutput->Open(LocalFileName(FFileName),
                                    FAVFormatContext->oformat->name, FEncoder.GetContext()->sample_rate);
            FAVFormatContext->pb = FOutput->Context();
            FAVFormatContext->flags |= AVFMT_FLAG_CUSTOM_IO;
        }
        if (LResult < 0)
            return Fail(AFailure, "Could not open " + FFileName, LResult, LAVErrorText(LResult));
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
    if (LResult < 0)
        return Fail(AFailure, "Could not open " + FFileName, LResult,
                    "cannot write the header: " + LAVErrorText(LResult));
    FHeaderWritten = true;
    // The header goes to the disk at once, and only then does the file take
    // its name: a run killed at any moment leaves a file that reads.
    if (const int LSynced = FOutput ? FOutput->PacketWritten(0) : 0; LSynced < 0)
        return Fail(AFailure, "Error while writing audio frame", LSynced,
                    "'" + FFileName + "': " + LAVErrorText(LSynced));
    if (FAVFormatContext->pb && FAVFormatContext->pb->error < 0) {
        const int LError = FAVFormatContext->pb->error;
        return Fail(AFailure, "Error while writing audio frame", LError,
                    "'" + FFileName + "': " + LAVErrorText(LError));
    }
    if (const int LCommitted = FOutput ? FOutput->Commit() : 0; LCommitted < 0) {
        FHeaderWritten = false;
        return Fail(AFailure, "Could not open " + FFileName, LCommitted, LAVErrorText(LCommitted));
    }
    return true;
}

void TLAVLoggerSink::WritePacket(AVPacket* APacket)
{
    APacket->stream_index = FStream->index;
    const AVCodecContext* LContext = FEncoder.GetContext();
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

bool TLAVLoggerSink::Write(const uint8_t* AData, uint32_t AFrames, TSNLoggerFailure& AFailure)
{
    if (!FHeaderWritten || !FEncoder.IsOpen())
        return true;
    int LResult = 0;
    try {
        LResult = FEncoder.Write(AData, static_cast<int>(AFrames), [this](AVPacket* APacket) { WritePacket(APacket); });
    } catch (int AWriteError) {
        return Fail(AFailure, "Error while writing audio frame", AWriteError,
                    "'" + FFileName + "': " + LAVErrorText(AWriteError));
    }
    if (LResult < 0)
        return Fail(AFailure, "Error while writing audio frame", LResult, "encoding failed: " + LAVErrorText(LResult));
    return true;
}

bool TLAVLoggerSink::Finish(TSNLoggerFailure& AFailure)
{
    if (!FAVFormatContext)
        return true;
    if (FHeaderWritten && FEncoder.IsOpen()) {
        int LResult = 0;
        try {
            LResult = FEncoder.Finish([this](AVPacket* APacket) { WritePacket(APacket); });
        } catch (int AWriteError) {
            LResult = AWriteError;
        }
        if (LResult < 0)
            return Fail(AFailure, "Error while writing audio frame", LResult,
                        "'" + FFileName + "': " + LAVErrorText(LResult));
    }
    if (const int LResult = Release(FHeaderWritten); LResult < 0) {
        AFailure = {"Error while writing audio frame", LResult, "'" + FFileName + "': " + LAVErrorText(LResult)};
        return false;
    }
    return true;
}

int TLAVLoggerSink::Release(bool AComplete)
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
    FEncoder.Close();
    FStream = nullptr;
    FHeaderWritten = false;
    return LResult;
}

} // namespace

} // namespace Sonorix::LAV

extern "C" __attribute__((visibility("default"))) void SonorixOpenLAVLoggerSink(Sonorix::TSNLoggerOpenRequest& ARequest,
                                                                               Sonorix::TSNLoggerFailure& AFailure,
                                                                               Sonorix::TSNLoggerSinkPtr& AResult)
{
    auto LSink = std::make_unique<Sonorix::LAV::TLAVLoggerSink>();
    if (LSink->Open(ARequest, AFailure))
        AResult = std::move(LSink);
}
