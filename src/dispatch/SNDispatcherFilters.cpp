// SPDX-License-Identifier: MIT
// Portable filter kernels of the vector-primitive table (one-sample FIR and
// IIR over 64-bit states, the 32-bit IIR family) and the aligned allocator.
#include "SNDispatcher.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace Sonorix {

namespace {

constexpr size_t CAlignment = 32;

constexpr int64_t Align16(int64_t ABytes)
{
    return (ABytes + 15) & ~int64_t{15};
}

template <class T>
T* AlignUp(void* APointer, size_t AAlignment)
{
    const auto LAddress = reinterpret_cast<uintptr_t>(APointer);
    return reinterpret_cast<T*>((LAddress + AAlignment - 1) & ~uintptr_t(AAlignment - 1));
}

bool ValidFIRState(const FIRState_64f* AState)
{
    return AState->tag == SNFIRState64fTag && AState->taps != nullptr && AState->dlyLine != nullptr &&
           AState->tapsLen >= 1 && AState->dlyIndex >= 0 && AState->dlyIndex < AState->tapsLen;
}

// Transposed direct form II over 2N+1 taps b0..bN, a1..aN; d[N] stays 0.
// TDelay is double for the 64-bit state and float for the 32-bit one, which
// keeps its delay line in single precision between samples.
template <class TTap, class TDelay>
inline double RunArbitraryOrder(double x, const TTap* t, TDelay* d, int N)
{
    if (N == 0)
        return t[0] * x;
    const double y = t[0] * x + d[0];
    for (int i = 0; i < N - 1; ++i)
        d[i] = static_cast<TDelay>(t[i + 1] * x - t[N + 1 + i] * y + d[i + 1]);
    // d[N] is always 0: not read, so a creator's delay line may end at d[N-1].
    d[N - 1] = static_cast<TDelay>(t[N] * x - t[2 * N] * y + 0.0);
    return y;
}

// Cascade of stages with taps (b0, b1, b2, a1, a2) and delays (d0, d1); each
// stage's output feeds the next stage in double precision.
template <class TTap, class TDelay>
inline double RunBiQuads(double x, const TTap* t, TDelay* d, int ANumBq)
{
    for (int k = 0; k < ANumBq; ++k, t += 5, d += 2) {
        const double y = t[0] * x + d[0];
        d[0] = static_cast<TDelay>(t[1] * x + d[1] - t[3] * y);
        d[1] = static_cast<TDelay>(t[2] * x - t[4] * y);
        x = y;
    }
    return x;
}

bool ValidIIRState(const IIRState_32f* AState)
{
    if (AState->taps == nullptr || AState->dlyLine == nullptr)
        return false;
    if (AState->tag == SNIIRState32fTag)
        return AState->order >= 0;
    if (AState->tag == SNIIRState32fBiQuadTag)
        return AState->numBq >= 1;
    return false;
}

} // namespace

// ---------------------------------------------------------------- aligned memory

void* _ippMalloc(int len)
{
    if (len < 1)
        return nullptr;
    // Room for the raw pointer in front of the aligned block and for the
    // alignment itself.
    void* LRaw = std::malloc(static_cast<size_t>(len) + CAlignment + sizeof(void*));
    if (LRaw == nullptr)
        return nullptr;
    auto* LAligned = AlignUp<uint8_t>(static_cast<uint8_t*>(LRaw) + sizeof(void*), CAlignment);
    std::memcpy(LAligned - sizeof(void*), &LRaw, sizeof(void*));
    return LAligned;
}

void _ippFree(void* p)
{
    if (p == nullptr)
        return;
    void* LRaw;
    std::memcpy(&LRaw, static_cast<uint8_t*>(p) - sizeof(void*), sizeof(void*));
    std::free(LRaw);
}

// ---------------------------------------------------------------- 64-bit one-sample filters

