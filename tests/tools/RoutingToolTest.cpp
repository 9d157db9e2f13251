// SPDX-License-Identifier: MIT
// The routing components through the tool: a playlist, a timed switch, a
// buffer queue, and a value pin driving a generator's published method.
#include "CVRegistry.h"
#include "Graph.h"
#include "Runner.h"
#include "ToolTestKit.h"

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

TRunOptions Options(std::optional<double> ADuration, std::string AWavPath = "", bool AEvents = false)
{
    return {ADuration, false, std::move(AWavPath), AEvents, "", false};
}

class RoutingToolTest : public Sonorix::Test::TToolTest {
protected:
    // Runs APipeline; returns the audio seconds that reached its ends.
    double Run(const std::string& APipeline, TRunOptions AOptions, std::unique_ptr<TGraph>* AGraph = nullptr)
    {
        std::unique_ptr<TGraph> LGraph = TGraph::Build(ParsePipeline(APipeline));
        AOptions.Quiet = true;
        TRunner LRunner(*LGraph, AOptions, FOut, FErr);
        EXPECT_EQ(LRunner.Run(), 0) << FErr.str();
        const double LSeconds = LRunner.AudioSeconds();
        if (AGraph)
            *AGraph = std::move(LGraph);
        return LSeconds;
    }
    size_t CountLines(const std::string& AText) const { return Sonorix::Test::TToolResult{0, FOut.str(), ""}.CountWith(AText); }

    std::ostringstream FOut, FErr;
};

} // namespace

TEST_F(RoutingToolTest, PlaylistOfTwoFilesAndABufferQueueLoseNothing)
{
    // 441-frame buffers: the durations are whole buffers.
    Run("TSNSignalGen AudioFormat.BufferSize=441 Frequency=440", Options(0.3, Path("a.wav")));
    Run("TSNSignalGen AudioFormat.BufferSize=441 Frequency=880", Options(0.2, Path("b.wav")));
    const double LSeconds =
        Run("TSNLAVAudioPlayer FileName=" + Path("a.wav") + " ! sw.InputPins[0]  TSNLAVAudioPlayer FileName=" +
                Path("b.wav") +
                " ! sw.InputPins[1]  TSNQueuedSwitch name=sw InputChannels.Count=2 "
                "InputChannels[1].Queuing.Enabled=true InputChannels[1].ThresholdMin=1 ! TSNBufferQueue Min=2 "
                "! TSNLAVAudioLogger FileName=" + Path("out.wav"),
            Options(std::nullopt, "", true));
    EXPECT_NEAR(LSeconds, 0.5, 1e-9);
    EXPECT_EQ(CountLines("\"event\":\"OnSwitch\""), 1u) << FOut.str();
    // Input 1's queue runs dry once, at its last buffer.
    EXPECT_EQ(CountLines("\"event\":\"OnThresholdMin\",\"channel\":1"), 1u);
    EXPECT_EQ(Run("TSNLAVAudioPlayer FileName=" + Path("out.wav"), Options(std::nullopt)), LSeconds);
}

TEST_F(RoutingToolTest, TimedPropertyChangeTogglesASwitchAtAnExactBuffer)
{
    const double LSeconds = Run("TSNSignalGen AudioFormat.BufferSize=441 ! TSNSwitch Enabled@0.25=false", Options(1));
    EXPECT_NEAR(LSeconds, 0.25, 1e-9);
    EXPECT_THROW(TGraph::Build(ParsePipeline("TSNSignalGen ! TSNSwitch Enabled@0.25=maybe")), std::exception);
    EXPECT_THROW(ParsePipeline("TSNSignalGen ! TSNSwitch Enabled@soon=false"), TPipelineError);
}

TEST_F(RoutingToolTest, ASpectrumDrivesAGenerator)
{
    std::unique_ptr<TGraph> LGraph;
    Run("TSNSignalGen AudioFormat.Channels=1 Frequency=1000 ! TSNSpectrum name=sp CountChannels=1 Order=10  "
        "sp.OutputPins[0] ! gen.FrequencyChangeEvent  TSNSignalGen name=gen Frequency=100",
        Options(0.5), &LGraph);
    // 1000 Hz lies nearest bin 23 of 512 (43.07 Hz apart): 990.5 Hz.
    EXPECT_NEAR(std::stod(GetPropertyText(*LGraph->FindNode("gen")->Component, "Frequency")), 23 * 44100.0 / 1024,
                0.01);
}
