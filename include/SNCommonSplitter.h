// SPDX-License-Identifier: MIT
// Base of the components with one audio input and one output pin per channel:
// the channel splitter and the analysers (spectrum, goniometer).
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <memory>

namespace Sonorix {
SN_API_BEGIN

// Receives a stream on InputPin and serves one output pin per channel.
//
// At the stream's start AudioStreamStart stores the format. For each
// arriving buffer, channel c (c below both the stream's channel count and the
// number of output pins) is handed to the Strip variant of the stream's
// width, when HasChannelEvent(c) says someone listens. The default Strip
// variants make a buffer of doubles of that channel (divided by full scale,
// 2^(bits-1), when GetNormalize answers true; 8-bit samples have their 128
// offset removed either way) and call SplitBuffer; the channel splitter
// overrides them to send integer mono buffers instead.
//
// The buffer loop holds the output pin list's lock and then FLock, the order
// in which a change of the pin count takes them too, so pins may come and go
// while audio flows.
class TSNBasicCommonSplitter : public TLockComponent {
public:
    ~TSNBasicCommonSplitter() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    TPNPinList& GetOutputPins() { return FOutputPins; }

    // Channels served in the running stream: min(output pins, stream
    // channels); 0 when no stream runs.
    int32_t GetActiveChannels() const;

protected:
    // AOutputType: the data type of the output pins CreateSourcePin makes.
    explicit TSNBasicCommonSplitter(TPNDataType AOutputType);

    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Operations from downstream go upstream through the input pin.
    virtual bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Called with FLock held. Stores the format (when not null); the default
    // then announces a rate-only start on every output pin.
    virtual void AudioStreamStart(const WAVEFORMATEXTENSIBLE* AWaveFormat);
    // The stream ended: sends a stop on every output pin.
    virtual void Stop();
    // Whether channel AChannel's data is wanted; by default when its output
    // pin is connected. Called with FLock held.
    virtual bool HasChannelEvent(int32_t AChannel);
    virtual bool GetNormalize();
    // One channel of a buffer of the running format. Called with the pin
    // list's lock and FLock held.
    virtual void Strip8Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer);
    virtual void Strip16Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer);
    virtual void Strip24Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer);
    virtual void Strip32Bits(int32_t AChannel, const ISNAudioBufferPtr& ABuffer);
    // One channel as doubles. Called with the pin list's lock and FLock held.
    virtual void SplitBuffer(int32_t AChannel, const IDGRealBufferPtr& ABuffer);
    // Sets the number of output pins (1 .. 32): pins are removed from the end
    // or appended.
    virtual void SetCountChannels(int32_t AValue);
    // Makes output pin AIndex (the pin list names it).
    virtual std::unique_ptr<TPNPin> CreateSourcePin(int AIndex) = 0;

    // Channel AChannel of ABuffer as doubles, per GetNormalize.
    IDGRealBufferPtr ChannelToReals(int32_t AChannel, const ISNAudioBuffer& ABuffer);
    // The output pin of a channel, or nullptr. Called with the list's lock held.
    TPNPin* OutputPin(int32_t AChannel) const { return FOutputPins.GetPin(AChannel); }
    // Sends AOperation on every output pin.
    void NotifyOutputPins(const IPNNotifyOperationPtr& AOperation);

    // The running stream's format; FStarted between its start and its stop.
    WAVEFORMATEXTENSIBLE FWaveFormat{};
    bool FStarted = false;

private:
    void ProcessBuffer(const ISNAudioBufferPtr& ABuffer);

    TSNPNAudioSinkPin FInputPin;
    TPNPinList FOutputPins;
};

// The splitter base with its pin count published as CountChannels.
class TSNCommonSplitter : public TSNBasicCommonSplitter {
public:
    static constexpr TIntSpec CountChannelsProperty{.Name = "CountChannels", .Default = 2, .Min = 1, .Max = 32};

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    int32_t GetCountChannels() const;
    void SetCountChannels(int32_t AValue) override;

protected:
    using TSNBasicCommonSplitter::TSNBasicCommonSplitter;

    // Called by the constructor of each concrete class, once its
    // CreateSourcePin can run: makes the default number of pins.
    void CreateDefaultPins();

private:
    int32_t FCountChannels = static_cast<int32_t>(CountChannelsProperty.Default);
};

SN_API_END
} // namespace Sonorix
