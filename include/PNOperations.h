// SPDX-License-Identifier: MIT
// Operations that travel along pins, and the thread-safe operation list.
//
// An operation is created with MakePooled (per buffer: its memory comes from
// the buffer pool) or std::make_shared and handed on by shared pointer, so
// any component on the way may keep it in a queue.
#pragma once

#include "SNExport.h"

#include "DGBuffers.h"
#include "SNTypes.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <typeinfo>

namespace Sonorix {
SN_API_BEGIN

class ISNAudioBuffer;
class IDGBlockBuffer;
class IDGRealBuffer;
class TPersistent;
using ISNAudioBufferPtr = std::shared_ptr<ISNAudioBuffer>;
using IDGBlockBufferPtr = std::shared_ptr<IDGBlockBuffer>;
using IDGRealBufferPtr = std::shared_ptr<IDGRealBuffer>;

class IPNNotifyOperation {
public:
    virtual ~IPNNotifyOperation() = default;
    virtual const char* GetName() const = 0;
};
using IPNNotifyOperationPtr = std::shared_ptr<IPNNotifyOperation>;

// Returns the operation as T, or nullptr when it is of another class.
//
// Every component asks this several times of every operation it sees, and a
// dynamic_cast that fails walks the class tree and compares type names. The
// answer depends on the operation's class only, so the answers for the first
// four classes T meets are kept, keyed by the class's type_info (whose address
// is fixed while its library stays loaded; modules stay loaded once their
// classes are in use). Any entry may hold any class: one picked by address
// bits would let two classes that alternate, a buffer and a clock tick, evict
// each other at every call. An entry is one word, the type_info's address with
// the answer in its lowest bit: threads may race on it harmlessly.
template <class T>
T* OperationAs(const IPNNotifyOperationPtr& AOperation)
{
    IPNNotifyOperation* LOperation = AOperation.get();
    if (!LOperation)
        return nullptr;
    static std::atomic<uintptr_t> LAnswers[4];
    // Named first: GCC 12 takes the static type when typeid sits inside the
    // cast of a const initialiser.
    const std::type_info& LClass = typeid(*LOperation);
    const auto LType = reinterpret_cast<uintptr_t>(&LClass);
    for (std::atomic<uintptr_t>& LAnswer : LAnswers) {
        const uintptr_t LKnown = LAnswer.load(std::memory_order_relaxed);
        if ((LKnown & ~uintptr_t{1}) == LType)
            return LKnown & 1 ? static_cast<T*>(LOperation) : nullptr;
    }
    T* LResult = dynamic_cast<T*>(LOperation);
    const uintptr_t LEntry = LType | (LResult ? 1 : 0);
    // A free entry, else (a fifth class) the one the address picks.
    for (std::atomic<uintptr_t>& LAnswer : LAnswers) {
        uintptr_t LFree = 0;
        if (LAnswer.compare_exchange_strong(LFree, LEntry, std::memory_order_relaxed))
            return LResult;
    }
    LAnswers[(LType >> 4) & 3].store(LEntry, std::memory_order_relaxed);
    return LResult;
}

#define SN_DECLARE_OPERATION(Name)                                                                           \
    const char* GetName() const override { return #Name; }

// An audio stream starts with this format.
class TPNStartWaveOperation : public IPNNotifyOperation {
public:
    explicit TPNStartWaveOperation(const WAVEFORMATEXTENSIBLE& AWaveFormat, bool AStartFlag = false)
        : WaveFormat(AWaveFormat), StartFlag(AStartFlag) {}
    SN_DECLARE_OPERATION(TPNStartWaveOperation)
    WAVEFORMATEXTENSIBLE WaveFormat;
    bool StartFlag;
};

// A stream starts; only its rate is known (0 for packet streams).
class TPNStartSampleRateOperation : public IPNNotifyOperation {
public:
    explicit TPNStartSampleRateOperation(double ASampleRate) : SampleRate(ASampleRate) {}
    SN_DECLARE_OPERATION(TPNStartSampleRateOperation)
    double SampleRate;
};

class TPNStopOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNStopOperation)
};

// The source reached its end without stopping the stream.
class TPNFileEndNoStopOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNFileEndNoStopOperation)
};

// The stream delivers data again.
class TPNActivateStreamOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNActivateStreamOperation)
};

// One buffer of a stream: audio, a binary packet, or real numbers. Exactly
// one of the three pointers is set.
class TPNSuppliedBufferOperation : public IPNNotifyOperation {
public:
    explicit TPNSuppliedBufferOperation(ISNAudioBufferPtr AAudio) : AudioBuffer(std::move(AAudio)) {}
    explicit TPNSuppliedBufferOperation(IDGBlockBufferPtr ABlock) : Block(std::move(ABlock)) {}
    explicit TPNSuppliedBufferOperation(IDGRealBufferPtr AReals) : Reals(std::move(AReals)) {}
    SN_DECLARE_OPERATION(TPNSuppliedBufferOperation)
    ISNAudioBufferPtr AudioBuffer;
    IDGBlockBufferPtr Block;
    IDGRealBufferPtr Reals;
};

// Asks upstream whether a stream will be delivered.
class TPNQueryStreamOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNQueryStreamOperation)
};

