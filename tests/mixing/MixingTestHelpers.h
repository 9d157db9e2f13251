// SPDX-License-Identifier: MIT
// A hand-driven upstream for the multi-input tests: sends a start, buffers
// of counting or constant samples, and a stop when told, on the calling
// thread, so every step's effect can be checked at once.
#pragma once

#include "CVPlainClass.h"
#include "PNPins.h"
#include "SNAudioBuffer.h"
#include "SNAudioMixer.h"
#include "TestComponents.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

// A namespace of its own: other test kits have helpers of the same names.
namespace Sonorix::Test::Mixing {

// Waits (yielding) until APred holds; the state it watches is set by
// another thread without any timing involved.
template <class P>
void SpinUntil(P APred)
{
    while (!APred())
        std::this_thread::yield();
}

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

// The first sample of each collected buffer, in arrival order.
inline std::vector<int32_t> Values(const TTestCollector& ACollector)
{
    std::vector<int32_t> LValues;
    for (const ISNAudioBufferPtr& LBuffer : ACollector.Buffers())
        LValues.push_back(LBuffer->GetItem(0, 0));
    return LValues;
}

// A mixer with one hand-driven feeder per channel and a collector.
class TMixerTest : public ::testing::Test {
protected:
    void Wire(int AChannels)
    {
        FMixer.GetChannels().SetCount(AChannels);
        for (int I = 0; I < AChannels; ++I) {
            FFeeders.push_back(std::make_unique<TFeeder>());
            FFeeders.back()->Connect(FMixer.GetInputPins()[I]);
        }
        FMixer.GetOutputPin().Connect(FCollector.GetInputPin());
    }
    TFeeder& Feeder(int I) { return *FFeeders[static_cast<size_t>(I)]; }
    TSNAudioMixerChannelItem& Channel(int I) { return FMixer.GetChannels()[I]; }
    TSNPNQueuedAudioSinkPin& Pin(int I) { return Channel(I).GetInputPin(); }
    std::vector<ISNAudioBufferPtr> Buffers() const { return FCollector.Buffers(); }

    TSNAudioMixer FMixer;
    std::vector<std::unique_ptr<TFeeder>> FFeeders;
    TTestCollector FCollector;
};

} // namespace Sonorix::Test::Mixing

namespace Sonorix::Test {
using namespace Mixing;
}
