// SPDX-License-Identifier: MIT
// Portable filter kernels of the vector-primitive table: one-sample FIR and
// IIR over 64-bit states built here as the filter library builds them, and
// the 32-bit IIR family. Dyadic coefficients keep the hand-worked responses
// exact; higher orders are checked against the difference equation.
#include "DGBasicDispatcher.h"
#include "DispatchTestKit.h"
#include "SNDispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace Sonorix {
namespace {

using Test::RandomValues;

using ::testing::ElementsAre;

// Difference equation y[n] = sum b_k x[n-k] - sum a_k y[n-k], a form
// independent of the kernels' transposed one.
std::vector<double> DirectForm(const std::vector<double>& b, const std::vector<double>& a,
                               const std::vector<double>& x)
{
    std::vector<double> y(x.size());
    for (size_t n = 0; n < x.size(); ++n) {
        double LAcc = 0;
        for (size_t k = 0; k < b.size() && k <= n; ++k)
            LAcc += b[k] * x[n - k];
        for (size_t k = 1; k < a.size() && k <= n; ++k)
            LAcc -= a[k] * y[n - k];
        y[n] = LAcc;
    }
    return y;
}

// Poles at 0.5, -0.5 and 0.8.
const std::vector<double> CB3{0.3, -0.2, 0.5, 0.1};
const std::vector<double> CA3{1.0, -0.8, -0.25, 0.2};

// FIR states come from the filter library's initialiser (whose layout the
// basic dispatcher's tests check).
TEST(SNDispatcherFIRTest, OneSampleAtATimeGivesTheImpulseResponseAndRefusesForeignStates)
{
    // h[k] = 2^k; input 1, 5, then zeros: y[t] = h[t] + 5 h[t-1].
    for (const int LTaps : {1, 2, 3, 7, 31}) {
        std::vector<double> h(LTaps);
        for (int k = 0; k < LTaps; ++k)
            h[k] = std::ldexp(1.0, k);
        FIRState_64f* LState = nullptr;
        ASSERT_EQ(ippsFIRInitAlloc_64f(&LState, h.data(), LTaps, nullptr), ippStsNoErr);
        for (int t = 0; t < 2 * LTaps + 3; ++t) {
            double y = -99;
            ASSERT_EQ(_px_ippsFIROne_64f(t == 0 ? 1.0 : t == 1 ? 5.0 : 0.0, &y, LState), ippStsNoErr);
            const double LExpected = (t < LTaps ? h[t] : 0.0) + (t >= 1 && t <= LTaps ? 5 * h[t - 1] : 0.0);
            ASSERT_EQ(y, LExpected) << LTaps << " " << t;
            ASSERT_EQ(LState->dlyIndex, (t + 1) % LTaps);
        }
        ippsFIRFree_64f(LState);
    }
    FIRState_64f* LState = nullptr;
    const double LTaps[3] = {0.5, 0.25, 0.125};
    ASSERT_EQ(ippsFIRInitAlloc_64f(&LState, LTaps, 3, nullptr), ippStsNoErr);
    double y = 7;
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, &y, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, nullptr, LState), ippStsNullPtrErr);
    LState->tag = SNIIRState64fTag;
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, &y, LState), ippStsContextMatchErr);
    LState->tag = SNFIRState64fTag;
    LState->dlyIndex = 3; // outside 0 .. tapsLen-1
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, &y, LState), ippStsContextMatchErr);
    EXPECT_EQ(y, 7);
    EXPECT_THAT(std::vector<double>(LState->dlyLine, LState->dlyLine + 6), ::testing::Each(0.0));
    LState->dlyIndex = 0;
    ippsFIRFree_64f(LState);
}

