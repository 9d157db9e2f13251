// SPDX-License-Identifier: MIT
// The libav player and logger in pipelines of the sonorix tool.
#include "LAVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

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
