// SPDX-License-Identifier: MIT
#include "IPPExtraFunctions.h"

#include "SNBasicDispatcher.h"
#include "SNCpuFeatures.h"
#include "SNVectorSelect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <immintrin.h>

namespace Sonorix {

using namespace SNKernelDetail;

namespace {

constexpr int32_t CMin24 = -8388608;
constexpr int32_t CMax24 = 8388607;

struct TPacked24Sample {
    using Elem = Ipp8u;
    static constexpr std::ptrdiff_t Bytes = 3;
    static int32_t Load(const Ipp8u* AData, std::ptrdiff_t AIndex) { return Convert24BitTo32Bit(AData + 3 * AIndex); }
    static void Store(Ipp8u* AData, std::ptrdiff_t AIndex, int32_t AValue)
    {
        Convert32BitTo24Bit(AValue, AData + 3 * AIndex);
    }
};

using T8u = TPlainSample<Ipp8u>;
using T8s = TPlainSample<Ipp8s>;
using T16s = TPlainSample<Ipp16s>;
using T32s = TPlainSample<Ipp32s>;

} // namespace

IppStatus ippiConvert_24s32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi)
{
    return ConvertToFloat<TPacked24Sample>(pSrc, srcStep, pDst, dstStep, roi);
}

IppStatus ippiConvert_32s32f_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi)
{
    return ConvertToFloat<T32s>(pSrc, srcStep, pDst, dstStep, roi);
}

IppStatus ippiConvert_32f24s_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep, IppiSize roi,
                                 IppRoundMode roundMode)
{
    return ConvertFromFloat<TPacked24Sample, CMin24, CMax24>(pSrc, srcStep, pDst, dstStep, roi, roundMode);
}

IppStatus ippiConvert_32f32s_C1RSfs(const Ipp32f* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep, IppiSize roi,
                                    IppRoundMode roundMode, int32_t scaleFactor)
{
    // A power of two is exact in double, so x * 2^-scale is exact unless it
    // leaves the double range, where saturation takes over anyway.
    return ConvertFromFloat<T32s, INT32_MIN, INT32_MAX>(pSrc, srcStep, pDst, dstStep, roi, roundMode,
                                                        std::ldexp(1.0, -scaleFactor));
}

IppStatus ippiAdd_8s_C1IRSfs(const Ipp8s* pSrc, int32_t srcStep, Ipp8s* pSrcDst, int32_t srcDstStep, IppiSize roi,
                             int32_t scaleFactor)
{
    return AddInPlace<T8s, INT8_MIN, INT8_MAX>(pSrc, srcStep, pSrcDst, srcDstStep, roi, scaleFactor);
}

IppStatus ippiAdd_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi,
                              int32_t scaleFactor)
{
    return RunSelected([&] { return AddInPlace<TPacked24Sample, CMin24, CMax24>(pSrc, srcStep, pSrcDst, srcDstStep, roi, scaleFactor); });
}

IppStatus ippiAdd_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep, IppiSize roi,
                              int32_t scaleFactor)
{
    return RunSelected([&] { return AddInPlace<T32s, INT32_MIN, INT32_MAX>(pSrc, srcStep, pSrcDst, srcDstStep, roi, scaleFactor); });
}

IppStatus AddOffset8uI(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi)
{
    return RunSelected([&] { return AddInPlace<T8u, 0, 255, 128>(pSrc, srcStep, pSrcDst, srcDstStep, roi, 0); });
}

