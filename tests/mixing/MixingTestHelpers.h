// SPDX-License-Identifier: MIT
// A hand-driven upstream for the multi-input tests: sends a start, buffers
// of counting or constant samples, and a stop when told, on the calling
// thread, so every step's effect can be checked at once.
#pragma once

#include "CVPlainClass.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "TestComponents.h"
#include "TestSamples.h"

#include <atomic>
#include <functional>
#include <optional>

// A namespace of its own: other test kits have helpers of the same names.
namespace Sonorix::Test::Mixing {

class TFeeder : public TPersistent {
public:
    TFeeder() : FPin(this, "OutputPin")
    {
        FPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) { return Upstream(AOperation); });
    }
    ~TFeeder() override { FPin.DisconnectAll(); }

    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TFeeder">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    void Connect(TPNPin& ASink) { FPin.Connect(static_cast<TPNSinkPin&>(ASink)); }
    void Start(uint32_t ARate, unsigned ABits, unsigned AChannels)
    {
        FFormat = MakeWaveFormat(ARate, ABits, AChannels);
        FFrame = 0;
        FPin.SendStart(FFormat);
    }
    // AFrames of the counting signal of TTestSource (or of AValue when set).
    void Send(uint32_t AFrames, std::optional<int32_t> AValue = std::nullopt)
    {
        const unsigned LChannels = FFormat.Format.nChannels;
        const unsigned LBits = FFormat.Format.wBitsPerSample;
        ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateWaveFormat(FFormat, AFrames);
        for (uint32_t F = 0; F < AFrames; ++F)
            for (unsigned C = 0; C < LChannels; ++C)
                PutSample(*LBuffer, F, C,
                          AValue ? *AValue : TTestSource::ExpectedSample(FFrame + F, C, LChannels, LBits));
        FFrame += AFrames;
        FPin.SendBuffer(LBuffer);
    }
    void SendBuffer(ISNAudioBufferPtr ABuffer) { FPin.SendBuffer(std::move(ABuffer)); }
    void Stop() { FPin.SendStop(); }
    void Notify(IPNNotifyOperationPtr AOperation) { FPin.Notify(std::move(AOperation)); }

    TSNPNAudioSourcePin& Pin() { return FPin; }

    // Answers a stream query with an ignore (no stream will come).
    std::atomic<bool> AnswerIgnore{false};
    std::atomic<int> Queries{0};
    std::atomic<int> MasterPumps{0};

private:
    bool Upstream(const IPNNotifyOperationPtr& AOperation)
    {
        if (OperationAs<TPNQueryStreamOperation>(AOperation)) {
            ++Queries;
            if (AnswerIgnore)
                FPin.Notify(std::make_shared<TPNIgnoreStreamOperation>());
            return true;
        }
        if (OperationAs<TPNMasterPumpOperation>(AOperation))
            ++MasterPumps;
        return true;
    }

    TSNPNAudioSourcePin FPin;
    WAVEFORMATEXTENSIBLE FFormat{};
    uint64_t FFrame = 0;
};

} // namespace Sonorix::Test::Mixing

namespace Sonorix::Test {
using namespace Mixing;
}
