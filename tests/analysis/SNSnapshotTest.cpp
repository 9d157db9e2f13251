// SPDX-License-Identifier: MIT
#include "SNSnapshot.h"
#include "AnalysisTestKit.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TSnapshotRig {
    TFeeder Feeder;
    TSNSnapshot Snap;
    TTestCollector Output;
    std::vector<ISNAudioBufferPtr> Events;
    ISNAudioBufferPtr Stream;
    uint32_t Sent = 0;

    explicit TSnapshotRig(unsigned ABits = 16, unsigned AChannels = 2, uint32_t AFrames = 5000)
    {
        Feeder.Pin.Connect(Snap.GetInputPin());
        Snap.GetOutputPin().Connect(Output.GetInputPin());
        Snap.SetOnSnapshot([this](TPersistent&, const ISNAudioBufferPtr& ABuffer) { Events.push_back(ABuffer); });
        Stream = TSNAudioBuffer::CreateSize(44100, ABits, AChannels, AFrames);
        for (uint32_t f = 0; f < AFrames; ++f)
            for (unsigned c = 0; c < AChannels; ++c)
                PutSample(*Stream, f, c, TTestSource::ExpectedSample(f, c, AChannels, ABits));
        Feeder.Start(Stream->GetWaveFormat());
    }
    void Send(uint32_t ACount)
    {
        Feeder.SendPart(*Stream, Sent, ACount);
        Sent += ACount;
    }
    // Whether ABuffer holds the stream's frames from AFirst on.
    ::testing::AssertionResult HoldsFrom(const ISNAudioBuffer& ABuffer, uint32_t AFirst) const
    {
        for (uint32_t f = 0; f < ABuffer.GetSize(); ++f)
            for (uint32_t c = 0; c < ABuffer.GetChannels(); ++c)
                if (ABuffer.GetItem(f, c) != Stream->GetItem(AFirst + f, c))
                    return ::testing::AssertionFailure() << "frame " << f << " channel " << c;
        return ::testing::AssertionSuccess();
    }
};

class SNSnapshotTest : public ::testing::TestWithParam<unsigned> {};

} // namespace

TEST_P(SNSnapshotTest, AnArmedSnapshotCompletesWithTheBufferThatFillsItAndDropsTheRest)
{
    TSnapshotRig LRig(GetParam());
    LRig.Send(441);
    EXPECT_TRUE(LRig.Events.empty()) << "nothing without a request";
    LRig.Snap.Snapshot();
    LRig.Send(441);
    LRig.Send(441);
    EXPECT_TRUE(LRig.Events.empty());
    EXPECT_TRUE(LRig.Snap.IsCollecting());
    LRig.Send(441); // 142 frames used, 299 dropped
    ASSERT_EQ(LRig.Events.size(), 1u);
    EXPECT_FALSE(LRig.Snap.IsCollecting());
    const ISNAudioBufferPtr& LShot = LRig.Events[0];
    EXPECT_EQ(LShot->GetSize(), 1024u);
    EXPECT_EQ(LShot->GetBitsPerSample(), GetParam());
    EXPECT_TRUE(LRig.HoldsFrom(*LShot, 441));
    // The output carries the snapshot only, then a resume.
    ASSERT_EQ(LRig.Output.Buffers().size(), 1u);
    EXPECT_EQ(LRig.Output.Buffers()[0], LShot);
    EXPECT_EQ(LRig.Output.Log(), (std::vector<std::string>{"TPNStartWaveOperation", "TPNSuppliedBufferOperation",
                                                            "TPNDGResumeOperation"}));
    LRig.Send(441);
    EXPECT_EQ(LRig.Events.size(), 1u) << "disarmed after completion";
}

INSTANTIATE_TEST_SUITE_P(Widths, SNSnapshotTest, ::testing::Values(8u, 16u, 24u, 32u));

TEST(SNSnapshot, RequestsByCallOrByTheClockPinEachMakeANewBufferThatLaterCapturesLeaveAlone)
{
    TSnapshotRig LRig;
    LRig.Snap.SetSnapShotSize(300);
    LRig.Snap.Snapshot();
    LRig.Snap.TakeSnapshot(); // two requests, one snapshot
    LRig.Send(100);
    LRig.Send(200); // exactly the room left
    ASSERT_EQ(LRig.Events.size(), 1u);
    EXPECT_TRUE(LRig.HoldsFrom(*LRig.Events[0], 0));
    LRig.Send(300);
    EXPECT_EQ(LRig.Events.size(), 1u);
    TTestCollector LClockOwner;
    TPNClockSourcePin LClock(&LClockOwner, "Clock");
    LClock.Connect(LRig.Snap.GetSnapshotPin());
    LClock.Notify(std::make_shared<TPNClockOperation>(0));
    EXPECT_TRUE(LRig.Snap.IsCollecting());
    LRig.Send(300);
    ASSERT_EQ(LRig.Events.size(), 2u);
    EXPECT_NE(LRig.Events[0], LRig.Events[1]);
    EXPECT_TRUE(LRig.HoldsFrom(*LRig.Events[0], 0));
    EXPECT_TRUE(LRig.HoldsFrom(*LRig.Events[1], 600));
}

TEST(SNSnapshot, ResizingAnnouncesTheNewSizeAndShrinkingWhileCollectingNeverWritesPastTheEnd)
{
    TSnapshotRig LRig;
    LRig.Snap.SetSnapShotSize(50);
    EXPECT_EQ(LRig.Output.Log(), (std::vector<std::string>{"TPNStartWaveOperation", "TPNDGResumeOperation",
                                                            "TPNStartWaveOperation"}));
    LRig.Snap.Snapshot();
    LRig.Send(60);
    ASSERT_EQ(LRig.Events.size(), 1u);
    EXPECT_EQ(LRig.Events[0]->GetSize(), 50u);
    LRig.Snap.SetSnapShotSize(1024);
    LRig.Snap.Snapshot();
    LRig.Send(600);
    LRig.Snap.SetSnapShotSize(100);
    LRig.Send(10);
    ASSERT_EQ(LRig.Events.size(), 2u);
    EXPECT_EQ(LRig.Events[1]->GetSize(), 100u);
    EXPECT_TRUE(LRig.HoldsFrom(*LRig.Events[1], 60));
}

TEST(SNSnapshot, DisabledOrDisarmedBuffersAreIgnored)
{
    TSnapshotRig LRig;
    LRig.Snap.SetEnabled(false);
    LRig.Snap.Snapshot();
    LRig.Send(2000);
    EXPECT_TRUE(LRig.Events.empty());
    EXPECT_TRUE(LRig.Output.Buffers().empty());
    LRig.Snap.SetEnabled(true);
    LRig.Send(1024);
    ASSERT_EQ(LRig.Events.size(), 1u);
    EXPECT_TRUE(LRig.HoldsFrom(*LRig.Events[0], 2000));
}
