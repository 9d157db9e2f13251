// SPDX-License-Identifier: MIT
// Portable kernels of the vector-primitive table in samples per second, each
// beside a plain scalar loop doing the same arithmetic (compiled without
// auto-vectorisation), so that the gain of the kernels' loop shapes shows.
#include "SNDispatcher.h"
#include "SNRampDispatcher.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using namespace Sonorix;

constexpr int CLen = 4095;
constexpr double CTwoPi = 6.283185307179586;

#define SN_SCALAR __attribute__((noinline, optimize("no-tree-vectorize", "no-tree-slp-vectorize")))

std::vector<float> Floats(int ACount, float ALow, float AHigh)
{
    std::mt19937 LRandom(1);
    std::uniform_real_distribution<float> LDist(ALow, AHigh);
    std::vector<float> v(ACount);
    for (float& x : v)
        x = LDist(LRandom);
    return v;
}

std::vector<Ipp16s> Shorts(int ACount)
{
    std::mt19937 LRandom(2);
    std::uniform_int_distribution<int> LDist(-32768, 32767);
    std::vector<Ipp16s> v(ACount);
    for (Ipp16s& x : v)
        x = static_cast<Ipp16s>(LDist(LRandom));
    return v;
}

template <class F>
void Loop(benchmark::State& AState, int ASamples, F AWork)
{
    for (auto _ : AState) {
        AWork();
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(int64_t(AState.iterations()) * ASamples);
}

// ---------------------------------------------------------------- generators

void BM_Tone_Kernel(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    float p = 0.0f;
    Loop(s, CLen, [&] { _px_ippsTone_Direct_16s(d.data(), CLen, 16000, 0.0123f, &p, ippAlgHintNone); });
}
SN_SCALAR void ScalarTone(Ipp16s* d, int n, double magn, double f, float& p)
{
    for (int i = 0; i < n; ++i)
        d[i] = static_cast<Ipp16s>(magn * std::cos(CTwoPi * f * i + p));
    p = static_cast<float>(std::fmod(CTwoPi * f * n + p, CTwoPi));
}
void BM_Tone_Scalar(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    float p = 0.0f;
    Loop(s, CLen, [&] { ScalarTone(d.data(), CLen, 16000, 0.0123, p); });
}

void BM_Triangle_Kernel(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    float p = 0.0f;
    Loop(s, CLen, [&] { _px_ippsTriangle_Direct_16s(d.data(), CLen, 16000, 0.0123f, 0.3f, &p); });
}
SN_SCALAR void ScalarTriangle(Ipp16s* d, int n, double magn, double f, double asym, float& p)
{
    const double h1 = CTwoPi / 2 + asym, h2 = CTwoPi / 2 - asym;
    double ph = p;
    for (int i = 0; i < n; ++i) {
        const double v = ph < h1 ? magn * (1 - 2 * ph / h1) : magn * (-1 + 2 * (ph - h1) / h2);
        d[i] = static_cast<Ipp16s>(v);
        ph = std::fmod(ph + CTwoPi * f, CTwoPi);
    }
    p = static_cast<float>(ph);
}
void BM_Triangle_Scalar(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    float p = 0.0f;
    Loop(s, CLen, [&] { ScalarTriangle(d.data(), CLen, 16000, 0.0123, 0.3, p); });
}

void BM_Square_Kernel(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    float p = 0.0f;
    Loop(s, CLen, [&] { ippsSquare_Direct_16s(d.data(), CLen, 16000, 0.0123f, 0.0f, &p); });
}

void BM_Ramp_Kernel(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    Loop(s, CLen, [&] { _px_ippsVectorRamp_16s(d.data(), CLen, -30000.0f, 15.3f); });
}
SN_SCALAR void ScalarRamp(Ipp16s* d, int n, double off, double slope)
{
    for (int i = 0; i < n; ++i) {
        const double v = i * slope + off;
        const double r = v > 0 ? v + 0.5 : v - 0.5;
        if (r >= 32767)
            d[i] = 32767;
        else if (r <= -32768)
            d[i] = -32768;
        else
            d[i] = static_cast<Ipp16s>(r);
    }
}
void BM_Ramp_Scalar(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    Loop(s, CLen, [&] { ScalarRamp(d.data(), CLen, -30000.0, 15.3f); });
}

void BM_RandUniform_Kernel(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    unsigned int seed = 1;
    Loop(s, CLen, [&] { _px_ippsRandUniform_Direct_16s(d.data(), CLen, -1000, 1000, &seed); });
}
SN_SCALAR void ScalarUniform(Ipp16s* d, int n, uint32_t& seed)
{
    // A plain linear congruential generator scaled to the range.
    for (int i = 0; i < n; ++i) {
        seed = seed * 69069u + 1013904243u;
        d[i] = static_cast<Ipp16s>(int32_t(seed) * (2000 * 2.3283064365387E-10));
    }
}
void BM_RandUniform_Scalar(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    uint32_t seed = 1;
    Loop(s, CLen, [&] { ScalarUniform(d.data(), CLen, seed); });
}

void BM_RandGauss_Kernel(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    unsigned int seed = 1;
    Loop(s, CLen, [&] { _px_ippsRandGauss_Direct_16s(d.data(), CLen, 0, 1000, &seed); });
}
SN_SCALAR void ScalarGauss(Ipp16s* d, int n, uint32_t& seed)
{
    // Basic Box-Muller with sine and cosine, one pair per two samples.
    for (int i = 0; i + 1 < n; i += 2) {
        seed = seed * 69069u + 1013904243u;
        const double u1 = (seed + 1.0) / 4294967297.0;
        seed = seed * 69069u + 1013904243u;
        const double u2 = seed / 4294967296.0;
        const double r = 1000 * std::sqrt(-2 * std::log(u1));
        d[i] = static_cast<Ipp16s>(std::clamp(r * std::cos(CTwoPi * u2), -32768.0, 32767.0));
        d[i + 1] = static_cast<Ipp16s>(std::clamp(r * std::sin(CTwoPi * u2), -32768.0, 32767.0));
    }
}
void BM_RandGauss_Scalar(benchmark::State& s)
{
    std::vector<Ipp16s> d(CLen);
    uint32_t seed = 1;
    Loop(s, CLen, [&] { ScalarGauss(d.data(), CLen, seed); });
}

// ---------------------------------------------------------------- 16-bit arithmetic

void BM_Add16s_Kernel(benchmark::State& s)
{
    const auto a = Shorts(CLen);
    auto b = Shorts(CLen);
    Loop(s, CLen, [&] { _px_ippsAdd_16s_I(a.data(), b.data(), CLen); });
}
SN_SCALAR void ScalarAdd(const Ipp16s* a, Ipp16s* b, int n)
{
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<Ipp16s>(std::clamp(int(a[i]) + b[i], -32768, 32767));
}
void BM_Add16s_Scalar(benchmark::State& s)
{
    const auto a = Shorts(CLen);
    auto b = Shorts(CLen);
    Loop(s, CLen, [&] { ScalarAdd(a.data(), b.data(), CLen); });
}

void BM_Threshold_Kernel(benchmark::State& s)
{
    auto a = Shorts(CLen);
    Loop(s, CLen, [&] { _px_ippsThreshold_LTValGTVal_16s_I(a.data(), CLen, -1000, -1001, 1000, 1001); });
}
SN_SCALAR void ScalarThreshold(Ipp16s* a, int n)
{
    for (int i = 0; i < n; ++i) {
        if (a[i] < -1000)
            a[i] = -1001;
        else if (a[i] > 1000)
            a[i] = 1001;
    }
}
void BM_Threshold_Scalar(benchmark::State& s)
{
    auto a = Shorts(CLen);
    Loop(s, CLen, [&] { ScalarThreshold(a.data(), CLen); });
}

// ---------------------------------------------------------------- float arithmetic

void BM_Sum_Kernel(benchmark::State& s)
{
    const auto x = Floats(CLen, -1, 1);
    float r;
    Loop(s, CLen, [&] {
        _px_ippsSum_32f(x.data(), CLen, &r, ippAlgHintNone);
        benchmark::DoNotOptimize(r);
    });
}
SN_SCALAR float ScalarSum(const float* x, int n)
{
    double t = 0;
    for (int i = 0; i < n; ++i)
        t += x[i];
    return static_cast<float>(t);
}
void BM_Sum_Scalar(benchmark::State& s)
{
    const auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { benchmark::DoNotOptimize(ScalarSum(x.data(), CLen)); });
}

