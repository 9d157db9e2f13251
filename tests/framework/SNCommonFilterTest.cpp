// SPDX-License-Identifier: MIT
#include "DGClock.h"
#include "SNCommonFilter.h"
#include "TestComponents.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

using namespace Sonorix;

namespace {

// Negates every sample and records the format it was started with.
class TNegate : public TSNCommonFilter {
public:
    WAVEFORMATEXTENSIBLE SeenAtStart{};
    bool RunningAtStart = false;
    int Stops = 0;

protected:
    void AudioStreamStart(const TPNStartWaveOperation& AStart) override
    {
        TSNCommonFilter::AudioStreamStart(AStart);
        SeenAtStart = FWaveFormat;
        RunningAtStart = FRunning;
    }
    void StreamStop() override
    {
        TSNCommonFilter::StreamStop();
        ++Stops;
    }
    void FilterInternalOperation(const ISNAudioBufferPtr& AIn, ISNAudioBufferPtr& AOut, bool& ASend) override
    {
        // The output is a writable copy of the input on entry.
        EXPECT_NE(AIn.get(), AOut.get());
        EXPECT_TRUE(Sonorix::Test::SameSamples(*AIn, *AOut));
        auto* LSamples = static_cast<int16_t*>(AOut->Modify());
        for (uint32_t I = 0; I < AOut->GetSize() * AOut->GetChannels(); ++I)
            LSamples[I] = static_cast<int16_t>(-LSamples[I]);
        // Odd-valued first samples are dropped, to see ASendOutputData work.
        ASend = (LSamples[0] & 1) == 0;
    }
};

ISNAudioBufferPtr Buffer16(int16_t AFirst, uint32_t AFrames = 4)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(48000, 16, 2, AFrames);
    auto* LSamples = static_cast<int16_t*>(LBuffer->Modify());
    for (uint32_t I = 0; I < AFrames * 2; ++I)
        LSamples[I] = static_cast<int16_t>(AFirst + static_cast<int16_t>(I));
    return LBuffer;
}

struct TChain {
    Sonorix::Test::TTestCollector Upstream;
    TSNPNAudioSourcePin Feed{&Upstream, "Feed"};
    TNegate Filter;
    Sonorix::Test::TTestCollector Collector;
    TChain()
    {
        Feed.Connect(Filter.GetInputPin());
        Filter.GetOutputPin().Connect(Collector.GetInputPin());
    }
};

} // namespace

TEST(SNCommonFilterTest, MainRoadStartsProcessesAndStops)
{
    TChain LChain;
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(48000, 16, 2);
    LChain.Feed.SendStart(LFormat);
    EXPECT_TRUE(LChain.Filter.RunningAtStart);
    EXPECT_EQ(LChain.Filter.SeenAtStart.Format.nSamplesPerSec, 48000u);
    EXPECT_TRUE(LChain.Filter.IsRunning());
    ISNAudioBufferPtr LInput = Buffer16(10);
    LChain.Feed.SendBuffer(LInput);
    LChain.Feed.SendBuffer(Buffer16(11)); // dropped by the filter
    LChain.Feed.SendStop();
    ASSERT_EQ(LChain.Collector.Buffers().size(), 1u);
    const ISNAudioBufferPtr LOutput = LChain.Collector.Buffers()[0];
    EXPECT_EQ(LOutput->GetItem(0, 0), -10);
    EXPECT_EQ(LOutput->GetItem(3, 1), -17);
    EXPECT_EQ(LInput->GetItem(0, 0), 10) << "the input is never written";
    EXPECT_EQ(LChain.Collector.Log(), (std::vector<std::string>{"TPNStartWaveOperation",
                                                                "TPNSuppliedBufferOperation", "TPNStopOperation"}));
    EXPECT_FALSE(LChain.Filter.IsRunning());
    EXPECT_EQ(LChain.Filter.Stops, 1);
    // Disabled, the filter passes the same buffer on.
    LChain.Filter.SetEnabled(false);
    LChain.Feed.SendStart(LFormat);
    LChain.Feed.SendBuffer(LInput);
    EXPECT_EQ(LChain.Collector.Buffers().back(), LInput);
}

TEST(SNCommonFilterTest, ThreadedFilterKeepsEveryOperationInOrder)
{
    TChain LChain;
    LChain.Filter.GetThreading().SetEnabled(true);
    LChain.Feed.SendStart(MakeWaveFormat(48000, 16, 2));
    // Two producers would reorder by nature; one producer hands over 2000
    // buffers as fast as it can while the filter works on its own thread.
    constexpr int CBuffers = 2000;
    for (int I = 0; I < CBuffers; ++I)
        LChain.Feed.SendBuffer(Buffer16(static_cast<int16_t>(2 * I), 1));
    LChain.Feed.SendStop();
    TDGTimeline::WaitIdle();
    const auto LLog = LChain.Collector.Log();
    ASSERT_EQ(LLog.size(), CBuffers + 2u);
    EXPECT_EQ(LLog.front(), "TPNStartWaveOperation");
    EXPECT_EQ(LLog.back(), "TPNStopOperation");
    const auto LBuffers = LChain.Collector.Buffers();
    for (int I = 0; I < CBuffers; ++I)
        ASSERT_EQ(LBuffers[static_cast<size_t>(I)]->GetItem(0, 0), -2 * I) << "buffer " << I;
    // Switching threading off hands processing back to the caller.
    LChain.Filter.GetThreading().SetEnabled(false);
    LChain.Feed.SendStart(MakeWaveFormat(48000, 16, 2));
    LChain.Feed.SendBuffer(Buffer16(4, 1));
    EXPECT_EQ(LChain.Collector.Buffers().back()->GetItem(0, 0), -4);
}

TEST(SNCommonFilterTest, PumpNegotiationPassesThroughUnlessAComponentClaims)
{
    TChain LChain;
    LChain.Filter.GetThreading().SetEnabled(true); // answered at once all the same
    auto LRequest = std::make_shared<TPNPumpRequestOperation>(&LChain.Upstream, ptSoftware, 0);
    LChain.Feed.Notify(LRequest);
    EXPECT_EQ(LRequest->PumpObject, &LChain.Upstream);
    EXPECT_EQ(LChain.Collector.Log().back(), "TPNPumpRequestOperation") << "the request reached the end";
    // A master-pump tick from downstream travels up to the source.
    int LTicks = 0;
    LChain.Feed.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        LTicks += OperationAs<TPNMasterPumpOperation>(AOperation) != nullptr;
        return true;
    });
    EXPECT_TRUE(LChain.Collector.GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>()));
    EXPECT_EQ(LTicks, 1);
}
