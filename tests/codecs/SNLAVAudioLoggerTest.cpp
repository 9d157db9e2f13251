// SPDX-License-Identifier: MIT
// Files written by the libav logger, read back by ffprobe and ffmpeg.
#include "LAVTestSupport.h"
#include "SNLAVAudioLogger.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

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
    // A codec that does not take the stream gets the nearest it takes,
    // converted, and one OnWarning says so (nullptr: not checked, "": none).
    const char* Warning = nullptr;
    int FileRate = 0, FileChannels = 0; // 0: the stream's
};
void PrintTo(const TLoggerCase& ACase, std::ostream* AOut) { *AOut << ACase.Name; }

class LAVLoggerInterop : public TInteropTest, public ::testing::WithParamInterface<TLoggerCase> {};

TEST_P(LAVLoggerInterop, ReadBackByFfmpeg)
{
    const TLoggerCase& LCase = GetParam();
    const std::string LFile = FDir.Path(LCase.File);
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
        LFeeder.Play(MakeWaveFormat(LCase.Rate, LCase.Bits, LCase.Channels), LFrames, 1000);
        EXPECT_TRUE(LErrors.Messages.empty()) << LErrors.Text();
        EXPECT_FALSE(LLogger.IsLogging());
        // Half a second went in, whatever the codec's frame size.
        EXPECT_EQ(LLogger.GetLoggedTime(), DGTimeUnitsPerSecond / 2);
        if (LCase.Warning) {
            ASSERT_EQ(LErrors.Warnings.size(), *LCase.Warning ? 1u : 0u);
            EXPECT_TRUE(!*LCase.Warning || LErrors.Warnings[0].starts_with("converting the stream for the codec: "));
            EXPECT_TRUE(!*LCase.Warning || LErrors.Warnings[0].find(LCase.Warning) != std::string::npos)
                << LErrors.Warnings[0];
        }
    }
    const int LRate = LCase.FileRate ? LCase.FileRate : static_cast<int>(LCase.Rate);
    const int LChannels = LCase.FileChannels ? LCase.FileChannels : static_cast<int>(LCase.Channels);
    const TProbe LProbe = Probe(LFile);
    ASSERT_TRUE(LProbe.Ok) << LFile;
    EXPECT_EQ(LProbe.Codec, LCase.ExpectedCodec);
    EXPECT_EQ(LProbe.SampleRate, LRate);
    EXPECT_EQ(LProbe.Channels, LChannels);
    EXPECT_NEAR(LProbe.Duration, 0.5, LCase.Lossless ? 0.001 : 0.06);

    const std::vector<int32_t> LDecoded = DecodeWithFfmpeg(LFile);
    if (LCase.Lossless) {
        ASSERT_EQ(LDecoded.size(), LFrames * LCase.Channels);
        EXPECT_EQ(SignalMismatches(LDecoded, LFrames, LCase.Channels, LCase.Bits, LCase.Rate), 0u);
    } else if (LChannels != static_cast<int>(LCase.Channels)) {
        // A downmix mixes the other channels into channel 0's 300 Hz tone.
        EXPECT_GT(ToneLevel(MiddleHalf(LDecoded, LChannels), LChannels, 0, 300.0, LRate), 0.1);
    } else {
        // Fragmented MP4 keeps the encoder's priming (no edit list): 1024 frames of AAC.
        EXPECT_NEAR(static_cast<double>(LDecoded.size()) / LChannels, 0.5 * LRate, 0.04 * LRate);
        ExpectSignalTones(LDecoded, LChannels, LRate);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LAVLoggerInterop,
    ::testing::Values(
        TLoggerCase{"Wav8", "a.wav", "", "pcm_u8", 8, 2, 22050, true},
        TLoggerCase{"Wav16", "a.wav", "", "pcm_s16le", 16, 2, 44100, true},
        TLoggerCase{"Wav24", "a.wav", "", "pcm_s24le", 24, 2, 48000, true},
        TLoggerCase{"Wav32", "a.wav", "", "pcm_s32le", 32, 1, 48000, true},
        TLoggerCase{"Aiff24", "a.aiff", "", "pcm_s24be", 24, 2, 44100, true},
        TLoggerCase{"Flac16", "a.flac", "", "flac", 16, 2, 44100, true, ""},
        TLoggerCase{"Flac24SixChannels", "a.flac", "", "flac", 24, 6, 48000, true},
        TLoggerCase{"Wav16SixChannels", "a.wav", "", "pcm_s16le", 16, 6, 48000, true},
        TLoggerCase{"OggVorbis", "a.ogg", "", "vorbis", 16, 2, 44100, false},
        TLoggerCase{"Opus", "a.opus", "", "opus", 16, 2, 48000, false},
        TLoggerCase{"Mp3", "a.mp3", "", "mp3", 16, 2, 44100, false},
        TLoggerCase{"AacM4a", "a.m4a", "", "aac", 16, 2, 44100, false, "for the aac encoder: 16-bit integer samples to fltp"},
        TLoggerCase{"NamedCodecMp3From24Bit", "b.mp3", "libmp3lame", "mp3", 24, 2, 48000, false},
        TLoggerCase{"OpusFrom44100", "b.opus", "", "opus", 16, 2, 44100, false,
                    "for the libopus encoder: 44100 Hz to 48000 Hz (libswresample)", 48000},
        TLoggerCase{"OpusFrom96000Mono24Bit", "c.opus", "", "opus", 24, 1, 96000, false,
                    "96000 Hz to 48000 Hz (libswresample), 24-bit integer samples to flt", 48000},
        TLoggerCase{"Mp3From8Bit", "c.mp3", "", "mp3", 8, 2, 44100, false,
                    "for the libmp3lame encoder: 8-bit integer samples to s16p"},
        TLoggerCase{"Mp3FromSixChannels", "d.mp3", "", "mp3", 16, 6, 48000, false,
                    "for the libmp3lame encoder: 5.1 to stereo (libswresample)", 0, 2},
        TLoggerCase{"Ac3From22050", "a.ac3", "", "ac3", 16, 2, 22050, false,
                    "22050 Hz to 32000 Hz (libswresample), 16-bit integer samples to fltp", 32000}),
    [](const ::testing::TestParamInfo<TLoggerCase>& AInfo) { return std::string(AInfo.param.Name); });

