// SPDX-License-Identifier: MIT
#include "FilterTestChain.h"
#include "SNDynamicRangeCompressor.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// The detector written from its description, one frame at a time.
struct TModel {
    double Fs = 44100, Threshold = -20, Gain = 0, Ratio = 4, Attack = 50, Release = 250, Mix = 1;
    bool AllIn = false;
    double Rundb = 0, RunRatio = 0, AveRatio = 0;

    void Frame(std::vector<double>& x)
    {
        const double k = 0.11512925464970228;
        double det = 0;
        for (double v : x)
            det = std::max(det, std::fabs(v));
        double over = det > 0 ? 2.08136898 * std::log10(det / std::exp(Threshold * k)) * 8.685889638065037
                              : 2.08136898 * 8.685889638065037;
        over = std::max(over, 0.0);
        if (over - Rundb > 5.0)
            AveRatio = 4.0;
        const bool LRise = over > Rundb;
        const double c = std::exp(-1 / (Fs * (LRise ? Attack * 1e-6 : Release * 1e-3)));
        const double rc = std::exp(-1 / (Fs * (LRise ? 0.00001 : 0.5)));
        Rundb = over + c * (Rundb - over);
        RunRatio = AveRatio + rc * (RunRatio - AveRatio);
        AveRatio = RunRatio;
        const double r = AllIn ? 12.0 + AveRatio : Ratio;
        const double gr = std::exp(-Rundb * (r - 1) / r * k);
        for (double& v : x)
            v = v * gr * std::exp(Gain * k) * Mix + (1 - Mix) * v;
    }
    // Stored samples in, stored samples out (limited to the width).
    TSamples Run(const TSamples& AIn, uint32_t ABits, uint32_t AChannels)
    {
        const double LScale = ABits == 8 ? 256.0 : std::ldexp(1.0, int(ABits) - 1);
        TSamples LOut;
        std::vector<double> x(AChannels);
        for (size_t f = 0; f < AIn.size() / AChannels; ++f) {
            for (uint32_t c = 0; c < AChannels; ++c)
                x[c] = AIn[f * AChannels + c] / LScale;
            Frame(x);
            for (double v : x) {
                const double y = ABits == 24 ? std::nearbyint(v * LScale) : std::trunc(v * LScale);
                LOut.push_back(int32_t(std::clamp<double>(y, LowestStored(ABits), HighestStored(ABits))));
            }
        }
        return LOut;
    }
};

// Loud and quiet stretches, so the detector attacks and releases.
TSamples Program(uint32_t ABits, uint32_t AChannels, size_t AFrames, uint32_t ASeed)
{
    TSamples LValues = RandomSamples(ABits, AChannels, AFrames, ASeed);
    const int64_t LMid = ABits == 8 ? 128 : 0;
    for (size_t i = 0; i < LValues.size(); ++i)
        if ((i / AChannels / 300) % 3 == 1)
            LValues[i] = int32_t(LMid + (LValues[i] - LMid) / 64);
    return LValues;
}

} // namespace

TEST(SNDynamicRangeCompressorTest, HandWorkedFramesAndPropertyBounds)
{
    // A silent frame is 18.08 dB over the threshold: the first one leaves a
    // smoothed excess of 18.0785 x (1 - exp(-1 / 2.205)) = 6.5916 dB.
    TModel LModel;
    std::vector<double> LSilent{0.0};
    LModel.Frame(LSilent);
    EXPECT_NEAR(LModel.Rundb, 6.5916, 1e-4);
    // A first frame of 16384: 12.6364 dB over -20 dB, smoothed to 4.6073 dB,
    // gain 0.67178, 0.5 x 0.67178 x 32768 = 11006.9 -> 11006.
    EXPECT_EQ(TModel{}.Run({16384}, 16, 1), TSamples{11006});
    TFilterChain<TSNDynamicRangeCompressor> LChain;
    LChain.Start(44100, 16, 1);
    EXPECT_EQ(LChain.Send({16384}), TSamples{11006});

    TSNDynamicRangeCompressor& D = LChain.Filter;
    const std::vector<std::pair<double, double>> LRatios{{2, 4}, {4, 4}, {5, 8}, {12, 12}, {15, 20}, {30, 30}};
    for (auto [LSet, LStored] : LRatios) {
        D.SetCompressRatio(LSet);
        EXPECT_EQ(D.GetCompressRatio(), LStored) << LSet;
    }
    D.SetAttack(10);
    D.SetThreshold(-80);
    D.SetRelease(1e9);
    EXPECT_EQ(D.GetAttack(), 50.0);
    EXPECT_EQ(D.GetThreshold(), -60.0);
    EXPECT_EQ(D.GetRelease(), 2500.0);
    D.SetAllIn(true);
    EXPECT_EQ(D.GetCompressRatio(), 20.0);

    // With MixCoefficient 0 the output is the input, whatever else is set.
    D.SetMixCoefficient(0.0);
    D.SetGain(25.0);
    const TSamples LInput = Program(16, 1, 2000, 3);
    EXPECT_EQ(LChain.Send(LInput), LInput);
}

TEST(SNDynamicRangeCompressorTest, MatchesTheModelAtEveryWidthAcrossBuffersChangesAndStreams)
{
    for (auto [LBits, LChannels] : {std::pair{8u, 2u}, {16u, 2u}, {24u, 2u}, {32u, 2u}, {16u, 10u}}) {
        SCOPED_TRACE(std::to_string(LBits) + " bits, " + std::to_string(LChannels) + " channels");
        TFilterChain<TSNDynamicRangeCompressor> LChain;
        TModel LModel;
        LChain.Start(44100, LBits, LChannels);
        const TSamples LFirst = Program(LBits, LChannels, 3000, LBits);
        EXPECT_EQ(LChain.SendSplit(LFirst, RandomSplit(3000, LBits, 400)), LModel.Run(LFirst, LBits, LChannels));

        // Mid-stream: the new settings apply from the next buffer. With the
        // threshold at full scale a make-up gain of 25 dB drives loud frames
        // past full scale: they are limited, not wrapped.
        LChain.Filter.SetThreshold(0);
        LChain.Filter.SetCompressRatio(7);
        LChain.Filter.SetGain(25);
        LChain.Filter.SetMixCoefficient(0.75);
        LChain.Filter.SetRelease(60);
        LModel.Threshold = 0, LModel.Ratio = 8, LModel.Gain = 25, LModel.Mix = 0.75, LModel.Release = 60;
        const TSamples LSecond = Program(LBits, LChannels, 2000, LBits + 1);
        const TSamples LExpected = LModel.Run(LSecond, LBits, LChannels);
        EXPECT_EQ(LChain.SendSplit(LSecond, RandomSplit(2000, LBits + 1, 300)), LExpected);
        EXPECT_NE(std::count(LExpected.begin(), LExpected.end(), int32_t(HighestStored(LBits))), 0);

        // A new stream at another rate: the detector goes on where it was.
        LChain.Feed.SendStop();
        LChain.Start(22050, LBits, LChannels);
        LChain.Filter.SetAllIn(true);
        LModel.Fs = 22050, LModel.AllIn = true;
        const TSamples LThird = Program(LBits, LChannels, 1500, LBits + 2);
        EXPECT_EQ(LChain.Send(LThird), LModel.Run(LThird, LBits, LChannels));
    }
}