void BM_Sqr_Kernel(benchmark::State& s)
{
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { _px_ippsSqr_32f_I(x.data(), CLen); });
}
SN_SCALAR void ScalarSqr(float* x, int n)
{
    for (int i = 0; i < n; ++i)
        x[i] = x[i] * x[i];
}
void BM_Sqr_Scalar(benchmark::State& s)
{
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { ScalarSqr(x.data(), CLen); });
}

void BM_MulC_Kernel(benchmark::State& s)
{
    const auto x = Floats(CLen, -1, 1);
    std::vector<float> y(CLen);
    Loop(s, CLen, [&] { _px_ippsMulC_32f(x.data(), 0.7f, y.data(), CLen); });
}
SN_SCALAR void ScalarMulC(const float* x, float v, float* y, int n)
{
    for (int i = 0; i < n; ++i)
        y[i] = x[i] * v;
}
void BM_MulC_Scalar(benchmark::State& s)
{
    const auto x = Floats(CLen, -1, 1);
    std::vector<float> y(CLen);
    Loop(s, CLen, [&] { ScalarMulC(x.data(), 0.7f, y.data(), CLen); });
}

void BM_DivC_Kernel(benchmark::State& s)
{
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { _px_ippsDivC_32f_I(1.0001f, x.data(), CLen); });
}
SN_SCALAR void ScalarDivC(float v, float* x, int n)
{
    for (int i = 0; i < n; ++i)
        x[i] = x[i] / v;
}
void BM_DivC_Scalar(benchmark::State& s)
{
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { ScalarDivC(1.0001f, x.data(), CLen); });
}

