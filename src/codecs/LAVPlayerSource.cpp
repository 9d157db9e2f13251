// SPDX-License-Identifier: MIT
// The player's libav reader: any container and codec that libav reads. Lives
// in the libav module; the player reaches it through the module's
// SonorixOpenLAVPlayerSource function.
#include "SNPlayerSource.h"

#include "LAVInternal.h"
#include "XVLAVSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <sys/stat.h>

namespace Sonorix {

static_assert(CPlayerTruncatedCode == static_cast<uint32_t>(-AVERROR_EOF));
static_assert(CPlayerInvalidDataCode == static_cast<uint32_t>(-AVERROR_INVALIDDATA));

namespace {

class TLAVPlayerSource : public ISNPlayerSource {
public:
    explicit TLAVPlayerSource(const TSNPlayerOpenRequest& ARequest) : FFileName(ARequest.FileName), FOnDrop(ARequest.OnDrop)
    {
        LAVInitialize();
    }
    ~TLAVPlayerSource() override;
    bool Open(const TXVLAVMediaPlayerAudio& AAudio, TSNPlayerStream& AStream, TSNPlayerFailure& AFailure);
    uint32_t Read(uint8_t* ADest, uint32_t AFrames) override;
    void Seek(int64_t AFrame) override;

private:
    bool Fail(TSNPlayerFailure& AFailure, std::string AMessage, int ACode, std::string ADetail = {});
    // Offers stream AIndex: opens a decoder for it when it is the wanted one
    // and none is open yet. 0 when opened or skipped, else a libav error code.
    int TryOpen(const TXVLAVMediaPlayerAudio& AAudio, int AIndex, std::string& ADetail);
    // Decodes the next frame into the data to deliver; false at the end.
    bool ReadBuffer();
    // Makes the decoder's frame the data to deliver; true when that data is
    // the frame's own memory, which must then be kept until it is used up.
    bool ConvertFrame();
    void Drop(int AResult);

