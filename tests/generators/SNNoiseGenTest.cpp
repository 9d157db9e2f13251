// SPDX-License-Identifier: MIT
// The uniform and Gaussian noise generators: the sequences against a
// literal reading of their generator, seeds, level rules, statistics and the
// 16-bit range check.
#include "GeneratorTestKit.h"
#include "SNGaussGen.h"
#include "SNRandomGen.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

template <class TGen>
struct TBench {
    explicit TBench(int32_t ABufferSize = 1000)
    {
        Gen.GetOutputPin().Connect(Pump.GetInputPin());
        SetFormat(Gen, 44100, 16, 1, ABufferSize);
    }
    ~TBench() { Gen.StopSource(); }
    std::vector<int16_t> Run(int ABuffers)
    {
        if (!Gen.IsSourceRunning())
            Gen.StartSource();
        for (int I = 0; I < ABuffers; ++I)
            Pump.Tick();
        return Channel0(Pump.Collector());
    }
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

// The generator of the noise primitives read literally: a congruential
// generator restarted at its constant on every call plus a lagged
// subtract-with-borrow generator whose last output is the seed word.
struct TLagged {
    explicit TLagged(uint32_t ASeed)
        : A(ASeed), B(ASeed * 69069u + 1013904243u), C(B * 69069u + 1013904243u) {}
    // One step: the lag output r and the congruential value c.
    void Step(int32_t& R, uint32_t& CValue)
    {
        Cong = Cong * 69069u + 1013904243u;
        const auto T = static_cast<int32_t>(B - C + static_cast<uint32_t>(Borrow));
        Borrow = T < 0 ? -1 : 0;
        R = T < 0 ? static_cast<int32_t>(static_cast<uint32_t>(T) - 18u) : T;
        C = B;
        B = A;
        A = static_cast<uint32_t>(R);
        CValue = Cong;
    }
    uint32_t A, B, C;
    int32_t Borrow = -1;
    uint32_t Cong = 1131199209u;
};

std::vector<int16_t> UniformReference(int ALen, int16_t ALow, int16_t AHigh, uint32_t& ASeed)
{
    const double LScale = (AHigh - ALow) * 2.3283064365387E-10;
    const double LOffset = (ALow + AHigh) * 0.5;
    TLagged LGen(ASeed);
    std::vector<int16_t> LOut;
    int32_t R = 0;
    uint32_t C = 0;
    for (int I = 0; I < ALen; ++I) {
        LGen.Step(R, C);
        const auto LSum = static_cast<int32_t>(static_cast<uint32_t>(R) + C);
        LOut.push_back(static_cast<int16_t>(static_cast<int32_t>(std::trunc(LSum * LScale + LOffset))));
    }
    ASeed = static_cast<uint32_t>(R);
    return LOut;
}

std::vector<int16_t> GaussReference(int ALen, int16_t AMean, int16_t AStdDev, uint32_t& ASeed)
{
    TLagged LGen(ASeed);
    double U1 = 0, U2 = 0, F = 0;
    int32_t R2 = 0;
    const auto LDraw = [&] {
        double S = 0;
        do {
            int32_t R1;
            uint32_t C1, C2;
            LGen.Step(R1, C1);
            LGen.Step(R2, C2);
            U1 = static_cast<int32_t>(static_cast<uint32_t>(R1) + C1) * 4.656612873077E-10;
            U2 = static_cast<int32_t>(static_cast<uint32_t>(R2) + C2) * 4.656612873077E-10;
            S = U1 * U1 + U2 * U2;
        } while (S >= 1 || S == 0);
        F = std::sqrt(-2 * std::log(S) / S);
    };
    const auto LSample = [&](double U) {
        const double V = std::trunc(AMean + AStdDev * F * U);
        return static_cast<int16_t>(V >= 32767 ? 32767 : (V <= -32768 ? -32768 : V));
    };
    std::vector<int16_t> LOut;
    LDraw();
    for (int K = 0; K + 1 < ALen; K += 2) {
        LOut.push_back(LSample(U2));
        LOut.push_back(LSample(U1));
        LDraw();
    }
    if (ALen % 2)
        LOut.push_back(LSample(U2));
    ASeed = static_cast<uint32_t>(R2);
    return LOut;
}

} // namespace

TEST(SNRandomGenTest, BuffersFollowTheGeneratorAndCarryItsSeedWord)
{
    TBench<TSNRandomGen> LBench(999);
    LBench.Gen.SetLow(-3000);
    LBench.Gen.SetHigh(7000);
    LBench.Gen.SetSeed(4242);
    const auto LSamples = LBench.Run(4);
    uint32_t LSeed = 4242;
    for (int B = 0; B < 4; ++B) {
        const auto LExpected = UniformReference(999, -3000, 7000, LSeed);
        for (size_t K = 0; K < LExpected.size(); ++K)
            ASSERT_EQ(LSamples[B * 999 + K], LExpected[K]) << "buffer " << B << " sample " << K;
    }
    for (int16_t LSample : LSamples) {
        ASSERT_GE(LSample, -3000);
        ASSERT_LE(LSample, 7000);
    }
}