IppStatus _px_ippsFIROne_64f(Ipp64f src, Ipp64f* pDstVal, FIRState_64f* pState)
{
    if (pState == nullptr || pDstVal == nullptr)
        return ippStsNullPtrErr;
    if (!ValidFIRState(pState))
        return ippStsContextMatchErr;
    const int n = pState->tapsLen;
    int k = pState->dlyIndex;
    Ipp64f* LDelay = pState->dlyLine;
    LDelay[k] = src;
    LDelay[k + n] = src;
    if (++k == n)
        k = 0;
    pState->dlyIndex = k;
    // In order of j: the sum's rounding is part of the result.
    const Ipp64f* LTaps = pState->taps;
    const Ipp64f* LWindow = LDelay + k;
    double LSum = 0.0;
    for (int j = 0; j < n; ++j)
        LSum += LTaps[j] * LWindow[j];
    *pDstVal = LSum;
    return ippStsNoErr;
}

IppStatus _px_ippsIIROne_64f(Ipp64f src, Ipp64f* pDstVal, IIRState_64f* pState)
{
    if (pState == nullptr || pDstVal == nullptr)
        return ippStsNullPtrErr;
    if (pState->taps == nullptr || pState->dlyLine == nullptr)
        return ippStsContextMatchErr;
    if (pState->tag == SNIIRState64fTag && pState->order >= 0) {
        *pDstVal = RunArbitraryOrder(src, pState->taps, pState->dlyLine, pState->order);
        return ippStsNoErr;
    }
    if (pState->tag == SNIIRState64fBiQuadTag && pState->order >= 1) {
        *pDstVal = RunBiQuads(src, pState->taps, pState->dlyLine, pState->order);
        return ippStsNoErr;
    }
    return ippStsContextMatchErr;
}

// ---------------------------------------------------------------- 32-bit IIR family

IppStatus _px_ippsIIRInitAlloc_32f(IIRState_32f** ppState, const Ipp32f* pTaps, int order, const Ipp32f* pDlyLine)
{
    if (ppState == nullptr || pTaps == nullptr)
        return ippStsNullPtrErr;
    if (order < 0)
        return ippStsIIROrderErr;
    const int64_t N = order;
    const int64_t LTapBytes = Align16((2 * N + 1) * int64_t{sizeof(Ipp32f)});
    const int64_t LBytes = int64_t{sizeof(IIRState_32f)} + LTapBytes + (N + 1) * int64_t{sizeof(Ipp32f)};
    if (LBytes > INT32_MAX)
        return ippStsMemAllocErr;
    auto* LBlock = static_cast<uint8_t*>(_ippMalloc(static_cast<int>(LBytes)));
    if (LBlock == nullptr)
        return ippStsMemAllocErr;
    const double a0 = pTaps[N + 1];
    if (a0 == 0.0) {
        _ippFree(LBlock);
        return ippStsDivByZeroErr;
    }
    auto* LState = new (LBlock) IIRState_32f{};
    LState->tag = SNIIRState32fTag;
    LState->taps = reinterpret_cast<Ipp32f*>(LBlock + sizeof(IIRState_32f));
    LState->dlyLine = reinterpret_cast<Ipp32f*>(LBlock + sizeof(IIRState_32f) + LTapBytes);
    LState->order = order;
    LState->numBq = 0;
    LState->owned = 1;
    for (int64_t i = 0; i <= N; ++i)
        LState->taps[i] = static_cast<Ipp32f>(pTaps[i] / a0);
    for (int64_t i = 1; i <= N; ++i)
        LState->taps[N + i] = static_cast<Ipp32f>(pTaps[N + 1 + i] / a0);
    for (int64_t i = 0; i < N; ++i)
        LState->dlyLine[i] = pDlyLine != nullptr ? pDlyLine[i] : 0.0f;
    LState->dlyLine[N] = 0.0f;
    *ppState = LState;
    return ippStsNoErr;
}

IppStatus _px_ippsIIRGetStateSize_BiQuad_32f(int numBq, int* pBufferSize)
{
    if (pBufferSize == nullptr)
        return ippStsNullPtrErr;
    if (numBq < 1)
        return ippStsIIROrderErr;
    const int64_t LSize = Align16(20 * int64_t{numBq}) + Align16(8 * int64_t{numBq}) + 64;
    // A count whose state cannot be sized in an int is refused as a bad count.
    if (LSize > INT32_MAX)
        return ippStsIIROrderErr;
    *pBufferSize = static_cast<int>(LSize);
    return ippStsNoErr;
}

