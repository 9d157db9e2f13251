// SPDX-License-Identifier: MIT
#include "SNGoniometer.h"
#include "AnalysisTestKit.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TGoniometerRig {
    TFeeder Feeder;
    TSNGoniometer Scope;
    TRealRecorder Pin0{TPNDataType::dtReal};
    TRealRecorder Pin1{TPNDataType::dtReal};
    TGoniometerRig()
    {
        Feeder.Pin.Connect(Scope.GetInputPin());
        Pin0.Listen(Scope.GetOutputPins()[0]);
        Pin1.Listen(Scope.GetOutputPins()[1]);
    }
    void Run(unsigned ABits, unsigned AChannels, const std::function<double(uint32_t, unsigned)>& AValue,
             uint32_t AFrames = 64)
    {
        ISNAudioBufferPtr LInput = MakeSignal(44100, ABits, AChannels, AFrames, AValue);
        Feeder.Start(LInput->GetWaveFormat());
        Feeder.Send(LInput);
    }
};

class SNGoniometerTest : public ::testing::TestWithParam<unsigned> {};

double Scale(unsigned ABits)
{
    return ABits == 8 ? 128.0 : std::ldexp(1.0, static_cast<int>(ABits) - 1);
}

} // namespace

TEST_P(SNGoniometerTest, CartesianGivesSideOnXAndMidOnYOfNormalisedSamples)
{
    const unsigned LBits = GetParam();
    const double LFull = FullScale(LBits);
    auto LLeft = [&](uint32_t f) { return std::round(LFull * std::sin(0.1 * f)); };
    auto LRight = [&](uint32_t f) { return std::round(LFull * 0.5 * std::cos(0.37 * f)); };
    TGoniometerRig LRig;
    LRig.Run(LBits, 2, [&](uint32_t f, unsigned c) { return c == 0 ? LLeft(f) : LRight(f); });
    ASSERT_EQ(LRig.Pin0.Buffers().size(), 1u);
    const auto LX = LRig.Pin0.Buffers()[0];
    const auto LY = LRig.Pin1.Buffers()[0];
    ASSERT_EQ(LX.size(), 64u);
    for (uint32_t f = 0; f < 64; ++f) {
        const double l = LLeft(f) / Scale(LBits);
        const double r = LRight(f) / Scale(LBits);
        EXPECT_NEAR(LX[f], (r - l) / 2, 1e-12) << f;
        EXPECT_NEAR(LY[f], (l + r) / 2, 1e-12) << f;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SNGoniometerTest, ::testing::Values(8u, 16u, 24u, 32u));

TEST(SNGoniometer, MonoCompatibleAndOppositePhaseSignals)
{
    TGoniometerRig LSame;
    LSame.Run(16, 2, [](uint32_t f, unsigned) { return 500.0 * (static_cast<double>(f) - 30); });
    for (uint32_t f = 0; f < 64; ++f) {
        EXPECT_NEAR(LSame.Pin0.Buffers()[0][f], 0.0, 1e-12) << "side";
        EXPECT_NEAR(LSame.Pin1.Buffers()[0][f], 500.0 * (static_cast<double>(f) - 30) / 32768, 1e-12) << "mid";
    }
    TGoniometerRig LOpposite;
    LOpposite.Run(16, 2, [](uint32_t f, unsigned c) { return (c == 0 ? 1 : -1) * 500.0 * (static_cast<double>(f) - 30); });
    for (uint32_t f = 0; f < 64; ++f) {
        const double l = 500.0 * (static_cast<double>(f) - 30) / 32768;
        EXPECT_NEAR(LOpposite.Pin1.Buffers()[0][f], 0.0, 1e-12) << "mid";
        EXPECT_NEAR(LOpposite.Pin0.Buffers()[0][f], -l, 1e-12) << "side";
    }
}

TEST(SNGoniometer, PolarGivesScaledMagnitudeAndRotatedPhase)
{
    TGoniometerRig LRig;
    LRig.Scope.SetMode(gmPolar);
    // Frames: a = 16384 on both, a = -16384 on both, then (L, R) = (8192, -4096).
    LRig.Run(16, 2, [](uint32_t f, unsigned c) {
        if (f == 0)
            return 16384.0;
        if (f == 1)
            return -16384.0;
        return c == 0 ? 8192.0 : -4096.0;
    }, 3);
    const auto LMagnitude = LRig.Pin0.Buffers().at(0);
    const auto LPhase = LRig.Pin1.Buffers().at(0);
    EXPECT_NEAR(LMagnitude[0], 0.5, 1e-12);
    EXPECT_NEAR(LPhase[0], 0.0, 1e-12);
    EXPECT_NEAR(LMagnitude[1], 0.5, 1e-12);
    EXPECT_NEAR(LPhase[1], -std::numbers::pi, 1e-12);
    EXPECT_NEAR(LMagnitude[2], std::hypot(0.25, -0.125) / std::numbers::sqrt2, 1e-12);
    EXPECT_NEAR(LPhase[2], std::atan2(-0.125, 0.25) - std::numbers::pi / 4, 1e-12);
}

TEST(SNGoniometer, AModeChangeRenamesThePinsAtOnce)
{
    TSNGoniometer LScope;
    EXPECT_EQ(LScope.GetOutputPins()[0].GetName(), "X");
    EXPECT_EQ(LScope.GetOutputPins()[1].GetName(), "Y");
    LScope.SetMode(gmPolar);
    EXPECT_EQ(LScope.GetOutputPins()[0].GetName(), "Magnitude");
    EXPECT_EQ(LScope.GetOutputPins()[1].GetName(), "Phase");
    LScope.SetMode(gmCartesian);
    EXPECT_EQ(LScope.GetOutputPins()[0].GetName(), "X");
}

TEST(SNGoniometer, AMonoStreamGivesNothingAndPairsAreFormedAcrossBuffers)
{
    TGoniometerRig LMono;
    LMono.Run(16, 1, [](uint32_t f, unsigned) { return static_cast<double>(f); });
    EXPECT_TRUE(LMono.Pin0.Buffers().empty());

    TGoniometerRig LRig;
    LRig.Run(16, 2, [](uint32_t f, unsigned c) { return c == 0 ? 100.0 * f : -50.0 * f; }, 40);
    LRig.Feeder.Send(MakeSignal(44100, 16, 2, 7, [](uint32_t, unsigned) { return 1.0; }));
    ASSERT_EQ(LRig.Pin0.Buffers().size(), 2u);
    EXPECT_EQ(LRig.Pin0.Buffers()[0].size(), 40u);
    EXPECT_EQ(LRig.Pin0.Buffers()[1].size(), 7u);
}

TEST(SNGoniometer, ThePairHasTheLengthOfTheBufferThatCompletedIt)
{
    struct TScope : TSNGoniometer {
        using TSNGoniometer::SplitBuffer;
    } LScope;
    LScope.SetMode(gmPolar);
    TRealRecorder LMagnitude{TPNDataType::dtReal};
    LMagnitude.Listen(LScope.GetOutputPins()[0]);
    const auto LOnes = [](uint32_t ASize) {
        IDGRealBufferPtr LBuffer = TDGRealBuffer::CreateSize(ASize);
        std::fill_n(LBuffer->Modify(), ASize, 1.0);
        return LBuffer;
    };
    LScope.SplitBuffer(0, LOnes(5));
    LScope.SplitBuffer(1, LOnes(3));
    LScope.SplitBuffer(1, LOnes(3));
    LScope.SplitBuffer(0, LOnes(5));
    ASSERT_EQ(LMagnitude.Buffers().size(), 2u);
    EXPECT_EQ(LMagnitude.Buffers()[0], std::vector<double>(3, 1.0)) << "|(1, 1)| / sqrt 2";
    // The shorter partner reads as zeros beyond its end: |(1, 0)| / sqrt 2.
    ASSERT_EQ(LMagnitude.Buffers()[1].size(), 5u);
    EXPECT_DOUBLE_EQ(LMagnitude.Buffers()[1][2], 1.0);
    EXPECT_DOUBLE_EQ(LMagnitude.Buffers()[1][3], std::sqrt(0.5));
}
