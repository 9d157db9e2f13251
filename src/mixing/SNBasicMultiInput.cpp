// SPDX-License-Identifier: MIT
#include "SNMultiInput.h"

#include "DGClock.h"
#include "SNMultiInputFormat.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Sonorix {

using MultiInput::CMaxChannels;
using MultiInput::UsableFormat;
using MultiInput::ValidBits;

// --- TSNBasicMultiInput --------------------------------------------------------

TSNBasicMultiInput::TSNBasicMultiInput()
    : FInputLock(std::make_shared<TBasicLockChangeNotifyLock>()),
      FOutputLock(std::make_shared<TBasicLockChangeNotifyLock>()), FThreading([this] { ThreadingChanged(); })
{
}

TSNBasicMultiInput::~TSNBasicMultiInput()
{
    std::vector<std::unique_ptr<TProcessingThread>> LThreads;
    {
        std::lock_guard LGuard(FThreadMutex);
        LThreads = std::move(FRetiredThreads);
        LThreads.push_back(std::move(FFilterThread));
        LThreads.push_back(std::move(FMasterPumpThread));
    }
    for (auto& LThread : LThreads)
        if (LThread)
            LThread->Release();
}

const TClassDescription& TSNBasicMultiInput::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNBasicMultiInput";
        LClass.Unit = "SNMultiInput";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {DescribeObject("Threading", &TSNBasicMultiInput::GetThreading)};
        return LClass;
    }();
    return LDescription;
}

TSNBasicMultiInput::TComponentAccess TSNBasicMultiInput::LockComponent()
{
    TComponentAccess LAccess;
    LAccess.Input = FInputLock->WriteLock();
    LAccess.Output = FOutputLock->WriteLock();
    return LAccess;
}

bool TSNBasicMultiInput::IsRunning() const
{
    return FInputLock->Getter(FRunning);
}

double TSNBasicMultiInput::GetCalculatedRate() const
{
    return FInputLock->Getter(FCalculatedRate);
}

WAVEFORMATEXTENSIBLE TSNBasicMultiInput::GetRunningWaveFormat() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return RunningWaveFormat();
}

WAVEFORMATEXTENSIBLE TSNBasicMultiInput::RunningWaveFormat() const
{
    return MakeWaveFormat(FRunningRate, FRunningBits, FRunningChannels, FRunningChannelMask);
}

std::vector<TSNPNQueuedAudioSinkPin*> TSNBasicMultiInput::GetAllInputPins() const
{
    return FInputLock->Getter(FAllInputPins);
}

uint32_t TSNBasicMultiInput::GetOutputBufferSize()
{
    return 1024;
}

std::unique_ptr<TPNPin> TSNBasicMultiInput::QueuedPinCreateFunction(int AIndex)
{
    auto LPin = std::make_unique<TSNPNQueuedAudioSinkPin>(*this, "InputPins[" + std::to_string(AIndex) + "]");
    LPin->SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SinkDispatch(APin, AOperation);
    });
    TLockAccess LAccess = FInputLock->WriteLock();
    FAllInputPins.push_back(LPin.get());
    return LPin;
}

void TSNBasicMultiInput::QueuedPinDestroyFunction(TPNPin& APin)
{
    TLockAccess LAccess = FInputLock->WriteLock();
    auto* LPin = static_cast<TSNPNQueuedAudioSinkPin*>(&APin);
    // Release a producer that may wait for room in this pin's queue.
    LPin->Flush();
    std::erase(FAllInputPins, LPin);
}

// --- Input side ------------------------------------------------------------

bool TSNBasicMultiInput::SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    auto& LPin = static_cast<TSNPNQueuedAudioSinkPin&>(APin);
    bool LResult = true;
    {
        TLockAccess LAccess = FInputLock->WriteLock();
        if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
            if (!UsableFormat(LStart->WaveFormat)) {
                ReportBackgroundError(LPin.GetPath() + ": refused a stream of " +
                                      DescribeWaveFormat(LStart->WaveFormat));
                LPin.FIgnored = true;
                return false;
            }
            LPin.FIgnored = LStart->StartFlag;
            LPin.StartRate(LStart->WaveFormat);
            CalculateRate();
        } else if (OperationAs<TPNActivateStreamOperation>(AOperation)) {
            LPin.FIgnored = false;
        } else if (OperationAs<TPNStartPumpOperation>(AOperation)) {
            if (FRunning)
                LResult = OutputsNotify(AOperation);
            else
                FPumpStarted = true;
        } else if (OperationAs<TPNStopOperation>(AOperation)) {
            LPin.FIgnored = true;
            // The pin stops before GetShouldStop looks, so that a rule
            // reading "no longer streaming" sees this input's end.
            InputStopped(LPin);
            GetShouldStop();
            AttemptStop();
        } else if (OperationAs<TPNFileEndNoStopOperation>(AOperation)) {
            LPin.FIgnored = true;
            GetShouldStop();
            AttemptStop();
        } else if (auto* LSupplied = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
            ISNAudioBufferPtr LBuffer = LSupplied->AudioBuffer;
            if (!LBuffer && LSupplied->Block && LPin.FRunning)
                LBuffer = TSNAudioBuffer::CreateUniversal(LPin.FWaveFormat, LSupplied->Block);
            // A buffer before any start has no format to be read in.
            if (!LPin.FRunning)
                LBuffer.reset();
            LAccess.Release();
            if (LBuffer)
                LPin.AddBuffer(std::move(LBuffer), [this] { MainTrySend(); });
        } else if (OperationAs<TPNIgnoreStreamOperation>(AOperation)) {
            LPin.FIgnored = true;
            LResult = OutputsNotify(AOperation);
        } else if (OperationAs<TPNDGResumeOperation>(AOperation)) {
            LPin.FIgnored = false;
            if (!FRunning)
                CalculateRate();
        } else if (OperationAs<TPNDGPauseOperation>(AOperation)) {
            LPin.FIgnored = true;
        } else if (OperationAs<TPNPumpRequestOperation>(AOperation)) {
            MasterPumpRequest(AOperation);
            if (PassTroughMasterPump())
                LResult = OutputsNotify(AOperation);
        } else {
            LResult = OutputsNotify(AOperation);
        }
    }
    ReleaseRetiredThreads();
    return LResult;
}

