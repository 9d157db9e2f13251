// SPDX-License-Identifier: MIT
#include "SNSpeexCompressor.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNOggLogger.h"
#include "codecs/SNSpeex.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace Sonorix {

namespace {
constexpr const char* CBandModeNames[] = {"snSpeexNarrowBand", "snSpeexWideband", "snSpeexUltraWideband"};

// Names the library behind the codec and the date of its bit stream.
constexpr char CVendor[] = "SonorixPkg libspeex 20020717";
static_assert(sizeof(CVendor) - 1 == 28);

void PutInt(uint8_t* ADest, int32_t AValue)
{
    const auto LValue = static_cast<uint32_t>(AValue);
    for (int i = 0; i < 4; ++i)
        ADest[i] = static_cast<uint8_t>(LValue >> (8 * i));
}

void AppendInt(std::vector<uint8_t>& ADest, size_t AValue)
{
    uint8_t LBytes[4];
    PutInt(LBytes, static_cast<int32_t>(AValue));
    ADest.insert(ADest.end(), LBytes, LBytes + 4);
}

void AppendText(std::vector<uint8_t>& ADest, const std::string& AText)
{
    AppendInt(ADest, AText.size());
    ADest.insert(ADest.end(), AText.begin(), AText.end());
}

// One sample of width ABits at ASource in the 16-bit range.
// AFrames frames of one channel, every AStep bytes from ASource, as floats
// on the 16-bit scale, every AOutStep floats into AOut.
template <unsigned Bits>
void ChannelAsFloats(const uint8_t* ASource, size_t AStep, uint32_t AFrames, float* AOut, unsigned AOutStep)
{
    for (uint32_t i = 0; i < AFrames; ++i, ASource += AStep, AOut += AOutStep) {
        if constexpr (Bits == 8)
            *AOut = (static_cast<float>(*ASource) - 128.0f) * 256.0f;
        else if constexpr (Bits == 16) {
            int16_t s;
            std::memcpy(&s, ASource, 2);
            *AOut = s;
        } else if constexpr (Bits == 24) {
            const int32_t s = static_cast<int32_t>((static_cast<uint32_t>(ASource[0]) << 8) |
                                                   (static_cast<uint32_t>(ASource[1]) << 16) |
                                                   (static_cast<uint32_t>(ASource[2]) << 24)) >>
                              8;
            *AOut = static_cast<float>(s) / 256.0f;
        } else {
            int32_t s;
            std::memcpy(&s, ASource, 4);
            *AOut = static_cast<float>(s / 65536.0);
        }
    }
}

void ChannelAsFloats(unsigned ABits, const uint8_t* ASource, size_t AStep, uint32_t AFrames, float* AOut,
                     unsigned AOutStep)
{
    switch (ABits) {
    case 8:
        return ChannelAsFloats<8>(ASource, AStep, AFrames, AOut, AOutStep);
    case 16:
        return ChannelAsFloats<16>(ASource, AStep, AFrames, AOut, AOutStep);
    case 24:
        return ChannelAsFloats<24>(ASource, AStep, AFrames, AOut, AOutStep);
    default:
        return ChannelAsFloats<32>(ASource, AStep, AFrames, AOut, AOutStep);
    }
}
} // namespace

const TEnumInfo SNSpeexBandModeInfo{"TSNSpeexBandMode", CBandModeNames};

// --- TSNSpeexVariableBitRate -------------------------------------------------

const TClassDescription& TSNSpeexVariableBitRate::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNSpeexVariableBitRate;
        TClassDescription LClass;
        LClass.ClassName = "TSNSpeexVariableBitRate";
        LClass.Unit = "SNSpeexCompressor";
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeProperty(QualityProperty, &C::GetQuality, &C::SetQuality),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNSpeexVariableBitRate::GetEnabled() const { return FLock.Getter(FEnabled); }
void TSNSpeexVariableBitRate::SetEnabled(bool AValue) { FLock.NotifySetter(FEnabled, AValue); }
int32_t TSNSpeexVariableBitRate::GetQuality() const { return FLock.Getter(FQuality); }
void TSNSpeexVariableBitRate::SetQuality(int32_t AValue)
{
    FLock.NotifySetterMinMax(FQuality, AValue, static_cast<int32_t>(*QualityProperty.Min),
                             static_cast<int32_t>(*QualityProperty.Max));
}
void TSNSpeexVariableBitRate::Assign(const TSNSpeexVariableBitRate& AOther)
{
    SetEnabled(AOther.GetEnabled());
    SetQuality(AOther.GetQuality());
}

// --- TSNSpeexCompressor ------------------------------------------------------

