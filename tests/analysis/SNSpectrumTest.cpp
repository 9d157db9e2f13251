// SPDX-License-Identifier: MIT
#include "SNSpectrum.h"
#include "AnalysisTestKit.h"
#include "CVThreading.h"

#include <gtest/gtest.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TSpectrumRig {
    TFeeder Feeder;
    TSNSpectrum Spectrum;
    std::vector<std::unique_ptr<TRealRecorder>> Spectra;
    std::vector<std::unique_ptr<TRealRecorder>> Peaks;

    explicit TSpectrumRig(int AChannels = 1, int32_t AOrder = 8)
    {
        Spectrum.SetCountChannels(AChannels);
        Spectrum.SetOrder(AOrder);
        Feeder.Pin.Connect(Spectrum.GetInputPin());
        for (int c = 0; c < AChannels; ++c) {
            Spectra.push_back(std::make_unique<TRealRecorder>(TPNDataType::dtReal));
            Spectra.back()->Listen(Spectrum.GetOutputPins()[c]);
            Peaks.push_back(std::make_unique<TRealRecorder>(TPNDataType::dtRealValue));
            Peaks.back()->Listen(Spectrum.GetFrequencyOutputPins()[c]);
        }
    }
    std::vector<std::vector<double>> Run(const ISNAudioBufferPtr& AInput)
    {
        Feeder.Start(AInput->GetWaveFormat());
        Feeder.Send(AInput);
        return Spectra[0]->Buffers();
    }
};

ISNAudioBufferPtr Noise(uint32_t AFrames, uint32_t ASeed)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_real_distribution<double> LValue(-0.9, 0.9);
    return MakeSignal(44100, 16, 1, AFrames, [&](uint32_t, unsigned) { return LValue(LRandom) * 32767; });
}

} // namespace

TEST(SNSpectrum, TwoTonesAndDcGiveHandWorkedMagnitudesAtEveryWidthAndScaling)
{
    // Window w (64 points) holds DC + (1 + w) (A cos at bin 5 + A/2 sin at
    // bin 12): |X| = N A (1 + w) / 2 at bin 5, half that at bin 12, bin 0 is
    // cleared, the rest holds only the rounding (at most N / 2).
    for (unsigned LBits : {8u, 16u, 24u, 32u})
        for (TDGFourierNormalization LScaling : {fnNone, fnNormalize, fnNormalizeSqrt}) {
            SCOPED_TRACE(testing::Message() << LBits << " bits, scaling " << int(LScaling));
            const double A = FullScale(LBits) / 8.0;
            TSpectrumRig LRig(1, 6);
            LRig.Spectrum.SetNormalization(LScaling);
            const auto LSpectra = LRig.Run(MakeSignal(44100, LBits, 1, 64 * 3, [&](uint32_t f, unsigned) {
                const double w = 2 * std::numbers::pi * (f % 64) / 64;
                return A + (1 + f / 64) * (A * std::cos(5 * w) + A / 2 * std::sin(12 * w));
            }));
            const double LScale = LScaling == fnNormalize ? 1.0 / 64 : LScaling == fnNormalizeSqrt ? 1.0 / 8 : 1.0;
            ASSERT_EQ(LSpectra.size(), 3u);
            for (size_t w = 0; w < 3; ++w) {
                ASSERT_EQ(LSpectra[w].size(), 32u);
                EXPECT_EQ(LSpectra[w][0], 0.0);
                for (size_t k = 1; k < 32; ++k) {
                    const double LExpected = k == 5 ? 32 * A * (1 + w) : k == 12 ? 16 * A * (1 + w) : 0.0;
                    EXPECT_NEAR(LSpectra[w][k], LExpected * LScale, 32 * LScale) << "window " << w << " bin " << k;
                }
            }
        }
}

