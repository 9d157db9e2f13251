// SPDX-License-Identifier: MIT
// Base of the file players: a file name, an audio output, a clock that pumps
// one buffer per tick, looping, pausing, and positions in samples and time.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "CVMainThreadNotify.h"
#include "DGClock.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNStreamSource.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// Event: the player has reached ASample of ASamplesCount (both in sample
// frames; the count is 0 when the file does not state its length).
using TSNPlayerPositionEvent =
    std::function<void(TPersistent& ASender, int64_t ASample, int64_t ASamplesCount)>;

// A player opens FileName (IntOpen), sends the stream's start (IntStart) and
// then one buffer of BufferSize frames per clock tick (IntPump), until the end
// of the file; with Loop it starts over instead of stopping. Paused holds the
// stream (ticks send nothing). The clock is a TDGClockGen, so the player runs
// in virtual time as well as in real time.
//
// Times are in 100-nanosecond units. Position setters may be called while
// playing, from any thread.
//
// OnPosition reports the position after every pump on the main thread; when
// the main thread falls behind, only the latest undelivered position is
// shown. Nothing is posted while no handler is assigned.
class TSNBasicCommonPlayer : public TLockComponent, public ISNStreamSource {
public:
    static constexpr TStringSpec FileNameProperty{
        .Name = "FileName", .Default = "", .FileFilter = "All files (*.*)|*.*", .EditorEntry = "Edit &File Name ..."};
    static constexpr TBoolSpec LoopProperty{.Name = "Loop", .Default = false};
    static constexpr TBoolSpec PausedProperty{.Name = "Paused", .Default = false};
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};
    // Frames per buffer; with the file's rate it sets the pump period.
    static constexpr TIntSpec BufferSizeProperty{
        .Name = "BufferSize", .Default = 1024, .Min = 16, .Max = 1 << 20, .DesignMin = 64, .DesignMax = 65536};

    TSNBasicCommonPlayer();
    ~TSNBasicCommonPlayer() override;
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    std::string GetFileName() const;
    // Closes an open file (not while playing: then from the next start on).
    void SetFileName(const std::string& AValue);
    bool GetLoop() const;
    void SetLoop(bool AValue);
    bool GetPaused() const;
    void SetPaused(bool AValue);
    bool GetEnabled() const;
    void SetEnabled(bool AValue);
    int32_t GetBufferSize() const;
    void SetBufferSize(int32_t AValue);

    // Opens the file (raising the component's errors); true when open.
    bool Open();
    void Close();
    bool IsOpen() const { return FOpen; }

    void StartSource() override;
    void StopSource() override;
    bool IsSourceRunning() const override { return FRunning; }

    virtual int64_t GetSamplesCount();
    virtual int64_t GetCurrentSample();
    virtual void SetCurrentSample(int64_t AValue);
    virtual int64_t Get_CurrentTime();
    virtual void Set_CurrentTime(int64_t AValue);
    virtual int64_t GetDurationTime();
    // The file's sample rate (0 while closed).
    virtual uint32_t GetSampleRate() { return 0; }

    void SetOnPosition(TSNPlayerPositionEvent AEvent);

protected:
    // Called with FLock held. IntOpen returns whether the file is open.
    virtual bool IntOpen() = 0;
    virtual void IntClose() = 0;
    // Sends the stream's start.
    virtual void IntStart() = 0;
    // One tick: sends a buffer; calls EndOfFile at the end.
    virtual void IntPump() = 0;

    // The pump period in 100-nanosecond units (set by IntOpen).
    void SetPumpInterval(int64_t AInterval) { FPumpInterval = AInterval; }
    // At the end of the file: starts over (Loop, unless ACanLoop is false:
    // a pass that gave no audio would start over for ever) or ends the stream.
    void EndOfFile(bool ACanLoop = true);
    // Starts over from the first sample.
    virtual void Restart();

    TSNPNAudioSourcePin FOutputPin;

private:
    void Tick();
    void FinishStream();
    void NotifyPosition();

    std::string FFileName = FileNameProperty.Default;
    bool FLoop = LoopProperty.Default;
    bool FPaused = PausedProperty.Default;
    bool FEnabled = EnabledProperty.Default;
    int32_t FBufferSize = static_cast<int32_t>(BufferSizeProperty.Default);
    std::atomic<bool> FOpen{false};
    std::atomic<bool> FRunning{false};
    std::atomic<bool> FEnded{false};
    int64_t FPumpInterval = DGTimeUnitsPerSecond / 40;
    std::shared_ptr<const TSNPlayerPositionEvent> FOnPosition;
    TSNMainThreadNotify FPositionNotify;
    // Last member: destroyed (and stopped) first.
    std::unique_ptr<TDGClockGen> FClock;
};

SN_API_END
} // namespace Sonorix
