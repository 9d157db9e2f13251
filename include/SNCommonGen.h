// SPDX-License-Identifier: MIT
// Base of the generators: components that produce a stream of their own at
// the pace of a pump.
#pragma once

#include "SNExport.h"

#include "CMMasterPumping.h"
#include "CVComponent.h"
#include "DGBuffers.h"
#include "DGClock.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNAudioFormat.h"
#include "SNStreamSource.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace Sonorix {
SN_API_BEGIN

// A generator sends a stream in the format of AudioFormat on OutputPin, one
// buffer of AudioFormat.BufferSize frames per pump step.
//
// Start (StartSource, a start request from downstream, or Enabled switched
// on): SetRate and StartStream prepare the stream, then IntStart sends the
// start, negotiates the pump and begins pumping. Pump negotiation: a
// TPNPumpRequestOperation claimed by this generator (ptSoftware with
// MasterPumping.Priority, or no claim when MasterPumping.Enabled is clear)
// travels downstream, followed by a TPNStartPumpOperation carrying the
// winner. When the generator is still the pump, it sends the buffer of audio
// time 0 at once and one more per tick of a clock of its own whose period is
// one buffer's duration; otherwise it sends one buffer per
// TPNMasterPumpOperation arriving at OutputPin. Stop sends a
// TPNStopOperation after the last buffer.
//
// Each step creates the output buffer (silent, AudioFormat, BufferSize
// frames) and calls Generate, which normally fills the block buffer with one
// channel of 16-bit samples and calls PopulateAudio. An exception from
// Generate stops the stream and goes to ReportBackgroundError with the
// generator's name; the process goes on.
//
// Enabled clear: StartSource does nothing, and clearing it stops a running
// stream; setting it again starts one. AudioFormat and MasterPumping are read
// at start. Setters run on any thread; Generate runs on the pump's thread
// (the own clock's, or the thread that delivers the master-pump tick).
//
// Descendants override IntStart, SetRate, StartStream and Generate, and
// call StopSource() in their destructor, so that no step runs on a
// half-destroyed object.
//
//   TSNSignalGen LGen;                       // a TSNCommonGen
//   LGen.GetOutputPin().Connect(LAmp.GetInputPin());
//   LGen.StartSource(); ...; LGen.StopSource();
class TSNCommonGen : public TLockComponent, public ISNStreamSource {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    TSNCommonGen();
    ~TSNCommonGen() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }
    TSNAudioFormat& GetAudioFormat() { return FAudioFormat; }
    TCMDefaultEnabledMasterPumping& GetMasterPumping() { return FMasterPumping; }

    bool GetEnabled() const;
    void SetEnabled(bool AValue);

    // ISNStreamSource. StartSource does nothing while a stream runs, while
    // Enabled is clear or in design mode. StopSource may be called from any
    // thread, including the pump's own step.
    void StartSource() override;
    void StopSource() override;
    bool IsSourceRunning() const override;

    // Whether the running (or last) stream is pumped by this generator's own
    // clock rather than by a downstream master pump.
    bool IsPump() const { return FIsPump.load(); }
    // Frames sent in the running (or last) stream.
    uint64_t GetFramesSent() const { return FFramesSent.load(); }
    // Message of the last error that stopped a stream ("" when none).
    std::string GetLastError() const;

protected:
    // Sends the start, negotiates the pump and starts pumping. Overrides
    // reset their per-stream state first, then call the inherited one.
    virtual void IntStart();
    // The stream's sample rate in hertz, before StartStream.
    virtual void SetRate(double ARate);
    // Sizes the block buffer for ABufferSize 16-bit samples. Overrides call
    // the inherited one first.
    virtual void StartStream(int32_t ABufferSize);
    // Fills ASignal (created silent in the stream's format). APopulated
    // (true on entry): send ASignal; AFinished (false on entry): stop the
    // stream after this step. Runs on the pump's thread.
    virtual void Generate(ISNAudioBufferPtr& ASignal, bool& APopulated, bool& AFinished);

    // One channel of 16-bit samples in ABlock into every channel of ASignal,
    // converted to its width (8-bit: (s >> 8) + 128; 24-bit: s << 8; 32-bit:
    // s << 16). Converts min(ASignal's frames, ABlock's samples) frames; the
    // rest of ASignal is left as it is. A null ASignal is created in the
    // stream's format with as many frames as ABlock holds.
    void PopulateAudio(const IDGBlockBufferPtr& ABlock, ISNAudioBufferPtr& ASignal) const;

    // AValue as a 16-bit level; ERangeError naming AProperty and the value
    // when it does not fit.
    static int16_t CheckedInt16(const char* AProperty, int32_t AValue);

    // The block of 16-bit samples that Generate fills; sized by StartStream.
    IDGBlockBufferPtr FBlock;

private:
    enum TState { gsStopped, gsStarting, gsRunning, gsStopping };

    bool SourceDispatch(const IPNNotifyOperationPtr& AOperation);
    // One step: a buffer generated and sent. False when not running.
    bool PumpStep();
    void StopStream();
    void EnabledChanged();

    TSNPNAudioSourcePin FOutputPin;
    TSNAudioFormat FAudioFormat;
    TCMDefaultEnabledMasterPumping FMasterPumping;
    bool FEnabled = EnabledProperty.Default;

    // FStateMutex guards FState, FStopRequested, FStreamNumber and FClock;
    // it is never held across a call out of the component. FPumpMutex is
    // held for one step (generate and send), so a stop waits for the step on
    // its way.
    mutable std::mutex FStateMutex;
    std::recursive_mutex FPumpMutex;
    std::atomic<TState> FState{gsStopped};
    bool FStopRequested = false;
    uint64_t FStreamNumber = 0;
    std::unique_ptr<TDGClockGen> FClock;

    // The running stream; written at start before any step.
    WAVEFORMATEXTENSIBLE FRunningFormat{};
    uint32_t FBufferSize = 0;
    std::atomic<bool> FIsPump{false};
    std::atomic<uint64_t> FFramesSent{0};
    std::string FLastError; // Guarded by FStateMutex.
};

SN_API_END
} // namespace Sonorix
