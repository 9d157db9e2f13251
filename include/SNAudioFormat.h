// SPDX-License-Identifier: MIT
// Audio-format property objects: nested settings that describe a stream
// format. A change of any member runs the owner's change action.
#pragma once

#include "SNExport.h"

#include "CVLocks.h"
#include "CVPersistent.h"
#include "SNTypes.h"

#include <functional>

namespace Sonorix {
SN_API_BEGIN

// Channels, sample width, rate and speaker mask of a stream.
class TSNAudioFormatBasic : public TPersistent {
public:
    static constexpr TIntSpec ChannelsProperty{
        .Name = "Channels", .Default = 2, .Min = 1, .Max = 32, .OldName = "CountChannels"};
    // Widths other than 8, 16, 24 and 32 are rounded up to the next one.
    static constexpr TIntSpec BitsProperty{.Name = "Bits", .Default = 16, .Min = 8, .Max = 32};
    static constexpr TIntSpec SampleRateProperty{
        .Name = "SampleRate", .Default = 44100, .Min = 1, .Max = 1536000, .DesignMin = 8000, .DesignMax = 192000};
    // 0 stands for the usual mask of the channel count.
    static constexpr TIntSpec ChannelMaskProperty{
        .Name = "ChannelMask", .Default = 0, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};

    // AOnChange runs after any member changed (on the setter's thread).
    explicit TSNAudioFormatBasic(std::function<void()> AOnChange = {});
    ~TSNAudioFormatBasic() override = default;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetCountChannels() const;
    void SetCountChannels(int32_t AValue);
    int32_t GetBits() const;
    void SetBits(int32_t AValue);
    int32_t GetSampleRate() const;
    void SetSampleRate(int32_t AValue);
    uint32_t GetChannelMask() const;
    void SetChannelMask(uint32_t AValue);

    // The matching integer PCM format (WAVE_FORMAT_EXTENSIBLE).
    WAVEFORMATEXTENSIBLE GetWaveFormat() const;
    // Takes the members of AFormat (not its change action).
    void SetWaveFormat(const WAVEFORMATEXTENSIBLE& AFormat);
    void Assign(const TSNAudioFormatBasic& ASource);
    void SetOnChange(std::function<void()> AOnChange) { FOnChange = std::move(AOnChange); }

protected:
    template <class T>
    void Store(T& AField, T AValue, const TIntSpec& ASpec);
    void Changed();

    mutable TBasicLockChangeNotifyLock FLock;
    std::function<void()> FOnChange;

private:
    int32_t FCountChannels = static_cast<int32_t>(ChannelsProperty.Default);
    int32_t FBits = static_cast<int32_t>(BitsProperty.Default);
    int32_t FSampleRate = static_cast<int32_t>(SampleRateProperty.Default);
    uint32_t FChannelMask = static_cast<uint32_t>(ChannelMaskProperty.Default);
};

// Adds the buffer size in sample frames.
class TSNAudioFormat : public TSNAudioFormatBasic {
public:
    static constexpr TIntSpec BufferSizeProperty{
        .Name = "BufferSize", .Default = 1024, .Min = 1, .Max = 1 << 24, .DesignMin = 64, .DesignMax = 65536};

    using TSNAudioFormatBasic::TSNAudioFormatBasic;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetBufferSize() const;
    void SetBufferSize(int32_t AValue);
    void Assign(const TSNAudioFormat& ASource);

private:
    int32_t FBufferSize = static_cast<int32_t>(BufferSizeProperty.Default);
};

// The optional forms add Enabled: when it is clear the component uses the
// format of its input instead.
template <class TBase>
class TSNOptionalFormat : public TBase {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = false};

    using TBase::TBase;

    bool GetEnabled() const { return this->FLock.Getter(FEnabled); }
    void SetEnabled(bool AValue)
    {
        this->FLock.NotifySetter(FEnabled, AValue, [this] { this->Changed(); });
    }
    // The input format, or this object's format when enabled.
    WAVEFORMATEXTENSIBLE Merge(const WAVEFORMATEXTENSIBLE& AInput) const
    {
        return GetEnabled() ? this->GetWaveFormat() : AInput;
    }

protected:
    // The description row of Enabled, shared by both optional forms.
    template <class C>
    static TPropertyInfo EnabledRow()
    {
        return DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled);
    }

private:
    bool FEnabled = EnabledProperty.Default;
};

class TSNOptionalBasicAudioFormat : public TSNOptionalFormat<TSNAudioFormatBasic> {
public:
    using TSNOptionalFormat::TSNOptionalFormat;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
};

class TSNOptionalAudioFormat : public TSNOptionalFormat<TSNAudioFormat> {
public:
    using TSNOptionalFormat::TSNOptionalFormat;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
};

SN_API_END
} // namespace Sonorix
