// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "DGRealPins.h"
#include "SNAudioFormat.h"

namespace Sonorix {
SN_API_BEGIN

// Turns streams of real numbers into one audio stream: input pin i becomes
// output channel i.
//
// Pins: InputPins (one TDGPNQueuedRealSinkPin per AudioFormat channel; real
// buffers or single values such as meter readings), OutputPin (audio out in
// AudioFormat's channels, bits and buffer size, at the highest rate of the
// running inputs). With Normalize the values are fractions of full scale,
// without it sample values; values beyond the width saturate. An
// unconnected pin gives a silent channel. Work runs on the delivering thread.
//
//   TSNRealToAudio LToAudio;
//   LToAudio.GetAudioFormat().SetCountChannels(2);
//   LMeter.GetOutputPins()[0].Connect(LToAudio.GetInputPins()[0]);
class TSNRealToAudio : public TLockComponent {
public:
    static constexpr TBoolSpec NormalizeProperty{.Name = "Normalize", .Default = false};

    TSNRealToAudio();
    ~TSNRealToAudio() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    TPNPinList& GetInputPins() { return FInputPins; }
    TSNAudioFormat& GetAudioFormat() { return FAudioFormat; }
    void SetAudioFormat(const TSNAudioFormat& AValue) { FAudioFormat.Assign(AValue); }
    bool GetNormalize() const;
    void SetNormalize(bool AValue);
    // Ends the output (the stop goes out when a start went out).
    void Stop();
    bool IsRunning() const;

    // One value to a sample of the given width: with Normalize scaled by
    // 2^(bits-1), rounded to nearest (ties to even), saturated; 8-bit
    // samples are stored with the offset 127.
    static int32_t ConvertValue(double AValue, unsigned ABits, bool ANormalize);

protected:
    void DoFormatChange();
    // Called with FLock held.
    void CalculateRateInt();
    void CalculateRate();
    void TrySend();
    // ASize samples (0: AudioFormat's buffer size). Called with FLock held.
    void CalculateSendOutput(uint32_t ASize);
    void MergeBuffer(uint32_t AChannel, const IDGRealBuffer& AReals, ISNAudioBuffer& AOutput, bool ANormalize);
    void TryStop();

private:
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    TDGPNQueuedRealSinkPin* InputPin(int AIndex) const;

    TSNPNAudioSourcePin FOutputPin;
    TPNPinList FInputPins;
    bool FNormalize = NormalizeProperty.Default;
    TSNAudioFormat FAudioFormat;
    // Guarded by FLock.
    double FCalculatedRate = 0;
    bool FRunning = false;
    WAVEFORMATEXTENSIBLE FRunningFormat{};
    IDGRealBufferPtr FWork;
};

namespace SNRealToAudio {
// Registers TSNRealToAudio with the component registry.
void RegisterPkg();
} // namespace SNRealToAudio

SN_API_END
} // namespace Sonorix