// IIR states come from the filter library, which divides by a0.
TEST(SNDispatcherIIROneTest, ArbitraryOrderAndBiQuadCascades)
{
    struct TCase {
        int N;
        std::vector<double> Taps, Impulse; // b0..bN a0..aN, a0 = 2
    } const LCases[] = {
        {0, {1, 2}, {0.5, 0, 0}},
        {1, {1, 0.5, 2, -1}, {0.5, 0.5, 0.25, 0.125}},
        {2, {2, 0, 1, 2, 0, -0.5}, {1, 0, 0.75, 0, 0.1875, 0}},
        {3, {0, 0, 0, 2, 2, 0, 0, -1}, {0, 0, 0, 1, 0, 0, 0.5}},
    };
    const auto LRun = [](IIRState_64f* AState, const std::vector<double>& AInput) {
        std::vector<double> LOutput(AInput.size());
        for (size_t n = 0; n < AInput.size(); ++n)
            EXPECT_EQ(_px_ippsIIROne_64f(AInput[n], &LOutput[n], AState), ippStsNoErr);
        ippsIIRFree_64f(AState);
        return LOutput;
    };
    for (const TCase& LCase : LCases) {
        SCOPED_TRACE(LCase.N);
        IIRState_64f* LState = nullptr;
        ASSERT_EQ(ippsIIRInitAlloc_64f(&LState, LCase.Taps.data(), LCase.N, nullptr), ippStsNoErr);
        EXPECT_EQ(LState->tag, SNIIRState64fTag);
        for (int i = 0; i <= LCase.N; ++i)
            EXPECT_EQ(LState->taps[i], LCase.Taps[size_t(i)] / 2) << "b" << i;
        for (int i = 1; i <= LCase.N; ++i)
            EXPECT_EQ(LState->taps[LCase.N + i], LCase.Taps[size_t(LCase.N + 1 + i)] / 2) << "a" << i;
        std::vector<double> LImpulse(LCase.Impulse.size(), 0.0);
        LImpulse[0] = 1;
        EXPECT_EQ(LRun(LState, LImpulse), LCase.Impulse);
    }
    // Every tap of a third order against the difference equation.
    std::vector<double> LTaps(CB3);
    LTaps.insert(LTaps.end(), CA3.begin(), CA3.end());
    IIRState_64f* LState = nullptr;
    ASSERT_EQ(ippsIIRInitAlloc_64f(&LState, LTaps.data(), 3, nullptr), ippStsNoErr);
    const auto x = RandomValues(101, 40);
    const auto LDirect = DirectForm(CB3, CA3, x);
    const auto LThird = LRun(LState, x);
    for (size_t n = 0; n < x.size(); ++n)
        ASSERT_NEAR(LThird[n], LDirect[n], 1e-12) << n;
    // Two stages with poles at 0.5 +- 0.5i and 0.8, zeros anywhere; the
    // second scaled by 2.
    const double LSections[12] = {0.3, 0.2, 0.1, 1.0, -1.0, 0.5, 2.0, -1.0, 0.5, 2.0, -1.6, 0.0};
    ASSERT_EQ(ippsIIRInitAlloc_BiQuad_64f(&LState, LSections, 2, nullptr), ippStsNoErr);
    EXPECT_EQ(LState->tag, SNIIRState64fBiQuadTag);
    const auto LStage1 = DirectForm({0.3, 0.2, 0.1}, {1.0, -1.0, 0.5}, x);
    const auto LStage2 = DirectForm({1.0, -0.5, 0.25}, {1.0, -0.8, 0.0}, LStage1);
    const auto LCascade = LRun(LState, x);
    for (size_t n = 0; n < x.size(); ++n)
        ASSERT_NEAR(LCascade[n], LStage2[n], 1e-12) << n;
}

