// SPDX-License-Identifier: MIT
#include "SNMultiInput.h"

#include "SNAudioBufferArithmetic.h"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace Sonorix {

namespace {

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

bool TSNPNQueuedAudioSinkPin::StretchAddBuffer(ISNAudioBuffer& ATarget, double ACoefficient, ISNAudioBufferPtr& AWork)
{
    if (FNeededSamples != 0 && FPrefillCount <= 0 && ATarget.GetSize() == FNeededSamples) {
        FEnoughSamples = true;
        return FBufferQueue->PopAdd(ATarget, ACoefficient);
    }
    if (!AWork)
        AWork = TSNAudioBuffer::CreateSizeEx(ATarget.GetSamplesPerSecond(), ATarget.GetBitsPerSample(),
                                             ATarget.GetChannels(), ATarget.GetSize(), ATarget.GetChannelMask());
    if (!StretchLoadBuffer(*AWork))
        return false;
    AddScaledFrames(*AWork, 0, ATarget, 0, ATarget.GetSize(), ACoefficient);
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

} // namespace Sonorix
