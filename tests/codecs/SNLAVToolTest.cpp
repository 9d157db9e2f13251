// SPDX-License-Identifier: MIT
// The libav player and logger in pipelines of the sonorix tool.
#include "LAVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

using namespace Sonorix::Test;

namespace {

class LAVTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
        FInput = FDir.Path("in.mp3");
        Shell("ffmpeg -v error -y -f lavfi -i " + Quote("sine=frequency=440:sample_rate=44100:duration=0.5") +
              " -ac 2 -c:a libmp3lame " + Quote(FInput));
    }
    TShellResult Run(const std::string& APipeline, const std::string& AOptions = "--quiet")
    {
        return Shell(std::string(SONORIX_TOOL_PATH) + " run " + AOptions + " " + Quote(APipeline));
    }
    static size_t Lines(const std::string& AText) { return static_cast<size_t>(std::count(AText.begin(), AText.end(), '\n')); }
    TTempDir FDir;
    std::string FInput;
};

TEST_F(LAVTool, Mp3ThroughAmplifierToFlac)
{
    const std::string LOutput = FDir.Path("out.flac");
    const TShellResult LRun = Run("TSNLAVAudioPlayer FileName=" + FInput +
                                  " ! TSNAmplifier Coefficient=0.5 ! TSNLAVAudioLogger FileName=" + LOutput);
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    EXPECT_EQ(LRun.Output, "");
    const TProbe LProbe = Probe(LOutput);
    ASSERT_TRUE(LProbe.Ok);
    EXPECT_EQ(LProbe.Codec, "flac");
    EXPECT_EQ(LProbe.SampleRate, 44100);
    EXPECT_EQ(LProbe.Channels, 2);
    // MP3 decodes to float, so the player sends 32 bits and FLAC keeps 24 of them.
    EXPECT_EQ(LProbe.BitsPerRawSample, 24);
    const std::vector<int32_t> LIn = DecodeWithFfmpeg(FInput), LOut = DecodeWithFfmpeg(LOutput);
    ASSERT_EQ(LOut.size(), LIn.size());
    const double LInLevel = ToneLevel(MiddleHalf(LIn, 2), 2, 0, 440, 44100);
    EXPECT_NEAR(ToneLevel(MiddleHalf(LOut, 2), 2, 0, 440, 44100), LInLevel * 0.5, 0.002);
}

TEST_F(LAVTool, FailuresEndTheRunWithOneLine)
{
    const std::string LMissing = FDir.Path("missing.mp3");
    const struct {
        std::string Pipeline;
        std::string Expect;
    } LCases[] = {
        {"TSNLAVAudioPlayer FileName=" + LMissing + " ! TSNLAVAudioLogger FileName=" + FDir.Path("a.wav"),
         "No such file or directory"},
        {"TSNLAVAudioPlayer FileName=" + FInput + " ! TSNLAVAudioLogger AudioCompression.CodecName=nosuch FileName=" +
             FDir.Path("a.wav"),
         "codec not found ('nosuch'"},
        {"TSNLAVAudioPlayer FileName=" + FInput + " ! TSNLAVAudioLogger FileFormat.FormatName=nosuch FileName=" +
             FDir.Path("a.wav"),
         "'nosuch' is not an output format"},
        {"TSNLAVAudioPlayer FileName=" + FInput + " ! TSNLAVAudioLogger FileName=/dev/full FileFormat.FormatName=wav",
         "No space left on device"},
        {"TSNLAVAudioPlayer FileName=" + FInput + " ! TSNLAVAudioLogger FileName=" + FDir.Path("none/a.wav"),
         "Could not open " + FDir.Path("none/a.wav")},
    };
    for (const auto& LCase : LCases) {
        SCOPED_TRACE(LCase.Pipeline);
        const TShellResult LRun = Run(LCase.Pipeline);
        EXPECT_NE(LRun.ExitCode, 0);
        EXPECT_EQ(Lines(LRun.Output), 1u) << LRun.Output;
        EXPECT_EQ(LRun.Output.rfind("sonorix: ", 0), 0u) << LRun.Output;
        EXPECT_NE(LRun.Output.find(LCase.Expect), std::string::npos) << LRun.Output;
    }
}