TEST(SNDispatcherIIROneTest, Checks)
{
    double LTaps[3] = {1, 0, 0}, LDelay[2] = {0, 0}, y = 3;
    IIRState_64f LState{SNIIRState32fTag, 0, LTaps, LDelay, 1, 0};
    EXPECT_EQ(_px_ippsIIROne_64f(1.0, nullptr, &LState), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIROne_64f(1.0, &y, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIROne_64f(1.0, &y, &LState), ippStsContextMatchErr);
    LState.tag = SNIIRState64fBiQuadTag;
    LState.order = 0; // a cascade of no stages
    EXPECT_EQ(_px_ippsIIROne_64f(1.0, &y, &LState), ippStsContextMatchErr);
    EXPECT_EQ(y, 3);
}

TEST(SNDispatcherIIR32Test, InitAllocNormalisesAndRuns)
{
    // 2 y = 2 x + x[n-1] + 0.5 x[n-2] + y[n-1], from delays 0.5 and 0.25.
    const float LTaps[6] = {2.0f, 1.0f, 0.5f, 2.0f, -1.0f, 0.0f};
    const float LInitial[2] = {0.5f, 0.25f};
    IIRState_32f* LState = nullptr;
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LTaps, 2, LInitial), ippStsNoErr);
    ASSERT_NE(LState, nullptr);
    EXPECT_EQ(LState->tag, SNIIRState32fTag);
    EXPECT_EQ(LState->order, 2);
    EXPECT_EQ(LState->numBq, 0);
    EXPECT_EQ(LState->owned, 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(LState) % 32, 0u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(LState->taps), reinterpret_cast<uint8_t*>(LState) + 48);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(LState->dlyLine) % 16, 0u);
    EXPECT_GE(LState->dlyLine, LState->taps + 5);
    EXPECT_THAT(std::vector<float>(LState->taps, LState->taps + 5), ElementsAre(1.0f, 0.5f, 0.25f, -0.5f, 0.0f));
    EXPECT_THAT(std::vector<float>(LState->dlyLine, LState->dlyLine + 3), ElementsAre(0.5f, 0.25f, 0.0f));
    const float LIn[5] = {1, 0, 0, 0, 0};
    float LOut[6] = {-5, -5, -5, -5, -5, -5};
    ASSERT_EQ(_px_ippsIIR_32f(LIn, LOut, 5, LState), ippStsNoErr);
    EXPECT_THAT(LOut, ElementsAre(1.5f, 1.5f, 1.0f, 0.5f, 0.25f, -5.0f));
    EXPECT_EQ(_px_ippsIIRFree_32f(LState), ippStsNoErr);

    // Order 0: a gain of b0 / a0.
    const float LGain[2] = {3.0f, 2.0f};
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LGain, 0, nullptr), ippStsNoErr);
    float LData[3] = {1.0f, -2.0f, 4.0f};
    ASSERT_EQ(_px_ippsIIR_32f_I(LData, 3, LState), ippStsNoErr);
    EXPECT_THAT(LData, ElementsAre(1.5f, -3.0f, 6.0f));
    EXPECT_EQ(_px_ippsIIRFree_32f(LState), ippStsNoErr);
}

TEST(SNDispatcherIIR32Test, ChunksAndInPlaceGiveTheSameOutput)
{
    std::vector<float> LTaps(CB3.begin(), CB3.end());
    LTaps.insert(LTaps.end(), CA3.begin(), CA3.end());
    const auto x = RandomValues(333, 81);
    const std::vector<float> LIn(x.begin(), x.end());
    IIRState_32f *LWhole = nullptr, *LChunked = nullptr;
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LWhole, LTaps.data(), 3, nullptr), ippStsNoErr);
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LChunked, LTaps.data(), 3, nullptr), ippStsNoErr);
    std::vector<float> LOne(LIn.size());
    ASSERT_EQ(_px_ippsIIR_32f(LIn.data(), LOne.data(), int(LIn.size()), LWhole), ippStsNoErr);
    std::vector<float> LPieces(LIn);
    size_t LAt = 0;
    for (int LChunk = 1; LAt < LIn.size(); LChunk = LChunk * 2 + 1) {
        const int LLen = static_cast<int>(std::min<size_t>(LChunk, LIn.size() - LAt));
        ASSERT_EQ(_px_ippsIIR_32f_I(LPieces.data() + LAt, LLen, LChunked), ippStsNoErr);
        LAt += LLen;
    }
    EXPECT_EQ(LOne, LPieces);
    // Close to the double-precision difference equation.
    const auto LDirect = DirectForm(CB3, CA3, std::vector<double>(LIn.begin(), LIn.end()));
    for (size_t n = 0; n < LIn.size(); ++n)
        ASSERT_NEAR(LOne[n], LDirect[n], 1e-5 * (1 + std::abs(LDirect[n])));
    EXPECT_EQ(_px_ippsIIRFree_32f(LWhole), ippStsNoErr);
    EXPECT_EQ(_px_ippsIIRFree_32f(LChunked), ippStsNoErr);
}