    std::string FFileName;
    TSNPlayerDropEvent FOnDrop;
    AVFormatContext* FContext = nullptr;
    AVCodecContext* FCodec = nullptr;
    AVFrame* FFrame = nullptr;
    AVPacket* FPacket = nullptr;
    int FIndex = -1;
    WAVEFORMATEXTENSIBLE FFormat{};
    // Decoded frames not yet delivered, from FDecodedData + FBufPtr on:
    // FDecoded's converted samples, or the decoder's frame itself when it
    // holds samples of the buffer's own layout (copied once, into the buffer).
    std::vector<uint8_t> FDecoded;
    const uint8_t* FDecodedData = nullptr;
    int32_t FSamplesRemaining = 0;
    size_t FBufPtr = 0;
    int64_t FSkipTo = -1;
    bool FDraining = false;
    bool FAtEnd = false;
};

TLAVPlayerSource::~TLAVPlayerSource()
{
    av_packet_free(&FPacket);
    av_frame_free(&FFrame);
    if (FCodec)
        LAVLockExecute([this] { avcodec_free_context(&FCodec); });
    if (FContext)
        avformat_close_input(&FContext);
}

bool TLAVPlayerSource::Fail(TSNPlayerFailure& AFailure, std::string AMessage, int ACode, std::string ADetail)
{
    AFailure = {std::move(AMessage), ACode, std::move(ADetail)};
    return false;
}

bool TLAVPlayerSource::Open(const TXVLAVMediaPlayerAudio& AAudio, TSNPlayerStream& AStream,
                            TSNPlayerFailure& AFailure)
{
    const std::string& LFileName = FFileName;
    if (const std::string LProtocol = LAV::RefusedProtocol(LFileName); !LProtocol.empty())
        return Fail(AFailure, "cannot open '" + LFileName + "': only local files and pipe: are read, not " + LProtocol + ":",
                    AVERROR(EPERM));
    // A FIFO would wait for a writer and a device never ends: streams come through pipe:.
    const std::string LPath = LFileName.starts_with("file:") ? LFileName.substr(5) : LFileName;
    const char* LProtocol = avio_find_protocol_name(LFileName.c_str());
    if (struct stat LStat {}; LProtocol && std::strcmp(LProtocol, "file") == 0 && stat(LPath.c_str(), &LStat) == 0 &&
                              !S_ISREG(LStat.st_mode))
        return Fail(AFailure, "cannot open '" + LFileName + "': not a regular file (read streams through pipe:)",
                    AVERROR(EINVAL));
    AVDictionary* LOptions = LAV::LocalOnlyOptions();
    int LResult = avformat_open_input(&FContext, LFileName.c_str(), nullptr, &LOptions);
    av_dict_free(&LOptions);
    if (LResult < 0)
        return Fail(AFailure, "cannot open '" + LFileName + "': " + LAVErrorText(LResult), LResult);
    LResult = avformat_find_stream_info(FContext, nullptr);
    if (LResult < 0)
        return Fail(AFailure, "cannot read the streams of '" + LFileName + "': " + LAVErrorText(LResult), LResult);

    std::string LDetail;
    for (unsigned I = 0; I < FContext->nb_streams; ++I) {
        if (FContext->streams[I]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        LResult = TryOpen(AAudio, static_cast<int>(I), LDetail);
        if (LResult != 0)
            return Fail(AFailure, "cannot play '" + LFileName + "': " + LDetail, LResult);
    }
    if (!FCodec)
        return Fail(AFailure, "'" + LFileName + "' has no audio stream that can be decoded", AVERROR_STREAM_NOT_FOUND,
                    LDetail);

    const unsigned LChannels = static_cast<unsigned>(FCodec->ch_layout.nb_channels);
    if (LChannels > 32)
        return Fail(AFailure, "'" + LFileName + "' has " + std::to_string(LChannels) + " channels; at most 32 can be played",
                    AVERROR_PATCHWELCOME);
    const unsigned LBits = LAV::NaturalBits(FCodec->sample_fmt, FCodec->bits_per_raw_sample);
    FFormat = MakeWaveFormat(static_cast<uint32_t>(FCodec->sample_rate), LBits, LChannels,
                             LAV::MaskFromLayout(FCodec->ch_layout));
    AStream.Format = FFormat;

    const double LRate = FCodec->sample_rate;
    const AVStream* LStream = FContext->streams[FIndex];
    if (LStream->duration != AV_NOPTS_VALUE && LStream->duration > 0)
        AStream.Samples = av_rescale_q(LStream->duration, LStream->time_base, AVRational{1, FCodec->sample_rate});
    else if (FContext->duration != AV_NOPTS_VALUE && FContext->duration > 0)
        AStream.Samples = std::llround(static_cast<double>(FContext->duration) / AV_TIME_BASE * LRate);
    else
        AStream.Samples = 0;
    // Containers that state their length exactly, for lossless codecs: a
    // shorter file is truncated.
    AStream.ExactLength = AStream.Samples > 0 && FContext->duration_estimation_method == AVFMT_DURATION_FROM_STREAM &&
                          (LAV::IsPcmCodec(FCodec->codec_id) || FCodec->codec_id == AV_CODEC_ID_FLAC);
    FPacket = av_packet_alloc();
    return true;
}

int TLAVPlayerSource::TryOpen(const TXVLAVMediaPlayerAudio& AAudio, int AIndex, std::string& ADetail)
{
    const int LWanted = AAudio.GetStreamIndex();
    if (FCodec || (LWanted >= 0 && LWanted != AIndex))
        return 0;
    const AVCodecParameters* LParameters = FContext->streams[AIndex]->codecpar;
    const AVCodec* LCodec = avcodec_find_decoder(LParameters->codec_id);
    if (!LCodec) {
        ADetail = std::string("no decoder for ") + avcodec_get_name(LParameters->codec_id) + " in stream " +
                  std::to_string(AIndex);
        // Another audio stream may still do, unless this one was asked for.
        return LWanted >= 0 ? AVERROR_DECODER_NOT_FOUND : 0;
    }
    AVCodecContext* LContext = avcodec_alloc_context3(LCodec);
    if (!LContext)
        return AVERROR(ENOMEM);
    int LResult = avcodec_parameters_to_context(LContext, LParameters);
    if (LResult >= 0) {
        if (std::string LRefused = TLAVCodecOptions::Apply(LContext, AAudio.GetOptions()); !LRefused.empty()) {
            ADetail = LRefused;
            LResult = AVERROR(EINVAL);
        }
    }
    if (LResult >= 0) {
        LContext->pkt_timebase = FContext->streams[AIndex]->time_base;
        LAVLockExecute([&] { LResult = avcodec_open2(LContext, LCodec, nullptr); });
        if (LResult < 0)
            ADetail = std::string("cannot open the ") + LCodec->name + " decoder: " + LAVErrorText(LResult);
    }
    if (LResult < 0 || LContext->ch_layout.nb_channels <= 0 || LContext->sample_rate <= 0) {
        if (LResult >= 0) {
            ADetail = "stream " + std::to_string(AIndex) + " has no channels or no sample rate";
            LResult = AVERROR_INVALIDDATA;
        }
        LAVLockExecute([&] { avcodec_free_context(&LContext); });
        return LResult;
    }
    FCodec = LContext;
    FFrame = av_frame_alloc();
    FIndex = AIndex;
    return 0;
}

void TLAVPlayerSource::Seek(int64_t AFrame)
{
    const AVStream* LStream = FContext->streams[FIndex];
    int64_t LTarget = av_rescale_q(AFrame, AVRational{1, FCodec->sample_rate}, LStream->time_base);
    if (LStream->start_time != AV_NOPTS_VALUE)
        LTarget += LStream->start_time;
    // Land at or before the target and decode up to it.
    if (av_seek_frame(FContext, FIndex, LTarget, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(FContext, FIndex, LTarget, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    avcodec_flush_buffers(FCodec);
    av_packet_unref(FPacket);
    FDecoded.clear();
    FSamplesRemaining = 0;
    FBufPtr = 0;
    FDraining = false;
    FAtEnd = false;
    FSkipTo = AFrame;
}

uint32_t TLAVPlayerSource::Read(uint8_t* ADest, uint32_t AFrames)
{
    const size_t LStep = FFormat.Format.nBlockAlign;
    uint32_t LFilled = 0;
    while (LFilled < AFrames) {
        if (FSamplesRemaining > 0) {
            const uint32_t LCount = std::min<uint32_t>(AFrames - LFilled, static_cast<uint32_t>(FSamplesRemaining));
            std::memcpy(ADest + LFilled * LStep, FDecodedData + FBufPtr, LCount * LStep);
            FBufPtr += LCount * LStep;
            FSamplesRemaining -= static_cast<int32_t>(LCount);
            LFilled += LCount;
            continue;
        }
        if (!ReadBuffer())
            break;
    }
    return LFilled;
}

void TLAVPlayerSource::Drop(int AResult)
{
    if (FOnDrop)
        FOnDrop("'" + FFileName + "': " + LAVErrorText(AResult) + "; the packet is dropped");
}

bool TLAVPlayerSource::ReadBuffer()
{
    if (FAtEnd)
        return false;
    while (true) {
        int LResult = avcodec_receive_frame(FCodec, FFrame);
        if (LResult == 0) {
            // A frame delivered from its own memory stays until the next
            // receive, which comes only when its samples are used up.
            if (!ConvertFrame())
                av_frame_unref(FFrame);
            if (FSamplesRemaining > 0)
                return true;
            continue;
        }
        if (LResult == AVERROR_EOF) {
            FAtEnd = true;
            return false;
        }
        // A damaged packet costs itself only; then the decoder wants the
        // next packet of the audio stream.
        if (LResult != AVERROR(EAGAIN))
            Drop(LResult);
        if (FDraining) {
            FAtEnd = true;
            return false;
        }
        av_packet_unref(FPacket);
        LResult = av_read_frame(FContext, FPacket);
        if (LResult < 0) {
            // End of the file (or an unreadable rest): let the decoder finish.
            FDraining = true;
            avcodec_send_packet(FCodec, nullptr);
            continue;
        }
        if (FPacket->stream_index != FIndex)
            continue;
        LResult = avcodec_send_packet(FCodec, FPacket);
        if (LResult < 0 && LResult != AVERROR(EAGAIN) && LResult != AVERROR_EOF)
            Drop(LResult);
    }
}

bool TLAVPlayerSource::ConvertFrame()
{
    int LFirst = 0;
    int LCount = FFrame->nb_samples;
    // After a seek: drop what lies before the target.
    if (FSkipTo >= 0) {
        const AVStream* LStream = FContext->streams[FIndex];
        if (FFrame->best_effort_timestamp != AV_NOPTS_VALUE) {
            int64_t LTs = FFrame->best_effort_timestamp;
            if (LStream->start_time != AV_NOPTS_VALUE)
                LTs -= LStream->start_time;
            const int64_t LStart = av_rescale_q(LTs, LStream->time_base, AVRational{1, FCodec->sample_rate});
            if (LStart + LCount <= FSkipTo)
                return false;
            if (LStart < FSkipTo) {
                LFirst = static_cast<int>(FSkipTo - LStart);
                LCount -= LFirst;
            }
        }
        FSkipTo = -1;
    }
    // A frame whose layout differs from the stream's start is not mixed: its
    // channels are taken as far as they go.
    const int LChannels = std::min(FFrame->ch_layout.nb_channels, static_cast<int>(FFormat.Format.nChannels));
    const size_t LStep = FFormat.Format.nBlockAlign;
    const auto LFormat = static_cast<AVSampleFormat>(FFrame->format);
    FBufPtr = 0;
    FSamplesRemaining = LCount;
    if (LChannels == static_cast<int>(FFormat.Format.nChannels) &&
        LAV::SameLayout(LFormat, FFormat.Format.wBitsPerSample)) {
        FDecodedData = FFrame->extended_data[0] + static_cast<size_t>(LFirst) * LStep;
        return true;
    }
    FDecoded.assign(static_cast<size_t>(LCount) * LStep, 0);
    if (LChannels == static_cast<int>(FFormat.Format.nChannels))
        LAV::InterleaveSamples(FFrame->extended_data, LFormat, LChannels, LFirst, LCount,
                               FFormat.Format.wBitsPerSample, FDecoded.data());
    FDecodedData = FDecoded.data();
    return false;
}

} // namespace

} // namespace Sonorix

extern "C" __attribute__((visibility("default"))) void
SonorixOpenLAVPlayerSource(const Sonorix::TSNPlayerOpenRequest& ARequest, Sonorix::TSNPlayerStream& AStream,
                           Sonorix::TSNPlayerFailure& AFailure, Sonorix::TSNPlayerSourcePtr& AResult)
{
    auto LSource = std::make_unique<Sonorix::TLAVPlayerSource>(ARequest);
    if (LSource->Open(*ARequest.Audio, AStream, AFailure))
        AResult = std::move(LSource);
}