bool TSNBasicMultiInput::GetShouldStop()
{
    return false;
}

bool TSNBasicMultiInput::GetStopOnNoStreams()
{
    return true;
}

void TSNBasicMultiInput::InputStopped(TSNPNQueuedAudioSinkPin& APin)
{
    if (GetStopOnNoStreams())
        APin.StopFull();
    else
        APin.Stop();
}

bool TSNBasicMultiInput::PassTroughMasterPump()
{
    return false;
}

bool TSNBasicMultiInput::CalculateSendOutput()
{
    return false;
}

void TSNBasicMultiInput::StreamStarted() {}

void TSNBasicMultiInput::UsePresetCalculateRate()
{
    FRunningChannels = 0;
    FRunningBits = 0;
    FRunningChannelMask = 0;
}

bool TSNBasicMultiInput::CalculateRateInt()
{
    // Called with FInputLock held.
    UsePresetCalculateRate();
    if (!FRateCalculated) {
        FCalculatedRate = 0;
        for (TSNPNQueuedAudioSinkPin* LPin : std::vector(FAllInputPins))
            if (!LPin->IsStartReady())
                return false;
        uint32_t LChannels = 0;
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins) {
            if (!LPin->IsConnected() || !LPin->FRunning)
                continue;
            LChannels += LPin->FWaveFormat.Format.nChannels;
            FRunningBits = std::max<uint32_t>(FRunningBits, LPin->FWaveFormat.Format.wBitsPerSample);
            FCalculatedRate = std::max<double>(FCalculatedRate, LPin->FWaveFormat.Format.nSamplesPerSec);
        }
        if (FRunningChannels < LChannels)
            FRunningChannels = LChannels;
        // The audio buffer holds at most 32 channels of 8, 16, 24 or 32 bits.
        FRunningChannels = std::clamp<uint32_t>(FRunningChannels, 1, CMaxChannels);
        FRunningBits = ValidBits(FRunningBits);
        FRateCalculated = true;
    }
    SetSampleRates();
    return true;
}

void TSNBasicMultiInput::SetSampleRates()
{
    if (!FRateCalculated)
        return;
    for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins) {
        if (LPin->IsConnected() && LPin->FRunning)
            LPin->CalculateSampleCount(GetOutputBufferSize(), static_cast<float>(FCalculatedRate));
        else if (!LPin->IsConnected() || !WaitsForConnectedInputs())
            LPin->FDelayed = true;
    }
}

void TSNBasicMultiInput::CalculateRate()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FRunning) {
        SetSampleRates();
        return;
    }
    struct TInside {
        bool& Flag;
        explicit TInside(bool& AFlag) : Flag(AFlag) { Flag = true; }
        ~TInside() { Flag = false; }
    } LInside(FInCalculateRate);
    if (!CalculateRateInt())
        return;
    FRunningRate = static_cast<uint32_t>(std::lround(FCalculatedRate));
    if (FRunning)
        return;
    OutputsNotify(std::make_shared<TPNStartWaveOperation>(RunningWaveFormat()));
    FRunning = true;
    if (FPumpStarted)
        OutputsNotify(std::make_shared<TPNPumpRequestOperation>(this, ptNone, 0));
    StreamStarted();
    FPumpStarted = false;
    if (!FMasterPump && FThreading.GetEnabled() && !GetDesignMode()) {
        std::lock_guard LGuard(FThreadMutex);
        if (!FFilterThread)
            FFilterThread = std::make_unique<TProcessingThread>([this] { TrySend(); }, FThreading.GetPriority());
    }
}

void TSNBasicMultiInput::MainTrySend()
{
    {
        std::lock_guard LGuard(FThreadMutex);
        if (FFilterThread) {
            FFilterThread->WakeUp();
            return;
        }
    }
    TrySend();
}

void TSNBasicMultiInput::TrySend()
{
    TComponentAccess LAccess = LockComponent();
    IntTrySend();
}

