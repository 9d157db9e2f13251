// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "CVMainThreadNotify.h"
#include "DGClock.h"
#include "PNPins.h"
#include "SNOggLogger.h"
#include "SNStreamSource.h"
#include "XVLAVSupport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

enum TDGClockSource : uint8_t { csAuto, csInternal, csExternal };
extern const TEnumInfo TDGClockSourceInfo;

// The play range of a player, in packets (StopSample included).
class TSNAudioPlayerSegment : public TPersistent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = false};
    static constexpr TIntSpec StartSampleProperty{
        .Name = "StartSample", .Default = 0, .Min = 0, .TypeName = "int64"};
    static constexpr TIntSpec StopSampleProperty{
        .Name = "StopSample", .Default = 0, .Min = 0, .TypeName = "int64"};

    explicit TSNAudioPlayerSegment(std::shared_ptr<TBasicLockChangeNotifyLock> ALock) : FLock(std::move(ALock)) {}
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    int64_t GetStartSample() const;
    void SetStartSample(int64_t AValue);
    int64_t GetStopSample() const;
    void SetStopSample(int64_t AValue);

private:
    std::shared_ptr<TBasicLockChangeNotifyLock> FLock;
    bool FEnabled = EnabledProperty.Default;
    int64_t FStartSample = StartSampleProperty.Default;
    int64_t FStopSample = StopSampleProperty.Default;
};

// Event: the player sent packet ASample - 1 of the range AStart .. AStop.
using TCMProgressEvent = std::function<void(TPersistent& ASender, int64_t AStart, int64_t AStop, int64_t ASample)>;
using TNotifyEvent = std::function<void(TPersistent& ASender)>;

// Reads the first logical stream of an Ogg file and sends its packets, one
// per buffer in the codec packet framing, through OutputPin: a decoder
// downstream makes audio of them. Opening scans the file and counts its
// packets (a page of a second logical stream fails with "ogg_stream_pagein
// failed."; a file without an Ogg page is refused). Packets go out one per
// tick of the player's clock (period 9999999 x BufferSize / Rate in
// 100-nanosecond units), or per tick arriving on ClockInputPin when the
// clock is external. At a start with an internal clock the player offers
// itself as pump (PumpPriority) downstream; when a downstream component
// (a decoder with a clock of its own) claims the role, the player sends one
// packet per master-pump request of that component instead. Positions (CurrentSample, SamplesCount, PlaySegment)
// count packets. At the end-of-stream packet, the end of the play range or
// of the file the player rewinds (Loop) or ends the stream: on the main
// thread it sends the stop, fires OnStop, closes the file and clears Enabled.
// Setting CurrentSample seeks: the header packets are sent again (a new
// stream for the decoder) and playing goes on at that packet. Errors go
// through OnError, then EDGException unless handled.
//
//   TSNOggPlayer LPlayer;
//   LPlayer.SetFileName("in.ogg");
//   LPlayer.GetOutputPin().Connect(LDecoder.GetInputPin());   LPlayer.StartSource();
class TSNOggPlayer : public TLockComponent, public ISNStreamSource, public TLAVErrorSource {
public:
    // The Ogg file filter and editor entry of the writer's.
    static constexpr TStringSpec FileNameProperty = TSNOggLogger::FileNameProperty;
    static constexpr TBoolSpec RestartOnNewFileProperty{.Name = "RestartOnNewFile", .Default = true};
    static constexpr TIntSpec PumpPriorityProperty{.Name = "PumpPriority",
                                                   .Default = 0,
                                                   .Min = 0,
                                                   .Max = 0xFFFFFFFF,
                                                   .DesignMin = 0,
                                                   .DesignMax = 10000,
                                                   .TypeName = "uint32"};
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};
    static constexpr TBoolSpec PausedProperty{.Name = "Paused", .Default = false};
    static constexpr TBoolSpec LoopProperty{.Name = "Loop", .Default = false};
    static constexpr TEnumSpec<TDGClockSource> ClockSourceProperty{
        .Name = "ClockSource", .Default = csAuto, .Info = &TDGClockSourceInfo};
    // Packets per second = Rate / BufferSize.
    static constexpr TIntSpec RateProperty{.Name = "Rate", .Default = 10000, .Min = 1, .Max = 100000000};
    static constexpr TIntSpec BufferSizeProperty{.Name = "BufferSize", .Default = 1024, .Min = 1, .Max = 1 << 20};
    static constexpr TBoolSpec StreamingProperty{.Name = "Streaming", .Default = false};

    TSNOggPlayer();
    ~TSNOggPlayer() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TDGPNBinarySourcePin& GetOutputPin() { return FOutputPin; }
    TPNInt64TimeRangedSourcePin& GetProgressPin() { return FProgressPin; }
    TPNClockMultiSinkPin& GetClockInputPin() { return FClockInputPin; }
    TSNAudioPlayerSegment& GetPlaySegment() { return FPlaySegment; }

    std::string GetFileName() const;
    // A change starts playing when the player is enabled and its output
    // connected (a file that plays goes on; the new name is read at the
    // next open); on a disabled player it stops the stream.
    void SetFileName(const std::string& AValue);
    bool GetRestartOnNewFile() const;
    void SetRestartOnNewFile(bool AValue);
    uint32_t GetPumpPriority() const;
    void SetPumpPriority(uint32_t AValue);
    bool GetEnabled() const;
    // false stops a playing stream; true after false starts it again.
    void SetEnabled(bool AValue);
    bool GetPaused() const;
    void SetPaused(bool AValue);
    bool GetLoop() const;
    void SetLoop(bool AValue);
    TDGClockSource GetClockSource() const;
    void SetClockSource(TDGClockSource AValue);
    int32_t GetRate() const;
    void SetRate(int32_t AValue);
    int32_t GetBufferSize() const;
    void SetBufferSize(int32_t AValue);
    bool GetStreaming() const;
    void SetStreaming(bool AValue);

    void Start() { SetEnabled(true); }
    void Stop() { SetEnabled(false); }
    void Pause() { SetPaused(true); }
    void Resume() { SetPaused(false); }
    // One packet now, when the clock is external or the player paused.
    void Pump();
    bool Open();
    void Close();
    bool GetOpened() const { return FOpened; }
    void SetOpened(bool AValue);
    bool ClockIsExternal() const;

    void StartSource() override;
    void StopSource() override;
    bool IsSourceRunning() const override { return FRunning; }
    // Whether the player drives the chain (false when a downstream
    // component won the pump negotiation of the last start).
    bool GetIsPump() const { return FIsPump; }

    // Packets of the file's first logical stream, and the next one to send.
    int64_t GetSamplesCount();
    int64_t GetCurrentSample();
    void SetCurrentSample(int64_t AValue);
    // The same in 100-nanosecond units of the packet clock.
    int64_t Get_CurrentTime();
    int64_t GetDurationTime();

    void SetOnProgress(TCMProgressEvent AEvent);
    // Main thread, after the stream ended.
    void SetOnStop(TNotifyEvent AEvent);

