// SPDX-License-Identifier: MIT
#include "WavWriter.h"
#include "ToolTestKit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

using namespace Sonorix;
using namespace Sonorix::Cli;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

namespace {

// Filled by hand on purpose: this unit must not lean on the framework's helpers.
WAVEFORMATEXTENSIBLE Format(uint32_t ARate, unsigned ABits, unsigned AChannels, uint32_t AMask = 0,
                            uint16_t ATag = WAVE_FORMAT_EXTENSIBLE)
{
    WAVEFORMATEXTENSIBLE F{};
    F.Format = {ATag, static_cast<uint16_t>(AChannels), ARate, ARate * (AChannels * ABits / 8),
                static_cast<uint16_t>(AChannels * ABits / 8), static_cast<uint16_t>(ABits),
                static_cast<uint16_t>(ATag == WAVE_FORMAT_EXTENSIBLE ? 22 : 0)};
    F.Samples.wValidBitsPerSample = static_cast<uint16_t>(ABits);
    F.dwChannelMask = AMask;
    F.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return F;
}

std::vector<uint8_t> ReadBytes(const std::string& APath)
{
    std::ifstream In(APath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In), {});
}

// "52 49 46 46 ..." as bytes.
std::vector<uint8_t> Hex(const std::string& AText)
{
    std::vector<uint8_t> Out;
    std::istringstream In(AText);
    for (unsigned Byte; In >> std::hex >> Byte;)
        Out.push_back(static_cast<uint8_t>(Byte));
    return Out;
}

uint32_t Field32(const std::vector<uint8_t>& ABytes, size_t AOffset)
{
    return ABytes[AOffset] | ABytes[AOffset + 1] << 8 | ABytes[AOffset + 2] << 16 | uint32_t{ABytes[AOffset + 3]} << 24;
}

// Random samples of a width, both extremes first, as little-endian bytes
// (8-bit samples offset by 128).
std::vector<int32_t> RandomSamples(size_t ACount, unsigned ABits, unsigned ASeed)
{
    std::mt19937 Random(ASeed);
    const int64_t Low = -(int64_t{1} << (ABits - 1)), High = -Low - 1;
    std::uniform_int_distribution<int64_t> Dist(Low, High);
    std::vector<int32_t> Out(ACount);
    for (size_t I = 0; I < ACount; ++I)
        Out[I] = static_cast<int32_t>(I < 2 ? (I == 0 ? Low : High) : Dist(Random));
    return Out;
}

std::vector<uint8_t> Encode(const std::vector<int32_t>& ASamples, unsigned ABits)
{
    std::vector<uint8_t> Out;
    for (int32_t S : ASamples)
        for (unsigned B = 0; B < ABits / 8; ++B)
            Out.push_back(static_cast<uint8_t>((static_cast<uint32_t>(S) ^ (ABits == 8 ? 0x80 : 0)) >> (8 * B)));
    return Out;
}

using WavFile = Sonorix::Test::TToolTest;

} // namespace

