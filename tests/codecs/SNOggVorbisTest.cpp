// SPDX-License-Identifier: MIT
// Ogg Vorbis: the binding, comments, encoder, decoder, writer and player,
// checked against vorbis-tools (oggenc, oggdec, ogginfo, vorbiscomment).
#include "CVThreading.h"
#include "LAVTestSupport.h"
#include "SNOggComments.h"
#include "SNOggLogger.h"
#include "SNOggPlayer.h"
#include "SNVorbisCompressor.h"
#include "SNVorbisDecompressor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace Sonorix;
using namespace Sonorix::Test;

namespace {

// Encodes AFrames of the test signal and returns the packets.
std::vector<uint8_t> Encode(const WAVEFORMATEXTENSIBLE& AFormat, uint64_t AFrames, TPacketCollector* ASink = nullptr)
{
    TFeeder LFeeder;
    TSNVorbisCompressor LEncoder;
    TPacketCollector LSink;
    TPacketCollector& LUse = ASink ? *ASink : LSink;
    Chain(LFeeder, LEncoder, LUse);
    LFeeder.Play(AFormat, AFrames, 1000);
    return LUse.Stream;
}

// Decodes a framed packet stream handed over in pieces of AChunk bytes
// (0: one piece per packet as encoded).
std::vector<ISNAudioBufferPtr> Decode(const std::vector<uint8_t>& AStream, size_t AChunk, unsigned ABits,
                                      TErrorLog* AErrors = nullptr)
{
    TSNVorbisDecompressor LDecoder;
    TTestCollector LCollector;
    LDecoder.GetAudioFormat().SetBits(ABits);
    if (AErrors)
        AErrors->Attach(LDecoder);
    LDecoder.GetOutputPin().Connect(LCollector.GetInputPin());
    FeedStream(LDecoder.GetInputPin(), AStream, AChunk);
    return LCollector.Buffers();
}

} // namespace

TEST(VorbisBinding, MissingLibraryAndMissingExport)
{
    // No wrapper beside the library: the load fails, then succeeds once the
    // file (its Ogg part) is in place, in the same process, without mapping
    // libvorbis. Then a wrapper that lacks one export.
    const auto [LLoad, LIncomplete] = RunBindingProbe("vorbis", SONORIX_PACKAGE_LIBRARY, SONORIX_OGG_WRAPPER,
                                                      SONORIX_OGG_WRAPPER_WITHOUT_PAGE);
    EXPECT_EQ(LLoad, "loaded-before no\nfirst Can't load VorbisDLL.dll\nsecond ok\n");
    EXPECT_EQ(LIncomplete, "loaded-before no\nfirst Can't get DLL_Getogg_pageStruct\n");
}

TEST(OggComments, Expansion)
{
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(44100, 24, 2);
    for (const auto& [LText, LExpanded] : std::vector<std::pair<const char*, const char*>>{
             {"Rate %R Hz", "Rate 44100 Hz"}, {"%c ch %b bit q%q", "2 ch 24 bit q0.1"}, {"100%%", "100%"},
             {"50%", "50"}, {"%x", ""}, {"%", ""}, {"%%", "%"}, {"%Q", "0.1"}})
        EXPECT_EQ(PopulateComent(LText, LFormat, 2, 0.1), LExpanded) << LText;
}

