// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVCollection.h"
#include "SNSimpleFilter.h"

namespace Sonorix {
SN_API_BEGIN

class TSNGraphicEqualizer;

// One band of the equalizer: a centre frequency and a linear gain.
class TSNGraphicEqualizerChannelItem : public TLockCollectionItem {
public:
    static constexpr TRealSpec CoefficientProperty{.Name = "Coefficient", .Default = 1.0};
    // The default of an item depends on its place (see the collection).
    static constexpr TRealSpec FrequencyProperty{
        .Name = "Frequency", .Default = 31.0, .DesignMin = 0.0, .DesignMax = 500000000.0};
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    explicit TSNGraphicEqualizerChannelItem(TBasicLockCollection& ACollection) : TLockCollectionItem(ACollection) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    double GetCoefficient() const;
    void SetCoefficient(double AValue);
    // Hz; not limited to half the sample rate.
    double GetFrequency() const;
    void SetFrequency(double AValue);
    // The frequency the item got when it was added; a stored form needs the
    // frequency only when it differs.
    double GetFrequencyDefault() const;
    bool GetFrequency_Stored() const;
    // Disabled bands take no part in the design.
    bool GetEnabled() const;
    void SetEnabled(bool AValue);

private:
    friend class TSNGraphicEqualizerChannels;
    // Asks the owning equalizer for a re-design.
    void Changed();

    double FCoefficient = CoefficientProperty.Default;
    bool FEnabled = EnabledProperty.Default;
    double FFrequency = FrequencyProperty.Default;
    double FFrequency_Default = FrequencyProperty.Default;
};

// The bands. A new band starts at 31 Hz when it is the only one, else at
// twice the frequency of the band before it. Adding, deleting and moving
// bands re-designs the filter before the next buffer.
class TSNGraphicEqualizerChannels : public TTypedCollection<TSNGraphicEqualizerChannelItem> {
public:
    explicit TSNGraphicEqualizerChannels(TSNGraphicEqualizer& AOwner);

    TSNGraphicEqualizerChannelItem& Add() override;
    void Delete(int AIndex) override;
    void Move(int ACurIndex, int ANewIndex) override;
    // The number of enabled bands.
    int ActiveCount() const;
    // Copies the bands of ASource.
    void Assign(const TSNGraphicEqualizerChannels& ASource);

protected:
    void Added(TSNGraphicEqualizerChannelItem& AItem) override;

private:
    friend class TSNGraphicEqualizerChannelItem;
    TSNGraphicEqualizer& FOwner;
};

// Shapes the spectrum with a list of bands (centre frequency, linear gain).
// One windowed FIR design per band (a low pass for the lowest band, band
// passes for the inner ones, a high pass for the highest) is summed into one
// FIR filter of Order taps that runs per channel. With fewer than two
// enabled bands the stream passes unchanged.
//
// Pins: InputPin (audio in), OutputPin (audio out). Sample handling,
// history and priming after a re-design are those of TSNSimpleFilter; the
// equalizer is always FIR.
//
//   TSNGraphicEqualizer LEqualizer;
//   LEqualizer.GetChannels().SetCount(10);         // 31 Hz .. 15872 Hz
//   LEqualizer.GetChannels()[4].SetCoefficient(0.5);
class TSNGraphicEqualizer : public TSNSimpleFilter {
public:
    // At least 5 and odd: below 5 becomes 5, an even value is raised by 1.
    static constexpr TIntSpec OrderProperty{.Name = "Order",
                                            .Default = 41,
                                            .Min = 5,
                                            .Max = MaxFIROrder,
                                            .DesignMin = 5,
                                            .DesignMax = 1001,
                                            .OldName = "NumTaps"};

    TSNGraphicEqualizer();
    ~TSNGraphicEqualizer() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNGraphicEqualizerChannels& GetChannels() { return FChannels; }
    void SetChannels(const TSNGraphicEqualizerChannels& AValue) { FChannels.Assign(AValue); }
    void SetOrder(int32_t AValue) override;

protected:
    IDGFilterInfoPtr GetFilterInfo() override { return nullptr; }
    // The summed design; Order ones with fewer than two enabled bands.
    void IntInit(std::vector<double>& ATaps) override;
    void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                 bool& ASendOutputData) override;

private:
    TSNGraphicEqualizerChannels FChannels;
};

namespace SNGraphicEqualizer {
// Registers TSNGraphicEqualizer with the component registry.
void RegisterPkg();
} // namespace SNGraphicEqualizer

SN_API_END
} // namespace Sonorix