struct TSNSpeexCompressor::TEncoder {
    std::unique_ptr<SpeexBits, TSpeexStructFree> Bits;
    void* State = nullptr;
    // Audio packets reuse one record of the Ogg library.
    std::unique_ptr<ogg_packet, TVorbisStructFree> Packet;
    unsigned InChannels = 0;
    unsigned InBits = 0;
    size_t InBlockAlign = 0;
    // Byte offsets in an input frame of the channels coded (1 or 2).
    size_t ChannelOffset[2]{};
    unsigned NumChannels = 0;
    int FrameSize = 0;
    int FramesPerPacket = 1;
    std::vector<float> Float;
    int Filled = 0;
    std::vector<uint8_t> Output;
    int FramesWritten = 0;
    int64_t GranulePos = 0;
    int64_t PacketNo = 0;

    ~TEncoder()
    {
        if (Bits)
            speex_bits_destroy(Bits.get());
        if (State)
            speex_encoder_destroy(State);
    }
};

TSNSpeexCompressor::TSNSpeexCompressor() = default;

TSNSpeexCompressor::~TSNSpeexCompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
    TLockAccess LAccess = FInputLock->WriteLock();
    FEncoder.reset();
}

const TClassDescription& TSNSpeexCompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNSpeexCompressor;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNSpeexCompressor");
        LClass.Parent = &TSNBasicAudioCompressor::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(QualityProperty, &C::GetQuality, &C::SetQuality),
            DescribeProperty(ComplexityProperty, &C::GetComplexity, &C::SetComplexity),
            DescribeObject("VariableBitRate", &C::GetVariableBitRate),
            DescribeProperty(VoiceActivityDetectionProperty, &C::GetUseVoiceActivityDetection,
                             &C::SetUseVoiceActivityDetection),
            DescribeProperty(DiscontinousTransmissionProperty, &C::GetUseDiscontinousTransmission,
                             &C::SetUseDiscontinousTransmission),
            DescribeProperty(BandModeProperty, &C::GetBandMode, &C::SetBandMode),
            DescribeCollection("Comments", &C::GetComments),
            DescribeProperty(FramesPerPacketProperty, &C::GetFramesPerPacket, &C::SetFramesPerPacket),
        };
        LClass.RemovedProperties = {{"Boolean", "UseVariableBitRate", "VariableBitRate.Enabled"}};
        LClass.Factory = [] { return std::make_shared<TSNSpeexCompressor>(); };
        return LClass;
    }();
    return LDescription;
}

float TSNSpeexCompressor::GetQuality() const { return FLock->Getter(FQuality); }
void TSNSpeexCompressor::SetQuality(float AValue)
{
    FLock->NotifySetterMinMax(FQuality, AValue, *QualityProperty.Min, *QualityProperty.Max);
}
int32_t TSNSpeexCompressor::GetComplexity() const { return FLock->Getter(FComplexity); }
void TSNSpeexCompressor::SetComplexity(int32_t AValue)
{
    FLock->NotifySetterMinMax(FComplexity, AValue, static_cast<int32_t>(*ComplexityProperty.Min),
                              static_cast<int32_t>(*ComplexityProperty.Max));
}
bool TSNSpeexCompressor::GetUseVoiceActivityDetection() const { return FLock->Getter(FVoiceActivityDetection); }
void TSNSpeexCompressor::SetUseVoiceActivityDetection(bool AValue) { FLock->NotifySetter(FVoiceActivityDetection, AValue); }
bool TSNSpeexCompressor::GetUseDiscontinousTransmission() const { return FLock->Getter(FDiscontinousTransmission); }
void TSNSpeexCompressor::SetUseDiscontinousTransmission(bool AValue)
{
    FLock->NotifySetter(FDiscontinousTransmission, AValue);
}
TSNSpeexBandMode TSNSpeexCompressor::GetBandMode() const { return FLock->Getter(FBandMode); }
void TSNSpeexCompressor::SetBandMode(TSNSpeexBandMode AValue)
{
    const int LValue = static_cast<int>(AValue);
    if (LValue >= 0 && LValue <= static_cast<int>(TSNSpeexBandMode::snSpeexUltraWideband))
        FLock->NotifySetter(FBandMode, AValue);
}
int32_t TSNSpeexCompressor::GetFramesPerPacket() const { return FLock->Getter(FFramesPerPacket); }
void TSNSpeexCompressor::SetFramesPerPacket(int32_t AValue)
{
    FLock->NotifySetterMinMax(FFramesPerPacket, AValue, static_cast<int32_t>(*FramesPerPacketProperty.Min),
                              static_cast<int32_t>(*FramesPerPacketProperty.Max));
}

