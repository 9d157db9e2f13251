// SPDX-License-Identifier: MIT
#include "SNCommonGen.h"

#include "CVThreading.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

TSNCommonGen::TSNCommonGen() : FOutputPin(this, "OutputPin")
{
    FOutputPin.SetDispatch(
        [this](TPNPin& /*APin*/, const IPNNotifyOperationPtr& AOperation) { return SourceDispatch(AOperation); });
}

TSNCommonGen::~TSNCommonGen()
{
    StopSource();
    // The clock is only released here, never from its own tick.
    std::unique_ptr<TDGClockGen> LClock;
    {
        std::lock_guard LGuard(FStateMutex);
        LClock = std::move(FClock);
    }
    LClock.reset();
    FOutputPin.DisconnectAll();
}

const TClassDescription& TSNCommonGen::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNCommonGen;
        TClassDescription LClass;
        LClass.ClassName = "TSNCommonGen";
        LClass.Unit = "SNCommonGen";
        LClass.Parent = &TLockComponent::ClassDescription();
        LClass.Properties = {
            DescribePin("OutputPin", "TSNPNAudioSourcePin", &C::GetOutputPin).AsPrimary(),
            DescribeObject("AudioFormat", &C::GetAudioFormat),
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
            DescribeObject("MasterPumping", &C::GetMasterPumping),
        };
        return LClass;
    }();
    return LDescription;
}

bool TSNCommonGen::GetEnabled() const
{
    return FLock->Getter(FEnabled);
}

void TSNCommonGen::SetEnabled(bool AValue)
{
    FLock->NotifySetter(FEnabled, AValue, [this] { EnabledChanged(); });
}

void TSNCommonGen::EnabledChanged()
{
    if (GetEnabled())
        StartSource();
    else
        StopSource();
}

std::string TSNCommonGen::GetLastError() const
{
    std::lock_guard LGuard(FStateMutex);
    return FLastError;
}

bool TSNCommonGen::IsSourceRunning() const
{
    return FState.load() != gsStopped;
}

// --- Start ---------------------------------------------------------------------

void TSNCommonGen::StartSource()
{
    if (GetDesignMode() || !GetEnabled())
        return;
    {
        std::lock_guard LGuard(FStateMutex);
        if (FState.load() != gsStopped)
            return;
        FState = gsStarting;
        FStopRequested = false;
        FLastError.clear();
        ++FStreamNumber;
    }
    try {
        // Steps of the previous stream are over (StopStream waited for them)
        // and new ones wait for gsRunning, so the stream's fields are ours.
        FRunningFormat = FAudioFormat.GetWaveFormat();
        FBufferSize = static_cast<uint32_t>(FAudioFormat.GetBufferSize());
        FFramesSent = 0;
        FIsPump = false;
        SetRate(static_cast<double>(FRunningFormat.Format.nSamplesPerSec));
        StartStream(static_cast<int32_t>(FBufferSize));
        IntStart();
    } catch (...) {
        {
            std::lock_guard LGuard(FStateMutex);
            if (FState.load() == gsStarting)
                FState = gsRunning;
            FStopRequested = false;
        }
        StopSource();
        throw;
    }
}

void TSNCommonGen::SetRate(double /*ARate*/) {}

void TSNCommonGen::StartStream(int32_t ABufferSize)
{
    const size_t LBytes = size_t{2} * static_cast<size_t>(std::max(ABufferSize, int32_t{0}));
    if (!FBlock || FBlock->GetSize() != LBytes)
        FBlock = TDGBlockBuffer::CreateSize(LBytes);
}

void TSNCommonGen::IntStart()
{
    FOutputPin.Notify(std::make_shared<TPNStartWaveOperation>(FRunningFormat, false));

    auto LRequest = std::make_shared<TPNPumpRequestOperation>(nullptr, ptNone, 0);
    if (FMasterPumping.GetEnabled())
        LRequest->Claim(this, ptSoftware, FMasterPumping.GetPriority());
    FOutputPin.Notify(LRequest);
    FIsPump = LRequest->PumpObject == this;
    FOutputPin.Notify(std::make_shared<TPNStartPumpOperation>(LRequest->PumpObject));

    bool LStopRequested;
    uint64_t LStream;
    {
        std::lock_guard LGuard(FStateMutex);
        LStopRequested = FStopRequested;
        LStream = FStreamNumber;
        FState = gsRunning;
    }
    if (LStopRequested) {
        StopSource();
        return;
    }
    if (!FIsPump)
        return;

    // The buffer of audio time 0 now, buffer k at tick k.
    PumpStep();
    const double LRate = std::max<double>(FRunningFormat.Format.nSamplesPerSec, 1.0);
    const auto LPeriod = std::max<int64_t>(
        std::llround(static_cast<double>(FBufferSize) * static_cast<double>(DGTimeUnitsPerSecond) / LRate), 1);
    std::lock_guard LGuard(FStateMutex);
    // Stopped meanwhile, perhaps already started again by another thread.
    if (FState.load() != gsRunning || FStreamNumber != LStream)
        return;
    if (!FClock)
        FClock = std::make_unique<TDGClockGen>(LPeriod, [this] { PumpStep(); });
    else
        FClock->SetPeriod(LPeriod);
    FClock->Start();
}

