// SPDX-License-Identifier: MIT
#include "SNCommonFilter.h"

#include <new>
#include <string>

namespace Sonorix {

TSNCommonFilter::TSNCommonFilter()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()),
      FOutputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FInputPin(this, "InputPin"),
      FOutputPin(this, "OutputPin"), FThreading([this] { ThreadingChanged(); })
{
    FInputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SinkDispatch(APin, AOperation);
    });
    FOutputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
}

TSNCommonFilter::~TSNCommonFilter()
{
    ReleaseProcessingThread();
    FInputPin.DisconnectAll();
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNCommonFilter::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNCommonFilter";
        LClass.Unit = "SNCommonFilter";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("InputPin", "TSNPNAudioSinkPin", &TSNCommonFilter::GetInputPin).AsPrimary(),
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &TSNCommonFilter::GetOutputPin).AsPrimary(),
            DescribeProperty(EnabledProperty, &TSNCommonFilter::GetEnabled, &TSNCommonFilter::SetEnabled),
            DescribeObject("Threading", &TSNCommonFilter::GetThreading),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNCommonFilter::GetEnabled() const
{
    return FEnabled.load(std::memory_order_acquire);
}

void TSNCommonFilter::SetEnabled(bool AValue)
{
    {
        // Serialises setters so that their notifications follow the order of the values.
        TLockAccess LAccess = FOutputLock->WriteLock();
        if (FEnabled.exchange(AValue, std::memory_order_acq_rel) == AValue)
            return;
    }
    FOutputLock->ChangeNotify();
    EnabledChanged();
}

void TSNCommonFilter::EnabledChanged() {}

void TSNCommonFilter::ReportDelayRefused(const std::string& ADelay, int64_t AMaxFrames)
{
    ReportBackgroundError(GetDisplayPath() + ": " + ADelay + " is longer than the longest history, " +
                          std::to_string(AMaxFrames) + " frames (" + std::to_string(AMaxFrames / 44100) +
                          " s at 44.1 kHz); the stream passes unchanged");
}

bool TSNCommonFilter::IsHistoryLayout(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const uint32_t LBits = AFormat.Format.wBitsPerSample;
    const uint32_t LChannels = AFormat.Format.nChannels;
    return (LBits == 8 || LBits == 16 || LBits == 24 || LBits == 32) && LChannels >= 1 && LChannels <= 32;
}

ISNAudioBufferPtr TSNCommonFilter::CreateHistory(const WAVEFORMATEXTENSIBLE& AFormat, int64_t AFrames,
                                                 int64_t AMaxFrames, const std::string& ADelay)
{
    if (AFrames > AMaxFrames) {
        ReportDelayRefused(ADelay, AMaxFrames);
        return nullptr;
    }
    try {
        ISNAudioBufferPtr LHistory =
            TSNAudioBuffer::CreateSizeEx(AFormat.Format.nSamplesPerSec, AFormat.Format.wBitsPerSample,
                                         AFormat.Format.nChannels, static_cast<uint32_t>(AFrames), AFormat.dwChannelMask);
        LHistory->Zero();
        return LHistory;
    } catch (const std::bad_alloc&) {
        ReportBackgroundError(GetDisplayPath() + ": cannot allocate the history of " + ADelay + " (" +
                              std::to_string(AFrames * (AFormat.Format.wBitsPerSample / 8) * AFormat.Format.nChannels) +
                              " bytes); the stream passes unchanged");
        return nullptr;
    }
}

// --- Input side ------------------------------------------------------------

bool TSNCommonFilter::SinkDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    // Pump negotiation and queries are answered at once: the sender reads
    // the answer written into the operation.
    if (CanInline() || OperationAs<TPNPumpRequestOperation>(AOperation) ||
        OperationAs<TPNQueryStreamOperation>(AOperation))
        return IntSingleOperation(AOperation);
    {
        std::lock_guard LGuard(FThreadMutex);
        if (!FFilterThread)
            CreateProcessingThread();
        FQueue.Append(AOperation);
        FFilterThread->WakeUp();
    }
    return true;
}

bool TSNCommonFilter::CanInline()
{
    return GetDesignMode() || !FThreading.GetEnabled();
}

void TSNCommonFilter::CreateProcessingThread()
{
    // Called with FThreadMutex held.
    FFilterThread = std::make_unique<TProcessingThread>([this] { FilterPump(); }, FThreading.GetPriority());
}

void TSNCommonFilter::FilterPump()
{
    while (IPNNotifyOperationPtr LOperation = FQueue.ExtractFirst())
        IntSingleOperation(LOperation);
}

void TSNCommonFilter::ThreadingChanged()
{
    std::unique_ptr<TProcessingThread> LOld;
    {
        std::lock_guard LGuard(FThreadMutex);
        if (!FFilterThread)
            return;
        if (FThreading.GetEnabled()) {
            FFilterThread->SetPriority(FThreading.GetPriority());
            return;
        }
        LOld = std::move(FFilterThread);
    }
    // Threading switched off: the old thread finishes what it has queued
    // before the release returns, so no operation is lost or reordered.
    LOld->WakeUp();
    LOld->Release();
    FilterPump();
}

