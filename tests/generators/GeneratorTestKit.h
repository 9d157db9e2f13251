// SPDX-License-Identifier: MIT
// Test helpers for generators: a downstream component that claims the pump
// and ticks its source, and a run in virtual time stopped the way the tool's
// runner stops a pipeline.
#pragma once

#include "CVPlainClass.h"
#include "CVThreading.h"
#include "DGClock.h"
#include "SNCommonGen.h"
#include "TestComponents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace Sonorix::Test {

// A downstream component that claims the pump role and ticks its source.
class TTestPump : public TLockComponent {
public:
    explicit TTestPump(TPNPumpType AType = ptMaster, uint32_t APriority = 0)
        : FType(AType), FPriority(APriority), FInputPin(this, "InputPin")
    {
        FInputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation)) {
                if (FClaims && LRequest->IsWeakerThan(FType, FPriority))
                    LRequest->Claim(this, FType, FPriority);
            } else if (auto* LStart = OperationAs<TPNStartPumpOperation>(AOperation)) {
                PumpObject = LStart->PumpObject;
            }
            return FCollector.GetInputPin().Dispatch(AOperation);
        });
    }
    static const TClassDescription& ClassDescription() { return PlainClassDescription<"TTestPump">(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    TSNPNAudioSinkPin& GetInputPin() { return FInputPin; }
    const TTestCollector& Collector() const { return FCollector; }
    // One tick of the master pump, sent upstream.
    bool Tick() { return FInputPin.Notify(std::make_shared<TPNMasterPumpOperation>(this)); }
    void SetClaims(bool AClaims) { FClaims = AClaims; }

    TPersistent* PumpObject = nullptr;

private:
    TPNPumpType FType;
    uint32_t FPriority;
    bool FClaims = true;
    TSNPNAudioSinkPin FInputPin;
    TTestCollector FCollector;
};

inline void SetFormat(TSNCommonGen& AGen, int32_t ARate, int32_t ABits, int32_t AChannels, int32_t ABufferSize)
{
    AGen.GetAudioFormat().SetSampleRate(ARate);
    AGen.GetAudioFormat().SetBits(ABits);
    AGen.GetAudioFormat().SetCountChannels(AChannels);
    AGen.GetAudioFormat().SetBufferSize(ABufferSize);
}

// Runs AGen in virtual time and stops it at audio time ASeconds the way the
// tool's runner does: a clock started before the generator stops it.
inline void RunFor(TSNCommonGen& AGen, double ASeconds)
{
    TDGVirtualTimeScope LVirtual;
    std::unique_ptr<TDGClockGen> LStop;
    LStop = std::make_unique<TDGClockGen>(std::llround(ASeconds * DGTimeUnitsPerSecond), [&] {
        AGen.StopSource();
        LStop->Stop();
    });
    {
        TDGWorkScope LHold;
        LStop->Start();
        AGen.StartSource();
    }
    TDGTimeline::WaitIdle();
    ASSERT_FALSE(AGen.IsSourceRunning());
}

// Channel 0 of everything that reached ACollector, as 16-bit samples.
inline std::vector<int16_t> Channel0(const TTestCollector& ACollector)
{
    std::vector<int16_t> LSamples;
    for (const ISNAudioBufferPtr& LBuffer : ACollector.Buffers())
        for (uint32_t F = 0; F < LBuffer->GetSize(); ++F)
            LSamples.push_back(static_cast<int16_t>(LBuffer->GetItem(F, 0)));
    return LSamples;
}

// A generator of 16-bit samples driven tick by tick by a downstream master pump.
template <class TGen>
struct TGenBench {
    explicit TGenBench(int32_t ARate = 44100, int32_t ABufferSize = 1000, int32_t AChannels = 1)
    {
        Gen.GetOutputPin().Connect(Pump.GetInputPin());
        SetFormat(Gen, ARate, 16, AChannels, ABufferSize);
    }
    ~TGenBench() { Gen.StopSource(); }
    // Starts (if needed) and sends ABuffers buffers; returns channel 0 of all
    // buffers so far.
    std::vector<int16_t> Run(int ABuffers)
    {
        if (!Gen.IsSourceRunning())
            Gen.StartSource();
        for (int I = 0; I < ABuffers; ++I)
            Pump.Tick();
        return Channel0(Pump.Collector());
    }
    // Channel 0 of buffer AIndex.
    std::vector<int16_t> Buffer(size_t AIndex) const
    {
        const auto LAll = Channel0(Pump.Collector());
        const size_t LSize = Pump.Collector().Buffers().at(AIndex)->GetSize();
        return {LAll.begin() + static_cast<ptrdiff_t>(AIndex * LSize),
                LAll.begin() + static_cast<ptrdiff_t>((AIndex + 1) * LSize)};
    }

    TGen Gen;
    TTestPump Pump;
};

} // namespace Sonorix::Test
