// SPDX-License-Identifier: MIT
// The libav encoder and decoder, alone and as a pair, and the routing of the
// encoder and decoder bases.
#include "CVPlainClass.h"
#include "LAVTestSupport.h"
#include "SNLAVAudioCompressor.h"
#include "SNLAVAudioDecompressor.h"
#include "TestSamples.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// A packet source that counts the pump ticks reaching it from downstream.
class TPacketSource : public TPersistent {
public:
    TPacketSource() : FOutputPin(this, "OutputPin")
    {
        FOutputPin.SetDispatch([this](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
            if (OperationAs<TPNMasterPumpOperation>(AOperation)) {
                ++Pumps;
                if (OnPump)
                    OnPump();
            }
            return true;
        });
    }
    static const TClassDescription& ClassDescription() { return TPacketCollector::ClassDescription(); }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    TDGPNBinarySourcePin FOutputPin;
    int Pumps = 0;
    std::function<void()> OnPump;
};

struct TCodecCase {
    const char* Codec;
    unsigned Bits;
    unsigned Channels;
    unsigned Rate;
    bool Lossless;
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
    LFeeder.GetOutputPin().Connect(LEncoder.GetInputPin());
    LEncoder.GetOutputPin().Connect(LDecoder.GetInputPin());
    LDecoder.GetOutputPin().Connect(LCollector.GetInputPin());
    const uint64_t LFrames = LCase.Rate / 2;
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(LCase.Rate, LCase.Bits, LCase.Channels);
    LFeeder.Play(LFormat, LFrames, 777);
    EXPECT_TRUE(LEncoderErrors.Messages.empty()) << LEncoderErrors.Text();
    EXPECT_TRUE(LDecoderErrors.Messages.empty()) << LDecoderErrors.Text();

