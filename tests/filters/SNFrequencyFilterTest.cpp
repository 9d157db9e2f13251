// SPDX-License-Identifier: MIT
#include "CVRegistry.h"
#include "DGClock.h"
#include "FilterTestChain.h"
#include "SNBandPass.h"
#include "SNBandStop.h"
#include "SNHighPass.h"
#include "SNLowPass.h"
#include "SonorixPkg.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <numbers>
#include <type_traits>
#include <thread>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// AFrames of a 16-bit mono sine of AFrequency Hz at AAmplitude of full scale.
TSamples Sine(size_t AFrames, double AFrequency, double AAmplitude)
{
    TSamples LValues(AFrames);
    for (size_t f = 0; f < AFrames; ++f)
        LValues[f] = int32_t(std::nearbyint(AAmplitude * 32767 * std::sin(2.0 * std::numbers::pi * AFrequency * f / 44100)));
    return LValues;
}

double RmsFrom(const TSamples& AValues, size_t AFirst)
{
    double LSum = 0.0;
    for (size_t i = AFirst; i < AValues.size(); ++i)
        LSum += double(AValues[i]) * AValues[i];
    return std::sqrt(LSum / double(AValues.size() - AFirst));
}

// Gain in dB of a tone through a filter, measured on 16-bit mono samples
// after the filter has settled.
template <class TFilter>
double MeasuredGainDb(double AFrequency, TDGFilterType AType, int32_t AOrder, double ALow, double AHigh,
                      TDGIIRFilterType AFamily = iirBessel)
{
    TFilterChain<TFilter> LChain;
    LChain.Filter.SetFilterType(AType);
    LChain.Filter.SetOrder(AOrder);
    LChain.Filter.SetIIRFilterType(AFamily);
    if constexpr (std::is_base_of_v<TSNBandFilter, TFilter>) {
        LChain.Filter.SetFreqLow(ALow);
        LChain.Filter.SetFreqHigh(AHigh);
    } else {
        LChain.Filter.SetFrequency(ALow);
        LChain.Filter.SetAlpha(0.5);
    }
    LChain.Start(44100, 16, 1);
    const TSamples LIn = Sine(22050, AFrequency, 0.5);
    const TSamples LOut = LChain.SendSplit(LIn, RandomSplit(LIn.size(), 11, 1024));
    return 20.0 * std::log10(std::max(RmsFrom(LOut, 4410), 1e-3) / RmsFrom(LIn, 4410));
}

} // namespace

TEST(SNFrequencyFilterTest, EveryKindPassesAndStopsWhereItsDesignSays)
{
    // Pass bands within 0.5 dB (a Chebyshev ripple of 0.5 dB), stop bands 40 dB down.
    EXPECT_NEAR(MeasuredGainDb<TSNLowPass>(200.0, ftFIR, 101, 1000.0, 0), 0.0, 0.5);
    EXPECT_LE(MeasuredGainDb<TSNLowPass>(5000.0, ftFIR, 101, 1000.0, 0), -40.0);
    EXPECT_NEAR(MeasuredGainDb<TSNHighPass>(10000.0, ftFIR, 101, 3500.0, 0), 0.0, 0.5);
    EXPECT_LE(MeasuredGainDb<TSNHighPass>(500.0, ftFIR, 101, 3500.0, 0), -40.0);
    EXPECT_NEAR(MeasuredGainDb<TSNBandPass>(2500.0, ftFIR, 201, 1500.0, 3500.0), 0.0, 0.5);
    EXPECT_LE(MeasuredGainDb<TSNBandPass>(8000.0, ftFIR, 201, 1500.0, 3500.0), -40.0);
    EXPECT_LE(MeasuredGainDb<TSNBandStop>(2500.0, ftFIR, 201, 1500.0, 3500.0), -40.0);
    EXPECT_NEAR(MeasuredGainDb<TSNBandStop>(300.0, ftFIR, 201, 1500.0, 3500.0), 0.0, 0.5);
    for (TDGFilterType LType : {ftIIR, ftBiquadIIR}) {
        SCOPED_TRACE(LType);
        EXPECT_NEAR(MeasuredGainDb<TSNLowPass>(1000.0, LType, 4, 1000.0, 0, iirButterworth), -3.0, 0.2);
        EXPECT_LE(MeasuredGainDb<TSNLowPass>(4000.0, LType, 4, 1000.0, 0, iirButterworth), -45.0);
        EXPECT_NEAR(MeasuredGainDb<TSNHighPass>(9000.0, LType, 5, 3000.0, 0, iirChebyshev), 0.0, 0.55);
        EXPECT_LE(MeasuredGainDb<TSNHighPass>(1000.0, LType, 5, 3000.0, 0, iirChebyshev), -45.0);
        EXPECT_NEAR(MeasuredGainDb<TSNBandPass>(2000.0, LType, 4, 1000.0, 4000.0), 0.0, 1.0);
        EXPECT_LE(MeasuredGainDb<TSNBandPass>(100.0, LType, 4, 1000.0, 4000.0), -30.0);
        EXPECT_LE(MeasuredGainDb<TSNBandStop>(2000.0, LType, 4, 1000.0, 4000.0, iirButterworth), -40.0);
        EXPECT_NEAR(MeasuredGainDb<TSNBandStop>(100.0, LType, 4, 1000.0, 4000.0, iirButterworth), 0.0, 0.1);
    }
}

