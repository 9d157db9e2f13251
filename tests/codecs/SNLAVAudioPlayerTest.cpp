// SPDX-License-Identifier: MIT
// Files made by ffmpeg, played through the libav player.
#include "LAVTestSupport.h"
#include "SNLAVAudioPlayer.h"
#include "codecs/SNPlayerSource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdlib.h>
#include <thread>
#include <tuple>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TPlayerCase {
    const char* Name;
    const char* File;
    const char* Encode; // ffmpeg output options
    unsigned Channels;
    unsigned Bits; // the player's output width
    bool Lossless;
};
void PrintTo(const TPlayerCase& ACase, std::ostream* AOut) { *AOut << ACase.Name; }

class LAVPlayer : public TInteropTest {
protected:
    // 48 kHz with a distinct tone per channel (300 + 200 c Hz) at half full
    // scale, made by ffmpeg's own generator.
    std::string MakeFile(const std::string& AName, unsigned AChannels = 2, double ASeconds = 0.1,
                         const std::string& AEncode = "-c:a pcm_s16le")
    {
        std::string LExpressions;
        for (unsigned C = 0; C < AChannels; ++C)
            LExpressions += (C ? "|" : "") + std::string("0.5*sin(2*PI*") + std::to_string(300 + 200 * C) + "*t)";
        const TShellResult LRun = Shell("ffmpeg -v error -y -f lavfi -i " +
                                        Quote("aevalsrc=" + LExpressions + ":s=48000:d=" + std::to_string(ASeconds)) +
                                        " " + AEncode + " " + Quote(FDir.Path(AName)));
        EXPECT_EQ(LRun.ExitCode, 0) << LRun.Output;
        return FDir.Path(AName);
    }
};

class LAVPlayerInterop : public LAVPlayer, public ::testing::WithParamInterface<TPlayerCase> {};

TEST_P(LAVPlayerInterop, PlaysWhatFfmpegWrote)
{
    const TPlayerCase& LCase = GetParam();
    const std::string LFile = MakeFile(LCase.File, LCase.Channels, 0.5, LCase.Encode);
    const std::vector<int32_t> LReference = DecodeWithFfmpeg(LFile);
    ASSERT_FALSE(LReference.empty());
    const uint64_t LReferenceFrames = LReference.size() / LCase.Channels;

    TSNLAVAudioPlayer LPlayer;
    TErrorLog LErrors;
    LErrors.Attach(LPlayer);
    LPlayer.SetFileName(LFile);
    LPlayer.SetBufferSize(1000);
    const TPlayResult LResult = PlayFile(LPlayer);
    EXPECT_TRUE(LErrors.Messages.empty()) << LErrors.Text();
    ASSERT_TRUE(LResult.Opened) << LResult.Exception;
    EXPECT_EQ(uint32_t{LResult.Format.Format.nSamplesPerSec}, 48000u);
    EXPECT_EQ(uint32_t{LResult.Format.Format.nChannels}, LCase.Channels);
    EXPECT_EQ(uint32_t{LResult.Format.Format.wBitsPerSample}, LCase.Bits);
    EXPECT_EQ(LResult.Stops, 1);
    // The same length as ffmpeg decodes (priming and padding removed alike).
    EXPECT_EQ(LResult.Frames, LReferenceFrames);
    if (LCase.Lossless)
        EXPECT_EQ(LReferenceFrames, 24000u);
    else
        EXPECT_NEAR(static_cast<double>(LResult.Frames), 24000.0, 1200.0);

    const std::vector<int32_t> LPlayed = AlignedSamples(LResult.Buffers);
    ASSERT_EQ(LPlayed.size(), LReference.size());
    // Lossless: bit for bit. Lossy: the float samples scaled alike, within a
    // 16-bit step of ffmpeg's own conversion.
    const int64_t LTolerance = LCase.Lossless ? 0 : 65536;
    size_t LMismatches = 0;
    for (size_t I = 0; I < LPlayed.size(); ++I)
        LMismatches += std::llabs(int64_t{LPlayed[I]} - LReference[I]) > LTolerance;
    EXPECT_EQ(LMismatches, 0u);
    ExpectSignalTones(LPlayed, LCase.Channels, 48000, 0.05);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LAVPlayerInterop,
    // Integer WAV: NativeWavAgreesWithLibavSampleBySample.
    ::testing::Values(TPlayerCase{"WavFloat", "a.wav", "-c:a pcm_f32le", 2, 32, false},
                      TPlayerCase{"Flac16", "a.flac", "-c:a flac -sample_fmt s16", 2, 16, true},
                      TPlayerCase{"Flac24SixChannels", "a.flac", "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24", 6,
                                  24, true},
                      TPlayerCase{"OggVorbis", "a.ogg", "-c:a libvorbis", 2, 32, false},
                      TPlayerCase{"Opus", "a.opus", "-c:a libopus", 2, 32, false},
                      TPlayerCase{"Mp3", "a.mp3", "-c:a libmp3lame", 2, 32, false},
                      TPlayerCase{"AacM4a", "a.m4a", "-c:a aac", 2, 32, false},
                      TPlayerCase{"FlacNamedMp3", "wrong-extension.mp3", "-f flac -c:a flac -sample_fmt s16", 2, 16,
                                  true}),
    [](const ::testing::TestParamInfo<TPlayerCase>& AInfo) { return std::string(AInfo.param.Name); });