void TSNSpeexCompressor::BeginStream()
{
    if (!GetEnabled())
        return;
    auto LEncoder = std::make_unique<TEncoder>();
    TEncoder& E = *LEncoder;
    E.InChannels = FFormat.Format.nChannels;
    E.InBits = FFormat.Format.wBitsPerSample;
    E.InBlockAlign = static_cast<size_t>(E.InChannels) * (E.InBits / 8);
    const uint32_t LRate = FFormat.Format.nSamplesPerSec;
    if (E.InBits != 8 && E.InBits != 16 && E.InBits != 24 && E.InBits != 32)
        throw EDGException(GetDisplayPath() + ": the Speex encoder takes 8, 16, 24 or 32 bits, not " +
                           std::to_string(E.InBits));
    if (E.InChannels > 2) {
        // Of a surround stream, the front pair is coded.
        const uint32_t LMask = FFormat.dwChannelMask;
        for (const uint32_t LSpeaker : {SPEAKER_FRONT_LEFT, SPEAKER_FRONT_RIGHT})
            if (LMask & LSpeaker) {
                const auto LIndex = static_cast<size_t>(std::popcount(LMask & (LSpeaker - 1)));
                if (LIndex < E.InChannels)
                    E.ChannelOffset[E.NumChannels++] = LIndex * (E.InBits / 8);
            }
    } else {
        E.NumChannels = E.InChannels;
        E.ChannelOffset[1] = E.InBits / 8;
    }
    if (E.NumChannels == 0 || LRate == 0)
        throw EDGException(GetDisplayPath() + ": the Speex encoder needs a mono, stereo or front-left/right stream");

    const TSNSpeexBandMode LBand = GetBandMode();
    const SpeexMode* LMode = LBand == TSNSpeexBandMode::snSpeexWideband       ? DLL_Getspeex_wb_mode()
                             : LBand == TSNSpeexBandMode::snSpeexUltraWideband ? DLL_Getspeex_uwb_mode()
                                                                               : DLL_Getspeex_nb_mode();
    E.Bits.reset(static_cast<SpeexBits*>(DLL_GetSpeexBitsStruct()));
    speex_bits_init(E.Bits.get());
    E.State = speex_encoder_init(LMode);
    int LQuality = static_cast<int>(std::nearbyint(GetQuality() * 10.0f));
    int LComplexity = GetComplexity();
    auto LSampleRate = static_cast<spx_int32_t>(LRate);
    speex_encoder_ctl(E.State, SPEEX_SET_QUALITY, &LQuality);
    speex_encoder_ctl(E.State, SPEEX_SET_COMPLEXITY, &LComplexity);
    speex_encoder_ctl(E.State, SPEEX_SET_SAMPLING_RATE, &LSampleRate);
    const bool LVbr = FVariableBitRate.GetEnabled();
    if (LVbr) {
        int LOn = 1;
        auto LVbrQuality = static_cast<float>(FVariableBitRate.GetQuality());
        speex_encoder_ctl(E.State, SPEEX_SET_VBR, &LOn);
        speex_encoder_ctl(E.State, SPEEX_SET_VBR_QUALITY, &LVbrQuality);
    }
    if (GetUseVoiceActivityDetection()) {
        int LOn = 1;
        speex_encoder_ctl(E.State, SPEEX_SET_VAD, &LOn);
    }
    if (GetUseDiscontinousTransmission()) {
        int LOn = 1;
        speex_encoder_ctl(E.State, SPEEX_SET_DTX, &LOn);
    }
    speex_encoder_ctl(E.State, SPEEX_GET_FRAME_SIZE, &E.FrameSize);
    E.FramesPerPacket = GetFramesPerPacket();

    uint8_t LHeader[80]{};
    std::memcpy(LHeader, "Speex   ", 8);
    std::memcpy(LHeader + 8, "speex-1.0.4", 11);
    PutInt(LHeader + 28, 1);
    PutInt(LHeader + 32, 80);
    PutInt(LHeader + 36, static_cast<int32_t>(LRate));
    PutInt(LHeader + 40, DLL_GetModeID(LMode));
    PutInt(LHeader + 44, DLL_GetModeBitStreamVersion(LMode));
    PutInt(LHeader + 48, static_cast<int32_t>(E.NumChannels));
    PutInt(LHeader + 52, -1);
    PutInt(LHeader + 56, E.FrameSize);
    PutInt(LHeader + 60, LVbr ? 1 : 0);
    PutInt(LHeader + 64, E.FramesPerPacket);

    E.Float.assign(static_cast<size_t>(E.FrameSize) * E.NumChannels, 0.0f);
    E.Output.resize(std::max<size_t>(static_cast<size_t>(E.FramesPerPacket) * E.FrameSize * E.InBlockAlign, 1024));

    std::vector<uint8_t> LComment;
    AppendText(LComment, CVendor);
    const auto LPairs = FComments.GetPairs();
    AppendInt(LComment, LPairs.size());
    for (const auto& [LName, LText] : LPairs)
        AppendText(LComment, LName + "=" + PopulateComent(LText, FFormat, E.NumChannels, GetQuality()));

    E.Packet.reset(static_cast<ogg_packet*>(DLL_Getogg_packetStruct()));
    E.PacketNo = 2;
    FEncoder = std::move(LEncoder);
    ogg_packet LFirst{};
    LFirst.packet = LHeader;
    LFirst.bytes = sizeof(LHeader);
    LFirst.b_o_s = 1;
    SendOggPacket(&LFirst);
    ogg_packet LSecond{};
    LSecond.packet = LComment.data();
    LSecond.bytes = static_cast<long>(LComment.size());
    LSecond.packetno = 1;
    SendOggPacket(&LSecond);
}