IppStatus ippiSet_24s_C1R(Ipp32s value, Ipp8u* pDst, int32_t dstStep, IppiSize roi)
{
    if (const IppStatus LStatus = CheckRegion(pDst, pDst, roi, dstStep, dstStep); LStatus != ippStsNoErr)
        return LStatus;
    // Three bytes repeat every 64 samples on a whole number of vectors: the
    // row is written in copies of that pattern, then its rest.
    constexpr std::ptrdiff_t CPatternSamples = 64;
    uint8_t LPattern[3 * CPatternSamples];
    const int32_t LValue = value < CMin24 ? CMin24 : (value > CMax24 ? CMax24 : value);
    for (std::ptrdiff_t i = 0; i < CPatternSamples; ++i)
        Convert32BitTo24Bit(LValue, LPattern + 3 * i);
    return RunSelected([&] {
        ForEachRow(pDst, dstStep, 3, pDst, dstStep, 3, roi, [&](Ipp8u* ARow, Ipp8u*, std::ptrdiff_t ACount) {
            std::ptrdiff_t i = 0;
            for (; i + CPatternSamples <= ACount; i += CPatternSamples)
                std::memcpy(ARow + 3 * i, LPattern, sizeof LPattern);
            std::memcpy(ARow + 3 * i, LPattern, static_cast<size_t>(3 * (ACount - i)));
        });
        return ippStsNoErr;
    });
}

IppStatus MultiplyByReal8uI(double value, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi)
{
    return RunSelected([&] { return MultiplyInPlace<T8u, 0, 255, 128>(pSrcDst, srcDstStep, roi, value); });
}

IppStatus MultiplyByReal16sI(double value, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roi)
{
    return RunSelected([&] { return MultiplyInPlace<T16s, INT16_MIN, INT16_MAX>(pSrcDst, srcDstStep, roi, value); });
}

IppStatus MultiplyByReal24sI(double value, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi)
{
    return RunSelected([&] { return MultiplyInPlace<TPacked24Sample, CMin24, CMax24>(pSrcDst, srcDstStep, roi, value); });
}

IppStatus MultiplyByReal32sI(double value, Ipp32s* pSrcDst, int32_t srcDstStep, IppiSize roi)
{
    return RunSelected([&] { return MultiplyInPlace<T32s, INT32_MIN, INT32_MAX>(pSrcDst, srcDstStep, roi, value); });
}

IppStatus AddProductOfReal8uI(double value, const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                              IppiSize roi)
{
    return RunSelected([&] { return AddProductInPlace<T8u, 0, 255, 128>(pSrc, srcStep, pSrcDst, srcDstStep, roi, value); });
}

IppStatus AddProductOfReal16sI(double value, const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst, int32_t srcDstStep,
                               IppiSize roi)
{
    return RunSelected(
        [&] { return AddProductInPlace<T16s, INT16_MIN, INT16_MAX>(pSrc, srcStep, pSrcDst, srcDstStep, roi, value); });
}

IppStatus AddProductOfReal24sI(double value, const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                               IppiSize roi)
{
    return RunSelected([&] {
        return AddProductInPlace<TPacked24Sample, CMin24, CMax24>(pSrc, srcStep, pSrcDst, srcDstStep, roi, value);
    });
}

IppStatus AddProductOfReal32sI(double value, const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                               IppiSize roi)
{
    return RunSelected(
        [&] { return AddProductInPlace<T32s, INT32_MIN, INT32_MAX>(pSrc, srcStep, pSrcDst, srcDstStep, roi, value); });
}

