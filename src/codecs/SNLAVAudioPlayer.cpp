// SPDX-License-Identifier: MIT
#include "SNLAVAudioPlayer.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "LAVInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <sys/stat.h>

namespace Sonorix {

TSNLAVAudioPlayer::TSNLAVAudioPlayer()
{
    LAVInitialize();
}

TSNLAVAudioPlayer::~TSNLAVAudioPlayer()
{
    Close();
}

const TClassDescription& TSNLAVAudioPlayer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNLAVAudioPlayer");
        LClass.Parent = &TSNBasicCommonPlayer::ClassDescription();
        LClass.Properties = {DescribeObject("Audio", &TSNLAVAudioPlayer::GetAudio)};
        LClass.Events = {TLAVErrorSource::DescribeOnError(), TLAVErrorSource::DescribeOnWarning()};
        LClass.Factory = [] { return std::make_shared<TSNLAVAudioPlayer>(); };
        return LClass;
    }();
    return LDescription;
}

bool TSNLAVAudioPlayer::Fail(const std::string& AMessage, int ACode, const std::string& ADetail)
{
    IntClose();
    Error(*this, AMessage, static_cast<uint32_t>(ACode < 0 ? -ACode : ACode), ADetail);
    return false;
}

bool TSNLAVAudioPlayer::IntOpen()
{
    const std::string LFileName = GetFileName();
    if (LFileName.empty())
        return false;
    if (const std::string LProtocol = LAV::RefusedProtocol(LFileName); !LProtocol.empty())
        return Fail("cannot open '" + LFileName + "': only local files and pipe: are read, not " + LProtocol + ":",
                    AVERROR(EPERM));
    // A FIFO would wait for a writer and a device never ends: streams come through pipe:.
    const std::string LPath = LFileName.starts_with("file:") ? LFileName.substr(5) : LFileName;
    const char* LProtocol = avio_find_protocol_name(LFileName.c_str());
    if (struct stat LStat {}; LProtocol && std::strcmp(LProtocol, "file") == 0 && stat(LPath.c_str(), &LStat) == 0 &&
                              !S_ISREG(LStat.st_mode))
        return Fail("cannot open '" + LFileName + "': not a regular file (read streams through pipe:)",
                    AVERROR(EINVAL));
    AVDictionary* LOptions = LAV::LocalOnlyOptions();
    int LResult = avformat_open_input(&FAVFormatContext, LFileName.c_str(), nullptr, &LOptions);
    av_dict_free(&LOptions);
    if (LResult < 0)
        return Fail("cannot open '" + LFileName + "': " + LAVErrorText(LResult), LResult);
    FFormatOpened = true;
    LResult = avformat_find_stream_info(FAVFormatContext, nullptr);
    if (LResult < 0)
        return Fail("cannot read the streams of '" + LFileName + "': " + LAVErrorText(LResult), LResult);

    std::string LDetail;
    for (unsigned I = 0; I < FAVFormatContext->nb_streams; ++I) {
        if (FAVFormatContext->streams[I]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        LResult = FAudio.TryOpen(FAVFormatContext, static_cast<int>(I), LDetail);
        if (LResult != 0)
            return Fail("cannot play '" + LFileName + "': " + LDetail, LResult);
    }
    if (!FAudio.IsOpen())
        return Fail("'" + LFileName + "' has no audio stream that can be decoded", AVERROR_STREAM_NOT_FOUND,
                    LDetail);

    AVCodecContext* LCodec = FAudio.GetCodecContext();
    const unsigned LChannels = static_cast<unsigned>(LCodec->ch_layout.nb_channels);
    if (LChannels > 32)
        return Fail("'" + LFileName + "' has " + std::to_string(LChannels) + " channels; at most 32 can be played",
                    AVERROR_PATCHWELCOME);
    const unsigned LBits = LAV::NaturalBits(LCodec->sample_fmt, LCodec->bits_per_raw_sample);
    FFormat = MakeWaveFormat(static_cast<uint32_t>(LCodec->sample_rate), LBits, LChannels,
                             LAV::MaskFromLayout(LCodec->ch_layout));

    // Slightly faster than the audio (999 rather than 1000) so a sink that
    // plays in real time never starves.
    const double LRate = LCodec->sample_rate;
    SetPumpInterval(std::max<int64_t>(1, std::llround(9990000.0 * GetBufferSize() / LRate)));

    const AVStream* LStream = FAVFormatContext->streams[FAudio.GetOpenedIndex()];
    if (LStream->duration != AV_NOPTS_VALUE && LStream->duration > 0)
        FNumberSamples = av_rescale_q(LStream->duration, LStream->time_base, AVRational{1, LCodec->sample_rate});
    else if (FAVFormatContext->duration != AV_NOPTS_VALUE && FAVFormatContext->duration > 0)
        FNumberSamples = std::llround(static_cast<double>(FAVFormatContext->duration) / AV_TIME_BASE * LRate);
    else
        FNumberSamples = 0;
    // Containers that state their length exactly, for lossless codecs: a
    // shorter file is truncated.
    FExactLength = FNumberSamples > 0 && FAVFormatContext->duration_estimation_method == AVFMT_DURATION_FROM_STREAM &&
                   (LAV::IsPcmCodec(LCodec->codec_id) || LCodec->codec_id == AV_CODEC_ID_FLAC);

    FPacket = av_packet_alloc();
    FDecoded.clear();
    FSamplesRemaining = 0;
    FBufPtr = 0;
    FPosition = 0;
    FSkipTo = -1;
    FDraining = false;
    FAtEnd = false;
    return true;
}

void TSNLAVAudioPlayer::IntClose()
{
    av_packet_free(&FPacket);
    FAudio.Close();
    if (FFormatOpened || FAVFormatContext)
        avformat_close_input(&FAVFormatContext);
    FFormatOpened = false;
    FDecoded.clear();
    FSamplesRemaining = 0;
    FNumberSamples = 0;
    FFormat = {};
}

void TSNLAVAudioPlayer::IntStart()
{
    FOutputPin.SendStart(FFormat);
}

WAVEFORMATEXTENSIBLE TSNLAVAudioPlayer::GetWaveFormat()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FFormat;
}

