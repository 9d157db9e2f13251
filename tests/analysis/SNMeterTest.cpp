// SPDX-License-Identifier: MIT
// The meter framework (period queue, modes, pin submissions, event delivery)
// and the RMS meter against hand-worked values.
#include "SNRMSMeter.h"
#include "AnalysisTestKit.h"
#include "CVThreading.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

class SNRMSMeterWidthTest : public ::testing::TestWithParam<unsigned> {};

} // namespace

TEST_P(SNRMSMeterWidthTest, SineSquareAndDcReadTheirRms)
{
    const unsigned LBits = GetParam();
    const double LFull = FullScale(LBits);
    // Channel 0: sine at 0.7 of full scale; 1: full-scale square (2210 high
    // and 2200 low frames in the first period); 2: DC.
    ISNAudioBufferPtr LInput = MakeSignal(44100, LBits, 3, 3 * 4410 + 1, [&](uint32_t f, unsigned c) {
        switch (c) {
        case 0: return 0.7 * LFull * std::sin(2 * std::numbers::pi * 1000.0 * f / 44100.0);
        case 1: return (f / 50) % 2 == 0 ? LFull : -LFull;
        default: return -0.25 * LFull;
        }
    });
    TMeterRig<TSNRMSMeter> LRig(3);
    LRig.Run(LInput);
    for (unsigned c = 0; c < 3; ++c) {
        // Sine periods differ slightly; the square and the DC repeat their
        // value and are sent once.
        ASSERT_GE(LRig.Pins[c]->Values().size(), 1u);
        ASSERT_LE(LRig.Pins[c]->Values().size(), 3u);
        EXPECT_EQ(LRig.Pins[c]->Ranges()[0], std::make_pair(0.0, LFull));
    }
    const double LSquare = LRig.Pins[1]->Values()[0], LDc = LRig.Pins[2]->Values()[0];
    if (LBits == 8) {
        // The stored bytes are measured, 128 for silence.
        EXPECT_NEAR(LSquare, std::sqrt((2210 * 255.0 * 255 + 2200 * 1.0) / 4410), 1e-4);
        EXPECT_NEAR(LDc, 96.0, 1e-4);
        return;
    }
    EXPECT_NEAR(LRig.Pins[0]->Values()[0], 0.7 * LFull / std::numbers::sqrt2, 2e-3 * LFull);
    EXPECT_NEAR(LSquare, LFull, 1e-6 * LFull);
    EXPECT_NEAR(LDc, std::abs(std::round(-0.25 * LFull)), 1e-6 * LFull);
}

INSTANTIATE_TEST_SUITE_P(Widths, SNRMSMeterWidthTest, ::testing::Values(8u, 16u, 24u, 32u));

TEST(SNCommonMeter, APeriodNeedsStrictlyMoreQueuedAndOnlyChangesAreSubmitted)
{
    TMeterRig<TSNRMSMeter> LRig(1);
    LRig.Meter.SetSynchronizeType(stNone);
    LRig.RecordEvents();
    ISNAudioBufferPtr LInput = MakeSignal(44100, 16, 1, 4410, [](uint32_t, unsigned) { return 1000.0; });
    LRig.Run(LInput);
    EXPECT_TRUE(LRig.Pins[0]->Values().empty());
    for (int i = 0; i < 4; ++i)
        LRig.Feeder.Send(LInput);
    // Four periods of the same level: the first reading is sent, the rest not.
    ASSERT_EQ(LRig.Pins[0]->Values().size(), 1u);
    EXPECT_NEAR(LRig.Pins[0]->Values()[0], 1000.0, 1e-9);
    ASSERT_EQ(LRig.Events.size(), 1u);
    EXPECT_EQ(LRig.Events[0].Channel, 0);
    // A tiny period gives one-sample periods (the queue must hold more than one sample).
    TMeterRig<TSNRMSMeter> LTiny(1);
    LTiny.Meter.SetPeriod(0);
    ISNAudioBufferPtr LRamp = MakeSignal(8000, 16, 1, 6, [](uint32_t f, unsigned) { return -100.0 * f; });
    LTiny.Run(LRamp);
    EXPECT_EQ(LTiny.Pins[0]->Values(), (std::vector<double>{0, 100, 200, 300, 400}));
}

TEST(SNCommonMeter, DecibelModeFloorAndSixDbForAFullScaleSquareAndTheChannelCount)
{
    TMeterRig<TSNRMSMeter> LRig(2);
    LRig.Meter.SetMode(vmDecibel);
    ISNAudioBufferPtr LInput =
        MakeSignal(44100, 16, 2, 4411, [](uint32_t f, unsigned c) { return c == 0 ? 0.0 : (f % 2 ? 32767.0 : -32767.0); });
    LRig.Run(LInput);
    const double LFloor = -20 * std::log10(32767.0);
    EXPECT_NEAR(LRig.Pins[0]->Values().at(0), LFloor, 1e-9);
    EXPECT_NEAR(LRig.Pins[1]->Values().at(0), 20 * std::log10(2.0), 1e-6);
    EXPECT_EQ(LRig.Pins[1]->Ranges().at(0), std::make_pair(LFloor, 20 * std::log10(2.0)));
    // The channel count follows pins and stream.
    TMeterRig<TSNRMSMeter> LOne(2);
    LOne.Meter.SetCountChannels(1);
    EXPECT_EQ(LOne.Meter.GetOutputPins().GetCount(), 1);
    LOne.Run(MakeSignal(44100, 16, 2, 4411, [](uint32_t, unsigned c) { return 100.0 * (c + 1); }));
    EXPECT_EQ(LOne.Meter.GetActiveChannels(), 1);
    EXPECT_NEAR(LOne.Pins[0]->Values().at(0), 100.0, 1e-9);
    LOne.Meter.SetCountChannels(4);
    EXPECT_EQ(LOne.Meter.GetActiveChannels(), 2);
}

