// SPDX-License-Identifier: MIT
#include "DGFilterCalc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

using namespace Sonorix;

namespace {

struct TReferenceCase {
    std::string Line; // what it was, for messages
    std::string Tag;
    TDGFilterType Kind{};
    TDGDesignFilterType Design{};
    TDGWindowType Window{};
    TDGIIRFilterType Family{};
    int32_t Order = 0;
    double F1 = 0, F2 = 0, Fs = 0, Alpha = 0;
    std::vector<double> Values;
};

// Written by tests/data/filter_reference.py (scipy.signal).
std::vector<TReferenceCase> LoadReference()
{
    std::ifstream LFile(SONORIX_SOURCE_DIR "/tests/data/filter_reference.txt");
    EXPECT_TRUE(LFile.good()) << "tests/data/filter_reference.txt is missing";
    std::vector<TReferenceCase> LCases;
    std::string LLine;
    while (std::getline(LFile, LLine)) {
        std::istringstream LStream(LLine);
        TReferenceCase LCase;
        std::string LKind, LWindow, LFamily;
        int LDesign = 0;
        size_t LCount = 0;
        LStream >> LCase.Tag >> LKind >> LDesign >> LWindow >> LFamily >> LCase.Order >> LCase.F1 >> LCase.F2 >>
            LCase.Fs >> LCase.Alpha >> LCount;
        LCase.Kind = static_cast<TDGFilterType>(ParseEnum(TDGFilterTypeInfo, LKind));
        LCase.Design = static_cast<TDGDesignFilterType>(LDesign);
        LCase.Window = static_cast<TDGWindowType>(ParseEnum(TDGWindowTypeInfo, LWindow));
        LCase.Family = static_cast<TDGIIRFilterType>(ParseEnum(TDGIIRFilterTypeInfo, LFamily));
        const size_t LValues = LCase.Tag == "response" ? 2 * LCount : LCount;
        LCase.Values.resize(LValues);
        for (double& v : LCase.Values)
            LStream >> v;
        EXPECT_TRUE(LStream) << "malformed reference line: " << LLine.substr(0, 80);
        LCase.Line = LLine.substr(0, LLine.find(' ', 60));
        LCases.push_back(std::move(LCase));
    }
    return LCases;
}

IDGFilterInfoPtr Design(const TReferenceCase& ACase)
{
    return DGFilterCalc(ACase.Kind, ACase.Design, ACase.Order, ACase.F1, ACase.F2, ACase.Fs, ACase.Window,
                        ACase.Family, ACase.Alpha);
}

double Decibels(std::complex<double> AValue)
{
    return 20.0 * std::log10(std::max(std::abs(AValue), 1e-300));
}

double GainDb(TDGFilterType AKind, TDGDesignFilterType ADesign, int32_t AOrder, double AF1, double AF2,
              TDGWindowType AWindow, TDGIIRFilterType AFamily, double AFrequency, double AAlpha = 1.0)
{
    return Decibels(
        DGFilterCalc(AKind, ADesign, AOrder, AF1, AF2, 44100.0, AWindow, AFamily, AAlpha)->GetResponse(AFrequency));
}

} // namespace

TEST(DGFilterCalcTest, MatchesTheReferenceCoefficientsAndTheResponsesOfHighOrdersAndSections)
{
    size_t LTapsCases = 0, LResponseCases = 0;
    for (const TReferenceCase& LCase : LoadReference()) {
        SCOPED_TRACE(LCase.Line);
        const IDGFilterInfoPtr LInfo = Design(LCase);
        if (LCase.Tag == "taps") {
            ++LTapsCases;
            const std::vector<double> LTaps = LInfo->GetTaps();
            ASSERT_EQ(LTaps.size(), LCase.Values.size());
            double LLargest = 0.0;
            for (double v : LCase.Values)
                LLargest = std::max(LLargest, std::fabs(v));
            // FIR taps are sums of a few sines: near machine precision. IIR
            // polynomials are expanded from their roots, which loses a few
            // more digits as the order grows.
            const double LTolerance = (LCase.Kind == ftFIR ? 1e-12 : 1e-9) * LLargest;
            for (size_t i = 0; i < LTaps.size(); ++i)
                ASSERT_NEAR(LTaps[i], LCase.Values[i], LTolerance) << "tap " << i;
            continue;
        }
        ++LResponseCases;
        for (size_t i = 0; i < LCase.Values.size(); i += 2) {
            const double LFrequency = LCase.Values[i], LExpected = LCase.Values[i + 1];
            const double LActual = Decibels(LInfo->GetResponse(LFrequency));
            // The direct form's polynomials lose digits near their poles: its
            // response is compared a little more loosely. Deep notches only
            // need to be deep.
            const bool LDirect = LCase.Kind == ftIIR;
            if (LExpected > -60.0)
                ASSERT_NEAR(LActual, LExpected, LDirect ? 0.1 : 0.01) << "at " << LFrequency << " Hz";
            else if (LExpected > -100.0)
                ASSERT_NEAR(LActual, LExpected, LDirect ? 3.0 : 0.5) << "at " << LFrequency << " Hz";
            else
                ASSERT_LT(LActual, -90.0) << "at " << LFrequency << " Hz";
        }
    }
    EXPECT_GT(LTapsCases, 200u);
    EXPECT_GT(LResponseCases, 90u);
}

