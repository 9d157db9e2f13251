// SPDX-License-Identifier: MIT
#include "DGBasicDispatcher.h"
#include "SNCpuFeatures.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace Sonorix {

namespace {

constexpr int64_t CHeader = 32; // keeps the doubles after the header 32-byte aligned
static_assert(sizeof(FIRState_64f) <= CHeader && sizeof(IIRState_64f) <= CHeader);

// One aligned block: the header, then ADoubles doubles.
template <class TState>
TState* AllocateState(int64_t ADoubles)
{
    const int64_t LBytes = CHeader + ADoubles * int64_t{sizeof(Ipp64f)};
    if (LBytes > INT32_MAX)
        return nullptr;
    void* LBlock = _ippMalloc(static_cast<int>(LBytes));
    if (LBlock == nullptr)
        return nullptr;
    std::memset(LBlock, 0, static_cast<size_t>(LBytes));
    return new (LBlock) TState{};
}

Ipp64f* Payload(void* AState)
{
    return reinterpret_cast<Ipp64f*>(static_cast<uint8_t*>(AState) + CHeader);
}

// When the one-sample kernel came from an IPP library, states must be IPP's
// own: the creator of that library is used instead.
template <class TFunction>
TFunction LibraryCreator(const char* AKernel, const char* ACreator)
{
    if (SNDispatcherIsPortable(AKernel))
        return nullptr;
    return reinterpret_cast<TFunction>(SNDispatcherSignalProc(ACreator));
}

// y[i] = sum over j of h[j] * x[i + j], summed from 0 in order of j exactly as
// the one-sample kernel does, eight outputs at a time. No fused multiply-add:
// the products are rounded before each sum (this file is built with
// -ffp-contract=off, and the AVX2 form does not enable FMA).
using TVector4 = double __attribute__((vector_size(32)));

__attribute__((always_inline)) inline void ConvolveBody(const double* h, int n, const double* x, double* y, int m)
{
    int i = 0;
    for (; i + 8 <= m; i += 8) {
        TVector4 a = {0.0, 0.0, 0.0, 0.0};
        TVector4 b = {0.0, 0.0, 0.0, 0.0};
        const double* LWindow = x + i;
        for (int j = 0; j < n; ++j) {
            TVector4 LLow, LHigh;
            std::memcpy(&LLow, LWindow + j, sizeof(LLow));
            std::memcpy(&LHigh, LWindow + j + 4, sizeof(LHigh));
            const double t = h[j];
            a += t * LLow;
            b += t * LHigh;
        }
        std::memcpy(y + i, &a, sizeof(a));
        std::memcpy(y + i + 4, &b, sizeof(b));
    }
    for (; i < m; ++i) {
        double LSum = 0.0;
        for (int j = 0; j < n; ++j)
            LSum += h[j] * x[i + j];
        y[i] = LSum;
    }
}

__attribute__((target("avx2"))) void ConvolveAVX2(const double* h, int n, const double* x, double* y, int m)
{
    ConvolveBody(h, n, x, y, m);
}

void ConvolvePlain(const double* h, int n, const double* x, double* y, int m)
{
    ConvolveBody(h, n, x, y, m);
}

// Chosen on first use rather than by an ifunc resolver, which runs before
// the sanitizers' runtimes are up.
void ConvolveBlock(const double* h, int n, const double* x, double* y, int m)
{
    static const auto LConvolve = CPU_FEATURE_ACTIVE(AVX2) ? &ConvolveAVX2 : &ConvolvePlain;
    LConvolve(h, n, x, y, m);
}

} // namespace

