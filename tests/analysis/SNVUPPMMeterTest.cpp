// SPDX-License-Identifier: MIT
// The VU and PPM meters against a direct double-precision model of their DC
// blocker and level follower.
#include "SNPPMMeter.h"
#include "SNVUMeter.h"
#include "AnalysisTestKit.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

template <class TMeter>
struct TRig {
    TFeeder Feeder;
    TMeter Meter;
    TRealRecorder Level{TPNDataType::dtRealValue};
    TRig()
    {
        Meter.SetCountChannels(1);
        Feeder.Pin.Connect(Meter.GetInputPin());
        Level.Listen(Meter.GetOutputPins()[0]);
    }
};

// y[k] = x[k-1] - x[k-2] + p y[k-1], p = 1 - 2 pi 20 / fs.
std::vector<double> DcBlocked(const ISNAudioBuffer& ABuffer)
{
    const double p = 1 - 2 * std::numbers::pi * 20 / ABuffer.GetSamplesPerSecond();
    std::vector<double> y(ABuffer.GetSize());
    double x1 = 0, x2 = 0, y1 = 0;
    for (uint32_t k = 0; k < ABuffer.GetSize(); ++k) {
        const double x = ABuffer.GetItem(k, 0);
        y[k] = x1 - x2 + p * y1;
        x2 = x1;
        x1 = x;
        y1 = y[k];
    }
    return y;
}

std::vector<double> PeriodRms(const std::vector<double>& y, size_t n)
{
    std::vector<double> LResult;
    for (size_t s = 0; s + n < y.size(); s += n) {
        double LSum = 0;
        for (size_t i = s; i < s + n; ++i)
            LSum += y[i] * y[i];
        LResult.push_back(std::sqrt(LSum / n));
    }
    return LResult;
}

} // namespace

TEST(SNVUMeter, ADcInputDecaysTowardsZeroAsTheBlockerSays)
{
    TRig<TSNVUMeter> LRig;
    ISNAudioBufferPtr LDc = MakeSignal(44100, 16, 1, 44101, [](uint32_t, unsigned) { return 10000.0; });
    LRig.Feeder.Start(LDc->GetWaveFormat());
    LRig.Feeder.Send(LDc);
    const auto LValues = LRig.Level.Values();
    const auto LExpected = PeriodRms(DcBlocked(*LDc), 4410);
    // The pin sends only changes: once the tail's squares underflow single
    // precision the reading stops changing, near 0.
    ASSERT_GE(LValues.size(), 3u);
    ASSERT_LE(LValues.size(), LExpected.size());
    for (size_t i = 0; i < LValues.size(); ++i) {
        EXPECT_NEAR(LValues[i], LExpected[i], 1e-3 * LExpected[i] + 1e-3) << i;
        if (i > 0) {
            EXPECT_LT(LValues[i], LValues[i - 1]);
        }
    }
    EXPECT_LT(LValues[1], 1e-3 * 10000);
    EXPECT_LT(LValues.back(), 1e-6);
}

TEST(SNVUMeter, ASineReadsItsFilteredRmsAndCutsDoNotMatter)
{
    // A rising amplitude, so that every period reads differently.
    ISNAudioBufferPtr LSine = MakeSignal(48000, 24, 1, 48000, [](uint32_t f, unsigned) {
        return 2e6 * (1 + f / 48000.0) * std::sin(2 * std::numbers::pi * 1000 * f / 48000.0);
    });
    TRig<TSNVUMeter> LWhole;
    LWhole.Feeder.Start(LSine->GetWaveFormat());
    LWhole.Feeder.Send(LSine);
    const auto LExpected = PeriodRms(DcBlocked(*LSine), 4800);
    const auto LValues = LWhole.Level.Values();
    ASSERT_EQ(LValues.size(), LExpected.size());
    for (size_t i = 0; i < LValues.size(); ++i)
        EXPECT_NEAR(LValues[i], LExpected[i], 1e-4 * LExpected[i]) << i;
    // The blocker barely touches 1 kHz: the RMS of the sine itself.
    EXPECT_NEAR(LValues[5], 2e6 * 1.55 / std::numbers::sqrt2, 2e-3 * LValues[5]);
    for (uint32_t LSeed = 1; LSeed <= 4; ++LSeed) {
        TRig<TSNVUMeter> LSplit;
        LSplit.Feeder.Start(LSine->GetWaveFormat());
        LSplit.Feeder.SendRandomSplit(*LSine, LSeed, 5000);
        EXPECT_EQ(LSplit.Level.Values(), LValues) << "seed " << LSeed;
    }
}

