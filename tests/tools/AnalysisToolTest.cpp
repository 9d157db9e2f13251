// SPDX-License-Identifier: MIT
// Meters, analysers and the splitter through the tool: events and value pins
// as JSON lines, split channels as WAV files.
#include "ToolTestKit.h"
#include "WavWriter.h"

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

class AnalysisToolTest : public Sonorix::Test::TToolTest {
protected:
    // A run with --events that must succeed without a word on standard error.
    Sonorix::Test::TToolResult Events(const std::string& APipeline, const char* ADuration)
    {
        const Sonorix::Test::TToolResult LResult = Sonorix({"run", APipeline, "--duration", ADuration, "--events"});
        EXPECT_EQ(LResult.ExitCode, 0);
        EXPECT_EQ(LResult.Err, "");
        return LResult;
    }
};

} // namespace

TEST_F(AnalysisToolTest, MeterEventsAndFreeValuePinsPrintAsJsonLines)
{
    // stNone: raised as measured (synchronised events still pending when the
    // stream stops are withdrawn, so their count would depend on timing).
    const auto LRun = Events("TestSource AudioFormat.BufferSize=441 ! TSNRMSMeter name=rms Period=10 SynchronizeType=stNone",
                             "0.1");
    // 0.1 s in buffers of 10 ms: nine whole periods (the tenth needs one
    // sample more), stereo, every one different (counting samples).
    EXPECT_EQ(LRun.CountWith("\"event\":\"OnValueChange\""), 18u);
    EXPECT_EQ(LRun.CountWith("\"component\":\"rms\",\"event\":\"OnValueChange\",\"channel\":0,\"value\":"), 9u);
    EXPECT_EQ(LRun.CountWith("\"min\":0,\"max\":32767"), LRun.CountWith("\"event\""));
    EXPECT_EQ(LRun.CountWith("\"event\":\"value\",\"pin\":\"OutputPins[1]\""), 9u);
}

TEST_F(AnalysisToolTest, SynchronisedMeterReadingsMeasuredBeforeTheEndArePrinted)
{
    // The default stSingleBuffer: readings wait for the main thread, and the
    // stop at the end would withdraw the ones still waiting.
    const auto LRun = Events("TestSource ! TSNRMSMeter name=rms", "1");
    const auto LLast = [&](const std::string& AText) {
        std::string LFound;
        std::istringstream LIn(LRun.Out);
        for (std::string LLine; std::getline(LIn, LLine);)
            if (LLine.find(AText) != std::string::npos)
                LFound = LLine.substr(LLine.find("\"value\":"));
        return LFound;
    };
    // The last reading of each channel reaches OnValueChange as it reached the pin.
    for (const std::string LChannel : {"0", "1"}) {
        const std::string LEvent = LLast("\"event\":\"OnValueChange\",\"channel\":" + LChannel);
        ASSERT_FALSE(LEvent.empty()) << "channel " << LChannel;
        EXPECT_EQ(LEvent, LLast("\"pin\":\"OutputPins[" + LChannel + "]\""));
    }
}

TEST_F(AnalysisToolTest, SpectrumPeaksAndBuffersPrintWithTheirFields)
{
    const auto LRun = Events("TestSource AudioFormat.Channels=1 ! TSNSpectrum name=fft CountChannels=1 Synchronize=false",
                             "0.05");
    const size_t LWindows = LRun.CountWith("\"event\":\"OnFrequencyResult\",\"channel\":0,\"frequency\":");
    EXPECT_GE(LWindows, 8u);
    EXPECT_EQ(LRun.CountWith("\"max_frequency\":22050"), LWindows);
    EXPECT_EQ(LRun.CountWith("\"event\":\"buffer\",\"pin\":\"OutputPins[0]\",\"size\":128,\"values\":[0,"), LWindows);
    EXPECT_EQ(LRun.CountWith("\"event\":\"value\",\"pin\":\"FrequencyOutputPins[0]\""), LWindows);

    // An order whose windows the start refuses ends the run with one line.
    const auto LRefused = Sonorix({"run", "TestSource ! TSNSpectrum name=fft Order=25", "--duration", "0.05"});
    EXPECT_EQ(LRefused.ExitCode, 1);
    EXPECT_EQ(LRefused.Err.rfind("sonorix: fft: Order 25 asks for windows of 33554432 samples; at most Order 24", 0), 0u)
        << LRefused.Err;
}

TEST_F(AnalysisToolTest, TheSplitterWritesOneMonoFilePerChannel)
{
    const auto LRun = Sonorix({"run", "TestSource AudioFormat.Channels=3 MaxBuffers=2 ! TSNChannelSplitter CountChannels=3",
                               "--wav", Path("ch.wav")});
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Err;
    for (int c = 0; c < 3; ++c) {
        const TWavReader LFile(Path("ch-" + std::to_string(c + 1) + ".wav"));
        ASSERT_EQ(LFile.Frames(), 2048u);
        EXPECT_EQ(LFile.Format().Format.nChannels, 1);
        const std::vector<int32_t> LSamples = LFile.Samples();
        for (uint32_t f = 0; f < 2048; f += 97)
            EXPECT_EQ(LSamples[f], Sonorix::Test::TTestSource::ExpectedSample(f, c, 3, 16)) << c << " " << f;
    }
}
