// SPDX-License-Identifier: MIT
#include "DGFilterCalc.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Sonorix {

namespace {
constexpr const char* CFilterTypeNames[] = {"ftFIR", "ftIIR", "ftBiquadIIR"};
constexpr const char* CWindowTypeNames[] = {"wtRect", "wtBartlett", "wtBlackman", "wtHamming", "wtHanning", "wtKaiser"};
constexpr const char* CIIRFilterTypeNames[] = {"iirBessel", "iirButterworth", "iirChebyshev"};
} // namespace

const TEnumInfo TDGFilterTypeInfo{"TDGFilterType", CFilterTypeNames};
const TEnumInfo TDGWindowTypeInfo{"TDGWindowType", CWindowTypeNames};
const TEnumInfo TDGIIRFilterTypeInfo{"TDGIIRFilterType", CIIRFilterTypeNames};

namespace {

using TComplex = std::complex<double>;
using TRoots = std::vector<TComplex>;
constexpr double CPi = std::numbers::pi;

// Edge frequency as a fraction of the sample rate, within [0, 0.5]. Without a
// usable rate the edge sits at half the rate: a low pass then passes all.
double Normalise(double AFrequency, double ASampleRate)
{
    if (!(ASampleRate > 0.0) || !std::isfinite(ASampleRate))
        return 0.5;
    const double LValue = AFrequency / ASampleRate;
    if (std::isnan(LValue))
        return 0.0;
    return std::clamp(LValue, 0.0, 0.5);
}

double Sinc(double x)
{
    if (x == 0.0)
        return 1.0;
    const double LArg = CPi * x;
    return std::sin(LArg) / LArg;
}

// log I0(x) for x >= 0: the power series while it stays inside a double,
// the asymptotic expansion beyond.
double LogBesselI0(double x)
{
    x = std::fabs(x);
    if (x < 700.0) {
        const double LQuarter = x * x / 4.0;
        double LTerm = 1.0;
        double LSum = 1.0;
        for (int k = 1; k < 2000; ++k) {
            LTerm *= LQuarter / (double(k) * double(k));
            LSum += LTerm;
            if (LTerm < LSum * 1e-17)
                break;
        }
        return std::log(LSum);
    }
    const double LInv = 1.0 / (8.0 * x);
    const double LSeries = 1.0 + LInv * (1.0 + LInv * (9.0 / 2.0 + LInv * (225.0 / 6.0)));
    return x - 0.5 * std::log(2.0 * CPi * x) + std::log(LSeries);
}

// --- FIR --------------------------------------------------------------------

std::vector<double> DesignFIR(TDGDesignFilterType ADesign, int32_t AOrder, double ANorm1, double ANorm2,
                              TDGWindowType AWindow, double AAlpha)
{
    // Band edges as fractions of half the sample rate.
    const double c1 = 2.0 * ANorm1;
    const double c2 = 2.0 * ANorm2;
    struct TBand {
        double Left, Right;
    };
    std::vector<TBand> LBands;
    double LScaleAt = 0.0;
    switch (ADesign) {
    case dfLowPass:
        LBands = {{0.0, c1}};
        break;
    case dfHighPass:
        LBands = {{c1, 1.0}};
        LScaleAt = 1.0;
        break;
    case dfBandPass:
        LBands = {{c1, c2}};
        LScaleAt = 0.5 * (c1 + c2);
        break;
    case dfBandStop:
        LBands = {{0.0, c1}, {c2, 1.0}};
        break;
    }
    const std::vector<double> LWindow = DGWindow(AWindow, AOrder, AAlpha);
    const double LCentre = 0.5 * (AOrder - 1);
    std::vector<double> LTaps(static_cast<size_t>(AOrder));
    double LScale = 0.0;
    double LMagnitude = 0.0;
    for (int32_t n = 0; n < AOrder; ++n) {
        const double m = n - LCentre;
        double h = 0.0;
        for (const TBand& LBand : LBands)
            h += LBand.Right * Sinc(LBand.Right * m) - LBand.Left * Sinc(LBand.Left * m);
        h *= LWindow[static_cast<size_t>(n)];
        LTaps[static_cast<size_t>(n)] = h;
        LScale += h * std::cos(CPi * m * LScaleAt);
        LMagnitude += std::fabs(h);
    }
    // An even-length high pass has a zero at half the rate, and an empty band
    // has no gain anywhere: those keep their unscaled taps.
    if (std::fabs(LScale) > 1e-9 * LMagnitude && std::isfinite(LScale))
        for (double& h : LTaps)
            h /= LScale;
    return LTaps;
}

// --- IIR: analog prototypes in zeros, poles and gain -------------------------

struct TZpk {
    TRoots Zeros;
    TRoots Poles;
    double Gain = 1.0;
};

TComplex ProductOfNegated(const TRoots& ARoots)
{
    TComplex LProduct = 1.0;
    for (const TComplex& r : ARoots)
        LProduct *= -r;
    return LProduct;
}

TZpk ButterworthPrototype(int N)
{
    TZpk LZpk;
    for (int m = -N + 1; m < N; m += 2)
        LZpk.Poles.push_back(-std::exp(TComplex(0.0, CPi * m / (2.0 * N))));
    return LZpk;
}

TZpk ChebyshevPrototype(int N, double ARippleDb)
{
    const double LEps = std::sqrt(std::pow(10.0, 0.1 * ARippleDb) - 1.0);
    const double LMu = std::asinh(1.0 / LEps) / N;
    TZpk LZpk;
    for (int m = -N + 1; m < N; m += 2) {
        const double LTheta = CPi * m / (2.0 * N);
        LZpk.Poles.push_back(-std::sinh(TComplex(LMu, LTheta)));
    }
    LZpk.Gain = ProductOfNegated(LZpk.Poles).real();
    if (N % 2 == 0)
        LZpk.Gain /= std::sqrt(1.0 + LEps * LEps);
    return LZpk;
}

// Poles of the Bessel filter: the roots of the reverse Bessel polynomial
// theta_N, with s scaled by a_0^(1/N) so that the roots' product is 1 (the
// phase then passes -N pi / 4 at 1 rad/s). The scaled polynomial's roots lie
// near the Butterworth poles, which serve as starting points of the Aberth
// iteration.
TZpk BesselPrototype(int N)
{
    using TLong = std::complex<long double>;
    // log of a_k = (2N - k)! / (2^(N - k) k! (N - k)!).
    std::vector<long double> LLogA(static_cast<size_t>(N) + 1);
    for (int k = 0; k <= N; ++k)
        LLogA[static_cast<size_t>(k)] = std::lgamma(2.0L * N - k + 1) - (N - k) * std::log(2.0L) -
                                        std::lgamma(k + 1.0L) - std::lgamma(N - k + 1.0L);
    // Monic in the scaled variable: b_k = a_k c^(k - N), c = a_0^(1/N).
    std::vector<long double> b(static_cast<size_t>(N) + 1);
    for (int k = 0; k <= N; ++k)
        b[static_cast<size_t>(k)] = std::exp(LLogA[static_cast<size_t>(k)] + (k - N) * LLogA[0] / N);
    b[static_cast<size_t>(N)] = 1.0L;

    std::vector<TLong> z(static_cast<size_t>(N));
    for (int i = 0; i < N; ++i)
        z[static_cast<size_t>(i)] = std::exp(TLong(0.0L, std::numbers::pi_v<long double> * (2 * i + N + 1) / (2.0L * N)));
    for (int LIteration = 0; LIteration < 500; ++LIteration) {
        long double LLargest = 0.0L;
        for (size_t i = 0; i < z.size(); ++i) {
            TLong p = b[static_cast<size_t>(N)];
            TLong dp = 0.0L;
            for (int k = N - 1; k >= 0; --k) {
                dp = dp * z[i] + p;
                p = p * z[i] + b[static_cast<size_t>(k)];
            }
            if (std::abs(dp) == 0.0L)
                continue;
            const TLong LRatio = p / dp;
            TLong LSum = 0.0L;
            for (size_t j = 0; j < z.size(); ++j)
                if (j != i)
                    LSum += 1.0L / (z[i] - z[j]);
            const TLong LStep = LRatio / (1.0L - LRatio * LSum);
            z[i] -= LStep;
            LLargest = std::max(LLargest, std::abs(LStep) / std::max(std::abs(z[i]), 1e-30L));
        }
        if (LLargest < 1e-19L)
            break;
    }
    // Exact conjugate symmetry: keep the upper half and mirror it.
    TZpk LZpk;
    for (const TLong& r : z) {
        const double LRe = static_cast<double>(r.real());
        const double LIm = static_cast<double>(r.imag());
        if (std::fabs(LIm) <= 1e-12 * std::abs(TComplex(LRe, LIm)))
            LZpk.Poles.emplace_back(LRe, 0.0);
        else if (LIm > 0.0) {
            LZpk.Poles.emplace_back(LRe, LIm);
            LZpk.Poles.emplace_back(LRe, -LIm);
        }
    }
    LZpk.Gain = ProductOfNegated(LZpk.Poles).real();
    return LZpk;
}

void AppendRepeated(TRoots& ARoots, TComplex AValue, size_t ACount)
{
    ARoots.insert(ARoots.end(), ACount, AValue);
}

TZpk ToLowPass(const TZpk& A, double w)
{
    TZpk LResult = A;
    for (TComplex& z : LResult.Zeros)
        z *= w;
    for (TComplex& p : LResult.Poles)
        p *= w;
    LResult.Gain = A.Gain * std::pow(w, static_cast<double>(A.Poles.size() - A.Zeros.size()));
    return LResult;
}

TZpk ToHighPass(const TZpk& A, double w)
{
    TZpk LResult;
    for (const TComplex& z : A.Zeros)
        LResult.Zeros.push_back(w / z);
    for (const TComplex& p : A.Poles)
        LResult.Poles.push_back(w / p);
    AppendRepeated(LResult.Zeros, 0.0, A.Poles.size() - A.Zeros.size());
    LResult.Gain = A.Gain * (ProductOfNegated(A.Zeros) / ProductOfNegated(A.Poles)).real();
    return LResult;
}

TZpk ToBandPass(const TZpk& A, double w0, double bw)
{
    TZpk LResult;
    auto LSplit = [&](const TRoots& ARoots, TRoots& AOut) {
        for (const TComplex& r : ARoots) {
            const TComplex LScaled = r * (bw / 2.0);
            const TComplex LRoot = std::sqrt(LScaled * LScaled - w0 * w0);
            AOut.push_back(LScaled + LRoot);
        }
        for (const TComplex& r : ARoots) {
            const TComplex LScaled = r * (bw / 2.0);
            const TComplex LRoot = std::sqrt(LScaled * LScaled - w0 * w0);
            AOut.push_back(LScaled - LRoot);
        }
    };
    LSplit(A.Zeros, LResult.Zeros);
    LSplit(A.Poles, LResult.Poles);
    const size_t LDegree = A.Poles.size() - A.Zeros.size();
    AppendRepeated(LResult.Zeros, 0.0, LDegree);
    LResult.Gain = A.Gain * std::pow(bw, static_cast<double>(LDegree));
    return LResult;
}

TZpk ToBandStop(const TZpk& A, double w0, double bw)
{
    TZpk LResult;
    auto LSplit = [&](const TRoots& ARoots, TRoots& AOut) {
        for (const TComplex& r : ARoots) {
            const TComplex LInverted = (bw / 2.0) / r;
            AOut.push_back(LInverted + std::sqrt(LInverted * LInverted - w0 * w0));
        }
        for (const TComplex& r : ARoots) {
            const TComplex LInverted = (bw / 2.0) / r;
            AOut.push_back(LInverted - std::sqrt(LInverted * LInverted - w0 * w0));
        }
    };
    LSplit(A.Zeros, LResult.Zeros);
    LSplit(A.Poles, LResult.Poles);
    const size_t LDegree = A.Poles.size() - A.Zeros.size();
    AppendRepeated(LResult.Zeros, TComplex(0.0, w0), LDegree);
    AppendRepeated(LResult.Zeros, TComplex(0.0, -w0), LDegree);
    LResult.Gain = A.Gain * (ProductOfNegated(A.Zeros) / ProductOfNegated(A.Poles)).real();
    return LResult;
}

// Bilinear transform at a sample rate of 2 (edges are fractions of half the
// rate), s = 4 (z - 1) / (z + 1).
TZpk Bilinear(const TZpk& A)
{
    constexpr double CFs2 = 4.0;
    TZpk LResult;
    TComplex LNumerator = 1.0, LDenominator = 1.0;
    for (const TComplex& z : A.Zeros) {
        LResult.Zeros.push_back((CFs2 + z) / (CFs2 - z));
        LNumerator *= CFs2 - z;
    }
    for (const TComplex& p : A.Poles) {
        LResult.Poles.push_back((CFs2 + p) / (CFs2 - p));
        LDenominator *= CFs2 - p;
    }
    AppendRepeated(LResult.Zeros, -1.0, A.Poles.size() - A.Zeros.size());
    LResult.Gain = A.Gain * (LNumerator / LDenominator).real();
    return LResult;
}

// The real polynomial with these roots, highest power first (leading 1).
std::vector<double> Polynomial(const TRoots& ARoots)
{
    std::vector<TComplex> LCoefficients{1.0};
    for (const TComplex& r : ARoots) {
        LCoefficients.push_back(0.0);
        for (size_t i = LCoefficients.size() - 1; i > 0; --i)
            LCoefficients[i] -= r * LCoefficients[i - 1];
    }
    std::vector<double> LReal(LCoefficients.size());
    for (size_t i = 0; i < LCoefficients.size(); ++i)
        LReal[i] = LCoefficients[i].real();
    return LReal;
}

// Splits roots into conjugate pairs and single real roots.
struct TRootGroups {
    std::vector<TComplex> Pairs; // upper member of each conjugate pair
    std::vector<double> Reals;
};

TRootGroups GroupRoots(const TRoots& ARoots)
{
    TRootGroups LGroups;
    for (const TComplex& r : ARoots) {
        const double LTolerance = 1e-10 * std::max(1.0, std::abs(r));
        if (std::fabs(r.imag()) <= LTolerance)
            LGroups.Reals.push_back(r.real());
        else if (r.imag() > 0.0)
            LGroups.Pairs.push_back(r);
    }
    return LGroups;
}

// Second-order sections: the pole pairs farthest from the unit circle come
// first, each with the zeros nearest to its poles; the gain goes into the
// first section.
std::vector<double> Sections(const TZpk& AZpk)
{
    TRootGroups LPoles = GroupRoots(AZpk.Poles);
    TRootGroups LZeros = GroupRoots(AZpk.Zeros);
    struct TSection {
        TRoots Poles, Zeros;
    };
    std::vector<TSection> LSections;
    std::sort(LPoles.Pairs.begin(), LPoles.Pairs.end(),
              [](TComplex a, TComplex b) { return std::abs(a) < std::abs(b); });
    std::sort(LPoles.Reals.begin(), LPoles.Reals.end(),
              [](double a, double b) { return std::fabs(a) < std::fabs(b); });
    for (const TComplex& p : LPoles.Pairs)
        LSections.push_back({{p, std::conj(p)}, {}});
    for (size_t i = 0; i < LPoles.Reals.size(); i += 2) {
        TSection LSection;
        LSection.Poles.push_back(LPoles.Reals[i]);
        if (i + 1 < LPoles.Reals.size())
            LSection.Poles.push_back(LPoles.Reals[i + 1]);
        LSections.push_back(LSection);
    }
    // Sections in order of the largest pole magnitude, smallest first.
    auto LRadius = [](const TSection& S) {
        double r = 0.0;
        for (const TComplex& p : S.Poles)
            r = std::max(r, std::abs(p));
        return r;
    };
    std::stable_sort(LSections.begin(), LSections.end(),
                     [&](const TSection& a, const TSection& b) { return LRadius(a) < LRadius(b); });
    // Zeros: each section takes, as long as it has room, the nearest
    // conjugate pair or real zero, visiting the sections closest to the unit
    // circle first.
    for (size_t s = LSections.size(); s-- > 0;) {
        TSection& LSection = LSections[s];
        const size_t LRoom = LSection.Poles.size();
        const TComplex LPole = LSection.Poles.front();
        while (LSection.Zeros.size() < LRoom) {
            double LBest = 1e300;
            int LKind = -1;
            size_t LIndex = 0;
            if (LRoom - LSection.Zeros.size() >= 2)
                for (size_t i = 0; i < LZeros.Pairs.size(); ++i)
                    if (std::abs(LZeros.Pairs[i] - LPole) < LBest) {
                        LBest = std::abs(LZeros.Pairs[i] - LPole);
                        LKind = 0;
                        LIndex = i;
                    }
            for (size_t i = 0; i < LZeros.Reals.size(); ++i)
                if (std::abs(LZeros.Reals[i] - LPole) < LBest) {
                    LBest = std::abs(LZeros.Reals[i] - LPole);
                    LKind = 1;
                    LIndex = i;
                }
            if (LKind == 0) {
                LSection.Zeros.push_back(LZeros.Pairs[LIndex]);
                LSection.Zeros.push_back(std::conj(LZeros.Pairs[LIndex]));
                LZeros.Pairs.erase(LZeros.Pairs.begin() + static_cast<std::ptrdiff_t>(LIndex));
            } else if (LKind == 1) {
                LSection.Zeros.push_back(LZeros.Reals[LIndex]);
                LZeros.Reals.erase(LZeros.Reals.begin() + static_cast<std::ptrdiff_t>(LIndex));
            } else {
                break;
            }
        }
    }
    std::vector<double> LTaps;
    for (size_t s = 0; s < LSections.size(); ++s) {
        std::vector<double> b = Polynomial(LSections[s].Zeros);
        std::vector<double> a = Polynomial(LSections[s].Poles);
        b.resize(3, 0.0);
        a.resize(3, 0.0);
        if (s == 0)
            for (double& v : b)
                v *= AZpk.Gain;
        LTaps.insert(LTaps.end(), b.begin(), b.end());
        LTaps.insert(LTaps.end(), a.begin(), a.end());
    }
    return LTaps;
}

std::vector<double> DesignIIR(TDGFilterType AFilterType, TDGDesignFilterType ADesign, int32_t AOrder, double ANorm1,
                              double ANorm2, TDGIIRFilterType AFamily, double AAlpha)
{
    // Edges as fractions of half the rate, kept off 0 and 1 where the
    // pre-warping is singular.
    constexpr double CMin = 1e-6;
    double w1 = std::clamp(2.0 * ANorm1, CMin, 1.0 - CMin);
    double w2 = std::clamp(2.0 * ANorm2, CMin, 1.0 - CMin);
    if (w2 - w1 < CMin) {
        w2 = std::min(w1 + CMin, 1.0 - CMin);
        w1 = w2 - CMin;
    }
    TZpk LPrototype;
    switch (AFamily) {
    case iirButterworth:
        LPrototype = ButterworthPrototype(AOrder);
        break;
    case iirChebyshev:
        LPrototype = ChebyshevPrototype(AOrder, std::isfinite(AAlpha) ? std::max(std::fabs(AAlpha), 1e-3) : 1.0);
        break;
    default:
        LPrototype = BesselPrototype(AOrder);
        break;
    }
    auto LWarp = [](double w) { return 4.0 * std::tan(CPi * w / 2.0); };
    TZpk LAnalog;
    switch (ADesign) {
    case dfLowPass:
        LAnalog = ToLowPass(LPrototype, LWarp(w1));
        break;
    case dfHighPass:
        LAnalog = ToHighPass(LPrototype, LWarp(w1));
        break;
    case dfBandPass:
    case dfBandStop: {
        const double LLow = LWarp(w1), LHigh = LWarp(w2);
        const double LCentre = std::sqrt(LLow * LHigh);
        LAnalog = ADesign == dfBandPass ? ToBandPass(LPrototype, LCentre, LHigh - LLow)
                                        : ToBandStop(LPrototype, LCentre, LHigh - LLow);
        break;
    }
    }
    const TZpk LDigital = Bilinear(LAnalog);
    if (AFilterType == ftBiquadIIR)
        return Sections(LDigital);
    std::vector<double> b = Polynomial(LDigital.Zeros);
    std::vector<double> a = Polynomial(LDigital.Poles);
    for (double& v : b)
        v *= LDigital.Gain;
    std::vector<double> LTaps = b;
    LTaps.insert(LTaps.end(), a.begin(), a.end());
    return LTaps;
}

class TDGFilterInfo final : public IDGFilterInfo {
public:
    TDGFilterInfo(TDGFilterType AFilterType, std::vector<double> ATaps, double ASampleRate)
        : FFilterType(AFilterType), FTaps(std::move(ATaps)), FSampleRate(ASampleRate)
    {
    }
    std::vector<double> GetTaps() const override { return FTaps; }
    std::complex<double> GetResponse(double AFrequency) const override
    {
        return DGFilterResponse(FFilterType, FTaps, FSampleRate > 0.0 ? AFrequency / FSampleRate : 0.0);
    }
    TDGFilterType GetFilterType() const override { return FFilterType; }

private:
    TDGFilterType FFilterType;
    std::vector<double> FTaps;
    double FSampleRate;
};

// Sum of c[k] z^-k with z = e^(j 2 pi f).
TComplex Evaluate(const double* c, size_t n, double f)
{
    TComplex LSum = 0.0;
    for (size_t k = 0; k < n; ++k)
        LSum += c[k] * std::polar(1.0, -2.0 * CPi * f * static_cast<double>(k));
    return LSum;
}

} // namespace

