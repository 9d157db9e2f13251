// SPDX-License-Identifier: MIT
// Portable kernels of the vector-primitive table: generators, arithmetic,
// conversions and analysis. The filter kernels are in SNDispatcherFilters.cpp.
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"
#include "SNVectorSelect.h"

#include "SNBasicDispatcher.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Sonorix {

namespace {

constexpr double CPi = 3.14159265358979323846;
constexpr double CTwoPi = 2.0 * CPi;
constexpr double CFourPi = 4.0 * CPi;

// Conversion to int32 toward zero as the x86 instruction does it: NaN and
// values outside the int32 range give INT32_MIN instead of undefined
// behaviour.
inline int32_t Trunc32(double AValue)
{
    if (AValue > -2147483649.0 && AValue < 2147483648.0)
        return static_cast<int32_t>(AValue);
    return INT32_MIN;
}

// The low 16 bits of an int32, as a 16-bit store keeps them.
inline Ipp16s Low16(int32_t AValue)
{
    return static_cast<Ipp16s>(static_cast<uint16_t>(static_cast<uint32_t>(AValue)));
}

// The stored phase is the reduced phase as a single when it lies in
// [0, 2 pi) after that rounding, else 0: a value just below 2 pi may round up
// to 2 pi as a single, which the next call would refuse.
inline float StorablePhase(double AReduced)
{
    const auto LStored = static_cast<float>(AReduced);
    return (LStored >= 0.0f && double{LStored} < CTwoPi) ? LStored : 0.0f;
}

// Two's-complement arithmetic of the noise generators, without signed
// overflow.
inline int32_t Wrap(uint32_t AValue)
{
    return static_cast<int32_t>(AValue);
}

// Sum of a linear congruential generator and a lagged subtract-with-borrow
// generator. Only the last lag output survives a call, as the new seed.
struct TNoiseGenerator {
    static constexpr uint32_t CMultiplier = 69069;
    static constexpr uint32_t CIncrement = 1013904243;

    int32_t A;
    int32_t B;
    int32_t C;
    int32_t Borrow = -1;
    uint32_t Congruential = 1131199209u;
    int32_t LastLag = 0;

    explicit TNoiseGenerator(uint32_t ASeed)
    {
        const uint32_t LB = ASeed * CMultiplier + CIncrement;
        const uint32_t LC = LB * CMultiplier + CIncrement;
        A = Wrap(ASeed);
        B = Wrap(LB);
        C = Wrap(LC);
    }

    // int32(r + c) of one step.
    int32_t Next()
    {
        Congruential = Congruential * CMultiplier + CIncrement;
        const int32_t t = Wrap(static_cast<uint32_t>(B) - static_cast<uint32_t>(C) + static_cast<uint32_t>(Borrow));
        Borrow = t < 0 ? -1 : 0;
        const int32_t r = t < 0 ? Wrap(static_cast<uint32_t>(t) - 18u) : t;
        C = B;
        B = A;
        A = r;
        LastLag = r;
        return Wrap(static_cast<uint32_t>(r) + Congruential);
    }
};

inline double Clamp16(double AValue)
{
    return AValue < -32768.0 ? -32768.0 : (AValue > 32767.0 ? 32767.0 : AValue);
}

} // namespace

// ---------------------------------------------------------------- generators

IppStatus _px_ippsTone_Direct_16s(Ipp16s* pDst, int len, Ipp16s magn, float rFreq, float* pPhase,
                                  IppHintAlgorithm /*hint*/)
{
    if (pPhase == nullptr)
        return ippStsNullPtrErr;
    if (magn <= 0)
        return ippStsToneMagnErr;
    // Written as "not inside" so that NaN is refused as well.
    if (!(rFreq >= 0.0f && double{rFreq} < 0.5))
        return ippStsToneFreqErr;
    const double LPhase = *pPhase;
    if (!(LPhase >= 0.0 && LPhase < CTwoPi))
        return ippStsTonePhaseErr;
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;

    const double LEnd = CTwoPi * rFreq * len + LPhase;
    *pPhase = StorablePhase(LEnd - CTwoPi * std::floor(LEnd / CTwoPi));

    const double w = CTwoPi * rFreq;
    const double LMagn = magn;
    const double c = 2.0 * std::cos(w);
    // History m[n-4] .. m[n-1].
    double m[4];
    m[0] = LMagn * std::cos(LPhase);
    m[1] = LMagn * std::cos(LPhase + w);
    m[2] = c * m[1] - m[0];
    m[3] = c * m[2] - m[1];
    const int LHead = len < 4 ? len : 4;
    for (int n = 0; n < LHead; ++n)
        pDst[n] = Low16(Trunc32(m[n]));
    if (len <= 4)
        return ippStsNoErr;

    // Two interleaved recurrences with step 2w: even and odd samples.
    const double LA = c * c - 2.0;
    double LEvenOld = m[0], LEven = m[2];
    double LOddOld = m[1], LOdd = m[3];
    int n = 4;
    for (; n + 1 < len; n += 2) {
        const double LNextEven = LA * LEven - LEvenOld;
        const double LNextOdd = LA * LOdd - LOddOld;
        LEvenOld = LEven;
        LEven = LNextEven;
        LOddOld = LOdd;
        LOdd = LNextOdd;
        pDst[n] = Low16(Trunc32(LEven));
        pDst[n + 1] = Low16(Trunc32(LOdd));
    }
    if (n < len)
        pDst[n] = Low16(Trunc32(LA * LEven - LEvenOld));
    return ippStsNoErr;
}