void TSNSpeexCompressor::EncodeBuffer(const ISNAudioBuffer& ABuffer)
{
    if (!FOutputPin.IsConnected())
        return;
    // A buffer that does not match the announced stream cannot be read.
    if (ABuffer.GetChannels() != FEncoder->InChannels || ABuffer.GetBitsPerSample() != FEncoder->InBits)
        return;
    const uint8_t* LFrame = ABuffer.ByteRead();
    uint32_t LLeft = ABuffer.GetSize();
    // A frame's worth at a time. A restart is asked for while a packet is on
    // its way down, so it is carried out at the frame boundary after it.
    while (LLeft > 0) {
        if (FRestartRequested.load(std::memory_order_relaxed) && FRestartRequested.exchange(false)) {
            EndStream();
            BeginStream();
            if (!FEncoder)
                return;
        }
        TEncoder& E = *FEncoder;
        const uint32_t LCount = std::min<uint32_t>(LLeft, static_cast<uint32_t>(E.FrameSize - E.Filled));
        float* LOut = E.Float.data() + static_cast<size_t>(E.Filled) * E.NumChannels;
        for (unsigned c = 0; c < E.NumChannels; ++c)
            ChannelAsFloats(E.InBits, LFrame + E.ChannelOffset[c], E.InBlockAlign, LCount, LOut + c, E.NumChannels);
        LFrame += static_cast<size_t>(LCount) * E.InBlockAlign;
        LLeft -= LCount;
        E.Filled += static_cast<int>(LCount);
        if (E.Filled == E.FrameSize)
            EncodeFrame();
    }
}

void TSNSpeexCompressor::EncodeFrame()
{
    TEncoder& E = *FEncoder;
    E.Filled = 0;
    if (E.FramesWritten == 0)
        speex_bits_reset(E.Bits.get());
    if (E.NumChannels == 2)
        speex_encode_stereo(E.Float.data(), E.FrameSize, E.Bits.get());
    speex_encode(E.State, E.Float.data(), E.Bits.get());
    E.GranulePos += E.FrameSize;
    if (++E.FramesWritten < E.FramesPerPacket)
        return;
    speex_bits_insert_terminator(E.Bits.get());
    const int LBytes = speex_bits_write(E.Bits.get(), reinterpret_cast<char*>(E.Output.data()),
                                        static_cast<int>(E.Output.size()));
    ogg_packet& LPacket = *E.Packet;
    LPacket = ogg_packet{};
    LPacket.packet = E.Output.data();
    LPacket.bytes = LBytes;
    LPacket.granulepos = E.GranulePos;
    LPacket.packetno = E.PacketNo++;
    E.FramesWritten = 0;
    SendOggPacket(&LPacket);
}

void TSNSpeexCompressor::EndStream()
{
    if (!FEncoder)
        return;
    const std::unique_ptr<TEncoder> LEncoder = std::move(FEncoder);
    TEncoder& E = *LEncoder;
    if (!FOutputPin.IsConnected())
        return;
    // The frames pending go out in the last packet; without any, the last
    // packet is empty.
    ogg_packet& LPacket = *E.Packet;
    LPacket = ogg_packet{};
    LPacket.packet = E.Output.data();
    LPacket.e_o_s = 1;
    LPacket.granulepos = E.GranulePos;
    if (E.FramesWritten > 0) {
        LPacket.bytes = speex_bits_write(E.Bits.get(), reinterpret_cast<char*>(E.Output.data()),
                                         static_cast<int>(E.Output.size()));
        LPacket.packetno = E.PacketNo;
    } else
        LPacket.packetno = E.PacketNo + 1;
    SendOggPacket(&LPacket);
}

namespace SNSpeexCompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNSpeexCompressor::ClassDescription()});
}
} // namespace SNSpeexCompressor

} // namespace Sonorix
