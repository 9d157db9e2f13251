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

template <class FTake>
bool TSNSamplesQueue::Take(uint32_t ASize, FTake&& ATake)
{
    std::lock_guard LGuard(FSection);
    if (ASize > FCollectedSamples)
        return false;
    for (uint32_t LDone = 0; LDone < ASize;) {
        const ISNAudioBufferPtr& LFirst = FBuffers.front();
        const uint32_t LPart = std::min(LFirst->GetSize() - FExtractOffset, ASize - LDone);
        if (LPart > 0)
            ATake(*LFirst, FExtractOffset, LDone, LPart);
        LDone += LPart;
        FExtractOffset += LPart;
        if (FExtractOffset >= LFirst->GetSize()) {
            FBuffers.pop_front();
            FExtractOffset = 0;
        }
    }
    FCollectedSamples -= ASize;
    FPullEvent.SetEvent();
    return true;
}

bool TSNSamplesQueue::Pop(ISNAudioBuffer& ABuffer)
{
    return Take(ABuffer.GetSize(), [&](const ISNAudioBuffer& APiece, uint32_t AFrom, uint32_t ATo, uint32_t AFrames) {
        APiece.CopyTo(AFrom, ABuffer, ATo, AFrames);
    });
}

bool TSNSamplesQueue::PopAdd(ISNAudioBuffer& ADest, double AFactor)
{
    return Take(ADest.GetSize(), [&](const ISNAudioBuffer& APiece, uint32_t AFrom, uint32_t ATo, uint32_t AFrames) {
        if (APiece.GetBitsPerSample() == ADest.GetBitsPerSample() && APiece.GetChannels() == ADest.GetChannels()) {
            AddScaledFrames(APiece, AFrom, ADest, ATo, AFrames, AFactor);
            return;
        }
        // Another layout than the output's: converted first, as Pop does.
        ISNAudioBufferPtr LConverted = TSNAudioBuffer::CreateSizeEx(
            ADest.GetSamplesPerSecond(), ADest.GetBitsPerSample(), ADest.GetChannels(), AFrames, ADest.GetChannelMask());
        APiece.CopyTo(AFrom, *LConverted, 0, AFrames);
        AddScaledFrames(*LConverted, 0, ADest, ATo, AFrames, AFactor);
    });
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
