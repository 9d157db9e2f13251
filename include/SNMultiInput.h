// SPDX-License-Identifier: MIT
// The machinery shared by components that combine several audio streams into
// one: a queued input pin, the samples queue behind it, and the two base
// classes that work out the common output format and call the descendant
// once per output buffer whenever every needed input holds enough samples.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "CVThreading.h"
#include "DGThreading.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNAudioFormat.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// A thread-safe FIFO of audio buffers counted in sample frames.
class ISNSamplesQueue {
public:
    using TCallback = std::function<void()>;
    virtual ~ISNSamplesQueue() = default;

    // Appends ABuffer. While more than MaxSamples frames are held it waits in
    // slices of 1000 ms, calling ACallback before each wait so that the
    // owner can send and drain. Any thread; holds no lock while waiting.
    virtual void Push(ISNAudioBufferPtr ABuffer, const TCallback& ACallback = {}) = 0;
    // Fills the whole of ABuffer (converting width and channels as the
    // buffer's CopyTo does); false, taking nothing, when fewer frames than
    // its size are held.
    virtual bool Pop(ISNAudioBuffer& ABuffer) = 0;
    // Adds the next ADest.GetSize() frames, multiplied by AFactor, to ADest:
    // the bits of MultiplyByReal on them followed by ADest's Add; false,
    // taking nothing, when fewer frames are held.
    virtual bool PopAdd(ISNAudioBuffer& ADest, double AFactor) = 0;
    // Empties the queue and releases waiting producers.
    virtual void Clear() = 0;
    virtual uint32_t GetCollectedSamples() const = 0;
    virtual uint32_t GetMaxSamples() const = 0;
    virtual void SetMaxSamples(uint32_t AValue) = 0;
};
using ISNSamplesQueuePtr = std::shared_ptr<ISNSamplesQueue>;

class TSNSamplesQueue final : public ISNSamplesQueue {
public:
    static constexpr uint32_t DefaultMaxSamples = 10000;

    void Push(ISNAudioBufferPtr ABuffer, const TCallback& ACallback = {}) override;
    bool Pop(ISNAudioBuffer& ABuffer) override;
    bool PopAdd(ISNAudioBuffer& ADest, double AFactor) override;
    void Clear() override;
    uint32_t GetCollectedSamples() const override;
    uint32_t GetMaxSamples() const override;
    void SetMaxSamples(uint32_t AValue) override;

private:
    // Takes ASize frames off the front, handing each queued piece to ATake
    // (buffer, its offset, offset in the output, frames); false and nothing
    // taken when fewer are held.
    template <class FTake>
    bool Take(uint32_t ASize, FTake&& ATake);

    std::deque<ISNAudioBufferPtr> FBuffers;
    uint32_t FCollectedSamples = 0;
    uint32_t FExtractOffset = 0;
    mutable TCriticalSection FSection;
    uint32_t FMaxSamples = DefaultMaxSamples;
    // Manual reset: set whenever samples are taken out.
    TEvent FPullEvent{true, false};
};

class TSNBasicMultiInput;

// One input of a multi-input component: queues what arrives and keeps the
// per-input state of the stream. Its fields are guarded by the owner's
// FInputLock.
class TSNPNQueuedAudioSinkPin : public TSNPNAudioSinkPin {
public:
    TSNPNQueuedAudioSinkPin(TSNBasicMultiInput& AOwner, std::string AName);

