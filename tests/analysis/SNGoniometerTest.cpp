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

} // namespace

TEST(SNGoniometer, CartesianGivesSideOnXAndMidOnYOfNormalisedSamplesAtEveryWidth)
{
    // Samples are normalised by 2^(bits - 1) (128 for 8 bits). Frames (L, R):
    // (h, 0) -> (-1/4, 1/4); (h, -h) -> (-1/2, 0); (-h, -h/2) -> (1/8, -3/8);
    // full scale both -> (0, about 1).
    for (unsigned LBits : {8u, 16u, 24u, 32u}) {
        SCOPED_TRACE(LBits);
        const double h = LBits == 8 ? 64 : std::ldexp(1.0, static_cast<int>(LBits) - 2);
        const double LLeft[] = {h, h, -h, double(FullScale(LBits))};
        const double LRight[] = {0, -h, -h / 2, double(FullScale(LBits))};
        TGoniometerRig LRig;
        LRig.Run(LBits, 2, [&](uint32_t f, unsigned c) { return c == 0 ? LLeft[f] : LRight[f]; }, 4);
        const auto LX = LRig.Pin0.Buffers().at(0);
        const auto LY = LRig.Pin1.Buffers().at(0);
        ASSERT_EQ(LX.size(), 4u);
        const double LExpectedX[] = {-0.25, -0.5, 0.125, 0}, LExpectedY[] = {0.25, 0, -0.375, 1 - 1 / (2 * h)};
        for (uint32_t f = 0; f < 4; ++f) {
            EXPECT_NEAR(LX[f], LExpectedX[f], 1e-12) << f;
            EXPECT_NEAR(LY[f], LExpectedY[f], 1e-12) << f;
        }
    }
}

TEST(SNGoniometer, PolarGivesScaledMagnitudeAndRotatedPhaseAndRenamesThePins)
{
    TGoniometerRig LRig;
    EXPECT_EQ(LRig.Scope.GetOutputPins()[0].GetName(), "X");
    EXPECT_EQ(LRig.Scope.GetOutputPins()[1].GetName(), "Y");
    LRig.Scope.SetMode(gmPolar);
    EXPECT_EQ(LRig.Scope.GetOutputPins()[0].GetName(), "Magnitude");
    EXPECT_EQ(LRig.Scope.GetOutputPins()[1].GetName(), "Phase");
    // Frames: a = 16384 on both, a = -16384 on both, then (L, R) = (8192, -4096).
    const double LLeft[] = {16384, -16384, 8192}, LRight[] = {16384, -16384, -4096};
    LRig.Run(16, 2, [&](uint32_t f, unsigned c) { return c == 0 ? LLeft[f] : LRight[f]; }, 3);
    const auto LMagnitude = LRig.Pin0.Buffers().at(0);
    const auto LPhase = LRig.Pin1.Buffers().at(0);
    EXPECT_NEAR(LMagnitude[0], 0.5, 1e-12);
    EXPECT_NEAR(LPhase[0], 0.0, 1e-12);
    EXPECT_NEAR(LMagnitude[1], 0.5, 1e-12);
    EXPECT_NEAR(LPhase[1], -std::numbers::pi, 1e-12);
    EXPECT_NEAR(LMagnitude[2], std::hypot(0.25, -0.125) / std::numbers::sqrt2, 1e-12);
    EXPECT_NEAR(LPhase[2], std::atan2(-0.125, 0.25) - std::numbers::pi / 4, 1e-12);
    LRig.Scope.SetMode(gmCartesian);
    EXPECT_EQ(LRig.Scope.GetOutputPins()[0].GetName(), "X");
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
