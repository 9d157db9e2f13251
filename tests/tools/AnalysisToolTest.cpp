// SPDX-License-Identifier: MIT
// Meters and analysers through the tool: events and value pins as JSON lines.
#include "ToolTestKit.h"

using namespace Sonorix;

namespace {

class AnalysisToolTest : public Sonorix::Test::TToolTest {
protected:
    // A run with --events that must succeed without a word on standard error.
    Sonorix::Test::TToolResult Events(const std::string& APipeline, const char* ADuration)
    {
        const Sonorix::Test::TToolResult LResult = Sonorix({"run", APipeline, "--duration", ADuration, "--events"});
        EXPECT_TRUE(LResult.ExitCode == 0 && LResult.Err.empty()) << LResult.Err;
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

TEST_F(AnalysisToolTest, SpectrumPeaksAndBuffersPrintWithTheirFields)
{
    const auto LRun = Events("TestSource AudioFormat.Channels=1 ! TSNSpectrum name=fft CountChannels=1 Synchronize=false",
                             "0.05");
    const size_t LWindows = LRun.CountWith("\"event\":\"OnFrequencyResult\",\"channel\":0,\"frequency\":");
    EXPECT_GE(LWindows, 8u);
    EXPECT_EQ(LRun.CountWith("\"max_frequency\":22050"), LWindows);
    EXPECT_EQ(LRun.CountWith("\"event\":\"buffer\",\"pin\":\"OutputPins[0]\",\"size\":128,\"values\":[0,"), LWindows);
    EXPECT_EQ(LRun.CountWith("\"event\":\"value\",\"pin\":\"FrequencyOutputPins[0]\""), LWindows);
}
