// SPDX-License-Identifier: MIT
#include "LAVEncoder.h"

#include "XVLAVSupport.h"

#include <algorithm>
#include <cstring>

namespace Sonorix::LAV {

namespace {

// The packed integer format the stream's samples are handed over in
// (24-bit samples as s32).
AVSampleFormat StreamSampleFormat(unsigned ABits)
{
    return ABits == 8 ? AV_SAMPLE_FMT_U8 : (ABits == 16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32);
}

// The rate of ACodec nearest to ARate (of two equally near, the higher);
// ARate itself when the codec takes it or takes any rate.
int NearestRate(const AVCodec* ACodec, int ARate)
{
    if (!ACodec->supported_samplerates)
        return ARate;
    int LBest = 0;
    for (const int* LRate = ACodec->supported_samplerates; *LRate != 0; ++LRate) {
        if (*LRate == ARate)
            return ARate;
        const int64_t LDistance = std::abs(int64_t{*LRate} - ARate), LBestDistance = std::abs(int64_t{LBest} - ARate);
        if (LBest == 0 || LDistance < LBestDistance || (LDistance == LBestDistance && *LRate > LBest))
            LBest = *LRate;
    }
    return LBest != 0 ? LBest : ARate;
}

// The layout of ACodec nearest to AWanted: itself, else one of as many
// channels, else the widest of fewer (a downmix), else the narrowest of more.
void NearestLayout(const AVCodec* ACodec, const AVChannelLayout& AWanted, AVChannelLayout& AResult)
{
    const AVChannelLayout* LBest = &AWanted;
    if (ACodec->ch_layouts) {
        const auto LRank = [&](const AVChannelLayout& ALayout) {
            const int LHave = ALayout.nb_channels, LWant = AWanted.nb_channels;
            if (av_channel_layout_compare(&ALayout, &AWanted) == 0)
                return 0;
            if (LHave == LWant)
                return 1;
            return LHave < LWant ? 1 + (LWant - LHave) : 1000 + (LHave - LWant);
        };
        LBest = nullptr;
        for (const AVChannelLayout* LLayout = ACodec->ch_layouts; LLayout->nb_channels != 0; ++LLayout)
            if (!LBest || LRank(*LLayout) < LRank(*LBest))
                LBest = LLayout;
        if (!LBest)
            LBest = &AWanted;
    }
    av_channel_layout_copy(&AResult, LBest);
}

std::string LayoutName(const AVChannelLayout& ALayout)
{
    char LName[128] = {};
    av_channel_layout_describe(&ALayout, LName, sizeof(LName));
    return LName;
}

} // namespace

int TLAVEncoder::Open(const AVCodec* ACodec, const WAVEFORMATEXTENSIBLE& AFormat, int64_t ABitRate,
                      bool AGlobalHeader, const std::string& AOptions, std::string& ADetail,
                      std::string& AConversion)
{
    Close();
    AConversion.clear();
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
    // The nearest rate and layout the codec takes; libswresample converts.
    const int LInRate = static_cast<int>(AFormat.Format.nSamplesPerSec);
    FContext->sample_rate = NearestRate(ACodec, LInRate);
    AVChannelLayout LInLayout{};
    LayoutFromMask(LInLayout, AFormat.dwChannelMask, static_cast<unsigned>(FChannels));
    NearestLayout(ACodec, LInLayout, FContext->ch_layout);
    const bool LResample =
        FContext->sample_rate != LInRate || av_channel_layout_compare(&FContext->ch_layout, &LInLayout) != 0;
    std::string LChanges;
    if (FContext->sample_rate != LInRate)
        LChanges = std::to_string(LInRate) + " Hz to " + std::to_string(FContext->sample_rate) + " Hz";
    if (av_channel_layout_compare(&FContext->ch_layout, &LInLayout) != 0)
        LChanges += (LChanges.empty() ? "" : ", ") + LayoutName(LInLayout) + " to " + LayoutName(FContext->ch_layout);
    if (LResample)
        LChanges += " (libswresample)";
    if (av_get_packed_sample_fmt(FContext->sample_fmt) != StreamSampleFormat(LBits))
        LChanges += (LChanges.empty() ? "" : ", ") + std::to_string(LBits) + "-bit integer samples to " +
                    av_get_sample_fmt_name(FContext->sample_fmt);
    if (!LChanges.empty())
        AConversion = std::string("for the ") + ACodec->name + " encoder: " + LChanges;
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
    FStagingFill = 0;
    FNextPts = 0;
    if (LResample) {
        const int LResult = OpenResampler(LInLayout, LInRate, ADetail);
        av_channel_layout_uninit(&LInLayout);
        return LResult;
    }
    av_channel_layout_uninit(&LInLayout);
    FStaging.assign(static_cast<size_t>(FStagingFrames) * FBlockAlign, 0);
    return 0;
}

int TLAVEncoder::OpenResampler(AVChannelLayout& AInLayout, int AInRate, std::string& ADetail)
{
    int LResult = swr_alloc_set_opts2(&FResampler, &FContext->ch_layout, FContext->sample_fmt, FContext->sample_rate,
                                      &AInLayout, StreamSampleFormat(FBits), AInRate, 0, nullptr);
    if (LResult >= 0)
        LResult = swr_init(FResampler);
    FFifo = av_audio_fifo_alloc(FContext->sample_fmt, FContext->ch_layout.nb_channels,
                                std::max(FStagingFrames, 4096));
    if (LResult >= 0 && !FFifo)
        LResult = AVERROR(ENOMEM);
    if (LResult < 0) {
        ADetail = "libswresample cannot convert the stream for the " + std::string(FContext->codec->name) +
                  " encoder: " + LAVErrorText(LResult);
        Close();
    }
    return LResult;
}

int TLAVEncoder::Write(const uint8_t* AData, int AFrames, const TPacketSink& ASink)
{
    if (!FContext || AFrames <= 0)
        return 0;
    if (FResampler)
        return Resample(AData, AFrames, ASink);
    if (FStagingFrames == 0)
        return EncodeFrame(AData, AFrames, ASink);
    // Fill the staging frame; what does not fit waits for the next one.
    // Whole frames with nothing staged before them go to the encoder's frame
    // straight from the input: one copy, not two.
    while (AFrames > 0) {
        if (FStagingFill == 0 && AFrames >= FStagingFrames) {
            if (const int LResult = EncodeFrame(AData, FStagingFrames, ASink); LResult < 0)
                return LResult;
            AData += static_cast<size_t>(FStagingFrames) * FBlockAlign;
            AFrames -= FStagingFrames;
            continue;
        }
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
    if (FResampler) {
        // What the resampler holds back (its filter's delay) comes out now.
        while (true) {
            const int LCapacity = swr_get_out_samples(FResampler, 0);
            if (LCapacity <= 0)
                break;
            ReserveConverted(LCapacity);
            const int LCount = swr_convert(FResampler, FConvertedPlanes.data(), LCapacity, nullptr, 0);
            if (LCount < 0)
                return LCount;
            if (LCount == 0)
                break;
            if (av_audio_fifo_write(FFifo, reinterpret_cast<void**>(FConvertedPlanes.data()), LCount) < LCount)
                return AVERROR(ENOMEM);
        }
        if (const int LResult = EncodeFifo(true, ASink); LResult < 0)
            return LResult;
    } else if (FStagingFill > 0) {
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

int TLAVEncoder::Resample(const uint8_t* AData, int AFrames, const TPacketSink& ASink)
{
    const uint8_t* LInput = AData;
    if (FBits == 24) {
        // libswresample has no packed 24-bit format: widen to s32 first.
        const size_t LBytes = static_cast<size_t>(AFrames) * static_cast<size_t>(FChannels) * 4;
        if (FWideInput.size() < LBytes)
            FWideInput.resize(LBytes);
        uint8_t* const LPlanes[1] = {FWideInput.data()};
        DeinterleaveSamples(AData, 24, FChannels, AFrames, AV_SAMPLE_FMT_S32, LPlanes, 0);
        LInput = FWideInput.data();
    }
    const int LCapacity = swr_get_out_samples(FResampler, AFrames);
    if (LCapacity < 0)
        return LCapacity;
    ReserveConverted(LCapacity);
    const uint8_t* LInputPlanes[1] = {LInput};
    const int LCount = swr_convert(FResampler, FConvertedPlanes.data(), LCapacity, LInputPlanes, AFrames);
    if (LCount < 0)
        return LCount;
    if (LCount > 0 && av_audio_fifo_write(FFifo, reinterpret_cast<void**>(FConvertedPlanes.data()), LCount) < LCount)
        return AVERROR(ENOMEM);
    return EncodeFifo(false, ASink);
}

void TLAVEncoder::ReserveConverted(int AFrames)
{
    if (AFrames <= FConvertedCapacity)
        return;
    const int LChannels = FContext->ch_layout.nb_channels;
    const bool LPlanar = av_sample_fmt_is_planar(FContext->sample_fmt) != 0;
    const size_t LPlaneBytes = static_cast<size_t>(AFrames) *
                               static_cast<size_t>(av_get_bytes_per_sample(FContext->sample_fmt)) *
                               static_cast<size_t>(LPlanar ? 1 : LChannels);
    const int LPlanes = LPlanar ? LChannels : 1;
    FConverted.resize(LPlaneBytes * static_cast<size_t>(LPlanes));
    FConvertedPlanes.resize(static_cast<size_t>(LPlanes));
    for (int P = 0; P < LPlanes; ++P)
        FConvertedPlanes[static_cast<size_t>(P)] = FConverted.data() + LPlaneBytes * static_cast<size_t>(P);
    FConvertedCapacity = AFrames;
}

int TLAVEncoder::EncodeFifo(bool AFlush, const TPacketSink& ASink)
{
    while (true) {
        const int LHeld = av_audio_fifo_size(FFifo);
        int LCount = LHeld;
        // Codecs of a fixed frame size get whole frames; the stop sends the short rest.
        if (FStagingFrames > 0)
            LCount = LHeld >= FStagingFrames ? FStagingFrames : (AFlush ? LHeld : 0);
        if (LCount <= 0)
            return 0;
        if (const int LResult = PrepareFrame(LCount); LResult < 0)
            return LResult;
        if (av_audio_fifo_read(FFifo, reinterpret_cast<void**>(FFrame->extended_data), LCount) < LCount)
            return AVERROR_BUG;
        if (const int LResult = SendFrame(ASink); LResult < 0)
            return LResult;
    }
}

int TLAVEncoder::PrepareFrame(int AFrames)
{
    // Most encoders copy a frame's samples before avcodec_send_frame
    // returns: the frame is then ours alone again and is refilled, where a
    // fresh buffer per frame cost an allocation every 64 frames (libvorbis).
    if (FFrame->buf[0] && FFrame->nb_samples == AFrames && av_frame_is_writable(FFrame))
        return 0;
    av_frame_unref(FFrame);
    FFrame->nb_samples = AFrames;
    FFrame->format = FContext->sample_fmt;
    FFrame->sample_rate = FContext->sample_rate;
    if (int LResult = av_channel_layout_copy(&FFrame->ch_layout, &FContext->ch_layout); LResult < 0)
        return LResult;
    return av_frame_get_buffer(FFrame, 0);
}

int TLAVEncoder::EncodeFrame(const uint8_t* AData, int AFrames, const TPacketSink& ASink)
{
    if (int LResult = PrepareFrame(AFrames); LResult < 0)
        return LResult;
    DeinterleaveSamples(AData, FBits, FChannels, AFrames, FContext->sample_fmt, FFrame->extended_data, 0);
    return SendFrame(ASink);
}

int TLAVEncoder::SendFrame(const TPacketSink& ASink)
{
    FFrame->pts = FNextPts;
    FNextPts += FFrame->nb_samples;
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
    swr_free(&FResampler);
    if (FFifo) {
        av_audio_fifo_free(FFifo);
        FFifo = nullptr;
    }
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
    if (FContext)
        LAVLockExecute([this] { avcodec_free_context(&FContext); });
    FStaging.clear();
    FStagingFrames = 0;
    FStagingFill = 0;
}

} // namespace Sonorix::LAV
