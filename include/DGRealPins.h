// SPDX-License-Identifier: MIT
// Sink pins for real numbers: the queued input of the real-to-audio
// converter, and the pin that hands arriving values to a published method.
#pragma once

#include "SNExport.h"

#include "DGBuffers.h"
#include "PNPins.h"

#include <deque>
#include <functional>
#include <mutex>

namespace Sonorix {
SN_API_BEGIN

// A queued input of real-number buffers. It also takes single values (a
// meter's readings): each becomes one value of the stream. Every member is
// guarded by the pin's own mutex, so producers and the owner may call from
// any thread.
class TDGPNQueuedRealSinkPin : public TDGPNRealSinkPin {
public:
    TDGPNQueuedRealSinkPin(TPersistent* AOwner, std::string AName) : TDGPNRealSinkPin(AOwner, std::move(AName)) {}

    bool Accepts(TPNDataType AType) const override
    {
        return AType == TPNDataType::dtReal || AType == TPNDataType::dtRealValue;
    }
    bool WantsEveryValue() const override { return true; }

    // A stream of ARate values per second starts: running, not stopping,
    // the queue emptied.
    void StartRate(double ARate);
    void AddBuffer(IDGRealBufferPtr ABuffer);
    // If running: stopping.
    void PrepareStop();
    // The stream is finished (the running flag stays until the next start).
    void Stop();
    bool IsRunning() const;
    bool IsStopping() const;
    // At least the needed count is queued.
    bool IsReady() const;
    double GetRate() const;
    uint64_t GetCollectedSamples() const;
    uint32_t GetNeededSamples() const;
    // Needed := round(ACount * rate / ARate); ERangeError beyond 32 bits.
    void CalculateSampleCount(uint32_t ACount, double ARate);
    // How many values at ARate the queued values last: round(collected *
    // ARate / rate).
    uint32_t GetSizeForRate(double ARate) const;
    // Fills ATarget from the queue, stretching the needed count to its size
    // by nearest value. False (nothing taken) when too little is queued.
    bool StretchLoadBuffer(IDGRealBuffer& ATarget);

private:
    // Takes ACount values into ADest. Called with FMutex held.
    void Take(double* ADest, uint32_t ACount);

    mutable std::mutex FMutex;
    std::deque<IDGRealBufferPtr> FQueue;
    uint64_t FCollected = 0;
    uint32_t FExtractOffset = 0;
    uint32_t FNeeded = 0;
    double FRate = 0;
    bool FRunning = false;
    bool FStopping = false;
    std::vector<double> FScratch;
};

// Hands every arriving value to a method (a published method such as a
// generator's FrequencyChangeEvent): values of a value pin as they come, the
// strongest bin's frequency of each spectrum, the last value of any other
// real buffer. On connection the method is called once with the source's
// current value and AOnConnect set, when the source holds one.
class TPNMethodSinkPin : public TPNSinkPin {
public:
    using TMethod = std::function<void(TPNPin& ASender, float AValue, bool AOnConnect)>;

    TPNMethodSinkPin(TPersistent* AOwner, std::string AName, TMethod AMethod);

    bool Accepts(TPNDataType AType) const override
    {
        return AType == TPNDataType::dtReal || AType == TPNDataType::dtRealValue;
    }
    void SourceConnected(TPNSourcePin& ASource) override;

private:
    bool Receive(const IPNNotifyOperationPtr& AOperation);

    TMethod FMethod;
    std::mutex FMutex;
    double FSpectrumRate = 0; // of the running spectrum stream, 0 for others
};

SN_API_END
} // namespace Sonorix
