// SPDX-License-Identifier: MIT
// The filter library's creators of the 64-bit one-sample FIR and IIR states
// that ippsFIROne_64f and ippsIIROne_64f (SNDispatcher.h) run, their free
// functions, a few double-precision vector helpers, and a block form of the
// FIR that gives bit for bit what the one-sample form gives.
//
// Status codes and checks follow the IPP functions of the same names:
// ippStsNullPtrErr for a null pointer, ippStsSizeErr for a length below 1,
// ippStsIIROrderErr for a negative order or fewer than one biquad,
// ippStsDivByZeroErr for a0 = 0 (or b0 = 0 in a biquad), ippStsMemAllocErr
// when the state does not fit, ippStsContextMatchErr for a state of another
// kind. Nothing is written when a check fails.
//
//   FIRState_64f* LState = nullptr;
//   Sonorix::ippsFIRInitAlloc_64f(&LState, LTaps.data(), int(LTaps.size()), nullptr);
//   double y;
//   Sonorix::ippsFIROne_64f(x, &y, LState);
//   Sonorix::ippsFIRFree_64f(LState);
#pragma once

#include "SNDispatcher.h"

namespace Sonorix {

// A FIR state over tapsLen taps h[0] .. h[tapsLen-1] (h[0] meets the newest
// input): stored reversed, delay line of 2 x tapsLen doubles, index 0.
// pDlyLine, when not null, holds tapsLen past inputs, the newest first (the
// oldest leaves with the next input); otherwise the history is zero.
IppStatus ippsFIRInitAlloc_64f(FIRState_64f** ppState, const Ipp64f* pTaps, int tapsLen, const Ipp64f* pDlyLine);
IppStatus ippsFIRFree_64f(FIRState_64f* pState);

// An arbitrary-order IIR state from 2 x (order + 1) taps b0..bN, a0..aN,
// stored divided by a0; pDlyLine, when not null, gives the order delay values.
IppStatus ippsIIRInitAlloc_64f(IIRState_64f** ppState, const Ipp64f* pTaps, int order, const Ipp64f* pDlyLine);
// A cascade of numBq biquads from six taps per section, b0, b1, b2, a0, a1,
// a2, stored as b0, b1, b2, a1, a2 divided by a0; pDlyLine, when not null,
// gives two delay values per section.
IppStatus ippsIIRInitAlloc_BiQuad_64f(IIRState_64f** ppState, const Ipp64f* pTaps, int numBq,
                                      const Ipp64f* pDlyLine);
IppStatus ippsIIRFree_64f(IIRState_64f* pState);

// pSrcDst[i] := pSrcDst[i] * val.
IppStatus ippsMulC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len);
// pDst[i] := pSrc[i].
IppStatus ippsCopy_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len);
// pSrcDst[i] := pSrcDst[i] + pSrc[i].
IppStatus ippsAdd_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len);

// numIters samples through a state made by ippsFIRInitAlloc_64f: the same
// outputs and the same state afterwards as numIters calls of the portable
// ippsFIROne_64f, computed several outputs at a time. pDst may be pSrc.
IppStatus ippsFIR_64f(const Ipp64f* pSrc, Ipp64f* pDst, int numIters, FIRState_64f* pState);

} // namespace Sonorix
