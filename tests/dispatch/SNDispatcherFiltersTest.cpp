// SPDX-License-Identifier: MIT
// Portable filter kernels of the vector-primitive table: one-sample FIR and
// IIR over 64-bit states built here as the filter library builds them, and
// the 32-bit IIR family. Each is checked bit for bit against a literal
// routine written from the algorithm text, and against an independent direct
// form (convolution, difference equation) within rounding.
#include "SNDispatcher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace Sonorix {
namespace {

std::vector<double> RandomSignal(size_t ACount, uint32_t ASeed)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_real_distribution<double> LDist(-1.0, 1.0);
    std::vector<double> LValues(ACount);
    for (double& v : LValues)
        v = LDist(LRandom);
    return LValues;
}

// ---------------------------------------------------------------- FIR, 64-bit

// A FIR state as the filter library's initialiser lays it out: taps stored
// reversed, a doubled delay line.
struct TFIRFixture {
    std::vector<double> Taps, Delay;
    FIRState_64f State{};
    explicit TFIRFixture(const std::vector<double>& AImpulse)
        : Taps(AImpulse.rbegin(), AImpulse.rend()), Delay(2 * AImpulse.size(), 0.0)
    {
        State.tag = SNFIRState64fTag;
        State.taps = Taps.data();
        State.dlyLine = Delay.data();
        State.tapsLen = static_cast<int32_t>(AImpulse.size());
        State.dlyIndex = 0;
    }
};

TEST(SNDispatcherFIRTest, OneSampleAtATimeIsTheConvolution)
{
    for (const int LTaps : {1, 2, 3, 7, 31}) {
        const auto h = RandomSignal(LTaps, 10 + LTaps);
        const auto x = RandomSignal(101, 20 + LTaps);
        TFIRFixture LFixture(h);
        for (int t = 0; t < 101; ++t) {
            double y = -99;
            ASSERT_EQ(_px_ippsFIROne_64f(x[t], &y, &LFixture.State), ippStsNoErr);
            // Literal: oldest sample with h[n-1] first, accumulated from 0.
            double LExact = 0.0, LDirect = 0.0;
            for (int j = 0; j < LTaps; ++j) {
                const int i = t - (LTaps - 1) + j;
                LExact += h[LTaps - 1 - j] * (i >= 0 ? x[i] : 0.0);
            }
            for (int k = 0; k < LTaps && k <= t; ++k)
                LDirect += h[k] * x[t - k];
            ASSERT_EQ(y, LExact) << LTaps << " " << t;
            ASSERT_NEAR(y, LDirect, 1e-12);
            ASSERT_EQ(LFixture.State.dlyIndex, (t + 1) % LTaps);
        }
    }
}

TEST(SNDispatcherFIRTest, ChecksAndRefusesForeignStates)
{
    TFIRFixture LFixture({0.5, 0.25, 0.125});
    double y = 7;
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, &y, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, nullptr, &LFixture.State), ippStsNullPtrErr);
    LFixture.State.tag = SNIIRState64fTag;
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, &y, &LFixture.State), ippStsContextMatchErr);
    LFixture.State.tag = SNFIRState64fTag;
    LFixture.State.dlyIndex = 3; // outside 0 .. tapsLen-1
    EXPECT_EQ(_px_ippsFIROne_64f(1.0, &y, &LFixture.State), ippStsContextMatchErr);
    EXPECT_EQ(y, 7);
    for (const double d : LFixture.Delay)
        EXPECT_EQ(d, 0.0);
}

// ---------------------------------------------------------------- IIR, 64-bit

// Literal transposed direct form II, 2N+1 taps b0..bN, a1..aN.
double RefArbitrary(double x, const std::vector<double>& t, std::vector<double>& d, int N)
{
    if (N == 0)
        return t[0] * x;
    const double y = t[0] * x + d[0];
    for (int i = 0; i < N; ++i)
        d[i] = t[i + 1] * x - t[N + 1 + i] * y + d[i + 1];
    return y;
}

// Difference equation y[n] = sum b_k x[n-k] - sum a_k y[n-k], an independent form.
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

// A stable filter: poles at radius 0.9 or below, as normalised b and a.
void StableCoefficients(int N, uint32_t ASeed, std::vector<double>& b, std::vector<double>& a)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_real_distribution<double> LDist(-1.0, 1.0);
    b.assign(N + 1, 0.0);
    for (double& v : b)
        v = LDist(LRandom);
    // a(z) = product of (1 - r z^-1) with real r, |r| <= 0.9.
    a = {1.0};
    for (int k = 0; k < N; ++k) {
        const double r = 0.9 * LDist(LRandom);
        std::vector<double> LNext(a.size() + 1, 0.0);
        for (size_t i = 0; i < a.size(); ++i) {
            LNext[i] += a[i];
            LNext[i + 1] -= r * a[i];
        }
        a = LNext;
    }
}