namespace {

// A stored sample to the top bits of a signed 32-bit value and back (the
// 8-bit offset of 128 removed and restored).
template <class TAcc, int32_t ABits, int32_t AOffset>
struct TWidthForm {
    static int32_t ToFull(int32_t ARaw)
    {
        return static_cast<int32_t>(static_cast<uint32_t>(ARaw - AOffset) << (32 - ABits));
    }
    static int32_t FromFull(int32_t AFull) { return (AFull >> (32 - ABits)) + AOffset; }
};
using TForm8 = TWidthForm<T8u, 8, 128>;
using TForm16 = TWidthForm<T16s, 16, 0>;
using TForm24 = TWidthForm<TPacked24Sample, 24, 0>;
using TForm32 = TWidthForm<T32s, 32, 0>;

template <class TSrcAcc, class TSrcForm, class TDstAcc, class TDstForm>
void ConvertWidthRow(const Ipp8u* ASrc, Ipp8u* ADst, std::ptrdiff_t ACount)
{
    const auto* LSrc = reinterpret_cast<const typename TSrcAcc::Elem*>(ASrc);
    auto* LDst = reinterpret_cast<typename TDstAcc::Elem*>(ADst);
    for (std::ptrdiff_t i = 0; i < ACount; ++i)
        TDstAcc::Store(LDst, i, TDstForm::FromFull(TSrcForm::ToFull(TSrcAcc::Load(LSrc, i))));
}

template <class TSrcAcc, class TSrcForm>
IppStatus ConvertWidthFrom(const Ipp8u* ASrc, Ipp8u* ADst, int ADstBits, std::ptrdiff_t ACount)
{
    switch (ADstBits) {
    case 8: ConvertWidthRow<TSrcAcc, TSrcForm, T8u, TForm8>(ASrc, ADst, ACount); break;
    case 16: ConvertWidthRow<TSrcAcc, TSrcForm, T16s, TForm16>(ASrc, ADst, ACount); break;
    case 24: ConvertWidthRow<TSrcAcc, TSrcForm, TPacked24Sample, TForm24>(ASrc, ADst, ACount); break;
    case 32: ConvertWidthRow<TSrcAcc, TSrcForm, T32s, TForm32>(ASrc, ADst, ACount); break;
    default: return ippStsRangeErr;
    }
    return ippStsNoErr;
}

// The low three bytes of each of AValues' first ACount values to ADst, 8 at
// a time: byte shuffle within each 128-bit lane, then the lanes' 12-byte
// packs moved together. Returns how many it wrote; the rest is the caller's.
__attribute__((target("avx2"))) inline std::ptrdiff_t Pack24AVX2(const int32_t* AValues, Ipp8u* ADst,
                                                                 std::ptrdiff_t ACount)
{
    const __m256i LBytes = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                            9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i LDwords = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    std::ptrdiff_t i = 0;
    for (; i + 8 <= ACount; i += 8) {
        const __m256i v = _mm256_permutevar8x32_epi32(
            _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(AValues + i)), LBytes), LDwords);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ADst + 3 * i), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(ADst + 3 * i + 16), _mm256_extracti128_si256(v, 1));
    }
    return i;
}

// As Pack24AVX2, 16 at a time, the 48 bytes by one masked store.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vl"))) inline std::ptrdiff_t
Pack24AVX512(const int32_t* AValues, Ipp8u* ADst, std::ptrdiff_t ACount)
{
    // Bytes 0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14 of each lane, then zeros. Set
    // as dwords and the permute zero-masked: GCC 12 warns of the undefined
    // pass-through operand the broadcast and unmasked permute use.
    const __m512i LBytes = _mm512_set4_epi32(-1, 0x0E0D0C0A, 0x09080605, 0x04020100);
    const __m512i LDwords = _mm512_setr_epi32(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 3, 7, 11, 15);
    std::ptrdiff_t i = 0;
    for (; i + 16 <= ACount; i += 16) {
        const __m512i v = _mm512_maskz_permutexvar_epi32(0xFFFF, LDwords,
                                                         _mm512_shuffle_epi8(_mm512_loadu_si512(AValues + i), LBytes));
        _mm512_mask_storeu_epi32(ADst + 3 * i, 0x0FFF, v);
    }
    return i;
}

// ConvertWidthRow to 24 bits in blocks: the values of a block into 32-bit
// integers (the same arithmetic), then packed by APack.
template <class TSrcAcc, class TSrcForm, class FPack>
void ConvertTo24Row(const Ipp8u* ASrc, Ipp8u* ADst, std::ptrdiff_t ACount, FPack APack)
{
    constexpr std::ptrdiff_t CBlock = 256;
    const auto* LSrc = reinterpret_cast<const typename TSrcAcc::Elem*>(ASrc);
    int32_t LValues[CBlock];
    for (std::ptrdiff_t LFirst = 0; LFirst < ACount; LFirst += CBlock) {
        const std::ptrdiff_t n = std::min(CBlock, ACount - LFirst);
        for (std::ptrdiff_t i = 0; i < n; ++i)
            LValues[i] = TForm24::FromFull(TSrcForm::ToFull(TSrcAcc::Load(LSrc, LFirst + i)));
        Ipp8u* LDst = ADst + 3 * LFirst;
        for (std::ptrdiff_t i = APack(LValues, LDst, n); i < n; ++i)
            Convert32BitTo24Bit(LValues[i], LDst + 3 * i);
    }
}

