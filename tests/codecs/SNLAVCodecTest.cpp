// SPDX-License-Identifier: MIT
// The libav encoder and decoder, alone, as a pair and in the tool.
#include "LAVTestSupport.h"
#include "SNLAVAudioCompressor.h"
#include "SNLAVAudioDecompressor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// A decoder fed by a bare packet source, its output collected and its errors logged.
struct TDecoderRig {
    TSNLAVAudioDecompressor Decoder;
    TErrorLog Log;
    TDGPNBinarySourcePin Source{nullptr, "OutputPin"};
    TTestCollector Collector;
    TDecoderRig()
    {
        Log.Attach(Decoder);
        Source.Connect(Decoder.GetInputPin());
        Decoder.GetOutputPin().Connect(Collector.GetInputPin());
    }
    // A start at ARate, the blocks, a stop.
    void Stream(double ARate, const std::vector<IDGBlockBufferPtr>& ABlocks)
    {
        Source.Notify(std::make_shared<TPNStartSampleRateOperation>(ARate));
        for (const IDGBlockBufferPtr& LBlock : ABlocks)
            Source.Notify(std::make_shared<TPNSuppliedBufferOperation>(LBlock));
        Source.Notify(std::make_shared<TPNStopOperation>());
    }
};

struct TCodecCase {
    const char* Codec;
    unsigned Bits;
    unsigned Channels;
    unsigned Rate;
    bool Lossless;
    // A rate the codec does not take is converted, with one warning saying so.
    unsigned CodecRate = 0;
};

void PrintTo(const TCodecCase& ACase, std::ostream* AOut)
{
    *AOut << ACase.Codec << "_" << ACase.Bits << "bit_" << ACase.Channels << "ch";
}

class LAVCodecRoundTrip : public ::testing::TestWithParam<TCodecCase> {};

