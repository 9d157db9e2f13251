// SPDX-License-Identifier: MIT
#include "SNMultiInput.h"

#include "SNAudioBufferArithmetic.h"
#include "DGClock.h"

#include <algorithm>
#include <limits>

namespace Sonorix {

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

bool TSNSamplesQueue::PopAdd(ISNAudioBuffer& ADest, double AFactor)
{
    std::lock_guard LGuard(FSection);
    const uint32_t LSize = ADest.GetSize();
    if (LSize > FCollectedSamples)
        return false;
    uint32_t LRemaining = LSize;
    uint32_t LWritePos = 0;
    while (LRemaining > 0) {
        const ISNAudioBufferPtr& LFirst = FBuffers.front();
        const uint32_t LPart = std::min(LFirst->GetSize() - FExtractOffset, LRemaining);
        if (LPart > 0) {
            if (LFirst->GetBitsPerSample() == ADest.GetBitsPerSample() && LFirst->GetChannels() == ADest.GetChannels()) {
                AddScaledFrames(*LFirst, FExtractOffset, ADest, LWritePos, LPart, AFactor);
            } else {
                // Another layout than the output's: converted first, as Pop does.
                ISNAudioBufferPtr LConverted =
                    TSNAudioBuffer::CreateSizeEx(ADest.GetSamplesPerSecond(), ADest.GetBitsPerSample(),
                                                 ADest.GetChannels(), LPart, ADest.GetChannelMask());
                LFirst->CopyTo(FExtractOffset, *LConverted, 0, LPart);
                AddScaledFrames(*LConverted, 0, ADest, LWritePos, LPart, AFactor);
            }
        }
        LWritePos += LPart;
        LRemaining -= LPart;
        FExtractOffset += LPart;
        if (FExtractOffset >= LFirst->GetSize()) {
            FBuffers.pop_front();
            FExtractOffset = 0;
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

} // namespace Sonorix
