// SPDX-License-Identifier: MIT
#include "DGSignalDispatcher.h"
#include "SNVectorSelect.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>
#include <type_traits>
#include <vector>

#if SONORIX_HAVE_FFTW
#include <dlfcn.h>
#include <fftw3.h>
#endif

namespace Sonorix {

static IppStatus ippsMul_32fBody(const Ipp32f* pSrc1, const Ipp32f* pSrc2, Ipp32f* pDst, int32_t len)
{
    if (!pSrc1 || !pSrc2 || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    for (int32_t i = 0; i < len; ++i)
        pDst[i] = pSrc1[i] * pSrc2[i];
    return ippStsNoErr;
}

IppStatus ippsMul_32f(const Ipp32f* pSrc1, const Ipp32f* pSrc2, Ipp32f* pDst, int32_t len)
{
    return SNKernelDetail::RunSelected([&] { return ippsMul_32fBody(pSrc1, pSrc2, pDst, len); });
}

static IppStatus ippsMean_32fBody(const Ipp32f* pSrc, int32_t len, Ipp32f* pMean, IppHintAlgorithm hint)
{
    if (!pSrc || !pMean)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (hint == ippAlgHintAccurate) {
        // Four partial sums keep the loop vectorisable without reassociation.
        double LSum[4] = {0, 0, 0, 0};
        int32_t i = 0;
        for (; i + 4 <= len; i += 4)
            for (int k = 0; k < 4; ++k)
                LSum[k] += double{pSrc[i + k]};
        for (; i < len; ++i)
            LSum[0] += double{pSrc[i]};
        *pMean = static_cast<Ipp32f>(((LSum[0] + LSum[1]) + (LSum[2] + LSum[3])) / len);
    } else {
        float LSum[4] = {0, 0, 0, 0};
        int32_t i = 0;
        for (; i + 4 <= len; i += 4)
            for (int k = 0; k < 4; ++k)
                LSum[k] += pSrc[i + k];
        for (; i < len; ++i)
            LSum[0] += pSrc[i];
        *pMean = ((LSum[0] + LSum[1]) + (LSum[2] + LSum[3])) / static_cast<float>(len);
    }
    return ippStsNoErr;
}

IppStatus ippsMean_32f(const Ipp32f* pSrc, int32_t len, Ipp32f* pMean, IppHintAlgorithm hint)
{
    return SNKernelDetail::RunSelected([&] { return ippsMean_32fBody(pSrc, len, pMean, hint); });
}

namespace {

// Where the C library's hypot(x, y) is sqrt(x^2 + y^2) corrected by one
// step towards the exact value (the larger magnitude AMax, the smaller AMin):
// AMin not negligible beside AMax, neither near the ends of the double range.
// There MagnitudeCorrected gives the same bits with the same IEEE operations
// in the same order, in a loop that vectorises; elsewhere (zero, NaN,
// infinity, extreme ranges) hypot itself is called.
inline bool MagnitudeCorrectable(double AMax, double AMin)
{
    return AMin > AMax * 0x1p-26 && AMax < 0x1p300 && AMin > 0x1p-300;
}

inline double MagnitudeCorrected(double AMax, double AMin)
{
    const double h = std::sqrt(AMax * AMax + AMin * AMin);
    // Both cases' corrections, then a select, so that the loop has no branch.
    const double LNearDelta = h - AMin;
    const double LNear =
        AMax * (2.0 * LNearDelta - AMax) + (LNearDelta - 2.0 * (AMax - AMin)) * LNearDelta;
    const double LFarDelta = h - AMax;
    const double LFar = 2.0 * LFarDelta * (AMax - 2.0 * AMin) + ((4.0 * LFarDelta - AMin) * AMin + LFarDelta * LFarDelta);
    return h - (h <= 2.0 * AMin ? LNear : LFar) / (2.0 * h);
}

IppStatus ippsMagnitude_64fcBody(const Ipp64fc* pSrc, Ipp64f* pDst, int32_t len)
{
    // In blocks through a local array: each block's sources are all read
    // before its results are stored, so pDst may lie over pSrc.
    constexpr int32_t CBlock = 64;
    double LBlock[CBlock];
    for (int32_t LFirst = 0; LFirst < len; LFirst += CBlock) {
        const int32_t n = std::min(CBlock, len - LFirst);
        const Ipp64fc* LSrc = pSrc + LFirst;
        for (int32_t i = 0; i < n; ++i) {
            const double x = std::fabs(LSrc[i].re);
            const double y = std::fabs(LSrc[i].im);
            LBlock[i] = MagnitudeCorrected(x < y ? y : x, x < y ? x : y);
        }
        for (int32_t i = 0; i < n; ++i) {
            const double x = std::fabs(LSrc[i].re);
            const double y = std::fabs(LSrc[i].im);
            if (!MagnitudeCorrectable(x < y ? y : x, x < y ? x : y))
                LBlock[i] = std::hypot(LSrc[i].re, LSrc[i].im);
        }
        std::memcpy(pDst + LFirst, LBlock, static_cast<size_t>(n) * sizeof(double));
    }
    return ippStsNoErr;
}

} // namespace

IppStatus ippsMagnitude_64fc(const Ipp64fc* pSrc, Ipp64f* pDst, int32_t len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    return SNKernelDetail::RunSelected([&] { return ippsMagnitude_64fcBody(pSrc, pDst, len); });
}

IppStatus ippsMove_64f(const Ipp64f* pSrc, Ipp64f* pDst, int32_t len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    std::memmove(pDst, pSrc, static_cast<size_t>(len) * sizeof(Ipp64f));
    return ippStsNoErr;
}

IppStatus ippsCartToPolar_64f(const Ipp64f* pSrcRe, const Ipp64f* pSrcIm, Ipp64f* pDstMagn, Ipp64f* pDstPhase,
                              int32_t len)
{
    if (!pSrcRe || !pSrcIm || !pDstMagn || !pDstPhase)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    for (int32_t i = 0; i < len; ++i) {
        const double LRe = pSrcRe[i];
        const double LIm = pSrcIm[i];
        pDstMagn[i] = std::hypot(LRe, LIm);
        pDstPhase[i] = std::atan2(LIm, LRe);
    }
    return ippStsNoErr;
}

IppStatus ippsPolarToCart_64f(const Ipp64f* pSrcMagn, const Ipp64f* pSrcPhase, Ipp64f* pDstRe, Ipp64f* pDstIm,
                              int32_t len)
{
    if (!pSrcMagn || !pSrcPhase || !pDstRe || !pDstIm)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    for (int32_t i = 0; i < len; ++i) {
        // Both inputs are read before either output is written, so the
        // outputs may alias the inputs.
        const double LMagn = pSrcMagn[i];
        const double LPhase = pSrcPhase[i];
        pDstRe[i] = LMagn * std::cos(LPhase);
        pDstIm[i] = LMagn * std::sin(LPhase);
    }
    return ippStsNoErr;
}

IppStatus ippsDivC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int32_t len)
{
    if (!pSrcDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (val == 0.0)
        return ippStsDivByZeroErr;
    for (int32_t i = 0; i < len; ++i)
        pSrcDst[i] /= val;
    return ippStsNoErr;
}

IppStatus ippsAddC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int32_t len)
{
    if (!pSrcDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    for (int32_t i = 0; i < len; ++i)
        pSrcDst[i] += val;
    return ippStsNoErr;
}

IppStatus ippsCopy_8u(const Ipp8u* pSrc, Ipp8u* pDst, int32_t len)
{
    if (!pSrc || !pDst)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    std::memcpy(pDst, pSrc, static_cast<size_t>(len));
    return ippStsNoErr;
}

// --- Forward real FFT ------------------------------------------------------------

#if SONORIX_HAVE_FFTW

namespace {
// FFTW's planner is not thread-safe; executing a finished plan is.
std::mutex& PlannerMutex()
{
    static std::mutex LMutex;
    return LMutex;
}

// FFTW is opened at the first transform rather than linked: few processes
// make one, and mapping it costs every process about 0.2 ms at start.
struct TFftw {
    decltype(&::fftw_malloc) Malloc = nullptr;
    decltype(&::fftw_free) Free = nullptr;
    decltype(&::fftw_plan_dft_r2c_1d) PlanR2C = nullptr;
    decltype(&::fftw_execute) Execute = nullptr;
    decltype(&::fftw_destroy_plan) DestroyPlan = nullptr;
};

// Null when the library or one of the functions is missing.
const TFftw* Fftw()
{
    static const TFftw* const LLoaded = []() -> const TFftw* {
        // Never closed: plans hold code and memory of the library.
        void* LHandle = dlopen("libfftw3.so.3", RTLD_NOW | RTLD_LOCAL);
        if (LHandle == nullptr)
            return nullptr;
        static TFftw LFftw;
        const auto LBind = [LHandle](auto& AFunction, const char* AName) {
            AFunction = reinterpret_cast<std::remove_reference_t<decltype(AFunction)>>(dlsym(LHandle, AName));
            return AFunction != nullptr;
        };
        const bool LAll = LBind(LFftw.Malloc, "fftw_malloc") && LBind(LFftw.Free, "fftw_free") &&
                          LBind(LFftw.PlanR2C, "fftw_plan_dft_r2c_1d") && LBind(LFftw.Execute, "fftw_execute") &&
                          LBind(LFftw.DestroyPlan, "fftw_destroy_plan");
        return LAll ? &LFftw : nullptr;
    }();
    return LLoaded;
}
} // namespace

struct IppsFFTSpec_R_64f {
    int32_t Length = 0;
    double Scale = 1.0;
    const TFftw* Lib = nullptr;
    double* In = nullptr;
    fftw_complex* Out = nullptr;
    fftw_plan Plan = nullptr;

    ~IppsFFTSpec_R_64f()
    {
        if (!Lib)
            return;
        std::lock_guard LGuard(PlannerMutex());
        if (Plan)
            Lib->DestroyPlan(Plan);
        Lib->Free(In);
        Lib->Free(Out);
    }

    bool Prepare()
    {
        Lib = Fftw();
        if (!Lib)
            return false;
        const auto LLength = static_cast<size_t>(Length);
        In = static_cast<double*>(Lib->Malloc(LLength * sizeof(double)));
        Out = static_cast<fftw_complex*>(Lib->Malloc((LLength / 2 + 1) * sizeof(fftw_complex)));
        if (!In || !Out)
            return false;
        // FFTW_ESTIMATE: no timing runs, so the plan (and its results) do not
        // depend on the machine's load when the stream starts.
        std::lock_guard LGuard(PlannerMutex());
        Plan = Lib->PlanR2C(Length, In, Out, FFTW_ESTIMATE);
        return Plan != nullptr;
    }

    void Forward(const double* ASrc, double* ADst) const
    {
        std::memcpy(In, ASrc, static_cast<size_t>(Length) * sizeof(double));
        Lib->Execute(Plan);
        const int32_t LBins = Length / 2 + 1;
        for (int32_t k = 0; k < LBins; ++k) {
            ADst[2 * k] = Out[k][0] * Scale;
            ADst[2 * k + 1] = Out[k][1] * Scale;
        }
    }
};

#else

// Without FFTW: an iterative radix-2 transform of the real input as complex
// values. Slower, same results to rounding.
struct IppsFFTSpec_R_64f {
    int32_t Length = 0;
    double Scale = 1.0;
    std::vector<std::complex<double>> Work;
    std::vector<std::complex<double>> Twiddles;
    std::vector<uint32_t> Reversed;

    bool Prepare()
    {
        const auto LLength = static_cast<size_t>(Length);
        Work.resize(LLength);
        Twiddles.resize(LLength / 2);
        Reversed.resize(LLength);
        for (size_t k = 0; k < LLength / 2; ++k)
            Twiddles[k] = std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(LLength));
        uint32_t LBits = 0;
        while ((size_t{1} << LBits) < LLength)
            ++LBits;
        for (size_t i = 0; i < LLength; ++i) {
            uint32_t r = 0;
            for (uint32_t b = 0; b < LBits; ++b)
                r |= ((static_cast<uint32_t>(i) >> b) & 1u) << (LBits - 1 - b);
            Reversed[i] = r;
        }
        return true;
    }

    void Forward(const double* ASrc, double* ADst)
    {
        const auto LLength = static_cast<size_t>(Length);
        for (size_t i = 0; i < LLength; ++i)
            Work[Reversed[i]] = ASrc[i];
        for (size_t LSize = 2; LSize <= LLength; LSize *= 2) {
            const size_t LHalf = LSize / 2;
            const size_t LStride = LLength / LSize;
            for (size_t s = 0; s < LLength; s += LSize)
                for (size_t k = 0; k < LHalf; ++k) {
                    const std::complex<double> t = Twiddles[k * LStride] * Work[s + k + LHalf];
                    Work[s + k + LHalf] = Work[s + k] - t;
                    Work[s + k] += t;
                }
        }
        for (size_t k = 0; k <= LLength / 2; ++k) {
            ADst[2 * k] = Work[k].real() * Scale;
            ADst[2 * k + 1] = (k == 0 || k == LLength / 2) ? 0.0 : Work[k].imag() * Scale;
        }
    }
};

#endif

IppStatus ippsFFTInitAlloc_R_64f(IppsFFTSpec_R_64f** ppFFTSpec, int32_t order, int32_t flag, IppHintAlgorithm /*hint*/)
{
    if (!ppFFTSpec)
        return ippStsNullPtrErr;
    if (order < 1 || order > 30)
        return ippStsFftOrderErr;
    const int32_t LLength = int32_t{1} << order;
    double LScale = 1.0;
    switch (flag) {
    case IPP_FFT_DIV_FWD_BY_N: LScale = 1.0 / LLength; break;
    case IPP_FFT_DIV_BY_SQRTN: LScale = 1.0 / std::sqrt(static_cast<double>(LLength)); break;
    case IPP_FFT_DIV_INV_BY_N:
    case IPP_FFT_NODIV_BY_ANY: LScale = 1.0; break;
    default: return ippStsFftFlagErr;
    }
    *ppFFTSpec = nullptr;
    auto* LSpec = new (std::nothrow) IppsFFTSpec_R_64f;
    if (!LSpec)
        return ippStsMemAllocErr;
    LSpec->Length = LLength;
    LSpec->Scale = LScale;
    bool LPrepared = false;
    try {
        LPrepared = LSpec->Prepare();
    } catch (const std::bad_alloc&) {
        LPrepared = false;
    }
    if (!LPrepared) {
        delete LSpec;
        return ippStsMemAllocErr;
    }
    *ppFFTSpec = LSpec;
    return ippStsNoErr;
}

IppStatus ippsFFTFwd_RToCCS_64f(const Ipp64f* pSrc, Ipp64f* pDst, const IppsFFTSpec_R_64f* pFFTSpec, Ipp8u* /*pBuffer*/)
{
    if (!pSrc || !pDst || !pFFTSpec)
        return ippStsNullPtrErr;
    // The FFT state's work memory is its own; one thread at a time uses a state.
    const_cast<IppsFFTSpec_R_64f*>(pFFTSpec)->Forward(pSrc, pDst);
    return ippStsNoErr;
}

int32_t FFTLength_R_64f(const IppsFFTSpec_R_64f* pFFTSpec)
{
    return pFFTSpec ? pFFTSpec->Length : 0;
}

IppStatus ippsFFTFree_R_64f(IppsFFTSpec_R_64f* pFFTSpec)
{
    if (!pFFTSpec)
        return ippStsNullPtrErr;
    delete pFFTSpec;
    return ippStsNoErr;
}

} // namespace Sonorix
