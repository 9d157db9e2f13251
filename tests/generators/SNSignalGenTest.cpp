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

namespace {

constexpr double CTwoPi = 2 * std::numbers::pi;

// A generator driven tick by tick by a downstream master pump.
struct TBench {
    explicit TBench(int32_t ARate = 44100, int32_t ABufferSize = 1000, int32_t AChannels = 1)
    {
        Gen.GetOutputPin().Connect(Pump.GetInputPin());
        SetFormat(Gen, ARate, 16, AChannels, ABufferSize);
    }
    ~TBench() { Gen.StopSource(); }
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

    TSNSignalGen Gen;
    TTestPump Pump;
};

double IdealTriangle(double APhase, double AMagnitude, double AAsymmetry)
{
    const double LPhase = std::fmod(APhase, CTwoPi);
    const double LFall = std::numbers::pi + AAsymmetry;
    const double LRise = std::numbers::pi - AAsymmetry;
    if (LPhase < LFall)
        return AMagnitude * (1 - 2 * LPhase / LFall);
    return AMagnitude * (-1 + 2 * (LPhase - LFall) / LRise);
}

// The saw-tooth's steps read literally, with the ramp of the vector
// primitive written out: v = n slope + offset, rounded half away from zero,
// saturated. Samples a short first segment leaves are held at the last
// value.
struct TSawToothReference {
    double RampError = 0;

    static void Ramp(std::vector<int16_t>& ADst, int64_t AFirst, int64_t ACount, float AOffset, float ASlope)
    {
        for (int64_t N = 0; N < ACount && AFirst + N < static_cast<int64_t>(ADst.size()); ++N) {
            double V = static_cast<double>(N) * ASlope + AOffset;
            V = V > 0 ? V + 0.5 : V - 0.5;
            ADst[static_cast<size_t>(AFirst + N)] =
                V >= 32767 ? 32767 : (V <= -32768 ? -32768 : static_cast<int16_t>(std::trunc(V)));
        }
    }

    std::vector<int16_t> Buffer(int32_t ALen, int32_t APeak, double AFrequency, double ARate, float& APhase)
    {
        const double F = AFrequency / ARate;
        const auto N = static_cast<int32_t>(std::nearbyint(1 / F));
        std::vector<int16_t> LDst(static_cast<size_t>(ALen), 0);
        const double LSlope = 2.0 * APeak / N;
        const auto K0 = static_cast<int32_t>(std::nearbyint(APhase * 0.5 / SNPi / F));
        int32_t M = N - K0;
        bool LFlag = false;
        if (M + 1 > ALen) {
            M = ALen - 1;
            LFlag = true;
        }
        RampError += N - 1 / F;
        int64_t LCursor = 0;
        int64_t LWritten = 0;
        if (K0 > 0 || LFlag) {
            int32_t D = 0;
            if (std::abs(RampError) >= 1) {
                D = static_cast<int32_t>(std::trunc(RampError));
                RampError -= D;
            }
            M += D;
            Ramp(LDst, 0, M + 1, static_cast<float>((K0 - D) * LSlope - APeak), static_cast<float>(LSlope));
            LCursor += M;
            if (!LFlag && LCursor >= 0 && LCursor < ALen)
                LDst[static_cast<size_t>(LCursor)] = static_cast<int16_t>(APeak);
            LCursor += 1;
            LWritten = std::clamp<int64_t>(M + 1, 0, ALen);
            LCursor = LWritten;
        }
        const int64_t C = (ALen - LWritten) / (N + 1);
        for (int64_t I = 0; I < C; ++I) {
            Ramp(LDst, LCursor, N + 1, static_cast<float>(-APeak), static_cast<float>(LSlope));
            LDst[static_cast<size_t>(LCursor + N)] = static_cast<int16_t>(APeak);
            LCursor += N + 1;
            LWritten += N + 1;
        }
        if (!LFlag) {
            const int64_t R = ALen - LWritten;
            Ramp(LDst, LCursor, R, static_cast<float>(-APeak), static_cast<float>(LSlope));
            APhase = static_cast<float>(R * 2 * SNPi / N);
        } else {
            for (int64_t I = std::max<int64_t>(LWritten, 1); I < ALen; ++I)
                LDst[static_cast<size_t>(I)] = LDst[static_cast<size_t>(I - 1)];
            APhase = static_cast<float>((K0 + ALen) * 2 * SNPi / N);
        }
        return LDst;
    }
};

} // namespace

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