// The fmt and data chunks of a WAV file (with their headers), after checking
// the RIFF size; other chunks (libav's encoder tag) are left out.
std::string WavChunks(const std::string& AFile)
{
    const std::string LBytes = ReadFile(AFile);
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

class LAVLoggerNativeOgg : public TInteropTest {
protected:
    LAVLoggerNativeOgg() : TInteropTest("oggdec") {}
};

// Ogg Vorbis files left at libav's defaults are encoded by the package
// (libav's writer tags its files "Lavf"); with SONORIX_LOGGER_LIBAV=1 by
// libav. oggdec decodes both to the same samples, as many frames as went in,
// whatever the buffers' sizes.
TEST_F(LAVLoggerNativeOgg, SameAudioAsTheLibavWriter)
{
    constexpr uint64_t LFrames = 12345;
    for (const auto& [LRate, LBits, LChannels, LChunk, LCodec] :
         {std::tuple{22050u, 8u, 1u, 1000u, ""}, {44100u, 16u, 2u, 64u, "libvorbis"}, {48000u, 24u, 2u, 4097u, ""},
          {8000u, 32u, 1u, 37u, ""}}) {
        SCOPED_TRACE(testing::Message() << LRate << " Hz " << LBits << " bits " << LChannels << " channels");
        std::string LDecoded[2], LWarnings[2];
        for (const int LLibav : {0, 1}) {
            setenv("SONORIX_LOGGER_LIBAV", LLibav ? "1" : "0", 1);
            const std::string LFile = FDir.Path("v" + std::to_string(LLibav) + ".ogg");
            {
                TSNLAVAudioLogger LLogger;
                LLogger.SetFileName(LFile);
                LLogger.GetAudioCompression().SetCodecName(LCodec);
                TErrorLog LErrors;
                LErrors.Attach(LLogger);
                TFeeder LFeeder;
                LFeeder.GetOutputPin().Connect(LLogger.GetInputPin());
                LFeeder.Play(MakeWaveFormat(LRate, LBits, LChannels), LFrames, LChunk);
                EXPECT_TRUE(LErrors.Messages.empty()) << LErrors.Text();
                ASSERT_EQ(LErrors.Warnings.size(), 1u);
                LWarnings[LLibav] = LErrors.Warnings[0];
            }
            EXPECT_EQ(ReadFile(LFile).find("Lavf") != std::string::npos, LLibav == 1);
            const std::string LWav = FDir.Path("v.wav");
            ASSERT_EQ(Shell("oggdec -Q -o " + Quote(LWav) + " " + Quote(LFile)).ExitCode, 0);
            LDecoded[LLibav] = ReadFile(LWav);
        }
        unsetenv("SONORIX_LOGGER_LIBAV");
        EXPECT_EQ(LDecoded[0].size(), 44 + LFrames * LChannels * 2);
        EXPECT_TRUE(LDecoded[0] == LDecoded[1]);
        EXPECT_EQ(LWarnings[0], LWarnings[1]);
    }
}

// Each failure is one OnError whose detail names what was asked for;
// unhandled, the same message is raised as EDGException with the code.
TEST(LAVLoggerErrors, BadTargetsCodecsAndFormatsAreReported)
{
    TTempDir LDir;
    const std::string LMissing = LDir.Path("no-such-folder/out.wav");
    const std::string LMissingOgg = LDir.Path("no-such-folder/out.ogg");
    const struct {
        std::string File;
        const char* Codec;
        const char* Format;
        std::string Message; // the first; "" not checked
        const char* Detail;
        std::string Exception = ""; // with the event not handled
    } LCases[] = {
        {LMissing, "", "", "Could not open " + LMissing, "", "Could not open " + LMissing + " - 2 - 2"},
        {LMissingOgg, "", "", "Could not open " + LMissingOgg, "No such file"},
        {"/dev/full", "", "wav", "Error while writing audio frame", "No space left on device"},
        {"/dev/full", "", "ogg", "Error while writing audio frame", "No space left on device"},
        {LDir.Path("a.wav"), "no-such-codec", "", "codec not found", "no-such-codec"},
        {LDir.Path("a.wav"), "", "no-such-format", "", "no-such-format"},
        {LDir.Path("a.unknown-extension"), "", "", "", "a.unknown-extension"},
        {LDir.Path("a.wav"), "libopus", "", "could not open codec", "opus"}, // a codec the container cannot hold
    };
    for (const auto& LCase : LCases) {
        SCOPED_TRACE(LCase.File + " " + LCase.Codec + " " + LCase.Format);
        TSNLAVAudioLogger LLogger;
        LLogger.SetFileName(LCase.File);
        LLogger.GetAudioCompression().SetCodecName(LCase.Codec);
        LLogger.GetFileFormat().SetFormatName(LCase.Format);
        TErrorLog LErrors;
        LErrors.Handle = LCase.Exception.empty();
        LErrors.Attach(LLogger);
        TFeeder LFeeder;
        LFeeder.GetOutputPin().Connect(LLogger.GetInputPin());
        std::string LException;
        try {
            LFeeder.Play(MakeWaveFormat(44100, 16, 2), 22050, 4096);
        } catch (const EDGException& E) {
            LException = E.what();
        }
        ASSERT_EQ(LErrors.Messages.size(), 1u) << LErrors.Text();
        EXPECT_TRUE(LCase.Message.empty() || LErrors.Messages[0] == LCase.Message) << LErrors.Text();
        EXPECT_NE(LErrors.Details[0].find(LCase.Detail), std::string::npos) << LErrors.Text();
        EXPECT_EQ(LException.substr(0, LCase.Exception.size()), LCase.Exception);
        EXPECT_FALSE(LLogger.IsLogging());
    }
}

} // namespace
