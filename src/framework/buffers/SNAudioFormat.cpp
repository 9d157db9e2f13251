// SPDX-License-Identifier: MIT
#include "SNAudioFormat.h"

namespace Sonorix {

namespace {

// Rounds a width up to 8, 16, 24 or 32 bits.
int32_t ValidBits(int32_t ABits)
{
    ABits = std::clamp(ABits, int32_t{8}, int32_t{32});
    return (ABits + 7) / 8 * 8;
}

} // namespace

TSNAudioFormatBasic::TSNAudioFormatBasic(std::function<void()> AOnChange) : FOnChange(std::move(AOnChange)) {}

const TClassDescription& TSNAudioFormatBasic::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNAudioFormatBasic;
        TClassDescription LClass;
        LClass.ClassName = "TSNAudioFormatBasic";
        LClass.Unit = "SNAudioFormat";
        LClass.Properties = {
            DescribeProperty(ChannelsProperty, &C::GetCountChannels, &C::SetCountChannels),
            DescribeProperty(BitsProperty, &C::GetBits, &C::SetBits),
            DescribeProperty(SampleRateProperty, &C::GetSampleRate, &C::SetSampleRate),
            DescribeProperty(ChannelMaskProperty, &C::GetChannelMask, &C::SetChannelMask),
        };
        return LClass;
    }();
    return LDescription;
}

void TSNAudioFormatBasic::Changed()
{
    if (FOnChange)
        FOnChange();
}

template <class T>
void TSNAudioFormatBasic::Store(T& AField, T AValue, const TIntSpec& ASpec)
{
    FLock.NotifySetterMinMax(AField, AValue, static_cast<T>(*ASpec.Min), static_cast<T>(*ASpec.Max),
                             [this] { Changed(); });
}

int32_t TSNAudioFormatBasic::GetCountChannels() const { return FLock.Getter(FCountChannels); }
void TSNAudioFormatBasic::SetCountChannels(int32_t AValue) { Store(FCountChannels, AValue, ChannelsProperty); }
int32_t TSNAudioFormatBasic::GetBits() const { return FLock.Getter(FBits); }
void TSNAudioFormatBasic::SetBits(int32_t AValue) { Store(FBits, ValidBits(AValue), BitsProperty); }
int32_t TSNAudioFormatBasic::GetSampleRate() const { return FLock.Getter(FSampleRate); }
void TSNAudioFormatBasic::SetSampleRate(int32_t AValue) { Store(FSampleRate, AValue, SampleRateProperty); }
uint32_t TSNAudioFormatBasic::GetChannelMask() const { return FLock.Getter(FChannelMask); }
void TSNAudioFormatBasic::SetChannelMask(uint32_t AValue) { Store(FChannelMask, AValue, ChannelMaskProperty); }

WAVEFORMATEXTENSIBLE TSNAudioFormatBasic::GetWaveFormat() const
{
    TLockAccess LAccess = FLock.ReadLock();
    return MakeWaveFormat(static_cast<uint32_t>(FSampleRate), static_cast<unsigned>(FBits),
                          static_cast<unsigned>(FCountChannels), FChannelMask);
}

void TSNAudioFormatBasic::SetWaveFormat(const WAVEFORMATEXTENSIBLE& AFormat)
{
    SetCountChannels(AFormat.Format.nChannels);
    SetBits(AFormat.Format.wBitsPerSample);
    SetSampleRate(static_cast<int32_t>(std::min<uint32_t>(AFormat.Format.nSamplesPerSec, INT32_MAX)));
    SetChannelMask(AFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? AFormat.dwChannelMask : 0);
}

void TSNAudioFormatBasic::Assign(const TSNAudioFormatBasic& ASource)
{
    SetCountChannels(ASource.GetCountChannels());
    SetBits(ASource.GetBits());
    SetSampleRate(ASource.GetSampleRate());
    SetChannelMask(ASource.GetChannelMask());
}

const TClassDescription& TSNAudioFormat::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNAudioFormat";
        LClass.Unit = "SNAudioFormat";
        LClass.Parent = &TSNAudioFormatBasic::ClassDescription();
        LClass.Properties = {
            DescribeProperty(BufferSizeProperty, &TSNAudioFormat::GetBufferSize, &TSNAudioFormat::SetBufferSize),
        };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNAudioFormat::GetBufferSize() const { return FLock.Getter(FBufferSize); }
void TSNAudioFormat::SetBufferSize(int32_t AValue) { Store(FBufferSize, AValue, BufferSizeProperty); }

void TSNAudioFormat::Assign(const TSNAudioFormat& ASource)
{
    TSNAudioFormatBasic::Assign(ASource);
    SetBufferSize(ASource.GetBufferSize());
}

const TClassDescription& TSNOptionalBasicAudioFormat::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNOptionalBasicAudioFormat";
        LClass.Unit = "SNAudioFormat";
        LClass.Parent = &TSNAudioFormatBasic::ClassDescription();
        LClass.Properties = {EnabledRow<TSNOptionalBasicAudioFormat>()};
        return LClass;
    }();
    return LDescription;
}

const TClassDescription& TSNOptionalAudioFormat::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNOptionalAudioFormat";
        LClass.Unit = "SNAudioFormat";
        LClass.Parent = &TSNAudioFormat::ClassDescription();
        LClass.Properties = {EnabledRow<TSNOptionalAudioFormat>()};
        return LClass;
    }();
    return LDescription;
}

} // namespace Sonorix
