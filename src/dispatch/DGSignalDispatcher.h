// SPDX-License-Identifier: MIT
// Vector functions of the sibling library that the analysers call: products
// and means of floats, complex magnitudes, moves, polar conversion, scalar
// arithmetic in place, byte copies and the forward real FFT.
//
// IPP contracts: a null pointer gives ippStsNullPtrErr, a length below 1
// ippStsSizeErr, both checked before anything is written. Lengths are int32.
//
//   Sonorix::IppsFFTSpec_R_64f* LSpec = nullptr;
//   Sonorix::ippsFFTInitAlloc_R_64f(&LSpec, 8, IPP_FFT_DIV_FWD_BY_N, Sonorix::ippAlgHintAccurate);
//   Sonorix::ippsFFTFwd_RToCCS_64f(LWindow, LCcs, LSpec, nullptr);   // 256 in, 129 complex out
//   Sonorix::ippsFFTFree_R_64f(LSpec);
#pragma once

#include "SNIppTypes.h"

#include <cstdint>

namespace Sonorix {

// pDst[i] := pSrc1[i] * pSrc2[i].
IppStatus ippsMul_32f(const Ipp32f* pSrc1, const Ipp32f* pSrc2, Ipp32f* pDst, int32_t len);
// *pMean := the mean of len floats. ippAlgHintAccurate sums in double
// precision; any other hint sums in single precision.
IppStatus ippsMean_32f(const Ipp32f* pSrc, int32_t len, Ipp32f* pMean, IppHintAlgorithm hint);

// pDst[i] := sqrt(re^2 + im^2) of pSrc[i], without intermediate overflow.
IppStatus ippsMagnitude_64fc(const Ipp64fc* pSrc, Ipp64f* pDst, int32_t len);
// Copies len doubles; the two ranges may overlap (as memmove).
IppStatus ippsMove_64f(const Ipp64f* pSrc, Ipp64f* pDst, int32_t len);
// Magnitude hypot(re, im) and phase atan2(im, re) in -pi .. pi.
IppStatus ippsCartToPolar_64f(const Ipp64f* pSrcRe, const Ipp64f* pSrcIm, Ipp64f* pDstMagn, Ipp64f* pDstPhase,
                              int32_t len);
// re := magn cos(phase), im := magn sin(phase). The outputs may be the inputs.
IppStatus ippsPolarToCart_64f(const Ipp64f* pSrcMagn, const Ipp64f* pSrcPhase, Ipp64f* pDstRe, Ipp64f* pDstIm,
                              int32_t len);
// pSrcDst[i] /= val; val = 0 gives ippStsDivByZeroErr and writes nothing.
IppStatus ippsDivC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int32_t len);
// pSrcDst[i] += val.
IppStatus ippsAddC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int32_t len);
// Copies len bytes (ranges must not overlap).
IppStatus ippsCopy_8u(const Ipp8u* pSrc, Ipp8u* pDst, int32_t len);

// --- Forward real FFT ------------------------------------------------------------

// Scaling flags of the FFT.
constexpr int32_t IPP_FFT_DIV_FWD_BY_N = 1;
constexpr int32_t IPP_FFT_DIV_INV_BY_N = 2;
constexpr int32_t IPP_FFT_DIV_BY_SQRTN = 4;
constexpr int32_t IPP_FFT_NODIV_BY_ANY = 8;

// The prepared transform of one length: made once per stream, used by one
// thread at a time.
struct IppsFFTSpec_R_64f;

// Prepares a forward real FFT of 2^order points, order 1 .. 30 (else
// ippStsFftOrderErr), flag one of the four above (else ippStsFftFlagErr);
// ippStsMemAllocErr when the memory cannot be had. The hint is accepted and
// ignored: every transform is computed in double precision.
IppStatus ippsFFTInitAlloc_R_64f(IppsFFTSpec_R_64f** ppFFTSpec, int32_t order, int32_t flag, IppHintAlgorithm hint);
// Transforms 2^order doubles into the CCS layout: 2^(order-1) + 1 complex
// values (2^order + 2 doubles), bin 0 first, the imaginary parts of bins 0
// and N/2 zero. pSrc and pDst may be the same memory. pBuffer is unused
// (the FFT state holds its own work memory) and may be null.
IppStatus ippsFFTFwd_RToCCS_64f(const Ipp64f* pSrc, Ipp64f* pDst, const IppsFFTSpec_R_64f* pFFTSpec, Ipp8u* pBuffer);
// Number of points of a prepared transform (0 for null).
int32_t FFTLength_R_64f(const IppsFFTSpec_R_64f* pFFTSpec);
// Releases an FFT state; null gives ippStsNullPtrErr.
IppStatus ippsFFTFree_R_64f(IppsFFTSpec_R_64f* pFFTSpec);

} // namespace Sonorix
