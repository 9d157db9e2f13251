// SPDX-License-Identifier: MIT
// The signal generator against waveforms worked out independently: the
// ideal cosine and triangle, the square's halves, the saw-tooth's cycle and
// its mirror image, and a literal reading of the saw-tooth's steps.
#include "GeneratorTestKit.h"
#include "SNSignalGen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Sonorix;
using namespace Sonorix::Test;

constexpr double CTwoPi = 2 * std::numbers::pi;
using TBench = TGenBench<TSNSignalGen>;

TEST(SNSignalGenTest, ToneIsTheCosineAndRunsOnAcrossBuffers)
{
    TBench LBench(44100, 1000);
    LBench.Gen.SetFrequency(500);
    LBench.Gen.SetPhase(0.3f);
    LBench.Gen.StartSource();
    LBench.Pump.Tick();
    // After one buffer of n samples: (phase + 2 pi 500 n / 44100) mod 2 pi.
    EXPECT_NEAR(LBench.Gen.GetCurrentPhase(), std::fmod(0.3 + CTwoPi * 500 * 1000 / 44100, CTwoPi), 1e-5);
    const auto LSamples = LBench.Run(4);
    ASSERT_EQ(LSamples.size(), 5000u);
    for (size_t K = 0; K < LSamples.size(); ++K)
        ASSERT_NEAR(LSamples[K], 20000 * std::cos(CTwoPi * 500 * K / 44100 + 0.3), 2.0) << "sample " << K;
    EXPECT_NEAR(LBench.Gen.GetCurrentPhase(), std::fmod(0.3 + CTwoPi * 500 * 5000 / 44100, CTwoPi), 1e-4);
}

TEST(SNSignalGenTest, ZeroOrRefusedFrequenciesAndAmplitudesKeepTheStreamRunning)
{
    for (TSNSignalType LType : {atTone, atTriangle, atSquare, atSawToothUp, atSawToothDown}) {
        SCOPED_TRACE(LType);
        const bool LPrimitive = LType == atTone || LType == atTriangle;
        // Frequency 0: a constant level, the start of the waveform or silence.
        TBench LBench(8000, 64);
        LBench.Gen.SetSignalType(LType);
        LBench.Gen.SetFrequency(0);
        const auto LSamples = LBench.Run(3);
        EXPECT_TRUE(LBench.Gen.IsSourceRunning());
        EXPECT_EQ(LBench.Gen.GetLastError(), "");
        ASSERT_EQ(LSamples.size(), 3u * 64);
        for (int16_t LSample : LSamples)
            ASSERT_EQ(LSample, LSamples[0]);
        if (LType != atSquare) {
            EXPECT_EQ(LSamples[0], LPrimitive ? 20000 : 0);
        }
        // Tone and triangle are silent where their primitives refuse: a
        // negative amplitude (read back as 0) or half the rate.
        for (const bool LHalfRate : {false, true}) {
            if (!LPrimitive)
                break;
            TBench LRefused(44100);
            LRefused.Gen.SetSignalType(LType);
            LHalfRate ? LRefused.Gen.SetFrequency(22050) : LRefused.Gen.SetAmplitude(-5);
            for (int16_t LSample : LRefused.Run(2))
                ASSERT_EQ(LSample, 0);
            EXPECT_TRUE(LRefused.Gen.IsSourceRunning());
        }
    }
}

TEST(SNSignalGenTest, PhaseMovesAtOnceAndEachStreamStartsAtIt)
{
    TBench LBench(44100, 100);
    LBench.Gen.SetPhase(0.5f);
    LBench.Run(3);
    EXPECT_NE(LBench.Gen.GetCurrentPhase(), 0.5f);
    const float LRunning = LBench.Gen.GetCurrentPhase();
    LBench.Gen.SetPhase(0.5f); // unchanged: the running phase stays
    EXPECT_EQ(LBench.Gen.GetCurrentPhase(), LRunning);
    LBench.Gen.SetPhase(2.0f);
    EXPECT_EQ(LBench.Gen.GetCurrentPhase(), 2.0f) << "at once, while running";
    LBench.Pump.Tick();
    const auto LSamples = Channel0(LBench.Pump.Collector());
    EXPECT_NEAR(LSamples[300], 20000 * std::cos(2.0), 1.0) << "the next buffer starts at the new phase";

    LBench.Run(2);
    LBench.Gen.StopSource();
    LBench.Gen.SetPhase(1.0f);
    LBench.Gen.SetPhase(2.0f);
    LBench.Run(2);
    EXPECT_NEAR(LBench.Gen.GetCurrentPhase(), std::fmod(2.0 + CTwoPi * 500 * 200 / 44100, CTwoPi), 1e-5)
        << "a new stream starts at Phase";
}

