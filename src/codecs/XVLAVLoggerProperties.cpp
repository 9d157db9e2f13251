// SPDX-License-Identifier: MIT
// The logger's container and encoder choices as properties: part of the
// package library, since the logger (and its properties) work without the
// libav module for plain WAV files. Finding the format and the codec is the
// module's (XVLAVSupport.cpp).
#include "XVLAVSupport.h"

namespace Sonorix {

const TClassDescription& TXVLAVAudioFileFormat::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TXVLAVAudioFileFormat";
        LClass.Unit = "XVLAVSupport";
        LClass.Properties = {DescribeProperty(FormatNameProperty, &TXVLAVAudioFileFormat::GetFormatName,
                                              &TXVLAVAudioFileFormat::SetFormatName)};
        return LClass;
    }();
    return LDescription;
}

std::string TXVLAVAudioFileFormat::GetFormatName() const
{
    return FLock.Getter(FFormatName);
}

void TXVLAVAudioFileFormat::SetFormatName(const std::string& AValue)
{
    FLock.NotifySetter(FFormatName, AValue);
}

TSNLAVAudioCompression::TSNLAVAudioCompression() = default;

TSNLAVAudioCompression::~TSNLAVAudioCompression() = default;

const TClassDescription& TSNLAVAudioCompression::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNLAVAudioCompression;
        TClassDescription LClass;
        LClass.ClassName = "TSNLAVAudioCompression";
        LClass.Unit = "XVLAVSupport";
        LClass.Properties = {
            DescribeProperty(CodecNameProperty, &C::GetCodecName, &C::SetCodecName),
            DescribeProperty(BitRateProperty, &C::GetBitRate, &C::SetBitRate),
            DescribeProperty(TLAVCodecOptions::OptionsProperty, &C::GetOptions, &C::SetOptions),
        };
        return LClass;
    }();
    return LDescription;
}

std::string TSNLAVAudioCompression::GetCodecName() const
{
    return FLock.Getter(FCodecName);
}

void TSNLAVAudioCompression::SetCodecName(const std::string& AValue)
{
    FLock.NotifySetter(FCodecName, AValue);
}

int32_t TSNLAVAudioCompression::GetBitRate() const
{
    return FLock.Getter(FBitRate);
}

void TSNLAVAudioCompression::SetBitRate(int32_t AValue)
{
    FLock.NotifySetterMinMax(FBitRate, AValue, static_cast<int32_t>(*BitRateProperty.Min),
                             static_cast<int32_t>(*BitRateProperty.Max));
}

std::string TSNLAVAudioCompression::GetOptions() const
{
    return FLock.Getter(FOptions);
}

void TSNLAVAudioCompression::SetOptions(const std::string& AValue)
{
    FLock.NotifySetter(FOptions, AValue);
}

} // namespace Sonorix