TEST(SNDispatcherIIROneTest, ArbitraryOrderMatchesBothForms)
{
    for (const int N : {0, 1, 2, 5}) {
        std::vector<double> b, a;
        StableCoefficients(N, 30 + N, b, a);
        std::vector<double> LTaps(b);
        LTaps.insert(LTaps.end(), a.begin() + 1, a.end());
        std::vector<double> LDelay(N + 1, 0.0), LRefDelay(N + 1, 0.0);
        IIRState_64f LState{SNIIRState64fTag, 0, LTaps.data(), LDelay.data(), N, 0};
        const auto x = RandomSignal(257, 40 + N);
        const auto LDirect = DirectForm(b, a, x);
        for (size_t n = 0; n < x.size(); ++n) {
            double y;
            ASSERT_EQ(_px_ippsIIROne_64f(x[n], &y, &LState), ippStsNoErr);
            ASSERT_EQ(y, RefArbitrary(x[n], LTaps, LRefDelay, N)) << N << " " << n;
            ASSERT_NEAR(y, LDirect[n], 1e-9);
        }
        EXPECT_EQ(LDelay[N], 0.0);
    }
}

TEST(SNDispatcherIIROneTest, BiQuadCascadeMatchesDirectForm)
{
    // Two stages with poles at 0.5 +- 0.5i and 0.8, zeros anywhere.
    const std::vector<double> LTaps = {0.3, 0.2, 0.1, -1.0, 0.5, 1.0, -0.5, 0.25, -0.8, 0.0};
    std::vector<double> LDelay(4, 0.0);
    IIRState_64f LState{SNIIRState64fBiQuadTag, 0, const_cast<double*>(LTaps.data()), LDelay.data(), 2, 0};
    const auto x = RandomSignal(101, 50);
    const auto LStage1 = DirectForm({0.3, 0.2, 0.1}, {1.0, -1.0, 0.5}, x);
    const auto LStage2 = DirectForm({1.0, -0.5, 0.25}, {1.0, -0.8, 0.0}, LStage1);
    double d[4] = {0, 0, 0, 0};
    for (size_t n = 0; n < x.size(); ++n) {
        double y;
        ASSERT_EQ(_px_ippsIIROne_64f(x[n], &y, &LState), ippStsNoErr);
        double v = x[n];
        for (int k = 0; k < 2; ++k) {
            const double* t = &LTaps[5 * k];
            const double LOut = t[0] * v + d[2 * k];
            d[2 * k] = t[1] * v + d[2 * k + 1] - t[3] * LOut;
            d[2 * k + 1] = t[2] * v - t[4] * LOut;
            v = LOut;
        }
        ASSERT_EQ(y, v) << n;
        ASSERT_NEAR(y, LStage2[n], 1e-9);
    }
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

// ---------------------------------------------------------------- IIR, 32-bit

// Literal single-precision run: double intermediates, delays stored as singles.
struct TRefIIR32 {
    std::vector<float> t, d;
    int N;
    float Run(float x)
    {
        if (N == 0)
            return static_cast<float>(t[0] * double{x});
        const double y = t[0] * double{x} + d[0];
        for (int i = 0; i < N; ++i)
            d[i] = static_cast<float>(t[i + 1] * double{x} - t[N + 1 + i] * y + (i + 1 < N ? double{d[i + 1]} : 0.0));
        return static_cast<float>(y);
    }
};

TEST(SNDispatcherIIR32Test, InitAllocNormalisesAndRuns)
{
    for (const int N : {0, 1, 2, 3, 6}) {
        std::vector<double> b, a;
        StableCoefficients(N, 60 + N, b, a);
        const float a0 = 2.5f;
        std::vector<float> LTaps;
        for (const double v : b)
            LTaps.push_back(static_cast<float>(v * a0));
        for (const double v : a)
            LTaps.push_back(static_cast<float>(v * a0));
        std::vector<float> LInitial(N);
        for (int i = 0; i < N; ++i)
            LInitial[i] = 0.01f * (i + 1);
        IIRState_32f* LState = nullptr;
        ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LTaps.data(), N, N > 0 ? LInitial.data() : nullptr), ippStsNoErr);
        ASSERT_NE(LState, nullptr);
        EXPECT_EQ(LState->tag, SNIIRState32fTag);
        EXPECT_EQ(LState->order, N);
        EXPECT_EQ(LState->numBq, 0);
        EXPECT_EQ(LState->owned, 1);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(LState) % 32, 0u);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(LState->taps), reinterpret_cast<uint8_t*>(LState) + 48);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(LState->dlyLine) % 16, 0u);
        EXPECT_GE(LState->dlyLine, LState->taps + 2 * N + 1);
        TRefIIR32 LRef{{}, LInitial, N};
        for (int i = 0; i <= N; ++i)
            LRef.t.push_back(static_cast<float>(double{LTaps[i]} / a0));
        for (int i = 1; i <= N; ++i)
            LRef.t.push_back(static_cast<float>(double{LTaps[N + 1 + i]} / a0));
        for (int i = 0; i < 2 * N + 1; ++i)
            EXPECT_EQ(LState->taps[i], LRef.t[i]) << i;
        for (int i = 0; i < N; ++i)
            EXPECT_EQ(LState->dlyLine[i], LInitial[i]);
        EXPECT_EQ(LState->dlyLine[N], 0.0f);

        const auto x = RandomSignal(1001, 70 + N);
        std::vector<float> LIn(x.begin(), x.end()), LOut(LIn.size() + 1, -5.0f);
        ASSERT_EQ(_px_ippsIIR_32f(LIn.data(), LOut.data(), int(LIn.size()), LState), ippStsNoErr);
        for (size_t n = 0; n < LIn.size(); ++n)
            ASSERT_EQ(LOut[n], LRef.Run(LIn[n])) << N << " " << n;
        EXPECT_EQ(LOut[LIn.size()], -5.0f);
        EXPECT_EQ(_px_ippsIIRFree_32f(LState), ippStsNoErr);
    }
}