    ASSERT_EQ(LCollector.Starts().size(), 1u);
    const WAVEFORMATEXTENSIBLE LOut = LCollector.Starts()[0];
    EXPECT_EQ(uint32_t{LOut.Format.nSamplesPerSec}, LCase.Rate);
    EXPECT_EQ(uint32_t{LOut.Format.nChannels}, LCase.Channels);
    EXPECT_EQ(uint32_t{LOut.Format.wBitsPerSample}, LCase.Bits);
    EXPECT_EQ(LCollector.Stops(), 1);
    std::vector<int32_t> LDecoded;
    for (const ISNAudioBufferPtr& LBuffer : LCollector.Buffers())
        for (uint32_t F = 0; F < LBuffer->GetSize(); ++F)
            for (unsigned C = 0; C < LCase.Channels; ++C)
                LDecoded.push_back(Aligned(*LBuffer, F, C));
    if (LCase.Lossless) {
        ASSERT_EQ(LCollector.Frames(), LFrames);
        size_t LMismatches = 0;
        for (uint64_t F = 0; F < LFrames; ++F)
            for (unsigned C = 0; C < LCase.Channels; ++C)
                LMismatches += Narrow(LDecoded[F * LCase.Channels + C], LCase.Bits) !=
                               Narrow(SignalAligned(F, C, LCase.Rate), LCase.Bits);
        EXPECT_EQ(LMismatches, 0u);
    } else {
        // Priming and padding may add a frame's worth at either end.
        EXPECT_NEAR(static_cast<double>(LCollector.Frames()), static_cast<double>(LFrames), 4096.0);
        LDecoded = MiddleHalf(LDecoded, LCase.Channels);
        for (unsigned C = 0; C < LCase.Channels; ++C) {
            EXPECT_NEAR(ToneLevel(LDecoded, LCase.Channels, C, 300.0 + 200.0 * C, LCase.Rate), 0.5, 0.06) << C;
            EXPECT_LT(ToneLevel(LDecoded, LCase.Channels, C, 300.0 + 200.0 * (C + 1), LCase.Rate), 0.02) << C;
            EXPECT_NEAR(ChannelRms(LDecoded, LCase.Channels, C), 0.5 / std::sqrt(2.0), 0.05) << C;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, LAVCodecRoundTrip,
                         ::testing::Values(TCodecCase{"flac", 16, 2, 44100, true},
                                           TCodecCase{"flac", 24, 6, 48000, true},
                                           TCodecCase{"pcm_s24le", 24, 2, 48000, true},
                                           TCodecCase{"alac", 16, 1, 44100, true},
                                           TCodecCase{"libvorbis", 16, 2, 44100, false},
                                           TCodecCase{"libopus", 16, 2, 48000, false},
                                           TCodecCase{"libmp3lame", 32, 2, 44100, false},
                                           TCodecCase{"aac", 8, 1, 44100, false}));

TEST(LAVCompressor, PacketFramingAndStop)
{
    TSNLAVAudioCompressor LEncoder;
    LEncoder.GetAudioCompression().SetCodecName("flac");
    TFeeder LFeeder;
    TPacketCollector LPackets;
    LFeeder.GetOutputPin().Connect(LEncoder.GetInputPin());
    LEncoder.GetOutputPin().Connect(LPackets.FInputPin);
    LFeeder.Play(MakeWaveFormat(44100, 16, 2), 10000, 1000);
    EXPECT_EQ(LPackets.Rate, 44100.0);
    ASSERT_GE(LPackets.Packets.size(), 3u);
    EXPECT_EQ(LPackets.Log.front(), "TPNStartSampleRateOperation");
    EXPECT_EQ(LPackets.Log.back(), "TPNStopOperation");
    int64_t LLastGranule = -1;
    for (size_t I = 0; I < LPackets.Packets.size(); ++I) {
        TSNCodecPacketHeader LHeader;
        const uint8_t* LData = nullptr;
        ASSERT_TRUE(ParseCodecPacket(*LPackets.Packets[I], LHeader, LData)) << I;
        // Copies: the packed header's fields cannot be bound to references.
        const int64_t LPacketNo = LHeader.packetno, LGranule = LHeader.granulepos;
        const bool LFirst = LHeader.b_o_s != 0, LLast = LHeader.e_o_s != 0;
        EXPECT_EQ(LPacketNo, static_cast<int64_t>(I));
        EXPECT_EQ(LFirst, I == 0);
        EXPECT_EQ(LLast, I + 1 == LPackets.Packets.size());
        if (I > 0) {
            EXPECT_GE(LGranule, LLastGranule);
            LLastGranule = LGranule;
        }
    }
    // The last packet ends at the last sample.
    EXPECT_EQ(LLastGranule, 10000);
}

TEST(LAVCompressor, ErrorsGoThroughOnErrorThenException)
{
    TFeeder LFeeder;
    {
        TSNLAVAudioCompressor LEncoder;
        TErrorLog LErrors;
        LErrors.Attach(LEncoder);
        LEncoder.GetAudioCompression().SetCodecName("no-such-codec");
        LFeeder.GetOutputPin().Connect(LEncoder.GetInputPin());
        LFeeder.Play(MakeWaveFormat(44100, 16, 2), 1000, 1000);
        ASSERT_EQ(LErrors.Messages.size(), 1u);
        EXPECT_EQ(LErrors.Messages[0], "could not find decoder");
        LFeeder.GetOutputPin().DisconnectAll();
    }
    {
        // Unhandled: the exception's text is exactly "%s - %u - %x"; what and
        // where (the refused option) is its detail and the event's.
        TSNLAVAudioCompressor LEncoder;
        TErrorLog LErrors;
        LErrors.Handle = false;
        LErrors.Attach(LEncoder);
        LEncoder.GetAudioCompression().SetCodecName("flac");
        LEncoder.GetAudioCompression().SetOptions("no_such_option=1");
        LFeeder.GetOutputPin().Connect(LEncoder.GetInputPin());
        try {
            LFeeder.Play(MakeWaveFormat(44100, 16, 2), 1000, 1000);
            ADD_FAILURE() << "no exception";
        } catch (const EDGException& E) {
            EXPECT_STREQ(E.what(), "could not open codec - 22 - 16");
            EXPECT_NE(E.GetDetail().find("no_such_option"), std::string::npos) << E.GetDetail();
        }
        EXPECT_EQ(LErrors.Messages, std::vector<std::string>{"could not open codec"});
        ASSERT_EQ(LErrors.Details.size(), 1u);
        EXPECT_NE(LErrors.Details[0].find("no_such_option"), std::string::npos);
        LFeeder.GetOutputPin().DisconnectAll();
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
    LFeeder.GetOutputPin().Connect(LEncoder.GetInputPin());
    LEncoder.GetOutputPin().Connect(LPackets.FInputPin);
    LFeeder.Play(MakeWaveFormat(44100, 16, 2), 44100, 1000);
    ASSERT_GT(LPackets.Packets.size(), 30u);
    uint64_t LIntactFrames = 0;
    for (const bool LDamaged : {false, true}) {
        if (LDamaged) {
            auto* LBytes = static_cast<uint8_t*>(LPackets.Packets[7]->Modify());
            std::memset(LBytes + sizeof(TSNCodecPacketHeader), 0,
                        LPackets.Packets[7]->GetSize() - sizeof(TSNCodecPacketHeader));
        }
        TSNLAVAudioDecompressor LDecoder;
        TErrorLog LLog;
        LLog.Attach(LDecoder);
        TPacketSource LSource;
        TTestCollector LCollector;
        LSource.FOutputPin.Connect(LDecoder.GetInputPin());
        LDecoder.GetOutputPin().Connect(LCollector.GetInputPin());
        LSource.FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(44100));
        for (const IDGBlockBufferPtr& LPacket : LPackets.Packets)
            LSource.FOutputPin.Notify(std::make_shared<TPNSuppliedBufferOperation>(LPacket));
        LSource.FOutputPin.Notify(std::make_shared<TPNStopOperation>());
        EXPECT_TRUE(LLog.Messages.empty()) << LLog.Text();
        EXPECT_EQ(LDecoder.GetDroppedPackets(), LDamaged ? 1u : 0u);
        ASSERT_EQ(LLog.Warnings.size(), LDamaged ? 1u : 0u);
        if (!LDamaged) {
            LIntactFrames = LCollector.Frames();
            continue;
        }
        EXPECT_EQ(LLog.Warnings[0].rfind("could not decode packet: ", 0), 0u) << LLog.Warnings[0];
        // One mp3 frame (1152 samples) is missing, the rest decodes.
        EXPECT_EQ(LCollector.Frames(), LIntactFrames - 1152);
        EXPECT_EQ(LCollector.Stops(), 1);
    }
}

TEST(LAVDecompressor, BadPacketsAreReportedNotFatal)
{
    TSNLAVAudioDecompressor LDecoder;
    TErrorLog LErrors;
    LErrors.Attach(LDecoder);
    TPacketSource LSource;
    TTestCollector LCollector;
    LSource.FOutputPin.Connect(LDecoder.GetInputPin());
    LDecoder.GetOutputPin().Connect(LCollector.GetInputPin());
    LSource.FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
    // Framed data before any codec header, with no codec named: nothing
    // happens, not even an error.
    TSNCodecPacketHeader LHeader;
    const uint8_t LJunk[40] = {1, 2, 3, 4, 5};
    LSource.FOutputPin.Notify(std::make_shared<TPNSuppliedBufferOperation>(MakeCodecPacket(LHeader, LJunk, 40)));
    EXPECT_TRUE(LErrors.Messages.empty() && LErrors.Warnings.empty()) << LErrors.Text();
    // A header claiming more than it holds is not a header.
    IDGBlockBufferPtr LLying = MakeCodecPacket(LHeader, LJunk, 40);
    reinterpret_cast<TSNCodecPacketHeader*>(LLying->Modify())->bytes = 1 << 30;
    LSource.FOutputPin.Notify(std::make_shared<TPNSuppliedBufferOperation>(LLying));
    LSource.FOutputPin.Notify(std::make_shared<TPNStopOperation>());
    EXPECT_EQ(LCollector.Frames(), 0u);

    LDecoder.GetAudioCompression().SetCodecName("mp3");
    LSource.FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(44100));
    IDGBlockBufferPtr LNoise = TDGBlockBuffer::CreateSize(100000);
    for (size_t I = 0; I < 100000; ++I)
        static_cast<uint8_t*>(LNoise->Modify())[I] = static_cast<uint8_t>(I * 7919 >> 3);
    LSource.FOutputPin.Notify(std::make_shared<TPNSuppliedBufferOperation>(LNoise));
    LSource.FOutputPin.Notify(std::make_shared<TPNStopOperation>());

    // Raw fragments shorter than a parser's look-ahead, and empty blocks: the
    // parser must never read past the bytes it was given (found by fuzzing;
    // AddressSanitizer sees the over-read inside libavcodec's memcpy).
    LDecoder.GetAudioCompression().SetCodecName("aac");
    LSource.FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
    const std::vector<std::vector<uint8_t>> LFragments = {
        {}, {}, {0, 0, 0, 0, 0, 0, 0, 0},
        {0xb3, 0xb3, 0xb3, 0xb3, 0xb3, 0xb3, 0, 0, 0, 0xff, 0xfe, 0, 0, 0x61, 0x1b, 0x63, 0xff, 0xb3},
        {0xff, 0xf1, 0x50, 0x80}, {0x02, 0x1f}, {}, {0xfc}};
    for (const std::vector<uint8_t>& LFragment : LFragments) {
        IDGBlockBufferPtr LBlock = TDGBlockBuffer::CreateSize(LFragment.size());
        if (!LFragment.empty())
            std::memcpy(LBlock->Modify(), LFragment.data(), LFragment.size());
        LSource.FOutputPin.Notify(std::make_shared<TPNSuppliedBufferOperation>(LBlock));
    }
    LSource.FOutputPin.Notify(std::make_shared<TPNStopOperation>());
    EXPECT_TRUE(LErrors.Messages.empty()) << LErrors.Text();
}

// --- The bases --------------------------------------------------------------------

TEST(LAVCodecBases, EncoderWithoutInputAnswersQueryWithIgnore)
{
    TSNLAVAudioCompressor LEncoder;
    TPacketCollector LPackets;
    LEncoder.GetOutputPin().Connect(LPackets.FInputPin);
    LPackets.FInputPin.Notify(std::make_shared<TPNQueryStreamOperation>());
    EXPECT_EQ(LPackets.Log, std::vector<std::string>{"TPNIgnoreStreamOperation"});

    // With an input connected, the query travels upstream instead.
    TTestSource LSource;
    bool LQueried = false;
    LSource.GetOutputPin().SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        LQueried = OperationAs<TPNQueryStreamOperation>(AOperation) != nullptr;
        return true;
    });
    LSource.GetOutputPin().Connect(LEncoder.GetInputPin());
    LPackets.FInputPin.Notify(std::make_shared<TPNQueryStreamOperation>());
    EXPECT_TRUE(LQueried);
    EXPECT_EQ(LPackets.Log.size(), 1u);
}

