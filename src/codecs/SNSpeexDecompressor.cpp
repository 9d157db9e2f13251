// SPDX-License-Identifier: MIT
#include "SNSpeexDecompressor.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "codecs/SNPacketAssembler.h"
#include "codecs/SNSampleRounding.h"
#include "codecs/SNSpeex.h"
#include "SNPCMConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Sonorix {

namespace {
int32_t GetInt(const uint8_t* ASource)
{
    return static_cast<int32_t>(static_cast<uint32_t>(ASource[0]) | (static_cast<uint32_t>(ASource[1]) << 8) |
                                (static_cast<uint32_t>(ASource[2]) << 16) | (static_cast<uint32_t>(ASource[3]) << 24));
}

// Frames per packet beyond this are taken for a damaged header.
constexpr int32_t CMaxFramesPerPacket = 1000;
// Audio held back before the first granule position, at most (a page holds
// far less).
constexpr size_t CMaxHeldSamples = 1 << 20;

// libspeex calls the in-band stereo handler by plain address; the library's
// own is reached through the binding.
int StereoRequest(SpeexBits* ABits, void* AState, void* AData)
{
    return speex_std_stereo_request_handler(ABits, AState, AData);
}
} // namespace

struct TSNSpeexDecompressor::TDecoder {
    std::unique_ptr<SpeexBits, TSpeexStructFree> Bits;
    std::unique_ptr<SpeexStereoState, TSpeexStructFree> StereoState;
    void* State = nullptr;
    std::unique_ptr<TSNPCMConverter> Converter;
    bool Direct = false;
    int64_t Packets = 0;
    int HeaderPackets = 2;
    bool Ready = false;
    uint16_t Channels = 0;
    uint32_t Rate = 0;
    int FrameSize = 0;
    int FramesPerPacket = 1;
    int Lookahead = 0;
    // Decoded frames, before any are dropped at the start.
    int64_t Decoded = 0;
    // Until the first granule position, decoded audio is held back: it
    // tells how much of the start is encoder delay.
    bool Priming = true;
    std::vector<int16_t> Held;
    int64_t StartChop = 0;
    int64_t ToDrop = 0;
    std::vector<float> Float;
    std::vector<int16_t> Frame;
    std::vector<uint8_t> Converted;
    ISNAudioBufferPtr Final;
    uint32_t FinalFill = 0;
    bool FirstConversion = true;

    ~TDecoder()
    {
        if (Bits)
            speex_bits_destroy(Bits.get());
        if (State)
            speex_decoder_destroy(State);
    }
};

TSNSpeexDecompressor::TSNSpeexDecompressor() = default;

TSNSpeexDecompressor::~TSNSpeexDecompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
    TLockAccess LAccess = FInputLock->WriteLock();
    FDecoder.reset();
}

const TClassDescription& TSNSpeexDecompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNSpeexDecompressor");
        LClass.Parent = &TSNBasicAudioDecompressor::ClassDescription();
        LClass.Properties = {
            DescribeObject("AudioFormat", &TSNSpeexDecompressor::GetAudioFormat),
        };
        LClass.Events = {TLAVErrorSource::DescribeOnError()};
        LClass.Factory = [] { return std::make_shared<TSNSpeexDecompressor>(); };
        return LClass;
    }();
    return LDescription;
}

uint16_t TSNSpeexDecompressor::GetChannelCount()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FDecoder && FDecoder->Ready ? FDecoder->Channels : 0;
}

uint32_t TSNSpeexDecompressor::GetSampleRate()
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FDecoder && FDecoder->Ready ? FDecoder->Rate : 0;
}

void TSNSpeexDecompressor::NewDecoder()
{
    FDecoder = std::make_unique<TDecoder>();
    FDecoder->Bits.reset(static_cast<SpeexBits*>(DLL_GetSpeexBitsStruct()));
    speex_bits_init(FDecoder->Bits.get());
    FDecoder->StereoState.reset(static_cast<SpeexStereoState*>(DLL_GetSpeexStereoStateStruct()));
}

void TSNSpeexDecompressor::DropDecoder()
{
    FDecoder.reset();
}

