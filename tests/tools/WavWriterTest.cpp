// SPDX-License-Identifier: MIT
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

using namespace Sonorix;
using namespace Sonorix::Cli;
namespace fs = std::filesystem;

namespace {

// Filled by hand on purpose: this unit must not lean on the framework's helpers.
WAVEFORMATEXTENSIBLE Format(uint32_t ARate, unsigned ABits, unsigned AChannels, uint32_t AMask = 0,
                            uint16_t ATag = WAVE_FORMAT_EXTENSIBLE)
{
    WAVEFORMATEXTENSIBLE F{};
    F.Format.wFormatTag = ATag;
    F.Format.nChannels = static_cast<uint16_t>(AChannels);
    F.Format.nSamplesPerSec = ARate;
    F.Format.nBlockAlign = static_cast<uint16_t>(AChannels * ABits / 8);
    F.Format.nAvgBytesPerSec = ARate * F.Format.nBlockAlign;
    F.Format.wBitsPerSample = static_cast<uint16_t>(ABits);
    F.Format.cbSize = ATag == WAVE_FORMAT_EXTENSIBLE ? 22 : 0;
    F.Samples.wValidBitsPerSample = static_cast<uint16_t>(ABits);
    F.dwChannelMask = AMask;
    F.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return F;
}

std::vector<uint8_t> ReadBytes(const fs::path& APath)
{
    std::ifstream In(APath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

void WriteBytes(const fs::path& APath, const std::vector<uint8_t>& ABytes)
{
    std::ofstream Out(APath, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(ABytes.data()), static_cast<std::streamsize>(ABytes.size()));
}

void Append32(std::vector<uint8_t>& AOut, uint32_t AValue)
{
    for (int I = 0; I < 4; ++I)
        AOut.push_back(static_cast<uint8_t>(AValue >> (8 * I)));
}

void AppendChunk(std::vector<uint8_t>& AOut, const char* AId, const std::vector<uint8_t>& ABody)
{
    AOut.insert(AOut.end(), AId, AId + 4);
    Append32(AOut, static_cast<uint32_t>(ABody.size()));
    AOut.insert(AOut.end(), ABody.begin(), ABody.end());
    if (ABody.size() % 2)
        AOut.push_back(0);
}

uint32_t Field32(const std::vector<uint8_t>& ABytes, size_t AOffset)
{
    return uint32_t{ABytes[AOffset]} | uint32_t{ABytes[AOffset + 1]} << 8 | uint32_t{ABytes[AOffset + 2]} << 16 |
           uint32_t{ABytes[AOffset + 3]} << 24;
}

// Little-endian sample bytes; 8-bit samples are stored offset by 128.
std::vector<uint8_t> Encode(const std::vector<int32_t>& ASamples, unsigned ABits)
{
    std::vector<uint8_t> Out;
    for (int32_t S : ASamples) {
        uint32_t Word = static_cast<uint32_t>(S);
        if (ABits == 8)
            Word ^= 0x80;
        for (unsigned B = 0; B < ABits / 8; ++B)
            Out.push_back(static_cast<uint8_t>(Word >> (8 * B)));
    }
    return Out;
}

std::vector<int32_t> RandomSamples(size_t ACount, unsigned ABits, unsigned ASeed)
{
    std::mt19937 Random(ASeed);
    const int64_t Low = -(int64_t{1} << (ABits - 1)), High = (int64_t{1} << (ABits - 1)) - 1;
    std::uniform_int_distribution<int64_t> Dist(Low, High);
    std::vector<int32_t> Out(ACount);
    for (size_t I = 0; I < ACount; ++I)
        Out[I] = static_cast<int32_t>(I < 2 ? (I == 0 ? Low : High) : Dist(Random)); // extremes first
    return Out;
}

class TTempDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int Counter = 0;
        FDir = fs::temp_directory_path() /
               ("sonorix-wav-" + std::to_string(getpid()) + "-" + std::to_string(Counter++));
        fs::create_directories(FDir);
    }
    void TearDown() override { fs::remove_all(FDir); }
    std::string Path(const std::string& AName) const { return (FDir / AName).string(); }

    fs::path FDir;
};

std::string ErrorOf(const std::function<void()>& AAction)
{
    try {
        AAction();
    } catch (const EWavError& E) {
        return E.what();
    } catch (const std::exception& E) {
        return std::string("wrong exception type: ") + E.what();
    }
    return "no error";
}

} // namespace