TEST(SNDispatcherIIR32Test, ChunksAndInPlaceGiveTheSameOutput)
{
    const int N = 4;
    std::vector<double> b, a;
    StableCoefficients(N, 80, b, a);
    std::vector<float> LTaps(b.begin(), b.end());
    LTaps.insert(LTaps.end(), a.begin(), a.end());
    const auto x = RandomSignal(333, 81);
    const std::vector<float> LIn(x.begin(), x.end());
    IIRState_32f *LWhole = nullptr, *LChunked = nullptr;
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LWhole, LTaps.data(), N, nullptr), ippStsNoErr);
    ASSERT_EQ(_px_ippsIIRInitAlloc_32f(&LChunked, LTaps.data(), N, nullptr), ippStsNoErr);
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
    const auto LDirect = DirectForm(b, a, std::vector<double>(LIn.begin(), LIn.end()));
    for (size_t n = 0; n < LIn.size(); ++n)
        ASSERT_NEAR(LOne[n], LDirect[n], 1e-4 * (1 + std::abs(LDirect[n])));
    EXPECT_EQ(_px_ippsIIRFree_32f(LWhole), ippStsNoErr);
    EXPECT_EQ(_px_ippsIIRFree_32f(LChunked), ippStsNoErr);
}

TEST(SNDispatcherIIR32Test, InitAllocChecks)
{
    const float LTaps[4] = {1, 2, 0, 0.5f}; // order 1, a0 = 0
    IIRState_32f* const LUntouched = reinterpret_cast<IIRState_32f*>(uintptr_t{0x10});
    IIRState_32f* LState = LUntouched;
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(nullptr, LTaps, -1, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LState, nullptr, -1, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LTaps, -1, nullptr), ippStsIIROrderErr);
    // The block is allocated, then freed again (LeakSanitizer checks it).
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LTaps, 1, nullptr), ippStsDivByZeroErr);
    EXPECT_EQ(_px_ippsIIRInitAlloc_32f(&LState, LTaps, INT32_MAX / 2, nullptr), ippStsMemAllocErr);
    EXPECT_EQ(LState, LUntouched);
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
    const float LTaps[18] = {0.3f, 0.2f, 0.1f, 2.0f, -2.0f, 1.0f,  1.0f, -0.5f, 0.25f,
                             4.0f, -3.2f, 0.0f, 0.5f, 0.5f, 0.0f, 1.0f, 0.1f, 0.0f};
    const float LInitial[6] = {0.01f, -0.02f, 0.03f, 0.0f, 0.0f, 0.05f};
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
        std::vector<float> LRefTaps;
        for (int k = 0; k < 3; ++k) {
            const double LInverse = 1.0 / LTaps[6 * k + 3];
            for (const int i : {0, 1, 2, 4, 5})
                LRefTaps.push_back(static_cast<float>(LTaps[6 * k + i] * LInverse));
        }
        for (int i = 0; i < 15; ++i)
            ASSERT_EQ(LState->taps[i], LRefTaps[i]) << i;
        const auto x = RandomSignal(99, 90);
        std::vector<float> LData(x.begin(), x.end());
        ASSERT_EQ(_px_ippsIIR_32f_I(LData.data(), 99, LState), ippStsNoErr);
        float d[6];
        std::memcpy(d, LInitial, sizeof d);
        for (int n = 0; n < 99; ++n) {
            double v = static_cast<float>(x[n]);
            for (int k = 0; k < 3; ++k) {
                const float* t = &LRefTaps[5 * k];
                const double y = t[0] * v + d[2 * k];
                d[2 * k] = static_cast<float>(t[1] * v + d[2 * k + 1] - t[3] * y);
                d[2 * k + 1] = static_cast<float>(t[2] * v - t[4] * y);
                v = y;
            }
            ASSERT_EQ(LData[n], static_cast<float>(v)) << n;
        }
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

TEST(SNDispatcherIIR32Test, RunAndFreeChecks)
{
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
    EXPECT_EQ(LData[0], 3);
    EXPECT_EQ(LData[1], 4);
    EXPECT_EQ(_px_ippsIIRFree_32f(LState), ippStsNoErr);
}

} // namespace
} // namespace Sonorix