TEST(SNFrequencyFilterTest, EdgesAreKeptInsideTheStreamRateForTheDesignOnly)
{
    // Starts AChain at ARate and compares its taps with a design of 41 taps.
    const auto LExpectDesign = [](auto& AChain, uint32_t ARate, TDGDesignFilterType ADesign, double AF1, double AF2) {
        AChain.Start(ARate, 16, 1);
        std::vector<double> LTaps(size_t(AChain.Filter.GetTapsCount()));
        for (size_t i = 0; i < LTaps.size(); ++i)
            LTaps[i] = AChain.Filter.GetTaps(int32_t(i));
        EXPECT_EQ(LTaps, DGFilterCalc(ftFIR, ADesign, 41, AF1, AF2, ARate, wtHamming, iirBessel, 1)->GetTaps());
    };
    TFilterChain<TSNLowPass> LLow;
    LLow.Filter.SetFrequency(30000.0);
    LExpectDesign(LLow, 44100, dfLowPass, 22049.559, -1);
    EXPECT_EQ(LLow.Filter.GetFrequency(), 30000.0) << "the property keeps its value";
    TFilterChain<TSNBandPass> LBand;
    LBand.Filter.SetFreqLow(5000.0);
    LBand.Filter.SetFreqHigh(3000.0);
    LExpectDesign(LBand, 44100, dfBandPass, 0.99999 * 3000.0, 3000.0);
    TFilterChain<TSNBandPass> LHigh;
    LHigh.Filter.SetFreqHigh(40000.0);
    LExpectDesign(LHigh, 48000, dfBandPass, 1500.0, 23999.52);
    // The band stop in design mode takes the stored edges as they are.
    TFilterChain<TSNBandStop> LStop;
    LStop.Filter.SetDesignMode(true);
    LStop.Filter.SetFreqHigh(40000.0);
    LExpectDesign(LStop, 48000, dfBandStop, 1500.0, 40000.0);
    // A rate for the design alone.
    TSNLowPass LAuto;
    LAuto.AutoCalcRate();
    EXPECT_EQ(LAuto.GetSampleRate(), 6000);
    TSNBandPass LAutoBand;
    LAutoBand.SetFreqHigh(0.1);
    LAutoBand.AutoCalcRate();
    EXPECT_EQ(LAutoBand.GetSampleRate(), 1);
}

TEST(SNSimpleFilterTest, ARedesignWaitsForTheNextBuffer)
{
    TFilterChain<TSNLowPass> LChain;
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 41);
    LChain.Filter.SetOrder(11);
    EXPECT_EQ(LChain.Filter.GetOrder(), 11);
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 41) << "not before the next buffer";
    LChain.Send({1, 2, 3});
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 11);
    // A change of kind rebuilds at once: 11 is the order of the prototype,
    // six sections of six values.
    LChain.Filter.SetFilterType(ftBiquadIIR);
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 36);
    LChain.Filter.SetOrder(4);
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 36);
    LChain.Send({1, 2, 3});
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 12);
}

