// SPDX-License-Identifier: MIT
#include "SNVorbisCompressor.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNOggLogger.h"
#include "codecs/SNVorbisOgg.h"

#include <cstring>

namespace Sonorix {

struct TSNVorbisCompressor::TEncoder {
    vorbis_info Info{};
    std::unique_ptr<vorbis_dsp_state, TVorbisStructFree> DSPState;
    std::unique_ptr<vorbis_block, TVorbisStructFree> Block;
    // One packet record for the stream, refilled by the library.
    std::unique_ptr<ogg_packet, TVorbisStructFree> Packet;
    bool InfoReady = false;
    bool Analysing = false;

    ~TEncoder()
    {
        if (Analysing) {
            vorbis_block_clear(Block.get());
            vorbis_dsp_clear(DSPState.get());
        }
        if (InfoReady)
            vorbis_info_clear(&Info);
    }
};

namespace {
// Samples of one width to floats in [-1, 1), one channel column at a time.
template <unsigned Bits>
void Deinterleave(const uint8_t* ASource, uint32_t AFrames, unsigned AChannels, float** ADest)
{
    constexpr unsigned LBytes = Bits / 8;
    const size_t LStep = static_cast<size_t>(LBytes) * AChannels;
    for (unsigned c = 0; c < AChannels; ++c) {
        const uint8_t* LIn = ASource + c * LBytes;
        float* LOut = ADest[c];
        for (uint32_t i = 0; i < AFrames; ++i, LIn += LStep) {
            if constexpr (Bits == 8) {
                LOut[i] = (static_cast<int>(*LIn) - 128) / 128.0f;
            } else if constexpr (Bits == 16) {
                int16_t s;
                std::memcpy(&s, LIn, 2);
                LOut[i] = s / 32768.0f;
            } else if constexpr (Bits == 24) {
                const int32_t s = static_cast<int32_t>((static_cast<uint32_t>(LIn[0]) << 8) |
                                                       (static_cast<uint32_t>(LIn[1]) << 16) |
                                                       (static_cast<uint32_t>(LIn[2]) << 24)) >>
                                  8;
                LOut[i] = static_cast<float>(s / 8388608.0);
            } else {
                int32_t s;
                std::memcpy(&s, LIn, 4);
                LOut[i] = static_cast<float>(s / 2147483648.0);
            }
        }
    }
}
} // namespace

TSNVorbisCompressor::TSNVorbisCompressor() = default;

TSNVorbisCompressor::~TSNVorbisCompressor()
{
    ReleaseProcessing();
    FInputPin.DisconnectAll();
    TLockAccess LAccess = FInputLock->WriteLock();
    FEncoder.reset();
}

const TClassDescription& TSNVorbisCompressor::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNVorbisCompressor;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNVorbisCompressor");
        LClass.Parent = &TSNBasicAudioCompressor::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(QualityProperty, &C::GetQuality, &C::SetQuality),
            DescribeProperty(BitRateProperty, &C::GetBitRate, &C::SetBitRate),
            DescribeCollection("Comments", &C::GetComments),
        };
        LClass.Factory = [] { return std::make_shared<TSNVorbisCompressor>(); };
        return LClass;
    }();
    return LDescription;
}

double TSNVorbisCompressor::GetQuality() const
{
    return FLock->Getter(FQuality);
}

void TSNVorbisCompressor::SetQuality(double AValue)
{
    FLock->NotifySetterMinMax(FQuality, AValue, *QualityProperty.Min, *QualityProperty.Max);
}

int32_t TSNVorbisCompressor::GetBitRate() const
{
    return FLock->Getter(FBitRate);
}

void TSNVorbisCompressor::SetBitRate(int32_t AValue)
{
    FLock->NotifySetterMinMax(FBitRate, AValue, static_cast<int32_t>(*BitRateProperty.Min),
                              static_cast<int32_t>(*BitRateProperty.Max));
}

void TSNVorbisCompressor::EncodeBuffer(const ISNAudioBuffer& ABuffer)
{
    if (FRestartRequested.exchange(false)) {
        EndStream();
        BeginStream();
    }
    RenderAudio(ABuffer);
}

