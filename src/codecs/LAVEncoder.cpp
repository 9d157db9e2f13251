// SPDX-License-Identifier: MIT
#include "LAVEncoder.h"

#include "XVLAVSupport.h"

#include <algorithm>
#include <cstring>

namespace Sonorix::LAV {

int TLAVEncoder::Open(const AVCodec* ACodec, const WAVEFORMATEXTENSIBLE& AFormat, int64_t ABitRate,
                      bool AGlobalHeader, const std::string& AOptions, std::string& ADetail)
{
    Close();
    const unsigned LBits = AFormat.Format.wBitsPerSample;
    if ((LBits != 8 && LBits != 16 && LBits != 24 && LBits != 32) || AFormat.Format.nChannels == 0 ||
        AFormat.Format.nSamplesPerSec == 0) {
        ADetail = "cannot encode a stream of " + DescribeWaveFormat(AFormat);
        return AVERROR(EINVAL);
    }
    FContext = avcodec_alloc_context3(ACodec);
    if (!FContext)
        return AVERROR(ENOMEM);
    FBits = LBits;
    FChannels = AFormat.Format.nChannels;
    FBlockAlign = LBits / 8 * static_cast<unsigned>(FChannels);
    FContext->sample_fmt = ChooseSampleFormat(ACodec, LBits);
    // A wider integer format than the samples: tell the codec how many bits
    // are real (FLAC writes 24-bit streams then).
    const int LFormatBits = av_get_bytes_per_sample(FContext->sample_fmt) * 8;
    const AVSampleFormat LPacked = av_get_packed_sample_fmt(FContext->sample_fmt);
    if ((LPacked == AV_SAMPLE_FMT_S32 || LPacked == AV_SAMPLE_FMT_S16) && static_cast<int>(LBits) < LFormatBits)
        FContext->bits_per_raw_sample = static_cast<int>(LBits);
    if (ABitRate > 0)
        FContext->bit_rate = ABitRate;
    FContext->sample_rate = static_cast<int>(AFormat.Format.nSamplesPerSec);
    LayoutFromMask(FContext->ch_layout, AFormat.dwChannelMask, static_cast<unsigned>(FChannels));
    FContext->time_base = AVRational{1, FContext->sample_rate};
    if (AGlobalHeader)
        FContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (std::string LRefused = TLAVCodecOptions::Apply(FContext, AOptions); !LRefused.empty()) {
        ADetail = LRefused;
        Close();
        return AVERROR(EINVAL);
    }
    int LResult = 0;
    LAVLockExecute([&] { LResult = avcodec_open2(FContext, ACodec, nullptr); });
    if (LResult < 0) {
        ADetail = std::string("the ") + ACodec->name + " encoder refused " + DescribeWaveFormat(AFormat) + ": " +
                  LAVErrorText(LResult);
        Close();
        return LResult;
    }
    FFrame = av_frame_alloc();
    FPacket = av_packet_alloc();
    if (!FFrame || !FPacket) {
        Close();
        return AVERROR(ENOMEM);
    }
    FStagingFrames = (ACodec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) || FContext->frame_size <= 0
                         ? 0
                         : FContext->frame_size;
    FStaging.assign(static_cast<size_t>(FStagingFrames) * FBlockAlign, 0);
    FStagingFill = 0;
    FNextPts = 0;
    return 0;
}

int TLAVEncoder::Write(const uint8_t* AData, int AFrames, const TPacketSink& ASink)
{
    if (!FContext || AFrames <= 0)
        return 0;
    if (FStagingFrames == 0)
        return EncodeFrame(AData, AFrames, ASink);
    // Fill the staging frame; what does not fit waits for the next one.
    while (AFrames > 0) {
        const int LCount = std::min(AFrames, FStagingFrames - FStagingFill);
        std::memcpy(FStaging.data() + static_cast<size_t>(FStagingFill) * FBlockAlign, AData,
                    static_cast<size_t>(LCount) * FBlockAlign);
        FStagingFill += LCount;
        AData += static_cast<size_t>(LCount) * FBlockAlign;
        AFrames -= LCount;
        if (FStagingFill == FStagingFrames) {
            FStagingFill = 0;
            if (const int LResult = EncodeFrame(FStaging.data(), FStagingFrames, ASink); LResult < 0)
                return LResult;
        }
    }
    return 0;
}

int TLAVEncoder::Finish(const TPacketSink& ASink)
{
    if (!FContext)
        return 0;
    if (FStagingFill > 0) {
        // The last frame may be short; libavcodec pads it where the codec needs that.
        const int LFill = FStagingFill;
        FStagingFill = 0;
        if (const int LResult = EncodeFrame(FStaging.data(), LFill, ASink); LResult < 0)
            return LResult;
    }
    int LResult = avcodec_send_frame(FContext, nullptr);
    if (LResult < 0 && LResult != AVERROR_EOF)
        return LResult;
    LResult = Receive(ASink);
    return LResult == AVERROR_EOF ? 0 : LResult;
}

int TLAVEncoder::EncodeFrame(const uint8_t* AData, int AFrames, const TPacketSink& ASink)
{
    av_frame_unref(FFrame);
    FFrame->nb_samples = AFrames;
    FFrame->format = FContext->sample_fmt;
    FFrame->sample_rate = FContext->sample_rate;
    if (int LResult = av_channel_layout_copy(&FFrame->ch_layout, &FContext->ch_layout); LResult < 0)
        return LResult;
    if (int LResult = av_frame_get_buffer(FFrame, 0); LResult < 0)
        return LResult;
    DeinterleaveSamples(AData, FBits, FChannels, AFrames, FContext->sample_fmt, FFrame->extended_data, 0);
    FFrame->pts = FNextPts;
    FNextPts += AFrames;
    int LResult = avcodec_send_frame(FContext, FFrame);
    if (LResult < 0)
        return LResult;
    LResult = Receive(ASink);
    return LResult == AVERROR(EAGAIN) ? 0 : LResult;
}

int TLAVEncoder::Receive(const TPacketSink& ASink)
{
    while (true) {
        const int LResult = avcodec_receive_packet(FContext, FPacket);
        if (LResult < 0)
            return LResult;
        ASink(FPacket);
        av_packet_unref(FPacket);
    }
}

void TLAVEncoder::Close()
{
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
    if (FContext)
        LAVLockExecute([this] { avcodec_free_context(&FContext); });
    FStaging.clear();
    FStagingFrames = 0;
    FStagingFill = 0;
}

} // namespace Sonorix::LAV
