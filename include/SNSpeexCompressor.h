// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNOggCodec.h"

#include <atomic>
#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

enum class TSNSpeexBandMode { snSpeexNarrowBand, snSpeexWideband, snSpeexUltraWideband };
extern const TEnumInfo SNSpeexBandModeInfo;

// Variable bit rate settings of the Speex encoder (VariableBitRate):
// Enabled turns it on, Quality (0 .. 10) is the VBR quality.
class TSNSpeexVariableBitRate : public TPersistent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = false};
    static constexpr TIntSpec QualityProperty{
        .Name = "Quality", .Default = 5, .Min = 0, .Max = 10, .DesignMin = 0, .DesignMax = 10};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    int32_t GetQuality() const;
    void SetQuality(int32_t AValue);
    void Assign(const TSNSpeexVariableBitRate& AOther);

private:
    mutable TBasicLockChangeNotifyLock FLock;
    bool FEnabled = EnabledProperty.Default;
    int32_t FQuality = static_cast<int32_t>(QualityProperty.Default);
};

// Encodes the PCM arriving on InputPin (8, 16, 24 or 32 bits) into an Ogg
// Speex packet stream, sent one packet per buffer in the codec packet
// framing through OutputPin: the Speex header, the comment packet, then one
// packet per FramesPerPacket Speex frames; the stop sends the frames still
// pending in a last packet with e_o_s. Mono and stereo are coded as such;
// of more channels, the front-left and front-right ones are coded as stereo.
// Every setting takes effect at the next stream start. An Ogg writer
// downstream that begins a new file gets a new stream with fresh headers.
//
//   TSNSpeexCompressor LEncoder;
//   LEncoder.SetBandMode(TSNSpeexBandMode::snSpeexWideband);
//   LGen.GetOutputPin().Connect(LEncoder.GetInputPin());
class TSNSpeexCompressor : public TSNOggAudioCompressor {
public:
    static constexpr TSingleSpec QualityProperty{
        .Name = "Quality", .Default = 0.5f, .Min = 0.0f, .Max = 1.0f, .DesignMin = 0.0, .DesignMax = 1.0};
    static constexpr TIntSpec ComplexityProperty{
        .Name = "Complexity", .Default = 5, .Min = 0, .Max = 10, .DesignMin = 0, .DesignMax = 10};
    static constexpr TBoolSpec VoiceActivityDetectionProperty{
        .Name = "UseVoiceActivityDetection", .Default = false, .OldName = "VoiceActivityDetection"};
    static constexpr TBoolSpec DiscontinousTransmissionProperty{
        .Name = "UseDiscontinousTransmission", .Default = false, .OldName = "DiscontinousTransmission"};
    static constexpr TEnumSpec<TSNSpeexBandMode> BandModeProperty{
        .Name = "BandMode", .Default = TSNSpeexBandMode::snSpeexNarrowBand, .Info = &SNSpeexBandModeInfo};
    // Bounded so that a packet buffer stays small.
    static constexpr TIntSpec FramesPerPacketProperty{
        .Name = "FramesPerPacket", .Default = 1, .Min = 1, .Max = 64, .DesignMin = 1, .DesignMax = 10};

    TSNSpeexCompressor();
    ~TSNSpeexCompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    float GetQuality() const;
    void SetQuality(float AValue);
    int32_t GetComplexity() const;
    void SetComplexity(int32_t AValue);
    TSNSpeexVariableBitRate& GetVariableBitRate() { return FVariableBitRate; }
    void SetVariableBitRate(const TSNSpeexVariableBitRate& AValue) { FVariableBitRate.Assign(AValue); }
    bool GetUseVoiceActivityDetection() const;
    void SetUseVoiceActivityDetection(bool AValue);
    bool GetUseDiscontinousTransmission() const;
    void SetUseDiscontinousTransmission(bool AValue);
    TSNSpeexBandMode GetBandMode() const;
    void SetBandMode(TSNSpeexBandMode AValue);
    int32_t GetFramesPerPacket() const;
    void SetFramesPerPacket(int32_t AValue);

protected:
    void BeginStream() override;
    void EndStream() override;
    void EncodeBuffer(const ISNAudioBuffer& ABuffer) override;
    // Buffers are taken while an encoder is open.
    bool TakesBuffers() const override { return FEncoder != nullptr; }

private:
    struct TEncoder;
    // Called with FInputLock held.
    void EncodeFrame();

    TSNSpeexVariableBitRate FVariableBitRate;
    float FQuality = QualityProperty.Default;
    int32_t FComplexity = static_cast<int32_t>(ComplexityProperty.Default);
    bool FVoiceActivityDetection = VoiceActivityDetectionProperty.Default;
    bool FDiscontinousTransmission = DiscontinousTransmissionProperty.Default;
    TSNSpeexBandMode FBandMode = BandModeProperty.Default;
    int32_t FFramesPerPacket = static_cast<int32_t>(FramesPerPacketProperty.Default);
    std::unique_ptr<TEncoder> FEncoder;
};

namespace SNSpeexCompressor {
void RegisterPkg();
} // namespace SNSpeexCompressor

SN_API_END
} // namespace Sonorix