// --------------------------------------------------------------- round trips

class WavRoundTrip : public TTempDir, public ::testing::WithParamInterface<std::tuple<unsigned, unsigned>> {};

TEST_P(WavRoundTrip, ReadsBackWhatWasWritten)
{
    const auto [Bits, Channels] = GetParam();
    const size_t Frames = 1001; // odd, so 8- and 24-bit mono data needs a pad byte
    const std::vector<int32_t> Samples = RandomSamples(Frames * Channels, Bits, Bits * 100 + Channels);
    const std::vector<uint8_t> Bytes = Encode(Samples, Bits);
    const std::string File = Path("round.wav");
    const size_t Frame = Channels * Bits / 8;
    {
        TWavWriter W(File, Format(44100, Bits, Channels));
        // Odd-sized pieces, a frame alone and an empty write: the file must not care.
        size_t Done = 0;
        for (size_t Piece : {size_t{1}, size_t{0}, size_t{7}, size_t{300}, size_t{2}}) {
            W.Write(Bytes.data() + Done * Frame, Piece * Frame);
            Done += Piece;
        }
        W.Write(Bytes.data() + Done * Frame, (Frames - Done) * Frame);
        EXPECT_EQ(W.Frames(), Frames);
        EXPECT_EQ(W.Extensible(), Bits > 16 || Channels > 2);
    }
    const TWavReader R(File);
    EXPECT_EQ(R.Channels(), Channels);
    EXPECT_EQ(R.BitsPerSample(), Bits);
    EXPECT_EQ(R.SampleRate(), 44100u);
    EXPECT_EQ(R.Frames(), Frames);
    EXPECT_EQ(R.Format().Format.wFormatTag, (Bits > 16 || Channels > 2) ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
    EXPECT_EQ(R.Format().Format.nAvgBytesPerSec, 44100u * Frame);
    EXPECT_EQ(R.Format().Samples.wValidBitsPerSample, Bits);
    EXPECT_EQ(R.Data(), Bytes);
    EXPECT_EQ(R.Samples(), Samples);

    const size_t Header = (Bits > 16 || Channels > 2) ? 68 : 44;
    const size_t Data = Bytes.size();
    const std::vector<uint8_t> Raw = ReadBytes(File);
    EXPECT_EQ(Raw.size(), Header + Data + Data % 2);
    EXPECT_EQ(Field32(Raw, 4), Raw.size() - 8);
    EXPECT_EQ(Field32(Raw, Header - 4), Data);
}

INSTANTIATE_TEST_SUITE_P(AllWidths, WavRoundTrip,
                         ::testing::Combine(::testing::Values(8u, 16u, 24u, 32u), ::testing::Values(1u, 2u, 6u)),
                         [](const auto& AInfo) {
                             return std::to_string(std::get<0>(AInfo.param)) + "bit_" +
                                    std::to_string(std::get<1>(AInfo.param)) + "ch";
                         });

// ------------------------------------------------------------------ headers

using WavWriter = TTempDir;

TEST_F(WavWriter, PlainHeaderByteByByte)
{
    const std::string File = Path("plain.wav");
    const int16_t Samples[] = {1, -1, 0x1234, -0x1234, 32767, -32768};
    {
        TWavWriter W(File, Format(44100, 16, 2));
        W.Write(Samples, sizeof(Samples));
    }
    const std::vector<uint8_t> Expected = {
        'R', 'I', 'F', 'F', 48, 0, 0, 0,     // 4 + 24 (fmt) + 8 + 12 (data)
        'W', 'A', 'V', 'E',                  //
        'f', 'm', 't', ' ', 16, 0, 0, 0,     //
        1, 0,                                // WAVE_FORMAT_PCM
        2, 0,                                // channels
        0x44, 0xAC, 0, 0,                    // 44100
        0x10, 0xB1, 0x02, 0,                 // 176400 bytes per second
        4, 0,                                // block align
        16, 0,                               // bits
        'd', 'a', 't', 'a', 12, 0, 0, 0,     //
        0x01, 0x00, 0xFF, 0xFF, 0x34, 0x12,  //
        0xCC, 0xED, 0xFF, 0x7F, 0x00, 0x80}; //
    EXPECT_EQ(ReadBytes(File), Expected);
}

TEST_F(WavWriter, ExtensibleHeaderFor24Bit)
{
    const std::string File = Path("ext.wav");
    const uint8_t Frame[6] = {1, 2, 3, 4, 5, 6};
    {
        TWavWriter W(File, Format(48000, 24, 2));
        W.Write(Frame, sizeof(Frame));
    }
    std::vector<uint8_t> Expected = {'R', 'I', 'F', 'F'};
    Append32(Expected, 4 + 48 + 8 + 6);
    Expected.insert(Expected.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 40, 0, 0, 0,
                                     0xFE, 0xFF,         // WAVE_FORMAT_EXTENSIBLE
                                     2, 0});             // channels
    Append32(Expected, 48000);
    Append32(Expected, 48000 * 6);
    Expected.insert(Expected.end(), {6, 0, 24, 0,        // block align, bits
                                     22, 0,              // cbSize
                                     24, 0});            // valid bits
    Append32(Expected, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    Expected.insert(Expected.end(), {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, // PCM subformat GUID
                                     0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    Expected.insert(Expected.end(), {'d', 'a', 't', 'a', 6, 0, 0, 0, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(ReadBytes(File), Expected);

    const TWavReader R(File);
    EXPECT_EQ(R.Format().Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(R.Format().Format.cbSize, 22);
    EXPECT_EQ(R.Format().dwChannelMask, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT);
    EXPECT_TRUE(R.Format().SubFormat == KSDATAFORMAT_SUBTYPE_PCM);
}

TEST_F(WavWriter, HeaderKindFollowsTheFormat)
{
    struct TCase {
        WAVEFORMATEXTENSIBLE Format;
        bool Extensible;
        uint32_t Mask; // as read back; 0 for a plain header
        uint16_t ValidBits;
    };
    WAVEFORMATEXTENSIBLE TwentyValid = Format(48000, 24, 1);
    TwentyValid.Samples.wValidBitsPerSample = 20;
    WAVEFORMATEXTENSIBLE TwelveValid = Format(48000, 16, 2);
    TwelveValid.Samples.wValidBitsPerSample = 12;
    const TCase Cases[] = {
        {Format(8000, 8, 1), false, 0, 8},
        {Format(8000, 8, 1, SPEAKER_FRONT_CENTER), false, 0, 8},
        {Format(8000, 16, 1, 0, WAVE_FORMAT_PCM), false, 0, 16},
        {Format(8000, 16, 2, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT), false, 0, 16},
        {Format(8000, 16, 2, SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT), true, SPEAKER_BACK_LEFT | SPEAKER_BACK_RIGHT, 16},
        {Format(8000, 16, 1, SPEAKER_FRONT_LEFT), true, SPEAKER_FRONT_LEFT, 16},
        {Format(8000, 16, 3), true, 0, 16},
        {Format(8000, 16, 6, 0x3F), true, 0x3F, 16},
        {Format(8000, 32, 1), true, SPEAKER_FRONT_CENTER, 32},
        {Format(8000, 32, 32, 0xFFFFFFFFu), true, 0xFFFFFFFFu, 32},
        {TwentyValid, true, SPEAKER_FRONT_CENTER, 20},
        {TwelveValid, true, SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT, 12},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(std::to_string(C.Format.Format.wBitsPerSample) + " bits, " +
                     std::to_string(C.Format.Format.nChannels) + " channels, mask " +
                     std::to_string(C.Format.dwChannelMask));
        const std::string File = Path("kind.wav");
        {
            TWavWriter W(File, C.Format);
            EXPECT_EQ(W.Extensible(), C.Extensible);
        }
        const TWavReader R(File);
        EXPECT_EQ(R.Format().Format.wFormatTag, C.Extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
        EXPECT_EQ(R.Format().dwChannelMask, C.Mask);
        EXPECT_EQ(R.Format().Samples.wValidBitsPerSample, C.ValidBits);
        EXPECT_EQ(R.Frames(), 0u);
    }
}

TEST_F(WavWriter, RefusesFormatsItCannotWrite)
{
    WAVEFORMATEXTENSIBLE Float = Format(48000, 32, 2);
    Float.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    WAVEFORMATEXTENSIBLE TooValid = Format(48000, 16, 2);
    TooValid.Samples.wValidBitsPerSample = 17;
    const std::pair<WAVEFORMATEXTENSIBLE, const char*> Cases[] = {
        {Format(48000, 12, 2), "12 bits per sample"},
        {Format(48000, 64, 2), "64 bits per sample"},
        {Format(48000, 16, 0), "0 channels"},
        {Format(48000, 16, 33), "33 channels"},
        {Format(0, 16, 2), "sample rate 0"},
        {Format(0x40000000, 32, 2), "byte rate"},
        {Format(48000, 32, 2, 0, WAVE_FORMAT_IEEE_FLOAT), "format tag 3"},
        {Float, "subformat"},
        {TooValid, "17 valid bits"},
        {Format(48000, 16, 2, 0x7), "channel mask"},
    };
    for (const auto& [F, Message] : Cases) {
        const std::string Error = ErrorOf([&, &F = F] { TWavWriter W(Path("bad.wav"), F); });
        EXPECT_NE(Error.find(Message), std::string::npos) << Error;
    }
}

// ---------------------------------------------------------- writer behaviour

TEST_F(WavWriter, CannotCreateMessage)
{
    const std::string File = Path("no/such/dir/x.wav");
    try {
        TWavWriter W(File, Format(48000, 16, 2));
        FAIL();
    } catch (const EFOpenError& E) {
        EXPECT_EQ(std::string(E.what()), "Cannot create " + File + ".: No such file or directory");
    }
}

TEST_F(WavWriter, FullDiskIsReported)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const std::string Error = ErrorOf([] { TWavWriter W("/dev/full", Format(48000, 16, 2)); });
    EXPECT_NE(Error.find("No space left on device"), std::string::npos) << Error;
}

TEST_F(WavWriter, FailedWriteMidStreamIsReportedAndLeavesAReadableFile)
{
    // A file size limit makes write() fail with EFBIG after a while, like a full disk.
    struct rlimit Old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Old), 0);
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit Limit = Old;
    Limit.rlim_cur = 100000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Limit), 0);

    const std::string File = Path("limited.wav");
    std::string Error = "no error";
    uint64_t Written = 0;
    {
        TWavWriter W(File, Format(48000, 16, 2));
        try {
            for (int I = 0; I < 100; ++I) {
                const std::vector<uint8_t> Block(4096, static_cast<uint8_t>(I));
                W.Write(Block.data(), Block.size());
            }
        } catch (const EWavError& E) {
            Error = E.what();
        }
        Written = W.DataBytes();
        // Room again: writing goes on after the last frame that reached the file.
        setrlimit(RLIMIT_FSIZE, &Old);
        const std::vector<uint8_t> Last(4096, 0xAB);
        W.Write(Last.data(), Last.size());
    }
    std::signal(SIGXFSZ, OldHandler);

    EXPECT_NE(Error.find("write failed: File too large"), std::string::npos) << Error;
    EXPECT_NE(Error.find(File), std::string::npos) << Error;
    ASSERT_GT(Written, 0u);
    ASSERT_LE(Written, 100000u - 44);
    ASSERT_EQ(Written % 4096, 0u);
    const TWavReader R(File);
    ASSERT_EQ(R.Data().size(), Written + 4096);
    for (size_t I = 0; I < Written; ++I)
        ASSERT_EQ(R.Data()[I], I / 4096) << I;
    for (size_t I = Written; I < R.Data().size(); ++I)
        ASSERT_EQ(R.Data()[I], 0xAB) << I;
    EXPECT_EQ(fs::file_size(File), 44 + Written + 4096); // nothing stray after the data
}

TEST_F(WavWriter, WholeFramesOnly)
{
    TWavWriter W(Path("frames.wav"), Format(48000, 24, 2));
    const uint8_t Bytes[12] = {};
    const std::string Error = ErrorOf([&] { W.Write(Bytes, 7); });
    EXPECT_NE(Error.find("7 bytes is not a whole number of 6-byte frames"), std::string::npos) << Error;
    EXPECT_NO_THROW(W.Write(Bytes, 12));
    EXPECT_EQ(W.Frames(), 2u);
}

TEST_F(WavWriter, CloseIsIdempotentAndFinal)
{
    const std::string File = Path("close.wav");
    TWavWriter W(File, Format(48000, 16, 1));
    const int16_t Samples[3] = {1, 2, 3};
    W.Write(Samples, sizeof(Samples));
    W.Close();
    W.Close();
    EXPECT_NE(ErrorOf([&] { W.Write(Samples, 2); }).find("write after close"), std::string::npos);
    EXPECT_NO_THROW(W.Flush());
    EXPECT_EQ(TWavReader(File).Frames(), 3u);
}

TEST_F(WavWriter, FlushLeavesSizesForACrash)
{
    const std::string File = Path("crash.wav");
    TWavWriter W(File, Format(48000, 16, 2));
    EXPECT_EQ(TWavReader(File).Frames(), 0u); // readable from the start

    std::vector<int16_t> Block(2 * 100, 7);
    W.Write(Block.data(), Block.size() * 2);
    W.Flush();
    EXPECT_EQ(TWavReader(File).Frames(), 100u);

    // Written after the last flush: a crash now leaves the flushed sizes, and
    // the header still describes bytes that are really there.
    W.Write(Block.data(), Block.size() * 2);
    std::vector<uint8_t> Raw = ReadBytes(File);
    EXPECT_EQ(Field32(Raw, 40), 400u);
    EXPECT_EQ(TWavReader(File).Frames(), 100u);

    W.Flush();
    EXPECT_EQ(TWavReader(File).Frames(), 200u);
}

TEST_F(WavWriter, RefusesToPassTheSizeLimit)
{
    const std::string File = Path("limit.wav");
    {
        TWavWriter W(File, Format(48000, 16, 2));
        W.SetDataLimit(1002); // rounds down to whole frames: 1000
        std::vector<uint8_t> Block(996);
        W.Write(Block.data(), Block.size());
        const std::string Error = ErrorOf([&] { W.Write(Block.data(), 8); });
        EXPECT_NE(Error.find("would pass the limit of 1000 bytes"), std::string::npos) << Error;
        EXPECT_EQ(W.DataBytes(), 996u);
        W.Write(Block.data(), 4);
        EXPECT_EQ(W.DataBytes(), 1000u);
    }
    EXPECT_EQ(TWavReader(File).Data().size(), 1000u);
}

TEST_F(WavWriter, DefaultLimitKeepsTheRiffSizeIn32Bits)
{
    TWavWriter W(Path("big.wav"), Format(48000, 24, 1)); // 3-byte frames, 68-byte header
    // The largest count of whole frames whose RIFF size, pad byte included, fits.
    const uint64_t Room = 0xFFFFFFFFull - 60 - 1;
    const std::string Error = ErrorOf([&] { W.Write(nullptr, Room - Room % 3 + 3); });
    EXPECT_NE(Error.find("limit of " + std::to_string(Room - Room % 3) + " bytes"), std::string::npos) << Error;
}

// ------------------------------------------------------------------- reader

using WavReader = TTempDir;

TEST_F(WavReader, SkipsUnknownChunks)
{
    std::vector<uint8_t> Fmt;
    for (uint8_t B : {1, 0, 1, 0}) // PCM, mono
        Fmt.push_back(B);
    Append32(Fmt, 8000);
    Append32(Fmt, 16000);
    Fmt.insert(Fmt.end(), {2, 0, 16, 0});
    std::vector<uint8_t> Body = {'W', 'A', 'V', 'E'};
    AppendChunk(Body, "LIST", {'a', 'b', 'c', 'd', 'e'}); // odd size: padded
    AppendChunk(Body, "fmt ", Fmt);
    AppendChunk(Body, "junk", std::vector<uint8_t>(100, 0xEE));
    AppendChunk(Body, "data", {0x01, 0x00, 0xFF, 0x7F});
    AppendChunk(Body, "id3 ", {'x'});
    std::vector<uint8_t> File = {'R', 'I', 'F', 'F'};
    Append32(File, static_cast<uint32_t>(Body.size()));
    File.insert(File.end(), Body.begin(), Body.end());
    WriteBytes(Path("chunks.wav"), File);

    const TWavReader R(Path("chunks.wav"));
    EXPECT_EQ(R.Channels(), 1u);
    EXPECT_EQ(R.SampleRate(), 8000u);
    EXPECT_EQ(R.Samples(), (std::vector<int32_t>{1, 32767}));
}

TEST_F(WavReader, RejectsMalformedFilesCleanly)
{
    const std::string Good = Path("good.wav");
    {
        TWavWriter W(Good, Format(48000, 16, 2));
        std::vector<int16_t> Samples(200, 5);
        W.Write(Samples.data(), Samples.size() * 2);
    }
    const std::vector<uint8_t> Valid = ReadBytes(Good);
    auto Changed = [&](size_t AOffset, std::vector<uint8_t> ABytes) {
        std::vector<uint8_t> Copy = Valid;
        std::copy(ABytes.begin(), ABytes.end(), Copy.begin() + static_cast<ptrdiff_t>(AOffset));
        return Copy;
    };
    struct TCase {
        std::vector<uint8_t> Bytes;
        const char* Message;
    };
    const TCase Cases[] = {
        {{}, "too short"},
        {{'R', 'I', 'F', 'F'}, "too short"},
        {std::vector<uint8_t>(Valid.begin(), Valid.begin() + 30), "truncated"},
        {std::vector<uint8_t>(Valid.begin(), Valid.end() - 1), "truncated"},
        {Changed(0, {'R', 'I', 'F', 'X'}), "no RIFF/WAVE header"},
        {Changed(8, {'A', 'V', 'I', ' '}), "no RIFF/WAVE header"},
        {Changed(40, {0xFF, 0xFF, 0xFF, 0x7F}), "claims 2147483647 bytes"},
        {Changed(16, {0xF0, 0xFF, 0xFF, 0xFF}), "claims"},
        {Changed(12, {'f', 'm', 't', 'x'}), "no fmt chunk"},
        {Changed(36, {'d', 'a', 't', 'x'}), "no data chunk"},
        {Changed(20, {3, 0}), "format tag 3"},
        {Changed(20, {0xFE, 0xFF}), "short fmt chunk"},
        {Changed(22, {0, 0}), "0 channels"},
        {Changed(24, {0, 0, 0, 0}), "sample rate 0"},
        {Changed(32, {3, 0}), "block align 3"},
        {Changed(34, {12, 0}), "12 bits"},
        {Changed(40, {0x8E, 1, 0, 0}), "data size 398 is not a whole number of 4-byte frames"},
        {Changed(16, {8, 0, 0, 0}), "fmt chunk of 8 bytes"},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Message);
        WriteBytes(Path("bad.wav"), C.Bytes);
        const std::string Error = ErrorOf([&] { TWavReader R(Path("bad.wav")); });
        EXPECT_NE(Error.find(C.Message), std::string::npos) << Error;
    }
    EXPECT_NE(ErrorOf([&] { TWavReader R(Path("missing.wav")); }).find("Cannot open"), std::string::npos);
}

TEST_F(WavReader, DamagedFilesNeverCrash)
{
    const std::string Good = Path("good.wav");
    {
        TWavWriter W(Good, Format(48000, 24, 6));
        std::vector<uint8_t> Bytes(18 * 10, 1);
        W.Write(Bytes.data(), Bytes.size());
    }
    const std::vector<uint8_t> Valid = ReadBytes(Good);
    std::mt19937 Random(777);
    for (int I = 0; I < 2000; ++I) {
        std::vector<uint8_t> Bytes = Valid;
        if (I % 4 == 0) {
            Bytes.resize(std::uniform_int_distribution<size_t>(0, 120)(Random));
            for (uint8_t& B : Bytes)
                B = static_cast<uint8_t>(Random());
            if (Bytes.size() >= 12 && I % 8 == 0) // get past the first check
                std::copy_n("RIFF\xFF\xFF\0\0WAVE", 12, Bytes.begin());
        } else {
            for (int Flips = std::uniform_int_distribution<int>(1, 4)(Random); Flips > 0; --Flips)
                Bytes[std::uniform_int_distribution<size_t>(0, 75)(Random)] = static_cast<uint8_t>(Random());
            Bytes.resize(std::uniform_int_distribution<size_t>(0, Bytes.size())(Random));
        }
        WriteBytes(Path("fuzz.wav"), Bytes);
        try {
            TWavReader R(Path("fuzz.wav"));
            EXPECT_LE(R.Data().size(), Bytes.size());
            (void)R.Samples();
        } catch (const EWavError&) {
        }
    }
}

// -------------------------------------------------------- external oracle

TEST_F(WavWriter, FfprobeReadsA24BitSixChannelFile)
{
    if (std::system("command -v ffprobe >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ffprobe not installed";
    const std::string File = Path("six.wav");
    {
        TWavWriter W(File, Format(48000, 24, 6, 0x3F));
        const std::vector<uint8_t> Bytes = Encode(RandomSamples(6 * 4800, 24, 1), 24);
        W.Write(Bytes.data(), Bytes.size());
    }
    const std::string Command =
        "ffprobe -v error -show_entries stream=sample_rate,channels,bits_per_raw_sample -of default=nw=1 '" + File +
        "' 2>&1";
    std::FILE* Pipe = popen(Command.c_str(), "r");
    ASSERT_NE(Pipe, nullptr);
    std::map<std::string, std::string> Fields;
    char Line[256];
    std::string Output;
    while (std::fgets(Line, sizeof(Line), Pipe)) {
        std::string L = Line;
        Output += L;
        while (!L.empty() && (L.back() == '\n' || L.back() == '\r'))
            L.pop_back();
        if (auto Eq = L.find('='); Eq != std::string::npos)
            Fields[L.substr(0, Eq)] = L.substr(Eq + 1);
    }
    EXPECT_EQ(pclose(Pipe), 0) << Output;
    EXPECT_EQ(Fields["sample_rate"], "48000") << Output;
    EXPECT_EQ(Fields["channels"], "6") << Output;
    EXPECT_EQ(Fields["bits_per_raw_sample"], "24") << Output;
}