IppStatus _px_ippsIIRInit_BiQuad_32f(IIRState_32f** ppState, const Ipp32f* pTaps, int numBq, const Ipp32f* pDlyLine,
                                     Ipp8u* pBuf)
{
    if (ppState == nullptr || pTaps == nullptr || pBuf == nullptr)
        return ippStsNullPtrErr;
    if (numBq < 1)
        return ippStsIIROrderErr;
    for (int k = 0; k < numBq; ++k)
        if (pTaps[6 * k + 3] == 0.0f || pTaps[6 * k] == 0.0f)
            return ippStsDivByZeroErr;
    // Header at the buffer's first 16-byte boundary (at most 15 bytes in; the
    // 64 spare bytes of the size cover it and the 48-byte header).
    auto* LBase = AlignUp<uint8_t>(pBuf, 16);
    auto* LState = new (LBase) IIRState_32f{};
    LState->tag = SNIIRState32fBiQuadTag;
    LState->taps = reinterpret_cast<Ipp32f*>(LBase + sizeof(IIRState_32f));
    LState->dlyLine = reinterpret_cast<Ipp32f*>(LBase + sizeof(IIRState_32f) + Align16(20 * int64_t{numBq}));
    LState->order = 2 * numBq;
    LState->numBq = numBq;
    LState->owned = 0;
    for (int k = 0; k < numBq; ++k) {
        const Ipp32f* LIn = pTaps + 6 * k;
        Ipp32f* LOut = LState->taps + 5 * k;
        const double LInverse = 1.0 / LIn[3];
        LOut[0] = static_cast<Ipp32f>(LIn[0] * LInverse);
        LOut[1] = static_cast<Ipp32f>(LIn[1] * LInverse);
        LOut[2] = static_cast<Ipp32f>(LIn[2] * LInverse);
        LOut[3] = static_cast<Ipp32f>(LIn[4] * LInverse);
        LOut[4] = static_cast<Ipp32f>(LIn[5] * LInverse);
    }
    for (int i = 0; i < 2 * numBq; ++i)
        LState->dlyLine[i] = pDlyLine != nullptr ? pDlyLine[i] : 0.0f;
    *ppState = LState;
    return ippStsNoErr;
}

IppStatus _px_ippsIIRFree_32f(IIRState_32f* pState)
{
    if (pState == nullptr)
        return ippStsNullPtrErr;
    if (pState->tag != SNIIRState32fTag && pState->tag != SNIIRState32fBiQuadTag)
        return ippStsContextMatchErr;
    if (pState->owned == 1) {
        pState->tag = 0;
        _ippFree(pState);
    }
    return ippStsNoErr;
}

IppStatus _px_ippsIIR_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len, IIRState_32f* pState)
{
    if (pSrc == nullptr || pDst == nullptr || pState == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (!ValidIIRState(pState))
        return ippStsContextMatchErr;
    const Ipp32f* t = pState->taps;
    Ipp32f* d = pState->dlyLine;
    if (pState->tag == SNIIRState32fTag) {
        const int N = pState->order;
        for (int n = 0; n < len; ++n)
            pDst[n] = static_cast<Ipp32f>(RunArbitraryOrder(pSrc[n], t, d, N));
    } else {
        const int LNumBq = pState->numBq;
        for (int n = 0; n < len; ++n)
            pDst[n] = static_cast<Ipp32f>(RunBiQuads(pSrc[n], t, d, LNumBq));
    }
    return ippStsNoErr;
}

IppStatus _px_ippsIIR_32f_I(Ipp32f* pSrcDst, int len, IIRState_32f* pState)
{
    return _px_ippsIIR_32f(pSrcDst, pSrcDst, len, pState);
}

} // namespace Sonorix
