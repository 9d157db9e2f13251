// SPDX-License-Identifier: MIT
#include "SNVorbisDecompressor.h"

#include "codecs/SNSampleRounding.h"

#include "CVRegistry.h"
#include "DGClock.h"
#include "SNCatalogue.h"
#include "codecs/LAVInternal.h"
#include "codecs/SNPacketAssembler.h"
#include "codecs/SNVorbisOgg.h"
#include "SNSwresample.h"

extern "C" {
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>


namespace Sonorix {

namespace {
// Vorbis channel order to speaker-mask order, for 1 to 8 channels: output
// channel i is decoded channel CVorbisOrder[n - 1][i].
constexpr uint8_t CVorbisOrder[8][8] = {
    {0},                      {0, 1},                   {0, 2, 1},          {0, 1, 2, 3},
    {0, 2, 1, 3, 4},          {0, 2, 1, 5, 3, 4},       {0, 2, 1, 6, 5, 3, 4}, {0, 2, 1, 7, 5, 6, 3, 4},
};

// Planar floats to interleaved integers of Bits, frames [0, AFrames):
// scaled by 2^(Bits-1) - 1, rounded to nearest and saturated.
template <unsigned Bits>
void InterleaveAs(float* const* AChannels, unsigned ACount, int AFrames, uint8_t* ADest)
{
    using TScale = std::conditional_t<(Bits > 16), double, float>;
    constexpr TScale LScale = static_cast<TScale>((int64_t{1} << (Bits - 1)) - 1);
    constexpr size_t LBytes = Bits / 8;
    const size_t LStep = LBytes * ACount;
    for (unsigned c = 0; c < ACount; ++c) {
        const float* LIn = AChannels[c];
        uint8_t* LOut = ADest + c * LBytes;
        for (int i = 0; i < AFrames; ++i, LOut += LStep) {
            const TScale v = std::clamp(static_cast<TScale>(LIn[i]) * LScale, -LScale - 1, LScale);
            const int32_t s = RoundToInt(v);
            if constexpr (Bits == 8)
                *LOut = static_cast<uint8_t>(s + 128);
            else if constexpr (Bits == 16) {
                const auto LSample = static_cast<int16_t>(s);
                std::memcpy(LOut, &LSample, 2);
            } else if constexpr (Bits == 24) {
                LOut[0] = static_cast<uint8_t>(s);
                LOut[1] = static_cast<uint8_t>(s >> 8);
                LOut[2] = static_cast<uint8_t>(s >> 16);
            } else
                std::memcpy(LOut, &s, 4);
        }
    }
}

void Interleave(float* const* AChannels, unsigned ACount, int AFrames, unsigned ABits, uint8_t* ADest)
{
    switch (ABits) {
    case 8:
        return InterleaveAs<8>(AChannels, ACount, AFrames, ADest);
    case 16:
        return InterleaveAs<16>(AChannels, ACount, AFrames, ADest);
    case 24:
        return InterleaveAs<24>(AChannels, ACount, AFrames, ADest);
    default:
        return InterleaveAs<32>(AChannels, ACount, AFrames, ADest);
    }
}
} // namespace

struct TSNVorbisDecompressor::TDecoder {
    vorbis_info Info{};
    vorbis_comment Comment{};
    vorbis_dsp_state DSPState{};
    vorbis_block Block{};
    int Headers = 0;
    bool Synthesis = false;
    bool Reported = false;
    int64_t Packets = 0;
    // Set when the stream and the output differ in rate or channels.
    SwrContext* Resampler = nullptr;
    std::vector<uint8_t> Converted;
    std::vector<float*> Ordered;
    ISNAudioBufferPtr Final;
    uint32_t FinalFill = 0;

    TDecoder()
    {
        vorbis_info_init(&Info);
        vorbis_comment_init(&Comment);
    }
    ~TDecoder()
    {
        if (Resampler)
            Swresample()->swr_free(&Resampler);
        if (Synthesis) {
            vorbis_block_clear(&Block);
            vorbis_dsp_clear(&DSPState);
        }
        vorbis_comment_clear(&Comment);
        vorbis_info_clear(&Info);
    }
};

TSNVorbisDecompressor::TSNVorbisDecompressor() = default;

TSNVorbisDecompressor::~TSNVorbisDecompressor()
{
    ReleaseProcessing();
    // The clock only wakes the pump thread; the pump thread calls upstream
    // without our lock. Both end before the pins go.
    if (FClockGen)
        FClockGen->Stop();
    if (FPumpNotifyThread)
        FPumpNotifyThread->Release();
    FInputPin.DisconnectAll();
    TLockAccess LAccess = FInputLock->WriteLock();
    FDecoder.reset();
}

const TClassDescription& TSNVorbisDecompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNVorbisDecompressor");
        LClass.Parent = &TSNBasicAudioDecompressor::ClassDescription();
        LClass.Properties = {
            DescribeObject("AudioFormat", &TSNVorbisDecompressor::GetAudioFormat),
            DescribeObject("MasterPumping", &TSNVorbisDecompressor::GetMasterPumping),
        };
        LClass.Events = {TLAVErrorSource::DescribeOnError()};
        LClass.Factory = [] { return std::make_shared<TSNVorbisDecompressor>(); };
        return LClass;
    }();
    return LDescription;
}

