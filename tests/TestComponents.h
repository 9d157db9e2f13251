// SPDX-License-Identifier: MIT
// Components that exist only for the tests: a clocked source of counting
// samples, a collector of everything that arrives, and a component with a
// property of every kind.
#pragma once

#include "CVRegistry.h"
#include "DGClock.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNAudioFormat.h"
#include "SNStreamSource.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace Sonorix::Test {

// Sends buffers of AudioFormat on a clock of its own, one per buffer
// duration. Sample n of channel c holds (n * Channels + c) scaled into the
// width, so any lost, repeated or reordered frame shows. Stops by itself
// after MaxBuffers buffers when that is above 0.
class TTestSource : public TLockComponent, public ISNStreamSource {
public:
    static constexpr TIntSpec MaxBuffersProperty{.Name = "MaxBuffers", .Default = 0, .Min = 0};
    static constexpr TBoolSpec FailProperty{.Name = "FailAfterStart", .Default = false};
    static constexpr TIntSpec ThrowProperty{.Name = "ThrowAtBuffer", .Default = 0, .Min = 0};
    // Sends a software pump request before its start, as a generator does.
    static constexpr TBoolSpec PumpRequestProperty{.Name = "PumpRequest", .Default = false};

    TTestSource();
    ~TTestSource() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    TSNAudioFormat& GetAudioFormat() { return FAudioFormat; }
    int32_t GetMaxBuffers() const { return FMaxBuffers; }
    void SetMaxBuffers(int32_t AValue) { FLock->NotifySetterMin(FMaxBuffers, AValue, int32_t{0}); }
    bool GetFailAfterStart() const { return FFailAfterStart; }
    void SetFailAfterStart(bool AValue) { FLock->NotifySetter(FFailAfterStart, AValue); }
    int32_t GetThrowAtBuffer() const { return FThrowAtBuffer; }
    void SetThrowAtBuffer(int32_t AValue) { FLock->NotifySetterMin(FThrowAtBuffer, AValue, int32_t{0}); }
    bool GetPumpRequest() const { return FPumpRequest; }
    void SetPumpRequest(bool AValue) { FLock->NotifySetter(FPumpRequest, AValue); }
    // Pausing sends a pause downstream and skips the ticks until resumed
    // (the counting goes on from where it stopped). Any thread.
    void SetPaused(bool APaused);
    // The claim that came back from the pump request.
    TPersistent* GetPumpObject() const { return FPumpObject; }

    void StartSource() override;
    void StopSource() override;
    bool IsSourceRunning() const override { return FRunning; }
    // The expected sample value of frame n, channel c at the given width.
    static int32_t ExpectedSample(uint64_t AFrame, unsigned AChannel, unsigned AChannels, unsigned ABits);
    // Called after every buffer sent, with the count so far (any source).
    static inline std::function<void(int)> OnBufferSent;
    // Raises an error event (the runner stops on it).
    std::function<void(TPersistent&, std::string_view, const std::vector<TEventField>&)> FOnError;

private:
    void Tick();

    TSNPNAudioSourcePin FOutputPin;
    TSNAudioFormat FAudioFormat;
    int32_t FMaxBuffers = static_cast<int32_t>(MaxBuffersProperty.Default);
    bool FFailAfterStart = FailProperty.Default;
    int32_t FThrowAtBuffer = static_cast<int32_t>(ThrowProperty.Default);
    std::unique_ptr<TDGClockGen> FClock;
    bool FPumpRequest = PumpRequestProperty.Default;
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FPaused{false};
    TPersistent* FPumpObject = nullptr;
    uint64_t FFrame = 0;
    std::atomic<int32_t> FSent{0};
};

// Records what arrives at its input.
class TTestCollector : public TLockComponent {
public:
    TTestCollector();
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }

    std::vector<WAVEFORMATEXTENSIBLE> Starts() const { return Locked(FStarts); }
    std::vector<ISNAudioBufferPtr> Buffers() const { return Locked(FBuffers); }
    int Stops() const { return Locked(FStops); }
    uint64_t Frames() const;
    // Every operation's class name in arrival order.
    std::vector<std::string> Log() const { return Locked(FLog); }

private:
    bool Receive(const IPNNotifyOperationPtr& AOperation);
    template <class T>
    T Locked(const T& AField) const
    {
        std::lock_guard LGuard(FMutex);
        return AField;
    }

    TSNPNAudioSinkPin FInputPin;
    mutable std::mutex FMutex;
    std::vector<WAVEFORMATEXTENSIBLE> FStarts;
    std::vector<ISNAudioBufferPtr> FBuffers;
    std::vector<std::string> FLog;
    int FStops = 0;
};