void TSNCommonFilter::ReleaseProcessingThread()
{
    std::unique_ptr<TProcessingThread> LOld;
    {
        std::lock_guard LGuard(FThreadMutex);
        LOld = std::move(FFilterThread);
    }
    if (LOld)
        LOld->Release();
    FQueue.Clear();
}

bool TSNCommonFilter::IntSingleOperation(const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNSuppliedBufferOperation>(AOperation))
        return IntSingleBufferOperation(AOperation);
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        StreamStart(*LStart);
        return true;
    }
    if (OperationAs<TPNStopOperation>(AOperation)) {
        StreamStop();
        return true;
    }
    if (OperationAs<TPNPumpRequestOperation>(AOperation))
        return PumpRequest(AOperation);
    if (OperationAs<TPNStartPumpOperation>(AOperation))
        return StartPump(AOperation);
    return OutputPinsNotify(AOperation);
}

bool TSNCommonFilter::IntSingleBufferOperation(const IPNNotifyOperationPtr& AOperation)
{
    return BufferOperation(AOperation);
}

bool TSNCommonFilter::BufferOperation(const IPNNotifyOperationPtr& AOperation)
{
    auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation);
    if (!LBuffer->AudioBuffer)
        return false;
    if (!GetEnabled())
        return OutputPinsNotify(AOperation);
    if (!ProcessesInPlace() || !TSNAudioBuffer::IsSoleReference(AOperation))
        return IntBufferOperation(LBuffer->AudioBuffer);
    const ISNAudioBufferPtr& LIn = LBuffer->AudioBuffer;
    ISNAudioBufferPtr LOut = TSNAudioBuffer::MakeWritable(LIn);
    bool LSendOutputData = true;
    InternalOperation(LIn, LOut, LSendOutputData);
    if (!LSendOutputData || !LOut || !NeedsOutput())
        return true;
    if (LOut == LIn) {
        // The same operation goes on, so the next filter finds the buffer
        // as unshared as this one did.
        LOut.reset();
        return OutputPinsNotify(AOperation);
    }
    return OutputPinsNotify(MakePooled<TPNSuppliedBufferOperation>(std::move(LOut)));
}

bool TSNCommonFilter::IntBufferOperation(const ISNAudioBufferPtr& AInBuffer)
{
    ISNAudioBufferPtr LOutBuffer = TSNAudioBuffer::CreateCopy(*AInBuffer);
    bool LSendOutputData = true;
    InternalOperation(AInBuffer, LOutBuffer, LSendOutputData);
    if (LSendOutputData && LOutBuffer && NeedsOutput())
        return OutputPinsNotify(MakePooled<TPNSuppliedBufferOperation>(std::move(LOutBuffer)));
    return true;
}

void TSNCommonFilter::InternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                        bool& ASendOutputData)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    FilterInternalOperation(AInBuffer, AOutBuffer, ASendOutputData);
    if (FWaveFormat.Format.nSamplesPerSec > 0) {
        FFramesDone += AInBuffer->GetSize();
        FCurrentTime = FFramesDone * 10000000 / FWaveFormat.Format.nSamplesPerSec;
    }
}

void TSNCommonFilter::FilterInternalOperation(const ISNAudioBufferPtr& /*AInBuffer*/,
                                              ISNAudioBufferPtr& /*AOutBuffer*/, bool& /*ASendOutputData*/)
{
}

bool TSNCommonFilter::NeedsOutput()
{
    return FOutputPin.IsConnected();
}

void TSNCommonFilter::StreamStart(const TPNStartWaveOperation& AStartOperation)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    FRunning = true;
    FFramesDone = 0;
    FCurrentTime = 0;
    AudioStreamStart(AStartOperation);
}

void TSNCommonFilter::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    FWaveFormat = AStartOperation.WaveFormat;
    OutputPinsNotify(std::make_shared<TPNStartWaveOperation>(FWaveFormat, AStartOperation.StartFlag));
    FStartSent = true;
}

void TSNCommonFilter::StreamStop()
{
    {
        TLockAccess LAccess = FInputLock->WriteLock();
        FRunning = false;
        FStartSent = false;
    }
    OutputPinsNotify(std::make_shared<TPNStopOperation>());
}

bool TSNCommonFilter::OutputPinsNotify(const IPNNotifyOperationPtr& AOperation)
{
    return GetOutputPinRef().Notify(AOperation);
}

bool TSNCommonFilter::PumpRequest(const IPNNotifyOperationPtr& AOperation)
{
    return OutputPinsNotify(AOperation);
}

bool TSNCommonFilter::StartPump(const IPNNotifyOperationPtr& AOperation)
{
    return OutputPinsNotify(AOperation);
}

// --- Output side -----------------------------------------------------------

bool TSNCommonFilter::SourceDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNMasterPumpOperation>(AOperation))
        return MasterPump(AOperation);
    if (OperationAs<TPNStartOperation>(AOperation))
        return CanStart() && FInputPin.Notify(AOperation);
    return FInputPin.Notify(AOperation);
}

bool TSNCommonFilter::MasterPump(const IPNNotifyOperationPtr& AOperation)
{
    return FInputPin.Notify(AOperation);
}

bool TSNCommonFilter::CanStart()
{
    return true;
}

} // namespace Sonorix
