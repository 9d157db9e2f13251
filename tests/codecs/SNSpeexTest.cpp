// SPDX-License-Identifier: MIT
// Speex: the binding, encoder and decoder, checked against speexenc and
// speexdec.
#include "LAVTestSupport.h"
#include "SNOggLogger.h"
#include "SNSpeexCompressor.h"
#include "SNSpeexDecompressor.h"
#include "codecs/SNSampleRounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>

using namespace Sonorix;
using namespace Sonorix::Test;

TEST(SpeexBinding, MissingLibraryAndMissingExport)
{
    const auto [LLoad, LIncomplete] = RunBindingProbe("speex", SONORIX_PACKAGE_LIBRARY, SONORIX_SPEEX_WRAPPER,
                                                      SONORIX_SPEEX_WRAPPER_WITHOUT_VERSION);
    EXPECT_EQ(LLoad, "loaded-before no\nfirst Can't load SpeexDLL.dll\nsecond ok 1 4\n");
    EXPECT_EQ(LIncomplete, "loaded-before no\nfirst Can't get DLL_GetModeBitStreamVersion\n");
}

namespace {

int32_t HeaderInt(const std::vector<uint8_t>& AHeader, size_t AOffset)
{
    int32_t LValue;
    std::memcpy(&LValue, AHeader.data() + AOffset, 4);
    return LValue;
}

// Decodes a framed stream handed over in pieces of AChunk bytes.
std::vector<int16_t> Decode(const std::vector<uint8_t>& AStream, size_t AChunk, TErrorLog* AErrors = nullptr,
                            std::vector<uint32_t>* ASizes = nullptr, bool AThreaded = false)
{
    TSNSpeexDecompressor LDecoder;
    LDecoder.GetThreading().SetEnabled(AThreaded);
    TTestCollector LCollector;
    LDecoder.GetAudioFormat().SetSampleRate(8000);
    LDecoder.GetAudioFormat().SetCountChannels(1);
    LDecoder.GetAudioFormat().SetBufferSize(1000);
    if (AErrors)
        AErrors->Attach(LDecoder);
    LDecoder.GetOutputPin().Connect(LCollector.GetInputPin());
    FeedStream(LDecoder.GetInputPin(), AStream, AChunk);
    TDGTimeline::WaitIdle();
    std::vector<int16_t> LSamples;
    for (const auto& LBuffer : LCollector.Buffers()) {
        if (ASizes)
            ASizes->push_back(LBuffer->GetSize());
        const auto* LData = reinterpret_cast<const int16_t*>(LBuffer->ByteRead());
        LSamples.insert(LSamples.end(), LData, LData + LBuffer->GetSize() * LBuffer->GetChannels());
    }
    return LSamples;
}

// Two WAV files hold the same 16-bit samples, but for float and integer
// decoding rounding apart by a step.
void ExpectSameSamples(const std::string& AOurs, const std::string& ATheirs)
{
    const std::vector<int16_t> LOurs = WavSamples(AOurs), LTheirs = WavSamples(ATheirs);
    ASSERT_EQ(LOurs.size(), LTheirs.size());
    int LWorst = 0;
    for (size_t i = 0; i < LOurs.size(); ++i)
        LWorst = std::max(LWorst, std::abs(LOurs[i] - LTheirs[i]));
    EXPECT_LE(LWorst, 2);
}

} // namespace

// Odd lengths (the vector part and the tail), ties, bounds and a NaN: the same
// values as one sample at a time.
TEST(SpeexDecompressor, FloatsToInt16MatchesTheScalarRounding)
{
    std::vector<float> LIn = {0.5f, 1.5f, -0.5f, -2.5f, 32766.5f, 32767.4f, 32767.6f, -32768.6f, 1e9f, -1e9f,
                              std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 61; ++i)
        LIn.push_back(std::sin(i * 0.7f) * 40000.0f);
    for (size_t LCount : {size_t{0}, size_t{7}, size_t{8}, size_t{9}, LIn.size()}) {
        std::vector<int16_t> LOut(LCount + 1, 99);
        FloatsToInt16(LIn.data(), LOut.data(), LCount);
        for (size_t i = 0; i < LCount; ++i)
            EXPECT_EQ(LOut[i], static_cast<int16_t>(RoundToInt(std::clamp(LIn[i], -32768.0f, 32767.0f)))) << i;
        EXPECT_EQ(LOut[LCount], 99);
    }
}

