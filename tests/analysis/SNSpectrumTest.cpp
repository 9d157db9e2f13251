// SPDX-License-Identifier: MIT
#include "SNSpectrum.h"
#include "AnalysisTestKit.h"
#include "CVThreading.h"

#include <gtest/gtest.h>

#include <complex>

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
};

// |DFT| of x[AFirst .. AFirst + N) at bins 0 .. N/2 - 1, times AScale.
std::vector<double> DirectMagnitudes(const std::vector<double>& x, size_t AFirst, size_t N, double AScale)
{
    std::vector<double> LResult(N / 2);
    for (size_t k = 0; k < N / 2; ++k) {
        std::complex<long double> LSum = 0;
        for (size_t n = 0; n < N; ++n)
            LSum += static_cast<long double>(x[AFirst + n]) *
                    std::polar(1.0L, -2.0L * std::numbers::pi_v<long double> * static_cast<long double>((k * n) % N) / N);
        LResult[k] = static_cast<double>(std::abs(LSum)) * AScale;
    }
    return LResult;
}

// The signed samples of channel 0 of a buffer.
std::vector<double> Channel0(const ISNAudioBuffer& ABuffer)
{
    std::vector<double> LResult(ABuffer.GetSize());
    for (uint32_t f = 0; f < ABuffer.GetSize(); ++f)
        LResult[f] = ABuffer.GetItem(f, 0) - (ABuffer.GetBitsPerSample() == 8 ? 128 : 0);
    return LResult;
}

ISNAudioBufferPtr Noise(unsigned ABits, uint32_t AFrames, uint32_t ASeed)
{
    std::mt19937 LRandom(ASeed);
    std::uniform_real_distribution<double> LValue(-0.9, 0.9);
    return MakeSignal(44100, ABits, 1, AFrames, [&](uint32_t, unsigned) { return LValue(LRandom) * FullScale(ABits); });
}

class SNSpectrumNormalisationTest
    : public ::testing::TestWithParam<std::tuple<unsigned, TDGFourierNormalization>> {};

} // namespace