uint32_t TSNLAVAudioPlayer::GetSampleRate()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FFormat.Format.nSamplesPerSec;
}

int64_t TSNLAVAudioPlayer::GetSamplesCount()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FNumberSamples;
}

int64_t TSNLAVAudioPlayer::GetCurrentSample()
{
    TLockAccess LAccess = FLock->ReadLock();
    return FAudio.IsOpen() ? FPosition : 0;
}

void TSNLAVAudioPlayer::SetCurrentSample(int64_t AValue)
{
    TLockAccess LAccess = FLock->WriteLock();
    if (!FAudio.IsOpen())
        return;
    AValue = std::max<int64_t>(AValue, 0);
    const int LIndex = FAudio.GetOpenedIndex();
    const AVStream* LStream = FAVFormatContext->streams[LIndex];
    const int LRate = FAudio.GetCodecContext()->sample_rate;
    int64_t LTarget = av_rescale_q(AValue, AVRational{1, LRate}, LStream->time_base);
    if (LStream->start_time != AV_NOPTS_VALUE)
        LTarget += LStream->start_time;
    // Land at or before the target and decode up to it.
    if (av_seek_frame(FAVFormatContext, LIndex, LTarget, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(FAVFormatContext, LIndex, LTarget, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    avcodec_flush_buffers(FAudio.GetCodecContext());
    av_packet_unref(FPacket);
    FDecoded.clear();
    FSamplesRemaining = 0;
    FBufPtr = 0;
    FDraining = false;
    FAtEnd = false;
    FPosition = AValue;
    FSkipTo = AValue;
}

void TSNLAVAudioPlayer::IntPump()
{
    if (!FAudio.IsOpen())
        return;
    ISNAudioBufferPtr LBuffer;
    const bool LFilled = GenerateSoundFrame(LBuffer);
    if (LFilled)
        FOutputPin.SendBuffer(std::move(LBuffer));
    if (FAtEnd) {
        if (FExactLength && FPosition < FNumberSamples) {
            const std::string LFileName = GetFileName();
            const int64_t LDelivered = FPosition;
            FExactLength = false;
            Error(*this, "'" + LFileName + "' ends after " + std::to_string(LDelivered) + " of " +
                             std::to_string(FNumberSamples) + " samples: the file is truncated",
                  static_cast<uint32_t>(-AVERROR_EOF));
        }
        // A loop starts over inside GenerateSoundFrame; ending here with
        // Loop set means the file gave nothing since its start.
        EndOfFile(false);
    }
}

bool TSNLAVAudioPlayer::GenerateSoundFrame(ISNAudioBufferPtr& ABuffer)
{
    const uint32_t LFrames = static_cast<uint32_t>(GetBufferSize());
    ABuffer = TSNAudioBuffer::CreateWaveFormat(FFormat, LFrames);
    const size_t LStep = FFormat.Format.nBlockAlign;
    uint8_t* LDest = ABuffer->ByteWrite();
    uint32_t LFilled = 0;
    while (LFilled < LFrames) {
        if (FSamplesRemaining > 0) {
            const uint32_t LCount = std::min<uint32_t>(LFrames - LFilled, static_cast<uint32_t>(FSamplesRemaining));
            std::memcpy(LDest + LFilled * LStep, FDecodedData + FBufPtr, LCount * LStep);
            FBufPtr += LCount * LStep;
            FSamplesRemaining -= static_cast<int32_t>(LCount);
            LFilled += LCount;
            FPosition += LCount;
            continue;
        }
        if (ReadBuffer())
            continue;
        // A loop goes on from the first sample inside the same buffer, so a
        // wrap loses nothing; a pass that gave nothing ends the stream.
        if (!FAtEnd || !GetLoop() || FPosition == 0)
            break;
        Restart();
    }
    if (LFilled < LFrames)
        ABuffer->Resize(LFilled);
    return LFilled > 0;
}

bool TSNLAVAudioPlayer::ReadBuffer()
{
    AVCodecContext* LCodec = FAudio.GetCodecContext();
    AVFrame* LFrame = FAudio.GetFrame();
    while (true) {
        int LResult = avcodec_receive_frame(LCodec, LFrame);
        if (LResult == 0) {
            // A frame delivered from its own memory stays until the next
            // receive, which comes only when its samples are used up.
            if (!ConvertFrame())
                av_frame_unref(LFrame);
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
            DropPacket(*this, "'" + GetFileName() + "': " + LAVErrorText(LResult) + "; the packet is dropped");
        if (FDraining) {
            FAtEnd = true;
            return false;
        }
        av_packet_unref(FPacket);
        LResult = av_read_frame(FAVFormatContext, FPacket);
        if (LResult < 0) {
            // End of the file (or an unreadable rest): let the decoder finish.
            FDraining = true;
            avcodec_send_packet(LCodec, nullptr);
            continue;
        }
        if (FPacket->stream_index != FAudio.GetOpenedIndex())
            continue;
        LResult = avcodec_send_packet(LCodec, FPacket);
        if (LResult < 0 && LResult != AVERROR(EAGAIN) && LResult != AVERROR_EOF)
            DropPacket(*this, "'" + GetFileName() + "': " + LAVErrorText(LResult) + "; the packet is dropped");
    }
}

bool TSNLAVAudioPlayer::ConvertFrame()
{
    const AVFrame* LFrame = FAudio.GetFrame();
    const AVCodecContext* LCodec = FAudio.GetCodecContext();
    int LFirst = 0;
    int LCount = LFrame->nb_samples;
    // After a seek: drop what lies before the target.
    if (FSkipTo >= 0) {
        const AVStream* LStream = FAVFormatContext->streams[FAudio.GetOpenedIndex()];
        if (LFrame->best_effort_timestamp != AV_NOPTS_VALUE) {
            int64_t LTs = LFrame->best_effort_timestamp;
            if (LStream->start_time != AV_NOPTS_VALUE)
                LTs -= LStream->start_time;
            const int64_t LStart = av_rescale_q(LTs, LStream->time_base, AVRational{1, LCodec->sample_rate});
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
    const int LChannels = std::min(LFrame->ch_layout.nb_channels, static_cast<int>(FFormat.Format.nChannels));
    const size_t LStep = FFormat.Format.nBlockAlign;
    const auto LFormat = static_cast<AVSampleFormat>(LFrame->format);
    FBufPtr = 0;
    FSamplesRemaining = LCount;
    if (LChannels == static_cast<int>(FFormat.Format.nChannels) &&
        LAV::SameLayout(LFormat, FFormat.Format.wBitsPerSample)) {
        FDecodedData = LFrame->extended_data[0] + static_cast<size_t>(LFirst) * LStep;
        return true;
    }
    FDecoded.assign(static_cast<size_t>(LCount) * LStep, 0);
    if (LChannels == static_cast<int>(FFormat.Format.nChannels))
        LAV::InterleaveSamples(LFrame->extended_data, LFormat, LChannels, LFirst, LCount,
                               FFormat.Format.wBitsPerSample, FDecoded.data());
    FDecodedData = FDecoded.data();
    return false;
}

namespace SNLAVAudioPlayer {
void RegisterPkg()
{
    RegisterComponents({&TSNLAVAudioPlayer::ClassDescription()});
}
} // namespace SNLAVAudioPlayer

} // namespace Sonorix
