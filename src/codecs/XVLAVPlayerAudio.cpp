// SPDX-License-Identifier: MIT
// The player's decoder choice: part of the package library, since the player
// (and its properties) work without the libav module for plain WAV files.
#include "XVLAVSupport.h"

namespace Sonorix {

const TClassDescription& TXVLAVMediaPlayerAudio::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TXVLAVMediaPlayerAudio;
        TClassDescription LClass;
        LClass.ClassName = "TXVLAVMediaPlayerAudio";
        LClass.Unit = "XVLAVSupport";
        LClass.Properties = {
            DescribeProperty(StreamIndexProperty, &C::GetStreamIndex, &C::SetStreamIndex),
            DescribeProperty(TLAVCodecOptions::OptionsProperty, &C::GetOptions, &C::SetOptions),
        };
        return LClass;
    }();
    return LDescription;
}

int32_t TXVLAVMediaPlayerAudio::GetStreamIndex() const
{
    return FLock.Getter(FStreamIndex);
}

void TXVLAVMediaPlayerAudio::SetStreamIndex(int32_t AValue)
{
    FLock.NotifySetterMinMax(FStreamIndex, AValue, static_cast<int32_t>(*StreamIndexProperty.Min),
                             static_cast<int32_t>(*StreamIndexProperty.Max));
}

std::string TXVLAVMediaPlayerAudio::GetOptions() const
{
    return FLock.Getter(FOptions);
}

void TXVLAVMediaPlayerAudio::SetOptions(const std::string& AValue)
{
    FLock.NotifySetter(FOptions, AValue);
}

} // namespace Sonorix