TEST(SNSignalGenTest, SquareIsLowForTheFirstHalfOfEachCycle)
{
    TBench LBench(8000, 100); // 100 is no multiple of the 8-sample cycle
    LBench.Gen.SetSignalType(atSquare);
    LBench.Gen.SetFrequency(1000);
    LBench.Gen.SetAmplitude(12345);
    const auto LSamples = LBench.Run(5);
    for (size_t K = 0; K < LSamples.size(); ++K)
        ASSERT_EQ(LSamples[K], K % 8 < 4 ? -12345 : 12345) << "sample " << K;
    EXPECT_NEAR(LBench.Gen.GetCurrentPhase(), CTwoPi * (500 % 8) / 8.0, 1e-6) << "the fractional cycle times 2 pi";

    // An asymmetry of -1 or below holds +amplitude, +1 or above -amplitude.
    for (double LAsymmetry : {-1.0, 1.0, -3.0, 3.0}) {
        TBench LSkewed(8000, 50);
        LSkewed.Gen.SetSignalType(atSquare);
        LSkewed.Gen.SetAsymmetry(LAsymmetry);
        for (int16_t LSample : LSkewed.Run(2))
            ASSERT_EQ(LSample, LAsymmetry < 0 ? 20000 : -20000) << LAsymmetry;
    }
}

TEST(SNSignalGenTest, TriangleFollowsTheAsymmetricShape)
{
    // 441 Hz at 44100 Hz: 100 samples a cycle. An asymmetry of pi/2 falls
    // over 75 samples and rises over 25.
    TBench LBench(44100, 777);
    LBench.Gen.SetSignalType(atTriangle);
    LBench.Gen.SetFrequency(441);
    LBench.Gen.SetAsymmetry(std::numbers::pi / 2);
    const auto LSamples = LBench.Run(2);
    for (size_t LCycle = 0; LCycle < 15; ++LCycle)
        for (const auto& [n, LValue] : {std::pair{0, 20000}, {15, 12000}, {75, -20000}, {80, -12000}, {95, 12000}})
            ASSERT_NEAR(LSamples[100 * LCycle + size_t(n)], LValue, 2.0) << LCycle << " " << n;
}

TEST(SNSignalGenTest, SawToothOfAWholeCycleRampsFromMinusToPlusPeak)
{
    // 44100 / 441 = 100 samples per cycle, no error to carry: every cycle is
    // the N + 1 samples -peak, -peak + 2 peak / N, ..., +peak.
    TBench LBench(44100, 1024);
    LBench.Gen.SetSignalType(atSawToothUp);
    LBench.Gen.SetFrequency(441);
    const auto LSamples = LBench.Run(6);
    for (size_t K = 0; K < LSamples.size(); ++K)
        ASSERT_EQ(LSamples[K], -20000 + 400 * static_cast<int>(K % 101)) << "sample " << K;
}

TEST(SNSignalGenTest, SawToothAcrossBuffersKeepsItsCycleCount)
{
    // Cycles of 1025.6 samples end inside buffers; the carried length error
    // keeps the count of cycles to the frequency's, each one a rising ramp.
    TBench LBench(44100, 1024);
    LBench.Gen.SetSignalType(atSawToothUp);
    LBench.Gen.SetFrequency(43);
    LBench.Gen.SetAmplitude(30000);
    const auto LSamples = LBench.Run(40);
    int LWraps = 0;
    for (size_t K = 1; K < LSamples.size(); ++K) {
        ASSERT_LE(std::abs(LSamples[K]), 30000);
        if (LSamples[K] < LSamples[K - 1]) {
            ++LWraps;
            EXPECT_EQ(LSamples[K - 1], 30000) << K;
        } else {
            ASSERT_LE(LSamples[K] - LSamples[K - 1], 60) << K;
        }
    }
    EXPECT_NEAR(LWraps, 43.0 * 40 * 1024 / 44100, 1.0);
}

TEST(SNSignalGenTest, SawToothDownIsTheMirrorImageOfSawToothUp)
{
    for (double LFrequency : {40.0, 333.3, 5000.0}) {
        SCOPED_TRACE(LFrequency);
        TBench LUp(48000, 500);
        LUp.Gen.SetSignalType(atSawToothUp);
        LUp.Gen.SetFrequency(LFrequency);
        TBench LDown(48000, 500);
        LDown.Gen.SetSignalType(atSawToothDown);
        LDown.Gen.SetFrequency(LFrequency);
        const auto LRising = LUp.Run(30);
        const auto LFalling = LDown.Run(30);
        ASSERT_EQ(LRising.size(), LFalling.size());
        for (size_t K = 0; K < LRising.size(); ++K) {
            ASSERT_EQ(LFalling[K], -LRising[K]) << "sample " << K;
            ASSERT_LE(std::abs(LRising[K]), 20000);
        }
    }
}
