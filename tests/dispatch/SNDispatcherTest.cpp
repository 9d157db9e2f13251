// SPDX-License-Identifier: MIT
// Portable generator, arithmetic and analysis kernels of the vector-primitive
// table (its conversions are tested with the region kernels): values worked
// out by hand or independently in Python, properties over odd lengths, and
// the order of the checks.
#include "DispatchTestKit.h"
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace Sonorix {
namespace {

using Test::RandomValues;

using ::testing::ElementsAre;
using ::testing::Each;

constexpr double CPi = 3.14159265358979323846;
constexpr double CTwoPi = 2 * CPi;
constexpr Ipp16s CGuard = 0x5A5A;

TEST(SNDispatcherToneTest, HandWorkedValues)
{
    // Worked out in Python from the algorithm text.
    Ipp16s LDst[7];
    float LPhase = 0.5f;
    ASSERT_EQ(_px_ippsTone_Direct_16s(LDst, 7, 10000, 0.1f, &LPhase, ippAlgHintNone), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(8775, 4281, -1847, -7271, -9917, -8775, -4281));
    EXPECT_EQ(LPhase, 4.898229598999023f);
    // One sample advances the phase too.
    Ipp16s LOne[2] = {CGuard, CGuard};
    LPhase = 0.25f;
    ASSERT_EQ(_px_ippsTone_Direct_16s(LOne, 1, 1000, 0.125f, &LPhase, ippAlgHintNone), ippStsNoErr);
    EXPECT_THAT(LOne, ElementsAre(static_cast<Ipp16s>(1000 * std::cos(0.25)), CGuard));
    EXPECT_FLOAT_EQ(LPhase, static_cast<float>(0.25 + CTwoPi * 0.125));
}

TEST(SNDispatcherToneTest, EndPhaseRoundingToTwoPiStoresZero)
{
    // float(2 pi) lies above 2 pi; LBelow is the single below it.
    const float LBelow = std::nextafter(static_cast<float>(CTwoPi), 0.0f);
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
    EXPECT_THAT(LDst, Each(CGuard));
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
    std::vector<Ipp16s> LDst(801);
    float LPhase = 0.0f;
    ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 801, 30000, 1.0f / 400, static_cast<float>(CPi / 2), &LPhase),
              ippStsNoErr);
    const std::pair<int, int> LPoints[] = {{0, 30000}, {75, 15000}, {150, 0}, {300, -30000}, {325, -15000},
                                           {350, 0}, {400, 30000}, {750, 0}, {800, 30000}};
    for (const auto& [n, LValue] : LPoints)
        EXPECT_NEAR(LDst[n], LValue, 2.0) << n;
}

TEST(SNDispatcherTriangleTest, ZeroFrequencyAndSteepShapesStayInRange)
{
    // Zero frequency, phase on the rising half: constant, no step.
    Ipp16s LConstant[9];
    float LPhase = 4.0f;
    ASSERT_EQ(_px_ippsTriangle_Direct_16s(LConstant, 9, 1000, 0.0f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_THAT(LConstant, Each(static_cast<Ipp16s>(1000 * (-1 + 2 * (4.0 - CPi) / CPi))));
    EXPECT_EQ(LPhase, 4.0f);
    // A rising half shorter than one step: the step crosses a whole half and
    // the direction stays.
    for (const float LAsym : {3.0f, -3.0f, 2.9f})
        for (const float LFreq : {0.45f, 0.3f, 0.49f}) {
            std::vector<Ipp16s> LDst(101);
            LPhase = 0.5f;
            ASSERT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 101, 32767, LFreq, LAsym, &LPhase), ippStsNoErr);
            EXPECT_THAT(LDst, Each(::testing::Ge(-32767))) << LAsym << " " << LFreq;
            EXPECT_NE(*std::min_element(LDst.begin(), LDst.end()), *std::max_element(LDst.begin(), LDst.end()));
        }
    // float(-pi) lies below -pi and is refused; the next single up leaves a
    // falling half of about 1e-8 radians and slopes near 1e12.
    const float LNearMinusPi = std::nextafter(static_cast<float>(-CPi), 0.0f);
    std::vector<Ipp16s> LDst(33);
    LPhase = 1.0f;
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 33, 1000, 0.1f, static_cast<float>(-CPi), &LPhase),
              ippStsTrnglAsymErr);
    EXPECT_EQ(_px_ippsTriangle_Direct_16s(LDst.data(), 33, 1000, 0.1f, LNearMinusPi, &LPhase), ippStsNoErr);
    EXPECT_THAT(LDst, Each(::testing::AllOf(::testing::Ge(-1000), ::testing::Le(1000))));
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