uint16_t TSNVorbisDecompressor::GetChannelCount()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FDecoder && FDecoder->Headers > 0 ? static_cast<uint16_t>(FDecoder->Info.channels) : 0;
}

uint32_t TSNVorbisDecompressor::GetSampleRate()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FDecoder && FDecoder->Headers > 0 ? static_cast<uint32_t>(FDecoder->Info.rate) : 0;
}

int64_t TSNVorbisDecompressor::VCGetCurrentTime()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FCurrentTime;
}

std::string TSNVorbisDecompressor::GetVendor()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FDecoder && FDecoder->Comment.vendor ? FDecoder->Comment.vendor : "";
}

int TSNVorbisDecompressor::GetCommentCount()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FDecoder ? FDecoder->Comment.comments : 0;
}

std::string TSNVorbisDecompressor::GetComments(int AIndex)
{
    TLockAccess LAccess = FInputLock->ReadLock();
    if (!FDecoder || AIndex < 0 || AIndex >= FDecoder->Comment.comments)
        return {};
    return std::string(FDecoder->Comment.user_comments[AIndex],
                       static_cast<size_t>(FDecoder->Comment.comment_lengths[AIndex]));
}

int64_t TSNVorbisDecompressor::GetFrameDelay()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FFrameDelay;
}

bool TSNVorbisDecompressor::SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation)) {
        if (!FMasterPumping.GetEnabled())
            return FOutputPin.Notify(AOperation);
        const uint32_t LPriority = FMasterPumping.GetPriority();
        // A hardware pump, or a master pump at least as strong, already
        // drives the chain: the request ends here.
        if (LRequest->PumpType == ptHardware || (LRequest->PumpType == ptMaster && LRequest->Priority >= LPriority))
            return true;
        LRequest->Claim(this, ptHardware, LPriority);
        FOutputPin.Notify(AOperation);
        FIsPump = LRequest->PumpObject == this;
        // Only a decoder that drives its chain needs the thread; it stays
        // until the decoder goes (the clock's tick reads it without a lock).
        if (FIsPump && !FPumpNotifyThread && !GetDesignMode())
            FPumpNotifyThread = std::make_unique<TProcessingThread>([this] { IntPump(); });
        return true;
    }
    if (OperationAs<TPNStartPumpOperation>(AOperation)) {
        if (FIsPump && FMasterPumping.GetEnabled() && FPumpNotifyThread)
            FPumpNotifyThread->WakeUp();
        return FOutputPin.Notify(AOperation);
    }
    if (OperationAs<TPNFileEndNoStopOperation>(AOperation)) {
        // Nothing more comes until the next stream's headers.
        StopTimer();
        return FOutputPin.Notify(AOperation);
    }
    if (OperationAs<TPNStopOperation>(AOperation))
        FIsPump = false; // the next stream negotiates its pump again
    return TSNOggAudioDecompressor::SinkDispatch(APin, AOperation);
}

void TSNVorbisDecompressor::NewDecoder()
{
    FCurrentTime = 0;
    FDecoder = std::make_unique<TDecoder>();
}

void TSNVorbisDecompressor::DropDecoder()
{
    StopTimer();
    FDecoder.reset();
}

