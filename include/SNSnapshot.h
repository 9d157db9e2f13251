// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "SNAudioFormat.h"
#include "SNCommonFilter.h"

#include <atomic>
#include <functional>

namespace Sonorix {
SN_API_BEGIN

// Event: a snapshot completed. ABuffer holds SnapShotSize frames of the
// stream; the receiver may keep it.
using TSNSnapshotEvent = std::function<void(TPersistent& ASender, const ISNAudioBufferPtr& ABuffer)>;

// Captures, on request, the next SnapShotSize frames of a stream into one
// buffer, raises OnSnapshot with it and sends it on OutputPin. The stream
// itself is not passed on.
//
// Pins: InputPin (audio in), OutputPin (completed snapshots only),
// SnapshotPin (clock in: each tick arms a snapshot).
//
//   TSNSnapshot LSnap;
//   LSnap.SetOnSnapshot([](TPersistent&, const ISNAudioBufferPtr& B) { Show(*B); });
//   LSnap.Snapshot();                               // the next 1024 frames
class TSNSnapshot : public TSNCommonFilter {
public:
    // Bounded so that a property value cannot ask for unbounded memory
    // (2^24 frames of 32 channels of 32 bits is 2 GiB already).
    static constexpr TIntSpec SnapShotSizeProperty{.Name = "SnapShotSize", .Default = 1024, .Min = 1, .Max = 16777216};

    TSNSnapshot();
    ~TSNSnapshot() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TPNClockMultiSinkPin& GetSnapshotPin() { return FSnapshotPin; }
    int32_t GetSnapShotSize() const;
    // Frames per snapshot; resizes an existing snapshot buffer at once.
    void SetSnapShotSize(int32_t AValue);
    // Runs on the audio thread that completes the snapshot.
    void SetOnSnapshot(TSNSnapshotEvent AEvent);

    // Arm: the next frames that arrive are captured. Any thread; idempotent.
    void Snapshot();
    void TakeSnapshot() { Snapshot(); }
    // Whether a snapshot is armed or under way.
    bool IsCollecting() const { return FCollecting.load(); }

protected:
    bool SinkDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    // Disarms and forgets collected frames.
    void IntStart();

private:
    bool OnClockEvent(const IPNNotifyOperationPtr& AOperation);
    // Called with FLock held.
    void ProcessBuffer(const ISNAudioBuffer& ABuffer);
    void Process();
    void SnapShotSizeChanged();

    TPNClockMultiSinkPin FSnapshotPin;
    TSNAudioFormatBasic FAudioFormat;
    std::atomic<bool> FCollecting{false};
    uint32_t FBufferLastEndPos = 0;
    int32_t FBufferSize = static_cast<int32_t>(SnapShotSizeProperty.Default);
    ISNAudioBufferPtr FConvertionBuffer;
    TSNSnapshotEvent FOnSnapShot;
};

namespace SNSnapshot {
// Registers TSNSnapshot with the component registry.
void RegisterPkg();
} // namespace SNSnapshot

SN_API_END
} // namespace Sonorix