void BM_ConjCcs_Kernel(benchmark::State& s)
{
    std::vector<Ipp64fc> x(CLen, Ipp64fc{1, 2});
    Loop(s, CLen, [&] { _px_ippsConjCcs_64fc_I(x.data(), CLen); });
}
SN_SCALAR void ScalarConjCcs(Ipp64fc* x, int n)
{
    for (int i = 1; i <= n / 2 - (n % 2 == 0 ? 1 : 0); ++i) {
        x[n - i].re = x[i].re;
        x[n - i].im = -x[i].im;
    }
}
void BM_ConjCcs_Scalar(benchmark::State& s)
{
    std::vector<Ipp64fc> x(CLen, Ipp64fc{1, 2});
    Loop(s, CLen, [&] { ScalarConjCcs(x.data(), CLen); });
}

void BM_CompensateOffset_Kernel(benchmark::State& s)
{
    auto x = Floats(CLen, -1, 1);
    float prev = 0;
    Loop(s, CLen, [&] { _px_ippsCompensateOffset_32f_I(x.data(), CLen, &prev, 0.0f, 0.995f); });
}

void BM_SampleDown_Kernel(benchmark::State& s)
{
    const auto x = Floats(CLen, -1, 1);
    std::vector<float> y(CLen);
    Loop(s, CLen, [&] {
        int len, phase = 0;
        _px_ippsSampleDown_32f(x.data(), CLen, y.data(), &len, 3, &phase);
    });
}

void BM_PeriodicityLSPE_Kernel(benchmark::State& s)
{
    const auto x = Floats(1023, -1, 1);
    Loop(s, 1023, [&] {
        float p;
        int period;
        _px_ippsPeriodicityLSPE_32f(x.data(), 1023, &p, &period, 256, 64);
        benchmark::DoNotOptimize(period);
    });
}

// ---------------------------------------------------------------- conversions

void BM_Convert16s32f_Kernel(benchmark::State& s)
{
    const auto a = Shorts(CLen);
    std::vector<float> f(CLen);
    Loop(s, CLen, [&] { _px_ippiConvert_16s32f_C1R(a.data(), 2 * CLen, f.data(), 4 * CLen, {CLen, 1}); });
}
SN_SCALAR void Scalar16s32f(const Ipp16s* a, float* f, int n)
{
    for (int i = 0; i < n; ++i)
        f[i] = a[i];
}
void BM_Convert16s32f_Scalar(benchmark::State& s)
{
    const auto a = Shorts(CLen);
    std::vector<float> f(CLen);
    Loop(s, CLen, [&] { Scalar16s32f(a.data(), f.data(), CLen); });
}