IppStatus ippsFIRInitAlloc_64f(FIRState_64f** ppState, const Ipp64f* pTaps, int tapsLen, const Ipp64f* pDlyLine)
{
    using TCreator = IppStatus (*)(FIRState_64f**, const Ipp64f*, int, const Ipp64f*);
    if (auto LCreator = LibraryCreator<TCreator>("ippsFIROne_64f", "ippsFIRInitAlloc_64f"))
        return LCreator(ppState, pTaps, tapsLen, pDlyLine);
    if (ppState == nullptr || pTaps == nullptr)
        return ippStsNullPtrErr;
    if (tapsLen < 1)
        return ippStsSizeErr;
    const int64_t n = tapsLen;
    auto* LState = AllocateState<FIRState_64f>(3 * n);
    if (LState == nullptr)
        return ippStsMemAllocErr;
    LState->tag = SNFIRState64fTag;
    LState->taps = Payload(LState);
    LState->dlyLine = LState->taps + n;
    LState->tapsLen = tapsLen;
    LState->dlyIndex = 0;
    for (int64_t j = 0; j < n; ++j)
        LState->taps[j] = pTaps[n - 1 - j];
    // The window delay[0 .. n-1] holds the history oldest first; the next
    // input replaces delay[0].
    if (pDlyLine != nullptr)
        for (int64_t j = 0; j < n; ++j)
            LState->dlyLine[j] = LState->dlyLine[j + n] = pDlyLine[n - 1 - j];
    *ppState = LState;
    return ippStsNoErr;
}

IppStatus ippsFIRFree_64f(FIRState_64f* pState)
{
    using TFree = IppStatus (*)(FIRState_64f*);
    if (auto LFree = LibraryCreator<TFree>("ippsFIROne_64f", "ippsFIRFree_64f"))
        return LFree(pState);
    if (pState == nullptr)
        return ippStsNullPtrErr;
    if (pState->tag != SNFIRState64fTag)
        return ippStsContextMatchErr;
    pState->tag = 0;
    _ippFree(pState);
    return ippStsNoErr;
}

IppStatus ippsIIRInitAlloc_64f(IIRState_64f** ppState, const Ipp64f* pTaps, int order, const Ipp64f* pDlyLine)
{
    using TCreator = IppStatus (*)(IIRState_64f**, const Ipp64f*, int, const Ipp64f*);
    if (auto LCreator = LibraryCreator<TCreator>("ippsIIROne_64f", "ippsIIRInitAlloc_64f"))
        return LCreator(ppState, pTaps, order, pDlyLine);
    if (ppState == nullptr || pTaps == nullptr)
        return ippStsNullPtrErr;
    if (order < 0)
        return ippStsIIROrderErr;
    const int64_t N = order;
    const double a0 = pTaps[N + 1];
    if (a0 == 0.0)
        return ippStsDivByZeroErr;
    auto* LState = AllocateState<IIRState_64f>((2 * N + 1) + (N + 1));
    if (LState == nullptr)
        return ippStsMemAllocErr;
    LState->tag = SNIIRState64fTag;
    LState->taps = Payload(LState);
    LState->dlyLine = LState->taps + 2 * N + 1;
    LState->order = order;
    for (int64_t i = 0; i <= N; ++i)
        LState->taps[i] = pTaps[i] / a0;
    for (int64_t i = 1; i <= N; ++i)
        LState->taps[N + i] = pTaps[N + 1 + i] / a0;
    if (pDlyLine != nullptr)
        std::copy(pDlyLine, pDlyLine + N, LState->dlyLine);
    LState->dlyLine[N] = 0.0;
    *ppState = LState;
    return ippStsNoErr;
}

