// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVCollection.h"
#include "DGClock.h"
#include "SNMultiInput.h"
#include "SNStreamSource.h"

namespace Sonorix {
SN_API_BEGIN

// Whether a mixer channel holds output back until it has received data.
enum TDGMixerChannelWaitType { mcwNone, mcwWaitForData };
extern const TEnumInfo TDGMixerChannelWaitTypeInfo;

class TSNAudioMixer;
class TSNAudioMixerChannels;

// One input of the mixer: its pin, weight and queue settings. The item's
// fields are guarded by the collection's lock; Enabled, PrefillInterval,
// MaxSamples and AllowUnderfeed live in the pin.
class TSNAudioMixerChannelItem : public TLockCollectionItem {
public:
    static constexpr TRealSpec CoefficientProperty{.Name = "Coefficient", .Default = 1.0};
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};
    static constexpr TEnumSpec<TDGMixerChannelWaitType> WaitForDataBeforeProperty{
        .Name = "WaitForDataBefore", .Default = mcwNone, .Info = &TDGMixerChannelWaitTypeInfo};
    static constexpr TIntSpec PrefillIntervalProperty{
        .Name = "PrefillInterval", .Default = 0, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};
    static constexpr TIntSpec MaxSamplesProperty{.Name = "MaxSamples",
                                                 .Default = TSNSamplesQueue::DefaultMaxSamples,
                                                 .Min = 0,
                                                 .Max = 0xFFFFFFFF,
                                                 .TypeName = "uint32"};
    static constexpr TBoolSpec AllowUnderfeedProperty{.Name = "AllowUnderfeed", .Default = false};

    explicit TSNAudioMixerChannelItem(TBasicLockCollection& ACollection) : TLockCollectionItem(ACollection) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNQueuedAudioSinkPin& GetInputPin() { return *FInputPin; }
    // A linear weight; used from the next output buffer.
    double GetCoefficient() const;
    void SetCoefficient(double AValue);
    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    TDGMixerChannelWaitType GetWaitForDataBefore() const;
    void SetWaitForDataBefore(TDGMixerChannelWaitType AValue);
    // Milliseconds of output during which the channel stays silent while its
    // queue fills, counted from the next start.
    uint32_t GetPrefillInterval() const;
    void SetPrefillInterval(uint32_t AValue);
    uint32_t GetMaxSamples() const;
    void SetMaxSamples(uint32_t AValue);
    bool GetAllowUnderfeed() const;
    void SetAllowUnderfeed(bool AValue);

private:
    friend class TSNAudioMixerChannels;
    friend class TSNAudioMixer;
    TSNPNQueuedAudioSinkPin* FInputPin = nullptr;
    double FCoefficient = CoefficientProperty.Default;
    TDGMixerChannelWaitType FWaitForActiveBefore = WaitForDataBeforeProperty.Default;
};

// The channels of a mixer. Adding, deleting and moving take, in order, the
// InputPins list lock, the mixer's component lock, the collection's lock
// and the mixer's FInputLock, and keep InputPins in channel order.
class TSNAudioMixerChannels : public TTypedCollection<TSNAudioMixerChannelItem> {
public:
    explicit TSNAudioMixerChannels(TSNAudioMixer& AMixer);

    TSNAudioMixerChannelItem& Add() override;
    void Delete(int AIndex) override;
    void Move(int ACurIndex, int ANewIndex) override;

protected:
    void Added(TSNAudioMixerChannelItem& AItem) override;
    void Removing(TSNAudioMixerChannelItem& AItem, int AIndex) override;
    void Moved(int ACurIndex, int ANewIndex) override;

private:
    TSNAudioMixer& FMixer;
};

// Adds any number of audio streams into one, each weighted by its channel's
// Coefficient. Streams of other rates and widths are brought to the output
// format (highest rate, widest samples, or AudioFormat when enabled) by
// nearest-sample stretching. When nothing downstream claims the pump role
// in pump negotiation, the mixer clocks itself and keeps sending buffers
// (silence when every input is paused).
//
// Pins: InputPins[i] (audio in, one per channel), OutputPin (audio out).
//
//   TSNAudioMixer LMixer;
//   LMixer.GetChannels().SetCount(2);
//   LMixer.GetChannels()[1].SetCoefficient(0.5);
//   LSource.GetOutputPin().Connect(LMixer.GetChannels()[0].GetInputPin());
class TSNAudioMixer : public TSNMultiInput, public ISNStreamSource {
public:
    static constexpr TIntSpec PumpPriorityProperty{.Name = "PumpPriority",
                                                   .Default = 0,
                                                   .Min = 0,
                                                   .Max = 0xFFFFFFFF,
                                                   .DesignMin = 0,
                                                   .DesignMax = 10000,
                                                   .TypeName = "uint32"};

    TSNAudioMixer();
    ~TSNAudioMixer() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TPNPinList& GetInputPins() { return FInputPins; }
    TSNAudioMixerChannels& GetChannels() { return FChannels; }
    uint32_t GetPumpPriority() const;
    void SetPumpPriority(uint32_t AValue);

    // Ends output at once: every input is stopped (queue cleared) and the
    // stop goes out. The next start on any input starts again. Any thread.
    void Stop();
    // Whether the mixer runs its own clock (for tests and tools).
    bool HasOwnClock() const;

    // ISNStreamSource: a mixer is started by its inputs; a runner stops it.
    void StartSource() override {}
    void StopSource() override { Stop(); }
    bool IsSourceRunning() const override { return IsRunning(); }

protected:
    void CalculateRate() override;
    bool GetShouldStop() override;
    bool GetStopOnNoStreams() override { return false; }
    void InputStopped(TSNPNQueuedAudioSinkPin& APin) override;
    void MainTrySend() override;
    void IntStop() override;
    bool CalculateSendOutput() override;
    void MasterPumpRequest(const IPNNotifyOperationPtr& AOperation) override;
    bool GetCanStart() override;
    void ReleaseRetiredThreads() override;
    // Starts the own clock when the mixer is its own pump.
    void CreateTimer();

private:
    friend class TSNAudioMixerChannels;
    void ClockTick();
    // Sends what the queues hold at the end of the stream, the last buffer
    // shorter than the others.
    void SendRemainder();

    TPNPinList FInputPins;
    TSNAudioMixerChannels FChannels;
    // Guarded by FInputLock.
    bool FDontSendOutput = false;
    std::unique_ptr<TDGClockGen> FClockGen;
    std::vector<std::unique_ptr<TDGClockGen>> FRetiredClocks;
    bool FIsPump = false;
    uint32_t FPumpPriority = static_cast<uint32_t>(PumpPriorityProperty.Default);
};

namespace SNAudioMixer {
// Registers TSNAudioMixer with the component registry.
void RegisterPkg();
} // namespace SNAudioMixer

SN_API_END
} // namespace Sonorix
