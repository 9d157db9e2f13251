// SPDX-License-Identifier: MIT
// The single-stream filters from pipeline text, in-process, fed by the
// counting test source.
#include "Commands.h"
#include "SonorixPkg.h"
#include "TestComponents.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

class FilterPipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterAllComponents();
        Sonorix::Test::RegisterTestComponents();
        FDir = std::filesystem::temp_directory_path() /
               ("sonorix-filters-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(FDir);
    }
    void TearDown() override { std::filesystem::remove_all(FDir); }
    // Runs the source ! AFilter for one second of 8 kHz stereo 16-bit and
    // returns the written samples.
    std::vector<int32_t> Run(const std::string& AFilter)
    {
        const std::string LPath = (FDir / "out.wav").string();
        std::ostringstream LOut, LErr;
        const int LCode = SonorixMain({"run", "TestSource AudioFormat.SampleRate=8000 AudioFormat.BufferSize=300 ! " + AFilter,
                                       "--duration", "1", "--wav", LPath, "--quiet"},
                                      LOut, LErr);
        EXPECT_EQ(LCode, 0) << LErr.str();
        TWavReader LFile(LPath);
        EXPECT_EQ(LFile.Frames(), 8100u) << "27 buffers of 300 frames";
        return LFile.Samples();
    }
    std::filesystem::path FDir;
};

int32_t Counting(size_t AFrame, unsigned AChannel)
{
    return Sonorix::Test::TTestSource::ExpectedSample(AFrame, AChannel, 2, 16);
}

} // namespace

TEST_F(FilterPipelineTest, DelayLineInSamplesAndMilliseconds)
{
    for (const std::string& LSettings : {std::string("DelayValue.Mode=dmSamples DelayValue.Value=450"),
                                         std::string("DelayValue.Value=56")}) {
        SCOPED_TRACE(LSettings);
        const std::vector<int32_t> LSamples = Run("TSNDelayLine " + LSettings);
        const size_t LDelay = LSettings.find("dmSamples") != std::string::npos ? 450 : 448; // 56 ms at 8 kHz
        for (size_t f = 0; f < 8100; ++f)
            for (unsigned c = 0; c < 2; ++c)
                ASSERT_EQ(LSamples[2 * f + c], f < LDelay ? 0 : Counting(f - LDelay, c)) << f;
    }
}

TEST_F(FilterPipelineTest, OneTapLowPassIsTheIdentityWithinTheSixteenBitLimit)
{
    const std::vector<int32_t> LSamples = Run("LowPass Order=1 Frequency=1000");
    for (size_t f = 0; f < 8100; ++f)
        for (unsigned c = 0; c < 2; ++c)
            ASSERT_EQ(LSamples[2 * f + c], std::max(Counting(f, c), -32767)) << f;
}

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
