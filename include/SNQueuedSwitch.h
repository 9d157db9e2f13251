// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVCollection.h"
#include "CVComponent.h"
#include "CVThreading.h"
#include "DGClockSlot.h"
#include "PNPins.h"
#include "SNStreamSource.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

class TSNQueuedSwitch;
class TSNQueuedInputs;

// Notify event: the sender is the switch.
using TSNNotifyEvent = std::function<void(TPersistent& ASender)>;

// Published as an input's Queuing: when Enabled, the input's buffers are kept
// while another input is active.
class TSNQueuedInputQueuing : public TPersistent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = false};
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    bool GetEnabled() const { return FEnabled.load(); }
    void SetEnabled(bool AValue) { FEnabled = AValue; }

private:
    std::atomic<bool> FEnabled{EnabledProperty.Default};
};

// One input of the queued switch: its pin, its queue of buffer operations
// and its thresholds. Fields are guarded by the collection's lock; the queue
// is a thread-safe list of its own.
class TSNQueuedInputItem : public TLockCollectionItem {
public:
    static constexpr TIntSpec ThresholdMaxProperty{.Name = "ThresholdMax", .Default = 100};
    static constexpr TIntSpec ThresholdMinProperty{.Name = "ThresholdMin", .Default = 30};

    explicit TSNQueuedInputItem(TBasicLockCollection& ACollection) : TLockCollectionItem(ACollection) {}

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return *FInputPin; }
    // True when this is the switch's active input; writing true activates it.
    bool GetActive() const;
    void SetActive(bool AValue);
    TSNQueuedInputQueuing& GetQueuing() { return FQueuing; }
    int32_t GetThresholdMax() const;
    void SetThresholdMax(int32_t AValue);
    int32_t GetThresholdMin() const;
    void SetThresholdMin(int32_t AValue);
    // Raised with the switch as sender: after a buffer is queued while more
    // than ThresholdMax are queued (on the producer's thread), and after a
    // buffer is sent when fewer than ThresholdMin remain (on the clock thread).
    void SetOnThresholdMax(TSNNotifyEvent AEvent);
    void SetOnThresholdMin(TSNNotifyEvent AEvent);

    // Queued buffers.
    size_t GetQueuedCount() const { return FAudioSyncQueue.Count(); }
    // Discards the queued buffers.
    void Flush() { FAudioSyncQueue.Clear(); }
    bool IsAudioActive() const { return FAudioIsActive.load(); }

private:
    friend class TSNQueuedSwitch;
    friend class TSNQueuedInputs;
    bool AudioSinkDispatch(const IPNNotifyOperationPtr& AOperation);
    TSNQueuedSwitch& Switch() const;

    TSNPNAudioSinkPin* FInputPin = nullptr;
    TPNOperationList FAudioSyncQueue;
    std::atomic<bool> FAudioIsActive{false};
    uint32_t FPumpPriority = 0;
    std::atomic<bool> FIsPump{false};
    TSNQueuedInputQueuing FQueuing;
    int32_t FThresholdMax = static_cast<int32_t>(ThresholdMaxProperty.Default);
    int32_t FThresholdMin = static_cast<int32_t>(ThresholdMinProperty.Default);
    TSNNotifyEvent FOnThresholdMax;
    TSNNotifyEvent FOnThresholdMin;
    // The stream's format, for buffers that arrive as untyped blocks.
    WAVEFORMATEXTENSIBLE FWaveFormat{};
};

// The inputs of a queued switch. Adding, deleting and moving take the
// InputPins list lock, then the switch's lock, then the collection's lock,
// and keep InputPins in item order.
class TSNQueuedInputs : public TTypedCollection<TSNQueuedInputItem> {
public:
    explicit TSNQueuedInputs(TSNQueuedSwitch& ASwitch);
    TSNQueuedInputItem& Add() override;
    void Delete(int AIndex) override;
    void Move(int ACurIndex, int ANewIndex) override;

protected:
    void Added(TSNQueuedInputItem& AItem) override;
    void Removing(TSNQueuedInputItem& AItem, int AIndex) override;
    void Moved(int ACurIndex, int ANewIndex) override;

private:
    TSNQueuedSwitch& FSwitch;
};

