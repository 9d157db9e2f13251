// SPDX-License-Identifier: MIT
// The tool's commands run in-process, with test-only components registered;
// `sonorix run --save FILE` and `sonorix run -f FILE`; the binary run as a
// script would run it.
#include "CliError.h"
#include "Runner.h"
#include "ToolTestKit.h"
#include "WavWriter.h"

#include <fstream>

using namespace Sonorix;
using namespace Sonorix::Cli;

namespace {

using TResult = Sonorix::Test::TToolResult;
using RunnerTest = Sonorix::Test::TToolTest;
using StoredGraphToolTest = Sonorix::Test::TToolTest;

// Checks that a WAV file holds the counting signal from frame 0 on.
void ExpectCounting(const TWavReader& AFile, size_t AFrames)
{
    ASSERT_EQ(AFile.Frames(), AFrames);
    const std::vector<int32_t> LSamples = AFile.Samples();
    const unsigned LChannels = AFile.Channels();
    for (size_t F = 0; F < AFrames; ++F)
        for (unsigned C = 0; C < LChannels; ++C)
            ASSERT_EQ(LSamples[F * LChannels + C],
                      Sonorix::Test::TTestSource::ExpectedSample(F, C, LChannels, AFile.BitsPerSample()))
                << "frame " << F << " channel " << C;
}

} // namespace

