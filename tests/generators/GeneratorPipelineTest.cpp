// SPDX-License-Identifier: MIT
// Generators through the sonorix tool: exact durations in virtual time, the
// same bytes in real time, the triangle example, the demo, and errors that
// end a run.
#include "CliError.h"
#include "tools/ToolTestKit.h"
#include "SonorixPkg.h"
#include "WavWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <sstream>

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

// Cycles per sample as the primitives receive it (single precision): over
// seconds of audio its rounding shows in the phase.
double RelativeFrequency(double AHertz)
{
    return static_cast<float>(AHertz / 44100);
}

} // namespace

TEST_F(GeneratorPipelineTest, SixtySecondsOfAudioAreExactlySixtySeconds)
{
    for (const char* LGenerator : CGenerators) {
        SCOPED_TRACE(LGenerator);
        // 441 frames at 44100 Hz: buffers of exactly 10 ms.
        const TResult LResult =
            Sonorix({"run", std::string(LGenerator) + " AudioFormat.BufferSize=441 ! TSNAmplifier Coefficient=0.5",
                     "--duration", "60", "--wav", Path("60.wav"), "--quiet"});
        ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
        TWavReader LFile(Path("60.wav"));
        EXPECT_EQ(LFile.Frames(), 60u * 44100);
    }
    // With the default 1024 frames every buffer that starts before 60 s is
    // there: ceil(60 * 44100 / 1024) of them.
    const TResult LResult = Sonorix({"run", "TSNRandomGen", "--duration", "60", "--wav", Path("d.wav"), "--quiet"});
    ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
    EXPECT_EQ(TWavReader(Path("d.wav")).Frames(), 2584u * 1024);
}

TEST_F(GeneratorPipelineTest, RealTimeGivesTheSameBytesAsVirtualTime)
{
    for (const char* LGenerator : CGenerators) {
        SCOPED_TRACE(LGenerator);
        const std::string LPipeline = std::string(LGenerator) + " AudioFormat.BufferSize=512 ! TSNAmplifier Coefficient=0.7";
        const TResult LVirtual =
            Sonorix({"run", LPipeline, "--duration", "0.3", "--wav", Path("virtual.wav"), "--quiet"});
        ASSERT_EQ(LVirtual.ExitCode, 0) << LVirtual.Err;
        const TResult LReal =
            Sonorix({"run", LPipeline, "--duration", "0.3", "--realtime", "--wav", Path("real.wav"), "--quiet"});
        ASSERT_EQ(LReal.ExitCode, 0) << LReal.Err;
        const TWavReader LExpected(Path("virtual.wav"));
        const TWavReader LActual(Path("real.wav"));
        ASSERT_EQ(LExpected.Frames(), 26u * 512);
        // Real time may end a little earlier or later (the stop comes from
        // another thread, on a busy machine); what both hold is equal.
        ASSERT_GE(LActual.Frames(), 4u * 512);
        const size_t LCommon = std::min(LExpected.Data().size(), LActual.Data().size());
        EXPECT_EQ(std::memcmp(LExpected.Data().data(), LActual.Data().data(), LCommon), 0);
    }
}

TEST_F(GeneratorPipelineTest, TriangleThroughTheAmplifierIsTheHalvedTriangle)
{
    const TResult LResult =
        Sonorix({"run", "TSNSignalGen Frequency=1000 SignalType=atTriangle ! TSNAmplifier Coefficient=0.5",
                 "--duration", "2", "--wav", Path("out.wav")});
    ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
    const TWavReader LFile(Path("out.wav"));
    EXPECT_EQ(LFile.SampleRate(), 44100u);
    EXPECT_EQ(LFile.Channels(), 2u);
    EXPECT_EQ(LFile.BitsPerSample(), 16u);
    EXPECT_EQ(LFile.Frames(), 87u * 1024) << "every 1024-frame buffer that starts before 2 s";
    // 20000 at phase 0, down to -20000 at pi, halved: a quarter cycle of a
    // 1000 Hz wave at 44100 Hz is 11.025 frames.
    const std::vector<int32_t> LSamples = LFile.Samples();
    EXPECT_EQ(LSamples[0], 10000);
    EXPECT_NEAR(LSamples[2 * 11], 0, 60);
    EXPECT_NEAR(LSamples[2 * 22], -10000, 60);
    EXPECT_EQ(LSamples[2 * 22 + 1], LSamples[2 * 22]);
    EXPECT_EQ(*std::max_element(LSamples.begin(), LSamples.end()), 10000);
    EXPECT_GE(*std::min_element(LSamples.begin(), LSamples.end()), -10000);
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
    // 440 Hz of amplitude 16000 halved: 8000 cos(2 pi 440 t).
    for (size_t F = 0; F < LFile.Frames(); F += 97)
        ASSERT_NEAR(LSamples[2 * F], 8000 * std::cos(2 * std::numbers::pi * RelativeFrequency(440) * F), 1.5) << F;
}

TEST_F(GeneratorPipelineTest, ARangeErrorEndsTheRunWithItsMessage)
{
    const TResult LResult = Sonorix({"run", "TSNGaussGen name=hiss Mean=40000 ! TSNAmplifier", "--duration", "5",
                                     "--wav", Path("err.wav")});
    EXPECT_EQ(LResult.ExitCode, CExitRuntimeError);
    EXPECT_EQ(LResult.Err, "sonorix: hiss: Range check error: Mean = 40000 does not fit the 16-bit range -32768 .. "
                           "32767; the stream is stopped\n");
    // The file is closed and readable, empty of audio.
    EXPECT_EQ(TWavReader(Path("err.wav")).Frames(), 0u);
}
