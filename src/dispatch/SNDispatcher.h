// SPDX-License-Identifier: MIT
// The vector-primitive table: one process-wide function pointer per primitive,
// named and typed after the IPP function whose contract it follows. At load
// each pointer is bound to that IPP export when an IPP library on the machine
// provides it, otherwise it keeps the portable kernel `_px_<name>` declared
// below. Callers always go through the pointer and never learn which one they
// got; the portable kernels return the same status codes, check in the same
// order, write nothing when a check fails, and leave the same phase, seed and
// filter state behind.
//
// Before the library's static initialisers have run every pointer already holds
// its portable kernel, so calling an entry is always safe.
//
//   float LPhase = 0.0f;
//   Sonorix::Ipp16s LBlock[512];
//   Sonorix::ippsTone_Direct_16s(LBlock, 512, 16000, 1000.0f / 44100, &LPhase, Sonorix::ippAlgHintNone);
#pragma once

#include "SNIppTypes.h"

#include <cstdint>

namespace Sonorix {

// ---------------------------------------------------------------- filter states
//
// The portable kernels recognise a state by the tag in its first 32-bit word.
// On 64-bit Linux the pointers take 8 bytes, so the fields keep the order of
// the original 32-bit records but not their byte offsets; the offsets below
// are the ones that hold here and are checked by static_assert.

constexpr uint32_t SNFIRState64fTag = 0x46493133;      // FIRState_64f
constexpr uint32_t SNIIRState64fTag = 0x49493133;      // IIRState_64f, arbitrary order
constexpr uint32_t SNIIRState64fBiQuadTag = 0x49493134; // IIRState_64f, biquad cascade
constexpr uint32_t SNIIRState32fTag = 0x49493031;      // IIRState_32f, arbitrary order
constexpr uint32_t SNIIRState32fBiQuadTag = 0x49493032; // IIRState_32f, biquad cascade

// One-sample FIR state, built by the 64-bit FIR initialiser of the filter
// library (not by this unit) and read by ippsFIROne_64f.
//   taps:     tapsLen doubles, stored reversed (taps[0] meets the oldest sample)
//   dlyLine:  2 x tapsLen doubles (every input is written twice, so that the
//             window delay[index .. index + tapsLen - 1] is always contiguous)
//   dlyIndex: 0 .. tapsLen-1, where the next input goes
struct FIRState_64f {
    uint32_t tag;      // offset 0: SNFIRState64fTag
    uint32_t reserved; // offset 4: 0
    Ipp64f* taps;      // offset 8
    Ipp64f* dlyLine;   // offset 16
    int32_t tapsLen;   // offset 24: at least 1
    int32_t dlyIndex;  // offset 28
};
static_assert(sizeof(FIRState_64f) == 32);

// One-sample IIR state, built by the 64-bit IIR initialisers of the filter
// library and read by ippsIIROne_64f.
//   tag SNIIRState64fTag, order N >= 0: taps b0..bN, a1..aN (2N+1 doubles,
//     already divided by a0); dlyLine N+1 doubles, the last always 0.
//   tag SNIIRState64fBiQuadTag, order = number of stages >= 1: taps
//     b0, b1, b2, a1, a2 per stage (divided by that stage's a0); dlyLine two
//     doubles per stage.
struct IIRState_64f {
    uint32_t tag;      // offset 0
    uint32_t reserved; // offset 4: 0
    Ipp64f* taps;      // offset 8
    Ipp64f* dlyLine;   // offset 16
    int32_t order;     // offset 24: order, or number of biquads for a cascade
    int32_t reserved2; // offset 28: 0
};
static_assert(sizeof(IIRState_64f) == 32);

// Single-precision IIR state, created by ippsIIRInitAlloc_32f (arbitrary
// order, in its own aligned block) or ippsIIRInit_BiQuad_32f (cascade, in the
// caller's buffer). The 48-byte header is followed by the taps; the delay line
// starts at the next 16-byte boundary after them.
//   arbitrary order N: 2N+1 taps b0..bN, a1..aN divided by a0; N+1 delay
//     values, the last always 0; order = N, numBq = 0.
//   cascade: 5 taps per stage (b0, b1, b2, a1, a2 divided by a0) and 2 delay
//     values per stage; order = 2 x numBq.
// Only the portable kernels read this layout: a state made by an IPP export is
// IPP's own, and the two families are never mixed (see SNDispatcherInit).
struct IIRState_32f {
    uint32_t tag;         // offset 0
    uint32_t reserved;    // offset 4: 0
    Ipp32f* taps;         // offset 8
    Ipp32f* dlyLine;      // offset 16
    int32_t order;        // offset 24: N, or the delay-line length 2 x numBq
    int32_t numBq;        // offset 28: number of stages, 0 for arbitrary order
    int32_t owned;        // offset 32: 1 when ippsIIRInitAlloc_32f allocated it
    uint8_t padding[12];  // offset 36
};
static_assert(sizeof(IIRState_32f) == 48);

// ---------------------------------------------------------------- entry types
//
// IPP's own C signatures, so that an export found by dlsym and a portable
// kernel are interchangeable. Lengths are `int` (32 bits on Linux).

using TPtr_ippsAdd_16s_I = IppStatus (*)(const Ipp16s* pSrc, Ipp16s* pSrcDst, int len);
using TPtr_ippsConjCcs_64fc_I = IppStatus (*)(Ipp64fc* pSrcDst, int lenDst);
using TPtr_ippsFIROne_64f = IppStatus (*)(Ipp64f src, Ipp64f* pDstVal, FIRState_64f* pState);
using TPtr_ippsIIROne_64f = IppStatus (*)(Ipp64f src, Ipp64f* pDstVal, IIRState_64f* pState);
using TPtr_ippsRandUniform_Direct_16s = IppStatus (*)(Ipp16s* pDst, int len, Ipp16s low, Ipp16s high,
                                                      unsigned int* pSeed);
using TPtr_ippsRandGauss_Direct_16s = IppStatus (*)(Ipp16s* pDst, int len, Ipp16s mean, Ipp16s stdDev,
                                                    unsigned int* pSeed);
using TPtr_ippsThreshold_LTValGTVal_16s_I = IppStatus (*)(Ipp16s* pSrcDst, int len, Ipp16s levelLT, Ipp16s valueLT,
                                                          Ipp16s levelGT, Ipp16s valueGT);
using TPtr_ippsTone_Direct_16s = IppStatus (*)(Ipp16s* pDst, int len, Ipp16s magn, float rFreq, float* pPhase,
                                               IppHintAlgorithm hint);
using TPtr_ippsTriangle_Direct_16s = IppStatus (*)(Ipp16s* pDst, int len, Ipp16s magn, float rFreq, float asym,
                                                   float* pPhase);
using TPtr_ippsSum_32f = IppStatus (*)(const Ipp32f* pSrc, int len, Ipp32f* pSum, IppHintAlgorithm hint);
using TPtr_ippsSqr_32f_I = IppStatus (*)(Ipp32f* pSrcDst, int len);
using TPtr_ippiConvert_16s32f_C1R = IppStatus (*)(const Ipp16s* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                                  IppiSize roiSize);
using TPtr_ippiConvert_8s32f_C1R = IppStatus (*)(const Ipp8s* pSrc, int srcStep, Ipp32f* pDst, int dstStep,
                                                 IppiSize roiSize);
using TPtr_ippiConvert_32f16s_C1R = IppStatus (*)(const Ipp32f* pSrc, int srcStep, Ipp16s* pDst, int dstStep,
                                                  IppiSize roiSize, IppRoundMode roundMode);
using TPtr_ippiConvert_32f8s_C1R = IppStatus (*)(const Ipp32f* pSrc, int srcStep, Ipp8s* pDst, int dstStep,
                                                 IppiSize roiSize, IppRoundMode roundMode);
using TPtr_ippsIIRFree_32f = IppStatus (*)(IIRState_32f* pState);
using TPtr_ippsIIRInitAlloc_32f = IppStatus (*)(IIRState_32f** ppState, const Ipp32f* pTaps, int order,
                                                const Ipp32f* pDlyLine);
using TPtr_ippsIIR_32f = IppStatus (*)(const Ipp32f* pSrc, Ipp32f* pDst, int len, IIRState_32f* pState);
using TPtr_ippsIIR_32f_I = IppStatus (*)(Ipp32f* pSrcDst, int len, IIRState_32f* pState);
using TPtr_ippsMulC_32f = IppStatus (*)(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len);
using TPtr_ippsDivC_32f_I = IppStatus (*)(Ipp32f val, Ipp32f* pSrcDst, int len);
using TPtr_ippsIIRInit_BiQuad_32f = IppStatus (*)(IIRState_32f** ppState, const Ipp32f* pTaps, int numBq,
                                                  const Ipp32f* pDlyLine, Ipp8u* pBuf);
using TPtr_ippsIIRGetStateSize_BiQuad_32f = IppStatus (*)(int numBq, int* pBufferSize);
using TPtr_ippsSampleDown_32f = IppStatus (*)(const Ipp32f* pSrc, int srcLen, Ipp32f* pDst, int* pDstLen, int factor,
                                              int* pPhase);
using TPtr_ippsPeriodicityLSPE_32f = IppStatus (*)(const Ipp32f* pSrc, int len, Ipp32f* pPeriodicity, int* pPeriod,
                                                   int maxPeriod, int minPeriod);
using TPtr_ippsCompensateOffset_32f_I = IppStatus (*)(Ipp32f* pSrcDst, int len, Ipp32f* pSrcDst0, Ipp32f dst,
                                                      Ipp32f val);

// ---------------------------------------------------------------- the table

extern TPtr_ippsAdd_16s_I ippsAdd_16s_I;
extern TPtr_ippsConjCcs_64fc_I ippsConjCcs_64fc_I;
extern TPtr_ippsFIROne_64f ippsFIROne_64f;
extern TPtr_ippsIIROne_64f ippsIIROne_64f;
extern TPtr_ippsRandUniform_Direct_16s ippsRandUniform_Direct_16s;
extern TPtr_ippsRandGauss_Direct_16s ippsRandGauss_Direct_16s;
extern TPtr_ippsThreshold_LTValGTVal_16s_I ippsThreshold_LTValGTVal_16s_I;
extern TPtr_ippsTone_Direct_16s ippsTone_Direct_16s;
extern TPtr_ippsTriangle_Direct_16s ippsTriangle_Direct_16s;
extern TPtr_ippsSum_32f ippsSum_32f;
extern TPtr_ippsSqr_32f_I ippsSqr_32f_I;
extern TPtr_ippiConvert_16s32f_C1R ippiConvert_16s32f_C1R;
extern TPtr_ippiConvert_8s32f_C1R ippiConvert_8s32f_C1R;
extern TPtr_ippiConvert_32f16s_C1R ippiConvert_32f16s_C1R;
extern TPtr_ippiConvert_32f8s_C1R ippiConvert_32f8s_C1R;
extern TPtr_ippsIIRFree_32f ippsIIRFree_32f;
extern TPtr_ippsIIRInitAlloc_32f ippsIIRInitAlloc_32f;
extern TPtr_ippsIIR_32f ippsIIR_32f;
extern TPtr_ippsIIR_32f_I ippsIIR_32f_I;
extern TPtr_ippsMulC_32f ippsMulC_32f;
extern TPtr_ippsDivC_32f_I ippsDivC_32f_I;
extern TPtr_ippsIIRInit_BiQuad_32f ippsIIRInit_BiQuad_32f;
extern TPtr_ippsIIRGetStateSize_BiQuad_32f ippsIIRGetStateSize_BiQuad_32f;
extern TPtr_ippsSampleDown_32f ippsSampleDown_32f;
extern TPtr_ippsPeriodicityLSPE_32f ippsPeriodicityLSPE_32f;
extern TPtr_ippsCompensateOffset_32f_I ippsCompensateOffset_32f_I;

// Binds the table (once per process; later calls return at once). The
// library's static initialiser calls it, so callers need to only when they
// run before it, e.g. from another library's static initialiser.
//
// Binding rules: signal entries are looked up in the first IPP signal library
// that loads, image entries in the first image library (file names in
// docs/architecture.md). Entries are bound in groups, and a group takes the
// library's exports only when all of its names resolve there:
//   - each stateless entry is a group of its own;
//   - the six 32-bit IIR entries (InitAlloc, Init_BiQuad, GetStateSize,
//     IIR, IIR_I, Free) form one group, because a state made by one family
//     must never reach the other;
//   - ippsFIROne_64f and ippsIIROne_64f read states made by the filter
//     library's creators, so each is bound only when the same library also
//     exports those creators (ippsFIRInitAlloc_64f and ippsFIRFree_64f;
//     ippsIIRInitAlloc_64f, ippsIIRInitAlloc_BiQuad_64f and ippsIIRFree_64f).
//     A creator must use SNDispatcherSignalProc() for its own binding
//     exactly when ippsFIROne_64f (ippsIIROne_64f) is not the portable kernel.
void SNDispatcherInit();

// The export of that name in the IPP signal (image) library that the table
// was bound from, or null when no such library was found or it lacks the
// name. Binds the table first.
void* SNDispatcherSignalProc(const char* AName);
void* SNDispatcherImageProc(const char* AName);

// True when the entry of that name holds its portable kernel (also true for
// names that are not entries).
bool SNDispatcherIsPortable(const char* AName);

// ---------------------------------------------------------------- portable only

// Square wave: dst[n] = -magn while the normalised phase is below
// asym / 2 + 0.5, else +magn. rfreq in cycles per sample, asym in -1 .. 1,
// phase in radians, advanced and stored back. Checks no argument beyond null
// pointers (a null dst or len <= 0 writes no sample) and returns ippStsNoErr.
IppStatus ippsSquare_Direct_16s(Ipp16s* dst, int len, Ipp16s magn, float rfreq, float asym, float* phase);

// A block of len bytes aligned to 32 bytes, or null when len < 1 or the heap
// fails. Release with _ippFree (null is ignored).
void* _ippMalloc(int len);
void _ippFree(void* p);

// ---------------------------------------------------------------- portable kernels

IppStatus _px_ippsAdd_16s_I(const Ipp16s* pSrc, Ipp16s* pSrcDst, int len);
IppStatus _px_ippsConjCcs_64fc_I(Ipp64fc* pSrcDst, int lenDst);
IppStatus _px_ippsFIROne_64f(Ipp64f src, Ipp64f* pDstVal, FIRState_64f* pState);
IppStatus _px_ippsIIROne_64f(Ipp64f src, Ipp64f* pDstVal, IIRState_64f* pState);
IppStatus _px_ippsRandUniform_Direct_16s(Ipp16s* pDst, int len, Ipp16s low, Ipp16s high, unsigned int* pSeed);
IppStatus _px_ippsRandGauss_Direct_16s(Ipp16s* pDst, int len, Ipp16s mean, Ipp16s stdDev, unsigned int* pSeed);
IppStatus _px_ippsThreshold_LTValGTVal_16s_I(Ipp16s* pSrcDst, int len, Ipp16s levelLT, Ipp16s valueLT, Ipp16s levelGT,
                                             Ipp16s valueGT);
IppStatus _px_ippsTone_Direct_16s(Ipp16s* pDst, int len, Ipp16s magn, float rFreq, float* pPhase,
                                  IppHintAlgorithm hint);
IppStatus _px_ippsTriangle_Direct_16s(Ipp16s* pDst, int len, Ipp16s magn, float rFreq, float asym, float* pPhase);
IppStatus _px_ippsSum_32f(const Ipp32f* pSrc, int len, Ipp32f* pSum, IppHintAlgorithm hint);
IppStatus _px_ippsSqr_32f_I(Ipp32f* pSrcDst, int len);
IppStatus _px_ippiConvert_16s32f_C1R(const Ipp16s* pSrc, int srcStep, Ipp32f* pDst, int dstStep, IppiSize roiSize);
IppStatus _px_ippiConvert_8s32f_C1R(const Ipp8s* pSrc, int srcStep, Ipp32f* pDst, int dstStep, IppiSize roiSize);
IppStatus _px_ippiConvert_32f16s_C1R(const Ipp32f* pSrc, int srcStep, Ipp16s* pDst, int dstStep, IppiSize roiSize,
                                     IppRoundMode roundMode);
IppStatus _px_ippiConvert_32f8s_C1R(const Ipp32f* pSrc, int srcStep, Ipp8s* pDst, int dstStep, IppiSize roiSize,
                                    IppRoundMode roundMode);
IppStatus _px_ippsIIRFree_32f(IIRState_32f* pState);
IppStatus _px_ippsIIRInitAlloc_32f(IIRState_32f** ppState, const Ipp32f* pTaps, int order, const Ipp32f* pDlyLine);
IppStatus _px_ippsIIR_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len, IIRState_32f* pState);
IppStatus _px_ippsIIR_32f_I(Ipp32f* pSrcDst, int len, IIRState_32f* pState);
IppStatus _px_ippsMulC_32f(const Ipp32f* pSrc, Ipp32f val, Ipp32f* pDst, int len);
IppStatus _px_ippsDivC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len);
IppStatus _px_ippsIIRInit_BiQuad_32f(IIRState_32f** ppState, const Ipp32f* pTaps, int numBq, const Ipp32f* pDlyLine,
                                     Ipp8u* pBuf);
IppStatus _px_ippsIIRGetStateSize_BiQuad_32f(int numBq, int* pBufferSize);
IppStatus _px_ippsSampleDown_32f(const Ipp32f* pSrc, int srcLen, Ipp32f* pDst, int* pDstLen, int factor, int* pPhase);
IppStatus _px_ippsPeriodicityLSPE_32f(const Ipp32f* pSrc, int len, Ipp32f* pPeriodicity, int* pPeriod, int maxPeriod,
                                      int minPeriod);
IppStatus _px_ippsCompensateOffset_32f_I(Ipp32f* pSrcDst, int len, Ipp32f* pSrcDst0, Ipp32f dst, Ipp32f val);

} // namespace Sonorix
