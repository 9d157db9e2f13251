// SPDX-License-Identifier: MIT
// Portable generator, arithmetic, conversion and analysis kernels of the
// vector-primitive table, against literal reference routines written here from
// the algorithm text (no code shared with the kernels) and against values
// worked out independently in Python; fixed-seed data of odd lengths.
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace Sonorix {
namespace {

constexpr double CPi = 3.14159265358979323846;
constexpr double CTwoPi = 2 * CPi;
constexpr Ipp16s CGuard = 0x5A5A;
constexpr int COddLengths[] = {1, 2, 3, 4, 5, 7, 9, 31, 257, 1001};

std::vector<float> RandomFloats(size_t ACount, float ALow, float AHigh, uint32_t ASeed)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_real_distribution<float> LDist(ALow, AHigh);
    std::vector<float> LValues(ACount);
    for (float& v : LValues)
        v = LDist(LRandom);
    return LValues;
}

std::vector<Ipp16s> RandomShorts(size_t ACount, uint32_t ASeed)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_int_distribution<int> LDist(-32768, 32767);
    std::vector<Ipp16s> LValues(ACount);
    for (Ipp16s& v : LValues)
        v = static_cast<Ipp16s>(LDist(LRandom));
    return LValues;
}

// Round mode 1 as written: x + 0.5 (x - 0.5), truncated, back toward zero
// when odd and exact.
int32_t RefRoundNear(double x)
{
    const double s = x >= 0 ? x + 0.5 : x - 0.5;
    auto t = static_cast<int64_t>(s);
    if (t % 2 != 0 && static_cast<double>(t) == s)
        t += t > 0 ? -1 : 1;
    return static_cast<int32_t>(t);
}

int32_t RefFloatToInt(float AValue, int32_t AMin, int32_t AMax, IppRoundMode AMode)
{
    const double x = AValue;
    if (x >= AMax)
        return AMax;
    if (x <= AMin)
        return AMin;
    if (std::isnan(x))
        return 0;
    return AMode == ippRndNear ? RefRoundNear(x) : static_cast<int32_t>(x);
}

// ---------------------------------------------------------------- tone

TEST(SNDispatcherToneTest, HandWorkedValues)
{
    // Worked out in Python from the algorithm text.
    Ipp16s LDst[7];
    float LPhase = 0.5f;
    ASSERT_EQ(_px_ippsTone_Direct_16s(LDst, 7, 10000, 0.1f, &LPhase, ippAlgHintNone), ippStsNoErr);
    const Ipp16s LExpected[7] = {8775, 4281, -1847, -7271, -9917, -8775, -4281};
    for (int n = 0; n < 7; ++n)
        EXPECT_EQ(LDst[n], LExpected[n]) << n;
    EXPECT_EQ(LPhase, 4.898229598999023f);
}

TEST(SNDispatcherToneTest, BlocksContinueTheCosineWithinOne)
{
    // Phase carried over calls: samples stay within 1 of magn cos(2 pi f n + phi).
    const float LRFreq = 0.0123f;
    float LPhase = 1.0f;
    std::vector<Ipp16s> LAll;
    for (const int LLen : {7, 1, 13, 100, 3}) {
        std::vector<Ipp16s> LBlock(LLen);
        ASSERT_EQ(_px_ippsTone_Direct_16s(LBlock.data(), LLen, 20000, LRFreq, &LPhase, ippAlgHintNone), ippStsNoErr);
        LAll.insert(LAll.end(), LBlock.begin(), LBlock.end());
    }
    for (size_t n = 0; n < LAll.size(); ++n)
        EXPECT_NEAR(LAll[n], 20000 * std::cos(CTwoPi * LRFreq * n + 1.0), 1.5) << n;
}

TEST(SNDispatcherToneTest, LengthOneAdvancesThePhase)
{
    Ipp16s LDst[2] = {CGuard, CGuard};
    float LPhase = 0.25f;
    ASSERT_EQ(_px_ippsTone_Direct_16s(LDst, 1, 1000, 0.125f, &LPhase, ippAlgHintNone), ippStsNoErr);
    EXPECT_EQ(LDst[0], static_cast<Ipp16s>(1000 * std::cos(0.25)));
    EXPECT_EQ(LDst[1], CGuard);
    EXPECT_FLOAT_EQ(LPhase, static_cast<float>(0.25 + CTwoPi * 0.125));
}

TEST(SNDispatcherToneTest, EndPhaseRoundingToTwoPiStoresZero)
{
    // The largest single below 2 pi: reduced phase just below 2 pi in double,
    // but rounded to a single it is the single nearest 2 pi, which is above 2 pi.
    const float LBelow = std::nextafter(static_cast<float>(CTwoPi), 0.0f);
    ASSERT_LT(double{LBelow}, CTwoPi);
    ASSERT_GT(double{static_cast<float>(CTwoPi)}, CTwoPi);
    // rFreq 0 keeps the phase: E = phase, stored as it is.
    Ipp16s LDst[3];
    float LPhase = LBelow;
    ASSERT_EQ(_px_ippsTone_Direct_16s(LDst, 3, 100, 0.0f, &LPhase, ippAlgHintNone), ippStsNoErr);
    EXPECT_EQ(LPhase, LBelow);
    // From LBelow (2 pi - 3e-7) a step of 2.4e-7 .. 3e-7 ends just below
    // 2 pi, closer to float(2 pi) than to LBelow.
    int LCases = 0;
    for (int k = 0; k < 200; ++k) {
        const float LFreq = 3.5e-8f + k * 1e-10f;
        const double LEnd = CTwoPi * LFreq * 1 + LBelow;
        const double LReduced = LEnd - CTwoPi * std::floor(LEnd / CTwoPi);
        if (!(LReduced < CTwoPi && double{static_cast<float>(LReduced)} >= CTwoPi))
            continue;
        ++LCases;
        float LPhase2 = LBelow;
        ASSERT_EQ(_px_ippsTone_Direct_16s(LDst, 1, 100, LFreq, &LPhase2, ippAlgHintNone), ippStsNoErr);
        EXPECT_EQ(LPhase2, 0.0f) << LFreq;
        // The next call accepts what was stored.
        EXPECT_EQ(_px_ippsTone_Direct_16s(LDst, 1, 100, LFreq, &LPhase2, ippAlgHintNone), ippStsNoErr);
        // The triangle stores its phase by the same rule.
        float LPhase3 = LBelow;
        ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst, 1, 100, LFreq, 0.0f, &LPhase3), ippStsNoErr);
        EXPECT_EQ(LPhase3, 0.0f) << LFreq;
    }
    EXPECT_GT(LCases, 0) << "no end phase rounding up to 2 pi was exercised";
}