void TSNVorbisDecompressor::CreateTimer()
{
    if (!FIsPump || !FPumpNotifyThread || (FClockGen && FClockGen->IsRunning()))
        return;
    const int64_t LPeriod = std::max<int64_t>(FFrameDelay, 1) * (DGTimeUnitsPerSecond / 1000);
    if (!FClockGen)
        FClockGen = std::make_unique<TDGClockGen>(LPeriod, [this] { FPumpNotifyThread->WakeUp(); });
    else
        FClockGen->SetPeriod(LPeriod);
    FClockGen->Start();
}

void TSNVorbisDecompressor::StopTimer()
{
    // The tick takes no lock: stopping under FInputLock cannot wait on it.
    if (FClockGen)
        FClockGen->Stop();
}

void TSNVorbisDecompressor::IntPump()
{
    // Without our lock: the source answers by sending into SinkDispatch.
    if (FIsPump && FOpened && FMasterPumping.GetEnabled())
        FInputPin.Notify(std::make_shared<TPNMasterPumpOperation>(this));
}

void TSNVorbisDecompressor::DecodeBlock(const IDGBlockBuffer& ABlock)
{
    const uint64_t LSentBefore = FBuffersSent;
    TSNOggAudioDecompressor::DecodeBlock(ABlock);
    // Headers still missing or no audio yet: the tick wants a buffer, pull on.
    if (FIsPump && FOpened && FPumpNotifyThread && FBuffersSent == LSentBefore)
        FPumpNotifyThread->WakeUp();
}

void TSNVorbisDecompressor::HandlePacket(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    if (!FDecoder)
        return;
    if (AHeader.b_o_s && FDecoder->Packets > 0) {
        // A new logical stream: what is decoded of the old one goes out.
        SendFinal(true);
        FDecoder = std::make_unique<TDecoder>();
    }
    ++FDecoder->Packets;
    if (FDecoder->Headers < 3)
        ProcessHeader(AHeader, AData);
    else
        ProcessSample(AHeader, AData);
}

void TSNVorbisDecompressor::ProcessHeader(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    TDecoder& LDecoder = *FDecoder;
    ogg_packet LPacket{};
    LPacket.packet = const_cast<uint8_t*>(AData);
    LPacket.bytes = AHeader.bytes;
    LPacket.b_o_s = LDecoder.Headers == 0 ? 1 : 0;
    LPacket.granulepos = AHeader.granulepos;
    LPacket.packetno = AHeader.packetno;
    const int LResult = vorbis_synthesis_headerin(&LDecoder.Info, &LDecoder.Comment, &LPacket);
    if (LResult != 0) {
        if (!LDecoder.Reported) {
            LDecoder.Reported = true;
            static const char* const CNames[] = {"identification", "comment", "setup"};
            Error(*this, "could not decode packet", static_cast<uint32_t>(-LResult),
                  "packet " + std::to_string(LDecoder.Packets - 1) + " is not the Vorbis " +
                      CNames[LDecoder.Headers] + " header (error " + std::to_string(LResult) + ")");
        }
        return;
    }
    if (LDecoder.Info.rate > 0) {
        const double LRate = std::max<double>(FOutFormat.Format.nSamplesPerSec, 1.0);
        FFrameDelay = std::llround(999.0 * std::max(1, FAudioFormat.GetBufferSize()) / LRate);
    }
    if (++LDecoder.Headers < 3)
        return;
    const int LChannels = LDecoder.Info.channels;
    if (LChannels < 1 || LChannels > 32 || LDecoder.Info.rate < 1 || LDecoder.Info.rate > 1536000) {
        LDecoder.Headers = 0;
        LDecoder.Reported = true;
        Error(*this, "could not decode packet", 1,
              "Vorbis stream of " + std::to_string(LChannels) + " channels at " + std::to_string(LDecoder.Info.rate) +
                  " Hz (1 to 32 channels supported)");
        return;
    }
    // The conversion first: a stream that cannot reach the output's
    // channels and rate is not decoded at all.
    const unsigned LOutChannels = FOutFormat.Format.nChannels;
    const uint32_t LOutRate = FOutFormat.Format.nSamplesPerSec;
    if (static_cast<unsigned>(LChannels) != LOutChannels || static_cast<uint32_t>(LDecoder.Info.rate) != LOutRate) {
        AVChannelLayout LIn{}, LOut{};
        LAV::LayoutFromMask(LIn, DefaultChannelMask(static_cast<unsigned>(LChannels)), static_cast<unsigned>(LChannels));
        LAV::LayoutFromMask(LOut, FOutFormat.dwChannelMask, LOutChannels);
        const AVSampleFormat LOutSample = FOutFormat.Format.wBitsPerSample == 8    ? AV_SAMPLE_FMT_U8
                                          : FOutFormat.Format.wBitsPerSample == 16 ? AV_SAMPLE_FMT_S16
                                                                                   : AV_SAMPLE_FMT_S32;
        const TSwresample* S = Swresample();
        const int LResult2 = !S ? -1
                                : S->swr_alloc_set_opts2(&LDecoder.Resampler, &LOut, LOutSample,
                                                         static_cast<int>(LOutRate), &LIn, AV_SAMPLE_FMT_FLTP,
                                                         static_cast<int>(LDecoder.Info.rate), 0, nullptr);
        if (S) {
            S->av_channel_layout_uninit(&LIn);
            S->av_channel_layout_uninit(&LOut);
        }
        if (LResult2 < 0 || S->swr_init(LDecoder.Resampler) < 0) {
            if (S)
                S->swr_free(&LDecoder.Resampler);
            LDecoder.Headers = 0;
            LDecoder.Reported = true;
            Error(*this, "could not decode packet", 1,
                  "cannot convert " + std::to_string(LChannels) + " channels at " + std::to_string(LDecoder.Info.rate) +
                      " Hz to " + std::to_string(LOutChannels) + " channels at " + std::to_string(LOutRate) + " Hz");
            return;
        }
    }
    if (vorbis_synthesis_init(&LDecoder.DSPState, &LDecoder.Info) != 0) {
        LDecoder.Headers = 0;
        Error(*this, "could not decode packet", 1, "the Vorbis decoder refuses the stream's set-up");
        return;
    }
    vorbis_block_init(&LDecoder.DSPState, &LDecoder.Block);
    LDecoder.Synthesis = true;
    CreateTimer();
    LDecoder.Ordered.resize(static_cast<size_t>(LChannels));
}

