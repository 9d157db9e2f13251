// SPDX-License-Identifier: MIT
// Base of the single-stream filters: one audio input, one audio output.
#pragma once

#include "SNExport.h"

#include "CVComponent.h"
#include "CVThreading.h"
#include "DGThreading.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"

#include <atomic>
#include <memory>

namespace Sonorix {
SN_API_BEGIN

// A filter receives a stream on InputPin and sends its result on OutputPin.
//
// The stream's start reaches AudioStreamStart (FWaveFormat is then set and
// the start has gone on); each buffer reaches FilterInternalOperation with a
// writable copy of the input in AOutBuffer; the stop reaches StreamStop. A
// disabled filter passes buffers on unchanged.
//
// A descendant whose step can take the input itself as AOutBuffer says so in
// ProcessesInPlace; then a buffer that no one else holds (neither its
// operation nor the buffer nor its samples are referenced elsewhere) is
// written in place and sent on in the same operation instead of copied. With Threading enabled, every
// operation arriving at the input is processed on a thread of the filter's
// own, in arrival order.
//
// Descendants override FilterInternalOperation, and where they keep
// per-stream state AudioStreamStart and StreamStop, calling the inherited
// operation first.
class TSNCommonFilter : public TLockComponent {
public:
    static constexpr TBoolSpec EnabledProperty{.Name = "Enabled", .Default = true};

    TSNCommonFilter();
    ~TSNCommonFilter() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    TSNPNAudioSourcePin& GetOutputPin() { return FOutputPin; }

    bool GetEnabled() const;
    virtual void SetEnabled(bool AValue);
    TDGThreading& GetThreading() { return FThreading; }
    void SetThreading(const TDGThreading& AValue) { FThreading.Assign(AValue); }

    // Whether a stream runs (between its start and its stop).
    bool IsRunning() const { return FRunning.load(); }

protected:
    // The zeroed history of a delaying filter: AFrames frames of AFormat.
    // Null when AFrames exceeds AMaxFrames or the memory is not there; then
    // the refusal, naming ADelay ("Delay 9000000 frames") and the limit, goes
    // to ReportBackgroundError, and the caller lets the stream pass unchanged.
    ISNAudioBufferPtr CreateHistory(const WAVEFORMATEXTENSIBLE& AFormat, int64_t AFrames, int64_t AMaxFrames,
                                    const std::string& ADelay);
    // Whether a delaying filter's history can hold AFormat's frames: 8, 16, 24
    // or 32 bits, 1 to 32 channels.
    static bool IsHistoryLayout(const WAVEFORMATEXTENSIBLE& AFormat);
    // The refusal of a delay beyond AMaxFrames, as CreateHistory reports it.
    void ReportDelayRefused(const std::string& ADelay, int64_t AMaxFrames);
    // Operations arriving at the input pin, on the delivering thread.
    virtual bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Operations arriving at the output pin from downstream.
    virtual bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Whether operations are processed on the delivering thread.
    virtual bool CanInline();
    // Work of the processing thread: processes the queued operations.
    virtual void FilterPump();
    virtual void CreateProcessingThread();
    // One input operation, on the processing thread or the delivering one.
    virtual bool IntSingleOperation(const IPNNotifyOperationPtr& AOperation);
    virtual bool IntSingleBufferOperation(const IPNNotifyOperationPtr& AOperation);
    // A buffer: passed on unchanged when disabled, else IntBufferOperation.
    virtual bool BufferOperation(const IPNNotifyOperationPtr& AOperation);
    virtual bool IntBufferOperation(const ISNAudioBufferPtr& AInBuffer);
    // Runs FilterInternalOperation with FInputLock held.
    virtual void InternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                   bool& ASendOutputData);
    // The processing step. On entry AOutBuffer is a copy of AInBuffer that
    // may be written, and ASendOutputData is true.
    virtual void FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                         bool& ASendOutputData);
    // True when FilterInternalOperation gives the same result with AOutBuffer
    // being AInBuffer: it reads no input sample after writing an output
    // sample at or before it, and does not resize AOutBuffer.
    virtual bool ProcessesInPlace() const { return false; }
    // Whether the result of a buffer is wanted downstream.
    virtual bool NeedsOutput();
    virtual void StreamStart(const TPNStartWaveOperation& AStartOperation);
    // Sets FWaveFormat and sends the start on.
    virtual void AudioStreamStart(const TPNStartWaveOperation& AStartOperation);
    // Clears the running flag and sends the stop on.
    virtual void StreamStop();
    virtual void EnabledChanged();
    // Pump negotiation: by default every step is passed on.
    virtual bool MasterPump(const IPNNotifyOperationPtr& AOperation);
    virtual bool CanStart();
    virtual bool PumpRequest(const IPNNotifyOperationPtr& AOperation);
    virtual bool StartPump(const IPNNotifyOperationPtr& AOperation);
    virtual bool OutputPinsNotify(const IPNNotifyOperationPtr& AOperation);
    virtual TPNSourcePin& GetOutputPinRef() { return FOutputPin; }

    std::shared_ptr<TBasicLockChangeNotifyLock> FInputLock;
    std::shared_ptr<TBasicLockChangeNotifyLock> FOutputLock;
    // The running stream's format (set before AudioStreamStart of a
    // descendant continues after its inherited call).
    WAVEFORMATEXTENSIBLE FWaveFormat{};
    // Audio time of the stream in 100-nanosecond units, advanced per buffer.
    int64_t FCurrentTime = 0;
    bool FStartSent = false;
    std::atomic<bool> FRunning{false};

private:
    void ThreadingChanged();
    void ReleaseProcessingThread();

    TSNPNAudioSinkPin FInputPin;
    TSNPNAudioSourcePin FOutputPin;
    // Read per buffer without a lock; set under FOutputLock.
    std::atomic<bool> FEnabled{EnabledProperty.Default};
    TDGThreading FThreading;
    TPNOperationList FQueue;
    std::unique_ptr<TProcessingThread> FFilterThread;
    std::mutex FThreadMutex;
    int64_t FFramesDone = 0;
};

SN_API_END
} // namespace Sonorix