TEST_F(WavFile, EveryWidthAndChannelCountReadsBackWhatWasWritten)
{
    const size_t Frames = 1001; // odd, so 8- and 24-bit mono data needs a pad byte
    for (const unsigned Bits : {8u, 16u, 24u, 32u})
        for (const unsigned Channels : {1u, 2u, 6u}) {
            SCOPED_TRACE(std::to_string(Bits) + " bits, " + std::to_string(Channels) + " channels");
            const std::vector<int32_t> Samples = RandomSamples(Frames * Channels, Bits, Bits * 100 + Channels);
            const std::vector<uint8_t> Bytes = Encode(Samples, Bits);
            const size_t Frame = Channels * Bits / 8;
            const bool Extensible = Bits > 16 || Channels > 2;
            {
                TWavWriter W(Path("round.wav"), Format(44100, Bits, Channels));
                // Odd-sized pieces, a frame alone and an empty write: the file must not care.
                size_t Done = 0;
                for (size_t Piece : {size_t{1}, size_t{0}, size_t{7}, size_t{300}, Frames - 308}) {
                    W.Write(Bytes.data() + Done * Frame, Piece * Frame);
                    Done += Piece;
                }
                EXPECT_EQ(W.Frames(), Frames);
                EXPECT_EQ(W.Extensible(), Extensible);
            }
            const TWavReader R(Path("round.wav"));
            EXPECT_EQ(R.Channels(), Channels);
            EXPECT_EQ(R.BitsPerSample(), Bits);
            EXPECT_EQ(R.SampleRate(), 44100u);
            EXPECT_EQ(R.Format().Format.wFormatTag, Extensible ? WAVE_FORMAT_EXTENSIBLE : WAVE_FORMAT_PCM);
            EXPECT_EQ(R.Format().Format.nAvgBytesPerSec, 44100u * Frame);
            EXPECT_EQ(R.Data(), Bytes);
            EXPECT_EQ(R.Samples(), Samples);
            const size_t Header = Extensible ? 68 : 44;
            const std::vector<uint8_t> Raw = ReadBytes(Path("round.wav"));
            EXPECT_EQ(Raw.size(), Header + Bytes.size() + Bytes.size() % 2);
            EXPECT_EQ(Field32(Raw, 4), Raw.size() - 8);
            EXPECT_EQ(Field32(Raw, Header - 4), Bytes.size());
        }
}

TEST_F(WavFile, HeadersByteByByte)
{
    const int16_t Samples[] = {1, -1, 0x1234, -0x1234, 32767, -32768};
    const uint8_t Frame[6] = {1, 2, 3, 4, 5, 6};
    {
        TWavWriter(Path("plain.wav"), Format(44100, 16, 2)).Write(Samples, sizeof(Samples));
        TWavWriter(Path("ext.wav"), Format(48000, 24, 2)).Write(Frame, sizeof(Frame));
    }
    // RIFF size, fmt: tag, channels, rate, byte rate, block align, bits; data.
    EXPECT_EQ(ReadBytes(Path("plain.wav")), Hex("52 49 46 46 30 0 0 0 57 41 56 45 66 6d 74 20 10 0 0 0 1 0 2 0 "
                                                "44 ac 0 0 10 b1 2 0 4 0 10 0 64 61 74 61 c 0 0 0 "
                                                "1 0 ff ff 34 12 cc ed ff 7f 0 80"));
    // Then cbSize 22, valid bits, mask FL|FR and the PCM subformat GUID.
    EXPECT_EQ(ReadBytes(Path("ext.wav")), Hex("52 49 46 46 42 0 0 0 57 41 56 45 66 6d 74 20 28 0 0 0 fe ff 2 0 "
                                              "80 bb 0 0 0 65 4 0 6 0 18 0 16 0 18 0 3 0 0 0 "
                                              "1 0 0 0 0 0 10 0 80 0 0 aa 0 38 9b 71 64 61 74 61 6 0 0 0 1 2 3 4 5 6"));
}