TEST(VorbisCompressor, HeadersDrainAndQualityAtNextStart)
{
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(44100, 16, 2);
    TPacketCollector LEmpty;
    Encode(LFormat, 0, &LEmpty);
    ASSERT_GE(LEmpty.Headers.size(), 3u);
    EXPECT_TRUE(LEmpty.Headers[0].b_o_s);
    EXPECT_FALSE(LEmpty.Headers[1].b_o_s);
    EXPECT_EQ(int64_t{LEmpty.Headers[2].packetno}, 2);
    EXPECT_EQ(LEmpty.Stops, 1);

    TPacketCollector LSink;
    Encode(LFormat, 44100, &LSink);
    ASSERT_GT(LSink.Headers.size(), 10u);
    // Drained at the stop: every frame is in the stream, the last packet ends it.
    EXPECT_TRUE(LSink.Headers.back().e_o_s);
    EXPECT_EQ(int64_t{LSink.Headers.back().granulepos}, 44100);

    // Quality is read at the start: the nominal bit rate of the
    // identification header follows the value set before it.
    TFeeder LFeeder;
    TSNVorbisCompressor LEncoder;
    TPacketCollector LStreams;
    Chain(LFeeder, LEncoder, LStreams);
    const auto LNominal = [&](size_t AIndex) {
        int32_t LRate;
        std::memcpy(&LRate, static_cast<const uint8_t*>(LStreams.Packets[AIndex]->Read()) + 28 + 20, 4);
        return LRate;
    };
    LFeeder.Play(LFormat, 4096, 1024, false);
    LEncoder.SetQuality(0.9);
    LFeeder.GetOutputPin().SendStop();
    const size_t LSecond = LStreams.Packets.size();
    LFeeder.Play(LFormat, 4096, 1024);
    EXPECT_LT(LNominal(0), LNominal(LSecond));
}

TEST(VorbisDecompressor, SplitInvarianceWidthsAndBadPackets)
{
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(44100, 24, 2);
    const std::vector<uint8_t> LStream = Encode(LFormat, 30000);
    const auto LWhole = Decode(LStream, 0, 24);
    ASSERT_FALSE(LWhole.empty());
    uint64_t LFrames = 0;
    for (size_t I = 0; I < LWhole.size(); ++I) {
        EXPECT_EQ(LWhole[I]->GetBitsPerSample(), 24u);
        EXPECT_TRUE(I + 1 == LWhole.size() || LWhole[I]->GetSize() == 1024u) << I;
        LFrames += LWhole[I]->GetSize();
    }
    // The stream's end (e_o_s) sends the last, shorter buffer: nothing is lost.
    EXPECT_EQ(LFrames, 30000u);
    for (size_t LChunk : {size_t{7}, LStream.size()}) {
        const auto LSplit = Decode(LStream, LChunk, 24);
        ASSERT_EQ(LSplit.size(), LWhole.size()) << LChunk;
        for (size_t I = 0; I < LSplit.size(); ++I)
            ASSERT_EQ(std::memcmp(LSplit[I]->ByteRead(), LWhole[I]->ByteRead(), LWhole[I]->GetByteSize()), 0);
    }
    ExpectSignalTones(AlignedSamples(LWhole), 2, 44100, 0.02);

    // Packets without headers, and a header that claims 2 GiB: errors, no audio.
    TErrorLog LErrors;
    const std::vector<uint8_t> LBad(LStream.begin() + 28 + *reinterpret_cast<const int32_t*>(LStream.data()), LStream.end());
    EXPECT_TRUE(Decode(LBad, 0, 16, &LErrors).empty());
    ASSERT_EQ(LErrors.Messages.size(), 1u) << LErrors.Text();
    EXPECT_NE(LErrors.Details[0].find("not the Vorbis identification header"), std::string::npos);
    std::vector<uint8_t> LHuge(28, 0);
    LHuge[3] = 0x7f;
    EXPECT_TRUE(Decode(LHuge, 0, 16, &LErrors).empty());
    EXPECT_NE(LErrors.Details.back().find("claims"), std::string::npos);
}

class OggFiles : public TInteropTest {
protected:
    OggFiles() : TInteropTest("oggenc oggdec ogginfo vorbiscomment sox") {}
    std::string Written(const std::string& AName, double ASeconds)
    {
        const std::string LFile = FDir.Path(AName);
        const TShellResult LRun = Tool("TSNSignalGen Frequency=1000 Amplitude=16000 ! TSNVorbisCompressor Quality=0.3 "
                                       "Comments.Count=2 Comments[0].Text='Rate %R Hz' Comments[1].Name=TITLE "
                                       "Comments[1].Text='q%Q' ! TSNOggLogger FileName=" + LFile,
                                       "--quiet --duration " + std::to_string(ASeconds));
        EXPECT_EQ(LRun.ExitCode, 0) << LRun.Output;
        return LFile;
    }
};