TSNBasicMultiInput::TTrySendResult TSNBasicMultiInput::IntTrySend()
{
    TTrySendResult LResult;
    if (!FRunning)
        return LResult;
    // 301 passes at most: one call drains at most 301 output buffers.
    for (int LPass = 0; LPass < 301; ++LPass) {
        int LNotReady = 0;
        int LCounted = 0;
        bool LAnyFull = false;
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins) {
            if (!LPin->IsConnected() || LPin->FIgnored)
                continue;
            if (LPin->FRunning) {
                if (!LPin->FDelayed)
                    ++LCounted;
                if (LPin->IsReady()) {
                    if (LPin->IsBufferQueueFull())
                        LAnyFull = true;
                } else {
                    ++LNotReady;
                    if (!LPin->GetAllowUnderfeed())
                        return LResult;
                }
            } else if (!LPin->FDelayed && !LPin->GetEnabled()) {
                return LResult;
            }
        }
        if (!LAnyFull && LNotReady > 0)
            return LResult;
        if (LNotReady == LCounted) {
            LResult.NothingCounted = LPass == 0 && LCounted == 0;
            return LResult;
        }
        if (!CalculateSendOutput())
            return LResult;
        ++LResult.Sent;
    }
    return LResult;
}

// --- Stopping --------------------------------------------------------------

void TSNBasicMultiInput::AttemptStop()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
        if (LPin->FRunning)
            return;
    IntStop();
}

void TSNBasicMultiInput::IntStop()
{
    TComponentAccess LAccess = LockComponent();
    {
        // The thread may be waiting for the lock held here: it is released
        // once the lock is given up (ReleaseRetiredThreads).
        std::lock_guard LGuard(FThreadMutex);
        if (FFilterThread)
            FRetiredThreads.push_back(std::move(FFilterThread));
    }
    FRunning = false;
    FRateCalculated = false;
    FMasterPump = nullptr;
}

void TSNBasicMultiInput::ReleaseRetiredThreads()
{
    std::vector<std::unique_ptr<TProcessingThread>> LThreads;
    {
        std::lock_guard LGuard(FThreadMutex);
        LThreads = std::move(FRetiredThreads);
        FRetiredThreads.clear();
    }
    for (auto& LThread : LThreads)
        LThread->Release();
}

void TSNBasicMultiInput::ThreadingChanged()
{
    std::lock_guard LGuard(FThreadMutex);
    if (FFilterThread)
        FFilterThread->SetPriority(FThreading.GetPriority());
}

// --- Output side and pumping -------------------------------------------------

bool TSNBasicMultiInput::SourceDispatch(TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNMasterPumpOperation>(AOperation)) {
        MasterPump(AOperation);
        return true;
    }
    // Sent upstream without our locks: an upstream component may answer at
    // once by sending down into SinkDispatch on this thread.
    std::vector<TSNPNQueuedAudioSinkPin*> LPins;
    {
        // The pin list is the input side's: FInputLock alone, never after
        // FOutputLock (the component lock takes the input lock first).
        TLockAccess LInput = FInputLock->ReadLock();
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
            if (LPin->IsConnected())
                LPins.push_back(LPin);
    }
    bool LResult = false;
    for (TSNPNQueuedAudioSinkPin* LPin : LPins)
        LResult = LPin->Notify(AOperation);
    if (LPins.empty() && OperationAs<TPNStartOperation>(AOperation))
        LResult = OutputsNotify(std::make_shared<TPNPumpRequestOperation>(this, ptNone, 0));
    return LResult;
}

void TSNBasicMultiInput::MasterPumpRequest(const IPNNotifyOperationPtr& AOperation)
{
    auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation);
    TPersistent* LPump = LRequest->PumpObject;
    OutputsNotify(AOperation);
    // A downstream component took the pump role on the way.
    if (LRequest->PumpObject != LPump)
        FMasterPump = LRequest->PumpObject;
}

void TSNBasicMultiInput::MasterPump(const IPNNotifyOperationPtr& AOperation)
{
    // The ticks are counted under the lock and passed upstream without it:
    // an upstream source answers a tick by sending a buffer, whose push may
    // wait for room that only a send of ours can make.
    std::vector<std::pair<TSNPNQueuedAudioSinkPin*, int>> LSends;
    bool LPost = false;
    {
        TComponentAccess LAccess = LockComponent();
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins)
            if (int LCount = LPin->MasterPumpCount(FCalculatedRate); LCount > 0)
                LSends.emplace_back(LPin, LCount);
        LPost = FMasterPump != nullptr;
    }
    for (auto& [LPin, LCount] : LSends)
        for (int I = 0; I < LCount; ++I)
            LPin->Notify(AOperation);
    if (LPost && !GetDesignMode()) {
        std::lock_guard LGuard(FThreadMutex);
        if (!FMasterPumpThread)
            FMasterPumpThread = std::make_unique<TProcessingThread>([this] { TrySend(); }, FThreading.GetPriority());
        FMasterPumpThread->WakeUp();
    }
}

} // namespace Sonorix
