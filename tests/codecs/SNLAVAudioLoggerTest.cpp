// SPDX-License-Identifier: MIT
// Files written by the libav logger, read back by ffprobe and ffmpeg.
#include "LAVTestSupport.h"
#include "SNLAVAudioLogger.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

struct TLoggerCase {
    const char* Name;
    const char* File;
    const char* Codec; // "" for the container's usual one
    const char* ExpectedCodec;
    unsigned Bits;
    unsigned Channels;
    unsigned Rate;
    bool Lossless;
};

void PrintTo(const TLoggerCase& ACase, std::ostream* AOut)
{
    *AOut << ACase.Name;
}

class LAVLoggerInterop : public ::testing::TestWithParam<TLoggerCase> {
protected:
    void SetUp() override
    {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed (scripts/install-deps.sh installs them)";
    }
    TTempDir FDir;
};

TEST_P(LAVLoggerInterop, ReadBackByFfmpeg)
{
    const TLoggerCase& LCase = GetParam();
    const std::string LFile = FDir.Path(LCase.File);
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(LCase.Rate, LCase.Bits, LCase.Channels);
    const uint64_t LFrames = LCase.Rate / 2;
    {
        TSNLAVAudioLogger LLogger;
        TErrorLog LErrors;
        LErrors.Attach(LLogger);
        LLogger.SetFileName(LFile);
        LLogger.GetAudioCompression().SetCodecName(LCase.Codec);
        TFeeder LFeeder;
        LFeeder.GetOutputPin().Connect(LLogger.GetInputPin());
        // An odd chunk size, so staging to the codec's frame size carries samples over.
        LFeeder.Play(LFormat, LFrames, 1000);
        EXPECT_TRUE(LErrors.Messages.empty()) << LErrors.Text();
        EXPECT_FALSE(LLogger.IsLogging());
        // Half a second went in, whatever the codec's frame size.
        EXPECT_EQ(LLogger.GetLoggedTime(), DGTimeUnitsPerSecond / 2);
    }
    const TProbe LProbe = Probe(LFile);
    ASSERT_TRUE(LProbe.Ok) << LFile;
    EXPECT_EQ(LProbe.Codec, LCase.ExpectedCodec);
    EXPECT_EQ(LProbe.SampleRate, static_cast<int>(LCase.Rate));
    EXPECT_EQ(LProbe.Channels, static_cast<int>(LCase.Channels));
    EXPECT_NEAR(LProbe.Duration, 0.5, LCase.Lossless ? 0.001 : 0.06);

    const std::vector<int32_t> LDecoded = DecodeWithFfmpeg(LFile);
    if (LCase.Lossless) {
        ASSERT_EQ(LDecoded.size(), LFrames * LCase.Channels);
        size_t LMismatches = 0;
        for (uint64_t F = 0; F < LFrames; ++F)
            for (unsigned C = 0; C < LCase.Channels; ++C) {
                const int32_t LExpected = Narrow(SignalAligned(F, C, LCase.Rate), LCase.Bits);
                const int32_t LGot = Narrow(LDecoded[F * LCase.Channels + C], LCase.Bits);
                LMismatches += LExpected != LGot;
            }
        EXPECT_EQ(LMismatches, 0u);
    } else {
        // Level and frequency content survive: each channel's own tone at
        // about half full scale, the neighbour's tone far below. Fragmented
        // MP4 keeps the encoder's priming (no edit list): 1024 frames of AAC.
        EXPECT_NEAR(static_cast<double>(LDecoded.size()) / LCase.Channels, static_cast<double>(LFrames),
                    0.04 * LCase.Rate);
        const std::vector<int32_t> LMiddle = MiddleHalf(LDecoded, LCase.Channels);
        for (unsigned C = 0; C < LCase.Channels; ++C) {
            const double LOwn = ToneLevel(LMiddle, LCase.Channels, C, 300.0 + 200.0 * C, LCase.Rate);
            const double LOther = ToneLevel(LMiddle, LCase.Channels, C, 300.0 + 200.0 * (C + 1), LCase.Rate);
            EXPECT_NEAR(LOwn, 0.5, 0.06) << "channel " << C;
            EXPECT_LT(LOther, 0.02) << "channel " << C;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LAVLoggerInterop,
    ::testing::Values(TLoggerCase{"Wav8", "a.wav", "", "pcm_u8", 8, 2, 22050, true},
                      TLoggerCase{"Wav16", "a.wav", "", "pcm_s16le", 16, 2, 44100, true},
                      TLoggerCase{"Wav24", "a.wav", "", "pcm_s24le", 24, 2, 48000, true},
                      TLoggerCase{"Wav32", "a.wav", "", "pcm_s32le", 32, 1, 48000, true},
                      TLoggerCase{"Aiff24", "a.aiff", "", "pcm_s24be", 24, 2, 44100, true},
                      TLoggerCase{"Flac16", "a.flac", "", "flac", 16, 2, 44100, true},
                      TLoggerCase{"Flac24SixChannels", "a.flac", "", "flac", 24, 6, 48000, true},
                      TLoggerCase{"Wav16SixChannels", "a.wav", "", "pcm_s16le", 16, 6, 48000, true},
                      TLoggerCase{"OggVorbis", "a.ogg", "", "vorbis", 16, 2, 44100, false},
                      TLoggerCase{"Opus", "a.opus", "", "opus", 16, 2, 48000, false},
                      TLoggerCase{"Mp3", "a.mp3", "", "mp3", 16, 2, 44100, false},
                      TLoggerCase{"AacM4a", "a.m4a", "", "aac", 16, 2, 44100, false},
                      TLoggerCase{"NamedCodecMp3From24Bit", "b.mp3", "libmp3lame", "mp3", 24, 2, 48000, false}),
    [](const ::testing::TestParamInfo<TLoggerCase>& AInfo) { return std::string(AInfo.param.Name); });

// The fmt and data chunks of a WAV file (with their headers), after checking
// the RIFF size; other chunks (libav's encoder tag) are left out.
std::string WavChunks(const std::string& AFile)
{
    std::ifstream LIn(AFile, std::ios::binary);
    const std::string LBytes((std::istreambuf_iterator<char>(LIn)), std::istreambuf_iterator<char>());
    auto LSize = [&](size_t APos) { uint32_t V; std::memcpy(&V, LBytes.data() + APos, 4); return size_t{V}; };
    if (LBytes.size() < 12 || LSize(4) != LBytes.size() - 8)
        return "bad RIFF size";
    std::string LChunks;
    for (size_t LPos = 12, LNext = 0; LPos + 8 <= LBytes.size(); LPos = LNext) {
        LNext = LPos + 8 + LSize(LPos + 4) + LSize(LPos + 4) % 2;
        if (LBytes.compare(LPos, 4, "LIST") != 0)
            LChunks += LBytes.substr(LPos, LNext - LPos);
    }
    return LChunks;
}

// Plain WAV files are written by the package; with SONORIX_LOGGER_LIBAV=1 by
// libav. Both give the same format and audio, byte for byte.
TEST(LAVLoggerNativeWav, SameChunksAsTheLibavWriter)
{
    TTempDir LDir;
    for (const auto& [LRate, LBits, LChannels, LMask] :
         {std::tuple{22050u, 8u, 1u, 0u}, {44100u, 16u, 2u, 0u}, {48000u, 24u, 2u, 0u}, {96000u, 16u, 2u, 0u},
          {44100u, 32u, 6u, 0u}, {8000u, 8u, 3u, 0x7u}, {8000u, 16u, 1u, 0x1u}, {8000u, 16u, 8u, 0u}}) {
        SCOPED_TRACE(testing::Message() << LRate << " Hz " << LBits << " bits " << LChannels << " channels");
        std::string LChunks[2];
        for (const int LLibav : {0, 1}) {
            setenv("SONORIX_LOGGER_LIBAV", LLibav ? "1" : "0", 1);
            const std::string LFile = LDir.Path("w" + std::to_string(LLibav) + ".wav");
            TSNLAVAudioLogger LLogger;
            LLogger.SetFileName(LFile);
            TErrorLog LErrors;
            LErrors.Attach(LLogger);
            TFeeder LFeeder;
            LFeeder.GetOutputPin().Connect(LLogger.GetInputPin());
            // An odd frame count: 8-bit mono and three channels pad the data chunk.
            LFeeder.Play(MakeWaveFormat(LRate, LBits, LChannels, LMask), 1001, 300);
            EXPECT_TRUE(LErrors.Messages.empty()) << LErrors.Text();
            LChunks[LLibav] = WavChunks(LFile);
        }
        unsetenv("SONORIX_LOGGER_LIBAV");
        EXPECT_EQ(LChunks[0].size(), LChunks[1].size());
        EXPECT_TRUE(LChunks[0] == LChunks[1]);
    }
}

// Codecs that do not take the stream's rate, layout or sample format get the
// nearest they do take, converted, and one OnWarning says so.
TEST(LAVLoggerConversion, TheCodecGetsTheNearestFormatItTakes)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    const struct {
        const char* File;
        unsigned Bits, Channels, Rate;
        int ExpectedRate, ExpectedChannels;
        const char* Warning; // "" when the codec takes the stream as it is
    } LCases[] = {
        {"a.opus", 16, 2, 44100, 48000, 2, "for the libopus encoder: 44100 Hz to 48000 Hz (libswresample)"},
        {"b.opus", 24, 1, 96000, 48000, 1, "96000 Hz to 48000 Hz (libswresample), 24-bit integer samples to flt"},
        {"a.m4a", 16, 2, 44100, 44100, 2, "for the aac encoder: 16-bit integer samples to fltp"},
        {"a.mp3", 8, 2, 44100, 44100, 2, "for the libmp3lame encoder: 8-bit integer samples to s16p"},
        {"b.mp3", 16, 6, 48000, 48000, 2, "for the libmp3lame encoder: 5.1 to stereo (libswresample)"},
        {"a.ac3", 16, 2, 22050, 32000, 2, "22050 Hz to 32000 Hz (libswresample), 16-bit integer samples to fltp"},
        {"a.flac", 16, 2, 44100, 44100, 2, ""},
    };
    TTempDir LDir;
    for (const auto& LCase : LCases) {
        SCOPED_TRACE(LCase.File);
        const std::string LFile = LDir.Path(LCase.File);
        {
            TSNLAVAudioLogger LLogger;
            TErrorLog LLog;
            LLog.Attach(LLogger);
            LLogger.SetFileName(LFile);
            TFeeder LFeeder;
            LFeeder.GetOutputPin().Connect(LLogger.GetInputPin());
            LFeeder.Play(MakeWaveFormat(LCase.Rate, LCase.Bits, LCase.Channels), LCase.Rate / 2, 1000);
            EXPECT_TRUE(LLog.Messages.empty()) << LLog.Text();
            if (*LCase.Warning == 0) {
                EXPECT_TRUE(LLog.Warnings.empty()) << LLog.Warnings[0];
            } else {
                ASSERT_EQ(LLog.Warnings.size(), 1u);
                EXPECT_EQ(LLog.Warnings[0].rfind("converting the stream for the codec: ", 0), 0u);
                EXPECT_NE(LLog.Warnings[0].find(LCase.Warning), std::string::npos) << LLog.Warnings[0];
            }
        }
        const TProbe LProbe = Probe(LFile);
        ASSERT_TRUE(LProbe.Ok);
        EXPECT_EQ(LProbe.SampleRate, LCase.ExpectedRate);
        EXPECT_EQ(LProbe.Channels, LCase.ExpectedChannels);
        EXPECT_NEAR(LProbe.Duration, 0.5, 0.06);
        // Channel 0 keeps its 300 Hz tone at half full scale (a downmix
        // mixes the others in).
        const std::vector<int32_t> LMiddle = MiddleHalf(DecodeWithFfmpeg(LFile), LProbe.Channels);
        const double LLevel = ToneLevel(LMiddle, LProbe.Channels, 0, 300.0, LProbe.SampleRate);
        if (LProbe.Channels == static_cast<int>(LCase.Channels))
            EXPECT_NEAR(LLevel, 0.5, 0.06);
        else
            EXPECT_GT(LLevel, 0.1);
    }
}

class LAVLoggerErrors : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "ffmpeg/ffprobe are not installed";
    }
    // Feeds half a second of 16-bit stereo; returns the errors reported.
    TErrorLog Write(TSNLAVAudioLogger& ALogger, bool AHandle = true, std::string* AException = nullptr)
    {
        TErrorLog LErrors;
        LErrors.Handle = AHandle;
        LErrors.Attach(ALogger);
        TFeeder LFeeder;
        LFeeder.GetOutputPin().Connect(ALogger.GetInputPin());
        try {
            LFeeder.Play(MakeWaveFormat(44100, 16, 2), 22050, 4096);
        } catch (const EDGException& E) {
            if (AException)
                *AException = E.what();
        }
        return LErrors;
    }
    TTempDir FDir;
};