TEST(SpeexCompressor, HeaderPacketsPartialLastPacketAndSettings)
{
    TSNSpeexCompressor LEncoder;
    LEncoder.SetFramesPerPacket(3);
    LEncoder.GetVariableBitRate().SetEnabled(true);
    LEncoder.GetComments().Add().SetText("r%R");
    // 8 frames of 160: two packets of three, then the two pending frames
    // in the last packet.
    TFeeder LFeeder;
    TPacketCollector LPackets;
    Chain(LFeeder, LEncoder, LPackets);
    LFeeder.Play(MakeWaveFormat(8000, 16, 1), 1300, 333);
    ASSERT_EQ(LPackets.Headers.size(), 5u);
    const auto& LHeader = LPackets.Data[0];
    ASSERT_EQ(LHeader.size(), 80u);
    EXPECT_EQ(std::string(LHeader.begin(), LHeader.begin() + 8), "Speex   ");
    // Rate, mode, channels, frame size, variable bit rate, frames per packet.
    for (const auto& [LOffset, LValue] : {std::pair{36, 8000}, {40, 0}, {48, 1}, {56, 160}, {60, 1}, {64, 3}})
        EXPECT_EQ(HeaderInt(LHeader, LOffset), LValue) << LOffset;
    EXPECT_EQ(int32_t{LPackets.Headers[0].b_o_s}, 1);
    const auto& LComment = LPackets.Data[1];
    EXPECT_EQ(HeaderInt(LComment, 0), 28);
    EXPECT_EQ(HeaderInt(LComment, 32), 1);
    EXPECT_EQ(std::string(LComment.begin() + 40, LComment.end()), "Comment1=r8000");
    const int64_t LGranules[] = {480, 960, 1280};
    for (int i = 0; i < 3; ++i) {
        // Packed fields are copied before comparing.
        const TSNCodecPacketHeader LAudio = LPackets.Headers[2 + i];
        EXPECT_EQ(int64_t{LAudio.granulepos}, LGranules[i]);
        EXPECT_EQ(int64_t{LAudio.packetno}, 2 + i);
        EXPECT_EQ(int32_t{LAudio.e_o_s}, i == 2);
    }
    // Of 5.1, the front pair is coded as stereo.
    TPacketCollector LSurround;
    LEncoder.GetOutputPin().Connect(LSurround.FInputPin);
    LFeeder.Play(MakeWaveFormat(16000, 24, 6), 320, 320);
    ASSERT_GE(LSurround.Data.size(), 2u);
    EXPECT_EQ(HeaderInt(LSurround.Data[0], 48), 2);
}

TEST(SpeexDecompressor, SplitInvarianceLengthAndBadStreams)
{
    TFeeder LFeeder;
    TSNSpeexCompressor LEncoder;
    LEncoder.SetFramesPerPacket(2);
    TPacketCollector LPackets;
    Chain(LFeeder, LEncoder, LPackets);
    LFeeder.Play(MakeWaveFormat(8000, 16, 1), 3900, 512);
    const std::vector<uint8_t> LStream = LPackets.Stream;
    std::vector<uint32_t> LSizes;
    const std::vector<int16_t> LWhole = Decode(LStream, LStream.size(), nullptr, &LSizes);
    EXPECT_EQ(LWhole.size(), 3840u);  // 24 whole frames
    EXPECT_EQ(LSizes, (std::vector<uint32_t>{1000, 1000, 1000, 840}));
    EXPECT_EQ(Decode(LStream, 7), LWhole);
    // The tone comes back.
    std::vector<int32_t> LAligned;
    for (const int16_t LSample : LWhole)
        LAligned.push_back(LSample * 65536);
    EXPECT_GT(ToneLevel(MiddleHalf(LAligned, 1), 1, 0, 300, 8000), 0.3);

    // No header, a wrong mode: an error. Cut short: less audio.
    TErrorLog LErrors;
    std::vector<uint8_t> LHeaderless(LStream.begin() + 28 + 80, LStream.end());
    EXPECT_TRUE(Decode(LHeaderless, 4096, &LErrors).empty());
    EXPECT_EQ(LErrors.Messages.size(), 1u);
    std::vector<uint8_t> LWrongMode = LStream;
    LWrongMode[28 + 40] = 7;
    EXPECT_TRUE(Decode(LWrongMode, 4096, &LErrors).empty());
    EXPECT_NE(LErrors.Text().find("mode 7"), std::string::npos) << LErrors.Text();
    std::vector<uint8_t> LCut(LStream.begin(), LStream.begin() + LStream.size() / 2);
    EXPECT_LT(Decode(LCut, 64).size(), LWhole.size());
}

TEST(SpeexThreading, ThreadedEncoderAndDecoderDrainEveryPacketInOrder)
{
    // Stereo wideband, two frames a packet, buffers that end mid-frame; the
    // threaded run switches its thread off and on again halfway.
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(16000, 16, 2);
    auto Encode = [&](bool AThreaded) {
        TFeeder LFeeder;
        TSNSpeexCompressor LEncoder;
        TPacketCollector LPackets;
        LEncoder.SetBandMode(TSNSpeexBandMode::snSpeexWideband);
        LEncoder.SetFramesPerPacket(2);
        LEncoder.GetThreading().SetEnabled(AThreaded);
        Chain(LFeeder, LEncoder, LPackets);
        LFeeder.GetOutputPin().SendStart(LFormat);
        for (uint64_t F = 0; F < 32000; F += 700) {
            if (AThreaded && F == 16100) {
                LEncoder.GetThreading().SetEnabled(false);
                LEncoder.GetThreading().SetEnabled(true);
            }
            LFeeder.GetOutputPin().SendBuffer(SignalBuffer(LFormat, F, 700));
        }
        LFeeder.GetOutputPin().SendStop();
        TDGTimeline::WaitIdle();
        EXPECT_EQ(int32_t{LPackets.Headers.back().e_o_s}, 1);
        return LPackets.Stream;
    };
    const std::vector<uint8_t> LInline = Encode(false);
    EXPECT_GT(LInline.size(), 5000u);
    EXPECT_EQ(Encode(true), LInline) << "the threaded stream differs or lost its end-of-stream packet";
    const std::vector<int16_t> LDecoded = Decode(LInline, 100, nullptr, nullptr, true);
    EXPECT_NEAR(static_cast<double>(LDecoded.size()), 16000, 1000);
    EXPECT_EQ(LDecoded, Decode(LInline, 100));
}