TEST(SNSpectrum, DecibelModesTakeTheLogarithmOfEachBinButBinZeroAndSilenceIsTheMostNegativeDouble)
{
    ISNAudioBufferPtr LInput = Noise(256, 7);
    TSpectrumRig LLinear;
    const auto LPlain = LLinear.Run(LInput).at(0);
    for (TSNdBMode LMode : {adbPower, adbAmplitude}) {
        TSpectrumRig LRig;
        LRig.Spectrum.SetModedB(LMode);
        const auto LdB = LRig.Run(LInput).at(0);
        EXPECT_EQ(LdB[0], 0.0);
        for (size_t k = 1; k < 128; ++k)
            EXPECT_NEAR(LdB[k], (LMode == adbPower ? 10 : 20) * std::log10(LPlain[k]), 1e-9) << k;
        EXPECT_EQ(LRig.Peaks[0]->Values(), LLinear.Peaks[0]->Values()) << "the peak is the same bin";
    }
    TSpectrumRig LRig;
    LRig.Spectrum.SetModedB(adbAmplitude);
    const auto LSilence = LRig.Run(TSNAudioBuffer::CreateSize(44100, 16, 1, 256)).at(0);
    EXPECT_EQ(LSilence[0], 0.0);
    for (size_t k = 1; k < 128; ++k)
        ASSERT_EQ(LSilence[k], -1.7976931348623157E308);
    EXPECT_EQ(LRig.Peaks[0]->Values(), (std::vector<double>{0.0}));
    EXPECT_EQ(LRig.Peaks[0]->Ranges().at(0), std::make_pair(0.0, 22050.0));
}

TEST(SNSpectrum, TheStrongestBinOfAToneAtABinCentreAndBetweenBins)
{
    const std::pair<double, double> LCases[] = {{10, 10}, {37, 37}, {20.3, 20}, {20.7, 21}, {100.2, 100}};
    for (const auto& [LBin, LExpectedBin] : LCases) {
        TSpectrumRig LRig;
        std::vector<double> LFrequencies;
        LRig.Spectrum.SetSynchronize(false);
        LRig.Spectrum.SetOnFrequencyResult([&](TPersistent&, int32_t, double AFrequency, double AMax) {
            LFrequencies.push_back(AFrequency);
            EXPECT_EQ(AMax, 22050.0);
        });
        LRig.Run(MakeSignal(44100, 16, 1, 1024, [&](uint32_t f, unsigned) {
            return 20000 * std::sin(2 * std::numbers::pi * LBin * f / 256);
        }));
        ASSERT_EQ(LFrequencies.size(), 4u);
        for (double LFrequency : LFrequencies)
            EXPECT_DOUBLE_EQ(LFrequency, LExpectedBin * 22050 / 128) << LBin;
        EXPECT_EQ(LRig.Peaks[0]->Values(), LFrequencies);
    }
}

TEST(SNSpectrum, WindowsStartEveryStepWhateverTheBufferSizes)
{
    // Impulses of 25600 at frames 300 and 2100: a window that holds one reads
    // 100 in every bin, any other reads 0.
    const ISNAudioBufferPtr LInput =
        MakeSignal(44100, 16, 1, 3000, [](uint32_t f, unsigned) { return f == 300 || f == 2100 ? 25600.0 : 0.0; });
    for (uint32_t LStep : {0u, 64u, 100u, 256u, 1000u}) {
        SCOPED_TRACE("step " + std::to_string(LStep));
        const size_t LPeriod = LStep == 0 ? 256 : LStep;
        TSpectrumRig LWhole;
        LWhole.Spectrum.SetSamplingWindowStep(LStep);
        const auto LSpectra = LWhole.Run(LInput);
        ASSERT_EQ(LSpectra.size(), (3000 - 256) / LPeriod + 1);
        for (size_t w = 0; w < LSpectra.size(); ++w) {
            const size_t LStart = w * LPeriod;
            const bool LHit = (LStart <= 300 && 300 < LStart + 256) || (LStart <= 2100 && 2100 < LStart + 256);
            for (size_t k : {1u, 50u, 127u})
                ASSERT_NEAR(LSpectra[w][k], LHit ? 100.0 : 0.0, 1e-9) << "window " << w << " bin " << k;
        }
        for (uint32_t LSeed = 1; LSeed <= 6; ++LSeed) {
            TSpectrumRig LSplit;
            LSplit.Spectrum.SetSamplingWindowStep(LStep);
            LSplit.Feeder.Start(LInput->GetWaveFormat());
            LSplit.Feeder.SendRandomSplit(*LInput, LSeed, LSeed % 2 ? 40 : 700);
            EXPECT_EQ(LSplit.Spectra[0]->Buffers(), LSpectra) << "seed " << LSeed;
        }
    }
}

