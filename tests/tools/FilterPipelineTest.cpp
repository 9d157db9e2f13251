// SPDX-License-Identifier: MIT
// The single-stream filters from pipeline text, in-process, fed by the
// counting test source.
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

class FilterPipelineTest : public Sonorix::Test::TToolTest {
protected:
    // Runs the source ! AFilter for one second of 8 kHz stereo 16-bit and
    // returns the written samples.
    std::vector<int32_t> Run(const std::string& AFilter)
    {
        const std::string LPath = Path("out.wav");
        const auto LResult = Sonorix({"run", "TestSource AudioFormat.SampleRate=8000 AudioFormat.BufferSize=300 ! " +
                                                 AFilter, "--duration", "1", "--wav", LPath, "--quiet"});
        EXPECT_EQ(LResult.ExitCode, 0) << LResult.Err;
        TWavReader LFile(LPath);
        EXPECT_EQ(LFile.Frames(), 8100u) << "27 buffers of 300 frames";
        return LFile.Samples();
    }
};

int32_t Counting(size_t AFrame, unsigned AChannel)
{
    return Sonorix::Test::TTestSource::ExpectedSample(AFrame, AChannel, 2, 16);
}

} // namespace

TEST_F(FilterPipelineTest, EveryFilterRunsFromText)
{
    for (const char* LFilter :
         {"TSNLowPass Frequency=1000 Order=101", "TSNHighPass FilterType=ftBiquadIIR IIRFilterType=iirChebyshev Order=5",
          "TSNBandPass FreqLow=300 FreqHigh=3000 FilterType=ftIIR Order=3", "TSNBandStop NumTaps=61 WindowType=wtKaiser Alpha=0.1",
          "TSNRemoveDC", "TSNCombFilter Delay=100 Feed=cfBack Coefficient=0.5"}) {
        SCOPED_TRACE(LFilter);
        const std::vector<int32_t> LSamples = Run(std::string(LFilter));
        bool LChanged = false;
        for (size_t f = 0; f < 8100 && !LChanged; ++f)
            LChanged = LSamples[2 * f] != Counting(f, 0);
        EXPECT_TRUE(LChanged);
    }
}
