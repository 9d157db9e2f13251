// SPDX-License-Identifier: MIT
// Decoder bases: TSNBasicDecompressor (a binary packet input) and
// TSNBasicAudioDecompressor (adds the audio output and the pump loop that
// pulls packets from upstream until audio came out).
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "DGThreading.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <atomic>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

class TSNCodecThread;

// Base of every decoder: a binary input pin (packets), Enabled and Threading.
// With Threading enabled, what arrives at the input is processed on a thread
// of the decoder's own, in arrival order.
class TSNBasicDecompressor : public TLockComponent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    TSNBasicDecompressor();
    ~TSNBasicDecompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGPNBinarySinkPin& GetInputPin() { return FInputPin; }
    bool GetEnabled() const;
    virtual void SetEnabled(bool AValue);
    TDGThreading& GetThreading() { return FThreading; }
    void SetThreading(const TDGThreading& AValue) { FThreading.Assign(AValue); }

protected:
    // Entry of the input pin: SinkDispatch on the delivering thread, or
    // queued for the processing thread. Pump requests and stream queries,
    // whose answers the sender reads, are always answered at once.
    bool DispatchInput(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Ends the processing thread; each decoder calls it first thing in its
    // destructor, before the state that SinkDispatch touches goes.
    void ReleaseProcessing();
    // Operations queued for the processing thread (0 without threading).
    size_t QueuedOperations() const;
    // Operations arriving at the packet input.
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Operations from downstream; by default unanswered.
    virtual bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    virtual void StreamStop();

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    TDGPNBinarySinkPin FInputPin;

private:
    bool FEnabled = EnabledProperty.Default;
    TDGThreading FThreading;
    std::unique_ptr<TSNCodecThread> FCodecThread;
};

// Adds the audio output pin. A master-pump tick from downstream is forwarded
// upstream again and again until the decoder has produced audio
// (FDataPumped) or its stream has closed (FOpened false); with threading on,
// also until the processing thread has enough packets queued.
class TSNBasicAudioDecompressor : public TSNBasicDecompressor {
public:
    TSNBasicAudioDecompressor();
    ~TSNBasicAudioDecompressor() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }

protected:
    bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;

    TSNPNAudioSourcePin FOutputPin;
    // Set by the concrete decoder whenever it sent audio downstream.
    std::atomic<bool> FDataPumped{false};
    // True while the concrete decoder holds an open decoding stream.
    std::atomic<bool> FOpened{false};
};

SN_API_END
} // namespace Sonorix