TEST_F(LAVTool, ErrorsArePrintedAsEvents)
{
    const TShellResult LRun = Shell(std::string(SONORIX_TOOL_PATH) + " run --quiet --events " +
                                    Quote("TSNLAVAudioPlayer FileName=" + FDir.Path("missing.wav")) + " 2>/dev/null");
    EXPECT_NE(LRun.ExitCode, 0);
    EXPECT_NE(LRun.Output.find("\"event\":\"OnError\""), std::string::npos) << LRun.Output;
}

// A packet that does not decode is an event and a count, not the end: FLAC
// packets given to the mp3 decoder all fail, and the run goes on to its end.
TEST_F(LAVTool, DroppedPacketsArePrintedAsEventsAndCounted)
{
    const TShellResult LRun =
        Run("TSNSignalGen ! TSNLAVAudioCompressor AudioCompression.CodecName=flac ! "
            "TSNLAVAudioDecompressor name=dec AudioCompression.CodecName=mp3",
            "--quiet --events --duration 1");
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    size_t LWarnings = 0;
    for (size_t LAt = 0; (LAt = LRun.Output.find("\"event\":\"OnWarning\",\"message\":\"could not decode packet\"",
                                                 LAt)) != std::string::npos;
         ++LAt)
        ++LWarnings;
    // 44100 frames in FLAC frames of 4608.
    EXPECT_EQ(LWarnings, 10u) << LRun.Output;
    EXPECT_NE(LRun.Output.find("sonorix: dec: 10 packets did not decode and were dropped\n"), std::string::npos)
        << LRun.Output;
}

// A 44.1 kHz stream into Opus (48 kHz only) is converted, with one event line
// saying so, by the logger and by the encoder component alike.
TEST_F(LAVTool, OpusFrom44100HzIsConvertedWithOneEventLine)
{
    const std::string LOpus = FDir.Path("x.opus"), LWav = FDir.Path("x.wav");
    for (const std::string& LPipeline :
         {"TSNSignalGen ! TSNLAVAudioLogger FileName=" + LOpus,
          "TSNSignalGen ! TSNLAVAudioCompressor AudioCompression.CodecName=libopus ! TSNLAVAudioDecompressor ! "
          "TSNLAVAudioLogger FileName=" + LWav}) {
        SCOPED_TRACE(LPipeline);
        const TShellResult LRun = Run(LPipeline, "--quiet --events --duration 2");
        ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
        EXPECT_EQ(Lines(LRun.Output), 1u) << LRun.Output;
        EXPECT_NE(LRun.Output.find("\"event\":\"OnWarning\",\"message\":\"converting the stream for the codec\","
                                   "\"detail\":\"for the libopus encoder: 44100 Hz to 48000 Hz (libswresample)\"}"),
                  std::string::npos)
            << LRun.Output;
    }
    for (const std::string& LFile : {LOpus, LWav}) {
        const TProbe LProbe = Probe(LFile);
        ASSERT_TRUE(LProbe.Ok) << LFile;
        EXPECT_EQ(LProbe.SampleRate, 48000);
        // 88 buffers of 1024 frames start before 2 s: 2.02 s.
        EXPECT_NEAR(LProbe.Duration, 89088.0 / 44100, 0.02) << LFile;
    }
}

// The demo writes FLAC through the pipeline's logger into the working
// directory, or WAV where --wav says, and names the file it wrote.
TEST_F(LAVTool, DemoWritesThroughTheLoggerAndSaysWhere)
{
    const std::string LDir = std::filesystem::canonical(FDir.Path(".")).string();
    const TShellResult LRun = Shell("cd " + Quote(LDir) + " && " + SONORIX_TOOL_PATH + " demo");
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    const std::string LFlac = LDir + "/sonorix-demo.flac";
    EXPECT_NE(LRun.Output.find("TSNLAVAudioLogger"), std::string::npos) << LRun.Output;
    EXPECT_NE(LRun.Output.find("wrote 2.020 s of audio to " + LFlac + " (FLAC"), std::string::npos) << LRun.Output;
    const TProbe LProbe = Probe(LFlac);
    ASSERT_TRUE(LProbe.Ok);
    EXPECT_EQ(LProbe.Codec, "flac");
    EXPECT_EQ(LProbe.SampleRate, 44100);
    EXPECT_EQ(LProbe.Channels, 2);
    const std::vector<int32_t> LSamples = DecodeWithFfmpeg(LFlac);
    // Every 1024-frame buffer that starts before 2 s.
    ASSERT_EQ(LSamples.size(), 2u * 87 * 1024);
    // 440 Hz of amplitude 16000 halved, at the frequency the generator's
    // single-precision phase step gives.
    const double LStep = static_cast<float>(440.0 / 44100);
    for (size_t F = 0; F < LSamples.size() / 2; F += 89) {
        const double LExpected = 8000 * std::cos(2 * std::numbers::pi * LStep * static_cast<double>(F));
        ASSERT_NEAR(LSamples[2 * F] / 65536.0, LExpected, 1.5) << "frame " << F;
        ASSERT_EQ(LSamples[2 * F + 1], LSamples[2 * F]);
    }

    const std::string LWav = FDir.Path("named.wav");
    const TShellResult LWavRun = Shell(std::string(SONORIX_TOOL_PATH) + " demo --duration 0.5 --wav " + Quote(LWav));
    ASSERT_EQ(LWavRun.ExitCode, 0) << LWavRun.Output;
    EXPECT_NE(LWavRun.Output.find(" (WAV"), std::string::npos) << LWavRun.Output;
    const TProbe LWavProbe = Probe(LWav);
    EXPECT_EQ(LWavProbe.Codec, "pcm_s16le");
    EXPECT_EQ(DecodeWithFfmpeg(LWav).size(), 2u * 22 * 1024);
}