TEST_F(OggFiles, WrittenAndSwitchedFilesPassTheVorbisTools)
{
    const std::string LFile = Written("x.ogg", 2);
    EXPECT_EQ(Shell("vorbiscomment -l " + Quote(LFile)).Output, "Comment1=Rate 44100 Hz\nTITLE=q0.3\n");
    const TProbe LProbe = Probe(LFile);
    EXPECT_EQ(LProbe.Codec, "vorbis");
    EXPECT_EQ(LProbe.SampleRate, 44100);
    EXPECT_NEAR(LProbe.Duration, 2.0, 0.03);
    ASSERT_EQ(Shell("oggdec -Q -o " + Quote(FDir.Path("x.wav")) + " " + Quote(LFile)).ExitCode, 0);
    EXPECT_NEAR(ToneLevel(MiddleHalf(DecodeWithFfmpeg(FDir.Path("x.wav")), 2), 2, 0, 1000, 44100), 16000.0 / 32768, 0.02);

    // A new file name mid-stream: two complete files with serial numbers of their own.
    const WAVEFORMATEXTENSIBLE LFormat = MakeWaveFormat(44100, 16, 2);
    TFeeder LFeeder;
    TSNVorbisCompressor LEncoder;
    TSNOggLogger LLogger;
    Chain(LFeeder, LEncoder, LLogger);
    LLogger.SetFileName(FDir.Path("a.ogg"));
    LFeeder.GetOutputPin().SendStart(LFormat);
    for (uint64_t LFrame = 0; LFrame < 88200; LFrame += 1000) {
        if (LFrame == 44000)
            LLogger.SetFileName(FDir.Path("b.ogg"));
        LFeeder.GetOutputPin().SendBuffer(SignalBuffer(LFormat, LFrame, 1000));
    }
    LFeeder.GetOutputPin().SendStop();
    double LTotal = 0;
    std::string LSerials;
    for (const std::string LName : {"x.ogg", "a.ogg", "b.ogg"}) {
        const TShellResult LInfo = Shell("ogginfo " + Quote(FDir.Path(LName)));
        EXPECT_EQ(LInfo.ExitCode, 0) << LName;
        EXPECT_EQ(LInfo.Output.find("WARN"), std::string::npos) << LInfo.Output;
        if (LName != "x.ogg") {
            LSerials += LInfo.Output.substr(LInfo.Output.find("serial:"), 16);
            LTotal += Probe(FDir.Path(LName)).Duration;
        }
    }
    EXPECT_NE(LSerials.substr(0, 16), LSerials.substr(16));
    EXPECT_NEAR(LTotal, 2.0, 0.05);
}

TEST_F(OggFiles, FailedWritesKeepEarlierPages)
{
    EXPECT_EQ(Tool("TSNSignalGen ! TSNVorbisCompressor ! TSNOggLogger FileName=/nonexistent/x.ogg").Output,
              "sonorix: Cannot create /nonexistent/x.ogg.\n");
    EXPECT_NE(Tool("TSNSignalGen ! TSNVorbisCompressor ! TSNOggLogger FileName=/dev/full", "--quiet --duration 1")
                  .Output.find("No space left on device"),
              std::string::npos);
    // A file size limit as a full disk, and a kill in the middle.
    const std::string LFull = FDir.Path("full.ogg"), LKilled = FDir.Path("killed.ogg");
    const TShellResult LRun =
        Shell("ulimit -f 16; trap '' XFSZ; " + std::string(SONORIX_TOOL_PATH) + " run --quiet --duration 30 " +
              Quote("TSNSignalGen ! TSNVorbisCompressor ! TSNOggLogger FileName=" + LFull));
    EXPECT_NE(LRun.Output.find("File too large"), std::string::npos) << LRun.Output;
    Shell("timeout -s KILL 4 " + std::string(SONORIX_TOOL_PATH) + " run --quiet --realtime --duration 30 " +
          Quote("TSNSignalGen ! TSNVorbisCompressor ! TSNOggLogger FileName=" + LKilled));
    for (const std::string& LFile : {LFull, LKilled}) {
        const TShellResult LInfo = Shell("ogginfo " + Quote(LFile));
        // Only the missing end is noted; every page is whole.
        EXPECT_NE(LInfo.Output.find("Playback length"), std::string::npos);
        EXPECT_EQ(LInfo.Output.find("ERROR"), std::string::npos) << LInfo.Output;
        EXPECT_EQ(LInfo.Output.find("hole"), std::string::npos) << LInfo.Output;
    }
}