TEST_F(WavFile, WriterRefusesWhatItCannotWrite)
{
    WAVEFORMATEXTENSIBLE Float = Format(48000, 32, 2), TooValid = Format(48000, 16, 2);
    Float.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
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
    for (const auto& C : Cases)
        EXPECT_THAT([&] { TWavWriter W(Path("bad.wav"), C.first); }, ThrowsMessage<EWavError>(HasSubstr(C.second)));
    try {
        TWavWriter W(Path("no/such/dir/x.wav"), Format(48000, 16, 2));
        ADD_FAILURE();
    } catch (const EFOpenError& E) {
        EXPECT_EQ(std::string(E.what()), "Cannot create " + Path("no/such/dir/x.wav") + ".: No such file or directory");
    }
    EXPECT_THAT([] { TWavWriter W("/dev/full", Format(48000, 16, 2)); },
                ThrowsMessage<std::exception>(HasSubstr("No space left on device")));

    // Whole frames only, nothing after a close, and at most the size limit
    // (rounded down to whole frames).
    TWavWriter W(Path("frames.wav"), Format(48000, 24, 2));
    std::vector<uint8_t> Bytes(996);
    EXPECT_THAT([&] { W.Write(Bytes.data(), 7); },
                ThrowsMessage<EWavError>(HasSubstr("7 bytes is not a whole number of 6-byte frames")));
    W.SetDataLimit(1000);
    W.Write(Bytes.data(), 990);
    EXPECT_THAT([&] { W.Write(Bytes.data(), 12); }, ThrowsMessage<EWavError>(HasSubstr("would pass the limit of 996 bytes")));
    W.Write(Bytes.data(), 6);
    EXPECT_EQ(W.DataBytes(), 996u);
    W.Close();
    W.Close();
    EXPECT_THAT([&] { W.Write(Bytes.data(), 6); }, ThrowsMessage<EWavError>(HasSubstr("write after close")));
    EXPECT_NO_THROW(W.Flush());
    EXPECT_EQ(TWavReader(Path("frames.wav")).Frames(), 166u);

    // The default limit keeps the RIFF size, pad byte included, in 32 bits.
    TWavWriter Big(Path("big.wav"), Format(48000, 24, 1)); // 3-byte frames, 68-byte header
    const uint64_t Room = 0xFFFFFFFFull - 60 - 1;
    EXPECT_THAT([&] { Big.Write(nullptr, Room - Room % 3 + 3); },
                ThrowsMessage<EWavError>(HasSubstr("limit of " + std::to_string(Room - Room % 3) + " bytes")));
}

TEST_F(WavFile, FlushLeavesSizesForACrash)
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
    EXPECT_EQ(Field32(ReadBytes(File), 40), 400u);
    EXPECT_EQ(TWavReader(File).Frames(), 100u);
    W.Flush();
    EXPECT_EQ(TWavReader(File).Frames(), 200u);
}

TEST_F(WavFile, ReaderSkipsUnknownChunks)
{
    // LIST (odd size, padded), fmt (PCM mono 8000 Hz 16 bits), junk, data, id3.
    const std::vector<uint8_t> LFile = Hex("52 49 46 46 4a 0 0 0 57 41 56 45 4c 49 53 54 5 0 0 0 61 62 63 64 65 0 "
                                           "66 6d 74 20 10 0 0 0 1 0 1 0 40 1f 0 0 80 3e 0 0 2 0 10 0 "
                                           "6a 75 6e 6b 2 0 0 0 ee ee 64 61 74 61 4 0 0 0 1 0 ff 7f "
                                           "69 64 33 20 1 0 0 0 78 0");
    std::ofstream(Path("chunks.wav"), std::ios::binary).write(reinterpret_cast<const char*>(LFile.data()), LFile.size());
    const TWavReader Chunks(Path("chunks.wav"));
    EXPECT_EQ(Chunks.Channels(), 1u);
    EXPECT_EQ(Chunks.SampleRate(), 8000u);
    EXPECT_EQ(Chunks.Samples(), (std::vector<int32_t>{1, 32767}));
}

TEST_F(WavFile, FfprobeReadsA24BitSixChannelFile)
{
    if (!Sonorix::Test::Codecs::HaveFfmpeg())
        GTEST_SKIP() << "ffprobe not installed";
    const std::string File = Path("six.wav");
    const std::vector<uint8_t> Bytes = Encode(RandomSamples(6 * 4800, 24, 1), 24);
    TWavWriter(File, Format(48000, 24, 6, 0x3F)).Write(Bytes.data(), Bytes.size());
    const Sonorix::Test::Codecs::TProbe Probe = Sonorix::Test::Codecs::Probe(File);
    EXPECT_EQ(Probe.SampleRate, 48000);
    EXPECT_EQ(Probe.Channels, 6);
    EXPECT_EQ(Probe.BitsPerRawSample, 24);
    EXPECT_NEAR(Probe.Duration, 0.1, 1e-6);
}
