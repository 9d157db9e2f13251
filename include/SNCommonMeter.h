// SPDX-License-Identifier: MIT
// Base of the level meters: a queue of received buffers measured in periods
// of Period milliseconds, one value per channel on OutputPins and through
// OnValueChange.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "CVMainThreadNotify.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

enum TSNValueMode { vmLinear, vmDecibel };
extern const TEnumInfo TSNValueModeInfo;

// How an event reaches the application: at once on the audio thread
// (stNone), or on the main thread with only the latest undelivered one shown
// (stSingleBuffer) or every one in order (stQueue).
enum TDGSynchronizeType { stNone, stSingleBuffer, stQueue };
extern const TEnumInfo TDGSynchronizeTypeInfo;

// One value per channel; every per-channel loop of the meters stops at 32.
using TSNChannelReals = std::array<double, 32>;
inline constexpr int32_t CSNMaxMeterChannels = 32;

// Event: channel AChannel measured AValue within AMin .. AMax (linear sample
// units, or dB in vmDecibel mode).
using TSNMeterValueChangeEvent =
    std::function<void(TPersistent& ASender, int32_t AChannel, double AValue, double AMin, double AMax)>;

// The received buffers, oldest first, with the total of their frames.
class TSNMeterBufferQueue {
public:
    void Push(ISNAudioBufferPtr ABuffer);
    // Removes the oldest buffer.
    void Pop();
    // False, with ABuffer cleared, when AIndex is past the end.
    bool GetBuffer(int32_t AIndex, ISNAudioBufferPtr& ABuffer) const;
    int32_t GetCount() const { return static_cast<int32_t>(FBufferList.size()); }
    // Frames of all queued buffers, consumed ones of the oldest included.
    int64_t GetSamplesInBuffer() const { return FSamplesInBuffer; }
    void Clear();

private:
    std::deque<ISNAudioBufferPtr> FBufferList;
    int64_t FSamplesInBuffer = 0;
};

// A meter: audio in, one level per channel out, measured over consecutive
// periods. Descendants supply GetMeterValue.
//
// Pins: InputPin (audio in; nothing is passed on), OutputPins (one
// TPNRealRangedSourcePin per channel, CountChannels of them; a pin sends only
// when its value changes).
//
// Threads: buffers are measured on the thread that delivers them; the pin
// values and, with stNone, OnValueChange are sent there. The buffer path
// holds the pin list's lock and then FLock, the order a change of
// CountChannels takes them too.
class TSNCommonMeter : public TLockComponent {
public:
    static constexpr TEnumSpec<TSNValueMode> ModeProperty{.Name = "Mode", .Default = vmLinear, .Info = &TSNValueModeInfo};
    static constexpr TIntSpec CountChannelsProperty{.Name = "CountChannels", .Default = 2, .Min = 1, .Max = 32};
    static constexpr TEnumSpec<TDGSynchronizeType> SynchronizeTypeProperty{
        .Name = "SynchronizeType", .Default = stSingleBuffer, .Info = &TDGSynchronizeTypeInfo};
    // Milliseconds. Bounded so that the work buffers stay bounded: a minute
    // of 32 channels at 192 kHz is 1.4 GiB already.
    static constexpr TIntSpec PeriodProperty{
        .Name = "Period", .Default = 100, .Min = 0, .Max = 60000, .DesignMin = 10, .DesignMax = 1000, .TypeName = "uint32"};

    ~TSNCommonMeter() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    TPNPinList& GetOutputPins() { return FOutputPins; }

    TSNValueMode GetMode() const;
    void SetMode(TSNValueMode AValue);
    int32_t GetCountChannels() const;
    // 1 .. 32; removes pins from the end or appends them.
    void SetCountChannels(int32_t AValue);
    TDGSynchronizeType GetSynchronizeType() const;
    void SetSynchronizeType(TDGSynchronizeType AValue);
    uint32_t GetPeriod() const;
    void SetPeriod(uint32_t AValue);
    void SetOnValueChange(TSNMeterValueChangeEvent AEvent);
    // Channels measured in the running stream: min(pins, stream channels).
    int32_t GetActiveChannels() const;

protected:
    TSNCommonMeter();

    // The stream starts (AWaveFormat not null): sizes everything from it.
    virtual void Reset(const WAVEFORMATEXTENSIBLE* AWaveFormat);
    virtual void Stop();
    // Measures every whole period the queue holds. Called with FLock held.
    virtual void ProcessQueue();
    virtual void InitBuffers();
    // Hands the next GetBufferSize frames to TakeFrames, span by span of the
    // queued buffers. Called with FLock held.
    virtual void FillInternalBuffers();
    // ACount frames from AFrames (interleaved, AStep bytes apart) go to the
    // period from its frame AFilled on. By default: each running channel's
    // samples to its work buffer as floats.
    virtual void TakeFrames(const uint8_t* AFrames, int32_t AStep, int32_t ACount, int32_t AFilled);
    // Frames per period, at least 1.
    virtual int32_t GetBufferSize();
    // AValues[c] := the level of the period in channel c's work buffer, for
    // each running channel. Called with FLock held.
    virtual void GetMeterValue(TSNChannelReals& AValues) = 0;
    virtual void SetTimePeriod();

    // The period's samples of channel AChannel (GetBufferSize floats).
    float* WorkBuffer(int32_t AChannel);
    int32_t RunningChannels() const { return FRunningChannelCount; }

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    std::shared_ptr<TBasicLockChangeNotifyLock> FOutputLock;
    WAVEFORMATEXTENSIBLE FWaveFormat{};
    // Full scale: 2^(bits - 1) - 1.
    double FMax = 1.0;

private:
    bool InputDispatch(const IPNNotifyOperationPtr& AOperation);
    void ReceiveBuffer(ISNAudioBufferPtr ABuffer);
    void UpdateRunningChannels();
    void Output(const TSNChannelReals& AValues, double AMin, double AMax);
    void DeliverOnMainThread(const TSNChannelReals& AValues, int32_t ACount, double AMin, double AMax);

    TSNPNAudioSinkPin FInputPin;
    TPNPinList FOutputPins;
    TSNValueMode FMode = ModeProperty.Default;
    TSNMainThreadNotify FMainThreadNotify;
    TDGSynchronizeType FSynchronizeType = SynchronizeTypeProperty.Default;
    uint32_t FPeriod = static_cast<uint32_t>(PeriodProperty.Default);
    int32_t FCountChannels = static_cast<int32_t>(CountChannelsProperty.Default);
    int32_t FLastBufferPos = 0;
    int32_t FRunningChannelCount = 0;
    // Frames the work buffers were made for.
    int32_t FWorkFrames = 0;
    bool FStarted = false;
    std::vector<IDGBlockBufferPtr> FInternalBuffers;
    TSNMeterValueChangeEvent FOnValueChange;
    TSNMeterBufferQueue FQueue;
};

// The class-description row of OnValueChange, shared by the three meters.
TEventInfo MeterValueChangeEventInfo();

SN_API_END
} // namespace Sonorix