TEST(SNDispatcherToneTest, ChecksInOrderAndWritesNothing)
{
    Ipp16s LDst[3] = {CGuard, CGuard, CGuard};
    float LPhase = 1.0f;
    const auto Run = [&](Ipp16s* d, int len, Ipp16s magn, float f, float* p) {
        return _px_ippsTone_Direct_16s(d, len, magn, f, p, ippAlgHintNone);
    };
    // All wrong at once: the phase pointer is checked first.
    EXPECT_EQ(Run(nullptr, 0, 0, 0.7f, nullptr), ippStsNullPtrErr);
    float LBadPhase = 7.0f;
    EXPECT_EQ(Run(nullptr, 0, 0, 0.7f, &LBadPhase), ippStsToneMagnErr);
    EXPECT_EQ(Run(nullptr, 0, -5, 0.7f, &LBadPhase), ippStsToneMagnErr);
    EXPECT_EQ(Run(nullptr, 0, 1, 0.5f, &LBadPhase), ippStsToneFreqErr);
    EXPECT_EQ(Run(nullptr, 0, 1, -0.01f, &LBadPhase), ippStsToneFreqErr);
    EXPECT_EQ(Run(nullptr, 0, 1, std::numeric_limits<float>::quiet_NaN(), &LBadPhase), ippStsToneFreqErr);
    EXPECT_EQ(Run(nullptr, 0, 1, 0.49f, &LBadPhase), ippStsTonePhaseErr);
    LBadPhase = -0.001f;
    EXPECT_EQ(Run(nullptr, 0, 1, 0.49f, &LBadPhase), ippStsTonePhaseErr);
    LBadPhase = static_cast<float>(CTwoPi);
    EXPECT_EQ(Run(nullptr, 0, 1, 0.49f, &LBadPhase), ippStsTonePhaseErr);
    EXPECT_EQ(Run(nullptr, 0, 1, 0.49f, &LPhase), ippStsNullPtrErr);
    EXPECT_EQ(Run(LDst, 0, 1, 0.49f, &LPhase), ippStsSizeErr);
    EXPECT_EQ(Run(LDst, -3, 1, 0.49f, &LPhase), ippStsSizeErr);
    EXPECT_EQ(LPhase, 1.0f);
    EXPECT_EQ(LBadPhase, static_cast<float>(CTwoPi));
    for (const Ipp16s v : LDst)
        EXPECT_EQ(v, CGuard);
}

TEST(SNDispatcherToneTest, ExtremeFrequencyStaysInRange)
{
    const float LHighest = std::nextafter(0.5f, 0.0f);
    std::vector<Ipp16s> LDst(100001);
    float LPhase = 0.0f;
    ASSERT_EQ(_px_ippsTone_Direct_16s(LDst.data(), int(LDst.size()), 32767, LHighest, &LPhase, ippAlgHintNone),
              ippStsNoErr);
    // Alternating signs at full scale, never wrapped past the 16-bit ends.
    for (size_t n = 0; n + 1 < LDst.size(); n += 1000) {
        ASSERT_GE(LDst[n], -32767) << n;
        ASSERT_TRUE(LDst[n] == 0 || LDst[n + 1] == 0 || (LDst[n] > 0) != (LDst[n + 1] > 0)) << n;
    }
    EXPECT_GE(LPhase, 0.0f);
    EXPECT_LT(LPhase, static_cast<float>(CTwoPi));
}

// ---------------------------------------------------------------- triangle

TEST(SNDispatcherTriangleTest, CornersAreReflectedNotClipped)
{
    std::vector<Ipp16s> LDst(41);
    float LPhase = 0.0f;
    ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 41, 20000, 0.25f, 0.0f, &LPhase), ippStsNoErr);
    const int LPattern[4] = {20000, 0, -20000, 0};
    for (int n = 0; n < 41; ++n)
        EXPECT_NEAR(LDst[n], LPattern[n % 4], 1) << n;
    EXPECT_FLOAT_EQ(LPhase, static_cast<float>(std::fmod(CTwoPi * 0.25 * 41, CTwoPi)));
}

TEST(SNDispatcherTriangleTest, AsymmetricShapeFollowsTheSlopes)
{
    // asym = pi/2: falls over 3/4 of the period, rises over 1/4.
    const float LAsym = static_cast<float>(CPi / 2);
    const int LPeriod = 400;
    std::vector<Ipp16s> LDst(2 * LPeriod + 1);
    float LPhase = 0.0f;
    ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), int(LDst.size()), 30000, 1.0f / LPeriod, LAsym, &LPhase),
              ippStsNoErr);
    for (int n = 0; n < int(LDst.size()); ++n) {
        const double t = std::fmod(double(n) / LPeriod, 1.0);
        const double LIdeal = t < 0.75 ? 30000 * (1 - 2 * t / 0.75) : 30000 * (-1 + 2 * (t - 0.75) / 0.25);
        EXPECT_NEAR(LDst[n], LIdeal, 2.0) << n;
    }
}

TEST(SNDispatcherTriangleTest, ZeroFrequencyIsConstantAndFalling)
{
    // Phase on the rising half: constant, no step.
    Ipp16s LDst[9];
    float LPhase = 4.0f;
    ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst, 9, 1000, 0.0f, 0.0f, &LPhase), ippStsNoErr);
    const auto LStart = static_cast<Ipp16s>(1000 * (-1 + 2 * (4.0 - CPi) / CPi));
    for (const Ipp16s v : LDst)
        EXPECT_EQ(v, LStart);
    EXPECT_EQ(LPhase, 4.0f);
}