private:
    struct TReader;
    // Called with FLock held.
    bool IntOpen();
    void IntClose();
    void ResetPosition();
    // Returns whether a packet went out.
    bool IntPump();
    bool SourceDispatch(const IPNNotifyOperationPtr& AOperation);
    // Ends the stream now (send-stop, close); AEnd: the end of the range
    // or file was reached.
    void MainIntStop(bool AEnd);
    // From a pump: hands the end of the stream to the main thread
    // (DoStop), where the clock is released and Enabled cleared.
    void IntStop();
    void DoStop();
    void Tick();
    bool SinkDispatch(const IPNNotifyOperationPtr& AOperation);

    TDGPNBinarySourcePin FOutputPin;
    TPNInt64TimeRangedSourcePin FProgressPin;
    TPNClockMultiSinkPin FClockInputPin;
    TSNAudioPlayerSegment FPlaySegment;
    std::string FFileName = FileNameProperty.Default;
    bool FRestartOnNewFile = RestartOnNewFileProperty.Default;
    uint32_t FPumpPriority = static_cast<uint32_t>(PumpPriorityProperty.Default);
    bool FEnabled = EnabledProperty.Default;
    bool FPaused = PausedProperty.Default;
    bool FLoop = LoopProperty.Default;
    TDGClockSource FClockSource = ClockSourceProperty.Default;
    int32_t FRate = static_cast<int32_t>(RateProperty.Default);
    int32_t FBufferSize = static_cast<int32_t>(BufferSizeProperty.Default);
    bool FStreaming = StreamingProperty.Default;

    int64_t FFrameDelay = 0;
    int64_t FStartSample = 0;
    int64_t FStopSample = -1;
    int64_t FSample = 0;
    int64_t FLength = 0;
    std::atomic<bool> FOpened{false};
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FIsPump{true};
    // The component that claimed the pump role (weak), and the last
    // master-pump request served, to drop a request delivered twice.
    TPersistent* FMasterPump = nullptr;
    std::weak_ptr<IPNNotifyOperation> FLastOperation;
    bool FFirstRequest = true;
    // Master-pump requests refused while paused, served at the resume.
    int FPumpCounter = 0;
    std::unique_ptr<TReader> FReader;
    std::shared_ptr<const TCMProgressEvent> FOnProgress;
    std::shared_ptr<const TNotifyEvent> FOnStop;
    TSNMainThreadNotify FProgressNotify;
    TSNMainThreadNotify FStopNotify;
    // A DoStop is queued (it holds virtual time), and whether it still
    // has a stream to end (a direct stop meanwhile takes that over).
    bool FStopPosted = false;
    bool FStopPending = false;
    // Last member: destroyed (and stopped) first.
    std::unique_ptr<TDGClockGen> FClock;
};

namespace SNOggPlayer {
void RegisterPkg();
} // namespace SNOggPlayer

SN_API_END
} // namespace Sonorix
