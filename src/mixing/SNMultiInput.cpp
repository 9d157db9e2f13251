// SPDX-License-Identifier: MIT
#include "SNMultiInput.h"

#include "DGClock.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace Sonorix {

namespace {

// Widths the audio buffer knows; others are taken as the next one up.
uint32_t ValidBits(uint32_t ABits)
{
    if (ABits <= 8)
        return 8;
    if (ABits <= 16)
        return 16;
    if (ABits <= 24)
        return 24;
    return 32;
}

constexpr uint32_t CMaxChannels = 32;

bool UsableFormat(const WAVEFORMATEXTENSIBLE& AFormat)
{
    const WAVEFORMATEX& LFormat = AFormat.Format;
    return LFormat.nChannels >= 1 && LFormat.nChannels <= CMaxChannels && LFormat.nSamplesPerSec > 0 &&
           (LFormat.wBitsPerSample == 8 || LFormat.wBitsPerSample == 16 || LFormat.wBitsPerSample == 24 ||
            LFormat.wBitsPerSample == 32);
}

uint32_t ChannelMaskOf(const WAVEFORMATEXTENSIBLE& AFormat)
{
    return AFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? AFormat.dwChannelMask : 0;
}

// Nearest sample: position p advances by the size ratio per target frame; a
// narrower source feeds the extra channels with its last one.
void StretchFrames(const ISNAudioBuffer& ASource, ISNAudioBuffer& ATarget, uint32_t ATargetFrames)
{
    const uint32_t LSourceLast = ASource.GetSize() - 1;
    const uint32_t LSourceLastChannel = ASource.GetChannels() - 1;
    const uint32_t LBytes = ATarget.GetBitsPerSample() / 8;
    const uint32_t LTargetStep = ATarget.GetDataStep();
    const uint32_t LSourceStep = ASource.GetDataStep();
    const uint32_t LChannels = ATarget.GetChannels();
    const double LStep = static_cast<double>(ASource.GetSize()) / static_cast<double>(ATargetFrames);
    const uint8_t* LSource = ASource.ByteRead();
    uint8_t* LDest = ATarget.ByteWrite();
    double LPosition = 0.0;
    for (uint32_t I = 0; I < ATargetFrames; ++I, LPosition += LStep) {
        const uint32_t LIndex = std::min(static_cast<uint32_t>(std::nearbyint(LPosition)), LSourceLast);
        const uint8_t* LFrame = LSource + size_t{LIndex} * LSourceStep;
        uint8_t* LOut = LDest + size_t{I} * LTargetStep;
        for (uint32_t C = 0; C < LChannels; ++C)
            std::memcpy(LOut + size_t{C} * LBytes, LFrame + size_t{std::min(C, LSourceLastChannel)} * LBytes, LBytes);
    }
}

} // namespace

// --- TSNSamplesQueue ---------------------------------------------------------

// A producer waiting for room looks this often whether its clock was stopped.
constexpr int CPushWaitSlice = 20;

void TSNSamplesQueue::Push(ISNAudioBufferPtr ABuffer, const TCallback& ACallback)
{
    if (!ABuffer)
        return;
    std::unique_lock LGuard(FSection);
    // Strictly greater: the queue takes one more buffer once it holds the limit.
    if (FCollectedSamples > FMaxSamples) {
        // A producer on a clock: the consumer's own clock (virtual time) goes
        // on while we wait, and a stop of the producer's clock ends the wait
        // (the buffer is taken beyond the limit, so nothing is lost).
        // The queue's section is never held while the tick waits to resume.
        LGuard.unlock();
        {
            TDGBlockingScope LBlocking;
            LGuard.lock();
            while (FCollectedSamples > FMaxSamples && !TDGTimeline::CurrentTickStopping()) {
                FPullEvent.ResetEvent();
                LGuard.unlock();
                if (ACallback)
                    ACallback();
                FPullEvent.WaitFor(std::chrono::milliseconds(CPushWaitSlice));
                LGuard.lock();
            }
            LGuard.unlock();
        }
        LGuard.lock();
    }
    const uint32_t LSize = ABuffer->GetSize();
    if (FCollectedSamples > std::numeric_limits<uint32_t>::max() - LSize)
        throw EDGException("samples queue overflow: " + std::to_string(FCollectedSamples) + " + " +
                           std::to_string(LSize) + " samples");
    FCollectedSamples += LSize;
    FBuffers.push_back(std::move(ABuffer));
}