enum TTestMode { tmFirst, tmSecond, tmThird };
extern const TEnumInfo TTestModeInfo;

// An item of TTestKitchenSink's collection.
class TTestItem : public TPersistent {
public:
    static constexpr TRealSpec FrequencyProperty{.Name = "Frequency", .Default = 1000.0, .Min = 0.0, .Max = 20000.0};
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    double GetFrequency() const { return FFrequency; }
    void SetFrequency(double AValue) { FLock.NotifySetterMinMax(FFrequency, AValue, 0.0, 20000.0); }

private:
    TBasicLockChangeNotifyLock FLock;
    double FFrequency = FrequencyProperty.Default;
};

class TTestItems : public TCollection {
public:
    explicit TTestItems(std::function<void()> AOnCount) : FOnCount(std::move(AOnCount)) {}
    int GetCount() const override { return static_cast<int>(FItems.size()); }
    void SetCount(int ACount) override;
    TPersistent* GetItem(int AIndex) override { return FItems.at(static_cast<size_t>(AIndex)).get(); }
    const TClassDescription& GetItemDescription() const override { return TTestItem::ClassDescription(); }

private:
    std::function<void()> FOnCount;
    std::vector<std::unique_ptr<TTestItem>> FItems;
};

// A property of every kind, a legacy name, a removed property, a pin list
// that follows a collection's count, and an event.
class TTestKitchenSink : public TLockComponent {
public:
    static constexpr TIntSpec CountProperty{.Name = "Count", .Default = 3, .Min = 1, .Max = 10, .OldName = "NumTaps"};
    static constexpr TRealSpec GainProperty{.Name = "Gain", .Default = 0.5, .Min = -1.0, .Max = 1.0};
    static constexpr TSingleSpec PhaseProperty{.Name = "Phase", .Default = 0.25f, .DesignMin = 0, .DesignMax = 6.28};
    static constexpr TBoolSpec ActiveProperty{.Name = "Active", .Default = true};
    static constexpr TEnumSpec<TTestMode> ModeProperty{.Name = "Mode", .Default = tmSecond, .Info = &TTestModeInfo};
    static constexpr TStringSpec FileNameProperty{.Name = "FileName",
                                                  .Default = "",
                                                  .FileFilter = "Ogg files (*.ogg)|*.ogg|All files (*.*)|*.*",
                                                  .FileExtension = "ogg",
                                                  .EditorEntry = "Edit &File Name ..."};

    TTestKitchenSink();
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetCount() const { return FLock->Getter(FCount); }
    void SetCount(int32_t AValue) { FLock->NotifySetterMinMax(FCount, AValue, int32_t{1}, int32_t{10}); }
    double GetGain() const { return FLock->Getter(FGain); }
    void SetGain(double AValue) { FLock->NotifySetterMinMax(FGain, AValue, -1.0, 1.0); }
    float GetPhase() const { return FLock->Getter(FPhase); }
    void SetPhase(float AValue) { FLock->NotifySetter(FPhase, AValue); }
    bool GetActive() const { return FLock->Getter(FActive); }
    void SetActive(bool AValue) { FLock->NotifySetter(FActive, AValue); }
    TTestMode GetMode() const { return FLock->Getter(FMode); }
    void SetMode(TTestMode AValue) { FLock->NotifySetter(FMode, AValue); }
    std::string GetFileName() const { return FLock->Getter(FFileName); }
    void SetFileName(const std::string& AValue) { FLock->NotifySetter(FFileName, AValue); }
    int64_t GetPosition() const { return 42; }

    TSNAudioFormat& GetAudioFormat() { return FAudioFormat; }
    TTestItems& GetItems() { return FItems; }
    TPNPinList& GetInputPins() { return FInputPins; }
    TDGPNRealSinkPin& GetRealInputPin() { return FRealInputPin; }
    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    // Fires OnValueChange with a value (for event tests).
    void FireValue(double AValue);
    std::function<void(TPersistent&, std::string_view, const std::vector<TEventField>&)> FOnValueChange;

private:
    int32_t FCount = static_cast<int32_t>(CountProperty.Default);
    double FGain = GainProperty.Default;
    float FPhase = PhaseProperty.Default;
    bool FActive = ActiveProperty.Default;
    TTestMode FMode = ModeProperty.Default;
    std::string FFileName = FileNameProperty.Default;
    TSNAudioFormat FAudioFormat;
    TTestItems FItems;
    TPNPinList FInputPins;
    TSNPNAudioSourcePin FOutputPin;
    TDGPNRealSinkPin FRealInputPin;
};

// Registers the three test components (once).
void RegisterTestComponents();

} // namespace Sonorix::Test
