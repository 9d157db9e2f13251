// SPDX-License-Identifier: MIT
// Region primitives of the base dispatcher: unsigned 8-bit conversions,
// saturating adds and fills over one-channel regions. The 16-bit conversions
// are entries of the vector-primitive table (SNDispatcher.h).
//
// Region conventions (shared with IPPExtraFunctions.h): a region is roi.height
// rows of roi.width samples; each pointer advances by its step, in bytes, from
// one row to the next. Only the roi.width samples of each row are read or
// written, so padding between rows is left alone. Every function returns
//   ippStsNullPtrErr  a pointer is null,
//   ippStsSizeErr     roi.width or roi.height is below 1,
//   ippStsStepErr     a step is below 1,
// checked in that order and before anything is written; otherwise ippStsNoErr.
// Float-to-integer conversions saturate to the destination's range; with
// ippRndNear they round to nearest, ties to even, any other mode truncates;
// NaN converts to 0.
//
//   Sonorix::Ipp8u LPcm[480];
//   float LFloats[480];
//   Sonorix::ippiConvert_8u32f_C1R(LPcm, 2, LFloats, 4, {1, 240}); // left channel of 240 stereo frames
#pragma once

#include "SNIppTypes.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace Sonorix {

// Unsigned 8-bit samples to float, values 0..255 (no offset removed).
IppStatus ippiConvert_8u32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi);
// Float to unsigned 8-bit, saturated to 0..255.
IppStatus ippiConvert_32f8u_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep, IppiSize roi,
                                IppRoundMode roundMode);

// pSrcDst := saturate((pSrc + pSrcDst) * 2^-scaleFactor). A positive scale
// factor rounds to nearest, ties to even; a negative one multiplies.
IppStatus ippiAdd_16s_C1IRSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roi,
                              int32_t scaleFactor);

// Every sample of the region := value.
IppStatus ippiSet_8u_C1R(Ipp8u value, Ipp8u* pDst, int32_t dstStep, IppiSize roi);
IppStatus ippiSet_16s_C1R(Ipp16s value, Ipp16s* pDst, int32_t dstStep, IppiSize roi);
IppStatus ippiSet_32s_C1R(Ipp32s value, Ipp32s* pDst, int32_t dstStep, IppiSize roi);