TEST_F(OggFiles, OggencFilesPlayLikeOggdec)
{
    struct TCase {
        int Channels, Rate;
        std::string Extra;
    };
    const std::string LBig(70000, 'x');
    for (const TCase& LCase : {TCase{1, 22050, ""}, TCase{2, 44100, "-c BIG=" + LBig}, TCase{6, 48000, ""}}) {
        const std::string LWav = FDir.Path("in.wav"), LOgg = FDir.Path("in.ogg"), LRef = FDir.Path("ref.wav"),
                          LOut = FDir.Path("out.wav");
        std::string LSynth;
        for (int C = 0; C < LCase.Channels; ++C)
            LSynth += " sine " + std::to_string(300 + 200 * C);
        ASSERT_EQ(Shell("sox -n -b 16 -r " + std::to_string(LCase.Rate) + " -c " + std::to_string(LCase.Channels) +
                        " " + LWav + " synth 1.3" + LSynth + " && oggenc -Q -q 2 " + LCase.Extra + " -o " + LOgg + " " +
                        LWav + " && oggdec -Q -o " + LRef + " " + LOgg)
                      .ExitCode,
                  0);
        const TShellResult LRun = Tool("TSNOggPlayer FileName=" + LOgg + " ! TSNVorbisDecompressor AudioFormat.Channels=" +
                                           std::to_string(LCase.Channels) + " AudioFormat.SampleRate=" +
                                           std::to_string(LCase.Rate),
                                       "--quiet --wav " + LOut);
        ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
        const auto LOurs = WavSamples(LOut), LTheirs = WavSamples(LRef);
        ASSERT_EQ(LOurs.size(), LTheirs.size()) << LCase.Channels;
        // oggdec writes 5.1 with its last three channels in another order.
        const int LMap6[6] = {0, 1, 2, 4, 5, 3};
        int LWorst = 0;
        for (size_t I = 0; I < LOurs.size(); ++I) {
            const size_t C = I % LCase.Channels;
            const size_t J = I - C + (LCase.Channels == 6 ? LMap6[C] : C);
            LWorst = std::max(LWorst, std::abs(LOurs[I] - LTheirs[J]));
        }
        // Our scale is 32767, oggdec's 32768: near full scale the two round
        // up to 2 apart.
        EXPECT_LE(LWorst, 2) << LCase.Channels;
    }
    // A chained file is refused as the player's scan finds the second stream.
    Shell("oggenc -Q -s 42 -o " + FDir.Path("b.ogg") + " " + FDir.Path("in.wav") + " && oggenc -Q -s 43 -o " +
          FDir.Path("c.ogg") + " " + FDir.Path("in.wav") + " && cat " + FDir.Path("b.ogg") + " " + FDir.Path("c.ogg") +
          " > " + FDir.Path("chained.ogg"));
    EXPECT_NE(Tool("TSNOggPlayer FileName=" + FDir.Path("chained.ogg") + " ! TSNVorbisDecompressor")
                  .Output.find("ogg_stream_pagein failed."),
              std::string::npos);
}