TEST(SNSignalGenTest, EveryChannelCarriesTheSignal)
{
    TBench LBench(48000, 256, 2);
    LBench.Gen.GetAudioFormat().SetBits(24);
    LBench.Run(2);
    for (const ISNAudioBufferPtr& LBuffer : LBench.Pump.Collector().Buffers())
        for (uint32_t F = 0; F < LBuffer->GetSize(); ++F)
            ASSERT_EQ(LBuffer->GetItem(F, 0), LBuffer->GetItem(F, 1));
    EXPECT_EQ(LBench.Pump.Collector().Buffers()[0]->GetItem(0, 1), 20000 * 256) << "cos 0 at full amplitude";
}

TEST(SNSignalGenTest, ToneAndTriangleAreSilentWhereTheirPrimitivesRefuse)
{
    for (TSNSignalType LType : {atTone, atTriangle}) {
        SCOPED_TRACE(LType);
        {
            TBench LBench;
            LBench.Gen.SetSignalType(LType);
            LBench.Gen.SetAmplitude(-5); // read back as 0
            for (int16_t LSample : LBench.Run(2))
                ASSERT_EQ(LSample, 0);
        }
        {
            TBench LBench(44100);
            LBench.Gen.SetSignalType(LType);
            LBench.Gen.SetFrequency(22050); // half the rate
            for (int16_t LSample : LBench.Run(2))
                ASSERT_EQ(LSample, 0);
            EXPECT_TRUE(LBench.Gen.IsSourceRunning());
        }
    }
}

TEST(SNSignalGenTest, FrequencyZeroKeepsTheStreamRunning)
{
    for (TSNSignalType LType : {atTone, atTriangle, atSquare, atSawToothUp, atSawToothDown}) {
        SCOPED_TRACE(LType);
        TBench LBench(8000, 64);
        LBench.Gen.SetSignalType(LType);
        LBench.Gen.SetFrequency(0);
        const auto LSamples = LBench.Run(3);
        EXPECT_TRUE(LBench.Gen.IsSourceRunning());
        EXPECT_EQ(LBench.Gen.GetLastError(), "");
        ASSERT_EQ(LSamples.size(), 3u * 64);
        // A constant level: the start of the waveform, or silence.
        for (int16_t LSample : LSamples)
            ASSERT_EQ(LSample, LSamples[0]);
        if (LType == atTone || LType == atTriangle) {
            EXPECT_EQ(LSamples[0], 20000);
        } else if (LType == atSawToothUp || LType == atSawToothDown) {
            EXPECT_EQ(LSamples[0], 0);
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

TEST(SNSignalGenTest, TriangleFollowsTheIdealShape)
{
    for (double LAsymmetry : {0.0, 1.0, -0.5}) {
        SCOPED_TRACE(LAsymmetry);
        TBench LBench(44100, 777);
        LBench.Gen.SetSignalType(atTriangle);
        LBench.Gen.SetFrequency(440);
        LBench.Gen.SetAsymmetry(LAsymmetry);
        LBench.Gen.SetPhase(1.0f);
        const auto LSamples = LBench.Run(4);
        for (size_t K = 0; K < LSamples.size(); ++K)
            ASSERT_NEAR(LSamples[K], IdealTriangle(1.0 + CTwoPi * 440 * K / 44100, 20000, LAsymmetry), 2.0)
                << "sample " << K;
    }
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

TEST(SNSignalGenTest, SawToothFollowsItsStepsLiterally)
{
    // Low frequencies end buffers inside a cycle and carry the cycle-length
    // error into extra or missing samples; high ones fit many cycles.
    for (double LFrequency : {40.0, 43.0, 100.3, 441.0, 1000.0, 7919.0}) {
        for (TSNSignalType LType : {atSawToothUp, atSawToothDown}) {
            SCOPED_TRACE(::testing::Message() << LFrequency << " Hz, type " << LType);
            TBench LBench(44100, 1024);
            LBench.Gen.SetSignalType(LType);
            LBench.Gen.SetFrequency(LFrequency);
            LBench.Gen.SetAmplitude(30000);
            const auto LSamples = LBench.Run(40);

            TSawToothReference LReference;
            float LPhase = 0;
            for (int B = 0; B < 40; ++B) {
                const auto LExpected = LReference.Buffer(1024, LType == atSawToothUp ? 30000 : -30000, LFrequency,
                                                         44100, LPhase);
                for (size_t K = 0; K < 1024; ++K)
                    ASSERT_EQ(LSamples[B * 1024 + K], LExpected[K]) << "buffer " << B << " sample " << K;
            }
            EXPECT_EQ(LBench.Gen.GetCurrentPhase(), LPhase);
        }
    }
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