std::vector<double> DGWindow(TDGWindowType AWindow, int32_t ALength, double AAlpha)
{
    const size_t n = static_cast<size_t>(std::max(ALength, 0));
    std::vector<double> w(n, 1.0);
    if (n < 2)
        return w;
    const double L = static_cast<double>(n - 1);
    switch (AWindow) {
    case wtRect:
        break;
    case wtBartlett:
        for (size_t i = 0; i < n; ++i)
            w[i] = i <= L / 2.0 ? 2.0 * i / L : 2.0 - 2.0 * i / L;
        break;
    case wtBlackman:
        for (size_t i = 0; i < n; ++i)
            w[i] = 0.42 - 0.5 * std::cos(2.0 * CPi * i / L) + 0.08 * std::cos(4.0 * CPi * i / L);
        break;
    case wtHamming:
        for (size_t i = 0; i < n; ++i)
            w[i] = 0.54 - 0.46 * std::cos(2.0 * CPi * i / L);
        break;
    case wtHanning:
        for (size_t i = 0; i < n; ++i)
            w[i] = 0.5 - 0.5 * std::cos(2.0 * CPi * i / L);
        break;
    case wtKaiser: {
        const double LBeta = std::isfinite(AAlpha) ? std::fabs(AAlpha) * L / 2.0 : 0.0;
        const double LDenominator = LogBesselI0(LBeta);
        for (size_t i = 0; i < n; ++i) {
            const double r = 2.0 * i / L - 1.0;
            w[i] = std::exp(LogBesselI0(LBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) - LDenominator);
        }
        break;
    }
    }
    return w;
}