TEST(SNCommonMeter, ResultsDoNotDependOnHowTheStreamIsCut)
{
    ISNAudioBufferPtr LInput = MakeSignal(44100, 24, 2, 44100, [](uint32_t f, unsigned c) {
        return 3e6 * std::sin(0.001 * f * f / 44100.0 + c) * std::exp(-1e-4 * f);
    });
    TMeterRig<TSNRMSMeter> LWhole(2);
    LWhole.Meter.SetPeriod(20);
    ASSERT_GE(LWhole.Run(LInput).size(), 40u);
    for (uint32_t LSeed = 1; LSeed <= 8; ++LSeed) {
        TMeterRig<TSNRMSMeter> LSplit(2);
        LSplit.Meter.SetPeriod(20);
        LSplit.Run(LInput, LSeed);
        for (int c = 0; c < 2; ++c)
            EXPECT_EQ(LSplit.Pins[c]->Values(), LWhole.Pins[c]->Values()) << "seed " << LSeed;
    }
}

class SNMeterEventTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MainThread().SetMainThread();
        MainThread().ProcessMessages();
    }
    // Four periods of rising levels, one per period.
    static ISNAudioBufferPtr Rising()
    {
        return MakeSignal(44100, 16, 2, 4 * 441 + 1, [](uint32_t f, unsigned c) { return 1000.0 * (f / 441 + 1) + c; });
    }
};

TEST_F(SNMeterEventTest, EachSynchronizeTypeDeliversWhereAndWhatItSays)
{
    for (TDGSynchronizeType LType : {stNone, stQueue, stSingleBuffer}) {
        SCOPED_TRACE(int(LType));
        TMeterRig<TSNRMSMeter> LRig;
        LRig.Meter.SetPeriod(10);
        if (LType != stSingleBuffer)
            LRig.Meter.SetSynchronizeType(LType);
        EXPECT_EQ(LRig.Meter.GetSynchronizeType(), LType);
        LRig.RecordEvents();
        LRig.Feeder.Start(Rising()->GetWaveFormat());
        LRig.Feeder.Send(Rising());
        // stNone raises at once on the audio thread, the others wait for the main thread.
        EXPECT_EQ(LRig.Events.size(), LType == stNone ? 8u : 0u);
        EXPECT_EQ(MainThread().ProcessMessages() == 0, LType == stNone);
        if (LType == stSingleBuffer) {
            // Only the latest undelivered period of each channel.
            ASSERT_EQ(LRig.Events.size(), 2u);
            EXPECT_DOUBLE_EQ(LRig.Events[0].Value, 4000.0);
            EXPECT_DOUBLE_EQ(LRig.Events[1].Value, 4001.0);
            continue;
        }
        ASSERT_EQ(LRig.Events.size(), 8u);
        for (size_t i = 0; i < 8; ++i) {
            EXPECT_EQ(LRig.Events[i].Channel, static_cast<int32_t>(i % 2));
            EXPECT_DOUBLE_EQ(LRig.Events[i].Value, 1000.0 * (i / 2 + 1) + i % 2);
            EXPECT_EQ(LRig.Events[i].Max, 32767.0);
        }
    }
}

TEST_F(SNMeterEventTest, AStopOrADestroyedMeterWithdrawsPendingNotifications)
{
    {
        TMeterRig<TSNRMSMeter> LRig;
        LRig.Meter.SetPeriod(10);
        LRig.Meter.SetSynchronizeType(stQueue);
        LRig.RecordEvents();
        LRig.Feeder.Start(Rising()->GetWaveFormat());
        LRig.Feeder.Send(Rising());
        LRig.Feeder.Stop();
        MainThread().ProcessMessages();
        EXPECT_TRUE(LRig.Events.empty());
        LRig.Feeder.Start(Rising()->GetWaveFormat());
        LRig.Feeder.Send(Rising());
    }
    // The meter is gone; its queued notifications do nothing.
    MainThread().ProcessMessages();
}

TEST(SNCommonMeter, AStartOfAWidthNoBufferHoldsMeasuresNothingAndThrowsNothing)
{
    TMeterRig<TSNRMSMeter> LRig(1);
    WAVEFORMATEXTENSIBLE LFormat = TSNAudioBuffer::CreateSize(44100, 16, 1, 1)->GetWaveFormat();
    LFormat.Format.wBitsPerSample = 12;
    LFormat.Samples.wValidBitsPerSample = 12;
    LRig.Feeder.Start(LFormat);
    EXPECT_NO_THROW(LRig.Feeder.Pin.Notify(std::make_shared<TPNSuppliedBufferOperation>(TDGBlockBuffer::CreateSize(100000))));
    EXPECT_NO_THROW(LRig.Feeder.Send(TSNAudioBuffer::CreateSize(44100, 16, 1, 10000)));
    EXPECT_TRUE(LRig.Pins[0]->Values().empty());
}