IppStatus ippsIIRInitAlloc_BiQuad_64f(IIRState_64f** ppState, const Ipp64f* pTaps, int numBq,
                                      const Ipp64f* pDlyLine)
{
    using TCreator = IppStatus (*)(IIRState_64f**, const Ipp64f*, int, const Ipp64f*);
    if (auto LCreator = LibraryCreator<TCreator>("ippsIIROne_64f", "ippsIIRInitAlloc_BiQuad_64f"))
        return LCreator(ppState, pTaps, numBq, pDlyLine);
    if (ppState == nullptr || pTaps == nullptr)
        return ippStsNullPtrErr;
    if (numBq < 1)
        return ippStsIIROrderErr;
    const int64_t n = numBq;
    for (int64_t s = 0; s < n; ++s)
        if (pTaps[6 * s + 3] == 0.0 || pTaps[6 * s] == 0.0)
            return ippStsDivByZeroErr;
    auto* LState = AllocateState<IIRState_64f>(5 * n + 2 * n);
    if (LState == nullptr)
        return ippStsMemAllocErr;
    LState->tag = SNIIRState64fBiQuadTag;
    LState->taps = Payload(LState);
    LState->dlyLine = LState->taps + 5 * n;
    LState->order = numBq;
    for (int64_t s = 0; s < n; ++s) {
        const Ipp64f* t = pTaps + 6 * s;
        const double LInverse = 1.0 / t[3];
        Ipp64f* LStage = LState->taps + 5 * s;
        LStage[0] = t[0] * LInverse;
        LStage[1] = t[1] * LInverse;
        LStage[2] = t[2] * LInverse;
        LStage[3] = t[4] * LInverse;
        LStage[4] = t[5] * LInverse;
    }
    if (pDlyLine != nullptr)
        std::copy(pDlyLine, pDlyLine + 2 * n, LState->dlyLine);
    *ppState = LState;
    return ippStsNoErr;
}

IppStatus ippsIIRFree_64f(IIRState_64f* pState)
{
    using TFree = IppStatus (*)(IIRState_64f*);
    if (auto LFree = LibraryCreator<TFree>("ippsIIROne_64f", "ippsIIRFree_64f"))
        return LFree(pState);
    if (pState == nullptr)
        return ippStsNullPtrErr;
    if (pState->tag != SNIIRState64fTag && pState->tag != SNIIRState64fBiQuadTag)
        return ippStsContextMatchErr;
    pState->tag = 0;
    _ippFree(pState);
    return ippStsNoErr;
}

IppStatus ippsMulC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len)
{
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    for (int i = 0; i < len; ++i)
        pSrcDst[i] *= val;
    return ippStsNoErr;
}

IppStatus ippsCopy_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len)
{
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    std::memmove(pDst, pSrc, size_t(len) * sizeof(Ipp64f));
    return ippStsNoErr;
}

IppStatus ippsAdd_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len)
{
    if (pSrc == nullptr || pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    for (int i = 0; i < len; ++i)
        pSrcDst[i] += pSrc[i];
    return ippStsNoErr;
}

IppStatus ippsFIR_64f(const Ipp64f* pSrc, Ipp64f* pDst, int numIters, FIRState_64f* pState)
{
    if (pSrc == nullptr || pDst == nullptr || pState == nullptr)
        return ippStsNullPtrErr;
    if (numIters < 1)
        return ippStsSizeErr;
    if (pState->tag != SNFIRState64fTag || pState->taps == nullptr || pState->dlyLine == nullptr ||
        pState->tapsLen < 1 || pState->dlyIndex < 0 || pState->dlyIndex >= pState->tapsLen)
        return ippStsContextMatchErr;
    const int n = pState->tapsLen;
    Ipp64f* LDelay = pState->dlyLine;
    int k = pState->dlyIndex;
    // The last n - 1 inputs, oldest first, followed by a chunk of new ones.
    constexpr int CChunk = 2048;
    thread_local std::vector<double> LExtended;
    LExtended.resize(size_t(n) - 1 + CChunk);
    for (int LDone = 0; LDone < numIters;) {
        const int m = std::min(CChunk, numIters - LDone);
        std::copy(LDelay + k + 1, LDelay + k + n, LExtended.begin());
        std::copy(pSrc + LDone, pSrc + LDone + m, LExtended.begin() + (n - 1));
        ConvolveBlock(pState->taps, n, LExtended.data(), pDst + LDone, m);
        // Leave the delay line as m one-sample steps would: the window at
        // the new index holds the last n inputs, oldest first, twice.
        k = int((int64_t(k) + m) % n);
        const double* LLast = LExtended.data() + (m - 1);
        for (int j = 0; j < n; ++j) {
            int LPosition = k + j;
            if (LPosition >= n)
                LPosition -= n;
            LDelay[LPosition] = LDelay[LPosition + n] = LLast[j];
        }
        LDone += m;
    }
    pState->dlyIndex = k;
    return ippStsNoErr;
}

} // namespace Sonorix
