// SPDX-License-Identifier: MIT
#include "SNVorbisCompressor.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "SNOggLogger.h"
#include "codecs/SNVorbisEncoder.h"

namespace Sonorix {

struct TSNVorbisCompressor::TEncoder : TVorbisEncoder {};

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
    if (const int LResult = LEncoder->Open(LChannels, LRate, LBitRate, static_cast<float>(LQuality)); LResult != 0)
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
    ogg_packet* LHeaders[3];
    LEncoder->Headers(LComment, LHeaders);
    FEncoder = std::move(LEncoder);
    for (ogg_packet* LHeader : LHeaders)
        SendOggPacket(LHeader);
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
    if (ABuffer.GetSize() == 0)
        FEncoder->Finish(); // An empty buffer ends the stream.
    else
        FEncoder->Write(ABuffer.ByteRead(), ABuffer.GetSize(), LBits);
    DrainPackets();
}

void TSNVorbisCompressor::DrainPackets()
{
    while (ogg_packet* LPacket = FEncoder->NextPacket())
        SendOggPacket(LPacket);
}

void TSNVorbisCompressor::EndStream()
{
    if (!FEncoder)
        return;
    if (FOutputPin.IsConnected()) {
        FEncoder->Finish();
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