// Building blocks of the region primitives of this unit and of
// IPPExtraFunctions: one template per operation, instantiated per sample width
// with the width's limits. Not meant to be called from components.
namespace SNKernelDetail {

// The kernels below must give the same bits in every build: a multiply-add
// fused by the compiler (-march with FMA, or any AArch64 build) would round
// x * k + 1.5 * 2^52 once instead of twice and move results that sit next to
// a tie. GCC takes the switch per function, so these templates carry it
// wherever they are instantiated; Clang fuses only within one expression
// unless told otherwise, and RoundClamp turns that off for itself.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC push_options
#pragma GCC optimize("fp-contract=off")
#endif

// Sample access for widths stored as a plain integer type.
template <class T>
struct TPlainSample {
    using Elem = T;
    static constexpr std::ptrdiff_t Bytes = sizeof(T);
    static int32_t Load(const T* AData, std::ptrdiff_t AIndex) { return AData[AIndex]; }
    static void Store(T* AData, std::ptrdiff_t AIndex, int32_t AValue) { AData[AIndex] = static_cast<T>(AValue); }
};

template <class T>
T* ByteOffset(T* APointer, std::ptrdiff_t ABytes)
{
    using TByte = std::conditional_t<std::is_const_v<T>, const uint8_t, uint8_t>;
    return reinterpret_cast<T*>(reinterpret_cast<TByte*>(APointer) + ABytes);
}

inline IppStatus CheckRegion(const void* AFirst, const void* ASecond, IppiSize ARoi, int32_t AFirstStep,
                             int32_t ASecondStep)
{
    if (AFirst == nullptr || ASecond == nullptr)
        return ippStsNullPtrErr;
    if (ARoi.width < 1 || ARoi.height < 1)
        return ippStsSizeErr;
    if (AFirstStep < 1 || ASecondStep < 1)
        return ippStsStepErr;
    return ippStsNoErr;
}

// Calls ARow(first, second, count) per row; rows that follow each other
// without a gap in both regions are handed over as one long row.
template <class TFirst, class TSecond, class FRow>
void ForEachRow(TFirst* AFirst, int32_t AFirstStep, std::ptrdiff_t AFirstBytes, TSecond* ASecond, int32_t ASecondStep,
                std::ptrdiff_t ASecondBytes, IppiSize ARoi, FRow ARow)
{
    if (AFirstStep == ARoi.width * AFirstBytes && ASecondStep == ARoi.width * ASecondBytes) {
        ARow(AFirst, ASecond, std::ptrdiff_t{ARoi.width} * ARoi.height);
        return;
    }
    for (std::ptrdiff_t y = 0; y < ARoi.height; ++y)
        ARow(ByteOffset(AFirst, y * AFirstStep), ByteOffset(ASecond, y * ASecondStep), std::ptrdiff_t{ARoi.width});
}

// Rounds to nearest, ties to even, then clamps to [ALow, AHigh]; NaN gives 0.
// Adding 1.5 * 2^52 pushes the fraction out of a double of magnitude below
// 2^51, so the hardware rounds it under the default rounding mode; larger
// values stay large and are clamped. Rounding before the clamp, with the
// comparisons written as selects, keeps the whole loop vectorisable, which
// std::nearbyint and a clamp-first order do not. (Needs strict IEEE
// evaluation: never build the kernels with -ffast-math.)
// AMayBeNaN false leaves out the NaN select, for callers that know AValue is
// not NaN (a finite factor times a sample): the same result in fewer steps.
template <bool AMayBeNaN = true>
inline double RoundClamp(double AValue, double ALow, double AHigh)
{
#if defined(__clang__)
#pragma clang fp contract(off)
#endif
    constexpr double LMagic = 6755399441055744.0;
    AValue = (AValue + LMagic) - LMagic;
    if constexpr (AMayBeNaN)
        AValue = AValue == AValue ? AValue : 0.0;
    AValue = AValue > ALow ? AValue : ALow;
    return AValue < AHigh ? AValue : AHigh;
}

// NaN gives 0, then clamped to [ALow, AHigh]; the conversion to integer that
// follows truncates.
inline double TruncClamp(double AValue, double ALow, double AHigh)
{
    // Selects keep the loop free of branches. Adding 0 (which IEEE rules
    // forbid folding away) stops GCC from narrowing the comparisons of a
    // widened single back to single precision, a form it cannot vectorise.
    AValue = AValue + 0.0;
    AValue = AValue == AValue ? AValue : 0.0;
    AValue = AValue > ALow ? AValue : ALow;
    return AValue < AHigh ? AValue : AHigh;
}

template <class TAcc>
IppStatus ConvertToFloat(const typename TAcc::Elem* ASrc, int32_t ASrcStep, Ipp32f* ADst, int32_t ADstStep,
                         IppiSize ARoi)
{
    if (const IppStatus LStatus = CheckRegion(ASrc, ADst, ARoi, ASrcStep, ADstStep); LStatus != ippStsNoErr)
        return LStatus;
    ForEachRow(ASrc, ASrcStep, TAcc::Bytes, ADst, ADstStep, sizeof(Ipp32f), ARoi,
               [](const typename TAcc::Elem* ARowSrc, Ipp32f* ARowDst, std::ptrdiff_t ACount) {
                   for (std::ptrdiff_t i = 0; i < ACount; ++i)
                       ARowDst[i] = static_cast<Ipp32f>(TAcc::Load(ARowSrc, i));
               });
    return ippStsNoErr;
}

// ADst := saturate(round(ASrc * AFactor)) within [AMin, AMax].
template <class TAcc, int32_t AMin, int32_t AMax>
IppStatus ConvertFromFloat(const Ipp32f* ASrc, int32_t ASrcStep, typename TAcc::Elem* ADst, int32_t ADstStep,
                           IppiSize ARoi, IppRoundMode ARoundMode, double AFactor = 1.0)
{
    if (const IppStatus LStatus = CheckRegion(ASrc, ADst, ARoi, ASrcStep, ADstStep); LStatus != ippStsNoErr)
        return LStatus;
    const bool LNearest = ARoundMode == ippRndNear;
    ForEachRow(ASrc, ASrcStep, sizeof(Ipp32f), ADst, ADstStep, TAcc::Bytes, ARoi,
               [=](const Ipp32f* ARowSrc, typename TAcc::Elem* ARowDst, std::ptrdiff_t ACount) {
                   if (LNearest) {
                       for (std::ptrdiff_t i = 0; i < ACount; ++i)
                           TAcc::Store(ARowDst, i,
                                       static_cast<int32_t>(RoundClamp(double{ARowSrc[i]} * AFactor, AMin, AMax)));
                   } else {
                       for (std::ptrdiff_t i = 0; i < ACount; ++i)
                           TAcc::Store(ARowDst, i,
                                       static_cast<int32_t>(TruncClamp(double{ARowSrc[i]} * AFactor, AMin, AMax)));
                   }
               });
    return ippStsNoErr;
}

// ASum * 2^-AScale for AScale != 0, ties to even; the caller saturates.
inline int64_t ScaleSum(int64_t ASum, int32_t AScale)
{
    if (AScale > 0) {
        // |ASum| <= 2^33, so beyond 35 bits only zero can come out.
        if (AScale > 40)
            return 0;
        const int64_t LFloor = ASum >> AScale;
        const int64_t LRest = ASum - LFloor * (int64_t{1} << AScale);
        const int64_t LHalf = int64_t{1} << (AScale - 1);
        return LFloor + ((LRest > LHalf || (LRest == LHalf && (LFloor & 1) != 0)) ? 1 : 0);
    }
    // Anything beyond 2^31 saturates every width, so clamp before shifting to
    // keep the product inside 64 bits.
    constexpr int64_t LBig = int64_t{1} << 31;
    const int64_t LClamped = ASum < -LBig ? -LBig : (ASum > LBig ? LBig : ASum);
    const int32_t LShift = -AScale > 31 ? 31 : -AScale;
    return LClamped * (int64_t{1} << LShift);
}

// ASrcDst := saturate((ASrc + ASrcDst) * 2^-AScale). AOffset is the stored
// value of zero (128 for unsigned 8-bit): it is removed before the sum and put
// back after it.
template <class TAcc, int32_t AMin, int32_t AMax, int32_t AOffset = 0>
IppStatus AddInPlace(const typename TAcc::Elem* ASrc, int32_t ASrcStep, typename TAcc::Elem* ASrcDst,
                     int32_t ASrcDstStep, IppiSize ARoi, int32_t AScale)
{
    if (const IppStatus LStatus = CheckRegion(ASrc, ASrcDst, ARoi, ASrcStep, ASrcDstStep); LStatus != ippStsNoErr)
        return LStatus;
    // 32-bit sums need 33 bits; narrower ones stay in 32 so that they vectorise well.
    using TWide = std::conditional_t<(AMax > 0xFFFFFF), int64_t, int32_t>;
    constexpr TWide LLow = TWide{AMin} - AOffset;
    constexpr TWide LHigh = TWide{AMax} - AOffset;
    ForEachRow(ASrc, ASrcStep, TAcc::Bytes, ASrcDst, ASrcDstStep, TAcc::Bytes, ARoi,
               [=](const typename TAcc::Elem* ARowSrc, typename TAcc::Elem* ARowDst, std::ptrdiff_t ACount) {
                   if constexpr (std::is_same_v<TWide, int64_t>) {
                       if (AScale == 0) {
                           // Full 32-bit range: detect the overflow of the
                           // wrapped sum instead of widening, as SSE2 has no
                           // 64-bit compares.
                           static_assert(AMin == INT32_MIN && AMax == INT32_MAX && AOffset == 0);
                           for (std::ptrdiff_t i = 0; i < ACount; ++i) {
                               const auto a = static_cast<uint32_t>(TAcc::Load(ARowSrc, i));
                               const auto b = static_cast<uint32_t>(TAcc::Load(ARowDst, i));
                               const uint32_t LSum = a + b;
                               // All ones when a and b share a sign that the sum lost.
                               const uint32_t LOverflow =
                                   static_cast<uint32_t>(static_cast<int32_t>((a ^ LSum) & (b ^ LSum)) >> 31);
                               const uint32_t LLimit = (a >> 31) + 0x7FFFFFFFu;
                               TAcc::Store(ARowDst, i, static_cast<int32_t>((LSum & ~LOverflow) | (LLimit & LOverflow)));
                           }
                           return;
                       }
                   }
                   if (AScale == 0) {
                       for (std::ptrdiff_t i = 0; i < ACount; ++i) {
                           TWide v = TWide{TAcc::Load(ARowSrc, i)} - AOffset + TWide{TAcc::Load(ARowDst, i)} - AOffset;
                           v = v < LLow ? LLow : v;
                           v = v > LHigh ? LHigh : v;
                           TAcc::Store(ARowDst, i, static_cast<int32_t>(v + AOffset));
                       }
                   } else {
                       for (std::ptrdiff_t i = 0; i < ACount; ++i) {
                           int64_t v = ScaleSum(int64_t{TAcc::Load(ARowSrc, i)} - AOffset +
                                                    int64_t{TAcc::Load(ARowDst, i)} - AOffset,
                                                AScale);
                           v = v < LLow ? LLow : v;
                           v = v > LHigh ? LHigh : v;
                           TAcc::Store(ARowDst, i, static_cast<int32_t>(v + AOffset));
                       }
                   }
               });
    return ippStsNoErr;
}

template <class TAcc>
IppStatus SetValue(int32_t AValue, typename TAcc::Elem* ADst, int32_t ADstStep, IppiSize ARoi)
{
    if (const IppStatus LStatus = CheckRegion(ADst, ADst, ARoi, ADstStep, ADstStep); LStatus != ippStsNoErr)
        return LStatus;
    ForEachRow(ADst, ADstStep, TAcc::Bytes, ADst, ADstStep, TAcc::Bytes, ARoi,
               [=](typename TAcc::Elem* ARowDst, typename TAcc::Elem*, std::ptrdiff_t ACount) {
                   for (std::ptrdiff_t i = 0; i < ACount; ++i)
                       TAcc::Store(ARowDst, i, AValue);
               });
    return ippStsNoErr;
}

// Runs ARows(std::false_type) when AFactor is finite, else ARows(std::true_type):
// a sample is finite, so only a factor that is not can make a product NaN,
// and the rows may leave out RoundClamp's NaN select.
template <class F>
void ForFactor(double AFactor, F&& ARows)
{
    if (std::isfinite(AFactor))
        ARows(std::false_type{});
    else
        ARows(std::true_type{});
}

// ASrcDst := saturate(round((ASrcDst - AOffset) * AFactor) + AOffset) within
// [AMin, AMax], ties to even.
template <class TAcc, int32_t AMin, int32_t AMax, int32_t AOffset = 0>
IppStatus MultiplyInPlace(typename TAcc::Elem* ASrcDst, int32_t ASrcDstStep, IppiSize ARoi, double AFactor)
{
    if (const IppStatus LStatus = CheckRegion(ASrcDst, ASrcDst, ARoi, ASrcDstStep, ASrcDstStep); LStatus != ippStsNoErr)
        return LStatus;
    constexpr double LLow = double{AMin} - AOffset;
    constexpr double LHigh = double{AMax} - AOffset;
    const auto LRows = [&](auto AMayBeNaN) {
        ForEachRow(ASrcDst, ASrcDstStep, TAcc::Bytes, ASrcDst, ASrcDstStep, TAcc::Bytes, ARoi,
                   [=](typename TAcc::Elem* ARow, typename TAcc::Elem*, std::ptrdiff_t ACount) {
                       for (std::ptrdiff_t i = 0; i < ACount; ++i) {
                           const double v = RoundClamp<decltype(AMayBeNaN)::value>(
                               (static_cast<double>(TAcc::Load(ARow, i)) - AOffset) * AFactor, LLow, LHigh);
                           TAcc::Store(ARow, i, static_cast<int32_t>(v) + AOffset);
                       }
                   });
    };
    ForFactor(AFactor, LRows);
    return ippStsNoErr;
}

// ASrcDst := saturate(ASrcDst + saturate(round((ASrc - AOffset) * AFactor)))
// within [AMin, AMax]: MultiplyInPlace of ASrc followed by AddInPlace, in one
// pass. Every value past the rounding is an integer below 2^33, exact in double.
template <class TAcc, int32_t AMin, int32_t AMax, int32_t AOffset = 0>
IppStatus AddProductInPlace(const typename TAcc::Elem* ASrc, int32_t ASrcStep, typename TAcc::Elem* ASrcDst,
                            int32_t ASrcDstStep, IppiSize ARoi, double AFactor)
{
    if (const IppStatus LStatus = CheckRegion(ASrc, ASrcDst, ARoi, ASrcStep, ASrcDstStep); LStatus != ippStsNoErr)
        return LStatus;
    constexpr double LLow = double{AMin} - AOffset;
    constexpr double LHigh = double{AMax} - AOffset;
    const auto LRows = [&](auto AMayBeNaN) {
        ForEachRow(ASrc, ASrcStep, TAcc::Bytes, ASrcDst, ASrcDstStep, TAcc::Bytes, ARoi,
                   [=](const typename TAcc::Elem* ARowSrc, typename TAcc::Elem* ARowDst, std::ptrdiff_t ACount) {
                       for (std::ptrdiff_t i = 0; i < ACount; ++i) {
                           const double p = RoundClamp<decltype(AMayBeNaN)::value>(
                               (static_cast<double>(TAcc::Load(ARowSrc, i)) - AOffset) * AFactor, LLow, LHigh);
                           if constexpr (AMax <= 0xFFFFFF) {
                               // Both terms are integers within the width, so
                               // their sum fits 32 bits and is the exact sum
                               // that double arithmetic gives; integer lanes
                               // are twice as many per vector.
                               int32_t v = static_cast<int32_t>(p) + (TAcc::Load(ARowDst, i) - AOffset);
                               v = v > AMin - AOffset ? v : AMin - AOffset;
                               v = v < AMax - AOffset ? v : AMax - AOffset;
                               TAcc::Store(ARowDst, i, v + AOffset);
                           } else {
                               double v = p + (static_cast<double>(TAcc::Load(ARowDst, i)) - AOffset);
                               v = v > LLow ? v : LLow;
                               v = v < LHigh ? v : LHigh;
                               TAcc::Store(ARowDst, i, static_cast<int32_t>(v) + AOffset);
                           }
                       }
                   });
    };
    ForFactor(AFactor, LRows);
    return ippStsNoErr;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC pop_options
#endif

} // namespace SNKernelDetail

} // namespace Sonorix
