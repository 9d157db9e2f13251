// SPDX-License-Identifier: MIT
// Meters, analysers and the splitter through the tool: events and value pins
// as JSON lines, split channels as WAV files.
#include "ToolTestKit.h"
#include "SonorixPkg.h"
#include "TestComponents.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

class AnalysisToolTest : public Sonorix::Test::TToolTest {
protected:
    std::vector<std::string> Lines(std::vector<std::string> AArguments, int& AExitCode)
    {
        const Sonorix::Test::TToolResult LResult = Sonorix(std::move(AArguments));
        AExitCode = LResult.ExitCode;
        EXPECT_EQ(LResult.Err, "");
        std::vector<std::string> LLines;
        std::istringstream LIn(LResult.Out);
        for (std::string LLine; std::getline(LIn, LLine);)
            LLines.push_back(LLine);
        return LLines;
    }
    static size_t CountWith(const std::vector<std::string>& ALines, const std::string& AText)
    {
        size_t LCount = 0;
        for (const std::string& LLine : ALines)
            LCount += LLine.find(AText) != std::string::npos;
        return LCount;
    }
};

} // namespace

TEST_F(AnalysisToolTest, MeterEventsAndFreeValuePinsPrintAsJsonLines)
{
    int LCode = -1;
    // stNone: raised as measured (synchronised events still pending when the
    // stream stops are withdrawn, so their count would depend on timing).
    const auto LLines = Lines({"run", "TestSource AudioFormat.BufferSize=441 ! TSNRMSMeter name=rms Period=10 "
                                      "SynchronizeType=stNone",
                               "--duration", "0.1", "--events"},
                              LCode);
    ASSERT_EQ(LCode, 0);
    // 0.1 s in buffers of 10 ms: nine whole periods (the tenth needs one
    // sample more), stereo, every one different (counting samples).
    const size_t LEvents = CountWith(LLines, "\"event\":\"OnValueChange\"");
    EXPECT_EQ(LEvents, 18u);
    EXPECT_EQ(CountWith(LLines, "\"component\":\"rms\",\"event\":\"OnValueChange\",\"channel\":0,\"value\":"),
              LEvents / 2);
    EXPECT_EQ(CountWith(LLines, "\"min\":0,\"max\":32767"), CountWith(LLines, "\"event\""));
    EXPECT_EQ(CountWith(LLines, "\"event\":\"value\",\"pin\":\"OutputPins[1]\""), LEvents / 2);
}

TEST_F(AnalysisToolTest, SynchronisedMeterReadingsMeasuredBeforeTheEndArePrinted)
{
    // The default stSingleBuffer: readings wait for the main thread, and the
    // stop at the end would withdraw the ones still waiting.
    int LCode = -1;
    const auto LLines = Lines({"run", "TestSource ! TSNRMSMeter name=rms", "--duration", "1", "--events"}, LCode);
    ASSERT_EQ(LCode, 0);
    const auto LLast = [&](const std::string& AText) {
        std::string LFound;
        for (const std::string& LLine : LLines)
            if (LLine.find(AText) != std::string::npos)
                LFound = LLine.substr(LLine.find("\"value\":"));
        return LFound;
    };
    // The last reading of each channel reaches OnValueChange as it reached the pin.
    for (const char* LChannel : {"0", "1"}) {
        const std::string LEvent = LLast(std::string("\"event\":\"OnValueChange\",\"channel\":") + LChannel);
        ASSERT_FALSE(LEvent.empty()) << "channel " << LChannel;
        EXPECT_EQ(LEvent, LLast(std::string("\"pin\":\"OutputPins[") + LChannel + "]\""));
    }
}

TEST_F(AnalysisToolTest, SpectrumPeaksAndBuffersPrintWithTheirFields)
{
    int LCode = -1;
    const auto LLines = Lines({"run", "TestSource AudioFormat.Channels=1 ! TSNSpectrum name=fft CountChannels=1 "
                                      "Synchronize=false",
                               "--duration", "0.05", "--events"},
                              LCode);
    ASSERT_EQ(LCode, 0);
    const size_t LWindows = CountWith(LLines, "\"event\":\"OnFrequencyResult\",\"channel\":0,\"frequency\":");
    EXPECT_GE(LWindows, 8u);
    EXPECT_EQ(CountWith(LLines, "\"max_frequency\":22050"), LWindows);
    EXPECT_EQ(CountWith(LLines, "\"event\":\"buffer\",\"pin\":\"OutputPins[0]\",\"size\":128,\"values\":[0,"), LWindows);
    EXPECT_EQ(CountWith(LLines, "\"event\":\"value\",\"pin\":\"FrequencyOutputPins[0]\""), LWindows);

    // An order whose windows the start refuses ends the run with one line.
    std::ostringstream LOut, LErr;
    EXPECT_EQ(SonorixMain({"run", "TestSource ! TSNSpectrum name=fft Order=25", "--duration", "0.05"}, LOut, LErr), 1);
    EXPECT_EQ(LErr.str().rfind("sonorix: fft: Order 25 asks for windows of 33554432 samples; at most Order 24", 0), 0u)
        << LErr.str();
}

TEST_F(AnalysisToolTest, SnapshotNoticesAndGoniometerVectors)
{
    int LCode = -1;
    auto LLines = Lines({"run", "TestSource name=src ! TSNGoniometer name=scope Mode=gmPolar", "--duration", "0.05",
                         "--events"},
                        LCode);
    ASSERT_EQ(LCode, 0);
    EXPECT_GE(CountWith(LLines, "\"component\":\"scope\",\"event\":\"buffer\",\"pin\":\"Magnitude\",\"size\":1024"), 2u);
    EXPECT_EQ(CountWith(LLines, "\"pin\":\"Magnitude\""), CountWith(LLines, "\"pin\":\"Phase\""));
}

TEST_F(AnalysisToolTest, TheSplitterWritesOneMonoFilePerChannel)
{
    std::ostringstream LOut, LErr;
    const std::string LPath = (FDir / "ch.wav").string();
    ASSERT_EQ(SonorixMain({"run", "TestSource AudioFormat.Channels=3 MaxBuffers=2 ! TSNChannelSplitter CountChannels=3",
                           "--wav", LPath},
                          LOut, LErr),
              0)
        << LErr.str();
    for (int c = 0; c < 3; ++c) {
        TWavReader LFile((FDir / ("ch-" + std::to_string(c + 1) + ".wav")).string());
        ASSERT_EQ(LFile.Frames(), 2048u);
        EXPECT_EQ(LFile.Format().Format.nChannels, 1);
        const std::vector<int32_t> LSamples = LFile.Samples();
        for (uint32_t f = 0; f < 2048; f += 97)
            EXPECT_EQ(LSamples[f], Sonorix::Test::TTestSource::ExpectedSample(f, c, 3, 16)) << c << " " << f;
    }
}
