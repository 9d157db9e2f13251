// SPDX-License-Identifier: MIT
// Decoder bases: TSNBasicDecompressor (a binary packet input) and
// TSNBasicAudioDecompressor (adds the audio output and the pump loop that
// pulls packets from upstream until audio came out).
#pragma once

#include "CVComponent.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <atomic>
#include <memory>

namespace Sonorix {

// Base of every decoder: a binary input pin (packets) and Enabled.
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

protected:
    // Operations arriving at the packet input.
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Operations from downstream; by default unanswered.
    virtual bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    virtual void StreamStop();

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    TDGPNBinarySinkPin FInputPin;

private:
    bool FEnabled = EnabledProperty.Default;
};

// Adds the audio output pin. A master-pump tick from downstream is forwarded
// upstream again and again until the decoder has produced audio
// (FDataPumped) or its stream has closed (FOpened false).
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

} // namespace Sonorix
