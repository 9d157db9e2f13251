// SPDX-License-Identifier: MIT
#pragma once

#include "SNExport.h"

#include "CMMasterPumping.h"
#include "DGClockSlot.h"
#include "SNCommonFilter.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// A jitter buffer in one audio stream.
//
// Pins: InputPin (audio in), OutputPin (audio out). Arriving buffers are
// queued (at most Max of them; more are dropped) and sent on by a
// processing thread of the queue's own. The start is held back until data is
// there (on a threaded filter path: until more than Min buffers are queued)
// and is sent from the main thread. When the queue wins the pump role it
// paces the output with a clock of its own (one buffer per 1024-sample
// period) and master-pumps its source to keep more than Min buffers queued.
// Disabled, it passes the stream through unchanged.
//
//   TSNBufferQueue LQueue;
//   LQueue.SetMin(4); LQueue.SetMax(40);
//   LPlayer.GetOutputPin().Connect(LQueue.GetInputPin());
class TSNBufferQueue : public TSNCommonFilter {
public:
    static constexpr TIntSpec MinProperty{.Name = "Min", .Default = 0, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};
    static constexpr TIntSpec MaxProperty{.Name = "Max", .Default = 30, .Min = 0, .Max = 0xFFFFFFFF, .TypeName = "uint32"};
    // Buffers one processing-thread run sends at most.
    static constexpr int CFrameBuffers = 11;

    TSNBufferQueue();
    ~TSNBufferQueue() override;

    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    // Fill level (queued buffers) kept by pumping the source.
    uint32_t GetMin() const;
    void SetMin(uint32_t AValue);
    // Queued buffers above which arriving buffers are dropped.
    uint32_t GetMax() const;
    void SetMax(uint32_t AValue);
    TCMDefaultEnabledMasterPumping& GetMasterPumping() { return FMasterPumping; }

    // Queued buffers.
    size_t GetCount() const { return FSyncQueue.Count(); }
    // Discards the queued buffers.
    void Clear() { FSyncQueue.Clear(); }
    // Whether this queue holds the pump role and runs its own clock.
    bool IsPump() const { return FIsPump.load(); }
    // Buffers dropped at Max since construction.
    uint64_t GetDroppedCount() const { return FDropped.load(); }

protected:
    bool IntSingleOperation(const IPNNotifyOperationPtr& AOperation) override;
    bool BufferOperation(const IPNNotifyOperationPtr& AOperation) override;
    void AudioStreamStart(const TPNStartWaveOperation& AStartOperation) override;
    void StreamStop() override;
    void EnabledChanged() override;
    bool SourceDispatch(TPNPin& APin, const IPNNotifyOperationPtr& AOperation) override;
    bool CanStart() override;
    bool PumpRequest(const IPNNotifyOperationPtr& AOperation) override;
    bool StartPump(const IPNNotifyOperationPtr& AOperation) override;

    // Own clock tick: one buffer out, then Clock.
    void Pump();
    // Keeps the fill level: master-pumps the source while at most Min are
    // queued, 11 times at most.
    void Clock();
    void MainThreadStart(uint64_t AStream);
    // Processing thread: sends up to 11 queued buffers.
    void NewThreadFrame();

private:
    // Queues one buffer unless Max are queued. Returns false when dropped.
    bool Enqueue(const TPNSuppliedBufferOperation& ABuffer);
    // Schedules the start on the main thread (once per stream).
    void ScheduleStart();
    // Queues the buffer unless the queue is disabled (false then).
    bool EnqueueWhileEnabled(const IPNNotifyOperationPtr& AOperation);
    // Sends the first queued buffer, if any. Serialised with every other send.
    bool SendOne();

    uint32_t FMin = static_cast<uint32_t>(MinProperty.Default);
    uint32_t FMax = static_cast<uint32_t>(MaxProperty.Default);
    TCMDefaultEnabledMasterPumping FMasterPumping;
    TPNOperationList FSyncQueue;
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FIsPump{false};
    std::atomic<TPersistent*> FMasterPump{nullptr};
    std::atomic<uint64_t> FDropped{0};
    // Counts streams, so a start posted for an ended stream does nothing.
    std::atomic<uint64_t> FStream{0};
    // Serialises sends from the processing thread, the clock, master pumps
    // and the stop, so the stop always follows the last buffer.
    std::recursive_mutex FSendMutex;
    // Taken by the enabled check and enqueue of a buffer and by a disable's
    // clear: a buffer queued after that clear would go out after newer ones
    // that passed straight through.
    std::mutex FEnqueueMutex;
    TDGClockSlot FClockGen;
    std::unique_ptr<TProcessingThread> FProcessingThread;
    std::shared_ptr<std::atomic<bool>> FAlive = std::make_shared<std::atomic<bool>>(true);
};

namespace SNBufferQueue {
// Registers TSNBufferQueue with the component registry.
void RegisterPkg();
} // namespace SNBufferQueue

SN_API_END
} // namespace Sonorix