// Passes one of several audio streams to its output: the active input.
//
// Pins: InputPins[i] (audio in, one per item of InputChannels), OutputPin
// (audio out, in the format of the first stream that started). Buffers of
// the active input are queued and sent one at a time by a clock thread of the
// switch's own, paced by its own clock (1024 samples per period) when nothing
// downstream pumps, else by the downstream pump. Buffers of other inputs are
// dropped unless that input's Queuing is enabled. When the active input has
// ended and its queue is empty the switch moves on to the next input (a
// playlist), raising OnSwitch. The output ends when every input has ended
// and every queue is empty.
//
//   TSNQueuedSwitch LSwitch;
//   LSwitch.GetInputChannels().SetCount(2);
//   LSwitch.GetInputChannels()[1].GetQueuing().SetEnabled(true);   // plays after input 0
class TSNQueuedSwitch : public TLockComponent, public ISNStreamSource {
public:
    static constexpr TIntSpec ActiveChannelIndexProperty{.Name = "ActiveChannelIndex", .Default = 0};
    static constexpr TBoolSpec PausedProperty{.Name = "Paused", .Default = false};

    TSNQueuedSwitch();
    ~TSNQueuedSwitch() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    TPNPinList& GetInputPins() { return FInputPins; }
    TSNQueuedInputs& GetInputChannels() { return FInputChannels; }

    int32_t GetActiveChannelIndex() const;
    // Clamped into the items (-1 without items); clears the queues of the
    // inactive inputs without Queuing. Any thread.
    void SetActiveChannelIndex(int32_t AValue);
    void SetActiveChannel(TSNQueuedInputItem& AItem);
    bool GetPaused() const;
    // While set, the own clock's ticks send nothing.
    void SetPaused(bool AValue);
    // On the thread that moves on (the clock thread or a producer's).
    void SetOnSwitch(TSNNotifyEvent AEvent);
    // For listeners that watch every input (the tool): the item index and
    // the queued count at the moment of the event.
    using TThresholdListener = std::function<void(bool AMax, int32_t AChannel, size_t ACount)>;
    void SetThresholdListener(TThresholdListener AListener);

    // Sends a stop to every input (upstream).
    void Stop();
    bool IsAudioStarted() const { return FAudioStarted.load(); }
    bool IsPump() const { return FIsPump.load(); }

    // ISNStreamSource: the switch is started by its inputs; a runner's stop
    // sends what is still queued, in playlist order, then ends the output.
    void StartSource() override {}
    void StopSource() override;
    bool IsSourceRunning() const override { return FAudioStarted.load(); }

protected:
    void ChannelAudioStart(TSNQueuedInputItem& AItem, const TPNStartWaveOperation& AStart);
    void ChannelAudioStop();
    void StartPump();
    void RequestPump();
    void AudioBufferAdded();
    // Sends at most one buffer of the active input, moving on past ended
    // inputs with empty queues. Returns whether one was sent.
    bool SubmitFrame();
    void ResumeAudio();
    void CreateTimer();
    void Clock();
    void MasterPump();
    bool SourceDispatch(const IPNNotifyOperationPtr& AOperation);

private:
    friend class TSNQueuedInputItem;
    friend class TSNQueuedInputs;
    void ClockWork();
    // Ends the output once nothing is active and nothing is queued. Called
    // with FLock held.
    void TryEndOutput();
    size_t PendingCount() const;
    // The active index within the items (-1 without items).
    int32_t EffectiveIndex() const;

    TSNPNAudioSourcePin FOutputPin;
    TPNPinList FInputPins;
    TSNQueuedInputs FInputChannels;
    std::atomic<int32_t> FActiveChannelIndex{0};
    std::atomic<bool> FAudioStarted{false};
    bool FPumpStarted = false;
    bool FAudioResumed = false;
    bool FStopPending = false;
    std::atomic<bool> FAudioRequest{false};
    std::atomic<bool> FIsPump{false};
    TPersistent* FMasterPump = nullptr;
    uint32_t FPumpPriority = 0;
    std::atomic<bool> FPaused{PausedProperty.Default};
    std::unique_ptr<TProcessingThread> FClockThread;
    TSNNotifyEvent FOnSwitch;
    TThresholdListener FThresholdListener;
    TDGClockSlot FClockGen;
    WAVEFORMATEXTENSIBLE FRunningWaveFormat{};
};

namespace SNQueuedSwitch {
// Registers TSNQueuedSwitch with the component registry.
void RegisterPkg();
} // namespace SNQueuedSwitch

SN_API_END
} // namespace Sonorix