TEST(SNSimpleFilterTest, WidthLimitsAndThe127Offset)
{
    // One tap of 1.0: the limits show; the lowest value is written one above.
    for (const uint32_t LBits : {16u, 24u, 32u}) {
        TFilterChain<TSNLowPass> LChain;
        LChain.Filter.SetOrder(1);
        LChain.Start(44100, LBits, 1);
        const auto LLow = int32_t(LowestStored(LBits)), LHigh = int32_t(HighestStored(LBits));
        EXPECT_EQ(LChain.Send({LLow, LHigh, 0, -5}), (TSamples{LLow + 1, LHigh, 0, -5})) << LBits;
    }
    // 8 bits: a constant of 200 is 73 above the offset of 127; a high pass
    // scales it by the sum of its taps.
    TFilterChain<TSNHighPass> L8;
    L8.Filter.SetOrder(11);
    L8.Start(44100, 8, 1);
    const std::vector<double> h =
        DGFilterCalc(ftFIR, dfHighPass, 11, 3500, -1, 44100, wtHamming, iirBessel, 1)->GetTaps();
    double LSum = 0.0;
    for (double v : h)
        LSum += v;
    const TSamples LOut = L8.Send(TSamples(20, 200));
    // Written as y + 127 within 0 .. 255, rounded to nearest even.
    const auto LWritten = [](double y) { return int32_t(std::nearbyint(std::clamp(y + 127.0, 0.0, 255.0))); };
    EXPECT_EQ(LOut.back(), LWritten(73.0 * LSum));
    EXPECT_NE(LWritten(73.0 * LSum), LWritten(72.0 * LSum + 1.0)) << "the test tells 127 from 128";
}

TEST(SNSimpleFilterTest, RedesignInARunningStreamIsTheSameWhateverTheSplit)
{
    // The history decides the priming: any split before the change gives the
    // same output after it.
    for (TDGFilterType LType : {ftFIR, ftIIR, ftBiquadIIR}) {
        SCOPED_TRACE(LType);
        const TSamples LIn = RandomSamples(16, 2, 3000, 99, 0.5);
        const TSamples LHead(LIn.begin(), LIn.begin() + 2 * 1700);
        const TSamples LTail(LIn.begin() + 2 * 1700, LIn.end());
        TSamples LFirst;
        for (uint32_t LSeed : {31u, 32u, 33u}) {
            TFilterChain<TSNLowPass> LChain;
            LChain.Filter.SetFilterType(LType);
            LChain.Filter.SetOrder(LType == ftFIR ? 41 : 4);
            LChain.Start(44100, 16, 2);
            TSamples LOut = LChain.SendSplit(LHead, RandomSplit(1700, LSeed, LSeed == 31 ? 7 : 900));
            LChain.Filter.SetOrder(LType == ftFIR ? 101 : 6);
            LChain.Filter.SetFrequency(2500.0);
            const TSamples LAfter = LChain.SendSplit(LTail, RandomSplit(1300, LSeed + 10, 500));
            LOut.insert(LOut.end(), LAfter.begin(), LAfter.end());
            if (LFirst.empty())
                LFirst = LOut;
            else
                ASSERT_EQ(LOut, LFirst) << "split " << LSeed;
        }
    }
}