TEST(SNDispatcherTriangleTest, StepSpanningMoreThanAHalf)
{
    // A steep asymmetric wave: the rising half is shorter than one step, so
    // the step crosses a whole half and the direction stays.
    for (const float LAsym : {3.0f, -3.0f, 2.9f})
        for (const float LFreq : {0.45f, 0.3f, 0.49f}) {
            std::vector<Ipp16s> LDst(101);
            float LPhase = 0.5f;
            ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 101, 32767, LFreq, LAsym, &LPhase), ippStsNoErr);
            for (const Ipp16s v : LDst)
                ASSERT_GE(v, -32767) << LAsym << " " << LFreq;
            EXPECT_NE(*std::min_element(LDst.begin(), LDst.end()), *std::max_element(LDst.begin(), LDst.end()));
        }
}

TEST(SNDispatcherTriangleTest, AsymmetryNearMinusPiDoesNotCrash)
{
    // float(-pi) lies below -pi and is refused; the next single up leaves a
    // falling half of about 1e-8 radians and slopes near 1e12.
    const float LNearMinusPi = std::nextafter(static_cast<float>(-CPi), 0.0f);
    std::vector<Ipp16s> LDst(33);
    float LPhase = 1.0f;
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 33, 1000, 0.1f, static_cast<float>(-CPi), &LPhase),
              ippStsTrnglAsymErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 33, 1000, 0.1f, LNearMinusPi, &LPhase), ippStsNoErr);
    for (const Ipp16s v : LDst)
        EXPECT_LE(std::abs(v), 1000);
    LPhase = 0.0f;
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 33, 1000, 0.0f, LNearMinusPi, &LPhase), ippStsNoErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 33, 32767, 0.4999f, LNearMinusPi, &LPhase), ippStsNoErr);
}

TEST(SNDispatcherTriangleTest, ChecksInOrderAndWritesNothing)
{
    Ipp16s LDst[2] = {CGuard, CGuard};
    float LPhase = 7.0f;
    const float LPi = static_cast<float>(CPi);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 0, 1.0f, 4.0f, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 0, 1.0f, 4.0f, &LPhase), ippStsTrnglMagnErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 1, 0.5f, 4.0f, &LPhase), ippStsTrnglFreqErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 1, 0.1f, 4.0f, &LPhase), ippStsTrnglAsymErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 1, 0.1f, LPi, &LPhase), ippStsTrnglAsymErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 1, 0.1f, std::nextafter(-LPi, -4.0f), &LPhase),
              ippStsTrnglAsymErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 1, 0.1f, 0.0f, &LPhase), ippStsTrnglPhaseErr);
    LPhase = 1.0f;
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(nullptr, 0, 1, 0.1f, 0.0f, &LPhase), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst, 0, 1, 0.1f, 0.0f, &LPhase), ippStsSizeErr);
    EXPECT_EQ(LPhase, 1.0f);
    EXPECT_EQ(LDst[0], CGuard);
}

// ---------------------------------------------------------------- square

TEST(SNDispatcherSquareTest, FirstHalfIsNegative)
{
    Ipp16s LDst[16];
    float LPhase = 0.0f;
    ASSERT_EQ(ippsSquare_Direct_16s(LDst, 16, 1234, 0.125f, 0.0f, &LPhase), ippStsNoErr);
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(LDst[n], (n % 8) < 4 ? -1234 : 1234) << n;
    EXPECT_EQ(LPhase, 0.0f);
}

TEST(SNDispatcherSquareTest, MatchesReferenceAndAsymmetry)
{
    std::mt19937 LRandom(13);
    std::uniform_real_distribution<float> LUnit(0.0f, 1.0f);
    for (const int LLen : COddLengths) {
        const float LAsym = LUnit(LRandom) * 2 - 1, LFreq = LUnit(LRandom) * 0.3f, LStart = LUnit(LRandom) * 6.0f;
        std::vector<Ipp16s> LDst(LLen + 1, CGuard);
        float LPhase = LStart;
        ASSERT_EQ(ippsSquare_Direct_16s(LDst.data(), LLen, 777, LFreq, LAsym, &LPhase), ippStsNoErr);
        double p = LStart / CTwoPi;
        const double s = LAsym / 2.0 + 0.5;
        for (int n = 0; n < LLen; ++n) {
            ASSERT_EQ(LDst[n], s > p ? -777 : 777) << n;
            p = std::fmod(p + LFreq, 1.0);
        }
        EXPECT_EQ(LDst[LLen], CGuard);
        EXPECT_EQ(LPhase, static_cast<float>(p * CTwoPi));
    }
}