// Plain PCM WAV and FLAC are read natively, exactly as libav reads them: the
// same format (mask included), length, samples, and the same samples after a
// seek by time, at each width, extensible and RF64, and with an odd chunk that
// needs padding.
TEST_F(LAVPlayer, NativeReadersAgreeWithLibavSampleBySample)
{
    // 1001 frames: an 8-bit mono data chunk of odd size, padded.
    const std::string LSource = "-f lavfi -i " + Quote("aevalsrc=0.5*sin(2*PI*300*t)|0.4*sin(2*PI*500*t)|0.3*sin(2*PI*700*t)|"
                                                       "0.2*sin(2*PI*900*t)|0.1*sin(2*PI*1100*t)|0.6*sin(2*PI*1300*t):s=44100:d=0.1") +
                                " -af atrim=end_sample=1001 ";
    for (const std::string LEncode : {"-ac 1 -c:a pcm_u8", "-ac 2 -c:a pcm_s16le", "-ac 2 -c:a pcm_s24le",
                                      "-ac 6 -c:a pcm_s32le", "-ac 6 -c:a pcm_s16le -rf64 always", "-ac 3 -c:a pcm_u8",
                                      "-ac 2 -c:a flac -sample_fmt s16 -frame_size 256", "-ac 1 -c:a flac -sample_fmt s32 -frame_size 300"}) {
        SCOPED_TRACE(LEncode);
        const bool LFlac = LEncode.find("flac") != std::string::npos;
        const std::string LFile = FDir.Path(LFlac ? "a.flac" : "a.wav");
        ASSERT_EQ(Shell("ffmpeg -v error -y " + LSource + LEncode + " " + Quote(LFile)).ExitCode, 0);
        TSNPlayerStream LStream;
        TSNPlayerFailure LFailure;
        EXPECT_NE(LFlac ? OpenFlacPlayerSource({LFile, nullptr, nullptr}, LStream)
                        : OpenWavPlayerSource({LFile, nullptr, nullptr}, LStream, LFailure),
                  nullptr);
        if (LFlac) {
            EXPECT_EQ(LStream.Format.Format.wBitsPerSample, LEncode.find("s32") != std::string::npos ? 24 : 16);
        }
        std::vector<std::vector<uint8_t>> LBytes;
        for (const bool LLibav : {false, true}) {
            SCOPED_TRACE(LLibav ? "through libav" : "native");
            if (LLibav)
                setenv("SONORIX_PLAYER_LIBAV", "1", 1);
            for (const int64_t LSeek : {0, 441}) {
                TSNLAVAudioPlayer LPlayer;
                LPlayer.SetFileName(LFile);
                LPlayer.SetBufferSize(256);
                ASSERT_TRUE(LPlayer.Open());
                EXPECT_EQ(LPlayer.GetSamplesCount(), 1001);
                EXPECT_EQ(LPlayer.GetDurationTime(), 226984); // 1001 / 44100 s in time units
                LPlayer.Set_CurrentTime(LSeek * DGTimeUnitsPerSecond / 44100); // 0.01 s: sample 441
                EXPECT_EQ(LPlayer.GetCurrentSample(), LSeek);
                const TPlayResult LResult = PlayFile(LPlayer);
                EXPECT_EQ(LResult.Frames, uint64_t(1001 - LSeek));
                EXPECT_EQ(LPlayer.GetCurrentSample(), 1001);
                LBytes.emplace_back(reinterpret_cast<const uint8_t*>(&LResult.Format),
                                    reinterpret_cast<const uint8_t*>(&LResult.Format + 1));
                for (const ISNAudioBufferPtr& LBuffer : LResult.Buffers)
                    LBytes.back().insert(LBytes.back().end(), LBuffer->ByteRead(),
                                         LBuffer->ByteRead() + LBuffer->GetSize() * LResult.Format.Format.nBlockAlign);
            }
            unsetenv("SONORIX_PLAYER_LIBAV");
        }
        EXPECT_TRUE(LBytes[0] == LBytes[2]);
        EXPECT_TRUE(LBytes[1] == LBytes[3]);
    }
}

