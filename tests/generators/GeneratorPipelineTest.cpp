// SPDX-License-Identifier: MIT
// Generators through the sonorix tool: exact durations in virtual time, the
// same bytes in real time, and the demo.
#include "tools/ToolTestKit.h"
#include "SonorixPkg.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

using TResult = Sonorix::Test::TToolResult;
using GeneratorPipelineTest = Sonorix::Test::TToolTest;

const char* const CGenerators[] = {
    "TSNSignalGen Frequency=1000",
    "TSNSignalGen SignalType=atTriangle Frequency=333 Asymmetry=0.5",
    "TSNSignalGen SignalType=atSquare Frequency=250",
    "TSNSignalGen SignalType=atSawToothDown Frequency=55",
    "TSNRandomGen Low=-5000 High=9000 Seed=77",
    "TSNGaussGen Mean=100 StdDev=4000",
};

} // namespace

TEST_F(GeneratorPipelineTest, SixtySecondsAreExactAndRealTimeGivesTheSameBytes)
{
    for (const char* LGenerator : CGenerators) {
        SCOPED_TRACE(LGenerator);
        // 441 frames at 44100 Hz: buffers of exactly 10 ms.
        const std::string LPipeline = std::string(LGenerator) + " AudioFormat.BufferSize=441 ! TSNAmplifier Coefficient=0.5";
        const TResult LVirtual = Sonorix({"run", LPipeline, "--duration", "60", "--wav", Path("60.wav"), "--quiet"});
        ASSERT_EQ(LVirtual.ExitCode, 0) << LVirtual.Err;
        const TResult LReal =
            Sonorix({"run", LPipeline, "--duration", "0.3", "--realtime", "--wav", Path("real.wav"), "--quiet"});
        ASSERT_EQ(LReal.ExitCode, 0) << LReal.Err;
        const TWavReader LExpected(Path("60.wav"));
        const TWavReader LActual(Path("real.wav"));
        EXPECT_EQ(LExpected.Frames(), 60u * 44100);
        // Real time may end a little earlier or later (the stop comes from
        // another thread, on a busy machine); what both hold is equal.
        ASSERT_GE(LActual.Frames(), 4u * 441);
        EXPECT_EQ(std::memcmp(LExpected.Data().data(), LActual.Data().data(), LActual.Data().size()), 0);
    }
    // With the default 1024 frames every buffer that starts before 60 s is
    // there: ceil(60 * 44100 / 1024) of them.
    const TResult LResult = Sonorix({"run", "TSNRandomGen", "--duration", "60", "--wav", Path("d.wav"), "--quiet"});
    ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
    EXPECT_EQ(TWavReader(Path("d.wav")).Frames(), 2584u * 1024);
}

TEST_F(GeneratorPipelineTest, DemoWritesAToneAndSaysWhatItDid)
{
    const TResult LResult = Sonorix({"demo", "--wav", Path("demo.wav")});
    ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
    EXPECT_NE(LResult.Err.find("TSNSignalGen"), std::string::npos);
    EXPECT_NE(LResult.Err.find("wrote 2.0"), std::string::npos) << LResult.Err;
    const TWavReader LFile(Path("demo.wav"));
    EXPECT_EQ(LFile.Frames(), 87u * 1024);
    const std::vector<int32_t> LSamples = LFile.Samples();
    // 440 Hz of amplitude 16000 halved: 8000 cos(2 pi 440 t), with the
    // cycles per sample in single precision as the primitives receive them.
    const double LCycles = static_cast<float>(440.0 / 44100);
    for (size_t F = 0; F < LFile.Frames(); F += 97)
        ASSERT_NEAR(LSamples[2 * F], 8000 * std::cos(2 * std::numbers::pi * LCycles * F), 1.5) << F;
}