TEST_P(SNSpectrumNormalisationTest, MagnitudesMatchADirectDft)
{
    const auto [LBits, LNormalisation] = GetParam();
    TSpectrumRig LRig(1, 6);
    LRig.Spectrum.SetNormalization(LNormalisation);
    ISNAudioBufferPtr LInput = Noise(LBits, 64 * 3, LBits);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);
    const auto LSpectra = LRig.Spectra[0]->Buffers();
    ASSERT_EQ(LSpectra.size(), 3u);
    const double LScale = LNormalisation == fnNormalize ? 1.0 / 64 : LNormalisation == fnNormalizeSqrt ? 1.0 / 8 : 1.0;
    const auto x = Channel0(*LInput);
    for (size_t w = 0; w < 3; ++w) {
        auto LExpected = DirectMagnitudes(x, 64 * w, 64, LScale);
        LExpected[0] = 0;
        ASSERT_EQ(LSpectra[w].size(), 32u);
        for (size_t k = 0; k < 32; ++k)
            EXPECT_NEAR(LSpectra[w][k], LExpected[k], 1e-9 * FullScale(LBits)) << "window " << w << " bin " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(WidthsAndScalings, SNSpectrumNormalisationTest,
                         ::testing::Combine(::testing::Values(8u, 16u, 24u, 32u),
                                            ::testing::Values(fnNone, fnNormalize, fnNormalizeSqrt)));

TEST(SNSpectrum, DecibelModesTakeTheLogarithmOfEachBinButBinZero)
{
    ISNAudioBufferPtr LInput = Noise(16, 256, 7);
    TSpectrumRig LLinear;
    LLinear.Feeder.Start(LInput->GetWaveFormat());
    LLinear.Feeder.Send(LInput);
    for (TSNdBMode LMode : {adbPower, adbAmplitude}) {
        TSpectrumRig LRig;
        LRig.Spectrum.SetModedB(LMode);
        LRig.Feeder.Start(LInput->GetWaveFormat());
        LRig.Feeder.Send(LInput);
        const auto LdB = LRig.Spectra[0]->Buffers().at(0);
        const auto LPlain = LLinear.Spectra[0]->Buffers().at(0);
        EXPECT_EQ(LdB[0], 0.0);
        for (size_t k = 1; k < 128; ++k)
            EXPECT_NEAR(LdB[k], (LMode == adbPower ? 10 : 20) * std::log10(LPlain[k]), 1e-9) << k;
        EXPECT_EQ(LRig.Peaks[0]->Values(), LLinear.Peaks[0]->Values()) << "the peak is the same bin";
    }
}

TEST(SNSpectrum, SilenceInAmplitudeDecibelsIsTheMostNegativeDoubleAndPeaksAtZero)
{
    TSpectrumRig LRig;
    LRig.Spectrum.SetModedB(adbAmplitude);
    ISNAudioBufferPtr LSilence = TSNAudioBuffer::CreateSize(44100, 16, 1, 256);
    LRig.Feeder.Start(LSilence->GetWaveFormat());
    LRig.Feeder.Send(LSilence);
    const auto LSpectrum = LRig.Spectra[0]->Buffers().at(0);
    EXPECT_EQ(LSpectrum[0], 0.0);
    for (size_t k = 1; k < 128; ++k)
        ASSERT_EQ(LSpectrum[k], -1.7976931348623157E308);
    EXPECT_EQ(LRig.Peaks[0]->Values(), (std::vector<double>{0.0}));
    EXPECT_EQ(LRig.Peaks[0]->Ranges().at(0), std::make_pair(0.0, 22050.0));
}

TEST(SNSpectrum, TheStrongestBinOfAToneAtABinCentreAndBetweenBins)
{
    struct TCase {
        double Bin;
        double ExpectedBin;
    };
    for (const TCase LCase : {TCase{10, 10}, TCase{37, 37}, TCase{20.3, 20}, TCase{20.7, 21}, TCase{100.2, 100}}) {
        TSpectrumRig LRig;
        std::vector<double> LFrequencies;
        LRig.Spectrum.SetSynchronize(false);
        LRig.Spectrum.SetOnFrequencyResult(
            [&](TPersistent&, int32_t, double AFrequency, double AMax) {
                LFrequencies.push_back(AFrequency);
                EXPECT_EQ(AMax, 22050.0);
            });
        ISNAudioBufferPtr LTone = MakeSignal(44100, 16, 1, 1024, [&](uint32_t f, unsigned) {
            return 20000 * std::sin(2 * std::numbers::pi * LCase.Bin * f / 256);
        });
        LRig.Feeder.Start(LTone->GetWaveFormat());
        LRig.Feeder.Send(LTone);
        ASSERT_EQ(LFrequencies.size(), 4u);
        for (double LFrequency : LFrequencies)
            EXPECT_DOUBLE_EQ(LFrequency, LCase.ExpectedBin * 22050 / 128) << LCase.Bin;
        EXPECT_EQ(LRig.Peaks[0]->Values(), LFrequencies);
    }
}

TEST(SNSpectrum, WindowsStartEveryStepWhateverTheBufferSizes)
{
    const ISNAudioBufferPtr LInput = Noise(16, 3000, 11);
    const auto x = Channel0(*LInput);
    for (uint32_t LStep : {0u, 64u, 100u, 256u, 1000u}) {
        SCOPED_TRACE("step " + std::to_string(LStep));
        const size_t LPeriod = LStep == 0 ? 256 : LStep;
        const size_t LWindows = (3000 - 256) / LPeriod + 1;
        TSpectrumRig LWhole;
        LWhole.Spectrum.SetSamplingWindowStep(LStep);
        LWhole.Feeder.Start(LInput->GetWaveFormat());
        LWhole.Feeder.Send(LInput);
        const auto LSpectra = LWhole.Spectra[0]->Buffers();
        ASSERT_EQ(LSpectra.size(), LWindows);
        for (size_t w = 0; w < LWindows; w += 3) {
            auto LExpected = DirectMagnitudes(x, w * LPeriod, 256, 1.0 / 256);
            LExpected[0] = 0;
            for (size_t k = 0; k < 128; ++k)
                ASSERT_NEAR(LSpectra[w][k], LExpected[k], 1e-8) << "window " << w << " bin " << k;
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

TEST(SNSpectrum, ABufferThatCompletesNoWindowGivesNothing)
{
    TSpectrumRig LRig;
    ISNAudioBufferPtr LInput = Noise(16, 255, 3);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);
    EXPECT_TRUE(LRig.Spectra[0]->Buffers().empty());
    LRig.Feeder.SendPart(*Noise(16, 1, 4), 0, 1);
    EXPECT_EQ(LRig.Spectra[0]->Buffers().size(), 1u);
}

TEST(SNSpectrum, OrderAppliesAtTheNextStart)
{
    TSpectrumRig LRig;
    LRig.Spectrum.SetOrder(4);
    ISNAudioBufferPtr LInput = Noise(16, 64, 5);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    EXPECT_EQ(LRig.Spectra[0]->Ranges().at(0), std::make_pair(0.0, 65536.0 / 3));
    LRig.Spectrum.SetOrder(5);
    LRig.Feeder.Send(LInput);
    EXPECT_EQ(LRig.Spectra[0]->Buffers().size(), 4u) << "16-point windows until the next start";
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);
    EXPECT_EQ(LRig.Spectra[0]->Buffers().size(), 6u);
    EXPECT_EQ(LRig.Spectra[0]->Buffers().back().size(), 16u);
    // Too large a window is refused at the start with OnError: the stream
    // gives nothing, and no memory is asked for.
    std::vector<std::string> LErrors;
    LRig.Spectrum.SetOnError([&](TPersistent&, const std::string& AMessage, uint32_t, bool& AHandled) {
        LErrors.push_back(AMessage);
        AHandled = true;
    });
    LRig.Spectrum.SetOrder(25);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);
    EXPECT_EQ(LRig.Spectra[0]->Buffers().size(), 6u);
    ASSERT_EQ(LErrors.size(), 1u);
    EXPECT_EQ(LErrors[0], "Order 25 asks for windows of 33554432 samples; at most Order 24 (16777216 samples) is "
                          "supported: no spectra for this stream");
    // Unhandled, it reaches the background error handler (a tool run fails).
    std::string LBackground;
    SetBackgroundErrorHandler([&](const std::string& AMessage) { LBackground = AMessage; });
    LRig.Spectrum.SetOnError(nullptr);
    LRig.Spectrum.SetOrder(30);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    SetBackgroundErrorHandler(nullptr);
    EXPECT_NE(LBackground.find(": Order 30 asks for windows of 1073741824 samples"), std::string::npos) << LBackground;
}

TEST(SNSpectrum, AfterAStopBuffersAreIgnoredUntilTheNextStart)
{
    TSpectrumRig LRig;
    ISNAudioBufferPtr LInput = Noise(16, 256, 6);
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Stop();
    LRig.Feeder.Send(LInput);
    EXPECT_TRUE(LRig.Spectra[0]->Buffers().empty());
    LRig.Feeder.Start(LInput->GetWaveFormat());
    LRig.Feeder.Send(LInput);
    EXPECT_EQ(LRig.Spectra[0]->Buffers().size(), 1u);
}

TEST(SNSpectrum, BothPinListsFollowCountChannels)
{
    TSNSpectrum LSpectrum;
    EXPECT_EQ(LSpectrum.GetOutputPins().GetCount(), 2);
    EXPECT_EQ(LSpectrum.GetFrequencyOutputPins().GetCount(), 2);
    LSpectrum.SetCountChannels(5);
    EXPECT_EQ(LSpectrum.GetOutputPins().GetCount(), 5);
    EXPECT_EQ(LSpectrum.GetFrequencyOutputPins().GetCount(), 5);
    LSpectrum.SetCountChannels(1);
    EXPECT_EQ(LSpectrum.GetFrequencyOutputPins().GetCount(), 1);
}

TEST(SNSpectrum, SynchronisedResultsArriveOnTheMainThreadInOrder)
{
    MainThread().SetMainThread();
    MainThread().ProcessMessages();
    TSpectrumRig LRig(2);
    std::vector<std::pair<int32_t, double>> LEvents;
    LRig.Spectrum.SetOnFrequencyResult(
        [&](TPersistent&, int32_t AChannel, double AFrequency, double) { LEvents.emplace_back(AChannel, AFrequency); });
    ISNAudioBufferPtr LTones = MakeSignal(44100, 16, 2, 512, [](uint32_t f, unsigned c) {
        return 10000 * std::sin(2 * std::numbers::pi * (c == 0 ? 8 : 16) * f / 256);
    });
    LRig.Feeder.Start(LTones->GetWaveFormat());
    LRig.Feeder.Send(LTones);
    EXPECT_TRUE(LEvents.empty());
    MainThread().ProcessMessages();
    // Each window of each channel hands over every channel's latest result.
    ASSERT_EQ(LEvents.size(), 8u);
    EXPECT_EQ(LEvents.back(), std::make_pair(1, 16 * 22050.0 / 128));
    EXPECT_EQ(LEvents[6], std::make_pair(0, 8 * 22050.0 / 128));
}