// Ten seconds in virtual time give exactly ten seconds of samples; several
// free outputs go to numbered files, and a source may end by itself. The
// graph drawn shows the components, the properties set and the connections.
TEST_F(RunnerTest, DurationExactNumberedFilesAndASourceThatEndsByItself)
{
    const TResult LResult = Sonorix({"run",
                                     "TSNTestSource AudioFormat.SampleRate=8000 AudioFormat.BufferSize=100 ! "
                                     "TSNAmplifier Coefficient=1  TestSource name=b MaxBuffers=5 AudioFormat.Bits=24 "
                                     "AudioFormat.Channels=3",
                                     "--duration", "10", "--wav", Path("out.wav"), "--quiet", "--dot", Path("g.dot")});
    ASSERT_EQ(LResult.ExitCode, 0) << LResult.Err;
    EXPECT_EQ(LResult.Out, "");
    const TWavReader LFirst(Path("out-1.wav")), LSecond(Path("out-2.wav"));
    EXPECT_EQ(LFirst.SampleRate(), 8000u);
    EXPECT_EQ(LFirst.Channels(), 2u);
    ExpectCounting(LFirst, 80000);
    EXPECT_EQ(LSecond.BitsPerSample(), 24u);
    EXPECT_EQ(LSecond.Format().Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    ExpectCounting(LSecond, 5 * 1024);
    const std::string LDot = Sonorix::Test::ReadFile(Path("g.dot"));
    for (const char* LExpected :
         {"SampleRate = 8000", "MaxBuffers = 5", "<B>b</B>", "\"SNTestSource1\":o0:s -> \"SNAmplifier1\""})
        EXPECT_NE(LDot.find(LExpected), std::string::npos) << LExpected << "\n" << LDot;
    EXPECT_EQ(LDot.find("Coefficient"), std::string::npos) << "defaults are left out";
}

TEST_F(RunnerTest, EventsArePrintedAsJsonLinesAndAnErrorEventEndsTheRun)
{
    const TResult LResult = Sonorix({"run", "TestSource name=src FailAfterStart=true", "--events", "--duration", "1"});
    EXPECT_EQ(LResult.ExitCode, CExitRuntimeError);
    EXPECT_EQ(LResult.Err, "sonorix: src: test failure\n");
    EXPECT_EQ(LResult.Out,
              "{\"time\":0,\"component\":\"src\",\"event\":\"OnError\",\"message\":\"test failure\",\"code\":7}\n");
}

TEST_F(RunnerTest, AnExceptionOnAClockThreadEndsTheRunWithItsMessage)
{
    const TResult LResult = Sonorix({"run", "TestSource name=src ThrowAtBuffer=4", "--wav", Path("t.wav")});
    EXPECT_EQ(LResult.ExitCode, CExitRuntimeError);
    EXPECT_EQ(LResult.Err, "sonorix: test source failed at buffer 4\n");
    ExpectCounting(TWavReader(Path("t.wav")), 3 * 1024);
}

TEST_F(RunnerTest, BadPipelinesGetOneLineAndAUsageExitCode)
{
    struct TCase {
        std::vector<std::string> Arguments;
        std::string Message;
    };
    // A bad graph file: one line naming file, line and column; nothing runs.
    std::ofstream(Path("bad.snx")) << "# comment\nTestSource name=src\nTSNAmplifier Coefficient=half\n";
    const std::vector<TCase> LCases{
        {{"run", "TSNNoSuch"}, "unknown component 'TSNNoSuch' at position 0"},
        {{"run", "TestSource Bogus=1"}, "has no property 'Bogus' at position 11"},
        {{"run", "TestSource MaxBuffers=many"}, "'many' is not an integer"},
        {{"run", "TestSource name=s ! s.Nope"}, "s has no pin 'Nope' (no such pin)"},
        {{"run", "TestSource name=s ! TSNAmplifier name=a  a.InputPin ! s.OutputPin"},
         "a.InputPin is an input pin; it cannot stand before '!'"},
        {{"run", "TestSource ! TestKitchenSink name=k  TestSource name=t  t.OutputPin ! k.RealInputPin"},
         "cannot connect t.OutputPin (audio) to k.RealInputPin (real-number buffers)"},
        {{"run", "TestSource ! k.InputPins[7]  TestKitchenSink name=k"}, "index beyond the list's count"},
        {{"run", "TSNAmplifier"}, "the pipeline has no source"},
        {{"run", "TestSource", "--duration", "-1"}, "--duration must lie above 0"},
        {{"run", "TestSource", "--frobnicate"}, "unknown option '--frobnicate'"},
        {{"run", "TestSource !"}, "pipeline"},
        {{"run"}, "run needs a pipeline"},
        {{"inspect", "Nothing"}, "unknown component 'Nothing'"},
        {{"run", "-f", Path("bad.snx")}, "bad.snx:3:14: property 'Coefficient' of SNAmplifier1: 'half' is not"},
        {{"explode"}, "unknown command 'explode'"},
    };
    for (const TCase& LCase : LCases) {
        const TResult LResult = Sonorix(LCase.Arguments);
        SCOPED_TRACE(LCase.Arguments.back());
        EXPECT_EQ(LResult.ExitCode, CExitUsage);
        EXPECT_NE(LResult.Err.find(LCase.Message), std::string::npos) << LResult.Err;
        EXPECT_EQ(std::count(LResult.Err.begin(), LResult.Err.end(), '\n'), 1) << LResult.Err;
        EXPECT_EQ(LResult.Err.rfind("sonorix: ", 0), 0u) << LResult.Err;
    }
    // A file that cannot be written is a run-time error.
    const TResult LResult = Sonorix({"run", "TestSource MaxBuffers=1", "--wav", Path("no/such/dir/x.wav")});
    EXPECT_EQ(LResult.ExitCode, CExitRuntimeError);
    EXPECT_NE(LResult.Err.find("Cannot create"), std::string::npos) << LResult.Err;
}

TEST_F(RunnerTest, ListAndInspectShowTheCatalogue)
{
    const TResult LList = Sonorix({"list"});
    ASSERT_EQ(LList.ExitCode, 0);
    EXPECT_NE(LList.Out.find("TSNAmplifier\tFilters\tAudio Amplifier\n"), std::string::npos);

    const TResult LInspect = Sonorix({"inspect", "TestKitchenSink"});
    ASSERT_EQ(LInspect.ExitCode, 0) << LInspect.Err;
    for (const char* LExpected : {"Count", "legacy name NumTaps", "range 1 .. 10", "Gain", "default 0.5",
                                  "values tmFirst tmSecond tmThird", "AudioFormat", "SampleRate", "BufferSize",
                                  "Channels", "[i].Frequency", "InputPins[]", "follows Channels", "primary",
                                  "UseCustomFormat (Boolean, legacy) is read into AudioFormat.Channels",
                                  "OnValueChange", "read-only", "Ogg files (*.ogg)|*.ogg|All files (*.*)|*.*"})
        EXPECT_NE(LInspect.Out.find(LExpected), std::string::npos) << LExpected;

    // Every class: columns never run together (the longest pin classes
    // included) and the last line ends.
    for (const TClassDescription* LClass : TSNRegistry::Instance().List()) {
        const TResult LOne = Sonorix({"inspect", LClass->ClassName});
        ASSERT_TRUE(LOne.ExitCode == 0 && LOne.Out.ends_with('\n')) << LClass->ClassName;
        std::istringstream LPins(LOne.Out.substr(LOne.Out.find("Pins:\n")));
        for (std::string LLine; std::getline(LPins, LLine);)
            EXPECT_TRUE(!LLine.starts_with("  ") || LLine.find("Pin") == std::string::npos ||
                        LLine.find(" input  ") != std::string::npos || LLine.find(" output ") != std::string::npos)
                << LClass->ClassName << ": " << LLine;
    }
}

TEST_F(StoredGraphToolTest, SavedGraphRunsAgainFromItsFileAndSavesTheSame)
{
    ASSERT_EQ(Sonorix({"run", "--quiet", "--save", Path("first.snx"), "--wav", Path("a.wav"),
                       "TestSource name=src AudioFormat.BufferSize=100 MaxBuffers=5 ! TSNAmplifier Coefficient=0.5"})
                  .ExitCode,
              CExitOk);
    const std::string LText = Sonorix::Test::ReadFile(Path("first.snx"));
    EXPECT_EQ(LText, "TSNTestSource name=src AudioFormat.BufferSize=100 MaxBuffers=5\n"
                     "TSNAmplifier name=SNAmplifier1 Coefficient=0.5\n"
                     "src.OutputPin ! SNAmplifier1.InputPin\n");
    ASSERT_EQ(Sonorix({"run", "--quiet", "-f", Path("first.snx"), "--save", Path("second.snx"), "--wav", Path("b.wav")})
                  .ExitCode,
              CExitOk);
    EXPECT_EQ(Sonorix::Test::ReadFile(Path("second.snx")), LText);
    EXPECT_EQ(Sonorix::Test::ReadFile(Path("a.wav")), Sonorix::Test::ReadFile(Path("b.wav")));
    EXPECT_EQ(TWavReader(Path("b.wav")).Frames(), 500u);
}

TEST(SonorixToolTest, VersionHelpAndBadInput)
{
    const auto LVersion = Sonorix::Test::Shell(SONORIX_TOOL_PATH " --version");
    EXPECT_TRUE(LVersion.ExitCode == 0 && LVersion.Output.starts_with("sonorix ")) << LVersion.Output;
    EXPECT_EQ(Sonorix::Test::Shell(SONORIX_TOOL_PATH " --help").ExitCode, 0);
    // Bad input: one line and exit code 2.
    for (const char* LArguments :
         {"", "frob", "run", "run \"TSNAmplifier Coefficient=x\"", "run \"'unterminated\"", "run \"TSNAmplifier\" --duration"}) {
        SCOPED_TRACE(LArguments);
        const auto LRun = Sonorix::Test::Shell(SONORIX_TOOL_PATH " " + std::string(LArguments));
        EXPECT_EQ(LRun.ExitCode, 2) << LRun.Output;
        EXPECT_EQ(std::count(LRun.Output.begin(), LRun.Output.end(), '\n'), 1) << LRun.Output;
        EXPECT_EQ(LRun.Output.rfind("sonorix: ", 0), 0u) << LRun.Output;
    }
}