IppStatus _px_ippsTriangle_Direct_16s(Ipp16s* pDst, int len, Ipp16s magn, float rFreq, float asym, float* pPhase)
{
    if (pPhase == nullptr)
        return ippStsNullPtrErr;
    if (magn <= 0)
        return ippStsTrnglMagnErr;
    if (!(rFreq >= 0.0f && double{rFreq} < 0.5))
        return ippStsTrnglFreqErr;
    const double LAsym = asym;
    if (!(LAsym >= -CPi && LAsym < CPi))
        return ippStsTrnglAsymErr;
    const double LPhase = *pPhase;
    if (!(LPhase >= 0.0 && LPhase < CTwoPi))
        return ippStsTrnglPhaseErr;
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;

    const double LEnd = CTwoPi * rFreq * len + LPhase;
    const double q = LEnd / CTwoPi;
    double r = std::nearbyint(q);
    if (r > q)
        r -= 1.0;
    *pPhase = StorablePhase(LEnd - CTwoPi * r);

    const double LMagn = magn;
    const double LFreq = rFreq;
    const double H1 = CPi + LAsym; // falling half
    const double H2 = CPi - LAsym; // rising half
    const double LFallStep = -CFourPi * LMagn * LFreq / H1;
    const double LRiseStep = CFourPi * LMagn * LFreq / H2;
    bool LFalling;
    double v, D;
    if (LPhase < H1) {
        v = LMagn * (1.0 - 2.0 * LPhase / H1);
        LFalling = true;
        D = LFallStep;
    } else {
        v = LMagn * (-1.0 + 2.0 * (LPhase - H1) / H2);
        LFalling = false;
        D = LRiseStep;
    }
    if (D == 0.0)
        LFalling = true;

    const double LFallRatio = H1 / H2;
    const double LRiseRatio = H2 / H1;
    const double LFallSpan = CFourPi * LMagn / H1;
    const double LRiseSpan = CFourPi * LMagn / H2;
    for (int n = 0; n < len; ++n) {
        pDst[n] = Low16(Trunc32(v));
        const double w = v + D;
        if (LFalling) {
            if (w >= -LMagn) {
                v = w;
            } else {
                // Reflect the overshoot below -magn onto the rising slope.
                const double LReflected = -LMagn - LFallRatio * (w + LMagn);
                if (LReflected <= LMagn) {
                    v = LReflected;
                    LFalling = false;
                    D = LRiseStep;
                } else {
                    v = w + LFallSpan;
                }
            }
        } else {
            if (w <= LMagn) {
                v = w;
            } else {
                const double LReflected = LMagn - LRiseRatio * (w - LMagn);
                if (LReflected >= -LMagn) {
                    v = LReflected;
                    LFalling = true;
                    D = LFallStep;
                } else {
                    v = w - LRiseSpan;
                }
            }
        }
    }
    return ippStsNoErr;
}

IppStatus ippsSquare_Direct_16s(Ipp16s* dst, int len, Ipp16s magn, float rfreq, float asym, float* phase)
{
    if (phase == nullptr)
        return ippStsNoErr;
    const double s = asym / 2.0 + 0.5;
    double p = *phase / CTwoPi;
    if (dst != nullptr) {
        const Ipp16s LLow = Low16(-int32_t{magn});
        for (int n = 0; n < len; ++n) {
            dst[n] = s > p ? LLow : magn;
            p = std::fmod(p + rfreq, 1.0);
        }
    }
    *phase = static_cast<float>(p * CTwoPi);
    return ippStsNoErr;
}