TEST(SNRandomGenTest, EveryStreamAndEverySeedChangeStartsTheSameSequence)
{
    TBench<TSNRandomGen> LBench(256);
    LBench.Run(3);
    LBench.Gen.StopSource();
    LBench.Run(2);
    EXPECT_EQ(LBench.Buffer(3), LBench.Buffer(0)) << "a new stream starts from Seed";
    EXPECT_EQ(LBench.Buffer(4), LBench.Buffer(1));

    LBench.Gen.SetSeed(LBench.Gen.GetSeed()); // unchanged: no restart
    LBench.Run(1);
    EXPECT_EQ(LBench.Buffer(5), LBench.Buffer(2));
    LBench.Gen.SetSeed(99);
    LBench.Gen.SetSeed(31192); // a change back restarts at once
    LBench.Run(1);
    EXPECT_EQ(LBench.Buffer(6), LBench.Buffer(0));
}

TEST(SNRandomGenTest, LevelsPushEachOtherAlong)
{
    TSNRandomGen LGen;
    LGen.SetLow(25000);
    EXPECT_EQ(LGen.GetLow(), 25000);
    EXPECT_EQ(LGen.GetHigh(), 25000) << "High follows a Low above it";
    LGen.SetHigh(-100);
    EXPECT_EQ(LGen.GetHigh(), -100);
    EXPECT_EQ(LGen.GetLow(), -100) << "Low follows a High below it";

    TBench<TSNRandomGen> LBench(300);
    LBench.Gen.SetLow(25000);
    for (int16_t LSample : LBench.Run(2))
        ASSERT_EQ(LSample, 25000) << "a range of 0 gives the level itself";
}

TEST(SNRandomGenTest, ALevelBeyondSixteenBitsStopsTheStreamWithARangeError)
{
    std::vector<std::string> LErrors;
    SetBackgroundErrorHandler([&](const std::string& AMessage) { LErrors.push_back(AMessage); });
    TBench<TSNRandomGen> LBench(100);
    LBench.Gen.SetName("noise");
    LBench.Gen.SetLow(-40000);
    LBench.Gen.StartSource();
    EXPECT_FALSE(LBench.Pump.Tick());
    SetBackgroundErrorHandler(nullptr);
    EXPECT_FALSE(LBench.Gen.IsSourceRunning());
    EXPECT_TRUE(LBench.Pump.Collector().Buffers().empty());
    EXPECT_EQ(LBench.Pump.Collector().Stops(), 1);
    ASSERT_EQ(LErrors.size(), 1u);
    EXPECT_EQ(LErrors[0],
              "noise: Range check error: Low = -40000 does not fit the 16-bit range -32768 .. 32767; the stream is "
              "stopped");
}

TEST(SNGaussGenTest, BuffersFollowThePolarMethodAndCarryTheSeedWord)
{
    for (int32_t LSize : {1, 2, 777, 1000}) {
        SCOPED_TRACE(LSize);
        TBench<TSNGaussGen> LBench(LSize);
        LBench.Gen.SetMean(-1000);
        LBench.Gen.SetStdDev(5000);
        const auto LSamples = LBench.Run(3);
        uint32_t LSeed = 31192;
        for (int B = 0; B < 3; ++B) {
            const auto LExpected = GaussReference(LSize, -1000, 5000, LSeed);
            for (size_t K = 0; K < LExpected.size(); ++K)
                ASSERT_EQ(LSamples[B * LSize + K], LExpected[K]) << "buffer " << B << " sample " << K;
        }
    }
}

TEST(SNGaussGenTest, StatisticsMatchMeanAndStdDev)
{
    TBench<TSNGaussGen> LBench(4410);
    LBench.Gen.SetMean(500);
    LBench.Gen.SetStdDev(3000);
    const auto LSamples = LBench.Run(20);
    double LSum = 0, LSquares = 0;
    for (int16_t LSample : LSamples)
        LSum += LSample;
    const double LMean = LSum / LSamples.size();
    for (int16_t LSample : LSamples)
        LSquares += (LSample - LMean) * (LSample - LMean);
    const double LStdDev = std::sqrt(LSquares / LSamples.size());
    // 88200 samples: the sample mean lies within 3000 / sqrt(88200) * 4 = 40.
    EXPECT_NEAR(LMean, 500, 40);
    EXPECT_NEAR(LStdDev, 3000, 30);
}

TEST(SNGaussGenTest, ZeroStdDevIsTheMeanAndAHighMeanClampsAtFullScale)
{
    {
        TBench<TSNGaussGen> LBench(333);
        LBench.Gen.SetStdDev(0);
        LBench.Gen.SetMean(-1234);
        for (int16_t LSample : LBench.Run(3))
            ASSERT_EQ(LSample, -1234);
    }
    {
        TBench<TSNGaussGen> LBench(1000);
        LBench.Gen.SetMean(32000);
        const auto LSamples = LBench.Run(10);
        const auto LClamped = std::count(LSamples.begin(), LSamples.end(), int16_t{32767});
        // P(x > 32767) = P(z > 767 / 9000) = 0.466.
        EXPECT_NEAR(static_cast<double>(LClamped) / LSamples.size(), 0.466, 0.02);
    }
}

TEST(SNGaussGenTest, SeedRestartsAndRangeChecks)
{
    TBench<TSNGaussGen> LBench(500);
    LBench.Run(2);
    LBench.Gen.SetSeed(7);
    LBench.Gen.SetSeed(31192);
    LBench.Run(1);
    EXPECT_EQ(LBench.Buffer(2), LBench.Buffer(0));

    LBench.Gen.SetStdDev(32768);
    EXPECT_FALSE(LBench.Pump.Tick());
    EXPECT_FALSE(LBench.Gen.IsSourceRunning());
    EXPECT_NE(LBench.Gen.GetLastError().find("StdDev = 32768 does not fit the 16-bit range"), std::string::npos);
}