template <class FPack>
IppStatus ConvertTo24Body(const Ipp8u* ASrc, int ASrcBits, Ipp8u* ADst, std::ptrdiff_t ACount, FPack APack)
{
    switch (ASrcBits) {
    case 8: ConvertTo24Row<T8u, TForm8>(ASrc, ADst, ACount, APack); break;
    case 16: ConvertTo24Row<T16s, TForm16>(ASrc, ADst, ACount, APack); break;
    case 32: ConvertTo24Row<T32s, TForm32>(ASrc, ADst, ACount, APack); break;
    default: return ippStsRangeErr;
    }
    return ippStsNoErr;
}

IppStatus ConvertWidthBody(const Ipp8u* ASrc, int ASrcBits, Ipp8u* ADst, int ADstBits, std::ptrdiff_t ACount)
{
    if (!ASrc || !ADst)
        return ippStsNullPtrErr;
    if (ACount < 0)
        return ippStsSizeErr;
    switch (ASrcBits) {
    case 8: return ConvertWidthFrom<T8u, TForm8>(ASrc, ADst, ADstBits, ACount);
    case 16: return ConvertWidthFrom<T16s, TForm16>(ASrc, ADst, ADstBits, ACount);
    case 24: return ConvertWidthFrom<TPacked24Sample, TForm24>(ASrc, ADst, ADstBits, ACount);
    case 32: return ConvertWidthFrom<T32s, TForm32>(ASrc, ADst, ADstBits, ACount);
    default: return ippStsRangeErr;
    }
}

} // namespace

IppStatus ConvertSampleWidth(const Ipp8u* pSrc, int srcBits, Ipp8u* pDst, int dstBits, std::ptrdiff_t count)
{
    // Stores of 24-bit samples: byte shuffles where the CPU has them.
    if (dstBits == 24 && (srcBits == 8 || srcBits == 16 || srcBits == 32) && pSrc && pDst && count >= 0 &&
        VectorKernelsEnabled()) {
        if (WideVectorKernelsEnabled())
            return RunAVX512([&] {
                return ConvertTo24Body(pSrc, srcBits, pDst, count,
                                       [](const int32_t* v, Ipp8u* d, std::ptrdiff_t n) { return Pack24AVX512(v, d, n); });
            });
        return RunAVX2([&] {
            return ConvertTo24Body(pSrc, srcBits, pDst, count,
                                   [](const int32_t* v, Ipp8u* d, std::ptrdiff_t n) { return Pack24AVX2(v, d, n); });
        });
    }
    return RunSelected([&] { return ConvertWidthBody(pSrc, srcBits, pDst, dstBits, count); });
}

namespace {
std::atomic<bool> GVectorKernelsAllowed{true};
} // namespace

void SNUseVectorKernels(bool AEnabled)
{
    GVectorKernelsAllowed.store(AEnabled, std::memory_order_relaxed);
}

bool SNKernelDetail::VectorKernelsEnabled()
{
    // Asked on first use rather than by an ifunc resolver, which runs before
    // the sanitizers' runtimes are up; from the C library's table, filled by
    // the dynamic loader anyway (__builtin_cpu_supports would link a
    // constructor that asks the CPU again in every process).
    static const bool LHasAVX2 = CPU_FEATURE_ACTIVE(AVX2);
    return LHasAVX2 && GVectorKernelsAllowed.load(std::memory_order_relaxed);
}

bool SNKernelDetail::WideVectorKernelsEnabled()
{
    static const bool LHasAVX512 = CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(AVX512BW) &&
                                   CPU_FEATURE_ACTIVE(AVX512DQ) && CPU_FEATURE_ACTIVE(AVX512VL);
    return LHasAVX512;
}

} // namespace Sonorix
