// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "DGFilterCalc.h"
#include "SNCommonFilter.h"

#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

struct TSNSimpleFilterStates;

// The core of the frequency-selective filters: asks a descendant for a
// design (GetFilterInfo), builds one FIR or IIR state per channel, and
// filters every sample of every channel in double precision.
//
// Pins: InputPin (audio in), OutputPin (audio out), as TSNCommonFilter.
// 8-bit samples are read as byte - 127 and written back as y + 127 limited
// to 0 .. 255; 16, 24 and 32-bit samples are limited to +-32767,
// +-8388607 and +-2147483647; rounding is to nearest, ties to even. Other
// widths pass unfiltered.
//
// A change of Order or Alpha while a stream runs re-designs before the next
// buffer, and the new states are first run over the last input frames kept
// in a history (priming), so the output goes on without a click. A change
// of FilterType, WindowType, IIRFilterType or SampleRate rebuilds at once,
// serialised with the processing of buffers.
//
//   TSNLowPass LLowPass;                    // a descendant
//   LLowPass.SetFrequency(1000.0);
//   LLowPass.SetOrder(101);
class TSNSimpleFilter : public TSNCommonFilter {
public:
    static constexpr TEnumSpec<TDGFilterType> FilterTypeProperty{
        .Name = "FilterType", .Default = ftFIR, .Info = &TDGFilterTypeInfo};
    static constexpr TEnumSpec<TDGWindowType> WindowTypeProperty{
        .Name = "WindowType", .Default = wtHamming, .Info = &TDGWindowTypeInfo};
    static constexpr TEnumSpec<TDGIIRFilterType> IIRFilterTypeProperty{
        .Name = "IIRFilterType", .Default = iirBessel, .Info = &TDGIIRFilterTypeInfo};
    static constexpr TRealSpec AlphaProperty{.Name = "Alpha", .Default = 1.0, .DesignMin = 0.0, .DesignMax = 1.0};
    static constexpr TIntSpec OrderProperty{
        .Name = "Order", .Default = 41, .Min = 1, .DesignMin = 1, .DesignMax = 1001, .OldName = "NumTaps"};

    TSNSimpleFilter();
    ~TSNSimpleFilter() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGFilterType GetFilterType() const;
    void SetFilterType(TDGFilterType AValue);
    TDGWindowType GetWindowType() const;
    void SetWindowType(TDGWindowType AValue);
    TDGIIRFilterType GetIIRFilterType() const;
    void SetIIRFilterType(TDGIIRFilterType AValue);
    // Kaiser window parameter of FIR designs, ripple in dB of Chebyshev ones.
    double GetAlpha() const;
    void SetAlpha(double AValue);
    // Number of FIR taps, or the order of the IIR prototype; at least 1.
    int32_t GetOrder() const;
    virtual void SetOrder(int32_t AValue);

    // The sample rate of the stream (Hz); writing it re-initialises the
    // filter at once.
    int32_t GetSampleRate() const;
    void SetSampleRate(int32_t AValue);
    // The current design.
    int32_t GetTapsCount() const;
    double GetTaps(int32_t AIndex) const;

    // Sets SampleRate from the frequency properties (descendants).
    virtual void AutoCalcRate() {}

    // (Re)builds the states from a new design. Called from the stream start,
    // before a buffer when a re-design is due, and from the setters that
    // rebuild at once; serialised with buffer processing by FInputLock.
    void Init();
    // Marks a re-design for the next buffer when states exist.
    void Recalc();

protected:
    // The design request; called with FInputLock held.
    virtual IDGFilterInfoPtr GetFilterInfo() = 0;
    // ATaps := the taps of GetFilterInfo.
    virtual void IntInit(std::vector<double>& ATaps);
    // Frees the states.
    void IntStreamStop();

    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void StreamStop() override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;
    bool ProcessesInPlace() const override { return true; }

private:
    // AFreshStart: a stream starts (zeroed history) rather than a running
    // stream being re-designed (primed from the history).
    void Init(bool AFreshStart);
    // Filters ABuffer in place through the states. Called with FInputLock held.
    void FilterBuffer(ISNAudioBuffer& ABuffer);
    void KeepHistory(const ISNAudioBuffer& AInBuffer);
    // The history, oldest frame first.
    ISNAudioBufferPtr OrderedHistory() const;
    void Prime(const ISNAudioBuffer& AOrdered, uint32_t ANewLength);

    int32_t FOrder = static_cast<int32_t>(OrderProperty.Default);
    TDGFilterType FFilterType = FilterTypeProperty.Default;
    TDGWindowType FWindowType = WindowTypeProperty.Default;
    TDGIIRFilterType FIIRFilterType = IIRFilterTypeProperty.Default;
    double FAlpha = AlphaProperty.Default;

    // Guarded by FInputLock.
    TDGFilterType FRunningFilterType = ftFIR;
    std::vector<double> FTaps;
    bool FNeedsRecalc = false;
    bool FOpened = false;
    ISNAudioBufferPtr FDelayBuffer;
    ISNAudioBufferPtr FDelayOutputBuffer;
    int32_t FDelayBufferFilledSize = 0;
    // One primitive state per channel.
    std::unique_ptr<TSNSimpleFilterStates> FStates;
    // One channel as doubles, for the block path.
    std::vector<double> FScratch;
};

SN_API_END
} // namespace Sonorix
