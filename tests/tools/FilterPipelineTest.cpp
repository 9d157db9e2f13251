// SPDX-License-Identifier: MIT
// The single-stream filters from pipeline text, in-process, fed by the
// counting test source.
#include "ToolTestKit.h"
#include "WavWriter.h"

using namespace Sonorix;
using FilterPipelineTest = Sonorix::Test::TToolTest;

TEST_F(FilterPipelineTest, EveryFilterRunsFromText)
{
    for (const std::string LFilter :
         {"TSNLowPass Frequency=1000 Order=101", "TSNHighPass FilterType=ftBiquadIIR IIRFilterType=iirChebyshev Order=5",
          "TSNBandPass FreqLow=300 FreqHigh=3000 FilterType=ftIIR Order=3", "TSNBandStop NumTaps=61 WindowType=wtKaiser Alpha=0.1",
          "TSNRemoveDC", "TSNCombFilter Delay=100 Feed=cfBack Coefficient=0.5"}) {
        SCOPED_TRACE(LFilter);
        // One second of 8 kHz stereo 16-bit: 27 buffers of 300 frames.
        const auto LResult = Sonorix({"run", "TestSource AudioFormat.SampleRate=8000 AudioFormat.BufferSize=300 ! " +
                                                 LFilter, "--duration", "1", "--wav", Path("out.wav"), "--quiet"});
        ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
        const Cli::TWavReader LFile(Path("out.wav"));
        ASSERT_EQ(LFile.Frames(), 8100u);
        const std::vector<int32_t> LSamples = LFile.Samples();
        bool LChanged = false;
        for (size_t f = 0; f < 8100 && !LChanged; ++f)
            LChanged = LSamples[2 * f] != Sonorix::Test::TTestSource::ExpectedSample(f, 0, 2, 16);
        EXPECT_TRUE(LChanged);
    }
}