    // The owner's view; the queue and the flags below are guarded by the
    // owner's FInputLock unless stated otherwise.
    void StartRate(const WAVEFORMATEXTENSIBLE& AWaveFormat);
    // AKeepQueue: the stream ended; what it queued may still go out.
    void Stop(bool AKeepQueue = false);
    void StopFull();
    void Flush();
    void AddBuffer(ISNAudioBufferPtr ABuffer, const ISNSamplesQueue::TCallback& ACallback = {});
    bool IsActive() const;
    bool IsStartReady();
    bool IsReady();
    bool IsBufferQueueFull() const;
    // ARate as the owner passes it: single precision.
    void CalculateSampleCount(uint32_t ABufferSize, float ARate);
    void MasterPump(const IPNNotifyOperationPtr& AOperation, double ARate);
    // How many master-pump ticks to pass upstream for one tick of the owner.
    int MasterPumpCount(double ARate);
    bool StretchLoadBuffer(ISNAudioBuffer& ATarget);
    // StretchLoadBuffer into AWork (made like ATarget on first need), then
    // AWork multiplied by ACoefficient and added to ATarget (nothing added
    // when nothing was loaded); without a stretch the queue's frames are
    // added to ATarget directly. Whether anything was loaded.
    bool StretchAddBuffer(ISNAudioBuffer& ATarget, double ACoefficient, ISNAudioBufferPtr& AWork);
    // At the end of the stream: at most one output buffer's worth of what the
    // queue still holds, into the start of ATarget (the rest silent);
    // returns the output frames it covers.
    uint32_t LoadRemainder(ISNAudioBuffer& ATarget);

    // Setters take the owner's FInputLock.
    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    uint32_t GetPrefillInterval() const;
    void SetPrefillInterval(uint32_t AValue);
    bool GetAllowUnderfeed() const;
    void SetAllowUnderfeed(bool AValue);
    // The queue's own lock.
    uint32_t GetMaxSamples() const { return FBufferQueue->GetMaxSamples(); }
    void SetMaxSamples(uint32_t AValue) { FBufferQueue->SetMaxSamples(AValue); }
    uint32_t GetCollectedSamples() const { return FBufferQueue->GetCollectedSamples(); }
    const ISNSamplesQueuePtr& GetQueue() const { return FBufferQueue; }

    // State, read with the owner's FInputLock held.
    uint32_t FNeededSamples = 0;
    bool FRunning = false;
    bool FStreaming = false;
    WAVEFORMATEXTENSIBLE FWaveFormat{};
    bool FIgnored = false;
    bool FDataAdded = false;
    bool FDelayed = false;
    bool FEnoughSamples = false;
    int32_t FPrefillCount = 0;
    double FMasterPumpCounter = 0.0;

private:
    TSNBasicMultiInput& FOwner;
    ISNSamplesQueuePtr FBufferQueue;
    bool FEnabled = false;
    uint32_t FPrefillInterval = 0;
    bool FAllowUnderfeed = false;
};

// Base of components with several queued audio inputs and one output.
//
// The first start-wave on an input starts the output once every input that
// will deliver has started: the output rate is the highest input rate, the
// width the widest input, the channel count the sum of the inputs' (unless
// a descendant presets them). Each arriving buffer, a processing-thread
// wake-up or a master-pump tick runs TrySend, which calls
// CalculateSendOutput once per output buffer while the inputs hold enough.
//
// Locks: FInputLock guards the inputs (every pin's state) and FOutputLock
// the output; the component lock is the pair, taken in that order.
// Descendants override CalculateSendOutput and OutputsNotify.
class TSNBasicMultiInput : public TLockComponent {
public:
    TSNBasicMultiInput();
    ~TSNBasicMultiInput() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGThreading& GetThreading() { return FThreading; }

    // Observers, for tests and tools; any thread.
    bool IsRunning() const;
    double GetCalculatedRate() const;
    WAVEFORMATEXTENSIBLE GetRunningWaveFormat() const;
    std::vector<TSNPNQueuedAudioSinkPin*> GetAllInputPins() const;
    virtual uint32_t GetOutputBufferSize();

    // The component lock: FInputLock, then FOutputLock.
    struct TComponentAccess {
        TLockAccess Input;
        TLockAccess Output;
    };
    [[nodiscard]] TComponentAccess LockComponent();
    TBasicLockChangeNotifyLock& GetInputLock() { return *FInputLock; }

protected:
    friend class TSNPNQueuedAudioSinkPin;

