// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNCommonGen.h"

namespace Sonorix {
SN_API_BEGIN

class TPNPin;

enum TSNSignalType { atTone, atTriangle, atSquare, atSawToothUp, atSawToothDown };
extern const TEnumInfo TSNSignalTypeInfo;

// The decimal value the saw-tooth and the Asymmetry bound use; deliberately
// not the exact value of pi.
inline constexpr double SNPi = 3.141592621;

// A periodic test signal: cosine tone, triangle, square, rising or falling
// saw-tooth, at Frequency hertz with Amplitude in 16-bit sample units,
// starting at Phase radians.
//
// Pins: OutputPin (audio out, AudioFormat; every channel carries the same
// signal). Changes apply from the next buffer; a change of Phase also moves
// the running phase at once. The phase runs on across buffers, so the signal
// is continuous; a new stream starts again at Phase. Tone and triangle are
// silent when Amplitude is 0 or Frequency is at or above half the sample
// rate; a Frequency of 0 gives a constant level (the saw-tooth: silence).
//
//   TSNSignalGen LGen;
//   LGen.SetSignalType(atTriangle); LGen.SetFrequency(1000);
//   LGen.GetOutputPin().Connect(LAmp.GetInputPin()); LGen.StartSource();
class TSNSignalGen final : public TSNCommonGen {
public:
    static constexpr TEnumSpec<TSNSignalType> SignalTypeProperty{
        .Name = "SignalType", .Default = atTone, .Info = &TSNSignalTypeInfo};
    static constexpr TSingleSpec PhaseProperty{
        .Name = "Phase", .Default = 0.0f, .DesignMin = 0.0, .DesignMax = 6.283185307179586};
    static constexpr TIntSpec AmplitudeProperty{.Name = "Amplitude", .Default = 20000, .Min = 0, .Max = 32767};
    static constexpr TRealSpec FrequencyProperty{
        .Name = "Frequency", .Default = 500.0, .Min = 0.0, .DesignMin = 0.0, .DesignMax = 500000000.0};
    static constexpr TRealSpec AsymmetryProperty{
        .Name = "Asymmetry", .Default = 0.0, .Min = -SNPi, .Max = SNPi};

    ~TSNSignalGen() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNSignalType GetSignalType() const;
    void SetSignalType(TSNSignalType AValue);
    // Radians; any value is kept.
    float GetPhase() const;
    void SetPhase(float AValue);
    // 16-bit sample units, 0 .. 32767.
    int32_t GetAmplitude() const;
    void SetAmplitude(int32_t AValue);
    // Hertz, at least 0.
    double GetFrequency() const;
    void SetFrequency(double AValue);
    // Radians, -SNPi .. SNPi.
    double GetAsymmetry() const;
    void SetAsymmetry(double AValue);
    // The running phase in radians.
    float GetCurrentPhase() const;

    // Handler for a pin that delivers a frequency: sets Frequency.
    void FrequencyChangeEvent(TPNPin* ASender, float AValue, bool AOnConnect);

protected:
    void IntStart() override;
    void SetRate(double ARate) override;
    void Generate(ISNAudioBufferPtr& ASignal, bool& APopulated, bool& AFinished) override;

private:
    // Called with FLock held.
    void UpdateSamplesPerCycle();
    void orvel_SawTooth_16s(int16_t* ADst, int32_t ALen, int32_t APeak, double AFreq, float& APhase);

    float FIntPhase = PhaseProperty.Default;
    float FPhase = PhaseProperty.Default;
    int32_t FAmplitude = static_cast<int32_t>(AmplitudeProperty.Default);
    double FFrequency = FrequencyProperty.Default;
    double FAsymmetry = AsymmetryProperty.Default;
    double FIntRate = 0.0;
    double FRampError = 0.0;
    int32_t FSamplesPerCycle = 0;
    TSNSignalType FSignalType = SignalTypeProperty.Default;
};

namespace SNSignalGen {
// Registers TSNSignalGen with the component registry.
void RegisterPkg();
} // namespace SNSignalGen

SN_API_END
} // namespace Sonorix
