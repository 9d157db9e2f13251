// SPDX-License-Identifier: MIT
#include "SNSnapshot.h"

#include "CVRegistry.h"
#include "SNCatalogue.h"
#include "DGSignalDispatcher.h"

#include <algorithm>

namespace Sonorix {

TSNSnapshot::TSNSnapshot() : FSnapshotPin(this, "SnapshotPin")
{
    FSnapshotPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        return OnClockEvent(AOperation);
    });
}

TSNSnapshot::~TSNSnapshot()
{
    FSnapshotPin.DisconnectAll();
}

const TClassDescription& TSNSnapshot::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNSnapshot");
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribePin("SnapshotPin", "TPNClockMultiSinkPin", &TSNSnapshot::GetSnapshotPin),
            DescribeProperty(SnapShotSizeProperty, &TSNSnapshot::GetSnapShotSize, &TSNSnapshot::SetSnapShotSize),
        };
        LClass.Events = {{"OnSnapshot", [](TPersistent& AObject, TGenericEventHandler AHandler) {
                              if (!AHandler) {
                                  static_cast<TSNSnapshot&>(AObject).SetOnSnapshot(nullptr);
                                  return;
                              }
                              static_cast<TSNSnapshot&>(AObject).SetOnSnapshot(
                                  [AHandler](TPersistent& ASender, const ISNAudioBufferPtr& ABuffer) {
                                      AHandler(ASender, "OnSnapshot",
                                               {{"frames", int64_t{ABuffer->GetSize()}},
                                                {"channels", int64_t{ABuffer->GetChannels()}},
                                                {"bits", int64_t{ABuffer->GetBitsPerSample()}},
                                                {"sample_rate", int64_t{ABuffer->GetSamplesPerSecond()}}});
                                  });
                          }}};
        LClass.Factory = [] { return std::make_shared<TSNSnapshot>(); };
        return LClass;
    }();
    return LDescription;
}

int32_t TSNSnapshot::GetSnapShotSize() const
{
    return FLock->Getter(FBufferSize);
}

void TSNSnapshot::SetSnapShotSize(int32_t AValue)
{
    FLock->NotifySetterMinMax(FBufferSize, AValue, static_cast<int32_t>(*SnapShotSizeProperty.Min),
                              static_cast<int32_t>(*SnapShotSizeProperty.Max), [this] { SnapShotSizeChanged(); });
}

void TSNSnapshot::SetOnSnapshot(TSNSnapshotEvent AEvent)
{
    TLockAccess LAccess = FLock->WriteLock();
    FOnSnapShot = std::move(AEvent);
}

void TSNSnapshot::Snapshot()
{
    FCollecting = true;
}

bool TSNSnapshot::OnClockEvent(const IPNNotifyOperationPtr& AOperation)
{
    if (!OperationAs<TPNClockOperation>(AOperation))
        return false;
    Snapshot();
    return true;
}

void TSNSnapshot::IntStart()
{
    TLockAccess LAccess = FLock->WriteLock();
    FCollecting = false;
    FBufferLastEndPos = 0;
}

void TSNSnapshot::SnapShotSizeChanged()
{
    WAVEFORMATEXTENSIBLE LFormat;
    {
        TLockAccess LAccess = FLock->WriteLock();
        if (!FConvertionBuffer)
            return;
        FConvertionBuffer->Resize(static_cast<uint32_t>(FBufferSize));
        // Frames already collected beyond the new end are gone.
        FBufferLastEndPos = std::min(FBufferLastEndPos, static_cast<uint32_t>(FBufferSize));
        LFormat = FAudioFormat.GetWaveFormat();
    }
    OutputPinsNotify(std::make_shared<TPNDGResumeOperation>());
    OutputPinsNotify(std::make_shared<TPNStartWaveOperation>(LFormat));
}

bool TSNSnapshot::SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)
{
    if (auto* LStart = OperationAs<TPNStartWaveOperation>(AOperation)) {
        {
            TLockAccess LAccess = FLock->WriteLock();
            FAudioFormat.SetWaveFormat(LStart->WaveFormat);
            // The buffer is kept across starts; one of another layout would
            // hold samples its format misdescribes, so it is made anew.
            const WAVEFORMATEXTENSIBLE LFormat = FAudioFormat.GetWaveFormat();
            if (!FConvertionBuffer || FConvertionBuffer->GetChannels() != LFormat.Format.nChannels ||
                FConvertionBuffer->GetBitsPerSample() != LFormat.Format.wBitsPerSample ||
                FConvertionBuffer->GetSamplesPerSecond() != LFormat.Format.nSamplesPerSec)
                FConvertionBuffer = TSNAudioBuffer::CreateWaveFormat(LFormat, static_cast<uint32_t>(FBufferSize));
        }
        const bool LResult = TSNCommonFilter::SinkDispatch(APin, AOperation);
        IntStart();
        return LResult;
    }
    if (auto* LSupplied = OperationAs<TPNSuppliedBufferOperation>(AOperation)) {
        if (!GetEnabled() || !FCollecting)
            return true;
        TLockAccess LAccess = FLock->WriteLock();
        if (LSupplied->AudioBuffer)
            ProcessBuffer(*LSupplied->AudioBuffer);
        else if (LSupplied->Block)
            ProcessBuffer(*TSNAudioBuffer::CreateUniversal(FAudioFormat.GetWaveFormat(), LSupplied->Block));
        return true;
    }
    return TSNCommonFilter::SinkDispatch(APin, AOperation);
}

void TSNSnapshot::ProcessBuffer(const ISNAudioBuffer& ABuffer)
{
    if (!FConvertionBuffer || !FCollecting)
        return;
    const uint32_t LFrame = FConvertionBuffer->GetDataStep();
    // A buffer of another layout than the stream's is not mixed in.
    if (ABuffer.GetDataStep() != LFrame || ABuffer.GetBitsPerSample() != FConvertionBuffer->GetBitsPerSample())
        return;
    const auto LRoom = static_cast<uint32_t>(FConvertionBuffer->GetByteSize() / LFrame) - FBufferLastEndPos;
    const auto LCount = static_cast<uint32_t>(ABuffer.GetByteSize() / LFrame);
    if (LCount == 0)
        return;
    uint8_t* LTarget = FConvertionBuffer->ByteWrite() + static_cast<size_t>(FBufferLastEndPos) * LFrame;
    if (LCount < LRoom) {
        ippsCopy_8u(ABuffer.ByteRead(), LTarget, static_cast<int32_t>(LCount * LFrame));
        FBufferLastEndPos += LCount;
        return;
    }
    if (LRoom > 0)
        ippsCopy_8u(ABuffer.ByteRead(), LTarget, static_cast<int32_t>(LRoom * LFrame));
    FBufferLastEndPos = 0;
    FCollecting = false;
    Process();
}

void TSNSnapshot::Process()
{
    // Called with FLock held. The completed buffer goes out as it is and the
    // next snapshot is taken into a fresh one, so a receiver that keeps it
    // never sees it change.
    ISNAudioBufferPtr LDone = FConvertionBuffer;
    FConvertionBuffer = TSNAudioBuffer::CreateWaveFormat(LDone->GetWaveFormat(), LDone->GetSize());
    if (FOnSnapShot)
        FOnSnapShot(*this, LDone);
    GetOutputPin().SendBuffer(LDone);
    OutputPinsNotify(std::make_shared<TPNDGResumeOperation>());
    IntStart();
}

namespace SNSnapshot {
void RegisterPkg()
{
    RegisterComponents({&TSNSnapshot::ClassDescription()});
}
} // namespace SNSnapshot

} // namespace Sonorix