void TSNVorbisDecompressor::ProcessSample(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    TDecoder& LDecoder = *FDecoder;
    if (!LDecoder.Synthesis)
        return;
    ogg_packet LPacket{};
    LPacket.packet = const_cast<uint8_t*>(AData);
    LPacket.bytes = AHeader.bytes;
    LPacket.granulepos = AHeader.granulepos;
    LPacket.packetno = AHeader.packetno;
    LPacket.e_o_s = AHeader.e_o_s;
    // A packet the library refuses gives no audio; decoding goes on.
    if (vorbis_synthesis(&LDecoder.Block, &LPacket) == 0)
        vorbis_synthesis_blockin(&LDecoder.DSPState, &LDecoder.Block);
    float** LPcm = nullptr;
    int LFrames;
    while ((LFrames = vorbis_synthesis_pcmout(&LDecoder.DSPState, &LPcm)) > 0) {
        EmitPcm(LPcm, LFrames);
        vorbis_synthesis_read(&LDecoder.DSPState, LFrames);
    }
    if (AHeader.e_o_s)
        SendFinal(true);
}

void TSNVorbisDecompressor::EmitPcm(float** APcm, int AFrames)
{
    TDecoder& LDecoder = *FDecoder;
    const unsigned LChannels = static_cast<unsigned>(LDecoder.Info.channels);
    const uint8_t* LOrder = CVorbisOrder[std::min(LChannels, 8u) - 1];
    for (unsigned c = 0; c < LChannels; ++c)
        LDecoder.Ordered[c] = APcm[c < 8 ? LOrder[c] : c];
    const unsigned LBits = FOutFormat.Format.wBitsPerSample;
    const uint32_t LBlockAlign = FOutFormat.Format.nBlockAlign;
    const uint32_t LBufferFrames = static_cast<uint32_t>(std::max(1, FAudioFormat.GetBufferSize()));
    auto LPut = [&](const uint8_t* ABytes, uint32_t AFrameCount, auto&& AFill) {
        uint32_t LDone = 0;
        while (LDone < AFrameCount) {
            if (!LDecoder.Final) {
                LDecoder.Final = TSNAudioBuffer::CreateWaveFormat(FOutFormat, LBufferFrames);
                LDecoder.FinalFill = 0;
            }
            const uint32_t LTake = std::min(AFrameCount - LDone, LBufferFrames - LDecoder.FinalFill);
            AFill(LDecoder.Final->ByteWrite() + static_cast<size_t>(LDecoder.FinalFill) * LBlockAlign, LDone, LTake,
                  ABytes);
            LDone += LTake;
            LDecoder.FinalFill += LTake;
            if (LDecoder.FinalFill == LBufferFrames)
                SendFinal(false);
        }
    };
    if (!LDecoder.Resampler) {
        LPut(nullptr, static_cast<uint32_t>(AFrames), [&](uint8_t* ADest, uint32_t AFrom, uint32_t ACount, const uint8_t*) {
            float* LFrom[32];
            for (unsigned c = 0; c < LChannels; ++c)
                LFrom[c] = LDecoder.Ordered[c] + AFrom;
            Interleave(LFrom, LChannels, static_cast<int>(ACount), LBits, ADest);
        });
        return;
    }
    const unsigned LOutChannels = FOutFormat.Format.nChannels;
    const int LWide = LBits == 8 ? 1 : LBits == 16 ? 2 : 4;
    const size_t LInStep = static_cast<size_t>(LWide) * LOutChannels;
    // A header may claim any rate down to 1 Hz: the input goes to the
    // resampler in pieces that make at most about CMaxConvertedFrames each,
    // so memory stays bounded however far the rates are apart.
    constexpr int64_t CMaxConvertedFrames = 65536;
    const int64_t LOutRate = std::max<uint32_t>(1, FOutFormat.Format.nSamplesPerSec);
    const int64_t LPiece = std::clamp<int64_t>(CMaxConvertedFrames * LDecoder.Info.rate / LOutRate, 1, AFrames);
    for (int LFrom = 0; LFrom < AFrames;) {
        const int LCount = static_cast<int>(std::min<int64_t>(LPiece, AFrames - LFrom));
        const int LCapacity = Swresample()->swr_get_out_samples(LDecoder.Resampler, LCount);
        if (LCapacity <= 0)
            return;
        LDecoder.Converted.resize(static_cast<size_t>(LCapacity) * LInStep);
        uint8_t* LOut = LDecoder.Converted.data();
        const uint8_t* LIn[32];
        for (unsigned c = 0; c < LChannels; ++c)
            LIn[c] = reinterpret_cast<const uint8_t*>(LDecoder.Ordered[c] + LFrom);
        const int LGot = Swresample()->swr_convert(LDecoder.Resampler, &LOut, LCapacity, LIn, LCount);
        LFrom += LCount;
        if (LGot <= 0)
            continue;
        LPut(LOut, static_cast<uint32_t>(LGot),
             [&](uint8_t* ADest, uint32_t AFrom, uint32_t ACount, const uint8_t* ASource) {
                 const uint8_t* LBytes = ASource + AFrom * LInStep;
                 if (LBits != 24) {
                     std::memcpy(ADest, LBytes, ACount * LInStep);
                     return;
                 }
                 // 24 bits come from the top three bytes of 32.
                 for (size_t i = 0; i < static_cast<size_t>(ACount) * LOutChannels; ++i, LBytes += 4, ADest += 3)
                     std::memcpy(ADest, LBytes + 1, 3);
             });
    }
}

void TSNVorbisDecompressor::SendFinal(bool APartial)
{
    TDecoder& LDecoder = *FDecoder;
    if (!LDecoder.Final || LDecoder.FinalFill == 0)
        return;
    if (APartial && LDecoder.FinalFill < LDecoder.Final->GetSize())
        LDecoder.Final->Resize(LDecoder.FinalFill);
    ISNAudioBufferPtr LBuffer = std::move(LDecoder.Final);
    LDecoder.FinalFill = 0;
    FCurrentTime += static_cast<int64_t>(LBuffer->GetSize()) * DGTimeUnitsPerSecond /
                    std::max<uint32_t>(1, FOutFormat.Format.nSamplesPerSec);
    FDataPumped = true;
    ++FBuffersSent;
    FOutputPin.SendBuffer(std::move(LBuffer));
}

namespace SNVorbisDecompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNVorbisDecompressor::ClassDescription()});
}
} // namespace SNVorbisDecompressor

} // namespace Sonorix