TEST_F(OggFiles, BadFilesGiveClearErrors)
{
    const std::string LBytes = ReadFile(Written("good.ogg", 3));
    // Pages: identification, comment + setup, then audio.
    const size_t LSecond = LBytes.find("OggS", 4), LThird = LBytes.find("OggS", LSecond + 4);
    std::string LBadCrc = LBytes;
    LBadCrc[22] = static_cast<char>(LBadCrc[22] ^ 1);
    const struct {
        const char* Name;
        std::string Content;
        const char* Expect; // nullptr: plays (shorter or damaged), exit 0
    } LCases[] = {
        {"empty", "", "not an Ogg file"},
        {"text", "hello, world\n", "not an Ogg file"},
        {"truncated", LBytes.substr(0, LBytes.size() / 2 + 77), nullptr},
        {"nohead", LBytes.substr(LThird), "not the Vorbis identification header"},
        {"swapped", LBytes.substr(LSecond, LThird - LSecond) + LBytes.substr(0, LSecond) + LBytes.substr(LThird),
         "not the Vorbis identification header"},
        {"badcrc", LBadCrc, "not the Vorbis identification header"},
    };
    for (const auto& LCase : LCases) {
        const std::string LFile = FDir.Path(std::string(LCase.Name) + ".ogg");
        std::ofstream(LFile, std::ios::binary) << LCase.Content;
        const TShellResult LRun = Tool("TSNOggPlayer FileName=" + LFile + " ! TSNVorbisDecompressor",
                                       "--quiet --wav " + FDir.Path("o.wav"));
        EXPECT_EQ(LRun.ExitCode, LCase.Expect ? 1 : 0) << LCase.Name << ": " << LRun.Output;
        EXPECT_NE(LRun.Output.find(LCase.Expect ? LCase.Expect : ""), std::string::npos) << LCase.Name;
    }
}

TEST_F(OggFiles, PlayerCountsLoopsSeeksAndStops)
{
    TSNOggPlayer LPlayer;
    TPacketCollector LSink;
    LPlayer.GetOutputPin().Connect(LSink.FInputPin);
    LPlayer.SetClockSource(csExternal);
    // Enabled and connected: naming the file starts the stream.
    LPlayer.SetFileName(Written("p.ogg", 1));
    ASSERT_TRUE(LPlayer.IsSourceRunning());
    const int64_t LCount = LPlayer.GetSamplesCount();
    ASSERT_GT(LCount, 10);
    for (int64_t I = 0; I < LCount + 2; ++I)
        LPlayer.Pump();
    ASSERT_EQ(static_cast<int64_t>(LSink.Headers.size()), LCount);
    EXPECT_TRUE(LSink.Headers.front().b_o_s);
    EXPECT_TRUE(LSink.Headers.back().e_o_s);
    // The end of the file is handled on the main thread, and disables.
    EXPECT_EQ(LSink.Stops, 0);
    MainThread().ProcessMessages();
    EXPECT_EQ(LSink.Stops, 1);
    EXPECT_FALSE(LPlayer.IsSourceRunning());
    EXPECT_FALSE(LPlayer.GetEnabled());

    // Looping starts over with the headers; a seek sends them, then the packet.
    LSink.Headers.clear();
    LPlayer.SetLoop(true);
    LPlayer.Start();
    for (int64_t I = 0; I < LCount + 2; ++I)
        LPlayer.Pump();
    EXPECT_TRUE(LSink.Headers[static_cast<size_t>(LCount)].b_o_s);
    LPlayer.SetCurrentSample(7);
    EXPECT_EQ(LPlayer.GetCurrentSample(), 7);
    LSink.Headers.clear();
    for (int I = 0; I < 4; ++I)
        LPlayer.Pump();
    EXPECT_EQ(int64_t{LSink.Headers[3].packetno}, 7);
    EXPECT_EQ(LPlayer.GetCurrentSample(), 8);
    LPlayer.StopSource();
}