TEST_F(LAVLoggerErrors, UnwritableTargetIsReportedWithItsName)
{
    TSNLAVAudioLogger LLogger;
    const std::string LFile = FDir.Path("no-such-folder/out.wav");
    LLogger.SetFileName(LFile);
    std::string LException;
    TErrorLog LErrors = Write(LLogger, false, &LException);
    ASSERT_EQ(LErrors.Messages.size(), 1u) << LErrors.Text();
    EXPECT_EQ(LErrors.Messages[0], "Could not open " + LFile);
    // Unhandled, the same message is raised as EDGException with the code.
    EXPECT_EQ(LException.rfind("Could not open " + LFile + " - 2 - 2", 0), 0u) << LException;
    EXPECT_FALSE(LLogger.IsLogging());
}

TEST_F(LAVLoggerErrors, DiskFullIsReported)
{
    TSNLAVAudioLogger LLogger;
    LLogger.SetFileName("/dev/full");
    LLogger.GetFileFormat().SetFormatName("wav");
    TErrorLog LErrors = Write(LLogger);
    ASSERT_FALSE(LErrors.Messages.empty());
    EXPECT_EQ(LErrors.Messages[0], "Error while writing audio frame");
    EXPECT_NE(LErrors.Details[0].find("No space left on device"), std::string::npos) << LErrors.Text();
    EXPECT_FALSE(LLogger.IsLogging());
}