TEST(SNSpectrum, WindowsCompleteOnlyWhileStartedAndTheOrderAppliesAtTheNextStart)
{
    TSpectrumRig LRig;
    EXPECT_TRUE(LRig.Run(Noise(255, 3)).empty());
    LRig.Feeder.Send(Noise(1, 4));
    LRig.Feeder.Stop();
    LRig.Feeder.Send(Noise(256, 6));
    EXPECT_EQ(LRig.Spectra[0]->Buffers().size(), 1u) << "the 256th sample completes one; after a stop none";
    TSpectrumRig LOrder;
    LOrder.Spectrum.SetOrder(4);
    ISNAudioBufferPtr LInput = Noise(64, 5);
    LOrder.Feeder.Start(LInput->GetWaveFormat());
    EXPECT_EQ(LOrder.Spectra[0]->Ranges().at(0), std::make_pair(0.0, 65536.0 / 3));
    LOrder.Spectrum.SetOrder(5);
    LOrder.Feeder.Send(LInput);
    EXPECT_EQ(LOrder.Spectra[0]->Buffers().size(), 4u) << "16-point windows until the next start";
    LOrder.Run(LInput);
    EXPECT_EQ(LOrder.Spectra[0]->Buffers().size(), 6u);
    EXPECT_EQ(LOrder.Spectra[0]->Buffers().back().size(), 16u);
    // Too large a window is refused at the start with OnError: the stream
    // gives nothing, and no memory is asked for.
    std::vector<std::string> LErrors;
    LOrder.Spectrum.SetOnError([&](TPersistent&, const std::string& AMessage, uint32_t, bool& AHandled) {
        LErrors.push_back(AMessage);
        AHandled = true;
    });
    LOrder.Spectrum.SetOrder(25);
    LOrder.Run(LInput);
    EXPECT_EQ(LOrder.Spectra[0]->Buffers().size(), 6u);
    ASSERT_EQ(LErrors.size(), 1u);
    EXPECT_EQ(LErrors[0], "Order 25 asks for windows of 33554432 samples; at most Order 24 (16777216 samples) is "
                          "supported: no spectra for this stream");
}

TEST(SNSpectrum, SynchronisedResultsArriveOnTheMainThreadInOrder)
{
    MainThread().SetMainThread();
    MainThread().ProcessMessages();
    TSpectrumRig LRig(2);
    std::vector<std::pair<int32_t, double>> LEvents;
    LRig.Spectrum.SetOnFrequencyResult(
        [&](TPersistent&, int32_t AChannel, double AFrequency, double) { LEvents.emplace_back(AChannel, AFrequency); });
    LRig.Run(MakeSignal(44100, 16, 2, 512, [](uint32_t f, unsigned c) {
        return 10000 * std::sin(2 * std::numbers::pi * (c == 0 ? 8 : 16) * f / 256);
    }));
    EXPECT_TRUE(LEvents.empty());
    MainThread().ProcessMessages();
    // Each window of each channel hands over every channel's latest result.
    ASSERT_EQ(LEvents.size(), 8u);
    EXPECT_EQ(LEvents.back(), std::make_pair(1, 16 * 22050.0 / 128));
    EXPECT_EQ(LEvents[6], std::make_pair(0, 8 * 22050.0 / 128));
    LRig.Spectrum.SetCountChannels(5);
    EXPECT_EQ(LRig.Spectrum.GetFrequencyOutputPins().GetCount(), 5) << "both pin lists follow the count";
}
