// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNGraphicEqualizer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TCase {
    double Fs, Alpha;
    int Order;
    TDGWindowType Window;
    std::vector<std::pair<double, double>> Bands, Centres;
    std::vector<double> Taps;
};

// Written by tests/data/equalizer_reference.py (scipy.signal.firwin).
std::vector<TCase> ReferenceCases()
{
    std::ifstream LFile(SONORIX_SOURCE_DIR "/tests/data/equalizer_reference.txt");
    std::vector<TCase> LCases;
    for (std::string LLine; std::getline(LFile, LLine);) {
        std::istringstream LIn(LLine);
        std::string LTag, LWindow;
        TCase C;
        size_t n;
        LIn >> LTag >> C.Fs >> C.Order >> LWindow >> C.Alpha >> n;
        C.Window = TDGWindowType(ParseEnum(TDGWindowTypeInfo, LWindow));
        C.Bands.resize(n);
        for (auto& [f, g] : C.Bands)
            LIn >> f >> g;
        LIn >> n;
        C.Taps.resize(n);
        for (double& t : C.Taps)
            LIn >> t;
        LIn >> n;
        C.Centres.resize(n);
        for (auto& [f, h] : C.Centres)
            LIn >> f >> h;
        LCases.push_back(C);
    }
    return LCases;
}

// Amplitude of the sine at AFrequency in the second half of AValues.
double Amplitude(const TSamples& AValues, double AFrequency, double AFs)
{
    double s = 0, c = 0;
    const size_t LHalf = AValues.size() / 2;
    for (size_t n = LHalf; n < AValues.size(); ++n) {
        s += AValues[n] * std::sin(2 * std::numbers::pi * AFrequency * n / AFs);
        c += AValues[n] * std::cos(2 * std::numbers::pi * AFrequency * n / AFs);
    }
    return 2 * std::hypot(s, c) / double(AValues.size() - LHalf);
}

} // namespace

TEST(SNGraphicEqualizerTest, SummedTapsMatchTheReferenceDesignsAndTheBandCentresTheirResponse)
{
    const std::vector<TCase> LCases = ReferenceCases();
    ASSERT_EQ(LCases.size(), 4u) << "tests/data/equalizer_reference.txt";
    for (const TCase& C : LCases) {
        SCOPED_TRACE(C.Order);
        TFilterChain<TSNGraphicEqualizer> LChain;
        LChain.Filter.SetOrder(C.Order);
        LChain.Filter.SetWindowType(C.Window);
        LChain.Filter.SetAlpha(C.Alpha);
        for (auto [f, g] : C.Bands) {
            TSNGraphicEqualizerChannelItem& LBand = LChain.Filter.GetChannels().Add();
            LBand.SetFrequency(f);
            LBand.SetCoefficient(g);
        }
        LChain.Start(uint32_t(C.Fs), 32, 1);
        ASSERT_EQ(LChain.Filter.GetTapsCount(), int32_t(C.Taps.size()));
        for (size_t i = 0; i < C.Taps.size(); ++i)
            EXPECT_NEAR(LChain.Filter.GetTaps(int32_t(i)), C.Taps[i], 1e-12) << "tap " << i;
        if (C.Order != 1001)
            continue;
        // Sines at the band centres come out scaled by the design's response.
        for (auto [f, h] : C.Centres) {
            TSamples LSine(44100);
            for (size_t n = 0; n < LSine.size(); ++n)
                LSine[n] = int32_t(std::lround(1e8 * std::sin(2 * std::numbers::pi * f * n / C.Fs)));
            EXPECT_NEAR(Amplitude(LChain.Send(LSine), f, C.Fs) / 1e8, h, 2e-3) << f << " Hz";
        }
    }
}

TEST(SNGraphicEqualizerTest, BandDefaultsOrderSnappingAndPassingWithFewerThanTwoBands)
{
    TFilterChain<TSNGraphicEqualizer> LChain;
    TSNGraphicEqualizer& E = LChain.Filter;
    EXPECT_EQ(E.GetChannels().Add().GetFrequency(), 31.0);
    EXPECT_EQ(E.GetChannels().Add().GetFrequency(), 62.0);
    E.GetChannels()[1].SetFrequency(1000.0);
    EXPECT_TRUE(E.GetChannels()[1].GetFrequency_Stored());
    EXPECT_FALSE(E.GetChannels()[0].GetFrequency_Stored());
    EXPECT_EQ(E.GetChannels().Add().GetFrequency(), 2000.0);
    for (auto [LSet, LStored] : {std::pair{40, 41}, {2, 5}, {41, 41}, {INT32_MAX, 32767}, {6, 7}}) {
        E.SetOrder(LSet);
        EXPECT_EQ(E.GetOrder(), LStored) << LSet;
    }
    E.SetOrder(41);
    // One enabled band: the stream passes as it is and the taps are ones.
    E.GetChannels()[0].SetEnabled(false);
    E.GetChannels()[2].SetEnabled(false);
    LChain.Start(44100, 16, 2);
    const TSamples LInput = RandomSamples(16, 2, 700, 5);
    EXPECT_EQ(LChain.SendSplit(LInput, RandomSplit(700, 5, 200)), LInput);
    ASSERT_EQ(E.GetTapsCount(), 41);
    for (int32_t i = 0; i < 41; ++i)
        EXPECT_EQ(E.GetTaps(i), 1.0);
}

TEST(SNGraphicEqualizerTest, ReDesignWhileRunningIsPrimedAndWaitsForTheNextBuffer)
{
    TFilterChain<TSNGraphicEqualizer> LChain;
    TSNGraphicEqualizer& E = LChain.Filter;
    E.GetChannels().SetCount(2);
    E.GetChannels()[0].SetFrequency(1000.0);
    E.GetChannels()[1].SetFrequency(4000.0);
    LChain.Start(44100, 16, 1);
    const TSamples LConstant(2000, 10000);
    const TSamples LBefore = LChain.Send(LConstant);
    E.GetChannels()[0].SetCoefficient(0.5);
    E.SetOrder(61);
    EXPECT_EQ(E.GetTapsCount(), 41) << "the re-design waits for the next buffer";
    const TSamples LAfter = LChain.Send(TSamples(300, 10000));
    EXPECT_EQ(E.GetTapsCount(), 61);
    // The new design starts settled on the retained input: no ramp from zero.
    for (size_t n = 0; n < LAfter.size(); ++n)
        EXPECT_NEAR(LAfter[n], LAfter.back(), 2) << n;
    EXPECT_NEAR(LAfter.back(), LBefore.back() / 2.0, 100.0);
}

TEST(SNGraphicEqualizerTest, BandAndPropertyChangesRaceWithTheBufferPath)
{
    TFilterChain<TSNGraphicEqualizer> LChain;
    LChain.Filter.GetChannels().SetCount(3);
    LChain.Start(44100, 16, 2);
    const TSamples LInput = RandomSamples(16, 2, 256, 7);
    std::atomic<bool> LDone{false};
    std::thread LSetter([&] {
        for (int i = 0; !LDone; ++i) {
            LChain.Filter.GetChannels()[i % 3].SetCoefficient(0.25 * (i % 5));
            LChain.Filter.SetOrder(21 + 2 * (i % 7));
            if (i % 4 == 0)
                LChain.Filter.GetChannels().Add();
            if (i % 4 == 2)
                LChain.Filter.GetChannels().Delete(3);
        }
    });
    for (int b = 0; b < 300; ++b)
        EXPECT_EQ(LChain.Send(LInput).size(), LInput.size());
    LDone = true;
    LSetter.join();
}