bool TSNSamplesQueue::Pop(ISNAudioBuffer& ABuffer)
{
    std::lock_guard LGuard(FSection);
    const uint32_t LSize = ABuffer.GetSize();
    if (LSize > FCollectedSamples)
        return false;
    uint32_t LRemaining = LSize;
    uint32_t LWritePos = 0;
    while (LRemaining > 0) {
        const ISNAudioBufferPtr& LFirst = FBuffers.front();
        const uint32_t LPart = LFirst->GetSize() - FExtractOffset;
        if (LPart > LRemaining) {
            LFirst->CopyTo(FExtractOffset, ABuffer, LWritePos, LRemaining);
            FExtractOffset += LRemaining;
            LRemaining = 0;
        } else {
            if (LPart > 0)
                LFirst->CopyTo(FExtractOffset, ABuffer, LWritePos, LPart);
            FBuffers.pop_front();
            FExtractOffset = 0;
            LWritePos += LPart;
            LRemaining -= LPart;
        }
    }
    FCollectedSamples -= LSize;
    FPullEvent.SetEvent();
    return true;
}

void TSNSamplesQueue::Clear()
{
    std::lock_guard LGuard(FSection);
    FBuffers.clear();
    FCollectedSamples = 0;
    FExtractOffset = 0;
    // A producer waiting for room finds it at once.
    FPullEvent.SetEvent();
}

uint32_t TSNSamplesQueue::GetCollectedSamples() const
{
    std::lock_guard LGuard(FSection);
    return FCollectedSamples;
}

uint32_t TSNSamplesQueue::GetMaxSamples() const
{
    std::lock_guard LGuard(FSection);
    return FMaxSamples;
}

void TSNSamplesQueue::SetMaxSamples(uint32_t AValue)
{
    std::lock_guard LGuard(FSection);
    FMaxSamples = AValue;
    // A raised limit may let a waiting producer in.
    FPullEvent.SetEvent();
}

// --- TSNPNQueuedAudioSinkPin ---------------------------------------------------

TSNPNQueuedAudioSinkPin::TSNPNQueuedAudioSinkPin(TSNBasicMultiInput& AOwner, std::string AName)
    : TSNPNAudioSinkPin(&AOwner, std::move(AName)), FOwner(AOwner), FBufferQueue(std::make_shared<TSNSamplesQueue>())
{
}

void TSNPNQueuedAudioSinkPin::StartRate(const WAVEFORMATEXTENSIBLE& AWaveFormat)
{
    FMasterPumpCounter = 0;
    FWaveFormat = AWaveFormat;
    FRunning = true;
    FStreaming = true;
}

void TSNPNQueuedAudioSinkPin::Stop(bool AKeepQueue)
{
    FIgnored = true;
    FStreaming = false;
    FDataAdded = false;
    FDelayed = false;
    FEnoughSamples = false;
    if (!AKeepQueue)
        FBufferQueue->Clear();
}

void TSNPNQueuedAudioSinkPin::StopFull()
{
    Stop();
    FRunning = false;
}

void TSNPNQueuedAudioSinkPin::Flush()
{
    FBufferQueue->Clear();
}

void TSNPNQueuedAudioSinkPin::AddBuffer(ISNAudioBufferPtr ABuffer, const ISNSamplesQueue::TCallback& ACallback)
{
    // Called without the owner's lock: Push may wait for room.
    FBufferQueue->Push(std::move(ABuffer), ACallback);
    {
        TLockAccess LAccess = FOwner.FInputLock->WriteLock();
        FDataAdded = true;
    }
    if (ACallback)
        ACallback();
}

bool TSNPNQueuedAudioSinkPin::IsActive() const
{
    return FIgnored || (IsConnected() && FStreaming);
}

bool TSNPNQueuedAudioSinkPin::IsBufferQueueFull() const
{
    return FBufferQueue->GetCollectedSamples() >= FBufferQueue->GetMaxSamples();
}

bool TSNPNQueuedAudioSinkPin::IsStartReady()
{
    if (FRunning)
        return true;
    if (IsConnected() && (FEnabled || FOwner.WaitsForConnectedInputs())) {
        // An upstream that will deliver nothing answers with an ignore, which
        // sets FIgnored through the owner's handler.
        FIgnored = false;
        Notify(std::make_shared<TPNQueryStreamOperation>());
        return FIgnored;
    }
    return true;
}

