// SPDX-License-Identifier: MIT
// The libav player and logger in pipelines of the sonorix tool.
#include "LAVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace Sonorix::Test;

namespace {

class LAVTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    }
    static size_t Lines(const std::string& AText) { return static_cast<size_t>(std::count(AText.begin(), AText.end(), '\n')); }
    TTempDir FDir;
};

TEST_F(LAVTool, FailuresEndTheRunWithOneLine)
{
    const std::string LMissing = FDir.Path("missing.mp3");
    const struct {
        std::string Pipeline;
        std::string Expect;
        std::string Options = "--quiet";
    } LCases[] = {
        {"TSNLAVAudioPlayer FileName=" + LMissing + " ! TSNLAVAudioLogger FileName=" + FDir.Path("a.wav"),
         "No such file or directory"},
        // With --events the error is an event line too, on standard output.
        {"TSNLAVAudioPlayer FileName=" + LMissing, "\"event\":\"OnError\"", "--quiet --events"},
        // A logger's error with its detail.
        {"TSNSignalGen ! TSNLAVAudioLogger AudioCompression.CodecName=nosuch FileName=" + FDir.Path("a.wav"),
         "codec not found ('nosuch'"},
        {"TSNSignalGen ! TSNLAVAudioLogger FileName=/dev/full FileFormat.FormatName=wav", "No space left on device"},
    };
    for (const auto& LCase : LCases) {
        SCOPED_TRACE(LCase.Pipeline);
        const TShellResult LRun = Tool(LCase.Pipeline, LCase.Options);
        EXPECT_NE(LRun.ExitCode, 0);
        EXPECT_EQ(Lines(LRun.Output), LCase.Options == "--quiet" ? 1u : 2u) << LRun.Output;
        EXPECT_NE(LRun.Output.find("sonorix: "), std::string::npos) << LRun.Output;
        EXPECT_TRUE(LCase.Options != "--quiet" || LRun.Output.starts_with("sonorix: ")) << LRun.Output;
        EXPECT_NE(LRun.Output.find(LCase.Expect), std::string::npos) << LRun.Output;
    }
}

// A packet that does not decode is an event and a count, not the end: FLAC
// packets given to the mp3 decoder all fail, and the run goes on to its end.
TEST_F(LAVTool, DroppedPacketsArePrintedAsEventsAndCounted)
{
    const TShellResult LRun =
        Tool("TSNSignalGen ! TSNLAVAudioCompressor AudioCompression.CodecName=flac ! "
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

// A 44.1 kHz stream into the Opus encoder component (48 kHz only) is
// converted, with one event line saying so.
TEST_F(LAVTool, OpusFrom44100HzIsConvertedWithOneEventLine)
{
    const std::string LWav = FDir.Path("x.wav");
    const TShellResult LRun = Tool("TSNSignalGen ! TSNLAVAudioCompressor AudioCompression.CodecName=libopus ! "
                                   "TSNLAVAudioDecompressor ! TSNLAVAudioLogger FileName=" + LWav,
                                   "--quiet --events --duration 2");
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    EXPECT_EQ(Lines(LRun.Output), 1u) << LRun.Output;
    EXPECT_NE(LRun.Output.find("\"event\":\"OnWarning\",\"message\":\"converting the stream for the codec\","
                               "\"detail\":\"for the libopus encoder: 44100 Hz to 48000 Hz (libswresample)\"}"),
              std::string::npos)
        << LRun.Output;
    const TProbe LProbe = Probe(LWav);
    EXPECT_EQ(LProbe.SampleRate, 48000);
    // 88 buffers of 1024 frames start before 2 s: 2.02 s.
    EXPECT_NEAR(LProbe.Duration, 89088.0 / 44100, 0.02);
}

// The demo writes FLAC through the pipeline's logger into the working
// directory (its samples are checked through --wav elsewhere) and names it.
TEST_F(LAVTool, DemoWritesThroughTheLoggerAndSaysWhere)
{
    const std::string LDir = std::filesystem::canonical(FDir.Path(".")).string();
    const TShellResult LRun = Shell("cd " + Quote(LDir) + " && " + SONORIX_TOOL_PATH + " demo");
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    const std::string LFlac = LDir + "/sonorix-demo.flac";
    EXPECT_NE(LRun.Output.find("TSNLAVAudioLogger"), std::string::npos) << LRun.Output;
    EXPECT_NE(LRun.Output.find("wrote 2.020 s of audio to " + LFlac + " (FLAC"), std::string::npos) << LRun.Output;
    const TProbe LProbe = Probe(LFlac);
    EXPECT_EQ(LProbe.Codec, "flac");
    EXPECT_EQ(LProbe.Channels, 2);
    // Every 1024-frame buffer that starts before 2 s.
    EXPECT_EQ(DecodeWithFfmpeg(LFlac).size(), 2u * 87 * 1024);
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

} // namespace