void BM_Convert8s32f_Kernel(benchmark::State& s)
{
    std::vector<Ipp8s> a(CLen, 5);
    std::vector<float> f(CLen);
    Loop(s, CLen, [&] { _px_ippiConvert_8s32f_C1R(a.data(), CLen, f.data(), 4 * CLen, {CLen, 1}); });
}

void BM_Convert32f16s_Kernel(benchmark::State& s)
{
    const auto f = Floats(CLen, -40000, 40000);
    std::vector<Ipp16s> a(CLen);
    Loop(s, CLen, [&] { _px_ippiConvert_32f16s_C1R(f.data(), 4 * CLen, a.data(), 2 * CLen, {CLen, 1}, ippRndNear); });
}
SN_SCALAR void Scalar32f16s(const float* f, Ipp16s* a, int n)
{
    // The rule as written: saturate, then x +- 0.5 truncated, back toward
    // zero when odd and exact.
    for (int i = 0; i < n; ++i) {
        const double x = f[i];
        if (x >= 32767) {
            a[i] = 32767;
        } else if (x <= -32768) {
            a[i] = -32768;
        } else {
            const double s = x >= 0 ? x + 0.5 : x - 0.5;
            int t = static_cast<int>(s);
            if ((t & 1) != 0 && t == s)
                t += t > 0 ? -1 : 1;
            a[i] = static_cast<Ipp16s>(t);
        }
    }
}
void BM_Convert32f16s_Scalar(benchmark::State& s)
{
    const auto f = Floats(CLen, -40000, 40000);
    std::vector<Ipp16s> a(CLen);
    Loop(s, CLen, [&] { Scalar32f16s(f.data(), a.data(), CLen); });
}

void BM_Convert32f8s_Kernel(benchmark::State& s)
{
    const auto f = Floats(CLen, -200, 200);
    std::vector<Ipp8s> a(CLen);
    Loop(s, CLen, [&] { _px_ippiConvert_32f8s_C1R(f.data(), 4 * CLen, a.data(), CLen, {CLen, 1}, ippRndNear); });
}

// ---------------------------------------------------------------- filters

void BM_FIROne31_Kernel(benchmark::State& s)
{
    std::vector<double> taps(31, 1.0 / 31), delay(62, 0.0);
    FIRState_64f st{SNFIRState64fTag, 0, taps.data(), delay.data(), 31, 0};
    const auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] {
        double y = 0;
        for (int i = 0; i < CLen; ++i)
            _px_ippsFIROne_64f(x[i], &y, &st);
        benchmark::DoNotOptimize(y);
    });
}
SN_SCALAR double ScalarFIR(const double* taps, double* hist, int n, double x)
{
    for (int j = n - 1; j > 0; --j)
        hist[j] = hist[j - 1];
    hist[0] = x;
    double y = 0;
    for (int j = 0; j < n; ++j)
        y += taps[j] * hist[j];
    return y;
}
void BM_FIROne31_Scalar(benchmark::State& s)
{
    std::vector<double> taps(31, 1.0 / 31), hist(31, 0.0);
    const auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] {
        double y = 0;
        for (int i = 0; i < CLen; ++i)
            y = ScalarFIR(taps.data(), hist.data(), 31, x[i]);
        benchmark::DoNotOptimize(y);
    });
}

void BM_IIROneBiQuad2_Kernel(benchmark::State& s)
{
    std::vector<double> taps = {0.3, 0.2, 0.1, -1.0, 0.5, 1.0, -0.5, 0.25, -0.8, 0.1}, delay(4, 0.0);
    IIRState_64f st{SNIIRState64fBiQuadTag, 0, taps.data(), delay.data(), 2, 0};
    const auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] {
        double y = 0;
        for (int i = 0; i < CLen; ++i)
            _px_ippsIIROne_64f(x[i], &y, &st);
        benchmark::DoNotOptimize(y);
    });
}

