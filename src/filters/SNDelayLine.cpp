// SPDX-License-Identifier: MIT
#include "SNDelayLine.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "IPPExtraFunctions.h"
#include "SNBasicDispatcher.h"

#include <algorithm>
#include <new>
#include <cstring>

namespace Sonorix {

namespace {
// memmove that accepts empty ranges of empty buffers (null pointers).
void MoveBytes(uint8_t* ATarget, const uint8_t* ASource, size_t ACount)
{
    if (ACount > 0)
        std::memmove(ATarget, ASource, ACount);
}
} // namespace

TSNDelayLine::TSNDelayLine()
    : FDelayValue([this] {
          TLockAccess LAccess = FInputLock->WriteLock();
          FNeedsResize = true;
          CalculateDelay();
      })
{
}

const TClassDescription& TSNDelayLine::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNDelayLine");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.Properties = {
            DescribeObject("DelayValue", &TSNDelayLine::GetDelayValue),
        };
        LClass.Factory = [] { return std::make_shared<TSNDelayLine>(); };
        return LClass;
    }();
    return LDescription;
}

int64_t TSNDelayLine::GetSamplesDelay() const
{
    TLockAccess LAccess = FInputLock->ReadLock();
    return FSamplesDelay;
}

void TSNDelayLine::SetEnabled(bool AValue)
{
    TSNCommonFilter::SetEnabled(AValue);
    TLockAccess LAccess = FInputLock->WriteLock();
    if (!GetEnabled() && FDelayBuffer)
        FDelayBuffer->Zero();
}

void TSNDelayLine::CalculateDelay()
{
    if (IsRunning()) {
        const uint32_t LRate = FWaveFormat.Format.nSamplesPerSec;
        const int64_t LFrames = std::max<int64_t>(FDelayValue.Frames(LRate), 0);
        FSamplesDelay = LFrames;
        if (LFrames > MaxDelayFrames) {
            // Refused, never shortened: the stream passes undelayed.
            const bool LMilliseconds = FDelayValue.GetMode() == dmMilliseconds;
            ReportDelayRefused("a delay of " + std::to_string(LFrames) + " frames" +
                                   (LMilliseconds ? " (" + std::to_string(FDelayValue.GetValue()) + " ms at " +
                                                        std::to_string(LRate) + " Hz)"
                                                  : ""),
                               MaxDelayFrames);
            FSamplesDelay = 0;
        }
    }
    FNeedsResize = true;
}

void TSNDelayLine::Init(const WAVEFORMATEXTENSIBLE& AFormat)
{
    FDelayBuffer = CreateHistory(AFormat, FSamplesDelay, MaxDelayFrames,
                                 "a delay of " + std::to_string(FSamplesDelay) + " frames");
    // Without memory for the history the stream passes undelayed.
    if (!FDelayBuffer) {
        FSamplesDelay = 0;
        FDelayBuffer = TSNAudioBuffer::CreateSizeEx(AFormat.Format.nSamplesPerSec, AFormat.Format.wBitsPerSample,
                                                    AFormat.Format.nChannels, 0, AFormat.dwChannelMask);
    }
    FNeedsResize = false;
}

void TSNDelayLine::AudioStreamStart(const TPNStartWaveOperation& AStartOperation)
{
    TSNCommonFilter::AudioStreamStart(AStartOperation);
    TLockAccess LAccess = FInputLock->WriteLock();
    CalculateDelay();
    if (IsHistoryLayout(FWaveFormat))
        Init(FWaveFormat);
    else
        FDelayBuffer.reset();
}

void TSNDelayLine::Resize()
{
    const uint32_t O = FDelayBuffer->GetSize();
    const auto D = static_cast<uint32_t>(FSamplesDelay);
    FNeedsResize = false;
    try {
        FDelayBuffer->Resize(D);
    } catch (const std::bad_alloc&) {
        // Reported by a fresh history's allocation failing the same way.
        Init(FDelayBuffer->GetWaveFormat());
        return;
    }
    // Growing holds the newest kept frame; a history that held nothing stays
    // silent.
    if (D <= O || O == 0)
        return;
    const uint32_t LBytes = FDelayBuffer->GetBitsPerSample() / 8;
    const int32_t LStep = static_cast<int32_t>(FDelayBuffer->GetDataStep());
    const IppiSize LRoi{1, static_cast<int32_t>(D - O)};
    uint8_t* LFirst = FDelayBuffer->ByteWrite() + size_t(O) * size_t(LStep);
    for (uint32_t c = 0; c < FDelayBuffer->GetChannels(); ++c) {
        const int32_t LHeld = FDelayBuffer->GetItem(O - 1, c);
        uint8_t* LTarget = LFirst + size_t(c) * LBytes;
        switch (LBytes) {
        case 1:
            ippiSet_8u_C1R(static_cast<Ipp8u>(LHeld), LTarget, LStep, LRoi);
            break;
        case 2:
            ippiSet_16s_C1R(static_cast<Ipp16s>(LHeld), reinterpret_cast<Ipp16s*>(LTarget), LStep, LRoi);
            break;
        case 3:
            ippiSet_24s_C1R(LHeld, LTarget, LStep, LRoi);
            break;
        default:
            ippiSet_32s_C1R(LHeld, reinterpret_cast<Ipp32s*>(LTarget), LStep, LRoi);
            break;
        }
    }
}

void TSNDelayLine::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                           bool& /*ASendOutputData*/)
{
    // Called with FInputLock held.
    if (!AOutBuffer)
        return;
    if (FDelayBuffer && FNeedsResize)
        Resize();
    // A buffer of another layout than the history starts a history of its own.
    if (!FDelayBuffer || FDelayBuffer->GetBitsPerSample() != AInBuffer->GetBitsPerSample() ||
        FDelayBuffer->GetChannels() != AInBuffer->GetChannels())
        Init(AInBuffer->GetWaveFormat());
    const uint32_t S = AInBuffer->GetSize();
    const uint32_t D = FDelayBuffer->GetSize();
    const size_t LStep = AInBuffer->GetDataStep();
    const uint8_t* LIn = AInBuffer->ByteRead();
    uint8_t* LOut = AOutBuffer->ByteWrite();
    uint8_t* LHistory = FDelayBuffer->ByteWrite();
    // The output is the first S frames of (history, input); the new history
    // the last D frames of it.
    if (S >= D) {
        MoveBytes(LOut, LHistory, D * LStep);
        MoveBytes(LOut + D * LStep, LIn, (S - D) * LStep);
        MoveBytes(LHistory, LIn + (S - D) * LStep, D * LStep);
    } else {
        MoveBytes(LOut, LHistory, S * LStep);
        MoveBytes(LHistory, LHistory + S * LStep, (D - S) * LStep);
        MoveBytes(LHistory + (D - S) * LStep, LIn, S * LStep);
    }
}

namespace SNDelayLine {
void RegisterPkg()
{
    RegisterComponents({&TSNDelayLine::ClassDescription()});
}
} // namespace SNDelayLine

} // namespace Sonorix
