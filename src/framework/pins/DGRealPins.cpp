// SPDX-License-Identifier: MIT
#include "DGRealPins.h"

#include "SNTypes.h"

#include <algorithm>
#include <cmath>

namespace Sonorix {

// --- TDGPNQueuedRealSinkPin ----------------------------------------------------------

void TDGPNQueuedRealSinkPin::StartRate(double ARate)
{
    std::lock_guard LGuard(FMutex);
    FRate = ARate;
    FRunning = true;
    FStopping = false;
    FQueue.clear();
    FCollected = 0;
    FExtractOffset = 0;
}

void TDGPNQueuedRealSinkPin::AddBuffer(IDGRealBufferPtr ABuffer)
{
    if (!ABuffer || ABuffer->GetSize() == 0)
        return;
    std::lock_guard LGuard(FMutex);
    FCollected += ABuffer->GetSize();
    FQueue.push_back(std::move(ABuffer));
}

void TDGPNQueuedRealSinkPin::PrepareStop()
{
    std::lock_guard LGuard(FMutex);
    if (FRunning)
        FStopping = true;
}

void TDGPNQueuedRealSinkPin::Stop()
{
    std::lock_guard LGuard(FMutex);
    FStopping = false;
    FQueue.clear();
    FCollected = 0;
    FExtractOffset = 0;
}

bool TDGPNQueuedRealSinkPin::IsRunning() const
{
    std::lock_guard LGuard(FMutex);
    return FRunning;
}

bool TDGPNQueuedRealSinkPin::IsStopping() const
{
    std::lock_guard LGuard(FMutex);
    return FStopping;
}

bool TDGPNQueuedRealSinkPin::IsReady() const
{
    std::lock_guard LGuard(FMutex);
    return FCollected >= FNeeded;
}

double TDGPNQueuedRealSinkPin::GetRate() const
{
    std::lock_guard LGuard(FMutex);
    return FRate;
}

uint64_t TDGPNQueuedRealSinkPin::GetCollectedSamples() const
{
    std::lock_guard LGuard(FMutex);
    return FCollected;
}

uint32_t TDGPNQueuedRealSinkPin::GetNeededSamples() const
{
    std::lock_guard LGuard(FMutex);
    return FNeeded;
}

namespace {

uint32_t ScaledCount(double ACount, double AFrom, double ATo)
{
    const double LValue = ATo > 0 ? std::nearbyint(ACount * AFrom / ATo) : 0.0;
    if (!(LValue >= 0 && LValue <= 4294967295.0))
        throw ERangeError("Range check error: " + std::to_string(LValue) + " samples do not fit 32 bits");
    return static_cast<uint32_t>(LValue);
}

} // namespace

void TDGPNQueuedRealSinkPin::CalculateSampleCount(uint32_t ACount, double ARate)
{
    std::lock_guard LGuard(FMutex);
    FNeeded = ScaledCount(ACount, FRate, ARate);
}

uint32_t TDGPNQueuedRealSinkPin::GetSizeForRate(double ARate) const
{
    // The length of the queued values at ARate: the output they fill.
    std::lock_guard LGuard(FMutex);
    return ScaledCount(static_cast<double>(FCollected), ARate, FRate);
}

void TDGPNQueuedRealSinkPin::Take(double* ADest, uint32_t ACount)
{
    while (ACount > 0) {
        const IDGRealBuffer& LHead = *FQueue.front();
        const uint32_t LLeft = LHead.GetSize() - FExtractOffset;
        const uint32_t LNow = std::min(LLeft, ACount);
        std::copy_n(LHead.Read() + FExtractOffset, LNow, ADest);
        ADest += LNow;
        ACount -= LNow;
        FCollected -= LNow;
        if (LNow == LLeft) {
            FQueue.pop_front();
            FExtractOffset = 0;
        } else
            FExtractOffset += LNow;
    }
}

bool TDGPNQueuedRealSinkPin::StretchLoadBuffer(IDGRealBuffer& ATarget)
{
    std::lock_guard LGuard(FMutex);
    const uint32_t LSize = ATarget.GetSize();
    if (FNeeded == 0 || FCollected < FNeeded || LSize == 0)
        return false;
    if (FNeeded == LSize) {
        Take(ATarget.Modify(), LSize);
        return true;
    }
    // Nearest value: target i reads source round(i * needed / size).
    FScratch.resize(FNeeded);
    Take(FScratch.data(), FNeeded);
    const double LStep = static_cast<double>(FNeeded) / LSize;
    double* LOut = ATarget.Modify();
    double LPos = 0;
    for (uint32_t I = 0; I < LSize; ++I, LPos += LStep)
        LOut[I] = FScratch[std::min<size_t>(static_cast<size_t>(std::nearbyint(LPos)), FNeeded - 1)];
    return true;
}

// --- TPNMethodSinkPin ----------------------------------------------------------------

TPNMethodSinkPin::TPNMethodSinkPin(TPersistent* AOwner, std::string AName, TMethod AMethod)
    : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtRealValue), FMethod(std::move(AMethod))
{
    SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return Receive(AOperation); });
}

void TPNMethodSinkPin::SourceConnected(TPNSourcePin& ASource)
{
    if (auto* LValues = dynamic_cast<TPNRealRangedSourcePin*>(&ASource); LValues && LValues->HasValue())
        FMethod(*this, static_cast<float>(LValues->GetValue()), true);
}

bool TPNMethodSinkPin::Receive(const IPNNotifyOperationPtr& AOperation)
{
    if (auto* LValue = OperationAs<TPNRealValueOperation>(AOperation)) {
        FMethod(*this, static_cast<float>(LValue->Value), false);
        return true;
    }
    if (auto* LSpectrum = OperationAs<TPNStartSpectrumOperation>(AOperation)) {
        std::lock_guard LGuard(FMutex);
        FSpectrumRate = LSpectrum->SampleRate;
        return true;
    }
    if (OperationAs<TPNStartSampleRateOperation>(AOperation)) {
        std::lock_guard LGuard(FMutex);
        FSpectrumRate = 0;
        return true;
    }
    auto* LBuffer = OperationAs<TPNSuppliedBufferOperation>(AOperation);
    if (!LBuffer || !LBuffer->Reals || LBuffer->Reals->GetSize() == 0)
        return false;
    const IDGRealBuffer& LReals = *LBuffer->Reals;
    const double* LData = LReals.Read();
    const uint32_t LSize = LReals.GetSize();
    double LSpectrumRate;
    {
        std::lock_guard LGuard(FMutex);
        LSpectrumRate = FSpectrumRate;
    }
    if (LSpectrumRate > 0) {
        // N magnitudes of a 2N-point transform: bin k lies at k * rate / 2N.
        const auto LPeak = static_cast<uint32_t>(std::max_element(LData, LData + LSize) - LData);
        FMethod(*this, static_cast<float>(LPeak * LSpectrumRate / (2.0 * LSize)), false);
    } else
        FMethod(*this, static_cast<float>(LData[LSize - 1]), false);
    return true;
}

} // namespace Sonorix