TEST(SpeexThreading, SettersRaceTheProcessingThread)
{
    // Run under ThreadSanitizer: settings change from this thread while the
    // encoder's and the decoder's own threads work.
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(16000, 16, 1);
    TFeeder LFeeder;
    TSNSpeexCompressor LEncoder;
    TSNSpeexDecompressor LDecoder;
    TTestCollector LCollector;
    LEncoder.GetThreading().SetEnabled(true);
    LDecoder.GetThreading().SetEnabled(true);
    LDecoder.GetAudioFormat().SetSampleRate(16000);
    LDecoder.GetAudioFormat().SetCountChannels(1);
    Chain(LFeeder, LEncoder, LDecoder, LCollector);
    LFeeder.GetOutputPin().SendStart(LFormat);
    for (uint64_t F = 0; F < 64000; F += 640) {
        LFeeder.GetOutputPin().SendBuffer(SignalBuffer(LFormat, F, 640));
        const int I = static_cast<int>(F / 640);
        LEncoder.SetQuality(static_cast<float>(I % 10) / 10);
        LEncoder.SetComplexity(1 + I % 10);
        LEncoder.GetThreading().SetPriority(I % 2 ? tpLower : tpNormal);
        LDecoder.SetEnabled(true);
        EXPECT_LE(LDecoder.GetChannelCount(), 1u);
        if (I == 50) // A restart mid-stream, as a writer's file switch asks.
            LEncoder.GetOutputPin().Notify(std::make_shared<TSNOggRestartOperation>());
    }
    LFeeder.GetOutputPin().SendStop();
    TDGTimeline::WaitIdle();
    EXPECT_EQ(LCollector.Stops(), 1);
    EXPECT_NEAR(static_cast<double>(LCollector.Frames()), 64000, 1000);
}

class SpeexFiles : public TInteropTest {
protected:
    SpeexFiles() : TInteropTest("speexenc speexdec sox") {}
};

// Files of speexenc, and our own stereo file, play as speexdec plays them.
TEST_F(SpeexFiles, FilesPlayLikeSpeexdec)
{
    const std::string LIn = FDir.Path("in.wav"), LSpx = FDir.Path("in.spx"), LRef = FDir.Path("ref.wav");
    for (const auto& [LRate, LChannels, LEncode] :
         {std::tuple{8000, 1, "speexenc --narrowband"}, {16000, 1, "speexenc --wideband"},
          {16000, 1, "speexenc --wideband --nframes 3 --vbr"}, {16000, 2, "speexenc --wideband --stereo"}, {16000, 2, ""}}) {
        SCOPED_TRACE(*LEncode ? LEncode : "our file");
        const std::string LFormat = " AudioFormat.Channels=" + std::to_string(LChannels) + " AudioFormat.SampleRate=" +
                                    std::to_string(LRate);
        ASSERT_EQ((*LEncode ? Shell("sox -n -b 16 -r " + std::to_string(LRate) + " -c " + std::to_string(LChannels) +
                                    " " + LIn + " synth 1.37 sine 440 sine 660 vol 0.5 && " + LEncode + " --quiet " +
                                    LIn + " " + LSpx)
                            : Tool("TSNSignalGen Frequency=1000 Amplitude=16000" + LFormat +
                                       " ! TSNSpeexCompressor BandMode=snSpeexWideband ! TSNOggLogger FileName=" + LSpx,
                                   "--quiet --duration 5"))
                      .ExitCode,
                  0);
        ASSERT_EQ(Shell("speexdec " + LSpx + " " + LRef).ExitCode, 0);
        if (!*LEncode) {
            const TProbe LProbe = Probe(LRef);
            EXPECT_EQ(LProbe.Channels, 2);
            EXPECT_NEAR(LProbe.Duration, 5.0, 0.1); // the generator ends on a whole buffer
            EXPECT_NEAR(ToneLevel(MiddleHalf(DecodeWithFfmpeg(LRef), 2), 2, 0, 1000, 16000), 16000.0 / 32768, 0.08);
        }
        const TShellResult LRun =
            Tool("TSNOggPlayer FileName=" + LSpx + " ! TSNSpeexDecompressor" + LFormat, "--quiet --wav " + FDir.Path("out.wav"));
        ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
        ExpectSameSamples(FDir.Path("out.wav"), LRef);
    }
}