// OnPosition arrives on the main thread, and only the latest position
// waits there: a display never falls behind the player.
TEST_F(LAVPlayer, PositionEventsReachTheMainThreadLatestFirst)
{
    const std::string LFile = MakeFile("a.wav"); // 4800 frames
    TSNLAVAudioPlayer LPlayer;
    LPlayer.SetFileName(LFile);
    LPlayer.SetBufferSize(1000);
    std::vector<std::pair<int64_t, int64_t>> LPositions;
    bool LOnMainThread = true;
    LPlayer.SetOnPosition([&](TPersistent& ASender, int64_t ASample, int64_t ACount) {
        EXPECT_EQ(&ASender, &LPlayer);
        LOnMainThread = LOnMainThread && MainThread().IsMainThread();
        LPositions.emplace_back(ASample, ACount);
    });
    TTestCollector LCollector;
    LPlayer.GetOutputPin().Connect(LCollector.GetInputPin());
    // Waiting on the main thread serves its queue meanwhile: positions come
    // in order, none twice, and the last is the end.
    {
        TDGVirtualTimeScope LVirtual;
        LPlayer.StartSource();
        TDGTimeline::WaitIdle(std::chrono::milliseconds(20000));
        MainThread().ProcessMessages();
    }
    EXPECT_TRUE(LOnMainThread);
    ASSERT_FALSE(LPositions.empty());
    EXPECT_EQ(LPositions.back(), std::make_pair(int64_t{4800}, int64_t{4800}));
    for (size_t I = 1; I < LPositions.size(); ++I)
        EXPECT_GT(LPositions[I].first, LPositions[I - 1].first);

    // A main thread that is busy elsewhere sees one delivery, the last
    // position; none when the handler is gone by then.
    for (const bool LKeep : {true, false}) {
        LPositions.clear();
        LPlayer.SetCurrentSample(0);
        TDGVirtualTimeScope LVirtual;
        LPlayer.StartSource();
        std::thread([] { TDGTimeline::WaitIdle(std::chrono::milliseconds(20000)); }).join();
        if (!LKeep)
            LPlayer.SetOnPosition(nullptr);
        MainThread().ProcessMessages();
        EXPECT_EQ(LPositions.size(), LKeep ? 1u : 0u);
        EXPECT_TRUE(!LKeep || LPositions[0].first == 4800);
    }
}

// Bad files: a clear error through OnError, never a crash or a hang.
TEST_F(LAVPlayer, BadFilesAreReported)
{
    const std::string LGood = MakeFile("good.wav", 2, 0.5);
    Shell("ffmpeg -v error -y -i " + Quote(LGood) + " -c:a flac " + Quote(FDir.Path("good.flac")));
    const std::string LFlac = ReadFile(FDir.Path("good.flac")), LWav = ReadFile(LGood);
    auto LWrite = [&](const char* AName, const std::string& AContent) {
        std::ofstream(FDir.Path(AName), std::ios::binary) << AContent;
        return FDir.Path(AName);
    };
    // The file, the text in the message, and whether it is a damaged packet
    // (dropped with a warning, no error).
    const std::tuple<std::string, std::string, bool> LCases[] = {
        {FDir.Path("missing.wav"), "No such file or directory", false},
        {LWrite("empty.wav", ""), "cannot open", false},
        {LWrite("text.wav", "this is not a sound file\n"), "cannot open", false},
        {LWrite("truncated.flac", LFlac.substr(0, LFlac.size() * 6 / 10)), "truncated", false},
        // Cut inside a frame: the last packet does not decode.
        {LWrite("truncated.wav", LWav.substr(0, LWav.size() / 2 + 1)), "could not decode packet", true},
        {LWrite("header-only.flac", LFlac.substr(0, 60)), "", false},
    };
    for (const auto& [LFile, LExpect, LWarning] : LCases) {
        SCOPED_TRACE(LFile);
        for (bool LHandle : {true, false}) {
            TSNLAVAudioPlayer LPlayer;
            TErrorLog LErrors;
            LErrors.Handle = LHandle;
            LErrors.Attach(LPlayer);
            LPlayer.SetFileName(LFile);
            std::string LBackground;
            SetBackgroundErrorHandler([&](const std::string& AMessage) { LBackground = AMessage; });
            const TPlayResult LResult = PlayFile(LPlayer);
            SetBackgroundErrorHandler(nullptr);
            EXPECT_FALSE(LPlayer.IsSourceRunning());
            EXPECT_TRUE(!LWarning || LPlayer.GetDroppedPackets() == 1u);
            const std::vector<std::string>& LReported = LWarning ? LErrors.Warnings : LErrors.Messages;
            ASSERT_TRUE(LWarning ? LReported.size() == 1u : !LReported.empty()) << LErrors.Text();
            EXPECT_NE(LReported[0].find(LExpect), std::string::npos) << LReported[0];
            // Unhandled, an error also ends up as an exception: out of the
            // start, or caught at the clock and reported.
            EXPECT_TRUE(LWarning || LHandle || !LResult.Exception.empty() || !LBackground.empty());
            EXPECT_TRUE(!LWarning || LErrors.Messages.empty()) << LErrors.Text();
        }
    }
}

} // namespace
