// SPDX-License-Identifier: MIT
// Region primitives for what the base dispatcher lacks: packed 24-bit samples,
// 32-bit conversions and adds, and in-place scaling by a real factor.
//
// Same region conventions as SNBasicDispatcher.h: roi.height rows of roi.width
// samples, byte steps per row, padding between rows untouched, status
// ippStsNullPtrErr / ippStsSizeErr / ippStsStepErr checked in that order before
// anything is written. A 24-bit sample is three little-endian bytes, signed;
// roi.width counts samples, steps count bytes. Everything saturates to the
// width's range; rounding is to nearest with ties to even unless a round mode
// says otherwise (any mode but ippRndNear truncates); NaN becomes 0.
//
//   // Halve the level of 100 frames of 24-bit stereo in place.
//   Sonorix::MultiplyByReal24sI(0.5, LBytes, 100 * 6, {2 * 100, 1});
#pragma once

#include "SNIppTypes.h"

#include <cstddef>
#include <cstdint>

namespace Sonorix {

// Three little-endian bytes at ASample, sign-extended: 0x800000 -> -8388608.
inline int32_t Convert24BitTo32Bit(const void* ASample)
{
    const auto* LBytes = static_cast<const uint8_t*>(ASample);
    const uint32_t LRaw = uint32_t{LBytes[0]} | (uint32_t{LBytes[1]} << 8) | (uint32_t{LBytes[2]} << 16);
    // Move bit 23 into the sign bit, then shift back arithmetically.
    return static_cast<int32_t>(LRaw << 8) >> 8;
}

// Writes the low three bytes of AValue to ASample (exactly three bytes; no
// saturation: callers limit AValue to -8388608..8388607 first).
inline void Convert32BitTo24Bit(int32_t AValue, void* ASample)
{
    auto* LBytes = static_cast<uint8_t*>(ASample);
    const auto LRaw = static_cast<uint32_t>(AValue);
    LBytes[0] = static_cast<uint8_t>(LRaw);
    LBytes[1] = static_cast<uint8_t>(LRaw >> 8);
    LBytes[2] = static_cast<uint8_t>(LRaw >> 16);
}

// Packed signed 24-bit samples to float (exact).
IppStatus ippiConvert_24s32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi);
// Signed 32-bit samples to float (nearest float; exact below 2^24).
IppStatus ippiConvert_32s32f_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep, IppiSize roi);
// Float to packed 24-bit, saturated to -8388608..8388607.
IppStatus ippiConvert_32f24s_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep, IppiSize roi,
                                 IppRoundMode roundMode = ippRndNear);
// Float to 32-bit: x * 2^-scaleFactor, rounded per roundMode, saturated to the
// int32 range.
IppStatus ippiConvert_32f32s_C1RSfs(const Ipp32f* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep, IppiSize roi,
                                    IppRoundMode roundMode, int32_t scaleFactor);

// pSrcDst := saturate((pSrc + pSrcDst) * 2^-scaleFactor); a positive scale
// factor rounds to nearest, ties to even, a negative one multiplies.
IppStatus ippiAdd_8s_C1IRSfs(const Ipp8s* pSrc, int32_t srcStep, Ipp8s* pSrcDst, int32_t srcDstStep, IppiSize roi,
                             int32_t scaleFactor);
IppStatus ippiAdd_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi,
                              int32_t scaleFactor);
IppStatus ippiAdd_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep, IppiSize roi,
                              int32_t scaleFactor);

// Unsigned 8-bit samples with 128 as zero (the audio buffer's 8-bit format):
// pSrcDst := clamp(pSrc + pSrcDst - 128, 0, 255).
IppStatus AddOffset8uI(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi);

// Every 24-bit sample of the region := value, saturated to -8388608..8388607.
IppStatus ippiSet_24s_C1R(Ipp32s value, Ipp8u* pDst, int32_t dstStep, IppiSize roi);

// Every sample of the region multiplied in place by value, rounded to nearest
// (ties to even) and saturated to the width's range. The 8-bit form works on
// unsigned samples with 128 as zero: x := clamp(round((x - 128) * value) + 128, 0, 255).
IppStatus MultiplyByReal8uI(double value, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi);
IppStatus MultiplyByReal16sI(double value, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roi);
IppStatus MultiplyByReal24sI(double value, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roi);
IppStatus MultiplyByReal32sI(double value, Ipp32s* pSrcDst, int32_t srcDstStep, IppiSize roi);

// pSrcDst := saturate(pSrcDst + pSrc multiplied by value as above), the same
// bits as MultiplyByReal of a copy of pSrc followed by the saturating add.
IppStatus AddProductOfReal8uI(double value, const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                              IppiSize roi);
IppStatus AddProductOfReal16sI(double value, const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst, int32_t srcDstStep,
                               IppiSize roi);
IppStatus AddProductOfReal24sI(double value, const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                               IppiSize roi);
IppStatus AddProductOfReal32sI(double value, const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                               IppiSize roi);

// count packed samples of srcBits to dstBits (8, 16, 24 or 32; 8-bit samples
// unsigned with 128 as zero): widening shifts left (16-bit 1 -> 24-bit 256),
// narrowing shifts right arithmetically, rounding toward minus infinity.
// Front to back, so pDst may equal pSrc only when it is not wider.
// ippStsRangeErr for another width.
IppStatus ConvertSampleWidth(const Ipp8u* pSrc, int srcBits, Ipp8u* pDst, int dstBits, std::ptrdiff_t count);

// The buffer kernels above and the adds and fills of SNBasicDispatcher.h run
// a build for AVX2 where the CPU has it, bit-identical to the portable one.
// false makes them take the portable build (for comparing the two); any
// thread, effective from the next call.
void SNUseVectorKernels(bool AEnabled);

} // namespace Sonorix