TEST_F(OggFiles, PlayerClockRacesWithSettersAndKeepsEveryFrame)
{
    const std::string LFile = Written("t.ogg", 1);
    TSNOggPlayer LPlayer;
    TSNVorbisDecompressor LDecoder;
    TTestCollector LCollector;
    LPlayer.SetFileName(LFile);
    Chain(LPlayer, LDecoder, LCollector);
    {
        TDGVirtualTimeScope LVirtual;
        LPlayer.StartSource();
        for (int I = 0; I < 200 && LPlayer.IsSourceRunning(); ++I) { // while the clock runs
            LPlayer.SetPaused(true);
            LPlayer.GetCurrentSample();
            LPlayer.SetPaused(false);
        }
        TDGTimeline::WaitIdle();
        LPlayer.StopSource();
    }
    EXPECT_EQ(LCollector.Stops(), 1);
    EXPECT_EQ(LCollector.Frames(), static_cast<uint64_t>(std::llround(Probe(LFile).Duration * 44100)));
}

TEST_F(OggFiles, PlayerAndDecoderNegotiateThePump)
{
    const std::string LFile = Written("n.ogg", 1);
    // A downstream claim makes the player send one packet per master-pump
    // request of the claimer; a request delivered twice counts once.
    TSNVorbisDecompressor LClaimer;
    TSNOggPlayer LPlayer;
    TDGPNBinarySinkPin LPin{nullptr, "InputPin"};
    int LStartPumps = 0;
    size_t LPackets = 0;
    LPin.SetDispatch([&](TPNPin&, const IPNNotifyOperationPtr& AOperation) {
        if (auto* LRequest = OperationAs<TPNPumpRequestOperation>(AOperation))
            LRequest->Claim(&LClaimer, ptHardware, 0);
        LStartPumps += OperationAs<TPNStartPumpOperation>(AOperation) != nullptr;
        LPackets += OperationAs<TPNSuppliedBufferOperation>(AOperation) != nullptr;
        return true;
    });
    LPlayer.GetOutputPin().Connect(LPin);
    LPlayer.SetFileName(LFile);
    EXPECT_FALSE(LPlayer.GetIsPump());
    EXPECT_EQ(LStartPumps, 1);
    EXPECT_EQ(LPackets, 0u);
    const auto LPull = std::make_shared<TPNMasterPumpOperation>(&LClaimer);
    EXPECT_TRUE(LPin.Notify(LPull));
    EXPECT_TRUE(LPin.Notify(LPull));
    EXPECT_FALSE(LPin.Notify(std::make_shared<TPNMasterPumpOperation>(&LPlayer)));
    EXPECT_TRUE(LPin.Notify(std::make_shared<TPNMasterPumpOperation>(&LClaimer)));
    EXPECT_EQ(LPackets, 2u);
    LPlayer.StopSource();

    // The decoder claims the pump and clocks the chain at 999 x 1024 / 44100
    // = 23 ms per output buffer; without MasterPumping the player clocks it.
    for (bool LDecoderPumps : {true, false}) {
        TSNOggPlayer LSource;
        TSNVorbisDecompressor LDecoder;
        TTestCollector LCollector;
        LDecoder.GetMasterPumping().SetEnabled(LDecoderPumps);
        LSource.SetFileName(LFile);
        Chain(LSource, LDecoder, LCollector);
        TDGVirtualTimeScope LVirtual;
        LSource.StartSource();
        EXPECT_EQ(LDecoder.GetIsPump(), LDecoderPumps);
        EXPECT_EQ(LSource.GetIsPump(), !LDecoderPumps);
        TDGTimeline::WaitIdle();
        EXPECT_EQ(LCollector.Stops(), 1);
        EXPECT_EQ(LCollector.Frames(), static_cast<uint64_t>(std::llround(Probe(LFile).Duration * 44100)));
        EXPECT_EQ(LDecoder.GetFrameDelay(), 23);
        EXPECT_GT(TDGTimeline::Now(), 0);
        EXPECT_EQ(TDGTimeline::Now() % (LDecoderPumps ? 230000 : 1024000), 0);
    }
}