// The progress line shows a player's position and length beside the audio
// time; a pipeline that ends in a writer counts what the writer took.
TEST_F(LAVTool, ProgressShowsPlayerPositionAndWrittenAudio)
{
    const std::string LWav = FDir.Path("in.wav");
    Shell("ffmpeg -v error -y -f lavfi -i " + Quote("sine=frequency=300:sample_rate=48000:duration=3") + " " +
          Quote(LWav));
    // script gives the tool a terminal, so the progress line is shown.
    const TShellResult LRun =
        Shell("script -qfec " +
              Quote(std::string(SONORIX_TOOL_PATH) + " run " +
                    Quote("TSNLAVAudioPlayer name=play FileName=" + LWav +
                          " ! TSNLAVAudioLogger FileName=" + FDir.Path("out.wav"))) +
              " /dev/null");
    if (LRun.ExitCode == 127)
        GTEST_SKIP() << "script(1) is not installed";
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    // The terminal ends the last line with "\r\n"; each update starts with '\r'.
    std::string LOutput = LRun.Output;
    while (!LOutput.empty() && (LOutput.back() == '\n' || LOutput.back() == '\r'))
        LOutput.pop_back();
    const size_t LLast = LOutput.rfind('\r');
    ASSERT_NE(LLast, std::string::npos) << LRun.Output;
    const std::string LLine = LOutput.substr(LLast + 1);
    EXPECT_NE(LLine.find("3.0 s of audio"), std::string::npos) << LRun.Output;
    EXPECT_NE(LLine.find("play 3.0/3.0 s"), std::string::npos) << LLine;
}

TEST_F(LAVTool, InspectShowsCodecFormatAndOptions)
{
    const TShellResult LLogger = Shell(std::string(SONORIX_TOOL_PATH) + " inspect TSNLAVAudioLogger");
    EXPECT_EQ(LLogger.ExitCode, 0);
    for (const char* LName : {"FileFormat", "FormatName", "AudioCompression", "CodecName", "BitRate", "Options", "FileName"})
        EXPECT_NE(LLogger.Output.find(LName), std::string::npos) << LName << "\n" << LLogger.Output;
    const TShellResult LPlayer = Shell(std::string(SONORIX_TOOL_PATH) + " inspect LAVAudioPlayer");
    for (const char* LName : {"Audio", "StreamIndex", "Loop", "Paused", "BufferSize", "FileName"})
        EXPECT_NE(LPlayer.Output.find(LName), std::string::npos) << LName << "\n" << LPlayer.Output;
    const TShellResult LList = Shell(std::string(SONORIX_TOOL_PATH) + " list");
    for (const char* LRow : {"TSNLAVAudioCompressor\tCompressors\tLibAV Audio Compressor",
                             "TSNLAVAudioDecompressor\tDecompressors\tLibAV Audio Decompressor",
                             "TSNLAVAudioPlayer\tPlayers\tLibAV Audio Player",
                             "TSNLAVAudioLogger\tLoggers\tLibAV Audio Logger"})
        EXPECT_NE(LList.Output.find(LRow), std::string::npos) << LRow;
}

} // namespace