IppStatus _px_ippsVectorRamp_16s(Ipp16s* pDst, int len, float offset, float slope)
{
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    const double LOffset = offset;
    const double LSlope = slope;
    // Selects only, so that the loop vectorises; NaN ends as 0 (the low bits
    // of the x86 conversion's INT32_MIN).
    for (int n = 0; n < len; ++n) {
        const double v = n * LSlope + LOffset;
        // v + 0.5 above zero, v - 0.5 otherwise; at v = 0 both truncate to 0,
        // so the sign of v may choose.
        double LRounded = v + std::copysign(0.5, v);
        LRounded = LRounded == LRounded ? LRounded : 0.0;
        LRounded = LRounded >= 32767.0 ? 32767.0 : LRounded;
        LRounded = LRounded <= -32768.0 ? -32768.0 : LRounded;
        pDst[n] = static_cast<Ipp16s>(static_cast<int32_t>(LRounded));
    }
    return ippStsNoErr;
}

IppStatus _px_ippsRandUniform_Direct_16s(Ipp16s* pDst, int len, Ipp16s low, Ipp16s high, unsigned int* pSeed)
{
    if (pDst == nullptr || pSeed == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    const double LScale = (int32_t{high} - int32_t{low}) * 2.3283064365387E-10;
    const double LOffset = (int32_t{low} + int32_t{high}) * 0.5;
    TNoiseGenerator LGenerator(*pSeed);
    for (int n = 0; n < len; ++n)
        pDst[n] = Low16(static_cast<int32_t>(LGenerator.Next() * LScale + LOffset));
    *pSeed = static_cast<uint32_t>(LGenerator.LastLag);
    return ippStsNoErr;
}

IppStatus _px_ippsRandGauss_Direct_16s(Ipp16s* pDst, int len, Ipp16s mean, Ipp16s stdDev, unsigned int* pSeed)
{
    if (pDst == nullptr || pSeed == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    TNoiseGenerator LGenerator(*pSeed);
    double u1 = 0.0, u2 = 0.0, f = 0.0;
    // Polar Box-Muller: a pair inside the unit circle (and not at its centre).
    const auto LDrawPair = [&] {
        double s;
        do {
            u1 = LGenerator.Next() * 4.656612873077E-10;
            u2 = LGenerator.Next() * 4.656612873077E-10;
            s = u1 * u1 + u2 * u2;
        } while (s >= 1.0 || s == 0.0);
        f = std::sqrt(-2.0 * std::log(s) / s);
    };
    const double LMean = mean;
    const double LStdDev = stdDev;
    const auto LSample = [&](double u) {
        return static_cast<Ipp16s>(static_cast<int32_t>(Clamp16(LMean + LStdDev * f * u)));
    };
    LDrawPair();
    int n = 0;
    for (; n + 1 < len; n += 2) {
        pDst[n] = LSample(u2);
        pDst[n + 1] = LSample(u1);
        LDrawPair();
    }
    if (n < len)
        pDst[n] = LSample(u2);
    *pSeed = static_cast<uint32_t>(LGenerator.LastLag);
    return ippStsNoErr;
}

// ---------------------------------------------------------------- 16-bit arithmetic

IppStatus _px_ippsThreshold_LTValGTVal_16s_I(Ipp16s* pSrcDst, int len, Ipp16s levelLT, Ipp16s valueLT, Ipp16s levelGT,
                                             Ipp16s valueGT)
{
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    if (levelGT < levelLT)
        return ippStsThresholdErr;
    for (int i = 0; i < len; ++i) {
        const Ipp16s x = pSrcDst[i];
        pSrcDst[i] = x < levelLT ? valueLT : (x > levelGT ? valueGT : x);
    }
    return ippStsNoErr;
}

IppStatus _px_ippsAdd_16s_I(const Ipp16s* pSrc, Ipp16s* pSrcDst, int len)
{
    if (pSrc == nullptr || pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    for (int i = 0; i < len; ++i) {
        int32_t v = int32_t{pSrc[i]} + pSrcDst[i];
        v = v < INT16_MIN ? INT16_MIN : v;
        v = v > INT16_MAX ? INT16_MAX : v;
        pSrcDst[i] = static_cast<Ipp16s>(v);
    }
    return ippStsNoErr;
}

// ---------------------------------------------------------------- float arithmetic

IppStatus _px_ippsConjCcs_64fc_I(Ipp64fc* pSrcDst, int lenDst)
{
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (lenDst <= 0)
        return ippStsSizeErr;
    const int h = lenDst / 2;
    const int LLast = lenDst % 2 == 0 ? h - 1 : h;
    for (int i = 1; i <= LLast; ++i)
        pSrcDst[lenDst - i] = Ipp64fc{pSrcDst[i].re, -pSrcDst[i].im};
    return ippStsNoErr;
}

static IppStatus _px_ippsSum_32fBody(const Ipp32f* pSrc, int len, Ipp32f* pSum, IppHintAlgorithm /*hint*/)
{
    if (pSrc == nullptr || pSum == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    // Lane 0 accumulates elements 0 and 2 of each block of four, lane 1
    // elements 1 and 3, each in order: one two-lane vector add per pair keeps
    // exactly that order.
    using TPair = double __attribute__((vector_size(16)));
    TPair LPartial = {0.0, 0.0};
    const int LWhole = len & ~3;
    for (int i = 0; i < LWhole; i += 2) {
        const TPair LNext = {pSrc[i], pSrc[i + 1]};
        LPartial += LNext;
    }
    double LTotal = LPartial[0] + LPartial[1];
    for (int i = LWhole; i < len; ++i)
        LTotal += pSrc[i];
    *pSum = static_cast<Ipp32f>(LTotal);
    return ippStsNoErr;
}

IppStatus _px_ippsSum_32f(const Ipp32f* pSrc, int len, Ipp32f* pSum, IppHintAlgorithm hint)
{
    return SNKernelDetail::RunSelected([&] { return _px_ippsSum_32fBody(pSrc, len, pSum, hint); });
}

static IppStatus _px_ippsSqr_32f_IBody(Ipp32f* pSrcDst, int len)
{
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    // The exact product of two singles fits a double, so the single product
    // is the correctly rounded square.
    for (int i = 0; i < len; ++i)
        pSrcDst[i] = pSrcDst[i] * pSrcDst[i];
    return ippStsNoErr;
}

IppStatus _px_ippsSqr_32f_I(Ipp32f* pSrcDst, int len)
{
    return SNKernelDetail::RunSelected([&] { return _px_ippsSqr_32f_IBody(pSrcDst, len); });
}

IppStatus _px_ippsMulC_32f(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len)
{
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    if (val == 1.0f) {
        if (pSrc != pDst)
            std::memmove(pDst, pSrc, sizeof(Ipp32f) * static_cast<size_t>(len));
    } else if (val == 0.0f) {
        // Zeros even for infinite or NaN inputs.
        std::memset(pDst, 0, sizeof(Ipp32f) * static_cast<size_t>(len));
    } else {
        for (int i = 0; i < len; ++i)
            pDst[i] = pSrc[i] * val;
    }
    return ippStsNoErr;
}

IppStatus _px_ippsDivC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len)
{
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len <= 0)
        return ippStsSizeErr;
    if (val == 0.0f)
        return ippStsDivByZeroErr;
    return _px_ippsMulC_32f(pSrcDst, 1.0f / val, pSrcDst, len);
}

IppStatus _px_ippsCompensateOffset_32f_I(Ipp32f* pSrcDst, int len, Ipp32f* pSrcDst0, Ipp32f dst, Ipp32f val)
{
    if (pSrcDst == nullptr || pSrcDst0 == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    const double LVal = val;
    double LPrevious = *pSrcDst0;
    double y = dst;
    for (int n = 0; n < len; ++n) {
        const double x = pSrcDst[n];
        y = x - LPrevious + LVal * y;
        LPrevious = x;
        pSrcDst[n] = static_cast<Ipp32f>(y);
    }
    *pSrcDst0 = static_cast<Ipp32f>(LPrevious);
    return ippStsNoErr;
}

IppStatus _px_ippsSampleDown_32f(const Ipp32f* pSrc, int srcLen, Ipp32f* pDst, int* pDstLen, int factor, int* pPhase)
{
    if (pSrc == nullptr || pDst == nullptr || pDstLen == nullptr || pPhase == nullptr)
        return ippStsNullPtrErr;
    if (srcLen < 1)
        return ippStsSizeErr;
    if (factor < 1)
        return ippStsSampleFactorErr;
    const int LPhase = *pPhase;
    if (LPhase < 0 || LPhase >= factor)
        return ippStsSamplePhaseErr;
    if (factor == 1) {
        std::memmove(pDst, pSrc, sizeof(Ipp32f) * static_cast<size_t>(srcLen));
        *pDstLen = srcLen;
        return ippStsNoErr;
    }
    int LCount = 0;
    int64_t i = LPhase;
    for (; i < srcLen; i += factor)
        pDst[LCount++] = pSrc[i];
    *pDstLen = LCount;
    *pPhase = static_cast<int>(i - srcLen);
    return ippStsNoErr;
}

IppStatus _px_ippsPeriodicityLSPE_32f(const Ipp32f* pSrc, int len, Ipp32f* pPeriodicity, int* pPeriod, int maxPeriod,
                                      int minPeriod)
{
    if (pSrc == nullptr || pPeriodicity == nullptr || pPeriod == nullptr)
        return ippStsNullPtrErr;
    if (minPeriod < 6 || maxPeriod <= minPeriod)
        return ippStsRangeErr;
    if (len <= maxPeriod || len > 1024 || len > 16 * minPeriod)
        return SNStsPeriodicityLenErr;

    // 1/sqrt(m) and 1/m for the m <= 16 samples of one offset.
    static const auto CTables = [] {
        struct {
            double InvSqrt[17];
            double Inv[17];
        } LTables{};
        for (int m = 1; m <= 16; ++m) {
            LTables.InvSqrt[m] = 1.0 / std::sqrt(static_cast<double>(m));
            LTables.Inv[m] = 1.0 / m;
        }
        return LTables;
    }();

    double E = 0.0;
    for (int i = 0; i < len; ++i)
        E += double{pSrc[i]} * pSrc[i];
    float LPeriodicity = 0.0f;
    int LPeriod = 0;
    for (int p = minPeriod; p <= maxPeriod; ++p) {
        double S1 = 0.0, S2 = 0.0;
        for (int j = 0; j < p; ++j) {
            double LSum = 0.0, LSquares = 0.0;
            int m = 0;
            for (int i = j; i < len; i += p, ++m) {
                LSum += pSrc[i];
                LSquares += double{pSrc[i]} * pSrc[i];
            }
            const double LScaled = LSum * CTables.InvSqrt[m];
            S1 += LScaled * LScaled;
            S2 += LSquares * CTables.Inv[m];
        }
        const double LNum = S1 - S2;
        const double LDen = E - S2;
        if (LDen > 0.0 && LNum > 0.0 && LNum / LDen > LPeriodicity) {
            LPeriodicity = static_cast<float>(LNum / LDen);
            LPeriod = p;
        }
    }
    *pPeriodicity = LPeriodicity;
    *pPeriod = LPeriod;
    return ippStsNoErr;
}

// ---------------------------------------------------------------- conversions

IppStatus _px_ippiConvert_16s32f_C1R(const Ipp16s* pSrc, int srcStep, Ipp32f* pDst, int dstStep, IppiSize roiSize)
{
    return SNKernelDetail::ConvertToFloat<SNKernelDetail::TPlainSample<Ipp16s>>(pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus _px_ippiConvert_8s32f_C1R(const Ipp8s* pSrc, int srcStep, Ipp32f* pDst, int dstStep, IppiSize roiSize)
{
    return SNKernelDetail::ConvertToFloat<SNKernelDetail::TPlainSample<Ipp8s>>(pSrc, srcStep, pDst, dstStep, roiSize);
}

// Round mode 1: x + 0.5 (x - 0.5 below zero) truncated, one step back toward
// zero when odd and the sum was exact, i.e. ties to even, which RoundClamp
// computes branch-free.
IppStatus _px_ippiConvert_32f16s_C1R(const Ipp32f* pSrc, int srcStep, Ipp16s* pDst, int dstStep, IppiSize roiSize,
                                     IppRoundMode roundMode)
{
    return SNKernelDetail::ConvertFromFloat<SNKernelDetail::TPlainSample<Ipp16s>, INT16_MIN, INT16_MAX>(
        pSrc, srcStep, pDst, dstStep, roiSize, roundMode);
}

IppStatus _px_ippiConvert_32f8s_C1R(const Ipp32f* pSrc, int srcStep, Ipp8s* pDst, int dstStep, IppiSize roiSize,
                                    IppRoundMode roundMode)
{
    return SNKernelDetail::ConvertFromFloat<SNKernelDetail::TPlainSample<Ipp8s>, INT8_MIN, INT8_MAX>(
        pSrc, srcStep, pDst, dstStep, roiSize, roundMode);
}

} // namespace Sonorix