TEST_F(LAVLoggerErrors, UnknownCodecFormatAndExtension)
{
    {
        TSNLAVAudioLogger LLogger;
        LLogger.SetFileName(FDir.Path("a.wav"));
        LLogger.GetAudioCompression().SetCodecName("no-such-codec");
        TErrorLog LErrors = Write(LLogger);
        ASSERT_EQ(LErrors.Messages.size(), 1u);
        EXPECT_EQ(LErrors.Messages[0], "codec not found");
        EXPECT_NE(LErrors.Details[0].find("no-such-codec"), std::string::npos);
    }
    {
        TSNLAVAudioLogger LLogger;
        LLogger.SetFileName(FDir.Path("a.wav"));
        LLogger.GetFileFormat().SetFormatName("no-such-format");
        TErrorLog LErrors = Write(LLogger);
        ASSERT_EQ(LErrors.Messages.size(), 1u);
        EXPECT_NE(LErrors.Details[0].find("no-such-format"), std::string::npos);
    }
    {
        TSNLAVAudioLogger LLogger;
        LLogger.SetFileName(FDir.Path("a.unknown-extension"));
        TErrorLog LErrors = Write(LLogger);
        ASSERT_EQ(LErrors.Messages.size(), 1u);
        EXPECT_NE(LErrors.Details[0].find("a.unknown-extension"), std::string::npos);
    }
    {
        // A codec the container cannot hold.
        TSNLAVAudioLogger LLogger;
        LLogger.SetFileName(FDir.Path("a.wav"));
        LLogger.GetAudioCompression().SetCodecName("libopus");
        TErrorLog LErrors = Write(LLogger);
        ASSERT_FALSE(LErrors.Messages.empty());
        EXPECT_EQ(LErrors.Messages[0], "could not open codec");
    }
}