TEST(DGFilterCalcTest, FIRResponseIsScaledToUnityGainAndStops)
{
    // The reference covers the taps; the response of a FIR design is its own sum.
    const auto LGain = [](double f) {
        return GainDb(ftFIR, dfLowPass, 101, 1000.0, -1.0, wtHamming, iirBessel, f);
    };
    EXPECT_NEAR(LGain(0.0), 0.0, 1e-9);
    EXPECT_NEAR(LGain(1000.0), -6.02, 0.3) << "the window method puts the corner at half amplitude";
    EXPECT_LE(LGain(5000.0), -40.0);
    EXPECT_NEAR(GainDb(ftFIR, dfHighPass, 101, 8000.0, -1.0, wtBlackman, iirBessel, 22050.0), 0.0, 0.5);
}

TEST(DGFilterCalcTest, TapsComeInTheLayoutOfTheirKind)
{
    for (int32_t LOrder : {1, 2, 3, 7, 8}) {
        SCOPED_TRACE(LOrder);
        EXPECT_EQ(DGFilterCalc(ftFIR, dfBandStop, LOrder, 100, 200, 8000, wtKaiser, iirBessel, 0.5)->GetTaps().size(),
                  size_t(LOrder));
        // The reference holds direct-form taps; sections of six values here.
        for (TDGDesignFilterType LDesign : {dfLowPass, dfHighPass, dfBandPass, dfBandStop}) {
            const int32_t LFilterOrder = LDesign >= dfBandPass ? 2 * LOrder : LOrder;
            const std::vector<double> LSections =
                DGFilterCalc(ftBiquadIIR, LDesign, LOrder, 1000, 2000, 8000, wtHamming, iirBessel, 1.0)->GetTaps();
            ASSERT_EQ(LSections.size(), size_t(6 * ((LFilterOrder + 1) / 2)));
            for (size_t s = 0; s < LSections.size(); s += 6) {
                EXPECT_DOUBLE_EQ(LSections[s + 3], 1.0) << "a0 of section " << s / 6;
                EXPECT_NE(LSections[s], 0.0) << "b0 of section " << s / 6;
            }
        }
    }
}

TEST(DGFilterCalcTest, WindowsHaveTheirTextbookValues)
{
    const auto LExpect = [](TDGWindowType AWindow, double AAlpha, std::vector<double> AValues) {
        const std::vector<double> LWindow = DGWindow(AWindow, static_cast<int32_t>(AValues.size()), AAlpha);
        ASSERT_EQ(LWindow.size(), AValues.size());
        for (size_t i = 0; i < AValues.size(); ++i)
            EXPECT_NEAR(LWindow[i], AValues[i], 1e-15) << "window " << AWindow << " value " << i;
    };
    LExpect(wtRect, 1.0, {1, 1, 1, 1, 1});
    LExpect(wtBartlett, 1.0, {0, 0.5, 1, 0.5, 0});
    LExpect(wtHamming, 1.0, {0.08, 0.54, 1, 0.54, 0.08});
    LExpect(wtHanning, 1.0, {0, 0.5, 1, 0.5, 0});
    LExpect(wtBlackman, 1.0, {0, 0.34, 1, 0.34, 0});
    LExpect(wtKaiser, 0.0, {1, 1, 1, 1, 1});
    // beta = Alpha * (5 - 1) / 2 = 1: I0(sqrt(3)/2) / I0(1) and 1 / I0(1).
    LExpect(wtKaiser, 0.5, {1 / 1.2660658777520082, 1.1964743299133564 / 1.2660658777520082, 1,
                            1.1964743299133564 / 1.2660658777520082, 1 / 1.2660658777520082});
    // Very large shapes stay finite and peak at 1.
    const std::vector<double> LWide = DGWindow(wtKaiser, 1001, 50.0);
    EXPECT_DOUBLE_EQ(LWide[500], 1.0);
    for (double v : LWide)
        ASSERT_TRUE(std::isfinite(v) && v >= 0.0 && v <= 1.0);
}

TEST(DGFilterCalcTest, OutsideArgumentsGiveFiniteBoundedDesigns)
{
    constexpr double CNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double CInf = std::numeric_limits<double>::infinity();
    for (TDGFilterType LKind : {ftFIR, ftIIR, ftBiquadIIR})
        for (TDGDesignFilterType LDesign : {dfLowPass, dfHighPass, dfBandPass, dfBandStop})
            for (double LFs : {0.0, -44100.0, CNaN, CInf, 1.0, 44100.0})
                for (double LF1 : {-5.0, 0.0, 1000.0, CNaN, 1e12})
                    for (int32_t LOrder : {-3, 0, 1, 1000000}) {
                        SCOPED_TRACE(::testing::Message() << LKind << " " << LDesign << " fs " << LFs << " f1 " << LF1
                                                          << " order " << LOrder);
                        const std::vector<double> LTaps =
                            DGFilterCalc(LKind, LDesign, LOrder, LF1, LF1 / 2, LFs, wtKaiser, iirChebyshev, CNaN)
                                ->GetTaps();
                        ASSERT_FALSE(LTaps.empty());
                        ASSERT_LE(LTaps.size(), size_t(LKind == ftFIR ? MaxFIROrder : 6 * 2 * MaxIIROrder));
                        for (double v : LTaps)
                            ASSERT_TRUE(std::isfinite(v));
                    }
    // Without a rate a low pass lets everything through.
    EXPECT_NEAR(std::abs(DGFilterCalc(ftFIR, dfLowPass, 41, 1000, -1, 0.0, wtHamming, iirBessel, 1)->GetResponse(0)),
                1.0, 1e-12);
    EXPECT_THROW(DGFilterCalc(static_cast<TDGFilterType>(7), dfLowPass, 41, 1000, -1, 8000, wtHamming, iirBessel, 1),
                 EAssertionFailed);
}