TEST(SNSimpleFilterTest, ChangesWhileRunningMakeNoClick)
{
    // A tone inside the pass band keeps its level through re-designs of
    // order and corner every few buffers: the primed states start where the
    // stream is, so the output stays within the tone's own range.
    for (TDGFilterType LType : {ftFIR, ftIIR, ftBiquadIIR}) {
        SCOPED_TRACE(LType);
        TFilterChain<TSNLowPass> LChain;
        LChain.Filter.SetFilterType(LType);
        LChain.Filter.SetIIRFilterType(iirButterworth);
        LChain.Filter.SetOrder(LType == ftFIR ? 101 : 4);
        LChain.Filter.SetFrequency(4000.0);
        LChain.Start(44100, 16, 1);
        const double LAmplitude = 0.5 * 32767;
        const TSamples LIn = Sine(44100, 300.0, 0.5);
        TSamples LOut;
        for (size_t LFrame = 0, LBuffer = 0; LFrame < 44100; LFrame += 441, ++LBuffer) {
            if (LBuffer > 5 && LBuffer % 3 == 0) {
                LChain.Filter.SetOrder(LType == ftFIR ? (LBuffer % 2 ? 61 : 101) : (LBuffer % 2 ? 3 : 4));
                LChain.Filter.SetFrequency(LBuffer % 2 ? 3000.0 : 4000.0);
            }
            const TSamples LPart(LIn.begin() + LFrame, LIn.begin() + LFrame + 441);
            const TSamples LResult = LChain.Send(LPart);
            LOut.insert(LOut.end(), LResult.begin(), LResult.end());
        }
        int32_t LPeak = 0;
        for (size_t i = 4410; i < LOut.size(); ++i)
            LPeak = std::max(LPeak, std::abs(LOut[i]));
        EXPECT_LE(LPeak, LAmplitude * 1.05) << "a re-design overshot the tone";
        EXPECT_GE(LPeak, LAmplitude * 0.9);
    }
}

TEST(SNSimpleFilterTest, PropertiesChangedFromAnotherThreadWhileBuffersFlow)
{
    TFilterChain<TSNLowPass> LChain;
    LChain.Filter.GetThreading().SetEnabled(true);
    LChain.Start(44100, 16, 2);
    std::atomic<bool> LDone{false};
    std::thread LSetter([&] {
        for (int i = 0; !LDone; ++i) {
            // Orders that every kind keeps stable at these edges: a
            // direct-form IIR of order 13 below about 1 kHz is not (its
            // poles crowd z = 1 beyond what double taps resolve).
            LChain.Filter.SetOrder(std::array{2, 3, 5, 8, 6}[size_t(i % 5)]);
            LChain.Filter.SetFrequency(500.0 + 37.0 * (i % 50));
            if (i % 7 == 0)
                LChain.Filter.SetFilterType(static_cast<TDGFilterType>(i / 7 % 3));
            if (i % 11 == 0)
                LChain.Filter.SetWindowType(static_cast<TDGWindowType>(i / 11 % 6));
            if (i % 13 == 0)
                LChain.Filter.SetIIRFilterType(static_cast<TDGIIRFilterType>(i / 13 % 3));
            (void)LChain.Filter.GetTapsCount();
        }
    });
    // A constant is passed at unity gain by every low-pass design here, so
    // whatever the design, no output leaves twice its level.
    const TSamples LConstant(2 * 512, 1000);
    for (int i = 0; i < 300; ++i)
        LChain.Feed.SendBuffer(MakeBuffer(44100, 16, 2, LConstant, 0, 512));
    TDGTimeline::WaitIdle();
    LDone = true;
    LSetter.join();
    const auto LBuffers = LChain.Collector.Buffers();
    ASSERT_EQ(LBuffers.size(), 300u);
    for (const auto& LBuffer : LBuffers) {
        ASSERT_EQ(LBuffer->GetSize(), 512u);
        for (uint32_t f = 0; f < 512; ++f)
            for (uint32_t c = 0; c < 2; ++c)
                ASSERT_LE(std::abs(LBuffer->GetItem(f, c)), 2000) << "frame " << f;
    }
}

TEST(SNSimpleFilterTest, AStartBeginsFreshAndAStopFreesTheStates)
{
    TFilterChain<TSNLowPass> LChain;
    LChain.Start(44100, 16, 1);
    const TSamples LIn = RandomSamples(16, 1, 500, 3);
    const TSamples LFirst = LChain.Send(LIn);
    LChain.Filter.SetOrder(21);
    LChain.Feed.SendStop();
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Filter.GetTapsCount(), 21);
    TFilterChain<TSNLowPass> LFresh;
    LFresh.Filter.SetOrder(21);
    LFresh.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Send(LIn), LFresh.Send(LIn)) << "no history from the previous stream";
}
