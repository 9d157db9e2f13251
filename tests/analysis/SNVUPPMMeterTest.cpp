// SPDX-License-Identifier: MIT
// The VU and PPM meters: their DC blocker (pole 1 - 2 pi 20 / fs) and level
// follower against closed-form values.
#include "SNPPMMeter.h"
#include "SNVUMeter.h"
#include "AnalysisTestKit.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

TEST(SNVUMeter, ADcStepDecaysGeometricallyAsTheBlockerSays)
{
    // The blocker turns a step of 10000 into 10000 p^(k-1) from frame 1 on: the
    // first period's RMS is a geometric sum.
    TMeterRig<TSNVUMeter> LRig(1);
    const auto LValues = LRig.Run(MakeSignal(44100, 16, 1, 44101, [](uint32_t, unsigned) { return 10000.0; }));
    const double p = 1 - 2 * std::numbers::pi * 20 / 44100;
    const double LFirst = 10000 * std::sqrt((1 - std::pow(p, 2 * 4409)) / (1 - p * p) / 4410);
    ASSERT_GE(LValues.size(), 3u);
    EXPECT_NEAR(LValues[0], LFirst, 1e-3 * LFirst);
    for (size_t i = 1; i < LValues.size(); ++i)
        EXPECT_LT(LValues[i], LValues[i - 1]) << i;
    EXPECT_LT(LValues[1], 10.0);
    EXPECT_LT(LValues.back(), 1e-6);
}

TEST(SNVUMeter, ASineReadsItsRmsAndCutsDoNotMatter)
{
    // A rising amplitude, so that every period reads differently; the blocker
    // barely touches 1 kHz.
    ISNAudioBufferPtr LSine = MakeSignal(48000, 24, 1, 48000, [](uint32_t f, unsigned) {
        return 2e6 * (1 + f / 48000.0) * std::sin(2 * std::numbers::pi * 1000 * f / 48000.0);
    });
    TMeterRig<TSNVUMeter> LWhole(1);
    const auto LValues = LWhole.Run(LSine);
    ASSERT_EQ(LValues.size(), 9u);
    for (size_t i : {2u, 5u, 8u})
        EXPECT_NEAR(LValues[i], 2e6 * (1 + (i + 0.5) / 10) / std::numbers::sqrt2, 2e-3 * LValues[i]) << i;
    for (uint32_t LSeed = 1; LSeed <= 4; ++LSeed)
        EXPECT_EQ(TMeterRig<TSNVUMeter>(1).Run(LSine, LSeed, 5000), LValues) << "seed " << LSeed;
}

TEST(SNPPMMeter, HoldsPeaksReleasesByLevelOverNAndCutsToZeroAtTheThreshold)
{
    // A burst of full-scale square wave, then silence.
    TMeterRig<TSNPPMMeter> LRig(1);
    LRig.Meter.SetHalfLife(500);
    LRig.Meter.SetPeriod(10);
    const auto LValues = LRig.Run(MakeSignal(44100, 16, 1, 3 * 44100 + 1, [&](uint32_t f, unsigned) {
        return f < 4410 ? ((f / 20) % 2 ? 30000.0 : -30000.0) : 0.0;
    }));
    ASSERT_EQ(LValues.size(), 300u);
    // The peak is held through the burst; once the blocker's tail has died
    // away the level falls by 1 - 1/N per sample: 1/e in HalfLife (50 periods).
    for (size_t i = 1; i < 10; ++i)
        EXPECT_GT(LValues[i], 25000.0) << i;
    const double N = 44100 * 0.5;
    EXPECT_NEAR(LValues[70] / LValues[20], std::pow(1 - 1 / N, 50 * 441.0), 1e-6);
    // A step of 1: the level follows the blocker's decay and is cut to 0 at 0.005.
    TMeterRig<TSNPPMMeter> LStep(1);
    LStep.Meter.SetHalfLife(1);
    LStep.Meter.SetPeriod(100);
    const auto LStepValues =
        LStep.Run(MakeSignal(44100, 16, 1, 44101, [](uint32_t f, unsigned) { return f >= 2 ? 1.0 : 0.0; }));
    ASSERT_FALSE(LStepValues.empty());
    EXPECT_EQ(LStepValues.back(), 0.0);
}

TEST(SNPPMMeter, HeldLevelsSurviveANewStreamAndChunkingDoesNotMatter)
{
    ISNAudioBufferPtr LInput = MakeSignal(44100, 32, 1, 22050, [](uint32_t f, unsigned) {
        return f % 5000 < 100 ? 1e9 * std::sin(0.3 * f) : 0.0;
    });
    TMeterRig<TSNPPMMeter> LWhole(1);
    const std::vector<double> LValues = LWhole.Run(LInput);
    const double LHeld = LValues.back();
    for (uint32_t LSeed = 1; LSeed <= 4; ++LSeed)
        EXPECT_EQ(TMeterRig<TSNPPMMeter>(1).Run(LInput, LSeed), LValues) << "seed " << LSeed;
    ASSERT_GT(LHeld, 0.0);
    // A new start keeps the held level: one silent period reads it decayed.
    LWhole.Run(MakeSignal(44100, 32, 1, 4411, [](uint32_t, unsigned) { return 0.0; }));
    EXPECT_GT(LWhole.Pins[0]->Values().back(), 0.5 * LHeld);
    // Degenerate half-lives never leave the finite numbers.
    for (int32_t LHalfLife : {0, -1000, 1}) {
        TMeterRig<TSNPPMMeter> LRig(1);
        LRig.Meter.SetHalfLife(LHalfLife);
        const auto LValues =
            LRig.Run(MakeSignal(44100, 16, 1, 44101, [](uint32_t f, unsigned) { return 3000.0 * std::sin(0.01 * f); }));
        for (double v : LValues)
            EXPECT_TRUE(std::isfinite(v)) << LHalfLife;
    }
}