bool TSNPNQueuedAudioSinkPin::IsReady()
{
    const uint32_t LCollected = FBufferQueue->GetCollectedSamples();
    if (FDelayed) {
        if (FRunning && (!FStreaming || LCollected >= FNeededSamples))
            FDelayed = false;
        return true;
    }
    if (!FRunning)
        return false;
    if (!FStreaming)
        return true;
    return LCollected >= FNeededSamples || FPrefillCount > 0;
}

void TSNPNQueuedAudioSinkPin::CalculateSampleCount(uint32_t ABufferSize, float ARate)
{
    const uint64_t LProduct = uint64_t{FWaveFormat.Format.nSamplesPerSec} * ABufferSize;
    if (LProduct > std::numeric_limits<uint32_t>::max())
        throw EDGException(GetPath() + ": arithmetic overflow working out " +
                           std::to_string(FWaveFormat.Format.nSamplesPerSec) + " Hz x " + std::to_string(ABufferSize) +
                           " samples");
    if (!(ARate > 0.0f))
        throw EDGException(GetPath() + ": range error, output rate " + std::to_string(ARate) + " Hz");
    // Nearest, ties to even (the default rounding mode).
    const double LNeeded = std::nearbyint(static_cast<double>(LProduct) / static_cast<double>(ARate));
    const double LPrefill = std::nearbyint(static_cast<double>(FPrefillInterval) * static_cast<double>(ARate) / 1000.0);
    if (LNeeded > std::numeric_limits<uint32_t>::max() || LPrefill > std::numeric_limits<int32_t>::max())
        throw EDGException(GetPath() + ": range error in the sample counts");
    FNeededSamples = static_cast<uint32_t>(LNeeded);
    FPrefillCount = static_cast<int32_t>(LPrefill);
}

int TSNPNQueuedAudioSinkPin::MasterPumpCount(double ARate)
{
    if (!FRunning)
        return 0;
    const double LStep = ARate == 0.0 ? 1.0 : FWaveFormat.Format.nSamplesPerSec / ARate;
    FMasterPumpCounter += LStep;
    int LCount = 0;
    while (FMasterPumpCounter >= 1.0) {
        FMasterPumpCounter -= 1.0;
        ++LCount;
    }
    return LCount;
}

void TSNPNQueuedAudioSinkPin::MasterPump(const IPNNotifyOperationPtr& AOperation, double ARate)
{
    for (int I = MasterPumpCount(ARate); I > 0; --I)
        Notify(AOperation);
}

bool TSNPNQueuedAudioSinkPin::StretchLoadBuffer(ISNAudioBuffer& ATarget)
{
    if (FNeededSamples == 0) {
        Flush();
        return true;
    }
    if (FPrefillCount > 0) {
        FPrefillCount -= static_cast<int32_t>(std::min<uint32_t>(FNeededSamples, std::numeric_limits<int32_t>::max()));
        return false;
    }
    FEnoughSamples = true;
    if (ATarget.GetSize() == FNeededSamples)
        return FBufferQueue->Pop(ATarget);
    if (FBufferQueue->GetCollectedSamples() < FNeededSamples)
        return false;

    ISNAudioBufferPtr LTemp =
        TSNAudioBuffer::CreateSizeEx(FWaveFormat.Format.nSamplesPerSec, ATarget.GetBitsPerSample(),
                                     FWaveFormat.Format.nChannels, FNeededSamples, ChannelMaskOf(FWaveFormat));
    if (!FBufferQueue->Pop(*LTemp))
        return false;

    StretchFrames(*LTemp, ATarget, ATarget.GetSize());
    return true;
}

uint32_t TSNPNQueuedAudioSinkPin::LoadRemainder(ISNAudioBuffer& ATarget)
{
    ATarget.Zero();
    const uint32_t LHeld = std::min(FBufferQueue->GetCollectedSamples(), FNeededSamples);
    if (LHeld == 0)
        return 0;
    const uint32_t LSize = ATarget.GetSize();
    ISNAudioBufferPtr LPart =
        TSNAudioBuffer::CreateSizeEx(FWaveFormat.Format.nSamplesPerSec, ATarget.GetBitsPerSample(),
                                     FWaveFormat.Format.nChannels, LHeld, ChannelMaskOf(FWaveFormat));
    if (!FBufferQueue->Pop(*LPart))
        return 0;
    if (LSize == FNeededSamples) {
        LPart->CopyTo(0, ATarget, 0, LHeld);
        return LHeld;
    }
    const auto LFrames = static_cast<uint32_t>(std::clamp<double>(
        std::nearbyint(double(LHeld) * LSize / FNeededSamples), 1.0, double(LSize)));
    StretchFrames(*LPart, ATarget, LFrames);
    return LFrames;
}

