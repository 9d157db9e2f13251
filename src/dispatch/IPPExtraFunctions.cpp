// SPDX-License-Identifier: MIT
#include "IPPExtraFunctions.h"

#include "SNBasicDispatcher.h"
#include "SNVectorSelect.h"

#include <cmath>
#include <sys/platform/x86.h>

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
    const int32_t LValue = value < CMin24 ? CMin24 : (value > CMax24 ? CMax24 : value);
    return SetValue<TPacked24Sample>(LValue, pDst, dstStep, roi);
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
