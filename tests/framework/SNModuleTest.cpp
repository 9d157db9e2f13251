// SPDX-License-Identifier: MIT
// Component modules through the tool: the example module of examples/, the
// errors of modules that cannot load, and the libav module loaded only when
// one of its classes is used.
#include "codecs/LAVTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Sonorix::Test::Codecs;

namespace {

TShellResult RunSonorix(const std::string& AArguments, const std::string& AEnvironment = "")
{
    return Shell(AEnvironment + " " + SONORIX_TOOL_PATH + " " + AArguments);
}

} // namespace

TEST(SNModuleTest, TheExampleModuleRunsListsAndInspects)
{
    TTempDir LDir;
    const std::string LLoad = "--load " + Quote(SONORIX_EXAMPLE_MODULE);
    // -6.0206 dB halves the generator's 16000.
    const TShellResult LRun = RunSonorix(LLoad + " --load " + Quote(SONORIX_EXAMPLE_MODULE) +
                                      " run --quiet --duration 0.1 --wav " + LDir.Path("gain.wav") +
                                      " 'TSNSignalGen Amplitude=16000 ! ExampleGain GainDB=-6.0206'");
    ASSERT_EQ(LRun.ExitCode, 0) << LRun.Output;
    const std::vector<int16_t> LSamples = WavSamples(LDir.Path("gain.wav"));
    ASSERT_GE(LSamples.size(), 4410u * 2);
    const auto [LMin, LMax] = std::minmax_element(LSamples.begin(), LSamples.end());
    EXPECT_NEAR(*LMax, 8000, 1);
    EXPECT_NEAR(*LMin, -8000, 1);
    const TShellResult LList = RunSonorix(LLoad + " list");
    EXPECT_NE(LList.Output.find("TSNExampleGain\tFilters\tExample Gain in Decibels\n"), std::string::npos)
        << LList.Output;
    EXPECT_EQ(LList.Output.find("TSNExampleGain"), LList.Output.rfind("TSNExampleGain"));
    // The same through the search path, and inspect shows its property.
    Shell("cp " + Quote(SONORIX_EXAMPLE_MODULE) + " " + LDir.Path("libgain.so"));
    const TShellResult LInspect = RunSonorix("inspect ExampleGain", "SONORIX_MODULE_PATH=/nonexistent::" + LDir.Path(""));
    EXPECT_EQ(LInspect.ExitCode, 0) << LInspect.Output;
    EXPECT_NE(LInspect.Output.find("range -120 .. 40"), std::string::npos) << LInspect.Output;
    // A second copy of the module is another module naming the same class.
    const TShellResult LCopy = RunSonorix(LLoad + " list", "SONORIX_MODULE_PATH=" + LDir.Path(""));
    EXPECT_EQ(LCopy.ExitCode, 1);
    EXPECT_NE(LCopy.Output.find("'TSNExampleGain' is already in the component catalogue"), std::string::npos)
        << LCopy.Output;
}

TEST(SNModuleTest, AModuleThatCannotLoadIsOneLineAndNonZero)
{
    TTempDir LDir;
    Shell("echo text > " + LDir.Path("text.so"));
    const std::string LNoEntry = std::string(SONORIX_FAKE_IPP_DIR) + "/libipps.so";
    const std::pair<std::string, std::string> LCases[] = {
        {LDir.Path("missing.so"), "No such file or directory"},
        {LDir.Path("text.so"), "cannot load module"},
        {LNoEntry, "it has no SonorixRegisterModule function"},
        {SONORIX_CLASH_MODULE, "'TSNAmplifier' is already in the component catalogue"},
    };
    for (const auto& [LPath, LMessage] : LCases) {
        const TShellResult LRun = RunSonorix("--load " + Quote(LPath) + " list");
        EXPECT_NE(LRun.ExitCode, 0) << LRun.Output;
        EXPECT_EQ(std::count(LRun.Output.begin(), LRun.Output.end(), '\n'), 1) << LRun.Output;
        EXPECT_NE(LRun.Output.find(LMessage), std::string::npos) << LRun.Output;
    }
    EXPECT_EQ(RunSonorix("--load").ExitCode, 2);
}

// libav's libraries map only when a libav component is used.
TEST(SNModuleTest, LibavLoadsOnFirstUseOnly)
{
    TTempDir LDir;
    const std::string LDebug = "LD_DEBUG=libs";
    const TShellResult LPlain =
        RunSonorix("run --duration 0.1 --quiet --wav " + LDir.Path("x.wav") + " TSNSignalGen", LDebug);
    ASSERT_EQ(LPlain.ExitCode, 0) << LPlain.Output;
    // The libav player and logger read and write plain WAV files without the module.
    const TShellResult LWav = RunSonorix("run --quiet 'TSNLAVAudioPlayer FileName=" + LDir.Path("x.wav") +
                                             " ! TSNLAVAudioLogger FileName=" + LDir.Path("y.wav") + "'",
                                         LDebug);
    ASSERT_EQ(LWav.ExitCode, 0) << LWav.Output;
    for (const char* LLibrary : {"libavcodec", "libavformat", "libavutil", "libswresample", "SonorixLAV"}) {
        EXPECT_EQ(LPlain.Output.find(LLibrary), std::string::npos) << LLibrary;
        EXPECT_EQ(LWav.Output.find(LLibrary), std::string::npos) << LLibrary;
    }
    const TShellResult LLogger = RunSonorix(
        "run --duration 0.1 --quiet 'TSNSignalGen ! TSNLAVAudioLogger FileName=" + LDir.Path("x.flac") + "'", LDebug);
    ASSERT_EQ(LLogger.ExitCode, 0) << LLogger.Output;
    EXPECT_NE(LLogger.Output.find("libavcodec"), std::string::npos);
    EXPECT_NE(LLogger.Output.find("SonorixLAV"), std::string::npos);
    // Loaded by hand, under its link name, it is still the package's own.
    const TShellResult LList = RunSonorix("--load " SONORIX_LIBRARY_DIR "/libSonorixLAV.so list");
    EXPECT_EQ(LList.ExitCode, 0) << LList.Output;
    EXPECT_EQ(LList.Output.find("TSNLAVAudioPlayer"), LList.Output.rfind("TSNLAVAudioPlayer")) << LList.Output;
}