TEST_P(LAVCodecRoundTrip, EncodeThenDecode)
{
    const TCodecCase& LCase = GetParam();
    TSNLAVAudioCompressor LEncoder;
    TSNLAVAudioDecompressor LDecoder;
    TErrorLog LEncoderErrors, LDecoderErrors;
    LEncoderErrors.Attach(LEncoder);
    LDecoderErrors.Attach(LDecoder);
    LEncoder.GetAudioCompression().SetCodecName(LCase.Codec);
    LDecoder.GetAudioFormat().SetBits(static_cast<int32_t>(LCase.Bits));
    TFeeder LFeeder;
    TTestCollector LCollector;
    Chain(LFeeder, LEncoder, LDecoder, LCollector);
    const uint64_t LFrames = LCase.Rate / 2;
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(LCase.Rate, LCase.Bits, LCase.Channels);
    LFeeder.Play(LFormat, LFrames, 777);
    EXPECT_TRUE(LEncoderErrors.Messages.empty()) << LEncoderErrors.Text();
    EXPECT_TRUE(LDecoderErrors.Messages.empty()) << LDecoderErrors.Text();
    const unsigned LRate = LCase.CodecRate ? LCase.CodecRate : LCase.Rate;
    if (LCase.CodecRate) {
        EXPECT_EQ(LEncoderErrors.Warnings, std::vector<std::string>{"converting the stream for the codec: for the "
                                                                    "libopus encoder: 44100 Hz to 48000 Hz (libswresample)"});
    }

    ASSERT_EQ(LCollector.Starts().size(), 1u);
    const WAVEFORMATEXTENSIBLE LOut = LCollector.Starts()[0];
    EXPECT_EQ(uint32_t{LOut.Format.nSamplesPerSec}, LRate);
    EXPECT_EQ(uint32_t{LOut.Format.nChannels}, LCase.Channels);
    EXPECT_EQ(uint32_t{LOut.Format.wBitsPerSample}, LCase.Bits);
    EXPECT_EQ(LCollector.Stops(), 1);
    const std::vector<int32_t> LDecoded = AlignedSamples(LCollector.Buffers());
    if (LCase.Lossless) {
        ASSERT_EQ(LCollector.Frames(), LFrames);
        EXPECT_EQ(SignalMismatches(LDecoded, LFrames, LCase.Channels, LCase.Bits, LCase.Rate), 0u);
    } else {
        // Priming and padding may add a frame's worth at either end.
        EXPECT_NEAR(static_cast<double>(LCollector.Frames()), LRate / 2.0, 4096.0);
        ExpectSignalTones(LDecoded, LCase.Channels, LRate);
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, LAVCodecRoundTrip,
                         ::testing::Values(TCodecCase{"flac", 16, 2, 44100, true},
                                           TCodecCase{"flac", 24, 6, 48000, true},
                                           TCodecCase{"pcm_s24le", 24, 2, 48000, true},
                                           TCodecCase{"alac", 16, 1, 44100, true},
                                           TCodecCase{"libvorbis", 16, 2, 44100, false},
                                           TCodecCase{"libvorbis", 24, 1, 48000, false},
                                           TCodecCase{"libopus", 16, 2, 44100, false, 48000},
                                           TCodecCase{"libmp3lame", 32, 2, 44100, false},
                                           TCodecCase{"aac", 8, 1, 44100, false}));

TEST(LAVCompressor, PacketFramingAndStop)
{
    TSNLAVAudioCompressor LEncoder;
    LEncoder.GetAudioCompression().SetCodecName("flac");
    TFeeder LFeeder;
    TPacketCollector LPackets;
    Chain(LFeeder, LEncoder, LPackets);
    LFeeder.Play(MakeWaveFormat(44100, 16, 2), 10000, 1000);
    EXPECT_EQ(LPackets.Rate, 44100.0);
    ASSERT_GE(LPackets.Packets.size(), 3u);
    EXPECT_EQ(LPackets.Log.front(), "TPNStartSampleRateOperation");
    EXPECT_EQ(LPackets.Log.back(), "TPNStopOperation");
    ASSERT_EQ(LPackets.Headers.size(), LPackets.Packets.size());
    int64_t LLastGranule = -1;
    for (size_t I = 0; I < LPackets.Headers.size(); ++I) {
        const TSNCodecPacketHeader LHeader = LPackets.Headers[I]; // packed: copied, not bound
        EXPECT_EQ(int64_t{LHeader.packetno}, static_cast<int64_t>(I));
        EXPECT_EQ(LHeader.b_o_s != 0, I == 0);
        EXPECT_EQ(LHeader.e_o_s != 0, I + 1 == LPackets.Headers.size());
        EXPECT_TRUE(I == 0 || LHeader.granulepos >= LLastGranule);
        LLastGranule = LHeader.granulepos;
    }
    // The last packet ends at the last sample.
    EXPECT_EQ(LLastGranule, 10000);
}

// Handled: one event. Unhandled: the exception's text is exactly
// "%s - %u - %x"; what and where (the refused option) is its detail and the event's.
TEST(LAVCompressor, ErrorsGoThroughOnErrorThenException)
{
    for (const bool LHandle : {true, false}) {
        TFeeder LFeeder;
        TSNLAVAudioCompressor LEncoder;
        TErrorLog LErrors;
        LErrors.Handle = LHandle;
        LErrors.Attach(LEncoder);
        LEncoder.GetAudioCompression().SetCodecName(LHandle ? "no-such-codec" : "flac");
        LEncoder.GetAudioCompression().SetOptions(LHandle ? "" : "no_such_option=1");
        LFeeder.GetOutputPin().Connect(LEncoder.GetInputPin());
        std::string LException = "none";
        try {
            LFeeder.Play(MakeWaveFormat(44100, 16, 2), 1000, 1000);
        } catch (const EDGException& E) {
            LException = std::string(E.what()) + " (" + E.GetDetail() + ")";
        }
        EXPECT_EQ(LException.rfind(LHandle ? "none" : "could not open codec - 22 - 16 (", 0), 0u) << LException;
        ASSERT_EQ(LErrors.Messages.size(), 1u) << LErrors.Text();
        EXPECT_EQ(LErrors.Messages[0], LHandle ? "could not find decoder" : "could not open codec");
        EXPECT_TRUE(LHandle || (LErrors.Details[0].find("no_such_option") != std::string::npos &&
                                LException.find("no_such_option") != std::string::npos));
    }
}

TEST(LAVDecompressor, APacketThatDoesNotDecodeCostsOnlyItself)
{
    // One second of mp3 whose seventh packet is damaged, decoded twice:
    // intact and damaged.
    TSNLAVAudioCompressor LEncoder;
    LEncoder.GetAudioCompression().SetCodecName("libmp3lame");
    TFeeder LFeeder;
    TPacketCollector LPackets;
    Chain(LFeeder, LEncoder, LPackets);
    LFeeder.Play(MakeWaveFormat(44100, 16, 2), 44100, 1000);
    ASSERT_GT(LPackets.Packets.size(), 30u);
    TDecoderRig LIntact;
    LIntact.Stream(44100, LPackets.Packets);
    auto* LBytes = static_cast<uint8_t*>(LPackets.Packets[7]->Modify());
    std::memset(LBytes + sizeof(TSNCodecPacketHeader), 0, LPackets.Packets[7]->GetSize() - sizeof(TSNCodecPacketHeader));
    TDecoderRig LDamaged;
    LDamaged.Stream(44100, LPackets.Packets);
    EXPECT_TRUE(LIntact.Log.Messages.empty() && LIntact.Log.Warnings.empty()) << LIntact.Log.Text();
    EXPECT_TRUE(LDamaged.Log.Messages.empty()) << LDamaged.Log.Text();
    EXPECT_EQ(LIntact.Decoder.GetDroppedPackets(), 0u);
    EXPECT_EQ(LDamaged.Decoder.GetDroppedPackets(), 1u);
    ASSERT_EQ(LDamaged.Log.Warnings.size(), 1u);
    EXPECT_EQ(LDamaged.Log.Warnings[0].rfind("could not decode packet: ", 0), 0u) << LDamaged.Log.Warnings[0];
    // One mp3 frame (1152 samples) is missing, the rest decodes.
    EXPECT_EQ(LDamaged.Collector.Frames(), LIntact.Collector.Frames() - 1152);
    EXPECT_EQ(LDamaged.Collector.Stops(), 1);
    EXPECT_EQ(LIntact.Collector.Starts().size(), 1u) << "a stream of one format starts once";
}

// A downstream pump tick is one request upstream while the stream is closed;
// while it is open, it is repeated until audio comes or the source closes it.
TEST(LAVDecompressor, APumpTickPullsUntilAudioOrClose)
{
    TDecoderRig LRig;
    int LPumps = 0;
    LRig.Source.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        if (OperationAs<TPNMasterPumpOperation>(AOperation) && ++LPumps == 5)
            LRig.Source.Notify(std::make_shared<TPNStopOperation>());
        return true;
    });
    LRig.Collector.GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>());
    EXPECT_EQ(LPumps, 1);
    LRig.Source.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
    LRig.Collector.GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>());
    EXPECT_EQ(LPumps, 5);
    // Without an input: a stream query is answered with an ignore.
    LRig.Source.DisconnectAll();
    LRig.Collector.GetInputPin().Notify(std::make_shared<TPNQueryStreamOperation>());
    EXPECT_EQ(LRig.Collector.Log().back(), "TPNIgnoreStreamOperation");
}