    virtual bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    virtual void CalculateRate();
    virtual bool GetShouldStop();
    virtual bool GetStopOnNoStreams();
    // The stop of one input, with FInputLock held.
    virtual void InputStopped(TSNPNQueuedAudioSinkPin& APin);
    virtual void MainTrySend();
    virtual bool PassTroughMasterPump();
    // Whether every connected input takes part, enabled or not: the start
    // waits until each has started (or its upstream said it will not), and
    // output waits for an input that is connected but has not started yet.
    virtual bool WaitsForConnectedInputs() const { return false; }
    virtual void IntStop();
    virtual void TrySend();
    virtual void UsePresetCalculateRate();
    // Makes and sends one output buffer; true when another may follow.
    // Called from TrySend with the component lock held.
    virtual bool CalculateSendOutput();
    // AOperation is a TPNPumpRequestOperation.
    virtual void MasterPumpRequest(const IPNNotifyOperationPtr& AOperation);
    virtual bool OutputsNotify(const IPNNotifyOperationPtr& AOperation) = 0;
    virtual void StreamStarted();

    // A queued pin wired to this component, for a pin list's factory.
    std::unique_ptr<TPNPin> QueuedPinCreateFunction(int AIndex);
    // Forgets a pin that leaves its pin list (the list's remove hook).
    virtual void QueuedPinDestroyFunction(TPNPin& APin);

    bool CalculateRateInt();
    void SetSampleRates();
    void AttemptStop();
    void MasterPump(const IPNNotifyOperationPtr& AOperation);
    // Releases processing threads (and clocks, in descendants) retired by
    // IntStop: they may wait for the locks IntStop ran under. Call without
    // locks held.
    virtual void ReleaseRetiredThreads();

    // The passes of TrySend, with the component lock held: the number of
    // buffers sent, and whether the first pass found no input to wait for
    // (every input ignored, delayed or unconnected).
    struct TTrySendResult {
        int Sent = 0;
        bool NothingCounted = false;
    };
    TTrySendResult IntTrySend();

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    std::shared_ptr<TBasicLockChangeNotifyLock> FOutputLock;

    // Guarded by FInputLock.
    bool FRunning = false;
    bool FPumpStarted = false;
    bool FInCalculateRate = false;
    double FCalculatedRate = 0.0;
    // The output format in use: rate, bits, channels, mask (0 = usual).
    uint32_t FRunningRate = 0;
    uint32_t FRunningBits = 0;
    uint32_t FRunningChannels = 0;
    uint32_t FRunningChannelMask = 0;
    TPersistent* FMasterPump = nullptr;
    bool FRateCalculated = false;
    std::vector<TSNPNQueuedAudioSinkPin*> FAllInputPins;

    WAVEFORMATEXTENSIBLE RunningWaveFormat() const;

private:
    void ThreadingChanged();

    TDGThreading FThreading;
    std::mutex FThreadMutex;
    std::unique_ptr<TProcessingThread> FFilterThread;
    std::unique_ptr<TProcessingThread> FMasterPumpThread;
    std::vector<std::unique_ptr<TProcessingThread>> FRetiredThreads;
};

// Adds the output pin and the optional output format.
//
// With AudioFormat enabled its rate, width, channel count and buffer size
// are the output's, and no input is waited for at the start; otherwise
// they come from the inputs and AudioFormat gives only the buffer size.
class TSNMultiInput : public TSNBasicMultiInput {
public:
    TSNMultiInput();
    ~TSNMultiInput() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    TSNOptionalAudioFormat& GetAudioFormat() { return FAudioFormat; }
    uint32_t GetOutputBufferSize() override;

protected:
    bool OutputsNotify(const IPNNotifyOperationPtr& AOperation) override;
    void UsePresetCalculateRate() override;
    void IntStop() override;
    virtual bool GetCanStart();
    virtual void DoChange();
    // Disconnects the inputs and stops; the most derived destructor calls it.
    void BeforeDestruction();

    TSNPNAudioSourcePin FOutputPin;
    TSNOptionalAudioFormat FAudioFormat;
    // A start went out and its stop has not.
    bool FStartSent = false;
};

SN_API_END
} // namespace Sonorix