TEST(SNDispatcherSquareTest, NoSamplesStillStoresThePhase)
{
    Ipp16s LDst[1] = {CGuard};
    float LPhase = 1.0f;
    EXPECT_EQ(ippsSquare_Direct_16s(LDst, 0, 5, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_EQ(LPhase, static_cast<float>(1.0 / CTwoPi * CTwoPi));
    EXPECT_EQ(ippsSquare_Direct_16s(LDst, -4, 5, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_EQ(ippsSquare_Direct_16s(nullptr, 4, 5, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_EQ(ippsSquare_Direct_16s(LDst, 1, 5, 0.1f, 0.0f, nullptr), ippStsNoErr);
    EXPECT_EQ(LDst[0], CGuard);
}

// ---------------------------------------------------------------- ramp

TEST(SNDispatcherRampTest, RoundsHalvesAwayAndSaturates)
{
    Ipp16s LDst[8];
    ASSERT_EQ(_px_ippsVectorRamp_16s(LDst, 8, -2.5f, 1.0f), ippStsNoErr);
    const Ipp16s LExpected[8] = {-3, -2, -1, 1, 2, 3, 4, 5}; // -2.5 -> -3, -0.5 -> -1, 0.5 -> 1
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(LDst[n], LExpected[n]) << n;
    ASSERT_EQ(_px_ippsVectorRamp_16s(LDst, 5, 32765.0f, 1.0f), ippStsNoErr);
    EXPECT_EQ(LDst[1], 32766);
    EXPECT_EQ(LDst[2], 32767);
    EXPECT_EQ(LDst[4], 32767);
    ASSERT_EQ(_px_ippsVectorRamp_16s(LDst, 3, 0.0f, -1e30f), ippStsNoErr);
    EXPECT_EQ(LDst[0], 0); // 0 is not above 0: 0 - 0.5 truncates to 0
    EXPECT_EQ(LDst[1], -32768);
}

TEST(SNDispatcherRampTest, MatchesReferenceAndChecks)
{
    std::mt19937 LRandom(14);
    std::uniform_real_distribution<float> LDist(-40000.0f, 40000.0f), LSlope(-300.0f, 300.0f);
    for (const int LLen : COddLengths) {
        const float LOffset = LDist(LRandom), LStep = LSlope(LRandom);
        std::vector<Ipp16s> LDst(LLen + 1, CGuard);
        ASSERT_EQ(_px_ippsVectorRamp_16s(LDst.data(), LLen, LOffset, LStep), ippStsNoErr);
        for (int n = 0; n < LLen; ++n) {
            const double v = n * double{LStep} + LOffset;
            const double r = v > 0 ? v + 0.5 : v - 0.5;
            const int LExpected = r >= 32767 ? 32767 : r <= -32768 ? -32768 : static_cast<int>(r);
            ASSERT_EQ(LDst[n], LExpected) << n;
        }
        EXPECT_EQ(LDst[LLen], CGuard);
    }
    Ipp16s LOne = CGuard;
    EXPECT_EQ(_px_ippsVectorRamp_16s(nullptr, 0, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsVectorRamp_16s(&LOne, 0, 0, 0), ippStsSizeErr);
    EXPECT_EQ(_px_ippsVectorRamp_16s(&LOne, -1, 0, 0), ippStsSizeErr);
    EXPECT_EQ(LOne, CGuard);
    EXPECT_EQ(_px_ippsVectorRamp_16s(&LOne, 1, std::numeric_limits<float>::quiet_NaN(), 0), ippStsNoErr);
    EXPECT_EQ(LOne, 0);
}

// ---------------------------------------------------------------- noise

TEST(SNDispatcherNoiseTest, UniformHandWorkedValues)
{
    Ipp16s LDst[5];
    unsigned int LSeed = 12345;
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(LDst, 5, -1000, 1000, &LSeed), ippStsNoErr);
    const Ipp16s LExpected[5] = {-396, 863, 24, 807, 704};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(LDst[n], LExpected[n]) << n;
    EXPECT_EQ(LSeed, 3247492881u);
}

TEST(SNDispatcherNoiseTest, UniformStaysInRangeWithFlatHistogram)
{
    std::vector<Ipp16s> LDst(100001);
    unsigned int LSeed = 99;
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(LDst.data(), int(LDst.size()), -100, 100, &LSeed), ippStsNoErr);
    int LBins[2] = {0, 0};
    for (const Ipp16s v : LDst) {
        ASSERT_GE(v, -100);
        ASSERT_LE(v, 100);
        ++LBins[v < 0 ? 0 : 1];
    }
    EXPECT_NEAR(LBins[0], 50000, 1500);
}

TEST(SNDispatcherNoiseTest, UniformCongruentialPartRestartsEachCall)
{
    Ipp16s LTwo[2], LFirst, LSecond;
    unsigned int LSeedA = 12345, LSeedB = 12345;
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(LTwo, 2, -1000, 1000, &LSeedA), ippStsNoErr);
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(&LFirst, 1, -1000, 1000, &LSeedB), ippStsNoErr);
    EXPECT_EQ(LSeedB, 1380956524u);
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(&LSecond, 1, -1000, 1000, &LSeedB), ippStsNoErr);
    EXPECT_EQ(LFirst, LTwo[0]);
    EXPECT_EQ(LTwo[1], 863);
    EXPECT_NE(LSecond, LTwo[1]);
    EXPECT_EQ(LSeedA, 2428418575u);
}

TEST(SNDispatcherNoiseTest, GaussHandWorkedSeedBehaviour)
{
    Ipp16s LDst[3] = {CGuard, CGuard, CGuard};
    unsigned int LSeed = 7;
    ASSERT_EQ(_px_ippsRandGauss_Direct_16s(LDst, 1, 0, 1000, &LSeed), ippStsNoErr);
    EXPECT_EQ(LDst[0], -461);
    EXPECT_EQ(LDst[1], CGuard);
    EXPECT_EQ(LSeed, 3280579559u) << "the r2 of the one pair drawn";
    LSeed = 7;
    ASSERT_EQ(_px_ippsRandGauss_Direct_16s(LDst, 2, 0, 1000, &LSeed), ippStsNoErr);
    EXPECT_EQ(LDst[0], -461);
    EXPECT_EQ(LDst[1], -342);
    EXPECT_EQ(LSeed, 2224443505u) << "a second pair drawn only moves the seed";
    LSeed = 7;
    ASSERT_EQ(_px_ippsRandGauss_Direct_16s(LDst, 3, 100, 3000, &LSeed), ippStsNoErr);
    EXPECT_EQ(LDst[0], -1285);
    EXPECT_EQ(LDst[1], -926);
    EXPECT_EQ(LDst[2], -3720);
    EXPECT_EQ(LSeed, 2224443505u);
}

TEST(SNDispatcherNoiseTest, GaussStatistics)
{
    std::vector<Ipp16s> LDst(200001);
    unsigned int LSeed = 5;
    ASSERT_EQ(_px_ippsRandGauss_Direct_16s(LDst.data(), int(LDst.size()), 100, 1000, &LSeed), ippStsNoErr);
    double LSum = 0, LSquares = 0;
    for (const Ipp16s v : LDst) {
        LSum += v;
        LSquares += double(v) * v;
    }
    const double LMean = LSum / LDst.size();
    EXPECT_NEAR(LMean, 99.5, 10); // truncation toward zero pulls by about half a step
    EXPECT_NEAR(std::sqrt(LSquares / LDst.size() - LMean * LMean), 1000, 15);
}

TEST(SNDispatcherNoiseTest, ChecksAndWritesNothing)
{
    Ipp16s LDst = CGuard;
    unsigned int LSeed = 42;
    for (const auto LKernel : {_px_ippsRandUniform_Direct_16s, _px_ippsRandGauss_Direct_16s}) {
        EXPECT_EQ(LKernel(nullptr, 0, 0, 1, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(LKernel(&LDst, 0, 0, 1, nullptr), ippStsNullPtrErr);
        EXPECT_EQ(LKernel(nullptr, 1, 0, 1, &LSeed), ippStsNullPtrErr);
        EXPECT_EQ(LKernel(&LDst, 0, 0, 1, &LSeed), ippStsSizeErr);
        EXPECT_EQ(LKernel(&LDst, -2, 0, 1, &LSeed), ippStsSizeErr);
    }
    EXPECT_EQ(LDst, CGuard);
    EXPECT_EQ(LSeed, 42u);
}

// ---------------------------------------------------------------- 16-bit arithmetic

TEST(SNDispatcherArithmeticTest, AddSaturates)
{
    for (const int LLen : COddLengths) {
        const auto a = RandomShorts(LLen, 20 + LLen), b = RandomShorts(LLen + 1, 40 + LLen);
        auto LDst = b;
        ASSERT_EQ(_px_ippsAdd_16s_I(a.data(), LDst.data(), LLen), ippStsNoErr);
        for (int i = 0; i < LLen; ++i)
            ASSERT_EQ(LDst[i], std::clamp(int(a[i]) + int(b[i]), -32768, 32767)) << i;
        EXPECT_EQ(LDst[LLen], b[LLen]);
    }
    Ipp16s LOne = 1;
    EXPECT_EQ(_px_ippsAdd_16s_I(nullptr, &LOne, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsAdd_16s_I(&LOne, nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsAdd_16s_I(&LOne, &LOne, 0), ippStsSizeErr);
    EXPECT_EQ(LOne, 1);
}

TEST(SNDispatcherArithmeticTest, ThresholdBothSides)
{
    for (const int LLen : COddLengths) {
        const auto LSrc = RandomShorts(LLen + 1, 60 + LLen);
        auto LDst = LSrc;
        ASSERT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LDst.data(), LLen, -1000, -7, 2000, 9), ippStsNoErr);
        for (int i = 0; i < LLen; ++i)
            ASSERT_EQ(LDst[i], LSrc[i] < -1000 ? -7 : LSrc[i] > 2000 ? 9 : LSrc[i]);
        EXPECT_EQ(LDst[LLen], LSrc[LLen]);
    }
    Ipp16s LValues[3] = {-5, 5, 0};
    // levelLT == levelGT is allowed; the lower check wins.
    ASSERT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LValues, 3, 0, -1, 0, 1), ippStsNoErr);
    EXPECT_EQ(LValues[0], -1);
    EXPECT_EQ(LValues[1], 1);
    EXPECT_EQ(LValues[2], 0);
    EXPECT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(nullptr, 0, 5, 0, 4, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LValues, 0, 5, 0, 4, 0), ippStsSizeErr);
    EXPECT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LValues, 3, 5, 0, 4, 0), ippStsThresholdErr);
    EXPECT_EQ(LValues[0], -1);
}