void TSNSpeexDecompressor::HandlePacket(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    if (!FDecoder)
        return;
    if (AHeader.b_o_s && FDecoder->Packets > 0) {
        // A new logical stream: what is decoded of the old one goes out.
        if (FDecoder->Ready)
            Convert(nullptr, 0, true);
        SendFinal();
        StreamStop();
        FStarted = true;
        FOpened = true;
        NewDecoder();
    }
    const int64_t LIndex = FDecoder->Packets++;
    if (LIndex == 0)
        ProcessHeader(AHeader, AData);
    else if (LIndex >= FDecoder->HeaderPackets)
        ProcessSample(AHeader, AData);
}

void TSNSpeexDecompressor::ProcessHeader(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    TDecoder& D = *FDecoder;
    if (AHeader.bytes < 80 || std::memcmp(AData, "Speex   ", 8) != 0) {
        Error(*this, "could not decode packet", 1, "the stream does not begin with a Speex header");
        return;
    }
    const int32_t LRate = GetInt(AData + 36), LMode = GetInt(AData + 40), LChannels = GetInt(AData + 48),
                  LFrames = GetInt(AData + 64), LExtra = GetInt(AData + 68);
    if (LMode < 0 || LMode > 2 || LChannels < 1 || LChannels > 2 || LRate < 1 || LRate > 1536000 ||
        LFrames > CMaxFramesPerPacket) {
        Error(*this, "could not decode packet", 1,
              "Speex header of mode " + std::to_string(LMode) + ", " + std::to_string(LChannels) + " channels at " +
                  std::to_string(LRate) + " Hz, " + std::to_string(LFrames) +
                  " frames per packet (modes 0 to 2, 1 or 2 channels)");
        return;
    }
    D.HeaderPackets = 2 + (LExtra > 0 && LExtra < 16 ? LExtra : 0);
    D.Channels = static_cast<uint16_t>(LChannels);
    D.Rate = static_cast<uint32_t>(LRate);
    D.FramesPerPacket = std::max(1, LFrames);
    const SpeexMode* LNarrow = DLL_Getspeex_nb_mode();
    const SpeexMode* LWide = DLL_Getspeex_wb_mode();
    const SpeexMode* LSpeexMode = DLL_GetModeID(LNarrow) == LMode ? LNarrow
                                  : DLL_GetModeID(LWide) == LMode ? LWide
                                                                  : DLL_Getspeex_uwb_mode();
    D.State = speex_decoder_init(LSpeexMode);
    if (D.Channels == 2) {
        // A stereo stream carries its balance in-band; without the handler
        // both channels would get the mid signal.
        SpeexCallback LStereo{};
        LStereo.callback_id = SPEEX_INBAND_STEREO;
        LStereo.func = StereoRequest;
        LStereo.data = D.StereoState.get();
        speex_decoder_ctl(D.State, SPEEX_SET_HANDLER, &LStereo);
    }
    speex_decoder_ctl(D.State, SPEEX_GET_FRAME_SIZE, &D.FrameSize);
    speex_decoder_ctl(D.State, SPEEX_GET_LOOKAHEAD, &D.Lookahead);
    D.Float.assign(static_cast<size_t>(D.FrameSize) * D.Channels, 0.0f);
    D.Frame.assign(D.Float.size(), 0);

    WAVEFORMATEX LSource{};
    LSource.wFormatTag = WAVE_FORMAT_PCM;
    LSource.nChannels = D.Channels;
    LSource.nSamplesPerSec = D.Rate;
    LSource.wBitsPerSample = 16;
    LSource.nBlockAlign = static_cast<uint16_t>(D.Channels * 2);
    LSource.nAvgBytesPerSec = D.Rate * LSource.nBlockAlign;
    WAVEFORMATEX LDest = FOutFormat.Format;
    LDest.wFormatTag = WAVE_FORMAT_PCM;
    LDest.cbSize = 0;
    D.Direct = LDest.nChannels == D.Channels && LDest.nSamplesPerSec == D.Rate && LDest.wBitsPerSample == 16;
    if (!D.Direct) {
        WAVEFORMATEXTENSIBLE LSourceX{}, LDestX = FOutFormat;
        LSourceX.Format = LSource;
        if (PCMStreamOpen(D.Converter, LSourceX, LDestX, ACM_STREAMOPENF_NONREALTIME) != MMSYSERR_NOERROR) {
            Error(*this, "could not decode packet", ACMERR_NOTPOSSIBLE,
                  "cannot convert " + std::to_string(D.Channels) + " channels at " + std::to_string(D.Rate) +
                      " Hz to the output format");
            return;
        }
        D.Converted.resize(static_cast<size_t>(D.Converter->MaxOutputFrames(static_cast<uint64_t>(D.FrameSize)) + 64) *
                           FOutFormat.Format.nBlockAlign);
    }
    D.Ready = true;
}