// --- Steps -----------------------------------------------------------------------

void TSNCommonGen::Generate(ISNAudioBufferPtr& ASignal, bool& /*APopulated*/, bool& /*AFinished*/)
{
    PopulateAudio(FBlock, ASignal);
}

bool TSNCommonGen::PumpStep()
{
    std::lock_guard LGuard(FPumpMutex);
    if (FState.load() != gsRunning)
        return false;
    ISNAudioBufferPtr LSignal = TSNAudioBuffer::CreateWaveFormat(FRunningFormat, FBufferSize);
    bool LPopulated = true;
    bool LFinished = false;
    try {
        Generate(LSignal, LPopulated, LFinished);
    } catch (const std::exception& E) {
        // Nothing is thrown across the pin: the stream ends with a stop and
        // the application learns why.
        const std::string LMessage = GetDisplayPath() + ": " + E.what() + "; the stream is stopped";
        {
            std::lock_guard LStateGuard(FStateMutex);
            FLastError = LMessage;
        }
        StopSource();
        ReportBackgroundError(LMessage);
        return false;
    }
    // A stop during Generate (from Generate itself or another thread) has
    // the last word: nothing follows it.
    if (LPopulated && LSignal && FState.load() == gsRunning) {
        FFramesSent += LSignal->GetSize();
        FOutputPin.SendBuffer(std::move(LSignal));
    }
    if (LFinished)
        StopSource();
    return true;
}

void TSNCommonGen::PopulateAudio(const IDGBlockBufferPtr& ABlock, ISNAudioBufferPtr& ASignal) const
{
    if (!ABlock)
        return;
    const auto LSamples = static_cast<uint32_t>(std::min<size_t>(ABlock->GetSize() / 2, UINT32_MAX));
    if (!ASignal)
        ASignal = TSNAudioBuffer::CreateWaveFormat(FRunningFormat, LSamples);
    const uint32_t LFrames = std::min(ASignal->GetSize(), LSamples);
    if (LFrames == 0)
        return;
    // A mono 16-bit view of the block: CopyTo duplicates it into every
    // channel and shifts it to the output width.
    const ISNAudioBufferPtr LMono =
        TSNAudioBuffer::CreateUniversal(MakeWaveFormat(ASignal->GetSamplesPerSecond(), 16, 1), ABlock);
    LMono->CopyTo(0, *ASignal, 0, LFrames);
}

int16_t TSNCommonGen::CheckedInt16(const char* AProperty, int32_t AValue)
{
    if (AValue < INT16_MIN || AValue > INT16_MAX)
        throw ERangeError(std::string("Range check error: ") + AProperty + " = " + std::to_string(AValue) +
                          " does not fit the 16-bit range -32768 .. 32767");
    return static_cast<int16_t>(AValue);
}

// --- Stop ------------------------------------------------------------------------

void TSNCommonGen::StopSource()
{
    TDGClockGen* LClock = nullptr;
    {
        std::lock_guard LGuard(FStateMutex);
        const TState LState = FState.load();
        if (LState == gsStarting) {
            // The start finishes by stopping.
            FStopRequested = true;
            return;
        }
        if (LState != gsRunning)
            return;
        FState = gsStopping;
        LClock = FClock.get();
    }
    // Returns once a running tick has returned (at once from the tick itself).
    if (LClock)
        LClock->Stop();
    StopStream();
}

void TSNCommonGen::StopStream()
{
    // A step on its way (a master-pump tick on another thread) ends before
    // the stop goes out; later steps see the state and send nothing. The
    // mutex is not held across the stop's own call downstream.
    {
        std::lock_guard LGuard(FPumpMutex);
    }
    FOutputPin.Notify(std::make_shared<TPNStopOperation>());
    std::lock_guard LGuard(FStateMutex);
    FState = gsStopped;
    FStopRequested = false;
}

// --- Operations from downstream --------------------------------------------------

bool TSNCommonGen::SourceDispatch(const IPNNotifyOperationPtr& AOperation)
{
    if (OperationAs<TPNMasterPumpOperation>(AOperation)) {
        // Ticks of a downstream master pump; ignored while the own clock runs.
        if (FIsPump.load())
            return false;
        return PumpStep();
    }
    if (OperationAs<TPNStartOperation>(AOperation)) {
        StartSource();
        return IsSourceRunning();
    }
    return false;
}

} // namespace Sonorix
