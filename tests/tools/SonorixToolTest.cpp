// SPDX-License-Identifier: MIT
// The installed-style tool binary, run as a script would run it.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
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

// The README's "What works today" table names exactly what `sonorix list`
// registers: nothing promised that is not there, nothing there unsaid.
TEST(SonorixToolTest, TheReadmeListsWhatIsRegistered)
{
    std::ifstream LFile(std::string(SONORIX_SOURCE_DIR) + "/README.md");
    const std::string LReadme((std::istreambuf_iterator<char>(LFile)), std::istreambuf_iterator<char>());
    const size_t LStart = LReadme.find("### What works today");
    ASSERT_NE(LStart, std::string::npos);
    const std::string LTable = LReadme.substr(LStart, LReadme.find("\n\n`sonorix list`", LStart) - LStart);
    std::set<std::string> LNamed;
    for (size_t LAt = 0; (LAt = LTable.find("`TSN", LAt)) != std::string::npos; ++LAt)
        LNamed.insert(LTable.substr(LAt + 1, LTable.find('`', LAt + 1) - LAt - 1));
    std::set<std::string> LRegistered;
    std::istringstream LList(RunTool("list").Output);
    for (std::string LLine; std::getline(LList, LLine);)
        LRegistered.insert(LLine.substr(0, LLine.find('\t')));
    EXPECT_EQ(LNamed, LRegistered);
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