void TSNSpeexDecompressor::ProcessSample(const TSNCodecPacketHeader& AHeader, const uint8_t* AData)
{
    TDecoder& D = *FDecoder;
    if (!D.Ready)
        return;
    speex_bits_read_from(D.Bits.get(), reinterpret_cast<const char*>(AData), AHeader.bytes);
    // The last packet ends where its granule position says, counted as the
    // reference decoder does: after the encoder delay dropped at the start,
    // or with the decoder's look-ahead when nothing was dropped.
    int64_t LLimit = INT64_MAX;
    if (AHeader.e_o_s && AHeader.granulepos >= 0) {
        // A damaged page may claim any granule position.
        const int64_t LExtra = D.StartChop > 0 ? D.StartChop : D.Lookahead;
        LLimit = AHeader.granulepos > INT64_MAX - LExtra ? INT64_MAX : AHeader.granulepos + LExtra;
    }
    const size_t LSamples = D.Float.size();
    for (int f = 0; f < D.FramesPerPacket && D.Decoded < LLimit; ++f) {
        // A frame that does not decode (end of the packet's bits, a damaged
        // frame) ends the packet.
        if (speex_decode(D.State, D.Bits.get(), D.Float.data()) != 0 || speex_bits_remaining(D.Bits.get()) < 0)
            break;
        if (D.Channels == 2)
            speex_decode_stereo(D.Float.data(), D.FrameSize, D.StereoState.get());
        FloatsToInt16(D.Float.data(), D.Frame.data(), LSamples);
        const auto LFrames = static_cast<uint32_t>(std::min<int64_t>(D.FrameSize, LLimit - D.Decoded));
        D.Decoded += LFrames;
        Deliver(D.Frame.data(), LFrames);
    }
    // The first granule position: what the first page holds beyond it is
    // encoder delay, dropped with the decoder's look-ahead.
    if (D.Priming && (AHeader.granulepos >= 0 || D.Held.size() > CMaxHeldSamples)) {
        if (AHeader.granulepos >= 0 && !AHeader.e_o_s && D.Decoded > AHeader.granulepos)
            D.StartChop = D.Decoded - AHeader.granulepos + D.Lookahead;
        D.Priming = false;
        D.ToDrop = D.StartChop;
        std::vector<int16_t> LHeld;
        LHeld.swap(D.Held);
        Deliver(LHeld.data(), static_cast<uint32_t>(LHeld.size() / D.Channels));
    }
    if (AHeader.e_o_s) {
        Convert(nullptr, 0, true);
        SendFinal();
    }
}

void TSNSpeexDecompressor::Deliver(const int16_t* AFrames, uint32_t ACount)
{
    TDecoder& D = *FDecoder;
    if (D.Priming) {
        D.Held.insert(D.Held.end(), AFrames, AFrames + static_cast<size_t>(ACount) * D.Channels);
        return;
    }
    const auto LDrop = static_cast<uint32_t>(std::min<int64_t>(D.ToDrop, ACount));
    D.ToDrop -= LDrop;
    if (ACount > LDrop)
        Convert(AFrames + static_cast<size_t>(LDrop) * D.Channels, ACount - LDrop, false);
}