void TSNVorbisCompressor::BeginStream()
{
    if (!GetEnabled())
        return;
    const unsigned LChannels = FFormat.Format.nChannels;
    const unsigned LRate = FFormat.Format.nSamplesPerSec;
    const double LQuality = GetQuality();
    const int32_t LBitRate = GetBitRate();
    auto LEncoder = std::make_unique<TEncoder>();
    vorbis_info_init(&LEncoder->Info);
    LEncoder->InfoReady = true;
    const int LResult =
        LBitRate > 0
            ? vorbis_encode_init(&LEncoder->Info, static_cast<long>(LChannels), static_cast<long>(LRate), -1,
                                 LBitRate, -1)
            : vorbis_encode_init_vbr(&LEncoder->Info, static_cast<long>(LChannels), static_cast<long>(LRate),
                                     static_cast<float>(LQuality));
    if (LResult != 0)
        throw EDGException(GetDisplayPath() + ": the Vorbis encoder refuses " + std::to_string(LRate) + " Hz, " +
                           std::to_string(LChannels) + " channels at " +
                           (LBitRate > 0 ? std::to_string(LBitRate) + " bit/s" : "quality " + std::to_string(LQuality)) +
                           " (error " + std::to_string(LResult) + ")");

    vorbis_comment LComment;
    vorbis_comment_init(&LComment);
    for (const auto& [LName, LText] : FComments.GetPairs()) {
        const std::string LExpanded = PopulateComent(LText, FFormat, LChannels, LQuality);
        vorbis_comment_add_tag(&LComment, LName.c_str(), LExpanded.c_str());
    }
    LEncoder->DSPState.reset(static_cast<vorbis_dsp_state*>(DLL_GetDSPStateStruct()));
    LEncoder->Block.reset(static_cast<vorbis_block*>(DLL_GetVorbisBlockStruct()));
    LEncoder->Packet.reset(static_cast<ogg_packet*>(DLL_Getogg_packetStruct()));
    vorbis_analysis_init(LEncoder->DSPState.get(), &LEncoder->Info);
    vorbis_block_init(LEncoder->DSPState.get(), LEncoder->Block.get());
    LEncoder->Analysing = true;

    std::unique_ptr<ogg_packet, TVorbisStructFree> LHeaders[3];
    for (auto& LHeader : LHeaders)
        LHeader.reset(static_cast<ogg_packet*>(DLL_Getogg_packetStruct()));
    vorbis_analysis_headerout(LEncoder->DSPState.get(), &LComment, LHeaders[0].get(), LHeaders[1].get(),
                              LHeaders[2].get());
    FEncoder = std::move(LEncoder);
    for (auto& LHeader : LHeaders)
        SendOggPacket(LHeader.get());
    vorbis_comment_clear(&LComment);
}

void TSNVorbisCompressor::RenderAudio(const ISNAudioBuffer& ABuffer)
{
    if (!FEncoder || !FOutputPin.IsConnected())
        return;
    const unsigned LChannels = FFormat.Format.nChannels;
    const unsigned LBits = FFormat.Format.wBitsPerSample;
    // A buffer that does not match the announced stream cannot be read.
    if (ABuffer.GetChannels() != LChannels || ABuffer.GetBitsPerSample() != LBits)
        return;
    const uint32_t LFrames = ABuffer.GetSize();
    vorbis_dsp_state* LState = FEncoder->DSPState.get();
    if (LFrames == 0) {
        // An empty buffer ends the stream: the library marks its last packet.
        vorbis_analysis_wrote(LState, 0);
        DrainPackets();
        return;
    }
    float** LArrays = vorbis_analysis_buffer(LState, static_cast<int>(LFrames));
    const uint8_t* LBytes = ABuffer.ByteRead();
    switch (LBits) {
    case 8:
        Deinterleave<8>(LBytes, LFrames, LChannels, LArrays);
        break;
    case 16:
        Deinterleave<16>(LBytes, LFrames, LChannels, LArrays);
        break;
    case 24:
        Deinterleave<24>(LBytes, LFrames, LChannels, LArrays);
        break;
    case 32:
        Deinterleave<32>(LBytes, LFrames, LChannels, LArrays);
        break;
    default:
        return;
    }
    vorbis_analysis_wrote(LState, static_cast<int>(LFrames));
    DrainPackets();
}

void TSNVorbisCompressor::DrainPackets()
{
    vorbis_dsp_state* LState = FEncoder->DSPState.get();
    vorbis_block* LBlock = FEncoder->Block.get();
    ogg_packet* LPacket = FEncoder->Packet.get();
    while (vorbis_analysis_blockout(LState, LBlock) == 1) {
        vorbis_analysis(LBlock, nullptr);
        vorbis_bitrate_addblock(LBlock);
        while (vorbis_bitrate_flushpacket(LState, LPacket))
            SendOggPacket(LPacket);
    }
}

void TSNVorbisCompressor::EndStream()
{
    if (!FEncoder)
        return;
    if (FOutputPin.IsConnected()) {
        vorbis_analysis_wrote(FEncoder->DSPState.get(), 0);
        DrainPackets();
    }
    FEncoder.reset();
}

namespace SNVorbisCompressor {
void RegisterPkg()
{
    RegisterComponents({&TSNVorbisCompressor::ClassDescription()});
}
} // namespace SNVorbisCompressor

} // namespace Sonorix