// The answer to a query when no stream will come.
class TPNIgnoreStreamOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNIgnoreStreamOperation)
};

class TPNDGPauseOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNDGPauseOperation)
};

class TPNDGResumeOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNDGResumeOperation)
};

// A start request travelling upstream.
class TPNStartOperation : public IPNNotifyOperation {
public:
    SN_DECLARE_OPERATION(TPNStartOperation)
};

// Strength of a pump claim; only the order matters.
enum TPNPumpType : uint32_t { ptNone = 0, ptSoftware = 1, ptMaster = 2, ptHardware = 3 };

// Pumping begins; PumpObject is the component (or item) that drives the chain.
class TPNStartPumpOperation : public IPNNotifyOperation {
public:
    explicit TPNStartPumpOperation(TPersistent* APumpObject) : PumpObject(APumpObject) {}
    SN_DECLARE_OPERATION(TPNStartPumpOperation)
    TPersistent* PumpObject;
};

// Pump negotiation, travelling downstream. A component claims the pump role
// by writing itself, its type and its priority into the operation; the
// claim that comes back to the sender is the strongest one on the way.
class TPNPumpRequestOperation : public IPNNotifyOperation {
public:
    TPNPumpRequestOperation(TPersistent* APumpObject, TPNPumpType APumpType, uint32_t APriority,
                            double ARateFactor = 1.0)
        : PumpObject(APumpObject), PumpType(APumpType), Priority(APriority), RateFactor(ARateFactor) {}
    SN_DECLARE_OPERATION(TPNPumpRequestOperation)

    // Writes a claim into the request.
    void Claim(TPersistent* APumpObject, TPNPumpType APumpType, uint32_t APriority)
    {
        PumpObject = APumpObject;
        PumpType = APumpType;
        Priority = APriority;
    }
    // Whether a claim of this type and priority is stronger than the one held.
    bool IsWeakerThan(TPNPumpType APumpType, uint32_t APriority) const
    {
        return PumpType < APumpType || (PumpType == APumpType && Priority < APriority);
    }

    TPersistent* PumpObject;
    TPNPumpType PumpType;
    uint32_t Priority;
    double RateFactor;
};

// One tick of the master pump, travelling upstream: receivers send one
// buffer's worth. Source is the pump that ticked.
class TPNMasterPumpOperation : public IPNNotifyOperation {
public:
    explicit TPNMasterPumpOperation(TPersistent* ASource = nullptr) : Source(ASource) {}
    SN_DECLARE_OPERATION(TPNMasterPumpOperation)
    TPersistent* Source;
};

// A single real value with its range (meter readings and similar).
class TPNRealValueOperation : public IPNNotifyOperation {
public:
    TPNRealValueOperation(double AValue, double AMin, double AMax) : Value(AValue), Min(AMin), Max(AMax) {}
    SN_DECLARE_OPERATION(TPNRealValueOperation)
    double Value;
    double Min;
    double Max;
};

// The range of the values that follow on a real-number pin (a spectrum's
// bins, a vector's coordinates).
class TPNRealRangeOperation : public IPNNotifyOperation {
public:
    TPNRealRangeOperation(double AMin, double AMax) : Min(AMin), Max(AMax) {}
    SN_DECLARE_OPERATION(TPNRealRangeOperation)
    double Min;
    double Max;
};

// A stream of spectra starts; SampleRate is that of the analysed audio.
// Handlers of a rate-only start see it as one.
class TPNStartSpectrumOperation : public TPNStartSampleRateOperation {
public:
    explicit TPNStartSpectrumOperation(double ASampleRate) : TPNStartSampleRateOperation(ASampleRate) {}
    SN_DECLARE_OPERATION(TPNStartSpectrumOperation)
};

// A clock event; Time is in 100-nanosecond units.
class TPNClockOperation : public IPNNotifyOperation {
public:
    explicit TPNClockOperation(int64_t ATime) : Time(ATime) {}
    SN_DECLARE_OPERATION(TPNClockOperation)
    int64_t Time;
};

// Progress of a player: position between start and stop, in samples, and
// the same as times in 100-nanosecond units.
class TPNProgressOperation : public IPNNotifyOperation {
public:
    TPNProgressOperation(int64_t APosition, int64_t AStart, int64_t AStop, int64_t AStartTime = 0,
                         int64_t AStopTime = 0)
        : Position(APosition), Start(AStart), Stop(AStop), StartTime(AStartTime), StopTime(AStopTime) {}
    SN_DECLARE_OPERATION(TPNProgressOperation)
    int64_t Position;
    int64_t Start;
    int64_t Stop;
    int64_t StartTime;
    int64_t StopTime;
};

// A thread-safe FIFO of operations; its storage comes from the buffer pool,
// so a queue that fills and drains at steady state takes nothing from the heap.
class TPNOperationList {
public:
    void Append(IPNNotifyOperationPtr AOperation);
    // The oldest operation, or nullptr when the list is empty.
    IPNNotifyOperationPtr ExtractFirst();
    size_t Count() const;
    void Clear();

private:
    using TItems = std::deque<IPNNotifyOperationPtr, TDGPoolAllocator<IPNNotifyOperationPtr>>;
    mutable std::mutex FMutex;
    TItems FItems;
};

SN_API_END
} // namespace Sonorix
