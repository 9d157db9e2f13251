// SPDX-License-Identifier: MIT
// The uniform and Gaussian noise generators: the kernel sequence per buffer,
// seeds, level rules, clamping and the 16-bit range check.
#include "GeneratorTestKit.h"
#include "SNDispatcher.h"
#include "SNGaussGen.h"
#include "SNRandomGen.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Sonorix;
using namespace Sonorix::Test;

// Each buffer is one call of the noise kernel (whose sequence the dispatcher
// tests check), the kernel's state word carried from buffer to buffer.
template <class TGen, class TKernel>
void ExpectKernelSequence(int32_t ASize, int32_t AFirst, int32_t ASecond, TKernel AKernel,
                          void (TGen::*ASetFirst)(int32_t), void (TGen::*ASetSecond)(int32_t))
{
    SCOPED_TRACE(ASize);
    TGenBench<TGen> LBench(44100, ASize);
    (LBench.Gen.*ASetFirst)(AFirst);
    (LBench.Gen.*ASetSecond)(ASecond);
    LBench.Gen.SetSeed(4242);
    const auto LSamples = LBench.Run(3);
    unsigned int LSeed = 4242;
    std::vector<Ipp16s> LExpected(static_cast<size_t>(ASize) * 3);
    for (int B = 0; B < 3; ++B)
        AKernel(LExpected.data() + B * ASize, ASize, static_cast<Ipp16s>(AFirst), static_cast<Ipp16s>(ASecond), &LSeed);
    EXPECT_EQ(LSamples, LExpected);
}

TEST(SNNoiseGenTest, BuffersAreTheKernelSequenceWithItsStateCarried)
{
    for (int32_t LSize : {1, 2, 777})
        ExpectKernelSequence<TSNRandomGen>(LSize, -3000, 7000, ippsRandUniform_Direct_16s, &TSNRandomGen::SetLow,
                                           &TSNRandomGen::SetHigh);
    for (int32_t LSize : {1, 2, 777})
        ExpectKernelSequence<TSNGaussGen>(LSize, -1000, 5000, ippsRandGauss_Direct_16s, &TSNGaussGen::SetMean,
                                          &TSNGaussGen::SetStdDev);
}

TEST(SNRandomGenTest, EveryStreamAndEverySeedChangeStartsTheSameSequence)
{
    TGenBench<TSNRandomGen> LBench(44100, 256);
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
    TGenBench<TSNRandomGen> LBench(44100, 300);
    LBench.Gen.SetLow(25000);
    EXPECT_EQ(LBench.Gen.GetHigh(), 25000) << "High follows a Low above it";
    for (int16_t LSample : LBench.Run(2))
        ASSERT_EQ(LSample, 25000) << "a range of 0 gives the level itself";
    LBench.Gen.SetHigh(-100);
    EXPECT_EQ(LBench.Gen.GetLow(), -100) << "Low follows a High below it";
}

TEST(SNRandomGenTest, ALevelBeyondSixteenBitsStopsTheStreamWithARangeError)
{
    std::vector<std::string> LErrors;
    SetBackgroundErrorHandler([&](const std::string& AMessage) { LErrors.push_back(AMessage); });
    TGenBench<TSNRandomGen> LBench(44100, 100);
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

TEST(SNGaussGenTest, ZeroStdDevIsTheMeanAndAHighMeanClampsAtFullScale)
{
    {
        TGenBench<TSNGaussGen> LBench(44100, 333);
        LBench.Gen.SetStdDev(0);
        LBench.Gen.SetMean(-1234);
        for (int16_t LSample : LBench.Run(3))
            ASSERT_EQ(LSample, -1234);
    }
    {
        TGenBench<TSNGaussGen> LBench(44100, 1000);
        LBench.Gen.SetMean(32000);
        const auto LSamples = LBench.Run(10);
        const auto LClamped = std::count(LSamples.begin(), LSamples.end(), int16_t{32767});
        // P(x > 32767) = P(z > 767 / 9000) = 0.466.
        EXPECT_NEAR(static_cast<double>(LClamped) / LSamples.size(), 0.466, 0.02);
    }
}

TEST(SNGaussGenTest, SeedRestartsAndRangeChecks)
{
    TGenBench<TSNGaussGen> LBench(44100, 500);
    LBench.Run(2);
    LBench.Gen.SetSeed(7);
    LBench.Gen.SetSeed(31192); // a change back restarts at once
    LBench.Run(1);
    EXPECT_EQ(LBench.Buffer(2), LBench.Buffer(0));
    LBench.Gen.SetStdDev(32768);
    EXPECT_FALSE(LBench.Pump.Tick());
    EXPECT_FALSE(LBench.Gen.IsSourceRunning());
    EXPECT_NE(LBench.Gen.GetLastError().find("StdDev = 32768 does not fit the 16-bit range"), std::string::npos);
}