TEST(LAVCodecBases, DecoderPumpLoopPullsUntilAudioOrClose)
{
    TSNLAVAudioDecompressor LDecoder;
    TPacketSource LSource;
    TTestCollector LCollector;
    LSource.FOutputPin.Connect(LDecoder.GetInputPin());
    LDecoder.GetOutputPin().Connect(LCollector.GetInputPin());

    // Closed: one request upstream, exactly.
    LCollector.GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>());
    EXPECT_EQ(LSource.Pumps, 1);

    // Open: the tick is repeated until the source closes the stream on the
    // fourth request.
    LSource.FOutputPin.Notify(std::make_shared<TPNStartSampleRateOperation>(0));
    LSource.Pumps = 0;
    LSource.OnPump = [&] {
        if (LSource.Pumps == 4)
            LSource.FOutputPin.Notify(std::make_shared<TPNStopOperation>());
    };
    LCollector.GetInputPin().Notify(std::make_shared<TPNMasterPumpOperation>());
    EXPECT_EQ(LSource.Pumps, 4);

    // Without an input: a stream query is answered with an ignore.
    LSource.FOutputPin.DisconnectAll();
    LCollector.GetInputPin().Notify(std::make_shared<TPNQueryStreamOperation>());
    EXPECT_EQ(LCollector.Log().back(), "TPNIgnoreStreamOperation");
}

} // namespace