// ---------------------------------------------------------------- float arithmetic

TEST(SNDispatcherFloatTest, SumKeepsTheTwoPartialSumOrder)
{
    // Magnitudes chosen so that any other order changes the single result.
    const float LValues[7] = {1e8f, 1.0f, -1e8f, 1.0f, 3.0f, 0.25f, 1e-3f};
    float LSum = 0;
    ASSERT_EQ(_px_ippsSum_32f(LValues, 7, &LSum, ippAlgHintNone), ippStsNoErr);
    EXPECT_EQ(LSum, static_cast<float>((((0.0 + 1e8) + -1e8) + ((0.0 + 1.0) + 1.0)) + 3.0 + 0.25 + double{1e-3f}));
    for (const int LLen : COddLengths) {
        const auto x = RandomFloats(LLen, -1e6f, 1e6f, 70 + LLen);
        double s0 = 0, s1 = 0;
        const int LWhole = LLen / 4 * 4;
        for (int i = 0; i < LWhole; i += 4) {
            s0 += x[i];
            s1 += x[i + 1];
            s0 += x[i + 2];
            s1 += x[i + 3];
        }
        double t = s0 + s1;
        for (int i = LWhole; i < LLen; ++i)
            t += x[i];
        ASSERT_EQ(_px_ippsSum_32f(x.data(), LLen, &LSum, ippAlgHintAccurate), ippStsNoErr);
        EXPECT_EQ(LSum, static_cast<float>(t)) << LLen;
    }
    LSum = 5;
    EXPECT_EQ(_px_ippsSum_32f(nullptr, 0, &LSum, ippAlgHintNone), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSum_32f(LValues, 1, nullptr, ippAlgHintNone), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSum_32f(LValues, 0, &LSum, ippAlgHintNone), ippStsSizeErr);
    EXPECT_EQ(LSum, 5);
}

