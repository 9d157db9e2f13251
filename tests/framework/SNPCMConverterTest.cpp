// SPDX-License-Identifier: MIT
#include "SNRateChange.h"
#include "SNResizeAudioBuffer.h"
#include "TestSamples.h"
#include "SNPCMConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <tuple>

using namespace Sonorix;

namespace {

// A sine of amplitude 0.5 full scale at AFrequency, AFrames frames, mono.
ISNAudioBufferPtr Sine(uint32_t ARate, uint32_t ABits, double AFrequency, uint32_t AFrames)
{
    ISNAudioBufferPtr LBuffer = TSNAudioBuffer::CreateSize(ARate, ABits, 1, AFrames);
    const double LFull = std::ldexp(1.0, int(ABits) - 1) - 1.0;
    for (uint32_t n = 0; n < AFrames; ++n)
        Sonorix::Test::PutSample(*LBuffer, n, 0,
                        int32_t(std::lround(0.5 * LFull * std::sin(2 * std::numbers::pi * AFrequency * n / ARate))));
    return LBuffer;
}

// Everything but the tone: RMS (dB re full scale) of what remains after the
// least-squares fit of a sine at AFrequency, over frames [ASkip, size - ASkip).
double ResidualDb(const std::vector<double>& AValues, double AFrequency, uint32_t ARate, uint32_t ABits, size_t ASkip)
{
    const double w = 2 * std::numbers::pi * AFrequency / ARate;
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (size_t n = ASkip; n + ASkip < AValues.size(); ++n) {
        const double s = std::sin(w * n), c = std::cos(w * n);
        ss += s * s, cc += c * c, sc += s * c, ys += AValues[n] * s, yc += AValues[n] * c;
    }
    const double LDet = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / LDet, b = (yc * ss - ys * sc) / LDet;
    double LSum = 0;
    size_t LCount = 0;
    for (size_t n = ASkip; n + ASkip < AValues.size(); ++n, ++LCount) {
        const double e = AValues[n] - a * std::sin(w * n) - b * std::cos(w * n);
        LSum += e * e;
    }
    return 20 * std::log10(std::sqrt(LSum / double(LCount)) / std::ldexp(1.0, int(ABits) - 1));
}

std::vector<double> Values(const std::vector<ISNAudioBufferPtr>& ABuffers)
{
    std::vector<double> LValues;
    for (const auto& LBuffer : ABuffers)
        for (uint32_t f = 0; f < LBuffer->GetSize(); ++f)
            LValues.push_back(LBuffer->GetItem(f, 0));
    return LValues;
}

} // namespace