bool TSNPNQueuedAudioSinkPin::GetEnabled() const
{
    return FOwner.FInputLock->Getter(FEnabled);
}

void TSNPNQueuedAudioSinkPin::SetEnabled(bool AValue)
{
    TLockAccess LAccess = FOwner.FInputLock->WriteLock();
    if (FEnabled == AValue)
        return;
    FEnabled = AValue;
    if (FOwner.FRunning)
        CalculateSampleCount(FOwner.GetOutputBufferSize(), static_cast<float>(FOwner.FCalculatedRate));
}

uint32_t TSNPNQueuedAudioSinkPin::GetPrefillInterval() const
{
    return FOwner.FInputLock->Getter(FPrefillInterval);
}

void TSNPNQueuedAudioSinkPin::SetPrefillInterval(uint32_t AValue)
{
    FOwner.FInputLock->NotifySetter(FPrefillInterval, AValue);
}

bool TSNPNQueuedAudioSinkPin::GetAllowUnderfeed() const
{
    return FOwner.FInputLock->Getter(FAllowUnderfeed);
}

void TSNPNQueuedAudioSinkPin::SetAllowUnderfeed(bool AValue)
{
    FOwner.FInputLock->NotifySetter(FAllowUnderfeed, AValue);
}

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

// --- TSNMultiInput -------------------------------------------------------------

TSNMultiInput::TSNMultiInput() : FOutputPin(this, "OutputPin"), FAudioFormat([this] { DoChange(); })
{
    FOutputPin.SetDispatch([this](TPNPin& APin, const IPNNotifyOperationPtr& AOperation) {
        return SourceDispatch(APin, AOperation);
    });
}

TSNMultiInput::~TSNMultiInput()
{
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNMultiInput::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TSNMultiInput";
        LClass.Unit = "SNMultiInput";
        LClass.Parent = &TSNBasicMultiInput::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &TSNMultiInput::GetOutputPin).AsPrimary(),
            DescribeObject("AudioFormat", &TSNMultiInput::GetAudioFormat),
        };
        return LClass;
    }();
    return LDescription;
}

uint32_t TSNMultiInput::GetOutputBufferSize()
{
    return static_cast<uint32_t>(FAudioFormat.GetBufferSize());
}

bool TSNMultiInput::OutputsNotify(const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNStartWaveOperation>(AOperation)) {
        TLockAccess LAccess = FInputLock->WriteLock();
        FStartSent = true;
    }
    return FOutputPin.Notify(AOperation);
}

void TSNMultiInput::UsePresetCalculateRate()
{
    TSNBasicMultiInput::UsePresetCalculateRate();
    if (!FAudioFormat.GetEnabled())
        return;
    FCalculatedRate = FAudioFormat.GetSampleRate();
    FRateCalculated = true;
    FRunningChannels = static_cast<uint32_t>(FAudioFormat.GetCountChannels());
    FRunningBits = ValidBits(static_cast<uint32_t>(FAudioFormat.GetBits()));
    FRunningChannelMask = FAudioFormat.GetChannelMask();
}

void TSNMultiInput::IntStop()
{
    TComponentAccess LAccess = LockComponent();
    TSNBasicMultiInput::IntStop();
    // A stop goes out only for a start that went out.
    if (FStartSent) {
        FStartSent = false;
        FOutputPin.Notify(std::make_shared<TPNStopOperation>());
    }
}

bool TSNMultiInput::GetCanStart()
{
    return true;
}

void TSNMultiInput::DoChange()
{
    TLockAccess LAccess = FInputLock->WriteLock();
    if (FRunning && !FInCalculateRate)
        CalculateRate();
}

void TSNMultiInput::BeforeDestruction()
{
    {
        TComponentAccess LAccess = LockComponent();
        for (TSNPNQueuedAudioSinkPin* LPin : FAllInputPins) {
            LPin->DisconnectAll();
            LPin->Flush();
        }
        IntStop();
    }
    ReleaseRetiredThreads();
}

} // namespace Sonorix
