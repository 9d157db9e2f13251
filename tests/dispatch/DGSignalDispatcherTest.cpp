// SPDX-License-Identifier: MIT
#include "DGSignalDispatcher.h"
#include "DispatchTestKit.h"
#include "IPPExtraFunctions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <utility>
#include <numbers>
#include <random>
#include <vector>

using namespace Sonorix;
using Sonorix::Test::RandomValues;

// At odd lengths (the vector builds' tails) against the plain formulas.
TEST(DGSignalDispatcher, ElementwiseKernelsMatchThePlainFormulas)
{
    for (const int32_t n : {1, 3, 7, 31, 257, 1001}) {
        SCOPED_TRACE(n);
        const auto a = RandomValues<float>(size_t(n), 1, -1000, 1000);
        const auto b = RandomValues<float>(size_t(n), 2, -1000, 1000);
        std::vector<float> LProduct(size_t(n), 0.0f);
        ASSERT_EQ(ippsMul_32f(a.data(), b.data(), LProduct.data(), n), ippStsNoErr);
        long double LSum = 0;
        for (int32_t i = 0; i < n; ++i) {
            ASSERT_EQ(LProduct[i], a[i] * b[i]);
            LSum += a[i];
        }
        float LMean = 0;
        ASSERT_EQ(ippsMean_32f(a.data(), n, &LMean, ippAlgHintAccurate), ippStsNoErr);
        EXPECT_EQ(LMean, static_cast<float>(LSum / n));
        ASSERT_EQ(ippsMean_32f(a.data(), n, &LMean, ippAlgHintFast), ippStsNoErr);
        EXPECT_NEAR(LMean, static_cast<double>(LSum / n), 1e-3);

        const auto x = RandomValues(size_t(n), 3, -1000.0, 1000.0);
        const auto y = RandomValues(size_t(n), 4, -1000.0, 1000.0);
        std::vector<Ipp64fc> LComplex(static_cast<size_t>(n));
        for (int32_t i = 0; i < n; ++i)
            LComplex[i] = {x[i], y[i]};
        const size_t LSize = static_cast<size_t>(n);
        std::vector<double> LMagnitude(LSize), LPhase(LSize), LAbs(LSize), LValues = x;
        ASSERT_EQ(ippsMagnitude_64fc(LComplex.data(), LAbs.data(), n), ippStsNoErr);
        ASSERT_EQ(ippsAddC_64f_I(2.5, LValues.data(), n), ippStsNoErr);
        ASSERT_EQ(ippsDivC_64f_I(-4.0, LValues.data(), n), ippStsNoErr);
        ASSERT_EQ(ippsCartToPolar_64f(x.data(), y.data(), LMagnitude.data(), LPhase.data(), n), ippStsNoErr);
        for (int32_t i = 0; i < n; ++i) {
            EXPECT_DOUBLE_EQ(LAbs[i], std::abs(std::complex<double>(x[i], y[i])));
            EXPECT_EQ(LValues[i], (x[i] + 2.5) / -4.0);
            EXPECT_DOUBLE_EQ(LMagnitude[i], std::hypot(x[i], y[i]));
            EXPECT_DOUBLE_EQ(LPhase[i], std::atan2(y[i], x[i]));
        }
        // Back into the inputs' own memory.
        ASSERT_EQ(ippsPolarToCart_64f(LMagnitude.data(), LPhase.data(), LMagnitude.data(), LPhase.data(), n),
                  ippStsNoErr);
        for (int32_t i = 0; i < n; ++i) {
            EXPECT_NEAR(LMagnitude[i], x[i], 1e-9);
            EXPECT_NEAR(LPhase[i], y[i], 1e-9);
        }
    }
    // Phase of the negative diagonal and of the axes.
    const double xs[] = {-1, 1, 0, -1}, ys[] = {-1, 0, 1, 0};
    double m[4], p[4];
    ASSERT_EQ(ippsCartToPolar_64f(xs, ys, m, p, 4), ippStsNoErr);
    EXPECT_DOUBLE_EQ(p[0], -3 * std::numbers::pi / 4);
    EXPECT_DOUBLE_EQ(p[1], 0.0);
    EXPECT_DOUBLE_EQ(p[2], std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(p[3], std::numbers::pi);
}

TEST(DGSignalDispatcher, OverlappingMovesCopiesAndChecks)
{
    std::vector<double> LData{0, 1, 2, 3, 4, 5, 6};
    ASSERT_EQ(ippsMove_64f(LData.data() + 2, LData.data(), 5), ippStsNoErr);
    EXPECT_EQ(LData, (std::vector<double>{2, 3, 4, 5, 6, 5, 6}));
    ASSERT_EQ(ippsMove_64f(LData.data(), LData.data() + 1, 6), ippStsNoErr);
    EXPECT_EQ(LData, (std::vector<double>{2, 2, 3, 4, 5, 6, 5}));
    const std::vector<uint8_t> LBytes{1, 2, 3, 250, 251};
    std::vector<uint8_t> LCopy(5);
    ASSERT_EQ(ippsCopy_8u(LBytes.data(), LCopy.data(), 5), ippStsNoErr);
    EXPECT_EQ(LCopy, LBytes);

    float LValue = 0;
    double LOne = 1;
    EXPECT_EQ(ippsMul_32f(nullptr, &LValue, &LValue, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsMul_32f(&LValue, &LValue, &LValue, 0), ippStsSizeErr);
    EXPECT_EQ(ippsMean_32f(&LValue, 1, nullptr, ippAlgHintAccurate), ippStsNullPtrErr);
    EXPECT_EQ(ippsMean_32f(&LValue, -1, &LValue, ippAlgHintAccurate), ippStsSizeErr);
    EXPECT_EQ(ippsDivC_64f_I(0.0, &LOne, 1), ippStsDivByZeroErr);
    EXPECT_EQ(LOne, 1.0);
    EXPECT_EQ(ippsAddC_64f_I(1.0, nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsMove_64f(&LOne, &LOne, 0), ippStsSizeErr);
    EXPECT_EQ(ippsMagnitude_64fc(nullptr, &LOne, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsCopy_8u(LBytes.data(), nullptr, 5), ippStsNullPtrErr);
    EXPECT_EQ(ippsCopy_8u(LBytes.data(), LCopy.data(), 0), ippStsSizeErr);
    EXPECT_EQ(ippsCartToPolar_64f(&LOne, &LOne, &LOne, nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsPolarToCart_64f(&LOne, &LOne, &LOne, &LOne, 0), ippStsSizeErr);
}

// The vectorised magnitude gives the C library's hypot bit for bit, in both
// builds, over widely spread scales, nearly equal parts, one part negligible,
// zeros, infinities and NaN, also when the result overwrites the input.
TEST(DGSignalDispatcher, MagnitudeIsHypotBitForBit)
{
    std::mt19937_64 LRandom(29);
    std::uniform_real_distribution<double> LUnit(-1.0, 1.0);
    std::vector<Ipp64fc> LComplex(4001);
    for (size_t i = 0; i < LComplex.size(); ++i) {
        const double x = std::ldexp(LUnit(LRandom), static_cast<int>(LRandom() % 1200) - 600);
        const double y = std::ldexp(LUnit(LRandom), static_cast<int>(LRandom() % 80) - 40);
        const double LSpecial[] = {x * (1 + 1e-9 * LUnit(LRandom)), x * 1e-9, 0.0, INFINITY, -NAN, y};
        LComplex[i] = {i % 2 ? x : y, LSpecial[i % 6]};
    }
    for (bool LVector : {true, false}) {
        SNUseVectorKernels(LVector);
        std::vector<Ipp64fc> LInPlace = LComplex;
        auto* LOut = reinterpret_cast<double*>(LInPlace.data());
        ASSERT_EQ(ippsMagnitude_64fc(LInPlace.data(), LOut, static_cast<int32_t>(LComplex.size())), ippStsNoErr);
        for (size_t i = 0; i < LComplex.size(); ++i) {
            const double LExpected = std::hypot(LComplex[i].re, LComplex[i].im);
            ASSERT_EQ(std::memcmp(&LOut[i], &LExpected, sizeof(double)), 0)
                << std::hexfloat << LComplex[i].re << ", " << LComplex[i].im << (LVector ? " vector" : " portable");
        }
    }
    SNUseVectorKernels(true);
}

// The forward real FFT, every flag, orders 1 to 11: an impulse at m gives
// the unit phasors e^(-2 pi i k m / N), so every twiddle and every input
// position shows.
class DGSignalDispatcherFFTTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(DGSignalDispatcherFFTTest, ImpulsesGiveUnitPhasorsInCcsLayoutWithEachScaling)
{
    const int32_t LOrder = GetParam();
    const int32_t N = 1 << LOrder;
    const std::pair<int32_t, double> LFlags[] = {{IPP_FFT_DIV_FWD_BY_N, 1.0 / N},
                                                 {IPP_FFT_DIV_BY_SQRTN, 1.0 / std::sqrt(double(N))},
                                                 {IPP_FFT_NODIV_BY_ANY, 1.0},
                                                 {IPP_FFT_DIV_INV_BY_N, 1.0}};
    for (const auto& [LFlag, LScale] : LFlags) {
        IppsFFTSpec_R_64f* LSpec = nullptr;
        ASSERT_EQ(ippsFFTInitAlloc_R_64f(&LSpec, LOrder, LFlag, ippAlgHintAccurate), ippStsNoErr);
        EXPECT_EQ(FFTLength_R_64f(LSpec), N);
        for (const int32_t m : {0, 1, N / 2, N - 1, N / 3}) {
            std::vector<double> x(static_cast<size_t>(N), 0.0), LCcs(static_cast<size_t>(N + 2), -7.0);
            x[size_t(m)] = 1.0;
            ASSERT_EQ(ippsFFTFwd_RToCCS_64f(x.data(), LCcs.data(), LSpec, nullptr), ippStsNoErr);
            for (int32_t k = 0; k <= N / 2; ++k) {
                const double LAngle = -2 * std::numbers::pi * double((int64_t{k} * m) % N) / N;
                ASSERT_NEAR(LCcs[2 * k], std::cos(LAngle) * LScale, 1e-12) << "impulse at " << m << ", bin " << k;
                ASSERT_NEAR(LCcs[2 * k + 1], std::sin(LAngle) * LScale, 1e-12) << "impulse at " << m << ", bin " << k;
            }
            EXPECT_EQ(LCcs[1], 0.0);
            EXPECT_EQ(LCcs[N + 1], 0.0);
        }
        // Linear and the same in place.
        const auto x = RandomValues(size_t(N), static_cast<uint32_t>(LOrder), -1000.0, 1000.0);
        std::vector<double> LCcs(static_cast<size_t>(N + 2)), LInPlace(x);
        LInPlace.resize(static_cast<size_t>(N + 2));
        ASSERT_EQ(ippsFFTFwd_RToCCS_64f(x.data(), LCcs.data(), LSpec, nullptr), ippStsNoErr);
        ASSERT_EQ(ippsFFTFwd_RToCCS_64f(LInPlace.data(), LInPlace.data(), LSpec, nullptr), ippStsNoErr);
        EXPECT_EQ(LInPlace, LCcs);
        double LSum = 0;
        for (double v : x)
            LSum += v;
        EXPECT_NEAR(LCcs[0], LSum * LScale, 1e-9 * N);
        EXPECT_EQ(ippsFFTFree_R_64f(LSpec), ippStsNoErr);
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, DGSignalDispatcherFFTTest, ::testing::Range(1, 12));

TEST(DGSignalDispatcher, FFTRefusesBadArguments)
{
    IppsFFTSpec_R_64f* LSpec = nullptr;
    EXPECT_EQ(ippsFFTInitAlloc_R_64f(nullptr, 4, IPP_FFT_DIV_FWD_BY_N, ippAlgHintNone), ippStsNullPtrErr);
    EXPECT_EQ(ippsFFTInitAlloc_R_64f(&LSpec, 0, IPP_FFT_DIV_FWD_BY_N, ippAlgHintNone), ippStsFftOrderErr);
    EXPECT_EQ(ippsFFTInitAlloc_R_64f(&LSpec, 31, IPP_FFT_DIV_FWD_BY_N, ippAlgHintNone), ippStsFftOrderErr);
    EXPECT_EQ(ippsFFTInitAlloc_R_64f(&LSpec, 4, 3, ippAlgHintNone), ippStsFftFlagErr);
    EXPECT_EQ(LSpec, nullptr);
    double v[18] = {};
    EXPECT_EQ(ippsFFTFwd_RToCCS_64f(v, v, nullptr, nullptr), ippStsNullPtrErr);
    EXPECT_EQ(ippsFFTFree_R_64f(nullptr), ippStsNullPtrErr);
    EXPECT_EQ(FFTLength_R_64f(nullptr), 0);
}