TEST(SNPCMConverterTest, ResultCodesOfTheStreamOperations)
{
    std::unique_ptr<TSNPCMConverter> LStream;
    const WAVEFORMATEXTENSIBLE LStereo16k = MakeWaveFormat(16000, 16, 2), LMono44k = MakeWaveFormat(44100, 16, 1);
    WAVEFORMATEXTENSIBLE LOdd = LMono44k;
    LOdd.Format.wBitsPerSample = 20;
    EXPECT_EQ(PCMStreamOpen(LStream, LOdd, LMono44k, 0), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(PCMStreamOpen(LStream, LStereo16k, LMono44k, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR);
    EXPECT_FALSE(LStream);
    WAVEFORMATEX LSource = LStereo16k.Format, LDest = LMono44k.Format;
    LSource.wFormatTag = LDest.wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(PCMStreamOpen(LStream, LSource, LDest, ACM_STREAMOPENF_NONREALTIME), MMSYSERR_NOERROR);
    uint32_t LSize = 0;
    EXPECT_EQ(PCMStreamSize(LStream.get(), 0, LSize, 0), MMSYSERR_INVALPARAM);
    ASSERT_EQ(PCMStreamSize(LStream.get(), 640, LSize, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GE(LSize, 441u * 2) << "160 stereo frames at 16 kHz give at least 441 mono frames at 44.1 kHz";
    // A stereo stream with opposite channels mixes down to silence; the length
    // follows the rate.
    ISNAudioBufferPtr LIn = TSNAudioBuffer::CreateSize(16000, 16, 2, 1600);
    for (uint32_t f = 0; f < 1600; ++f) {
        const int32_t v = int32_t(std::lround(8000 * std::sin(f * 0.3)));
        Sonorix::Test::PutSample(*LIn, f, 0, v);
        Sonorix::Test::PutSample(*LIn, f, 1, -v);
    }
    std::vector<uint8_t> LOut(8000 * 2);
    TSNPCMStreamHeader LHeader{.Source = LIn->ByteRead(), .SourceLength = uint32_t(LIn->GetByteSize()) + 1,
                               .Dest = LOut.data(), .DestLength = uint32_t(LOut.size())};
    EXPECT_EQ(PCMStreamConvert(LStream.get(), LHeader, ACM_STREAMCONVERTF_BLOCKALIGN), ACMERR_UNPREPARED);
    ASSERT_EQ(PCMStreamPrepareHeader(LStream.get(), LHeader), MMSYSERR_NOERROR);
    ASSERT_EQ(PCMStreamConvert(LStream.get(), LHeader, ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_BLOCKALIGN |
                                                          ACM_STREAMCONVERTF_END),
              MMSYSERR_NOERROR);
    EXPECT_EQ(LHeader.SourceLengthUsed, LIn->GetByteSize()) << "the partial frame stays unused";
    EXPECT_NEAR(LHeader.DestLengthUsed / 2.0, 4410.0, 1.0);
    for (uint32_t i = 0; i < LHeader.DestLengthUsed / 2; ++i)
        ASSERT_LE(std::abs(int(int16_t(LOut[2 * i] | LOut[2 * i + 1] << 8))), 1) << i;
    EXPECT_EQ(PCMStreamUnprepareHeader(LStream.get(), LHeader), MMSYSERR_NOERROR);
}

// Figures quoted in docs/architecture.md: a sine at 0.45 of the input rate,
// everything that is not the tone (aliasing, imaging, noise) relative to
// full scale, in one resized buffer; and the rate change's lengths.
TEST(SNPCMConverterTest, ResamplingKeepsEverythingButTheToneBelowMinus90Db)
{
    // 48:1 down runs on fewer filter phases (the bank is bounded): its tone
    // sits at 0.45 of the output rate.
    for (auto [LIn, LOut, f] : {std::tuple{44100u, 48000u, 0.45 * 44100}, std::tuple{48000u, 44100u, 0.45 * 48000},
                                std::tuple{192000u, 4000u, 0.45 * 4000}})
        for (uint32_t LBits : {16u, 32u}) {
            SCOPED_TRACE(std::to_string(LIn) + " -> " + std::to_string(LOut) + ", " + std::to_string(LBits) + " bits");
            const ISNAudioBufferPtr LSignal = Sine(LIn, LBits, f, LIn);
            // The rate change resizes each 1024-frame piece on its own: its
            // length is Round(frames x ratio) per piece, whatever the sum.
            size_t LStreamedFrames = 0, LExpected = 0;
            TSNChangeFormat LChange([&](const ISNAudioBufferPtr& B) { LStreamedFrames += B->GetSize(); });
            LChange.SetOutputFormat(MakeWaveFormat(LOut, LBits, 1));
            for (uint32_t LFrame = 0; LFrame < LIn; LFrame += 1024) {
                ISNAudioBufferPtr LPiece = TSNAudioBuffer::CreateSize(LIn, LBits, 1, std::min(1024u, LIn - LFrame));
                LSignal->CopyTo(LFrame, *LPiece, 0, LPiece->GetSize());
                LExpected += static_cast<size_t>(std::nearbyint(LPiece->GetSize() * double(LOut) / LIn));
                ISNAudioBufferPtr LOutput;
                LChange.Process(LPiece, LOutput);
            }
            EXPECT_EQ(LStreamedFrames, LExpected);
            ISNAudioBufferPtr LResized = TSNAudioBuffer::CreateSize(LOut, LBits, 1, LOut);
            ResizeAudioBuffer(*LSignal, *LResized);
            const double LResizedDb = ResidualDb(Values({LResized}), f, LOut, LBits, 64);
            EXPECT_LT(LResizedDb, -90.0);
            // The ends: how far the first frames stray from the tone.
            const double LEdgeDb = ResidualDb(Values({LResized}), f, LOut, LBits, 0);
            std::printf("[ figures  ] %u -> %u Hz, %u bits: one buffer %.1f dBFS (%.1f with its ends)\n", LIn, LOut,
                        LBits, LResizedDb, LEdgeDb);
        }
}

TEST(SNPCMConverterTest, ResizedBufferEdgesAndLengths)
{
    // A constant buffer stays constant up to both ends: the edges are not
    // taken as silence.
    ISNAudioBufferPtr LConstant = TSNAudioBuffer::CreateSize(44100, 16, 2, 1000);
    std::fill_n(static_cast<int16_t*>(LConstant->Modify()), 2000, int16_t{10000});
    for (uint32_t LLength : {1088u, 917u, 3u, 1000u, 20000u}) {
        ISNAudioBufferPtr LOut = TSNAudioBuffer::CreateSize(48000, 16, 1, LLength);
        ResizeAudioBuffer(*LConstant, *LOut);
        for (uint32_t f = 0; f < LLength; ++f)
            ASSERT_LE(std::abs(LOut->GetItem(f, 0) - 10000), 2) << f << " of " << LLength << " frames";
    }
}