TEST(SNPPMMeter, HoldsPeaksAndReleasesByLevelOverNPerSample)
{
    // A burst of full-scale square wave, then silence.
    const uint32_t LRate = 44100;
    ISNAudioBufferPtr LInput = MakeSignal(LRate, 16, 1, 3 * LRate + 1, [&](uint32_t f, unsigned) {
        return f < 4410 ? ((f / 20) % 2 ? 30000.0 : -30000.0) : 0.0;
    });
    TRig<TSNPPMMeter> LRig;
    LRig.Meter.SetHalfLife(500);
    LRig.Meter.SetPeriod(10);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);

    // The model: same filter, same follower, in double precision.
    const auto y = DcBlocked(*LInput);
    const double N = LRate * 500 / 1000.0;
    std::vector<double> LExpected;
    double L = 0;
    for (size_t i = 0; i + 1 < y.size(); ++i) {
        const double a = std::abs(y[i]);
        if (a > L)
            L = a;
        else if (L > 0.005)
            L = std::max(L - L / N, a);
        else
            L = 0;
        if ((i + 1) % 441 == 0)
            LExpected.push_back(L);
    }
    const auto LValues = LRig.Level.Values();
    ASSERT_EQ(LValues.size(), LExpected.size());
    for (size_t i = 0; i < LValues.size(); ++i)
        EXPECT_NEAR(LValues[i], LExpected[i], 2e-3 * std::max(LExpected[i], 1.0)) << i;
    // The peak is held through the burst; once the blocker's tail has died
    // away the level falls to 1/e in HalfLife (50 periods of 10 ms).
    for (size_t i = 1; i < 10; ++i)
        EXPECT_GT(LValues[i], 25000.0);
    EXPECT_NEAR(LValues[70] / LValues[20], std::pow(1 - 1 / N, 50 * 441.0), 1e-6);
    EXPECT_NEAR(LValues[70] / LValues[20], std::exp(-1.0), 1e-4);
}

TEST(SNPPMMeter, ALevelThatFallsToTheThresholdEndsAtZero)
{
    // A DC step of 1: the blocker's output jumps to 1 and decays; the level
    // follows it down and is cut to 0 once at or below 0.005.
    ISNAudioBufferPtr LInput = MakeSignal(44100, 16, 1, 44101, [](uint32_t f, unsigned) { return f >= 2 ? 1.0 : 0.0; });
    TRig<TSNPPMMeter> LRig;
    LRig.Meter.SetHalfLife(1);
    LRig.Meter.SetPeriod(100);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);
    const auto LValues = LRig.Level.Values();
    ASSERT_FALSE(LValues.empty());
    EXPECT_LT(LValues.back(), 1e-6);
}

TEST(SNPPMMeter, HeldLevelsSurviveANewStreamAndChunkingDoesNotMatter)
{
    ISNAudioBufferPtr LInput = MakeSignal(44100, 32, 1, 22050, [](uint32_t f, unsigned) {
        return f % 5000 < 100 ? 1e9 * std::sin(0.3 * f) : 0.0;
    });
    TRig<TSNPPMMeter> LWhole;
    LWhole.Feeder.Start(LInput->GetWaveFormat());
    LWhole.Feeder.Send(LInput);
    for (uint32_t LSeed = 1; LSeed <= 4; ++LSeed) {
        TRig<TSNPPMMeter> LSplit;
        LSplit.Feeder.Start(LInput->GetWaveFormat());
        LSplit.Feeder.SendRandomSplit(*LInput, LSeed, 3000);
        EXPECT_EQ(LSplit.Level.Values(), LWhole.Level.Values()) << "seed " << LSeed;
    }
    const double LHeld = LWhole.Level.Values().back();
    ASSERT_GT(LHeld, 0.0);
    // A new start keeps the held level: one silent period reads it decayed.
    LWhole.Feeder.Start(LInput->GetWaveFormat());
    LWhole.Feeder.Send(MakeSignal(44100, 32, 1, 4411, [](uint32_t, unsigned) { return 0.0; }));
    EXPECT_GT(LWhole.Level.Values().back(), 0.5 * LHeld);
}

TEST(SNPPMMeter, DegenerateHalfLivesNeverLeaveTheFiniteNumbers)
{
    for (int32_t LHalfLife : {0, -1000, 1}) {
        TRig<TSNPPMMeter> LRig;
        LRig.Meter.SetHalfLife(LHalfLife);
        EXPECT_EQ(LRig.Meter.GetHalfLife(), LHalfLife);
        ISNAudioBufferPtr LInput = MakeSignal(44100, 16, 1, 44101, [](uint32_t f, unsigned) { return 3000.0 * std::sin(0.01 * f); });
        LRig.Feeder.Start(LInput->GetWaveFormat());
        LRig.Feeder.Send(LInput);
        for (double v : LRig.Level.Values())
            EXPECT_TRUE(std::isfinite(v)) << LHalfLife;
    }
}