TEST_F(LAVLoggerErrors, FileSizeLimitKeepsWhatWasWrittenReadable)
{
    // A child process with a 64 KiB file size limit writes two seconds of
    // WAV: the failure is reported, and the part written stays readable.
    const std::string LFile = FDir.Path("limited.wav");
    TSNLAVAudioLogger LLogger;
    LLogger.SetFileName(LFile);
    TErrorLog LErrors;
    LErrors.Attach(LLogger);
    // Limit only this process's further writes: a forked child does the work.
    const pid_t LChild = fork();
    if (LChild == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit LLimit {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &LLimit);
        TFeeder LFeeder;
        LFeeder.GetOutputPin().Connect(LLogger.GetInputPin());
        LFeeder.Play(MakeWaveFormat(48000, 16, 2), 96000, 4800);
        _exit(LErrors.Messages.empty() ? 10 : (LErrors.Messages[0] == "Error while writing audio frame" ? 0 : 11));
    }
    int LStatus = 0;
    waitpid(LChild, &LStatus, 0);
    ASSERT_TRUE(WIFEXITED(LStatus));
    EXPECT_EQ(WEXITSTATUS(LStatus), 0) << "10: no error reported, 11: another message";
    const TProbe LProbe = Probe(LFile);
    ASSERT_TRUE(LProbe.Ok) << "the truncated file is no longer readable";
    const std::vector<int32_t> LDecoded = DecodeWithFfmpeg(LFile);
    EXPECT_GT(LDecoded.size(), 10000u);
    for (size_t I = 0; I < std::min<size_t>(LDecoded.size(), 2000); ++I)
        EXPECT_EQ(Narrow(LDecoded[I], 16), Narrow(SignalAligned(I / 2, I % 2, 48000), 16)) << I;
}

} // namespace