void TSNSpeexDecompressor::Convert(const int16_t* AFrame, uint32_t AFrames, bool ADrain)
{
    TDecoder& D = *FDecoder;
    if (D.Direct) {
        Emit(reinterpret_cast<const uint8_t*>(AFrame), AFrames);
        return;
    }
    const uint32_t LSourceBytes = AFrames * D.Channels * 2u;
    uint32_t LDestBytes = static_cast<uint32_t>(D.Converted.size());
    if (LSourceBytes > 0) {
        const uint32_t LResult = PCMStreamSize(D.Converter.get(), LSourceBytes, LDestBytes, ACM_STREAMSIZEF_SOURCE);
        switch (LResult) {
        case MMSYSERR_NOERROR:
            break;
        case ACMERR_NOTPOSSIBLE:
            throw EDGException("The requested operation cannot be performed.");
        case MMSYSERR_INVALFLAG:
            throw EDGException("At least one flag is invalid.");
        case MMSYSERR_INVALHANDLE:
            throw EDGException("The specified handle is invalid.");
        case MMSYSERR_INVALPARAM:
            throw EDGException("At least one parameter is invalid.");
        default:
            return;
        }
        LDestBytes = std::min<uint32_t>(LDestBytes, static_cast<uint32_t>(D.Converted.size()));
    }
    TSNPCMStreamHeader LHeader{.Source = reinterpret_cast<const uint8_t*>(AFrame ? AFrame : D.Frame.data()),
                               .SourceLength = LSourceBytes,
                               .Dest = D.Converted.data(),
                               .DestLength = LDestBytes};
    PCMStreamPrepareHeader(D.Converter.get(), LHeader);
    uint32_t LFlags = ACM_STREAMCONVERTF_BLOCKALIGN | (D.FirstConversion ? ACM_STREAMCONVERTF_START : 0u) |
                      (ADrain ? ACM_STREAMCONVERTF_END : 0u);
    D.FirstConversion = false;
    // A drain may give more than one destination's worth.
    while (PCMStreamConvert(D.Converter.get(), LHeader, LFlags) == MMSYSERR_NOERROR && LHeader.DestLengthUsed > 0) {
        Emit(LHeader.Dest, LHeader.DestLengthUsed / FOutFormat.Format.nBlockAlign);
        if (!ADrain)
            break;
        LHeader.SourceLength = 0;
        LFlags = ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END;
    }
    PCMStreamUnprepareHeader(D.Converter.get(), LHeader);
}

void TSNSpeexDecompressor::Emit(const uint8_t* ABytes, uint32_t AFrames)
{
    TDecoder& D = *FDecoder;
    const uint32_t LBlockAlign = FOutFormat.Format.nBlockAlign;
    const auto LBufferFrames = static_cast<uint32_t>(std::max(1, FAudioFormat.GetBufferSize()));
    while (AFrames > 0) {
        if (!D.Final) {
            D.Final = TSNAudioBuffer::CreateWaveFormat(FOutFormat, LBufferFrames);
            D.FinalFill = 0;
        }
        const uint32_t LTake = std::min(AFrames, LBufferFrames - D.FinalFill);
        std::memcpy(D.Final->ByteWrite() + static_cast<size_t>(D.FinalFill) * LBlockAlign, ABytes,
                    static_cast<size_t>(LTake) * LBlockAlign);
        ABytes += static_cast<size_t>(LTake) * LBlockAlign;
        AFrames -= LTake;
        D.FinalFill += LTake;
        if (D.FinalFill == LBufferFrames)
            SendFinal();
    }
}

void TSNSpeexDecompressor::SendFinal()
{
    TDecoder& D = *FDecoder;
    if (!D.Final || D.FinalFill == 0)
        return;
    if (D.FinalFill < D.Final->GetSize())
        D.Final->Resize(D.FinalFill);
    ISNAudioBufferPtr LBuffer = std::move(D.Final);
    D.FinalFill = 0;
    FDataPumped = true;
    FOutputPin.SendBuffer(std::move(LBuffer));
}

namespace SNSpeexDecompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNSpeexDecompressor::ClassDescription()});
}
} // namespace SNSpeexDecompressor

} // namespace Sonorix