TEST(SNDispatcherFloatTest, SqrMulCDivC)
{
    for (const int LLen : COddLengths) {
        const auto x = RandomFloats(LLen + 1, -3e4f, 3e4f, 80 + LLen);
        auto LSquares = x;
        ASSERT_EQ(_px_ippsSqr_32f_I(LSquares.data(), LLen), ippStsNoErr);
        std::vector<float> LProducts(LLen + 1, -1.0f);
        ASSERT_EQ(_px_ippsMulC_32f(x.data(), 0.3f, LProducts.data(), LLen), ippStsNoErr);
        auto LQuotients = x;
        ASSERT_EQ(_px_ippsDivC_32f_I(3.0f, LQuotients.data(), LLen), ippStsNoErr);
        const float LThird = static_cast<float>(1.0 / 3.0);
        for (int i = 0; i < LLen; ++i) {
            ASSERT_EQ(LSquares[i], static_cast<float>(double{x[i]} * x[i]));
            ASSERT_EQ(LProducts[i], static_cast<float>(double{x[i]} * 0.3f));
            ASSERT_EQ(LQuotients[i], static_cast<float>(double{x[i]} * LThird));
        }
        EXPECT_EQ(LSquares[LLen], x[LLen]);
        EXPECT_EQ(LProducts[LLen], -1.0f);
        EXPECT_EQ(LQuotients[LLen], x[LLen]);
    }
    // MulC by 0 gives zeros even for infinities and NaN; by 1 copies NaN.
    const float LOdd[3] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), -2.0f};
    float LOut[3];
    ASSERT_EQ(_px_ippsMulC_32f(LOdd, 0.0f, LOut, 3), ippStsNoErr);
    for (const float v : LOut)
        EXPECT_EQ(v, 0.0f);
    ASSERT_EQ(_px_ippsMulC_32f(LOdd, 1.0f, LOut, 3), ippStsNoErr);
    EXPECT_TRUE(std::isinf(LOut[0]) && std::isnan(LOut[1]) && LOut[2] == -2.0f);
    // DivC by infinity multiplies by 0: zeros.
    float LInPlace[2] = {std::numeric_limits<float>::infinity(), 4.0f};
    ASSERT_EQ(_px_ippsDivC_32f_I(std::numeric_limits<float>::infinity(), LInPlace, 2), ippStsNoErr);
    EXPECT_EQ(LInPlace[0], 0.0f);
    EXPECT_EQ(LInPlace[1], 0.0f);
    // Checks in order.
    float LKeep = 9;
    EXPECT_EQ(_px_ippsSqr_32f_I(nullptr, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSqr_32f_I(&LKeep, 0), ippStsSizeErr);
    EXPECT_EQ(_px_ippsMulC_32f(nullptr, 2, &LKeep, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsMulC_32f(&LKeep, 2, nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsMulC_32f(&LKeep, 2, &LKeep, -1), ippStsSizeErr);
    EXPECT_EQ(_px_ippsDivC_32f_I(0, nullptr, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsDivC_32f_I(0, &LKeep, 0), ippStsSizeErr);
    EXPECT_EQ(_px_ippsDivC_32f_I(0, &LKeep, 1), ippStsDivByZeroErr);
    EXPECT_EQ(LKeep, 9);
}

TEST(SNDispatcherFloatTest, ConjCcsCompletesTheUpperHalf)
{
    for (const int LLen : {1, 2, 3, 4, 5, 8, 9, 255}) {
        std::vector<Ipp64fc> x(LLen);
        for (int i = 0; i < LLen; ++i)
            x[i] = {i + 0.5, -(i * 2.0) - 0.25};
        auto y = x;
        ASSERT_EQ(_px_ippsConjCcs_64fc_I(y.data(), LLen), ippStsNoErr);
        const int h = LLen / 2;
        for (int i = 0; i <= h; ++i) {
            EXPECT_EQ(y[i].re, x[i].re);
            EXPECT_EQ(y[i].im, x[i].im);
        }
        for (int i = h + 1; i < LLen; ++i) {
            EXPECT_EQ(y[i].re, x[LLen - i].re) << LLen << " " << i;
            EXPECT_EQ(y[i].im, -x[LLen - i].im) << LLen << " " << i;
        }
    }
    Ipp64fc LOne{1, 2};
    EXPECT_EQ(_px_ippsConjCcs_64fc_I(nullptr, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsConjCcs_64fc_I(&LOne, 0), ippStsSizeErr);
}

TEST(SNDispatcherFloatTest, CompensateOffsetIsAFirstOrderHighPass)
{
    for (const int LLen : COddLengths) {
        const auto x = RandomFloats(LLen + 1, -1000.0f, 1000.0f, 90 + LLen);
        auto LData = x;
        float LPrevious = 12.5f;
        ASSERT_EQ(_px_ippsCompensateOffset_32f_I(LData.data(), LLen, &LPrevious, -3.0f, 0.99f), ippStsNoErr);
        double y = -3.0, xp = 12.5;
        for (int n = 0; n < LLen; ++n) {
            y = x[n] - xp + 0.99f * y;
            xp = x[n];
            ASSERT_EQ(LData[n], static_cast<float>(y)) << n;
        }
        EXPECT_EQ(LPrevious, x[LLen - 1]);
        EXPECT_EQ(LData[LLen], x[LLen]);
    }
    float LOne = 1, LZero = 0;
    EXPECT_EQ(_px_ippsCompensateOffset_32f_I(nullptr, 0, &LZero, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsCompensateOffset_32f_I(&LOne, 1, nullptr, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsCompensateOffset_32f_I(&LOne, 0, &LZero, 0, 0), ippStsSizeErr);
    EXPECT_EQ(LOne, 1);
    EXPECT_EQ(LZero, 0);
}

TEST(SNDispatcherFloatTest, SampleDown)
{
    const auto x = RandomFloats(101, -1, 1, 100);
    for (const int LLen : {1, 7, 31, 101})
        for (const int LFactor : {1, 2, 3, 5, 7, 200})
            for (int LPhase0 = 0; LPhase0 < LFactor && LPhase0 < 9; ++LPhase0) {
                std::vector<float> LDst(LLen + 1, -7.0f);
                int LDstLen = -1, LPhase = LPhase0;
                ASSERT_EQ(_px_ippsSampleDown_32f(x.data(), LLen, LDst.data(), &LDstLen, LFactor, &LPhase), ippStsNoErr);
                int LCount = 0, i = LPhase0;
                for (; i < LLen; i += LFactor)
                    ASSERT_EQ(LDst[LCount++], x[i]);
                EXPECT_EQ(LDstLen, LCount);
                EXPECT_EQ(LDst[LCount], -7.0f);
                EXPECT_EQ(LPhase, LFactor == 1 ? LPhase0 : i - LLen);
            }
    float LDst[4];
    int LLen = 9, LPhase = 0;
    EXPECT_EQ(_px_ippsSampleDown_32f(x.data(), 0, LDst, &LLen, 0, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSampleDown_32f(x.data(), 0, LDst, &LLen, 0, &LPhase), ippStsSizeErr);
    EXPECT_EQ(_px_ippsSampleDown_32f(x.data(), 4, LDst, &LLen, 0, &LPhase), ippStsSampleFactorErr);
    LPhase = 2;
    EXPECT_EQ(_px_ippsSampleDown_32f(x.data(), 4, LDst, &LLen, 2, &LPhase), ippStsSamplePhaseErr);
    LPhase = -1;
    EXPECT_EQ(_px_ippsSampleDown_32f(x.data(), 4, LDst, &LLen, 2, &LPhase), ippStsSamplePhaseErr);
    EXPECT_EQ(LLen, 9);
    EXPECT_EQ(LPhase, -1);
}

TEST(SNDispatcherFloatTest, PeriodicityFindsThePeriod)
{
    // A 37-sample periodic pattern plus a little noise: the estimate is 37
    // (or a multiple, which the first-maximum rule excludes) with a
    // periodicity close to 1.
    const auto LPattern = RandomFloats(37, -1, 1, 110);
    const auto LNoise = RandomFloats(500, -0.01f, 0.01f, 111);
    std::vector<float> x(500);
    for (int i = 0; i < 500; ++i)
        x[i] = LPattern[i % 37] + LNoise[i];
    float LPeriodicity = -1;
    int LPeriod = -1;
    ASSERT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 500, &LPeriodicity, &LPeriod, 60, 32), ippStsNoErr);
    EXPECT_EQ(LPeriod, 37);
    EXPECT_GT(LPeriodicity, 0.99f);
    EXPECT_LE(LPeriodicity, 1.0f);

    // Against a literal reference with plain divisions by m and sqrt(m).
    for (const int LLen : {101, 257, 1023}) {
        const auto y = RandomFloats(LLen, -1, 1, 120 + LLen);
        const int LMin = (LLen + 15) / 16, LMax = LLen - 1 < 4 * LMin ? LLen - 1 : 4 * LMin;
        double E = 0;
        for (const float v : y)
            E += double{v} * v;
        float LBest = 0;
        int LBestPeriod = 0;
        for (int p = std::max(LMin, 6); p <= LMax; ++p) {
            double S1 = 0, S2 = 0;
            for (int j = 0; j < p; ++j) {
                double s = 0, q = 0;
                int m = 0;
                for (int i = j; i < LLen; i += p, ++m) {
                    s += y[i];
                    q += double{y[i]} * y[i];
                }
                const double LScaled = s * (1.0 / std::sqrt(double(m)));
                S1 += LScaled * LScaled;
                S2 += q * (1.0 / m);
            }
            if (E - S2 > 0 && S1 - S2 > 0 && (S1 - S2) / (E - S2) > LBest) {
                LBest = static_cast<float>((S1 - S2) / (E - S2));
                LBestPeriod = p;
            }
        }
        ASSERT_EQ(_px_ippsPeriodicityLSPE_32f(y.data(), LLen, &LPeriodicity, &LPeriod, LMax, std::max(LMin, 6)),
                  ippStsNoErr);
        EXPECT_EQ(LPeriod, LBestPeriod);
        EXPECT_EQ(LPeriodicity, LBest);
    }
}

TEST(SNDispatcherFloatTest, PeriodicityChecksInOrder)
{
    std::vector<float> x(1100, 0.0f);
    float LPeriodicity = 5;
    int LPeriod = 5;
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(nullptr, 0, &LPeriodicity, &LPeriod, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 0, &LPeriodicity, nullptr, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 0, &LPeriodicity, &LPeriod, 10, 5), ippStsRangeErr);
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 0, &LPeriodicity, &LPeriod, 6, 6), ippStsRangeErr);
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 10, &LPeriodicity, &LPeriod, 10, 6), SNStsPeriodicityLenErr);
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 1025, &LPeriodicity, &LPeriod, 900, 100), SNStsPeriodicityLenErr);
    EXPECT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 97, &LPeriodicity, &LPeriod, 10, 6), SNStsPeriodicityLenErr);
    EXPECT_EQ(LPeriodicity, 5);
    EXPECT_EQ(LPeriod, 5);
    // Silence: no candidate qualifies, both results 0.
    ASSERT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 96, &LPeriodicity, &LPeriod, 10, 6), ippStsNoErr);
    EXPECT_EQ(LPeriodicity, 0);
    EXPECT_EQ(LPeriod, 0);
}