TEST(SNDispatcherSquareTest, LowFirstAndAsymmetryMovesTheEdge)
{
    Ipp16s LHalves[16];
    float LPhase = 0.0f;
    ASSERT_EQ(ippsSquare_Direct_16s(LHalves, 16, 1234, 0.125f, 0.0f, &LPhase), ippStsNoErr);
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(LHalves[n], (n % 8) < 4 ? -1234 : 1234) << n;
    EXPECT_EQ(LPhase, 0.0f);
    // asym 0.5: low for 3/4 of each cycle of 10 samples.
    std::vector<Ipp16s> LDst(14, CGuard);
    ASSERT_EQ(ippsSquare_Direct_16s(LDst.data(), 13, 777, 0.1f, 0.5f, &LPhase), ippStsNoErr);
    for (int n = 0; n < 13; ++n)
        EXPECT_EQ(LDst[n], n % 10 < 8 ? -777 : 777) << n;
    EXPECT_EQ(LDst[13], CGuard);
    EXPECT_NEAR(LPhase, 0.3 * CTwoPi, 1e-5);
    // Starting at 0.85 of a cycle: high, then a new cycle.
    LPhase = static_cast<float>(0.85 * CTwoPi);
    ASSERT_EQ(ippsSquare_Direct_16s(LDst.data(), 3, 777, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_THAT(std::vector<Ipp16s>(LDst.begin() + 1, LDst.begin() + 3), ElementsAre(777, -777));
    // No samples, or nowhere to put them: only the phase is stored.
    LDst[0] = CGuard;
    LPhase = 1.0f;
    EXPECT_EQ(ippsSquare_Direct_16s(LDst.data(), 0, 5, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_EQ(LPhase, static_cast<float>(1.0 / CTwoPi * CTwoPi));
    EXPECT_EQ(ippsSquare_Direct_16s(LDst.data(), -4, 5, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_EQ(ippsSquare_Direct_16s(nullptr, 4, 5, 0.1f, 0.0f, &LPhase), ippStsNoErr);
    EXPECT_EQ(ippsSquare_Direct_16s(LDst.data(), 1, 5, 0.1f, 0.0f, nullptr), ippStsNoErr);
    EXPECT_EQ(LDst[0], CGuard);
}

TEST(SNDispatcherRampTest, RoundsHalvesAwayAndSaturates)
{
    Ipp16s LDst[8];
    ASSERT_EQ(_px_ippsVectorRamp_16s(LDst, 8, -2.5f, 1.0f), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(-3, -2, -1, 1, 2, 3, 4, 5)); // -2.5 -> -3, -0.5 -> -1, 0.5 -> 1
    ASSERT_EQ(_px_ippsVectorRamp_16s(LDst, 5, 32765.0f, 1.0f), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(32765, 32766, 32767, 32767, 32767, 3, 4, 5));
    ASSERT_EQ(_px_ippsVectorRamp_16s(LDst, 3, 0.0f, -1e30f), ippStsNoErr);
    EXPECT_EQ(LDst[0], 0); // 0 is not above 0: 0 - 0.5 truncates to 0
    EXPECT_EQ(LDst[1], -32768);
    Ipp16s LOne = CGuard;
    EXPECT_EQ(_px_ippsVectorRamp_16s(nullptr, 0, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsVectorRamp_16s(&LOne, 0, 0, 0), ippStsSizeErr);
    EXPECT_EQ(_px_ippsVectorRamp_16s(&LOne, -1, 0, 0), ippStsSizeErr);
    EXPECT_EQ(LOne, CGuard);
    EXPECT_EQ(_px_ippsVectorRamp_16s(&LOne, 1, std::numeric_limits<float>::quiet_NaN(), 0), ippStsNoErr);
    EXPECT_EQ(LOne, 0);
}

TEST(SNDispatcherNoiseTest, UniformHandWorkedValuesAndTheCongruentialPartRestartsEachCall)
{
    Ipp16s LDst[5], LFirst, LSecond;
    unsigned int LSeed = 12345, LSeedB = 12345;
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(LDst, 5, -1000, 1000, &LSeed), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(-396, 863, 24, 807, 704));
    EXPECT_EQ(LSeed, 3247492881u);
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(&LFirst, 1, -1000, 1000, &LSeedB), ippStsNoErr);
    EXPECT_EQ(LSeedB, 1380956524u);
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(&LSecond, 1, -1000, 1000, &LSeedB), ippStsNoErr);
    EXPECT_EQ(LFirst, -396);
    EXPECT_NE(LSecond, 863);
    LSeedB = 12345;
    ASSERT_EQ(_px_ippsRandUniform_Direct_16s(LDst, 2, -1000, 1000, &LSeedB), ippStsNoErr);
    EXPECT_EQ(LSeedB, 2428418575u);
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
    EXPECT_THAT(LDst, ElementsAre(-461, -342, CGuard));
    EXPECT_EQ(LSeed, 2224443505u) << "a second pair drawn only moves the seed";
    LSeed = 7;
    ASSERT_EQ(_px_ippsRandGauss_Direct_16s(LDst, 3, 100, 3000, &LSeed), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(-1285, -926, -3720));
    EXPECT_EQ(LSeed, 2224443505u);
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

TEST(SNDispatcherArithmeticTest, AddSaturates)
{
    const Ipp16s a[5] = {30000, -30000, 5, -32768, 99};
    Ipp16s LDst[5] = {10000, -10000, -7, -1, 1};
    ASSERT_EQ(_px_ippsAdd_16s_I(a, LDst, 4), ippStsNoErr);
    EXPECT_THAT(LDst, ElementsAre(32767, -32768, -2, -32768, 1));
    Ipp16s LOne = 1;
    EXPECT_EQ(_px_ippsAdd_16s_I(nullptr, &LOne, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsAdd_16s_I(&LOne, nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsAdd_16s_I(&LOne, &LOne, 0), ippStsSizeErr);
    EXPECT_EQ(LOne, 1);
}

TEST(SNDispatcherArithmeticTest, ThresholdBothSides)
{
    Ipp16s LData[8] = {-1001, -1000, -999, 2000, 2001, -32768, 32767, 5};
    ASSERT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LData, 7, -1000, -7, 2000, 9), ippStsNoErr);
    EXPECT_THAT(LData, ElementsAre(-7, -1000, -999, 2000, 9, -7, 9, 5));
    Ipp16s LValues[3] = {-5, 5, 0};
    // levelLT == levelGT is allowed; the lower check wins.
    ASSERT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LValues, 3, 0, -1, 0, 1), ippStsNoErr);
    EXPECT_THAT(LValues, ElementsAre(-1, 1, 0));
    EXPECT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(nullptr, 0, 5, 0, 4, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LValues, 0, 5, 0, 4, 0), ippStsSizeErr);
    EXPECT_EQ(_px_ippsThreshold_LTValGTVal_16s_I(LValues, 3, 5, 0, 4, 0), ippStsThresholdErr);
    EXPECT_EQ(LValues[0], -1);
}

TEST(SNDispatcherFloatTest, SumKeepsTheTwoPartialSumOrder)
{
    // Magnitudes chosen so that any other order changes the single result.
    const float LValues[7] = {1e8f, 1.0f, -1e8f, 1.0f, 3.0f, 0.25f, 1e-3f};
    float LSum = 0;
    ASSERT_EQ(_px_ippsSum_32f(LValues, 7, &LSum, ippAlgHintNone), ippStsNoErr);
    EXPECT_EQ(LSum, static_cast<float>((((0.0 + 1e8) + -1e8) + ((0.0 + 1.0) + 1.0)) + 3.0 + 0.25 + double{1e-3f}));
    LSum = 5;
    EXPECT_EQ(_px_ippsSum_32f(nullptr, 0, &LSum, ippAlgHintNone), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSum_32f(LValues, 1, nullptr, ippAlgHintNone), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSum_32f(LValues, 0, &LSum, ippAlgHintNone), ippStsSizeErr);
    EXPECT_EQ(LSum, 5);
}

TEST(SNDispatcherFloatTest, SqrMulCDivC)
{
    const float x[4] = {3.0f, -0.5f, 1e20f, 10.0f};
    float LSquares[4] = {3.0f, -0.5f, 1e20f, 7.0f}, LProducts[4] = {-1, -1, -1, -1};
    float LQuotients[4] = {3.0f, -0.5f, 1e20f, 7.0f};
    ASSERT_EQ(_px_ippsSqr_32f_I(LSquares, 3), ippStsNoErr);
    ASSERT_EQ(_px_ippsMulC_32f(x, 0.25f, LProducts, 3), ippStsNoErr);
    ASSERT_EQ(_px_ippsDivC_32f_I(4.0f, LQuotients, 3), ippStsNoErr);
    EXPECT_THAT(LSquares, ElementsAre(9.0f, 0.25f, std::numeric_limits<float>::infinity(), 7.0f));
    EXPECT_THAT(LProducts, ElementsAre(0.75f, -0.125f, 2.5e19f, -1.0f));
    EXPECT_THAT(LQuotients, ElementsAre(0.75f, -0.125f, 2.5e19f, 7.0f));
    // Division multiplies by the single nearest the reciprocal.
    float LTen = 10.0f;
    ASSERT_EQ(_px_ippsDivC_32f_I(3.0f, &LTen, 1), ippStsNoErr);
    EXPECT_EQ(LTen, static_cast<float>(10.0 * static_cast<float>(1.0 / 3.0)));
    // MulC by 0 gives zeros even for infinities and NaN; by 1 copies NaN.
    const float LOdd[3] = {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(), -2.0f};
    float LOut[3];
    ASSERT_EQ(_px_ippsMulC_32f(LOdd, 0.0f, LOut, 3), ippStsNoErr);
    EXPECT_THAT(LOut, Each(0.0f));
    ASSERT_EQ(_px_ippsMulC_32f(LOdd, 1.0f, LOut, 3), ippStsNoErr);
    EXPECT_TRUE(std::isinf(LOut[0]) && std::isnan(LOut[1]) && LOut[2] == -2.0f);
    // DivC by infinity multiplies by 0: zeros.
    float LInPlace[2] = {std::numeric_limits<float>::infinity(), 4.0f};
    ASSERT_EQ(_px_ippsDivC_32f_I(std::numeric_limits<float>::infinity(), LInPlace, 2), ippStsNoErr);
    EXPECT_THAT(LInPlace, Each(0.0f));
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
        for (int i = 0; i < LLen; ++i) {
            const bool LLower = i <= LLen / 2;
            EXPECT_EQ(y[i].re, x[LLower ? i : LLen - i].re) << LLen << " " << i;
            EXPECT_EQ(y[i].im, LLower ? x[i].im : -x[LLen - i].im) << LLen << " " << i;
        }
    }
    Ipp64fc LOne{1, 2};
    EXPECT_EQ(_px_ippsConjCcs_64fc_I(nullptr, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsConjCcs_64fc_I(&LOne, 0), ippStsSizeErr);
}

TEST(SNDispatcherFloatTest, CompensateOffsetIsAFirstOrderHighPass)
{
    // y[n] = x[n] - x[n-1] + 0.5 y[n-1], from x[-1] = 0.5 and y[-1] = -3.
    float LData[4] = {1.0f, 2.0f, 3.0f, 99.0f};
    float LPrevious = 0.5f;
    ASSERT_EQ(_px_ippsCompensateOffset_32f_I(LData, 3, &LPrevious, -3.0f, 0.5f), ippStsNoErr);
    EXPECT_THAT(LData, ElementsAre(-1.0f, 0.5f, 1.25f, 99.0f));
    EXPECT_EQ(LPrevious, 3.0f);
    float LOne = 1, LZero = 0;
    EXPECT_EQ(_px_ippsCompensateOffset_32f_I(nullptr, 0, &LZero, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsCompensateOffset_32f_I(&LOne, 1, nullptr, 0, 0), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsCompensateOffset_32f_I(&LOne, 0, &LZero, 0, 0), ippStsSizeErr);
    EXPECT_EQ(LOne, 1);
    EXPECT_EQ(LZero, 0);
}

TEST(SNDispatcherFloatTest, SampleDown)
{
    const float x[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    struct {
        int Len, Factor, Phase;
        std::vector<float> Out;
        int PhaseAfter;
    } const LCases[] = {{10, 3, 1, {1, 4, 7}, 0}, {10, 3, 2, {2, 5, 8}, 1}, {10, 1, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0},
                        {7, 200, 5, {5}, 198}, {4, 5, 4, {}, 0}, {1, 2, 0, {0}, 1}};
    for (const auto& LCase : LCases) {
        SCOPED_TRACE(testing::Message() << LCase.Len << " by " << LCase.Factor << " from " << LCase.Phase);
        std::vector<float> LDst(11, -7.0f);
        int LDstLen = -1, LPhase = LCase.Phase;
        ASSERT_EQ(_px_ippsSampleDown_32f(x, LCase.Len, LDst.data(), &LDstLen, LCase.Factor, &LPhase), ippStsNoErr);
        ASSERT_EQ(LDstLen, int(LCase.Out.size()));
        EXPECT_EQ(std::vector<float>(LDst.begin(), LDst.begin() + LDstLen), LCase.Out);
        EXPECT_EQ(LDst[size_t(LDstLen)], -7.0f);
        EXPECT_EQ(LPhase, LCase.PhaseAfter);
    }
    float LDst[4];
    int LLen = 9, LPhase = 0;
    EXPECT_EQ(_px_ippsSampleDown_32f(x, 0, LDst, &LLen, 0, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsSampleDown_32f(x, 0, LDst, &LLen, 0, &LPhase), ippStsSizeErr);
    EXPECT_EQ(_px_ippsSampleDown_32f(x, 4, LDst, &LLen, 0, &LPhase), ippStsSampleFactorErr);
    LPhase = 2;
    EXPECT_EQ(_px_ippsSampleDown_32f(x, 4, LDst, &LLen, 2, &LPhase), ippStsSamplePhaseErr);
    LPhase = -1;
    EXPECT_EQ(_px_ippsSampleDown_32f(x, 4, LDst, &LLen, 2, &LPhase), ippStsSamplePhaseErr);
    EXPECT_EQ(LLen, 9);
    EXPECT_EQ(LPhase, -1);
}

TEST(SNDispatcherFloatTest, PeriodicityFindsThePeriod)
{
    // A 37-sample periodic pattern plus a little noise: the estimate is 37
    // (or a multiple, which the first-maximum rule excludes) with a
    // periodicity close to 1.
    const auto LPattern = RandomValues<float>(37, 110);
    const auto LNoise = RandomValues<float>(500, 111, -0.01f, 0.01f);
    std::vector<float> x(500);
    for (int i = 0; i < 500; ++i)
        x[i] = LPattern[i % 37] + LNoise[i];
    float LPeriodicity = -1;
    int LPeriod = -1;
    ASSERT_EQ(_px_ippsPeriodicityLSPE_32f(x.data(), 500, &LPeriodicity, &LPeriod, 60, 32), ippStsNoErr);
    EXPECT_EQ(LPeriod, 37);
    EXPECT_GT(LPeriodicity, 0.99f);
    EXPECT_LE(LPeriodicity, 1.0f);

    // Values of the kernel at the time its literal reference agreed with it.
    const auto y = RandomValues<float>(257, 377);
    ASSERT_EQ(_px_ippsPeriodicityLSPE_32f(y.data(), 257, &LPeriodicity, &LPeriod, 68, 17), ippStsNoErr);
    EXPECT_EQ(LPeriod, 48);
    EXPECT_NEAR(LPeriodicity, 0.0987034, 1e-6);
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

TEST(SNDispatcherMemoryTest, AlignedBlocks)
{
    EXPECT_EQ(_ippMalloc(0), nullptr);
    EXPECT_EQ(_ippMalloc(-5), nullptr);
    _ippFree(nullptr);
    for (int LLen = 1; LLen < 200; LLen += 13) {
        auto* p = static_cast<uint8_t*>(_ippMalloc(LLen));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
        std::memset(p, 0xCD, LLen); // the whole block is usable
        _ippFree(p);
    }
}

} // namespace
} // namespace Sonorix
