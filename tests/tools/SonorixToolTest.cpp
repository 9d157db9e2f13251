// SPDX-License-Identifier: MIT
// The installed-style tool binary, run as a script would run it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct TRun {
    int ExitCode;
    std::string Output; // standard output and standard error together
};

TRun RunTool(const std::string& AArguments)
{
    const std::string LCommand = std::string(SONORIX_TOOL_PATH) + " " + AArguments + " 2>&1";
    FILE* LPipe = popen(LCommand.c_str(), "r");
    if (!LPipe)
        return {-1, "popen failed"};
    std::string LOutput;
    std::array<char, 4096> LBuffer;
    while (size_t LRead = fread(LBuffer.data(), 1, LBuffer.size(), LPipe))
        LOutput.append(LBuffer.data(), LRead);
    const int LStatus = pclose(LPipe);
    return {WIFEXITED(LStatus) ? WEXITSTATUS(LStatus) : -1, LOutput};
}

} // namespace

TEST(SonorixToolTest, ListInspectAndVersion)
{
    TRun LList = RunTool("list");
    EXPECT_EQ(LList.ExitCode, 0);
    EXPECT_NE(LList.Output.find("TSNAmplifier\tFilters\tAudio Amplifier\n"), std::string::npos) << LList.Output;

    TRun LInspect = RunTool("inspect Amplifier");
    EXPECT_EQ(LInspect.ExitCode, 0);
    EXPECT_NE(LInspect.Output.find("Coefficient"), std::string::npos);
    EXPECT_NE(LInspect.Output.find("design 0 .. 100"), std::string::npos);

    TRun LVersion = RunTool("--version");
    EXPECT_EQ(LVersion.ExitCode, 0);
    EXPECT_EQ(LVersion.Output.rfind("sonorix ", 0), 0u);
    EXPECT_EQ(RunTool("--help").ExitCode, 0);
}

TEST(SonorixToolTest, BadInputIsOneLineAndNonZero)
{
    for (const char* LArguments :
         {"", "frob", "inspect", "run", "run \"TSNAmplifier Coefficient=x\"", "run \"'unterminated\"",
          "run \"! !\"", "run \"TSNAmplifier Coefficient\"", "run \"TSNAmplifier\" --duration"}) {
        SCOPED_TRACE(LArguments);
        TRun LRun = RunTool(LArguments);
        EXPECT_EQ(LRun.ExitCode, 2) << LRun.Output;
        EXPECT_EQ(std::count(LRun.Output.begin(), LRun.Output.end(), '\n'), 1) << LRun.Output;
        EXPECT_EQ(LRun.Output.rfind("sonorix: ", 0), 0u) << LRun.Output;
    }
}