TEST(LAVDecompressor, BadPacketsAreReportedNotFatal)
{
    TDecoderRig LRig;
    // Framed data before any codec header, with no codec named: nothing
    // happens, not even an error. A header claiming more than it holds is
    // not a header.
    TSNCodecPacketHeader LHeader;
    const uint8_t LJunk[40] = {1, 2, 3, 4, 5};
    IDGBlockBufferPtr LLying = MakeCodecPacket(LHeader, LJunk, 40);
    reinterpret_cast<TSNCodecPacketHeader*>(LLying->Modify())->bytes = 1 << 30;
    LRig.Stream(0, {MakeCodecPacket(LHeader, LJunk, 40), LLying});
    EXPECT_TRUE(LRig.Log.Messages.empty() && LRig.Log.Warnings.empty()) << LRig.Log.Text();
    EXPECT_EQ(LRig.Collector.Frames(), 0u);

    // Raw fragments shorter than a parser's look-ahead, and empty blocks: the
    // parser must never read past the bytes it was given (found by fuzzing;
    // AddressSanitizer sees the over-read inside libavcodec's memcpy).
    LRig.Decoder.GetAudioCompression().SetCodecName("aac");
    std::vector<IDGBlockBufferPtr> LFragments;
    for (const std::vector<uint8_t>& LFragment : std::vector<std::vector<uint8_t>>{
             {}, {}, {0, 0, 0, 0, 0, 0, 0, 0},
             {0xb3, 0xb3, 0xb3, 0xb3, 0xb3, 0xb3, 0, 0, 0, 0xff, 0xfe, 0, 0, 0x61, 0x1b, 0x63, 0xff, 0xb3},
             {0xff, 0xf1, 0x50, 0x80}, {0x02, 0x1f}, {}, {0xfc}}) {
        LFragments.push_back(TDGBlockBuffer::CreateSize(LFragment.size()));
        if (!LFragment.empty())
            std::memcpy(LFragments.back()->Modify(), LFragment.data(), LFragment.size());
    }
    LRig.Stream(0, LFragments);
    EXPECT_TRUE(LRig.Log.Messages.empty()) << LRig.Log.Text();
}

using LAVTool = TInteropTest;

// A packet that does not decode is an event and a count, not the end: FLAC
// packets given to the mp3 decoder all fail, and the run goes on to its end.
TEST_F(LAVTool, DroppedPacketsArePrintedAsEventsAndCounted)
{
    const TShellResult LRun = Tool("TSNSignalGen ! TSNLAVAudioCompressor AudioCompression.CodecName=flac ! "
                                   "TSNLAVAudioDecompressor name=dec AudioCompression.CodecName=mp3",
                                   "--quiet --events --duration 1");
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    const std::string LWarning = "\"event\":\"OnWarning\",\"message\":\"could not decode packet\"";
    size_t LWarnings = 0;
    for (size_t LAt = 0; (LAt = LRun.Output.find(LWarning, LAt)) != std::string::npos; ++LAt)
        ++LWarnings;
    EXPECT_EQ(LWarnings, 10u) << LRun.Output; // 44100 frames in FLAC frames of 4608
    EXPECT_NE(LRun.Output.find("sonorix: dec: 10 packets did not decode and were dropped\n"), std::string::npos)
        << LRun.Output;
}

} // namespace