void BM_IIR32fOrder4_Kernel(benchmark::State& s)
{
    const float taps[10] = {0.1f, 0.2f, 0.3f, 0.2f, 0.1f, 1.0f, -0.5f, 0.2f, -0.05f, 0.01f};
    IIRState_32f* st = nullptr;
    _px_ippsIIRInitAlloc_32f(&st, taps, 4, nullptr);
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { _px_ippsIIR_32f_I(x.data(), CLen, st); });
    _px_ippsIIRFree_32f(st);
}
SN_SCALAR void ScalarIIR4(float* x, int n, const double* b, const double* a, double* xs, double* ys)
{
    // Direct form I with shifting histories.
    for (int i = 0; i < n; ++i) {
        double y = b[0] * x[i];
        for (int k = 1; k <= 4; ++k)
            y += b[k] * xs[k - 1] - a[k] * ys[k - 1];
        for (int k = 3; k > 0; --k) {
            xs[k] = xs[k - 1];
            ys[k] = ys[k - 1];
        }
        xs[0] = x[i];
        ys[0] = y;
        x[i] = static_cast<float>(y);
    }
}
void BM_IIR32fOrder4_Scalar(benchmark::State& s)
{
    const double b[5] = {0.1, 0.2, 0.3, 0.2, 0.1}, a[5] = {1.0, -0.5, 0.2, -0.05, 0.01};
    double xs[4] = {}, ys[4] = {};
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { ScalarIIR4(x.data(), CLen, b, a, xs, ys); });
}

void BM_IIR32fBiQuad2_Kernel(benchmark::State& s)
{
    const float taps[12] = {0.3f, 0.2f, 0.1f, 1.0f, -1.0f, 0.5f, 1.0f, -0.5f, 0.25f, 1.0f, -0.8f, 0.1f};
    int size = 0;
    _px_ippsIIRGetStateSize_BiQuad_32f(2, &size);
    std::vector<Ipp8u> buf(size);
    IIRState_32f* st = nullptr;
    _px_ippsIIRInit_BiQuad_32f(&st, taps, 2, nullptr, buf.data());
    auto x = Floats(CLen, -1, 1);
    Loop(s, CLen, [&] { _px_ippsIIR_32f_I(x.data(), CLen, st); });
}

BENCHMARK(BM_Tone_Kernel);
BENCHMARK(BM_Tone_Scalar);
BENCHMARK(BM_Triangle_Kernel);
BENCHMARK(BM_Triangle_Scalar);
BENCHMARK(BM_Square_Kernel);
BENCHMARK(BM_Ramp_Kernel);
BENCHMARK(BM_Ramp_Scalar);
BENCHMARK(BM_RandUniform_Kernel);
BENCHMARK(BM_RandUniform_Scalar);
BENCHMARK(BM_RandGauss_Kernel);
BENCHMARK(BM_RandGauss_Scalar);
BENCHMARK(BM_Add16s_Kernel);
BENCHMARK(BM_Add16s_Scalar);
BENCHMARK(BM_Threshold_Kernel);
BENCHMARK(BM_Threshold_Scalar);
BENCHMARK(BM_Sum_Kernel);
BENCHMARK(BM_Sum_Scalar);
BENCHMARK(BM_Sqr_Kernel);
BENCHMARK(BM_Sqr_Scalar);
BENCHMARK(BM_MulC_Kernel);
BENCHMARK(BM_MulC_Scalar);
BENCHMARK(BM_DivC_Kernel);
BENCHMARK(BM_DivC_Scalar);
BENCHMARK(BM_ConjCcs_Kernel);
BENCHMARK(BM_ConjCcs_Scalar);
BENCHMARK(BM_CompensateOffset_Kernel);
BENCHMARK(BM_SampleDown_Kernel);
BENCHMARK(BM_PeriodicityLSPE_Kernel);
BENCHMARK(BM_Convert16s32f_Kernel);
BENCHMARK(BM_Convert16s32f_Scalar);
BENCHMARK(BM_Convert8s32f_Kernel);
BENCHMARK(BM_Convert32f16s_Kernel);
BENCHMARK(BM_Convert32f16s_Scalar);
BENCHMARK(BM_Convert32f8s_Kernel);
BENCHMARK(BM_FIROne31_Kernel);
BENCHMARK(BM_FIROne31_Scalar);
BENCHMARK(BM_IIROneBiQuad2_Kernel);
BENCHMARK(BM_IIR32fOrder4_Kernel);
BENCHMARK(BM_IIR32fOrder4_Scalar);
BENCHMARK(BM_IIR32fBiQuad2_Kernel);

} // namespace
