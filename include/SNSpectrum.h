// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonMeter.h"
#include "SNCommonSplitter.h"

#include <functional>
#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

struct TSNSpectrumFFT;

// Scaling of the forward transform: none, by 1/N, or by 1/sqrt(N).
enum TDGFourierNormalization { fnNone, fnNormalize, fnNormalizeSqrt };
extern const TEnumInfo TDGFourierNormalizationInfo;

// Magnitudes as they are, as 10 log10 (power) or as 20 log10 (amplitude).
enum TSNdBMode { adbNone, adbPower, adbAmplitude };
extern const TEnumInfo TSNdBModeInfo;

// Event: the strongest bin of channel AChannel's latest window lies at
// AFrequency Hz; AMaxFrequency is half the sample rate.
using TSNFrequencyEvent =
    std::function<void(TPersistent& ASender, int32_t AChannel, double AFrequency, double AMaxFrequency)>;

// Magnitude spectrum of successive windows of 2^Order samples per channel.
//
// Pins: InputPin (audio in); OutputPins (one TDGPNRealRangedSourcePin per
// channel: a buffer of 2^(Order-1) magnitudes per window, bin k at
// k * rate / 2^Order Hz, bin 0 set to 0); FrequencyOutputPins (one value pin
// per channel: the frequency of the strongest bin). Both lists follow
// CountChannels.
//
// Windows of a channel start at sample 0 and then every SamplingWindowStep
// samples (0: back to back, below the window size: overlapping, above it:
// the samples between windows are skipped), whatever the buffer sizes.
//
//   TSNSpectrum LSpectrum;
//   LSpectrum.SetOrder(10);                          // 1024-point windows
//   LSpectrum.SetSamplingWindowStep(256);            // 75 % overlap
//   LSpectrum.SetOnFrequencyResult([](TPersistent&, int32_t C, double F, double) { Show(C, F); });
class TSNSpectrum : public TSNCommonSplitter {
public:
    static constexpr TIntSpec OrderProperty{.Name = "Order", .Default = 8, .Min = 2, .Max = 30};
    static constexpr TIntSpec SamplingWindowStepProperty{
        .Name = "SamplingWindowStep", .Default = 0, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};
    static constexpr TEnumSpec<TDGFourierNormalization> NormalizationProperty{
        .Name = "Normalization", .Default = fnNormalize, .Info = &TDGFourierNormalizationInfo};
    static constexpr TEnumSpec<TSNdBMode> ModedBProperty{.Name = "ModedB", .Default = adbNone, .Info = &TSNdBModeInfo};
    static constexpr TBoolSpec SynchronizeProperty{.Name = "Synchronize", .Default = true};
    // Windows above 2^24 points (128 MiB per channel) are refused at the
    // stream's start with OnError (or a background error when no handler
    // takes it); the spectrum then stays silent.
    static constexpr int32_t CMaxRunningOrder = 24;

    TSNSpectrum();
    ~TSNSpectrum() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TPNPinList& GetFrequencyOutputPins() { return FFrequencyOutputPins; }

    int32_t GetOrder() const;
    // 2 .. 30; used from the next stream start.
    void SetOrder(int32_t AValue);
    uint32_t GetSamplingWindowStep() const;
    void SetSamplingWindowStep(uint32_t AValue);
    TDGFourierNormalization GetNormalization() const;
    void SetNormalization(TDGFourierNormalization AValue);
    TSNdBMode GetModedB() const;
    void SetModedB(TSNdBMode AValue);
    bool GetSynchronize() const;
    void SetSynchronize(bool AValue);
    // With Synchronize the event runs on the main thread, else on the audio
    // thread.
    void SetOnFrequencyResult(TSNFrequencyEvent AEvent);
    // Raised on the thread that delivers the start when the start cannot
    // make the FFT (an order above CMaxRunningOrder, no memory). Unless the
    // handler sets AHandled, the message goes to ReportBackgroundError.
    void SetOnError(TDGErrorEvent AEvent);
    void SetCountChannels(int32_t AValue) override;

protected:
    void AudioStreamStart(const WAVEFORMATEXTENSIBLE* AWaveFormat) override;
    void SplitBuffer(int32_t AChannel, const IDGRealBufferPtr& ABuffer) override;
    void Stop() override;
    bool HasChannelEvent(int32_t AChannel) override;
    std::unique_ptr<TPNPin> CreateSourcePin(int AIndex) override;
    // Called with FLock held.
    void IntInit();
    void ProcessFFT(int32_t AChannel);
    // The complex spectrum of ASource (2^RunningOrder samples) into the FFT's work array.
    void SingleFFT(int32_t AChannel, const double* ASource);

private:
    void FreeState();
    void Error(const std::string& AMessage, uint32_t ACode);

    TPNPinList FFrequencyOutputPins;
    int32_t FOrder = static_cast<int32_t>(OrderProperty.Default);
    uint32_t FSamplingWindowStep = static_cast<uint32_t>(SamplingWindowStepProperty.Default);
    TDGFourierNormalization FNormalize = NormalizationProperty.Default;
    bool FSynchronize = SynchronizeProperty.Default;
    TSNdBMode FModedB = ModedBProperty.Default;
    TSNFrequencyEvent FOnFrequencyResult;
    TDGErrorEvent FOnError;

    // Per stream.
    int32_t FRunningOrder = 0;
    std::vector<IDGRealBufferPtr> FFFTBuffers;
    // Samples of the window being filled.
    std::vector<uint32_t> FBufferLastEndPos;
    // Samples still to skip before the next window starts.
    std::vector<uint32_t> FSkipSamples;
    std::vector<double> FFrequencies;
    double FMaxFrequency = 0;
    // The transform's state and work array.
    std::unique_ptr<TSNSpectrumFFT> FFFT;
    TSNMainThreadNotify FMainThreadNotify;
};

namespace SNSpectrum {
// Registers TSNSpectrum with the component registry.
void RegisterPkg();
} // namespace SNSpectrum

SN_API_END
} // namespace Sonorix