// ---------------------------------------------------------------- conversions

TEST(SNDispatcherConvertTest, RoundsTiesToEvenAndSaturates)
{
    const float LSrc[6] = {2.5f, 3.5f, -2.5f, 40000.0f, -40000.0f, -3.5f};
    Ipp16s LDst[6];
    ASSERT_EQ(_px_ippiConvert_32f16s_C1R(LSrc, 24, LDst, 12, {6, 1}, ippRndNear), ippStsNoErr);
    const Ipp16s LExpected[6] = {2, 4, -2, 32767, -32768, -4};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(LDst[i], LExpected[i]) << LSrc[i];
    Ipp8s L8[6];
    const float LSrc8[6] = {126.5f, 127.4f, -128.5f, 0.5f, 1.5f, -1.5f};
    ASSERT_EQ(_px_ippiConvert_32f8s_C1R(LSrc8, 24, L8, 6, {6, 1}, ippRndNear), ippStsNoErr);
    const Ipp8s LExpected8[6] = {126, 127, -128, 0, 2, -2};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(L8[i], LExpected8[i]) << LSrc8[i];
    ASSERT_EQ(_px_ippiConvert_32f8s_C1R(LSrc8, 24, L8, 6, {6, 1}, ippRndZero), ippStsNoErr);
    const Ipp8s LTruncated[6] = {126, 127, -128, 0, 1, -1};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(L8[i], LTruncated[i]) << LSrc8[i];
}