std::complex<double> DGFilterResponse(TDGFilterType AFilterType, const std::vector<double>& ATaps,
                                      double ANormalisedFrequency)
{
    switch (AFilterType) {
    case ftFIR:
        return Evaluate(ATaps.data(), ATaps.size(), ANormalisedFrequency);
    case ftIIR: {
        const size_t n = ATaps.size() / 2;
        return Evaluate(ATaps.data(), n, ANormalisedFrequency) /
               Evaluate(ATaps.data() + n, n, ANormalisedFrequency);
    }
    case ftBiquadIIR: {
        TComplex LProduct = 1.0;
        for (size_t s = 0; s + 6 <= ATaps.size(); s += 6)
            LProduct *= Evaluate(ATaps.data() + s, 3, ANormalisedFrequency) /
                        Evaluate(ATaps.data() + s + 3, 3, ANormalisedFrequency);
        return LProduct;
    }
    }
    return 0.0;
}

IDGFilterInfoPtr DGFilterCalc(TDGFilterType AFilterType, TDGDesignFilterType ADesign, int32_t AOrder,
                              double AFrequency1, double AFrequency2, double ASampleRate, TDGWindowType AWindow,
                              TDGIIRFilterType AIIRType, double AAlpha)
{
    SNAssert(AFilterType == ftFIR || AFilterType == ftIIR || AFilterType == ftBiquadIIR, "Unkonwn filter type");
    if (ADesign < dfLowPass || ADesign > dfBandStop)
        ADesign = dfLowPass;
    if (AWindow < wtRect || AWindow > wtKaiser)
        AWindow = wtHamming;
    if (AIIRType < iirBessel || AIIRType > iirChebyshev)
        AIIRType = iirBessel;
    double LNorm1 = Normalise(AFrequency1, ASampleRate);
    double LNorm2 = Normalise(AFrequency2, ASampleRate);
    if ((ADesign == dfBandPass || ADesign == dfBandStop) && LNorm1 > LNorm2)
        std::swap(LNorm1, LNorm2);
    std::vector<double> LTaps;
    if (AFilterType == ftFIR)
        LTaps = DesignFIR(ADesign, std::clamp(AOrder, 1, MaxFIROrder), LNorm1, LNorm2, AWindow, AAlpha);
    else
        LTaps = DesignIIR(AFilterType, ADesign, std::clamp(AOrder, 1, MaxIIROrder), LNorm1, LNorm2, AIIRType, AAlpha);
    return std::make_shared<TDGFilterInfo>(AFilterType, std::move(LTaps), ASampleRate);
}

} // namespace Sonorix
