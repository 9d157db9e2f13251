// SPDX-License-Identifier: MIT
// The processing thread of an encoder or a decoder.
#pragma once

#include "CVThreading.h"
#include "DGThreading.h"
#include "PNOperations.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace Sonorix {

class TPNPin;

// While the owner's Threading asks for it, operations arriving at the owner's
// input are queued and processed on a thread of the owner's own, in arrival
// order; otherwise the caller processes them on its own thread.
//
// Virtual time waits for the queue only where it has to: queued buffers let
// the clocks go on until CLagLimit operations wait (so that on two cores a
// decode, a filter chain and an encode overlap across ticks, as they do in
// real time), and from there on until a quarter of them is left, or while
// any other operation (a start, a stop, an end of file) waits or is being
// processed, time waits for the thread. A stream's stop is therefore
// processed, after every buffer before it, before a runner sees the
// pipeline idle.
class TSNCodecThread {
public:
    static constexpr size_t CLagLimit = 32;
    using TProcess = std::function<void(TPNPin&, const IPNNotifyOperationPtr&)>;

    TSNCodecThread(TDGThreading& AThreading, TProcess AProcess);
    ~TSNCodecThread();
    TSNCodecThread(const TSNCodecThread&) = delete;
    TSNCodecThread& operator=(const TSNCodecThread&) = delete;

    // Queues AOperation when threading is on and returns true; false: the
    // caller processes it. Any thread.
    bool Post(TPNPin& APin, const IPNNotifyOperationPtr& AOperation);
    // Whether threading is on; no lock.
    bool IsOn() const { return FOn.load(std::memory_order_acquire); }
    // Operations queued or being processed.
    size_t GetQueued() const;
    // The Threading changed: a running thread takes the new priority, or,
    // switched off, ends after the rest of the queue was processed here.
    void ThreadingChanged();
    // Ends the thread and drops what is queued. The owner calls it before
    // the state that processing touches goes.
    void Release();

private:
    struct TItem {
        TPNPin* Pin;
        IPNNotifyOperationPtr Operation;
        bool Control;
    };
    // The thread's one long run: processes items as they come until stopped.
    void Loop(uint64_t AGeneration);
    // Processes what is queued, on the calling thread.
    void Drain();
    // Whether the front item was taken (it stays queued until Done); one
    // item is in hand at a time, whichever thread took it. With AGeneration
    // (the loop's): waits for one while that loop is current.
    bool Front(TItem& AItem, const uint64_t* AGeneration);
    void Done(const TItem& AItem);
    void Process(const TItem& AItem);
    void UpdateHold(); // FMutex held.
    // Tells the running loop to end and hands over its thread, to be
    // released without our locks (FThreadMutex held by the caller).
    std::unique_ptr<TProcessingThread> StopThread();

    TDGThreading& FThreading;
    const TProcess FProcess;
    std::atomic<bool> FOn{false}; // FThreading's Enabled, as last changed.
    mutable std::mutex FMutex;
    std::condition_variable FCond;
    std::deque<TItem> FQueue; // The front item is the one being processed.
    size_t FControls = 0;
    bool FHolding = false;
    bool FBusy = false; // The front item is being processed.
    uint64_t FGeneration = 0; // Of the current loop; a stopped one is behind.
    bool FReleased = false;
    std::unique_ptr<TProcessingThread> FThread;
    std::mutex FThreadMutex; // Creation and end of FThread.
};

} // namespace Sonorix