// Float to integer against the literal rounding rule, packed and with gaps
// between rows, in both round modes and with another mode value.
template <class T, int32_t AMin, int32_t AMax>
void CheckFromFloat(IppStatus (*AKernel)(const Ipp32f*, int, T*, int, IppiSize, IppRoundMode))
{
    std::mt19937 LRandom(130);
    std::uniform_real_distribution<float> LWide(AMin * 1.2f, AMax * 1.2f);
    for (const IppiSize LRoi : {IppiSize{1, 1}, IppiSize{7, 1}, IppiSize{5, 3}, IppiSize{31, 9}, IppiSize{1, 13}})
        for (const int LGap : {0, 3})
            for (const int LMode : {0, 1, 7}) {
                const int LSrcStep = (LRoi.width + LGap) * 4, LDstStep = (LRoi.width + LGap) * int(sizeof(T));
                std::vector<float> LSrc(size_t(LRoi.width + LGap) * LRoi.height);
                for (size_t i = 0; i < LSrc.size(); ++i)
                    LSrc[i] = i % 5 == 0 ? std::round(LWide(LRandom)) + 0.5f : LWide(LRandom);
                std::vector<T> LDst(LSrc.size(), T(0x5A));
                ASSERT_EQ(AKernel(LSrc.data(), LSrcStep, LDst.data(), LDstStep, LRoi, IppRoundMode(LMode)), ippStsNoErr);
                for (int y = 0; y < LRoi.height; ++y)
                    for (int x = 0; x < LRoi.width + LGap; ++x) {
                        const size_t i = size_t(y) * (LRoi.width + LGap) + x;
                        if (x >= LRoi.width)
                            ASSERT_EQ(LDst[i], T(0x5A));
                        else
                            ASSERT_EQ(LDst[i], RefFloatToInt(LSrc[i], AMin, AMax, IppRoundMode(LMode == 1)))
                                << LSrc[i] << " mode " << LMode;
                    }
            }
}

TEST(SNDispatcherConvertTest, FloatToIntegerMatchesTheRule)
{
    CheckFromFloat<Ipp16s, -32768, 32767>(_px_ippiConvert_32f16s_C1R);
    CheckFromFloat<Ipp8s, -128, 127>(_px_ippiConvert_32f8s_C1R);
}

TEST(SNDispatcherConvertTest, IntegerToFloatIsExact)
{
    const auto LShorts = RandomShorts(31 * 9, 140);
    std::vector<float> LFloats(31 * 9 + 5, -1.0f);
    ASSERT_EQ(_px_ippiConvert_16s32f_C1R(LShorts.data(), 62, LFloats.data(), 124, {31, 9}), ippStsNoErr);
    for (size_t i = 0; i < LShorts.size(); ++i)
        ASSERT_EQ(LFloats[i], float(LShorts[i]));
    EXPECT_EQ(LFloats[31 * 9], -1.0f);
    std::vector<Ipp8s> LBytes(7 * 3);
    for (size_t i = 0; i < LBytes.size(); ++i)
        LBytes[i] = Ipp8s(int(i * 37) - 128);
    // Only the first 5 of each row of 7.
    std::fill(LFloats.begin(), LFloats.end(), -1000.0f);
    ASSERT_EQ(_px_ippiConvert_8s32f_C1R(LBytes.data(), 7, LFloats.data(), 28, {5, 3}), ippStsNoErr);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(LFloats[y * 7 + x], x < 5 ? float(LBytes[y * 7 + x]) : -1000.0f);
}

TEST(SNDispatcherConvertTest, ChecksInOrderAndWritesNothing)
{
    const float LSrc[2] = {1, 2};
    Ipp16s LDst[2] = {CGuard, CGuard};
    Ipp8s L8[2] = {5, 5};
    EXPECT_EQ(_px_ippiConvert_32f16s_C1R(nullptr, 0, LDst, 0, {0, 0}, ippRndNear), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippiConvert_32f16s_C1R(LSrc, 0, nullptr, 0, {0, 0}, ippRndNear), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippiConvert_32f16s_C1R(LSrc, 0, LDst, 0, {0, 1}, ippRndNear), ippStsSizeErr);
    EXPECT_EQ(_px_ippiConvert_32f16s_C1R(LSrc, 0, LDst, 0, {1, -1}, ippRndNear), ippStsSizeErr);
    EXPECT_EQ(_px_ippiConvert_32f16s_C1R(LSrc, 0, LDst, 4, {2, 1}, ippRndNear), ippStsStepErr);
    EXPECT_EQ(_px_ippiConvert_32f16s_C1R(LSrc, 8, LDst, -4, {2, 1}, ippRndNear), ippStsStepErr);
    EXPECT_EQ(_px_ippiConvert_32f8s_C1R(LSrc, 8, L8, 0, {2, 1}, ippRndNear), ippStsStepErr);
    EXPECT_EQ(_px_ippiConvert_16s32f_C1R(LDst, 0, nullptr, 0, {0, 0}), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippiConvert_8s32f_C1R(L8, 2, nullptr, 8, {2, 1}), ippStsNullPtrErr);
    EXPECT_EQ(LDst[0], CGuard);
    EXPECT_EQ(L8[0], 5);
}

// ---------------------------------------------------------------- aligned memory

TEST(SNDispatcherMemoryTest, AlignedBlocks)
{
    EXPECT_EQ(_ippMalloc(0), nullptr);
    EXPECT_EQ(_ippMalloc(-5), nullptr);
    _ippFree(nullptr);
    std::vector<void*> LBlocks;
    for (int LLen = 1; LLen < 200; LLen += 13) {
        auto* p = static_cast<uint8_t*>(_ippMalloc(LLen));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
        std::memset(p, 0xCD, LLen); // the whole block is usable
        LBlocks.push_back(p);
    }
    for (void* p : LBlocks)
        _ippFree(p);
}

} // namespace
} // namespace Sonorix