TEST(SNDispatcherIIR32Test, BiQuadInCallerBuffer)
{
    int LSize = 0;
    EXPECT_EQ(_px_ippsIIRGetStateSize_BiQuad_32f(1, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRGetStateSize_BiQuad_32f(0, &LSize), ippStsIIROrderErr);
    EXPECT_EQ(_px_ippsIIRGetStateSize_BiQuad_32f(-3, &LSize), ippStsIIROrderErr);
    EXPECT_EQ(_px_ippsIIRGetStateSize_BiQuad_32f(200000000, &LSize), ippStsIIROrderErr);
    EXPECT_EQ(LSize, 0);
    ASSERT_EQ(_px_ippsIIRGetStateSize_BiQuad_32f(1, &LSize), ippStsNoErr);
    EXPECT_EQ(LSize, 32 + 16 + 64);
    ASSERT_EQ(_px_ippsIIRGetStateSize_BiQuad_32f(3, &LSize), ippStsNoErr);
    EXPECT_EQ(LSize, 64 + 32 + 64);

    // b0 b1 b2 a0 a1 a2 per stage, a0 != 1.
    const float LTaps[18] = {1.0f, 0.5f, 0.25f, 2.0f, -1.0f, 0.5f, 1.0f, -0.5f, 0.25f,
                             4.0f, -3.2f, 0.0f, 0.5f, 0.5f, 0.0f,  1.0f, 0.1f,  0.0f};
    const float LInitial[6] = {0.01f, -0.02f, 0.03f, 0.0f, 0.0f, 0.05f};
    const auto x = RandomValues(99, 90);
    // The cascade is its stages one after the other (within the rounding of
    // the values passed between them).
    std::vector<float> LStaged(x.begin(), x.end());
    std::vector<Ipp8u> LStageBuffer(static_cast<size_t>(LSize));
    for (int k = 0; k < 3; ++k) {
        IIRState_32f* LStage = nullptr;
        ASSERT_EQ(_px_ippsIIRInit_BiQuad_32f(&LStage, LTaps + 6 * k, 1, LInitial + 2 * k, LStageBuffer.data()),
                  ippStsNoErr);
        ASSERT_EQ(_px_ippsIIR_32f_I(LStaged.data(), 99, LStage), ippStsNoErr);
    }
    for (int LMisalign = 0; LMisalign < 16; LMisalign += 5) {
        // The whole size from any start, with guard bytes behind it.
        std::vector<Ipp8u> LBuffer(LSize + LMisalign + 32, 0xEE);
        Ipp8u* LStart = LBuffer.data() + LMisalign;
        IIRState_32f* LState = nullptr;
        ASSERT_EQ(_px_ippsIIRInit_BiQuad_32f(&LState, LTaps, 3, LInitial, LStart), ippStsNoErr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(LState) % 16, 0u);
        EXPECT_GE(reinterpret_cast<Ipp8u*>(LState), LStart);
        EXPECT_LE(reinterpret_cast<Ipp8u*>(LState->dlyLine + 6), LStart + LSize);
        for (size_t i = LMisalign + LSize; i < LBuffer.size(); ++i)
            ASSERT_EQ(LBuffer[i], 0xEE);
        EXPECT_EQ(LState->tag, SNIIRState32fBiQuadTag);
        EXPECT_EQ(LState->numBq, 3);
        EXPECT_EQ(LState->order, 6);
        EXPECT_EQ(LState->owned, 0);
        // b0 b1 b2 a1 a2 of the first stage, divided by a0 = 2.
        EXPECT_THAT(std::vector<float>(LState->taps, LState->taps + 5), ElementsAre(0.5f, 0.25f, 0.125f, -0.5f, 0.25f));
        std::vector<float> LData(x.begin(), x.end());
        ASSERT_EQ(_px_ippsIIR_32f_I(LData.data(), 99, LState), ippStsNoErr);
        for (int n = 0; n < 99; ++n)
            ASSERT_NEAR(LData[n], LStaged[n], 1e-6) << n;
        // Free leaves a caller's buffer alone.
        EXPECT_EQ(_px_ippsIIRFree_32f(LState), ippStsNoErr);
        EXPECT_EQ(LState->tag, SNIIRState32fBiQuadTag);
    }
}

TEST(SNDispatcherIIR32Test, BiQuadChecksWriteNothing)
{
    float LTaps[12] = {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    std::vector<Ipp8u> LBuffer(256, 0xEE);
    IIRState_32f* LState = nullptr;
    EXPECT_EQ(_px_ippsIIRInit_BiQuad_32f(nullptr, LTaps, 0, nullptr, LBuffer.data()), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInit_BiQuad_32f(&LState, nullptr, 0, nullptr, LBuffer.data()), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInit_BiQuad_32f(&LState, LTaps, 0, nullptr, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInit_BiQuad_32f(&LState, LTaps, 0, nullptr, LBuffer.data()), ippStsIIROrderErr);
    LTaps[9] = 0; // a0 of the second stage
    EXPECT_EQ(_px_ippsIIRInit_BiQuad_32f(&LState, LTaps, 2, nullptr, LBuffer.data()), ippStsDivByZeroErr);
    LTaps[9] = 1;
    LTaps[6] = 0; // b0 of the second stage
    EXPECT_EQ(_px_ippsIIRInit_BiQuad_32f(&LState, LTaps, 2, nullptr, LBuffer.data()), ippStsDivByZeroErr);
    EXPECT_EQ(LState, nullptr);
    for (const Ipp8u v : LBuffer)
        ASSERT_EQ(v, 0xEE);
}

TEST(SNDispatcherIIR32Test, InitAllocRunAndFreeChecks)
{
    const float LNoA0[4] = {1, 2, 0, 0.5f}; // order 1, a0 = 0
    IIRState_32f* const LUntouched = reinterpret_cast<IIRState_32f*>(uintptr_t{0x10});
    IIRState_32f* LKept = LUntouched;
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(nullptr, LNoA0, -1, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LKept, nullptr, -1, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LKept, LNoA0, -1, nullptr), ippStsIIROrderErr);
    // The block is allocated, then freed again (LeakSanitizer checks it).
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LKept, LNoA0, 1, nullptr), ippStsDivByZeroErr);
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LKept, LNoA0, INT32_MAX / 2, nullptr), ippStsMemAllocErr);
    EXPECT_EQ(LKept, LUntouched);
    const float LTaps[4] = {1, 0, 1, 0};
    IIRState_32f* LState = nullptr;
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LTaps, 1, nullptr), ippStsNoErr);
    float LData[2] = {3, 4};
    EXPECT_EQ(_px_ippsIIR_32f(nullptr, LData, 0, LState), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIR_32f(LData, nullptr, 0, LState), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIR_32f(LData, LData, 0, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIR_32f(LData, LData, 0, LState), ippStsSizeErr);
    EXPECT_EQ(_px_ippsIIR_32f_I(nullptr, 2, LState), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIR_32f_I(LData, -1, LState), ippStsSizeErr);
    IIRState_32f LForeign{};
    LForeign.tag = SNIIRState64fTag;
    LForeign.taps = const_cast<float*>(LTaps);
    LForeign.dlyLine = LData;
    EXPECT_EQ(_px_ippsIIR_32f_I(LData, 2, &LForeign), ippStsContextMatchErr);
    EXPECT_EQ(_px_ippsIIRFree_32f(&LForeign), ippStsContextMatchErr);
    EXPECT_EQ(_px_ippsIIRFree_32f(nullptr), ippStsNullPtrErr);
    EXPECT_THAT(LData, ElementsAre(3, 4));
    EXPECT_EQ(_px_ippsIIRFree_32f(LState), ippStsNoErr);
}

} // namespace
} // namespace Sonorix
